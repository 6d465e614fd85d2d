// The data browser ('datb'): a list of items named by 32-bit item IDs, in
// columns, with an outline through its disclosure column. The browser keeps
// no data of its own: it asks the item-data callback for every value it
// shows (inside that callback the SetDataBrowserItemData… setters answer),
// and tells the item-notification callback what happens to items.
//
// Notifications go out in this order:
// - AddDataBrowserItems: kDataBrowserItemAdded per item, in the order given;
//   RemoveDataBrowserItems: the items of an open container first (deepest
//   first), then kDataBrowserItemRemoved per item; a selected item is
//   deselected (kDataBrowserItemDeselected) before it goes.
// - Selection changes: kDataBrowserItemDeselected for each item leaving the
//   selection (row order), then kDataBrowserItemSelected for each item
//   joining it (in the order given, or row order for a click). A change the
//   user makes ends with kDataBrowserSelectionSetChanged.
// - A double click on an item: the selection of its first click, then
//   kDataBrowserItemDoubleClicked.
// - The user clicking a disclosure triangle: kDataBrowserUserToggledContainer
//   while the item still has its old state, then the open or close below.
// - OpenDataBrowserContainer: kDataBrowserContainerOpened (the callback adds
//   the children with AddDataBrowserItems); CloseDataBrowserContainer:
//   kDataBrowserContainerClosing, the children removed, then
//   kDataBrowserContainerClosed.
// - The built-in editor: kDataBrowserEditStarted when it opens; on commit
//   (Return, Enter, a click elsewhere, SetDataBrowserEditItem with no item,
//   the focus leaving) the item-data callback is called with setValue true
//   and the text, then kDataBrowserEditStopped; Escape stops without the
//   set call.
//
// Drags: with an add-drag-item callback, pressing on a selected row and
// moving away starts a drag of the selection: the callback is asked once
// per selected item (row order) to add its flavours (its item reference
// is the item ID unless it changes it); when one agreed, the drag is
// tracked (TrackDrag) and the post-process-drag callback hears the result.
// With an accept-drag callback the browser takes part in drops: it asks the
// callback for the item under the mouse (0: none) as the mouse moves, and
// the receive-drag callback gets the drop on an item that was accepted.
//
// Walks (ForEachDataBrowserItem, counts) run over a snapshot of the items
// taken when the walk begins, so a callback may add, remove, select or
// deselect items while it is visited: an item removed before its turn is
// skipped, an item added is not visited.
//
// Geometry: part bounds are in the control's own coordinates (top-left
// origin), after the header and the scroll position. Row 0 is the first
// row shown; rows follow open containers depth first.
//
// Only the list view exists: asking for the column view gives a list view
// and writes one warning line for that browser.
#pragma once

#include <CoreServices/IconServices.h>
#include <HIToolbox/ControlKinds.h>
#include <HIToolbox/HITheme.h>
#include <HIToolbox/HIView.h>

typedef UInt32 DataBrowserItemID;
typedef UInt32 DataBrowserPropertyID;
typedef OSType DataBrowserPropertyType;
typedef OSType DataBrowserPropertyPart;
typedef OSType DataBrowserViewStyle;
typedef UInt32 DataBrowserItemState;
typedef UInt32 DataBrowserItemNotification;
typedef UInt32 DataBrowserSetOption;
typedef UInt32 DataBrowserSelectionFlags;
typedef UInt32 DataBrowserPropertyFlags;
typedef UInt16 DataBrowserSortOrder;
typedef UInt32 DataBrowserRevealOptions;
typedef UInt32 DataBrowserMetric;
typedef UInt32 DataBrowserTableViewRowIndex;
typedef UInt32 DataBrowserTableViewColumnIndex;
typedef DataBrowserPropertyID DataBrowserTableViewColumnID;
typedef UInt32 DataBrowserTableViewHiliteStyle;
typedef SInt16 DataBrowserTrackingResult;
typedef SInt16 ThemeButtonValue;
typedef UInt32 ItemReference;
typedef DragRef DragReference;
typedef struct OpaqueDataBrowserItemData* DataBrowserItemDataRef;
typedef struct OpaqueMenuRef* MenuRef;
typedef UInt16 MenuItemIndex;
typedef SInt16 MenuID;
struct AEDesc;

