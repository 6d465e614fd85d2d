#pragma once

// What the task tests share: a card that holds an outline and writes down
// what the rows ask of it, a drag whose modifiers are chosen, a counter of
// local notifications, and a fixture with a stopped clock, an autorelease
// pool and an undo manager emptied after every test.

#include <Sources/Tasks/UBrowser.h>
#include <Sources/Tasks/UTask.h>

#include <ApplicationFramework/Classes/TDragUnit.h>
#include <Units/Classes/TObjectRef.h>
#include <Units/Utilities/CocoaUtilities.h>

#include <CFTestSupport.h>
#include <Support/Clock.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using brindlet::TTask;
using brindlet::TTaskOutline;

class TTestCard : public TCardProtocol {
    BRINDLET_CLASS(TTestCard, TCardProtocol)

public:
    // A card of the frame with an empty outline, as a task-list card has.
    static TTestCard* Create(CGRect frame = CGRectMake(0, 0, 240, 600));

    void Deallocate() override;

    Boolean GetHideCompletedTasks() override { return hideCompleted; }
    SInt32 GetShowTasksFrom() override { return showTasksFrom; }
    TBrowserProtocol* GetBrowser() override { return outline; }
    Boolean IsEditable() override { return editable; }
    CFDateRef GetTimeStamp() override { return timeStamp_; }
    void RenewTimeStamp(CFAbsoluteTime time) override;
    void AdjustHeight() override { ++heightAdjustments; }
    void HandleTaskChanged() override { ++taskChanges; }
    void UpdateFace() override { ++faceUpdates; }

    // The card's undo handlers hand the row actions to the outline.
    void HandleUndoAction(TTypeDictionary* info);
    void HandleRedoAction(TTypeDictionary* info);

    TTaskOutline* outline = nullptr;
    TTask* Root() const { return outline->GetRootTask(); }
    Boolean hideCompleted = false;
    SInt32 showTasksFrom = 0;
    Boolean editable = true;
    int heightAdjustments = 0;
    int taskChanges = 0;
    int faceUpdates = 0;

protected:
    TTestCard() = default;

    // What Create does, for a card of a subclass.
    template <typename T>
    static T* Make(CGRect frame)
    {
        T* card = AllocateInstance<T>();
        card->SetUp(frame);
        return card;
    }

private:
    void SetUp(CGRect frame);

    CFDateRef timeStamp_ = nullptr;
};

class TTestDrag : public TDrag {
    BRINDLET_CLASS(TTestDrag, TDrag)

public:
    static TTestDrag* Create(SInt16 modifiers);
    SInt16 GetModifiers() override { return modifiers_; }

protected:
    TTestDrag() = default;

private:
    SInt16 modifiers_ = 0;
};

// Counts the local notifications of one name while it lives.
class TNotificationCounter : public TResponder {
    BRINDLET_CLASS(TNotificationCounter, TResponder)

public:
    static TNotificationCounter* Create(const ShortString& name);
    void HandleNotification(TDictionary* details);
    int count = 0;

protected:
    TNotificationCounter() = default;
};

// The texts of a list of rows, in order.
std::vector<std::string> Texts(const TArray* rows);
// The texts of the children of a row.
std::vector<std::string> ChildTexts(const TTask* task);
std::string TextOf(TTaskProtocol* task);

class TaskFixture : public testing::Test {
protected:
    // Wednesday 9 December 2026, 10:00 in Berlin.
    static double Now() { return BerlinWall(2026, 12, 9, 10); }

    void SetUp() override;
    void TearDown() override;

    // A new row of the card appended to `parent` (the root when nil);
    // borrowed, the parent holds it.
    TTask* Add(const char* text, TTask* parent = nullptr, TTestCard* card = nullptr);
    // Lays the card's outline out without drawing.
    void Layout(TTestCard* card = nullptr);
    NSDate* At(double unixSeconds) { return NSDate::dateWithTimeIntervalSince1970(unixSeconds); }

    Clock::Fake clock_{Now()};
    NSAutoreleasePool* pool_ = nullptr;
    TObjectRef<TTestCard> card_;
};
