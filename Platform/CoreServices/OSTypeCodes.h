// Four-character codes written as the text they are ("pref"), packed
// big-endian with the first character in the highest byte, at compile
// time and without multi-character literals.
#pragma once

#include <CoreFoundation/MacTypes.h>

constexpr OSType MakeOSType(const char (&code)[5])
{
    return (static_cast<OSType>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<OSType>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<OSType>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<OSType>(static_cast<unsigned char>(code[3]));
}
