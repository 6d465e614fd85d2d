#include <Support/Process.h>

#include <gtest/gtest.h>

#include <chrono>

#include <sys/wait.h>

TEST(Process, SplitCommandLineLikeASimpleShellCommand)
{
    struct Case {
        const char* line;
        std::vector<std::string> words;
    } cases[] = {
        {"open -a Brindlet", {"open", "-a", "Brindlet"}},
        {"  spaced\t out  ", {"spaced", "out"}},
        {"say 'single $(quoted)' \"double \\\"esc\\\" $x\"", {"say", "single $(quoted)", "double \"esc\" $x"}},
        {"a\\ b c", {"a b", "c"}},
        {"x;rm -rf y|z", {"x;rm", "-rf", "y|z"}},
        {"''", {""}},
        {"", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words;
        ASSERT_TRUE(Process::SplitCommandLine(c.line, &words)) << c.line;
        EXPECT_EQ(words, c.words) << c.line;
    }
    std::vector<std::string> words;
    EXPECT_FALSE(Process::SplitCommandLine("unterminated 'quote", &words));
    EXPECT_FALSE(Process::SplitCommandLine("unterminated \"quote", &words));
    EXPECT_FALSE(Process::SplitCommandLine("trailing\\", &words));
}

TEST(Process, RunReadsAllOutputAndReportsStatus)
{
    std::string output;
    // Far more than a pipe holds: the child must never block on a full pipe.
    int status = Process::Run({"head", "-c", "3000000", "/dev/zero"}, &output);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(output.size(), 3000000u);

    output.clear();
    status = Process::Run({"sh", "-c", "echo partial; exit 3"}, &output);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(output, "partial\n");

    EXPECT_EQ(Process::Run({"/nonexistent/program"}, nullptr), 127 << 8);
    EXPECT_EQ(Process::Run({}, nullptr), -1);
}

// A program the command leaves running in the background inherits its
// output; the caller still waits for the command only.
TEST(Process, RunWaitsForTheCommandNotForWhatItStarted)
{
    const auto Seconds = [](auto since) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    };
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Process::Run({"sh", "-c", "sleep 4 & exit 0"}, nullptr), 0);
    EXPECT_LT(Seconds(started), 2.0);

    std::string output;
    started = std::chrono::steady_clock::now();
    EXPECT_EQ(Process::Run({"sh", "-c", "echo first; (sleep 4; echo late) & echo second"}, &output), 0);
    EXPECT_LT(Seconds(started), 2.0);
    EXPECT_EQ(output, "first\nsecond\n");
}
