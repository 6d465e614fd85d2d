#include "DataBrowser.h"

#include "DataBrowserInternal.h"
#include "Drag.h"
#include "HostedViews.h"

#include <Support/Diagnostics.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unordered_set>

using namespace databrowser;

OpaqueDataBrowserItemData::~OpaqueDataBrowserItemData()
{
    if (text)
        CFRelease(text);
    if (icon)
        ReleaseIconRef(icon);
}

namespace databrowser {

namespace {

std::unordered_set<Browser*>& LiveBrowsers()
{
    static auto* const browsers = new std::unordered_set<Browser*>;
    return *browsers;
}

void DisposeBrowser(HIViewRef view)
{
    auto* b = static_cast<Browser*>(HIViewGetKindData(view));
    if (!b)
        return;
    HIViewSetKindData(view, nullptr);
    b->disposed = true;
    b->editor = nullptr;  // a subview: it goes with the browser
    if (b->busy == 0)
        delete b;
}

}  // namespace

Browser::~Browser()
{
    LiveBrowsers().erase(this);
    for (Column& column : columns)
        if (column.title)
            CFRelease(column.title);
}

Browser* BrowserOf(ControlRef control)
{
    ControlKind kind = {};
    if (!control || GetControlKind(control, &kind) != noErr || kind.kind != kControlKindDataBrowser)
        return nullptr;
    auto* b = static_cast<Browser*>(HIViewGetKindData(control));
    return b && LiveBrowsers().count(b) && !b->disposed ? b : nullptr;
}

Hold::Hold(Browser* b) : browser_(b)
{
    ++browser_->busy;
}

Hold::~Hold()
{
    if (--browser_->busy == 0 && browser_->disposed)
        delete browser_;
}

OSStatus Ask(Browser& b, DataBrowserItemID item, DataBrowserPropertyID property, OpaqueDataBrowserItemData& data,
             DataBrowserPropertyID column)
{
    data.item = item;
    data.property = column ? column : property;
    if (!b.callbacks.u.v1.itemDataCallback)
        return errDataBrowserPropertyNotSupported;
    Hold hold(&b);
    return b.callbacks.u.v1.itemDataCallback(b.view, item, property, &data, false);
}

bool AskFlag(Browser& b, DataBrowserItemID item, DataBrowserPropertyID property, bool fallback,
             DataBrowserPropertyID column)
{
    OpaqueDataBrowserItemData data;
    if (Ask(b, item, property, data, column) != noErr)
        return fallback;
    if (data.hasBoolean)
        return data.boolean;
    if (data.hasButton)
        return data.button != kThemeButtonOff;
    return fallback;
}

void Notify(Browser& b, DataBrowserItemID item, DataBrowserItemNotification message)
{
    if (!b.callbacks.u.v1.itemNotificationCallback || b.disposed)
        return;
    Hold hold(&b);
    b.callbacks.u.v1.itemNotificationCallback(b.view, item, message);
}

namespace {

void AddRows(Browser& b, const std::vector<DataBrowserItemID>& ids, int depth, CGFloat& top)
{
    for (DataBrowserItemID id : ids) {
        auto found = b.items.find(id);
        if (found == b.items.end())
            continue;
        const CGFloat height = b.variableHeight && found->second.height ? found->second.height : b.rowHeight;
        b.rows.push_back(Row{id, depth, top, height});
        top += height;
        if (found->second.open)
            AddRows(b, found->second.children, depth + 1, top);
    }
}

}  // namespace

const std::vector<Row>& Rows(Browser& b)
{
    if (b.rowsDirty) {
        b.rows.clear();
        CGFloat top = 0;
        AddRows(b, b.roots, 0, top);
        b.rowsDirty = false;
    }
    return b.rows;
}

int RowOf(Browser& b, DataBrowserItemID item)
{
    const std::vector<Row>& rows = Rows(b);
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].item == item)
            return int(i);
    return -1;
}

int RowAt(Browser& b, CGFloat y)
{
    const CGFloat contentY = y - b.headerHeight + b.scrollTop;
    if (y < b.headerHeight || contentY < 0)
        return -1;
    const std::vector<Row>& rows = Rows(b);
    auto found = std::upper_bound(rows.begin(), rows.end(), contentY,
                                  [](CGFloat value, const Row& row) { return value < row.top; });
    if (found == rows.begin())
        return -1;
    --found;
    return contentY < found->top + found->height ? int(found - rows.begin()) : -1;
}

const Column* ColumnOf(const Browser& b, DataBrowserPropertyID property)
{
    for (const Column& column : b.columns)
        if (column.property == property)
            return &column;
    return nullptr;
}

CGFloat ColumnLeft(const Browser& b, const Column& column)
{
    CGFloat x = -CGFloat(b.scrollLeft);
    for (const Column& c : b.columns) {
        if (&c == &column)
            break;
        x += c.width;
    }
    return x;
}

HIRect ViewBounds(const Browser& b)
{
    HIRect bounds = CGRectZero;
    HIViewGetBounds(b.view, &bounds);
    return bounds;
}

CGFloat Metric(const Browser& b, DataBrowserMetric metric)
{
    static const CGFloat defaults[6] = {0, 4, 4, 4, 2, 16};
    if (metric < 1 || metric > 5)
        return 0;
    return b.metricSet[metric] ? b.metrics[metric] : defaults[metric];
}

bool IsContainer(Browser& b, DataBrowserItemID item)
{
    return b.disclosure != 0 && AskFlag(b, item, kDataBrowserItemIsContainerProperty, false);
}

namespace {

// The side of the icons of a row.
CGFloat IconSide(CGFloat rowHeight)
{
    return std::max<CGFloat>(0, std::min<CGFloat>(16, rowHeight - 2));
}

}  // namespace

bool PartBounds(Browser& b, int row, const Column& column, DataBrowserPropertyPart part, HIRect* out)
{
    const std::vector<Row>& rows = Rows(b);
    if (row < 0 || size_t(row) >= rows.size())
        return false;
    const Row& r = rows[size_t(row)];
    const HIRect enclosing =
        CGRectMake(ColumnLeft(b, column), b.headerHeight + r.top - CGFloat(b.scrollTop), column.width, r.height);
    if (part == kDataBrowserPropertyEnclosingPart) {
        *out = enclosing;
        return true;
    }
    const CGFloat inset = Metric(b, kDataBrowserMetricCellContentInset);
    CGFloat left = enclosing.origin.x + inset;
    const bool outline = column.property == b.disclosure;
    const CGFloat triangle = 12;
    HIRect disclosure = CGRectZero;
    if (outline) {
        const CGFloat x = enclosing.origin.x + Metric(b, kDataBrowserMetricDisclosureColumnEdgeInset) +
                          r.depth * Metric(b, kDataBrowserMetricDisclosureColumnPerDepthGap);
        disclosure = CGRectMake(x, enclosing.origin.y + std::floor((r.height - triangle) / 2), triangle, triangle);
        left = x + triangle + Metric(b, kDataBrowserMetricDisclosureTriangleAndContentGap);
    }
    const CGFloat right = std::max(left, CGRectGetMaxX(enclosing) - inset);
    const HIRect content = CGRectMake(left, enclosing.origin.y, right - left, r.height);
    const CGFloat side = IconSide(r.height);
    const HIRect icon = CGRectMake(left, enclosing.origin.y + std::floor((r.height - side) / 2), side, side);
    switch (part) {
    case kDataBrowserPropertyContentPart:
        *out = content;
        return true;
    case kDataBrowserPropertyDisclosurePart:
        if (!outline || !IsContainer(b, r.item))
            return false;
        *out = disclosure;
        return true;
    case kDataBrowserPropertyIconPart:
        if (column.type != kDataBrowserIconType && column.type != kDataBrowserIconAndTextType)
            return false;
        *out = icon;
        return true;
    case kDataBrowserPropertyTextPart:
        if (column.type == kDataBrowserTextType) {
            *out = content;
            return true;
        }
        if (column.type == kDataBrowserIconAndTextType) {
            const CGFloat x = std::min(right, left + side + Metric(b, kDataBrowserMetricIconAndTextGap));
            *out = CGRectMake(x, enclosing.origin.y, right - x, r.height);
            return true;
        }
        return false;
    case kDataBrowserPropertyCheckboxPart: {
        if (column.type != kDataBrowserCheckboxType)
            return false;
        const CGFloat box = std::min<CGFloat>(14, r.height);
        *out = CGRectMake(left, enclosing.origin.y + std::floor((r.height - box) / 2), box, box);
        return true;
    }
    default:
        return false;
    }
}

void ClampScroll(Browser& b)
{
    const std::vector<Row>& rows = Rows(b);
    const HIRect bounds = ViewBounds(b);
    const CGFloat contentHeight = rows.empty() ? 0 : rows.back().top + rows.back().height;
    const CGFloat visibleHeight = std::max<CGFloat>(0, bounds.size.height - b.headerHeight);
    const UInt32 maxTop = UInt32(std::max<CGFloat>(0, std::ceil(contentHeight - visibleHeight)));
    CGFloat contentWidth = 0;
    for (const Column& column : b.columns)
        contentWidth += column.width;
    const UInt32 maxLeft = UInt32(std::max<CGFloat>(0, std::ceil(contentWidth - bounds.size.width)));
    b.scrollTop = std::min(b.scrollTop, maxTop);
    b.scrollLeft = std::min(b.scrollLeft, maxLeft);
}

