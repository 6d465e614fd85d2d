// Images, masks, tiles and layers in a context.
#include "CGContextInternal.h"
#include "CGImageQt.h"

#include <CoreGraphics/CGLayer.h>

#include <cmath>

namespace {

// Image pixels (row 0 at the top) to user space: the image stands upright
// in a y-up space, its first row along the rectangle's top (maximum y).
QTransform ImageToUser(CGRect rect, QSize size)
{
    return QTransform(qreal(rect.size.width) / size.width(), 0, 0, -qreal(rect.size.height) / size.height(),
                      rect.origin.x, qreal(rect.origin.y) + rect.size.height);
}

bool Interpolates(const CGContextObject* context)
{
    return context->state.interpolation != kCGInterpolationNone;
}

// Whether each image pixel lands on exactly one device pixel (turned or
// mirrored at most): then there is nothing to interpolate, and sampling
// between pixels would only blur them.
bool PixelExact(const QTransform& t)
{
    auto whole = [](qreal v) { return v == std::floor(v); };
    return t.m12() == 0 && t.m21() == 0 && std::fabs(t.m11()) == 1 && std::fabs(t.m22()) == 1 && whole(t.dx()) &&
           whole(t.dy()) && t.type() <= QTransform::TxScale;
}

}  // namespace

void CGContextDrawQImage(CGContextObject* context, CGRect rect, const QImage& image, bool interpolate)
{
    if (image.isNull() || rect.size.width == 0 || rect.size.height == 0 || CGRectIsNull(rect))
        return;
    const QTransform imageToQt = ImageToUser(rect, image.size()) * context->UserToQt();
    const bool smooth = interpolate && !PixelExact(imageToQt);
    CGPaintOperation operation;
    operation.paint = [&](QPainter& painter, const QTransform& qtToTarget) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        painter.setTransform(imageToQt * qtToTarget);
        painter.drawImage(QPointF(0, 0), image);
    };
    operation.bounds = [&] { return imageToQt.mapRect(QRectF(image.rect())).adjusted(-1, -1, 1, 1); };
    operation.rectangular = imageToQt.type() <= QTransform::TxScale;
    CGContextPaint(context, operation);
}

void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr || image == nullptr)
        return;
    // Nothing drawn over what is there changes nothing (nor casts a shadow).
    if (context->state.blendMode == kCGBlendModeNormal && CGImageIsFullyTransparent(image))
        return;
    const QImage pixels =
        CGImageGetDrawableQImage(image, CGRGBAToQColor(context->state.fill), context->Target().format());
    CGContextDrawQImage(context, rect, pixels, Interpolates(context));
}

void CGContextDrawTiledImage(CGContextRef c, CGRect rect, CGImageRef image)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr || image == nullptr || rect.size.width == 0 || rect.size.height == 0)
        return;
    const QImage pixels =
        CGImageGetDrawableQImage(image, CGRGBAToQColor(context->state.fill), context->Target().format());
    if (pixels.isNull())
        return;
    QPainterPath area;
    area.addRect(CGContextClipBoundsQt(context));
    const QTransform imageToQt = ImageToUser(rect, pixels.size()) * context->UserToQt();
    CGContextFillQtPath(context, area, QBrush(pixels), imageToQt);
}

void CGContextClipToMask(CGContextRef c, CGRect rect, CGImageRef mask)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return;
    const QImage coverage = CGImageGetCoverage(mask);
    QImage full = CGNewSurface(context->base->size());
    if (!coverage.isNull() && rect.size.width != 0 && rect.size.height != 0) {
        QImage stencil(coverage.size(), QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < coverage.height(); ++y) {
            const uchar* in = coverage.constScanLine(y);
            QRgb* out = reinterpret_cast<QRgb*>(stencil.scanLine(y));
            for (int x = 0, w = coverage.width(); x < w; ++x)
                out[x] = qRgba(0, 0, 0, in[x]);
        }
        QPainter painter(&full);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, Interpolates(context));
        painter.setTransform(ImageToUser(rect, stencil.size()) * context->UserToQt());
        painter.drawImage(QPointF(0, 0), stencil);
    }
    context->state.masks.push_back(full.convertToFormat(QImage::Format_Alpha8));
    // Keeps the clip's bounds (and so every buffer drawn through it) small.
    CGContextClipToRect(c, rect);
}

