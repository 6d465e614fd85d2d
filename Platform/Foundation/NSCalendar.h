// The Gregorian calendar and date components on the Cocoa side.
#pragma once

#include <Foundation/NSDate.h>

typedef NSUInteger NSCalendarUnit;
enum : NSCalendarUnit {
    NSCalendarUnitEra = 1 << 1,
    NSCalendarUnitYear = 1 << 2,
    NSCalendarUnitMonth = 1 << 3,
    NSCalendarUnitDay = 1 << 4,
    NSCalendarUnitHour = 1 << 5,
    NSCalendarUnitMinute = 1 << 6,
    NSCalendarUnitSecond = 1 << 7,
    NSCalendarUnitWeekday = 1 << 9,
    NSCalendarUnitWeekOfYear = 1 << 13,
};

inline constexpr NSInteger NSDateComponentUndefined = NSIntegerMax;

class NSDateComponents : public NSObject {
public:
    static NSDateComponents* newComponents();
    static NSDateComponents* components();  // autoreleased

    // Unset fields answer NSDateComponentUndefined. The weekday counts 1
    // for Sunday up to 7 for Saturday; `week` (when adding) means 7 days.
    NSInteger era = NSDateComponentUndefined;
    NSInteger year = NSDateComponentUndefined;
    NSInteger month = NSDateComponentUndefined;
    NSInteger day = NSDateComponentUndefined;
    NSInteger hour = NSDateComponentUndefined;
    NSInteger minute = NSDateComponentUndefined;
    NSInteger second = NSDateComponentUndefined;
    NSInteger weekday = NSDateComponentUndefined;
    NSInteger week = NSDateComponentUndefined;
    NSInteger weekOfYear = NSDateComponentUndefined;

    const char* className() const override { return "NSDateComponents"; }

private:
    NSDateComponents() = default;
};

class NSCalendar : public NSObject {
public:
    // The Gregorian calendar in the default time zone, autoreleased.
    static NSCalendar* currentCalendar();
    // "gregorian" only; nil for other identifiers.
    static NSCalendar* calendarWithIdentifier(const char* identifier);

    NSTimeZone* timeZone() const { return timeZone_; }
    void setTimeZone(NSTimeZone* zone);

    // The fields named by `units` of the date, in the calendar's zone; autoreleased.
    NSDateComponents* components(NSCalendarUnit units, const NSDate* date) const;
    // The date the components name (unset fields: the start of their range;
    // fields beyond their range carry over, so month 13 is January of the
    // next year); autoreleased.
    NSDate* dateFromComponents(const NSDateComponents* components) const;
    // The date plus the components (see CFAbsoluteTimeAddGregorianUnits for
    // how each unit adds); autoreleased.
    NSDate* dateByAddingComponents(const NSDateComponents* components, const NSDate* date, NSUInteger options) const;
    // The difference `to` - `from` in the units asked for, largest first; autoreleased.
    NSDateComponents* components(NSCalendarUnit units, const NSDate* from, const NSDate* to, NSUInteger options) const;

    const char* className() const override { return "NSCalendar"; }

private:
    NSCalendar();
    ~NSCalendar() override;

    NSTimeZone* timeZone_;  // retained
};
