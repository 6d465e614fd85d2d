#include "CFStringEncodingConverters.h"

#include <Support/UTF8.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Bytes 0x80 to 0xFF of Mac Roman (0xDB is the euro sign, 0xF0 the maker's
// logo in the private use area). Bytes below 0x80 are ASCII.
constexpr UniChar kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
    0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
    0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
    0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
    0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
    0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9,
    0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

// Bytes 0x80 to 0x9F of Windows Latin 1; the five unassigned bytes read as
// the C1 controls of the same value, as Windows itself reads them.
constexpr UniChar kWindowsLatin1High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

struct ReverseEntry {
    UniChar character;
    UInt8 byte;
};

// Unicode to byte for the high half of a single-byte table, sorted by character.
template <size_t N>
std::array<ReverseEntry, N> MakeReverse(const UniChar (&table)[N], UInt8 firstByte)
{
    std::array<ReverseEntry, N> reverse{};
    for (size_t i = 0; i < N; ++i)
        reverse[i] = {table[i], static_cast<UInt8>(firstByte + i)};
    std::sort(reverse.begin(), reverse.end(),
              [](const ReverseEntry& a, const ReverseEntry& b) { return a.character < b.character; });
    return reverse;
}

template <size_t N>
bool LookUp(const std::array<ReverseEntry, N>& reverse, UniChar character, UInt8* byte)
{
    auto it = std::lower_bound(reverse.begin(), reverse.end(), character,
                               [](const ReverseEntry& e, UniChar c) { return e.character < c; });
    if (it == reverse.end() || it->character != character)
        return false;
    *byte = it->byte;
    return true;
}

const auto& MacRomanReverse()
{
    static const auto reverse = MakeReverse(kMacRomanHigh, 0x80);
    return reverse;
}

const auto& WindowsLatin1Reverse()
{
    static const auto reverse = MakeReverse(kWindowsLatin1High, 0x80);
    return reverse;
}

bool IsHighSurrogate(char16_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

enum class ByteOrder { Big, Little };

bool DecodeUTF16(const UInt8* bytes, size_t count, ByteOrder order, std::u16string& out)
{
    if (count % 2 != 0)
        return false;
    out.reserve(out.size() + count / 2);
    for (size_t i = 0; i < count; i += 2) {
        char16_t unit = order == ByteOrder::Big ? static_cast<char16_t>((bytes[i] << 8) | bytes[i + 1])
                                                : static_cast<char16_t>((bytes[i + 1] << 8) | bytes[i]);
        out.push_back(unit);
    }
    return true;
}

// Single-byte encodings: how one character becomes a byte.
bool SingleByteFor(CFStringEncoding encoding, UniChar c, UInt8* byte)
{
    switch (encoding) {
    case kCFStringEncodingASCII:
        if (c >= 0x80)
            return false;
        *byte = static_cast<UInt8>(c);
        return true;
    case kCFStringEncodingISOLatin1:
        if (c >= 0x100)
            return false;
        *byte = static_cast<UInt8>(c);
        return true;
    case kCFStringEncodingWindowsLatin1:
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
            *byte = static_cast<UInt8>(c);
            return true;
        }
        return LookUp(WindowsLatin1Reverse(), c, byte);
    default:  // Mac Roman
        return CFUnicodeToMacRoman(c, byte);
    }
}

bool IsSingleByte(CFStringEncoding encoding)
{
    return encoding == kCFStringEncodingMacRoman || encoding == kCFStringEncodingASCII ||
           encoding == kCFStringEncodingISOLatin1 || encoding == kCFStringEncodingWindowsLatin1;
}

}  // namespace

UniChar CFMacRomanToUnicode(UInt8 byte)
{
    return byte < 0x80 ? byte : kMacRomanHigh[byte - 0x80];
}

bool CFUnicodeToMacRoman(UniChar character, UInt8* byte)
{
    if (character < 0x80) {
        *byte = static_cast<UInt8>(character);
        return true;
    }
    return LookUp(MacRomanReverse(), character, byte);
}

bool CFEncodingIsSupported(CFStringEncoding encoding)
{
    return IsSingleByte(encoding) || encoding == kCFStringEncodingUTF8 || encoding == kCFStringEncodingUTF16 ||
           encoding == kCFStringEncodingUTF16BE || encoding == kCFStringEncodingUTF16LE;
}

bool CFDecodeUTF8(std::string_view utf8, std::u16string& out)
{
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    // A text never needs more UTF-16 units than it has bytes.
    const size_t base = out.size();
    out.resize(base + n);
    char16_t* destination = out.data() + base;
    size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            *destination++ = b;
            ++i;
            continue;
        }
        int extra;
        char32_t cp;
        char32_t minimum;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1, cp = b & 0x1F, minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2, cp = b & 0x0F, minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3, cp = b & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char c = s[i + k];
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp < 0x10000) {
            *destination++ = static_cast<char16_t>(cp);
        } else {
            cp -= 0x10000;
            *destination++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *destination++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        }
        i += static_cast<size_t>(extra) + 1;
    }
    out.resize(static_cast<size_t>(destination - out.data()));
    return true;
}

void CFReplaceLoneSurrogates(std::u16string& units)
{
    for (size_t i = 0; i < units.size(); ++i) {
        if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1]))
            ++i;
        else if (IsHighSurrogate(units[i]) || IsLowSurrogate(units[i]))
            units[i] = 0xFFFD;
    }
}

