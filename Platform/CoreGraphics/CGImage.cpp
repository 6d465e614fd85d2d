#include "CGContextInternal.h"
#include "CGImageQt.h"

#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFStringUTF8.h>

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

namespace {

// The host's 32-bit byte order: QImage's ARGB32 formats are whole 32-bit
// words, which sit in memory in this order.
constexpr CGBitmapInfo kHost32 =
    QSysInfo::ByteOrder == QSysInfo::LittleEndian ? kCGBitmapByteOrder32Little : kCGBitmapByteOrder32Big;

struct Layout {
    QImage::Format format;
    size_t bitsPerComponent;
    size_t bitsPerPixel;
    CGColorSpaceModel model;
    CGBitmapInfo bitmapInfo;
};

// The QImage formats an image may hold, and how they read as Core Graphics
// layouts.
constexpr Layout kLayouts[] = {
    {QImage::Format_RGBA8888_Premultiplied, 8, 32, kCGColorSpaceModelRGB, kCGImageAlphaPremultipliedLast},
    {QImage::Format_RGBA8888, 8, 32, kCGColorSpaceModelRGB, kCGImageAlphaLast},
    {QImage::Format_RGBX8888, 8, 32, kCGColorSpaceModelRGB, kCGImageAlphaNoneSkipLast},
    {QImage::Format_ARGB32_Premultiplied, 8, 32, kCGColorSpaceModelRGB, kCGImageAlphaPremultipliedFirst | kHost32},
    {QImage::Format_ARGB32, 8, 32, kCGColorSpaceModelRGB, kCGImageAlphaFirst | kHost32},
    {QImage::Format_RGB32, 8, 32, kCGColorSpaceModelRGB, kCGImageAlphaNoneSkipFirst | kHost32},
    {QImage::Format_RGB888, 8, 24, kCGColorSpaceModelRGB, kCGImageAlphaNone},
    {QImage::Format_Grayscale8, 8, 8, kCGColorSpaceModelMonochrome, kCGImageAlphaNone},
    {QImage::Format_Alpha8, 8, 8, kCGColorSpaceModelUnknown, kCGImageAlphaOnly},
};

const Layout* LayoutOf(QImage::Format format)
{
    for (const Layout& layout : kLayouts)
        if (layout.format == format)
            return &layout;
    return nullptr;
}

QImage Normalized(const QImage& image)
{
    if (LayoutOf(image.format()))
        return image;
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    const bool premultiplied = image.pixelFormat().premultiplied() == QPixelFormat::Premultiplied;
    return image.convertToFormat(premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
}

CGColorSpaceRef SpaceFor(CGColorSpaceModel model)
{
    if (model == kCGColorSpaceModelRGB)
        return CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB);
    if (model == kCGColorSpaceModelMonochrome)
        return CGColorSpaceCreateWithName(kCGColorSpaceGenericGray);
    return nullptr;
}

}  // namespace

struct CGImageObject final : CFRuntimeObject {
    CGImageObject(QImage pixels, CGColorSpaceRef colorSpace, bool isMask, bool interpolate)
        : CFRuntimeObject(CGImageGetTypeID()), image(std::move(pixels)), layout(*LayoutOf(image.format())),
          space(colorSpace), mask(isMask), shouldInterpolate(interpolate)
    {}
    ~CGImageObject() override
    {
        CGColorSpaceRelease(space);
        CGDataProviderRelease(provider);
    }

    bool Equals(const CFRuntimeObject& other) const override
    {
        return image == static_cast<const CGImageObject&>(other).image;
    }
    CFStringRef CopyDescription() const override
    {
        return CFStringCreateWithUTF8(CFRuntimeDescriptionPrefix(this) + "{" + std::to_string(image.width()) + " x " +
                                      std::to_string(image.height()) + "}");
    }

    const QImage image;
    const Layout layout;
    const CGColorSpaceRef space;  // owned; nil for masks and alpha-only images
    const bool mask;
    const bool shouldInterpolate;
    // Made on first request: most images are never asked for their bytes.
    mutable std::once_flag providerOnce;
    mutable CGDataProviderRef provider = nullptr;
    // The pixels in the two layouts contexts draw in (premultiplied ARGB32
    // and RGBA), made on the first draw into a context of a layout other
    // than the image's own: Qt would otherwise convert the whole image on
    // every draw. The image never changes, so neither do they.
    mutable std::mutex drawableMutex;
    mutable QImage drawable[2];
    // Whether every pixel is fully transparent, worked out on first request
    // (the empty middle of a frame's nine pieces is such an image).
    mutable std::once_flag clearOnce;
    mutable bool clear = false;
};

