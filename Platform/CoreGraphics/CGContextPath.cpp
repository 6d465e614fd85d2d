// The current path, and painting and clipping with it.
#include "CGContextInternal.h"

#include <CoreGraphics/CGPath.h>

#include <QPainterPathStroker>

#include <cmath>

namespace {

CGPathBuilder Builder(CGContextObject* context)
{
    return CGPathBuilder(context->path, context->UserToQt());
}

QRectF UserRect(CGRect rect)
{
    const CGRect r = CGRectStandardize(rect);
    return QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height);
}

QPen UserPen(const CGGState& state)
{
    QPen pen(CGRGBAToQColor(state.stroke), state.lineWidth);
    pen.setCapStyle(state.lineCap == kCGLineCapRound    ? Qt::RoundCap
                    : state.lineCap == kCGLineCapSquare ? Qt::SquareCap
                                                        : Qt::FlatCap);
    pen.setJoinStyle(state.lineJoin == kCGLineJoinRound   ? Qt::RoundJoin
                     : state.lineJoin == kCGLineJoinBevel ? Qt::BevelJoin
                                                          : Qt::SvgMiterJoin);
    // The platform's limit is the miter's length over the line width; Qt
    // measures from the corner point, half as far.
    pen.setMiterLimit(state.miterLimit / 2);
    if (!state.dashes.empty() && state.lineWidth > 0) {
        // Qt counts dashes in line widths, the platform in user units.
        QList<qreal> pattern;
        for (CGFloat length : state.dashes)
            pattern << std::max(qreal(length) / state.lineWidth, 1e-3);
        if (pattern.size() % 2)
            pattern << pattern;
        pen.setDashPattern(pattern);
        pen.setDashOffset(state.dashPhase / state.lineWidth);
    }
    return pen;
}

// The outline a stroke of `path` (user space) covers.
QPainterPath StrokeOutline(const CGGState& state, const QPainterPath& path)
{
    QPainterPathStroker stroker(UserPen(state));
    stroker.setWidth(std::max(qreal(state.lineWidth), 1e-3));
    return stroker.createStroke(path);
}

void StrokeQtPath(CGContextObject* context, const QPainterPath& path)
{
    bool invertible = false;
    const QTransform userToQt = context->UserToQt();
    const QTransform qtToUser = userToQt.inverted(&invertible);
    if (!invertible || path.isEmpty())
        return;
    const QPainterPath userPath = qtToUser.map(path);
    const QPen pen = UserPen(context->state);
    CGPaintOperation operation;
    operation.paint = [&](QPainter& painter, const QTransform& qtToTarget) {
        painter.setTransform(userToQt * qtToTarget);
        painter.strokePath(userPath, pen);
    };
    operation.bounds = [&] {
        return userToQt.map(StrokeOutline(context->state, userPath)).boundingRect().adjusted(-2, -2, 2, 2);
    };
    CGContextPaint(context, operation);
}

void AddClipPath(CGContextObject* context, const QPainterPath& path)
{
    CGClipEntry entry;
    entry.isRect = false;
    entry.path = path;
    context->state.clips.push_back(std::move(entry));
}

void AddClipRect(CGContextObject* context, CGRect rect)
{
    const QTransform userToQt = context->UserToQt();
    CGClipEntry entry;
    if (userToQt.type() <= QTransform::TxScale) {
        entry.rect = userToQt.mapRect(UserRect(rect));
    } else {
        entry.isRect = false;
        entry.path.addRect(UserRect(rect));
        entry.path = userToQt.map(entry.path);
    }
    context->state.clips.push_back(std::move(entry));
}

void ConsumePath(CGContextObject* context)
{
    context->path = CGPathData();
}

}  // namespace

void CGContextFillQtPath(CGContextObject* context, const QPainterPath& path, const std::optional<QBrush>& brush,
                         const QTransform& brushToQt)
{
    if (path.isEmpty())
        return;
    CGPaintOperation operation;
    operation.paint = [&](QPainter& painter, const QTransform& qtToTarget) {
        painter.setTransform(qtToTarget);
        if (brush) {
            QBrush b = *brush;
            b.setTransform(brushToQt);
            painter.fillPath(path, b);
        } else {
            painter.fillPath(path, CGRGBAToQColor(context->state.fill));
        }
    };
    operation.bounds = [&] { return path.controlPointRect().adjusted(-1, -1, 1, 1); };
    // A rectangle's path is a move and four lines; anything else is no
    // rectangle and needs no comparison.
    operation.rectangular = path.elementCount() == 5 && [&] {
        QPainterPath box;
        box.addRect(path.boundingRect());
        return path == box;
    }();
    CGContextPaint(context, operation);
}

// ---- building the path ----

void CGContextBeginPath(CGContextRef c)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        ConsumePath(context);
}

void CGContextMoveToPoint(CGContextRef c, CGFloat x, CGFloat y)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        Builder(context).MoveTo(QPointF(x, y));
}

void CGContextAddLineToPoint(CGContextRef c, CGFloat x, CGFloat y)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        Builder(context).LineTo(QPointF(x, y));
}

