#include <CFTestSupport.h>
#include <NSObjectProbe.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <Foundation/Foundation.h>
#include <Support/Clock.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <thread>

TEST(NSAutoreleasePool, PoolsNestAndDrainTheirObjects)
{
    Probe::alive = 0;
    NSAutoreleasePool* outer = NSAutoreleasePool::newPool();
    NSAutorelease(Probe::make());
    NSAutoreleasePool* inner = NSAutoreleasePool::newPool();
    NSAutorelease(Probe::make());
    NSAutorelease(Probe::make());
    EXPECT_EQ(NSAutoreleasePool::openPoolCount(), 2u);
    inner->release();
    EXPECT_EQ(Probe::alive, 1);
    // An inner pool left open goes with its outer one.
    NSAutoreleasePool::newPool();
    NSAutorelease(Probe::make());
    outer->drain();
    EXPECT_EQ(Probe::alive, 0);
    EXPECT_EQ(NSAutoreleasePool::openPoolCount(), 0u);
}

TEST(NSAutoreleasePool, WithoutAPoolTheLoopDrains)
{
    Probe::alive = 0;
    Clock::Fake clock(1e9);
    NSAutorelease(Probe::make());
    EXPECT_EQ(Probe::alive, 1) << "kept until the loop's next pass";
    FireDueEventLoopTimers(GetCurrentEventLoop());
    EXPECT_EQ(Probe::alive, 0);

    // Another thread without a pool leaks, and says so.
    Diagnostics::Capture capture;
    Probe* orphan = nullptr;
    std::thread([&orphan] { orphan = NSAutorelease(Probe::make()); }).join();
    EXPECT_EQ(Probe::alive, 1);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_NE(capture.Lines()[0].find("with no pool in place"), std::string::npos);
    orphan->release();  // what the pool would have done
}

TEST(NSCalendar, ComponentsAndArithmetic)
{
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    Clock::Fake clock(BerlinWall(2024, 1, 31, 9, 30));
    NSCalendar* calendar = NSCalendar::currentCalendar();
    EXPECT_EQ(calendar->timeZone()->name()->UTF8String(), "Europe/Berlin");
    NSDateComponents* now = calendar->components(NSCalendarUnitYear | NSCalendarUnitMonth | NSCalendarUnitDay |
                                                     NSCalendarUnitHour | NSCalendarUnitWeekday,
                                                 NSDate::date());
    EXPECT_EQ(now->year, 2024);
    EXPECT_EQ(now->month, 1);
    EXPECT_EQ(now->day, 31);
    EXPECT_EQ(now->hour, 9);
    EXPECT_EQ(now->weekday, 4) << "a Wednesday, counting from Sunday";
    EXPECT_EQ(now->minute, NSDateComponentUndefined);

    // Fields beyond their range carry over.
    NSDateComponents* odd = NSDateComponents::components();
    odd->year = 2024;
    odd->month = 14;
    odd->day = 0;
    odd->hour = 25;
    NSDate* normalised = calendar->dateFromComponents(odd);
    EXPECT_EQ(normalised->timeIntervalSince1970(), BerlinWall(2025, 2, 1, 1));

    NSDateComponents* oneMonth = NSDateComponents::components();
    oneMonth->month = 1;
    NSDate* february = calendar->dateByAddingComponents(oneMonth, NSDate::date(), 0);
    EXPECT_EQ(february->timeIntervalSince1970(), BerlinWall(2024, 2, 29, 9, 30));

    NSDate* later = NSDate::dateWithTimeIntervalSince1970(BerlinWall(2024, 3, 2, 12));
    NSDateComponents* between = calendar->components(
        NSCalendarUnitMonth | NSCalendarUnitDay | NSCalendarUnitHour | NSCalendarUnitMinute, NSDate::date(), later, 0);
    EXPECT_EQ(between->month, 1);
    EXPECT_EQ(between->day, 2);
    EXPECT_EQ(between->hour, 2);
    EXPECT_EQ(between->minute, 30);
    pool->release();
}

