// Writes property lists as XML, in the layout of the platform's own writer
// so that files look the same whichever program wrote them.
//
// The writer runs twice over the tree: once counting the bytes, once writing
// them into a buffer of exactly that size. A sheet of tens of megabytes is
// then written without its buffer ever being copied to grow, and its memory
// is touched once; both passes share every line of the layout, so the count
// cannot disagree with what is written.

#include "CFContainersInternal.h"
#include "CFDataInternal.h"
#include "CFDateInternal.h"
#include "CFStringInternal.h"

#include <CoreFoundation/CFDate.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFPropertyList.h>

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";
constexpr std::string_view kFooter = "</plist>\n";
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kMaximumDepth = 512;
constexpr std::string_view kTabs = "\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t";

enum class Pass { Count, Write };

bool IsPlain(char16_t c)
{
    return c < 0x80 && c != '&' && c != '<' && c != '>';
}

// The length of the run of plain ASCII (no markup characters) that `units`
// begins with, copied to `out` as bytes when `out` is given. Eight units at
// a time: text is most of a sheet.
size_t PlainRun(const char16_t* units, size_t n, UInt8* out)
{
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    const __m128i ampersand = _mm_set1_epi16('&');
    const __m128i less = _mm_set1_epi16('<');
    const __m128i greater = _mm_set1_epi16('>');
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        const __m128i bad = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi16(v, ampersand), _mm_cmpeq_epi16(v, less)),
            _mm_or_si128(_mm_cmpeq_epi16(v, greater),
                         _mm_xor_si128(_mm_cmpeq_epi16(_mm_and_si128(v, high), zero), _mm_cmpeq_epi16(zero, zero))));
        if (_mm_movemask_epi8(bad) != 0)
            break;
        if (out)
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(v, v));
    }
#endif
    for (; i < n && IsPlain(units[i]); ++i)
        if (out)
            out[i] = static_cast<UInt8>(units[i]);
    return i;
}

// The bytes PutEscaped writes for a text: UTF-8, "&", "<" and ">" escaped,
// a lone surrogate written as U+FFFD.
size_t EscapedLength(std::u16string_view units)
{
    size_t bytes = units.size();
    const size_t n = units.size();
    for (size_t i = 0; i < n; ++i) {
        i += PlainRun(units.data() + i, n - i, nullptr);
        if (i >= n)
            break;
        const char16_t c = units[i];
        if (c == '&')
            bytes += 4;
        else if (c == '<' || c == '>')
            bytes += 3;
        else if (c < 0x800)
            bytes += 1;
        else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
            ++i, bytes += 2;  // two units, four bytes
        else
            bytes += 2;
    }
    return bytes;
}

// What the counting pass works out once for the writing pass: each
// dictionary's entries in key order and each number's text, in the order
// the writing pass meets them.
struct Tape {
    std::vector<const CFDictionaryObject::Entry*> orders;
    std::string numbers;
    std::vector<uint32_t> numberLengths;
    size_t nextOrder = 0;
    size_t nextNumber = 0;
    size_t numberOffset = 0;
};

template <Pass kPass>
class Writer {
public:
    // Counting needs no buffer; writing needs one of the counted size.
    Writer(Tape& tape, UInt8* buffer = nullptr) : cursor_(buffer), tape_(tape) {}

    size_t Count() const { return count_; }

    void Put(std::string_view text)
    {
        if constexpr (kPass == Pass::Write)
            std::memcpy(cursor_ + count_, text.data(), text.size());
        count_ += text.size();
    }

    void PutByte(UInt8 byte)
    {
        if constexpr (kPass == Pass::Write)
            cursor_[count_] = byte;
        ++count_;
    }

    // Writes `value` at `depth`; false when it is not a property list that
    // can be written (a value of another type, a key that is not a string,
    // a date outside the years 0 to 9999, nesting too deep).
    bool Write(CFTypeRef value, int depth)
    {
        if (value == nullptr || depth > kMaximumDepth)
            return false;
        switch (CFGetTypeID(value)) {
        case kCFRuntimeTypeString:
            Put("<string>");
            PutEscaped(CFStringView(value));
            Put("</string>\n");
            return true;
        case kCFRuntimeTypeDictionary:
            return WriteDictionary(CFDictionaryObjectOf(value), depth);
        case kCFRuntimeTypeArray: {
            const auto& values = CFArrayObjectOf(value)->values;
            if (values.empty()) {
                Put("<array/>\n");
                return true;
            }
            Put("<array>\n");
            for (const void* element : values) {
                Indent(depth + 1);
                if (!Write(element, depth + 1))
                    return false;
            }
            Indent(depth);
            Put("</array>\n");
            return true;
        }
        case kCFRuntimeTypeNumber:
            WriteNumber(static_cast<CFNumberRef>(value));
            return true;
        case kCFRuntimeTypeBoolean:
            Put(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? "<true/>\n" : "<false/>\n");
            return true;
        case kCFRuntimeTypeData:
            Put("<data>\n");
            PutBase64(CFDataObjectOf(value)->bytes, depth);
            Indent(depth);
            Put("</data>\n");
            return true;
        case kCFRuntimeTypeDate:
            return WriteDate(CFDateGetAbsoluteTime(static_cast<CFDateRef>(value)));
        default:
            return false;
        }
    }

private:
    void Indent(int depth)
    {
        for (size_t left = static_cast<size_t>(depth); left > 0;) {
            const size_t run = std::min(left, kTabs.size());
            Put(kTabs.substr(0, run));
            left -= run;
        }
    }

