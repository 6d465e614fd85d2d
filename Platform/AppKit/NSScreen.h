// The screens, in the platform's coordinates: the origin at the bottom-left
// corner of the primary screen, y growing upwards, one point per logical
// pixel. Qt counts from the top-left corner downwards; the conversions
// here are the one place where the two meet.
#pragma once

#include <CoreGraphics/CGGeometry.h>
#include <Foundation/NSObject.h>

#include <QRect>

#include <vector>

class QScreen;

typedef CGRect NSRect;
typedef CGPoint NSPoint;
typedef CGSize NSSize;

inline NSRect NSMakeRect(CGFloat x, CGFloat y, CGFloat width, CGFloat height)
{
    return CGRectMake(x, y, width, height);
}

// Between Qt's global rectangles (top-left origin) and the platform's
// (bottom-left origin), for a desktop whose primary screen is
// `primaryHeight` points high.
NSRect NSRectFromQtRect(const QRect& rect, CGFloat primaryHeight);
QRect QtRectFromNSRect(NSRect rect, CGFloat primaryHeight);

class NSScreen : public NSObject {
public:
    // Every screen, the primary (menu-bar) screen first. Autoreleased.
    static std::vector<NSScreen*> screens();
    // The screen holding the keyboard focus; the primary screen without one.
    static NSScreen* mainScreen();

    NSRect frame() const;
    // The frame less the system's panels and docks.
    NSRect visibleFrame() const;
    CGFloat backingScaleFactor() const;
    // The display's identifier ("NSScreenNumber"): the same for a display
    // across restarts and replugging (made from its EDID serial number, or
    // from its output's name when it has none).
    UInt32 displayID() const;
    QScreen* qScreen() const { return screen_; }

    const char* className() const override { return "NSScreen"; }
    bool isEqual(const NSObject* other) const override;

private:
    explicit NSScreen(QScreen* screen) : screen_(screen) {}

    QScreen* screen_;
};