inline constexpr OSType kControlKindDataBrowser = FourCC("datb");

inline constexpr DataBrowserItemID kDataBrowserNoItem = 0;

enum : DataBrowserViewStyle {
    kDataBrowserNoView = FourCC("????"),
    kDataBrowserListView = FourCC("lstv"),
    kDataBrowserColumnView = FourCC("clmv"),
};

// Status codes.
inline constexpr OSStatus errDataBrowserNotConfigured = -4970;
inline constexpr OSStatus errDataBrowserItemNotFound = -4971;
inline constexpr OSStatus errDataBrowserItemNotAdded = -4975;
inline constexpr OSStatus errDataBrowserPropertyNotFound = -4972;
inline constexpr OSStatus errDataBrowserInvalidPropertyPart = -4973;
inline constexpr OSStatus errDataBrowserInvalidPropertyData = -4974;
inline constexpr OSStatus errDataBrowserPropertyNotSupported = -4979;

// Item states.
enum : DataBrowserItemState {
    kDataBrowserItemNoState = 0,
    kDataBrowserItemAnyState = 0xFFFFFFFF,
    kDataBrowserItemIsSelected = 1 << 0,
    kDataBrowserContainerIsOpen = 1 << 1,
    kDataBrowserItemIsDragTarget = 1 << 2,
};

// Notifications (the order they go out in: see the top of this file).
enum : DataBrowserItemNotification {
    kDataBrowserItemAdded = 1,
    kDataBrowserItemRemoved = 2,
    kDataBrowserEditStarted = 3,
    kDataBrowserEditStopped = 4,
    kDataBrowserItemSelected = 5,
    kDataBrowserItemDeselected = 6,
    kDataBrowserItemDoubleClicked = 7,
    kDataBrowserContainerOpened = 8,
    kDataBrowserContainerClosing = 9,
    kDataBrowserContainerClosed = 10,
    kDataBrowserContainerSorting = 11,
    kDataBrowserContainerSorted = 12,
    kDataBrowserUserStateChanged = 13,
    kDataBrowserSelectionSetChanged = 14,
    kDataBrowserTargetChanged = 15,
    kDataBrowserUserToggledContainer = 16,
};

// Properties the browser asks the item-data callback about, besides the
// columns' own.
enum : DataBrowserPropertyID {
    kDataBrowserItemNoProperty = 0,
    kDataBrowserItemIsActiveProperty = 1,
    kDataBrowserItemIsSelectableProperty = 2,
    kDataBrowserItemIsEditableProperty = 3,  // the item data's property is the column
    kDataBrowserItemIsContainerProperty = 4,
    kDataBrowserContainerIsOpenableProperty = 5,
    kDataBrowserContainerIsClosableProperty = 6,
    kDataBrowserContainerIsSortableProperty = 7,
    kDataBrowserItemSelfIdentityProperty = 8,
};

// Kinds of columns.
enum : DataBrowserPropertyType {
    kDataBrowserCustomType = FourCC("????"),  // drawn by the custom callbacks or the 'hidb' draw event
    kDataBrowserIconType = FourCC("icnr"),
    kDataBrowserTextType = FourCC("text"),
    kDataBrowserCheckboxType = FourCC("chbx"),
    kDataBrowserIconAndTextType = FourCC("ticn"),
};

// Parts of a cell (GetDataBrowserItemPartBounds).
enum : DataBrowserPropertyPart {
    kDataBrowserPropertyEnclosingPart = 0,
    kDataBrowserPropertyContentPart = FourCC("----"),
    kDataBrowserPropertyDisclosurePart = FourCC("disc"),
    kDataBrowserPropertyTextPart = kDataBrowserTextType,
    kDataBrowserPropertyIconPart = kDataBrowserIconType,
    kDataBrowserPropertyCheckboxPart = kDataBrowserCheckboxType,
};

