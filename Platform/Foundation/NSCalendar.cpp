#include "NSCalendar.h"

#include <CoreFoundation/CFDateInternal.h>

#include <cmath>
#include <cstring>

namespace {

bool IsSet(NSInteger value)
{
    return value != NSDateComponentUndefined;
}

NSInteger OrZero(NSInteger value)
{
    return IsSet(value) ? value : 0;
}

}  // namespace

NSDateComponents* NSDateComponents::newComponents()
{
    return new NSDateComponents;
}

NSDateComponents* NSDateComponents::components()
{
    return NSAutorelease(newComponents());
}

NSCalendar::NSCalendar() : timeZone_(static_cast<NSTimeZone*>(NSTimeZone::defaultTimeZone()->retain())) {}

NSCalendar::~NSCalendar()
{
    timeZone_->release();
}

NSCalendar* NSCalendar::currentCalendar()
{
    return NSAutorelease(new NSCalendar);
}

NSCalendar* NSCalendar::calendarWithIdentifier(const char* identifier)
{
    if (identifier == nullptr || std::strcmp(identifier, "gregorian") != 0)
        return nullptr;
    return currentCalendar();
}

void NSCalendar::setTimeZone(NSTimeZone* zone)
{
    if (zone == nullptr || zone == timeZone_)
        return;
    zone->retain();
    timeZone_->release();
    timeZone_ = zone;
}

NSDateComponents* NSCalendar::components(NSCalendarUnit units, const NSDate* date) const
{
    NSDateComponents* result = NSDateComponents::components();
    if (date == nullptr)
        return result;
    const CFAbsoluteTime at = date->timeIntervalSinceReferenceDate();
    const CFTimeZoneRef zone = timeZone_->cfTimeZone();
    const CFGregorianDate g = CFAbsoluteTimeGetGregorianDate(at, zone);
    if (units & NSCalendarUnitEra)
        result->era = g.year > 0 ? 1 : 0;
    if (units & NSCalendarUnitYear)
        result->year = g.year;
    if (units & NSCalendarUnitMonth)
        result->month = g.month;
    if (units & NSCalendarUnitDay)
        result->day = g.day;
    if (units & NSCalendarUnitHour)
        result->hour = g.hour;
    if (units & NSCalendarUnitMinute)
        result->minute = g.minute;
    if (units & NSCalendarUnitSecond)
        result->second = static_cast<NSInteger>(std::floor(g.second));
    if (units & NSCalendarUnitWeekday)
        result->weekday = CFAbsoluteTimeGetDayOfWeek(at, zone) % 7 + 1;  // Monday 1 … Sunday 7 → Sunday 1
    if (units & NSCalendarUnitWeekOfYear)
        result->weekOfYear = CFAbsoluteTimeGetWeekOfYear(at, zone);
    return result;
}

NSDate* NSCalendar::dateFromComponents(const NSDateComponents* components) const
{
    if (components == nullptr)
        return nullptr;
    // Normalise through the calendar without a zone, then read the wall
    // clock in the calendar's zone.
    const int64_t year = IsSet(components->year) ? components->year : 1;
    const int64_t month = IsSet(components->month) ? components->month : 1;
    const int64_t day = IsSet(components->day) ? components->day : 1;
    const int64_t monthIndex = month - 1;
    const int64_t carryYears = monthIndex >= 0 ? monthIndex / 12 : -((11 - monthIndex) / 12);
    const int normalisedMonth = static_cast<int>(monthIndex - carryYears * 12 + 1);
    const double wall = CFAbsoluteTimeFromUTC({year + carryYears, normalisedMonth, 1, 0, 0, 0}) +
                        static_cast<double>(day - 1) * 86400.0 + OrZero(components->hour) * 3600.0 +
                        OrZero(components->minute) * 60.0 + static_cast<double>(OrZero(components->second));
    const CFGregorianDate normalised = CFAbsoluteTimeGetGregorianDate(wall, nullptr);
    return NSDate::dateWithTimeIntervalSinceReferenceDate(
        CFGregorianDateGetAbsoluteTime(normalised, timeZone_->cfTimeZone()));
}

NSDate* NSCalendar::dateByAddingComponents(const NSDateComponents* components, const NSDate* date, NSUInteger) const
{
    if (components == nullptr || date == nullptr)
        return nullptr;
    CFGregorianUnits units{};
    units.years = static_cast<SInt32>(OrZero(components->year));
    units.months = static_cast<SInt32>(OrZero(components->month));
    units.days = static_cast<SInt32>(OrZero(components->day) + 7 * OrZero(components->week) +
                                     7 * OrZero(components->weekOfYear));
    units.hours = static_cast<SInt32>(OrZero(components->hour));
    units.minutes = static_cast<SInt32>(OrZero(components->minute));
    units.seconds = static_cast<double>(OrZero(components->second));
    return NSDate::dateWithTimeIntervalSinceReferenceDate(
        CFAbsoluteTimeAddGregorianUnits(date->timeIntervalSinceReferenceDate(), timeZone_->cfTimeZone(), units));
}

NSDateComponents* NSCalendar::components(NSCalendarUnit units, const NSDate* from, const NSDate* to, NSUInteger) const
{
    NSDateComponents* result = NSDateComponents::components();
    if (from == nullptr || to == nullptr)
        return result;
    CFOptionFlags flags = 0;
    if (units & NSCalendarUnitYear)
        flags |= kCFGregorianUnitsYears;
    if (units & NSCalendarUnitMonth)
        flags |= kCFGregorianUnitsMonths;
    if (units & NSCalendarUnitDay)
        flags |= kCFGregorianUnitsDays;
    if (units & NSCalendarUnitHour)
        flags |= kCFGregorianUnitsHours;
    if (units & NSCalendarUnitMinute)
        flags |= kCFGregorianUnitsMinutes;
    if (units & NSCalendarUnitSecond)
        flags |= kCFGregorianUnitsSeconds;
    const CFGregorianUnits difference = CFAbsoluteTimeGetDifferenceAsGregorianUnits(
        to->timeIntervalSinceReferenceDate(), from->timeIntervalSinceReferenceDate(), timeZone_->cfTimeZone(), flags);
    if (units & NSCalendarUnitYear)
        result->year = difference.years;
    if (units & NSCalendarUnitMonth)
        result->month = difference.months;
    if (units & NSCalendarUnitDay)
        result->day = difference.days;
    if (units & NSCalendarUnitHour)
        result->hour = difference.hours;
    if (units & NSCalendarUnitMinute)
        result->minute = difference.minutes;
    if (units & NSCalendarUnitSecond)
        result->second = static_cast<NSInteger>(std::trunc(difference.seconds));
    return result;
}
