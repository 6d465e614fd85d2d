#include "ControlKinds.h"

#include "ControlKindsInternal.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

using namespace controlkinds;

namespace controlkinds {

// The control's own state, made when first asked for (views a nib makes
// by kind start without one).
ControlState* StateOf(HIViewRef view)
{
    auto* state = static_cast<ControlState*>(HIViewGetKindData(view));
    if (state == nullptr && IsValidControlHandle(view)) {
        state = new ControlState();
        HIViewSetKindData(view, state);
    }
    return state;
}

void DisposeState(HIViewRef view)
{
    delete static_cast<ControlState*>(HIViewGetKindData(view));
    HIViewSetKindData(view, nullptr);
}

OSType KindOf(HIViewRef view)
{
    ControlKind kind{};
    return GetControlKind(view, &kind) == noErr ? kind.kind : 0;
}

// A Boolean given in one byte, or as a wider integer.
OSStatus TakeFlag(bool* out, Size size, const void* data)
{
    if (data == nullptr || (size != 1 && size != 2 && size != 4))
        return errDataSizeMismatch;
    UInt32 value = 0;
    std::memcpy(&value, data, size_t(size));
    *out = value != 0;
    return noErr;
}

// The tags every kind shares.
OSStatus SetCommonData(ControlState* state, ResType tag, Size size, const void* data)
{
    if (tag == kControlSizeTag) {
        ControlSize value = 0;
        const OSStatus status = Take(&value, size, data);
        if (status == noErr)
            state->size = value;
        return status;
    }
    return errDataNotSupported;
}

OSStatus GetCommonData(ControlState* state, ResType tag, Size bufferSize, void* buffer, Size* actualSize)
{
    if (tag == kControlSizeTag)
        return Put(state->size, bufferSize, buffer, actualSize);
    return errDataNotSupported;
}

Look LookOf(HIViewRef view)
{
    return Look{bool(HIViewIsEnabled(view, nullptr)), bool(HIViewIsActive(view, nullptr)), GetControlHilite(view)};
}

HIRect BoundsOf(HIViewRef view)
{
    HIRect bounds = CGRectZero;
    HIViewGetBounds(view, &bounds);
    return bounds;
}

QRect QRectOf(const HIRect& r)
{
    return QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height).toAlignedRect();
}

void InitOption(QStyleOption& option, const Look& look, const QRect& rect)
{
    option.rect = rect;
    option.direction = Qt::LeftToRight;
    option.palette = HIThemeGetPalette(look.active);
    if (!look.enabled)
        option.palette.setCurrentColorGroup(QPalette::Disabled);
    option.state = QStyle::State_None;
    if (look.enabled)
        option.state |= QStyle::State_Enabled;
    if (look.active)
        option.state |= QStyle::State_Active;
}

ThemeFontID FontForSize(ControlSize size)
{
    switch (size) {
    case kControlSizeSmall:
        return kThemeSmallSystemFont;
    case kControlSizeMini:
        return kThemeMiniSystemFont;
    default:
        return kThemeSystemFont;
    }
}

// Sets the text colour of the look (the palette's, dimmed when disabled).
void SetTextFill(CGContextRef context, const Look& look, QPalette::ColorRole role)
{
    QPalette palette = HIThemeGetPalette(look.active);
    const QColor color = palette.color(look.enabled ? QPalette::Active : QPalette::Disabled, role);
    CGContextSetRGBFillColor(context, CGFloat(color.redF()), CGFloat(color.greenF()), CGFloat(color.blueF()),
                             CGFloat(color.alphaF()));
}

// One line of text in the box, truncated at its end.
void DrawLabel(CGContextRef context, CFStringRef text, const HIRect& box, ThemeFontID font,
               HIThemeTextHorizontalFlush flush, const Look& look)
{
    if (text == nullptr || CFStringGetLength(text) == 0)
        return;
    HIThemeTextInfo info{};
    info.state = look.active ? kThemeStateActive : kThemeStateInactive;
    info.fontID = font;
    info.horizontalFlushness = flush;
    info.verticalFlushness = kHIThemeTextVerticalFlushCenter;
    info.truncationPosition = kHIThemeTextTruncationEnd;
    info.truncationMaxLines = 1;
    CGContextSaveGState(context);
    SetTextFill(context, look);
    HIThemeDrawTextBox(text, &box, &info, context, kHIThemeOrientationNormal);
    CGContextRestoreGState(context);
}

