#include <CFTestSupport.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <set>
#include <thread>
#include <vector>

TEST(CFSTR, OneTextIsOneConstantFromEveryThread)
{
    EXPECT_EQ(CFSTR("system.class"), CFSTR("system.class"));
    EXPECT_NE(CFSTR("system.class"), CFSTR("system.objects"));
    EXPECT_EQ(UTF8Of(CFSTR("Grüße")), "Grüße");

    // Eight threads race to intern the same new texts; all must get the same objects.
    constexpr int kThreads = 8;
    constexpr int kTexts = 200;
    std::vector<std::array<CFStringRef, kTexts>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &seen] {
            for (int i = 0; i < kTexts; ++i)
                seen[t][i] = CFSTR("race." + std::to_string(i));
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int i = 0; i < kTexts; ++i)
        for (int t = 1; t < kThreads; ++t)
            ASSERT_EQ(seen[t][i], seen[0][i]) << "text " << i;
}

TEST(CFSTR, ConstantsSurviveReleaseAndAreImmutable)
{
    CFStringRef key = CFSTR("constant.key");
    CFRelease(key);
    CFRelease(key);
    EXPECT_EQ(UTF8Of(key), "constant.key");

    Diagnostics::Capture capture;
    CFStringAppend(const_cast<CFMutableStringRef>(key), CFSTR("x"));
    EXPECT_EQ(UTF8Of(key), "constant.key");
    EXPECT_EQ(capture.Lines().size(), 1u);
}

TEST(CFStringMacRoman, AllBytesRoundTrip)
{
    std::set<UniChar> characters;
    for (int b = 0; b < 256; ++b) {
        UInt8 byte = static_cast<UInt8>(b);
        CFRef<CFStringRef> s(CFStringCreateWithBytes(nullptr, &byte, 1, kCFStringEncodingMacRoman, false));
        ASSERT_TRUE(s) << b;
        ASSERT_EQ(CFStringGetLength(s), 1);
        characters.insert(CFStringGetCharacterAtIndex(s, 0));
        UInt8 back = 0;
        CFIndex used = 0;
        ASSERT_EQ(CFStringGetBytes(s, CFRangeMake(0, 1), kCFStringEncodingMacRoman, 0, false, &back, 1, &used), 1);
        EXPECT_EQ(used, 1);
        EXPECT_EQ(back, byte);
    }
    EXPECT_EQ(characters.size(), 256u) << "two bytes share a character";
}

TEST(CFStringMacRoman, KnownCharactersAndLoss)
{
    struct Case {
        const char* utf8;
        UInt8 byte;
    } cases[] = {{"é", 0x8E}, {"€", 0xDB}, {"ß", 0xA7}, {"—", 0xD1}, {"ﬁ", 0xDE}, {"ˇ", 0xFF}, {"A", 0x41}};
    for (const Case& c : cases) {
        CFRef<CFStringRef> s = MakeString(c.utf8);
        char buffer[4] = {};
        ASSERT_TRUE(CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingMacRoman)) << c.utf8;
        EXPECT_EQ(static_cast<UInt8>(buffer[0]), c.byte) << c.utf8;
        EXPECT_EQ(buffer[1], '\0');
    }

    // "a→b": the arrow has no Mac Roman byte.
    CFRef<CFStringRef> arrow = MakeString("a→b");
    UInt8 bytes[8] = {};
    CFIndex used = 0;
    EXPECT_EQ(CFStringGetBytes(arrow, CFRangeMake(0, 3), kCFStringEncodingMacRoman, '?', false, bytes, 8, &used), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), static_cast<size_t>(used)), "a?b");
    EXPECT_EQ(CFStringGetBytes(arrow, CFRangeMake(0, 3), kCFStringEncodingMacRoman, 0, false, bytes, 8, &used), 1);
    EXPECT_EQ(used, 1);
    char cString[8];
    EXPECT_FALSE(CFStringGetCString(arrow, cString, sizeof cString, kCFStringEncodingMacRoman));
    EXPECT_EQ(cString[0], '\0');
    Str255 pascal;
    EXPECT_FALSE(CFStringGetPascalString(arrow, pascal, sizeof pascal, kCFStringEncodingMacRoman));
}

