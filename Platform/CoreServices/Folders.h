// The special folders, found by their four-character type. Each maps to
// the freedesktop place the Paths module names: the Preferences folder is
// $XDG_CONFIG_HOME/brindlet, the Library folder $XDG_DATA_HOME, the Trash
// the files folder of the home trash, and so on. The volume argument is
// accepted and ignored: every folder is the user's.
#pragma once

#include <CoreServices/Files.h>
#include <CoreServices/OSTypeCodes.h>

enum : FSVolumeRefNum {
    kOnSystemDisk = -32768,
    kOnAppropriateDisk = -32767,
    kSystemDomain = -32766,
    kLocalDomain = -32765,
    kNetworkDomain = -32764,
    kUserDomain = -32763,
};

inline constexpr Boolean kCreateFolder = true;
inline constexpr Boolean kDontCreateFolder = false;

enum : OSType {
    kPreferencesFolderType = MakeOSType("pref"),
    kTrashFolderType = MakeOSType("trsh"),
    kTemporaryFolderType = MakeOSType("temp"),
    kCachedDataFolderType = MakeOSType("cach"),
    kDomainLibraryFolderType = MakeOSType("dlib"),
    kApplicationSupportFolderType = MakeOSType("asup"),
    kDesktopFolderType = MakeOSType("desk"),
    kDocumentsFolderType = MakeOSType("docs"),
    kCurrentUserFolderType = MakeOSType("cusr"),
    kSystemSoundsFolderType = MakeOSType("ssnd"),
};

// The folder of that type. When it does not exist, it is made (with every
// folder above it) only when `createFolder` is set; otherwise fnfErr. The
// Trash is always made when missing, as the trash specification asks of
// whoever needs it. An unknown type answers fnfErr.
OSErr FSFindFolder(FSVolumeRefNum vRefNum, OSType folderType, Boolean createFolder, FSRef* foundRef);
