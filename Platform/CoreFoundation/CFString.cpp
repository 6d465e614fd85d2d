#include "CFStringInternal.h"

#include "CFDataInternal.h"
#include "CFStringEncodingConverters.h"
#include "CFStringFormat.h"

#include <Support/Diagnostics.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <locale.h>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <vector>
#include <wctype.h>

namespace {

const CFStringObject* AsString(CFTypeRef cf)
{
    return CFStringObjectOf(cf);
}

CFStringObject* AsMutableString(CFMutableStringRef s, const char* operation)
{
    return CFRuntimeEditable(CFStringObjectOf(s), operation, "string");
}

bool IsHighSurrogate(char16_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

locale_t UnicodeLocale()
{
    // C.UTF-8 is built into the C library and carries the Unicode case tables.
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

enum class CaseMapping { Lower, Upper };

char32_t MapCase(char32_t c, CaseMapping mapping)
{
    if (c < 0x80) {
        if (mapping == CaseMapping::Lower && c >= 'A' && c <= 'Z')
            return c + 32;
        if (mapping == CaseMapping::Upper && c >= 'a' && c <= 'z')
            return c - 32;
        return c;
    }
    locale_t locale = UnicodeLocale();
    if (locale == static_cast<locale_t>(nullptr))
        return c;
    wint_t mapped = mapping == CaseMapping::Lower ? towlower_l(static_cast<wint_t>(c), locale)
                                                  : towupper_l(static_cast<wint_t>(c), locale);
    return static_cast<char32_t>(mapped);
}

// Maps every character's case, keeping the number of UTF-16 units so that
// ranges found in the mapped text are ranges of the original.
std::u16string MappedCase(std::u16string_view text, CaseMapping mapping)
{
    std::u16string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        char16_t u = out[i];
        if (IsHighSurrogate(u) && i + 1 < out.size() && IsLowSurrogate(out[i + 1])) {
            char32_t cp = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (out[i + 1] - 0xDC00);
            char32_t mapped = MapCase(cp, mapping);
            if (mapped >= 0x10000 && mapped <= 0x10FFFF) {
                mapped -= 0x10000;
                out[i] = static_cast<char16_t>(0xD800 + (mapped >> 10));
                out[i + 1] = static_cast<char16_t>(0xDC00 + (mapped & 0x3FF));
            }
            ++i;
        } else if (!IsHighSurrogate(u) && !IsLowSurrogate(u)) {
            char32_t mapped = MapCase(u, mapping);
            if (mapped < 0x10000 && !(mapped >= 0xD800 && mapped <= 0xDFFF))
                out[i] = static_cast<char16_t>(mapped);
        }
    }
    return out;
}

bool IsDigit(char16_t u)
{
    return u >= '0' && u <= '9';
}

CFComparisonResult Order(int difference)
{
    return difference < 0 ? kCFCompareLessThan : difference > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

CFComparisonResult CompareUnits(std::u16string_view a, std::u16string_view b, bool numerically)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (numerically && IsDigit(a[i]) && IsDigit(b[j])) {
            size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei]))
                ++ei;
            while (ej < b.size() && IsDigit(b[ej]))
                ++ej;
            std::u16string_view da = a.substr(i, ei - i), db = b.substr(j, ej - j);
            while (da.size() > 1 && da[0] == '0')
                da.remove_prefix(1);
            while (db.size() > 1 && db[0] == '0')
                db.remove_prefix(1);
            if (da.size() != db.size())
                return da.size() < db.size() ? kCFCompareLessThan : kCFCompareGreaterThan;
            if (int c = da.compare(db))
                return Order(c);
            i = ei, j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? kCFCompareLessThan : kCFCompareGreaterThan;
        ++i, ++j;
    }
    if (i < a.size())
        return kCFCompareGreaterThan;
    if (j < b.size())
        return kCFCompareLessThan;
    return kCFCompareEqualTo;
}

