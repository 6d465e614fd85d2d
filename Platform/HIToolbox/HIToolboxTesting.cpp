#include "HIToolboxTesting.h"

#include "HIToolboxInternal.h"

#include <CarbonCore/CarbonEventLoop.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <cmath>

namespace {

QWindow* HandleOf(WindowRef window)
{
    QWidget* widget = HIWindowGetWidget(window);
    if (!widget)
        return nullptr;
    widget->winId();  // a native window, shown or not
    return widget->windowHandle();
}

QPoint PointOf(HIPoint point)
{
    return QPoint(int(std::lround(point.x)), int(std::lround(point.y)));
}

}  // namespace

void TestMousePress(WindowRef window, HIPoint point, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    if (QWindow* handle = HandleOf(window))
        QTest::mousePress(handle, button, modifiers, PointOf(point));
}

void TestMouseRelease(WindowRef window, HIPoint point, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    if (QWindow* handle = HandleOf(window))
        QTest::mouseRelease(handle, button, modifiers, PointOf(point));
}

void TestMouseMove(WindowRef window, HIPoint point)
{
    if (QWindow* handle = HandleOf(window))
        QTest::mouseMove(handle, PointOf(point));
}

void TestClick(WindowRef window, HIPoint point, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int clicks)
{
    for (int click = 0; click < clicks; ++click) {
        TestMousePress(window, point, button, modifiers);
        TestMouseRelease(window, point, button, modifiers);
    }
}

void TestWheel(WindowRef window, HIPoint point, int notches, Qt::Orientation orientation)
{
    QWidget* widget = HIWindowGetWidget(window);
    if (!widget)
        return;
    const QPoint local = PointOf(point);
    const QPoint angle = orientation == Qt::Vertical ? QPoint(0, notches * 120) : QPoint(notches * 120, 0);
    QWidget* receiver = widget->childAt(local) ? widget->childAt(local) : widget;
    QWheelEvent event(receiver->mapFrom(widget, QPointF(local)), widget->mapToGlobal(QPointF(local)), QPoint(), angle,
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(receiver, &event);
}

void TestKeyClick(WindowRef window, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    if (QWindow* handle = HandleOf(window))
        QTest::keyClick(handle, key, modifiers);
}

void TestClickCloseBox(WindowRef window)
{
    if (QWidget* widget = HIWindowGetWidget(window))
        widget->close();  // what the window manager's close button asks
}

void TestActivateWindow(WindowRef window)
{
    if (QWindow* handle = HandleOf(window)) {
        handle->requestActivate();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

void TestRunUntilIdle(double limitSeconds)
{
    QElapsedTimer timer;
    timer.start();
    int quietPasses = 0;
    while (quietPasses < 3 && timer.elapsed() < limitSeconds * 1000) {
        const bool queued = GetNumEventsInQueue(GetMainEventQueue()) > 0;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        const int fired = FireDueEventLoopTimers(GetMainEventLoop());
        const int dispatched = DispatchQueuedEvents();
        quietPasses = queued || fired || dispatched ? 0 : quietPasses + 1;
    }
}
