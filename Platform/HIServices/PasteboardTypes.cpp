// Flavours and the MIME types of the desktop's clipboard. The table holds
// the clipboard's own vocabulary; kinds it does not name go by the MIME
// type the type-identifier table gives them, and whatever has none travels
// under a private type that carries the identifier.
#include "PasteboardInternal.h"

#include <CoreServices/UTCoreTypes.h>

#include <algorithm>

namespace PasteboardDetail {

namespace {

struct ClipboardType {
    const char* identifier;
    // Every type is offered; the first that another program offers is read.
    std::vector<const char*> mimeTypes;
};

const std::vector<ClipboardType>& ClipboardTypes()
{
    static const auto* types = new std::vector<ClipboardType>{
        // Plain "text/plain" too: it is the type X11's UTF8_STRING maps to
        // and the one older programs ask for.
        {"public.utf8-plain-text", {"text/plain;charset=utf-8", "text/plain"}},
        {"public.rtf", {"text/rtf", "application/rtf"}},
        {"public.html", {"text/html"}},
        {"public.png", {"image/png"}},
        {"public.tiff", {"image/tiff"}},
        {"public.jpeg", {"image/jpeg"}},
        {"com.compuserve.gif", {"image/gif"}},
        {"com.microsoft.bmp", {"image/bmp"}},
        {"public.svg-image", {"image/svg+xml"}},
        {"com.adobe.pdf", {"application/pdf"}},
        {"public.file-url", {"text/uri-list"}},
        {"public.vcard", {"text/vcard", "text/x-vcard"}},
        {"com.apple.ical.ics", {"text/calendar"}},
    };
    return *types;
}

const QString kPrivatePrefix = QStringLiteral("application/x-brindlet-uti;type=");
// Qt's marker for "an image of any format"; the images themselves come
// under their own types.
const QString kQtImageFormat = QStringLiteral("application/x-qt-image");

// MIME types compare without regard to case or the blanks around parameters.
QString NormalizedFormat(const QString& mimeType)
{
    QString normal = mimeType.trimmed().toLower();
    normal.remove(QLatin1Char(' '));
    return normal;
}

// Identifiers that can be named inside a MIME type and an X11 atom.
bool CanTravelPrivately(const QString& identifier)
{
    if (identifier.isEmpty() || identifier.size() > 255)
        return false;
    return std::all_of(identifier.begin(), identifier.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'.' ||
               u == u'-' || u == u'_' || u == u'+';
    });
}

const ClipboardType* FindByIdentifier(const QString& identifier)
{
    for (const ClipboardType& type : ClipboardTypes()) {
        if (identifier.compare(QLatin1String(type.identifier), Qt::CaseInsensitive) == 0)
            return &type;
    }
    return nullptr;
}

}  // namespace

QString StringToQt(CFStringRef s)
{
    if (s == nullptr || CFGetTypeID(s) != CFStringGetTypeID())
        return {};
    const CFIndex length = CFStringGetLength(s);
    QString text(length, Qt::Uninitialized);
    CFStringGetCharacters(s, CFRangeMake(0, length), reinterpret_cast<UniChar*>(text.data()));
    return text;
}

CFStringRef StringFromQt(const QString& text)
{
    if (text.isEmpty())
        return nullptr;
    return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(text.utf16()), text.size());
}

bool SameIdentifier(CFStringRef a, CFStringRef b)
{
    return StringToQt(a).compare(StringToQt(b), Qt::CaseInsensitive) == 0;
}

QString IdentifierForFormat(const QString& mimeType)
{
    const QString format = NormalizedFormat(mimeType);
    if (format.isEmpty() || !format.contains(QLatin1Char('/')) || format == kQtImageFormat)
        return {};
    if (format.startsWith(kPrivatePrefix)) {
        // The identifier keeps its case: take it from the type as offered.
        const QString identifier = mimeType.trimmed().mid(mimeType.trimmed().indexOf(QLatin1Char('=')) + 1);
        return CanTravelPrivately(identifier) ? identifier : QString();
    }
    for (const ClipboardType& type : ClipboardTypes()) {
        for (const char* mime : type.mimeTypes) {
            if (format == QLatin1String(mime))
                return QString::fromLatin1(type.identifier);
        }
    }
    CFRef<CFStringRef> tag(StringFromQt(format));
    CFRef<CFStringRef> identifier(UTTypeCreatePreferredIdentifierForTag(kUTTagClassMIMEType, tag, nullptr));
    return StringToQt(identifier);
}

std::vector<QString> ExportFormatsFor(const QString& identifier)
{
    if (identifier.isEmpty())
        return {};
    if (const ClipboardType* type = FindByIdentifier(identifier)) {
        std::vector<QString> formats;
        for (const char* mime : type->mimeTypes)
            formats.push_back(QString::fromLatin1(mime));
        return formats;
    }
    // A MIME type is used only when it reads back as the same identifier:
    // two flavours never share a type, and nothing changes kind on the way.
    CFRef<CFStringRef> uti(StringFromQt(identifier));
    CFRef<CFStringRef> tag(UTTypeCopyPreferredTagWithClass(uti, kUTTagClassMIMEType));
    const QString mime = StringToQt(tag);
    if (!mime.isEmpty() && IdentifierForFormat(mime).compare(identifier, Qt::CaseInsensitive) == 0)
        return {mime};
    if (CanTravelPrivately(identifier))
        return {kPrivatePrefix + identifier};
    return {};
}

bool IsImageIdentifier(const QString& identifier)
{
    CFRef<CFStringRef> uti(StringFromQt(identifier));
    return uti && UTTypeConformsTo(uti, kUTTypeImage);
}

}  // namespace PasteboardDetail
