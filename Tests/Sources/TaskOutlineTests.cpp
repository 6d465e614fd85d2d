// The task outline: layout, selection, keys, the archive of the whole tree,
// and drops with their undo.
#include "TaskTestSupport.h"

#include <SpriteEngine/SCCanvas.h>

#include <Units/Classes/TArchiverUnit.h>
#include <Units/Classes/TUndoManagerUnit.h>

#include <CarbonCore/CarbonEvents.h>

#include <cmath>

namespace {

using TaskOutlineTest = TaskFixture;

// A row that takes no height, so that only the row limit ends a layout.
class TFlatTask : public TTask {
    BRINDLET_CLASS(TFlatTask, TTask)

public:
    static TFlatTask* Create()
    {
        TFlatTask* task = AllocateInstance<TFlatTask>();
        task->Initialize();
        return task;
    }
    CGSize GetDimensions() override { return CGSizeMake(100, 0); }

protected:
    TFlatTask() = default;
};

std::vector<std::string> RowTexts(TTaskOutline* outline)
{
    return Texts(outline->GetRows());
}

OSStatus Key(TTaskOutline* outline, UInt32 keyCode, char character = 0, UInt32 modifiers = 0)
{
    OSStatus status = eventNotHandledErr;
    outline->KeyDown(modifiers, keyCode, character, status);
    return status;
}

std::string LastUndoName()
{
    TObjectArray* stack = TUndoManager::SharedManager()->GetUndoStack();
    return stack->Count() > 0 ? static_cast<TUndoableAction*>(stack->GetLastValue())->GetName().ToString() : "";
}

}  // namespace

BRINDLET_DEFINE_CLASS(TFlatTask, TTask)

TEST_F(TaskOutlineTest, LayoutStacksTheOpenRowsWithAnIndentPerLevel)
{
    TTask* a = Add("A");
    TTask* a1 = Add("A1", a);
    Add("A1a", a1);
    Add("A2", a);
    Add("B");
    a->SetOpen(true);

    TTaskOutline* outline = card_->outline;
    // A row measures its text before it is placed: the first layout, which
    // draws nothing, already gives every row its own height (one line of
    // the list font, not the 20 points a row starts with), the next the same.
    const UInt32 height = outline->Draw(CGRectMake(10, 30, 220, 500), nullptr);
    const CGFloat h = static_cast<TTask*>(outline->GetRows()->GetValue(0))->GetDimensions().height;
    EXPECT_NE(h, 20) << "a font whose line is 15 points would hide the measuring";
    EXPECT_EQ(height, UInt32(4 * h));
    EXPECT_EQ(outline->Draw(CGRectMake(10, 30, 220, 500), nullptr), height);
    EXPECT_EQ(RowTexts(outline), (std::vector<std::string>{"A", "A1", "A2", "B"}));
    struct Row {
        CGRect frame;
        UInt16 row;
        UInt16 childID;
    } expected[] = {
        {CGRectMake(10, 30, 220, h), 1, 0},
        {CGRectMake(34, 30 + h, 196, h), 2, 0},
        {CGRectMake(34, 30 + 2 * h, 196, h), 3, 1},
        {CGRectMake(10, 30 + 3 * h, 220, h), 4, 1},
    };
    for (SInt32 i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        TTask* row = static_cast<TTask*>(outline->GetRows()->GetValue(i));
        EXPECT_TRUE(CGRectEqualToRect(row->GetFrame(), expected[i].frame));
        EXPECT_EQ(row->GetRow(), expected[i].row);
        EXPECT_EQ(row->GetChildID(), expected[i].childID);
        EXPECT_EQ(row->GetOwner(), card_.get());
    }
    EXPECT_EQ(outline->GetBottom(), 30 + height);
    EXPECT_TRUE(CGRectEqualToRect(outline->GetFrame(), CGRectMake(10, 30, 220, height)));

    a1->SetOpen(true);
    Layout();
    EXPECT_EQ(RowTexts(outline), (std::vector<std::string>{"A", "A1", "A1a", "A2", "B"}));
    EXPECT_EQ(static_cast<TTask*>(outline->GetRows()->GetValue(2))->GetFrame().origin.x, 58);
}

