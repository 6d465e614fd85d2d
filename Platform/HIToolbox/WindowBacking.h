// Where a window keeps its backing store. The program asks for video
// memory while animations run; this system composes every window in one
// buffer in main memory, so the choice is kept and answered, and changes
// nothing in how the window is drawn.
#pragma once

#include <HIToolbox/MacWindows.h>

typedef UInt32 HIWindowBackingLocation;
enum : HIWindowBackingLocation {
    kHIWindowBackingLocationDefault = 0,
    kHIWindowBackingLocationVideoMemory = 1,
    kHIWindowBackingLocationMainMemory = 2,
};

// errInvalidWindowRef for a window that is not live; paramErr for a
// location that is none of the three.
OSStatus HIWindowSetBackingLocation(WindowRef window, HIWindowBackingLocation location);
// The location last set (the default when none was); the output is left
// untouched on failure.
OSStatus HIWindowGetBackingLocation(WindowRef window, HIWindowBackingLocation* outLocation);
