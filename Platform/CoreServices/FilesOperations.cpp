// Creating, renaming, moving and deleting. Nothing here ever replaces an
// object that exists: creation is exclusive and every rename refuses a name
// that is taken.
#include "Files.h"

#include "FilesInternal.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace FilesInternal;

namespace FilesInternal {

OSErr RenameNoReplace(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return noErr;
    if (errno != EINVAL && errno != ENOSYS)
        return StatusFromErrno(errno);
    // A file system that cannot refuse to replace. A file is linked under the
    // new name first (which fails when the name is taken) and then unlinked
    // under the old; a folder takes the place of an empty folder made first
    // under the new name, which nobody else can have made.
    struct stat info;
    if (lstat(from.c_str(), &info) != 0)
        return StatusFromErrno(errno);
    if (!S_ISDIR(info.st_mode)) {
        if (link(from.c_str(), to.c_str()) != 0)
            return StatusFromErrno(errno);
        if (unlink(from.c_str()) != 0) {
            const int error = errno;
            unlink(to.c_str());
            return StatusFromErrno(error);
        }
        return noErr;
    }
    if (mkdir(to.c_str(), 0700) != 0)
        return StatusFromErrno(errno);
    if (rename(from.c_str(), to.c_str()) != 0) {
        const int error = errno;
        rmdir(to.c_str());
        return StatusFromErrno(error);
    }
    return noErr;
}

}  // namespace FilesInternal

namespace {

OSErr FinishCreation(const std::string& path, FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo,
                     FSRef* newRef)
{
    FSRef made;
    if (const OSErr status = MakeRef(path, false, &made))
        return status;
    if (catalogInfo && whichInfo != kFSCatInfoNone) {
        if (const OSErr status = FSSetCatalogInfo(&made, whichInfo, catalogInfo))
            return status;
    }
    if (newRef)
        *newRef = made;
    return noErr;
}

OSErr Move(const FSRef* source, const FSRef* destDir, const std::string* newName, FSRef* target)
{
    struct stat info;
    if (const OSErr status = StatRef(source, &info))
        return status;
    struct stat folder;
    if (const OSErr status = StatRef(destDir, &folder))
        return status;
    if (!S_ISDIR(folder.st_mode))
        return errFSNotAFolder;
    if (IsHomeTrashFilesFolder(destDir->path))
        return MoveToTrash(source, target);
    const std::string from(source->path);
    const std::string name = newName ? *newName : LastComponent(from);
    const std::string to = (std::string(destDir->path) == "/" ? "" : std::string(destDir->path)) + "/" + name;
    if (to != from) {
        if (const OSErr status = RenameNoReplace(from, to))
            return status;
    }
    if (target)
        return MakeRef(to, false, target);
    return noErr;
}

}  // namespace

OSErr FSCreateFileUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                          FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo, FSRef* newRef, FSSpecPtr)
{
    std::string path;
    if (const OSErr status = ChildPath(parentRef, name, nameLength, &path))
        return status;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return StatusFromErrno(errno);
    close(fd);
    return FinishCreation(path, whichInfo, catalogInfo, newRef);
}

OSErr FSCreateDirectoryUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                               FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo, FSRef* newRef,
                               FSSpecPtr, UInt32* newDirID)
{
    std::string path;
    if (const OSErr status = ChildPath(parentRef, name, nameLength, &path))
        return status;
    if (mkdir(path.c_str(), 0777) != 0)
        return StatusFromErrno(errno);
    FSRef made;
    if (const OSErr status = FinishCreation(path, whichInfo, catalogInfo, &made))
        return status;
    if (newDirID)
        *newDirID = static_cast<UInt32>(made.inode);
    if (newRef)
        *newRef = made;
    return noErr;
}

OSErr FSRenameUnicode(const FSRef* ref, UniCharCount nameLength, const UniChar* name, TextEncoding, FSRef* newRef)
{
    struct stat info;
    if (const OSErr status = StatRef(ref, &info))
        return status;
    if (std::string(ref->path) == "/")
        return paramErr;
    std::string bytes;
    if (const OSErr status = NameFromUnicode(name, nameLength, &bytes))
        return status;
    const std::string from(ref->path);
    const std::string folder = ParentPath(from);
    const std::string to = (folder == "/" ? "" : folder) + "/" + bytes;
    if (to != from) {
        if (const OSErr status = RenameNoReplace(from, to))
            return status;
    }
    if (newRef)
        return MakeRef(to, false, newRef);
    return noErr;
}

OSErr FSMoveObject(const FSRef* ref, const FSRef* destDirectory, FSRef* newRef)
{
    return Move(ref, destDirectory, nullptr, newRef);
}

OSStatus FSMoveObjectSync(const FSRef* source, const FSRef* destDir, CFStringRef destName, FSRef* target,
                          OptionBits options)
{
    // Every option (overwriting among them) is refused rather than ignored.
    if (options != 0)
        return paramErr;
    if (destName == nullptr)
        return Move(source, destDir, nullptr, target);
    std::string name;
    if (const OSErr status = NameFromCFString(destName, &name))
        return status;
    return Move(source, destDir, &name, target);
}

OSErr FSDeleteObject(const FSRef* ref)
{
    struct stat info;
    if (const OSErr status = StatRef(ref, &info))
        return status;
    const int result = S_ISDIR(info.st_mode) ? rmdir(ref->path) : unlink(ref->path);
    return result == 0 ? noErr : StatusFromErrno(errno);
}