void Redraw(Browser& b)
{
    if (!b.disposed)
        HIViewSetNeedsDisplay(b.view, true);
}

}  // namespace databrowser

namespace {

// Mac virtual key codes of the keys the browser and its editor take.
constexpr UInt32 kVK_Escape = 53;
constexpr UInt32 kVK_DownArrow = 125;
constexpr UInt32 kVK_UpArrow = 126;

// ---- the built-in editor ----

void PlaceEditor(Browser& b);

void EndEdit(Browser& b, bool commit)
{
    if (b.editItem == kDataBrowserNoItem || !b.editor)
        return;
    const DataBrowserItemID item = b.editItem;
    const DataBrowserPropertyID property = b.editProperty;
    b.editItem = kDataBrowserNoItem;
    b.editProperty = 0;
    CFStringRef text = nullptr;
    GetControlData(b.editor, 0, kControlEditTextCFStringTag, sizeof text, &text, nullptr);
    ControlRef focus = nullptr;
    WindowRef window = HIViewGetWindow(b.view);
    if (window)
        GetKeyboardFocus(window, &focus);
    HIViewSetVisible(b.editor, false);
    if (focus == b.editor)
        SetKeyboardFocus(window, b.view, kControlFocusNextPart);
    Hold hold(&b);
    if (commit && text && b.items.count(item) && b.callbacks.u.v1.itemDataCallback) {
        OpaqueDataBrowserItemData data;
        data.item = item;
        data.property = property;
        data.hasText = true;
        data.text = CFStringCreateCopy(nullptr, text);
        b.callbacks.u.v1.itemDataCallback(b.view, item, property, &data, true);
    }
    if (text)
        CFRelease(text);
    if (hold.Alive())
        Notify(b, item, kDataBrowserEditStopped);
    if (hold.Alive())
        Redraw(b);
}

OSStatus EditorHandler(EventHandlerCallRef, EventRef event, void* refCon)
{
    auto* view = static_cast<HIViewRef>(refCon);
    Browser* b = BrowserOf(view);
    if (!b || b->editItem == kDataBrowserNoItem)
        return eventNotHandledErr;
    const UInt32 eventClass = GetEventClass(event);
    const UInt32 kind = GetEventKind(event);
    if (eventClass == kEventClassTextField && kind == kEventTextAccepted) {
        EndEdit(*b, true);
        return noErr;
    }
    if (eventClass == kEventClassKeyboard && kind == kEventRawKeyDown) {
        UInt32 code = 0;
        GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof code, nullptr, &code);
        if (code == kVK_Escape) {
            EndEdit(*b, false);
            return noErr;
        }
        return eventNotHandledErr;
    }
    if (eventClass == kEventClassControl && kind == kEventControlSetFocusPart) {
        ControlPartCode part = 0;
        GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
        if (part == 0)
            EndEdit(*b, true);  // the focus went elsewhere
    }
    return eventNotHandledErr;
}

HIRect EditorFrame(Browser& b)
{
    const Column* column = ColumnOf(b, b.editProperty);
    HIRect part = CGRectZero;
    const int row = RowOf(b, b.editItem);
    if (!column || !PartBounds(b, row, *column,
                               column->type == kDataBrowserCustomType ? kDataBrowserPropertyContentPart
                                                                      : kDataBrowserPropertyTextPart,
                               &part))
        return CGRectZero;
    // A field a little taller than the row, so its frame does not cut the text.
    return CGRectMake(part.origin.x - 2, part.origin.y - 1, part.size.width + 4, part.size.height + 2);
}

void PlaceEditor(Browser& b)
{
    if (!b.editor || b.editItem == kDataBrowserNoItem)
        return;
    const HIRect frame = EditorFrame(b);
    HIViewSetFrame(b.editor, &frame);
}

OSStatus StartEdit(Browser& b, DataBrowserItemID item, DataBrowserPropertyID property)
{
    const Column* column = ColumnOf(b, property);
    if (!column)
        return errDataBrowserPropertyNotFound;
    const int row = RowOf(b, item);
    if (row < 0)
        return errDataBrowserItemNotFound;
    Hold hold(&b);
    CFStringRef text = nullptr;
    if (column->type == kDataBrowserTextType || column->type == kDataBrowserIconAndTextType) {
        if (!AskFlag(b, item, kDataBrowserItemIsEditableProperty, true, property))
            return errDataBrowserPropertyNotSupported;
        OpaqueDataBrowserItemData data;
        if (hold.Alive() && Ask(b, item, property, data) == noErr && data.hasText && data.text)
            text = CFStringCreateCopy(nullptr, data.text);
    } else if (column->type == kDataBrowserCustomType && b.custom.u.v1.editTextCallback) {
        CFMutableStringRef custom = CFStringCreateMutable(nullptr, 0);
        HIRect part = CGRectZero;
        PartBounds(b, row, *column, kDataBrowserPropertyContentPart, &part);
        Rect max = {SInt16(part.origin.y), SInt16(part.origin.x), SInt16(CGRectGetMaxY(part)),
                    SInt16(CGRectGetMaxX(part))};
        Boolean shrink = false;
        if (!b.custom.u.v1.editTextCallback(b.view, item, property, custom, &max, &shrink)) {
            CFRelease(custom);
            return errDataBrowserPropertyNotSupported;
        }
        text = custom;
    } else {
        return errDataBrowserPropertyNotSupported;
    }
    if (!hold.Alive() || !b.items.count(item)) {
        if (text)
            CFRelease(text);
        return errDataBrowserItemNotFound;
    }
    EndEdit(b, true);
    if (!hold.Alive()) {
        if (text)
            CFRelease(text);
        return errDataBrowserItemNotFound;
    }
    if (!b.editor) {
        const Rect none = {0, 0, 0, 0};
        HIViewRef editor = nullptr;
        if (CreateEditUnicodeTextControl(nullptr, &none, nullptr, false, nullptr, &editor) != noErr) {
            if (text)
                CFRelease(text);
            return errDataBrowserNotConfigured;
        }
        HIViewSetVisible(editor, false);
        HIViewAddSubview(b.view, editor);
        CFRelease(editor);  // the browser holds it
        const EventTypeSpec types[] = {{kEventClassTextField, kEventTextAccepted},
                                       {kEventClassKeyboard, kEventRawKeyDown},
                                       {kEventClassControl, kEventControlSetFocusPart}};
        InstallEventHandler(GetControlEventTarget(editor), EditorHandler, 3, types, b.view, nullptr);
        b.editor = editor;
    }
    RevealDataBrowserItem(b.view, item, property, kDataBrowserRevealOnly);
    b.editItem = item;
    b.editProperty = property;
    PlaceEditor(b);
    CFStringRef shown = text ? text : CFSTR("");
    SetControlData(b.editor, 0, kControlEditTextCFStringTag, sizeof shown, &shown);
    if (text)
        CFRelease(text);
    HIViewSetVisible(b.editor, true);
    const ControlEditTextSelectionRec all = {0, 32767};
    SetControlData(b.editor, 0, kControlEditTextSelectionTag, sizeof all, &all);
    if (WindowRef window = HIViewGetWindow(b.view))
        SetKeyboardFocus(window, b.editor, kControlFocusNextPart);
    Notify(b, item, kDataBrowserEditStarted);
    if (hold.Alive())
        Redraw(b);
    return noErr;
}

// ---- items ----

std::vector<DataBrowserItemID>* ChildrenOf(Browser& b, DataBrowserItemID container)
{
    if (container == kDataBrowserNoItem || container == b.target)
        return &b.roots;
    auto found = b.items.find(container);
    return found == b.items.end() || !found->second.open ? nullptr : &found->second.children;
}

DataBrowserItemState StateOf(const Item& item)
{
    return (item.selected ? DataBrowserItemState(kDataBrowserItemIsSelected) : 0) |
           (item.open ? DataBrowserItemState(kDataBrowserContainerIsOpen) : 0);
}

bool Matches(DataBrowserItemState have, DataBrowserItemState want)
{
    return want == kDataBrowserItemAnyState || (have & want) == want;
}

// The items of a container in row order (children of open containers after
// their container when `recurse`).
void Collect(Browser& b, const std::vector<DataBrowserItemID>& ids, bool recurse, DataBrowserItemState state,
             std::vector<DataBrowserItemID>& out)
{
    for (DataBrowserItemID id : ids) {
        auto found = b.items.find(id);
        if (found == b.items.end())
            continue;
        if (Matches(StateOf(found->second), state))
            out.push_back(id);
        if (recurse)
            Collect(b, found->second.children, true, state, out);
    }
}

bool SortsBy(const Browser& b, DataBrowserPropertyID property)
{
    return b.callbacks.u.v1.itemCompareCallback && property != 0 && b.sortOrder != kDataBrowserOrderUndefined;
}

