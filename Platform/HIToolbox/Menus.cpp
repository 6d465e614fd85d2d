#include "MenusInternal.h"

#include <CoreGraphics/CGImage.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <unordered_set>

namespace {

CFTypeID MenuTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("HIMenu");
    return type;
}

std::unordered_set<const OpaqueMenuRef*>& LiveMenus()
{
    static auto* live = new std::unordered_set<const OpaqueMenuRef*>;
    return *live;
}

MenuRef gRootMenu = nullptr;  // retained

MenuTestChooser& Chooser()
{
    static auto* chooser = new MenuTestChooser;
    return *chooser;
}

// Holds a menu for the length of a scope in which handlers run (they may
// release it).
class MenuHold {
public:
    explicit MenuHold(MenuRef menu) : menu_(menu) { CFRetain(menu_); }
    ~MenuHold() { CFRelease(menu_); }
    MenuHold(const MenuHold&) = delete;
    MenuHold& operator=(const MenuHold&) = delete;

private:
    MenuRef menu_;
};

EventTargetRef MenuParentTarget(void* refCon)
{
    MenuRef menu = AsMenu(static_cast<MenuRef>(refCon));
    if (menu && AsMenu(menu->supermenu))
        return menu->supermenu->target;
    return GetUserFocusEventTarget();
}

CFStringRef CopyText(CFStringRef text)
{
    return text ? CFStringCreateCopy(nullptr, text) : CFStringCreateCopy(nullptr, CFSTR(""));
}

void ReleaseIcon(UInt8 type, void* icon)
{
    if (type == kMenuIconRefType)
        ReleaseIconRef(static_cast<IconRef>(icon));
    else if (type == kMenuCGImageRefType)
        CGImageRelease(static_cast<CGImageRef>(icon));
}

// Whether `menu` is `target` or holds it as a submenu, however deep.
bool Holds(MenuRef menu, MenuRef target, int depth = 0)
{
    if (menu == target)
        return true;
    if (depth > 256)
        return true;  // deeper than any menu a person builds: refuse rather than recurse on
    for (const auto& item : menu->items)
        if (item->submenu && Holds(item->submenu, target, depth + 1))
            return true;
    return false;
}

// The item's submenu no longer hangs from `menu`.
void Detach(MenuRef menu, MenuItem& item)
{
    if (item.submenu && item.submenu->supermenu == menu)
        item.submenu->supermenu = nullptr;
}

OSStatus Find(MenuRef menu, MenuItemIndex index, MenuItem** outItem)
{
    if (!AsMenu(menu))
        return paramErr;
    if (index < 1 || index > menu->items.size())
        return menuItemNotFoundErr;
    *outItem = menu->items[index - 1].get();
    return noErr;
}

OSStatus PropertiesOf(MenuRef menu, MenuItemIndex index, MenuProperties** outProperties)
{
    if (!AsMenu(menu))
        return paramErr;
    if (index == 0) {
        *outProperties = &menu->properties;
        return noErr;
    }
    MenuItem* item = nullptr;
    const OSStatus status = Find(menu, index, &item);
    if (status == noErr)
        *outProperties = &item->properties;
    return status;
}

// Applies `change` to the item and tells the bar; the status of the lookup.
template <typename Change>
OSStatus Edit(MenuRef menu, MenuItemIndex index, Change change)
{
    MenuItem* item = nullptr;
    const OSStatus status = Find(menu, index, &item);
    if (status != noErr)
        return status;
    change(*item);
    MenuNoteChanged(menu);
    return noErr;
}

template <typename Read>
OSStatus Query(MenuRef menu, MenuItemIndex index, const void* output, Read read)
{
    if (!output)
        return paramErr;
    MenuItem* item = nullptr;
    const OSStatus status = Find(menu, index, &item);
    if (status == noErr)
        read(*item);
    return status;
}

std::unique_ptr<MenuItem> NewItem(CFStringRef text, MenuItemAttributes attributes, MenuCommand command)
{
    auto item = std::make_unique<MenuItem>();
    item->text = CopyText(text);
    item->attributes = attributes;
    item->command = command;
    return item;
}

// Depth first: an item, then its submenu.
bool FindCommand(MenuRef menu, MenuCommand command, UInt32& remaining, MenuRef* outMenu, MenuItemIndex* outIndex,
                 int depth = 0)
{
    if (depth > 256)
        return false;
    for (size_t i = 0; i < menu->items.size(); ++i) {
        const MenuItem& item = *menu->items[i];
        if (item.command == command && --remaining == 0) {
            *outMenu = menu;
            *outIndex = MenuItemIndex(i + 1);
            return true;
        }
        if (item.submenu && FindCommand(item.submenu, command, remaining, outMenu, outIndex, depth + 1))
            return true;
    }
    return false;
}

bool FirstWithCommand(MenuRef menu, MenuCommand command, MenuRef* outMenu, MenuItemIndex* outIndex)
{
    return GetIndMenuItemWithCommandID(menu, command, 1, outMenu, outIndex) == noErr;
}

