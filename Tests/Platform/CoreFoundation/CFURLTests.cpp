#include <CFTestSupport.h>
#include <CoreFoundation/CFURL.h>
#include <FileFixtures.h>
#include <StalledFifo.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

CFRef<CFURLRef> URLFromString(std::string_view text, CFURLRef base = nullptr)
{
    return CFRef<CFURLRef>(CFURLCreateWithString(nullptr, MakeString(text), base));
}

CFRef<CFURLRef> FileURL(const std::string& path, bool isDirectory = false)
{
    return CFRef<CFURLRef>(CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.data()),
                                                                   CFIndex(path.size()), isDirectory));
}

std::string TextOf(CFURLRef url)
{
    return url ? UTF8Of(CFURLGetString(url)) : "<nil>";
}

// The text of a string the caller owns, which is released.
std::string Take(CFStringRef s)
{
    CFRef<CFStringRef> held(s);
    return UTF8Of(s);
}

std::string Representation(CFURLRef url, bool resolveAgainstBase)
{
    UInt8 buffer[PATH_MAX];
    if (!CFURLGetFileSystemRepresentation(url, resolveAgainstBase, buffer, sizeof buffer))
        return "<false>";
    return reinterpret_cast<const char*>(buffer);
}

std::string CurrentFolder()
{
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

void WriteFileDirectly(const std::string& path, const std::string& contents)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

std::string ReadFileDirectly(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

mode_t ModeOf(const std::string& path)
{
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

}  // namespace

// ---- file system paths ----

TEST(CFURLFileSystemPath, PathsRoundTripExactly)
{
    struct Case {
        const char* path;
        bool isDirectory;
        const char* urlText;
    } cases[] = {
        {"/", false, "file:///"},
        {"/tmp/notes.txt", false, "file:///tmp/notes.txt"},
        {"/tmp/a b/", true, "file:///tmp/a%20b/"},
        {"/tmp/a b/", false, "file:///tmp/a%20b"},
        {"/x/100% #1?.txt", false, "file:///x/100%25%20%231%3F.txt"},
        {"/日本語 — Grüße", true, "file:///%E6%97%A5%E6%9C%AC%E8%AA%9E%20%E2%80%94%20Gr%C3%BC%C3%9Fe/"},
        {"/a;b=c@d:e+f,g$h&i!j'k(l)m*n~o", false, "file:///a;b=c@d:e+f,g$h&i!j'k(l)m*n~o"},
        {"/[x]{y}<z>\"|\\^`", false, "file:///%5Bx%5D%7By%7D%3Cz%3E%22%7C%5C%5E%60"},
        {"/tab\there/new\nline", false, "file:///tab%09here/new%0Aline"},
        {"//twice//slashed", false, "file:////twice//slashed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CFRef<CFURLRef> url(
            CFURLCreateWithFileSystemPath(nullptr, MakeString(c.path), kCFURLPOSIXPathStyle, c.isDirectory));
        ASSERT_TRUE(url);
        EXPECT_EQ(TextOf(url), c.urlText);
        EXPECT_EQ(CFURLGetBaseURL(url), nullptr);
        std::string expected = c.path;
        while (expected.size() > 1 && expected.back() == '/')
            expected.pop_back();
        EXPECT_EQ(Take(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle)), expected);
        EXPECT_EQ(Representation(url, true), expected);
        EXPECT_EQ(CFURLHasDirectoryPath(url), c.isDirectory || expected == "/");
        // The same URL from the path's bytes, and from its own text.
        EXPECT_TRUE(CFEqual(FileURL(c.path, c.isDirectory), url));
        EXPECT_TRUE(CFEqual(URLFromString(c.urlText), url));
    }
}

TEST(CFURLFileSystemPath, RelativePathsResolveAgainstTheWorkingFolder)
{
    const std::string cwd = CurrentFolder();
    struct Case {
        const char* path;
        const char* urlText;
    } cases[] = {
        {"notes/a b.txt", "notes/a%20b.txt"},
        {"a:b", "a%3Ab"},  // not a URL with scheme "a"
        {"sub/c:d", "sub/c:d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CFRef<CFURLRef> url(CFURLCreateWithFileSystemPath(nullptr, MakeString(c.path), kCFURLPOSIXPathStyle, false));
        ASSERT_TRUE(url);
        EXPECT_EQ(TextOf(url), c.urlText);
        EXPECT_EQ(TextOf(CFURLGetBaseURL(url)), TextOf(FileURL(cwd, true)));
        EXPECT_EQ(Take(CFURLCopyScheme(url)), "file");
        EXPECT_EQ(Take(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle)), c.path);
        EXPECT_EQ(Representation(url, false), c.path);
        EXPECT_EQ(Representation(url, true), cwd + "/" + c.path);
        CFRef<CFURLRef> absolute(CFURLCopyAbsoluteURL(url));
        EXPECT_EQ(CFURLGetBaseURL(absolute), nullptr);
        EXPECT_EQ(Representation(absolute, false), cwd + "/" + c.path);
    }
}

TEST(CFURLFileSystemPath, OddBytesAndURLsThatNameNoLocalFile)
{
    const UInt8 latin1[] = {'/', 'c', 'a', 'f', 0xE9};
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(nullptr, latin1, sizeof latin1, false));
    EXPECT_EQ(TextOf(url), "file:///caf%E9");
    EXPECT_EQ(Representation(url, true), "/caf\xE9");
    EXPECT_EQ(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle), nullptr) << "not UTF-8";

    EXPECT_EQ(Representation(URLFromString("file://localhost/x"), true), "/x");
    for (const char* text : {"http://example.com/x", "file://elsewhere/x", "file:///a%00b", "mailto:x@y"}) {
        CFRef<CFURLRef> other = URLFromString(text);
        ASSERT_TRUE(other) << text;
        EXPECT_EQ(Representation(other, true), "<false>") << text;
        EXPECT_EQ(CFURLCopyFileSystemPath(other, kCFURLPOSIXPathStyle), nullptr) << text;
    }

    EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, CFSTR("/tmp"), 2, false), nullptr) << "Windows style";
    EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, CFSTR(""), kCFURLPOSIXPathStyle, false), nullptr);
    EXPECT_EQ(CFURLCopyFileSystemPath(FileURL("/tmp"), 1), nullptr);

    // The buffer must hold the path and its terminating NUL.
    CFRef<CFURLRef> tmp = FileURL("/tmp/abc");
    UInt8 buffer[9];
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(tmp, true, buffer, 8));
    EXPECT_TRUE(CFURLGetFileSystemRepresentation(tmp, true, buffer, 9));
}

