// Rich text between RTF and QTextDocument, the document of the text views:
// what a text view saves as RTF and loads from it.
//
// A character keeps its font family, point size (in half points), weight
// (bold from DemiBold up), italic, underline, strike-out, text and
// background colour (without alpha) and super- or subscript; a paragraph its
// alignment (an alignment never set stays "natural"), margins, first-line
// indent and the space above and below it. A property the format does not
// set is written as the document's default font has it; text with no colour
// is written in the automatic colour. Lengths in a text document are pixels
// at 96 per inch, in RTF twips: 15 to the pixel. An indent level counts as
// the document's indent width of left margin.
//
// Paragraphs end with "\n" in the RTF model (\par), in the format of the
// paragraph's last character, or for an empty paragraph in its own character
// format (QTextBlock::charFormat(), the look of text typed into it), so that
// an empty paragraph keeps its size; loading gives each paragraph the format
// of its end. The last paragraph has no "\n", so when it is empty its
// formats are not written.
// Objects in the text (U+FFFC: images, custom objects) are not written.
#pragma once

#include <RichText/RTFReader.h>

#include <QByteArray>

#include <string>

class QTextDocument;

inline constexpr int kRTFTwipsPerPixel = 15;

// The reader's model of the characters of `document` from `from` up to
// `to` (positions as QTextCursor has them; `to` -1 for the end), clamped to
// the document: the fonts numbered from 0 with the document's default font
// first, the colour table starting with the automatic colour.
RTFDocument RTFDocumentFromTextDocument(const QTextDocument& document, int from = 0, int to = -1);

// The RTF of those characters (RTFWriteDocument of the model above).
QByteArray RTFWriteTextDocument(const QTextDocument& document, int from = 0, int to = -1);

// Replaces the contents of `document` with the RTF model `rtf`, as one step
// that cannot be undone (the undo stack is cleared). A font number missing
// from the font table leaves the family unset; a colour number missing from
// the colour table, or the automatic colour, leaves the colour unset.
void RTFFillTextDocument(QTextDocument& document, const RTFDocument& rtf);

// Reads `length` bytes of RTF into `document`. False, with the reason in
// `reason` when given and the document left untouched, for data the reader
// refuses.
bool RTFReadTextDocument(const UInt8* bytes, size_t length, QTextDocument& document, std::string* reason = nullptr);