EventRef NewMenuEvent(MenuRef menu, UInt32 kind, UInt32 context)
{
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassMenu, kind, GetCurrentEventTime(), 0, &event);
    SetEventParameter(event, kEventParamDirectObject, typeMenuRef, sizeof menu, &menu);
    SetEventParameter(event, kEventParamMenuContext, typeUInt32, sizeof context, &context);
    return event;
}

OSStatus SendToMenu(MenuRef menu, EventRef event)
{
    const OSStatus status = AsMenu(menu) ? SendEventToEventTarget(event, menu->target) : eventNotHandledErr;
    ReleaseEvent(event);
    return status;
}

OSStatus SendCommand(MenuRef menu, MenuItemIndex index, UInt32 kind, UInt32 context)
{
    MenuItem* item = MenuItemAt(menu, index);
    if (!item)
        return menuItemNotFoundErr;
    HICommand command = {};
    command.attributes = kHICommandFromMenu;
    command.commandID = item->command;
    command.menu.menuRef = menu;
    command.menu.menuItemIndex = index;
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassCommand, kind, GetCurrentEventTime(), 0, &event);
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    SetEventParameter(event, kEventParamMenuContext, typeUInt32, sizeof context, &context);
    return SendToMenu(menu, event);
}

// The update-status pass for one item. With auto-disable, an item whose
// command nobody claims is disabled.
void UpdateItemStatus(MenuRef menu, MenuItemIndex index, UInt32 context)
{
    MenuItem* item = MenuItemAt(menu, index);
    if (!item || item->command == 0)
        return;
    const bool autoDisable = (menu->attributes & kMenuAttrAutoDisable) || (item->attributes & kMenuItemAttrAutoDisable);
    if (autoDisable)
        item->attributes &= ~kMenuItemAttrDisabled;
    const OSStatus status = SendCommand(menu, index, kEventCommandUpdateStatus, context);
    if (autoDisable && status == eventNotHandledErr)
        if (MenuItem* still = MenuItemAt(menu, index))
            still->attributes |= kMenuItemAttrDisabled;
}

// ---- key equivalents ----

struct KeyPress {
    UInt32 keyCode = 0;
    UInt8 charCode = 0;
    EventModifiers modifiers = 0;  // command, shift, option, control only
    bool repeat = false;
};

bool ReadKey(EventRef event, KeyPress* key)
{
    if (!event || GetEventClass(event) != kEventClassKeyboard)
        return false;
    const UInt32 kind = GetEventKind(event);
    if (kind != kEventRawKeyDown && kind != kEventRawKeyRepeat)
        return false;
    EventModifiers modifiers = 0;
    GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
    GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof key->keyCode, nullptr, &key->keyCode);
    GetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, nullptr, 1, nullptr, &key->charCode);
    key->modifiers = modifiers & cmdKey;
    if (modifiers & (shiftKey | rightShiftKey))
        key->modifiers |= shiftKey;
    if (modifiers & (optionKey | rightOptionKey))
        key->modifiers |= optionKey;
    if (modifiers & (controlKey | rightControlKey))
        key->modifiers |= controlKey;
    key->repeat = kind == kEventRawKeyRepeat;
    return true;
}

bool MatchesKey(const MenuItem& item, const KeyPress& key)
{
    if (item.attributes & kMenuItemAttrSeparator)
        return false;
    if ((item.attributes & kMenuItemAttrHidden) && !(item.attributes & kMenuItemAttrIncludeInCmdKeyMatching))
        return false;
    if (key.repeat && !(item.attributes & kMenuItemAttrAutoRepeat))
        return false;
    const EventModifiers wanted = MenuKeyModifiers(item.modifiers);
    if (item.attributes & kMenuItemAttrUseVirtualKey)
        return item.virtualKey == key.keyCode && key.modifiers == wanted;
    if (item.commandKey == 0 || item.commandKey > 0x7F || key.charCode == 0)
        return false;
    const int wantedChar = std::toupper(int(item.commandKey));
    if (wantedChar != std::toupper(int(key.charCode)))
        return false;
    if (key.modifiers == wanted)
        return true;
    // "?" is typed with shift: an equivalent that is no letter takes the
    // character as typed, whatever shift it needed.
    return !std::isalpha(wantedChar) && key.modifiers == (wanted | shiftKey);
}

