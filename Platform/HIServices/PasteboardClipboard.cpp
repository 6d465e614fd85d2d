// The clipboard pasteboard over QClipboard. Our items go onto the clipboard
// inside a QMimeData of our own, so that this process reads them back
// exactly, while other programs are offered their MIME types. Anything
// else on the clipboard is read as foreign contents, built once per change
// of the clipboard and fetched flavour by flavour when asked.
#include "PasteboardInternal.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QMimeData>
#include <QPointer>
#include <QThread>

#include <algorithm>

namespace PasteboardDetail {

namespace {

const QString kQtImageFormat = QStringLiteral("application/x-qt-image");
const QString kURIListFormat = QStringLiteral("text/uri-list");
const QString kFileURLIdentifier = QStringLiteral("public.file-url");
const QString kURLIdentifier = QStringLiteral("public.url");

bool SameFormat(const QString& a, const QString& b)
{
    QString x = a.toLower(), y = b.toLower();
    x.remove(QLatin1Char(' '));
    y.remove(QLatin1Char(' '));
    return x == y;
}

QString TypeOf(const Flavor& flavor)
{
    return StringToQt(flavor.type);
}

QByteArray BytesOf(CFDataRef data)
{
    if (data == nullptr)
        return {};
    return QByteArray(reinterpret_cast<const char*>(CFDataGetBytePtr(data)), CFDataGetLength(data));
}

CFDataRef NewData(const QByteArray& bytes)
{
    return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.constData()), bytes.size());
}

class PasteboardMimeData final : public QMimeData {
public:
    explicit PasteboardMimeData(std::shared_ptr<Contents> contents) : contents_(std::move(contents)) {}

    const std::shared_ptr<Contents>& contents() const { return contents_; }

    QStringList formats() const override
    {
        QStringList formats;
        ForEachOffered([&](const Flavor& flavor) {
            for (const QString& format : ExportFormatsFor(TypeOf(flavor))) {
                if (!formats.contains(format, Qt::CaseInsensitive))
                    formats.append(format);
            }
            return false;
        });
        return formats;
    }

    // Qt readers in this process see our images as an image too. It is not
    // among the formats, or Qt would offer other programs a converted copy
    // in every image format it can write beside the flavours themselves.
    bool hasFormat(const QString& mimeType) const override
    {
        if (SameFormat(mimeType, kQtImageFormat))
            return FirstImage() != nullptr;
        const QStringList offered = formats();
        return std::any_of(offered.begin(), offered.end(),
                           [&](const QString& format) { return SameFormat(format, mimeType); });
    }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType) const override
    {
        if (SameFormat(mimeType, kQtImageFormat)) {
            const Flavor* image = FirstImage();
            if (image == nullptr)
                return {};
            const QImage decoded = QImage::fromData(BytesOf(image->data));
            return decoded.isNull() ? QVariant() : QVariant(decoded);
        }
        if (SameFormat(mimeType, kURIListFormat)) {
            // One uri-list for the file URLs of every item, as other
            // programs show several files.
            QByteArray list;
            ForEachOffered([&](const Flavor& flavor) {
                if (TypeOf(flavor).compare(kFileURLIdentifier, Qt::CaseInsensitive) == 0)
                    list += BytesOf(flavor.data).trimmed() + "\r\n";
                return false;
            });
            return list.isEmpty() ? QVariant() : QVariant(list);
        }
        QByteArray bytes;
        bool found = false;
        ForEachOffered([&](const Flavor& flavor) {
            for (const QString& format : ExportFormatsFor(TypeOf(flavor))) {
                if (SameFormat(format, mimeType)) {
                    bytes = BytesOf(flavor.data);
                    found = true;
                    return true;
                }
            }
            return false;
        });
        return found ? QVariant(bytes) : QVariant();
    }

private:
    // The flavours other programs may see, item by item; stops when `visit`
    // answers true.
    template <typename Visit>
    void ForEachOffered(Visit&& visit) const
    {
        for (const Item& item : contents_->items) {
            for (const Flavor& flavor : item.flavors) {
                if ((flavor.flags & kPasteboardFlavorSenderOnly) == 0 && visit(flavor))
                    return;
            }
        }
    }

    const Flavor* FirstImage() const
    {
        const Flavor* found = nullptr;
        ForEachOffered([&](const Flavor& flavor) {
            if (IsImageIdentifier(TypeOf(flavor)))
                found = &flavor;
            return found != nullptr;
        });
        return found;
    }

    std::shared_ptr<Contents> contents_;
};

struct ClipboardState {
    // The clipboard whose changes are counted; a new application brings a
    // new one.
    QPointer<QClipboard> watched;
    uint64_t generation = 1;
    std::shared_ptr<const Contents> foreign;
    uint64_t foreignGeneration = 0;
    const QMimeData* foreignSource = nullptr;
};

// Only ever touched on the application's thread.
ClipboardState& State()
{
    static auto* state = new ClipboardState;
    return *state;
}

QClipboard* Clipboard()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    ClipboardState& state = State();
    if (state.watched != clipboard) {
        state.watched = clipboard;
        ++state.generation;
        QObject::connect(clipboard, &QClipboard::dataChanged, clipboard, [] { ++State().generation; });
    }
    return clipboard;
}

