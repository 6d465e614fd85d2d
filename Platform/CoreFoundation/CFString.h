// Strings: immutable and mutable, stored as UTF-16. Every length, index and
// range counts UTF-16 code units. Conversions from and to bytes name their
// encoding; Mac Roman is converted by our own table.
#pragma once

#include <CoreFoundation/CFBase.h>

#include <cstdarg>
#include <string_view>

typedef const struct CFDataObject* CFDataRef;
typedef const struct CFDictionaryObject* CFDictionaryRef;
typedef const struct CFLocaleObject* CFLocaleRef;

typedef UInt32 CFStringEncoding;

enum : CFStringEncoding {
    kCFStringEncodingMacRoman = 0,
    kCFStringEncodingWindowsLatin1 = 0x0500,
    kCFStringEncodingISOLatin1 = 0x0201,
    kCFStringEncodingASCII = 0x0600,
    kCFStringEncodingUnicode = 0x0100,
    kCFStringEncodingUTF8 = 0x08000100,
    kCFStringEncodingUTF16 = 0x0100,
    kCFStringEncodingUTF16BE = 0x10000100,
    kCFStringEncodingUTF16LE = 0x14000100,
    kCFStringEncodingInvalidId = 0xffffffffU,
};

typedef CFOptionFlags CFStringCompareFlags;
enum : CFStringCompareFlags {
    kCFCompareCaseInsensitive = 1,  // simple Unicode case folding
    kCFCompareBackwards = 4,        // searches from the end
    kCFCompareAnchored = 8,         // searches match only at the start (the end when backwards)
    kCFCompareNumerically = 64,     // runs of digits compare by value: "a9" < "a10"
};

CFTypeID CFStringGetTypeID();

// The interned constant string of a UTF-8 text: the same reference for the
// same text from any thread, for the life of the process; never released.
// Bytes that are not valid UTF-8 are read as Mac Roman.
CFStringRef CFSTR(const char* text);
CFStringRef CFSTR(std::string_view text);

// Creating. Bytes that are not valid in the named encoding answer nil.
CFStringRef CFStringCreateWithPascalString(CFAllocatorRef alloc, ConstStr255Param pStr, CFStringEncoding encoding);
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding);
CFStringRef CFStringCreateWithCharacters(CFAllocatorRef alloc, const UniChar* chars, CFIndex numChars);
CFStringRef CFStringCreateWithBytes(CFAllocatorRef alloc, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation);
CFStringRef CFStringCreateFromExternalRepresentation(CFAllocatorRef alloc, CFDataRef data, CFStringEncoding encoding);
CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef theString);
CFStringRef CFStringCreateWithSubstring(CFAllocatorRef alloc, CFStringRef str, CFRange range);
CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...);
CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                                 CFStringRef format, va_list arguments);
// For a format that comes from outside the program (a translation file):
// `validFormatSpecifiers` is the format the arguments were written for, and
// only the arguments it reads are read. A directive of `format` that reads
// an argument beyond them, or as another kind, formats as empty, with one
// warning line (the platform fails the whole call instead; a translation
// slip should cost one word, not the message). *errorPtr is set to nil.
// Nil only for a nil format or valid format.
CFStringRef CFStringCreateStringWithValidatedFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                                    CFStringRef validFormatSpecifiers, CFStringRef format,
                                                    CFErrorRef* errorPtr, ...);
CFStringRef CFStringCreateStringWithValidatedFormatAndArguments(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                                                CFStringRef validFormatSpecifiers, CFStringRef format,
                                                                CFErrorRef* errorPtr, va_list arguments);
CFStringRef CFStringCreateWithFileSystemRepresentation(CFAllocatorRef alloc, const char* buffer);

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef alloc, CFIndex maxLength);
CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef alloc, CFIndex maxLength, CFStringRef theString);

// Reading.
CFIndex CFStringGetLength(CFStringRef theString);
UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx);
void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer);
const UniChar* CFStringGetCharactersPtr(CFStringRef theString);
const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding);
Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
Boolean CFStringGetPascalString(CFStringRef theString, StringPtr buffer, CFIndex bufferSize, CFStringEncoding encoding);
Boolean CFStringGetFileSystemRepresentation(CFStringRef string, char* buffer, CFIndex maxBufLen);
// Converts the characters of `range`; a character the encoding lacks becomes
// `lossByte`, or ends the conversion when `lossByte` is 0. Answers the number
// of characters converted; `usedBufLen` receives the bytes written (or the
// bytes needed when `buffer` is nil).
CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding, UInt8 lossByte,
                         Boolean isExternalRepresentation, UInt8* buffer, CFIndex maxBufLen, CFIndex* usedBufLen);
