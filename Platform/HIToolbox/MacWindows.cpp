#include "MacWindows.h"

#include "HIToolboxInternal.h"
#include "KeyCodes.h"
#include "Menus.h"

#include <CoreFoundation/CFStringUTF8.h>
#include <CoreGraphics/CGContextQt.h>
#include <CoreGraphics/CGImageQt.h>
#include <CoreServices/Processes.h>
#include <Support/Diagnostics.h>

#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStyleHints>
#include <QTimer>
#include <QVariantAnimation>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_set>
#include <vector>

namespace {

class WindowWidget;

// The window's pixels live here; Qt only ever copies them to the screen.
struct Backing {
    QImage image;
    QRegion invalid;
    // On an X server, for a translucent window: bit 1 where the image has
    // a pixel that is not fully transparent, kept up to date where drawn.
    QImage painted;
    bool shapeScheduled = false;
    QElapsedTimer sinceShape;
};

}  // namespace

struct OpaqueWindowGroupRef {
    CGWindowLevel level = 0;
};

struct OpaqueWindowPtr {
    ItemCount retainCount = 1;
    WindowClass windowClass;
    WindowAttributes attributes;
    SRefCon refCon = nullptr;
    EventTargetRef target = nullptr;
    QPointer<WindowWidget> widget;
    QRect content;  // global
    CFStringRef title = nullptr;
    bool modified = false;
    bool visible = false;
    bool disposing = false;
    CGFloat alpha = 1;
    WindowRef sheetParent = nullptr;
    HIPropertyTable properties{errWindowPropertyNotFound};
    OpaqueWindowGroupRef group;
    Backing backing;
    HIWindowContentDrawer drawer = nullptr;
    void* drawerRefCon = nullptr;
    EventTargetRef keyboardTarget = nullptr;
    QVariantAnimation* transition = nullptr;
    bool updateScheduled = false;
};

namespace {

struct Windows {
    std::unordered_set<WindowRef> live;
    std::vector<WindowRef> order;  // front to back, hidden ones included
    WindowRef active = nullptr;
    WindowRef focus = nullptr;
};

Windows& TheWindows()
{
    static auto* const windows = new Windows;
    return *windows;
}

WindowRef AsWindow(WindowRef window)
{
    return window && TheWindows().live.count(window) && !window->disposing ? window : nullptr;
}

bool Floats(WindowRef window)
{
    return window->windowClass == kFloatingWindowClass || window->windowClass == kUtilityWindowClass ||
           window->windowClass == kHelpWindowClass || window->windowClass == kOverlayWindowClass;
}

bool ClassMatches(WindowRef window, WindowClass windowClass)
{
    return windowClass == kAllWindowClasses || window->windowClass == windowClass;
}

OSStatus SendWindowEvent(WindowRef window, UInt32 kind, void (*fill)(EventRef, WindowRef) = nullptr)
{
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassWindow, kind, 0, 0, &event);
    SetEventParameter(event, kEventParamDirectObject, typeWindowRef, sizeof window, &window);
    if (fill)
        fill(event, window);
    const OSStatus status = SendEventToEventTarget(event, window->target);
    ReleaseEvent(event);
    return status;
}

Rect ToRect(const QRect& rect)
{
    auto clamp = [](int value) { return SInt16(std::clamp(value, -32768, 32767)); };
    return Rect{clamp(rect.top()), clamp(rect.left()), clamp(rect.top() + rect.height()),
                clamp(rect.left() + rect.width())};
}

QRect ToQRect(const Rect& rect)
{
    return QRect(rect.left, rect.top, std::max(0, rect.right - rect.left), std::max(0, rect.bottom - rect.top));
}

HIRect ToHIRect(const QRect& rect)
{
    return HIRect{{CGFloat(rect.x()), CGFloat(rect.y())}, {CGFloat(rect.width()), CGFloat(rect.height())}};
}

// ---- the Qt side ----

void AdoptActivation(WindowRef window);

class WindowWidget final : public QWidget {
public:
    WindowWidget(WindowRef window, Qt::WindowFlags flags) : QWidget(nullptr, flags), window_(window)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
    }

    WindowRef Window() const { return window_; }
    void Forget() { window_ = nullptr; }
    // Bounds changes we make ourselves are reported by us, once.
    bool settingGeometry = false;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (!window_)
            return;
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& rect : event->region())
            painter.drawImage(rect.topLeft(), window_->backing.image, rect);
    }

    void closeEvent(QCloseEvent* event) override
    {
        // The close box: the window decides (the standard handler disposes).
        event->ignore();
        if (window_ && !window_->disposing)
            SendWindowEvent(window_, kEventWindowClose);
    }

    void moveEvent(QMoveEvent*) override { GeometryChanged(kWindowBoundsChangeOriginChanged); }
    void resizeEvent(QResizeEvent*) override { GeometryChanged(kWindowBoundsChangeSizeChanged); }

    void changeEvent(QEvent* event) override
    {
        QWidget::changeEvent(event);
        // The window system activated it (the user, or a request of ours
        // served late): our state follows, without asking for activation
        // again, so two requests served out of order cannot chase each other.
        if (event->type() == QEvent::ActivationChange && window_ && isActiveWindow() && TheWindows().active != window_)
            AdoptActivation(window_);
    }

private:
    void GeometryChanged(UInt32 change)
    {
        if (!window_ || settingGeometry)
            return;
        const QRect now(geometry());
        if (now == window_->content)
            return;
        HIToolboxWindowContentMoved(window_, now, change | kWindowBoundsChangeUserDrag);
    }

    WindowRef window_;
};

WindowWidget* WidgetOf(WindowRef window)
{
    return window ? window->widget.data() : nullptr;
}

WindowRef WindowOfWidget(QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    auto* top = dynamic_cast<WindowWidget*>(widget->window());
    return top ? AsWindow(top->Window()) : nullptr;
}

Qt::WindowFlags FlagsFor(WindowClass windowClass, WindowAttributes attributes)
{
    Qt::WindowFlags flags;
    switch (windowClass) {
    case kFloatingWindowClass:
    case kUtilityWindowClass:
        flags = Qt::Tool;
        break;
    case kHelpWindowClass:
        flags = Qt::ToolTip;
        break;
    case kSheetWindowClass:
    case kSheetAlertWindowClass:
        flags = Qt::Sheet;
        break;
    case kAlertWindowClass:
    case kMovableAlertWindowClass:
    case kModalWindowClass:
    case kMovableModalWindowClass:
        flags = Qt::Dialog;
        break;
    case kOverlayWindowClass:
        flags = Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
        break;
    default:
        flags = Qt::Window;
    }
    if (attributes & kWindowNoTitleBarAttribute)
        flags |= Qt::FramelessWindowHint;
    if (attributes & kWindowNoShadowAttribute)
        flags |= Qt::NoDropShadowWindowHint;
    if (attributes & kWindowNoActivatesAttribute)
        flags |= Qt::WindowDoesNotAcceptFocus;
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (attributes & kWindowCloseBoxAttribute)
        flags |= Qt::WindowCloseButtonHint;
    if (attributes & kWindowCollapseBoxAttribute)
        flags |= Qt::WindowMinimizeButtonHint;
    if (attributes & kWindowFullZoomAttribute)
        flags |= Qt::WindowMaximizeButtonHint;
    return flags;
}

