// Browsers of nodes: a data source owns the items one or more data browsers
// show, as node objects, and answers for them by item ID; a node draws its
// own cells through the browser's cell routines, opens and closes as a
// container, takes part in selection, dragging, inline editing and
// archiving. TBrowser is a data browser bound to a data source: every
// question the control asks about an item is answered by the item's node,
// and rows can be dragged before, after or into other nodes.
//
// The classes here are abstract in practice: the source stores browsers
// but no nodes, and the node's hooks are empty. TListBrowserUnit.h fills
// them for flat lists.
#pragma once

#include <ApplicationFramework/Classes/TDataBrowserUnit.h>
#include <Units/Classes/TArrayUnit.h>
#include <Units/Classes/TResponderUnit.h>

class TBrowserNode;
class TDrag;

// The drag flavours of a dragged row: its item ID, and its node (an object
// reference, meaningful only inside the program that made the drag).
inline constexpr FlavorType kBrowserItemFlavor = FourCC("dbDG");
inline constexpr FlavorType kBrowserNodeFlavor = FourCC("NODE");

class TBrowserDataSource : public TObject {
    BRINDLET_CLASS(TBrowserDataSource, TObject)

public:
    static TBrowserDataSource* Create() { return CreateInstance<TBrowserDataSource>(); }

    void Initialize() override;
    void Deallocate() override;

    // The browser the source works for when it must pick one.
    virtual void SetActiveBrowser(TDataBrowser* browser);
    virtual TDataBrowser* GetActiveBrowser();
    // Nil outside the browsers.
    virtual TDataBrowser* GetBrowser(SInt32 index);
    // The last index (count - 1).
    virtual SInt16 GetBrowserLimit();
    virtual void Reload();
    virtual void RemoveAll();
    // Every selected node of every browser is told to Remove; the nodes
    // are found before the first removal, and each browser reloads once.
    virtual void RemoveSelection();
    virtual UInt32 CountNodes();
    virtual bool TestDataSource();
    // The browsers are not retained: a browser leaves its source when it goes.
    virtual void AppendBrowser(TDataBrowser* browser);
    virtual void RemoveBrowser(TDataBrowser* browser);
    // Every browser adds the item to the container / empties the container.
    virtual void AddItem(DataBrowserItemID container, DataBrowserItemID item);
    virtual void RemoveItems(DataBrowserItemID container);
    // The node of an item ID; nil here.
    virtual TBrowserNode* GetNode(DataBrowserItemID id);
    virtual TBrowserNode* GetNodeAtRow(UInt32 row, SInt32 browserIndex);
    // Whether the browser shows the node; true here.
    virtual bool FilterNode(TBrowserNode* node, TDataBrowser* browser);

    SInt32 CountBrowsers() const;

protected:
    TBrowserDataSource() = default;

private:
    TWeakPointerArray* browsers_ = nullptr;
    SInt32 activeBrowser_ = -1;
};

class TBrowserNode : public TResponder {
    BRINDLET_CLASS(TBrowserNode, TResponder)

public:
    // A node of the source (may be nil).
    static TBrowserNode* Create(TBrowserDataSource* source) { return Make<TBrowserNode>(source); }

    void Initialize() override;
    void Deallocate() override;
    // "system.open" (Boolean) and "system.type" (four characters) after
    // the inherited keys.
    void EncodeData(TArchiver* archiver) override;
    void DecodeData(TArchiver* archiver) override;

    // ---- containers ----
    virtual void OpenContainer();
    virtual void CloseContainer();
    virtual void ToggleContainer();
    virtual void RebuildContainer();
    // The browser reloads.
    virtual void Rebuild();
    // The browser's items directly in the node; 0 without a browser.
    virtual UInt32 CountItems();

