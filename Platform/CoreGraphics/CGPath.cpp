#include "CGDrawingInternal.h"
#include "CGPathInternal.h"

#include <CoreFoundation/CFRuntime.h>
#include <CoreGraphics/CGPath.h>

struct CGPathObject final : CFRuntimeObject {
    explicit CGPathObject(CGPathData contents = {}) : CFRuntimeObject(CGPathGetTypeID()), data(std::move(contents)) {}
    bool Equals(const CFRuntimeObject& other) const override
    {
        return data.path == static_cast<const CGPathObject&>(other).data.path;
    }
    CGPathData data;
};

namespace {

CGPathObject* AsPath(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != CGPathGetTypeID())
        return nullptr;
    return const_cast<CGPathObject*>(static_cast<const CGPathObject*>(CFRuntimeObjectOf(cf)));
}

QTransform TransformOf(const CGAffineTransform* m)
{
    return m ? CGAffineTransformToQt(*m) : QTransform();
}

template <typename Step>
void Build(CGMutablePathRef path, const CGAffineTransform* m, Step step)
{
    if (CGPathObject* object = AsPath(path)) {
        CGPathBuilder builder(object->data, TransformOf(m));
        step(builder);
    }
}

QRectF QtRect(CGRect rect)
{
    const CGRect r = CGRectStandardize(rect);
    return QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height);
}

CGRect RectOf(const QRectF& r)
{
    return CGRectMake(CGFloat(r.x()), CGFloat(r.y()), CGFloat(r.width()), CGFloat(r.height()));
}

}  // namespace

const CGPathData* CGPathGetData(const CGPathObject* path)
{
    const CGPathObject* object = AsPath(path);
    return object ? &object->data : nullptr;
}

CGPathObject* CGPathCreateWithData(CGPathData data)
{
    return new CGPathObject(std::move(data));
}

CFTypeID CGPathGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CGPath");
    return type;
}

CGMutablePathRef CGPathCreateMutable()
{
    return new CGPathObject();
}

CGPathRef CGPathCreateCopy(CGPathRef path)
{
    return CGPathCreateMutableCopy(path);
}

CGMutablePathRef CGPathCreateMutableCopy(CGPathRef path)
{
    const CGPathObject* object = AsPath(path);
    return object ? new CGPathObject(object->data) : nullptr;
}

CGPathRef CGPathCreateWithRect(CGRect rect, const CGAffineTransform* transform)
{
    CGMutablePathRef path = CGPathCreateMutable();
    CGPathAddRect(path, transform, rect);
    return path;
}

CGPathRef CGPathCreateWithEllipseInRect(CGRect rect, const CGAffineTransform* transform)
{
    CGMutablePathRef path = CGPathCreateMutable();
    CGPathAddEllipseInRect(path, transform, rect);
    return path;
}

CGPathRef CGPathRetain(CGPathRef path)
{
    return static_cast<CGPathRef>(CFRetain(path));
}

void CGPathRelease(CGPathRef path)
{
    if (path)
        CFRelease(path);
}

void CGPathMoveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y)
{
    Build(path, m, [&](CGPathBuilder& b) { b.MoveTo(QPointF(x, y)); });
}

void CGPathAddLineToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y)
{
    Build(path, m, [&](CGPathBuilder& b) { b.LineTo(QPointF(x, y)); });
}

void CGPathAddCurveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat cp1x, CGFloat cp1y, CGFloat cp2x,
                           CGFloat cp2y, CGFloat x, CGFloat y)
{
    Build(path, m, [&](CGPathBuilder& b) { b.CurveTo(QPointF(cp1x, cp1y), QPointF(cp2x, cp2y), QPointF(x, y)); });
}

void CGPathAddQuadCurveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat cpx, CGFloat cpy, CGFloat x,
                               CGFloat y)
{
    Build(path, m, [&](CGPathBuilder& b) { b.QuadTo(QPointF(cpx, cpy), QPointF(x, y)); });
}

void CGPathCloseSubpath(CGMutablePathRef path)
{
    Build(path, nullptr, [](CGPathBuilder& b) { b.Close(); });
}

void CGPathAddRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect)
{
    Build(path, m, [&](CGPathBuilder& b) { b.AddRect(QtRect(rect)); });
}

