#include "HostedViews.h"

#include "Menus.h"

#include "HIThemeQt.h"
#include "HostedViewsInternal.h"

#include <CoreFoundation/CFStringUTF8.h>
#include <CoreGraphics/CGImageQt.h>

#include <QAction>
#include <QApplication>
#include <QDateTimeEdit>
#include <QEvent>
#include <QIcon>
#include <QLineEdit>
#include <QLocale>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <unordered_map>

namespace {

// ---- the registry ----

typedef HostedView* (*HostedMaker)(HIViewRef view);

std::map<OSType, HostedMaker>& Makers()
{
    static auto* const makers = new std::map<OSType, HostedMaker>;
    return *makers;
}

// Every hosted view alive, for the passes that place a window's widgets.
std::unordered_map<HIViewRef, HostedView*>& Hosted()
{
    static auto* const hosted = new std::unordered_map<HIViewRef, HostedView*>;
    return *hosted;
}

// The view's hosted data, when it is still the one we made for it (a view
// freed at the same address as an old one has data of its own).
HostedView* Lookup(HIViewRef view)
{
    auto found = Hosted().find(view);
    if (found == Hosted().end() || HIViewGetKindData(view) != found->second)
        return nullptr;
    return found->second;
}

// The data of `view` while `widget` is still its widget: widget signals
// may arrive after the view went or changed widgets.
HostedView* HostOfWidget(HIViewRef view, const QObject* widget)
{
    HostedView* hosted = Lookup(view);
    return hosted && hosted->widget == widget ? hosted : nullptr;
}

QString ToQString(CFStringRef string)
{
    const std::u16string_view units = CFStringView(string);
    return QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
}

CFStringRef ToCFString(const QString& text)
{
    return CFStringCreateWithUTF16(std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), text.size()));
}

bool IsString(const void* data)
{
    const CFTypeRef value = data ? *static_cast<const CFTypeRef*>(data) : nullptr;
    return value && CFGetTypeID(value) == CFStringGetTypeID();
}

HIRect ToHIRect(const Rect& rect)
{
    return HIRect{{CGFloat(rect.left), CGFloat(rect.top)},
                  {CGFloat(std::max(0, rect.right - rect.left)), CGFloat(std::max(0, rect.bottom - rect.top))}};
}

QColor ColorOf(const RGBColor& color)
{
    return QColor::fromRgba64(color.red, color.green, color.blue);
}

// Our own widgets wear the theme the drawn controls are drawn in.
void WearTheme(QWidget* widget, ThemeFontID fontID)
{
    if (QStyle* style = HIThemeGetStyle())
        widget->setStyle(style);
    widget->setPalette(HIThemeGetPalette(true));
    widget->setFont(HIThemeGetQFont(fontID));
}

// ---- focus ----

bool HoldsFocus(QWidget* widget)
{
    QWidget* focus = widget ? widget->window()->focusWidget() : nullptr;
    return focus && (focus == widget || widget->isAncestorOf(focus));
}

// Where keyboard focus goes inside the widget: itself, or for a container
// the first descendant that takes focus.
QWidget* FocusTarget(QWidget* widget)
{
    if (widget->focusPolicy() != Qt::NoFocus || widget->focusProxy())
        return widget;
    for (QWidget* child : widget->findChildren<QWidget*>()) {
        if (child->focusPolicy() != Qt::NoFocus && child->isEnabled())
            return child;
    }
    return widget;
}

// Focus leaves the widget for its window's own widget, so that no other
// hosted widget takes it behind the view tree's back.
void GiveUpFocus(QWidget* widget)
{
    if (!HoldsFocus(widget))
        return;
    if (QWidget* host = widget->parentWidget())
        host->window()->setFocus(Qt::OtherFocusReason);
    else
        widget->clearFocus();
}

// A widget took Qt's focus (a click, or Qt's own focus moves inside a
// Cocoa view): the view takes the keyboard focus too, so keys go to it first.
void FollowQtFocus(QWidget*, QWidget* now)
{
    if (!now)
        return;
    for (const auto& [view, hosted] : Hosted()) {
        QWidget* widget = hosted->widget;
        if (!widget || (widget != now && !widget->isAncestorOf(now)) || Lookup(view) != hosted)
            continue;
        WindowRef window = HIViewGetWindow(view);
        ControlRef focus = nullptr;
        if (window && GetKeyboardFocus(window, &focus) == noErr && focus != view)
            SetKeyboardFocus(window, view, kControlFocusNextPart);
        return;
    }
}

void WatchQtFocus()
{
    static bool watching = false;
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (watching || !application)
        return;
    watching = true;
    QObject::connect(application, &QApplication::focusChanged, application, FollowQtFocus);
}

// ---- placing the widgets ----

