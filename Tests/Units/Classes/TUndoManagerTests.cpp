#include <CFTestSupport.h>
#include <Units/Classes/TDictionaryUnit.h>
#include <Units/Classes/TObjectRef.h>
#include <Units/Classes/TUndoManagerUnit.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <HIToolbox/Menus.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Knows how to undo and redo; keeps a log of what it was asked, and can be
// given something to do from inside its handler.
class TUndoTarget : public TObject {
    BRINDLET_CLASS(TUndoTarget, TObject)

public:
    static TUndoTarget* Create()
    {
        TUndoTarget* target = CreateInstance<TUndoTarget>();
        target->RegisterMethod("HandleUndoAction", BRINDLET_METHOD(TUndoTarget, HandleUndoAction));
        target->RegisterMethod("HandleRedoAction", BRINDLET_METHOD(TUndoTarget, HandleRedoAction));
        return target;
    }

    void HandleUndoAction(TTypeDictionary* details) { Handle("undo", details); }
    void HandleRedoAction(TTypeDictionary* details) { Handle("redo", details); }

    std::vector<std::string> log;
    std::vector<void*> senders;
    std::function<void()> during;

private:
    void Handle(const char* what, TTypeDictionary* details)
    {
        log.push_back(std::string(what) + " " + details->GetStringValue("name").ToString());
        senders.push_back(details->GetPointerValue("sender"));
        if (during)
            during();
    }
};

BRINDLET_DEFINE_CLASS(TUndoTarget, TObject)

// A sender whose teardown removes the actions it is the sender of, as the
// cards do.
class TSelfRemovingSender : public TObject {
    BRINDLET_CLASS(TSelfRemovingSender, TObject)

public:
    static TSelfRemovingSender* Create(TUndoManager* manager)
    {
        TSelfRemovingSender* sender = CreateInstance<TSelfRemovingSender>();
        sender->manager_ = manager;
        return sender;
    }

    void Deallocate() override
    {
        ++gDeallocations;
        manager_->RemoveAllActions(
            this, [](TObject* object, TUndoableAction* action, void*) -> Boolean { return action->Compare(object); },
            nullptr);
        Inherited::Deallocate();
    }

    static inline int gDeallocations = 0;

private:
    TUndoManager* manager_ = nullptr;
};

BRINDLET_DEFINE_CLASS(TSelfRemovingSender, TObject)

std::vector<std::string> Names(TObjectArray* stack)
{
    std::vector<std::string> names;
    for (void* value : *stack)
        names.push_back(static_cast<TUndoableAction*>(value)->GetName().ToString());
    return names;
}

// Counts the manager's notifications on the local center.
struct WillCounter {
    int undo = 0, redo = 0;

    WillCounter()
    {
        CFNotificationCenterAddObserver(CFNotificationCenterGetLocalCenter(), this, Count,
                                        CFSTR("TUndoManager.WillUndo"), nullptr,
                                        CFNotificationSuspensionBehaviorDeliverImmediately);
        CFNotificationCenterAddObserver(CFNotificationCenterGetLocalCenter(), this, Count,
                                        CFSTR("TUndoManager.WillRedo"), nullptr,
                                        CFNotificationSuspensionBehaviorDeliverImmediately);
    }
    ~WillCounter() { CFNotificationCenterRemoveEveryObserver(CFNotificationCenterGetLocalCenter(), this); }

    static void Count(CFNotificationCenterRef, void* observer, CFStringRef name, const void*, CFDictionaryRef)
    {
        auto* counter = static_cast<WillCounter*>(observer);
        ++(CFEqual(name, CFSTR("TUndoManager.WillUndo")) ? counter->undo : counter->redo);
    }
};

class TUndoManagerTest : public testing::Test {
protected:
    TObjectRef<TUndoManager> manager = TObjectRef<TUndoManager>::Adopt(TUndoManager::Create());
    TObjectRef<TUndoTarget> target = TObjectRef<TUndoTarget>::Adopt(TUndoTarget::Create());
};

}  // namespace

TEST_F(TUndoManagerTest, KeepsTheMostRecentThirtyOneActions)
{
    for (int i = 1; i <= 40; ++i)
        manager->AppendAction(ShortString(std::to_string(i)), target, nullptr);
    const std::vector<std::string> names = Names(manager->GetUndoStack());
    ASSERT_EQ(names.size(), 31u);
    EXPECT_EQ(names.front(), "10");
    EXPECT_EQ(names.back(), "40");
    EXPECT_FALSE(manager->CanRedo());

    // Redo puts an action back without the check, so the stack may hold 32;
    // an append then drops one and adds one.
    manager->Undo();
    manager->Redo();
    manager->Undo();
    manager->AppendAction("41", target, nullptr);
    manager->Redo();
    EXPECT_EQ(manager->GetUndoStack()->Count(), 32);
    manager->AppendAction("42", target, nullptr);
    EXPECT_EQ(manager->GetUndoStack()->Count(), 32);
    EXPECT_EQ(Names(manager->GetUndoStack()).front(), "11");
}

