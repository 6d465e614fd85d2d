#include "CIImage.h"

#include <CoreGraphics/CGContextInternal.h>
#include <CoreGraphics/CGImageQt.h>

#include <cmath>

// ---- CIImage ----

CIImage::CIImage(QImage pixels, CGRect extent) : pixels_(std::move(pixels)), extent_(extent) {}

CIImage* CIImage::newWithQImage(const QImage& pixels, CGRect extent)
{
    if (pixels.isNull())
        return nullptr;
    return new CIImage(pixels.convertToFormat(QImage::Format_ARGB32_Premultiplied), extent);
}

CIImage* CIImage::newWithCGImage(CGImageRef image)
{
    const QImage pixels = CGImageGetPaintableQImage(image, Qt::black);
    if (pixels.isNull())
        return nullptr;
    return newWithQImage(pixels, CGRectMake(0, 0, CGFloat(pixels.width()), CGFloat(pixels.height())));
}

CIImage* CIImage::imageWithCGImage(CGImageRef image)
{
    return NSAutorelease(newWithCGImage(image));
}

QImage CIImage::pixelsInRect(CGRect rect) const
{
    const CGRect r = CGRectIntegral(rect);
    if (CGRectIsEmpty(r))
        return QImage();
    QImage out(int(r.size.width), int(r.size.height), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    // Rows count down from the top edge in both images.
    const QPoint at(int(std::lround(extent_.origin.x - r.origin.x)),
                    int(std::lround((r.origin.y + r.size.height) - (extent_.origin.y + extent_.size.height))));
    QPainter painter(&out);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(at, pixels_);
    return out;
}

// ---- CIContext ----

CIContext::CIContext(CGContextRef context) : context_(CGContextRetain(context)) {}

CIContext::~CIContext()
{
    CGContextRelease(context_);
}

CIContext* CIContext::contextWithCGContext(CGContextRef context)
{
    if (context == nullptr)
        return nullptr;
    return NSAutorelease(new CIContext(context));
}

void CIContext::drawImage(const CIImage* image, CGPoint atPoint, CGRect fromRect)
{
    drawImage(image, CGRectMake(atPoint.x, atPoint.y, fromRect.size.width, fromRect.size.height), fromRect);
}

void CIContext::drawImage(const CIImage* image, CGRect inRect, CGRect fromRect)
{
    CGContextObject* context = CGContextObjectOf(context_);
    if (context == nullptr || image == nullptr)
        return;
    CGContextDrawQImage(context, inRect, image->pixelsInRect(fromRect),
                        context->state.interpolation != kCGInterpolationNone);
}

CGImageRef CIContext::createCGImage(const CIImage* image, CGRect fromRect)
{
    return image ? CGImageCreateWithQImage(image->pixelsInRect(fromRect)) : nullptr;
}

// ---- NSBitmapImageRep ----

NSBitmapImageRep* NSBitmapImageRep::newWithCIImage(const CIImage* image)
{
    if (image == nullptr)
        return nullptr;
    CGImageRef pixels = CGImageCreateWithQImage(image->pixelsInRect(image->extent()));
    return pixels ? new NSBitmapImageRep(pixels) : nullptr;
}

NSBitmapImageRep::~NSBitmapImageRep()
{
    CGImageRelease(image_);
}
