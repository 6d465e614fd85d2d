// Task rows: the tree, copies, the change notification, undo bookkeeping,
// and the date operations of a row.
#include "TaskTestSupport.h"

#include <Shared/BrindletShared.h>

#include <Units/Classes/TUndoManagerUnit.h>

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>

#include <cmath>

using namespace BrindletShared;

namespace {

using TaskRowTest = TaskFixture;

double UnixSeconds(const NSDate* date)
{
    return date->timeIntervalSince1970();
}

std::vector<std::string> UndoNames()
{
    std::vector<std::string> names;
    for (void* value : *TUndoManager::SharedManager()->GetUndoStack())
        names.push_back(static_cast<TUndoableAction*>(value)->GetName().ToString());
    return names;
}

}  // namespace

TEST_F(TaskRowTest, InsertPutsTheChildWhereAskedAndTellsItTheIndexItGot)
{
    struct Case {
        SInt32 index;
        std::vector<std::string> order;
        UInt16 childID;
    } cases[] = {
        {99, {"a", "b", "new"}, 2},  // past the end: appended
        {2, {"a", "b", "new"}, 2},  {-3, {"new", "a", "b"}, 0}, {0, {"new", "a", "b"}, 0}, {1, {"a", "new", "b"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        TObjectRef<TTask> parent = TObjectRef<TTask>::Adopt(TTask::Create(CFSTR("parent"), nullptr));
        for (const char* text : {"a", "b"}) {
            TTask* child = TTask::Create(CFSTR(text), nullptr);
            parent->Append(child);
            child->Release();
        }
        TTask* child = TTask::Create(CFSTR("new"), nullptr);
        parent->Insert(child, c.index);
        child->Release();
        EXPECT_EQ(ChildTexts(parent), c.order);
        EXPECT_EQ(child->GetChildID(), c.childID);
        EXPECT_EQ(child->GetParent(), parent.get());
    }

    TTask* parent = Add("p");
    for (const char* text : {"1", "2", "3"})
        Add(text, parent);
    EXPECT_EQ(Add("4", parent)->GetChildID(), 3);
}

TEST_F(TaskRowTest, TextIsNeverNilAndIsTheRowsOwnCopy)
{
    TObjectRef<TTask> empty = TObjectRef<TTask>::Adopt(TTask::Create(nullptr, nullptr));
    ASSERT_NE(empty->GetText(), nullptr);
    EXPECT_EQ(CFStringGetLength(empty->GetText()), 0);

    CFRef<CFMutableStringRef> source(CFStringCreateMutable(nullptr, 0));
    CFStringAppend(source, CFSTR("Buy milk"));
    empty->SetText(source);
    CFStringAppend(source, CFSTR(" and bread"));
    empty->SetText(nullptr);
    EXPECT_EQ(TextOf(empty), "Buy milk");
}

TEST_F(TaskRowTest, TreeQueriesFollowTheParentChain)
{
    TTask* root = card_->Root();
    TTask* a = Add("a");
    TTask* a1 = Add("a1", a);
    TTask* a1x = Add("a1x", a1);
    TTask* a2 = Add("a2", a);
    TTask* b = Add("b");

    EXPECT_EQ(root->GetRoot(), nullptr);
    EXPECT_EQ(a1x->GetRoot(), root);
    EXPECT_TRUE(a1x->ContainsTask(a1x));
    EXPECT_TRUE(a1x->ContainsTask(a));
    EXPECT_FALSE(a->ContainsTask(a1));
    EXPECT_FALSE(a2->ContainsTask(a1));

    TArray* deep = a->CopyChildrenDeep();
    EXPECT_EQ(Texts(deep), (std::vector<std::string>{"a1", "a1x", "a2"}));
    deep->Release();

    EXPECT_TRUE(a->IsContainer());
    EXPECT_FALSE(b->IsContainer());
    b->SetContainer(true);
    EXPECT_TRUE(b->IsContainer());

    // The root is never found from outside; a row in the tree is.
    EXPECT_EQ(root->GetUUID(), nullptr);
    EXPECT_NE(b->GetUUID(), nullptr);
}

TEST_F(TaskRowTest, ACopyIsDeepWithANewIdentityAndNoTimerOrOwner)
{
    TTask* a = Add("a");
    TTask* child = Add("child", a);
    Add("grandchild", child);
    TaskStyleInfo style;
    style.bold = true;
    style.priority = 5;
    style.status = 4;
    a->SetStyle(style);
    a->SetFlag(2);
    a->SetDateStyle(kDateAndTime);
    a->SetDateNotify(kNotify1HourBefore);
    a->SetDueDate(At(Now() + 86400));
    CFRef<CFDataRef> notes(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>("{\\rtf1}"), 7));
    a->SetNotes(notes);

    TObjectRef<TTask> copy = TObjectRef<TTask>::Adopt(static_cast<TTask*>(a->Copy()));
    EXPECT_EQ(TextOf(copy), "a");
    EXPECT_EQ(copy->GetOwner(), nullptr);
    card_->Root()->Append(copy);
    ASSERT_NE(copy->GetUUID(), nullptr);
    EXPECT_FALSE(CFEqual(copy->GetUUID(), a->GetUUID()));
    EXPECT_EQ(copy->GetStyle(), style);
    EXPECT_EQ(copy->GetFlag(), 2);
    EXPECT_TRUE(copy->IsContainer());
    EXPECT_TRUE(CFEqual(copy->GetNotes(), notes));
    ASSERT_NE(copy->GetNotificationDate(), nullptr);
    EXPECT_EQ(UnixSeconds(copy->GetNotificationDate()), Now() + 86400 - 3600);
    EXPECT_EQ(copy->GetEndedDate(), nullptr);
    EXPECT_FALSE(copy->IsTimerRunning());

    ASSERT_EQ(copy->GetChildCount(), 1);
    TTask* copiedChild = copy->GetChildAtIndex(0);
    EXPECT_NE(copiedChild, child);
    EXPECT_EQ(copiedChild->GetParent(), copy.get());
    EXPECT_EQ(ChildTexts(copiedChild), std::vector<std::string>{"grandchild"});
    EXPECT_TRUE(copiedChild->GetChildAtIndex(0)->ContainsTask(copy.get()));
    EXPECT_FALSE(copiedChild->GetChildAtIndex(0)->ContainsTask(a));
}

TEST_F(TaskRowTest, ClosingAContainerClearsASelectionDeepInside)
{
    TTask* a = Add("a");
    TTask* deep = Add("deep", Add("a1", a));
    TTask* b = Add("b");
    a->SetOpen(true);

    card_->outline->SetSelection(b);
    a->SetOpen(false);
    EXPECT_EQ(card_->outline->GetSelection(), b);

    a->SetOpen(true);
    card_->outline->SetSelection(deep);
    EXPECT_TRUE(deep->IsSelected());
    a->SetOpen(false);
    EXPECT_EQ(card_->outline->GetSelection(), nullptr);
}

TEST_F(TaskRowTest, ModifyRenewsBothTimeStampsAndTellsTheScreenOnce)
{
    TTask* task = Add("a");
    TObjectRef<TNotificationCounter> sync =
        TObjectRef<TNotificationCounter>::Adopt(TNotificationCounter::Create("SyncSheetChanged"));
    clock_.Advance(90);
    task->Modify();
    const double now = CFAbsoluteTimeGetCurrent();
    ASSERT_NE(card_->GetTimeStamp(), nullptr);
    EXPECT_EQ(CFDateGetAbsoluteTime(card_->GetTimeStamp()), now);
    EXPECT_EQ(CFDateGetAbsoluteTime(task->GetTimeStamp()), now);
    EXPECT_EQ(sync->count, 1);
}

TEST_F(TaskRowTest, UndoCallbackPicksOnlyTheRowsOwnActions)
{
    TUndoManager* undo = TUndoManager::SharedManager();
    undo->RemoveAllActions();
    TTask* row = Add("row");
    TTask* other = Add("other");
    undo->RemoveAllActions();

    auto moveOf = [](TTask* task) {
        TTypeDictionary* move = TTypeDictionary::Create();
        move->SetPointerValue("task", task);
        return move;
    };
    TTypeDictionary* moveRow = moveOf(row);
    TTypeDictionary* moveOther = moveOf(other);
    undo->AppendAction("Insert", card_.get(), row);
    undo->AppendAction("Delete", card_.get(), other);
    undo->AppendAction("Move", card_.get(), moveRow);
    undo->AppendAction("Move", card_.get(), moveOther);
    undo->AppendAction("Typing", card_.get(), row);
    undo->AppendAction("Delete", card_.get(), row);
    moveRow->Release();
    moveOther->Release();

    undo->RemoveAllActions(card_.get(), brindlet::UndoableTaskActionCallback, row);
    EXPECT_EQ(UndoNames(), (std::vector<std::string>{"Delete", "Move", "Typing"}));
}

TEST_F(TaskRowTest, AFreedRowTakesItsMoveActionsWithIt)
{
    TUndoManager* undo = TUndoManager::SharedManager();
    undo->RemoveAllActions();
    TTask* row = TTask::Create(CFSTR("row"), nullptr);
    TTypeDictionary* move = TTypeDictionary::Create();
    move->SetPointerValue("task", row);
    undo->AppendAction("Move", card_.get(), move);
    move->Release();
    row->Release();
    // Undoing a move of a freed row would reach freed memory.
    EXPECT_EQ(UndoNames(), std::vector<std::string>{});
}

// ---- dates ----

TEST_F(TaskRowTest, DueDateLosesItsSecondsAndCarriesTheReminder)
{
    TTask* task = Add("a");
    task->SetDateStyle(kDateAndTime);
    task->SetDateNotify(kNotify15MinutesBefore);
    const double due = Now() + 2 * 3600;
    task->SetDueDate(At(due + 37));
    ASSERT_NE(task->GetDueDate(), nullptr);
    EXPECT_EQ(UnixSeconds(task->GetDueDate()), due);
    ASSERT_NE(task->GetNotificationDate(), nullptr);
    EXPECT_EQ(UnixSeconds(task->GetNotificationDate()), due - 15 * 60);
    EXPECT_TRUE(task->HasNotification());
    NSString* bell = task->CopyReminderText();
    ASSERT_NE(bell, nullptr);
    EXPECT_EQ(std::string(bell->UTF8String()),
              std::string("The Brindlet Helper will issue a reminder ") +
                  NSDateUtilities::shortDateString(task->GetNotificationDate(), true)->UTF8String());
    bell->release();

    // Completed rows show no bell.
    task->SetCompleted(true);
    EXPECT_FALSE(task->HasNotification());
    task->SetCompleted(false);

    // Five minutes before a due date three minutes away has passed already.
    task->SetDateNotify(kNotify5MinutesBefore);
    task->SetDueDate(At(Now() + 3 * 60));
    EXPECT_EQ(task->GetNotificationDate(), nullptr);
    EXPECT_FALSE(task->HasNotification());

    task->SetDueDate(nullptr);
    EXPECT_EQ(task->GetDueDate(), nullptr);
    EXPECT_EQ(task->GetNotificationDate(), nullptr);
}

TEST_F(TaskRowTest, OverdueByCalendarDayOrByTheRoundedMinute)
{
    struct Case {
        const char* name;
        SInt32 style;
        double due;
        double now;
        bool overdue;
    } cases[] = {
        {"date only, yesterday 23:59", kDateOnly, BerlinWall(2026, 12, 8, 23, 59), Now(), true},
        {"date only, today 00:00", kDateOnly, BerlinWall(2026, 12, 9, 0, 0), Now(), false},
        {"date only, an hour ago", kDateOnly, Now() - 3600, Now(), false},
        {"time, passed 20 s ago rounds to now", kDateAndTime, Now(), Now() + 20, false},
        {"time, passed 31 s ago", kDateAndTime, Now(), Now() + 31, true},
        {"time, in a minute", kDateAndTime, Now() + 60, Now(), false},
        {"another style is never overdue", 2, Now() - 86400 * 3, Now(), false},
    };
    TTask* task = Add("a");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clock_.SetWallSeconds(c.now);
        task->SetDateStyle(c.style);
        task->SetDueDate(At(c.due));
        EXPECT_EQ(task->IsOverdue(), c.overdue);
    }
    task->SetDueDate(nullptr);
    EXPECT_FALSE(task->IsOverdue());

    // Overdue rows below a row, at any depth, the row itself not counted.
    clock_.SetWallSeconds(Now());
    TTask* child = Add("child", task);
    TTask* grandchild = Add("grandchild", child);
    Add("due later", task)->SetDueDate(At(Now() + 86400));
    for (TTask* overdue : {task, child, grandchild})
        overdue->SetDueDate(At(Now() - 2 * 86400));
    EXPECT_EQ(task->CountOverdueTasks(), 2);
}

