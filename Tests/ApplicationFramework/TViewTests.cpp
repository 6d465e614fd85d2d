#include "FrameworkTestSupport.h"

#include <ApplicationFramework/Classes/TViewUnit.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <HIToolbox/Nibs.h>

namespace {

// A control object that writes down what the preference walk asked of it.
class ProbeControl : public TControlView {
    BRINDLET_CLASS(ProbeControl, TControlView)

public:
    static ProbeControl* Create(ControlRef view, std::vector<std::string>* log)
    {
        ProbeControl* control = CreateInstance<ProbeControl>();
        control->view_ = view;
        control->log_ = log;
        TObject* object = control;
        SetControlProperty(view, kControlPropertyCreatorFramework, kControlPropertyTagObject, sizeof object, &object);
        return control;
    }
    void SetPreferences(TPreferenceHandler* handler) override
    {
        log_->push_back(HIViewGetNameTag(view_).ToString() + (handler ? " bound" : " unbound"));
    }
    void HandlePreferencesChanged() override { log_->push_back(HIViewGetNameTag(view_).ToString() + " changed"); }
    void RestoreValue() override { log_->push_back(HIViewGetNameTag(view_).ToString() + " restored"); }
    ControlRef GetControlRef() const override { return view_; }

protected:
    ProbeControl() = default;

private:
    ControlRef view_ = nullptr;
    std::vector<std::string>* log_ = nullptr;
};

class CommandView : public TView {
    BRINDLET_CLASS(CommandView, TView)

public:
    static CommandView* Create() { return CreateInstance<CommandView>(); }
    std::vector<std::pair<UInt32, ControlRef>> processed;
    std::vector<UInt32> updated;
    void ProcessCommand(const HICommandExtended& command, EventRef, OSStatus& result) override
    {
        processed.emplace_back(command.commandID, GetCommandSource());
        result = noErr;
    }
    void UpdateCommandStatus(const HICommandExtended& command, EventRef, OSStatus&) override
    {
        updated.push_back(command.commandID);
    }

protected:
    CommandView() = default;
};

class TViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateNibReference(CFSTR("main"), &nib_), noErr);
        ASSERT_EQ(CreateWindowFromNib(nib_, CFSTR("Document"), &window_), noErr);
    }
    void TearDown() override
    {
        DisposeWindow(window_);
        DisposeNibReference(nib_);
    }

    ControlRef Tagged(const char* tag)
    {
        ControlRef found = nullptr;
        FindViewWithTag(HIViewGetRoot(window_), tag, found);
        return found;
    }

    FrameworkScope scope_;
    IBNibRef nib_ = nullptr;
    WindowRef window_ = nullptr;
};

OSStatus SendCommand(EventTargetRef target, UInt32 kind, UInt32 commandID, ControlRef fromControl)
{
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassCommand, kind, 0, 0, &event);
    HICommandExtended command{};
    command.commandID = commandID;
    if (fromControl != nullptr) {
        command.attributes = kHICommandFromControl;
        command.source.control = fromControl;
    }
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    const OSStatus status = SendEventToEventTarget(event, target);
    ReleaseEvent(event);
    return status;
}

}  // namespace

BRINDLET_DEFINE_CLASS(ProbeControl, TControlView)
BRINDLET_DEFINE_CLASS(CommandView, TView)

TEST_F(TViewTest, AWindowAndAnHIViewAnswerForThemselves)
{
    TView* windowView = TView::Create();
    windowView->SetViewObject(reinterpret_cast<HIObjectRef>(window_));
    ControlRef group = Tagged("group");
    ASSERT_NE(group, nullptr);
    TView* paneView = TView::Create();
    paneView->SetViewObject(group);

    struct Row {
        const char* name;
        TView* view;
        ControlRef root;
        const char* nameTag;
        EventTargetRef target;
    };
    const Row rows[] = {
        {"window", windowView, HIViewGetRoot(window_), "(WindowRef)", GetWindowEventTarget(window_)},
        {"view", paneView, group, "group", GetControlEventTarget(group)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.view->GetViewRoot(), row.root);
        EXPECT_EQ(row.view->GetViewOwner(), window_);
        EXPECT_EQ(row.view->GetEventTarget(), row.target);
        EXPECT_EQ(row.view->GetNameTag(), row.nameTag);
        EXPECT_TRUE(row.view->ValidObject());
        EXPECT_EQ(row.view->GetActionTarget(), row.view) << "a view without an action target acts itself";
    }
    // The reference constant is the window object only when it is a live one.
    EXPECT_EQ(paneView->GetViewWindow(), nullptr);
    SetWRefCon(window_, windowView);
    EXPECT_EQ(paneView->GetViewWindow(), windowView);
    SetWRefCon(window_, nullptr);

    TView* detached = TView::Create();
    EXPECT_FALSE(detached->ValidObject());
    EXPECT_EQ(detached->GetViewRoot(), nullptr);
    detached->Release();
    windowView->Release();
    paneView->Release();
}

