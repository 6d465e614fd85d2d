#include "LaunchServices.h"

#include "FilesInternal.h"
#include "UTType.h"

#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFStringUTF8.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>

#include <cctype>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace FilesInternal;

namespace {

constexpr const char* kFileManagerService = "org.freedesktop.FileManager1";
constexpr const char* kFileManagerPath = "/org/freedesktop/FileManager1";

bool DefaultOpenURL(const std::string& url)
{
    const QUrl qurl = QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::StrictMode);
    if (!qurl.isValid())
        return false;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QDesktopServices::openUrl(qurl);
    // The URL is one argument of its own: nothing in it is read by a shell,
    // and it begins with its scheme, so it cannot pass for an option.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromStdString(url)});
}

bool DefaultLaunchProgram(const std::string& program)
{
    return QProcess::startDetached(QString::fromStdString(program), {});
}

struct Launchers {
    std::mutex mutex;
    LSLauncher current;
};

Launchers& CurrentLaunchers()
{
    static auto* launchers = new Launchers;
    return *launchers;
}

bool OpenURL(const std::string& url)
{
    std::function<bool(const std::string&)> open;
    {
        Launchers& launchers = CurrentLaunchers();
        std::lock_guard lock(launchers.mutex);
        open = launchers.current.openURL;
    }
    return open ? open(url) : DefaultOpenURL(url);
}

bool LaunchProgram(const std::string& program)
{
    std::function<bool(const std::string&)> launch;
    {
        Launchers& launchers = CurrentLaunchers();
        std::lock_guard lock(launchers.mutex);
        launch = launchers.current.launchProgram;
    }
    return launch ? launch(program) : DefaultLaunchProgram(program);
}

std::string FileURL(const std::string& path)
{
    const QByteArray bytes = QByteArray::fromStdString(path);
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() == bytes)
        return QUrl::fromLocalFile(text).toEncoded(QUrl::FullyEncoded).toStdString();
    // A name that is not UTF-8 would come back from a QString as other
    // bytes, naming another file: its bytes are escaped as they are.
    return "file://" + bytes.toPercentEncoding("/").toStdString();
}

std::string ExtensionOf(const std::string& name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size())
        return {};
    const std::string extension = name.substr(dot + 1);
    return extension.find(' ') == std::string::npos ? extension : std::string();
}

CFStringRef NewString(const std::string& utf8)
{
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(text.utf16()), text.size());
}

bool IsPackageExtension(const std::string& extension)
{
    if (extension.empty())
        return false;
    CFStringRef tag = NewString(extension);
    CFStringRef identifier = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, tag, nullptr);
    const bool package = identifier && UTTypeConformsTo(identifier, CFSTR("com.apple.package"));
    if (identifier)
        CFRelease(identifier);
    CFRelease(tag);
    return package;
}

// Asks the file manager on the session bus to show the item, when one
// runs there or the bus can start one. The call is not waited for.
bool ShowInFileManager(const std::string& uri)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusConnectionInterface* daemon = bus.interface();
    const QString service = QString::fromLatin1(kFileManagerService);
    bool available = daemon->isServiceRegistered(service).value();
    if (!available) {
        const QDBusMessage reply = daemon->call(QStringLiteral("ListActivatableNames"));
        available = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
                    reply.arguments().first().toStringList().contains(service);
    }
    if (!available)
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(service, QString::fromLatin1(kFileManagerPath), service,
                                                       QStringLiteral("ShowItems"));
    call << QStringList{QString::fromStdString(uri)} << QString();
    return bus.send(call);
}

}  // namespace

