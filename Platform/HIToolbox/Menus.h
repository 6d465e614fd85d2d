// Menus: our own menu model, shown through Qt only while a menu is open.
//
// A menu is a Core Foundation object (RetainMenu / ReleaseMenu, or CFRetain
// / CFRelease; DisposeMenu is a release). Its items are indexed from 1;
// item 0 stands for the menu itself wherever an item index is taken
// (enabling, properties, reference constants). An item has a text, a
// command id, attributes (separator, section header, hidden, disabled, …),
// a mark, a key equivalent, an indent, an icon and a submenu; properties
// of any size are kept by creator and tag.
//
// Each menu has an event target. Its parent is the menu holding it as a
// submenu, else the user focus target (focused view → window →
// application), asked at each dispatch; so what a menu leaves goes on to
// whoever has the focus then.
//
// Opening a menu (menu bar, pop-up, contextual) sends, to the menu's
// target: kEventMenuPopulate, kEventMenuOpening (an error other than
// eventNotHandledErr keeps the menu shut) and kEventMenuEnableItems; then
// kEventCommandUpdateStatus for every item with a command id, so a handler
// can enable, disable, check or rename it; only then is the menu drawn
// (a QMenu built from the model). Choosing an item — any item, command 0
// too — sends kEventCommandProcess with the HICommand (kHICommandFromMenu,
// command id, menu, item index) to the chosen item's menu target, and so
// on to the focus chain. Closing sends kEventMenuClosed.
//
// The menu bar is the root menu: each of its items holds one menu of the
// bar as a submenu (InsertMenu, SetRootMenu). On Linux it is shown in a
// slim strip window along the top of the primary screen while the program
// is active, and the same menus open as a context menu from
// HIMenuBarShowContextMenu.
#pragma once

#include <CoreServices/AppleEvents.h>
#include <CoreServices/IconServices.h>
#include <HIToolbox/MacWindows.h>

#include <functional>

class QMenu;
class QWidget;

typedef SInt16 MenuID;
typedef UInt16 MenuItemIndex;
typedef UInt32 MenuCommand;
typedef UInt32 MenuAttributes;
typedef UInt32 MenuItemAttributes;
typedef UInt32 MenuEventOptions;
typedef SInt16 CharParameter;
typedef SInt16 FMFontFamily;
typedef void* URefCon;

// ---- constants ----

inline constexpr OSStatus menuPropertyInvalidErr = -5603;
inline constexpr OSStatus menuPropertyNotFoundErr = -5604;
inline constexpr OSStatus menuNotFoundErr = -5620;
inline constexpr OSStatus menuItemNotFoundErr = -5622;
inline constexpr OSStatus menuInvalidErr = -5623;

enum : MenuAttributes {
    kMenuAttrExcludesMarkColumn = 1 << 0,
    kMenuAttrAutoDisable = 1 << 2,
    kMenuAttrUsePencilGlyph = 1 << 3,
    kMenuAttrHidden = 1 << 4,
    kMenuAttrCondenseSeparators = 1 << 5,
    kMenuAttrDoNotCacheImage = 1 << 6,
    kMenuAttrDoNotUseUserCommandKeys = 1 << 7,
};

enum : MenuItemAttributes {
    kMenuItemAttrDisabled = 1 << 0,
    kMenuItemAttrIconDisabled = 1 << 1,
    kMenuItemAttrSubmenuParentChoosable = 1 << 2,
    kMenuItemAttrDynamic = 1 << 3,
    kMenuItemAttrNotPreviousAlternate = 1 << 4,
    kMenuItemAttrHidden = 1 << 5,
    kMenuItemAttrSeparator = 1 << 6,
    kMenuItemAttrSectionHeader = 1 << 7,
    kMenuItemAttrIgnoreMeta = 1 << 8,
    kMenuItemAttrAutoRepeat = 1 << 9,
    kMenuItemAttrUseVirtualKey = 1 << 10,
    kMenuItemAttrCustomDraw = 1 << 11,
    kMenuItemAttrIncludeInCmdKeyMatching = 1 << 12,
    kMenuItemAttrAutoDisable = 1 << 13,
    kMenuItemAttrUpdateSingleItem = 1 << 14,
};

// Key-equivalent modifiers (SetMenuItemModifiers). The command key is
// implied unless kMenuNoCommandModifier.
enum : UInt8 {
    kMenuNoModifiers = 0,
    kMenuShiftModifier = 1 << 0,
    kMenuOptionModifier = 1 << 1,
    kMenuControlModifier = 1 << 2,
    kMenuNoCommandModifier = 1 << 3,
};