void DrawTitle(HIViewRef view, CGContextRef context, const HIRect& box, ThemeFontID font,
               HIThemeTextHorizontalFlush flush, const Look& look)
{
    CFStringRef title = HIViewCopyText(view);
    DrawLabel(context, title, box, font, flush, look);
    if (title)
        CFRelease(title);
}

// An icon or image, upright and centred in `box` at most `side` square.
void DrawContent(CGContextRef context, const ControlButtonContentInfo& content, const HIRect& box, CGFloat side,
                 const Look& look, bool pressed)
{
    const CGFloat s = std::min({side, box.size.width, box.size.height});
    if (s <= 0)
        return;
    const HIRect square =
        CGRectMake(std::floor(CGRectGetMidX(box) - s / 2), std::floor(CGRectGetMidY(box) - s / 2), s, s);
    if (content.contentType == kControlContentCGImageRef && content.u.imageRef) {
        CGContextSaveGState(context);
        if (!look.enabled)
            CGContextSetAlpha(context, 0.5f);
        HIViewDrawCGImage(context, &square, content.u.imageRef);
        CGContextRestoreGState(context);
    } else if (content.contentType == kControlContentIconRef && content.u.iconRef) {
        // Icons plot in a y-up space.
        CGContextSaveGState(context);
        CGContextTranslateCTM(context, 0, square.origin.y * 2 + s);
        CGContextScaleCTM(context, 1, -1);
        const IconTransformType transform = !look.enabled ? kTransformDisabled
                                            : pressed     ? kTransformSelected
                                                          : kTransformNone;
        PlotIconRefInContext(context, &square, kAlignAbsoluteCenter, transform, nullptr, kPlotIconRefNormalFlags,
                             content.u.iconRef);
        CGContextRestoreGState(context);
    }
}

// The click counts when it ends on the part it began on.
ControlPartCode ReleaseOnPart(HIViewRef, HIPoint, ControlPartCode part, UInt32)
{
    return part;
}

ControlPartCode NoPartHitTest(HIViewRef, HIPoint)
{
    return kControlNoPart;
}

OSStatus SetPlainData(HIViewRef view, ControlPartCode, ResType tag, Size size, const void* data)
{
    return SetCommonData(StateOf(view), tag, size, data);
}

OSStatus GetPlainData(HIViewRef view, ControlPartCode, ResType tag, Size bufferSize, void* buffer, Size* actualSize)
{
    return GetCommonData(StateOf(view), tag, bufferSize, buffer, actualSize);
}

HIViewKindBehaviour Kind(OSType kind)
{
    HIViewKindBehaviour behaviour{};
    behaviour.kind = {kControlKindSignatureApple, kind};
    behaviour.hitTest = NoPartHitTest;
    behaviour.setData = SetPlainData;
    behaviour.getData = GetPlainData;
    behaviour.dispose = DisposeState;
    return behaviour;
}

// The arguments every creator needs: an output, bounds, and a window
// that is one (or none).
bool BadArguments(WindowRef window, const Rect* bounds, ControlRef* outControl)
{
    return outControl == nullptr || bounds == nullptr || (window != nullptr && !IsValidWindowPtr(window));
}

HIRect FrameOf(const Rect* r)
{
    return CGRectMake(r->left, r->top, r->right - r->left, r->bottom - r->top);
}

// A new view of the kind with its state, or nil for a nil output.
HIViewRef Create(OSType kind, WindowRef window, const Rect* bounds)
{
    HIToolboxRegisterControlKinds();
    HIViewRef view = HIViewCreateOfKind(kind, window, bounds ? FrameOf(bounds) : CGRectZero);
    if (view)
        StateOf(view);
    return view;
}

// Made in a window, the window's content holds the view: the caller gets
// it without a reference of its own, as the platform's creators answer.
void Finish(HIViewRef view, WindowRef window, ControlRef* outControl)
{
    if (window && HIViewGetSuperview(view))
        CFRelease(view);
    *outControl = view;
}

void SetTitle(HIViewRef view, CFStringRef title)
{
    if (title)
        SetControlTitleWithCFString(view, title);
}

}  // namespace controlkinds

