// How a card draws its face: the coloured body with its shadow, gradient and
// frame artwork, the title and the title or background image, the widgets,
// the minimised strip, tabs, and the printed card. The face is drawn into
// the sprite's composite bitmap, whose user space has its origin at the
// top-left corner with y growing downwards (the canvas's), so "top" below
// means the smaller y.
#include "UGenericCard.h"

#include <SpriteEngine/SCGlobals.h>
#include <Units/Utilities/CGContextMore.h>
#include <Units/Utilities/CocoaUtilities.h>

#include <AppKit/NSColor.h>
#include <AppKit/NSFont.h>
#include <AppKit/NSTextDrawing.h>
#include <Foundation/NSString.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr CGFloat kFrameInset = 4;        // body inside the frame artwork
constexpr CGFloat kBodyRadius = 12;       // full-size body corners
constexpr CGFloat kMinimizedRadius = 14;  // minimised strip corners
constexpr CGFloat kMinimizedHeight = 36;  // the three-part strip's height
constexpr CGFloat kWidgetAlpha = 0.7;
constexpr CGFloat kTabThickness = 32;  // tabs grow in steps of this
constexpr CGFloat kTabLength = 224;    // 7 steps along the edge
constexpr CGFloat kTabTitleWidth = 175;

TPreferenceHandlerApplication* Prefs()
{
    return TApplication::Prefs();
}

bool PrefBoolean(const ShortString& key)
{
    return Prefs() != nullptr && Prefs()->GetBooleanValue(key);
}

SInt32 PrefInteger(const ShortString& key, SInt32 fallback)
{
    if (Prefs() == nullptr || !Prefs()->ContainsValue(key))
        return fallback;
    return Prefs()->GetIntegerValue(key);
}

// The font of a family and size preference; the fallback when the family is
// not set or the size is not a size.
NSFont* PrefFont(const ShortString& familyKey, const ShortString& sizeKey, CGFloat fallbackSize, bool bold)
{
    const ShortString family = Prefs() != nullptr ? Prefs()->GetStringValue(familyKey) : ShortString();
    SInt32 size = PrefInteger(sizeKey, SInt32(fallbackSize));
    if (size <= 0 || size > 200)
        size = SInt32(fallbackSize);
    if (!family.IsEmpty()) {
        NSString* name = NSStringUtilities::stringWithPascalString(family);
        if (NSFont* font = NSFont::fontWithName(name, size))
            return font;
    }
    return bold ? NSFont::boldSystemFontOfSize(size) : NSFont::systemFontOfSize(size);
}

void AddRoundedBody(CGContextRef context, CGRect rect, CGFloat radius)
{
    // Corners of `radius` points: arcs of radius / 2 in a space scaled by 2.
    CGContextAddRoundedRect(context, rect, 2.0, 2.0, radius / 2);
}

void SetCardShadow(CGContextRef context)
{
    CGContextSetShadow(context, CGSizeMake(5, -5), 10);
}

}  // namespace

// ---- colours and fonts ----

NSColor* TCard::GetBaseTextColor()
{
    if (IsPrinting())
        return NSColor::blackColor();
    if (PrefBoolean("TPreferences.adjustColor")) {
        const Float32 level = PrefInteger("TPreferences.adjustColorLevel", 60) * 0.01f;
        return GetLuminosity() > level ? NSColor::blackColor() : NSColor::whiteColor();
    }
    return CardServices::GetListColor();
}

NSAttributeDictionary* TCard::CopyTitleAttributes()
{
    NSAttributeDictionary* attributes = NSAttributeDictionary::newAttributes();
    attributes->setFont(PrefFont("title-font-family", "title-font-size", 18, true));
    attributes->setForegroundColor(NSColor::blackColor());
    NSMutableParagraphStyle* style = NSMutableParagraphStyle::paragraphStyle();
    style->setAlignment(NSCenterTextAlignment);
    style->setLineBreakMode(NSLineBreakByClipping);
    attributes->setParagraphStyle(style);
    return attributes;
}