// Marks (SetItemMark).
enum : CharParameter {
    noMark = 0,
    commandMark = 0x11,
    checkMark = 0x12,
    diamondMark = 0x13,
};

// Key glyphs (SetMenuItemKeyGlyph): what the key equivalent shows.
enum : SInt16 {
    kMenuNullGlyph = 0x00,
    kMenuTabRightGlyph = 0x02,
    kMenuTabLeftGlyph = 0x03,
    kMenuEnterGlyph = 0x04,
    kMenuShiftGlyph = 0x05,
    kMenuControlGlyph = 0x06,
    kMenuOptionGlyph = 0x07,
    kMenuSpaceGlyph = 0x09,
    kMenuDeleteRightGlyph = 0x0A,
    kMenuReturnGlyph = 0x0B,
    kMenuReturnR2LGlyph = 0x0C,
    kMenuNonmarkingReturnGlyph = 0x0D,
    kMenuPencilGlyph = 0x0F,
    kMenuDownwardArrowDashedGlyph = 0x10,
    kMenuCommandGlyph = 0x11,
    kMenuCheckmarkGlyph = 0x12,
    kMenuDiamondGlyph = 0x13,
    kMenuAppleLogoFilledGlyph = 0x14,
    kMenuParagraphKoreanGlyph = 0x15,
    kMenuDeleteLeftGlyph = 0x17,
    kMenuLeftArrowDashedGlyph = 0x18,
    kMenuUpArrowDashedGlyph = 0x19,
    kMenuRightArrowDashedGlyph = 0x1A,
    kMenuEscapeGlyph = 0x1B,
    kMenuClearGlyph = 0x1C,
    kMenuLeftDoubleQuotesJapaneseGlyph = 0x1D,
    kMenuRightDoubleQuotesJapaneseGlyph = 0x1E,
    kMenuTrademarkJapaneseGlyph = 0x1F,
    kMenuBlankGlyph = 0x61,
    kMenuPageUpGlyph = 0x62,
    kMenuCapsLockGlyph = 0x63,
    kMenuLeftArrowGlyph = 0x64,
    kMenuRightArrowGlyph = 0x65,
    kMenuNorthwestArrowGlyph = 0x66,
    kMenuHelpGlyph = 0x67,
    kMenuUpArrowGlyph = 0x68,
    kMenuSoutheastArrowGlyph = 0x69,
    kMenuDownArrowGlyph = 0x6A,
    kMenuPageDownGlyph = 0x6B,
    kMenuAppleLogoOutlineGlyph = 0x6C,
    kMenuContextualMenuGlyph = 0x6D,
    kMenuPowerGlyph = 0x6E,
    kMenuF1Glyph = 0x6F,
    kMenuF2Glyph = 0x70,
    kMenuF3Glyph = 0x71,
    kMenuF4Glyph = 0x72,
    kMenuF5Glyph = 0x73,
    kMenuF6Glyph = 0x74,
    kMenuF7Glyph = 0x75,
    kMenuF8Glyph = 0x76,
    kMenuF9Glyph = 0x77,
    kMenuF10Glyph = 0x78,
    kMenuF11Glyph = 0x79,
    kMenuF12Glyph = 0x7A,
    kMenuF13Glyph = 0x87,
    kMenuF14Glyph = 0x88,
    kMenuF15Glyph = 0x89,
    kMenuControlISOGlyph = 0x8A,
    kMenuEjectGlyph = 0x8C,
};

// Icon types (SetMenuItemIconHandle). Only IconRefs and CGImages are kept.
enum : UInt8 {
    kMenuNoIcon = 0,
    kMenuIconType = 1,
    kMenuShrinkIconType = 2,
    kMenuSmallIconType = 3,
    kMenuColorIconType = 4,
    kMenuIconSuiteType = 5,
    kMenuIconRefType = 6,
    kMenuCGImageRefType = 7,
    kMenuSystemIconSelectorType = 8,
    kMenuIconResourceType = 9,
};

// Menu events (kEventClassMenu); the direct object is the menu (typeMenuRef).
enum : EventKind {
    kEventMenuBeginTracking = 1,
    kEventMenuEndTracking = 2,
    kEventMenuChangeTrackingMode = 3,
    kEventMenuOpening = 4,
    kEventMenuClosed = 5,
    kEventMenuTargetItem = 6,
    kEventMenuMatchKey = 7,
    kEventMenuEnableItems = 8,
    kEventMenuPopulate = 9,
    kEventMenuMeasureItemWidth = 100,
    kEventMenuMeasureItemHeight = 101,
    kEventMenuDrawItem = 102,
    kEventMenuDrawItemContent = 103,
    kEventMenuDispose = 1001,
};

