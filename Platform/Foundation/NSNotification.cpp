#include "NSNotification.h"

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <Support/Diagnostics.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

// ---- NSNotification ----

NSNotification::NSNotification(NSString* name, NSObject* object, CFDictionaryRef userInfo)
    : name_(name ? static_cast<NSString*>(name->retain()) : nullptr), object_(object ? object->retain() : nullptr),
      userInfo_(userInfo ? static_cast<CFDictionaryRef>(CFRetain(userInfo)) : nullptr)
{}

NSNotification::~NSNotification()
{
    if (name_)
        name_->release();
    if (object_)
        object_->release();
    if (userInfo_)
        CFRelease(userInfo_);
}

NSNotification* NSNotification::notificationWithName(NSString* name, NSObject* object, CFDictionaryRef userInfo)
{
    return NSAutorelease(new NSNotification(name, object, userInfo));
}

// ---- NSNotificationCenter ----

// Counted, so that a delivery walking its snapshot keeps a registration
// that a handler removes meanwhile.
struct NSNotificationCenter::Registration {
    const void* observer;
    Handler handler;
    NSString* name;    // retained; nil: any name
    NSObject* object;  // not retained, compared by address; nil: any object
    std::atomic<int> references{1};
    std::atomic<bool> removed{false};

    void Retain() { references.fetch_add(1, std::memory_order_relaxed); }
    void Release()
    {
        if (references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            if (name)
                name->release();
            delete this;
        }
    }
    bool Matches(const NSString* postedName, const NSObject* postedObject) const
    {
        return (name == nullptr || name->isEqualToString(postedName)) && (object == nullptr || object == postedObject);
    }
};

namespace {

// One lock for the registrations of every center: they are only touched
// briefly, never while a handler runs.
std::mutex& CentersMutex()
{
    static std::mutex mutex;
    return mutex;
}

// ---- the workspace's mount watch ----
//
// The kernel marks /proc/self/mountinfo with POLLPRI (and POLLERR) when the
// mount table changes, so a socket notifier of the exception kind wakes
// the main loop for it; each change is read whole and compared with the
// previous reading. It runs only while the workspace center has observers
// and an application (whose loop it needs) exists; an application's end
// stops it, and the next application resumes it.

const char kMountInfoPath[] = "/proc/self/mountinfo";

struct MountWatch {
    bool wanted = false;  // guarded by CentersMutex
    // The rest belongs to the main thread.
    int fd = -1;
    QSocketNotifier* notifier = nullptr;
    std::string table;
    bool stopsWithApplication = false;
};

MountWatch& TheMountWatch()
{
    static auto* watch = new MountWatch;
    return *watch;
}

bool ReadMountTable(int fd, std::string* table)
{
    if (lseek(fd, 0, SEEK_SET) < 0)
        return false;
    table->clear();
    char buffer[16384];
    for (;;) {
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        if (count == 0)
            return true;
        table->append(buffer, static_cast<size_t>(count));
    }
}

void PostMountChange(const char* notificationName, const std::string& mountPoint)
{
    CFRef<CFStringRef> path(CFStringCreateWithUTF8OrMacRoman(mountPoint));
    const void* keys[] = {CFSTR("NSDevicePath")};
    const void* values[] = {path.get()};
    CFRef<CFDictionaryRef> userInfo(
        CFDictionaryCreate(nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    NSString* name = NSString::newWithUTF8String(notificationName);
    NSNotificationCenter::workspaceCenter()->postNotificationName(name, nullptr, userInfo);
    name->release();
}

void MountTableChanged()
{
    MountWatch& watch = TheMountWatch();
    std::string table;
    if (watch.fd < 0 || !ReadMountTable(watch.fd, &table))
        return;
    const NSWorkspaceMountChanges changes = NSWorkspaceCompareMountTables(watch.table, table);
    watch.table = std::move(table);
    // Called from the loop: nothing may unwind through it.
    try {
        for (const std::string& mountPoint : changes.unmounted)
            PostMountChange(NSWorkspaceDidUnmountNotification, mountPoint);
        for (const std::string& mountPoint : changes.mounted)
            PostMountChange(NSWorkspaceDidMountNotification, mountPoint);
    } catch (...) {
        Diagnostics::ReportException("NSWorkspace mount watch");
    }
}

void StopWatchingMounts()
{
    MountWatch& watch = TheMountWatch();
    delete watch.notifier;
    watch.notifier = nullptr;
    if (watch.fd >= 0)
        close(watch.fd);
    watch.fd = -1;
    watch.table.clear();
}

void StopWatchingMountsWithTheApplication()
{
    TheMountWatch().stopsWithApplication = false;
    StopWatchingMounts();
}

void StartWatchingMounts()
{
    MountWatch& watch = TheMountWatch();
    if (watch.notifier)
        return;
    watch.fd = open(kMountInfoPath, O_RDONLY | O_CLOEXEC);
    if (watch.fd < 0 || !ReadMountTable(watch.fd, &watch.table)) {
        Diagnostics::WriteLine(std::string("Warning: Volumes mounted and unmounted cannot be watched: ") +
                               std::strerror(errno) + ".");
        StopWatchingMounts();
        return;
    }
    watch.notifier = new QSocketNotifier(watch.fd, QSocketNotifier::Exception);
    QObject::connect(watch.notifier, &QSocketNotifier::activated, watch.notifier, [] { MountTableChanged(); });
    // The notifier lives in the application's event dispatcher, which goes
    // with the application.
    if (!watch.stopsWithApplication) {
        watch.stopsWithApplication = true;
        qAddPostRoutine(&StopWatchingMountsWithTheApplication);
    }
}

// On the main thread, with an application.
void ApplyMountWatch()
{
    bool wanted;
    {
        std::lock_guard lock(CentersMutex());
        wanted = TheMountWatch().wanted;
    }
    if (wanted)
        StartWatchingMounts();
    else
        StopWatchingMounts();
}

void UpdateMountWatch(bool wanted)
{
    {
        std::lock_guard lock(CentersMutex());
        TheMountWatch().wanted = wanted;
    }
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr)
        return;  // the application starts it as it is made
    if (NSIsMainThread())
        ApplyMountWatch();
    else
        QMetaObject::invokeMethod(
            application, [] { ApplyMountWatch(); }, Qt::QueuedConnection);
}

void WatchMountsWithTheApplication()
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { ApplyMountWatch(); }, Qt::QueuedConnection);
}

