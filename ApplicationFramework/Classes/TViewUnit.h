// Views: the common base of the framework objects that wrap a window or an
// HIView. A view answers what differs between the two (its root view, its
// window, its event target), finds the framework controls below it by name
// tag, moves the keyboard focus, carries the preference handler and key its
// controls save their values under, and installs the command handlers that
// bring menu and control commands to ProcessCommand / UpdateCommandStatus.
#pragma once

#include <Units/Classes/TArrayUnit.h>
#include <Units/Classes/TPreferencesUnit.h>
#include <Units/Classes/TResponderUnit.h>

#include <CarbonCore/CarbonEvents.h>
#include <HIToolbox/HIView.h>
#include <HIToolbox/MacWindows.h>

#include <cstring>

// The framework object of a control. Views answer controls through this
// base without knowing the control classes; the control classes fill in
// every operation (here each does nothing).
class TControlView : public TResponder {
    BRINDLET_CLASS(TControlView, TResponder)

public:
    // Binds the control to the handler its value is saved in.
    virtual void SetPreferences(TPreferenceHandler* handler);
    // Called after the handler changed, before the value is restored.
    virtual void HandlePreferencesChanged();
    // Reads the control's value back from its preferences.
    virtual void RestoreValue();
    // The HIView the control wraps.
    virtual ControlRef GetControlRef() const;

protected:
    TControlView() = default;
};

class TView : public TResponder {
    BRINDLET_CLASS(TView, TResponder)

public:
    static TView* Create() { return CreateInstance<TView>(); }

    void Initialize() override;
    void Deallocate() override;

    // The root HIView: the window's root for a window, the view itself for
    // an HIView. Nil without a view object.
    virtual ControlRef GetViewRoot();
    // The window: the window itself, or the HIView's window.
    virtual WindowRef GetViewOwner();
    virtual EventTargetRef GetEventTarget();
    // The framework object of the owner window (its reference constant).
    virtual TObject* GetViewWindow();
    // "(WindowRef)" for a window; the HIView's name tag otherwise.
    virtual ShortString GetNameTag();
    virtual void SetActionTarget(TResponder* target);
    // Where control actions go: the action target, or the view itself.
    virtual TResponder* GetActionTarget();
    // The control object / HIView carrying the tag, depth first (searching
    // a window from its root); nil when none.
    virtual TControlView* FindControl(const ShortString& tag);
    virtual ControlRef FindSubview(const ShortString& tag);
    virtual void SetViewObject(HIObjectRef object);
    HIObjectRef GetViewObject() const { return viewObject_; }
    // The view object is a live window, or a live HIView inside a window.
    virtual bool ValidObject();
    virtual void ReleaseViewObject();
    virtual void SelectViewObject();
    virtual bool ContainsFocus();
    virtual void SetFocus();
    virtual TControlView* GetFocusedControl();
    virtual void AdvanceFocus();
    // Retains the handler, releasing the previous one.
    virtual void SetPreferences(TPreferenceHandler* handler);
    TPreferenceHandler* GetPreferences() const { return preferences_; }
    // At most 63 bytes are kept (cut at a character boundary).
    virtual void SetPreferenceKey(const ShortString& key);
    ShortString GetPreferenceKey() const { return preferenceKey_; }
    virtual void UpdateControlPreferences();
    // Install the command handler on the window's / target's events; a nil
    // window or target installs nothing.
    virtual void InstallCommandHandler(WindowRef window);
    virtual void InstallCommandHandlerWithTarget(EventTargetRef target);
    virtual void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result);
    virtual void UpdateCommandStatus(const HICommandExtended& command, EventRef event, OSStatus& result);
    virtual void ApplyViewStyles(ControlRef view);

    // The control that sent the command being handled; nil for a command
    // from elsewhere. Set anew for every command event.
    ControlRef GetCommandSource() const { return commandSource_; }
    // The number of command handlers installed.
    SInt32 CountCommandHandlers() const;

protected:
    TView() = default;

    // Whether the view object is a window (else an HIView or nothing).
    bool IsWindowObject() const;

private:
    friend OSStatus CommandEventHandler(EventHandlerCallRef, EventRef, void*);

    HIObjectRef viewObject_ = nullptr;
    TPreferenceHandler* preferences_ = nullptr;
    ShortString63 preferenceKey_;
    ControlRef commandSource_ = nullptr;
    TWeakPointerArray* commandHandlers_ = nullptr;
    TResponder* actionTarget_ = nullptr;
};

// The command with its source read as a menu's (both records have one
// layout; the attributes say which source is meant).
inline HICommand AsHICommand(const HICommandExtended& command)
{
    HICommand plain;
    std::memcpy(&plain, &command, sizeof plain);
    return plain;
}

// What a click event of a view carries (absent parameters read as 0).
struct ClickParameters {
    HIPoint point;  // in window coordinates
    UInt32 modifiers;
    EventMouseButton button;
    UInt32 clickCount;
};
ClickParameters GetClickParameters(EventRef event);

// The framework control of an HIView (its ('TCON', 'DATA') property when
// that is a TControlView); nil otherwise.
TControlView* HIViewGetObject(ControlRef view);
// The HIView's name tag (its ('view', 'ntag') property less the final
// zero byte); empty when it has none.
ShortString HIViewGetNameTag(ControlRef view);
// Whether the keyboard focus of the view's window is the view or lies
// inside it.
Boolean HIViewSubtreeContainsFocus(ControlRef view);
// Depth-first search by name tag: the start view first, then its subviews
// in order, each searched before the next. The found value is left alone
// when nothing carries the tag.
void FindControlWithTag(ControlRef view, const ShortString& tag, TControlView*& control);
void FindViewWithTag(ControlRef view, const ShortString& tag, ControlRef& found);
// Binds the start view's control and every control below it to the
// handler, then lets each restore its value.
void HIViewUpdatePreferences(ControlRef view, TPreferenceHandler* handler);
// The command handler the views install.
OSStatus CommandEventHandler(EventHandlerCallRef callRef, EventRef event, void* view);

inline constexpr OSType kControlPropertyCreatorFramework = FourCC("TCON");
inline constexpr OSType kControlPropertyTagObject = FourCC("DATA");
inline constexpr OSType kViewPropertyCreator = FourCC("view");
inline constexpr OSType kViewPropertyTagName = FourCC("ntag");
