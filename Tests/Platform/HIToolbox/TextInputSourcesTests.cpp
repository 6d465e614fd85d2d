#include <CFTestSupport.h>
#include <CarbonCore/UnicodeUtilities.h>
#include <HIToolbox/KeyboardGlyphs.h>
#include <HIToolbox/Menus.h>
#include <HIToolbox/TextInputSources.h>

#include <gtest/gtest.h>

#include <QString>

#include <array>
#include <string>

namespace {

// The modifier states UCKeyTranslate reads: the toolbox's bits >> 8.
constexpr UInt32 kNone = 0;
constexpr UInt32 kCommand = 0x01;
constexpr UInt32 kShift = 0x02;
constexpr UInt32 kCapsLock = 0x04;
constexpr UInt32 kOption = 0x08;
constexpr UInt32 kControl = 0x10;
constexpr UInt32 kRightShift = 0x20;

const UCKeyboardLayout* LayoutOf(TISInputSourceRef source)
{
    auto data = static_cast<CFDataRef>(TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData));
    return data ? reinterpret_cast<const UCKeyboardLayout*>(CFDataGetBytePtr(data)) : nullptr;
}

std::string UTF8(const UniChar* units, UniCharCount count)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(units), qsizetype(count)).toStdString();
}

// What a key types, as UTF-8; "<status N>" when the call fails.
std::string Typed(const UCKeyboardLayout* layout, UInt16 keyCode, UInt32 modifiers, UInt32* deadKeyState,
                  UInt16 action = kUCKeyActionDown, OptionBits options = 0)
{
    std::array<UniChar, 8> buffer{};
    UniCharCount length = 0;
    const OSStatus status = UCKeyTranslate(layout, keyCode, action, modifiers, 0, options, deadKeyState, buffer.size(),
                                           &length, buffer.data());
    if (status != noErr)
        return "<status " + std::to_string(status) + ">";
    return UTF8(buffer.data(), length);
}

class USLayoutTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        source_.Reset(TISCopyUSKeyboardLayoutInputSource());
        layout_ = LayoutOf(source_);
        ASSERT_NE(layout_, nullptr);
    }

    CFRef<TISInputSourceRef> source_;
    const UCKeyboardLayout* layout_ = nullptr;
};

