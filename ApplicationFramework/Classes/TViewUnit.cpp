#include "TViewUnit.h"

#include <Units/HIToolbox/HICustomButtons.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <string>

BRINDLET_DEFINE_CLASS(TControlView, TResponder)
BRINDLET_DEFINE_CLASS(TView, TResponder)

// ---- TControlView: the control classes answer these ----

void TControlView::SetPreferences(TPreferenceHandler*) {}

void TControlView::HandlePreferencesChanged() {}

void TControlView::RestoreValue() {}

ControlRef TControlView::GetControlRef() const
{
    return nullptr;
}

// ---- free functions ----

TControlView* HIViewGetObject(ControlRef view)
{
    TObject* object = nullptr;
    if (GetControlProperty(view, kControlPropertyCreatorFramework, kControlPropertyTagObject, sizeof object, nullptr,
                           &object) != noErr ||
        !TObject::IsLiveObject(object) || !object->GetClass().InheritsFrom(TControlView::StaticClass()))
        return nullptr;
    return static_cast<TControlView*>(object);
}

ShortString HIViewGetNameTag(ControlRef view)
{
    return HIViewGetTag(view);
}

Boolean HIViewSubtreeContainsFocus(ControlRef view)
{
    ControlRef focus = nullptr;
    if (!IsValidControlHandle(view) || GetKeyboardFocus(HIViewGetWindow(view), &focus) != noErr)
        return false;
    for (; focus != nullptr; focus = HIViewGetSuperview(focus)) {
        if (focus == view)
            return true;
    }
    return false;
}

namespace {

// The search both finders share: the first view, depth first with the
// start view itself first, whose tag is `tag`.
ControlRef FindTagged(ControlRef view, const ShortString& tag)
{
    if (!IsValidControlHandle(view))
        return nullptr;
    if (HIViewGetNameTag(view) == tag)
        return view;
    UInt16 count = 0;
    CountSubControls(view, &count);
    for (UInt16 index = 1; index <= count; ++index) {
        ControlRef subview = nullptr;
        if (GetIndexedSubControl(view, index, &subview) != noErr)
            continue;
        if (ControlRef found = FindTagged(subview, tag))
            return found;
    }
    return nullptr;
}

}  // namespace

void FindControlWithTag(ControlRef view, const ShortString& tag, TControlView*& control)
{
    if (ControlRef found = FindTagged(view, tag))
        control = HIViewGetObject(found);
}

void FindViewWithTag(ControlRef view, const ShortString& tag, ControlRef& found)
{
    if (ControlRef tagged = FindTagged(view, tag))
        found = tagged;
}

void HIViewUpdatePreferences(ControlRef view, TPreferenceHandler* handler)
{
    if (!IsValidControlHandle(view))
        return;
    if (TControlView* control = HIViewGetObject(view)) {
        control->SetPreferences(handler);
        control->HandlePreferencesChanged();
        control->RestoreValue();
    }
    UInt16 count = 0;
    CountSubControls(view, &count);
    for (UInt16 index = 1; index <= count; ++index) {
        ControlRef subview = nullptr;
        if (GetIndexedSubControl(view, index, &subview) == noErr)
            HIViewUpdatePreferences(subview, handler);
    }
}

OSStatus CommandEventHandler(EventHandlerCallRef, EventRef event, void* userData)
{
    OSStatus result = eventNotHandledErr;
    TView* view = static_cast<TView*>(userData);
    if (GetEventClass(event) != kEventClassCommand || !TObject::IsLiveObject(view))
        return result;
    HICommandExtended command{};
    GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
    view->commandSource_ = nullptr;
    if (command.attributes == kHICommandFromControl)
        view->commandSource_ = command.source.control;
    // The view may go away while it handles the command (a close command).
    view->Retain();
    switch (GetEventKind(event)) {
    case kEventCommandProcess:
        view->ProcessCommand(command, event, result);
        break;
    case kEventCommandUpdateStatus:
        view->UpdateCommandStatus(command, event, result);
        break;
    default:
        break;
    }
    view->Release();
    return result;
}

ClickParameters GetClickParameters(EventRef event)
{
    ClickParameters click{};
    GetEventParameter(event, kEventParamWindowMouseLocation, typeHIPoint, nullptr, sizeof click.point, nullptr,
                      &click.point);
    GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof click.modifiers, nullptr,
                      &click.modifiers);
    GetEventParameter(event, kEventParamMouseButton, typeMouseButton, nullptr, sizeof click.button, nullptr,
                      &click.button);
    GetEventParameter(event, kEventParamClickCount, typeUInt32, nullptr, sizeof click.clickCount, nullptr,
                      &click.clickCount);
    return click;
}

// ---- TView ----

void TView::Initialize()
{
    Inherited::Initialize();
    commandHandlers_ = TWeakPointerArray::Create();
}

void TView::Deallocate()
{
    ReleaseObject(preferences_);
    if (commandHandlers_ != nullptr) {
        for (SInt32 i = 0; i < commandHandlers_->Count(); ++i)
            RemoveEventHandler(static_cast<EventHandlerRef>(commandHandlers_->GetValue(i)));
        ReleaseObject(commandHandlers_);
    }
    Inherited::Deallocate();
}

