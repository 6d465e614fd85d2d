// Controls: the program's object for one HIView control of a window or
// pane. A window or pane walks its views once (HIViewCreateSubControls) and
// gives each a control object of the class its nib names, or of the class
// its kind calls for. The object receives the view's events through one
// handler and turns them into hooks, runs its action when the user
// operates it, draws it when a subclass draws its own content, and keeps
// its value in a preference handler: every change is saved and posted as
// "TControl.valueChanged".
#pragma once

#include <ApplicationFramework/Classes/TViewUnit.h>
#include <Units/Classes/TArchiverUnit.h>
#include <Units/Classes/TDictionaryUnit.h>

#include <HIToolbox/HITheme.h>

class TDrag;

// The text of a key event: up to eight UTF-16 units and their byte count.
struct UnicodeText {
    UniChar text[8];
    UInt16 byteCount;
};

// The class a control view gets; nil when none.
typedef const ClassInfo* TControlClass;

class TControl : public TControlView {
    BRINDLET_CLASS(TControl, TControlView)

public:
    // A control of this class (or of `controlClass`, which must be TControl
    // or below it) for the view, owned by `owner` (may be nil). The view
    // keeps the object: it is released when the view goes.
    static TControl* Create(ControlRef view, TView* owner);
    static TControl* CreateWithClass(TControlClass controlClass, ControlRef view, TView* owner);

    void Initialize() override;
    void Deallocate() override;

    // The control operations of TControlView.
    virtual void SetValue(SInt32 value);
    virtual void SetText(CFTypeRef text);
    virtual void SetVisible(bool visible);
    virtual void SetActivated(bool active);
    virtual void SetEnabled(bool enabled);
    virtual void SetMinimum(SInt32 minimum);
    virtual void SetMaximum(SInt32 maximum);
    virtual void SetDrawingEnabled(bool enabled);
    virtual void SetImage(CGImageRef image);
    virtual void SetSize(UInt16 size);
    virtual bool IsVisible();
    virtual bool IsActive();
    virtual bool IsEnabled();
    virtual bool IsDrawingEnabled();
    virtual bool IsHilited();
    virtual bool IsFocused();
    virtual SInt32 GetValue();
    virtual ShortString GetText();
    virtual SInt32 GetMinimum();
    virtual SInt32 GetMaximum();
    virtual CGImageRef GetImage();
    virtual WindowRef GetWindow();
    virtual CGRect GetBounds();
    virtual CGRect GetFrame();
    virtual CGPoint GetMouseLocation();
    virtual UInt16 GetSize();
    virtual ControlKind GetKind();
    // A new reference to the view's text (the caller releases it); nil
    // when it has none.
    virtual CFStringRef CopyText();
    virtual void SetFocus();
    virtual bool ContainsFocus();
    virtual void SaveValue();
    void RestoreValue() override;
    void SetPreferences(TPreferenceHandler* handler) override;
    virtual TPreferenceHandler* GetPreferences();
    void HandlePreferencesChanged() override;
    ControlRef GetControlRef() const override { return view_; }

