// Reads XML property lists. Tolerant where files written by people and older
// programs need it (comments, raw control characters in strings, the
// predefined entities and character references, CDATA, documents with or
// without the plist element), strict where safety needs it: anything
// truncated or malformed answers nil with a reason, nothing external is ever
// fetched, entity declarations are refused and nesting is limited.

#include "CFContainersInternal.h"
#include "CFDataInternal.h"
#include "CFDateInternal.h"
#include "CFPropertyListInternal.h"
#include "CFStringEncodingConverters.h"
#include "CFStringInternal.h"

#include <CoreFoundation/CFDate.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFPropertyList.h>
#include <Support/FileAccess.h>
#include <Support/UTF8.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kMaximumDepth = 512;
// Keys up to this many bytes are shared within one document, and so are
// string values up to the second limit (class names, not titles).
constexpr size_t kSharedStringLimit = 64;
constexpr size_t kSharedValueLimit = 16;
// Numbers are shared the same way (priorities, colour indexes, whole and
// half coordinates); the table stops growing at this many.
constexpr size_t kSharedNumberLimit = 512;

// ASCII only, whatever the program's locale: the names compared are XML's.
char LowerASCII(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Character classes by table: the reader asks these for every byte.
struct CharacterTables {
    bool name[256] = {};
    signed char base64[256];
    CharacterTables()
    {
        for (int c = 0; c < 256; ++c) {
            name[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                      c == ':' || c == '-' || c == '.';
            base64[c] = -1;
        }
        const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            base64[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
    }
};

const CharacterTables& Tables()
{
    static const CharacterTables tables;
    return tables;
}

bool IsNameCharacter(char c)
{
    return Tables().name[static_cast<unsigned char>(c)];
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// Owns one reference to a CF value until handed on.
struct Owned {
    CFTypeRef value = nullptr;
    Owned() = default;
    explicit Owned(CFTypeRef v) : value(v) {}
    Owned(Owned&& other) noexcept : value(other.value) { other.value = nullptr; }
    Owned& operator=(Owned&& other) noexcept
    {
        std::swap(value, other.value);
        return *this;
    }
    ~Owned()
    {
        if (value)
            CFRelease(value);
    }
    CFTypeRef Release()
    {
        CFTypeRef v = value;
        value = nullptr;
        return v;
    }
};

class Reader {
public:
    Reader(std::string_view document, CFOptionFlags mutability)
        : begin_(document.data()), p_(document.data()), end_(document.data() + document.size()),
          mutableContainers_(mutability != kCFPropertyListImmutable),
          mutableLeaves_(mutability == kCFPropertyListMutableContainersAndLeaves)
    {}

    ~Reader()
    {
        for (auto& [text, string] : sharedStrings_)
            CFRelease(string);
        for (auto& [key, number] : sharedNumbers_)
            CFRelease(number);
    }

    CFPropertyListRef Parse()
    {
        if (!SkipProlog())
            return nullptr;
        Tag tag;
        if (!ReadOpenTag(tag))
            return nullptr;
        Owned root;
        if (tag.name == "plist") {
            if (tag.selfClosing)
                return Fail("the plist element is empty");
            if (!SkipMisc())
                return nullptr;
            Tag inner;
            if (!ReadOpenTag(inner))
                return nullptr;
            root = ReadValue(inner, 0);
            if (!root.value)
                return nullptr;
            if (!SkipMisc() || !ReadCloseTag("plist"))
                return nullptr;
        } else {
            root = ReadValue(tag, 0);
            if (!root.value)
                return nullptr;
        }
        if (!SkipMisc())
            return nullptr;
        if (p_ != end_)
            return Fail("unexpected text after the property list");
        return root.Release();
    }

    std::string Error() const { return error_; }

private:
    struct Tag {
        std::string_view name;
        bool selfClosing = false;
    };

    std::nullptr_t Fail(const std::string& reason)
    {
        if (error_.empty()) {
            const long line = 1 + std::count(begin_, std::min(p_, end_), '\n');
            error_ = "Malformed property list at line " + std::to_string(line) + ": " + reason + ".";
        }
        return nullptr;
    }

    bool StartsWith(std::string_view text) const
    {
        return static_cast<size_t>(end_ - p_) >= text.size() && std::memcmp(p_, text.data(), text.size()) == 0;
    }

    void SkipSpace()
    {
        while (p_ < end_ && IsSpace(*p_))
            ++p_;
    }

    // Moves past `terminator`; false when the document ends first.
    bool SkipPast(std::string_view terminator)
    {
        std::string_view rest(p_, static_cast<size_t>(end_ - p_));
        size_t at = rest.find(terminator);
        if (at == std::string_view::npos) {
            p_ = end_;
            return false;
        }
        p_ += at + terminator.size();
        return true;
    }

    // Whitespace, comments and processing instructions between elements.
    bool SkipMisc()
    {
        for (;;) {
            SkipSpace();
            if (end_ - p_ < 2 || p_[0] != '<' || (p_[1] != '!' && p_[1] != '?'))
                return true;
            if (StartsWith("<!--")) {
                if (!SkipPast("-->"))
                    return Fail("an unterminated comment"), false;
            } else if (p_[1] == '?') {
                if (!SkipPast("?>"))
                    return Fail("an unterminated processing instruction"), false;
            } else {
                return true;
            }
        }
    }

    bool SkipProlog()
    {
        for (;;) {
            if (!SkipMisc())
                return false;
            if (StartsWith("<!DOCTYPE")) {
                // Only the document type's name and external identifier are
                // allowed; it is never fetched. An internal subset could
                // declare entities, which we refuse outright.
                p_ += 9;
                char quote = 0;
                for (;; ++p_) {
                    if (p_ >= end_)
                        return Fail("an unterminated document type"), false;
                    if (quote) {
                        if (*p_ == quote)
                            quote = 0;
                    } else if (*p_ == '"' || *p_ == '\'') {
                        quote = *p_;
                    } else if (*p_ == '[') {
                        return Fail("a document type with declarations"), false;
                    } else if (*p_ == '>') {
                        ++p_;
                        break;
                    }
                }
            } else if (StartsWith("<!")) {
                return Fail("a declaration"), false;
            } else {
                return true;
            }
        }
    }

    bool ReadOpenTag(Tag& tag)
    {
        if (p_ >= end_)
            return Fail("the document ends where an element was expected"), false;
        if (*p_ != '<' || p_ + 1 >= end_ || !IsNameCharacter(p_[1]))
            return Fail(StartsWith("<!") ? "a declaration" : "an element was expected"), false;
        const char* name = ++p_;
        const bool* nameCharacters = Tables().name;
        while (p_ < end_ && nameCharacters[static_cast<unsigned char>(*p_)])
            ++p_;
        tag.name = std::string_view(name, static_cast<size_t>(p_ - name));
        tag.selfClosing = false;
        // The usual tags end right after their name.
        if (p_ < end_ && *p_ == '>') {
            ++p_;
            return true;
        }
        if (end_ - p_ >= 2 && p_[0] == '/' && p_[1] == '>') {
            tag.selfClosing = true;
            p_ += 2;
            return true;
        }
        // Attributes are skipped (the plist element's version is not checked).
        char quote = 0;
        for (; p_ < end_; ++p_) {
            if (quote) {
                if (*p_ == quote)
                    quote = 0;
            } else if (*p_ == '"' || *p_ == '\'') {
                quote = *p_;
            } else if (*p_ == '>') {
                tag.selfClosing = p_[-1] == '/';
                ++p_;
                return true;
            } else if (*p_ == '<') {
                break;
            }
        }
        return Fail("an unterminated tag"), false;
    }

    bool ReadCloseTag(std::string_view name)
    {
        if (!StartsWith("</") || static_cast<size_t>(end_ - p_ - 2) < name.size() ||
            std::memcmp(p_ + 2, name.data(), name.size()) != 0) {
            return Fail(p_ >= end_ ? "the document ends inside <" + std::string(name) + ">"
                                   : "</" + std::string(name) + "> was expected"),
                   false;
        }
        p_ += 2 + name.size();
        SkipSpace();
        if (p_ >= end_ || *p_ != '>')
            return Fail("a malformed closing tag"), false;
        ++p_;
        return true;
    }

    // The text content of an element up to its closing tag: a view into the
    // document when the text needs no decoding (`decoded` is then false),
    // otherwise a view of `scratch_`.
    bool ReadText(std::string_view name, bool selfClosing, std::string_view& text, bool& decoded)
    {
        decoded = false;
        if (selfClosing) {
            text = {};
            return true;
        }
        const char* start = p_;
        const char* lt = static_cast<const char*>(std::memchr(p_, '<', static_cast<size_t>(end_ - p_)));
        if (lt == nullptr) {
            p_ = end_;
            return Fail("the document ends inside <" + std::string(name) + ">"), false;
        }
        const size_t length = static_cast<size_t>(lt - start);
        if (lt + 1 < end_ && lt[1] == '/' && std::memchr(start, '&', length) == nullptr) {
            p_ = lt;
            text = std::string_view(start, length);
            return ReadCloseTag(name);
        }
        decoded = true;
        scratch_.clear();
        for (;;) {
            const char* stop = p_;
            while (stop < end_ && *stop != '<' && *stop != '&')
                ++stop;
            scratch_.append(p_, stop);
            p_ = stop;
            if (p_ >= end_)
                return Fail("the document ends inside <" + std::string(name) + ">"), false;
            if (*p_ == '&') {
                if (!ReadReference(scratch_))
                    return false;
            } else if (StartsWith("<![CDATA[")) {
                p_ += 9;
                const char* cdata = p_;
                if (!SkipPast("]]>"))
                    return Fail("an unterminated CDATA section"), false;
                scratch_.append(cdata, p_ - 3);
            } else if (StartsWith("<!--")) {
                if (!SkipPast("-->"))
                    return Fail("an unterminated comment"), false;
            } else if (StartsWith("</")) {
                text = scratch_;
                return ReadCloseTag(name);
            } else {
                return Fail("an element inside <" + FileAccess::ForMessage(name) + ">"), false;
            }
        }
    }

    bool ReadReference(std::string& out)
    {
        const char* semicolon = static_cast<const char*>(std::memchr(p_, ';', std::min<size_t>(end_ - p_, 12)));
        if (semicolon == nullptr)
            return Fail("an unterminated entity reference"), false;
        std::string_view name(p_ + 1, static_cast<size_t>(semicolon - p_ - 1));
        p_ = semicolon + 1;
        if (name == "amp")
            out.push_back('&');
        else if (name == "lt")
            out.push_back('<');
        else if (name == "gt")
            out.push_back('>');
        else if (name == "quot")
            out.push_back('"');
        else if (name == "apos")
            out.push_back('\'');
        else if (name.size() >= 2 && name[0] == '#') {
            uint32_t code = 0;
            const bool hex = name[1] == 'x' || name[1] == 'X';
            std::string_view digits = name.substr(hex ? 2 : 1);
            auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || code == 0 ||
                code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                return Fail("an invalid character reference"), false;
            AppendUTF8(out, code);
        } else {
            return Fail("an unknown entity &" + FileAccess::ForMessage(name) + ";"), false;
        }
        return true;
    }

    // A string of the document. Keys, and short values such as class
    // names, repeat thousands of times in an archive: one object each serves
    // the whole document (unless strings must be mutable).
    Owned MakeString(std::string_view utf8, bool shareable)
    {
        shareable = shareable && !mutableLeaves_ && utf8.size() <= kSharedStringLimit;
        if (shareable) {
            auto it = sharedStrings_.find(utf8);
            if (it != sharedStrings_.end())
                return Owned(CFRetain(it->second));
        }
        // Decoded into a scratch buffer first, so that the string keeps
        // exactly the units it holds: the tree of a large sheet is the
        // memory a program touches most when it opens one. (Inside the
        // arena the units are carved beside the string.)
        scratchUnits_.clear();
        if (!CFDecodeUTF8(utf8, scratchUnits_))
            return Fail("text that is not UTF-8"), Owned();
        auto* string = new CFStringObject(std::u16string_view(scratchUnits_), mutableLeaves_);
        if (mutableLeaves_)
            return Owned(string);
        if (shareable)
            sharedStrings_.emplace(utf8, static_cast<CFStringRef>(CFRetain(string)));
        return Owned(string);
    }

    // Reads the element whose open tag has just been read.
    Owned ReadValue(const Tag& tag, int depth)
    {
        if (depth > kMaximumDepth)
            return Fail("nesting deeper than " + std::to_string(kMaximumDepth) + " levels"), Owned();
        const std::string_view name = tag.name;
        if (name == "dict")
            return ReadDictionary(tag, depth);
        if (name == "array")
            return ReadArray(tag, depth);
        std::string_view text;
        bool decoded;
        if (!ReadText(name, tag.selfClosing, text, decoded))
            return Owned();
        if (name == "string")
            return MakeString(text, !decoded && text.size() <= kSharedValueLimit);
        if (name == "integer")
            return ParseInteger(Trimmed(text));
        if (name == "real")
            return ParseReal(Trimmed(text));
        if (name == "true" || name == "false") {
            if (!Trimmed(text).empty())
                return Fail("text inside <" + std::string(name) + ">"), Owned();
            return Owned(name == "true" ? kCFBooleanTrue : kCFBooleanFalse);
        }
        if (name == "date")
            return ParseDate(Trimmed(text));
        if (name == "data")
            return ParseData(text);
        return Fail("an unknown element <" + FileAccess::ForMessage(name) + ">"), Owned();
    }

    Owned ReadDictionary(const Tag& tag, int depth)
    {
        auto* dictionary =
            new CFDictionaryObject(kCFTypeDictionaryKeyCallBacks, kCFTypeDictionaryValueCallBacks, mutableContainers_);
        Owned result(dictionary);
        if (tag.selfClosing)
            return result;
        // Entries wait in a list of this depth's own until the dictionary
        // ends, so that each table is built at once; the list owns them.
        std::vector<CFDictionaryObject::Entry>& entries = PendingAt(pending_, depth);
        entries.clear();
        auto releasePending = [&entries] {
            for (const auto& entry : entries) {
                CFRelease(entry.key);
                CFRelease(entry.value);
            }
            entries.clear();
        };
        for (;;) {
            if (!SkipMisc())
                return releasePending(), Owned();
            if (StartsWith("</")) {
                if (!ReadCloseTag("dict"))
                    return releasePending(), Owned();
                dictionary->AdoptEntries(entries);
                return result;
            }
            Tag keyTag;
            if (!ReadOpenTag(keyTag))
                return releasePending(), Owned();
            if (keyTag.name != "key")
                return Fail("<key> was expected in a dictionary"), releasePending(), Owned();
            std::string_view keyText;
            bool decoded;
            if (!ReadText("key", keyTag.selfClosing, keyText, decoded))
                return releasePending(), Owned();
            Owned key = MakeKey(keyText, !decoded);
            if (!key.value || !SkipMisc())
                return releasePending(), Owned();
            if (StartsWith("</"))
                return Fail("a key without a value"), releasePending(), Owned();
            Tag valueTag;
            if (!ReadOpenTag(valueTag))
                return releasePending(), Owned();
            Owned value = ReadValue(valueTag, depth + 1);
            if (!value.value)
                return releasePending(), Owned();
            entries.push_back({key.Release(), value.Release(), 0});
        }
    }

    // Keys are immutable whatever the leaves are: a key edited in place
    // would be lost in its table.
    Owned MakeKey(std::string_view utf8, bool shareable)
    {
        const bool leaves = mutableLeaves_;
        mutableLeaves_ = false;
        Owned key = MakeString(utf8, shareable);
        mutableLeaves_ = leaves;
        return key;
    }

    Owned ReadArray(const Tag& tag, int depth)
    {
        auto* array = new CFArrayObject(kCFTypeArrayCallBacks, mutableContainers_);
        Owned result(array);
        if (tag.selfClosing)
            return result;
        // Values wait in this depth's list until the array ends, so that
        // the array's own list is made once at its size; the list owns them.
        std::vector<const void*>& values = PendingAt(pendingValues_, depth);
        values.clear();
        auto releasePending = [&values] {
            for (const void* value : values)
                CFRelease(value);
            values.clear();
        };
        for (;;) {
            if (!SkipMisc())
                return releasePending(), Owned();
            if (StartsWith("</")) {
                if (!ReadCloseTag("array"))
                    return releasePending(), Owned();
                array->values.assign(values.begin(), values.end());  // the array adopts our references
                values.clear();
                return result;
            }
            Tag valueTag;
            if (!ReadOpenTag(valueTag))
                return releasePending(), Owned();
            Owned value = ReadValue(valueTag, depth + 1);
            if (!value.value)
                return releasePending(), Owned();
            values.push_back(value.Release());
        }
    }

    Owned ParseInteger(std::string_view text)
    {
        bool negative = false;
        if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
            negative = text[0] == '-';
            text.remove_prefix(1);
        }
        int base = 10;
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
            base = 16;
            text.remove_prefix(2);
        }
        uint64_t magnitude = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
        if (text.empty() || end != text.data() + text.size())
            return Fail("a malformed integer"), Owned();
        const uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1
                                        : uint64_t(std::numeric_limits<int64_t>::max());
        if (error == std::errc::result_out_of_range || magnitude > limit)
            return Fail("an integer that does not fit in 64 bits"), Owned();
        int64_t value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
        return MakeNumber(kCFNumberSInt64Type, &value);
    }

    Owned ParseReal(std::string_view text)
    {
        double value = 0;
        auto equals = [&text](std::string_view word) {
            return text.size() == word.size() && std::equal(text.begin(), text.end(), word.begin(),
                                                            [](char a, char b) { return LowerASCII(a) == b; });
        };
        if (equals("nan")) {
            value = std::numeric_limits<double>::quiet_NaN();
        } else if (equals("+infinity") || equals("infinity") || equals("inf") || equals("+inf")) {
            value = std::numeric_limits<double>::infinity();
        } else if (equals("-infinity") || equals("-inf")) {
            value = -std::numeric_limits<double>::infinity();
        } else {
            std::string_view digits = text;
            if (!digits.empty() && digits[0] == '+')
                digits.remove_prefix(1);
            auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
            if (digits.empty() || end != digits.data() + digits.size() ||
                (error != std::errc() && error != std::errc::result_out_of_range))
                return Fail("a malformed real number"), Owned();
            if (error == std::errc::result_out_of_range)
                value = OutOfRange(digits);
        }
        return MakeNumber(kCFNumberFloat64Type, &value);
    }

    // A number of the document; equal numbers share one object, as
    // numbers cannot be edited.
    Owned MakeNumber(CFNumberType type, const void* value)
    {
        uint64_t bits;
        std::memcpy(&bits, value, sizeof bits);
        const NumberKey key{bits, type == kCFNumberFloat64Type};
        auto it = sharedNumbers_.find(key);
        if (it != sharedNumbers_.end())
            return Owned(CFRetain(it->second));
        CFNumberRef number = CFNumberCreate(nullptr, type, value);
        if (sharedNumbers_.size() < kSharedNumberLimit)
            sharedNumbers_.emplace(key, static_cast<CFNumberRef>(CFRetain(number)));
        return Owned(number);
    }

    // A number too large or too small for a double: infinity or zero with
    // its sign (from_chars leaves its result untouched in that case).
    static double OutOfRange(std::string_view digits)
    {
        const bool negative = digits.front() == '-';
        const size_t e = digits.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && e + 1 < digits.size() && digits[e + 1] == '-';
        const double magnitude = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        return negative ? -magnitude : magnitude;
    }

    // "2001-01-01T00:00:00Z". A fraction of a second is accepted and
    // dropped, as the format keeps whole seconds: what is read can be
    // written back unchanged.
    Owned ParseDate(std::string_view text)
    {
        auto number = [&text](size_t at, size_t length, int& out) {
            out = 0;
            if (at + length > text.size())
                return false;
            for (size_t i = at; i < at + length; ++i) {
                if (text[i] < '0' || text[i] > '9')
                    return false;
                out = out * 10 + (text[i] - '0');
            }
            return true;
        };
        int year, month, day, hour, minute, second;
        bool ok = text.size() >= 20 && number(0, 4, year) && text[4] == '-' && number(5, 2, month) && text[7] == '-' &&
                  number(8, 2, day) && text[10] == 'T' && number(11, 2, hour) && text[13] == ':' &&
                  number(14, 2, minute) && text[16] == ':' && number(17, 2, second) && text.back() == 'Z';
        if (ok && text.size() > 20) {
            std::string_view fraction = text.substr(19, text.size() - 20);
            ok = fraction.size() > 1 && fraction[0] == '.' &&
                 fraction.find_first_not_of("0123456789", 1) == std::string_view::npos;
        }
        static constexpr int kDaysInMonth[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        if (!ok || month < 1 || month > 12 || day < 1 || day > kDaysInMonth[month - 1] || hour > 23 || minute > 59 ||
            second > 59)
            return Fail("a malformed date"), Owned();
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        if (month == 2 && day == 29 && !leap)
            return Fail("a malformed date"), Owned();
        CFUTCDateTime date{year, month, day, hour, minute, static_cast<double>(second)};
        return Owned(CFDateCreate(nullptr, CFAbsoluteTimeFromUTC(date)));
    }

    Owned ParseData(std::string_view text)
    {
        CFByteVector bytes(text.size() * 3 / 4 + 3);
        UInt8* out = bytes.data();
        const signed char* values = Tables().base64;
        uint32_t accumulator = 0;
        int bits = 0;
        bool padding = false;
        const auto* s = reinterpret_cast<const unsigned char*>(text.data());
        const auto* const e = s + text.size();
        while (s < e) {
            // Whole groups of four characters at a time: the lines of a
            // data element hold nothing else between their breaks.
            if (bits == 0 && !padding && e - s >= 4) {
                const int a = values[s[0]], b = values[s[1]], c = values[s[2]], d = values[s[3]];
                if ((a | b | c | d) >= 0) {
                    const uint32_t group = static_cast<uint32_t>(a << 18 | b << 12 | c << 6 | d);
                    out[0] = static_cast<UInt8>(group >> 16);
                    out[1] = static_cast<UInt8>(group >> 8);
                    out[2] = static_cast<UInt8>(group);
                    out += 3;
                    s += 4;
                    continue;
                }
            }
            const unsigned char c = *s++;
            const int value = values[c];
            if (value >= 0 && !padding) {
                accumulator = (accumulator << 6) | static_cast<uint32_t>(value);
                bits += 6;
                if (bits >= 8) {
                    bits -= 8;
                    *out++ = static_cast<UInt8>(accumulator >> bits);
                }
            } else if (c == '=') {
                padding = true;
            } else if (!IsSpace(static_cast<char>(c))) {
                return Fail("malformed Base64 data"), Owned();
            }
        }
        if (bits >= 6)  // a single character left over cannot end a group
            return Fail("malformed Base64 data"), Owned();
        bytes.resize(static_cast<size_t>(out - bytes.data()));
        return Owned(CFDataCreateWithVector(std::move(bytes), mutableLeaves_));
    }

    const char* const begin_;
    const char* p_;
    const char* const end_;
    const bool mutableContainers_;
    bool mutableLeaves_;
    std::string error_;
    std::string scratch_;
    std::u16string scratchUnits_;
    // The tables of shared values live in node memory: inside the arena of
    // a large document, whose pages are present already, their growth costs
    // no page faults of its own.
    template <typename Key, typename Value, typename Hash = std::hash<Key>>
    using NodeMap =
        std::unordered_map<Key, Value, Hash, std::equal_to<Key>, CFNodeAllocator<std::pair<const Key, Value>>>;
    NodeMap<std::string_view, CFStringRef> sharedStrings_;
    struct NumberKey {
        uint64_t bits;
        bool isFloat;
        bool operator==(const NumberKey&) const = default;
    };
    struct NumberKeyHash {
        size_t operator()(const NumberKey& key) const { return std::hash<uint64_t>{}(key.bits * 2 + key.isFloat); }
    };
    NodeMap<NumberKey, CFNumberRef, NumberKeyHash> sharedNumbers_;
    // Each depth's dictionary entries while the dictionary is being read.
    // (A deque: a deeper level's list is added while a shallower one is in
    // use.)
    std::deque<std::vector<CFDictionaryObject::Entry>> pending_;
    // Each depth's array values while the array is being read.
    std::deque<std::vector<const void*>> pendingValues_;

    template <typename Lists>
    static typename Lists::value_type& PendingAt(Lists& lists, int depth)
    {
        while (lists.size() <= static_cast<size_t>(depth))
            lists.emplace_back();
        return lists[static_cast<size_t>(depth)];
    }
};

// The declared encoding of the XML declaration, lower-cased; empty when none.
std::string DeclaredEncoding(std::string_view document)
{
    if (document.substr(0, 5) != "<?xml")
        return {};
    std::string_view declaration = document.substr(0, document.find("?>"));
    size_t at = declaration.find("encoding");
    if (at == std::string_view::npos)
        return {};
    at = declaration.find_first_of("\"'", at);
    if (at == std::string_view::npos)
        return {};
    size_t end = declaration.find(declaration[at], at + 1);
    if (end == std::string_view::npos)
        return {};
    std::string name(declaration.substr(at + 1, end - at - 1));
    std::transform(name.begin(), name.end(), name.begin(), LowerASCII);
    return name;
}

// Brings a document in another encoding to UTF-8; false for an encoding we
// do not read.
bool ToUTF8(std::string_view document, std::string& utf8, std::string& error)
{
    std::u16string units;
    const auto* bytes = reinterpret_cast<const UInt8*>(document.data());
    if (document.size() >= 2 && ((bytes[0] == 0xFE && bytes[1] == 0xFF) || (bytes[0] == 0xFF && bytes[1] == 0xFE))) {
        if (!CFDecodeBytes(bytes, document.size(), kCFStringEncodingUTF16, true, units)) {
            error = "Malformed property list: the UTF-16 text is cut short.";
            return false;
        }
        utf8 = CFEncodeUTF8(units);
        return true;
    }
    const std::string encoding = DeclaredEncoding(document);
    CFStringEncoding from;
    if (encoding.empty() || encoding == "utf-8" || encoding == "utf8") {
        utf8.assign(document);
        return true;
    } else if (encoding == "iso-8859-1" || encoding == "latin1" || encoding == "iso_8859-1") {
        from = kCFStringEncodingISOLatin1;
    } else if (encoding == "windows-1252" || encoding == "cp1252") {
        from = kCFStringEncodingWindowsLatin1;
    } else if (encoding == "macintosh" || encoding == "x-mac-roman" || encoding == "macroman") {
        from = kCFStringEncodingMacRoman;
    } else if (encoding == "us-ascii" || encoding == "ascii") {
        from = kCFStringEncodingASCII;
    } else {
        error = "Malformed property list: the encoding \"" + encoding + "\" is not supported.";
        return false;
    }
    if (!CFDecodeBytes(bytes, document.size(), from, false, units)) {
        error = "Malformed property list: the text is not valid " + encoding + ".";
        return false;
    }
    utf8 = CFEncodeUTF8(units);
    return true;
}

CFTypeRef DeepCopy(CFTypeRef value, CFOptionFlags mutability, int depth);

}  // namespace

CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef, CFDataRef xmlData, CFOptionFlags mutabilityOption,
                                                  CFStringRef* errorString)
{
    if (errorString)
        *errorString = nullptr;
    const CFDataObject* data = CFDataObjectOf(xmlData);
    if (data == nullptr) {
        if (errorString)
            *errorString = CFStringCreateWithUTF8("No property-list data was given.");
        return nullptr;
    }
    std::string_view document(reinterpret_cast<const char*>(data->bytes.data()), data->bytes.size());
    if (document.substr(0, 3) == "\xEF\xBB\xBF")
        document.remove_prefix(3);

    std::string converted;
    std::string error;
    const std::string encoding = DeclaredEncoding(document);
    const bool isUTF8 = (encoding.empty() || encoding == "utf-8" || encoding == "utf8") &&
                        !(document.size() >= 2 && (static_cast<unsigned char>(document[0]) >= 0xFE));
    if (!isUTF8) {
        if (!ToUTF8(document, converted, error)) {
            if (errorString)
                *errorString = CFStringCreateWithUTF8OrMacRoman(error);
            return nullptr;
        }
        document = converted;
    }

    // Documents in the old text format (.strings files among them) begin
    // with something other than markup.
    const size_t first = document.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && document[first] != '<') {
        CFPropertyListRef result = CFOpenStepPropertyListCreate(document, mutabilityOption, &error);
        if (result == nullptr && errorString)
            *errorString = CFStringCreateWithUTF8OrMacRoman(error);
        return result;
    }

    // The tree's objects are carved from chunks of their own (CFRuntime.h):
    // a large document's tree costs a page fault per 2 MB instead of one
    // per page, and freeing it no search of the heap's free lists.
    CFPropertyListRef result;
    std::string reason;
    {
        CFNodeArenaScope arena(document.size());
        Reader reader(document, mutabilityOption);
        result = reader.Parse();
        if (result == nullptr)
            reason = reader.Error();
    }
    if (result == nullptr && errorString)
        *errorString = CFStringCreateWithUTF8OrMacRoman(reason);
    return result;
}

