// Data browsers: the framework's object for one data browser control (a
// list of items named by 32-bit item IDs). It wraps a control view that
// already exists in a window or pane, installs the browser's callbacks and
// routes each of them to a virtual hook, draws custom cells (icon, image,
// text and caption cells with our own selection, row and background look),
// tracks the mouse over items, opens containers a drag rests on, and edits
// an item's text in place in a small floating window (TEditTextWindow)
// after a slow second click or the Return key.
//
// It knows nothing about what the items are: subclasses answer the
// Handle… hooks. TBrowser (TBrowserUnit.h) binds it to a tree of nodes.
#pragma once

#include <ApplicationFramework/Classes/TControlUnit.h>
#include <ApplicationFramework/Classes/TPaneUnit.h>
#include <Units/Classes/TArrayUnit.h>
#include <Units/Utilities/CGUtilities.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <HIToolbox/DataBrowser.h>
#include <HIToolbox/Drag.h>
#include <HIToolbox/HITheme.h>

class TDrag;
class TObject;

// Option bits given to Create and SetOptions.
typedef UInt32 TDataBrowserOptions;
enum : TDataBrowserOptions {
    // Delete, keypad Clear and forward Delete remove the selection.
    kDataBrowserOptionDeleteKeyRemoves = 1,
    // The item-compare callback is installed (the control can sort).
    kDataBrowserOptionSortable = 2,
    // Column view style instead of the list view.
    kDataBrowserOptionColumnView = 4,
    // Alternating row colours.
    kDataBrowserOptionAlternatingRows = 8,
    // Our own background colour instead of the plain background.
    kDataBrowserOptionTintedBackground = 16,
    // Rows may be dragged.
    kDataBrowserOptionDragRows = 32,
    // The drag image is drawn as a whole by HandleDrawDragImage.
    kDataBrowserOptionWholeDragImage = 64,
    // A list browser makes its own list data source.
    kDataBrowserOptionListSource = 128,
    // The view's height follows the number of rows.
    kDataBrowserOptionAutomaticHeight = 512,
};

// The tinted background's default colour.
inline constexpr ATSURGBAlphaColor kDataBrowserBackgroundColor = {0.795010f, 0.839292f, 0.878233f, 1.0f};

// The command that removes the selection ('xITM'), and the focus menu's
// command ('FOCb') whose items carry a ('CFTB', 'cfix') 32-bit value.
inline constexpr UInt32 kDataBrowserCommandRemoveItems = FourCC("xITM");
inline constexpr UInt32 kDataBrowserCommandFocus = FourCC("FOCb");
// The control property that leads from the control to its object.
inline constexpr OSType kDataBrowserPropertyCreator = FourCC("CFTB");
inline constexpr OSType kDataBrowserPropertyTagObject = FourCC("DATA");
inline constexpr OSType kDataBrowserPropertyTagFocusValue = FourCC("cfix");
// The column that a double click edits by default.
inline constexpr DataBrowserPropertyID kDataBrowserDefaultEditColumn = FourCC("TEXT");
// Drop positions while a drag tracks over a row.
inline constexpr SInt16 kDataBrowserTrackingNone = 0;
inline constexpr SInt16 kDataBrowserTrackingAfter = 99;
inline constexpr SInt16 kDataBrowserTrackingInto = 100;
inline constexpr SInt16 kDataBrowserTrackingBefore = 101;

class TDataBrowser : public TControl {
    BRINDLET_CLASS(TDataBrowser, TControl)

public:
    // A browser object of this class for an existing data browser control,
    // owned by `owner` (a window or pane; may be nil). The options are in
    // place before Initialize runs. As with every control, the view keeps
    // the object: it is released when the view goes (an object the view
    // had before lets go of it).
    static TDataBrowser* Create(ControlRef control, TView* owner, TDataBrowserOptions options);
    // The same for a subclass (`browserClass` must be TDataBrowser or
    // below it; nil otherwise).
    static TDataBrowser* CreateWithClass(const ClassInfo& browserClass, ControlRef control, TView* owner,
                                         TDataBrowserOptions options);

