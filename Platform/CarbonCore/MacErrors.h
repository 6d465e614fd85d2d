// The status codes the platform calls answer.
#pragma once

#include <CoreFoundation/MacTypes.h>

inline constexpr OSErr bdNamErr = -37;             // a name or path that cannot be used
inline constexpr OSErr fnfErr = -43;               // no such file or folder
inline constexpr OSErr paramErr = -50;             // a bad argument
inline constexpr OSErr memFullErr = -108;          // out of memory
inline constexpr OSErr memWZErr = -111;            // not a live memory block
inline constexpr OSErr errFSRefsDifferent = -1420; // two references to different files
