#include "TControlUnit.h"

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <HIToolbox/HostedViews.h>
#include <Support/Diagnostics.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

BRINDLET_DEFINE_CLASS(TControl, TControlView)

namespace {

constexpr OSType kViewCreator = FourCC("view");

// The classes the control kinds registered for the views of their kind.
std::map<OSType, const ClassInfo*>& KindClasses()
{
    static auto* const classes = new std::map<OSType, const ClassInfo*>;
    return *classes;
}

// A string property of a view, less its terminating zero; the status in Err.
ShortString ReadStringProperty(ControlRef view, OSType creator, OSType tag)
{
    ByteCount size = 0;
    Err = GetControlPropertySize(view, creator, tag, &size);
    if (Err != noErr || size == 0)
        return ShortString();
    std::string bytes(size, '\0');
    Err = GetControlProperty(view, creator, tag, size, &size, bytes.data());
    if (Err != noErr)
        return ShortString();
    bytes.resize(size - 1);
    return ShortString(bytes);
}

const EventTypeSpec kControlEvents[] = {
    {kEventClassControl, kEventControlDispose},
    {kEventClassControl, kEventControlDraw},
    {kEventClassControl, kEventControlEnabledStateChanged},
    {kEventClassControl, kEventControlHit},
    {kEventClassControl, kEventControlDragEnter},
    {kEventClassControl, kEventControlDragWithin},
    {kEventClassControl, kEventControlDragLeave},
    {kEventClassControl, kEventControlDragReceive},
    {kEventClassControl, kEventControlBoundsChanged},
    {kEventClassControl, kEventControlVisibilityChanged},
    {kEventClassControl, 161},  // enabled state changed, as the views report it
    {kEventClassControl, kEventControlValueFieldChanged},
    {kEventClassControl, kEventControlOwningWindowChanged},
    {kEventClassControl, kEventControlActivate},
    {kEventClassControl, kEventControlDeactivate},
    {kEventClassControl, kEventControlTrackingAreaEntered},
    {kEventClassControl, kEventControlTrackingAreaExited},
    {kEventClassControl, kEventControlHitTest},
    {kEventClassControl, kEventControlTrack},
    {kEventClassControl, kEventControlClick},
    {kEventClassTextField, kEventTextAccepted},
    {kEventClassTextField, kEventTextDidChange},
    {kEventClassTextInput, kEventTextInputUnicodeText},
    {kEventClassTextInput, kEventTextInputUpdateActiveInputArea},
    {kEventClassTextInput, kEventTextInputUnicodeForKeyEvent},
    {kEventClassKeyboard, kEventRawKeyDown},
    {kEventClassKeyboard, kEventRawKeyRepeat},
    {kEventClassKeyboard, kEventRawKeyUp},
    {kEventClassKeyboard, kEventRawKeyModifiersChanged},
};

}  // namespace

// ---- tags and classes of views ----

ShortString HIViewGetClassTag(ControlRef view)
{
    return ReadStringProperty(view, kViewCreator, kControlPropertyTagClass);
}

ShortString HIViewGetActionTag(ControlRef view)
{
    return ReadStringProperty(view, kViewCreator, kControlPropertyTagAction);
}

ShortString HIViewGetImageTag(ControlRef view)
{
    return ReadStringProperty(view, kViewCreator, kControlPropertyTagImage);
}

void HIViewRegisterKindClass(OSType kind, const ClassInfo& controlClass)
{
    KindClasses()[kind] = &controlClass;
}

TControlClass HIViewGetClass(ControlRef view)
{
    const ShortString className = HIViewGetClassTag(view);
    if (!className.IsEmpty()) {
        const ClassInfo* found = FindClass(className);
        // A class of the registry that is no control cannot wrap a view.
        return found != nullptr && found->InheritsFrom(TControl::StaticClass()) ? found : nullptr;
    }
    ControlKind kind{};
    GetControlKind(view, &kind);
    const auto registered = KindClasses().find(kind.kind);
    return registered != KindClasses().end() ? registered->second : &TControl::StaticClass();
}