// ---- layers ----

struct CGLayerObject final : CFRuntimeObject {
    CGLayerObject(CGContextRef layerContext, CGSize layerSize)
        : CFRuntimeObject(CGLayerGetTypeID()), context(layerContext), size(layerSize)
    {}
    ~CGLayerObject() override { CGContextRelease(context); }

    const CGContextRef context;
    const CGSize size;
};

namespace {

CGLayerObject* AsLayer(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != CGLayerGetTypeID())
        return nullptr;
    return const_cast<CGLayerObject*>(static_cast<const CGLayerObject*>(CFRuntimeObjectOf(cf)));
}

}  // namespace

CFTypeID CGLayerGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CGLayer");
    return type;
}

CGLayerRef CGLayerCreateWithContext(CGContextRef c, CGSize size, CFDictionaryRef)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr || !(size.width > 0) || !(size.height > 0) || size.width > 32767 || size.height > 32767)
        return nullptr;
    // The layout of the context the layer is made for, with alpha: drawn
    // back into it, the layer is composited without being converted.
    const QImage::Format format = context->Target().format() == QImage::Format_RGBA8888_Premultiplied ||
                                          context->Target().format() == QImage::Format_RGBX8888
                                      ? QImage::Format_RGBA8888_Premultiplied
                                      : QImage::Format_ARGB32_Premultiplied;
    QImage pixels(QSize(int(std::ceil(size.width)), int(std::ceil(size.height))), format);
    if (pixels.isNull())
        return nullptr;
    pixels.fill(Qt::transparent);
    CGSetPointResolution(pixels);
    auto* layerContext = new CGContextObject(CGContextObject::Kind::Layer, std::move(pixels), nullptr);
    // Drawing made for the context looks the same in its layer.
    layerContext->state.shouldAntialias = context->state.shouldAntialias;
    layerContext->allowsAntialiasing = context->allowsAntialiasing;
    layerContext->state.interpolation = context->state.interpolation;
    return new CGLayerObject(layerContext, size);
}

CGLayerRef CGLayerRetain(CGLayerRef layer)
{
    if (layer)
        CFRetain(layer);
    return layer;
}

void CGLayerRelease(CGLayerRef layer)
{
    if (layer)
        CFRelease(layer);
}

CGSize CGLayerGetSize(CGLayerRef layer)
{
    CGLayerObject* object = AsLayer(layer);
    return object ? object->size : CGSizeZero;
}

CGContextRef CGLayerGetContext(CGLayerRef layer)
{
    CGLayerObject* object = AsLayer(layer);
    return object ? object->context : nullptr;
}

void CGContextDrawLayerInRect(CGContextRef c, CGRect rect, CGLayerRef layer)
{
    CGContextObject* context = CGContextObjectOf(c);
    CGLayerObject* object = AsLayer(layer);
    if (context == nullptr || object == nullptr)
        return;
    const QImage& pixels = *object->context->base;
    // A layer drawn into itself draws what it held before.
    const QImage source = context == object->context ? pixels.copy() : pixels;
    CGContextDrawQImage(context, rect, source, Interpolates(context));
}

void CGContextDrawLayerAtPoint(CGContextRef c, CGPoint point, CGLayerRef layer)
{
    CGLayerObject* object = AsLayer(layer);
    if (object == nullptr)
        return;
    const QImage& pixels = *object->context->base;
    CGContextDrawLayerInRect(c, CGRectMake(point.x, point.y, CGFloat(pixels.width()), CGFloat(pixels.height())), layer);
}
