// The road from a drawing call to the pixels: clip, masks, alpha, blend
// mode and shadow, and the transparency layers drawing can be gathered in.
#include "CGContextInternal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

// Qt's raster engine splits a fill of more than about a hundred spans into
// pieces for its thread pool and waits for them. For the sizes drawn here
// (a card is a few hundred rows) handing the pieces over costs more than
// the work, many times more on a virtual machine, so tall paints of one
// span a row (images, rectangles) are made in bands short enough to stay on
// this thread. A band is a clip of whole pixel rows (device space): no
// pixel comes out otherwise. Under a clip of curved edges every band would
// cut the curve again, which costs more than it saves: such paints are
// made whole.
constexpr int kBandRows = 64;

bool ClipsToRectangles(const CGGState& state)
{
    return std::all_of(state.clips.begin(), state.clips.end(), [](const CGClipEntry& entry) { return entry.isRect; });
}

template <typename Paint>
void PaintInBands(QPainter& painter, QRect area, bool banded, const Paint& paint)
{
    area &= QRect(QPoint(0, 0),
                  painter.device() != nullptr ? QSize(painter.device()->width(), painter.device()->height()) : QSize());
    if (!banded || area.height() <= kBandRows + kBandRows / 2) {
        paint();
        return;
    }
    for (int top = area.top(); top <= area.bottom(); top += kBandRows) {
        painter.save();
        painter.resetTransform();
        painter.setClipRect(QRect(area.left(), top, area.width(), std::min(kBandRows, area.bottom() + 1 - top)),
                            Qt::IntersectClip);
        paint();
        painter.restore();
    }
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
    PaintInBands(painter, QRect(at - origin, buffer.size()), ClipsToRectangles(state),
                 [&] { painter.drawImage(at - origin, buffer); });
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

    // Every pixel is the sum of its taps in ascending order, as a plain
    // separable blur makes it. Taps beyond the edges are summed as zeros
    // (adding zero changes no sum), rows that only add zero are skipped and
    // rows equal to the one above are copied, so the result is the same to
    // the bit, at a few vector passes a row.
    const int w = alpha.width(), h = alpha.height();
    const size_t width = size_t(w);
    const size_t taps = kernel.size();
    std::vector<float> across(width * size_t(h));
    std::vector<float> padded(width + taps - 1, 0.0f);
    // Rows of one run are equal; a run of transparent rows adds nothing.
    std::vector<int> run(static_cast<size_t>(h));
    std::vector<char> empty(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
        const uchar* in = alpha.constScanLine(y);
        float* out = &across[size_t(y) * width];
        if (y > 0 && std::memcmp(in, alpha.constScanLine(y - 1), width) == 0) {
            run[size_t(y)] = run[size_t(y - 1)];
            empty[size_t(y)] = empty[size_t(y - 1)];
            std::copy(out - width, out, out);
            continue;
        }
        run[size_t(y)] = y;
        empty[size_t(y)] = std::all_of(in, in + width, [](uchar value) { return value == 0; });
        std::fill(out, out + width, 0.0f);
        if (empty[size_t(y)])
            continue;
        float* row = padded.data() + radius;
        for (size_t x = 0; x < width; ++x)
            row[x] = in[x];
        for (size_t tap = 0; tap < taps; ++tap) {
            const float weight = kernel[tap];
            const float* source = padded.data() + tap;
            for (size_t x = 0; x < width; ++x)
                out[x] += weight * source[x];
        }
    }
    // Down the columns a row at a time; a row whose taps are the same rows
    // as the one above it (inside a run longer than the kernel) is a copy.
    QImage blurred(w, h, QImage::Format_Alpha8);
    std::vector<float> sums(width);
    for (int y = 0; y < h; ++y) {
        uchar* out = blurred.scanLine(y);
        if (y - 1 - radius >= 0 && y + radius < h && run[size_t(y - 1 - radius)] == run[size_t(y + radius)]) {
            std::memcpy(out, blurred.constScanLine(y - 1), width);
            continue;
        }
        const int from = std::max(0, y - radius), to = std::min(h - 1, y + radius);
        std::fill(sums.begin(), sums.end(), 0.0f);
        for (int k = from; k <= to; ++k) {
            if (empty[size_t(k)])
                continue;
            const float weight = kernel[size_t(k - y + radius)];
            const float* row = &across[size_t(k) * width];
            for (size_t x = 0; x < width; ++x)
                sums[x] += weight * row[x];
        }
        for (size_t x = 0; x < width; ++x)
            out[x] = uchar(std::min(255.0f, sums[x] + 0.5f));
    }
    return blurred;
}

}  // namespace