NSFont* TCard::GetTabFont()
{
    const ShortString family = Prefs() != nullptr ? Prefs()->GetStringValue("tab-font-family") : ShortString();
    const SInt32 size = PrefInteger("tab-font-size", 12);
    if (!family.IsEmpty() && size > 0 && size <= 200) {
        if (NSFont* font = NSFont::fontWithName(NSStringUtilities::stringWithPascalString(family), size))
            return font;
    }
    return NSFont::boldSystemFontOfSize(12);
}

// ---- geometry ----

CGRect TCard::GetBodyFrame(CGRect rect) const
{
    return CGRectInset(rect, kFrameInset, kFrameInset);
}

CGRect TCard::GetCloseButtonFrame()
{
    const CGSize size = CGImageGetSize(GetCardArtwork().close);
    return CGRectMake(interiorFrame_.origin.x + 4, interiorFrame_.origin.y + 4, size.width, size.height);
}

CGRect TCard::GetGrowBoxFrame()
{
    const CGSize size = CGImageGetSize(GetCardArtwork().growBox);
    return CGRectMake(CGRectGetMaxX(interiorFrame_) - 4 - size.width, CGRectGetMaxY(interiorFrame_) - 4 - size.height,
                      size.width, size.height);
}

CGRect TCard::GetMinimizeFrame()
{
    const CGSize size =
        CGImageGetSize(IsMinimized() ? GetCardArtwork().minimizeClosed : GetCardArtwork().minimizeOpened);
    return CGRectMake(CGRectGetMaxX(interiorFrame_) - 6 - size.width, interiorFrame_.origin.y + 6, size.width,
                      size.height);
}

CGRect TCard::GetTitleImageFrame()
{
    // Beside the close box, as high as the title line.
    const CGFloat height = IsMinimized() ? 16 : std::max<CGFloat>(24, titleFrame_.size.height);
    CGRect frame = CGRectMake(interiorFrame_.origin.x + 26, interiorFrame_.origin.y + 6, 2 * height, height);
    if (IsMinimized())
        frame =
            CGRectCenterY(CGRectMake(frame.origin.x, interiorFrame_.origin.y, frame.size.width, 16), interiorFrame_);
    return frame;
}

UInt32 TCard::GetTitleMaximumWidth()
{
    SInt32 width = SInt32(std::trunc(GetWidth())) - 64;
    if (HasTitleImage())
        width -= SInt32(std::trunc(2 * titleImageWidth_));
    return UInt32(std::max<SInt32>(width, 0));
}

CGRect TCard::CalculateTitleBoundingFrame()
{
    if (title_ == nullptr || CFStringGetLength(title_) == 0) {
        titleFrame_ = CGRectZero;
        return titleFrame_;
    }
    NSAttributeDictionary* attributes = CopyTitleAttributes();
    NSFont* font = attributes->font();
    NSString* text = NSString::stringWithCFString(title_);
    NSString* shown = NSStringUtilities::stringByTruncating(text, font, GetTitleMaximumWidth());
    const CGFloat width = std::ceil(NSStringDrawing::sizeWithAttributes(shown, attributes).width);
    const CGFloat lineHeight = std::ceil(font->ascender() - font->descender() + font->leading());
    // A minimised strip has no room for the padding: its frame is the line.
    CGFloat height = IsMinimized() ? lineHeight : lineHeight + std::ceil(-font->descender()) + 8;
    height = std::min(height, interiorFrame_.size.height);
    CGRect frame = CGRectMake(0, 0, width, height);
    frame.origin.x = interiorFrame_.origin.x + std::trunc((interiorFrame_.size.width - width) / 2);
    if (IsMinimized())
        frame.origin.y = interiorFrame_.origin.y + std::trunc((interiorFrame_.size.height - height) / 2);
    else
        frame.origin.y = interiorFrame_.origin.y + 4;
    if (Prefs() != nullptr && Prefs()->GetStringValue("title-font-family") == "Chalkboard Bold")
        frame.origin.y -= 4;
    if (HasTitleImage())
        frame.origin.x += std::trunc(titleImageWidth_ / 2);
    attributes->release();
    titleFrame_ = frame;
    return frame;
}

