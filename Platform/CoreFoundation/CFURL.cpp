#include <CoreFoundation/CFURL.h>

#include "CFRuntime.h"
#include "CFStringEncodingConverters.h"
#include "CFStringInternal.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// The five parts of a URL reference. "Absent" and "empty" differ for all but
// the path ("http://h/?" has an empty query, "http://h/" none), and the
// difference matters when a relative reference is resolved.
struct URLParts {
    std::optional<std::string> scheme;
    std::optional<std::string> authority;
    std::string path;
    std::optional<std::string> query;
    std::optional<std::string> fragment;
};

bool IsAlpha(unsigned c)
{
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}
bool IsDigit(unsigned c)
{
    return c >= '0' && c <= '9';
}
bool IsUnreserved(unsigned c)
{
    return IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool IsOneOf(unsigned c, std::string_view set)
{
    return c != 0 && c < 0x80 && set.find(char(c)) != set.npos;
}
bool IsSubDelimiter(unsigned c)
{
    return IsOneOf(c, "!$&'()*+,;=");
}
bool IsGenericDelimiter(unsigned c)
{
    return IsOneOf(c, ":/?#[]@");
}

// What may appear in URL text at all. '%' counts as legal so that text that
// is already escaped is not escaped a second time.
bool IsLegalURLCharacter(unsigned c)
{
    return IsUnreserved(c) || IsSubDelimiter(c) || IsGenericDelimiter(c) || c == '%';
}

// What a path keeps as it is: the characters of a path segment and '/'.
bool IsPathCharacter(unsigned c)
{
    return IsUnreserved(c) || IsSubDelimiter(c) || c == ':' || c == '@' || c == '/';
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y && !(IsAlpha(x) && (x | 0x20) == (y | 0x20)))
            return false;
    }
    return true;
}

void AppendEscapedByte(std::string& out, UInt8 byte)
{
    static const char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// Escapes the bytes of a POSIX path for a URL path. In a reference without a
// scheme, a ':' in the first segment would read as the end of a scheme, so
// it is escaped there.
std::string EscapePath(std::string_view bytes, bool relativeReference)
{
    std::string out;
    out.reserve(bytes.size());
    bool firstSegment = relativeReference;
    for (char ch : bytes) {
        unsigned char b = static_cast<unsigned char>(ch);
        if (b == '/')
            firstSegment = false;
        if (IsPathCharacter(b) && !(b == ':' && firstSegment))
            out += ch;
        else
            AppendEscapedByte(out, b);
    }
    return out;
}

// The bytes behind the escapes; nullopt when an escape is malformed.
std::optional<std::string> DecodeEscapes(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        int high = CFHexDigitValue(static_cast<unsigned char>(text[i + 1]));
        int low = CFHexDigitValue(static_cast<unsigned char>(text[i + 2]));
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

// ---- parsing (RFC 3986) ----

// Cuts a reference into its parts the way the regular expression of the
// RFC's appendix B does; validation comes afterwards.
URLParts Split(std::string_view text)
{
    URLParts parts;
    size_t i = 0;
    size_t delimiter = text.find_first_of(":/?#");
    if (delimiter != text.npos && text[delimiter] == ':') {
        parts.scheme = std::string(text.substr(0, delimiter));
        i = delimiter + 1;
    }
    if (text.substr(i, 2) == "//") {
        size_t end = std::min(text.find_first_of("/?#", i + 2), text.size());
        parts.authority = std::string(text.substr(i + 2, end - i - 2));
        i = end;
    }
    size_t pathEnd = std::min(text.find_first_of("?#", i), text.size());
    parts.path = std::string(text.substr(i, pathEnd - i));
    i = pathEnd;
    if (i < text.size() && text[i] == '?') {
        size_t end = std::min(text.find('#', i + 1), text.size());
        parts.query = std::string(text.substr(i + 1, end - i - 1));
        i = end;
    }
    if (i < text.size() && text[i] == '#')
        parts.fragment = std::string(text.substr(i + 1));
    return parts;
}

bool IsValidScheme(std::string_view scheme)
{
    if (scheme.empty() || !IsAlpha(static_cast<unsigned char>(scheme[0])))
        return false;
    for (char ch : scheme) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return true;
}

// Splits "userinfo@host:port" into the host (brackets of an IP literal
// removed) and the port (-1 when there is none). False when the authority is
// not well formed or the port is not a number from 0 to 65535.
bool SplitAuthority(std::string_view authority, std::string_view* host, SInt32* port)
{
    size_t at = authority.rfind('@');
    if (at != authority.npos) {
        if (authority.find('@') != at || authority.substr(0, at).find_first_of("[]") != authority.npos)
            return false;
        authority.remove_prefix(at + 1);
    }
    std::string_view portText;
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        if (close == authority.npos)
            return false;
        *host = authority.substr(1, close - 1);
        if (host->find('[') != host->npos)
            return false;
        std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && rest[0] != ':')
            return false;
        portText = rest.empty() ? rest : rest.substr(1);
    } else {
        size_t colon = authority.find(':');
        if (colon != authority.npos && authority.find(':', colon + 1) != authority.npos)
            return false;
        *host = authority.substr(0, colon == authority.npos ? authority.size() : colon);
        if (host->find_first_of("[]") != host->npos)
            return false;
        if (colon != authority.npos)
            portText = authority.substr(colon + 1);
    }
    *port = -1;
    if (portText.empty())
        return true;
    if (portText.size() > 5)
        return false;
    SInt32 value = 0;
    for (char c : portText) {
        if (!IsDigit(static_cast<unsigned char>(c)))
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > 65535)
        return false;
    *port = value;
    return true;
}