TEST_F(USLayoutTest, KeysTypeTheirCharactersWithAndWithoutShiftAndOption)
{
    struct Row {
        UInt16 keyCode;
        UInt32 modifiers;
        const char* expected;
    };
    const Row rows[] = {
        {0, kNone, "a"},
        {0, kShift, "A"},
        {0, kRightShift, "A"},
        {0, kOption, "å"},
        {0, kShift | kOption, "Å"},
        {6, kNone, "z"},
        {6, kOption, "Ω"},
        {1, kOption, "ß"},
        {8, kShift | kOption, "Ç"},
        {18, kNone, "1"},
        {18, kShift, "!"},
        {18, kOption, "¡"},
        {22, kShift, "^"},
        {23, kShift, "%"},
        {19, kShift | kOption, "€"},
        {27, kOption, "–"},
        {27, kShift | kOption, "—"},
        {33, kOption, "“"},
        {41, kShift, ":"},
        {42, kShift, "|"},
        {50, kShift, "~"},
        {44, kShift | kOption, "¿"},
        {40, kShift | kOption, "K"},  // nothing of its own: as with shift
        {14, kShift | kOption, "´"},  // the accent itself, not a dead key
        {49, kNone, " "},
        {49, kOption, "\u00A0"},
        {36, kNone, "\r"},
        {36, kShift | kOption, "\r"},
        {48, kNone, "\t"},
        {51, kNone, "\b"},
        {53, kNone, "\x1B"},
        {117, kNone, "\x7F"},
        {123, kNone, "\x1C"},
        {126, kShift, "\x1E"},
        {122, kNone, "\x10"},
        {76, kNone, "\x03"},
        {83, kNone, "1"},
        {83, kOption, "1"},
        {67, kShift, "*"},
        {0, kCapsLock, "A"},
        {0, kCapsLock | kShift, "A"},
        {18, kCapsLock, "1"},
        {0, kCapsLock | kOption, "Å"},
        {0, kControl, "\x01"},
        {33, kControl, "\x1B"},
        {18, kControl, "1"},
        {0, kCommand, "a"},
        {0, kCommand | kShift, "A"},
        {56, kNone, ""},  // shift types nothing
        {55, kShift, ""},
        {72, kNone, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("key " + std::to_string(row.keyCode) + " modifiers " + std::to_string(row.modifiers));
        UInt32 state = 0;
        EXPECT_EQ(Typed(layout_, row.keyCode, row.modifiers, &state), row.expected);
        EXPECT_EQ(state, 0u);
    }
}

TEST_F(USLayoutTest, RefusedCallsLeaveEveryOutputAsItWas)
{
    struct Row {
        const char* name;
        const UCKeyboardLayout* layout;
        UInt16 keyCode;
        UInt16 action;
        bool withState;
        bool withLength;
    };
    const UInt8 garbage[64] = {1, 2, 3, 4};
    const Row rows[] = {
        {"no key at 10", layout_, 10, kUCKeyActionDown, true, true},
        {"no key at 52", layout_, 52, kUCKeyActionDown, true, true},
        {"no key at 127", layout_, 127, kUCKeyActionDisplay, true, true},
        {"past the table", layout_, 128, kUCKeyActionDown, true, true},
        {"far past the table", layout_, 0xFFFF, kUCKeyActionDown, true, true},
        {"unknown action", layout_, 0, 4, true, true},
        {"nil layout", nullptr, 0, kUCKeyActionDown, true, true},
        {"not a layout", reinterpret_cast<const UCKeyboardLayout*>(garbage), 0, kUCKeyActionDown, true, true},
        {"nil state", layout_, 0, kUCKeyActionDown, false, true},
        {"nil length", layout_, 0, kUCKeyActionDown, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::array<UniChar, 4> buffer;
        buffer.fill(0xBEEF);
        UniCharCount length = 77;
        UInt32 state = 5;
        const OSStatus status =
            UCKeyTranslate(row.layout, row.keyCode, row.action, kNone, 0, 0, row.withState ? &state : nullptr,
                           buffer.size(), row.withLength ? &length : nullptr, buffer.data());
        EXPECT_EQ(status, paramErr);
        for (UniChar unit : buffer)
            EXPECT_EQ(unit, 0xBEEF);
        EXPECT_EQ(length, 77u);
        EXPECT_EQ(state, 5u);
    }
}

TEST_F(USLayoutTest, DeadKeysWaitForTheNextKey)
{
    struct Step {
        UInt16 keyCode;
        UInt32 modifiers;
        const char* expected;
    };
    struct Row {
        const char* name;
        std::vector<Step> steps;
    };
    const Row rows[] = {
        {"acute then e", {{14, kOption, ""}, {14, kNone, "é"}}},
        {"acute then shift-e", {{14, kOption, ""}, {14, kShift, "É"}}},
        {"a modifier keeps it waiting", {{14, kOption, ""}, {56, kShift, ""}, {14, kShift, "É"}}},
        {"circumflex then o", {{34, kOption, ""}, {31, kNone, "ô"}}},
        {"tilde then n", {{45, kOption, ""}, {45, kNone, "ñ"}}},
        {"diaeresis then u", {{32, kOption, ""}, {32, kNone, "ü"}}},
        {"grave then a", {{50, kOption, ""}, {0, kNone, "à"}}},
        {"acute then b: both", {{14, kOption, ""}, {11, kNone, "´b"}}},
        {"acute then Return: both", {{14, kOption, ""}, {36, kNone, "´\r"}}},
        {"acute then space: the accent and the space", {{14, kOption, ""}, {49, kNone, "´ "}}},
        {"acute twice: the accent", {{14, kOption, ""}, {14, kOption, "´"}, {14, kNone, "e"}}},
        {"acute then grave: the acute, grave waits", {{14, kOption, ""}, {50, kOption, "´"}, {0, kNone, "à"}}},
        {"an option character ends it", {{14, kOption, ""}, {1, kOption, "´ß"}}},
        {"and joins it where Unicode has one", {{14, kOption, ""}, {0, kOption, "ǻ"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        UInt32 state = 0;
        for (const Step& step : row.steps)
            EXPECT_EQ(Typed(layout_, step.keyCode, step.modifiers, &state), step.expected);
        EXPECT_EQ(state, 0u);
    }
}

TEST_F(USLayoutTest, DisplayKeyUpAndNoDeadKeysLeaveThePendingKeyAlone)
{
    UInt32 state = 0;
    EXPECT_EQ(Typed(layout_, 14, kOption, &state), "");
    const UInt32 pending = state;
    ASSERT_NE(pending, 0u);

    EXPECT_EQ(Typed(layout_, 14, kOption, &state, kUCKeyActionDisplay), "´");
    EXPECT_EQ(Typed(layout_, 0, kNone, &state, kUCKeyActionDisplay), "a");
    EXPECT_EQ(Typed(layout_, 0, kNone, &state, kUCKeyActionUp), "");
    EXPECT_EQ(state, pending);

    UInt32 fresh = 0;
    EXPECT_EQ(Typed(layout_, 34, kOption, &fresh, kUCKeyActionDown, kUCKeyTranslateNoDeadKeysMask), "ˆ");
    EXPECT_EQ(fresh, 0u);

    EXPECT_EQ(Typed(layout_, 0, kNone, &state, kUCKeyActionAutoKey), "á");
    EXPECT_EQ(state, 0u);
}

TEST_F(USLayoutTest, TooSmallABufferKeepsTheBufferAndTheStateAndSaysWhatIsNeeded)
{
    UInt32 state = 0;
    Typed(layout_, 14, kOption, &state);
    const UInt32 pending = state;

    UniChar buffer[1] = {0xBEEF};
    UniCharCount length = 0;
    EXPECT_EQ(UCKeyTranslate(layout_, 11, kUCKeyActionDown, kNone, 0, 0, &state, 1, &length, buffer),
              kUCOutputBufferTooSmall);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(buffer[0], 0xBEEF);
    EXPECT_EQ(state, pending);

    // No room asked for and none given: only the length.
    UInt32 none = 0;
    EXPECT_EQ(UCKeyTranslate(layout_, 56, kUCKeyActionDown, kNone, 0, 0, &none, 0, &length, nullptr), noErr);
    EXPECT_EQ(length, 0u);
}

TEST(TextInputSourcesTest, WithoutADisplayTheCurrentLayoutIsTheBuiltInUSOne)
{
    CFRef<TISInputSourceRef> current(TISCopyCurrentKeyboardLayoutInputSource());
    ASSERT_NE(current.get(), nullptr);
    EXPECT_EQ(CFGetTypeID(current.get()), TISInputSourceGetTypeID());
    EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(TISGetInputSourceProperty(current, kTISPropertyInputSourceID))),
              "builtin.US");
    auto data = static_cast<CFDataRef>(TISGetInputSourceProperty(current, kTISPropertyUnicodeKeyLayoutData));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(CFGetTypeID(data), CFDataGetTypeID());
    CFRef<TISInputSourceRef> us(TISCopyUSKeyboardLayoutInputSource());
    EXPECT_TRUE(CFEqual(data, TISGetInputSourceProperty(us, kTISPropertyUnicodeKeyLayoutData)));

    CFRef<TISInputSourceRef> keyboard(TISCopyCurrentKeyboardInputSource());
    EXPECT_NE(LayoutOf(keyboard), nullptr);

    // What is not a source, or not a property of one, answers nil.
    EXPECT_EQ(TISGetInputSourceProperty(current, CFSTR("NoSuchProperty")), nullptr);
    EXPECT_EQ(TISGetInputSourceProperty(nullptr, kTISPropertyUnicodeKeyLayoutData), nullptr);
    EXPECT_EQ(TISGetInputSourceProperty(reinterpret_cast<TISInputSourceRef>(data), kTISPropertyInputSourceID), nullptr);
    EXPECT_EQ(TISGetInputSourceProperty(current, reinterpret_cast<CFStringRef>(data)), nullptr);
}

TEST(TextInputSourcesTest, AnXKBLayoutTypesItsOwnCharactersAndKeepsTheToolboxKeys)
{
    CFRef<TISInputSourceRef> german(TISCreateXKBKeyboardLayoutInputSource("de", nullptr));
    ASSERT_NE(german.get(), nullptr) << "the system's xkb data has no German layout";
    EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(TISGetInputSourceProperty(german, kTISPropertyInputSourceID))), "xkb.de");
    EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(TISGetInputSourceProperty(german, kTISPropertyLocalizedName))), "German");
    const UCKeyboardLayout* layout = LayoutOf(german);
    ASSERT_NE(layout, nullptr);

    struct Row {
        const char* name;
        UInt16 keyCode;
        UInt32 modifiers;
        const char* expected;
    };
    const Row rows[] = {
        {"z follows its character", 6, kNone, "z"},
        {"Z", 6, kShift, "Z"},
        {"y", 16, kNone, "y"},
        {"the ; place types ö", 41, kNone, "ö"},
        {"shift 2 is \"", 19, kShift, "\""},
        {"option is AltGr", 12, kOption, "@"},
        {"AltGr-e", 14, kOption, "€"},
        {"Return stays Return", 36, kNone, "\r"},
        {"F1 stays F1", 122, kNone, "\x10"},
        {"keypad stays keypad", 83, kNone, "1"},
        {"the = place is a dead acute, shown as its accent", 24, kNone, "<display>´"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        UInt32 state = 0;
        const std::string expected = row.expected;
        if (expected.starts_with("<display>"))
            EXPECT_EQ(Typed(layout, row.keyCode, row.modifiers, &state, kUCKeyActionDisplay), expected.substr(9));
        else
            EXPECT_EQ(Typed(layout, row.keyCode, row.modifiers, &state), expected);
    }

    UInt32 state = 0;
    EXPECT_EQ(Typed(layout, 24, kNone, &state), "");
    EXPECT_EQ(Typed(layout, 14, kNone, &state), "é");

    EXPECT_EQ(TISCreateXKBKeyboardLayoutInputSource("no-such-layout", nullptr), nullptr);
    EXPECT_EQ(TISCreateXKBKeyboardLayoutInputSource("", nullptr), nullptr);
    EXPECT_EQ(TISCreateXKBKeyboardLayoutInputSource(nullptr, nullptr), nullptr);
}

