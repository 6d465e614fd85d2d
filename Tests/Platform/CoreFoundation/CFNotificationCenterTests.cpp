// Notification centers: the local center within the process, and the
// distributed center between real processes on the session bus. The test
// program runs itself again as the other process (the disabled tests below,
// picked by a filter, with the channel to use in their environment).
#include <CFTestSupport.h>
#include <ChildProcess.h>
#include <RunUntil.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <CoreFoundation/CoreFoundation.h>
#include <Support/Diagnostics.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const char* const kPeerVariable = "BRINDLET_NOTIFICATION_PEER_CHANNEL";

// ---- observers that keep a log ----

struct Delivery {
    std::string observer;
    std::string name;
    const void* object;
    CFRef<CFTypeRef> objectValue;  // the object, held, when it is a CF value
    CFRef<CFDictionaryRef> userInfo;
};

struct Observer {
    std::string label;
    std::vector<Delivery>* log;
};

void Record(CFNotificationCenterRef center, void* observer, CFStringRef name, const void* object,
            CFDictionaryRef userInfo)
{
    auto* o = static_cast<Observer*>(observer);
    o->log->push_back({o->label, UTF8Of(name), object, CFRef<CFTypeRef>(), CFRef<CFDictionaryRef>::Retained(userInfo)});
    // Only the distributed center's objects are CF values (strings).
    if (object && center == CFNotificationCenterGetDistributedCenter())
        o->log->back().objectValue = CFRef<CFTypeRef>::Retained(object);
}

std::vector<std::string> Observers(const std::vector<Delivery>& log)
{
    std::vector<std::string> labels;
    for (const Delivery& d : log)
        labels.push_back(d.observer);
    return labels;
}

// Removes every registration of its observers from both centers, so that
// tests run together in one process do not hear each other.
class Registrations {
public:
    ~Registrations()
    {
        for (const void* observer : observers_) {
            CFNotificationCenterRemoveEveryObserver(CFNotificationCenterGetLocalCenter(), observer);
            CFNotificationCenterRemoveEveryObserver(CFNotificationCenterGetDistributedCenter(), observer);
        }
    }
    void Add(CFNotificationCenterRef center, Observer* observer, CFStringRef name, const void* object = nullptr)
    {
        observers_.push_back(observer);
        CFNotificationCenterAddObserver(center, observer, Record, name, object,
                                        CFNotificationSuspensionBehaviorDeliverImmediately);
    }

private:
    std::vector<const void*> observers_;
};

// ---- the local center ----

TEST(CFNotificationLocalCenter, CallsEveryMatchingObserverBeforePostReturns)
{
    CFNotificationCenterRef center = CFNotificationCenterGetLocalCenter();
    int x = 0, y = 0;
    std::vector<Delivery> log;
    Observer a{"a", &log}, b{"b", &log}, c{"c", &log}, d{"d", &log}, e{"e", &log};
    Registrations registrations;
    registrations.Add(center, &a, MakeString("A"));
    registrations.Add(center, &b, MakeString("A"), &x);
    registrations.Add(center, &c, nullptr);
    registrations.Add(center, &d, MakeString("B"));
    registrations.Add(center, &e, nullptr, &y);

    struct Case {
        const char* name;
        const void* object;
        std::vector<std::string> called;
    };
    const Case cases[] = {
        {"A", &x, {"a", "b", "c"}}, {"A", nullptr, {"a", "c"}}, {"A", &y, {"a", "c", "e"}},
        {"B", &y, {"c", "d", "e"}}, {"C", nullptr, {"c"}},
    };
    auto info = ParsePropertyList("<plist version=\"1.0\"><dict><key>k</key><string>v</string></dict></plist>");
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        log.clear();
        // A mutable name equal to the registered one matches it.
        CFNotificationCenterPostNotification(center, MakeMutableString(row.name), row.object,
                                             static_cast<CFDictionaryRef>(info.get()), false);
        std::vector<std::string> called = Observers(log);
        std::sort(called.begin(), called.end());
        EXPECT_EQ(called, row.called);
        for (const Delivery& delivery : log) {
            EXPECT_EQ(delivery.name, row.name);
            EXPECT_EQ(delivery.object, row.object);
            EXPECT_EQ(delivery.userInfo.get(), info.get());
        }
    }
}

// An observer that, when called, removes another observer and itself, adds
// a third, and frees itself, as a responder that goes away on a
// notification does: the center must not touch it afterwards.
struct Remover {
    Observer* other;
    Observer* late;
    Registrations* registrations;
    std::vector<Delivery>* log;
};

