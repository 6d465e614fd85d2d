// Path building shared by the context's current path and path objects:
// points are given in user space and stored already mapped to the path's
// own space (device pixels for a context, the path's space for a CGPath).
#pragma once

#include <CoreGraphics/CGAffineTransform.h>

#include <QPainterPath>
#include <QTransform>

struct CGPathData {
    QPainterPath path;
    bool hasCurrentPoint = false;
    QPointF currentPoint;  // in the path's space
    QPointF subpathStart;
};

class CGPathBuilder {
public:
    // `toPath` maps user space into the path's space.
    CGPathBuilder(CGPathData& data, const QTransform& toPath) : data_(data), toPath_(toPath) {}

    void MoveTo(QPointF p);
    // These do nothing without a current point, as on the platform.
    void LineTo(QPointF p);
    void CurveTo(QPointF c1, QPointF c2, QPointF p);
    void QuadTo(QPointF c, QPointF p);
    void Close();
    void AddRect(const QRectF& r);
    void AddEllipse(const QRectF& r);
    void AddArc(QPointF center, double radius, double startAngle, double endAngle, bool clockwise);
    void AddArcToPoint(QPointF p1, QPointF p2, double radius);
    void AddRoundedRect(const QRectF& r, double cornerWidth, double cornerHeight);
    // Appends another path already in the user space of this builder.
    void AddPath(const CGPathData& other);
    // The current point in user space (the origin without one, or when the
    // transform cannot be inverted).
    QPointF CurrentUserPoint() const;

private:
    // Arc segments from `startAngle` over `sweep` (radians, signed), joined
    // to the current point by a line, or starting a subpath without one.
    void ArcSegments(QPointF center, double rx, double ry, double startAngle, double sweep);

    CGPathData& data_;
    const QTransform toPath_;
};

// The platform-style fill rule of a painting call.
inline QPainterPath CGPathWithFillRule(QPainterPath path, bool evenOdd)
{
    path.setFillRule(evenOdd ? Qt::OddEvenFill : Qt::WindingFill);
    return path;
}

// The path's data (in its own space); nil for nil.
const CGPathData* CGPathGetData(const struct CGPathObject* path);
// A new path object holding `data`.
struct CGPathObject* CGPathCreateWithData(CGPathData data);
