// The context object and its graphics state.
#include "CGContextInternal.h"

#include <CoreFoundation/CFStringUTF8.h>
#include <CoreGraphics/CGContextQt.h>

#include <cmath>

CGContextObject::CGContextObject(Kind contextKind, QImage pixels, QImage* external)
    : CFRuntimeObject(CGContextGetTypeID()), kind(contextKind), owned(std::move(pixels)),
      base(external ? external : &owned)
{}

CGContextObject::~CGContextObject()
{
    CGColorSpaceRelease(space);
}

CFTypeID CGContextGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CGContext");
    return type;
}

CGContextObject* CGContextObjectOf(CGContextRef c)
{
    if (c == nullptr || CFRuntimeObjectOf(c)->TypeID() != CGContextGetTypeID())
        return nullptr;
    return c;
}

void CGSetPointResolution(QImage& image)
{
    // 72 dots per inch, the most whole dots per metre can say it.
    constexpr int kDotsPerMetre = 2835;
    image.setDotsPerMeterX(kDotsPerMetre);
    image.setDotsPerMeterY(kDotsPerMetre);
}

QImage CGNewSurface(QSize size)
{
    QImage surface(size, QImage::Format_ARGB32_Premultiplied);
    if (surface.isNull())
        return surface;
    surface.fill(Qt::transparent);
    CGSetPointResolution(surface);
    return surface;
}

CGContextRef CGContextCreateWithQImage(QImage* target, bool flipped)
{
    if (target == nullptr || target->isNull())
        return nullptr;
    CGSetPointResolution(*target);
    auto* context = new CGContextObject(CGContextObject::Kind::Qt, QImage(), target);
    if (flipped)
        context->state.ctm = CGAffineTransformMake(1, 0, 0, -1, 0, CGFloat(target->height()));
    return context;
}

const QImage* CGContextGetQImage(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    return context ? &context->Target() : nullptr;
}

CGContextRef CGContextRetain(CGContextRef c)
{
    if (c)
        CFRetain(c);
    return c;
}

void CGContextRelease(CGContextRef c)
{
    if (c)
        CFRelease(c);
}

void CGContextFlush(CGContextRef) {}

void CGContextSynchronize(CGContextRef) {}

// ---- graphics state ----

void CGContextSaveGState(CGContextRef c)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->saved.push_back(context->state);
}

void CGContextRestoreGState(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    // A transparency layer keeps the state it began with until it ends.
    if (context == nullptr || context->saved.empty() ||
        (!context->layers.empty() && context->saved.size() <= context->layers.back().savedDepth + 1))
        return;
    context->state = std::move(context->saved.back());
    context->saved.pop_back();
}

CGAffineTransform CGContextGetCTM(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    return context ? context->state.ctm : CGAffineTransformIdentity;
}

void CGContextConcatCTM(CGContextRef c, CGAffineTransform transform)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->state.ctm = CGAffineTransformConcat(transform, context->state.ctm);
}

void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty)
{
    CGContextConcatCTM(c, CGAffineTransformMakeTranslation(tx, ty));
}

void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy)
{
    CGContextConcatCTM(c, CGAffineTransformMakeScale(sx, sy));
}

void CGContextRotateCTM(CGContextRef c, CGFloat angle)
{
    CGContextConcatCTM(c, CGAffineTransformMakeRotation(angle));
}

CGAffineTransform CGContextGetUserSpaceToDeviceSpaceTransform(CGContextRef c)
{
    return CGContextGetCTM(c);
}

CGPoint CGContextConvertPointToDeviceSpace(CGContextRef c, CGPoint point)
{
    return CGPointApplyAffineTransform(point, CGContextGetCTM(c));
}

CGPoint CGContextConvertPointToUserSpace(CGContextRef c, CGPoint point)
{
    return CGPointApplyAffineTransform(point, CGAffineTransformInvert(CGContextGetCTM(c)));
}

CGRect CGContextConvertRectToDeviceSpace(CGContextRef c, CGRect rect)
{
    return CGRectApplyAffineTransform(rect, CGContextGetCTM(c));
}

CGRect CGContextConvertRectToUserSpace(CGContextRef c, CGRect rect)
{
    return CGRectApplyAffineTransform(rect, CGAffineTransformInvert(CGContextGetCTM(c)));
}

void CGContextSetAlpha(CGContextRef c, CGFloat alpha)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->state.alpha = CGClampUnit(alpha);
}

void CGContextSetBlendMode(CGContextRef c, CGBlendMode mode)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        if (mode >= kCGBlendModeNormal && mode <= kCGBlendModePlusLighter)
            context->state.blendMode = mode;
}

void CGContextSetShouldAntialias(CGContextRef c, bool shouldAntialias)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->state.shouldAntialias = shouldAntialias;
}

void CGContextSetAllowsAntialiasing(CGContextRef c, bool allowsAntialiasing)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->allowsAntialiasing = allowsAntialiasing;
}

void CGContextSetInterpolationQuality(CGContextRef c, CGInterpolationQuality quality)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->state.interpolation = quality;
}