// The offscreen platform of the tests has no opacity and no stacking.
bool PlatformStacksWindows()
{
    return QGuiApplication::platformName() != QLatin1String("offscreen");
}

void SetOpacity(QWidget* widget, qreal opacity)
{
    if (PlatformStacksWindows())
        widget->setWindowOpacity(opacity);
}

bool Translucent(WindowRef window)
{
    return window->attributes & kWindowNoTitleBarAttribute;
}

void ApplyLevel(WindowRef window);

void ApplyFlags(WindowRef window)
{
    WindowWidget* widget = WidgetOf(window);
    if (!widget)
        return;
    const bool wasVisible = widget->isVisible();
    Qt::WindowFlags flags = FlagsFor(window->windowClass, window->attributes);
    const CGWindowLevel normal = CGWindowLevelForKey(kCGNormalWindowLevelKey);
    if (window->group.level < normal)
        flags |= Qt::WindowStaysOnBottomHint;
    else if (window->group.level > normal)
        flags |= Qt::WindowStaysOnTopHint;
    widget->setAttribute(Qt::WA_TranslucentBackground, Translucent(window));
    widget->setAttribute(Qt::WA_NoSystemBackground);
    if (widget->windowFlags() != flags && widget->windowHandle() && widget->testAttribute(Qt::WA_WState_Created)) {
        // The native window keeps its identity: the platform updates its
        // window-manager hints (stacking states among them) in place.
        widget->overrideWindowFlags(flags);
        widget->windowHandle()->setFlags(flags);
    } else if (widget->windowFlags() != flags) {
        widget->settingGeometry = true;
        widget->setWindowFlags(flags);  // hides a shown window
        widget->setGeometry(window->content);
        if (wasVisible)
            widget->show();
        widget->settingGeometry = false;
    }
}

void ApplyLevel(WindowRef window)
{
    ApplyFlags(window);
}

void ResizeBacking(WindowRef window)
{
    Backing& backing = window->backing;
    const QSize size = window->content.size().expandedTo(QSize(1, 1));
    if (backing.image.size() == size)
        return;
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (!backing.image.isNull()) {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, backing.image);
    }
    backing.image = image;
    backing.invalid = QRegion(QRect(QPoint(), size));
}

void ScheduleUpdate(WindowRef window)
{
    if (window->updateScheduled || !QCoreApplication::instance())
        return;
    window->updateScheduled = true;
    QTimer::singleShot(0, WidgetOf(window), [window] {
        if (AsWindow(window)) {
            window->updateScheduled = false;
            HIWindowFlush(window);
        }
    });
}

// Which pixels take clicks: on an X server a translucent window's input
// region is kept to its painted pixels, so a click on a fully transparent
// pixel reaches the window beneath, whoever owns it.
void ApplyInputShape(WindowRef window)
{
    window->backing.shapeScheduled = false;
    WindowWidget* widget = WidgetOf(window);
    if (!widget)
        return;
    const QRegion painted(QBitmap::fromImage(window->backing.painted));
    // Nothing painted: an input region outside the window takes no click.
    widget->setMask(painted.isEmpty() ? QRegion(-2, -2, 1, 1) : painted);
}

void UpdateInputShape(WindowRef window, const QRegion& drawn)
{
    WindowWidget* widget = WidgetOf(window);
    if (!widget || !Translucent(window) || QGuiApplication::platformName() != QLatin1String("xcb") ||
        !widget->windowHandle())
        return;
    Backing& backing = window->backing;
    const QImage& image = backing.image;
    if (backing.painted.size() != image.size()) {
        backing.painted = QImage(image.size(), QImage::Format_MonoLSB);
        backing.painted.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});  // bit 1: a QBitmap's colour 1
        backing.painted.fill(0);
    }
    // Only the pixels just drawn can have changed.
    const QRect area = drawn.boundingRect() & image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* bits = backing.painted.scanLine(y);
        for (int x = area.left(); x <= area.right(); ++x) {
            const uchar bit = uchar(1 << (x & 7));
            bits[x >> 3] = qAlpha(pixels[x]) != 0 ? bits[x >> 3] | bit : bits[x >> 3] & ~bit;
        }
    }
    // The region is made from the whole mask at once, then at most every
    // 50 ms: a canvas redrawn every frame does not pay for it every frame.
    constexpr qint64 kInterval = 50;
    if (backing.shapeScheduled)
        return;
    if (!backing.sinceShape.isValid() || backing.sinceShape.elapsed() >= kInterval) {
        backing.sinceShape.start();
        ApplyInputShape(window);
        return;
    }
    backing.shapeScheduled = true;
    QTimer::singleShot(int(kInterval - backing.sinceShape.elapsed()), widget, [window] {
        if (AsWindow(window)) {
            window->backing.sinceShape.start();
            ApplyInputShape(window);
        }
    });
}

// ---- input ----

EventTargetRef KeyboardTarget(WindowRef window)
{
    return IsValidEventTarget(window->keyboardTarget) ? window->keyboardTarget : window->target;
}

class InputFilter final : public QObject {
public:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            break;
        default:
            return false;
        }
        WindowRef window = WindowOfWidget(object);
        if (!window)
            return false;
        auto* input = static_cast<QInputEvent*>(event);
        auto* receiver = static_cast<QWidget*>(object);
        // Qt passes an event a widget ignored on to its parent, as the same
        // event or a copy: it was routed already when it reached the child.
        if (event->type() == lastType_ && input->timestamp() == lastTimestamp_ && lastReceiver_ &&
            receiver != lastReceiver_ && receiver->isAncestorOf(lastReceiver_))
            return false;
        lastType_ = event->type();
        lastTimestamp_ = input->timestamp();
        lastReceiver_ = receiver;
        return Route(window, receiver, input) != eventNotHandledErr;
    }

