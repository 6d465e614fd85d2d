// Reads arbitrary bytes as RTF, writes what was read and reads it again.
// Whatever the reader made of the input, the writer must give it back
// exactly: the same text (a lone surrogate half written as U+FFFD), the same
// runs in the same formats, the same font and colour tables; in plain ASCII;
// and writing the second reading gives the very same bytes. A small input
// also goes through a text document, as a text view loads and saves it,
// and must keep its text.

#include <CoreFoundation/CFStringEncodingConverters.h>
#include <RichText/RTFTextDocument.h>
#include <RichText/RTFWriter.h>

#include <QTextDocument>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void Broken(const char* what, const std::string& written)
{
    std::fprintf(stderr, "RTFWriterFuzzer: %s\nwritten: %s\n", what, written.c_str());
    std::abort();
}

bool SameTables(const RTFDocument& a, const RTFDocument& b)
{
    if (a.fonts.size() != b.fonts.size() || a.colors.size() != b.colors.size())
        return false;
    for (size_t i = 0; i < a.fonts.size(); ++i) {
        // A name is read without the spaces around it, but one the input
        // cut short keeps them.
        std::u16string name = a.fonts[i].name;
        CFReplaceLoneSurrogates(name);
        name.erase(0, std::min(name.find_first_not_of(u' '), name.size()));
        name.erase(name.find_last_not_of(u' ') + 1);
        if (a.fonts[i].number != b.fonts[i].number || name != b.fonts[i].name ||
            a.fonts[i].charset != b.fonts[i].charset)
            return false;
    }
    for (size_t i = 0; i < a.colors.size(); ++i) {
        const RTFColor& x = a.colors[i];
        const RTFColor& y = b.colors[i];
        if (x.automatic != y.automatic || x.red != y.red || x.green != y.green || x.blue != y.blue)
            return false;
    }
    return true;
}

bool SameRuns(const RTFDocument& a, const RTFDocument& b)
{
    if (a.RunCount() != b.RunCount())
        return false;
    for (size_t i = 0; i < a.RunCount(); ++i) {
        if (a.runStarts[i].start != b.runStarts[i].start || !(a.Run(i).character == b.Run(i).character) ||
            !(a.Run(i).paragraph == b.Run(i).paragraph))
            return false;
    }
    return true;
}

// The text a text document holds of a model's text: what makes a new block
// ends a paragraph, objects and frame markers are not text.
std::u16string TextDocumentText(const std::u16string& text)
{
    std::u16string out;
    for (char16_t unit : text) {
        if (unit == u'\r' || unit == u'\u2029')
            out.push_back(u'\n');
        else if (unit != u'\uFFFC' && unit != u'\uFDD0' && unit != u'\uFDD1')
            out.push_back(unit);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RTFDocument first;
    if (!RTFReadDocument(data, size, first))
        return 0;

    const std::string written = RTFWriteDocument(first);
    for (const char byte : written)
        if (byte != '\n' && (byte < 0x20 || byte > 0x7E))
            Broken("a byte outside printable ASCII", written);

    RTFDocument second;
    std::string reason;
    if (!RTFReadDocument(reinterpret_cast<const UInt8*>(written.data()), written.size(), second, &reason))
        Broken("the reader refused what was written", written);
    if (second.PlainText() != first.PlainText())
        Broken("the text read back differently", written);
    if (!SameTables(first, second))
        Broken("the tables read back differently", written);
    if (!SameRuns(first, second))
        Broken("the runs read back differently", written);
    if (RTFWriteDocument(second) != written)
        Broken("writing what was read back gave other bytes", written);

    if (size <= 4096) {
        QTextDocument document;
        RTFFillTextDocument(document, first);
        const RTFDocument saved = RTFDocumentFromTextDocument(document);
        if (saved.text != TextDocumentText(first.text))
            Broken("a text document did not keep the text", written);
    }
    return 0;
}
