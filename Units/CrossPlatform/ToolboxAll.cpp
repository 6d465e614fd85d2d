#include "ToolboxAll.h"

#include <Support/Clock.h>

#include <string>

ShortString NSTR(SInt32 n)
{
    return ShortString(std::to_string(n));
}

UInt32 Microseconds()
{
    UnsignedWide now;
    Microseconds(&now);
    return now.lo;
}

UInt32 Ticks()
{
    return TickCount();
}

void ReleasePtr(Ptr& p)
{
    if (p) {
        DisposePtr(p);
        p = nullptr;
    }
}

std::mt19937& ToolboxRandomGenerator()
{
    static std::mt19937 generator;
    return generator;
}

void InitializeToolboxAll()
{
    const uint64_t now = Clock::MonotonicNanoseconds() ^ static_cast<uint64_t>(Clock::WallSeconds() * 1e6);
    ToolboxRandomGenerator().seed(static_cast<std::mt19937::result_type>(now ^ (now >> 32)));
}
