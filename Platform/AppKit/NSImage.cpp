#include "NSImage.h"

#include <CoreGraphics/CGImageQt.h>
#include <Foundation/NSString.h>

#include <cstdio>

NSImage* NSImage::newWithContentsOfFile(const NSString* path)
{
    if (path == nullptr)
        return nullptr;
    const std::string utf8 = path->UTF8String();
    const QImage pixels(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    CGImageRef image = CGImageCreateWithQImage(pixels);
    if (image == nullptr)
        return nullptr;
    NSImage* result = newWithCGImage(image, NSZeroSize);
    CGImageRelease(image);
    return result;
}

NSImage* NSImage::imageWithContentsOfFile(const NSString* path)
{
    return NSAutorelease(newWithContentsOfFile(path));
}

NSImage* NSImage::newWithCGImage(CGImageRef image, NSSize size)
{
    if (image == nullptr)
        return nullptr;
    if (size.width == 0 && size.height == 0)
        size = NSMakeSize(static_cast<CGFloat>(CGImageGetWidth(image)), static_cast<CGFloat>(CGImageGetHeight(image)));
    return new NSImage(CGImageRetain(image), size);
}

NSImage::~NSImage()
{
    CGImageRelease(image_);
}

QImage NSImage::qImage() const
{
    return CGImageGetQImage(image_);
}

NSString* NSImage::description() const
{
    char text[128];
    std::snprintf(text, sizeof text, "<NSImage %p Size={%g, %g}>", static_cast<const void*>(this),
                  static_cast<double>(size_.width), static_cast<double>(size_.height));
    return NSString::stringWithUTF8String(text);
}
