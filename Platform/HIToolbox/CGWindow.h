// Pictures of the screen as our own windows cover it. The program sees only
// its own windows' pixels (the window system shows nothing of others'), so
// an area of the screen comes out as our windows there, front over back,
// on transparency.
#pragma once

#include <CoreGraphics/CGImage.h>
#include <HIToolbox/MacWindows.h>

typedef UInt32 CGWindowID;
typedef UInt32 CGWindowListOption;
typedef UInt32 CGWindowImageOption;

inline constexpr CGWindowID kCGNullWindowID = 0;
enum : CGWindowListOption {
    kCGWindowListOptionAll = 0,
    kCGWindowListOptionOnScreenOnly = 1 << 0,
    kCGWindowListOptionOnScreenAboveWindow = 1 << 1,
    kCGWindowListOptionOnScreenBelowWindow = 1 << 2,
    kCGWindowListOptionIncludingWindow = 1 << 3,
    kCGWindowListExcludeDesktopElements = 1 << 4,
};
enum : CGWindowImageOption {
    kCGWindowImageDefault = 0,
    kCGWindowImageBoundsIgnoreFraming = 1 << 0,
    kCGWindowImageShouldBeOpaque = 1 << 1,
    kCGWindowImageOnlyShadows = 1 << 2,
};

// A new image of `screenBounds` (global, top-left origin, y down; a null
// or infinite rectangle: the smallest one holding the windows) showing the
// content of our visible windows, front over back, one pixel per point.
// Only the whole list is offered (kCGWindowListOptionAll or
// kCGWindowListOptionOnScreenOnly with kCGNullWindowID): other options, a
// window id, or an empty area answer nil. kCGWindowImageShouldBeOpaque
// puts white where no window is.
CGImageRef CGWindowListCreateImage(CGRect screenBounds, CGWindowListOption listOption, CGWindowID windowID,
                                   CGWindowImageOption imageOption);
