#include "NSFileManager.h"

#include <CoreServices/Files.h>

#include <QString>

#include <cstring>
#include <sys/stat.h>

namespace {

// The names of a listing, read in batches.
constexpr ItemCount kBatch = 64;

NSString* NameOf(const FSRef& entry)
{
    const char* slash = std::strrchr(entry.path, '/');
    const char* name = slash ? slash + 1 : entry.path;
    // A name that is not UTF-8 is shown with U+FFFD in place of its bad
    // bytes, as the File Manager shows it.
    const QString text = QString::fromUtf8(name);
    CFStringRef s = CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(text.utf16()), text.size());
    NSString* result = NSString::stringWithCFString(s);
    CFRelease(s);
    return result;
}

}  // namespace

NSFileManager* NSFileManager::defaultManager()
{
    static NSFileManager* manager = new NSFileManager;
    return manager;
}

bool NSFileManager::fileExistsAtPath(const NSString* path, bool* isDirectory) const
{
    if (isDirectory)
        *isDirectory = false;
    if (path == nullptr)
        return false;
    struct stat info;
    if (stat(path->UTF8String().c_str(), &info) != 0)
        return false;
    if (isDirectory)
        *isDirectory = S_ISDIR(info.st_mode);
    return true;
}

std::vector<NSString*> NSFileManager::contentsOfDirectoryAtPath(const NSString* path) const
{
    std::vector<NSString*> names;
    if (path == nullptr)
        return names;
    FSRef folder;
    FSIterator iterator = nullptr;
    const std::string utf8 = path->UTF8String();
    if (FSPathMakeRef(reinterpret_cast<const UInt8*>(utf8.c_str()), &folder, nullptr) != noErr ||
        FSOpenIterator(&folder, kFSIterateFlat, &iterator) != noErr)
        return names;
    std::vector<FSRef> refs(kBatch);
    OSErr status = noErr;
    while (status == noErr) {
        ItemCount count = 0;
        status = FSGetCatalogInfoBulk(iterator, kBatch, &count, nullptr, kFSCatInfoNone, nullptr, refs.data(), nullptr,
                                      nullptr);
        for (ItemCount i = 0; i < count; ++i)
            names.push_back(NameOf(refs[i]));
    }
    FSCloseIterator(iterator);
    return names;
}