// Finds `needle` in `haystack[start, start + count)`; answers the offset in
// `haystack` or npos.
size_t FindUnits(std::u16string_view haystack, std::u16string_view needle, size_t start, size_t count,
                 CFStringCompareFlags options)
{
    if (needle.empty() || needle.size() > count)
        return std::u16string_view::npos;
    std::u16string foldedHaystack, foldedNeedle;
    std::u16string_view window = haystack.substr(start, count);
    if (options & kCFCompareCaseInsensitive) {
        foldedHaystack = MappedCase(window, CaseMapping::Lower);
        foldedNeedle = MappedCase(needle, CaseMapping::Lower);
        window = foldedHaystack;
        needle = foldedNeedle;
    }
    size_t found;
    const bool backwards = options & kCFCompareBackwards;
    if (options & kCFCompareAnchored) {
        size_t at = backwards ? window.size() - needle.size() : 0;
        found = window.compare(at, needle.size(), needle) == 0 ? at : std::u16string_view::npos;
    } else {
        found = backwards ? window.rfind(needle) : window.find(needle);
    }
    return found == std::u16string_view::npos ? found : found + start;
}

bool IsWhitespace(char16_t u)
{
    switch (u) {
    case ' ':
    case '\t':
    case '\n':
    case '\r':
    case 0x0B:
    case 0x0C:
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return u >= 0x2000 && u <= 0x200A;
    }
}

// Answers whether the text was UTF-8; otherwise it was read as Mac Roman.
bool DecodeUTF8OrMacRoman(std::string_view text, std::u16string& units)
{
    if (CFDecodeUTF8(text, units))
        return true;
    units.clear();
    CFDecodeBytes(reinterpret_cast<const UInt8*>(text.data()), text.size(), kCFStringEncodingMacRoman, false, units);
    return false;
}

struct ConstantStringTable {
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::shared_mutex mutex;
    std::unordered_map<std::string, CFStringObject*, Hash, std::equal_to<>> strings;
};

ConstantStringTable& Constants()
{
    // Constants live for the whole process, so the table is never destroyed.
    static auto* table = new ConstantStringTable;
    return *table;
}

}  // namespace

// ---- the object ----

bool CFStringObject::Equals(const CFRuntimeObject& other) const
{
    return units == static_cast<const CFStringObject&>(other).units;
}

CFHashCode CFStringObject::Hash() const
{
    if (isMutable)
        return CFStringHashUnits(units);
    CFHashCode hash = cachedHash.load(std::memory_order_relaxed);
    if (hash == 0) {
        hash = CFStringHashUnits(units);
        cachedHash.store(hash, std::memory_order_relaxed);
    }
    return hash;
}

CFStringRef CFStringObject::CopyDescription() const
{
    return new CFStringObject(units, false);
}

CFHashCode CFStringHashUnits(std::u16string_view text)
{
    uint64_t hash = 1469598103934665603ULL;
    for (char16_t u : text) {
        hash ^= u;
        hash *= 1099511628211ULL;
    }
    return static_cast<CFHashCode>(hash);
}

std::u16string_view CFStringView(CFTypeRef cf)
{
    const CFStringObject* s = CFStringObjectOf(cf);
    return s ? std::u16string_view(s->units) : std::u16string_view();
}

std::string CFStringToUTF8(CFTypeRef cf)
{
    const CFStringObject* s = CFStringObjectOf(cf);
    if (s == nullptr)
        return {};
    if (s->constantUTF8 != nullptr)
        return s->constantUTF8;
    return CFEncodeUTF8(s->units);
}

CFStringRef CFStringCreateWithUTF16(std::u16string units)
{
    return new CFStringObject(std::move(units), false);
}

CFMutableStringRef CFStringCreateMutableWithUTF16(std::u16string units)
{
    return new CFStringObject(std::move(units), true);
}

CFStringRef CFStringCreateWithUTF8(std::string_view utf8)
{
    std::u16string units;
    if (!CFDecodeUTF8(utf8, units))
        return nullptr;
    return CFStringCreateWithUTF16(std::move(units));
}

CFStringRef CFStringCreateWithUTF8OrMacRoman(std::string_view text)
{
    std::u16string units;
    DecodeUTF8OrMacRoman(text, units);
    return CFStringCreateWithUTF16(std::move(units));
}

CFTypeID CFStringGetTypeID()
{
    return kCFRuntimeTypeString;
}

// ---- constants ----