namespace {

// A painted buffer's alpha with `margin` pixels of room around it, for its
// shadow. Rows equal to the one above are copied.
QImage CoverageOf(const QImage& buffer, int margin)
{
    const int width = buffer.width(), height = buffer.height();
    QImage coverage(width + 2 * margin, height + 2 * margin, QImage::Format_Alpha8);
    coverage.fill(0);
    for (int y = 0; y < height; ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(buffer.constScanLine(y));
        uchar* out = coverage.scanLine(y + margin) + margin;
        if (y > 0 && std::memcmp(in, buffer.constScanLine(y - 1), size_t(width) * sizeof(QRgb)) == 0) {
            std::memcpy(out, coverage.constScanLine(y + margin - 1) + margin, size_t(width));
            continue;
        }
        for (int x = 0; x < width; ++x)
            out[x] = uchar(qAlpha(in[x]));
    }
    return coverage;
}

// The shadow a shape's coverage casts: blurred, in the shadow's colour.
// Rows equal to the one above (a shape's straight sides) are copied.
QImage ShadowOf(const QImage& coverage, double sigma, const CGRGBA& color)
{
    const QImage blurred = CGBlurAlpha(coverage, sigma);
    const float alpha = CGClampUnit(color.alpha);
    const float red = CGClampUnit(color.red) * alpha, green = CGClampUnit(color.green) * alpha,
                blue = CGClampUnit(color.blue) * alpha;
    // The shadow's colour at each of the 256 coverages.
    QRgb tinted[256];
    for (int level = 0; level < 256; ++level) {
        const float a = float(level);
        tinted[level] = qRgba(int(red * a + 0.5f), int(green * a + 0.5f), int(blue * a + 0.5f), int(alpha * a + 0.5f));
    }
    QImage shadowImage(blurred.size(), QImage::Format_ARGB32_Premultiplied);
    const int width = blurred.width();
    for (int y = 0; y < blurred.height(); ++y) {
        const uchar* in = blurred.constScanLine(y);
        QRgb* out = reinterpret_cast<QRgb*>(shadowImage.scanLine(y));
        if (y > 0 && std::memcmp(in, blurred.constScanLine(y - 1), size_t(width)) == 0) {
            std::memcpy(out, shadowImage.constScanLine(y - 1), size_t(width) * sizeof(QRgb));
            continue;
        }
        for (int x = 0; x < width; ++x)
            out[x] = tinted[in[x]];
    }
    return shadowImage;
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
        PaintInBands(painter, toTarget.mapRect(operation.bounds()).toAlignedRect(),
                     operation.rectangular && ClipsToRectangles(state), [&] { operation.paint(painter, toTarget); });
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
    if (shadow && state.masks.empty()) {
        // The shape's coverage alone casts the shadow; the shape itself is
        // then painted over it straight onto the target, as without one.
        QImage coverage(area.width() + 2 * margin, area.height() + 2 * margin, QImage::Format_Alpha8);
        coverage.fill(0);
        {
            QPainter painter(&coverage);
            SetHints(painter, context);
            const QTransform toCoverage = QTransform::fromTranslate(margin - area.x(), margin - area.y());
            PaintInBands(painter, coverage.rect(), operation.rectangular,
                         [&] { operation.paint(painter, toCoverage); });
        }
        const QImage shadowImage = ShadowOf(coverage, sigma, state.shadow.color);
        const QPoint origin = context->TargetOrigin();
        const QPoint at = (QPointF(area.topLeft() - QPoint(margin, margin)) + shadowOffset).toPoint() - origin;
        const QTransform toTarget = QTransform::fromTranslate(-origin.x(), -origin.y());
        QPainter painter(&context->Target());
        SetHints(painter, context);
        ApplyClip(painter, state, toTarget);
        painter.setOpacity(state.alpha);
        painter.setCompositionMode(CGBlendModeToQt(state.blendMode));
        const bool banded = ClipsToRectangles(state);
        PaintInBands(painter, QRect(at, shadowImage.size()), banded, [&] { painter.drawImage(at, shadowImage); });
        PaintInBands(painter, area.translated(-origin), banded && operation.rectangular,
                     [&] { operation.paint(painter, toTarget); });
        return;
    }
    QImage buffer = CGNewSurface(area.size());
    {
        QPainter painter(&buffer);
        SetHints(painter, context);
        PaintInBands(painter, buffer.rect(), operation.rectangular,
                     [&] { operation.paint(painter, QTransform::fromTranslate(-area.x(), -area.y())); });
    }
    if (shadow) {
        const QImage shadowImage = ShadowOf(CoverageOf(buffer, margin), sigma, state.shadow.color);
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

bool CGContextDrawsPlainly(CGContextRef c)
{
    const CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return false;
    const CGGState& state = context->state;
    return state.alpha == 1 && state.blendMode == kCGBlendModeNormal && !HasShadow(state) && state.masks.empty();
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
    const int width = pixels.width(), height = pixels.height();
    int top = height, bottom = -1, left = width, right = -1;
    for (int y = 0; y < height; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        int first = 0;
        while (first < width && qAlpha(row[first]) == 0)
            ++first;
        if (first == width)
            continue;
        int last = width - 1;
        while (qAlpha(row[last]) == 0)
            --last;
        top = std::min(top, y);
        bottom = y;
        left = std::min(left, first);
        right = std::max(right, last);
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
    operation.rectangular = true;
    CGContextPaint(context, operation);
}