inline constexpr EventParamName kEventParamMenuItemIndex = FourCC("item");
inline constexpr EventParamName kEventParamMenuCommand = FourCC("mcmd");
inline constexpr EventParamName kEventParamMenuContext = FourCC("mctx");
inline constexpr EventParamName kEventParamMenuFirstOpen = FourCC("1sto");
inline constexpr EventParamName kEventParamEnableMenuForKeyEvent = FourCC("fork");
inline constexpr EventParamName kEventParamMenuEventOptions = FourCC("meop");
inline constexpr EventParamName kEventParamMenuItemWidth = FourCC("mitw");
inline constexpr EventParamName kEventParamMenuItemHeight = FourCC("mith");
inline constexpr EventParamName kEventParamMenuItemBounds = FourCC("mitb");
inline constexpr EventParamName kEventParamMenuIsPopup = FourCC("mpop");
inline constexpr EventParamType typeMenuItemIndex = FourCC("midx");
inline constexpr EventParamType typeMenuCommand = FourCC("mcmd");
inline constexpr EventParamType typeMenuEventOptions = FourCC("meop");

// Where a menu is being opened or searched (kEventParamMenuContext).
enum : UInt32 {
    kMenuContextMenuBar = 1 << 0,
    kMenuContextPullDown = 1 << 8,
    kMenuContextPopUp = 1 << 9,
    kMenuContextSubmenu = 1 << 10,
    kMenuContextMenuBarTracking = 1 << 16,
    kMenuContextPopUpTracking = 1 << 17,
    kMenuContextKeyMatching = 1 << 18,
    kMenuContextMenuEnabling = 1 << 19,
    kMenuContextCommandIDSearch = 1 << 20,
};

enum : MenuEventOptions {
    kMenuEventIncludeDisabledItems = 0x0001,
    kMenuEventQueryOnly = 0x0002,
    kMenuEventDontCheckSubmenus = 0x0004,
};

// Contextual menus.
enum : UInt32 {
    kCMHelpItemNoHelp = 0,
    kCMHelpItemAppleGuide = 1,
    kCMHelpItemOtherHelp = 2,
    kCMHelpItemRemoveHelp = 3,
};
enum : UInt32 {
    kCMNothingSelected = 0,
    kCMMenuItemSelected = 1,
    kCMShowHelpSelected = 3,
};

// The standard command ids.
enum : MenuCommand {
    kHICommandOK = FourCC("ok  "),
    kHICommandCancel = FourCC("not!"),
    kHICommandQuit = FourCC("quit"),
    kHICommandUndo = FourCC("undo"),
    kHICommandRedo = FourCC("redo"),
    kHICommandCut = FourCC("cut "),
    kHICommandCopy = FourCC("copy"),
    kHICommandPaste = FourCC("past"),
    kHICommandClear = FourCC("clea"),
    kHICommandSelectAll = FourCC("sall"),
    kHICommandHide = FourCC("hide"),
    kHICommandHideOthers = FourCC("hido"),
    kHICommandShowAll = FourCC("shal"),
    kHICommandPreferences = FourCC("pref"),
    kHICommandZoomWindow = FourCC("zoom"),
    kHICommandMinimizeWindow = FourCC("mini"),
    kHICommandMinimizeAll = FourCC("mina"),
    kHICommandMaximizeWindow = FourCC("maxi"),
    kHICommandMaximizeAll = FourCC("maxa"),
    kHICommandArrangeInFront = FourCC("frnt"),
    kHICommandBringAllToFront = FourCC("bfrt"),
    kHICommandSelectWindow = FourCC("swin"),
    kHICommandRotateWindowsForward = FourCC("rotw"),
    kHICommandRotateWindowsBackward = FourCC("rotb"),
    kHICommandAbout = FourCC("abou"),
    kHICommandNew = FourCC("new "),
    kHICommandOpen = FourCC("open"),
    kHICommandClose = FourCC("clos"),
    kHICommandSave = FourCC("save"),
    kHICommandSaveAs = FourCC("svas"),
    kHICommandRevert = FourCC("rvrt"),
    kHICommandPrint = FourCC("prnt"),
    kHICommandPageSetup = FourCC("page"),
    kHICommandAppHelp = FourCC("ahlp"),
    kHICommandShowCharacterPalette = FourCC("chrp"),
    kHICommandShowSpellingPanel = FourCC("shsp"),
    kHICommandCheckSpelling = FourCC("cksp"),
    kHICommandChangeSpelling = FourCC("chsp"),
    kHICommandCheckSpellingAsYouType = FourCC("aspc"),
    kHICommandIgnoreSpelling = FourCC("igsp"),
    kHICommandLearnWord = FourCC("lrwd"),
};