namespace {

// ---- push buttons ----

void DrawPushButton(HIViewRef view, CGContextRef context)
{
    ControlState* state = StateOf(view);
    const Look look = LookOf(view);
    const HIRect bounds = BoundsOf(view);
    HIThemePaint(context, bounds, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
        QStyleOptionButton option;
        InitOption(option, look, QRectOf(bounds));
        option.state |= QStyle::State_Raised;
        if (look.enabled && look.hilite != kControlNoPart)
            option.state |= QStyle::State_Sunken;
        if (state->isDefault)
            option.features |= QStyleOptionButton::DefaultButton;
        style.drawControl(QStyle::CE_PushButtonBevel, &option, &painter);
    });
    DrawTitle(view, context, CGRectInset(bounds, 8, 0), FontForSize(state->size), kHIThemeTextHorizontalFlushCenter,
              look);
}

ControlPartCode ButtonHitTest(HIViewRef view, HIPoint point)
{
    return CGRectContainsPoint(BoundsOf(view), point) ? kControlButtonPart : kControlNoPart;
}

OSStatus SetPushButtonData(HIViewRef view, ControlPartCode, ResType tag, Size size, const void* data)
{
    ControlState* state = StateOf(view);
    if (tag == kControlPushButtonDefaultTag)
        return TakeFlag(&state->isDefault, size, data);
    if (tag == kControlPushButtonCancelTag)
        return TakeFlag(&state->isCancel, size, data);
    return SetCommonData(state, tag, size, data);
}

OSStatus GetPushButtonData(HIViewRef view, ControlPartCode, ResType tag, Size bufferSize, void* buffer,
                           Size* actualSize)
{
    ControlState* state = StateOf(view);
    if (tag == kControlPushButtonDefaultTag)
        return Put(Boolean(state->isDefault), bufferSize, buffer, actualSize);
    if (tag == kControlPushButtonCancelTag)
        return Put(Boolean(state->isCancel), bufferSize, buffer, actualSize);
    return GetCommonData(state, tag, bufferSize, buffer, actualSize);
}

// ---- menus of pop-up and bevel buttons ----

// Shows the menu under the view with the item `current` checked and at
// the mouse; answers the item chosen (0: none).
MenuItemIndex ShowMenuOf(HIViewRef view, MenuRef menu, SInt32 current, bool below)
{
    if (menu == nullptr || CountMenuItems(menu) == 0)
        return 0;
    const HIRect bounds = BoundsOf(view);
    HIPoint where = below ? CGPointMake(bounds.origin.x, CGRectGetMaxY(bounds)) : bounds.origin;
    HIPointConvert(&where, kHICoordSpaceView, view, kHICoordSpace72DPIGlobal, nullptr);
    const UInt16 count = CountMenuItems(menu);
    for (UInt16 item = 1; item <= count; ++item)
        CheckMenuItem(menu, item, item == current);
    const SInt32 chosen = PopUpMenuSelect(menu, short(std::lround(where.y)), short(std::lround(where.x)),
                                          short(below ? 0 : std::max<SInt32>(current, 1)));
    return MenuItemIndex(chosen & 0xFFFF);
}

// ---- bevel buttons ----

void DrawBevelButton(HIViewRef view, CGContextRef context)
{
    ControlState* state = StateOf(view);
    const Look look = LookOf(view);
    const HIRect bounds = BoundsOf(view);
    const bool pressed = look.enabled && look.hilite != kControlNoPart;
    const bool on = state->bevelBehavior != kControlBehaviorPushbutton && GetControl32BitValue(view) != 0;
    HIThemePaint(context, bounds, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
        QStyleOptionButton option;
        InitOption(option, look, QRectOf(bounds));
        option.state |= (pressed || on) ? QStyle::State_Sunken : QStyle::State_Raised;
        if (on)
            option.state |= QStyle::State_On;
        style.drawPrimitive(QStyle::PE_PanelButtonCommand, &option, &painter);
    });
    HIRect inner = CGRectInset(bounds, 4, 2);
    if (state->menu) {
        // The arrow of its menu along the right edge.
        const HIRect arrow = CGRectMake(CGRectGetMaxX(bounds) - 14, bounds.origin.y, 10, bounds.size.height);
        HIThemePopupArrowDrawInfo info = {0, look.enabled && look.active ? kThemeStateActive : kThemeStateInactive,
                                          kThemeArrowDown, kThemeArrow5pt};
        HIThemeDrawPopupArrow(&arrow, &info, context, kHIThemeOrientationNormal);
        inner.size.width -= 12;
    }
    CFStringRef title = HIViewCopyText(view);
    const bool hasTitle = title && CFStringGetLength(title) > 0;
    if (!state->content.Empty()) {
        const CGFloat side = state->size == kControlSizeSmall ? 12 : state->size == kControlSizeMini ? 10 : 16;
        HIRect box = inner;
        if (hasTitle)
            box.size.width = side + 2;
        DrawContent(context, state->content.info, box, side, look, pressed);
        if (hasTitle) {
            inner.origin.x += side + 6;
            inner.size.width -= side + 6;
        }
    }
    if (hasTitle)
        DrawLabel(context, title, inner, FontForSize(state->size),
                  state->content.Empty() ? kHIThemeTextHorizontalFlushCenter : kHIThemeTextHorizontalFlushLeft, look);
    if (title)
        CFRelease(title);
}

