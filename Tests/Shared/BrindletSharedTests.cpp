#include <CFTestSupport.h>
#include <Shared/BrindletShared.h>

#include <Units/Utilities/CocoaUtilities.h>

#include <Foundation/NSDateFormatter.h>
#include <Support/Clock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace BrindletShared;

namespace {

NSDate* At(double unixSeconds)
{
    return NSDate::dateWithTimeIntervalSince1970(unixSeconds);
}

// Unix seconds of a date the caller owns, released here; nullopt for nil.
std::optional<double> Taken(NSDate* date)
{
    if (date == nullptr)
        return std::nullopt;
    const double seconds = date->timeIntervalSince1970();
    date->release();
    return seconds;
}

std::string Taken(NSString* text)
{
    if (text == nullptr)
        return "(nil)";
    std::string utf8 = text->UTF8String();
    text->release();
    return utf8;
}

std::string ShortTime(double unixSeconds)
{
    NSDateFormatter* formatter = NSDateFormatter::dateFormatter();
    formatter->setTimeStyle(NSDateFormatterShortStyle);
    return formatter->stringFromDate(At(unixSeconds))->UTF8String();
}

class BrindletSharedTest : public testing::Test {
protected:
    void SetUp() override { OpenPool(pool_); }
    void TearDown() override { ClosePool(pool_); }
    NSAutoreleasePool* pool_ = nullptr;
};

}  // namespace

TEST_F(BrindletSharedTest, ReminderMomentsFollowTheChoiceAndVanishOnceCome)
{
    const double now = BerlinWall(2024, 6, 12, 10);
    Clock::Fake clock(now);
    const double due = BerlinWall(2024, 6, 13, 12);
    struct Case {
        SInt32 notify;
        std::optional<double> expected;
    } cases[] = {
        {kNotifyNone, std::nullopt},
        {kNotifyAtDueTime, due},
        {kNotify5MinutesBefore, due - 5 * 60},
        {kNotify15MinutesBefore, due - 15 * 60},
        {kNotify30MinutesBefore, due - 30 * 60},
        {kNotify1HourBefore, due - 3600},
        {kNotify2HoursBefore, due - 2 * 3600},
        {kNotify3HoursBefore, due - 3 * 3600},
        {kNotify5HoursBefore, due - 5 * 3600},
        {kNotify12HoursBefore, due - 12 * 3600},
        {kNotify1DayBefore, due - 86400},
        // Choices without an offset remind at the due time.
        {2, due},
        {6, due},
        {12, due},
        {14, due},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.notify);
        EXPECT_EQ(Taken(CopyNotificationDate(At(due), c.notify)), c.expected);
    }
    EXPECT_EQ(Taken(CopyNotificationDate(nullptr, kNotifyAtDueTime)), std::nullopt);

    // Five minutes before a task due in three minutes has passed already.
    EXPECT_EQ(Taken(CopyNotificationDate(At(now + 180), kNotify5MinutesBefore)), std::nullopt);
    // The moment itself counts as come.
    EXPECT_EQ(Taken(CopyNotificationDate(At(now), kNotifyAtDueTime)), std::nullopt);
    EXPECT_EQ(Taken(CopyNotificationDate(At(now + 1), kNotifyAtDueTime)), now + 1);

    // A day before keeps the wall-clock time over the autumn change (25 hours).
    Clock::Fake autumn(BerlinWall(2024, 10, 20, 10));
    EXPECT_EQ(Taken(CopyNotificationDate(At(BerlinWall(2024, 10, 28, 9)), kNotify1DayBefore)),
              BerlinWall(2024, 10, 27, 9));
    // An hour before over the spring change is an hour of elapsed time.
    Clock::Fake spring(BerlinWall(2024, 3, 30, 10));
    EXPECT_EQ(Taken(CopyNotificationDate(At(BerlinWall(2024, 3, 31, 3)), kNotify1HourBefore)),
              BerlinWall(2024, 3, 31, 3) - 3600);
}

TEST_F(BrindletSharedTest, RepeatingDatesAdvanceOnePeriodOnceCome)
{
    struct Case {
        const char* name;
        double now;
        double due;
        SInt32 repeat;
        std::optional<double> expected;
    } cases[] = {
        {"daily, three days ago: one day only", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 9, 8), kRepeatDaily,
         BerlinWall(2024, 6, 10, 8)},
        {"weekly, a past Monday: the next Monday", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 10, 9),
         kRepeatWeekly, BerlinWall(2024, 6, 17, 9)},
        {"monthly, end of January: end of February (leap year)", BerlinWall(2024, 2, 1, 10), BerlinWall(2024, 1, 31, 9),
         kRepeatMonthly, BerlinWall(2024, 2, 29, 9)},
        {"monthly, end of January: end of February", BerlinWall(2023, 2, 1, 10), BerlinWall(2023, 1, 31, 9),
         kRepeatMonthly, BerlinWall(2023, 2, 28, 9)},
        {"yearly, a leap day: the 28th", BerlinWall(2024, 3, 1, 10), BerlinWall(2024, 2, 29, 9), kRepeatYearly,
         BerlinWall(2025, 2, 28, 9)},
        {"daily over the spring change keeps 09:00", BerlinWall(2024, 3, 31, 10), BerlinWall(2024, 3, 30, 9),
         kRepeatDaily, BerlinWall(2024, 3, 31, 9)},
        {"weekly over the autumn change keeps 09:00", BerlinWall(2024, 10, 24, 10), BerlinWall(2024, 10, 24, 9),
         kRepeatWeekly, BerlinWall(2024, 10, 31, 9)},
        {"not yet come", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 12, 11), kRepeatDaily, std::nullopt},
        {"due right now has come", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 12, 10), kRepeatDaily,
         BerlinWall(2024, 6, 13, 10)},
        {"no repeat", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 9, 8), kRepeatNone, std::nullopt},
        {"unknown repeat", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 9, 8), 1, std::nullopt},
        {"unknown repeat above", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 9, 8), 6, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Clock::Fake clock(c.now);
        EXPECT_EQ(Taken(CopyRepeatedDate(At(c.due), c.repeat)), c.expected);
    }
    EXPECT_EQ(Taken(CopyRepeatedDate(nullptr, kRepeatDaily)), std::nullopt);
}

