// Encoding images into data.
#pragma once

#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreGraphics/CGImage.h>

typedef struct CGImageDestinationObject* CGImageDestinationRef;

CFTypeID CGImageDestinationGetTypeID();
// `type` is a type identifier: "public.png", "public.tiff", "public.jpeg",
// "com.microsoft.bmp". Nil for a type we do not write.
CGImageDestinationRef CGImageDestinationCreateWithData(CFMutableDataRef data, CFStringRef type, size_t count,
                                                       CFDictionaryRef options);
void CGImageDestinationAddImage(CGImageDestinationRef idst, CGImageRef image, CFDictionaryRef properties);
// Encodes the images added and appends the bytes to the data; false when
// nothing was added or the encoding failed.
Boolean CGImageDestinationFinalize(CGImageDestinationRef idst);