bool FindKey(MenuRef menu, const KeyPress& key, MenuEventOptions options, MenuRef* outMenu, MenuItemIndex* outIndex,
             int depth = 0)
{
    if (depth > 256 || (!menu->enabled && !(options & kMenuEventIncludeDisabledItems)))
        return false;
    MenuHold hold(menu);
    for (MenuItemIndex index = 1; AsMenu(menu) && index <= menu->items.size(); ++index) {
        MenuItem* item = menu->items[index - 1].get();
        if (MatchesKey(*item, key)) {
            UpdateItemStatus(menu, index, kMenuContextKeyMatching);
            item = MenuItemAt(menu, index);
            if (item && ((options & kMenuEventIncludeDisabledItems) ||
                         (menu->enabled && !(item->attributes & kMenuItemAttrDisabled)))) {
                *outMenu = menu;
                *outIndex = index;
                return true;
            }
        }
        item = MenuItemAt(menu, index);
        if (item && item->submenu && !(options & kMenuEventDontCheckSubmenus) &&
            FindKey(item->submenu, key, options, outMenu, outIndex, depth + 1))
            return true;
    }
    return false;
}

}  // namespace

// ---- the objects ----

MenuItem::~MenuItem()
{
    CFRelease(text);
    ReleaseIcon(iconType, icon);
    if (submenu)
        CFRelease(submenu);
}

OpaqueMenuRef::OpaqueMenuRef() : CFRuntimeObject(MenuTypeID()), title(CopyText(nullptr))
{
    target = CreateEventTarget(MenuParentTarget, this);
    LiveMenus().insert(this);
}

OpaqueMenuRef::~OpaqueMenuRef()
{
    LiveMenus().erase(this);
    for (const OpaqueMenuRef* other : LiveMenus())
        if (other->supermenu == this)
            const_cast<OpaqueMenuRef*>(other)->supermenu = nullptr;
    items.clear();
    DisposeEventTarget(target);
    CFRelease(title);
}

MenuRef AsMenu(MenuRef menu)
{
    return menu && LiveMenus().count(menu) ? menu : nullptr;
}

MenuItem* MenuItemAt(MenuRef menu, MenuItemIndex index)
{
    MenuItem* item = nullptr;
    return Find(menu, index, &item) == noErr ? item : nullptr;
}

MenuRef MenuBarRoot()
{
    return AsMenu(gRootMenu);
}

const MenuTestChooser& MenuTestCurrentChooser()
{
    return Chooser();
}

void MenuTestSetChooser(MenuTestChooser chooser)
{
    Chooser() = std::move(chooser);
}

// ---- opening and choosing ----

bool MenuPrepareToOpen(MenuRef menu, UInt32 context)
{
    if (!AsMenu(menu))
        return false;
    MenuHold hold(menu);
    SendToMenu(menu, NewMenuEvent(menu, kEventMenuPopulate, context));
    EventRef opening = NewMenuEvent(menu, kEventMenuOpening, context);
    const Boolean firstOpen = true;  // menus are built afresh each time they open
    SetEventParameter(opening, kEventParamMenuFirstOpen, typeBoolean, sizeof firstOpen, &firstOpen);
    const OSStatus status = SendToMenu(menu, opening);
    if (status != noErr && status != eventNotHandledErr)
        return false;
    EventRef enable = NewMenuEvent(menu, kEventMenuEnableItems, context | kMenuContextMenuEnabling);
    const Boolean forKey = false;
    SetEventParameter(enable, kEventParamEnableMenuForKeyEvent, typeBoolean, sizeof forKey, &forKey);
    SendToMenu(menu, enable);
    for (MenuItemIndex index = 1; AsMenu(menu) && index <= menu->items.size(); ++index)
        UpdateItemStatus(menu, index, context | kMenuContextMenuEnabling);
    return AsMenu(menu) != nullptr;
}

void MenuSendClosed(MenuRef menu, UInt32 context)
{
    if (AsMenu(menu))
        SendToMenu(menu, NewMenuEvent(menu, kEventMenuClosed, context));
}

void MenuSendTargetItem(MenuRef menu, MenuItemIndex index, UInt32 context)
{
    MenuItem* item = MenuItemAt(menu, index);
    if (!item)
        return;
    EventRef event = NewMenuEvent(menu, kEventMenuTargetItem, context);
    SetEventParameter(event, kEventParamMenuItemIndex, typeMenuItemIndex, sizeof index, &index);
    SetEventParameter(event, kEventParamMenuCommand, typeMenuCommand, sizeof item->command, &item->command);
    SendToMenu(menu, event);
}

bool MenuItemIsChoosable(MenuRef menu, MenuItemIndex index)
{
    const MenuItem* item = MenuItemAt(menu, index);
    return item && menu->enabled &&
           !(item->attributes &
             (kMenuItemAttrDisabled | kMenuItemAttrSeparator | kMenuItemAttrSectionHeader | kMenuItemAttrHidden));
}

OSStatus MenuSendItemCommand(MenuRef menu, MenuItemIndex index, UInt32 context)
{
    if (!AsMenu(menu))
        return paramErr;
    MenuHold hold(menu);
    return SendCommand(menu, index, kEventCommandProcess, context);
}

// ---- menus ----

