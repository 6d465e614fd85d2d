// The hot-key field: a text control that records one key combination for a
// global hot key. The user clicks into it and presses the combination; the
// field shows the modifier glyphs and the key, keeps the combination in the
// preferences under its preference key as a small dictionary ("modifiers",
// "key", "code"), and, with auto register on, registers it at once as the
// application's hot key under its identifier. A click on the clear image
// (the control's image, drawn at its right end) empties it.
#pragma once

#include <ApplicationFramework/Classes/TControlKindsUnit.h>

// The character `code` types on the current keyboard layout, as the key's
// label (no modifiers, dead keys giving their accent): a record holding the
// one character with a count of 1. When the key types none, an alert says
// so ("InvalidKeyboardLayout", "Note") and the record is all zero.
UnicodeText ConvertVirtualKeyCodeToUnicodeText(UInt16 code, UInt32 keyboardType);

// The text the field shows for a combination: the glyphs of shift, option,
// command and control (in that order, those present), then the key: the
// glyph of a special key (Return, Tab, the arrows, F1 …), else the
// characters of `key`. A new string.
CFStringRef CopyHotKeyText(UInt32 modifiers, UInt32 code, const UnicodeText& key);

// The menu glyph of a special key code; 0 for a key shown by its character.
SInt16 HotKeyGlyphForKeyCode(UInt32 code);

class THotKeyField : public TTextControl {
    BRINDLET_CLASS(THotKeyField, TTextControl)

public:
    void RestoreValue() override;
    CFTypeRef CopyValue() override;
    void EventMouseDown(CGPoint point, OSStatus& result) override;
    void DrawControl(CGContextRef context, CGRect bounds, OSStatus& result) override;
    void EventKeyDown(UInt32 code, const UnicodeText& text, UInt32 modifiers, OSStatus& result) override;
    using TTextControl::EventKeyDown;
    void EventKeyModifiersChanged(UInt32 modifiers, OSStatus& result) override;

    virtual void SetHotKeyID(UInt32 identifier);
    virtual void SetAutoRegister(bool autoRegister);
    virtual bool GetAutoRegister();

    // The combination as recorded.
    const UnicodeText& GetKey() const { return key_; }
    UInt32 GetModifiers() const { return modifiers_; }
    UInt32 GetCode() const { return code_; }
    bool HasValue() const { return hasValue_; }
    // Where the clear image was last drawn (bounds coordinates).
    CGRect GetClearRect() const { return clearRect_; }

protected:
    THotKeyField() = default;

private:
    // Empties the field; the hot key goes with it when registered by it.
    void Clear();
    // Done with the keyboard: redrawn, focus given up, the arrow back.
    void FinishEditing();

    UnicodeText key_{};
    UInt32 modifiers_ = 0;
    UInt32 code_ = 0;
    bool hasValue_ = false;
    UInt32 hotKeyID_ = 0;
    CGRect clearRect_ = CGRectZero;
    bool autoRegister_ = false;
};

void InitializeTHotKeyFieldUnit();
