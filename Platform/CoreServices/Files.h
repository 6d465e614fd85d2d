// File references. An FSRef names one file or folder that existed when it
// was made: it holds the file's absolute path with every link and "." or
// ".." above its last component resolved, and the device it is on. Two
// references compare equal when they name the same path on the same device,
// however they were reached; so a reference still names a file after a save
// has put a new file in its place, as the platform's safe saves keep a
// file's identity. (The inode is kept as the catalog's node number.) It is
// plain data (copied freely; all zero means no file) and is never written to
// files: paths are.
//
// The File Manager calls below work on the object at the reference's path
// without following a symbolic link there (a reference made through a link
// already names the link's target; one made without following, or handed
// out by an iterator, names the link itself). Renames and moves never
// replace an existing object, creation never opens an existing file, and a
// move into the Trash folder is a move into the freedesktop trash.
#pragma once

#include <CarbonCore/MacErrors.h>
#include <CoreFoundation/CFURL.h>

#include <climits>

struct FSRef {
    UInt64 device;
    UInt64 inode;
    char path[PATH_MAX];  // absolute, NUL-terminated; empty for no file
};

typedef unsigned long UniCharCount;
typedef UInt32 TextEncoding;
typedef SInt16 FSVolumeRefNum;
typedef SInt16 FSIORefNum;
typedef UInt32 FSCatalogInfoBitmap;
typedef OptionBits FSIteratorFlags;
typedef struct OpaqueFSIterator* FSIterator;
// Old-style file specifications are never made; parameters of this type
// take nil.
struct FSSpec;
typedef FSSpec* FSSpecPtr;

inline constexpr TextEncoding kTextEncodingUnknown = 0xFFFF;

// Names as the catalog gives them: UTF-16, at most 255 units.
struct HFSUniStr255 {
    UInt16 length;
    UniChar unicode[255];
};

// Seconds since 1904-01-01 00:00:00 UTC as 48 bits, and 1/65536 seconds.
struct UTCDateTime {
    UInt16 highSeconds;
    UInt32 lowSeconds;
    UInt16 fraction;
};

// The first half of a file's Finder information. The type and creator are
// kept with the file (in an extended attribute, where the file system
// allows one); the other fields are kept alongside and used by nobody here.
struct FileInfoPoint {
    SInt16 v;
    SInt16 h;
};
struct FileInfo {
    OSType fileType;
    OSType fileCreator;
    UInt16 finderFlags;
    FileInfoPoint location;
    UInt16 reservedField;
};

struct FSPermissionInfo {
    UInt32 userID;
    UInt32 groupID;
    UInt8 reserved1;
    UInt8 userAccess;
    UInt16 mode;
    UInt32 reserved2;
};

struct FSCatalogInfo {
    UInt16 nodeFlags;
    FSVolumeRefNum volume;
    UInt32 parentDirID;
    UInt32 nodeID;
    UInt8 sharingFlags;
    UInt8 userPrivileges;
    UInt8 reserved1;
    UInt8 reserved2;
    UTCDateTime createDate;
    UTCDateTime contentModDate;
    UTCDateTime attributeModDate;
    UTCDateTime accessDate;
    UTCDateTime backupDate;
    UInt32 permissions[4];  // an FSPermissionInfo
    UInt8 finderInfo[16];   // a FileInfo
    UInt8 extFinderInfo[16];
    UInt64 dataLogicalSize;
    UInt64 dataPhysicalSize;
    UInt64 rsrcLogicalSize;
    UInt64 rsrcPhysicalSize;
    UInt32 valence;  // items in a folder
    TextEncoding textEncodingHint;
};

enum : FSCatalogInfoBitmap {
    kFSCatInfoNone = 0x00000000,
    kFSCatInfoTextEncoding = 0x00000001,
    kFSCatInfoNodeFlags = 0x00000002,
    kFSCatInfoVolume = 0x00000004,
    kFSCatInfoParentDirID = 0x00000008,
    kFSCatInfoNodeID = 0x00000010,
    kFSCatInfoCreateDate = 0x00000020,
    kFSCatInfoContentMod = 0x00000040,
    kFSCatInfoAttrMod = 0x00000080,
    kFSCatInfoAccessDate = 0x00000100,
    kFSCatInfoBackupDate = 0x00000200,
    kFSCatInfoPermissions = 0x00000400,
    kFSCatInfoFinderInfo = 0x00000800,
    kFSCatInfoFinderXInfo = 0x00001000,
    kFSCatInfoValence = 0x00002000,
    kFSCatInfoDataSizes = 0x00004000,
    kFSCatInfoRsrcSizes = 0x00008000,
    kFSCatInfoSharingFlags = 0x00010000,
    kFSCatInfoUserPrivs = 0x00020000,
    kFSCatInfoUserAccess = 0x00080000,
    kFSCatInfoGettableInfo = 0x0003FFFF,
};

enum : UInt16 {
    kFSNodeLockedMask = 0x0001,
    kFSNodeIsDirectoryMask = 0x0010,
};

