// Path objects: built once, painted or clipped to any number of times
// through CGContextAddPath. Every building call takes an optional transform
// applied to the points it adds.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreGraphics/CGAffineTransform.h>
#include <CoreGraphics/CGContext.h>

typedef struct CGPathObject* CGMutablePathRef;

CFTypeID CGPathGetTypeID();
CGMutablePathRef CGPathCreateMutable();
CGPathRef CGPathCreateCopy(CGPathRef path);
CGMutablePathRef CGPathCreateMutableCopy(CGPathRef path);
CGPathRef CGPathCreateWithRect(CGRect rect, const CGAffineTransform* transform);
CGPathRef CGPathCreateWithEllipseInRect(CGRect rect, const CGAffineTransform* transform);
CGPathRef CGPathRetain(CGPathRef path);
void CGPathRelease(CGPathRef path);

void CGPathMoveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y);
void CGPathAddLineToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y);
void CGPathAddCurveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat cp1x, CGFloat cp1y, CGFloat cp2x,
                           CGFloat cp2y, CGFloat x, CGFloat y);
void CGPathAddQuadCurveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat cpx, CGFloat cpy, CGFloat x,
                               CGFloat y);
void CGPathCloseSubpath(CGMutablePathRef path);
void CGPathAddRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect);
void CGPathAddRects(CGMutablePathRef path, const CGAffineTransform* m, const CGRect rects[], size_t count);
void CGPathAddLines(CGMutablePathRef path, const CGAffineTransform* m, const CGPoint points[], size_t count);
void CGPathAddEllipseInRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect);
void CGPathAddArc(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y, CGFloat radius,
                  CGFloat startAngle, CGFloat endAngle, bool clockwise);
void CGPathAddArcToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x1, CGFloat y1, CGFloat x2,
                         CGFloat y2, CGFloat radius);
// A rectangle whose corners are quarter ellipses of the given radii.
void CGPathAddRoundedRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect, CGFloat cornerWidth,
                          CGFloat cornerHeight);
void CGPathAddPath(CGMutablePathRef path1, const CGAffineTransform* m, CGPathRef path2);

bool CGPathIsEmpty(CGPathRef path);
bool CGPathEqualToPath(CGPathRef path1, CGPathRef path2);
bool CGPathIsRect(CGPathRef path, CGRect* rect);
// CGPointZero for an empty path.
CGPoint CGPathGetCurrentPoint(CGPathRef path);
// The points and control points; CGRectNull for an empty path.
CGRect CGPathGetBoundingBox(CGPathRef path);
// The curves themselves, without control points.
CGRect CGPathGetPathBoundingBox(CGPathRef path);
bool CGPathContainsPoint(CGPathRef path, const CGAffineTransform* m, CGPoint point, bool eoFill);
