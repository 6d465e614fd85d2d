// Instants and time zones on the Cocoa side.
#pragma once

#include <Foundation/NSObject.h>

class NSString;

class NSDate : public NSObject {
public:
    // Autoreleased. "Now" comes from the system's one clock.
    static NSDate* date();
    static NSDate* dateWithTimeIntervalSinceNow(NSTimeInterval seconds);
    static NSDate* dateWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds);
    static NSDate* dateWithTimeIntervalSince1970(NSTimeInterval seconds);
    // The same instant as a platform date (nil for nil).
    static NSDate* dateWithCFDate(CFDateRef date);
    // Owned by the caller.
    static NSDate* newWithTimeIntervalSinceReferenceDate(NSTimeInterval seconds);

    NSTimeInterval timeIntervalSinceReferenceDate() const { return at_; }
    NSTimeInterval timeIntervalSince1970() const;
    NSTimeInterval timeIntervalSinceNow() const;
    NSTimeInterval timeIntervalSinceDate(const NSDate* other) const;
    // Autoreleased.
    NSDate* dateByAddingTimeInterval(NSTimeInterval seconds) const;
    NSComparisonResult compare(const NSDate* other) const;
    bool isEqualToDate(const NSDate* other) const;
    const NSDate* earlierDate(const NSDate* other) const;
    const NSDate* laterDate(const NSDate* other) const;
    // A new platform date of the same instant; the caller releases it.
    CFDateRef copyCFDate() const;

    const char* className() const override { return "NSDate"; }
    NSString* description() const override;
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override;

private:
    explicit NSDate(NSTimeInterval at) : at_(at) {}

    const NSTimeInterval at_;
};

class NSTimeZone : public NSObject {
public:
    // Autoreleased.
    static NSTimeZone* systemTimeZone();
    static NSTimeZone* defaultTimeZone();
    static NSTimeZone* localTimeZone();
    static NSTimeZone* timeZoneWithName(const char* name);
    static NSTimeZone* timeZoneForSecondsFromGMT(NSInteger seconds);
    static NSTimeZone* timeZoneWithCFTimeZone(CFTimeZoneRef zone);
    static void setDefaultTimeZone(NSTimeZone* zone);

    // Borrowed for the life of the receiver.
    CFTimeZoneRef cfTimeZone() const { return zone_; }
    NSString* name() const;
    NSInteger secondsFromGMTForDate(const NSDate* date) const;
    bool isDaylightSavingTimeForDate(const NSDate* date) const;

    const char* className() const override { return "NSTimeZone"; }
    NSString* description() const override;
    bool isEqual(const NSObject* other) const override;

private:
    explicit NSTimeZone(CFTimeZoneRef zone) : zone_(zone) {}
    ~NSTimeZone() override;

    CFTimeZoneRef zone_;  // owned
};
