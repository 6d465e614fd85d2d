// Cocoa windows: one top-level widget each, showing a content view.
//
// Frames are in the screens' coordinates (NSScreen.h: origin at the
// bottom-left corner of the primary screen, y up) and cover what the
// program draws: the decorations a window manager adds lie outside them.
// The content view fills the window and is resized with it.
//
// Without a widget application a window has no widget: it keeps its frame
// and views, and shows nothing.
#pragma once

#include <AppKit/CAAnimation.h>
#include <AppKit/NSView.h>
#include <Foundation/NSString.h>

#include <map>
#include <string>

class QWidget;
class NSColor;
class NSWindow;

typedef NSUInteger NSWindowStyleMask;
enum : NSWindowStyleMask {
    NSBorderlessWindowMask = 0,
    NSTitledWindowMask = 1 << 0,
    NSClosableWindowMask = 1 << 1,
    NSMiniaturizableWindowMask = 1 << 2,
    NSResizableWindowMask = 1 << 3,
};

// What a window asks of the object that looks after it.
class NSWindowDelegate {
public:
    // The user asked to close the window (its close button, the window
    // manager): false keeps it open.
    virtual bool windowShouldClose(NSWindow* sender) = 0;

protected:
    ~NSWindowDelegate() = default;
};

// A window's animator: sets the window's properties over time (CAAnimation.h).
class NSWindowAnimator {
public:
    // From the alpha now to `alpha`, by the window's animation for
    // "alphaValue" (a 0.25 s one when it has none). An animation still
    // running stops where it is, its delegate told it did not finish.
    void setAlphaValue(CGFloat alpha);
    void orderFront();

private:
    friend class NSWindow;
    explicit NSWindowAnimator(NSWindow* window) : window_(window) {}
    ~NSWindowAnimator();
    static void Tick(struct OpaqueEventLoopTimerRef* timer, void* animator);
    void Stop(bool finished);

    NSWindow* window_;
    struct OpaqueEventLoopTimerRef* timer_ = nullptr;
    CAAnimation* animation_ = nullptr;  // retained while running
    CGFloat from_ = 0;
    CGFloat to_ = 0;
    double start_ = 0;
};

class NSWindow : public NSObject {
public:
    // A hidden window whose frame is `contentRect`, with a plain content
    // view. Owned by the caller.
    static NSWindow* newWindow(NSRect contentRect, NSWindowStyleMask styleMask);

    NSRect frame() const { return frame_; }
    // Moves and resizes the window; with `display`, its views are drawn
    // again at once.
    void setFrame(NSRect frame, bool display);
    void setFrameOrigin(NSPoint origin);
    NSWindowStyleMask styleMask() const { return styleMask_; }

    // Borrowed. The new view (retained) leaves its superview and is sized
    // to the window; the previous one leaves the window. Nil is refused.
    NSView* contentView() const { return contentView_; }
    void setContentView(NSView* view);

    // Borrowed for the life of the receiver (or until set again).
    NSString* title() const { return title_; }
    void setTitle(const NSString* title);

    void orderFront();
    void makeKeyAndOrderFront() { orderFront(); }
    void orderOut();
    bool isVisible() const;
    // Takes the window off the screen; a window released when closed (the
    // default) is then released once, on the next drain of the pool. A
    // user closing the window closes it the same way.
    void close();
    bool isReleasedWhenClosed() const { return releasedWhenClosed_; }
    void setReleasedWhenClosed(bool flag) { releasedWhenClosed_ = flag; }

    // The whole window's opacity, 0…1 (values outside are pinned).
    CGFloat alphaValue() const { return alphaValue_; }
    void setAlphaValue(CGFloat alpha);
    // A window that is not opaque lets what its views leave clear show the
    // desktop through.
    bool isOpaque() const { return opaque_; }
    void setOpaque(bool opaque);
    bool hasShadow() const { return hasShadow_; }
    void setHasShadow(bool hasShadow);
    // What fills the window where no view draws; retained. Nil is refused.
    NSColor* backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(NSColor* color);
    bool isMovableByWindowBackground() const { return movableByBackground_; }
    void setMovableByWindowBackground(bool movable) { movableByBackground_ = movable; }
    // Whether the window may take the keyboard: titled windows may, a
    // borderless one only when a subclass says so.
    virtual bool canBecomeKeyWindow() const { return (styleMask_ & NSTitledWindowMask) != 0; }

    // Not retained; nil: the user's close closes.
    NSWindowDelegate* delegate() const { return delegate_; }
    void setDelegate(NSWindowDelegate* delegate) { delegate_ = delegate; }
    // What the close button does: closes unless the delegate says no.
    void performClose();

    // The animations of the window's properties by key ("alphaValue"),
    // each retained; setting them replaces all. Borrowed; nil for none.
    void setAnimations(const std::map<std::string, CAAnimation*>& animations);
    CAAnimation* animationForKey(const std::string& key) const;
    // The window's animator, for the life of the window.
    NSWindowAnimator* animator();

    // Draws what the views marked, now.
    void displayIfNeeded();
    // Draws every view now.
    void display();

    // The top-level widget; nil without a widget application.
    QWidget* widget() const;

    const char* className() const override { return "NSWindow"; }

protected:
    // For subclasses: a hidden window as newWindow makes it.
    NSWindow(NSRect frame, NSWindowStyleMask styleMask);
    ~NSWindow() override;

private:
    friend class NSWindowWidget;

    // The user moved or resized the widget.
    void FrameChangedByWidget();

    NSRect frame_;
    NSWindowStyleMask styleMask_;
    NSView* contentView_ = nullptr;  // retained
    NSString* title_;                // retained
    class NSWindowWidget* widget_ = nullptr;
    bool releasedWhenClosed_ = true;
    bool closed_ = false;
    CGFloat alphaValue_ = 1;
    bool opaque_ = true;
    bool hasShadow_ = true;
    bool movableByBackground_ = false;
    NSColor* backgroundColor_ = nullptr;  // retained
    NSWindowDelegate* delegate_ = nullptr;
    std::map<std::string, CAAnimation*> animations_;  // retained
    NSWindowAnimator* animator_ = nullptr;            // owned
};
