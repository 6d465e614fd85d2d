// Icons, images, image wells, clocks, the kinds with nothing of their own,
// and the unit's registrations.
#include "TControlKindsUnit.h"

#include <Units/Utilities/CarbonUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <HIToolbox/ControlKinds.h>
#include <Support/Diagnostics.h>

BRINDLET_DEFINE_CLASS(TIconControl, TControl)
BRINDLET_DEFINE_CLASS(TImageControl, TControl)
BRINDLET_DEFINE_CLASS(TImageWellControl, TImageControl)
BRINDLET_DEFINE_CLASS(TRadioButtonControl, TControl)
BRINDLET_DEFINE_CLASS(TSliderControl, TControl)
BRINDLET_DEFINE_CLASS(TUserPaneControl, TControl)
BRINDLET_DEFINE_CLASS(TClockControl, TControl)

namespace {

constexpr OSType kContentTag = FourCC("cont");

}  // namespace

// ---- icons and images ----

void TIconControl::SetImage(CGImageRef image)
{
    if (image == nullptr) {
        Diagnostics::WriteLine("Warning: The CGImageRef is not valid.");
        return;
    }
    // Kept here, so that the content record's image lives as long as it.
    TControl::SetImage(image);
    ControlButtonContentInfo content{};
    content.contentType = kControlContentCGImageRef;
    content.u.imageRef = image;
    SetProperty(kContentTag, &content, sizeof content);
    // And shown: the icon view draws its content.
    SetControlData(GetHIView(), 0, kControlIconContentTag, sizeof content, &content);
    SetNeedsDisplay();
}

void TImageControl::SetImage(CGImageRef image)
{
    TControl::SetImage(image);
    Err = HIImageViewSetImage(GetHIView(), image);
}

void TImageWellControl::SetContent(const ControlButtonContentInfo& content)
{
    Err = SetControlData(GetHIView(), 0, kControlImageWellContentTag, sizeof content, &content);
    SetNeedsDisplay();
}

void TImageWellControl::SetImage(CGImageRef image)
{
    TControl::SetImage(image);
    ControlButtonContentInfo content{};
    content.contentType = image != nullptr ? kControlContentCGImageRef : kControlNoContent;
    content.u.imageRef = image;
    SetContent(content);
}

void TImageWellControl::SetIcon(IconRef icon)
{
    ControlButtonContentInfo content{};
    content.contentType = icon != nullptr ? kControlContentIconRef : kControlNoContent;
    content.u.iconRef = icon;
    SetContent(content);
}

void TImageWellControl::SetIcon(OSType type)
{
    IconRef icon = nullptr;
    Err = GetIconRef(kOnSystemDisk, kSystemIconsCreator, type, &icon);
    if (Err != noErr || icon == nullptr)
        return;
    SetIcon(icon);
    ReleaseIconRef(icon);
}

void TImageWellControl::SetIconWithFile(const FSRef& file)
{
    IconRef icon = FSCopyIcon(file);
    if (icon == nullptr) {
        Diagnostics::WriteLine("Warning: TImageWellControl.SetIconWithFile failed to get IconRef from FSRef.");
        return;
    }
    SetIcon(icon);
    ReleaseIconRef(icon);
}

void TImageWellControl::Clear()
{
    TControl::SetImage(nullptr);
    SetContent(ControlButtonContentInfo{});
}

// ---- clocks ----

void TClockControl::EventKeyUp(UInt32 code, char character, OSStatus& result)
{
    Inherited::EventKeyUp(code, character, result);
    ValueChanged();
}

void TClockControl::EventHit(ControlPartCode part, bool& flag, OSStatus& result)
{
    Inherited::EventHit(part, flag, result);
    ValueChanged();
}

CFTypeRef TClockControl::CopyValue()
{
    CFAbsoluteTime time = 0;
    if (!GetData(kControlClockAbsoluteTimeTag, &time, sizeof time))
        return nullptr;
    return CFDateCreate(nullptr, time);
}

void TClockControl::RestoreValue()
{
    TPreferenceHandler* preferences = GetPreferences();
    if (preferences == nullptr || GetNameTag().IsEmpty())
        return;
    CFTypeRef value = preferences->GetTypeValue(GetPreferenceKey());
    if (value == nullptr)
        return;
    if (CFGetTypeID(value) == CFDateGetTypeID()) {
        const CFAbsoluteTime time = CFDateGetAbsoluteTime(static_cast<CFDateRef>(value));
        SetData(kControlClockAbsoluteTimeTag, &time, sizeof time);
    }
    CFRelease(value);
}

// ---- the unit ----

void InitializeTControlKindsUnit()
{
    // The classes a nib may name, in their order (tabs and the plain
    // control are reached by kind only).
    RegisterClass(TIconControl::StaticClass());
    RegisterClass(TImageControl::StaticClass());
    RegisterClass(TImageWellControl::StaticClass());
    RegisterClass(TButtonControl::StaticClass());
    RegisterClass(TMenuControl::StaticClass());
    RegisterClass(TCheckBoxControl::StaticClass());
    RegisterClass(TRadioButtonControl::StaticClass());
    RegisterClass(TSliderControl::StaticClass());
    RegisterClass(TSegmentControl::StaticClass());
    RegisterClass(TUserPaneControl::StaticClass());
    RegisterClass(TTextControl::StaticClass());
    RegisterClass(TClockControl::StaticClass());
    RegisterClass(TSearchFieldControl::StaticClass());
    RegisterClass(TTextViewControl::StaticClass());
    RegisterClass(TCocoaControl::StaticClass());

    // The class each standard kind gets; any other kind gets TControl.
    struct KindClass {
        OSType kind;
        const ClassInfo& controlClass;
    };
    const KindClass kinds[] = {
        {FourCC("cbox"), TCheckBoxControl::StaticClass()},    {FourCC("clck"), TClockControl::StaticClass()},
        {FourCC("eutx"), TTextControl::StaticClass()},        {FourCC("stxt"), TTextControl::StaticClass()},
        {FourCC("hitx"), TTextViewControl::StaticClass()},    {FourCC("icon"), TIconControl::StaticClass()},
        {FourCC("imag"), TImageControl::StaticClass()},       {FourCC("pgrp"), TMenuControl::StaticClass()},
        {FourCC("popb"), TMenuControl::StaticClass()},        {FourCC("rdio"), TRadioButtonControl::StaticClass()},
        {FourCC("rgrp"), TRadioButtonControl::StaticClass()}, {FourCC("sgmt"), TSegmentControl::StaticClass()},
        {FourCC("sldr"), TSliderControl::StaticClass()},      {FourCC("srfd"), TSearchFieldControl::StaticClass()},
        {FourCC("tabs"), TTabControl::StaticClass()},         {FourCC("upan"), TUserPaneControl::StaticClass()},
        {FourCC("well"), TImageWellControl::StaticClass()},
    };
    for (const KindClass& each : kinds)
        HIViewRegisterKindClass(each.kind, each.controlClass);
}