std::vector<std::string> ParseURIList(const QByteArray& list)
{
    std::vector<std::string> urls;
    for (const QByteArray& raw : list.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!line.isEmpty() && !line.startsWith('#'))
            urls.push_back(line.toStdString());
    }
    return urls;
}

QString URLIdentifier(const std::string& url)
{
    return QString::fromStdString(url.substr(0, 5)).compare(QLatin1String("file:"), Qt::CaseInsensitive) == 0
               ? kFileURLIdentifier
               : kURLIdentifier;
}

PasteboardItemID ForeignItemID(size_t position)
{
    return reinterpret_cast<PasteboardItemID>(reinterpret_cast<uintptr_t>(kPasteboardForeignItem) + position);
}

void AddFlavor(Item& item, const QString& identifier, ForeignSource source, PasteboardFlavorFlags flags)
{
    for (const Flavor& flavor : item.flavors) {
        if (TypeOf(flavor).compare(identifier, Qt::CaseInsensitive) == 0)
            return;
    }
    Flavor flavor;
    flavor.type.Reset(StringFromQt(identifier));
    flavor.flags = flags;
    flavor.source = std::move(source);
    item.flavors.push_back(std::move(flavor));
}

std::shared_ptr<const Contents> ReadForeign(const QMimeData* mime)
{
    auto contents = std::make_shared<Contents>();
    if (mime == nullptr)
        return contents;
    Item item;
    item.id = kPasteboardForeignItem;
    for (const QString& format : mime->formats()) {
        const QString identifier = IdentifierForFormat(format);
        if (identifier.isEmpty())
            continue;
        if (identifier.compare(kFileURLIdentifier, Qt::CaseInsensitive) == 0) {
            if (!contents->urls.empty())
                continue;
            contents->urls = ParseURIList(mime->data(format));
            if (!contents->urls.empty())
                AddFlavor(item, URLIdentifier(contents->urls.front()), {ForeignSource::Kind::URL, {}, 0}, 0);
            continue;
        }
        AddFlavor(item, identifier, {ForeignSource::Kind::Format, format, 0}, 0);
    }
    if (mime->hasImage()) {
        const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
        for (const char* format : {"png", "tiff"}) {
            if (writable.contains(format))
                AddFlavor(item, QStringLiteral("public.") + QLatin1String(format),
                          {ForeignSource::Kind::Image, QLatin1String(format), 0}, kPasteboardFlavorSystemTranslated);
        }
    }
    if (!item.flavors.empty())
        contents->items.push_back(std::move(item));
    for (size_t i = 1; i < contents->urls.size(); ++i) {
        Item further;
        further.id = ForeignItemID(i);
        AddFlavor(further, URLIdentifier(contents->urls[i]), {ForeignSource::Kind::URL, {}, i}, 0);
        contents->items.push_back(std::move(further));
    }
    return contents;
}

}  // namespace

bool ClipboardIsSystem()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

bool ClipboardReachable()
{
    return ClipboardIsSystem() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

uint64_t ClipboardGeneration()
{
    Clipboard();
    return State().generation;
}

std::shared_ptr<const Contents> ClipboardContents()
{
    const QMimeData* mime = Clipboard()->mimeData(QClipboard::Clipboard);
    if (const auto* ours = dynamic_cast<const PasteboardMimeData*>(mime))
        return ours->contents();
    ClipboardState& state = State();
    if (state.foreign == nullptr || state.foreignGeneration != state.generation || state.foreignSource != mime) {
        state.foreign = ReadForeign(mime);
        state.foreignGeneration = state.generation;
        state.foreignSource = mime;
    }
    return state.foreign;
}

std::shared_ptr<Contents> ClipboardOwnedContents(uint64_t serial)
{
    const auto* ours = dynamic_cast<const PasteboardMimeData*>(Clipboard()->mimeData(QClipboard::Clipboard));
    if (ours == nullptr || ours->contents()->owner != serial)
        return nullptr;
    return ours->contents();
}

void ClipboardTakeOwnership(uint64_t serial)
{
    auto contents = std::make_shared<Contents>();
    contents->owner = serial;
    Clipboard()->setMimeData(new PasteboardMimeData(std::move(contents)), QClipboard::Clipboard);
}

void ClipboardAnnounce(const std::shared_ptr<Contents>& contents)
{
    Clipboard()->setMimeData(new PasteboardMimeData(contents), QClipboard::Clipboard);
}

CFDataRef ClipboardCopyForeignData(const Contents& contents, const Flavor& flavor)
{
    const ForeignSource& source = flavor.source;
    if (source.kind == ForeignSource::Kind::URL) {
        if (source.urlIndex >= contents.urls.size())
            return nullptr;
        const std::string& url = contents.urls[source.urlIndex];
        return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(url.data()), static_cast<CFIndex>(url.size()));
    }
    const QMimeData* mime = Clipboard()->mimeData(QClipboard::Clipboard);
    if (mime == nullptr)
        return nullptr;
    if (source.kind == ForeignSource::Kind::Format) {
        if (!mime->hasFormat(source.format))
            return nullptr;
        return NewData(mime->data(source.format));
    }
    if (source.kind == ForeignSource::Kind::Image) {
        const QImage image = qvariant_cast<QImage>(mime->imageData());
        if (image.isNull())
            return nullptr;
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, source.format.toLatin1());
        if (!writer.write(image))
            return nullptr;
        return NewData(bytes);
    }
    return nullptr;
}

}  // namespace PasteboardDetail
