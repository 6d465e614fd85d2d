// The bridge between CGImage and Qt's QImage, for the platform code that
// draws, encodes and decodes images.
#pragma once

#include <CoreGraphics/CGDataProvider.h>
#include <CoreGraphics/CGImage.h>

#include <QImage>

#include <span>

// A new image holding (a shared copy of) `image`; nil for a null image.
// Layouts an image cannot describe (indexed colours, 16-bit components)
// are converted to 8-bit RGB with alpha, kept straight when it was.
CGImageRef CGImageCreateWithQImage(const QImage& image);
// The pixels of an image; a null QImage for nil or another kind of value.
QImage CGImageGetQImage(CGImageRef image);
// The pixels ready to paint: premultiplied ARGB32 for colour images; for
// a mask, `fill` wherever the mask lets paint through.
QImage CGImageGetPaintableQImage(CGImageRef image, const QColor& fill);
// The image's coverage as an 8-bit alpha map: the alpha of a colour image,
// the grey value of a grey one, the inverted samples of a mask.
QImage CGImageGetCoverage(CGImageRef image);

// The bytes behind a provider; empty for nil.
std::span<const UInt8> CGDataProviderGetBytes(CGDataProviderRef provider);
