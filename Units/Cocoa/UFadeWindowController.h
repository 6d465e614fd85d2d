// A window controller whose window fades in when shown and fades out
// before it closes: alpha 0 at set-up, a fade to 1 on show, a fade to 0 on
// close or on the window's close button, closed when the fade-out ends.
#pragma once

#include <AppKit/AppKit.h>

class NSFadeWindowController : public NSWindowController, public CAAnimationDelegate {
public:
    // A controller of `window` (may be nil), set up; owned by the caller.
    static NSFadeWindowController* newWithWindow(NSWindow* window);

    void awakeFromNib() override;
    // Installs the fade as the window's animation of "alphaValue", makes the
    // window clear and orders it front.
    virtual void setup();
    // From clear to opaque, then shown as any controller shows it.
    void showWindow(NSObject* sender) override;
    // A visible window fades out (and closes when the fade ends); a clear
    // one closes at once.
    void close() override;
    // The close button starts the fade out instead of closing.
    bool windowShouldClose(NSWindow* sender) override;
    // A fade out that ran to its end at alpha 0 closes the window.
    void animationDidStop(CAAnimation* animation, bool finished) override;

    const char* className() const override { return "NSFadeWindowController"; }

protected:
    NSFadeWindowController() = default;
    ~NSFadeWindowController() override;
    bool initWithWindow(NSWindow* window) override;

    friend class NSWindowController;
};
