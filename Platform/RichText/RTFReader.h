// Reading RTF: the document's text as runs of equally formatted characters,
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

// Text of one format. A paragraph ends with "\n" (\par); a line break
// inside a paragraph is U+2028 (\line), a page break U+000C.
struct RTFRun {
    std::u16string text;
    RTFCharacterFormat character;
    RTFParagraphFormat paragraph;
};

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

struct RTFDocument {
    // The code page of "\'hh" and raw bytes.
    CFStringEncoding encoding = kCFStringEncodingWindowsLatin1;
    std::vector<RTFFont> fonts;
    std::vector<RTFColor> colors;
    std::vector<RTFRun> runs;

    // The runs' text joined; a surrogate that is not half of a pair becomes
    // U+FFFD.
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
