// Graphics contexts: where drawing lands, and the graphics state that
// shapes it.
//
// User space is the platform's: y grows upwards, and a bitmap or layer
// context starts with the identity transform, its origin at the bottom-left
// corner of the pixels. Drawing obeys the current transform (CTM), clip,
// alpha, blend mode, shadow and antialiasing; CGContextSaveGState and
// CGContextRestoreGState keep and bring back all of them. The current path
// is not part of the state: it is built in user space, fixed in device
// space as it is added (a later CTM change does not move it), and used up
// by the painting call that follows.
//
// Images are drawn upright in a y-up space: in a context whose CTM flips y
// (as the views' contexts do), CGContextDrawImage and CGContextDrawLayer*
// come out upside down, as they do on the platform.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreGraphics/CGAffineTransform.h>
#include <CoreGraphics/CGColor.h>
#include <CoreGraphics/CGGeometry.h>
#include <CoreGraphics/CGImage.h>

#include <cstddef>

typedef struct CGContextObject* CGContextRef;
typedef const struct CGPathObject* CGPathRef;
typedef const struct CGGradientObject* CGGradientRef;
typedef const struct CGFontObject* CGFontRef;
typedef unsigned short CGGlyph;

typedef enum : SInt32 {
    kCGPathFill,
    kCGPathEOFill,
    kCGPathStroke,
    kCGPathFillStroke,
    kCGPathEOFillStroke,
} CGPathDrawingMode;

typedef enum : SInt32 { kCGLineCapButt, kCGLineCapRound, kCGLineCapSquare } CGLineCap;
typedef enum : SInt32 { kCGLineJoinMiter, kCGLineJoinRound, kCGLineJoinBevel } CGLineJoin;

typedef enum : SInt32 {
    kCGInterpolationDefault = 0,
    kCGInterpolationNone = 1,
    kCGInterpolationLow = 2,
    kCGInterpolationMedium = 4,
    kCGInterpolationHigh = 3,
} CGInterpolationQuality;

typedef enum : SInt32 {
    kCGBlendModeNormal,
    kCGBlendModeMultiply,
    kCGBlendModeScreen,
    kCGBlendModeOverlay,
    kCGBlendModeDarken,
    kCGBlendModeLighten,
    kCGBlendModeColorDodge,
    kCGBlendModeColorBurn,
    kCGBlendModeSoftLight,
    kCGBlendModeHardLight,
    kCGBlendModeDifference,
    kCGBlendModeExclusion,
    kCGBlendModeHue,
    kCGBlendModeSaturation,
    kCGBlendModeColor,
    kCGBlendModeLuminosity,
    kCGBlendModeClear,
    kCGBlendModeCopy,
    kCGBlendModeSourceIn,
    kCGBlendModeSourceOut,
    kCGBlendModeSourceAtop,
    kCGBlendModeDestinationOver,
    kCGBlendModeDestinationIn,
    kCGBlendModeDestinationOut,
    kCGBlendModeDestinationAtop,
    kCGBlendModeXOR,
    kCGBlendModePlusDarker,
    kCGBlendModePlusLighter,
} CGBlendMode;

typedef enum : SInt32 {
    kCGTextFill,
    kCGTextStroke,
    kCGTextFillStroke,
    kCGTextInvisible,
    kCGTextFillClip,
    kCGTextStrokeClip,
    kCGTextFillStrokeClip,
    kCGTextClip,
} CGTextDrawingMode;

typedef enum : SInt32 { kCGEncodingFontSpecific, kCGEncodingMacRoman } CGTextEncoding;

typedef UInt32 CGGradientDrawingOptions;
enum : CGGradientDrawingOptions {
    kCGGradientDrawsBeforeStartLocation = 1 << 0,
    kCGGradientDrawsAfterEndLocation = 1 << 1,
};

CFTypeID CGContextGetTypeID();
CGContextRef CGContextRetain(CGContextRef c);
void CGContextRelease(CGContextRef c);
// Drawing lands at once; these exist for callers written for buffered
// devices.
void CGContextFlush(CGContextRef c);
void CGContextSynchronize(CGContextRef c);

// ---- graphics state ----

void CGContextSaveGState(CGContextRef c);
// Does nothing when nothing was saved.
void CGContextRestoreGState(CGContextRef c);

CGAffineTransform CGContextGetCTM(CGContextRef c);
// Each of these puts the new step first: it acts in the current user space.
void CGContextConcatCTM(CGContextRef c, CGAffineTransform transform);
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty);
void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy);
void CGContextRotateCTM(CGContextRef c, CGFloat angle);
// User space to the context's y-up pixel space.
CGAffineTransform CGContextGetUserSpaceToDeviceSpaceTransform(CGContextRef c);
CGPoint CGContextConvertPointToDeviceSpace(CGContextRef c, CGPoint point);
CGPoint CGContextConvertPointToUserSpace(CGContextRef c, CGPoint point);
CGRect CGContextConvertRectToDeviceSpace(CGContextRef c, CGRect rect);
CGRect CGContextConvertRectToUserSpace(CGContextRef c, CGRect rect);

