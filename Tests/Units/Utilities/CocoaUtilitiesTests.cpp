#include <CFTestSupport.h>
#include <Units/Utilities/CocoaUtilities.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <Support/Clock.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

namespace {

NSDate* At(double unixSeconds)
{
    return NSDate::dateWithTimeIntervalSince1970(unixSeconds);
}

// Each test runs in a pool of its own.
class CocoaUtilitiesTest : public testing::Test {
protected:
    void SetUp() override { OpenPool(pool_); }
    void TearDown() override { ClosePool(pool_); }
    NSAutoreleasePool* pool_ = nullptr;
};

}  // namespace

TEST_F(CocoaUtilitiesTest, DayClassesFromCalendarMidnight)
{
    enum Class { None, Yesterday, Today, Tomorrow };
    struct Case {
        const char* name;
        double now;
        double date;
        Class expected;
    } cases[] = {
        {"23:59 today", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 12, 23, 59), Today},
        {"00:00 tomorrow", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 13, 0), Tomorrow},
        {"23:30 yesterday counts as today", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 11, 23, 30), Today},
        {"23:00 yesterday", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 11, 23), Yesterday},
        {"22:59 yesterday", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 11, 22, 59), Yesterday},
        {"00:00 yesterday is in no class", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 11, 0), None},
        {"47 hours on", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 13, 23, 59), Tomorrow},
        // The day the clocks go forward has 23 hours: midnight is still midnight.
        {"spring day: 23:00 the day before", BerlinWall(2024, 3, 31, 10), BerlinWall(2024, 3, 30, 23), Yesterday},
        {"spring day: 00:30", BerlinWall(2024, 3, 31, 10), BerlinWall(2024, 3, 31, 0, 30), Today},
        {"spring day: 22:59", BerlinWall(2024, 3, 31, 10), BerlinWall(2024, 3, 31, 22, 59), Today},
        // The day they go back has 25.
        {"autumn day: 23:00 the day before", BerlinWall(2024, 10, 27, 10), BerlinWall(2024, 10, 26, 23), Yesterday},
        {"autumn day: 01:00", BerlinWall(2024, 10, 27, 10), BerlinWall(2024, 10, 27, 1), Today},
        {"autumn day: the next day's 10:00", BerlinWall(2024, 10, 27, 10), BerlinWall(2024, 10, 28, 10), Tomorrow},
    };
    for (const Case& c : cases) {
        Clock::Fake clock(c.now);
        NSDate* date = At(c.date);
        const Class actual = NSDateUtilities::isYesterday(date)  ? Yesterday
                             : NSDateUtilities::isToday(date)    ? Today
                             : NSDateUtilities::isTomorrow(date) ? Tomorrow
                                                                 : None;
        EXPECT_EQ(actual, c.expected) << c.name;
        const int classes =
            NSDateUtilities::isYesterday(date) + NSDateUtilities::isToday(date) + NSDateUtilities::isTomorrow(date);
        EXPECT_LE(classes, 1) << c.name;
    }

    Clock::Fake spring(BerlinWall(2024, 3, 31, 10));
    EXPECT_EQ(NSDateUtilities::midnight()->timeIntervalSince1970(), BerlinWall(2024, 3, 31, 0));
}

TEST_F(CocoaUtilitiesTest, UnitsRelativeToNow)
{
    struct Case {
        const char* name;
        double now, date;
        SInt32 days, hours, minutes;
    } cases[] = {
        {"90 minutes ahead", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 12, 11, 30), 0, 2, 90},
        {"30 minutes ahead", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 12, 10, 30), 0, 0, 30},
        {"20 minutes ago", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 12, 9, 40), 0, 0, -20},
        {"three days ahead", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 15, 10), 3, 72, 4320},
        {"23:30 today is tomorrow already", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 12, 23, 30), 1, 14, 810},
        {"yesterday", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 11, 12), -1, -22, -1320},
        {"a week ago", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 5, 10), -7, -168, -10080},
    };
    for (const Case& c : cases) {
        Clock::Fake clock(c.now);
        const CFGregorianUnits units = NSDateUtilities::unitsRelativeToDate(At(c.date));
        EXPECT_EQ(units.days, c.days) << c.name;
        EXPECT_EQ(units.hours, c.hours) << c.name;
        EXPECT_EQ(units.minutes, c.minutes) << c.name;
        EXPECT_EQ(units.years, 0);
        EXPECT_EQ(units.months, 0);
    }
}