// ---- parsing and resolving ----

TEST(CFURLParsing, ComponentsOfValidURLs)
{
    struct Case {
        const char* text;
        const char* scheme;
        const char* host;
        SInt32 port;
        const char* path;
        const char* query;
        const char* fragment;
    } cases[] = {
        {"http://user:pw@example.com:8080/a/b%20c?x=1&y=%32#frag%21", "http", "example.com", 8080, "/a/b%20c",
         "x=1&y=%32", "frag%21"},
        {"https://[::1]:443/", "https", "::1", 443, "/", "<nil>", "<nil>"},
        {"mailto:someone@example.com", "mailto", "<nil>", -1, "someone@example.com", "<nil>", "<nil>"},
        {"file:///tmp/x", "file", "<nil>", -1, "/tmp/x", "<nil>", "<nil>"},
        {"HTTP://Host.Example?", "HTTP", "Host.Example", -1, "", "", "<nil>"},
        {"http://h%C3%BCst:/", "http", "hüst", -1, "/", "<nil>", "<nil>"},
        {"//cdn.example/lib.js", "<nil>", "cdn.example", -1, "/lib.js", "<nil>", "<nil>"},
        {"a/b?q/?#", "<nil>", "<nil>", -1, "a/b", "q/?", ""},
        {"", "<nil>", "<nil>", -1, "", "<nil>", "<nil>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CFRef<CFURLRef> url = URLFromString(c.text);
        ASSERT_TRUE(url);
        EXPECT_EQ(TextOf(url), c.text);
        EXPECT_EQ(DescriptionOf(url), c.text);
        EXPECT_EQ(Take(CFURLCopyScheme(url)), c.scheme);
        EXPECT_EQ(Take(CFURLCopyHostName(url)), c.host);
        EXPECT_EQ(CFURLGetPortNumber(url), c.port);
        EXPECT_EQ(Take(CFURLCopyPath(url)), c.path);
        EXPECT_EQ(Take(CFURLCopyQueryString(url, nullptr)), c.query);
        EXPECT_EQ(Take(CFURLCopyFragment(url, nullptr)), c.fragment);
    }
    CFRef<CFURLRef> url = URLFromString(cases[0].text);
    EXPECT_EQ(Take(CFURLCopyQueryString(url, CFSTR(""))), "x=1&y=2");
    EXPECT_EQ(Take(CFURLCopyFragment(url, CFSTR(""))), "frag!");
}

TEST(CFURLParsing, TextThatIsNoURLIsRefused)
{
    for (const char* text :
         {"http://exa mple.com/", "http://example.com/ü", "http://x/%zz", "http://x/%4", "http://x/100%", "1http://x/",
          ":no-scheme", "http://x:port/", "http://x:65536/", "http://x/#a#b", "http://x/[y]", "http://[::1/",
          "http://a@b@c/", "tab\there", "quote\"d", "a<b>", "back\\slash"}) {
        EXPECT_EQ(URLFromString(text), nullptr) << text;
    }
    EXPECT_EQ(CFURLCreateWithString(nullptr, nullptr, nullptr), nullptr);
    CFRef<CFDataRef> notAString = MakeData("http://x/");
    EXPECT_EQ(CFURLCreateWithString(nullptr, reinterpret_cast<CFStringRef>(notAString.get()), nullptr), nullptr);
}

TEST(CFURLResolution, RelativeReferencesResolveAgainstTheirBase)
{
    CFRef<CFURLRef> base = URLFromString("http://a/b/c/d;p?q");
    struct Case {
        const char* reference;
        const char* resolved;
    } cases[] = {
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"", "http://a/b/c/d;p?q"},
        {"..", "http://a/b/"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g..", "http://a/b/c/g.."},
        {"./../g", "http://a/b/g"},
        {"http:g", "http:g"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reference);
        CFRef<CFURLRef> url = URLFromString(c.reference, base);
        ASSERT_TRUE(url);
        EXPECT_EQ(TextOf(url), c.reference);
        // A reference with a scheme stands on its own.
        EXPECT_EQ(CFURLGetBaseURL(url), std::strchr(c.reference, ':') ? nullptr : base.get());
        CFRef<CFURLRef> absolute(CFURLCopyAbsoluteURL(url));
        EXPECT_EQ(TextOf(absolute), c.resolved);
        EXPECT_EQ(CFURLGetBaseURL(absolute), nullptr);
    }

    // Scheme and host come from the base; a base may itself be relative.
    CFRef<CFURLRef> other = URLFromString("/other", base);
    EXPECT_EQ(Take(CFURLCopyScheme(other)), "http");
    EXPECT_EQ(Take(CFURLCopyHostName(other)), "a");
    CFRef<CFURLRef> folder = URLFromString("e/", base);
    EXPECT_EQ(TextOf(CFRef<CFURLRef>(CFURLCopyAbsoluteURL(URLFromString("f", folder)))), "http://a/b/c/e/f");
}

TEST(CFURL, EqualityNeedsTheSameTextAndEqualBases)
{
    CFRef<CFURLRef> base = URLFromString("http://a/b/");
    CFRef<CFURLRef> sameBase = URLFromString("http://a/b/");
    CFRef<CFURLRef> otherBase = URLFromString("http://a/c/");
    CFRef<CFURLRef> g = URLFromString("g", base);
    EXPECT_TRUE(CFEqual(g, URLFromString("g", sameBase)));
    EXPECT_EQ(CFHash(g), CFHash(URLFromString("g", sameBase)));
    EXPECT_FALSE(CFEqual(g, URLFromString("g", otherBase)));
    EXPECT_FALSE(CFEqual(g, URLFromString("g")));
    EXPECT_FALSE(CFEqual(g, URLFromString("http://a/b/g"))) << "same resource, different text";
    EXPECT_FALSE(CFEqual(g, CFSTR("g")));
    EXPECT_EQ(DescriptionOf(g), "g -- http://a/b/");
    EXPECT_EQ(Take(CFCopyTypeIDDescription(CFURLGetTypeID())), "CFURL");
    EXPECT_EQ(CFGetTypeID(g), CFURLGetTypeID());
}

TEST(CFURL, NilAndWrongTypedArgumentsAnswerNothing)
{
    CFRef<CFDataRef> data = MakeData("file:///tmp/x");
    for (CFURLRef url : {static_cast<CFURLRef>(nullptr), reinterpret_cast<CFURLRef>(data.get())}) {
        UInt8 buffer[64];
        SInt32 code = 0;
        EXPECT_EQ(CFURLGetString(url), nullptr);
        EXPECT_EQ(CFURLGetBaseURL(url), nullptr);
        EXPECT_EQ(CFURLCopyAbsoluteURL(url), nullptr);
        EXPECT_FALSE(CFURLGetFileSystemRepresentation(url, true, buffer, sizeof buffer));
        EXPECT_EQ(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle), nullptr);
        EXPECT_EQ(CFURLCopyScheme(url), nullptr);
        EXPECT_EQ(CFURLCopyHostName(url), nullptr);
        EXPECT_EQ(CFURLGetPortNumber(url), -1);
        EXPECT_EQ(CFURLCopyPath(url), nullptr);
        EXPECT_EQ(CFURLCopyQueryString(url, CFSTR("")), nullptr);
        EXPECT_EQ(CFURLCopyFragment(url, CFSTR("")), nullptr);
        EXPECT_EQ(CFURLCopyLastPathComponent(url), nullptr);
        EXPECT_EQ(CFURLCopyPathExtension(url), nullptr);
        EXPECT_FALSE(CFURLHasDirectoryPath(url));
        EXPECT_EQ(CFURLCreateCopyAppendingPathComponent(nullptr, url, CFSTR("a"), false), nullptr);
        EXPECT_EQ(CFURLCreateCopyDeletingLastPathComponent(nullptr, url), nullptr);
        EXPECT_EQ(CFURLCreateCopyAppendingPathExtension(nullptr, url, CFSTR("a")), nullptr);
        EXPECT_EQ(CFURLCreateCopyDeletingPathExtension(nullptr, url), nullptr);
        EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, url, nullptr, nullptr, nullptr, &code));
        EXPECT_EQ(code, kCFURLImproperArgumentsError);
        EXPECT_FALSE(CFURLWriteDataAndPropertiesToResource(url, data, nullptr, &code));
        EXPECT_EQ(code, kCFURLImproperArgumentsError);
        EXPECT_FALSE(CFURLDestroyResource(url, &code));
        EXPECT_EQ(code, kCFURLImproperArgumentsError);
    }
    // A base of the wrong type reads as no base.
    CFRef<CFURLRef> url = URLFromString("g", reinterpret_cast<CFURLRef>(data.get()));
    EXPECT_EQ(CFURLGetBaseURL(url), nullptr);
    CFRef<CFURLRef> file = FileURL("/tmp/x");
    EXPECT_EQ(CFURLCreateCopyAppendingPathComponent(nullptr, file, reinterpret_cast<CFStringRef>(data.get()), false),
              nullptr);
    EXPECT_EQ(CFURLCreateStringByAddingPercentEscapes(nullptr, nullptr, nullptr, nullptr, kCFStringEncodingUTF8),
              nullptr);
    EXPECT_EQ(CFURLCreateStringByReplacingPercentEscapes(nullptr, reinterpret_cast<CFStringRef>(data.get()), CFSTR("")),
              nullptr);
}

