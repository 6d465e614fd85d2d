#include "FloatingPointMask.h"

#include <cfenv>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace {

#if defined(__x86_64__) || defined(__i386__)

// Both units compute in floating point: the x87 (long double, some library
// calls) and SSE (float and double). Their control words hold the six mask
// bits in the same order: bits 0-5 of the x87 word, bits 7-12 of MXCSR.
constexpr unsigned kSSEShift = 7;

UInt32 ReadMask()
{
    unsigned short x87 = 0;
    __asm__ volatile("fnstcw %0" : "=m"(x87));
    return static_cast<UInt32>(x87 & kFPExceptionAll);
}

void WriteMask(UInt32 mask)
{
    // Flags already raised would trap at the next operation once unmasked.
    std::feclearexcept(FE_ALL_EXCEPT);
    unsigned short x87 = 0;
    __asm__ volatile("fnstcw %0" : "=m"(x87));
    x87 = static_cast<unsigned short>((x87 & ~kFPExceptionAll) | mask);
    __asm__ volatile("fldcw %0" : : "m"(x87));
    unsigned csr = _mm_getcsr() & ~0x3Fu;  // the raised flags, too
    csr = (csr & ~(static_cast<unsigned>(kFPExceptionAll) << kSSEShift)) | (mask << kSSEShift);
    _mm_setcsr(csr);
}

#else

struct Bit {
    UInt32 mask;
    int except;
};
constexpr Bit kBits[] = {{kFPExceptionInvalid, FE_INVALID},
                         {kFPExceptionDivideByZero, FE_DIVBYZERO},
                         {kFPExceptionOverflow, FE_OVERFLOW},
                         {kFPExceptionUnderflow, FE_UNDERFLOW},
                         {kFPExceptionInexact, FE_INEXACT}};

UInt32 ReadMask()
{
    const int enabled = fegetexcept();
    UInt32 mask = kFPExceptionDenormal;
    for (const Bit& bit : kBits)
        if ((enabled & bit.except) == 0)
            mask |= bit.mask;
    return mask;
}

void WriteMask(UInt32 mask)
{
    std::feclearexcept(FE_ALL_EXCEPT);
    for (const Bit& bit : kBits) {
        if (mask & bit.mask)
            fedisableexcept(bit.except);
        else
            feenableexcept(bit.except);
    }
}

#endif

}  // namespace

UInt32 GetFloatingPointExceptionMask()
{
    return ReadMask();
}

UInt32 SetFloatingPointExceptionMask(UInt32 mask)
{
    const UInt32 before = ReadMask();
    WriteMask(mask & kFPExceptionAll);
    return before;
}
