#include "TCocoaViewUnit.h"

#include <ApplicationFramework/Classes/TEventDispatchUnit.h>
#include <Units/Utilities/CarbonUtilities.h>
#include <Units/Utilities/CocoaUtilities.h>

#include <HIToolbox/HostedViews.h>
#include <Support/Diagnostics.h>

BRINDLET_DEFINE_CLASS(TCocoaView, TView)

namespace {

// The view and every ancestor carry their own visible flag (whether the
// window itself shows does not matter here).
bool ShownWithAncestors(ControlRef view)
{
    if (!IsValidControlHandle(view))
        return false;
    for (ControlRef at = view; at != nullptr; at = HIViewGetSuperview(at)) {
        if (!HIViewIsLatentlyVisible(at))
            return false;
    }
    return true;
}

}  // namespace

TCocoaView* TCocoaView::Create(ControlRef container, const ShortString& nibName)
{
    TCocoaView* object = Allocate();
    object->Initialize();
    NSAutoreleasePool* pool = nullptr;
    OpenPool(pool);
    object->controller_ =
        NSViewController::newWithNibName(NSString::stringWithUTF8String(nibName.ToString().c_str()), nullptr);
    ControlRef cocoaView = nullptr;
    if (NSView* view = object->controller_->view()) {
        // The host widget keeps the view (retained) and the HICocoaView
        // owns the widget.
        if (QWidget* host = view->newHostWidget(); host != nullptr && HICocoaViewCreate(host, 0, &cocoaView) != noErr)
            cocoaView = nullptr;
    }
    object->CreateContainer(container, cocoaView);
    ClosePool(pool);
    return object;
}

void TCocoaView::Initialize()
{
    Inherited::Initialize();
    subviews_ = new std::map<std::string, NSView*>;
}

void TCocoaView::Deallocate()
{
    if (containerHandler_ != nullptr && IsValidControlHandle(container_))
        RemoveEventHandler(containerHandler_);
    containerHandler_ = nullptr;
    if (subviews_ != nullptr) {
        for (const auto& [name, subview] : *subviews_)
            subview->release();
        delete subviews_;
        subviews_ = nullptr;
    }
    if (controller_ != nullptr)
        controller_->release();
    controller_ = nullptr;
    // The Cocoa view goes with its object: left in the root, it would go on
    // showing where the container was.
    if (cocoaView_ != nullptr) {
        if (IsValidControlHandle(cocoaView_))
            DisposeControl(cocoaView_);
        CFRelease(cocoaView_);
        cocoaView_ = nullptr;
    }
    Inherited::Deallocate();
}

// ---- the container ----

void TCocoaView::CreateContainer(ControlRef container, ControlRef cocoaView)
{
    container_ = container;
    SetViewObject(container);
    cocoaView_ = cocoaView;
    // A container already in a window tells the root at once: its Cocoa
    // view then shows, or waits parked, as the container is.
    if (root_ == nullptr && IsValidControlHandle(container))
        root_ = HIViewGetWindow(container);
    if (root_ != nullptr)
        Embed();
    if (!IsValidControlHandle(container))
        return;
    static const EventTypeSpec kContainerEvents[] = {
        {kEventClassControl, kEventControlVisibilityChanged},
        {kEventClassControl, kEventControlBoundsChanged},
        {kEventClassControl, kEventControlDraw},
        {kEventClassControl, kEventControlOwningWindowChanged},
    };
    InstallEventHandler(GetControlEventTarget(container), ContainerEventHandler, std::size(kContainerEvents),
                        kContainerEvents, this, &containerHandler_);
}

void TCocoaView::SetRoot(WindowRef window)
{
    root_ = window;
    Embed();
}

void TCocoaView::Embed()
{
    if (!IsValidControlHandle(cocoaView_) || !IsValidWindowPtr(root_))
        return;
    ControlRef root = HIViewGetRoot(root_);
    if (HIViewGetSuperview(cocoaView_) != root)
        HIViewAddSubview(root, cocoaView_);
    SynchBounds();
    FollowContainer();
}

void TCocoaView::SynchBounds()
{
    if (root_ == nullptr)
        Diagnostics::WriteLine("Warning: TCocoaView has not been embedded in content view.");
    if (!IsValidControlHandle(container_) || !IsValidControlHandle(cocoaView_))
        return;
    HIRect bounds = CGRectZero;
    HIViewGetBounds(container_, &bounds);
    HIViewConvertRect(&bounds, container_, root_ != nullptr ? HIViewGetRoot(root_) : nullptr);
    HIViewSetFrame(cocoaView_, &bounds);
}