void SyncWindow(WindowRef window)
{
    if (!window)
        return;
    // The window's views, and those whose widget is still in it (a view
    // that left the window hears nothing of it).
    QWidget* host = HIWindowGetWidget(window);
    std::vector<HostedView*> due;
    for (const auto& [view, hosted] : Hosted()) {
        const bool placedHere = host && hosted->widget && hosted->widget->parentWidget() == host;
        if (Lookup(view) == hosted && (placedHere || HIViewGetWindow(view) == window))
            due.push_back(hosted);
    }
    for (HostedView* hosted : due) {
        if (Lookup(hosted->view) == hosted)
            HostedViewSync(*hosted);
    }
}

// Every change in the view tree invalidates the window, and every pass
// that draws it goes through here first (the window's paint event and Qt's
// update of the window's widget), so the widgets follow ancestors too.
OSStatus WindowPaintHandler(EventHandlerCallRef, EventRef, void* refCon)
{
    SyncWindow(static_cast<WindowRef>(refCon));
    return eventNotHandledErr;
}

class HostWidgetWatcher final : public QObject {
public:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::UpdateRequest || event->type() == QEvent::Show) {
            if (auto* widget = qobject_cast<QWidget*>(object))
                SyncWindow(HIWindowFromWidget(widget));
        }
        return false;
    }
};

void WatchWindow(WindowRef window, QWidget* host)
{
    static HostWidgetWatcher* watcher = nullptr;
    if (!watcher) {
        watcher = new HostWidgetWatcher;
        watcher->setParent(QCoreApplication::instance());
    }
    host->installEventFilter(watcher);  // once: a second install only moves it first
    const OSType creator = FourCC("HIvw"), tag = FourCC("host");
    Boolean installed = false;
    if (GetWindowProperty(window, creator, tag, sizeof installed, nullptr, &installed) == noErr && installed)
        return;
    installed = true;
    SetWindowProperty(window, creator, tag, sizeof installed, &installed);
    const EventTypeSpec types[] = {{kEventClassWindow, kEventWindowPaint}};
    InstallEventHandler(GetWindowEventTarget(window), WindowPaintHandler, 1, types, window, nullptr);
}

// The view's frame in its window's coordinates, and whether the view sits
// in that window's tree, shown with all its ancestors.
bool PlaceOf(HIViewRef view, WindowRef window, QRect* geometry, bool* shown)
{
    HIViewRef top = view;
    *shown = true;
    for (HIViewRef at = view; at; at = HIViewGetSuperview(at)) {
        *shown = *shown && HIViewIsLatentlyVisible(at);
        top = at;
    }
    if (!window || top != HIViewGetRoot(window))
        return false;
    HIRect bounds = {};
    HIViewGetBounds(view, &bounds);
    HIViewConvertRect(&bounds, view, nullptr);
    const int left = int(std::lround(bounds.origin.x)), topEdge = int(std::lround(bounds.origin.y));
    const int right = int(std::lround(bounds.origin.x + bounds.size.width));
    const int bottom = int(std::lround(bounds.origin.y + bounds.size.height));
    *geometry = QRect(left, topEdge, std::max(0, right - left), std::max(0, bottom - topEdge));
    return true;
}

void Park(QWidget* widget)
{
    GiveUpFocus(widget);
    widget->hide();
    if (widget->parentWidget())
        widget->setParent(nullptr);
}

// ---- the view's handler ----

OSStatus HostedViewHandler(EventHandlerCallRef call, EventRef event, void* refCon)
{
    auto* view = static_cast<HIViewRef>(refCon);
    if (GetEventClass(event) != kEventClassControl)
        return eventNotHandledErr;
    if (GetEventKind(event) == kEventControlSetFocusPart) {
        // The view tree answers the part; the widget follows its answer.
        const OSStatus status = CallNextEventHandler(call, event);
        ControlPartCode part = 0;
        GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
        HostedView* hosted = Lookup(view);
        if (status == noErr && hosted && hosted->widget) {
            if (part != 0) {
                HostedViewSync(*hosted);
                FocusTarget(hosted->widget)->setFocus(Qt::OtherFocusReason);
            } else {
                GiveUpFocus(hosted->widget);
            }
        }
        return status;
    }
    // Frame, visibility, enabled state, window.
    if (HostedView* hosted = Lookup(view))
        HostedViewSync(*hosted);
    return eventNotHandledErr;
}

void InstallViewHandler(HIViewRef view)
{
    const EventTypeSpec types[] = {{kEventClassControl, kEventControlBoundsChanged},
                                   {kEventClassControl, kEventControlVisibilityChanged},
                                   {kEventClassControl, kEventControlEnabledStateChanged},
                                   {kEventClassControl, kEventControlOwningWindowChanged},
                                   {kEventClassControl, kEventControlSetFocusPart}};
    InstallEventHandler(GetControlEventTarget(view), HostedViewHandler, std::size(types), types, view, nullptr);
}

