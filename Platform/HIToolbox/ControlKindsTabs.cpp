// Tabs and segmented views.
#include "ControlKindsInternal.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

using namespace controlkinds;

namespace {

// ---- tabs ----

CGFloat TabHeight(const ControlState* state)
{
    return state->tabSize == kControlTabSizeSmall ? 20 : state->tabSize == kControlTabSizeMini ? 17 : 24;
}

ThemeFontID TabFont(const ControlState* state)
{
    return state->tabSize == kControlTabSizeSmall  ? kThemeSmallSystemFont
           : state->tabSize == kControlTabSizeMini ? kThemeMiniSystemFont
                                                   : kThemeSystemFont;
}

// Each tab's rectangle, centred along the top (or bottom) edge.
std::vector<HIRect> TabRects(HIViewRef view, const ControlState* state)
{
    const HIRect bounds = BoundsOf(view);
    const QFont font = HIThemeGetQFont(TabFont(state));
    std::vector<CGFloat> widths;
    CGFloat total = 0;
    for (const Tab& tab : state->tabs) {
        widths.push_back(std::ceil(HIThemeGetTextWidth(tab.name, font)) + 24);
        total += widths.back();
    }
    // Too wide: every tab gets the same share.
    if (total > bounds.size.width && !widths.empty()) {
        std::fill(widths.begin(), widths.end(), std::floor(bounds.size.width / CGFloat(widths.size())));
        total = widths.front() * CGFloat(widths.size());
    }
    const CGFloat height = TabHeight(state);
    const CGFloat y =
        state->tabDirection == kControlTabDirectionSouth ? CGRectGetMaxY(bounds) - height : bounds.origin.y;
    CGFloat x = std::floor(bounds.origin.x + (bounds.size.width - total) / 2);
    std::vector<HIRect> rects;
    for (CGFloat width : widths) {
        rects.push_back(CGRectMake(x, y, width, height));
        x += width;
    }
    return rects;
}

void DrawTabs(HIViewRef view, CGContextRef context)
{
    ControlState* state = StateOf(view);
    const Look look = LookOf(view);
    const HIRect bounds = BoundsOf(view);
    const std::vector<HIRect> rects = TabRects(view, state);
    const SInt32 selected = GetControl32BitValue(view);
    const bool south = state->tabDirection == kControlTabDirectionSouth;
    const CGFloat height = TabHeight(state);
    HIThemePaint(context, bounds, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
        QStyleOptionTabWidgetFrame frame;
        InitOption(frame, look,
                   QRectOf(south ? CGRectMake(bounds.origin.x, bounds.origin.y, bounds.size.width,
                                              bounds.size.height - height + 1)
                                 : CGRectMake(bounds.origin.x, bounds.origin.y + height - 1, bounds.size.width,
                                              bounds.size.height - height + 1)));
        frame.shape = south ? QTabBar::RoundedSouth : QTabBar::RoundedNorth;
        frame.lineWidth = 1;
        // The pane is the window's colour, as the selected tab is that it
        // joins.
        painter.fillRect(frame.rect.adjusted(1, 1, -1, -1), frame.palette.color(QPalette::Window));
        style.drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter);
        for (size_t i = 0; i < rects.size(); ++i) {
            QStyleOptionTab tab;
            InitOption(tab, look, QRectOf(rects[i]));
            if (!state->tabs[i].enabled) {
                tab.state &= ~QStyle::State_Enabled;
                tab.palette.setCurrentColorGroup(QPalette::Disabled);
            }
            tab.shape = south ? QTabBar::RoundedSouth : QTabBar::RoundedNorth;
            tab.position = rects.size() == 1       ? QStyleOptionTab::OnlyOneTab
                           : i == 0                ? QStyleOptionTab::Beginning
                           : i + 1 == rects.size() ? QStyleOptionTab::End
                                                   : QStyleOptionTab::Middle;
            const SInt32 index = SInt32(i) + 1;
            tab.selectedPosition = selected == index - 1   ? QStyleOptionTab::PreviousIsSelected
                                   : selected == index + 1 ? QStyleOptionTab::NextIsSelected
                                                           : QStyleOptionTab::NotAdjacent;
            if (selected == index)
                tab.state |= QStyle::State_Selected;
            if (look.hilite == index)
                tab.state |= QStyle::State_Sunken;
            // The style paints a selected tab on into the pane, leaving it
            // to the tab bar's own bounds to cut it where it meets the pane.
            painter.save();
            painter.setClipRect(tab.rect.adjusted(-2, south ? -1 : -2, 2, south ? 2 : 1), Qt::IntersectClip);
            style.drawControl(QStyle::CE_TabBarTabShape, &tab, &painter);
            painter.restore();
        }
    });
    for (size_t i = 0; i < rects.size(); ++i) {
        Look tabLook = look;
        tabLook.enabled = look.enabled && state->tabs[i].enabled;
        DrawLabel(context, state->tabs[i].name, CGRectInset(rects[i], 6, 0), TabFont(state),
                  kHIThemeTextHorizontalFlushCenter, tabLook);
    }
}