ControlPartCode BevelHitTest(HIViewRef view, HIPoint point)
{
    if (!CGRectContainsPoint(BoundsOf(view), point))
        return kControlNoPart;
    return StateOf(view)->menu ? kControlMenuPart : kControlButtonPart;
}

ControlPartCode PressBevelButton(HIViewRef view, HIPoint, ControlPartCode part, UInt32)
{
    ControlState* state = StateOf(view);
    if (state->menu == nullptr)
        return kHIViewKeepTracking;
    const MenuItemIndex chosen = ShowMenuOf(view, state->menu, state->menuValue, true);
    if (chosen == 0)
        return kControlNoPart;
    state->menuValue = SInt16(chosen);
    return part;
}

ControlPartCode ReleaseBevelButton(HIViewRef view, HIPoint, ControlPartCode part, UInt32)
{
    ControlState* state = StateOf(view);
    if (part != kControlNoPart && state->bevelBehavior == kControlBehaviorToggles)
        SetControl32BitValue(view, GetControl32BitValue(view) ? 0 : 1);
    else if (part != kControlNoPart && state->bevelBehavior == kControlBehaviorSticky)
        SetControl32BitValue(view, 1);
    return part;
}

OSStatus SetBevelButtonData(HIViewRef view, ControlPartCode, ResType tag, Size size, const void* data)
{
    ControlState* state = StateOf(view);
    if (tag == kControlBevelButtonContentTag) {
        ControlButtonContentInfo info{};
        const OSStatus status = Take(&info, size, data);
        return status == noErr ? state->content.Set(&info) : status;
    }
    if (tag == kControlBevelButtonMenuRefTag) {
        MenuRef menu = nullptr;
        const OSStatus status = Take(&menu, size, data);
        if (status == noErr)
            Exchange(state->menu, menu, RetainMenuRef, ReleaseMenuRef);
        return status;
    }
    if (tag == kControlBevelButtonMenuValueTag)
        return Take(&state->menuValue, size, data);
    return SetCommonData(state, tag, size, data);
}

OSStatus GetBevelButtonData(HIViewRef view, ControlPartCode, ResType tag, Size bufferSize, void* buffer,
                            Size* actualSize)
{
    ControlState* state = StateOf(view);
    if (tag == kControlBevelButtonContentTag)
        return Put(state->content.info, bufferSize, buffer, actualSize);
    if (tag == kControlBevelButtonMenuRefTag)
        return Put(state->menu, bufferSize, buffer, actualSize);
    if (tag == kControlBevelButtonMenuValueTag)
        return Put(state->menuValue, bufferSize, buffer, actualSize);
    return GetCommonData(state, tag, bufferSize, buffer, actualSize);
}

// ---- check boxes and radio buttons ----

constexpr CGFloat kIndicatorSide = 14;

HIRect IndicatorRect(const HIRect& bounds)
{
    return CGRectMake(bounds.origin.x + 1, std::floor(CGRectGetMidY(bounds) - kIndicatorSide / 2), kIndicatorSide,
                      kIndicatorSide);
}

