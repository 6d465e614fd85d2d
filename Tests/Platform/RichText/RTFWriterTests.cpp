#include <CFTestSupport.h>

#include <RichText/RTFTextDocument.h>
#include <RichText/RTFWriter.h>

#include <QFont>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

const UInt8* Bytes(const std::string& text)
{
    return reinterpret_cast<const UInt8*>(text.data());
}

RTFDocument Read(const std::string& rtf)
{
    RTFDocument document;
    std::string reason;
    EXPECT_TRUE(RTFReadDocument(Bytes(rtf), rtf.size(), document, &reason)) << reason << "\n" << rtf;
    return document;
}

// A run of a text document as it looks: its text and what is in force on
// it, each property as the document resolves it.
struct LookOfRun {
    QString text;
    QString family;
    double points = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
    std::optional<QRgb> color;
    std::optional<QRgb> background;
    int script = 0;
    // The paragraph's.
    std::optional<int> alignment;  // none when never set
    double leftMargin = 0;
    double rightMargin = 0;
    double textIndent = 0;
    double topMargin = 0;
    double bottomMargin = 0;

    bool SameLook(const LookOfRun& o) const
    {
        return family == o.family && points == o.points && bold == o.bold && italic == o.italic &&
               underline == o.underline && strikethrough == o.strikethrough && color == o.color &&
               background == o.background && script == o.script && alignment == o.alignment &&
               leftMargin == o.leftMargin && rightMargin == o.rightMargin && textIndent == o.textIndent &&
               topMargin == o.topMargin && bottomMargin == o.bottomMargin;
    }
    bool operator==(const LookOfRun& o) const { return text == o.text && SameLook(o); }
};

void PrintTo(const LookOfRun& r, std::ostream* os)
{
    const auto rgb = [](const std::optional<QRgb>& c) {
        return c ? QString::number(*c & 0xFFFFFF, 16).toStdString() : std::string("auto");
    };
    *os << '"' << r.text.toStdString() << "\" " << r.family.toStdString() << ' ' << r.points << "pt"
        << (r.bold ? " bold" : "") << (r.italic ? " italic" : "") << (r.underline ? " underline" : "")
        << (r.strikethrough ? " strike" : "") << " color " << rgb(r.color) << " back " << rgb(r.background)
        << " script " << r.script << " align " << (r.alignment ? std::to_string(*r.alignment) : "natural")
        << " margins " << r.leftMargin << '/' << r.rightMargin << '/' << r.textIndent << '/' << r.topMargin << '/'
        << r.bottomMargin;
}

std::optional<QRgb> ColorOf(const QTextCharFormat& format, QTextFormat::Property property)
{
    if (!format.hasProperty(property) || format.brushProperty(property).style() == Qt::NoBrush)
        return std::nullopt;
    return format.brushProperty(property).color().rgb();
}

LookOfRun LookOf(const QTextDocument& document, const QTextCharFormat& c, const QTextBlockFormat& b)
{
    const QFont font = c.font().resolve(document.defaultFont());
    LookOfRun run;
    run.family = font.families().value(0, font.family());
    run.points = font.pointSizeF();
    run.bold = font.weight() >= QFont::DemiBold;
    run.italic = font.italic();
    run.underline = font.underline();
    run.strikethrough = font.strikeOut();
    run.color = ColorOf(c, QTextFormat::ForegroundBrush);
    run.background = ColorOf(c, QTextFormat::BackgroundBrush);
    run.script = c.verticalAlignment() == QTextCharFormat::AlignSuperScript ? 1
                 : c.verticalAlignment() == QTextCharFormat::AlignSubScript ? -1
                                                                            : 0;
    if (b.hasProperty(QTextFormat::BlockAlignment))
        run.alignment = int(b.alignment() & Qt::AlignHorizontal_Mask);
    run.leftMargin = b.leftMargin();
    run.rightMargin = b.rightMargin();
    run.textIndent = b.textIndent();
    run.topMargin = b.topMargin();
    run.bottomMargin = b.bottomMargin();
    return run;
}