void RemoveAndGo(CFNotificationCenterRef center, void* observer, CFStringRef name, const void*, CFDictionaryRef)
{
    auto* self = static_cast<Remover*>(observer);
    self->log->push_back({"remover", UTF8Of(name), nullptr, {}, {}});
    CFNotificationCenterRemoveObserver(center, self->other, name, nullptr);
    CFNotificationCenterRemoveEveryObserver(center, self);
    self->registrations->Add(center, self->late, name);
    delete self;
}

TEST(CFNotificationLocalCenter, ObserversRemovedDuringADeliveryHearNoMoreOfIt)
{
    CFNotificationCenterRef center = CFNotificationCenterGetLocalCenter();
    auto name = MakeString("org.brindlet.test.Removal");
    std::vector<Delivery> log;
    Registrations registrations;
    Observer removed{"removed", &log}, kept{"kept", &log}, late{"late", &log};
    CFNotificationCenterAddObserver(center, new Remover{&removed, &late, &registrations, &log}, RemoveAndGo, name,
                                    nullptr, CFNotificationSuspensionBehaviorDrop);
    registrations.Add(center, &removed, name);
    registrations.Add(center, &kept, name);

    CFNotificationCenterPostNotification(center, name, nullptr, nullptr, true);
    EXPECT_EQ(Observers(log), (std::vector<std::string>{"remover", "kept"})) << "late came too late";

    log.clear();
    CFNotificationCenterPostNotification(center, name, nullptr, nullptr, true);
    std::vector<std::string> called = Observers(log);
    std::sort(called.begin(), called.end());
    EXPECT_EQ(called, (std::vector<std::string>{"kept", "late"}));
}

// One registration per callback, to tell which of an observer's
// registrations are left.
template <char Tag>
void Tagged(CFNotificationCenterRef, void* observer, CFStringRef, const void*, CFDictionaryRef)
{
    *static_cast<std::string*>(observer) += Tag;
}

TEST(CFNotificationLocalCenter, RemovalByNameAndObject)
{
    CFNotificationCenterRef center = CFNotificationCenterGetLocalCenter();
    int x = 0;
    auto a = MakeString("A");
    struct Case {
        const char* removeName;  // nil: any
        bool removeObject;       // &x, or nil: any
        bool everyObserver;      // CFNotificationCenterRemoveEveryObserver instead
        const char* left;        // the tags still called by ("A", &x) and ("B", &x), sorted
    };
    // Before any removal: 1 and 2 hear A, 3 hears both.
    const Case cases[] = {
        {"A", false, false, "33"},   {"A", true, false, "133"},   {nullptr, true, false, "133"},
        {"B", false, false, "1233"}, {nullptr, false, false, ""}, {nullptr, false, true, ""},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(testing::Message() << (row.removeName ? row.removeName : "nil") << " " << row.removeObject);
        std::string calls;
        std::string other;
        CFNotificationCenterAddObserver(center, &calls, Tagged<'1'>, a, nullptr, 0);
        CFNotificationCenterAddObserver(center, &calls, Tagged<'2'>, a, &x, 0);
        CFNotificationCenterAddObserver(center, &calls, Tagged<'3'>, nullptr, nullptr, 0);
        CFNotificationCenterAddObserver(center, &other, Tagged<'o'>, a, nullptr, 0);
        auto removeName = row.removeName ? MakeString(row.removeName) : CFRef<CFStringRef>();
        if (row.everyObserver)
            CFNotificationCenterRemoveEveryObserver(center, &calls);
        else
            CFNotificationCenterRemoveObserver(center, &calls, removeName, row.removeObject ? &x : nullptr);
        CFNotificationCenterPostNotification(center, a, &x, nullptr, true);
        CFNotificationCenterPostNotification(center, MakeString("B"), &x, nullptr, true);
        std::sort(calls.begin(), calls.end());
        EXPECT_EQ(calls, row.left);
        EXPECT_EQ(other, "o") << "another observer's registrations stay";
        CFNotificationCenterRemoveEveryObserver(center, &calls);
        CFNotificationCenterRemoveEveryObserver(center, &other);
    }
}