// ---- the kind's hooks common to all hosted kinds ----

void DrawHosted(HIViewRef view, CGContextRef context)
{
    HostedView* hosted = HostedViewOf(view);
    if (!hosted || !hosted->widget)
        return;
    HostedViewSync(*hosted);
    // The window's buffer shows the widget too (images of the window,
    // renderings of nibs); on screen the widget itself covers it.
    QWidget* widget = hosted->widget;
    HIRect bounds = {};
    HIViewGetBounds(view, &bounds);
    if (widget->width() <= 0 || widget->height() <= 0)
        return;
    CGImageRef image = CGImageCreateWithQImage(widget->grab().toImage());
    HIViewDrawCGImage(context, &bounds, image);
    CGImageRelease(image);
}

void DisposeHosted(HIViewRef view)
{
    HostedView* hosted = Lookup(view);
    if (!hosted)
        return;
    Hosted().erase(view);
    HIViewSetKindData(view, nullptr);
    if (QWidget* widget = hosted->widget) {
        // Not deleted at once: the dispose may come from inside one of the
        // widget's own signals (Return in a field closing its window).
        Park(widget);
        widget->deleteLater();
    }
    delete hosted;
}

// Tab moves the keyboard focus through the window's views, in nib order.
OSStatus TabAdvancesFocus(HIViewRef view, EventRef rawKeyEvent)
{
    UInt32 keyCode = 0;
    UInt32 modifiers = 0;
    GetEventParameter(rawKeyEvent, kEventParamKeyCode, typeUInt32, nullptr, sizeof keyCode, nullptr, &keyCode);
    GetEventParameter(rawKeyEvent, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
    const UInt32 tabKeyCode = 0x30;
    if (keyCode != tabKeyCode || (modifiers & (cmdKey | optionKey | controlKey)))
        return eventNotHandledErr;
    HIViewAdvanceFocus(HIViewGetRoot(HIViewGetWindow(view)), modifiers);
    return noErr;
}

// ---- the Unicode edit text field and the search field ----

class HostedLineEdit final : public QLineEdit {
public:
    // Tab belongs to the view tree's focus order, never to Qt's.
    bool focusNextPrevChild(bool) override { return false; }
};

struct EditTextHost final : HostedView {
    QLineEdit* Edit() const { return qobject_cast<QLineEdit*>(widget.data()); }
    ControlFontStyleRec style = {};
    bool password = false;
    OptionBits attributes = 0;
    MenuRef searchMenu = nullptr;  // held
    QAction* searchIcon = nullptr;

    ~EditTextHost() override { SetSearchMenu(nullptr); }
    void SetSearchMenu(MenuRef menu)
    {
        if (menu)
            RetainMenu(menu);
        if (searchMenu)
            ReleaseMenu(searchMenu);
        searchMenu = menu;
    }
};

EditTextHost* EditTextOf(HIViewRef view)
{
    HostedView* hosted = HostedViewOf(view);
    auto* edit = dynamic_cast<EditTextHost*>(hosted);
    return edit && edit->Edit() ? edit : nullptr;
}

void ConnectLineEdit(HIViewRef view, QLineEdit* edit)
{
    QObject::connect(edit, &QLineEdit::textEdited, edit, [view, edit] {
        if (HostedView* hosted = HostOfWidget(view, edit); hosted && !hosted->programmatic)
            HostedViewSendTextEvent(view, kEventTextDidChange);
    });
    QObject::connect(edit, &QLineEdit::returnPressed, edit, [view, edit] {
        if (HostOfWidget(view, edit))
            HostedViewSendTextEvent(view, kEventTextAccepted);
    });
}

// A QuickDraw font number (kControlUseFontMask) has no family here: the
// theme font stays.
void ApplyFontStyle(EditTextHost& hosted, const ControlFontStyleRec& style)
{
    QLineEdit* edit = hosted.Edit();
    hosted.style = style;
    QFont font = HIThemeGetQFont(style.flags & kControlUseThemeFontIDMask ? ThemeFontID(style.font)
                                                                          : ThemeFontID(kThemeSystemFont));
    if ((style.flags & kControlUseSizeMask) && style.size > 0)
        font.setPointSize(style.size);
    if (style.flags & kControlUseFaceMask) {
        font.setBold(style.style & bold);
        font.setItalic(style.style & italic);
        font.setUnderline(style.style & underline);
    }
    edit->setFont(font);
    QPalette palette = HIThemeGetPalette(true);
    if (style.flags & kControlUseForeColorMask)
        palette.setColor(QPalette::Text, ColorOf(style.foreColor));
    if (style.flags & kControlUseBackColorMask)
        palette.setColor(QPalette::Base, ColorOf(style.backColor));
    edit->setPalette(palette);
    Qt::Alignment alignment = Qt::AlignLeft;
    if ((style.flags & kControlUseJustMask) && style.just == teCenter)
        alignment = Qt::AlignHCenter;
    else if ((style.flags & kControlUseJustMask) && style.just == teFlushRight)
        alignment = Qt::AlignRight;
    edit->setAlignment(alignment | Qt::AlignVCenter);
}

HostedView* MakeEditText(HIViewRef view)
{
    auto* hosted = new EditTextHost;
    auto* edit = new HostedLineEdit;
    WearTheme(edit, kThemeSystemFont);
    edit->setFocusPolicy(Qt::ClickFocus);
    ConnectLineEdit(view, edit);
    hosted->widget = edit;
    return hosted;
}

void ApplySearchAttributes(EditTextHost& hosted)
{
    QLineEdit* edit = hosted.Edit();
    const bool cancel = hosted.attributes & kHISearchFieldAttributesCancel;
    if (edit->isClearButtonEnabled() != cancel) {
        edit->setClearButtonEnabled(cancel);
        if (cancel) {
            HIViewRef view = hosted.view;
            // The view hears of the button first, then Qt empties the
            // field (the user's edit: did-change).
            if (auto* clear = edit->findChild<QAction*>(QStringLiteral("_q_qlineeditclearaction")))
                QObject::connect(clear, &QAction::triggered, edit, [view, edit] {
                    if (HostOfWidget(view, edit)) {
                        EventRef event = nullptr;
                        CreateEvent(nullptr, kEventClassSearchField, kEventSearchFieldCancelClicked, 0, 0, &event);
                        SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof view, &view);
                        SendEventToEventTarget(event, GetControlEventTarget(view));
                        ReleaseEvent(event);
                    }
                });
        }
    }
    const bool icon = hosted.attributes & kHISearchFieldAttributesSearchIcon;
    if (icon && !hosted.searchIcon) {
        const QIcon glass = QIcon::fromTheme(QStringLiteral("edit-find"),
                                             edit->style()->standardIcon(QStyle::SP_FileDialogContentsView));
        hosted.searchIcon = edit->addAction(glass, QLineEdit::LeadingPosition);
    } else if (!icon && hosted.searchIcon) {
        edit->removeAction(hosted.searchIcon);
        delete hosted.searchIcon;
        hosted.searchIcon = nullptr;
    }
}

