// Text fields, static text, search fields and the multi-line text view.
#include "TControlKindsUnit.h"

#include <Units/Utilities/CarbonUtilities.h>

#include <CoreServices/Files.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

BRINDLET_DEFINE_CLASS(TTextControl, TControl)
BRINDLET_DEFINE_CLASS(TSearchFieldControl, TTextControl)
BRINDLET_DEFINE_CLASS(TTextViewControl, TTextControl)

namespace {

// The attributed text of a text input event ('tsas', 'cfas').
constexpr EventParamName kParamAttributedText = FourCC("tsas");
constexpr EventParamType kTypeAttributedText = FourCC("cfas");

RGBColor ColorOf(const CGFloat (&color)[4])
{
    auto component = [](CGFloat value) { return static_cast<UInt16>(std::clamp<CGFloat>(value, 0, 1) * 65535.0f); };
    return RGBColor{component(color[0]), component(color[1]), component(color[2])};
}

void SetControlValue(TXNObject object, TXNControlTag tag, UInt32 value)
{
    TXNControlData data{};
    data.uValue = value;
    TXNSetTXNObjectControls(object, false, 1, &tag, &data);
}

}  // namespace

void TXNSetVisibility(TXNObject object, bool visible)
{
    SetControlValue(object, kTXNVisibilityTag, visible ? 1 : 0);
}

void TXNSetWrapping(TXNObject object, bool wrap)
{
    SetControlValue(object, kTXNWordWrapStateTag, wrap ? kTXNAutoWrap : kTXNNoAutoWrap);
}

// ---- text fields ----

void TTextControl::HandleTextEvent(EventRef event, UInt32 eventClass, UInt32 eventKind, OSStatus& result)
{
    if (eventClass == kEventClassTextInput && eventKind == kEventTextInputUnicodeText) {
        CFTypeRef text = nullptr;
        GetEventParameter(event, kParamAttributedText, kTypeAttributedText, nullptr, sizeof text, nullptr, &text);
        EventTextInputAttributedString(text, result);
    } else if (eventClass == kEventClassTextField && eventKind == kEventTextAccepted) {
        EventTextAccepted(result);
    } else if (eventClass == kEventClassTextField && eventKind == kEventTextDidChange) {
        EventTextDidChange(result);
    }
}

CFIndex TTextControl::GetTextLength()
{
    CFStringRef text = CopyText();
    if (text == nullptr)
        return 0;
    const CFIndex length = CFStringGetLength(text);
    CFRelease(text);
    return length;
}

void TTextControl::EventTextDidChange(OSStatus&)
{
    ValueChanged();
}

void TTextControl::EventTextAccepted(OSStatus&)
{
    SaveValue();
    if (!GetAction().IsEmpty() && GetTarget() != nullptr)
        InvokeAction(this);
}

void TTextControl::EventTextInputAttributedString(CFTypeRef, OSStatus&) {}

CFTypeRef TTextControl::CopyValue()
{
    return CopyText();
}

void TTextControl::RestoreValue()
{
    TPreferenceHandler* preferences = GetPreferences();
    if (preferences == nullptr || GetNameTag().IsEmpty())
        return;
    CFTypeRef value = preferences->GetTypeValue(GetPreferenceKey());
    if (value == nullptr)
        return;
    SetText(value);
    CFRelease(value);
}

void TSearchFieldControl::SetCancelButton(bool shown)
{
    const OptionBits cancel = kHISearchFieldAttributesCancel;
    Err = HISearchFieldChangeAttributes(GetHIView(), shown ? cancel : 0, shown ? 0 : cancel);
}

// ---- the text view ----

TXNObject TTextViewControl::GetTXNObject()
{
    return HITextViewGetTXNObject(GetHIView());
}

void TTextViewControl::SetFont(const ShortString& name, UInt16 size)
{
    Str255 family{};
    const std::string bytes = name.ToString();
    family[0] = static_cast<unsigned char>(std::min<size_t>(bytes.size(), 255));
    std::memcpy(family + 1, bytes.data(), family[0]);
    TXNTypeAttributes attributes[3]{};
    attributes[0].tag = kTXNQDFontStyleAttribute;
    attributes[0].size = kTXNQDFontStyleAttributeSize;
    attributes[0].data.dataValue = 0;
    attributes[1].tag = kTXNQDFontNameAttribute;
    attributes[1].size = kTXNQDFontNameAttributeSize;
    attributes[1].data.dataPtr = family;
    attributes[2].tag = kTXNQDFontSizeAttribute;
    attributes[2].size = kTXNFontSizeAttributeSize;
    attributes[2].data.dataValue = static_cast<UInt32>(size) << 16;
    Err = TXNSetTypeAttributes(GetTXNObject(), 3, attributes, kTXNStartOffset, kTXNEndOffset);
}

