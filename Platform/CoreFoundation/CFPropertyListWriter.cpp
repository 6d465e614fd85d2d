// Writes property lists as XML, in the layout of the platform's own writer
// so that files look the same whichever program wrote them.
//
// One walk over the tree, into a buffer that grows as it fills. Once the
// tree's text is worked out, what a large sheet costs to write is mostly
// the fresh memory the text lands in (a page fault for every page), so the
// buffer touches each page once: it is never cleared first, never copied
// to grow past a few hundred kilobytes, and a large text lies on huge
// pages where the system offers them. A text of up to a few hundred
// kilobytes lands, where it can, in memory that is present already: the
// room a parsed tree left in its chunk (CFRuntime.h). The data object then
// takes the buffer over as it is. (Counting the bytes in a first walk, to
// fill a buffer of exactly that size, touched no fewer pages and took
// twice the work.)

#include "CFContainersInternal.h"
#include "CFDataInternal.h"
#include "CFDateInternal.h"
#include "CFStringInternal.h"

#include <CoreFoundation/CFDate.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFPropertyList.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string_view>
#include <utility>
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
// The most bytes one UTF-16 unit of text is written as ("&amp;").
constexpr size_t kMaximumBytesPerUnit = 5;

size_t PageSize()
{
    static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return size;
}

size_t RoundUp(size_t value, size_t unit)
{
    return (value + unit - 1) / unit * unit;
}

void FreeBlock(const UInt8* block, size_t)
{
    std::free(const_cast<UInt8*>(block));
}

void FreeNodeBlock(const UInt8* block, size_t)
{
    CFNodeFree(const_cast<UInt8*>(block));
}

// A mapping is kept to the pages its text needs (see Buffer::Finish).
void UnmapBlock(const UInt8* block, size_t size)
{
    munmap(const_cast<UInt8*>(block), RoundUp(size, PageSize()));
}

// The text being written. Callers reserve room before they append, so the
// appends themselves never check.
class Buffer {
public:
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer()
    {
        if (room_.chunk)
            CFNodeReturnRoom(room_);
        else if (mapped_)
            munmap(data_, capacity_);
        else
            std::free(data_);
    }

    // Room for `more` bytes after what is written; false when there is no
    // memory for it.
    bool Reserve(size_t more) { return capacity_ - size_ >= more || Grow(more); }

    UInt8* End() { return data_ + size_; }
    void Advance(size_t count) { size_ += count; }
    void Append(std::string_view text)
    {
        std::memcpy(data_ + size_, text.data(), text.size());
        size_ += text.size();
    }
    void Append(char byte) { data_[size_++] = static_cast<UInt8>(byte); }

    // A data object holding the text; the buffer is its from now on.
    CFDataRef Finish()
    {
        CFDataReleaseBlock release;
        if (room_.chunk) {
            data_ = static_cast<UInt8*>(CFNodeKeepRoom(room_, size_));
            release = FreeNodeBlock;
        } else if (mapped_) {
            const size_t kept = RoundUp(size_, PageSize());
            if (kept < capacity_)
                munmap(data_ + kept, capacity_ - kept);
            release = UnmapBlock;
        } else {
            if (void* fitted = std::realloc(data_, size_))
                data_ = static_cast<UInt8*>(fitted);
            release = FreeBlock;
        }
        // The block is no longer the buffer's to free: borrowed room was
        // carved into a node block, and a mapping cut to its text.
        UInt8* block = std::exchange(data_, nullptr);
        const size_t size = std::exchange(size_, 0);
        capacity_ = 0;
        mapped_ = false;
        try {
            return CFDataCreateWithBlock(block, size, release);
        } catch (...) {
            release(block, size);
            throw;
        }
    }

private:
    // Where the text lives as it grows: a small block on the heap, whose
    // memory is mostly in use already; then the room a parsed tree left in
    // its chunk, when this thread has at least a medium block of it, or
    // else a block as large as a sheet of a few hundred cards, whose pages
    // are touched only as the text reaches them; past that, a mapping of
    // whole huge pages that grows by being remapped. A text that small
    // never waits for a huge page to be cleared, and a large one takes a
    // page fault per 2 MB.
    static constexpr size_t kSmallCapacity = size_t(16) << 10;
    static constexpr size_t kMediumCapacity = size_t(256) << 10;
    static constexpr size_t kHugePage = size_t(2) << 20;

