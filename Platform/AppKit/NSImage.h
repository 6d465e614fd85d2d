// Images as the units hold them: one bitmap (a Quartz image over a QImage)
// and the size in points it is drawn at.
#pragma once

#include <CoreGraphics/CGImage.h>
#include <Foundation/NSGeometry.h>
#include <Foundation/NSObject.h>

#include <QImage>

class NSImage : public NSObject {
public:
    // Autoreleased; nil when the file cannot be read as an image.
    static NSImage* imageWithContentsOfFile(const NSString* path);
    // Owned by the caller; nil when the file cannot be read as an image.
    static NSImage* newWithContentsOfFile(const NSString* path);
    // Owned by the caller, holding the image (retained); NSZeroSize means
    // its pixel size. Nil for a nil image.
    static NSImage* newWithCGImage(CGImageRef image, NSSize size);

    // The size in points; a file's image is sized to its pixels.
    NSSize size() const { return size_; }
    void setSize(NSSize size) { size_ = size; }
    // Borrowed for the life of the receiver.
    CGImageRef CGImage() const { return image_; }
    QImage qImage() const;

    const char* className() const override { return "NSImage"; }
    NSString* description() const override;

private:
    NSImage(CGImageRef image, NSSize size) : image_(image), size_(size) {}
    ~NSImage() override;

    CGImageRef image_;  // owned
    NSSize size_;
};