    // ---- selection and state ----
    // The node becomes the browser's only selection (by its ID).
    virtual void Select();
    virtual void AppendSelection();
    virtual void SetOpen(bool open);
    virtual void SetRowHeight(UInt16 height);
    virtual void SetAllowsArranging(bool allows);
    virtual bool IsSelected();
    virtual bool IsOpen();
    virtual bool IsExpandable();
    virtual bool IsFirstChild();
    virtual bool IsLastChild();
    virtual bool IsSelectable();
    virtual DataBrowserItemID GetID();
    // The container's ID; 0 at the top level.
    virtual DataBrowserItemID GetContainerID();
    // New data for a drag of the node (the caller releases it); nil here.
    virtual CFDataRef CopyFlavorData();
    // Browser number 0 of the source; nil without a source.
    virtual TDataBrowser* GetBrowser();
    // -1 when the node is not shown.
    virtual SInt32 GetRow();
    // Nil at the top level.
    virtual TBrowserNode* GetContainer();
    virtual CGFloat GetRowWidth();
    virtual UInt16 GetRowHeight();
    // The content / enclosing part of the node's cell in the column
    // (0: the first), control coordinates, as wide as the row; empty when
    // the node is not shown.
    virtual CGRect GetContentBounds(DataBrowserPropertyID property);
    virtual CGRect GetEnclosingBounds(DataBrowserPropertyID property);
    virtual CGRect GetEditBounds(DataBrowserPropertyID property);
    // Where a drag over the node would drop: kDataBrowserTracking….
    virtual SInt16 GetTrackingPart();
    virtual bool GetAllowsArranging();
    // Between the cell's space (its content part's top-left) and the
    // control's, and from the cell to screen pixels.
    virtual CGPoint ConvertPointToView(CGPoint point, DataBrowserPropertyID property);
    virtual CGPoint ConvertPointToCell(CGPoint point, DataBrowserPropertyID property);
    virtual CGPoint ConvertPointToScreen(CGPoint point, DataBrowserPropertyID property);

    // ---- drawing: the cell the browser is drawing ----
    virtual void DrawImage(CGImageRef image);
    virtual void DrawImage(CGImageRef image, CGRect rect);
    virtual void DrawIcon(IconRef icon);
    virtual void DrawIcon(IconRef icon, CGRect rect);
    virtual void DrawText(CFStringRef text);
    virtual void DrawText(CFStringRef text, CGRect rect);
    virtual void DrawCaptionText(CFStringRef text);
    virtual void DrawCaptionText(CFStringRef text, CGRect rect);
    virtual void DrawIconTextCell(IconRef icon, CFStringRef text);
    virtual void DrawImageTextCell(CGImageRef image, CFStringRef text);
    // The row background and selection (not while a drag image is drawn).
    virtual void DrawCell();
    // Redraws the node's row (all its columns).
    virtual void Update();
    virtual void SetNeedsDisplay();
    virtual void SetNeedsDisplayInRect(CGRect rect);

    // ---- animation: HandleAnimation every `interval` seconds ----
    virtual void StartAnimation(double interval);
    virtual bool IsAnimating();
    virtual void StopAnimation();
    virtual void HandleAnimation();

    // ---- editing and removal ----
    // Opens the browser's edit window on the node at once.
    virtual void StartEditSession();
    // Takes the node out: the browser notes it as the node being removed,
    // then HandleRemovedFromSource.
    virtual void Remove();
    virtual void HandleEditedText(CFStringRef text);
    // Whether the node edits its text in the edit window; may change the
    // column, the width and the anchor, and hands the text over in `text`
    // (a new reference the caller releases). False here.
    virtual bool EditItemText(CFStringRef& text, DataBrowserPropertyID& column, CGFloat& width, CGPoint& anchor);

