#include "TPaneUnit.h"

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <ApplicationFramework/Classes/TControlUnit.h>
#include <Units/Utilities/CFUtilities.h>

#include <HIToolbox/HITheme.h>
#include <Support/Diagnostics.h>

#include <cmath>
#include <string>

BRINDLET_DEFINE_CLASS(TPane, TView)
BRINDLET_DEFINE_CLASS(TContextualWindow, TWindow)

namespace {

// Key code of Return.
constexpr UInt32 kReturnKeyCode = 36;

bool IsLiveView(ControlRef view)
{
    return view != nullptr && IsValidControlHandle(view);
}

HIRect BoundsOf(ControlRef view)
{
    HIRect bounds = CGRectZero;
    HIViewGetBounds(view, &bounds);
    return bounds;
}

}  // namespace

TPane* GetWindowPane(WindowRef window)
{
    if (!IsValidWindowPtr(window))
        return nullptr;
    TObject* object = TWindowGetPane(window);
    if (!TObject::IsLiveObject(object) || !object->GetClass().InheritsFrom(TPane::StaticClass()))
        return nullptr;
    return static_cast<TPane*>(object);
}

// ---- creation ----

void TPane::Construct(ControlRef view)
{
    if (view == nullptr)
        Diagnostics::WriteLine(std::string("Warning: ") + ClassName() + " pane is invalid!");
    HoldView(view);
    window_ = IsLiveView(view) ? HIViewGetWindow(view) : nullptr;
    Initialize();
}

void TPane::Construct(const ShortString63& name, IBNibRef nib)
{
    nib_ = nib;
    WindowRef window = nullptr;
    if (nib != nullptr && CreateWindowFromNib(nib, CFSTR(ShortString(name)), &window) == noErr) {
        loadedWindow_ = window;
        window_ = window;
    }
    ControlRef first = nullptr;
    if (window != nullptr && GetIndexedSubControl(HIViewGetRoot(window), 1, &first) != noErr)
        first = nullptr;
    if (first == nullptr)
        Diagnostics::WriteLine(std::string("Warning: ") + ClassName() + " pane (" + name.ToString() + ") is invalid!");
    HoldView(first);
    Initialize();
}

void TPane::HoldView(ControlRef view)
{
    // The pane keeps its view through detaching: taken out of its
    // superview, the view would otherwise go with the superview's hold.
    if (view != nullptr)
        CFRetain(view);
    view_ = view;
}

void TPane::Initialize()
{
    Inherited::Initialize();
    if (commandTarget_ != nullptr)
        InstallCommandHandler(commandTarget_);
    SetViewObject(view_);
    if (!IsLiveView(view_))
        return;
    HIViewCreateSubControls(view_, this);
    // The commands of the pane's own controls reach it wherever it is shown.
    InstallCommandHandlerWithTarget(GetControlEventTarget(view_));
    static const EventTypeSpec kPaneEvents[] = {
        {kEventClassControl, kEventControlDispose},
        {kEventClassControl, kEventControlOwningWindowChanged},
        {kEventClassControl, kEventControlDraw},
    };
    InstallEventHandler(GetControlEventTarget(view_), PaneEventHandler, std::size(kPaneEvents), kPaneEvents, this,
                        &eventHandler_);
    TObject* self = this;
    SetControlProperty(view_, kControlPropertyCreatorFramework, kControlPropertyTagObject, sizeof self, &self);
}