// Whether `one` goes before `two` in the order of the sort property.
bool Before(Browser& b, DataBrowserItemID one, DataBrowserItemID two, DataBrowserPropertyID property)
{
    if (b.sortOrder == kDataBrowserOrderDecreasing)
        return b.callbacks.u.v1.itemCompareCallback(b.view, two, one, property);
    return b.callbacks.u.v1.itemCompareCallback(b.view, one, two, property);
}

void SortChildren(Browser& b, std::vector<DataBrowserItemID>& ids)
{
    if (!SortsBy(b, b.sortProperty))
        return;
    std::vector<DataBrowserItemID> sorted = ids;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [&](DataBrowserItemID one, DataBrowserItemID two) { return Before(b, one, two, b.sortProperty); });
    ids = sorted;
    for (DataBrowserItemID id : sorted) {
        auto found = b.items.find(id);
        if (found != b.items.end() && !found->second.children.empty())
            SortChildren(b, found->second.children);
    }
}

void Resort(Browser& b)
{
    Hold hold(&b);
    SortChildren(b, b.roots);
    b.rowsDirty = true;
    Redraw(b);
}

// Deselects the items in the order given (those selected), then selects the
// others; one notification per item.
void ChangeSelection(Browser& b, const std::vector<DataBrowserItemID>& leave,
                     const std::vector<DataBrowserItemID>& join)
{
    Hold hold(&b);
    for (DataBrowserItemID id : leave) {
        auto found = b.items.find(id);
        if (found == b.items.end() || !found->second.selected)
            continue;
        found->second.selected = false;
        Notify(b, id, kDataBrowserItemDeselected);
        if (!hold.Alive())
            return;
    }
    for (DataBrowserItemID id : join) {
        auto found = b.items.find(id);
        if (found == b.items.end() || found->second.selected)
            continue;
        found->second.selected = true;
        Notify(b, id, kDataBrowserItemSelected);
        if (!hold.Alive())
            return;
    }
    Redraw(b);
}

std::vector<DataBrowserItemID> Selection(Browser& b)
{
    std::vector<DataBrowserItemID> out;
    Collect(b, b.roots, true, kDataBrowserItemIsSelected, out);
    return out;
}

// Removes one item: its children first (deepest first), its selection, then itself.
void RemoveItem(Browser& b, DataBrowserItemID id)
{
    auto found = b.items.find(id);
    if (found == b.items.end())
        return;
    const std::vector<DataBrowserItemID> children = found->second.children;
    for (auto child = children.rbegin(); child != children.rend() && !b.disposed; ++child)
        RemoveItem(b, *child);
    if (b.disposed)
        return;
    found = b.items.find(id);
    if (found == b.items.end())
        return;
    if (b.editItem == id)
        EndEdit(b, false);
    if (b.disposed)
        return;
    found = b.items.find(id);
    if (found == b.items.end())
        return;
    if (found->second.selected) {
        ChangeSelection(b, {id}, {});
        if (b.disposed)
            return;
        found = b.items.find(id);
        if (found == b.items.end())
            return;
    }
    const DataBrowserItemID container = found->second.container;
    if (std::vector<DataBrowserItemID>* siblings = ChildrenOf(b, container))
        siblings->erase(std::remove(siblings->begin(), siblings->end(), id), siblings->end());
    b.items.erase(id);
    b.rowsDirty = true;
    Notify(b, id, kDataBrowserItemRemoved);
}

OSStatus OpenContainer(Browser& b, DataBrowserItemID id)
{
    auto found = b.items.find(id);
    if (found == b.items.end())
        return errDataBrowserItemNotFound;
    if (found->second.open)
        return noErr;
    Hold hold(&b);
    if (!IsContainer(b, id))
        return errDataBrowserItemNotFound;
    found = b.items.find(id);
    if (!hold.Alive() || found == b.items.end())
        return errDataBrowserItemNotFound;
    found->second.open = true;
    b.rowsDirty = true;
    Notify(b, id, kDataBrowserContainerOpened);
    if (hold.Alive()) {
        ClampScroll(b);
        PlaceEditor(b);
        Redraw(b);
    }
    return noErr;
}

OSStatus CloseContainer(Browser& b, DataBrowserItemID id)
{
    auto found = b.items.find(id);
    if (found == b.items.end())
        return errDataBrowserItemNotFound;
    if (!found->second.open)
        return noErr;
    Hold hold(&b);
    Notify(b, id, kDataBrowserContainerClosing);
    found = b.items.find(id);
    if (!hold.Alive() || found == b.items.end())
        return noErr;
    const std::vector<DataBrowserItemID> children = found->second.children;
    for (auto child = children.rbegin(); child != children.rend() && hold.Alive(); ++child)
        RemoveItem(b, *child);
    if (!hold.Alive())
        return noErr;
    found = b.items.find(id);
    if (found != b.items.end()) {
        found->second.open = false;
        found->second.children.clear();
    }
    b.rowsDirty = true;
    Notify(b, id, kDataBrowserContainerClosed);
    if (hold.Alive()) {
        ClampScroll(b);
        PlaceEditor(b);
        Redraw(b);
    }
    return noErr;
}

// ---- the user ----

bool Selectable(Browser& b, DataBrowserItemID id)
{
    return AskFlag(b, id, kDataBrowserItemIsSelectableProperty, true);
}

// Makes the selection exactly `wanted` (row order kept for notifications).
void AssignSelection(Browser& b, const std::vector<DataBrowserItemID>& wanted)
{
    std::vector<DataBrowserItemID> leave;
    for (DataBrowserItemID id : Selection(b))
        if (std::find(wanted.begin(), wanted.end(), id) == wanted.end())
            leave.push_back(id);
    ChangeSelection(b, leave, wanted);
}

void UserChangedSelection(Browser& b, const std::vector<DataBrowserItemID>& before)
{
    if (!b.disposed && Selection(b) != before)
        Notify(b, kDataBrowserNoItem, kDataBrowserSelectionSetChanged);
}

// A click on a row's item: selection by the modifiers.
void ClickItem(Browser& b, DataBrowserItemID id, UInt32 modifiers)
{
    Hold hold(&b);
    const std::vector<DataBrowserItemID> before = Selection(b);
    b.narrowOnRelease = false;
    if (!Selectable(b, id) || !hold.Alive())
        return;
    const bool onlyOne = b.selectionFlags & kDataBrowserSelectOnlyOne;
    if (!onlyOne && (modifiers & shiftKey) && !before.empty()) {
        // From the first selected row to this one.
        int from = RowOf(b, before.front());
        int to = RowOf(b, id);
        if (from > to)
            std::swap(from, to);
        std::vector<DataBrowserItemID> range;
        const std::vector<Row> rows = Rows(b);
        for (int row = std::max(from, 0); row <= to; ++row)
            range.push_back(rows[size_t(row)].item);
        if (b.selectionFlags & kDataBrowserAlwaysExtendSelection)
            ChangeSelection(b, {}, range);
        else
            AssignSelection(b, range);
    } else if (!onlyOne && (modifiers & cmdKey)) {
        const bool selected = b.items[id].selected;
        if (selected && (before.size() > 1 || !(b.selectionFlags & kDataBrowserNeverEmptySelectionSet)))
            ChangeSelection(b, {id}, {});
        else if (!selected)
            ChangeSelection(b, {}, {id});
    } else if (b.items[id].selected && before.size() > 1) {
        b.narrowOnRelease = true;  // a drag takes them all; a plain click keeps this one
    } else {
        AssignSelection(b, {id});
    }
    if (hold.Alive())
        UserChangedSelection(b, before);
}

void ClickHeader(Browser& b, HIPoint point)
{
    for (const Column& column : b.columns) {
        const CGFloat left = ColumnLeft(b, column);
        if (point.x < left || point.x >= left + column.width)
            continue;
        if (!(column.flags & kDataBrowserListViewSortableColumn))
            return;
        if (b.sortProperty == column.property)
            SetDataBrowserSortOrder(b.view, b.sortOrder == kDataBrowserOrderDecreasing ? kDataBrowserOrderIncreasing
                                                                                       : kDataBrowserOrderDecreasing);
        else
            SetDataBrowserSortProperty(b.view, column.property);
        return;
    }
}

ControlPartCode HitTestBrowser(HIViewRef view, HIPoint point)
{
    HIRect bounds = CGRectZero;
    HIViewGetBounds(view, &bounds);
    return CGRectContainsPoint(bounds, point) ? kControlButtonPart : kControlNoPart;
}