    void Initialize() override;
    void Deallocate() override;

    // ---- selection and items ----

    // Hands every selected item (all levels when `deep`, else the top
    // level) to HandleRemoveItem. The selection is read once before the
    // first removal, so removals cannot change which items are visited.
    virtual void ClearSelection(bool deep);
    // The item of the row becomes the only selection and is revealed.
    virtual void SelectRow(UInt32 row);
    // The row of the first selected item; 0 without a selection.
    virtual UInt32 SelectedRow();
    // A new list (the caller releases it) of the selected item IDs as
    // numbers, in row order, all levels; nil when nothing is selected.
    virtual TTypeArray* CopySelection();
    // The first selected item; 0 for none.
    virtual DataBrowserItemID GetSingleSelection();
    virtual void SetSingleSelection(DataBrowserItemID item);
    virtual void AppendSelection(DataBrowserItemID item);
    virtual void SelectAll();
    // Items directly in the container (any state); 0 on error.
    virtual UInt32 CountItems(DataBrowserItemID container);
    // All items from the root, all levels.
    virtual UInt32 CountItems();
    virtual UInt32 CountSelection();
    virtual void UpdateItems();
    virtual void UpdateItem(DataBrowserItemID item, DataBrowserItemID container);
    // The frame's height becomes (items + extraRows) × row height.
    virtual void AdjustViewHeight(SInt32 extraRows);
    virtual void RevealItem(DataBrowserItemID item);
    virtual void OpenContainer(DataBrowserItemID item);
    virtual void CloseContainer(DataBrowserItemID item);
    // 0 when the row does not exist.
    virtual DataBrowserItemID GetRowItem(UInt32 row);
    // -1 when the item is not shown.
    virtual SInt32 GetItemRow(DataBrowserItemID item);
    virtual UInt16 GetRowHeight();
    // The content part of the item's cell (property 0: the first column),
    // control coordinates; an empty rectangle when there is none.
    virtual CGRect GetItemBounds(DataBrowserItemID item, DataBrowserPropertyID property);
    virtual CGRect GetEditTextBounds(DataBrowserItemID item, DataBrowserPropertyID property);
    virtual void ResetScrolling();
    // (left, top).
    virtual CGPoint GetScrollPosition();
    virtual void SetScrollPosition(CGPoint point);
    virtual void AddItem(DataBrowserItemID item, DataBrowserItemID container, DataBrowserPropertyID sortProperty);
    virtual void RemoveAll();
    virtual void ClearContainer(DataBrowserItemID container);
    // Deselects every selected item (removes nothing).
    virtual void RemoveSelection();
    virtual void RemoveItem(DataBrowserItemID item, DataBrowserItemID container);

    // ---- settings ----

    virtual void SetModified();
    virtual void SetDataFile(const FSRef& ref, SInt16 value);
    virtual void SetDisclosureColumn(DataBrowserPropertyID property);
    virtual void SetDragColumn(DataBrowserPropertyID property);
    virtual void SetEditColumn(DataBrowserPropertyID property);
    virtual void SetOptions(TDataBrowserOptions options);
    virtual void SetRowHeight(UInt16 height);
    // Tiled behind selected rows; not retained (the caller keeps it alive).
    virtual void SetSelectionImage(CGImageRef image);
    virtual void SetMetric(DataBrowserMetric metric, SInt16 value);
    virtual void SetBackgroundColor(const ATSURGBAlphaColor& color);
    virtual void SetDataSourceMissing(bool missing);
    virtual void SetVariableRowHeight(bool variable);
    // Nothing here; subclasses rebuild their items.
    virtual void Reload();

    // ---- cells ----