HostedView* MakeSearchField(HIViewRef view)
{
    return MakeEditText(view);
}

OSStatus SetEditTextData(HIViewRef view, ControlPartCode, ResType tag, Size size, const void* data)
{
    EditTextHost* hosted = EditTextOf(view);
    if (!hosted)
        return errUnknownControl;
    QLineEdit* edit = hosted->Edit();
    switch (tag) {
    case kControlEditTextPasswordCFStringTag:
        if (!hosted->password)
            return errDataNotSupported;
        [[fallthrough]];
    case kControlEditTextCFStringTag: {
        if (size != Size(sizeof(CFStringRef)))
            return errDataSizeMismatch;
        if (!IsString(data))
            return paramErr;
        HostedViewChange change(*hosted);
        edit->setText(ToQString(*static_cast<const CFStringRef*>(data)));
        return noErr;
    }
    case kControlEditTextSelectionTag: {
        if (size != Size(sizeof(ControlEditTextSelectionRec)) || !data)
            return errDataSizeMismatch;
        const auto& selection = *static_cast<const ControlEditTextSelectionRec*>(data);
        const int length = int(edit->text().size());
        const int start = std::clamp<int>(selection.selStart, 0, length);
        const int end = std::clamp<int>(selection.selEnd, 0, length);
        if (start == end)
            edit->setCursorPosition(start);
        else
            edit->setSelection(std::min(start, end), std::abs(end - start));
        return noErr;
    }
    case kControlEditTextLockedTag:
        if (size != Size(sizeof(Boolean)) || !data)
            return errDataSizeMismatch;
        edit->setReadOnly(*static_cast<const Boolean*>(data));
        return noErr;
    case kControlFontStyleTag:
        if (size != Size(sizeof(ControlFontStyleRec)) || !data)
            return errDataSizeMismatch;
        ApplyFontStyle(*hosted, *static_cast<const ControlFontStyleRec*>(data));
        return noErr;
    default:
        return errDataNotSupported;
    }
}

