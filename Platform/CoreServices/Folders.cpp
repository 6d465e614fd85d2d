#include "Folders.h"

#include "FilesInternal.h"

#include <Support/Paths.h>

#include <string>

namespace {

bool FolderPath(OSType folderType, std::string* path)
{
    switch (folderType) {
    case kPreferencesFolderType:
        *path = Paths::PreferencesFolder();
        return true;
    case kTemporaryFolderType:
        *path = Paths::TemporaryFolder();
        return true;
    case kCachedDataFolderType:
        *path = Paths::CachesFolder();
        return true;
    case kDomainLibraryFolderType:
        *path = Paths::LibraryFolder();
        return true;
    case kApplicationSupportFolderType:
        *path = Paths::DataHome();
        return true;
    case kDesktopFolderType:
        *path = Paths::DesktopFolder();
        return true;
    case kDocumentsFolderType:
        *path = Paths::DocumentsFolder();
        return true;
    case kCurrentUserFolderType:
        *path = Paths::Home();
        return true;
    case kSystemSoundsFolderType:
        *path = Paths::SystemSoundsFolder();
        return true;
    default:
        return false;
    }
}

}  // namespace

OSErr FSFindFolder(FSVolumeRefNum, OSType folderType, Boolean createFolder, FSRef* foundRef)
{
    if (foundRef == nullptr)
        return paramErr;
    std::string path;
    if (folderType == kTrashFolderType) {
        if (const OSErr status = FilesInternal::HomeTrashFilesFolder(&path))
            return status;
    } else if (!FolderPath(folderType, &path)) {
        return fnfErr;
    }
    Boolean isDirectory = false;
    OSStatus status = FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), foundRef, &isDirectory);
    if (status == fnfErr && createFolder) {
        if (const OSErr made = FilesInternal::MakeFolders(path))
            return made;
        status = FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), foundRef, &isDirectory);
    }
    if (status != noErr)
        return static_cast<OSErr>(status);
    return isDirectory ? noErr : errFSNotAFolder;
}
