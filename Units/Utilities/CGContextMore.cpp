#include "CGContextMore.h"

#include <CoreFoundation/CFRef.h>
#include <Support/Diagnostics.h>

#include <cmath>
#include <exception>
#include <numbers>

void CGContextClearShadow(CGContextRef context)
{
    CGContextSetShadow(context, CGSizeMake(0, 0), 0);
}

void CGContextDrawRGBGradient(CGContextRef context, CGRect rect, const ATSURGBAlphaColor& color1,
                              const ATSURGBAlphaColor& color2, Boolean horizontal)
{
    try {
        const CGFloat components[8] = {color1.red, color1.green, color1.blue, color1.alpha,
                                       color2.red, color2.green, color2.blue, color2.alpha};
        const CGFloat locations[2] = {0.0, 1.0};
        CFRef<CGColorSpaceRef> space(CGColorSpaceCreateDeviceRGB());
        CFRef<CGGradientRef> gradient(CGGradientCreateWithColorComponents(space, components, locations, 2));
        if (horizontal) {
            const CGPoint start = CGPointMake(CGRectGetMinX(rect), CGRectGetMinY(rect));
            const CGPoint end = CGPointMake(CGRectGetMaxX(rect) + rect.size.width / 2, CGRectGetMinY(rect));
            CGContextDrawLinearGradient(context, gradient, start, end, kCGGradientDrawsAfterEndLocation);
        } else {
            const CGPoint start = CGPointMake(CGRectGetMidX(rect), CGRectGetMinY(rect));
            const CGPoint end = CGPointMake(CGRectGetMidX(rect), CGRectGetMaxY(rect));
            CGContextDrawLinearGradient(context, gradient, start, end, 0);
        }
    } catch (...) {
        Diagnostics::ReportException("CGContextDrawRGBGradient");
    }
}

void CGContextDrawText(CGContextRef context, CGRect rect, CFStringRef text, NSFont* font, NSColor* color,
                       CGTextOptions options)
{
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    CGContextSaveGState(context);
    NSAttributeDictionary* attributes = NSAttributeDictionary::newAttributes();
    attributes->setFont(font ? font : NSFont::systemFontOfSize(12));
    attributes->setForegroundColor(color ? color : NSColor::blackColor());
    if (options & kCGTextOptionCentered) {
        NSMutableParagraphStyle* style = NSMutableParagraphStyle::newParagraphStyle();
        style->setAlignment(NSCenterTextAlignment);
        attributes->setParagraphStyle(style);
        style->release();
    }
    if (options & kCGTextOptionShadow) {
        NSShadow* shadow = NSShadow::newShadow();
        shadow->setShadowBlurRadius(6);
        shadow->setShadowOffset(CGSizeMake(0, 0));
        attributes->setShadow(shadow);
        shadow->release();
    }
    // After a quarter turn the rectangle's length runs along the new x axis
    // and its breadth along the new y axis.
    if (options & kCGTextOptionRotateCW) {
        CGContextRotateCW(context, rect);
        rect.size = CGSizeInvert(rect.size);
    }
    if (options & kCGTextOptionRotateCCW) {
        CGContextRotateCCW(context, rect);
        rect.size = CGSizeInvert(rect.size);
    }
    NSStringDrawing::drawInRect(text, rect, attributes);
    attributes->release();
    CGContextRestoreGState(context);
    pool->release();
}

void CGContextDrawTextBox(CGContextRef, CGRect rect, CFStringRef text, const NSAttributeDictionary* attributes)
{
    NSTextDrawInContainer(text, attributes, rect.size, rect.origin);
}

CGSize CGContextGetTextSize(CFStringRef text, CGFloat width, NSFont* font, Boolean shadow)
{
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    NSAttributeDictionary* attributes = NSAttributeDictionary::attributes();
    attributes->setFont(font);
    NSMutableParagraphStyle* style = NSMutableParagraphStyle::paragraphStyle();
    style->setAlignment(NSCenterTextAlignment);
    attributes->setParagraphStyle(style);
    if (shadow) {
        NSShadow* textShadow = NSShadow::shadow();
        textShadow->setShadowBlurRadius(6);
        attributes->setShadow(textShadow);
    }
    const CGRect bounds = NSStringDrawing::boundingRectWithSize(text, CGSizeMake(width, 2147483648.0f),
                                                                NSStringDrawingUsesLineFragmentOrigin, attributes);
    pool->release();
    return bounds.size;
}

