#include <CarbonCore/UnicodeUtilities.h>

#include <QList>
#include <QString>

#include <cstring>
#include <string>

// The bytes of a layout: a header, four entries per key code, then the dead
// keys. Every field is a native 32-bit word, read with memcpy (a data
// object's bytes need not be aligned).
//
//   magic, version, key count (128), dead-key count
//   entries[key count][4]
//   dead keys[dead-key count]: accent, combining mark
//
// An entry is a character, 0 for nothing, kEntryMissing for a key the
// keyboard lacks, or kDeadKeyFlag | the dead key's index.
namespace {

constexpr UInt32 kLayoutMagic = 0x75634B4C;  // 'ucKL'
constexpr UInt32 kLayoutVersion = 1;
constexpr UInt32 kHeaderWords = 4;
constexpr UInt32 kEntryMissing = 0xFFFFFFFF;
constexpr UInt32 kEntryUnset = 0xFFFFFFFE;  // the builder's own: a present key's column not set
constexpr UInt32 kDeadKeyFlag = 0x80000000;
constexpr UInt32 kMaxDeadKeys = 1024;

constexpr UInt32 kCommandBit = 0x01;
constexpr UInt32 kShiftBits = 0x02 | 0x20;
constexpr UInt32 kCapsLockBit = 0x04;
constexpr UInt32 kOptionBits = 0x08 | 0x40;
constexpr UInt32 kControlBits = 0x10 | 0x80;

bool IsCharacter(UTF32Char c)
{
    return c != 0 && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

UInt32 Word(const UCKeyboardLayout* layout, size_t index)
{
    UInt32 word;
    std::memcpy(&word, reinterpret_cast<const UInt8*>(layout) + index * sizeof word, sizeof word);
    return word;
}

// A layout's header, checked.
struct LayoutView {
    const UCKeyboardLayout* layout;
    UInt32 deadKeyCount;

    UInt32 Entry(UInt16 keyCode, int column) const
    {
        return Word(layout, kHeaderWords + size_t(keyCode) * UCKeyboardLayoutBuilder::kColumnCount + column);
    }
    // The accent and the mark of dead key `index`; false for an index the
    // layout does not have.
    bool DeadKey(UInt32 index, UTF32Char* accent, UTF32Char* mark) const
    {
        if (index >= deadKeyCount)
            return false;
        const size_t first =
            kHeaderWords + size_t(UCKeyboardLayoutBuilder::kKeyCount) * UCKeyboardLayoutBuilder::kColumnCount;
        *accent = Word(layout, first + 2 * size_t(index));
        *mark = Word(layout, first + 2 * size_t(index) + 1);
        return IsCharacter(*accent) && IsCharacter(*mark);
    }
};

bool ReadLayout(const UCKeyboardLayout* layout, LayoutView* view)
{
    if (layout == nullptr || Word(layout, 0) != kLayoutMagic || Word(layout, 1) != kLayoutVersion ||
        Word(layout, 2) != UCKeyboardLayoutBuilder::kKeyCount || Word(layout, 3) > kMaxDeadKeys)
        return false;
    *view = LayoutView{layout, Word(layout, 3)};
    return true;
}

QString TextOf(UTF32Char c)
{
    const char32_t scalar = c;
    return QString::fromUcs4(&scalar, 1);
}

// A letter typed with caps lock: its capital when it has a single one.
UTF32Char CapitalOf(UTF32Char c)
{
    const QString upper = TextOf(c).toUpper();
    const QList<uint> scalars = upper.toUcs4();
    return scalars.size() == 1 ? UTF32Char(scalars[0]) : c;
}

// The control character of a plain letter or of @[\]^_.
UTF32Char ControlCharacterOf(UTF32Char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= '@' && c <= '_'))
        return c & 0x1F;
    return c;
}

// The accent joined to `c` when the two make one character; 0 otherwise.
UTF32Char Composed(UTF32Char c, UTF32Char mark)
{
    const QString joined = (TextOf(c) + TextOf(mark)).normalized(QString::NormalizationForm_C);
    const QList<uint> scalars = joined.toUcs4();
    return scalars.size() == 1 ? UTF32Char(scalars[0]) : 0;
}

}  // namespace