    // Composite cells: the row background and selection (unless the drag
    // image is being drawn), the icon or image, then the text.
    virtual void DrawCaptionCell(CFStringRef text, DataBrowserPropertyID property, DataBrowserItemID item,
                                 DataBrowserItemState state, CGRect rect, CGContextRef context);
    virtual void DrawIconTextCell(IconRef icon, CFStringRef text, bool expandable, DataBrowserPropertyID property,
                                  DataBrowserItemID item, DataBrowserItemState state, CGRect rect,
                                  CGContextRef context);
    virtual void DrawImageTextCell(CGImageRef image, CFStringRef text, bool expandable, DataBrowserPropertyID property,
                                   DataBrowserItemID item, DataBrowserItemState state, CGRect rect,
                                   CGContextRef context);
    // The icon size the row height calls for.
    virtual UInt16 GetIconSize();
    // Nothing here; TBrowser renders its rows.
    virtual void CreateDragImage(DataBrowserItemID item, DragRef drag);
    // Whether the mouse rectangle meets the text or the icon of a cell.
    virtual bool IconTextHitTest(CFStringRef text, CGRect cell, CGRect mouse);
    virtual CGRect GetIconBounds(CGRect cell);
    virtual HIThemeTextInfo GetTextTheme();
    virtual CGRect GetTextBoundsWithInfo(const HIThemeTextInfo& info, CFStringRef text, CGRect cell);
    virtual CGRect GetTextBounds(CFStringRef text, CGRect cell);
    // Where the text starts after the icon.
    virtual CGFloat GetTextOffset();
    virtual void DrawSelection(DataBrowserItemState state, DataBrowserPropertyID property, DataBrowserItemID item,
                               CGRect rect, CGContextRef context);
    using TControl::DrawText;
    virtual void DrawText(CFStringRef text, DataBrowserItemState state, CGRect rect, CGContextRef context);
    virtual void DrawCaptionText(CFStringRef text, DataBrowserItemState state, CGRect rect, CGContextRef context);
    virtual void DrawIconCell(IconRef icon, DataBrowserItemState state, CGRect rect, CGContextRef context);
    virtual void DrawImageCell(CGImageRef image, DataBrowserItemState state, CGRect rect, CGContextRef context);
    // The row background.
    virtual void DrawCell(DataBrowserPropertyID property, DataBrowserItemID item, CGRect rect, CGContextRef context);
    virtual void DrawBackground(CGRect rect, CGContextRef context);
    // The insertion line before (or, for part 99, after) a row; the caller
    // sets the stroke colour.
    virtual void DrawTrackingIndicator(CGContextRef context, CGRect rect, SInt16 part);
    // The frame of a drop into a container row.
    virtual void DrawContainerIndicator(CGContextRef context, CGRect rect);
    virtual void DrawDragHilite(CGContextRef context);

    // ---- inline editing ----

    // Opens the edit window on the item: at once when `immediate`, else
    // only when the mouse has not moved since the click and more than 45
    // ticks have passed.
    virtual void TrackEditText(DataBrowserItemID item, bool immediate);

    // ---- hooks ----