    // ---- hooks ----
    virtual void HandleDoubleClicked();
    virtual void HandleSelected();
    virtual void HandleDeselected();
    virtual void HandleRemoved();
    virtual void HandleMoved();
    using TResponder::HandleNotification;
    // Every item notification of the node, after the reactions above.
    virtual void HandleNotification(DataBrowserItemNotification message);
    virtual void HandleAddedToSource();
    virtual void HandleContainerOpened();
    virtual void HandleContainerClosed();
    // Whether the node may be removed with the selection; true here.
    virtual bool HandleRemoveItem();
    virtual bool HandleCompareItem(TBrowserNode* other, DataBrowserPropertyID property);
    // Whether the mouse rectangle hits the node's content in the cell; false here.
    virtual bool HandleHitTest(CGRect rect, CGRect mouseRect);
    virtual void HandleRemovedFromSource();
    virtual void HandleDrawItem(DataBrowserPropertyID property, DataBrowserItemState state, CGRect rect,
                                CGContextRef context);
    // The node's part of a drag image; HandleDrawItem here.
    virtual void HandleDrawDragImage(DataBrowserPropertyID property, DataBrowserItemState state, CGRect rect,
                                     CGContextRef context);
    // The drop indicator while a drag tracks over the node.
    virtual void HandleDrawTracking(CGRect rect, CGContextRef context);
    // A menu for the node (the browser releases it); nil here.
    virtual MenuRef HandleContextualMenu();
    virtual void HandleContextualMenuSelection(MenuRef menu, MenuID menuID, MenuItemIndex item);
    // Mouse hooks with the point in the cell.
    virtual void HandleMouseDown(CGPoint point);
    virtual void HandleMouseUp(CGPoint point);
    // A mouse-up at exactly the point of the mouse-down.
    virtual void HandleMouseClicked(CGPoint point);
    virtual void HandleMouseEntered(CGPoint point);
    virtual void HandleMouseExited(CGPoint point);
    virtual void HandleMouseMoved(CGPoint point);
    virtual void HandleMouseDragged(CGPoint point);
    virtual bool HandleReceiveDrag(TDrag* drag);
    // Rows dropped on or next to the node: refused unless every dragged
    // row is one HandleArrangeRow agrees to.
    virtual bool HandleAcceptDrag(TDrag* drag);
    // Whether the node may be dragged: the browser drags rows (option 32).
    virtual bool HandleAddDragItem(TDrag* drag);
    // Whether `other` may be dropped on or next to this node: both in the
    // same browser.
    virtual bool HandleArrangeRow(TBrowserNode* other);
    // The control's questions about the node's cells.
    virtual void SetItemData(DataBrowserPropertyID property, DataBrowserItemDataRef itemData);
    virtual void SetItemText(DataBrowserPropertyID property, CFStringRef text);
    virtual void SetItemCheckBox(DataBrowserPropertyID property, bool checked);
    // Active (1) or editable (3) for the column; true here.
    virtual bool SetItemProperty(DataBrowserPropertyID column, DataBrowserPropertyID property);
    // A command of a contextual menu; `result` noErr when handled.
    virtual void ProcessCommand(const HICommand& command, OSStatus& result);
    virtual UInt32 SwapBytes(UInt32 value);
    virtual void ConvertFormat(OSType format, CFDataRef data);

    // ---- the node's fields ----
    OSType GetType() const { return type_; }
    void SetType(OSType type) { type_ = type; }
    void SetID(DataBrowserItemID id) { id_ = id; }
    TBrowserDataSource* GetDataSource() const { return dataSource_; }
    // Not retained: the source holds its nodes.
    void SetDataSource(TBrowserDataSource* source) { dataSource_ = source; }
    void SetTrackingPart(SInt16 part) { trackingPart_ = part; }

protected:
    TBrowserNode() = default;

    template <typename T>
    static T* Make(TBrowserDataSource* source)
    {
        T* node = AllocateInstance<T>();
        node->dataSource_ = source;
        node->Initialize();
        return node;
    }

private:
    friend class TBrowserNodeTimer;

    OSType type_ = FourCC("????");
    DataBrowserItemID id_ = 0;
    bool open_ = false;
    TBrowserDataSource* dataSource_ = nullptr;
    SInt16 trackingPart_ = kDataBrowserTrackingNone;
    EventLoopTimerRef animationTimer_ = nullptr;
    bool allowsArranging_ = true;
};

// The node a drag item's 'NODE' flavour names, when it is exactly one
// reference to a live node of this program; nil otherwise.
TBrowserNode* BrowserNodeFromDrag(TDrag* drag, UInt16 index);

class TBrowser : public TDataBrowser {
    BRINDLET_CLASS(TBrowser, TDataBrowser)

public:
    static TBrowser* Create(ControlRef control, TView* owner, TDataBrowserOptions options)
    {
        return static_cast<TBrowser*>(CreateWithClass(StaticClass(), control, owner, options));
    }

    void Initialize() override;
    void Deallocate() override;

    // A new source for a browser made without one (the browser owns it);
    // nil here.
    virtual TBrowserDataSource* AllocateSource();
    // Fills the source after Initialize; nothing here.
    virtual void Populate();
    // Every item of the control, then every node of the source.
    virtual void Clear();
    // Retains the source, joins its browsers and reloads.
    virtual void SetDataSource(TBrowserDataSource* source);
    virtual TObject* GetFocusTarget();
    // The node of the first selected item; nil with no selection.
    virtual TBrowserNode* GetSelection();
    virtual SInt16 GetTrackingPart();
    // The node under a drag that accepted it; nil otherwise.
    virtual TBrowserNode* GetTrackingNode();
    // The menu for a selection of several items (released by the caller); nil here.
    virtual MenuRef HandleContextualMenu(TTypeArray* selection);
    // Runs the chosen item's command through the selected nodes until one handles it.
    virtual void HandleContextualMenuSelection(MenuRef menu, MenuID menuID, MenuItemIndex menuItem);
    // The whole drag image at once (option 64); nothing here.
    virtual void HandleDrawDragImage(DataBrowserItemID item, DataBrowserPropertyID property, DataBrowserItemState state,
                                     CGRect rect, CGContextRef context);
    using TDataBrowser::HandleAcceptDrag;
    using TDataBrowser::HandleAddDragItem;
    using TDataBrowser::HandleReceiveDrag;
    // A drag over no accepting node; false here.
    virtual bool HandleAcceptDrag(TDrag* drag);
    virtual bool HandleNodeAcceptDrag(TBrowserNode* node, TDrag* drag);
    // A drop on no accepting node; false here.
    virtual bool HandleReceiveDrag(TDrag* drag);
    virtual bool HandleAddDragItem(TDrag* drag);
    virtual void CreateDefaultSource();
    // The rows being dragged, drawn through their nodes, as the drag image.
    void CreateDragImage(DataBrowserItemID item, DragRef drag) override;

