// Task dates as both programs see them: the reminder moment, the next date
// of a repeating task, the text drawn for a date, and the day a date falls
// on relative to today. The desktop program and the helper are built with
// this one unit, so a row and its reminder always agree.
#pragma once

#include <CoreFoundation/MacTypes.h>
#include <Foundation/NSDate.h>
#include <Foundation/NSString.h>

namespace BrindletShared {

// Reminder choices of a task.
enum DateNotify : SInt32 {
    kNotifyNone = 0,
    kNotifyAtDueTime = 1,
    kNotify5MinutesBefore = 3,
    kNotify15MinutesBefore = 4,
    kNotify30MinutesBefore = 5,
    kNotify1HourBefore = 7,
    kNotify2HoursBefore = 8,
    kNotify3HoursBefore = 9,
    kNotify5HoursBefore = 10,
    kNotify12HoursBefore = 11,
    kNotify1DayBefore = 13,
};

// Repeat choices of a task.
enum DateRepeat : SInt32 {
    kRepeatNone = 0,
    kRepeatDaily = 2,
    kRepeatWeekly = 3,
    kRepeatMonthly = 4,
    kRepeatYearly = 5,
};

// Date styles of a task.
enum DateStyle : SInt32 {
    kDateOnly = 0,
    kDateAndTime = 1,
};

// The moment to remind of a task due at `due`: the due date moved by the
// choice's offset in the current calendar. Nil (the caller releases what is
// not nil) without a due date, for no reminder, and when that moment has
// already come.
NSDate* CopyNotificationDate(const NSDate* due, SInt32 notify);

// The next date of a repeating task whose due date has come: one day, week,
// month or year later (one period only, even when that still lies in the
// past). Nil without a due date, for no or an unknown repeat, and while the
// due date has not come yet. The caller releases what is not nil.
NSDate* CopyRepeatedDate(const NSDate* due, SInt32 repeat);

// The text of a due date as a row draws it. Date-only dates: the short date
// (the words for yesterday, today and tomorrow when relative). Dates with a
// time: short date and time, or, when relative, "Yesterday 14:05",
// "Tomorrow 09:00", "Today in 20 minutes", "Today 2 hours ago", "Today right
// now!" and, further away, the short date and time with the day words. Nil
// for a nil date or another style. The caller releases what is not nil.
NSString* CopyFormattedDate(const NSDate* date, SInt32 style, bool relative);

// The date's day against today, by calendar days in the current calendar's
// zone: -1 yesterday, 0 today, 1 tomorrow, otherwise the signed number of
// days between the two calendar dates. A task due today at 23:45 is today.
SInt32 DayRelation(const NSDate* date);

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar
// (month 1 to 12, day 1 to 31).
long long DaysFromCivil(long long year, unsigned month, unsigned day);

}  // namespace BrindletShared
