#include "THotKeyFieldUnit.h"

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <Units/Classes/TUserNotificationUnit.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <CarbonCore/UnicodeUtilities.h>
#include <CoreFoundation/CFRef.h>
#include <HIToolbox/HITheme.h>
#include <HIToolbox/HIView.h>
#include <HIToolbox/KeyboardGlyphs.h>
#include <HIToolbox/TextInputSources.h>
#include <Support/Diagnostics.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

BRINDLET_DEFINE_CLASS(THotKeyField, TTextControl)

namespace {

// The stored record: 16 bytes of UTF-16, then the count.
static_assert(sizeof(UnicodeText) == 18);

// The count says a character is set when its low byte is not zero.
bool HasCharacter(const UnicodeText& key)
{
    return (key.byteCount & 0xFF) != 0;
}

struct SpecialKey {
    UInt16 code;
    SInt16 glyph;
};

// The keys shown by their glyph rather than by what they type.
constexpr std::array kSpecialKeys = {
    SpecialKey{36, kMenuReturnGlyph},
    SpecialKey{48, kMenuTabRightGlyph},
    SpecialKey{49, kMenuSpaceGlyph},
    SpecialKey{51, kMenuDeleteLeftGlyph},
    SpecialKey{53, kMenuEscapeGlyph},
    SpecialKey{64, kMenuF17Glyph},
    SpecialKey{71, kMenuClearGlyph},
    SpecialKey{76, kMenuEnterGlyph},
    SpecialKey{79, kMenuF18Glyph},
    SpecialKey{80, kMenuF19Glyph},
    SpecialKey{96, kMenuF5Glyph},
    SpecialKey{97, kMenuF6Glyph},
    SpecialKey{98, kMenuF7Glyph},
    SpecialKey{99, kMenuF3Glyph},
    SpecialKey{100, kMenuF8Glyph},
    SpecialKey{101, kMenuF9Glyph},
    SpecialKey{103, kMenuF11Glyph},
    SpecialKey{105, kMenuF13Glyph},
    SpecialKey{106, kMenuF16Glyph},
    SpecialKey{107, kMenuF14Glyph},
    SpecialKey{109, kMenuF10Glyph},
    SpecialKey{111, kMenuF12Glyph},
    SpecialKey{113, kMenuF15Glyph},
    SpecialKey{114, kMenuHelpGlyph},
    SpecialKey{115, kMenuNorthwestArrowGlyph},
    SpecialKey{116, kMenuPageUpGlyph},
    SpecialKey{117, kMenuDeleteRightGlyph},
    SpecialKey{118, kMenuF4Glyph},
    SpecialKey{119, kMenuSoutheastArrowGlyph},
    SpecialKey{120, kMenuF2Glyph},
    SpecialKey{121, kMenuPageDownGlyph},
    SpecialKey{122, kMenuF1Glyph},
    SpecialKey{123, kMenuLeftArrowGlyph},
    SpecialKey{124, kMenuRightArrowGlyph},
    SpecialKey{125, kMenuDownArrowGlyph},
    SpecialKey{126, kMenuUpArrowGlyph},
};

constexpr UInt32 kModifierShift = 0x200;
constexpr UInt32 kModifierOption = 0x800;
constexpr UInt32 kModifierCommand = 0x100;
constexpr UInt32 kModifierControl = 0x1000;

}  // namespace

SInt16 HotKeyGlyphForKeyCode(UInt32 code)
{
    for (const SpecialKey& key : kSpecialKeys) {
        if (key.code == code)
            return key.glyph;
    }
    return 0;
}

