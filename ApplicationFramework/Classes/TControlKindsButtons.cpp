// Buttons, pop-up buttons, check boxes, segmented views and tabs.
#include "TControlKindsUnit.h"

#include <ApplicationFramework/Classes/TMenuUnit.h>
#include <Units/HIToolbox/HICommonThemes.h>
#include <Units/Utilities/CGUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <HIToolbox/ControlKinds.h>

BRINDLET_DEFINE_CLASS(TTabControl, TControl)
BRINDLET_DEFINE_CLASS(TButtonControl, TControl)
BRINDLET_DEFINE_CLASS(TMenuControl, TButtonControl)
BRINDLET_DEFINE_CLASS(TCheckBoxControl, TControl)
BRINDLET_DEFINE_CLASS(TSegmentControl, TControl)

namespace {

constexpr OSType kItemActionTag = FourCC("ACTI");
constexpr OSType kItemTargetTag = FourCC("TARG");
constexpr CGFloat kDisabledAlpha = 0.4f;
// The pop-up arrows sit in the right 12 points of the button.
constexpr CGFloat kArrowsWidth = 12;

CGImageRef LoadImage(const ShortString& name, const ShortString& extension, const ShortString& folder)
{
    return CGImageLoadFromResource(ShortString(name.ToString() + "." + extension.ToString()), folder);
}

CGSize PixelSize(CGImageRef image)
{
    return image != nullptr ? CGSizeMake(CGImageGetWidth(image), CGImageGetHeight(image)) : CGSizeMake(0, 0);
}

}  // namespace

// ---- tabs ----

void TTabControl::Initialize()
{
    Inherited::Initialize();
    SelectCurrentPane();
}

void TTabControl::EventHit(ControlPartCode part, bool& flag, OSStatus& result)
{
    Inherited::EventHit(part, flag, result);
    if (GetValue() != currentPane_)
        SelectCurrentPane();
}

void TTabControl::SelectCurrentPane()
{
    WindowRef window = GetWindow();
    if (window == nullptr)
        return;
    const SInt32 value = GetValue();
    const SInt32 maximum = GetMaximum();
    ControlRef shown = nullptr;
    for (SInt32 index = 1; index <= maximum; ++index) {
        ControlRef pane = nullptr;
        const HIViewID id = {FourCC("tabs"), 100 + index};
        if (HIViewFindByID(HIViewGetRoot(window), id, &pane) != noErr || pane == nullptr)
            break;
        if (index == value) {
            currentPane_ = static_cast<SInt16>(index);
            shown = pane;
        } else {
            HIViewSetVisible(pane, false);
        }
    }
    // The hidden panes give up the focus before the new one shows.
    if (shown != nullptr) {
        ClearKeyboardFocus(window);
        HIViewSetVisible(shown, true);
    }
    SetNeedsDisplay();
}

// ---- image-drawn buttons ----

void TButtonControl::Deallocate()
{
    for (CGImageRef& image : images_) {
        if (image != nullptr)
            CGImageRelease(image);
        image = nullptr;
    }
    Inherited::Deallocate();
}

void TButtonControl::SetImages(const ShortString& folder, const ShortString& extension)
{
    if (images_[kLeft] != nullptr)
        return;
    images_[kLeft] = LoadImage("left", extension, folder);
    images_[kRight] = LoadImage("right", extension, folder);
    images_[kCenter] = LoadImage("center", extension, folder);
    images_[kLeftPressed] = LoadImage("left_pressed", extension, folder);
    images_[kRightPressed] = LoadImage("right_pressed", extension, folder);
    images_[kCenterPressed] = LoadImage("center_pressed", extension, folder);
    SetNeedsDisplay();
}

bool TButtonControl::IsPressed()
{
    return IsHilited() && IsActive() && IsEnabled();
}

void TButtonControl::DrawButtonImages(CGContextRef context, CGRect bounds)
{
    if (!(IsEnabled() && IsActive()))
        CGContextSetAlpha(context, kDisabledAlpha);
    if (IsPressed())
        HIThemeDrawCustomButton(context, images_[kLeftPressed], images_[kCenterPressed], images_[kRightPressed],
                                bounds);
    else
        HIThemeDrawCustomButton(context, images_[kLeft], images_[kCenter], images_[kRight], bounds);
}