CFStringRef CFSTR(std::string_view text)
{
    ConstantStringTable& table = Constants();
    {
        std::shared_lock lock(table.mutex);
        auto it = table.strings.find(text);
        if (it != table.strings.end())
            return it->second;
    }
    std::unique_lock lock(table.mutex);
    auto it = table.strings.find(text);
    if (it != table.strings.end())
        return it->second;
    std::u16string units;
    const bool utf8 = DecodeUTF8OrMacRoman(text, units);
    auto* constant = new CFStringObject(std::move(units), false, /*immortal*/ true);
    auto entry = table.strings.emplace(std::string(text), constant).first;
    if (utf8)
        constant->constantUTF8 = entry->first.c_str();  // nodes of the table never move
    return constant;
}

CFStringRef CFSTR(const char* text)
{
    return CFSTR(std::string_view(text ? text : ""));
}

// ---- creating ----

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes, CFStringEncoding encoding,
                                    Boolean isExternalRepresentation)
{
    if (numBytes < 0)
        return nullptr;
    std::u16string units;
    if (!CFDecodeBytes(bytes, static_cast<size_t>(numBytes), encoding, isExternalRepresentation, units))
        return nullptr;
    return CFStringCreateWithUTF16(std::move(units));
}

CFStringRef CFStringCreateWithPascalString(CFAllocatorRef alloc, ConstStr255Param pStr, CFStringEncoding encoding)
{
    if (pStr == nullptr)
        return nullptr;
    return CFStringCreateWithBytes(alloc, pStr + 1, pStr[0], encoding, false);
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding)
{
    if (cStr == nullptr)
        return nullptr;
    return CFStringCreateWithBytes(alloc, reinterpret_cast<const UInt8*>(cStr), static_cast<CFIndex>(std::strlen(cStr)),
                                   encoding, false);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars)
{
    if (numChars < 0 || (numChars > 0 && chars == nullptr))
        return nullptr;
    return CFStringCreateWithUTF16(
        std::u16string(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(numChars)));
}

CFStringRef CFStringCreateFromExternalRepresentation(CFAllocatorRef alloc, CFDataRef data, CFStringEncoding encoding)
{
    const CFDataObject* object = CFDataObjectOf(data);
    if (object == nullptr)
        return nullptr;
    return CFStringCreateWithBytes(alloc, object->bytes.data(), static_cast<CFIndex>(object->bytes.size()), encoding,
                                   true);
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef theString)
{
    const CFStringObject* s = AsString(theString);
    if (s == nullptr)
        return nullptr;
    if (!s->isMutable)
        return static_cast<CFStringRef>(CFRetain(s));
    return new CFStringObject(s->units, false);
}

CFStringRef CFStringCreateWithSubstring(CFAllocatorRef, CFStringRef str, CFRange range)
{
    const CFStringObject* s = AsString(str);
    if (s == nullptr)
        return nullptr;
    size_t start, count;
    CFRuntimeClampRange(range, s->units.size(), &start, &count);
    return new CFStringObject(std::u16string_view(s->units).substr(start, count), false);
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    CFStringRef result = CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, arguments);
    va_end(arguments);
    return result;
}

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, CFDictionaryRef, CFStringRef format, va_list arguments)
{
    const CFStringObject* f = AsString(format);
    if (f == nullptr)
        return nullptr;
    std::u16string out;
    CFFormatAppend(out, f->units, arguments);
    return CFStringCreateWithUTF16(std::move(out));
}

CFStringRef CFStringCreateStringWithValidatedFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                                    CFStringRef validFormatSpecifiers, CFStringRef format,
                                                    CFErrorRef* errorPtr, ...)
{
    va_list arguments;
    va_start(arguments, errorPtr);
    CFStringRef result = CFStringCreateStringWithValidatedFormatAndArguments(
        alloc, formatOptions, validFormatSpecifiers, format, errorPtr, arguments);
    va_end(arguments);
    return result;
}

CFStringRef CFStringCreateStringWithValidatedFormatAndArguments(CFAllocatorRef, CFDictionaryRef,
                                                                CFStringRef validFormatSpecifiers, CFStringRef format,
                                                                CFErrorRef* errorPtr, va_list arguments)
{
    if (errorPtr)
        *errorPtr = nullptr;
    const CFStringObject* f = AsString(format);
    const CFStringObject* valid = AsString(validFormatSpecifiers);
    if (f == nullptr || valid == nullptr)
        return nullptr;
    std::u16string out;
    const std::u16string_view validUnits(valid->units);
    CFFormatAppendValidated(out, f->units, arguments, &validUnits);
    return CFStringCreateWithUTF16(std::move(out));
}