OSStatus LSCopyItemInfoForRef(const FSRef* inItemRef, LSRequestedInfo inWhichInfo, LSItemInfoRecord* outItemInfo)
{
    if (outItemInfo == nullptr)
        return paramErr;
    std::memset(outItemInfo, 0, sizeof *outItemInfo);
    struct stat info;
    if (const OSErr status = StatRef(inItemRef, &info))
        return status;
    const std::string name = LastComponent(inItemRef->path);
    const std::string extension = ExtensionOf(name);
    if (inWhichInfo & kLSRequestExtension)
        outItemInfo->extension = extension.empty() ? nullptr : NewString(extension);
    LSItemInfoFlags flags = 0;
    if (S_ISLNK(info.st_mode))
        flags |= kLSItemInfoIsSymlink | kLSItemInfoIsAliasFile;
    if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode))
        flags |= kLSItemInfoIsPlainFile;
    if (S_ISDIR(info.st_mode)) {
        if (IsPackageExtension(extension))
            flags |= kLSItemInfoIsPackage;
        else
            flags |= kLSItemInfoIsContainer;
        if (extension == "app")
            flags |= kLSItemInfoIsApplication;
    } else if (S_ISREG(info.st_mode) && (info.st_mode & 0111)) {
        flags |= kLSItemInfoIsApplication;
    }
    if (name.size() > 1 && name[0] == '.')
        flags |= kLSItemInfoIsInvisible;
    outItemInfo->flags = flags;
    if (inWhichInfo & kLSRequestTypeCreator) {
        FSCatalogInfo catalog;
        if (FSGetCatalogInfo(inItemRef, kFSCatInfoFinderInfo, &catalog, nullptr, nullptr, nullptr) == noErr) {
            FileInfo finder;
            std::memcpy(&finder, catalog.finderInfo, sizeof finder);
            outItemInfo->filetype = finder.fileType;
            outItemInfo->creator = finder.fileCreator;
        }
    }
    return noErr;
}

OSStatus LSCopyDisplayNameForRef(const FSRef* inRef, CFStringRef* outDisplayName)
{
    if (outDisplayName == nullptr)
        return paramErr;
    *outDisplayName = nullptr;
    struct stat info;
    if (const OSErr status = StatRef(inRef, &info))
        return status;
    *outDisplayName = NewString(LastComponent(inRef->path));
    return noErr;
}

OSStatus LSOpenCFURLRef(CFURLRef inURL, CFURLRef* outLaunchedURL)
{
    if (outLaunchedURL)
        *outLaunchedURL = nullptr;
    if (inURL == nullptr || CFGetTypeID(inURL) != CFURLGetTypeID())
        return paramErr;
    CFURLRef absolute = CFURLCopyAbsoluteURL(inURL);
    if (absolute == nullptr)
        return paramErr;
    CFStringRef scheme = CFURLCopyScheme(absolute);
    CFStringRef text = CFURLGetString(absolute);
    const CFIndex length = CFStringGetLength(text);
    std::u16string units(static_cast<size_t>(length), u'\0');
    CFStringGetCharacters(text, CFRangeMake(0, length), reinterpret_cast<UniChar*>(units.data()));
    CFRelease(absolute);
    const bool hasScheme = scheme != nullptr && CFStringGetLength(scheme) > 0;
    if (scheme)
        CFRelease(scheme);
    if (!hasScheme)
        return paramErr;
    for (char16_t unit : units) {
        if (unit < 0x20 || unit == 0x7F)
            return paramErr;
    }
    const std::string url = QString::fromStdU16String(units).toStdString();
    return OpenURL(url) ? noErr : kLSApplicationNotFoundErr;
}

OSStatus LSOpenFSRef(const FSRef* inRef, FSRef* outLaunchedRef)
{
    struct stat info;
    if (const OSErr status = StatRef(inRef, &info))
        return status;
    struct stat target;
    const bool program = stat(inRef->path, &target) == 0 && S_ISREG(target.st_mode) && access(inRef->path, X_OK) == 0;
    const bool opened = program ? LaunchProgram(inRef->path) : OpenURL(FileURL(inRef->path));
    if (!opened)
        return kLSApplicationNotFoundErr;
    if (outLaunchedRef)
        *outLaunchedRef = *inRef;
    return noErr;
}

