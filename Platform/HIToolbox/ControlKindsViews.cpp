// Static text, placards, image views, icons, image wells and group boxes.
#include "ControlKindsInternal.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

using namespace controlkinds;

namespace {

// ---- static text ----

QFont FontOfStyle(const ControlFontStyleRec& style, ThemeFontID fallback)
{
    QFont font = HIThemeGetQFont(style.flags & kControlUseThemeFontIDMask ? ThemeFontID(style.font) : fallback);
    if ((style.flags & kControlUseSizeMask) && style.size > 0)
        font.setPixelSize(style.size);
    if (style.flags & kControlUseFaceMask) {
        font.setBold(style.style & bold);
        font.setItalic(style.style & italic);
        font.setUnderline(style.style & underline);
    }
    return font;
}

void DrawStaticText(HIViewRef view, CGContextRef context)
{
    ControlState* state = StateOf(view);
    const Look look = LookOf(view);
    const HIRect bounds = BoundsOf(view);
    const ControlFontStyleRec& style = state->style;
    if (style.flags & kControlUseBackColorMask) {
        CGContextSaveGState(context);
        CGContextSetRGBFillColor(context, style.backColor.red / 65535.0f, style.backColor.green / 65535.0f,
                                 style.backColor.blue / 65535.0f, 1);
        CGContextFillRect(context, bounds);
        CGContextRestoreGState(context);
    }
    CFStringRef text = HIViewCopyText(view);
    if (text == nullptr)
        return;
    HIThemeTextInfo info{};
    info.state = look.active ? kThemeStateActive : kThemeStateInactive;
    info.fontID = FontForSize(state->size);
    const SInt16 just = style.flags & kControlUseJustMask ? style.just : SInt16(teFlushDefault);
    info.horizontalFlushness = just == teCenter       ? kHIThemeTextHorizontalFlushCenter
                               : just == teFlushRight ? kHIThemeTextHorizontalFlushRight
                                                      : kHIThemeTextHorizontalFlushLeft;
    info.verticalFlushness = kHIThemeTextVerticalFlushTop;
    if (state->truncation != -1) {
        info.truncationPosition =
            state->truncation == truncMiddle ? kHIThemeTextTruncationMiddle : kHIThemeTextTruncationEnd;
        info.truncationMaxLines = state->multiline ? 0 : 1;
    }
    CGContextSaveGState(context);
    if ((style.flags & kControlUseForeColorMask) && look.enabled)
        CGContextSetRGBFillColor(context, style.foreColor.red / 65535.0f, style.foreColor.green / 65535.0f,
                                 style.foreColor.blue / 65535.0f, 1);
    else
        SetTextFill(context, look);
    HIThemeDrawTextBoxInFont(text, &bounds, &info, FontOfStyle(style, info.fontID), context, kHIThemeOrientationNormal);
    CGContextRestoreGState(context);
    CFRelease(text);
}

OSStatus SetStaticTextData(HIViewRef view, ControlPartCode, ResType tag, Size size, const void* data)
{
    ControlState* state = StateOf(view);
    switch (tag) {
    case kControlStaticTextTextTag: {
        if (size < 0 || (size > 0 && data == nullptr))
            return paramErr;
        CFStringRef text = CFStringCreateWithBytes(nullptr, static_cast<const UInt8*>(data), CFIndex(size),
                                                   kCFStringEncodingUTF8, false);
        if (text == nullptr)
            return paramErr;
        const OSStatus status = SetControlTitleWithCFString(view, text);
        CFRelease(text);
        return status;
    }
    case kControlStaticTextCFStringTag: {
        // The view's text is its title (HIViewSetText comes here too).
        CFStringRef text = nullptr;
        const OSStatus status = Take(&text, size, data);
        if (status != noErr)
            return status;
        if (text == nullptr || CFGetTypeID(text) != CFStringGetTypeID())
            return paramErr;
        return SetControlTitleWithCFString(view, text);
    }
    case kControlStaticTextStyleTag:
        return Take(&state->style, size, data);
    case kControlStaticTextTruncTag:
        return Take(&state->truncation, size, data);
    case kControlStaticTextIsMultilineTag:
        return TakeFlag(&state->multiline, size, data);
    default:
        return SetCommonData(state, tag, size, data);
    }
}

OSStatus GetStaticTextData(HIViewRef view, ControlPartCode, ResType tag, Size bufferSize, void* buffer,
                           Size* actualSize)
{
    ControlState* state = StateOf(view);
    switch (tag) {
    case kControlStaticTextTextTag: {
        CFStringRef text = nullptr;
        CopyControlTitleAsCFString(view, &text);
        std::string utf8;
        if (text) {
            const CFIndex length = CFStringGetLength(text);
            CFIndex bytes = 0;
            CFStringGetBytes(text, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false, nullptr, 0, &bytes);
            utf8.resize(size_t(bytes));
            CFStringGetBytes(text, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false,
                             reinterpret_cast<UInt8*>(utf8.data()), bytes, nullptr);
            CFRelease(text);
        }
        if (buffer == nullptr || bufferSize >= Size(utf8.size())) {
            if (buffer)
                std::memcpy(buffer, utf8.data(), utf8.size());
            if (actualSize)
                *actualSize = Size(utf8.size());
            return noErr;
        }
        return errDataSizeMismatch;
    }
    case kControlStaticTextCFStringTag: {
        if (buffer != nullptr && bufferSize < Size(sizeof(CFStringRef)))
            return errDataSizeMismatch;
        if (buffer == nullptr)
            return Put(CFStringRef(nullptr), 0, nullptr, actualSize);
        CFStringRef text = nullptr;
        CopyControlTitleAsCFString(view, &text);
        if (text == nullptr)
            text = CFStringCreateWithCString(nullptr, "", kCFStringEncodingUTF8);
        return Put(text, bufferSize, buffer, actualSize);
    }
    case kControlStaticTextStyleTag:
        return Put(state->style, bufferSize, buffer, actualSize);
    case kControlStaticTextTruncTag:
        return Put(state->truncation, bufferSize, buffer, actualSize);
    case kControlStaticTextIsMultilineTag:
        return Put(Boolean(state->multiline), bufferSize, buffer, actualSize);
    default:
        return GetCommonData(state, tag, bufferSize, buffer, actualSize);
    }
}

// ---- placards ----

void DrawPlacard(HIViewRef view, CGContextRef context)
{
    const Look look = LookOf(view);
    const HIRect bounds = BoundsOf(view);
    const bool pressed = look.enabled && look.hilite != kControlNoPart;
    HIThemePaint(context, bounds, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle&) {
        const QPalette palette = HIThemeGetPalette(look.active);
        const QRectF r = QRectF(QRectOf(bounds)).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(palette.color(QPalette::Mid));
        painter.setBrush(pressed ? palette.color(QPalette::Midlight) : palette.color(QPalette::Button));
        painter.drawRect(r);
    });
}