TEST(CFStringEncodings, DecodingRejectsWhatTheEncodingCannotHold)
{
    struct Case {
        const char* name;
        std::string bytes;
        CFStringEncoding encoding;
        bool valid;
        CFIndex length;
    } cases[] = {
        {"plain UTF-8", "Grüße 日本", kCFStringEncodingUTF8, true, 8},
        {"UTF-8 outside the BMP", "\xF0\x9F\x98\x80", kCFStringEncodingUTF8, true, 2},
        {"truncated UTF-8", "ab\xE6\x97", kCFStringEncodingUTF8, false, 0},
        {"overlong UTF-8", "\xC0\xAF", kCFStringEncodingUTF8, false, 0},
        {"UTF-8 surrogate", "\xED\xA0\x80", kCFStringEncodingUTF8, false, 0},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", kCFStringEncodingUTF8, false, 0},
        {"high byte in ASCII", "caf\xE9", kCFStringEncodingASCII, false, 0},
        {"Latin-1", "caf\xE9", kCFStringEncodingISOLatin1, true, 4},
        {"Windows Latin-1 euro", "\x80", kCFStringEncodingWindowsLatin1, true, 1},
        {"odd UTF-16", std::string("\x00\x41\x00", 3), kCFStringEncodingUTF16BE, false, 0},
        {"UTF-16 with big-endian mark", std::string("\xFE\xFF\x00\x41", 4), kCFStringEncodingUTF16, true, 1},
        {"UTF-16 with little-endian mark", std::string("\xFF\xFE\x41\x00", 4), kCFStringEncodingUTF16, true, 1},
    };
    for (const Case& c : cases) {
        CFRef<CFStringRef> s(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(c.bytes.data()),
                                                     static_cast<CFIndex>(c.bytes.size()), c.encoding, false));
        EXPECT_EQ(s.get() != nullptr, c.valid) << c.name;
        if (s) {
            EXPECT_EQ(CFStringGetLength(s), c.length) << c.name;
        }
    }

    CFRef<CFStringRef> euro(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>("\x80"), 1,
                                                    kCFStringEncodingWindowsLatin1, false));
    EXPECT_EQ(UTF8Of(euro), "€");
    CFRef<CFStringRef> bom(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>("\xFE\xFF\x00\x41"), 4,
                                                   kCFStringEncodingUTF16, false));
    EXPECT_EQ(UTF8Of(bom), "A");
}

TEST(CFStringEncodings, ExternalRepresentationRoundTrips)
{
    CFRef<CFStringRef> text = MakeString("日本語 — Grüße 😀");
    for (CFStringEncoding encoding :
         {kCFStringEncodingUTF8, kCFStringEncodingUTF16, kCFStringEncodingUTF16BE, kCFStringEncodingUTF16LE}) {
        CFRef<CFDataRef> data(CFStringCreateExternalRepresentation(nullptr, text, encoding, 0));
        ASSERT_TRUE(data) << encoding;
        CFRef<CFStringRef> back(CFStringCreateFromExternalRepresentation(nullptr, data, encoding));
        EXPECT_TRUE(CFEqual(back, text)) << encoding;
    }
    CFRef<CFDataRef> utf16(CFStringCreateExternalRepresentation(nullptr, text, kCFStringEncodingUTF16, 0));
    EXPECT_EQ(CFDataGetBytePtr(utf16)[0], 0xFF) << "UTF-16 starts with a little-endian mark";
    EXPECT_FALSE(CFStringCreateExternalRepresentation(nullptr, text, kCFStringEncodingMacRoman, 0));
}

