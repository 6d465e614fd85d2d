#include "CarbonEventLoop.h"

#include <CarbonCore/DriverServices.h>
#include <Support/Clock.h>
#include <Support/Diagnostics.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_set>
#include <vector>

#include <time.h>
#include <unistd.h>

namespace {

// Nanoseconds on Clock::MonotonicNanoseconds' scale; kNever is the deadline
// of a timer that is installed but not armed.
constexpr uint64_t kNever = UINT64_MAX;

// One RunCurrentEventLoop in progress; a loop keeps a stack of them because
// a timer's callback may run the loop again.
struct Run {
    bool quit = false;
    bool timedOut = false;
    QEventLoop* qtLoop = nullptr;  // the nested Qt loop on the main thread
};

struct QueueEntry {
    uint64_t deadline;
    uint64_t sequence;
    OpaqueEventLoopTimerRef* timer;

    bool operator<(const QueueEntry& other) const
    {
        if (deadline != other.deadline)
            return deadline < other.deadline;
        return sequence < other.sequence;
    }
};

}  // namespace

struct OpaqueEventLoopRef {
    explicit OpaqueEventLoopRef(bool main) : isMain(main) {}

    const bool isMain;
    // Armed timers by (deadline, arming sequence): equal deadlines fire in
    // the order they were armed.
    std::set<QueueEntry> queue;
    // A plain (non-Qt) run sleeps here until the head of the queue, its
    // timeout, a quit, or a change of the head made by another thread.
    std::condition_variable wake;
    uint64_t generation = 0;
    std::vector<Run*> runs;
    // A quit that came while no run was in progress ends the next run at
    // once, so a thread told to stop just before it started running does.
    bool pendingQuit = false;
};

struct OpaqueEventLoopTimerRef {
    EventLoopRef loop;
    EventLoopTimerUPP proc;
    void* data;
    uint64_t interval;  // 0: fires once per arming
    uint64_t deadline = kNever;
    uint64_t sequence = 0;
    // Callbacks of this timer on the stack (a nested run may fire it again);
    // a timer removed meanwhile is freed when the last one returns.
    int firing = 0;
    bool removed = false;
};