// Column flags.
enum : DataBrowserPropertyFlags {
    kDataBrowserDefaultPropertyFlags = 0,
    kDataBrowserPropertyIsMutable = 1 << 0,  // the user may change it (edit the text, toggle the box)
    kDataBrowserListViewMovableColumn = 1 << 16,
    kDataBrowserListViewSortableColumn = 1 << 17,
    kDataBrowserListViewSelectionColumn = 1 << 18,
    kDataBrowserListViewDefaultColumnFlags = kDataBrowserListViewMovableColumn | kDataBrowserListViewSortableColumn,
};

// SetDataBrowserSelectedItems.
enum : DataBrowserSetOption {
    kDataBrowserItemsAdd = 0,
    kDataBrowserItemsAssign = 1,
    kDataBrowserItemsToggle = 2,
    kDataBrowserItemsRemove = 3,
};

enum : DataBrowserSelectionFlags {
    kDataBrowserDragSelect = 1 << 0,
    kDataBrowserSelectOnlyOne = 1 << 1,
    kDataBrowserResetSelection = 1 << 2,
    kDataBrowserCmdTogglesSelection = 1 << 3,
    kDataBrowserNoDisjointSelection = 1 << 4,
    kDataBrowserAlwaysExtendSelection = 1 << 5,
    kDataBrowserNeverEmptySelectionSet = 1 << 6,
};

enum : DataBrowserSortOrder {
    kDataBrowserOrderUndefined = 0,
    kDataBrowserOrderIncreasing = 1,
    kDataBrowserOrderDecreasing = 2,
};

enum : DataBrowserRevealOptions {
    kDataBrowserRevealOnly = 0,
    kDataBrowserRevealAndCenterInView = 1 << 0,
    kDataBrowserRevealWithoutSelecting = 1 << 1,
};

// Attributes (DataBrowserChangeAttributes).
enum : OptionBits {
    kDataBrowserAttributeNone = 0,
    kDataBrowserAttributeColumnViewResizeWindow = 1 << 0,
    kDataBrowserAttributeListViewAlternatingRowColors = 1 << 1,
    kDataBrowserAttributeListViewDrawColumnDividers = 1 << 2,
};

enum : DataBrowserMetric {
    kDataBrowserMetricCellContentInset = 1,
    kDataBrowserMetricIconAndTextGap = 2,
    kDataBrowserMetricDisclosureColumnEdgeInset = 3,
    kDataBrowserMetricDisclosureTriangleAndContentGap = 4,
    kDataBrowserMetricDisclosureColumnPerDepthGap = 5,
};

enum : DataBrowserTableViewHiliteStyle {
    kDataBrowserTableViewMinimalHilite = 0,
    kDataBrowserTableViewFillHilite = 1,
};

enum : DataBrowserTrackingResult {
    kDataBrowserNothingHit = 0,
    kDataBrowserContentHit = 1,
    kDataBrowserStopTracking = -1,
};

// Check box values.
enum : ThemeButtonValue {
    kThemeButtonOff = 0,
    kThemeButtonOn = 1,
    kThemeButtonMixed = 2,
};

inline constexpr DataBrowserTableViewColumnIndex kDataBrowserListViewAppendColumn = 0xFFFFFFFF;
inline constexpr UInt32 kDataBrowserListViewLatestHeaderDesc = 0;
inline constexpr UInt32 kDataBrowserLatestCallbacks = 0;
inline constexpr UInt32 kDataBrowserLatestCustomCallbacks = 0;

// Control data: whether the browser draws its frame (Boolean).
inline constexpr ResType kControlDataBrowserIncludesFrameAndFocusTag = FourCC("brdr");

// The draw event of custom cells: sent to the control for each cell of a
// custom column when no draw callback is installed, with the item
// ('dbid'), the property ('dbpd') and the item state ('dbis'), each
// typeUInt32, the cell as a QuickDraw rectangle ('boun', typeQDRectangle,
// control coordinates) and the context ('cntx', the control's, top-left
// origin, clipped to the cell).
inline constexpr EventClass kEventClassHIDataBrowser = FourCC("hidb");
enum : EventKind { kEventDataBrowserDrawCustomItem = 1 };
inline constexpr EventParamName kEventParamDataBrowserItemID = FourCC("dbid");
inline constexpr EventParamName kEventParamDataBrowserPropertyID = FourCC("dbpd");
inline constexpr EventParamName kEventParamDataBrowserItemState = FourCC("dbis");

// ---- columns ----

