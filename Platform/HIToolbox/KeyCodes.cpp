#include <HIToolbox/KeyCodes.h>

#include <algorithm>
#include <array>

namespace {

// X11 keysyms we name (the rest are the ASCII characters themselves).
enum : UInt32 {
    XK_BackSpace = 0xff08,
    XK_Tab = 0xff09,
    XK_Clear = 0xff0b,
    XK_Return = 0xff0d,
    XK_Escape = 0xff1b,
    XK_Home = 0xff50,
    XK_Left = 0xff51,
    XK_Up = 0xff52,
    XK_Right = 0xff53,
    XK_Down = 0xff54,
    XK_Prior = 0xff55,
    XK_Next = 0xff56,
    XK_End = 0xff57,
    XK_Insert = 0xff63,
    XK_KP_Enter = 0xff8d,
    XK_KP_Multiply = 0xffaa,
    XK_KP_Add = 0xffab,
    XK_KP_Subtract = 0xffad,
    XK_KP_Decimal = 0xffae,
    XK_KP_Divide = 0xffaf,
    XK_KP_0 = 0xffb0,
    XK_KP_Equal = 0xffbd,
    XK_F1 = 0xffbe,
    XK_Shift_L = 0xffe1,
    XK_Shift_R = 0xffe2,
    XK_Control_L = 0xffe3,
    XK_Control_R = 0xffe4,
    XK_Caps_Lock = 0xffe5,
    XK_Alt_L = 0xffe9,
    XK_Alt_R = 0xffea,
    XK_Super_L = 0xffeb,
    XK_Super_R = 0xffec,
    XK_Delete = 0xffff,
    XF86XK_AudioLowerVolume = 0x1008ff11,
    XF86XK_AudioMute = 0x1008ff12,
    XF86XK_AudioRaiseVolume = 0x1008ff13,
};

constexpr UInt8 kFunctionKeyChar = 16;

// A letter key, named by its capital; its keysym is the small letter.
constexpr MacKeyInfo Letter(UInt16 code, const char* name)
{
    const char upper = name[0];
    return {code, name, upper, false, UInt8(upper - 'A' + 'a'), UInt8(upper), UInt32(upper - 'A' + 'a')};
}

// A digit or punctuation key, named by what it types without shift.
constexpr MacKeyInfo Typed(UInt16 code, const char* name, int qtKey, char shifted)
{
    return {code, name, qtKey, false, UInt8(name[0]), UInt8(shifted), UInt8(name[0])};
}

constexpr MacKeyInfo Keypad(UInt16 code, const char* name, int qtKey, char typed, UInt32 keysym)
{
    return {code, name, qtKey, true, UInt8(typed), UInt8(typed), keysym};
}

constexpr MacKeyInfo Special(UInt16 code, const char* name, int qtKey, UInt8 charCode, UInt32 keysym)
{
    return {code, name, qtKey, false, charCode, charCode, keysym};
}

constexpr MacKeyInfo Function(UInt16 code, const char* name, int number)
{
    return {code, name, Qt::Key_F1 + number - 1, false, kFunctionKeyChar, kFunctionKeyChar, XK_F1 + number - 1};
}

// Sorted by key code. Letters and typed keys are named by what they type.
constexpr std::array kKeys = {
    Letter(0, "A"),
    Letter(1, "S"),
    Letter(2, "D"),
    Letter(3, "F"),
    Letter(4, "H"),
    Letter(5, "G"),
    Letter(6, "Z"),
    Letter(7, "X"),
    Letter(8, "C"),
    Letter(9, "V"),
    Letter(11, "B"),
    Letter(12, "Q"),
    Letter(13, "W"),
    Letter(14, "E"),
    Letter(15, "R"),
    Letter(16, "Y"),
    Letter(17, "T"),
    Typed(18, "1", Qt::Key_1, '!'),
    Typed(19, "2", Qt::Key_2, '@'),
    Typed(20, "3", Qt::Key_3, '#'),
    Typed(21, "4", Qt::Key_4, '$'),
    Typed(22, "6", Qt::Key_6, '^'),
    Typed(23, "5", Qt::Key_5, '%'),
    Typed(24, "=", Qt::Key_Equal, '+'),
    Typed(25, "9", Qt::Key_9, '('),
    Typed(26, "7", Qt::Key_7, '&'),
    Typed(27, "-", Qt::Key_Minus, '_'),
    Typed(28, "8", Qt::Key_8, '*'),
    Typed(29, "0", Qt::Key_0, ')'),
    Typed(30, "]", Qt::Key_BracketRight, '}'),
    Letter(31, "O"),
    Letter(32, "U"),
    Typed(33, "[", Qt::Key_BracketLeft, '{'),
    Letter(34, "I"),
    Letter(35, "P"),
    Special(36, "Return", Qt::Key_Return, 13, XK_Return),
    Letter(37, "L"),
    Letter(38, "J"),
    Typed(39, "'", Qt::Key_Apostrophe, '"'),
    Letter(40, "K"),
    Typed(41, ";", Qt::Key_Semicolon, ':'),
    Typed(42, "\\", Qt::Key_Backslash, '|'),
    Typed(43, ",", Qt::Key_Comma, '<'),
    Typed(44, "/", Qt::Key_Slash, '?'),
    Letter(45, "N"),
    Letter(46, "M"),
    Typed(47, ".", Qt::Key_Period, '>'),
    Special(48, "Tab", Qt::Key_Tab, 9, XK_Tab),
    Special(49, "Space", Qt::Key_Space, 32, ' '),
    Typed(50, "`", Qt::Key_QuoteLeft, '~'),
    Special(51, "Delete", Qt::Key_Backspace, 8, XK_BackSpace),
    Special(53, "Escape", Qt::Key_Escape, 27, XK_Escape),
    // The modifier keys: Ctrl is command, Alt option, Super control.
    Special(54, "Right Command", Qt::Key_Control, 0, XK_Control_R),
    Special(55, "Command", Qt::Key_Control, 0, XK_Control_L),
    Special(56, "Shift", Qt::Key_Shift, 0, XK_Shift_L),
    Special(57, "Caps Lock", Qt::Key_CapsLock, 0, XK_Caps_Lock),
    Special(58, "Option", Qt::Key_Alt, 0, XK_Alt_L),
    Special(59, "Control", Qt::Key_Meta, 0, XK_Super_L),
    Special(60, "Right Shift", Qt::Key_Shift, 0, XK_Shift_R),
    Special(61, "Right Option", Qt::Key_Alt, 0, XK_Alt_R),
    Special(62, "Right Control", Qt::Key_Meta, 0, XK_Super_R),
    Special(63, "Function", 0, 0, 0),
    Function(64, "F17", 17),
    Keypad(65, "Keypad .", Qt::Key_Period, '.', XK_KP_Decimal),
    Keypad(67, "Keypad *", Qt::Key_Asterisk, '*', XK_KP_Multiply),
    Keypad(69, "Keypad +", Qt::Key_Plus, '+', XK_KP_Add),
    Special(71, "Clear", Qt::Key_Clear, 27, XK_Clear),
    Special(72, "Volume Up", Qt::Key_VolumeUp, 0, XF86XK_AudioRaiseVolume),
    Special(73, "Volume Down", Qt::Key_VolumeDown, 0, XF86XK_AudioLowerVolume),
    Special(74, "Mute", Qt::Key_VolumeMute, 0, XF86XK_AudioMute),
    Keypad(75, "Keypad /", Qt::Key_Slash, '/', XK_KP_Divide),
    Keypad(76, "Enter", Qt::Key_Enter, 3, XK_KP_Enter),
    Keypad(78, "Keypad -", Qt::Key_Minus, '-', XK_KP_Subtract),
    Function(79, "F18", 18),
    Function(80, "F19", 19),
    Keypad(81, "Keypad =", Qt::Key_Equal, '=', XK_KP_Equal),
    Keypad(82, "Keypad 0", Qt::Key_0, '0', XK_KP_0),
    Keypad(83, "Keypad 1", Qt::Key_1, '1', XK_KP_0 + 1),
    Keypad(84, "Keypad 2", Qt::Key_2, '2', XK_KP_0 + 2),
    Keypad(85, "Keypad 3", Qt::Key_3, '3', XK_KP_0 + 3),
    Keypad(86, "Keypad 4", Qt::Key_4, '4', XK_KP_0 + 4),
    Keypad(87, "Keypad 5", Qt::Key_5, '5', XK_KP_0 + 5),
    Keypad(88, "Keypad 6", Qt::Key_6, '6', XK_KP_0 + 6),
    Keypad(89, "Keypad 7", Qt::Key_7, '7', XK_KP_0 + 7),
    Function(90, "F20", 20),
    Keypad(91, "Keypad 8", Qt::Key_8, '8', XK_KP_0 + 8),
    Keypad(92, "Keypad 9", Qt::Key_9, '9', XK_KP_0 + 9),
    Function(96, "F5", 5),
    Function(97, "F6", 6),
    Function(98, "F7", 7),
    Function(99, "F3", 3),
    Function(100, "F8", 8),
    Function(101, "F9", 9),
    Function(103, "F11", 11),
    Function(105, "F13", 13),
    Function(106, "F16", 16),
    Function(107, "F14", 14),
    Function(109, "F10", 10),
    Function(111, "F12", 12),
    Function(113, "F15", 15),
    // The help key sits where a PC keyboard has Insert.
    Special(114, "Help", Qt::Key_Insert, 5, XK_Insert),
    Special(115, "Home", Qt::Key_Home, 1, XK_Home),
    Special(116, "Page Up", Qt::Key_PageUp, 11, XK_Prior),
    Special(117, "Forward Delete", Qt::Key_Delete, 127, XK_Delete),
    Function(118, "F4", 4),
    Special(119, "End", Qt::Key_End, 4, XK_End),
    Function(120, "F2", 2),
    Special(121, "Page Down", Qt::Key_PageDown, 12, XK_Next),
    Function(122, "F1", 1),
    Special(123, "Left Arrow", Qt::Key_Left, 28, XK_Left),
    Special(124, "Right Arrow", Qt::Key_Right, 29, XK_Right),
    Special(125, "Down Arrow", Qt::Key_Down, 31, XK_Down),
    Special(126, "Up Arrow", Qt::Key_Up, 30, XK_Up),
};

static_assert(std::is_sorted(kKeys.begin(), kKeys.end(),
                             [](const MacKeyInfo& a, const MacKeyInfo& b) { return a.keyCode < b.keyCode; }));

// Keys Qt reports under another name than the table's: what shift makes of
// the punctuation of a US keyboard, and a few synonyms.
struct QtAlias {
    int qtKey;
    UInt16 keyCode;
};

constexpr std::array kAliases = {
    QtAlias{Qt::Key_Exclam, 18},     QtAlias{Qt::Key_At, 19},          QtAlias{Qt::Key_NumberSign, 20},
    QtAlias{Qt::Key_Dollar, 21},     QtAlias{Qt::Key_AsciiCircum, 22}, QtAlias{Qt::Key_Percent, 23},
    QtAlias{Qt::Key_Plus, 24},       QtAlias{Qt::Key_ParenLeft, 25},   QtAlias{Qt::Key_Ampersand, 26},
    QtAlias{Qt::Key_Underscore, 27}, QtAlias{Qt::Key_Asterisk, 28},    QtAlias{Qt::Key_ParenRight, 29},
    QtAlias{Qt::Key_BraceRight, 30}, QtAlias{Qt::Key_BraceLeft, 33},   QtAlias{Qt::Key_QuoteDbl, 39},
    QtAlias{Qt::Key_Colon, 41},      QtAlias{Qt::Key_Bar, 42},         QtAlias{Qt::Key_Less, 43},
    QtAlias{Qt::Key_Question, 44},   QtAlias{Qt::Key_Greater, 47},     QtAlias{Qt::Key_AsciiTilde, 50},
    QtAlias{Qt::Key_Backtab, 48},    QtAlias{Qt::Key_Super_L, 59},     QtAlias{Qt::Key_Super_R, 62},
    QtAlias{Qt::Key_AltGr, 61},      QtAlias{Qt::Key_NumLock, 71},     QtAlias{Qt::Key_Help, 114},
};

// Qt names left and right modifier keys alike; the name means the left one.
constexpr bool IsRightHandModifier(UInt16 keyCode)
{
    return keyCode == 54 || (keyCode >= 60 && keyCode <= 62);
}

const MacKeyInfo* FindQtKey(int qtKey, bool keypad)
{
    for (const MacKeyInfo& key : kKeys) {
        if (key.qtKey == qtKey && key.keypad == keypad && !IsRightHandModifier(key.keyCode))
            return &key;
    }
    return nullptr;
}

}  // namespace

