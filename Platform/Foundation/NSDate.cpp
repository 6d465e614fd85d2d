#include "NSDate.h"

#include "NSString.h"

#include <CoreFoundation/CFDateInternal.h>
#include <CoreFoundation/CFRef.h>

#include <cmath>

// ---- NSDate ----

NSDate* NSDate::newWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds)
{
    return new NSDate(seconds);
}

NSDate* NSDate::dateWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds)
{
    return NSAutorelease(newWithTimeIntervalSinceReferenceDate(seconds));
}

NSDate* NSDate::date()
{
    return dateWithTimeIntervalSinceReferenceDate(CFAbsoluteTimeGetCurrent());
}

NSDate* NSDate::dateWithTimeIntervalSinceNow(NSTimeInterval seconds)
{
    return dateWithTimeIntervalSinceReferenceDate(CFAbsoluteTimeGetCurrent() + seconds);
}

NSDate* NSDate::dateWithTimeIntervalSince1970(NSTimeInterval seconds)
{
    return dateWithTimeIntervalSinceReferenceDate(seconds - kCFAbsoluteTimeIntervalSince1970);
}

NSDate* NSDate::dateWithCFDate(CFDateRef date)
{
    if (date == nullptr || CFGetTypeID(date) != CFDateGetTypeID())
        return nullptr;
    return dateWithTimeIntervalSinceReferenceDate(CFDateGetAbsoluteTime(date));
}

NSTimeInterval NSDate::timeIntervalSince1970() const
{
    return at_ + kCFAbsoluteTimeIntervalSince1970;
}

NSTimeInterval NSDate::timeIntervalSinceNow() const
{
    return at_ - CFAbsoluteTimeGetCurrent();
}

NSTimeInterval NSDate::timeIntervalSinceDate(const NSDate* other) const
{
    return at_ - (other ? other->at_ : 0.0);
}

NSDate* NSDate::dateByAddingTimeInterval(NSTimeInterval seconds) const
{
    return dateWithTimeIntervalSinceReferenceDate(at_ + seconds);
}

NSComparisonResult NSDate::compare(const NSDate* other) const
{
    const NSTimeInterval them = other ? other->at_ : 0.0;
    return at_ < them ? NSOrderedAscending : at_ > them ? NSOrderedDescending : NSOrderedSame;
}

bool NSDate::isEqualToDate(const NSDate* other) const
{
    return other != nullptr && other->at_ == at_;
}

const NSDate* NSDate::earlierDate(const NSDate* other) const
{
    return other && other->at_ < at_ ? other : this;
}

const NSDate* NSDate::laterDate(const NSDate* other) const
{
    return other && other->at_ > at_ ? other : this;
}

CFDateRef NSDate::copyCFDate() const
{
    return CFDateCreate(nullptr, at_);
}

NSString* NSDate::description() const
{
    return NSString::stringWithUTF8String(CFAbsoluteTimeDescription(at_).c_str());
}

bool NSDate::isEqual(const NSObject* other) const
{
    return isEqualToDate(dynamic_cast<const NSDate*>(other));
}

NSUInteger NSDate::hash() const
{
    return static_cast<NSUInteger>(static_cast<int64_t>(at_));
}

// ---- NSTimeZone ----

NSTimeZone::~NSTimeZone()
{
    CFRelease(zone_);
}

NSTimeZone* NSTimeZone::timeZoneWithCFTimeZone(CFTimeZoneRef zone)
{
    if (zone == nullptr || CFGetTypeID(zone) != CFTimeZoneGetTypeID())
        return nullptr;
    return NSAutorelease(new NSTimeZone(static_cast<CFTimeZoneRef>(CFRetain(zone))));
}

NSTimeZone* NSTimeZone::systemTimeZone()
{
    CFRef<CFTimeZoneRef> zone(CFTimeZoneCopySystem());
    return timeZoneWithCFTimeZone(zone);
}

NSTimeZone* NSTimeZone::defaultTimeZone()
{
    CFRef<CFTimeZoneRef> zone(CFTimeZoneCopyDefault());
    return timeZoneWithCFTimeZone(zone);
}

NSTimeZone* NSTimeZone::localTimeZone()
{
    return defaultTimeZone();
}

NSTimeZone* NSTimeZone::timeZoneWithName(const char* name)
{
    CFRef<CFStringRef> text(CFStringCreateWithCString(nullptr, name ? name : "", kCFStringEncodingUTF8));
    CFRef<CFTimeZoneRef> zone(CFTimeZoneCreateWithName(nullptr, text, true));
    return timeZoneWithCFTimeZone(zone);
}

NSTimeZone* NSTimeZone::timeZoneForSecondsFromGMT(NSInteger seconds)
{
    CFRef<CFTimeZoneRef> zone(CFTimeZoneCreateWithTimeIntervalFromGMT(nullptr, static_cast<double>(seconds)));
    return timeZoneWithCFTimeZone(zone);
}

void NSTimeZone::setDefaultTimeZone(NSTimeZone* zone)
{
    CFTimeZoneSetDefault(zone ? zone->zone_ : nullptr);
}

NSString* NSTimeZone::name() const
{
    return NSString::stringWithCFString(CFTimeZoneGetName(zone_));
}

NSInteger NSTimeZone::secondsFromGMTForDate(const NSDate* date) const
{
    return static_cast<NSInteger>(
        CFTimeZoneGetSecondsFromGMT(zone_, date ? date->timeIntervalSinceReferenceDate() : CFAbsoluteTimeGetCurrent()));
}

bool NSTimeZone::isDaylightSavingTimeForDate(const NSDate* date) const
{
    return CFTimeZoneIsDaylightSavingTime(zone_,
                                          date ? date->timeIntervalSinceReferenceDate() : CFAbsoluteTimeGetCurrent());
}

NSString* NSTimeZone::description() const
{
    return name();
}

bool NSTimeZone::isEqual(const NSObject* other) const
{
    const auto* zone = dynamic_cast<const NSTimeZone*>(other);
    return zone != nullptr && CFEqual(zone_, zone->zone_);
}
