// The Drag Manager over Qt's drag and drop. A drag is our own object; Qt
// only carries it: QDrag and QMimeData when we start one, QDragEnterEvent
// and its sisters on a window's widget when one arrives. A drag that
// arrives from this process is the very drag that was started (its Qt
// data says which); one from elsewhere becomes a new drag made from the
// files, text and images its data offers, for as long as it is over us.

#include "Drag.h"

#include "DragInternal.h"
#include "HIToolboxInternal.h"
#include "KeyCodes.h"

#include <CarbonCore/DriverServices.h>
#include <CoreGraphics/CGImageQt.h>

#include <QApplication>
#include <QBuffer>
#include <QCursor>
#include <QDataStream>
#include <QDrag>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <unistd.h>

struct OpaqueDragRef {
    struct Flavor {
        FlavorType type;
        FlavorFlags flags;
        std::vector<UInt8> data;
    };
    struct Item {
        DragItemRef reference;
        Rect bounds;
        std::vector<Flavor> flavors;
    };
    std::vector<Item> items;
    Point origin = {};
    Point mouse = {};
    SInt16 modifiers = 0, downModifiers = 0, upModifiers = 0;
    DragAttributes attributes = 0;
    DragActions allowable = kDragActionAll;
    DragActions dropAction = kDragActionNothing;
    CGImageRef image = nullptr;
    HIPoint imageOffset = {};
    DragImageFlags imageFlags = 0;
    DragInputUPP inputProc = nullptr;
    void* inputRefCon = nullptr;
    WindowRef senderWindow = nullptr;
    bool tracking = false;
    bool disposeAfterTracking = false;
    bool dropAccepted = false;
};

struct OpaqueRgnHandle {};

namespace {

std::set<DragRef>& LiveDrags()
{
    static std::set<DragRef> drags;
    return drags;
}

DragRef AsDrag(DragRef drag)
{
    return drag && LiveDrags().count(drag) ? drag : nullptr;
}

OpaqueDragRef::Item* FindItem(DragRef drag, DragItemRef reference)
{
    for (auto& item : drag->items)
        if (item.reference == reference)
            return &item;
    return nullptr;
}

OpaqueDragRef::Flavor* FindFlavor(OpaqueDragRef::Item* item, FlavorType type)
{
    for (auto& flavor : item->flavors)
        if (flavor.type == type)
            return &flavor;
    return nullptr;
}

void Destroy(DragRef drag)
{
    LiveDrags().erase(drag);
    if (drag->image)
        CGImageRelease(drag->image);
    delete drag;
}

Point PointFrom(QPointF global)
{
    return Point{SInt16(std::lround(global.y())), SInt16(std::lround(global.x()))};
}

}  // namespace

// ---- event records and regions ----

Boolean ConvertEventRefToEventRecord(EventRef inEvent, EventRecord* outEvent)
{
    if (!inEvent || !outEvent)
        return false;
    const EventClass eventClass = GetEventClass(inEvent);
    const UInt32 kind = GetEventKind(inEvent);
    EventRecord record = {};
    if (eventClass == kEventClassMouse && (kind == kEventMouseDown || kind == kEventMouseUp))
        record.what = kind == kEventMouseDown ? mouseDown : mouseUp;
    else if (eventClass == kEventClassMouse && (kind == kEventMouseDragged || kind == kEventMouseMoved))
        record.what = nullEvent;
    else if (eventClass == kEventClassKeyboard && (kind == kEventRawKeyDown || kind == kEventRawKeyUp))
        record.what = kind == kEventRawKeyDown ? keyDown : keyUp;
    else if (eventClass == kEventClassKeyboard && kind == kEventRawKeyRepeat)
        record.what = autoKey;
    else
        return false;
    HIPoint global = {};
    if (GetEventParameter(inEvent, kEventParamMouseLocation, typeHIPoint, nullptr, sizeof global, nullptr, &global) !=
        noErr) {
        const QPointF now = QCursor::pos();
        global = {CGFloat(now.x()), CGFloat(now.y())};
    }
    UInt32 modifiers = 0;
    GetEventParameter(inEvent, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
    record.where = PointFrom(QPointF(global.x, global.y));
    record.modifiers = modifiers;
    record.when = TickCount();
    *outEvent = record;
    return true;
}

RgnHandle NewRgn()
{
    return new OpaqueRgnHandle;
}

void DisposeRgn(RgnHandle region)
{
    delete region;
}

// ---- making a drag ----

OSErr NewDrag(DragRef* theDrag)
{
    if (!theDrag)
        return paramErr;
    auto* drag = new OpaqueDragRef;
    LiveDrags().insert(drag);
    *theDrag = drag;
    return noErr;
}

OSErr DisposeDrag(DragRef theDrag)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (drag->tracking)
        drag->disposeAfterTracking = true;
    else
        Destroy(drag);
    return noErr;
}

