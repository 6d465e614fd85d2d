#include "CFStringFormat.h"

#include "CFStringEncodingConverters.h"
#include "CFStringInternal.h"

#include <Support/Diagnostics.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <vector>

namespace {

// Widths and precisions beyond this are cut to it: a format (perhaps from a
// translation file) cannot make us build text of gigabytes.
constexpr int kLargestWidth = 4096;

// A positional index beyond this is not an argument anyone passes.
constexpr size_t kLargestArgument = 64;

enum class Length { None, Char, Short, Long, LongLong, LongDouble, Size, PtrDiff, IntMax };

enum class ArgumentKind { Unused, Int, Long, LongLong, Double, LongDouble, Pointer };

struct Directive {
    size_t literalStart = 0;  // literal text before the directive
    size_t literalLength = 0;
    std::string flags;
    int width = -1;
    size_t widthArgument = 0;  // 1-based, 0 when none
    int precision = -1;
    size_t precisionArgument = 0;
    Length length = Length::None;
    char16_t conversion = 0;  // 0 for the literal tail
    size_t argument = 0;      // 1-based, 0 for "%%" and the tail
};

union ArgumentValue {
    long long integer;
    double real;
    long double longReal;
    const void* pointer;
};

ArgumentKind KindOf(const Directive& d)
{
    switch (d.conversion) {
    case 'd':
    case 'i':
    case 'u':
    case 'o':
    case 'x':
    case 'X':
        switch (d.length) {
        case Length::Long:
        case Length::Size:
        case Length::PtrDiff:
            return ArgumentKind::Long;
        case Length::LongLong:
        case Length::IntMax:
            return ArgumentKind::LongLong;
        default:
            return ArgumentKind::Int;
        }
    case 'c':
    case 'C':
        return ArgumentKind::Int;
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        return d.length == Length::LongDouble ? ArgumentKind::LongDouble : ArgumentKind::Double;
    case 's':
    case 'S':
    case 'p':
    case '@':
        return ArgumentKind::Pointer;
    default:
        return ArgumentKind::Unused;
    }
}

bool IsDigit(char16_t u)
{
    return u >= '0' && u <= '9';
}

// Reads "123" or "123$"; answers the number and whether a "$" followed.
size_t ReadNumber(std::u16string_view format, size_t& i)
{
    size_t value = 0;
    while (i < format.size() && IsDigit(format[i])) {
        if (value <= static_cast<size_t>(kLargestWidth))
            value = value * 10 + (format[i] - '0');
        ++i;
    }
    return value;
}

std::vector<Directive> Parse(std::u16string_view format)
{
    std::vector<Directive> directives;
    size_t literalStart = 0;
    size_t nextArgument = 1;
    size_t i = 0;
    while (i < format.size()) {
        if (format[i] != '%') {
            ++i;
            continue;
        }
        Directive d;
        d.literalStart = literalStart;
        d.literalLength = i - literalStart;
        ++i;
        // Positional argument: digits followed by '$'.
        size_t save = i;
        size_t position = ReadNumber(format, i);
        if (position > 0 && i < format.size() && format[i] == '$') {
            d.argument = position;
            ++i;
        } else {
            i = save;
        }
        while (i < format.size() && std::u16string_view(u"-+ #0'").find(format[i]) != std::u16string_view::npos)
            d.flags.push_back(static_cast<char>(format[i++]));
        if (i < format.size() && format[i] == '*') {
            ++i;
            size_t save2 = i;
            size_t n = ReadNumber(format, i);
            if (n > 0 && i < format.size() && format[i] == '$')
                d.widthArgument = n, ++i;
            else
                i = save2, d.widthArgument = nextArgument++;
        } else if (i < format.size() && IsDigit(format[i])) {
            d.width = static_cast<int>(std::min<size_t>(ReadNumber(format, i), kLargestWidth));
        }
        if (i < format.size() && format[i] == '.') {
            ++i;
            if (i < format.size() && format[i] == '*') {
                ++i;
                size_t save3 = i;
                size_t n = ReadNumber(format, i);
                if (n > 0 && i < format.size() && format[i] == '$')
                    d.precisionArgument = n, ++i;
                else
                    i = save3, d.precisionArgument = nextArgument++;
            } else {
                d.precision = static_cast<int>(std::min<size_t>(ReadNumber(format, i), kLargestWidth));
            }
        }
        if (i < format.size()) {
            switch (format[i]) {
            case 'h':
                ++i;
                d.length = Length::Short;
                if (i < format.size() && format[i] == 'h')
                    ++i, d.length = Length::Char;
                break;
            case 'l':
                ++i;
                d.length = Length::Long;
                if (i < format.size() && format[i] == 'l')
                    ++i, d.length = Length::LongLong;
                break;
            case 'q':
                ++i, d.length = Length::LongLong;
                break;
            case 'L':
                ++i, d.length = Length::LongDouble;
                break;
            case 'z':
                ++i, d.length = Length::Size;
                break;
            case 't':
                ++i, d.length = Length::PtrDiff;
                break;
            case 'j':
                ++i, d.length = Length::IntMax;
                break;
            default:
                break;
            }
        }
        if (i >= format.size())
            break;  // an unfinished directive at the end stays text, with what precedes it
        d.conversion = format[i++];
        if (KindOf(d) != ArgumentKind::Unused) {
            if (d.argument == 0)
                d.argument = nextArgument++;
        } else {
            d.argument = 0;
        }
        directives.push_back(std::move(d));
        literalStart = i;
    }
    Directive tail;
    tail.literalStart = literalStart;
    tail.literalLength = format.size() - literalStart;
    directives.push_back(std::move(tail));
    return directives;
}

void AppendASCII(std::u16string& out, const char* text, size_t length)
{
    for (size_t k = 0; k < length; ++k)
        out.push_back(static_cast<unsigned char>(text[k]));
}

// Numbers are written with '.' and without grouping whatever locale the
// process has set (Qt sets the user's on start-up).
locale_t ClassicLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

class ClassicLocaleScope {
public:
    ClassicLocaleScope() : previous_(uselocale(ClassicLocale())) {}
    ~ClassicLocaleScope() { uselocale(previous_); }
    ClassicLocaleScope(const ClassicLocaleScope&) = delete;
    ClassicLocaleScope& operator=(const ClassicLocaleScope&) = delete;

private:
    locale_t previous_;
};

template <typename T>
void AppendPrintf(std::u16string& out, const std::string& spec, T value)
{
    ClassicLocaleScope classic;
    char small[128];
    int n = std::snprintf(small, sizeof small, spec.c_str(), value);
    if (n < 0)
        return;
    if (static_cast<size_t>(n) < sizeof small) {
        AppendASCII(out, small, static_cast<size_t>(n));
        return;
    }
    std::vector<char> big(static_cast<size_t>(n) + 1);
    std::snprintf(big.data(), big.size(), spec.c_str(), value);
    AppendASCII(out, big.data(), static_cast<size_t>(n));
}

// Width and precision applied to text made by us (%@, %s, %S, %c, %C).
void AppendPadded(std::u16string& out, std::u16string_view text, const Directive& d, int width, int precision)
{
    if (precision >= 0 && static_cast<size_t>(precision) < text.size())
        text = text.substr(0, static_cast<size_t>(precision));
    size_t pad = width > 0 && static_cast<size_t>(width) > text.size() ? static_cast<size_t>(width) - text.size() : 0;
    bool left = d.flags.find('-') != std::string::npos;
    if (!left)
        out.append(pad, u' ');
    out.append(text);
    if (left)
        out.append(pad, u' ');
}

// The text of a "%s" argument. With a precision it is, as in C, a byte
// count: the array need not be terminated, so nothing past that many bytes
// is read. A character the count cuts in two is left out whole.
std::u16string DecodeCString(const char* text, int precision)
{
    std::u16string units;
    const size_t length = precision >= 0 ? strnlen(text, static_cast<size_t>(precision)) : std::strlen(text);
    const std::string_view bytes(text, length);
    if (CFDecodeUTF8(bytes, units))
        return units;
    for (size_t cut = 1; cut <= 3 && cut <= length && precision >= 0; ++cut) {
        const auto b = static_cast<unsigned char>(bytes[length - cut]);
        if (b >= 0xC0) {
            const size_t sequence = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
            if (sequence <= cut)
                break;  // whole, so not what the count cut
            units.clear();
            if (CFDecodeUTF8(bytes.substr(0, length - cut), units))
                return units;
            break;
        }
        if (b < 0x80)
            break;
    }
    units.clear();
    CFDecodeBytes(reinterpret_cast<const UInt8*>(text), length, kCFStringEncodingMacRoman, false, units);
    return units;
}

// The kinds of the arguments a format reads, by position (index 0 unused).
std::vector<ArgumentKind> ArgumentKinds(const std::vector<Directive>& directives)
{
    std::vector<ArgumentKind> kinds(1);
    auto need = [&](size_t index, ArgumentKind kind) {
        if (index == 0 || index > kLargestArgument)
            return;
        if (kinds.size() <= index)
            kinds.resize(index + 1, ArgumentKind::Unused);
        kinds[index] = kind;
    };
    for (const Directive& d : directives) {
        need(d.widthArgument, ArgumentKind::Int);
        need(d.precisionArgument, ArgumentKind::Int);
        need(d.argument, KindOf(d));
    }
    return kinds;
}

void FetchArguments(const std::vector<ArgumentKind>& kinds, va_list arguments, std::vector<ArgumentValue>& values)
{
    values.assign(kinds.size(), ArgumentValue{0});
    va_list list;
    va_copy(list, arguments);
    for (size_t k = 1; k < kinds.size(); ++k) {
        switch (kinds[k]) {
        case ArgumentKind::Int:
            values[k].integer = va_arg(list, int);
            break;
        case ArgumentKind::Long:
            values[k].integer = va_arg(list, long);
            break;
        case ArgumentKind::LongLong:
            values[k].integer = va_arg(list, long long);
            break;
        case ArgumentKind::Double:
            values[k].real = va_arg(list, double);
            break;
        case ArgumentKind::LongDouble:
            values[k].longReal = va_arg(list, long double);
            break;
        case ArgumentKind::Pointer:
            values[k].pointer = va_arg(list, const void*);
            break;
        case ArgumentKind::Unused:
            values[k].integer = va_arg(list, long);
            break;  // a gap: one word
        }
    }
    va_end(list);
}

}  // namespace