namespace {

struct State {
    std::mutex mutex;
    uint64_t nextSequence = 1;
    std::unordered_set<EventLoopTimerRef> live;
    OpaqueEventLoopRef mainLoop{true};
    // Loops of the other threads. They stay for the life of the process:
    // another thread may still hold a reference to a loop whose thread ended.
    std::vector<std::unique_ptr<OpaqueEventLoopRef>> threadLoops;
    int suspendCount = 0;
};

// Never destroyed: timers the programs leave installed and threads still
// running at exit must not find it gone.
State& TheState()
{
    static State* const state = new State;
    return *state;
}

// The main loop is the loop of the process's first thread, the one the
// programs create their QCoreApplication on; asking from another thread
// first does not change that.
bool OnInitialThread()
{
    return gettid() == getpid();
}

// Seconds beyond what the clock's scale can hold count as never.
uint64_t Nanoseconds(double seconds)
{
    const double nanoseconds = seconds * 1e9;
    if (nanoseconds >= 9e18)
        return kNever;
    return static_cast<uint64_t>(std::llround(nanoseconds));
}

uint64_t DeadlineAfter(uint64_t now, double seconds)
{
    if (seconds < 0)
        return kNever;
    const uint64_t delay = Nanoseconds(seconds);
    if (delay == kNever || delay >= kNever - now)
        return kNever;
    return now + delay;
}

// The first point of the timer's grid after `now`: missed periods are
// skipped, not replayed, and the grid never drifts with the loop's lateness.
uint64_t NextOnGrid(uint64_t deadline, uint64_t interval, uint64_t now)
{
    if (interval == 0 || interval == kNever)
        return kNever;
    const uint64_t periods = now >= deadline ? (now - deadline) / interval + 1 : 1;
    if (periods > (kNever - 1 - deadline) / interval)
        return kNever;
    return deadline + periods * interval;
}

// The deadline of the timer a loop would fire next (kNever: none), as the
// main loop's pump and the plain runs wait for it.
uint64_t HeadDeadline(const State& state, EventLoopRef loop)
{
    if (loop->queue.empty() || (loop->isMain && state.suspendCount > 0))
        return kNever;
    return loop->queue.begin()->deadline;
}

const OpaqueEventLoopTimerRef* HeadTimer(EventLoopRef loop)
{
    return loop->queue.empty() ? nullptr : loop->queue.begin()->timer;
}

void Unqueue(EventLoopTimerRef timer)
{
    if (timer->deadline != kNever)
        timer->loop->queue.erase({timer->deadline, timer->sequence, timer});
    timer->deadline = kNever;
}

// Wakes a plain run sleeping on the loop. Answers whether the main loop's
// pump must be re-armed (the caller does it once the mutex is released).
bool HeadChanged(EventLoopRef loop)
{
    ++loop->generation;
    loop->wake.notify_all();
    return loop->isMain;
}

// Arming: a deadline and a new place behind every timer armed before with
// the same deadline. Answers whether the main loop's pump must be re-armed.
bool Arm(State& state, EventLoopTimerRef timer, uint64_t deadline)
{
    EventLoopRef loop = timer->loop;
    const OpaqueEventLoopTimerRef* head = HeadTimer(loop);
    const uint64_t headDeadline = head ? head->deadline : kNever;
    Unqueue(timer);
    timer->sequence = state.nextSequence++;
    timer->deadline = deadline;
    if (deadline != kNever)
        loop->queue.insert({deadline, timer->sequence, timer});
    const OpaqueEventLoopTimerRef* newHead = HeadTimer(loop);
    if (newHead == head && (newHead == nullptr || newHead->deadline == headDeadline))
        return false;
    return HeadChanged(loop);
}

// --- The main loop's pump, on the main thread only -----------------------
//
// One single-shot QTimer armed to the head of the main loop's queue. Single
// shot matters beyond tidiness: Qt never re-delivers a timer whose event is
// being handled, so a repeating QTimer could not fire from inside a nested
// Qt loop run by a timer's callback; a single-shot one is stopped before its
// handler runs and every re-arm registers afresh.

QTimer* gPump = nullptr;
std::atomic<bool> gRearmPosted{false};

void RearmPump();

void FirePump()
{
    // Armed for what remains before the callbacks run, so that one running
    // a nested Qt loop (a modal dialog, a drag) still sees the later timers.
    RearmPump();
    FireDueEventLoopTimers(&TheState().mainLoop);
    RearmPump();
}

// Called by the application as it goes (a post routine): the QTimer dies
// with the application's event dispatcher, and a later application gets a
// new one.
void DropPump()
{
    delete gPump;
    gPump = nullptr;
    gRearmPosted = false;
}

bool OnApplicationThread(QCoreApplication* application)
{
    return application && OnInitialThread() && application->thread() == QThread::currentThread();
}

void RearmPump()
{
    if (!OnApplicationThread(QCoreApplication::instance()))
        return;
    State& state = TheState();
    uint64_t head;
    {
        std::lock_guard lock(state.mutex);
        head = HeadDeadline(state, &state.mainLoop);
    }
    if (head == kNever) {
        if (gPump)
            gPump->stop();
        return;
    }
    if (!gPump) {
        gPump = new QTimer;
        gPump->setSingleShot(true);
        gPump->setTimerType(Qt::PreciseTimer);
        QObject::connect(gPump, &QTimer::timeout, gPump, &FirePump);
        qAddPostRoutine(&DropPump);
    }
    const uint64_t now = Clock::MonotonicNanoseconds();
    // Rounded up: a pump that fired early would find nothing due.
    const uint64_t milliseconds = head <= now ? 0 : (head - now + 999'999) / 1'000'000;
    gPump->start(static_cast<int>(std::min<uint64_t>(milliseconds, INT_MAX)));
}

// From any thread, with the mutex released. Another thread's request is
// posted to the application (once until it is served).
void RequestPumpRearm()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!application)
        return;
    if (OnInitialThread()) {
        RearmPump();
        return;
    }
    if (!gRearmPosted.exchange(true))
        QMetaObject::invokeMethod(
            application,
            [] {
                gRearmPosted = false;
                RearmPump();
            },
            Qt::QueuedConnection);
}

// Timers installed before the application exists start with its loop: Qt
// calls this as each QCoreApplication is made. (This file is linked in by
// whoever installs a timer, so the registration cannot be dropped while it
// matters.)
void PumpWithTheApplication()
{
    gRearmPosted = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { RearmPump(); }, Qt::QueuedConnection);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(PumpWithTheApplication)

EventLoopRef GetCurrentEventLoop()
{
    thread_local EventLoopRef current = nullptr;
    if (!current) {
        State& state = TheState();
        if (OnInitialThread()) {
            current = &state.mainLoop;
        } else {
            std::lock_guard lock(state.mutex);
            state.threadLoops.push_back(std::make_unique<OpaqueEventLoopRef>(false));
            current = state.threadLoops.back().get();
        }
    }
    return current;
}

EventLoopRef GetMainEventLoop()
{
    return &TheState().mainLoop;
}