TEST(CFStringEncodings, LoneSurrogatesDoNotBreakConversion)
{
    const UniChar units[] = {'a', 0xD800, 'b'};
    CFRef<CFStringRef> s(CFStringCreateWithCharacters(nullptr, units, 3));
    UInt8 buffer[16];
    CFIndex used = 0;
    EXPECT_EQ(CFStringGetBytes(s, CFRangeMake(0, 3), kCFStringEncodingUTF8, 0, false, buffer, 16, &used), 1);
    EXPECT_EQ(CFStringGetBytes(s, CFRangeMake(0, 3), kCFStringEncodingUTF8, '?', false, buffer, 16, &used), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), static_cast<size_t>(used)), "a?b");
}

TEST(CFStringConversions, PascalAndCStringLimits)
{
    Str255 pascal = {5, 'h', 'e', 'l', 'l', 'o'};
    CFRef<CFStringRef> hello(CFStringCreateWithPascalString(nullptr, pascal, kCFStringEncodingMacRoman));
    EXPECT_EQ(UTF8Of(hello), "hello");

    Str255 out;
    ASSERT_TRUE(CFStringGetPascalString(hello, out, sizeof out, kCFStringEncodingMacRoman));
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 1), 5), "hello");
    EXPECT_FALSE(CFStringGetPascalString(hello, out, 5, kCFStringEncodingMacRoman)) << "no room for 5 characters";

    CFRef<CFStringRef> long256 = MakeString(std::string(256, 'x'));
    EXPECT_FALSE(CFStringGetPascalString(long256, out, sizeof out, kCFStringEncodingMacRoman));
    CFRef<CFStringRef> long255 = MakeString(std::string(255, 'x'));
    EXPECT_TRUE(CFStringGetPascalString(long255, out, sizeof out, kCFStringEncodingMacRoman));
    EXPECT_EQ(out[0], 255);

    char small[5];
    EXPECT_FALSE(CFStringGetCString(hello, small, sizeof small, kCFStringEncodingUTF8)) << "no room for the NUL";
    char fits[6];
    EXPECT_TRUE(CFStringGetCString(hello, fits, sizeof fits, kCFStringEncodingUTF8));
    EXPECT_STREQ(fits, "hello");

    // Non-ASCII UTF-8 needs more bytes than characters.
    CFRef<CFStringRef> umlaut = MakeString("ü");
    char two[2];
    EXPECT_FALSE(CFStringGetCString(umlaut, two, sizeof two, kCFStringEncodingUTF8));
    char three[3];
    EXPECT_TRUE(CFStringGetCString(umlaut, three, sizeof three, kCFStringEncodingUTF8));
}

TEST(CFStringReading, CharactersRangesAndInlineBuffer)
{
    CFRef<CFStringRef> s = MakeString("a😀b");
    ASSERT_EQ(CFStringGetLength(s), 4);  // UTF-16 units
    EXPECT_EQ(CFStringGetCharacterAtIndex(s, 1), 0xD83D);
    EXPECT_EQ(CFStringGetCharacterAtIndex(s, 3), 'b');
    EXPECT_EQ(CFStringGetCharacterAtIndex(s, 4), 0) << "outside the string";

    CFRef<CFStringRef> sub(CFStringCreateWithSubstring(nullptr, s, CFRangeMake(1, 2)));
    EXPECT_EQ(UTF8Of(sub), "😀");
    CFRef<CFStringRef> clipped(CFStringCreateWithSubstring(nullptr, s, CFRangeMake(3, 100)));
    EXPECT_EQ(UTF8Of(clipped), "b") << "a range past the end is cut, not read";

    CFRef<CFStringRef> longText = MakeString(std::string(100, 'a') + "Z" + std::string(100, 'b'));
    CFStringInlineBuffer buffer;
    CFStringInitInlineBuffer(longText, &buffer, CFRangeMake(50, 100));
    EXPECT_EQ(CFStringGetCharacterFromInlineBuffer(&buffer, 50), 'Z');
    EXPECT_EQ(CFStringGetCharacterFromInlineBuffer(&buffer, 99), 'b');
    EXPECT_EQ(CFStringGetCharacterFromInlineBuffer(&buffer, 100), 0);
}

