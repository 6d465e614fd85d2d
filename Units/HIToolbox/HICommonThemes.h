// Artwork cut into pieces so that it stretches to any size: three-part
// images (left end, stretchable centre, right end) for buttons and labels,
// nine-part images (four corners, four stretchable edges, a stretchable
// centre) for frames, boxes and panes. Each look is a folder of PNG files,
// one file per piece:
//
//   three-part    left.png center.png right.png
//   nine-part     top_left.png top_center.png top_right.png
//                 middle_left.png middle_center.png middle_right.png
//                 bottom_left.png bottom_center.png bottom_right.png
//   push button   left.png center.png right.png
//                 left_pressed.png center_pressed.png right_pressed.png
//
// The loaders read the 1x files only: a piece's pixel size is its size in
// points (the geometry below is measured in image pixels), and our window
// buffers are drawn one pixel per point. The "@2x" files beside them wait
// for a context that knows its backing scale.
//
// The images of a record belong to the caller, who usually keeps the
// record for the life of the program (the Release functions give them
// back). Every draw routine paints into a view context (y down, origin top
// left) through HIViewDrawCGImage, inside one transparency layer, so that
// translucent pieces do not darken where they meet and the context's
// alpha and shadow apply to the whole picture once. Every piece lands on
// whole points; a nil image leaves its place empty, and a piece whose
// width or height comes out as 0 or less is not drawn. A rectangle with a
// coordinate that is not a finite number draws nothing.
#pragma once

#include <Units/Utilities/ShortString.h>

#include <CoreGraphics/CoreGraphics.h>
#include <CoreServices/CoreServices.h>

struct HITheme3PartImage {
    CGImageRef left;
    CGImageRef center;
    CGImageRef right;
};

struct HITheme9PartImage {
    CGImageRef topLeft;
    CGImageRef topCenter;
    CGImageRef topRight;
    CGImageRef middleLeft;
    CGImageRef middleCenter;
    CGImageRef middleRight;
    CGImageRef bottomLeft;
    CGImageRef bottomCenter;
    CGImageRef bottomRight;
};

struct HIThemePushButtonImages {
    CGImageRef left;
    CGImageRef center;
    CGImageRef right;
    CGImageRef leftPressed;
    CGImageRef centerPressed;
    CGImageRef rightPressed;
};

// ---- loading ----

// The pieces in `folder`, nil for each file that is missing or is not an
// image. An invalid folder gives a record of nils.
HITheme3PartImage HIThemeLoad3PartImage(const FSRef& folder);
HITheme9PartImage HIThemeLoad9PartImage(const FSRef& folder);
HIThemePushButtonImages HIThemeLoadPushButtonImages(const FSRef& folder);
// The same, filling a record the caller holds. What the record held
// before is overwritten, not released.
void HIThemeLoad3PartImage(const FSRef& folder, HITheme3PartImage& image);
void HIThemeLoad9PartImage(const FSRef& folder, HITheme9PartImage& image);
void HIThemeLoadPushButtonImages(const FSRef& folder, HIThemePushButtonImages& images);
// The folder at a path inside the main bundle's resources ("/Images/Label"
// or "Images/Label").
HITheme3PartImage HIThemeLoad3PartImage(const ShortString& resourceFolder);
HITheme9PartImage HIThemeLoad9PartImage(const ShortString& resourceFolder);
HIThemePushButtonImages HIThemeLoadPushButtonImages(const ShortString& resourceFolder);

// Releases every image of the record and sets it to nil.
void HIThemeRelease3PartImage(HITheme3PartImage& image);
void HIThemeRelease9PartImage(HITheme9PartImage& image);
void HIThemeReleasePushButtonImages(HIThemePushButtonImages& images);

// ---- drawing ----

// Three parts in `rect` truncated to whole points r: the left image at
// (r.x, r.y) in its own size; the centre at (r.x + left width, r.y),
// r.width - (left width + right width) wide and as high as the centre
// image itself; the right image in its own size at the centre's right
// end. A nil end counts as 0 wide. The ends keep their size even when r
// is narrower than both together (the right end then lies over the left
// one); a rectangle with no width (0 or less after truncation) draws
// nothing.
void HIThemeDrawCustomButton(CGContextRef context, CGImageRef left, CGImageRef center, CGImageRef right, CGRect rect);
void HIThemeDraw3PartImage(CGContextRef context, const HITheme3PartImage& image, CGRect rect);
void HIThemeDrawPushButton(CGContextRef context, const HITheme3PartImage& image, CGRect rect);
// The pressed or the plain three parts of a push-button set.
void HIThemeDrawPushButton(CGContextRef context, const HIThemePushButtonImages& images, CGRect rect, Boolean pressed);

// Nine parts in `rect` truncated to whole points r, with c the pixel width
// of the top-left image (or, without one, of the first other corner there
// is): corners c by c in r's corners, edges c thick between them, the
// centre filling what is left. A rectangle of exactly 2c by 2c shows the
// corners only; an empty one (width or height 0 or less after truncation)
// draws nothing.
void HIThemeDraw9PartImage(CGContextRef context, const HITheme9PartImage& image, CGRect rect);
void HIThemeDrawSquareButton(CGContextRef context, const HITheme9PartImage& image, CGRect rect);