TEST_F(TaskRowTest, TheCardsDateFilterHidesRowsByDay)
{
    const double today = Now() + 3600;
    const double tomorrow = BerlinWall(2026, 12, 10, 23, 45);
    const double laterThisMonth = BerlinWall(2026, 12, 31, 12);
    const double nextMonth = BerlinWall(2027, 1, 1, 0, 30);
    const double earlierThisYear = BerlinWall(2026, 1, 2, 12);
    struct Case {
        SInt32 filter;
        double due;
        bool hidden;
    } cases[] = {
        {0, nextMonth, false}, {1, today, false},           {1, tomorrow, true},  {2, tomorrow, false},
        {2, today, true},      {3, laterThisMonth, false},  {3, nextMonth, true}, {4, earlierThisYear, false},
        {4, nextMonth, true},  {7, earlierThisYear, false},
    };
    TTask* task = Add("a");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "filter " << c.filter << " due " << c.due);
        card_->showTasksFrom = c.filter;
        task->SetDueDate(At(c.due));
        EXPECT_EQ(task->IsHiddenByDate(), c.hidden);
    }
    task->SetDueDate(nullptr);
    card_->showTasksFrom = 1;
    EXPECT_FALSE(task->IsHiddenByDate());
}

TEST_F(TaskRowTest, RepeatingRowsAdvanceOnePeriodPerDateUpdate)
{
    TTask* daily = Add("daily");
    daily->SetDateRepeat(kRepeatDaily);
    daily->SetDueDate(At(Now() - 3 * 86400));
    TTask* done = Add("done");
    done->SetDateRepeat(kRepeatDaily);
    done->SetDueDate(At(Now() - 3 * 86400));
    done->SetCompleted(true);
    TTask* weekly = Add("weekly");
    weekly->SetDateRepeat(kRepeatWeekly);
    weekly->SetDueDate(At(BerlinWall(2026, 12, 7, 9)));  // a Monday

    TResponder::PostNotification("TDateTimer.UpdateDates");
    EXPECT_EQ(UnixSeconds(daily->GetDueDate()), Now() - 2 * 86400);
    EXPECT_EQ(UnixSeconds(done->GetDueDate()), Now() - 3 * 86400);
    EXPECT_EQ(UnixSeconds(weekly->GetDueDate()), BerlinWall(2026, 12, 14, 9));
}