struct DataBrowserPropertyDesc {
    DataBrowserPropertyID propertyID;
    DataBrowserPropertyType propertyType;
    DataBrowserPropertyFlags propertyFlags;
};
typedef DataBrowserPropertyDesc DataBrowserTableViewColumnDesc;

struct DataBrowserListViewHeaderDesc {
    UInt32 version;  // kDataBrowserListViewLatestHeaderDesc
    UInt16 minimumWidth;
    UInt16 maximumWidth;
    SInt16 titleOffset;
    CFStringRef titleString;  // copied
    DataBrowserSortOrder initialOrder;
    ControlFontStyleRec btnFontStyle;
    ControlButtonContentInfo btnContentInfo;
};

struct DataBrowserListViewColumnDesc {
    DataBrowserTableViewColumnDesc propertyDesc;
    DataBrowserListViewHeaderDesc headerBtnDesc;
};

// ---- callbacks ----

typedef OSStatus (*DataBrowserItemDataProcPtr)(ControlRef browser, DataBrowserItemID item,
                                               DataBrowserPropertyID property, DataBrowserItemDataRef itemData,
                                               Boolean setValue);
typedef Boolean (*DataBrowserItemCompareProcPtr)(ControlRef browser, DataBrowserItemID itemOne,
                                                 DataBrowserItemID itemTwo, DataBrowserPropertyID sortProperty);
typedef void (*DataBrowserItemNotificationProcPtr)(ControlRef browser, DataBrowserItemID item,
                                                   DataBrowserItemNotification message);
typedef Boolean (*DataBrowserAddDragItemProcPtr)(ControlRef browser, DragReference theDrag, DataBrowserItemID item,
                                                 ItemReference* itemRef);
typedef Boolean (*DataBrowserAcceptDragProcPtr)(ControlRef browser, DragReference theDrag, DataBrowserItemID item);
typedef Boolean (*DataBrowserReceiveDragProcPtr)(ControlRef browser, DragReference theDrag, DataBrowserItemID item);
typedef void (*DataBrowserPostProcessDragProcPtr)(ControlRef browser, DragReference theDrag, OSStatus trackDragResult);
typedef void (*DataBrowserGetContextualMenuProcPtr)(ControlRef browser, MenuRef* menu, UInt32* helpType,
                                                    CFStringRef* helpItemString, AEDesc* selection);
typedef void (*DataBrowserSelectContextualMenuProcPtr)(ControlRef browser, MenuRef menu, UInt32 selectionType,
                                                       MenuID menuID, MenuItemIndex menuItem);
typedef void (*DataBrowserItemProcPtr)(DataBrowserItemID item, DataBrowserItemState state, void* clientData);

typedef void (*DataBrowserDrawItemProcPtr)(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property,
                                           DataBrowserItemState itemState, const Rect* theRect, SInt16 gdDepth,
                                           Boolean colorDevice);
typedef Boolean (*DataBrowserEditItemProcPtr)(ControlRef browser, DataBrowserItemID item,
                                              DataBrowserPropertyID property, CFStringRef theString,
                                              Rect* maxEditTextRect, Boolean* shrinkToFit);
typedef Boolean (*DataBrowserHitTestProcPtr)(ControlRef browser, DataBrowserItemID itemID,
                                             DataBrowserPropertyID property, const Rect* theRect,
                                             const Rect* mouseRect);
typedef DataBrowserTrackingResult (*DataBrowserTrackingProcPtr)(ControlRef browser, DataBrowserItemID itemID,
                                                                DataBrowserPropertyID property, const Rect* theRect,
                                                                Point startPt, EventModifiers modifiers);

