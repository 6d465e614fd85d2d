// Calendar arithmetic in a time zone: wall-clock dates and instants.

#include "CFDateInternal.h"
#include "CFTimeZoneInternal.h"

#include <CoreFoundation/CFDate.h>

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kSecondsPerDay = 86400.0;

bool IsLeapYear(int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int64_t year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

double OffsetAt(const QTimeZone& zone, CFAbsoluteTime at)
{
    if (!std::isfinite(at))
        return 0;
    const double unixSeconds = at + kCFAbsoluteTimeIntervalSince1970;
    const QDateTime instant = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(std::floor(unixSeconds)), Qt::UTC);
    return zone.offsetFromUtc(instant);
}

// The wall clock of an instant in a zone, as seconds of a calendar that
// has no zone (the instant shifted by the zone's offset then).
double WallClock(const QTimeZone& zone, CFAbsoluteTime at)
{
    return at + OffsetAt(zone, at);
}

// The instant of a wall-clock reading in a zone (see the header for dates
// that a zone skips or repeats).
CFAbsoluteTime InstantOfWallClock(const QTimeZone& zone, double wall)
{
    // Within a day of any date a zone changes its offset at most once.
    const double early = OffsetAt(zone, wall - kSecondsPerDay);
    const double late = OffsetAt(zone, wall + kSecondsPerDay);
    const double atEarly = wall - early;
    const double atLate = wall - late;
    const bool earlyFits = OffsetAt(zone, atEarly) == early;
    const bool lateFits = OffsetAt(zone, atLate) == late;
    if (earlyFits && lateFits)
        return std::min(atEarly, atLate);
    if (lateFits)
        return atLate;
    return atEarly;  // fits, or the reading falls in a gap
}

CFGregorianDate DateOfWall(double wall)
{
    CFUTCDateTime utc{};
    CFGregorianDate date{};
    if (!CFAbsoluteTimeToUTC(wall, &utc))
        return date;
    date.year = static_cast<SInt32>(utc.year);
    date.month = static_cast<SInt8>(utc.month);
    date.day = static_cast<SInt8>(utc.day);
    date.hour = static_cast<SInt8>(utc.hour);
    date.minute = static_cast<SInt8>(utc.minute);
    date.second = utc.second;
    return date;
}

double WallOfDate(const CFGregorianDate& date)
{
    return CFAbsoluteTimeFromUTC({date.year, date.month, date.day, date.hour, date.minute, date.second});
}

// Whole days since 1970-01-01 of a wall-clock reading.
int64_t DayNumber(double wall)
{
    return static_cast<int64_t>(std::floor((wall + kCFAbsoluteTimeIntervalSince1970) / kSecondsPerDay));
}

}  // namespace

Boolean CFGregorianDateIsValid(CFGregorianDate gdate, CFOptionFlags unitFlags)
{
    if ((unitFlags & kCFGregorianUnitsMonths) && (gdate.month < 1 || gdate.month > 12))
        return false;
    if (unitFlags & kCFGregorianUnitsDays) {
        if (gdate.day < 1 || gdate.day > 31)
            return false;
        if (gdate.month >= 1 && gdate.month <= 12 && gdate.day > DaysInMonth(gdate.year, gdate.month))
            return false;
    }
    if ((unitFlags & kCFGregorianUnitsHours) && (gdate.hour < 0 || gdate.hour > 23))
        return false;
    if ((unitFlags & kCFGregorianUnitsMinutes) && (gdate.minute < 0 || gdate.minute > 59))
        return false;
    if ((unitFlags & kCFGregorianUnitsSeconds) && !(gdate.second >= 0 && gdate.second < 60))
        return false;
    return true;
}

CFAbsoluteTime CFGregorianDateGetAbsoluteTime(CFGregorianDate gdate, CFTimeZoneRef tz)
{
    return InstantOfWallClock(CFTimeZoneGetQTimeZone(tz), WallOfDate(gdate));
}

CFGregorianDate CFAbsoluteTimeGetGregorianDate(CFAbsoluteTime at, CFTimeZoneRef tz)
{
    return DateOfWall(WallClock(CFTimeZoneGetQTimeZone(tz), at));
}