OSStatus GetEditTextData(HIViewRef view, ControlPartCode, ResType tag, Size bufferSize, void* buffer, Size* actualSize)
{
    EditTextHost* hosted = EditTextOf(view);
    if (!hosted)
        return errUnknownControl;
    QLineEdit* edit = hosted->Edit();
    switch (tag) {
    case kControlEditTextPasswordCFStringTag:
        if (!hosted->password)
            return errDataNotSupported;
        [[fallthrough]];
    case kControlEditTextCFStringTag: {
        if (buffer && bufferSize < Size(sizeof(CFStringRef)))
            return errDataSizeMismatch;
        CFStringRef text = buffer ? ToCFString(edit->text()) : nullptr;
        return HostedViewAnswerData(&text, sizeof text, bufferSize, buffer, actualSize);
    }
    case kControlEditTextSelectionTag: {
        ControlEditTextSelectionRec selection;
        if (edit->hasSelectedText()) {
            selection.selStart = SInt16(std::min(edit->selectionStart(), 32767));
            selection.selEnd = SInt16(std::min(edit->selectionStart() + edit->selectionLength(), 32767));
        } else {
            selection.selStart = selection.selEnd = SInt16(std::min(edit->cursorPosition(), 32767));
        }
        return HostedViewAnswerData(&selection, sizeof selection, bufferSize, buffer, actualSize);
    }
    case kControlEditTextLockedTag: {
        const Boolean locked = edit->isReadOnly();
        return HostedViewAnswerData(&locked, sizeof locked, bufferSize, buffer, actualSize);
    }
    case kControlFontStyleTag:
        return HostedViewAnswerData(&hosted->style, sizeof hosted->style, bufferSize, buffer, actualSize);
    default:
        return errDataNotSupported;
    }
}

// ---- the clock ----

class HostedDateTimeEdit final : public QDateTimeEdit {
public:
    bool focusNextPrevChild(bool) override { return false; }
    // Whether the latest input was a key (the view hears of those as raw
    // keys) rather than the mouse.
    bool lastInputWasKey = false;

protected:
    bool event(QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            lastInputWasKey = true;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::Wheel:
            lastInputWasKey = false;
            break;
        default:
            break;
        }
        return QDateTimeEdit::event(event);
    }
};

struct ClockHost final : HostedView {
    HostedDateTimeEdit* Edit() const { return dynamic_cast<HostedDateTimeEdit*>(widget.data()); }
    ControlClockType type = kControlClockTypeHourMinute;
    ControlClockFlags flags = kControlClockFlagStandard;
};

ClockHost* ClockOf(HIViewRef view)
{
    auto* clock = dynamic_cast<ClockHost*>(HostedViewOf(view, kControlKindClock));
    return clock && clock->Edit() ? clock : nullptr;
}

QDateTime DateTimeOf(CFAbsoluteTime time)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround((time + kCFAbsoluteTimeIntervalSince1970) * 1000.0)));
}

CFAbsoluteTime AbsoluteTimeOf(const QDateTime& dateTime)
{
    return double(dateTime.toMSecsSinceEpoch()) / 1000.0 - kCFAbsoluteTimeIntervalSince1970;
}

void ApplyClockStyle(ClockHost& hosted)
{
    HostedDateTimeEdit* edit = hosted.Edit();
    const QLocale locale;
    QString format;
    switch (hosted.type) {
    case kControlClockTypeHourMinuteSecond: {
        format = locale.timeFormat(QLocale::ShortFormat);
        if (!format.contains(QLatin1Char('s')))
            format.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
        break;
    }
    case kControlClockTypeMonthDayYear:
        format = locale.dateFormat(QLocale::ShortFormat);
        break;
    case kControlClockTypeMonthYear:
        format = QStringLiteral("MM/yyyy");
        break;
    default:
        format = locale.timeFormat(QLocale::ShortFormat);
    }
    HostedViewChange change(hosted);  // the program's doing, not the user's
    const QDateTime shown = edit->dateTime();
    edit->setDisplayFormat(format);
    // A time-only format pins the editor's date range to the day it showed;
    // a date format must reach any day again, and keep the time it holds.
    edit->clearMinimumDateTime();
    edit->clearMaximumDateTime();
    edit->setDateTime(shown);
    const bool displayOnly = hosted.flags & kControlClockFlagDisplayOnly;
    edit->setReadOnly(displayOnly);
    edit->setButtonSymbols(displayOnly ? QAbstractSpinBox::NoButtons : QAbstractSpinBox::UpDownArrows);
}

HostedView* MakeClock(HIViewRef view)
{
    auto* hosted = new ClockHost;
    auto* edit = new HostedDateTimeEdit;
    WearTheme(edit, kThemeSystemFont);
    edit->setFocusPolicy(Qt::ClickFocus);
    edit->setTimeSpec(Qt::LocalTime);
    edit->setDateTime(DateTimeOf(CFAbsoluteTimeGetCurrent()));
    QObject::connect(edit, &QDateTimeEdit::dateTimeChanged, edit, [view, edit] {
        HostedView* clock = HostOfWidget(view, edit);
        if (clock && !clock->programmatic && !edit->lastInputWasKey)
            HIViewSimulateClick(view, kControlClockPart, 0, nullptr);
    });
    hosted->widget = edit;
    ApplyClockStyle(*hosted);
    return hosted;
}

