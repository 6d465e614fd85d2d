// The program's file-system operations over file references (FSRef), file
// URLs and POSIX paths: existence, paths and names, creation, renaming,
// moving to the Trash, revealing, type tests, sizes, dates and icons.
// Every other unit that touches files comes through here.
//
// An all-zero FSRef stands for no file; every operation that fails to
// resolve a reference zeroes its output. Failures come back as nil, false,
// an empty text, an all-zero reference, -1 (sizes) or a status; nothing
// raises. The operations marked "Err" keep the status of their last
// platform call in FSUtilities::Err (this unit's own, apart from the
// shared Err of CarbonUtilities); the others leave it alone.
#pragma once

#include <Units/Utilities/ShortString.h>

#include <CoreServices/CoreServices.h>
#include <Foundation/NSDateFormatter.h>

#include <string>

namespace FSUtilities {
// The 16-bit status of the last platform call of the Err operations,
// sign-extended.
extern SInt32 Err;
}  // namespace FSUtilities

// The catalog's file-not-found status, which several operations answer.
inline constexpr SInt32 kFSFileNotFound = fnfErr;

// ---- existence and references ----

// Both name the same object.
Boolean FSCompare(const FSRef& a, const FSRef& b);
// The object exists (Err).
Boolean FSRefExists(const FSRef& ref);
// The reference names something (it is not all zero) (Err: the status of
// comparing it with the all-zero reference).
Boolean FSValidFSRef(const FSRef& ref);
Boolean FSObjectExistsAtPath(CFStringRef path);

// `name` (one component, or a relative path) inside `parent`, following
// a final symbolic link. Zeroes `out`; -43 when the parent does not exist
// or the object does not; 0 when it does.
SInt32 FSGetPathRef(const FSRef& parent, CFStringRef name, FSRef& out);
FSRef FSGetPathRef(const FSRef& parent, CFStringRef name);
FSRef FSGetPathRef(const FSRef& parent, const ShortString& name);
// The object at a POSIX path; all zero when the path is nil or nothing is
// there.
FSRef FSGetPathRef(CFStringRef path);
FSRef FSGetPathRef(const ShortString& path);
Boolean FSGetPathRef(CFStringRef path, FSRef& out);
Boolean FSGetPathRef(const ShortString& path, FSRef& out);
// The same as FSGetPathRef(parent, name, out); nothing is created.
SInt32 FSGetSubFolder(const FSRef& parent, const ShortString& name, FSRef& out);
// A file inside the main bundle's resources, by relative path.
FSRef FSGetResourcePathRef(const ShortString& relativePath);
// A resource of the main bundle by name.
FSRef FSGetResourceFile(const ShortString63& name);
// `path` ("Sheets" or "/Sheets") inside the special folder of that type,
// which is not made when missing (Err).
FSRef FSGetFileFromFolder(const ShortString& path, OSType folderType);

// ---- paths and names ----

// A new POSIX path; nil for no file.
CFStringRef FSCopyPath(const FSRef& ref);
// The POSIX path; empty for no file.
ShortString FSGetPath(const FSRef& ref);
// The same as UTF-8 of any length; empty for no file.
std::string FSGetPathText(const FSRef& ref);
// The bytes of the file URL (UTF-8, escaped) in a new memory block of
// exactly that length, without a terminator; the caller disposes of it.
// Nil for no file.
Ptr FSCreateFURL(const FSRef& ref);
// The name as the file system has it; a new string, nil on failure.
CFStringRef FSCopyName(const FSRef& ref);
// The name cut to 63 bytes; empty on failure (Err).
ShortString63 FSGetActualName(const FSRef& ref);
// The name as the file manager shows it, cut to 63 bytes (Err).
ShortString63 FSGetDisplayName(const FSRef& ref);
// The extension of the name, without its point; empty when it has none (Err).
ShortString FSGetExtension(const FSRef& ref);
// The name without its last extension and that point ("archive.tar.gz"
// gives "archive.tar"), or the whole name when it has none; a new string,
// nil when the name cannot be read.
CFStringRef FSCopyNameWithoutExtension(const FSRef& ref);

// ---- kinds ----

// The extension is exactly "app".
Boolean FSIsApplication(const FSRef& ref);
// The display name begins with ".".
Boolean FSIsHidden(const FSRef& ref);
// A folder whose name has no extension: packages such as x.app, folders
// whose names hold a point, and symbolic links to folders are not.
Boolean FSIsFolder(const FSRef& ref);
// The kind of the item's extension conforms to `identifier`; false when
// the name has no extension (Err).
Boolean FSConformsToUTIdentifier(const FSRef& ref, CFStringRef identifier);

// ---- sizes and dates ----

// The size of the file's contents; -1 when it cannot be opened for reading
// (a folder, no file).
SInt64 FSGetDataForkSize(const FSRef& ref);
// The content-modification date in the user's locale and the styles
// given (long and long by default); empty when it cannot be read (Err).
ShortString FSGetModifiedDate(const FSRef& ref, NSDateFormatterStyle dateStyle = NSDateFormatterLongStyle,
                              NSDateFormatterStyle timeStyle = NSDateFormatterLongStyle);
// The content-modification date; a new date, nil when it cannot be read.
CFDateRef FSCopyModifiedDate(const FSRef& ref);

// ---- creating, renaming, moving ----

// Zeroes `out`. When `name` exists in `parent`, `out` is that object and
// the answer 0; when the lookup answers -43, the folder is made and the
// answer is the status of making it; any other lookup status is answered
// as it is (Err).
SInt32 FSCreateFolder(CFStringRef name, const FSRef& parent, FSRef& out);
// Zeroes `out`. An existing object of that name is answered with 0 and
// left as it is; otherwise an empty file is made and given the type and
// creator (those two steps' statuses in Err). Answers the status of the
// lookup or of the creation.
SInt32 FSCreateFile(CFStringRef name, const FSRef& parent, OSType fileType, OSType creator, FSRef& out);
// Renames in place; `ref` then names the object under its new name.
// Renaming onto a name that is taken fails (dupFNErr) and changes nothing.
SInt32 FSRename(FSRef& ref, CFStringRef newName);
// Moves the object into the folder under its own name (never replacing
// anything there); `out` (may be nil) names it there. -43 when its name
// cannot be read.
SInt32 FSMoveObject(const FSRef& ref, const FSRef& folder, FSRef* out);
// Moves the object into the trash.
SInt32 FSTrashObject(const FSRef& ref);
// Shows the object in the file manager (or opens its folder); no command
// line is ever made of its path. noErr, or the reason nothing was shown.
SInt32 FSReveal(const FSRef& ref);

// ---- icons ----

// The item's icon; nil on failure (Err). The caller releases it.
IconRef FSGetIcon(const FSRef& ref);
IconRef FSCopyIcon(const FSRef& ref);