    bool WriteDictionary(const CFDictionaryObject* dictionary, int depth)
    {
        const auto& entries = dictionary->entries;
        if (entries.empty()) {
            Put("<dict/>\n");
            return true;
        }
        // The counting pass sorts the keys and keeps the order on the tape.
        const size_t first = kPass == Pass::Count ? tape_.orders.size() : tape_.nextOrder;
        if constexpr (kPass == Pass::Count) {
            for (const auto& entry : entries) {
                if (CFStringObjectOf(entry.key) == nullptr)
                    return false;  // only string keys make a property list
                tape_.orders.push_back(&entry);
            }
            std::sort(tape_.orders.begin() + static_cast<ptrdiff_t>(first), tape_.orders.end(),
                      [](const auto* a, const auto* b) { return CFStringView(a->key) < CFStringView(b->key); });
        } else {
            tape_.nextOrder += entries.size();
        }
        Put("<dict>\n");
        for (size_t i = first; i < first + entries.size(); ++i) {
            const CFDictionaryObject::Entry* entry = tape_.orders[i];
            Indent(depth + 1);
            Put("<key>");
            PutEscaped(CFStringView(entry->key));
            Put("</key>\n");
            Indent(depth + 1);
            if (!Write(entry->value, depth + 1))
                return false;
        }
        Indent(depth);
        Put("</dict>\n");
        return true;
    }

    // A number's text: worked out while counting, replayed while writing.
    void PutNumberText(std::string_view text)
    {
        tape_.numbers.append(text);
        tape_.numberLengths.push_back(static_cast<uint32_t>(text.size()));
        Put(text);
    }

    bool ReplayNumberText()
    {
        if constexpr (kPass == Pass::Write) {
            const uint32_t length = tape_.numberLengths[tape_.nextNumber++];
            Put(std::string_view(tape_.numbers.data() + tape_.numberOffset, length));
            tape_.numberOffset += length;
            return true;
        }
        return false;
    }

