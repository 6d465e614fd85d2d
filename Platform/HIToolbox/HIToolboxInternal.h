// What the windows offer the view layer built on them, and nothing else.
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

// The content moved or was resized (by the user or by us): records it and
// sends kEventWindowBoundsChanged with `change`.
void HIToolboxWindowContentMoved(WindowRef window, const QRect& content, UInt32 change);
