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