void NSGraphicsContextOpenCGContext(CGContextRef context)
{
    CGContextSaveGState(context);
    NSGraphicsContext* graphics = NSGraphicsContext::newWithGraphicsPort(context, true);
    NSGraphicsContext::saveGraphicsState();
    NSGraphicsContext::setCurrentContext(graphics);
    if (graphics)
        graphics->release();
}

void NSGraphicsContextCloseCGContext(CGContextRef context)
{
    CGContextRestoreGState(context);
    NSGraphicsContext::restoreGraphicsState();
}

void CGContextStrokePlainRect(CGContextRef context, CGRect rect)
{
    CGContextSaveGState(context);
    CGContextSetLineWidth(context, 1);
    CGContextSetShouldAntialias(context, false);
    CGContextStrokeRect(context, rect);
    CGContextSetShouldAntialias(context, true);
    CGContextRestoreGState(context);
}

void CGContextDrawIcon(CGContextRef context, CGRect rect, IconRef icon)
{
    const CGFloat side = std::min(std::fabs(rect.size.width), std::fabs(rect.size.height));
    if (icon == nullptr || !(side >= 1))
        return;
    CFRef<CGImageRef> image(IconRefCreateCGImage(icon, size_t(std::ceil(side)), nullptr));
    if (image)
        CGContextDrawImage(context, CGRectCenter(CGRectMake(0, 0, side, side), CGRectStandardize(rect)), image);
}

void CGContextDrawCIImage(CGContextRef context, CGPoint point, CGRect rect, CIImage* image)
{
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    CGContextSaveGState(context);
    CGContextTranslateCTM(context, 0, 2 * point.y + rect.size.height);
    CGContextScaleCTM(context, 1, -1);
    if (CIContext* drawing = CIContext::contextWithCGContext(context))
        drawing->drawImage(image, point, rect);
    CGContextRestoreGState(context);
    pool->release();
}

void CGContextRotateCW(CGContextRef context, CGRect rect)
{
    CGContextTranslateCTM(context, rect.origin.x + rect.origin.y + rect.size.width, rect.origin.y - rect.origin.x);
    CGContextRotateCTM(context, DegreesToRadians(90));
}

void CGContextRotateCCW(CGContextRef context, CGRect rect)
{
    CGContextTranslateCTM(context, rect.origin.x - rect.origin.y, rect.origin.x + rect.origin.y + rect.size.height);
    CGContextRotateCTM(context, DegreesToRadians(-90));
}

void CGContextFlipVertically(CGContextRef context, CGRect rect)
{
    CGContextTranslateCTM(context, 0, 2 * rect.origin.y + rect.size.height);
    CGContextScaleCTM(context, 1, -1);
}

void CGContextAddRoundedRect(CGContextRef context, CGRect rect, CGFloat ovalWidth, CGFloat ovalHeight, CGFloat radius)
{
    // A zero oval would scale the space away (and divide by zero): the
    // corners have no size, so the path is the rectangle.
    if (!(ovalWidth > 0) || !(ovalHeight > 0)) {
        CGContextAddRect(context, rect);
        return;
    }
    CGContextSaveGState(context);
    CGContextTranslateCTM(context, CGRectGetMinX(rect), CGRectGetMinY(rect));
    CGContextScaleCTM(context, ovalWidth, ovalHeight);
    const CGFloat fw = CGRectGetWidth(rect) / ovalWidth, fh = CGRectGetHeight(rect) / ovalHeight;
    CGContextMoveToPoint(context, fw, fh / 2);
    CGContextAddArcToPoint(context, fw, fh, fw / 2, fh, radius);
    CGContextAddArcToPoint(context, 0, fh, 0, fh / 2, radius);
    CGContextAddArcToPoint(context, 0, 0, fw / 2, 0, radius);
    CGContextAddArcToPoint(context, fw, 0, fw, fh / 2, radius);
    CGContextClosePath(context);
    CGContextRestoreGState(context);
}

void CGContextFillRoundedRect(CGContextRef context, CGRect rect, CGFloat ovalWidth, CGFloat ovalHeight)
{
    CGContextAddRoundedRect(context, rect, ovalWidth, ovalHeight);
    CGContextFillPath(context);
}

void CGContextStrokeRoundedRect(CGContextRef context, CGRect rect, CGFloat ovalWidth, CGFloat ovalHeight)
{
    CGContextAddRoundedRect(context, rect, ovalWidth, ovalHeight);
    CGContextStrokePath(context);
}
