// File-system dates (seconds since 1904 in 48 bits and a 1/65536 fraction)
// to and from absolute time, at the edges of both ranges.
#include <CoreServices/CoreServices.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double kSince1904 = 3061152000.0;  // 1904-01-01 to 2001-01-01, in seconds
constexpr double kTwoTo32 = 4294967296.0;
constexpr double kTwoTo48 = 281474976710656.0;

bool Same(const UTCDateTime& a, const UTCDateTime& b)
{
    return a.highSeconds == b.highSeconds && a.lowSeconds == b.lowSeconds && a.fraction == b.fraction;
}

}  // namespace

TEST(UCConvertDateTime, AbsoluteTimeToFileDates)
{
    struct Row {
        const char* label;
        CFAbsoluteTime time;
        UTCDateTime date;
    };
    const Row rows[] = {
        {"the reference date", 0, {0, 3061152000u, 0}},
        {"the 1904 epoch", -kSince1904, {0, 0, 0}},
        {"half a second", 0.5, {0, 3061152000u, 32768}},
        {"a quarter second after", 1.25, {0, 3061152001u, 16384}},
        {"a second before", -1, {0, 3061151999u, 0}},
        {"a quarter second before: the fraction counts up", -0.25, {0, 3061151999u, 49152}},
        {"past 32 bits of seconds (2040)", kTwoTo32 - kSince1904, {1, 0, 0}},
        {"the last whole second 48 bits hold", kTwoTo48 - 1 - kSince1904, {0xFFFF, 0xFFFFFFFFu, 0}},
        {"nearer the next second than any fraction: carried", 1 - kSince1904 - 1e-6, {0, 1, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        UTCDateTime date{9, 9, 9};
        ASSERT_EQ(UCConvertCFAbsoluteTimeToUTCDateTime(row.time, &date), noErr);
        EXPECT_EQ(date.highSeconds, row.date.highSeconds);
        EXPECT_EQ(date.lowSeconds, row.date.lowSeconds);
        EXPECT_EQ(date.fraction, row.date.fraction);

        CFAbsoluteTime back = 0;
        ASSERT_EQ(UCConvertUTCDateTimeToCFAbsoluteTime(&row.date, &back), noErr);
        EXPECT_NEAR(back, row.time, 1.0 / 65536);
    }
}

TEST(UCConvertDateTime, TimesOutsideTheFileRangeAreRefusedAndLeaveTheDate)
{
    const double inf = std::numeric_limits<double>::infinity();
    struct Row {
        const char* label;
        CFAbsoluteTime time;
    };
    const Row rows[] = {
        {"before 1904", -kSince1904 - 0.5},
        {"a long time before", -1e12},
        {"beyond 48 bits of seconds", kTwoTo48 - kSince1904},
        {"not a number", std::nan("")},
        {"infinitely late", inf},
        {"infinitely early", -inf},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        UTCDateTime date{1, 2, 3};
        EXPECT_EQ(UCConvertCFAbsoluteTimeToUTCDateTime(row.time, &date), paramErr);
        EXPECT_TRUE(Same(date, UTCDateTime{1, 2, 3})) << "left as it was";
    }
    EXPECT_EQ(UCConvertCFAbsoluteTimeToUTCDateTime(0, nullptr), paramErr);
}

TEST(UCConvertDateTime, FileDatesToAbsoluteTimeAndBack)
{
    // Every value of 48 bits and a fraction is a time, and comes back the same.
    const UTCDateTime dates[] = {
        {0, 0, 0}, {0, 3061152000u, 1},           {0, 3061152000u, 0xFFFF},
        {1, 0, 0}, {0x1234, 0x89ABCDEFu, 0x8000}, {0xFFFF, 0xFFFFFFFFu, 0},
    };
    for (const UTCDateTime& date : dates) {
        SCOPED_TRACE(testing::Message() << date.highSeconds << ":" << date.lowSeconds << ":" << date.fraction);
        CFAbsoluteTime time = 0;
        ASSERT_EQ(UCConvertUTCDateTimeToCFAbsoluteTime(&date, &time), noErr);
        const double expected =
            double(date.highSeconds) * kTwoTo32 + double(date.lowSeconds) + date.fraction / 65536.0 - kSince1904;
        EXPECT_DOUBLE_EQ(time, expected);
        UTCDateTime back{};
        ASSERT_EQ(UCConvertCFAbsoluteTimeToUTCDateTime(time, &back), noErr);
        // Doubles hold 53 bits: beyond 2^37 seconds the fraction is rounded.
        if (date.highSeconds < 0x20) {
            EXPECT_TRUE(Same(back, date)) << back.highSeconds << ":" << back.lowSeconds << ":" << back.fraction;
        }
    }

    CFAbsoluteTime untouched = 42;
    EXPECT_EQ(UCConvertUTCDateTimeToCFAbsoluteTime(nullptr, &untouched), paramErr);
    EXPECT_EQ(untouched, 42);
    const UTCDateTime date{0, 1, 0};
    EXPECT_EQ(UCConvertUTCDateTimeToCFAbsoluteTime(&date, nullptr), paramErr);
}