void TButtonControl::DrawControl(CGContextRef context, CGRect bounds, OSStatus& result)
{
    if (images_[kLeft] == nullptr)
        return;
    DrawButtonImages(context, bounds);
    DrawText(context, bounds);
    DrawImage(context, bounds);
    result = noErr;
}

// ---- pop-up buttons ----

void TMenuControl::Initialize()
{
    Inherited::Initialize();
    RegisterMethod("TControl.popupMenuAction", BRINDLET_METHOD(TMenuControl, HandlePopupMenuAction));
}

void TMenuControl::Deallocate()
{
    ReleaseObject(menu_);
    Inherited::Deallocate();
}

MenuRef TMenuControl::GetMenu()
{
    MenuRef menu = nullptr;
    const OSType kind = TControl::GetKind().kind;
    if (kind == kControlKindPopupButton)
        GetData(kControlPopupButtonMenuRefTag, &menu, sizeof menu);
    else if (kind == kControlKindBevelButton)
        GetData(kControlBevelButtonMenuRefTag, &menu, sizeof menu);
    return menu;
}

void TMenuControl::SetHIMenu(MenuRef menu)
{
    const OSType kind = TControl::GetKind().kind;
    if (kind == kControlKindPopupButton)
        SetData(kControlPopupButtonMenuRefTag, &menu, sizeof menu);
    else if (kind == kControlKindBevelButton)
        SetData(kControlBevelButtonMenuRefTag, &menu, sizeof menu);
}

void TMenuControl::SetMenu(TMenu* menu)
{
    RetainObject(menu_, menu);
    SetHIMenu(menu != nullptr ? menu->GetRef() : nullptr);
}

void TMenuControl::SetValue(UInt32 value)
{
    SetMaximum(GetCount());
    TControl::SetValue(static_cast<SInt32>(value));
}

UInt16 TMenuControl::GetCount()
{
    return CountMenuItems(GetMenu());
}

TMenuItem* TMenuControl::GetSelectedItem()
{
    return menu_ != nullptr ? menu_->GetItemAtIndex(static_cast<UInt16>(GetValue())) : nullptr;
}

CGImageRef TMenuControl::GetImage()
{
    UInt8 type = 0;
    Handle icon = nullptr;
    Err = GetMenuItemIconHandle(GetMenu(), static_cast<MenuItemIndex>(GetValue()), &type, &icon);
    return Err == noErr && type == kMenuCGImageRefType ? reinterpret_cast<CGImageRef>(icon) : nullptr;
}

IconRef TMenuControl::GetIcon()
{
    UInt8 type = 0;
    Handle icon = nullptr;
    Err = GetMenuItemIconHandle(GetMenu(), static_cast<MenuItemIndex>(GetValue()), &type, &icon);
    return Err == noErr && type == kMenuIconRefType ? reinterpret_cast<IconRef>(icon) : nullptr;
}

MenuItemIndex TMenuControl::AppendItem(CFStringRef text)
{
    MenuItemIndex index = 0;
    Err = AppendMenuItemTextWithCFString(GetMenu(), text, 0, 0, &index);
    return Err == noErr ? index : 0;
}

MenuItemIndex TMenuControl::AppendItem(CFStringRef text, MethodCode method, TObject* target)
{
    const MenuItemIndex index = AppendItem(text);
    if (index != 0) {
        // Kept as the machine's pointers: a code pointer and an object.
        SetItemProperty(index, kItemActionTag, sizeof method, &method);
        SetItemProperty(index, kItemTargetTag, sizeof target, &target);
    }
    return index;
}

MenuItemIndex TMenuControl::AppendSeperator()
{
    MenuItemIndex index = 0;
    Err = AppendMenuItemTextWithCFString(GetMenu(), CFSTR("-"), kMenuItemAttrSeparator, 0, &index);
    return Err == noErr ? index : 0;
}

MenuItemIndex TMenuControl::AppendSectionHeader(CFStringRef text)
{
    MenuItemIndex index = 0;
    Err = AppendMenuItemTextWithCFString(GetMenu(), text, kMenuItemAttrSectionHeader, 0, &index);
    return Err == noErr ? index : 0;
}

void TMenuControl::Clear()
{
    MenuRef menu = GetMenu();
    Err = DeleteMenuItems(menu, 1, CountMenuItems(menu));
}

