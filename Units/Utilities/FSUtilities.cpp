#include "FSUtilities.h"

#include <CoreFoundation/CFStringUTF8.h>

#include <Units/Utilities/CFUtilities.h>

#include <CoreFoundation/CFRef.h>
#include <Foundation/NSDate.h>
#include <Foundation/NSObject.h>
#include <Foundation/NSString.h>

#include <cstring>
#include <string>

namespace FSUtilities {
SInt32 Err = noErr;
}  // namespace FSUtilities

namespace {

// Icon Services reads these: node flags, volume, parent and node IDs,
// creation and modification dates, permissions, Finder information and
// the user's access.
constexpr FSCatalogInfoBitmap kIconServicesCatalogInfoMask = 0x81C5E;

void Zero(FSRef& ref)
{
    std::memset(&ref, 0, sizeof ref);
}

bool IsNoFile(const FSRef& ref)
{
    return ref.path[0] == '\0';
}

CFRef<CFStringRef> NewString(std::string_view utf8)
{
    return CFRef<CFStringRef>(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8.data()),
                                                      static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8, false));
}

// The UTF-16 of a name as the File Manager takes it; false when it is no
// string or longer than a name can be.
bool UnicodeName(CFStringRef name, UniChar (&units)[255], UniCharCount* length)
{
    if (name == nullptr || CFGetTypeID(name) != CFStringGetTypeID())
        return false;
    const CFIndex count = CFStringGetLength(name);
    if (count > 255)
        return false;
    CFStringGetCharacters(name, CFRangeMake(0, count), units);
    *length = static_cast<UniCharCount>(count);
    return true;
}

ShortString ShortStringOf(CFStringRef s)
{
    if (s == nullptr)
        return {};
    CFIndex needed = 0;
    const CFIndex length = CFStringGetLength(s);
    CFStringGetBytes(s, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false, nullptr, 0, &needed);
    std::string bytes(static_cast<size_t>(needed), '\0');
    CFStringGetBytes(s, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false,
                     reinterpret_cast<UInt8*>(bytes.data()), needed, &needed);
    return ShortString(bytes);
}

// The extension as Launch Services sees it; a new string or nil.
CFStringRef CopyExtension(const FSRef& ref, OSStatus* status)
{
    LSItemInfoRecord info;
    *status = LSCopyItemInfoForRef(&ref, kLSRequestExtension, &info);
    return *status == noErr ? info.extension : nullptr;
}

bool ModificationTime(const FSRef& ref, CFAbsoluteTime* time, SInt32* status)
{
    FSCatalogInfo info;
    *status = FSGetCatalogInfo(&ref, kFSCatInfoContentMod, &info, nullptr, nullptr, nullptr);
    if (*status != noErr)
        return false;
    *status = UCConvertUTCDateTimeToCFAbsoluteTime(&info.contentModDate, time);
    return *status == noErr;
}

}  // namespace

// ---- existence and references ----

Boolean FSCompare(const FSRef& a, const FSRef& b)
{
    return FSCompareFSRefs(&a, &b) == noErr;
}

Boolean FSRefExists(const FSRef& ref)
{
    FSUtilities::Err = FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr);
    return FSUtilities::Err == noErr;
}

Boolean FSValidFSRef(const FSRef& ref)
{
    const FSRef none{};
    FSUtilities::Err = FSCompareFSRefs(&ref, &none);
    // Comparing with the all-zero reference never answers noErr, not even
    // for the all-zero reference itself, which names nothing.
    return FSUtilities::Err != noErr && !IsNoFile(ref);
}

Boolean FSObjectExistsAtPath(CFStringRef path)
{
    return FSRefExists(FSGetPathRef(path));
}

SInt32 FSGetPathRef(const FSRef& parent, CFStringRef name, FSRef& out)
{
    Zero(out);
    if (FSGetCatalogInfo(&parent, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr) != noErr)
        return kFSFileNotFound;
    CFRef<CFURLRef> folder(CFURLCreateFromFSRef(nullptr, &parent));
    if (!folder || name == nullptr || CFGetTypeID(name) != CFStringGetTypeID())
        return kFSFileNotFound;
    CFRef<CFURLRef> item(CFURLCreateCopyAppendingPathComponent(nullptr, folder, name, false));
    if (!item || !CFURLGetFSRef(item, &out)) {
        Zero(out);
        return kFSFileNotFound;
    }
    return noErr;
}

