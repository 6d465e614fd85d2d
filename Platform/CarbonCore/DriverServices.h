// The machine's clocks as the old toolbox counted them.
#pragma once

#include <CoreFoundation/MacTypes.h>

typedef struct {
    UInt32 lo;
    UInt32 hi;
} UnsignedWide;

// Microseconds since the clock started (it never goes back).
void Microseconds(UnsignedWide* microTickCount);
// Sixtieths of a second since the clock started.
UInt32 TickCount();
