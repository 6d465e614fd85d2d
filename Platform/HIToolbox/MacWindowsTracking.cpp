// The user moving and resizing a window: the mouse is followed by the
// toolbox itself, as a modal loop that ends with the button's release.
// The window is moved through its bounds, so what the window manager adds
// around it moves with it and the window hears of every change.

#include "MacWindows.h"

#include "HIToolboxInternal.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <functional>

namespace {

// Follows the mouse until its buttons are released: every move and the
// release go to `follow` (global position), and to nothing else.
class MouseFollower final : public QObject {
public:
    explicit MouseFollower(std::function<void(QPointF)> follow) : follow_(std::move(follow)) {}

    void Run(QWidget* grabber)
    {
        QPointer<QWidget> grabbed = grabber;
        // Filters installed last see events first: ours comes before the
        // window's input routing.
        QCoreApplication::instance()->installEventFilter(this);
        if (grabbed)
            grabbed->grabMouse();
        loop_.exec();
        if (grabbed)
            grabbed->releaseMouse();
        QCoreApplication::instance()->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            follow_(mouse->globalPosition());
            // A release we never saw (another program took the pointer).
            if (mouse->buttons() == Qt::NoButton)
                loop_.quit();
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            follow_(mouse->globalPosition());
            if (mouse->buttons() == Qt::NoButton)
                loop_.quit();
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            return true;
        case QEvent::ApplicationDeactivate:
            loop_.quit();
            return false;
        default:
            return false;
        }
    }

private:
    std::function<void(QPointF)> follow_;
    QEventLoop loop_;
};

bool ButtonDown()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) && QGuiApplication::mouseButtons() != Qt::NoButton;
}

QPointF Within(QPointF point, const Rect* limits)
{
    if (!limits || limits->right <= limits->left || limits->bottom <= limits->top)
        return point;
    return QPointF(std::clamp(point.x(), qreal(limits->left), qreal(limits->right - 1)),
                   std::clamp(point.y(), qreal(limits->top), qreal(limits->bottom - 1)));
}

}  // namespace

void DragWindow(WindowRef window, Point startPoint, const Rect* boundsRect)
{
    HIRect start = {};
    if (HIWindowGetBounds(window, kWindowContentRgn, &start) != noErr || !ButtonDown())
        return;
    if (!(QGuiApplication::keyboardModifiers() & Qt::ControlModifier))
        SelectWindow(window);
    const QPointF from = Within(QPointF(startPoint.h, startPoint.v), boundsRect);
    MouseFollower follower([&](QPointF global) {
        if (!IsValidWindowPtr(window))
            return;
        const QPointF delta = Within(global, boundsRect) - from;
        HIRect moved = start;
        moved.origin.x = start.origin.x + std::round(delta.x());
        moved.origin.y = start.origin.y + std::round(delta.y());
        HIWindowSetBounds(window, kWindowContentRgn, &moved);
    });
    follower.Run(HIWindowGetWidget(window));
}

Boolean ResizeWindow(WindowRef window, Point startPoint, const Rect* sizeConstraints, Rect* outNewContentRect)
{
    HIRect start = {};
    if (HIWindowGetBounds(window, kWindowContentRgn, &start) != noErr)
        return false;
    const CGFloat minimumWidth = sizeConstraints ? std::max<SInt16>(1, sizeConstraints->left) : 1;
    const CGFloat minimumHeight = sizeConstraints ? std::max<SInt16>(1, sizeConstraints->top) : 1;
    const CGFloat maximumWidth = sizeConstraints ? std::max<CGFloat>(minimumWidth, sizeConstraints->right) : 32767;
    const CGFloat maximumHeight = sizeConstraints ? std::max<CGFloat>(minimumHeight, sizeConstraints->bottom) : 32767;
    if (ButtonDown()) {
        const QPointF from(startPoint.h, startPoint.v);
        MouseFollower follower([&](QPointF global) {
            if (!IsValidWindowPtr(window))
                return;
            const QPointF delta = global - from;
            HIRect sized = start;
            sized.size.width =
                std::clamp(CGFloat(start.size.width + std::round(delta.x())), minimumWidth, maximumWidth);
            sized.size.height =
                std::clamp(CGFloat(start.size.height + std::round(delta.y())), minimumHeight, maximumHeight);
            HIWindowSetBounds(window, kWindowContentRgn, &sized);
        });
        follower.Run(HIWindowGetWidget(window));
    }
    Rect now = {};
    if (GetWindowBounds(window, kWindowContentRgn, &now) != noErr)
        return false;
    if (outNewContentRect)
        *outNewContentRect = now;
    return now.right - now.left != SInt16(start.size.width) || now.bottom - now.top != SInt16(start.size.height);
}
