#include <CFTestSupport.h>

#include <gtest/gtest.h>

#include <Support/Diagnostics.h>

#include <climits>
#include <clocale>
#include <cstdint>
#include <vector>

namespace {

std::string Format(CFStringRef format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    CFRef<CFStringRef> s(CFStringCreateWithFormatAndArguments(nullptr, nullptr, format, arguments));
    va_end(arguments);
    return UTF8Of(s);
}

// A format from a translation file, given the arguments `valid` reads.
std::string Translated(CFStringRef valid, CFStringRef format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    CFErrorRef error = reinterpret_cast<CFErrorRef>(1);
    CFRef<CFStringRef> s(
        CFStringCreateStringWithValidatedFormatAndArguments(nullptr, nullptr, valid, format, &error, arguments));
    va_end(arguments);
    EXPECT_EQ(error, nullptr);
    return UTF8Of(s);
}

}  // namespace

TEST(CFStringFormat, NumericDirectives)
{
    EXPECT_EQ(Format(CFSTR("%d|%i|%u"), -42, 7, 3000000000u), "-42|7|3000000000");
    EXPECT_EQ(Format(CFSTR("%5d|%-5d|%05d"), 42, 42, 42), "   42|42   |00042");
    EXPECT_EQ(Format(CFSTR("%x %X %o %#x"), 255, 255, 8, 255), "ff FF 10 0xff");
    EXPECT_EQ(Format(CFSTR("%ld %lld %qd %zu"), -5L, INT64_MIN, 9LL, size_t(12)), "-5 -9223372036854775808 9 12");
    EXPECT_EQ(Format(CFSTR("%hhd %hd"), 300, 70000), "44 4464");
    EXPECT_EQ(Format(CFSTR("%.2f|%8.3f|%g|%e"), 3.14159, 2.5, 0.0001, 1234.5), "3.14|   2.500|0.0001|1.234500e+03");
    EXPECT_EQ(Format(CFSTR("%*d|%-*d|%.*f"), 4, 7, 3, 1, 2, 1.0 / 3), "   7|1  |0.33");
    EXPECT_EQ(Format(CFSTR("100%% sure")), "100% sure");
}

TEST(CFStringFormat, ObjectAndTextDirectives)
{
    SInt32 five = 5;
    Float64 half = 0.5;
    CFRef<CFNumberRef> n(CFNumberCreate(nullptr, kCFNumberSInt32Type, &five));
    CFRef<CFNumberRef> r(CFNumberCreate(nullptr, kCFNumberFloat64Type, &half));
    EXPECT_EQ(Format(CFSTR("[%@] [%@] [%@] [%@]"), CFSTR("Grüße"), n.get(), r.get(), nullptr),
              "[Grüße] [5] [0.5] [(null)]");
    EXPECT_EQ(Format(CFSTR("%@"), kCFBooleanTrue), "true");
    EXPECT_EQ(Format(CFSTR("[%6@] [%-6@] [%.2@]"), CFSTR("ab"), CFSTR("ab"), CFSTR("abcdef")),
              "[    ab] [ab    ] [ab]");
    EXPECT_EQ(Format(CFSTR("%s|%s|%.3s"), "日本", nullptr, "abcdef"), "日本|(null)|abc");
    EXPECT_EQ(Format(CFSTR("%s"), "caf\x8E"), "café") << "bytes that are not UTF-8 read as Mac Roman";
    const UniChar wide[] = {'h', 0xE9, 0};
    EXPECT_EQ(Format(CFSTR("%S %C %c"), wide, 0x263A, 'x'), "hé ☺ x");
}

