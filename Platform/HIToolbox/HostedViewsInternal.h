// What the kinds of views that show a real Qt widget share: the widget is
// a child of the window's widget, kept on the view's frame (in window
// coordinates), shown while the view and its ancestors are, enabled while
// they are, focused when the view gets the keyboard focus, and gone when
// the view is disposed.
//
// The view tree tells a view about its own frame, visibility and enabled
// state; an ancestor's changes reach the widgets when the window draws
// again (every such change invalidates it), so the widgets follow by the
// end of the same pass of the loop.
#pragma once

#include <HIToolbox/HIToolboxInternal.h>

#include <QPointer>
#include <QWidget>

// The kind data of every hosted view (kinds derive their own from it).
struct HostedView {
    virtual ~HostedView() = default;

    HIViewRef view = nullptr;
    QPointer<QWidget> widget;
    // Set while we change the widget's content ourselves: a text change
    // then is not the user's, and sends no text event.
    int programmatic = 0;
};

// The text view's part of HIToolboxRegisterHostedViewKinds (HITextViews.cpp).
void HIViewRegisterTextViewKind();

// Registers a kind of hosted view: `make` gives a new view of the kind its
// data and widget (it is called when a view of the kind is first used, so
// views made by kind code alone get theirs too). The behaviour's draw, key,
// dispose and hostsWidget are filled in unless given.
void HostedViewRegisterKind(HIViewKindBehaviour behaviour, HostedView* (*make)(HIViewRef view));

// A view of a hosted kind with its widget: in `window`'s content view and
// owned by the window, or with nil in no window and the caller's (count 1).
OSStatus HostedViewCreate(OSType kind, WindowRef window, const HIRect& frame, HIViewRef* outView);

// The hosted data of a view of `kind` (any hosted kind for 0), made on
// first use; nil for a view of another kind or nil.
HostedView* HostedViewOf(HIViewRef view, OSType kind = 0);

// Hands `widget` to the view (the view owns it from now on; the previous
// widget is deleted unless `keepPrevious`, then it is only taken out of
// the window and hidden) and places it.
void HostedViewSetWidget(HostedView& hosted, QWidget* widget, bool keepPrevious = false);

// Puts the widget where the view is now (frame, visibility, enabled state).
void HostedViewSync(HostedView& hosted);

// Sends kEventClassTextField `kind` to the view (kEventTextAccepted,
// kEventTextDidChange) and answers the chain's status.
OSStatus HostedViewSendTextEvent(HIViewRef view, EventKind kind);

// RAII for HostedView::programmatic.
class HostedViewChange {
public:
    explicit HostedViewChange(HostedView& hosted) : hosted_(hosted) { ++hosted_.programmatic; }
    ~HostedViewChange() { --hosted_.programmatic; }
    HostedViewChange(const HostedViewChange&) = delete;
    HostedViewChange& operator=(const HostedViewChange&) = delete;

private:
    HostedView& hosted_;
};

// Control data helpers for the kinds: copy a fixed-size value out (nil
// buffer: just the size), or check the size of one coming in.
OSStatus HostedViewAnswerData(const void* value, Size valueSize, Size bufferSize, void* buffer, Size* actualSize);
