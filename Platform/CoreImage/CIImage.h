// The Core Image classes the units use: images, a context that draws them
// into a Quartz context, and bitmaps made from them. Filters are in
// CIFilter.h.
//
// An image covers its extent in a y-up space, like Quartz's user space;
// its pixels are premultiplied.
#pragma once

#include <CoreGraphics/CGContext.h>
#include <CoreGraphics/CGImage.h>
#include <Foundation/NSObject.h>

#include <QImage>

class CIImage : public NSObject {
public:
    // Autoreleased; nil for nil. The extent is (0, 0, width, height).
    static CIImage* imageWithCGImage(CGImageRef image);
    // Owned by the caller.
    static CIImage* newWithCGImage(CGImageRef image);
    // `pixels` cover `extent`, their first row along its top edge.
    static CIImage* newWithQImage(const QImage& pixels, CGRect extent);

    CGRect extent() const { return extent_; }
    // Premultiplied ARGB32, first row at the top of the extent.
    const QImage& qImage() const { return pixels_; }
    // The part of the image within `rect` (y-up), transparent where the
    // image does not reach; rect is made integral.
    QImage pixelsInRect(CGRect rect) const;

    const char* className() const override { return "CIImage"; }

private:
    CIImage(QImage pixels, CGRect extent);

    QImage pixels_;
    CGRect extent_;
};

class CIContext : public NSObject {
public:
    // Autoreleased; draws into `context` (kept alive).
    static CIContext* contextWithCGContext(CGContextRef context);

    // The part `fromRect` of the image, drawn at its own size with its
    // bottom-left corner at `point` of the Quartz context's user space,
    // upright in y-up space (as CGContextDrawImage draws).
    void drawImage(const CIImage* image, CGPoint atPoint, CGRect fromRect);
    void drawImage(const CIImage* image, CGRect inRect, CGRect fromRect);
    // A new image of the part `fromRect`; nil for an empty part.
    CGImageRef createCGImage(const CIImage* image, CGRect fromRect);

    const char* className() const override { return "CIContext"; }

private:
    explicit CIContext(CGContextRef context);
    ~CIContext() override;

    CGContextRef context_;
};

// A bitmap of a Core Image image's extent, for code that wants its
// CGImage.
class NSBitmapImageRep : public NSObject {
public:
    // Owned by the caller; nil for nil or an empty extent.
    static NSBitmapImageRep* newWithCIImage(const CIImage* image);
    // Borrowed: lives as long as the bitmap.
    CGImageRef CGImage() const { return image_; }

    const char* className() const override { return "NSBitmapImageRep"; }

private:
    explicit NSBitmapImageRep(CGImageRef image) : image_(image) {}
    ~NSBitmapImageRep() override;

    CGImageRef image_;
};
