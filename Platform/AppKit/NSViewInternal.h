// The widget that shows a tree of Cocoa views: a window's, or one made by
// NSView::newHostWidget. For AppKit's own sources.
#pragma once

#include <AppKit/NSView.h>

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>

class NSViewHost : public QWidget {
public:
    // `background` fills what no view covers (transparent for a plain host).
    NSViewHost(QWidget* parent, Qt::WindowFlags flags, QColor background);
    ~NSViewHost() override;

    NSView* view() const { return view_; }
    // Shows `view` (retained; nil: none), sized to the widget; the previous
    // view leaves the host.
    void setView(NSView* view);

    // What fills the widget where no view draws.
    void setBackground(QColor background)
    {
        background_ = background;
        InvalidateAll();
    }

    // `rect` (widget coordinates) is drawn again at the next paint.
    void Invalidate(const QRect& rect);
    void InvalidateAll() { Invalidate(rect()); }
    // Draws what is invalid into the buffer now.
    void RenderIfNeeded();
    // What the views drew, as the widget shows it.
    const QImage& Buffer() const { return buffer_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The view takes the widget's size; a new size is drawn anew.
    void FollowSize();

    NSView* view_ = nullptr;  // retained
    QColor background_;
    QImage buffer_;
    QRect dirty_;
};
