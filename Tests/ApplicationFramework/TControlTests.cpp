#include "FrameworkTestSupport.h"

#include <ApplicationFramework/Classes/TControlUnit.h>
#include <ApplicationFramework/Classes/TWindowUnit.h>

#include <CGTestSupport.h>
#include <HIToolbox/Nibs.h>

namespace {

// A control class a nib can name, which writes down its hooks.
class ProbeButton : public TControl {
    BRINDLET_CLASS(ProbeButton, TControl)

public:
    std::vector<std::string> log;
    void EventHit(ControlPartCode part, bool&, OSStatus& result) override
    {
        log.push_back("hit " + std::to_string(part));
        result = noErr;
    }
    void DrawControl(CGContextRef, CGRect, OSStatus& result) override
    {
        log.push_back("draw");
        result = noErr;
    }
    ControlPartCode EventHitTest(CGRect, CGPoint point, OSStatus& result) override
    {
        if (point.x > 10)
            result = noErr;
        return 7;
    }

protected:
    ProbeButton() = default;
};

// The target of control actions named by tag.
class ActionTarget : public TResponder {
    BRINDLET_CLASS(ActionTarget, TResponder)

public:
    static ActionTarget* Create() { return CreateInstance<ActionTarget>(); }
    std::vector<std::string> calls;
    void Initialize() override
    {
        Inherited::Initialize();
        RegisterMethod("pressed", BRINDLET_METHOD(ActionTarget, Pressed));
        RegisterMethod("direct", BRINDLET_METHOD(ActionTarget, Direct));
    }
    void Pressed(TTypeDictionary* parameters)
    {
        calls.push_back(std::string("pressed user=") + (parameters->GetBooleanValue("user") ? "yes" : "no") +
                        " tag=" + parameters->GetStringValue("tag").ToString());
    }
    void Direct(TObject*) { calls.push_back("direct"); }

protected:
    ActionTarget() = default;
};

class ValueLog : public TResponder {
    BRINDLET_CLASS(ValueLog, TResponder)

public:
    static ValueLog* Create() { return CreateInstance<ValueLog>(); }
    std::vector<std::string> keys;
    void Changed(TDictionary* details)
    {
        TTypeDictionary* values = static_cast<TTypeDictionary*>(details);
        keys.push_back(values->GetStringValue("key").ToString() + " from=" + values->GetStringValue("from").ToString());
    }

protected:
    ValueLog() = default;
};

class TControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterClass(ProbeButton::StaticClass());
        ASSERT_EQ(CreateNibReference(CFSTR("main"), &nib_), noErr);
        ASSERT_EQ(CreateWindowFromNib(nib_, CFSTR("Document"), &window_), noErr);
    }
    void TearDown() override
    {
        if (IsValidWindowPtr(window_))
            DisposeWindow(window_);
        DisposeNibReference(nib_);
    }

    ControlRef Tagged(const char* tag)
    {
        ControlRef found = nullptr;
        FindViewWithTag(HIViewGetRoot(window_), tag, found);
        return found;
    }
    static void SetString(ControlRef view, OSType tag, const std::string& text)
    {
        SetControlProperty(view, FourCC("view"), tag, text.size() + 1, text.c_str());
    }

    FrameworkScope scope_;
    IBNibRef nib_ = nullptr;
    WindowRef window_ = nullptr;
};

OSStatus SendToControl(ControlRef view, UInt32 kind, ControlPartCode part, EventRef* kept = nullptr)
{
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassControl, kind, 0, 0, &event);
    SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof view, &view);
    SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
    const OSStatus status = SendEventToEventTarget(event, GetControlEventTarget(view));
    if (kept != nullptr)
        *kept = event;
    else
        ReleaseEvent(event);
    return status;
}

}  // namespace

BRINDLET_DEFINE_CLASS(ProbeButton, TControl)
BRINDLET_DEFINE_CLASS(ActionTarget, TResponder)
BRINDLET_DEFINE_CLASS(ValueLog, TResponder)

