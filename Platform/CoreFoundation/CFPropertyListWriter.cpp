// Writes property lists as XML, in the layout of the platform's own writer
// so that files look the same whichever program wrote them.

#include "CFContainersInternal.h"
#include "CFDataInternal.h"
#include "CFDateInternal.h"
#include "CFStringInternal.h"

#include <CoreFoundation/CFDate.h>
#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFPropertyList.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr char kHeader[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";
constexpr char kFooter[] = "</plist>\n";
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kMaximumDepth = 512;

class Writer {
public:
    explicit Writer(std::string& out) : out_(out) {}

    bool Write(CFTypeRef value, int depth)
    {
        if (value == nullptr || depth > kMaximumDepth)
            return false;
        const CFTypeID type = CFGetTypeID(value);
        if (type == kCFRuntimeTypeString) {
            out_ += "<string>";
            AppendEscaped(static_cast<const CFStringObject*>(CFRuntimeObjectOf(value))->units);
            out_ += "</string>\n";
        } else if (type == kCFRuntimeTypeDictionary) {
            return WriteDictionary(static_cast<const CFDictionaryObject*>(CFRuntimeObjectOf(value)), depth);
        } else if (type == kCFRuntimeTypeArray) {
            const auto* array = static_cast<const CFArrayObject*>(CFRuntimeObjectOf(value));
            if (array->values.empty()) {
                out_ += "<array/>\n";
                return true;
            }
            out_ += "<array>\n";
            for (const void* element : array->values) {
                Indent(depth + 1);
                if (!Write(element, depth + 1))
                    return false;
            }
            Indent(depth);
            out_ += "</array>\n";
        } else if (type == kCFRuntimeTypeNumber) {
            WriteNumber(static_cast<CFNumberRef>(value));
        } else if (type == kCFRuntimeTypeBoolean) {
            out_ += CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? "<true/>\n" : "<false/>\n";
        } else if (type == kCFRuntimeTypeData) {
            out_ += "<data>\n";
            AppendBase64(static_cast<const CFDataObject*>(CFRuntimeObjectOf(value))->bytes, depth);
            Indent(depth);
            out_ += "</data>\n";
        } else if (type == kCFRuntimeTypeDate) {
            return WriteDate(CFDateGetAbsoluteTime(static_cast<CFDateRef>(value)));
        } else {
            return false;
        }
        return true;
    }

private:
    void Indent(int depth) { out_.append(static_cast<size_t>(depth), '\t'); }

    bool WriteDictionary(const CFDictionaryObject* dictionary, int depth)
    {
        if (dictionary->entries.empty()) {
            out_ += "<dict/>\n";
            return true;
        }
        std::vector<const CFDictionaryObject::Entry*> sorted;
        sorted.reserve(dictionary->entries.size());
        for (const auto& entry : dictionary->entries) {
            if (CFStringObjectOf(entry.key) == nullptr)
                return false;  // only string keys make a property list
            sorted.push_back(&entry);
        }
        std::sort(sorted.begin(), sorted.end(), [](const auto* a, const auto* b) {
            return CFStringView(a->key) < CFStringView(b->key);
        });
        out_ += "<dict>\n";
        for (const auto* entry : sorted) {
            Indent(depth + 1);
            out_ += "<key>";
            AppendEscaped(CFStringView(entry->key));
            out_ += "</key>\n";
            Indent(depth + 1);
            if (!Write(entry->value, depth + 1))
                return false;
        }
        Indent(depth);
        out_ += "</dict>\n";
        return true;
    }

