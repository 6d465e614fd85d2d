#include <CFTestSupport.h>
#include <Support/Clock.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <thread>
#include <vector>

TEST(CFRuntime, RetainReleaseAndTypes)
{
    CFStringRef s = CFStringCreateWithCString(nullptr, "counted", kCFStringEncodingUTF8);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    EXPECT_EQ(CFRetain(s), s);
    EXPECT_EQ(CFGetRetainCount(s), 2);
    CFRelease(s);
    EXPECT_EQ(CFGetRetainCount(s), 1);
    CFRelease(s);  // freed here; ASan reports a leak or a double free otherwise

    // Counts are atomic: many threads retaining and releasing one value.
    CFRef<CFDataRef> shared(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>("x"), 1));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                CFRetain(shared);
                CFRelease(shared);
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(CFGetRetainCount(shared), 1);

    EXPECT_EQ(CFGetTypeID(nullptr), 0u);
    EXPECT_EQ(CFRetain(nullptr), nullptr);
    CFRelease(nullptr);
    std::set<CFTypeID> ids = {CFStringGetTypeID(), CFNumberGetTypeID(), CFBooleanGetTypeID(),
                              CFDataGetTypeID(),   CFDateGetTypeID(),   CFUUIDGetTypeID()};
    EXPECT_EQ(ids.size(), 6u);
    CFRef<CFStringRef> name(CFCopyTypeIDDescription(CFDataGetTypeID()));
    EXPECT_EQ(UTF8Of(name), "CFData");
}

TEST(CFRuntime, EqualityNeedsTheSameType)
{
    CFRef<CFStringRef> text = MakeString("1");
    SInt32 one = 1;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &one));
    EXPECT_FALSE(CFEqual(text, number));
    EXPECT_FALSE(CFEqual(text, nullptr));
    EXPECT_TRUE(CFEqual(nullptr, nullptr));
    CFRef<CFStringRef> same = MakeString("1");
    EXPECT_TRUE(CFEqual(text, same));
    EXPECT_EQ(CFHash(text), CFHash(same));
    EXPECT_EQ(DescriptionOf(nullptr), "(null)");
    EXPECT_EQ(DescriptionOf(text), "1");
}

TEST(CFData, EditingAndRanges)
{
    const UInt8 bytes[] = {0, 1, 2, 0, 4};
    CFRef<CFDataRef> data(CFDataCreate(nullptr, bytes, 5));
    EXPECT_EQ(CFDataGetLength(data), 5);
    EXPECT_EQ(std::memcmp(CFDataGetBytePtr(data), bytes, 5), 0) << "NUL bytes are kept";

    CFRef<CFMutableDataRef> m(CFDataCreateMutableCopy(nullptr, 0, data));
    CFDataAppendBytes(m, bytes, 2);
    CFDataReplaceBytes(m, CFRangeMake(1, 2), reinterpret_cast<const UInt8*>("XYZ"), 3);
    CFDataDeleteBytes(m, CFRangeMake(0, 1));
    const UInt8 expected[] = {'X', 'Y', 'Z', 0, 4, 0, 1};
    ASSERT_EQ(CFDataGetLength(m), 7);
    EXPECT_EQ(std::memcmp(CFDataGetBytePtr(m), expected, 7), 0);
    CFDataIncreaseLength(m, 2);
    EXPECT_EQ(CFDataGetBytePtr(m)[8], 0) << "new bytes are zero";
    CFDataSetLength(m, 3);
    EXPECT_EQ(CFDataGetLength(m), 3);

    UInt8 out[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    CFDataGetBytes(data, CFRangeMake(3, 10), out);  // only the two bytes inside the data
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 4);
    EXPECT_EQ(out[2], 9);

    EXPECT_EQ(CFDataGetLength(data), 5) << "the source of the mutable copy is unchanged";
    CFRef<CFDataRef> empty(CFDataCreate(nullptr, nullptr, 0));
    EXPECT_NE(CFDataGetBytePtr(empty), nullptr);
    EXPECT_FALSE(CFDataCreate(nullptr, nullptr, 3));

    Diagnostics::Capture capture;
    CFDataAppendBytes(const_cast<CFMutableDataRef>(data.get()), bytes, 1);
    EXPECT_EQ(CFDataGetLength(data), 5) << "an immutable data object is not edited";
    EXPECT_EQ(capture.Lines().size(), 1u);
}

