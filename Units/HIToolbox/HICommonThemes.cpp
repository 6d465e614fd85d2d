#include "HICommonThemes.h"

#include <Units/Utilities/CGUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <HIToolbox/HIView.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <tuple>

namespace {

// ---- loading ----

constexpr const char* k3PartNames[] = {"left.png", "center.png", "right.png"};
constexpr const char* k9PartNames[] = {
    "top_left.png",     "top_center.png",  "top_right.png",     "middle_left.png",  "middle_center.png",
    "middle_right.png", "bottom_left.png", "bottom_center.png", "bottom_right.png",
};
constexpr const char* kPushButtonNames[] = {"left.png",         "center.png",         "right.png",
                                            "left_pressed.png", "center_pressed.png", "right_pressed.png"};

// Each record's fields, in file order.
std::array<CGImageRef*, 3> Slots(HITheme3PartImage& r)
{
    return {&r.left, &r.center, &r.right};
}
std::array<CGImageRef*, 9> Slots(HITheme9PartImage& r)
{
    return {&r.topLeft,     &r.topCenter,  &r.topRight,     &r.middleLeft, &r.middleCenter,
            &r.middleRight, &r.bottomLeft, &r.bottomCenter, &r.bottomRight};
}
std::array<CGImageRef*, 6> Slots(HIThemePushButtonImages& r)
{
    return {&r.left, &r.center, &r.right, &r.leftPressed, &r.centerPressed, &r.rightPressed};
}

// Loads the pieces named `names` from `folder` into the record's fields,
// nil where a file is missing or unreadable (all of them when `folder` is
// no folder).
template <typename Record, size_t N>
void LoadPieces(const FSRef& folder, const char* const (&names)[N], Record& record)
{
    const auto slots = Slots(record);
    static_assert(std::tuple_size_v<decltype(slots)> == N);
    for (size_t i = 0; i < N; ++i) {
        *slots[i] = nullptr;
        CFRef<CFStringRef> name(CFStringCreateWithUTF8(names[i]));
        FSRef file;
        if (name && FSGetPathRef(folder, name.get(), file) == noErr)
            *slots[i] = CGImageCreateWithFSRef(file);
    }
}

template <typename Record>
void ReleasePieces(Record& record)
{
    for (CGImageRef* slot : Slots(record)) {
        if (*slot != nullptr)
            CGImageRelease(*slot);
        *slot = nullptr;
    }
}

FSRef ResourceFolder(const ShortString& path)
{
    // Callers name their folders both ways, "/Images/Label" and
    // "Images/Label"; both lie inside the resources.
    std::string_view relative = path.View();
    while (!relative.empty() && relative.front() == '/')
        relative.remove_prefix(1);
    if (relative.empty())
        return FSRef{};
    return FSGetResourcePathRef(ShortString(relative));
}

// ---- drawing ----

// Whole points, or nothing to draw: a rectangle with a coordinate that
// is not a number (or is infinite) has no place.
bool WholeRect(CGRect rect, CGRect& whole)
{
    if (!std::isfinite(rect.origin.x) || !std::isfinite(rect.origin.y) || !std::isfinite(rect.size.width) ||
        !std::isfinite(rect.size.height))
        return false;
    whole = CGRectTruncate(rect);
    return true;
}

CGFloat ImageWidth(CGImageRef image)
{
    return image != nullptr ? CGFloat(CGImageGetWidth(image)) : 0;
}

CGFloat ImageHeight(CGImageRef image)
{
    return image != nullptr ? CGFloat(CGImageGetHeight(image)) : 0;
}

// A piece and where it goes, at whole points.
struct PlacedPiece {
    CGImageRef image;
    CGRect rect;

    // A piece with no extent would come out mirrored (negative) or not at
    // all (zero); it is not drawn.
    bool Drawn() const { return image != nullptr && rect.size.width > 0 && rect.size.height > 0; }
};

PlacedPiece Place(CGImageRef image, CGFloat x, CGFloat y, CGFloat width, CGFloat height)
{
    return PlacedPiece{image, CGRectTruncate(CGRectMake(x, y, width, height))};
}

// Draws the pieces in order into one transparency layer over the area they
// cover, so that alpha, shadow and blend mode apply to the picture as a
// whole; no layer at all when none of them is drawn, nor when the context
// draws plainly (the pieces, at whole points side by side, never overlap).
// The layer is ended even when a piece throws on its way out.
template <size_t N>
void DrawPicture(CGContextRef context, const std::array<PlacedPiece, N>& pieces)
{
    CGRect covered = CGRectNull;
    for (const PlacedPiece& piece : pieces)
        if (piece.Drawn())
            covered = CGRectUnion(covered, piece.rect);
    if (CGRectIsNull(covered))
        return;
    const bool layered = !CGContextDrawsPlainly(context);
    if (layered)
        CGContextBeginTransparencyLayerWithRect(context, covered, nullptr);
    struct LayerEnd {
        CGContextRef context;  // nil: no layer to end
        ~LayerEnd()
        {
            if (context != nullptr)
                CGContextEndTransparencyLayer(context);
        }
    } end{layered ? context : nullptr};
    for (const PlacedPiece& piece : pieces)
        if (piece.Drawn())
            HIViewDrawCGImage(context, &piece.rect, piece.image);
}

}  // namespace

// ---- loading ----

