#include "CarbonUtilities.h"

#include "FSUtilities.h"

#include <CoreFoundation/CFRef.h>
#include <HIToolbox/ControlKinds.h>
#include <HIToolbox/HostedViews.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

OSStatus Err = noErr;
SystemSoundActionID GlobalAlertSoundAction = 0;

namespace {

CFRef<CFStringRef> NewString(std::string_view utf8)
{
    return CFRef<CFStringRef>(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8.data()),
                                                      static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8, false));
}

}  // namespace

// ---- memory ----

void BlockMove(const void* source, void* dest, Size size)
{
    BlockMoveData(source, dest, size);
}

Boolean IsObjectValid(const void* p)
{
    return p != nullptr;
}

Ptr CloneObject(Ptr p)
{
    if (!IsPointerValid(p))
        return nullptr;
    return NewPtrCopy(p, GetPtrSize(p));
}

Ptr NewPtrCopy(const void* p, Size size)
{
    if (p == nullptr || size < 0)
        return nullptr;
    Ptr block = NewPtr(size);
    BlockMoveData(p, block, size);
    return block;
}

void SwapPointer(Ptr& p, Size size)
{
    if (p == nullptr || IsPointerValid(p))
        return;
    p = NewPtrCopy(p, size);
}

// ---- strings and codes ----

UInt32 FCC(std::string_view code)
{
    UInt8 bytes[4] = {' ', ' ', ' ', ' '};
    const bool ascii =
        std::all_of(code.begin(), code.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        std::memcpy(bytes, code.data(), std::min<size_t>(code.size(), 4));
    } else {
        // Codes are bytes of Mac Roman; a character it lacks becomes '?'.
        CFRef<CFStringRef> text = NewString(code);
        if (!text)  // not UTF-8: the bytes are Mac Roman already
            text = CFRef<CFStringRef>(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(code.data()),
                                                              static_cast<CFIndex>(code.size()),
                                                              kCFStringEncodingMacRoman, false));
        const CFIndex characters = std::min<CFIndex>(CFStringGetLength(text), 4);
        CFIndex used = 0;
        CFStringGetBytes(text, CFRangeMake(0, characters), kCFStringEncodingMacRoman, '?', false, bytes, 4, &used);
    }
    return (static_cast<UInt32>(bytes[0]) << 24) | (static_cast<UInt32>(bytes[1]) << 16) |
           (static_cast<UInt32>(bytes[2]) << 8) | bytes[3];
}

UInt32 FCCToInteger(std::string_view code)
{
    return FCC(code);
}

Str4 FCCToString(UInt32 code)
{
    const UInt8 bytes[4] = {static_cast<UInt8>(code >> 24), static_cast<UInt8>(code >> 16),
                            static_cast<UInt8>(code >> 8), static_cast<UInt8>(code)};
    if (std::all_of(bytes, bytes + 4, [](UInt8 b) { return b < 0x80; }))
        return Str4(std::string_view(reinterpret_cast<const char*>(bytes), 4));
    CFRef<CFStringRef> text(CFStringCreateWithBytes(nullptr, bytes, 4, kCFStringEncodingMacRoman, false));
    CFIndex needed = 0;
    CFStringGetBytes(text, CFRangeMake(0, CFStringGetLength(text)), kCFStringEncodingUTF8, '?', false, nullptr, 0,
                     &needed);
    std::string utf8(static_cast<size_t>(needed), '\0');
    CFStringGetBytes(text, CFRangeMake(0, CFStringGetLength(text)), kCFStringEncodingUTF8, '?', false,
                     reinterpret_cast<UInt8*>(utf8.data()), needed, &needed);
    return Str4(utf8);
}

ShortString NStr(SInt32 n)
{
    return NSTR(n);
}

SInt32 GetRandomNumber(SInt32 min, SInt32 max)
{
    const SInt64 m = (min < 0 && max > 0) ? static_cast<SInt64>(max) - min : max;
    const SInt64 modulus = m - min + 1;
    // An empty range would divide by zero (or draw from nothing).
    if (m <= 0 || modulus <= 0)
        return min;
    std::uniform_int_distribution<SInt64> random(0, m - 1);
    SInt64 remainder = random(ToolboxRandomGenerator()) % modulus;
    if (remainder < 0)
        remainder = -remainder;
    return static_cast<SInt32>(min + remainder);
}