TEST(CFStringFormat, APrecisionBoundsTheBytesOfACString)
{
    // As in C, "%.*s" reads at most that many bytes: the array need not end
    // in a NUL, and what lies after it must not change the text.
    const std::vector<char> unterminated = {'a', 'b', 'c'};
    EXPECT_EQ(Format(CFSTR("[%.*s]"), 3, unterminated.data()), "[abc]");
    EXPECT_EQ(Format(CFSTR("[%.2s]"), "\xC3\xA9\xFF"), "[é]") << "the byte after the precision is not read";
    EXPECT_EQ(Format(CFSTR("[%.4s]"), "日本"), "[日]") << "a character cut by the count is left out";
    EXPECT_EQ(Format(CFSTR("[%.0s]"), "abc"), "[]");
    EXPECT_EQ(Format(CFSTR("[%.9s]"), "caf\x8E"), "[café]");
}

TEST(CFStringFormat, APrecisionBoundsTheUnitsOfAUniCharText)
{
    const UniChar unterminated[] = {'a', 'b', 'c'};
    EXPECT_EQ(Format(CFSTR("[%.3S]"), unterminated), "[abc]");
    EXPECT_EQ(Format(CFSTR("[%.*S]"), 2, unterminated), "[ab]");
}

TEST(CFStringFormat, WidthsAndPrecisionsAreBounded)
{
    // INT_MIN as a "*" width has no positive counterpart in an int.
    EXPECT_EQ(Format(CFSTR("[%*d]"), INT_MIN, 7).size(), 4098u) << "left-justified in the widest width";
    EXPECT_EQ(Format(CFSTR("[%2147483647d]"), 7).size(), 4098u);
    EXPECT_EQ(Format(CFSTR("[%.99999999f]"), 1.0).size(), 4096u + 4u);
    EXPECT_EQ(Format(CFSTR("[%-*d]"), 3, 7), "[7  ]");
}

// Translations are outside data: a translator's format may read arguments
// the program never passed. Those read as nothing, with one warning.
TEST(CFStringFormat, ValidatedFormatsReadOnlyWhatWasPassed)
{
    Diagnostics::Capture capture;
    EXPECT_EQ(Translated(CFSTR("%@ and %@"), CFSTR("%2$@ und %1$@"), CFSTR("one"), CFSTR("two")), "two und one");
    EXPECT_TRUE(capture.Lines().empty());
    EXPECT_EQ(Translated(CFSTR("%@"), CFSTR("%2$@ and %1$@"), CFSTR("one")), " and one");
    EXPECT_EQ(Translated(CFSTR("%d files"), CFSTR("%s files"), 3), " files") << "a number is not read as text";
    EXPECT_EQ(Translated(CFSTR("%@"), CFSTR("%99$@|%@"), CFSTR("one")), "|one");
    EXPECT_EQ(capture.Lines().size(), 3u);
    EXPECT_EQ(capture.Lines()[0],
              "Warning: The format \"%2$@ and %1$@\" reads arguments that were not passed; they format as empty.");
}

TEST(CFStringFormat, PositionalArguments)
{
    EXPECT_EQ(Format(CFSTR("%2$@ before %1$@"), CFSTR("one"), CFSTR("two")), "two before one");
    EXPECT_EQ(Format(CFSTR("%2$d %1$s %2$d"), "x", 9), "9 x 9");
    EXPECT_EQ(Format(CFSTR("%1$.*2$f"), 2.0 / 3, 3), "0.667");
}

TEST(CFStringFormat, UnknownAndTrailingDirectivesStayText)
{
    EXPECT_EQ(Format(CFSTR("50%")), "50%");
    EXPECT_EQ(Format(CFSTR("%y and %d"), 4), "%y and 4");
}

TEST(CFStringFormat, NumbersIgnoreTheProcessLocale)
{
    // A German numeric locale must not turn "0.5" into "0,5" in files.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "no German locale on this machine";
    EXPECT_EQ(Format(CFSTR("%.1f %g"), 0.5, 1.25), "0.5 1.25");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(CFStringFormat, AppendFormat)
{
    CFRef<CFMutableStringRef> s = MakeMutableString("Count: ");
    CFStringAppendFormat(s, nullptr, CFSTR("%d of %@"), 3, CFSTR("ten"));
    EXPECT_EQ(UTF8Of(s), "Count: 3 of ten");
}
