// The floating-point exceptions that trap. A bit set in the mask keeps its
// exception from trapping (the operation answers an infinity, a NaN or a
// rounded value instead); a bit clear makes it raise SIGFPE. The bits are
// those of the processor's control word: invalid operation, denormal
// operand, division by zero, overflow, underflow, inexact result. The mask
// belongs to the calling thread; threads started afterwards inherit it.
#pragma once

#include <CoreFoundation/MacTypes.h>

enum : UInt32 {
    kFPExceptionInvalid = 1 << 0,
    kFPExceptionDenormal = 1 << 1,
    kFPExceptionDivideByZero = 1 << 2,
    kFPExceptionOverflow = 1 << 3,
    kFPExceptionUnderflow = 1 << 4,
    kFPExceptionInexact = 1 << 5,
    kFPExceptionAll = 63,
};

// Sets the mask and answers the one before. Bits above kFPExceptionAll are
// ignored. Where the processor cannot trap denormal operands (anything but
// x86) that bit always reads as set.
UInt32 SetFloatingPointExceptionMask(UInt32 mask);
UInt32 GetFloatingPointExceptionMask();