void HIViewCreateSubControls(ControlRef view, TView* owner)
{
    auto give = [owner](ControlRef each) {
        if (HIViewGetObject(each) != nullptr)
            return;
        if (TControlClass controlClass = HIViewGetClass(each))
            TControl::CreateWithClass(controlClass, each, owner);
    };
    if (!IsValidControlHandle(view))
        return;
    give(view);
    UInt16 count = 0;
    CountSubControls(view, &count);
    for (UInt16 index = 1; index <= count; ++index) {
        ControlRef subview = nullptr;
        if (GetIndexedSubControl(view, index, &subview) != noErr)
            continue;
        give(subview);
        UInt16 below = 0;
        if (CountSubControls(subview, &below) == noErr && below > 0)
            HIViewCreateSubControls(subview, owner);
    }
}

// ---- construction ----

TControl* TControl::Create(ControlRef view, TView* owner)
{
    return CreateWithClass(&StaticClass(), view, owner);
}

TControl* TControl::CreateWithClass(TControlClass controlClass, ControlRef view, TView* owner)
{
    if (controlClass == nullptr || !controlClass->InheritsFrom(StaticClass()))
        return nullptr;
    TControl* control = static_cast<TControl*>(controlClass->allocate());
    try {
        control->Construct(view, owner);
    } catch (...) {
        // The half-made object is freed without saving a value it never had.
        if (control->handler_ != nullptr)
            RemoveEventHandler(control->handler_);
        if (IsValidControlHandle(view) && HIViewGetObject(view) == control)
            RemoveControlProperty(view, kControlPropertyCreatorFramework, kControlPropertyTagObject);
        delete control;
        throw;
    }
    return control;
}

void TControl::Construct(ControlRef view, TView* owner)
{
    if (view == nullptr)
        Diagnostics::WriteLine(std::string("Warning: Attempting to create ") + GetClass().name + " with nil view!");
    // One object per view: one made before (the window's walk gives every
    // view a plain object) lets go of the view for this one.
    if (view != nullptr) {
        if (TControlView* previous = HIViewGetObject(view);
            previous != nullptr && previous->GetClass().InheritsFrom(TControl::StaticClass())) {
            TControl* old = static_cast<TControl*>(previous);
            old->DetachFromView();
            old->Release();
        }
    }
    view_ = view;
    owner_ = owner;
    Initialize();
    if (owner != nullptr) {
        SetTarget(owner->GetActionTarget());
        SetPreferences(owner->GetPreferences());
    }
    if (owner != nullptr)
        owner->ApplyViewStyles(view);
    RestoreValue();
    if (view != nullptr)
        InstallEventHandler(GetControlEventTarget(view), ControlEventHandler, std::size(kControlEvents), kControlEvents,
                            this, &handler_);
}

void TControl::Initialize()
{
    Inherited::Initialize();
    propertyCreator_ = kViewCreator;
    const ShortString imageTag = view_ != nullptr ? HIViewGetImageTag(view_) : ShortString();
    if (!imageTag.IsEmpty() && ApplicationImages != nullptr)
        SetImage(static_cast<CGImageRef>(ApplicationImages->GetValue(imageTag)));
    if (view_ != nullptr) {
        TObject* self = this;
        SetControlProperty(view_, kControlPropertyCreatorFramework, kControlPropertyTagObject, sizeof self, &self);
    }
}

void TControl::DetachFromView()
{
    SaveValue();
    if (handler_ != nullptr)
        RemoveEventHandler(handler_);
    handler_ = nullptr;
    if (IsValidControlHandle(view_) && HIViewGetObject(view_) == this)
        RemoveControlProperty(view_, kControlPropertyCreatorFramework, kControlPropertyTagObject);
    view_ = nullptr;
}

void TControl::Deallocate()
{
    SaveValue();
    if (handler_ != nullptr)
        RemoveEventHandler(handler_);
    handler_ = nullptr;
    // The view no longer leads to this object.
    if (IsValidControlHandle(view_) && HIViewGetObject(view_) == this)
        RemoveControlProperty(view_, kControlPropertyCreatorFramework, kControlPropertyTagObject);
    if (image_ != nullptr)
        CGImageRelease(image_);
    image_ = nullptr;
    ReleaseObject(preferences_);
    Inherited::Deallocate();
}

