// Catalog information, folder iterators and forks.
#include "Files.h"

#include "FilesInternal.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

using namespace FilesInternal;

namespace {

// Where a file's type, creator and Finder flags are kept: 16 bytes, each
// field big-endian, in the order of FileInfo.
constexpr const char* kFinderInfoAttribute = "user.brindlet.finderinfo";
constexpr size_t kFinderInfoSize = 16;

void PutBigEndian(UInt8* bytes, UInt32 value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        bytes[i] = static_cast<UInt8>(value & 0xFF);
        value >>= 8;
    }
}

UInt32 GetBigEndian(const UInt8* bytes, int count)
{
    UInt32 value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

FileInfo ReadFinderInfo(const char* path)
{
    FileInfo info{};
    UInt8 bytes[kFinderInfoSize + 1];
    // One byte more than expected, so a value of another length shows as such
    // and is ignored rather than half read.
    const ssize_t length = lgetxattr(path, kFinderInfoAttribute, bytes, sizeof bytes);
    if (length != static_cast<ssize_t>(kFinderInfoSize))
        return info;
    info.fileType = GetBigEndian(bytes, 4);
    info.fileCreator = GetBigEndian(bytes + 4, 4);
    info.finderFlags = static_cast<UInt16>(GetBigEndian(bytes + 8, 2));
    info.location.v = static_cast<SInt16>(GetBigEndian(bytes + 10, 2));
    info.location.h = static_cast<SInt16>(GetBigEndian(bytes + 12, 2));
    info.reservedField = static_cast<UInt16>(GetBigEndian(bytes + 14, 2));
    return info;
}

OSErr WriteFinderInfo(const char* path, const FileInfo& info, bool isLink)
{
    UInt8 bytes[kFinderInfoSize];
    PutBigEndian(bytes, info.fileType, 4);
    PutBigEndian(bytes + 4, info.fileCreator, 4);
    PutBigEndian(bytes + 8, info.finderFlags, 2);
    PutBigEndian(bytes + 10, static_cast<UInt16>(info.location.v), 2);
    PutBigEndian(bytes + 12, static_cast<UInt16>(info.location.h), 2);
    PutBigEndian(bytes + 14, info.reservedField, 2);
    if (lsetxattr(path, kFinderInfoAttribute, bytes, sizeof bytes, 0) == 0)
        return noErr;
    // Type and creator are hints on Linux: a file system without user
    // attributes (or a symbolic link, which may not carry them) simply
    // does not keep them.
    if (errno == ENOTSUP || errno == EOPNOTSUPP || (errno == EPERM && isLink))
        return noErr;
    return StatusFromErrno(errno);
}

UInt32 CountItems(const char* path)
{
    DIR* folder = opendir(path);
    if (folder == nullptr)
        return 0;
    UInt32 count = 0;
    while (const dirent* entry = readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            ++count;
    }
    closedir(folder);
    return count;
}

timespec CreationTime(const char* path, const struct stat& info)
{
    struct statx extended;
    if (statx(AT_FDCWD, path, AT_SYMLINK_NOFOLLOW, STATX_BTIME, &extended) == 0 && (extended.stx_mask & STATX_BTIME))
        return timespec{extended.stx_btime.tv_sec, extended.stx_btime.tv_nsec};
    // Without a birth time, the oldest time the file system kept.
    return info.st_mtim.tv_sec < info.st_ctim.tv_sec ? info.st_mtim : info.st_ctim;
}

void FillCatalogInfo(const FSRef* ref, const struct stat& info, FSCatalogInfoBitmap which, FSCatalogInfo* out)
{
    std::memset(out, 0, sizeof *out);
    const bool folder = S_ISDIR(info.st_mode);
    out->nodeFlags = folder ? kFSNodeIsDirectoryMask : 0;
    out->volume = static_cast<FSVolumeRefNum>(-1 - static_cast<int>(info.st_dev % 30000));
    out->nodeID = static_cast<UInt32>(info.st_ino);
    struct stat parent;
    if (stat(ParentPath(ref->path).c_str(), &parent) == 0)
        out->parentDirID = static_cast<UInt32>(parent.st_ino);
    if (which & kFSCatInfoCreateDate)
        out->createDate = UTCDateTimeFromTimespec(CreationTime(ref->path, info));
    out->contentModDate = UTCDateTimeFromTimespec(info.st_mtim);
    out->attributeModDate = UTCDateTimeFromTimespec(info.st_ctim);
    out->accessDate = UTCDateTimeFromTimespec(info.st_atim);
    FSPermissionInfo permissions{};
    permissions.userID = info.st_uid;
    permissions.groupID = info.st_gid;
    permissions.mode = static_cast<UInt16>(info.st_mode & 0xFFFF);
    std::memcpy(out->permissions, &permissions, sizeof permissions);
    if (which & kFSCatInfoFinderInfo) {
        const FileInfo finder = ReadFinderInfo(ref->path);
        std::memcpy(out->finderInfo, &finder, sizeof finder);
    }
    if (S_ISREG(info.st_mode)) {
        out->dataLogicalSize = static_cast<UInt64>(info.st_size);
        out->dataPhysicalSize = static_cast<UInt64>(info.st_blocks) * 512;
    }
    if (folder && (which & kFSCatInfoValence))
        out->valence = CountItems(ref->path);
}

}  // namespace

