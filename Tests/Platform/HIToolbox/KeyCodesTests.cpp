#include <HIToolbox/KeyCodes.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

TEST(KeyCodesTest, QtKeysMapToTheMacKeyCodes)
{
    struct Row {
        const char* name;
        int qtKey;
        bool keypad;
        UInt16 expected;
    };
    const Row rows[] = {
        {"A", Qt::Key_A, false, 0},
        {"Z", Qt::Key_Z, false, 6},
        {"O", Qt::Key_O, false, 31},
        {"1", Qt::Key_1, false, 18},
        {"6 before 5", Qt::Key_6, false, 22},
        {"0", Qt::Key_0, false, 29},
        {"shifted 1", Qt::Key_Exclam, false, 18},
        {"shifted 8, not the keypad's *", Qt::Key_Asterisk, false, 28},
        {"shifted =, not the keypad's +", Qt::Key_Plus, false, 24},
        {"shifted ;", Qt::Key_Colon, false, 41},
        {"shifted `", Qt::Key_AsciiTilde, false, 50},
        {"Return", Qt::Key_Return, false, 36},
        {"Tab", Qt::Key_Tab, false, 48},
        {"shift-Tab", Qt::Key_Backtab, false, 48},
        {"Space", Qt::Key_Space, false, 49},
        {"Backspace is Delete", Qt::Key_Backspace, false, 51},
        {"Escape", Qt::Key_Escape, false, 53},
        {"Delete is forward delete", Qt::Key_Delete, false, 117},
        {"Insert is help", Qt::Key_Insert, false, 114},
        {"Help", Qt::Key_Help, false, 114},
        {"Home", Qt::Key_Home, false, 115},
        {"End", Qt::Key_End, false, 119},
        {"Page Up", Qt::Key_PageUp, false, 116},
        {"Page Down", Qt::Key_PageDown, false, 121},
        {"Left", Qt::Key_Left, false, 123},
        {"Right", Qt::Key_Right, false, 124},
        {"Down", Qt::Key_Down, false, 125},
        {"Up", Qt::Key_Up, false, 126},
        {"F1", Qt::Key_F1, false, 122},
        {"F4", Qt::Key_F4, false, 118},
        {"F15", Qt::Key_F15, false, 113},
        {"F20", Qt::Key_F20, false, 90},
        {"Ctrl is command", Qt::Key_Control, false, 55},
        {"Alt is option", Qt::Key_Alt, false, 58},
        {"Meta is control", Qt::Key_Meta, false, 59},
        {"Super is control", Qt::Key_Super_L, false, 59},
        {"Shift", Qt::Key_Shift, false, 56},
        {"keypad 0", Qt::Key_0, true, 82},
        {"keypad 8 after F20", Qt::Key_8, true, 91},
        {"keypad *", Qt::Key_Asterisk, true, 67},
        {"keypad .", Qt::Key_Period, true, 65},
        {"keypad Enter", Qt::Key_Enter, true, 76},
        {"Enter without the keypad flag", Qt::Key_Enter, false, 76},
        {"the keypad's Home without Num Lock", Qt::Key_Home, true, 115},
        {"Num Lock sits where Clear does", Qt::Key_NumLock, false, 71},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        UInt16 code = 0xffff;
        ASSERT_TRUE(MacKeyCodeForQtKey(row.qtKey, row.keypad, &code));
        EXPECT_EQ(code, row.expected);
    }

    for (int qtKey : {0, int(Qt::Key_unknown), int(Qt::Key_Print), int(Qt::Key_F35)}) {
        SCOPED_TRACE(qtKey);
        UInt16 code = 0xffff;
        EXPECT_FALSE(MacKeyCodeForQtKey(qtKey, false, &code));
        EXPECT_EQ(code, 0xffff);
    }
    EXPECT_FALSE(MacKeyCodeForQtKey(Qt::Key_A, false, nullptr));
}

