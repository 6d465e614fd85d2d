#include <CFTestSupport.h>

#include <gtest/gtest.h>

namespace {

CFRef<CFTimeZoneRef> Zone(const char* name)
{
    return CFRef<CFTimeZoneRef>(CFTimeZoneCreateWithName(nullptr, CFSTR(name), false));
}

CFGregorianDate Date(int year, int month, int day, int hour = 0, int minute = 0, double second = 0)
{
    return CFGregorianDate{
        year,  static_cast<SInt8>(month), static_cast<SInt8>(day), static_cast<SInt8>(hour), static_cast<SInt8>(minute),
        second};
}

std::string Text(const CFGregorianDate& d)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02.0f", d.year, d.month, d.day, d.hour, d.minute,
                  d.second);
    return text;
}

}  // namespace

TEST(CFTimeZone, NamesOffsetsAndDaylightSaving)
{
    auto berlin = Zone("Europe/Berlin");
    ASSERT_TRUE(berlin);
    EXPECT_EQ(UTF8Of(CFTimeZoneGetName(berlin)), "Europe/Berlin");
    const CFAbsoluteTime winter = CFGregorianDateGetAbsoluteTime(Date(2024, 1, 15, 12), nullptr);
    const CFAbsoluteTime summer = CFGregorianDateGetAbsoluteTime(Date(2024, 7, 15, 12), nullptr);
    EXPECT_EQ(CFTimeZoneGetSecondsFromGMT(berlin, winter), 3600);
    EXPECT_EQ(CFTimeZoneGetSecondsFromGMT(berlin, summer), 7200);
    EXPECT_FALSE(CFTimeZoneIsDaylightSavingTime(berlin, winter));
    EXPECT_TRUE(CFTimeZoneIsDaylightSavingTime(berlin, summer));

    EXPECT_FALSE(CFRef<CFTimeZoneRef>(CFTimeZoneCreateWithName(nullptr, CFSTR("Nowhere/Atlantis"), true)));
    CFRef<CFTimeZoneRef> pst(CFTimeZoneCreateWithName(nullptr, CFSTR("PST"), true));
    ASSERT_TRUE(pst);
    EXPECT_EQ(CFTimeZoneGetSecondsFromGMT(pst, winter), -8 * 3600);
    CFRef<CFTimeZoneRef> fixed(CFTimeZoneCreateWithTimeIntervalFromGMT(nullptr, 5.5 * 3600));
    EXPECT_EQ(CFTimeZoneGetSecondsFromGMT(fixed, summer), 5.5 * 3600);

    // The tests run with TZ pinned to Europe/Berlin.
    CFRef<CFTimeZoneRef> system(CFTimeZoneCopySystem());
    EXPECT_TRUE(CFEqual(system, berlin));
    CFTimeZoneSetDefault(pst);
    CFRef<CFTimeZoneRef> changed(CFTimeZoneCopyDefault());
    EXPECT_TRUE(CFEqual(changed, pst));
    CFTimeZoneSetDefault(nullptr);
    CFRef<CFTimeZoneRef> back(CFTimeZoneCopyDefault());
    EXPECT_TRUE(CFEqual(back, berlin));
}

TEST(CFGregorianDate, WallClocksAcrossDaylightSavingChanges)
{
    auto berlin = Zone("Europe/Berlin");
    struct Case {
        const char* name;
        CFGregorianDate wall;
        const char* expectedUTC;
    } cases[] = {
        {"winter noon", Date(2024, 1, 15, 12), "2024-01-15 11:00:00"},
        {"summer noon", Date(2024, 7, 15, 12), "2024-07-15 10:00:00"},
        {"midnight of the spring change", Date(2024, 3, 31, 0), "2024-03-30 23:00:00"},
        {"the hour that does not exist", Date(2024, 3, 31, 2, 30), "2024-03-31 01:30:00"},  // 03:30 summer time
        {"the hour that happens twice", Date(2024, 10, 27, 2, 30), "2024-10-27 00:30:00"},  // its first time
        {"a leap day", Date(2024, 2, 29, 23, 59, 59), "2024-02-29 22:59:59"},
    };
    for (const Case& c : cases) {
        const CFAbsoluteTime at = CFGregorianDateGetAbsoluteTime(c.wall, berlin);
        EXPECT_EQ(Text(CFAbsoluteTimeGetGregorianDate(at, nullptr)), c.expectedUTC) << c.name;
    }
    // Every existing wall-clock reading comes back unchanged.
    for (int hour = 0; hour < 24; ++hour) {
        const CFGregorianDate wall = Date(2024, 10, 27, hour, 15);
        EXPECT_EQ(Text(CFAbsoluteTimeGetGregorianDate(CFGregorianDateGetAbsoluteTime(wall, berlin), berlin)),
                  Text(wall));
    }
    EXPECT_TRUE(CFGregorianDateIsValid(Date(2024, 2, 29), kCFGregorianAllUnits));
    EXPECT_FALSE(CFGregorianDateIsValid(Date(2023, 2, 29), kCFGregorianAllUnits));
    EXPECT_FALSE(CFGregorianDateIsValid(Date(2023, 13, 1), kCFGregorianUnitsMonths));
    EXPECT_TRUE(CFGregorianDateIsValid(Date(2023, 13, 1), kCFGregorianUnitsDays));
}