// ---- menus ----

// A new empty menu (count 1). paramErr for a nil output.
OSStatus CreateNewMenu(MenuID inMenuID, MenuAttributes inMenuAttributes, MenuRef* outMenuRef);
// paramErr for nil or a value that is not a live menu.
OSStatus RetainMenu(MenuRef inMenu);
OSStatus ReleaseMenu(MenuRef inMenu);
void DisposeMenu(MenuRef theMenu);
ItemCount GetMenuRetainCount(MenuRef inMenu);
// Whether the pointer names a live menu; never dereferences a stale one.
Boolean IsValidMenu(MenuRef inMenu);

MenuID GetMenuID(MenuRef menu);  // 0 for nil
void SetMenuID(MenuRef menu, MenuID menuID);
OSStatus SetMenuTitleWithCFString(MenuRef inMenu, CFStringRef inString);
// A new string (the caller releases it).
OSStatus CopyMenuTitleAsCFString(MenuRef inMenu, CFStringRef* outString);
OSStatus GetMenuAttributes(MenuRef menu, MenuAttributes* outAttributes);
OSStatus ChangeMenuAttributes(MenuRef menu, MenuAttributes setTheseAttributes, MenuAttributes clearTheseAttributes);
// The menu's font: a family id (0: the system font) and a size (0: the default).
OSStatus SetMenuFont(MenuRef menu, FMFontFamily inFontID, UInt16 inFontSize);
OSStatus GetMenuFont(MenuRef menu, FMFontFamily* outFontID, UInt16* outFontSize);
// Whose handlers see the menu's events; its parent is the supermenu's
// target, else the user focus target. Nil for nil.
EventTargetRef GetMenuEventTarget(MenuRef inMenu);

// ---- items ----

UInt16 CountMenuItems(MenuRef theMenu);  // 0 for nil
// Appends an item (nil text: empty). outNewItem may be nil.
OSStatus AppendMenuItemTextWithCFString(MenuRef menu, CFStringRef inString, MenuItemAttributes inAttributes,
                                        MenuCommand inCommandID, MenuItemIndex* outNewItem);
// Inserts after `inAfterItem` (0: first; past the end: last).
OSStatus InsertMenuItemTextWithCFString(MenuRef menu, CFStringRef inString, MenuItemIndex inAfterItem,
                                        MenuItemAttributes inAttributes, MenuCommand inCommandID);
void DeleteMenuItem(MenuRef theMenu, MenuItemIndex item);
// menuItemNotFoundErr (nothing deleted) when the range reaches past the end.
OSStatus DeleteMenuItems(MenuRef inMenu, MenuItemIndex inFirstItem, ItemCount inNumItems);

// Every item call answers paramErr for a menu that is not live,
// menuItemNotFoundErr for an index outside 1…count (0 only where it
// stands for the menu), and leaves its outputs untouched when it fails.
OSStatus SetMenuItemTextWithCFString(MenuRef inMenu, MenuItemIndex inItem, CFStringRef inString);
OSStatus CopyMenuItemTextAsCFString(MenuRef inMenu, MenuItemIndex inItem, CFStringRef* outString);
OSErr SetMenuItemCommandID(MenuRef inMenu, MenuItemIndex inItem, MenuCommand inCommandID);
OSErr GetMenuItemCommandID(MenuRef inMenu, MenuItemIndex inItem, MenuCommand* outCommandID);
// The `inItemIndex`-th item (from 1) with the command, depth first through
// the menu and its submenus; a nil menu searches the menu bar.
OSStatus GetIndMenuItemWithCommandID(MenuRef inMenu, MenuCommand inCommandID, UInt32 inItemIndex, MenuRef* outMenu,
                                     MenuItemIndex* outIndex);
OSStatus ChangeMenuItemAttributes(MenuRef menu, MenuItemIndex item, MenuItemAttributes setTheseAttributes,
                                  MenuItemAttributes clearTheseAttributes);
