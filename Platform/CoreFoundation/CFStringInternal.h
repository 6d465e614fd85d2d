// CFString's object and the UTF-16/UTF-8 bridges that the rest of the
// platform layer uses to read and make strings without going through bytes.
#pragma once

#include "CFRuntime.h"

#include <CoreFoundation/CFString.h>

#include <string>
#include <string_view>

struct CFStringObject final : CFRuntimeObject {
    CFStringObject(std::u16string text, bool mutableString, bool immortal = false)
        : CFRuntimeObject(kCFRuntimeTypeString, immortal), units(std::move(text)), isMutable(mutableString)
    {}

    bool Equals(const CFRuntimeObject& other) const override;
    CFHashCode Hash() const override;
    CFStringRef CopyDescription() const override;

    std::u16string units;
    const bool isMutable;
    // Constants keep the UTF-8 text they were made from (CFStringGetCStringPtr);
    // it lives in the constants' table for ever. Nil for other strings.
    const char* constantUTF8 = nullptr;
    // The hash of an immutable string, worked out on first use (0: not yet).
    mutable std::atomic<CFHashCode> cachedHash{0};
};

// The string behind a reference; nil for nil and for references of another
// type, so a value of the wrong kind read from outside reads as absent.
inline const CFStringObject* CFStringObjectOf(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != kCFRuntimeTypeString)
        return nullptr;
    return static_cast<const CFStringObject*>(CFRuntimeObjectOf(cf));
}

// The UTF-16 text of a string; empty for nil or a value of another type.
inline std::u16string_view CFStringView(CFTypeRef cf)
{
    const CFStringObject* s = CFStringObjectOf(cf);
    return s ? std::u16string_view(s->units) : std::u16string_view();
}
// The UTF-8 text of a string; empty for nil or a value of another type.
std::string CFStringToUTF8(CFTypeRef cf);

CFStringRef CFStringCreateWithUTF16(std::u16string units);
CFMutableStringRef CFStringCreateMutableWithUTF16(std::u16string units);
// Nil when the text is not valid UTF-8.
CFStringRef CFStringCreateWithUTF8(std::string_view utf8);
// Never nil: bytes that are not valid UTF-8 are read as Mac Roman. For texts
// that quote outside data, such as error messages.
CFStringRef CFStringCreateWithUTF8OrMacRoman(std::string_view text);

// UTF-16 code-unit hash shared by strings and anything keyed by them.
CFHashCode CFStringHashUnits(std::u16string_view units);