void CGContextSetAlpha(CGContextRef c, CGFloat alpha);
void CGContextSetBlendMode(CGContextRef c, CGBlendMode mode);
void CGContextSetShouldAntialias(CGContextRef c, bool shouldAntialias);
void CGContextSetAllowsAntialiasing(CGContextRef c, bool allowsAntialiasing);
void CGContextSetInterpolationQuality(CGContextRef c, CGInterpolationQuality quality);
CGInterpolationQuality CGContextGetInterpolationQuality(CGContextRef c);
void CGContextSetShouldSmoothFonts(CGContextRef c, bool shouldSmoothFonts);
void CGContextSetFlatness(CGContextRef c, CGFloat flatness);

void CGContextSetLineWidth(CGContextRef c, CGFloat width);
void CGContextSetLineCap(CGContextRef c, CGLineCap cap);
void CGContextSetLineJoin(CGContextRef c, CGLineJoin join);
void CGContextSetMiterLimit(CGContextRef c, CGFloat limit);
// No lengths (or a count of 0) means solid lines.
void CGContextSetLineDash(CGContextRef c, CGFloat phase, const CGFloat lengths[], size_t count);

void CGContextSetRGBFillColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
void CGContextSetRGBStrokeColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
void CGContextSetGrayFillColor(CGContextRef c, CGFloat gray, CGFloat alpha);
void CGContextSetGrayStrokeColor(CGContextRef c, CGFloat gray, CGFloat alpha);
void CGContextSetFillColorWithColor(CGContextRef c, CGColorRef color);
void CGContextSetStrokeColorWithColor(CGContextRef c, CGColorRef color);
// Setting a space resets its colour to opaque black; the components that
// follow are read in it (alpha last).
void CGContextSetFillColorSpace(CGContextRef c, CGColorSpaceRef space);
void CGContextSetStrokeColorSpace(CGContextRef c, CGColorSpaceRef space);
void CGContextSetFillColor(CGContextRef c, const CGFloat components[]);
void CGContextSetStrokeColor(CGContextRef c, const CGFloat components[]);

// The offset is in the context's base (device) space: the CTM neither
// moves nor turns it, and positive y goes up. The blur is a Gaussian of
// standard deviation blur / 2 over the shape's alpha. A nil colour, or a
// shadow of no offset and no blur, turns shadows off.
void CGContextSetShadowWithColor(CGContextRef c, CGSize offset, CGFloat blur, CGColorRef color);
// Black at one third alpha.
void CGContextSetShadow(CGContextRef c, CGSize offset, CGFloat blur);

// ---- the current path ----

void CGContextBeginPath(CGContextRef c);
void CGContextMoveToPoint(CGContextRef c, CGFloat x, CGFloat y);
// The line and curve calls need a current point and do nothing without one.
void CGContextAddLineToPoint(CGContextRef c, CGFloat x, CGFloat y);
void CGContextAddCurveToPoint(CGContextRef c, CGFloat cp1x, CGFloat cp1y, CGFloat cp2x, CGFloat cp2y, CGFloat x,
                              CGFloat y);
void CGContextAddQuadCurveToPoint(CGContextRef c, CGFloat cpx, CGFloat cpy, CGFloat x, CGFloat y);
void CGContextClosePath(CGContextRef c);
void CGContextAddRect(CGContextRef c, CGRect rect);
void CGContextAddRects(CGContextRef c, const CGRect rects[], size_t count);
void CGContextAddLines(CGContextRef c, const CGPoint points[], size_t count);
void CGContextAddEllipseInRect(CGContextRef c, CGRect rect);
// An arc of the circle around (x, y) from startAngle to endAngle (radians,
// counter-clockwise from the x axis in y-up space); clockwise = 1 walks
// the other way. A line joins it to the current point, if any.
void CGContextAddArc(CGContextRef c, CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
                     int clockwise);
// A line from the current point towards (x1, y1), then an arc of `radius`
// tangent to the lines current point–(x1, y1) and (x1, y1)–(x2, y2). With
// collinear points or a radius of 0, a line to (x1, y1).
void CGContextAddArcToPoint(CGContextRef c, CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2, CGFloat radius);
void CGContextAddPath(CGContextRef c, CGPathRef path);
void CGContextReplacePathWithStrokedPath(CGContextRef c);
bool CGContextIsPathEmpty(CGContextRef c);
// In user space; CGPointZero without a current point.
CGPoint CGContextGetPathCurrentPoint(CGContextRef c);
// In user space; CGRectNull for an empty path.
CGRect CGContextGetPathBoundingBox(CGContextRef c);
bool CGContextPathContainsPoint(CGContextRef c, CGPoint point, CGPathDrawingMode mode);
// A new path holding the current path in user space.
CGPathRef CGContextCopyPath(CGContextRef c);

// ---- painting paths (each empties the current path) ----

