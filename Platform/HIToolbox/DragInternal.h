// What the scripted drag driver of the tests shares with the Drag Manager:
// the Qt form of a drag, and carrying Qt drag data over our windows the
// way the window system does (an enter and a move at each step, then a
// drop or a leave).
#pragma once

#include <HIToolbox/Drag.h>

#include <QMimeData>
#include <QPointF>
#include <qnamespace.h>

#include <functional>
#include <vector>

// The private MIME type that carries every item and flavour of a drag.
inline constexpr const char* kHIDragPrivateMimeType = "application/x-brindlet-drag";

// A new Qt form of the drag (the caller's): the private type tagged with
// this process, and the files, text and images other programs read.
QMimeData* HIDragCreateMimeData(DragRef drag);
// A new drag (the caller disposes of it) made from Qt drag data as it
// arrives: the private items when they were made by this very process,
// else the files, text and images. Nil when the data holds none of them.
DragRef HIDragCreateFromMimeData(const QMimeData* data);

// Carries `data` along `path` (global points) over our windows, with the
// left button held and `modifiers`, and drops it at the last point (or,
// without `drop`, takes it away). Answers the action of an accepted drop,
// Qt::IgnoreAction otherwise.
Qt::DropAction HIDragCarry(const QMimeData* data, const std::vector<HIPoint>& path, bool drop,
                           Qt::KeyboardModifiers modifiers);

// While set, TrackDrag hands its Qt data to this instead of the window
// system (which the offscreen platform of the tests does not have).
typedef std::function<Qt::DropAction(const QMimeData* data)> HIDragCarrier;
void HIDragSetCarrier(HIDragCarrier carrier);
