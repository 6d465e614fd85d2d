// The small routines the whole program uses around the Carbon and Core
// Foundation interfaces: memory blocks, four-character codes, numbers as
// text, random numbers, the system version, sounds, opening URLs, the
// login-item location, finding a running process, HI commands, menu marks
// and the HIView controls' frames, texts, menus and tags.
//
// Many routines keep the status of their last platform call in `Err`
// instead of answering it; callers test `Err` right after the call. On a
// failure those routines leave their result empty (nil, empty, nothing
// done). Nothing else ever resets `Err`.
//
// (CFSTR of a short string, BlockZero, NSTR and ReleasePtr are the ones of
// CFUtilities, MacMemory and ToolboxAll; this unit adds what they lack.)
#pragma once

#include <Units/CrossPlatform/ToolboxAll.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/ShortString.h>

#include <CoreServices/CoreServices.h>
#include <HIToolbox/HIView.h>
#include <HIToolbox/Menus.h>

// The status of the last platform call of the routines that say so.
extern OSStatus Err;
// The sound action of the last alert sound PlayAlertSound registered; 0
// when there is none.
extern SystemSoundActionID GlobalAlertSoundAction;

// Four characters; as UTF-8 a Mac Roman character may take up to three bytes.
typedef BasicShortString<12> Str4;

// ---- memory ----

// Copies `size` bytes; the blocks may overlap (source first, destination second).
void BlockMove(const void* source, void* dest, Size size);
// Whether `p` is not nil.
Boolean IsObjectValid(const void* p);
// A new block of the same size holding a copy of a live block; nil for
// anything that is not a live block.
Ptr CloneObject(Ptr p);
// A new block of `size` bytes holding a copy of the first `size` bytes at
// `p`; nil for nil or a negative size.
Ptr NewPtrCopy(const void* p, Size size);
// When `p` is not a live block, it is replaced by a new block holding a
// copy of its first `size` bytes (what it pointed at is left alone); a
// live block stays.
void SwapPointer(Ptr& p, Size size);

// ---- strings and codes ----

// The four characters packed big-endian, the first in the highest byte:
// FCC("undo") is 0x756E646F. Characters beyond the first four are
// ignored; missing ones count as spaces (FCC("new") is 'new '). A
// character outside ASCII counts as its Mac Roman byte ('?' when it has
// none), so that every code survives a round trip through FCCToString.
UInt32 FCC(std::string_view code);
UInt32 FCCToInteger(std::string_view code);
// The reverse, highest byte first; bytes above 127 read as Mac Roman.
Str4 FCCToString(UInt32 code);
// The decimal text of `n`.
ShortString NStr(SInt32 n);
// A whole number drawn from the unit's random generator: min + (Random(m)
// mod (m − min + 1)) with m = max, or max − min when min < 0 < max, and
// Random(m) uniform in 0 ... m − 1. So (1, 6) gives 1 to 6, (0, 10) 0 to 9,
// (−5, 5) −5 to 4. A range that holds no number (m ≤ 0, or m − min + 1 ≤
// 0) answers min.
SInt32 GetRandomNumber(SInt32 min, SInt32 max);

// ---- system ----

// The minor system version (Gestalt "sys2").
SInt32 MacOSVersion();
// The system alert sound.
void Beep();
// Nothing when the file does not exist. Otherwise the previous alert
// sound's action is removed, the file registered as the new one (kept in
// GlobalAlertSoundAction) and, when that succeeded, played.
void PlayAlertSound(const FSRef& file);
// A system icon by its type; status in Err; nil on failure. The caller
// releases the icon (ReleaseIconRef).
IconRef GetSystemIcon(UInt32 type);
// Makes a URL of the text and opens it with its default application;
// nothing when no URL can be made of it; status in Err.
void LSOpenURL(CFStringRef url);
void LSOpenURL(const ShortString& url);
// The item `name` in the LoginItems folder of the main bundle: 0 when it
// exists, -43 when the bundle or the item cannot be found (ref all zero).
SInt32 LSGetLoginItemFSRef(const ShortString& name, FSRef& ref);
// Walks the running processes from the start; true with `psn` set at the
// first whose name equals `name`. Processes whose name cannot be read are
// skipped. False when the walk ends without a match.
Boolean FindProcess(CFStringRef name, ProcessSerialNumber& psn);

// ---- HI commands ----

// Sends a command-process event to the target, its HICommand holding the
// command and nothing else; Err holds the status of the last step.
void SendHICommand(EventTargetRef target, UInt32 command);
// Reads `size` bytes of the command event's parameter (name, type) into
// `dest`; when the event has none and its command came from a menu item,
// the item's property with creator `name` and tag `type` instead (menu
// items carry their command data so). Answers the status; `dest` is left
// as it was on a failure.
OSStatus GetCommandParameter(EventRef event, EventParamName name, EventParamType type, ByteCount size, void* dest);

// ---- menus ----

void SetMenuItemEnabled(MenuRef menu, MenuItemIndex index, bool enabled);
// The item carries a mark, whichever.
bool IsMenuItemChecked(MenuRef menu, MenuItemIndex index);
// Whether the first item with the command anywhere in the menu bar is
// checked; false when no item has it. The search's status in Err.
bool IsMenuCommandChecked(MenuCommand command);
// Checks (or flips the check of) the first item with the command in the
// menu or its submenus (nil: the menu bar); nothing when there is none.
// The search's status in Err.
void CheckMenuCommand(MenuRef menu, MenuCommand command);
void ToggleMenuCommand(MenuRef menu, MenuCommand command);
// Takes the mark off every item of the menu, then checks the item at
// `index` when it is above 0: one checked item per menu.
void ToggleMenuItem(MenuItemIndex index, MenuRef menu);

// ---- HIView controls ----

// The view's frame; status in Err (the empty rectangle on a failure).
CGRect HIViewFrame(HIViewRef view);
// The view's text; empty when it has none.
ShortString HIViewGetText(HIViewRef view);
// Gives the view the keyboard focus unless it or a view inside it has it,
// then selects all its text; status of the last step in Err.
void HIViewFocusEditText(HIViewRef view);
// The menu of a pop-up or bevel button; nil for another kind. Status in Err.
MenuRef HIViewGetMenu(HIViewRef view);
// The view's tag text (its ('view', 'ntag') property, less the zero byte
// it is stored with), cut to 255 bytes; empty when it has none. Status in Err.
ShortString HIViewGetTag(HIViewRef view);
// The view with that control id under the window's root view; nil when none.
ControlRef HIViewFind(SInt16 id, UInt32 signature, WindowRef window);
