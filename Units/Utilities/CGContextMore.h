// The system's drawing operations on a Quartz context: two-colour
// gradients, text drawn and measured through the Cocoa text system,
// rounded rectangles, icons, Core Image images, rotations and flips, and
// the bridge that lets Cocoa drawing land in a Quartz context.
#pragma once

#include <Units/Utilities/CGUtilities.h>

#include <AppKit/NSTextDrawing.h>
#include <CoreGraphics/CoreGraphics.h>
#include <CoreImage/CIImage.h>
#include <CoreServices/IconServices.h>

// The options of CGContextDrawText.
typedef UInt32 CGTextOptions;
enum : CGTextOptions {
    kCGTextOptionShadow = 1,     // a shadow of blur 6 right under the text
    kCGTextOptionCentered = 2,   // centred lines
    kCGTextOptionRotateCW = 4,   // the rectangle turned a quarter clockwise first
    kCGTextOptionRotateCCW = 8,  // ... or counter-clockwise (both may apply, in that order)
};

// No shadow (offset (0, 0), blur 0).
void CGContextClearShadow(CGContextRef context);
// Fills the clip with a gradient from color1 to color2: upwards from the
// rectangle's bottom edge to its top edge, nothing beyond either; or,
// horizontal, rightwards from its left edge to half its width past its
// right edge, and beyond that end too.
void CGContextDrawRGBGradient(CGContextRef context, CGRect rect, const ATSURGBAlphaColor& color1,
                              const ATSURGBAlphaColor& color2, Boolean horizontal);
// The text in the rectangle through the current Cocoa context (opened
// with NSGraphicsContextOpenCGContext over `context`), in the font (the
// system font of 12 points when nil) and colour (black when nil). A
// rotated rectangle keeps its area: its width and height trade places.
void CGContextDrawText(CGContextRef context, CGRect rect, CFStringRef text, NSFont* font, NSColor* color,
                       CGTextOptions options);
// The text laid out in a container of the rectangle's size and drawn at
// its origin through the current Cocoa context.
void CGContextDrawTextBox(CGContextRef context, CGRect rect, CFStringRef text, const NSAttributeDictionary* attributes);
// The size of the text in the font, centred and wrapped in `width`
// (height unlimited).
CGSize CGContextGetTextSize(CFStringRef text, CGFloat width, NSFont* font, Boolean shadow);
// Saves the Quartz state and makes a flipped Cocoa context over `context`
// current; Close restores both. Text drawn through it in a context whose
// CTM is flipped (y down) comes out upright.
void NSGraphicsContextOpenCGContext(CGContextRef context);
void NSGraphicsContextCloseCGContext(CGContextRef context);
// A one-point outline without antialiasing.
void CGContextStrokePlainRect(CGContextRef context, CGRect rect);
// The icon drawn in the rectangle: square, as large as fits, centred.
void CGContextDrawIcon(CGContextRef context, CGRect rect, IconRef icon);
// The part `rect` of the image at `point`, in a space flipped about the
// rectangle's middle (so that it stands upright in a flipped context).
void CGContextDrawCIImage(CGContextRef context, CGPoint point, CGRect rect, CIImage* image);
// A quarter turn clockwise (or counter-clockwise) of the user space about
// the rectangle, so that drawing into the rectangle with width and height
// exchanged fills the original one.
void CGContextRotateCW(CGContextRef context, CGRect rect);
void CGContextRotateCCW(CGContextRef context, CGRect rect);
// Flips y within the rectangle.
void CGContextFlipVertically(CGContextRef context, CGRect rect);
// A closed path around the rectangle whose corners are arcs of `radius`
// in a space scaled by (ovalWidth, ovalHeight). A zero or negative oval
// gives the plain rectangle.
void CGContextAddRoundedRect(CGContextRef context, CGRect rect, CGFloat ovalWidth, CGFloat ovalHeight,
                             CGFloat radius = 1);
void CGContextFillRoundedRect(CGContextRef context, CGRect rect, CGFloat ovalWidth, CGFloat ovalHeight);
void CGContextStrokeRoundedRect(CGContextRef context, CGRect rect, CGFloat ovalWidth, CGFloat ovalHeight);