// ---- percent escapes ----

TEST(CFURLEscapes, AddingEscapesLeavesLegalCharactersAlone)
{
    struct Case {
        const char* text;
        const char* leaveUnescaped;
        const char* alsoEscape;
        CFStringEncoding encoding;
        const char* expected;
    } cases[] = {
        {"a b/c?d=é#f", nullptr, nullptr, kCFStringEncodingUTF8, "a%20b/c?d=%C3%A9#f"},
        {"100% [ok]~", nullptr, nullptr, kCFStringEncodingUTF8, "100%%20[ok]~"},  // escaped text stays as it is
        {"<\"{}|\\^`>", nullptr, nullptr, kCFStringEncodingUTF8, "%3C%22%7B%7D%7C%5C%5E%60%3E"},
        {"a&b=c/d", nullptr, "&=/", kCFStringEncodingUTF8, "a%26b%3Dc%2Fd"},
        {"a b&c", " &", "&", kCFStringEncodingUTF8, "a b&c"},
        {"日本 😀", nullptr, nullptr, kCFStringEncodingUTF8, "%E6%97%A5%E6%9C%AC%20%F0%9F%98%80"},
        {"日本", "日", nullptr, kCFStringEncodingUTF8, "日%E6%9C%AC"},
        {"café", nullptr, nullptr, kCFStringEncodingISOLatin1, "caf%E9"},
        {"café", nullptr, nullptr, kCFStringEncodingMacRoman, "caf%8E"},
        {"日", nullptr, nullptr, kCFStringEncodingISOLatin1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CFRef<CFStringRef> leave = c.leaveUnescaped ? MakeString(c.leaveUnescaped) : CFRef<CFStringRef>();
        CFRef<CFStringRef> escape = c.alsoEscape ? MakeString(c.alsoEscape) : CFRef<CFStringRef>();
        EXPECT_EQ(Take(CFURLCreateStringByAddingPercentEscapes(nullptr, MakeString(c.text), leave, escape, c.encoding)),
                  c.expected ? c.expected : "<nil>");
    }
}

TEST(CFURLEscapes, ReplacingEscapesDecodesAllButTheListedCharacters)
{
    struct Case {
        const char* text;
        const char* leaveEscaped;
        CFStringEncoding encoding;
        const char* expected;
    } cases[] = {
        {"a%20b%C3%A9%e6%97%a5", "", kCFStringEncodingUTF8, "a bé日"},
        {"a%2Fb%20c%2f", "/", kCFStringEncodingUTF8, "a%2Fb c%2f"},
        {"%25%41%C3%A9", "%é", kCFStringEncodingUTF8, "%25A%C3%A9"},
        {"a%20b", nullptr, kCFStringEncodingUTF8, "a%20b"},
        {"caf%E9", "", kCFStringEncodingISOLatin1, "café"},
        {"no escapes ü", "", kCFStringEncodingUTF8, "no escapes ü"},
        {"%FF", "", kCFStringEncodingUTF8, nullptr},
        {"%E6%97", "", kCFStringEncodingUTF8, nullptr},
        {"%zz", "", kCFStringEncodingUTF8, nullptr},
        {"50%", "", kCFStringEncodingUTF8, nullptr},
        {"%C3%A9", "", kCFStringEncodingASCII, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CFRef<CFStringRef> leave = c.leaveEscaped ? MakeString(c.leaveEscaped) : CFRef<CFStringRef>();
        EXPECT_EQ(Take(CFURLCreateStringByReplacingPercentEscapesUsingEncoding(nullptr, MakeString(c.text), leave,
                                                                               c.encoding)),
                  c.expected ? c.expected : "<nil>");
        if (c.encoding == kCFStringEncodingUTF8) {
            EXPECT_EQ(Take(CFURLCreateStringByReplacingPercentEscapes(nullptr, MakeString(c.text), leave)),
                      c.expected ? c.expected : "<nil>");
        }
    }
}

TEST(CFURLEscapes, EveryCharacterRoundTrips)
{
    std::string text;
    for (int c = 1; c < 0x80; ++c)
        text += static_cast<char>(c);
    text += "é日本語 — Grüße 😀";
    CFRef<CFStringRef> escaped(
        CFURLCreateStringByAddingPercentEscapes(nullptr, MakeString(text), nullptr, CFSTR("%"), kCFStringEncodingUTF8));
    ASSERT_TRUE(escaped);
    for (char c : UTF8Of(escaped))
        ASSERT_TRUE(c > ' ' && c < 0x7F) << "unescaped " << int(c);
    EXPECT_EQ(Take(CFURLCreateStringByReplacingPercentEscapes(nullptr, escaped, CFSTR(""))), text);
}

// ---- path components ----

TEST(CFURLPathComponents, LastComponentAndExtension)
{
    struct Case {
        const char* url;
        const char* lastComponent;
        const char* extension;
        const char* deletingLastComponent;
        const char* deletingExtension;
    } cases[] = {
        {"file:///a/archive.tar.gz", "archive.tar.gz", "gz", "file:///a/", "file:///a/archive.tar"},
        {"file:///a/dir.d/", "dir.d", "d", "file:///a/", "file:///a/dir/"},
        {"file:///", "/", "<nil>", "file:///", "file:///"},
        {"file:///home/.bashrc", ".bashrc", "<nil>", "file:///home/", "file:///home/.bashrc"},
        {"file:///x/name.", "name.", "<nil>", "file:///x/", "file:///x/name."},
        {"file:///x/README", "README", "<nil>", "file:///x/", "file:///x/README"},
        {"file:///x.d/README", "README", "<nil>", "file:///x.d/", "file:///x.d/README"},
        {"file:///x/my%20file%2Etxt", "my file.txt", "txt", "file:///x/", "file:///x/my%20file"},
        {"file:///x/%E6%97%A5.%C3%BC", "日.ü", "ü", "file:///x/", "file:///x/%E6%97%A5"},
        {"http://h/a/b.html?q#f", "b.html", "html", "http://h/a/?q#f", "http://h/a/b?q#f"},
        {"http://h", "", "<nil>", "http://h/", "http://h"},
        {"a/b", "b", "<nil>", "a/", "a/b"},
        {"a", "a", "<nil>", "./", "a"},
        {"../", "..", "<nil>", "../../", "../"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        CFRef<CFURLRef> url = URLFromString(c.url);
        ASSERT_TRUE(url);
        EXPECT_EQ(Take(CFURLCopyLastPathComponent(url)), c.lastComponent);
        EXPECT_EQ(Take(CFURLCopyPathExtension(url)), c.extension);
        EXPECT_EQ(TextOf(CFRef<CFURLRef>(CFURLCreateCopyDeletingLastPathComponent(nullptr, url))),
                  c.deletingLastComponent);
        EXPECT_EQ(TextOf(CFRef<CFURLRef>(CFURLCreateCopyDeletingPathExtension(nullptr, url))), c.deletingExtension);
    }
}

TEST(CFURLPathComponents, AppendingKeepsEscapesCorrect)
{
    struct Case {
        const char* url;
        const char* component;
        bool isDirectory;
        const char* expected;
    } components[] = {
        {"file:///a", "b c.txt", false, "file:///a/b%20c.txt"},
        {"file:///a/", "#1?", true, "file:///a/%231%3F/"},
        {"file:///a/", "/b", false, "file:///a/b"},
        {"file:///a", "日本/Grüße", false, "file:///a/%E6%97%A5%E6%9C%AC/Gr%C3%BC%C3%9Fe"},
        {"http://h?q", "x", false, "http://h/x?q"},
        {"", "a:b", false, "a%3Ab"},
        {"mailto:x@y", "z", false, "<nil>"},
    };
    for (const Case& c : components) {
        SCOPED_TRACE(c.url + std::string(" + ") + c.component);
        CFRef<CFURLRef> url = URLFromString(c.url);
        EXPECT_EQ(TextOf(CFRef<CFURLRef>(
                      CFURLCreateCopyAppendingPathComponent(nullptr, url, MakeString(c.component), c.isDirectory))),
                  c.expected);
    }
    struct ExtensionCase {
        const char* url;
        const char* extension;
        const char* expected;
    } extensions[] = {
        {"file:///a/b", "gz", "file:///a/b.gz"},
        {"file:///a/b/", "d", "file:///a/b.d/"},
        {"file:///a/b", "a b", "file:///a/b.a%20b"},
        {"file:///", "x", "<nil>"},
        {"file:///a", "x/y", "<nil>"},
    };
    for (const ExtensionCase& c : extensions) {
        SCOPED_TRACE(c.url + std::string(" + ") + c.extension);
        CFRef<CFURLRef> url = URLFromString(c.url);
        EXPECT_EQ(TextOf(CFRef<CFURLRef>(CFURLCreateCopyAppendingPathExtension(nullptr, url, MakeString(c.extension)))),
                  c.expected);
    }

    // What goes in comes back out, through the path and the components.
    CFRef<CFURLRef> folder(
        CFURLCreateWithFileSystemPath(nullptr, CFSTR("/tmp/日本語 — Grüße"), kCFURLPOSIXPathStyle, true));
    CFRef<CFURLRef> file(CFURLCreateCopyAppendingPathComponent(nullptr, folder, CFSTR("100% #1?.txt"), false));
    EXPECT_EQ(Take(CFURLCopyFileSystemPath(file, kCFURLPOSIXPathStyle)), "/tmp/日本語 — Grüße/100% #1?.txt");
    EXPECT_EQ(Take(CFURLCopyLastPathComponent(file)), "100% #1?.txt");
    EXPECT_EQ(Take(CFURLCopyPathExtension(file)), "txt");
    EXPECT_TRUE(CFEqual(CFRef<CFURLRef>(CFURLCreateCopyDeletingLastPathComponent(nullptr, file)), folder));
}

// ---- reading and writing files ----

TEST(CFURLResource, WrittenDataReadsBack)
{
    ScratchFolder folder;
    const mode_t mask = umask(022);
    umask(mask);
    std::string bytes;
    for (int i = 0; i < 512; ++i)
        bytes += static_cast<char>(i * 7);
    for (const std::string& contents : {bytes, std::string()}) {
        CFRef<CFURLRef> url = FileURL(folder / "Grüße #1?.bin");
        SInt32 code = -1;
        ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(url, MakeData(contents), nullptr, &code));
        EXPECT_EQ(code, 0);
        EXPECT_EQ(ReadFileDirectly(folder / "Grüße #1?.bin"), contents);
        EXPECT_EQ(ModeOf(folder / "Grüße #1?.bin"), 0666 & ~mask);

        CFDataRef read = nullptr;
        auto properties = reinterpret_cast<CFDictionaryRef>(&code);  // must come back nil
        code = -1;
        ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, url, &read, &properties, nullptr, &code));
        CFRef<CFDataRef> held(read);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(properties, nullptr);
        EXPECT_TRUE(CFEqual(read, MakeData(contents)));
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"Grüße #1?.bin"});
    }
}

