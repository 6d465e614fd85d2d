#include "TEventHandlerUnit.h"

#include <HIToolbox/HotKeys.h>
#include <HIToolbox/MacWindows.h>
#include <Support/Diagnostics.h>

#include <string>

BRINDLET_DEFINE_CLASS(TEventHandler, TObject)
BRINDLET_DEFINE_CLASS(THotKeyHandler, TEventHandler)
BRINDLET_DEFINE_CLASS(TMouseHandler, TEventHandler)

// ---- TEventHandler ----

TEventHandler* TEventHandler::CreateWithWindow(WindowRef window)
{
    return CreateOn<TEventHandler>(WindowTarget(window));
}

EventTargetRef TEventHandler::WindowTarget(WindowRef window)
{
    return window ? GetWindowEventTarget(window) : nullptr;
}

void TEventHandler::Initialize()
{
    Inherited::Initialize();
    EventHandlerRef installed = nullptr;
    const OSStatus status = InstallEventHandler(target_, HandleAllEvents, 0, nullptr, this, &installed);
    if (status != noErr) {
        Diagnostics::WriteLine("Warning: TEventHandler failed to install! " + std::to_string(status));
        return;
    }
    handlerRef_ = installed;
}

void TEventHandler::Deallocate()
{
    // The target may have gone first (a window disposed before its
    // handler's object); its handlers went with it then.
    if (handlerRef_ && GetEventHandlerTarget(handlerRef_) == target_)
        RemoveEventHandler(handlerRef_);
    handlerRef_ = nullptr;
    Inherited::Deallocate();
}

void TEventHandler::AppendEvent(UInt32 eventClass, UInt32 eventKind)
{
    if (!handlerRef_)
        return;
    const EventTypeSpec type = {eventClass, eventKind};
    AddEventTypesToHandler(handlerRef_, 1, &type);
}

SInt32 TEventHandler::SetParameter(UInt32 name, UInt32 type, UInt32 size, const void* data)
{
    if (!currentEvent_)
        return paramErr;
    return SetEventParameter(currentEvent_, name, type, size, data);
}

SInt32 TEventHandler::GetParameter(UInt32 name, UInt32 type, UInt32 size, void* data)
{
    if (!currentEvent_)
        return paramErr;
    return GetEventParameter(currentEvent_, name, type, nullptr, size, nullptr, data);
}

SInt32 TEventHandler::InheritEventHandler()
{
    if (!callRef_ || !currentEvent_)
        return paramErr;
    return CallNextEventHandler(callRef_, currentEvent_);
}

void TEventHandler::HandleEvent(EventRef, UInt32, UInt32, SInt32&) {}

OSStatus TEventHandler::HandleAllEvents(EventHandlerCallRef callRef, EventRef event, void* userData)
{
    auto* handler = static_cast<TEventHandler*>(userData);
    if (!handler || !event)
        return eventNotHandledErr;
    // The object stays alive until its dispatch is over, even when what it
    // does releases it; and a dispatch nested inside this one (an event sent
    // to the same target from HandleEvent) hands the outer event back when
    // it returns, so the outer handling reads and passes on its own event.
    handler->Retain();
    const EventHandlerCallRef outerCallRef = handler->callRef_;
    const EventRef outerEvent = handler->currentEvent_;
    handler->callRef_ = callRef;
    handler->currentEvent_ = event;
    SInt32 result = eventNotHandledErr;
    try {
        handler->HandleEvent(event, GetEventClass(event), GetEventKind(event), result);
    } catch (...) {
        Diagnostics::ReportException(std::string(handler->ClassName()) + ".HandleEvent");
        result = eventNotHandledErr;
    }
    handler->callRef_ = outerCallRef;
    handler->currentEvent_ = outerEvent;
    handler->Release();
    return result;
}

// ---- THotKeyHandler ----

void THotKeyHandler::Initialize()
{
    Inherited::Initialize();
    AppendEvent(kEventClassKeyboard, kEventHotKeyPressed);
}