OSErr AddDragItemFlavor(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, const void* dataPtr, Size dataSize,
                        FlavorFlags theFlags)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (dataSize < 0)
        return paramErr;
    OpaqueDragRef::Item* item = FindItem(drag, theItemRef);
    if (item && FindFlavor(item, theType))
        return duplicateFlavorErr;
    if (!item) {
        drag->items.push_back({theItemRef, Rect{}, {}});
        item = &drag->items.back();
    }
    OpaqueDragRef::Flavor flavor = {theType, theFlags, {}};
    if (dataPtr && dataSize > 0) {
        const auto* bytes = static_cast<const UInt8*>(dataPtr);
        flavor.data.assign(bytes, bytes + dataSize);
    } else if (!dataPtr) {
        flavor.flags |= flavorDataPromised;
    }
    item->flavors.push_back(std::move(flavor));
    return noErr;
}

OSErr SetDragItemFlavorData(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, const void* dataPtr,
                            Size dataSize, UInt32 dataOffset)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (dataSize < 0 || (dataSize > 0 && !dataPtr))
        return paramErr;
    OpaqueDragRef::Item* item = FindItem(drag, theItemRef);
    if (!item)
        return badDragItemErr;
    OpaqueDragRef::Flavor* flavor = FindFlavor(item, theType);
    if (!flavor)
        return badDragFlavorErr;
    const size_t end = size_t(dataOffset) + size_t(dataSize);
    if (flavor->data.size() < end)
        flavor->data.resize(end);
    if (dataSize > 0)
        std::memcpy(flavor->data.data() + dataOffset, dataPtr, size_t(dataSize));
    flavor->flags &= ~FlavorFlags(flavorDataPromised);
    return noErr;
}

// ---- reading a drag ----

OSErr CountDragItems(DragRef theDrag, UInt16* numItems)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (!numItems)
        return paramErr;
    *numItems = UInt16(std::min<size_t>(drag->items.size(), 0xFFFF));
    return noErr;
}

OSErr GetDragItemReferenceNumber(DragRef theDrag, UInt16 index, DragItemRef* theItemRef)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (!theItemRef)
        return paramErr;
    if (index < 1 || index > drag->items.size())
        return badDragItemErr;
    *theItemRef = drag->items[index - 1].reference;
    return noErr;
}

OSErr CountDragItemFlavors(DragRef theDrag, DragItemRef theItemRef, UInt16* numFlavors)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (!numFlavors)
        return paramErr;
    OpaqueDragRef::Item* item = FindItem(drag, theItemRef);
    if (!item)
        return badDragItemErr;
    *numFlavors = UInt16(std::min<size_t>(item->flavors.size(), 0xFFFF));
    return noErr;
}

OSErr GetFlavorType(DragRef theDrag, DragItemRef theItemRef, UInt16 index, FlavorType* theType)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (!theType)
        return paramErr;
    OpaqueDragRef::Item* item = FindItem(drag, theItemRef);
    if (!item)
        return badDragItemErr;
    if (index < 1 || index > item->flavors.size())
        return badDragFlavorErr;
    *theType = item->flavors[index - 1].type;
    return noErr;
}

namespace {

// The flavour, or the status saying what the drag lacks.
OSErr Lookup(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, OpaqueDragRef::Flavor** found)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    OpaqueDragRef::Item* item = FindItem(drag, theItemRef);
    if (!item)
        return badDragItemErr;
    *found = FindFlavor(item, theType);
    return *found ? noErr : badDragFlavorErr;
}

}  // namespace

OSErr GetFlavorFlags(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, FlavorFlags* theFlags)
{
    OpaqueDragRef::Flavor* flavor = nullptr;
    const OSErr status = Lookup(theDrag, theItemRef, theType, &flavor);
    if (status != noErr)
        return status;
    if (!theFlags)
        return paramErr;
    *theFlags = flavor->flags;
    return noErr;
}

OSErr GetFlavorDataSize(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, Size* dataSize)
{
    OpaqueDragRef::Flavor* flavor = nullptr;
    const OSErr status = Lookup(theDrag, theItemRef, theType, &flavor);
    if (status != noErr)
        return status;
    if (!dataSize)
        return paramErr;
    *dataSize = Size(flavor->data.size());
    return noErr;
}

OSErr GetFlavorData(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, void* dataPtr, Size* dataSize,
                    UInt32 dataOffset)
{
    OpaqueDragRef::Flavor* flavor = nullptr;
    const OSErr status = Lookup(theDrag, theItemRef, theType, &flavor);
    if (status != noErr)
        return status;
    if (!dataSize || *dataSize < 0 || (*dataSize > 0 && !dataPtr))
        return paramErr;
    if (flavor->flags & flavorDataPromised)
        return cantGetFlavorErr;
    const size_t available = dataOffset < flavor->data.size() ? flavor->data.size() - dataOffset : 0;
    const size_t copied = std::min(available, size_t(*dataSize));
    if (copied > 0)
        std::memcpy(dataPtr, flavor->data.data() + dataOffset, copied);
    *dataSize = Size(copied);
    return noErr;
}

OSErr GetDragItemBounds(DragRef theDrag, DragItemRef theItemRef, Rect* itemBounds)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    OpaqueDragRef::Item* item = FindItem(drag, theItemRef);
    if (!item)
        return badDragItemErr;
    if (!itemBounds)
        return paramErr;
    *itemBounds = item->bounds;
    return noErr;
}