TEST(CFURLResource, ReplacingKeepsTheModeAndLeavesNoTemporaries)
{
    ScratchFolder folder;
    WriteFileDirectly(folder / "sheet", "old");
    chmod((folder / "sheet").c_str(), 0640);
    CFRef<CFURLRef> url = FileURL(folder / "sheet");
    for (const char* contents : {"new", "newer", ""}) {
        SInt32 code = -1;
        ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(url, MakeData(contents), nullptr, &code));
        EXPECT_EQ(ReadFileDirectly(folder / "sheet"), contents);
        EXPECT_EQ(ModeOf(folder / "sheet"), 0640u);
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"sheet"});
    }

    // A symbolic link is written through: it stays a link and its target changes.
    ASSERT_EQ(symlink("sheet", (folder / "link").c_str()), 0);
    ASSERT_TRUE(
        CFURLWriteDataAndPropertiesToResource(FileURL(folder / "link"), MakeData("via link"), nullptr, nullptr));
    struct stat status {};
    ASSERT_EQ(lstat((folder / "link").c_str(), &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(ReadFileDirectly(folder / "sheet"), "via link");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"link", "sheet"}));
}

TEST(CFURLResource, FailuresAnswerFalseAndACode)
{
    ScratchFolder folder;
    WriteFileDirectly(folder / "kept", "kept");
    ASSERT_EQ(mkdir((folder / "dir").c_str(), 0755), 0);
    CFRef<CFDataRef> data = MakeData("data");
    auto readError = [](CFURLRef url) {
        SInt32 code = 0;
        CFDataRef contents = reinterpret_cast<CFDataRef>(&code);  // must come back nil
        EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, url, &contents, nullptr, nullptr, &code));
        EXPECT_EQ(contents, nullptr);
        return code;
    };
    auto writeError = [](CFURLRef url, CFDataRef contents) {
        SInt32 code = 0;
        EXPECT_FALSE(CFURLWriteDataAndPropertiesToResource(url, contents, nullptr, &code));
        return code;
    };
    EXPECT_EQ(readError(FileURL(folder / "missing")), kCFURLResourceNotFoundError);
    EXPECT_EQ(readError(FileURL(folder / "kept/below")), kCFURLResourceNotFoundError);
    EXPECT_EQ(readError(FileURL(folder / "dir")), kCFURLUnknownError);
    EXPECT_EQ(readError(URLFromString("http://example.com/kept")), kCFURLUnknownSchemeError);
    EXPECT_EQ(writeError(FileURL(folder / "missing/sheet"), data), kCFURLResourceNotFoundError);
    EXPECT_EQ(writeError(FileURL(folder / "dir"), data), kCFURLUnknownError);
    EXPECT_EQ(writeError(FileURL(folder / "kept"), nullptr), kCFURLImproperArgumentsError);
    EXPECT_EQ(writeError(URLFromString("http://example.com/kept"), data), kCFURLUnknownSchemeError);
    if (geteuid() != 0) {  // permissions do not hold back root
        chmod((folder / "kept").c_str(), 0);
        EXPECT_EQ(readError(FileURL(folder / "kept")), kCFURLResourceAccessViolationError);
        chmod((folder / "dir").c_str(), 0555);
        EXPECT_EQ(writeError(FileURL(folder / "dir/sheet"), data), kCFURLResourceAccessViolationError);
        chmod((folder / "kept").c_str(), 0644);
        chmod((folder / "dir").c_str(), 0755);
    }
    EXPECT_EQ(ReadFileDirectly(folder / "kept"), "kept");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"dir", "kept"}));
    EXPECT_TRUE(std::filesystem::is_empty(folder / "dir"));
}

