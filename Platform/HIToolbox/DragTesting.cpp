#include "DragTesting.h"

#include "DragInternal.h"

TestDragScript::TestDragScript(std::vector<HIPoint> path, bool drop, Qt::KeyboardModifiers modifiers)
{
    HIDragSetCarrier([path = std::move(path), drop, modifiers](const QMimeData* data) {
        return HIDragCarry(data, path, drop, modifiers);
    });
}

TestDragScript::~TestDragScript()
{
    HIDragSetCarrier(nullptr);
}

bool TestDropMimeData(const QMimeData* data, const std::vector<HIPoint>& path, Qt::KeyboardModifiers modifiers)
{
    return HIDragCarry(data, path, true, modifiers) != Qt::IgnoreAction;
}
