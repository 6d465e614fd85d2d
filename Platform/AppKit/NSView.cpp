#include "NSView.h"

#include "NSViewInternal.h"

#include <CoreGraphics/CGContextQt.h>
#include <Support/Diagnostics.h>

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

CGAffineTransform FlipWithin(CGFloat height)
{
    return CGAffineTransformMake(1, 0, 0, -1, 0, height);
}

// The whole pixels that a rectangle of the host (y up) touches, as the
// widget counts them (y down).
QRect HostRectToWidget(CGRect rect, int height)
{
    if (CGRectIsNull(rect) || CGRectIsEmpty(rect))
        return QRect();
    const int left = static_cast<int>(std::floor(CGRectGetMinX(rect)));
    const int right = static_cast<int>(std::ceil(CGRectGetMaxX(rect)));
    const int bottom = static_cast<int>(std::floor(CGRectGetMinY(rect)));
    const int top = static_cast<int>(std::ceil(CGRectGetMaxY(rect)));
    return QRect(left, height - top, right - left, top - bottom);
}

CGRect WidgetRectToHost(const QRect& rect, int height)
{
    return CGRectMake(rect.x(), height - rect.y() - rect.height(), rect.width(), rect.height());
}

}  // namespace

// ---- views ----

NSView* NSView::newView(NSRect frame)
{
    return new NSView(frame);
}

NSView::~NSView()
{
    for (NSView* subview : subviews_) {
        subview->superview_ = nullptr;
        subview->release();
    }
}

void NSView::setFrame(NSRect frame)
{
    if (CGRectEqualToRect(frame, frame_))
        return;
    if (superview_)
        superview_->setNeedsDisplayInRect(frame_);
    frame_ = frame;
    needsDisplay_ = true;
    if (superview_)
        superview_->setNeedsDisplayInRect(frame_);
    else if (host_)
        host_->InvalidateAll();
}

void NSView::setFrameOrigin(NSPoint origin)
{
    setFrame(NSRect{origin, frame_.size});
}

void NSView::setFrameSize(NSSize size)
{
    setFrame(NSRect{frame_.origin, size});
}

void NSView::addSubview(NSView* view)
{
    if (view == nullptr || view->host_ != nullptr || view->window_ != nullptr)
        return;
    for (const NSView* ancestor = this; ancestor; ancestor = ancestor->superview_) {
        if (ancestor == view)
            return;
    }
    view->retain();
    view->removeFromSuperview();
    subviews_.push_back(view);
    view->superview_ = this;
    view->setNeedsDisplay(true);
}

void NSView::removeFromSuperview()
{
    NSView* superview = superview_;
    if (superview == nullptr)
        return;
    superview->setNeedsDisplayInRect(frame_);
    auto& siblings = superview->subviews_;
    siblings.erase(std::find(siblings.begin(), siblings.end(), this));
    superview_ = nullptr;
    release();
}

NSView* NSView::viewWithTag(NSInteger tag)
{
    if (this->tag() == tag)
        return this;
    for (NSView* subview : subviews_) {
        if (NSView* found = subview->viewWithTag(tag))
            return found;
    }
    return nullptr;
}

NSView* NSView::Root()
{
    NSView* view = this;
    while (view->superview_)
        view = view->superview_;
    return view;
}

NSWindow* NSView::window() const
{
    return const_cast<NSView*>(this)->Root()->window_;
}

NSViewHost* NSView::Host()
{
    return Root()->host_;
}

CGAffineTransform NSView::LocalTransform() const
{
    if (superview_ == nullptr)
        return isFlipped() ? FlipWithin(frame_.size.height) : CGAffineTransformIdentity;
    if (isFlipped() == superview_->isFlipped())
        return CGAffineTransformMakeTranslation(frame_.origin.x, frame_.origin.y);
    return CGAffineTransformMake(1, 0, 0, -1, frame_.origin.x, frame_.origin.y + frame_.size.height);
}

CGAffineTransform NSView::TransformToHost() const
{
    const CGAffineTransform local = LocalTransform();
    return superview_ ? CGAffineTransformConcat(local, superview_->TransformToHost()) : local;
}

void NSView::InvalidateInHost(NSRect rect)
{
    NSViewHost* host = Host();
    if (host == nullptr)
        return;
    const CGRect visible = CGRectIntersection(rect, bounds());
    host->Invalidate(HostRectToWidget(CGRectApplyAffineTransform(visible, TransformToHost()), host->height()));
}

void NSView::setNeedsDisplay(bool flag)
{
    if (flag)
        setNeedsDisplayInRect(bounds());
    else
        needsDisplay_ = false;
}

void NSView::setNeedsDisplayInRect(NSRect rect)
{
    needsDisplay_ = true;
    InvalidateInHost(rect);
}

void NSView::displayIfNeeded()
{
    if (NSViewHost* host = Host()) {
        host->RenderIfNeeded();
        host->update();
    }
}

void NSView::display()
{
    setNeedsDisplay(true);
    displayIfNeeded();
}

void NSView::drawRect(NSRect) {}