TEST(KeyboardGlyphsTest, GlyphsShowTheirSymbols)
{
    struct Row {
        SInt16 glyph;
        const char* expected;
    };
    const Row rows[] = {
        {kMenuCommandGlyph, "⌘"},        {kMenuOptionGlyph, "⌥"},         {kMenuShiftGlyph, "⇧"},
        {kMenuControlGlyph, "⌃"},        {kMenuReturnGlyph, "↩"},         {kMenuEnterGlyph, "⌤"},
        {kMenuTabRightGlyph, "⇥"},       {kMenuSpaceGlyph, "␣"},          {kMenuDeleteLeftGlyph, "⌫"},
        {kMenuDeleteRightGlyph, "⌦"},    {kMenuEscapeGlyph, "⎋"},         {kMenuClearGlyph, "⌧"},
        {kMenuLeftArrowGlyph, "←"},      {kMenuRightArrowGlyph, "→"},     {kMenuUpArrowGlyph, "↑"},
        {kMenuDownArrowGlyph, "↓"},      {kMenuPageUpGlyph, "⇞"},         {kMenuPageDownGlyph, "⇟"},
        {kMenuNorthwestArrowGlyph, "↖"}, {kMenuSoutheastArrowGlyph, "↘"}, {kMenuF1Glyph, "F1"},
        {kMenuF12Glyph, "F12"},          {kMenuF13Glyph, "F13"},          {kMenuF15Glyph, "F15"},
        {kMenuF16Glyph, "F16"},          {kMenuF19Glyph, "F19"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.glyph);
        CFRef<CFStringRef> text(CopyStringForMenuGlyph(row.glyph));
        EXPECT_EQ(UTF8Of(text), row.expected);
    }
    for (SInt16 unknown : {SInt16(0x01), SInt16(0x7B), SInt16(0x93), SInt16(-1), SInt16(0x1000)}) {
        SCOPED_TRACE(unknown);
        EXPECT_EQ(CopyStringForMenuGlyph(unknown), nullptr);
    }
}

}  // namespace