// ---- forwarding to the view ----

void TControl::SetValue(SInt32 value)
{
    SetControl32BitValue(view_, value);
}

SInt32 TControl::GetValue()
{
    return GetControl32BitValue(view_);
}

void TControl::SetMinimum(SInt32 minimum)
{
    SetControl32BitMinimum(view_, minimum);
}

SInt32 TControl::GetMinimum()
{
    return GetControl32BitMinimum(view_);
}

void TControl::SetMaximum(SInt32 maximum)
{
    SetControl32BitMaximum(view_, maximum);
}

SInt32 TControl::GetMaximum()
{
    return GetControl32BitMaximum(view_);
}

void TControl::SetVisible(bool visible)
{
    HIViewSetVisible(view_, visible);
}

bool TControl::IsVisible()
{
    return HIViewIsVisible(view_);
}

void TControl::SetActivated(bool active)
{
    HIViewSetActivated(view_, active);
}

bool TControl::IsActive()
{
    return HIViewIsActive(view_, nullptr);
}

void TControl::SetEnabled(bool enabled)
{
    HIViewSetEnabled(view_, enabled);
}

bool TControl::IsEnabled()
{
    return HIViewIsEnabled(view_, nullptr);
}

void TControl::SetDrawingEnabled(bool enabled)
{
    HIViewSetDrawingEnabled(view_, enabled);
}

bool TControl::IsDrawingEnabled()
{
    return HIViewIsDrawingEnabled(view_);
}

bool TControl::IsHilited()
{
    return GetControlHilite(view_) != 0;
}

ControlPartCode TControl::GetHilite()
{
    return GetControlHilite(view_);
}

CGRect TControl::GetBounds()
{
    HIRect bounds = CGRectZero;
    HIViewGetBounds(view_, &bounds);
    return bounds;
}

CGRect TControl::GetFrame()
{
    HIRect frame = CGRectZero;
    HIViewGetFrame(view_, &frame);
    return frame;
}

void TControl::SetFrame(const CGRect& frame)
{
    HIViewSetFrame(view_, &frame);
}

ControlKind TControl::GetKind()
{
    ControlKind kind{};
    GetControlKind(view_, &kind);
    return kind;
}

CFStringRef TControl::CopyText()
{
    return view_ != nullptr ? HIViewCopyText(view_) : nullptr;
}

bool TControl::ContainsFocus()
{
    return HIViewSubtreeContainsFocus(view_);
}

void TControl::SetNeedsDisplay()
{
    SetNeedsDisplay(true);
}

void TControl::SetNeedsDisplay(bool needsDisplay)
{
    HIViewSetNeedsDisplay(view_, needsDisplay);
}

void TControl::SetNeedsDisplayInRect(CGRect rect)
{
    HIViewSetNeedsDisplayInRect(view_, &rect, true);
}

WindowRef TControl::GetWindow()
{
    return HIViewGetWindow(view_);
}

ControlRef TControl::GetHIView()
{
    return view_;
}

CGPoint TControl::GetMouseLocation()
{
    return mouseLocation_;
}

UInt16 TControl::GetSize()
{
    UInt16 size = 0;
    GetData(FourCC("size"), &size, sizeof size);
    return size;
}

void TControl::SetSize(UInt16 size)
{
    SetData(FourCC("size"), &size, sizeof size);
}

CGImageRef TControl::GetImage()
{
    return image_;
}

void TControl::SetImage(CGImageRef image)
{
    if (image != nullptr)
        CGImageRetain(image);
    if (image_ != nullptr)
        CGImageRelease(image_);
    image_ = image;
}

// ---- text ----

void TControl::SetText(CFTypeRef text)
{
    if (text == nullptr || view_ == nullptr)
        return;
    if (CFGetTypeID(text) == CFNumberGetTypeID()) {
        CFStringRef shown = CFStringCreateFromNumber(static_cast<CFNumberRef>(text));
        HIViewSetText(view_, shown);
        if (shown != nullptr)
            CFRelease(shown);
        return;
    }
    if (CFGetTypeID(text) == CFStringGetTypeID())
        HIViewSetText(view_, static_cast<CFStringRef>(text));
}