FSRef FSGetPathRef(const FSRef& parent, CFStringRef name)
{
    FSRef out;
    FSGetPathRef(parent, name, out);
    return out;
}

FSRef FSGetPathRef(const FSRef& parent, const ShortString& name)
{
    return FSGetPathRef(parent, NewString(name.View()).get());
}

FSRef FSGetPathRef(CFStringRef path)
{
    FSRef out;
    FSGetPathRef(path, out);
    return out;
}

FSRef FSGetPathRef(const ShortString& path)
{
    FSRef out;
    FSGetPathRef(path, out);
    return out;
}

Boolean FSGetPathRef(CFStringRef path, FSRef& out)
{
    Zero(out);
    if (path == nullptr || CFGetTypeID(path) != CFStringGetTypeID() || CFStringGetLength(path) == 0)
        return false;
    CFRef<CFURLRef> url(CFURLCreateWithFileSystemPath(nullptr, path, kCFURLPOSIXPathStyle, false));
    if (!url || !CFURLGetFSRef(url, &out)) {
        Zero(out);
        return false;
    }
    return true;
}

Boolean FSGetPathRef(const ShortString& path, FSRef& out)
{
    return FSGetPathRef(NewString(path.View()).get(), out);
}

SInt32 FSGetSubFolder(const FSRef& parent, const ShortString& name, FSRef& out)
{
    return FSGetPathRef(parent, NewString(name.View()).get(), out);
}

FSRef FSGetResourcePathRef(const ShortString& relativePath)
{
    FSRef resources{};
    CFRef<CFURLRef> url(CFBundleCopyResourcesDirectoryURL(CFBundleGetMainBundle()));
    if (!url || !CFURLGetFSRef(url, &resources))
        return FSRef{};
    return FSGetPathRef(resources, relativePath);
}

FSRef FSGetResourceFile(const ShortString63& name)
{
    FSRef file{};
    CFRef<CFURLRef> url(
        CFBundleCopyResourceURL(CFBundleGetMainBundle(), NewString(name.View()).get(), nullptr, nullptr));
    if (!url || !CFURLGetFSRef(url, &file))
        return FSRef{};
    return file;
}

FSRef FSGetFileFromFolder(const ShortString& path, OSType folderType)
{
    const ShortString inside = path.View().substr(0, 1) == "/" ? path : ShortString("/") + path.View();
    FSRef folder{};
    FSUtilities::Err = FSFindFolder(kOnSystemDisk, folderType, kDontCreateFolder, &folder);
    if (FSUtilities::Err != noErr)
        return FSRef{};
    FSRef out;
    FSGetSubFolder(folder, inside, out);
    return out;
}

// ---- paths and names ----

CFStringRef FSCopyPath(const FSRef& ref)
{
    CFRef<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &ref));
    return url ? CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle) : nullptr;
}

ShortString FSGetPath(const FSRef& ref)
{
    CFRef<CFStringRef> path(FSCopyPath(ref));
    return ShortStringOf(path);
}

std::string FSGetPathText(const FSRef& ref)
{
    CFRef<CFStringRef> path(FSCopyPath(ref));
    return path ? CFStringToUTF8(path.get()) : std::string();
}

Ptr FSCreateFURL(const FSRef& ref)
{
    CFRef<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &ref));
    if (!url)
        return nullptr;
    CFStringRef text = CFURLGetString(url);
    CFIndex needed = 0;
    const CFIndex length = CFStringGetLength(text);
    CFStringGetBytes(text, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false, nullptr, 0, &needed);
    Ptr block = NewPtr(needed);
    if (block)
        CFStringGetBytes(text, CFRangeMake(0, length), kCFStringEncodingUTF8, '?', false,
                         reinterpret_cast<UInt8*>(block), needed, &needed);
    return block;
}