CGInterpolationQuality CGContextGetInterpolationQuality(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    return context ? context->state.interpolation : kCGInterpolationDefault;
}

void CGContextSetShouldSmoothFonts(CGContextRef, bool) {}

void CGContextSetFlatness(CGContextRef, CGFloat) {}

void CGContextSetLineWidth(CGContextRef c, CGFloat width)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        if (width >= 0)
            context->state.lineWidth = width;
}

void CGContextSetLineCap(CGContextRef c, CGLineCap cap)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->state.lineCap = cap;
}

void CGContextSetLineJoin(CGContextRef c, CGLineJoin join)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->state.lineJoin = join;
}

void CGContextSetMiterLimit(CGContextRef c, CGFloat limit)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->state.miterLimit = limit;
}

void CGContextSetLineDash(CGContextRef c, CGFloat phase, const CGFloat lengths[], size_t count)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return;
    context->state.dashPhase = phase;
    context->state.dashes.assign(lengths && count ? lengths : nullptr, lengths && count ? lengths + count : nullptr);
}

// ---- colours ----

void CGContextSetRGBFillColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    if (CGContextObject* context = CGContextObjectOf(c)) {
        context->state.fillModel = kCGColorSpaceModelRGB;
        context->state.fill = CGRGBA{red, green, blue, alpha};
    }
}

void CGContextSetRGBStrokeColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    if (CGContextObject* context = CGContextObjectOf(c)) {
        context->state.strokeModel = kCGColorSpaceModelRGB;
        context->state.stroke = CGRGBA{red, green, blue, alpha};
    }
}

void CGContextSetGrayFillColor(CGContextRef c, CGFloat gray, CGFloat alpha)
{
    if (CGContextObject* context = CGContextObjectOf(c)) {
        context->state.fillModel = kCGColorSpaceModelMonochrome;
        context->state.fill = CGRGBA{gray, gray, gray, alpha};
    }
}

void CGContextSetGrayStrokeColor(CGContextRef c, CGFloat gray, CGFloat alpha)
{
    if (CGContextObject* context = CGContextObjectOf(c)) {
        context->state.strokeModel = kCGColorSpaceModelMonochrome;
        context->state.stroke = CGRGBA{gray, gray, gray, alpha};
    }
}

void CGContextSetFillColorWithColor(CGContextRef c, CGColorRef color)
{
    if (CGContextObject* context = CGContextObjectOf(c)) {
        context->state.fillModel = CGColorSpaceGetModel(CGColorGetColorSpace(color));
        context->state.fill = CGColorGetRGBA(color);
    }
}

void CGContextSetStrokeColorWithColor(CGContextRef c, CGColorRef color)
{
    if (CGContextObject* context = CGContextObjectOf(c)) {
        context->state.strokeModel = CGColorSpaceGetModel(CGColorGetColorSpace(color));
        context->state.stroke = CGColorGetRGBA(color);
    }
}

void CGContextSetFillColorSpace(CGContextRef c, CGColorSpaceRef space)
{
    if (CGContextObject* context = CGContextObjectOf(c)) {
        context->state.fillModel = CGColorSpaceGetModel(space);
        context->state.fill = CGRGBA{0, 0, 0, 1};
    }
}

void CGContextSetStrokeColorSpace(CGContextRef c, CGColorSpaceRef space)
{
    if (CGContextObject* context = CGContextObjectOf(c)) {
        context->state.strokeModel = CGColorSpaceGetModel(space);
        context->state.stroke = CGRGBA{0, 0, 0, 1};
    }
}

void CGContextSetFillColor(CGContextRef c, const CGFloat components[])
{
    if (CGContextObject* context = CGContextObjectOf(c))
        if (components)
            context->state.fill = CGRGBAFromComponents(context->state.fillModel, components);
}

void CGContextSetStrokeColor(CGContextRef c, const CGFloat components[])
{
    if (CGContextObject* context = CGContextObjectOf(c))
        if (components)
            context->state.stroke = CGRGBAFromComponents(context->state.strokeModel, components);
}

// ---- shadows ----

void CGContextSetShadowWithColor(CGContextRef c, CGSize offset, CGFloat blur, CGColorRef color)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return;
    CGShadowState& shadow = context->state.shadow;
    shadow.offset = offset;
    shadow.blur = std::max(CGFloat(0), blur);
    shadow.color = color ? CGColorGetRGBA(color) : CGRGBA{0, 0, 0, 0};
    // A shadow right under its shape, unblurred, is what callers set to
    // stop shadowing: it would only darken the edges of what they draw.
    shadow.on = color != nullptr && !(offset.width == 0 && offset.height == 0 && shadow.blur == 0);
}

void CGContextSetShadow(CGContextRef c, CGSize offset, CGFloat blur)
{
    CGColorRef black = CGColorCreateGenericRGB(0, 0, 0, 1.0f / 3);
    CGContextSetShadowWithColor(c, offset, blur, black);
    CGColorRelease(black);
}