ShortString TControl::GetText()
{
    CFStringRef text = CopyText();
    if (text == nullptr)
        return ShortString();
    const ShortString result = CFStringToPascal(text);
    CFRelease(text);
    return result;
}

// ---- properties and data ----

bool TControl::GetProperty(OSType tag, void* buffer, UInt32 size)
{
    ByteCount stored = 0;
    if (GetControlPropertySize(view_, propertyCreator_, tag, &stored) != noErr || stored > size)
        return false;
    return GetControlProperty(view_, propertyCreator_, tag, stored, nullptr, buffer) == noErr;
}

void TControl::SetProperty(OSType tag, const void* data, UInt32 size)
{
    SetControlProperty(view_, propertyCreator_, tag, size, data);
}

ShortString TControl::GetStringProperty(OSType tag)
{
    return ReadStringProperty(view_, propertyCreator_, tag);
}

SInt32 TControl::GetIntegerProperty(OSType tag)
{
    SInt32 value = 0;
    Err = GetControlProperty(view_, propertyCreator_, tag, sizeof value, nullptr, &value);
    return Err == noErr ? value : 0;
}

bool TControl::GetData(OSType tag, void* buffer, UInt32 size)
{
    Size stored = 0;
    OSStatus status = GetControlDataSize(view_, 0, tag, &stored);
    if (status == noErr)
        status = GetControlData(view_, 0, tag, std::min<Size>(stored, size), buffer, nullptr);
    if (status != noErr) {
        Diagnostics::WriteLine("Failed to get " + FCCToString(tag).ToString() + " data for " + ClassName() + " #" +
                               std::to_string(status));
        return false;
    }
    return true;
}

void TControl::SetData(OSType tag, const void* data, UInt32 size)
{
    Err = SetControlData(view_, 0, tag, size, data);
    if (Err != noErr)
        Diagnostics::WriteLine("Failed to set " + FCCToString(tag).ToString() + " data for " + ClassName() + " #" +
                               std::to_string(Err));
}

// ---- focus ----

void TControl::SetFocus()
{
    if (ContainsFocus())
        return;
    // The next part: part 0 would take the focus away.
    Err = SetKeyboardFocus(GetWindow(), view_, kControlFocusNextPart);
}

bool TControl::IsFocused()
{
    ControlRef focus = nullptr;
    if (GetKeyboardFocus(GetWindow(), &focus) != noErr)
        return false;
    return focus != nullptr && focus == view_;
}

// ---- names and preferences ----

TControlView* TControl::FindControl(const ShortString& name)
{
    TControlView* control = nullptr;
    FindControlWithTag(HIViewGetSuperview(view_), name, control);
    return control;
}

void TControl::SetNameTag(const ShortString&)
{
    Diagnostics::WriteLine(std::string("Can't set name tag for ") + ClassName());
}

ShortString TControl::GetNameTag()
{
    return HIViewGetNameTag(view_);
}

ShortString TControl::GetActionTag()
{
    const ShortString tag = HIViewGetActionTag(view_);
    return tag.IsEmpty() ? GetAction() : tag;
}

void TControl::SetPreferenceKey(const ShortString& key)
{
    preferenceKey_ = key;
}

ShortString TControl::GetPreferenceKey()
{
    if (!preferenceKey_.IsEmpty())
        return preferenceKey_;
    // Keys are the system's class names, never C++ ones, so that values
    // stay where they were stored.
    const char* className = GetTarget() != nullptr ? GetTarget()->ClassName() : ClassName();
    return ShortString(std::string(className) + "." + GetNameTag().ToString());
}

void TControl::SetPreferences(TPreferenceHandler* handler)
{
    RetainObject(preferences_, handler);
}

TPreferenceHandler* TControl::GetPreferences()
{
    return preferences_;
}

void TControl::HandlePreferencesChanged() {}

void TControl::UpdatePreferences()
{
    HIViewUpdatePreferences(view_, preferences_);
}