private:
    OSStatus Route(WindowRef window, QWidget* receiver, QInputEvent* event)
    {
        const EventModifiers modifiers = MacModifiersFromQt(event->modifiers());
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return RouteKey(window, static_cast<QKeyEvent*>(event), modifiers);
        case QEvent::Wheel:
            return RouteWheel(window, receiver, static_cast<QWheelEvent*>(event), modifiers);
        default:
            return RouteMouse(window, receiver, static_cast<QMouseEvent*>(event), modifiers);
        }
    }

    static void SetPoints(EventRef event, WindowRef window, QPointF global)
    {
        const HIPoint globalPoint = {CGFloat(global.x()), CGFloat(global.y())};
        const HIPoint local = {CGFloat(global.x() - window->content.x()), CGFloat(global.y() - window->content.y())};
        SetEventParameter(event, kEventParamMouseLocation, typeHIPoint, sizeof globalPoint, &globalPoint);
        SetEventParameter(event, kEventParamWindowMouseLocation, typeHIPoint, sizeof local, &local);
        SetEventParameter(event, kEventParamWindowRef, typeWindowRef, sizeof window, &window);
    }

    OSStatus RouteMouse(WindowRef window, QWidget* receiver, QMouseEvent* qtEvent, EventModifiers modifiers)
    {
        const QPointF global = receiver->mapToGlobal(qtEvent->position());
        UInt32 kind;
        switch (qtEvent->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            kind = kEventMouseDown;
            break;
        case QEvent::MouseButtonRelease:
            kind = kEventMouseUp;
            break;
        default:
            kind = qtEvent->buttons() ? kEventMouseDragged : kEventMouseMoved;
        }
        EventMouseButton button = kEventMouseButtonPrimary;
        const Qt::MouseButton qtButton =
            kind == kEventMouseMoved || kind == kEventMouseDragged ? Qt::NoButton : qtEvent->button();
        if (qtButton == Qt::RightButton)
            button = kEventMouseButtonSecondary;
        else if (qtButton == Qt::MiddleButton)
            button = kEventMouseButtonTertiary;
        if (kind == kEventMouseDown) {
            const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
            const bool again = clickTimer_.isValid() && clickTimer_.elapsed() <= interval && button == lastButton_ &&
                               (global - lastClick_).manhattanLength() <= 4 && window == lastWindow_;
            clickCount_ = again ? clickCount_ + 1 : 1;
            clickTimer_.restart();
            lastClick_ = global;
            lastButton_ = button;
            lastWindow_ = window;
        }
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassMouse, kind, 0, 0, &event);
        SetPoints(event, window, global);
        SetEventParameter(event, kEventParamKeyModifiers, typeUInt32, sizeof modifiers, &modifiers);
        if (kind == kEventMouseDown || kind == kEventMouseUp) {
            const UInt32 clicks = clickCount_;
            SetEventParameter(event, kEventParamMouseButton, typeMouseButton, sizeof button, &button);
            SetEventParameter(event, kEventParamClickCount, typeUInt32, sizeof clicks, &clicks);
        } else {
            const HIPoint delta = {CGFloat(global.x() - lastPosition_.x()), CGFloat(global.y() - lastPosition_.y())};
            SetEventParameter(event, kEventParamMouseDelta, typeHIPoint, sizeof delta, &delta);
        }
        const UInt32 chord = qtEvent->buttons().toInt();
        SetEventParameter(event, kEventParamMouseChord, typeUInt32, sizeof chord, &chord);
        lastPosition_ = global;
        const OSStatus status = SendEventToEventTarget(event, window->target);
        ReleaseEvent(event);
        // A secondary click nothing took on the window itself (not on a
        // widget of its own) opens the menu bar's menus, once the event is
        // done with (the menu runs a loop of its own).
        if (status == eventNotHandledErr && kind == kEventMouseDown && button == kEventMouseButtonSecondary &&
            receiver == WidgetOf(window)) {
            const Point at = {SInt16(std::lround(global.y())), SInt16(std::lround(global.x()))};
            QTimer::singleShot(0, [at] { HIMenuBarShowContextMenu(at); });
        }
        return status;
    }

    OSStatus RouteWheel(WindowRef window, QWidget* receiver, QWheelEvent* qtEvent, EventModifiers modifiers)
    {
        const QPoint angle = qtEvent->angleDelta();
        const bool horizontal = angle.y() == 0 && angle.x() != 0;
        const EventMouseWheelAxis axis = horizontal ? kEventMouseWheelAxisX : kEventMouseWheelAxisY;
        // One notch is 120 eighths of a degree; the toolbox counts notches.
        const int eighths = horizontal ? angle.x() : angle.y();
        const SInt32 delta = eighths / 120 != 0 ? eighths / 120 : (eighths > 0 ? 1 : eighths < 0 ? -1 : 0);
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassMouse, kEventMouseWheelMoved, 0, 0, &event);
        SetPoints(event, window, receiver->mapToGlobal(qtEvent->position()));
        SetEventParameter(event, kEventParamKeyModifiers, typeUInt32, sizeof modifiers, &modifiers);
        SetEventParameter(event, kEventParamMouseWheelAxis, typeMouseWheelAxis, sizeof axis, &axis);
        SetEventParameter(event, kEventParamMouseWheelDelta, typeSInt32, sizeof delta, &delta);
        const OSStatus status = SendEventToEventTarget(event, window->target);
        ReleaseEvent(event);
        return status;
    }

    OSStatus RouteKey(WindowRef window, QKeyEvent* qtEvent, EventModifiers modifiers)
    {
        UInt16 keyCode = 0;
        const bool keypad = qtEvent->modifiers() & Qt::KeypadModifier;
        const bool known = MacKeyCodeForQtKey(qtEvent->key(), keypad, &keyCode);
        const bool modifierKey = qtEvent->key() == Qt::Key_Shift || qtEvent->key() == Qt::Key_Control ||
                                 qtEvent->key() == Qt::Key_Alt || qtEvent->key() == Qt::Key_Meta ||
                                 qtEvent->key() == Qt::Key_CapsLock || qtEvent->key() == Qt::Key_AltGr;
        UInt32 kind;
        if (modifierKey)
            kind = kEventRawKeyModifiersChanged;
        else if (qtEvent->type() == QEvent::KeyRelease)
            kind = kEventRawKeyUp;
        else
            kind = qtEvent->isAutoRepeat() ? kEventRawKeyRepeat : kEventRawKeyDown;
        if (!known && !modifierKey && qtEvent->text().isEmpty())
            return eventNotHandledErr;  // a key the toolbox has no name for (media keys)
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassKeyboard, kind, 0, 0, &event);
        const UInt32 code = keyCode;
        SetEventParameter(event, kEventParamKeyModifiers, typeUInt32, sizeof modifiers, &modifiers);
        if (!modifierKey) {
            const QString text = qtEvent->text();
            UInt8 charCode = MacCharCodeForKeyCode(keyCode, modifiers & shiftKey);
            if (!known || (text.size() == 1 && text[0].unicode() < 128 && text[0].unicode() >= 32))
                charCode = text.isEmpty() ? charCode : UInt8(text[0].unicode() < 128 ? text[0].unicode() : '?');
            SetEventParameter(event, kEventParamKeyCode, typeUInt32, sizeof code, &code);
            SetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, 1, &charCode);
            std::u16string unicode = text.isEmpty() ? std::u16string(1, char16_t(charCode)) : text.toStdU16String();
            if (charCode == 0 && text.isEmpty())
                unicode.clear();
            SetEventParameter(event, kEventParamKeyUnicodes, typeUnicodeText, UInt32(unicode.size() * 2),
                              unicode.data());
            const UInt32 keyboardType = 40;  // an ANSI keyboard
            SetEventParameter(event, kEventParamKeyboardType, typeUInt32, sizeof keyboardType, &keyboardType);
        }
        OSStatus status = SendEventToEventTarget(event, KeyboardTarget(window));
        // A key the focus chain left may be a menu item's key equivalent.
        if (status == eventNotHandledErr && (kind == kEventRawKeyDown || kind == kEventRawKeyRepeat) &&
            AsWindow(window))
            status = HIMenuHandleKeyEvent(event);
        ReleaseEvent(event);
        return status;
    }

    QEvent::Type lastType_ = QEvent::None;
    quint64 lastTimestamp_ = 0;
    QPointer<QWidget> lastReceiver_;
    QElapsedTimer clickTimer_;
    QPointF lastClick_;
    QPointF lastPosition_;
    EventMouseButton lastButton_ = 0;
    WindowRef lastWindow_ = nullptr;
    UInt32 clickCount_ = 0;
};

