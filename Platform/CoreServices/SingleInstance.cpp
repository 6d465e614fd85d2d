#include "SingleInstance.h"

#include "AppleEvents.h"
#include "AppleEventsInternal.h"
#include "Processes.h"
#include "SingleInstanceInternal.h"

#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <Support/Diagnostics.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVirtualObject>
#include <QStringList>

#include <climits>
#include <string>
#include <vector>

namespace {

constexpr char kNamePrefix[] = "org.brindlet.Instance.";
constexpr char kObjectPath[] = "/org/brindlet/Instance";
constexpr char kInterface[] = "org.brindlet.Instance";

// A launch hands over at most this many files, each path at most PATH_MAX
// bytes; a call with more is not ours.
constexpr qsizetype kMaxForwardedFiles = 4096;
// How long a launch waits for the running instance to take its files.
constexpr int kForwardTimeoutMs = 10000;
// How long the process services wait for another instance's answer.
constexpr int kRequestTimeoutMs = 3000;

// A bus name holds elements of ASCII letters, digits, "_" and "-", none
// starting with a digit, at most 255 bytes in all.
std::string BusNameOf(const std::string& identifier)
{
    std::string name;
    std::string element;
    auto flush = [&] {
        if (element.empty())
            return;
        if (element[0] >= '0' && element[0] <= '9')
            element.insert(0, "_");
        name += (name.empty() ? "" : ".") + element;
        element.clear();
    };
    for (char c : identifier) {
        if (c == '.') {
            flush();
            continue;
        }
        const bool allowed =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        element += allowed ? c : '_';
    }
    flush();
    if (name.empty())
        return {};
    name = kNamePrefix + name;
    return name.size() <= 255 ? name : std::string();
}

std::string IdentifierOf(CFStringRef bundleIdentifier)
{
    if (bundleIdentifier != nullptr)
        return CFStringToUTF8(bundleIdentifier);
    CFBundleRef bundle = CFBundleGetMainBundle();
    return bundle ? CFStringToUTF8(CFBundleGetIdentifier(bundle)) : std::string();
}

void Answer(const QDBusMessage& message, const QDBusConnection& connection, const QVariantList& values = {})
{
    QDBusMessage reply = message.createReply(values);
    connection.send(reply);
}

void Refuse(const QDBusMessage& message, const QDBusConnection& connection, const char* why)
{
    connection.send(message.createErrorReply(QDBusError::InvalidArgs, QString::fromLatin1(why)));
}

// The paths a forwarding launch sent, when each is an absolute path a file
// system can hold.
bool ForwardedPaths(const QDBusMessage& message, std::vector<std::string>* paths)
{
    const QStringList list = message.arguments().value(0).toStringList();
    if (list.size() > kMaxForwardedFiles)
        return false;
    for (const QString& path : list) {
        const QByteArray bytes = path.toUtf8();
        if (bytes.isEmpty() || bytes[0] != '/' || bytes.size() >= PATH_MAX || bytes.contains('\0'))
            return false;
        paths->push_back(bytes.toStdString());
    }
    return true;
}

// The object an instance serves. It lives on the main thread, where QtDBus
// calls it from the event loop.
class InstanceObject final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override
    {
        return QStringLiteral("<interface name=\"org.brindlet.Instance\">"
                              "<method name=\"OpenDocuments\"><arg name=\"paths\" type=\"as\" direction=\"in\"/>"
                              "<arg type=\"b\" direction=\"out\"/></method>"
                              "<method name=\"Activate\"/>"
                              "<method name=\"SetVisible\"><arg name=\"visible\" type=\"b\" direction=\"in\"/></method>"
                              "<method name=\"IsVisible\"><arg type=\"b\" direction=\"out\"/></method>"
                              "</interface>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.type() != QDBusMessage::MethodCallMessage ||
            (!message.interface().isEmpty() && message.interface() != QLatin1String(kInterface)))
            return false;
        const QString member = message.member();
        const QString signature = message.signature();
        const ProcessSerialNumber self{0, kCurrentProcess};
        if (member == QLatin1String("OpenDocuments") && signature == QLatin1String("as")) {
            std::vector<std::string> paths;
            if (!ForwardedPaths(message, &paths)) {
                Refuse(message, connection, "the paths are not absolute paths of files");
                return true;
            }
            std::vector<const char*> pointers;
            for (const std::string& path : paths)
                pointers.push_back(path.c_str());
            SetFrontProcess(&self);
            const OSErr queued = AEDeliverOpenDocuments(pointers.data(), static_cast<int>(pointers.size()));
            Answer(message, connection, {QVariant(queued == noErr)});
            return true;
        }
        if (member == QLatin1String("Activate") && signature.isEmpty()) {
            SetFrontProcess(&self);
            Answer(message, connection);
            return true;
        }
        if (member == QLatin1String("SetVisible") && signature == QLatin1String("b")) {
            ShowHideProcess(&self, message.arguments().value(0).toBool());
            Answer(message, connection);
            return true;
        }
        if (member == QLatin1String("IsVisible") && signature.isEmpty()) {
            Answer(message, connection, {QVariant(static_cast<bool>(IsProcessVisible(&self)))});
            return true;
        }
        return false;
    }
};

