#include <CFTestSupport.h>

#include <RichText/RTFReader.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const UInt8* BytesOf(const std::string& text)
{
    return reinterpret_cast<const UInt8*>(text.data());
}

// The plain text of the RTF as UTF-8, or "<refused: reason>".
std::string PlainTextOf(const std::string& rtf)
{
    CFStringRef error = nullptr;
    CFRef<CFStringRef> text(RTFCopyPlainText(BytesOf(rtf), rtf.size(), &error));
    CFRef<CFStringRef> ownedError(error);
    if (!text)
        return "<refused: " + UTF8Of(error) + ">";
    EXPECT_EQ(error, nullptr);
    return UTF8Of(text);
}

// A figure of this process's memory from /proc/self/status, in kilobytes.
long StatusKilobytes(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

// The most memory `work` holds at once, in megabytes, beyond what the
// process held before it: measured in a child process of its own, whose
// high-water mark starts where this process is.
long PeakGrowthMegabytes(const std::function<void()>& work)
{
    int out[2];
    if (pipe(out) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(out[0]);
        const long before = StatusKilobytes("VmRSS");
        work();
        const long growth = (StatusKilobytes("VmHWM") - before) / 1024;
        _exit(write(out[1], &growth, sizeof growth) == sizeof growth ? 0 : 1);
    }
    close(out[1]);
    long growth = -1;
    if (read(out[0], &growth, sizeof growth) != sizeof growth)
        growth = -1;
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return growth;
}

std::string Nested(size_t depth, const std::string& inner)
{
    return std::string(depth, '{') + inner + std::string(depth, '}');
}

}  // namespace

TEST(RTFReader, FixtureBecomesItsExactPlainText)
{
    const std::string rtf = ReadFixture("RichText/menu.rtf");
    ASSERT_FALSE(rtf.empty());
    // \'e9 in the document's code page (1252), \'8f in the Mac Roman font
    // (\fcharset77), \u8364 with its "?" fallback dropped, and nothing of
    // the tables, the information, the ignorable group or the header.
    EXPECT_EQ(PlainTextOf(rtf), "Caf\u00E9 au lait: 3\u20AC each\n"
                                "Cr\u00E8me, red {braces} and a back\\slash\n"
                                "Line one\u2028line two\tend");
}

