// The control kinds: the TControl subclasses that the standard HIToolbox
// views get (check boxes, pop-up buttons, text fields and text views,
// segmented views, tabs, clocks, image wells ...), and the image-drawn
// buttons and check boxes of the program's own windows. Each adds only
// what its kind needs: its own value type for saving and restoring, its
// own drawing, or access to the view's control data.
//
// InitializeTControlKindsUnit registers the classes a nib may name in its
// class tag, and the class each standard kind gets (HIViewGetClass).
#pragma once

#include <ApplicationFramework/Classes/TControlUnit.h>

#include <AppKit/NSView.h>
#include <CoreServices/IconServices.h>
#include <HIToolbox/HITextViews.h>
#include <HIToolbox/HostedViews.h>
#include <HIToolbox/Menus.h>

class TMenu;
class TMenuItem;
class TCocoaView;

// Tabs: the panes with the ids ('tabs', 101), ('tabs', 102), ... of the
// window show one at a time, the one of the selected tab.
class TTabControl : public TControl {
    BRINDLET_CLASS(TTabControl, TControl)

public:
    void Initialize() override;
    void EventHit(ControlPartCode part, bool& flag, OSStatus& result) override;
    // Shows the pane of the value, hides the others up to the first
    // missing one, and clears the keyboard focus.
    virtual void SelectCurrentPane();

    SInt16 GetCurrentPane() const { return currentPane_; }

protected:
    TTabControl() = default;

private:
    SInt16 currentPane_ = 0;
};

// An icon view: the image is its content.
class TIconControl : public TControl {
    BRINDLET_CLASS(TIconControl, TControl)

public:
    void SetImage(CGImageRef image) override;

protected:
    TIconControl() = default;
};

class TImageControl : public TControl {
    BRINDLET_CLASS(TImageControl, TControl)

public:
    void SetImage(CGImageRef image) override;

protected:
    TImageControl() = default;
};

class TImageWellControl : public TImageControl {
    BRINDLET_CLASS(TImageWellControl, TImageControl)

public:
    void SetImage(CGImageRef image) override;
    virtual void Clear();
    virtual void SetIcon(IconRef icon);
    // The system icon of that type.
    virtual void SetIcon(OSType type);
    virtual void SetIconWithFile(const FSRef& file);

protected:
    TImageWellControl() = default;

private:
    void SetContent(const ControlButtonContentInfo& content);
};

// A button drawn from three images (left end, stretched centre, right
// end), pressed variants while it is held; the system's look until its
// images are set.
class TButtonControl : public TControl {
    BRINDLET_CLASS(TButtonControl, TControl)

public:
    enum ImageSlot { kLeft, kRight, kCenter, kLeftPressed, kRightPressed, kCenterPressed, kArrows, kArrowsPressed };

    void Deallocate() override;
    // left, right, center and their "_pressed" variants + "." + extension
    // from the resource folder; only while no left image is loaded.
    void SetImages(const ShortString& folder, const ShortString& extension) override;
    void DrawControl(CGContextRef context, CGRect bounds, OSStatus& result) override;

    CGImageRef GetSlotImage(ImageSlot slot) const { return images_[slot]; }

protected:
    TButtonControl() = default;

    // Whether the pressed look applies: highlighted, active and enabled.
    bool IsPressed();
    // Alpha 0.4 unless enabled and active; the three parts.
    void DrawButtonImages(CGContextRef context, CGRect bounds);

    CGImageRef images_[8] = {};
};

// Pop-up buttons ('popb'), pop-up group boxes ('pgrp') and any view a nib
// names it for: the value is the selected item, and an item may carry an
// action of its own.
class TMenuControl : public TButtonControl {
    BRINDLET_CLASS(TMenuControl, TButtonControl)

public:
    void Initialize() override;
    void Deallocate() override;

