#include "CFPreferenceUtilities.h"

#include <CoreFoundation/CFRef.h>

#include <climits>
#include <cstring>

SInt32 CFPreferencesSavePropertyList(const FSRef& file, CFTypeRef plist)
{
    CFRef<CFURLRef> url(CFURLCreateFileURLFromFSRef(file));
    return CFPreferencesSavePropertyList(url.get(), plist);
}

SInt32 CFPreferencesSavePropertyList(CFURLRef url, CFTypeRef plist)
{
    if (url == nullptr)
        return -1;
    CFRef<CFDataRef> xml(CFPropertyListCreateXMLData(nullptr, plist));
    if (!xml)
        return -1;
    SInt32 status = 0;
    CFURLWriteDataAndPropertiesToResource(url, xml, nullptr, &status);
    return status;
}

CFURLRef CFURLCreateFileURLFromFSRef(const FSRef& file)
{
    CFRef<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &file));
    if (!url || !CFURLHasDirectoryPath(url))
        return url.release();
    UInt8 path[PATH_MAX];
    if (!CFURLGetFileSystemRepresentation(url, true, path, sizeof path))
        return nullptr;
    size_t length = std::strlen(reinterpret_cast<const char*>(path));
    while (length > 1 && path[length - 1] == '/')
        --length;
    return CFURLCreateFromFileSystemRepresentation(nullptr, path, static_cast<CFIndex>(length), false);
}
