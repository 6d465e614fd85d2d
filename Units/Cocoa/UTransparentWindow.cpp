#include "UTransparentWindow.h"

NSTransparentWindow* NSTransparentWindow::newWithContentRect(NSRect contentRect)
{
    return new NSTransparentWindow(contentRect);
}

NSTransparentWindow::NSTransparentWindow(NSRect contentRect) : NSWindow(contentRect, NSBorderlessWindowMask)
{
    setMovableByWindowBackground(false);
    setBackgroundColor(NSColor::clearColor());
    setOpaque(false);
    setHasShadow(false);
}
