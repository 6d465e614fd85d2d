#include "RTFReader.h"

#include <CoreFoundation/CFStringEncodingConverters.h>

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace {

// Where the text of a group goes.
enum class Destination : UInt8 {
    Body,
    Skip,
    FontTable,
    ColorTable,
    // An \upr group: its first child holds text for readers without
    // Unicode, its \ud child the same text in Unicode.
    UnicodeAlternatives,
};

enum class Word : UInt8 {
    // Destinations.
    SkippedDestination,
    FontTable,
    ColorTable,
    FieldResult,
    UnicodeAlternatives,
    UnicodeDestination,
    // Characters.
    Character,
    Unicode,
    UnicodeSkip,
    Binary,
    // Document.
    Ansi,
    Mac,
    PC,
    CodePage,
    DefaultFont,
    // Font and colour tables.
    FontCharset,
    FontCodePage,
    Red,
    Green,
    Blue,
    // Character formatting.
    Plain,
    Bold,
    Italic,
    Underline,
    NoUnderline,
    Strikethrough,
    Font,
    FontSize,
    ForegroundColor,
    BackgroundColor,
    Superscript,
    Subscript,
    NoSuperSub,
    Up,
    Down,
    // Paragraph formatting.
    ParagraphDefault,
    AlignLeft,
    AlignCenter,
    AlignRight,
    AlignJustified,
    LeftIndent,
    RightIndent,
    FirstLineIndent,
    SpaceBefore,
    SpaceAfter,
};

struct WordInfo {
    Word word;
    char16_t character = 0;  // for Word::Character
};

const std::unordered_map<std::string_view, WordInfo>& Words()
{
    static const std::unordered_map<std::string_view, WordInfo> words = [] {
        std::unordered_map<std::string_view, WordInfo> table;
        // Destinations whose text is not part of the body.
        for (std::string_view name : {"info",      "stylesheet",   "pict",        "object",
                                      "objdata",   "header",       "headerl",     "headerr",
                                      "headerf",   "footer",       "footerl",     "footerr",
                                      "footerf",   "footnote",     "fldinst",     "xe",
                                      "tc",        "annotation",   "atnid",       "atnauthor",
                                      "atndate",   "atnref",       "themedata",   "colorschememapping",
                                      "datastore", "latentstyles", "listtable",   "listoverridetable",
                                      "revtbl",    "rsidtbl",      "generator",   "xmlnstbl",
                                      "filetbl",   "pgdsctbl",     "NeXTGraphic", "nonshppict",
                                      "shp",       "shpinst",      "bkmkstart",   "bkmkend",
                                      "falt",      "panose",       "private",     "template",
                                      "txe",       "userprops",    "docvar",      "pn"})
            table.emplace(name, WordInfo{Word::SkippedDestination});
        table.emplace("fonttbl", WordInfo{Word::FontTable});
        table.emplace("colortbl", WordInfo{Word::ColorTable});
        table.emplace("fldrslt", WordInfo{Word::FieldResult});
        table.emplace("upr", WordInfo{Word::UnicodeAlternatives});
        table.emplace("ud", WordInfo{Word::UnicodeDestination});

        const std::pair<std::string_view, char16_t> characters[] = {
            {"par", u'\n'},         {"sect", u'\n'},          {"row", u'\n'},           {"nestrow", u'\n'},
            {"line", u'\u2028'},    {"page", u'\f'},          {"tab", u'\t'},           {"cell", u'\t'},
            {"nestcell", u'\t'},    {"emdash", u'\u2014'},    {"endash", u'\u2013'},    {"emspace", u'\u2003'},
            {"enspace", u'\u2002'}, {"qmspace", u'\u2005'},   {"bullet", u'\u2022'},    {"lquote", u'\u2018'},
            {"rquote", u'\u2019'},  {"ldblquote", u'\u201C'}, {"rdblquote", u'\u201D'}, {"zwj", u'\u200D'},
            {"zwnj", u'\u200C'},    {"ltrmark", u'\u200E'},   {"rtlmark", u'\u200F'},
        };
        for (const auto& [name, character] : characters)
            table.emplace(name, WordInfo{Word::Character, character});

        const std::pair<std::string_view, Word> others[] = {
            {"u", Word::Unicode},
            {"uc", Word::UnicodeSkip},
            {"bin", Word::Binary},
            {"ansi", Word::Ansi},
            {"mac", Word::Mac},
            {"pc", Word::PC},
            {"pca", Word::PC},
            {"ansicpg", Word::CodePage},
            {"deff", Word::DefaultFont},
            {"fcharset", Word::FontCharset},
            {"cpg", Word::FontCodePage},
            {"red", Word::Red},
            {"green", Word::Green},
            {"blue", Word::Blue},
            {"plain", Word::Plain},
            {"b", Word::Bold},
            {"i", Word::Italic},
            {"ul", Word::Underline},
            {"uld", Word::Underline},
            {"uldash", Word::Underline},
            {"uldb", Word::Underline},
            {"ulth", Word::Underline},
            {"ulw", Word::Underline},
            {"ulwave", Word::Underline},
            {"ulnone", Word::NoUnderline},
            {"strike", Word::Strikethrough},
            {"striked", Word::Strikethrough},
            {"f", Word::Font},
            {"fs", Word::FontSize},
            {"cf", Word::ForegroundColor},
            {"cb", Word::BackgroundColor},
            {"highlight", Word::BackgroundColor},
            {"super", Word::Superscript},
            {"sub", Word::Subscript},
            {"nosupersub", Word::NoSuperSub},
            {"up", Word::Up},
            {"dn", Word::Down},
            {"pard", Word::ParagraphDefault},
            {"ql", Word::AlignLeft},
            {"qc", Word::AlignCenter},
            {"qr", Word::AlignRight},
            {"qj", Word::AlignJustified},
            {"li", Word::LeftIndent},
            {"ri", Word::RightIndent},
            {"fi", Word::FirstLineIndent},
            {"sb", Word::SpaceBefore},
            {"sa", Word::SpaceAfter},
        };
        for (const auto& [name, word] : others)
            table.emplace(name, WordInfo{word});
        return table;
    }();
    return words;
}

bool IsDestinationWord(Word word)
{
    return word <= Word::UnicodeDestination;
}

// The encodings the converters know, by Windows code page number; invalid
// for the others, whose bytes then read in the document's encoding.
CFStringEncoding EncodingOfCodePage(SInt32 codePage)
{
    switch (codePage) {
    case 1252:
        return kCFStringEncodingWindowsLatin1;
    case 10000:
        return kCFStringEncodingMacRoman;
    case 28591:
        return kCFStringEncodingISOLatin1;
    case 65001:
        return kCFStringEncodingUTF8;
    default:
        return kCFStringEncodingInvalidId;
    }
}

bool IsLetter(UInt8 c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(UInt8 c)
{
    return c >= '0' && c <= '9';
}

int HexValue(UInt8 c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

struct GroupState {
    Destination destination = Destination::Body;
    // Where an \ud group sends its text: the destination of the \upr group
    // it is in; nowhere elsewhere.
    Destination resume = Destination::Skip;
    RTFCharacterFormat character;
    RTFParagraphFormat paragraph;
    // How many fallback characters follow each \uN.
    SInt32 unicodeSkip = 1;
    // A "\*" was just read: a destination this reader does not know is skipped.
    bool ignorableNext = false;
};

class Reader {
public:
    // `withRuns` false reads the text alone (and the tables).
    Reader(const UInt8* bytes, size_t length, RTFDocument& document, bool withRuns)
        : p_(bytes), end_(bytes + length), document_(document), withRuns_(withRuns)
    {}

    bool Read(std::string* reason);

private:
    void OpenGroup();
    void CloseGroup();
    void ControlSequence();
    void ControlWord(std::string_view name, bool hasParameter, SInt32 parameter);
    void ControlSymbol(UInt8 symbol);
    void TextByte(UInt8 byte);
    void Flush();
    void Emit(char16_t unit);
    void EmitBody(char16_t unit);
    void StartRunIfFormatChanged();
    void FinishFontEntry();
    CFStringEncoding CurrentEncoding() const;
    // A fallback character of \uN is being stepped over: true when the
    // caller must do nothing more with what it read.
    bool ConsumeSkippedCharacter();

    GroupState& Top() { return groups_.back(); }

    const UInt8* p_;
    const UInt8* end_;
    RTFDocument& document_;
    const bool withRuns_;
    std::unordered_map<RTFFormat, UInt32, RTFFormatHash> formatIndexes_;
    std::vector<GroupState> groups_;
    bool failed_ = false;
    std::string failure_;

    // Bytes of text not yet decoded, so that a character of several bytes
    // ("\'c3\'a9" in UTF-8) decodes whole.
    std::string pendingBytes_;
    CFStringEncoding pendingEncoding_ = kCFStringEncodingWindowsLatin1;
    SInt32 skipRemaining_ = 0;

    // The font table entry being read, as an index into document_.fonts.
    SInt32 fontEntry_ = -1;
    std::unordered_map<SInt32, CFStringEncoding> fontEncodings_;
    SInt32 defaultFont_ = -1;

    RTFColor color_;
    bool colorHasComponent_ = false;
};

bool Reader::Read(std::string* reason)
{
    document_ = RTFDocument();
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\r' || *p_ == '\n'))
        ++p_;
    static constexpr std::string_view kHeader = "{\\rtf";
    if (static_cast<size_t>(end_ - p_) < kHeader.size() ||
        std::string_view(reinterpret_cast<const char*>(p_), kHeader.size()) != kHeader) {
        if (reason)
            *reason = "The data is not RTF: it does not begin with \"{\\rtf\".";
        return false;
    }

    while (p_ < end_ && !failed_) {
        const UInt8 c = *p_;
        switch (c) {
        case '{':
            ++p_;
            OpenGroup();
            break;
        case '}':
            ++p_;
            CloseGroup();
            if (groups_.empty()) {
                // The document's own group is closed: anything after it is
                // not part of the document.
                p_ = end_;
            }
            break;
        case '\\':
            ControlSequence();
            break;
        case '\r':
        case '\n':
            // Line breaks of the file itself are not text and do not count
            // as fallback characters.
            ++p_;
            break;
        default:
            ++p_;
            TextByte(c);
            break;
        }
    }
    if (failed_) {
        if (reason)
            *reason = failure_;
        document_ = RTFDocument();
        return false;
    }
    // Input that stops inside a group keeps what was read.
    Flush();
    return true;
}

void Reader::OpenGroup()
{
    Flush();
    skipRemaining_ = 0;
    if (groups_.size() >= kRTFMaximumGroupDepth) {
        failed_ = true;
        failure_ = "The RTF data nests groups deeper than " + std::to_string(kRTFMaximumGroupDepth) + " levels.";
        return;
    }
    if (groups_.empty()) {
        groups_.emplace_back();
        return;
    }
    Top().ignorableNext = false;
    GroupState child = Top();
    if (child.destination == Destination::UnicodeAlternatives)
        child.destination = Destination::Skip;  // the text for readers without Unicode, unless it is \ud
    else
        child.resume = Destination::Skip;
    groups_.push_back(child);
}

void Reader::CloseGroup()
{
    Flush();
    skipRemaining_ = 0;
    if (Top().destination == Destination::FontTable)
        FinishFontEntry();
    groups_.pop_back();
}

void Reader::ControlSequence()
{
    ++p_;  // the backslash
    if (p_ >= end_)
        return;
    if (!IsLetter(*p_)) {
        const UInt8 symbol = *p_++;
        ControlSymbol(symbol);
        return;
    }
    const UInt8* nameStart = p_;
    while (p_ < end_ && IsLetter(*p_))
        ++p_;
    const std::string_view name(reinterpret_cast<const char*>(nameStart), static_cast<size_t>(p_ - nameStart));

    bool hasParameter = false;
    bool negative = false;
    int64_t value = 0;
    if (p_ < end_ && *p_ == '-' && p_ + 1 < end_ && IsDigit(p_[1])) {
        negative = true;
        ++p_;
    }
    while (p_ < end_ && IsDigit(*p_)) {
        hasParameter = true;
        // Saturate: a parameter of a thousand digits is still one number.
        if (value <= INT32_MAX)
            value = value * 10 + (*p_ - '0');
        ++p_;
    }
    value = std::min<int64_t>(value, INT32_MAX);
    const SInt32 parameter = static_cast<SInt32>(negative ? -value : value);
    if (p_ < end_ && *p_ == ' ')
        ++p_;  // the delimiter belongs to the word
    ControlWord(name, hasParameter, parameter);
}

bool Reader::ConsumeSkippedCharacter()
{
    if (skipRemaining_ <= 0)
        return false;
    --skipRemaining_;
    return true;
}

void Reader::ControlSymbol(UInt8 symbol)
{
    if (symbol == '\'') {
        // A byte in the code page; a malformed or cut-off escape is dropped.
        const int high = p_ < end_ ? HexValue(*p_) : -1;
        const int low = p_ + 1 < end_ ? HexValue(p_[1]) : -1;
        if (high < 0 || low < 0) {
            if (p_ < end_ && high >= 0)
                ++p_;
            ConsumeSkippedCharacter();
            return;
        }
        p_ += 2;
        if (ConsumeSkippedCharacter())
            return;
        const UInt8 byte = static_cast<UInt8>(high * 16 + low);
        if (Top().destination == Destination::Skip || Top().destination == Destination::UnicodeAlternatives)
            return;
        if (pendingBytes_.empty())
            pendingEncoding_ = CurrentEncoding();
        pendingBytes_.push_back(static_cast<char>(byte));
        return;
    }

    Flush();
    if (symbol == '*') {
        Top().ignorableNext = true;
        return;
    }
    Top().ignorableNext = false;
    if (ConsumeSkippedCharacter())
        return;
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        Emit(symbol);
        break;
    case '~':
        Emit(u'\u00A0');
        break;
    case '-':
        Emit(u'\u00AD');
        break;
    case '_':
        Emit(u'\u2011');
        break;
    case '\r':
    case '\n':
        Emit(u'\n');
        break;
    case '\t':
        Emit(u'\t');
        break;
    default:
        // Index entries ("\:"), formulas ("\|") and unknown symbols carry no text.
        break;
    }
}

void Reader::ControlWord(std::string_view name, bool hasParameter, SInt32 parameter)
{
    Flush();
    const auto found = Words().find(name);
    const WordInfo* info = found == Words().end() ? nullptr : &found->second;

    if (info && info->word == Word::Binary) {
        // Binary data is never text, whatever the state: step over it.
        const size_t count = hasParameter && parameter > 0 ? static_cast<size_t>(parameter) : 0;
        p_ += std::min(count, static_cast<size_t>(end_ - p_));
        ConsumeSkippedCharacter();
        return;
    }
    if (ConsumeSkippedCharacter())
        return;

    GroupState& group = Top();
    const bool ignorable = group.ignorableNext;
    group.ignorableNext = false;
    if (ignorable && (info == nullptr || !IsDestinationWord(info->word))) {
        group.destination = Destination::Skip;
        return;
    }
    if (info == nullptr || (group.destination == Destination::Skip && info->word != Word::UnicodeDestination))
        return;

    const Word word = info->word;
    const bool on = !hasParameter || parameter != 0;
    RTFCharacterFormat& character = group.character;
    RTFParagraphFormat& paragraph = group.paragraph;
    switch (word) {
    case Word::SkippedDestination:
        group.destination = Destination::Skip;
        break;
    case Word::FontTable:
        group.destination = Destination::FontTable;
        break;
    case Word::ColorTable:
        group.destination = Destination::ColorTable;
        color_ = RTFColor();
        colorHasComponent_ = false;
        break;
    case Word::FieldResult:
        break;
    case Word::UnicodeAlternatives:
        group.resume = group.destination;
        group.destination = Destination::UnicodeAlternatives;
        break;
    case Word::UnicodeDestination:
        group.destination = group.resume;
        break;
    case Word::Character:
        Emit(info->character);
        break;
    case Word::Unicode: {
        if (!hasParameter)
            break;
        // A signed 16-bit number: negative values stand for 65536 more.
        const SInt32 code = parameter < 0 ? parameter + 65536 : parameter;
        Emit(code >= 0 && code <= 0xFFFF ? static_cast<char16_t>(code) : u'\uFFFD');
        skipRemaining_ = group.unicodeSkip;
        break;
    }
    case Word::UnicodeSkip:
        group.unicodeSkip = hasParameter ? std::max<SInt32>(parameter, 0) : 1;
        break;
    case Word::Ansi:
        document_.encoding = kCFStringEncodingWindowsLatin1;
        break;
    case Word::Mac:
        document_.encoding = kCFStringEncodingMacRoman;
        break;
    case Word::PC:
        // The DOS code pages are not among the converters; Windows Latin 1
        // shares their letters' positions least badly.
        document_.encoding = kCFStringEncodingWindowsLatin1;
        break;
    case Word::CodePage:
        if (CFStringEncoding encoding = EncodingOfCodePage(parameter); encoding != kCFStringEncodingInvalidId)
            document_.encoding = encoding;
        break;
    case Word::DefaultFont:
        if (hasParameter) {
            defaultFont_ = parameter;
            if (character.font < 0)
                character.font = parameter;
        }
        break;
    case Word::FontCharset:
        if (group.destination == Destination::FontTable && fontEntry_ >= 0) {
            document_.fonts[static_cast<size_t>(fontEntry_)].charset = parameter;
            if (parameter == 77)
                fontEncodings_[document_.fonts[static_cast<size_t>(fontEntry_)].number] = kCFStringEncodingMacRoman;
        }
        break;
    case Word::FontCodePage:
        if (group.destination == Destination::FontTable && fontEntry_ >= 0) {
            if (CFStringEncoding encoding = EncodingOfCodePage(parameter); encoding != kCFStringEncodingInvalidId)
                fontEncodings_[document_.fonts[static_cast<size_t>(fontEntry_)].number] = encoding;
        }
        break;
    case Word::Red:
    case Word::Green:
    case Word::Blue:
        if (group.destination == Destination::ColorTable) {
            const UInt8 component = static_cast<UInt8>(std::clamp<SInt32>(parameter, 0, 255));
            (word == Word::Red ? color_.red : word == Word::Green ? color_.green : color_.blue) = component;
            colorHasComponent_ = true;
        }
        break;
    case Word::Plain:
        character = RTFCharacterFormat();
        character.font = defaultFont_;
        break;
    case Word::Bold:
        character.bold = on;
        break;
    case Word::Italic:
        character.italic = on;
        break;
    case Word::Underline:
        character.underline = on;
        break;
    case Word::NoUnderline:
        character.underline = false;
        break;
    case Word::Strikethrough:
        character.strikethrough = on;
        break;
    case Word::Font:
        if (!hasParameter)
            break;
        if (group.destination == Destination::FontTable) {
            FinishFontEntry();
            RTFFont font;
            font.number = parameter;
            document_.fonts.push_back(font);
            fontEntry_ = static_cast<SInt32>(document_.fonts.size() - 1);
        } else {
            character.font = parameter;
        }
        break;
    case Word::FontSize:
        if (hasParameter && parameter > 0)
            character.fontSize = parameter;
        break;
    case Word::ForegroundColor:
        character.foregroundColor = std::max<SInt32>(parameter, 0);
        break;
    case Word::BackgroundColor:
        character.backgroundColor = std::max<SInt32>(parameter, 0);
        break;
    case Word::Superscript:
        character.script = 1;
        break;
    case Word::Subscript:
        character.script = -1;
        break;
    case Word::NoSuperSub:
        character.script = 0;
        break;
    case Word::Up:
        character.baselineOffset = hasParameter ? parameter : 6;
        break;
    case Word::Down:
        character.baselineOffset = hasParameter ? -parameter : -6;  // never INT32_MIN: see ControlSequence
        break;
    case Word::ParagraphDefault:
        paragraph = RTFParagraphFormat();
        break;
    case Word::AlignLeft:
        paragraph.alignment = RTFAlignment::Left;
        break;
    case Word::AlignCenter:
        paragraph.alignment = RTFAlignment::Center;
        break;
    case Word::AlignRight:
        paragraph.alignment = RTFAlignment::Right;
        break;
    case Word::AlignJustified:
        paragraph.alignment = RTFAlignment::Justified;
        break;
    case Word::LeftIndent:
        paragraph.leftIndent = parameter;
        break;
    case Word::RightIndent:
        paragraph.rightIndent = parameter;
        break;
    case Word::FirstLineIndent:
        paragraph.firstLineIndent = parameter;
        break;
    case Word::SpaceBefore:
        paragraph.spaceBefore = parameter;
        break;
    case Word::SpaceAfter:
        paragraph.spaceAfter = parameter;
        break;
    case Word::Binary:
        break;
    }
}

void Reader::TextByte(UInt8 byte)
{
    if (ConsumeSkippedCharacter())
        return;
    const Destination destination = Top().destination;
    if (destination == Destination::Skip || destination == Destination::UnicodeAlternatives)
        return;
    Top().ignorableNext = false;
    if (byte == '\t') {
        Flush();
        Emit(u'\t');
        return;
    }
    if (byte < 0x20)
        return;  // other control characters of the file are not text
    if (pendingBytes_.empty())
        pendingEncoding_ = CurrentEncoding();
    pendingBytes_.push_back(static_cast<char>(byte));
}

CFStringEncoding Reader::CurrentEncoding() const
{
    const GroupState& group = groups_.back();
    SInt32 font = group.character.font;
    if (group.destination == Destination::FontTable)
        font = fontEntry_ >= 0 ? document_.fonts[static_cast<size_t>(fontEntry_)].number : -1;
    if (font >= 0) {
        const auto found = fontEncodings_.find(font);
        if (found != fontEncodings_.end())
            return found->second;
    }
    return document_.encoding;
}

void Reader::Flush()
{
    if (pendingBytes_.empty())
        return;
    std::u16string units;
    const auto* bytes = reinterpret_cast<const UInt8*>(pendingBytes_.data());
    if (!CFDecodeBytes(bytes, pendingBytes_.size(), pendingEncoding_, false, units)) {
        // Bytes that are not valid in the code page (broken UTF-8): keep
        // the ASCII among them and mark the rest.
        units.clear();
        for (char byte : pendingBytes_) {
            const auto b = static_cast<UInt8>(byte);
            units.push_back(b < 0x80 ? b : u'\uFFFD');
        }
    }
    pendingBytes_.clear();
    for (char16_t unit : units)
        Emit(unit);
}

void Reader::Emit(char16_t unit)
{
    GroupState& group = Top();
    switch (group.destination) {
    case Destination::Body:
        EmitBody(unit);
        break;
    case Destination::FontTable:
        if (unit == u';')
            FinishFontEntry();
        else if (fontEntry_ >= 0)
            document_.fonts[static_cast<size_t>(fontEntry_)].name.push_back(unit);
        break;
    case Destination::ColorTable:
        if (unit == u';') {
            color_.automatic = !colorHasComponent_;
            document_.colors.push_back(color_);
            color_ = RTFColor();
            colorHasComponent_ = false;
        }
        break;
    case Destination::Skip:
    case Destination::UnicodeAlternatives:
        break;
    }
}

void Reader::EmitBody(char16_t unit)
{
    if (withRuns_)
        StartRunIfFormatChanged();
    if (!failed_)
        document_.text.push_back(unit);
}

void Reader::StartRunIfFormatChanged()
{
    const GroupState& group = Top();
    std::vector<RTFRunStart>& runs = document_.runStarts;
    if (!runs.empty()) {
        const RTFFormat& last = document_.formats[runs.back().format];
        if (last.character == group.character && last.paragraph == group.paragraph)
            return;
    }
    if (document_.text.size() >= UINT32_MAX) {
        failed_ = true;
        failure_ = "The RTF text is too long.";
        return;
    }
    const RTFFormat format{group.character, group.paragraph};
    auto found = formatIndexes_.find(format);
    if (found == formatIndexes_.end()) {
        if (document_.formats.size() >= kRTFMaximumFormats && !runs.empty())
            return;
        found = formatIndexes_.emplace(format, static_cast<UInt32>(document_.formats.size())).first;
        document_.formats.push_back(format);
    }
    runs.push_back({static_cast<UInt32>(document_.text.size()), found->second});
}

void Reader::FinishFontEntry()
{
    if (fontEntry_ < 0)
        return;
    std::u16string& name = document_.fonts[static_cast<size_t>(fontEntry_)].name;
    const size_t first = name.find_first_not_of(u' ');
    const size_t last = name.find_last_not_of(u' ');
    name = first == std::u16string::npos ? std::u16string() : name.substr(first, last - first + 1);
    fontEntry_ = -1;
}

}  // namespace

RTFRun RTFDocument::Run(size_t index) const
{
    const RTFRunStart& run = runStarts[index];
    const size_t end = index + 1 < runStarts.size() ? runStarts[index + 1].start : text.size();
    const RTFFormat& format = formats[run.format];
    return {std::u16string_view(text).substr(run.start, end - run.start), format.character, format.paragraph};
}

std::u16string RTFDocument::PlainText() const
{
    std::u16string plain = text;
    CFReplaceLoneSurrogates(plain);
    return plain;
}

bool RTFReadDocument(const UInt8* bytes, size_t length, RTFDocument& document, std::string* reason)
{
    if (bytes == nullptr)
        length = 0;
    Reader reader(bytes, length, document, true);
    return reader.Read(reason);
}

CFStringRef RTFCopyPlainText(const UInt8* bytes, size_t length, CFStringRef* outError)
{
    if (outError)
        *outError = nullptr;
    RTFDocument document;
    std::string reason;
    // The text alone: the runs would only be thrown away.
    Reader reader(bytes, bytes ? length : 0, document, false);
    if (!reader.Read(&reason)) {
        if (outError)
            *outError = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(reason.data()),
                                                static_cast<CFIndex>(reason.size()), kCFStringEncodingUTF8, false);
        return nullptr;
    }
    CFReplaceLoneSurrogates(document.text);
    return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(document.text.data()),
                                        static_cast<CFIndex>(document.text.size()));
}

size_t RTFFormatHash::operator()(const RTFFormat& f) const
{
    const RTFCharacterFormat& c = f.character;
    const RTFParagraphFormat& p = f.paragraph;
    size_t h = 0;
    for (const int64_t v : {int64_t(c.font), int64_t(c.fontSize), int64_t(c.foregroundColor),
                            int64_t(c.backgroundColor), int64_t(c.baselineOffset), int64_t(c.script),
                            int64_t(c.bold | c.italic << 1 | c.underline << 2 | c.strikethrough << 3),
                            int64_t(p.alignment), int64_t(p.leftIndent), int64_t(p.rightIndent),
                            int64_t(p.firstLineIndent), int64_t(p.spaceBefore), int64_t(p.spaceAfter)})
        h = (h ^ static_cast<size_t>(v)) * 1099511628211u;
    return h;
}