CGEdge TCard::GetContentMargin()
{
    if (IsTab()) {
        const CGFloat below = IsTabVertical() ? 12 : GetTabBounds().size.height + 4;
        return CGEdge{8, below};
    }
    if (IsMinimized())
        return CGEdge{0, 0};
    return CGEdge{std::trunc(titleFrame_.size.height) + 4, 28};
}

CGRect TCard::GetContentFrame()
{
    CGRect frame = interiorFrame_;
    if (IsTab())
        frame = GetBodyFrame(GetExpandedTabFrame(GetBounds(), tabEdge_));
    else if (IsMinimized())
        frame = CGRectInset(frame, 24, 0);
    const CGEdge margin = GetContentMargin();
    frame.origin.y += margin.top;
    frame.size.height = std::max<CGFloat>(0, frame.size.height - margin.top - margin.bottom);
    return frame;
}

CGRect TCard::GetTabBounds()
{
    return IsTabVertical() ? CGRectMake(0, 0, kTabThickness, kTabLength) : CGRectMake(0, 0, kTabLength, kTabThickness);
}

CGRect TCard::GetExpandedTabFrame(CGRect rect, SInt32 edge)
{
    // The strip along the edge, a whole number of 32-point steps thick.
    const CGFloat thickness = kTabThickness + 2 * kFrameInset;
    switch (edge) {
    case 1:
        return CGRectMake(rect.origin.x, rect.origin.y, rect.size.width, thickness);
    case 4:
        return CGRectMake(rect.origin.x, CGRectGetMaxY(rect) - thickness, rect.size.width, thickness);
    case 2:
        return CGRectMake(rect.origin.x, rect.origin.y, thickness, rect.size.height);
    case 3:
        return CGRectMake(CGRectGetMaxX(rect) - thickness, rect.origin.y, thickness, rect.size.height);
    default:
        return rect;
    }
}

CGRect TCard::GetAlertFrame()
{
    return CGRectOffset(CGRectInset(GetFrame(), -14, -14), 1, 11);
}

// ---- the face ----

void TCard::HandleDrawComposite(CGContextRef context, bool& again, CGRect frame)
{
    SetHotRect(GetSize());
    const CGRect bounds = GetBounds();
    if (IsPrinting()) {
        if (!IsMinimized() && !IsTab()) {
            CGContextSaveGState(context);
            DrawPrinting(context);
            CGContextRestoreGState(context);
        }
        return;
    }
    if (IsTab()) {
        if (tabOpen_) {
            DrawExpandedTab(context, bounds, tabEdge_);
            Inherited::HandleDrawComposite(context, again, frame);
        } else {
            DrawTab(context, bounds, tabEdge_);
        }
        return;
    }

    // The shadow needs a margin around the body: a changed margin changes
    // the bitmap's size, so the face is drawn again at the new size.
    const CGSize inset = PrefBoolean("TPreferences.shadows") ? CGSizeMake(-12, -12) : CGSizeZero;
    if (!CGSizeEqualToSize(inset, GetFrameInset())) {
        SetFrameInset(inset);
        again = true;
    }
    CGContextSaveGState(context);
    if (inset.width != 0)
        SetCardShadow(context);
    if (IsMinimized())
        DrawMinimizedBackground(context, bounds);
    else
        DrawBackground(context, bounds);
    CGContextRestoreGState(context);

    CalculateTitleBoundingFrame();
    HandleDrawWidgets(context);
    DrawTitleImage(context);
    if (!editingTitle_)
        DrawTitle(context);
    Inherited::HandleDrawComposite(context, again, frame);
}

