#include "CGDataProvider.h"
#include "CGImageQt.h"

#include <CoreFoundation/CFRuntime.h>

#include <QFile>

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

CGDataProviderRef ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return nullptr;
    const auto* bytes = reinterpret_cast<const UInt8*>(contents.constData());
    return AdoptData(CFDataCreate(nullptr, bytes, static_cast<CFIndex>(contents.size())));
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
    return ReadFile(QString::fromUtf8(reinterpret_cast<const char*>(path)));
}

CGDataProviderRef CGDataProviderCreateWithFilename(const char* filename)
{
    return filename ? ReadFile(QString::fromUtf8(filename)) : nullptr;
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
