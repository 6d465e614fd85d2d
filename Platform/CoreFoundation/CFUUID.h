// Universally unique identifiers. Their text is the canonical upper-case
// form "68753A44-4D6F-1226-9C60-0050E4C00067".
#pragma once

#include <CoreFoundation/CFBase.h>

typedef struct {
    UInt8 byte0, byte1, byte2, byte3, byte4, byte5, byte6, byte7;
    UInt8 byte8, byte9, byte10, byte11, byte12, byte13, byte14, byte15;
} CFUUIDBytes;

typedef const struct CFUUIDObject* CFUUIDRef;

CFTypeID CFUUIDGetTypeID();
// A new random (version 4) identifier.
CFUUIDRef CFUUIDCreate(CFAllocatorRef alloc);
CFUUIDRef CFUUIDCreateWithBytes(CFAllocatorRef alloc, UInt8 byte0, UInt8 byte1, UInt8 byte2, UInt8 byte3, UInt8 byte4,
                                UInt8 byte5, UInt8 byte6, UInt8 byte7, UInt8 byte8, UInt8 byte9, UInt8 byte10,
                                UInt8 byte11, UInt8 byte12, UInt8 byte13, UInt8 byte14, UInt8 byte15);
CFUUIDRef CFUUIDCreateFromUUIDBytes(CFAllocatorRef alloc, CFUUIDBytes bytes);
// Nil unless the text is 32 hexadecimal digits in the 8-4-4-4-12 layout
// (either case), optionally in braces.
CFUUIDRef CFUUIDCreateFromString(CFAllocatorRef alloc, CFStringRef uuidStr);
CFStringRef CFUUIDCreateString(CFAllocatorRef alloc, CFUUIDRef uuid);
CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef uuid);