// ---- image views ----

void DrawImageView(HIViewRef view, CGContextRef context)
{
    ControlState* state = StateOf(view);
    if (state->image == nullptr)
        return;
    const HIRect bounds = BoundsOf(view);
    HIRect rect = bounds;
    if (!state->scaleToFit) {
        const CGFloat w = CGFloat(CGImageGetWidth(state->image)), h = CGFloat(CGImageGetHeight(state->image));
        rect = CGRectMake(std::floor(CGRectGetMidX(bounds) - w / 2), std::floor(CGRectGetMidY(bounds) - h / 2), w, h);
    }
    CGContextSaveGState(context);
    CGContextSetAlpha(context, state->alpha);
    HIViewDrawCGImage(context, &rect, state->image);
    CGContextRestoreGState(context);
}

// ---- icons and image wells ----

void DrawIcon(HIViewRef view, CGContextRef context)
{
    ControlState* state = StateOf(view);
    const Look look = LookOf(view);
    const HIRect bounds = BoundsOf(view);
    DrawContent(context, state->content.info, bounds, std::min(bounds.size.width, bounds.size.height), look,
                look.hilite != kControlNoPart);
}

ControlPartCode IconHitTest(HIViewRef view, HIPoint point)
{
    if (StateOf(view)->dontTrack)
        return kControlNoPart;
    return CGRectContainsPoint(BoundsOf(view), point) ? kControlIconPart : kControlNoPart;
}

void DrawImageWell(HIViewRef view, CGContextRef context)
{
    ControlState* state = StateOf(view);
    const Look look = LookOf(view);
    const HIRect bounds = BoundsOf(view);
    HIThemePaint(context, bounds, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle& style) {
        QStyleOptionFrame option;
        InitOption(option, look, QRectOf(bounds));
        option.state |= QStyle::State_Sunken;
        option.lineWidth = 1;
        option.frameShape = QFrame::StyledPanel;
        painter.fillRect(option.rect.adjusted(1, 1, -1, -1), option.palette.color(QPalette::Base));
        style.drawPrimitive(QStyle::PE_Frame, &option, &painter);
    });
    const HIRect inner = CGRectInset(bounds, 4, 4);
    DrawContent(context, state->content.info, inner, std::min(inner.size.width, inner.size.height), look,
                look.hilite != kControlNoPart);
}

