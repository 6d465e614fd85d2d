// Feeds arbitrary bytes to the XML property-list reader. Sheets arrive from
// other machines, old versions and hand edits, so the reader must refuse
// garbage cleanly, and whatever it accepts must survive our writer and
// reader unchanged: a sheet that changes when saved and reopened loses the
// user's data silently.
//
// The first byte picks the mutability option, the rest is the document.

#include <CoreFoundation/CoreFoundation.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string TextOf(CFStringRef string)
{
    if (string == nullptr)
        return "(nil)";
    std::vector<char> buffer(
        static_cast<size_t>(CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1));
    if (!CFStringGetCString(string, buffer.data(), static_cast<CFIndex>(buffer.size()), kCFStringEncodingUTF8))
        return "(unconvertible)";
    return buffer.data();
}

void PrintXML(const char* title, CFDataRef xml)
{
    std::fprintf(stderr, "%s:\n%.*s\n", title, static_cast<int>(CFDataGetLength(xml)),
                 reinterpret_cast<const char*>(CFDataGetBytePtr(xml)));
}

[[noreturn]] void Broken(const char* what)
{
    std::fprintf(stderr, "PropertyListReaderFuzzer: %s\n", what);
    std::abort();
}

CFPropertyListRef Parse(CFDataRef xml, CFOptionFlags option, CFStringRef* error)
{
    CFPropertyListRef tree = CFPropertyListCreateFromXMLData(nullptr, xml, option, error);
    // A refusal always says why, and an acceptance never leaves a reason behind.
    if ((tree == nullptr) != (*error != nullptr))
        Broken(tree ? "a parsed document came with an error string" : "a refused document came without a reason");
    return tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static constexpr CFOptionFlags kOptions[] = {
        kCFPropertyListImmutable,
        kCFPropertyListMutableContainers,
        kCFPropertyListMutableContainersAndLeaves,
    };
    const CFOptionFlags option = kOptions[data[0] % 3];
    CFDataRef input = CFDataCreate(nullptr, data + 1, static_cast<CFIndex>(size - 1));

    CFStringRef error = nullptr;
    CFPropertyListRef first = Parse(input, option, &error);
    CFRelease(input);
    if (first == nullptr) {
        CFRelease(error);
        return 0;
    }

    CFDataRef written = CFPropertyListCreateXMLData(nullptr, first);
    if (written == nullptr)
        Broken("the writer refused a tree the reader made");
    CFPropertyListRef second = Parse(written, option, &error);
    if (second == nullptr) {
        PrintXML("written", written);
        std::fprintf(stderr, "reason: %s\n", TextOf(error).c_str());
        Broken("the reader refused what the writer wrote");
    }
    if (!CFEqual(first, second)) {
        PrintXML("written", written);
        Broken("parse, write, parse gave a different tree");
    }
    // The writer is deterministic, so a tree that came back equal must also
    // write the same bytes; anything else means CFEqual overlooks a change.
    CFDataRef rewritten = CFPropertyListCreateXMLData(nullptr, second);
    if (rewritten == nullptr || !CFEqual(written, rewritten)) {
        PrintXML("written", written);
        if (rewritten)
            PrintXML("rewritten", rewritten);
        Broken("writing the reparsed tree gave different bytes");
    }

    CFRelease(rewritten);
    CFRelease(second);
    CFRelease(written);
    CFRelease(first);
    return 0;
}
