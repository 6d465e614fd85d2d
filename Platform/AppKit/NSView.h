// Cocoa views: rectangles in a tree, each drawn by its drawRect into the
// current Cocoa graphics context.
//
// A view's frame is in its superview's coordinates, its bounds (origin
// (0, 0), the frame's size) in its own: y grows upwards unless the view is
// flipped, as on the platform. A superview holds its subviews (retained)
// and draws them after itself, in the order they were added, each clipped
// to its bounds.
//
// A tree is shown by a host: a window (its content view is the root) or a
// widget made with newHostWidget. The host keeps the tree's pixels in a
// retained buffer. setNeedsDisplay marks a view and its area; the next
// paint of the host, or displayIfNeeded, draws that area again: every view
// meeting it gets drawRect with the part of its bounds to draw, the current
// Cocoa context set to the host's buffer in the view's own coordinates.
// Drawing happens only then: a view in no host is drawn by nothing but
// displayRectIgnoringOpacity.
#pragma once

#include <AppKit/NSTextDrawing.h>
#include <Foundation/NSGeometry.h>
#include <Foundation/NSObject.h>

#include <vector>

class NSViewHost;
class NSWindow;
class QWidget;

class NSView : public NSObject {
public:
    // A plain view, owned by the caller.
    static NSView* newView(NSRect frame);

    NSRect frame() const { return frame_; }
    // Moves or resizes the view; what it covered and covers is drawn again.
    void setFrame(NSRect frame);
    void setFrameOrigin(NSPoint origin);
    void setFrameSize(NSSize size);
    NSRect bounds() const { return NSRect{{0, 0}, frame_.size}; }
    // Whether y grows downwards in the view's coordinates.
    virtual bool isFlipped() const { return false; }

    // The tree. A view added elsewhere leaves its old superview first;
    // adding a view to itself or to one of its own subviews does nothing.
    NSView* superview() const { return superview_; }
    // Borrowed, in drawing order.
    const std::vector<NSView*>& subviews() const { return subviews_; }
    void addSubview(NSView* view);
    void removeFromSuperview();
    // The view's tag: -1 for a plain view (controls keep one of their own).
    virtual NSInteger tag() const { return -1; }
    // The view itself or the first of its descendants, depth first in
    // drawing order, whose tag is `tag`; nil when none.
    NSView* viewWithTag(NSInteger tag);
    // The window whose content view is this view or an ancestor; nil when
    // none.
    NSWindow* window() const;

    bool needsDisplay() const { return needsDisplay_; }
    // With true, the whole view is drawn again at the host's next paint;
    // false forgets the mark (the area stays to be drawn for the others).
    void setNeedsDisplay(bool flag);
    // `rect` in the view's coordinates.
    void setNeedsDisplayInRect(NSRect rect);
    // Draws now what the host has to draw (nothing without a host).
    void displayIfNeeded();
    // Marks the whole view and draws it now.
    void display();
    // Draws the view and its subviews over `rect` (the view's coordinates)
    // into `context`, whose user space is taken as the view's bounds: y up
    // or, for a flipped context, down.
    void displayRectIgnoringOpacity(NSRect rect, NSGraphicsContext* context);

    // Draws the view's own content; `dirtyRect` is the part of the bounds
    // to draw. The current Cocoa context is the view's while it runs. The
    // base draws nothing.
    virtual void drawRect(NSRect dirtyRect);

    // A new widget showing the view (a root, in no window and no other
    // host) and its subviews, owned by the caller; nil without a widget
    // application or for a view that cannot be a root. The widget keeps the
    // view retained, its size is the view's frame size, and the view's
    // size follows the widget's.
    QWidget* newHostWidget();

    const char* className() const override { return "NSView"; }

protected:
    explicit NSView(NSRect frame) : frame_(frame) {}
    ~NSView() override;

private:
    friend class NSViewHost;
    friend class NSWindow;

    NSView* Root();
    NSViewHost* Host();
    // From the view's coordinates to its host's (y up, origin at the
    // host's bottom-left corner).
    CGAffineTransform TransformToHost() const;
    // From the view's coordinates to its superview's (for the root: to
    // the host's).
    CGAffineTransform LocalTransform() const;
    // Draws the view and its subviews where they meet `dirty` (host
    // coordinates); the port's CTM maps the superview's coordinates.
    void DrawTree(CGContextRef port, const CGAffineTransform& superviewToHost, CGRect dirty);
    void InvalidateInHost(NSRect rect);

    NSRect frame_;
    NSView* superview_ = nullptr;
    std::vector<NSView*> subviews_;  // retained
    NSWindow* window_ = nullptr;     // the root's only
    NSViewHost* host_ = nullptr;     // the root's only
    bool needsDisplay_ = true;
};