void THotKeyHandler::Deallocate()
{
    for (UInt32 id = 0; id <= kMaxHotKeyID; ++id)
        UnregisterHotKey(id);
    Inherited::Deallocate();
}

SInt32 THotKeyHandler::RegisterHotKey(UInt32 keyCode, UInt32 modifiers, UInt32 id)
{
    if (id > kMaxHotKeyID)
        return paramErr;
    const EventHotKeyID hotKeyID = {kHotKeySignature, id};
    EventHotKeyRef registered = nullptr;
    const OSStatus status = RegisterEventHotKey(keyCode, modifiers, hotKeyID, GetTarget(), 0, &registered);
    if (status != noErr)
        return status;
    // The slot's earlier key would otherwise stay registered with nothing
    // left to give it back by.
    if (hotKeys_[id])
        UnregisterEventHotKey(hotKeys_[id]);
    hotKeys_[id] = registered;
    return noErr;
}

void THotKeyHandler::UnregisterHotKey(UInt32 id)
{
    if (id > kMaxHotKeyID || !hotKeys_[id])
        return;
    EventHotKeyRef hotKey = hotKeys_[id];
    hotKeys_[id] = nullptr;
    UnregisterEventHotKey(hotKey);
}

void THotKeyHandler::EventHotKeyPressed(EventHotKeyID, SInt32&) {}

void THotKeyHandler::HandleEvent(EventRef, UInt32 eventClass, UInt32 eventKind, SInt32& result)
{
    if (eventClass != kEventClassKeyboard || eventKind != kEventHotKeyPressed)
        return;
    EventHotKeyID hotKeyID = {0, 0};
    GetParameter(kEventParamDirectObject, typeEventHotKeyID, sizeof hotKeyID, &hotKeyID);
    EventHotKeyPressed(hotKeyID, result);
}

// ---- TMouseHandler ----

void TMouseHandler::Initialize()
{
    Inherited::Initialize();
    for (UInt32 kind : {kEventMouseUp, kEventMouseDown, kEventMouseDragged, kEventMouseWheelMoved, kEventMouseMoved})
        AppendEvent(kEventClassMouse, kind);
}

void TMouseHandler::EventMouseUp(UInt16, UInt32, CGPoint, SInt32&) {}
void TMouseHandler::EventMouseDown(UInt16, UInt32, CGPoint, SInt32&) {}
void TMouseHandler::EventMouseDragged(CGPoint, SInt32&) {}
void TMouseHandler::EventMouseMoved(CGPoint, SInt32&) {}
void TMouseHandler::EventMouseWheelMoved(CGPoint, SInt32, UInt16, SInt32&) {}

void TMouseHandler::HandleEvent(EventRef, UInt32 eventClass, UInt32 eventKind, SInt32& result)
{
    if (eventClass != kEventClassMouse)
        return;
    HIPoint point = {0, 0};
    GetParameter(kEventParamWindowMouseLocation, typeHIPoint, sizeof point, &point);
    switch (eventKind) {
    case kEventMouseDown:
    case kEventMouseUp: {
        EventMouseButton button = 0;
        UInt32 clickCount = 0;
        GetParameter(kEventParamMouseButton, typeMouseButton, sizeof button, &button);
        GetParameter(kEventParamClickCount, typeUInt32, sizeof clickCount, &clickCount);
        if (eventKind == kEventMouseDown)
            EventMouseDown(button, clickCount, point, result);
        else
            EventMouseUp(button, clickCount, point, result);
        break;
    }
    case kEventMouseMoved:
        EventMouseMoved(point, result);
        break;
    case kEventMouseDragged:
        EventMouseDragged(point, result);
        break;
    case kEventMouseWheelMoved: {
        EventMouseWheelAxis axis = 0;
        SInt32 delta = 0;
        GetParameter(kEventParamMouseWheelAxis, typeMouseWheelAxis, sizeof axis, &axis);
        GetParameter(kEventParamMouseWheelDelta, typeSInt32, sizeof delta, &delta);
        EventMouseWheelMoved(point, delta, axis, result);
        break;
    }
    default:
        break;
    }
}
