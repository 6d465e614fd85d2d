#include "CGGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr CGFloat kInfinity = std::numeric_limits<CGFloat>::infinity();
// Half the extent of the infinite rectangle: as large as floats allow
// while its edges and size still make sense in arithmetic.
constexpr CGFloat kHuge = std::numeric_limits<CGFloat>::max() / 4;

}  // namespace

const CGPoint CGPointZero = {0, 0};
const CGSize CGSizeZero = {0, 0};
const CGRect CGRectZero = {{0, 0}, {0, 0}};
const CGRect CGRectNull = {{kInfinity, kInfinity}, {0, 0}};
const CGRect CGRectInfinite = {{-kHuge, -kHuge}, {2 * kHuge, 2 * kHuge}};

CGRect CGRectStandardize(CGRect rect)
{
    if (CGRectIsNull(rect))
        return rect;
    if (rect.size.width < 0) {
        rect.origin.x += rect.size.width;
        rect.size.width = -rect.size.width;
    }
    if (rect.size.height < 0) {
        rect.origin.y += rect.size.height;
        rect.size.height = -rect.size.height;
    }
    return rect;
}

CGFloat CGRectGetMinX(CGRect rect)
{
    return CGRectStandardize(rect).origin.x;
}

CGFloat CGRectGetMidX(CGRect rect)
{
    const CGRect r = CGRectStandardize(rect);
    return r.origin.x + r.size.width / 2;
}

CGFloat CGRectGetMaxX(CGRect rect)
{
    const CGRect r = CGRectStandardize(rect);
    return r.origin.x + r.size.width;
}

CGFloat CGRectGetMinY(CGRect rect)
{
    return CGRectStandardize(rect).origin.y;
}

CGFloat CGRectGetMidY(CGRect rect)
{
    const CGRect r = CGRectStandardize(rect);
    return r.origin.y + r.size.height / 2;
}

CGFloat CGRectGetMaxY(CGRect rect)
{
    const CGRect r = CGRectStandardize(rect);
    return r.origin.y + r.size.height;
}

CGFloat CGRectGetWidth(CGRect rect)
{
    return std::fabs(rect.size.width);
}

CGFloat CGRectGetHeight(CGRect rect)
{
    return std::fabs(rect.size.height);
}

bool CGRectIsNull(CGRect rect)
{
    return std::isinf(rect.origin.x) && rect.origin.x > 0 && std::isinf(rect.origin.y) && rect.origin.y > 0;
}

bool CGRectIsEmpty(CGRect rect)
{
    return CGRectIsNull(rect) || rect.size.width == 0 || rect.size.height == 0;
}

bool CGRectIsInfinite(CGRect rect)
{
    return CGRectEqualToRect(rect, CGRectInfinite);
}

CGRect CGRectIntegral(CGRect rect)
{
    if (CGRectIsNull(rect))
        return rect;
    const CGRect r = CGRectStandardize(rect);
    const CGFloat minX = std::floor(r.origin.x), minY = std::floor(r.origin.y);
    const CGFloat maxX = std::ceil(r.origin.x + r.size.width), maxY = std::ceil(r.origin.y + r.size.height);
    return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

CGRect CGRectInset(CGRect rect, CGFloat dx, CGFloat dy)
{
    if (CGRectIsNull(rect))
        return rect;
    CGRect r = CGRectStandardize(rect);
    r.origin.x += dx;
    r.origin.y += dy;
    r.size.width -= 2 * dx;
    r.size.height -= 2 * dy;
    if (r.size.width < 0 || r.size.height < 0)
        return CGRectNull;
    return r;
}

CGRect CGRectOffset(CGRect rect, CGFloat dx, CGFloat dy)
{
    if (CGRectIsNull(rect))
        return rect;
    CGRect r = CGRectStandardize(rect);
    r.origin.x += dx;
    r.origin.y += dy;
    return r;
}

CGRect CGRectUnion(CGRect a, CGRect b)
{
    if (CGRectIsNull(a))
        return CGRectStandardize(b);
    if (CGRectIsNull(b))
        return CGRectStandardize(a);
    const CGRect ra = CGRectStandardize(a), rb = CGRectStandardize(b);
    const CGFloat minX = std::min(ra.origin.x, rb.origin.x), minY = std::min(ra.origin.y, rb.origin.y);
    const CGFloat maxX = std::max(ra.origin.x + ra.size.width, rb.origin.x + rb.size.width);
    const CGFloat maxY = std::max(ra.origin.y + ra.size.height, rb.origin.y + rb.size.height);
    return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

CGRect CGRectIntersection(CGRect a, CGRect b)
{
    if (CGRectIsNull(a) || CGRectIsNull(b))
        return CGRectNull;
    const CGRect ra = CGRectStandardize(a), rb = CGRectStandardize(b);
    const CGFloat minX = std::max(ra.origin.x, rb.origin.x), minY = std::max(ra.origin.y, rb.origin.y);
    const CGFloat maxX = std::min(ra.origin.x + ra.size.width, rb.origin.x + rb.size.width);
    const CGFloat maxY = std::min(ra.origin.y + ra.size.height, rb.origin.y + rb.size.height);
    if (maxX < minX || maxY < minY)
        return CGRectNull;
    return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

bool CGRectIntersectsRect(CGRect a, CGRect b)
{
    return !CGRectIsEmpty(CGRectIntersection(a, b));
}

bool CGRectContainsPoint(CGRect rect, CGPoint point)
{
    if (CGRectIsEmpty(rect))
        return false;
    const CGRect r = CGRectStandardize(rect);
    return point.x >= r.origin.x && point.x < r.origin.x + r.size.width && point.y >= r.origin.y &&
           point.y < r.origin.y + r.size.height;
}

bool CGRectContainsRect(CGRect rect, CGRect inner)
{
    if (CGRectIsEmpty(rect) || CGRectIsNull(inner))
        return false;
    return CGRectEqualToRect(CGRectUnion(rect, inner), CGRectStandardize(rect));
}

void CGRectDivide(CGRect rect, CGRect* slice, CGRect* remainder, CGFloat amount, CGRectEdge edge)
{
    CGRect s = CGRectNull, rest = CGRectNull;
    if (!CGRectIsNull(rect)) {
        const CGRect r = CGRectStandardize(rect);
        const bool alongX = edge == CGRectMinXEdge || edge == CGRectMaxXEdge;
        const CGFloat extent = alongX ? r.size.width : r.size.height;
        const CGFloat cut = std::clamp(amount, CGFloat(0), extent);
        s = rest = r;
        if (alongX) {
            s.size.width = cut;
            rest.size.width = extent - cut;
            if (edge == CGRectMinXEdge)
                rest.origin.x += cut;
            else
                s.origin.x += extent - cut;
        } else {
            s.size.height = cut;
            rest.size.height = extent - cut;
            if (edge == CGRectMinYEdge)
                rest.origin.y += cut;
            else
                s.origin.y += extent - cut;
        }
    }
    if (slice)
        *slice = s;
    if (remainder)
        *remainder = rest;
}