CFStringRef FSCopyName(const FSRef& ref)
{
    HFSUniStr255 name;
    if (FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, &name, nullptr, nullptr) != noErr)
        return nullptr;
    return CFStringCreateWithCharacters(nullptr, name.unicode, name.length);
}

ShortString63 FSGetActualName(const FSRef& ref)
{
    HFSUniStr255 name;
    FSUtilities::Err = FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, &name, nullptr, nullptr);
    if (FSUtilities::Err != noErr)
        return {};
    CFRef<CFStringRef> text(CFStringCreateWithCharacters(nullptr, name.unicode, name.length));
    return ShortStringOf(text);
}

ShortString63 FSGetDisplayName(const FSRef& ref)
{
    CFStringRef name = nullptr;
    FSUtilities::Err = LSCopyDisplayNameForRef(&ref, &name);
    CFRef<CFStringRef> owned(name);
    return FSUtilities::Err == noErr ? ShortString63(ShortStringOf(name)) : ShortString63();
}

ShortString FSGetExtension(const FSRef& ref)
{
    OSStatus status = noErr;
    CFRef<CFStringRef> extension(CopyExtension(ref, &status));
    FSUtilities::Err = status;
    return ShortStringOf(extension);
}

CFStringRef FSCopyNameWithoutExtension(const FSRef& ref)
{
    CFRef<CFStringRef> name(FSCopyName(ref));
    if (!name)
        return nullptr;
    OSStatus status = noErr;
    CFRef<CFStringRef> extension(CopyExtension(ref, &status));
    const CFIndex length = CFStringGetLength(name);
    const CFIndex cut = extension ? length - CFStringGetLength(extension) - 1 : length;
    if (cut <= 0 || cut == length)
        return CFStringCreateCopy(nullptr, name);
    return CFStringCreateWithSubstring(nullptr, name, CFRangeMake(0, cut));
}

// ---- kinds ----

Boolean FSIsApplication(const FSRef& ref)
{
    return FSGetExtension(ref) == "app";
}

Boolean FSIsHidden(const FSRef& ref)
{
    return FSGetDisplayName(ref).View().substr(0, 1) == ".";
}

Boolean FSIsFolder(const FSRef& ref)
{
    Boolean alias = false;
    Boolean folder = false;
    if (FSIsAliasFile(&ref, &alias, &folder) != noErr || !folder)
        return false;
    return FSGetExtension(ref).IsEmpty();
}

Boolean FSConformsToUTIdentifier(const FSRef& ref, CFStringRef identifier)
{
    OSStatus status = noErr;
    CFRef<CFStringRef> extension(CopyExtension(ref, &status));
    FSUtilities::Err = status;
    if (!extension)
        return false;
    CFRef<CFStringRef> kind(UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, extension, nullptr));
    return kind && UTTypeConformsTo(kind, identifier);
}

// ---- sizes and dates ----

SInt64 FSGetDataForkSize(const FSRef& ref)
{
    HFSUniStr255 forkName;
    FSGetDataForkName(&forkName);
    FSIORefNum fork = 0;
    if (FSOpenFork(&ref, forkName.length, forkName.unicode, fsRdPerm, &fork) != noErr)
        return -1;
    SInt64 size = -1;
    if (FSGetForkSize(fork, &size) != noErr)
        size = -1;
    FSCloseFork(fork);
    return size;
}

ShortString FSGetModifiedDate(const FSRef& ref, NSDateFormatterStyle dateStyle, NSDateFormatterStyle timeStyle)
{
    CFAbsoluteTime time = 0;
    if (!ModificationTime(ref, &time, &FSUtilities::Err))
        return {};
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    NSDateFormatter* formatter = NSDateFormatter::newFormatter();
    formatter->setDateStyle(dateStyle);
    formatter->setTimeStyle(timeStyle);
    NSDate* date = NSDate::newWithTimeIntervalSinceReferenceDate(time);
    NSString* text = formatter->stringFromDate(date);
    const ShortString result(text ? text->UTF8String() : std::string());
    date->release();
    formatter->release();
    pool->release();
    return result;
}