bool TView::IsWindowObject() const
{
    return IsValidWindowPtr(reinterpret_cast<WindowRef>(viewObject_));
}

ControlRef TView::GetViewRoot()
{
    if (IsWindowObject())
        return HIViewGetRoot(reinterpret_cast<WindowRef>(viewObject_));
    return IsValidControlHandle(viewObject_) ? viewObject_ : nullptr;
}

WindowRef TView::GetViewOwner()
{
    if (IsWindowObject())
        return reinterpret_cast<WindowRef>(viewObject_);
    return IsValidControlHandle(viewObject_) ? HIViewGetWindow(viewObject_) : nullptr;
}

EventTargetRef TView::GetEventTarget()
{
    if (IsWindowObject())
        return GetWindowEventTarget(reinterpret_cast<WindowRef>(viewObject_));
    return IsValidControlHandle(viewObject_) ? GetControlEventTarget(viewObject_) : nullptr;
}

TObject* TView::GetViewWindow()
{
    // A reference constant is an object only when it is a live one: windows
    // of other code keep numbers or their own records there.
    TObject* object = static_cast<TObject*>(GetWRefCon(GetViewOwner()));
    return reinterpret_cast<intptr_t>(object) > 0 && TObject::IsLiveObject(object) ? object : nullptr;
}

ShortString TView::GetNameTag()
{
    if (IsWindowObject())
        return ShortString("(WindowRef)");
    return HIViewGetNameTag(viewObject_);
}

void TView::SetActionTarget(TResponder* target)
{
    actionTarget_ = target;
}

TResponder* TView::GetActionTarget()
{
    return actionTarget_ != nullptr ? actionTarget_ : this;
}

TControlView* TView::FindControl(const ShortString& tag)
{
    TControlView* control = nullptr;
    FindControlWithTag(IsWindowObject() ? GetViewRoot() : viewObject_, tag, control);
    return control;
}

ControlRef TView::FindSubview(const ShortString& tag)
{
    ControlRef found = nullptr;
    FindViewWithTag(IsWindowObject() ? GetViewRoot() : viewObject_, tag, found);
    return found;
}

void TView::SetViewObject(HIObjectRef object)
{
    viewObject_ = object;
}

bool TView::ValidObject()
{
    if (viewObject_ == nullptr)
        return false;
    return IsWindowObject() || (IsValidControlHandle(viewObject_) && HIViewGetWindow(viewObject_) != nullptr);
}

void TView::ReleaseViewObject() {}

void TView::SelectViewObject() {}

bool TView::ContainsFocus()
{
    return !IsWindowObject() && HIViewSubtreeContainsFocus(viewObject_);
}

void TView::SetFocus()
{
    if (IsWindowObject() || !IsValidControlHandle(viewObject_) || ContainsFocus())
        return;
    // The next part, not part 0: part 0 is the request to take the focus
    // away.
    Err = SetKeyboardFocus(GetViewOwner(), viewObject_, kControlFocusNextPart);
}

TControlView* TView::GetFocusedControl()
{
    ControlRef focus = nullptr;
    if (GetKeyboardFocus(GetViewOwner(), &focus) != noErr || focus == nullptr)
        return nullptr;
    return HIViewGetObject(focus);
}

void TView::AdvanceFocus()
{
    if (ControlRef root = GetViewRoot())
        HIViewAdvanceFocus(root, 0);
}

void TView::SetPreferences(TPreferenceHandler* handler)
{
    RetainObject(preferences_, handler);
}

void TView::SetPreferenceKey(const ShortString& key)
{
    preferenceKey_ = ShortString63(key);
}

void TView::UpdateControlPreferences()
{
    HIViewUpdatePreferences(GetViewRoot(), preferences_);
}

void TView::InstallCommandHandler(WindowRef window)
{
    if (window != nullptr)
        InstallCommandHandlerWithTarget(GetWindowEventTarget(window));
}

void TView::InstallCommandHandlerWithTarget(EventTargetRef target)
{
    if (target == nullptr)
        return;
    static const EventTypeSpec kCommandEvents[] = {
        {kEventClassCommand, kEventCommandProcess},
        {kEventClassCommand, kEventCommandUpdateStatus},
    };
    EventHandlerRef handler = nullptr;
    if (InstallEventHandler(target, CommandEventHandler, 2, kCommandEvents, this, &handler) == noErr)
        commandHandlers_->AppendValue(handler);
}

void TView::ProcessCommand(const HICommandExtended&, EventRef, OSStatus& result)
{
    result = eventNotHandledErr;
}

void TView::UpdateCommandStatus(const HICommandExtended&, EventRef, OSStatus&) {}

void TView::ApplyViewStyles(ControlRef view)
{
    HICustomButtonApplyStyles(view);
}

SInt32 TView::CountCommandHandlers() const
{
    return commandHandlers_ != nullptr ? commandHandlers_->Count() : 0;
}