TEST_F(TUndoManagerTest, UndoAndRedoCallTheTargetAndMoveTheAction)
{
    WillCounter will;
    manager->Undo();
    manager->Redo();
    EXPECT_EQ(will.undo + will.redo, 0) << "nothing to do, nothing posted";
    EXPECT_EQ(UTF8Of(manager->GetUndoMenuItem()), "Undo");
    EXPECT_EQ(UTF8Of(manager->GetRedoMenuItem()), "Redo");

    auto sender = TObjectRef<TObject>::Adopt(TObject::Create());
    manager->AppendAction("Typing", target, sender);
    EXPECT_EQ(sender->GetRetainCount(), 2) << "the action holds the sender";
    EXPECT_EQ(UTF8Of(manager->GetUndoMenuItem()), "Undo Typing");

    manager->Undo();
    EXPECT_EQ(will.undo, 1);
    EXPECT_EQ(target->log, std::vector<std::string>{"undo Typing"});
    EXPECT_EQ(target->senders.back(), sender.get());
    EXPECT_FALSE(manager->CanUndo());
    EXPECT_TRUE(manager->CanRedo());
    EXPECT_EQ(UTF8Of(manager->GetUndoMenuItem()), "Undo");
    EXPECT_EQ(UTF8Of(manager->GetRedoMenuItem()), "Redo Typing");

    // A new action keeps the redo stack.
    manager->AppendAction("Colour", target, nullptr);
    EXPECT_TRUE(manager->CanRedo());
    manager->Redo();
    EXPECT_EQ(will.redo, 1);
    EXPECT_EQ(target->log.back(), "redo Typing");
    EXPECT_EQ(Names(manager->GetUndoStack()), (std::vector<std::string>{"Colour", "Typing"}));
    EXPECT_FALSE(manager->CanRedo());

    manager->Undo();  // "Typing" again
    manager->Undo();  // "Colour", which has no sender
    EXPECT_EQ(target->senders.back(), nullptr);

    manager->RemoveAllActions();
    EXPECT_FALSE(manager->CanUndo() || manager->CanRedo());
    EXPECT_EQ(sender->GetRetainCount(), 1) << "the actions let go of the sender";
}

// The target's handler changes the stacks while the action is being undone
// or redone: the action must neither be used after it is freed nor pushed
// back when the handler took it away, and an action the handler added must
// stay where it was put.
TEST_F(TUndoManagerTest, HandlersMayChangeTheStacksUnderTheAction)
{
    TUndoManager* m = manager.get();
    TUndoTarget* t = target.get();
    const struct Row {
        const char* what;
        bool redo;
        std::function<void()> during;
        std::vector<std::string> undoAfter, redoAfter;
    } rows[] = {
        {"removes every action of its target", false, [m, t] { m->RemoveAllActions(t); }, {"Other"}, {}},
        {"removes every action", true, [m] { m->RemoveAllActions(); }, {}, {}},
        {"drops the previous undo, itself", false, [m] { m->RemovePreviousUndo(); }, {"A", "Other"}, {}},
        {"appends an action while undoing",
         false,
         [m, t] { m->AppendAction("Inverse", t, nullptr); },
         {"A", "Other", "Inverse"},
         {"B"}},
        {"appends an action while redoing",
         true,
         [m, t] { m->AppendAction("Inverse", t, nullptr); },
         {"A", "Other", "Inverse", "B"},
         {}},
    };
    auto other = TObjectRef<TUndoTarget>::Adopt(TUndoTarget::Create());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        manager->RemoveAllActions();
        auto sender = TObjectRef<TObject>::Adopt(TObject::Create());
        manager->AppendAction("A", target, sender);
        manager->AppendAction("Other", other, nullptr);
        manager->AppendAction("B", target, sender);
        if (row.redo)
            manager->Undo();  // "B" onto the redo stack
        target->during = row.during;
        row.redo ? manager->Redo() : manager->Undo();
        target->during = nullptr;
        EXPECT_EQ(Names(manager->GetUndoStack()), row.undoAfter);
        EXPECT_EQ(Names(manager->GetRedoStack()), row.redoAfter);
        manager->RemoveAllActions();
        EXPECT_EQ(sender->GetRetainCount(), 1);
    }
}

TEST_F(TUndoManagerTest, ActionsWhoseTargetIsGoneAreDroppedUncalled)
{
    TUndoTarget* gone = TUndoTarget::Create();
    manager->AppendAction("Kept", target, nullptr);
    manager->AppendAction("Orphan", gone, nullptr);
    gone->Release();
    manager->Undo();
    EXPECT_EQ(Names(manager->GetUndoStack()), std::vector<std::string>{"Kept"});
    EXPECT_FALSE(manager->CanRedo());

    // A live target without the handler is only told nothing: the action moves.
    auto plain = TObjectRef<TObject>::Adopt(TObject::Create());
    manager->AppendAction("Plain", plain, nullptr);
    manager->Undo();
    EXPECT_EQ(Names(manager->GetRedoStack()), std::vector<std::string>{"Plain"});
}