TEST_F(TaskRowTest, ToggleAndMoveDateChangeOnlyEditableRows)
{
    TObjectRef<TNotificationCounter> sync =
        TObjectRef<TNotificationCounter>::Adopt(TNotificationCounter::Create("SyncSheetChanged"));
    TTask* task = Add("a");
    task->SetDueDate(At(Now() - 86400 * 5));
    task->SetCompleted(true);
    clock_.Advance(42);
    // A completed row counts as having no date: it gets a new one, now.
    task->ToggleDate();
    ASSERT_NE(task->GetDueDate(), nullptr);
    EXPECT_EQ(UnixSeconds(task->GetDueDate()), Now());
    task->SetCompleted(false);
    task->ToggleDate();
    EXPECT_EQ(task->GetDueDate(), nullptr);

    struct Case {
        SInt32 style;
        bool forward;
        double moved;
    } cases[] = {
        {kDateOnly, true, 86400},
        {kDateOnly, false, -86400},
        {kDateAndTime, true, 3600},
        {kDateAndTime, false, -3600},
        {2, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "style " << c.style << (c.forward ? " forward" : " backward"));
        task->SetDateStyle(c.style);
        task->SetDueDate(At(Now()));
        task->MoveDate(c.forward);
        EXPECT_EQ(UnixSeconds(task->GetDueDate()), Now() + c.moved);
    }

    const int changes = sync->count;
    card_->editable = false;
    task->SetDateStyle(kDateOnly);
    task->MoveDate(true);
    task->ToggleDate();
    EXPECT_EQ(UnixSeconds(task->GetDueDate()), Now());
    EXPECT_EQ(sync->count, changes);
}

