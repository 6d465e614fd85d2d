#include "CFNotificationCenter.h"

#include "CFPropertyList.h"
#include "CFRuntime.h"
#include "CFStringInternal.h"

#include <CoreFoundation/CFRef.h>
#include <Support/Diagnostics.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>

#include <atomic>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <unistd.h>

namespace {

// The one signal that carries distributed notifications between our
// processes: (name, object, user info) as (s, s, ay). The object is empty
// for none; the user info is an XML property list, empty for none.
constexpr char kBusPath[] = "/org/brindlet/Notifications";
constexpr char kBusInterface[] = "org.brindlet.Notifications";
constexpr char kBusMember[] = "Posted";
constexpr char kBusSignature[] = "ssay";

// Names and objects are short identifiers; anything longer is not ours.
constexpr CFIndex kMaxStringLength = 4096;  // UTF-16 units
// Notifications carry small dictionaries; a payload larger than this is a
// mistake on the sender's side or an attempt to make every observer parse it.
constexpr CFIndex kMaxUserInfoBytes = 1 << 20;

struct Registration {
    Registration(const void* anObserver, CFNotificationCallback aCallBack, CFStringRef aName, const void* anObject,
                 bool objectIsString)
        : observer(anObserver), callBack(aCallBack), name(aName ? CFStringCreateCopy(nullptr, aName) : nullptr),
          object(objectIsString && anObject ? CFStringCreateCopy(nullptr, static_cast<CFStringRef>(anObject))
                                            : anObject),
          ownsObject(objectIsString && anObject)
    {}
    ~Registration()
    {
        if (name)
            CFRelease(name);
        if (ownsObject)
            CFRelease(object);
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    const void* const observer;
    const CFNotificationCallback callBack;
    const CFStringRef name;    // nil: every name
    const void* const object;  // nil: any object
    const bool ownsObject;
    // Set when the registration is removed, so that a delivery already
    // walking its snapshot passes over it.
    std::atomic<bool> removed{false};
};

// Snapshots share the registrations with the center, so one removed while a
// notification is delivered stays valid until that delivery is over.
using RegistrationList = std::vector<std::shared_ptr<Registration>>;

}  // namespace

struct CFNotificationCenterObject final : CFRuntimeObject {
    explicit CFNotificationCenterObject(bool isDistributed)
        : CFRuntimeObject(CFNotificationCenterGetTypeID(), /*immortal=*/true), distributed(isDistributed)
    {}

    CFStringRef CopyDescription() const override
    {
        return CFStringCreateWithUTF8(CFRuntimeDescriptionPrefix(this) + (distributed ? "{distributed}" : "{local}"));
    }

    // The local center tells objects apart by address; the distributed one
    // can only carry strings, so it compares them by value.
    bool ObjectsMatch(const void* wanted, const void* posted) const
    {
        if (wanted == nullptr)
            return true;
        return distributed ? posted != nullptr && CFEqual(wanted, posted) : wanted == posted;
    }

    void Add(const void* observer, CFNotificationCallback callBack, CFStringRef name, const void* object)
    {
        auto registration = std::make_shared<Registration>(observer, callBack, name, object, distributed);
        std::lock_guard lock(mutex);
        registrations.push_back(std::move(registration));
        ++registrationsOf[observer];
    }

    void Remove(const void* observer, CFStringRef name, const void* object)
    {
        RegistrationList removed;  // released outside the lock
        std::lock_guard lock(mutex);
        // Every object that could observe lets go of its registrations when
        // it goes, most of them having none: those cost no walk.
        const auto count = registrationsOf.find(observer);
        if (count == registrationsOf.end())
            return;
        std::erase_if(registrations, [&](const std::shared_ptr<Registration>& r) {
            const bool matches = r->observer == observer && (name == nullptr || CFEqual(r->name, name)) &&
                                 (object == nullptr || (r->object && ObjectsMatch(r->object, object)));
            if (matches) {
                r->removed = true;
                removed.push_back(r);
            }
            return matches;
        });
        count->second -= removed.size();
        if (count->second == 0)
            registrationsOf.erase(count);
    }

    RegistrationList Matching(CFStringRef name, const void* object)
    {
        RegistrationList matching;
        std::lock_guard lock(mutex);
        for (const auto& r : registrations)
            if ((r->name == nullptr || CFEqual(r->name, name)) && ObjectsMatch(r->object, object))
                matching.push_back(r);
        return matching;
    }

