// CFString's object: the layout of a string, for Core Foundation's own
// code. Everyone else reads and makes strings through CFStringUTF8.h.
#pragma once

#include "CFRuntime.h"

#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFStringUTF8.h>

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