OSStatus CreateNewMenu(MenuID inMenuID, MenuAttributes inMenuAttributes, MenuRef* outMenuRef)
{
    if (!outMenuRef)
        return paramErr;
    auto* menu = new OpaqueMenuRef;
    menu->id = inMenuID;
    menu->attributes = inMenuAttributes;
    *outMenuRef = menu;
    return noErr;
}

OSStatus RetainMenu(MenuRef inMenu)
{
    if (!AsMenu(inMenu))
        return paramErr;
    CFRetain(inMenu);
    return noErr;
}

OSStatus ReleaseMenu(MenuRef inMenu)
{
    if (!AsMenu(inMenu))
        return paramErr;
    CFRelease(inMenu);
    return noErr;
}

void DisposeMenu(MenuRef theMenu)
{
    ReleaseMenu(theMenu);
}

ItemCount GetMenuRetainCount(MenuRef inMenu)
{
    return AsMenu(inMenu) ? ItemCount(inMenu->RetainCount()) : 0;
}

Boolean IsValidMenu(MenuRef inMenu)
{
    return AsMenu(inMenu) != nullptr;
}

MenuID GetMenuID(MenuRef menu)
{
    return AsMenu(menu) ? menu->id : 0;
}

void SetMenuID(MenuRef menu, MenuID menuID)
{
    if (AsMenu(menu))
        menu->id = menuID;
}

OSStatus SetMenuTitleWithCFString(MenuRef inMenu, CFStringRef inString)
{
    if (!AsMenu(inMenu) || !inString)
        return paramErr;
    CFStringRef title = CopyText(inString);
    CFRelease(inMenu->title);
    inMenu->title = title;
    MenuNoteChanged(inMenu, true);
    return noErr;
}

OSStatus CopyMenuTitleAsCFString(MenuRef inMenu, CFStringRef* outString)
{
    if (!AsMenu(inMenu) || !outString)
        return paramErr;
    *outString = CopyText(inMenu->title);
    return noErr;
}

OSStatus GetMenuAttributes(MenuRef menu, MenuAttributes* outAttributes)
{
    if (!AsMenu(menu) || !outAttributes)
        return paramErr;
    *outAttributes = menu->attributes;
    return noErr;
}

OSStatus ChangeMenuAttributes(MenuRef menu, MenuAttributes setTheseAttributes, MenuAttributes clearTheseAttributes)
{
    if (!AsMenu(menu))
        return paramErr;
    menu->attributes = (menu->attributes | setTheseAttributes) & ~clearTheseAttributes;
    MenuNoteChanged(menu, true);
    return noErr;
}

OSStatus SetMenuFont(MenuRef menu, FMFontFamily inFontID, UInt16 inFontSize)
{
    if (!AsMenu(menu))
        return paramErr;
    menu->fontID = inFontID;
    menu->fontSize = inFontSize;
    return noErr;
}

OSStatus GetMenuFont(MenuRef menu, FMFontFamily* outFontID, UInt16* outFontSize)
{
    if (!AsMenu(menu))
        return paramErr;
    if (outFontID)
        *outFontID = menu->fontID;
    if (outFontSize)
        *outFontSize = menu->fontSize;
    return noErr;
}

EventTargetRef GetMenuEventTarget(MenuRef inMenu)
{
    return AsMenu(inMenu) ? inMenu->target : nullptr;
}

// ---- items ----

UInt16 CountMenuItems(MenuRef theMenu)
{
    return AsMenu(theMenu) ? UInt16(theMenu->items.size()) : 0;
}

OSStatus AppendMenuItemTextWithCFString(MenuRef menu, CFStringRef inString, MenuItemAttributes inAttributes,
                                        MenuCommand inCommandID, MenuItemIndex* outNewItem)
{
    if (!AsMenu(menu))
        return paramErr;
    if (menu->items.size() >= 0xFFFF)
        return menuItemNotFoundErr;  // an index would not fit
    menu->items.push_back(NewItem(inString, inAttributes, inCommandID));
    if (outNewItem)
        *outNewItem = MenuItemIndex(menu->items.size());
    MenuNoteChanged(menu);
    return noErr;
}

OSStatus InsertMenuItemTextWithCFString(MenuRef menu, CFStringRef inString, MenuItemIndex inAfterItem,
                                        MenuItemAttributes inAttributes, MenuCommand inCommandID)
{
    if (!AsMenu(menu))
        return paramErr;
    if (menu->items.size() >= 0xFFFF)
        return menuItemNotFoundErr;
    const size_t at = std::min<size_t>(inAfterItem, menu->items.size());
    menu->items.insert(menu->items.begin() + ptrdiff_t(at), NewItem(inString, inAttributes, inCommandID));
    MenuNoteChanged(menu);
    return noErr;
}

void DeleteMenuItem(MenuRef theMenu, MenuItemIndex item)
{
    DeleteMenuItems(theMenu, item, 1);
}

