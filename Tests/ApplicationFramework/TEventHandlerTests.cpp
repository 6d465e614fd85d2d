// Event handlers as objects: installation, the kinds a handler asks for,
// the event being handled across nested dispatch, hot keys by id, and a
// window's mouse events as typed hooks.
#include <ApplicationFramework/Classes/TEventHandlerUnit.h>

#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/HotKeys.h>
#include <HIToolbox/MacWindows.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr EventClass kTestClass = FourCC("tEvH");
constexpr EventParamName kParamData = FourCC("data");
constexpr EventParamName kParamSeen = FourCC("seen");

// A handler whose HandleEvent is the test's.
class ScriptedHandler : public TEventHandler {
    BRINDLET_CLASS(ScriptedHandler, TEventHandler)

public:
    using Body = std::function<void(ScriptedHandler&, UInt32 eventClass, UInt32 eventKind, SInt32& result)>;

    static ScriptedHandler* Create(EventTargetRef target, Body body)
    {
        ScriptedHandler* handler = CreateOn<ScriptedHandler>(target);
        handler->body_ = std::move(body);
        return handler;
    }

    void HandleEvent(EventRef, UInt32 eventClass, UInt32 eventKind, SInt32& result) override
    {
        if (body_)
            body_(*this, eventClass, eventKind, result);
    }

protected:
    ScriptedHandler() = default;

private:
    Body body_;
};
BRINDLET_DEFINE_CLASS(ScriptedHandler, TEventHandler)

EventRef NewEvent(UInt32 kind, SInt32 data)
{
    EventRef event = nullptr;
    EXPECT_EQ(CreateEvent(nullptr, kTestClass, kind, 0, 0, &event), noErr);
    SetEventParameter(event, kParamData, typeSInt32, sizeof data, &data);
    return event;
}

OSStatus Send(EventTargetRef target, UInt32 kind, SInt32 data = 0)
{
    EventRef event = NewEvent(kind, data);
    const OSStatus status = SendEventToEventTarget(event, target);
    ReleaseEvent(event);
    return status;
}

// A target of its own for each test, with a plain Carbon handler at the
// bottom of its stack that records the data of what reaches it.
class EventHandlerTest : public testing::Test {
protected:
    void SetUp() override
    {
        target_ = CreateEventTarget(nullptr, nullptr);
        const EventTypeSpec types[] = {{kTestClass, 1}, {kTestClass, 2}, {kTestClass, 3}};
        ASSERT_EQ(InstallEventHandler(target_, BottomHandler, 3, types, this, nullptr), noErr);
    }
    void TearDown() override { DisposeEventTarget(target_); }

    static OSStatus BottomHandler(EventHandlerCallRef, EventRef event, void* self)
    {
        SInt32 data = 0;
        GetEventParameter(event, kParamData, typeSInt32, nullptr, sizeof data, nullptr, &data);
        static_cast<EventHandlerTest*>(self)->reachedBottom_.push_back(data);
        const SInt32 seen = data * 10;
        SetEventParameter(event, kParamSeen, typeSInt32, sizeof seen, &seen);
        return noErr;
    }

    EventTargetRef target_ = nullptr;
    std::vector<SInt32> reachedBottom_;
};

TEST_F(EventHandlerTest, OnlyAppendedKindsReachHandleEventAndTheUnhandledOnesGoOn)
{
    std::vector<std::pair<UInt32, UInt32>> seen;
    ScriptedHandler* handler =
        ScriptedHandler::Create(target_, [&](ScriptedHandler&, UInt32 eventClass, UInt32 eventKind, SInt32& result) {
            EXPECT_EQ(result, eventNotHandledErr);  // the preset
            seen.emplace_back(eventClass, eventKind);
            if (eventKind == 2)
                result = noErr;
        });
    ASSERT_NE(handler->GetHandlerRef(), nullptr);
    EXPECT_EQ(Send(target_, 1, 7), noErr);  // nothing appended yet: straight to the bottom
    EXPECT_TRUE(seen.empty());

    handler->AppendEvent(kTestClass, 1);
    handler->AppendEvent(kTestClass, 2);
    EXPECT_EQ(Send(target_, 1, 1), noErr);  // left unhandled: the bottom handler answers
    EXPECT_EQ(Send(target_, 2, 2), noErr);  // handled: ends there
    EXPECT_EQ(Send(target_, 3, 3), noErr);  // never appended
    EXPECT_EQ(seen, (std::vector<std::pair<UInt32, UInt32>>{{kTestClass, 1}, {kTestClass, 2}}));
    EXPECT_EQ(reachedBottom_, (std::vector<SInt32>{7, 1, 3}));

    // Released, the object's handler is gone from the target.
    handler->Release();
    EXPECT_EQ(Send(target_, 2, 4), noErr);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(reachedBottom_.back(), 4);
}