ControlPartCode PressBrowser(HIViewRef view, HIPoint point, ControlPartCode, UInt32 modifiers)
{
    Browser* b = BrowserOf(view);
    if (!b)
        return kControlNoPart;
    Hold hold(b);
    const UInt32 clicks = b->clickCount;
    b->clickCount = 1;
    b->pressedItem = kDataBrowserNoItem;
    b->narrowOnRelease = false;
    b->dragStarted = false;
    b->pressPoint = point;
    EndEdit(*b, true);
    if (!hold.Alive())
        return kControlNoPart;
    if (point.y < b->headerHeight) {
        ClickHeader(*b, point);
        return kControlNoPart;
    }
    const int row = RowAt(*b, point.y);
    if (row < 0) {
        const std::vector<DataBrowserItemID> before = Selection(*b);
        if (!(modifiers & (shiftKey | cmdKey)) && !(b->selectionFlags & kDataBrowserNeverEmptySelectionSet)) {
            ChangeSelection(*b, before, {});
            if (hold.Alive())
                UserChangedSelection(*b, before);
        }
        return kControlNoPart;
    }
    const DataBrowserItemID item = Rows(*b)[size_t(row)].item;
    // The disclosure triangle, and check boxes the user may change.
    for (const Column& column : b->columns) {
        HIRect part = CGRectZero;
        if (column.property == b->disclosure &&
            PartBounds(*b, row, column, kDataBrowserPropertyDisclosurePart, &part) &&
            CGRectContainsPoint(CGRectInset(part, -2, -2), point)) {
            if (!hold.Alive())
                return kControlNoPart;
            Notify(*b, item, kDataBrowserUserToggledContainer);
            if (hold.Alive() && b->items.count(item)) {
                if (b->items[item].open)
                    CloseContainer(*b, item);
                else
                    OpenContainer(*b, item);
            }
            return kControlNoPart;
        }
        if (column.type == kDataBrowserCheckboxType && (column.flags & kDataBrowserPropertyIsMutable) &&
            PartBounds(*b, row, column, kDataBrowserPropertyCheckboxPart, &part) && CGRectContainsPoint(part, point)) {
            OpaqueDataBrowserItemData now;
            ThemeButtonValue value = kThemeButtonOff;
            if (Ask(*b, item, column.property, now) == noErr)
                value = ButtonValueOf(now);
            if (!hold.Alive() || !b->items.count(item))
                return kControlNoPart;
            OpaqueDataBrowserItemData next;
            next.item = item;
            next.property = column.property;
            next.hasButton = true;
            next.button = value == kThemeButtonOn ? kThemeButtonOff : kThemeButtonOn;
            if (b->callbacks.u.v1.itemDataCallback)
                b->callbacks.u.v1.itemDataCallback(view, item, column.property, &next, true);
            if (hold.Alive())
                Redraw(*b);
            return kControlNoPart;
        }
    }
    // A custom cell may refuse the click (it is then on nothing).
    for (const Column& column : b->columns) {
        HIRect cell = CGRectZero;
        if (column.type != kDataBrowserCustomType || !b->custom.u.v1.hitTestCallback ||
            !PartBounds(*b, row, column, kDataBrowserPropertyEnclosingPart, &cell) || !CGRectContainsPoint(cell, point))
            continue;
        const Rect r = {SInt16(cell.origin.y), SInt16(cell.origin.x), SInt16(CGRectGetMaxY(cell)),
                        SInt16(CGRectGetMaxX(cell))};
        const Rect mouse = {SInt16(point.y), SInt16(point.x), SInt16(point.y + 1), SInt16(point.x + 1)};
        if (!b->custom.u.v1.hitTestCallback(view, item, column.property, &r, &mouse))
            return kControlNoPart;
        if (!hold.Alive())
            return kControlNoPart;
        if (b->custom.u.v1.trackingCallback) {
            const Point start = {SInt16(point.y), SInt16(point.x)};
            if (b->custom.u.v1.trackingCallback(view, item, column.property, &r, start, modifiers) ==
                kDataBrowserStopTracking)
                return kControlNoPart;
            if (!hold.Alive())
                return kControlNoPart;
        }
    }
    if (!b->items.count(item))
        return kControlNoPart;
    if (clicks >= 2 && b->items[item].selected) {
        Notify(*b, item, kDataBrowserItemDoubleClicked);
        return kControlNoPart;
    }
    ClickItem(*b, item, modifiers);
    if (!hold.Alive())
        return kControlNoPart;
    b->pressedItem = item;
    return kHIViewKeepTracking;
}

// Drags the selected rows: each item adds its flavours through the callback.
void DragRows(Browser& b)
{
    Hold hold(&b);
    DragRef drag = nullptr;
    if (NewDrag(&drag) != noErr)
        return;
    bool any = false;
    for (DataBrowserItemID id : Selection(b)) {
        if (!b.items.count(id))
            continue;
        ItemReference reference = id;
        if (b.callbacks.u.v1.addDragItemCallback && b.callbacks.u.v1.addDragItemCallback(b.view, drag, id, &reference))
            any = true;
        if (!hold.Alive())
            break;
    }
    if (any && hold.Alive()) {
        HIPoint global = b.pressPoint;
        HIPointConvert(&global, kHICoordSpaceView, b.view, kHICoordSpaceScreenPixel, nullptr);
        const EventRecord start = {mouseDown, 0, 0, {SInt16(global.y), SInt16(global.x)}, 0};
        const OSErr result = TrackDrag(drag, &start, nullptr);
        if (hold.Alive() && b.callbacks.u.v1.postProcessDragCallback)
            b.callbacks.u.v1.postProcessDragCallback(b.view, drag, result);
    }
    DisposeDrag(drag);
    if (hold.Alive())
        b.pressedItem = kDataBrowserNoItem;
}

DataBrowserItemID ItemUnderDrag(Browser& b, DragRef drag)
{
    Point mouse = {};
    if (GetDragMouse(drag, &mouse, nullptr) != noErr)
        return kDataBrowserNoItem;
    HIPoint point = {CGFloat(mouse.h), CGFloat(mouse.v)};
    HIPointConvert(&point, kHICoordSpaceScreenPixel, nullptr, kHICoordSpaceView, b.view);
    const int row = RowAt(b, point.y);
    return row < 0 ? kDataBrowserNoItem : Rows(b)[size_t(row)].item;
}

void AskAccept(Browser& b, DragRef drag, DataBrowserItemID item)
{
    b.dropItem = item;
    b.dropAccepted = false;
    Hold hold(&b);
    const bool accepted = b.callbacks.u.v1.acceptDragCallback(b.view, drag, item);
    if (hold.Alive()) {
        b.dropAccepted = accepted;
        Redraw(b);
    }
}

// Drags arriving over the browser.
OSStatus DropHandler(EventHandlerCallRef, EventRef event, void* refCon)
{
    Browser* b = BrowserOf(static_cast<HIViewRef>(refCon));
    if (!b || !b->callbacks.u.v1.acceptDragCallback)
        return eventNotHandledErr;
    DragRef drag = nullptr;
    GetEventParameter(event, kEventParamDragRef, typeDragRef, nullptr, sizeof drag, nullptr, &drag);
    const DataBrowserItemID item = ItemUnderDrag(*b, drag);
    switch (GetEventKind(event)) {
    case kEventControlDragEnter: {
        AskAccept(*b, drag, item);
        const Boolean tracks = true;  // the browser follows it row by row
        SetEventParameter(event, kEventParamControlWouldAcceptDrop, typeBoolean, sizeof tracks, &tracks);
        return noErr;
    }
    case kEventControlDragWithin:
        if (item != b->dropItem)
            AskAccept(*b, drag, item);
        return noErr;
    case kEventControlDragLeave:
        b->dropItem = kDataBrowserNoItem;
        b->dropAccepted = false;
        Redraw(*b);
        return noErr;
    case kEventControlDragReceive: {
        if (item != b->dropItem)
            AskAccept(*b, drag, item);
        if (!BrowserOf(static_cast<HIViewRef>(refCon)))
            return dragNotAcceptedErr;
        const bool accepted = b->dropAccepted;
        b->dropItem = kDataBrowserNoItem;
        b->dropAccepted = false;
        Redraw(*b);
        Hold hold(b);
        const bool received = accepted && b->callbacks.u.v1.receiveDragCallback &&
                              b->callbacks.u.v1.receiveDragCallback(b->view, drag, item);
        return received ? noErr : dragNotAcceptedErr;
    }
    default:
        return eventNotHandledErr;
    }
}

void DragBrowser(HIViewRef view, HIPoint point, ControlPartCode)
{
    Browser* b = BrowserOf(view);
    if (!b || b->pressedItem == kDataBrowserNoItem || b->dragStarted)
        return;
    if (std::abs(point.x - b->pressPoint.x) + std::abs(point.y - b->pressPoint.y) < 4)
        return;
    // Moving away from the row: what follows is a drag, not a click.
    b->dragStarted = true;
    b->narrowOnRelease = false;
    if (b->callbacks.u.v1.addDragItemCallback)
        DragRows(*b);
}

ControlPartCode ReleaseBrowser(HIViewRef view, HIPoint, ControlPartCode, UInt32)
{
    Browser* b = BrowserOf(view);
    if (!b)
        return kControlNoPart;
    Hold hold(b);
    const DataBrowserItemID item = b->pressedItem;
    b->pressedItem = kDataBrowserNoItem;
    if (b->narrowOnRelease && b->items.count(item)) {
        b->narrowOnRelease = false;
        const std::vector<DataBrowserItemID> before = Selection(*b);
        AssignSelection(*b, {item});
        if (hold.Alive())
            UserChangedSelection(*b, before);
    }
    return kControlNoPart;
}