OSErr SetDragItemBounds(DragRef theDrag, DragItemRef theItemRef, const Rect* itemBounds)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    OpaqueDragRef::Item* item = FindItem(drag, theItemRef);
    if (!item)
        return badDragItemErr;
    if (!itemBounds)
        return paramErr;
    item->bounds = *itemBounds;
    return noErr;
}

OSErr GetDragMouse(DragRef theDrag, Point* mouse, Point* globalPinnedMouse)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (mouse)
        *mouse = drag->mouse;
    if (globalPinnedMouse)
        *globalPinnedMouse = drag->mouse;
    return noErr;
}

OSErr SetDragMouse(DragRef theDrag, Point globalPinnedMouse)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    drag->mouse = globalPinnedMouse;
    return noErr;
}

OSErr GetDragOrigin(DragRef theDrag, Point* globalInitialMouse)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (!globalInitialMouse)
        return paramErr;
    *globalInitialMouse = drag->origin;
    return noErr;
}

OSErr GetDragModifiers(DragRef theDrag, SInt16* modifiers, SInt16* mouseDownModifiers, SInt16* mouseUpModifiers)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (modifiers)
        *modifiers = drag->modifiers;
    if (mouseDownModifiers)
        *mouseDownModifiers = drag->downModifiers;
    if (mouseUpModifiers)
        *mouseUpModifiers = drag->upModifiers;
    return noErr;
}

OSErr GetDragAttributes(DragRef theDrag, DragAttributes* flags)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (!flags)
        return paramErr;
    *flags = drag->attributes;
    return noErr;
}

OSErr SetDragAllowableActions(DragRef theDrag, DragActions inActions, Boolean)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    drag->allowable = inActions;
    return noErr;
}

OSErr GetDragAllowableActions(DragRef theDrag, DragActions* outActions)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (!outActions)
        return paramErr;
    *outActions = drag->allowable;
    return noErr;
}

OSErr SetDragDropAction(DragRef theDrag, DragActions inAction)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    drag->dropAction = inAction;
    return noErr;
}

OSErr GetDragDropAction(DragRef theDrag, DragActions* outAction)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (!outAction)
        return paramErr;
    *outAction = drag->dropAction;
    return noErr;
}

OSStatus SetDragImageWithCGImage(DragRef inDrag, CGImageRef inCGImage, const HIPoint* inImageOffset,
                                 DragImageFlags inImageFlags)
{
    DragRef drag = AsDrag(inDrag);
    if (!drag)
        return badDragRefErr;
    if (CGImageGetQImage(inCGImage).isNull())
        return badImageErr;
    CGImageRetain(inCGImage);
    if (drag->image)
        CGImageRelease(drag->image);
    drag->image = inCGImage;
    drag->imageOffset = inImageOffset ? *inImageOffset : HIPoint{};
    drag->imageFlags = inImageFlags;
    return noErr;
}

OSErr SetDragInputProc(DragRef theDrag, DragInputUPP inputProc, void* dragInputRefCon)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    drag->inputProc = inputProc;
    drag->inputRefCon = dragInputRefCon;
    return noErr;
}

// ---- the Qt form of a drag ----

namespace {

// This process as the private type names it: its id, and a number drawn at
// start so that a process of another PID namespace with the same id (a
// sandboxed copy) is still another process.
struct ProcessTag {
    quint64 pid;
    quint64 nonce;
};

const ProcessTag& ThisProcess()
{
    static const ProcessTag tag = {quint64(getpid()), QRandomGenerator::system()->generate64()};
    return tag;
}

constexpr quint32 kPayloadMagic = 0x42445247;  // "BDRG"
constexpr quint32 kPayloadVersion = 1;
// Bounds on what the private type may claim (outside data).
constexpr quint32 kMaxItems = 4096;
constexpr quint32 kMaxFlavors = 256;
constexpr qint64 kMaxFlavorBytes = 256LL << 20;

// The Qt data of a drag started here: it knows its drag, for drops on
// our own windows while the drag runs.
class DragMimeData final : public QMimeData {
public:
    explicit DragMimeData(DragRef drag) : drag_(drag) {}
    DragRef Drag() const { return AsDrag(drag_); }
    void Forget() { drag_ = nullptr; }

private:
    DragRef drag_;
};

QByteArray Bytes(const OpaqueDragRef::Flavor& flavor)
{
    return QByteArray(reinterpret_cast<const char*>(flavor.data.data()), qsizetype(flavor.data.size()));
}

QByteArray EncodePrivate(DragRef drag)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    out << kPayloadMagic << kPayloadVersion << ThisProcess().pid << ThisProcess().nonce << quint32(drag->items.size());
    for (const auto& item : drag->items) {
        out << quint32(item.reference) << qint16(item.bounds.top) << qint16(item.bounds.left)
            << qint16(item.bounds.bottom) << qint16(item.bounds.right) << quint32(item.flavors.size());
        for (const auto& flavor : item.flavors) {
            out << quint32(flavor.type) << quint32(flavor.flags);
            out.writeBytes(reinterpret_cast<const char*>(flavor.data.data()), qint64(flavor.data.size()));
        }
    }
    return payload;
}