ControlPartCode TabsHitTest(HIViewRef view, HIPoint point)
{
    ControlState* state = StateOf(view);
    const std::vector<HIRect> rects = TabRects(view, state);
    for (size_t i = 0; i < rects.size(); ++i)
        if (CGRectContainsPoint(rects[i], point))
            return state->tabs[i].enabled ? ControlPartCode(i + 1) : kControlNoPart;
    return kControlNoPart;
}

ControlPartCode ReleaseTab(HIViewRef view, HIPoint, ControlPartCode part, UInt32)
{
    if (part >= 1)
        SetControl32BitValue(view, part);
    return part;
}

// Makes room for `count` tabs (the maximum follows).
void SetTabCount(HIViewRef view, ControlState* state, size_t count)
{
    while (state->tabs.size() > count) {
        if (state->tabs.back().name)
            CFRelease(state->tabs.back().name);
        state->tabs.pop_back();
    }
    state->tabs.resize(count);
    SetControl32BitMaximum(view, SInt32(count));
}

OSStatus SetTabsData(HIViewRef view, ControlPartCode part, ResType tag, Size size, const void* data)
{
    ControlState* state = StateOf(view);
    const bool isTab = part >= 1 && size_t(part) <= state->tabs.size();
    if (tag == kControlTabInfoTag) {
        ControlTabInfoRecV1 info{};
        const OSStatus status = Take(&info, size, data);
        if (status != noErr)
            return status;
        if (!isTab)
            return errInvalidPartCode;
        Tab& tab = state->tabs[size_t(part - 1)];
        CFStringRef name = info.name ? CFStringCreateCopy(nullptr, info.name) : nullptr;
        if (tab.name)
            CFRelease(tab.name);
        tab.name = name;
        return noErr;
    }
    if (tag == kControlTabEnabledFlagTag) {
        bool enabled = true;
        const OSStatus status = TakeFlag(&enabled, size, data);
        if (status != noErr)
            return status;
        if (!isTab)
            return errInvalidPartCode;
        state->tabs[size_t(part - 1)].enabled = enabled;
        return noErr;
    }
    return SetCommonData(state, tag, size, data);
}

