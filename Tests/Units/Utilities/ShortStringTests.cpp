#include <CFTestSupport.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/ShortStringUtilities.h>

#include <gtest/gtest.h>

TEST(ShortString, HoldsAnyTextCutAtACharacter)
{
    const ShortString greeting("日本語 — Grüße");
    EXPECT_EQ(greeting, "日本語 — Grüße");
    CFRef<CFStringRef> platform(CFStringCreateWithCString(nullptr, greeting.c_str(), kCFStringEncodingUTF8));
    EXPECT_EQ(CFStringToPascal(platform), greeting) << "a round trip through a platform string";
    EXPECT_EQ(CFSTR(greeting), CFSTR("日本語 — Grüße"));

    // 85 three-byte characters fill 255 bytes; one more would split.
    std::string kana;
    for (int i = 0; i < 90; ++i)
        kana += "あ";
    const ShortString cut(kana);
    EXPECT_EQ(cut.Length(), 255u);
    EXPECT_EQ(cut.View(), kana.substr(0, 255));
    std::string twoByte(127 * 2, 'x');
    twoByte += "é";  // would end at byte 256: dropped whole
    EXPECT_EQ(ShortString(twoByte).Length(), 254u);

    ShortString appended("abc");
    appended += std::string(300, 'z');
    EXPECT_EQ(appended.Length(), 255u);
    EXPECT_EQ(ShortString("a") + "b", "ab");
}

TEST(ShortString, PascalConversionKeeps254OfLongTexts)
{
    struct Case {
        std::string text;
        size_t expectedBytes;
    } cases[] = {
        {std::string(300, 'a'), 254},
        {std::string(255, 'a'), 254},
        {std::string(254, 'a'), 254},
        {"", 0},
    };
    for (const Case& c : cases) {
        auto s = MakeString(c.text);
        EXPECT_EQ(CFStringToPascal(s).Length(), c.expectedBytes) << c.text.size();
    }
    EXPECT_TRUE(CFStringToPascal(nullptr).IsEmpty());
}

TEST(ShortStringUtilities, SlicingTable)
{
    EXPECT_EQ(GetStringSuffix("report.final.pdf", '.'), "pdf");
    EXPECT_EQ(SliceStringSuffix("report.final.pdf", '.'), "report.final");
    EXPECT_EQ(GetStringSuffix("archive.tar.gz", '.'), "gz");
    EXPECT_EQ(SliceStringSuffix("archive.tar.gz", '.'), "archive.tar");
    EXPECT_EQ(GetStringSuffix("no extension", '.'), "");
    EXPECT_EQ(SliceStringSuffix("no extension", '.'), "no extension");
    EXPECT_EQ(GetStringSuffix("trailing.", '.'), "");
    EXPECT_EQ(SliceStringSuffix("trailing.", '.'), "trailing.");
    EXPECT_EQ(GetStringSuffix("日本→語", U'→'), "語");

    EXPECT_EQ(GetStringRange("Grüße", 2, 4), "rüß") << "positions count characters";
    EXPECT_EQ(GetStringRange("Grüße", 4, 2), "");
    EXPECT_EQ(GetStringRange("abc", 2, 99), "bc");
    EXPECT_EQ(SliceString("Grüße", 3, 4), "Gre");
    EXPECT_EQ(GetTabIndent("a\tb\t\tc"), "\t\t\t");

    ShortString full(std::string(255, 'x'));
    AppendStringCharacter(full, 'y');
    EXPECT_EQ(full.Length(), 255u);
    ShortString almost(std::string(254, 'x'));
    AppendStringCharacter(almost, U'é');  // two bytes do not fit in one
    EXPECT_EQ(almost.Length(), 254u);
    AppendStringCharacter(almost, 'y');
    EXPECT_EQ(almost.Length(), 255u);
}
