#include "CGUtilities.h"

#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <CoreFoundation/CFRef.h>
#include <CoreGraphics/CGImageDestination.h>
#include <CoreGraphics/CGImageSource.h>
#include <Support/Diagnostics.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <sstream>

// ---- colours and contexts ----

ATSURGBAlphaColor CGRGBColorMake(Float32 red, Float32 green, Float32 blue, Float32 alpha)
{
    return ATSURGBAlphaColor{red, green, blue, alpha};
}

ATSURGBAlphaColor MakeCGRGB(Float32 red, Float32 green, Float32 blue, Float32 alpha)
{
    return CGRGBColorMake(red, green, blue, alpha);
}

ATSURGBAlphaColor CGRGBColorAdjustValues(ATSURGBAlphaColor color, Float32 amount)
{
    return ATSURGBAlphaColor{color.red + amount, color.green + amount, color.blue + amount, color.alpha};
}

ATSURGBAlphaColor CGRGBColorSetAlpha(ATSURGBAlphaColor color, Float32 alpha)
{
    color.alpha = alpha;
    return color;
}

void CGContextSetRGBFillColor(CGContextRef context, const ATSURGBAlphaColor& color)
{
    CGContextSetRGBFillColor(context, color.red, color.green, color.blue, color.alpha);
}

void CGContextSetRGBStrokeColor(CGContextRef context, const ATSURGBAlphaColor& color)
{
    CGContextSetRGBStrokeColor(context, color.red, color.green, color.blue, color.alpha);
}

CGContextRef CGBitmapContextCreate(CGSize size, Ptr& buffer)
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
    CGContextRef context =
        CGBitmapContextCreate(buffer, width, height, 8, width * 4, space, kCGImageAlphaPremultipliedLast);
    CGColorSpaceRelease(space);
    if (context == nullptr) {
        // Nothing is left for the caller to dispose of.
        DisposePtr(buffer);
        buffer = nullptr;
    }
    return context;
}

CGFloat DegreesToRadians(CGFloat degrees)
{
    return CGFloat(degrees * std::numbers::pi / 180);
}

// ---- images ----

CGImageRef CGImageCreateWithURL(CFURLRef url)
{
    CFRef<CGImageSourceRef> source(CGImageSourceCreateWithURL(url, nullptr));
    return source ? CGImageSourceCreateImageAtIndex(source, 0, nullptr) : nullptr;
}

CGImageRef CGImageCreateWithFSRef(const FSRef& ref)
{
    if (!FSRefExists(ref))
        return nullptr;
    CFRef<CFStringRef> path(FSCopyPath(ref));
    if (!path)
        return nullptr;
    CFRef<CFURLRef> url(CFURLCreateWithFileSystemPath(nullptr, path, kCFURLPOSIXPathStyle, false));
    return url ? CGImageCreateWithURL(url) : nullptr;
}

CGImageRef CGImageLoadFromResource(const ShortString& name, const ShortString& folder)
{
    CFRef<CFURLRef> url(CFBundleCopyResourceURL(CFBundleGetMainBundle(), CFSTR(name), nullptr,
                                                folder.IsEmpty() ? nullptr : CFSTR(folder)));
    return url ? CGImageCreateWithURL(url) : nullptr;
}

CFMutableDataRef CGImageCopyData(CGImageRef image, CFStringRef type)
{
    if (image == nullptr)
        return nullptr;
    CFRef<CFMutableDataRef> data(CFDataCreateMutable(nullptr, 0));
    CFRef<CGImageDestinationRef> destination(CGImageDestinationCreateWithData(data, type, 1, nullptr));
    if (!destination)
        return nullptr;
    CGImageDestinationAddImage(destination, image, nullptr);
    if (!CGImageDestinationFinalize(destination))
        return nullptr;
    return data.release();
}

Ptr CGImageCopyBytes(CGImageRef image, CFStringRef type)
{
    CFRef<CFMutableDataRef> data(CGImageCopyData(image, type));
    return data ? CFDataCopyBytes(data) : nullptr;
}