    // The menu of the view: the 'mhan' data of a pop-up button, the 'mhnd'
    // data of a bevel button, nil for other kinds.
    virtual MenuRef GetMenu();
    virtual void SetHIMenu(MenuRef menu);
    // Retained; its Carbon menu becomes the view's.
    virtual void SetMenu(TMenu* menu);
    TMenu* GetMenuObject() const { return menu_; }
    using TControl::SetValue;
    // Makes the item count the maximum, then selects the item.
    virtual void SetValue(UInt32 value);
    virtual UInt16 GetCount();
    // The current item's icon as an image (type 7) or an IconRef (type 6);
    // nil on failure (the status in Err).
    CGImageRef GetImage() override;
    virtual IconRef GetIcon();
    virtual TMenuItem* GetSelectedItem();
    // The new item's index (0 when it could not be appended). With a
    // method and target, choosing the item calls the method on the target
    // with the control, in place of the control's own action.
    virtual MenuItemIndex AppendItem(CFStringRef text, MethodCode method, TObject* target);
    virtual MenuItemIndex AppendItem(CFStringRef text);
    virtual MenuItemIndex AppendSeperator();
    virtual MenuItemIndex AppendSectionHeader(CFStringRef text);
    virtual void Clear();
    virtual void SetItemIcon(MenuItemIndex index, OSType creator, OSType type);
    virtual void SetItemImage(MenuItemIndex index, CGImageRef image);
    virtual void SetItemProperty(MenuItemIndex index, OSType tag, UInt32 size, const void* data);
    virtual bool GetItemProperty(MenuItemIndex index, OSType tag, UInt32 size, void* data);
    // The answer to "TControl.popupMenuAction": selects the item.
    virtual void HandlePopupMenuAction(TMenuItem* item);

    CFStringRef CopyText() override;
    CFTypeRef CopyValue() override;
    void RestoreValue() override;
    void ValueChanged() override;

protected:
    // ValueChanged runs the item's or the control's action; a value change
    // runs nothing more.
    void RunAction(bool userHit) override;

public:
    void SetImages(const ShortString& folder, const ShortString& extension) override;
    void DrawControl(CGContextRef context, CGRect bounds, OSStatus& result) override;

    bool IsRestoring() const { return restoring_; }

protected:
    TMenuControl() = default;

private:
    TMenu* menu_ = nullptr;
    bool restoring_ = false;
};

// A check box drawn from its on/off images (pressed variants while held);
// the system's look until they are set. Its value is a Boolean.
class TCheckBoxControl : public TControl {
    BRINDLET_CLASS(TCheckBoxControl, TControl)

public:
    enum ImageIndex { kOn, kOnPressed, kOff, kOffPressed };

    void Deallocate() override;
    using TControl::SetValue;
    virtual void SetValue(bool checked);
    // Whether the value is 1 (a mixed value is not checked).
    virtual bool GetBooleanValue();
    virtual void SetChecked(bool checked);
    virtual bool IsChecked();
    // Where image `index` is drawn in `rect`.
    virtual CGRect GetButtonBounds(CGRect rect, ImageIndex index);
    void SetImages(const ShortString& folder, const ShortString& extension) override;
    void DrawControl(CGContextRef context, CGRect bounds, OSStatus& result) override;
    CFTypeRef CopyValue() override;
    void RestoreValue() override;

protected:
    TCheckBoxControl() = default;

private:
    CGImageRef images_[4] = {};
};

class TRadioButtonControl : public TControl {
    BRINDLET_CLASS(TRadioButtonControl, TControl)

protected:
    TRadioButtonControl() = default;
};

class TSliderControl : public TControl {
    BRINDLET_CLASS(TSliderControl, TControl)

protected:
    TSliderControl() = default;
};

class TUserPaneControl : public TControl {
    BRINDLET_CLASS(TUserPaneControl, TControl)

protected:
    TUserPaneControl() = default;
};

// A segmented view whose segments may each run an action of their own.
class TSegmentControl : public TControl {
    BRINDLET_CLASS(TSegmentControl, TControl)

public:
    static constexpr int kSegmentActionCount = 32;

    // Segments are numbered as the hit's part: 1 for the first.
    virtual void SetSegmentImage(UInt32 segment, CGImageRef image);
    virtual void SetSegmentIcon(UInt32 segment, IconRef icon);
    virtual void SetSegmentLabel(UInt32 segment, CFStringRef label);
    // The method called on the target, with the control, when the part
    // `segment` is hit; segments from 32 on have no actions.
    virtual void SetSegmentAction(UInt32 segment, TObject* target, MethodCode method);
    // Runs the action of the part hit; every hit is handled (result 0).
    void EventHit(ControlPartCode part, bool& flag, OSStatus& result) override;

protected:
    TSegmentControl() = default;

private:
    struct SegmentAction {
        TObject* target = nullptr;
        MethodCode method = nullptr;
    };
    SegmentAction actions_[kSegmentActionCount] = {};
};