TEST_F(BrindletSharedTest, DayRelationCountsCalendarDays)
{
    struct Case {
        const char* name;
        double now;
        double date;
        SInt32 expected;
    } cases[] = {
        {"23:45 today is today", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 12, 23, 45), 0},
        {"00:00 today", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 12, 0), 0},
        {"23:45 yesterday is yesterday", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 11, 23, 45), -1},
        {"00:00 tomorrow", BerlinWall(2024, 6, 12, 23, 59), BerlinWall(2024, 6, 13, 0), 1},
        {"in two days", BerlinWall(2024, 6, 12, 23), BerlinWall(2024, 6, 14, 0, 30), 2},
        {"a week ago", BerlinWall(2024, 6, 12, 10), BerlinWall(2024, 6, 5, 23), -7},
        {"over a month end", BerlinWall(2024, 6, 30, 22), BerlinWall(2024, 7, 1, 1), 1},
        {"over a leap day", BerlinWall(2024, 2, 28, 12), BerlinWall(2024, 3, 1, 12), 2},
        {"spring day (23 hours): 23:30", BerlinWall(2024, 3, 31, 1), BerlinWall(2024, 3, 31, 23, 30), 0},
        {"autumn day (25 hours): next 00:10", BerlinWall(2024, 10, 27, 0, 5), BerlinWall(2024, 10, 28, 0, 10), 1},
        {"over a year end", BerlinWall(2024, 12, 31, 23), BerlinWall(2025, 1, 1, 0), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Clock::Fake clock(c.now);
        EXPECT_EQ(DayRelation(At(c.date)), c.expected);
    }
}

TEST_F(BrindletSharedTest, FormattedDatesSpeakOfTodayInWholeUnits)
{
    const double now = BerlinWall(2024, 6, 12, 10, 0) + 25;  // seconds do not count
    Clock::Fake clock(now);
    const double ten = BerlinWall(2024, 6, 12, 10, 0);
    struct Case {
        const char* name;
        double date;
        std::string expected;
    } cases[] = {
        {"30 minutes ahead", ten + 30 * 60, "Today in 30 minutes"},
        {"90 minutes ahead: whole hours, no singular", ten + 90 * 60, "Today in 1 hours"},
        {"20 minutes ago", ten - 20 * 60, "Today 20 minutes ago"},
        {"three hours ago", ten - 3 * 3600, "Today 3 hours ago"},
        {"this minute", ten, "Today right now!"},
        {"23:45 today", BerlinWall(2024, 6, 12, 23, 45), "Today in 13 hours"},
        {"tomorrow", BerlinWall(2024, 6, 13, 9, 5), "Tomorrow " + ShortTime(BerlinWall(2024, 6, 13, 9, 5))},
        {"yesterday late", BerlinWall(2024, 6, 11, 23, 50), "Yesterday " + ShortTime(BerlinWall(2024, 6, 11, 23, 50))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Taken(CopyFormattedDate(At(c.date), kDateAndTime, true)), c.expected);
    }

    // Further away, and whenever not relative: the platform's short date and time.
    NSDateFormatter* both = NSDateFormatter::dateFormatter();
    both->setDateStyle(NSDateFormatterShortStyle);
    both->setTimeStyle(NSDateFormatterShortStyle);
    const double later = BerlinWall(2024, 6, 20, 14, 30);
    EXPECT_EQ(Taken(CopyFormattedDate(At(later), kDateAndTime, true)), both->stringFromDate(At(later))->UTF8String());
    EXPECT_EQ(Taken(CopyFormattedDate(At(ten + 1800), kDateAndTime, false)),
              both->stringFromDate(At(ten + 1800))->UTF8String());

    // Date-only dates: the short date, with the day words when relative.
    NSDateFormatter* dateOnly = NSDateFormatter::dateFormatter();
    dateOnly->setDateStyle(NSDateFormatterShortStyle);
    dateOnly->setDoesRelativeDateFormatting(true);
    EXPECT_EQ(Taken(CopyFormattedDate(At(ten), kDateOnly, true)), dateOnly->stringFromDate(At(ten))->UTF8String());
    dateOnly->setDoesRelativeDateFormatting(false);
    EXPECT_EQ(Taken(CopyFormattedDate(At(ten), kDateOnly, false)), dateOnly->stringFromDate(At(ten))->UTF8String());
    EXPECT_NE(Taken(CopyFormattedDate(At(ten), kDateOnly, true)), Taken(CopyFormattedDate(At(ten), kDateOnly, false)));

    EXPECT_EQ(Taken(CopyFormattedDate(At(ten), 2, true)), "(nil)");
    EXPECT_EQ(Taken(CopyFormattedDate(nullptr, kDateOnly, true)), "(nil)");
}
