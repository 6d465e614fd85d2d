// The road from a drawing call to the pixels: clip, masks, alpha, blend
// mode and shadow, and the transparency layers drawing can be gathered in.
#include "CGContextInternal.h"

#include <cmath>
#include <list>
#include <mutex>
#include <vector>

QPainter::CompositionMode CGBlendModeToQt(CGBlendMode mode)
{
    switch (mode) {
    case kCGBlendModeMultiply:
        return QPainter::CompositionMode_Multiply;
    case kCGBlendModeScreen:
        return QPainter::CompositionMode_Screen;
    case kCGBlendModeOverlay:
        return QPainter::CompositionMode_Overlay;
    case kCGBlendModeDarken:
        return QPainter::CompositionMode_Darken;
    case kCGBlendModeLighten:
        return QPainter::CompositionMode_Lighten;
    case kCGBlendModeColorDodge:
        return QPainter::CompositionMode_ColorDodge;
    case kCGBlendModeColorBurn:
        return QPainter::CompositionMode_ColorBurn;
    case kCGBlendModeSoftLight:
        return QPainter::CompositionMode_SoftLight;
    case kCGBlendModeHardLight:
        return QPainter::CompositionMode_HardLight;
    case kCGBlendModeDifference:
        return QPainter::CompositionMode_Difference;
    case kCGBlendModeExclusion:
        return QPainter::CompositionMode_Exclusion;
    case kCGBlendModeClear:
        return QPainter::CompositionMode_Clear;
    case kCGBlendModeCopy:
        return QPainter::CompositionMode_Source;
    case kCGBlendModeSourceIn:
        return QPainter::CompositionMode_SourceIn;
    case kCGBlendModeSourceOut:
        return QPainter::CompositionMode_SourceOut;
    case kCGBlendModeSourceAtop:
        return QPainter::CompositionMode_SourceAtop;
    case kCGBlendModeDestinationOver:
        return QPainter::CompositionMode_DestinationOver;
    case kCGBlendModeDestinationIn:
        return QPainter::CompositionMode_DestinationIn;
    case kCGBlendModeDestinationOut:
        return QPainter::CompositionMode_DestinationOut;
    case kCGBlendModeDestinationAtop:
        return QPainter::CompositionMode_DestinationAtop;
    case kCGBlendModeXOR:
        return QPainter::CompositionMode_Xor;
    case kCGBlendModePlusLighter:
        return QPainter::CompositionMode_Plus;
    // Hue, saturation, colour, luminosity and plus-darker have no Qt
    // counterpart; they paint normally.
    default:
        return QPainter::CompositionMode_SourceOver;
    }
}

namespace {

bool HasShadow(const CGGState& state)
{
    return state.shadow.on && state.shadow.color.alpha > 0;
}

void SetHints(QPainter& painter, const CGContextObject* context)
{
    painter.setRenderHint(QPainter::Antialiasing, CGContextAntialiases(context));
    painter.setRenderHint(QPainter::SmoothPixmapTransform, context->state.interpolation != kCGInterpolationNone);
}

void ApplyClip(QPainter& painter, const CGGState& state, const QTransform& qtToTarget)
{
    painter.setTransform(qtToTarget);
    bool first = true;
    for (const CGClipEntry& entry : state.clips) {
        const Qt::ClipOperation operation = first ? Qt::ReplaceClip : Qt::IntersectClip;
        if (entry.isRect)
            painter.setClipRect(entry.rect, operation);
        else
            painter.setClipPath(entry.path, operation);
        first = false;
    }
    painter.resetTransform();
}

// Draws a finished buffer (premultiplied ARGB32, Qt pixel space at `at`)
// into the target through clip, masks, alpha and blend mode.
void Composite(CGContextObject* context, QImage buffer, QPoint at, bool clearing)
{
    const CGGState& state = context->state;
    for (const QImage& mask : state.masks) {
        // The mask's part under the buffer; outside the mask's surface
        // nothing is let through.
        QImage window(buffer.size(), QImage::Format_Alpha8);
        window.fill(0);
        {
            QPainter copy(&window);
            copy.setCompositionMode(QPainter::CompositionMode_Source);
            copy.drawImage(QPoint(0, 0), mask, QRect(at, buffer.size()));
        }
        QPainter masking(&buffer);
        masking.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        masking.drawImage(QPoint(0, 0), window);
    }
    const QPoint origin = context->TargetOrigin();
    QPainter painter(&context->Target());
    ApplyClip(painter, state, QTransform::fromTranslate(-origin.x(), -origin.y()));
    if (clearing) {
        painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    } else {
        painter.setOpacity(state.alpha);
        painter.setCompositionMode(CGBlendModeToQt(state.blendMode));
    }
    painter.drawImage(at - origin, buffer);
}

}  // namespace

