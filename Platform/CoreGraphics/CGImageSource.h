// Decoding images from data (PNG, JPEG, GIF, BMP, TIFF, ...).
#pragma once

#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFURL.h>
#include <CoreGraphics/CGDataProvider.h>
#include <CoreGraphics/CGImage.h>

typedef const struct CGImageSourceObject* CGImageSourceRef;

CFTypeID CGImageSourceGetTypeID();
// Nil when the data is not an image of a kind we read.
CGImageSourceRef CGImageSourceCreateWithData(CFDataRef data, CFDictionaryRef options);
// The same over a file's bytes, read now; nil when it cannot be read.
CGImageSourceRef CGImageSourceCreateWithURL(CFURLRef url, CFDictionaryRef options);
CGImageSourceRef CGImageSourceCreateWithDataProvider(CGDataProviderRef provider, CFDictionaryRef options);
// The type identifier of the data's format ("public.png", ...).
CFStringRef CGImageSourceGetType(CGImageSourceRef isrc);
size_t CGImageSourceGetCount(CGImageSourceRef isrc);
// Nil when the index is out of range or the image cannot be decoded.
CGImageRef CGImageSourceCreateImageAtIndex(CGImageSourceRef isrc, size_t index, CFDictionaryRef options);
