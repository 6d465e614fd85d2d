#include "TTimerUnit.h"

#include <Support/Diagnostics.h>

BRINDLET_DEFINE_CLASS(TTimer, TResponder)
BRINDLET_DEFINE_CLASS(TDelayedAction, TTimer)

TTimer* TTimer::Create(double fireDelay, double interval, const ShortString& action, TObject* target, void* data)
{
    return Build<TTimer>(fireDelay, interval, action, target, data);
}

TTimer* TTimer::Create(double fireDelay, double interval, MethodCode action, TObject* target, void* data)
{
    return Build<TTimer>(fireDelay, interval, action, target, data);
}

TTimer* TTimer::Create(double fireDelay, double interval)
{
    return Build<TTimer>(fireDelay, interval, MethodCode(nullptr), nullptr, nullptr);
}

TTimer* TTimer::InvokeMethod(double delay, MethodCode action, TObject* target, void* data)
{
    return Create(delay, 0.0, action, target, data);
}

TTimer* TTimer::InvokeMethod(double delay, const ShortString& action, TObject* target, void* data)
{
    return Create(delay, 0.0, action, target, data);
}

void TTimer::Terminate(TTimer*& timer)
{
    if (timer == nullptr)
        return;
    timer->Remove();
    timer->Autorelease();
    timer = nullptr;
}

void TTimer::Deallocate()
{
    Remove();
    Inherited::Deallocate();
}

void TTimer::Remove()
{
    if (timer_ != nullptr) {
        RemoveEventLoopTimer(timer_);
        timer_ = nullptr;
    }
}

void TTimer::Reset()
{
    if (timer_ != nullptr)
        SetEventLoopTimerNextFireTime(timer_, fireDelay_ > 0 ? fireDelay_ : interval_);
}

void TTimer::SetNextFireTime(double seconds)
{
    if (timer_ != nullptr)
        SetEventLoopTimerNextFireTime(timer_, seconds);
}

void TTimer::InstallTimer()
{
    InstallEventLoopTimer(GetCurrentEventLoop(), fireDelay_, interval_, TimerCallback, this, &timer_);
}

void TTimer::Run(double fireDelay, double interval)
{
    fireDelay_ = fireDelay;
    interval_ = interval;
    userData_ = nullptr;
    // A timer still installed would otherwise go on calling the object
    // untracked.
    Remove();
    InstallTimer();
    // Initialise only once: running again must not reset the count of an
    // object others hold.
    RequestInitialization();
}

void TTimer::TimerCallback(EventLoopTimerRef, void* userData)
{
    auto* timer = static_cast<TTimer*>(userData);
    // The action may terminate the timer and Invoked may release it: keep
    // it alive until the firing is over.
    timer->Retain();
    try {
        timer->InvokeAction(timer->userData_ ? timer->userData_ : timer);
        timer->Invoked();
    } catch (...) {
        const ShortString action = timer->GetAction();
        Diagnostics::ReportException(std::string(timer->ClassName()) + "." +
                                     (action.IsEmpty() ? std::string("Invoked") : action.ToString()));
    }
    timer->Release();
}

TDelayedAction* TDelayedAction::Create(double delay, MethodCode action, TObject* target, void* data)
{
    return Build<TDelayedAction>(delay, 0.0, action, target, data);
}

void TDelayedAction::Invoked()
{
    Release();
}