namespace {

const CGImageObject* AsImage(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != CGImageGetTypeID())
        return nullptr;
    return static_cast<const CGImageObject*>(CFRuntimeObjectOf(cf));
}

CGImageRef MakeImage(const QImage& pixels, bool mask = false, bool interpolate = true)
{
    if (pixels.isNull())
        return nullptr;
    QImage normalized = Normalized(pixels);
    CGColorSpaceRef space = mask ? nullptr : SpaceFor(LayoutOf(normalized.format())->model);
    return new CGImageObject(std::move(normalized), space, mask, interpolate);
}

// Where red, green, blue and alpha sit among the four bytes of a 32-bit
// pixel (-1: no alpha byte), and whether the colour is premultiplied.
struct ByteOrder {
    int red, green, blue, alpha;
    bool premultiplied;
    bool valid;
};

ByteOrder ByteOrderOf(CGBitmapInfo info)
{
    const UInt32 alpha = info & kCGBitmapAlphaInfoMask;
    const UInt32 order = info & kCGBitmapByteOrderMask;
    if (order != kCGBitmapByteOrderDefault && order != kCGBitmapByteOrder32Big && order != kCGBitmapByteOrder32Little)
        return ByteOrder{0, 0, 0, 0, false, false};
    // In big-endian word order, "first" puts alpha in byte 0, "last" in byte 3.
    bool first = false;
    bool hasAlpha = true;
    bool premultiplied = false;
    switch (alpha) {
    case kCGImageAlphaPremultipliedFirst:
        first = true;
        premultiplied = true;
        break;
    case kCGImageAlphaFirst:
        first = true;
        break;
    case kCGImageAlphaNoneSkipFirst:
        first = true;
        hasAlpha = false;
        break;
    case kCGImageAlphaPremultipliedLast:
        premultiplied = true;
        break;
    case kCGImageAlphaLast:
        break;
    case kCGImageAlphaNoneSkipLast:
        hasAlpha = false;
        break;
    default:
        return ByteOrder{0, 0, 0, 0, false, false};
    }
    ByteOrder bytes = first ? ByteOrder{1, 2, 3, 0, premultiplied, true} : ByteOrder{0, 1, 2, 3, premultiplied, true};
    if (order == kCGBitmapByteOrder32Little) {
        bytes.red = 3 - bytes.red;
        bytes.green = 3 - bytes.green;
        bytes.blue = 3 - bytes.blue;
        bytes.alpha = 3 - bytes.alpha;
    }
    if (!hasAlpha)
        bytes.alpha = -1;
    return bytes;
}

// Whether `available` bytes hold `height` rows `bytesPerRow` apart, the
// last of them `lastRow` bytes long. The caller's figures may be anything:
// a product that wraps around must not pass for a small one.
bool HoldsRows(size_t available, size_t height, size_t bytesPerRow, size_t lastRow)
{
    if (height == 0 || lastRow > available)
        return false;
    const size_t rowsBefore = height - 1;
    return bytesPerRow == 0 || rowsBefore <= (available - lastRow) / bytesPerRow;
}