void TControl::RestorePreferences(TArchiver* archiver, const ShortString& key)
{
    CFTypeRef stored = archiver != nullptr ? archiver->GetValue(key) : nullptr;
    TPreferenceHandlerDictionary* handler = TPreferenceHandlerDictionary::Create(
        stored != nullptr && CFGetTypeID(stored) == CFDictionaryGetTypeID() ? static_cast<CFDictionaryRef>(stored)
                                                                            : nullptr);
    SetPreferences(handler);
    UpdatePreferences();
    handler->Release();
}

void TControl::SaveValue()
{
    if (preferences_ == nullptr || GetNameTag().IsEmpty())
        return;
    CFTypeRef value = CopyValue();
    if (value == nullptr)
        return;
    preferences_->SetTypeValue(GetPreferenceKey(), value);
    CFRelease(value);
}

void TControl::RestoreValue()
{
    if (preferences_ == nullptr || GetNameTag().IsEmpty())
        return;
    SetValue(preferences_->GetIntegerValue(GetPreferenceKey()));
}

CFTypeRef TControl::CopyValue()
{
    const SInt32 value = GetValue();
    return CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
}

SInt32 TControl::ConstrainValue(UInt32 value)
{
    // Compared as the value is given, unsigned, against signed limits: a
    // negative maximum always wins, a negative minimum never raises.
    SInt64 result = value;
    if (result > GetMaximum())
        result = GetMaximum();
    if (result < GetMinimum() && GetMinimum() >= 0)
        result = GetMinimum();
    return static_cast<SInt32>(result);
}

void TControl::SetValueChangedAction(const ResponderActionInfo& info)
{
    valueChangedAction_ = info;
}

void TControl::ApplyActionParameters(TTypeDictionary* parameters)
{
    TObject* self = this;
    parameters->SetDataValue("control", sizeof self, &self);
    if (owner_ != nullptr) {
        TObject* owner = owner_;
        parameters->SetDataValue("owner", sizeof owner, &owner);
    }
    const ShortString tag = GetNameTag();
    parameters->SetStringValue("tag", tag);
    parameters->SetStringValue("from", tag);
    if (CFTypeRef value = CopyValue()) {
        parameters->SetValue("value", value);
        CFRelease(value);
    }
    if (preferences_ != nullptr) {
        TObject* preferences = preferences_;
        parameters->SetDataValue("preferences", sizeof preferences, &preferences);
        parameters->SetStringValue("key", GetPreferenceKey());
    }
}

void TControl::PostValueChangedNotification()
{
    TTypeDictionary* parameters = TTypeDictionary::Create();
    ApplyActionParameters(parameters);
    PostNotification("TControl.valueChanged", parameters);
    parameters->Release();
}

void TControl::ValueChanged()
{
    SaveValue();
    PostValueChangedNotification();
    if (valueChangedAction_.target != nullptr)
        InvokeAction(valueChangedAction_);
}

void TControl::RunAction(bool userHit)
{
    if (IsActionValid()) {
        InvokeAction();
        return;
    }
    const ShortString tag = GetActionTag();
    if (tag.IsEmpty() || GetTarget() == nullptr)
        return;
    TTypeDictionary* parameters = TTypeDictionary::Create();
    if (userHit)
        parameters->SetBooleanValue("user", true);
    ApplyActionParameters(parameters);
    GetTarget()->InvokeMethod(tag, parameters);
    parameters->Release();
}

void TControl::SetImages(const ShortString&, const ShortString&) {}

void TControl::HandleTextEvent(EventRef, UInt32, UInt32, OSStatus&) {}

// ---- geometry ----

CGPoint TControl::ConvertPointFromWindow(CGPoint point)
{
    HIViewConvertPoint(&point, nullptr, view_);
    return point;
}

CGPoint TControl::ConvertPointToWindow(CGPoint point)
{
    HIViewConvertPoint(&point, view_, nullptr);
    return point;
}

CGRect TControl::ConvertRectFromWindow(CGRect rect)
{
    HIViewConvertRect(&rect, nullptr, view_);
    return rect;
}

