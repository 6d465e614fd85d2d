// Sliders and scroll bars.
#include "ControlKindsInternal.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

using namespace controlkinds;

namespace {

// ---- sliders and scroll bars ----

bool IsHorizontal(HIViewRef view)
{
    const HIRect bounds = BoundsOf(view);
    return bounds.size.width >= bounds.size.height;
}

void InitSliderOption(QStyleOptionSlider& option, HIViewRef view, const ControlState* state, const Look& look)
{
    InitOption(option, look, QRectOf(BoundsOf(view)));
    option.orientation = IsHorizontal(view) ? Qt::Horizontal : Qt::Vertical;
    if (option.orientation == Qt::Horizontal)
        option.state |= QStyle::State_Horizontal;
    option.minimum = GetControl32BitMinimum(view);
    option.maximum = GetControl32BitMaximum(view);
    option.sliderPosition = state->trackingThumb ? state->trackValue : GetControl32BitValue(view);
    option.sliderValue = option.sliderPosition;
    option.singleStep = 1;
    option.pageStep = std::max<SInt32>(1, GetControlViewSize(view));
    // Vertical controls have their minimum at the top for scroll bars and
    // at the bottom for sliders.
    option.upsideDown = false;
}

void InitSlider(QStyleOptionSlider& option, HIViewRef view, const ControlState* state, const Look& look)
{
    InitSliderOption(option, view, state, look);
    option.upsideDown = option.orientation == Qt::Vertical;
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    if (state->tickMarks > 0) {
        option.subControls |= QStyle::SC_SliderTickmarks;
        const bool upOrLeft = state->orientation == kControlSliderPointsUpOrLeft;
        option.tickPosition = option.orientation == Qt::Horizontal
                                  ? (upOrLeft ? QSlider::TicksAbove : QSlider::TicksBelow)
                                  : (upOrLeft ? QSlider::TicksLeft : QSlider::TicksRight);
        option.tickInterval = state->tickMarks > 1
                                  ? std::max(1, (option.maximum - option.minimum) / (state->tickMarks - 1))
                                  : option.maximum - option.minimum;
    }
    if (look.hilite == kControlIndicatorPart) {
        option.activeSubControls = QStyle::SC_SliderHandle;
        option.state |= QStyle::State_Sunken;
    }
}

void InitScrollBar(QStyleOptionSlider& option, HIViewRef view, const ControlState* state, const Look& look)
{
    InitSliderOption(option, view, state, look);
    option.subControls = QStyle::SC_All;
    switch (look.hilite) {
    case kControlUpButtonPart:
        option.activeSubControls = QStyle::SC_ScrollBarSubLine;
        break;
    case kControlDownButtonPart:
        option.activeSubControls = QStyle::SC_ScrollBarAddLine;
        break;
    case kControlPageUpPart:
        option.activeSubControls = QStyle::SC_ScrollBarSubPage;
        break;
    case kControlPageDownPart:
        option.activeSubControls = QStyle::SC_ScrollBarAddPage;
        break;
    case kControlIndicatorPart:
        option.activeSubControls = QStyle::SC_ScrollBarSlider;
        break;
    default:
        break;
    }
    if (look.hilite != kControlNoPart)
        option.state |= QStyle::State_Sunken;
}

void DrawSlider(HIViewRef view, CGContextRef context)
{
    ControlState* state = StateOf(view);
    const Look look = LookOf(view);
    HIThemePaint(context, BoundsOf(view), kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
        QStyleOptionSlider option;
        InitSlider(option, view, state, look);
        style.drawComplexControl(QStyle::CC_Slider, &option, &painter);
    });
}

void DrawScrollBar(HIViewRef view, CGContextRef context)
{
    ControlState* state = StateOf(view);
    const Look look = LookOf(view);
    HIThemePaint(context, BoundsOf(view), kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
        QStyleOptionSlider option;
        InitScrollBar(option, view, state, look);
        style.drawComplexControl(QStyle::CC_ScrollBar, &option, &painter);
    });
}

// Where along the track the mouse is, and the length the thumb's start
// can travel, for either kind.
struct Track {
    QRect groove;
    QRect handle;
};

Track TrackOf(HIViewRef view, const ControlState* state, bool scrollBar)
{
    Track track;
    const QRect bounds = QRectOf(BoundsOf(view));
    QStyle* style = HIThemeGetStyle();
    if (style == nullptr) {
        track.groove = bounds;
        return track;
    }
    QStyleOptionSlider option;
    const Look look{true, true, kControlNoPart};
    if (scrollBar) {
        InitScrollBar(option, view, state, look);
        track.groove = style->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarGroove);
        track.handle = style->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider);
    } else {
        InitSlider(option, view, state, look);
        track.groove = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove);
        track.handle = style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle);
    }
    return track;
}

