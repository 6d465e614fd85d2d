#include "NSWindow.h"

#include "NSColor.h"
#include "NSScreen.h"
#include "NSViewInternal.h"

#include <CarbonCore/CarbonEventLoop.h>

#include <algorithm>

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
        // Closing is the window's own business: a delegate may keep it
        // open, and a closed window hides.
        event->ignore();
        window_->performClose();
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
    delete animator_;
    for (auto& [key, animation] : animations_)
        animation->release();
    if (backgroundColor_)
        backgroundColor_->release();
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

void NSWindow::setAlphaValue(CGFloat alpha)
{
    alphaValue_ = std::clamp<CGFloat>(alpha, 0, 1);
    // Displays without windows of their own (the offscreen one) have no
    // opacity to set, and say so at every step of a fade.
    const QString platform = QGuiApplication::platformName();
    if (widget_ && platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        widget_->setWindowOpacity(double(alphaValue_));
}

void NSWindow::setOpaque(bool opaque)
{
    opaque_ = opaque;
    if (widget_)
        widget_->setAttribute(Qt::WA_TranslucentBackground, !opaque);
}

void NSWindow::setHasShadow(bool hasShadow)
{
    hasShadow_ = hasShadow;
    if (widget_)
        widget_->setWindowFlag(Qt::NoDropShadowWindowHint, !hasShadow);
}

void NSWindow::setBackgroundColor(NSColor* color)
{
    if (color == nullptr)
        return;
    color->retain();
    if (backgroundColor_)
        backgroundColor_->release();
    backgroundColor_ = color;
    if (widget_)
        widget_->setBackground(color->qColor());
}

void NSWindow::performClose()
{
    if (delegate_ && !delegate_->windowShouldClose(this))
        return;
    close();
}

void NSWindow::setAnimations(const std::map<std::string, CAAnimation*>& animations)
{
    for (const auto& [key, animation] : animations) {
        if (animation)
            animation->retain();
    }
    for (auto& [key, animation] : animations_)
        animation->release();
    animations_.clear();
    for (const auto& [key, animation] : animations) {
        if (animation)
            animations_.emplace(key, animation);
    }
}

CAAnimation* NSWindow::animationForKey(const std::string& key) const
{
    auto found = animations_.find(key);
    return found != animations_.end() ? found->second : nullptr;
}

NSWindowAnimator* NSWindow::animator()
{
    if (animator_ == nullptr)
        animator_ = new NSWindowAnimator(this);
    return animator_;
}

// ---- the animator ----

NSWindowAnimator::~NSWindowAnimator()
{
    // The window is going: the animation ends with it, untold.
    if (timer_)
        RemoveEventLoopTimer(timer_);
    if (animation_)
        animation_->release();
}

void NSWindowAnimator::orderFront()
{
    window_->orderFront();
}

void NSWindowAnimator::Stop(bool finished)
{
    if (timer_) {
        RemoveEventLoopTimer(timer_);
        timer_ = nullptr;
    }
    CAAnimation* animation = animation_;
    animation_ = nullptr;
    if (animation == nullptr)
        return;
    // The delegate may start the next animation or close the window.
    if (CAAnimationDelegate* delegate = animation->delegate())
        delegate->animationDidStop(animation, finished);
    animation->release();
}

void NSWindowAnimator::setAlphaValue(CGFloat alpha)
{
    Stop(false);
    CAAnimation* animation = window_->animationForKey("alphaValue");
    animation = animation ? static_cast<CAAnimation*>(animation->retain()) : CABasicAnimation::newAnimation();
    animation_ = animation;
    from_ = window_->alphaValue();
    to_ = std::clamp<CGFloat>(alpha, 0, 1);
    start_ = GetCurrentEventTime();
    EventLoopTimerRef timer = nullptr;
    if (InstallEventLoopTimer(GetMainEventLoop(), 0, 1.0 / 60, Tick, this, &timer) == noErr)
        timer_ = timer;
    else
        window_->setAlphaValue(to_);
}

void NSWindowAnimator::Tick(EventLoopTimerRef, void* data)
{
    auto* self = static_cast<NSWindowAnimator*>(data);
    const double duration = self->animation_ ? self->animation_->duration() : 0;
    const double elapsed = GetCurrentEventTime() - self->start_;
    const double progress = duration > 0 ? std::clamp(elapsed / duration, 0.0, 1.0) : 1.0;
    self->window_->setAlphaValue(self->from_ + CGFloat(progress) * (self->to_ - self->from_));
    if (progress >= 1.0)
        self->Stop(true);
}