TEST(KeyCodesTest, KeysTypeTheMacCharacterCodes)
{
    struct Row {
        UInt32 keyCode;
        bool shift;
        UInt8 expected;
    };
    const Row rows[] = {
        {0, false, 'a'},   {0, true, 'A'},    {18, false, '1'}, {18, true, '!'},  {39, false, '\''}, {39, true, '"'},
        {42, false, '\\'}, {50, true, '~'},   {36, false, 13},  {48, false, 9},   {49, false, ' '},  {51, false, 8},
        {53, false, 27},   {117, false, 127}, {123, false, 28}, {124, false, 29}, {126, false, 30},  {125, false, 31},
        {115, false, 1},   {119, false, 4},   {116, false, 11}, {121, false, 12}, {114, false, 5},   {76, false, 3},
        {71, false, 27},   {122, false, 16},  {90, true, 16},   {82, true, '0'},  {67, false, '*'},  {56, false, 0},
        {74, false, 0},    {10, false, 0},    {4096, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.keyCode << (row.shift ? " shifted" : ""));
        EXPECT_EQ(MacCharCodeForKeyCode(row.keyCode, row.shift), row.expected);
    }
}

// A slip in the table (two keys with one code, keysym or character, a code
// out of order) would send one key's press as another's.
TEST(KeyCodesTest, TheTableRoundTripsAndNoTwoKeysShareACodeAKeysymOrACharacter)
{
    std::set<UInt16> codes;
    std::set<UInt32> keysyms;
    std::map<UInt8, std::string> typed;  // printable character -> key, off the keypad
    for (const MacKeyInfo& key : MacKeyTable()) {
        SCOPED_TRACE(key.name);
        EXPECT_LT(key.keyCode, 128);
        EXPECT_TRUE(codes.insert(key.keyCode).second);
        EXPECT_EQ(FindMacKey(key.keyCode), &key);

        if (key.keysym != 0) {
            EXPECT_TRUE(keysyms.insert(key.keysym).second);
            EXPECT_EQ(FindMacKeyForKeysym(key.keysym), &key);
        }
        // Printable characters; the control characters of the function
        // keys (16) and of Escape and Clear (27) are shared, as they are on
        // the platform.
        if (!key.keypad) {
            for (UInt8 character : std::set<UInt8>{key.charCode, key.shiftedCharCode}) {
                if (character < ' ' || character > '~')
                    continue;
                auto [where, inserted] = typed.emplace(character, key.name);
                EXPECT_TRUE(inserted) << "'" << character << "' is typed by " << where->second << " too";
            }
        }

        // Qt to Mac and back. Qt names left and right modifier keys alike,
        // and the name means the left one.
        if (key.qtKey != 0) {
            UInt16 code = 0;
            ASSERT_TRUE(MacKeyCodeForQtKey(key.qtKey, key.keypad, &code));
            const MacKeyInfo* expected = &key;
            const std::string name = key.name;
            for (const MacKeyInfo& left : MacKeyTable()) {
                if (left.qtKey == key.qtKey && name == std::string("Right ") + left.name)
                    expected = &left;
            }
            EXPECT_EQ(code, expected->keyCode);
        }
    }
    for (UInt32 code = 0; code < 128; ++code) {
        if (!codes.count(UInt16(code))) {
            EXPECT_EQ(FindMacKey(code), nullptr) << code;
        }
    }
    EXPECT_EQ(FindMacKeyForKeysym(0), nullptr);
    // Every letter, digit and punctuation mark of a US keyboard is there.
    for (char c = ' '; c < 127; ++c)
        EXPECT_TRUE(typed.count(UInt8(c))) << "no key types '" << c << "'";
}

TEST(KeyCodesTest, QtModifiersAreTheToolboxsWithCtrlAsCommand)
{
    struct Row {
        Qt::KeyboardModifiers qt;
        EventModifiers mac;
    };
    const Row rows[] = {
        {Qt::NoModifier, 0},
        {Qt::ControlModifier, cmdKey},
        {Qt::AltModifier, optionKey},
        {Qt::MetaModifier, controlKey},
        {Qt::ShiftModifier, shiftKey},
        {Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::ShiftModifier,
         cmdKey | optionKey | controlKey | shiftKey},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mac);
        EXPECT_EQ(MacModifiersFromQt(row.qt), row.mac);
        EXPECT_EQ(QtModifiersFromMac(row.mac), row.qt);
    }
    // Flags Qt has and the toolbox has not are dropped; the right-hand bits
    // are their left-hand twins.
    EXPECT_EQ(MacModifiersFromQt(Qt::KeypadModifier | Qt::GroupSwitchModifier), 0u);
    EXPECT_EQ(QtModifiersFromMac(rightShiftKey | rightOptionKey | rightControlKey),
              Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
}

}  // namespace