// The value at which the thumb's start would be at `position` along the track.
SInt32 ValueAt(HIViewRef view, const Track& track, CGFloat position, bool upsideDown)
{
    const bool horizontal = IsHorizontal(view);
    const int start = horizontal ? track.groove.left() : track.groove.top();
    const int grooveLength = horizontal ? track.groove.width() : track.groove.height();
    const int handleLength = horizontal ? track.handle.width() : track.handle.height();
    const int span = std::max(1, grooveLength - handleLength);
    return QStyle::sliderValueFromPosition(GetControl32BitMinimum(view), GetControl32BitMaximum(view),
                                           int(std::lround(position)) - start, span, upsideDown);
}

CGFloat AlongTrack(HIViewRef view, HIPoint point)
{
    return IsHorizontal(view) ? point.x : point.y;
}

CGFloat HandleStart(HIViewRef view, const Track& track)
{
    return IsHorizontal(view) ? track.handle.left() : track.handle.top();
}

// Moves the thumb the click drags: the value itself when tracking is live,
// else only what is drawn until the release.
void MoveThumb(HIViewRef view, ControlState* state, SInt32 value)
{
    state->trackValue = value;
    if (state->live) {
        SetControl32BitValue(view, value);
        if (state->action)
            state->action(view, kControlIndicatorPart);
    }
    HIViewSetNeedsDisplay(view, true);
}

ControlPartCode SliderHitTest(HIViewRef view, HIPoint point)
{
    return CGRectContainsPoint(BoundsOf(view), point) ? kControlIndicatorPart : kControlNoPart;
}

ControlPartCode PressSlider(HIViewRef view, HIPoint point, ControlPartCode, UInt32)
{
    ControlState* state = StateOf(view);
    const Track track = TrackOf(view, state, false);
    const bool horizontal = IsHorizontal(view);
    const bool onHandle = track.handle.contains(QPoint(int(point.x), int(point.y)));
    const CGFloat handleLength = horizontal ? track.handle.width() : track.handle.height();
    // Grabbed by the thumb: it keeps its place under the mouse; on the
    // track: the thumb jumps to centre on the mouse.
    state->grabOffset = onHandle ? AlongTrack(view, point) - HandleStart(view, track) : handleLength / 2;
    state->trackingThumb = true;
    state->pressedPart = kControlIndicatorPart;
    state->trackValue = GetControl32BitValue(view);
    if (!onHandle)
        MoveThumb(view, state, ValueAt(view, track, AlongTrack(view, point) - state->grabOffset, !horizontal));
    return kHIViewKeepTracking;
}

void DragSlider(HIViewRef view, HIPoint point, ControlPartCode)
{
    ControlState* state = StateOf(view);
    if (!state->trackingThumb)
        return;
    const Track track = TrackOf(view, state, false);
    const SInt32 value = ValueAt(view, track, AlongTrack(view, point) - state->grabOffset, !IsHorizontal(view));
    if (value != state->trackValue)
        MoveThumb(view, state, value);
}

ControlPartCode ReleaseSlider(HIViewRef view, HIPoint point, ControlPartCode, UInt32)
{
    ControlState* state = StateOf(view);
    if (!state->trackingThumb)
        return kControlNoPart;
    DragSlider(view, point, kControlIndicatorPart);
    state->trackingThumb = false;
    SetControl32BitValue(view, state->trackValue);
    return kControlIndicatorPart;
}

ControlPartCode ScrollBarHitTest(HIViewRef view, HIPoint point)
{
    if (!CGRectContainsPoint(BoundsOf(view), point))
        return kControlNoPart;
    QStyle* style = HIThemeGetStyle();
    if (style == nullptr)
        return kControlIndicatorPart;
    QStyleOptionSlider option;
    InitScrollBar(option, view, StateOf(view), Look{true, true, kControlNoPart});
    switch (style->hitTestComplexControl(QStyle::CC_ScrollBar, &option, QPoint(int(point.x), int(point.y)))) {
    case QStyle::SC_ScrollBarSubLine:
        return kControlUpButtonPart;
    case QStyle::SC_ScrollBarAddLine:
        return kControlDownButtonPart;
    case QStyle::SC_ScrollBarSubPage:
        return kControlPageUpPart;
    case QStyle::SC_ScrollBarAddPage:
        return kControlPageDownPart;
    case QStyle::SC_ScrollBarSlider:
        return kControlIndicatorPart;
    default:
        return kControlNoPart;
    }
}

ControlPartCode PressScrollBar(HIViewRef view, HIPoint point, ControlPartCode part, UInt32)
{
    ControlState* state = StateOf(view);
    state->pressedPart = part;
    if (part == kControlIndicatorPart) {
        const Track track = TrackOf(view, state, true);
        state->grabOffset = AlongTrack(view, point) - HandleStart(view, track);
        state->trackingThumb = true;
        state->trackValue = GetControl32BitValue(view);
        return kHIViewKeepTracking;
    }
    const SInt32 page = std::max<SInt32>(1, GetControlViewSize(view));
    const SInt32 step = part == kControlUpButtonPart     ? -1
                        : part == kControlDownButtonPart ? 1
                        : part == kControlPageUpPart     ? -page
                        : part == kControlPageDownPart   ? page
                                                         : 0;
    if (step != 0) {
        SetControl32BitValue(view, GetControl32BitValue(view) + step);
        if (state->action && IsValidControlHandle(view))
            state->action(view, part);
    }
    return kHIViewKeepTracking;
}