// The parts of `text`, or nullopt when it is not a URI reference: a
// character outside the URL character set (a space, anything non-ASCII), a
// broken escape, a malformed scheme or authority, brackets outside the host
// or a second '#'.
std::optional<URLParts> Parse(std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!IsLegalURLCharacter(c))
            return std::nullopt;
        if (c == '%' && (i + 2 >= text.size() || CFHexDigitValue(static_cast<unsigned char>(text[i + 1])) < 0 ||
                         CFHexDigitValue(static_cast<unsigned char>(text[i + 2])) < 0))
            return std::nullopt;
    }
    URLParts parts = Split(text);
    if (parts.scheme && !IsValidScheme(*parts.scheme))
        return std::nullopt;
    if (parts.authority) {
        std::string_view host;
        SInt32 port;
        if (!SplitAuthority(*parts.authority, &host, &port))
            return std::nullopt;
    }
    auto hasBrackets = [](std::string_view s) { return s.find_first_of("[]") != s.npos; };
    if (hasBrackets(parts.path) || (parts.query && hasBrackets(*parts.query)) ||
        (parts.fragment && (hasBrackets(*parts.fragment) || parts.fragment->find('#') != std::string::npos)))
        return std::nullopt;
    return parts;
}

// The text of a URL made of `parts`. A path that would be misread once put
// back into text is protected as the RFC suggests: "//" at the start of a
// path without an authority, or a ':' in the first segment of a reference
// without a scheme.
std::string Recompose(const URLParts& parts)
{
    std::string text;
    if (parts.scheme)
        text += *parts.scheme + ":";
    if (parts.authority)
        text += "//" + *parts.authority;
    std::string_view path = parts.path;
    if (!parts.authority && path.substr(0, 2) == "//") {
        text += "/.";
    } else if (!parts.scheme && !parts.authority) {
        std::string_view firstSegment = path.substr(0, path.find('/'));
        if (firstSegment.find(':') != firstSegment.npos)
            text += "./";
    }
    text += path;
    if (parts.query)
        text += "?" + *parts.query;
    if (parts.fragment)
        text += "#" + *parts.fragment;
    return text;
}

// ---- resolving (RFC 3986 section 5.2) ----

std::string RemoveDotSegments(std::string_view input)
{
    std::string output;
    auto dropLastSegment = [&output] {
        size_t slash = output.rfind('/');
        output.erase(slash == output.npos ? 0 : slash);
    };
    while (!input.empty()) {
        if (input.substr(0, 3) == "../") {
            input.remove_prefix(3);
        } else if (input.substr(0, 2) == "./") {
            input.remove_prefix(2);
        } else if (input.substr(0, 3) == "/./") {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.substr(0, 4) == "/../") {
            input.remove_prefix(3);
            dropLastSegment();
        } else if (input == "/..") {
            input = "/";
            dropLastSegment();
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            size_t end = input.find('/', 1);
            if (end == input.npos)
                end = input.size();
            output.append(input.substr(0, end));
            input.remove_prefix(end);
        }
    }
    return output;
}