TEST_F(TViewTest, TagsAreFoundDepthFirstWithTheStartViewFirst)
{
    ControlRef group = Tagged("group");
    ControlRef deep = nullptr;
    ASSERT_EQ(GetIndexedSubControl(group, 2, &deep), noErr);
    EXPECT_EQ(Tagged("twice"), deep) << "the deep view comes before the later top-level one";
    EXPECT_EQ(Tagged("nothing"), nullptr);

    // From a view, the view itself is looked at first.
    TView* paneView = TView::Create();
    paneView->SetViewObject(group);
    EXPECT_EQ(paneView->FindSubview("group"), group);
    EXPECT_EQ(paneView->FindSubview("field"), nullptr) << "a view searches only below itself";

    std::vector<std::string> log;
    ProbeControl* control = ProbeControl::Create(deep, &log);
    EXPECT_EQ(paneView->FindControl("twice"), control);
    EXPECT_EQ(HIViewGetObject(deep), control);
    EXPECT_EQ(paneView->FindControl("inner"), nullptr) << "a view without a control object";

    // A name tag of only its terminator is empty.
    SetControlProperty(deep, kViewPropertyCreator, kViewPropertyTagName, 1, "");
    EXPECT_EQ(HIViewGetNameTag(deep), "");
    control->Release();
    paneView->Release();
}

TEST_F(TViewTest, PreferencesReachEveryControlBelowInTreeOrder)
{
    std::vector<std::string> log;
    ProbeControl* twice = ProbeControl::Create(Tagged("twice"), &log);
    ProbeControl* field = ProbeControl::Create(Tagged("field"), &log);
    TView* view = TView::Create();
    view->SetViewObject(reinterpret_cast<HIObjectRef>(window_));
    TPreferenceHandler* handler = TPreferenceHandler::Create();
    view->SetPreferences(handler);
    EXPECT_EQ(handler->GetRetainCount(), 2);
    view->SetPreferenceKey(ShortString(std::string(80, 'k')));
    EXPECT_EQ(view->GetPreferenceKey().Length(), 63u);
    view->UpdateControlPreferences();
    EXPECT_EQ(log, (std::vector<std::string>{"twice bound", "twice changed", "twice restored", "field bound",
                                             "field changed", "field restored"}));
    view->Release();
    EXPECT_EQ(handler->GetRetainCount(), 1);
    handler->Release();
    twice->Release();
    field->Release();
}

TEST_F(TViewTest, CommandsReachTheViewWithTheirSourceUntilItGoes)
{
    CommandView* view = CommandView::Create();
    view->SetViewObject(reinterpret_cast<HIObjectRef>(window_));
    view->InstallCommandHandler(window_);
    view->InstallCommandHandler(nullptr);
    view->InstallCommandHandlerWithTarget(nullptr);
    EXPECT_EQ(view->CountCommandHandlers(), 1);

    ControlRef button = Tagged("twice");
    EXPECT_EQ(SendCommand(GetWindowEventTarget(window_), kEventCommandProcess, FourCC("ok  "), button), noErr);
    EXPECT_EQ(SendCommand(GetWindowEventTarget(window_), kEventCommandProcess, FourCC("menu"), nullptr), noErr);
    SendCommand(GetWindowEventTarget(window_), kEventCommandUpdateStatus, FourCC("stat"), nullptr);
    ASSERT_EQ(view->processed.size(), 2u);
    EXPECT_EQ(view->processed[0], std::make_pair(FourCC("ok  "), button));
    EXPECT_EQ(view->processed[1], std::make_pair(FourCC("menu"), ControlRef(nullptr)))
        << "the source of the last command stayed";
    EXPECT_EQ(view->updated, (std::vector<UInt32>{FourCC("stat")}));

    // Gone with the view: the window's commands go on to the standard handling.
    view->Release();
    EXPECT_EQ(SendCommand(GetWindowEventTarget(window_), kEventCommandProcess, FourCC("ok  "), button),
              eventNotHandledErr);
}

TEST_F(TViewTest, FocusMovesToAViewAndIsFoundInItsSubtree)
{
    ControlRef field = Tagged("field");
    TView* view = TView::Create();
    view->SetViewObject(field);
    EXPECT_FALSE(view->ContainsFocus());
    view->SetFocus();
    EXPECT_TRUE(view->ContainsFocus());
    EXPECT_EQ(Err, noErr);
    std::vector<std::string> log;
    ProbeControl* control = ProbeControl::Create(field, &log);
    EXPECT_EQ(view->GetFocusedControl(), control);
    TView* windowView = TView::Create();
    windowView->SetViewObject(reinterpret_cast<HIObjectRef>(window_));
    EXPECT_FALSE(windowView->ContainsFocus()) << "a window view never contains the focus";
    windowView->Release();
    control->Release();
    view->Release();
}