void TCard::DrawBackground(CGContextRef context, CGRect rect)
{
    const CGRect body = GetBodyFrame(rect);
    interiorFrame_ = body;
    CGContextSaveGState(context);
    CGContextSetRGBFillColor(context, color_);
    AddRoundedBody(context, body, kBodyRadius);
    CGContextFillPath(context);
    CGContextRestoreGState(context);
    // Only the body casts the shadow.
    CGContextClearShadow(context);

    DrawBackgroundImage(context, body);

    CGContextSaveGState(context);
    AddRoundedBody(context, body, kBodyRadius);
    CGContextClip(context);
    CGContextSetAlpha(context, PrefInteger("TPreferences.gradientOpacity", 80) * 0.01f);
    // Light at the top edge, shaded towards the bottom: the flipped space
    // turns the gradient's "upwards" into downwards on the card.
    CGContextDrawRGBGradient(context, body, MakeCGRGB(1, 1, 1, 0.45f), MakeCGRGB(0, 0, 0, 0.12f), false);
    CGContextRestoreGState(context);

    const CardArtwork& art = GetCardArtwork();
    HIThemeDraw9PartImage(context, IsFocused() ? art.frameFocused : art.frameNormal, rect);
}

void TCard::DrawMinimizedBackground(CGContextRef context, CGRect rect)
{
    const CGRect strip = CGRectMake(rect.origin.x, rect.origin.y, rect.size.width, kMinimizedHeight);
    const CGRect body = GetBodyFrame(strip);
    interiorFrame_ = body;
    CGContextSaveGState(context);
    CGContextSetRGBFillColor(context, color_);
    AddRoundedBody(context, body, kMinimizedRadius);
    CGContextFillPath(context);
    CGContextRestoreGState(context);
    CGContextClearShadow(context);

    CGContextSaveGState(context);
    AddRoundedBody(context, body, kMinimizedRadius);
    CGContextClip(context);
    CGContextSetAlpha(context, 0.35f);
    CGContextDrawRGBGradient(context, body, MakeCGRGB(1, 1, 1, 0.45f), MakeCGRGB(0, 0, 0, 0.12f), false);
    CGContextRestoreGState(context);

    const CardArtwork& art = GetCardArtwork();
    HIThemeDraw3PartImage(context, IsFocused() ? art.minimizedFocused : art.minimizedNormal, strip);
}

void TCard::DrawBackgroundImage(CGContextRef context, CGRect rect)
{
    if (IsMinimized() || !HasBackgroundImage())
        return;
    const CGSize size = CGImageGetSize(cardImage_);
    CGContextSaveGState(context);
    AddRoundedBody(context, rect, kBodyRadius);
    CGContextClip(context);
    CGContextSetAlpha(context, color_.alpha);
    switch (backgroundMode_) {
    case kBackgroundStretch:
        CanvasDrawImage(context, rect, cardImage_);
        break;
    case kBackgroundCenter:
        CanvasDrawImage(context, CGRectCenter(CGRectMake(0, 0, size.width, size.height), rect), cardImage_);
        break;
    case kBackgroundTile:
        if (size.width >= 1 && size.height >= 1) {
            for (CGFloat y = rect.origin.y; y < CGRectGetMaxY(rect); y += size.height)
                for (CGFloat x = rect.origin.x; x < CGRectGetMaxX(rect); x += size.width)
                    CanvasDrawImage(context, CGRectMake(x, y, size.width, size.height), cardImage_);
        }
        break;
    default:
        CanvasDrawImage(context, CGRectTruncate(CGRectScaleToFill(size, rect)), cardImage_);
        break;
    }
    CGContextRestoreGState(context);
}

void TCard::DrawTitleImage(CGContextRef context)
{
    if (!HasTitleImage() || editingTitle_)
        return;
    titleImageFrame_ = GetTitleImageFrame();
    const CGRect placed = CGRectCenter(CGRectScale(CGImageGetSize(cardImage_), titleImageFrame_.size, titleImageFrame_),
                                       titleImageFrame_);
    CanvasDrawImage(context, placed, cardImage_);
}

