// Feeds arbitrary bytes to the RTF reader. Rich text arrives in files from
// anywhere, so the reader must refuse or read anything without crashing,
// running away in time, or nesting without bound; and what it reads must be
// text that survives: no lone surrogate halves, and a plain text written
// back as RTF reads back unchanged.

#include <RichText/RTFReader.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void Broken(const char* what)
{
    std::fprintf(stderr, "RTFReaderFuzzer: %s\n", what);
    std::abort();
}

bool HasLoneSurrogate(const std::u16string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return true;
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

// The plainest RTF of a text: every character that is not printable ASCII
// as a signed \uN with no fallback.
std::string WriteAsRTF(const std::u16string& text)
{
    std::string rtf = "{\\rtf1\\ansi\\uc0 ";
    for (char16_t u : text) {
        if (u == u'\\' || u == u'{' || u == u'}') {
            rtf += '\\';
            rtf += static_cast<char>(u);
        } else if (u >= 0x20 && u < 0x7F) {
            rtf += static_cast<char>(u);
        } else {
            const int value = u >= 0x8000 ? static_cast<int>(u) - 65536 : static_cast<int>(u);
            rtf += "\\u" + std::to_string(value) + " ";
        }
    }
    return rtf + "}";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RTFDocument document;
    std::string reason;
    const bool read = RTFReadDocument(data, size, document, &reason);
    if (read != reason.empty())
        Broken(read ? "a document read with a reason for refusing it" : "a refusal without a reason");

    CFStringRef error = nullptr;
    CFStringRef text = RTFCopyPlainText(data, size, &error);
    if ((text != nullptr) != read || (error != nullptr) == read)
        Broken("the plain text and the document disagree on refusing");
    if (error)
        CFRelease(error);
    if (!read)
        return 0;

    // The runs cover the text in order, each with a format of the document.
    if (document.text.empty() != (document.RunCount() == 0) || document.formats.size() > kRTFMaximumFormats)
        Broken("runs that do not cover the text");
    for (size_t i = 0; i < document.RunCount(); ++i) {
        const RTFRunStart& run = document.runStarts[i];
        const size_t end = i + 1 < document.RunCount() ? document.runStarts[i + 1].start : document.text.size();
        if (run.format >= document.formats.size() || run.start >= end || (i == 0 && run.start != 0))
            Broken("a run out of place");
    }

    const std::u16string plain = document.PlainText();
    if (static_cast<size_t>(CFStringGetLength(text)) != plain.size())
        Broken("the plain text is not the document's text");
    CFRelease(text);
    if (HasLoneSurrogate(plain))
        Broken("a lone surrogate half in the plain text");

    const std::string written = WriteAsRTF(plain);
    RTFDocument reread;
    if (!RTFReadDocument(reinterpret_cast<const UInt8*>(written.data()), written.size(), reread, &reason))
        Broken("the reader refused the plain text written as RTF");
    if (reread.PlainText() != plain) {
        std::fprintf(stderr, "written: %s\n", written.c_str());
        Broken("the plain text written as RTF read back differently");
    }
    return 0;
}