TEST_F(TaskOutlineTest, HiddenRowsGoWithTheirSubtreeAndTakeTheSelectionAlong)
{
    Add("A");
    TTask* b = Add("B");
    TTask* b1 = Add("B1", b);
    b->SetOpen(true);
    TTask* c = Add("C");
    b->SetCompleted(true);
    card_->outline->SetSelection(b1);

    card_->hideCompleted = true;
    Layout();
    EXPECT_EQ(RowTexts(card_->outline), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(card_->outline->GetSelection(), nullptr);
    EXPECT_EQ(c->GetRow(), 2);

    card_->hideCompleted = false;
    card_->showTasksFrom = 1;  // today
    c->SetDueDate(At(Now() + 86400));
    Layout();
    EXPECT_EQ(RowTexts(card_->outline), (std::vector<std::string>{"A", "B", "B1"}));
}

TEST_F(TaskOutlineTest, LayoutStopsAtTheRowLimitAndBelowTheScreen)
{
    for (int i = 0; i < 1005; ++i) {
        TFlatTask* task = TFlatTask::Create();
        card_->Root()->Append(task);
        task->Release();
    }
    Layout();
    EXPECT_EQ(card_->outline->GetRows()->Count(), 1000);
    EXPECT_EQ(static_cast<TTask*>(card_->outline->GetRows()->GetLastValue())->GetRow(), 1000);

    const CGFloat screenHeight = TSpriteCanvas::MainScreenFrame().size.height;
    ASSERT_GT(screenHeight, 0) << "the tests run with a screen";
    card_->outline->RemoveAll();
    Add("row");
    Layout();
    const CGFloat h = static_cast<TTask*>(card_->outline->GetRows()->GetValue(0))->GetDimensions().height;
    const int rows = static_cast<int>(screenHeight / h) + 10;
    for (int i = 1; i < rows; ++i)
        Add("row");
    Layout();
    // The row that passes the screen's height is still laid out.
    EXPECT_EQ(card_->outline->GetRows()->Count(), static_cast<SInt32>(std::floor(screenHeight / h)) + 1);
}

TEST_F(TaskOutlineTest, ArrowKeysWalkTheRowsAndNeverChangeTheStatus)
{
    TTask* a = Add("A");
    TTask* b = Add("B");
    TTask* c = Add("C");
    Layout();
    struct Case {
        TTask* from;
        UInt32 key;
        TTask* to;
    } cases[] = {
        {nullptr, 125, a}, {nullptr, 126, c}, {a, 126, a}, {c, 125, nullptr}, {b, 125, c}, {b, 126, a},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << TextOf(k.from) << (k.key == 125 ? " down" : " up"));
        card_->outline->ClearSelection();
        card_->outline->SetSelection(k.from);
        EXPECT_EQ(Key(card_->outline, k.key), eventNotHandledErr);
        EXPECT_EQ(card_->outline->GetSelection(), k.to);
    }
    card_->editable = false;
    card_->outline->SetSelection(a);
    Key(card_->outline, 125);
    EXPECT_EQ(card_->outline->GetSelection(), b);
}

