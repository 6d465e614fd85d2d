#include "SCGlobals.h"

#include <Units/Utilities/CGUtilities.h>

#include <CarbonCore/MacMemory.h>

#include <cmath>

SPRITE_DEFINE_ABSTRACT_CLASS(TSpriteProtocol, TResponder)
SPRITE_DEFINE_ABSTRACT_CLASS(TSpriteLayerProtocol, TObject)
SPRITE_DEFINE_ABSTRACT_CLASS(TSpriteCanvasProtocol, TResponder)
SPRITE_DEFINE_ABSTRACT_CLASS(TSpriteCanvasViewProtocol, TObject)
SPRITE_DEFINE_ABSTRACT_CLASS(TSpriteAnimatorProtocol, TResponder)

UInt32 MicrosecondsToTicks(double seconds)
{
    const double milliseconds = std::trunc(seconds * 1'000'000.0 / 1'000.0);
    if (!(milliseconds > 0))
        return 0;
    if (milliseconds >= 4'294'967.0)
        return 4'294'967'000U;
    return static_cast<UInt32>(milliseconds) * 1'000U;
}

void CanvasDrawImage(CGContextRef context, CGRect rect, CGImageRef image)
{
    if (context == nullptr || image == nullptr)
        return;
    const HIRect whole = CGRectTruncate(rect);
    HIViewDrawCGImage(context, &whole, image);
}

CGContextRef CanvasBitmapContextCreate(CGSize size, Ptr& buffer)
{
    buffer = nullptr;
    const CGSize whole = CGSizeTruncate(size);
    if (!(whole.width > 0) || !(whole.height > 0) || whole.width > 32767 || whole.height > 32767)
        return nullptr;
    const size_t width = size_t(whole.width), height = size_t(whole.height);
    buffer = NewPtrClear(Size(width * 4 * height));
    if (buffer == nullptr)
        return nullptr;
    CGColorSpaceRef space = CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB);
    CGContextRef context = CGBitmapContextCreate(buffer, width, height, 8, width * 4, space,
                                                 kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    CGColorSpaceRelease(space);
    if (context == nullptr) {
        DisposePtr(buffer);
        buffer = nullptr;
    }
    return context;
}

void CanvasFlipContext(CGContextRef context, CGFloat height)
{
    CGContextTranslateCTM(context, 0, height);
    CGContextScaleCTM(context, 1, -1);
}

void CanvasFillRectCopy(CGContextRef context, CGRect rect, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    if (context == nullptr)
        return;
    CGContextSaveGState(context);
    CGContextSetShouldAntialias(context, false);
    CGContextSetAlpha(context, 1);
    CGContextSetBlendMode(context, kCGBlendModeCopy);
    CGContextSetRGBFillColor(context, red, green, blue, alpha);
    CGContextFillRect(context, rect);
    CGContextRestoreGState(context);
}