    const bool distributed;
    std::mutex mutex;
    RegistrationList registrations;
    // How many of the registrations each observer has.
    std::unordered_map<const void*, size_t> registrationsOf;
};

namespace {

CFNotificationCenterObject* CenterOf(CFNotificationCenterRef center)
{
    if (center == nullptr || CFGetTypeID(center) != CFNotificationCenterGetTypeID())
        return nullptr;
    return center;
}

// Calls every registration of the snapshot that is still in place when its
// turn comes. Registrations made meanwhile are not in the snapshot: they
// hear the next notification, not this one.
void Deliver(CFNotificationCenterRef center, const RegistrationList& snapshot, CFStringRef name, const void* object,
             CFDictionaryRef userInfo, bool fromTheLoop)
{
    for (const auto& r : snapshot) {
        if (r->removed)
            continue;
        if (!fromTheLoop) {
            r->callBack(center, const_cast<void*>(r->observer), name, object, userInfo);
            continue;
        }
        // Nothing may unwind through Qt's loop.
        try {
            r->callBack(center, const_cast<void*>(r->observer), name, object, userInfo);
        } catch (...) {
            Diagnostics::ReportException("CFNotificationCenter: " + CFStringToUTF8(name));
        }
    }
}

// ---- the session bus ----

QString ToQString(CFStringRef string)
{
    const std::u16string_view units = CFStringView(string);
    return QString(reinterpret_cast<const QChar*>(units.data()), static_cast<qsizetype>(units.size()));
}

CFStringRef CreateString(const QString& string)
{
    return CFStringCreateWithUTF16(
        std::u16string(reinterpret_cast<const char16_t*>(string.utf16()), static_cast<size_t>(string.size())));
}

// Asked once per process: without a session bus (a console login, a
// service, a test run without one) the distributed center does nothing,
// and says so once rather than at every call.
bool SessionBusAvailable()
{
    static const bool available = [] {
        const bool connected = QDBusConnection::sessionBus().isConnected();
        if (!connected)
            Diagnostics::WriteLine(
                "Warning: There is no D-Bus session bus; distributed notifications are neither sent nor received.");
        return connected;
    }();
    return available;
}

void ReceiveFromBus(const QDBusMessage& message);

// What QtDBus delivers our signal to. Nothing in this layer goes through
// moc, so the listener declares no slot of its own: QtDBus is pointed at
// the one argument-less slot every QObject has, and its call is taken here
// before QObject would act on it. The message itself comes from the
// QDBusContext that QtDBus sets around the call (found through
// qt_metacast, as moc would answer it). Being argument-less, the hook
// accepts every signature, so malformed signals reach our own checks
// instead of vanishing inside QtDBus.
class BusListener final : public QObject, public QDBusContext {
public:
    static const char* HookSlot() { return SLOT(deleteLater()); }

    void* qt_metacast(const char* className) override
    {
        if (className && std::strcmp(className, "QDBusContext") == 0)
            return static_cast<QDBusContext*>(this);
        return QObject::qt_metacast(className);
    }