    // What TControl adds.
    virtual TControlView* FindControl(const ShortString& name);
    virtual void SetNameTag(const ShortString& name);
    virtual ShortString GetNameTag();
    virtual ShortString GetActionTag();
    virtual void SetPreferenceKey(const ShortString& key);
    virtual void SetFrame(const CGRect& frame);
    virtual void SetValueChangedAction(const ResponderActionInfo& info);
    virtual ControlRef GetHIView();
    virtual ShortString GetPreferenceKey();
    virtual ControlPartCode GetHilite();
    virtual TControlView* GetParent();
    virtual CGPoint ConvertPointFromWindow(CGPoint point);
    virtual CGPoint ConvertPointFromScreen(CGPoint point);
    virtual CGPoint ConvertPointToWindow(CGPoint point);
    virtual CGPoint ConvertPointToScreen(CGPoint point);
    virtual CGRect ConvertRectFromWindow(CGRect rect);
    virtual CGRect ConvertRectFromScreen(CGRect rect);
    virtual CGRect ConvertRectToWindow(CGRect rect);
    virtual CGRect ConvertRectToScreen(CGRect rect);
    virtual ShortString GetStringProperty(OSType tag);
    virtual SInt32 GetIntegerProperty(OSType tag);
    // The property into `buffer` of `size` bytes; false (buffer untouched)
    // when the view has none of that size or less.
    virtual bool GetProperty(OSType tag, void* buffer, UInt32 size);
    virtual void SetProperty(OSType tag, const void* data, UInt32 size);
    // Control data of part 0; failures are reported on one line.
    virtual bool GetData(OSType tag, void* buffer, UInt32 size);
    virtual void SetData(OSType tag, const void* data, UInt32 size);
    virtual void UpdatePreferences();
    virtual void RestorePreferences(TArchiver* archiver, const ShortString& key);
    // A new value object (the caller releases it): here the value as a
    // 32-bit number.
    virtual CFTypeRef CopyValue();
    virtual void PostValueChangedNotification();
    virtual SInt32 ConstrainValue(UInt32 value);
    virtual void SetNeedsDisplay();
    virtual void SetNeedsDisplay(bool needsDisplay);
    virtual void SetNeedsDisplayInRect(CGRect rect);
    // Image sets of the image-drawn kinds; nothing here.
    virtual void SetImages(const ShortString& folder, const ShortString& extension);

    // Event hooks: each leaves `result` as it is (the event unhandled).
    virtual void EventMouseUp(CGPoint point, OSStatus& result);
    virtual void EventMouseDown(CGPoint point, OSStatus& result);
    virtual void EventMouseDragged(CGPoint point, OSStatus& result);
    virtual void EventMouseMoved(CGPoint point, OSStatus& result);
    virtual void EventMouseWheelMoved(CGPoint point, SInt32 delta, OSStatus& result);
    virtual void EventMouseEntered(CGPoint point, OSStatus& result);
    virtual void EventMouseExited(CGPoint point, OSStatus& result);
    // Drawing routines for subclasses: the image centred in `rect`, the
    // text centred on one line with a shadow.
    virtual void DrawText(CGContextRef context, CGRect rect);
    virtual void DrawImage(CGContextRef context, CGRect rect);
    // The control's own drawing (part 0 of a draw event).
    virtual void DrawControl(CGContextRef context, CGRect bounds, OSStatus& result);
    // May change the shadow and text colours (red, green, blue, alpha) and
    // the text style before DrawText draws.
    virtual void ChangeTextInfo(CGFloat (&shadow)[4], CGFloat (&text)[4], HIThemeTextInfo& info);
    // The rest of the handler chain for the event being handled.
    virtual OSStatus CallNextHandler();
    virtual EventRef GetCurrentEvent();
    virtual void EventInitialize(OSStatus& result);
    virtual void EventKeyDown(UInt32 code, const UnicodeText& text, UInt32 modifiers, OSStatus& result);
    virtual void EventKeyUp(UInt32 code, const UnicodeText& text, UInt32 modifiers, OSStatus& result);
    virtual void EventKeyDown(UInt32 code, char character, OSStatus& result);
    virtual void EventKeyUp(UInt32 code, char character, OSStatus& result);
    virtual void EventKeyModifiersChanged(UInt32 modifiers, OSStatus& result);
    virtual void EventTrackingAreaExited(OSStatus& result);
    virtual void EventTrackingAreaEntered(OSStatus& result);
    virtual void EventDragEnter(DragRef drag, OSStatus& result);
    virtual void EventDragWithin(DragRef drag, OSStatus& result);
    virtual void EventDragLeave(DragRef drag, OSStatus& result);
    virtual void EventDragReceive(DragRef drag, OSStatus& result);
    virtual void EventBoundsChanged(CGRect bounds, OSStatus& result);
    virtual void EventVisibilityChanged(bool visible, OSStatus& result);
    virtual void EventEnabledStateChanged(bool enabled, OSStatus& result);
    virtual void EventHit(ControlPartCode part, bool& flag, OSStatus& result);
    virtual void EventHitDeep(ControlPartCode part, OSStatus& result);
    // The part under the point; 0 here.
    virtual ControlPartCode EventHitTest(CGRect bounds, CGPoint point, OSStatus& result);
    virtual void EventHiliteChanged(OSStatus& result);
    virtual void EventTrack(CGPoint point, OSStatus& result);
    virtual void EventActivationChanged(bool active, OSStatus& result);
    virtual void EventHandleFocus(OSStatus& result);
    virtual void EventClick(CGPoint point, UInt16 clickCount, UInt16 button, UInt32 modifiers, OSStatus& result);
    virtual void EventOwnerChanged(bool flag, WindowRef window, OSStatus& result);
    virtual void EventClickActivation(OSStatus& result);
    virtual bool ReceiveDrag(TDrag* drag);
    virtual bool AcceptDrag(TDrag* drag);
    virtual bool AddDragItem(TDrag* drag);
    // Fills the parameters of an action or notification: "control",
    // "owner", "tag", "from", "value", "preferences", "key".
    virtual void ApplyActionParameters(TTypeDictionary* parameters);
    // Saves, posts "TControl.valueChanged", runs the value-changed action.
    virtual void ValueChanged();

