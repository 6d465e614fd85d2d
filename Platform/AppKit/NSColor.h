// Colours, as the units make and compare them: calibrated RGB components
// with alpha, each nominally 0…1.
#pragma once

#include <CoreGraphics/CGGeometry.h>
#include <Foundation/NSObject.h>

class QColor;

class NSColor : public NSObject {
public:
    // Autoreleased.
    static NSColor* colorWithCalibratedRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
    static NSColor* colorWithCalibratedWhite(CGFloat white, CGFloat alpha);
    static NSColor* whiteColor();
    static NSColor* blackColor();
    static NSColor* clearColor();
    // Owned by the caller.
    static NSColor* newWithCalibratedRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);

    CGFloat redComponent() const { return red_; }
    CGFloat greenComponent() const { return green_; }
    CGFloat blueComponent() const { return blue_; }
    CGFloat alphaComponent() const { return alpha_; }
    // Any output may be nil.
    void getRed(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) const;
    // The same colour with another alpha; autoreleased.
    NSColor* colorWithAlphaComponent(CGFloat alpha) const;
    // For drawing with Qt; components outside 0…1 are pinned to it.
    QColor qColor() const;

    const char* className() const override { return "NSColor"; }
    // "NSCalibratedRGBColorSpace <red> <green> <blue> <alpha>".
    NSString* description() const override;
    // Equal when every component is.
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override;

private:
    NSColor(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
        : red_(red), green_(green), blue_(blue), alpha_(alpha)
    {}

    const CGFloat red_, green_, blue_, alpha_;
};
