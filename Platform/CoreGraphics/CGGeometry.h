// Points, sizes and rectangles. CGFloat is a 32-bit float here.
//
// Rectangles follow the platform's rules: a negative width or height is
// read as the same rectangle standardized (origin at the smaller corner),
// the null rectangle (CGRectNull, an origin at infinity) is what an empty
// intersection answers and vanishes from unions, and an empty rectangle
// (zero or null area) contains no point.
#pragma once

#include <CoreFoundation/CFBase.h>

typedef float CGFloat;

struct CGPoint {
    CGFloat x;
    CGFloat y;
};

struct CGSize {
    CGFloat width;
    CGFloat height;
};

struct CGRect {
    CGPoint origin;
    CGSize size;
};

typedef enum : UInt32 {
    CGRectMinXEdge,
    CGRectMinYEdge,
    CGRectMaxXEdge,
    CGRectMaxYEdge,
} CGRectEdge;

inline CGPoint CGPointMake(CGFloat x, CGFloat y)
{
    return CGPoint{x, y};
}

inline CGSize CGSizeMake(CGFloat width, CGFloat height)
{
    return CGSize{width, height};
}

inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height)
{
    return CGRect{{x, y}, {width, height}};
}

extern const CGPoint CGPointZero;
extern const CGSize CGSizeZero;
extern const CGRect CGRectZero;
extern const CGRect CGRectNull;
extern const CGRect CGRectInfinite;

inline bool CGPointEqualToPoint(CGPoint a, CGPoint b)
{
    return a.x == b.x && a.y == b.y;
}

inline bool CGSizeEqualToSize(CGSize a, CGSize b)
{
    return a.width == b.width && a.height == b.height;
}

inline bool CGRectEqualToRect(CGRect a, CGRect b)
{
    return CGPointEqualToPoint(a.origin, b.origin) && CGSizeEqualToSize(a.size, b.size);
}

// Edges and centre of the standardized rectangle.
CGFloat CGRectGetMinX(CGRect rect);
CGFloat CGRectGetMidX(CGRect rect);
CGFloat CGRectGetMaxX(CGRect rect);
CGFloat CGRectGetMinY(CGRect rect);
CGFloat CGRectGetMidY(CGRect rect);
CGFloat CGRectGetMaxY(CGRect rect);
// The absolute width and height.
CGFloat CGRectGetWidth(CGRect rect);
CGFloat CGRectGetHeight(CGRect rect);

bool CGRectIsNull(CGRect rect);
// Null, or no area.
bool CGRectIsEmpty(CGRect rect);
bool CGRectIsInfinite(CGRect rect);
// The same rectangle with a non-negative width and height.
CGRect CGRectStandardize(CGRect rect);
// The smallest rectangle of whole numbers holding the rectangle (null
// stays null).
CGRect CGRectIntegral(CGRect rect);
// Moved in by dx on the left and the right and dy at the bottom and the
// top (negative values grow it); null when nothing is left.
CGRect CGRectInset(CGRect rect, CGFloat dx, CGFloat dy);
CGRect CGRectOffset(CGRect rect, CGFloat dx, CGFloat dy);
// The smallest rectangle holding both; a null rectangle is left out.
CGRect CGRectUnion(CGRect a, CGRect b);
// The common part; null when they do not meet.
CGRect CGRectIntersection(CGRect a, CGRect b);
// Whether they share some area.
bool CGRectIntersectsRect(CGRect a, CGRect b);
// Whether the point lies inside: the minimum edges belong to the
// rectangle, the maximum edges do not.
bool CGRectContainsPoint(CGRect rect, CGPoint point);
bool CGRectContainsRect(CGRect rect, CGRect inner);
// Cuts `amount` off the rectangle from `edge` into `slice`, the rest
// into `remainder`.
void CGRectDivide(CGRect rect, CGRect* slice, CGRect* remainder, CGFloat amount, CGRectEdge edge);