std::string Merge(const URLParts& base, std::string_view relativePath)
{
    if (base.authority && base.path.empty())
        return "/" + std::string(relativePath);
    size_t slash = base.path.rfind('/');
    if (slash == std::string::npos)
        return std::string(relativePath);
    return base.path.substr(0, slash + 1) + std::string(relativePath);
}

URLParts Resolve(const URLParts& r, const URLParts& base)
{
    URLParts t;
    if (r.scheme) {
        t.scheme = r.scheme;
        t.authority = r.authority;
        t.path = RemoveDotSegments(r.path);
        t.query = r.query;
    } else {
        if (r.authority) {
            t.authority = r.authority;
            t.path = RemoveDotSegments(r.path);
            t.query = r.query;
        } else {
            if (r.path.empty()) {
                t.path = base.path;
                t.query = r.query ? r.query : base.query;
            } else {
                t.path = RemoveDotSegments(r.path[0] == '/' ? r.path : Merge(base, r.path));
                t.query = r.query;
            }
            t.authority = base.authority;
        }
        t.scheme = base.scheme;
    }
    t.fragment = r.fragment;
    return t;
}

CFTypeID URLTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CFURL");
    return type;
}

}  // namespace

// ---- the object ----

struct CFURLObject final : CFRuntimeObject {
    CFURLObject(URLParts urlParts, std::string urlText, CFURLRef baseURL)
        : CFRuntimeObject(URLTypeID()), parts(std::move(urlParts)), text(std::move(urlText)),
          string(CFStringCreateWithUTF8(text)), base(baseURL)
    {
        CFRetain(base);
    }
    ~CFURLObject() override
    {
        CFRelease(string);
        CFRelease(base);
    }

    bool Equals(const CFRuntimeObject& other) const override
    {
        const auto& o = static_cast<const CFURLObject&>(other);
        return text == o.text && CFEqual(base, o.base);
    }
    CFHashCode Hash() const override { return CFHash(string); }
    // A relative URL's text alone does not say which resource it names, so
    // its description shows the base after it ("g -- http://a/b/").
    CFStringRef CopyDescription() const override
    {
        if (base == nullptr)
            return CFStringCreateWithUTF8(text);
        CFStringRef baseDescription = base->CopyDescription();
        CFStringRef description = CFStringCreateWithUTF8(text + " -- " + CFStringToUTF8(baseDescription));
        CFRelease(baseDescription);
        return description;
    }

    const URLParts parts;
    const std::string text;  // always ASCII
    const CFStringRef string;
    const CFURLRef base;
};

namespace {

const CFURLObject* AsURL(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != URLTypeID())
        return nullptr;
    return static_cast<const CFURLObject*>(CFRuntimeObjectOf(cf));
}

// A URL whose text has a scheme stands on its own, so it keeps no base.
CFURLRef MakeURL(std::string text, CFURLRef base)
{
    std::optional<URLParts> parts = Parse(text);
    if (!parts)
        return nullptr;
    if (parts->scheme)
        base = nullptr;
    return new CFURLObject(std::move(*parts), std::move(text), base);
}

// The text of a string if it is ASCII (URL text never holds anything else).
std::optional<std::string> ASCIIText(CFStringRef s)
{
    const CFStringObject* object = CFStringObjectOf(s);
    if (object == nullptr)
        return std::nullopt;
    std::string text;
    text.reserve(object->units.size());
    for (char16_t u : object->units) {
        if (u >= 0x80)
            return std::nullopt;
        text += static_cast<char>(u);
    }
    return text;
}

URLParts AbsoluteParts(const CFURLObject* url)
{
    if (url->base == nullptr)
        return url->parts;
    return Resolve(url->parts, AbsoluteParts(url->base));
}

CFURLRef CreateFileURL(std::string path, bool isDirectory);

// The working folder as a directory URL, the base of relative file URLs;
// nil when the folder has gone away.
CFURLRef CurrentDirectoryURL()
{
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr)
        return nullptr;
    std::string path(cwd);
    free(cwd);
    if (path.empty() || path[0] != '/')
        return nullptr;
    return CreateFileURL(std::move(path), true);
}