CFStringRef CFStringCreateWithFileSystemRepresentation(CFAllocatorRef, const char* buffer)
{
    if (buffer == nullptr)
        return nullptr;
    return CFStringCreateWithUTF8(buffer);
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef, CFIndex)
{
    return CFStringCreateMutableWithUTF16({});
}

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef, CFIndex, CFStringRef theString)
{
    return CFStringCreateMutableWithUTF16(std::u16string(CFStringView(theString)));
}

// ---- reading ----

CFIndex CFStringGetLength(CFStringRef theString)
{
    return static_cast<CFIndex>(CFStringView(theString).size());
}

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx)
{
    std::u16string_view units = CFStringView(theString);
    if (idx < 0 || static_cast<size_t>(idx) >= units.size())
        return 0;
    return units[static_cast<size_t>(idx)];
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer)
{
    std::u16string_view units = CFStringView(theString);
    size_t start, count;
    CFRuntimeClampRange(range, units.size(), &start, &count);
    if (buffer != nullptr && count > 0)
        std::memcpy(buffer, units.data() + start, count * sizeof(UniChar));
}

const UniChar* CFStringGetCharactersPtr(CFStringRef theString)
{
    const CFStringObject* s = AsString(theString);
    return s ? reinterpret_cast<const UniChar*>(s->units.c_str()) : nullptr;
}

const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding)
{
    const CFStringObject* s = AsString(theString);
    if (s == nullptr || s->constantUTF8 == nullptr)
        return nullptr;
    if (encoding == kCFStringEncodingUTF8)
        return s->constantUTF8;
    const std::string_view text(s->constantUTF8);
    bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    bool asciiCompatible = encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingMacRoman ||
                           encoding == kCFStringEncodingISOLatin1 || encoding == kCFStringEncodingWindowsLatin1;
    return ascii && asciiCompatible ? s->constantUTF8 : nullptr;
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding, UInt8 lossByte,
                         Boolean isExternalRepresentation, UInt8* buffer, CFIndex maxBufLen, CFIndex* usedBufLen)
{
    std::u16string_view units = CFStringView(theString);
    size_t start, count;
    CFRuntimeClampRange(range, units.size(), &start, &count);
    CFEncodeResult result =
        CFEncodeUnits(units.substr(start, count), encoding, lossByte, isExternalRepresentation, buffer, maxBufLen);
    if (usedBufLen)
        *usedBufLen = result.bytesUsed;
    return result.charactersConverted;
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding encoding)
{
    if (buffer == nullptr || bufferSize <= 0)
        return false;
    buffer[0] = '\0';
    const CFStringObject* s = AsString(theString);
    if (s == nullptr)
        return false;
    CFEncodeResult result =
        CFEncodeUnits(s->units, encoding, 0, false, reinterpret_cast<UInt8*>(buffer), bufferSize - 1);
    if (result.charactersConverted != static_cast<CFIndex>(s->units.size())) {
        buffer[0] = '\0';
        return false;
    }
    buffer[result.bytesUsed] = '\0';
    return true;
}

Boolean CFStringGetPascalString(CFStringRef theString, StringPtr buffer, CFIndex bufferSize, CFStringEncoding encoding)
{
    if (buffer == nullptr || bufferSize <= 0)
        return false;
    buffer[0] = 0;
    const CFStringObject* s = AsString(theString);
    if (s == nullptr)
        return false;
    CFIndex room = std::min<CFIndex>(bufferSize - 1, 255);
    CFEncodeResult result = CFEncodeUnits(s->units, encoding, 0, false, buffer + 1, room);
    if (result.charactersConverted != static_cast<CFIndex>(s->units.size()))
        return false;
    buffer[0] = static_cast<unsigned char>(result.bytesUsed);
    return true;
}