    // Removes one item for ClearSelection; nothing here.
    virtual void HandleRemoveItem(DataBrowserItemID item, DataBrowserItemState state);
    // The chosen item's ('CFTB', 'cfix') value of the focus menu; nothing here.
    virtual void HandleFocusMenuItem(UInt32 value);
    // Called every 0.1 s.
    virtual void EventLoopTimer();
    virtual void HandleDrawItem(DataBrowserItemID item, DataBrowserPropertyID property, DataBrowserItemState state,
                                CGContextRef context, CGRect rect);
    virtual DataBrowserTrackingResult HandleTracking(DataBrowserItemID item, DataBrowserPropertyID property,
                                                     const Rect& rect, Point startPoint, EventModifiers modifiers);
    virtual bool HandleHitTest(DataBrowserItemID item, DataBrowserPropertyID property, const Rect& rect,
                               const Rect& mouseRect);
    virtual bool HandleEditText(DataBrowserItemID item, DataBrowserPropertyID property, CFStringRef text,
                                Rect* maxEditTextRect, Boolean* shrinkToFit);
    // Whether a click at `point` may start an inline edit: the point lies
    // in `rect` less its left 18 units.
    virtual bool HandleEditHitTest(DataBrowserItemID item, CGRect rect, CGPoint point);
    virtual void HandleItemNotification(DataBrowserItemID item, DataBrowserItemNotification message);
    // errDataBrowserPropertyNotSupported here.
    virtual OSStatus HandleItemData(DataBrowserItemID item, DataBrowserPropertyID property,
                                    DataBrowserItemDataRef itemData, bool setValue);
    virtual bool HandleItemCompare(DataBrowserItemID first, DataBrowserItemID second, DataBrowserPropertyID property);
    virtual void HandleGetContextualMenu(MenuRef* menu, UInt32* helpType, CFStringRef* helpItemString,
                                         AEDesc* selection);
    virtual void HandleSelectContextualMenu(MenuRef menu, UInt32 selectionType, MenuID menuID, MenuItemIndex menuItem);
    virtual void HandleContainerOpened(DataBrowserItemID item);
    virtual void HandleContainerClosed(DataBrowserItemID item);
    // The selection as CopySelection gives it (nil when empty); borrowed.
    virtual void HandleSelectionChanged(TTypeArray* selection);
    virtual void HandleItemsChanged();
    virtual void HandleHeightChanged(UInt32 oldHeight, UInt32 newHeight);
    // Whether to edit the item in the edit window; the hook may move the
    // anchor (screen pixels) and change the width, and hands the text over
    // in `text` (a new reference, released by the caller; nil for none).
    virtual bool HandleEditTextWindow(DataBrowserItemID item, DataBrowserPropertyID column, CGPoint& anchor,
                                      CGFloat& width, CFStringRef& text);
    // The column an inline edit of the item uses; 0 here.
    virtual DataBrowserPropertyID HandleEditTextColumn(DataBrowserItemID item);
    // The edit window closed with `text`.
    virtual void HandleEditTextFinished(DataBrowserItemID item, CFStringRef text);
    virtual bool HandleAddDragItem(DragRef drag, DataBrowserItemID item, ItemReference* itemRef);
    virtual bool HandleAcceptDrag(DragRef drag, DataBrowserItemID item);
    virtual void HandlePostProcessDrag(DragRef drag, OSStatus result);
    virtual bool HandleReceiveDrag(DragRef drag, DataBrowserItemID item);
    // Every movement of a drag over the control, with the item under it
    // (0: none) and the point in control coordinates.
    virtual void HandleTrackingDrag(DataBrowserItemID item, TDrag* drag, CGPoint point);
    // A drag has rested over the item for half a second: opens it here.
    virtual void HandleTrackHover(DataBrowserItemID item);
    virtual bool HandleAcceptDrag(TDrag* drag, DataBrowserItemID item);
    virtual bool HandleReceiveDrag(TDrag* drag, DataBrowserItemID item);
    // Mouse hooks, with the item and the point in control coordinates.
    virtual void HandleMouseDown(DataBrowserItemID item, CGPoint point);
    virtual void HandleMouseUp(DataBrowserItemID item, CGPoint point);
    virtual void HandleMouseEntered(DataBrowserItemID item, CGPoint point);
    virtual void HandleMouseExited(DataBrowserItemID item, CGPoint point);
    virtual void HandleMouseMoved(DataBrowserItemID item, CGPoint point);
    virtual void HandleMouseDragged(DataBrowserItemID item, CGPoint point);
    // The focus command; noErr when handled.
    virtual OSStatus HandleFocusEvent(EventRef event);
    // Whether the item-data callback may ask the hooks; true here.
    virtual bool TestDataSource();
    // The item whose row contains the point (control coordinates); 0 for none.
    virtual DataBrowserItemID FindItemAtPoint(CGPoint point);
    virtual void UpdateOptions();
    // The recorded view height moves by one row.
    virtual void ChangeViewHeight(bool shrink);