TEST(CFStringReading, IntegerAndDoubleValues)
{
    struct Case {
        const char* text;
        SInt32 integer;
        double real;
    } cases[] = {
        {"42", 42, 42.0},
        {"  -17xyz", -17, -17.0},
        {"+8", 8, 8.0},
        {"abc", 0, 0.0},
        {"", 0, 0.0},
        {"3.75", 3, 3.75},
        {"99999999999", INT_MAX, 99999999999.0},
        {"-99999999999", INT_MIN, -99999999999.0},
        {"1e3", 1, 1000.0},
    };
    for (const Case& c : cases) {
        CFRef<CFStringRef> s = MakeString(c.text);
        EXPECT_EQ(CFStringGetIntValue(s), c.integer) << c.text;
        EXPECT_DOUBLE_EQ(CFStringGetDoubleValue(s), c.real) << c.text;
    }
}

TEST(CFStringComparing, CompareOptions)
{
    struct Case {
        const char* a;
        const char* b;
        CFStringCompareFlags options;
        CFComparisonResult expected;
    } cases[] = {
        {"abc", "abc", 0, kCFCompareEqualTo},
        {"abc", "abd", 0, kCFCompareLessThan},
        {"abc", "ab", 0, kCFCompareGreaterThan},
        {"B", "a", 0, kCFCompareLessThan},  // by UTF-16 value
        {"ABC", "abc", kCFCompareCaseInsensitive, kCFCompareEqualTo},
        {"ÄRGER", "ärger", kCFCompareCaseInsensitive, kCFCompareEqualTo},
        {"B", "a", kCFCompareCaseInsensitive, kCFCompareGreaterThan},
        {"file9", "file10", 0, kCFCompareGreaterThan},
        {"file9", "file10", kCFCompareNumerically, kCFCompareLessThan},
        {"file010", "file10", kCFCompareNumerically, kCFCompareEqualTo},
    };
    for (const Case& c : cases) {
        CFRef<CFStringRef> a = MakeString(c.a), b = MakeString(c.b);
        EXPECT_EQ(CFStringCompare(a, b, c.options), c.expected) << c.a << " vs " << c.b;
    }
}

TEST(CFStringComparing, FindWithOptions)
{
    CFRef<CFStringRef> text = MakeString("one Two one two");
    struct Case {
        const char* needle;
        CFStringCompareFlags options;
        CFIndex location;  // kCFNotFound when absent
    } cases[] = {
        {"one", 0, 0},
        {"one", kCFCompareBackwards, 8},
        {"two", 0, 12},
        {"two", kCFCompareCaseInsensitive, 4},
        {"Two", kCFCompareAnchored, kCFNotFound},
        {"two", kCFCompareAnchored | kCFCompareBackwards, 12},
        {"three", 0, kCFNotFound},
        {"", 0, kCFNotFound},
    };
    for (const Case& c : cases) {
        CFRef<CFStringRef> needle = MakeString(c.needle);
        EXPECT_EQ(CFStringFind(text, needle, c.options).location, c.location) << c.needle << " " << c.options;
    }
    CFRange found;
    EXPECT_TRUE(CFStringFindWithOptions(text, CFSTR("one"), CFRangeMake(1, 14), 0, &found));
    EXPECT_EQ(found.location, 8);
    EXPECT_FALSE(CFStringFindWithOptions(text, CFSTR("one"), CFRangeMake(1, 9), 0, &found)) << "must fit the range";
    EXPECT_TRUE(CFStringHasPrefix(text, CFSTR("one ")));
    EXPECT_TRUE(CFStringHasSuffix(text, CFSTR("two")));
    EXPECT_FALSE(CFStringHasPrefix(text, CFSTR("")));
}

