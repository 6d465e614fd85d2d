// The one table of kinds: identifier, the kinds it conforms to, its
// file-name extensions and its MIME types, each list in order of
// preference.
#include "UTCoreTypes.h"

#include <QString>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Kind {
    const char* identifier;
    std::vector<const char*> conformsTo;
    std::vector<const char*> extensions;
    std::vector<const char*> mimeTypes;
};

const std::vector<Kind>& Kinds()
{
    static const auto* kinds = new std::vector<Kind>{
        {"public.item", {}, {}, {}},
        {"public.content", {}, {}, {}},
        {"public.composite-content", {"public.content"}, {}, {}},
        {"public.data", {"public.item"}, {}, {"application/octet-stream"}},
        {"public.directory", {"public.item"}, {}, {}},
        {"public.folder", {"public.directory"}, {}, {"inode/directory"}},
        {"public.symlink", {"public.item"}, {}, {"inode/symlink"}},
        {"com.apple.package", {"public.directory"}, {}, {}},
        {"com.apple.bundle", {"public.directory"}, {"bundle"}, {}},
        {"public.executable", {"public.item"}, {}, {"application/x-executable"}},
        {"com.apple.application", {"public.executable"}, {}, {}},
        {"com.apple.application-bundle",
         {"com.apple.application", "com.apple.bundle", "com.apple.package"},
         {"app"},
         {}},
        {"public.text", {"public.data", "public.content"}, {}, {}},
        {"public.plain-text", {"public.text"}, {"txt", "text"}, {"text/plain"}},
        {"public.utf8-plain-text", {"public.plain-text"}, {}, {"text/plain;charset=utf-8"}},
        {"public.utf16-plain-text", {"public.plain-text"}, {}, {}},
        {"public.rtf", {"public.text"}, {"rtf"}, {"text/rtf", "application/rtf"}},
        {"com.apple.rtfd", {"com.apple.package", "public.composite-content"}, {"rtfd"}, {}},
        {"com.apple.flat-rtfd", {"public.data", "public.composite-content"}, {}, {}},
        {"public.html", {"public.text"}, {"html", "htm"}, {"text/html"}},
        {"public.xml", {"public.text"}, {"xml"}, {"text/xml", "application/xml"}},
        {"public.comma-separated-values-text", {"public.text"}, {"csv"}, {"text/csv"}},
        {"public.vcard", {"public.text"}, {"vcf", "vcard"}, {"text/vcard", "text/x-vcard"}},
        {"com.apple.ical.ics", {"public.text"}, {"ics"}, {"text/calendar"}},
        {"public.image", {"public.data", "public.content"}, {}, {}},
        {"public.png", {"public.image"}, {"png"}, {"image/png"}},
        {"public.jpeg", {"public.image"}, {"jpg", "jpeg", "jpe"}, {"image/jpeg"}},
        {"public.tiff", {"public.image"}, {"tiff", "tif"}, {"image/tiff"}},
        {"com.compuserve.gif", {"public.image"}, {"gif"}, {"image/gif"}},
        {"com.microsoft.bmp", {"public.image"}, {"bmp"}, {"image/bmp"}},
        {"com.apple.icns", {"public.image"}, {"icns"}, {"image/x-icns"}},
        {"public.svg-image", {"public.image"}, {"svg"}, {"image/svg+xml"}},
        {"com.adobe.pdf", {"public.data", "public.composite-content"}, {"pdf"}, {"application/pdf"}},
        {"public.audiovisual-content", {"public.data", "public.content"}, {}, {}},
        {"public.audio", {"public.audiovisual-content"}, {}, {}},
        {"public.movie", {"public.audiovisual-content"}, {}, {}},
        {"public.mp3", {"public.audio"}, {"mp3"}, {"audio/mpeg"}},
        {"public.aiff-audio", {"public.audio"}, {"aiff", "aif"}, {"audio/aiff", "audio/x-aiff"}},
        {"com.microsoft.waveform-audio", {"public.audio"}, {"wav", "wave"}, {"audio/wav", "audio/x-wav"}},
        {"org.xiph.ogg-audio", {"public.audio"}, {"oga", "ogg"}, {"audio/ogg"}},
        {"org.xiph.flac", {"public.audio"}, {"flac"}, {"audio/flac"}},
        {"public.mpeg-4", {"public.movie"}, {"mp4"}, {"video/mp4"}},
        {"com.apple.quicktime-movie", {"public.movie"}, {"mov"}, {"video/quicktime"}},
        {"public.url", {"public.data"}, {}, {}},
        {"public.file-url", {"public.url"}, {}, {}},
        {"com.apple.property-list", {"public.data"}, {"plist"}, {"application/x-plist"}},
        {"public.archive", {"public.data"}, {}, {}},
        {"public.zip-archive", {"public.archive"}, {"zip"}, {"application/zip"}},
        {"org.gnu.gnu-zip-archive", {"public.archive"}, {"gz", "gzip"}, {"application/gzip"}},
        {"public.tar-archive", {"public.archive"}, {"tar"}, {"application/x-tar"}},
        {"com.orvandel.brindlet.sheet",
         {"public.data", "public.content"},
         {"brproj"},
         {"application/x-brindlet-sheet"}},
        {"com.orvandel.brindlet.card", {"public.data", "public.content"}, {"brcard"}, {"application/x-brindlet-card"}},
    };
    return *kinds;
}

