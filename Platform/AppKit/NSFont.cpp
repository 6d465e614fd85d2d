#include "NSFont.h"

#include <Foundation/NSString.h>

#include <CoreGraphics/CGContextInternal.h>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr CGFloat kDefaultFontSize = 12;
constexpr CGFloat kSystemFontSize = 13;

QString QStringOf(const NSString* text)
{
    if (text == nullptr)
        return QString();
    const CFStringRef s = text->cfString();
    const CFIndex length = CFStringGetLength(s);
    QString out(static_cast<qsizetype>(length), Qt::Uninitialized);
    CFStringGetCharacters(s, CFRangeMake(0, length), reinterpret_cast<UniChar*>(out.data()));
    return out;
}

NSString* NSStringOf(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return NSString::stringWithUTF8String(utf8.constData());
}

}  // namespace

NSFont* NSFont::Make(const QString& family, CGFloat size, bool bold)
{
    QFont font(family);
    // Whole pixels: Qt takes no fractional pixel size, and a point size
    // would be scaled by the screen's resolution.
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
    if (bold)
        font.setWeight(QFont::Bold);
    return NSAutorelease(new NSFont(font, size));
}

NSFont* NSFont::fontWithName(const NSString* name, CGFloat size)
{
    if (qGuiApp == nullptr || name == nullptr)
        return nullptr;
    const QString wanted = QStringOf(name);
    const QStringList families = CGFontFamilies();
    auto familyNamed = [&](const QString& name) {
        return std::find_if(families.begin(), families.end(),
                            [&](const QString& family) { return family.compare(name, Qt::CaseInsensitive) == 0; });
    };
    const CGFloat points = size > 0 ? size : kDefaultFontSize;
    if (const auto found = familyNamed(wanted); found != families.end())
        return Make(*found, points, false);
    // A full name, family then style ("DejaVu Sans Bold", "DejaVu Serif
    // Bold Italic"): the face of that family with that style.
    for (qsizetype space = wanted.lastIndexOf(u' '); space > 0; space = wanted.lastIndexOf(u' ', space - 1)) {
        const auto found = familyNamed(wanted.left(space));
        if (found == families.end())
            continue;
        const QString style = wanted.mid(space + 1);
        const QStringList styles = QFontDatabase::styles(*found);
        const auto face = std::find_if(styles.begin(), styles.end(), [&](const QString& candidate) {
            return candidate.compare(style, Qt::CaseInsensitive) == 0;
        });
        if (face == styles.end())
            return nullptr;
        QFont font(*found);
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(points))));
        font.setStyleName(*face);
        return NSAutorelease(new NSFont(font, points));
    }
    return nullptr;
}

NSFont* NSFont::systemFontOfSize(CGFloat size)
{
    if (qGuiApp == nullptr)
        return nullptr;
    return Make(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family(), size > 0 ? size : kSystemFontSize,
                false);
}

NSFont* NSFont::boldSystemFontOfSize(CGFloat size)
{
    if (qGuiApp == nullptr)
        return nullptr;
    return Make(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family(), size > 0 ? size : kSystemFontSize,
                true);
}

NSFont* NSFont::fontWithQFont(const QFont& font)
{
    if (qGuiApp == nullptr)
        return nullptr;
    const int pixels = font.pixelSize() > 0 ? font.pixelSize() : static_cast<int>(std::lround(font.pointSizeF()));
    return Make(font.family(), pixels > 0 ? pixels : kDefaultFontSize, font.bold());
}

NSString* NSFont::fontName() const
{
    return familyName();
}

NSString* NSFont::familyName() const
{
    return NSStringOf(font_.family());
}

CGFloat NSFont::widthOfString(const NSString* text) const
{
    return widthOfString(QStringOf(text));
}

CGFloat NSFont::widthOfString(const QString& text) const
{
    return static_cast<CGFloat>(QFontMetricsF(font_).horizontalAdvance(text));
}

CGFloat NSFont::ascender() const
{
    return static_cast<CGFloat>(QFontMetricsF(font_).ascent());
}

CGFloat NSFont::descender() const
{
    return -static_cast<CGFloat>(QFontMetricsF(font_).descent());
}

CGFloat NSFont::leading() const
{
    return static_cast<CGFloat>(std::max<qreal>(0, QFontMetricsF(font_).leading()));
}

CGFloat NSFont::capHeight() const
{
    return static_cast<CGFloat>(QFontMetricsF(font_).capHeight());
}

CGFloat NSFont::xHeight() const
{
    return static_cast<CGFloat>(QFontMetricsF(font_).xHeight());
}

CGRect NSFont::boundingRectForFont() const
{
    // Qt knows the extremes across the glyphs: the lowest left and right
    // bearings and the widest advance; accented capitals and descenders
    // show how far the ink reaches beyond the ascent and descent.
    const QFontMetricsF metrics(font_);
    const QRectF ink = metrics.boundingRect(QString::fromUtf8("\u00c5\u00c7\u00c9gjpqy|"));
    const qreal left = std::min<qreal>(0, metrics.minLeftBearing());
    const qreal right = metrics.maxWidth() - std::min<qreal>(0, metrics.minRightBearing());
    const qreal top = std::max(metrics.ascent(), -ink.top());
    const qreal bottom = std::max(metrics.descent(), ink.bottom());
    return CGRectMake(CGFloat(left), CGFloat(-bottom), CGFloat(right - left), CGFloat(top + bottom));
}

NSString* NSFont::description() const
{
    const QByteArray family = font_.family().toUtf8();
    char text[320];
    std::snprintf(text, sizeof text, "\"%s %g%s\"", family.constData(), static_cast<double>(size_),
                  font_.bold() ? " bold" : "");
    return NSString::stringWithUTF8String(text);
}

bool NSFont::isEqual(const NSObject* other) const
{
    const auto* font = dynamic_cast<const NSFont*>(other);
    return font != nullptr && font->size_ == size_ && font->font_ == font_;
}

NSUInteger NSFont::hash() const
{
    return static_cast<NSUInteger>(qHash(font_.family())) ^ static_cast<NSUInteger>(std::lround(size_ * 16));
}