TEST(CFNotificationLocalCenter, CentersAreLastingCFObjects)
{
    CFNotificationCenterRef local = CFNotificationCenterGetLocalCenter();
    CFNotificationCenterRef distributed = CFNotificationCenterGetDistributedCenter();
    EXPECT_NE(local, distributed);
    EXPECT_EQ(CFNotificationCenterGetLocalCenter(), local);
    EXPECT_EQ(CFGetTypeID(local), CFNotificationCenterGetTypeID());
    EXPECT_EQ(CFGetTypeID(distributed), CFNotificationCenterGetTypeID());
    CFRef<CFStringRef> typeName(CFCopyTypeIDDescription(CFNotificationCenterGetTypeID()));
    EXPECT_EQ(UTF8Of(typeName), "CFNotificationCenter");
    EXPECT_NE(DescriptionOf(local).find("CFNotificationCenter"), std::string::npos);

    // A release too many must not free a center others still use.
    CFRelease(local);
    CFRelease(local);
    std::string calls;
    CFNotificationCenterAddObserver(local, &calls, Tagged<'x'>, nullptr, nullptr, 0);
    CFNotificationCenterPostNotification(local, MakeString("After"), nullptr, nullptr, true);
    CFNotificationCenterRemoveEveryObserver(local, &calls);
    EXPECT_EQ(calls, "x");
}

// ---- the distributed center ----

class TestApplication {
public:
    TestApplication() : app_(argc_, argv_) {}

private:
    int argc_ = 1;
    char name_[24] = "CoreFoundationTests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_;
};

// Notification names of this process's own, so that test programs sharing
// one session bus do not hear each other.
std::string Channel()
{
    if (const char* channel = std::getenv(kPeerVariable))
        return channel;
    return "org.brindlet.test." + std::to_string(getpid()) + ".";
}

CFRef<CFStringRef> Named(const std::string& suffix)
{
    return MakeString(Channel() + suffix);
}