QRectF CGContextClipBoundsQt(CGContextObject* context)
{
    QRectF bounds = QRectF(context->Target().rect().translated(context->TargetOrigin()));
    for (const CGClipEntry& entry : context->state.clips)
        bounds &= entry.isRect ? entry.rect.normalized() : entry.path.boundingRect();
    return bounds;
}

namespace {

// The large blurs made last, with what they were made of. A card casts the
// same shadow every time it is drawn again (a typed letter, a new row), and
// cards of one size cast the same one: a blur of those costs a comparison
// of the coverage instead of some sixty taps a pixel. Small ones (the
// shadows of text lines, dozens a card) cost less than keeping them and
// would push the large ones out.
struct BlurMemo {
    QImage source;
    double sigma = 0;
    QImage blurred;
};

std::mutex blurMemoLock;
std::list<BlurMemo> blurMemos;
constexpr size_t kBlurMemoCount = 8;
constexpr qint64 kBlurMemoMinimumArea = 128 * 128;

QImage ComputeBlurAlpha(const QImage& alpha, double sigma);

}  // namespace

QImage CGBlurAlpha(const QImage& alpha, double sigma)
{
    if (sigma < 0.25)
        return alpha;
    if (qint64(alpha.width()) * alpha.height() < kBlurMemoMinimumArea)
        return ComputeBlurAlpha(alpha, sigma);
    {
        std::lock_guard<std::mutex> hold(blurMemoLock);
        for (auto memo = blurMemos.begin(); memo != blurMemos.end(); ++memo) {
            if (memo->sigma == sigma && memo->source == alpha) {
                blurMemos.splice(blurMemos.begin(), blurMemos, memo);
                return blurMemos.front().blurred;
            }
        }
    }
    QImage blurred = ComputeBlurAlpha(alpha, sigma);
    std::lock_guard<std::mutex> hold(blurMemoLock);
    // Kept as shared copies: a caller that changes its image afterwards
    // detaches from the one kept here.
    blurMemos.push_front(BlurMemo{alpha, sigma, blurred});
    if (blurMemos.size() > kBlurMemoCount)
        blurMemos.pop_back();
    return blurred;
}

namespace {

QImage ComputeBlurAlpha(const QImage& alpha, double sigma)
{
    const int radius = int(std::ceil(3 * sigma));
    std::vector<float> kernel(size_t(2 * radius + 1));
    float total = 0;
    for (int i = -radius; i <= radius; ++i)
        total += kernel[size_t(i + radius)] = float(std::exp(-(i * i) / (2 * sigma * sigma)));
    for (float& weight : kernel)
        weight /= total;

    const int w = alpha.width(), h = alpha.height();
    std::vector<float> across(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const uchar* in = alpha.constScanLine(y);
        float* out = &across[size_t(y) * size_t(w)];
        for (int x = 0; x < w; ++x) {
            float sum = 0;
            const int from = std::max(0, x - radius), to = std::min(w - 1, x + radius);
            for (int k = from; k <= to; ++k)
                sum += kernel[size_t(k - x + radius)] * in[k];
            out[x] = sum;
        }
    }
    // Down the columns a row at a time: every pixel still sums its taps in
    // the same order, but the rows are read whole (a column at a time missed
    // the cache on every tap).
    QImage blurred(w, h, QImage::Format_Alpha8);
    std::vector<float> sums(static_cast<size_t>(w));
    for (int y = 0; y < h; ++y) {
        const int from = std::max(0, y - radius), to = std::min(h - 1, y + radius);
        std::fill(sums.begin(), sums.end(), 0.0f);
        for (int k = from; k <= to; ++k) {
            const float weight = kernel[size_t(k - y + radius)];
            const float* row = &across[size_t(k) * size_t(w)];
            for (int x = 0; x < w; ++x)
                sums[size_t(x)] += weight * row[x];
        }
        uchar* out = blurred.scanLine(y);
        for (int x = 0; x < w; ++x)
            out[x] = uchar(std::min(255.0f, sums[size_t(x)] + 0.5f));
    }
    return blurred;
}

}  // namespace