TEST_F(TUndoManagerTest, FilteredRemovalSurvivesTheSendersOwnTeardown)
{
    TSelfRemovingSender::gDeallocations = 0;
    auto keep = TObjectRef<TObject>::Adopt(TObject::Create());
    TSelfRemovingSender* card = TSelfRemovingSender::Create(manager);
    manager->AppendAction("Move card", target, card);
    manager->AppendAction("Other sender", target, keep);
    manager->AppendAction("Resize card", target, card);
    manager->Undo();  // "Resize card" on the redo stack
    card->Release();  // the actions hold the card now

    // Removing by the callback frees the card's actions, and with the last
    // one the card, whose teardown walks the stacks again.
    manager->RemoveAllActions(
        card, [](TObject* object, TUndoableAction* action, void*) -> Boolean { return action->GetSender() == object; },
        nullptr);
    EXPECT_EQ(TSelfRemovingSender::gDeallocations, 1);
    EXPECT_EQ(Names(manager->GetUndoStack()), std::vector<std::string>{"Other sender"});
    EXPECT_FALSE(manager->CanRedo());

    manager->RemoveAllActions(target);
    EXPECT_FALSE(manager->CanUndo());
    EXPECT_EQ(keep->GetRetainCount(), 1);
}

TEST_F(TUndoManagerTest, NilTargetIsRefusedWithOneLine)
{
    manager->AppendAction("Kept", target, nullptr);
    Diagnostics::Capture capture;
    manager->AppendAction("Nothing", nullptr, target);
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"Warning: Failed to append undoable action with nil target."});
    EXPECT_EQ(Names(manager->GetUndoStack()), std::vector<std::string>{"Kept"});
    EXPECT_EQ(target->GetRetainCount(), 1);
}

TEST_F(TUndoManagerTest, MenuItemsFollowTheStacks)
{
    MenuRef menu = nullptr;
    ASSERT_EQ(CreateNewMenu(1, 0, &menu), noErr);
    MenuItemIndex undoItem = 0, redoItem = 0, copyItem = 0;
    AppendMenuItemTextWithCFString(menu, CFSTR("Undo"), 0, FCC("undo"), &undoItem);
    AppendMenuItemTextWithCFString(menu, CFSTR("Redo"), 0, FCC("redo"), &redoItem);
    AppendMenuItemTextWithCFString(menu, CFSTR("Copy"), 0, FCC("copy"), &copyItem);
    auto fromMenu = [menu](MenuItemIndex item) {
        HICommand command{};
        command.attributes = kHICommandFromMenu;
        GetMenuItemCommandID(menu, item, &command.commandID);
        command.menu.menuRef = menu;
        command.menu.menuItemIndex = item;
        return command;
    };
    auto text = [menu](MenuItemIndex item) {
        CFStringRef s = nullptr;
        CopyMenuItemTextAsCFString(menu, item, &s);
        CFRef<CFStringRef> held(s);
        return UTF8Of(s);
    };
    auto update = [&] {
        for (MenuItemIndex item : {undoItem, redoItem, copyItem})
            manager->UpdateCommandStatus(fromMenu(item));
    };

    manager->AppendAction("Typing", target, nullptr);
    const struct {
        const char* step;
        std::function<void()> act;
        const char *undoText, *redoText;
        bool undoEnabled, redoEnabled;
    } rows[] = {
        {"one action", [] {}, "Undo Typing", "Redo", true, false},
        {"undone by the menu command",
         [&] {
             OSStatus r = eventNotHandledErr;
             manager->ProcessCommand(fromMenu(undoItem), r);
             EXPECT_EQ(r, noErr);
         },
         "Undo", "Redo Typing", false, true},
        {"redone by the menu command",
         [&] {
             OSStatus r = eventNotHandledErr;
             manager->ProcessCommand(fromMenu(redoItem), r);
             EXPECT_EQ(r, noErr);
         },
         "Undo Typing", "Redo", true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        row.act();
        update();
        EXPECT_EQ(text(undoItem), row.undoText);
        EXPECT_EQ(text(redoItem), row.redoText);
        EXPECT_EQ(IsMenuItemEnabled(menu, undoItem), row.undoEnabled);
        EXPECT_EQ(IsMenuItemEnabled(menu, redoItem), row.redoEnabled);
        EXPECT_EQ(text(copyItem), "Copy");
        EXPECT_TRUE(IsMenuItemEnabled(menu, copyItem));
    }

    // Another command is left alone, and so is an 'undo' that names no menu item.
    OSStatus result = eventNotHandledErr;
    manager->ProcessCommand(fromMenu(copyItem), result);
    EXPECT_EQ(result, eventNotHandledErr);
    HICommand notFromMenu = fromMenu(undoItem);
    notFromMenu.attributes = 0;
    manager->RemoveAllActions();
    manager->UpdateCommandStatus(notFromMenu);
    EXPECT_EQ(text(undoItem), "Undo Typing");
    ReleaseMenu(menu);
}

TEST(TUndoManagerShared, IsMadeByTheUnitsInitialisation)
{
    TUndoManager* shared = TUndoManager::SharedManager();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared, TUndoManager::SharedManager());
    EXPECT_TRUE(MemberOfClass(shared, TUndoManager::StaticClass()));
}
