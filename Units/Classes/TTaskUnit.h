// Background tasks: the only way the programs leave the main thread. A task
// runs its action on its target, then its Run, on a thread of its own with
// its own autorelease pool, and releases itself when done. Nothing it
// holds is released on the background thread: the task, and the target it
// keeps alive while it works, are released on the main thread's loop.
//
// A running thread cannot be stopped safely from outside, so Terminate
// only asks: a Run that works for long should look at IsTerminating.
#pragma once

#include <Units/Classes/TResponderUnit.h>

#include <CarbonCore/CarbonEventLoop.h>

#include <atomic>

class TTask : public TResponder {
    BRINDLET_CLASS(TTask, TResponder)

public:
    static TTask* Create() { return CreateInstance<TTask>(); }
    // A new task that calls `action` on `target` in the background; it is
    // already running when this returns. The task releases itself when done.
    static TTask* InvokeMethod(MethodCode action, TObject* target);
    using TObject::InvokeMethod;

    // Starts the work on a thread of its own.
    virtual void Start();
    // Asks the work to end, then gives up the reference the task holds on
    // itself (never twice, whether the work has ended or not).
    virtual void Stop();
    // The work of a subclass; nothing here.
    virtual void Run() {}
    virtual void RemoteProcedure(SInt32, void*) {}

    // Asks the work to end as soon as it looks.
    void Terminate() { terminating_ = true; }
    bool IsTerminating() const { return terminating_; }
    // Whether the calling code runs on a task's thread.
    static bool IsRunningInBackground();

protected:
    TTask() = default;

private:
    static void Entry(TTask* task);
    static void Finish(EventLoopTimerRef timer, void* userData);
    // Gives up the reference the task holds on itself, once.
    void ReleaseOwnReference();

    std::atomic<bool> terminating_{false};
    std::atomic<bool> ownReferenceReleased_{false};
    TObject* heldTarget_ = nullptr;
};