typedef DataBrowserItemDataProcPtr DataBrowserItemDataUPP;
typedef DataBrowserItemCompareProcPtr DataBrowserItemCompareUPP;
typedef DataBrowserItemNotificationProcPtr DataBrowserItemNotificationUPP;
typedef DataBrowserAddDragItemProcPtr DataBrowserAddDragItemUPP;
typedef DataBrowserAcceptDragProcPtr DataBrowserAcceptDragUPP;
typedef DataBrowserReceiveDragProcPtr DataBrowserReceiveDragUPP;
typedef DataBrowserPostProcessDragProcPtr DataBrowserPostProcessDragUPP;
typedef DataBrowserGetContextualMenuProcPtr DataBrowserGetContextualMenuUPP;
typedef DataBrowserSelectContextualMenuProcPtr DataBrowserSelectContextualMenuUPP;
typedef DataBrowserItemProcPtr DataBrowserItemUPP;
typedef DataBrowserDrawItemProcPtr DataBrowserDrawItemUPP;
typedef DataBrowserEditItemProcPtr DataBrowserEditItemUPP;
typedef DataBrowserHitTestProcPtr DataBrowserHitTestUPP;
typedef DataBrowserTrackingProcPtr DataBrowserTrackingUPP;

// UPPs are the procedures themselves here.
template <typename Proc>
inline Proc NewDataBrowserUPP(Proc proc)
{
    return proc;
}
#define NewDataBrowserItemDataUPP NewDataBrowserUPP
#define NewDataBrowserItemCompareUPP NewDataBrowserUPP
#define NewDataBrowserItemNotificationUPP NewDataBrowserUPP
#define NewDataBrowserAddDragItemUPP NewDataBrowserUPP
#define NewDataBrowserAcceptDragUPP NewDataBrowserUPP
#define NewDataBrowserReceiveDragUPP NewDataBrowserUPP
#define NewDataBrowserPostProcessDragUPP NewDataBrowserUPP
#define NewDataBrowserGetContextualMenuUPP NewDataBrowserUPP
#define NewDataBrowserSelectContextualMenuUPP NewDataBrowserUPP
#define NewDataBrowserItemUPP NewDataBrowserUPP
#define NewDataBrowserDrawItemUPP NewDataBrowserUPP
#define NewDataBrowserEditItemUPP NewDataBrowserUPP
#define NewDataBrowserHitTestUPP NewDataBrowserUPP
#define NewDataBrowserTrackingUPP NewDataBrowserUPP
template <typename Proc>
inline void DisposeDataBrowserUPP(Proc)
{}

struct DataBrowserCallbacks {
    UInt32 version;  // kDataBrowserLatestCallbacks
    union {
        struct {
            DataBrowserItemDataUPP itemDataCallback;
            DataBrowserItemCompareUPP itemCompareCallback;
            DataBrowserItemNotificationUPP itemNotificationCallback;
            DataBrowserAddDragItemUPP addDragItemCallback;
            DataBrowserAcceptDragUPP acceptDragCallback;
            DataBrowserReceiveDragUPP receiveDragCallback;
            DataBrowserPostProcessDragUPP postProcessDragCallback;
            void* itemHelpContentCallback;  // kept, never called
            DataBrowserGetContextualMenuUPP getContextualMenuCallback;
            DataBrowserSelectContextualMenuUPP selectContextualMenuCallback;
        } v1;
    } u;
};

struct DataBrowserCustomCallbacks {
    UInt32 version;  // kDataBrowserLatestCustomCallbacks
    union {
        struct {
            DataBrowserDrawItemUPP drawItemCallback;
            DataBrowserEditItemUPP editTextCallback;
            DataBrowserHitTestUPP hitTestCallback;
            DataBrowserTrackingUPP trackingCallback;
            void* dragRegionCallback;  // kept, never called
            DataBrowserAcceptDragUPP acceptDragCallback;
            DataBrowserReceiveDragUPP receiveDragCallback;
        } v1;
    } u;
};

// Empties the table and sets its version; paramErr for nil.
OSStatus InitDataBrowserCallbacks(DataBrowserCallbacks* callbacks);
OSStatus InitDataBrowserCustomCallbacks(DataBrowserCustomCallbacks* callbacks);

// ---- creation and configuration ----

// A new browser in `window`'s content (owned by the window), or in no
// window with nil (the caller's, count 1). The column view style gives a
// list view and one warning line. paramErr, output untouched, for a nil
// output or bounds or a window that is none.
OSStatus CreateDataBrowserControl(WindowRef window, const Rect* boundsRect, DataBrowserViewStyle style,
                                  ControlRef* outControl);

