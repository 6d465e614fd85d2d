#include "DriverServices.h"

#include <Support/Clock.h>

void Microseconds(UnsignedWide* microTickCount)
{
    if (microTickCount == nullptr)
        return;
    const uint64_t micros = Clock::MonotonicNanoseconds() / 1000;
    microTickCount->lo = static_cast<UInt32>(micros);
    microTickCount->hi = static_cast<UInt32>(micros >> 32);
}

UInt32 TickCount()
{
    return static_cast<UInt32>(Clock::MonotonicNanoseconds() * 60 / 1'000'000'000ULL);
}