void TPane::Deallocate()
{
    if (eventHandler_ != nullptr && !viewDisposed_)
        RemoveEventHandler(eventHandler_);
    eventHandler_ = nullptr;
    LeaveWindow(attachedWindow_);
    if (IsLiveView(view_)) {
        TObject* stored = nullptr;
        if (GetControlProperty(view_, kControlPropertyCreatorFramework, kControlPropertyTagObject, sizeof stored,
                               nullptr, &stored) == noErr &&
            stored == this)
            RemoveControlProperty(view_, kControlPropertyCreatorFramework, kControlPropertyTagObject);
    }
    if (loadedWindow_ != nullptr) {
        // The view leaves the window it was loaded with before the window
        // goes, so that the window does not take it along.
        if (IsLiveView(view_) && HIViewGetWindow(view_) == loadedWindow_)
            HIViewRemoveFromSuperview(view_);
        if (IsValidWindowPtr(loadedWindow_))
            ReleaseWindow(loadedWindow_);
        loadedWindow_ = nullptr;
    }
    if (view_ != nullptr) {
        // A view shown nowhere goes with the pane, its controls with it; one
        // still shown somewhere stays with whoever shows it.
        if (IsLiveView(view_) && !viewDisposed_ && HIViewGetSuperview(view_) == nullptr)
            DisposeControl(view_);
        CFRelease(view_);
        view_ = nullptr;
    }
    if (GetPreferences() != nullptr)
        GetPreferences()->Synchronize();
    Inherited::Deallocate();
}

// ---- fields ----

void TPane::SetOwner(TView* owner)
{
    owner_ = owner;
}

TView* TPane::GetOwner() const
{
    // The owner is not retained: a window object that went is no owner.
    return TObject::IsLiveObject(owner_) ? owner_ : nullptr;
}

void TPane::SetCommandHandlerTarget(WindowRef window)
{
    commandTarget_ = window;
}

WindowRef TPane::GetWindow()
{
    if (TView* owner = GetOwner())
        return owner->GetViewOwner();
    return window_;
}

IBNibRef TPane::GetNib()
{
    return nib_;
}

ControlRef TPane::GetView()
{
    return view_;
}

// ---- geometry and state ----

CGRect TPane::GetBounds()
{
    return BoundsOf(view_);
}

CGRect TPane::GetFrame()
{
    HIRect frame = CGRectZero;
    HIViewGetFrame(view_, &frame);
    return frame;
}

UInt32 TPane::GetWidth()
{
    return static_cast<UInt32>(std::trunc(GetBounds().size.width));
}

UInt32 TPane::GetHeight()
{
    return static_cast<UInt32>(std::trunc(GetBounds().size.height));
}

void TPane::SetVisible(bool visible)
{
    HIViewSetVisible(view_, visible);
}

// Each partial setter starts from the frame: starting from the bounds (the
// view's own rectangle, at 0, 0) would move the pane to its superview's
// corner whenever one part changed.
void TPane::SetLocationX(SInt32 x)
{
    CGRect frame = GetFrame();
    frame.origin.x = x;
    SetFrame(frame);
}

void TPane::SetLocationY(SInt32 y)
{
    CGRect frame = GetFrame();
    frame.origin.y = y;
    SetFrame(frame);
}

void TPane::SetFrame(const CGRect& frame)
{
    HIViewSetFrame(view_, &frame);
}

void TPane::SetWidth(UInt32 width)
{
    CGRect frame = GetFrame();
    frame.size.width = width;
    SetFrame(frame);
}

void TPane::SetHeight(UInt32 height)
{
    CGRect frame = GetFrame();
    frame.size.height = height;
    SetFrame(frame);
}

void TPane::SetSize(CGSize size)
{
    CGRect frame = GetFrame();
    frame.size = size;
    SetFrame(frame);
}

void TPane::SetEnabled(bool enabled)
{
    HIViewSetEnabled(view_, enabled);
}

void TPane::SetNeedsDisplay()
{
    HIViewSetNeedsDisplay(view_, true);
}

bool TPane::IsEnabled()
{
    return HIViewIsEnabled(view_, nullptr);
}

bool TPane::IsVisible()
{
    return HIViewIsVisible(view_);
}

// ---- placing ----

void TPane::LeaveWindow(WindowRef window)
{
    if (window == nullptr)
        return;
    if (window == attachedWindow_)
        attachedWindow_ = nullptr;
    if (IsValidWindowPtr(window) && TWindowGetPane(window) == this)
        RemoveWindowProperty(window, kWindowPropertyCreator, kWindowPropertyTagPane);
}

void TPane::HoldSelfForView()
{
    // One reference for the view, however often the pane is placed: the
    // view gives back one when it is disposed of.
    if (heldByView_ || !IsLiveView(view_))
        return;
    heldByView_ = true;
    Retain();
}