OSStatus KeyBrowser(HIViewRef view, EventRef event)
{
    Browser* b = BrowserOf(view);
    if (!b)
        return eventNotHandledErr;
    UInt32 code = 0;
    UInt32 modifiers = 0;
    GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof code, nullptr, &code);
    GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
    if (code != kVK_UpArrow && code != kVK_DownArrow)
        return eventNotHandledErr;
    Hold hold(b);
    const std::vector<DataBrowserItemID> before = Selection(*b);
    const std::vector<Row>& rows = Rows(*b);
    if (rows.empty())
        return noErr;
    int row = 0;
    if (!before.empty()) {
        row = RowOf(*b, code == kVK_UpArrow ? before.front() : before.back()) + (code == kVK_UpArrow ? -1 : 1);
        row = std::clamp(row, 0, int(rows.size()) - 1);
    }
    const DataBrowserItemID item = rows[size_t(row)].item;
    if (modifiers & shiftKey)
        ChangeSelection(*b, {}, {item});
    else
        AssignSelection(*b, {item});
    if (hold.Alive())
        RevealDataBrowserItem(view, item, 0, kDataBrowserRevealOnly);
    if (hold.Alive())
        UserChangedSelection(*b, before);
    return noErr;
}

OSStatus SetBrowserData(HIViewRef view, ControlPartCode, ResType tag, Size size, const void* data)
{
    Browser* b = BrowserOf(view);
    if (!b)
        return errUnknownControl;
    if (tag != kControlDataBrowserIncludesFrameAndFocusTag)
        return errDataNotSupported;
    if (!data || size < 1)
        return errDataSizeMismatch;
    b->drawsFrame = static_cast<const UInt8*>(data)[0] != 0;
    Redraw(*b);
    return noErr;
}

OSStatus GetBrowserData(HIViewRef view, ControlPartCode, ResType tag, Size bufferSize, void* buffer, Size* actualSize)
{
    Browser* b = BrowserOf(view);
    if (!b)
        return errUnknownControl;
    if (tag != kControlDataBrowserIncludesFrameAndFocusTag)
        return errDataNotSupported;
    const Boolean value = b->drawsFrame;
    if (buffer && bufferSize < Size(sizeof value))
        return errDataSizeMismatch;
    if (buffer)
        *static_cast<Boolean*>(buffer) = value;
    if (actualSize)
        *actualSize = sizeof value;
    return noErr;
}

// The click count reaches the kind's press through the browser's state.
OSStatus ClickHandler(EventHandlerCallRef, EventRef event, void* refCon)
{
    if (Browser* b = BrowserOf(static_cast<HIViewRef>(refCon))) {
        UInt32 clicks = 1;
        GetEventParameter(event, kEventParamClickCount, typeUInt32, nullptr, sizeof clicks, nullptr, &clicks);
        b->clickCount = clicks;
    }
    return eventNotHandledErr;
}

OSStatus WheelHandler(EventHandlerCallRef, EventRef event, void* refCon)
{
    Browser* b = BrowserOf(static_cast<HIViewRef>(refCon));
    if (!b)
        return eventNotHandledErr;
    SInt32 delta = 0;
    GetEventParameter(event, kEventParamMouseWheelDelta, typeSInt32, nullptr, sizeof delta, nullptr, &delta);
    const SInt64 top = SInt64(b->scrollTop) - SInt64(delta) * b->rowHeight * 3;
    SetDataBrowserScrollPosition(b->view, UInt32(std::max<SInt64>(0, top)), b->scrollLeft);
    return noErr;
}

void Warn(Browser& b)
{
    if (b.warnedColumnView)
        return;
    b.warnedColumnView = true;
    Diagnostics::WriteLine("Warning: the data browser has no column view; it shows a list view.");
}

}  // namespace

// ---- registration and creation ----

void HIToolboxRegisterDataBrowserKind()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    HIToolboxRegisterControlKinds();
    HIToolboxRegisterHostedViewKinds();
    HIViewKindBehaviour kind{};
    kind.kind = {kControlKindSignatureApple, kControlKindDataBrowser};
    kind.draw = DrawBrowser;
    kind.hitTest = HitTestBrowser;
    kind.press = PressBrowser;
    kind.drag = DragBrowser;
    kind.release = ReleaseBrowser;
    kind.setData = SetBrowserData;
    kind.getData = GetBrowserData;
    kind.focusable = true;
    kind.key = KeyBrowser;
    kind.dispose = DisposeBrowser;
    HIViewRegisterKind(kind);
    HIToolboxRegisterDataBrowserNibKind();
}

OSStatus InitDataBrowserCallbacks(DataBrowserCallbacks* callbacks)
{
    if (!callbacks)
        return paramErr;
    *callbacks = DataBrowserCallbacks{};
    callbacks->version = kDataBrowserLatestCallbacks;
    return noErr;
}

OSStatus InitDataBrowserCustomCallbacks(DataBrowserCustomCallbacks* callbacks)
{
    if (!callbacks)
        return paramErr;
    *callbacks = DataBrowserCustomCallbacks{};
    callbacks->version = kDataBrowserLatestCustomCallbacks;
    return noErr;
}

OSStatus CreateDataBrowserControl(WindowRef window, const Rect* boundsRect, DataBrowserViewStyle style,
                                  ControlRef* outControl)
{
    if (!outControl || !boundsRect || (window && !IsValidWindowPtr(window)))
        return paramErr;
    if (style != kDataBrowserListView && style != kDataBrowserColumnView && style != kDataBrowserNoView)
        return paramErr;
    HIToolboxRegisterDataBrowserKind();
    const HIRect frame = CGRectMake(boundsRect->left, boundsRect->top, boundsRect->right - boundsRect->left,
                                    boundsRect->bottom - boundsRect->top);
    HIViewRef view = HIViewCreateOfKind(kControlKindDataBrowser, window, frame);
    auto* b = new Browser;
    b->view = view;
    LiveBrowsers().insert(b);
    HIViewSetKindData(view, b);
    const EventTypeSpec click = {kEventClassControl, kEventControlClick};
    InstallEventHandler(GetControlEventTarget(view), ClickHandler, 1, &click, view, nullptr);
    const EventTypeSpec wheel = {kEventClassMouse, kEventMouseWheelMoved};
    InstallEventHandler(GetControlEventTarget(view), WheelHandler, 1, &wheel, view, nullptr);
    const EventTypeSpec drops[] = {{kEventClassControl, kEventControlDragEnter},
                                   {kEventClassControl, kEventControlDragWithin},
                                   {kEventClassControl, kEventControlDragLeave},
                                   {kEventClassControl, kEventControlDragReceive}};
    InstallEventHandler(GetControlEventTarget(view), DropHandler, 4, drops, view, nullptr);
    SetControlDragTrackingEnabled(view, true);
    if (style == kDataBrowserColumnView)
        Warn(*b);
    if (window && HIViewGetSuperview(view))
        CFRelease(view);  // the window's now
    *outControl = view;
    return noErr;
}

// ---- configuration ----

OSStatus SetDataBrowserViewStyle(ControlRef browser, DataBrowserViewStyle style)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (style == kDataBrowserColumnView)
        Warn(*b);
    else if (style != kDataBrowserListView)
        return paramErr;
    return noErr;
}

OSStatus GetDataBrowserViewStyle(ControlRef browser, DataBrowserViewStyle* style)
{
    if (!BrowserOf(browser))
        return errUnknownControl;
    if (!style)
        return paramErr;
    *style = kDataBrowserListView;
    return noErr;
}

OSStatus DataBrowserChangeAttributes(ControlRef browser, OptionBits attributesToSet, OptionBits attributesToClear)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    b->attributes = (b->attributes | attributesToSet) & ~attributesToClear;
    Redraw(*b);
    return noErr;
}

OSStatus DataBrowserGetAttributes(ControlRef browser, OptionBits* attributes)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!attributes)
        return paramErr;
    *attributes = b->attributes;
    return noErr;
}

OSStatus SetDataBrowserCallbacks(ControlRef browser, const DataBrowserCallbacks* callbacks)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!callbacks || callbacks->version != kDataBrowserLatestCallbacks)
        return paramErr;
    b->callbacks = *callbacks;
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserCallbacks(ControlRef browser, DataBrowserCallbacks* callbacks)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!callbacks)
        return paramErr;
    *callbacks = b->callbacks;
    return noErr;
}

OSStatus SetDataBrowserCustomCallbacks(ControlRef browser, const DataBrowserCustomCallbacks* callbacks)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!callbacks || callbacks->version != kDataBrowserLatestCustomCallbacks)
        return paramErr;
    b->custom = *callbacks;
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserCustomCallbacks(ControlRef browser, DataBrowserCustomCallbacks* callbacks)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!callbacks)
        return paramErr;
    *callbacks = b->custom;
    return noErr;
}

OSStatus SetDataBrowserHasScrollBars(ControlRef browser, Boolean horizontal, Boolean vertical)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    b->horizontalScrollBar = horizontal;
    b->verticalScrollBar = vertical;
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserHasScrollBars(ControlRef browser, Boolean* horizontal, Boolean* vertical)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (horizontal)
        *horizontal = b->horizontalScrollBar;
    if (vertical)
        *vertical = b->verticalScrollBar;
    return noErr;
}

OSStatus SetDataBrowserSelectionFlags(ControlRef browser, DataBrowserSelectionFlags selectionFlags)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    b->selectionFlags = selectionFlags;
    return noErr;
}