void SendApplicationEvent(UInt32 kind)
{
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassApplication, kind, 0, 0, &event);
    SendEventToEventTarget(event, GetApplicationEventTarget());
    ReleaseEvent(event);
}

// What the process services ask of our windows (hide and show the
// application, bring it to the front).
std::vector<WindowRef> gHiddenWithTheApplication;

void SetApplicationHidden(Boolean hidden, void*)
{
    if (hidden) {
        for (WindowRef window : std::vector<WindowRef>(TheWindows().order)) {
            if (AsWindow(window) && window->visible) {
                gHiddenWithTheApplication.push_back(window);
                HideWindow(window);
            }
        }
        return;
    }
    // Back to front, so that the front one ends in front.
    const std::vector<WindowRef> hidden_ = std::move(gHiddenWithTheApplication);
    gHiddenWithTheApplication.clear();
    for (auto window = hidden_.rbegin(); window != hidden_.rend(); ++window) {
        if (AsWindow(*window))
            ShowWindow(*window);
    }
}

void ActivateApplication(void*)
{
    if (WindowRef front = FrontNonFloatingWindow())
        SelectWindow(front);
}

Boolean IsApplicationActive(void*)
{
    if (!TheWindows().active)
        return false;
    // Offscreen every window of ours counts as the active one; elsewhere Qt knows.
    return !PlatformStacksWindows() || QGuiApplication::applicationState() == Qt::ApplicationActive;
}

void InstallInputFilter()
{
    static QPointer<InputFilter> filter;
    if (!filter && QCoreApplication::instance()) {
        filter = new InputFilter;
        filter->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(filter);
        // The application's activation as the window system reports it.
        if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            QObject::connect(gui, &QGuiApplication::applicationStateChanged, filter, [](Qt::ApplicationState state) {
                static bool active = false;
                const bool now = state == Qt::ApplicationActive;
                if (now != active) {
                    active = now;
                    SendApplicationEvent(now ? kEventAppActivated : kEventAppDeactivated);
                }
            });
        }
        static const ApplicationWindowsHook hook = {
            SetApplicationHidden, ActivateApplication, IsApplicationActive, nullptr, nullptr, nullptr, nullptr};
        SetApplicationWindowsHook(&hook);
    }
}

// ---- the standard window handler ----

HIWindowMouseHook gMouseHook = nullptr;

OSStatus StandardWindowHandler(EventHandlerCallRef, EventRef event, void* refCon)
{
    WindowRef window = AsWindow(static_cast<WindowRef>(refCon));
    if (!window)
        return eventNotHandledErr;
    if (GetEventClass(event) == kEventClassMouse)
        return gMouseHook ? gMouseHook(window, event) : eventNotHandledErr;
    if (GetEventClass(event) != kEventClassWindow)
        return eventNotHandledErr;
    switch (GetEventKind(event)) {
    case kEventWindowClose:
        DisposeWindow(window);
        return noErr;
    case kEventWindowGetClickModality: {
        // Modal to nothing unless a sheet covers it.
        const UInt32 modality = 0;
        SetEventParameter(event, kEventParamWindowModality, typeWindowModality, sizeof modality, &modality);
        return noErr;
    }
    default:
        return eventNotHandledErr;
    }
}

EventTargetRef WindowParentTarget(void*)
{
    return GetApplicationEventTarget();
}

void RemoveFromOrder(WindowRef window)
{
    auto& order = TheWindows().order;
    order.erase(std::remove(order.begin(), order.end(), window), order.end());
}

// The user focus moves to `window` (nil: none); the window that had it
// hears that it lost it.
void MoveUserFocus(WindowRef window)
{
    WindowRef previous = AsWindow(TheWindows().focus);
    TheWindows().focus = window;
    if (previous && previous != window)
        SendWindowEvent(previous, kEventWindowFocusRelinquish);
}

void Activate(WindowRef window)
{
    Windows& windows = TheWindows();
    // Selecting the active window again takes the focus back from a window
    // that had it on its own (a floating one given the focus).
    MoveUserFocus(window);
    if (windows.active == window)
        return;
    WindowRef previous = windows.active;
    windows.active = window;
    if (AsWindow(previous))
        SendWindowEvent(previous, kEventWindowDeactivated);
    if (window)
        SendWindowEvent(window, kEventWindowActivated);
}

void Free(WindowRef window)
{
    TheWindows().live.erase(window);
    if (window->title)
        CFRelease(window->title);
    delete window;
}

// Another window becomes active when the active one goes: the front
// visible one that does not float.
void ActivateNextIfActive(WindowRef window)
{
    if (TheWindows().active != window)
        return;
    TheWindows().active = nullptr;
    SendWindowEvent(window, kEventWindowDeactivated);
    for (WindowRef other : TheWindows().order) {
        if (other != window && AsWindow(other) && other->visible && !Floats(other)) {
            Activate(other);
            break;
        }
    }
}

void SetVisible(WindowRef window, bool visible)
{
    WindowWidget* widget = WidgetOf(window);
    if (window->visible == visible)
        return;
    if (SendWindowEvent(window, visible ? kEventWindowShowing : kEventWindowHiding) == userCanceledErr)
        return;
    window->visible = visible;
    if (widget) {
        widget->settingGeometry = true;
        if (visible) {
            ApplyFlags(window);
            widget->setGeometry(window->content);
            SetOpacity(widget, window->alpha);
            widget->winId();  // the native window first: the flush sets its input region
            HIWindowFlush(window);
            widget->show();
        } else {
            widget->hide();
        }
        widget->settingGeometry = false;
    }
    if (!visible)
        ActivateNextIfActive(window);
    SendWindowEvent(window, visible ? kEventWindowShown : kEventWindowHidden);
}

}  // namespace

// ---- for the view layer ----

void HIWindowSetMouseHook(HIWindowMouseHook hook)
{
    gMouseHook = hook;
}

void HIWindowSetContentDrawer(WindowRef window, HIWindowContentDrawer drawer, void* refCon)
{
    if (WindowRef live = AsWindow(window)) {
        live->drawer = drawer;
        live->drawerRefCon = refCon;
        HIWindowInvalidate(live);
    }
}

void HIWindowSetKeyboardTarget(WindowRef window, EventTargetRef target)
{
    if (WindowRef live = AsWindow(window))
        live->keyboardTarget = target;
}

QWidget* HIWindowGetWidget(WindowRef window)
{
    return WidgetOf(AsWindow(window));
}

WindowRef HIWindowFromWidget(QWidget* widget)
{
    return WindowOfWidget(widget);
}