void TPane::Attach(WindowRef window)
{
    if (!IsValidWindowPtr(window))
        return;
    SetOwner(GetWindowObject(window));
    if (TPane* current = GetWindowPane(window))
        current->Detach();
    // A pane shows in one window at a time: the window it leaves must not
    // detach it later on behalf of a pane of its own.
    LeaveWindow(attachedWindow_);
    TPane* self = this;
    TWindowSetProperty(kWindowPropertyTagPane, self, sizeof self, window);
    attachedWindow_ = window;
    HandleAttached();
    PrepareDestination(window);
    ControlRef root = HIViewGetRoot(window);
    if (IsLiveView(view_) && root != nullptr) {
        const HIRect bounds = BoundsOf(root);
        HIViewSetFrame(view_, &bounds);
        HIViewAddSubview(root, view_);
        HIViewSetVisible(view_, true);
    }
    HoldSelfForView();
    UpdateControlPreferences();
    if (root != nullptr)
        HIViewAdvanceFocus(root, 0);
}

void TPane::AddSubview(ControlRef container)
{
    if (!IsLiveView(container) || !IsLiveView(view_))
        return;
    UInt16 count = 0;
    CountSubControls(container, &count);
    if (count == 1) {
        ControlRef only = nullptr;
        if (GetIndexedSubControl(container, 1, &only) == noErr && only != view_)
            HIViewRemoveFromSuperview(only);
    }
    LeaveWindow(attachedWindow_);
    HIViewAddSubview(container, view_);
    const HIRect bounds = BoundsOf(container);
    HIViewSetFrame(view_, &bounds);
    HIViewSetVisible(view_, true);
    HoldSelfForView();
}

void TPane::Detach()
{
    LeaveWindow(attachedWindow_);
    if (!IsLiveView(view_))
        return;
    HandleDetached();
    HIViewRemoveFromSuperview(view_);
    HIViewSetVisible(view_, false);
}

void TPane::Close()
{
    // The pane stays for the length of the call, whatever the dispose
    // event releases.
    Retain();
    RemoveObservedNotifications();
    Detach();
    if (IsLiveView(view_) && !viewDisposed_) {
        ReleaseViewObject();
    } else if (view_ == nullptr && !viewDisposed_) {
        // Without a view there is no dispose event to give back the
        // reference closing ends.
        viewDisposed_ = true;
        Release();
    }
    Release();
}

void TPane::ReleaseViewObject()
{
    if (IsLiveView(view_) && !viewDisposed_)
        DisposeControl(view_);
}

void TPane::PrepareDestination(WindowRef window)
{
    destination_ = window;
}

void TPane::HandleOwnerChanged(WindowRef) {}

void TPane::HandleAttached() {}

void TPane::HandleDetached() {}

void TPane::DrawBackground(CGRect, CGContextRef, OSStatus&) {}

void TPane::ProcessCommand(const HICommandExtended& command, EventRef, OSStatus& result)
{
    result = eventNotHandledErr;
    if (command.commandID == kPaneCloseCommand && closable_) {
        Close();
        result = noErr;
    }
}

// ---- the view's events ----

OSStatus PaneEventHandler(EventHandlerCallRef, EventRef event, void* userData)
{
    // Always unhandled: the view's own handling goes on.
    OSStatus result = eventNotHandledErr;
    TPane* pane = static_cast<TPane*>(userData);
    if (GetEventClass(event) != kEventClassControl || !TObject::IsLiveObject(pane))
        return eventNotHandledErr;
    switch (GetEventKind(event)) {
    case kEventControlDraw: {
        CGContextRef context = nullptr;
        if (GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context, nullptr,
                              &context) != noErr ||
            context == nullptr)
            break;
        const CGRect bounds = BoundsOf(pane->view_);
        CGContextSaveGState(context);
        try {
            pane->DrawBackground(bounds, context, result);
        } catch (...) {
            Diagnostics::ReportException(std::string(pane->ClassName()) + ".DrawBackground");
        }
        CGContextRestoreGState(context);
        break;
    }
    case kEventControlOwningWindowChanged: {
        WindowRef window = nullptr;
        if (GetEventParameter(event, kEventParamControlCurrentOwningWindow, typeWindowRef, nullptr, sizeof window,
                              nullptr, &window) != noErr)
            window = HIViewGetWindow(pane->view_);
        pane->window_ = window;
        pane->destination_ = window;
        pane->PrepareDestination(window);
        pane->HandleOwnerChanged(window);
        break;
    }
    case kEventControlDispose:
        // The view's handlers go with it; the view gives back the pane.
        pane->viewDisposed_ = true;
        pane->eventHandler_ = nullptr;
        pane->heldByView_ = false;
        pane->Release();
        break;
    default:
        break;
    }
    return eventNotHandledErr;
}

