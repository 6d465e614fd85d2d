#include "UBrowser.h"

#include <SpriteEngine/SCCanvas.h>

#include <ApplicationFramework/Classes/TDragUnit.h>
#include <Units/Classes/TArchiverUnit.h>

#include <CarbonCore/CarbonEvents.h>

#include <cmath>
#include <unordered_set>
#include <vector>

namespace brindlet {

// Archived under the name sheet files carry.
const ClassInfo& TTaskOutline::StaticClass()
{
    static const ClassInfo info{
        "TBrowser", &TBrowserProtocol::StaticClass(), []() -> TObject* { return TTaskOutline::Allocate(); }, {}};
    return info;
}

namespace {

// Nesting deeper than this in a file is not a task list anyone wrote; the
// rows below it are left out rather than running the stack out.
constexpr SInt32 kMaximumArchiveDepth = 256;

// Key codes and the modifiers the outline answers.
enum : UInt32 {
    kReturnKey = 36,
    kTabKey = 48,
    kSpaceKey = 49,
    kDeleteKey = 51,
    kEnterKey = 76,
    kLeftArrowKey = 123,
    kRightArrowKey = 124,
    kDownArrowKey = 125,
    kUpArrowKey = 126,
};

TTask* AsTask(TTaskProtocol* task)
{
    return MemberOfClass(task, TTask::StaticClass()) ? static_cast<TTask*>(task) : nullptr;
}

void CollectTree(const TTask* task, std::unordered_set<const TTask*>& rows)
{
    for (SInt32 i = 0; i < task->GetChildCount(); ++i) {
        const TTask* child = task->GetChildAtIndex(i);
        rows.insert(child);
        CollectTree(child, rows);
    }
}

SInt32 IndexInParent(const TTask* task)
{
    const TTask* parent = task->GetParent();
    return parent != nullptr ? parent->GetChildren()->GetIndex(task) : -1;
}

}  // namespace

TTaskOutline* TTaskOutline::Create(TTask* root, TCardProtocol* card)
{
    TTaskOutline* outline = AllocateInstance<TTaskOutline>();
    RetainObject(outline->root_, root);
    outline->owner_ = card;
    outline->Initialize();
    return outline;
}

void TTaskOutline::Initialize()
{
    Inherited::Initialize();
    if (rows_ == nullptr)
        rows_ = TWeakPointerArray::Create();
    rowLimit_ = kRowLimit;
}

void TTaskOutline::Deallocate()
{
    ReleaseObject(rows_);
    ReleaseObject(root_);
    Inherited::Deallocate();
}

void TTaskOutline::CopyInstanceVariables(TObject* object)
{
    Inherited::CopyInstanceVariables(object);
    TTaskOutline* source = static_cast<TTaskOutline*>(object);
    owner_ = static_cast<TCardProtocol*>(GetCopyParameters());
    frame_ = source->GetFrame();
    if (source->root_ != nullptr)
        root_ = static_cast<TTask*>(source->root_->Copy());
}

// ---- archive ----

void TTaskOutline::EncodeData(TArchiver* archiver)
{
    Inherited::EncodeData(archiver);
    if (root_ != nullptr)
        ArchiveTasks(root_, archiver);
}

void TTaskOutline::DecodeData(TArchiver* archiver)
{
    Inherited::DecodeData(archiver);
    owner_ = static_cast<TCardProtocol*>(archiver->GetContext());
    ReleaseObject(root_);
    root_ = TTask::Create(nullptr, owner_);
    UnarchiveTasks(root_, archiver, 0);
}

void TTaskOutline::ArchiveTasks(TTask* task, TArchiver* archiver)
{
    for (SInt32 i = 0; i < task->GetChildCount(); ++i) {
        TTask* child = task->GetChildAtIndex(i);
        if (!child->AllowArchiving())
            continue;
        TArchiver* archive = child->CopyArchive();
        if (child->GetChildCount() > 0)
            ArchiveTasks(child, archive);
        archiver->AppendArchive(archive);
        archive->Release();
    }
}

void TTaskOutline::UnarchiveTasks(TTask* task, TArchiver* archiver, SInt32 depth)
{
    if (depth >= kMaximumArchiveDepth)
        return;
    for (SInt32 i = 0; i <= archiver->Limit(); ++i) {
        TArchiver* archive = archiver->CopyArchive(i);
        if (archive == nullptr)
            continue;
        TTask* child = AllocateFromArchiveAs<TTask>(archive, static_cast<void*>(nullptr));
        if (child != nullptr) {
            task->Append(child);
            if (archive->Limit() >= 0)
                UnarchiveTasks(child, archive, depth + 1);
            child->Release();
        }
        archive->Release();
    }
}

// ---- queries ----

CGRect TTaskOutline::GetFrame() const
{
    if (owner_ == nullptr)
        return frame_;
    const CGPoint origin = owner_->GetLocation();
    return CGRectOffset(frame_, origin.x, origin.y);
}

TArray* TTaskOutline::CopyTasks()
{
    TObjectArray* tasks = TObjectArray::Create();
    if (root_ != nullptr)
        CopyTasksRecursive(root_, tasks);
    return tasks;
}

void TTaskOutline::CopyTasksRecursive(TTask* task, TArray* array)
{
    for (SInt32 i = 0; i < task->GetChildCount(); ++i) {
        TTask* child = task->GetChildAtIndex(i);
        array->AppendValue(child);
        CopyTasksRecursive(child, array);
    }
}

Boolean TTaskOutline::HoldsTask(const TTask* task) const
{
    if (task == nullptr || root_ == nullptr)
        return false;
    std::unordered_set<const TTask*> rows;
    CollectTree(root_, rows);
    return rows.count(task) > 0;
}

TTask* TTaskOutline::RowAt(SInt32 row) const
{
    TTask* task = static_cast<TTask*>(rows_->GetValue(row - 1));
    return HoldsTask(task) ? task : nullptr;
}

void TTaskOutline::ForgetRowsOutsideTheTree()
{
    if (selection_ == nullptr && dropTarget_ == nullptr)
        return;
    std::unordered_set<const TTask*> tree;
    if (root_ != nullptr)
        CollectTree(root_, tree);
    if (selection_ != nullptr && tree.count(selection_) == 0)
        selection_ = nullptr;
    if (dropTarget_ != nullptr && tree.count(dropTarget_) == 0)
        dropTarget_ = nullptr;
}

CGPoint TTaskOutline::ToCard(CGPoint point) const
{
    if (owner_ == nullptr)
        return point;
    const CGPoint origin = owner_->GetLocation();
    return CGPointMake(point.x - origin.x, point.y - origin.y);
}

void TTaskOutline::Update()
{
    if (owner_ != nullptr)
        owner_->UpdateFace();
}

void TTaskOutline::RemoveAll()
{
    if (root_ != nullptr)
        root_->GetChildren()->RemoveAll();
    rows_->RemoveAll();
    selection_ = dropTarget_ = draggedRow_ = hoverRow_ = nullptr;
}

// ---- selection ----

void TTaskOutline::SetSelection(TTaskProtocol* task)
{
    TTask* row = AsTask(task);
    if (row == nullptr)
        return;
    selection_ = row;
    if (owner_ != nullptr)
        owner_->SetNeedsDisplay();
}

void TTaskOutline::Deselect(TTaskProtocol* task)
{
    if (task == nullptr || task != selection_)
        return;
    selection_ = nullptr;
    if (owner_ != nullptr)
        owner_->SetNeedsDisplay();
}

void TTaskOutline::ClearSelection()
{
    if (selection_ == nullptr)
        return;
    selection_ = nullptr;
    if (owner_ != nullptr)
        owner_->SetNeedsDisplay();
}

void TTaskOutline::ClearSelection(TTask* task)
{
    if (task != nullptr && task == selection_)
        selection_ = nullptr;
}

void TTaskOutline::DrawSelection(CGContextRef context)
{
    ForgetRowsOutsideTheTree();
    if (selection_ != nullptr)
        selection_->DrawSelection(context);
}

void TTaskOutline::DrawTracking(CGContextRef context)
{
    ForgetRowsOutsideTheTree();
    if (dropTarget_ != nullptr)
        dropTarget_->DrawTracking(context);
}

// ---- editing ----

void TTaskOutline::EditSelection()
{
    ForgetRowsOutsideTheTree();
    if (selection_ != nullptr)
        selection_->BeginEditing();
    Update();
}

void TTaskOutline::RemoveSelection()
{
    ForgetRowsOutsideTheTree();
    if (selection_ != nullptr)
        RemoveTask(selection_, true);
}

void TTaskOutline::RemoveTask(TTaskProtocol* object, Boolean selectPrevious)
{
    TTask* task = AsTask(object);
    if (task == nullptr || !task->RequestRemove())
        return;
    ClearSelection(task);
    if (TUndoManager* undo = TUndoManager::SharedManager()) {
        undo->RemoveAllActions(owner_, UndoableTaskActionCallback, task);
        if (owner_ != nullptr)
            undo->AppendAction("Delete", owner_, task);
    }
    const SInt32 row = task->GetRow();
    // The undo action holds the row; without one, this may free it.
    task->Remove();
    if (selectPrevious && row > 1)
        if (TTask* above = RowAt(row - 1))
            SetSelection(above);
    if (owner_ != nullptr)
        owner_->AdjustHeight();
    NotifyTasksChanged();
    Update();
}

void TTaskOutline::InsertTask(TTask* task)
{
    ForgetRowsOutsideTheTree();
    if (task == nullptr || root_ == nullptr)
        return;
    if (selection_ == nullptr) {
        root_->Append(task);
        root_->SetOpen(true);
    } else if (selection_->IsContainer()) {
        selection_->Append(task);
        selection_->SetOpen(true);
    } else if (TTask* parent = selection_->GetParent()) {
        parent->Insert(task, IndexInParent(selection_) + 1);
    }
}

void TTaskOutline::IndentSelection(Boolean indent)
{
    ForgetRowsOutsideTheTree();
    TTask* task = selection_;
    TTask* parent = task != nullptr ? task->GetParent() : nullptr;
    if (parent == nullptr)
        return;
    if (indent) {
        TTask* sibling = parent->GetChildAtIndex(IndexInParent(task) - 1);
        if (sibling == nullptr || !sibling->AllowsIndenting())
            return;
        task->Retain();
        task->Remove();
        sibling->Append(task);
        sibling->SetCompleted(false);
        sibling->SetOpen(true);
        task->Release();
    } else {
        TTask* grandparent = parent->GetParent();
        if (grandparent == nullptr || !parent->AllowsIndenting())
            return;
        task->Retain();
        task->Remove();
        grandparent->Insert(task, IndexInParent(parent) + 1);
        parent->SetCompleted(false);
        parent->SetOpen(true);
        task->Release();
    }
    Update();
}

void TTaskOutline::MoveSelection(Boolean up)
{
    ForgetRowsOutsideTheTree();
    const SInt32 count = rows_->Count();
    SInt32 current = selection_ != nullptr ? selection_->GetRow() : (up ? count + 1 : 0);
    if (up) {
        const SInt32 target = current - 1 < 1 ? 1 : current - 1;
        if (TTask* row = RowAt(target))
            SetSelection(row);
    } else if (current + 1 <= count) {
        if (TTask* row = RowAt(current + 1))
            SetSelection(row);
    } else {
        ClearSelection();
    }
}

void TTaskOutline::NotifyTasksChanged()
{
    if (owner_ != nullptr)
        owner_->HandleTaskChanged();
    TSystemResponder::PostNotification("com.orvandel.Brindlet.taskChanged");
    TResponder::PostNotification("SyncSheetChanged");
}

// ---- layout ----

UInt32 TTaskOutline::Draw(CGRect rect, CGContextRef context)
{
    ForgetRowsOutsideTheTree();
    rows_->RemoveAll();
    height_ = 0;
    SInt32 row = 0;
    Boolean reachedLimit = false;
    CGPoint offset = CGPointZero;
    frame_.origin = rect.origin;
    frame_.size.width = rect.size.width;
    if (root_ != nullptr) {
        root_->SetOwner(owner_);
        if (root_->GetChildCount() > 0)
            DrawAll(root_, offset, row, reachedLimit, context);
    }
    bottom_ = static_cast<UInt32>(std::trunc(height_ + frame_.origin.y));
    frame_.size.height = height_;
    return height_;
}

void TTaskOutline::DrawAll(TTask* task, CGPoint& offset, SInt32& row, Boolean& reachedLimit, CGContextRef context)
{
    const CGFloat screenHeight = TSpriteCanvas::MainScreenFrame().size.height;
    for (SInt32 index = 0; index < task->GetChildCount(); ++index) {
        if (reachedLimit)
            return;
        TTask* child = task->GetChildAtIndex(index);
        child->SetParent(task);
        child->SetOwner(owner_);
        const bool hidden =
            (owner_ != nullptr && owner_->GetHideCompletedTasks() && child->IsCompleted()) || child->IsHiddenByDate();
        if (hidden) {
            // Nor may the selection hide anywhere inside it.
            if (selection_ != nullptr && selection_->ContainsTask(child))
                Deselect(selection_);
            continue;
        }
        if (++row >= rowLimit_)
            reachedLimit = true;
        child->SetChildID(static_cast<UInt16>(index));
        child->SetRow(static_cast<UInt16>(row));

        // The row measures itself first, so that it is drawn, and the rows
        // below it placed, at its own height: a row never drawn before (a
        // card just read from its sheet) is as tall as it will stay.
        CGRect rect =
            CGRectMake(frame_.origin.x + offset.x, frame_.origin.y + offset.y, 0, child->GetDimensions().height);
        rect.size.width = CGRectGetMaxX(frame_) - rect.origin.x;
        child->Layout(rect);
        const CGSize size = child->GetDimensions();
        rect.size.height = size.height;
        child->SetFrame(rect);
        rows_->AppendValue(child);
        height_ += static_cast<UInt32>(std::trunc(size.height));
        // A screen of no height is no screen: then only the row limit counts.
        if (screenHeight > 0 && height_ > screenHeight)
            reachedLimit = true;
        if (context != nullptr) {
            CGContextSaveGState(context);
            CGContextClipToRect(context, rect);
            child->Paint(context);
            CGContextRestoreGState(context);
        }
        offset.y += size.height;
        if (child->GetChildCount() > 0 && child->IsOpen()) {
            offset.x += kIndent;
            DrawAll(child, offset, row, reachedLimit, context);
            offset.x -= kIndent;
        }
    }
}

// ---- keys ----

void TTaskOutline::KeyDown(UInt32 modifiers, UInt32 keyCode, char character, OSStatus& status)
{
    ForgetRowsOutsideTheTree();
    if (selection_ != nullptr) {
        selection_->KeyDown(modifiers, keyCode, character, status);
        if (status != eventNotHandledErr)
            return;
    }
    const bool editable = owner_ != nullptr && owner_->IsEditable();
    if (editable && static_cast<unsigned char>(character) >= '+') {
        if (character == '+' || character == '\\') {
            if (selection_ != nullptr)
                selection_->ToggleIsContainer();
        } else if (character == 'e' && modifiers == 0) {
            EditSelection();
        } else if (character == 't' && modifiers == 0 && selection_ != nullptr) {
            selection_->ToggleDate();
        }
    }
    if (keyCode == kDownArrowKey)
        MoveSelection(false);
    else if (keyCode == kUpArrowKey)
        MoveSelection(true);
    if (!editable)
        return;
    switch (keyCode) {
    case kReturnKey:
        if (modifiers == cmdKey)
            EditSelection();
        break;
    case kTabKey:
        IndentSelection(modifiers != optionKey);
        break;
    case kSpaceKey:
        if (selection_ != nullptr)
            selection_->ToggleCompleted();
        break;
    case kDeleteKey:
        RemoveSelection();
        break;
    case kEnterKey:
        EditSelection();
        break;
    case kLeftArrowKey:
    case kRightArrowKey:
        if (TTask* task = selection_) {
            const bool open = keyCode == kRightArrowKey;
            if (task->IsContainer()) {
                task->SetOpen(open);
                task->Update();
                if (owner_ != nullptr)
                    owner_->AdjustHeight();
            }
            task->MoveDate(open);
        }
        break;
    default:
        break;
    }
}

// ---- mouse ----

Boolean TTaskOutline::MouseDown(CGPoint point, SInt32 clickCount, OSStatus& status)
{
    Boolean select = false;
    for (void* value : *rows_) {
        TTask* row = static_cast<TTask*>(value);
        if (!row->MouseDown(point, clickCount, select, status))
            continue;
        if (select)
            SetSelection(row);
        break;
    }
    return select;
}

void TTaskOutline::MouseDragged(CGPoint point, OSStatus& status)
{
    for (void* value : *rows_) {
        TTask* row = static_cast<TTask*>(value);
        if (!row->CanDrag(point))
            continue;
        draggedRow_ = row;
        row->StartDrag();
        status = noErr;
        return;
    }
}

void TTaskOutline::ContextualClick(CGPoint point, OSStatus& status)
{
    for (void* value : *rows_) {
        TTask* row = static_cast<TTask*>(value);
        if (row->ContextualClick(point, status)) {
            SetSelection(row);
            return;
        }
    }
}

// ---- drag and drop ----

void TTaskOutline::TrackDrag(TDrag* drag, CGPoint point)
{
    dropTarget_ = nullptr;
    hoverRow_ = nullptr;
    ClearSelection();
    const CGPoint inCard = ToCard(point);
    std::unordered_set<const TTask*> tree;
    if (root_ != nullptr)
        CollectTree(root_, tree);
    TTask* last = nullptr;
    for (void* value : *rows_) {
        TTask* row = static_cast<TTask*>(value);
        if (tree.count(row) == 0)
            continue;  // gone since the last layout
        last = row;
        row->SetTracking(kTrackingNone);
        if (!row->ContainsPoint(inCard))
            continue;
        hoverRow_ = row;
        if (row->TrackDragging(inCard, draggedRow_, drag)) {
            dropTarget_ = row;
            return;
        }
    }
    if (last != nullptr && inCard.y >= bottom_ && inCard.y < bottom_ + 4.0) {
        last->SetTracking(kTrackingAtEnd);
        dropTarget_ = last;
    }
}

void TTaskOutline::ClearTracking()
{
    dropTarget_ = nullptr;
    draggedRow_ = nullptr;
    hoverRow_ = nullptr;
}

Boolean TTaskOutline::ReceiveDrag(TTask* task, TDrag* drag)
{
    ForgetRowsOutsideTheTree();
    if (task == nullptr || root_ == nullptr)
        return false;
    const Boolean copy = drag != nullptr && drag->GetModifiers() == optionKey;
    TCardProtocol* previousOwner = task->GetOwner();
    TTask* previousParent = task->GetParent();
    const SInt32 index = IndexInParent(task);
    const SInt32 previousChildID = index >= 0 ? index : task->GetChildID();

    TTask* target = dropTarget_ != nullptr ? dropTarget_ : root_;
    Boolean accepted = (dropTarget_ == nullptr || dropTarget_->GetTracking() != kTrackingNone) && hoverRow_ != task;
    // A row never moves into its own subtree: it would leave the tree
    // altogether, holding itself.
    if (accepted && !copy && target->ContainsTask(task))
        accepted = false;
    if (!accepted)
        return false;
    target->InsertDrag(task, owner_, copy);
    task->Moved(copy, previousOwner, previousParent, previousChildID);
    return true;
}

// ---- undo ----

void TTaskOutline::PerformTaskAction(TTypeDictionary* info, Boolean redo)
{
    if (info == nullptr || root_ == nullptr)
        return;
    const ShortString name = info->GetStringValue("name");
    TObject* sender = static_cast<TObject*>(info->GetPointerValue("sender"));
    // A place to go back to must still be in this outline's tree.
    auto isPlace = [this](const TTask* parent) { return parent != nullptr && (parent == root_ || HoldsTask(parent)); };
    auto takeOut = [this](TTask* task) {
        Deselect(task);
        task->Retain();
        task->Remove();
        task->Release();
    };
    auto putBack = [&](TTask* task) {
        TTask* parent = task->GetParent();
        if (!isPlace(parent) || parent->ContainsTask(task) || HoldsTask(task))
            return;
        parent->Insert(task, task->GetChildID());
        SetSelection(task);
    };
    if (name == "Move") {
        if (!MemberOfClass(sender, TTypeDictionary::StaticClass()))
            return;
        auto* move = static_cast<TTypeDictionary*>(sender);
        TTask* task = static_cast<TTask*>(move->GetPointerValue("task"));
        TTask* parent = static_cast<TTask*>(move->GetPointerValue(redo ? "newParent" : "previousParent"));
        const SInt32 childID = move->GetIntegerValue(redo ? "newChildID" : "previousChildID");
        if (task == nullptr || !isPlace(parent) || parent->ContainsTask(task))
            return;
        task->Retain();
        task->Remove();
        parent->Insert(task, childID);
        task->Release();
    } else if (name == "Insert" || name == "Delete") {
        if (!MemberOfClass(sender, TTask::StaticClass()))
            return;
        TTask* task = static_cast<TTask*>(sender);
        // Undoing an insertion or redoing a deletion takes the row out.
        if ((name == "Insert") != redo)
            takeOut(task);
        else
            putBack(task);
    } else {
        return;
    }
    Update();
    TResponder::PostNotification("SyncSheetChanged");
}

void InitializeUBrowserUnit()
{
    RegisterClass("TBrowser", TTaskOutline::StaticClass());
}

}  // namespace brindlet