constexpr std::string_view kDynamicExtension = "dyn.ext.";
constexpr std::string_view kDynamicMIME = "dyn.mime.";

std::string Text(CFStringRef s)
{
    if (s == nullptr || CFGetTypeID(s) != CFStringGetTypeID())
        return {};
    const CFIndex length = CFStringGetLength(s);
    std::u16string units(static_cast<size_t>(length), u'\0');
    CFStringGetCharacters(s, CFRangeMake(0, length), reinterpret_cast<UniChar*>(units.data()));
    return QString::fromStdU16String(units).toCaseFolded().toStdString();
}

bool Same(std::string_view a, const char* b)
{
    return a == QString::fromUtf8(b).toCaseFolded().toStdString();
}

const Kind* FindKind(std::string_view identifier)
{
    for (const Kind& kind : Kinds()) {
        if (Same(identifier, kind.identifier))
            return &kind;
    }
    return nullptr;
}

bool ConformsTo(std::string_view identifier, std::string_view general, int depth = 0)
{
    if (identifier == general)
        return true;
    if (depth > 16)
        return false;
    if (identifier.substr(0, 4) == "dyn.")
        return general == "public.data" || general == "public.item";
    const Kind* kind = FindKind(identifier);
    if (kind == nullptr)
        return false;
    for (const char* parent : kind->conformsTo) {
        if (ConformsTo(QString::fromUtf8(parent).toCaseFolded().toStdString(), general, depth + 1))
            return true;
    }
    return false;
}

CFStringRef NewString(std::string_view utf8)
{
    return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8.data()),
                                   static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8, false);
}

}  // namespace

const CFStringRef kUTTagClassFilenameExtension = CFSTR("public.filename-extension");
const CFStringRef kUTTagClassMIMEType = CFSTR("public.mime-type");