CGRect TControl::ConvertRectToWindow(CGRect rect)
{
    HIViewConvertRect(&rect, view_, nullptr);
    return rect;
}

CGPoint TControl::ConvertPointFromScreen(CGPoint point)
{
    HIPointConvert(&point, kHICoordSpaceScreenPixel, nullptr, kHICoordSpaceView, view_);
    return point;
}

CGPoint TControl::ConvertPointToScreen(CGPoint point)
{
    HIPointConvert(&point, kHICoordSpaceView, view_, kHICoordSpaceScreenPixel, nullptr);
    return point;
}

CGRect TControl::ConvertRectFromScreen(CGRect rect)
{
    HIRectConvert(&rect, kHICoordSpaceScreenPixel, nullptr, kHICoordSpaceView, view_);
    return rect;
}

CGRect TControl::ConvertRectToScreen(CGRect rect)
{
    HIRectConvert(&rect, kHICoordSpaceView, view_, kHICoordSpaceScreenPixel, nullptr);
    return rect;
}

TControlView* TControl::GetParent()
{
    ControlRef superview = HIViewGetSuperview(view_);
    return superview != nullptr ? HIViewGetObject(superview) : nullptr;
}

// ---- drawing ----

void TControl::DrawControl(CGContextRef, CGRect, OSStatus&) {}

void TControl::ChangeTextInfo(CGFloat (&)[4], CGFloat (&)[4], HIThemeTextInfo&) {}

void TControl::DrawImage(CGContextRef context, CGRect rect)
{
    CGImageRef image = GetImage();
    if (image == nullptr)
        return;
    const CGFloat width = CGImageGetWidth(image);
    const CGFloat height = CGImageGetHeight(image);
    const CGRect placed =
        CGRectIntegral(CGRectMake(rect.origin.x + rect.size.width / 2.0f - std::floor(width / 2),
                                  rect.origin.y + rect.size.height / 2.0f - std::floor(height / 2), width, height));
    HIViewDrawCGImage(context, &placed, image);
}

void TControl::DrawText(CGContextRef context, CGRect rect)
{
    CFStringRef text = CopyText();
    if (text == nullptr)
        return;
    HIThemeTextInfo info{};
    info.version = 0;
    info.state = kThemeStateInactive;
    info.fontID = kThemeViewsFont;
    info.horizontalFlushness = kHIThemeTextHorizontalFlushCenter;
    info.verticalFlushness = kHIThemeTextVerticalFlushCenter;
    info.options = kHIThemeTextBoxOptionNone;
    info.truncationPosition = kHIThemeTextTruncationEnd;
    info.truncationMaxLines = 1;
    CGFloat shadow[4] = {0, 0, 0, 0.5f};
    CGFloat color[4] = {1, 1, 1, 1};
    ChangeTextInfo(shadow, color, info);
    if (!IsEnabled()) {
        shadow[3] *= 0.5f;
        color[3] *= 0.5f;
    }
    CGContextSaveGState(context);
    CGContextSetRGBFillColor(context, shadow[0], shadow[1], shadow[2], shadow[3]);
    HIRect below = CGRectOffset(rect, 0, 2);
    HIThemeDrawTextBox(text, &below, &info, context, kHIThemeOrientationNormal);
    CGContextSetRGBFillColor(context, color[0], color[1], color[2], color[3]);
    HIRect above = CGRectOffset(rect, 0, 1);
    HIThemeDrawTextBox(text, &above, &info, context, kHIThemeOrientationNormal);
    CGContextRestoreGState(context);
    CFRelease(text);
}

// ---- event plumbing ----

OSStatus TControl::CallNextHandler()
{
    return CallNextEventHandler(currentCall_, currentEvent_);
}

EventRef TControl::GetCurrentEvent()
{
    return currentEvent_;
}

