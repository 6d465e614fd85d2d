// The old toolbox's small helpers, as the rest of the units call them.
#pragma once

#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/ShortString.h>

#include <CarbonCore/CarbonCore.h>

#include <random>

// The decimal text of `n`.
ShortString NSTR(SInt32 n);
// The low 32 bits of the microsecond clock.
UInt32 Microseconds();
// Sixtieths of a second since the clock started.
UInt32 Ticks();
// Disposes of a non-nil block and clears the variable.
void ReleasePtr(Ptr& p);

// The units' random-number generator, seeded from the clock when the unit
// starts.
std::mt19937& ToolboxRandomGenerator();

void InitializeToolboxAll();