OSStatus SetClockData(HIViewRef view, ControlPartCode, ResType tag, Size size, const void* data)
{
    ClockHost* hosted = ClockOf(view);
    if (!hosted)
        return errUnknownControl;
    switch (tag) {
    case kControlClockAbsoluteTimeTag: {
        if (size != Size(sizeof(CFAbsoluteTime)) || !data)
            return errDataSizeMismatch;
        const CFAbsoluteTime time = *static_cast<const CFAbsoluteTime*>(data);
        if (!std::isfinite(time))
            return paramErr;
        HostedViewChange change(*hosted);
        hosted->Edit()->setDateTime(DateTimeOf(time));
        return noErr;
    }
    case kControlClockIsDisplayOnlyTag:
    case kControlClockIsLiveTag: {
        if (size != Size(sizeof(Boolean)) || !data)
            return errDataSizeMismatch;
        const ControlClockFlags flag =
            tag == kControlClockIsDisplayOnlyTag ? kControlClockFlagDisplayOnly : kControlClockFlagLive;
        hosted->flags = *static_cast<const Boolean*>(data) ? hosted->flags | flag : hosted->flags & ~flag;
        ApplyClockStyle(*hosted);
        return noErr;
    }
    default:
        return errDataNotSupported;
    }
}

OSStatus GetClockData(HIViewRef view, ControlPartCode, ResType tag, Size bufferSize, void* buffer, Size* actualSize)
{
    ClockHost* hosted = ClockOf(view);
    if (!hosted)
        return errUnknownControl;
    switch (tag) {
    case kControlClockAbsoluteTimeTag: {
        const CFAbsoluteTime time = AbsoluteTimeOf(hosted->Edit()->dateTime());
        return HostedViewAnswerData(&time, sizeof time, bufferSize, buffer, actualSize);
    }
    case kControlClockIsDisplayOnlyTag:
    case kControlClockIsLiveTag: {
        const ControlClockFlags flag =
            tag == kControlClockIsDisplayOnlyTag ? kControlClockFlagDisplayOnly : kControlClockFlagLive;
        const Boolean set = (hosted->flags & flag) != 0;
        return HostedViewAnswerData(&set, sizeof set, bufferSize, buffer, actualSize);
    }
    default:
        return errDataNotSupported;
    }
}

// ---- the Cocoa view host ----

struct CocoaHost final : HostedView {};

HostedView* MakeCocoaHost(HIViewRef)
{
    return new CocoaHost;
}

OSStatus PassKeysOn(HIViewRef, EventRef)
{
    return eventNotHandledErr;
}

}  // namespace

// ---- the shared machinery ----

OSStatus HostedViewCreate(OSType kind, WindowRef window, const HIRect& frame, HIViewRef* outView)
{
    HIToolboxRegisterHostedViewKinds();
    if (window && !IsValidWindowPtr(window))
        return errInvalidWindowRef;
    HIViewRef view = HIViewCreateOfKind(kind, window, frame);
    if (!view || !HostedViewOf(view, kind)) {
        if (view) {
            DisposeControl(view);
            CFRelease(view);  // the caller's count
        }
        return errUnknownControl;
    }
    if (window)
        CFRelease(view);  // the window's now
    *outView = view;
    return noErr;
}

void HostedViewRegisterKind(HIViewKindBehaviour behaviour, HostedView* (*make)(HIViewRef view))
{
    if (!behaviour.draw)
        behaviour.draw = DrawHosted;
    if (!behaviour.key)
        behaviour.key = PassKeysOn;
    behaviour.dispose = DisposeHosted;
    behaviour.hostsWidget = true;
    Makers()[behaviour.kind.kind] = make;
    HIViewRegisterKind(behaviour);
}

HostedView* HostedViewOf(HIViewRef view, OSType kind)
{
    ControlKind viewKind = {};
    if (!view || GetControlKind(view, &viewKind) != noErr || (kind && viewKind.kind != kind))
        return nullptr;
    auto maker = Makers().find(viewKind.kind);
    if (maker == Makers().end())
        return nullptr;
    if (HostedView* hosted = Lookup(view))
        return hosted;
    if (HIViewGetKindData(view))
        return nullptr;  // not ours
    WatchQtFocus();
    HostedView* hosted = maker->second(view);
    hosted->view = view;
    HIViewSetKindData(view, hosted);
    Hosted()[view] = hosted;
    InstallViewHandler(view);
    if (hosted->widget)
        HostedViewSetWidget(*hosted, hosted->widget);
    return hosted;
}

