// Small helpers for tests that look at Core Foundation values.
#pragma once

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

// The UTF-8 text of a string, through the public conversion calls only.
inline std::string UTF8Of(CFStringRef s)
{
    if (s == nullptr)
        return "<nil>";
    CFIndex needed = 0;
    CFIndex length = CFStringGetLength(s);
    CFStringGetBytes(s, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false, nullptr, 0, &needed);
    std::string out(static_cast<size_t>(needed), '\0');
    CFStringGetBytes(s, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false, reinterpret_cast<UInt8*>(out.data()),
                     needed, &needed);
    return out;
}

inline CFRef<CFStringRef> MakeString(std::string_view utf8)
{
    return CFRef<CFStringRef>(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8.data()),
                                                      static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8, false));
}

inline CFRef<CFMutableStringRef> MakeMutableString(std::string_view utf8)
{
    CFRef<CFStringRef> s = MakeString(utf8);
    return CFRef<CFMutableStringRef>(CFStringCreateMutableCopy(nullptr, 0, s));
}

// The description of any value as UTF-8.
inline std::string DescriptionOf(CFTypeRef cf)
{
    CFRef<CFStringRef> d(CFCopyDescription(cf));
    return UTF8Of(d);
}

// The bytes of a data object as a string.
inline std::string BytesOf(CFDataRef data)
{
    if (data == nullptr)
        return {};
    return std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                       static_cast<size_t>(CFDataGetLength(data)));
}

inline CFRef<CFDataRef> MakeData(std::string_view bytes)
{
    return CFRef<CFDataRef>(
        CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), static_cast<CFIndex>(bytes.size())));
}

// A property list parsed from text; `error` (when given) gets the reader's
// reason, empty when it parsed.
inline CFRef<CFTypeRef> ParsePropertyList(std::string_view text, CFOptionFlags options = kCFPropertyListImmutable,
                                          std::string* error = nullptr)
{
    auto data = MakeData(text);
    CFStringRef errorString = nullptr;
    CFRef<CFTypeRef> result(CFPropertyListCreateFromXMLData(nullptr, data, options, &errorString));
    if (error)
        *error = errorString ? UTF8Of(errorString) : "";
    if (errorString)
        CFRelease(errorString);
    return result;
}

// A file of the test fixtures folder, read whole; empty when missing.
std::string ReadFixture(std::string_view relativePath);
// Writes a fixture file (used to refresh golden files on purpose).
void WriteFixture(std::string_view relativePath, std::string_view bytes);

// Seconds since 1970 of a wall-clock time in Berlin (the zone the tests run in).
inline double BerlinWall(int year, int month, int day, int hour, int minute = 0)
{
    CFRef<CFTimeZoneRef> berlin(CFTimeZoneCreateWithName(nullptr, CFSTR("Europe/Berlin"), false));
    const CFGregorianDate date{
        year, static_cast<SInt8>(month), static_cast<SInt8>(day), static_cast<SInt8>(hour), static_cast<SInt8>(minute),
        0};
    return CFGregorianDateGetAbsoluteTime(date, berlin) + kCFAbsoluteTimeIntervalSince1970;
}