    void WriteNumber(CFNumberRef number)
    {
        const bool isFloat = CFNumberIsFloatType(number);
        Put(isFloat ? "<real>" : "<integer>");
        if (!ReplayNumberText()) {
            char text[48];
            char* end = text;
            if (!isFloat) {
                int64_t value = 0;
                CFNumberGetValue(number, kCFNumberSInt64Type, &value);
                end = std::to_chars(text, text + sizeof text, value).ptr;
            } else {
                double value = 0;
                CFNumberGetValue(number, kCFNumberFloat64Type, &value);
                if (std::isnan(value))
                    end = std::copy_n("nan", 3, text);
                else if (std::isinf(value))
                    end = std::copy_n(value > 0 ? "+infinity" : "-infinity", 9, text);
                else
                    end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17).ptr;
            }
            PutNumberText(std::string_view(text, static_cast<size_t>(end - text)));
        }
        Put(isFloat ? "</real>\n" : "</integer>\n");
    }

    void PutDigits(int value, int width, char after)
    {
        char text[8];
        for (int i = width - 1; i >= 0; --i) {
            text[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        text[width] = after;
        Put(std::string_view(text, static_cast<size_t>(width) + 1));
    }

    // Whole seconds, as the format keeps them; years 0 to 9999 only.
    bool WriteDate(CFAbsoluteTime at)
    {
        CFUTCDateTime date;
        if (!CFAbsoluteTimeToUTC(at, &date) || date.year < 0 || date.year > 9999)
            return false;
        Put("<date>");
        PutDigits(static_cast<int>(date.year), 4, '-');
        PutDigits(date.month, 2, '-');
        PutDigits(date.day, 2, 'T');
        PutDigits(date.hour, 2, ':');
        PutDigits(date.minute, 2, ':');
        PutDigits(static_cast<int>(std::floor(date.second)), 2, 'Z');
        Put("</date>\n");
        return true;
    }

    // UTF-8 with "&", "<" and ">" escaped; other characters, control
    // characters included, are written as they are.
    void PutEscaped(std::u16string_view units)
    {
        if constexpr (kPass == Pass::Count) {
            count_ += EscapedLength(units);
            return;
        }
        const size_t n = units.size();
        size_t i = 0;
        while (i < n) {
            // Most text is plain ASCII, copied in runs.
            const size_t run = PlainRun(units.data() + i, n - i, cursor_ + count_);
            count_ += run;
            i += run;
            if (i == n)
                break;
            char32_t c = units[i++];
            switch (c) {
            case '&':
                Put("&amp;");
                continue;
            case '<':
                Put("&lt;");
                continue;
            case '>':
                Put("&gt;");
                continue;
            default:
                break;
            }
            if (c >= 0xD800 && c <= 0xDBFF && i < n && units[i] >= 0xDC00 && units[i] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (units[i] - 0xDC00);
                ++i;
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                c = 0xFFFD;  // a lone surrogate has no UTF-8 form
            }
            if (c < 0x800) {
                PutByte(static_cast<UInt8>(0xC0 | (c >> 6)));
            } else if (c < 0x10000) {
                PutByte(static_cast<UInt8>(0xE0 | (c >> 12)));
                PutByte(static_cast<UInt8>(0x80 | ((c >> 6) & 0x3F)));
            } else {
                PutByte(static_cast<UInt8>(0xF0 | (c >> 18)));
                PutByte(static_cast<UInt8>(0x80 | ((c >> 12) & 0x3F)));
                PutByte(static_cast<UInt8>(0x80 | ((c >> 6) & 0x3F)));
            }
            PutByte(static_cast<UInt8>(0x80 | (c & 0x3F)));
        }
    }

    // Base64 in lines of 76 characters less eight for every level of
    // indentation (at most eight levels), each line indented like the
    // element, as the platform's writer lays data out.
    void PutBase64(const CFByteVector& bytes, int depth)
    {
        const int indent = std::min(depth, 8);
        const size_t lineLength = static_cast<size_t>(76 - 8 * indent);
        size_t line = 0;  // characters on the current line
        auto startLine = [&] {
            if (line == 0)
                Indent(indent);
        };
        const size_t count = bytes.size();
        const UInt8* p = bytes.data();
        const size_t whole = count - count % 3;
        for (size_t i = 0; i < whole; i += 3) {
            startLine();
            // A group of three bytes makes four characters; the line can only
            // end inside the group when it is nearly full.
            if (line + 4 < lineLength) {
                if constexpr (kPass == Pass::Write) {
                    UInt8* out = cursor_ + count_;
                    out[0] = kBase64Alphabet[p[i] >> 2];
                    out[1] = kBase64Alphabet[((p[i] << 4) | (p[i + 1] >> 4)) & 0x3F];
                    out[2] = kBase64Alphabet[((p[i + 1] << 2) | (p[i + 2] >> 6)) & 0x3F];
                    out[3] = kBase64Alphabet[p[i + 2] & 0x3F];
                }
                count_ += 4;
                line += 4;
                continue;
            }
            for (size_t k = i; k < i + 3; ++k) {
                startLine();
                switch (k % 3) {
                case 0:
                    PutByte(kBase64Alphabet[(p[k] >> 2) & 0x3F]);
                    ++line;
                    break;
                case 1:
                    PutByte(kBase64Alphabet[(((p[k - 1] << 8) | p[k]) >> 4) & 0x3F]);
                    ++line;
                    break;
                case 2:
                    PutByte(kBase64Alphabet[(((p[k - 1] << 8) | p[k]) >> 6) & 0x3F]);
                    PutByte(kBase64Alphabet[p[k] & 0x3F]);
                    line += 2;
                    break;
                }
                if (line >= lineLength) {
                    PutByte('\n');
                    line = 0;
                }
            }
        }
        // The one or two bytes of an unfinished group.
        for (size_t k = whole; k < count; ++k) {
            startLine();
            if (k % 3 == 0) {
                PutByte(kBase64Alphabet[(p[k] >> 2) & 0x3F]);
                ++line;
            } else {
                PutByte(kBase64Alphabet[(((p[k - 1] << 8) | p[k]) >> 4) & 0x3F]);
                ++line;
            }
            if (line >= lineLength) {
                PutByte('\n');
                line = 0;
            }
        }
        if (count % 3 != 0) {
            startLine();
            if (count % 3 == 1) {
                PutByte(kBase64Alphabet[(p[count - 1] << 4) & 0x30]);
                Put("==");
            } else {
                PutByte(kBase64Alphabet[(p[count - 1] << 2) & 0x3C]);
                Put("=");
            }
            line += 3;
        }
        if (line > 0)
            PutByte('\n');
    }

    UInt8* cursor_;
    size_t count_ = 0;
    Tape& tape_;
};

}  // namespace

CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef, CFPropertyListRef propertyList)
{
    Tape tape;
    Writer<Pass::Count> counter(tape);
    if (!counter.Write(propertyList, 0))
        return nullptr;
    const size_t size = kHeader.size() + counter.Count() + kFooter.size();
    CFByteVector bytes(size);
    Writer<Pass::Write> writer(tape, bytes.data());
    writer.Put(kHeader);
    writer.Write(propertyList, 0);
    writer.Put(kFooter);
    return CFDataCreateWithVector(std::move(bytes), false);
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format)
{
    Tape tape;
    Writer<Pass::Count> counter(tape);
    return format == kCFPropertyListXMLFormat_v1_0 && counter.Write(plist, 0);
}