OSStatus GetMenuItemAttributes(MenuRef menu, MenuItemIndex item, MenuItemAttributes* outAttributes);

// Item 0 is the whole menu.
void EnableMenuItem(MenuRef theMenu, MenuItemIndex item);
void DisableMenuItem(MenuRef theMenu, MenuItemIndex item);
Boolean IsMenuItemEnabled(MenuRef menu, MenuItemIndex item);
// The first item with the command (the menu bar for a nil menu).
void EnableMenuCommand(MenuRef inMenu, MenuCommand inCommandID);
void DisableMenuCommand(MenuRef inMenu, MenuCommand inCommandID);
Boolean IsMenuCommandEnabled(MenuRef inMenu, MenuCommand inCommandID);

void CheckMenuItem(MenuRef theMenu, MenuItemIndex item, Boolean checked);
void SetItemMark(MenuRef theMenu, MenuItemIndex item, CharParameter markChar);
void GetItemMark(MenuRef theMenu, MenuItemIndex item, CharParameter* markChar);
OSStatus SetMenuCommandMark(MenuRef inMenu, MenuCommand inCommandID, UniChar inMark);
OSStatus GetMenuCommandMark(MenuRef inMenu, MenuCommand inCommandID, UniChar* outMark);

// Key equivalents: a character (SetItemCmd, or SetMenuItemCommandKey
// without the virtual-key flag) or a virtual key code (with it), and the
// modifiers besides command.
void SetItemCmd(MenuRef theMenu, MenuItemIndex item, CharParameter cmdChar);
void GetItemCmd(MenuRef theMenu, MenuItemIndex item, CharParameter* cmdChar);
OSErr SetMenuItemCommandKey(MenuRef inMenu, MenuItemIndex inItem, Boolean inSetVirtualKey, UInt16 inKey);
OSErr GetMenuItemCommandKey(MenuRef inMenu, MenuItemIndex inItem, Boolean inGetVirtualKey, UInt16* outKey);
OSErr SetMenuItemModifiers(MenuRef inMenu, MenuItemIndex inItem, UInt8 inModifiers);
OSErr GetMenuItemModifiers(MenuRef inMenu, MenuItemIndex inItem, UInt8* outModifiers);
OSErr SetMenuItemKeyGlyph(MenuRef inMenu, MenuItemIndex inItem, SInt16 inGlyph);
OSErr GetMenuItemKeyGlyph(MenuRef inMenu, MenuItemIndex inItem, SInt16* outGlyph);
OSErr SetMenuItemIndent(MenuRef inMenu, MenuItemIndex inItem, UInt32 inIndent);
OSErr GetMenuItemIndent(MenuRef inMenu, MenuItemIndex inItem, UInt32* outIndent);

// An IconRef (kMenuIconRefType, acquired) or a CGImageRef
// (kMenuCGImageRefType, retained) as a Handle; kMenuNoIcon removes the
// icon. Other types, or a handle that is not of its type: paramErr.
OSErr SetMenuItemIconHandle(MenuRef inMenu, MenuItemIndex inItem, UInt8 inIconType, Handle inIconHandle);
OSErr GetMenuItemIconHandle(MenuRef inMenu, MenuItemIndex inItem, UInt8* outIconType, Handle* outIconHandle);

// Retains the submenu (nil removes it). paramErr when the submenu is the
// menu or holds it, however deep.
OSErr SetMenuItemHierarchicalMenu(MenuRef inMenu, MenuItemIndex inItem, MenuRef inHierMenu);
// Not retained for the caller; nil when the item has none.
OSErr GetMenuItemHierarchicalMenu(MenuRef inMenu, MenuItemIndex inItem, MenuRef* outHierMenu);

OSErr SetMenuItemRefCon(MenuRef inMenu, MenuItemIndex inItem, URefCon inRefCon);
OSErr GetMenuItemRefCon(MenuRef inMenu, MenuItemIndex inItem, URefCon* outRefCon);

// Properties by creator and tag, of any size (copied); item 0 is the menu.
OSStatus SetMenuItemProperty(MenuRef menu, MenuItemIndex item, OSType propertyCreator, OSType propertyTag,
                             ByteCount propertySize, const void* propertyData);
// menuPropertyNotFoundErr for a property not set; at most `bufferSize`
// bytes are copied, `actualSize` (may be nil) gets the whole size.
OSStatus GetMenuItemProperty(MenuRef menu, MenuItemIndex item, OSType propertyCreator, OSType propertyTag,
                             ByteCount bufferSize, ByteCount* actualSize, void* propertyBuffer);