// The pixels of a raster of 8-bit components, copied into a QImage.
QImage DecodeRaster(std::span<const UInt8> bytes, size_t width, size_t height, size_t bitsPerPixel, size_t bytesPerRow,
                    CGColorSpaceModel model, CGBitmapInfo info)
{
    // No layout read here has more than 32 bits per pixel.
    if (width == 0 || height == 0 || width > 0x7FFF'FFFF || height > 0x7FFF'FFFF || bitsPerPixel > 32 ||
        (info & kCGBitmapFloatComponents))
        return QImage();
    const size_t minimumRow = (width * bitsPerPixel + 7) / 8;
    if (bytesPerRow < minimumRow || !HoldsRows(bytes.size(), height, bytesPerRow, minimumRow))
        return QImage();
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    const UInt32 alpha = info & kCGBitmapAlphaInfoMask;

    auto copyRows = [&](QImage::Format format) {
        QImage out(w, h, format);
        if (out.isNull())
            return out;
        for (int y = 0; y < h; ++y)
            std::memcpy(out.scanLine(y), bytes.data() + size_t(y) * bytesPerRow, minimumRow);
        return out;
    };

    if (model == kCGColorSpaceModelUnknown && alpha == kCGImageAlphaOnly && bitsPerPixel == 8)
        return copyRows(QImage::Format_Alpha8);
    if (model == kCGColorSpaceModelMonochrome && bitsPerPixel == 8 && alpha == kCGImageAlphaNone)
        return copyRows(QImage::Format_Grayscale8);
    if (model == kCGColorSpaceModelRGB && bitsPerPixel == 24 && alpha == kCGImageAlphaNone)
        return copyRows(QImage::Format_RGB888);
    if (model == kCGColorSpaceModelMonochrome && bitsPerPixel == 16 &&
        (alpha == kCGImageAlphaLast || alpha == kCGImageAlphaPremultipliedLast)) {
        const bool premultiplied = alpha == kCGImageAlphaPremultipliedLast;
        QImage out(w, h, premultiplied ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888);
        if (out.isNull())
            return out;
        for (int y = 0; y < h; ++y) {
            const UInt8* in = bytes.data() + size_t(y) * bytesPerRow;
            UInt8* o = out.scanLine(y);
            for (int x = 0; x < w; ++x, in += 2, o += 4)
                o[0] = o[1] = o[2] = in[0], o[3] = in[1];
        }
        return out;
    }
    if (model != kCGColorSpaceModelRGB || bitsPerPixel != 32)
        return QImage();
    const ByteOrder order = ByteOrderOf(info);
    if (!order.valid)
        return QImage();
    // Bytes in a layout Qt draws as it is keep it: a face made in the
    // windows' own layout is drawn without being converted on every draw.
    if (order.alpha >= 0) {
        const bool rgba = order.red == 0 && order.green == 1 && order.blue == 2 && order.alpha == 3;
        const bool hostARGB = QSysInfo::ByteOrder == QSysInfo::LittleEndian
                                  ? order.blue == 0 && order.green == 1 && order.red == 2 && order.alpha == 3
                                  : order.alpha == 0 && order.red == 1 && order.green == 2 && order.blue == 3;
        if (rgba)
            return copyRows(order.premultiplied ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888);
        if (hostARGB)
            return copyRows(order.premultiplied ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
    }
    const QImage::Format format = order.alpha < 0       ? QImage::Format_RGBX8888
                                  : order.premultiplied ? QImage::Format_RGBA8888_Premultiplied
                                                        : QImage::Format_RGBA8888;
    QImage out(w, h, format);
    if (out.isNull())
        return out;
    for (int y = 0; y < h; ++y) {
        const UInt8* in = bytes.data() + size_t(y) * bytesPerRow;
        UInt8* o = out.scanLine(y);
        for (int x = 0; x < w; ++x, in += 4, o += 4) {
            o[0] = in[order.red];
            o[1] = in[order.green];
            o[2] = in[order.blue];
            o[3] = order.alpha < 0 ? 255 : in[order.alpha];
        }
    }
    return out;
}

}  // namespace

CFTypeID CGImageGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CGImage");
    return type;
}

CGImageRef CGImageCreateWithQImage(const QImage& image)
{
    return MakeImage(image);
}

QImage CGImageGetQImage(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? object->image : QImage();
}

bool CGImageIsFullyTransparent(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    // Masks stencil the colour they are drawn with; they are never skipped.
    // Only small images are looked at (the pieces of a picture): a large one
    // is drawn once or twice, and looking would cost as much as drawing.
    constexpr qint64 kLargestExamined = 64 * 64;
    if (object == nullptr || object->mask || !object->image.hasAlphaChannel() ||
        qint64(object->image.width()) * object->image.height() > kLargestExamined)
        return false;
    std::call_once(object->clearOnce, [object] {
        const QImage alpha = object->image.convertToFormat(QImage::Format_Alpha8);
        bool clear = true;
        for (int y = 0, height = alpha.height(); y < height && clear; ++y) {
            const uchar* row = alpha.constScanLine(y);
            clear = std::all_of(row, row + alpha.width(), [](uchar value) { return value == 0; });
        }
        object->clear = clear;
    });
    return object->clear;
}

