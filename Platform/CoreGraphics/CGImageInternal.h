// The bridge between CGImage and Qt's QImage, for the platform code that
// draws, encodes and decodes images.
#pragma once

#include <CoreGraphics/CGImage.h>

#include <QImage>

// A new image holding (a shared copy of) `image`; nil for a null image.
CGImageRef CGImageCreateWithQImage(const QImage& image);
// The pixels of an image; a null QImage for nil or another kind of value.
QImage CGImageGetQImage(CGImageRef image);
