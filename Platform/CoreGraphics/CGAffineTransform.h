// Affine transforms as the platform defines them: a point (x, y) maps to
// (a·x + c·y + tx, b·x + d·y + ty). Concatenation reads left to right:
// CGAffineTransformConcat(t1, t2) applies t1 first, then t2. The
// Translate, Scale and Rotate operations on a transform put the new step
// first (it acts in the transform's own user space), like the context's
// CTM calls.
#pragma once

#include <CoreGraphics/CGGeometry.h>

struct CGAffineTransform {
    CGFloat a, b, c, d;
    CGFloat tx, ty;
};

extern const CGAffineTransform CGAffineTransformIdentity;

CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d, CGFloat tx, CGFloat ty);
CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty);
CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy);
// Counter-clockwise in a y-up space, angle in radians.
CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle);

bool CGAffineTransformIsIdentity(CGAffineTransform t);
bool CGAffineTransformEqualToTransform(CGAffineTransform t1, CGAffineTransform t2);

// t1 then t2.
CGAffineTransform CGAffineTransformConcat(CGAffineTransform t1, CGAffineTransform t2);
// A translation, scale or rotation, then t.
CGAffineTransform CGAffineTransformTranslate(CGAffineTransform t, CGFloat tx, CGFloat ty);
CGAffineTransform CGAffineTransformScale(CGAffineTransform t, CGFloat sx, CGFloat sy);
CGAffineTransform CGAffineTransformRotate(CGAffineTransform t, CGFloat angle);
// The inverse; a transform that has none is answered unchanged.
CGAffineTransform CGAffineTransformInvert(CGAffineTransform t);

CGPoint CGPointApplyAffineTransform(CGPoint point, CGAffineTransform t);
// The linear part only: sizes are not moved.
CGSize CGSizeApplyAffineTransform(CGSize size, CGAffineTransform t);
// The smallest rectangle holding the four transformed corners.
CGRect CGRectApplyAffineTransform(CGRect rect, CGAffineTransform t);