// Mount points escape space, tab, newline and backslash as octal "\ooo".
std::string UnescapeMountPoint(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// (mount ID, mount point) of each well-formed line, in table order.
std::vector<std::pair<std::string, std::string>> ReadMounts(std::string_view table)
{
    std::vector<std::pair<std::string, std::string>> mounts;
    while (!table.empty()) {
        const size_t end = std::min(table.find('\n'), table.size());
        std::string_view line = table.substr(0, end);
        table.remove_prefix(std::min(end + 1, table.size()));
        // ID, parent ID, major:minor, root, mount point, ...
        std::string_view fields[5];
        size_t count = 0;
        while (count < 5 && !line.empty()) {
            const size_t space = std::min(line.find(' '), line.size());
            fields[count++] = line.substr(0, space);
            line.remove_prefix(std::min(space + 1, line.size()));
        }
        if (count < 5 || fields[0].empty() || fields[4].empty() ||
            !std::all_of(fields[0].begin(), fields[0].end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        mounts.emplace_back(std::string(fields[0]), UnescapeMountPoint(fields[4]));
    }
    return mounts;
}

}  // namespace

NSWorkspaceMountChanges NSWorkspaceCompareMountTables(std::string_view before, std::string_view after)
{
    const auto old = ReadMounts(before);
    const auto now = ReadMounts(after);
    const std::set<std::pair<std::string, std::string>> oldSet(old.begin(), old.end());
    const std::set<std::pair<std::string, std::string>> nowSet(now.begin(), now.end());
    NSWorkspaceMountChanges changes;
    for (const auto& mount : now)
        if (!oldSet.contains(mount))
            changes.mounted.push_back(mount.second);
    for (const auto& mount : old)
        if (!nowSet.contains(mount))
            changes.unmounted.push_back(mount.second);
    return changes;
}

NSNotificationCenter* NSNotificationCenter::defaultCenter()
{
    static NSNotificationCenter* const center = new NSNotificationCenter;
    return center;
}

NSNotificationCenter* NSNotificationCenter::workspaceCenter()
{
    static NSNotificationCenter* const center = [] {
        auto* workspace = new NSNotificationCenter;
        workspace->workspace_ = true;
        return workspace;
    }();
    return center;
}

NSNotificationCenter::~NSNotificationCenter()
{
    for (Registration* registration : registrations_) {
        registration->removed = true;
        registration->Release();
    }
}

void NSNotificationCenter::addObserver(const void* observer, Handler handler, NSString* name, NSObject* object)
{
    if (!handler)
        return;
    auto* registration =
        new Registration{observer, std::move(handler), name ? static_cast<NSString*>(name->retain()) : nullptr, object};
    {
        std::lock_guard lock(CentersMutex());
        registrations_.push_back(registration);
    }
    ObserversChanged();
}

void NSNotificationCenter::removeObserver(const void* observer, NSString* name, NSObject* object)
{
    std::vector<Registration*> removed;
    {
        std::lock_guard lock(CentersMutex());
        std::erase_if(registrations_, [&](Registration* r) {
            const bool matches = r->observer == observer && (name == nullptr || name->isEqualToString(r->name)) &&
                                 (object == nullptr || r->object == object);
            if (matches) {
                r->removed = true;
                removed.push_back(r);
            }
            return matches;
        });
    }
    for (Registration* registration : removed)
        registration->Release();
    ObserversChanged();
}

void NSNotificationCenter::postNotification(NSNotification* notification)
{
    if (notification == nullptr)
        return;
    // Holds the notification and the snapshot until the delivery is over,
    // however it ends.
    struct Delivery {
        NSNotification* notification;
        std::vector<Registration*> snapshot;
        ~Delivery()
        {
            for (Registration* registration : snapshot)
                registration->Release();
            notification->release();
        }
    } delivery{static_cast<NSNotification*>(notification->retain()), {}};
    {
        std::lock_guard lock(CentersMutex());
        for (Registration* registration : registrations_)
            if (registration->Matches(notification->name(), notification->object())) {
                registration->Retain();
                delivery.snapshot.push_back(registration);
            }
    }
    // Handlers added meanwhile wait for the next notification; handlers
    // removed meanwhile hear no more of this one.
    for (Registration* registration : delivery.snapshot)
        if (!registration->removed)
            registration->handler(notification);
}

void NSNotificationCenter::postNotificationName(NSString* name, NSObject* object, CFDictionaryRef userInfo)
{
    // A pool of its own, so that the notification goes as soon as it has
    // been delivered, whichever thread posts.
    struct Pool {
        NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
        ~Pool() { pool->drain(); }
    } pool;
    postNotification(NSNotification::notificationWithName(name, object, userInfo));
}

void NSNotificationCenter::ObserversChanged()
{
    if (!workspace_)
        return;
    bool observed;
    {
        std::lock_guard lock(CentersMutex());
        observed = !registrations_.empty();
    }
    UpdateMountWatch(observed);
}

Q_COREAPP_STARTUP_FUNCTION(WatchMountsWithTheApplication)
