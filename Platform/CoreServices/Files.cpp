#include "Files.h"

#include "FilesInternal.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace FilesInternal {

OSErr StatusFromErrno(int error)
{
    switch (error) {
    case 0:
        return noErr;
    case ENOENT:
    case ELOOP:
        return fnfErr;
    case ENOTDIR:
        return dirNFErr;
    case EEXIST:
    case ENOTEMPTY:
        return dupFNErr;
    case EACCES:
    case EPERM:
        return afpAccessDenied;
    case EROFS:
        return vLckdErr;
    case ENOSPC:
    case EDQUOT:
        return dskFulErr;
    case ENAMETOOLONG:
        return bdNamErr;
    case EXDEV:
        return diffVolErr;
    case EISDIR:
        return notAFileErr;
    case EBUSY:
    case ETXTBSY:
        return fBsyErr;
    case EMFILE:
    case ENFILE:
        return tmfoErr;
    case EINVAL:
        return paramErr;
    case ENOMEM:
        return memFullErr;
    default:
        return ioErr;
    }
}

bool IsNoFile(const FSRef* ref)
{
    return ref == nullptr || ref->path[0] == '\0';
}

OSErr MakeRef(const std::string& path, bool follow, FSRef* ref, struct stat* info)
{
    if (path.size() >= sizeof ref->path)
        return bdNamErr;
    struct stat status;
    if ((follow ? stat(path.c_str(), &status) : lstat(path.c_str(), &status)) != 0)
        return StatusFromErrno(errno);
    std::memset(ref, 0, sizeof *ref);
    ref->device = status.st_dev;
    ref->inode = status.st_ino;
    std::memcpy(ref->path, path.c_str(), path.size() + 1);
    if (info)
        *info = status;
    return noErr;
}

OSErr MakeFolders(const std::string& path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string partial = path.substr(0, slash);
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return StatusFromErrno(errno);
        if (slash == std::string::npos)
            return noErr;
    }
}

OSErr StatRef(const FSRef* ref, struct stat* info)
{
    if (IsNoFile(ref))
        return paramErr;
    if (strnlen(ref->path, sizeof ref->path) == sizeof ref->path)
        return paramErr;
    return lstat(ref->path, info) == 0 ? noErr : StatusFromErrno(errno);
}

OSErr ChildPath(const FSRef* parentRef, const UniChar* name, UniCharCount nameLength, std::string* path)
{
    struct stat parent;
    if (const OSErr status = StatRef(parentRef, &parent))
        return status;
    if (!S_ISDIR(parent.st_mode))
        return errFSNotAFolder;
    std::string bytes;
    if (const OSErr status = NameFromUnicode(name, nameLength, &bytes))
        return status;
    const std::string folder(parentRef->path);
    *path = (folder == "/" ? "" : folder) + "/" + bytes;
    return noErr;
}

OSErr NameFromUnicode(const UniChar* name, UniCharCount length, std::string* bytes)
{
    if (name == nullptr || length == 0 || length > 255)
        return bdNamErr;
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(name), static_cast<qsizetype>(length));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate() || c == QLatin1Char('/') || c.unicode() == 0)
            return bdNamErr;
    }
    *bytes = text.toUtf8().toStdString();
    if (*bytes == "." || *bytes == ".." || bytes->size() > NAME_MAX)
        return bdNamErr;
    return noErr;
}

OSErr NameFromCFString(CFStringRef name, std::string* bytes)
{
    if (name == nullptr || CFGetTypeID(name) != CFStringGetTypeID())
        return paramErr;
    const CFIndex length = CFStringGetLength(name);
    if (length <= 0 || length > 255)
        return bdNamErr;
    UniChar units[255];
    CFStringGetCharacters(name, CFRangeMake(0, length), units);
    return NameFromUnicode(units, static_cast<UniCharCount>(length), bytes);
}

std::string LastComponent(const std::string& path)
{
    if (path == "/")
        return path;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ParentPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SetUniName(HFSUniStr255* out, std::string_view bytes)
{
    if (out == nullptr)
        return;
    const QString text = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    qsizetype length = std::min<qsizetype>(text.size(), 255);
    // Never end inside a surrogate pair.
    if (length < text.size() && length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    out->length = static_cast<UInt16>(length);
    std::memcpy(out->unicode, text.utf16(), static_cast<size_t>(length) * sizeof(UniChar));
}

}  // namespace FilesInternal

using namespace FilesInternal;

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
    if (const OSErr status = MakeRef(resolved, true, ref, &info))
        return status;
    if (isDirectory)
        *isDirectory = S_ISDIR(info.st_mode);
    return noErr;
}

OSStatus FSPathMakeRefWithOptions(const UInt8* path, OptionBits options, FSRef* ref, Boolean* isDirectory)
{
    if (path == nullptr || ref == nullptr)
        return paramErr;
    const std::string text(reinterpret_cast<const char*>(path));
    const std::string leaf = LastComponent(text);
    // A path that ends in a slash, ".", or ".." names a folder, never a link.
    if (!(options & kFSPathMakeRefDoNotFollowLeafSymlink) || text.empty() || text.back() == '/' || leaf == "." ||
        leaf == ".." || leaf == "/")
        return FSPathMakeRef(path, ref, isDirectory);
    if (text.size() >= PATH_MAX)
        return bdNamErr;
    char folder[PATH_MAX];
    if (realpath(ParentPath(text).c_str(), folder) == nullptr)
        return fnfErr;
    const std::string folderText(folder);
    struct stat info;
    if (const OSErr status = MakeRef((folderText == "/" ? "" : folderText) + "/" + leaf, false, ref, &info))
        return status;
    if (isDirectory)
        *isDirectory = S_ISDIR(info.st_mode);
    return noErr;
}

OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize)
{
    if (path == nullptr || maxPathSize == 0 || IsNoFile(ref))
        return paramErr;
    const size_t length = strnlen(ref->path, sizeof ref->path);
    if (length >= maxPathSize)
        return bdNamErr;
    std::memcpy(path, ref->path, length + 1);
    return noErr;
}

// By device and canonical path, not by inode: every save puts a new file
// in place of the old one (the atomic write), and a reference must still
// name the file after it, as it does on the platform. References are plain
// data that any process copies, so nothing could follow the saves to bring
// the inodes they hold up to date; and every call here finds an object by
// its reference's path, so this makes comparing agree with them.
OSErr FSCompareFSRefs(const FSRef* ref1, const FSRef* ref2)
{
    if (IsNoFile(ref1) || IsNoFile(ref2))
        return paramErr;
    const bool samePlace = ref1->device == ref2->device && strncmp(ref1->path, ref2->path, sizeof ref1->path) == 0;
    return samePlace ? noErr : errFSRefsDifferent;
}

OSErr FSMakeFSRefUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name, TextEncoding,
                         FSRef* newRef)
{
    if (newRef == nullptr)
        return paramErr;
    std::string path;
    if (const OSErr status = ChildPath(parentRef, name, nameLength, &path))
        return status;
    return MakeRef(path, false, newRef);
}

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef)
{
    if (IsNoFile(fsRef))
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