// Absolute paths become "file:///..." URLs. A relative path stays relative
// (CFURLGetString answers it as given, escaped) with the working folder of
// this moment as its base, so that resolving it later does not depend on
// where the process has moved to since.
CFURLRef CreateFileURL(std::string path, bool isDirectory)
{
    if (path.empty())
        return nullptr;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const bool absolute = path[0] == '/';
    std::string text = absolute ? "file://" + EscapePath(path, false) : EscapePath(path, true);
    if ((isDirectory || path == "/") && text.back() != '/')
        text += '/';
    if (absolute)
        return MakeURL(std::move(text), nullptr);
    CFURLRef base = CurrentDirectoryURL();
    CFURLRef url = MakeURL(std::move(text), base);
    CFRelease(base);
    return url;
}

// The decoded POSIX path of a local file URL, without a trailing slash
// (except for "/"); nullopt for other URLs and for paths that cannot be
// handed to the system (empty, or holding a NUL byte).
std::optional<std::string> FileSystemPath(const CFURLObject* url, bool resolveAgainstBase)
{
    URLParts absolute = AbsoluteParts(url);
    if (!absolute.scheme || !EqualsIgnoringCase(*absolute.scheme, "file"))
        return std::nullopt;
    if (absolute.authority && !absolute.authority->empty() && !EqualsIgnoringCase(*absolute.authority, "localhost"))
        return std::nullopt;
    std::optional<std::string> path = DecodeEscapes(resolveAgainstBase ? absolute.path : url->parts.path);
    if (!path || path->empty() || path->find('\0') != std::string::npos)
        return std::nullopt;
    while (path->size() > 1 && path->back() == '/')
        path->pop_back();
    return path;
}

// ---- path components ----

// Where the last component lies in an escaped path, trailing slashes left
// out; nullopt for an empty path or one of slashes only.
struct Component {
    size_t start, end;
};

std::optional<Component> LastComponent(std::string_view path)
{
    size_t end = path.size();
    while (end > 0 && path[end - 1] == '/')
        --end;
    if (end == 0)
        return std::nullopt;
    size_t slash = path.rfind('/', end - 1);
    return Component{slash == path.npos ? 0 : slash + 1, end};
}

// The dot before the extension in an escaped component ("%2E" is a dot too).
// A name with no dot, only a leading dot or a dot at its very end has none.
struct Dot {
    size_t at, length;
};

std::optional<Dot> ExtensionDot(std::string_view component)
{
    std::optional<Dot> last;
    for (size_t i = 0; i < component.size();) {
        if (component[i] == '.') {
            last = Dot{i, 1};
            ++i;
        } else if (component[i] == '%') {
            if (EqualsIgnoringCase(component.substr(i + 1, 2), "2E"))
                last = Dot{i, 3};
            i += 3;
        } else {
            ++i;
        }
    }
    if (!last || last->at == 0 || last->at + last->length >= component.size())
        return std::nullopt;
    return last;
}

// Paths of URLs like "mailto:someone@example.com" are no folder hierarchy.
bool HasHierarchicalPath(const URLParts& parts)
{
    return !parts.scheme || parts.authority || parts.path.empty() || parts.path[0] == '/';
}

CFURLRef WithPath(const CFURLObject* url, std::string path)
{
    URLParts parts = url->parts;
    parts.path = std::move(path);
    return MakeURL(Recompose(parts), url->base);
}

CFStringRef DecodedString(std::string_view escaped)
{
    std::optional<std::string> bytes = DecodeEscapes(escaped);
    return bytes ? CFStringCreateWithUTF8(*bytes) : nullptr;
}

// ---- percent escapes on text ----

std::optional<std::u16string> AddEscapes(std::u16string_view text, std::u16string_view leaveUnescaped,
                                         std::u16string_view alsoEscape, CFStringEncoding encoding)
{
    std::u16string out;
    out.reserve(text.size());
    std::vector<UInt8> bytes;
    for (size_t i = 0; i < text.size();) {
        size_t n = 1;
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            n = 2;
        std::u16string_view character = text.substr(i, n);
        i += n;
        const bool legal =
            n == 1 && IsLegalURLCharacter(character[0]) && alsoEscape.find(character[0]) == alsoEscape.npos;
        if (legal || leaveUnescaped.find(character) != leaveUnescaped.npos) {
            out += character;
            continue;
        }
        CFEncodeResult needed = CFEncodeUnits(character, encoding, 0, false, nullptr, 0);
        if (needed.charactersConverted != CFIndex(n))
            return std::nullopt;
        bytes.resize(static_cast<size_t>(needed.bytesUsed));
        CFEncodeUnits(character, encoding, 0, false, bytes.data(), needed.bytesUsed);
        std::string escaped;
        for (UInt8 b : bytes)
            AppendEscapedByte(escaped, b);
        out.append(escaped.begin(), escaped.end());
    }
    return out;
}