// The items of the private type when this process wrote it; false for
// another process's (whose flavours we never show) or malformed data.
bool DecodePrivate(const QByteArray& payload, DragRef drag)
{
    QDataStream in(payload);
    in.setByteOrder(QDataStream::BigEndian);
    quint32 magic = 0, version = 0, count = 0;
    quint64 pid = 0, nonce = 0;
    in >> magic >> version >> pid >> nonce >> count;
    if (in.status() != QDataStream::Ok || magic != kPayloadMagic || version != kPayloadVersion)
        return false;
    if (pid != ThisProcess().pid || nonce != ThisProcess().nonce || count > kMaxItems)
        return false;
    std::vector<OpaqueDragRef::Item> items;
    for (quint32 i = 0; i < count; ++i) {
        quint32 reference = 0, flavors = 0;
        qint16 top = 0, left = 0, bottom = 0, right = 0;
        in >> reference >> top >> left >> bottom >> right >> flavors;
        if (in.status() != QDataStream::Ok || flavors > kMaxFlavors)
            return false;
        OpaqueDragRef::Item item = {reference, Rect{top, left, bottom, right}, {}};
        for (quint32 f = 0; f < flavors; ++f) {
            quint32 type = 0, flags = 0, size = 0;
            in >> type >> flags >> size;
            if (in.status() != QDataStream::Ok || qint64(size) > kMaxFlavorBytes ||
                qint64(size) > payload.size() - in.device()->pos())
                return false;
            std::vector<UInt8> data(size);
            if (size > 0 && in.readRawData(reinterpret_cast<char*>(data.data()), int(size)) != int(size))
                return false;
            item.flavors.push_back({type, flags, std::move(data)});
        }
        items.push_back(std::move(item));
    }
    drag->items = std::move(items);
    return true;
}

QString FilePathOf(const OpaqueDragRef::Item& item)
{
    for (const auto& flavor : item.flavors) {
        if (flavor.type == typeFileURL) {
            const QUrl url = QUrl::fromEncoded(Bytes(flavor), QUrl::StrictMode);
            if (url.isValid() && url.isLocalFile())
                return url.toLocalFile();
        } else if (flavor.type == kDragFlavorTypeHFS && flavor.data.size() == sizeof(HFSFlavor)) {
            HFSFlavor record;
            std::memcpy(&record, flavor.data.data(), sizeof record);
            record.fileRef.path[sizeof record.fileRef.path - 1] = 0;
            if (record.fileRef.path[0] == '/')
                return QString::fromUtf8(record.fileRef.path);
        }
    }
    return QString();
}

// The 'hfs ' record of a file, made on arrival; false when the file is not there.
bool MakeHFSFlavor(const QString& path, HFSFlavor* record)
{
    const QByteArray bytes = path.toUtf8();
    HFSFlavor made = {};
    if (FSPathMakeRef(reinterpret_cast<const UInt8*>(bytes.constData()), &made.fileRef, nullptr) != noErr)
        return false;
    FSCatalogInfo info = {};
    if (FSGetCatalogInfo(&made.fileRef, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr) == noErr) {
        FileInfo finder;
        std::memcpy(&finder, info.finderInfo, sizeof finder);
        made.fileType = finder.fileType;
        made.fileCreator = finder.fileCreator;
        made.fdFlags = finder.finderFlags;
    }
    *record = made;
    return true;
}

void AddBytes(OpaqueDragRef::Item& item, FlavorType type, const QByteArray& bytes, FlavorFlags flags = 0)
{
    item.flavors.push_back({type, flags, std::vector<UInt8>(bytes.begin(), bytes.end())});
}

// Whether the text only names the files (as a file manager's text does).
bool NamesTheFiles(const QString& text, const QList<QUrl>& files)
{
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
    if (lines.isEmpty())
        return true;
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        const bool named = std::any_of(files.begin(), files.end(), [&](const QUrl& url) {
            return trimmed == url.toLocalFile() || trimmed == url.toString() ||
                   trimmed == QString::fromUtf8(url.toEncoded());
        });
        if (!named)
            return false;
    }
    return true;
}