void TCard::DrawTitle(CGContextRef context)
{
    if (CGRectIsEmpty(titleFrame_))
        return;
    NSAttributeDictionary* attributes = CopyTitleAttributes();
    NSString* shown = NSStringUtilities::stringByTruncating(NSString::stringWithCFString(title_), attributes->font(),
                                                            GetTitleMaximumWidth());
    // An engraved look: a light copy one point below, the title over it.
    // On a dark card the light pass is fainter so the title stays crisp.
    const bool printing = IsPrinting();
    if (!printing) {
        const CGFloat lightAlpha = GetLuminosity() > 0.5f ? 0.6 : 0.3;
        attributes->setForegroundColor(NSColor::colorWithCalibratedWhite(1, lightAlpha));
        NSGraphicsContextOpenCGContext(context);
        CGContextDrawTextBox(context, CGRectOffset(titleFrame_, 0, 1), shown->cfString(), attributes);
        NSGraphicsContextCloseCGContext(context);
    }
    attributes->setForegroundColor(NSColor::blackColor());
    NSGraphicsContextOpenCGContext(context);
    CGContextDrawTextBox(context, titleFrame_, shown->cfString(), attributes);
    NSGraphicsContextCloseCGContext(context);
    attributes->release();
}

void TCard::DrawLabel(CFStringRef text, CGContextRef context)
{
    if (text == nullptr || CFStringGetLength(text) == 0)
        return;
    NSAttributeDictionary* attributes = NSAttributeDictionary::newAttributes();
    NSFont* font = NSFont::boldSystemFontOfSize(11);
    attributes->setFont(font);
    attributes->setForegroundColor(NSColor::whiteColor());
    const CGSize size = NSStringDrawing::sizeWithAttributes(text, attributes);
    constexpr CGFloat kLabelHeight = 18, kLabelEnds = 9;
    const CGFloat width = std::ceil(size.width) + 2 * kLabelEnds;
    CGRect label = CGRectMake(CGRectGetMaxX(interiorFrame_) - width, 0, width, kLabelHeight);
    label = CGRectCenterY(CGRectMake(label.origin.x, interiorFrame_.origin.y, width, kLabelHeight), interiorFrame_);
    CardServices::DrawLabelBackground(context, label);
    const CGRect textBox = CGRectMake(label.origin.x + kLabelEnds,
                                      label.origin.y + std::trunc((kLabelHeight - std::ceil(size.height)) / 2),
                                      std::ceil(size.width) + 1, std::ceil(size.height));
    NSGraphicsContextOpenCGContext(context);
    CGContextDrawTextBox(context, textBox, text, attributes);
    NSGraphicsContextCloseCGContext(context);
    attributes->release();
}

void TCard::DrawEmbeddedRepresentation(CGContextRef context, CGRect rect, CGFloat scale, bool highlighted)
{
    if (!(scale > 0))
        return;
    CGContextSaveGState(context);
    CGContextTranslateCTM(context, rect.origin.x, rect.origin.y);
    CGContextScaleCTM(context, scale, scale);
    const CGRect body = CGRectMake(0, 0, rect.size.width / scale, rect.size.height / scale);
    CGContextSaveGState(context);
    CGContextSetShadow(context, CGSizeMake(2, -2), 4);
    CGContextSetRGBFillColor(context, color_);
    AddRoundedBody(context, body, 8);
    CGContextFillPath(context);
    CGContextRestoreGState(context);
    CGContextSaveGState(context);
    AddRoundedBody(context, body, 8);
    CGContextClip(context);
    CGContextSetAlpha(context, 0.35f);
    CGContextDrawRGBGradient(context, body, MakeCGRGB(1, 1, 1, 0.45f), MakeCGRGB(0, 0, 0, 0.12f), false);
    CGContextRestoreGState(context);
    CGContextSetRGBStrokeColor(context, 0.5, 0.5, 0.5, highlighted ? 0.2 : 0.5);
    CGContextSetLineWidth(context, 4.5);
    AddRoundedBody(context, CGRectInset(body, 2.25, 2.25), 8);
    CGContextStrokePath(context);
    if (title_ != nullptr && CFStringGetLength(title_) > 0) {
        NSAttributeDictionary* attributes = NSAttributeDictionary::newAttributes();
        NSFont* font = PrefFont("list-font-family", "list-font-size", 11, false);
        attributes->setFont(font);
        attributes->setForegroundColor(GetBaseTextColor());
        NSMutableParagraphStyle* style = NSMutableParagraphStyle::paragraphStyle();
        style->setAlignment(NSCenterTextAlignment);
        attributes->setParagraphStyle(style);
        const CGFloat lineHeight = std::ceil(font->ascender() - font->descender() + font->leading());
        const CGRect line =
            CGRectMake(8, std::trunc((body.size.height - lineHeight) / 2), body.size.width - 16, lineHeight);
        NSGraphicsContextOpenCGContext(context);
        CGContextDrawTextBox(context, line, title_, attributes);
        NSGraphicsContextCloseCGContext(context);
        attributes->release();
    }
    CGContextRestoreGState(context);
}

