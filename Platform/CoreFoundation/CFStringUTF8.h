// Strings to and from UTF-8 and UTF-16 without going through byte buffers:
// the bridges the platform families and the units use to read and make
// strings. Values of another type read as empty text.
#pragma once

#include <CoreFoundation/CFString.h>

#include <string>
#include <string_view>

// The UTF-16 text of a string; empty for nil or a value of another type.
// The view lasts while the string does and is not changed.
std::u16string_view CFStringView(CFTypeRef cf);
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
