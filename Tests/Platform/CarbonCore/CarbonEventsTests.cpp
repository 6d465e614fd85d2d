#include <CarbonCore/CarbonEvents.h>
#include <Support/Diagnostics.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr EventTypeSpec kTestEvent = {FourCC("test"), 1};

EventRef NewTestEvent()
{
    EventRef event = nullptr;
    EXPECT_EQ(CreateEvent(nullptr, kTestEvent.eventClass, kTestEvent.eventKind, 0, 0, &event), noErr);
    return event;
}

// A handler as a lambda; the test's log records the order they run in.
using Body = std::function<OSStatus(EventHandlerCallRef, EventRef)>;

OSStatus RunBody(EventHandlerCallRef call, EventRef event, void* body)
{
    return (*static_cast<Body*>(body))(call, event);
}

class Handlers {
public:
    ~Handlers()
    {
        for (EventHandlerRef handler : installed_)
            RemoveEventHandler(handler);  // paramErr for those already gone
    }

    EventHandlerRef Install(EventTargetRef target, Body body, EventTypeSpec type = kTestEvent)
    {
        bodies_.push_back(std::make_unique<Body>(std::move(body)));
        EventHandlerRef handler = nullptr;
        EXPECT_EQ(InstallEventHandler(target, RunBody, 1, &type, bodies_.back().get(), &handler), noErr);
        installed_.push_back(handler);
        return handler;
    }

    // A handler that logs its name and answers `status`.
    EventHandlerRef Answer(EventTargetRef target, std::string& log, char name, OSStatus status)
    {
        return Install(target, [&log, name, status](EventHandlerCallRef, EventRef) {
            log += name;
            return status;
        });
    }

private:
    std::vector<std::unique_ptr<Body>> bodies_;
    std::vector<EventHandlerRef> installed_;
};

// A chain of targets: child → parent → the application's.
struct Chain {
    static EventTargetRef ParentOf(void* refCon) { return *static_cast<EventTargetRef*>(refCon); }

    EventTargetRef applicationTarget = GetApplicationEventTarget();
    EventTargetRef parent = CreateEventTarget(ParentOf, &applicationTarget);
    EventTargetRef child = CreateEventTarget(ParentOf, &parent);

    ~Chain()
    {
        DisposeEventTarget(child);
        DisposeEventTarget(parent);
    }
};

struct StandardLog {
    std::string* log;
    char name;
    OSStatus status;
};

OSStatus LogStandard(EventHandlerCallRef, EventRef, void* refCon)
{
    auto* standard = static_cast<StandardLog*>(refCon);
    *standard->log += standard->name;
    return standard->status;
}

class TestApplication {
public:
    TestApplication() : app_(argc_, argv_) {}

private:
    int argc_ = 1;
    char name_[16] = "CarbonEvents";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_;
};