OSStatus GetMenuItemPropertySize(MenuRef menu, MenuItemIndex item, OSType propertyCreator, OSType propertyTag,
                                 ByteCount* size);
OSStatus RemoveMenuItemProperty(MenuRef menu, MenuItemIndex item, OSType propertyCreator, OSType propertyTag);

// ---- commands ----

// Sends kEventCommandProcess with the command: to its menu's target when
// it comes from a live menu, else to the user focus target.
OSStatus ProcessHICommand(const HICommand* inCommand);

// ---- the menu bar ----

inline constexpr MenuID kInsertHierarchicalMenu = -1;

// The root menu, retained for the caller (an empty one is made the first
// time). SetRootMenu retains the new one and shows it.
MenuRef AcquireRootMenu();
OSStatus SetRootMenu(MenuRef inMenu);
// Adds the menu to the bar before the menu with `beforeID` (0, or an id not
// in the bar: last). A menu in the bar already stays where it is.
// kInsertHierarchicalMenu adds nothing: a submenu is reached through the
// item that holds it (GetMenuHandle finds it there).
void InsertMenu(MenuRef theMenu, MenuID beforeID);
void DeleteMenu(MenuID menuID);
// The menu of the bar with the id (nil for none).
MenuRef GetMenuHandle(MenuID menuID);
inline MenuRef GetMenuRef(MenuID menuID)
{
    return GetMenuHandle(menuID);
}
void ClearMenuBar();
// Shows the bar as the model has it now; InvalMenuBar does it on the next pass.
void DrawMenuBar();
void InvalMenuBar();
// Whether the bar may show at all (it shows only while the program is active).
void ShowMenuBar();
void HideMenuBar();
Boolean IsMenuBarVisible();

// ---- tracking ----

// Shows the menu with item `popUpItem` at (left, top) (global), and answers
// (the chosen item's menu id << 16) | its index, or 0 when none was chosen.
SInt32 PopUpMenuSelect(MenuRef menu, short top, short left, short popUpItem);
// Shows the menu at the point (global). noErr and kCMMenuItemSelected with
// the chosen item's menu id and index; userCanceledErr, kCMNothingSelected,
// 0 and 0 when the menu was dismissed (or its opening handler refused).
// The help arguments are accepted and ignored. Outputs may be nil.
OSStatus ContextualMenuSelect(MenuRef inMenu, Point inGlobalLocation, Boolean inReserved, UInt32 inHelpType,
                              ConstStr255Param inHelpItemString, const AEDesc* inSelection,
                              UInt32* outUserSelectionType, MenuID* outMenuID, MenuItemIndex* outMenuItem);
// Whether the raw key event is the key equivalent of an enabled item of
// `inStartMenu` (nil: the menu bar) or its submenus (unless
// kMenuEventDontCheckSubmenus). The candidate items get their update-status
// pass first. Unless kMenuEventQueryOnly, the item's command is sent.
Boolean IsMenuKeyEvent(MenuRef inStartMenu, EventRef inEvent, MenuEventOptions inOptions, MenuRef* outMenu,
                       MenuItemIndex* outMenuItem);

// Our own additions.

// For the window layer, after the focus chain left a raw key down (or
// repeat) unhandled: the menu bar's key equivalents. noErr when an enabled
// item matched and its command was sent; eventNotHandledErr otherwise (the
// key goes on, to Qt's own widgets).
OSStatus HIMenuHandleKeyEvent(EventRef inRawKeyEvent);
// The menus of the bar as one context menu at the point (global): what a
// secondary click nobody handled opens. The chosen item's command is sent.
void HIMenuBarShowContextMenu(Point inGlobalLocation);
// The strip window that holds the bar (a QMenuBar); nil without a
// QApplication. For tests and screenshots.
QWidget* HIMenuBarGetStrip();

// Tests: instead of letting a user choose in an open menu (QMenu::exec
// waits for one), `chooser` is asked with the menu and the QMenu built for
// it (shown state as a user would see it) and answers an item index (0:
// dismiss). Choosing an item with a submenu opens it and asks again. An
// item a user could not choose (disabled, separator, hidden, out of range)
// counts as dismissing. Nil restores real tracking.
using MenuTestChooser = std::function<MenuItemIndex(MenuRef menu, QMenu* shown)>;
void MenuTestSetChooser(MenuTestChooser chooser);
