// Launch Services as the units use it: what an item is called and what
// kind it is, opening URLs and files, and (our addition) revealing an item
// in the file manager.
//
// Nothing here builds a command line: URLs are opened by QDesktopServices
// when a GUI application runs, else by xdg-open given the URL as one
// argument; programs are started detached with an argument vector;
// revealing asks the file manager over D-Bus
// (org.freedesktop.FileManager1.ShowItems) and otherwise opens the folder
// that holds the item.
#pragma once

#include <CoreServices/Files.h>

#include <functional>
#include <string>

typedef OptionBits LSRequestedInfo;
typedef OptionBits LSItemInfoFlags;

enum : LSRequestedInfo {
    kLSRequestExtension = 0x00000001,
    kLSRequestTypeCreator = 0x00000002,
    kLSRequestBasicFlagsOnly = 0x00000004,
    kLSRequestAppTypeFlags = 0x00000008,
    kLSRequestAllFlags = 0x00000010,
    kLSRequestIconAndKind = 0x00000020,
    kLSRequestExtensionFlagsOnly = 0x00000040,
    kLSRequestAllInfo = 0xFFFFFFFF,
};

enum : LSItemInfoFlags {
    kLSItemInfoIsPlainFile = 0x00000001,
    kLSItemInfoIsPackage = 0x00000002,
    kLSItemInfoIsApplication = 0x00000004,
    kLSItemInfoIsContainer = 0x00000008,
    kLSItemInfoIsAliasFile = 0x00000010,
    kLSItemInfoIsSymlink = 0x00000020,
    kLSItemInfoIsInvisible = 0x00000040,
    kLSItemInfoExtensionIsHidden = 0x00100000,
};

typedef OptionBits LSRolesMask;
typedef OptionBits LSAcceptanceFlags;

enum : LSRolesMask {
    kLSRolesNone = 0x00000001,
    kLSRolesViewer = 0x00000002,
    kLSRolesEditor = 0x00000004,
    kLSRolesShell = 0x00000008,
    kLSRolesAll = 0xFFFFFFFF,
};

enum : LSAcceptanceFlags {
    kLSAcceptDefault = 0x00000001,
    kLSAcceptAllowLoginUI = 0x00000002,
};

struct LSItemInfoRecord {
    LSItemInfoFlags flags;
    OSType filetype;
    OSType creator;
    CFStringRef extension;  // new string, or nil when the name has none
};

// The item's flags, type and creator, and the extension of its name: what
// follows the last point, unless that point begins the name or ends it, or
// what follows holds a space. fnfErr when the item does not exist.
OSStatus LSCopyItemInfoForRef(const FSRef* inItemRef, LSRequestedInfo inWhichInfo, LSItemInfoRecord* outItemInfo);
// The name as the file manager shows it (a new string): the file name, with
// bytes that are not UTF-8 shown as U+FFFD.
OSStatus LSCopyDisplayNameForRef(const FSRef* inRef, CFStringRef* outDisplayName);

// Opens the URL with the user's preferred application. paramErr for a URL
// that has no scheme or holds control characters; kLSApplicationNotFoundErr
// when nothing could open it. `outLaunchedURL` (may be nil) receives nil.
OSStatus LSOpenCFURLRef(CFURLRef inURL, CFURLRef* outLaunchedURL);
// An executable file is started (detached, no arguments); anything else is
// opened as its file URL. `outLaunchedRef` (may be nil) receives the item.
OSStatus LSOpenFSRef(const FSRef* inRef, FSRef* outLaunchedRef);

// Our addition: shows the item selected in the file manager, or, when no
// file manager answers on the session bus, opens the folder holding it.
OSStatus LSRevealFSRef(const FSRef* inRef);

// Our addition: how URLs and programs leave the process. Each answers
// whether it succeeded. Tests install their own so that nothing is really
// opened; nil members (or a nil launcher) restore the defaults.
struct LSLauncher {
    std::function<bool(const std::string& url)> openURL;
    std::function<bool(const std::string& program)> launchProgram;
};
void LSSetLauncher(const LSLauncher* launcher);

// Whether the application bundle at `inTargetRef` takes the item in one of
// the roles of the mask: a document type of its Info.plist
// (CFBundleDocumentTypes) whose role (CFBundleTypeRole: "Editor",
// "Viewer", "Shell", "None"; "Editor" when absent) is in the mask lists the
// item's extension (CFBundleTypeExtensions, compared without case, "*" for
// any file) or, for a folder, the type "fold" (CFBundleTypeOSTypes).
// fnfErr when the item or the bundle does not exist; a bundle without
// document types takes nothing.
OSStatus LSCanRefAcceptItem(const FSRef* inItemFSRef, const FSRef* inTargetRef, LSRolesMask inRoleMask,
                            LSAcceptanceFlags inFlags, Boolean* outAcceptsItem);