// Every function below answers errUnknownControl (outputs untouched) for
// what is not a data browser, and paramErr for a nil output.
OSStatus SetDataBrowserViewStyle(ControlRef browser, DataBrowserViewStyle style);
OSStatus GetDataBrowserViewStyle(ControlRef browser, DataBrowserViewStyle* style);
OSStatus DataBrowserChangeAttributes(ControlRef browser, OptionBits attributesToSet, OptionBits attributesToClear);
OSStatus DataBrowserGetAttributes(ControlRef browser, OptionBits* attributes);

// Copies the table (only version kDataBrowserLatestCallbacks: paramErr else).
OSStatus SetDataBrowserCallbacks(ControlRef browser, const DataBrowserCallbacks* callbacks);
OSStatus GetDataBrowserCallbacks(ControlRef browser, DataBrowserCallbacks* callbacks);
OSStatus SetDataBrowserCustomCallbacks(ControlRef browser, const DataBrowserCustomCallbacks* callbacks);
OSStatus GetDataBrowserCustomCallbacks(ControlRef browser, DataBrowserCustomCallbacks* callbacks);

OSStatus SetDataBrowserHasScrollBars(ControlRef browser, Boolean horizontal, Boolean vertical);
OSStatus GetDataBrowserHasScrollBars(ControlRef browser, Boolean* horizontal, Boolean* vertical);
OSStatus SetDataBrowserSelectionFlags(ControlRef browser, DataBrowserSelectionFlags selectionFlags);
OSStatus GetDataBrowserSelectionFlags(ControlRef browser, DataBrowserSelectionFlags* selectionFlags);
OSStatus SetDataBrowserSortProperty(ControlRef browser, DataBrowserPropertyID property);
OSStatus GetDataBrowserSortProperty(ControlRef browser, DataBrowserPropertyID* property);
// Sorting needs the compare callback; without one the order stays as added.
OSStatus SetDataBrowserSortOrder(ControlRef browser, DataBrowserSortOrder order);
OSStatus GetDataBrowserSortOrder(ControlRef browser, DataBrowserSortOrder* order);
OSStatus SetDataBrowserTableViewHiliteStyle(ControlRef browser, DataBrowserTableViewHiliteStyle hiliteStyle);
OSStatus GetDataBrowserTableViewHiliteStyle(ControlRef browser, DataBrowserTableViewHiliteStyle* hiliteStyle);
OSStatus SetDataBrowserListViewUsePlainBackground(ControlRef browser, Boolean usePlainBackground);
OSStatus GetDataBrowserListViewUsePlainBackground(ControlRef browser, Boolean* usePlainBackground);
// useDefaultValue puts the metric back to its default. paramErr for an
// unknown metric.
OSStatus SetDataBrowserMetric(ControlRef browser, DataBrowserMetric metric, Boolean useDefaultValue, CGFloat value);
OSStatus GetDataBrowserMetric(ControlRef browser, DataBrowserMetric metric, Boolean* outUsingDefaultValue,
                              CGFloat* outValue);

// Columns. errDataBrowserPropertyNotSupported for a type not listed above,
// paramErr for a property already shown (or 0).
OSStatus AddDataBrowserListViewColumn(ControlRef browser, DataBrowserListViewColumnDesc* columnDesc,
                                      DataBrowserTableViewColumnIndex position);
OSStatus RemoveDataBrowserTableViewColumn(ControlRef browser, DataBrowserTableViewColumnID column);
OSStatus GetDataBrowserTableViewColumnCount(ControlRef browser, UInt32* numColumns);
// errDataBrowserPropertyNotFound for an index past the last column.
OSStatus GetDataBrowserTableViewColumnProperty(ControlRef browser, DataBrowserTableViewColumnIndex column,
                                               DataBrowserTableViewColumnID* property);
OSStatus SetDataBrowserTableViewNamedColumnWidth(ControlRef browser, DataBrowserTableViewColumnID column, UInt16 width);
OSStatus GetDataBrowserTableViewNamedColumnWidth(ControlRef browser, DataBrowserTableViewColumnID column,
                                                 UInt16* width);
OSStatus SetDataBrowserListViewHeaderBtnHeight(ControlRef browser, UInt16 height);  // 0: no header
OSStatus GetDataBrowserListViewHeaderBtnHeight(ControlRef browser, UInt16* height);
// The column that shows the outline; 0 for none (a flat list).
OSStatus SetDataBrowserListViewDisclosureColumn(ControlRef browser, DataBrowserTableViewColumnID column,
                                                Boolean expandableRows);
