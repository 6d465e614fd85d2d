// What the File Manager's source files share: status codes from errno,
// names between UTF-16 and the file system's bytes, dates, and the trash.
#pragma once

#include "Files.h"

#include <string>
#include <string_view>
#include <sys/stat.h>

namespace FilesInternal {

// The File Manager status for an errno value.
OSErr StatusFromErrno(int error);

// A reference to no file: nil, or all zero.
bool IsNoFile(const FSRef* ref);

// Fills `ref` for the object at `path`, which must be absolute with every
// folder above the last component resolved; the last component is followed
// only when `follow` is set. `info` (may be nil) receives the object's
// status as read.
OSErr MakeRef(const std::string& path, bool follow, FSRef* ref, struct stat* info = nullptr);

// The object's current status, not following a final link.
OSErr StatRef(const FSRef* ref, struct stat* info);

// A name handed in as UTF-16, as the file system's bytes. bdNamErr for a
// name that is not exactly one component: empty, ".", "..", holding "/" or
// NUL, unpaired surrogates, or longer than a name may be.
OSErr NameFromUnicode(const UniChar* name, UniCharCount length, std::string* bytes);
OSErr NameFromCFString(CFStringRef name, std::string* bytes);
// The path of the object `name` in the folder `parentRef` names;
// errFSNotAFolder when it names something else.
OSErr ChildPath(const FSRef* parentRef, const UniChar* name, UniCharCount nameLength, std::string* path);
// The last component of a path; "/" for the root.
std::string LastComponent(const std::string& path);
std::string ParentPath(const std::string& path);
// A name from the file system for display: bytes that are not UTF-8 become
// U+FFFD.
void SetUniName(HFSUniStr255* out, std::string_view bytes);

UTCDateTime UTCDateTimeFromTimespec(const timespec& time);
timespec TimespecFromUTCDateTime(const UTCDateTime& date);

// Makes a folder and every folder above it that is missing (mode 0700).
OSErr MakeFolders(const std::string& path);

// rename(2) that never replaces: dupFNErr when `to` exists. Where the file
// system cannot rename without replacing, a link (files) or an empty folder
// made first (folders) stands in for the check, so nothing is ever lost.
OSErr RenameNoReplace(const std::string& from, const std::string& to);

// The freedesktop trash. The home trash's files folder (made when missing,
// as the trash specification asks); whether a folder is it; and moving an
// object into the trash that serves its volume under a free name, with its
// .trashinfo written first.
OSErr HomeTrashFilesFolder(std::string* folder);
bool IsHomeTrashFilesFolder(const std::string& folder);
OSErr MoveToTrash(const FSRef* item, FSRef* newRef);

}  // namespace FilesInternal
