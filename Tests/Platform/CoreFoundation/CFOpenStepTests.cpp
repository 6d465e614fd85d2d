// The old text format, read through the same entry point as XML: each
// expected value is written as an XML property list, so a case states the
// tree it must give without building it by hand.
#include <CFTestSupport.h>

#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <string>

namespace {

CFRef<CFTypeRef> FromXML(std::string_view body)
{
    std::string error;
    auto value = ParsePropertyList("<plist>" + std::string(body) + "</plist>", kCFPropertyListImmutable, &error);
    EXPECT_TRUE(value) << body << ": " << error;
    return value;
}

// UTF-16 with a byte-order mark, as editors save .strings files.
std::string UTF16(std::u16string_view text, bool littleEndian)
{
    std::string bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += littleEndian ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

std::string Nested(int depth)
{
    return std::string(static_cast<size_t>(depth), '(') + std::string(static_cast<size_t>(depth), ')');
}

}  // namespace

TEST(CFOpenStep, ReadsWellFormedText)
{
    struct Case {
        const char* name;
        std::string text;
        const char* xml;
    } cases[] = {
        {"dictionary without the last ';'", "{ a = 1; \"b c\" = \"two words\" }",
         "<dict><key>a</key><string>1</string><key>b c</key><string>two words</string></dict>"},
        {"nested containers and data", "{ list = (a, (b, c), { k = v; }, <0fbd 77AA\n 00>, ); empty = (); none = {}; }",
         "<dict><key>list</key><array><string>a</string><array><string>b</string><string>c</string></array>"
         "<dict><key>k</key><string>v</string></dict><data>D713qgA=</data></array>"
         "<key>empty</key><array/><key>none</key><dict/></dict>"},
        {"empty data", "(<>)", "<array><data></data></array>"},
        {"escapes", R"("a\nb\tc\rd\be\ff\ag\vh\\i\"j\'k\ql")", "<string>a\nb\tc\rd\be\ff\ag\vh\\i\"j'kql</string>"},
        {"Unicode escapes", R"("caf\U00e9 \U41\U263a")", "<string>café A☺</string>"},
        {"surrogate pair", R"("\UD83D\UDE00!")", "<string>😀!</string>"},
        {"octal escapes read as Mac Roman", R"("\101\216\0401")", "<string>Aé 1</string>"},
        {"comments wherever space may be",
         "/* lead */ { // to the end of the line\n a /* mid */ = /**/ b; // tail\n} // after",
         "<dict><key>a</key><string>b</string></dict>"},
        {"bare strings", "( abc_$+/:.-9, 1.5, http://x.org/a )",
         "<array><string>abc_$+/:.-9</string><string>1.5</string><string>http://x.org/a</string></array>"},
        {"single quotes", "{ k = 'say \"hi\"'; }", "<dict><key>k</key><string>say \"hi\"</string></dict>"},
        {"a lone string", "  \"just text\"\n", "<string>just text</string>"},
        {"strings file", "/* Menu */\n\"greeting\" = \"Hello\";\nbare = x;\n\"same\";\n\"greeting\" = \"Hi\";\n",
         "<dict><key>greeting</key><string>Hi</string><key>bare</key><string>x</string>"
         "<key>same</key><string>same</string></dict>"},
        {"strings file with nested values", "a = (1, 2); b = { c = d; }",
         "<dict><key>a</key><array><string>1</string><string>2</string></array>"
         "<key>b</key><dict><key>c</key><string>d</string></dict></dict>"},
        {"comment-only strings file", "/* nothing */\n// here\n", "<dict/>"},
        {"repeated key in braces", "{ k = 1; k = 2; }", "<dict><key>k</key><string>2</string></dict>"},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF{ k = \"Grüße\"; }", "<dict><key>k</key><string>Grüße</string></dict>"},
        {"Mac Roman when not UTF-8", "\"k\" = \"caf\x8E \xA5\";", "<dict><key>k</key><string>café •</string></dict>"},
        {"UTF-16 little-endian", UTF16(u"/* é */ \"k\" = \"café 😀\";", true),
         "<dict><key>k</key><string>café 😀</string></dict>"},
        {"UTF-16 big-endian", UTF16(u"(\"日本\", b)", false), "<array><string>日本</string><string>b</string></array>"},
        {"512 levels", Nested(512), nullptr},
    };
    for (const Case& c : cases) {
        std::string error;
        auto value = ParsePropertyList(c.text, kCFPropertyListImmutable, &error);
        ASSERT_TRUE(value) << c.name << ": " << error;
        if (c.xml) {
            auto expected = FromXML(c.xml);
            EXPECT_TRUE(CFEqual(value, expected)) << c.name << ": " << DescriptionOf(value);
        }
    }
}