TEST(CFDate, AbsoluteTimeAndDescriptions)
{
    struct Case {
        CFAbsoluteTime at;
        const char* text;
    } cases[] = {
        {0, "2001-01-01 00:00:00 +0000"},
        {-kCFAbsoluteTimeIntervalSince1970, "1970-01-01 00:00:00 +0000"},
        {(1826.0 + 31 + 27) * 86400 + 3661.5, "2006-02-28 01:01:01 +0000"},
        {-1, "2000-12-31 23:59:59 +0000"},
        {(1095.0 + 31 + 28) * 86400, "2004-02-29 00:00:00 +0000"},  // a leap day
    };
    for (const Case& c : cases) {
        CFRef<CFDateRef> date(CFDateCreate(nullptr, c.at));
        EXPECT_EQ(DescriptionOf(date), c.text) << c.at;
        EXPECT_EQ(CFDateGetAbsoluteTime(date), c.at);
    }
    CFRef<CFDateRef> a(CFDateCreate(nullptr, 10)), b(CFDateCreate(nullptr, 25.5));
    EXPECT_EQ(CFDateCompare(a, b, nullptr), kCFCompareLessThan);
    EXPECT_DOUBLE_EQ(CFDateGetTimeIntervalSinceDate(b, a), 15.5);

    Clock::Fake clock(kCFAbsoluteTimeIntervalSince1970 + 100);
    EXPECT_DOUBLE_EQ(CFAbsoluteTimeGetCurrent(), 100);
    clock.Advance(2.5);
    EXPECT_DOUBLE_EQ(CFAbsoluteTimeGetCurrent(), 102.5);
}

TEST(CFUUID, CanonicalTextAndParsing)
{
    CFRef<CFUUIDRef> made(CFUUIDCreateWithBytes(nullptr, 0x68, 0x75, 0x3a, 0x44, 0x4d, 0x6f, 0x12, 0x26, 0x9c, 0x60,
                                                0x00, 0x50, 0xe4, 0xc0, 0x00, 0x67));
    CFRef<CFStringRef> text(CFUUIDCreateString(nullptr, made));
    EXPECT_EQ(UTF8Of(text), "68753A44-4D6F-1226-9C60-0050E4C00067");

    CFRef<CFStringRef> lower = MakeString("68753a44-4d6f-1226-9c60-0050e4c00067");
    CFRef<CFUUIDRef> parsed(CFUUIDCreateFromString(nullptr, lower));
    EXPECT_TRUE(CFEqual(parsed, made));
    EXPECT_EQ(CFUUIDGetUUIDBytes(parsed).byte15, 0x67);

    for (const char* bad : {"", "68753A44-4D6F-1226-9C60-0050E4C0006", "68753A44-4D6F-1226-9C60-0050E4C000677",
                            "68753A444D6F-1226-9C60-0050E4C00067-", "G8753A44-4D6F-1226-9C60-0050E4C00067"}) {
        CFRef<CFStringRef> s = MakeString(bad);
        EXPECT_FALSE(CFRef<CFUUIDRef>(CFUUIDCreateFromString(nullptr, s))) << bad;
    }

    CFRef<CFUUIDRef> random1(CFUUIDCreate(nullptr)), random2(CFUUIDCreate(nullptr));
    EXPECT_FALSE(CFEqual(random1, random2));
    CFUUIDBytes bytes = CFUUIDGetUUIDBytes(random1);
    EXPECT_EQ(bytes.byte6 >> 4, 4) << "version 4";
    EXPECT_EQ(bytes.byte8 >> 6, 2) << "RFC 4122 variant";
    CFRef<CFStringRef> randomText(CFUUIDCreateString(nullptr, random1));
    std::string t = UTF8Of(randomText);
    EXPECT_EQ(t.size(), 36u);
    EXPECT_EQ(t.find_first_of("abcdef"), std::string::npos) << "upper case";
}