// ---- system ----

SInt32 MacOSVersion()
{
    SInt32 minor = 0;
    Gestalt(gestaltSystemVersionMinor, &minor);
    return minor;
}

void Beep()
{
    SysBeep(1);
}

void PlayAlertSound(const FSRef& file)
{
    if (!FSRefExists(file))
        return;
    if (GlobalAlertSoundAction != 0) {
        SystemSoundRemoveActionID(GlobalAlertSoundAction);
        GlobalAlertSoundAction = 0;
    }
    if (SystemSoundGetActionID(&file, &GlobalAlertSoundAction) == noErr)
        AlertSoundPlayCustomSound(GlobalAlertSoundAction);
    else
        GlobalAlertSoundAction = 0;
}

IconRef GetSystemIcon(UInt32 type)
{
    IconRef icon = nullptr;
    Err = GetIconRef(kOnSystemDisk, kSystemIconsCreator, type, &icon);
    return Err == noErr ? icon : nullptr;
}

void LSOpenURL(CFStringRef url)
{
    if (url == nullptr)
        return;
    CFRef<CFURLRef> made(CFURLCreateWithString(nullptr, url, nullptr));
    if (!made)
        return;
    Err = LSOpenCFURLRef(made, nullptr);
}

void LSOpenURL(const ShortString& url)
{
    LSOpenURL(NewString(url.View()).get());
}

SInt32 LSGetLoginItemFSRef(const ShortString& name, FSRef& ref)
{
    std::memset(&ref, 0, sizeof ref);
    // One name of the bundle's LoginItems folder, never a path out of it.
    const std::string_view text = name.View();
    if (text.empty() || text == "." || text == ".." || text.find('/') != std::string_view::npos)
        return fnfErr;
    FSRef bundle{};
    CFRef<CFURLRef> url(CFBundleCopyBundleURL(CFBundleGetMainBundle()));
    if (!url || !CFURLGetFSRef(url, &bundle))
        return fnfErr;
    const std::string path = std::string(bundle.path) + "/LoginItems/" + std::string(text);
    if (FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr) != noErr) {
        std::memset(&ref, 0, sizeof ref);
        return fnfErr;
    }
    return noErr;
}

Boolean FindProcess(CFStringRef name, ProcessSerialNumber& psn)
{
    psn = {0, kNoProcess};
    if (name == nullptr)
        return false;
    while (GetNextProcess(&psn) == noErr) {
        CFStringRef processName = nullptr;
        if (CopyProcessName(&psn, &processName) != noErr || processName == nullptr)
            continue;
        const bool same = CFStringCompare(processName, name, 0) == kCFCompareEqualTo;
        CFRelease(processName);
        if (same)
            return true;
    }
    return false;
}

// ---- HI commands ----

void SendHICommand(EventTargetRef target, UInt32 command)
{
    EventRef event = nullptr;
    Err = CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, GetCurrentEventTime(), kEventAttributeNone,
                      &event);
    if (Err != noErr)
        return;
    HICommand hiCommand = {};
    hiCommand.commandID = command;
    Err = SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof hiCommand, &hiCommand);
    if (Err == noErr)
        Err = SendEventToEventTarget(event, target);
    ReleaseEvent(event);
}

OSStatus GetCommandParameter(EventRef event, EventParamName name, EventParamType type, ByteCount size, void* dest)
{
    HICommand command = {};
    const bool haveCommand = GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command,
                                               nullptr, &command) == noErr;
    OSStatus status = GetEventParameter(event, name, type, nullptr, static_cast<UInt32>(size), nullptr, dest);
    if (status != noErr && haveCommand && (command.attributes & kHICommandFromMenu) != 0 &&
        command.menu.menuRef != nullptr)
        status = GetMenuItemProperty(command.menu.menuRef, command.menu.menuItemIndex, name, type, size, nullptr, dest);
    return status;
}

// ---- menus ----

void SetMenuItemEnabled(MenuRef menu, MenuItemIndex index, bool enabled)
{
    if (enabled)
        EnableMenuItem(menu, index);
    else
        DisableMenuItem(menu, index);
}

bool IsMenuItemChecked(MenuRef menu, MenuItemIndex index)
{
    CharParameter mark = noMark;
    GetItemMark(menu, index, &mark);
    return mark != noMark;
}