void HIToolboxWindowContentMoved(WindowRef window, const QRect& content, UInt32 change)
{
    if (!AsWindow(window))
        return;
    const QRect previous = window->content;
    window->content = content;
    if (content.size() != previous.size()) {
        change |= kWindowBoundsChangeSizeChanged;
        ResizeBacking(window);
        ScheduleUpdate(window);
    }
    if (content.topLeft() != previous.topLeft())
        change |= kWindowBoundsChangeOriginChanged;
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassWindow, kEventWindowBoundsChanged, 0, 0, &event);
    SetEventParameter(event, kEventParamDirectObject, typeWindowRef, sizeof window, &window);
    const HIRect current = ToHIRect(content), before = ToHIRect(previous);
    SetEventParameter(event, kEventParamAttributes, typeUInt32, sizeof change, &change);
    SetEventParameter(event, kEventParamCurrentBounds, typeHIRect, sizeof current, &current);
    SetEventParameter(event, kEventParamPreviousBounds, typeHIRect, sizeof before, &before);
    SetEventParameter(event, kEventParamOriginalBounds, typeHIRect, sizeof before, &before);
    SendEventToEventTarget(event, window->target);
    ReleaseEvent(event);
}

// ---- creating, counting, disposing ----

OSStatus CreateNewWindow(WindowClass windowClass, WindowAttributes attributes, const Rect* contentBounds,
                         WindowRef* outWindow)
{
    if (!outWindow || !contentBounds)
        return paramErr;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        Diagnostics::WriteLine("Warning: Windows need the application object; no window was made.");
        return errInvalidWindowRef;
    }
    InstallInputFilter();
    auto* window = new OpaqueWindowPtr;
    window->windowClass = windowClass;
    window->attributes = attributes;
    window->content = ToQRect(*contentBounds);
    window->group.level =
        Floats(window) ? CGWindowLevelForKey(kCGFloatingWindowLevelKey) : CGWindowLevelForKey(kCGNormalWindowLevelKey);
    window->target = CreateEventTarget(WindowParentTarget, nullptr);
    SetEventTargetStandardHandler(window->target, StandardWindowHandler, window);
    if (attributes & kWindowStandardHandlerAttribute)
        InstallStandardEventHandler(window->target);
    window->widget = new WindowWidget(window, FlagsFor(windowClass, attributes));
    window->widget->setAttribute(Qt::WA_TranslucentBackground, Translucent(window));
    window->widget->settingGeometry = true;
    window->widget->setGeometry(window->content);
    window->widget->settingGeometry = false;
    ResizeBacking(window);
    TheWindows().live.insert(window);
    TheWindows().order.insert(TheWindows().order.begin(), window);
    *outWindow = window;
    return noErr;
}

OSStatus RetainWindow(WindowRef window)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return errInvalidWindowRef;
    ++live->retainCount;
    return noErr;
}

OSStatus ReleaseWindow(WindowRef window)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return errInvalidWindowRef;
    if (live->retainCount > 1) {
        --live->retainCount;
        return noErr;
    }
    DisposeWindow(live);
    return noErr;
}

ItemCount GetWindowRetainCount(WindowRef window)
{
    WindowRef live = AsWindow(window);
    return live ? live->retainCount : 0;
}

void DisposeWindow(WindowRef window)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return;
    // Hidden first, its sheet with it.
    for (WindowRef other : std::vector<WindowRef>(TheWindows().order)) {
        if (AsWindow(other) && other->sheetParent == live)
            HideSheetWindow(other);
    }
    SetVisible(live, false);
    SendWindowEvent(live, kEventWindowClosed);
    SendWindowEvent(live, kEventWindowDispose);
    live->disposing = true;
    if (TheWindows().active == live)
        TheWindows().active = nullptr;
    if (TheWindows().focus == live)
        TheWindows().focus = nullptr;
    RemoveFromOrder(live);
    if (live->transition)
        live->transition->stop();
    if (WindowWidget* widget = WidgetOf(live)) {
        widget->Forget();
        widget->hide();
        widget->deleteLater();
    }
    DisposeEventTarget(live->target);
    Free(live);
}

Boolean IsValidWindowPtr(WindowRef window)
{
    return AsWindow(window) != nullptr;
}

EventTargetRef GetWindowEventTarget(WindowRef window)
{
    WindowRef live = AsWindow(window);
    return live ? live->target : nullptr;
}

WindowRef GetWindowFromEventTarget(EventTargetRef target)
{
    for (WindowRef window : TheWindows().live) {
        if (window->target == target && !window->disposing)
            return window;
    }
    return nullptr;
}

// ---- identity and state ----

void SetWRefCon(WindowRef window, SRefCon data)
{
    if (WindowRef live = AsWindow(window))
        live->refCon = data;
}

SRefCon GetWRefCon(WindowRef window)
{
    WindowRef live = AsWindow(window);
    return live ? live->refCon : nullptr;
}

OSStatus GetWindowClass(WindowRef window, WindowClass* outClass)
{
    WindowRef live = AsWindow(window);
    if (!live || !outClass)
        return live ? paramErr : errInvalidWindowRef;
    *outClass = live->windowClass;
    return noErr;
}

OSStatus HIWindowChangeClass(WindowRef window, WindowClass newClass)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return errInvalidWindowRef;
    live->windowClass = newClass;
    ApplyFlags(live);
    return noErr;
}

OSStatus GetWindowAttributes(WindowRef window, WindowAttributes* outAttributes)
{
    WindowRef live = AsWindow(window);
    if (!live || !outAttributes)
        return live ? paramErr : errInvalidWindowRef;
    *outAttributes = live->attributes;
    return noErr;
}

OSStatus ChangeWindowAttributes(WindowRef window, WindowAttributes setThese, WindowAttributes clearThese)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return errInvalidWindowRef;
    if (setThese & clearThese)
        return paramErr;
    live->attributes = (live->attributes | setThese) & ~clearThese;
    if (setThese & kWindowStandardHandlerAttribute)
        InstallStandardEventHandler(live->target);
    ApplyFlags(live);
    return noErr;
}

OSStatus SetWindowTitleWithCFString(WindowRef window, CFStringRef title)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return errInvalidWindowRef;
    CFStringRef copy = title ? CFStringCreateCopy(nullptr, title) : nullptr;
    if (live->title)
        CFRelease(live->title);
    live->title = copy;
    if (WindowWidget* widget = WidgetOf(live))
        widget->setWindowTitle(copy ? QString::fromStdU16String(std::u16string(CFStringView(copy))) + "[*]"
                                    : QString());
    return noErr;
}

OSStatus CopyWindowTitleAsCFString(WindowRef window, CFStringRef* outTitle)
{
    WindowRef live = AsWindow(window);
    if (!live || !outTitle)
        return live ? paramErr : errInvalidWindowRef;
    *outTitle = live->title ? CFStringCreateCopy(nullptr, live->title) : CFSTR("");
    return noErr;
}