void CGContextFillPath(CGContextRef c);
void CGContextEOFillPath(CGContextRef c);
void CGContextStrokePath(CGContextRef c);
void CGContextDrawPath(CGContextRef c, CGPathDrawingMode mode);
void CGContextFillRect(CGContextRef c, CGRect rect);
void CGContextFillRects(CGContextRef c, const CGRect rects[], size_t count);
void CGContextStrokeRect(CGContextRef c, CGRect rect);
void CGContextStrokeRectWithWidth(CGContextRef c, CGRect rect, CGFloat width);
void CGContextFillEllipseInRect(CGContextRef c, CGRect rect);
void CGContextStrokeEllipseInRect(CGContextRef c, CGRect rect);
// Lines between points 0 and 1, 2 and 3, ...
void CGContextStrokeLineSegments(CGContextRef c, const CGPoint points[], size_t count);
// Makes the pixels under the rectangle (through the CTM and clip)
// transparent black, whatever the alpha, blend mode or shadow.
void CGContextClearRect(CGContextRef c, CGRect rect);

// ---- clipping (the clip only ever shrinks until the state is restored) ----

void CGContextClip(CGContextRef c);
void CGContextEOClip(CGContextRef c);
void CGContextClipToRect(CGContextRef c, CGRect rect);
void CGContextClipToRects(CGContextRef c, const CGRect rects[], size_t count);
// Clips to the mask stretched over `rect` (drawn as CGContextDrawImage
// would): a grey image's samples are its coverage (white paints), an image
// mask's samples are inverted, an image with alpha gives its alpha.
// Nothing outside `rect` is painted afterwards.
void CGContextClipToMask(CGContextRef c, CGRect rect, CGImageRef mask);
// In user space.
CGRect CGContextGetClipBoundingBox(CGContextRef c);

// ---- images, layers, gradients ----

// Stretched over `rect`, upright in y-up user space (see above).
void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image);
// Repeats the image at rect's size from rect's origin over the whole clip.
void CGContextDrawTiledImage(CGContextRef c, CGRect rect, CGImageRef image);
// Fills the clip with the gradient along start–end; beyond the two ends
// only when the options ask for it.
void CGContextDrawLinearGradient(CGContextRef c, CGGradientRef gradient, CGPoint startPoint, CGPoint endPoint,
                                 CGGradientDrawingOptions options);
void CGContextDrawRadialGradient(CGContextRef c, CGGradientRef gradient, CGPoint startCenter, CGFloat startRadius,
                                 CGPoint endCenter, CGFloat endRadius, CGGradientDrawingOptions options);

// Until the matching End, drawing goes to a transparent layer of its own,
// with alpha 1, no shadow and the normal blend mode; End composites the
// layer through the clip, alpha, blend mode and shadow the context had at
// Begin.
void CGContextBeginTransparencyLayer(CGContextRef c, CFDictionaryRef auxiliaryInfo);
void CGContextBeginTransparencyLayerWithRect(CGContextRef c, CGRect rect, CFDictionaryRef auxInfo);
void CGContextEndTransparencyLayer(CGContextRef c);
// Our own addition: true when what is drawn now lands as it would inside a
// transparency layer composited at once (alpha 1, the normal blend mode, no
// shadow, no mask), so that pieces which do not overlap need no layer of
// their own. False for nil.
bool CGContextDrawsPlainly(CGContextRef c);

// ---- text ----
// Glyphs are drawn in text space (y up), mapped by the text matrix, whose
// translation is the text position, then by the CTM. The text matrix and
// position are not part of the graphics state; the font, size and drawing
// mode are.

void CGContextSetTextMatrix(CGContextRef c, CGAffineTransform t);
CGAffineTransform CGContextGetTextMatrix(CGContextRef c);
void CGContextSetTextPosition(CGContextRef c, CGFloat x, CGFloat y);
CGPoint CGContextGetTextPosition(CGContextRef c);
void CGContextSetTextDrawingMode(CGContextRef c, CGTextDrawingMode mode);
void CGContextSetCharacterSpacing(CGContextRef c, CGFloat spacing);
void CGContextSetFont(CGContextRef c, CGFontRef font);
void CGContextSetFontSize(CGContextRef c, CGFloat size);
// `name` is a family with an optional style ("Helvetica", "Helvetica Bold").
void CGContextSelectFont(CGContextRef c, const char* name, CGFloat size, CGTextEncoding textEncoding);
// Bytes in Mac Roman (kCGEncodingMacRoman) or Latin-1 (font specific);
// the text position moves to the end of the text.
void CGContextShowText(CGContextRef c, const char* string, size_t length);
void CGContextShowTextAtPoint(CGContextRef c, CGFloat x, CGFloat y, const char* string, size_t length);

CFTypeID CGFontGetTypeID();
// Nil when no installed family has that name.
CGFontRef CGFontCreateWithFontName(CFStringRef name);
CGFontRef CGFontRetain(CGFontRef font);
void CGFontRelease(CGFontRef font);
// A new string.
CFStringRef CGFontCopyFullName(CGFontRef font);