void TMenuControl::SetItemIcon(MenuItemIndex index, OSType creator, OSType type)
{
    IconRef icon = nullptr;
    Err = GetIconRef(kOnSystemDisk, creator, type, &icon);
    if (Err != noErr || icon == nullptr)
        return;
    Err = SetMenuItemIconHandle(GetMenu(), index, kMenuIconRefType, reinterpret_cast<Handle>(icon));
    ReleaseIconRef(icon);
}

void TMenuControl::SetItemImage(MenuItemIndex index, CGImageRef image)
{
    Err = SetMenuItemIconHandle(GetMenu(), index, kMenuCGImageRefType,
                                reinterpret_cast<Handle>(const_cast<CGImageObject*>(image)));
}

void TMenuControl::SetItemProperty(MenuItemIndex index, OSType tag, UInt32 size, const void* data)
{
    Err = SetMenuItemProperty(GetMenu(), index, kMenuPropertyCreator, tag, size, data);
}

bool TMenuControl::GetItemProperty(MenuItemIndex index, OSType tag, UInt32 size, void* data)
{
    ByteCount stored = 0;
    Err = GetMenuItemPropertySize(GetMenu(), index, kMenuPropertyCreator, tag, &stored);
    if (Err != noErr || stored != size)
        return false;
    Err = GetMenuItemProperty(GetMenu(), index, kMenuPropertyCreator, tag, size, nullptr, data);
    return Err == noErr;
}

void TMenuControl::HandlePopupMenuAction(TMenuItem* item)
{
    if (item != nullptr)
        SetValue(static_cast<UInt32>(item->GetIndex()));
}

CFStringRef TMenuControl::CopyText()
{
    CFStringRef text = nullptr;
    if (CopyMenuItemTextAsCFString(GetMenu(), static_cast<MenuItemIndex>(GetValue()), &text) != noErr)
        return nullptr;
    return text;
}

CFTypeRef TMenuControl::CopyValue()
{
    const SInt32 value = GetValue();
    return CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
}

void TMenuControl::RestoreValue()
{
    TPreferenceHandler* preferences = GetPreferences();
    if (preferences == nullptr || GetNameTag().IsEmpty())
        return;
    const SInt32 value = preferences->GetIntegerValue(GetPreferenceKey());
    // Nothing stored (0) keeps the selection the view came with.
    if (value <= 0)
        return;
    restoring_ = true;
    SetValue(static_cast<UInt32>(value));
    restoring_ = false;
}

void TMenuControl::ValueChanged()
{
    Inherited::ValueChanged();
    if (restoring_)
        return;
    const MenuItemIndex index = static_cast<MenuItemIndex>(GetValue());
    MethodCode method = nullptr;
    TObject* target = nullptr;
    if (GetItemProperty(index, kItemActionTag, sizeof method, &method) && method != nullptr) {
        GetItemProperty(index, kItemTargetTag, sizeof target, &target);
        if (target != nullptr && TObject::IsLiveObject(target))
            target->InvokeMethod(method, this);
        return;
    }
    if (!GetAction().IsEmpty() && GetTarget() != nullptr)
        InvokeAction(this);
}

void TMenuControl::RunAction(bool userHit)
{
    if (userHit)
        Inherited::RunAction(userHit);
}

void TMenuControl::SetImages(const ShortString& folder, const ShortString& extension)
{
    Inherited::SetImages(folder, extension);
    if (images_[kArrows] == nullptr)
        images_[kArrows] = LoadImage("arrows", extension, folder);
    if (images_[kArrowsPressed] == nullptr)
        images_[kArrowsPressed] = LoadImage("arrows_pressed", extension, folder);
}

void TMenuControl::DrawControl(CGContextRef context, CGRect bounds, OSStatus& result)
{
    if (images_[kLeft] == nullptr)
        return;
    DrawButtonImages(context, bounds);
    if (CGImageRef arrows = IsPressed() ? images_[kArrowsPressed] : images_[kArrows]) {
        const CGSize size = PixelSize(arrows);
        const CGRect placed = CGRectMake(bounds.size.width - kArrowsWidth, bounds.origin.y, size.width, size.height);
        HIViewDrawCGImage(context, &placed, arrows);
    }
    CGRect text = bounds;
    text.origin.x += kArrowsWidth;
    text.size.width -= kArrowsWidth;
    DrawText(context, text);
    result = noErr;
}

