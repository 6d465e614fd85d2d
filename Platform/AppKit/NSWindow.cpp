#include "NSWindow.h"

#include "NSScreen.h"
#include "NSViewInternal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>

namespace {

CGFloat PrimaryHeight()
{
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? static_cast<CGFloat>(primary->geometry().height()) : 0;
}

Qt::WindowFlags FlagsFor(NSWindowStyleMask styleMask)
{
    Qt::WindowFlags flags = Qt::Window;
    if ((styleMask & NSTitledWindowMask) == 0)
        flags |= Qt::FramelessWindowHint;
    return flags;
}

}  // namespace

// The window's top-level widget: the host of its content view, telling the
// window what the user does to it.
class NSWindowWidget : public NSViewHost {
public:
    NSWindowWidget(NSWindow* window, NSWindowStyleMask styleMask)
        : NSViewHost(nullptr, FlagsFor(styleMask), QApplication::palette().color(QPalette::Window)), window_(window)
    {}

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->accept();
        window_->close();
    }
    void moveEvent(QMoveEvent* event) override
    {
        NSViewHost::moveEvent(event);
        window_->FrameChangedByWidget();
    }
    void resizeEvent(QResizeEvent* event) override
    {
        NSViewHost::resizeEvent(event);
        window_->FrameChangedByWidget();
    }

private:
    NSWindow* window_;
};

NSWindow* NSWindow::newWindow(NSRect contentRect, NSWindowStyleMask styleMask)
{
    return new NSWindow(contentRect, styleMask);
}

NSWindow::NSWindow(NSRect frame, NSWindowStyleMask styleMask)
    : frame_(frame), styleMask_(styleMask), title_(NSString::newWithUTF8String(""))
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        widget_ = new NSWindowWidget(this, styleMask);
        widget_->setGeometry(QtRectFromNSRect(frame_, PrimaryHeight()));
    }
    NSView* content = NSView::newView(NSRect{{0, 0}, frame.size});
    setContentView(content);
    content->release();
}

NSWindow::~NSWindow()
{
    delete widget_;  // lets go of the content view it shows
    contentView_->window_ = nullptr;
    contentView_->release();
    title_->release();
}

void NSWindow::setFrame(NSRect frame, bool display)
{
    frame_ = frame;
    if (widget_)
        widget_->setGeometry(QtRectFromNSRect(frame_, PrimaryHeight()));
    contentView_->setFrame(NSRect{{0, 0}, frame_.size});
    if (display)
        this->display();
}

void NSWindow::setFrameOrigin(NSPoint origin)
{
    setFrame(NSRect{origin, frame_.size}, false);
}

void NSWindow::FrameChangedByWidget()
{
    // The widget holds whole pixels: a frame that rounds to where it is
    // stays as it was set.
    const CGFloat primaryHeight = PrimaryHeight();
    if (widget_->geometry() == QtRectFromNSRect(frame_, primaryHeight))
        return;
    frame_ = NSRectFromQtRect(widget_->geometry(), primaryHeight);
}

void NSWindow::setContentView(NSView* view)
{
    if (view == nullptr || view == contentView_ || view->window_ != nullptr || view->host_ != nullptr)
        return;
    view->retain();
    view->removeFromSuperview();
    NSView* old = contentView_;
    contentView_ = view;
    view->window_ = this;
    if (widget_)
        widget_->setView(view);
    view->setFrame(NSRect{{0, 0}, frame_.size});
    view->setNeedsDisplay(true);
    if (old) {
        old->window_ = nullptr;
        old->release();
    }
}

void NSWindow::setTitle(const NSString* title)
{
    NSString* old = title_;
    title_ = title ? static_cast<NSString*>(const_cast<NSString*>(title)->retain()) : NSString::newWithUTF8String("");
    old->release();
    if (widget_)
        widget_->setWindowTitle(QString::fromStdString(title_->UTF8String()));
}

void NSWindow::orderFront()
{
    closed_ = false;
    if (widget_) {
        widget_->show();
        widget_->raise();
    }
}

void NSWindow::orderOut()
{
    if (widget_)
        widget_->hide();
}

bool NSWindow::isVisible() const
{
    return widget_ && widget_->isVisible();
}

void NSWindow::close()
{
    if (closed_)
        return;
    closed_ = true;
    orderOut();
    if (releasedWhenClosed_)
        autorelease();
}

void NSWindow::displayIfNeeded()
{
    contentView_->displayIfNeeded();
}

void NSWindow::display()
{
    contentView_->display();
}

QWidget* NSWindow::widget() const
{
    return widget_;
}