OSStatus DeleteMenuItems(MenuRef inMenu, MenuItemIndex inFirstItem, ItemCount inNumItems)
{
    if (!AsMenu(inMenu))
        return paramErr;
    const size_t count = inMenu->items.size();
    if (inFirstItem < 1 || inFirstItem > count || inNumItems > count - (inFirstItem - 1))
        return menuItemNotFoundErr;
    const auto first = inMenu->items.begin() + (inFirstItem - 1);
    const auto last = first + ptrdiff_t(inNumItems);
    // Taken out first: releasing a submenu may run code that looks at the menu.
    std::vector<std::unique_ptr<MenuItem>> gone(std::make_move_iterator(first), std::make_move_iterator(last));
    inMenu->items.erase(first, last);
    for (auto& item : gone)
        Detach(inMenu, *item);
    MenuNoteChanged(inMenu);
    return noErr;
}

OSStatus SetMenuItemTextWithCFString(MenuRef inMenu, MenuItemIndex inItem, CFStringRef inString)
{
    if (!inString)
        return paramErr;
    return Edit(inMenu, inItem, [&](MenuItem& item) {
        CFStringRef text = CopyText(inString);
        CFRelease(item.text);
        item.text = text;
    });
}

OSStatus CopyMenuItemTextAsCFString(MenuRef inMenu, MenuItemIndex inItem, CFStringRef* outString)
{
    return Query(inMenu, inItem, outString, [&](const MenuItem& item) { *outString = CopyText(item.text); });
}

OSErr SetMenuItemCommandID(MenuRef inMenu, MenuItemIndex inItem, MenuCommand inCommandID)
{
    return OSErr(Edit(inMenu, inItem, [&](MenuItem& item) { item.command = inCommandID; }));
}

OSErr GetMenuItemCommandID(MenuRef inMenu, MenuItemIndex inItem, MenuCommand* outCommandID)
{
    return OSErr(Query(inMenu, inItem, outCommandID, [&](const MenuItem& item) { *outCommandID = item.command; }));
}

OSStatus GetIndMenuItemWithCommandID(MenuRef inMenu, MenuCommand inCommandID, UInt32 inItemIndex, MenuRef* outMenu,
                                     MenuItemIndex* outIndex)
{
    MenuRef start = inMenu ? AsMenu(inMenu) : MenuBarRoot();
    if (inMenu && !start)
        return paramErr;
    if (!start)
        return menuItemNotFoundErr;
    UInt32 remaining = std::max<UInt32>(inItemIndex, 1);
    MenuRef foundMenu = nullptr;
    MenuItemIndex foundIndex = 0;
    if (!FindCommand(start, inCommandID, remaining, &foundMenu, &foundIndex))
        return menuItemNotFoundErr;
    if (outMenu)
        *outMenu = foundMenu;
    if (outIndex)
        *outIndex = foundIndex;
    return noErr;
}

OSStatus ChangeMenuItemAttributes(MenuRef menu, MenuItemIndex item, MenuItemAttributes setTheseAttributes,
                                  MenuItemAttributes clearTheseAttributes)
{
    return Edit(menu, item,
                [&](MenuItem& it) { it.attributes = (it.attributes | setTheseAttributes) & ~clearTheseAttributes; });
}

OSStatus GetMenuItemAttributes(MenuRef menu, MenuItemIndex item, MenuItemAttributes* outAttributes)
{
    return Query(menu, item, outAttributes, [&](const MenuItem& it) { *outAttributes = it.attributes; });
}

void EnableMenuItem(MenuRef theMenu, MenuItemIndex item)
{
    if (item == 0 && AsMenu(theMenu)) {
        theMenu->enabled = true;
        MenuNoteChanged(theMenu, true);
        return;
    }
    ChangeMenuItemAttributes(theMenu, item, 0, kMenuItemAttrDisabled);
}

void DisableMenuItem(MenuRef theMenu, MenuItemIndex item)
{
    if (item == 0 && AsMenu(theMenu)) {
        theMenu->enabled = false;
        MenuNoteChanged(theMenu, true);
        return;
    }
    ChangeMenuItemAttributes(theMenu, item, kMenuItemAttrDisabled, 0);
}

Boolean IsMenuItemEnabled(MenuRef menu, MenuItemIndex item)
{
    if (item == 0)
        return AsMenu(menu) && menu->enabled;
    const MenuItem* it = MenuItemAt(menu, item);
    return it && !(it->attributes & kMenuItemAttrDisabled);
}

void EnableMenuCommand(MenuRef inMenu, MenuCommand inCommandID)
{
    MenuRef menu = nullptr;
    MenuItemIndex index = 0;
    if (FirstWithCommand(inMenu, inCommandID, &menu, &index))
        EnableMenuItem(menu, index);
}

void DisableMenuCommand(MenuRef inMenu, MenuCommand inCommandID)
{
    MenuRef menu = nullptr;
    MenuItemIndex index = 0;
    if (FirstWithCommand(inMenu, inCommandID, &menu, &index))
        DisableMenuItem(menu, index);
}

