#include "Diagnostics.h"

#include <cstdio>
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