TEST(NSDateFormatter, StylesAndRelativeDays)
{
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    Clock::Fake clock(BerlinWall(2024, 1, 15, 10));
    NSDateFormatter* formatter = NSDateFormatter::dateFormatter();
    formatter->setLocaleIdentifier("en_US");
    NSDate* date = NSDate::dateWithTimeIntervalSince1970(BerlinWall(2024, 1, 20, 15, 4));
    struct Case {
        NSDateFormatterStyle dateStyle, timeStyle;
        const char* expected;
    } cases[] = {
        {NSDateFormatterShortStyle, NSDateFormatterNoStyle, "1/20/24"},
        {NSDateFormatterMediumStyle, NSDateFormatterNoStyle, "Jan 20, 2024"},
        {NSDateFormatterLongStyle, NSDateFormatterNoStyle, "January 20, 2024"},
        {NSDateFormatterFullStyle, NSDateFormatterNoStyle, "Saturday, January 20, 2024"},
        {NSDateFormatterNoStyle, NSDateFormatterShortStyle, "3:04 PM"},
        {NSDateFormatterNoStyle, NSDateFormatterMediumStyle, "3:04:00 PM"},
        {NSDateFormatterShortStyle, NSDateFormatterShortStyle, "1/20/24, 3:04 PM"},
        {NSDateFormatterNoStyle, NSDateFormatterNoStyle, ""},
    };
    for (const Case& c : cases) {
        formatter->setDateStyle(c.dateStyle);
        formatter->setTimeStyle(c.timeStyle);
        EXPECT_EQ(formatter->stringFromDate(date)->UTF8String(), c.expected) << c.dateStyle << "/" << c.timeStyle;
    }

    formatter->setDateStyle(NSDateFormatterShortStyle);
    formatter->setTimeStyle(NSDateFormatterShortStyle);
    EXPECT_TRUE(formatter->respondsToSelector("setDoesRelativeDateFormatting:"));
    formatter->setDoesRelativeDateFormatting(true);
    struct Relative {
        double when;
        const char* expected;
    } relatives[] = {
        {BerlinWall(2024, 1, 14, 23, 59), "Yesterday, 11:59 PM"},
        {BerlinWall(2024, 1, 15, 0, 0), "Today, 12:00 AM"},
        {BerlinWall(2024, 1, 16, 8, 15), "Tomorrow, 8:15 AM"},
        {BerlinWall(2024, 1, 17, 8, 15), "1/17/24, 8:15 AM"},
    };
    for (const Relative& r : relatives)
        EXPECT_EQ(formatter->stringFromDate(NSDate::dateWithTimeIntervalSince1970(r.when))->UTF8String(), r.expected);

    NSDateFormatter* german = NSDateFormatter::dateFormatter();
    german->setLocaleIdentifier("de_DE");
    german->setDateStyle(NSDateFormatterMediumStyle);
    german->setTimeStyle(NSDateFormatterShortStyle);
    EXPECT_EQ(german->stringFromDate(date)->UTF8String(), "20. Jan. 2024, 15:04");
    pool->release();
}

TEST(NSDate, InstantsZonesAndDescriptions)
{
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    Clock::Fake clock(BerlinWall(2024, 7, 1, 12));
    NSDate* now = NSDate::date();
    NSDate* later = NSDate::dateWithTimeIntervalSinceNow(90);
    EXPECT_EQ(later->timeIntervalSinceDate(now), 90);
    EXPECT_EQ(now->compare(later), NSOrderedAscending);
    EXPECT_EQ(later->earlierDate(now), now);
    EXPECT_EQ(now->description()->UTF8String(), "2024-07-01 10:00:00 +0000");
    CFRef<CFDateRef> platform(later->copyCFDate());
    EXPECT_TRUE(NSDate::dateWithCFDate(platform)->isEqual(later));
    EXPECT_EQ(NSDate::dateWithCFDate(reinterpret_cast<CFDateRef>(CFSTR("not a date"))), nullptr);

    NSTimeZone* berlin = NSTimeZone::timeZoneWithName("Europe/Berlin");
    EXPECT_EQ(berlin->secondsFromGMTForDate(now), 7200);
    EXPECT_TRUE(berlin->isDaylightSavingTimeForDate(now));
    EXPECT_TRUE(NSTimeZone::systemTimeZone()->isEqual(berlin));
    EXPECT_EQ(NSTimeZone::timeZoneWithName("Nowhere/Atlantis"), nullptr);
    pool->release();
}
