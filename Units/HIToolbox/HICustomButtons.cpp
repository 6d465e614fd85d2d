#include "HICustomButtons.h"

#include <Units/Utilities/CGUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <HIToolbox/ControlKinds.h>
#include <HIToolbox/HITheme.h>
#include <HIToolbox/Menus.h>
#include <Support/Diagnostics.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

CGImageRef ButtonIcons[kCustomButtonClassCount][kCustomButtonImageCount] = {};
CGImageRef TabImages[kCustomTabStyleCount][kCustomTabImageSlots] = {};
EventHandlerUPP CustomButtonEventHandler = nullptr;

namespace {

// ---- names ----

struct StyleName {
    std::string_view name;
    SInt16 buttonClass;
};
constexpr StyleName kStyleNames[] = {
    {"BevelCorner", kCustomButtonClassBevelCorner}, {"SmoothBlue", kCustomButtonClassBevelCorner},
    {"RoundCorner", kCustomButtonClassRoundCorner}, {"FlatGrey", kCustomButtonClassRoundCorner},
    {"Silver", kCustomButtonClassSilver},           {"DarkGrey", kCustomButtonClassSilver},
    {"Toolbar", kCustomButtonClassToolbar},         {"TextOnly", kCustomButtonClassTextOnly},
    {"WindowHeader", kCustomButtonClassTextOnly},
};

// The artwork folder of each class; the text-only class has none.
constexpr const char* kClassFolders[kCustomButtonClassCount] = {"Bevel Corner", "Round Corner", "Silver", "Toolbar",
                                                                nullptr};
constexpr const char* kButtonImageNames[kCustomButtonImageCount] = {
    "seperator.png",        "popup arrows.png",    "active_content.png", "active_left.png",
    "active_right.png",     "pressed_content.png", "pressed_left.png",   "pressed_right.png",
    "selected_content.png", "selected_left.png",   "selected_right.png",
};

constexpr const char* kTabStyleFolders[kCustomTabStyleCount] = {"standard", "glossy metal", "metallic", "toolbar"};
constexpr const char* kTabImageNames[kCustomTabImageFiles] = {
    "background.png",
    "left_active.png",
    "left_inactive.png",
    "left_pressed.png",
    "right_active.png",
    "right_inactive.png",
    "right_pressed.png",
    "center_active.png",
    "center_inactive.png",
    "center_pressed.png",
    "closebox_active.png",
    "closebox_inactive.png",
    "closebox_pressed.png",
    "closebox_active_pressed.png",
    "closebox_inactive_pressed.png",
};

// Our own bookkeeping on a styled view: the handler installed on it (so
// that styling it again installs no second one), and the unknown style
// name last refused (so that it is reported once).
constexpr OSType kHandlerTag = FourCC("hndl");
constexpr OSType kRefusedStyleTag = FourCC("rfsd");

constexpr EventTypeSpec kCustomButtonEvents[] = {
    {kEventClassControl, kEventControlDraw},
    {kEventClassControl, kEventControlHitTest},
};

constexpr CGFloat kDimmedAlpha = 0.4;
constexpr CGFloat kMeasuredSegmentMargin = 8;
constexpr IconTransformType kTransformFromState = IconTransformType(65535);

// ---- the artwork ----

bool ValidClass(SInt16 buttonClass)
{
    return buttonClass >= 1 && buttonClass <= kCustomButtonClassCount;
}

CGImageRef ButtonImage(SInt16 buttonClass, int which)
{
    if (!ValidClass(buttonClass) || which < 0 || which >= kCustomButtonImageCount)
        return nullptr;
    return ButtonIcons[buttonClass - 1][which];
}

CGImageRef TabImage(SInt16 style, int which)
{
    if (style < 1 || style > kCustomTabStyleCount || which < 0 || which >= kCustomTabImageSlots)
        return nullptr;
    return TabImages[style - 1][which];
}

void Replace(CGImageRef& slot, CGImageRef image)
{
    if (slot != nullptr)
        CGImageRelease(slot);
    slot = image;
}

// Loads one file into its slot; Err tells whether the file was there.
void LoadImage(CGImageRef& slot, const char* file, const ShortString& folder)
{
    Replace(slot, CGImageLoadFromResource(ShortString(file), folder));
    Err = slot != nullptr ? noErr : fnfErr;
}

// ---- the view's state ----

SInt16 PropertyInt16(HIViewRef view, OSType tag)
{
    SInt16 value = 0;
    ByteCount size = 0;
    if (GetControlProperty(view, kCustomButtonPropertyCreator, tag, sizeof value, &size, &value) != noErr ||
        size != sizeof value)
        return 0;
    return value;
}

OSType KindOf(HIViewRef view)
{
    ControlKind kind = {};
    return GetControlKind(view, &kind) == noErr ? kind.kind : 0;
}

bool IsActive(HIViewRef view)
{
    return HIViewIsActive(view, nullptr);
}

bool IsEnabled(HIViewRef view)
{
    return HIViewIsEnabled(view, nullptr);
}

// Inactive or disabled: drawn at kDimmedAlpha.
bool IsDimmed(HIViewRef view)
{
    return !IsActive(view) || !IsEnabled(view);
}

enum DrawState : int {
    kDrawActive = 1,
    kDrawPressed = 2,
};

int GetDrawState(HIViewRef view)
{
    return GetControlHilite(view) != kControlNoPart && IsActive(view) && IsEnabled(view) ? kDrawPressed : kDrawActive;
}

ControlSize SizeOf(HIViewRef view)
{
    ControlSize size = kControlSizeNormal;
    if (GetControlData(view, kControlEntireControl, kControlSizeTag, sizeof size, &size, nullptr) != noErr)
        return kControlSizeNormal;
    return size;
}

ThemeFontID TitleFont(HIViewRef view)
{
    switch (SizeOf(view)) {
    case kControlSizeNormal:
        return kThemeSmallSystemFont;
    case kControlSizeSmall:
    case kControlSizeMini:
        return kThemeLabelFont;
    case kControlSizeLarge:
        return kThemeViewsFont;
    default:
        return kThemeSmallSystemFont;
    }
}

HIRect BoundsOf(HIViewRef view)
{
    HIRect bounds = CGRectZero;
    HIViewGetBounds(view, &bounds);
    return bounds;
}

// The graphics state saved for a scope, restored however the scope ends.
class SavedState {
public:
    explicit SavedState(CGContextRef context) : context_(context) { CGContextSaveGState(context_); }
    ~SavedState() { CGContextRestoreGState(context_); }
    SavedState(const SavedState&) = delete;
    SavedState& operator=(const SavedState&) = delete;

private:
    CGContextRef context_;
};

// Draws the image stretched over `rect`, the right way up in a view
// context; a rectangle without extent would draw it mirrored or not at
// all, and draws nothing.
void DrawImage(CGContextRef context, CGImageRef image, CGRect rect)
{
    if (image == nullptr || !(rect.size.width > 0) || !(rect.size.height > 0))
        return;
    HIViewDrawCGImage(context, &rect, image);
}

CGFloat WidthOf(CGImageRef image)
{
    return image != nullptr ? CGFloat(CGImageGetWidth(image)) : 0;
}

CGFloat HeightOf(CGImageRef image)
{
    return image != nullptr ? CGFloat(CGImageGetHeight(image)) : 0;
}

// ---- the pieces of every look ----

void DrawStandardBackground(HIViewRef view, CGContextRef context, int state, CGRect rect)
{
    const SInt16 buttonClass = HICustomButtonGetClass(view);
    if (buttonClass == kCustomButtonClassTextOnly || !ValidClass(buttonClass))
        return;
    int content = kCustomButtonActiveContent;
    switch (state) {
    case kDrawPressed:
        content = kCustomButtonPressedContent;
        break;
    case 3:  // states that show no artwork
    case 6:
        return;
    default:
        break;
    }
    CGImageRef middle = ButtonImage(buttonClass, content);
    CGImageRef left = ButtonImage(buttonClass, content + 1);
    CGImageRef right = ButtonImage(buttonClass, content + 2);
    SavedState saved(context);
    if (IsDimmed(view))
        CGContextSetAlpha(context, kDimmedAlpha);
    const CGFloat leftWidth = WidthOf(left), rightWidth = WidthOf(right);
    DrawImage(context, left, CGRectMake(rect.origin.x, rect.origin.y, leftWidth, rect.size.height));
    DrawImage(context, right,
              CGRectMake(rect.origin.x + rect.size.width - rightWidth, rect.origin.y, rightWidth, rect.size.height));
    // Between the ends; nothing when the ends fill the width.
    if (left != nullptr && middle != nullptr && right != nullptr)
        DrawImage(context, middle,
                  CGRectMake(rect.origin.x + leftWidth, rect.origin.y, rect.size.width - leftWidth - rightWidth,
                             rect.size.height));
}

void DrawStandardTitle(CFStringRef title, HIThemeTextHorizontalFlush flush, HIViewRef view, CGContextRef context,
                       CGRect textRect)
{
    if (title == nullptr || CFStringGetLength(title) == 0 || !(textRect.size.width > 0))
        return;
    SavedState saved(context);
    CGContextSetRGBFillColor(context, 0, 0, 0, IsDimmed(view) ? kDimmedAlpha : 0.8);
    HIThemeTextInfo info = {};
    info.version = 0;
    info.state = kThemeStateActive;
    info.fontID = TitleFont(view);
    info.horizontalFlushness = flush;
    info.verticalFlushness = kHIThemeTextVerticalFlushCenter;
    info.options = kHIThemeTextBoxOptionNone;
    info.truncationPosition = kHIThemeTextTruncationEnd;
    info.truncationMaxLines = 1;
    HIThemeDrawTextBox(title, &textRect, &info, context, kHIThemeOrientationNormal);
}

void DrawStandardPopupArrows(HIViewRef view, CGContextRef context, CGRect rect)
{
    SInt16 buttonClass = HICustomButtonGetClass(view);
    if (buttonClass == kCustomButtonClassTextOnly)
        buttonClass = kCustomButtonClassRoundCorner;
    CGImageRef arrows = ButtonImage(buttonClass, kCustomButtonPopupArrows);
    if (arrows == nullptr)
        return;
    const CGFloat height = HeightOf(arrows);
    // On whole points, so that the artwork stays sharp.
    const CGRect place =
        CGRectMake(rect.origin.x + rect.size.width - 12,
                   rect.origin.y + std::floor(rect.size.height / 2) - std::floor(height / 2), WidthOf(arrows), height);
    SavedState saved(context);
    if (IsDimmed(view))
        CGContextSetAlpha(context, kDimmedAlpha);
    DrawImage(context, arrows, place);
}

// The menu item a pop-up or bevel button shows: its value (a bevel
// button's last chosen item), when it names an item of its menu; 0 for none.
MenuItemIndex SelectedItem(HIViewRef view, MenuRef menu)
{
    if (menu == nullptr)
        return 0;
    SInt32 value = 0;
    if (KindOf(view) == kControlKindBevelButton) {
        SInt16 chosen = 0;
        if (GetControlData(view, kControlEntireControl, kControlBevelButtonMenuValueTag, sizeof chosen, &chosen,
                           nullptr) == noErr)
            value = chosen;
    } else {
        value = GetControl32BitValue(view);
    }
    return value > 0 && value <= SInt32(CountMenuItems(menu)) ? MenuItemIndex(value) : 0;
}

// The icon of the item shown, nil for none: an IconRef or a CGImageRef
// as the type says.
Handle SelectedItemIcon(HIViewRef view, UInt8& type)
{
    MenuRef menu = HIViewGetMenu(view);
    const MenuItemIndex item = SelectedItem(view, menu);
    Handle icon = nullptr;
    type = kMenuNoIcon;
    if (item == 0 || GetMenuItemIconHandle(menu, item, &type, &icon) != noErr)
        return nullptr;
    return type == kMenuIconRefType || type == kMenuCGImageRefType ? icon : nullptr;
}

void DrawStandardMenuContent(HIViewRef view, CGContextRef context, CGRect rect)
{
    UInt8 type = kMenuNoIcon;
    Handle icon = SelectedItemIcon(view, type);
    if (icon == nullptr)
        return;
    SavedState saved(context);
    // A 14-point icon 7 points in, centred on the height, drawn in the
    // y-up space icons are plotted in.
    CGContextTranslateCTM(context, 0, rect.origin.y + std::floor((rect.size.height + 14) / 2));
    CGContextScaleCTM(context, 1, -1);
    const CGRect place = CGRectMake(rect.origin.x + 7, 0, 14, 14);
    if (type == kMenuIconRefType) {
        PlotIconRefInContext(context, &place, kAlignAbsoluteCenter,
                             IsActive(view) ? kTransformNone : kTransformDisabled, nullptr, kPlotIconRefNormalFlags,
                             reinterpret_cast<IconRef>(icon));
    } else {
        if (!IsActive(view))
            CGContextSetAlpha(context, kDimmedAlpha);
        CGContextDrawImage(context, place, reinterpret_cast<CGImageRef>(icon));
    }
}

// The content image of a bevel button or a segment, centred in `rect`.
void DrawStandardImage(const ControlButtonContentInfo& content, IconTransformType transform, HIViewRef view,
                       CGRect rect, CGContextRef context)
{
    int side = 16;
    switch (SizeOf(view)) {
    case kControlSizeNormal:
        side = rect.size.height >= 20 ? 16 : 14;
        break;
    case kControlSizeSmall:
        side = 12;
        break;
    case kControlSizeLarge:
        side = 16;
        break;
    case kControlSizeMini:
        side = 10;
        break;
    default:
        side = 16;
        break;
    }
    const CGRect place = CGRectMake(std::floor(rect.origin.x + rect.size.width / 2) - side / 2,
                                    std::floor(rect.origin.y + rect.size.height / 2) - side / 2, side, side);
    SavedState saved(context);
    // Flipped about the middle of `rect`: the centred square stays where it is.
    CGContextTranslateCTM(context, 0, 2 * rect.origin.y + rect.size.height);
    CGContextScaleCTM(context, 1, -1);
    if (content.contentType == kControlContentCGImageRef && content.u.imageRef != nullptr) {
        if (IsDimmed(view))
            CGContextSetAlpha(context, kDimmedAlpha);
        CGContextDrawImage(context, place, content.u.imageRef);
    } else if (content.contentType == kControlContentIconRef && content.u.iconRef != nullptr) {
        if (transform == kTransformFromState)
            transform = GetControlHilite(view) != kControlNoPart ? kTransformSelected
                        : IsDimmed(view)                         ? kTransformDisabled
                                                                 : kTransformNone;
        PlotIconRefInContext(context, &place, kAlignAbsoluteCenter, transform, nullptr, kPlotIconRefNormalFlags,
                             content.u.iconRef);
    }
}

// ---- the kinds ----

void DrawPushButton(HIViewRef view, CGContextRef context, CGRect rect)
{
    DrawStandardBackground(view, context, GetDrawState(view), rect);
    CFRef<CFStringRef> title(HIViewCopyText(view));
    if (title)
        DrawStandardTitle(title.get(), kHIThemeTextHorizontalFlushCenter, view, context, rect);
}

void DrawPopupButton(HIViewRef view, CGContextRef context, CGRect rect)
{
    DrawStandardBackground(view, context, GetDrawState(view), rect);
    DrawStandardMenuContent(view, context, rect);
    UInt8 iconType = kMenuNoIcon;
    const bool hasIcon = SelectedItemIcon(view, iconType) != nullptr;
    const CGFloat margin = HICustomButtonGetClass(view) == kCustomButtonClassTextOnly ? 1.0 : hasIcon ? 24.0 : 10.0;
    const CGRect textRect =
        CGRectMake(rect.origin.x + margin, rect.origin.y, rect.size.width - (2 * margin + 1), rect.size.height);
    MenuRef menu = HIViewGetMenu(view);
    const MenuItemIndex item = SelectedItem(view, menu);
    CFStringRef text = nullptr;
    if (item != 0 && CopyMenuItemTextAsCFString(menu, item, &text) == noErr && text != nullptr) {
        DrawStandardTitle(text, kHIThemeTextHorizontalFlushLeft, view, context, textRect);
        CFRelease(text);
    }
    DrawStandardPopupArrows(view, context, rect);
}

void DrawBevelButton(HIViewRef view, CGContextRef context, CGRect rect)
{
    DrawStandardBackground(view, context, GetDrawState(view), rect);
    ControlButtonContentInfo content = {};
    if (GetBevelButtonContentInfo(view, &content) != noErr)
        content.contentType = kControlContentTextOnly;
    DrawStandardMenuContent(view, context, rect);
    if (content.contentType == kControlContentCGImageRef || content.contentType == kControlContentIconRef)
        DrawStandardImage(content, kTransformFromState, view, rect, context);
    CFStringRef title = nullptr;
    if (CopyControlTitleAsCFString(view, &title) == noErr && title != nullptr) {
        DrawStandardTitle(title, kHIThemeTextHorizontalFlushCenter, view, context, rect);
        CFRelease(title);
    }
    if (HIViewGetMenu(view) != nullptr) {
        const HIRect arrow = CGRectMake(rect.origin.x + rect.size.width - 14, rect.origin.y, 9, rect.size.height);
        const HIThemePopupArrowDrawInfo info = {0, IsDimmed(view) ? kThemeStateInactive : kThemeStateActive,
                                                kThemeArrowDown, kThemeArrow7pt};
        SavedState saved(context);
        CGContextSetRGBFillColor(context, 0, 0, 0, IsDimmed(view) ? kDimmedAlpha : 0.8);
        HIThemeDrawPopupArrow(&arrow, &info, context, kHIThemeOrientationNormal);
    }
}

// Where the segments of a segmented view lie, as drawn: each its content
// width plus 6 points (the first 2 more), a separator's width between two,
// the last reaching the right edge. A segment that sizes itself measures
// its label and image, with a margin. No segment is wider than what is left of the
// bounds, none narrower than nothing.
std::vector<CGRect> SegmentRects(HIViewRef view, CGRect bounds)
{
    const UInt32 count = HISegmentedViewGetSegmentCount(view);
    CGImageRef separator = HICustomButtonGetClass(view) == kCustomButtonClassTextOnly
                               ? nullptr
                               : ButtonImage(HICustomButtonGetClass(view), kCustomButtonSeparator);
    const CGFloat separatorWidth = WidthOf(separator);
    const CGFloat right = bounds.origin.x + bounds.size.width;
    std::vector<CGRect> rects;
    CGFloat x = bounds.origin.x;
    for (UInt32 i = 1; i <= count; ++i) {
        Boolean automatic = false;
        CGFloat content = HISegmentedViewGetSegmentContentWidth(view, i, &automatic);
        if (automatic && content <= 0) {
            CFStringRef label = nullptr;
            if (HISegmentedViewCopySegmentLabel(view, i, &label) == noErr && label != nullptr) {
                HIThemeTextInfo info = {};
                info.fontID = TitleFont(view);
                info.truncationMaxLines = 1;
                CGFloat width = 0;
                if (HIThemeGetTextDimensions(label, 0, &info, &width, nullptr, nullptr) == noErr)
                    content = std::ceil(width);
                CFRelease(label);
            }
            if (HISegmentedViewGetSegmentImageContentType(view, i) != kControlNoContent)
                content += 16 + (content > 0 ? 4 : 0);
            // Room around what was measured, so that a label does not
            // touch the segment's ends.
            if (content > 0)
                content += kMeasuredSegmentMargin;
        }
        CGFloat width = std::max<CGFloat>(content, 0) + 6;
        if (i == 1) {
            width += 2;
        } else if (separator != nullptr) {
            x += separatorWidth;
            width -= separatorWidth;
        }
        if (i == count)
            width = right - x;
        x = std::min(x, right);
        width = std::clamp<CGFloat>(width, 0, right - x);
        rects.push_back(CGRectMake(x, bounds.origin.y, width, bounds.size.height));
        x += width;
    }
    return rects;
}

void DrawSegmentView(HIViewRef view, CGContextRef context, CGRect rect)
{
    DrawStandardBackground(view, context, kDrawActive, rect);
    const SInt16 buttonClass = HICustomButtonGetClass(view);
    const std::vector<CGRect> segments = SegmentRects(view, rect);
    const bool active = IsActive(view);
    const ControlPartCode pressed = GetControlHilite(view);
    for (size_t index = 0; index < segments.size(); ++index) {
        const UInt32 segment = UInt32(index + 1);
        const CGRect area = segments[index];
        if (!(area.size.width > 0))
            continue;
        {
            SavedState saved(context);
            CGContextClipToRect(context, area);
            if (active && !HISegmentedViewIsSegmentEnabled(view, segment)) {
                CGContextSetAlpha(context, kDimmedAlpha);
                DrawStandardBackground(view, context, kDrawPressed, rect);
            } else if (active && HISegmentedViewGetSegmentValue(view, segment) != 0) {
                // The selected segment: the active artwork darkened.
                CGContextSetAlpha(context, 0.6);
                CGContextSetBlendMode(context, kCGBlendModeMultiply);
                DrawStandardBackground(view, context, kDrawActive, rect);
            }
        }
        if (pressed == ControlPartCode(segment)) {
            SavedState saved(context);
            CGContextClipToRect(context, area);
            DrawStandardBackground(view, context, kDrawPressed, rect);
        }
        CFStringRef label = nullptr;
        if (HISegmentedViewCopySegmentLabel(view, segment, &label) == noErr && label != nullptr) {
            DrawStandardTitle(label, kHIThemeTextHorizontalFlushCenter, view, context,
                              CGRectMake(area.origin.x + 3, area.origin.y, area.size.width - 3, area.size.height));
            CFRelease(label);
        }
        if (buttonClass != kCustomButtonClassTextOnly && index + 1 < segments.size()) {
            CGImageRef separator = ButtonImage(buttonClass, kCustomButtonSeparator);
            SavedState saved(context);
            if (IsDimmed(view))
                CGContextSetAlpha(context, kDimmedAlpha);
            DrawImage(context, separator,
                      CGRectMake(area.origin.x + area.size.width, rect.origin.y, WidthOf(separator), rect.size.height));
        }
    }
}

void DrawPlacard(HIViewRef view, CGContextRef context, CGRect bounds)
{
    SavedState saved(context);
    // Strokes run along the inside of the edge: the view's clip would cut
    // half of a line drawn on it.
    const CGRect edge = CGRectInset(bounds, 0.5, 0.5);
    auto fillAndStroke = [&](ThemeBrush brush, CGFloat strokeAlpha) {
        HIThemeSetFill(brush, nullptr, context, kHIThemeOrientationNormal);
        HIThemeSetStroke(brush, nullptr, context, kHIThemeOrientationNormal);
        CGContextSetAlpha(context, 0.2);
        CGContextFillRect(context, bounds);
        CGContextSetAlpha(context, strokeAlpha);
        CGContextStrokeRect(context, edge);
    };
    switch (HICustomButtonGetClass(view)) {
    case kCustomButtonClassBevelCorner:
        fillAndStroke(kThemeBrushSecondaryHighlightColor, 0.9);
        break;
    case kCustomButtonClassRoundCorner:
        fillAndStroke(kThemeBrushBlack, 0.5);
        break;
    case kCustomButtonClassSilver: {
        CGImageRef tile = TabImage(PropertyInt16(view, kCustomButtonPropertyTagToolbarKind), kCustomTabBackground);
        const CGFloat width = WidthOf(tile);
        if (tile == nullptr || width < 1)
            break;
        const CGFloat right = bounds.origin.x + bounds.size.width;
        for (CGFloat x = bounds.origin.x; x <= right; x += width)
            DrawImage(context, tile, CGRectMake(x, bounds.origin.y, width, HeightOf(tile)));
        break;
    }
    case kCustomButtonClassToolbar:
        CGContextSetRGBFillColor(context, 0.9, 0.9, 0.9, 1.0);
        CGContextFillRect(context, bounds);
        CGContextSetShouldAntialias(context, true);
        CGContextSetRGBFillColor(context, 0, 0, 0, 0.5);
        CGContextFillRect(context,
                          CGRectMake(bounds.origin.x, bounds.origin.y + bounds.size.height - 1, bounds.size.width, 1));
        break;
    default:
        break;
    }
}

// The segment under a point of the view, as SegmentRects lays them out;
// a disabled segment takes no click.
ControlPartCode SegmentAt(HIViewRef view, HIPoint point)
{
    const std::vector<CGRect> segments = SegmentRects(view, BoundsOf(view));
    for (size_t index = 0; index < segments.size(); ++index)
        if (CGRectContainsPoint(segments[index], point))
            return HISegmentedViewIsSegmentEnabled(view, UInt32(index + 1)) ? ControlPartCode(index + 1)
                                                                            : kControlNoPart;
    return kControlNoPart;
}

OSStatus HandleCustomButtonEvent(EventRef event, HIViewRef view)
{
    if (!IsValidControlHandle(view) || !ValidClass(HICustomButtonGetClass(view)))
        return eventNotHandledErr;
    const OSType kind = KindOf(view);
    if (GetEventKind(event) == kEventControlHitTest) {
        if (kind != kControlKindSegmentedView)
            return eventNotHandledErr;
        HIPoint point = {};
        if (GetEventParameter(event, kEventParamMouseLocation, typeHIPoint, nullptr, sizeof point, nullptr, &point) !=
            noErr)
            return eventNotHandledErr;
        const ControlPartCode part = SegmentAt(view, point);
        SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
        return noErr;
    }
    CGContextRef context = nullptr;
    if (GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context, nullptr,
                          &context) != noErr ||
        context == nullptr)
        return eventNotHandledErr;
    const CGRect bounds = BoundsOf(view);
    SavedState saved(context);
    switch (kind) {
    case kControlKindBevelButton:
        DrawBevelButton(view, context, bounds);
        return noErr;
    case kControlKindPlacard:
    case kControlKindUserPane:
        DrawPlacard(view, context, bounds);
        return noErr;
    case kControlKindPopupButton:
        DrawPopupButton(view, context, bounds);
        return noErr;
    case kControlKindPushButton:
        DrawPushButton(view, context, bounds);
        return noErr;
    case kControlKindSegmentedView:
        DrawSegmentView(view, context, bounds);
        return noErr;
    default:
        return eventNotHandledErr;  // the theme draws it
    }
}

