// The one clock of the system. Everything that asks for the time (dates,
// timers, reminders, frame gates) asks here, so tests can stop time and move
// it by hand instead of sleeping.
#pragma once

#include <cstdint>

namespace Clock {

// Seconds since 1970-01-01 00:00:00 UTC.
double WallSeconds();
// Nanoseconds on a scale that never goes back (not related to the wall).
uint64_t MonotonicNanoseconds();
// Whether a Fake stands in for the clocks: waiting on real time for a clock
// that does not move would never end.
bool IsFake();

// While a Fake exists, both clocks stand still except when moved through it.
class Fake {
public:
    explicit Fake(double wallSeconds, uint64_t monotonicNanoseconds = 1'000'000'000);
    ~Fake();
    Fake(const Fake&) = delete;
    Fake& operator=(const Fake&) = delete;

    // Moves both clocks forward.
    void Advance(double seconds);
    // Sets the wall clock alone (the monotonic clock is not moved).
    void SetWallSeconds(double wallSeconds);

private:
    friend double WallSeconds();
    friend uint64_t MonotonicNanoseconds();
    Fake* outer_;
    double wall_;
    uint64_t monotonic_;
};

}  // namespace Clock
