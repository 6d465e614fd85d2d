// The context object, its graphics state and the one road every drawing
// call takes to the pixels. Not part of the public interface.
//
// Three spaces meet here. User space is what callers draw in. The CTM maps
// it to the context's base space: pixels with y growing upwards from the
// bottom-left corner, the platform's device space. A fixed flip maps that
// to Qt's pixel space (y downwards from the top-left), where the current
// path, the clip and every painter work.
#pragma once

#include "CGDrawingInternal.h"
#include "CGPathInternal.h"

#include <CoreFoundation/CFRuntime.h>
#include <CoreGraphics/CGBitmapContext.h>
#include <CoreGraphics/CGContext.h>

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <functional>
#include <optional>
#include <vector>

struct CGShadowState {
    bool on = false;
    CGSize offset{0, 0};  // base space, y up
    CGFloat blur = 0;
    CGRGBA color{0, 0, 0, 1.0f / 3};
};

// One clipping shape, in Qt pixel space.
struct CGClipEntry {
    bool isRect = true;
    QRectF rect;
    QPainterPath path;
};

struct CGGState {
    CGAffineTransform ctm = CGAffineTransformIdentity;
    std::vector<CGClipEntry> clips;
    // Surface-sized coverage maps (QImage::Format_Alpha8) from
    // CGContextClipToMask; all of them apply.
    std::vector<QImage> masks;
    CGFloat alpha = 1;
    CGBlendMode blendMode = kCGBlendModeNormal;
    CGColorSpaceModel fillModel = kCGColorSpaceModelRGB;
    CGColorSpaceModel strokeModel = kCGColorSpaceModelRGB;
    CGRGBA fill{0, 0, 0, 1};
    CGRGBA stroke{0, 0, 0, 1};
    CGFloat lineWidth = 1;
    CGLineCap lineCap = kCGLineCapButt;
    CGLineJoin lineJoin = kCGLineJoinMiter;
    CGFloat miterLimit = 10;
    CGFloat dashPhase = 0;
    std::vector<CGFloat> dashes;
    bool shouldAntialias = true;
    CGInterpolationQuality interpolation = kCGInterpolationDefault;
    CGShadowState shadow;
    QFont font;  // family and style; the size is fontSize
    bool hasFont = false;
    CGFloat fontSize = 0;
    CGTextEncoding textEncoding = kCGEncodingFontSpecific;
    CGTextDrawingMode textMode = kCGTextFill;
    CGFloat characterSpacing = 0;
};

struct CGContextObject final : CFRuntimeObject {
    enum class Kind { Bitmap, Layer, Qt };

    CGContextObject(Kind contextKind, QImage pixels, QImage* external);
    ~CGContextObject() override;

    // The pixels drawing goes to now: the innermost transparency layer, or
    // the base surface.
    QImage& Target() { return layers.empty() ? *base : layers.back().image; }
    // Where the target's first pixel lies in Qt pixel space of the base: a
    // layer begun with a rectangle covers only that part of the surface.
    QPoint TargetOrigin() const { return layers.empty() ? QPoint() : layers.back().origin; }
    int Width() const { return base->width(); }
    int Height() const { return base->height(); }
    // The flip from base space to Qt pixel space.
    QTransform BaseToQt() const { return QTransform(1, 0, 0, -1, 0, Height()); }
    // User space to Qt pixel space under the current CTM.
    QTransform UserToQt() const { return CGAffineTransformToQt(state.ctm) * BaseToQt(); }

    const Kind kind;
    QImage owned;  // the pixels when the context owns them
    QImage* base;  // the base surface: &owned, or pixels another owner keeps
    struct Layer {
        QImage image;
        size_t savedDepth;  // the state stack's depth before Begin saved it
        QPoint origin;      // of the image in Qt pixel space
    };
    std::vector<Layer> layers;

    CGGState state;
    std::vector<CGGState> saved;
    CGPathData path;  // Qt pixel space
    CGAffineTransform textMatrix = CGAffineTransformIdentity;
    bool allowsAntialiasing = true;

    // Bitmap contexts only.
    void* data = nullptr;
    size_t bytesPerRow = 0;
    size_t bitsPerComponent = 0;
    size_t bitsPerPixel = 0;
    CGBitmapInfo bitmapInfo = 0;
    CGColorSpaceRef space = nullptr;  // owned
};

// The context behind a reference; nil for nil or another kind of value.
CGContextObject* CGContextObjectOf(CGContextRef c);
// A transparent surface for drawing in this layer: premultiplied ARGB32
// at 72 dots per inch, so that a font of n points is n pixels high.
QImage CGNewSurface(QSize size);
// Marks an image as 72 dots per inch (see CGNewSurface).
void CGSetPointResolution(QImage& image);

// One drawing operation, handed to CGContextPaint.
struct CGPaintOperation {
    // Draws the operation. `qtToTarget` maps Qt pixel space to the device
    // the painter draws on (a translation when the drawing goes through an
    // offscreen buffer); world transforms are set relative to it.
    std::function<void(QPainter&, const QTransform& qtToTarget)> paint;
    // The area the drawing can touch, in Qt pixel space (a generous answer
    // is fine); asked only when the drawing needs a buffer of its own.
    std::function<QRectF()> bounds;
    // The colour and alpha of the state do not apply (CGContextClearRect).
    bool clearing = false;
    // One span a row (an upright image or rectangle): tall ones are painted
    // in bands, see CGContextPaint. A curved shape's rows are several spans
    // each, which no band short enough keeps from Qt's thread pool.
    bool rectangular = false;
};

// Paints through the state: clip and masks, alpha, blend mode, shadow and
// antialiasing. Drawing with a shadow or a mask goes through a buffer of
// its own, which is then composited.
void CGContextPaint(CGContextObject* context, const CGPaintOperation& operation);

// Whether antialiasing is on for this state.
inline bool CGContextAntialiases(const CGContextObject* context)
{
    return context->allowsAntialiasing && context->state.shouldAntialias;
}

// The Qt composition mode of a blend mode (source-over for the few Qt does
// not have).
QPainter::CompositionMode CGBlendModeToQt(CGBlendMode mode);

// The clip's bounding box in Qt pixel space, within the target surface.
QRectF CGContextClipBoundsQt(CGContextObject* context);

// A Gaussian blur of standard deviation `sigma` over an 8-bit alpha map.
QImage CGBlurAlpha(const QImage& alpha, double sigma);

// The pixels to draw `image` with onto a surface of `target`'s layout: as
// CGImageGetPaintableQImage gives them, or, for a colour image of another
// layout than the surface's, a copy in the surface's layout that the image
// keeps for its later draws.
QImage CGImageGetDrawableQImage(CGImageRef image, const QColor& fill, QImage::Format target);
// True when every pixel of a small colour or alpha-only image (at most 64 ×
// 64 pixels) is fully transparent; false for masks and larger images.
// Worked out once per image.
bool CGImageIsFullyTransparent(CGImageRef image);

// Draws `image` (premultiplied, ready to paint) stretched over `rect` in
// user space, upright in y-up space.
void CGContextDrawQImage(CGContextObject* context, CGRect rect, const QImage& image, bool interpolate);
// Fills `path` (Qt pixel space) with the fill colour, or paints the brush
// given instead; `brushToQt` maps the brush's space to Qt pixel space.
void CGContextFillQtPath(CGContextObject* context, const QPainterPath& path,
                         const std::optional<QBrush>& brush = std::nullopt, const QTransform& brushToQt = {});