// A drag from another program: one item per file (its URL and its 'hfs '
// record), then one item with the text (unless it only names the files)
// and the images.
void DecodeStandard(const QMimeData* data, DragRef drag)
{
    DragItemRef reference = 1;
    QList<QUrl> files;
    for (const QUrl& url : data->urls()) {
        // Another program's list is taken as far as our own drags go.
        if (!url.isLocalFile() || quint32(files.size()) >= kMaxItems)
            continue;
        files << url;
        OpaqueDragRef::Item item = {reference++, Rect{}, {}};
        AddBytes(item, typeFileURL, url.toEncoded(QUrl::FullyEncoded));
        HFSFlavor record;
        if (MakeHFSFlavor(url.toLocalFile(), &record))
            AddBytes(item, kDragFlavorTypeHFS, QByteArray(reinterpret_cast<const char*>(&record), sizeof record),
                     flavorSystemTranslated);
        drag->items.push_back(std::move(item));
    }
    OpaqueDragRef::Item item = {reference, Rect{}, {}};
    QString text = data->hasText() ? data->text() : QString();
    if (text.isEmpty() && files.isEmpty() && data->hasUrls()) {
        QStringList links;
        for (const QUrl& url : data->urls())
            links << url.toString();
        text = links.join(QLatin1Char('\n'));
    }
    const QByteArray utf8 = text.toUtf8();
    if (!text.isEmpty() && utf8.size() <= kMaxFlavorBytes && (files.isEmpty() || !NamesTheFiles(text, files)))
        AddBytes(item, typeUTF8Text, utf8);
    for (const auto& [mime, type] :
         {std::pair{"image/tiff", kScrapFlavorTypeTIFF}, {"image/png", kScrapFlavorTypePNG}}) {
        const QByteArray image = data->data(QLatin1String(mime));
        if (!image.isEmpty() && image.size() <= kMaxFlavorBytes)
            AddBytes(item, type, image);
    }
    if (!item.flavors.empty())
        drag->items.push_back(std::move(item));
}

// An item with a file URL also gets the file's 'hfs ' record, as a drag
// from another program does.
void AddTranslatedFlavors(DragRef drag)
{
    for (auto& item : drag->items) {
        OpaqueDragRef::Flavor* url = FindFlavor(&item, typeFileURL);
        if (!url || FindFlavor(&item, kDragFlavorTypeHFS))
            continue;
        const QUrl parsed = QUrl::fromEncoded(Bytes(*url), QUrl::StrictMode);
        HFSFlavor record;
        if (parsed.isLocalFile() && MakeHFSFlavor(parsed.toLocalFile(), &record))
            AddBytes(item, kDragFlavorTypeHFS, QByteArray(reinterpret_cast<const char*>(&record), sizeof record),
                     flavorSystemTranslated);
    }
}

}  // namespace

QMimeData* HIDragCreateMimeData(DragRef theDrag)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return nullptr;
    auto* data = new DragMimeData(drag);
    data->setData(QLatin1String(kHIDragPrivateMimeType), EncodePrivate(drag));
    QList<QUrl> urls;
    QStringList texts;
    QByteArray png, tiff;
    for (const auto& item : drag->items) {
        const QString path = FilePathOf(item);
        if (!path.isEmpty())
            urls << QUrl::fromLocalFile(path);
        for (const auto& flavor : item.flavors) {
            if (flavor.type == typeUTF8Text)
                texts << QString::fromUtf8(Bytes(flavor));
            else if (flavor.type == kScrapFlavorTypePNG && png.isEmpty())
                png = Bytes(flavor);
            else if (flavor.type == kScrapFlavorTypeTIFF && tiff.isEmpty())
                tiff = Bytes(flavor);
        }
    }
    if (!urls.isEmpty())
        data->setUrls(urls);
    if (!texts.isEmpty())
        data->setText(texts.join(QLatin1Char('\n')));
    // Few programs here read TIFF: a TIFF image travels as PNG as well.
    if (png.isEmpty() && !tiff.isEmpty()) {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!QImage::fromData(tiff, "TIFF").save(&buffer, "PNG"))
            png.clear();
    }
    if (!png.isEmpty())
        data->setData(QStringLiteral("image/png"), png);
    if (!tiff.isEmpty())
        data->setData(QStringLiteral("image/tiff"), tiff);
    return data;
}

DragRef HIDragCreateFromMimeData(const QMimeData* data)
{
    if (!data)
        return nullptr;
    DragRef drag = nullptr;
    NewDrag(&drag);
    const QString privateType = QLatin1String(kHIDragPrivateMimeType);
    if (!(data->hasFormat(privateType) && DecodePrivate(data->data(privateType), drag)))
        DecodeStandard(data, drag);
    if (drag->items.empty()) {
        Destroy(drag);
        return nullptr;
    }
    AddTranslatedFlavors(drag);
    return drag;
}

// ---- opting in ----

