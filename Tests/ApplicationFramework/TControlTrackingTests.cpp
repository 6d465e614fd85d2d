#include "FrameworkTestSupport.h"

#include <ApplicationFramework/Classes/TControlTrackingUnit.h>
#include <ApplicationFramework/Classes/TControlUnit.h>
#include <ApplicationFramework/Classes/TWindowUnit.h>

#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/Nibs.h>

#include <cmath>

namespace {

std::vector<std::string> gTrackingLog;

std::string At(const char* what, TControl* control, CGPoint point)
{
    return control->GetNameTag().ToString() + " " + what + " " + std::to_string(std::lround(point.x)) + "," +
           std::to_string(std::lround(point.y));
}

// The control class the "Tracking" window's two panes name: it writes down
// every mouse hook with its point.
class TrackingProbe : public TControl {
    BRINDLET_CLASS(TrackingProbe, TControl)

public:
    void EventMouseEntered(CGPoint point, OSStatus&) override { gTrackingLog.push_back(At("entered", this, point)); }
    void EventMouseExited(CGPoint point, OSStatus&) override { gTrackingLog.push_back(At("exited", this, point)); }
    void EventMouseMoved(CGPoint point, OSStatus&) override { gTrackingLog.push_back(At("moved", this, point)); }
    void EventMouseDragged(CGPoint point, OSStatus&) override { gTrackingLog.push_back(At("dragged", this, point)); }
    void EventMouseDown(CGPoint point, OSStatus&) override { gTrackingLog.push_back(At("down", this, point)); }
    void EventMouseUp(CGPoint point, OSStatus&) override { gTrackingLog.push_back(At("up", this, point)); }
    void EventMouseWheelMoved(CGPoint point, SInt32 delta, OSStatus&) override
    {
        gTrackingLog.push_back(At("wheel", this, point) + " " + std::to_string(delta));
    }

protected:
    TrackingProbe() = default;
};

class TControlTrackingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterClass(TrackingProbe::StaticClass());
        ASSERT_EQ(CreateNibReference(CFSTR("main"), &nib_), noErr);
        window_ = TWindow::Create("Tracking", nib_);
        ASSERT_NE(window_->GetWindowRef(), nullptr);
        ShowWindow(window_->GetWindowRef());
        TestRunUntilIdle();
        gTrackingLog.clear();
    }
    void TearDown() override
    {
        if (TObject::IsLiveObject(window_))
            window_->Remove();
        DisposeNibReference(nib_);
        gTrackingLog.clear();
    }

    // Each step's log, taken and cleared.
    std::vector<std::string> Take()
    {
        std::vector<std::string> taken;
        taken.swap(gTrackingLog);
        return taken;
    }

    FrameworkScope scope_;
    IBNibRef nib_ = nullptr;
    TWindow* window_ = nullptr;
};

}  // namespace

BRINDLET_DEFINE_CLASS(TrackingProbe, TControl)

TEST_F(TControlTrackingTest, TheNibsControlsHaveTheirObjectsOnceTheWindowIsMade)
{
    for (const char* name : {"a", "b"}) {
        SCOPED_TRACE(name);
        TControlView* control = window_->FindControl(name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->GetClass().InheritsFrom(TrackingProbe::StaticClass()));
        EXPECT_EQ(static_cast<TControl*>(control)->GetOwner(), window_);
    }
}

TEST_F(TControlTrackingTest, MovingFromOneControlToTheNextExitsTheFirstBeforeEnteringTheSecond)
{
    WindowRef window = window_->GetWindowRef();
    // The panes: "a" at (20, 20), "b" at (100, 20), each 80 × 60.
    struct Step {
        HIPoint point;
        std::vector<std::string> expected;
    };
    const Step steps[] = {
        {{60, 50}, {"a entered 40,30", "a moved 40,30"}},
        {{70, 55}, {"a moved 50,35"}},
        {{140, 50}, {"a exited 120,30", "b entered 40,30", "b moved 40,30"}},
        {{150, 50}, {"b moved 50,30"}},
        {{60, 50}, {"b exited -40,30", "a entered 40,30", "a moved 40,30"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::to_string(step.point.x) + "," + std::to_string(step.point.y));
        TestMouseMove(window, step.point);
        EXPECT_EQ(Take(), step.expected);
    }
    EXPECT_EQ(window_->GetTrackingHandler()->GetHoveredControl(), window_->FindControl("a"));

    TestWheel(window, {30, 30}, 2);
    EXPECT_EQ(Take(), (std::vector<std::string>{"a wheel 10,10 2"}));
}

TEST_F(TControlTrackingTest, DraggingOutOfEveryControlStillExitsTheOneLeft)
{
    WindowRef window = window_->GetWindowRef();
    TestMouseMove(window, {140, 50});
    TestMousePress(window, {140, 50});
    EXPECT_EQ(Take(), (std::vector<std::string>{"b entered 40,30", "b moved 40,30", "b down 40,30"}));

    TestMouseMove(window, {150, 60});
    EXPECT_EQ(Take(), (std::vector<std::string>{"b dragged 50,40"}));
    // Below the panes, then out of the window: b hears it left, and then
    // nothing more, whoever takes the drag.
    TestMouseMove(window, {150, 100});
    EXPECT_EQ(Take(), (std::vector<std::string>{"b exited 50,80"}));
    TestMouseMove(window, {400, 300});
    TestMouseRelease(window, {400, 300});
    EXPECT_EQ(Take(), std::vector<std::string>{});
    EXPECT_NE(window_->GetTrackingHandler()->GetHoveredControl(), window_->FindControl("b"));
}

TEST_F(TControlTrackingTest, TheHoveredControlIsHeldUntilTheHandlerGoes)
{
    WindowRef window = window_->GetWindowRef();
    TestMouseMove(window, {60, 50});
    TControl* hovered = window_->GetTrackingHandler()->GetHoveredControl();
    ASSERT_EQ(hovered, window_->FindControl("a"));
    // The pane goes while the mouse is over it: its object stays until the
    // mouse leaves, and leaving tells it without reaching for the pane.
    hovered->Retain();
    ControlRef pane = hovered->GetControlRef();
    DisposeControl(pane);
    EXPECT_TRUE(TObject::IsLiveObject(hovered));
    Take();
    TestMouseMove(window, {140, 50});
    const std::vector<std::string> log = Take();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.front().find("exited"), std::string::npos) << log.front();
    EXPECT_NE(window_->GetTrackingHandler()->GetHoveredControl(), hovered);
    hovered->Release();
}