void DragScrollBar(HIViewRef view, HIPoint point, ControlPartCode)
{
    ControlState* state = StateOf(view);
    if (!state->trackingThumb)
        return;
    const Track track = TrackOf(view, state, true);
    const SInt32 value = ValueAt(view, track, AlongTrack(view, point) - state->grabOffset, false);
    if (value != state->trackValue)
        MoveThumb(view, state, value);
}

ControlPartCode ReleaseScrollBar(HIViewRef view, HIPoint point, ControlPartCode part, UInt32)
{
    ControlState* state = StateOf(view);
    const ControlPartCode pressed = state->pressedPart;
    state->pressedPart = kControlNoPart;
    if (state->trackingThumb) {
        DragScrollBar(view, point, part);
        state->trackingThumb = false;
        SetControl32BitValue(view, state->trackValue);
        return kControlIndicatorPart;
    }
    return part == pressed ? part : kControlNoPart;
}

OSStatus SetTrackData(HIViewRef view, ControlPartCode, ResType tag, Size size, const void* data)
{
    ControlState* state = StateOf(view);
    if (tag == kControlSliderLiveFeedbackTag)
        return TakeFlag(&state->live, size, data);
    if (tag == kControlScrollBarShowsArrowsTag && KindOf(view) == kControlKindScrollBar)
        return TakeFlag(&state->arrows, size, data);
    return SetCommonData(state, tag, size, data);
}

OSStatus GetTrackData(HIViewRef view, ControlPartCode, ResType tag, Size bufferSize, void* buffer, Size* actualSize)
{
    ControlState* state = StateOf(view);
    if (tag == kControlSliderLiveFeedbackTag)
        return Put(Boolean(state->live), bufferSize, buffer, actualSize);
    if (tag == kControlScrollBarShowsArrowsTag && KindOf(view) == kControlKindScrollBar)
        return Put(Boolean(state->arrows), bufferSize, buffer, actualSize);
    return GetCommonData(state, tag, bufferSize, buffer, actualSize);
}

}  // namespace

void controlkinds::RegisterTrackKinds()
{
    HIViewKindBehaviour slider = Kind(kControlKindSlider);
    slider.draw = DrawSlider;
    slider.hitTest = SliderHitTest;
    slider.press = PressSlider;
    slider.drag = DragSlider;
    slider.release = ReleaseSlider;
    slider.setData = SetTrackData;
    slider.getData = GetTrackData;
    HIViewRegisterKind(slider);

    HIViewKindBehaviour scrollBar = Kind(kControlKindScrollBar);
    scrollBar.draw = DrawScrollBar;
    scrollBar.hitTest = ScrollBarHitTest;
    scrollBar.press = PressScrollBar;
    scrollBar.drag = DragScrollBar;
    scrollBar.release = ReleaseScrollBar;
    scrollBar.setData = SetTrackData;
    scrollBar.getData = GetTrackData;
    HIViewRegisterKind(scrollBar);
}

// ---- creators ----

OSStatus CreateSliderControl(WindowRef window, const Rect* boundsRect, SInt32 value, SInt32 minimum, SInt32 maximum,
                             ControlSliderOrientation orientation, UInt16 numTickMarks, Boolean liveTracking,
                             ControlActionUPP liveTrackingProc, ControlRef* outControl)
{
    if (BadArguments(window, boundsRect, outControl))
        return paramErr;
    HIViewRef view = Create(kControlKindSlider, window, boundsRect);
    ControlState* state = StateOf(view);
    state->orientation = orientation;
    state->tickMarks = numTickMarks;
    state->live = liveTracking;
    state->action = liveTrackingProc;
    SetControl32BitMinimum(view, minimum);
    SetControl32BitMaximum(view, maximum);
    SetControl32BitValue(view, value);
    Finish(view, window, outControl);
    return noErr;
}

OSStatus CreateScrollBarControl(WindowRef window, const Rect* boundsRect, SInt32 value, SInt32 minimum, SInt32 maximum,
                                SInt32 viewSize, Boolean liveTracking, ControlActionUPP liveTrackingProc,
                                ControlRef* outControl)
{
    if (BadArguments(window, boundsRect, outControl))
        return paramErr;
    HIViewRef view = Create(kControlKindScrollBar, window, boundsRect);
    ControlState* state = StateOf(view);
    state->live = liveTracking;
    state->action = liveTrackingProc;
    SetControl32BitMinimum(view, minimum);
    SetControl32BitMaximum(view, maximum);
    SetControl32BitValue(view, value);
    SetControlViewSize(view, viewSize);
    Finish(view, window, outControl);
    return noErr;
}
