#include "CFUtilities.h"

#include <CoreFoundation/CFStringUTF8.h>

#include <string>

CFStringRef CFSTR(const ShortString& text)
{
    return CFSTR(text.View());
}

CFStringRef CFNSTR(SInt32 n)
{
    return CFSTR(std::to_string(n));
}

ShortString CFStringToPascal(CFStringRef s)
{
    CFIndex length = CFStringGetLength(s);
    if (length == 0)
        return {};
    if (length >= 255) {
        length = 254;
        // Keep a surrogate pair whole.
        const UniChar last = CFStringGetCharacterAtIndex(s, length - 1);
        if (last >= 0xD800 && last <= 0xDBFF)
            --length;
    }
    char buffer[254 * 3 + 1];
    CFIndex used = 0;
    CFStringGetBytes(s, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false, reinterpret_cast<UInt8*>(buffer),
                     sizeof buffer - 1, &used);
    return ShortString(std::string_view(buffer, static_cast<size_t>(used)));
}

CFMutableStringRef CFCopyLocalizedString(const ShortString& key, std::initializer_list<CFStringRef> args)
{
    CFStringRef localized = CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR(key), CFSTR(key), nullptr);
    if (localized == nullptr)
        return nullptr;
    CFStringRef filled = CFStringCreateWithPlaceholders(localized, std::vector<CFStringRef>(args), CFSTR(""));
    CFRelease(localized);
    CFMutableStringRef text = CFStringCreateMutableCopy(nullptr, 0, filled);
    CFRelease(filled);
    return text;
}

CFStringRef CFStringCreateWithPlaceholders(CFStringRef text, const std::vector<CFStringRef>& params,
                                           CFStringRef nilText)
{
    if (text == nullptr)
        return nullptr;
    const std::u16string_view source = CFStringView(text);
    std::u16string result;
    result.reserve(source.size());
    auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    size_t i = 0;
    while (i < source.size()) {
        size_t digitsEnd = i + 1;
        while (source[i] == u'^' && digitsEnd < source.size() && isDigit(source[digitsEnd]))
            ++digitsEnd;
        if (digitsEnd == i + 1) {
            result += source[i++];
            continue;
        }
        // The whole run of digits is the number; a run too long for any
        // parameter names none.
        size_t number = 0;
        for (size_t d = i + 1; d < digitsEnd && number <= params.size(); ++d)
            number = number * 10 + static_cast<size_t>(source[d] - u'0');
        if (number >= 1 && number <= params.size()) {
            CFStringRef param = params[number - 1];
            result += CFStringView(param != nullptr ? param : nilText);
        } else {
            result += source.substr(i, digitsEnd - i);
        }
        i = digitsEnd;
    }
    return CFStringCreateWithUTF16(std::move(result));
}

CFStringRef CFStringCreateFromNumber(CFNumberRef n)
{
    return CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@"), n);
}

Boolean CFStringIsLineEnding(CFStringRef s)
{
    if (CFStringGetLength(s) == 0)
        return true;
    // The whole UTF-16 unit counts: judged by its low byte alone, text such
    // as U+4E0A or U+010D would read as a line break.
    const UniChar first = CFStringGetCharacterAtIndex(s, 0);
    return first == '\r' || first == '\n';
}

char CFStringGetLineEnding(CFStringRef s)
{
    const CFIndex length = CFStringGetLength(s);
    for (CFIndex i = 0; i < length; ++i) {
        const UniChar c = CFStringGetCharacterAtIndex(s, i);
        if (c == '\r' || c == '\n')
            return static_cast<char>(c);
    }
    return '\0';
}

Ptr CFStringCopyUnicodeString(CFStringRef s)
{
    const CFIndex length = CFStringGetLength(s);
    Ptr block = NewPtr(length * 2);
    if (block)
        CFStringGetCharacters(s, CFRangeMake(0, length), reinterpret_cast<UniChar*>(block));
    return block;
}

char* CFStringCopyCString(CFStringRef s, CFStringEncoding encoding)
{
    const CFIndex length = CFStringGetLength(s);
    if (length == 0)
        return nullptr;
    // Room for the text as the encoding needs it: non-ASCII UTF-8 takes
    // more bytes than characters.
    CFIndex needed = 0;
    if (CFStringGetBytes(s, CFRangeMake(0, length), encoding, 0, false, nullptr, 0, &needed) != length)
        return nullptr;
    Ptr block = NewPtr(needed + 1);
    if (block && !CFStringGetCString(s, block, needed + 1, encoding)) {
        DisposePtr(block);
        return nullptr;
    }
    return block;
}

Ptr CFDataCopyBytes(CFDataRef d)
{
    if (d == nullptr || CFGetTypeID(d) != CFDataGetTypeID())
        return nullptr;
    const CFIndex length = CFDataGetLength(d);
    Ptr block = NewPtr(length);
    if (block)
        CFDataGetBytes(d, CFRangeMake(0, length), reinterpret_cast<UInt8*>(block));
    return block;
}

bool CFDataCopyExactly(CFTypeRef value, void* dest, size_t size)
{
    if (value == nullptr || dest == nullptr || CFGetTypeID(value) != CFDataGetTypeID())
        return false;
    CFDataRef data = static_cast<CFDataRef>(value);
    if (static_cast<size_t>(CFDataGetLength(data)) != size)
        return false;
    CFDataGetBytes(data, CFRangeMake(0, static_cast<CFIndex>(size)), static_cast<UInt8*>(dest));
    return true;
}

CFRange CFDataGetRange(CFDataRef d)
{
    return CFRangeMake(0, CFDataGetLength(d));
}

CFRange CFStringGetRange(CFStringRef s)
{
    return CFRangeMake(0, CFStringGetLength(s));
}

Boolean CFStringCompare(CFStringRef a, CFStringRef b)
{
    return a != nullptr && b != nullptr && CFStringCompare(a, b, 0) == kCFCompareEqualTo;
}

const void* CFRetainPointerCallback(CFAllocatorRef, const void* value)
{
    return value;
}
