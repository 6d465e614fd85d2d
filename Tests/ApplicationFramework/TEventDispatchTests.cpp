// Cocoa controls' actions reaching framework objects by name.
#include <ApplicationFramework/Classes/TEventDispatchUnit.h>

#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class TActionTarget : public TObject {
    BRINDLET_CLASS(TActionTarget, TObject)

public:
    static TActionTarget* Create() { return CreateInstance<TActionTarget>(); }
    void Initialize() override
    {
        Inherited::Initialize();
        RegisterMethod("HandleRefresh", BRINDLET_METHOD(TActionTarget, HandleRefresh));
        RegisterMethod("HandleShowDone", BRINDLET_METHOD(TActionTarget, HandleShowDone));
    }
    void HandleRefresh(NSObject* sender) { senders.push_back(sender); }
    void HandleShowDone(NSButton* sender) { states.push_back(sender->state()); }

    std::vector<NSObject*> senders;
    std::vector<NSControlStateValue> states;
};

BRINDLET_DEFINE_CLASS(TActionTarget, TObject)

class EventDispatch : public testing::Test {
protected:
    void SetUp() override
    {
        button_ = NSButton::newButton(CGRectMake(0, 0, 80, 20));
        first_ = TActionTarget::Create();
        second_ = TActionTarget::Create();
    }
    void TearDown() override
    {
        DispatchTable->RemoveAll();
        button_->release();
        first_->Release();
        second_->Release();
    }

    NSButton* button_ = nullptr;
    TActionTarget* first_ = nullptr;
    TActionTarget* second_ = nullptr;
};

}  // namespace

TEST_F(EventDispatch, AControlsActionReachesItsTargetByName)
{
    ASSERT_NE(DispatchCenter, nullptr);
    TEventDispatch::RegisterAction(button_, "HandleRefresh", first_);
    EXPECT_EQ(button_->target(), DispatchCenter);
    EXPECT_EQ(button_->action(), "HandleRefresh");
    EXPECT_EQ(first_->GetRetainCount(), 2) << "the table holds its target";

    button_->performClick();
    EXPECT_EQ(first_->senders, (std::vector<NSObject*>{button_}));

    // A switch's action sees the state the click left.
    NSButton* toggle = NSButton::newButton(CGRectMake(0, 0, 20, 20));
    toggle->setButtonType(NSSwitchButton);
    TEventDispatch::RegisterAction(toggle, "HandleShowDone", first_);
    toggle->performClick();
    toggle->performClick();
    EXPECT_EQ(first_->states, (std::vector<NSControlStateValue>{NSOnState, NSOffState}));
    toggle->release();
}

TEST_F(EventDispatch, RegisteringAnActionAgainKeepsTheLastTarget)
{
    TEventDispatch::RegisterAction(button_, "HandleRefresh", first_);
    NSButton* other = NSButton::newButton(CGRectMake(0, 0, 80, 20));
    TEventDispatch::RegisterAction(other, "HandleRefresh", second_);
    EXPECT_EQ(first_->GetRetainCount(), 1) << "the table let go of the first";

    button_->performClick();
    other->performClick();
    EXPECT_TRUE(first_->senders.empty());
    EXPECT_EQ(second_->senders, (std::vector<NSObject*>{button_, other}));
    other->release();
}

TEST_F(EventDispatch, MissingControlsAndTargetsAreReported)
{
    Diagnostics::Capture capture;
    TEventDispatch::RegisterAction(nullptr, "HandleRefresh", first_);
    EXPECT_FALSE(DispatchTable->ContainsKey("HandleRefresh"));
    EXPECT_EQ(first_->GetRetainCount(), 1);

    TEventDispatch::RegisterAction(button_, "HandleRefresh", first_);
    TEventDispatch::RegisterAction(button_, "HandleRefresh", nullptr);
    button_->performClick();
    EXPECT_TRUE(first_->senders.empty()) << "a nil target takes the old one away";
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"Warning: control for action HandleRefresh was not found.",
                                                         "Warning: the action HandleRefresh could not be found."}));
}
