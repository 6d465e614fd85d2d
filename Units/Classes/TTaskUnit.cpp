#include "TTaskUnit.h"

#include <CarbonCore/CarbonEventLoop.h>
#include <Foundation/NSObject.h>
#include <Support/Diagnostics.h>

#include <thread>

BRINDLET_DEFINE_CLASS(TTask, TResponder)

namespace {

thread_local bool tInTask = false;

}  // namespace

TTask* TTask::InvokeMethod(MethodCode action, TObject* target)
{
    TTask* task = Create();
    task->SetAction(action);
    task->SetTarget(target);
    task->Start();
    return task;
}

bool TTask::IsRunningInBackground()
{
    return tInTask;
}

void TTask::Start()
{
    // Taken here, on the main thread: the thread's own reference to the
    // task, and the target kept alive while the work calls it.
    Retain();
    heldTarget_ = GetTarget();
    if (heldTarget_)
        heldTarget_->Retain();
    std::thread(Entry, this).detach();
}

void TTask::Entry(TTask* task)
{
    tInTask = true;
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    try {
        if (task->IsActionValid())
            task->InvokeAction();
        task->Run();
    } catch (...) {
        Diagnostics::ReportException(std::string(task->ClassName()) + ".Run");
    }
    // What the work autoreleased through the units' own table goes now.
    DumpAutoreleaseTable();
    pool->release();
    // The releases happen on the main thread, where the task was made.
    InstallEventLoopTimer(GetMainEventLoop(), 0.0, 0.0, Finish, task, nullptr);
}

void TTask::Finish(EventLoopTimerRef timer, void* userData)
{
    RemoveEventLoopTimer(timer);
    auto* task = static_cast<TTask*>(userData);
    if (task->heldTarget_) {
        task->heldTarget_->Release();
        task->heldTarget_ = nullptr;
    }
    task->ReleaseOwnReference();  // done: the task releases itself, unless Stop has
    task->Release();              // the thread's reference
}

void TTask::Stop()
{
    Terminate();
    ReleaseOwnReference();
}

void TTask::ReleaseOwnReference()
{
    if (!ownReferenceReleased_.exchange(true))
        Release();
}
