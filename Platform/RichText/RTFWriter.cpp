#include "RTFWriter.h"

#include <CoreFoundation/CFStringEncodingConverters.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The Windows Latin 1 byte of each character that has one above ASCII, for
// the fallback that follows "\uN"; 0 for the others.
UInt8 WindowsLatin1Byte(char16_t unit)
{
    static const std::array<char16_t, 32> upperControls = [] {
        // 0x80-0x9F are the only bytes whose characters are not their own
        // code points; five of them are unassigned and decode to nothing.
        std::array<char16_t, 32> table{};
        for (UInt8 byte = 0x80; byte <= 0x9F; ++byte) {
            std::u16string decoded;
            if (CFDecodeBytes(&byte, 1, kCFStringEncodingWindowsLatin1, false, decoded) && decoded.size() == 1)
                table[byte - 0x80] = decoded[0];
        }
        return table;
    }();
    if (unit >= 0xA0 && unit <= 0xFF)
        return static_cast<UInt8>(unit);
    for (size_t i = 0; i < upperControls.size(); ++i)
        if (upperControls[i] == unit && unit >= 0x100)
            return static_cast<UInt8>(0x80 + i);
    return 0;
}

class Output {
public:
    explicit Output(size_t expectedSize) { out_.reserve(expectedSize); }

    void Word(std::string_view name)
    {
        out_ += '\\';
        out_ += name;
        delimit_ = true;
    }

    void Word(std::string_view name, int64_t value)
    {
        Word(name);
        out_ += std::to_string(value);
    }

    // "\\", "\{", "\~", ...: a symbol needs no delimiter after it.
    void Symbol(char symbol)
    {
        out_ += '\\';
        out_ += symbol;
        delimit_ = false;
    }

    void Hex(UInt8 byte)
    {
        static constexpr char kDigits[] = "0123456789abcdef";
        out_ += "\\'";
        out_ += kDigits[byte >> 4];
        out_ += kDigits[byte & 0xF];
        delimit_ = false;
    }

    // A printable ASCII character that means itself. After a control word, a
    // letter or digit would lengthen it, a space would be taken as its end,
    // and "-" would make its parameter negative: those take a space first.
    void Text(char c)
    {
        if (delimit_) {
            const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
            if (alphanumeric || c == ' ' || c == '-')
                out_ += ' ';
            delimit_ = false;
        }
        out_ += c;
    }

    // Raw line ends are not text in RTF; they keep the output readable, and
    // end a control word like a delimiter.
    void LineEnd()
    {
        out_ += '\n';
        delimit_ = false;
    }

    void OpenGroup()
    {
        out_ += '{';
        delimit_ = false;
    }

    void CloseGroup()
    {
        out_ += '}';
        delimit_ = false;
    }

    // A character outside printable ASCII as "\uN" and its fallback.
    void Unicode(char16_t unit)
    {
        Word("u", unit < 0x8000 ? int64_t(unit) : int64_t(unit) - 65536);
        const UInt8 byte = WindowsLatin1Byte(unit);
        if (byte)
            Hex(byte);
        else
            Text('?');
    }

    std::string Take() { return std::move(out_); }

private:
    std::string out_;
    bool delimit_ = false;
};

// One UTF-16 unit of body text, or of a table entry (`inTable`: every
// character outside printable ASCII as Unicode, since the special words
// would add their characters to the name). `previous` and `next` are the
// units around it (0 at the ends), to tell pairs from lone surrogates.
void WriteUnit(Output& out, char16_t unit, char16_t previous, char16_t next, bool inTable)
{
    if (unit >= 0x20 && unit < 0x7F) {
        if (unit == u'\\' || unit == u'{' || unit == u'}')
            out.Symbol(static_cast<char>(unit));
        else
            out.Text(static_cast<char>(unit));
        return;
    }
    if ((IsHighSurrogate(unit) && !IsLowSurrogate(next)) || (IsLowSurrogate(unit) && !IsHighSurrogate(previous))) {
        out.Unicode(u'\uFFFD');
        return;
    }
    if (!inTable) {
        switch (unit) {
        case u'\n':
            out.Word("par");
            out.LineEnd();
            return;
        case u'\t':
            out.Word("tab");
            return;
        case u'\u2028':
            out.Word("line");
            return;
        case u'\f':
            out.Word("page");
            return;
        case u'\u00A0':
            out.Symbol('~');
            return;
        case u'\u00AD':
            out.Symbol('-');
            return;
        case u'\u2011':
            out.Symbol('_');
            return;
        default:
            break;
        }
    }
    out.Unicode(unit);
}

