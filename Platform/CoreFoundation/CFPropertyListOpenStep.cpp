// Reads the old text property-list format, which .strings files and many
// hand-written configuration files still use:
//
//     /* comment */  { key = value; list = (a, "b c", <0fbd 77aa>); }
//
// The whole text is decoded to UTF-16 first (UTF-8, or Mac Roman for legacy
// files that are not valid UTF-8), so strings are cut straight out of it.
// Like the XML reader, anything truncated or malformed answers nil with a
// reason and a line number, and nesting is limited so that hostile input
// cannot exhaust the stack.

#include "CFContainersInternal.h"
#include "CFDataInternal.h"
#include "CFPropertyListInternal.h"
#include "CFStringEncodingConverters.h"
#include "CFStringInternal.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr int kMaximumDepth = 512;

bool IsSpace(char16_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The characters an unquoted string may hold.
bool IsBareCharacter(char16_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
}

bool IsOctal(char16_t c)
{
    return c >= '0' && c <= '7';
}

// Owns one reference to a CF value until handed on.
class Owned {
public:
    Owned() = default;
    explicit Owned(CFTypeRef value) : value_(value) {}
    Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept
    {
        std::swap(value_, other.value_);
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned()
    {
        if (value_)
            CFRelease(value_);
    }

    CFTypeRef get() const { return value_; }
    explicit operator bool() const { return value_ != nullptr; }
    CFTypeRef Release() { return std::exchange(value_, nullptr); }

private:
    CFTypeRef value_ = nullptr;
};

class Reader {
public:
    Reader(std::u16string text, CFOptionFlags mutability)
        : text_(std::move(text)), mutableContainers_(mutability != kCFPropertyListImmutable),
          mutableLeaves_(mutability == kCFPropertyListMutableContainersAndLeaves)
    {}

    CFPropertyListRef Parse()
    {
        if (!SkipSpaceAndComments())
            return nullptr;
        // An empty (or comment-only) .strings file is an empty table.
        if (AtEnd())
            return NewDictionary();

        // A document that starts with a string followed by '=' or ';' is a
        // .strings file: a dictionary written without its braces.
        const size_t start = p_;
        Owned root = ReadValue(0);
        if (!root)
            return nullptr;
        if (!SkipSpaceAndComments())
            return nullptr;
        if (CFGetTypeID(root.get()) == kCFRuntimeTypeString && !AtEnd() && (Peek() == '=' || Peek() == ';')) {
            p_ = start;
            root = ReadStringsFile();
            if (!root)
                return nullptr;
        } else if (!AtEnd()) {
            return Fail("unexpected text after the property list");
        }
        return root.Release();
    }

    const std::string& Error() const { return error_; }

private:
    bool AtEnd() const { return p_ >= text_.size(); }
    char16_t Peek() const { return text_[p_]; }

    // Records the first failure only: the innermost reader knows best what
    // went wrong. `at` is where the faulty construct starts, when that says
    // more than where reading stopped (an unterminated string).
    std::nullptr_t Fail(const std::string& reason, size_t at = std::string::npos)
    {
        if (error_.empty()) {
            const size_t where = std::min(at == std::string::npos ? p_ : at, text_.size());
            const auto line = 1 + std::count(text_.begin(), text_.begin() + static_cast<ptrdiff_t>(where), u'\n');
            error_ = "Malformed property list at line " + std::to_string(line) + ": " + reason + ".";
        }
        return nullptr;
    }

    static std::string Describe(char16_t c)
    {
        if (c > 0x20 && c < 0x7F)
            return std::string("'") + static_cast<char>(c) + "'";
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
        return code;
    }

    // Whitespace and both kinds of comment; false for an unterminated
    // block comment.
    bool SkipSpaceAndComments()
    {
        while (!AtEnd()) {
            const char16_t c = Peek();
            if (IsSpace(c)) {
                ++p_;
            } else if (c == '/' && p_ + 1 < text_.size() && text_[p_ + 1] == '*') {
                const size_t close = text_.find(u"*/", p_ + 2);
                if (close == std::u16string::npos)
                    return Fail("an unterminated comment", p_), false;
                p_ = close + 2;
            } else if (c == '/' && p_ + 1 < text_.size() && text_[p_ + 1] == '/') {
                while (!AtEnd() && Peek() != '\n' && Peek() != '\r')
                    ++p_;
            } else {
                return true;
            }
        }
        return true;
    }

    CFDictionaryObject* NewDictionary() const
    {
        return new CFDictionaryObject(kCFTypeDictionaryKeyCallBacks, kCFTypeDictionaryValueCallBacks,
                                      mutableContainers_);
    }

    Owned MakeString(std::u16string units, bool asKey) const
    {
        // Keys stay immutable whatever the option: a key edited in place
        // would be lost in its table.
        if (mutableLeaves_ && !asKey)
            return Owned(CFStringCreateMutableWithUTF16(std::move(units)));
        return Owned(CFStringCreateWithUTF16(std::move(units)));
    }

    Owned ReadValue(int depth)
    {
        if (AtEnd())
            return Fail("the text ends where a value was expected"), Owned();
        const char16_t c = Peek();
        if (c == '{' || c == '(') {
            if (depth >= kMaximumDepth)
                return Fail("nesting deeper than " + std::to_string(kMaximumDepth) + " levels"), Owned();
            return c == '{' ? ReadDictionary(depth + 1) : ReadArray(depth + 1);
        }
        if (c == '<')
            return ReadData();
        std::u16string units;
        if (!ReadString(units))
            return Owned();
        return MakeString(std::move(units), false);
    }

    // A quoted or unquoted string; fails on anything else.
    bool ReadString(std::u16string& out)
    {
        if (AtEnd())
            return Fail("the text ends where a string was expected"), false;
        const char16_t c = Peek();
        if (c == '"' || c == '\'')
            return ReadQuoted(out);
        if (!IsBareCharacter(c))
            return Fail("unexpected " + Describe(c)), false;
        const size_t start = p_;
        while (!AtEnd() && IsBareCharacter(Peek()))
            ++p_;
        out.assign(text_, start, p_ - start);
        return true;
    }

    bool ReadQuoted(std::u16string& out)
    {
        const size_t open = p_;
        const char16_t quote = text_[p_++];
        out.clear();
        for (;;) {
            // Copy the plain run in one go; most strings have no escapes.
            size_t stop = p_;
            while (stop < text_.size() && text_[stop] != quote && text_[stop] != '\\')
                ++stop;
            out.append(text_, p_, stop - p_);
            p_ = stop;
            if (AtEnd())
                return Fail("an unterminated quoted string", open), false;
            if (Peek() == quote) {
                ++p_;
                // "\UD800" alone names half a character; keep the text writable.
                CFReplaceLoneSurrogates(out);
                return true;
            }
            ++p_;  // the backslash
            if (AtEnd())
                return Fail("an unterminated quoted string", open), false;
            ReadEscape(out);
        }
    }

    void ReadEscape(std::u16string& out)
    {
        const char16_t c = text_[p_++];
        switch (c) {
        case 'n':
            out.push_back('\n');
            return;
        case 't':
            out.push_back('\t');
            return;
        case 'r':
            out.push_back('\r');
            return;
        case 'b':
            out.push_back('\b');
            return;
        case 'f':
            out.push_back('\f');
            return;
        case 'a':
            out.push_back('\a');
            return;
        case 'v':
            out.push_back('\v');
            return;
        case 'U': {
            // One UTF-16 unit; a character outside the basic plane is
            // written as two escapes, which join here by adjacency.
            unsigned unit = 0;
            int digits = 0;
            while (digits < 4 && !AtEnd() && CFHexDigitValue(Peek()) >= 0) {
                unit = unit * 16 + static_cast<unsigned>(CFHexDigitValue(text_[p_++]));
                ++digits;
            }
            out.push_back(digits ? static_cast<char16_t>(unit) : u'U');
            return;
        }
        default:
            break;
        }
        if (IsOctal(c)) {
            // A byte of the Mac Roman character set, which is what the
            // programs that wrote octal escapes meant by them.
            unsigned byte = c - '0';
            for (int digits = 1; digits < 3 && !AtEnd() && IsOctal(Peek()); ++digits) {
                const unsigned next = byte * 8 + (Peek() - '0');
                if (next > 0xFF)
                    break;
                byte = next;
                ++p_;
            }
            out.push_back(CFMacRomanToUnicode(static_cast<UInt8>(byte)));
            return;
        }
        // \\, \", \' and any other character stand for themselves.
        out.push_back(c);
    }

    Owned ReadData()
    {
        const size_t open = p_++;
        CFByteVector bytes;
        int high = -1;  // the first digit of a byte being read
        for (;;) {
            while (!AtEnd() && IsSpace(Peek()))
                ++p_;
            if (AtEnd())
                return Fail("unterminated data", open), Owned();
            const char16_t c = text_[p_];
            if (c == '>') {
                ++p_;
                break;
            }
            const int value = CFHexDigitValue(c);
            if (value < 0)
                return Fail("unexpected " + Describe(c) + " in data"), Owned();
            ++p_;
            if (high < 0) {
                high = value;
            } else {
                bytes.push_back(static_cast<UInt8>(high * 16 + value));
                high = -1;
            }
        }
        if (high >= 0)
            return Fail("data with an odd number of hex digits", open), Owned();
        return Owned(CFDataCreateWithVector(std::move(bytes), mutableLeaves_));
    }

    Owned ReadArray(int depth)
    {
        const size_t open = p_++;
        auto* array = new CFArrayObject(kCFTypeArrayCallBacks, mutableContainers_);
        Owned result(array);
        for (;;) {
            if (!SkipSpaceAndComments())
                return Owned();
            if (AtEnd())
                return Fail("the text ends inside an array", open), Owned();
            if (Peek() == ')') {
                ++p_;
                return result;
            }
            Owned value = ReadValue(depth);
            if (!value || !SkipSpaceAndComments())
                return Owned();
            array->values.push_back(value.Release());  // the array adopts our reference
            if (AtEnd())
                return Fail("the text ends inside an array", open), Owned();
            if (Peek() == ',')
                ++p_;
            else if (Peek() != ')')
                return Fail("',' or ')' was expected in an array, not " + Describe(Peek())), Owned();
        }
    }

    // Reads "key = value;" pairs into `dictionary` up to its '}', or to the
    // end of the text for a .strings file, whose dictionary has no braces.
    bool ReadEntries(CFDictionaryObject* dictionary, bool stringsFile, size_t open, int depth)
    {
        for (;;) {
            if (!SkipSpaceAndComments())
                return false;
            if (AtEnd()) {
                if (stringsFile)
                    return true;
                return Fail("the text ends inside a dictionary", open), false;
            }
            if (!stringsFile && Peek() == '}') {
                ++p_;
                return true;
            }
            const char16_t first = Peek();
            if (first == '{' || first == '(' || first == '<')
                return Fail("a dictionary key that is not a string"), false;
            std::u16string keyText;
            if (!ReadString(keyText) || !SkipSpaceAndComments())
                return false;
            Owned value;
            if (stringsFile && !AtEnd() && Peek() == ';') {
                // A .strings entry without a value stands for itself.
                value = MakeString(keyText, false);
            } else {
                if (AtEnd())
                    return Fail(stringsFile ? "the text ends after a key" : "the text ends inside a dictionary",
                                stringsFile ? std::string::npos : open),
                           false;
                if (Peek() != '=')
                    return Fail("'=' was expected after a key, not " + Describe(Peek())), false;
                ++p_;
                if (!SkipSpaceAndComments())
                    return false;
                value = ReadValue(depth);
                if (!value || !SkipSpaceAndComments())
                    return false;
            }
            Owned key = MakeString(std::move(keyText), true);
            dictionary->Set(key.get(), value.get(), true, true);  // a repeated key: the last one wins
            if (AtEnd()) {
                if (stringsFile)
                    return true;
                return Fail("the text ends inside a dictionary", open), false;
            }
            if (Peek() == ';')
                ++p_;
            else if (stringsFile || Peek() != '}')
                return Fail("';' was expected after a value, not " + Describe(Peek())), false;
        }
    }

    Owned ReadDictionary(int depth)
    {
        const size_t open = p_++;
        auto* dictionary = NewDictionary();
        Owned result(dictionary);
        if (!ReadEntries(dictionary, false, open, depth))
            return Owned();
        return result;
    }

    Owned ReadStringsFile()
    {
        auto* dictionary = NewDictionary();
        Owned result(dictionary);
        if (!ReadEntries(dictionary, true, p_, 0))
            return Owned();
        return result;
    }

    const std::u16string text_;
    size_t p_ = 0;
    const bool mutableContainers_;
    const bool mutableLeaves_;
    std::string error_;
};

}  // namespace

CFPropertyListRef CFOpenStepPropertyListCreate(std::string_view text, CFOptionFlags mutabilityOption,
                                               std::string* error)
{
    std::u16string units;
    units.reserve(text.size());  // never more units than bytes
    if (!CFDecodeUTF8(text, units)) {
        // Files from before UTF-8 were written in Mac Roman, which decodes
        // every byte, so this cannot fail.
        units.clear();
        CFDecodeBytes(reinterpret_cast<const UInt8*>(text.data()), text.size(), kCFStringEncodingMacRoman, false,
                      units);
    }
    Reader reader(std::move(units), mutabilityOption);
    CFPropertyListRef result = reader.Parse();
    if (result == nullptr && error)
        *error = reader.Error();
    return result;
}
