// Immutable, reference-counted bitmap images (CF objects: CFRetain and
// CFRelease work on them too).
//
// An image keeps its pixels in the layout it was made with: straight or
// premultiplied alpha, so that encoding a straight-alpha image (one read
// from a PNG, say) writes back every pixel exactly.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreGraphics/CGColorSpace.h>
#include <CoreGraphics/CGDataProvider.h>
#include <CoreGraphics/CGGeometry.h>

#include <cstddef>

typedef const struct CGImageObject* CGImageRef;

// One enumeration for the alpha placements and the byte orders, so that
// they combine with | as callers write them.
typedef UInt32 CGImageAlphaInfo;
typedef UInt32 CGBitmapInfo;
enum : UInt32 {
    kCGImageAlphaNone,
    kCGImageAlphaPremultipliedLast,
    kCGImageAlphaPremultipliedFirst,
    kCGImageAlphaLast,
    kCGImageAlphaFirst,
    kCGImageAlphaNoneSkipLast,
    kCGImageAlphaNoneSkipFirst,
    kCGImageAlphaOnly,

    kCGBitmapAlphaInfoMask = 0x1F,
    kCGBitmapFloatComponents = 1 << 8,
    kCGBitmapByteOrderMask = 0x7000,
    kCGBitmapByteOrderDefault = 0 << 12,
    kCGBitmapByteOrder16Little = 1 << 12,
    kCGBitmapByteOrder32Little = 2 << 12,
    kCGBitmapByteOrder16Big = 3 << 12,
    kCGBitmapByteOrder32Big = 4 << 12,
};

typedef enum : SInt32 {
    kCGRenderingIntentDefault,
    kCGRenderingIntentAbsoluteColorimetric,
    kCGRenderingIntentRelativeColorimetric,
    kCGRenderingIntentPerceptual,
    kCGRenderingIntentSaturation,
} CGColorRenderingIntent;

CFTypeID CGImageGetTypeID();
CGImageRef CGImageRetain(CGImageRef image);
void CGImageRelease(CGImageRef image);

// An image of the provider's bytes, copied now: 8 bits per component, in
// RGB (32 bits per pixel with any alpha placement and byte order, or 24
// without alpha), grey (8 bits, or 16 with alpha last) or alpha only (no
// colour space). Nil for any other layout or too few bytes.
CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel, size_t bytesPerRow,
                         CGColorSpaceRef space, CGBitmapInfo bitmapInfo, CGDataProviderRef provider,
                         const CGFloat decode[], bool shouldInterpolate, CGColorRenderingIntent intent);
// A stencil of 1 or 8 bits per pixel: where a sample is 0 the fill colour
// is painted, where it is 1 (or 255) nothing is (a decode of {1, 0} turns
// that round).
CGImageRef CGImageMaskCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                             size_t bytesPerRow, CGDataProviderRef provider, const CGFloat decode[],
                             bool shouldInterpolate);
CGImageRef CGImageCreateCopy(CGImageRef image);
// The part of the image inside `rect`, in pixels counted from its top-left
// corner; the rectangle is made integral and cut to the image. Nil when
// nothing is left.
CGImageRef CGImageCreateWithImageInRect(CGImageRef image, CGRect rect);

size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
size_t CGImageGetBitsPerComponent(CGImageRef image);
size_t CGImageGetBitsPerPixel(CGImageRef image);
size_t CGImageGetBytesPerRow(CGImageRef image);
CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image);
CGBitmapInfo CGImageGetBitmapInfo(CGImageRef image);
// Borrowed; nil for a mask or an alpha-only image.
CGColorSpaceRef CGImageGetColorSpace(CGImageRef image);
// Borrowed: the image's bytes, rows of CGImageGetBytesPerRow bytes.
CGDataProviderRef CGImageGetDataProvider(CGImageRef image);
bool CGImageIsMask(CGImageRef image);
bool CGImageGetShouldInterpolate(CGImageRef image);