OSStatus SetWindowModified(WindowRef window, Boolean modified)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return errInvalidWindowRef;
    live->modified = modified;
    if (WindowWidget* widget = WidgetOf(live))
        widget->setWindowModified(modified);
    return noErr;
}

Boolean IsWindowModified(WindowRef window)
{
    WindowRef live = AsWindow(window);
    return live && live->modified;
}

OSStatus SetWindowAlpha(WindowRef window, CGFloat alpha)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return errInvalidWindowRef;
    if (!(alpha >= 0 && alpha <= 1))
        return paramErr;
    live->alpha = alpha;
    if (WindowWidget* widget = WidgetOf(live))
        SetOpacity(widget, alpha);
    return noErr;
}

OSStatus GetWindowAlpha(WindowRef window, CGFloat* outAlpha)
{
    WindowRef live = AsWindow(window);
    if (!live || !outAlpha)
        return live ? paramErr : errInvalidWindowRef;
    *outAlpha = live->alpha;
    return noErr;
}

OSStatus SetWindowProperty(WindowRef window, PropertyCreator creator, PropertyTag tag, ByteCount size,
                           const void* buffer)
{
    WindowRef live = AsWindow(window);
    return live ? live->properties.Set(creator, tag, size, buffer) : errInvalidWindowRef;
}

OSStatus GetWindowProperty(WindowRef window, PropertyCreator creator, PropertyTag tag, ByteCount bufferSize,
                           ByteCount* actualSize, void* buffer)
{
    WindowRef live = AsWindow(window);
    return live ? live->properties.Get(creator, tag, bufferSize, actualSize, buffer) : errInvalidWindowRef;
}

OSStatus GetWindowPropertySize(WindowRef window, PropertyCreator creator, PropertyTag tag, ByteCount* size)
{
    return GetWindowProperty(window, creator, tag, 0, size, nullptr);
}

OSStatus RemoveWindowProperty(WindowRef window, PropertyCreator creator, PropertyTag tag)
{
    WindowRef live = AsWindow(window);
    return live ? live->properties.Remove(creator, tag) : errInvalidWindowRef;
}

// ---- bounds ----

namespace {

// The frame the window manager adds around the content.
QMargins FrameMargins(WindowRef window)
{
    WindowWidget* widget = WidgetOf(window);
    if (!widget || (window->attributes & kWindowNoTitleBarAttribute) || !widget->windowHandle())
        return {};
    return widget->windowHandle()->frameMargins();
}

}  // namespace

OSStatus HIWindowGetBounds(WindowRef window, WindowRegionCode regionCode, HIRect* outBounds)
{
    WindowRef live = AsWindow(window);
    if (!live || !outBounds)
        return live ? paramErr : errInvalidWindowRef;
    if (regionCode == kWindowContentRgn || regionCode == kWindowGlobalPortRgn)
        *outBounds = ToHIRect(live->content);
    else if (regionCode == kWindowStructureRgn)
        *outBounds = ToHIRect(live->content.marginsAdded(FrameMargins(live)));
    else
        return paramErr;
    return noErr;
}

OSStatus HIWindowSetBounds(WindowRef window, WindowRegionCode regionCode, const HIRect* bounds)
{
    WindowRef live = AsWindow(window);
    if (!live || !bounds)
        return live ? paramErr : errInvalidWindowRef;
    QRect rect(int(std::lround(bounds->origin.x)), int(std::lround(bounds->origin.y)),
               std::max(0, int(std::lround(bounds->size.width))), std::max(0, int(std::lround(bounds->size.height))));
    if (regionCode == kWindowStructureRgn)
        rect = rect.marginsRemoved(FrameMargins(live));
    else if (regionCode != kWindowContentRgn)
        return paramErr;
    if (rect == live->content)
        return noErr;
    if (WindowWidget* widget = WidgetOf(live)) {
        widget->settingGeometry = true;
        widget->setGeometry(rect);
        widget->settingGeometry = false;
    }
    HIToolboxWindowContentMoved(live, rect, 0);
    return noErr;
}

OSStatus GetWindowBounds(WindowRef window, WindowRegionCode regionCode, Rect* globalBounds)
{
    HIRect rect;
    if (!globalBounds)
        return paramErr;
    const OSStatus status = HIWindowGetBounds(window, regionCode, &rect);
    if (status == noErr)
        *globalBounds =
            ToRect(QRect(int(rect.origin.x), int(rect.origin.y), int(rect.size.width), int(rect.size.height)));
    return status;
}

OSStatus SetWindowBounds(WindowRef window, WindowRegionCode regionCode, const Rect* globalBounds)
{
    if (!globalBounds)
        return paramErr;
    const HIRect rect = ToHIRect(ToQRect(*globalBounds));
    return HIWindowSetBounds(window, regionCode, &rect);
}

OSStatus MoveWindowStructure(WindowRef window, short hGlobal, short vGlobal)
{
    HIRect rect;
    const OSStatus status = HIWindowGetBounds(window, kWindowStructureRgn, &rect);
    if (status != noErr)
        return status;
    rect.origin = {CGFloat(hGlobal), CGFloat(vGlobal)};
    return HIWindowSetBounds(window, kWindowStructureRgn, &rect);
}

// ---- showing, ordering, activation ----

void ShowWindow(WindowRef window)
{
    if (WindowRef live = AsWindow(window)) {
        SetVisible(live, true);
        if (AsWindow(live) && !TheWindows().active && !Floats(live) &&
            !(live->attributes & kWindowNoActivatesAttribute))
            Activate(live);
    }
}

void HideWindow(WindowRef window)
{
    if (WindowRef live = AsWindow(window))
        SetVisible(live, false);
}

Boolean IsWindowVisible(WindowRef window)
{
    WindowRef live = AsWindow(window);
    return live && live->visible;
}

void BringToFront(WindowRef window)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return;
    RemoveFromOrder(live);
    TheWindows().order.insert(TheWindows().order.begin(), live);
    if (WindowWidget* widget = WidgetOf(live); widget && live->visible)
        if (PlatformStacksWindows())
            widget->raise();
}

namespace {

void AdoptActivation(WindowRef window)
{
    if (!AsWindow(window) || Floats(window) || (window->attributes & kWindowNoActivatesAttribute))
        return;
    RemoveFromOrder(window);
    TheWindows().order.insert(TheWindows().order.begin(), window);
    Activate(window);
}

}  // namespace

void SelectWindow(WindowRef window)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return;
    BringToFront(live);
    if (Floats(live) || (live->attributes & kWindowNoActivatesAttribute))
        return;
    if (WindowWidget* widget = WidgetOf(live); widget && live->visible)
        widget->activateWindow();
    Activate(live);
}

void SendBehind(WindowRef window, WindowRef behindWindow)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return;
    RemoveFromOrder(live);
    auto& order = TheWindows().order;
    WindowRef behind = AsWindow(behindWindow);
    auto place = behind ? std::find(order.begin(), order.end(), behind) : order.end();
    if (place != order.end())
        ++place;
    order.insert(place, live);
    if (WindowWidget* widget = WidgetOf(live); widget && live->visible && PlatformStacksWindows()) {
        if (WindowWidget* above = WidgetOf(behind))
            widget->stackUnder(above);
        else
            widget->lower();
    }
    if (TheWindows().active == live && !behind)
        ActivateNextIfActive(live);
}

