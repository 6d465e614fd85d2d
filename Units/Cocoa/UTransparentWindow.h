// A borderless, transparent window that can still take the keyboard: what
// its views leave clear shows the desktop, and it casts no shadow.
#pragma once

#include <AppKit/AppKit.h>

class NSTransparentWindow : public NSWindow {
public:
    // A hidden borderless window over `contentRect`, clear and without a
    // shadow, not movable by its background; owned by the caller.
    static NSTransparentWindow* newWithContentRect(NSRect contentRect);

    // A borderless window otherwise cannot take the keyboard.
    bool canBecomeKeyWindow() const override { return true; }

    const char* className() const override { return "NSTransparentWindow"; }

private:
    explicit NSTransparentWindow(NSRect contentRect);
};