OSStatus CustomButtonEvent(EventHandlerCallRef, EventRef event, void* userData)
{
    try {
        return HandleCustomButtonEvent(event, static_cast<HIViewRef>(userData));
    } catch (...) {
        Diagnostics::ReportException("CustomButtonEventHandler");
        return noErr;
    }
}

bool HasHandler(HIViewRef view)
{
    EventHandlerRef handler = nullptr;
    ByteCount size = 0;
    return GetControlProperty(view, kCustomButtonPropertyCreator, kHandlerTag, sizeof handler, &size, &handler) ==
               noErr &&
           size == sizeof handler && GetEventHandlerTarget(handler) == GetControlEventTarget(view);
}

ShortString StringProperty(HIViewRef view, OSType creator, OSType tag, bool& present)
{
    present = false;
    ByteCount size = 0;
    if (GetControlPropertySize(view, creator, tag, &size) != noErr)
        return ShortString();
    present = true;
    std::vector<char> bytes(size);
    ByteCount actual = 0;
    if (size == 0 || GetControlProperty(view, creator, tag, size, &actual, bytes.data()) != noErr)
        return ShortString();
    std::string_view text(bytes.data(), std::min<size_t>(actual, bytes.size()));
    return ShortString(text.substr(0, text.find('\0')));
}

}  // namespace

