#include "RTFTextDocument.h"

#include "RTFWriter.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QHash>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>

namespace {

SInt32 Saturated(double value)
{
    if (std::isnan(value))
        return 0;
    const double limit = std::numeric_limits<SInt32>::max();
    return static_cast<SInt32>(std::lround(std::clamp(value, -limit, limit)));
}

SInt32 Twips(double pixels)
{
    return Saturated(pixels * kRTFTwipsPerPixel);
}

// Builds the model: the tables as formats name fonts and colours, each
// different format once, and runs that merge text of one format.
class ModelBuilder {
public:
    explicit ModelBuilder(const QTextDocument& document) : defaultFont_(document.defaultFont())
    {
        rtf_.fonts.push_back({0, defaultFont_.family().toStdU16String(), 0});
        fontNumbers_.insert(defaultFont_.family(), 0);
        RTFColor automatic;
        automatic.automatic = true;
        rtf_.colors.push_back(automatic);
        indentWidth_ = document.indentWidth();
    }

    RTFParagraphFormat Paragraph(const QTextBlockFormat& format) const
    {
        RTFParagraphFormat paragraph;
        if (format.hasProperty(QTextFormat::BlockAlignment)) {
            const Qt::Alignment alignment = format.alignment();
            if (alignment & Qt::AlignJustify)
                paragraph.alignment = RTFAlignment::Justified;
            else if (alignment & Qt::AlignHCenter)
                paragraph.alignment = RTFAlignment::Center;
            else if (alignment & Qt::AlignRight)
                paragraph.alignment = RTFAlignment::Right;
            else if (alignment & Qt::AlignLeft)
                paragraph.alignment = RTFAlignment::Left;
        }
        paragraph.leftIndent = Twips(format.leftMargin() + format.indent() * indentWidth_);
        paragraph.rightIndent = Twips(format.rightMargin());
        paragraph.firstLineIndent = Twips(format.textIndent());
        paragraph.spaceBefore = Twips(format.topMargin());
        paragraph.spaceAfter = Twips(format.bottomMargin());
        return paragraph;
    }

    RTFCharacterFormat Character(const QTextCharFormat& format)
    {
        RTFCharacterFormat character;
        QString family;
        const QStringList families = format.property(QTextFormat::FontFamilies).toStringList();
        if (!families.isEmpty())
            family = families.first();
        else if (format.hasProperty(QTextFormat::FontFamily))
            family = format.stringProperty(QTextFormat::FontFamily);
        character.font = family.isEmpty() ? 0 : FontNumber(family);

        double points = defaultFont_.pointSizeF();
        if (format.hasProperty(QTextFormat::FontPointSize))
            points = format.fontPointSize();
        else if (format.hasProperty(QTextFormat::FontPixelSize))
            points = format.intProperty(QTextFormat::FontPixelSize) * 0.75;
        else if (points <= 0)
            points = defaultFont_.pixelSize() > 0 ? defaultFont_.pixelSize() * 0.75 : 12;
        character.fontSize = std::max<SInt32>(Saturated(points * 2), 1);

        const int weight = format.hasProperty(QTextFormat::FontWeight) ? format.fontWeight() : defaultFont_.weight();
        character.bold = weight >= QFont::DemiBold;
        character.italic = format.hasProperty(QTextFormat::FontItalic) ? format.fontItalic() : defaultFont_.italic();
        character.underline =
            format.hasProperty(QTextFormat::TextUnderlineStyle) || format.hasProperty(QTextFormat::FontUnderline)
                ? format.fontUnderline()
                : defaultFont_.underline();
        character.strikethrough =
            format.hasProperty(QTextFormat::FontStrikeOut) ? format.fontStrikeOut() : defaultFont_.strikeOut();
        character.foregroundColor = ColorNumber(format, QTextFormat::ForegroundBrush);
        character.backgroundColor = ColorNumber(format, QTextFormat::BackgroundBrush);
        switch (format.verticalAlignment()) {
        case QTextCharFormat::AlignSuperScript:
            character.script = 1;
            break;
        case QTextCharFormat::AlignSubScript:
            character.script = -1;
            break;
        default:
            break;
        }
        return character;
    }

    void Append(QStringView text, const RTFCharacterFormat& character, const RTFParagraphFormat& paragraph)
    {
        // Objects are not part of the model.
        while (!text.isEmpty()) {
            qsizetype length = text.indexOf(QChar::ObjectReplacementCharacter);
            if (length < 0)
                length = text.size();
            const size_t room = UINT32_MAX - rtf_.text.size();
            if (length > 0 && room > 0) {
                StartRun({character, paragraph});
                rtf_.text.append(reinterpret_cast<const char16_t*>(text.utf16()),
                                 std::min(static_cast<size_t>(length), room));
            }
            text = text.mid(std::min(length + 1, text.size()));
        }
    }