UnicodeText ConvertVirtualKeyCodeToUnicodeText(UInt16 code, UInt32 keyboardType)
{
    UnicodeText result{};
    CFRef<TISInputSourceRef> source(TISCopyCurrentKeyboardLayoutInputSource());
    auto data = static_cast<CFDataRef>(TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData));
    if (data != nullptr) {
        const auto* layout = reinterpret_cast<const UCKeyboardLayout*>(CFDataGetBytePtr(data));
        UInt32 deadKeyState = 0;
        UniCharCount length = 0;
        UniChar character = 0;
        if (UCKeyTranslate(layout, code, kUCKeyActionDisplay, 0, keyboardType, kUCKeyTranslateNoDeadKeysMask,
                           &deadKeyState, 1, &length, &character) == noErr &&
            length == 1) {
            result.text[0] = character;
            result.byteCount = 1;
        }
    }
    if (!HasCharacter(result))
        TUserNotification::CreateWithLocalized(kCFUserNotificationNoteAlertLevel, "InvalidKeyboardLayout", "Note");
    return result;
}

CFStringRef CopyHotKeyText(UInt32 modifiers, UInt32 code, const UnicodeText& key)
{
    CFMutableStringRef text = CFStringCreateMutable(nullptr, 0);
    const std::pair<UInt32, UniChar> glyphs[] = {
        {kModifierShift, 0x21E7}, {kModifierOption, 0x2325}, {kModifierCommand, 0x2318}, {kModifierControl, 0x2303}};
    for (const auto& [flag, glyph] : glyphs) {
        if (modifiers & flag)
            CFStringAppendCharacters(text, &glyph, 1);
    }
    if (const SInt16 glyph = HotKeyGlyphForKeyCode(code)) {
        CFRef<CFStringRef> shown(CopyStringForMenuGlyph(glyph));
        if (shown)
            CFStringAppend(text, shown);
    } else if (HasCharacter(key)) {
        const CFIndex count = std::min<CFIndex>(key.byteCount & 0xFF, CFIndex(std::size(key.text)));
        CFStringAppendCharacters(text, key.text, count);
    }
    return text;
}

void THotKeyField::SetHotKeyID(UInt32 identifier)
{
    hotKeyID_ = identifier;
}

void THotKeyField::SetAutoRegister(bool autoRegister)
{
    autoRegister_ = autoRegister;
}

bool THotKeyField::GetAutoRegister()
{
    return autoRegister_;
}

void THotKeyField::RestoreValue()
{
    TPreferenceHandler* preferences = GetPreferences();
    if (preferences == nullptr || GetNameTag().IsEmpty())
        return;
    TTypeDictionary* stored = preferences->CopyDictionary(GetPreferenceKey());
    if (stored == nullptr)
        return;
    // Only a whole record is a key: anything of another size leaves the
    // field without a combination rather than half of one.
    UnicodeText key{};
    if (stored->GetDataValue("key", &key)) {
        modifiers_ = UInt32(stored->GetIntegerValue("modifiers"));
        code_ = UInt32(stored->GetIntegerValue("code"));
        key_ = key;
        hasValue_ = true;
    } else {
        modifiers_ = 0;
        code_ = 0;
        key_ = UnicodeText{};
        hasValue_ = false;
    }
    stored->Release();
    SetNeedsDisplay();
}

CFTypeRef THotKeyField::CopyValue()
{
    if (!hasValue_) {
        // An empty field stores nothing: its entry goes.
        if (TPreferenceHandler* preferences = GetPreferences())
            preferences->RemoveValue(GetPreferenceKey());
        return nullptr;
    }
    TTypeDictionary* value = TTypeDictionary::Create();
    value->SetIntegerValue("modifiers", SInt32(modifiers_));
    value->SetDataValue("key", sizeof key_, &key_);
    value->SetIntegerValue("code", SInt32(code_));
    CFTypeRef result = CFRetain(value->CFType());
    value->Release();
    return result;
}

void THotKeyField::FinishEditing()
{
    SetNeedsDisplay();
    if (WindowRef window = GetWindow())
        ClearKeyboardFocus(window);
    SetThemeCursor(kThemeArrowCursor);
}

void THotKeyField::Clear()
{
    modifiers_ = 0;
    code_ = 0;
    key_ = UnicodeText{};
    hasValue_ = false;
    if (autoRegister_) {
        if (TApplication* application = TApplication::Current())
            application->UnregisterHotKey(hotKeyID_);
    }
}

