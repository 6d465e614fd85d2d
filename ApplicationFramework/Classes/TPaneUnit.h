// Panes: a view object around one HIView that moves between windows. A
// pane is designed in a nib as the content of a window of its own, loaded
// from there, and then attached to any window or placed in any container
// view, bringing its controls and its command handling along. The canvas
// pane and the program's floating panes derive from it.
//
// Contextual windows: a small window shown at a point, which goes away when
// the user presses Return or when it loses the user focus.
//
// Life of a pane: the caller owns the reference Create answers; placing the
// pane (Attach, AddSubview) gives its view one more, which the view gives
// back when it is disposed of (Close does that). A pane holds its view
// itself, so that a detached pane can be placed again.
#pragma once

#include <ApplicationFramework/Classes/TWindowUnit.h>

#include <HIToolbox/Nibs.h>

class TPane : public TView {
    BRINDLET_CLASS(TPane, TView)

public:
    // A pane around `view`, whose window becomes the pane's window. A nil
    // view writes "Warning: <class> pane is invalid!" and gives a pane that
    // shows nothing.
    static TPane* Create(ControlRef view) { return Make<TPane>(view); }
    // A pane around the content of the nib's window `name` (the first
    // subview of the window's root); the window is kept hidden until the
    // pane goes. A window that cannot be made, or has no content, writes
    // "Warning: <class> pane (<name>) is invalid!".
    static TPane* Create(const ShortString63& name, IBNibRef nib) { return Make<TPane>(name, nib); }

    // The same for a subclass T of TPane, and for subclasses that set
    // fields (SetCommandHandlerTarget) between the two steps.
    template <typename T>
    static T* Make(ControlRef view)
    {
        T* pane = AllocateInstance<T>();
        pane->Construct(view);
        return pane;
    }
    template <typename T>
    static T* Make(const ShortString63& name, IBNibRef nib)
    {
        T* pane = AllocateInstance<T>();
        pane->Construct(name, nib);
        return pane;
    }
    // The two creations on an allocated pane: they initialise it.
    void Construct(ControlRef view);
    void Construct(const ShortString63& name, IBNibRef nib);

    void Initialize() override;
    void Deallocate() override;

    // The view object of the window the pane is attached to (not retained).
    virtual void SetOwner(TView* owner);
    TView* GetOwner() const;
    // Set before initialisation: the pane's command handler goes on that
    // window's events too.
    virtual void SetCommandHandlerTarget(WindowRef window);
    // The owner's window when attached, else the window the view is in.
    virtual WindowRef GetWindow();
    virtual IBNibRef GetNib();
    virtual ControlRef GetView();
    WindowRef GetLoadedWindow() const { return loadedWindow_; }
    WindowRef GetDestination() const { return destination_; }

    // Geometry, in the coordinates of the view's superview (bounds: the
    // view's own).
    virtual CGRect GetBounds();
    virtual CGRect GetFrame();
    virtual UInt32 GetWidth();
    virtual UInt32 GetHeight();
    virtual void SetVisible(bool visible);
    // Each of these changes one part of the frame and keeps the rest where
    // it is.
    virtual void SetLocationX(SInt32 x);
    virtual void SetLocationY(SInt32 y);
    virtual void SetFrame(const CGRect& frame);
    virtual void SetWidth(UInt32 width);
    virtual void SetHeight(UInt32 height);
    virtual void SetSize(CGSize size);
    virtual void SetEnabled(bool enabled);
    virtual void SetNeedsDisplay();
    virtual bool IsEnabled();
    virtual bool IsVisible();

    // Takes the pane out of wherever it is, then disposes of its view,
    // which releases the pane.
    virtual void Close();
    // Takes the view out of its superview and hides it; the window it was
    // attached to forgets it.
    virtual void Detach();
    // Shows the pane filling the window's root, in place of the pane the
    // window showed before (which is detached), and focuses the window's
    // first focusable view.
    virtual void Attach(WindowRef window);
    // Shows the pane filling `container`; a container holding exactly one
    // view loses that view first.
    virtual void AddSubview(ControlRef container);
    // Notes the window the pane goes to.
    virtual void PrepareDestination(WindowRef window);
    // Hooks: nothing here.
    virtual void HandleOwnerChanged(WindowRef window);
    virtual void HandleAttached();
    virtual void HandleDetached();
    virtual void DrawBackground(CGRect bounds, CGContextRef context, OSStatus& result);

    // Whether the command 'cPAN' closes the pane.
    void SetClosable(bool closable) { closable_ = closable; }
    bool IsClosable() const { return closable_; }

    // 'cPAN' on a closable pane closes it (noErr); everything else is left
    // unhandled.
    void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result) override;
    // Disposes of the view.
    void ReleaseViewObject() override;

protected:
    TPane() = default;

private:
    friend OSStatus PaneEventHandler(EventHandlerCallRef, EventRef, void*);

    // Keeps `view` (one reference of the pane's own).
    void HoldView(ControlRef view);
    // Gives the view the pane's placing reference, once.
    void HoldSelfForView();
    // Forgets the window's 'pane' property when it names this pane.
    void LeaveWindow(WindowRef window);

    ControlRef view_ = nullptr;
    WindowRef loadedWindow_ = nullptr;
    TView* owner_ = nullptr;
    WindowRef destination_ = nullptr;
    WindowRef commandTarget_ = nullptr;
    IBNibRef nib_ = nullptr;
    WindowRef window_ = nullptr;
    bool closable_ = false;
    EventHandlerRef eventHandler_ = nullptr;
    // The window whose 'pane' property names this pane.
    WindowRef attachedWindow_ = nullptr;
    // Whether the view holds the placing reference.
    bool heldByView_ = false;
    // Set once the view's dispose event arrived.
    bool viewDisposed_ = false;
};

// The events of a pane's view.
OSStatus PaneEventHandler(EventHandlerCallRef callRef, EventRef event, void* pane);

// The pane a window shows (its 'pane' property) when that is a live pane;
// nil otherwise.
TPane* GetWindowPane(WindowRef window);

inline constexpr UInt32 kPaneCloseCommand = FourCC("cPAN");

class TContextualWindow : public TWindow {
    BRINDLET_CLASS(TContextualWindow, TWindow)

public:
    // The nib's window `name`, hidden until ShowAtPoint.
    static TContextualWindow* Create(const ShortString63& name, IBNibRef nib);

    void Initialize() override;
    void Deallocate() override;

    // Hides the window, puts its content at the point (global, whole
    // points) with the size set last, shows it, selects it and gives it the
    // user focus.
    virtual void ShowAtPoint(CGPoint point);
    virtual void SetSize(SInt16 width, SInt16 height);
    // Return (key code 36) closes the window; the key stays unhandled.
    virtual OSStatus HandleKeys(UInt32 keyCode);

    SInt16 GetContentWidth() const { return width_; }
    SInt16 GetContentHeight() const { return height_; }

protected:
    TContextualWindow() = default;

    // Releases the window, once, which ends the object through the
    // window's dispose event.
    void Dismiss();

private:
    friend OSStatus ContextualWindowEventHandler(EventHandlerCallRef, EventRef, void*);

    SInt16 width_ = 0;
    SInt16 height_ = 0;
    EventHandlerRef handler_ = nullptr;
    bool dismissed_ = false;
};

OSStatus ContextualWindowEventHandler(EventHandlerCallRef callRef, EventRef event, void* window);
