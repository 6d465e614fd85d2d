// What the windows and views offer the layers of this family built on
// them (kinds of views, menus, hosted text), and nothing else.
#pragma once

#include <HIToolbox/MacWindows.h>

class QRect;
class QWidget;

// Draws the window's views into `context` (window coordinates, top-left
// origin, clipped to what is invalid); `dirty` bounds what must be drawn.
typedef void (*HIWindowContentDrawer)(WindowRef window, CGContextRef context, HIRect dirty, void* refCon);
void HIWindowSetContentDrawer(WindowRef window, HIWindowContentDrawer drawer, void* refCon);

// Where the window's key events go first (its focused view's target); nil:
// the window's own target.
void HIWindowSetKeyboardTarget(WindowRef window, EventTargetRef target);

// The window's widget (its Qt children are the hosted text fields), and the
// window a widget belongs to.
QWidget* HIWindowGetWidget(WindowRef window);
WindowRef HIWindowFromWidget(QWidget* widget);

// What the standard window handler does with mouse events: hands them to
// the view tree (set by the view layer when a window first gets views).
typedef OSStatus (*HIWindowMouseHook)(WindowRef window, EventRef mouseEvent);
void HIWindowSetMouseHook(HIWindowMouseHook hook);

// The content moved or was resized (by the user or by us): records it and
// sends kEventWindowBoundsChanged with `change`.
void HIToolboxWindowContentMoved(WindowRef window, const QRect& content, UInt32 change);

// ---- what the view tree asks of each kind of view ----

#include <HIToolbox/HIView.h>

// The behaviour of one kind of view: its look when no draw handler answered,
// its parts, how a click on it goes, and the control data it understands.
// Every member may be nil (nothing drawn, no part, no data).
struct HIViewKindBehaviour {
    ControlKind kind;
    // Draws the view into `context`: view coordinates, top-left origin,
    // clipped to the view and to what is invalid.
    void (*draw)(HIViewRef view, CGContextRef context);
    // The part at a point of the view (kControlNoPart for none; a view
    // without parts is one part, kControlButtonPart-like, chosen by the kind).
    ControlPartCode (*hitTest)(HIViewRef view, HIPoint point);
    // A click began on `part` at `point`. Answering kHIViewKeepTracking
    // goes on tracking (drag, then release); any other part ends the click
    // at once as release would (a pop-up button shows its menu here, sets
    // its value and answers the part; kControlNoPart: cancelled). Nil: keep
    // tracking.
    ControlPartCode (*press)(HIViewRef view, HIPoint point, ControlPartCode part, UInt32 modifiers);
    // The mouse moved while the click is held (sliders and scroll bars follow it).
    void (*drag)(HIViewRef view, HIPoint point, ControlPartCode part);
    // The click ended at `point` on `part` (kControlNoPart: off the view).
    // The kind changes the value as the click asks (a check box toggles)
    // and answers the part the click counts for (kControlNoPart: none).
    ControlPartCode (*release)(HIViewRef view, HIPoint point, ControlPartCode part, UInt32 modifiers);
    OSStatus (*setData)(HIViewRef view, ControlPartCode part, ResType tag, Size size, const void* data);
    OSStatus (*getData)(HIViewRef view, ControlPartCode part, ResType tag, Size bufferSize, void* buffer,
                        Size* actualSize);
    // Whether the kind takes the keyboard focus (edit fields, lists).
    bool focusable;
    // Keys typed while it has the focus, after the Carbon chain left them
    // (eventNotHandledErr to pass them on).
    OSStatus (*key)(HIViewRef view, EventRef rawKeyEvent);
    // The view went (free what the kind keeps for it).
    void (*dispose)(HIViewRef view);
    // The kind shows a Qt widget of its own (text fields): a click on it is
    // offered to the Carbon chain, focuses the view, and then goes on to
    // the widget.
    bool hostsWidget = false;
};
// A press that answers this keeps tracking (drag, then release).
inline constexpr ControlPartCode kHIViewKeepTracking = -100;

void HIViewRegisterKind(const HIViewKindBehaviour& behaviour);
const HIViewKindBehaviour* HIViewFindKind(OSType kind);

// A new view of a kind (count 1, the caller's), in `window`'s content view
// when a window is given (which then holds it too), with `frame` in that
// view's coordinates. The public Create…Control functions given a window
// release the caller's count, as the toolbox's do: the window owns the view.
HIViewRef HIViewCreateOfKind(OSType kind, WindowRef window, const HIRect& frame);
// A kind's own data kept on the view (nil until set); freed by the kind's dispose.
void* HIViewGetKindData(HIViewRef view);
void HIViewSetKindData(HIViewRef view, void* data);
// Tells the view its value changed (kEventControlValueFieldChanged) and
// redraws it; SetControl32BitValue does it too.
void HIViewValueChanged(HIViewRef view);

// ---- properties by creator and tag ----

#include <cstring>
#include <map>
#include <utility>
#include <vector>

// The properties windows, views and menu items carry: any size, copied in
// and out. `notFound` is the status of the kind that owns them.
class HIPropertyTable {
public:
    explicit HIPropertyTable(OSStatus notFound) : notFound_(notFound) {}

    OSStatus Set(OSType creator, OSType tag, ByteCount size, const void* data)
    {
        if (size > 0 && !data)
            return paramErr;
        const auto* bytes = static_cast<const UInt8*>(data);
        values_[{creator, tag}] = std::vector<UInt8>(bytes, bytes + size);
        return noErr;
    }
    // Copies at most `bufferSize` bytes; `actualSize` (may be nil) gets the
    // whole size. A missing property leaves the outputs untouched.
    OSStatus Get(OSType creator, OSType tag, ByteCount bufferSize, ByteCount* actualSize, void* buffer) const
    {
        if (bufferSize > 0 && !buffer)
            return paramErr;
        const auto found = values_.find({creator, tag});
        if (found == values_.end())
            return notFound_;
        if (actualSize)
            *actualSize = ByteCount(found->second.size());
        if (buffer && !found->second.empty())
            std::memcpy(buffer, found->second.data(), std::min<size_t>(bufferSize, found->second.size()));
        return noErr;
    }
    OSStatus Remove(OSType creator, OSType tag) { return values_.erase({creator, tag}) ? noErr : notFound_; }

private:
    OSStatus notFound_;
    std::map<std::pair<OSType, OSType>, std::vector<UInt8>> values_;
};