enum : OptionBits {
    kFSPathMakeRefDefaultOptions = 0,
    kFSPathMakeRefDoNotFollowLeafSymlink = 1,
};

enum : FSIteratorFlags {
    kFSIterateFlat = 0,
    kFSIterateSubtree = 1,
};

enum : SInt8 {
    fsCurPerm = 0,
    fsRdPerm = 1,
    fsWrPerm = 2,
    fsRdWrPerm = 3,
};

// ---- references ----

// Makes a reference to an existing file or folder (the final symbolic link
// followed). `isDirectory` may be nil.
OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory);
// The same; with kFSPathMakeRefDoNotFollowLeafSymlink a final symbolic
// link is referred to itself (the folders above it are still resolved).
OSStatus FSPathMakeRefWithOptions(const UInt8* path, OptionBits options, FSRef* ref, Boolean* isDirectory);
// The absolute path of the reference, NUL-terminated.
OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize);
// noErr when both name the same file, errFSRefsDifferent when not,
// paramErr for a reference to no file.
OSErr FSCompareFSRefs(const FSRef* ref1, const FSRef* ref2);
// The object named `name` inside the folder; fnfErr when there is none,
// bdNamErr for a name that is not one component ("", ".", "..", a slash).
OSErr FSMakeFSRefUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                         TextEncoding textEncodingHint, FSRef* newRef);

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef);
Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef);

// ---- catalog information ----

// Whatever `whichInfo` asks for, the name, and the parent folder. Any
// output may be nil. fnfErr when the object no longer exists.
OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo,
                       HFSUniStr255* outName, FSSpecPtr fsSpec, FSRef* parentRef);
// Sets the Finder information, the content-modification and access dates
// and the permission mode; other bits are ignored. Finder information is
// kept where the file system allows it: where it cannot keep extended
// attributes, setting it still succeeds and reading it answers zeros.
OSErr FSSetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo);
// Whether the object is an alias file (on Linux, a symbolic link) and
// whether it is itself a folder (a link to a folder is not).
OSErr FSIsAliasFile(const FSRef* fileRef, Boolean* aliasFileFlag, Boolean* folderFlag);

// ---- folder iteration ----

// Iterators give the items of one folder (kFSIterateFlat only) in catalog
// order: by name, ignoring case, at every level. The listing is read when
// the iterator is opened; an item removed since is skipped.
OSErr FSOpenIterator(const FSRef* container, FSIteratorFlags iteratorFlags, FSIterator* iterator);
OSErr FSCloseIterator(FSIterator iterator);
// Up to `maximumObjects` items. When the listing ends during the call the
// status is errFSNoMoreItems, with the items that were still given counted
// in `actualObjects`. Every output array may be nil.
OSErr FSGetCatalogInfoBulk(FSIterator iterator, ItemCount maximumObjects, ItemCount* actualObjects,
                           Boolean* containerChanged, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfos,
                           FSRef* refs, FSSpecPtr specs, HFSUniStr255* names);

// ---- creating, renaming, moving, deleting ----

// Creates an empty file; dupFNErr when anything of that name exists (it is
// left as it was).
OSErr FSCreateFileUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                          FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo, FSRef* newRef,
                          FSSpecPtr newSpec);
// Creates a folder; dupFNErr when anything of that name exists.
OSErr FSCreateDirectoryUnicode(const FSRef* parentRef, UniCharCount nameLength, const UniChar* name,
                               FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo, FSRef* newRef,
                               FSSpecPtr newSpec, UInt32* newDirID);
// Renames in place; dupFNErr (and nothing changes) when the new name is
// taken by another object.
OSErr FSRenameUnicode(const FSRef* ref, UniCharCount nameLength, const UniChar* name, TextEncoding textEncodingHint,
                      FSRef* newRef);
// Moves into another folder of the same volume under the same name
// (diffVolErr across volumes, dupFNErr when the name is taken). A move into
// the Trash folder puts the object into the trash under a free name.
OSErr FSMoveObject(const FSRef* ref, const FSRef* destDirectory, FSRef* newRef);
// The same, under `destName` when it is not nil. No options are known.
OSStatus FSMoveObjectSync(const FSRef* source, const FSRef* destDir, CFStringRef destName, FSRef* target,
                          OptionBits options);
// Removes a file, or a folder when it is empty.
OSErr FSDeleteObject(const FSRef* ref);

// ---- forks ----

// Files have one fork, the data fork: their contents.
OSErr FSGetDataForkName(HFSUniStr255* dataForkName);
// notAFileErr for a folder (or anything but a plain file),
// errFSForkNotFound for any fork but the data fork.
OSErr FSOpenFork(const FSRef* ref, UniCharCount forkNameLength, const UniChar* forkName, SInt8 permissions,
                 FSIORefNum* forkRefNum);
OSErr FSGetForkSize(FSIORefNum forkRefNum, SInt64* forkSize);
OSErr FSCloseFork(FSIORefNum forkRefNum);