OSStatus InstallEventLoopTimer(EventLoopRef inEventLoop, EventTimerInterval inFireDelay, EventTimerInterval inInterval,
                               EventLoopTimerUPP inTimerProc, void* inTimerData, EventLoopTimerRef* outTimer)
{
    if (outTimer)
        *outTimer = nullptr;
    if (!inEventLoop || !inTimerProc || std::isnan(inFireDelay) || !(inInterval >= 0))
        return paramErr;
    auto* timer = new OpaqueEventLoopTimerRef{inEventLoop, inTimerProc, inTimerData, 0};
    if (inInterval > 0)
        timer->interval = std::max<uint64_t>(Nanoseconds(inInterval), 1);
    State& state = TheState();
    bool rearm;
    {
        std::lock_guard lock(state.mutex);
        state.live.insert(timer);
        rearm = Arm(state, timer, DeadlineAfter(Clock::MonotonicNanoseconds(), inFireDelay));
    }
    if (outTimer)
        *outTimer = timer;
    if (rearm)
        RequestPumpRearm();
    return noErr;
}

OSStatus RemoveEventLoopTimer(EventLoopTimerRef inTimer)
{
    State& state = TheState();
    bool rearm = false;
    {
        std::lock_guard lock(state.mutex);
        if (!state.live.erase(inTimer))
            return paramErr;
        const bool wasHead = HeadTimer(inTimer->loop) == inTimer;
        Unqueue(inTimer);
        if (wasHead)
            rearm = HeadChanged(inTimer->loop);
        inTimer->removed = true;
        if (inTimer->firing == 0)
            delete inTimer;
    }
    if (rearm)
        RequestPumpRearm();
    return noErr;
}

OSStatus SetEventLoopTimerNextFireTime(EventLoopTimerRef inTimer, EventTimerInterval inNextFire)
{
    if (std::isnan(inNextFire))
        return paramErr;
    State& state = TheState();
    bool rearm;
    {
        std::lock_guard lock(state.mutex);
        if (!state.live.count(inTimer))
            return paramErr;
        rearm = Arm(state, inTimer, DeadlineAfter(Clock::MonotonicNanoseconds(), inNextFire));
    }
    if (rearm)
        RequestPumpRearm();
    return noErr;
}

int FireDueEventLoopTimers(EventLoopRef inEventLoop)
{
    if (!inEventLoop)
        return 0;
    State& state = TheState();
    std::unique_lock lock(state.mutex);
    // Only timers armed before the pass began: one armed or re-armed due by
    // a callback waits for the next pass, so no pass can go on for ever.
    const uint64_t armedBefore = state.nextSequence;
    const uint64_t now = Clock::MonotonicNanoseconds();
    int fired = 0;
    for (;;) {
        if (inEventLoop->isMain && state.suspendCount > 0)
            break;
        auto entry = inEventLoop->queue.begin();
        while (entry != inEventLoop->queue.end() && entry->deadline <= now && entry->sequence >= armedBefore)
            ++entry;
        if (entry == inEventLoop->queue.end() || entry->deadline > now)
            break;
        EventLoopTimerRef timer = entry->timer;
        inEventLoop->queue.erase(entry);
        // The next firing is armed before the callback runs, so that the
        // callback may set another or remove the timer.
        const uint64_t next = NextOnGrid(timer->deadline, timer->interval, now);
        timer->deadline = kNever;
        if (next != kNever) {
            timer->deadline = next;
            timer->sequence = state.nextSequence++;
            inEventLoop->queue.insert({next, timer->sequence, timer});
        }
        ++timer->firing;
        lock.unlock();
        try {
            timer->proc(timer, timer->data);
        } catch (...) {
            Diagnostics::ReportException("EventLoopTimer");
        }
        lock.lock();
        ++fired;
        if (--timer->firing == 0 && timer->removed)
            delete timer;
    }
    return fired;
}