TEST_F(TControlTest, EveryViewGetsOneObjectOfTheClassItsTagOrKindCallsFor)
{
    SetString(Tagged("twice"), kControlPropertyTagClass, "ProbeButton");
    SetString(Tagged("group"), kControlPropertyTagClass, "NoSuchClass");
    HIViewCreateSubControls(HIViewGetRoot(window_), nullptr);

    struct Row {
        const char* tag;
        const char* className;
    };
    const Row rows[] = {{"twice", "ProbeButton"}, {"field", "TTextControl"}, {"inner", "TControl"}, {"group", nullptr}};
    std::vector<TControlView*> made;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        TControlView* control = HIViewGetObject(Tagged(row.tag));
        if (row.className == nullptr) {
            EXPECT_EQ(control, nullptr) << "an unknown class made an object";
            continue;
        }
        ASSERT_NE(control, nullptr);
        EXPECT_STREQ(control->ClassName(), row.className);
        made.push_back(control);
    }
    // A second walk makes nothing new.
    HIViewCreateSubControls(HIViewGetRoot(window_), nullptr);
    for (size_t i = 0; i < made.size(); ++i)
        EXPECT_EQ(HIViewGetObject(Tagged(rows[i].tag)), made[i]);

    // The object goes with its view.
    TControlView* inner = HIViewGetObject(Tagged("inner"));
    DisposeControl(Tagged("inner"));
    EXPECT_FALSE(TObject::IsLiveObject(inner));
}

TEST_F(TControlTest, AValueChangeIsSavedUnderTheTargetsClassAndPosted)
{
    TWindow* owner = TWindow::Allocate();
    owner->SetNibWindow("Document", nib_);
    TPreferenceHandler* preferences = TPreferenceHandlerDictionary::Create();
    owner->SetPreferences(preferences);
    owner->Initialize();
    ValueLog* log = ValueLog::Create();
    log->ObserveNotification("TControl.valueChanged", BRINDLET_METHOD(ValueLog, Changed));

    WindowRef window = owner->GetWindowRef();
    ControlRef named = nullptr;
    // A push button: its value is a number (a text view's would be its text).
    FindViewWithTag(HIViewGetRoot(window), "inner", named);
    SetControl32BitMaximum(named, 10);
    // The window gave its views their objects when it was made.
    TControl* control = static_cast<TControl*>(HIViewGetObject(named));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetOwner(), owner);
    control->SetValue(4);
    EXPECT_EQ(preferences->GetIntegerValue("TWindow.inner"), 4);
    EXPECT_EQ(log->keys, (std::vector<std::string>{"TWindow.inner from=inner"}));

    // Without a name tag nothing is saved and the names are empty.
    ControlRef unnamed = HIViewGetRoot(window);
    SetControl32BitMaximum(unnamed, 10);
    TControl* anonymous = static_cast<TControl*>(HIViewGetObject(unnamed));
    ASSERT_NE(anonymous, nullptr);
    log->keys.clear();
    anonymous->SetValue(3);
    EXPECT_EQ(log->keys, (std::vector<std::string>{"TWindow. from="}));
    EXPECT_FALSE(preferences->ContainsValue("TWindow."));

    // A new control over the same name shows the stored value at once.
    DisposeControl(named);
    EXPECT_FALSE(TObject::IsLiveObject(control));
    log->Release();
    owner->Remove();
    preferences->Release();
}