TEST(CarbonEvents, ParametersAreCopiedAndAMissingOrMistypedOneLeavesTheOutputsAlone)
{
    EventRef event = NewTestEvent();
    const UInt32 value = 0x01020304;
    ASSERT_EQ(SetEventParameter(event, kEventParamKeyCode, typeUInt32, sizeof value, &value), noErr);
    const HIPoint point = {12.6, 40.2};
    ASSERT_EQ(SetEventParameter(event, kEventParamMouseLocation, typeHIPoint, sizeof point, &point), noErr);

    struct Row {
        const char* trace;
        EventParamName name;
        EventParamType desired;
        OSStatus status;
    };
    const Row rows[] = {
        {"missing", kEventParamKeyModifiers, typeUInt32, eventParameterNotFoundErr},
        {"mistyped", kEventParamKeyCode, typeHICommand, eventParameterNotFoundErr},
        {"mistyped point", kEventParamMouseLocation, typeUInt32, eventParameterNotFoundErr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.trace);
        EventParamType actualType = FourCC("xxxx");
        UInt32 actualSize = 777;
        UInt8 buffer[16];
        std::memset(buffer, 0xAB, sizeof buffer);
        EXPECT_EQ(GetEventParameter(event, row.name, row.desired, &actualType, sizeof buffer, &actualSize, buffer),
                  row.status);
        EXPECT_EQ(actualType, FourCC("xxxx"));
        EXPECT_EQ(actualSize, 777u);
        for (UInt8 byte : buffer)
            ASSERT_EQ(byte, 0xAB);
    }

    // Exact, wildcard, a coercion, and a short buffer that still reports the whole size.
    UInt32 got = 0;
    EventParamType type = 0;
    EXPECT_EQ(GetEventParameter(event, kEventParamKeyCode, typeWildCard, &type, sizeof got, nullptr, &got), noErr);
    EXPECT_EQ(got, value);
    EXPECT_EQ(type, typeUInt32);
    SInt32 signedValue = 0;
    EXPECT_EQ(
        GetEventParameter(event, kEventParamKeyCode, typeSInt32, nullptr, sizeof signedValue, nullptr, &signedValue),
        noErr);
    EXPECT_EQ(signedValue, 0x01020304);
    Point qdPoint = {};
    EXPECT_EQ(
        GetEventParameter(event, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof qdPoint, nullptr, &qdPoint),
        noErr);
    EXPECT_EQ(qdPoint.h, 13);
    EXPECT_EQ(qdPoint.v, 40);
    UInt16 half = 0;
    UInt32 size = 0;
    EXPECT_EQ(GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof half, &size, &half), noErr);
    EXPECT_EQ(size, 4u);

    // Bad arguments.
    EXPECT_EQ(GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, 4, nullptr, nullptr), paramErr);
    EXPECT_EQ(SetEventParameter(event, kEventParamKeyCode, typeUInt32, 4, nullptr), paramErr);
    EXPECT_EQ(GetEventParameter(nullptr, kEventParamKeyCode, typeUInt32, nullptr, 4, nullptr, &got), paramErr);
    EventRef none = reinterpret_cast<EventRef>(0x1234);
    EXPECT_EQ(CreateEvent(nullptr, 0, 1, 0, 0, &none), eventClassInvalidErr);
    ReleaseEvent(event);
    EXPECT_EQ(GetEventClass(event), 0u);  // a released event is refused, not read
}

// The order of dispatch: the last installed handler first, −9874 goes on
// through the target's handlers, its standard handler, then the parent's
// chain; any other status stops.
TEST(CarbonEvents, DispatchOrderAndStatus)
{
    struct Row {
        const char* trace;
        OSStatus first, second, childStandard, parentHandler;
        const char* log;
        OSStatus result;
    };
    const Row rows[] = {
        {"all pass", eventNotHandledErr, eventNotHandledErr, eventNotHandledErr, eventNotHandledErr, "21SP",
         eventNotHandledErr},
        {"last installed handles", noErr, eventNotHandledErr, eventNotHandledErr, eventNotHandledErr, "2", noErr},
        {"first handles", eventNotHandledErr, noErr, eventNotHandledErr, eventNotHandledErr, "21", noErr},
        {"an error also stops", eventNotHandledErr, -50, eventNotHandledErr, eventNotHandledErr, "21", -50},
        {"standard handles", eventNotHandledErr, eventNotHandledErr, noErr, eventNotHandledErr, "21S", noErr},
        {"parent handles", eventNotHandledErr, eventNotHandledErr, eventNotHandledErr, 7, "21SP", 7},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.trace);
        Chain chain;
        Handlers handlers;
        std::string log;
        StandardLog standard{&log, 'S', row.childStandard};
        SetEventTargetStandardHandler(chain.child, LogStandard, &standard);
        InstallStandardEventHandler(chain.child);
        handlers.Answer(chain.child, log, '1', row.second);
        handlers.Answer(chain.child, log, '2', row.first);
        handlers.Answer(chain.parent, log, 'P', row.parentHandler);
        // Handlers for other kinds never run.
        handlers.Install(chain.child, [&](EventHandlerCallRef, EventRef) { return log += 'X', noErr; },
                         {kTestEvent.eventClass, 99});
        EventRef event = NewTestEvent();
        EXPECT_EQ(SendEventToEventTarget(event, chain.child), row.result);
        EXPECT_EQ(log, row.log);
        ReleaseEvent(event);
    }
}

