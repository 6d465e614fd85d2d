// Immutable, reference-counted bitmap images (CF objects: CFRetain and
// CFRelease work on them too).
#pragma once

#include <CoreFoundation/CFBase.h>

#include <cstddef>

typedef const struct CGImageObject* CGImageRef;

CFTypeID CGImageGetTypeID();
CGImageRef CGImageRetain(CGImageRef image);
void CGImageRelease(CGImageRef image);

size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
size_t CGImageGetBitsPerComponent(CGImageRef image);
size_t CGImageGetBitsPerPixel(CGImageRef image);
size_t CGImageGetBytesPerRow(CGImageRef image);