// ---- loading ----

void LoadClassFolder(SInt16 buttonClass, const ShortString& name)
{
    if (!ValidClass(buttonClass)) {
        Err = paramErr;
        return;
    }
    CGImageRef* slots = ButtonIcons[buttonClass - 1];
    for (int i = 0; i < kCustomButtonImageCount; ++i)
        Replace(slots[i], nullptr);
    const ShortString folder = ShortString("Images/Custom Buttons/") + name.View();
    for (int i = 0; i < kCustomButtonImageCount; ++i)
        LoadImage(slots[i], kButtonImageNames[i], folder);
}

void LoadTabImages()
{
    for (int style = 0; style < kCustomTabStyleCount; ++style) {
        const ShortString folder = ShortString("Images/Tab Images/") + kTabStyleFolders[style];
        for (int i = 0; i < kCustomTabImageFiles; ++i)
            LoadImage(TabImages[style][i], kTabImageNames[i], folder);
    }
}

void HICustomButtonLoadImages()
{
    if (ButtonIcons[kCustomButtonClassBevelCorner - 1][kCustomButtonActiveContent] != nullptr)
        return;
    LoadTabImages();
    for (SInt16 buttonClass : {kCustomButtonClassRoundCorner, kCustomButtonClassBevelCorner, kCustomButtonClassSilver,
                               kCustomButtonClassToolbar})
        LoadClassFolder(buttonClass, ShortString(kClassFolders[buttonClass - 1]));
}

