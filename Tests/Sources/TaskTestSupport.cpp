#include "TaskTestSupport.h"

#include <Sources/Tasks/TasksInitialization.h>
#include <SpriteEngine/SpriteEngineInitialization.h>

#include <Units/Classes/TUndoManagerUnit.h>

#include <CoreFoundation/CFStringUTF8.h>
#include <FileFixtures.h>
#include <QtTestApplication.h>

#include <QApplication>

namespace {

class TaskEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        // A home of the process's own: the preferences one test process
        // writes never reach another running beside it.
        home_ = std::make_unique<ScopedHome>();
        // The row artwork is read from the program's own resources.
        CFBundleSetMainBundleResourcesPath(BRINDLET_SHARE_DIR);
        InitializeSpriteEngineUnits();
        brindlet::InitializeTaskUnits();
    }
    void TearDown() override { home_.reset(); }

private:
    std::unique_ptr<ScopedHome> home_;
};

const auto* const gApplication = AddQtTestApplication<QApplication>("TaskTests");
const auto* const gUnits = testing::AddGlobalTestEnvironment(new TaskEnvironment);

}  // namespace

BRINDLET_DEFINE_CLASS(TTestCard, TCardProtocol)
BRINDLET_DEFINE_CLASS(TTestDrag, TDrag)
BRINDLET_DEFINE_CLASS(TNotificationCounter, TResponder)

TTestCard* TTestCard::Create(CGRect frame)
{
    return Make<TTestCard>(frame);
}

void TTestCard::SetUp(CGRect frame)
{
    Initialize();
    SetFrame(frame);
    TTask* root = TTask::Create(nullptr, this);
    outline = TTaskOutline::Create(root, this);
    root->Release();
    // The root's creation is no step a user could undo.
    TUndoManager::SharedManager()->RemovePreviousUndo();
    RegisterMethod("HandleUndoAction", BRINDLET_METHOD(TTestCard, HandleUndoAction));
    RegisterMethod("HandleRedoAction", BRINDLET_METHOD(TTestCard, HandleRedoAction));
}

void TTestCard::Deallocate()
{
    TUndoManager::SharedManager()->RemoveAllActions(this);
    ReleaseObject(outline);
    if (timeStamp_ != nullptr)
        CFRelease(timeStamp_);
    timeStamp_ = nullptr;
    Inherited::Deallocate();
}

void TTestCard::RenewTimeStamp(CFAbsoluteTime time)
{
    if (timeStamp_ != nullptr)
        CFRelease(timeStamp_);
    timeStamp_ = CFDateCreate(nullptr, time);
}

void TTestCard::HandleUndoAction(TTypeDictionary* info)
{
    outline->PerformTaskAction(info, false);
}

void TTestCard::HandleRedoAction(TTypeDictionary* info)
{
    outline->PerformTaskAction(info, true);
}

TTestDrag* TTestDrag::Create(SInt16 modifiers)
{
    TTestDrag* drag = AllocateInstance<TTestDrag>();
    drag->modifiers_ = modifiers;
    drag->Initialize();
    return drag;
}

TNotificationCounter* TNotificationCounter::Create(const ShortString& name)
{
    TNotificationCounter* counter = AllocateInstance<TNotificationCounter>();
    counter->Initialize();
    counter->ObserveNotification(name, BRINDLET_METHOD(TNotificationCounter, HandleNotification));
    return counter;
}

void TNotificationCounter::HandleNotification(TDictionary*)
{
    ++count;
}

std::string TextOf(TTaskProtocol* task)
{
    return task != nullptr ? CFStringToUTF8(task->GetText()) : "(nil)";
}

std::vector<std::string> Texts(const TArray* rows)
{
    std::vector<std::string> texts;
    for (void* value : *rows)
        texts.push_back(TextOf(static_cast<TTask*>(value)));
    return texts;
}

std::vector<std::string> ChildTexts(const TTask* task)
{
    return Texts(task->GetChildren());
}

void TaskFixture::SetUp()
{
    OpenPool(pool_);
    card_ = TObjectRef<TTestCard>::Adopt(TTestCard::Create());
}

void TaskFixture::TearDown()
{
    card_.Reset();
    TUndoManager::SharedManager()->RemoveAllActions();
    ClosePool(pool_);
}

TTask* TaskFixture::Add(const char* text, TTask* parent, TTestCard* card)
{
    if (card == nullptr)
        card = card_.get();
    if (parent == nullptr)
        parent = card->Root();
    TTask* task = TTask::Create(CFSTR(text), card);
    parent->Append(task);
    task->Release();
    return task;
}

void TaskFixture::Layout(TTestCard* card)
{
    if (card == nullptr)
        card = card_.get();
    card->outline->Draw(CGRectMake(10, 30, 220, 500), nullptr);
}