void HostedViewSetWidget(HostedView& hosted, QWidget* widget, bool keepPrevious)
{
    QWidget* previous = hosted.widget;
    if (previous && previous != widget) {
        Park(previous);
        if (!keepPrevious)
            previous->deleteLater();
    }
    hosted.widget = widget;
    if (widget) {
        widget->hide();
        HostedViewSync(hosted);
    }
}

void HostedViewSync(HostedView& hosted)
{
    QWidget* widget = hosted.widget;
    if (!widget)
        return;
    WindowRef window = HIViewGetWindow(hosted.view);
    QRect geometry;
    bool shown = false;
    QWidget* host = HIWindowGetWidget(window);
    if (!host || !PlaceOf(hosted.view, window, &geometry, &shown)) {
        Park(widget);
        return;
    }
    if (widget->parentWidget() != host) {
        Park(widget);
        widget->setParent(host);
        WatchWindow(window, host);
    }
    if (widget->geometry() != geometry)
        widget->setGeometry(geometry);
    widget->setEnabled(HIViewIsEnabled(hosted.view, nullptr));
    if (!shown && !widget->isHidden()) {
        GiveUpFocus(widget);
        widget->hide();
    } else if (shown && widget->isHidden()) {
        widget->show();
        widget->raise();
    }
}

OSStatus HostedViewSendTextEvent(HIViewRef view, EventKind kind)
{
    EventTargetRef target = GetControlEventTarget(view);
    if (!target)
        return paramErr;
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassTextField, kind, 0, 0, &event);
    SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof view, &view);
    const OSStatus status = SendEventToEventTarget(event, target);
    ReleaseEvent(event);
    return status;
}

OSStatus HostedViewAnswerData(const void* value, Size valueSize, Size bufferSize, void* buffer, Size* actualSize)
{
    if (buffer && bufferSize < valueSize)
        return errDataSizeMismatch;
    if (buffer)
        std::memcpy(buffer, value, size_t(valueSize));
    if (actualSize)
        *actualSize = valueSize;
    return noErr;
}

void HIToolboxRegisterHostedViewKinds()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    HIViewKindBehaviour edit = {};
    edit.kind = {kControlKindSignatureApple, kControlKindEditUnicodeText};
    edit.setData = SetEditTextData;
    edit.getData = GetEditTextData;
    edit.focusable = true;
    edit.key = TabAdvancesFocus;
    HostedViewRegisterKind(edit, MakeEditText);

    HIViewKindBehaviour search = edit;
    search.kind.kind = kControlKindHISearchField;
    HostedViewRegisterKind(search, MakeSearchField);

    HIViewKindBehaviour clock = {};
    clock.kind = {kControlKindSignatureApple, kControlKindClock};
    clock.setData = SetClockData;
    clock.getData = GetClockData;
    clock.focusable = true;
    clock.key = TabAdvancesFocus;
    HostedViewRegisterKind(clock, MakeClock);

    HIViewKindBehaviour cocoa = {};
    cocoa.kind = {kControlKindSignatureApple, kControlKindHICocoaView};
    cocoa.focusable = true;
    HostedViewRegisterKind(cocoa, MakeCocoaHost);

    HIViewRegisterTextViewKind();
}

// ---- the edit text field ----

OSStatus CreateEditUnicodeTextControl(WindowRef window, const Rect* boundsRect, CFStringRef text, Boolean isPassword,
                                      const ControlFontStyleRec* style, ControlRef* outControl)
{
    if (!boundsRect || !outControl || (text && !IsString(&text)))
        return paramErr;
    HIViewRef view = nullptr;
    const OSStatus status = HostedViewCreate(kControlKindEditUnicodeText, window, ToHIRect(*boundsRect), &view);
    if (status != noErr)
        return status;
    EditTextHost* hosted = EditTextOf(view);
    hosted->password = isPassword;
    hosted->Edit()->setEchoMode(isPassword ? QLineEdit::Password : QLineEdit::Normal);
    if (style)
        ApplyFontStyle(*hosted, *style);
    if (text) {
        HostedViewChange change(*hosted);
        hosted->Edit()->setText(ToQString(text));
    }
    *outControl = view;
    return noErr;
}

// ---- the search field ----

OSStatus HISearchFieldCreate(const HIRect* inBounds, OptionBits inAttributes, MenuRef inSearchMenu,
                             CFStringRef inDescriptiveText, HIViewRef* outView)
{
    if (!inBounds || !outView || (inDescriptiveText && !IsString(&inDescriptiveText)))
        return paramErr;
    HIViewRef view = nullptr;
    const OSStatus status = HostedViewCreate(kControlKindHISearchField, nullptr, *inBounds, &view);
    if (status != noErr)
        return status;
    EditTextHost* hosted = EditTextOf(view);
    hosted->attributes = inAttributes;
    hosted->SetSearchMenu(inSearchMenu);
    ApplySearchAttributes(*hosted);
    if (inDescriptiveText)
        hosted->Edit()->setPlaceholderText(ToQString(inDescriptiveText));
    *outView = view;
    return noErr;
}