OSStatus GetTabsData(HIViewRef view, ControlPartCode part, ResType tag, Size bufferSize, void* buffer, Size* actualSize)
{
    ControlState* state = StateOf(view);
    const bool isTab = part >= 1 && size_t(part) <= state->tabs.size();
    if (tag == kControlTabInfoTag) {
        if (!isTab)
            return errInvalidPartCode;
        if (buffer == nullptr)
            return Put(ControlTabInfoRecV1{}, 0, nullptr, actualSize);
        if (bufferSize < Size(sizeof(ControlTabInfoRecV1)))
            return errDataSizeMismatch;
        const Tab& tab = state->tabs[size_t(part - 1)];
        ControlTabInfoRecV1 info{1, 0, tab.name ? CFStringCreateCopy(nullptr, tab.name) : nullptr};
        return Put(info, bufferSize, buffer, actualSize);
    }
    if (tag == kControlTabEnabledFlagTag) {
        if (!isTab)
            return errInvalidPartCode;
        return Put(Boolean(state->tabs[size_t(part - 1)].enabled), bufferSize, buffer, actualSize);
    }
    return GetCommonData(state, tag, bufferSize, buffer, actualSize);
}

// ---- segmented views ----

bool SelectsByValue(const Segment& segment)
{
    return segment.behavior == kHISegmentBehaviorRadio || segment.behavior == kHISegmentBehaviorSticky;
}

// Whether segment `index` (from 1) shows as on: a radio or sticky segment
// while it is the control's value, a toggling one by its own value.
bool SegmentIsOn(HIViewRef view, const Segment& segment, SInt32 index)
{
    return SelectsByValue(segment) ? GetControl32BitValue(view) == index : segment.value != 0;
}

std::vector<HIRect> SegmentRects(HIViewRef view, const ControlState* state)
{
    const HIRect bounds = BoundsOf(view);
    const QFont font = HIThemeGetQFont(FontForSize(state->size));
    std::vector<CGFloat> widths;
    CGFloat total = 0, flexible = 0;
    for (const Segment& segment : state->segments) {
        CGFloat content = segment.width;
        if (segment.autoWidth && content <= 0) {
            content = std::ceil(HIThemeGetTextWidth(segment.label, font));
            if (!segment.image->Empty())
                content += 16 + (content > 0 ? 4 : 0);
            ++flexible;
        }
        widths.push_back(content + 16);
        total += widths.back();
    }
    // What is left over goes to the segments that size themselves; too
    // little, and every segment gives up its share.
    if (total < bounds.size.width && flexible > 0) {
        const CGFloat extra = std::floor((bounds.size.width - total) / flexible);
        for (size_t i = 0; i < widths.size(); ++i)
            if (state->segments[i].autoWidth && state->segments[i].width <= 0)
                widths[i] += extra;
    } else if (total > bounds.size.width && total > 0) {
        for (CGFloat& width : widths)
            width = std::floor(width * bounds.size.width / total);
    }
    std::vector<HIRect> rects;
    CGFloat x = bounds.origin.x;
    for (size_t i = 0; i < widths.size(); ++i) {
        // The last reaches the right edge.
        const CGFloat width = i + 1 == widths.size() ? CGRectGetMaxX(bounds) - x : widths[i];
        rects.push_back(CGRectMake(x, bounds.origin.y, width, bounds.size.height));
        x += width;
    }
    return rects;
}

