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

// Calendar dates of the proleptic Gregorian calendar. The functions take
// the zone the date is read in; a nil zone means GMT.
typedef const struct CFTimeZoneObject* CFTimeZoneRef;

typedef struct {
    SInt32 year;
    SInt8 month;    // 1...12
    SInt8 day;      // 1...31
    SInt8 hour;     // 0...23
    SInt8 minute;   // 0...59
    double second;  // 0 up to 60
} CFGregorianDate;

typedef struct {
    SInt32 years;
    SInt32 months;
    SInt32 days;
    SInt32 hours;
    SInt32 minutes;
    double seconds;
} CFGregorianUnits;

typedef CFOptionFlags CFGregorianUnitFlags;
enum : CFGregorianUnitFlags {
    kCFGregorianUnitsYears = 1 << 0,
    kCFGregorianUnitsMonths = 1 << 1,
    kCFGregorianUnitsDays = 1 << 2,
    kCFGregorianUnitsHours = 1 << 3,
    kCFGregorianUnitsMinutes = 1 << 4,
    kCFGregorianUnitsSeconds = 1 << 5,
    kCFGregorianAllUnits = 0x00FFFFFF,
};

// Whether the fields named by `unitFlags` are within their ranges (the day
// within its month).
Boolean CFGregorianDateIsValid(CFGregorianDate gdate, CFOptionFlags unitFlags);
// The instant a wall-clock date names in the zone. A date that the zone
// skips (the hour lost when clocks go forward) is read with the offset from
// before the change, so it lands just after it; a date that occurs twice
// (the hour repeated when clocks go back) answers the first occurrence.
CFAbsoluteTime CFGregorianDateGetAbsoluteTime(CFGregorianDate gdate, CFTimeZoneRef tz);
CFGregorianDate CFAbsoluteTimeGetGregorianDate(CFAbsoluteTime at, CFTimeZoneRef tz);
// Adds years and months (a day past the end of the new month becomes its
// last day: 31 January plus one month is the end of February), then days,
// keeping the wall-clock time in the zone, then hours, minutes and seconds
// as elapsed time.
CFAbsoluteTime CFAbsoluteTimeAddGregorianUnits(CFAbsoluteTime at, CFTimeZoneRef tz, CFGregorianUnits units);
// The difference at1 - at2 in the units asked for, largest first, each as
// many whole units as fit (negative when at1 is earlier), the seconds
// taking the rest.
CFGregorianUnits CFAbsoluteTimeGetDifferenceAsGregorianUnits(CFAbsoluteTime at1, CFAbsoluteTime at2, CFTimeZoneRef tz,
                                                             CFOptionFlags unitFlags);
// 1 for Monday up to 7 for Sunday.
SInt32 CFAbsoluteTimeGetDayOfWeek(CFAbsoluteTime at, CFTimeZoneRef tz);
// 1 for the first of January.
SInt32 CFAbsoluteTimeGetDayOfYear(CFAbsoluteTime at, CFTimeZoneRef tz);
// The ISO 8601 week number (weeks begin on Monday; week 1 holds the first Thursday).
SInt32 CFAbsoluteTimeGetWeekOfYear(CFAbsoluteTime at, CFTimeZoneRef tz);
