// Contexts over a block of pixels.
#include "CGContextInternal.h"
#include "CGImageQt.h"

#include <cstdlib>

namespace {

// The QImage format whose memory layout is exactly the one asked for.
std::optional<QImage::Format> BitmapFormat(size_t bitsPerComponent, CGColorSpaceRef space, CGBitmapInfo info,
                                           size_t* bitsPerPixel)
{
    if (bitsPerComponent != 8 || (info & kCGBitmapFloatComponents))
        return std::nullopt;
    const UInt32 alpha = info & kCGBitmapAlphaInfoMask;
    const UInt32 order = info & kCGBitmapByteOrderMask;
    const CGColorSpaceModel model = space ? CGColorSpaceGetModel(space) : kCGColorSpaceModelUnknown;
    const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    // How the four bytes of a pixel sit in memory: "first"/"last" name the
    // alpha's place in a big-endian word.
    const bool bytesRGBA = order == kCGBitmapByteOrderDefault || order == kCGBitmapByteOrder32Big;
    const bool hostWords = order == (little ? kCGBitmapByteOrder32Little : kCGBitmapByteOrder32Big) ||
                           (!little && order == kCGBitmapByteOrderDefault);
    if (model == kCGColorSpaceModelRGB) {
        *bitsPerPixel = 32;
        if (alpha == kCGImageAlphaPremultipliedLast && bytesRGBA)
            return QImage::Format_RGBA8888_Premultiplied;
        if (alpha == kCGImageAlphaNoneSkipLast && bytesRGBA)
            return QImage::Format_RGBX8888;
        if (alpha == kCGImageAlphaPremultipliedFirst && hostWords)
            return QImage::Format_ARGB32_Premultiplied;
        if (alpha == kCGImageAlphaNoneSkipFirst && hostWords)
            return QImage::Format_RGB32;
        return std::nullopt;
    }
    *bitsPerPixel = 8;
    if (model == kCGColorSpaceModelMonochrome && alpha == kCGImageAlphaNone)
        return QImage::Format_Grayscale8;
    if (space == nullptr && alpha == kCGImageAlphaOnly)
        return QImage::Format_Alpha8;
    return std::nullopt;
}

}  // namespace

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent, size_t bytesPerRow,
                                   CGColorSpaceRef space, CGBitmapInfo bitmapInfo)
{
    size_t bitsPerPixel = 0;
    const std::optional<QImage::Format> format = BitmapFormat(bitsPerComponent, space, bitmapInfo, &bitsPerPixel);
    if (!format || width == 0 || height == 0 || width > 32767 || height > 32767)
        return nullptr;
    const size_t packedRow = width * bitsPerPixel / 8;
    if (bytesPerRow == 0)
        bytesPerRow = packedRow;
    if (bytesPerRow < packedRow)
        return nullptr;
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    CGContextObject* context;
    if (data) {
        // Over the caller's bytes: drawing lands in them directly.
        context =
            new CGContextObject(CGContextObject::Kind::Bitmap,
                                QImage(static_cast<uchar*>(data), w, h, qsizetype(bytesPerRow), *format), nullptr);
    } else {
        QImage pixels(w, h, *format);
        if (pixels.isNull() || size_t(pixels.bytesPerLine()) != bytesPerRow) {
            // Rows padded beyond what QImage would choose: keep them in a
            // buffer of ours and paint through a view of it.
            pixels = QImage();
        }
        if (pixels.isNull()) {
            auto* block = static_cast<uchar*>(std::calloc(height, bytesPerRow));
            if (block == nullptr)
                return nullptr;
            pixels = QImage(
                block, w, h, qsizetype(bytesPerRow), *format, [](void* p) { std::free(p); }, block);
        } else {
            pixels.fill(0);
        }
        context = new CGContextObject(CGContextObject::Kind::Bitmap, std::move(pixels), nullptr);
    }
    if (context->owned.isNull()) {
        CFRelease(context);
        return nullptr;
    }
    CGSetPointResolution(context->owned);
    context->data = context->owned.bits();
    context->bytesPerRow = bytesPerRow;
    context->bitsPerComponent = bitsPerComponent;
    context->bitsPerPixel = bitsPerPixel;
    context->bitmapInfo = bitmapInfo;
    context->space = space ? CGColorSpaceRetain(space) : nullptr;
    return context;
}

namespace {

CGContextObject* AsBitmap(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    return context && context->kind == CGContextObject::Kind::Bitmap ? context : nullptr;
}

}  // namespace

CGImageRef CGBitmapContextCreateImage(CGContextRef c)
{
    CGContextObject* context = AsBitmap(c);
    if (context == nullptr)
        return nullptr;
    // A deep copy: the pixels go on changing under the context.
    return CGImageCreateWithQImage(context->base->copy());
}

void* CGBitmapContextGetData(CGContextRef c)
{
    CGContextObject* context = AsBitmap(c);
    return context ? context->data : nullptr;
}

size_t CGBitmapContextGetWidth(CGContextRef c)
{
    CGContextObject* context = AsBitmap(c);
    return context ? size_t(context->Width()) : 0;
}

size_t CGBitmapContextGetHeight(CGContextRef c)
{
    CGContextObject* context = AsBitmap(c);
    return context ? size_t(context->Height()) : 0;
}

size_t CGBitmapContextGetBytesPerRow(CGContextRef c)
{
    CGContextObject* context = AsBitmap(c);
    return context ? context->bytesPerRow : 0;
}

size_t CGBitmapContextGetBitsPerComponent(CGContextRef c)
{
    CGContextObject* context = AsBitmap(c);
    return context ? context->bitsPerComponent : 0;
}

size_t CGBitmapContextGetBitsPerPixel(CGContextRef c)
{
    CGContextObject* context = AsBitmap(c);
    return context ? context->bitsPerPixel : 0;
}

CGBitmapInfo CGBitmapContextGetBitmapInfo(CGContextRef c)
{
    CGContextObject* context = AsBitmap(c);
    return context ? context->bitmapInfo : 0;
}

CGImageAlphaInfo CGBitmapContextGetAlphaInfo(CGContextRef c)
{
    return CGImageAlphaInfo(CGBitmapContextGetBitmapInfo(c) & kCGBitmapAlphaInfoMask);
}

CGColorSpaceRef CGBitmapContextGetColorSpace(CGContextRef c)
{
    CGContextObject* context = AsBitmap(c);
    return context ? context->space : nullptr;
}