void NSView::DrawTree(CGContextRef port, const CGAffineTransform& superviewToHost, CGRect dirty)
{
    const CGAffineTransform local = LocalTransform();
    const CGAffineTransform toHost = CGAffineTransformConcat(local, superviewToHost);
    const CGRect area = CGRectIntersection(CGRectApplyAffineTransform(bounds(), toHost), dirty);
    if (CGRectIsNull(area) || CGRectIsEmpty(area))
        return;
    CGContextSaveGState(port);
    CGContextConcatCTM(port, local);
    CGContextClipToRect(port, bounds());

    const CGRect dirtyHere =
        CGRectIntersection(CGRectApplyAffineTransform(area, CGAffineTransformInvert(toHost)), bounds());
    NSGraphicsContext* context = NSGraphicsContext::newWithGraphicsPort(port, isFlipped());
    NSGraphicsContext::saveGraphicsState();
    NSGraphicsContext::setCurrentContext(context);
    CGContextSaveGState(port);
    // A view that throws loses its own drawing, never its window's.
    try {
        drawRect(dirtyHere);
    } catch (...) {
        Diagnostics::ReportException(std::string(className()) + ".drawRect");
    }
    CGContextRestoreGState(port);
    NSGraphicsContext::restoreGraphicsState();
    context->release();
    needsDisplay_ = false;

    // A subview drawing may take this one out of the tree: each is held
    // while it draws, over a snapshot of the list.
    std::vector<NSView*> subviews = subviews_;
    for (NSView* subview : subviews)
        subview->retain();
    for (NSView* subview : subviews) {
        if (subview->superview_ == this)
            subview->DrawTree(port, toHost, dirty);
        subview->release();
    }
    CGContextRestoreGState(port);
}

void NSView::displayRectIgnoringOpacity(NSRect rect, NSGraphicsContext* context)
{
    if (context == nullptr || context->graphicsPort() == nullptr)
        return;
    CGContextRef port = context->graphicsPort();
    // The context's user space is the view's bounds: the tree is drawn as
    // if the view were a root whose host space is that user space.
    const CGAffineTransform toContext = isFlipped() ? FlipWithin(frame_.size.height) : CGAffineTransformIdentity;
    const CGAffineTransform contextToBounds =
        context->isFlipped() ? FlipWithin(frame_.size.height) : CGAffineTransformIdentity;
    CGContextSaveGState(port);
    CGContextConcatCTM(port, contextToBounds);
    NSView* superview = superview_;
    superview_ = nullptr;  // drawn as a root for the length of the call
    const CGRect dirty = CGRectApplyAffineTransform(CGRectIntersection(rect, bounds()), toContext);
    DrawTree(port, CGAffineTransformIdentity, dirty);
    superview_ = superview;
    CGContextRestoreGState(port);
}

QWidget* NSView::newHostWidget()
{
    if (superview_ || host_ || window_ || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return nullptr;
    auto* host = new NSViewHost(nullptr, Qt::Widget, Qt::transparent);
    host->resize(static_cast<int>(std::lround(frame_.size.width)), static_cast<int>(std::lround(frame_.size.height)));
    host->setView(this);
    return host;
}

// ---- hosts ----

NSViewHost::NSViewHost(QWidget* parent, Qt::WindowFlags flags, QColor background)
    : QWidget(parent, flags), background_(background)
{
    setAttribute(Qt::WA_OpaquePaintEvent, background.alpha() == 255);
}

NSViewHost::~NSViewHost()
{
    setView(nullptr);
}

void NSViewHost::setView(NSView* view)
{
    if (view == view_)
        return;
    if (view)
        view->retain();
    if (view_) {
        view_->host_ = nullptr;
        view_->release();
    }
    view_ = view;
    if (view_) {
        view_->host_ = this;
        view_->setFrame(NSRect{{0, 0}, {CGFloat(width()), CGFloat(height())}});
    }
    InvalidateAll();
}

void NSViewHost::Invalidate(const QRect& rect)
{
    const QRect clipped = rect & QWidget::rect();
    if (clipped.isEmpty())
        return;
    dirty_ |= clipped;
    update(clipped);
}

void NSViewHost::RenderIfNeeded()
{
    // A hidden widget hears of a new size only when it is shown.
    FollowSize();
    if (buffer_.size() != size()) {
        buffer_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
        dirty_ = QWidget::rect();
    }
    if (dirty_.isEmpty() || buffer_.isNull())
        return;
    const QRect dirty = dirty_;
    dirty_ = QRect();
    {
        QPainter painter(&buffer_);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(dirty, background_);
    }
    if (view_ == nullptr)
        return;
    // Held: a view's drawing may hand the host another view.
    NSView* view = static_cast<NSView*>(view_->retain());
    CGContextRef port = CGContextCreateWithQImage(&buffer_, false);
    const CGRect area = WidgetRectToHost(dirty, buffer_.height());
    CGContextClipToRect(port, area);
    view->DrawTree(port, CGAffineTransformIdentity, area);
    CGContextRelease(port);
    view->release();
}

void NSViewHost::paintEvent(QPaintEvent* event)
{
    RenderIfNeeded();
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& rect : event->region())
        painter.drawImage(rect, buffer_, rect);
}

void NSViewHost::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Qt repeats the event to a hidden widget each time it is rendered: only
    // a new size makes the views draw again.
    FollowSize();
}

void NSViewHost::FollowSize()
{
    if (view_)
        view_->setFrame(NSRect{{0, 0}, {CGFloat(width()), CGFloat(height())}});  // nothing when it is the same
    if (buffer_.size() != size())
        InvalidateAll();
}