    // ---- TControl ----

    using TControl::EventKeyDown;
    void EventMouseDown(CGPoint point, OSStatus& result) override;
    void EventMouseUp(CGPoint point, OSStatus& result) override;
    void EventMouseEntered(CGPoint point, OSStatus& result) override;
    void EventMouseExited(CGPoint point, OSStatus& result) override;
    void EventMouseMoved(CGPoint point, OSStatus& result) override;
    void EventMouseDragged(CGPoint point, OSStatus& result) override;
    void EventKeyDown(UInt32 code, char character, OSStatus& result) override;
    void EventClick(CGPoint point, UInt16 clickCount, UInt16 button, UInt32 modifiers, OSStatus& result) override;
    // A drag entering the control is tracked as one moving in it, so that
    // the first question about the item under it has its answer ready.
    void EventDragEnter(DragRef drag, OSStatus& result) override;
    void EventDragWithin(DragRef drag, OSStatus& result) override;
    void EventDragLeave(DragRef drag, OSStatus& result) override;
    void EventDragReceive(DragRef drag, OSStatus& result) override;
    void EventActivationChanged(bool active, OSStatus& result) override;
    void DrawControl(CGContextRef context, CGRect bounds, OSStatus& result) override;

    // ---- state ----

    TDataBrowserOptions GetOptions() const { return options_; }
    bool HasOption(TDataBrowserOptions option) const { return (options_ & option) != 0; }
    UInt32 GetModificationCount() const { return modificationCount_; }
    bool IsEditing() const { return editing_; }
    ATSURGBAlphaColor GetBackgroundColor() const { return backgroundColor_; }
    CGImageRef GetSelectionImage() const { return selectionImage_; }
    DataBrowserPropertyID GetEditColumn() const { return editColumn_; }
    DataBrowserPropertyID GetDragColumn() const { return dragColumn_; }
    bool IsDataSourceMissing() const { return dataSourceMissing_; }
    // The node a node's Remove is taking out (a TBrowserNode); not retained.
    TObject* GetNodeBeingRemoved() const { return nodeBeingRemoved_; }
    void SetNodeBeingRemoved(TObject* node) { nodeBeingRemoved_ = node; }
    // Window coordinates of the last single click on an item.
    Point GetClickPoint() const { return clickPoint_; }
    bool IsDrawingDragImage() const { return drawingDragImage_; }
    void SetDrawingDragImage(bool drawing) { drawingDragImage_ = drawing; }
    bool IsDragHiliteShown() const { return dragHiliteShown_; }
    void SetDragHiliteShown(bool shown) { dragHiliteShown_ = shown; }
    DataBrowserItemID GetPendingEditItem() const { return pendingEditItem_; }
    UInt32 GetPendingEditTick() const { return pendingEditTick_; }
    DataBrowserItemID GetHoverItem() const { return hoverItem_; }
    DataBrowserItemID GetDragHoverItem() const { return dragHoverItem_; }
    UInt32 GetDragHoverTick() const { return dragHoverTick_; }
    UInt32 GetViewHeight() const { return viewHeight_; }
    const FSRef& GetDataFile() const { return dataFile_; }
    SInt16 GetDataFileValue() const { return dataFileValue_; }
    // The cell being drawn: its property, state, rectangle and context.
    void SetDrawCell(DataBrowserPropertyID property, DataBrowserItemState state, CGRect rect, CGContextRef context);
    DataBrowserPropertyID GetDrawProperty() const { return drawProperty_; }
    DataBrowserItemState GetDrawState() const { return drawState_; }
    CGRect GetDrawRect() const { return drawRect_; }
    CGContextRef GetDrawContext() const { return drawContext_; }

    // While a batch is open, selection notifications are gathered and
    // HandleSelectionChanged runs once when the outermost batch closes
    // (when the selection changed), so that changing many items at once
    // costs one look at the selection, not one per item.
    void BeginSelectionBatch();
    void EndSelectionBatch();

protected:
    TDataBrowser() = default;