// ---- styling views ----

ShortString GetStyleProperty(HIViewRef view)
{
    if (!IsValidControlHandle(view))
        return ShortString();
    bool present = false;
    const ShortString style = StringProperty(view, kCustomButtonStyleCreator, kCustomButtonStyleTag, present);
    if (present)
        return style;
    return StringProperty(view, kCustomButtonOldStyleCreator, kCustomButtonOldStyleTag, present);
}

SInt16 HICustomButtonClassOfStyle(const ShortString& style)
{
    for (const StyleName& entry : kStyleNames)
        if (style == entry.name)
            return entry.buttonClass;
    return kCustomButtonClassNone;
}

void ApplyStyleToView(HIViewRef view, const ShortString& style)
{
    if (style.IsEmpty() || !IsValidControlHandle(view))
        return;
    const SInt16 buttonClass = HICustomButtonClassOfStyle(style);
    if (buttonClass != kCustomButtonClassNone) {
        HICustomButtonCreate(buttonClass, view);
        return;
    }
    // Views are styled each time a tree is set up; one line per view and
    // name is enough.
    bool refusedBefore = false;
    const ShortString refused = StringProperty(view, kCustomButtonPropertyCreator, kRefusedStyleTag, refusedBefore);
    if (refusedBefore && refused == style)
        return;
    SetControlProperty(view, kCustomButtonPropertyCreator, kRefusedStyleTag, style.Length(), style.c_str());
    Diagnostics::WriteLine("Warning: Unknown button style \"" + style.ToString() +
                           "\"; the control keeps the standard look.");
}

