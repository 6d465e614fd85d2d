#include "Diagnostics.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <mutex>

namespace Diagnostics {

namespace {

std::mutex& WriterMutex()
{
    static std::mutex mutex;
    return mutex;
}

Capture* gCurrentCapture = nullptr;

}  // namespace

void WriteLine(std::string_view line)
{
    std::lock_guard lock(WriterMutex());
    if (gCurrentCapture) {
        gCurrentCapture->lines_.emplace_back(line);
        return;
    }
    std::string whole(line);
    whole.push_back('\n');
    std::fwrite(whole.data(), 1, whole.size(), stdout);
    std::fflush(stdout);
}

void ReportException(std::string_view where)
{
    std::string message = "unknown exception";
    const void* thrown = nullptr;
    try {
        if (std::exception_ptr exception = std::current_exception())
            std::rethrow_exception(exception);
    } catch (const std::exception& error) {
        message = error.what();
        thrown = &error;
    } catch (...) {}
    char address[2 * sizeof(void*) + 8];
    std::snprintf(address, sizeof address, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(thrown)));
    std::string line(where);
    line += ':';
    line += message;
    line += ':';
    line += address;
    WriteLine(line);
}

Capture::Capture()
{
    std::lock_guard lock(WriterMutex());
    outer_ = gCurrentCapture;
    gCurrentCapture = this;
}

Capture::~Capture()
{
    std::lock_guard lock(WriterMutex());
    gCurrentCapture = outer_;
}

std::vector<std::string> Capture::Lines() const
{
    std::lock_guard lock(WriterMutex());
    return lines_;
}

std::string Capture::Text() const
{
    std::lock_guard lock(WriterMutex());
    std::string text;
    for (const std::string& line : lines_)
        text += line + "\n";
    return text;
}

void Capture::Clear()
{
    std::lock_guard lock(WriterMutex());
    lines_.clear();
}

}  // namespace Diagnostics