OSStatus LSRevealFSRef(const FSRef* inRef)
{
    struct stat info;
    if (const OSErr status = StatRef(inRef, &info))
        return status;
    const std::string path(inRef->path);
    if (ShowInFileManager(FileURL(path)))
        return noErr;
    return OpenURL(FileURL(ParentPath(path))) ? noErr : kLSApplicationNotFoundErr;
}

void LSSetLauncher(const LSLauncher* launcher)
{
    Launchers& launchers = CurrentLaunchers();
    std::lock_guard lock(launchers.mutex);
    launchers.current = launcher ? *launcher : LSLauncher{};
}

namespace {

LSRolesMask RoleOf(CFDictionaryRef type)
{
    CFTypeRef role = CFDictionaryGetValue(type, CFSTR("CFBundleTypeRole"));
    if (role == nullptr || CFGetTypeID(role) != CFStringGetTypeID())
        return kLSRolesEditor;
    const std::string text = CFStringToUTF8(static_cast<CFStringRef>(role));
    if (text == "Viewer")
        return kLSRolesViewer;
    if (text == "Shell")
        return kLSRolesShell;
    if (text == "None")
        return kLSRolesNone;
    return kLSRolesEditor;
}

// Whether a string of the array under `key` satisfies `match`.
template <typename Match>
bool ListsMatch(CFDictionaryRef type, CFStringRef key, Match match)
{
    CFTypeRef list = CFDictionaryGetValue(type, key);
    if (list == nullptr || CFGetTypeID(list) != CFArrayGetTypeID())
        return false;
    for (CFIndex i = 0; i < CFArrayGetCount(static_cast<CFArrayRef>(list)); ++i) {
        CFTypeRef value = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(list), i);
        if (value != nullptr && CFGetTypeID(value) == CFStringGetTypeID() &&
            match(CFStringToUTF8(static_cast<CFStringRef>(value))))
            return true;
    }
    return false;
}

std::string Lowered(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

OSStatus LSCanRefAcceptItem(const FSRef* inItemFSRef, const FSRef* inTargetRef, LSRolesMask inRoleMask,
                            LSAcceptanceFlags, Boolean* outAcceptsItem)
{
    if (inItemFSRef == nullptr || inTargetRef == nullptr || outAcceptsItem == nullptr)
        return paramErr;
    struct stat item;
    if (const OSErr status = FilesInternal::StatRef(inItemFSRef, &item))
        return status;
    struct stat target;
    if (const OSErr status = FilesInternal::StatRef(inTargetRef, &target))
        return status;
    CFURLRef url = CFURLCreateFromFSRef(nullptr, inTargetRef);
    CFBundleRef bundle = url ? CFBundleCreate(nullptr, url) : nullptr;
    if (url)
        CFRelease(url);
    bool accepts = false;
    if (bundle != nullptr) {
        const bool folder = S_ISDIR(item.st_mode);
        const std::string name = FilesInternal::LastComponent(inItemFSRef->path);
        const std::string extension = Lowered(ExtensionOf(name));
        CFTypeRef types = CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("CFBundleDocumentTypes"));
        if (types != nullptr && CFGetTypeID(types) == CFArrayGetTypeID()) {
            for (CFIndex i = 0; !accepts && i < CFArrayGetCount(static_cast<CFArrayRef>(types)); ++i) {
                CFTypeRef type = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(types), i);
                if (type == nullptr || CFGetTypeID(type) != CFDictionaryGetTypeID())
                    continue;
                CFDictionaryRef entry = static_cast<CFDictionaryRef>(type);
                if ((RoleOf(entry) & inRoleMask) == 0)
                    continue;
                if (folder) {
                    accepts = ListsMatch(entry, CFSTR("CFBundleTypeOSTypes"),
                                         [](const std::string& code) { return code == "fold"; });
                } else {
                    accepts = ListsMatch(entry, CFSTR("CFBundleTypeExtensions"), [&](const std::string& listed) {
                        return listed == "*" || (!extension.empty() && Lowered(listed) == extension);
                    });
                }
            }
        }
        CFRelease(bundle);
    }
    *outAcceptsItem = accepts;
    return noErr;
}