// Reading is for files: a pipe or a device is refused at once, and so is a
// file larger than anything read whole (which would take its size in
// memory); each with a status and one warning, and no data.
TEST(CFURLResource, ReadsOnlyFilesOfABoundedSize)
{
    ScratchFolder folder;
    StalledFifo pipe(folder / "pipe");
    ASSERT_TRUE(pipe.Made());
    WriteFileDirectly(folder / "huge", "");
    ASSERT_EQ(truncate((folder / "huge").c_str(), off_t(1) << 30), 0);  // sparse: no disk is used
    for (const std::string& path : {folder / "pipe", folder / "huge", std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        Diagnostics::Capture capture;
        SInt32 code = 0;
        CFDataRef contents = reinterpret_cast<CFDataRef>(&code);  // must come back nil
        const auto took = TimeOf([&] {
            EXPECT_FALSE(
                CFURLCreateDataAndPropertiesFromResource(nullptr, FileURL(path), &contents, nullptr, nullptr, &code));
        });
        EXPECT_LT(took.count(), 1000);
        EXPECT_EQ(contents, nullptr);
        EXPECT_EQ(code, kCFURLUnknownError);
        ASSERT_EQ(capture.Lines().size(), 1u) << capture.Text();
        EXPECT_EQ(capture.Lines()[0].rfind("Warning: ", 0), 0u) << capture.Text();
    }
}

TEST(CFURLResource, LargeFilesReadQuickly)
{
    ScratchFolder folder;
    CFRef<CFMutableDataRef> data(CFDataCreateMutable(nullptr, 0));
    CFDataSetLength(data, 30 << 20);
    UInt8* bytes = CFDataGetMutableBytePtr(data);
    for (size_t i = 0; i < (30u << 20); ++i)
        bytes[i] = static_cast<UInt8>(i * 2654435761u >> 24);
    CFRef<CFURLRef> url = FileURL(folder / "large");
    ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(url, data, nullptr, nullptr));

    auto start = std::chrono::steady_clock::now();
    CFDataRef read = nullptr;
    ASSERT_TRUE(CFURLCreateDataAndPropertiesFromResource(nullptr, url, &read, nullptr, nullptr, nullptr));
    auto elapsed = std::chrono::steady_clock::now() - start;
    CFRef<CFDataRef> held(read);
    EXPECT_TRUE(CFEqual(read, data));
    EXPECT_LT(elapsed, std::chrono::seconds(2));
}