TEST(CarbonEvents, CallNextEventHandlerRunsTheRestAndReturnsToTheCaller)
{
    Chain chain;
    Handlers handlers;
    std::string log;
    handlers.Answer(chain.parent, log, 'P', 42);
    handlers.Answer(chain.child, log, '1', eventNotHandledErr);
    handlers.Install(chain.child, [&](EventHandlerCallRef call, EventRef event) {
        log += "<";
        const OSStatus next = CallNextEventHandler(call, event);
        log += ">" + std::to_string(next);
        // A second call has nothing left to run.
        EXPECT_EQ(CallNextEventHandler(call, event), eventNotHandledErr);
        return eventNotHandledErr;  // what the caller answers stands: the rest already ran
    });
    EventRef event = NewTestEvent();
    EXPECT_EQ(SendEventToEventTarget(event, chain.child), eventNotHandledErr);
    EXPECT_EQ(log, "<1P>42");
    ReleaseEvent(event);
}

TEST(CarbonEvents, AddAndRemoveTypes)
{
    Chain chain;
    Handlers handlers;
    std::string log;
    const EventTypeSpec other = {kTestEvent.eventClass, 2};
    EventHandlerRef handler = handlers.Answer(chain.child, log, 'h', noErr);
    EXPECT_EQ(AddEventTypesToHandler(handler, 1, &other), noErr);
    EventRef second = nullptr;
    CreateEvent(nullptr, other.eventClass, other.eventKind, 0, 0, &second);
    EXPECT_EQ(SendEventToEventTarget(second, chain.child), noErr);
    EXPECT_EQ(RemoveEventTypesFromHandler(handler, 1, &kTestEvent), noErr);
    EventRef first = NewTestEvent();
    EXPECT_EQ(SendEventToEventTarget(first, chain.child), eventNotHandledErr);
    EXPECT_EQ(log, "h");
    EXPECT_EQ(GetEventHandlerTarget(handler), chain.child);
    EXPECT_EQ(RemoveEventHandler(handler), noErr);
    EXPECT_EQ(RemoveEventHandler(handler), paramErr);
    EXPECT_EQ(GetEventHandlerTarget(handler), nullptr);
    EXPECT_EQ(AddEventTypesToHandler(handler, 1, &other), paramErr);
    ReleaseEvent(first);
    ReleaseEvent(second);
}

// A handler may remove itself, or another handler still to run, or dispose
// of its whole target, during the dispatch (the ASan build checks no freed
// memory is touched).
TEST(CarbonEvents, HandlersAndTargetsMayGoDuringTheirOwnDispatch)
{
    {
        SCOPED_TRACE("a handler removes itself and the next one");
        Chain chain;
        Handlers handlers;
        std::string log;
        EventHandlerRef later = handlers.Answer(chain.child, log, 'L', noErr);
        EventHandlerRef self = nullptr;
        self = handlers.Install(chain.child, [&](EventHandlerCallRef, EventRef) {
            log += 'S';
            EXPECT_EQ(RemoveEventHandler(self), noErr);
            EXPECT_EQ(RemoveEventHandler(later), noErr);
            return eventNotHandledErr;
        });
        handlers.Answer(chain.parent, log, 'P', noErr);
        EventRef event = NewTestEvent();
        EXPECT_EQ(SendEventToEventTarget(event, chain.child), noErr);
        EXPECT_EQ(log, "SP");  // the removed handler is skipped
        log.clear();
        EXPECT_EQ(SendEventToEventTarget(event, chain.child), noErr);
        EXPECT_EQ(log, "P");
        ReleaseEvent(event);
    }
    {
        SCOPED_TRACE("a handler disposes of its target and releases the event");
        EventTargetRef application = GetApplicationEventTarget();
        EventTargetRef target = CreateEventTarget(Chain::ParentOf, &application);
        Handlers handlers;
        std::string log;
        handlers.Answer(target, log, 'n', noErr);
        EventRef event = NewTestEvent();
        handlers.Install(target, [&](EventHandlerCallRef call, EventRef inEvent) {
            DisposeEventTarget(target);
            ReleaseEvent(inEvent);  // the dispatch holds its own reference
            EXPECT_FALSE(IsValidEventTarget(target));
            EXPECT_EQ(CallNextEventHandler(call, inEvent), eventNotHandledErr);
            log += 'd';
            return eventNotHandledErr;
        });
        EXPECT_EQ(SendEventToEventTarget(event, target), eventNotHandledErr);
        EXPECT_EQ(log, "d");
        EXPECT_FALSE(IsValidEventTarget(target));
        EXPECT_EQ(SendEventToEventTarget(event, target), paramErr);  // both gone
    }
}

