// The theme's bridge to Qt, for the control kinds of this folder: the one
// widget style every control is drawn in, and painting with it through a
// Core Graphics context.
#pragma once

#include <HIToolbox/HITheme.h>

#include <QFont>
#include <QPalette>
#include <QRectF>

#include <functional>

class QPainter;
class QStyle;
class NSFont;

// The style controls are drawn in (Fusion, with its own palette, so that
// the look does not depend on the desktop); nil without a QApplication.
QStyle* HIThemeGetStyle();
// The style's palette, in the colour group of an active or inactive window.
QPalette HIThemeGetPalette(bool active);

// The font of a theme font id (an unknown id: the system font).
QFont HIThemeGetQFont(ThemeFontID fontID);
// The same as an NSFont (autoreleased); nil without fonts.
NSFont* HIThemeGetNSFont(ThemeFontID fontID);

// HIThemeDrawTextBox in a font of the caller's (the text info's font id
// is not used).
OSStatus HIThemeDrawTextBoxInFont(CFTypeRef string, const HIRect* bounds, HIThemeTextInfo* textInfo, const QFont& font,
                                  CGContextRef context, HIThemeOrientation orientation);
// The width of one line of text in the font.
CGFloat HIThemeGetTextWidth(CFStringRef string, const QFont& font);

// Paints with a painter whose world transform is the context's user space
// (flipped around `area` for kHIThemeOrientationInverted, so that the
// drawing stands upright in a y-up space), through the context's clip,
// alpha, blend mode and shadow. Drawing stays within `area` (user space)
// give or take a few points. Nothing happens without a style or for a
// context that is not ours.
void HIThemePaint(CGContextRef context, const CGRect& area, HIThemeOrientation orientation,
                  const std::function<void(QPainter&, QStyle&)>& paint);
