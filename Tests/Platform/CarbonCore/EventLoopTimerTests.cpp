#include <CarbonCore/CarbonEventLoop.h>
#include <CarbonCore/DriverServices.h>
#include <Support/Clock.h>
#include <Support/Diagnostics.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <future>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Action = std::function<void(EventLoopTimerRef)>;

void CallAction(EventLoopTimerRef timer, void* action)
{
    (*static_cast<Action*>(action))(timer);
}

// The timers of one test, removed at its end so that tests run together in
// one process do not see each other's.
class Timers {
public:
    ~Timers()
    {
        for (EventLoopTimerRef timer : installed_)
            RemoveEventLoopTimer(timer);  // paramErr for those the test removed
    }

    EventLoopTimerRef Install(EventTime delay, EventTime interval, Action action,
                              EventLoopRef loop = GetMainEventLoop())
    {
        actions_.push_back(std::move(action));
        EventLoopTimerRef timer = nullptr;
        EXPECT_EQ(InstallEventLoopTimer(loop, delay, interval, CallAction, &actions_.back(), &timer), noErr);
        installed_.push_back(timer);
        return timer;
    }

private:
    std::deque<Action> actions_;
    std::vector<EventLoopTimerRef> installed_;
};

Action Append(std::string& log, char name)
{
    return [&log, name](EventLoopTimerRef) { log += name; };
}

class EventLoopTimer : public testing::Test {
protected:
    Clock::Fake clock{0};
    Timers timers;
    std::string log;

    int Pass() { return FireDueEventLoopTimers(GetMainEventLoop()); }
};

TEST_F(EventLoopTimer, FireByDeadlineThenInTheOrderArmed)
{
    struct Arming {
        char name;
        EventTime delay;
    };
    struct Case {
        std::vector<Arming> installs;
        std::vector<Arming> rearms;  // SetEventLoopTimerNextFireTime after all installs
        const char* expected;
    };
    const Case cases[] = {
        {{{'a', 0}, {'b', 0}, {'c', 0}}, {}, "abc"},
        {{{'a', 0.2}, {'b', 0.1}, {'c', 0.1}}, {}, "bca"},
        {{{'a', 0.1}, {'b', 0.1}, {'c', 0.1}}, {{'a', 0.1}}, "bca"},
        {{{'a', 0.3}, {'b', 0.1}, {'c', 0.2}}, {{'c', 0.1}, {'a', 0.1}}, "bca"},
        {{{'a', 0.3}, {'b', 0.1}, {'c', 0.1}}, {{'b', 0.3}}, "cab"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.expected);
        Timers local;
        std::string order;
        std::map<char, EventLoopTimerRef> byName;
        for (const Arming& arming : row.installs)
            byName[arming.name] = local.Install(arming.delay, 0, Append(order, arming.name));
        for (const Arming& arming : row.rearms)
            EXPECT_EQ(SetEventLoopTimerNextFireTime(byName[arming.name], arming.delay), noErr);
        clock.Advance(0.3);
        EXPECT_EQ(Pass(), static_cast<int>(std::string(row.expected).size()));
        EXPECT_EQ(order, row.expected);
    }
}

TEST_F(EventLoopTimer, DelayZeroMeansTheNextPassNeverTheCurrentOne)
{
    // `a` re-arms itself with delay 0 every time and, the first time, also
    // installs `b` with delay 0: neither may fire in the pass that armed it.
    bool first = true;
    timers.Install(0, 0, [&](EventLoopTimerRef self) {
        log += 'a';
        if (std::exchange(first, false))
            timers.Install(0, 0, Append(log, 'b'));
        EXPECT_EQ(SetEventLoopTimerNextFireTime(self, 0), noErr);
    });
    EXPECT_EQ(log, "") << "never from inside the call that arms it";

    EXPECT_EQ(Pass(), 1);
    EXPECT_EQ(log, "a");
    EXPECT_EQ(Pass(), 2);
    EXPECT_EQ(log, "aba") << "b was armed before a re-armed itself";
    EXPECT_EQ(Pass(), 1);
    EXPECT_EQ(log, "abaa");
}