Boolean CFStringGetFileSystemRepresentation(CFStringRef string, char* buffer, CFIndex maxBufLen)
{
    return CFStringGetCString(string, buffer, maxBufLen, kCFStringEncodingUTF8);
}

CFIndex CFStringGetMaximumSizeOfFileSystemRepresentation(CFStringRef string)
{
    return CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
}

CFDataRef CFStringCreateExternalRepresentation(CFAllocatorRef, CFStringRef theString, CFStringEncoding encoding,
                                               UInt8 lossByte)
{
    const CFStringObject* s = AsString(theString);
    if (s == nullptr || !CFEncodingIsSupported(encoding))
        return nullptr;
    CFEncodeResult needed = CFEncodeUnits(s->units, encoding, lossByte, true, nullptr, 0);
    if (needed.charactersConverted != static_cast<CFIndex>(s->units.size()))
        return nullptr;
    CFByteVector bytes(static_cast<size_t>(needed.bytesUsed));
    CFEncodeUnits(s->units, encoding, lossByte, true, bytes.data(), needed.bytesUsed);
    return CFDataCreateWithVector(std::move(bytes), false);
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding)
{
    switch (encoding) {
    case kCFStringEncodingUTF8:
        return length * 3;
    case kCFStringEncodingUTF16:
    case kCFStringEncodingUTF16BE:
    case kCFStringEncodingUTF16LE:
        return length * 2;
    default:
        return length;
    }
}

CFStringEncoding CFStringGetSystemEncoding()
{
    return kCFStringEncodingMacRoman;
}

Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding)
{
    return CFEncodingIsSupported(encoding);
}

SInt32 CFStringGetIntValue(CFStringRef str)
{
    std::u16string_view units = CFStringView(str);
    size_t i = 0;
    while (i < units.size() && IsWhitespace(units[i]))
        ++i;
    bool negative = false;
    if (i < units.size() && (units[i] == '-' || units[i] == '+'))
        negative = units[i++] == '-';
    int64_t value = 0;
    bool overflow = false;
    for (; i < units.size() && IsDigit(units[i]); ++i) {
        value = value * 10 + (units[i] - '0');
        if (value > int64_t(INT_MAX) + 1) {
            overflow = true;
            break;
        }
    }
    if (negative)
        value = -value;
    if (overflow || value > INT_MAX)
        return negative ? INT_MIN : INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<SInt32>(value);
}

double CFStringGetDoubleValue(CFStringRef str)
{
    std::u16string_view units = CFStringView(str);
    size_t i = 0;
    while (i < units.size() && IsWhitespace(units[i]))
        ++i;
    std::string ascii;
    for (; i < units.size() && units[i] < 0x80; ++i)
        ascii.push_back(static_cast<char>(units[i]));
    const char* begin = ascii.c_str();
    if (*begin == '+')
        ++begin;
    double value = 0.0;
    auto [end, error] = std::from_chars(begin, ascii.c_str() + ascii.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range)
        return value;
    return error == std::errc() ? value : 0.0;
}

// ---- comparing and searching ----

CFComparisonResult CFStringCompareWithOptions(CFStringRef theString1, CFStringRef theString2, CFRange rangeToCompare,
                                              CFStringCompareFlags compareOptions)
{
    std::u16string_view a = CFStringView(theString1);
    size_t start, count;
    CFRuntimeClampRange(rangeToCompare, a.size(), &start, &count);
    a = a.substr(start, count);
    std::u16string_view b = CFStringView(theString2);
    const bool numerically = compareOptions & kCFCompareNumerically;
    if (compareOptions & kCFCompareCaseInsensitive) {
        std::u16string la = MappedCase(a, CaseMapping::Lower), lb = MappedCase(b, CaseMapping::Lower);
        return CompareUnits(la, lb, numerically);
    }
    return CompareUnits(a, b, numerically);
}

CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2, CFStringCompareFlags compareOptions)
{
    return CFStringCompareWithOptions(theString1, theString2, CFRangeMake(0, CFStringGetLength(theString1)),
                                      compareOptions);
}

