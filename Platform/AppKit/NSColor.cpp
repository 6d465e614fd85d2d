#include "NSColor.h"

#include <Foundation/NSString.h>

#include <QColor>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

float Pinned(CGFloat component)
{
    return std::clamp(static_cast<float>(component), 0.0f, 1.0f);
}

}  // namespace

NSColor* NSColor::newWithCalibratedRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    return new NSColor(red, green, blue, alpha);
}

NSColor* NSColor::colorWithCalibratedRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    return NSAutorelease(newWithCalibratedRed(red, green, blue, alpha));
}

NSColor* NSColor::colorWithCalibratedWhite(CGFloat white, CGFloat alpha)
{
    return colorWithCalibratedRed(white, white, white, alpha);
}

NSColor* NSColor::whiteColor()
{
    return colorWithCalibratedWhite(1, 1);
}

NSColor* NSColor::blackColor()
{
    return colorWithCalibratedWhite(0, 1);
}

NSColor* NSColor::clearColor()
{
    return colorWithCalibratedWhite(0, 0);
}

void NSColor::getRed(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) const
{
    if (red)
        *red = red_;
    if (green)
        *green = green_;
    if (blue)
        *blue = blue_;
    if (alpha)
        *alpha = alpha_;
}

NSColor* NSColor::colorWithAlphaComponent(CGFloat alpha) const
{
    return colorWithCalibratedRed(red_, green_, blue_, alpha);
}

QColor NSColor::qColor() const
{
    return QColor::fromRgbF(Pinned(red_), Pinned(green_), Pinned(blue_), Pinned(alpha_));
}

NSString* NSColor::description() const
{
    char text[128];
    std::snprintf(text, sizeof text, "NSCalibratedRGBColorSpace %g %g %g %g", static_cast<double>(red_),
                  static_cast<double>(green_), static_cast<double>(blue_), static_cast<double>(alpha_));
    return NSString::stringWithUTF8String(text);
}

bool NSColor::isEqual(const NSObject* other) const
{
    const auto* color = dynamic_cast<const NSColor*>(other);
    return color != nullptr && color->red_ == red_ && color->green_ == green_ && color->blue_ == blue_ &&
           color->alpha_ == alpha_;
}

NSUInteger NSColor::hash() const
{
    NSUInteger hash = 0;
    for (CGFloat component : {red_, green_, blue_, alpha_})
        hash = hash * 31 + std::hash<CGFloat>()(component);
    return hash;
}
