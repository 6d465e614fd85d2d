#include <Units/Classes/TObjectRef.h>
#include <Units/Classes/TTaskUnit.h>
#include <Units/Classes/TTimerUnit.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <Support/Clock.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class TCounter : public TResponder {
    BRINDLET_CLASS(TCounter, TResponder)

public:
    static TCounter* Create() { return CreateInstance<TCounter>(); }
    void Tick(void* param)
    {
        ++ticks;
        lastParam = param;
    }
    void Work()
    {
        workerThread = std::this_thread::get_id();
        ranInBackground = TTask::IsRunningInBackground();
        done = true;
    }
    void Deallocate() override
    {
        ++freed;
        Inherited::Deallocate();
    }
    int ticks = 0;
    void* lastParam = nullptr;
    std::thread::id workerThread;
    bool ranInBackground = false;
    std::atomic<bool> done{false};
    static inline std::atomic<int> freed{0};
};

BRINDLET_DEFINE_CLASS(TCounter, TResponder)

class TTimerTest : public testing::Test {
protected:
    void Pass() { FireDueEventLoopTimers(GetMainEventLoop()); }
    void Wait(double seconds)
    {
        clock_.Advance(seconds);
        Pass();
    }
    Clock::Fake clock_{1e9};
};

}  // namespace

TEST_F(TTimerTest, OneShotsRepeatsPauseResumeAndReset)
{
    const auto counter = TObjectRef<TCounter>::Adopt(TCounter::Create());
    int data = 0;
    TTimer* once = TTimer::Create(0.0, 0.0, BRINDLET_METHOD(TCounter, Tick), counter, &data);
    EXPECT_EQ(counter->ticks, 0) << "nothing fires inside the constructor";
    Pass();
    EXPECT_EQ(counter->ticks, 1);
    EXPECT_EQ(counter->lastParam, &data);
    Wait(10);
    EXPECT_EQ(counter->ticks, 1) << "fires once and stays installed";
    EXPECT_TRUE(once->IsInstalled());
    TTimer::Terminate(once);
    EXPECT_EQ(once, nullptr);

    auto repeating =
        TObjectRef<TTimer>::Adopt(TTimer::Create(0.0, 1.0, BRINDLET_METHOD(TCounter, Tick), counter, nullptr));
    Pass();
    EXPECT_EQ(counter->lastParam, repeating.get()) << "without data the timer hands itself";
    Wait(1);
    Wait(1);
    EXPECT_EQ(counter->ticks, 4);
    repeating->Pause();
    Wait(5);
    EXPECT_EQ(counter->ticks, 4);
    repeating->Resume();
    Pass();
    EXPECT_EQ(counter->ticks, 5) << "resumed: at once";
    Wait(1);
    EXPECT_EQ(counter->ticks, 6) << "then the interval again";
    repeating.Reset();

    // A save timer: 2 seconds after the last change, however often reset.
    const auto save =
        TObjectRef<TTimer>::Adopt(TTimer::Create(2.0, 0.0, BRINDLET_METHOD(TCounter, Tick), counter, nullptr));
    for (int change = 0; change < 5; ++change) {
        Wait(1.5);
        save->Reset();
    }
    EXPECT_EQ(counter->ticks, 6);
    Wait(2);
    EXPECT_EQ(counter->ticks, 7);
}

TEST_F(TTimerTest, RunArmsAgainWithoutResettingTheCount)
{
    const auto counter = TObjectRef<TCounter>::Adopt(TCounter::Create());
    const auto timer =
        TObjectRef<TTimer>::Adopt(TTimer::Create(5.0, 0.0, BRINDLET_METHOD(TCounter, Tick), counter, nullptr));
    const auto other = TObjectRef<TTimer>::Retain(timer);  // someone else holds it too
    timer->Run(1.0, 0.0);
    EXPECT_EQ(timer->GetRetainCount(), 2) << "a second Run does not initialise again";
    Wait(1);
    EXPECT_EQ(counter->ticks, 1) << "re-armed";
    Wait(5);
    EXPECT_EQ(counter->ticks, 1) << "the earlier event-loop timer is gone";
}

TEST_F(TTimerTest, DelayedActionsGoAfterFiring)
{
    const auto counter = TObjectRef<TCounter>::Adopt(TCounter::Create());
    TCounter::freed = 0;
    TDelayedAction* action = TDelayedAction::Create(0.5, BRINDLET_METHOD(TCounter, Tick), counter);
    Wait(0.5);
    EXPECT_EQ(counter->ticks, 1);
    EXPECT_EQ(counter->lastParam, action) << "hands itself";
    EXPECT_FALSE(TObject::IsLiveObject(action));
}

TEST_F(TTimerTest, BackgroundTasksKeepTheirTargetAndReleaseOnTheMainThread)
{
    TCounter::freed = 0;
    TCounter* target = TCounter::Create();
    TTask* task = TTask::InvokeMethod(BRINDLET_METHOD(TCounter, Work), target);
    target->Release();  // the task keeps it alive while it works
    while (!target->done)
        std::this_thread::yield();
    EXPECT_NE(target->workerThread, std::this_thread::get_id());
    EXPECT_TRUE(target->ranInBackground);
    EXPECT_FALSE(TTask::IsRunningInBackground());
    // Wait for the task to hand its releases to the main loop.
    for (int i = 0; i < 2000 && TObject::IsLiveObject(task); ++i) {
        Pass();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(TObject::IsLiveObject(task));
    EXPECT_EQ(TCounter::freed, 1) << "the target went with the task, on the main thread";
}

TEST_F(TTimerTest, StoppingATaskReleasesItOnce)
{
    TTask* task = TTask::Create();
    task->Start();
    task->Stop();
    EXPECT_TRUE(task->IsTerminating());
    for (int i = 0; i < 2000 && TObject::IsLiveObject(task); ++i) {
        Pass();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(TObject::IsLiveObject(task)) << "freed once, by whichever came last (ASan checks the once)";
}

// ---- known gaps ----

TEST_F(TTimerTest, ARunningTaskStopsAtOnce)
{
    GTEST_SKIP() << "Known gap: a background task cannot be stopped while it runs; Terminate and Stop only ask, "
                    "and the task ends at its next IsTerminating check";
}