void TControl::EventMouseUp(CGPoint, OSStatus&) {}
void TControl::EventMouseDown(CGPoint, OSStatus&) {}
void TControl::EventMouseDragged(CGPoint, OSStatus&) {}
void TControl::EventMouseMoved(CGPoint, OSStatus&) {}
void TControl::EventMouseWheelMoved(CGPoint, SInt32, OSStatus&) {}
void TControl::EventMouseEntered(CGPoint, OSStatus&) {}
void TControl::EventMouseExited(CGPoint, OSStatus&) {}
void TControl::EventInitialize(OSStatus&) {}
void TControl::EventKeyDown(UInt32, const UnicodeText&, UInt32, OSStatus&) {}
void TControl::EventKeyUp(UInt32, const UnicodeText&, UInt32, OSStatus&) {}
void TControl::EventKeyDown(UInt32, char, OSStatus&) {}
void TControl::EventKeyUp(UInt32, char, OSStatus&) {}
void TControl::EventKeyModifiersChanged(UInt32, OSStatus&) {}
void TControl::EventTrackingAreaExited(OSStatus&) {}
void TControl::EventTrackingAreaEntered(OSStatus&) {}
void TControl::EventDragEnter(DragRef, OSStatus&) {}
void TControl::EventDragWithin(DragRef, OSStatus&) {}
void TControl::EventDragLeave(DragRef, OSStatus&) {}
void TControl::EventDragReceive(DragRef, OSStatus&) {}
void TControl::EventBoundsChanged(CGRect, OSStatus&) {}
void TControl::EventVisibilityChanged(bool, OSStatus&) {}
void TControl::EventEnabledStateChanged(bool, OSStatus&) {}
void TControl::EventHit(ControlPartCode, bool&, OSStatus&) {}
void TControl::EventHitDeep(ControlPartCode, OSStatus&) {}

ControlPartCode TControl::EventHitTest(CGRect, CGPoint, OSStatus&)
{
    return 0;
}

void TControl::EventHiliteChanged(OSStatus&) {}
void TControl::EventTrack(CGPoint, OSStatus&) {}
void TControl::EventActivationChanged(bool, OSStatus&) {}
void TControl::EventHandleFocus(OSStatus&) {}
void TControl::EventClick(CGPoint, UInt16, UInt16, UInt32, OSStatus&) {}
void TControl::EventOwnerChanged(bool, WindowRef, OSStatus&) {}
void TControl::EventClickActivation(OSStatus&) {}

bool TControl::ReceiveDrag(TDrag*)
{
    return false;
}

bool TControl::AcceptDrag(TDrag*)
{
    return false;
}

bool TControl::AddDragItem(TDrag*)
{
    return false;
}

namespace {

void ReadKey(EventRef event, UInt32& code, char& character, UInt32& modifiers, UnicodeText& text)
{
    GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof code, nullptr, &code);
    GetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, nullptr, sizeof character, nullptr, &character);
    GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
    UInt32 size = 0;
    GetEventParameter(event, kEventParamKeyUnicodes, typeUnicodeText, nullptr, sizeof text.text, &size, text.text);
    text.byteCount = static_cast<UInt16>(size);
}

}  // namespace

