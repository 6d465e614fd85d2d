#pragma once

// Runs the main event loop until `done` holds or `seconds` have gone by;
// answers whether it held. For tests that wait on timers, the bus or the
// file system.

#include <CarbonCore/CarbonEventLoop.h>

#include <QElapsedTimer>

#include <functional>

inline bool RunUntil(const std::function<bool()>& done, double seconds = 30)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > seconds * 1000)
            return false;
        RunCurrentEventLoop(0.01);
    }
    return true;
}