    RTFDocument Take() { return std::move(rtf_); }

private:
    void StartRun(const RTFFormat& format)
    {
        std::vector<RTFRunStart>& runs = rtf_.runStarts;
        if (!runs.empty() && rtf_.formats[runs.back().format] == format)
            return;
        auto found = formatIndexes_.find(format);
        if (found == formatIndexes_.end()) {
            found = formatIndexes_.emplace(format, static_cast<UInt32>(rtf_.formats.size())).first;
            rtf_.formats.push_back(format);
        }
        runs.push_back({static_cast<UInt32>(rtf_.text.size()), found->second});
    }

    SInt32 FontNumber(const QString& family)
    {
        const auto found = fontNumbers_.constFind(family);
        if (found != fontNumbers_.constEnd())
            return found.value();
        const auto number = static_cast<SInt32>(rtf_.fonts.size());
        rtf_.fonts.push_back({number, family.toStdU16String(), 0});
        fontNumbers_.insert(family, number);
        return number;
    }

    SInt32 ColorNumber(const QTextCharFormat& format, QTextFormat::Property property)
    {
        if (!format.hasProperty(property))
            return 0;
        const QBrush brush = format.brushProperty(property);
        if (brush.style() == Qt::NoBrush)
            return 0;
        const QRgb rgb = brush.color().rgb() & 0xFFFFFF;
        const auto found = colorNumbers_.find(rgb);
        if (found != colorNumbers_.end())
            return found->second;
        RTFColor color;
        color.red = static_cast<UInt8>(qRed(rgb));
        color.green = static_cast<UInt8>(qGreen(rgb));
        color.blue = static_cast<UInt8>(qBlue(rgb));
        const auto number = static_cast<SInt32>(rtf_.colors.size());
        rtf_.colors.push_back(color);
        colorNumbers_.emplace(rgb, number);
        return number;
    }

    const QFont defaultFont_;
    qreal indentWidth_ = 0;
    RTFDocument rtf_;
    QHash<QString, SInt32> fontNumbers_;
    std::unordered_map<QRgb, SInt32> colorNumbers_;
    std::unordered_map<RTFFormat, UInt32, RTFFormatHash> formatIndexes_;
};

QTextCharFormat CharFormatOf(const RTFCharacterFormat& character, const std::unordered_map<SInt32, QString>& fonts,
                             const std::vector<RTFColor>& colors)
{
    QTextCharFormat format;
    if (const auto found = fonts.find(character.font); found != fonts.end() && !found->second.isEmpty())
        format.setFontFamilies({found->second});
    format.setFontPointSize(character.fontSize / 2.0);
    format.setFontWeight(character.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(character.italic);
    format.setFontUnderline(character.underline);
    format.setFontStrikeOut(character.strikethrough);
    const auto colorOf = [&colors](SInt32 number, QColor& color) {
        if (number <= 0 || static_cast<size_t>(number) >= colors.size() || colors[size_t(number)].automatic)
            return false;
        const RTFColor& entry = colors[static_cast<size_t>(number)];
        color = QColor(entry.red, entry.green, entry.blue);
        return true;
    };
    QColor color;
    if (colorOf(character.foregroundColor, color))
        format.setForeground(color);
    if (colorOf(character.backgroundColor, color))
        format.setBackground(color);
    if (character.script > 0)
        format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (character.script < 0)
        format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    return format;
}

QTextBlockFormat BlockFormatOf(const RTFParagraphFormat& paragraph)
{
    QTextBlockFormat format;
    switch (paragraph.alignment) {
    case RTFAlignment::Natural:
        break;
    case RTFAlignment::Left:
        format.setAlignment(Qt::AlignLeft);
        break;
    case RTFAlignment::Center:
        format.setAlignment(Qt::AlignHCenter);
        break;
    case RTFAlignment::Right:
        format.setAlignment(Qt::AlignRight);
        break;
    case RTFAlignment::Justified:
        format.setAlignment(Qt::AlignJustify);
        break;
    }
    const std::pair<SInt32, void (QTextBlockFormat::*)(qreal)> distances[] = {
        {paragraph.leftIndent, &QTextBlockFormat::setLeftMargin},
        {paragraph.rightIndent, &QTextBlockFormat::setRightMargin},
        {paragraph.firstLineIndent, &QTextBlockFormat::setTextIndent},
        {paragraph.spaceBefore, &QTextBlockFormat::setTopMargin},
        {paragraph.spaceAfter, &QTextBlockFormat::setBottomMargin},
    };
    for (const auto& [twips, set] : distances)
        if (twips != 0)
            (format.*set)(double(twips) / kRTFTwipsPerPixel);
    return format;
}

bool EndsParagraph(char16_t unit)
{
    // What QTextCursor::insertText would turn into a new block.
    return unit == u'\n' || unit == u'\r' || unit == u'\u2029';
}

}  // namespace

RTFDocument RTFDocumentFromTextDocument(const QTextDocument& document, int from, int to)
{
    // The last block's separator is not text.
    const int end = document.characterCount() - 1;
    to = to < 0 ? end : std::min(to, end);
    from = std::clamp(from, 0, end);

    ModelBuilder builder(document);
    for (QTextBlock block = document.findBlock(from); block.isValid() && block.position() < to; block = block.next()) {
        const RTFParagraphFormat paragraph = builder.Paragraph(block.blockFormat());
        // The end of a paragraph looks like its last character, as other
        // readers expect (its size is that of the line); an empty paragraph's
        // end keeps the format text typed into it would have.
        QTextCharFormat endFormat = block.charFormat();
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextFragment piece = fragment.fragment();
            endFormat = piece.charFormat();
            const int start = std::max(piece.position(), from);
            const int stop = std::min(piece.position() + piece.length(), to);
            if (start >= stop)
                continue;
            const QString text = piece.text();
            builder.Append(QStringView(text).mid(start - piece.position(), stop - start),
                           builder.Character(piece.charFormat()), paragraph);
        }
        const int separator = block.position() + block.length() - 1;
        if (separator >= from && separator < to)
            builder.Append(u"\n", builder.Character(endFormat), paragraph);
    }
    return builder.Take();
}