TEST_F(EventLoopTimer, CallbacksMayRemoveTheirOwnTimerOrAnother)
{
    EventLoopTimerRef c = nullptr;
    EventLoopTimerRef a = timers.Install(0.1, 1.0, [&](EventLoopTimerRef self) {
        log += 'a';
        EXPECT_EQ(RemoveEventLoopTimer(self), noErr);
        EXPECT_EQ(SetEventLoopTimerNextFireTime(self, 0), paramErr) << "removed, even while its callback runs";
    });
    timers.Install(0.1, 0, [&](EventLoopTimerRef) {
        log += 'b';
        EXPECT_EQ(RemoveEventLoopTimer(c), noErr);  // due in this very pass
    });
    c = timers.Install(0.1, 0, Append(log, 'c'));

    clock.Advance(0.1);
    EXPECT_EQ(Pass(), 2);
    clock.Advance(5);
    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(log, "ab");
    for (EventLoopTimerRef removed : {a, c}) {
        EXPECT_EQ(RemoveEventLoopTimer(removed), paramErr);
        EXPECT_EQ(SetEventLoopTimerNextFireTime(removed, 0), paramErr);
    }
}

TEST_F(EventLoopTimer, RepeatsKeepToTheirGridAndSkipMissedPeriods)
{
    timers.Install(1.0, 1.0, Append(log, 'r'));
    clock.Advance(1.0);
    EXPECT_EQ(Pass(), 1);
    clock.Advance(3.5);  // a stall of three and a half periods: one firing
    EXPECT_EQ(Pass(), 1);
    EXPECT_EQ(Pass(), 0);
    clock.Advance(0.49);
    EXPECT_EQ(Pass(), 0) << "the next deadline is on the grid (5 s), not 1 s after the late firing";
    clock.Advance(0.01);
    EXPECT_EQ(Pass(), 1);
    EXPECT_EQ(log, "rrr");
}

TEST_F(EventLoopTimer, WithoutIntervalATimerFiresOnceAndWaitsToBeRearmed)
{
    EventLoopTimerRef once = timers.Install(0.5, 0, Append(log, 'o'));
    clock.Advance(0.5);
    EXPECT_EQ(Pass(), 1);
    clock.Advance(10);
    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(SetEventLoopTimerNextFireTime(once, 0), noErr) << "still installed";
    EXPECT_EQ(Pass(), 1);
    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(log, "oo");
}

TEST_F(EventLoopTimer, NextFireTimeForeverHoldsATimerUntilSetAgain)
{
    EventLoopTimerRef held = timers.Install(kEventDurationForever, 1.0, Append(log, 'h'));
    clock.Advance(5);
    EXPECT_EQ(Pass(), 0);

    EXPECT_EQ(SetEventLoopTimerNextFireTime(held, 0.25), noErr);
    clock.Advance(0.25);
    EXPECT_EQ(Pass(), 1);
    clock.Advance(0.75);
    EXPECT_EQ(Pass(), 0);
    clock.Advance(0.25);
    EXPECT_EQ(Pass(), 1) << "the interval counts from the fire time that was set";

    EXPECT_EQ(SetEventLoopTimerNextFireTime(held, kEventDurationForever), noErr);
    clock.Advance(50);
    EXPECT_EQ(Pass(), 0);
    EXPECT_EQ(log, "hh");
}

TEST_F(EventLoopTimer, SuspendedTimersFireInOrderOnceFullyResumed)
{
    timers.Install(0.2, 0, Append(log, 'b'));
    timers.Install(0.1, 0, Append(log, 'a'));
    SuspendEventLoopTimers();
    SuspendEventLoopTimers();
    clock.Advance(1);
    EXPECT_EQ(Pass(), 0);
    ResumeEventLoopTimers();
    EXPECT_EQ(Pass(), 0);
    ResumeEventLoopTimers();
    EXPECT_EQ(Pass(), 2);
    EXPECT_EQ(log, "ab");

    ResumeEventLoopTimers();  // unmatched: ignored
    SuspendEventLoopTimers();
    timers.Install(0, 0, Append(log, 'c'));
    EXPECT_EQ(Pass(), 0);
    ResumeEventLoopTimers();
    EXPECT_EQ(Pass(), 1);
}

TEST_F(EventLoopTimer, RefusesWhatIsNotATimerOrALoop)
{
    EventLoopTimerRef timer = reinterpret_cast<EventLoopTimerRef>(&log);
    EXPECT_EQ(InstallEventLoopTimer(nullptr, 0, 0, CallAction, nullptr, &timer), paramErr);
    EXPECT_EQ(timer, nullptr);
    EXPECT_EQ(InstallEventLoopTimer(GetMainEventLoop(), 0, 0, nullptr, nullptr, nullptr), paramErr);
    EXPECT_EQ(InstallEventLoopTimer(GetMainEventLoop(), 0, -1, CallAction, nullptr, nullptr), paramErr);
    EXPECT_EQ(InstallEventLoopTimer(GetMainEventLoop(), std::numeric_limits<double>::quiet_NaN(), 0, CallAction,
                                    nullptr, nullptr),
              paramErr);
    EXPECT_EQ(RemoveEventLoopTimer(nullptr), paramErr);
    EXPECT_EQ(SetEventLoopTimerNextFireTime(nullptr, 0), paramErr);
    EXPECT_EQ(QuitEventLoop(nullptr), paramErr);
    EXPECT_EQ(FireDueEventLoopTimers(nullptr), 0);
}