    void WriteNumber(CFNumberRef number)
    {
        char text[64];
        char* end;
        if (!CFNumberIsFloatType(number)) {
            int64_t value = 0;
            CFNumberGetValue(number, kCFNumberSInt64Type, &value);
            out_ += "<integer>";
            end = std::to_chars(text, text + sizeof text, value).ptr;
            out_.append(text, end);
            out_ += "</integer>\n";
            return;
        }
        double value = 0;
        CFNumberGetValue(number, kCFNumberFloat64Type, &value);
        out_ += "<real>";
        if (std::isnan(value))
            out_ += "nan";
        else if (std::isinf(value))
            out_ += value > 0 ? "+infinity" : "-infinity";
        else
            out_.append(text, std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17).ptr);
        out_ += "</real>\n";
    }

    bool WriteDate(CFAbsoluteTime at)
    {
        CFUTCDateTime date;
        if (!CFAbsoluteTimeToUTC(at, &date) || date.year < 0 || date.year > 9999)
            return false;
        char text[64];
        std::snprintf(text, sizeof text, "<date>%04lld-%02d-%02dT%02d:%02d:%02dZ</date>\n",
                      static_cast<long long>(date.year), date.month, date.day, date.hour, date.minute,
                      static_cast<int>(std::floor(date.second)));
        out_ += text;
        return true;
    }

    // UTF-8 with "&", "<" and ">" escaped; other characters, control
    // characters included, are written as they are.
    void AppendEscaped(std::u16string_view units)
    {
        for (size_t i = 0; i < units.size(); ++i) {
            char32_t c = units[i];
            if (c < 0x80) {
                switch (c) {
                case '&': out_ += "&amp;"; break;
                case '<': out_ += "&lt;"; break;
                case '>': out_ += "&gt;"; break;
                default: out_.push_back(static_cast<char>(c)); break;
                }
                continue;
            }
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                units[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
                ++i;
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                c = 0xFFFD;  // a lone surrogate has no UTF-8 form
            }
            if (c < 0x800) {
                out_.push_back(static_cast<char>(0xC0 | (c >> 6)));
            } else if (c < 0x10000) {
                out_.push_back(static_cast<char>(0xE0 | (c >> 12)));
                out_.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            } else {
                out_.push_back(static_cast<char>(0xF0 | (c >> 18)));
                out_.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
                out_.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            }
            out_.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }

    // Base64 in lines of 76 characters less eight for every level of
    // indentation (at most eight levels), each line indented like the
    // element, as the platform's writer lays data out.
    void AppendBase64(const std::vector<UInt8>& bytes, int depth)
    {
        const int indent = std::min(depth, 8);
        const size_t lineLength = static_cast<size_t>(76 - 8 * indent);
        std::string line;
        line.reserve(lineLength + 4);
        auto flush = [&] {
            Indent(indent);
            out_ += line;
            out_.push_back('\n');
            line.clear();
        };
        const size_t count = bytes.size();
        for (size_t i = 0; i < count; ++i) {
            const UInt8* p = bytes.data() + i;
            switch (i % 3) {
            case 0:
                line.push_back(kBase64Alphabet[(p[0] >> 2) & 0x3F]);
                break;
            case 1:
                line.push_back(kBase64Alphabet[(((p[-1] << 8) | p[0]) >> 4) & 0x3F]);
                break;
            case 2:
                line.push_back(kBase64Alphabet[(((p[-1] << 8) | p[0]) >> 6) & 0x3F]);
                line.push_back(kBase64Alphabet[p[0] & 0x3F]);
                break;
            }
            if (line.size() >= lineLength)
                flush();
        }
        switch (count % 3) {
        case 1:
            line.push_back(kBase64Alphabet[(bytes[count - 1] << 4) & 0x30]);
            line += "==";
            break;
        case 2:
            line.push_back(kBase64Alphabet[(bytes[count - 1] << 2) & 0x3C]);
            line += "=";
            break;
        default:
            break;
        }
        if (!line.empty())
            flush();
    }

    std::string& out_;
};

}  // namespace

CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef, CFPropertyListRef propertyList)
{
    std::string out;
    out.reserve(4096);
    out += kHeader;
    Writer writer(out);
    if (!writer.Write(propertyList, 0))
        return nullptr;
    out += kFooter;
    return CFDataCreateWithVector(std::vector<UInt8>(out.begin(), out.end()), false);
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format)
{
    if (format != kCFPropertyListXMLFormat_v1_0)
        return false;
    std::string scratch;
    Writer writer(scratch);
    return writer.Write(plist, 0);
}