ControlPartCode ImageWellHitTest(HIViewRef view, HIPoint point)
{
    return CGRectContainsPoint(BoundsOf(view), point) ? kControlImageWellPart : kControlNoPart;
}

OSStatus SetContentData(HIViewRef view, ControlPartCode, ResType tag, Size size, const void* data)
{
    ControlState* state = StateOf(view);
    if (tag == FourCC("cont")) {
        ControlButtonContentInfo info{};
        const OSStatus status = Take(&info, size, data);
        return status == noErr ? state->content.Set(&info) : status;
    }
    return SetCommonData(state, tag, size, data);
}

OSStatus GetContentData(HIViewRef view, ControlPartCode, ResType tag, Size bufferSize, void* buffer, Size* actualSize)
{
    ControlState* state = StateOf(view);
    if (tag == FourCC("cont"))
        return Put(state->content.info, bufferSize, buffer, actualSize);
    return GetCommonData(state, tag, bufferSize, buffer, actualSize);
}

// ---- group boxes ----

void DrawGroupBox(HIViewRef view, CGContextRef context)
{
    ControlState* state = StateOf(view);
    const Look look = LookOf(view);
    const HIRect bounds = BoundsOf(view);
    const ThemeFontID font =
        state->size == kControlSizeNormal ? ThemeFontID(kThemeSmallSystemFont) : FontForSize(state->size);
    CFStringRef title = HIViewCopyText(view);
    const bool hasTitle = title && CFStringGetLength(title) > 0;
    CGFloat titleHeight = 0;
    if (hasTitle) {
        HIThemeTextInfo info{};
        info.fontID = font;
        HIThemeGetTextDimensions(title, 0, &info, nullptr, &titleHeight, nullptr);
    }
    const HIRect frame =
        CGRectMake(bounds.origin.x, bounds.origin.y + std::ceil(titleHeight) + (hasTitle ? 2 : 0), bounds.size.width,
                   bounds.size.height - std::ceil(titleHeight) - (hasTitle ? 2 : 0));
    const bool primary = state->primary;
    HIThemePaint(context, frame, kHIThemeOrientationNormal, [&](QPainter& painter, QStyle&) {
        const QPalette palette = HIThemeGetPalette(look.active);
        const QRectF r = QRectF(QRectOf(frame)).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setRenderHint(QPainter::Antialiasing, true);
        QColor edge = palette.color(QPalette::Dark);
        edge.setAlphaF(primary ? 0.55f : 0.35f);
        painter.setPen(edge);
        painter.setBrush(primary ? QColor(0, 0, 0, 14) : QColor(Qt::transparent));
        painter.drawRoundedRect(r, 3, 3);
    });
    if (hasTitle)
        DrawLabel(context, title, CGRectMake(bounds.origin.x + 2, bounds.origin.y, bounds.size.width - 4, titleHeight),
                  font, kHIThemeTextHorizontalFlushLeft, look);
    if (title)
        CFRelease(title);
}

}  // namespace

void controlkinds::RegisterViewKinds()
{
    HIViewKindBehaviour text = Kind(kControlKindStaticText);
    text.draw = DrawStaticText;
    text.setData = SetStaticTextData;
    text.getData = GetStaticTextData;
    HIViewRegisterKind(text);

    HIViewKindBehaviour placard = Kind(kControlKindPlacard);
    placard.draw = DrawPlacard;
    HIViewRegisterKind(placard);

    HIViewKindBehaviour image = Kind(kControlKindHIImageView);
    image.draw = DrawImageView;
    HIViewRegisterKind(image);

    HIViewKindBehaviour icon = Kind(kControlKindIcon);
    icon.draw = DrawIcon;
    icon.hitTest = IconHitTest;
    icon.release = ReleaseOnPart;
    icon.setData = SetContentData;
    icon.getData = GetContentData;
    HIViewRegisterKind(icon);

    HIViewKindBehaviour well = Kind(kControlKindImageWell);
    well.draw = DrawImageWell;
    well.hitTest = ImageWellHitTest;
    well.release = ReleaseOnPart;
    well.setData = SetContentData;
    well.getData = GetContentData;
    HIViewRegisterKind(well);

    for (OSType kind : {kControlKindPrimaryGroupBox, kControlKindSecondaryGroupBox}) {
        HIViewKindBehaviour group = Kind(kind);
        group.draw = DrawGroupBox;
        HIViewRegisterKind(group);
    }
}

// ---- creators ----