OSStatus GetDataBrowserListViewDisclosureColumn(ControlRef browser, DataBrowserTableViewColumnID* column,
                                                Boolean* expandableRows);

// Rows.
OSStatus SetDataBrowserTableViewRowHeight(ControlRef browser, UInt16 height);
OSStatus GetDataBrowserTableViewRowHeight(ControlRef browser, UInt16* height);
// With variable heights, rows may have their own (SetDataBrowserTableViewItemRowHeight).
OSStatus SetDataBrowserTableViewGeometry(ControlRef browser, Boolean variableWidthColumns, Boolean variableHeightRows);
OSStatus GetDataBrowserTableViewGeometry(ControlRef browser, Boolean* variableWidthColumns,
                                         Boolean* variableHeightRows);
OSStatus SetDataBrowserTableViewItemRowHeight(ControlRef browser, DataBrowserItemID item, UInt16 height);
OSStatus GetDataBrowserTableViewItemRowHeight(ControlRef browser, DataBrowserItemID item, UInt16* height);
// errDataBrowserItemNotFound for an item that is not shown.
OSStatus GetDataBrowserTableViewItemRow(ControlRef browser, DataBrowserItemID item, DataBrowserTableViewRowIndex* row);
OSStatus GetDataBrowserTableViewItemID(ControlRef browser, DataBrowserTableViewRowIndex row, DataBrowserItemID* item);

// Scrolling: the distances the content is scrolled by, kept within it.
OSStatus SetDataBrowserScrollPosition(ControlRef browser, UInt32 top, UInt32 left);
OSStatus GetDataBrowserScrollPosition(ControlRef browser, UInt32* top, UInt32* left);

// ---- items ----

// Adds the items to the container (kDataBrowserNoItem: the root), sorted by
// `preSortProperty` with the compare callback when the browser sorts.
// errDataBrowserItemNotFound for a container that is not an open container;
// errDataBrowserItemNotAdded for 0 or an item already present (the items
// before it are added). paramErr for a nil list with a count.
OSStatus AddDataBrowserItems(ControlRef browser, DataBrowserItemID container, ItemCount numItems,
                             const DataBrowserItemID* items, DataBrowserPropertyID preSortProperty);
// numItems 0: every item of the container. errDataBrowserItemNotFound for
// an item not in that container (the items before it are removed).
OSStatus RemoveDataBrowserItems(ControlRef browser, DataBrowserItemID container, ItemCount numItems,
                                const DataBrowserItemID* items, DataBrowserPropertyID preSortProperty);
// Redraws the items (numItems 0: all of the container); property 0 is every column.
OSStatus UpdateDataBrowserItems(ControlRef browser, DataBrowserItemID container, ItemCount numItems,
                                const DataBrowserItemID* items, DataBrowserPropertyID preSortProperty,
                                DataBrowserPropertyID propertyID);

// Counts the items of the container (recursively through open containers)
// in `state` (kDataBrowserItemAnyState: all; else those having every bit).
OSStatus GetDataBrowserItemCount(ControlRef browser, DataBrowserItemID container, Boolean recurse,
                                 DataBrowserItemState state, ItemCount* numItems);
// Visits them in row order, over a snapshot (see the top of this file).
OSStatus ForEachDataBrowserItem(ControlRef browser, DataBrowserItemID container, Boolean recurse,
                                DataBrowserItemState state, DataBrowserItemUPP callback, void* clientData);
// errDataBrowserItemNotFound (output untouched) for an unknown item.
OSStatus GetDataBrowserItemState(ControlRef browser, DataBrowserItemID item, DataBrowserItemState* state);
Boolean IsDataBrowserItemSelected(ControlRef browser, DataBrowserItemID item);

// Changes the selection. Items that are unknown or not selectable (the
// item-data callback answering false for kDataBrowserItemIsSelectableProperty)
// are skipped; kDataBrowserSelectOnlyOne keeps the last one given. Assign
// with no items selects every item shown.
OSStatus SetDataBrowserSelectedItems(ControlRef browser, ItemCount numItems, const DataBrowserItemID* items,
                                     DataBrowserSetOption operation);