QImage CGImageGetCoverage(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    if (object == nullptr)
        return QImage();
    if (object->mask) {
        QImage coverage = object->image.convertToFormat(QImage::Format_Grayscale8);
        coverage.invertPixels();
        return coverage.reinterpretAsFormat(QImage::Format_Alpha8) ? coverage : QImage();
    }
    if (object->image.format() == QImage::Format_Grayscale8) {
        QImage coverage = object->image.copy();
        coverage.reinterpretAsFormat(QImage::Format_Alpha8);
        return coverage;
    }
    return object->image.convertToFormat(QImage::Format_Alpha8);
}

QImage CGImageGetPaintableQImage(CGImageRef image, const QColor& fill)
{
    const CGImageObject* object = AsImage(image);
    if (object == nullptr)
        return QImage();
    if (object->mask) {
        QImage painted(object->image.size(), QImage::Format_ARGB32_Premultiplied);
        painted.fill(fill);
        const QImage coverage = CGImageGetCoverage(image);
        for (int y = 0; y < painted.height(); ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(painted.scanLine(y));
            const uchar* cover = coverage.constScanLine(y);
            for (int x = 0, w = painted.width(); x < w; ++x) {
                const QRgb p = row[x];
                const uint c = cover[x];
                row[x] = qRgba(qRed(p) * c / 255, qGreen(p) * c / 255, qBlue(p) * c / 255, qAlpha(p) * c / 255);
            }
        }
        return painted;
    }
    if (object->image.format() == QImage::Format_Alpha8) {
        // An alpha-only image paints black, like any colour image would
        // whose colour channels are all zero.
        QImage painted(object->image.size(), QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < painted.height(); ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(painted.scanLine(y));
            const uchar* a = object->image.constScanLine(y);
            for (int x = 0, w = painted.width(); x < w; ++x)
                row[x] = qRgba(0, 0, 0, a[x]);
        }
        return painted;
    }
    return object->image;
}

namespace {

// The premultiplied layout in which Qt composites fastest onto a surface of
// `target`: its own, or its own with alpha for an opaque one; nothing for
// the surfaces with no colour layout of that kind (grey, alpha only).
std::optional<QImage::Format> DrawingFormatFor(QImage::Format target)
{
    switch (target) {
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGB32:
        return QImage::Format_ARGB32_Premultiplied;
    case QImage::Format_RGBA8888_Premultiplied:
    case QImage::Format_RGBX8888:
        return QImage::Format_RGBA8888_Premultiplied;
    default:
        return std::nullopt;
    }
}

// Whether Qt composites pixels of `source` without converting them where it
// composites those of `drawing`.
bool DrawsNatively(QImage::Format source, QImage::Format drawing)
{
    if (source == drawing)
        return true;
    // Opaque pixels in the same byte order blend as they are.
    return (source == QImage::Format_RGB32 && drawing == QImage::Format_ARGB32_Premultiplied) ||
           (source == QImage::Format_RGBX8888 && drawing == QImage::Format_RGBA8888_Premultiplied);
}

}  // namespace

QImage CGImageGetDrawableQImage(CGImageRef image, const QColor& fill, QImage::Format target)
{
    const CGImageObject* object = AsImage(image);
    if (object == nullptr)
        return QImage();
    const std::optional<QImage::Format> drawing = DrawingFormatFor(target);
    if (object->mask || object->image.format() == QImage::Format_Alpha8 || !drawing ||
        DrawsNatively(object->image.format(), *drawing))
        return CGImageGetPaintableQImage(image, fill);
    QImage& twin = object->drawable[*drawing == QImage::Format_ARGB32_Premultiplied ? 0 : 1];
    std::lock_guard lock(object->drawableMutex);
    if (twin.isNull())
        twin = object->image.convertToFormat(*drawing);
    return twin;
}

CGImageRef CGImageRetain(CGImageRef image)
{
    return static_cast<CGImageRef>(CFRetain(image));
}

void CGImageRelease(CGImageRef image)
{
    if (image)
        CFRelease(image);
}

CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel, size_t bytesPerRow,
                         CGColorSpaceRef space, CGBitmapInfo bitmapInfo, CGDataProviderRef provider, const CGFloat*,
                         bool shouldInterpolate, CGColorRenderingIntent)
{
    if (bitsPerComponent != 8)
        return nullptr;
    const CGColorSpaceModel model = space ? CGColorSpaceGetModel(space) : kCGColorSpaceModelUnknown;
    QImage pixels =
        DecodeRaster(CGDataProviderGetBytes(provider), width, height, bitsPerPixel, bytesPerRow, model, bitmapInfo);
    if (pixels.isNull())
        return nullptr;
    return new CGImageObject(std::move(pixels), space ? CGColorSpaceRetain(space) : nullptr, false, shouldInterpolate);
}