void DrawToggle(HIViewRef view, CGContextRef context, QStyle::PrimitiveElement element)
{
    ControlState* state = StateOf(view);
    const Look look = LookOf(view);
    const HIRect bounds = BoundsOf(view);
    const HIRect indicator = IndicatorRect(bounds);
    const SInt32 value = GetControl32BitValue(view);
    HIThemePaint(context, indicator, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
        QStyleOptionButton option;
        InitOption(option, look, QRectOf(indicator));
        option.state |= value == 1 ? QStyle::State_On : value == 2 ? QStyle::State_NoChange : QStyle::State_Off;
        if (look.enabled && look.hilite != kControlNoPart)
            option.state |= QStyle::State_Sunken;
        style.drawPrimitive(element, &option, &painter);
    });
    const CGFloat textLeft = CGRectGetMaxX(indicator) + 4;
    DrawTitle(view, context,
              CGRectMake(textLeft, bounds.origin.y, CGRectGetMaxX(bounds) - textLeft, bounds.size.height),
              FontForSize(state->size), kHIThemeTextHorizontalFlushLeft, look);
}

void DrawCheckBox(HIViewRef view, CGContextRef context)
{
    DrawToggle(view, context, QStyle::PE_IndicatorCheckBox);
}

void DrawRadioButton(HIViewRef view, CGContextRef context)
{
    DrawToggle(view, context, QStyle::PE_IndicatorRadioButton);
}

ControlPartCode CheckBoxHitTest(HIViewRef view, HIPoint point)
{
    return CGRectContainsPoint(BoundsOf(view), point) ? kControlCheckBoxPart : kControlNoPart;
}

ControlPartCode RadioButtonHitTest(HIViewRef view, HIPoint point)
{
    return CGRectContainsPoint(BoundsOf(view), point) ? kControlRadioButtonPart : kControlNoPart;
}

ControlPartCode ReleaseCheckBox(HIViewRef view, HIPoint, ControlPartCode part, UInt32)
{
    if (part == kControlCheckBoxPart && StateOf(view)->autoToggle)
        SetControl32BitValue(view, GetControl32BitValue(view) == kControlCheckBoxCheckedValue
                                       ? kControlCheckBoxUncheckedValue
                                       : kControlCheckBoxCheckedValue);
    return part;
}

// The radio buttons of a group, in order, and the index (from 1) of one.
UInt16 RadioIndexInGroup(HIViewRef group, HIViewRef radio)
{
    UInt16 index = 0;
    for (HIViewRef child = HIViewGetFirstSubview(group); child; child = HIViewGetNextView(child)) {
        if (KindOf(child) != kControlKindRadioButton)
            continue;
        ++index;
        if (child == radio)
            return index;
    }
    return 0;
}

// Turns on the group's radio button `index` (from 1) and the others off.
void SyncRadioGroup(HIViewRef group, SInt32 index)
{
    SInt32 at = 0;
    for (HIViewRef child = HIViewGetFirstSubview(group); child; child = HIViewGetNextView(child)) {
        if (KindOf(child) != kControlKindRadioButton)
            continue;
        ++at;
        SetControl32BitValue(child, at == index ? kControlRadioButtonCheckedValue : kControlRadioButtonUncheckedValue);
    }
}

ControlPartCode ReleaseRadioButton(HIViewRef view, HIPoint, ControlPartCode part, UInt32)
{
    if (part != kControlRadioButtonPart)
        return part;
    HIViewRef group = HIViewGetSuperview(view);
    if (group && KindOf(group) == kControlKindRadioGroup) {
        // The group decides: its value is the button's index, and its
        // value-changed handler turns the others off.
        const UInt16 index = RadioIndexInGroup(group, view);
        SetControl32BitMaximum(group, std::max<SInt32>(GetControl32BitMaximum(group), index));
        SetControl32BitValue(group, index);
        SyncRadioGroup(group, index);
    } else if (StateOf(view)->autoToggle) {
        SetControl32BitValue(view, kControlRadioButtonCheckedValue);
    }
    return part;
}

// A radio group follows its value: set by a click or by the program.
OSStatus RadioGroupValueChanged(EventHandlerCallRef, EventRef, void* refCon)
{
    auto group = static_cast<HIViewRef>(refCon);
    SyncRadioGroup(group, GetControl32BitValue(group));
    return eventNotHandledErr;
}

// ---- pop-up buttons ----

