// One Carbon event handler as an object.
//
// A TEventHandler installs one handler procedure on an event target, with no
// event types at first; the object then asks for the kinds it wants one by
// one (AppendEvent), and every event of those kinds reaches HandleEvent with
// its class and kind decoded and the status preset to eventNotHandledErr
// (-9874). Leaving the status there passes the event on to the next handler
// of the chain; any other status ends its routing.
//
// The event being handled and its call reference are kept in the object only
// while HandleEvent runs, so that SetParameter, GetParameter and
// InheritEventHandler act on it. A handler that sends another event to its
// own target while it handles one gets its own event back once that
// dispatch has returned.
//
// THotKeyHandler reports global hot keys by id (0 to 32); TMouseHandler
// decodes a window's five mouse events into typed hooks.
#pragma once

#include <Units/Classes/TObjectUnit.h>

#include <CarbonCore/CarbonEvents.h>

class TEventHandler : public TObject {
    BRINDLET_CLASS(TEventHandler, TObject)

public:
    // A handler on `target` (nil or a target that is gone: the handler is
    // not installed, a warning says so, and the object receives nothing).
    static TEventHandler* Create(EventTargetRef target) { return CreateOn<TEventHandler>(target); }
    // The same on the window's event target.
    static TEventHandler* CreateWithWindow(WindowRef window);

    // Installs the handler, with no event types yet.
    void Initialize() override;
    // Removes the handler, then the inherited deallocation.
    void Deallocate() override;

    // Asks for one more event type; nothing when the handler is not installed.
    virtual void AppendEvent(UInt32 eventClass, UInt32 eventKind);
    // Set or read a parameter of the event being handled; the OSStatus of
    // the platform call (paramErr outside HandleEvent).
    virtual SInt32 SetParameter(UInt32 name, UInt32 type, UInt32 size, const void* data);
    virtual SInt32 GetParameter(UInt32 name, UInt32 type, UInt32 size, void* data);
    // Runs the rest of the chain for the event being handled and answers
    // its status (paramErr outside HandleEvent).
    virtual SInt32 InheritEventHandler();
    // Every event of an appended kind. `result` comes in as
    // eventNotHandledErr; nothing is done with it here.
    virtual void HandleEvent(EventRef event, UInt32 eventClass, UInt32 eventKind, SInt32& result);

    EventTargetRef GetTarget() const { return target_; }
    // Nil when the installation failed.
    EventHandlerRef GetHandlerRef() const { return handlerRef_; }
    // The event being handled and its call reference: nil outside HandleEvent.
    EventRef GetCurrentEvent() const { return currentEvent_; }
    EventHandlerCallRef GetCallRef() const { return callRef_; }

    // The one handler procedure of every TEventHandler; userData is the object.
    static OSStatus HandleAllEvents(EventHandlerCallRef callRef, EventRef event, void* userData);

protected:
    TEventHandler() = default;

    // A new handler of class T on `target`, initialised: what each
    // subclass's Create builds on.
    template <typename T>
    static T* CreateOn(EventTargetRef target)
    {
        T* handler = AllocateInstance<T>();
        handler->SetTargetBeforeInstalling(target);
        handler->Initialize();
        return handler;
    }
    // Where Initialize installs the handler; only before it runs.
    void SetTargetBeforeInstalling(EventTargetRef target) { target_ = target; }
    // The window's event target (nil for nil).
    static EventTargetRef WindowTarget(WindowRef window);

private:
    EventHandlerCallRef callRef_ = nullptr;
    EventRef currentEvent_ = nullptr;
    EventTargetRef target_ = nullptr;
    EventHandlerRef handlerRef_ = nullptr;
};

// Global hot keys of the application, reported by id. Ids run from 0 to 32.
class THotKeyHandler : public TEventHandler {
    BRINDLET_CLASS(THotKeyHandler, TEventHandler)

public:
    static constexpr UInt32 kHotKeySignature = FourCC("thtk");
    static constexpr UInt32 kMaxHotKeyID = 32;

    // A handler on the application's event target.
    static THotKeyHandler* Create() { return CreateOn<THotKeyHandler>(GetApplicationEventTarget()); }

    // Asks for hot-key presses.
    void Initialize() override;
    // Gives back every hot key still registered, then the inherited deallocation.
    void Deallocate() override;

    // Registers the combination under `id` (signature 'thtk'). paramErr for
    // an id above 32 (nothing is registered); otherwise the status of the
    // registration. When it succeeds, a key registered under the id before
    // is given back, so the id has one key at a time; when it fails, the
    // id keeps the key it had.
    virtual SInt32 RegisterHotKey(UInt32 keyCode, UInt32 modifiers, UInt32 id);
    // Gives back the key registered under `id`; nothing for an id above 32
    // or one without a key.
    virtual void UnregisterHotKey(UInt32 id);
    // A press of a hot key of this handler's target; nothing here.
    virtual void EventHotKeyPressed(EventHotKeyID hotKeyID, SInt32& result);

    void HandleEvent(EventRef event, UInt32 eventClass, UInt32 eventKind, SInt32& result) override;

    // The key registered under `id`; nil for none or an id above 32.
    EventHotKeyRef GetHotKeyRef(UInt32 id) const { return id <= kMaxHotKeyID ? hotKeys_[id] : nullptr; }

protected:
    THotKeyHandler() = default;

private:
    EventHotKeyRef hotKeys_[kMaxHotKeyID + 1] = {};
};

// A window's mouse events as typed hooks; points are in window coordinates.
class TMouseHandler : public TEventHandler {
    BRINDLET_CLASS(TMouseHandler, TEventHandler)

public:
    static TMouseHandler* Create(WindowRef window) { return CreateForWindow<TMouseHandler>(window); }

    // Asks for mouse up, down, dragged, wheel moved and moved.
    void Initialize() override;

    WindowRef GetWindow() const { return window_; }

    // The hooks, each doing nothing here.
    virtual void EventMouseUp(UInt16 button, UInt32 clickCount, CGPoint point, SInt32& result);
    virtual void EventMouseDown(UInt16 button, UInt32 clickCount, CGPoint point, SInt32& result);
    virtual void EventMouseDragged(CGPoint point, SInt32& result);
    virtual void EventMouseMoved(CGPoint point, SInt32& result);
    virtual void EventMouseWheelMoved(CGPoint point, SInt32 delta, UInt16 axis, SInt32& result);

    void HandleEvent(EventRef event, UInt32 eventClass, UInt32 eventKind, SInt32& result) override;

protected:
    TMouseHandler() = default;

    // A new mouse handler of class T on the window's target, initialised.
    template <typename T>
    static T* CreateForWindow(WindowRef window)
    {
        T* handler = AllocateInstance<T>();
        handler->window_ = window;
        handler->SetTargetBeforeInstalling(WindowTarget(window));
        handler->Initialize();
        return handler;
    }

private:
    WindowRef window_ = nullptr;
};