TEST(CFOpenStep, RefusesMalformedTextWithTheLine)
{
    struct Case {
        const char* name;
        std::string text;
        int line;
        const char* reason;
    } cases[] = {
        {"unterminated string", "{\n a = \"abc;\n}", 2, "unterminated quoted string"},
        {"backslash at the end", "(\"abc\\", 1, "unterminated quoted string"},
        {"unterminated comment", "{ a = b; }\n/* open", 2, "unterminated comment"},
        {"unterminated dictionary", "{ a = b;\n c = d;\n", 1, "ends inside a dictionary"},
        {"unterminated array", "(a,\n b", 1, "ends inside an array"},
        {"value missing", "{ a = ", 1, "value was expected"},
        {"missing '='", "{\n\n a b; }", 3, "'=' was expected"},
        {"missing ';'", "{ a = b c = d; }", 1, "';' was expected"},
        {"missing ','", "(a b)", 1, "',' or ')' was expected"},
        {"key that is not a string", "{ (a) = b; }", 1, "key that is not a string"},
        {"odd hex digits", "(\n<0fb>)", 2, "odd number of hex digits"},
        {"not a hex digit", "(<0fzz>)", 1, "'z' in data"},
        {"unterminated data", "(<0f", 1, "unterminated data"},
        {"stray character", "{ a = b; c = #; }", 1, "unexpected '#'"},
        {"text after the value", "(a)\n(b)", 2, "unexpected text after"},
        {"strings entry without ';'", "\"a\" = \"b\"\n\"c\" = \"d\";", 2, "';' was expected"},
        {"strings file ending in a key", "\"a\" = \"b\";\n\"c\"", 2, "ends after a key"},
        {"closing brace in a strings file", "a = b; }", 1, "unexpected '}'"},
        {"NUL in a strings file", std::string("a = b;\0c = d;", 13), 1, "U+0000"},
        {"100,000 open parentheses", std::string(100000, '('), 1, "nesting deeper than 512 levels"},
        {"513 levels", Nested(513), 1, "nesting deeper than 512 levels"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(ParsePropertyList(c.text, kCFPropertyListImmutable, &error)) << c.name;
        const std::string prefix = "Malformed property list at line " + std::to_string(c.line) + ": ";
        EXPECT_EQ(error.rfind(prefix, 0), 0u) << c.name << ": " << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    }
}

TEST(CFOpenStep, MutabilityOptions)
{
    const std::string text = "{ list = (s); data = <00>; }";
    for (CFOptionFlags option :
         {kCFPropertyListImmutable, kCFPropertyListMutableContainers, kCFPropertyListMutableContainersAndLeaves}) {
        auto root = ParsePropertyList(text, option);
        ASSERT_TRUE(root);
        auto dictionary = static_cast<CFMutableDictionaryRef>(const_cast<void*>(root.get()));
        auto list = static_cast<CFMutableArrayRef>(const_cast<void*>(CFDictionaryGetValue(dictionary, CFSTR("list"))));
        auto string = static_cast<CFMutableStringRef>(const_cast<void*>(CFArrayGetValueAtIndex(list, 0)));
        auto data = static_cast<CFMutableDataRef>(const_cast<void*>(CFDictionaryGetValue(dictionary, CFSTR("data"))));
        Diagnostics::Capture quiet;  // refused edits say so; the outcome is what counts here
        CFDictionarySetValue(dictionary, CFSTR("added"), kCFBooleanTrue);
        CFArrayAppendValue(list, kCFBooleanTrue);
        CFStringAppend(string, CFSTR("!"));
        CFDataAppendBytes(data, reinterpret_cast<const UInt8*>("\1"), 1);
        const bool containers = option != kCFPropertyListImmutable;
        const bool leaves = option == kCFPropertyListMutableContainersAndLeaves;
        EXPECT_EQ(CFDictionaryGetCount(dictionary), containers ? 3 : 2) << option;
        EXPECT_EQ(CFArrayGetCount(list), containers ? 2 : 1) << option;
        EXPECT_EQ(UTF8Of(string), leaves ? "s!" : "s") << option;
        EXPECT_EQ(CFDataGetLength(data), leaves ? 2 : 1) << option;
    }
}

TEST(CFOpenStep, ReadsALargeStringsFile)
{
    // Big enough that anything worse than linear in the text would show as
    // a test that never ends.
    std::string text;
    const int entries = 200000;
    for (int i = 0; i < entries; ++i)
        text += "/* entry */\n\"key " + std::to_string(i) + "\" = \"value \\\"" + std::to_string(i) + "\\\"\";\n";
    std::string error;
    auto table = ParsePropertyList(text, kCFPropertyListImmutable, &error);
    ASSERT_TRUE(table) << error;
    auto dictionary = static_cast<CFDictionaryRef>(table.get());
    EXPECT_EQ(CFDictionaryGetCount(dictionary), entries);
    EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(CFDictionaryGetValue(dictionary, MakeString("key 123456")))),
              "value \"123456\"");
}