    // Runs the 0.1 s timer's steps once (the timer calls it).
    void TimerFired();

private:
    // A cell's row look and selection, which a drag image leaves out.
    void DrawCellBackground(DataBrowserPropertyID property, DataBrowserItemID item, DataBrowserItemState state,
                            CGRect rect, CGContextRef context);

    friend OSStatus DataBrowserEventHandler(EventHandlerCallRef, EventRef, void*);
    friend class TDataBrowserCallbacks;

    UInt32 modificationCount_ = 0;
    bool editing_ = false;
    ATSURGBAlphaColor backgroundColor_ = kDataBrowserBackgroundColor;
    CGImageRef selectionImage_ = nullptr;
    DataBrowserPropertyID editColumn_ = kDataBrowserDefaultEditColumn;
    bool dataSourceMissing_ = false;
    TObject* nodeBeingRemoved_ = nullptr;
    UInt16 rowHeight_ = 18;
    Point clickPoint_ = {0, 0};
    // Window coordinates of the last mouse event the control saw.
    Point lastMousePoint_ = {0, 0};
    bool drawingDragImage_ = false;
    DataBrowserPropertyID dragColumn_ = 0;
    bool dragHiliteShown_ = false;
    DataBrowserItemID pendingEditItem_ = 0;
    DataBrowserItemID hoverItem_ = 0;
    UInt32 viewHeight_ = 0;
    UInt32 pendingEditTick_ = 0;
    DataBrowserItemID dragHoverItem_ = 0;
    UInt32 dragHoverTick_ = 0;
    TDataBrowserOptions options_ = 0;
    FSRef dataFile_{};
    SInt16 dataFileValue_ = 0;
    DataBrowserPropertyID drawProperty_ = 0;
    DataBrowserItemState drawState_ = 0;
    CGRect drawRect_ = CGRectZero;
    CGContextRef drawContext_ = nullptr;
    EventLoopTimerRef timer_ = nullptr;
    EventHandlerRef browserHandler_ = nullptr;
    SInt32 selectionBatch_ = 0;
    bool selectionChangedInBatch_ = false;
};

// The item ID at `index` of a selection list (CopySelection); 0 outside it.
DataBrowserItemID DataBrowserSelectionItem(const TTypeArray* selection, SInt32 index);

// The browser object of a data browser control (its ('CFTB', 'DATA')
// property); nil when it has none (the status in Err).
TDataBrowser* DataBrowserObject(ControlRef control);

// The handler of the browser's command and custom-draw events.
OSStatus DataBrowserEventHandler(EventHandlerCallRef callRef, EventRef event, void* browser);

// The small floating window in which a browser item's text is edited: the
// nib window "EditBrowserText" with a text field ('TEXT', 128). When it
// closes, the browser hears the text through HandleEditTextFinished.
class TEditTextWindow : public TContextualWindow {
    BRINDLET_CLASS(TEditTextWindow, TContextualWindow)

public:
    static TEditTextWindow* Create(IBNibRef nib, TDataBrowser* browser, DataBrowserItemID item);

    void Deallocate() override;
    // Shows the window with its field 4 units up and left of `point`, the
    // field focused with its text selected, and the I-beam cursor.
    void ShowAtPoint(CGPoint point) override;
    virtual void SetText(CFStringRef text);
    // The field's text (new, the caller releases it); nil without a field.
    virtual CFStringRef CopyText();

    TDataBrowser* GetBrowser() const { return browser_; }
    DataBrowserItemID GetItem() const { return item_; }

protected:
    TEditTextWindow() = default;

private:
    ControlRef GetField();

    TDataBrowser* browser_ = nullptr;
    DataBrowserItemID item_ = 0;
    // The field, kept: the window is gone by the time the object goes.
    ControlRef field_ = nullptr;
};

inline constexpr ControlID kEditBrowserTextFieldID = {FourCC("TEXT"), 128};