// The runs of a document, each paragraph's end a "\n" in the look of its
// last character, or of text typed into it when it is empty; neighbours that
// look alike are one run.
std::vector<LookOfRun> RunsOf(const QTextDocument& document)
{
    std::vector<LookOfRun> runs;
    const auto add = [&runs](LookOfRun run) {
        if (!runs.empty() && runs.back().SameLook(run))
            runs.back().text += run.text;
        else
            runs.push_back(std::move(run));
    };
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextCharFormat endFormat = block.charFormat();
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            LookOfRun run = LookOf(document, it.fragment().charFormat(), block.blockFormat());
            run.text = it.fragment().text();
            add(std::move(run));
            endFormat = it.fragment().charFormat();
        }
        if (block.next().isValid()) {
            LookOfRun end = LookOf(document, endFormat, block.blockFormat());
            end.text = "\n";
            add(std::move(end));
        }
    }
    return runs;
}

// Documents made of paragraphs of runs.
class DocumentMaker {
public:
    explicit DocumentMaker(QTextDocument& document) : cursor_(&document)
    {
        document.setDefaultFont(QFont("Helvetica", 12));
    }

    DocumentMaker& Text(const QString& text, const QTextCharFormat& format = {})
    {
        cursor_.insertText(text, format);
        return *this;
    }
    // Ends the paragraph; the next one has `format`.
    DocumentMaker& Paragraph(const QTextBlockFormat& next = {}, const QTextCharFormat& nextCharacters = {})
    {
        cursor_.insertBlock(next, nextCharacters);
        return *this;
    }
    DocumentMaker& FirstParagraph(const QTextBlockFormat& format)
    {
        cursor_.setBlockFormat(format);
        return *this;
    }

private:
    QTextCursor cursor_;
};

QTextCharFormat Format(const std::function<void(QTextCharFormat&)>& set)
{
    QTextCharFormat format;
    set(format);
    return format;
}

QTextBlockFormat Aligned(Qt::Alignment alignment)
{
    QTextBlockFormat format;
    format.setAlignment(alignment);
    return format;
}

void ExpectSameModel(const RTFDocument& expected, const RTFDocument& actual)
{
    ASSERT_EQ(actual.fonts.size(), expected.fonts.size());
    for (size_t i = 0; i < expected.fonts.size(); ++i) {
        EXPECT_EQ(actual.fonts[i].number, expected.fonts[i].number) << "font " << i;
        EXPECT_EQ(actual.fonts[i].name, expected.fonts[i].name) << "font " << i;
        EXPECT_EQ(actual.fonts[i].charset, expected.fonts[i].charset) << "font " << i;
    }
    ASSERT_EQ(actual.colors.size(), expected.colors.size());
    for (size_t i = 0; i < expected.colors.size(); ++i) {
        const RTFColor& a = actual.colors[i];
        const RTFColor& e = expected.colors[i];
        EXPECT_TRUE(a.automatic == e.automatic && a.red == e.red && a.green == e.green && a.blue == e.blue)
            << "colour " << i;
    }
    EXPECT_EQ(actual.PlainText(), expected.PlainText());
    ASSERT_EQ(actual.RunCount(), expected.RunCount());
    for (size_t i = 0; i < expected.RunCount(); ++i) {
        EXPECT_EQ(actual.runStarts[i].start, expected.runStarts[i].start) << "run " << i;
        EXPECT_TRUE(actual.Run(i).character == expected.Run(i).character) << "run " << i;
        EXPECT_TRUE(actual.Run(i).paragraph == expected.Run(i).paragraph) << "run " << i;
    }
}

// A model of runs in the given character formats, in one paragraph.
RTFDocument Model(const std::vector<std::pair<std::u16string, RTFCharacterFormat>>& runs)
{
    RTFDocument document;
    document.fonts.push_back({0, u"Helvetica", 0});
    for (const auto& [text, character] : runs) {
        document.runStarts.push_back({UInt32(document.text.size()), UInt32(document.formats.size())});
        document.formats.push_back({character, {}});
        document.text += text;
    }
    return document;
}

// The body of RTF as the writer puts it: after the header's line (and the
// colour table's, when there is one), without the closing brace.
std::string BodyOf(const std::string& rtf)
{
    size_t start = rtf.find('\n') + 1;
    if (rtf.compare(start, 10, "{\\colortbl") == 0)
        start = rtf.find('\n', start) + 1;
    return rtf.substr(start, rtf.size() - start - 1);
}

}  // namespace