namespace {

constexpr OSType kToolboxCreator = FourCC("hitb");
constexpr OSType kDragTrackingTag = FourCC("drag");

struct TrackingHandler {
    DragTrackingHandlerUPP proc;
    WindowRef window;  // nil: every window
    void* refCon;
};

std::vector<TrackingHandler>& TrackingHandlers()
{
    static std::vector<TrackingHandler> handlers;
    return handlers;
}

void CallTrackingHandlers(DragTrackingMessage message, WindowRef window, DragRef drag)
{
    for (const TrackingHandler& handler : std::vector<TrackingHandler>(TrackingHandlers()))
        if (!handler.window || handler.window == window)
            handler.proc(message, window, handler.refCon, drag);
}

bool WindowTracks(WindowRef window)
{
    Boolean tracks = false;
    return IsAutomaticControlDragTrackingEnabledForWindow(window, &tracks) == noErr && tracks;
}

bool ViewTracks(HIViewRef view)
{
    Boolean tracks = false;
    return IsControlDragTrackingEnabled(view, &tracks) == noErr && tracks;
}

DragActions ActionFromQt(Qt::DropAction action)
{
    switch (action) {
    case Qt::CopyAction:
        return kDragActionCopy;
    case Qt::MoveAction:
        return kDragActionMove;
    case Qt::LinkAction:
        return kDragActionAlias;
    default:
        return kDragActionNothing;
    }
}

Qt::DropActions ActionsToQt(DragActions actions)
{
    Qt::DropActions result;
    if (actions & (kDragActionCopy | kDragActionGeneric | kDragActionPrivate))
        result |= Qt::CopyAction;
    if (actions & (kDragActionMove | kDragActionDelete))
        result |= Qt::MoveAction;
    if (actions & kDragActionAlias)
        result |= Qt::LinkAction;
    return result ? result : Qt::CopyAction;
}

// A drag over one window: which drag it is (ours, or one made for a drag
// from elsewhere), and which view is tracking it.
class DragReceiver final : public QObject {
public:
    // The class has no meta-object of its own (qobject_cast would take any
    // child for one): a window's receiver is found by its object name.
    static constexpr const char* kName = "brindlet-drag-receiver";

    DragReceiver(WindowRef window, QWidget* widget) : QObject(widget), window_(window) { setObjectName(kName); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
            Enter(static_cast<QDragEnterEvent*>(event));
            return true;
        case QEvent::DragMove:
            Move(static_cast<QDragMoveEvent*>(event));
            return true;
        case QEvent::DragLeave:
            Leave();
            return true;
        case QEvent::Drop:
            Drop(static_cast<QDropEvent*>(event));
            return true;
        default:
            return false;
        }
    }

private:
    void Enter(QDragEnterEvent* event)
    {
        End();
        if (!IsValidWindowPtr(window_) || !WindowTracks(window_)) {
            event->ignore();
            return;
        }
        const auto* ours = dynamic_cast<const DragMimeData*>(event->mimeData());
        drag_ = ours ? ours->Drag() : nullptr;
        if (!drag_) {
            drag_ = HIDragCreateFromMimeData(event->mimeData());
            owned_ = drag_ != nullptr;
        }
        if (!drag_) {
            event->ignore();
            return;
        }
        if (!owned_) {
            drag_->attributes |= kDragInsideSenderApplication;
            if (window_ == drag_->senderWindow)
                drag_->attributes |= kDragInsideSenderWindow;
            else if (drag_->senderWindow)
                drag_->attributes |= kDragHasLeftSenderWindow;
        }
        CallTrackingHandlers(kDragTrackingEnterHandler, window_, drag_);
        CallTrackingHandlers(kDragTrackingEnterWindow, window_, drag_);
        event->acceptProposedAction();
    }

    void Move(QDragMoveEvent* event)
    {
        if (!AsDrag(drag_)) {
            event->ignore();
            return;
        }
        Follow(event->position(), event->modifiers());
        CallTrackingHandlers(kDragTrackingInWindow, window_, drag_);
        if (!AsDrag(drag_))
            return;
        Track();
        event->setAccepted(accepted_);
        if (accepted_)
            event->acceptProposedAction();
    }

    void Leave()
    {
        if (AsDrag(drag_) && view_ && accepted_)
            SendToView(kEventControlDragLeave);
        if (AsDrag(drag_)) {
            CallTrackingHandlers(kDragTrackingLeaveWindow, window_, drag_);
            CallTrackingHandlers(kDragTrackingLeaveHandler, window_, drag_);
            if (!owned_)
                drag_->attributes &= ~DragAttributes(kDragInsideSenderApplication | kDragInsideSenderWindow);
        }
        End();
    }

    void Drop(QDropEvent* event)
    {
        if (!AsDrag(drag_)) {
            event->ignore();
            return;
        }
        Follow(event->position(), event->modifiers());
        drag_->upModifiers = drag_->modifiers;
        Track(false);
        CallTrackingHandlers(kDragTrackingLeaveWindow, window_, drag_);
        CallTrackingHandlers(kDragTrackingLeaveHandler, window_, drag_);
        bool accepted = false;
        if (AsDrag(drag_) && view_ && accepted_) {
            drag_->dropAction = ActionFromQt(event->proposedAction());
            accepted = SendToView(kEventControlDragReceive) == noErr;
        }
        if (accepted) {
            if (AsDrag(drag_)) {
                drag_->dropAccepted = true;
                const Qt::DropActions wanted = ActionsToQt(drag_->dropAction) & event->possibleActions();
                Qt::DropAction chosen = event->proposedAction();
                for (Qt::DropAction action : {Qt::CopyAction, Qt::MoveAction, Qt::LinkAction}) {
                    if (wanted & action) {
                        chosen = action;
                        break;
                    }
                }
                event->setDropAction(chosen);
            }
            event->accept();
        } else {
            event->ignore();
        }
        view_ = nullptr;  // the receive ends the view's tracking
        End();
    }

