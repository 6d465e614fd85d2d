// Attributed strings: made from text or from RTF data, and what they keep.
#include <CFTestSupport.h>

#include <Foundation/Foundation.h>
#include <RichText/RTFReader.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace {

struct Releaser {
    void operator()(NSObject* object) const { object->release(); }
};
using Owned = std::unique_ptr<NSAttributedString, Releaser>;

}  // namespace

TEST(NSAttributedString, MadeFromTextKeepsACopy)
{
    auto text = MakeMutableString("Grüße 😀");
    Owned string(NSAttributedString::newWithString(text));
    ASSERT_TRUE(string);
    CFStringAppend(text, CFSTR(" later"));
    EXPECT_EQ(UTF8Of(string->string()), "Grüße 😀");
    EXPECT_EQ(string->length(), 8u) << "counted in UTF-16 units";
    EXPECT_STREQ(string->className(), "NSAttributedString");
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    EXPECT_EQ(string->description()->UTF8String(), "Grüße 😀");
    pool->drain();

    Owned empty(NSAttributedString::newWithString(nullptr));
    ASSERT_TRUE(empty);
    EXPECT_EQ(UTF8Of(empty->string()), "");
    EXPECT_EQ(empty->length(), 0u);
}

TEST(NSAttributedString, MadeFromRTFHoldsItsPlainText)
{
    struct Row {
        const char* label;
        std::string rtf;
        std::optional<std::string> text;  // nullopt: refused
    };
    const Row rows[] = {
        {"plain", "{\\rtf1 Hello}", "Hello"},
        {"formatting is dropped", "{\\rtf1{\\fonttbl{\\f0 Helvetica;}}\\f0\\b bold\\b0  plain}", "bold plain"},
        {"paragraphs and tabs", "{\\rtf1 one\\par two\\tab three}", "one\ntwo\tthree"},
        {"characters by number", "{\\rtf1\\uc1 \\u8364?\\'e9}", "€é"},
        {"an empty document", "{\\rtf1}", ""},
        {"not RTF", "Hello", std::nullopt},
        {"no bytes", "", std::nullopt},
        {"nested as deep as allowed",
         "{\\rtf1" + std::string(kRTFMaximumGroupDepth - 1, '{') + "deep" + std::string(kRTFMaximumGroupDepth, '}'),
         "deep"},
        {"nested deeper",
         "{\\rtf1" + std::string(kRTFMaximumGroupDepth, '{') + "deep" + std::string(kRTFMaximumGroupDepth + 1, '}'),
         std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        Owned string(NSAttributedString::newWithRTF(MakeData(row.rtf)));
        ASSERT_EQ(bool(string), row.text.has_value());
        if (string) {
            EXPECT_EQ(UTF8Of(string->string()), *row.text);
            EXPECT_EQ(string->length(), NSUInteger(CFStringGetLength(string->string())));
        }
    }
}

TEST(NSAttributedString, NilAndForeignDataMakeNothing)
{
    EXPECT_EQ(NSAttributedString::newWithRTF(nullptr), nullptr);
    const auto text = MakeString("{\\rtf1 Hello}");
    EXPECT_EQ(NSAttributedString::newWithRTF(static_cast<CFDataRef>(static_cast<const void*>(text.get()))), nullptr)
        << "a string is not RTF data, whatever it says";

    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    EXPECT_EQ(NSAttributedString::attributedStringWithRTF(MakeData("plain text")), nullptr);
    NSAttributedString* string = NSAttributedString::attributedStringWithRTF(MakeData("{\\rtf1 Hi}"));
    ASSERT_NE(string, nullptr);
    EXPECT_EQ(UTF8Of(string->string()), "Hi");
    EXPECT_EQ(string->retainCount(), 1u) << "the pool's to release";
    pool->drain();
}