TEST_F(TControlTest, AHitRunsTheActionOrElseTheTaggedMethodOnly)
{
    ActionTarget* target = ActionTarget::Create();
    ControlRef view = Tagged("twice");
    TControl* control = TControl::Create(view, nullptr);
    control->SetTarget(target);

    struct Case {
        const char* name;
        const char* actionTag;
        const char* action;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"neither", nullptr, nullptr, {}},
        {"a tag", "pressed", nullptr, {"pressed user=yes tag=twice"}},
        {"an action and a tag", "pressed", "direct", {"direct"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        target->calls.clear();
        if (c.actionTag)
            SetString(view, kControlPropertyTagAction, c.actionTag);
        control->SetAction(ShortString(c.action ? c.action : ""));
        SendToControl(view, kEventControlHit, 1);
        EXPECT_EQ(target->calls, c.calls);
    }
    target->Release();
}

TEST_F(TControlTest, DrawingAndHitTestingFollowThePartAndTheHooksAnswer)
{
    SetString(Tagged("twice"), kControlPropertyTagClass, "ProbeButton");
    HIViewCreateSubControls(HIViewGetRoot(window_), nullptr);
    ProbeButton* button = static_cast<ProbeButton*>(HIViewGetObject(Tagged("twice")));
    ASSERT_NE(button, nullptr);

    TestBitmap bitmap(8, 8);
    CGContextRef context = bitmap.context();
    ASSERT_NE(context, nullptr);
    auto draw = [&](ControlPartCode part) {
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassControl, kEventControlDraw, 0, 0, &event);
        SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
        SetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, sizeof context, &context);
        OSStatus status = SendEventToEventTarget(event, GetControlEventTarget(Tagged("twice")));
        ReleaseEvent(event);
        return status;
    };
    draw(2);
    EXPECT_TRUE(button->log.empty()) << "a part other than 0 was drawn";
    EXPECT_EQ(draw(0), noErr);
    EXPECT_EQ(button->log, (std::vector<std::string>{"draw"}));

    auto hitTest = [&](CGFloat x, ControlPartCode& part) {
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassControl, kEventControlHitTest, 0, 0, &event);
        const HIPoint point = {x, 4};
        SetEventParameter(event, kEventParamMouseLocation, typeHIPoint, sizeof point, &point);
        part = -1;
        const OSStatus status = SendEventToEventTarget(event, GetControlEventTarget(Tagged("twice")));
        GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
        ReleaseEvent(event);
        return status;
    };
    ControlPartCode part = 0;
    hitTest(20, part);
    EXPECT_EQ(part, 7);
    EXPECT_EQ(button->GetMouseLocation().x, 20);
    hitTest(5, part);
    EXPECT_NE(part, 7) << "a hook that left the event unhandled set a part";
}

TEST(TControlValues, ConstrainingClampsToTheLimitsAsTheyAreCompared)
{
    FrameworkScope scope;
    IBNibRef nib = nullptr;
    ASSERT_EQ(CreateNibReference(CFSTR("main"), &nib), noErr);
    WindowRef window = nullptr;
    ASSERT_EQ(CreateWindowFromNib(nib, CFSTR("Document"), &window), noErr);
    TControl* control = TControl::Create(HIViewGetRoot(window), nullptr);
    struct Case {
        SInt32 minimum, maximum;
        UInt32 value;
        SInt32 expected;
    };
    const Case cases[] = {{0, 10, 12, 10}, {0, 10, 5, 5}, {3, 10, 1, 3}, {-5, 10, 2, 2}, {-5, -1, 7, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.minimum << ".." << c.maximum << " " << c.value);
        control->SetMinimum(c.minimum);
        control->SetMaximum(c.maximum);
        EXPECT_EQ(control->ConstrainValue(c.value), c.expected);
    }
    DisposeWindow(window);
    DisposeNibReference(nib);
}

TEST_F(TControlTest, ANewObjectForAViewTakesOverFromTheOneBefore)
{
    ActionTarget* target = ActionTarget::Create();
    ControlRef view = Tagged("inner");
    SetString(view, kControlPropertyTagAction, "pressed");
    TControl* first = TControl::Create(view, nullptr);
    first->SetTarget(target);
    TControl* second = TControl::Create(view, nullptr);
    EXPECT_FALSE(TObject::IsLiveObject(first)) << "the object before was kept";
    EXPECT_EQ(HIViewGetObject(view), second);
    second->SetTarget(target);
    SendToControl(view, kEventControlHit, 1);
    EXPECT_EQ(target->calls, (std::vector<std::string>{"pressed user=yes tag=inner"})) << "a hit ran twice";
    target->Release();
}
