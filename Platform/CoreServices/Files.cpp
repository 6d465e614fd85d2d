#include "Files.h"

#include <cstring>
#include <cstdlib>
#include <sys/stat.h>

namespace {

bool IsEmpty(const FSRef* ref)
{
    return ref == nullptr || ref->path[0] == '\0';
}

}  // namespace

OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory)
{
    if (path == nullptr || ref == nullptr)
        return paramErr;
    const char* text = reinterpret_cast<const char*>(path);
    if (std::strlen(text) >= PATH_MAX)
        return bdNamErr;
    char resolved[PATH_MAX];
    if (realpath(text, resolved) == nullptr)
        return fnfErr;
    struct stat info;
    if (stat(resolved, &info) != 0)
        return fnfErr;
    std::memset(ref, 0, sizeof *ref);
    ref->device = info.st_dev;
    ref->inode = info.st_ino;
    std::strcpy(ref->path, resolved);
    if (isDirectory)
        *isDirectory = S_ISDIR(info.st_mode);
    return noErr;
}

OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize)
{
    if (path == nullptr || maxPathSize == 0 || IsEmpty(ref))
        return paramErr;
    const size_t length = strnlen(ref->path, sizeof ref->path);
    if (length >= maxPathSize)
        return bdNamErr;
    std::memcpy(path, ref->path, length + 1);
    return noErr;
}

OSErr FSCompareFSRefs(const FSRef* ref1, const FSRef* ref2)
{
    if (IsEmpty(ref1) || IsEmpty(ref2))
        return paramErr;
    return ref1->device == ref2->device && ref1->inode == ref2->inode ? noErr : errFSRefsDifferent;
}

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef)
{
    if (IsEmpty(fsRef))
        return nullptr;
    const size_t length = strnlen(fsRef->path, sizeof fsRef->path);
    struct stat info;
    const bool directory = stat(fsRef->path, &info) == 0 && S_ISDIR(info.st_mode);
    return CFURLCreateFromFileSystemRepresentation(allocator, reinterpret_cast<const UInt8*>(fsRef->path),
                                                   static_cast<CFIndex>(length), directory);
}

Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef)
{
    UInt8 path[PATH_MAX];
    if (fsRef == nullptr || !CFURLGetFileSystemRepresentation(url, true, path, sizeof path))
        return false;
    return FSPathMakeRef(path, fsRef, nullptr) == noErr;
}