QByteArray RTFWriteTextDocument(const QTextDocument& document, int from, int to)
{
    const std::string rtf = RTFWriteDocument(RTFDocumentFromTextDocument(document, from, to));
    return QByteArray(rtf.data(), static_cast<qsizetype>(rtf.size()));
}

void RTFFillTextDocument(QTextDocument& document, const RTFDocument& rtf)
{
    std::unordered_map<SInt32, QString> fonts;
    for (const RTFFont& font : rtf.fonts)
        fonts.emplace(font.number, QString::fromStdU16String(font.name));  // the first of a number counts

    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    document.clear();
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    bool paragraphStarted = false;  // the current paragraph has its formats
    const std::u16string_view all = rtf.text;
    for (size_t index = 0; index < rtf.RunCount(); ++index) {
        // Read with care: runs out of order or without a format are passed over.
        const RTFRunStart& start = rtf.runStarts[index];
        const size_t end = index + 1 < rtf.RunCount() ? rtf.runStarts[index + 1].start : all.size();
        if (start.format >= rtf.formats.size() || start.start >= end || end > all.size())
            continue;
        const RTFFormat& format = rtf.formats[start.format];
        const std::u16string_view text = all.substr(start.start, end - start.start);
        const QTextCharFormat charFormat = CharFormatOf(format.character, fonts, rtf.colors);
        size_t position = 0;
        while (position < text.size()) {
            size_t stop = position;
            while (stop < text.size() && !EndsParagraph(text[stop]))
                ++stop;
            if (stop > position) {
                QString piece(reinterpret_cast<const QChar*>(text.data() + position), qsizetype(stop - position));
                // Frame markers would make blocks of their own.
                piece.remove(QChar(0xFDD0)).remove(QChar(0xFDD1));
                if (!paragraphStarted) {
                    // The paragraph's formats as its first text has them;
                    // its end, when it comes, has the last word.
                    cursor.setBlockFormat(BlockFormatOf(format.paragraph));
                    paragraphStarted = true;
                }
                cursor.insertText(piece, charFormat);
            }
            if (stop < text.size()) {
                // A paragraph's formats are those in force at its end.
                cursor.setBlockFormat(BlockFormatOf(format.paragraph));
                cursor.setBlockCharFormat(charFormat);
                cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
                paragraphStarted = false;
                ++stop;
            }
            position = stop;
        }
    }
    cursor.endEditBlock();
    document.setUndoRedoEnabled(undo);
}

bool RTFReadTextDocument(const UInt8* bytes, size_t length, QTextDocument& document, std::string* reason)
{
    RTFDocument rtf;
    if (!RTFReadDocument(bytes, length, rtf, reason))
        return false;
    RTFFillTextDocument(document, rtf);
    return true;
}
