// Contexts that draw into a block of pixels.
//
// Rows run from the top of the picture down: the first row of the buffer
// is the top edge, so user-space y = 0 (the bottom) is the last row.
#pragma once

#include <CoreGraphics/CGColorSpace.h>
#include <CoreGraphics/CGContext.h>
#include <CoreGraphics/CGImage.h>

// Draws straight into `data` when it is given (the caller keeps it alive
// while the context lives); otherwise the context allocates zeroed pixels
// of its own (CGBitmapContextGetData). `bytesPerRow` 0 means packed rows.
// Layouts: 8 bits per component; RGB with 32 bits per pixel and any alpha
// placement except straight alpha (which the platform refuses too), grey
// of 8 bits without alpha, or alpha only without a space. Nil for anything
// else, an empty size or rows too short.
CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent, size_t bytesPerRow,
                                   CGColorSpaceRef space, CGBitmapInfo bitmapInfo);
// A new image of the pixels as they are now; later drawing does not
// change it.
CGImageRef CGBitmapContextCreateImage(CGContextRef context);

// 0 or nil for a context that is not a bitmap context.
void* CGBitmapContextGetData(CGContextRef context);
size_t CGBitmapContextGetWidth(CGContextRef context);
size_t CGBitmapContextGetHeight(CGContextRef context);
size_t CGBitmapContextGetBytesPerRow(CGContextRef context);
size_t CGBitmapContextGetBitsPerComponent(CGContextRef context);
size_t CGBitmapContextGetBitsPerPixel(CGContextRef context);
CGBitmapInfo CGBitmapContextGetBitmapInfo(CGContextRef context);
CGImageAlphaInfo CGBitmapContextGetAlphaInfo(CGContextRef context);
// Borrowed.
CGColorSpaceRef CGBitmapContextGetColorSpace(CGContextRef context);