// Decodes every run of escapes a character at a time (the shortest run of
// bytes that is text in `encoding`), so that a character listed in
// `leaveEscaped` can keep its escapes while its neighbours are decoded.
std::optional<std::u16string> ReplaceEscapes(std::u16string_view text, std::u16string_view leaveEscaped,
                                             CFStringEncoding encoding)
{
    std::u16string out;
    out.reserve(text.size());
    std::vector<UInt8> bytes;
    std::vector<size_t> escapeAt;  // where each byte's escape starts in `text`
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '%') {
            out += text[i++];
            continue;
        }
        bytes.clear();
        escapeAt.clear();
        while (i < text.size() && text[i] == '%') {
            int high = i + 1 < text.size() ? CFHexDigitValue(text[i + 1]) : -1;
            int low = i + 2 < text.size() ? CFHexDigitValue(text[i + 2]) : -1;
            if (high < 0 || low < 0)
                return std::nullopt;
            bytes.push_back(static_cast<UInt8>(high * 16 + low));
            escapeAt.push_back(i);
            i += 3;
        }
        std::u16string character;
        for (size_t b = 0; b < bytes.size();) {
            size_t length = 0;
            for (size_t n = 1; n <= 4 && b + n <= bytes.size(); ++n) {
                character.clear();
                if (CFDecodeBytes(&bytes[b], n, encoding, false, character) && !character.empty()) {
                    length = n;
                    break;
                }
            }
            if (length == 0)
                return std::nullopt;
            if (leaveEscaped.find(character) != leaveEscaped.npos)
                out += text.substr(escapeAt[b], 3 * length);
            else
                out += character;
            b += length;
        }
    }
    return out;
}

}  // namespace

// ---- creating ----

CFTypeID CFURLGetTypeID()
{
    return URLTypeID();
}

CFURLRef CFURLCreateWithString(CFAllocatorRef, CFStringRef URLString, CFURLRef baseURL)
{
    std::optional<std::string> text = ASCIIText(URLString);
    if (!text)
        return nullptr;
    return MakeURL(std::move(*text), AsURL(baseURL));
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath, CFURLPathStyle pathStyle,
                                       Boolean isDirectory)
{
    if (pathStyle != kCFURLPOSIXPathStyle || CFStringObjectOf(filePath) == nullptr)
        return nullptr;
    return CreateFileURL(CFStringToUTF8(filePath), isDirectory);
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* buffer, CFIndex bufLen,
                                                 Boolean isDirectory)
{
    if (buffer == nullptr || bufLen <= 0)
        return nullptr;
    return CreateFileURL(std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(bufLen)), isDirectory);
}

CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL)
{
    const CFURLObject* url = AsURL(relativeURL);
    if (url == nullptr)
        return nullptr;
    if (url->base == nullptr)
        return static_cast<CFURLRef>(CFRetain(url));
    return MakeURL(Recompose(AbsoluteParts(url)), nullptr);
}

// ---- reading ----

CFStringRef CFURLGetString(CFURLRef anURL)
{
    const CFURLObject* url = AsURL(anURL);
    return url ? url->string : nullptr;
}

CFURLRef CFURLGetBaseURL(CFURLRef anURL)
{
    const CFURLObject* url = AsURL(anURL);
    return url ? url->base : nullptr;
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef anURL, Boolean resolveAgainstBase, UInt8* buffer, CFIndex maxBufLen)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr || buffer == nullptr)
        return false;
    std::optional<std::string> path = FileSystemPath(url, resolveAgainstBase);
    if (!path || maxBufLen < 0 || path->size() >= static_cast<size_t>(maxBufLen))
        return false;
    std::copy(path->begin(), path->end(), buffer);
    buffer[path->size()] = 0;
    return true;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr || pathStyle != kCFURLPOSIXPathStyle)
        return nullptr;
    std::optional<std::string> path = FileSystemPath(url, false);
    return path ? CFStringCreateWithUTF8(*path) : nullptr;
}

