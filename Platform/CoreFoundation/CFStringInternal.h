// CFString's object: the layout of a string, for Core Foundation's own
// code. Everyone else reads and makes strings through CFStringUTF8.h.
#pragma once

#include "CFRuntime.h"

#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFStringUTF8.h>

#include <string>
#include <string_view>

// A string's UTF-16 units, in node memory like the string (CFRuntime.h):
// the text of a large document's strings lies in its tree's chunks.
using CFStringUnits = std::basic_string<char16_t, std::char_traits<char16_t>, CFNodeAllocator<char16_t>>;

struct CFStringObject final : CFRuntimeObject {
    CFStringObject(CFStringUnits text, bool mutableString, bool immortal = false)
        : CFRuntimeObject(kCFRuntimeTypeString, immortal), units(std::move(text)), isMutable(mutableString)
    {}
    CFStringObject(std::u16string_view text, bool mutableString, bool immortal = false)
        : CFStringObject(CFStringUnits(text), mutableString, immortal)
    {}

    bool Equals(const CFRuntimeObject& other) const override;
    CFHashCode Hash() const override;
    CFStringRef CopyDescription() const override;

    CFStringUnits units;
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