void CGContextAddCurveToPoint(CGContextRef c, CGFloat cp1x, CGFloat cp1y, CGFloat cp2x, CGFloat cp2y, CGFloat x,
                              CGFloat y)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        Builder(context).CurveTo(QPointF(cp1x, cp1y), QPointF(cp2x, cp2y), QPointF(x, y));
}

void CGContextAddQuadCurveToPoint(CGContextRef c, CGFloat cpx, CGFloat cpy, CGFloat x, CGFloat y)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        Builder(context).QuadTo(QPointF(cpx, cpy), QPointF(x, y));
}

void CGContextClosePath(CGContextRef c)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        Builder(context).Close();
}

void CGContextAddRect(CGContextRef c, CGRect rect)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        Builder(context).AddRect(UserRect(rect));
}

void CGContextAddRects(CGContextRef c, const CGRect rects[], size_t count)
{
    for (size_t i = 0; rects && i < count; ++i)
        CGContextAddRect(c, rects[i]);
}

void CGContextAddLines(CGContextRef c, const CGPoint points[], size_t count)
{
    if (points == nullptr || count == 0)
        return;
    CGContextMoveToPoint(c, points[0].x, points[0].y);
    for (size_t i = 1; i < count; ++i)
        CGContextAddLineToPoint(c, points[i].x, points[i].y);
}

void CGContextAddEllipseInRect(CGContextRef c, CGRect rect)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        Builder(context).AddEllipse(UserRect(rect));
}

void CGContextAddArc(CGContextRef c, CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
                     int clockwise)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        Builder(context).AddArc(QPointF(x, y), radius, startAngle, endAngle, clockwise != 0);
}

void CGContextAddArcToPoint(CGContextRef c, CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2, CGFloat radius)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        Builder(context).AddArcToPoint(QPointF(x1, y1), QPointF(x2, y2), radius);
}

void CGContextAddPath(CGContextRef c, CGPathRef path)
{
    CGContextObject* context = CGContextObjectOf(c);
    const CGPathData* data = CGPathGetData(path);
    if (context && data)
        Builder(context).AddPath(*data);
}

void CGContextReplacePathWithStrokedPath(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr || context->path.path.isEmpty())
        return;
    bool invertible = false;
    const QTransform userToQt = context->UserToQt();
    const QTransform qtToUser = userToQt.inverted(&invertible);
    if (!invertible)
        return;
    const QPainterPath outline = StrokeOutline(context->state, qtToUser.map(context->path.path));
    context->path = CGPathData();
    context->path.path = userToQt.map(outline);
    context->path.hasCurrentPoint = !outline.isEmpty();
    context->path.currentPoint = context->path.subpathStart = context->path.path.currentPosition();
}

bool CGContextIsPathEmpty(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    return context == nullptr || context->path.path.elementCount() == 0;
}

CGPoint CGContextGetPathCurrentPoint(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return CGPointZero;
    const QPointF p = Builder(context).CurrentUserPoint();
    return CGPointMake(CGFloat(p.x()), CGFloat(p.y()));
}

CGRect CGContextGetPathBoundingBox(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr || context->path.path.elementCount() == 0)
        return CGRectNull;
    bool invertible = false;
    const QTransform qtToUser = context->UserToQt().inverted(&invertible);
    if (!invertible)
        return CGRectNull;
    const QRectF r = qtToUser.map(context->path.path).controlPointRect();
    return CGRectMake(CGFloat(r.x()), CGFloat(r.y()), CGFloat(r.width()), CGFloat(r.height()));
}

bool CGContextPathContainsPoint(CGContextRef c, CGPoint point, CGPathDrawingMode mode)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr || context->path.path.isEmpty())
        return false;
    const QTransform userToQt = context->UserToQt();
    const QPointF p = userToQt.map(QPointF(point.x, point.y));
    const bool evenOdd = mode == kCGPathEOFill || mode == kCGPathEOFillStroke;
    if (mode != kCGPathStroke && CGPathWithFillRule(context->path.path, evenOdd).contains(p))
        return true;
    if (mode == kCGPathStroke || mode == kCGPathFillStroke || mode == kCGPathEOFillStroke) {
        bool invertible = false;
        const QTransform qtToUser = userToQt.inverted(&invertible);
        if (invertible)
            return StrokeOutline(context->state, qtToUser.map(context->path.path)).contains(QPointF(point.x, point.y));
    }
    return false;
}

CGPathRef CGContextCopyPath(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return nullptr;
    bool invertible = false;
    const QTransform qtToUser = context->UserToQt().inverted(&invertible);
    CGPathData data;
    if (invertible) {
        data.path = qtToUser.map(context->path.path);
        data.hasCurrentPoint = context->path.hasCurrentPoint;
        data.currentPoint = qtToUser.map(context->path.currentPoint);
        data.subpathStart = qtToUser.map(context->path.subpathStart);
    }
    return CGPathCreateWithData(std::move(data));
}

// ---- painting ----