std::span<const MacKeyInfo> MacKeyTable()
{
    return kKeys;
}

const MacKeyInfo* FindMacKey(UInt32 keyCode)
{
    auto found = std::lower_bound(kKeys.begin(), kKeys.end(), keyCode,
                                  [](const MacKeyInfo& key, UInt32 code) { return key.keyCode < code; });
    return found != kKeys.end() && found->keyCode == keyCode ? &*found : nullptr;
}

bool MacKeyCodeForQtKey(int qtKey, bool keypad, UInt16* outKeyCode)
{
    if (qtKey == 0 || outKeyCode == nullptr)
        return false;
    // The key on the side Qt named; then a synonym (so that a shifted 8 is
    // the 8 key, not the keypad's *); then the key on the other side.
    if (const MacKeyInfo* key = FindQtKey(qtKey, keypad)) {
        *outKeyCode = key->keyCode;
        return true;
    }
    for (const QtAlias& alias : kAliases) {
        if (alias.qtKey == qtKey) {
            *outKeyCode = alias.keyCode;
            return true;
        }
    }
    if (const MacKeyInfo* key = FindQtKey(qtKey, !keypad)) {
        *outKeyCode = key->keyCode;
        return true;
    }
    return false;
}

const MacKeyInfo* FindMacKeyForKeysym(UInt32 keysym)
{
    if (keysym == 0)
        return nullptr;
    for (const MacKeyInfo& key : kKeys) {
        if (key.keysym == keysym)
            return &key;
    }
    return nullptr;
}

UInt8 MacCharCodeForKeyCode(UInt32 keyCode, bool shift)
{
    const MacKeyInfo* key = FindMacKey(keyCode);
    if (key == nullptr)
        return 0;
    return shift ? key->shiftedCharCode : key->charCode;
}

EventModifiers MacModifiersFromQt(Qt::KeyboardModifiers modifiers)
{
    EventModifiers mac = 0;
    if (modifiers & Qt::ControlModifier)
        mac |= cmdKey;
    if (modifiers & Qt::ShiftModifier)
        mac |= shiftKey;
    if (modifiers & Qt::AltModifier)
        mac |= optionKey;
    if (modifiers & Qt::MetaModifier)
        mac |= controlKey;
    return mac;
}

Qt::KeyboardModifiers QtModifiersFromMac(EventModifiers modifiers)
{
    Qt::KeyboardModifiers qt;
    if (modifiers & cmdKey)
        qt |= Qt::ControlModifier;
    if (modifiers & (shiftKey | rightShiftKey))
        qt |= Qt::ShiftModifier;
    if (modifiers & (optionKey | rightOptionKey))
        qt |= Qt::AltModifier;
    if (modifiers & (controlKey | rightControlKey))
        qt |= Qt::MetaModifier;
    return qt;
}
