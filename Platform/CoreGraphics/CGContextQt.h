// Contexts over pixels that Qt code owns: the windows' backing buffers and
// the views drawn into them. For the platform code that shows what the
// units draw; the units themselves make bitmap contexts and layers.
#pragma once

#include <CoreGraphics/CGContext.h>

#include <QImage>

// A context drawing into `target`, which must outlive it and keep its
// size. With `flipped`, user space starts as a view's does: origin at the
// top-left corner, y growing downwards (the CTM is the flip, as the
// platform reports for view contexts); otherwise as a bitmap context's.
CGContextRef CGContextCreateWithQImage(QImage* target, bool flipped);
// The pixels the context draws into (a transparency layer's while one is
// open); nil for nil.
const QImage* CGContextGetQImage(CGContextRef c);