TEST(CarbonEvents, AnExceptionInAHandlerIsReportedAndPassesTheEventOn)
{
    Chain chain;
    Handlers handlers;
    std::string log;
    handlers.Answer(chain.child, log, 'a', noErr);
    handlers.Install(chain.child, [](EventHandlerCallRef, EventRef) -> OSStatus { throw std::runtime_error("boom"); });
    Diagnostics::Capture capture;
    EventRef event = NewTestEvent();
    EXPECT_EQ(SendEventToEventTarget(event, chain.child), noErr);
    EXPECT_EQ(log, "a");
    EXPECT_NE(capture.Text().find("boom"), std::string::npos) << capture.Text();
    ReleaseEvent(event);
}

TEST(CarbonEvents, TheApplicationsStandardHandlerQuitsOnTheQuitCommand)
{
    TestApplication app;
    bool ran = false;
    QTimer::singleShot(0, [&] {
        ran = true;
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event);
        HICommand command{};
        command.commandID = FourCC("quit");
        SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
        EXPECT_EQ(SendEventToEventTarget(event, GetApplicationEventTarget()), noErr);
        ReleaseEvent(event);
    });
    QTimer::singleShot(5000, [] { ADD_FAILURE() << "the loop did not quit"; });
    RunApplicationEventLoop();
    EXPECT_TRUE(ran);
}

// Posted events are dispatched in priority order, once, on the next pass;
// the queue holds its own reference.
TEST(CarbonEvents, PostedEventsArriveInPriorityOrderOnTheNextPass)
{
    TestApplication app;
    Chain chain;
    Handlers handlers;
    std::string log;
    handlers.Install(chain.child, [&](EventHandlerCallRef, EventRef event) {
        char name = 0;
        GetEventParameter(event, FourCC("name"), typeChar, nullptr, 1, nullptr, &name);
        log += name;
        return noErr;
    });
    auto post = [&](char name, EventPriority priority) {
        EventRef event = NewTestEvent();
        SetEventParameter(event, FourCC("name"), typeChar, 1, &name);
        SetEventParameter(event, kEventParamPostTarget, typeEventTargetRef, sizeof chain.child, &chain.child);
        EXPECT_EQ(PostEventToQueue(GetMainEventQueue(), event, priority), noErr);
        if (name == 'a') {
            EXPECT_EQ(PostEventToQueue(GetMainEventQueue(), event, priority), eventAlreadyPostedErr);
        }
        ReleaseEvent(event);
    };
    post('a', kEventPriorityStandard);
    post('b', kEventPriorityLow);
    post('c', kEventPriorityHigh);
    post('d', kEventPriorityStandard);
    EXPECT_EQ(log, "");  // never from inside the post
    EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 4u);
    QTimer::singleShot(0, [] { QuitApplicationEventLoop(); });
    RunApplicationEventLoop();
    EXPECT_EQ(log, "cadb");
    EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 0u);
}

// A quit asked for inside a nested loop ends the application loop once the
// nested loop has returned; a quit before the loop runs makes it return at once.
TEST(CarbonEvents, QuitWorksBeforeAndInsideNestedLoops)
{
    TestApplication app;
    std::string log;
    QTimer::singleShot(0, [&] {
        QEventLoop nested;
        QTimer::singleShot(0, [&] {
            QuitApplicationEventLoop();
            log += "q";
            QTimer::singleShot(20, [&] {
                log += "n";
                nested.quit();
            });
        });
        nested.exec();
        log += "r";
    });
    QTimer::singleShot(5000, [] { ADD_FAILURE() << "the loop did not quit"; });
    RunApplicationEventLoop();
    EXPECT_EQ(log, "qnr");

    QuitApplicationEventLoop();
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    RunApplicationEventLoop();  // returns at once
    EXPECT_FALSE(ran);
}

}  // namespace
