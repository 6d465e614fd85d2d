#include "CGAffineTransform.h"

#include <algorithm>
#include <cmath>

const CGAffineTransform CGAffineTransformIdentity = {1, 0, 0, 1, 0, 0};

CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d, CGFloat tx, CGFloat ty)
{
    return CGAffineTransform{a, b, c, d, tx, ty};
}

CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty)
{
    return CGAffineTransform{1, 0, 0, 1, tx, ty};
}

CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy)
{
    return CGAffineTransform{sx, 0, 0, sy, 0, 0};
}

CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle)
{
    // In double, so that quarter turns come out as close to whole as floats allow.
    const double cosine = std::cos(double(angle)), sine = std::sin(double(angle));
    return CGAffineTransform{CGFloat(cosine), CGFloat(sine), CGFloat(-sine), CGFloat(cosine), 0, 0};
}

bool CGAffineTransformIsIdentity(CGAffineTransform t)
{
    return CGAffineTransformEqualToTransform(t, CGAffineTransformIdentity);
}

bool CGAffineTransformEqualToTransform(CGAffineTransform t1, CGAffineTransform t2)
{
    return t1.a == t2.a && t1.b == t2.b && t1.c == t2.c && t1.d == t2.d && t1.tx == t2.tx && t1.ty == t2.ty;
}

CGAffineTransform CGAffineTransformConcat(CGAffineTransform t1, CGAffineTransform t2)
{
    return CGAffineTransform{t1.a * t2.a + t1.b * t2.c,           t1.a * t2.b + t1.b * t2.d,
                             t1.c * t2.a + t1.d * t2.c,           t1.c * t2.b + t1.d * t2.d,
                             t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

CGAffineTransform CGAffineTransformTranslate(CGAffineTransform t, CGFloat tx, CGFloat ty)
{
    return CGAffineTransformConcat(CGAffineTransformMakeTranslation(tx, ty), t);
}

CGAffineTransform CGAffineTransformScale(CGAffineTransform t, CGFloat sx, CGFloat sy)
{
    return CGAffineTransformConcat(CGAffineTransformMakeScale(sx, sy), t);
}

CGAffineTransform CGAffineTransformRotate(CGAffineTransform t, CGFloat angle)
{
    return CGAffineTransformConcat(CGAffineTransformMakeRotation(angle), t);
}

CGAffineTransform CGAffineTransformInvert(CGAffineTransform t)
{
    const double determinant = double(t.a) * t.d - double(t.b) * t.c;
    if (determinant == 0 || !std::isfinite(determinant))
        return t;
    const double a = t.d / determinant, b = -t.b / determinant;
    const double c = -t.c / determinant, d = t.a / determinant;
    return CGAffineTransform{CGFloat(a),
                             CGFloat(b),
                             CGFloat(c),
                             CGFloat(d),
                             CGFloat(-(t.tx * a + t.ty * c)),
                             CGFloat(-(t.tx * b + t.ty * d))};
}

CGPoint CGPointApplyAffineTransform(CGPoint p, CGAffineTransform t)
{
    return CGPoint{t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}

CGSize CGSizeApplyAffineTransform(CGSize s, CGAffineTransform t)
{
    return CGSize{t.a * s.width + t.c * s.height, t.b * s.width + t.d * s.height};
}

CGRect CGRectApplyAffineTransform(CGRect rect, CGAffineTransform t)
{
    if (CGRectIsNull(rect))
        return rect;
    const CGRect r = CGRectStandardize(rect);
    const CGPoint corners[4] = {
        CGPointApplyAffineTransform(r.origin, t),
        CGPointApplyAffineTransform(CGPointMake(r.origin.x + r.size.width, r.origin.y), t),
        CGPointApplyAffineTransform(CGPointMake(r.origin.x, r.origin.y + r.size.height), t),
        CGPointApplyAffineTransform(CGPointMake(r.origin.x + r.size.width, r.origin.y + r.size.height), t),
    };
    CGFloat minX = corners[0].x, maxX = minX, minY = corners[0].y, maxY = minY;
    for (const CGPoint& p : corners) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}