Boolean IsMenuCommandEnabled(MenuRef inMenu, MenuCommand inCommandID)
{
    MenuRef menu = nullptr;
    MenuItemIndex index = 0;
    return FirstWithCommand(inMenu, inCommandID, &menu, &index) && IsMenuItemEnabled(menu, index);
}

void CheckMenuItem(MenuRef theMenu, MenuItemIndex item, Boolean checked)
{
    SetItemMark(theMenu, item, checked ? checkMark : noMark);
}

void SetItemMark(MenuRef theMenu, MenuItemIndex item, CharParameter markChar)
{
    Edit(theMenu, item, [&](MenuItem& it) { it.mark = UniChar(markChar); });
}

void GetItemMark(MenuRef theMenu, MenuItemIndex item, CharParameter* markChar)
{
    Query(theMenu, item, markChar, [&](const MenuItem& it) { *markChar = CharParameter(it.mark); });
}

OSStatus SetMenuCommandMark(MenuRef inMenu, MenuCommand inCommandID, UniChar inMark)
{
    MenuRef menu = nullptr;
    MenuItemIndex index = 0;
    if (!FirstWithCommand(inMenu, inCommandID, &menu, &index))
        return menuItemNotFoundErr;
    return Edit(menu, index, [&](MenuItem& it) { it.mark = inMark; });
}

OSStatus GetMenuCommandMark(MenuRef inMenu, MenuCommand inCommandID, UniChar* outMark)
{
    MenuRef menu = nullptr;
    MenuItemIndex index = 0;
    if (!outMark)
        return paramErr;
    if (!FirstWithCommand(inMenu, inCommandID, &menu, &index))
        return menuItemNotFoundErr;
    return Query(menu, index, outMark, [&](const MenuItem& it) { *outMark = it.mark; });
}

void SetItemCmd(MenuRef theMenu, MenuItemIndex item, CharParameter cmdChar)
{
    SetMenuItemCommandKey(theMenu, item, false, UInt16(UInt8(cmdChar)));
}

void GetItemCmd(MenuRef theMenu, MenuItemIndex item, CharParameter* cmdChar)
{
    Query(theMenu, item, cmdChar, [&](const MenuItem& it) { *cmdChar = CharParameter(it.commandKey); });
}

OSErr SetMenuItemCommandKey(MenuRef inMenu, MenuItemIndex inItem, Boolean inSetVirtualKey, UInt16 inKey)
{
    return OSErr(Edit(inMenu, inItem, [&](MenuItem& it) {
        if (inSetVirtualKey) {
            it.virtualKey = inKey;
            it.attributes |= kMenuItemAttrUseVirtualKey;
        } else {
            it.commandKey = inKey;
            it.attributes &= ~kMenuItemAttrUseVirtualKey;
        }
    }));
}

OSErr GetMenuItemCommandKey(MenuRef inMenu, MenuItemIndex inItem, Boolean inGetVirtualKey, UInt16* outKey)
{
    return OSErr(Query(inMenu, inItem, outKey,
                       [&](const MenuItem& it) { *outKey = inGetVirtualKey ? it.virtualKey : it.commandKey; }));
}

OSErr SetMenuItemModifiers(MenuRef inMenu, MenuItemIndex inItem, UInt8 inModifiers)
{
    return OSErr(Edit(inMenu, inItem, [&](MenuItem& it) { it.modifiers = inModifiers; }));
}

OSErr GetMenuItemModifiers(MenuRef inMenu, MenuItemIndex inItem, UInt8* outModifiers)
{
    return OSErr(Query(inMenu, inItem, outModifiers, [&](const MenuItem& it) { *outModifiers = it.modifiers; }));
}

OSErr SetMenuItemKeyGlyph(MenuRef inMenu, MenuItemIndex inItem, SInt16 inGlyph)
{
    return OSErr(Edit(inMenu, inItem, [&](MenuItem& it) { it.keyGlyph = inGlyph; }));
}

OSErr GetMenuItemKeyGlyph(MenuRef inMenu, MenuItemIndex inItem, SInt16* outGlyph)
{
    return OSErr(Query(inMenu, inItem, outGlyph, [&](const MenuItem& it) { *outGlyph = it.keyGlyph; }));
}

OSErr SetMenuItemIndent(MenuRef inMenu, MenuItemIndex inItem, UInt32 inIndent)
{
    return OSErr(Edit(inMenu, inItem, [&](MenuItem& it) { it.indent = inIndent; }));
}

OSErr GetMenuItemIndent(MenuRef inMenu, MenuItemIndex inItem, UInt32* outIndent)
{
    return OSErr(Query(inMenu, inItem, outIndent, [&](const MenuItem& it) { *outIndent = it.indent; }));
}