TEST_F(EventHandlerTest, ParametersAndInheritActOnTheEventBeingHandledOnly)
{
    SInt32 inherited = 0;
    SInt32 seenAfterInherit = 0;
    ScriptedHandler* handler =
        ScriptedHandler::Create(target_, [&](ScriptedHandler& self, UInt32, UInt32, SInt32& result) {
            inherited = self.InheritEventHandler();
            self.GetParameter(kParamSeen, typeSInt32, sizeof seenAfterInherit, &seenAfterInherit);
            const SInt32 answer = 99;
            EXPECT_EQ(self.SetParameter(kParamData, typeSInt32, sizeof answer, &answer), noErr);
            result = noErr;
        });
    handler->AppendEvent(kTestClass, 1);

    EventRef event = NewEvent(1, 5);
    EXPECT_EQ(SendEventToEventTarget(event, target_), noErr);
    EXPECT_EQ(inherited, noErr);
    EXPECT_EQ(seenAfterInherit, 50);  // what the next handler wrote
    SInt32 data = 0;
    GetEventParameter(event, kParamData, typeSInt32, nullptr, sizeof data, nullptr, &data);
    EXPECT_EQ(data, 99);  // what the handler wrote reaches the sender
    ReleaseEvent(event);

    // Outside a dispatch there is no event: the calls fail and touch nothing.
    EXPECT_EQ(handler->GetCurrentEvent(), nullptr);
    EXPECT_EQ(handler->GetCallRef(), nullptr);
    SInt32 buffer = 1234;
    EXPECT_EQ(handler->GetParameter(kParamData, typeSInt32, sizeof buffer, &buffer), paramErr);
    EXPECT_EQ(buffer, 1234);
    EXPECT_EQ(handler->SetParameter(kParamData, typeSInt32, sizeof buffer, &buffer), paramErr);
    EXPECT_EQ(handler->InheritEventHandler(), paramErr);
    handler->Release();
}

// A handler that sends another event to its own target while handling one
// goes on with its own event afterwards: the parameters it reads and the
// handler it inherits are the outer event's.
TEST_F(EventHandlerTest, ANestedDispatchHandsTheOuterEventBack)
{
    std::vector<SInt32> dataRead;
    ScriptedHandler* handler =
        ScriptedHandler::Create(target_, [&](ScriptedHandler& self, UInt32, UInt32 eventKind, SInt32& result) {
            if (eventKind == 1) {
                EXPECT_EQ(Send(self.GetTarget(), 2, 200), noErr);
            }
            SInt32 data = 0;
            EXPECT_EQ(self.GetParameter(kParamData, typeSInt32, sizeof data, &data), noErr);
            dataRead.push_back(data);
            result = self.InheritEventHandler();
        });
    handler->AppendEvent(kTestClass, 1);
    handler->AppendEvent(kTestClass, 2);

    EventRef outer = NewEvent(1, 100);
    const EventRef outerAddress = outer;
    EXPECT_EQ(SendEventToEventTarget(outer, target_), noErr);
    EXPECT_EQ(dataRead, (std::vector<SInt32>{200, 100}));
    EXPECT_EQ(reachedBottom_, (std::vector<SInt32>{200, 100}));
    SInt32 seen = 0;
    EXPECT_EQ(GetEventParameter(outer, kParamSeen, typeSInt32, nullptr, sizeof seen, nullptr, &seen), noErr);
    EXPECT_EQ(seen, 1000);
    EXPECT_EQ(outer, outerAddress);
    ReleaseEvent(outer);
    EXPECT_EQ(handler->GetCurrentEvent(), nullptr);
    handler->Release();
}

TEST_F(EventHandlerTest, AHandlerMayReleaseItselfOrThrowWhileHandling)
{
    ScriptedHandler* handler = nullptr;
    handler = ScriptedHandler::Create(target_, [&](ScriptedHandler& self, UInt32, UInt32 eventKind, SInt32& result) {
        if (eventKind == 2)
            throw std::runtime_error("broken");
        result = noErr;
        self.Release();  // the last reference: the object goes once its dispatch is over
    });
    handler->AppendEvent(kTestClass, 1);
    handler->AppendEvent(kTestClass, 2);

    {
        Diagnostics::Capture capture;
        EXPECT_EQ(Send(target_, 2, 8), noErr);  // the exception stops at the handler; the event goes on
        ASSERT_EQ(capture.Lines().size(), 1u);
        EXPECT_EQ(capture.Lines()[0].rfind("ScriptedHandler.HandleEvent:broken:", 0), 0u) << capture.Lines()[0];
    }
    EXPECT_EQ(reachedBottom_, (std::vector<SInt32>{8}));

    EXPECT_EQ(Send(target_, 1, 9), noErr);
    EXPECT_FALSE(TObject::IsLiveObject(handler));
    EXPECT_EQ(Send(target_, 1, 10), noErr);
    EXPECT_EQ(reachedBottom_, (std::vector<SInt32>{8, 10}));
}