struct InstanceState {
    QString busName;  // empty while this launch is no instance
    InstanceObject* object = nullptr;
};

InstanceState& Instance()
{
    static auto* state = new InstanceState;
    return *state;
}

bool ServeObject(QDBusConnection& bus)
{
    InstanceState& state = Instance();
    if (state.object == nullptr)
        state.object = new InstanceObject;
    return bus.registerVirtualObject(QString::fromLatin1(kObjectPath), state.object);
}

void StopServing(QDBusConnection& bus)
{
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
}

// Hands the files over; true when the instance took them.
enum class Forwarded { Taken, Gone, NotAnswering };

Forwarded Forward(QDBusConnection& bus, const QString& busName, const std::vector<std::string>& files)
{
    QStringList paths;
    for (const std::string& file : files)
        paths.push_back(QString::fromStdString(file));
    QDBusMessage call = QDBusMessage::createMethodCall(
        busName, QString::fromLatin1(kObjectPath), QString::fromLatin1(kInterface), QStringLiteral("OpenDocuments"));
    call << paths;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kForwardTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return Forwarded::Taken;
    // Gone between our asking for the name and the call: try again to
    // become the instance. Still there: it did not answer in time.
    return bus.interface()->isServiceRegistered(busName) ? Forwarded::NotAnswering : Forwarded::Gone;
}

}  // namespace

CFStringRef CopySingleInstanceBusName(CFStringRef bundleIdentifier)
{
    return CFStringCreateWithUTF8(BusNameOf(IdentifierOf(bundleIdentifier)));
}

Boolean LaunchSingleInstance(CFStringRef bundleIdentifier, int argc, const char* const* argv)
{
    InstanceState& state = Instance();
    if (!state.busName.isEmpty())
        return false;
    const std::string identifier = IdentifierOf(bundleIdentifier);
    const std::string name = BusNameOf(identifier);
    if (name.empty()) {
        Diagnostics::WriteLine("Warning: The program has no bundle identifier; another launch will not find it.");
        AEDeliverLaunchDocuments(argc, argv);
        return false;
    }
    if (QCoreApplication::instance() == nullptr) {
        Diagnostics::WriteLine("Warning: The program was launched before its application object was made; another "
                               "launch will not find it.");
        AEDeliverLaunchDocuments(argc, argv);
        return false;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        Diagnostics::WriteLine("Warning: There is no D-Bus session bus; another launch will not find this one.");
        AEDeliverLaunchDocuments(argc, argv);
        return false;
    }
    const QString busName = QString::fromStdString(name);
    // Twice at most: the instance may end between our asking for the name
    // and handing it the files.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ServeObject(bus))
            break;
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> owned = bus.interface()->registerService(
            busName, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
        if (owned.isValid() && owned.value() == QDBusConnectionInterface::ServiceRegistered) {
            state.busName = busName;
            AEDeliverLaunchDocuments(argc, argv);
            return false;
        }
        StopServing(bus);
        const std::vector<std::string> files = AppleEventsInternal::LaunchFiles(argc, argv);
        switch (Forward(bus, busName, files)) {
        case Forwarded::Taken:
            return true;
        case Forwarded::NotAnswering:
            Diagnostics::WriteLine("Warning: The running instance of " + identifier +
                                   " does not answer; the files were not handed over.");
            return true;
        case Forwarded::Gone:
            break;
        }
    }
    Diagnostics::WriteLine("Warning: This launch of " + identifier +
                           " could neither own its name on the session bus nor reach the instance that does.");
    AEDeliverLaunchDocuments(argc, argv);
    return false;
}

void EndSingleInstance()
{
    InstanceState& state = Instance();
    if (state.busName.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    StopServing(bus);
    bus.interface()->unregisterService(state.busName);
    state.busName.clear();
}

bool SingleInstanceInternal::AskInstanceOfProcess(pid_t pid, Request request, bool* visible)
{
    // Asked before the application object exists, the bus would be
    // connected outside any event loop: nothing of ours is reachable then.
    if (pid <= 0 || QCoreApplication::instance() == nullptr)
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusConnectionInterface* daemon = bus.interface();
    const QDBusReply<QStringList> names = daemon->registeredServiceNames();
    if (!names.isValid())
        return false;
    for (const QString& name : names.value()) {
        if (!name.startsWith(QLatin1String(kNamePrefix)))
            continue;
        const QDBusReply<uint> owner = daemon->servicePid(name);
        if (!owner.isValid() || static_cast<pid_t>(owner.value()) != pid)
            continue;
        const char* member = request == Request::Activate    ? "Activate"
                             : request == Request::IsVisible ? "IsVisible"
                                                             : "SetVisible";
        QDBusMessage call = QDBusMessage::createMethodCall(
            name, QString::fromLatin1(kObjectPath), QString::fromLatin1(kInterface), QString::fromLatin1(member));
        if (request == Request::Show || request == Request::Hide)
            call << (request == Request::Show);
        const QDBusMessage reply = bus.call(call, QDBus::Block, kRequestTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return false;
        if (request == Request::IsVisible) {
            if (reply.signature() != QLatin1String("b"))
                return false;
            if (visible)
                *visible = reply.arguments().value(0).toBool();
        }
        return true;
    }
    return false;
}