    bool Grow(size_t more)
    {
        if (more > SIZE_MAX / 4 - size_)
            return false;
        const size_t needed = size_ + more;
        if (!mapped_ && room_.chunk == nullptr && needed > kSmallCapacity && needed <= kMediumCapacity &&
            CFNodeBorrowRoom(kMediumCapacity, &room_)) {
            std::memcpy(room_.bytes, data_, size_);
            std::free(data_);
            data_ = static_cast<UInt8*>(room_.bytes);
            capacity_ = room_.size;
            return true;
        }
        if (!mapped_ && room_.chunk == nullptr && needed <= kMediumCapacity) {
            const size_t wanted = needed <= kSmallCapacity ? kSmallCapacity : kMediumCapacity;
            void* grown = std::realloc(data_, wanted);
            if (grown == nullptr)
                return false;
            data_ = static_cast<UInt8*>(grown);
            capacity_ = wanted;
            return true;
        }
        const size_t length = RoundUp(std::max({needed, capacity_ * 2, 4 * kHugePage}), kHugePage);
        void* grown;
        if (mapped_) {
            grown = mremap(data_, capacity_, length, MREMAP_MAYMOVE);
        } else {
            grown = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (grown != MAP_FAILED) {
                madvise(grown, length, MADV_HUGEPAGE);
                std::memcpy(grown, data_, size_);
                if (room_.chunk)
                    CFNodeReturnRoom(room_);
                else
                    std::free(data_);
            }
        }
        if (grown == MAP_FAILED)
            return false;
        data_ = static_cast<UInt8*>(grown);
        capacity_ = length;
        mapped_ = true;
        return true;
    }

    UInt8* data_ = nullptr;
    CFNodeRoom room_;  // where data_ lies when it is borrowed room
    size_t size_ = 0;
    size_t capacity_ = 0;
    bool mapped_ = false;
};

bool IsPlain(char16_t c)
{
    return c < 0x80 && c != '&' && c != '<' && c != '>';
}

// The length of the run of plain ASCII (no markup characters) that `units`
// begins with, copied to `out` as bytes. Eight units at a time: text is
// most of a sheet.
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
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(v, v));
    }
#endif
    for (; i < n && IsPlain(units[i]); ++i)
        out[i] = static_cast<UInt8>(units[i]);
    return i;
}

std::u16string_view UnitsOf(CFTypeRef string)
{
    return CFStringObjectOf(string)->units;
}

class Writer {
public:
    explicit Writer(Buffer& out) : out_(out) {}

    // Writes `value` at `depth`; false when it is not a property list that
    // can be written (a value of another type, a key that is not a string,
    // a date outside the years 0 to 9999, nesting too deep), or when there
    // is no memory for the text.
    bool Write(CFTypeRef value, int depth)
    {
        if (value == nullptr || depth > kMaximumDepth)
            return false;
        switch (CFGetTypeID(value)) {
        case kCFRuntimeTypeString: {
            const std::u16string_view units = UnitsOf(value);
            if (!Reserve(units.size(), 32))
                return false;
            out_.Append("<string>");
            PutEscaped(units);
            out_.Append("</string>\n");
            return true;
        }
        case kCFRuntimeTypeDictionary:
            return WriteDictionary(CFDictionaryObjectOf(value), depth);
        case kCFRuntimeTypeArray:
            return WriteArray(CFArrayObjectOf(value)->values, depth);
        case kCFRuntimeTypeNumber:
            return WriteNumber(static_cast<CFNumberRef>(value));
        case kCFRuntimeTypeBoolean:
            return Put(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? "<true/>\n" : "<false/>\n");
        case kCFRuntimeTypeData:
            return WriteData(CFDataObjectOf(value)->bytes, depth);
        case kCFRuntimeTypeDate:
            return WriteDate(CFDateGetAbsoluteTime(static_cast<CFDateRef>(value)));
        default:
            return false;
        }
    }