TEST(EventHandler, AFailedInstallationWarnsAndTheObjectReceivesNothing)
{
    EventTargetRef gone = CreateEventTarget(nullptr, nullptr);
    DisposeEventTarget(gone);
    const struct {
        const char* name;
        std::function<TEventHandler*()> make;
    } rows[] = {
        {"nil target", [] { return TEventHandler::Create(nullptr); }},
        {"disposed target", [gone] { return TEventHandler::Create(gone); }},
        {"nil window", [] { return TEventHandler::CreateWithWindow(nullptr); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Diagnostics::Capture capture;
        TEventHandler* handler = row.make();
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{"Warning: TEventHandler failed to install! -50"});
        EXPECT_EQ(handler->GetHandlerRef(), nullptr);
        handler->AppendEvent(kTestClass, 1);  // nothing to add to
        handler->Release();
        EXPECT_EQ(capture.Lines().size(), 1u);
    }
}

// ---- hot keys ----

constexpr UInt32 kKeyK = 40;
constexpr UInt32 kKeyJ = 38;
constexpr UInt32 kKeyF5 = 96;

class RecordingHotKeys : public THotKeyHandler {
    BRINDLET_CLASS(RecordingHotKeys, THotKeyHandler)

public:
    static RecordingHotKeys* Create() { return CreateOn<RecordingHotKeys>(GetApplicationEventTarget()); }

    void EventHotKeyPressed(EventHotKeyID hotKeyID, SInt32& result) override
    {
        pressed.push_back(hotKeyID);
        result = noErr;
    }

    std::vector<EventHotKeyID> pressed;

protected:
    RecordingHotKeys() = default;
};
BRINDLET_DEFINE_CLASS(RecordingHotKeys, THotKeyHandler)

class HotKeyHandlerTest : public testing::Test {
protected:
    void SetUp() override { handler_ = RecordingHotKeys::Create(); }
    void TearDown() override
    {
        if (handler_)
            handler_->Release();
    }

    RecordingHotKeys* handler_ = nullptr;
};

TEST_F(HotKeyHandlerTest, IdsUpTo32RegisterAndReportTheirPressesAndLargerOnesAreRefused)
{
    const struct {
        UInt32 id;
        OSStatus status;
    } rows[] = {{0, noErr}, {32, noErr}, {33, paramErr}, {0xFFFFFFFF, paramErr}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        handler_->pressed.clear();
        EXPECT_EQ(handler_->RegisterHotKey(kKeyK, cmdKey | shiftKey, row.id), row.status);
        if (row.status == noErr) {
            EXPECT_NE(handler_->GetHotKeyRef(row.id), nullptr);
            EXPECT_EQ(HotKeyInjectPress(kKeyK, cmdKey | shiftKey), noErr);
            ASSERT_EQ(handler_->pressed.size(), 1u);
            EXPECT_EQ(handler_->pressed[0].signature, FourCC("thtk"));
            EXPECT_EQ(handler_->pressed[0].id, row.id);
            handler_->UnregisterHotKey(row.id);
            EXPECT_EQ(handler_->GetHotKeyRef(row.id), nullptr);
        } else {
            EXPECT_EQ(handler_->GetHotKeyRef(row.id), nullptr);
            handler_->UnregisterHotKey(row.id);  // nothing to give back
        }
        // Nothing stays registered either way.
        EXPECT_EQ(HotKeyInjectPress(kKeyK, cmdKey | shiftKey), eventHotKeyInvalidErr);
    }
}

TEST_F(HotKeyHandlerTest, ANewKeyUnderAnIdReplacesTheOldOneAndAFailedOneKeepsIt)
{
    ASSERT_EQ(handler_->RegisterHotKey(kKeyK, cmdKey, 5), noErr);
    ASSERT_EQ(handler_->RegisterHotKey(kKeyJ, cmdKey, 6), noErr);
    ASSERT_EQ(handler_->RegisterHotKey(kKeyF5, cmdKey | optionKey, 5), noErr);
    EXPECT_EQ(HotKeyInjectPress(kKeyK, cmdKey), eventHotKeyInvalidErr);  // given back
    EXPECT_EQ(HotKeyInjectPress(kKeyF5, cmdKey | optionKey), noErr);
    ASSERT_EQ(handler_->pressed.size(), 1u);
    EXPECT_EQ(handler_->pressed[0].id, 5u);

    // The combination of id 6 cannot be had twice: id 5 keeps its key.
    const EventHotKeyRef before = handler_->GetHotKeyRef(5);
    EXPECT_EQ(handler_->RegisterHotKey(kKeyJ, cmdKey, 5), eventHotKeyExistsErr);
    EXPECT_EQ(handler_->GetHotKeyRef(5), before);
    EXPECT_EQ(HotKeyInjectPress(kKeyF5, cmdKey | optionKey), noErr);
    EXPECT_EQ(HotKeyInjectPress(kKeyJ, cmdKey), noErr);
    ASSERT_EQ(handler_->pressed.size(), 3u);
    EXPECT_EQ(handler_->pressed[1].id, 5u);
    EXPECT_EQ(handler_->pressed[2].id, 6u);

    // Releasing the handler gives back every key it holds.
    handler_->Release();
    handler_ = nullptr;
    EXPECT_EQ(HotKeyInjectPress(kKeyF5, cmdKey | optionKey), eventHotKeyInvalidErr);
    EXPECT_EQ(HotKeyInjectPress(kKeyJ, cmdKey), eventHotKeyInvalidErr);
}

// ---- mouse ----

class RecordingMouse : public TMouseHandler {
    BRINDLET_CLASS(RecordingMouse, TMouseHandler)

public:
    static RecordingMouse* Create(WindowRef window) { return CreateForWindow<RecordingMouse>(window); }

    void EventMouseUp(UInt16 button, UInt32 clickCount, CGPoint point, SInt32&) override
    {
        Note("up", button, clickCount, point);
    }
    void EventMouseDown(UInt16 button, UInt32 clickCount, CGPoint point, SInt32&) override
    {
        Note("down", button, clickCount, point);
    }
    void EventMouseDragged(CGPoint point, SInt32&) override { Note("dragged", 0, 0, point); }
    void EventMouseMoved(CGPoint point, SInt32&) override { Note("moved", 0, 0, point); }
    void EventMouseWheelMoved(CGPoint point, SInt32 delta, UInt16 axis, SInt32&) override
    {
        Note("wheel", axis, UInt32(delta), point);
    }

    std::vector<std::string> calls;

protected:
    RecordingMouse() = default;

private:
    void Note(const char* what, UInt32 a, UInt32 b, CGPoint point)
    {
        calls.push_back(std::string(what) + " " + std::to_string(a) + " " + std::to_string(SInt32(b)) + " " +
                        std::to_string(int(point.x)) + "," + std::to_string(int(point.y)));
    }
};
BRINDLET_DEFINE_CLASS(RecordingMouse, TMouseHandler)

// Input through Qt's window-system path reaches the typed hooks with the
// window-relative point and the button, click count, wheel axis and delta.
TEST(MouseHandler, AWindowsMouseInputReachesTheTypedHooks)
{
    WindowRef window = nullptr;
    const Rect bounds = {100, 100, 300, 400};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window), noErr);
    ShowWindow(window);
    TestRunUntilIdle();
    RecordingMouse* handler = RecordingMouse::Create(window);
    EXPECT_EQ(handler->GetWindow(), window);
    EXPECT_EQ(handler->GetTarget(), GetWindowEventTarget(window));

    TestMouseMove(window, {20, 30});
    TestClick(window, {40, 50}, Qt::RightButton);
    TestMousePress(window, {60, 70});
    TestMouseMove(window, {65, 75});
    TestMouseRelease(window, {65, 75});
    TestWheel(window, {10, 15}, -2);
    TestWheel(window, {10, 15}, 1, Qt::Horizontal);
    TestRunUntilIdle();
    // (A press moves the pointer to its point first.)
    EXPECT_EQ(handler->calls, (std::vector<std::string>{
                                  "moved 0 0 20,30",
                                  "moved 0 0 40,50",
                                  "down 2 1 40,50",
                                  "up 2 1 40,50",
                                  "moved 0 0 60,70",
                                  "down 1 1 60,70",
                                  "dragged 0 0 65,75",
                                  "up 1 1 65,75",
                                  "wheel 1 -2 10,15",
                                  "wheel 0 1 10,15",
                              }));
    handler->Release();
    DisposeWindow(window);
}

}  // namespace
