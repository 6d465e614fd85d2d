// Cocoa views in Carbon windows: a Cocoa view, loaded from a nib of its own
// by a view controller, shown over a placeholder view (the container) of a
// Carbon window. The Cocoa view is wrapped in an HICocoaView that lives in
// the window's root view and follows the container: the same rectangle,
// the same visibility, above its siblings while shown. A hidden container
// keeps the Cocoa view parked out of sight at (-32767, -32767), zero-sized.
//
// Subviews of the Cocoa view are found by their tag, and may be given a
// name and an action that reaches a program object through TEventDispatch.
//
// The Cocoa view is an NSView tree (AppKit/NSView.h); the Qt widget that
// shows it in the window is the HICocoaView's (HIViewGetHostedWidget).
#pragma once

#include <ApplicationFramework/Classes/TViewUnit.h>

#include <AppKit/NSControl.h>
#include <AppKit/NSViewController.h>

#include <map>
#include <string>

class TCocoaView : public TView {
    BRINDLET_CLASS(TCocoaView, TView)

public:
    // The Cocoa view of the nib `nibName` over `container`. A nib the
    // program has no view for leaves the Cocoa view nil; everything then
    // works on nil and does nothing.
    static TCocoaView* Create(ControlRef container, const ShortString& nibName);

    void Initialize() override;
    void Deallocate() override;
    // Whether the window's keyboard focus is the Cocoa view.
    bool ContainsFocus() override;
    void SetFocus() override;

    // The Cocoa view's descendant (or itself) with the tag; nil when none.
    virtual NSView* GetSubView(NSInteger tag);
    // The subview registered under the name; nil when none.
    virtual NSView* GetSubView(const ShortString& name);
    // Finds the subview by tag and registers it under the name (a nil one
    // takes the name's earlier registration away); answers it.
    virtual NSView* RegisterView(NSInteger tag, const ShortString& name);
    // The same, and the control's action then calls the method `name` of
    // `target` with the control.
    virtual void RegisterAction(NSInteger tag, const ShortString& name, TObject* target);
    // The HICocoaView, and the Cocoa view it shows.
    virtual ControlRef GetCocoaView();
    virtual NSView* GetNSView();
    // The window whose root holds the Cocoa view: the view goes there.
    virtual void SetRoot(WindowRef window);
    using TResponder::SetTarget;
    virtual void SetTarget(EventTargetRef target);
    virtual void CreateContainer(ControlRef container, ControlRef cocoaView);
    // The Cocoa view takes the container's rectangle (in root coordinates).
    virtual void SynchBounds();
    // Puts the Cocoa view in the root and lets it follow the container.
    virtual void Embed();

    ControlRef GetContainer() const { return container_; }
    WindowRef GetRoot() const { return root_; }
    EventTargetRef GetTarget() const { return target_; }
    NSViewController* GetController() const { return controller_; }

protected:
    TCocoaView() = default;

private:
    friend OSStatus ContainerEventHandler(EventHandlerCallRef, EventRef, void*);

    // Out of sight: hidden, below its siblings, zero-sized far away.
    void Park();
    // Over the container: shown, above its siblings, on its rectangle.
    void Show();
    // Parks or shows the Cocoa view as the container is now.
    void FollowContainer();

    WindowRef root_ = nullptr;
    ControlRef cocoaView_ = nullptr;  // one reference of our own
    ControlRef container_ = nullptr;
    EventTargetRef target_ = nullptr;
    // Name to subview, each retained.
    std::map<std::string, NSView*>* subviews_ = nullptr;
    NSViewController* controller_ = nullptr;
    EventHandlerRef containerHandler_ = nullptr;
};

// The container's events: visibility, bounds, drawing and a new window
// (the Cocoa view follows the container there). Always answers
// eventNotHandledErr, so that the container's own handling goes on.
OSStatus ContainerEventHandler(EventHandlerCallRef callRef, EventRef event, void* cocoaView);

// Where a parked Cocoa view waits.
inline constexpr CGFloat kCocoaViewParkedOrigin = -32767;
