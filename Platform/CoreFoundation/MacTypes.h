// The basic scalar, string and status types every platform interface and
// unit is written in. Sizes are the machine's: pointers and CFIndex are
// 64-bit, the fixed-width names are exactly what they say.
#pragma once

#include <cstdint>

typedef unsigned char Boolean;
typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef float Float32;
typedef double Float64;
typedef UInt8 Byte;
typedef SInt8 SignedByte;

typedef UInt16 UniChar;
typedef UInt32 UTF32Char;
typedef UInt32 UnicodeScalarValue;

typedef SInt16 OSErr;
typedef SInt32 OSStatus;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef FourCharCode ResType;
typedef UInt32 OptionBits;
typedef unsigned long ItemCount;
typedef unsigned long ByteCount;
typedef void* SRefCon;

// QuickDraw's point and rectangle, 16-bit fields.
struct Point {
    SInt16 v;
    SInt16 h;
};

struct Rect {
    SInt16 top;
    SInt16 left;
    SInt16 bottom;
    SInt16 right;
};

typedef char* Ptr;
typedef Ptr* Handle;
typedef long Size;

// Pascal strings: a length byte followed by that many bytes.
typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char Str31[32];
typedef unsigned char Str15[16];
typedef unsigned char* StringPtr;
typedef const unsigned char* ConstStringPtr;
typedef const unsigned char* ConstStr255Param;
typedef const unsigned char* ConstStr63Param;
typedef const unsigned char* ConstStr31Param;

// Status codes are plain constants, not enumerators, so that codes from
// different headers mix freely in expressions.
inline constexpr OSErr noErr = 0;
