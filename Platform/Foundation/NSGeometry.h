// Cocoa's names for the Quartz geometry types: the same records.
#pragma once

#include <CoreGraphics/CGGeometry.h>

typedef CGRect NSRect;
typedef CGPoint NSPoint;
typedef CGSize NSSize;

inline constexpr NSSize NSZeroSize = {0, 0};

inline NSSize NSMakeSize(CGFloat width, CGFloat height)
{
    return NSSize{width, height};
}

inline NSPoint NSMakePoint(CGFloat x, CGFloat y)
{
    return NSPoint{x, y};
}