OSErr SetMenuItemIconHandle(MenuRef inMenu, MenuItemIndex inItem, UInt8 inIconType, Handle inIconHandle)
{
    void* icon = inIconHandle;
    switch (inIconType) {
    case kMenuNoIcon:
        icon = nullptr;
        break;
    case kMenuIconRefType:
        if (!IsValidIconRef(static_cast<IconRef>(icon)))
            return paramErr;
        break;
    case kMenuCGImageRefType:
        if (!icon || CFGetTypeID(icon) != CGImageGetTypeID())
            return paramErr;
        break;
    default:
        return paramErr;  // resources and icon suites: nothing here draws them
    }
    if (!MenuItemAt(inMenu, inItem))
        return OSErr(AsMenu(inMenu) ? menuItemNotFoundErr : paramErr);
    if (inIconType == kMenuIconRefType)
        AcquireIconRef(static_cast<IconRef>(icon));
    else if (inIconType == kMenuCGImageRefType)
        CGImageRetain(static_cast<CGImageRef>(icon));
    return OSErr(Edit(inMenu, inItem, [&](MenuItem& it) {
        ReleaseIcon(it.iconType, it.icon);
        it.iconType = inIconType;
        it.icon = icon;
    }));
}

OSErr GetMenuItemIconHandle(MenuRef inMenu, MenuItemIndex inItem, UInt8* outIconType, Handle* outIconHandle)
{
    if (!outIconType || !outIconHandle)
        return paramErr;
    return OSErr(Query(inMenu, inItem, outIconType, [&](const MenuItem& it) {
        *outIconType = it.iconType;
        *outIconHandle = static_cast<Handle>(it.icon);
    }));
}

OSErr SetMenuItemHierarchicalMenu(MenuRef inMenu, MenuItemIndex inItem, MenuRef inHierMenu)
{
    if (!AsMenu(inMenu) || (inHierMenu && !AsMenu(inHierMenu)))
        return paramErr;
    if (inHierMenu && Holds(inHierMenu, inMenu))
        return paramErr;  // a menu inside itself would open forever
    MenuItem* item = MenuItemAt(inMenu, inItem);
    if (!item)
        return menuItemNotFoundErr;
    if (item->submenu == inHierMenu)
        return noErr;
    if (inHierMenu) {
        CFRetain(inHierMenu);
        inHierMenu->supermenu = inMenu;
    }
    Detach(inMenu, *item);
    MenuRef previous = item->submenu;
    item->submenu = inHierMenu;
    if (previous)
        CFRelease(previous);
    MenuNoteChanged(inMenu);
    return noErr;
}

OSErr GetMenuItemHierarchicalMenu(MenuRef inMenu, MenuItemIndex inItem, MenuRef* outHierMenu)
{
    return OSErr(Query(inMenu, inItem, outHierMenu, [&](const MenuItem& it) { *outHierMenu = it.submenu; }));
}

OSErr SetMenuItemRefCon(MenuRef inMenu, MenuItemIndex inItem, URefCon inRefCon)
{
    if (inItem == 0 && AsMenu(inMenu)) {
        inMenu->refCon = inRefCon;
        return noErr;
    }
    return OSErr(Edit(inMenu, inItem, [&](MenuItem& it) { it.refCon = inRefCon; }));
}

OSErr GetMenuItemRefCon(MenuRef inMenu, MenuItemIndex inItem, URefCon* outRefCon)
{
    if (inItem == 0 && AsMenu(inMenu) && outRefCon) {
        *outRefCon = inMenu->refCon;
        return noErr;
    }
    return OSErr(Query(inMenu, inItem, outRefCon, [&](const MenuItem& it) { *outRefCon = it.refCon; }));
}

OSStatus SetMenuItemProperty(MenuRef menu, MenuItemIndex item, OSType propertyCreator, OSType propertyTag,
                             ByteCount propertySize, const void* propertyData)
{
    if (propertySize > 0 && !propertyData)
        return paramErr;
    if (propertyCreator == 0)
        return menuPropertyInvalidErr;
    MenuProperties* properties = nullptr;
    const OSStatus status = PropertiesOf(menu, item, &properties);
    if (status != noErr)
        return status;
    return properties->Set(propertyCreator, propertyTag, propertySize, propertyData);
}

OSStatus GetMenuItemProperty(MenuRef menu, MenuItemIndex item, OSType propertyCreator, OSType propertyTag,
                             ByteCount bufferSize, ByteCount* actualSize, void* propertyBuffer)
{
    if (bufferSize > 0 && !propertyBuffer)
        return paramErr;
    MenuProperties* properties = nullptr;
    const OSStatus status = PropertiesOf(menu, item, &properties);
    if (status != noErr)
        return status;
    return properties->Get(propertyCreator, propertyTag, bufferSize, actualSize, propertyBuffer);
}

OSStatus GetMenuItemPropertySize(MenuRef menu, MenuItemIndex item, OSType propertyCreator, OSType propertyTag,
                                 ByteCount* size)
{
    if (!size)
        return paramErr;
    return GetMenuItemProperty(menu, item, propertyCreator, propertyTag, 0, size, nullptr);
}