std::string CFEncodeUTF8(std::u16string_view units)
{
    std::string out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t cp = units[i];
        if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(units[i]) || IsLowSurrogate(units[i])) {
            cp = 0xFFFD;
        }
        AppendUTF8(out, cp);
    }
    return out;
}

bool CFDecodeBytes(const UInt8* bytes, size_t count, CFStringEncoding encoding, bool isExternalRepresentation,
                   std::u16string& out)
{
    if (count > 0 && bytes == nullptr)
        return false;
    switch (encoding) {
    case kCFStringEncodingUTF8: {
        std::string_view view(reinterpret_cast<const char*>(bytes), count);
        if (isExternalRepresentation && view.size() >= 3 && view.substr(0, 3) == "\xEF\xBB\xBF")
            view.remove_prefix(3);
        return CFDecodeUTF8(view, out);
    }
    case kCFStringEncodingUTF16: {
        // A byte-order mark decides; without one the text is in host order.
        ByteOrder order = ByteOrder::Little;
        if (count >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
            order = ByteOrder::Big;
            bytes += 2, count -= 2;
        } else if (count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
            bytes += 2, count -= 2;
        }
        return DecodeUTF16(bytes, count, order, out);
    }
    case kCFStringEncodingUTF16BE:
        return DecodeUTF16(bytes, count, ByteOrder::Big, out);
    case kCFStringEncodingUTF16LE:
        return DecodeUTF16(bytes, count, ByteOrder::Little, out);
    case kCFStringEncodingASCII:
        out.reserve(out.size() + count);
        for (size_t i = 0; i < count; ++i) {
            if (bytes[i] >= 0x80)
                return false;
            out.push_back(bytes[i]);
        }
        return true;
    case kCFStringEncodingISOLatin1:
        out.append(bytes, bytes + count);
        return true;
    case kCFStringEncodingWindowsLatin1:
        out.reserve(out.size() + count);
        for (size_t i = 0; i < count; ++i) {
            UInt8 b = bytes[i];
            out.push_back(b >= 0x80 && b < 0xA0 ? kWindowsLatin1High[b - 0x80] : b);
        }
        return true;
    case kCFStringEncodingMacRoman:
        out.reserve(out.size() + count);
        for (size_t i = 0; i < count; ++i)
            out.push_back(CFMacRomanToUnicode(bytes[i]));
        return true;
    default:
        return false;
    }
}

CFEncodeResult CFEncodeUnits(std::u16string_view units, CFStringEncoding encoding, UInt8 lossByte,
                             bool isExternalRepresentation, UInt8* buffer, CFIndex maxBufferLength)
{
    CFEncodeResult result{0, 0};
    if (!CFEncodingIsSupported(encoding))
        return result;
    const CFIndex limit = buffer ? std::max<CFIndex>(maxBufferLength, 0) : CFIndex(PTRDIFF_MAX);
    auto put = [&](const UInt8* bytes, CFIndex n) -> bool {
        if (result.bytesUsed + n > limit)
            return false;
        if (buffer)
            std::memcpy(buffer + result.bytesUsed, bytes, static_cast<size_t>(n));
        result.bytesUsed += n;
        return true;
    };

    const size_t count = units.size();
    if (IsSingleByte(encoding)) {
        for (size_t i = 0; i < count; ++i) {
            UInt8 byte;
            size_t consumed = 1;
            if (IsHighSurrogate(units[i]) && i + 1 < count && IsLowSurrogate(units[i + 1]))
                consumed = 2;  // one character, one loss byte
            if (consumed == 2 || !SingleByteFor(encoding, units[i], &byte)) {
                if (lossByte == 0)
                    break;
                byte = lossByte;
            }
            if (!put(&byte, 1))
                break;
            result.charactersConverted += static_cast<CFIndex>(consumed);
            i += consumed - 1;
        }
        return result;
    }

    if (encoding == kCFStringEncodingUTF8) {
        for (size_t i = 0; i < count; ++i) {
            size_t consumed = 1;
            std::u16string_view piece = units.substr(i, 1);
            if (IsHighSurrogate(units[i]) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
                consumed = 2;
                piece = units.substr(i, 2);
            } else if (IsHighSurrogate(units[i]) || IsLowSurrogate(units[i])) {
                if (lossByte == 0 || !put(&lossByte, 1))
                    break;
                ++result.charactersConverted;
                continue;
            }
            std::string encoded = CFEncodeUTF8(piece);
            if (!put(reinterpret_cast<const UInt8*>(encoded.data()), static_cast<CFIndex>(encoded.size())))
                break;
            result.charactersConverted += static_cast<CFIndex>(consumed);
            i += consumed - 1;
        }
        return result;
    }

    // UTF-16 in one of its byte orders.
    ByteOrder order = encoding == kCFStringEncodingUTF16BE ? ByteOrder::Big : ByteOrder::Little;
    auto putUnit = [&](char16_t unit) {
        UInt8 pair[2];
        if (order == ByteOrder::Big)
            pair[0] = static_cast<UInt8>(unit >> 8), pair[1] = static_cast<UInt8>(unit);
        else
            pair[0] = static_cast<UInt8>(unit), pair[1] = static_cast<UInt8>(unit >> 8);
        return put(pair, 2);
    };
    if (isExternalRepresentation && encoding == kCFStringEncodingUTF16 && !putUnit(0xFEFF))
        return result;
    for (size_t i = 0; i < count; ++i) {
        if (!putUnit(units[i]))
            break;
        ++result.charactersConverted;
    }
    return result;
}