bool IsMenuCommandChecked(MenuCommand command)
{
    MenuRef menu = nullptr;
    MenuItemIndex index = 0;
    Err = GetIndMenuItemWithCommandID(nullptr, command, 1, &menu, &index);
    return Err == noErr && IsMenuItemChecked(menu, index);
}

void CheckMenuCommand(MenuRef menu, MenuCommand command)
{
    MenuRef found = nullptr;
    MenuItemIndex index = 0;
    Err = GetIndMenuItemWithCommandID(menu, command, 1, &found, &index);
    if (Err == noErr)
        CheckMenuItem(found, index, true);
}

void ToggleMenuCommand(MenuRef menu, MenuCommand command)
{
    MenuRef found = nullptr;
    MenuItemIndex index = 0;
    Err = GetIndMenuItemWithCommandID(menu, command, 1, &found, &index);
    if (Err == noErr)
        CheckMenuItem(found, index, !IsMenuItemChecked(found, index));
}

void ToggleMenuItem(MenuItemIndex index, MenuRef menu)
{
    const UInt16 count = CountMenuItems(menu);
    for (MenuItemIndex item = 1; item <= count; ++item)
        SetItemMark(menu, item, noMark);
    if (index > 0)
        CheckMenuItem(menu, index, true);
}

// ---- HIView controls ----

namespace {

// Whether the keyboard focus of the view's window is the view or a view
// inside it.
bool HoldsFocus(HIViewRef view)
{
    ControlRef focus = nullptr;
    if (GetKeyboardFocus(HIViewGetWindow(view), &focus) != noErr)
        return false;
    for (; focus != nullptr; focus = HIViewGetSuperview(focus)) {
        if (focus == view)
            return true;
    }
    return false;
}

}  // namespace

CGRect HIViewFrame(HIViewRef view)
{
    CGRect frame = CGRectZero;
    Err = HIViewGetFrame(view, &frame);
    return Err == noErr ? frame : CGRectZero;
}

ShortString HIViewGetText(HIViewRef view)
{
    CFRef<CFStringRef> text(HIViewCopyText(view));
    return text ? CFStringToPascal(text) : ShortString();
}

void HIViewFocusEditText(HIViewRef view)
{
    if (!HoldsFocus(view)) {
        Err = SetKeyboardFocus(HIViewGetWindow(view), view, kControlFocusNextPart);
        if (Err != noErr)
            return;
    }
    const ControlEditTextSelectionRec all = {0, 32767};
    Err = SetControlData(view, kControlEntireControl, kControlEditTextSelectionTag, sizeof all, &all);
}

MenuRef HIViewGetMenu(HIViewRef view)
{
    ControlKind kind = {};
    Err = GetControlKind(view, &kind);
    if (Err != noErr)
        return nullptr;
    ResType tag = 0;
    if (kind.kind == kControlKindPopupButton)
        tag = kControlPopupButtonMenuRefTag;
    else if (kind.kind == kControlKindBevelButton)
        tag = kControlBevelButtonMenuRefTag;
    else
        return nullptr;
    MenuRef menu = nullptr;
    Err = GetControlData(view, kControlEntireControl, tag, sizeof menu, &menu, nullptr);
    return Err == noErr ? menu : nullptr;
}

ShortString HIViewGetTag(HIViewRef view)
{
    ByteCount size = 0;
    Err = GetControlPropertySize(view, FCC("view"), FCC("ntag"), &size);
    if (Err != noErr || size == 0)
        return ShortString();
    std::vector<char> bytes(size);
    Err = GetControlProperty(view, FCC("view"), FCC("ntag"), size, &size, bytes.data());
    if (Err != noErr)
        return ShortString();
    // Stored as a C string; a text stored without its zero keeps every
    // character.
    std::string_view text(bytes.data(), std::min<size_t>(size, bytes.size()));
    if (!text.empty() && text.back() == '\0')
        text.remove_suffix(1);
    return ShortString(text);
}

ControlRef HIViewFind(SInt16 id, UInt32 signature, WindowRef window)
{
    HIViewRef root = HIViewGetRoot(window);
    if (root == nullptr)
        return nullptr;
    ControlRef found = nullptr;
    const HIViewID viewID = {signature, id};
    return HIViewFindByID(root, viewID, &found) == noErr ? found : nullptr;
}
