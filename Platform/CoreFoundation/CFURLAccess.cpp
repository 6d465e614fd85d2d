// Reading, writing and removing the files that file URLs name.
#include <CoreFoundation/CFURL.h>

#include "CFDataInternal.h"
#include "CFStringInternal.h"

#include <Support/FileAccess.h>

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

void SetError(SInt32* errorCode, SInt32 value)
{
    if (errorCode != nullptr)
        *errorCode = value;
}

SInt32 ErrorForErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return kCFURLResourceNotFoundError;
    case EACCES:
    case EPERM:
    case EROFS:
        return kCFURLResourceAccessViolationError;
    default:
        return kCFURLUnknownError;
    }
}

// The POSIX path a URL names, resolved against its base. Answers 0 or the
// CFURLError that says why the URL names no local file.
SInt32 LocalPath(CFURLRef url, std::string* path)
{
    if (url == nullptr || CFGetTypeID(url) != CFURLGetTypeID())
        return kCFURLImproperArgumentsError;
    CFURLRef absolute = CFURLCopyAbsoluteURL(url);
    if (absolute == nullptr)
        return kCFURLImproperArgumentsError;
    CFStringRef scheme = CFURLCopyScheme(absolute);
    std::string schemeText = CFStringToUTF8(scheme);
    CFRelease(scheme);
    for (char& c : schemeText)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    const bool isFile = schemeText == "file";
    // Decoding only shortens, so the URL's length bounds the path's.
    std::vector<UInt8> buffer(static_cast<size_t>(CFStringGetLength(CFURLGetString(absolute))) + 1);
    const bool ok = CFURLGetFileSystemRepresentation(absolute, true, buffer.data(), CFIndex(buffer.size()));
    CFRelease(absolute);
    if (!ok)
        return isFile ? kCFURLImproperArgumentsError : kCFURLUnknownSchemeError;
    *path = reinterpret_cast<const char*>(buffer.data());
    return 0;
}

}  // namespace

Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef, CFURLRef url, CFDataRef* resourceData,
                                                 CFDictionaryRef* properties, CFArrayRef, SInt32* errorCode)
{
    // No resource properties are kept on this platform: the answer is always nil.
    if (properties != nullptr)
        *properties = nullptr;
    if (resourceData != nullptr)
        *resourceData = nullptr;
    std::string path;
    if (SInt32 error = LocalPath(url, &path)) {
        SetError(errorCode, error);
        return false;
    }
    CFByteVector contents;
    if (int error = FileAccess::ReadRegularFile(path, FileAccess::kDocumentLimit, resourceData ? &contents : nullptr)) {
        if (error == EINVAL || error == EFBIG)
            FileAccess::WarnNotRead("file", path, error, FileAccess::kDocumentLimit);
        SetError(errorCode, ErrorForErrno(error));
        return false;
    }
    if (resourceData != nullptr)
        *resourceData = CFDataCreateWithVector(std::move(contents), false);
    SetError(errorCode, 0);
    return true;
}

// A directory URL ("file:///a/b/") makes the folder; the data, if any, is
// not used. Properties cannot be written on this platform and are ignored.
Boolean CFURLWriteDataAndPropertiesToResource(CFURLRef url, CFDataRef dataToWrite, CFDictionaryRef, SInt32* errorCode)
{
    std::string path;
    if (SInt32 error = LocalPath(url, &path)) {
        SetError(errorCode, error);
        return false;
    }
    int error;
    if (CFURLHasDirectoryPath(url)) {
        error = mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
        struct stat status;
        if (error == EEXIST && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            error = 0;
    } else {
        const CFDataObject* data = CFDataObjectOf(dataToWrite);
        if (data == nullptr) {
            SetError(errorCode, kCFURLImproperArgumentsError);
            return false;
        }
        error = FileAccess::WriteAtomically(path, data->bytes.data(), data->bytes.size());
    }
    SetError(errorCode, error == 0 ? 0 : ErrorForErrno(error));
    return error == 0;
}

// Removes a file, or a folder when it is empty.
Boolean CFURLDestroyResource(CFURLRef url, SInt32* errorCode)
{
    std::string path;
    if (SInt32 error = LocalPath(url, &path)) {
        SetError(errorCode, error);
        return false;
    }
    struct stat status;
    int error = 0;
    if (lstat(path.c_str(), &status) != 0)
        error = errno;
    else if (S_ISDIR(status.st_mode) ? rmdir(path.c_str()) != 0 : unlink(path.c_str()) != 0)
        error = errno;
    SetError(errorCode, error == 0 ? 0 : ErrorForErrno(error));
    return error == 0;
}