// What the writer makes of one small document, byte for byte: the header
// and tables other readers expect, changes of format as words, and text
// escaped for readers with and without Unicode.
TEST(RTFWriter, WritesTheExpectedText)
{
    QTextDocument document;
    QTextCharFormat red;
    red.setFontItalic(true);
    red.setForeground(QColor(255, 0, 0));
    QTextCharFormat courier;
    courier.setFontFamilies({"Courier"});
    courier.setFontPointSize(18);
    DocumentMaker(document)
        .FirstParagraph(Aligned(Qt::AlignHCenter))
        .Text("Hello ")
        .Text("bold", Format([](QTextCharFormat& f) { f.setFontWeight(QFont::Bold); }))
        .Text(" ")
        .Text("red", red)
        .Paragraph()
        .Text(QString::fromUtf16(u"caf\u00E9 \u20AC \U0001F600 \u4E2D {x}\\\ta\u2028b"), courier);

    const QByteArray rtf = RTFWriteTextDocument(document);
    EXPECT_EQ(rtf.toStdString(), "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Helvetica;}"
                                 "{\\f1\\fnil\\fcharset0 Courier;}}\n"
                                 "{\\colortbl;\\red255\\green0\\blue0;}\n"
                                 "\\pard\\qc Hello \\b bold\\b0  \\i\\cf1 red\\par\n"
                                 "\\pard\\f1\\fs36\\i0\\cf0 caf\\u233\\'e9 \\u8364\\'80 \\u-10179?\\u-8704? \\u20013? "
                                 "\\{x\\}\\\\\\tab a\\line b}");
}