void CGPathAddRects(CGMutablePathRef path, const CGAffineTransform* m, const CGRect rects[], size_t count)
{
    for (size_t i = 0; rects && i < count; ++i)
        CGPathAddRect(path, m, rects[i]);
}

void CGPathAddLines(CGMutablePathRef path, const CGAffineTransform* m, const CGPoint points[], size_t count)
{
    if (points == nullptr || count == 0)
        return;
    CGPathMoveToPoint(path, m, points[0].x, points[0].y);
    for (size_t i = 1; i < count; ++i)
        CGPathAddLineToPoint(path, m, points[i].x, points[i].y);
}

void CGPathAddEllipseInRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect)
{
    Build(path, m, [&](CGPathBuilder& b) { b.AddEllipse(QtRect(rect)); });
}

void CGPathAddArc(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y, CGFloat radius,
                  CGFloat startAngle, CGFloat endAngle, bool clockwise)
{
    Build(path, m, [&](CGPathBuilder& b) { b.AddArc(QPointF(x, y), radius, startAngle, endAngle, clockwise); });
}

void CGPathAddArcToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x1, CGFloat y1, CGFloat x2,
                         CGFloat y2, CGFloat radius)
{
    Build(path, m, [&](CGPathBuilder& b) { b.AddArcToPoint(QPointF(x1, y1), QPointF(x2, y2), radius); });
}

void CGPathAddRoundedRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect, CGFloat cornerWidth,
                          CGFloat cornerHeight)
{
    Build(path, m, [&](CGPathBuilder& b) { b.AddRoundedRect(QtRect(rect), cornerWidth, cornerHeight); });
}

void CGPathAddPath(CGMutablePathRef path1, const CGAffineTransform* m, CGPathRef path2)
{
    const CGPathObject* other = AsPath(path2);
    if (other == nullptr)
        return;
    const CGPathData copy = other->data;  // path1 and path2 may be the same object
    Build(path1, m, [&](CGPathBuilder& b) { b.AddPath(copy); });
}

bool CGPathIsEmpty(CGPathRef path)
{
    const CGPathObject* object = AsPath(path);
    return object == nullptr || object->data.path.elementCount() == 0;
}

bool CGPathEqualToPath(CGPathRef path1, CGPathRef path2)
{
    return CFEqual(path1, path2);
}

bool CGPathIsRect(CGPathRef path, CGRect* rect)
{
    const CGPathObject* object = AsPath(path);
    if (object == nullptr)
        return false;
    const QPainterPath& p = object->data.path;
    if (p.elementCount() != 5 || !p.elementAt(0).isMoveTo())
        return false;
    for (int i = 1; i < 5; ++i)
        if (!p.elementAt(i).isLineTo())
            return false;
    const QPointF a = p.elementAt(0), b = p.elementAt(1), c = p.elementAt(2), d = p.elementAt(3), e = p.elementAt(4);
    const bool axisAligned = (a.y() == b.y() && b.x() == c.x() && c.y() == d.y() && d.x() == a.x()) ||
                             (a.x() == b.x() && b.y() == c.y() && c.x() == d.x() && d.y() == a.y());
    if (!axisAligned || e != a)
        return false;
    if (rect)
        *rect = RectOf(QRectF(a, c).normalized());
    return true;
}

CGPoint CGPathGetCurrentPoint(CGPathRef path)
{
    const CGPathObject* object = AsPath(path);
    if (object == nullptr || !object->data.hasCurrentPoint)
        return CGPointZero;
    return CGPointMake(CGFloat(object->data.currentPoint.x()), CGFloat(object->data.currentPoint.y()));
}

CGRect CGPathGetBoundingBox(CGPathRef path)
{
    if (CGPathIsEmpty(path))
        return CGRectNull;
    return RectOf(AsPath(path)->data.path.controlPointRect());
}

CGRect CGPathGetPathBoundingBox(CGPathRef path)
{
    if (CGPathIsEmpty(path))
        return CGRectNull;
    return RectOf(AsPath(path)->data.path.boundingRect());
}

bool CGPathContainsPoint(CGPathRef path, const CGAffineTransform* m, CGPoint point, bool eoFill)
{
    const CGPathObject* object = AsPath(path);
    if (object == nullptr)
        return false;
    return TransformOf(m).map(CGPathWithFillRule(object->data.path, eoFill)).contains(QPointF(point.x, point.y));
}
