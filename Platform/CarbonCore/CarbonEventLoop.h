// Event loops and event-loop timers.
//
// Each thread has an event loop; the main thread's is pumped by Qt's event
// loop (it fires inside nested Qt loops too: modal dialogs, menus, drags),
// and RunCurrentEventLoop runs any thread's. Timers fire in the order of
// their deadlines, and timers with equal deadlines in the order they were
// armed. A timer never fires from inside the call that arms it: a delay of
// 0 means the next pass of the loop. Repeating timers keep to their grid
// (each deadline is the previous one plus the interval; periods missed
// while the loop was busy are skipped, not replayed). All times come from
// the system's clock (Support/Clock.h), so tests can stop time.
#pragma once

#include <CarbonCore/MacErrors.h>
#include <CoreFoundation/MacTypes.h>

typedef struct OpaqueEventLoopRef* EventLoopRef;
typedef struct OpaqueEventLoopTimerRef* EventLoopTimerRef;

typedef double EventTime;        // seconds
typedef EventTime EventTimeout;  // seconds; kEventDurationForever waits for ever
typedef EventTime EventTimerInterval;

inline constexpr EventTime kEventDurationSecond = 1.0;
inline constexpr EventTime kEventDurationMillisecond = 0.001;
inline constexpr EventTime kEventDurationMicrosecond = 0.000001;
inline constexpr EventTime kEventDurationNoWait = 0.0;
inline constexpr EventTime kEventDurationForever = -1.0;

inline constexpr OSStatus eventLoopTimedOutErr = -9875;
inline constexpr OSStatus eventLoopQuitErr = -9876;

typedef void (*EventLoopTimerProcPtr)(EventLoopTimerRef inTimer, void* inUserData);
typedef EventLoopTimerProcPtr EventLoopTimerUPP;

inline EventLoopTimerUPP NewEventLoopTimerUPP(EventLoopTimerProcPtr userRoutine)
{
    return userRoutine;
}

inline void DisposeEventLoopTimerUPP(EventLoopTimerUPP) {}

EventLoopRef GetCurrentEventLoop();
// The loop of the process's first thread (the one that makes the
// QCoreApplication), whichever thread asks first.
EventLoopRef GetMainEventLoop();

// Arms a timer on `inEventLoop`: the first firing `inFireDelay` seconds from
// now (0: the next pass of the loop; kEventDurationForever: not until
// SetEventLoopTimerNextFireTime), then every `inInterval` seconds (0: once;
// the timer stays installed after firing and fires again only when its next
// fire time is set). `outTimer` may be nil.
OSStatus InstallEventLoopTimer(EventLoopRef inEventLoop, EventTimerInterval inFireDelay, EventTimerInterval inInterval,
                               EventLoopTimerUPP inTimerProc, void* inTimerData, EventLoopTimerRef* outTimer);
// Removes and frees a timer; it may be called from any timer's callback,
// that timer's own included. paramErr for a timer that is not installed.
OSStatus RemoveEventLoopTimer(EventLoopTimerRef inTimer);
// The next firing `inNextFire` seconds from now (0: the next pass;
// kEventDurationForever: never, until set again). Later firings follow the
// interval from there.
OSStatus SetEventLoopTimerNextFireTime(EventLoopTimerRef inTimer, EventTimerInterval inNextFire);

// Runs the current thread's loop (events and timers) for `inTimeout`
// seconds, or until QuitEventLoop. eventLoopTimedOutErr or eventLoopQuitErr.
// While the clock is stopped (a Clock::Fake) it makes one pass and answers
// eventLoopTimedOutErr, unless a timer quit it.
OSStatus RunCurrentEventLoop(EventTimeout inTimeout);
// Ends the innermost run of the loop; with none in progress, the loop's next
// run ends at once.
OSStatus QuitEventLoop(EventLoopRef inEventLoop);

// Seconds since the clock started.
EventTime GetCurrentEventTime();
// Waits `numTicks` sixtieths of a second; `finalTicks` (may be nil) gets the
// tick count at the end. Under a stopped clock it answers at once.
void Delay(unsigned long numTicks, unsigned long* finalTicks);

// Our own additions.

// Holds every timer of the main loop while the count is above zero (a modal
// alert waiting for the user); timers that come due meanwhile fire, in
// order, once the count is back to zero.
void SuspendEventLoopTimers();
void ResumeEventLoopTimers();

// One pass of `inEventLoop`'s timers: fires those due now that were armed
// before the pass began, in order. Answers how many fired. The programs never
// call it (the loop does); tests use it with a stopped clock to run timers
// deterministically.
int FireDueEventLoopTimers(EventLoopRef inEventLoop);