TEST_F(TaskRowTest, LocateSelectsOnlyTheRowWithThatIdentifier)
{
    TTask* a = Add("a");
    TTask* b = Add("b");
    CFRef<CFStringRef> uuid(CFUUIDCreateString(nullptr, b->GetUUID()));
    TTypeDictionary* details = TTypeDictionary::Create();
    details->SetValue("task", uuid);
    TResponder::PostNotification("TTask.Locate", details);
    details->Release();
    EXPECT_EQ(card_->outline->GetSelection(), b);
    EXPECT_FALSE(a->IsSelected());
}

TEST_F(TaskRowTest, TheRowArtworkIsThereForScreenAndPrinting)
{
    for (SInt32 button = brindlet::kRadioButtonImage; button <= brindlet::kArrowClosedImage; ++button) {
        SCOPED_TRACE(button);
        CGImageRef screen = brindlet::GetTaskButtonImage(button, false);
        CGImageRef printing = brindlet::GetTaskButtonImage(button, true);
        ASSERT_NE(screen, nullptr);
        ASSERT_NE(printing, nullptr);
        EXPECT_NE(screen, printing);
    }
    for (SInt32 icon = brindlet::kNoteImage; icon <= brindlet::kTimerPausedImage; ++icon)
        EXPECT_NE(brindlet::GetTaskIconImage(icon), nullptr) << icon;
    for (SInt32 flag = 0; flag < 5; ++flag)
        EXPECT_NE(brindlet::GetTaskFlagImage(flag), nullptr) << flag;
    // Two of the status marks name their folder with a leading slash.
    for (SInt32 status = 0; status < 3; ++status)
        EXPECT_NE(brindlet::GetTaskStatusImage(status), nullptr) << status;
    EXPECT_EQ(brindlet::GetTaskFlagImage(5), nullptr);
    EXPECT_EQ(brindlet::GetTaskStatusImage(-1), nullptr);
    EXPECT_EQ(brindlet::GetTaskButtonImage(4, false), nullptr);
}