// ---- image-drawn check boxes ----

void TCheckBoxControl::Deallocate()
{
    for (CGImageRef& image : images_) {
        if (image != nullptr)
            CGImageRelease(image);
        image = nullptr;
    }
    Inherited::Deallocate();
}

void TCheckBoxControl::SetValue(bool checked)
{
    TControl::SetValue(checked ? kControlCheckBoxCheckedValue : kControlCheckBoxUncheckedValue);
}

bool TCheckBoxControl::GetBooleanValue()
{
    return TControl::GetValue() == kControlCheckBoxCheckedValue;
}

void TCheckBoxControl::SetChecked(bool checked)
{
    SetValue(checked);
}

bool TCheckBoxControl::IsChecked()
{
    return GetBooleanValue();
}

CGRect TCheckBoxControl::GetButtonBounds(CGRect rect, ImageIndex index)
{
    const CGSize size = PixelSize(images_[index]);
    return CGRectMake(rect.origin.x + 1, (rect.origin.y + size.height) / 2, size.width, size.height);
}

void TCheckBoxControl::SetImages(const ShortString& folder, const ShortString& extension)
{
    if (images_[kOn] != nullptr)
        return;
    images_[kOn] = LoadImage("on", extension, folder);
    images_[kOnPressed] = LoadImage("on_pressed", extension, folder);
    images_[kOff] = LoadImage("off", extension, folder);
    images_[kOffPressed] = LoadImage("off_pressed", extension, folder);
    SetNeedsDisplay();
}

void TCheckBoxControl::DrawControl(CGContextRef context, CGRect bounds, OSStatus& result)
{
    if (images_[kOn] == nullptr)
        return;
    if (!(IsEnabled() && IsActive()))
        CGContextSetAlpha(context, kDisabledAlpha);
    const bool pressed = IsHilited() && IsActive() && IsEnabled();
    const bool checked = IsChecked();
    const ImageIndex index = checked ? (pressed ? kOnPressed : kOn) : (pressed ? kOffPressed : kOff);
    if (CGImageRef image = images_[index]) {
        const CGRect placed = GetButtonBounds(bounds, index);
        HIViewDrawCGImage(context, &placed, image);
    }
    CGRect text = bounds;
    const CGFloat indent = PixelSize(images_[kOn]).width + 4;
    text.origin.x += indent;
    text.size.width -= indent;
    DrawText(context, text);
    result = noErr;
}

CFTypeRef TCheckBoxControl::CopyValue()
{
    return CFRetain(GetBooleanValue() ? kCFBooleanTrue : kCFBooleanFalse);
}

void TCheckBoxControl::RestoreValue()
{
    TPreferenceHandler* preferences = GetPreferences();
    if (preferences == nullptr || GetNameTag().IsEmpty())
        return;
    SetValue(preferences->GetBooleanValue(GetPreferenceKey()));
}

// ---- segmented views ----

void TSegmentControl::SetSegmentImage(UInt32 segment, CGImageRef image)
{
    HIViewImageContentInfo content{};
    content.contentType = kControlContentCGImageRef;
    content.u.imageRef = image;
    Err = HISegmentedViewSetSegmentImage(GetHIView(), segment, &content);
}

void TSegmentControl::SetSegmentIcon(UInt32 segment, IconRef icon)
{
    HIViewImageContentInfo content{};
    content.contentType = kControlContentIconRef;
    content.u.iconRef = icon;
    Err = HISegmentedViewSetSegmentImage(GetHIView(), segment, &content);
}

void TSegmentControl::SetSegmentLabel(UInt32 segment, CFStringRef label)
{
    Err = HISegmentedViewSetSegmentLabel(GetHIView(), segment, label);
}

void TSegmentControl::SetSegmentAction(UInt32 segment, TObject* target, MethodCode method)
{
    if (segment >= kSegmentActionCount)
        return;
    actions_[segment] = {target, method};
}

void TSegmentControl::EventHit(ControlPartCode part, bool& flag, OSStatus& result)
{
    Inherited::EventHit(part, flag, result);
    result = noErr;
    // Parts past the table have no actions.
    if (part < 0 || part >= kSegmentActionCount)
        return;
    const SegmentAction action = actions_[part];
    if (action.target != nullptr && action.method != nullptr)
        action.target->InvokeMethod(action.method, this);
}