void DrawSegmentedView(HIViewRef view, CGContextRef context)
{
    ControlState* state = StateOf(view);
    const Look look = LookOf(view);
    const HIRect bounds = BoundsOf(view);
    const std::vector<HIRect> rects = SegmentRects(view, state);
    HIThemePaint(context, bounds, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
        QStyleOptionButton whole;
        InitOption(whole, look, QRectOf(bounds));
        whole.state |= QStyle::State_Raised;
        style.drawPrimitive(QStyle::PE_PanelButtonCommand, &whole, &painter);
        const QPalette palette = HIThemeGetPalette(look.active);
        for (size_t i = 0; i < rects.size(); ++i) {
            const Segment& segment = state->segments[i];
            const bool pressed = look.enabled && look.hilite == ControlPartCode(i + 1);
            if (SegmentIsOn(view, segment, SInt32(i + 1)) || pressed) {
                // The chosen segment sinks in.
                QRectF r = QRectF(QRectOf(rects[i])).adjusted(1, 1, -1, -1);
                QColor shade = palette.color(QPalette::Dark);
                shade.setAlphaF(pressed ? 0.45f : 0.3f);
                painter.fillRect(r, shade);
            }
            if (i + 1 < rects.size()) {
                painter.setPen(palette.color(QPalette::Mid));
                const qreal x = std::floor(CGRectGetMaxX(rects[i])) + 0.5;
                painter.drawLine(QPointF(x, bounds.origin.y + 3), QPointF(x, CGRectGetMaxY(bounds) - 3));
            }
        }
    });
    for (size_t i = 0; i < rects.size(); ++i) {
        const Segment& segment = state->segments[i];
        Look segmentLook = look;
        segmentLook.enabled = look.enabled && segment.enabled;
        HIRect box = CGRectInset(rects[i], 4, 0);
        const bool hasLabel = segment.label && CFStringGetLength(segment.label) > 0;
        if (!segment.image->Empty()) {
            HIRect imageBox = box;
            if (hasLabel) {
                const CGFloat labelWidth =
                    HIThemeGetTextWidth(segment.label, HIThemeGetQFont(FontForSize(state->size)));
                imageBox.origin.x = std::floor(CGRectGetMidX(box) - (16 + 4 + labelWidth) / 2);
                imageBox.size.width = 16;
                box.origin.x = CGRectGetMaxX(imageBox) + 4;
                box.size.width = CGRectGetMaxX(rects[i]) - 4 - box.origin.x;
            }
            DrawContent(context, segment.image->info, imageBox, 16, segmentLook, false);
        }
        if (hasLabel)
            DrawLabel(context, segment.label, box, FontForSize(state->size),
                      segment.image->Empty() ? kHIThemeTextHorizontalFlushCenter : kHIThemeTextHorizontalFlushLeft,
                      segmentLook);
    }
}

ControlPartCode SegmentHitTest(HIViewRef view, HIPoint point)
{
    ControlState* state = StateOf(view);
    const std::vector<HIRect> rects = SegmentRects(view, state);
    for (size_t i = 0; i < rects.size(); ++i)
        if (CGRectContainsPoint(rects[i], point))
            return state->segments[i].enabled ? ControlPartCode(i + 1) : kControlNoPart;
    return kControlNoPart;
}

ControlPartCode ReleaseSegment(HIViewRef view, HIPoint, ControlPartCode part, UInt32)
{
    ControlState* state = StateOf(view);
    if (part < 1 || size_t(part) > state->segments.size())
        return part;
    Segment& segment = state->segments[size_t(part - 1)];
    switch (segment.behavior) {
    case kHISegmentBehaviorRadio:
    case kHISegmentBehaviorSticky:
        SetControl32BitValue(view, part);
        break;
    case kHISegmentBehaviorToggles:
        segment.value = segment.value ? 0 : 1;
        SetControl32BitValue(view, part);
        HIViewSetNeedsDisplay(view, true);
        break;
    default:  // momentary: nothing stays
        break;
    }
    return part;
}

// After the hit on a segment, the segment's own command, from the view (the
// view's own command, when it has one, follows).
OSStatus SegmentHit(EventHandlerCallRef, EventRef event, void* refCon)
{
    auto view = static_cast<HIViewRef>(refCon);
    ControlPartCode part = kControlNoPart;
    GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
    ControlState* state = StateOf(view);
    if (state == nullptr || part < 1 || size_t(part) > state->segments.size())
        return eventNotHandledErr;
    const UInt32 commandID = state->segments[size_t(part - 1)].command;
    if (commandID == 0)
        return eventNotHandledErr;
    HICommandExtended command = {};
    command.attributes = kHICommandFromControl;
    command.commandID = commandID;
    command.source.control = view;
    EventRef process = nullptr;
    if (CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &process) == noErr) {
        SetEventParameter(process, kEventParamDirectObject, typeHICommand, sizeof command, &command);
        SendEventToEventTarget(process, GetControlEventTarget(view));
        ReleaseEvent(process);
    }
    return eventNotHandledErr;
}

