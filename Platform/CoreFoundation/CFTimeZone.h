// Time zones, from the system's time-zone database.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFDate.h>

typedef const struct CFTimeZoneObject* CFTimeZoneRef;

CFTypeID CFTimeZoneGetTypeID();

// The zone the system runs in ($TZ, else the machine's setting), read once
// until CFTimeZoneResetSystem.
CFTimeZoneRef CFTimeZoneCopySystem();
void CFTimeZoneResetSystem();
// The zone dates are shown in: the system zone unless set.
CFTimeZoneRef CFTimeZoneCopyDefault();
void CFTimeZoneSetDefault(CFTimeZoneRef tz);

// A zone by its database name ("Europe/Berlin"), or by a common abbreviation
// ("PST", "CET") when `tryAbbrev`; nil when unknown.
CFTimeZoneRef CFTimeZoneCreateWithName(CFAllocatorRef allocator, CFStringRef name, Boolean tryAbbrev);
// A zone at a fixed offset from GMT (no daylight-saving time).
CFTimeZoneRef CFTimeZoneCreateWithTimeIntervalFromGMT(CFAllocatorRef allocator, CFTimeInterval ti);

CFStringRef CFTimeZoneGetName(CFTimeZoneRef tz);
// The zone's offset from GMT at the instant, daylight-saving time included.
CFTimeInterval CFTimeZoneGetSecondsFromGMT(CFTimeZoneRef tz, CFAbsoluteTime at);
Boolean CFTimeZoneIsDaylightSavingTime(CFTimeZoneRef tz, CFAbsoluteTime at);