void DrawPopupButton(HIViewRef view, CGContextRef context)
{
    ControlState* state = StateOf(view);
    const Look look = LookOf(view);
    const HIRect bounds = BoundsOf(view);
    QRect field;
    HIThemePaint(context, bounds, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
        QStyleOptionComboBox option;
        InitOption(option, look, QRectOf(bounds));
        option.editable = false;
        option.frame = true;
        option.subControls = QStyle::SC_All;
        if (look.enabled && look.hilite != kControlNoPart)
            option.state |= QStyle::State_Sunken | QStyle::State_On;
        style.drawComplexControl(QStyle::CC_ComboBox, &option, &painter);
        field = style.subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField);
    });
    if (state->menu == nullptr || field.isEmpty())
        return;
    const SInt32 value = GetControl32BitValue(view);
    CFStringRef text = nullptr;
    if (value >= 1 && value <= CountMenuItems(state->menu) &&
        CopyMenuItemTextAsCFString(state->menu, MenuItemIndex(value), &text) == noErr) {
        const HIRect box = CGRectMake(field.x() + 2, field.y(), field.width() - 2, field.height());
        DrawLabel(context, text, box, FontForSize(state->size), kHIThemeTextHorizontalFlushLeft, look);
        CFRelease(text);
    }
}

ControlPartCode PopupHitTest(HIViewRef view, HIPoint point)
{
    return CGRectContainsPoint(BoundsOf(view), point) ? kControlMenuPart : kControlNoPart;
}

ControlPartCode PressPopupButton(HIViewRef view, HIPoint, ControlPartCode part, UInt32)
{
    ControlState* state = StateOf(view);
    HiliteControl(view, part);
    const MenuItemIndex chosen = ShowMenuOf(view, state->menu, GetControl32BitValue(view), false);
    if (!IsValidControlHandle(view))
        return kControlNoPart;
    HiliteControl(view, kControlNoPart);
    if (chosen == 0)
        return kControlNoPart;
    SetControl32BitValue(view, chosen);
    return part;
}

OSStatus SetPopupData(HIViewRef view, ControlPartCode, ResType tag, Size size, const void* data)
{
    ControlState* state = StateOf(view);
    if (tag == kControlPopupButtonMenuRefTag) {
        MenuRef menu = nullptr;
        const OSStatus status = Take(&menu, size, data);
        if (status != noErr)
            return status;
        Exchange(state->menu, menu, RetainMenuRef, ReleaseMenuRef);
        // The items are the values.
        SetControl32BitMinimum(view, 0);
        SetControl32BitMaximum(view, CountMenuItems(menu));
        if (menu && GetControl32BitValue(view) == 0 && CountMenuItems(menu) > 0)
            SetControl32BitValue(view, 1);
        return noErr;
    }
    return SetCommonData(state, tag, size, data);
}

OSStatus GetPopupData(HIViewRef view, ControlPartCode, ResType tag, Size bufferSize, void* buffer, Size* actualSize)
{
    ControlState* state = StateOf(view);
    if (tag == kControlPopupButtonMenuRefTag)
        return Put(state->menu, bufferSize, buffer, actualSize);
    return GetCommonData(state, tag, bufferSize, buffer, actualSize);
}

void RegisterButtonKinds()
{
    HIViewKindBehaviour push = Kind(kControlKindPushButton);
    push.draw = DrawPushButton;
    push.hitTest = ButtonHitTest;
    push.release = ReleaseOnPart;
    push.setData = SetPushButtonData;
    push.getData = GetPushButtonData;
    HIViewRegisterKind(push);

    HIViewKindBehaviour bevel = Kind(kControlKindBevelButton);
    bevel.draw = DrawBevelButton;
    bevel.hitTest = BevelHitTest;
    bevel.press = PressBevelButton;
    bevel.release = ReleaseBevelButton;
    bevel.setData = SetBevelButtonData;
    bevel.getData = GetBevelButtonData;
    HIViewRegisterKind(bevel);

    HIViewKindBehaviour check = Kind(kControlKindCheckBox);
    check.draw = DrawCheckBox;
    check.hitTest = CheckBoxHitTest;
    check.release = ReleaseCheckBox;
    HIViewRegisterKind(check);

    HIViewKindBehaviour radio = Kind(kControlKindRadioButton);
    radio.draw = DrawRadioButton;
    radio.hitTest = RadioButtonHitTest;
    radio.release = ReleaseRadioButton;
    HIViewRegisterKind(radio);

    HIViewRegisterKind(Kind(kControlKindRadioGroup));

    HIViewKindBehaviour popup = Kind(kControlKindPopupButton);
    popup.draw = DrawPopupButton;
    popup.hitTest = PopupHitTest;
    popup.press = PressPopupButton;
    popup.setData = SetPopupData;
    popup.getData = GetPopupData;
    HIViewRegisterKind(popup);
}

}  // namespace