OSStatus GetDataBrowserSelectionFlags(ControlRef browser, DataBrowserSelectionFlags* selectionFlags)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!selectionFlags)
        return paramErr;
    *selectionFlags = b->selectionFlags;
    return noErr;
}

OSStatus SetDataBrowserSortProperty(ControlRef browser, DataBrowserPropertyID property)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (property != 0 && !ColumnOf(*b, property))
        return errDataBrowserPropertyNotFound;
    if (b->sortProperty != property) {
        b->sortProperty = property;
        Resort(*b);
    }
    return noErr;
}

OSStatus GetDataBrowserSortProperty(ControlRef browser, DataBrowserPropertyID* property)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!property)
        return paramErr;
    *property = b->sortProperty;
    return noErr;
}

OSStatus SetDataBrowserSortOrder(ControlRef browser, DataBrowserSortOrder order)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (order > kDataBrowserOrderDecreasing)
        return paramErr;
    if (b->sortOrder != order) {
        b->sortOrder = order;
        Resort(*b);
    }
    return noErr;
}

OSStatus GetDataBrowserSortOrder(ControlRef browser, DataBrowserSortOrder* order)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!order)
        return paramErr;
    *order = b->sortOrder;
    return noErr;
}

OSStatus SetDataBrowserTableViewHiliteStyle(ControlRef browser, DataBrowserTableViewHiliteStyle hiliteStyle)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (hiliteStyle > kDataBrowserTableViewFillHilite)
        return paramErr;
    b->hiliteStyle = hiliteStyle;
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserTableViewHiliteStyle(ControlRef browser, DataBrowserTableViewHiliteStyle* hiliteStyle)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!hiliteStyle)
        return paramErr;
    *hiliteStyle = b->hiliteStyle;
    return noErr;
}

OSStatus SetDataBrowserListViewUsePlainBackground(ControlRef browser, Boolean usePlainBackground)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    b->plainBackground = usePlainBackground;
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserListViewUsePlainBackground(ControlRef browser, Boolean* usePlainBackground)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!usePlainBackground)
        return paramErr;
    *usePlainBackground = b->plainBackground;
    return noErr;
}

OSStatus SetDataBrowserMetric(ControlRef browser, DataBrowserMetric metric, Boolean useDefaultValue, CGFloat value)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (metric < kDataBrowserMetricCellContentInset || metric > kDataBrowserMetricDisclosureColumnPerDepthGap ||
        !std::isfinite(value) || value < 0)
        return paramErr;
    b->metricSet[metric] = !useDefaultValue;
    b->metrics[metric] = useDefaultValue ? 0 : value;
    PlaceEditor(*b);
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserMetric(ControlRef browser, DataBrowserMetric metric, Boolean* outUsingDefaultValue,
                              CGFloat* outValue)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (metric < kDataBrowserMetricCellContentInset || metric > kDataBrowserMetricDisclosureColumnPerDepthGap)
        return paramErr;
    if (outUsingDefaultValue)
        *outUsingDefaultValue = !b->metricSet[metric];
    if (outValue)
        *outValue = Metric(*b, metric);
    return noErr;
}

// ---- columns ----

OSStatus AddDataBrowserListViewColumn(ControlRef browser, DataBrowserListViewColumnDesc* columnDesc,
                                      DataBrowserTableViewColumnIndex position)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!columnDesc || columnDesc->propertyDesc.propertyID == 0 || ColumnOf(*b, columnDesc->propertyDesc.propertyID))
        return paramErr;
    const DataBrowserPropertyType type = columnDesc->propertyDesc.propertyType;
    if (type != kDataBrowserTextType && type != kDataBrowserIconType && type != kDataBrowserIconAndTextType &&
        type != kDataBrowserCheckboxType && type != kDataBrowserCustomType)
        return errDataBrowserPropertyNotSupported;
    Column column;
    column.property = columnDesc->propertyDesc.propertyID;
    column.type = type;
    column.flags = columnDesc->propertyDesc.propertyFlags;
    const DataBrowserListViewHeaderDesc& header = columnDesc->headerBtnDesc;
    column.minimumWidth = header.minimumWidth;
    column.maximumWidth = header.maximumWidth ? header.maximumWidth : 0xFFFF;
    if (column.maximumWidth < column.minimumWidth)
        column.maximumWidth = column.minimumWidth;
    column.width =
        std::clamp<UInt16>(header.minimumWidth ? header.minimumWidth : 100, column.minimumWidth, column.maximumWidth);
    if (header.titleString && CFGetTypeID(header.titleString) == CFStringGetTypeID())
        column.title = CFStringCreateCopy(nullptr, header.titleString);
    column.order = header.initialOrder;
    const size_t at = position >= b->columns.size() ? b->columns.size() : size_t(position);
    b->columns.insert(b->columns.begin() + long(at), column);
    PlaceEditor(*b);
    Redraw(*b);
    return noErr;
}

OSStatus RemoveDataBrowserTableViewColumn(ControlRef browser, DataBrowserTableViewColumnID column)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    auto found =
        std::find_if(b->columns.begin(), b->columns.end(), [&](const Column& c) { return c.property == column; });
    if (found == b->columns.end())
        return errDataBrowserPropertyNotFound;
    if (b->editProperty == column)
        EndEdit(*b, false);
    b = BrowserOf(browser);
    if (!b)
        return noErr;
    found = std::find_if(b->columns.begin(), b->columns.end(), [&](const Column& c) { return c.property == column; });
    if (found != b->columns.end()) {
        if (found->title)
            CFRelease(found->title);
        b->columns.erase(found);
    }
    if (b->disclosure == column)
        b->disclosure = 0;
    if (b->sortProperty == column)
        b->sortProperty = 0;
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserTableViewColumnCount(ControlRef browser, UInt32* numColumns)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!numColumns)
        return paramErr;
    *numColumns = UInt32(b->columns.size());
    return noErr;
}

OSStatus GetDataBrowserTableViewColumnProperty(ControlRef browser, DataBrowserTableViewColumnIndex column,
                                               DataBrowserTableViewColumnID* property)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!property)
        return paramErr;
    if (column >= b->columns.size())
        return errDataBrowserPropertyNotFound;
    *property = b->columns[column].property;
    return noErr;
}

OSStatus SetDataBrowserTableViewNamedColumnWidth(ControlRef browser, DataBrowserTableViewColumnID column, UInt16 width)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    for (Column& c : b->columns) {
        if (c.property == column) {
            c.width = std::clamp(width, c.minimumWidth, c.maximumWidth);
            ClampScroll(*b);
            PlaceEditor(*b);
            Redraw(*b);
            return noErr;
        }
    }
    return errDataBrowserPropertyNotFound;
}

OSStatus GetDataBrowserTableViewNamedColumnWidth(ControlRef browser, DataBrowserTableViewColumnID column, UInt16* width)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!width)
        return paramErr;
    const Column* c = ColumnOf(*b, column);
    if (!c)
        return errDataBrowserPropertyNotFound;
    *width = c->width;
    return noErr;
}

OSStatus SetDataBrowserListViewHeaderBtnHeight(ControlRef browser, UInt16 height)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    b->headerHeight = height;
    ClampScroll(*b);
    PlaceEditor(*b);
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserListViewHeaderBtnHeight(ControlRef browser, UInt16* height)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!height)
        return paramErr;
    *height = b->headerHeight;
    return noErr;
}

OSStatus SetDataBrowserListViewDisclosureColumn(ControlRef browser, DataBrowserTableViewColumnID column,
                                                Boolean expandableRows)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (column != 0 && !ColumnOf(*b, column))
        return errDataBrowserPropertyNotFound;
    b->disclosure = column;
    b->expandableRows = expandableRows;
    PlaceEditor(*b);
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserListViewDisclosureColumn(ControlRef browser, DataBrowserTableViewColumnID* column,
                                                Boolean* expandableRows)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (column)
        *column = b->disclosure;
    if (expandableRows)
        *expandableRows = b->expandableRows;
    return noErr;
}

// ---- rows ----

OSStatus SetDataBrowserTableViewRowHeight(ControlRef browser, UInt16 height)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (height == 0)
        return paramErr;
    b->rowHeight = height;
    b->rowsDirty = true;
    ClampScroll(*b);
    PlaceEditor(*b);
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserTableViewRowHeight(ControlRef browser, UInt16* height)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!height)
        return paramErr;
    *height = b->rowHeight;
    return noErr;
}

OSStatus SetDataBrowserTableViewGeometry(ControlRef browser, Boolean variableWidthColumns, Boolean variableHeightRows)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    b->variableWidth = variableWidthColumns;
    b->variableHeight = variableHeightRows;
    b->rowsDirty = true;
    ClampScroll(*b);
    PlaceEditor(*b);
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserTableViewGeometry(ControlRef browser, Boolean* variableWidthColumns, Boolean* variableHeightRows)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (variableWidthColumns)
        *variableWidthColumns = b->variableWidth;
    if (variableHeightRows)
        *variableHeightRows = b->variableHeight;
    return noErr;
}

