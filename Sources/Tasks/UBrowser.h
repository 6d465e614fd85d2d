// The task outline of one task-list card: it owns the invisible root row
// whose children are the card's top-level rows, lays the visible rows out
// one under the other with an indent per level, keeps the selection and the
// drop target, turns keys into outline operations, receives dragged rows
// and archives the whole tree, each row's children nested in its archive.
//
// The outline is not a sprite: the card calls it from its own drawing and
// event handlers. Its class is registered and archived under the name
// "TBrowser", the name sheet files carry; the framework's data browser,
// which shares the name in C++, stays out of the class registry.
#pragma once

#include <Sources/Tasks/UTask.h>

class TDrag;

namespace brindlet {

class TTaskOutline : public TBrowserProtocol {
    BRINDLET_CLASS(TTaskOutline, TBrowserProtocol)

public:
    // Retains `root`; `card` holds the outline (not retained).
    static TTaskOutline* Create(TTask* root, TCardProtocol* card);

    // The most rows one layout shows.
    static constexpr SInt16 kRowLimit = 1000;
    // The indent of each level of the outline.
    static constexpr CGFloat kIndent = 24;

    void Initialize() override;
    void Deallocate() override;
    // The copy belongs to the card handed to Copy as its parameter.
    void CopyInstanceVariables(TObject* source) override;
    void EncodeData(TArchiver* archiver) override;
    // The archive's context is the card being decoded.
    void DecodeData(TArchiver* archiver) override;

    // ---- the protocol ----
    TTaskProtocol* GetSelection() override { return selection_; }
    void SetSelection(TTaskProtocol* task) override;
    void Deselect(TTaskProtocol* task) override;
    void RemoveTask(TTaskProtocol* task, Boolean selectPrevious) override;
    // Every row of the tree in pre-order, whatever is open; the caller
    // releases the list.
    TArray* CopyTasks() override;
    TTaskProtocol* GetRoot() override { return root_; }
    void IndentSelection(Boolean indent) override;

    // ---- the outline ----
    void SetOwner(TCardProtocol* card) { owner_ = card; }
    UInt32 GetHeight() const { return height_; }
    // The last layout's rectangle, in canvas coordinates.
    CGRect GetFrame() const;
    TCardProtocol* GetOwner() const { return owner_; }
    TTask* GetRootTask() const { return root_; }
    TTask* GetSelectedTask() const { return selection_; }
    UInt32 GetBottom() const { return bottom_; }
    // The rows of the last layout, in display order (row n is item n - 1).
    TWeakPointerArray* GetRows() const { return rows_; }
    TTask* GetDropTarget() const { return dropTarget_; }
    TTask* GetHoverRow() const { return hoverRow_; }
    void InsertTask(TTask* task);
    void RemoveAll();
    void MoveSelection(Boolean up);
    void RemoveSelection();
    void EditSelection();
    void ClearSelection();
    // Clears the selection when it is `task`, without redisplay.
    void ClearSelection(TTask* task);

    // Lays the visible rows out from the rectangle's top left (y growing
    // downwards) and lets each draw itself into its rectangle (`context`
    // may be nil: layout alone); answers the height of the rows.
    UInt32 Draw(CGRect rect, CGContextRef context);
    void DrawTracking(CGContextRef context);
    void DrawSelection(CGContextRef context);

    // Events; the modifiers come before the key code. The outline never
    // changes `status` itself.
    void KeyDown(UInt32 modifiers, UInt32 keyCode, char character, OSStatus& status);
    Boolean MouseDown(CGPoint point, SInt32 clickCount, OSStatus& status);
    void MouseDragged(CGPoint point, OSStatus& status);
    void ContextualClick(CGPoint point, OSStatus& status);
    // `point` in canvas coordinates.
    void TrackDrag(TDrag* drag, CGPoint point);
    // Moves (or, with the option key alone, copies) a dragged row to the
    // drop target; false when the drop is refused.
    Boolean ReceiveDrag(TTask* task, TDrag* drag);
    void ClearTracking();
    Boolean IsTracking() const { return dropTarget_ != nullptr; }
    void Update();
    void NotifyTasksChanged();

    // Undo and redo of the row actions ("Insert", "Delete", "Move") that the
    // card's "HandleUndoAction" and "HandleRedoAction" receive; posts
    // "SyncSheetChanged". Other names change nothing.
    void PerformTaskAction(TTypeDictionary* info, Boolean redo);

    // Whether `task` is a row of this outline's tree now (compares
    // addresses only, so a row freed meanwhile is safely answered no).
    Boolean HoldsTask(const TTask* task) const;

protected:
    TTaskOutline() = default;

    void UnarchiveTasks(TTask* task, TArchiver* archiver, SInt32 depth);
    void ArchiveTasks(TTask* task, TArchiver* archiver);
    void DrawAll(TTask* task, CGPoint& offset, SInt32& row, Boolean& reachedLimit, CGContextRef context);
    void CopyTasksRecursive(TTask* task, TArray* array);

private:
    // The laid-out row of a row number, when it is still in the tree.
    TTask* RowAt(SInt32 row) const;
    // Forgets a selection or drop target that is no longer a row of the
    // tree (a row taken out elsewhere may be gone already).
    void ForgetRowsOutsideTheTree();
    CGPoint ToCard(CGPoint point) const;

    TTask* root_ = nullptr;
    TCardProtocol* owner_ = nullptr;
    UInt32 height_ = 0;
    UInt32 bottom_ = 0;
    CGRect frame_ = CGRectZero;
    TWeakPointerArray* rows_ = nullptr;
    TTask* selection_ = nullptr;
    TTask* dropTarget_ = nullptr;
    TTask* draggedRow_ = nullptr;
    TTask* hoverRow_ = nullptr;
    SInt16 rowLimit_ = kRowLimit;
};

// Registers the outline under "TBrowser".
void InitializeUBrowserUnit();

}  // namespace brindlet