    int qt_metacall(QMetaObject::Call call, int id, void** arguments) override
    {
        if (call == QMetaObject::InvokeMetaMethod && id == hookIndex_ && calledFromDBus()) {
            ReceiveFromBus(message());
            return -1;
        }
        return QObject::qt_metacall(call, id, arguments);
    }

private:
    const int hookIndex_ = QObject::staticMetaObject.indexOfMethod("deleteLater()");
};

std::mutex gListenMutex;
BusListener* gListener = nullptr;     // guarded by gListenMutex; never freed
bool gListenWithApplication = false;  // guarded by gListenMutex

// QtDBus delivers a signal on the thread of the object it calls, so the
// listener must belong to the main thread. Called there.
void StartListening()
{
    {
        std::lock_guard lock(gListenMutex);
        if (gListener)
            return;
        gListener = new BusListener;
        gListenWithApplication = false;
    }
    if (!QDBusConnection::sessionBus().connect(QString(), QString::fromLatin1(kBusPath),
                                               QString::fromLatin1(kBusInterface), QString::fromLatin1(kBusMember),
                                               gListener, BusListener::HookSlot()))
        Diagnostics::WriteLine("Warning: Distributed notifications cannot be received: " +
                               QDBusConnection::sessionBus().lastError().message().toStdString());
}

// On the main thread the listener is made at once, even before the
// application exists: signals that arrive meanwhile wait in its queue and
// are delivered once the application's loop runs. Another thread cannot
// make it for the main thread before the application exists, so the
// application starts it as it is made.
void ListenToTheBus()
{
    {
        std::lock_guard lock(gListenMutex);
        if (gListener)
            return;
    }
    if (gettid() == getpid()) {
        StartListening();
        return;
    }
    QCoreApplication* application = QCoreApplication::instance();
    std::lock_guard lock(gListenMutex);
    if (application)
        QMetaObject::invokeMethod(
            application, [] { StartListening(); }, Qt::QueuedConnection);
    else
        gListenWithApplication = true;
}

void ListenIfAskedBeforeTheApplication()
{
    bool asked;
    {
        std::lock_guard lock(gListenMutex);
        asked = gListenWithApplication;
    }
    if (asked)
        StartListening();
}

void RefusePost(CFStringRef name, std::string_view why)
{
    std::string line = "Warning: The distributed notification ";
    if (CFStringObjectOf(name) && CFStringGetLength(name) <= kMaxStringLength)
        line += "\"" + CFStringToUTF8(name) + "\" ";
    Diagnostics::WriteLine(line + "was not posted: " + std::string(why) + ".");
}

void PostToTheBus(CFStringRef name, const void* object, CFDictionaryRef userInfo)
{
    if (!SessionBusAvailable())
        return;
    if (CFStringObjectOf(name) == nullptr || CFStringGetLength(name) == 0)
        return RefusePost(name, "it has no name");
    if (CFStringGetLength(name) > kMaxStringLength)
        return RefusePost(name, "its name is too long");
    if (object != nullptr && CFStringObjectOf(object) == nullptr)
        return RefusePost(name, "its object is not a string");
    if (object != nullptr && CFStringGetLength(static_cast<CFStringRef>(object)) > kMaxStringLength)
        return RefusePost(name, "its object is too long");
    QByteArray xml;
    if (userInfo != nullptr) {
        if (CFGetTypeID(userInfo) != CFDictionaryGetTypeID())
            return RefusePost(name, "its user info is not a dictionary");
        CFRef<CFDataRef> data(CFPropertyListCreateXMLData(nullptr, userInfo));
        if (!data)
            return RefusePost(name, "its user info is not a property list");
        if (CFDataGetLength(data) > kMaxUserInfoBytes)
            return RefusePost(name, "its user info is larger than 1 MB");
        xml = QByteArray(reinterpret_cast<const char*>(CFDataGetBytePtr(data)), CFDataGetLength(data));
    }
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kBusPath), QString::fromLatin1(kBusInterface),
                                                     QString::fromLatin1(kBusMember));
    signal << ToQString(name) << (object ? ToQString(static_cast<CFStringRef>(object)) : QString()) << xml;
    if (!QDBusConnection::sessionBus().send(signal))
        RefusePost(name, "the session bus refused it (" +
                             QDBusConnection::sessionBus().lastError().message().toStdString() + ")");
}

void DropReceived(const QDBusMessage& message, std::string_view why)
{
    // The sender's unique bus name is vouched for by the bus; nothing else
    // of the message is quoted.
    Diagnostics::WriteLine("Warning: A distributed notification from " + message.service().toStdString() +
                           " was dropped: " + std::string(why) + ".");
}

}  // namespace

CFTypeID CFNotificationCenterGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CFNotificationCenter");
    return type;
}

CFNotificationCenterRef CFNotificationCenterGetLocalCenter()
{
    static CFNotificationCenterObject* const center = new CFNotificationCenterObject(false);
    return center;
}

CFNotificationCenterRef CFNotificationCenterGetDistributedCenter()
{
    static CFNotificationCenterObject* const center = new CFNotificationCenterObject(true);
    return center;
}

// The suspension behaviour is not looked at: every registration is held
// alike while a modal alert holds delivery (CFNotificationCenterHoldDistributedDelivery).
void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer,
                                     CFNotificationCallback callBack, CFStringRef name, const void* object,
                                     CFNotificationSuspensionBehavior)
{
    CFNotificationCenterObject* c = CenterOf(center);
    if (c == nullptr || callBack == nullptr)
        return;
    // A name of another kind would otherwise read as nil: every name.
    if (name != nullptr && CFStringObjectOf(name) == nullptr)
        return;
    if (c->distributed) {
        if (!SessionBusAvailable())
            return;
        if (object != nullptr && CFStringObjectOf(object) == nullptr) {
            Diagnostics::WriteLine("Warning: A distributed notification observer was not added: its object is not "
                                   "a string.");
            return;
        }
        ListenToTheBus();
    }
    c->Add(observer, callBack, name, object);
}

void CFNotificationCenterRemoveObserver(CFNotificationCenterRef center, const void* observer, CFStringRef name,
                                        const void* object)
{
    if (CFNotificationCenterObject* c = CenterOf(center))
        c->Remove(observer, name, object);
}

void CFNotificationCenterRemoveEveryObserver(CFNotificationCenterRef center, const void* observer)
{
    if (CFNotificationCenterObject* c = CenterOf(center))
        c->Remove(observer, nullptr, nullptr);
}