CFDataRef CFStringCreateExternalRepresentation(CFAllocatorRef alloc, CFStringRef theString, CFStringEncoding encoding,
                                               UInt8 lossByte);
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
CFIndex CFStringGetMaximumSizeOfFileSystemRepresentation(CFStringRef string);
CFStringEncoding CFStringGetSystemEncoding();
Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding);

// Leading spaces, an optional sign and decimal digits; INT_MAX or INT_MIN on
// overflow, 0 when there are no digits.
SInt32 CFStringGetIntValue(CFStringRef str);
double CFStringGetDoubleValue(CFStringRef str);

// Comparing and searching.
CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2, CFStringCompareFlags compareOptions);
CFComparisonResult CFStringCompareWithOptions(CFStringRef theString1, CFStringRef theString2, CFRange rangeToCompare,
                                              CFStringCompareFlags compareOptions);
CFRange CFStringFind(CFStringRef theString, CFStringRef stringToFind, CFStringCompareFlags compareOptions);
Boolean CFStringFindWithOptions(CFStringRef theString, CFStringRef stringToFind, CFRange rangeToSearch,
                                CFStringCompareFlags searchOptions, CFRange* result);
Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix);
Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix);

// Editing a mutable string. Editing an immutable one is refused with a
// diagnostic line.
void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString);
void CFStringAppendCharacters(CFMutableStringRef theString, const UniChar* chars, CFIndex numChars);
void CFStringAppendPascalString(CFMutableStringRef theString, ConstStr255Param pStr, CFStringEncoding encoding);
void CFStringAppendCString(CFMutableStringRef theString, const char* cStr, CFStringEncoding encoding);
void CFStringAppendFormat(CFMutableStringRef theString, CFDictionaryRef formatOptions, CFStringRef format, ...);
void CFStringAppendFormatAndArguments(CFMutableStringRef theString, CFDictionaryRef formatOptions, CFStringRef format,
                                      va_list arguments);
void CFStringInsert(CFMutableStringRef str, CFIndex idx, CFStringRef insertedStr);
void CFStringDelete(CFMutableStringRef theString, CFRange range);
void CFStringReplace(CFMutableStringRef theString, CFRange range, CFStringRef replacement);
void CFStringReplaceAll(CFMutableStringRef theString, CFStringRef replacement);
CFIndex CFStringFindAndReplace(CFMutableStringRef theString, CFStringRef stringToFind, CFStringRef replacementString,
                               CFRange rangeToSearch, CFStringCompareFlags compareOptions);
void CFStringTrimWhitespace(CFMutableStringRef theString);
void CFStringLowercase(CFMutableStringRef theString, CFLocaleRef locale);
void CFStringUppercase(CFMutableStringRef theString, CFLocaleRef locale);

// Sequential reading without a call per character.
typedef struct {
    UniChar buffer[64];
    CFStringRef theString;
    const UniChar* directUniCharBuffer;
    const char* directCStringBuffer;
    CFRange rangeToBuffer;
    CFIndex bufferedRangeStart;
    CFIndex bufferedRangeEnd;
} CFStringInlineBuffer;

void CFStringInitInlineBuffer(CFStringRef str, CFStringInlineBuffer* buf, CFRange range);

// The character at `idx` of the buffered range; 0 outside it.
inline UniChar CFStringGetCharacterFromInlineBuffer(CFStringInlineBuffer* buf, CFIndex idx)
{
    if (idx < 0 || idx >= buf->rangeToBuffer.length)
        return 0;
    if (buf->directUniCharBuffer)
        return buf->directUniCharBuffer[idx + buf->rangeToBuffer.location];
    if (idx >= buf->bufferedRangeEnd || idx < buf->bufferedRangeStart) {
        buf->bufferedRangeStart = idx < 4 ? 0 : idx - 4;
        buf->bufferedRangeEnd = buf->bufferedRangeStart + 64;
        if (buf->bufferedRangeEnd > buf->rangeToBuffer.length)
            buf->bufferedRangeEnd = buf->rangeToBuffer.length;
        CFStringGetCharacters(buf->theString,
                              CFRangeMake(buf->rangeToBuffer.location + buf->bufferedRangeStart,
                                          buf->bufferedRangeEnd - buf->bufferedRangeStart),
                              buf->buffer);
    }
    return buf->buffer[idx - buf->bufferedRangeStart];
}
