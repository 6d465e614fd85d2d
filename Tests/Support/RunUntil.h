#pragma once

// Runs the main event loop until `done` holds or `seconds` have gone by;
// answers whether it held. For tests that wait on timers, the bus or the
// file system.

#include <CarbonCore/CarbonEventLoop.h>
#include <CarbonCore/CarbonEvents.h>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

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

// Runs the application's event loop until it is quit; false when it had to
// be stopped after `seconds`.
inline bool RunApplicationLoop(double seconds = 20)
{
    bool stopped = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        stopped = true;
        QuitApplicationEventLoop();
    });
    watchdog.start(static_cast<int>(seconds * 1000));
    RunApplicationEventLoop();
    return !stopped;
}
