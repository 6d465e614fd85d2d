// Conversions between short strings and platform strings, localized strings
// with numbered placeholders, and byte copies of platform values.
#pragma once

#include <vector>

#include "ShortString.h"

#include <CarbonCore/MacMemory.h>
#include <CoreFoundation/CoreFoundation.h>

#include <initializer_list>

// The constant platform string of a short string (interned, never released).
CFStringRef CFSTR(const ShortString& text);
// CFSTR of the decimal text of `n`.
CFStringRef CFNSTR(SInt32 n);

// The short form of a platform string: empty for nil; a text of 255
// characters or more keeps its first 254; the result is cut to 255 bytes of
// UTF-8 at a character boundary.
ShortString CFStringToPascal(CFStringRef s);
inline ShortString PCFSTR(CFStringRef s)
{
    return CFStringToPascal(s);
}

// The main bundle's translation of `key` (the key itself when there is
// none) with "^1", "^2", ... replaced by the arguments in order, each
// everywhere it occurs. A new mutable string the caller releases.
// A new string: `text` with each placeholder "^" + number (the whole run
// of digits: "^10" is the tenth) replaced by that parameter, or by
// `nilText` for a nil one; a number without a parameter stays as it is, and
// what a parameter brings in is not searched again. Nil for nil.
CFStringRef CFStringCreateWithPlaceholders(CFStringRef text, const std::vector<CFStringRef>& params,
                                           CFStringRef nilText);
CFMutableStringRef CFCopyLocalizedString(const ShortString& key, std::initializer_list<CFStringRef> args = {});

// A new string of the number as "%@" formats it.
CFStringRef CFStringCreateFromNumber(CFNumberRef n);
// True when the string is empty or begins with CR or LF.
Boolean CFStringIsLineEnding(CFStringRef s);
// The first CR or LF of the string; NUL when it has none.
char CFStringGetLineEnding(CFStringRef s);
// A new memory block of the string's UTF-16 units (2 × length bytes, no terminator).
Ptr CFStringCopyUnicodeString(CFStringRef s);
// A new memory block holding the NUL-terminated text in the encoding; nil
// for nil, an empty string, or a text the encoding cannot hold.
char* CFStringCopyCString(CFStringRef s, CFStringEncoding encoding = kCFStringEncodingMacRoman);
// A new memory block with a copy of the data's bytes; nil for anything but data.
Ptr CFDataCopyBytes(CFDataRef d);
// Copies the bytes of a data value into `dest` only when there are exactly
// `size` of them (a stored value of another length would overrun the
// destination or leave part of it stale); false otherwise, and for values
// that are not data.
bool CFDataCopyExactly(CFTypeRef value, void* dest, size_t size);
CFRange CFDataGetRange(CFDataRef d);
CFRange CFStringGetRange(CFStringRef s);
// True when both are non-nil and equal exactly (case-sensitive).
Boolean CFStringCompare(CFStringRef a, CFStringRef b);

// Releases a non-nil value and clears the variable.
template <typename Ref>
void CFReleaseSafe(Ref& cf)
{
    if (cf) {
        CFRelease(cf);
        cf = nullptr;
    }
}

// A container retain callback for containers of plain pointers: the value
// enters unchanged.
const void* CFRetainPointerCallback(CFAllocatorRef allocator, const void* value);
