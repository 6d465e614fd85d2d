// Colour spaces. Only the grey and RGB families exist here, and every RGB
// space (device, generic, sRGB) draws the same: the screen is taken to be
// sRGB, so no conversion happens between them.
#pragma once

#include <CoreFoundation/CFBase.h>

#include <cstddef>

typedef const struct CGColorSpaceObject* CGColorSpaceRef;

typedef enum : SInt32 {
    kCGColorSpaceModelUnknown = -1,
    kCGColorSpaceModelMonochrome = 0,
    kCGColorSpaceModelRGB = 1,
} CGColorSpaceModel;

// Names of the named spaces.
extern const CFStringRef kCGColorSpaceGenericRGB;
extern const CFStringRef kCGColorSpaceGenericGray;
extern const CFStringRef kCGColorSpaceSRGB;

CFTypeID CGColorSpaceGetTypeID();
CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
CGColorSpaceRef CGColorSpaceCreateDeviceGray();
// Nil for a name we do not know.
CGColorSpaceRef CGColorSpaceCreateWithName(CFStringRef name);
CGColorSpaceRef CGColorSpaceRetain(CGColorSpaceRef space);
void CGColorSpaceRelease(CGColorSpaceRef space);
// 1 for grey, 3 for RGB (alpha not counted).
size_t CGColorSpaceGetNumberOfComponents(CGColorSpaceRef space);
CGColorSpaceModel CGColorSpaceGetModel(CGColorSpaceRef space);
// The name of a named space (borrowed); nil for the device spaces.
CFStringRef CGColorSpaceGetName(CGColorSpaceRef space);
