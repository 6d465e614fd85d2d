#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <vector>

TEST(Diagnostics, CapturedLinesStayWholeAcrossThreads)
{
    Diagnostics::Capture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 100; ++i)
                Diagnostics::WriteLine("Warning: thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    for (auto& thread : threads)
        thread.join();
    auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 400u);
    for (const auto& line : lines)
        EXPECT_EQ(line.rfind("Warning: thread ", 0), 0u) << line;
}

TEST(Diagnostics, UncapturedLinesGoToStandardOutput)
{
    testing::internal::CaptureStdout();
    Diagnostics::WriteLine("Warning: to the terminal.");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Warning: to the terminal.\n");

    Diagnostics::Capture outer;
    {
        Diagnostics::Capture inner;
        Diagnostics::WriteLine("inner");
        EXPECT_EQ(inner.Text(), "inner\n");
    }
    Diagnostics::WriteLine("outer");
    EXPECT_EQ(outer.Lines(), std::vector<std::string>{"outer"});
}

TEST(Diagnostics, ExceptionsAreReportedOnOneLine)
{
    Diagnostics::Capture capture;
    const std::runtime_error* thrown = nullptr;
    try {
        throw std::runtime_error("disk full");
    } catch (const std::runtime_error& error) {
        thrown = &error;
        Diagnostics::ReportException("TScreen.SaveSheet");
    }
    try {
        throw 42;
    } catch (...) {
        Diagnostics::ReportException("TTimer.Fire");
    }
    ASSERT_EQ(capture.Lines().size(), 2u);
    char address[32];
    std::snprintf(address, sizeof address, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(thrown)));
    EXPECT_EQ(capture.Lines()[0], std::string("TScreen.SaveSheet:disk full:") + address);
    EXPECT_EQ(capture.Lines()[1], "TTimer.Fire:unknown exception:0x0");
}