namespace FilesInternal {

// Seconds between 1904-01-01 and 1970-01-01.
constexpr SInt64 kSeconds1904To1970 = 2082844800;

UTCDateTime UTCDateTimeFromTimespec(const timespec& time)
{
    const SInt64 seconds = std::max<SInt64>(0, static_cast<SInt64>(time.tv_sec) + kSeconds1904To1970);
    UTCDateTime date;
    date.highSeconds = static_cast<UInt16>((seconds >> 32) & 0xFFFF);
    date.lowSeconds = static_cast<UInt32>(seconds & 0xFFFFFFFF);
    date.fraction = static_cast<UInt16>((static_cast<UInt64>(time.tv_nsec) << 16) / 1000000000ULL);
    return date;
}

timespec TimespecFromUTCDateTime(const UTCDateTime& date)
{
    const SInt64 seconds = (static_cast<SInt64>(date.highSeconds) << 32) | date.lowSeconds;
    timespec time;
    time.tv_sec = static_cast<time_t>(seconds - kSeconds1904To1970);
    time.tv_nsec = static_cast<long>((static_cast<UInt64>(date.fraction) * 1000000000ULL) >> 16);
    return time;
}

}  // namespace FilesInternal

OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo,
                       HFSUniStr255* outName, FSSpecPtr, FSRef* parentRef)
{
    struct stat info;
    if (const OSErr status = StatRef(ref, &info))
        return status;
    if (catalogInfo)
        FillCatalogInfo(ref, info, whichInfo, catalogInfo);
    if (outName)
        SetUniName(outName, LastComponent(ref->path));
    if (parentRef) {
        std::memset(parentRef, 0, sizeof *parentRef);
        // The root has no parent: the reference stays all zero.
        if (std::strcmp(ref->path, "/") != 0)
            MakeRef(ParentPath(ref->path), true, parentRef);
    }
    return noErr;
}