Boolean IsWindowActive(WindowRef window)
{
    WindowRef live = AsWindow(window);
    return live && TheWindows().active == live;
}

WindowRef GetFrontWindowOfClass(WindowClass windowClass, Boolean mustBeVisible)
{
    for (WindowRef window : TheWindows().order) {
        if (AsWindow(window) && ClassMatches(window, windowClass) && (!mustBeVisible || window->visible))
            return window;
    }
    return nullptr;
}

WindowRef GetNextWindowOfClass(WindowRef window, WindowClass windowClass, Boolean mustBeVisible)
{
    auto& order = TheWindows().order;
    auto position = std::find(order.begin(), order.end(), window);
    if (position == order.end())
        return nullptr;
    for (++position; position != order.end(); ++position) {
        if (AsWindow(*position) && ClassMatches(*position, windowClass) && (!mustBeVisible || (*position)->visible))
            return *position;
    }
    return nullptr;
}

WindowRef GetWindowList()
{
    return GetFrontWindowOfClass(kAllWindowClasses, false);
}

WindowRef GetNextWindow(WindowRef window)
{
    return GetNextWindowOfClass(window, kAllWindowClasses, false);
}

WindowRef FrontWindow()
{
    return GetFrontWindowOfClass(kAllWindowClasses, true);
}

WindowRef FrontNonFloatingWindow()
{
    for (WindowRef window : TheWindows().order) {
        if (AsWindow(window) && window->visible && !Floats(window))
            return window;
    }
    return nullptr;
}

WindowRef ActiveNonFloatingWindow()
{
    WindowRef active = AsWindow(TheWindows().active);
    return active && !Floats(active) ? active : nullptr;
}

WindowRef GetUserFocusWindow()
{
    return AsWindow(TheWindows().focus);
}

OSStatus SetUserFocusWindow(WindowRef window)
{
    if (window && !AsWindow(window))
        return errInvalidWindowRef;
    MoveUserFocus(window);
    return noErr;
}

EventTargetRef GetUserFocusEventTarget()
{
    WindowRef window = AsWindow(TheWindows().focus);
    if (!window)
        return GetApplicationEventTarget();
    return KeyboardTarget(window);
}

namespace {

// The part the window names for the point, when a handler answers its hit
// test; else the part its geometry gives.
SInt16 AskHitTest(WindowRef window, const QPoint& point, SInt16 geometric)
{
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassWindow, kEventWindowHitTest, 0, 0, &event);
    SetEventParameter(event, kEventParamDirectObject, typeWindowRef, sizeof window, &window);
    const HIPoint where = {CGFloat(point.x()), CGFloat(point.y())};
    SetEventParameter(event, kEventParamMouseLocation, typeHIPoint, sizeof where, &where);
    SInt16 part = geometric;
    if (SendEventToEventTarget(event, window->target) == noErr) {
        SInt16 named = wNoHit;
        if (GetEventParameter(event, kEventParamWindowDefPart, typeWindowDefPartCode, nullptr, sizeof named, nullptr,
                              &named) == noErr)
            part = named;
    }
    ReleaseEvent(event);
    return part;
}

}  // namespace

SInt16 FindWindow(Point globalPoint, WindowRef* outWindow)
{
    const QPoint point(globalPoint.h, globalPoint.v);
    for (WindowRef window : std::vector<WindowRef>(TheWindows().order)) {
        if (!AsWindow(window) || !window->visible)
            continue;
        SInt16 part = wNoHit;
        if (window->content.contains(point))
            part = wInContent;
        else if (window->content.marginsAdded(FrameMargins(window)).contains(point))
            part = wInDrag;
        if (part == wNoHit)
            continue;
        part = AskHitTest(window, point, part);
        if (!AsWindow(window) || part == wNoHit)
            continue;
        if (outWindow)
            *outWindow = window;
        return part;
    }
    if (outWindow)
        *outWindow = nullptr;
    return wNoHit;
}

// ---- levels ----

CGWindowLevel CGWindowLevelForKey(SInt32 key)
{
    switch (key) {
    case kCGBaseWindowLevelKey:
    case kCGMinimumWindowLevelKey:
        return INT_MIN + 1;
    case kCGDesktopWindowLevelKey:
        return INT_MIN + 1 + 20;
    case kCGDesktopIconWindowLevelKey:
        return INT_MIN + 1 + 20 + 20;
    case kCGBackstopMenuLevelKey:
        return -20;
    case kCGNormalWindowLevelKey:
        return 0;
    case kCGFloatingWindowLevelKey:
    case kCGTornOffMenuWindowLevelKey:
        return 3;
    case kCGModalPanelWindowLevelKey:
        return 8;
    case kCGUtilityWindowLevelKey:
        return 19;
    case kCGDockWindowLevelKey:
        return 20;
    case kCGMainMenuWindowLevelKey:
        return 24;
    case kCGStatusWindowLevelKey:
        return 25;
    case kCGPopUpMenuWindowLevelKey:
        return 101;
    case kCGOverlayWindowLevelKey:
        return 102;
    case kCGHelpWindowLevelKey:
        return 200;
    case kCGDraggingWindowLevelKey:
        return 500;
    case kCGScreenSaverWindowLevelKey:
        return 1000;
    case kCGCursorWindowLevelKey:
        return INT_MAX - 1 - 1;
    case kCGMaximumWindowLevelKey:
        return INT_MAX - 1;
    default:
        return 0;
    }
}

WindowGroupRef GetWindowGroup(WindowRef window)
{
    WindowRef live = AsWindow(window);
    return live ? &live->group : nullptr;
}

namespace {

WindowRef WindowOfGroup(WindowGroupRef group)
{
    for (WindowRef window : TheWindows().live) {
        if (&window->group == group && !window->disposing)
            return window;
    }
    return nullptr;
}

}  // namespace

OSStatus SetWindowGroupLevel(WindowGroupRef group, CGWindowLevel level)
{
    WindowRef window = WindowOfGroup(group);
    if (!window)
        return paramErr;
    window->group.level = level;
    ApplyLevel(window);
    return noErr;
}

OSStatus GetWindowGroupLevel(WindowGroupRef group, CGWindowLevel* outLevel)
{
    WindowRef window = WindowOfGroup(group);
    if (!window || !outLevel)
        return paramErr;
    *outLevel = window->group.level;
    return noErr;
}

// ---- transitions and sheets ----

