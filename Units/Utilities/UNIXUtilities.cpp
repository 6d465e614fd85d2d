#include "UNIXUtilities.h"

#include "CFUtilities.h"

#include <Support/Process.h>

#include <string>
#include <vector>

namespace {

int Run(std::string_view commandLine)
{
    std::vector<std::string> words;
    if (!Process::SplitCommandLine(commandLine, &words) || words.empty())
        return -1;
    return Process::Run(words, nullptr);
}

}  // namespace

int ProcessOpen(const ShortString& command)
{
    return Run(command.View());
}

int ProcessOpen(CFStringRef command)
{
    char* text = CFStringCopyCString(command, kCFStringEncodingUTF8);
    if (text == nullptr)
        return -1;
    const int status = Run(text);
    DisposePtr(text);
    return status;
}