    // The mouse moved to `local`: the drag's starter may move it again.
    void Follow(QPointF local, Qt::KeyboardModifiers qtModifiers)
    {
        QWidget* widget = HIWindowGetWidget(window_);
        Point mouse = PointFrom(widget ? widget->mapToGlobal(local) : local);
        SInt16 modifiers = SInt16(MacModifiersFromQt(qtModifiers));
        if (drag_->inputProc)
            drag_->inputProc(&mouse, &modifiers, drag_->inputRefCon, drag_);
        if (!AsDrag(drag_))
            return;
        drag_->mouse = mouse;
        drag_->modifiers = modifiers;
    }

    // The deepest view under the mouse that tracks drags; enter, within
    // and leave as it changes.
    // `within`: the view that stays under the mouse hears of the move (a
    // drop at the point of the last move is no move).
    void Track(bool within = true)
    {
        if (!AsDrag(drag_))
            return;
        HIViewRef under = nullptr;
        HIRect content = {};
        if (HIWindowGetBounds(window_, kWindowContentRgn, &content) == noErr) {
            const HIPoint point = {drag_->mouse.h - content.origin.x, drag_->mouse.v - content.origin.y};
            HIViewRef root = HIViewGetRoot(window_);
            HIViewGetSubviewHit(root, &point, true, &under);
            while (under && !ViewTracks(under))
                under = HIViewGetSuperview(under);
        }
        const bool changed = under != view_;
        if (changed) {
            if (view_ && accepted_)
                SendToView(kEventControlDragLeave);
            view_ = under;
            accepted_ = false;
            if (view_ && AsDrag(drag_)) {
                Boolean accepts = false;
                SendToView(kEventControlDragEnter, &accepts);
                accepted_ = accepts;
            }
        }
        if (view_ && accepted_ && AsDrag(drag_) && (within || changed))
            SendToView(kEventControlDragWithin);
    }

    OSStatus SendToView(UInt32 kind, Boolean* wouldAccept = nullptr)
    {
        if (!IsValidControlHandle(view_))
            return eventNotHandledErr;
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassControl, kind, 0, 0, &event);
        HIViewRef view = view_;
        DragRef drag = drag_;
        SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof view, &view);
        SetEventParameter(event, kEventParamDragRef, typeDragRef, sizeof drag, &drag);
        const OSStatus status = SendEventToEventTarget(event, GetControlEventTarget(view));
        if (wouldAccept)
            GetEventParameter(event, kEventParamControlWouldAcceptDrop, typeBoolean, nullptr, sizeof *wouldAccept,
                              nullptr, wouldAccept);
        ReleaseEvent(event);
        return status;
    }

    void End()
    {
        if (owned_ && AsDrag(drag_))
            DisposeDrag(drag_);
        drag_ = nullptr;
        owned_ = false;
        view_ = nullptr;
        accepted_ = false;
    }

    WindowRef window_;
    DragRef drag_ = nullptr;
    bool owned_ = false;
    HIViewRef view_ = nullptr;
    bool accepted_ = false;
};

}  // namespace

OSStatus SetAutomaticControlDragTrackingEnabledForWindow(WindowRef inWindow, Boolean inTracks)
{
    if (!IsValidWindowPtr(inWindow))
        return errInvalidWindowRef;
    const Boolean tracks = inTracks ? 1 : 0;
    const OSStatus status = SetWindowProperty(inWindow, kToolboxCreator, kDragTrackingTag, sizeof tracks, &tracks);
    if (status != noErr)
        return status;
    if (QWidget* widget = HIWindowGetWidget(inWindow)) {
        if (tracks && !widget->findChild<QObject*>(DragReceiver::kName, Qt::FindDirectChildrenOnly))
            widget->installEventFilter(new DragReceiver(inWindow, widget));
        widget->setAcceptDrops(tracks);
    }
    return noErr;
}

OSStatus IsAutomaticControlDragTrackingEnabledForWindow(WindowRef inWindow, Boolean* outTracks)
{
    if (!IsValidWindowPtr(inWindow) || !outTracks)
        return paramErr;
    Boolean tracks = false;
    GetWindowProperty(inWindow, kToolboxCreator, kDragTrackingTag, sizeof tracks, nullptr, &tracks);
    *outTracks = tracks;
    return noErr;
}

OSStatus SetControlDragTrackingEnabled(ControlRef inControl, Boolean inTracks)
{
    if (!IsValidControlHandle(inControl))
        return errUnknownControl;
    const Boolean tracks = inTracks ? 1 : 0;
    return SetControlProperty(inControl, kToolboxCreator, kDragTrackingTag, sizeof tracks, &tracks);
}

OSStatus IsControlDragTrackingEnabled(ControlRef inControl, Boolean* outTracks)
{
    if (!IsValidControlHandle(inControl))
        return errUnknownControl;
    if (!outTracks)
        return paramErr;
    Boolean tracks = false;
    GetControlProperty(inControl, kToolboxCreator, kDragTrackingTag, sizeof tracks, nullptr, &tracks);
    *outTracks = tracks;
    return noErr;
}