// The view's segment `index` (from 1), or nil.
Segment* SegmentOf(HIViewRef view, UInt32 index)
{
    if (KindOf(view) != kControlKindSegmentedView)
        return nullptr;
    ControlState* state = StateOf(view);
    if (state == nullptr || index < 1 || index > state->segments.size())
        return nullptr;
    return &state->segments[index - 1];
}

}  // namespace

void controlkinds::RegisterTabKinds()
{
    HIViewKindBehaviour tabs = Kind(kControlKindTabs);
    tabs.draw = DrawTabs;
    tabs.hitTest = TabsHitTest;
    tabs.release = ReleaseTab;
    tabs.setData = SetTabsData;
    tabs.getData = GetTabsData;
    HIViewRegisterKind(tabs);

    HIViewKindBehaviour segmented = Kind(kControlKindSegmentedView);
    segmented.draw = DrawSegmentedView;
    segmented.hitTest = SegmentHitTest;
    segmented.release = ReleaseSegment;
    HIViewRegisterKind(segmented);
}

// ---- creators ----

OSStatus CreateTabsControl(WindowRef window, const Rect* boundsRect, ControlTabSize size, ControlTabDirection direction,
                           UInt16 numTabs, const ControlTabEntry* tabArray, ControlRef* outControl)
{
    if (BadArguments(window, boundsRect, outControl) || (numTabs > 0 && tabArray == nullptr))
        return paramErr;
    HIViewRef view = Create(kControlKindTabs, window, boundsRect);
    ControlState* state = StateOf(view);
    state->tabSize = size;
    state->tabDirection = direction;
    SetTabCount(view, state, numTabs);
    for (UInt16 i = 0; i < numTabs; ++i) {
        state->tabs[i].name = tabArray[i].name ? CFStringCreateCopy(nullptr, tabArray[i].name) : nullptr;
        state->tabs[i].enabled = tabArray[i].enabled;
    }
    SetControl32BitMinimum(view, numTabs > 0 ? 1 : 0);
    SetControl32BitValue(view, numTabs > 0 ? 1 : 0);
    Finish(view, window, outControl);
    return noErr;
}

// ---- segmented views ----

OSStatus HISegmentedViewCreate(const HIRect* inBounds, HIViewRef* outRef)
{
    if (outRef == nullptr)
        return paramErr;
    HIToolboxRegisterControlKinds();
    HIViewRef view = HIViewCreateOfKind(kControlKindSegmentedView, nullptr, inBounds ? *inBounds : CGRectZero);
    StateOf(view);
    static const EventTypeSpec hit = {kEventClassControl, kEventControlHit};
    InstallEventHandler(GetControlEventTarget(view), SegmentHit, 1, &hit, view, nullptr);
    *outRef = view;
    return noErr;
}

OSStatus HISegmentedViewSetSegmentCount(HIViewRef inSegmentedView, UInt32 inSegmentCount)
{
    if (KindOf(inSegmentedView) != kControlKindSegmentedView)
        return paramErr;
    ControlState* state = StateOf(inSegmentedView);
    while (state->segments.size() > inSegmentCount) {
        if (state->segments.back().label)
            CFRelease(state->segments.back().label);
        state->segments.pop_back();
    }
    state->segments.resize(inSegmentCount);
    SetControl32BitMaximum(inSegmentedView, SInt32(inSegmentCount));
    HIViewSetNeedsDisplay(inSegmentedView, true);
    return noErr;
}

UInt32 HISegmentedViewGetSegmentCount(HIViewRef inSegmentedView)
{
    if (KindOf(inSegmentedView) != kControlKindSegmentedView)
        return 0;
    return UInt32(StateOf(inSegmentedView)->segments.size());
}

OSStatus HISegmentedViewSetSegmentBehavior(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased,
                                           HISegmentBehavior inBehavior)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    if (segment == nullptr || inBehavior > kHISegmentBehaviorSticky)
        return paramErr;
    segment->behavior = inBehavior;
    return noErr;
}

