
#include <CFTestSupport.h>
#include <FileFixtures.h>
#include <QtTestApplication.h>
#include <Units/Utilities/CocoaUtilities.h>

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

using namespace NSStringUtilities;

// Fonts need the GUI application; one serves every test of the program.
testing::Environment* const gGuiApplication = AddQtTestApplication<QGuiApplication>("CocoaStrings");

class CocoaStrings : public testing::Test {
protected:
    void SetUp() override { pool_ = NSAutoreleasePool::newPool(); }
    void TearDown() override { pool_->release(); }

    NSAutoreleasePool* pool_ = nullptr;
};

NSString* S(std::string_view utf8)
{
    return NSString::stringWithUTF8String(std::string(utf8).c_str());
}

// The text of a string, "<nil>" for nil.
std::string T(const NSString* s)
{
    return s ? s->UTF8String() : "<nil>";
}

std::string Repeated(std::string_view piece, size_t times)
{
    std::string out;
    for (size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

}  // namespace

TEST_F(CocoaStrings, ExtensionsOfNames)
{
    struct Case {
        const char* name;
        bool hasExtension;
        const char* extension;  // nil: none
        const char* trimmed;
    } const cases[] = {
        {"photo.png", true, "png", "photo"},
        // Only a name with one point has an extension; trimming cuts at the last.
        {"archive.tar.gz", true, nullptr, "archive.tar"},
        {"README", false, nullptr, "README"},
        {".bashrc", true, "bashrc", ""},
        {"draft.", true, "", "draft"},
        {"Grüße.日本", true, "日本", "Grüße"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NSString* name = S(c.name);
        EXPECT_EQ(hasExtension(name), c.hasExtension);
        EXPECT_EQ(T(extension(name)), c.extension ? c.extension : "<nil>");
        EXPECT_EQ(pascalExtension(name), c.extension ? c.extension : "");
        EXPECT_EQ(T(stringByTrimmingExtension(name)), c.trimmed);
    }
}

TEST_F(CocoaStrings, ComponentAfterTheOnlySeparator)
{
    struct Case {
        const char* text;
        const char* separator;
        const char* component;
    } const cases[] = {
        {"key=value", "=", "value"},  {"a=b=c", "=", "<nil>"}, {"plain", "=", "<nil>"},
        {"host::port", "::", "port"}, {"trailing=", "=", ""},  {"text", "", "<nil>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(T(component(S(c.text), c.separator)), c.component) << c.text << " at " << c.separator;
}

TEST_F(CocoaStrings, TrimmingCountsUnitsWithoutComparing)
{
    struct Case {
        const char* text;
        const char* other;
        const char* lessSuffix;
        const char* lessPrefix;
    } const cases[] = {
        {"report.txt", ".txt", "report", "rt.txt"},
        {"file:///tmp", "file://", "file", "/tmp"},
        {"short", "much longer", "", ""},
        {"same", "same", "", ""},
        // The emoji is two units: neither half is left behind.
        {"a😀", "x", "a", "😀"},
        {"😀b", "xy", "", "b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(T(stringByTrimmingSuffix(S(c.text), S(c.other))), c.lessSuffix);
        EXPECT_EQ(T(stringByTrimmingPrefix(S(c.text), S(c.other))), c.lessPrefix);
    }
    EXPECT_EQ(T(stringByTrimmingSuffix(S("kept"), nullptr)), "kept");
}

TEST_F(CocoaStrings, TruncatingToACount)
{
    NSString* ten = S("abcdefghij");
    struct Case {
        NSInteger count;
        const char* result;
    } const cases[] = {{5, "abcde..."}, {9, "abcdefghi..."}, {0, "..."}, {-3, "..."}};
    for (const Case& c : cases)
        EXPECT_EQ(T(stringByTruncatingCharacters(ten, c.count)), c.result) << c.count;
    for (NSInteger count : {10, 11, 1000})
        EXPECT_EQ(stringByTruncatingCharacters(ten, count), ten) << "the receiver itself at " << count;
    EXPECT_EQ(T(stringByTruncatingCharacters(S("ab😀cd"), 3)), "ab...");
}

TEST_F(CocoaStrings, ShortStringsAndSmallPredicates)
{
    NSString* world = stringWithPascalString("Grüße, 日本 😀");
    EXPECT_EQ(T(world), "Grüße, 日本 😀");
    EXPECT_EQ(world->length(), 12u) << "UTF-16 units: the emoji counts two";
    EXPECT_TRUE(compareWithPascal(world, "Grüße, 日本 😀"));
    EXPECT_FALSE(compareWithPascal(world, "grüße, 日本 😀"));
    NSString* owned = initWithPascalString("owned");
    EXPECT_EQ(owned->retainCount(), 1u);
    owned->release();

    // 300 two-byte characters: cut to 254 bytes, never inside a character.
    const ShortString cut = pascalString(S(Repeated("é", 300)));
    EXPECT_EQ(cut, Repeated("é", 127));
    EXPECT_EQ(pascalString(nullptr), "");

    EXPECT_TRUE(isEmpty(S("")));
    EXPECT_FALSE(isEmpty(S(" ")));
    EXPECT_TRUE(isReturnKey(S("\n")));
    for (const char* other : {"\r", "\n\n", "", "a"})
        EXPECT_FALSE(isReturnKey(S(other))) << other;
    EXPECT_EQ(cfType(world), world->cfString());
}

TEST_F(CocoaStrings, NumbersAsText)
{
    struct FloatCase {
        float value;
        const char* text;
    } const floats[] = {{1.5f, "1.5"}, {0.1f, "0.1"}, {-2.0f, "-2"}, {1e20f, "1e+20"}};
    for (const FloatCase& c : floats)
        EXPECT_EQ(T(stringWithFloat(c.value)), c.text);
    for (SInt32 value : {0, 42, -2147483647 - 1})
        EXPECT_EQ(T(stringWithInteger(value)), std::to_string(value));
}

TEST_F(CocoaStrings, ExecuteReadsTheWholeOutputAsUTF8)
{
    ScratchFolder scratch;
    // Far more than a pipe holds, with characters of two, three and four
    // bytes falling across every read boundary.
    const std::string text = Repeated("é€😀", 100 * 1024 / 9 + 1);
    scratch.Write("big.txt", text);
    NSString* output = execute(S("cat '" + (scratch / "big.txt") + "'"));
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->UTF8String(), text);
    EXPECT_EQ(output->length(), text.size() / 9 * 4);

    struct Case {
        const char* command;
        const char* output;
    } const cases[] = {
        {"printf 'a\\377b'", "a\uFFFDb"},  // a stray byte costs only itself
        {"echo 'unterminated", ""},       {"", ""},
        {"no-such-program-anywhere", ""}, {"echo one | tr a-z A-Z; ls > out", "one | tr a-z A-Z; ls > out\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(T(execute(S(c.command))), c.output) << c.command;
}

TEST_F(CocoaStrings, ExecuteNeverSubstitutes)
{
    ScratchFolder scratch;
    const std::string victim = scratch / "created";
    EXPECT_EQ(T(execute(S("echo $(touch " + victim + ")"))), "$(touch " + victim + ")\n");
    EXPECT_EQ(T(execute(S("echo `touch " + victim + "`"))), "`touch " + victim + "`\n");
    EXPECT_FALSE(Exists(victim));
}

TEST_F(CocoaStrings, RegularExpressions)
{
    EXPECT_TRUE(regex(S("MESSAGE: hello"), "^message:"));
    EXPECT_FALSE(regex(S("a message:"), "^message:"));
    EXPECT_FALSE(regex(nullptr, "x"));

    PCREMatchesArray matches;
    ASSERT_TRUE(regexMatches(S("😀 - b"), "(.*) - (.*)", matches));
    ASSERT_EQ(matches.size(), 3u);
    EXPECT_EQ(matches[1].text, "😀");
    EXPECT_EQ(matches[1].range.location, 0);
    EXPECT_EQ(matches[1].range.length, 2);
    EXPECT_EQ(matches[2].text, "b");
    EXPECT_EQ(matches[2].range.location, 5);

    EXPECT_FALSE(regexMatches(S("no dash"), "(.*) - (.*)", matches));
    EXPECT_EQ(matches.size(), 1u);
}

TEST_F(CocoaStrings, TruncatingToAWidth)
{
    NSFont* font = NSFont::fontWithName(S("DejaVu Sans"), 12);
    ASSERT_NE(font, nullptr);
    NSString* text = S("The quick brown fox jumps over the lazy dog");
    const std::string whole = T(text);
    const CGFloat full = font->widthOfString(text);
    ASSERT_GT(full, 100);

    EXPECT_EQ(stringByTruncating(text, font, full), text) << "a text that fits comes back";
    for (CGFloat width : {full - 1, full / 2, CGFloat(40)}) {
        SCOPED_TRACE(width);
        const std::string result = T(stringByTruncating(text, font, width));
        ASSERT_GT(result.size(), 3u);
        const size_t kept = result.size() - 3;
        EXPECT_EQ(result, whole.substr(0, kept) + "...");
        EXPECT_LE(font->widthOfString(S(result)), width);
        EXPECT_GT(font->widthOfString(S(whole.substr(0, kept + 1) + "...")), width) << "the longest that fits";
        EXPECT_EQ(T(stringByTruncatingWithFont(text, font, width)), result);
    }
    // Nothing fits: the first character stays.
    EXPECT_EQ(T(stringByTruncating(text, font, 1)), "T...");
    EXPECT_EQ(T(stringByTruncating(S("😀😀"), font, 1)), "😀...");
    // Without a font the system font measures.
    NSFont* system = NSFont::systemFontOfSize(12);
    EXPECT_LE(system->widthOfString(stringByTruncating(text, nullptr, 80)), 80);
}

TEST_F(CocoaStrings, PathsAndFileReferences)
{
    ScratchFolder scratch;
    scratch.MakeFolder("Folder");
    scratch.MakeFolder("Notes.rtfd");
    scratch.MakeFolder("Tool.app");
    scratch.Write("plain.txt", "x");
    scratch.Write("file.rtfd", "x");
    scratch.MakeLink("link", scratch / "Folder");
    struct Case {
        const char* name;
        bool directory;
        bool package;
    } const cases[] = {
        {"Folder", true, false},     {"Notes.rtfd", true, true}, {"Tool.app", true, true},  {"plain.txt", false, false},
        {"file.rtfd", false, false}, {"link", true, false},      {"missing", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NSString* path = S(scratch / c.name);
        EXPECT_EQ(isDirectory(path), c.directory);
        EXPECT_EQ(isPackage(path), c.package);
    }

    const FSRef ref = fsRef(S(scratch / "plain.txt"));
    EXPECT_EQ(std::string(ref.path), scratch / "plain.txt");
    EXPECT_EQ(T(stringWithFSRef(ref)), scratch / "plain.txt");
    EXPECT_EQ(T(stringWithFSObjectName(ref)), "plain.txt");
    NSString* owned = initWithFSRef(ref);
    EXPECT_EQ(T(owned), scratch / "plain.txt");
    owned->release();

    const FSRef none{}, missing = fsRef(S(scratch / "missing"));
    EXPECT_EQ(std::memcmp(&missing, &none, sizeof none), 0);
    EXPECT_EQ(stringWithFSRef(none), nullptr);
    EXPECT_EQ(initWithFSRef(none), nullptr);
    EXPECT_EQ(stringWithFSObjectName(none), nullptr);
}
