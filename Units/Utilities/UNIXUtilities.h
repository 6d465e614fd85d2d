// Running a command and waiting for it.
#pragma once

#include "ShortString.h"

#include <CoreFoundation/CoreFoundation.h>

// Runs a command line and waits for it; its output is read to the end and
// discarded. The line is split into words like a simple shell command
// (quotes group, a backslash escapes) but no shell runs it: nothing in it is
// expanded, substituted, piped or redirected. Answers the wait status (0 on
// success); nothing runs, and the answer is -1, for an empty or malformed line.
int ProcessOpen(const ShortString& command);
int ProcessOpen(CFStringRef command);
