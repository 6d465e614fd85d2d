// Immutable colours: components in a colour space, alpha last.
#pragma once

#include <CoreGraphics/CGColorSpace.h>
#include <CoreGraphics/CGGeometry.h>

typedef const struct CGColorObject* CGColorRef;

extern const CFStringRef kCGColorBlack;
extern const CFStringRef kCGColorWhite;
extern const CFStringRef kCGColorClear;

CFTypeID CGColorGetTypeID();
// `components` holds the space's components and then alpha. Nil without
// a space or components.
CGColorRef CGColorCreate(CGColorSpaceRef space, const CGFloat components[]);
CGColorRef CGColorCreateGenericRGB(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
CGColorRef CGColorCreateGenericGray(CGFloat gray, CGFloat alpha);
CGColorRef CGColorCreateCopy(CGColorRef color);
CGColorRef CGColorCreateCopyWithAlpha(CGColorRef color, CGFloat alpha);
// One of the named constant colours (borrowed, never freed); nil for
// another name.
CGColorRef CGColorGetConstantColor(CFStringRef name);
CGColorRef CGColorRetain(CGColorRef color);
void CGColorRelease(CGColorRef color);
bool CGColorEqualToColor(CGColorRef color1, CGColorRef color2);

// The components including alpha: 2 for grey, 4 for RGB.
size_t CGColorGetNumberOfComponents(CGColorRef color);
// Borrowed for the life of the colour.
const CGFloat* CGColorGetComponents(CGColorRef color);
CGFloat CGColorGetAlpha(CGColorRef color);
// Borrowed.
CGColorSpaceRef CGColorGetColorSpace(CGColorRef color);