TEST(RTFReader, CharactersAndDestinations)
{
    const struct {
        const char* rtf;
        const char* text;
    } cases[] = {
        // \uN: negative numbers count from 65536, pairs join, lone halves are replaced.
        {R"({\rtf1 a\u-10179?\u-8704?b})", "a\U0001F600b"},
        {R"({\rtf1 \u55357?x})", "\uFFFDx"},
        {R"({\rtf1 \u233\'e9x})", "\u00E9x"},
        // The fallback count: its own value, its group's scope, and a group
        // boundary ending the skip.
        {R"({\rtf1\uc2 \u233xyz})", "\u00E9z"},
        {R"({\rtf1\uc0 \u233 x})", "\u00E9x"},
        {R"({\rtf1{\uc2 \u233ab}\u233ab})", "\u00E9\u00E9b"},
        {R"({\rtf1\uc3 \u233{x}})", "\u00E9x"},
        {R"({\rtf1 \u99999999999 x})", "\uFFFD"},
        // Code pages.
        {R"({\rtf1 \'80})", "\u20AC"},
        {R"({\rtf1\ansi\ansicpg10000 \'8e})", "\u00E9"},
        {R"({\rtf1\mac \'8e})", "\u00E9"},
        {R"({\rtf1\ansi\ansicpg65001 \'c3\'a9})", "\u00E9"},
        {R"({\rtf1\ansi\ansicpg65001 a\'ffb})", "a\uFFFDb"},
        {"{\\rtf1 caf\xE9}", "caf\u00E9"},
        // Escapes and special characters.
        {R"({\rtf1 a\~b\-c\_d\\e\{f\}})", "a\u00A0b\u00ADc\u2011d\\e{f}"},
        {R"({\rtf1 \ldblquote x\rdblquote\emdash y\bullet})", "\u201Cx\u201D\u2014y\u2022"},
        {"{\\rtf1 a\\\nb\tc\r\nd}", "a\nb\tcd"},
        {R"({\rtf1 a\line b\page c\sect d})", "a\u2028b\fc\nd"},
        // Skipped destinations and the \upr pair.
        {R"({\rtf1{\*\unknown hidden}shown})", "shown"},
        {R"({\rtf1{\stylesheet{\s0 Normal;}}{\footnote note}{\pict\pngblip 89504e47}text})", "text"},
        {R"({\rtf1{\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}}})", "link"},
        {R"({\rtf1{\upr{ansi}{\*\ud{unicode \u233}}}})", "unicode \u00E9"},
        {R"({\rtf1{\info{\*\ud secret}}open})", "open"},
        {R"({\rtf1 \bin5 {{{{{after})", "after"},
        {R"({\rtf1 \bin99999999 })", ""},
        // Huge numbers, trailing data, input cut short.
        {R"({\rtf1\fs99999999999999999999999 x\li-99999999999 y})", "xy"},
        {R"({\rtf1 a}b)", "a"},
        {R"({\rtf1 abc\'e)", "abc"},
        {R"({\rtf1 {\b abc)", "abc"},
        {R"({\rtf1 abc\)", "abc"},
        {" \r\n{\\rtf1 lead}", "lead"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlainTextOf(c.rtf), c.text) << c.rtf;
}

TEST(RTFReader, RefusesWhatIsNotRTF)
{
    for (const std::string input : {"", "hello", "{\\rt", "{rtf1 x}", "\\rtf1 x}", "x{\\rtf1 y}"}) {
        CFStringRef error = nullptr;
        CFRef<CFStringRef> text(RTFCopyPlainText(BytesOf(input), input.size(), &error));
        CFRef<CFStringRef> ownedError(error);
        EXPECT_FALSE(text) << input;
        ASSERT_NE(error, nullptr) << input;
        EXPECT_NE(UTF8Of(error).find("not RTF"), std::string::npos) << input;
    }
    EXPECT_EQ(RTFCopyPlainText(nullptr, 0, nullptr), nullptr);
}

TEST(RTFReader, NestingIsBounded)
{
    // The document's group and 511 inside it: the limit itself is read.
    EXPECT_EQ(PlainTextOf("{\\rtf1 " + Nested(kRTFMaximumGroupDepth - 1, "deep") + "}"), "deep");

    for (size_t depth : {kRTFMaximumGroupDepth, size_t{200000}}) {
        const std::string rtf = "{\\rtf1 " + Nested(depth, "deep") + "}";
        CFStringRef error = nullptr;
        CFRef<CFStringRef> text(RTFCopyPlainText(BytesOf(rtf), rtf.size(), &error));
        CFRef<CFStringRef> ownedError(error);
        EXPECT_FALSE(text) << depth;
        EXPECT_NE(UTF8Of(error).find("deeper than 512"), std::string::npos);
    }
}

// Memory stays in proportion to the text, however often the format
// changes: 10 MB of alternating bold is a few million runs.
TEST(RTFReader, MemoryStaysInProportionToTheText)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's allocator keeps freed memory";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the address sanitizer's allocator keeps freed memory";
#endif
#endif
    std::string rtf = "{\\rtf1\\ansi ";
    size_t characters = 0;
    for (; rtf.size() < (10u << 20); characters += 2)
        rtf += "\\b a\\b0 b";
    rtf += "}";
    const long plain = PeakGrowthMegabytes([&] {
        CFRef<CFStringRef> text(RTFCopyPlainText(BytesOf(rtf), rtf.size(), nullptr));
        if (!text || CFStringGetLength(text) != CFIndex(characters))
            _exit(2);
    });
    EXPECT_GE(plain, 0);
    EXPECT_LT(plain, 40) << "megabytes for the plain text";
    const long runs = PeakGrowthMegabytes([&] {
        RTFDocument document;
        if (!RTFReadDocument(BytesOf(rtf), rtf.size(), document) || document.RunCount() != characters)
            _exit(2);
    });
    EXPECT_GE(runs, 0);
    EXPECT_LT(runs, 100) << "megabytes for the runs";
}