OSStatus RemoveMenuItemProperty(MenuRef menu, MenuItemIndex item, OSType propertyCreator, OSType propertyTag)
{
    MenuProperties* properties = nullptr;
    const OSStatus status = PropertiesOf(menu, item, &properties);
    if (status != noErr)
        return status;
    return properties->Remove(propertyCreator, propertyTag);
}

// ---- commands ----

OSStatus ProcessHICommand(const HICommand* inCommand)
{
    if (!inCommand)
        return paramErr;
    MenuRef menu = (inCommand->attributes & kHICommandFromMenu) ? AsMenu(inCommand->menu.menuRef) : nullptr;
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, GetCurrentEventTime(), 0, &event);
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof *inCommand, inCommand);
    if (menu)
        return SendToMenu(menu, event);
    const OSStatus status = SendEventToEventTarget(event, GetUserFocusEventTarget());
    ReleaseEvent(event);
    return status;
}

// ---- the menu bar ----

MenuRef AcquireRootMenu()
{
    if (!MenuBarRoot())
        CreateNewMenu(0, 0, &gRootMenu);
    CFRetain(gRootMenu);
    return gRootMenu;
}

OSStatus SetRootMenu(MenuRef inMenu)
{
    if (!AsMenu(inMenu))
        return paramErr;
    CFRetain(inMenu);
    MenuRef previous = MenuBarRoot();
    gRootMenu = inMenu;
    if (previous)
        CFRelease(previous);
    MenuBarSetNeedsRebuild();
    return noErr;
}

void InsertMenu(MenuRef theMenu, MenuID beforeID)
{
    if (!AsMenu(theMenu) || beforeID == kInsertHierarchicalMenu)
        return;
    MenuRef root = AcquireRootMenu();
    CFRelease(root);  // the bar holds it
    if (theMenu == root)
        return;
    size_t at = root->items.size();
    for (size_t i = 0; i < root->items.size(); ++i) {
        MenuRef menu = root->items[i]->submenu;
        if (menu == theMenu)
            return;
        if (beforeID != 0 && menu && menu->id == beforeID && at == root->items.size())
            at = i;
    }
    if (InsertMenuItemTextWithCFString(root, nullptr, MenuItemIndex(at), 0, 0) != noErr)
        return;
    if (SetMenuItemHierarchicalMenu(root, MenuItemIndex(at + 1), theMenu) != noErr)
        DeleteMenuItem(root, MenuItemIndex(at + 1));  // the menu holds the bar itself
}

void DeleteMenu(MenuID menuID)
{
    MenuRef root = MenuBarRoot();
    if (!root)
        return;
    for (size_t i = 0; i < root->items.size(); ++i) {
        if (root->items[i]->submenu && root->items[i]->submenu->id == menuID) {
            DeleteMenuItem(root, MenuItemIndex(i + 1));
            return;
        }
    }
}

MenuRef GetMenuHandle(MenuID menuID)
{
    MenuRef root = MenuBarRoot();
    if (!root)
        return nullptr;
    // The menus of the bar first, then their submenus.
    for (const auto& item : root->items)
        if (item->submenu && item->submenu->id == menuID)
            return item->submenu;
    std::vector<MenuRef> pending;
    for (const auto& item : root->items)
        if (item->submenu)
            pending.push_back(item->submenu);
    for (size_t next = 0; next < pending.size() && next < 4096; ++next) {
        for (const auto& item : pending[next]->items) {
            if (!item->submenu)
                continue;
            if (item->submenu->id == menuID)
                return item->submenu;
            pending.push_back(item->submenu);
        }
    }
    return nullptr;
}

void ClearMenuBar()
{
    MenuRef root = MenuBarRoot();
    if (root && !root->items.empty())
        DeleteMenuItems(root, 1, root->items.size());
}

// ---- key equivalents ----

Boolean IsMenuKeyEvent(MenuRef inStartMenu, EventRef inEvent, MenuEventOptions inOptions, MenuRef* outMenu,
                       MenuItemIndex* outMenuItem)
{
    KeyPress key;
    if (!ReadKey(inEvent, &key))
        return false;
    MenuRef start = inStartMenu ? AsMenu(inStartMenu) : MenuBarRoot();
    if (!start)
        return false;
    MenuHold hold(start);
    MenuRef menu = nullptr;
    MenuItemIndex index = 0;
    if (!FindKey(start, key, inOptions, &menu, &index))
        return false;
    if (outMenu)
        *outMenu = menu;
    if (outMenuItem)
        *outMenuItem = index;
    if (!(inOptions & kMenuEventQueryOnly))
        MenuSendItemCommand(menu, index, kMenuContextKeyMatching);
    return true;
}

OSStatus HIMenuHandleKeyEvent(EventRef inRawKeyEvent)
{
    return IsMenuKeyEvent(nullptr, inRawKeyEvent, 0, nullptr, nullptr) ? noErr : eventNotHandledErr;
}