namespace {

EditTextHost* SearchFieldOf(HIViewRef view)
{
    auto* hosted = dynamic_cast<EditTextHost*>(HostedViewOf(view, kControlKindHISearchField));
    return hosted && hosted->Edit() ? hosted : nullptr;
}

}  // namespace

OSStatus HISearchFieldGetAttributes(HIViewRef inSearchField, OptionBits* outAttributes)
{
    EditTextHost* hosted = SearchFieldOf(inSearchField);
    if (!hosted || !outAttributes)
        return paramErr;
    *outAttributes = hosted->attributes;
    return noErr;
}

OSStatus HISearchFieldChangeAttributes(HIViewRef inSearchField, OptionBits inAttributesToSet,
                                       OptionBits inAttributesToClear)
{
    EditTextHost* hosted = SearchFieldOf(inSearchField);
    if (!hosted)
        return paramErr;
    hosted->attributes = (hosted->attributes | inAttributesToSet) & ~inAttributesToClear;
    ApplySearchAttributes(*hosted);
    return noErr;
}

OSStatus HISearchFieldSetDescriptiveText(HIViewRef inSearchField, CFStringRef inDescription)
{
    EditTextHost* hosted = SearchFieldOf(inSearchField);
    if (!hosted || (inDescription && !IsString(&inDescription)))
        return paramErr;
    hosted->Edit()->setPlaceholderText(inDescription ? ToQString(inDescription) : QString());
    return noErr;
}

OSStatus HISearchFieldCopyDescriptiveText(HIViewRef inSearchField, CFStringRef* outDescription)
{
    EditTextHost* hosted = SearchFieldOf(inSearchField);
    if (!hosted || !outDescription)
        return paramErr;
    *outDescription = ToCFString(hosted->Edit()->placeholderText());
    return noErr;
}

OSStatus HISearchFieldSetSearchMenu(HIViewRef inSearchField, MenuRef inSearchMenu)
{
    EditTextHost* hosted = SearchFieldOf(inSearchField);
    if (!hosted)
        return paramErr;
    hosted->SetSearchMenu(inSearchMenu);
    return noErr;
}

OSStatus HISearchFieldGetSearchMenu(HIViewRef inSearchField, MenuRef* outSearchMenu)
{
    EditTextHost* hosted = SearchFieldOf(inSearchField);
    if (!hosted || !outSearchMenu)
        return paramErr;
    *outSearchMenu = hosted->searchMenu;
    return noErr;
}

// ---- the clock ----

OSStatus CreateClockControl(WindowRef window, const Rect* boundsRect, ControlClockType clockType,
                            ControlClockFlags clockFlags, ControlRef* outControl)
{
    if (!boundsRect || !outControl || clockType > kControlClockTypeMonthYear)
        return paramErr;
    HIViewRef view = nullptr;
    const OSStatus status = HostedViewCreate(kControlKindClock, window, ToHIRect(*boundsRect), &view);
    if (status != noErr)
        return status;
    ClockHost* hosted = ClockOf(view);
    hosted->type = clockType;
    hosted->flags = clockFlags;
    ApplyClockStyle(*hosted);
    *outControl = view;
    return noErr;
}

// ---- Cocoa views ----

OSStatus HICocoaViewCreate(QWidget* inNSView, OptionBits, HIViewRef* outHIView)
{
    if (!outHIView)
        return paramErr;
    QSize size;
    if (inNSView)
        size = inNSView->testAttribute(Qt::WA_Resized) ? inNSView->size() : inNSView->sizeHint().expandedTo({0, 0});
    HIViewRef view = nullptr;
    const OSStatus status = HostedViewCreate(kControlKindHICocoaView, nullptr,
                                             HIRect{{0, 0}, {CGFloat(size.width()), CGFloat(size.height())}}, &view);
    if (status != noErr)
        return status;
    if (inNSView)
        HostedViewSetWidget(*HostedViewOf(view), inNSView);
    *outHIView = view;
    return noErr;
}

OSStatus HICocoaViewSetView(HIViewRef inHIView, QWidget* inNSView)
{
    HostedView* hosted = HostedViewOf(inHIView, kControlKindHICocoaView);
    if (!hosted)
        return paramErr;
    HostedViewSetWidget(*hosted, inNSView, true);
    return noErr;
}

QWidget* HICocoaViewGetView(HIViewRef inHIView)
{
    HostedView* hosted = HostedViewOf(inHIView, kControlKindHICocoaView);
    return hosted ? hosted->widget.data() : nullptr;
}

QWidget* HIViewGetHostedWidget(HIViewRef inView)
{
    HostedView* hosted = HostedViewOf(inView);
    return hosted ? hosted->widget.data() : nullptr;
}