OSStatus ControlEventHandler(EventHandlerCallRef callRef, EventRef event, void* userData)
{
    TControl* control = static_cast<TControl*>(userData);
    OSStatus result = eventNotHandledErr;
    if (!TObject::IsLiveObject(control))
        return result;
    // Kept for the hooks; a nested event of the same control restores them.
    const EventHandlerCallRef outerCall = control->currentCall_;
    const EventRef outerEvent = control->currentEvent_;
    control->currentCall_ = callRef;
    control->currentEvent_ = event;
    const UInt32 eventClass = GetEventClass(event);
    const UInt32 kind = GetEventKind(event);
    bool disposed = false;
    control->Retain();

    if (eventClass == kEventClassTextInput || eventClass == kEventClassTextField) {
        // The text kinds take these (TTextControl); nothing here.
        control->HandleTextEvent(event, eventClass, kind, result);
    } else if (eventClass == kEventClassKeyboard) {
        UInt32 code = 0, modifiers = 0;
        char character = 0;
        UnicodeText text{};
        ReadKey(event, code, character, modifiers, text);
        switch (kind) {
        case kEventRawKeyDown:
        case kEventRawKeyRepeat:
            control->EventKeyDown(code, character, result);
            control->EventKeyDown(code, text, modifiers, result);
            break;
        case kEventRawKeyUp:
            control->EventKeyUp(code, character, result);
            control->EventKeyUp(code, text, modifiers, result);
            break;
        case kEventRawKeyModifiersChanged:
            control->EventKeyModifiersChanged(modifiers, result);
            break;
        default:
            break;
        }
    } else if (eventClass == kEventClassControl) {
        switch (kind) {
        case kEventControlDragEnter:
        case kEventControlDragWithin:
        case kEventControlDragLeave:
        case kEventControlDragReceive: {
            DragRef drag = nullptr;
            GetEventParameter(event, kEventParamDragRef, typeDragRef, nullptr, sizeof drag, nullptr, &drag);
            if (kind == kEventControlDragEnter)
                control->EventDragEnter(drag, result);
            else if (kind == kEventControlDragWithin)
                control->EventDragWithin(drag, result);
            else if (kind == kEventControlDragLeave)
                control->EventDragLeave(drag, result);
            else
                control->EventDragReceive(drag, result);
            break;
        }
        case kEventControlActivate:
        case kEventControlDeactivate:
            control->EventActivationChanged(control->IsActive(), result);
            break;
        case kEventControlBoundsChanged:
            control->EventBoundsChanged(control->GetBounds(), result);
            break;
        case kEventControlVisibilityChanged:
            control->EventVisibilityChanged(control->IsVisible(), result);
            break;
        case kEventControlOwningWindowChanged: {
            WindowRef window = nullptr;
            GetEventParameter(event, kEventParamControlCurrentOwningWindow, typeWindowRef, nullptr, sizeof window,
                              nullptr, &window);
            control->EventOwnerChanged(false, window, result);
            break;
        }
        case kEventControlEnabledStateChanged:
        case 161:
            control->EventEnabledStateChanged(control->IsEnabled(), result);
            break;
        case kEventControlHitTest: {
            HIPoint point{};
            GetEventParameter(event, kEventParamMouseLocation, typeHIPoint, nullptr, sizeof point, nullptr, &point);
            control->mouseLocation_ = point;
            const ControlPartCode part = control->EventHitTest(control->GetBounds(), point, result);
            if (result == noErr)
                SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
            break;
        }
        case kEventControlTrack: {
            HIPoint point{};
            GetEventParameter(event, kEventParamWindowMouseLocation, typeHIPoint, nullptr, sizeof point, nullptr,
                              &point);
            control->EventTrack(control->ConvertPointFromWindow(point), result);
            break;
        }
        case kEventControlClick: {
            const ClickParameters click = GetClickParameters(event);
            control->EventClick(control->ConvertPointFromWindow(click.point), static_cast<UInt16>(click.clickCount),
                                click.button, click.modifiers, result);
            break;
        }
        case kEventControlTrackingAreaEntered:
            control->EventTrackingAreaEntered(result);
            break;
        case kEventControlTrackingAreaExited:
            control->EventTrackingAreaExited(result);
            break;
        case kEventControlHit: {
            ControlPartCode part = 0;
            GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
            bool flag = false;
            control->EventHit(part, flag, result);
            control->RunAction(true);
            break;
        }
        case kEventControlValueFieldChanged:
            control->ValueChanged();
            control->RunAction(false);
            break;
        case kEventControlDraw: {
            ControlPartCode part = 0;
            GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
            CGContextRef context = nullptr;
            GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context, nullptr,
                              &context);
            if (part == 0 && context != nullptr) {
                HIRect bounds = CGRectZero;
                HIViewGetBounds(control->view_, &bounds);
                CGContextSaveGState(context);
                control->DrawControl(context, bounds, result);
                CGContextRestoreGState(context);
            }
            break;
        }
        case kEventControlDispose:
            disposed = true;
            break;
        default:
            break;
        }
    }
    control->currentCall_ = outerCall;
    control->currentEvent_ = outerEvent;
    // The view is going: its object goes with it (the reference taken
    // above keeps it alive until here).
    if (disposed)
        control->Release();
    control->Release();
    return result;
}