void TTextViewControl::SetFontColor(const CGFloat (&color)[4])
{
    RGBColor rgb = ColorOf(color);
    TXNTypeAttributes attribute{};
    attribute.tag = kTXNQDFontColorAttribute;
    attribute.size = kTXNQDFontColorAttributeSize;
    attribute.data.dataPtr = &rgb;
    Err = TXNSetTypeAttributes(GetTXNObject(), 1, &attribute, kTXNStartOffset, kTXNEndOffset);
}

void TTextViewControl::SetBackgroundColor(const CGFloat (&color)[4])
{
    TXNBackground background{};
    background.bgType = kTXNBackgroundTypeRGB;
    background.bg.color = ColorOf(color);
    Err = TXNSetBackground(GetTXNObject(), &background);
}

void TTextViewControl::SetReadOnly(bool readOnly)
{
    SetControlValue(GetTXNObject(), kTXNNoUserIOTag, readOnly ? kTXNReadOnly : kTXNReadWrite);
}

void TTextViewControl::SetWrapping(bool wrap)
{
    TXNSetWrapping(GetTXNObject(), wrap);
}

void TTextViewControl::SetSelection(TXNOffset start, TXNOffset end)
{
    Err = TXNSetSelection(GetTXNObject(), start, end);
}

void TTextViewControl::GetSelection(TXNOffset& start, TXNOffset& end)
{
    TXNGetSelection(GetTXNObject(), &start, &end);
}

ByteCount TTextViewControl::GetDataSize()
{
    return TXNDataSize(GetTXNObject());
}

OSStatus TTextViewControl::InsertText(CFStringRef text, TXNOffset start, TXNOffset end)
{
    TXNObject object = GetTXNObject();
    // The text as it is, in UTF-16: nothing is lost to an 8-bit encoding.
    std::vector<UniChar> units;
    if (text != nullptr) {
        units.resize(static_cast<size_t>(CFStringGetLength(text)));
        if (!units.empty())
            CFStringGetCharacters(text, CFRangeMake(0, CFIndex(units.size())), units.data());
    }
    TXNSetVisibility(object, false);
    const OSStatus status = TXNSetData(object, kTXNUnicodeTextData, units.empty() ? nullptr : units.data(),
                                       units.size() * sizeof(UniChar), start, end);
    TXNSetVisibility(object, true);
    return status;
}

OSStatus TTextViewControl::AppendText(CFStringRef text)
{
    return InsertText(text, kTXNEndOffset, kTXNEndOffset);
}

OSStatus TTextViewControl::PrependText(CFStringRef text)
{
    return InsertText(text, kTXNStartOffset, kTXNStartOffset);
}

OSStatus TTextViewControl::InsertTextAtSelection(CFStringRef text)
{
    return InsertText(text, kTXNUseCurrentSelection, kTXNUseCurrentSelection);
}

OSStatus TTextViewControl::ClearText()
{
    return TXNSetData(GetTXNObject(), kTXNUnicodeTextData, nullptr, 0, kTXNStartOffset, kTXNEndOffset);
}

OSStatus TTextViewControl::SaveRTF(const FSRef& file)
{
    CFURLRef url = CFURLCreateFromFSRef(nullptr, &file);
    if (url == nullptr)
        return fnfErr;
    const OSStatus status = TXNWriteRangeToCFURL(GetTXNObject(), kTXNStartOffset, kTXNEndOffset, nullptr, nullptr, url);
    CFRelease(url);
    return status;
}

OSStatus TTextViewControl::LoadRTF(const FSRef& file)
{
    CFURLRef url = CFURLCreateFromFSRef(nullptr, &file);
    if (url == nullptr)
        return fnfErr;
    const OSStatus status = TXNReadFromCFURL(GetTXNObject(), kTXNStartOffset, kTXNEndOffset, nullptr, url, nullptr);
    CFRelease(url);
    return status;
}