CFDateRef FSCopyModifiedDate(const FSRef& ref)
{
    CFAbsoluteTime time = 0;
    SInt32 status = noErr;
    return ModificationTime(ref, &time, &status) ? CFDateCreate(nullptr, time) : nullptr;
}

// ---- creating, renaming, moving ----

SInt32 FSCreateFolder(CFStringRef name, const FSRef& parent, FSRef& out)
{
    Zero(out);
    SInt32 status = FSGetPathRef(parent, name, out);
    if (status == kFSFileNotFound) {
        UniChar units[255];
        UniCharCount length = 0;
        status = UnicodeName(name, units, &length)
                     ? FSCreateDirectoryUnicode(&parent, length, units, kFSCatInfoNone, nullptr, &out, nullptr, nullptr)
                     : bdNamErr;
    }
    FSUtilities::Err = status;
    return status;
}

SInt32 FSCreateFile(CFStringRef name, const FSRef& parent, OSType fileType, OSType creator, FSRef& out)
{
    Zero(out);
    SInt32 status = FSGetPathRef(parent, name, out);
    if (status != kFSFileNotFound) {
        FSUtilities::Err = status;
        return status;
    }
    UniChar units[255];
    UniCharCount length = 0;
    status = UnicodeName(name, units, &length)
                 ? FSCreateFileUnicode(&parent, length, units, kFSCatInfoNone, nullptr, &out, nullptr)
                 : bdNamErr;
    FSUtilities::Err = status;
    if (status != noErr)
        return status;
    FSCatalogInfo info;
    FSUtilities::Err = FSGetCatalogInfo(&out, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr);
    if (FSUtilities::Err == noErr) {
        FileInfo finder;
        std::memcpy(&finder, info.finderInfo, sizeof finder);
        finder.fileType = fileType;
        finder.fileCreator = creator;
        std::memcpy(info.finderInfo, &finder, sizeof finder);
        FSUtilities::Err = FSSetCatalogInfo(&out, kFSCatInfoFinderInfo, &info);
    }
    return status;
}

SInt32 FSRename(FSRef& ref, CFStringRef newName)
{
    UniChar units[255];
    UniCharCount length = 0;
    if (!UnicodeName(newName, units, &length))
        return bdNamErr;
    FSRef renamed;
    const OSErr status = FSRenameUnicode(&ref, length, units, kTextEncodingUnknown, &renamed);
    if (status == noErr)
        ref = renamed;
    return status;
}

SInt32 FSMoveObject(const FSRef& ref, const FSRef& folder, FSRef* out)
{
    if (out)
        Zero(*out);
    CFRef<CFStringRef> name(FSCopyName(ref));
    if (!name)
        return kFSFileNotFound;
    // Moved under its name as the file system holds it: the catalog name is
    // for display, and bytes that are not UTF-8 do not survive it.
    FSRef moved;
    const OSStatus status = FSMoveObjectSync(&ref, &folder, nullptr, &moved, 0);
    if (status == noErr && out)
        *out = moved;
    return status;
}

SInt32 FSTrashObject(const FSRef& ref)
{
    FSRef trash;
    if (const OSErr status = FSFindFolder(kOnSystemDisk, kTrashFolderType, kDontCreateFolder, &trash))
        return status;
    return FSMoveObject(ref, trash, nullptr);
}

SInt32 FSReveal(const FSRef& ref)
{
    return LSRevealFSRef(&ref);
}

// ---- icons ----

IconRef FSGetIcon(const FSRef& ref)
{
    FSCatalogInfo info;
    FSUtilities::Err = FSGetCatalogInfo(&ref, kIconServicesCatalogInfoMask, &info, nullptr, nullptr, nullptr);
    if (FSUtilities::Err != noErr)
        return nullptr;
    IconRef icon = nullptr;
    FSUtilities::Err = GetIconRefFromFileInfo(&ref, 0, nullptr, kIconServicesCatalogInfoMask, &info,
                                              kIconServicesNormalUsageFlag, &icon, nullptr);
    return FSUtilities::Err == noErr ? icon : nullptr;
}

IconRef FSCopyIcon(const FSRef& ref)
{
    return FSGetIcon(ref);
}