CGImageRef CGImageCreateWithBytes(Ptr block)
{
    const Size size = GetPtrSize(block);
    if (block == nullptr || size <= 0)
        return nullptr;
    CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(block), CFIndex(size)));
    CFRef<CGImageSourceRef> source(CGImageSourceCreateWithData(data, nullptr));
    return source ? CGImageSourceCreateImageAtIndex(source, 0, nullptr) : nullptr;
}

CGImageRef CGImageCreateCopyWithSize(CGImageRef image, CGSize size)
{
    if (image == nullptr || size.width == 0 || size.height == 0)
        return nullptr;
    Ptr buffer = nullptr;
    CGContextRef context = CGBitmapContextCreate(size, buffer);
    if (context == nullptr)
        return CGImageRetain(image);
    const CGRect all =
        CGRectMake(0, 0, CGFloat(CGBitmapContextGetWidth(context)), CGFloat(CGBitmapContextGetHeight(context)));
    CGContextClearRect(context, all);
    CGContextDrawImage(context, all, image);
    CGImageRef copy = CGBitmapContextCreateImage(context);
    CGContextRelease(context);
    DisposePtr(buffer);
    return copy;
}

CGSize CGImageGetSize(CGImageRef image)
{
    return CGSizeMake(CGFloat(CGImageGetWidth(image)), CGFloat(CGImageGetHeight(image)));
}

// ---- geometry ----

void CGRectSetMaxX(CGRect& rect, CGFloat maxX)
{
    rect.size.width = maxX - rect.origin.x;
}

CGRect CGRectCenter(CGRect rect, CGRect container)
{
    rect.origin.x = container.origin.x + (container.size.width - rect.size.width) / 2;
    rect.origin.y = container.origin.y + (container.size.height - rect.size.height) / 2;
    return rect;
}

CGRect CGRectCenterX(CGRect rect, CGRect container)
{
    rect.origin.x += (container.size.width - rect.size.width) / 2;
    return rect;
}

CGRect CGRectCenterY(CGRect rect, CGRect container)
{
    rect.origin.y += (container.size.height - rect.size.height) / 2;
    return rect;
}

CGSize CGSizeTruncate(CGSize size)
{
    return CGSizeMake(std::trunc(size.width), std::trunc(size.height));
}

CGPoint CGPointTruncate(CGPoint point)
{
    return CGPointMake(std::trunc(point.x), std::trunc(point.y));
}

CGRect CGRectTruncate(CGRect rect)
{
    return CGRect{CGPointTruncate(rect.origin), CGSizeTruncate(rect.size)};
}

bool CGSizeCompare(CGSize a, CGSize b)
{
    return a.width == b.width && a.height == b.height;
}

bool CGPointCompare(CGPoint a, CGPoint b)
{
    return a.x == b.x && a.y == b.y;
}

bool CGPointIsEqual(CGPoint a, CGPoint b)
{
    return CGPointCompare(a, b);
}

CGSize CGSizeInvert(CGSize size)
{
    return CGSizeMake(size.height, size.width);
}

CGSize CGSizeAdd(CGSize size, CGFloat dw, CGFloat dh)
{
    return CGSizeMake(size.width + dw, size.height + dh);
}

CGPoint CGPointAdd(CGPoint point, CGFloat dx, CGFloat dy)
{
    return CGPointMake(point.x + dx, point.y + dy);
}

CGPoint CGPointAddPoint(CGPoint a, CGPoint b)
{
    return CGPointMake(a.x + b.x, a.y + b.y);
}

CGRect CGRectScale(CGSize imageSize, CGSize boxSize, CGRect rect)
{
    const double iw = imageSize.width, ih = imageSize.height, bw = boxSize.width, bh = boxSize.height;
    if (!(iw > 0) || !(ih > 0) || !(bw > 0) || !(bh > 0)) {
        rect.size = CGSizeZero;
        return CGRectTruncate(rect);
    }
    // The dimension with the smaller ratio takes the box's own length
    // exactly, so that truncation cannot lose a pixel to rounding; the
    // other follows the image's proportions.
    if (bw * ih <= bh * iw) {
        rect.size.width = CGFloat(bw);
        rect.size.height = CGFloat(ih * bw / iw);
    } else {
        rect.size.width = CGFloat(iw * bh / ih);
        rect.size.height = CGFloat(bh);
    }
    return CGRectTruncate(rect);
}