namespace {

OSStatus RunWithQt(EventLoopRef loop, EventTimeout timeout)
{
    State& state = TheState();
    QEventLoop qtLoop;
    Run run;
    run.qtLoop = &qtLoop;
    {
        std::lock_guard lock(state.mutex);
        if (loop->pendingQuit) {
            loop->pendingQuit = false;
            return eventLoopQuitErr;
        }
        loop->runs.push_back(&run);
    }
    RearmPump();
    if (timeout == kEventDurationNoWait || Clock::IsFake()) {
        // One pass; under a stopped clock a timeout would never come.
        FireDueEventLoopTimers(loop);
        QCoreApplication::processEvents();
        std::lock_guard lock(state.mutex);
        run.timedOut = true;
    } else {
        const uint64_t end = timeout < 0 ? kNever : DeadlineAfter(Clock::MonotonicNanoseconds(), timeout);
        QTimer timeoutTimer;
        timeoutTimer.setSingleShot(true);
        timeoutTimer.setTimerType(Qt::PreciseTimer);
        auto armTimeout = [&] {
            const uint64_t now = Clock::MonotonicNanoseconds();
            if (now >= end) {
                {
                    std::lock_guard lock(state.mutex);
                    run.timedOut = true;
                }
                qtLoop.exit();
                return;
            }
            const uint64_t milliseconds = (end - now + 999'999) / 1'000'000;
            timeoutTimer.start(static_cast<int>(std::min<uint64_t>(milliseconds, INT_MAX)));
        };
        QObject::connect(&timeoutTimer, &QTimer::timeout, &qtLoop, armTimeout);
        if (end != kNever)
            armTimeout();
        // A stall between taking the deadline and arming it can leave it
        // passed already; exit() before exec() is ignored by Qt, so entering
        // the loop then would wait forever.
        bool alreadyTimedOut;
        {
            std::lock_guard lock(state.mutex);
            alreadyTimedOut = run.timedOut;
        }
        if (!alreadyTimedOut)
            qtLoop.exec();
    }
    std::lock_guard lock(state.mutex);
    loop->runs.pop_back();
    // A loop ended neither by its timeout nor by QuitEventLoop was ended by
    // the application quitting: that is a quit too.
    return run.timedOut && !run.quit ? eventLoopTimedOutErr : eventLoopQuitErr;
}

OSStatus RunPlain(EventLoopRef loop, EventTimeout timeout)
{
    State& state = TheState();
    std::unique_lock lock(state.mutex);
    if (loop->pendingQuit) {
        loop->pendingQuit = false;
        return eventLoopQuitErr;
    }
    Run run;
    loop->runs.push_back(&run);
    const uint64_t end = timeout < 0 ? kNever : DeadlineAfter(Clock::MonotonicNanoseconds(), timeout);
    const bool onePass = timeout == kEventDurationNoWait || Clock::IsFake();
    OSStatus result = eventLoopTimedOutErr;
    for (;;) {
        lock.unlock();
        FireDueEventLoopTimers(loop);
        lock.lock();
        if (run.quit) {
            result = eventLoopQuitErr;
            break;
        }
        const uint64_t now = Clock::MonotonicNanoseconds();
        if (onePass || now >= end)
            break;
        const uint64_t wakeAt = std::min(end, HeadDeadline(state, loop));
        const uint64_t generation = loop->generation;
        auto woken = [&] { return run.quit || loop->generation != generation; };
        if (wakeAt == kNever || wakeAt - now >= 1'000'000'000'000'000'000ULL)
            loop->wake.wait(lock, woken);
        else if (wakeAt > now)
            loop->wake.wait_for(lock, std::chrono::nanoseconds(wakeAt - now), woken);
    }
    loop->runs.pop_back();
    return result;
}

}  // namespace

OSStatus RunCurrentEventLoop(EventTimeout inTimeout)
{
    if (std::isnan(inTimeout))
        return paramErr;
    EventLoopRef loop = GetCurrentEventLoop();
    if (loop->isMain && OnApplicationThread(QCoreApplication::instance()))
        return RunWithQt(loop, inTimeout);
    return RunPlain(loop, inTimeout);
}

OSStatus QuitEventLoop(EventLoopRef inEventLoop)
{
    if (!inEventLoop)
        return paramErr;
    State& state = TheState();
    QEventLoop* exitHere = nullptr;
    {
        std::lock_guard lock(state.mutex);
        if (inEventLoop->runs.empty()) {
            inEventLoop->pendingQuit = true;
            return noErr;
        }
        Run* run = inEventLoop->runs.back();
        run->quit = true;
        HeadChanged(inEventLoop);
        if (QEventLoop* qtLoop = run->qtLoop) {
            if (qtLoop->thread() == QThread::currentThread())
                exitHere = qtLoop;
            else  // the run cannot end (nor its QEventLoop go) while we hold the mutex
                QMetaObject::invokeMethod(
                    qtLoop, [qtLoop] { qtLoop->exit(); }, Qt::QueuedConnection);
        }
    }
    if (exitHere)
        exitHere->exit();
    return noErr;
}

EventTime GetCurrentEventTime()
{
    return static_cast<double>(Clock::MonotonicNanoseconds()) / 1e9;
}

void Delay(unsigned long numTicks, unsigned long* finalTicks)
{
    // Under a stopped clock the wait is over at once: real time would not
    // move the clock the caller reads afterwards.
    if (!Clock::IsFake())
        std::this_thread::sleep_for(
            std::chrono::nanoseconds(std::min<uint64_t>(Nanoseconds(numTicks / 60.0), INT64_MAX)));
    if (finalTicks)
        *finalTicks = TickCount();
}

void SuspendEventLoopTimers()
{
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    ++state.suspendCount;
}

void ResumeEventLoopTimers()
{
    State& state = TheState();
    {
        std::lock_guard lock(state.mutex);
        // An unmatched resume is ignored rather than holding a credit that
        // would let the next suspension through.
        if (state.suspendCount == 0 || --state.suspendCount > 0)
            return;
        HeadChanged(&state.mainLoop);
    }
    RequestPumpRearm();
}