// Scheme, host and port are those of the resolved URL: a relative reference
// such as "/other" names a resource on its base's host.
CFStringRef CFURLCopyScheme(CFURLRef anURL)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr)
        return nullptr;
    URLParts absolute = AbsoluteParts(url);
    return absolute.scheme ? CFStringCreateWithUTF8(*absolute.scheme) : nullptr;
}

CFStringRef CFURLCopyHostName(CFURLRef anURL)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr)
        return nullptr;
    URLParts absolute = AbsoluteParts(url);
    std::string_view host;
    SInt32 port;
    if (!absolute.authority || !SplitAuthority(*absolute.authority, &host, &port) || host.empty())
        return nullptr;
    return DecodedString(host);
}

SInt32 CFURLGetPortNumber(CFURLRef anURL)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr)
        return -1;
    URLParts absolute = AbsoluteParts(url);
    std::string_view host;
    SInt32 port = -1;
    if (!absolute.authority || !SplitAuthority(*absolute.authority, &host, &port))
        return -1;
    return port;
}

CFStringRef CFURLCopyPath(CFURLRef anURL)
{
    const CFURLObject* url = AsURL(anURL);
    return url ? CFStringCreateWithUTF8(url->parts.path) : nullptr;
}

CFStringRef CFURLCopyQueryString(CFURLRef anURL, CFStringRef charactersToLeaveEscaped)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr || !url->parts.query)
        return nullptr;
    CFStringRef query = CFStringCreateWithUTF8(*url->parts.query);
    CFStringRef decoded = CFURLCreateStringByReplacingPercentEscapes(nullptr, query, charactersToLeaveEscaped);
    CFRelease(query);
    return decoded;
}

CFStringRef CFURLCopyFragment(CFURLRef anURL, CFStringRef charactersToLeaveEscaped)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr || !url->parts.fragment)
        return nullptr;
    CFStringRef fragment = CFStringCreateWithUTF8(*url->parts.fragment);
    CFStringRef decoded = CFURLCreateStringByReplacingPercentEscapes(nullptr, fragment, charactersToLeaveEscaped);
    CFRelease(fragment);
    return decoded;
}

CFStringRef CFURLCopyLastPathComponent(CFURLRef anURL)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr)
        return nullptr;
    const std::string& path = url->parts.path;
    if (path.empty())
        return CFStringCreateWithUTF8("");
    std::optional<Component> last = LastComponent(path);
    if (!last)
        return CFStringCreateWithUTF8("/");
    return DecodedString(std::string_view(path).substr(last->start, last->end - last->start));
}

CFStringRef CFURLCopyPathExtension(CFURLRef anURL)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr)
        return nullptr;
    std::string_view path = url->parts.path;
    std::optional<Component> last = LastComponent(path);
    if (!last)
        return nullptr;
    std::string_view component = path.substr(last->start, last->end - last->start);
    std::optional<Dot> dot = ExtensionDot(component);
    return dot ? DecodedString(component.substr(dot->at + dot->length)) : nullptr;
}

Boolean CFURLHasDirectoryPath(CFURLRef anURL)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr)
        return false;
    // A reference with no path of its own ("?q", "#f") stands for its base's path.
    std::string path = url->parts.path.empty() && url->base ? AbsoluteParts(url).path : url->parts.path;
    return !path.empty() && path.back() == '/';
}

// ---- deriving ----

// A component holding '/' appends one component per part ("notes/a.txt").
CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef anURL, CFStringRef pathComponent,
                                               Boolean isDirectory)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr || CFStringObjectOf(pathComponent) == nullptr || !HasHierarchicalPath(url->parts))
        return nullptr;
    std::string component = CFStringToUTF8(pathComponent);
    if (component.empty())
        return nullptr;
    std::string path = url->parts.path;
    const bool relative = !url->parts.scheme && !url->parts.authority;
    std::string escaped = EscapePath(component, relative && path.empty());
    if (!path.empty() && path.back() != '/')
        path += '/';
    else if (path.empty() && url->parts.authority)
        path = "/";
    if (!path.empty()) {
        size_t slashes = escaped.find_first_not_of('/');
        escaped.erase(0, slashes == std::string::npos ? escaped.size() : slashes);
    }
    path += escaped;
    if (isDirectory && path.back() != '/')
        path += '/';
    return WithPath(url, std::move(path));
}