CGRect CGRectScale(CGRect imageRect, CGRect boxRect)
{
    return CGRectScale(imageRect.size, boxRect.size, boxRect);
}

CGSize CGSizeScale(CGSize imageSize, CGSize boxSize)
{
    return CGRectScale(imageSize, boxSize, CGRectZero).size;
}

CGRect CGRectScaleToFill(CGSize imageSize, CGRect boxRect)
{
    const double iw = imageSize.width, ih = imageSize.height;
    const double bw = boxRect.size.width, bh = boxRect.size.height;
    CGRect r = boxRect;
    if (!(iw > 0) || !(ih > 0) || !(bw > 0) || !(bh > 0)) {
        r.size = CGSizeZero;
        return CGRectTruncate(r);
    }
    if (bw * ih >= bh * iw) {
        r.size.width = CGFloat(bw);
        r.size.height = CGFloat(ih * bw / iw);
    } else {
        r.size.width = CGFloat(iw * bh / ih);
        r.size.height = CGFloat(bh);
    }
    return CGRectTruncate(CGRectCenter(r, boxRect));
}

CGRect CGRectClipRect(CGRect rect, CGRect clip)
{
    CGRect w = rect;
    auto empty = [&] { return w.size.width == 0 || w.size.height == 0; };
    auto settle = [&] {
        if (w.size.width <= 0 || w.size.height <= 0)
            w = CGRectZero;
    };
    if (!empty() && w.origin.y < clip.origin.y) {
        w.size.height -= clip.origin.y - w.origin.y;
        w.origin.y = clip.origin.y;
        settle();
    }
    if (!empty() && w.origin.y + w.size.height > clip.origin.y + clip.size.height) {
        w.size.height -= (w.origin.y + w.size.height) - (clip.origin.y + clip.size.height);
        settle();
    }
    if (!empty() && w.origin.x < clip.origin.x) {
        w.size.width -= clip.origin.x - w.origin.x;
        w.origin.x = clip.origin.x;
        settle();
    }
    if (!empty() && w.origin.x + w.size.width > clip.origin.x + clip.size.width) {
        w.size.width -= (w.origin.x + w.size.width) - (clip.origin.x + clip.size.width);
        settle();
    }
    return w;
}

namespace {

// Truncated toward zero, then cut to the low 16 bits.
SInt16 To16Bits(CGFloat value)
{
    const double whole = std::trunc(double(value));
    if (!(whole >= std::numeric_limits<SInt32>::min() && whole <= std::numeric_limits<SInt32>::max()))
        return 0;
    return static_cast<SInt16>(static_cast<UInt16>(static_cast<UInt32>(static_cast<SInt32>(whole))));
}

std::string FloatText(CGFloat value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

}  // namespace

Point CGPointToQD(CGPoint point)
{
    return Point{To16Bits(point.y), To16Bits(point.x)};
}

Rect CGRectToQD(CGRect rect)
{
    const SInt16 top = To16Bits(rect.origin.y), left = To16Bits(rect.origin.x);
    return Rect{top, left, static_cast<SInt16>(top + To16Bits(rect.size.height)),
                static_cast<SInt16>(left + To16Bits(rect.size.width))};
}

CGPoint QDPointToCG(Point point)
{
    return CGPointMake(point.h, point.v);
}

CGRect QDRectToCG(Rect rect)
{
    return CGRectMake(rect.left, rect.top, CGFloat(rect.right - rect.left), CGFloat(rect.bottom - rect.top));
}

void CGPointShow(CGPoint point)
{
    Diagnostics::WriteLine("x: " + FloatText(point.x) + ", y: " + FloatText(point.y));
}

void CGSizeShow(CGSize size)
{
    Diagnostics::WriteLine("width: " + FloatText(size.width) + ", height: " + FloatText(size.height));
}
