#include <CFTestSupport.h>
#include <Units/CrossPlatform/ToolboxAll.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/UNIXUtilities.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Points the main bundle at the fixture bundle, in English, for one test.
class FixtureBundle {
public:
    FixtureBundle()
    {
        const char* language = std::getenv("LANGUAGE");
        savedLanguage_ = language ? language : "";
        hadLanguage_ = language != nullptr;
        setenv("LANGUAGE", "en", 1);
        CFBundleSetMainBundleResourcesPath(BRINDLET_FIXTURES_DIR "/Bundles/Sample");
    }
    ~FixtureBundle()
    {
        CFBundleSetMainBundleResourcesPath(nullptr);
        if (hadLanguage_)
            setenv("LANGUAGE", savedLanguage_.c_str(), 1);
        else
            unsetenv("LANGUAGE");
    }

private:
    std::string savedLanguage_;
    bool hadLanguage_;
};

}  // namespace

TEST(CFCopyLocalizedString, TranslatesAndFillsPlaceholders)
{
    FixtureBundle bundle;
    CFRef<CFStringRef> ten[10];
    std::vector<CFStringRef> arguments;
    for (int i = 0; i < 10; ++i) {
        ten[i] = MakeString("<" + std::to_string(i + 1) + ">");
        arguments.push_back(ten[i]);
    }
    CFRef<CFMutableStringRef> missing(
        CFCopyLocalizedString("No entry ^1 and ^2 and ^10", {arguments[0], arguments[1], arguments[9]}));
    // "^10" names the tenth argument, which is not there: it stays.
    EXPECT_EQ(UTF8Of(missing), "No entry <1> and <2> and ^10");

    CFRef<CFMutableStringRef> plain(CFCopyLocalizedString("No entry"));
    EXPECT_EQ(UTF8Of(plain), "No entry");

    CFRef<CFMutableStringRef> translated(CFCopyLocalizedString("Delete ^1 of ^2", {arguments[2], arguments[6]}));
    EXPECT_EQ(UTF8Of(translated), "Really delete <3> of <7> cards?");
    CFRef<CFMutableStringRef> escaped(CFCopyLocalizedString("Cafe"));
    EXPECT_EQ(UTF8Of(escaped), "Café 😀");
}

TEST(CFUtilities, CopiesOfStringsAndData)
{
    auto text = MakeString("Grüße");
    char* utf8 = CFStringCopyCString(text, kCFStringEncodingUTF8);
    ASSERT_NE(utf8, nullptr) << "sized for the encoding, not the character count";
    EXPECT_STREQ(utf8, "Grüße");
    EXPECT_EQ(GetPtrSize(utf8), 8);
    DisposePtr(utf8);
    char* macRoman = CFStringCopyCString(text);
    ASSERT_NE(macRoman, nullptr);
    EXPECT_EQ(static_cast<UInt8>(macRoman[2]), 0x9F) << "ü in Mac Roman";
    DisposePtr(macRoman);
    auto arrow = MakeString("→");
    EXPECT_EQ(CFStringCopyCString(arrow), nullptr);
    auto empty = MakeString("");
    EXPECT_EQ(CFStringCopyCString(empty), nullptr);

    Ptr units = CFStringCopyUnicodeString(text);
    EXPECT_EQ(GetPtrSize(units), 10);
    EXPECT_EQ(reinterpret_cast<UniChar*>(units)[2], 0xFC);
    DisposePtr(units);

    auto data = MakeData(std::string("\0\1\2", 3));
    Ptr bytes = CFDataCopyBytes(data);
    EXPECT_EQ(GetPtrSize(bytes), 3);
    EXPECT_EQ(bytes[2], 2);
    DisposePtr(bytes);
    EXPECT_EQ(CFDataCopyBytes(reinterpret_cast<CFDataRef>(text.get())), nullptr);

    EXPECT_TRUE(CFStringIsLineEnding(MakeString("")));
    EXPECT_TRUE(CFStringIsLineEnding(MakeString("\nx")));
    EXPECT_FALSE(CFStringIsLineEnding(MakeString("x\n")));
    EXPECT_EQ(CFStringGetLineEnding(MakeString("ab\r\n")), '\r');
    EXPECT_EQ(CFStringGetLineEnding(MakeString("ab")), '\0');
    // Characters whose low byte is CR or LF are text, not line breaks.
    EXPECT_FALSE(CFStringIsLineEnding(MakeString("\u4E0A\n")));
    EXPECT_EQ(CFStringGetLineEnding(MakeString("\u010D\u4E0A\n")), '\n');

    SInt32 n = 42;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &n));
    CFRef<CFStringRef> numberText(CFStringCreateFromNumber(number));
    EXPECT_EQ(UTF8Of(numberText), "42");
    EXPECT_EQ(CFNSTR(-7), CFSTR("-7"));
    EXPECT_EQ(NSTR(123), "123");

    EXPECT_TRUE(CFStringCompare(CFSTR("a"), MakeString("a")));
    EXPECT_FALSE(CFStringCompare(CFSTR("a"), CFSTR("A")));
    EXPECT_FALSE(CFStringCompare(nullptr, nullptr));

    CFStringRef owned = CFStringCreateCopy(nullptr, text);
    CFReleaseSafe(owned);
    EXPECT_EQ(owned, nullptr);
    Ptr block = NewPtr(4);
    ReleasePtr(block);
    EXPECT_EQ(block, nullptr);
}

TEST(ProcessOpen, RunsWithoutAShellAndReadsEverything)
{
    // A megabyte of output: the command must not block on a full pipe.
    int status = ProcessOpen(ShortString("head -c 1048576 /dev/zero"));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // Shell syntax is plain text: nothing is substituted or chained.
    std::string marker = testing::TempDir() + "pwned-" + std::to_string(getpid());
    auto command = MakeString("echo $(touch " + marker + "); touch " + marker);
    status = ProcessOpen(command);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(access(marker.c_str(), F_OK), 0) << "a shell ran the command";

    auto unicode = MakeString("true 日本語");
    EXPECT_EQ(ProcessOpen(unicode), 0) << "commands are UTF-8";
    EXPECT_EQ(ProcessOpen(ShortString("")), -1);
    EXPECT_EQ(ProcessOpen(ShortString("bad 'quote")), -1);
    EXPECT_NE(ProcessOpen(ShortString("false")), 0);
}
