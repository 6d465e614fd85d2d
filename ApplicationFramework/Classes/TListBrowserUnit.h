// Flat, reorderable lists on the browser machinery: a list data source
// keeps its nodes in one array whose order is the row order and whose
// positions give the item IDs (position + 1); list nodes add removal and
// the rules for dropping rows between other rows; an icon-and-text node is
// a ready row with a text and an icon or image; a list browser can make its
// own list source and moves dragged rows inside the list.
#pragma once

#include <ApplicationFramework/Classes/TBrowserUnit.h>

class TListDataSource : public TBrowserDataSource {
    BRINDLET_CLASS(TListDataSource, TBrowserDataSource)

public:
    static TListDataSource* Create() { return CreateInstance<TListDataSource>(); }

    void Initialize() override;
    void Deallocate() override;
    // One child archive per node, in row order, after the inherited keys.
    void EncodeData(TArchiver* archiver) override;
    // Rebuilds and appends a node for every child archive that holds one.
    void DecodeData(TArchiver* archiver) override;

    // The list does not renumber here: UpdateIndexing or Reload do.
    virtual void Append(TBrowserNode* node);
    // The index is kept within 0 … count.
    virtual void InsertAtIndex(SInt32 index, TBrowserNode* node);
    virtual void RemoveAIndex(SInt32 index);
    virtual SInt32 RowCount();
    // The array itself (borrowed).
    virtual TObjectArray* GetNodes();
    virtual TBrowserNode* GetValue(SInt32 index);
    virtual SInt32 Limit();
    // Every node's ID becomes its position + 1.
    virtual void UpdateIndexing();

    // Every browser shows the nodes in order, renumbered.
    void Reload() override;
    void RemoveAll() override;
    bool TestDataSource() override;
    TBrowserNode* GetNode(DataBrowserItemID id) override;
    UInt32 CountNodes() override;

protected:
    TListDataSource() = default;

private:
    TObjectArray* nodes_ = nullptr;
    // The nodes as they stood at the last renumbering: what the IDs name.
    TObjectArray* indexed_ = nullptr;
};

class TListNode : public TBrowserNode {
    BRINDLET_CLASS(TListNode, TBrowserNode)

public:
    static TListNode* Create(TBrowserDataSource* source) { return Make<TListNode>(source); }

    void Update() override;
    // Also takes the node out of its list source.
    void Remove() override;
    // Refuses a drop that would leave the order as it is.
    bool HandleArrangeRow(TBrowserNode* other) override;

protected:
    TListNode() = default;
};

class TIconTextListNode : public TListNode {
    BRINDLET_CLASS(TIconTextListNode, TListNode)

public:
    static TIconTextListNode* Create(TBrowserDataSource* source) { return Make<TIconTextListNode>(source); }

    void Deallocate() override;
    // "node.text" after the node's keys; icons and images are not archived.
    void EncodeData(TArchiver* archiver) override;
    void DecodeData(TArchiver* archiver) override;

    virtual CFStringRef GetText();
    virtual IconRef GetIcon();
    // Keeps a copy of the text (nil clears it).
    virtual void SetText(CFStringRef text);
    virtual void SetIcon(IconRef icon);
    virtual void SetImage(CGImageRef image);
    CGImageRef GetImage() const { return image_; }

    void HandleEditedText(CFStringRef text) override;
    void SetItemData(DataBrowserPropertyID property, DataBrowserItemDataRef itemData) override;
    void SetItemText(DataBrowserPropertyID property, CFStringRef text) override;
    bool HandleHitTest(CGRect rect, CGRect mouseRect) override;
    void HandleDrawItem(DataBrowserPropertyID property, DataBrowserItemState state, CGRect rect,
                        CGContextRef context) override;

protected:
    TIconTextListNode() = default;

private:
    CFStringRef text_ = nullptr;
    IconRef icon_ = nullptr;
    CGImageRef image_ = nullptr;
};

class TListBrowser : public TBrowser {
    BRINDLET_CLASS(TListBrowser, TBrowser)

public:
    static TListBrowser* Create(ControlRef control, TView* owner, TDataBrowserOptions options)
    {
        return static_cast<TListBrowser*>(CreateWithClass(StaticClass(), control, owner, options));
    }

    // With option 128 the browser makes its own list source.
    void Initialize() override;
    // Moves the dragged rows of this list to the drop position.
    bool ReceiveDrag(TDrag* drag) override;
    void Reload() override;

    // Puts the node where a drag is tracking (appended without one), then
    // reloads and selects it.
    virtual void InsertDrag(TBrowserNode* node);
    // Appends without reloading.
    virtual void Append(TBrowserNode* node);
    // The list source; nil when the browser's source is none or not a list.
    virtual TListDataSource* GetDataSource();
    virtual TObjectArray* GetList();

protected:
    TListBrowser() = default;
};

// Registers the archivable list classes.
void InitializeTListBrowserUnit();