void CFNotificationCenterPostNotification(CFNotificationCenterRef center, CFStringRef name, const void* object,
                                          CFDictionaryRef userInfo, Boolean)
{
    CFNotificationCenterObject* c = CenterOf(center);
    if (c == nullptr)
        return;
    if (c->distributed) {
        PostToTheBus(name, object, userInfo);
        return;
    }
    if (name == nullptr)
        return;
    Deliver(center, c->Matching(name, object), name, object, userInfo, false);
}

namespace {

// A received notification whose delivery waits for the holds to end: the
// observers registered when it arrived (one removed meanwhile is passed
// over) and what it carries.
struct HeldNotification {
    RegistrationList snapshot;
    CFRef<CFStringRef> name;
    CFRef<CFStringRef> object;
    CFRef<CFTypeRef> userInfo;
};

// Main thread only, like the delivery itself.
int gDeliveryHolds = 0;
std::deque<HeldNotification> gHeldNotifications;
bool gHeldDeliveryScheduled = false;

void DeliverReceived(const HeldNotification& notification);
void ScheduleHeldDelivery();

// Called on the main thread for every signal of our path, interface and
// member, from any process on the bus: everything is checked before use.
void ReceiveFromBus(const QDBusMessage& message)
{
    if (message.signature() != QLatin1String(kBusSignature))
        return DropReceived(message, "its arguments are not a name, an object and a property list");
    const QList<QVariant> arguments = message.arguments();
    const QString nameText = arguments[0].toString();
    const QString objectText = arguments[1].toString();
    const QByteArray xml = arguments[2].toByteArray();
    if (nameText.isEmpty() || nameText.size() > kMaxStringLength)
        return DropReceived(message, "its name is empty or too long");
    if (objectText.size() > kMaxStringLength)
        return DropReceived(message, "its object is too long");
    if (xml.size() > kMaxUserInfoBytes)
        return DropReceived(message, "its user info is larger than 1 MB");

    CFNotificationCenterRef center = CFNotificationCenterGetDistributedCenter();
    CFRef<CFStringRef> name(CreateString(nameText));
    CFRef<CFStringRef> object(objectText.isEmpty() ? nullptr : CreateString(objectText));
    const RegistrationList snapshot = center->Matching(name, object.get());
    if (snapshot.empty())
        return;  // not ours to read: no need to parse what nobody here observes

    CFRef<CFTypeRef> userInfo;
    if (!xml.isEmpty()) {
        CFRef<CFDataRef> data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(xml.constData()), xml.size()));
        userInfo.Reset(CFPropertyListCreateFromXMLData(nullptr, data, kCFPropertyListImmutable, nullptr));
        if (!userInfo)
            return DropReceived(message, "its user info is not a property list");
        if (CFGetTypeID(userInfo) != CFDictionaryGetTypeID())
            return DropReceived(message, "its user info is not a dictionary");
    }
    HeldNotification notification{snapshot, std::move(name), std::move(object), std::move(userInfo)};
    // Behind notifications still held, a new one waits its turn too.
    if (gDeliveryHolds > 0 || !gHeldNotifications.empty()) {
        gHeldNotifications.push_back(std::move(notification));
        ScheduleHeldDelivery();
        return;
    }
    DeliverReceived(notification);
}

void DeliverReceived(const HeldNotification& notification)
{
    Deliver(CFNotificationCenterGetDistributedCenter(), notification.snapshot, notification.name,
            notification.object.get(), static_cast<CFDictionaryRef>(notification.userInfo.get()), true);
}

void DeliverHeldNotifications()
{
    gHeldDeliveryScheduled = false;
    // A handler may show another alert: what is left waits for that one.
    while (gDeliveryHolds == 0 && !gHeldNotifications.empty()) {
        const HeldNotification notification = std::move(gHeldNotifications.front());
        gHeldNotifications.pop_front();
        DeliverReceived(notification);
    }
}

void ScheduleHeldDelivery()
{
    if (gDeliveryHolds > 0 || gHeldNotifications.empty() || gHeldDeliveryScheduled)
        return;
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) {
        DeliverHeldNotifications();
        return;
    }
    gHeldDeliveryScheduled = true;
    QMetaObject::invokeMethod(
        application, [] { DeliverHeldNotifications(); }, Qt::QueuedConnection);
}

}  // namespace

void CFNotificationCenterHoldDistributedDelivery()
{
    ++gDeliveryHolds;
}

void CFNotificationCenterResumeDistributedDelivery()
{
    if (gDeliveryHolds == 0 || --gDeliveryHolds > 0)
        return;
    ScheduleHeldDelivery();
}

Q_COREAPP_STARTUP_FUNCTION(ListenIfAskedBeforeTheApplication)