// A payload with a value of each kind a notification carries.
CFRef<CFDictionaryRef> MakePayload()
{
    const SInt64 count = -1234567890123;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt64Type, &count));
    static const char binary[] = "\x00\xff\x01 not text\n";
    auto bytes = MakeData(std::string(binary, sizeof binary - 1));
    CFRef<CFDateRef> date(CFDateCreate(nullptr, 789012345.0));
    auto text = MakeString("Grüße, \"Brindlet\" <&> ✓");
    const void* keys[] = {CFSTR("text"), CFSTR("count"), CFSTR("done"), CFSTR("bytes"), CFSTR("when")};
    const void* values[] = {text.get(), number.get(), kCFBooleanTrue, bytes.get(), date.get()};
    return CFRef<CFDictionaryRef>(
        CFDictionaryCreate(nullptr, keys, values, 5, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}

// Starts this program again as the peer `test`, on this process's channel.
std::unique_ptr<ChildProcess> StartPeer(const char* test, ChildProcess::Options options = {})
{
    options.environment.push_back({kPeerVariable, Channel()});
    return std::make_unique<ChildProcess>(std::string("CFNotificationPeer.DISABLED_") + test, std::move(options));
}

// Waits for the peer, and answers its standard output.
std::string FinishPeer(ChildProcess& peer)
{
    EXPECT_TRUE(peer.Wait(60));
    EXPECT_TRUE(peer.Exited());
    EXPECT_EQ(peer.ExitCode(), 0) << peer.Report();
    return peer.Output();
}

TEST(CFNotificationDistributedCenter, TwoProcessesExchangeAPayloadAndTheSenderHearsItsOwn)
{
    TestApplication app;
    CFNotificationCenterRef center = CFNotificationCenterGetDistributedCenter();
    std::vector<Delivery> ready, requests, replies;
    Observer readyObserver{"ready", &ready}, ownRequest{"own", &requests}, replyObserver{"reply", &replies};
    Registrations registrations;
    registrations.Add(center, &readyObserver, Named("Ready"));
    registrations.Add(center, &ownRequest, Named("Request"));
    registrations.Add(center, &replyObserver, Named("Reply"));

    const auto peer = StartPeer("AnswersARequest");
    ASSERT_TRUE(RunUntil([&] { return !ready.empty(); })) << "the peer never got ready";

    auto payload = MakePayload();
    CFNotificationCenterPostNotification(center, Named("Request"), CFSTR("sheet 7"), payload, true);
    EXPECT_TRUE(ownRequest.log->empty()) << "delivered through the loop, not from inside the post";
    ASSERT_TRUE(RunUntil([&] { return !replies.empty() && !requests.empty(); }));

    EXPECT_TRUE(CFEqual(requests[0].userInfo, payload)) << DescriptionOf(requests[0].userInfo);
    EXPECT_TRUE(CFEqual(requests[0].objectValue, CFSTR("sheet 7")));
    EXPECT_TRUE(CFEqual(replies[0].userInfo, payload)) << DescriptionOf(replies[0].userInfo);
    EXPECT_TRUE(CFEqual(replies[0].objectValue, CFSTR("sheet 7")));
    FinishPeer(*peer);
}

TEST(CFNotificationPeer, DISABLED_AnswersARequest)
{
    ASSERT_NE(std::getenv(kPeerVariable), nullptr);
    TestApplication app;
    CFNotificationCenterRef center = CFNotificationCenterGetDistributedCenter();
    std::vector<Delivery> requests, otherObjects, ownReplies;
    Observer request{"request", &requests}, other{"other", &otherObjects}, ownReply{"own", &ownReplies};
    Registrations registrations;
    registrations.Add(center, &request, Named("Request"), MakeMutableString("sheet 7"));
    registrations.Add(center, &other, Named("Request"), CFSTR("sheet 8"));
    registrations.Add(center, &ownReply, Named("Reply"));
    CFNotificationCenterPostNotification(center, Named("Ready"), nullptr, nullptr, true);

    ASSERT_TRUE(RunUntil([&] { return !requests.empty(); }));
    EXPECT_TRUE(CFEqual(requests[0].userInfo, MakePayload())) << DescriptionOf(requests[0].userInfo);
    CFNotificationCenterPostNotification(center, Named("Reply"), requests[0].objectValue, requests[0].userInfo, true);
    // Hearing its own reply shows it has left this process.
    ASSERT_TRUE(RunUntil([&] { return !ownReplies.empty(); }));
    EXPECT_TRUE(otherObjects.empty()) << "objects are compared as strings";
}

TEST(CFNotificationDistributedCenter, AProcessWithoutABusWarnsOnceAndGoesOn)
{
    TestApplication app;
    QTemporaryDir emptyRuntime;
    ChildProcess::Options options;
    options.environment = {{"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
                           {"DISPLAY", std::nullopt},
                           // Where libdbus would look for a bus when no address is given.
                           {"XDG_RUNTIME_DIR", emptyRuntime.path().toStdString()}};

    const std::string output = FinishPeer(*StartPeer("GoesOnWithoutABus", std::move(options)));
    std::vector<std::string> warnings;
    size_t start = 0;
    for (size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1)
        if (output.compare(start, 8, "Warning:") == 0)
            warnings.push_back(output.substr(start, end - start));
    ASSERT_EQ(warnings.size(), 1u) << output;
    EXPECT_NE(warnings[0].find("session bus"), std::string::npos) << warnings[0];
    EXPECT_NE(output.find("[       OK ] CFNotificationPeer.DISABLED_GoesOnWithoutABus"), std::string::npos) << output;
}

TEST(CFNotificationPeer, DISABLED_GoesOnWithoutABus)
{
    ASSERT_NE(std::getenv(kPeerVariable), nullptr);
    TestApplication app;
    CFNotificationCenterRef distributed = CFNotificationCenterGetDistributedCenter();
    CFNotificationCenterRef local = CFNotificationCenterGetLocalCenter();
    std::vector<Delivery> log;
    Observer remote{"remote", &log}, here{"here", &log};
    Registrations registrations;
    for (int round = 0; round < 2; ++round) {
        registrations.Add(distributed, &remote, Named("Nobody"));
        CFNotificationCenterPostNotification(distributed, Named("Nobody"), CFSTR("x"), MakePayload(), true);
    }
    registrations.Add(local, &here, Named("Here"));
    CFNotificationCenterPostNotification(local, Named("Here"), nullptr, nullptr, true);
    RunCurrentEventLoop(0.3);
    EXPECT_EQ(Observers(log), std::vector<std::string>{"here"});
}

// Sends our signal straight to this process only, with any arguments.
void SendRaw(const QList<QVariant>& arguments)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage signal =
        QDBusMessage::createTargetedSignal(bus.baseService(), QStringLiteral("/org/brindlet/Notifications"),
                                           QStringLiteral("org.brindlet.Notifications"), QStringLiteral("Posted"));
    signal.setArguments(arguments);
    ASSERT_TRUE(bus.send(signal));
}

TEST(CFNotificationDistributedCenter, MalformedSignalsAreDroppedWithOneLine)
{
    TestApplication app;
    CFNotificationCenterRef center = CFNotificationCenterGetDistributedCenter();
    std::vector<Delivery> log;
    Observer observer{"observer", &log};
    Registrations registrations;
    registrations.Add(center, &observer, Named("Malformed"));
    const QString name = QString::fromStdString(Channel() + "Malformed");
    static const char garbage[] = "\x00\xff<plist>\x01garbage";
    const QByteArray array("<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>");

    struct Case {
        const char* what;
        QList<QVariant> arguments;
        bool diagnosed;
    };
    const Case cases[] = {
        {"garbage bytes", {name, QString(), QByteArray(garbage, sizeof garbage - 1)}, true},
        {"a list, not a dictionary", {name, QString(), array}, true},
        {"more than a megabyte", {name, QString(), QByteArray((1 << 20) + 1, ' ')}, true},
        {"an empty name", {QString(), QString(), QByteArray()}, true},
        {"a huge name", {QString(5000, QLatin1Char('n')), QString(), QByteArray()}, true},
        {"a huge object", {name, QString(5000, QLatin1Char('o')), QByteArray()}, true},
        {"a number alone", {42}, true},
        {"a name alone", {name}, true},
        {"text for bytes", {name, QString(), QStringLiteral("<plist/>")}, true},
        {"garbage nobody here observes", {name + QLatin1String("Unobserved"), QString(), QByteArray("\xff")}, false},
    };
    size_t sentinels = 0;
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        Diagnostics::Capture capture;
        SendRaw(row.arguments);
        // Signals from one sender arrive in order: once the well-formed one
        // that follows is delivered, the malformed one has been handled.
        SendRaw({name, QStringLiteral("sentinel"), QByteArray()});
        ++sentinels;
        ASSERT_TRUE(RunUntil([&] { return log.size() >= sentinels; }));
        ASSERT_EQ(log.size(), sentinels) << "only the well-formed signals are delivered";
        EXPECT_TRUE(CFEqual(log.back().objectValue, CFSTR("sentinel")));
        EXPECT_EQ(log.back().userInfo.get(), nullptr);
        const std::vector<std::string> lines = capture.Lines();
        if (!row.diagnosed) {
            EXPECT_TRUE(lines.empty()) << capture.Text();
            continue;
        }
        ASSERT_EQ(lines.size(), 1u) << capture.Text();
        EXPECT_EQ(lines[0].rfind("Warning: A distributed notification from :", 0), 0u) << lines[0];
        EXPECT_NE(lines[0].find("was dropped"), std::string::npos) << lines[0];
    }
}

