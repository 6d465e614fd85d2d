// Sources of bytes for images: a block of memory, a data object or a file.
#pragma once

#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFURL.h>

#include <cstddef>

typedef const struct CGDataProviderObject* CGDataProviderRef;

typedef void (*CGDataProviderReleaseDataCallback)(void* info, const void* data, size_t size);

CFTypeID CGDataProviderGetTypeID();
// Reads `size` bytes at `data` in place; `releaseData` (when given) is
// called with `info` when the provider goes.
CGDataProviderRef CGDataProviderCreateWithData(void* info, const void* data, size_t size,
                                               CGDataProviderReleaseDataCallback releaseData);
// Keeps the data object (retained). Nil for nil.
CGDataProviderRef CGDataProviderCreateWithCFData(CFDataRef data);
// The file's bytes, read now; nil when it cannot be read.
CGDataProviderRef CGDataProviderCreateWithURL(CFURLRef url);
CGDataProviderRef CGDataProviderCreateWithFilename(const char* filename);
CGDataProviderRef CGDataProviderRetain(CGDataProviderRef provider);
void CGDataProviderRelease(CGDataProviderRef provider);
// A new data object holding a copy of the bytes.
CFDataRef CGDataProviderCopyData(CGDataProviderRef provider);
