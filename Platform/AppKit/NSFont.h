// Fonts by family name and size, over QFont, and the width a text takes
// when drawn in one.
//
// Sizes are in points, and our drawing spaces have one point per logical
// pixel, so a font of size 12 is 12 pixels to the em on every device.
// Qt sizes such fonts in whole pixels: a fractional size is drawn and
// measured at the nearest whole one. Fonts need the GUI application: with
// none, every factory answers nil.
#pragma once

#include <CoreGraphics/CGGeometry.h>
#include <Foundation/NSObject.h>

#include <QFont>

class NSFont : public NSObject {
public:
    // Autoreleased. Nil when no installed family has that name (letter
    // case aside). A size of 0 or less means the default size, 12.
    static NSFont* fontWithName(const NSString* name, CGFloat size);
    // The desktop's general font at that size (0 or less: 13).
    static NSFont* systemFontOfSize(CGFloat size);
    static NSFont* boldSystemFontOfSize(CGFloat size);
    // A Qt font (its family, pixel size and weight) as a font of this
    // layer, for the platform code that picks fonts through Qt.
    static NSFont* fontWithQFont(const QFont& font);

    // The family name; autoreleased.
    NSString* fontName() const;
    NSString* familyName() const;
    CGFloat pointSize() const { return size_; }
    // The advance of the text set in one line in this font.
    CGFloat widthOfString(const NSString* text) const;
    CGFloat widthOfString(const QString& text) const;
    const QFont& qFont() const { return font_; }

    // Metrics in points, y up from the baseline: the ascender is above it
    // (positive), the descender below it (negative); the leading is the
    // extra space between lines; the bounding box holds every glyph of
    // the font.
    CGFloat ascender() const;
    CGFloat descender() const;
    CGFloat leading() const;
    CGFloat capHeight() const;
    CGFloat xHeight() const;
    CGRect boundingRectForFont() const;

    const char* className() const override { return "NSFont"; }
    NSString* description() const override;
    // The same family, size and weight.
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override;

private:
    NSFont(const QFont& font, CGFloat size) : font_(font), size_(size) {}

    static NSFont* Make(const QString& family, CGFloat size, bool bold);

    const QFont font_;
    const CGFloat size_;
};