TEST(CFNotificationDistributedCenter, PostsThatCannotTravelAreRefusedWithOneLine)
{
    TestApplication app;
    CFNotificationCenterRef center = CFNotificationCenterGetDistributedCenter();
    std::vector<Delivery> log;
    Observer observer{"observer", &log};
    Registrations registrations;
    registrations.Add(center, &observer, Named("Refused"));

    CFRef<CFUUIDRef> uuid(CFUUIDCreate(nullptr));
    const void* key = CFSTR("key");
    const void* uuidValue = uuid.get();
    CFRef<CFDictionaryRef> notAPropertyList(CFDictionaryCreate(
        nullptr, &key, &uuidValue, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    auto big = MakeData(std::string(800 * 1024, 'b'));  // larger than 1 MB once in base 64
    const void* bigValue = big.get();
    CFRef<CFDictionaryRef> tooBig(CFDictionaryCreate(nullptr, &key, &bigValue, 1, &kCFTypeDictionaryKeyCallBacks,
                                                     &kCFTypeDictionaryValueCallBacks));
    auto list = ParsePropertyList("<plist version=\"1.0\"><array/></plist>");
    const SInt32 seven = 7;
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &seven));

    struct Case {
        const char* what;
        CFStringRef name;
        const void* object;
        CFDictionaryRef userInfo;
    };
    auto refused = Named("Refused");
    const Case cases[] = {
        {"a value that is no property list", refused, nullptr, notAPropertyList},
        {"user info over the limit", refused, nullptr, tooBig},
        {"user info that is not a dictionary", refused, nullptr, static_cast<CFDictionaryRef>(list.get())},
        {"an object that is not a string", refused, number.get(), nullptr},
        {"an empty name", CFSTR(""), nullptr, nullptr},
        {"no name", nullptr, nullptr, nullptr},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        Diagnostics::Capture capture;
        CFNotificationCenterPostNotification(center, row.name, row.object, row.userInfo, true);
        const std::vector<std::string> lines = capture.Lines();
        ASSERT_EQ(lines.size(), 1u) << capture.Text();
        EXPECT_NE(lines[0].find("was not posted"), std::string::npos) << lines[0];
    }
    CFNotificationCenterPostNotification(center, refused, CFSTR("sentinel"), nullptr, true);
    ASSERT_TRUE(RunUntil([&] { return !log.empty(); }));
    RunCurrentEventLoop(0.1);
    ASSERT_EQ(log.size(), 1u) << "nothing refused went out";
    EXPECT_TRUE(CFEqual(log[0].objectValue, CFSTR("sentinel")));
}

}  // namespace
