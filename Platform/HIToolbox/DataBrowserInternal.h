// What the data browser's files share: the browser's state kept on its
// view, the questions it asks its item-data callback, and its geometry.
#pragma once

#include "DataBrowser.h"
#include "HIToolboxInternal.h"

#include <unordered_map>
#include <vector>

struct OpaqueDataBrowserItemData {
    DataBrowserItemID item = kDataBrowserNoItem;
    DataBrowserPropertyID property = kDataBrowserItemNoProperty;
    bool hasText = false, hasIcon = false, hasButton = false, hasBoolean = false, hasValue = false;
    CFStringRef text = nullptr;  // owned
    IconRef icon = nullptr;      // acquired
    ThemeButtonValue button = kThemeButtonOff;
    Boolean boolean = false;
    SInt32 value = 0;

    OpaqueDataBrowserItemData() = default;
    OpaqueDataBrowserItemData(const OpaqueDataBrowserItemData&) = delete;
    OpaqueDataBrowserItemData& operator=(const OpaqueDataBrowserItemData&) = delete;
    ~OpaqueDataBrowserItemData();
};

namespace databrowser {

struct Column {
    DataBrowserPropertyID property = 0;
    DataBrowserPropertyType type = kDataBrowserTextType;
    DataBrowserPropertyFlags flags = 0;
    UInt16 width = 100, minimumWidth = 0, maximumWidth = 0xFFFF;
    CFStringRef title = nullptr;  // owned
    DataBrowserSortOrder order = kDataBrowserOrderIncreasing;
};

struct Item {
    DataBrowserItemID container = kDataBrowserNoItem;
    std::vector<DataBrowserItemID> children;
    bool selected = false;
    bool open = false;
    UInt16 height = 0;  // 0: the browser's row height
};

struct Row {
    DataBrowserItemID item;
    int depth;
    CGFloat top;  // in the content, before the header and scrolling
    CGFloat height;
};

struct Browser {
    HIViewRef view = nullptr;
    std::vector<Column> columns;
    std::unordered_map<DataBrowserItemID, Item> items;
    std::vector<DataBrowserItemID> roots;
    DataBrowserCallbacks callbacks{};
    DataBrowserCustomCallbacks custom{};
    DataBrowserItemID target = kDataBrowserNoItem;
    OptionBits attributes = 0;
    DataBrowserSelectionFlags selectionFlags = 0;
    DataBrowserPropertyID sortProperty = 0;
    DataBrowserSortOrder sortOrder = kDataBrowserOrderIncreasing;
    DataBrowserPropertyID disclosure = 0;
    bool expandableRows = false;
    UInt16 rowHeight = 18;
    UInt16 headerHeight = 17;
    bool variableWidth = true, variableHeight = false;
    UInt32 scrollTop = 0, scrollLeft = 0;
    bool plainBackground = true;
    DataBrowserTableViewHiliteStyle hiliteStyle = kDataBrowserTableViewFillHilite;
    bool drawsFrame = false;
    bool horizontalScrollBar = true, verticalScrollBar = true;
    CGFloat metrics[6] = {};
    bool metricSet[6] = {};
    bool warnedColumnView = false;
    // Rows shown, rebuilt when items come, go, open or close.
    std::vector<Row> rows;
    bool rowsDirty = true;
    // The click being tracked.
    UInt32 clickCount = 1;
    DataBrowserItemID pressedItem = kDataBrowserNoItem;
    bool narrowOnRelease = false;
    HIPoint pressPoint = {};
    bool dragStarted = false;
    // A drag arriving over the browser: the item under it, and whether the
    // accept-drag callback took the drag there.
    DataBrowserItemID dropItem = kDataBrowserNoItem;
    bool dropAccepted = false;
    // The built-in editor.
    HIViewRef editor = nullptr;  // a subview, kept hidden between sessions
    DataBrowserItemID editItem = kDataBrowserNoItem;
    DataBrowserPropertyID editProperty = 0;
    // Callbacks may dispose of the view: the state outlives the call.
    int busy = 0;
    bool disposed = false;

    Browser() = default;
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;
    ~Browser();
};

// The browser of a data browser view (nil for anything else or a view gone).
Browser* BrowserOf(ControlRef control);

// Keeps the browser while callbacks run; Alive() is false once its view went.
class Hold {
public:
    explicit Hold(Browser* b);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    bool Alive() const { return !browser_->disposed; }

private:
    Browser* browser_;
};

// ---- questions and news for the callbacks ----

// Asks the item-data callback; its status (errDataBrowserPropertyNotSupported without one).
OSStatus Ask(Browser& b, DataBrowserItemID item, DataBrowserPropertyID property, OpaqueDataBrowserItemData& data,
             DataBrowserPropertyID column = 0);
// A Boolean property, or `fallback` when the callback does not answer one.
bool AskFlag(Browser& b, DataBrowserItemID item, DataBrowserPropertyID property, bool fallback,
             DataBrowserPropertyID column = 0);
// A check box's value from what the callback answered (a Boolean counts).
inline ThemeButtonValue ButtonValueOf(const OpaqueDataBrowserItemData& data)
{
    if (data.hasButton)
        return data.button;
    return data.hasBoolean && data.boolean ? ThemeButtonValue(kThemeButtonOn) : ThemeButtonValue(kThemeButtonOff);
}
void Notify(Browser& b, DataBrowserItemID item, DataBrowserItemNotification message);

// ---- rows and geometry ----

const std::vector<Row>& Rows(Browser& b);
// The row of an item shown, -1 for none.
int RowOf(Browser& b, DataBrowserItemID item);
int RowAt(Browser& b, CGFloat y);  // y in control coordinates
const Column* ColumnOf(const Browser& b, DataBrowserPropertyID property);
CGFloat ColumnLeft(const Browser& b, const Column& column);  // control coordinates
HIRect ViewBounds(const Browser& b);
CGFloat Metric(const Browser& b, DataBrowserMetric metric);
bool IsContainer(Browser& b, DataBrowserItemID item);
// A part of a cell (control coordinates); false when the cell has no such part.
bool PartBounds(Browser& b, int row, const Column& column, DataBrowserPropertyPart part, HIRect* out);
void ClampScroll(Browser& b);
void Redraw(Browser& b);

// ---- nibs (DataBrowserNib.cpp) ----

}  // namespace databrowser

// Lets nibs hold data browsers (kind "datb").
void HIToolboxRegisterDataBrowserNibKind();

namespace databrowser {

// ---- drawing (DataBrowserDrawing.cpp) ----

void DrawBrowser(HIViewRef view, CGContextRef context);

}  // namespace databrowser