void CGContextPaint(CGContextObject* context, const CGPaintOperation& operation)
{
    const CGGState& state = context->state;
    const bool shadow = HasShadow(state) && !operation.clearing;
    if (!shadow && state.masks.empty()) {
        const QPoint origin = context->TargetOrigin();
        const QTransform toTarget = QTransform::fromTranslate(-origin.x(), -origin.y());
        QPainter painter(&context->Target());
        SetHints(painter, context);
        ApplyClip(painter, state, toTarget);
        if (operation.clearing) {
            painter.setCompositionMode(QPainter::CompositionMode_Clear);
        } else {
            painter.setOpacity(state.alpha);
            painter.setCompositionMode(CGBlendModeToQt(state.blendMode));
        }
        operation.paint(painter, toTarget);
        return;
    }

    // Through a buffer of its own: only the part that can show (directly,
    // or through the shadow's offset and blur) is drawn.
    const QRectF visible = CGContextClipBoundsQt(context);
    if (visible.isEmpty())
        return;
    const double sigma = shadow ? state.shadow.blur / 2.0 : 0;
    const int margin = shadow ? int(std::ceil(3 * sigma)) : 0;
    const QPointF shadowOffset = shadow ? QPointF(state.shadow.offset.width, -state.shadow.offset.height) : QPointF();
    QRectF needed = visible;
    if (shadow)
        needed |= visible.translated(-shadowOffset).adjusted(-margin, -margin, margin, margin);
    const QRect area = operation.bounds().intersected(needed).toAlignedRect();
    if (area.isEmpty())
        return;
    QImage buffer = CGNewSurface(area.size());
    {
        QPainter painter(&buffer);
        SetHints(painter, context);
        operation.paint(painter, QTransform::fromTranslate(-area.x(), -area.y()));
    }
    if (shadow) {
        // The shape's alpha, blurred, in the shadow's colour, drawn first.
        QImage coverage(area.width() + 2 * margin, area.height() + 2 * margin, QImage::Format_Alpha8);
        coverage.fill(0);
        {
            QPainter painter(&coverage);
            painter.drawImage(QPoint(margin, margin), buffer);
        }
        const QImage blurred = CGBlurAlpha(coverage, sigma);
        const CGRGBA color = state.shadow.color;
        QImage shadowImage(blurred.size(), QImage::Format_ARGB32_Premultiplied);
        const float alpha = CGClampUnit(color.alpha);
        const float red = CGClampUnit(color.red) * alpha, green = CGClampUnit(color.green) * alpha,
                    blue = CGClampUnit(color.blue) * alpha;
        for (int y = 0; y < blurred.height(); ++y) {
            const uchar* in = blurred.constScanLine(y);
            QRgb* out = reinterpret_cast<QRgb*>(shadowImage.scanLine(y));
            for (int x = 0; x < blurred.width(); ++x) {
                const float a = in[x];
                out[x] = qRgba(int(red * a + 0.5f), int(green * a + 0.5f), int(blue * a + 0.5f), int(alpha * a + 0.5f));
            }
        }
        const QPointF at = QPointF(area.topLeft() - QPoint(margin, margin)) + shadowOffset;
        Composite(context, shadowImage, at.toPoint(), false);
    }
    Composite(context, buffer, area.topLeft(), operation.clearing);
}

// ---- transparency layers ----

namespace {

// A layer over `area` (Qt pixel space of the base): drawing inside it lands
// on the layer's own pixels, composited at the end.
void BeginLayer(CGContextObject* context, QRect area)
{
    area &= QRect(QPoint(0, 0), context->base->size());
    context->layers.push_back(CGContextObject::Layer{CGNewSurface(area.size()), context->saved.size(), area.topLeft()});
    context->saved.push_back(context->state);
    CGGState& state = context->state;
    state.alpha = 1;
    state.shadow.on = false;
    state.blendMode = kCGBlendModeNormal;
    // The clip and masks are applied once, when the layer is composited:
    // applied inside too, their soft edges would count twice.
    state.clips.clear();
    state.masks.clear();
}

}  // namespace

void CGContextBeginTransparencyLayer(CGContextRef c, CFDictionaryRef)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return;
    BeginLayer(context, QRect(QPoint(0, 0), context->base->size()));
}

// The layer covers the rectangle (user space), as far as the clip lets it
// show: what is drawn outside is cut off. A layer of the part that matters
// instead of the whole surface keeps a small piece on a big window cheap.
void CGContextBeginTransparencyLayerWithRect(CGContextRef c, CGRect rect, CFDictionaryRef)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return;
    const QRectF user(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    const QRectF device = context->UserToQt().mapRect(user.normalized()) & CGContextClipBoundsQt(context);
    BeginLayer(context, device.isEmpty() ? QRect() : device.toAlignedRect());
}

void CGContextEndTransparencyLayer(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr || context->layers.empty())
        return;
    CGContextObject::Layer layer = std::move(context->layers.back());
    context->layers.pop_back();
    context->state = std::move(context->saved[layer.savedDepth]);
    context->saved.resize(layer.savedDepth);

    // Only the part that was drawn on needs compositing.
    const QImage& pixels = layer.image;
    int top = pixels.height(), bottom = -1, left = pixels.width(), right = -1;
    for (int y = 0; y < pixels.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x)
            if (qAlpha(row[x])) {
                top = std::min(top, y);
                bottom = y;
                left = std::min(left, x);
                right = std::max(right, x);
            }
    }
    if (bottom < 0)
        return;
    const QRect drawn(QPoint(left, top), QPoint(right, bottom));
    const QRect placed = drawn.translated(layer.origin);
    CGPaintOperation operation;
    operation.paint = [&](QPainter& painter, const QTransform& qtToTarget) {
        painter.setTransform(qtToTarget);
        painter.drawImage(placed.topLeft(), pixels, drawn);
    };
    operation.bounds = [&] { return QRectF(placed); };
    CGContextPaint(context, operation);
}
