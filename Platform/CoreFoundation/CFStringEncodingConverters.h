// Byte encodings to and from UTF-16, shared by CFString and the platform
// code that reads and writes texts (property lists, URLs, files).
#pragma once

#include <CoreFoundation/CFString.h>

#include <string>
#include <string_view>

// Appends the UTF-16 form of `count` bytes in `encoding` to `out`. Answers
// false (and leaves `out` unspecified) when the bytes are not valid in the
// encoding. With `isExternalRepresentation`, a byte-order mark picks the byte
// order of UTF-16 and a UTF-8 byte-order mark is skipped.
bool CFDecodeBytes(const UInt8* bytes, size_t count, CFStringEncoding encoding, bool isExternalRepresentation,
                   std::u16string& out);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool CFDecodeUTF8(std::string_view utf8, std::u16string& out);

// Replaces every surrogate that is not half of a pair with U+FFFD, so that
// the text has a UTF-8 form and survives a round trip through one.
void CFReplaceLoneSurrogates(std::u16string& units);

// UTF-8 of UTF-16 text; a lone surrogate becomes U+FFFD.
std::string CFEncodeUTF8(std::u16string_view units);

struct CFEncodeResult {
    CFIndex charactersConverted;  // UTF-16 units consumed
    CFIndex bytesUsed;            // bytes written, or needed when the buffer is nil
};

// Converts `units` to `encoding`. A character the encoding cannot hold is
// written as `lossByte`; with a loss byte of 0 the conversion stops before
// it. The conversion also stops before a character that would not fit into
// `maxBufferLength` bytes. With `isExternalRepresentation`, UTF-16 output
// starts with a byte-order mark.
CFEncodeResult CFEncodeUnits(std::u16string_view units, CFStringEncoding encoding, UInt8 lossByte,
                             bool isExternalRepresentation, UInt8* buffer, CFIndex maxBufferLength);

bool CFEncodingIsSupported(CFStringEncoding encoding);

// The Mac Roman character set, all 256 bytes.
UniChar CFMacRomanToUnicode(UInt8 byte);
// False when the character has no Mac Roman byte.
bool CFUnicodeToMacRoman(UniChar character, UInt8* byte);