TEST_F(TaskOutlineTest, TabIndentsUnderTheSiblingAboveAndOptionTabOutdents)
{
    TTask* a = Add("A");
    TTask* a1 = Add("A1", a);
    TTask* a2 = Add("A2", a);
    TTask* b = Add("B");
    TTask* c = Add("C");
    b->SetCompleted(true);
    TTaskOutline* outline = card_->outline;

    outline->SetSelection(a1);
    Key(outline, 48, '\t');
    EXPECT_EQ(ChildTexts(a), (std::vector<std::string>{"A1", "A2"}));

    outline->SetSelection(c);
    Key(outline, 48, '\t');
    EXPECT_EQ(ChildTexts(card_->Root()), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(ChildTexts(b), std::vector<std::string>{"C"});
    EXPECT_FALSE(b->IsCompleted());
    EXPECT_TRUE(b->IsOpen());
    EXPECT_EQ(outline->GetSelection(), c);

    outline->SetSelection(a);
    Key(outline, 48, '\t', optionKey);
    EXPECT_EQ(ChildTexts(card_->Root()), (std::vector<std::string>{"A", "B"}));

    outline->SetSelection(a2);
    Key(outline, 48, '\t', optionKey);
    EXPECT_EQ(ChildTexts(card_->Root()), (std::vector<std::string>{"A", "A2", "B"}));
    EXPECT_EQ(ChildTexts(a), std::vector<std::string>{"A1"});
    EXPECT_EQ(a2->GetParent(), card_->Root());
}

TEST_F(TaskOutlineTest, DeleteSelectsTheRowAboveAndUndoBringsTheRowBack)
{
    TTask* a = Add("A");
    TTask* b = Add("B");
    Add("C");
    TTaskOutline* outline = card_->outline;
    Layout();
    outline->SetSelection(b);
    Key(outline, 51);
    EXPECT_EQ(ChildTexts(card_->Root()), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(outline->GetSelection(), a);
    EXPECT_EQ(card_->taskChanges, 1);

    TUndoManager::SharedManager()->Undo();
    EXPECT_EQ(ChildTexts(card_->Root()), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(outline->GetSelection(), b);
    TUndoManager::SharedManager()->Redo();
    EXPECT_EQ(ChildTexts(card_->Root()), (std::vector<std::string>{"A", "C"}));

    Layout();
    outline->SetSelection(a);
    Key(outline, 51);
    EXPECT_EQ(outline->GetSelection(), nullptr);
}

TEST_F(TaskOutlineTest, EditingKeysActOnlyOnAnEditableCard)
{
    TTask* a = Add("A");
    Add("A1", a);
    TTaskOutline* outline = card_->outline;
    outline->SetSelection(a);

    card_->editable = false;
    Key(outline, 49, ' ');
    Key(outline, 17, 't');
    Key(outline, 24, '+');
    EXPECT_FALSE(a->IsCompleted());
    EXPECT_EQ(a->GetDueDate(), nullptr);

    card_->editable = true;
    Key(outline, 17, 't');
    ASSERT_NE(a->GetDueDate(), nullptr);
    const double due = a->GetDueDate()->timeIntervalSince1970();
    Key(outline, 124);
    EXPECT_TRUE(a->IsOpen());
    EXPECT_EQ(a->GetDueDate()->timeIntervalSince1970(), due + 86400);
    Key(outline, 123);
    EXPECT_FALSE(a->IsOpen());
    EXPECT_EQ(a->GetDueDate()->timeIntervalSince1970(), due);
    Key(outline, 49, ' ');
    EXPECT_TRUE(a->IsCompleted());
    TTask* b = Add("B");
    outline->SetSelection(b);
    Key(outline, 24, '+');
    EXPECT_TRUE(b->IsContainer());
}

TEST_F(TaskOutlineTest, TheWholeTreeIsArchivedNestedAndComesBackOnTheDecodingCard)
{
    TTask* a = Add("A");
    Add("A1a", Add("A1", a));
    Add("B");

    TArchiver* archiver = TArchiver::Create();
    card_->outline->EncodeData(archiver);
    EXPECT_EQ(archiver->GetStringValue("system.class").ToString(), "TBrowser");
    EXPECT_EQ(archiver->Limit(), 1);
    EXPECT_EQ(archiver->GetStringValue("/system.objects/0/system.objects/0/system.objects/0/text").ToString(), "A1a");
    EXPECT_EQ(archiver->GetStringValue("/system.objects/1/system.class").ToString(), "TTask");

    TObjectRef<TTestCard> other = TObjectRef<TTestCard>::Adopt(TTestCard::Create());
    archiver->SetContext(other.get());
    TObjectRef<TTaskOutline> decoded =
        TObjectRef<TTaskOutline>::Adopt(AllocateFromArchiveAs<TTaskOutline>(archiver, static_cast<void*>(nullptr)));
    archiver->Release();
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->GetOwner(), other.get());
    EXPECT_NE(decoded->GetRootTask(), card_->Root());
    TArray* tasks = decoded->CopyTasks();
    EXPECT_EQ(Texts(tasks), (std::vector<std::string>{"A", "A1", "A1a", "B"}));
    tasks->Release();

    TObjectRef<TTaskOutline> copy =
        TObjectRef<TTaskOutline>::Adopt(static_cast<TTaskOutline*>(card_->outline->Copy(other.get())));
    EXPECT_EQ(copy->GetOwner(), other.get());
    EXPECT_NE(copy->GetRootTask()->GetChildAtIndex(0), a);
    tasks = copy->CopyTasks();
    EXPECT_EQ(Texts(tasks), (std::vector<std::string>{"A", "A1", "A1a", "B"}));
    tasks->Release();

    // Sheets name the outline "TBrowser"; the framework's data browser is
    // not what that name builds.
    EXPECT_EQ(FindClass("TBrowser"), &TTaskOutline::StaticClass());
    EXPECT_EQ(FindClass("TTask"), &TTask::StaticClass());
}

TEST_F(TaskOutlineTest, ARowMadeForADropIsTakenOutAgainByUndo)
{
    Add("A");
    Layout();
    TObjectRef<TTestDrag> drag = TObjectRef<TTestDrag>::Adopt(TTestDrag::Create(0));
    card_->outline->TrackDrag(drag, CGPointMake(50, 300));
    EXPECT_EQ(card_->outline->GetDropTarget(), nullptr);

    // Made by the card for what was dropped: it has an owner, no parent.
    TTask* dropped = TTask::Create(CFSTR("dropped"), card_.get());
    EXPECT_TRUE(card_->outline->ReceiveDrag(dropped, drag));
    dropped->Release();
    EXPECT_EQ(ChildTexts(card_->Root()), (std::vector<std::string>{"A", "dropped"}));
    EXPECT_EQ(LastUndoName(), "Insert");

    TUndoManager::SharedManager()->Undo();
    EXPECT_EQ(ChildTexts(card_->Root()), std::vector<std::string>{"A"});
    TUndoManager::SharedManager()->Redo();
    EXPECT_EQ(ChildTexts(card_->Root()), (std::vector<std::string>{"A", "dropped"}));
    TUndoManager::SharedManager()->Undo();
    EXPECT_EQ(ChildTexts(card_->Root()), std::vector<std::string>{"A"});
}

TEST_F(TaskOutlineTest, AMoveWithinTheCardIsUndoneToItsOldPlace)
{
    TTask* a = Add("A");
    Add("B");
    TTask* c = Add("C");
    Layout();
    TObjectRef<TTestDrag> drag = TObjectRef<TTestDrag>::Adopt(TTestDrag::Create(0));

    // Over the middle of A: into A.
    card_->outline->TrackDrag(drag, CGPointMake(50, 40));
    ASSERT_EQ(card_->outline->GetDropTarget(), a);
    EXPECT_EQ(a->GetTracking(), brindlet::kTrackingInto);
    EXPECT_TRUE(card_->outline->ReceiveDrag(c, drag));
    EXPECT_EQ(ChildTexts(a), std::vector<std::string>{"C"});
    EXPECT_TRUE(a->IsOpen());
    EXPECT_EQ(LastUndoName(), "Move");
    EXPECT_EQ(card_->heightAdjustments, 1);

    TUndoManager::SharedManager()->Undo();
    EXPECT_EQ(ChildTexts(card_->Root()), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(a->GetChildCount(), 0);
    TUndoManager::SharedManager()->Redo();
    EXPECT_EQ(ChildTexts(a), std::vector<std::string>{"C"});
}

TEST_F(TaskOutlineTest, DropsOntoTheRowItselfAreRefusedAndOptionCopies)
{
    TTask* a = Add("A");
    Add("B");
    Layout();
    TObjectRef<TTestDrag> plain = TObjectRef<TTestDrag>::Adopt(TTestDrag::Create(0));
    card_->outline->TrackDrag(plain, CGPointMake(50, 40));
    EXPECT_EQ(card_->outline->GetHoverRow(), a);
    EXPECT_FALSE(card_->outline->ReceiveDrag(a, plain));
    EXPECT_EQ(ChildTexts(card_->Root()), (std::vector<std::string>{"A", "B"}));

    // Below the last row by less than 4 points: at the end of the list.
    card_->outline->TrackDrag(plain, CGPointMake(50, card_->outline->GetBottom() + 2));
    ASSERT_NE(card_->outline->GetDropTarget(), nullptr);
    EXPECT_EQ(card_->outline->GetDropTarget()->GetTracking(), brindlet::kTrackingAtEnd);

    TObjectRef<TTestDrag> option = TObjectRef<TTestDrag>::Adopt(TTestDrag::Create(optionKey));
    const std::string undoBefore = LastUndoName();
    EXPECT_TRUE(card_->outline->ReceiveDrag(a, option));
    EXPECT_EQ(ChildTexts(card_->Root()), (std::vector<std::string>{"A", "B", "A"}));
    EXPECT_NE(card_->Root()->GetChildAtIndex(2), a);
    EXPECT_EQ(LastUndoName(), undoBefore);
}

TEST_F(TaskOutlineTest, ARowMovedToAnotherCardLeavesThatCardsSelection)
{
    TObjectRef<TTestCard> source = TObjectRef<TTestCard>::Adopt(TTestCard::Create());
    TTask* x = Add("X", nullptr, source);
    Add("Y", nullptr, source);
    source->outline->SetSelection(x);
    Add("A");
    Layout();
    TUndoManager::SharedManager()->RemoveAllActions();

    TObjectRef<TTestDrag> drag = TObjectRef<TTestDrag>::Adopt(TTestDrag::Create(0));
    card_->outline->TrackDrag(drag, CGPointMake(50, 300));
    EXPECT_TRUE(card_->outline->ReceiveDrag(x, drag));
    EXPECT_EQ(ChildTexts(card_->Root()), (std::vector<std::string>{"A", "X"}));
    EXPECT_EQ(ChildTexts(source->Root()), std::vector<std::string>{"Y"});
    EXPECT_EQ(x->GetOwner(), card_.get());
    EXPECT_EQ(source->outline->GetSelection(), nullptr);
    EXPECT_EQ(source->heightAdjustments, 1);
    EXPECT_EQ(TUndoManager::SharedManager()->GetUndoStack()->Count(), 0);
}

TEST_F(TaskOutlineTest, ASelectedRowTakenOutElsewhereIsForgotten)
{
    Add("A");
    // No owner, so no undo action holds it: leaving its parent frees it.
    TTask* loose = TTask::Create(CFSTR("loose"), nullptr);
    card_->Root()->Append(loose);
    loose->Release();
    Layout();
    card_->outline->SetSelection(loose);
    loose->Remove();

    // Keys and layout alike find the selection gone.
    Key(card_->outline, 49, ' ');
    Key(card_->outline, 48, '\t');
    EXPECT_EQ(card_->outline->GetSelection(), nullptr);
    Layout();
    EXPECT_EQ(ChildTexts(card_->Root()), std::vector<std::string>{"A"});
}