void CFFormatAppend(std::u16string& out, std::u16string_view format, va_list arguments)
{
    CFFormatAppendValidated(out, format, arguments, nullptr);
}

bool CFFormatAppendValidated(std::u16string& out, std::u16string_view format, va_list arguments,
                             const std::u16string_view* validFormat)
{
    std::vector<Directive> directives = Parse(format);

    // Learn every argument's kind, then fetch them all in order, so that
    // positional directives may refer to them in any order. With a valid
    // format, only the arguments it describes are fetched, as it describes
    // them: that is what the caller passed, whatever `format` asks for.
    const std::vector<ArgumentKind> wanted = ArgumentKinds(directives);
    const std::vector<ArgumentKind> passed = validFormat ? ArgumentKinds(Parse(*validFormat)) : wanted;
    std::vector<ArgumentValue> values;
    FetchArguments(passed, arguments, values);
    // An argument that was not passed, or not as the format reads it, reads
    // as nothing (and a width or precision from it as none).
    bool faithful = true;
    auto usable = [&](size_t index, ArgumentKind kind) {
        if (index < passed.size() && passed[index] == kind && index <= kLargestArgument)
            return true;
        faithful = false;
        return false;
    };

    for (const Directive& d : directives) {
        out.append(format.substr(d.literalStart, d.literalLength));
        if (d.conversion == 0)
            continue;
        long long wide = d.width, precise = d.precision;
        Directive adjusted = d;
        if (d.widthArgument && usable(d.widthArgument, ArgumentKind::Int)) {
            wide = values[d.widthArgument].integer;
            if (wide < 0) {  // a negative "*" width means left-justified
                adjusted.flags.push_back('-');
                wide = -wide;
            }
        }
        if (d.precisionArgument)
            precise = usable(d.precisionArgument, ArgumentKind::Int) ? values[d.precisionArgument].integer : -1;
        const int width = static_cast<int>(std::min<long long>(wide, kLargestWidth));
        const int precision = precise < 0 ? -1 : static_cast<int>(std::min<long long>(precise, kLargestWidth));
        if (d.conversion != '%' && KindOf(d) != ArgumentKind::Unused && !usable(d.argument, KindOf(d)))
            continue;
        const ArgumentValue& value = values[d.argument];

        std::string spec("%");
        spec += adjusted.flags;
        if (width >= 0)
            spec += std::to_string(width);
        if (precision >= 0)
            spec += "." + std::to_string(precision);

        switch (d.conversion) {
        case '%':
            out.push_back(u'%');
            break;
        case 'd':
        case 'i':
        case 'u':
        case 'o':
        case 'x':
        case 'X': {
            const char conversion = static_cast<char>(d.conversion);
            const bool isSigned = conversion == 'd' || conversion == 'i';
            long long n = value.integer;
            switch (d.length) {
            case Length::Char:
                n = isSigned ? (long long)(signed char)n : (long long)(unsigned char)n;
                break;
            case Length::Short:
                n = isSigned ? (long long)(short)n : (long long)(unsigned short)n;
                break;
            case Length::None:
                n = isSigned ? (long long)(int)n : (long long)(unsigned int)n;
                break;
            default:
                break;
            }
            AppendPrintf(out, spec + "ll" + conversion, n);
            break;
        }
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (d.length == Length::LongDouble)
                AppendPrintf(out, spec + "L" + static_cast<char>(d.conversion), value.longReal);
            else
                AppendPrintf(out, spec + static_cast<char>(d.conversion), value.real);
            break;
        case 'p':
            AppendPrintf(out, spec + "p", value.pointer);
            break;
        case 'c': {
            UInt8 byte = static_cast<UInt8>(value.integer);
            char16_t c = CFMacRomanToUnicode(byte);
            AppendPadded(out, std::u16string_view(&c, 1), adjusted, width, -1);
            break;
        }
        case 'C': {
            char16_t c = static_cast<char16_t>(value.integer);
            AppendPadded(out, std::u16string_view(&c, 1), adjusted, width, -1);
            break;
        }
        case 's': {
            const char* text = static_cast<const char*>(value.pointer);
            std::u16string units = text ? DecodeCString(text, precision) : std::u16string(u"(null)");
            AppendPadded(out, units, adjusted, width, precision);
            break;
        }
        case 'S': {
            // With a precision, as with "%s", no more than that is read.
            const char16_t* text = static_cast<const char16_t*>(value.pointer);
            std::u16string units(u"(null)");
            if (text) {
                size_t length = 0;
                while ((precision < 0 || length < static_cast<size_t>(precision)) && text[length] != 0)
                    ++length;
                units.assign(text, length);
            }
            AppendPadded(out, units, adjusted, width, precision);
            break;
        }
        case '@': {
            if (value.pointer == nullptr) {
                AppendPadded(out, u"(null)", adjusted, width, precision);
                break;
            }
            CFStringRef description = CFRuntimeObjectOf(value.pointer)->CopyFormattingDescription();
            AppendPadded(out, CFStringView(description), adjusted, width, precision);
            CFRelease(description);
            break;
        }
        default:
            // Not a directive we know: keep its text as written.
            out.push_back(u'%');
            out.push_back(d.conversion);
            break;
        }
    }
    if (!faithful)
        Diagnostics::WriteLine("Warning: The format \"" + CFEncodeUTF8(format.substr(0, 200)) +
                               "\" reads arguments that were not passed; they format as empty.");
    return faithful;
}