namespace {

CFTypeRef DeepCopy(CFTypeRef value, CFOptionFlags mutability, int depth)
{
    if (value == nullptr || depth > kMaximumDepth)
        return nullptr;
    const bool mutableContainers = mutability != kCFPropertyListImmutable;
    const bool mutableLeaves = mutability == kCFPropertyListMutableContainersAndLeaves;
    switch (CFGetTypeID(value)) {
    case kCFRuntimeTypeString:
        return mutableLeaves ? CFStringCreateMutableCopy(nullptr, 0, static_cast<CFStringRef>(value))
                             : CFStringCreateWithUTF16(std::u16string(CFStringView(value)));
    case kCFRuntimeTypeData: {
        const CFDataObject* data = CFDataObjectOf(value);
        return CFDataCreateWithVector(data->bytes.Copy(), mutableLeaves);
    }
    case kCFRuntimeTypeArray: {
        const CFArrayObject* source = CFArrayObjectOf(value);
        auto* copy = new CFArrayObject(kCFTypeArrayCallBacks, mutableContainers);
        Owned result(copy);
        for (const void* element : source->values) {
            CFTypeRef child = DeepCopy(element, mutability, depth + 1);
            if (child == nullptr)
                return nullptr;
            copy->values.push_back(child);
        }
        return result.Release();
    }
    case kCFRuntimeTypeDictionary: {
        const CFDictionaryObject* source = CFDictionaryObjectOf(value);
        auto* copy =
            new CFDictionaryObject(kCFTypeDictionaryKeyCallBacks, kCFTypeDictionaryValueCallBacks, mutableContainers);
        Owned result(copy);
        for (const auto& entry : source->entries) {
            if (CFStringObjectOf(entry.key) == nullptr)
                return nullptr;
            Owned key(CFStringCreateWithUTF16(std::u16string(CFStringView(entry.key))));
            Owned child(DeepCopy(entry.value, mutability, depth + 1));
            if (child.value == nullptr)
                return nullptr;
            copy->AppendDistinct(key.value, child.value);
        }
        return result.Release();
    }
    case kCFRuntimeTypeNumber:
    case kCFRuntimeTypeBoolean:
    case kCFRuntimeTypeDate:
        return CFRetain(value);  // immutable values can be shared
    default:
        return nullptr;
    }
}

}  // namespace

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef, CFPropertyListRef propertyList,
                                               CFOptionFlags mutabilityOption)
{
    return DeepCopy(propertyList, mutabilityOption, 0);
}