// Text fields and static text: the value is the text.
class TTextControl : public TControl {
    BRINDLET_CLASS(TTextControl, TControl)

public:
    // The length of the text in UTF-16 units.
    virtual CFIndex GetTextLength();
    // The user changed the text ('txfd' 3): the value changed.
    virtual void EventTextDidChange(OSStatus& result);
    // Return in a one-line field ('txfd' 1): saved, then the action.
    virtual void EventTextAccepted(OSStatus& result);
    // Text typed ('text' 7); nothing here.
    virtual void EventTextInputAttributedString(CFTypeRef text, OSStatus& result);

    CFTypeRef CopyValue() override;
    void RestoreValue() override;

protected:
    TTextControl() = default;

    void HandleTextEvent(EventRef event, UInt32 eventClass, UInt32 eventKind, OSStatus& result) override;
};

class TSearchFieldControl : public TTextControl {
    BRINDLET_CLASS(TSearchFieldControl, TTextControl)

public:
    virtual void SetCancelButton(bool shown);

protected:
    TSearchFieldControl() = default;
};

// The multi-line text view ('hitx') through its text object.
class TTextViewControl : public TTextControl {
    BRINDLET_CLASS(TTextViewControl, TTextControl)

public:
    // Plain style, the family and the size on the whole text.
    virtual void SetFont(const ShortString& name, UInt16 size);
    // Red, green, blue, alpha from 0 to 1 (alpha is not used).
    virtual void SetFontColor(const CGFloat (&color)[4]);
    virtual void SetBackgroundColor(const CGFloat (&color)[4]);
    virtual void SetReadOnly(bool readOnly);
    virtual void SetWrapping(bool wrap);
    virtual void SetSelection(TXNOffset start, TXNOffset end);
    virtual TXNObject GetTXNObject();
    virtual void GetSelection(TXNOffset& start, TXNOffset& end);
    virtual ByteCount GetDataSize();
    // Replaces start..end with the text (any Unicode text).
    virtual OSStatus InsertText(CFStringRef text, TXNOffset start, TXNOffset end);
    virtual OSStatus AppendText(CFStringRef text);
    virtual OSStatus PrependText(CFStringRef text);
    virtual OSStatus InsertTextAtSelection(CFStringRef text);
    virtual OSStatus ClearText();
    // The whole text as RTF to or from the file; the engine's status, or
    // fnfErr (-43) when the reference makes no URL.
    virtual OSStatus SaveRTF(const FSRef& file);
    virtual OSStatus LoadRTF(const FSRef& file);

protected:
    TTextViewControl() = default;
};

// A date and time picker: the value is the date.
class TClockControl : public TControl {
    BRINDLET_CLASS(TClockControl, TControl)

public:
    void EventKeyUp(UInt32 code, char character, OSStatus& result) override;
    using TControl::EventKeyUp;
    void EventHit(ControlPartCode part, bool& flag, OSStatus& result) override;
    CFTypeRef CopyValue() override;
    void RestoreValue() override;

protected:
    TClockControl() = default;
};

// A view showing a Cocoa view made from the nib its 'nib ' property names.
class TCocoaControl : public TControl {
    BRINDLET_CLASS(TCocoaControl, TControl)

public:
    void Initialize() override;
    void Deallocate() override;
    // The Cocoa view's subview with the tag, and the Cocoa view itself;
    // nil without a Cocoa view.
    virtual NSView* GetSubView(NSInteger tag);
    virtual NSView* GetNSView();
    TCocoaView* GetCocoaView() const { return cocoaView_; }

protected:
    TCocoaControl() = default;

private:
    TCocoaView* cocoaView_ = nullptr;
};

// The text engine's visibility and wrapping switches.
void TXNSetVisibility(TXNObject object, bool visible);
void TXNSetWrapping(TXNObject object, bool wrap);

void InitializeTControlKindsUnit();