// The first and last selected items in row order (0 and 0 without a selection).
OSStatus GetDataBrowserSelectionAnchor(ControlRef browser, DataBrowserItemID* first, DataBrowserItemID* last);
// Opens the containers above the item and scrolls its row into view
// (centred with kDataBrowserRevealAndCenterInView); the selection stays.
OSStatus RevealDataBrowserItem(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID propertyID,
                               DataBrowserRevealOptions options);
// errDataBrowserItemNotFound for an unknown item; an item that is no
// container (the item-data callback) answers errDataBrowserItemNotFound too.
OSStatus OpenDataBrowserContainer(ControlRef browser, DataBrowserItemID container);
OSStatus CloseDataBrowserContainer(ControlRef browser, DataBrowserItemID container);
// The target is the root container of the list (kDataBrowserNoItem by default).
OSStatus SetDataBrowserTarget(ControlRef browser, DataBrowserItemID target);
OSStatus GetDataBrowserTarget(ControlRef browser, DataBrowserItemID* target);

// A part of an item's cell, control coordinates. errDataBrowserItemNotFound
// for an item not shown, errDataBrowserPropertyNotFound for a column not
// shown, errDataBrowserInvalidPropertyPart for a part the column does not
// have; the output is then untouched.
OSStatus GetDataBrowserItemPartBounds(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property,
                                      DataBrowserPropertyPart part, Rect* bounds);

// ---- editing ----

// Opens the built-in editor on the item's text in that column (a text or
// icon-and-text column, or a custom one whose edit callback agrees);
// kDataBrowserNoItem ends the session, committing the text.
OSStatus SetDataBrowserEditItem(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property);
// kDataBrowserNoItem and 0 while no editor is open.
OSStatus GetDataBrowserEditItem(ControlRef browser, DataBrowserItemID* item, DataBrowserPropertyID* property);
// The editor's text (errDataBrowserNotConfigured while none is open).
OSStatus SetDataBrowserEditText(ControlRef browser, CFStringRef text);
OSStatus CopyDataBrowserEditText(ControlRef browser, CFStringRef* text);

// ---- item data (inside the item-data callback) ----

// The setters fill the record the browser asked about; the getters read
// what the browser set (setValue true) or the property asked. A getter of a
// kind the record does not hold answers errDataBrowserInvalidPropertyData.
OSStatus SetDataBrowserItemDataText(DataBrowserItemDataRef itemData, CFStringRef theData);
// A new copy, the caller's.
OSStatus GetDataBrowserItemDataText(DataBrowserItemDataRef itemData, CFStringRef* theData);
OSStatus SetDataBrowserItemDataIcon(DataBrowserItemDataRef itemData, IconRef theData);
OSStatus GetDataBrowserItemDataIcon(DataBrowserItemDataRef itemData, IconRef* theData);
OSStatus SetDataBrowserItemDataButtonValue(DataBrowserItemDataRef itemData, ThemeButtonValue theData);
OSStatus GetDataBrowserItemDataButtonValue(DataBrowserItemDataRef itemData, ThemeButtonValue* theData);
// A check box's value reads as a Boolean too (mixed: true).
OSStatus SetDataBrowserItemDataBooleanValue(DataBrowserItemDataRef itemData, Boolean theData);
OSStatus GetDataBrowserItemDataBooleanValue(DataBrowserItemDataRef itemData, Boolean* theData);
OSStatus SetDataBrowserItemDataValue(DataBrowserItemDataRef itemData, SInt32 theData);
OSStatus GetDataBrowserItemDataValue(DataBrowserItemDataRef itemData, SInt32* theData);
// The column the question is about (for the editable property: the column
// being edited).
OSStatus GetDataBrowserItemDataProperty(DataBrowserItemDataRef itemData, DataBrowserPropertyID* theData);
OSStatus GetDataBrowserItemDataItemID(DataBrowserItemDataRef itemData, DataBrowserItemID* theData);

// The kind is registered with the view tree (once); the creator and the
// nib loader call it.
void HIToolboxRegisterDataBrowserKind();