void HIToolboxRegisterControlKinds()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    RegisterButtonKinds();
    RegisterViewKinds();
    RegisterTabKinds();
    RegisterTrackKinds();
}

// ---- creators ----

OSStatus CreatePushButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, ControlRef* outControl)
{
    if (BadArguments(window, boundsRect, outControl))
        return paramErr;
    HIViewRef view = Create(kControlKindPushButton, window, boundsRect);
    SetTitle(view, title);
    Finish(view, window, outControl);
    return noErr;
}

OSStatus CreateBevelButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, ControlBevelThickness,
                                  ControlBevelButtonBehavior behavior, ControlButtonContentInfoPtr info, SInt16,
                                  ControlBevelButtonMenuBehavior, ControlBevelButtonMenuPlacement,
                                  ControlRef* outControl)
{
    if (BadArguments(window, boundsRect, outControl))
        return paramErr;
    HIViewRef view = Create(kControlKindBevelButton, window, boundsRect);
    SetTitle(view, title);
    ControlState* state = StateOf(view);
    state->bevelBehavior = behavior & (kControlBehaviorToggles | kControlBehaviorSticky);
    if (state->bevelBehavior != kControlBehaviorPushbutton)
        SetControl32BitMaximum(view, 1);
    if (info)
        state->content.Set(info);
    Finish(view, window, outControl);
    return noErr;
}

OSErr GetBevelButtonContentInfo(ControlRef inButton, ControlButtonContentInfoPtr outContent)
{
    if (outContent == nullptr || KindOf(inButton) != kControlKindBevelButton)
        return paramErr;
    return OSErr(GetControlData(inButton, 0, kControlBevelButtonContentTag, sizeof *outContent, outContent, nullptr));
}

OSErr SetBevelButtonContentInfo(ControlRef inButton, ControlButtonContentInfoPtr inContent)
{
    if (inContent == nullptr || KindOf(inButton) != kControlKindBevelButton)
        return paramErr;
    return OSErr(SetControlData(inButton, 0, kControlBevelButtonContentTag, sizeof *inContent, inContent));
}

namespace {

OSStatus CreateToggle(OSType kind, WindowRef window, const Rect* boundsRect, CFStringRef title, SInt32 initialValue,
                      Boolean autoToggle, ControlRef* outControl)
{
    if (BadArguments(window, boundsRect, outControl))
        return paramErr;
    HIViewRef view = Create(kind, window, boundsRect);
    SetTitle(view, title);
    StateOf(view)->autoToggle = autoToggle;
    SetControl32BitMinimum(view, 0);
    SetControl32BitMaximum(view, 2);
    SetControl32BitValue(view, initialValue);
    Finish(view, window, outControl);
    return noErr;
}

}  // namespace

OSStatus CreateCheckBoxControl(WindowRef window, const Rect* boundsRect, CFStringRef title, SInt32 initialValue,
                               Boolean autoToggle, ControlRef* outControl)
{
    return CreateToggle(kControlKindCheckBox, window, boundsRect, title, initialValue, autoToggle, outControl);
}

OSStatus CreateRadioButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, SInt32 initialValue,
                                  Boolean autoToggle, ControlRef* outControl)
{
    return CreateToggle(kControlKindRadioButton, window, boundsRect, title, initialValue, autoToggle, outControl);
}

OSStatus CreateRadioGroupControl(WindowRef window, const Rect* boundsRect, ControlRef* outControl)
{
    if (BadArguments(window, boundsRect, outControl))
        return paramErr;
    HIViewRef view = Create(kControlKindRadioGroup, window, boundsRect);
    SetControl32BitMaximum(view, 0x7FFF);
    static const EventTypeSpec valueChanged = {kEventClassControl, kEventControlValueFieldChanged};
    InstallEventHandler(GetControlEventTarget(view), RadioGroupValueChanged, 1, &valueChanged, view, nullptr);
    Finish(view, window, outControl);
    return noErr;
}

OSStatus CreatePopupButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, SInt16, Boolean, SInt16,
                                  SInt16, Style, ControlRef* outControl)
{
    if (BadArguments(window, boundsRect, outControl))
        return paramErr;
    HIViewRef view = Create(kControlKindPopupButton, window, boundsRect);
    SetTitle(view, title);
    Finish(view, window, outControl);
    return noErr;
}
