#pragma once

// An object that counts how many of its kind are alive, for tests of who
// frees Foundation objects and when (autorelease pools, notification
// objects). Set `Probe::alive` to 0 at the start of a test.

#include <Foundation/NSObject.h>

class Probe : public NSObject {
public:
    static Probe* make() { return new Probe; }
    ~Probe() override { --alive; }
    static inline int alive = 0;

private:
    Probe() { ++alive; }
};