    TView* GetOwner() const { return owner_; }

protected:
    TControl() = default;

    // Runs the responder's action, or else the method named by the action
    // tag with the action parameters ("user" first for a hit). A kind that
    // runs its own action from ValueChanged answers value changes itself.
    virtual void RunAction(bool userHit);
    // Takes the object off its view: the view's events no longer reach it
    // and the view no longer names it (a new object is taking the view).
    void DetachFromView();
    // The text field and text input events of the view; the text kinds
    // answer them, a plain control leaves them unhandled.
    virtual void HandleTextEvent(EventRef event, UInt32 eventClass, UInt32 eventKind, OSStatus& result);

private:
    friend OSStatus ControlEventHandler(EventHandlerCallRef, EventRef, void*);

    void Construct(ControlRef view, TView* owner);

    ControlRef view_ = nullptr;
    TPreferenceHandler* preferences_ = nullptr;
    CGImageRef image_ = nullptr;
    EventHandlerCallRef currentCall_ = nullptr;
    EventRef currentEvent_ = nullptr;
    CGPoint mouseLocation_ = {0, 0};
    EventHandlerRef handler_ = nullptr;
    TView* owner_ = nullptr;
    OSType propertyCreator_ = 0;
    ShortString preferenceKey_;
    ResponderActionInfo valueChangedAction_;
};

// The class tag, action tag and image tag of a view ('view' properties
// 'clas', 'amsg', 'img '); empty when absent (the status in Err).
ShortString HIViewGetClassTag(ControlRef view);
ShortString HIViewGetActionTag(ControlRef view);
ShortString HIViewGetImageTag(ControlRef view);
// The class a view gets: the registered class its class tag names (nil for
// an unknown name), else the class of its kind (TControl for a kind no
// class was registered for).
TControlClass HIViewGetClass(ControlRef view);
// The class the views of a kind get (the control kinds register theirs).
void HIViewRegisterKindClass(OSType kind, const ClassInfo& controlClass);
// Gives the view and every view below it that has no control object yet
// one of its class, parents first, all owned by `owner`.
void HIViewCreateSubControls(ControlRef view, TView* owner);
// The one handler of every control.
OSStatus ControlEventHandler(EventHandlerCallRef callRef, EventRef event, void* control);

inline constexpr OSType kControlPropertyTagClass = FourCC("clas");
inline constexpr OSType kControlPropertyTagAction = FourCC("amsg");
inline constexpr OSType kControlPropertyTagImage = FourCC("img ");
inline constexpr OSType kControlPropertyTagNib = FourCC("nib ");
