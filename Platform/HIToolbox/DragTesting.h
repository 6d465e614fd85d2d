// Scripted drags for tests: the offscreen platform has no window-system
// drag and drop (QDrag::exec does nothing there), so a script carries the
// drag over our windows with the same Qt drag events a real drag brings.
// Linked only into test programs (brindlet_hitoolbox_testing).
#pragma once

#include <HIToolbox/Drag.h>

#include <QMimeData>
#include <qnamespace.h>

#include <vector>

// While it lives, every TrackDrag follows `path` (global points) instead
// of the user, and drops at its last point (without `drop`, takes the drag
// away there).
class TestDragScript {
public:
    explicit TestDragScript(std::vector<HIPoint> path, bool drop = true,
                            Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    ~TestDragScript();
    TestDragScript(const TestDragScript&) = delete;
    TestDragScript& operator=(const TestDragScript&) = delete;
};

// A drag of `data` such as another program starts, carried along `path`
// over our windows and dropped at its last point. Answers whether a view
// accepted the drop.
bool TestDropMimeData(const QMimeData* data, const std::vector<HIPoint>& path,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier);
