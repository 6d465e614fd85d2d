// Event-loop timers that call a responder's action: once after a delay, or
// repeatedly at an interval. A timer is installed from the moment it is
// made; each firing is an ordinary InvokeAction with the timer's user data
// (or the timer itself when there is none), then Invoked.
#pragma once

#include <Units/Classes/TResponderUnit.h>

#include <CarbonCore/CarbonEventLoop.h>

class TTimer : public TResponder {
    BRINDLET_CLASS(TTimer, TResponder)

public:
    // Argument order throughout: fire delay, interval, action, target, data.
    static TTimer* Create(double fireDelay, double interval, const ShortString& action, TObject* target, void* data);
    static TTimer* Create(double fireDelay, double interval, MethodCode action, TObject* target, void* data);
    // A timer without an action, for subclasses that override Invoked.
    static TTimer* Create(double fireDelay, double interval);
    // A one-shot timer; it stays allocated after it fires until terminated.
    static TTimer* InvokeMethod(double delay, MethodCode action, TObject* target, void* data);
    static TTimer* InvokeMethod(double delay, const ShortString& action, TObject* target, void* data);
    using TObject::InvokeMethod;
    // Removes the variable's timer from the loop, autoreleases it and clears
    // the variable; nothing for nil.
    static void Terminate(TTimer*& timer);

    void Deallocate() override;

    void Remove();
    // The next firing after the fire delay from now (the interval when the
    // delay is 0).
    void Reset();
    void SetNextFireTime(double seconds);
    void Pause() { SetNextFireTime(kEventDurationForever); }
    void Resume() { SetNextFireTime(0.0); }
    // The next firing `delay` seconds from now (0: the next pass of the loop).
    void Fire(double delay) { SetNextFireTime(delay); }
    void InstallTimer();
    // Stores the times and arms the timer. The first call also runs
    // Initialize (a subclass's own constructor arms itself this way); later
    // calls only re-arm it.
    void Run(double fireDelay, double interval);
    bool IsInstalled() const { return timer_ != nullptr; }

    // Called after every firing; nothing here.
    virtual void Invoked() {}

protected:
    TTimer() = default;

    // A new timer of class T, armed and initialised.
    template <typename T, typename Action>
    static T* Build(double fireDelay, double interval, Action action, TObject* target, void* data)
    {
        T* timer = AllocateInstance<T>();
        timer->SetAction(action);
        timer->SetTarget(target);
        timer->fireDelay_ = fireDelay;
        timer->interval_ = interval;
        timer->userData_ = data;
        timer->InstallTimer();
        timer->Initialize();
        return timer;
    }

private:
    static void TimerCallback(EventLoopTimerRef timer, void* userData);

    EventLoopTimerRef timer_ = nullptr;
    double fireDelay_ = 0;
    double interval_ = 0;
    void* userData_ = nullptr;
};

// A one-shot timer that releases itself once it has fired.
class TDelayedAction : public TTimer {
    BRINDLET_CLASS(TDelayedAction, TTimer)

public:
    static TDelayedAction* Create(double delay, MethodCode action, TObject* target, void* data = nullptr);
    void Start(double delay) { Run(delay, 0.0); }
    void Invoked() override;

protected:
    TDelayedAction() = default;
};