TEST(CFStringEditing, MutableOperations)
{
    CFRef<CFMutableStringRef> s(CFStringCreateMutable(nullptr, 0));
    CFStringAppend(s, CFSTR("Hello"));
    CFStringAppendCString(s, " wörld", kCFStringEncodingUTF8);
    Str255 bang = {1, '!'};
    CFStringAppendPascalString(s, bang, kCFStringEncodingMacRoman);
    EXPECT_EQ(UTF8Of(s), "Hello wörld!");

    CFStringInsert(s, 0, CFSTR(">> "));
    CFStringDelete(s, CFRangeMake(3, 6));
    EXPECT_EQ(UTF8Of(s), ">> wörld!");
    CFStringReplace(s, CFRangeMake(0, 2), CFSTR("<<"));
    EXPECT_EQ(UTF8Of(s), "<< wörld!");
    CFStringAppend(s, s);  // appending itself doubles it
    EXPECT_EQ(UTF8Of(s), "<< wörld!<< wörld!");

    CFRef<CFMutableStringRef> caret = MakeMutableString("^1 and ^1, ^2 and ^10");
    EXPECT_EQ(CFStringFindAndReplace(caret, CFSTR("^1"), CFSTR("A"), CFRangeMake(0, CFStringGetLength(caret)), 0), 3);
    EXPECT_EQ(UTF8Of(caret), "A and A, ^2 and A0");

    CFRef<CFMutableStringRef> overlap = MakeMutableString("aaaa");
    EXPECT_EQ(CFStringFindAndReplace(overlap, CFSTR("aa"), CFSTR("b"), CFRangeMake(0, 4), 0), 2);
    EXPECT_EQ(UTF8Of(overlap), "bb");

    CFRef<CFMutableStringRef> spaced = MakeMutableString(" \t Grüße\n ");
    CFStringTrimWhitespace(spaced);
    EXPECT_EQ(UTF8Of(spaced), "Grüße");
    CFStringUppercase(spaced, nullptr);
    EXPECT_EQ(UTF8Of(spaced), "GRÜßE");
    CFStringLowercase(spaced, nullptr);
    EXPECT_EQ(UTF8Of(spaced), "grüße");
}

TEST(CFStringEditing, CopiesAreIndependent)
{
    CFRef<CFMutableStringRef> original = MakeMutableString("one");
    CFRef<CFStringRef> copy(CFStringCreateCopy(nullptr, original));
    CFRef<CFMutableStringRef> mutableCopy(CFStringCreateMutableCopy(nullptr, 0, original));
    CFStringAppend(original, CFSTR(" two"));
    CFStringAppend(mutableCopy, CFSTR(" three"));
    EXPECT_EQ(UTF8Of(copy), "one");
    EXPECT_EQ(UTF8Of(original), "one two");
    EXPECT_EQ(UTF8Of(mutableCopy), "one three");

    // An immutable string's copy may be the string itself, with one more count.
    CFRef<CFStringRef> immutable = MakeString("same");
    CFRef<CFStringRef> again(CFStringCreateCopy(nullptr, immutable));
    EXPECT_TRUE(CFEqual(again, immutable));
}

TEST(CFStringTypes, WrongKindsReadAsAbsent)
{
    // A value of another kind passed where a string is expected (as from a
    // hand-edited file) reads as an empty string instead of crashing.
    SInt32 n = 5;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &n));
    CFStringRef notAString = reinterpret_cast<CFStringRef>(number.get());
    EXPECT_EQ(CFStringGetLength(notAString), 0);
    EXPECT_EQ(CFStringGetIntValue(notAString), 0);
    char buffer[8];
    EXPECT_FALSE(CFStringGetCString(notAString, buffer, sizeof buffer, kCFStringEncodingUTF8));
    EXPECT_EQ(CFStringGetCharacterAtIndex(nullptr, 0), 0);
}
