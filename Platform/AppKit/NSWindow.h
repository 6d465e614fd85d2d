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

#include <AppKit/NSView.h>
#include <Foundation/NSString.h>

class QWidget;

typedef NSUInteger NSWindowStyleMask;
enum : NSWindowStyleMask {
    NSBorderlessWindowMask = 0,
    NSTitledWindowMask = 1 << 0,
    NSClosableWindowMask = 1 << 1,
    NSMiniaturizableWindowMask = 1 << 2,
    NSResizableWindowMask = 1 << 3,
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

    // Draws what the views marked, now.
    void displayIfNeeded();
    // Draws every view now.
    void display();

    // The top-level widget; nil without a widget application.
    QWidget* widget() const;

    const char* className() const override { return "NSWindow"; }

private:
    friend class NSWindowWidget;

    NSWindow(NSRect frame, NSWindowStyleMask styleMask);
    ~NSWindow() override;

    // The user moved or resized the widget.
    void FrameChangedByWidget();

    NSRect frame_;
    NSWindowStyleMask styleMask_;
    NSView* contentView_ = nullptr;  // retained
    NSString* title_;                // retained
    class NSWindowWidget* widget_ = nullptr;
    bool releasedWhenClosed_ = true;
    bool closed_ = false;
};