TEST(CFURLResource, DestroyingRemovesFilesAndEmptyFolders)
{
    ScratchFolder folder;
    SInt32 code = -1;
    // A directory URL makes a folder.
    ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(FileURL(folder / "made", true), nullptr, nullptr, &code));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "made"));
    WriteFileDirectly(folder / "made/file", "x");

    EXPECT_FALSE(CFURLDestroyResource(FileURL(folder / "made", true), &code)) << "not empty";
    EXPECT_EQ(code, kCFURLUnknownError);
    EXPECT_TRUE(CFURLDestroyResource(FileURL(folder / "made/file"), &code));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(CFURLDestroyResource(FileURL(folder / "made", true), &code));
    EXPECT_FALSE(CFURLDestroyResource(FileURL(folder / "made"), &code));
    EXPECT_EQ(code, kCFURLResourceNotFoundError);
    EXPECT_TRUE(folder.Names().empty());
}

// A writer killed at any moment leaves the old file whole, and no temporary
// file behind once the next write is done.
TEST(CFURLResource, KilledWriterLeavesTheOldFileWhole)
{
    ScratchFolder folder;
    const std::string old = "old contents\n";
    WriteFileDirectly(folder / "sheet", old);
    CFRef<CFURLRef> url = FileURL(folder / "sheet");
    const size_t size = 64u << 20;
    CFRef<CFMutableDataRef> data(CFDataCreateMutable(nullptr, 0));
    CFDataSetLength(data, CFIndex(size));
    std::memset(CFDataGetMutableBytePtr(data), 'n', size);

    int killedEarly = 0;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ready[0]);
            char go = 1;
            if (write(ready[1], &go, 1) != 1)
                _exit(2);
            CFURLWriteDataAndPropertiesToResource(url, data, nullptr, nullptr);
            _exit(0);
        }
        close(ready[1]);
        char go = 0;
        ASSERT_EQ(read(ready[0], &go, 1), 1);
        close(ready[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(500 + 1500 * round));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (WIFSIGNALED(status))
            ++killedEarly;

        std::string contents = ReadFileDirectly(folder / "sheet");
        if (contents != old) {
            // The write finished before the kill: then the new data is there in full.
            ASSERT_EQ(contents.size(), size);
            EXPECT_EQ(contents.find_first_not_of('n'), std::string::npos);
        }
        // Whatever the killed writer left, the next write clears away.
        ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(url, MakeData(old), nullptr, nullptr));
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"sheet"});
    }
    EXPECT_GT(killedEarly, 0) << "no writer was killed before it finished";
}
