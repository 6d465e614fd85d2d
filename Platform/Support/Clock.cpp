#include "Clock.h"

#include <atomic>
#include <cmath>
#include <ctime>

namespace Clock {

namespace {

std::atomic<Fake*> gFake{nullptr};

}  // namespace

double WallSeconds()
{
    if (Fake* fake = gFake.load(std::memory_order_acquire))
        return fake->wall_;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

uint64_t MonotonicNanoseconds()
{
    if (Fake* fake = gFake.load(std::memory_order_acquire))
        return fake->monotonic_;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000ULL + static_cast<uint64_t>(now.tv_nsec);
}

bool IsFake()
{
    return gFake.load(std::memory_order_acquire) != nullptr;
}

Fake::Fake(double wallSeconds, uint64_t monotonicNanoseconds)
    : outer_(gFake.load()), wall_(wallSeconds), monotonic_(monotonicNanoseconds)
{
    gFake.store(this, std::memory_order_release);
}

Fake::~Fake()
{
    gFake.store(outer_, std::memory_order_release);
}

void Fake::Advance(double seconds)
{
    if (seconds <= 0)
        return;
    wall_ += seconds;
    monotonic_ += static_cast<uint64_t>(std::llround(seconds * 1e9));
}

void Fake::SetWallSeconds(double wallSeconds)
{
    wall_ = wallSeconds;
}

}  // namespace Clock
