// The menu model as the menu's own code shares it: the objects behind
// MenuRef, the opening sequence and choosing, for the Qt side (QMenu,
// the menu bar strip) in MenuBar.cpp.
#pragma once

#include "HIToolboxInternal.h"

#include <HIToolbox/Menus.h>

#include <CoreFoundation/CFRuntime.h>

#include <map>
#include <memory>
#include <utility>
#include <vector>

// An item's (or, as item 0, the menu's) properties.
struct MenuProperties : HIPropertyTable {
    MenuProperties() : HIPropertyTable(menuPropertyNotFoundErr) {}
};

struct MenuItem {
    MenuItem() = default;
    MenuItem(const MenuItem&) = delete;
    MenuItem& operator=(const MenuItem&) = delete;
    ~MenuItem();

    CFStringRef text = nullptr;  // owned, never nil
    MenuCommand command = 0;
    MenuItemAttributes attributes = 0;  // kMenuItemAttrDisabled is the enabled state
    UniChar mark = 0;
    UInt16 commandKey = 0;  // the character of the key equivalent
    UInt16 virtualKey = 0;  // with kMenuItemAttrUseVirtualKey
    UInt8 modifiers = kMenuNoModifiers;
    SInt16 keyGlyph = kMenuNullGlyph;
    UInt32 indent = 0;
    UInt8 iconType = kMenuNoIcon;
    void* icon = nullptr;       // acquired IconRef or retained CGImageRef, by iconType
    MenuRef submenu = nullptr;  // retained
    URefCon refCon = nullptr;
    MenuProperties properties;
};

struct OpaqueMenuRef final : CFRuntimeObject {
    OpaqueMenuRef();
    ~OpaqueMenuRef() override;

    MenuID id = 0;
    MenuAttributes attributes = 0;
    CFStringRef title = nullptr;  // owned, never nil
    bool enabled = true;
    FMFontFamily fontID = 0;
    UInt16 fontSize = 0;
    URefCon refCon = nullptr;
    MenuProperties properties;  // item 0's
    std::vector<std::unique_ptr<MenuItem>> items;
    EventTargetRef target = nullptr;
    // The menu that holds this one as a submenu, last attached (not retained).
    OpaqueMenuRef* supermenu = nullptr;
};

// The modifier bits a key equivalent asks for (command unless told not).
inline EventModifiers MenuKeyModifiers(UInt8 modifiers)
{
    EventModifiers result = 0;
    if (!(modifiers & kMenuNoCommandModifier))
        result |= cmdKey;
    if (modifiers & kMenuShiftModifier)
        result |= shiftKey;
    if (modifiers & kMenuOptionModifier)
        result |= optionKey;
    if (modifiers & kMenuControlModifier)
        result |= controlKey;
    return result;
}

// The live menu behind a reference; nil for nil, stale or foreign pointers.
MenuRef AsMenu(MenuRef menu);
// The item (1…count) of a live menu; nil otherwise.
MenuItem* MenuItemAt(MenuRef menu, MenuItemIndex index);

// Opening: populate, opening (false: a handler refused, the menu stays
// shut), enable items and the update-status pass. `context` is the
// kEventParamMenuContext to send.
bool MenuPrepareToOpen(MenuRef menu, UInt32 context);
void MenuSendClosed(MenuRef menu, UInt32 context);
void MenuSendTargetItem(MenuRef menu, MenuItemIndex item, UInt32 context);
// Whether a user could choose the item now: it exists, shows, is no
// separator or header, and it and its menu are enabled.
bool MenuItemIsChoosable(MenuRef menu, MenuItemIndex item);
// Sends the item's kEventCommandProcess (any command, 0 too).
OSStatus MenuSendItemCommand(MenuRef menu, MenuItemIndex item, UInt32 context);

// The root menu when there is one (not retained).
MenuRef MenuBarRoot();
// The bar's look must follow the model (MenuBar.cpp): now, or on the next pass.
void MenuBarRebuild();
void MenuBarSetNeedsRebuild();
void MenuBarUpdateVisibility();
// A menu changed: its items, or (`ownLook`) its title or enabled state,
// which the bar shows when the menu is one of the bar's.
void MenuNoteChanged(MenuRef menu, bool ownLook = false);

// The scripted chooser, when a test set one.
const MenuTestChooser& MenuTestCurrentChooser();
