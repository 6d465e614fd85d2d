#include "IconServices.h"

#include "FilesInternal.h"

#include <CoreGraphics/CGImageQt.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>

#include <QImageReader>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>

struct OpaqueIconRef {
    // An icon registered from a file draws that file's image.
    std::string imagePath;
    std::string themeName;
    std::string fallbackName;
    bool folder = false;
    std::atomic<int> count{1};
    // A registered image decoded once per size asked for: icons are drawn
    // in every row of every list, their files read only the first time.
    std::mutex decodedMutex;
    std::map<int, CGImageRef> decoded;

    OpaqueIconRef() = default;
    OpaqueIconRef(const OpaqueIconRef&) = delete;
    OpaqueIconRef& operator=(const OpaqueIconRef&) = delete;
    ~OpaqueIconRef()
    {
        for (const auto& [size, image] : decoded)
            CGImageRelease(image);
    }
};

namespace {

struct LiveIcons {
    std::mutex mutex;
    std::set<const OpaqueIconRef*> icons;
    // Icons registered by creator and type, each holding one count.
    std::map<std::pair<OSType, OSType>, IconRef> registered;
};

LiveIcons& Icons()
{
    static auto* live = new LiveIcons;
    return *live;
}

IconRef NewIcon(std::string themeName, std::string fallbackName, bool folder)
{
    auto* icon = new OpaqueIconRef;
    icon->themeName = std::move(themeName);
    icon->fallbackName = std::move(fallbackName);
    icon->folder = folder;
    LiveIcons& live = Icons();
    std::lock_guard lock(live.mutex);
    live.icons.insert(icon);
    return icon;
}

struct SystemIcon {
    OSType type;
    const char* themeName;
};

const SystemIcon kSystemIcons[] = {
    {kGenericDocumentIcon, "text-x-generic"},
    {kGenericFolderIcon, "folder"},
    {kGenericApplicationIcon, "application-x-executable"},
    {kGenericURLIcon, "text-html"},
    {kInternetLocationHTTPIcon, "text-html"},
    {kTrashIcon, "user-trash"},
    {kFullTrashIcon, "user-trash-full"},
    {kAlertCautionIcon, "dialog-warning"},
    {kAlertNoteIcon, "dialog-information"},
    {kAlertStopIcon, "dialog-error"},
    {kNoWriteIcon, "emblem-readonly"},
    {kLockedIcon, "changes-prevent"},
    {kHelpIcon, "help-browser"},
    {kClipboardIcon, "edit-paste"},
};

// A page with a folded corner, or a folder: something recognisable where
// no icon theme can be asked.
QImage DrawPlaceholder(int size, bool folder)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = size / 16.0;
    painter.setPen(QPen(QColor(96, 96, 96), std::max<qreal>(1.0, unit * 0.75)));
    if (folder) {
        painter.setBrush(QColor(120, 160, 220));
        QPainterPath shape;
        shape.moveTo(1 * unit, 3 * unit);
        shape.lineTo(6 * unit, 3 * unit);
        shape.lineTo(7.5 * unit, 4.5 * unit);
        shape.lineTo(15 * unit, 4.5 * unit);
        shape.lineTo(15 * unit, 14 * unit);
        shape.lineTo(1 * unit, 14 * unit);
        shape.closeSubpath();
        painter.drawPath(shape);
    } else {
        painter.setBrush(Qt::white);
        QPainterPath page;
        page.moveTo(3 * unit, 1 * unit);
        page.lineTo(10 * unit, 1 * unit);
        page.lineTo(13 * unit, 4 * unit);
        page.lineTo(13 * unit, 15 * unit);
        page.lineTo(3 * unit, 15 * unit);
        page.closeSubpath();
        painter.drawPath(page);
        painter.drawLine(QPointF(10 * unit, 1 * unit), QPointF(10 * unit, 4 * unit));
        painter.drawLine(QPointF(10 * unit, 4 * unit), QPointF(13 * unit, 4 * unit));
    }
    return image;
}

}  // namespace

OSErr GetIconRef(SInt16, OSType creator, OSType iconType, IconRef* theIconRef)
{
    if (theIconRef == nullptr)
        return paramErr;
    {
        LiveIcons& live = Icons();
        std::lock_guard lock(live.mutex);
        const auto found = live.registered.find({creator, iconType});
        if (found != live.registered.end()) {
            ++found->second->count;
            *theIconRef = found->second;
            return noErr;
        }
    }
    if (creator != kSystemIconsCreator && creator != 0)
        return noSuchIconErr;
    const char* name = "text-x-generic";
    for (const SystemIcon& icon : kSystemIcons) {
        if (icon.type == iconType)
            name = icon.themeName;
    }
    *theIconRef = NewIcon(name, "text-x-generic", iconType == kGenericFolderIcon);
    return noErr;
}