void HIThemeLoad3PartImage(const FSRef& folder, HITheme3PartImage& image)
{
    LoadPieces(folder, k3PartNames, image);
}

void HIThemeLoad9PartImage(const FSRef& folder, HITheme9PartImage& image)
{
    LoadPieces(folder, k9PartNames, image);
}

void HIThemeLoadPushButtonImages(const FSRef& folder, HIThemePushButtonImages& images)
{
    LoadPieces(folder, kPushButtonNames, images);
}

HITheme3PartImage HIThemeLoad3PartImage(const FSRef& folder)
{
    HITheme3PartImage image;
    HIThemeLoad3PartImage(folder, image);
    return image;
}

HITheme9PartImage HIThemeLoad9PartImage(const FSRef& folder)
{
    HITheme9PartImage image;
    HIThemeLoad9PartImage(folder, image);
    return image;
}

HIThemePushButtonImages HIThemeLoadPushButtonImages(const FSRef& folder)
{
    HIThemePushButtonImages images;
    HIThemeLoadPushButtonImages(folder, images);
    return images;
}

HITheme3PartImage HIThemeLoad3PartImage(const ShortString& resourceFolder)
{
    return HIThemeLoad3PartImage(ResourceFolder(resourceFolder));
}

HITheme9PartImage HIThemeLoad9PartImage(const ShortString& resourceFolder)
{
    return HIThemeLoad9PartImage(ResourceFolder(resourceFolder));
}

HIThemePushButtonImages HIThemeLoadPushButtonImages(const ShortString& resourceFolder)
{
    return HIThemeLoadPushButtonImages(ResourceFolder(resourceFolder));
}

void HIThemeRelease3PartImage(HITheme3PartImage& image)
{
    ReleasePieces(image);
}

void HIThemeRelease9PartImage(HITheme9PartImage& image)
{
    ReleasePieces(image);
}

void HIThemeReleasePushButtonImages(HIThemePushButtonImages& images)
{
    ReleasePieces(images);
}

// ---- drawing ----

void HIThemeDrawCustomButton(CGContextRef context, CGImageRef left, CGImageRef center, CGImageRef right, CGRect rect)
{
    CGRect r;
    if (context == nullptr || !WholeRect(rect, r) || r.size.width <= 0)
        return;
    const CGFloat leftWidth = ImageWidth(left), rightWidth = ImageWidth(right);
    const PlacedPiece middle =
        Place(center, r.origin.x + leftWidth, r.origin.y, r.size.width - (leftWidth + rightWidth), ImageHeight(center));
    DrawPicture(context, std::array{
                             Place(left, r.origin.x, r.origin.y, leftWidth, ImageHeight(left)),
                             middle,
                             Place(right, middle.rect.origin.x + middle.rect.size.width, r.origin.y, rightWidth,
                                   ImageHeight(right)),
                         });
}

void HIThemeDraw3PartImage(CGContextRef context, const HITheme3PartImage& image, CGRect rect)
{
    CGRect r;
    if (WholeRect(rect, r))
        HIThemeDrawCustomButton(context, image.left, image.center, image.right, r);
}

void HIThemeDrawPushButton(CGContextRef context, const HITheme3PartImage& image, CGRect rect)
{
    HIThemeDraw3PartImage(context, image, rect);
}

void HIThemeDrawPushButton(CGContextRef context, const HIThemePushButtonImages& images, CGRect rect, Boolean pressed)
{
    const HITheme3PartImage parts =
        pressed ? HITheme3PartImage{images.leftPressed, images.centerPressed, images.rightPressed}
                : HITheme3PartImage{images.left, images.center, images.right};
    HIThemeDrawPushButton(context, parts, rect);
}

void HIThemeDraw9PartImage(CGContextRef context, const HITheme9PartImage& image, CGRect rect)
{
    CGRect r;
    if (context == nullptr || !WholeRect(rect, r) || r.size.width <= 0 || r.size.height <= 0)
        return;
    // One corner size for all: the top-left piece's, or the first corner
    // there is when that one is missing, so that a missing piece only
    // leaves its own place empty.
    CGFloat c = 0;
    for (CGImageRef corner : {image.topLeft, image.topRight, image.bottomLeft, image.bottomRight})
        if (corner != nullptr) {
            c = ImageWidth(corner);
            break;
        }
    const CGFloat x = r.origin.x, y = r.origin.y;
    const CGFloat innerWidth = r.size.width - 2 * c, innerHeight = r.size.height - 2 * c;
    // The right column starts where the centre column ends.
    const CGFloat rightX = x + c + innerWidth, bottomY = y + r.size.height - c;
    DrawPicture(context, std::array{
                             Place(image.topLeft, x, y, c, c),
                             Place(image.topCenter, x + c, y, innerWidth, c),
                             Place(image.topRight, rightX, y, c, c),
                             Place(image.middleLeft, x, y + c, c, innerHeight),
                             Place(image.middleCenter, x + c, y + c, innerWidth, innerHeight),
                             Place(image.middleRight, rightX, y + c, c, innerHeight),
                             Place(image.bottomLeft, x, bottomY, c, c),
                             Place(image.bottomCenter, x + c, bottomY, innerWidth, c),
                             Place(image.bottomRight, rightX, bottomY, c, c),
                         });
}

void HIThemeDrawSquareButton(CGContextRef context, const HITheme9PartImage& image, CGRect rect)
{
    HIThemeDraw9PartImage(context, image, rect);
}