HISegmentBehavior HISegmentedViewGetSegmentBehavior(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    return segment ? segment->behavior : 0;
}

OSStatus HISegmentedViewSetSegmentLabel(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased, CFStringRef inLabel)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    if (segment == nullptr || (inLabel && CFGetTypeID(inLabel) != CFStringGetTypeID()))
        return paramErr;
    CFStringRef label = inLabel ? CFStringCreateCopy(nullptr, inLabel) : nullptr;
    if (segment->label)
        CFRelease(segment->label);
    segment->label = label;
    HIViewSetNeedsDisplay(inSegmentedView, true);
    return noErr;
}

OSStatus HISegmentedViewCopySegmentLabel(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased,
                                         CFStringRef* outLabel)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    if (segment == nullptr || outLabel == nullptr)
        return paramErr;
    *outLabel = segment->label ? CFStringCreateCopy(nullptr, segment->label) : nullptr;
    return noErr;
}

OSStatus HISegmentedViewSetSegmentContentWidth(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased,
                                               Boolean inAutoCalculateWidth, CGFloat inWidth)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    if (segment == nullptr || inWidth < 0)
        return paramErr;
    segment->autoWidth = inAutoCalculateWidth;
    segment->width = inWidth;
    HIViewSetNeedsDisplay(inSegmentedView, true);
    return noErr;
}

CGFloat HISegmentedViewGetSegmentContentWidth(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased,
                                              Boolean* outAutoCalculated)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    if (segment == nullptr)
        return 0;
    if (outAutoCalculated)
        *outAutoCalculated = segment->autoWidth;
    return segment->width;
}

OSStatus HISegmentedViewSetSegmentImage(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased,
                                        const HIViewImageContentInfo* inImage)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    if (segment == nullptr)
        return paramErr;
    const OSStatus status = segment->image->Set(inImage);
    HIViewSetNeedsDisplay(inSegmentedView, true);
    return status;
}

HIViewImageContentType HISegmentedViewGetSegmentImageContentType(HIViewRef inSegmentedView,
                                                                 UInt32 inSegmentIndexOneBased)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    return segment ? HIViewImageContentType(segment->image->info.contentType) : HIViewImageContentType(0);
}

OSStatus HISegmentedViewSetSegmentCommand(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased, UInt32 inCommand)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    if (segment == nullptr)
        return paramErr;
    segment->command = inCommand;
    return noErr;
}

UInt32 HISegmentedViewGetSegmentCommand(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    return segment ? segment->command : 0;
}

OSStatus HISegmentedViewSetSegmentValue(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased, SInt32 inValue)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    if (segment == nullptr)
        return paramErr;
    const SInt32 index = SInt32(inSegmentIndexOneBased);
    if (!SelectsByValue(*segment))
        segment->value = inValue != 0 ? 1 : 0;
    else if (inValue != 0)
        SetControl32BitValue(inSegmentedView, index);
    else if (GetControl32BitValue(inSegmentedView) == index)
        SetControl32BitValue(inSegmentedView, 0);
    HIViewSetNeedsDisplay(inSegmentedView, true);
    return noErr;
}

SInt32 HISegmentedViewGetSegmentValue(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    return segment && SegmentIsOn(inSegmentedView, *segment, SInt32(inSegmentIndexOneBased)) ? 1 : 0;
}

OSStatus HISegmentedViewSetSegmentEnabled(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased, Boolean inEnabled)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    if (segment == nullptr)
        return paramErr;
    segment->enabled = inEnabled;
    HIViewSetNeedsDisplay(inSegmentedView, true);
    return noErr;
}

Boolean HISegmentedViewIsSegmentEnabled(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased)
{
    Segment* segment = SegmentOf(inSegmentedView, inSegmentIndexOneBased);
    return segment && segment->enabled;
}