OSStatus GetIconRefFromFileInfo(const FSRef* inRef, UniCharCount, const UniChar*, FSCatalogInfoBitmap,
                                const FSCatalogInfo*, IconServicesUsageFlags, IconRef* outIconRef, SInt16* outLabel)
{
    if (outIconRef == nullptr)
        return paramErr;
    *outIconRef = nullptr;
    if (outLabel)
        *outLabel = 0;
    struct stat info;
    if (const OSErr status = FilesInternal::StatRef(inRef, &info))
        return status;
    const std::string name = FilesInternal::LastComponent(inRef->path);
    if (S_ISDIR(info.st_mode)) {
        const bool application = name.size() > 4 && name.compare(name.size() - 4, 4, ".app") == 0;
        *outIconRef =
            application ? NewIcon("application-x-executable", "folder", false) : NewIcon("folder", "folder", true);
        return noErr;
    }
    static std::mutex databaseMutex;
    std::lock_guard lock(databaseMutex);
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromUtf8(inRef->path));
    *outIconRef = NewIcon(type.iconName().toStdString(), type.genericIconName().toStdString(), false);
    return noErr;
}

OSStatus RegisterIconRefFromFSRef(OSType creator, OSType iconType, const FSRef* iconFile, IconRef* theIconRef)
{
    if (iconFile == nullptr || theIconRef == nullptr)
        return paramErr;
    struct stat info;
    if (const OSErr status = FilesInternal::StatRef(iconFile, &info))
        return status;
    if (!S_ISREG(info.st_mode))
        return invalidIconRefErr;
    IconRef icon = NewIcon("text-x-generic", "text-x-generic", false);
    icon->imagePath = iconFile->path;
    LiveIcons& live = Icons();
    std::lock_guard lock(live.mutex);
    IconRef& slot = live.registered[{creator, iconType}];
    // The registration holds one count and the caller gets another.
    if (slot != nullptr && --slot->count == 0) {
        live.icons.erase(slot);
        delete slot;
    }
    slot = icon;
    ++icon->count;
    *theIconRef = icon;
    return noErr;
}

OSErr AcquireIconRef(IconRef theIconRef)
{
    if (!IsValidIconRef(theIconRef))
        return paramErr;
    theIconRef->count.fetch_add(1);
    return noErr;
}

OSErr ReleaseIconRef(IconRef theIconRef)
{
    LiveIcons& live = Icons();
    std::lock_guard lock(live.mutex);
    if (live.icons.count(theIconRef) == 0)
        return paramErr;
    if (theIconRef->count.fetch_sub(1) == 1) {
        live.icons.erase(theIconRef);
        delete theIconRef;
    }
    return noErr;
}

Boolean IsValidIconRef(IconRef theIconRef)
{
    LiveIcons& live = Icons();
    std::lock_guard lock(live.mutex);
    return live.icons.count(theIconRef) == 1;
}

CFStringRef IconRefCopyThemeName(IconRef icon)
{
    if (!IsValidIconRef(icon))
        return nullptr;
    return CFStringCreateWithCString(nullptr, icon->themeName.c_str(), kCFStringEncodingUTF8);
}

CGImageRef IconRefCreateCGImage(IconRef icon, size_t pixels, Boolean* isPlaceholder)
{
    if (isPlaceholder)
        *isPlaceholder = false;
    if (!IsValidIconRef(icon) || pixels == 0 || pixels > 4096)
        return nullptr;
    const int size = static_cast<int>(pixels);
    if (!icon->imagePath.empty()) {
        std::lock_guard lock(icon->decodedMutex);
        if (const auto cached = icon->decoded.find(size); cached != icon->decoded.end())
            return CGImageRetain(cached->second);
        QImageReader reader(QString::fromStdString(icon->imagePath));
        reader.setScaledSize(QSize(size, size));
        const QImage read = reader.read();
        if (!read.isNull()) {
            CGImageRef image = CGImageCreateWithQImage(read.convertToFormat(QImage::Format_ARGB32_Premultiplied));
            if (image != nullptr)
                icon->decoded[size] = CGImageRetain(image);
            return image;
        }
    }
    // The icon theme is part of the GUI platform: without a GUI application
    // there is none to ask.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QIcon themed = QIcon::fromTheme(QString::fromStdString(icon->themeName),
                                        QIcon::fromTheme(QString::fromStdString(icon->fallbackName)));
        if (!themed.isNull()) {
            const QImage drawn = themed.pixmap(size, size).toImage();
            if (!drawn.isNull()) {
                // Themes may answer a smaller or oblong image: centre it on
                // a square of the size asked for.
                QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
                image.fill(Qt::transparent);
                const QImage fitted = drawn.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
                QPainter(&image).drawImage((size - fitted.width()) / 2, (size - fitted.height()) / 2, fitted);
                return CGImageCreateWithQImage(image);
            }
        }
    }
    if (isPlaceholder)
        *isPlaceholder = true;
    return CGImageCreateWithQImage(DrawPlaceholder(size, icon->folder));
}
