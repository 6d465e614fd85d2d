// Encoding images into data or files.
#pragma once

#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFURL.h>
#include <CoreGraphics/CGImage.h>

typedef struct CGImageDestinationObject* CGImageDestinationRef;

CFTypeID CGImageDestinationGetTypeID();
// `type` is a type identifier: "public.png", "public.tiff", "public.jpeg",
// "com.microsoft.bmp". Nil for a type we do not write.
CGImageDestinationRef CGImageDestinationCreateWithData(CFMutableDataRef data, CFStringRef type, size_t count,
                                                       CFDictionaryRef options);
// The file is written (whole, replacing what was there) when the
// destination is finalised. Nil for a type we do not write or a URL that
// is not a file's.
CGImageDestinationRef CGImageDestinationCreateWithURL(CFURLRef url, CFStringRef type, size_t count,
                                                      CFDictionaryRef options);
void CGImageDestinationAddImage(CGImageDestinationRef idst, CGImageRef image, CFDictionaryRef properties);
// Encodes the images added and appends the bytes to the data (or writes
// the file); false when nothing was added or the encoding failed.
Boolean CGImageDestinationFinalize(CGImageDestinationRef idst);