CGImageRef CGImageMaskCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                             size_t bytesPerRow, CGDataProviderRef provider, const CGFloat decode[],
                             bool shouldInterpolate)
{
    if (bitsPerComponent != bitsPerPixel || (bitsPerPixel != 1 && bitsPerPixel != 8))
        return nullptr;
    QImage samples;
    if (bitsPerPixel == 8) {
        samples = DecodeRaster(CGDataProviderGetBytes(provider), width, height, 8, bytesPerRow,
                               kCGColorSpaceModelMonochrome, kCGImageAlphaNone);
    } else {
        const std::span<const UInt8> bytes = CGDataProviderGetBytes(provider);
        if (width == 0 || height == 0 || width > 0x7FFF'FFFF || height > 0x7FFF'FFFF || bytesPerRow < (width + 7) / 8 ||
            !HoldsRows(bytes.size(), height, bytesPerRow, (width + 7) / 8))
            return nullptr;
        samples = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_Grayscale8);
        for (int y = 0; y < samples.height(); ++y) {
            const UInt8* in = bytes.data() + size_t(y) * bytesPerRow;
            uchar* out = samples.scanLine(y);
            for (int x = 0, w = samples.width(); x < w; ++x)
                out[x] = (in[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
        }
    }
    if (samples.isNull())
        return nullptr;
    if (decode && decode[0] > decode[1])
        samples.invertPixels();
    return new CGImageObject(std::move(samples), nullptr, true, shouldInterpolate);
}

CGImageRef CGImageCreateCopy(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    if (object == nullptr)
        return nullptr;
    return new CGImageObject(object->image, object->space ? CGColorSpaceRetain(object->space) : nullptr, object->mask,
                             object->shouldInterpolate);
}

CGImageRef CGImageCreateWithImageInRect(CGImageRef image, CGRect rect)
{
    const CGImageObject* object = AsImage(image);
    if (object == nullptr)
        return nullptr;
    const CGRect bounds = CGRectMake(0, 0, object->image.width(), object->image.height());
    const CGRect part = CGRectIntersection(CGRectIntegral(rect), bounds);
    if (CGRectIsEmpty(part))
        return nullptr;
    const QRect area(int(part.origin.x), int(part.origin.y), int(part.size.width), int(part.size.height));
    return new CGImageObject(object->image.copy(area), object->space ? CGColorSpaceRetain(object->space) : nullptr,
                             object->mask, object->shouldInterpolate);
}

size_t CGImageGetWidth(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? static_cast<size_t>(object->image.width()) : 0;
}

size_t CGImageGetHeight(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? static_cast<size_t>(object->image.height()) : 0;
}

size_t CGImageGetBitsPerComponent(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? object->layout.bitsPerComponent : 0;
}

size_t CGImageGetBitsPerPixel(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? object->layout.bitsPerPixel : 0;
}

size_t CGImageGetBytesPerRow(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? static_cast<size_t>(object->image.bytesPerLine()) : 0;
}

CGImageAlphaInfo CGImageGetAlphaInfo(CGImageRef image)
{
    return CGImageAlphaInfo(CGImageGetBitmapInfo(image) & kCGBitmapAlphaInfoMask);
}

CGBitmapInfo CGImageGetBitmapInfo(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    if (object == nullptr || object->mask)
        return 0;
    return object->layout.bitmapInfo;
}

CGColorSpaceRef CGImageGetColorSpace(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? object->space : nullptr;
}

CGDataProviderRef CGImageGetDataProvider(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    if (object == nullptr)
        return nullptr;
    std::call_once(object->providerOnce, [object] {
        const QImage& pixels = object->image;
        CFDataRef bytes = CFDataCreate(nullptr, pixels.constBits(), static_cast<CFIndex>(pixels.sizeInBytes()));
        object->provider = CGDataProviderCreateWithCFData(bytes);
        CFRelease(bytes);
    });
    return object->provider;
}

bool CGImageIsMask(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object && object->mask;
}

bool CGImageGetShouldInterpolate(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object && object->shouldInterpolate;
}