// Runs of one format share it; a document with more different formats than
// any document needs keeps all its text, the last runs in the last format.
TEST(RTFReader, FormatsAreSharedAndBounded)
{
    RTFDocument document;
    const std::string alternating = "{\\rtf1 a\\b b\\b0 c\\b d\\b0 e}";
    ASSERT_TRUE(RTFReadDocument(BytesOf(alternating), alternating.size(), document));
    EXPECT_EQ(document.RunCount(), 5u);
    EXPECT_EQ(document.formats.size(), 2u);

    std::string sizes = "{\\rtf1 ";
    const size_t count = kRTFMaximumFormats + 100;
    for (size_t n = 1; n <= count; ++n)
        sizes += "\\fs" + std::to_string(n) + " x";
    sizes += "}";
    ASSERT_TRUE(RTFReadDocument(BytesOf(sizes), sizes.size(), document));
    EXPECT_EQ(document.text.size(), count);
    EXPECT_EQ(document.formats.size(), kRTFMaximumFormats);
    EXPECT_EQ(document.RunCount(), kRTFMaximumFormats);
    EXPECT_EQ(document.Run(document.RunCount() - 1).text.size(), 101u);
}

TEST(RTFReader, RunsCarryFormatsAndTables)
{
    const std::string rtf = R"({\rtf1\ansi\deff1{\fonttbl{\f0\fnil\fcharset0 Helvetica;}{\f1\froman Times New Roman;}})"
                            R"({\colortbl;\red10\green20\blue300;}\fs30 a{\b\i b}\cf1\ul c\ul0\qc\par\pard d})";
    RTFDocument document;
    std::string reason;
    ASSERT_TRUE(RTFReadDocument(BytesOf(rtf), rtf.size(), document, &reason)) << reason;

    ASSERT_EQ(document.fonts.size(), 2u);
    EXPECT_EQ(document.fonts[0].number, 0);
    EXPECT_EQ(document.fonts[0].charset, 0);
    EXPECT_EQ(document.fonts[0].name, u"Helvetica");
    EXPECT_EQ(document.fonts[1].name, u"Times New Roman");
    ASSERT_EQ(document.colors.size(), 2u);
    EXPECT_TRUE(document.colors[0].automatic);
    EXPECT_FALSE(document.colors[1].automatic);
    EXPECT_EQ(document.colors[1].red, 10);
    EXPECT_EQ(document.colors[1].blue, 255);

    ASSERT_EQ(document.RunCount(), 5u);
    EXPECT_EQ(document.Run(0).text, u"a");
    EXPECT_EQ(document.Run(0).character.font, 1);  // \deff
    EXPECT_EQ(document.Run(0).character.fontSize, 30);
    EXPECT_EQ(document.Run(1).text, u"b");
    EXPECT_TRUE(document.Run(1).character.bold && document.Run(1).character.italic);
    EXPECT_EQ(document.Run(2).text, u"c");
    EXPECT_FALSE(document.Run(2).character.bold);  // the group ended
    EXPECT_TRUE(document.Run(2).character.underline);
    EXPECT_EQ(document.Run(2).character.foregroundColor, 1);
    EXPECT_EQ(document.Run(3).text, u"\n");
    EXPECT_EQ(document.Run(3).paragraph.alignment, RTFAlignment::Center);
    EXPECT_EQ(document.Run(4).text, u"d");
    EXPECT_EQ(document.Run(4).paragraph.alignment, RTFAlignment::Natural);
    EXPECT_EQ(document.PlainText(), u"abc\nd");
}