OSStatus TransitionWindowWithOptions(WindowRef window, WindowTransitionEffect effect, WindowTransitionAction action,
                                     const HIRect* bounds, Boolean async, TransitionWindowOptions* options)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return errInvalidWindowRef;
    if (action == kWindowMoveTransitionAction || action == kWindowResizeTransitionAction) {
        if (!bounds)
            return paramErr;
        return HIWindowSetBounds(live, kWindowContentRgn, bounds);
    }
    if (action != kWindowShowTransitionAction && action != kWindowHideTransitionAction)
        return paramErr;
    if (effect == kWindowSheetTransitionEffect && options && action == kWindowShowTransitionAction)
        return ShowSheetWindow(live, options->window);
    const bool show = action == kWindowShowTransitionAction;
    const EventTime duration = options && options->duration > 0 ? options->duration : 0.25;
    WindowWidget* widget = WidgetOf(live);
    if (live->transition) {
        live->transition->stop();
        live->transition->deleteLater();
        live->transition = nullptr;
    }
    if (!widget) {
        show ? ShowWindow(live) : HideWindow(live);
        return noErr;
    }
    if (show && live->visible)
        return noErr;
    if (!show && !live->visible)
        return noErr;
    const CGFloat target = live->alpha;
    auto* animation = new QVariantAnimation(widget);
    live->transition = animation;
    animation->setDuration(int(std::lround(duration * 1000)));
    animation->setStartValue(show ? 0.0 : double(target));
    animation->setEndValue(show ? double(target) : 0.0);
    QObject::connect(animation, &QVariantAnimation::valueChanged, widget,
                     [widget](const QVariant& value) { SetOpacity(widget, value.toDouble()); });
    QObject::connect(animation, &QVariantAnimation::finished, widget, [live, show, target, widget] {
        if (!AsWindow(live))
            return;
        live->transition = nullptr;
        if (!show)
            HideWindow(live);
        SetOpacity(widget, target);
    });
    if (show) {
        SetOpacity(widget, 0);
        ShowWindow(live);
        SetOpacity(widget, 0);
    }
    if (async) {
        animation->start(QAbstractAnimation::DeleteWhenStopped);
        return noErr;
    }
    QEventLoop loop;
    QObject::connect(animation, &QVariantAnimation::finished, &loop, &QEventLoop::quit);
    QObject::connect(animation, &QObject::destroyed, &loop, &QEventLoop::quit);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    if (animation->state() == QAbstractAnimation::Running)
        loop.exec();
    return noErr;
}

OSStatus TransitionWindow(WindowRef window, WindowTransitionEffect effect, WindowTransitionAction action,
                          const Rect* bounds)
{
    HIRect rect;
    if (bounds)
        rect = ToHIRect(ToQRect(*bounds));
    return TransitionWindowWithOptions(window, effect, action, bounds ? &rect : nullptr, false, nullptr);
}

Boolean IsWindowInTransition(WindowRef window)
{
    WindowRef live = AsWindow(window);
    return live && live->transition;
}

OSStatus ShowSheetWindow(WindowRef sheet, WindowRef parentWindow)
{
    WindowRef live = AsWindow(sheet);
    WindowRef parent = AsWindow(parentWindow);
    if (!live || !parent || live == parent)
        return paramErr;
    if (live->visible)
        return noErr;
    live->sheetParent = parent;
    WindowWidget* widget = WidgetOf(live);
    WindowWidget* parentWidget = WidgetOf(parent);
    if (widget && parentWidget) {
        const Qt::WindowFlags flags = widget->windowFlags() | Qt::Sheet;
        widget->setParent(parentWidget, flags);
        widget->setWindowModality(Qt::WindowModal);
    }
    // Centred on the parent, hanging from the top of its content.
    QRect content = live->content;
    content.moveTopLeft(
        QPoint(parent->content.x() + (parent->content.width() - content.width()) / 2, parent->content.y()));
    const HIRect bounds = ToHIRect(content);
    HIWindowSetBounds(live, kWindowContentRgn, &bounds);
    ShowWindow(live);
    SelectWindow(live);
    return noErr;
}

OSStatus HideSheetWindow(WindowRef sheet)
{
    WindowRef live = AsWindow(sheet);
    if (!live || !live->sheetParent)
        return paramErr;
    WindowRef parent = AsWindow(live->sheetParent);
    HideWindow(live);
    if (WindowWidget* widget = WidgetOf(live)) {
        widget->setWindowModality(Qt::NonModal);
        widget->setParent(nullptr, FlagsFor(live->windowClass, live->attributes));
    }
    live->sheetParent = nullptr;
    if (parent && parent->visible)
        SelectWindow(parent);
    return noErr;
}

OSStatus GetSheetWindowParent(WindowRef sheet, WindowRef* outParentWindow)
{
    WindowRef live = AsWindow(sheet);
    if (!live || !outParentWindow)
        return paramErr;
    *outParentWindow = AsWindow(live->sheetParent);
    return noErr;
}

// ---- content ----

OSStatus HIWindowInvalidateRect(WindowRef window, const HIRect* rect)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return errInvalidWindowRef;
    const QRect all(QPoint(), live->backing.image.size());
    QRect area = all;
    if (rect)
        area = QRectF(rect->origin.x, rect->origin.y, rect->size.width, rect->size.height).toAlignedRect() & all;
    if (area.isEmpty())
        return noErr;
    live->backing.invalid += area;
    ScheduleUpdate(live);
    return noErr;
}

OSStatus HIWindowInvalidate(WindowRef window)
{
    return HIWindowInvalidateRect(window, nullptr);
}

OSStatus HIWindowFlush(WindowRef window)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return errInvalidWindowRef;
    Backing& backing = live->backing;
    if (backing.invalid.isEmpty())
        return noErr;
    const QRegion invalid = backing.invalid;
    backing.invalid = QRegion();
    {
        // Cleared to the window's background: transparent for a window
        // without a frame (it draws its own), white for the others.
        QPainter painter(&backing.image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setClipRegion(invalid);
        painter.fillRect(backing.image.rect(), Translucent(live) ? QColor(Qt::transparent) : QColor(Qt::white));
    }
    CGContextRef context = CGContextCreateWithQImage(&backing.image, true);
    const QRect bounding = invalid.boundingRect();
    CGContextClipToRect(context, CGRectMake(bounding.x(), bounding.y(), bounding.width(), bounding.height()));
    // The window's own paint event first (its background), then the views.
    EventRef paint = nullptr;
    CreateEvent(nullptr, kEventClassWindow, kEventWindowPaint, 0, 0, &paint);
    SetEventParameter(paint, kEventParamDirectObject, typeWindowRef, sizeof live, &live);
    SetEventParameter(paint, kEventParamCGContextRef, typeCGContextRef, sizeof context, &context);
    SendEventToEventTarget(paint, live->target);
    ReleaseEvent(paint);
    if (AsWindow(live) && live->drawer) {
        const HIRect dirty = ToHIRect(bounding);
        try {
            live->drawer(live, context, dirty, live->drawerRefCon);
        } catch (...) {
            Diagnostics::ReportException("WindowContentDrawer");
        }
    }
    CGContextRelease(context);
    if (!AsWindow(live))
        return noErr;
    UpdateInputShape(live, invalid);
    if (WindowWidget* widget = WidgetOf(live))
        widget->update(invalid);
    return noErr;
}

CGImageRef HIWindowCopyContentImage(WindowRef window)
{
    WindowRef live = AsWindow(window);
    if (!live)
        return nullptr;
    HIWindowFlush(live);
    return CGImageCreateWithQImage(live->backing.image);
}