Boolean CFStringFindWithOptions(CFStringRef theString, CFStringRef stringToFind, CFRange rangeToSearch,
                                CFStringCompareFlags searchOptions, CFRange* result)
{
    std::u16string_view haystack = CFStringView(theString);
    std::u16string_view needle = CFStringView(stringToFind);
    size_t start, count;
    CFRuntimeClampRange(rangeToSearch, haystack.size(), &start, &count);
    size_t found = FindUnits(haystack, needle, start, count, searchOptions);
    if (found == std::u16string_view::npos)
        return false;
    if (result)
        *result = CFRangeMake(static_cast<CFIndex>(found), static_cast<CFIndex>(needle.size()));
    return true;
}

CFRange CFStringFind(CFStringRef theString, CFStringRef stringToFind, CFStringCompareFlags compareOptions)
{
    CFRange result = CFRangeMake(kCFNotFound, 0);
    CFStringFindWithOptions(theString, stringToFind, CFRangeMake(0, CFStringGetLength(theString)), compareOptions,
                            &result);
    return result;
}

Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix)
{
    std::u16string_view s = CFStringView(theString), p = CFStringView(prefix);
    return !p.empty() && s.substr(0, p.size()) == p;
}

Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix)
{
    std::u16string_view s = CFStringView(theString), p = CFStringView(suffix);
    return !p.empty() && s.size() >= p.size() && s.substr(s.size() - p.size()) == p;
}

// ---- editing ----

void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString)
{
    if (CFStringObject* s = AsMutableString(theString, "CFStringAppend")) {
        std::u16string_view added = CFStringView(appendedString);
        if (static_cast<const void*>(appendedString) == static_cast<const void*>(theString))
            s->units += std::u16string(added);
        else
            s->units += added;
    }
}

void CFStringAppendCharacters(CFMutableStringRef theString, const UniChar* chars, CFIndex numChars)
{
    if (CFStringObject* s = AsMutableString(theString, "CFStringAppendCharacters")) {
        if (chars != nullptr && numChars > 0)
            s->units.append(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(numChars));
    }
}

void CFStringAppendPascalString(CFMutableStringRef theString, ConstStr255Param pStr, CFStringEncoding encoding)
{
    if (CFStringObject* s = AsMutableString(theString, "CFStringAppendPascalString")) {
        std::u16string units;
        if (pStr != nullptr && CFDecodeBytes(pStr + 1, pStr[0], encoding, false, units))
            s->units += units;
    }
}

void CFStringAppendCString(CFMutableStringRef theString, const char* cStr, CFStringEncoding encoding)
{
    if (CFStringObject* s = AsMutableString(theString, "CFStringAppendCString")) {
        std::u16string units;
        if (cStr != nullptr &&
            CFDecodeBytes(reinterpret_cast<const UInt8*>(cStr), std::strlen(cStr), encoding, false, units))
            s->units += units;
    }
}

void CFStringAppendFormat(CFMutableStringRef theString, CFDictionaryRef formatOptions, CFStringRef format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    CFStringAppendFormatAndArguments(theString, formatOptions, format, arguments);
    va_end(arguments);
}

void CFStringAppendFormatAndArguments(CFMutableStringRef theString, CFDictionaryRef, CFStringRef format,
                                      va_list arguments)
{
    if (CFStringObject* s = AsMutableString(theString, "CFStringAppendFormat")) {
        std::u16string formatUnits(CFStringView(format));
        std::u16string formatted;
        CFFormatAppend(formatted, formatUnits, arguments);
        s->units += formatted;
    }
}

void CFStringReplace(CFMutableStringRef theString, CFRange range, CFStringRef replacement)
{
    if (CFStringObject* s = AsMutableString(theString, "CFStringReplace")) {
        size_t start, count;
        CFRuntimeClampRange(range, s->units.size(), &start, &count);
        s->units.replace(start, count, std::u16string(CFStringView(replacement)));
    }
}

void CFStringInsert(CFMutableStringRef str, CFIndex idx, CFStringRef insertedStr)
{
    CFStringReplace(str, CFRangeMake(idx, 0), insertedStr);
}

void CFStringDelete(CFMutableStringRef theString, CFRange range)
{
    if (CFStringObject* s = AsMutableString(theString, "CFStringDelete")) {
        size_t start, count;
        CFRuntimeClampRange(range, s->units.size(), &start, &count);
        s->units.erase(start, count);
    }
}