OSStatus SetDataBrowserTableViewItemRowHeight(ControlRef browser, DataBrowserItemID item, UInt16 height)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    auto found = b->items.find(item);
    if (found == b->items.end())
        return errDataBrowserItemNotFound;
    if (height == 0)
        return paramErr;
    found->second.height = height;
    b->rowsDirty = true;
    PlaceEditor(*b);
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserTableViewItemRowHeight(ControlRef browser, DataBrowserItemID item, UInt16* height)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!height)
        return paramErr;
    auto found = b->items.find(item);
    if (found == b->items.end())
        return errDataBrowserItemNotFound;
    *height = b->variableHeight && found->second.height ? found->second.height : b->rowHeight;
    return noErr;
}

OSStatus GetDataBrowserTableViewItemRow(ControlRef browser, DataBrowserItemID item, DataBrowserTableViewRowIndex* row)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!row)
        return paramErr;
    const int found = RowOf(*b, item);
    if (found < 0)
        return errDataBrowserItemNotFound;
    *row = DataBrowserTableViewRowIndex(found);
    return noErr;
}

OSStatus GetDataBrowserTableViewItemID(ControlRef browser, DataBrowserTableViewRowIndex row, DataBrowserItemID* item)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!item)
        return paramErr;
    const std::vector<Row>& rows = Rows(*b);
    if (row >= rows.size())
        return errDataBrowserItemNotFound;
    *item = rows[row].item;
    return noErr;
}

OSStatus SetDataBrowserScrollPosition(ControlRef browser, UInt32 top, UInt32 left)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    b->scrollTop = top;
    b->scrollLeft = left;
    ClampScroll(*b);
    PlaceEditor(*b);
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserScrollPosition(ControlRef browser, UInt32* top, UInt32* left)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!top || !left)
        return paramErr;
    *top = b->scrollTop;
    *left = b->scrollLeft;
    return noErr;
}

// ---- items ----

OSStatus AddDataBrowserItems(ControlRef browser, DataBrowserItemID container, ItemCount numItems,
                             const DataBrowserItemID* items, DataBrowserPropertyID preSortProperty)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (numItems > 0 && !items)
        return paramErr;
    if (!ChildrenOf(*b, container))
        return errDataBrowserItemNotFound;
    Hold hold(b);
    const std::vector<DataBrowserItemID> wanted(items, items + numItems);
    const DataBrowserPropertyID sortBy = preSortProperty ? preSortProperty : b->sortProperty;
    for (DataBrowserItemID id : wanted) {
        std::vector<DataBrowserItemID>* siblings = ChildrenOf(*b, container);
        if (!siblings)
            return errDataBrowserItemNotFound;  // the container closed meanwhile
        if (id == kDataBrowserNoItem || b->items.count(id))
            return errDataBrowserItemNotAdded;
        Item item;
        item.container = container == b->target ? kDataBrowserNoItem : container;
        b->items.emplace(id, item);
        auto at = siblings->end();
        if (SortsBy(*b, sortBy)) {
            const std::vector<DataBrowserItemID> current = *siblings;
            size_t index = current.size();
            for (size_t i = 0; i < current.size(); ++i) {
                if (Before(*b, id, current[i], sortBy)) {
                    index = i;
                    break;
                }
            }
            if (!hold.Alive())
                return noErr;
            siblings = ChildrenOf(*b, container);
            if (!siblings)
                return errDataBrowserItemNotFound;
            at = siblings->begin() + long(std::min(index, siblings->size()));
        }
        siblings->insert(at, id);
        b->rowsDirty = true;
        Notify(*b, id, kDataBrowserItemAdded);
        if (!hold.Alive())
            return noErr;
    }
    PlaceEditor(*b);
    Redraw(*b);
    return noErr;
}

OSStatus RemoveDataBrowserItems(ControlRef browser, DataBrowserItemID container, ItemCount numItems,
                                const DataBrowserItemID* items, DataBrowserPropertyID)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (numItems > 0 && !items)
        return paramErr;
    const std::vector<DataBrowserItemID>* siblings = ChildrenOf(*b, container);
    if (!siblings)
        return errDataBrowserItemNotFound;
    Hold hold(b);
    const std::vector<DataBrowserItemID> wanted =
        numItems > 0 ? std::vector<DataBrowserItemID>(items, items + numItems) : *siblings;
    const DataBrowserItemID inside = container == b->target ? kDataBrowserNoItem : container;
    for (DataBrowserItemID id : wanted) {
        auto found = b->items.find(id);
        if (found == b->items.end() || found->second.container != inside)
            return errDataBrowserItemNotFound;
        RemoveItem(*b, id);
        if (!hold.Alive())
            return noErr;
    }
    ClampScroll(*b);
    PlaceEditor(*b);
    Redraw(*b);
    return noErr;
}

OSStatus UpdateDataBrowserItems(ControlRef browser, DataBrowserItemID container, ItemCount numItems,
                                const DataBrowserItemID* items, DataBrowserPropertyID, DataBrowserPropertyID)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (numItems > 0 && !items)
        return paramErr;
    // The browser asks for every value it shows as it draws: updating is redrawing.
    for (ItemCount i = 0; i < numItems; ++i)
        if (!b->items.count(items[i]))
            return errDataBrowserItemNotFound;
    (void)container;
    Redraw(*b);
    return noErr;
}

OSStatus GetDataBrowserItemCount(ControlRef browser, DataBrowserItemID container, Boolean recurse,
                                 DataBrowserItemState state, ItemCount* numItems)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!numItems)
        return paramErr;
    const std::vector<DataBrowserItemID>* children = ChildrenOf(*b, container);
    if (!children) {
        if (!b->items.count(container))
            return errDataBrowserItemNotFound;
        *numItems = 0;  // a closed container holds nothing
        return noErr;
    }
    std::vector<DataBrowserItemID> found;
    Collect(*b, *children, recurse, state, found);
    *numItems = found.size();
    return noErr;
}

OSStatus ForEachDataBrowserItem(ControlRef browser, DataBrowserItemID container, Boolean recurse,
                                DataBrowserItemState state, DataBrowserItemUPP callback, void* clientData)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!callback)
        return paramErr;
    const std::vector<DataBrowserItemID>* children = ChildrenOf(*b, container);
    if (!children)
        return b->items.count(container) ? noErr : errDataBrowserItemNotFound;
    // A snapshot: the callback may change the list as it goes.
    std::vector<DataBrowserItemID> snapshot;
    Collect(*b, *children, recurse, state, snapshot);
    Hold hold(b);
    for (DataBrowserItemID id : snapshot) {
        auto found = b->items.find(id);
        if (found == b->items.end())
            continue;  // removed before its turn
        const DataBrowserItemState now = StateOf(found->second);
        if (!Matches(now, state))
            continue;
        callback(id, now, clientData);
        if (!hold.Alive())
            break;
    }
    return noErr;
}

OSStatus GetDataBrowserItemState(ControlRef browser, DataBrowserItemID item, DataBrowserItemState* state)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!state)
        return paramErr;
    auto found = b->items.find(item);
    if (found == b->items.end())
        return errDataBrowserItemNotFound;
    *state = StateOf(found->second) |
             (b->dropAccepted && b->dropItem == item ? DataBrowserItemState(kDataBrowserItemIsDragTarget) : 0);
    return noErr;
}

Boolean IsDataBrowserItemSelected(ControlRef browser, DataBrowserItemID item)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return false;
    auto found = b->items.find(item);
    return found != b->items.end() && found->second.selected;
}

OSStatus SetDataBrowserSelectedItems(ControlRef browser, ItemCount numItems, const DataBrowserItemID* items,
                                     DataBrowserSetOption operation)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if ((numItems > 0 && !items) || operation > kDataBrowserItemsRemove)
        return paramErr;
    Hold hold(b);
    std::vector<DataBrowserItemID> given;
    if (numItems == 0 && operation == kDataBrowserItemsAssign) {
        for (const Row& row : Rows(*b))
            given.push_back(row.item);
    } else {
        given.assign(items, items + numItems);
    }
    std::vector<DataBrowserItemID> known;
    for (DataBrowserItemID id : given) {
        if (!b->items.count(id) || std::find(known.begin(), known.end(), id) != known.end())
            continue;
        if (operation != kDataBrowserItemsRemove && !b->items[id].selected && !Selectable(*b, id))
            continue;
        if (!hold.Alive())
            return noErr;
        known.push_back(id);
    }
    const bool onlyOne = b->selectionFlags & kDataBrowserSelectOnlyOne;
    switch (operation) {
    case kDataBrowserItemsAssign:
        if (onlyOne && known.size() > 1)
            known = {known.back()};
        AssignSelection(*b, known);
        break;
    case kDataBrowserItemsAdd:
        if (onlyOne) {
            if (!known.empty())
                AssignSelection(*b, {known.back()});
        } else {
            ChangeSelection(*b, {}, known);
        }
        break;
    case kDataBrowserItemsRemove:
        ChangeSelection(*b, known, {});
        break;
    case kDataBrowserItemsToggle: {
        std::vector<DataBrowserItemID> leave, join;
        for (DataBrowserItemID id : known)
            (b->items[id].selected ? leave : join).push_back(id);
        if (onlyOne && !join.empty()) {
            AssignSelection(*b, {join.back()});
            break;
        }
        ChangeSelection(*b, leave, join);
        break;
    }
    default:
        break;
    }
    return noErr;
}

