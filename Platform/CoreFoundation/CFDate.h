// Points in time: seconds since 2001-01-01 00:00:00 UTC.
#pragma once

#include <CoreFoundation/CFBase.h>

typedef double CFTimeInterval;
typedef CFTimeInterval CFAbsoluteTime;

extern const CFTimeInterval kCFAbsoluteTimeIntervalSince1970;
extern const CFTimeInterval kCFAbsoluteTimeIntervalSince1904;

// Now, from the system's one clock.
CFAbsoluteTime CFAbsoluteTimeGetCurrent();

typedef const struct CFDateObject* CFDateRef;

CFTypeID CFDateGetTypeID();
CFDateRef CFDateCreate(CFAllocatorRef allocator, CFAbsoluteTime at);
CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate);
CFTimeInterval CFDateGetTimeIntervalSinceDate(CFDateRef theDate, CFDateRef otherDate);
CFComparisonResult CFDateCompare(CFDateRef theDate, CFDateRef otherDate, void* context);