OSErr FSSetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo)
{
    if (catalogInfo == nullptr)
        return paramErr;
    struct stat info;
    if (const OSErr status = StatRef(ref, &info))
        return status;
    if (whichInfo & kFSCatInfoFinderInfo) {
        FileInfo finder;
        std::memcpy(&finder, catalogInfo->finderInfo, sizeof finder);
        if (const OSErr status = WriteFinderInfo(ref->path, finder, S_ISLNK(info.st_mode)))
            return status;
    }
    if (whichInfo & (kFSCatInfoContentMod | kFSCatInfoAccessDate)) {
        timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
        if (whichInfo & kFSCatInfoAccessDate)
            times[0] = TimespecFromUTCDateTime(catalogInfo->accessDate);
        if (whichInfo & kFSCatInfoContentMod)
            times[1] = TimespecFromUTCDateTime(catalogInfo->contentModDate);
        if (utimensat(AT_FDCWD, ref->path, times, AT_SYMLINK_NOFOLLOW) != 0)
            return StatusFromErrno(errno);
    }
    if ((whichInfo & kFSCatInfoPermissions) && !S_ISLNK(info.st_mode)) {
        FSPermissionInfo permissions;
        std::memcpy(&permissions, catalogInfo->permissions, sizeof permissions);
        if (chmod(ref->path, permissions.mode & 07777) != 0)
            return StatusFromErrno(errno);
    }
    return noErr;
}

OSErr FSIsAliasFile(const FSRef* fileRef, Boolean* aliasFileFlag, Boolean* folderFlag)
{
    if (aliasFileFlag == nullptr || folderFlag == nullptr)
        return paramErr;
    struct stat info;
    if (const OSErr status = StatRef(fileRef, &info))
        return status;
    *aliasFileFlag = S_ISLNK(info.st_mode);
    *folderFlag = S_ISDIR(info.st_mode);
    return noErr;
}

// ---- iterators ----

struct OpaqueFSIterator {
    std::string folder;
    std::vector<std::string> names;
    size_t next = 0;
};

namespace {

struct LiveIterators {
    std::mutex mutex;
    std::set<const OpaqueFSIterator*> iterators;
};

LiveIterators& Iterators()
{
    static auto* live = new LiveIterators;
    return *live;
}

bool IsLive(FSIterator iterator)
{
    LiveIterators& live = Iterators();
    std::lock_guard lock(live.mutex);
    return live.iterators.count(iterator) == 1;
}

// The catalog's order: names compared without regard to case, the bytes
// deciding between names that differ only in case.
void SortInCatalogOrder(std::vector<std::string>& names)
{
    std::vector<std::pair<QString, std::string>> keyed;
    keyed.reserve(names.size());
    for (std::string& name : names)
        keyed.emplace_back(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toCaseFolded(),
                           std::move(name));
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        const int order = QString::compare(a.first, b.first, Qt::CaseSensitive);
        return order != 0 ? order < 0 : a.second < b.second;
    });
    names.clear();
    for (auto& entry : keyed)
        names.push_back(std::move(entry.second));
}

}  // namespace

OSErr FSOpenIterator(const FSRef* container, FSIteratorFlags iteratorFlags, FSIterator* iterator)
{
    if (iterator == nullptr)
        return paramErr;
    if (iteratorFlags != kFSIterateFlat)
        return errFSBadIteratorFlags;
    struct stat info;
    if (const OSErr status = StatRef(container, &info))
        return status;
    if (!S_ISDIR(info.st_mode))
        return errFSNotAFolder;
    DIR* folder = opendir(container->path);
    if (folder == nullptr)
        return StatusFromErrno(errno);
    auto* opened = new OpaqueFSIterator;
    opened->folder = container->path;
    while (const dirent* entry = readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            opened->names.emplace_back(entry->d_name);
    }
    closedir(folder);
    SortInCatalogOrder(opened->names);
    LiveIterators& live = Iterators();
    std::lock_guard lock(live.mutex);
    live.iterators.insert(opened);
    *iterator = opened;
    return noErr;
}

OSErr FSCloseIterator(FSIterator iterator)
{
    LiveIterators& live = Iterators();
    std::lock_guard lock(live.mutex);
    if (live.iterators.erase(iterator) != 1)
        return paramErr;
    delete iterator;
    return noErr;
}