void TCard::DrawPrinting(CGContextRef context)
{
    CGRect rect = CGRectInset(GetBounds(), 1, 1);
    rect.size.height -= 24;
    interiorFrame_ = rect;
    CGContextSetRGBFillColor(context, 1, 1, 1, 1);
    AddRoundedBody(context, rect, kBodyRadius);
    CGContextFillPath(context);
    CGContextSetRGBStrokeColor(context, 0, 0, 0, 1);
    CGContextSetLineWidth(context, 2);
    AddRoundedBody(context, rect, kBodyRadius);
    CGContextStrokePath(context);
    CalculateTitleBoundingFrame();
    DrawTitle(context);
}

void TCard::HandleDrawWidgets(CGContextRef context)
{
    const CardArtwork& art = GetCardArtwork();
    CGContextSaveGState(context);
    CGContextSetAlpha(context, kWidgetAlpha);
    if (art.close != nullptr)
        CanvasDrawImage(context, GetCloseButtonFrame(), art.close);
    if (!IsMinimized() && art.growBox != nullptr)
        CanvasDrawImage(context, GetGrowBoxFrame(), art.growBox);
    if (PrefBoolean("TPreferences.showMinimize")) {
        CGImageRef image = IsMinimized() ? art.minimizeClosed : art.minimizeOpened;
        if (image != nullptr)
            CanvasDrawImage(context, GetMinimizeFrame(), image);
    }
    CGContextRestoreGState(context);
}

// ---- tabs ----

void TCard::DrawTab(CGContextRef context, CGRect rect, SInt32 edge)
{
    const CGRect tab = GetExpandedTabFrame(rect, edge);
    const CGRect body = GetBodyFrame(tab);
    interiorFrame_ = body;
    CGContextBeginTransparencyLayer(context, nullptr);
    CGContextSaveGState(context);
    SetCardShadow(context);
    CGContextSetRGBFillColor(context, color_);
    AddRoundedBody(context, body, kBodyRadius);
    CGContextFillPath(context);
    CGContextRestoreGState(context);
    const CardArtwork& art = GetCardArtwork();
    HIThemeDraw9PartImage(context, IsFocused() ? art.frameFocused : art.frameNormal, tab);
    DrawTabTitle(context, body, edge);
    CGContextEndTransparencyLayer(context);
}

void TCard::DrawTabTitle(CGContextRef context, CGRect rect, SInt32 edge)
{
    if (title_ == nullptr || CFStringGetLength(title_) == 0)
        return;
    NSAttributeDictionary* attributes = CopyTitleAttributes();
    attributes->setFont(GetTabFont());
    NSString* shown =
        NSStringUtilities::stringByTruncating(NSString::stringWithCFString(title_), GetTabFont(), kTabTitleWidth);
    const bool vertical = edge == 2 || edge == 3;
    CGContextSaveGState(context);
    CGRect box = rect;
    if (vertical) {
        // A quarter turn: the text runs along the tab.
        if (edge == 2)
            CGContextRotateCCW(context, rect);
        else
            CGContextRotateCW(context, rect);
        box = CGRectMake(rect.origin.x, rect.origin.y, rect.size.height, rect.size.width);
    }
    const CGFloat lineHeight = std::ceil(GetTabFont()->ascender() - GetTabFont()->descender());
    box = CGRectMake(box.origin.x, box.origin.y + std::trunc((box.size.height - lineHeight) / 2), box.size.width,
                     lineHeight + 2);
    NSGraphicsContextOpenCGContext(context);
    CGContextDrawTextBox(context, box, shown->cfString(), attributes);
    NSGraphicsContextCloseCGContext(context);
    CGContextRestoreGState(context);
    attributes->release();
}

