// The one table of keys: Mac virtual key codes, the Qt key a Linux keyboard
// reports for each, the Mac character codes it types, and the X11 keysym
// that finds its key on the X server (for key grabs).
//
// A Mac key code names a key by its place on a US keyboard. Here a key is
// found by what it types instead (the Qt key, the keysym), so on another
// layout the code follows the character: the key that types "z" is code 6
// wherever it sits. Key events and hot keys agree, as both go by the table.
//
// Character codes are those of the US layout: letters, digits and
// punctuation as typed, and the control characters the toolbox gives the
// special keys (Return 13, Enter 3, Tab 9, Delete 8, Escape 27, the arrows
// 28–31, Home 1, End 4, page up 11, page down 12, forward delete 127, help
// 5, every function key 16). They are ASCII, so each is its own Unicode
// character too. Modifier keys and the volume keys type nothing (0).
//
// Modifiers follow the same convention everywhere: Ctrl is command, Alt is
// option, Meta (Super) is control, Shift is shift.
#pragma once

#include <CarbonCore/CarbonEvents.h>

#include <QFlags>
#include <qnamespace.h>

#include <span>

struct MacKeyInfo {
    UInt16 keyCode;         // Mac virtual key code
    const char* name;       // for messages: "A", "Return", "Keypad 5", …
    int qtKey;              // the Qt::Key a Linux keyboard reports; 0 for none
    bool keypad;            // Qt reports it with Qt::KeypadModifier
    UInt8 charCode;         // typed without modifiers (0: none)
    UInt8 shiftedCharCode;  // typed with shift (0: none)
    UInt32 keysym;          // X11 keysym of the unshifted key (0: none)
};

// Every key of the table, in the order of their key codes.
std::span<const MacKeyInfo> MacKeyTable();

// The key with that virtual key code; nil when no key has it.
const MacKeyInfo* FindMacKey(UInt32 keyCode);

// The virtual key code of a key Qt reported. `keypad` is whether the event
// carried Qt::KeypadModifier; a key found only on the other side is taken
// from there (keypad Enter without the flag, the keypad's navigation keys
// with it). Shifted punctuation maps to its key (Qt::Key_Exclam → the 1
// key), Key_Backtab to Tab, Key_Help to the help key, Key_AltGr to the
// right option key. False (and the output untouched) for a key without a
// code.
bool MacKeyCodeForQtKey(int qtKey, bool keypad, UInt16* outKeyCode);

// The key whose unshifted keysym is `keysym`; nil for none.
const MacKeyInfo* FindMacKeyForKeysym(UInt32 keysym);

// The character the key types (shifted or not); 0 for a key that types
// none or a code without a key.
UInt8 MacCharCodeForKeyCode(UInt32 keyCode, bool shift);

// Between Qt's keyboard modifiers and the toolbox's modifier bits.
EventModifiers MacModifiersFromQt(Qt::KeyboardModifiers modifiers);
Qt::KeyboardModifiers QtModifiersFromMac(EventModifiers modifiers);
