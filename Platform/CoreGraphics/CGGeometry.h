// Points, sizes and rectangles. CGFloat is a 32-bit float here.
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
