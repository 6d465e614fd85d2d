#include "CGImageInternal.h"

#include <CoreFoundation/CFDataInternal.h>
#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFStringInternal.h>
#include <CoreGraphics/CGImageDestination.h>
#include <CoreGraphics/CGImageSource.h>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QImageWriter>

#include <string>
#include <vector>

namespace {

struct Format {
    const char* identifier;
    const char* qtName;
};

// Type identifiers and the names Qt's image plug-ins know them by.
constexpr Format kFormats[] = {
    {"public.png", "png"},         {"public.jpeg", "jpeg"}, {"public.tiff", "tiff"},
    {"com.compuserve.gif", "gif"}, {"com.microsoft.bmp", "bmp"},
};

const char* QtNameFor(std::string_view identifier)
{
    for (const Format& format : kFormats)
        if (identifier == format.identifier)
            return format.qtName;
    return nullptr;
}

const char* IdentifierFor(const QByteArray& qtName)
{
    for (const Format& format : kFormats)
        if (qtName == format.qtName || (qtName == "jpg" && std::string_view(format.qtName) == "jpeg"))
            return format.identifier;
    return nullptr;
}

}  // namespace

struct CGImageSourceObject final : CFRuntimeObject {
    CGImageSourceObject(CFTypeID type, QByteArray data, QByteArray format)
        : CFRuntimeObject(type), bytes(std::move(data)), qtFormat(std::move(format))
    {
    }
    const QByteArray bytes;
    const QByteArray qtFormat;
};

struct CGImageDestinationObject final : CFRuntimeObject {
    CGImageDestinationObject(CFTypeID type, CFMutableDataRef target, const char* format)
        : CFRuntimeObject(type), data(static_cast<CFMutableDataRef>(const_cast<void*>(CFRetain(target)))),
          qtFormat(format)
    {
    }
    ~CGImageDestinationObject() override { CFRelease(data); }

    CFMutableDataRef const data;
    const char* const qtFormat;
    std::vector<QImage> images;
};

namespace {

const CGImageSourceObject* AsSource(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != CGImageSourceGetTypeID())
        return nullptr;
    return static_cast<const CGImageSourceObject*>(CFRuntimeObjectOf(cf));
}

CGImageDestinationObject* AsDestination(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != CGImageDestinationGetTypeID())
        return nullptr;
    return const_cast<CGImageDestinationObject*>(static_cast<const CGImageDestinationObject*>(CFRuntimeObjectOf(cf)));
}

}  // namespace

CFTypeID CGImageSourceGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CGImageSource");
    return type;
}

CGImageSourceRef CGImageSourceCreateWithData(CFDataRef data, CFDictionaryRef)
{
    const CFDataObject* object = CFDataObjectOf(data);
    if (object == nullptr || object->bytes.empty())
        return nullptr;
    QByteArray bytes(reinterpret_cast<const char*>(object->bytes.data()), static_cast<qsizetype>(object->bytes.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QByteArray format = reader.format();
    if (format.isEmpty() || IdentifierFor(format) == nullptr)
        return nullptr;
    return new CGImageSourceObject(CGImageSourceGetTypeID(), std::move(bytes), std::move(format));
}

CFStringRef CGImageSourceGetType(CGImageSourceRef isrc)
{
    const CGImageSourceObject* source = AsSource(isrc);
    const char* identifier = source ? IdentifierFor(source->qtFormat) : nullptr;
    return identifier ? CFSTR(identifier) : nullptr;
}

size_t CGImageSourceGetCount(CGImageSourceRef isrc)
{
    const CGImageSourceObject* source = AsSource(isrc);
    if (source == nullptr)
        return 0;
    QByteArray bytes = source->bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, source->qtFormat);
    return static_cast<size_t>(std::max(reader.imageCount(), 1));
}

CGImageRef CGImageSourceCreateImageAtIndex(CGImageSourceRef isrc, size_t index, CFDictionaryRef)
{
    const CGImageSourceObject* source = AsSource(isrc);
    if (source == nullptr)
        return nullptr;
    QByteArray bytes = source->bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, source->qtFormat);
    if (index > 0 && !reader.jumpToImage(static_cast<int>(index)))
        return nullptr;
    return CGImageCreateWithQImage(reader.read());
}

CFTypeID CGImageDestinationGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CGImageDestination");
    return type;
}

CGImageDestinationRef CGImageDestinationCreateWithData(CFMutableDataRef data, CFStringRef type, size_t,
                                                       CFDictionaryRef)
{
    const char* qtName = QtNameFor(CFStringToUTF8(type));
    const CFDataObject* object = CFDataObjectOf(data);
    if (qtName == nullptr || object == nullptr || !object->isMutable)
        return nullptr;
    return new CGImageDestinationObject(CGImageDestinationGetTypeID(), data, qtName);
}

void CGImageDestinationAddImage(CGImageDestinationRef idst, CGImageRef image, CFDictionaryRef)
{
    CGImageDestinationObject* destination = AsDestination(idst);
    QImage pixels = CGImageGetQImage(image);
    if (destination && !pixels.isNull())
        destination->images.push_back(std::move(pixels));
}

Boolean CGImageDestinationFinalize(CGImageDestinationRef idst)
{
    CGImageDestinationObject* destination = AsDestination(idst);
    if (destination == nullptr || destination->images.empty())
        return false;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, destination->qtFormat);
    // Only the first image is written: none of our formats holds several here.
    if (!writer.write(destination->images.front()))
        return false;
    CFDataAppendBytes(destination->data, reinterpret_cast<const UInt8*>(bytes.constData()), bytes.size());
    return true;
}