void TCocoaView::Park()
{
    if (!IsValidControlHandle(cocoaView_))
        return;
    HIViewSetVisible(cocoaView_, false);
    if (HIViewGetSuperview(cocoaView_) != nullptr)
        HIViewSetZOrder(cocoaView_, kHIViewZOrderBelow, nullptr);
    const HIRect parked = CGRectMake(kCocoaViewParkedOrigin, kCocoaViewParkedOrigin, 0, 0);
    HIViewSetFrame(cocoaView_, &parked);
}

void TCocoaView::Show()
{
    if (!IsValidControlHandle(cocoaView_))
        return;
    HIViewSetVisible(cocoaView_, true);
    if (HIViewGetSuperview(cocoaView_) != nullptr)
        HIViewSetZOrder(cocoaView_, kHIViewZOrderAbove, nullptr);
    HIViewSetNeedsDisplay(container_, true);
    SynchBounds();
}

void TCocoaView::FollowContainer()
{
    if (HIViewGetSuperview(container_) == nullptr || !ShownWithAncestors(container_))
        Park();
    else
        Show();
}

OSStatus ContainerEventHandler(EventHandlerCallRef, EventRef event, void* userData)
{
    TCocoaView* object = static_cast<TCocoaView*>(userData);
    if (GetEventClass(event) != kEventClassControl || !TObject::IsLiveObject(object))
        return eventNotHandledErr;
    ControlRef container = object->container_;
    const UInt32 kind = GetEventKind(event);
    // The Cocoa view lives in the root of the container's window: the first
    // sign of the container in a window (or in another one: a pane moved
    // with its controls) embeds it there.
    if (WindowRef window = HIViewGetWindow(container);
        window != nullptr && (kind == kEventControlVisibilityChanged || window != object->root_)) {
        object->SetRoot(window);
        return eventNotHandledErr;
    }
    if (HIViewGetSuperview(container) == nullptr) {
        object->Park();
        return eventNotHandledErr;
    }
    switch (kind) {
    case kEventControlBoundsChanged:
    case kEventControlDraw:
        if (ShownWithAncestors(container) && object->root_ != nullptr)
            object->SynchBounds();
        break;
    case kEventControlVisibilityChanged:
        object->FollowContainer();
        break;
    default:
        break;
    }
    return eventNotHandledErr;
}

// ---- focus ----

bool TCocoaView::ContainsFocus()
{
    ControlRef focus = nullptr;
    if (root_ == nullptr || GetKeyboardFocus(root_, &focus) != noErr)
        return false;
    return focus != nullptr && focus == cocoaView_;
}

void TCocoaView::SetFocus()
{
    if (ContainsFocus())
        return;
    Err = SetKeyboardFocus(root_, cocoaView_, kControlFocusNextPart);
}

// ---- the Cocoa side ----

ControlRef TCocoaView::GetCocoaView()
{
    return cocoaView_;
}

NSView* TCocoaView::GetNSView()
{
    // The HICocoaView shows the controller's view: without one, no view.
    return cocoaView_ != nullptr && controller_ != nullptr ? controller_->view() : nullptr;
}

NSView* TCocoaView::GetSubView(NSInteger tag)
{
    NSView* view = GetNSView();
    return view != nullptr ? view->viewWithTag(tag) : nullptr;
}

NSView* TCocoaView::GetSubView(const ShortString& name)
{
    const auto found = subviews_->find(name.ToString());
    return found != subviews_->end() ? found->second : nullptr;
}

NSView* TCocoaView::RegisterView(NSInteger tag, const ShortString& name)
{
    NSView* subview = GetSubView(tag);
    NSView*& slot = (*subviews_)[name.ToString()];
    if (subview != nullptr)
        subview->retain();
    if (slot != nullptr)
        slot->release();
    slot = subview;
    if (subview == nullptr)
        subviews_->erase(name.ToString());
    return subview;
}

void TCocoaView::RegisterAction(NSInteger tag, const ShortString& name, TObject* target)
{
    NSView* subview = RegisterView(tag, name);
    TEventDispatch::RegisterAction(dynamic_cast<NSControl*>(subview), name, target);
}

void TCocoaView::SetTarget(EventTargetRef target)
{
    target_ = target;
}