CFAbsoluteTime CFAbsoluteTimeAddGregorianUnits(CFAbsoluteTime at, CFTimeZoneRef tz, CFGregorianUnits units)
{
    const QTimeZone zone = CFTimeZoneGetQTimeZone(tz);
    CFGregorianDate date = DateOfWall(WallClock(zone, at));
    // Years and months move along the calendar; the day stays within the month.
    int64_t month = static_cast<int64_t>(date.month) - 1 + units.months + static_cast<int64_t>(units.years) * 12;
    int64_t year = date.year + (month >= 0 ? month / 12 : -((11 - month) / 12));
    month = ((month % 12) + 12) % 12 + 1;
    date.year = static_cast<SInt32>(year);
    date.month = static_cast<SInt8>(month);
    date.day = static_cast<SInt8>(std::min<int>(date.day, DaysInMonth(year, static_cast<int>(month))));
    // Days keep the wall-clock time; hours, minutes and seconds are elapsed time.
    const double wall = WallOfDate(date) + static_cast<double>(units.days) * kSecondsPerDay;
    return InstantOfWallClock(zone, wall) + units.hours * 3600.0 + units.minutes * 60.0 + units.seconds;
}

CFGregorianUnits CFAbsoluteTimeGetDifferenceAsGregorianUnits(CFAbsoluteTime at1, CFAbsoluteTime at2, CFTimeZoneRef tz,
                                                             CFOptionFlags unitFlags)
{
    CFGregorianUnits result{};
    if (!std::isfinite(at1) || !std::isfinite(at2))
        return result;
    const bool forward = at1 >= at2;
    CFAbsoluteTime current = at2;
    struct Unit {
        CFGregorianUnitFlags flag;
        SInt32 CFGregorianUnits::*field;
        double approximateSeconds;
    };
    static constexpr Unit kUnits[] = {
        {kCFGregorianUnitsYears, &CFGregorianUnits::years, 365.2425 * 86400},
        {kCFGregorianUnitsMonths, &CFGregorianUnits::months, 30.436875 * 86400},
        {kCFGregorianUnitsDays, &CFGregorianUnits::days, 86400},
        {kCFGregorianUnitsHours, &CFGregorianUnits::hours, 3600},
        {kCFGregorianUnitsMinutes, &CFGregorianUnits::minutes, 60},
    };
    auto add = [&](const Unit& unit, int64_t n) {
        CFGregorianUnits step{};
        step.*unit.field = static_cast<SInt32>(n);
        return CFAbsoluteTimeAddGregorianUnits(current, tz, step);
    };
    auto within = [&](CFAbsoluteTime t) { return forward ? t <= at1 : t >= at1; };
    for (const Unit& unit : kUnits) {
        if (!(unitFlags & unit.flag))
            continue;
        // Start a little short of the estimate, then take whole units while
        // they still fit.
        const double estimate = std::trunc((at1 - current) / unit.approximateSeconds);
        int64_t n = static_cast<int64_t>(std::clamp(estimate, -2e9, 2e9));
        n = forward ? std::max<int64_t>(n - 2, 0) : std::min<int64_t>(n + 2, 0);
        while (n != 0 && !within(add(unit, n)))
            n += forward ? -1 : 1;
        while (within(add(unit, n + (forward ? 1 : -1))))
            n += forward ? 1 : -1;
        result.*unit.field = static_cast<SInt32>(n);
        current = add(unit, n);
    }
    if (unitFlags & kCFGregorianUnitsSeconds)
        result.seconds = at1 - current;
    return result;
}

SInt32 CFAbsoluteTimeGetDayOfWeek(CFAbsoluteTime at, CFTimeZoneRef tz)
{
    // 1970-01-01 was a Thursday.
    const int64_t day = DayNumber(WallClock(CFTimeZoneGetQTimeZone(tz), at));
    return static_cast<SInt32>(((day + 3) % 7 + 7) % 7 + 1);
}

SInt32 CFAbsoluteTimeGetDayOfYear(CFAbsoluteTime at, CFTimeZoneRef tz)
{
    const double wall = WallClock(CFTimeZoneGetQTimeZone(tz), at);
    const CFGregorianDate date = DateOfWall(wall);
    return static_cast<SInt32>(DayNumber(wall) - CFDaysFromCivil(date.year, 1, 1) + 1);
}

SInt32 CFAbsoluteTimeGetWeekOfYear(CFAbsoluteTime at, CFTimeZoneRef tz)
{
    const double wall = WallClock(CFTimeZoneGetQTimeZone(tz), at);
    const int64_t day = DayNumber(wall);
    const int64_t weekday = ((day + 3) % 7 + 7) % 7;  // Monday 0
    // The week belongs to the year of its Thursday.
    const int64_t thursday = day - weekday + 3;
    int64_t year;
    int month, dayOfMonth;
    CFCivilFromDays(thursday, &year, &month, &dayOfMonth);
    return static_cast<SInt32>((thursday - CFDaysFromCivil(year, 1, 1)) / 7 + 1);
}
