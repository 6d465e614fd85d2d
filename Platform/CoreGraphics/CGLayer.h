// Layers: offscreen drawing surfaces made to match a context, drawn back
// into it (or another) as often as needed. A layer's own context starts
// with the identity CTM, y up, origin at its bottom-left corner; drawing
// the layer behaves like drawing an image of its current pixels.
#pragma once

#include <CoreFoundation/CFDictionary.h>
#include <CoreGraphics/CGContext.h>

typedef struct CGLayerObject* CGLayerRef;

CFTypeID CGLayerGetTypeID();
// Nil for a nil context or an empty size. The size is in points; one
// point is one pixel here.
CGLayerRef CGLayerCreateWithContext(CGContextRef context, CGSize size, CFDictionaryRef auxiliaryInfo);
CGLayerRef CGLayerRetain(CGLayerRef layer);
void CGLayerRelease(CGLayerRef layer);
CGSize CGLayerGetSize(CGLayerRef layer);
// Borrowed: lives as long as the layer.
CGContextRef CGLayerGetContext(CGLayerRef layer);
void CGContextDrawLayerInRect(CGContextRef context, CGRect rect, CGLayerRef layer);
void CGContextDrawLayerAtPoint(CGContextRef context, CGPoint point, CGLayerRef layer);
