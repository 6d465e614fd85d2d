// Writing RTF: the writing half of the rich-text codec, from the reader's
// own model (RTFReader.h), so that what is written reads back as the same
// document: the same text, the same runs in the same formats, the same font
// and colour tables.
//
// The output is 7-bit ASCII in the form other readers expect
// ("{\rtf1\ansi\ansicpg1252\deff0{\fonttbl...}{\colortbl...}" and the body).
// Character formats are written as changes from the run before (\b, \b0,
// \fN, \fsN, \cfN, ...), paragraph formats after \pard. The text escapes
// "\\", "\{" and "\}"; a tab is \tab, U+2028 \line, U+000C \page, "\n" ends
// a paragraph with \par. Every other character outside printable ASCII is
// "\uN" with N a signed 16-bit number (a character above U+FFFF as its two
// surrogate halves) followed by one fallback character for readers without
// Unicode: its Windows Latin 1 byte as "\'hh", or "?". A surrogate that is not
// half of a pair is written as U+FFFD. Pictures and attachments are not
// part of the model and are not written.
#pragma once

#include <RichText/RTFReader.h>

#include <string>

// The RTF of `document`. A font name loses any ";" (the font table's
// separator) and the spaces around it; the document's code page is not
// kept, since every character outside ASCII is written as Unicode.
std::string RTFWriteDocument(const RTFDocument& document);
