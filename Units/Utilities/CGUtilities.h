// The system's value operations over Quartz: RGB colour records, points,
// sizes and rectangles (and conversions to QuickDraw's), whole-point geometry,
// bitmap contexts, and loading, encoding and resizing images.
//
// Every image answered here is new and belongs to the caller, who releases
// it; nil answers a failure, nothing raises.
#pragma once

#include <Units/Utilities/ShortString.h>

#include <CarbonCore/MacMemory.h>
#include <CoreGraphics/CoreGraphics.h>
#include <CoreServices/CoreServices.h>

// The platform's colour record of its text services: red, green, blue and
// alpha, 0 to 1.
struct ATSURGBAlphaColor {
    Float32 red;
    Float32 green;
    Float32 blue;
    Float32 alpha;
};

// ---- colours and contexts ----

ATSURGBAlphaColor CGRGBColorMake(Float32 red, Float32 green, Float32 blue, Float32 alpha);
ATSURGBAlphaColor MakeCGRGB(Float32 red, Float32 green, Float32 blue, Float32 alpha);
// Red, green and blue each plus `amount`, unclamped; alpha kept.
ATSURGBAlphaColor CGRGBColorAdjustValues(ATSURGBAlphaColor color, Float32 amount);
ATSURGBAlphaColor CGRGBColorSetAlpha(ATSURGBAlphaColor color, Float32 alpha);
void CGContextSetRGBFillColor(CGContextRef context, const ATSURGBAlphaColor& color);
void CGContextSetRGBStrokeColor(CGContextRef context, const ATSURGBAlphaColor& color);

// A bitmap context of the system's layout (generic RGB, 8 bits per
// component, alpha last and premultiplied, rows of exactly width × 4
// bytes) of the size truncated to whole pixels, over a new zeroed block
// handed back in `buffer`. The caller releases the context, then disposes
// of the block (DisposePtr). Nil when the block or the context cannot be
// made; `buffer` is nil then.
CGContextRef CGBitmapContextCreate(CGSize size, Ptr& buffer);

CGFloat DegreesToRadians(CGFloat degrees);

// ---- images ----

// The first image of the file; nil when it cannot be read as an image.
CGImageRef CGImageCreateWithURL(CFURLRef url);
CGImageRef CGImageCreateWithFSRef(const FSRef& ref);
// The main bundle's resource `name` in its sub-folder `folder`.
CGImageRef CGImageLoadFromResource(const ShortString& name, const ShortString& folder);
// The image encoded as `type` ("public.png", "public.tiff", ...); nil when
// it cannot be.
CFMutableDataRef CGImageCopyData(CGImageRef image, CFStringRef type);
// The same bytes in a new memory block (DisposePtr); nil when none.
Ptr CGImageCopyBytes(CGImageRef image, CFStringRef type);
// Decodes a whole memory block (its own allocated size).
CGImageRef CGImageCreateWithBytes(Ptr block);
// The image stretched to the size (truncated to whole pixels) over a
// cleared bitmap; nil for a nil image or a size with a dimension of 0.
// When no bitmap can be made, the source image itself, retained for the
// caller like any other answer.
CGImageRef CGImageCreateCopyWithSize(CGImageRef image, CGSize size);
// The pixel width and height.
CGSize CGImageGetSize(CGImageRef image);

// ---- geometry ----

void CGRectSetMaxX(CGRect& rect, CGFloat maxX);
// Moved to the middle of the container.
CGRect CGRectCenter(CGRect rect, CGRect container);
// Only x (or only y) moved by half the difference of the widths (heights):
// the rectangle's own origin is the base, the container's origin is not
// used.
CGRect CGRectCenterX(CGRect rect, CGRect container);
CGRect CGRectCenterY(CGRect rect, CGRect container);
// Every field truncated toward zero.
CGSize CGSizeTruncate(CGSize size);
CGPoint CGPointTruncate(CGPoint point);
CGRect CGRectTruncate(CGRect rect);
bool CGSizeCompare(CGSize a, CGSize b);
bool CGPointCompare(CGPoint a, CGPoint b);
bool CGPointIsEqual(CGPoint a, CGPoint b);
CGSize CGSizeInvert(CGSize size);
CGSize CGSizeAdd(CGSize size, CGFloat dw, CGFloat dh);
CGPoint CGPointAdd(CGPoint point, CGFloat dx, CGFloat dy);
CGPoint CGPointAddPoint(CGPoint a, CGPoint b);
// Aspect fit: `rect` with the image's size scaled by the smaller of the
// box's two ratios, so that it fits the box in both dimensions, truncated
// toward zero. The origin is kept. An empty image or box gives a size of 0.
CGRect CGRectScale(CGSize imageSize, CGSize boxSize, CGRect rect);
// The same with the rectangles' sizes, starting from the box rectangle.
CGRect CGRectScale(CGRect imageRect, CGRect boxRect);
CGSize CGSizeScale(CGSize imageSize, CGSize boxSize);
// Aspect fill: the image's size scaled by the larger ratio so that it
// covers the box, centred on it, truncated toward zero.
CGRect CGRectScaleToFill(CGSize imageSize, CGRect boxRect);
// The part of `rect` inside `clip`; (0, 0, 0, 0) when nothing is left.
CGRect CGRectClipRect(CGRect rect, CGRect clip);

Point CGPointToQD(CGPoint point);
Rect CGRectToQD(CGRect rect);
CGPoint QDPointToCG(Point point);
CGRect QDRectToCG(Rect rect);

// One line each: "x: 1.5, y: 2" and "width: 3, height: 4".
void CGPointShow(CGPoint point);
void CGSizeShow(CGSize size);