void CGContextDrawPath(CGContextRef c, CGPathDrawingMode mode)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return;
    const QPainterPath path = context->path.path;
    ConsumePath(context);
    if (mode == kCGPathFill || mode == kCGPathFillStroke)
        CGContextFillQtPath(context, CGPathWithFillRule(path, false));
    else if (mode == kCGPathEOFill || mode == kCGPathEOFillStroke)
        CGContextFillQtPath(context, CGPathWithFillRule(path, true));
    if (mode == kCGPathStroke || mode == kCGPathFillStroke || mode == kCGPathEOFillStroke)
        StrokeQtPath(context, path);
}

void CGContextFillPath(CGContextRef c)
{
    CGContextDrawPath(c, kCGPathFill);
}

void CGContextEOFillPath(CGContextRef c)
{
    CGContextDrawPath(c, kCGPathEOFill);
}

void CGContextStrokePath(CGContextRef c)
{
    CGContextDrawPath(c, kCGPathStroke);
}

void CGContextFillRect(CGContextRef c, CGRect rect)
{
    CGContextFillRects(c, &rect, 1);
}

void CGContextFillRects(CGContextRef c, const CGRect rects[], size_t count)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr || rects == nullptr)
        return;
    CGPathData data;
    CGPathBuilder builder(data, context->UserToQt());
    for (size_t i = 0; i < count; ++i)
        builder.AddRect(UserRect(rects[i]));
    CGContextFillQtPath(context, data.path);
}

void CGContextStrokeRect(CGContextRef c, CGRect rect)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return;
    CGPathData data;
    CGPathBuilder(data, context->UserToQt()).AddRect(UserRect(rect));
    StrokeQtPath(context, data.path);
}

void CGContextStrokeRectWithWidth(CGContextRef c, CGRect rect, CGFloat width)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return;
    const CGFloat old = context->state.lineWidth;
    context->state.lineWidth = width;
    CGContextStrokeRect(c, rect);
    context->state.lineWidth = old;
}

void CGContextFillEllipseInRect(CGContextRef c, CGRect rect)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return;
    CGPathData data;
    CGPathBuilder(data, context->UserToQt()).AddEllipse(UserRect(rect));
    CGContextFillQtPath(context, data.path);
}

void CGContextStrokeEllipseInRect(CGContextRef c, CGRect rect)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return;
    CGPathData data;
    CGPathBuilder(data, context->UserToQt()).AddEllipse(UserRect(rect));
    StrokeQtPath(context, data.path);
}

void CGContextStrokeLineSegments(CGContextRef c, const CGPoint points[], size_t count)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr || points == nullptr)
        return;
    CGPathData data;
    CGPathBuilder builder(data, context->UserToQt());
    for (size_t i = 0; i + 1 < count; i += 2) {
        builder.MoveTo(QPointF(points[i].x, points[i].y));
        builder.LineTo(QPointF(points[i + 1].x, points[i + 1].y));
    }
    StrokeQtPath(context, data.path);
}

void CGContextClearRect(CGContextRef c, CGRect rect)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return;
    CGPathData data;
    CGPathBuilder(data, context->UserToQt()).AddRect(UserRect(rect));
    CGPaintOperation operation;
    operation.clearing = true;
    operation.paint = [&](QPainter& painter, const QTransform& qtToTarget) {
        painter.setTransform(qtToTarget);
        painter.fillPath(data.path, Qt::black);
    };
    operation.bounds = [&] { return data.path.controlPointRect().adjusted(-1, -1, 1, 1); };
    CGContextPaint(context, operation);
}

// ---- clipping ----

void CGContextClip(CGContextRef c)
{
    if (CGContextObject* context = CGContextObjectOf(c)) {
        AddClipPath(context, CGPathWithFillRule(context->path.path, false));
        ConsumePath(context);
    }
}

void CGContextEOClip(CGContextRef c)
{
    if (CGContextObject* context = CGContextObjectOf(c)) {
        AddClipPath(context, CGPathWithFillRule(context->path.path, true));
        ConsumePath(context);
    }
}

void CGContextClipToRect(CGContextRef c, CGRect rect)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        AddClipRect(context, rect);
}

void CGContextClipToRects(CGContextRef c, const CGRect rects[], size_t count)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr || rects == nullptr)
        return;
    if (count == 1) {
        AddClipRect(context, rects[0]);
        return;
    }
    CGPathData data;
    CGPathBuilder builder(data, context->UserToQt());
    for (size_t i = 0; i < count; ++i)
        builder.AddRect(UserRect(rects[i]));
    AddClipPath(context, CGPathWithFillRule(data.path, false));
}

CGRect CGContextGetClipBoundingBox(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr)
        return CGRectNull;
    const QRectF bounds = CGContextClipBoundsQt(context);
    bool invertible = false;
    const QTransform qtToUser = context->UserToQt().inverted(&invertible);
    if (bounds.isEmpty() || !invertible)
        return CGRectNull;
    const QRectF r = qtToUser.mapRect(bounds);
    return CGRectMake(CGFloat(r.x()), CGFloat(r.y()), CGFloat(r.width()), CGFloat(r.height()));
}