void TCard::DrawExpandedTab(CGContextRef context, CGRect rect, SInt32)
{
    // An open tab is the full card, shadowed, with its tab strip shown by
    // the frame at the card's edge.
    SetFrameInset(CGSizeMake(-12, -12));
    CGContextSaveGState(context);
    SetCardShadow(context);
    DrawBackground(context, rect);
    CGContextRestoreGState(context);
    CalculateTitleBoundingFrame();
    DrawTitle(context);
}

void TCard::DrawScreenTracking(CGContextRef context)
{
    if (screenTrackingEdge_ == 0)
        return;
    const CGRect preview = CGRectCenter(GetTabBounds(), GetBounds());
    const SInt32 saved = tabEdge_;
    tabEdge_ = screenTrackingEdge_;
    DrawTab(context, preview, screenTrackingEdge_);
    tabEdge_ = saved;
}

// ---- the drawn image ----

void TCard::HandleDrawDragImage(CGContextRef context, CGRect)
{
    CGContextSaveGState(context);
    HandleDraw(context);
    CGContextRestoreGState(context);
}

void TCard::DrawTitleImageHilite(CGContextRef context)
{
    CGContextSaveGState(context);
    CGContextSetRGBStrokeColor(context, 0.23, 0.51, 0.87, 0.5);
    CGContextSetLineWidth(context, 4);
    AddRoundedBody(context, titleImageFrame_, 8);
    CGContextStrokePath(context);
    CGContextRestoreGState(context);
}

void TCard::DrawTrackingHilite(CGContextRef context)
{
    CGRect rect = CGRectInset(GetBounds(), 2, 2);
    if (IsTab()) {
        const CGFloat shift = 100;
        switch (tabEdge_) {
        case 1:
            rect.origin.y -= shift;
            break;
        case 2:
            rect.origin.x -= shift;
            break;
        case 3:
            rect.origin.x += shift;
            break;
        case 4:
            rect.origin.y += shift;
            break;
        default:
            break;
        }
    }
    CGContextSaveGState(context);
    CGContextSetRGBStrokeColor(context, 0.23, 0.51, 0.87, 0.5);
    CGContextSetLineWidth(context, 6);
    AddRoundedBody(context, rect, kBodyRadius);
    CGContextStrokePath(context);
    CGContextRestoreGState(context);
}

void TCard::HandleDrawImage(CGImageRef image, CGRect rect, CGContextRef context)
{
    // Before its opening curl a new card is not shown.
    if (waitingForInitialState_ && !IsTransitioning())
        return;
    if (screenTrackingEdge_ != 0)
        DrawScreenTracking(context);
    CGContextSaveGState(context);
    if (obscured_)
        CGContextSetAlpha(context, 0.2f);
    Inherited::HandleDrawImage(image, rect, context);
    CGContextRestoreGState(context);
    if (tracking_)
        DrawTrackingHilite(context);
    if (trackingTitleImage_)
        DrawTitleImageHilite(context);
}

void TCard::HandleProcess()
{
    Inherited::HandleProcess();
    if ((IsTab() || IsMinimized()) && PrefBoolean("TPreferences.placeOverDesktop")) {
        TApplication* application = TApplication::Current();
        const bool visible = application != nullptr && application->IsActivated();
        if (visible != IsVisible())
            SetVisible(visible);
    }
}
