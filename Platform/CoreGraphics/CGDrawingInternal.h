// Small bridges between the Core Graphics values and Qt that several files
// of this folder share. Not part of the public interface.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CGAffineTransform.h>
#include <CoreGraphics/CGColor.h>

#include <QColor>
#include <QFont>
#include <QString>
#include <QTransform>

#include <optional>

class QPaintDevice;

// A colour as straight (not premultiplied) RGB and alpha, 0...1.
struct CGRGBA {
    CGFloat red, green, blue, alpha;
};

// Grey components become RGB; anything unknown is transparent black.
inline CGRGBA CGRGBAFromComponents(CGColorSpaceModel model, const CGFloat* c)
{
    if (c == nullptr)
        return CGRGBA{0, 0, 0, 0};
    if (model == kCGColorSpaceModelMonochrome)
        return CGRGBA{c[0], c[0], c[0], c[1]};
    if (model == kCGColorSpaceModelRGB)
        return CGRGBA{c[0], c[1], c[2], c[3]};
    return CGRGBA{0, 0, 0, 0};
}

// The colour's RGBA; transparent black for nil.
CGRGBA CGColorGetRGBA(CGColorRef color);

inline float CGClampUnit(CGFloat v)
{
    return v < 0 ? 0.0f : (v > 1 ? 1.0f : v);
}

// Components are clamped to 0...1 the way the platform clamps them when it
// paints.
inline QColor CGRGBAToQColor(const CGRGBA& c)
{
    return QColor::fromRgbF(CGClampUnit(c.red), CGClampUnit(c.green), CGClampUnit(c.blue), CGClampUnit(c.alpha));
}

// Both conventions map a point as row vector times matrix, so the fields
// carry over one to one.
inline QTransform CGAffineTransformToQt(const CGAffineTransform& t)
{
    return QTransform(t.a, t.b, t.c, t.d, t.tx, t.ty);
}

inline CGAffineTransform CGAffineTransformFromQt(const QTransform& t)
{
    return CGAffineTransform{CGFloat(t.m11()), CGFloat(t.m12()), CGFloat(t.m21()),
                             CGFloat(t.m22()), CGFloat(t.dx()),  CGFloat(t.dy())};
}

QString CGStringToQt(CFStringRef text);
// A new string; nil for a null QString.
CFStringRef CGStringCreateFromQt(const QString& text);

// Whether Qt's fonts can be used: they need the GUI application.
bool CGHaveFonts();
// An installed font by "Family", "Family Style" or "Family-Style"; nothing
// when none matches (or without the GUI application).
std::optional<QFont> CGFontNamed(const QString& name);
// The installed font families (Qt's list), kept until the application's
// fonts change; empty without a GUI application. Main thread.
QStringList CGFontFamilies();
// Changes whenever the application's fonts change (or the application is
// another): what was worked out from fonts before is stale then.
unsigned CGFontGeneration();
// Fonts are measured and drawn at 72 dots per inch here, so that a font of
// n points is n pixels high: this device says so to Qt's text layout.
QPaintDevice* CGPointResolutionDevice();
