// Window controllers: the owner of one window, and its delegate.
#pragma once

#include <AppKit/NSWindow.h>

class NSWindowController : public NSObject, public NSWindowDelegate {
public:
    // A controller of `window` (may be nil), owned by the caller.
    static NSWindowController* newWithWindow(NSWindow* window);

    // Borrowed; nil for none.
    NSWindow* window() const { return window_; }
    // Shows the window in front.
    virtual void showWindow(NSObject* sender);
    // Closes the window.
    virtual void close();
    // Called once the controller's nib has made it.
    virtual void awakeFromNib() {}
    // The user's close closes.
    bool windowShouldClose(NSWindow*) override { return true; }

    const char* className() const override { return "NSWindowController"; }

protected:
    NSWindowController() = default;
    ~NSWindowController() override;
    // Takes the window (retained) and becomes its delegate; false when the
    // controller cannot be made (subclasses).
    virtual bool initWithWindow(NSWindow* window);

    // Makes a controller of class T and initialises it; nil when that fails.
    template <typename T>
    static T* NewInitialized(NSWindow* window)
    {
        T* controller = new T();
        if (!controller->initWithWindow(window)) {
            controller->release();
            return nullptr;
        }
        return controller;
    }

private:
    NSWindow* window_ = nullptr;  // retained
};