void WriteCharacterChanges(Output& out, RTFCharacterFormat& current, const RTFCharacterFormat& next, SInt32 defaultFont)
{
    if (current == next)
        return;
    if (next.font != current.font && next.font == -1) {
        // No font at all: only \plain (with no default font) goes back to it.
        out.Word("plain");
        current = RTFCharacterFormat();
        current.font = defaultFont;
    }
    if (next.font != current.font)
        out.Word("f", next.font);
    if (next.fontSize != current.fontSize)
        out.Word("fs", next.fontSize);
    if (next.bold != current.bold)
        next.bold ? out.Word("b") : out.Word("b", 0);
    if (next.italic != current.italic)
        next.italic ? out.Word("i") : out.Word("i", 0);
    if (next.underline != current.underline)
        next.underline ? out.Word("ul") : out.Word("ulnone");
    if (next.strikethrough != current.strikethrough)
        next.strikethrough ? out.Word("strike") : out.Word("strike", 0);
    if (next.foregroundColor != current.foregroundColor)
        out.Word("cf", next.foregroundColor);
    if (next.backgroundColor != current.backgroundColor)
        out.Word("cb", next.backgroundColor);
    if (next.script != current.script)
        out.Word(next.script > 0 ? "super" : next.script < 0 ? "sub" : "nosupersub");
    if (next.baselineOffset != current.baselineOffset) {
        if (next.baselineOffset < 0)
            out.Word("dn", -int64_t(next.baselineOffset));
        else
            out.Word("up", next.baselineOffset);
    }
    current = next;
}

void WriteParagraphChanges(Output& out, RTFParagraphFormat& current, const RTFParagraphFormat& next)
{
    if (current == next)
        return;
    out.Word("pard");
    switch (next.alignment) {
    case RTFAlignment::Natural:
        break;
    case RTFAlignment::Left:
        out.Word("ql");
        break;
    case RTFAlignment::Center:
        out.Word("qc");
        break;
    case RTFAlignment::Right:
        out.Word("qr");
        break;
    case RTFAlignment::Justified:
        out.Word("qj");
        break;
    }
    const std::pair<std::string_view, SInt32> distances[] = {
        {"li", next.leftIndent},  {"ri", next.rightIndent}, {"fi", next.firstLineIndent},
        {"sb", next.spaceBefore}, {"sa", next.spaceAfter},
    };
    for (const auto& [word, value] : distances)
        if (value != 0)
            out.Word(word, value);
    current = next;
}

void WriteFontTable(Output& out, const std::vector<RTFFont>& fonts)
{
    if (fonts.empty())
        return;
    out.OpenGroup();
    out.Word("fonttbl");
    for (const RTFFont& font : fonts) {
        out.OpenGroup();
        out.Word("f", font.number);
        out.Word("fnil");
        if (font.charset != -1)
            out.Word("fcharset", font.charset);
        // Spaces around a name are not part of it, and ";" would end it.
        std::u16string name = font.name;
        std::erase(name, u';');
        const size_t first = std::min(name.find_first_not_of(u' '), name.size());
        name = name.substr(first, name.find_last_not_of(u' ') + 1 - first);
        for (size_t i = 0; i < name.size(); ++i)
            WriteUnit(out, name[i], i > 0 ? name[i - 1] : 0, i + 1 < name.size() ? name[i + 1] : 0, true);
        out.Text(';');
        out.CloseGroup();
    }
    out.CloseGroup();
}

void WriteColorTable(Output& out, const std::vector<RTFColor>& colors)
{
    if (colors.empty())
        return;
    out.OpenGroup();
    out.Word("colortbl");
    for (const RTFColor& color : colors) {
        if (!color.automatic) {
            out.Word("red", color.red);
            out.Word("green", color.green);
            out.Word("blue", color.blue);
        }
        out.Text(';');
    }
    out.CloseGroup();
}

}  // namespace

std::string RTFWriteDocument(const RTFDocument& document)
{
    const std::u16string& text = document.text;
    Output out(text.size() + text.size() / 4 + 256);

    // \deff makes a font the one of text that names none; it is left out when
    // some text has no font, which only its absence gives back.
    const bool someTextHasNoFont = std::any_of(document.formats.begin(), document.formats.end(),
                                               [](const RTFFormat& f) { return f.character.font == -1; });
    const SInt32 defaultFont = document.fonts.empty() || someTextHasNoFont ? -1 : document.fonts.front().number;

    out.OpenGroup();
    out.Word("rtf1");
    out.Word("ansi");
    out.Word("ansicpg", 1252);
    if (defaultFont != -1)
        out.Word("deff", defaultFont);
    WriteFontTable(out, document.fonts);
    out.LineEnd();
    if (!document.colors.empty()) {
        WriteColorTable(out, document.colors);
        out.LineEnd();
    }

    RTFCharacterFormat character;
    character.font = defaultFont;
    RTFParagraphFormat paragraph;

    // The runs as the reader left them, read with care: a run that starts
    // out of order or names no format of the document keeps the format
    // before it, so that no text is lost whatever the runs say.
    const std::vector<RTFRunStart>& runs = document.runStarts;
    size_t position = 0;
    for (size_t run = 0; run <= runs.size(); ++run) {
        const size_t end = run < runs.size() ? std::clamp<size_t>(runs[run].start, position, text.size()) : text.size();
        for (; position < end; ++position)
            WriteUnit(out, text[position], position > 0 ? text[position - 1] : 0,
                      position + 1 < text.size() ? text[position + 1] : 0, false);
        if (run < runs.size() && runs[run].format < document.formats.size()) {
            const RTFFormat& format = document.formats[runs[run].format];
            WriteParagraphChanges(out, paragraph, format.paragraph);
            WriteCharacterChanges(out, character, format.character, defaultFont);
        }
    }
    out.CloseGroup();
    return out.Take();
}