OSStatus CreateStaticTextControl(WindowRef window, const Rect* boundsRect, CFStringRef text,
                                 const ControlFontStyleRec* style, ControlRef* outControl)
{
    if (BadArguments(window, boundsRect, outControl))
        return paramErr;
    HIViewRef view = Create(kControlKindStaticText, window, boundsRect);
    SetTitle(view, text);
    if (style)
        StateOf(view)->style = *style;
    Finish(view, window, outControl);
    return noErr;
}

OSStatus CreatePlacardControl(WindowRef window, const Rect* boundsRect, ControlRef* outControl)
{
    if (BadArguments(window, boundsRect, outControl))
        return paramErr;
    Finish(Create(kControlKindPlacard, window, boundsRect), window, outControl);
    return noErr;
}

OSStatus CreateIconControl(WindowRef inWindow, const Rect* inBounds, const ControlButtonContentInfo* inIconContent,
                           Boolean inDontTrack, ControlRef* outControl)
{
    if (BadArguments(inWindow, inBounds, outControl))
        return paramErr;
    HIViewRef view = Create(kControlKindIcon, inWindow, inBounds);
    ControlState* state = StateOf(view);
    state->dontTrack = inDontTrack;
    if (inIconContent)
        state->content.Set(inIconContent);
    Finish(view, inWindow, outControl);
    return noErr;
}

OSStatus CreateImageWellControl(WindowRef window, const Rect* boundsRect, const ControlButtonContentInfo* info,
                                ControlRef* outControl)
{
    if (BadArguments(window, boundsRect, outControl))
        return paramErr;
    HIViewRef view = Create(kControlKindImageWell, window, boundsRect);
    if (info)
        StateOf(view)->content.Set(info);
    Finish(view, window, outControl);
    return noErr;
}

OSStatus CreateGroupBoxControl(WindowRef window, const Rect* boundsRect, CFStringRef title, Boolean primary,
                               ControlRef* outControl)
{
    if (BadArguments(window, boundsRect, outControl))
        return paramErr;
    HIViewRef view = Create(primary ? kControlKindPrimaryGroupBox : kControlKindSecondaryGroupBox, window, boundsRect);
    StateOf(view)->primary = primary;
    SetTitle(view, title);
    Finish(view, window, outControl);
    return noErr;
}

// ---- image views ----

namespace {

ControlState* ImageViewState(HIViewRef view)
{
    return KindOf(view) == kControlKindHIImageView ? StateOf(view) : nullptr;
}

}  // namespace

OSStatus HIImageViewCreate(CGImageRef inImage, HIViewRef* outControl)
{
    if (outControl == nullptr)
        return paramErr;
    HIViewRef view = Create(kControlKindHIImageView, nullptr, nullptr);
    HIImageViewSetImage(view, inImage);
    *outControl = view;
    return noErr;
}

OSStatus HIImageViewSetImage(HIViewRef inView, CGImageRef inImage)
{
    ControlState* state = ImageViewState(inView);
    if (state == nullptr)
        return paramErr;
    Exchange(state->image, inImage, RetainImage, ReleaseImage);
    HIViewSetNeedsDisplay(inView, true);
    return noErr;
}

CGImageRef HIImageViewCopyImage(HIViewRef inView)
{
    ControlState* state = ImageViewState(inView);
    return state && state->image ? CGImageRetain(state->image) : nullptr;
}

OSStatus HIImageViewSetScaleToFit(HIViewRef inView, Boolean inScaleToFit)
{
    ControlState* state = ImageViewState(inView);
    if (state == nullptr)
        return paramErr;
    state->scaleToFit = inScaleToFit;
    HIViewSetNeedsDisplay(inView, true);
    return noErr;
}

Boolean HIImageViewGetScaleToFit(HIViewRef inView)
{
    ControlState* state = ImageViewState(inView);
    return state && state->scaleToFit;
}

OSStatus HIImageViewSetOpaque(HIViewRef inView, Boolean inOpaque)
{
    ControlState* state = ImageViewState(inView);
    if (state == nullptr)
        return paramErr;
    state->opaque = inOpaque;
    return noErr;
}

Boolean HIImageViewIsOpaque(HIViewRef inView)
{
    ControlState* state = ImageViewState(inView);
    return state && state->opaque;
}

OSStatus HIImageViewSetAlpha(HIViewRef inView, CGFloat inAlpha)
{
    ControlState* state = ImageViewState(inView);
    if (state == nullptr)
        return paramErr;
    state->alpha = std::clamp<CGFloat>(inAlpha, 0, 1);
    HIViewSetNeedsDisplay(inView, true);
    return noErr;
}

CGFloat HIImageViewGetAlpha(HIViewRef inView)
{
    ControlState* state = ImageViewState(inView);
    return state ? state->alpha : 0;
}