void THotKeyField::EventMouseDown(CGPoint point, OSStatus& result)
{
    if (!CGRectContainsPoint(clearRect_, point))
        return;  // the standard handling focuses the field
    Clear();
    FinishEditing();
    result = noErr;
}

void THotKeyField::EventKeyDown(UInt32 code, const UnicodeText&, UInt32 modifiers, OSStatus& result)
{
    UInt32 keyboardType = 0;
    if (EventRef event = GetCurrentEvent())
        GetEventParameter(event, kEventParamKeyboardType, typeUInt32, nullptr, sizeof keyboardType, nullptr,
                          &keyboardType);
    const UnicodeText converted = ConvertVirtualKeyCodeToUnicodeText(UInt16(code), keyboardType);
    if (HasCharacter(converted)) {
        key_ = converted;
        modifiers_ = modifiers;
        code_ = code;
        hasValue_ = true;
        Diagnostics::WriteLine(std::to_string(hotKeyID_));
        if (autoRegister_) {
            if (TApplication* application = TApplication::Current())
                application->RegisterHotKey(hotKeyID_, code, modifiers);
        }
        FinishEditing();
    } else {
        // The combination recorded before stays whole, its key included.
        Beep();
    }
    // No key reaches the standard text handling.
    result = noErr;
}

void THotKeyField::EventKeyModifiersChanged(UInt32 modifiers, OSStatus&)
{
    modifiers_ = modifiers;
}

void THotKeyField::DrawControl(CGContextRef context, CGRect bounds, OSStatus& result)
{
    if (!IsEnabled())
        CGContextSetAlpha(context, 0.4f);
    CGContextSetRGBFillColor(context, 1, 1, 1, 1);
    CGContextFillRect(context, bounds);

    HIThemeTextInfo info{};
    info.state = kThemeStateActive;
    info.fontID = kThemeSmallSystemFont;
    info.horizontalFlushness = kHIThemeTextHorizontalFlushCenter;
    info.verticalFlushness = kHIThemeTextVerticalFlushCenter;

    CGRect textBounds = bounds;
    CGImageRef image = GetImage();
    if ((HasCharacter(key_) || code_ != 0) && image != nullptr) {
        const CGFloat width = CGFloat(CGImageGetWidth(image));
        const CGFloat height = CGFloat(CGImageGetHeight(image));
        clearRect_ = CGRectMake(std::floor(CGRectGetMaxX(bounds) - 4 - width),
                                std::floor(CGRectGetMidY(bounds) - height / 2), width, height);
        HIViewDrawCGImage(context, &clearRect_, image);
        textBounds.size.width -= 4 + width;
    }

    if (!IsFocused()) {
        if (hasValue_) {
            CFRef<CFStringRef> text(CopyHotKeyText(modifiers_, code_, key_));
            CGContextSetRGBFillColor(context, 0, 0, 0, 1);
            HIThemeDrawTextBox(text, &textBounds, &info, context, kHIThemeOrientationNormal);
        } else {
            info.fontID = kThemeLabelFont;
            CGContextSetRGBFillColor(context, 0, 0, 0, 0.5f);
            HIThemeDrawTextBox(CFSTR("Undefined"), &bounds, &info, context, kHIThemeOrientationNormal);
        }
    }

    CGContextSaveGState(context);
    CGContextSetShouldAntialias(context, false);
    CGContextSetRGBStrokeColor(context, 0.55f, 0.55f, 0.55f, 1);
    CGContextSetLineWidth(context, 1);
    CGContextStrokeRect(context, CGRectInset(bounds, 0.5f, 0.5f));
    CGContextRestoreGState(context);
    if (IsFocused()) {
        const CGRect ring =
            CGRectMake(bounds.origin.x, bounds.origin.y - 1, bounds.size.width + 1, bounds.size.height + 1);
        HIThemeDrawFocusRect(&ring, true, context, kHIThemeOrientationNormal);
    }
    result = noErr;
}

void InitializeTHotKeyFieldUnit()
{
    RegisterClass(THotKeyField::StaticClass());
}
