#include "BrindletShared.h"

#include <Units/Utilities/CocoaUtilities.h>

#include <CoreFoundation/CFDate.h>
#include <Foundation/NSCalendar.h>
#include <Foundation/NSDateFormatter.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace BrindletShared {

namespace {

using namespace NSDateUtilities;

long long CalendarDay(const NSDate* date)
{
    const NSDateComponents* parts =
        NSCalendar::currentCalendar()->components(NSCalendarUnitYear | NSCalendarUnitMonth | NSCalendarUnitDay, date);
    return DaysFromCivil(parts->year, static_cast<unsigned>(parts->month), static_cast<unsigned>(parts->day));
}

NSString* FormattedWith(const NSDate* date, NSDateFormatterStyle dateStyle, NSDateFormatterStyle timeStyle,
                        bool relative)
{
    NSDateFormatter* formatter = NSDateFormatter::newFormatter();
    formatter->setDateStyle(dateStyle);
    formatter->setTimeStyle(timeStyle);
    formatter->setDoesRelativeDateFormatting(relative);
    NSString* text = formatter->stringFromDate(date);
    text->retain();
    formatter->release();
    return text;
}

NSString* NewString(const std::string& text)
{
    return NSString::newWithUTF8String(text);
}

}  // namespace

long long DaysFromCivil(long long year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

NSDate* CopyNotificationDate(const NSDate* due, SInt32 notify)
{
    if (due == nullptr || notify == kNotifyNone)
        return nullptr;
    const NSDate* at = due;
    switch (notify) {
    case kNotify5MinutesBefore:
        at = dateByAddingMinutes(due, -5);
        break;
    case kNotify15MinutesBefore:
        at = dateByAddingMinutes(due, -15);
        break;
    case kNotify30MinutesBefore:
        at = dateByAddingMinutes(due, -30);
        break;
    case kNotify1HourBefore:
        at = dateByAddingHours(due, -1);
        break;
    case kNotify2HoursBefore:
        at = dateByAddingHours(due, -2);
        break;
    case kNotify3HoursBefore:
        at = dateByAddingHours(due, -3);
        break;
    case kNotify5HoursBefore:
        at = dateByAddingHours(due, -5);
        break;
    case kNotify12HoursBefore:
        at = dateByAddingHours(due, -12);
        break;
    case kNotify1DayBefore:
        at = dateByAddingDays(due, -1);
        break;
    default:
        break;  // at the due time
    }
    if (at == nullptr || occurredAlready(at))
        return nullptr;
    return static_cast<NSDate*>(const_cast<NSDate*>(at)->retain());
}

NSDate* CopyRepeatedDate(const NSDate* due, SInt32 repeat)
{
    if (due == nullptr || repeat == kRepeatNone || !occurredAlready(due))
        return nullptr;
    NSDate* next = nullptr;
    switch (repeat) {
    case kRepeatDaily:
        next = dateByAddingDays(due, 1);
        break;
    // Seven calendar days: the same weekday at the same wall-clock time,
    // also across a change of daylight saving time.
    case kRepeatWeekly:
        next = dateByAddingDays(due, 7);
        break;
    case kRepeatMonthly:
        next = dateByAddingMonths(due, 1);
        break;
    case kRepeatYearly:
        next = dateByAddingYears(due, 1);
        break;
    default:
        return nullptr;
    }
    return next != nullptr ? static_cast<NSDate*>(next->retain()) : nullptr;
}

SInt32 DayRelation(const NSDate* date)
{
    if (date == nullptr)
        return 0;
    return static_cast<SInt32>(CalendarDay(date) - CalendarDay(NSDate::date()));
}

NSString* CopyFormattedDate(const NSDate* date, SInt32 style, bool relative)
{
    if (date == nullptr)
        return nullptr;
    if (style == kDateOnly)
        return FormattedWith(date, NSDateFormatterShortStyle, NSDateFormatterNoStyle, relative);
    if (style != kDateAndTime)
        return nullptr;
    if (!relative)
        return FormattedWith(date, NSDateFormatterShortStyle, NSDateFormatterShortStyle, false);

    const CFGregorianUnits difference = differenceAsGregorianUnits(date, dateWithZeroSeconds(NSDate::date()));
    auto timeOf = [date] {
        NSString* time = FormattedWith(date, NSDateFormatterNoStyle, NSDateFormatterShortStyle, true);
        std::string text = time->UTF8String();
        time->release();
        return text;
    };
    switch (DayRelation(date)) {
    case -1:
        return NewString("Yesterday " + timeOf());
    case 1:
        return NewString("Tomorrow " + timeOf());
    case 0:
        if (difference.hours == 0) {
            if (difference.minutes > 0)
                return NewString("Today in " + std::to_string(difference.minutes) + " minutes");
            if (difference.minutes < 0)
                return NewString("Today " + std::to_string(std::abs(difference.minutes)) + " minutes ago");
            return NewString("Today right now!");
        }
        if (difference.hours > 0)
            return NewString("Today in " + std::to_string(difference.hours) + " hours");
        return NewString("Today " + std::to_string(std::abs(difference.hours)) + " hours ago");
    default:
        return FormattedWith(date, NSDateFormatterShortStyle, NSDateFormatterShortStyle, true);
    }
}

}  // namespace BrindletShared