// ---- contextual windows ----

TContextualWindow* TContextualWindow::Create(const ShortString63& name, IBNibRef nib)
{
    TContextualWindow* window = Allocate();
    window->SetNibWindow(name, nib);
    window->Initialize();
    return window;
}

void TContextualWindow::Initialize()
{
    Inherited::Initialize();
    WindowRef window = GetWindowRef();
    if (window == nullptr)
        return;
    // Until SetSize, the window keeps the size the nib gave it.
    width_ = static_cast<SInt16>(GetWidth());
    height_ = static_cast<SInt16>(GetHeight());
    static const EventTypeSpec kEvents[] = {
        {kEventClassWindow, kEventWindowFocusRelinquish},
        {kEventClassKeyboard, kEventRawKeyDown},
        {kEventClassKeyboard, kEventRawKeyRepeat},
    };
    InstallEventHandler(GetWindowEventTarget(window), ContextualWindowEventHandler, std::size(kEvents), kEvents, this,
                        &handler_);
}

void TContextualWindow::Deallocate()
{
    if (handler_ != nullptr && IsValidWindowPtr(GetWindowRef()))
        RemoveEventHandler(handler_);
    handler_ = nullptr;
    SetThemeCursor(kThemeArrowCursor);
    Inherited::Deallocate();
}

void TContextualWindow::SetSize(SInt16 width, SInt16 height)
{
    width_ = width;
    height_ = height;
}

void TContextualWindow::ShowAtPoint(CGPoint point)
{
    WindowRef window = GetWindowRef();
    if (window == nullptr)
        return;
    HideWindow(window);
    Rect bounds{};
    bounds.left = static_cast<SInt16>(std::trunc(point.x));
    bounds.top = static_cast<SInt16>(std::trunc(point.y));
    bounds.right = static_cast<SInt16>(bounds.left + width_);
    bounds.bottom = static_cast<SInt16>(bounds.top + height_);
    SetWindowBounds(window, kWindowContentRgn, &bounds);
    ShowWindow(window);
    SelectWindow(window);
    SetUserFocusWindow(window);
}

OSStatus TContextualWindow::HandleKeys(UInt32 keyCode)
{
    if (keyCode == kReturnKeyCode)
        Dismiss();
    return eventNotHandledErr;
}

void TContextualWindow::Dismiss()
{
    // Return and the loss of focus that closing brings about both ask: the
    // window is released once.
    if (dismissed_)
        return;
    dismissed_ = true;
    WindowRef window = GetWindowRef();
    if (window != nullptr)
        ReleaseWindow(window);
}

OSStatus ContextualWindowEventHandler(EventHandlerCallRef, EventRef event, void* userData)
{
    TContextualWindow* contextual = static_cast<TContextualWindow*>(userData);
    if (!TObject::IsLiveObject(contextual) || !contextual->IsVisible())
        return eventNotHandledErr;
    const UInt32 eventClass = GetEventClass(event);
    const UInt32 kind = GetEventKind(event);
    if (eventClass == kEventClassWindow && kind == kEventWindowFocusRelinquish) {
        contextual->Dismiss();
        return eventNotHandledErr;
    }
    if (eventClass == kEventClassKeyboard && (kind == kEventRawKeyDown || kind == kEventRawKeyRepeat)) {
        UInt32 keyCode = 0;
        GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof keyCode, nullptr, &keyCode);
        return contextual->HandleKeys(keyCode);
    }
    return eventNotHandledErr;
}
