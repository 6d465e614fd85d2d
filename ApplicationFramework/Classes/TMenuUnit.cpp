#include "TMenuUnit.h"

#include <HIToolbox/HITheme.h>

#include <algorithm>
#include <cmath>

BRINDLET_DEFINE_CLASS(TMenuHandler, TEventHandler)
BRINDLET_DEFINE_CLASS(TMenu, TResponder)
BRINDLET_DEFINE_CLASS(TMenuItem, TResponder)

namespace {

// The parameters of the measuring and drawing events the menu layer has no
// names for.
constexpr EventParamName kParamMenuItemContentBounds = FourCC("micb");
constexpr EventParamName kParamMenuMcht = FourCC("mcht");
constexpr EventParamType kTypeCGFloat = FourCC("cgfl");

// An object pointer kept in a menu property, when it still names a live
// object of the class (a property can outlive what it pointed at when
// someone else set it).
TObject* PropertyObject(MenuRef menu, MenuItemIndex index, OSType tag, const ClassInfo& classInfo)
{
    TObject* object = nullptr;
    ByteCount size = 0;
    if (GetMenuItemProperty(menu, index, kMenuPropertyCreator, tag, sizeof object, &size, &object) != noErr ||
        size != sizeof object)
        return nullptr;
    if (!TObject::IsLiveObject(object) || !MemberOfClass(object, classInfo))
        return nullptr;
    return object;
}

SInt16 ClampToShort(CGFloat value)
{
    if (std::isnan(value))
        return 0;
    return SInt16(std::clamp<CGFloat>(std::trunc(value), -32768, 32767));
}

CGRect RectToCGRect(const Rect& rect)
{
    return CGRectMake(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

}  // namespace

// ---- finding the objects ----

TMenu* GetMenuObject(MenuRef menu)
{
    return static_cast<TMenu*>(PropertyObject(menu, 0, kMenuPropertyTagMenu, TMenu::StaticClass()));
}

TMenuItem* GetMenuItemObject(MenuRef menu, MenuItemIndex index)
{
    if (index == 0)
        return nullptr;
    return static_cast<TMenuItem*>(PropertyObject(menu, index, kMenuPropertyTagItem, TMenuItem::StaticClass()));
}

void ProcessMenuCommand(const HICommand& command, SInt32& result)
{
    TMenuItem* item = GetMenuItemObject(command.menu.menuRef, command.menu.menuItemIndex);
    if (!item)
        return;
    // The action may close the menu that holds the item.
    item->Retain();
    item->InvokeAction(item);
    item->Release();
    result = noErr;
}

// ---- TMenuHandler ----

void TMenuHandler::Initialize()
{
    Inherited::Initialize();
    for (UInt32 kind : {kEventMenuPopulate, kEventMenuTargetItem, kEventMenuDrawItem, kEventMenuDrawItemContent,
                        kEventMenuMeasureItemWidth, kEventMenuMeasureItemHeight})
        AppendEvent(kEventClassMenu, kind);
}

void TMenuHandler::HandleEvent(EventRef, UInt32 eventClass, UInt32 eventKind, SInt32& result)
{
    if (eventClass != kEventClassMenu)
        return;
    UInt32 context = 0;
    GetParameter(kEventParamMenuContext, typeUInt32, sizeof context, &context);
    MenuRef menu = nullptr;
    GetParameter(kEventParamDirectObject, typeMenuRef, sizeof menu, &menu);
    MenuItemIndex index = 0;
    TMenuItem* item = nullptr;
    if (GetParameter(kEventParamMenuItemIndex, typeMenuItemIndex, sizeof index, &index) == noErr)
        item = GetMenuItemObject(menu, index);
    TMenu* menuObject = GetMenuObject(menu);

    switch (eventKind) {
    case kEventMenuTargetItem:
        if (item)
            item->HandleTarget(result);
        if (result == eventNotHandledErr)
            EventTargetItem(menu, index, result);
        break;
    case kEventMenuPopulate:
        if (menuObject)
            menuObject->HandlePopulate(result);
        if (result == eventNotHandledErr)
            EventPopulate(menu, result);
        break;
    case kEventMenuMeasureItemWidth:
    case kEventMenuMeasureItemHeight: {
        const bool width = eventKind == kEventMenuMeasureItemWidth;
        const EventParamName name = width ? kEventParamMenuItemWidth : kEventParamMenuItemHeight;
        SInt16 given = 0;
        GetParameter(name, typeSInt16, sizeof given, &given);
        SInt32 measure = given;
        if (item) {
            if (width)
                item->HandleMeasureWidth(measure, result);
            else
                item->HandleMeasureHeight(measure, result);
        }
        if (result == eventNotHandledErr) {
            if (width)
                EventMeasureItemWidth(menu, index, measure, result);
            else
                EventMeasureItemHeight(menu, index, measure, result);
        }
        if (result == noErr) {
            const SInt16 answer = SInt16(std::clamp<SInt32>(measure, -32768, 32767));
            SetParameter(name, typeSInt16, sizeof answer, &answer);
        }
        break;
    }
    case kEventMenuDrawItem:
    case kEventMenuDrawItemContent: {
        CGContextRef drawingContext = nullptr;
        GetParameter(kEventParamCGContextRef, typeCGContextRef, sizeof drawingContext, &drawingContext);
        MenuDrawingGeometry geometry;
        GetParameter(kParamMenuMcht, kTypeCGFloat, sizeof geometry.mcht, &geometry.mcht);
        Rect bounds = {0, 0, 0, 0};
        GetParameter(kEventParamMenuItemBounds, typeQDRectangle, sizeof bounds, &bounds);
        geometry.itemBounds = RectToCGRect(bounds);
        if (eventKind == kEventMenuDrawItem) {
            geometry.itemBounds.origin.y -= geometry.mcht;
            if (item)
                item->HandleDraw(geometry, drawingContext, result);
            if (result == eventNotHandledErr)
                EventDrawItem(menu, index, geometry, drawingContext, result);
        } else {
            if (item)
                item->HandleDrawContent(geometry, drawingContext, result);
            if (result == eventNotHandledErr)
                EventDrawItemContent(menu, index, geometry, drawingContext, result);
            if (result == noErr)
                SetParameter(kParamMenuItemContentBounds, typeQDRectangle, sizeof geometry.contentBounds,
                             &geometry.contentBounds);
        }
        break;
    }
    default:
        break;
    }
}

void TMenuHandler::EventPopulate(MenuRef, SInt32&) {}
void TMenuHandler::EventTargetItem(MenuRef, MenuItemIndex, SInt32&) {}
void TMenuHandler::EventDrawItem(MenuRef, MenuItemIndex, MenuDrawingGeometry&, CGContextRef, SInt32&) {}
void TMenuHandler::EventDrawItemContent(MenuRef, MenuItemIndex, MenuDrawingGeometry&, CGContextRef, SInt32&) {}
void TMenuHandler::EventMeasureItemWidth(MenuRef, MenuItemIndex, SInt32&, SInt32&) {}
void TMenuHandler::EventMeasureItemHeight(MenuRef, MenuItemIndex, SInt32&, SInt32&) {}

// ---- TMenu ----

TMenu* TMenu::Create(UInt32 menuID)
{
    return CreateWithMenuID<TMenu>(menuID);
}

void TMenu::Initialize()
{
    Inherited::Initialize();
    if (!menu_)
        CreateNewMenu(0, 0, &menu_);
    handler_ = TMenuHandler::Create(menu_);
    TMenu* self = this;
    SetMenuItemProperty(menu_, 0, kMenuPropertyCreator, kMenuPropertyTagMenu, sizeof self, &self);
}

void TMenu::Deallocate()
{
    ReleaseObject(handler_);
    // The Carbon menu may live on (a supermenu holds it): nothing on it may
    // lead back to these objects once they are gone.
    const UInt16 count = GetCount();
    for (UInt16 index = 1; index <= count; ++index) {
        TMenuItem* item = GetItemAtIndex(index);
        if (!item)
            continue;
        RemoveMenuItemProperty(menu_, index, kMenuPropertyCreator, kMenuPropertyTagItem);
        if (item->menu_ == this) {
            item->menu_ = nullptr;
            item->index_ = 0;
        }
        item->Release();
    }
    if (menu_) {
        RemoveMenuItemProperty(menu_, 0, kMenuPropertyCreator, kMenuPropertyTagMenu);
        ReleaseMenu(menu_);
        menu_ = nullptr;
    }
    Inherited::Deallocate();
}

UInt16 TMenu::GetCount() const
{
    return CountMenuItems(menu_);
}

TMenuItem* TMenu::GetItemAtIndex(UInt16 index) const
{
    return GetMenuItemObject(menu_, index);
}

void TMenu::AppendItem(TMenuItem* item)
{
    if (!item || !menu_)
        return;
    MenuItemIndex index = 0;
    if (AppendMenuItemTextWithCFString(menu_, item->title_, item->attributes_, item->command_, &index) != noErr)
        return;
    item->Retain();
    item->index_ = index;
    item->menu_ = this;
    TMenuItem* stored = item;
    SetMenuItemProperty(menu_, index, kMenuPropertyCreator, kMenuPropertyTagItem, sizeof stored, &stored);
    item->HandleAttached(this);
}

UInt16 TMenu::Display(CGPoint point)
{
    if (!menu_)
        return 0;
    const Point where = {ClampToShort(point.y), ClampToShort(point.x)};
    MenuItemIndex chosen = 0;
    // The chosen item's action (run by the command handling while the
    // menu is still being tracked) may release the menu.
    Retain();
    MenuRef menu = menu_;
    ContextualMenuSelect(menu, where, false, kCMHelpItemRemoveHelp, nullptr, nullptr, nullptr, nullptr, &chosen);
    Release();
    return chosen;
}

void TMenu::HandlePopulate(SInt32&) {}

// ---- TMenuItem ----

TMenuItem* TMenuItem::Create(CFStringRef title, const ShortString& action, TObject* target)
{
    TMenuItem* item = AllocateInstance<TMenuItem>();
    item->title_ = CFStringCreateCopy(nullptr, title ? title : CFSTR(""));
    item->SetAction(action);
    item->SetTarget(target);
    item->Initialize();
    return item;
}

void TMenuItem::Initialize()
{
    Inherited::Initialize();
    if (!title_)
        title_ = CFStringCreateCopy(nullptr, CFSTR(""));
    enabled_ = true;
}

void TMenuItem::Deallocate()
{
    menu_ = nullptr;
    ReleaseObject(submenu_);
    if (icon_) {
        ReleaseIconRef(icon_);
        icon_ = nullptr;
    }
    if (title_) {
        CFRelease(title_);
        title_ = nullptr;
    }
    Inherited::Deallocate();
}

bool TMenuItem::IsAttached() const
{
    return menu_ && menu_->GetRef() && index_ >= 1;
}

void TMenuItem::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    if (!IsAttached())
        return;
    if (enabled)
        EnableMenuItem(menu_->GetRef(), index_);
    else
        DisableMenuItem(menu_->GetRef(), index_);
}

void TMenuItem::SetChecked(bool checked)
{
    checked_ = checked;
    if (IsAttached())
        CheckMenuItem(menu_->GetRef(), index_, checked);
}

void TMenuItem::SetSubmenu(TMenu* submenu)
{
    RetainObject(submenu_, submenu);
    if (IsAttached())
        SetMenuItemHierarchicalMenu(menu_->GetRef(), index_, submenu ? submenu->GetRef() : nullptr);
}

void TMenuItem::SetIcon(IconRef icon)
{
    if (icon != icon_) {
        if (icon)
            AcquireIconRef(icon);
        if (icon_)
            ReleaseIconRef(icon_);
        icon_ = icon;
    }
    if (IsAttached())
        SetMenuItemIconHandle(menu_->GetRef(), index_, icon ? kMenuIconRefType : kMenuNoIcon,
                              reinterpret_cast<Handle>(icon));
}

void TMenuItem::SetFont(const MenuFont& font)
{
    font_ = font;
    if (!IsAttached())
        return;
    UInt16 size = font.size;
    if (font.themeFontID != 0) {
        Str255 name = {0};
        SInt16 themeSize = 0;
        Style style = normal;
        if (GetThemeFont(font.themeFontID, smSystemScript, name, &themeSize, &style) != noErr)
            return;
        size = UInt16(std::max<SInt16>(themeSize, 0));
    }
    SetMenuFont(menu_->GetRef(), 0, size);
}

void TMenuItem::SetCommand(UInt32 command)
{
    command_ = command;
    if (IsAttached())
        SetMenuItemCommandID(menu_->GetRef(), index_, command);
}

void TMenuItem::SetAttributes(UInt32 attributes)
{
    attributes_ = attributes & ~kMenuItemAttrDisabled;
    if (IsAttached())
        ChangeMenuItemAttributes(menu_->GetRef(), index_, attributes_, ~(attributes_ | kMenuItemAttrDisabled));
}

void TMenuItem::HandleAttached(TMenu* menu)
{
    if (icon_)
        SetIcon(icon_);
    if (submenu_)
        SetSubmenu(submenu_);
    SetChecked(checked_);
    SetEnabled(enabled_);
    if (!font_.IsEmpty())
        SetFont(font_);
    else if (menu && !menu->GetFont().IsEmpty())
        SetFont(menu->GetFont());
}

void TMenuItem::HandleTarget(SInt32&) {}
void TMenuItem::HandleDraw(MenuDrawingGeometry&, CGContextRef, SInt32&) {}
void TMenuItem::HandleDrawContent(MenuDrawingGeometry&, CGContextRef, SInt32&) {}
void TMenuItem::HandleMeasureWidth(SInt32&, SInt32&) {}
void TMenuItem::HandleMeasureHeight(SInt32&, SInt32&) {}

// ---- the unit ----

void InitializeTMenuUnit()
{
    RegisterClass(TMenu::StaticClass());
    RegisterClass(TMenuItem::StaticClass());
}