OSErr InstallTrackingHandler(DragTrackingHandlerUPP trackingHandler, WindowRef theWindow, void* handlerRefCon)
{
    if (!trackingHandler)
        return paramErr;
    for (const TrackingHandler& handler : TrackingHandlers())
        if (handler.proc == trackingHandler && handler.window == theWindow && handler.refCon == handlerRefCon)
            return duplicateHandlerErr;
    TrackingHandlers().push_back({trackingHandler, theWindow, handlerRefCon});
    return noErr;
}

OSErr RemoveTrackingHandler(DragTrackingHandlerUPP trackingHandler, WindowRef theWindow)
{
    auto& handlers = TrackingHandlers();
    const auto found = std::find_if(handlers.begin(), handlers.end(), [&](const TrackingHandler& handler) {
        return handler.proc == trackingHandler && handler.window == theWindow;
    });
    if (found == handlers.end())
        return handlerNotFoundErr;
    handlers.erase(found);
    return noErr;
}

// ---- tracking ----

namespace {

HIDragCarrier& Carrier()
{
    static HIDragCarrier carrier;
    return carrier;
}

}  // namespace

void HIDragSetCarrier(HIDragCarrier carrier)
{
    Carrier() = std::move(carrier);
}

Qt::DropAction HIDragCarry(const QMimeData* data, const std::vector<HIPoint>& path, bool drop,
                           Qt::KeyboardModifiers modifiers)
{
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QPointer<QWidget> over;
    bool entered = false;
    auto leave = [&] {
        if (over && entered) {
            QDragLeaveEvent left;
            QCoreApplication::sendEvent(over, &left);
        }
        over = nullptr;
        entered = false;
    };
    for (size_t step = 0; step < path.size(); ++step) {
        const HIPoint global = path[step];
        WindowRef window = nullptr;
        FindWindow(PointFrom(QPointF(global.x, global.y)), &window);
        QWidget* widget = window ? HIWindowGetWidget(window) : nullptr;
        if (widget && !widget->acceptDrops())
            widget = nullptr;
        if (widget != over) {
            leave();
            over = widget;
            if (over) {
                const QPointF local = over->mapFromGlobal(QPointF(global.x, global.y));
                QDragEnterEvent enter(local.toPoint(), actions, data, Qt::LeftButton, modifiers);
                QCoreApplication::sendEvent(over, &enter);
                entered = enter.isAccepted();
            }
        }
        if (!over || !entered)
            continue;
        const QPointF local = over->mapFromGlobal(QPointF(global.x, global.y));
        QDragMoveEvent move(local.toPoint(), actions, data, Qt::LeftButton, modifiers);
        QCoreApplication::sendEvent(over, &move);
        if (step + 1 == path.size() && drop) {
            QDropEvent dropped(local, actions, data, Qt::NoButton, modifiers);
            QCoreApplication::sendEvent(over, &dropped);
            over = nullptr;
            entered = false;
            if (dropped.isAccepted())
                return dropped.dropAction();
        }
    }
    leave();
    return Qt::IgnoreAction;
}

OSErr TrackDrag(DragRef theDrag, const EventRecord* theEvent, RgnHandle)
{
    DragRef drag = AsDrag(theDrag);
    if (!drag)
        return badDragRefErr;
    if (!theEvent)
        return paramErr;
    if (drag->tracking)
        return duplicateHandlerErr;
    drag->origin = drag->mouse = theEvent->where;
    drag->modifiers = drag->downModifiers = SInt16(theEvent->modifiers);
    drag->attributes = 0;
    drag->dropAccepted = false;
    drag->dropAction = kDragActionNothing;
    WindowRef sender = nullptr;
    FindWindow(theEvent->where, &sender);
    drag->senderWindow = sender;
    drag->tracking = true;
    AddTranslatedFlavors(drag);

    auto* data = static_cast<DragMimeData*>(HIDragCreateMimeData(drag));
    Qt::DropAction action = Qt::IgnoreAction;
    if (Carrier()) {
        action = Carrier()(data);
        delete data;
    } else if (qobject_cast<QApplication*>(QCoreApplication::instance()) &&
               QGuiApplication::mouseButtons() != Qt::NoButton) {
        QWidget* source = sender ? HIWindowGetWidget(sender) : nullptr;
        QPointer<QDrag> qtDrag = new QDrag(source ? static_cast<QObject*>(source) : QCoreApplication::instance());
        qtDrag->setMimeData(data);
        if (drag->image) {
            qtDrag->setPixmap(QPixmap::fromImage(CGImageGetQImage(drag->image)));
            qtDrag->setHotSpot(QPoint(int(-drag->imageOffset.x), int(-drag->imageOffset.y)));
        }
        action = qtDrag->exec(ActionsToQt(drag->allowable), Qt::CopyAction);
        if (qtDrag) {
            data->Forget();
            qtDrag->deleteLater();
        }
    } else {
        delete data;
    }

    drag->tracking = false;
    // A drop on another program is accepted by its answer; one on ours by
    // the view that received it.
    const bool accepted = drag->dropAccepted || action != Qt::IgnoreAction;
    if (accepted && drag->dropAction == kDragActionNothing)
        drag->dropAction = ActionFromQt(action);
    if (drag->disposeAfterTracking)
        Destroy(drag);
    return accepted ? noErr : userCanceledErr;
}
