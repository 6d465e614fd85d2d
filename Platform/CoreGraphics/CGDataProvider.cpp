#include "CGDataProvider.h"
#include "CGImageQt.h"

#include <CoreFoundation/CFRuntime.h>
#include <Support/FileAccess.h>

#include <cerrno>
#include <string>
#include <vector>

struct CGDataProviderObject final : CFRuntimeObject {
    CGDataProviderObject(CFDataRef owned, const UInt8* start, size_t length, void* callbackInfo,
                         CGDataProviderReleaseDataCallback callback)
        : CFRuntimeObject(CGDataProviderGetTypeID()), data(owned), bytes(start), size(length), info(callbackInfo),
          release(callback)
    {}
    ~CGDataProviderObject() override
    {
        if (release)
            release(info, bytes, size);
        if (data)
            CFRelease(data);
    }

    const CFDataRef data;  // owned, or nil for a block of the caller's
    const UInt8* const bytes;
    const size_t size;
    void* const info;
    const CGDataProviderReleaseDataCallback release;
};

namespace {

const CGDataProviderObject* AsProvider(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != CGDataProviderGetTypeID())
        return nullptr;
    return static_cast<const CGDataProviderObject*>(CFRuntimeObjectOf(cf));
}

// Takes over a data object the caller owns.
CGDataProviderRef AdoptData(CFDataRef data)
{
    return new CGDataProviderObject(data, CFDataGetBytePtr(data), static_cast<size_t>(CFDataGetLength(data)), nullptr,
                                    nullptr);
}

// Data providers of files feed images: a file is read as an image file is,
// and one that cannot be an image (a pipe, a device, a file larger than any
// image) is refused with a warning.
CGDataProviderRef ReadFile(const std::string& path)
{
    std::vector<UInt8> contents;
    if (const int error = FileAccess::ReadRegularFile(path, FileAccess::kImageLimit, &contents)) {
        if (error == EINVAL || error == EFBIG)
            FileAccess::WarnNotRead("image file", path, error, FileAccess::kImageLimit);
        return nullptr;
    }
    return AdoptData(CFDataCreate(nullptr, contents.data(), static_cast<CFIndex>(contents.size())));
}

}  // namespace

CFTypeID CGDataProviderGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CGDataProvider");
    return type;
}

CGDataProviderRef CGDataProviderCreateWithData(void* info, const void* data, size_t size,
                                               CGDataProviderReleaseDataCallback releaseData)
{
    return new CGDataProviderObject(nullptr, static_cast<const UInt8*>(data), data ? size : 0, info, releaseData);
}

CGDataProviderRef CGDataProviderCreateWithCFData(CFDataRef data)
{
    if (data == nullptr || CFGetTypeID(data) != CFDataGetTypeID())
        return nullptr;
    // A copy, so that later edits of a mutable data object cannot move or
    // change the bytes under an image.
    return AdoptData(CFDataCreateCopy(nullptr, data));
}

CGDataProviderRef CGDataProviderCreateWithURL(CFURLRef url)
{
    UInt8 path[4096];
    if (url == nullptr || !CFURLGetFileSystemRepresentation(url, true, path, sizeof path))
        return nullptr;
    return ReadFile(reinterpret_cast<const char*>(path));
}

CGDataProviderRef CGDataProviderCreateWithFilename(const char* filename)
{
    return filename ? ReadFile(filename) : nullptr;
}

CGDataProviderRef CGDataProviderRetain(CGDataProviderRef provider)
{
    return static_cast<CGDataProviderRef>(CFRetain(provider));
}

void CGDataProviderRelease(CGDataProviderRef provider)
{
    if (provider)
        CFRelease(provider);
}

CFDataRef CGDataProviderCopyData(CGDataProviderRef provider)
{
    const CGDataProviderObject* object = AsProvider(provider);
    if (object == nullptr)
        return nullptr;
    return CFDataCreate(nullptr, object->bytes, static_cast<CFIndex>(object->size));
}

std::span<const UInt8> CGDataProviderGetBytes(CGDataProviderRef provider)
{
    const CGDataProviderObject* object = AsProvider(provider);
    if (object == nullptr || object->bytes == nullptr)
        return {};
    return std::span<const UInt8>(object->bytes, object->size);
}
