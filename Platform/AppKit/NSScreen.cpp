#include "NSScreen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <cmath>

namespace {

CGFloat PrimaryHeight()
{
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? static_cast<CGFloat>(primary->geometry().height()) : 0;
}

}  // namespace

NSRect NSRectFromQtRect(const QRect& rect, CGFloat primaryHeight)
{
    return NSMakeRect(static_cast<CGFloat>(rect.x()),
                      primaryHeight - static_cast<CGFloat>(rect.y()) - static_cast<CGFloat>(rect.height()),
                      static_cast<CGFloat>(rect.width()), static_cast<CGFloat>(rect.height()));
}

QRect QtRectFromNSRect(NSRect rect, CGFloat primaryHeight)
{
    const int x = static_cast<int>(std::lround(rect.origin.x));
    const int height = static_cast<int>(std::lround(rect.size.height));
    const int y = static_cast<int>(std::lround(primaryHeight - rect.origin.y - rect.size.height));
    return QRect(x, y, static_cast<int>(std::lround(rect.size.width)), height);
}

std::vector<NSScreen*> NSScreen::screens()
{
    std::vector<NSScreen*> result;
    if (qGuiApp == nullptr)
        return result;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        result.push_back(NSAutorelease(new NSScreen(primary)));
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != primary)
            result.push_back(NSAutorelease(new NSScreen(screen)));
    return result;
}

NSScreen* NSScreen::mainScreen()
{
    if (qGuiApp == nullptr)
        return nullptr;
    QScreen* screen = nullptr;
    if (QWindow* focus = QGuiApplication::focusWindow())
        screen = focus->screen();
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    return screen ? NSAutorelease(new NSScreen(screen)) : nullptr;
}

NSRect NSScreen::frame() const
{
    return NSRectFromQtRect(screen_->geometry(), PrimaryHeight());
}

NSRect NSScreen::visibleFrame() const
{
    return NSRectFromQtRect(screen_->availableGeometry(), PrimaryHeight());
}

CGFloat NSScreen::backingScaleFactor() const
{
    return static_cast<CGFloat>(screen_->devicePixelRatio());
}

UInt32 NSScreen::displayID() const
{
    // The same number across restarts and replugging: from the display's
    // own serial number (its EDID) when it has one, else from the output it
    // is plugged into ("HDMI-1").
    const QString serial = screen_->serialNumber().trimmed();
    const QByteArray name = serial.isEmpty() ? screen_->name().toUtf8() : ("serial:" + serial).toUtf8();
    UInt32 hash = 2166136261u;
    for (char c : name)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

bool NSScreen::isEqual(const NSObject* other) const
{
    const auto* screen = dynamic_cast<const NSScreen*>(other);
    return screen != nullptr && screen->screen_ == screen_;
}