    TBrowserDataSource* GetSource() const { return dataSource_; }
    // The node of an item; nil without a source or node.
    TBrowserNode* GetNode(DataBrowserItemID item);
    CGPoint GetMouseDownPoint() const { return mouseDownPoint_; }

    // ---- TDataBrowser ----
    // Removes the selected nodes that agree, found before the first goes,
    // then rebuilds once.
    void ClearSelection(bool deep) override;
    void HandleRemoveItem(DataBrowserItemID item, DataBrowserItemState state) override;
    void EventDragLeave(DragRef drag, OSStatus& result) override;
    void DrawControl(CGContextRef context, CGRect bounds, OSStatus& result) override;
    CGRect GetItemBounds(DataBrowserItemID item, DataBrowserPropertyID property) override;
    CGRect GetEditTextBounds(DataBrowserItemID item, DataBrowserPropertyID property) override;
    bool TestDataSource() override;
    OSStatus HandleItemData(DataBrowserItemID item, DataBrowserPropertyID property, DataBrowserItemDataRef itemData,
                            bool setValue) override;
    void HandleItemNotification(DataBrowserItemID item, DataBrowserItemNotification message) override;
    bool HandleItemCompare(DataBrowserItemID first, DataBrowserItemID second, DataBrowserPropertyID property) override;
    void HandleDrawItem(DataBrowserItemID item, DataBrowserPropertyID property, DataBrowserItemState state,
                        CGContextRef context, CGRect rect) override;
    bool HandleHitTest(DataBrowserItemID item, DataBrowserPropertyID property, const Rect& rect,
                       const Rect& mouseRect) override;
    DataBrowserTrackingResult HandleTracking(DataBrowserItemID item, DataBrowserPropertyID property, const Rect& rect,
                                             Point startPoint, EventModifiers modifiers) override;
    void HandleMouseDown(DataBrowserItemID item, CGPoint point) override;
    void HandleMouseUp(DataBrowserItemID item, CGPoint point) override;
    void HandleMouseEntered(DataBrowserItemID item, CGPoint point) override;
    void HandleMouseExited(DataBrowserItemID item, CGPoint point) override;
    void HandleMouseMoved(DataBrowserItemID item, CGPoint point) override;
    void HandleMouseDragged(DataBrowserItemID item, CGPoint point) override;
    DataBrowserPropertyID HandleEditTextColumn(DataBrowserItemID item) override;
    bool HandleEditTextWindow(DataBrowserItemID item, DataBrowserPropertyID column, CGPoint& anchor, CGFloat& width,
                              CFStringRef& text) override;
    void HandleEditTextFinished(DataBrowserItemID item, CFStringRef text) override;
    void HandleGetContextualMenu(MenuRef* menu, UInt32* helpType, CFStringRef* helpItemString,
                                 AEDesc* selection) override;
    void HandleSelectContextualMenu(MenuRef menu, UInt32 selectionType, MenuID menuID, MenuItemIndex menuItem) override;
    void HandleTrackingDrag(DataBrowserItemID item, TDrag* drag, CGPoint point) override;
    bool HandleAcceptDrag(DragRef drag, DataBrowserItemID item) override;
    bool HandleReceiveDrag(DragRef drag, DataBrowserItemID item) override;
    bool HandleAddDragItem(DragRef drag, DataBrowserItemID item, ItemReference* itemRef) override;

protected:
    TBrowser() = default;

    // The selected nodes (all levels), retained in a new list the caller
    // releases; found before anything changes.
    TObjectArray* CopySelectedNodes(bool deep);

private:
    TBrowserDataSource* dataSource_ = nullptr;
    TBrowserNode* trackingNode_ = nullptr;
    CGPoint mouseDownPoint_ = {0, 0};
};