OSStatus GetDataBrowserSelectionAnchor(ControlRef browser, DataBrowserItemID* first, DataBrowserItemID* last)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!first || !last)
        return paramErr;
    const std::vector<DataBrowserItemID> selection = Selection(*b);
    *first = selection.empty() ? kDataBrowserNoItem : selection.front();
    *last = selection.empty() ? kDataBrowserNoItem : selection.back();
    return noErr;
}

OSStatus RevealDataBrowserItem(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID,
                               DataBrowserRevealOptions options)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    const int row = RowOf(*b, item);
    if (row < 0)
        return errDataBrowserItemNotFound;
    const Row& r = Rows(*b)[size_t(row)];
    const CGFloat visible = std::max<CGFloat>(0, ViewBounds(*b).size.height - b->headerHeight);
    CGFloat top = b->scrollTop;
    if (options & kDataBrowserRevealAndCenterInView)
        top = r.top + r.height / 2 - visible / 2;
    else if (r.top < top)
        top = r.top;
    else if (r.top + r.height > top + visible)
        top = r.top + r.height - visible;
    b->scrollTop = UInt32(std::max<CGFloat>(0, std::floor(top)));
    ClampScroll(*b);
    PlaceEditor(*b);
    Redraw(*b);
    return noErr;
}

OSStatus OpenDataBrowserContainer(ControlRef browser, DataBrowserItemID container)
{
    Browser* b = BrowserOf(browser);
    return b ? OpenContainer(*b, container) : errUnknownControl;
}

OSStatus CloseDataBrowserContainer(ControlRef browser, DataBrowserItemID container)
{
    Browser* b = BrowserOf(browser);
    return b ? CloseContainer(*b, container) : errUnknownControl;
}

OSStatus SetDataBrowserTarget(ControlRef browser, DataBrowserItemID target)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (b->target == target)
        return noErr;
    b->target = target;
    Notify(*b, target, kDataBrowserTargetChanged);
    return noErr;
}

OSStatus GetDataBrowserTarget(ControlRef browser, DataBrowserItemID* target)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!target)
        return paramErr;
    *target = b->target;
    return noErr;
}

OSStatus GetDataBrowserItemPartBounds(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property,
                                      DataBrowserPropertyPart part, Rect* bounds)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!bounds)
        return paramErr;
    const int row = RowOf(*b, item);
    if (row < 0)
        return errDataBrowserItemNotFound;
    const Column* column = ColumnOf(*b, property);
    if (!column)
        return errDataBrowserPropertyNotFound;
    HIRect r = CGRectZero;
    if (!PartBounds(*b, row, *column, part, &r))
        return errDataBrowserInvalidPropertyPart;
    bounds->left = SInt16(std::floor(r.origin.x));
    bounds->top = SInt16(std::floor(r.origin.y));
    bounds->right = SInt16(std::floor(CGRectGetMaxX(r)));
    bounds->bottom = SInt16(std::floor(CGRectGetMaxY(r)));
    return noErr;
}

// ---- editing ----

OSStatus SetDataBrowserEditItem(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (item == kDataBrowserNoItem) {
        EndEdit(*b, true);
        return noErr;
    }
    return StartEdit(*b, item, property);
}

OSStatus GetDataBrowserEditItem(ControlRef browser, DataBrowserItemID* item, DataBrowserPropertyID* property)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!item || !property)
        return paramErr;
    *item = b->editItem;
    *property = b->editProperty;
    return noErr;
}

OSStatus SetDataBrowserEditText(ControlRef browser, CFStringRef text)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!text || CFGetTypeID(text) != CFStringGetTypeID())
        return paramErr;
    if (b->editItem == kDataBrowserNoItem)
        return errDataBrowserNotConfigured;
    return SetControlData(b->editor, 0, kControlEditTextCFStringTag, sizeof text, &text);
}

OSStatus CopyDataBrowserEditText(ControlRef browser, CFStringRef* text)
{
    Browser* b = BrowserOf(browser);
    if (!b)
        return errUnknownControl;
    if (!text)
        return paramErr;
    if (b->editItem == kDataBrowserNoItem)
        return errDataBrowserNotConfigured;
    return GetControlData(b->editor, 0, kControlEditTextCFStringTag, sizeof *text, text, nullptr);
}

// ---- item data ----

namespace {

OpaqueDataBrowserItemData* AsItemData(DataBrowserItemDataRef itemData)
{
    return itemData;
}

}  // namespace

OSStatus SetDataBrowserItemDataText(DataBrowserItemDataRef itemData, CFStringRef theData)
{
    OpaqueDataBrowserItemData* d = AsItemData(itemData);
    if (!d || (theData && CFGetTypeID(theData) != CFStringGetTypeID()))
        return paramErr;
    CFStringRef copy = theData ? CFStringCreateCopy(nullptr, theData) : nullptr;
    if (d->text)
        CFRelease(d->text);
    d->text = copy;
    d->hasText = copy != nullptr;
    return noErr;
}

OSStatus GetDataBrowserItemDataText(DataBrowserItemDataRef itemData, CFStringRef* theData)
{
    OpaqueDataBrowserItemData* d = AsItemData(itemData);
    if (!d || !theData)
        return paramErr;
    if (!d->hasText || !d->text)
        return errDataBrowserInvalidPropertyData;
    *theData = CFStringCreateCopy(nullptr, d->text);
    return noErr;
}

OSStatus SetDataBrowserItemDataIcon(DataBrowserItemDataRef itemData, IconRef theData)
{
    OpaqueDataBrowserItemData* d = AsItemData(itemData);
    if (!d)
        return paramErr;
    if (theData && !IsValidIconRef(theData))
        return invalidIconRefErr;
    if (theData)
        AcquireIconRef(theData);
    if (d->icon)
        ReleaseIconRef(d->icon);
    d->icon = theData;
    d->hasIcon = theData != nullptr;
    return noErr;
}

OSStatus GetDataBrowserItemDataIcon(DataBrowserItemDataRef itemData, IconRef* theData)
{
    OpaqueDataBrowserItemData* d = AsItemData(itemData);
    if (!d || !theData)
        return paramErr;
    if (!d->hasIcon)
        return errDataBrowserInvalidPropertyData;
    *theData = d->icon;
    return noErr;
}

OSStatus SetDataBrowserItemDataButtonValue(DataBrowserItemDataRef itemData, ThemeButtonValue theData)
{
    OpaqueDataBrowserItemData* d = AsItemData(itemData);
    if (!d || theData < kThemeButtonOff || theData > kThemeButtonMixed)
        return paramErr;
    d->button = theData;
    d->hasButton = true;
    return noErr;
}

OSStatus GetDataBrowserItemDataButtonValue(DataBrowserItemDataRef itemData, ThemeButtonValue* theData)
{
    OpaqueDataBrowserItemData* d = AsItemData(itemData);
    if (!d || !theData)
        return paramErr;
    if (!d->hasButton)
        return errDataBrowserInvalidPropertyData;
    *theData = d->button;
    return noErr;
}

OSStatus SetDataBrowserItemDataBooleanValue(DataBrowserItemDataRef itemData, Boolean theData)
{
    OpaqueDataBrowserItemData* d = AsItemData(itemData);
    if (!d)
        return paramErr;
    d->boolean = theData != 0;
    d->hasBoolean = true;
    return noErr;
}

OSStatus GetDataBrowserItemDataBooleanValue(DataBrowserItemDataRef itemData, Boolean* theData)
{
    OpaqueDataBrowserItemData* d = AsItemData(itemData);
    if (!d || !theData)
        return paramErr;
    if (d->hasBoolean)
        *theData = d->boolean;
    else if (d->hasButton)
        *theData = d->button != kThemeButtonOff;
    else
        return errDataBrowserInvalidPropertyData;
    return noErr;
}

OSStatus SetDataBrowserItemDataValue(DataBrowserItemDataRef itemData, SInt32 theData)
{
    OpaqueDataBrowserItemData* d = AsItemData(itemData);
    if (!d)
        return paramErr;
    d->value = theData;
    d->hasValue = true;
    return noErr;
}

OSStatus GetDataBrowserItemDataValue(DataBrowserItemDataRef itemData, SInt32* theData)
{
    OpaqueDataBrowserItemData* d = AsItemData(itemData);
    if (!d || !theData)
        return paramErr;
    if (!d->hasValue)
        return errDataBrowserInvalidPropertyData;
    *theData = d->value;
    return noErr;
}

OSStatus GetDataBrowserItemDataProperty(DataBrowserItemDataRef itemData, DataBrowserPropertyID* theData)
{
    OpaqueDataBrowserItemData* d = AsItemData(itemData);
    if (!d || !theData)
        return paramErr;
    *theData = d->property;
    return noErr;
}

OSStatus GetDataBrowserItemDataItemID(DataBrowserItemDataRef itemData, DataBrowserItemID* theData)
{
    OpaqueDataBrowserItemData* d = AsItemData(itemData);
    if (!d || !theData)
        return paramErr;
    *theData = d->item;
    return noErr;
}
