#include "CGPathInternal.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

double Length(QPointF v)
{
    return std::hypot(v.x(), v.y());
}

}  // namespace

void CGPathBuilder::MoveTo(QPointF p)
{
    const QPointF mapped = toPath_.map(p);
    data_.path.moveTo(mapped);
    data_.hasCurrentPoint = true;
    data_.currentPoint = data_.subpathStart = mapped;
}

void CGPathBuilder::LineTo(QPointF p)
{
    if (!data_.hasCurrentPoint)
        return;
    const QPointF mapped = toPath_.map(p);
    data_.path.lineTo(mapped);
    data_.currentPoint = mapped;
}

void CGPathBuilder::CurveTo(QPointF c1, QPointF c2, QPointF p)
{
    if (!data_.hasCurrentPoint)
        return;
    const QPointF mapped = toPath_.map(p);
    data_.path.cubicTo(toPath_.map(c1), toPath_.map(c2), mapped);
    data_.currentPoint = mapped;
}

void CGPathBuilder::QuadTo(QPointF c, QPointF p)
{
    if (!data_.hasCurrentPoint)
        return;
    const QPointF mapped = toPath_.map(p);
    data_.path.quadTo(toPath_.map(c), mapped);
    data_.currentPoint = mapped;
}

void CGPathBuilder::Close()
{
    if (!data_.hasCurrentPoint)
        return;
    data_.path.closeSubpath();
    data_.currentPoint = data_.subpathStart;
}

void CGPathBuilder::AddRect(const QRectF& r)
{
    MoveTo(r.topLeft());
    LineTo(QPointF(r.right(), r.top()));
    LineTo(r.bottomRight());
    LineTo(QPointF(r.left(), r.bottom()));
    Close();
}

void CGPathBuilder::AddEllipse(const QRectF& r)
{
    // Four quarter arcs counter-clockwise from the right-hand end of the
    // horizontal axis, as the platform builds them.
    const QPointF center = r.center();
    const double rx = r.width() / 2, ry = r.height() / 2;
    data_.hasCurrentPoint = false;
    ArcSegments(center, rx, ry, 0, kTwoPi);
    Close();
}

QPointF CGPathBuilder::CurrentUserPoint() const
{
    if (!data_.hasCurrentPoint)
        return QPointF();
    bool invertible = false;
    const QTransform back = toPath_.inverted(&invertible);
    return invertible ? back.map(data_.currentPoint) : QPointF();
}

void CGPathBuilder::ArcSegments(QPointF center, double rx, double ry, double startAngle, double sweep)
{
    auto point = [&](double angle) {
        return QPointF(center.x() + rx * std::cos(angle), center.y() + ry * std::sin(angle));
    };
    const QPointF start = point(startAngle);
    if (data_.hasCurrentPoint)
        LineTo(start);
    else
        MoveTo(start);
    const int segments = std::max(1, int(std::ceil(std::fabs(sweep) / (std::numbers::pi / 2) - 1e-9)));
    const double step = sweep / segments;
    // The control-point distance that makes a cubic follow a circular arc
    // of `step` radians most closely.
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    double angle = startAngle;
    for (int i = 0; i < segments; ++i) {
        const double next = angle + step;
        const QPointF p0 = point(angle), p3 = point(next);
        const QPointF c1(p0.x() - k * rx * std::sin(angle), p0.y() + k * ry * std::cos(angle));
        const QPointF c2(p3.x() + k * rx * std::sin(next), p3.y() - k * ry * std::cos(next));
        CurveTo(c1, c2, p3);
        angle = next;
    }
}

void CGPathBuilder::AddArc(QPointF center, double radius, double startAngle, double endAngle, bool clockwise)
{
    // Counter-clockwise means increasing angles in y-up space. A sweep of a
    // whole turn or more draws the full circle; anything less is taken
    // modulo a turn in the direction asked for.
    double sweep = clockwise ? startAngle - endAngle : endAngle - startAngle;
    if (sweep < kTwoPi) {
        sweep = std::fmod(sweep, kTwoPi);
        if (sweep < 0)
            sweep += kTwoPi;
    } else {
        sweep = kTwoPi;
    }
    if (clockwise)
        sweep = -sweep;
    radius = std::fabs(radius);
    if (sweep == 0) {
        const QPointF start(center.x() + radius * std::cos(startAngle), center.y() + radius * std::sin(startAngle));
        if (data_.hasCurrentPoint)
            LineTo(start);
        else
            MoveTo(start);
        return;
    }
    ArcSegments(center, radius, radius, startAngle, sweep);
}

void CGPathBuilder::AddArcToPoint(QPointF p1, QPointF p2, double radius)
{
    if (!data_.hasCurrentPoint) {
        // The platform complains and starts the path at the corner.
        MoveTo(p1);
        return;
    }
    const QPointF p0 = CurrentUserPoint();
    const QPointF v1 = p0 - p1, v2 = p2 - p1;
    const double l1 = Length(v1), l2 = Length(v2);
    const double cross = v1.x() * v2.y() - v1.y() * v2.x();
    if (radius <= 0 || l1 == 0 || l2 == 0 || std::fabs(cross) <= 1e-12 * l1 * l2) {
        LineTo(p1);
        return;
    }
    const QPointF u1 = v1 / l1, u2 = v2 / l2;
    // Half the angle at the corner between the two tangent lines.
    const double cosine = std::clamp(u1.x() * u2.x() + u1.y() * u2.y(), -1.0, 1.0);
    const double half = std::acos(cosine) / 2;
    const double tangentDistance = radius / std::tan(half);
    const QPointF t1 = p1 + u1 * tangentDistance;
    QPointF bisector = u1 + u2;
    bisector /= Length(bisector);
    const QPointF center = p1 + bisector * (radius / std::sin(half));
    const double startAngle = std::atan2(t1.y() - center.y(), t1.x() - center.x());
    // The arc is the short way round, turning the way the path turns.
    const double sweep = (cross < 0 ? 1 : -1) * (std::numbers::pi - 2 * half);
    LineTo(t1);
    ArcSegments(center, radius, radius, startAngle, sweep);
}

void CGPathBuilder::AddRoundedRect(const QRectF& r, double cornerWidth, double cornerHeight)
{
    const double rx = std::min(cornerWidth, r.width() / 2), ry = std::min(cornerHeight, r.height() / 2);
    if (rx <= 0 || ry <= 0) {
        AddRect(r);
        return;
    }
    data_.hasCurrentPoint = false;
    const double quarter = std::numbers::pi / 2;
    MoveTo(QPointF(r.right(), r.top() + ry));
    ArcSegments(QPointF(r.right() - rx, r.bottom() - ry), rx, ry, 0, quarter);
    ArcSegments(QPointF(r.left() + rx, r.bottom() - ry), rx, ry, quarter, quarter);
    ArcSegments(QPointF(r.left() + rx, r.top() + ry), rx, ry, 2 * quarter, quarter);
    ArcSegments(QPointF(r.right() - rx, r.top() + ry), rx, ry, 3 * quarter, quarter);
    Close();
}

void CGPathBuilder::AddPath(const CGPathData& other)
{
    if (other.path.isEmpty())
        return;
    data_.path.addPath(toPath_.map(other.path));
    data_.hasCurrentPoint = other.hasCurrentPoint;
    data_.currentPoint = toPath_.map(other.currentPoint);
    data_.subpathStart = toPath_.map(other.subpathStart);
}