void CFStringReplaceAll(CFMutableStringRef theString, CFStringRef replacement)
{
    if (CFStringObject* s = AsMutableString(theString, "CFStringReplaceAll"))
        s->units = std::u16string(CFStringView(replacement));
}

CFIndex CFStringFindAndReplace(CFMutableStringRef theString, CFStringRef stringToFind, CFStringRef replacementString,
                               CFRange rangeToSearch, CFStringCompareFlags compareOptions)
{
    CFStringObject* s = AsMutableString(theString, "CFStringFindAndReplace");
    std::u16string needle(CFStringView(stringToFind));
    if (s == nullptr || needle.empty())
        return 0;
    std::u16string replacement(CFStringView(replacementString));
    size_t start, count;
    CFRuntimeClampRange(rangeToSearch, s->units.size(), &start, &count);

    // Case is folded once for the whole range where folding keeps every
    // offset (it nearly always does); otherwise each search folds its own.
    std::u16string folded;
    std::u16string_view haystack = s->units;
    CFStringCompareFlags searchOptions = compareOptions;
    if (compareOptions & kCFCompareCaseInsensitive) {
        std::u16string foldedRange = MappedCase(haystack.substr(start, count), CaseMapping::Lower);
        std::u16string foldedNeedle = MappedCase(needle, CaseMapping::Lower);
        if (foldedRange.size() == count && foldedNeedle.size() == needle.size()) {
            folded = s->units;
            folded.replace(start, count, foldedRange);
            haystack = folded;
            needle = std::move(foldedNeedle);
            searchOptions &= ~kCFCompareCaseInsensitive;
        }
    }

    // Collect the matches first (left to right, or right to left when asked
    // to search backwards), then build the new text in one pass.
    std::vector<size_t> matches;
    const bool backwards = compareOptions & kCFCompareBackwards;
    size_t low = start, high = start + count;
    while (high > low) {
        size_t found = FindUnits(haystack, needle, low, high - low, searchOptions);
        if (found == std::u16string::npos)
            break;
        matches.push_back(found);
        if (compareOptions & kCFCompareAnchored)
            break;
        if (backwards)
            high = found;
        else
            low = found + needle.size();
    }
    if (matches.empty())
        return 0;
    if (backwards)
        std::reverse(matches.begin(), matches.end());
    std::u16string result;
    result.reserve(s->units.size() + matches.size() * replacement.size());
    size_t copied = 0;
    for (size_t at : matches) {
        result.append(s->units, copied, at - copied);
        result.append(replacement);
        copied = at + needle.size();
    }
    result.append(s->units, copied, std::u16string::npos);
    s->units = std::move(result);
    return static_cast<CFIndex>(matches.size());
}

void CFStringTrimWhitespace(CFMutableStringRef theString)
{
    if (CFStringObject* s = AsMutableString(theString, "CFStringTrimWhitespace")) {
        size_t first = 0, last = s->units.size();
        while (first < last && IsWhitespace(s->units[first]))
            ++first;
        while (last > first && IsWhitespace(s->units[last - 1]))
            --last;
        s->units = s->units.substr(first, last - first);
    }
}

void CFStringLowercase(CFMutableStringRef theString, CFLocaleRef)
{
    if (CFStringObject* s = AsMutableString(theString, "CFStringLowercase"))
        s->units = MappedCase(s->units, CaseMapping::Lower);
}

void CFStringUppercase(CFMutableStringRef theString, CFLocaleRef)
{
    if (CFStringObject* s = AsMutableString(theString, "CFStringUppercase"))
        s->units = MappedCase(s->units, CaseMapping::Upper);
}

void CFStringInitInlineBuffer(CFStringRef str, CFStringInlineBuffer* buf, CFRange range)
{
    std::u16string_view units = CFStringView(str);
    size_t start, count;
    CFRuntimeClampRange(range, units.size(), &start, &count);
    buf->theString = str;
    buf->rangeToBuffer = CFRangeMake(static_cast<CFIndex>(start), static_cast<CFIndex>(count));
    buf->directUniCharBuffer = reinterpret_cast<const UniChar*>(units.data());
    buf->directCStringBuffer = nullptr;
    buf->bufferedRangeStart = buf->bufferedRangeEnd = 0;
}