// Documents written and read back as a text view would save and load
// them, compared run by run; the model in between reads back exactly.
TEST(RTFWriter, TextDocumentsRoundTrip)
{
    QTextBlockFormat spaced;
    spaced.setLeftMargin(48);
    spaced.setRightMargin(12);
    spaced.setTextIndent(-24);
    spaced.setTopMargin(6);
    spaced.setBottomMargin(10);
    const QTextCharFormat bigBold = Format([](QTextCharFormat& f) {
        f.setFontWeight(QFont::Bold);
        f.setFontPointSize(18);
    });

    const struct {
        const char* name;
        std::function<void(DocumentMaker&)> make;
    } cases[] = {
        {"empty", [](DocumentMaker&) {}},
        {"bold", [&](DocumentMaker& d) { d.Text("a ").Text("b", Format([](auto& f) { f.setFontWeight(700); })); }},
        {"italic", [&](DocumentMaker& d) { d.Text("a ").Text("i", Format([](auto& f) { f.setFontItalic(true); })); }},
        {"underline",
         [&](DocumentMaker& d) { d.Text("a ").Text("u", Format([](auto& f) { f.setFontUnderline(true); })); }},
        {"strikethrough",
         [&](DocumentMaker& d) { d.Text("a ").Text("s", Format([](auto& f) { f.setFontStrikeOut(true); })); }},
        {"colours",
         [&](DocumentMaker& d) {
             d.Text("red", Format([](auto& f) { f.setForeground(QColor(255, 0, 0)); }))
                 .Text(" marked", Format([](auto& f) { f.setBackground(QColor(255, 255, 0)); }))
                 .Text(" red again", Format([](auto& f) { f.setForeground(QColor(255, 0, 0)); }))
                 .Text(" black", Format([](auto& f) { f.setForeground(QColor(0, 0, 0)); }));
         }},
        {"sizes",
         [&](DocumentMaker& d) {
             d.Text("9", Format([](auto& f) { f.setFontPointSize(9); }))
                 .Text("18.5", Format([](auto& f) { f.setFontPointSize(18.5); }))
                 .Text("72", Format([](auto& f) { f.setFontPointSize(72); }));
         }},
        {"families",
         [&](DocumentMaker& d) {
             d.Text("mono", Format([](auto& f) { f.setFontFamilies({"Courier New"}); }))
                 .Text(" accented", Format([](auto& f) { f.setFontFamilies({QString::fromUtf16(u"\u00DCber Sans")}); }))
                 .Text(" braced", Format([](auto& f) { f.setFontFamilies({"Odd {Font} \\ Name"}); }));
         }},
        {"scripts",
         [&](DocumentMaker& d) {
             d.Text("x")
                 .Text("2", Format([](auto& f) { f.setVerticalAlignment(QTextCharFormat::AlignSuperScript); }))
                 .Text("i", Format([](auto& f) { f.setVerticalAlignment(QTextCharFormat::AlignSubScript); }));
         }},
        {"mixed runs",
         [&](DocumentMaker& d) {
             d.Text("all", Format([](auto& f) {
                        f.setFontWeight(QFont::Bold);
                        f.setFontItalic(true);
                        f.setFontUnderline(true);
                        f.setFontStrikeOut(true);
                        f.setForeground(QColor(0, 0, 255));
                        f.setFontPointSize(14);
                        f.setFontFamilies({"Times"});
                    }))
                 .Text("-5", Format([](auto& f) { f.setFontItalic(true); }))
                 .Text("7 ", bigBold)
                 .Text(" plain");
         }},
        {"unicode",
         [&](DocumentMaker& d) {
             d.Text(QString::fromUtf16(u"caf\u00E9 \u0160 \u20AC \u4E2D\u6587 \u65E5\u672C\u8A9E "
                                       u"\U0001F600\U0001F469\u200D\U0001F4BB e\u0301 \u00A0\u00AD\u2011 \uFFFF"))
                 .Text(QString::fromUtf16(u"\U0001F389 bold"), bigBold);
         }},
        {"escapes",
         [&](DocumentMaker& d) {
             d.Text("{\\rtf1 \\par} \\\\ {{ }}\tafter tab").Text(QString::fromUtf16(u"line\u2028break\u2028"));
         }},
        {"empty paragraphs",
         [&](DocumentMaker& d) { d.Text("a").Paragraph().Paragraph().Text("b").Paragraph().Paragraph(); }},
        {"empty paragraph keeps its look",
         [&](DocumentMaker& d) { d.Text("a").Paragraph({}, bigBold).Paragraph().Text("b"); }},
        {"alignment per paragraph",
         [&](DocumentMaker& d) {
             d.FirstParagraph(Aligned(Qt::AlignLeft))
                 .Text("left")
                 .Paragraph(Aligned(Qt::AlignHCenter))
                 .Text("centre")
                 .Paragraph(Aligned(Qt::AlignRight))
                 .Text("right")
                 .Paragraph(Aligned(Qt::AlignJustify))
                 .Text("justified")
                 .Paragraph()
                 .Text("natural")
                 .Paragraph(Aligned(Qt::AlignHCenter))
                 .Paragraph(spaced)
                 .Text("indented and spaced");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTextDocument original;
        DocumentMaker maker(original);
        c.make(maker);

        const QByteArray rtf = RTFWriteTextDocument(original);
        ASSERT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Helvetica;}"))
            << rtf.toStdString();
        for (const char byte : rtf)
            ASSERT_TRUE(byte == '\n' || (byte >= 0x20 && byte < 0x7F)) << "not plain ASCII: " << rtf.toStdString();

        QTextDocument reread;
        reread.setDefaultFont(QFont("Helvetica", 12));
        std::string reason;
        ASSERT_TRUE(RTFReadTextDocument(Bytes(rtf.toStdString()), size_t(rtf.size()), reread, &reason)) << reason;
        EXPECT_EQ(RunsOf(reread), RunsOf(original)) << rtf.toStdString();
        EXPECT_EQ(reread.toPlainText(), original.toPlainText());

        const RTFDocument model = RTFDocumentFromTextDocument(original);
        ExpectSameModel(model, Read(RTFWriteDocument(model)));
    }
}

// Reading what was written gives back the very document the reader made,
// tables and all, whatever the RTF it came from.
TEST(RTFWriter, ReaderDocumentsRoundTripExactly)
{
    const std::string sources[] = {
        ReadFixture("RichText/menu.rtf"),
        // No default font: text with no font at all, before and after a font.
        R"({\rtf1{\fonttbl{\f3\fcharset77 Gen;eva}{\f5 Caf\'e9 \u8364? Font;}}none\f3 three\plain none\f5 five})",
        // Every format the model holds, and tables out of the ordinary.
        R"({\rtf1\deff7{\colortbl\red1;;\green2;}\fs31\up4 a\dn3 b\up-2 c\super d\sub e\nosupersub\cb2\cf9 f)"
        R"(\strike\ul\i\b g\pard\qj\li-30\ri40\fi-50\sb60\sa70 h\par\pard\qr\par\pard\ql\ulnone\strike0 i\plain j})",
        // Text of every kind: specials, lone surrogate halves, controls.
        R"({\rtf1 \~\-\_\emdash\u-10179?\u-8704?\u-10179?x\u-8704?\u1?\u127?\u0?)"
        R"(\tab\line\page\par\bullet\'80\'9f end\par})",
    };
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        const RTFDocument first = Read(source);
        const std::string written = RTFWriteDocument(first);
        SCOPED_TRACE(written);
        ExpectSameModel(first, Read(written));
    }
}

