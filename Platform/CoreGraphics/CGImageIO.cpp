#include "CGImageQt.h"

#include <CoreFoundation/CFDataInternal.h>
#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreGraphics/CGImageDestination.h>
#include <CoreGraphics/CGImageSource.h>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QImageWriter>
#include <Support/FileAccess.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace {

struct Format {
    const char* identifier;
    const char* qtName;
};

// Type identifiers and the names Qt's image plug-ins know them by.
constexpr Format kFormats[] = {
    {"public.png", "png"},         {"public.jpeg", "jpeg"},      {"public.tiff", "tiff"},
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
        if (qtName == format.qtName || (qtName == "jpg" && std::string_view(format.qtName) == "jpeg") ||
            (qtName == "tif" && std::string_view(format.qtName) == "tiff"))
            return format.identifier;
    return nullptr;
}

// Premultiplied pixels written as straight alpha, each colour rounded to
// the nearest value: premultiplying the result again (as drawing does)
// gives back exactly the bytes we started from, so a bitmap snapshot
// survives an encode and decode unchanged.
QImage StraightAlpha(const QImage& image)
{
    if (image.pixelFormat().premultiplied() != QPixelFormat::Premultiplied)
        return image;
    const QImage source = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    QImage out(source.size(), QImage::Format_RGBA8888);
    for (int y = 0; y < source.height(); ++y) {
        const uchar* in = source.constScanLine(y);
        uchar* o = out.scanLine(y);
        for (int x = 0, w = source.width(); x < w; ++x, in += 4, o += 4) {
            const uint a = in[3];
            for (int c = 0; c < 3; ++c)
                o[c] = a == 0 ? 0 : uchar(std::min<uint>(255, (in[c] * 255u + a / 2) / a));
            o[3] = uchar(a);
        }
    }
    return out;
}

}  // namespace

struct CGImageSourceObject final : CFRuntimeObject {
    CGImageSourceObject(CFTypeID type, QByteArray data, QByteArray format)
        : CFRuntimeObject(type), bytes(std::move(data)), qtFormat(std::move(format))
    {}
    const QByteArray bytes;
    const QByteArray qtFormat;
};

struct CGImageDestinationObject final : CFRuntimeObject {
    CGImageDestinationObject(CFTypeID type, CFMutableDataRef target, QString file, const char* format)
        : CFRuntimeObject(type),
          data(target ? static_cast<CFMutableDataRef>(const_cast<void*>(CFRetain(target))) : nullptr),
          path(std::move(file)), qtFormat(format)
    {}
    ~CGImageDestinationObject() override
    {
        if (data)
            CFRelease(data);
    }

    CFMutableDataRef const data;  // nil when writing a file
    const QString path;
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

CGImageSourceRef MakeSource(QByteArray bytes)
{
    if (bytes.isEmpty())
        return nullptr;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QByteArray format = reader.format();
    if (format.isEmpty() || IdentifierFor(format) == nullptr)
        return nullptr;
    return new CGImageSourceObject(CGImageSourceGetTypeID(), std::move(bytes), std::move(format));
}

QString FilePathOf(CFURLRef url)
{
    UInt8 path[4096];
    if (url == nullptr || !CFURLGetFileSystemRepresentation(url, true, path, sizeof path))
        return QString();
    return QString::fromUtf8(reinterpret_cast<const char*>(path));
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
    if (object == nullptr)
        return nullptr;
    return MakeSource(
        QByteArray(reinterpret_cast<const char*>(object->bytes.data()), static_cast<qsizetype>(object->bytes.size())));
}

CGImageSourceRef CGImageSourceCreateWithDataProvider(CGDataProviderRef provider, CFDictionaryRef)
{
    const std::span<const UInt8> bytes = CGDataProviderGetBytes(provider);
    return MakeSource(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
}

CGImageSourceRef CGImageSourceCreateWithURL(CFURLRef url, CFDictionaryRef options)
{
    CGDataProviderRef provider = CGDataProviderCreateWithURL(url);
    if (provider == nullptr)
        return nullptr;
    CGImageSourceRef source = CGImageSourceCreateWithDataProvider(provider, options);
    CGDataProviderRelease(provider);
    return source;
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
    // Qt numbers frames with an int; a larger index names no frame.
    if (source == nullptr || index > static_cast<size_t>(std::numeric_limits<int>::max()))
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

CGImageDestinationRef CGImageDestinationCreateWithData(CFMutableDataRef data, CFStringRef type, size_t, CFDictionaryRef)
{
    const char* qtName = QtNameFor(CFStringToUTF8(type));
    const CFDataObject* object = CFDataObjectOf(data);
    if (qtName == nullptr || object == nullptr || !object->isMutable)
        return nullptr;
    return new CGImageDestinationObject(CGImageDestinationGetTypeID(), data, QString(), qtName);
}

CGImageDestinationRef CGImageDestinationCreateWithURL(CFURLRef url, CFStringRef type, size_t, CFDictionaryRef)
{
    const char* qtName = QtNameFor(CFStringToUTF8(type));
    QString path = FilePathOf(url);
    if (qtName == nullptr || path.isEmpty())
        return nullptr;
    return new CGImageDestinationObject(CGImageDestinationGetTypeID(), nullptr, std::move(path), qtName);
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
    if (!writer.write(StraightAlpha(destination->images.front())))
        return false;
    if (destination->data) {
        CFDataAppendBytes(destination->data, reinterpret_cast<const UInt8*>(bytes.constData()), bytes.size());
        return true;
    }
    // A whole new file or none: a half-written image never replaces a good one.
    return FileAccess::WriteAtomically(destination->path.toStdString(), bytes.constData(),
                                       static_cast<size_t>(bytes.size())) == 0;
}