TEST_F(CocoaUtilitiesTest, CalendarArithmeticAndComparisons)
{
    Clock::Fake clock(BerlinWall(2024, 1, 31, 9, 30) + 42.5);
    NSDate* now = NSDate::date();
    EXPECT_EQ(NSDateUtilities::dateWithZeroSeconds(now)->timeIntervalSince1970(), BerlinWall(2024, 1, 31, 9, 30));
    EXPECT_EQ(NSDateUtilities::dateWithoutTime(now)->timeIntervalSince1970(), BerlinWall(2024, 1, 31, 0));
    EXPECT_EQ(
        NSDateUtilities::dateByAddingMonths(NSDateUtilities::dateWithZeroSeconds(now), 1)->timeIntervalSince1970(),
        BerlinWall(2024, 2, 29, 9, 30));
    EXPECT_EQ(NSDateUtilities::dateByAddingWeeks(now, 1)->timeIntervalSinceDate(now), 7 * 86400);
    NSDate* beforeChange = At(BerlinWall(2024, 3, 30, 12));
    EXPECT_EQ(NSDateUtilities::dateByAddingDays(beforeChange, 1)->timeIntervalSince1970(), BerlinWall(2024, 3, 31, 12))
        << "a day keeps the wall-clock time across the change";
    EXPECT_EQ(NSDateUtilities::dateByAddingHours(beforeChange, 24)->timeIntervalSince1970(),
              BerlinWall(2024, 3, 31, 13));

    EXPECT_EQ(NSDateUtilities::dayOfWeek(now), 3) << "Wednesday, counting from Monday";
    EXPECT_EQ(NSDateUtilities::dayOfYear(now), 31);
    EXPECT_TRUE(NSDateUtilities::isMonthEqual(now, At(BerlinWall(2024, 1, 1, 0, 30))));
    EXPECT_FALSE(NSDateUtilities::isMonthEqual(now, At(BerlinWall(2024, 2, 1, 0, 30))));
    EXPECT_TRUE(NSDateUtilities::isYearEqual(now, At(BerlinWall(2024, 12, 31, 23))));

    EXPECT_TRUE(NSDateUtilities::occurredAlready(now));
    EXPECT_FALSE(NSDateUtilities::occursInFuture(now));
    EXPECT_TRUE(NSDateUtilities::occursInFuture(NSDate::dateWithTimeIntervalSinceNow(1)));
    EXPECT_TRUE(NSDateUtilities::occurredMinutes(NSDate::dateWithTimeIntervalSinceNow(-120), 2, now));
    EXPECT_FALSE(NSDateUtilities::occurredMinutes(NSDate::dateWithTimeIntervalSinceNow(-200), 2, now));
    EXPECT_FALSE(NSDateUtilities::occurredMinutes(NSDate::dateWithTimeIntervalSinceNow(120), 2, now));

    const CFGregorianUnits difference = NSDateUtilities::differenceAsGregorianUnits(
        At(BerlinWall(2024, 3, 2, 12)), NSDateUtilities::dateWithZeroSeconds(now));
    EXPECT_EQ(difference.months, 1);
    EXPECT_EQ(difference.days, 2);
    EXPECT_EQ(difference.hours, 2);
    EXPECT_EQ(difference.minutes, 30);
}

TEST_F(CocoaUtilitiesTest, DateTexts)
{
    Clock::Fake clock(BerlinWall(2024, 1, 15, 10));
    NSDate* tomorrow = At(BerlinWall(2024, 1, 16, 8, 15));
    EXPECT_EQ(NSDateUtilities::shortDateString(tomorrow, true)->UTF8String(), "Tomorrow, 8:15 AM");
    EXPECT_EQ(NSDateUtilities::shortDateString(tomorrow, false)->UTF8String(), "1/16/24, 8:15 AM");
    EXPECT_EQ(NSDateUtilities::fullDateString(tomorrow, false)->UTF8String(),
              NSDateUtilities::mediumDateString(tomorrow, false)->UTF8String());
}

TEST(CocoaPools, TheWatchdogSpeaksWhileAPoolStaysOpen)
{
    Clock::Fake clock(1e9);
    Diagnostics::Capture capture;
    NSAutoreleasePool* pool = nullptr;
    OpenPool(pool);
    EXPECT_TRUE(IsPoolOpen());
    clock.Advance(1.0);
    FireDueEventLoopTimers(GetMainEventLoop());
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"Warning: Autorelease pool was probably left open."});
    ClosePool(pool);
    EXPECT_FALSE(IsPoolOpen());
    clock.Advance(1.0);
    FireDueEventLoopTimers(GetMainEventLoop());
    clock.Advance(5.0);
    FireDueEventLoopTimers(GetMainEventLoop());
    EXPECT_EQ(capture.Lines().size(), 1u) << "silent once the pool is closed";
}