void HIViewSetStyle(HIViewRef view)
{
    ApplyStyleToView(view, GetStyleProperty(view));
}

void HICustomButtonApplyStyles(HIViewRef root)
{
    if (!IsValidControlHandle(root))
        return;
    HIViewSetStyle(root);
    // Each view once: a styled view with subviews is not styled again
    // through its subtree.
    for (HIViewRef subview = HIViewGetFirstSubview(root); subview != nullptr; subview = HIViewGetNextView(subview))
        HICustomButtonApplyStyles(subview);
}

void HICustomButtonCreate(SInt16 buttonClass, HIViewRef view)
{
    if (!ValidClass(buttonClass) || !IsValidControlHandle(view)) {
        Err = paramErr;
        return;
    }
    HICustomButtonLoadImages();
    Err = SetControlProperty(view, kCustomButtonPropertyCreator, kCustomButtonPropertyTagKind, sizeof buttonClass,
                             &buttonClass);
    if (Err != noErr)
        return;
    HIViewSetNeedsDisplay(view, true);
    if (HasHandler(view))
        return;
    if (CustomButtonEventHandler == nullptr)
        CustomButtonEventHandler = NewEventHandlerUPP(CustomButtonEvent);
    EventHandlerRef handler = nullptr;
    Err = InstallEventHandler(GetControlEventTarget(view), CustomButtonEventHandler, std::size(kCustomButtonEvents),
                              kCustomButtonEvents, view, &handler);
    if (Err == noErr)
        Err = SetControlProperty(view, kCustomButtonPropertyCreator, kHandlerTag, sizeof handler, &handler);
}

SInt16 HICustomButtonGetClass(HIViewRef view)
{
    const SInt16 buttonClass = IsValidControlHandle(view) ? PropertyInt16(view, kCustomButtonPropertyTagKind) : 0;
    return ValidClass(buttonClass) ? buttonClass : SInt16(kCustomButtonClassNone);
}

void InitializeHICustomButtonsUnit()
{
    HICustomButtonLoadImages();
}