OSStatus UCKeyTranslate(const UCKeyboardLayout* keyLayoutPtr, UInt16 virtualKeyCode, UInt16 keyAction,
                        UInt32 modifierKeyState, UInt32, OptionBits keyTranslateOptions, UInt32* deadKeyState,
                        UniCharCount maxStringLength, UniCharCount* actualStringLength, UniChar unicodeString[])
{
    LayoutView layout{};
    if (!ReadLayout(keyLayoutPtr, &layout) || deadKeyState == nullptr || actualStringLength == nullptr ||
        (unicodeString == nullptr && maxStringLength > 0) || keyAction > kUCKeyActionDisplay ||
        virtualKeyCode >= UCKeyboardLayoutBuilder::kKeyCount)
        return paramErr;
    const bool shift = (modifierKeyState & kShiftBits) != 0;
    const bool option = (modifierKeyState & kOptionBits) != 0;
    const int column = (shift ? 1 : 0) + (option ? 2 : 0);
    const UInt32 entry = layout.Entry(virtualKeyCode, column);
    if (entry == kEntryMissing)
        return paramErr;

    // What the key gives, before the pending dead key: a character (0 for
    // none) or a dead key.
    UTF32Char character = 0;
    bool dead = false;
    UInt32 deadIndex = 0;
    UTF32Char accent = 0, mark = 0;
    if (entry & kDeadKeyFlag) {
        deadIndex = entry & ~kDeadKeyFlag;
        if (!layout.DeadKey(deadIndex, &accent, &mark))
            return paramErr;
        dead = true;
    } else if (entry != 0) {
        if (!IsCharacter(entry))
            return paramErr;
        character = entry;
        if ((modifierKeyState & kCapsLockBit) && !shift)
            character = CapitalOf(character);
        if ((modifierKeyState & kControlBits) && !option && !(modifierKeyState & kCommandBit))
            character = ControlCharacterOf(character);
    }

    // The text, and the dead-key state after it.
    std::u32string text;
    UInt32 newState = *deadKeyState;
    const bool noDeadKeys = (keyTranslateOptions & kUCKeyTranslateNoDeadKeysMask) != 0;
    UTF32Char pendingAccent = 0, pendingMark = 0;
    const bool pending = *deadKeyState != 0 && layout.DeadKey(*deadKeyState - 1, &pendingAccent, &pendingMark);
    if (keyAction == kUCKeyActionUp) {
        // Nothing typed, nothing changed.
    } else if (keyAction == kUCKeyActionDisplay || noDeadKeys) {
        if (dead)
            text = accent;
        else if (character)
            text = character;
    } else if (dead) {
        if (!pending) {
            newState = deadIndex + 1;
        } else if (*deadKeyState == deadIndex + 1) {
            text = accent;
            newState = 0;
        } else {
            text = pendingAccent;
            newState = deadIndex + 1;
        }
    } else if (character) {
        if (pending) {
            if (const UTF32Char composed = Composed(character, pendingMark))
                text = composed;
            else
                text = std::u32string{pendingAccent, character};
        } else {
            text = character;
        }
        newState = 0;
    }

    const std::u16string units = QString::fromStdU32String(text).toStdU16String();
    if (units.size() > maxStringLength) {
        *actualStringLength = units.size();
        return kUCOutputBufferTooSmall;
    }
    if (!units.empty())
        std::memcpy(unicodeString, units.data(), units.size() * sizeof(UniChar));
    *actualStringLength = units.size();
    *deadKeyState = newState;
    return noErr;
}

std::array<std::array<UInt32, UCKeyboardLayoutBuilder::kColumnCount>, UCKeyboardLayoutBuilder::kKeyCount>
UCKeyboardLayoutBuilder::Missing()
{
    std::array<std::array<UInt32, kColumnCount>, kKeyCount> entries;
    for (auto& key : entries)
        key.fill(kEntryMissing);
    return entries;
}

void UCKeyboardLayoutBuilder::SetKeyTypesNothing(UInt16 keyCode)
{
    if (keyCode < kKeyCount)
        entries_[keyCode].fill(0);
}

void UCKeyboardLayoutBuilder::SetCharacter(UInt16 keyCode, Column column, UTF32Char character)
{
    if (keyCode >= kKeyCount || column < kPlain || column >= kColumnCount || !IsCharacter(character))
        return;
    auto& key = entries_[keyCode];
    for (UInt32& entry : key) {
        if (entry == kEntryMissing)
            entry = kEntryUnset;
    }
    key[column] = character;
}

UInt32 UCKeyboardLayoutBuilder::DeadKeyIndex(const DeadKey& deadKey)
{
    for (size_t index = 0; index < deadKeys_.size(); ++index) {
        if (deadKeys_[index].accent == deadKey.accent && deadKeys_[index].combiningMark == deadKey.combiningMark)
            return UInt32(index);
    }
    deadKeys_.push_back(deadKey);
    return UInt32(deadKeys_.size() - 1);
}

void UCKeyboardLayoutBuilder::SetDeadKey(UInt16 keyCode, Column column, UTF32Char accent, UTF32Char combiningMark)
{
    if (keyCode >= kKeyCount || column < kPlain || column >= kColumnCount || !IsCharacter(accent) ||
        !IsCharacter(combiningMark) || deadKeys_.size() >= kMaxDeadKeys)
        return;
    const UInt32 index = DeadKeyIndex({accent, combiningMark});
    SetCharacter(keyCode, column, accent);
    entries_[keyCode][column] = kDeadKeyFlag | index;
}

CFDataRef UCKeyboardLayoutBuilder::CreateData() const
{
    std::vector<UInt32> words = {kLayoutMagic, kLayoutVersion, kKeyCount, UInt32(deadKeys_.size())};
    for (const auto& key : entries_) {
        // Unset columns type what the column without option types; a
        // column still unset after that types nothing.
        std::array<UInt32, kColumnCount> filled = key;
        if (filled[kShift] == kEntryUnset)
            filled[kShift] = filled[kPlain];
        for (int column : {kOption, kShiftOption}) {
            if (filled[column] == kEntryUnset)
                filled[column] = filled[column - kOption];
        }
        for (UInt32& entry : filled) {
            if (entry == kEntryUnset)
                entry = 0;
        }
        words.insert(words.end(), filled.begin(), filled.end());
    }
    for (const DeadKey& deadKey : deadKeys_) {
        words.push_back(deadKey.accent);
        words.push_back(deadKey.combiningMark);
    }
    return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(words.data()), CFIndex(words.size() * sizeof(UInt32)));
}