OSErr FSGetCatalogInfoBulk(FSIterator iterator, ItemCount maximumObjects, ItemCount* actualObjects,
                           Boolean* containerChanged, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfos,
                           FSRef* refs, FSSpecPtr, HFSUniStr255* names)
{
    if (actualObjects)
        *actualObjects = 0;
    if (containerChanged)
        *containerChanged = false;
    if (actualObjects == nullptr || !IsLive(iterator))
        return paramErr;
    const std::string prefix = iterator->folder == "/" ? "" : iterator->folder;
    ItemCount count = 0;
    while (count < maximumObjects && iterator->next < iterator->names.size()) {
        const std::string& name = iterator->names[iterator->next++];
        FSRef ref;
        struct stat info;
        if (MakeRef(prefix + "/" + name, false, &ref, &info) != noErr)
            continue;  // gone since the listing was read
        if (refs)
            refs[count] = ref;
        if (names)
            SetUniName(&names[count], name);
        if (catalogInfos)
            FillCatalogInfo(&ref, info, whichInfo, &catalogInfos[count]);
        ++count;
    }
    *actualObjects = count;
    return iterator->next >= iterator->names.size() ? errFSNoMoreItems : noErr;
}

// ---- forks ----

namespace {

struct OpenForks {
    std::mutex mutex;
    std::map<FSIORefNum, int> descriptors;
    FSIORefNum next = 1;
};

OpenForks& Forks()
{
    static auto* forks = new OpenForks;
    return *forks;
}

}  // namespace

OSErr FSGetDataForkName(HFSUniStr255* dataForkName)
{
    if (dataForkName == nullptr)
        return paramErr;
    // The data fork's name is the empty name.
    dataForkName->length = 0;
    return noErr;
}

OSErr FSOpenFork(const FSRef* ref, UniCharCount forkNameLength, const UniChar*, SInt8 permissions,
                 FSIORefNum* forkRefNum)
{
    if (forkRefNum == nullptr)
        return paramErr;
    struct stat info;
    if (const OSErr status = StatRef(ref, &info))
        return status;
    if (forkNameLength != 0)
        return errFSForkNotFound;
    if (!S_ISREG(info.st_mode))
        return notAFileErr;
    int flags = O_RDONLY;
    if (permissions == fsWrPerm)
        flags = O_WRONLY;
    else if (permissions == fsRdWrPerm)
        flags = O_RDWR;
    // Non-blocking and without following, so that the open cannot hang on
    // something swapped in for the file since it was looked at.
    const int fd = open(ref->path, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0)
        return StatusFromErrno(errno);
    struct stat opened;
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        close(fd);
        return notAFileErr;
    }
    OpenForks& forks = Forks();
    std::lock_guard lock(forks.mutex);
    for (int tries = 0; tries < INT16_MAX; ++tries) {
        const FSIORefNum number = forks.next;
        forks.next = static_cast<FSIORefNum>(number == INT16_MAX ? 1 : number + 1);
        if (forks.descriptors.count(number) == 0) {
            forks.descriptors[number] = fd;
            *forkRefNum = number;
            return noErr;
        }
    }
    close(fd);
    return tmfoErr;
}

OSErr FSGetForkSize(FSIORefNum forkRefNum, SInt64* forkSize)
{
    if (forkSize == nullptr)
        return paramErr;
    OpenForks& forks = Forks();
    std::lock_guard lock(forks.mutex);
    auto it = forks.descriptors.find(forkRefNum);
    if (it == forks.descriptors.end())
        return rfNumErr;
    struct stat info;
    if (fstat(it->second, &info) != 0)
        return StatusFromErrno(errno);
    *forkSize = static_cast<SInt64>(info.st_size);
    return noErr;
}

OSErr FSCloseFork(FSIORefNum forkRefNum)
{
    OpenForks& forks = Forks();
    std::lock_guard lock(forks.mutex);
    auto it = forks.descriptors.find(forkRefNum);
    if (it == forks.descriptors.end())
        return rfNumErr;
    close(it->second);
    forks.descriptors.erase(it);
    return noErr;
}
