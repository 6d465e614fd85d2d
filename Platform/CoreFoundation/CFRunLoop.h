// Run loops: one per thread, the same loop as the thread's Carbon event loop
// (CarbonCore/CarbonEventLoop.h runs it). What is here is what scheduling a
// stream needs: the loop of the calling thread, the main thread's loop and
// the mode names. A run loop lives as long as the process.
#pragma once

#include <CoreFoundation/CFBase.h>

typedef struct CFRunLoopObject* CFRunLoopRef;

// Modes are names; our loops run every mode at once, so an object scheduled
// in any mode of a loop is served whenever the loop runs.
extern const CFStringRef kCFRunLoopDefaultMode;
extern const CFStringRef kCFRunLoopCommonModes;

CFTypeID CFRunLoopGetTypeID();
CFRunLoopRef CFRunLoopGetCurrent();
// The loop of the process's first thread, the one that makes the
// QCoreApplication, whichever thread asks.
CFRunLoopRef CFRunLoopGetMain();

// Our own addition: whether `rl` is the loop of the calling thread.
Boolean CFRunLoopIsCurrent(CFRunLoopRef rl);