// "/" and the root of a host stay as they are; a relative path climbs with
// "..", so "a" gives "./" and "../" gives "../../".
CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef, CFURLRef anURL)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr || !HasHierarchicalPath(url->parts))
        return nullptr;
    const std::string& path = url->parts.path;
    std::optional<Component> last = LastComponent(path);
    std::string newPath;
    if (!last) {
        const bool relative = !url->parts.scheme && !url->parts.authority;
        newPath = !path.empty() ? path : relative ? "../" : "/";
    } else {
        std::string_view component = std::string_view(path).substr(last->start, last->end - last->start);
        if (component == "..")
            newPath = path.substr(0, last->end) + "/../";
        else if (component == ".")
            newPath = path.substr(0, last->start) + "../";
        else if (last->start == 0)
            newPath = "./";
        else
            newPath = path.substr(0, last->start);
    }
    return WithPath(url, std::move(newPath));
}

CFURLRef CFURLCreateCopyAppendingPathExtension(CFAllocatorRef, CFURLRef anURL, CFStringRef extension)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr || CFStringObjectOf(extension) == nullptr || !HasHierarchicalPath(url->parts))
        return nullptr;
    std::string text = CFStringToUTF8(extension);
    if (text.empty() || text.find('/') != std::string::npos)
        return nullptr;
    const std::string& path = url->parts.path;
    std::optional<Component> last = LastComponent(path);
    if (!last)
        return nullptr;
    return WithPath(url, path.substr(0, last->end) + "." + EscapePath(text, false) + path.substr(last->end));
}

CFURLRef CFURLCreateCopyDeletingPathExtension(CFAllocatorRef, CFURLRef anURL)
{
    const CFURLObject* url = AsURL(anURL);
    if (url == nullptr || !HasHierarchicalPath(url->parts))
        return nullptr;
    const std::string& path = url->parts.path;
    std::optional<Component> last = LastComponent(path);
    std::optional<Dot> dot =
        last ? ExtensionDot(std::string_view(path).substr(last->start, last->end - last->start)) : std::nullopt;
    if (!dot)
        return static_cast<CFURLRef>(CFRetain(url));
    return WithPath(url, path.substr(0, last->start + dot->at) + path.substr(last->end));
}

// ---- percent escapes ----

CFStringRef CFURLCreateStringByAddingPercentEscapes(CFAllocatorRef, CFStringRef originalString,
                                                    CFStringRef charactersToLeaveUnescaped,
                                                    CFStringRef legalURLCharactersToBeEscaped,
                                                    CFStringEncoding encoding)
{
    if (CFStringObjectOf(originalString) == nullptr || !CFEncodingIsSupported(encoding))
        return nullptr;
    std::optional<std::u16string> escaped =
        AddEscapes(CFStringView(originalString), CFStringView(charactersToLeaveUnescaped),
                   CFStringView(legalURLCharactersToBeEscaped), encoding);
    return escaped ? CFStringCreateWithUTF16(std::move(*escaped)) : nullptr;
}

CFStringRef CFURLCreateStringByReplacingPercentEscapes(CFAllocatorRef allocator, CFStringRef originalString,
                                                       CFStringRef charactersToLeaveEscaped)
{
    return CFURLCreateStringByReplacingPercentEscapesUsingEncoding(allocator, originalString, charactersToLeaveEscaped,
                                                                   kCFStringEncodingUTF8);
}

// With no set of characters to leave escaped, every escape stays (the text is
// copied); an empty set decodes them all.
CFStringRef CFURLCreateStringByReplacingPercentEscapesUsingEncoding(CFAllocatorRef, CFStringRef origString,
                                                                    CFStringRef charsToLeaveEscaped,
                                                                    CFStringEncoding encoding)
{
    if (CFStringObjectOf(origString) == nullptr || !CFEncodingIsSupported(encoding))
        return nullptr;
    if (CFStringObjectOf(charsToLeaveEscaped) == nullptr)
        return CFStringCreateWithUTF16(std::u16string(CFStringView(origString)));
    std::optional<std::u16string> decoded =
        ReplaceEscapes(CFStringView(origString), CFStringView(charsToLeaveEscaped), encoding);
    return decoded ? CFStringCreateWithUTF16(std::move(*decoded)) : nullptr;
}