    bool Put(std::string_view text)
    {
        if (!out_.Reserve(text.size()))
            return false;
        out_.Append(text);
        return true;
    }

private:
    // Room for `units` of escaped text and `more` other bytes.
    bool Reserve(size_t units, size_t more)
    {
        return units <= SIZE_MAX / (2 * kMaximumBytesPerUnit) && out_.Reserve(units * kMaximumBytesPerUnit + more);
    }

    // After room for `depth` bytes was reserved.
    void Indent(int depth)
    {
        for (size_t left = static_cast<size_t>(depth); left > 0;) {
            const size_t run = std::min(left, kTabs.size());
            out_.Append(kTabs.substr(0, run));
            left -= run;
        }
    }

    bool WriteArray(const CFNodeVector<const void*>& values, int depth)
    {
        if (values.empty())
            return Put("<array/>\n");
        if (!Put("<array>\n"))
            return false;
        for (const void* element : values) {
            if (!out_.Reserve(static_cast<size_t>(depth) + 1))
                return false;
            Indent(depth + 1);
            if (!Write(element, depth + 1))
                return false;
        }
        if (!out_.Reserve(static_cast<size_t>(depth) + 16))
            return false;
        Indent(depth);
        out_.Append("</array>\n");
        return true;
    }

    // Keys in sorted order. A dictionary read from a file, ours or another
    // writer's, mostly has them in that order already and is written as
    // it is; the others are sorted in a list of their depth's own.
    bool WriteDictionary(const CFDictionaryObject* dictionary, int depth)
    {
        using Entry = CFDictionaryObject::Entry;
        const CFNodeVector<Entry>& entries = dictionary->entries;
        if (entries.empty())
            return Put("<dict/>\n");
        bool inOrder = true;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (CFStringObjectOf(entries[i].key) == nullptr)
                return false;  // only string keys make a property list
            if (i > 0 && UnitsOf(entries[i].key) < UnitsOf(entries[i - 1].key))
                inOrder = false;
        }
        std::vector<const Entry*>* sorted = nullptr;
        if (!inOrder) {
            while (orders_.size() <= static_cast<size_t>(depth))
                orders_.emplace_back();
            sorted = &orders_[static_cast<size_t>(depth)];
            sorted->clear();
            for (const Entry& entry : entries)
                sorted->push_back(&entry);
            std::sort(sorted->begin(), sorted->end(),
                      [](const Entry* a, const Entry* b) { return UnitsOf(a->key) < UnitsOf(b->key); });
        }
        if (!Put("<dict>\n"))
            return false;
        for (size_t i = 0; i < entries.size(); ++i) {
            const Entry& entry = sorted ? *(*sorted)[i] : entries[i];
            const std::u16string_view key = UnitsOf(entry.key);
            if (!Reserve(key.size(), 2 * static_cast<size_t>(depth) + 32))
                return false;
            Indent(depth + 1);
            out_.Append("<key>");
            PutEscaped(key);
            out_.Append("</key>\n");
            Indent(depth + 1);
            if (!Write(entry.value, depth + 1))
                return false;
        }
        if (!out_.Reserve(static_cast<size_t>(depth) + 16))
            return false;
        Indent(depth);
        out_.Append("</dict>\n");
        return true;
    }

    bool WriteNumber(CFNumberRef number)
    {
        if (!out_.Reserve(64))
            return false;
        const bool isFloat = CFNumberIsFloatType(number);
        out_.Append(isFloat ? "<real>" : "<integer>");
        char* const start = reinterpret_cast<char*>(out_.End());
        char* end;
        if (!isFloat) {
            int64_t value = 0;
            CFNumberGetValue(number, kCFNumberSInt64Type, &value);
            end = std::to_chars(start, start + 32, value).ptr;
        } else {
            double value = 0;
            CFNumberGetValue(number, kCFNumberFloat64Type, &value);
            if (std::isnan(value))
                end = std::copy_n("nan", 3, start);
            else if (std::isinf(value))
                end = std::copy_n(value > 0 ? "+infinity" : "-infinity", 9, start);
            else
                end = std::to_chars(start, start + 32, value, std::chars_format::general, 17).ptr;
        }
        out_.Advance(static_cast<size_t>(end - start));
        out_.Append(isFloat ? "</real>\n" : "</integer>\n");
        return true;
    }

    void PutDigits(int value, int width, char after)
    {
        char text[8];
        for (int i = width - 1; i >= 0; --i) {
            text[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
        text[width] = after;
        out_.Append(std::string_view(text, static_cast<size_t>(width) + 1));
    }

    // Whole seconds, as the format keeps them; years 0 to 9999 only.
    bool WriteDate(CFAbsoluteTime at)
    {
        CFUTCDateTime date;
        if (!CFAbsoluteTimeToUTC(at, &date) || date.year < 0 || date.year > 9999 || !out_.Reserve(48))
            return false;
        out_.Append("<date>");
        PutDigits(static_cast<int>(date.year), 4, '-');
        PutDigits(date.month, 2, '-');
        PutDigits(date.day, 2, 'T');
        PutDigits(date.hour, 2, ':');
        PutDigits(date.minute, 2, ':');
        PutDigits(static_cast<int>(std::floor(date.second)), 2, 'Z');
        out_.Append("</date>\n");
        return true;
    }

    // UTF-8 with "&", "<" and ">" escaped; other characters, control
    // characters included, are written as they are. Room for the most the
    // text can take was reserved.
    void PutEscaped(std::u16string_view units)
    {
        const size_t n = units.size();
        size_t i = 0;
        while (i < n) {
            // Most text is plain ASCII, copied in runs.
            const size_t run = PlainRun(units.data() + i, n - i, out_.End());
            out_.Advance(run);
            i += run;
            if (i == n)
                break;
            char32_t c = units[i++];
            switch (c) {
            case '&':
                out_.Append("&amp;");
                continue;
            case '<':
                out_.Append("&lt;");
                continue;
            case '>':
                out_.Append("&gt;");
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
                out_.Append(static_cast<char>(0xC0 | (c >> 6)));
            } else if (c < 0x10000) {
                out_.Append(static_cast<char>(0xE0 | (c >> 12)));
                out_.Append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            } else {
                out_.Append(static_cast<char>(0xF0 | (c >> 18)));
                out_.Append(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
                out_.Append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            }
            out_.Append(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }

    // Base64 in lines of 76 characters less eight for every level of
    // indentation (at most eight levels), each line indented like the
    // element, as the platform's writer lays data out.
    bool WriteData(const CFDataBytes& bytes, int depth)
    {
        const int indent = std::min(depth, 8);
        const size_t lineLength = static_cast<size_t>(76 - 8 * indent);
        const size_t count = bytes.size();
        const size_t characters = (count + 2) / 3 * 4;
        const size_t lines = characters / lineLength + 2;
        if (lines > SIZE_MAX / 16 ||
            !out_.Reserve(characters + lines * (static_cast<size_t>(indent) + 1) + static_cast<size_t>(depth) + 32))
            return false;
        out_.Append("<data>\n");
        size_t line = 0;  // characters on the current line
        auto startLine = [&] {
            if (line == 0)
                Indent(indent);
        };
        auto put = [&](char c) {
            out_.Append(c);
            if (++line >= lineLength) {
                out_.Append('\n');
                line = 0;
            }
        };
        const UInt8* p = bytes.data();
        const size_t whole = count - count % 3;
        for (size_t i = 0; i < whole; i += 3) {
            startLine();
            // A group of three bytes makes four characters; the line can only
            // end inside the group when it is nearly full.
            if (line + 4 < lineLength) {
                UInt8* out = out_.End();
                out[0] = kBase64Alphabet[p[i] >> 2];
                out[1] = kBase64Alphabet[((p[i] << 4) | (p[i + 1] >> 4)) & 0x3F];
                out[2] = kBase64Alphabet[((p[i + 1] << 2) | (p[i + 2] >> 6)) & 0x3F];
                out[3] = kBase64Alphabet[p[i + 2] & 0x3F];
                out_.Advance(4);
                line += 4;
                continue;
            }
            // Near the end of a line: the last two characters of a group
            // always stay together.
            startLine();
            put(kBase64Alphabet[p[i] >> 2]);
            startLine();
            put(kBase64Alphabet[((p[i] << 4) | (p[i + 1] >> 4)) & 0x3F]);
            startLine();
            out_.Append(kBase64Alphabet[((p[i + 1] << 2) | (p[i + 2] >> 6)) & 0x3F]);
            ++line;
            put(kBase64Alphabet[p[i + 2] & 0x3F]);
        }
        // The one or two bytes of an unfinished group, and their padding.
        if (count % 3 != 0) {
            const UInt8 first = p[whole];
            const UInt8 second = count % 3 == 2 ? p[whole + 1] : 0;
            const char tail[4] = {kBase64Alphabet[first >> 2], kBase64Alphabet[((first << 4) | (second >> 4)) & 0x3F],
                                  count % 3 == 2 ? kBase64Alphabet[(second << 2) & 0x3C] : '=', '='};
            // The padding always stays on the line of the last character.
            for (size_t k = 0; k < 4; ++k) {
                startLine();
                out_.Append(tail[k]);
                ++line;
                if (k < static_cast<size_t>(count % 3) && line >= lineLength) {
                    out_.Append('\n');
                    line = 0;
                }
            }
        }
        if (line > 0)
            out_.Append('\n');
        Indent(depth);
        out_.Append("</data>\n");
        return true;
    }

    Buffer& out_;
    // Each depth's keys in sorted order, for the dictionaries not in order.
    // (A deque: a deeper level's list is added while a shallower one is in
    // use.)
    std::deque<std::vector<const CFDictionaryObject::Entry*>> orders_;
};

// Whether the writer would take `value`, without writing it.
bool IsWritable(CFTypeRef value, int depth)
{
    if (value == nullptr || depth > kMaximumDepth)
        return false;
    switch (CFGetTypeID(value)) {
    case kCFRuntimeTypeString:
    case kCFRuntimeTypeNumber:
    case kCFRuntimeTypeBoolean:
    case kCFRuntimeTypeData:
        return true;
    case kCFRuntimeTypeDate: {
        CFUTCDateTime date;
        return CFAbsoluteTimeToUTC(CFDateGetAbsoluteTime(static_cast<CFDateRef>(value)), &date) && date.year >= 0 &&
               date.year <= 9999;
    }
    case kCFRuntimeTypeArray:
        return std::all_of(CFArrayObjectOf(value)->values.begin(), CFArrayObjectOf(value)->values.end(),
                           [depth](const void* element) { return IsWritable(element, depth + 1); });
    case kCFRuntimeTypeDictionary: {
        const auto& entries = CFDictionaryObjectOf(value)->entries;
        return std::all_of(entries.begin(), entries.end(), [depth](const CFDictionaryObject::Entry& entry) {
            return CFStringObjectOf(entry.key) != nullptr && IsWritable(entry.value, depth + 1);
        });
    }
    default:
        return false;
    }
}

}  // namespace

CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef, CFPropertyListRef propertyList)
{
    Buffer buffer;
    Writer writer(buffer);
    if (!writer.Put(kHeader) || !writer.Write(propertyList, 0) || !writer.Put(kFooter))
        return nullptr;
    return buffer.Finish();
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format)
{
    return format == kCFPropertyListXMLFormat_v1_0 && IsWritable(plist, 0);
}
