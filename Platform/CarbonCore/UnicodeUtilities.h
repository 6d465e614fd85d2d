// Keyboard layouts: what a key types, through UCKeyTranslate.
//
// A layout is a block of bytes (the data an input source gives under
// kTISPropertyUnicodeKeyLayoutData, HIToolbox/TextInputSources.h): for
// each of the 128 virtual key codes, what the key types in four columns,
// plain, with shift, with option and with shift and option. A column holds
// a character, nothing (a modifier key), or a dead key: an accent that
// waits for the next key and joins it when the two make one character
// ("´" then "e" types "é"), or else is typed on its own before it. A code
// whose key the keyboard does not have is missing from the layout.
//
// Layouts are made with UCKeyboardLayoutBuilder; the input sources make
// them from the X server's keyboard or the built-in US layout.
#pragma once

#include <CarbonCore/MacErrors.h>
#include <CoreFoundation/CFData.h>

#include <array>
#include <vector>

// The bytes of a layout; only ever seen through a pointer.
struct UCKeyboardLayout;

typedef unsigned long UniCharCount;

enum : UInt16 {
    kUCKeyActionDown = 0,     // the key went down
    kUCKeyActionUp = 1,       // the key went up: types nothing
    kUCKeyActionAutoKey = 2,  // the key repeats while held
    kUCKeyActionDisplay = 3,  // the key's label: dead keys give their accent, the pending state is ignored
};

enum : OptionBits {
    kUCKeyTranslateNoDeadKeysBit = 0,
    // Dead keys type their accent at once instead of waiting.
    kUCKeyTranslateNoDeadKeysMask = 1 << kUCKeyTranslateNoDeadKeysBit,
};

// The output did not fit the caller's buffer.
inline constexpr OSStatus kUCOutputBufferTooSmall = -25340;

// What `virtualKeyCode` types with `modifierKeyState` (the toolbox's
// modifier bits shifted right by 8: command 0x01, shift 0x02, caps lock
// 0x04, option 0x08, control 0x10, and the right-hand 0x20–0x80 counting as
// their twins) into `unicodeString`, `*actualStringLength` UTF-16 units.
// Caps lock types a letter as its capital; control turns a plain letter and
// @[\]^_ into their control characters; command changes nothing.
//
// `*deadKeyState` carries a pending dead key from one call to the next
// (start with 0): a dead key going down sets it and types nothing; the next
// key that types a character clears it and types the two joined, or the
// accent and then the character; the same dead key again types the accent.
// A key that types nothing (a modifier) leaves it pending. A key going up
// types nothing and changes nothing.
//
// paramErr, with every output left as it was, for a nil layout, state,
// length or (with room asked for) buffer, a block that is not a layout, an
// unknown action, or a code the layout does not have. When the text needs
// more than `maxStringLength` units: kUCOutputBufferTooSmall, the length
// needed in `*actualStringLength`, the buffer and the state as they were.
// `keyboardType` is accepted and ignored: a layout knows one keyboard.
OSStatus UCKeyTranslate(const UCKeyboardLayout* keyLayoutPtr, UInt16 virtualKeyCode, UInt16 keyAction,
                        UInt32 modifierKeyState, UInt32 keyboardType, OptionBits keyTranslateOptions,
                        UInt32* deadKeyState, UniCharCount maxStringLength, UniCharCount* actualStringLength,
                        UniChar unicodeString[]);

// Our own addition: makes the bytes of a layout. Every key starts missing;
// setting one column of a key makes it present. A key's option columns
// left unset type what its plain and shift columns type.
class UCKeyboardLayoutBuilder {
public:
    static constexpr UInt16 kKeyCount = 128;
    enum Column { kPlain = 0, kShift = 1, kOption = 2, kShiftOption = 3, kColumnCount = 4 };

    // Out-of-range codes, columns and characters (above U+10FFFF, or a
    // surrogate) are ignored.
    void SetCharacter(UInt16 keyCode, Column column, UTF32Char character);
    // An accent waiting for the next key: `accent` is what it types on its
    // own, `combiningMark` what it joins to the next character with.
    void SetDeadKey(UInt16 keyCode, Column column, UTF32Char accent, UTF32Char combiningMark);
    // The key is there and types nothing (a modifier key).
    void SetKeyTypesNothing(UInt16 keyCode);
    // A new data object holding the layout; UCKeyTranslate reads its bytes.
    CFDataRef CreateData() const;

private:
    struct DeadKey {
        UTF32Char accent;
        UTF32Char combiningMark;
    };
    UInt32 DeadKeyIndex(const DeadKey& deadKey);

    std::array<std::array<UInt32, kColumnCount>, kKeyCount> entries_ = Missing();
    std::vector<DeadKey> deadKeys_;

    static std::array<std::array<UInt32, kColumnCount>, kKeyCount> Missing();
};
