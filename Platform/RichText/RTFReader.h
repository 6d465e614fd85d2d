// Reading RTF: the document's text, and its runs of equally formatted characters,
// with the font and colour tables the formats refer to. This is the reading
// half of the rich-text codec; the plain text of a document is what the
// units ask for today, the runs are what a text document is built from.
//
// What is read: groups and their formatting scope; the ignorable ("\*")
// groups and the destinations that hold no body text (font, colour and
// style tables, document information, pictures, objects, headers and
// footers, footnotes, field instructions) are skipped; \par, \line, \tab and
// the special-character words; "\'hh" bytes and raw 8-bit bytes in the
// document's code page (\ansicpg 1252, 10000, 28591 or 65001, \mac; a font's
// \fcharset 77 reads as Mac Roman); "\uN" with its "\ucN" fallback count
// (negative N counts from 65536; surrogate pairs join); the escapes "\\",
// "\{", "\}", "\~", "\-", "\_"; "\binN" data is stepped over.
//
// Untrusted input is safe: group nesting is bounded (no recursion is
// involved at all), numbers saturate, and input that ends anywhere ends the
// document with the text read so far. Input that does not begin with
// "{\rtf" (after white space) is refused.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Groups may nest this deep (the document's own group counts as one);
// deeper input is refused.
inline constexpr size_t kRTFMaximumGroupDepth = 512;

enum class RTFAlignment : UInt8 { Natural, Left, Center, Right, Justified };

// Sizes and distances in the units the format gives them: font sizes in
// half points, indents and spacing in twips (1/20 point).
struct RTFCharacterFormat {
    SInt32 font = -1;  // the font table's number (\fN); -1 for none
    SInt32 fontSize = 24;
    SInt32 foregroundColor = 0;  // colour table index; 0 is automatic
    SInt32 backgroundColor = 0;
    SInt32 baselineOffset = 0;  // \upN (positive), \dnN (negative), half points
    SInt8 script = 0;           // 1 superscript, -1 subscript
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;

    bool operator==(const RTFCharacterFormat&) const = default;
};

struct RTFParagraphFormat {
    RTFAlignment alignment = RTFAlignment::Natural;
    SInt32 leftIndent = 0;
    SInt32 rightIndent = 0;
    SInt32 firstLineIndent = 0;
    SInt32 spaceBefore = 0;
    SInt32 spaceAfter = 0;

    bool operator==(const RTFParagraphFormat&) const = default;
};

// How a run of text is formatted.
struct RTFFormat {
    RTFCharacterFormat character;
    RTFParagraphFormat paragraph;

    bool operator==(const RTFFormat&) const = default;
};

// A hash of a format, for tables that keep each different format once.
struct RTFFormatHash {
    size_t operator()(const RTFFormat& format) const;
};

// Where a run of one format begins in the document's text, and which of
// the document's formats it has. It ends where the next run begins.
struct RTFRunStart {
    UInt32 start;
    UInt32 format;
};

// One run as RTFDocument::Run answers it: valid while the document is.
struct RTFRun {
    std::u16string_view text;
    const RTFCharacterFormat& character;
    const RTFParagraphFormat& paragraph;
};

// A document holds more different formats than this only when it was made
// to hurt; the text after the limit keeps the last format it had.
inline constexpr size_t kRTFMaximumFormats = 65536;

struct RTFFont {
    SInt32 number = 0;
    std::u16string name;
    SInt32 charset = -1;  // \fcharsetN; -1 when not given
};

struct RTFColor {
    UInt8 red = 0;
    UInt8 green = 0;
    UInt8 blue = 0;
    bool automatic = false;  // an empty entry: the text's default colour
};

// The text is held once, and each run as a place in it: memory stays in
// proportion to the text however often the format changes.
struct RTFDocument {
    // The code page of "\'hh" and raw bytes.
    CFStringEncoding encoding = kCFStringEncodingWindowsLatin1;
    std::vector<RTFFont> fonts;
    std::vector<RTFColor> colors;
    // The body text as read. A paragraph ends with "\n" (\par); a line
    // break inside a paragraph is U+2028 (\line), a page break U+000C.
    std::u16string text;
    // Each different format once, and the runs in the order of the text.
    std::vector<RTFFormat> formats;
    std::vector<RTFRunStart> runStarts;

    size_t RunCount() const { return runStarts.size(); }
    RTFRun Run(size_t index) const;
    // The text with each surrogate that is not half of a pair as U+FFFD.
    std::u16string PlainText() const;
};

// Reads `length` bytes of RTF into `document` (cleared first). False, with
// the reason in `reason` when it is given, for input that is not RTF or
// nests too deeply.
bool RTFReadDocument(const UInt8* bytes, size_t length, RTFDocument& document, std::string* reason = nullptr);

// The plain text of RTF data: a new string the caller releases, or nil when
// the data is refused, with a new string saying why in `outError` (when
// given; the caller releases it).
CFStringRef RTFCopyPlainText(const UInt8* bytes, size_t length, CFStringRef* outError);