// The escapes that keep text whole: what follows a control word is never
// taken as part of it, and characters outside ASCII fall back to their
// Windows Latin 1 byte or "?".
TEST(RTFWriter, EscapesKeepEveryCharacter)
{
    RTFCharacterFormat bold;
    bold.bold = true;
    const struct {
        std::vector<std::pair<std::u16string, RTFCharacterFormat>> runs;
        const char* body;
    } cases[] = {
        {{{u"a", {}}, {u"-5", bold}}, "a\\b -5"},
        {{{u"a", {}}, {u"5", bold}}, "a\\b 5"},
        {{{u"a", {}}, {u" x", bold}}, "a\\b  x"},
        {{{u"a", {}}, {u"?!", bold}}, "a\\b?!"},
        {{{u"\u0160\u0178\u00FF\u0100", {}}}, "\\u352\\'8a\\u376\\'9f\\u255\\'ff\\u256?"},
        {{{u"\uFFFF\u8000\u7FFF", {}}}, "\\u-1?\\u-32768?\\u32767?"},
        {{{u"\U0010FFFF", {}}}, "\\u-9217?\\u-8193?"},
        {{{std::u16string(1, char16_t(0xD800)) + u"x" + char16_t(0xDC00), {}}}, "\\u-3?x\\u-3?"},
        {{{std::u16string(1, u'\0') + u"\x01\r\x7F", {}}}, "\\u0?\\u1?\\u13?\\u127?"},
        {{{u"\u00A0\u00AD\u2011\f", {}}}, "\\~\\-\\_\\page"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(BodyOf(RTFWriteDocument(Model(c.runs))), c.body);
    }
}

// A part of a document: the characters of the range only, paragraph ends
// within it included, each with its formats.
TEST(RTFWriter, WritesARangeOfADocument)
{
    QTextDocument document;
    const QTextCharFormat bold = Format([](QTextCharFormat& f) { f.setFontWeight(QFont::Bold); });
    DocumentMaker(document).Text("one ").Text("two", bold).Paragraph(Aligned(Qt::AlignRight)).Text("three");

    // Each run as its text, marked [b] when bold and [r] when right-aligned.
    const auto describe = [](const RTFDocument& part) {
        std::u16string description;
        for (size_t i = 0; i < part.RunCount(); ++i) {
            const RTFRun run = part.Run(i);
            description += run.character.bold ? u"[b]" : u"";
            description += run.paragraph.alignment == RTFAlignment::Right ? u"[r]" : u"";
            description += run.text;
        }
        return description;
    };
    const struct {
        int from;
        int to;
        const char16_t* runs;
    } cases[] = {
        {4, 7, u"[b]two"},
        {5, 10, u"[b]wo\n[r]th"},
        {0, -1, u"one [b]two\n[r]three"},
        {7, 8, u"[b]\n"},
        {8, 1000, u"[r]three"},
        {-5, 3, u"one"},
        {7, 7, u""},
        {9, 3, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << ".." << c.to);
        EXPECT_EQ(describe(Read(RTFWriteTextDocument(document, c.from, c.to).toStdString())), c.runs);
    }
}

// Loading replaces what the document held; data that is not RTF leaves it
// as it was.
TEST(RTFWriter, LoadingReplacesOrLeavesTheDocument)
{
    QTextDocument document;
    DocumentMaker(document).Text("kept").Paragraph(Aligned(Qt::AlignHCenter)).Text("too");
    const std::vector<LookOfRun> before = RunsOf(document);

    std::string reason;
    const std::string notRTF = "plain words";
    EXPECT_FALSE(RTFReadTextDocument(Bytes(notRTF), notRTF.size(), document, &reason));
    EXPECT_NE(reason.find("not RTF"), std::string::npos);
    EXPECT_EQ(RunsOf(document), before);

    // Formats the tables do not hold leave the properties unset.
    const std::string rtf = R"({\rtf1{\colortbl;\red9\green9\blue9;}\f4\cf7\cb1 x\qc\par\cf1 y})";
    ASSERT_TRUE(RTFReadTextDocument(Bytes(rtf), rtf.size(), document, &reason));
    EXPECT_EQ(document.toPlainText(), "x\ny");
    const QTextCharFormat x = document.begin().begin().fragment().charFormat();
    EXPECT_FALSE(x.hasProperty(QTextFormat::FontFamilies));
    EXPECT_FALSE(x.hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_EQ(x.background().color(), QColor(9, 9, 9));
    EXPECT_EQ(document.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(document.lastBlock().begin().fragment().charFormat().foreground().color(), QColor(9, 9, 9));
    EXPECT_FALSE(document.isUndoAvailable());
}
