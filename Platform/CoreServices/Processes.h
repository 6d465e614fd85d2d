// The Process Manager as the units use it: walking the running processes
// and reading their names. A running process is a process of /proc that
// is not a zombie; its serial number carries its PID.
#pragma once

#include <CarbonCore/MacErrors.h>
#include <CoreFoundation/CoreFoundation.h>

#include <sys/types.h>

struct ProcessSerialNumber {
    UInt32 highLongOfPSN;
    UInt32 lowLongOfPSN;
};

enum : UInt32 {
    kNoProcess = 0,
    kSystemProcess = 1,
    kCurrentProcess = 2,
};

// From {0, kNoProcess}, the first running process; from a process, the
// next (in PID order). At the end, procNotFound and {0, kNoProcess}.
OSErr GetNextProcess(ProcessSerialNumber* PSN);
// The process's name (a new string): its command name as the kernel keeps
// it (what the program set, or the name it was started as), or the name of
// the file it was started from when the kernel's copy is cut short.
// procNotFound when the process is gone or its name cannot be read.
OSStatus CopyProcessName(const ProcessSerialNumber* psn, CFStringRef* name);
OSStatus GetProcessPID(const ProcessSerialNumber* psn, pid_t* pid);
OSStatus GetProcessForPID(pid_t pid, ProcessSerialNumber* psn);
OSErr GetCurrentProcess(ProcessSerialNumber* PSN);

// Whether the two name the same process ({0, kCurrentProcess} names this
// one). paramErr for a nil argument or a number that names no process.
OSErr SameProcess(const ProcessSerialNumber* PSN1, const ProcessSerialNumber* PSN2, Boolean* result);

// ---- the front process, showing and hiding ----
//
// This process's windows are reached through the window layer's hook
// (below); another instance of our own programs through the session bus
// (see SingleInstance.h); any other process through the hook's optional
// calls for other processes, as far as the window system allows. A
// process that none of these reaches answers procNotFound.

// The process whose window is active: this one when one of its windows is
// the active window, else the one the window layer names. procNotFound
// when no process is known to be in front.
OSErr GetFrontProcess(ProcessSerialNumber* PSN);
// Makes the process the front one. This process: shows it when it is
// hidden, then raises and activates its front window (a process without
// windows has nothing to raise and answers noErr). paramErr for nil or a
// number that names no process; procNotFound when the process is gone or
// cannot be reached.
OSErr SetFrontProcess(const ProcessSerialNumber* PSN);
// Hides (false) or shows (true) every window of the process. This process:
// the window layer hides or shows its windows, then kEventAppHidden or
// kEventAppShown goes to the application target; nothing happens when the
// process already is as asked. Errors as SetFrontProcess.
OSErr ShowHideProcess(const ProcessSerialNumber* psn, Boolean visible);
// False for a hidden process, nil, and a process that is not running.
// Another process that cannot be asked counts as visible.
Boolean IsProcessVisible(const ProcessSerialNumber* psn);

// Our own addition: what the window layer lets the process services do
// with its windows. Every call comes on the main thread. The calls for
// other processes may be nil (then such a process answers procNotFound,
// or counts as visible).
struct ApplicationWindowsHook {
    // Hides every window of the application (true), or shows again those
    // that were shown when it was hidden (false). A window keeps its own
    // visible state meanwhile.
    void (*setApplicationHidden)(Boolean hidden, void* refCon);
    // Raises the application's front window and makes it the active window.
    void (*activateApplication)(void* refCon);
    // Whether one of the application's windows is the active window.
    Boolean (*isApplicationActive)(void* refCon);
    // The process whose window is active; 0 when not known.
    pid_t (*frontProcessID)(void* refCon);
    // Raises and activates a window of another process; false when it has
    // none that could be.
    Boolean (*activateProcess)(pid_t pid, void* refCon);
    // Hides or shows the windows of another process; false when it could not.
    Boolean (*setProcessHidden)(pid_t pid, Boolean hidden, void* refCon);
    void* refCon;
};
// Copies the hook (nil removes it). Without one the application has no
// windows: hiding and showing change only its state and send the events.
void SetApplicationWindowsHook(const ApplicationWindowsHook* hook);