const CFStringRef kUTTypeItem = CFSTR("public.item");
const CFStringRef kUTTypeContent = CFSTR("public.content");
const CFStringRef kUTTypeCompositeContent = CFSTR("public.composite-content");
const CFStringRef kUTTypeData = CFSTR("public.data");
const CFStringRef kUTTypeDirectory = CFSTR("public.directory");
const CFStringRef kUTTypeFolder = CFSTR("public.folder");
const CFStringRef kUTTypeSymLink = CFSTR("public.symlink");
const CFStringRef kUTTypePackage = CFSTR("com.apple.package");
const CFStringRef kUTTypeBundle = CFSTR("com.apple.bundle");
const CFStringRef kUTTypeExecutable = CFSTR("public.executable");
const CFStringRef kUTTypeApplication = CFSTR("com.apple.application");
const CFStringRef kUTTypeApplicationBundle = CFSTR("com.apple.application-bundle");
const CFStringRef kUTTypeText = CFSTR("public.text");
const CFStringRef kUTTypePlainText = CFSTR("public.plain-text");
const CFStringRef kUTTypeUTF8PlainText = CFSTR("public.utf8-plain-text");
const CFStringRef kUTTypeUTF16PlainText = CFSTR("public.utf16-plain-text");
const CFStringRef kUTTypeRTF = CFSTR("public.rtf");
const CFStringRef kUTTypeRTFD = CFSTR("com.apple.rtfd");
const CFStringRef kUTTypeFlatRTFD = CFSTR("com.apple.flat-rtfd");
const CFStringRef kUTTypeHTML = CFSTR("public.html");
const CFStringRef kUTTypeXML = CFSTR("public.xml");
const CFStringRef kUTTypeImage = CFSTR("public.image");
const CFStringRef kUTTypePNG = CFSTR("public.png");
const CFStringRef kUTTypeJPEG = CFSTR("public.jpeg");
const CFStringRef kUTTypeTIFF = CFSTR("public.tiff");
const CFStringRef kUTTypeGIF = CFSTR("com.compuserve.gif");
const CFStringRef kUTTypeBMP = CFSTR("com.microsoft.bmp");
const CFStringRef kUTTypeAppleICNS = CFSTR("com.apple.icns");
const CFStringRef kUTTypePDF = CFSTR("com.adobe.pdf");
const CFStringRef kUTTypeAudiovisualContent = CFSTR("public.audiovisual-content");
const CFStringRef kUTTypeAudio = CFSTR("public.audio");
const CFStringRef kUTTypeMovie = CFSTR("public.movie");
const CFStringRef kUTTypeMP3 = CFSTR("public.mp3");
const CFStringRef kUTTypeURL = CFSTR("public.url");
const CFStringRef kUTTypeFileURL = CFSTR("public.file-url");
const CFStringRef kUTTypePropertyList = CFSTR("com.apple.property-list");
const CFStringRef kUTTypeArchive = CFSTR("public.archive");
const CFStringRef kUTTypeZipArchive = CFSTR("public.zip-archive");
const CFStringRef kUTTypeGNUZipArchive = CFSTR("org.gnu.gnu-zip-archive");
const CFStringRef kUTTypeVCard = CFSTR("public.vcard");

CFStringRef UTTypeCreatePreferredIdentifierForTag(CFStringRef inTagClass, CFStringRef inTag,
                                                  CFStringRef inConformingToUTI)
{
    const std::string tagClass = Text(inTagClass);
    const std::string tag = Text(inTag);
    if (tag.empty())
        return nullptr;
    const bool byExtension = tagClass == "public.filename-extension";
    if (!byExtension && tagClass != "public.mime-type")
        return nullptr;
    const std::string general = Text(inConformingToUTI);
    const Kind* first = nullptr;
    for (const Kind& kind : Kinds()) {
        const auto& tags = byExtension ? kind.extensions : kind.mimeTypes;
        const bool claims = std::any_of(tags.begin(), tags.end(), [&](const char* t) { return Same(tag, t); });
        if (!claims)
            continue;
        if (general.empty() || ConformsTo(Text(CFSTR(kind.identifier)), general))
            return NewString(kind.identifier);
        if (first == nullptr)
            first = &kind;
    }
    if (first)
        return NewString(first->identifier);
    return NewString(std::string(byExtension ? kDynamicExtension : kDynamicMIME) + tag);
}

CFStringRef UTTypeCopyPreferredTagWithClass(CFStringRef inUTI, CFStringRef inTagClass)
{
    const std::string identifier = Text(inUTI);
    const std::string tagClass = Text(inTagClass);
    const bool byExtension = tagClass == "public.filename-extension";
    if (!byExtension && tagClass != "public.mime-type")
        return nullptr;
    const std::string_view prefix = byExtension ? kDynamicExtension : kDynamicMIME;
    if (identifier.size() > prefix.size() && identifier.compare(0, prefix.size(), prefix) == 0)
        return NewString(std::string_view(identifier).substr(prefix.size()));
    const Kind* kind = FindKind(identifier);
    if (kind == nullptr)
        return nullptr;
    const auto& tags = byExtension ? kind->extensions : kind->mimeTypes;
    return tags.empty() ? nullptr : NewString(tags.front());
}

Boolean UTTypeConformsTo(CFStringRef inUTI, CFStringRef inConformsToUTI)
{
    const std::string identifier = Text(inUTI);
    const std::string general = Text(inConformsToUTI);
    if (identifier.empty() || general.empty())
        return false;
    return ConformsTo(identifier, general);
}

Boolean UTTypeEqual(CFStringRef inUTI1, CFStringRef inUTI2)
{
    const std::string a = Text(inUTI1);
    return !a.empty() && a == Text(inUTI2);
}

Boolean UTTypeIsDynamic(CFStringRef inUTI)
{
    return Text(inUTI).compare(0, 4, "dyn.") == 0;
}