TEST(CFGregorianDate, AddingUnits)
{
    auto berlin = Zone("Europe/Berlin");
    struct Case {
        const char* name;
        CFGregorianDate start;
        CFGregorianUnits units;
        const char* expected;  // wall clock in Berlin
    } cases[] = {
        {"31 January + 1 month", Date(2024, 1, 31, 9), {0, 1, 0, 0, 0, 0}, "2024-02-29 09:00:00"},
        {"31 January 2023 + 1 month", Date(2023, 1, 31, 9), {0, 1, 0, 0, 0, 0}, "2023-02-28 09:00:00"},
        {"29 February + 1 year", Date(2024, 2, 29), {1, 0, 0, 0, 0, 0}, "2025-02-28 00:00:00"},
        {"December + 2 months", Date(2024, 12, 15), {0, 2, 0, 0, 0, 0}, "2025-02-15 00:00:00"},
        {"March - 3 months", Date(2024, 3, 31), {0, -3, 0, 0, 0, 0}, "2023-12-31 00:00:00"},
        {"a day across the spring change keeps the time",
         Date(2024, 3, 30, 10),
         {0, 0, 1, 0, 0, 0},
         "2024-03-31 10:00:00"},
        {"24 hours across it do not", Date(2024, 3, 30, 10), {0, 0, 0, 24, 0, 0}, "2024-03-31 11:00:00"},
        {"a week back", Date(2024, 11, 3, 8), {0, 0, -7, 0, 0, 0}, "2024-10-27 08:00:00"},
        {"minutes and seconds", Date(2024, 5, 1, 23, 59), {0, 0, 0, 0, 1, 30}, "2024-05-02 00:00:30"},
    };
    for (const Case& c : cases) {
        const CFAbsoluteTime at = CFGregorianDateGetAbsoluteTime(c.start, berlin);
        EXPECT_EQ(Text(CFAbsoluteTimeGetGregorianDate(CFAbsoluteTimeAddGregorianUnits(at, berlin, c.units), berlin)),
                  c.expected)
            << c.name;
    }
}

TEST(CFGregorianDate, DifferencesTakeTheLargestUnitsFirst)
{
    auto berlin = Zone("Europe/Berlin");
    struct Case {
        const char* name;
        CFGregorianDate later, earlier;
        CFGregorianUnits expected;
    } cases[] = {
        {"across a month end", Date(2024, 3, 2, 12), Date(2024, 1, 31, 10), {0, 1, 2, 2, 0, 0}},
        {"a year and a bit", Date(2025, 3, 1, 0, 1, 5), Date(2024, 2, 29), {1, 0, 1, 0, 1, 5}},
        {"across the spring change", Date(2024, 3, 31, 12), Date(2024, 3, 30, 12), {0, 0, 1, 0, 0, 0}},
        {"backwards", Date(2024, 1, 1), Date(2024, 2, 15, 6), {0, -1, -14, -6, 0, 0}},
        {"none", Date(2024, 6, 1, 8), Date(2024, 6, 1, 8), {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const CFGregorianUnits u = CFAbsoluteTimeGetDifferenceAsGregorianUnits(
            CFGregorianDateGetAbsoluteTime(c.later, berlin), CFGregorianDateGetAbsoluteTime(c.earlier, berlin), berlin,
            kCFGregorianAllUnits);
        EXPECT_EQ(u.years, c.expected.years) << c.name;
        EXPECT_EQ(u.months, c.expected.months) << c.name;
        EXPECT_EQ(u.days, c.expected.days) << c.name;
        EXPECT_EQ(u.hours, c.expected.hours) << c.name;
        EXPECT_EQ(u.minutes, c.expected.minutes) << c.name;
        EXPECT_DOUBLE_EQ(u.seconds, c.expected.seconds) << c.name;
    }
    // Only the units asked for: 90 minutes as minutes alone.
    const CFAbsoluteTime start = CFGregorianDateGetAbsoluteTime(Date(2024, 6, 1, 8), berlin);
    const CFGregorianUnits minutes =
        CFAbsoluteTimeGetDifferenceAsGregorianUnits(start + 5400, start, berlin, kCFGregorianUnitsMinutes);
    EXPECT_EQ(minutes.minutes, 90);
    EXPECT_EQ(minutes.hours, 0);
}

TEST(CFGregorianDate, DayOfWeekYearAndWeek)
{
    auto berlin = Zone("Europe/Berlin");
    struct Case {
        CFGregorianDate date;
        SInt32 weekday, dayOfYear, week;
    } cases[] = {
        {Date(2024, 1, 1), 1, 1, 1},  // a Monday
        {Date(2024, 12, 31, 23, 30), 2, 366, 1},
        {Date(2023, 1, 1), 7, 1, 52},  // a Sunday, in the last week of 2022
        {Date(2026, 12, 10, 0, 30), 4, 344, 50},
        {Date(2021, 1, 3), 7, 3, 53},
    };
    for (const Case& c : cases) {
        const CFAbsoluteTime at = CFGregorianDateGetAbsoluteTime(c.date, berlin);
        EXPECT_EQ(CFAbsoluteTimeGetDayOfWeek(at, berlin), c.weekday) << Text(c.date);
        EXPECT_EQ(CFAbsoluteTimeGetDayOfYear(at, berlin), c.dayOfYear) << Text(c.date);
        EXPECT_EQ(CFAbsoluteTimeGetWeekOfYear(at, berlin), c.week) << Text(c.date);
    }
    // 00:30 in Berlin is still the day before in GMT.
    const CFAbsoluteTime early = CFGregorianDateGetAbsoluteTime(Date(2024, 1, 1, 0, 30), berlin);
    EXPECT_EQ(CFAbsoluteTimeGetDayOfWeek(early, nullptr), 7);
}