TEST_F(EventLoopTimer, UnderAStoppedClockRunsMakeOnePassAndDelaysDoNotWait)
{
    Clock::Fake stopped(0, 5'000'000'000);
    EXPECT_DOUBLE_EQ(GetCurrentEventTime(), 5.0);
    const auto start = std::chrono::steady_clock::now();

    unsigned long finalTicks = 0;
    Delay(600, &finalTicks);  // ten seconds of real time if it slept
    EXPECT_EQ(finalTicks, 300u);
    EXPECT_EQ(finalTicks, TickCount());

    timers.Install(0, 0, Append(log, 'a'));
    timers.Install(1, 0, Append(log, 'x'));
    EXPECT_EQ(RunCurrentEventLoop(kEventDurationForever), eventLoopTimedOutErr);
    EXPECT_EQ(log, "a");
    timers.Install(0, 0, [](EventLoopTimerRef) { QuitEventLoop(GetCurrentEventLoop()); });
    EXPECT_EQ(RunCurrentEventLoop(10), eventLoopQuitErr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// --- With Qt's event loop and the real clock -------------------------------

class TestApplication {
public:
    TestApplication() : app_(argc_, argv_) {}
    QCoreApplication* operator->() { return &app_; }
    QCoreApplication& operator*() { return app_; }

private:
    int argc_ = 1;
    char name_[16] = "CarbonCoreTests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_;
};

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(EventLoopTimerWithQt, TimersInstalledBeforeTheApplicationFireWhenItsLoopRuns)
{
    Timers timers;
    bool fired = false;
    timers.Install(0, 0, [&](EventLoopTimerRef) {
        fired = true;
        QCoreApplication::quit();
    });
    TestApplication app;
    QTimer::singleShot(5000, &*app, &QCoreApplication::quit);
    app->exec();
    EXPECT_TRUE(fired);
}

TEST(EventLoopTimerWithQt, TimersFireInsideANestedQtLoop)
{
    TestApplication app;
    Timers timers;
    bool insideOuter = false;
    bool innerFiredInside = false;
    QEventLoop* nested = nullptr;
    timers.Install(0, 0, [&](EventLoopTimerRef) {
        QEventLoop loop;  // as a modal dialog would
        nested = &loop;
        insideOuter = true;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        loop.exec();
        insideOuter = false;
        nested = nullptr;
        QCoreApplication::quit();
    });
    timers.Install(0.02, 0, [&](EventLoopTimerRef) {  // armed before the outer one fired
        innerFiredInside = insideOuter;
        if (nested)
            nested->quit();
    });
    QTimer::singleShot(5000, &*app, &QCoreApplication::quit);
    app->exec();
    EXPECT_TRUE(innerFiredInside);
}

TEST(EventLoop, RunsEndByTimeoutOrByQuit)
{
    struct Case {
        bool withApplication;
        EventTimeout timeout;
        EventTime quitAfter;  // < 0: no quit
        OSStatus expected;
        double atLeast;  // seconds
    };
    const Case cases[] = {
        {false, 0.05, -1, eventLoopTimedOutErr, 0.05},
        {false, 5.0, 0.01, eventLoopQuitErr, 0.01},
        {false, kEventDurationNoWait, 0, eventLoopQuitErr, 0},
        {false, kEventDurationForever, 0.01, eventLoopQuitErr, 0.01},
        {true, 0.05, -1, eventLoopTimedOutErr, 0.05},
        {true, 5.0, 0.01, eventLoopQuitErr, 0.01},
        {true, kEventDurationNoWait, 0, eventLoopQuitErr, 0},
        {true, kEventDurationForever, 0.01, eventLoopQuitErr, 0.01},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(testing::Message() << "application " << row.withApplication << ", timeout " << row.timeout
                                        << ", quit after " << row.quitAfter);
        std::optional<TestApplication> app;
        if (row.withApplication)
            app.emplace();
        Timers timers;
        const auto start = std::chrono::steady_clock::now();
        if (row.quitAfter >= 0)
            timers.Install(row.quitAfter, 0, [](EventLoopTimerRef) { QuitEventLoop(GetCurrentEventLoop()); });
        EXPECT_EQ(RunCurrentEventLoop(row.timeout), row.expected);
        const double elapsed = SecondsSince(start);
        EXPECT_GE(elapsed, row.atLeast - 0.001);
        EXPECT_LT(elapsed, 3.0);
    }
}

TEST(EventLoopTimerWithQt, ExceptionsAreReportedAndTheLoopGoesOn)
{
    static const void* thrownAt = nullptr;
    struct Thrown : std::runtime_error {
        Thrown() : std::runtime_error("boom") { thrownAt = this; }
    };
    TestApplication app;
    Timers timers;
    Diagnostics::Capture capture;
    bool later = false;
    timers.Install(0, 0, [](EventLoopTimerRef) { throw Thrown(); });
    timers.Install(0, 0, [](EventLoopTimerRef) { throw 42; });
    timers.Install(0.01, 0, [&](EventLoopTimerRef) {
        later = true;
        QuitEventLoop(GetMainEventLoop());
    });
    EXPECT_EQ(RunCurrentEventLoop(5.0), eventLoopQuitErr);
    EXPECT_TRUE(later);

    char address[32];
    std::snprintf(address, sizeof address, "%p", thrownAt);
    const std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string("EventLoopTimer:boom:") + address);
    EXPECT_THAT(lines[1], testing::MatchesRegex("EventLoopTimer:unknown exception:0x0"));
}

TEST(EventLoopTimerWithQt, ATimerArmedFromAnotherThreadFiresOnTheMainThread)
{
    TestApplication app;
    Timers timers;
    std::promise<void> running;
    std::thread::id firedOn;
    Action fromBackground = [&](EventLoopTimerRef) {
        firedOn = std::this_thread::get_id();
        QuitEventLoop(GetMainEventLoop());
    };
    EventLoopTimerRef armedThere = nullptr;
    std::thread background([&] {
        running.get_future().wait();  // the main thread is inside its loop
        InstallEventLoopTimer(GetMainEventLoop(), 0.01, 0, CallAction, &fromBackground, &armedThere);
    });
    timers.Install(0, 0, [&](EventLoopTimerRef) { running.set_value(); });
    EXPECT_EQ(GetCurrentEventLoop(), GetMainEventLoop());
    EXPECT_EQ(RunCurrentEventLoop(5.0), eventLoopQuitErr);
    background.join();
    EXPECT_EQ(firedOn, std::this_thread::get_id());
    EXPECT_EQ(RemoveEventLoopTimer(armedThere), noErr);
}

TEST(EventLoop, AnotherThreadRunsItsOwnLoop)
{
    std::promise<EventLoopRef> workerLoop;
    std::promise<OSStatus> result;
    std::thread worker([&] {
        workerLoop.set_value(GetCurrentEventLoop());
        result.set_value(RunCurrentEventLoop(kEventDurationForever));
    });
    EventLoopRef loop = workerLoop.get_future().get();
    EXPECT_NE(loop, GetMainEventLoop());

    Timers timers;
    std::thread::id firedOn;
    timers.Install(
        0.02, 0,
        [&](EventLoopTimerRef) {
            firedOn = std::this_thread::get_id();
            QuitEventLoop(GetCurrentEventLoop());
        },
        loop);
    auto outcome = result.get_future();
    const bool ended = outcome.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!ended)
        QuitEventLoop(loop);
    EXPECT_TRUE(ended);
    EXPECT_EQ(outcome.get(), eventLoopQuitErr);
    EXPECT_EQ(firedOn, worker.get_id());
    worker.join();
}

TEST(EventLoop, AQuitSentBeforeTheRunEndsTheNextRunAtOnce)
{
    std::promise<EventLoopRef> workerLoop;
    std::promise<void> quitSent;
    std::thread worker([&] {
        workerLoop.set_value(GetCurrentEventLoop());
        quitSent.get_future().wait();
        EXPECT_EQ(RunCurrentEventLoop(5.0), eventLoopQuitErr);
        EXPECT_EQ(RunCurrentEventLoop(kEventDurationNoWait), eventLoopTimedOutErr) << "the quit is used up";
    });
    EXPECT_EQ(QuitEventLoop(workerLoop.get_future().get()), noErr);
    quitSent.set_value();
    worker.join();
}

}  // namespace
