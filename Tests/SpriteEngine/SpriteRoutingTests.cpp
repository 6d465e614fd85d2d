// Events of a real window routed by the canvas view: the order of the
// layer, canvas and sprite hooks, the mouse state, and drags over the view.

#include "SpriteTestSupport.h"

#include <SpriteEngine/Additions/SCPane.h>
#include <SpriteEngine/SCCanvasView.h>

#include <ApplicationFramework/Classes/TDragUnit.h>
#include <Units/Utilities/CGUtilities.h>

#include <CarbonCore/MacMemory.h>
#include <HIToolbox/ControlKinds.h>
#include <HIToolbox/DragTesting.h>
#include <HIToolbox/HIToolboxTesting.h>

#include <QMimeData>

#include <algorithm>
#include <string>
#include <vector>

namespace {

void Log(const std::string& line)
{
    ProbeLog().push_back(line);
}

std::string NameOf(TSpriteProtocol* sprite);

class TRouteLayer : public TSpriteLayer {
    BRINDLET_CLASS(TRouteLayer, TSpriteLayer)

public:
    static TRouteLayer* Create()
    {
        TRouteLayer* layer = Allocate();
        layer->Initialize();
        return layer;
    }
    bool takesDown = false;
    void HandleMouseEvent(EventRef event, TSpriteProtocol* sprite, OSStatus&) override
    {
        Log("layer event " + std::to_string(GetEventKind(event)) + " " + NameOf(sprite));
    }
    void HandleMouseDown(CGPoint, TSpriteProtocol* sprite, UInt32, UInt16, OSStatus& status) override
    {
        Log("layer down " + NameOf(sprite));
        if (takesDown)
            status = noErr;
    }
    void HandleMouseUp(CGPoint, TSpriteProtocol* sprite, OSStatus&) override { Log("layer up " + NameOf(sprite)); }

protected:
    TRouteLayer() = default;
};

BRINDLET_DEFINE_CLASS(TRouteLayer, TSpriteLayer)

class TRouteCanvas : public TProbeCanvas {
    BRINDLET_CLASS(TRouteCanvas, TProbeCanvas)

public:
    static TRouteCanvas* Create(CGSize size, CanvasOptions options)
    {
        TRouteCanvas* canvas = Allocate();
        canvas->SetUpCanvas(size, options);
        canvas->Initialize();
        return canvas;
    }
    bool takesContextual = true;
    void HandleMouseDown(CGPoint, TSpriteLayerProtocol*, TSpriteProtocol* sprite, UInt32, UInt16 button,
                         OSStatus&) override
    {
        Log("canvas down " + NameOf(sprite) + " button " + std::to_string(button));
    }
    void HandleMouseUp(CGPoint, TSpriteLayerProtocol*, TSpriteProtocol* sprite, OSStatus&) override
    {
        Log("canvas up " + NameOf(sprite));
    }
    void HandleContextualClick(CGPoint, TSpriteProtocol* sprite, OSStatus& status) override
    {
        Log("canvas contextual " + NameOf(sprite));
        if (takesContextual)
            status = noErr;
    }
    void HandleDragTrackingEnded() override { Log("canvas drag ended"); }

protected:
    TRouteCanvas() = default;
};

BRINDLET_DEFINE_CLASS(TRouteCanvas, TProbeCanvas)

class TRouteSprite : public TSprite {
    BRINDLET_CLASS(TRouteSprite, TSprite)

public:
    static TRouteSprite* Create(TSpriteLayerProtocol* layer, const std::string& name, CGRect frame)
    {
        TRouteSprite* sprite = Allocate();
        sprite->name = name;
        sprite->SetLayer(layer);
        sprite->Initialize();
        sprite->SetFrame(frame);
        return sprite;
    }
    std::string name;
    bool acceptsDrags = false;
    bool takesKeys = false;
    bool dragsOnPress = false;
    void HandleMouseDown(CGPoint point, SInt32 clickCount, OSStatus& status) override
    {
        Log(name + " down " + std::to_string(clickCount));
        Inherited::HandleMouseDown(point, clickCount, status);
        if (dragsOnPress)
            StartDrag();
    }
    void HandleMouseUp(CGPoint point, OSStatus& status) override
    {
        Log(name + " up");
        Inherited::HandleMouseUp(point, status);
    }
    void HandleMouseClicked(CGPoint, OSStatus&) override { Log(name + " clicked"); }
    void HandleMouseEntered(CGPoint) override { Log(name + " entered"); }
    void HandleMouseExited(CGPoint) override { Log(name + " exited"); }
    void HandleFocusChanged(bool focused) override { Log(name + " focus " + (focused ? "on" : "off")); }
    void HandleSelectionChanged(bool selected, CGPoint, OSStatus&) override
    {
        Log(name + " selection " + (selected ? "on" : "off"));
    }
    void HandleContextualClick(CGPoint, OSStatus&) override { Log(name + " contextual"); }
    void HandleKeyDown(UInt32, UInt32, char character, OSStatus& status) override
    {
        Log(name + " key " + std::string(1, character));
        if (takesKeys)
            status = noErr;
    }
    void ForceUpdate() override
    {
        Log(name + " redraw");
        Inherited::ForceUpdate();
    }
    bool HandleDragAccept(TDrag*) override
    {
        Log(name + " accept " + (acceptsDrags ? "yes" : "no"));
        return acceptsDrags;
    }
    void HandleDragWithin(TDrag*, CGPoint) override
    {
        TSpriteCanvasView* view = TSpriteCanvasView::CanvasGetView(GetCanvas());
        const std::string line = name + " within" + (view != nullptr && view->IsDragTimerRunning() ? " timed" : "");
        if (ProbeLog().empty() || ProbeLog().back() != line)
            Log(line);
    }
    void HandleDragLeave(TDrag*) override { Log(name + " leave"); }
    bool HandleDragReceive(TDrag* drag) override
    {
        const TSprite* carried = nullptr;
        Size size = sizeof(carried);
        if (GetFlavorData(drag->GetDragRef(), 1, kSpriteDragFlavor, &carried, &size, 0) == noErr &&
            size == Size(sizeof(carried)))
            Log(name + " receive " + static_cast<const TRouteSprite*>(carried)->name);
        else
            Log(name + " receive nothing");
        return true;
    }

protected:
    TRouteSprite() = default;
};

BRINDLET_DEFINE_CLASS(TRouteSprite, TSprite)

// A pane on the canvas that writes down when it loses the user's attention.
class TFocusPane : public TCanvasPaneProtocol {
    BRINDLET_CLASS(TFocusPane, TCanvasPaneProtocol)

public:
    static TFocusPane* Create(ControlRef view) { return Make<TFocusPane>(view); }
    TSpriteCanvas* GetCanvas() override { return nullptr; }
    void Center(bool) override {}
    CGRect ConvertRectFromCanvas(CGRect rect) override { return rect; }
    CGRect ConvertRectToCanvas(CGRect rect) override { return rect; }
    void LostFocus(UInt32 reason) override { Log("pane lost focus " + std::to_string(reason)); }

protected:
    TFocusPane() = default;
};

BRINDLET_DEFINE_CLASS(TFocusPane, TCanvasPaneProtocol)

std::string NameOf(TSpriteProtocol* sprite)
{
    return sprite != nullptr ? static_cast<TRouteSprite*>(sprite)->name : "-";
}

using Lines = std::vector<std::string>;

class SpriteRoutingTest : public WindowCanvasFixture {
protected:
    // The canvas (200 × 160) with a routing layer: A at (20, 20), B at
    // (100, 20), both 40 × 40.
    void MakeScene(CanvasOptions options = 0)
    {
        const CGSize size = {200, 160};
        MakeWindowCanvas(size, options);
        // The routing canvas replaces the probe one on the same view.
        canvas_.Reset(TRouteCanvas::Create(size, options));
        canvas_->SetView(canvasView_);
        const auto layer = TObjectRef<TRouteLayer>::Adopt(TRouteLayer::Create());
        canvas_->AppendLayer(layer.get());
        layer_ = layer.get();
        a_ = TRouteSprite::Create(layer_, "A", CGRectMake(20, 20, 40, 40));
        b_ = TRouteSprite::Create(layer_, "B", CGRectMake(100, 20, 40, 40));
        Frame();  // the first draw installs the window's handlers
        TakeLog();
    }
    TRouteCanvas* Canvas() { return static_cast<TRouteCanvas*>(canvas_.get()); }
    // The log without the layer's every-event lines and redraws.
    Lines Hooks()
    {
        Lines lines;
        for (const std::string& line : TakeLog()) {
            if (line.rfind("layer event", 0) != 0)
                lines.push_back(line);
        }
        return lines;
    }

    TRouteLayer* layer_ = nullptr;
    TRouteSprite* a_ = nullptr;
    TRouteSprite* b_ = nullptr;
};

enum class Act { Press, Release, Move };
struct Step {
    Act act;
    CGPoint at;
};

void Play(WindowRef window, const std::vector<Step>& steps)
{
    for (const Step& step : steps) {
        const HIPoint point = CGPointMake(step.at.x + 10, step.at.y + 10);
        switch (step.act) {
        case Act::Press:
            TestMousePress(window, point);
            break;
        case Act::Release:
            TestMouseRelease(window, point);
            break;
        case Act::Move:
            TestMouseMove(window, point);
            break;
        }
    }
}

TEST_F(SpriteRoutingTest, ScriptedMouseInputCallsTheHooksInOrder)
{
    struct Case {
        const char* name;
        bool layerTakesDown;
        std::vector<Step> steps;
        Lines expected;
    };
    const CGPoint onA = {30, 30}, onB = {110, 30}, empty = {180, 140};
    const Case cases[] = {
        {"a layer hook that takes the press stops the canvas and the sprite",
         true,
         {{Act::Press, onA}, {Act::Release, onA}},
         {"layer down A", "layer up A", "canvas up A"}},
        {"press on A and release over B: B hears of it, A is deselected and redrawn",
         false,
         {{Act::Press, onA}, {Act::Release, onB}},
         {"layer down A", "canvas down A button 1", "A focus on", "A down 1", "A redraw",
          // the drag over B: A left, redrawn, then the focused A redrawn
          "A redraw", "A redraw", "layer up B", "canvas up B", "B up", "A redraw"}},
        {"a release over empty canvas ends the selection",
         false,
         {{Act::Press, onA}, {Act::Release, empty}},
         {"layer down A", "canvas down A button 1", "A focus on", "A down 1", "A redraw", "A redraw", "A redraw",
          "layer up -", "canvas up -", "A selection off", "A redraw"}},
        {"from empty canvas to A to B: A entered, then A exited",
         false,
         {{Act::Move, empty}, {Act::Move, onA}, {Act::Move, onB}},
         {"A entered", "A exited"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakeScene();
        layer_->takesDown = c.layerTakesDown;
        if (c.steps.front().act == Act::Press) {
            // The mouse comes to the press first.
            TestMouseMove(window_, InWindow(c.steps.front().at.x, c.steps.front().at.y));
            TakeLog();
        }
        Play(window_, c.steps);
        EXPECT_EQ(Hooks(), c.expected);
        EXPECT_EQ(canvas_->GetCursor().selectedSprite, nullptr);
        TearDown();
        SetUp();
    }
}

TEST_F(SpriteRoutingTest, EveryRoutedEventReachesTheLayerFirst)
{
    MakeScene();
    TestMouseMove(window_, InWindow(30, 30));
    TakeLog();
    TestClick(window_, InWindow(30, 30));
    const Lines log = TakeLog();
    ASSERT_GE(log.size(), 2U);
    EXPECT_EQ(log.front(), "layer event 1 A");
    EXPECT_EQ(log[1], "layer down A");
}

// The four mouse notifications, posted as the events arrive.
TEST_F(SpriteRoutingTest, MouseEventsPostTheCanvasNotifications)
{
    MakeScene();
    const auto observer = TObjectRef<TResponder>::Adopt(TResponder::Create());
    observer->ObserveNotification(ShortString(kCanvasMouseDownNotification),
                                  [](TObject*, void*) { Log("posted down"); });
    observer->ObserveNotification(ShortString(kCanvasMouseUpNotification), [](TObject*, void*) { Log("posted up"); });
    observer->ObserveNotification(ShortString(kCanvasMouseMovedNotification),
                                  [](TObject*, void*) { Log("posted moved"); });
    observer->ObserveNotification(ShortString(kCanvasMouseDraggedNotification),
                                  [](TObject*, void*) { Log("posted dragged"); });
    TestMouseMove(window_, InWindow(180, 140));
    TestMousePress(window_, InWindow(180, 140));
    TestMouseMove(window_, InWindow(170, 130));
    TestMouseRelease(window_, InWindow(170, 130));
    Lines posted;
    for (const std::string& line : TakeLog()) {
        if (line.rfind("posted", 0) == 0 && (posted.empty() || posted.back() != line))
            posted.push_back(line);
    }
    EXPECT_EQ(posted, (Lines{"posted moved", "posted down", "posted dragged", "posted up"}));
}

// The mouse over the canvas itself, not over a pane on it: the canvas's
// panes lose the user's attention.
TEST_F(SpriteRoutingTest, PanesLoseFocusWhenTheMouseIsOverTheCanvasItself)
{
    MakeScene();
    HIViewRef paneView = nullptr;
    const HIRect frame = CGRectMake(140, 100, 50, 40);
    HIViewCreatePlain(&frame, &paneView);
    HIViewAddSubview(canvasView_, paneView);
    CFRelease(paneView);
    const auto pane = TObjectRef<TFocusPane>::Adopt(TFocusPane::Create(paneView));
    TObject* object = pane.get();
    SetControlProperty(paneView, kCanvasPanePropertyCreator, kCanvasPanePropertyData, sizeof(object), &object);

    TestMousePress(window_, InWindow(160, 120));
    TestMouseRelease(window_, InWindow(160, 120));
    Lines log = Hooks();
    EXPECT_EQ(std::count(log.begin(), log.end(), "pane lost focus 1"), 0) << "a press on the pane";
    TestMousePress(window_, InWindow(100, 140));
    log = Hooks();
    EXPECT_EQ(std::count(log.begin(), log.end(), "pane lost focus 1"), 1) << "a press on the canvas";
    TestMouseRelease(window_, InWindow(100, 140));
    RemoveControlProperty(paneView, kCanvasPanePropertyCreator, kCanvasPanePropertyData);
}

// A click on B, then a press on A released over B: B's old press is not
// a click of this release.
TEST_F(SpriteRoutingTest, AReleaseOverAnotherSpriteIsNoClick)
{
    MakeScene();
    TestClick(window_, InWindow(110, 30));
    Lines log = Hooks();
    EXPECT_NE(std::find(log.begin(), log.end(), "B clicked"), log.end());
    TestMousePress(window_, InWindow(30, 30));
    TestMouseRelease(window_, InWindow(110, 30));
    log = Hooks();
    EXPECT_NE(std::find(log.begin(), log.end(), "B up"), log.end());
    EXPECT_EQ(std::find(log.begin(), log.end(), "B clicked"), log.end());
    EXPECT_EQ(std::find(log.begin(), log.end(), "A clicked"), log.end());
}

TEST_F(SpriteRoutingTest, ContextualClicksAndDoubleClicks)
{
    struct Case {
        const char* name;
        CanvasOptions options;
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
        Lines expected;
    };
    // Qt's Meta key is the toolbox's control key.
    const Case cases[] = {
        {"option 32: control-click opens the menu from the press",
         kCanvasOptionContextualFromMouseDown,
         Qt::LeftButton,
         Qt::MetaModifier,
         {"canvas contextual A"}},
        {"option 32: control and shift make an ordinary press",
         kCanvasOptionContextualFromMouseDown,
         Qt::LeftButton,
         Qt::MetaModifier | Qt::ShiftModifier,
         {"layer down A", "canvas down A button 1", "A focus on", "A down 1", "A redraw"}},
        {"option 32: a right-click from the press",
         kCanvasOptionContextualFromMouseDown,
         Qt::RightButton,
         Qt::NoModifier,
         {"canvas contextual A"}},
        {"without option 32: a right-click is the view's contextual event",
         0,
         Qt::RightButton,
         Qt::NoModifier,
         {"layer down A", "canvas down A button 2", "canvas contextual A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MakeScene(c.options);
        TestMouseMove(window_, InWindow(30, 30));
        TakeLog();
        TestMousePress(window_, InWindow(30, 30), c.button, c.modifiers);
        EXPECT_EQ(Hooks(), c.expected);
        TestMouseRelease(window_, InWindow(30, 30), c.button, c.modifiers);
        TearDown();
        SetUp();
    }

    MakeScene();
    TestClick(window_, InWindow(30, 30), Qt::LeftButton, Qt::NoModifier, 2);
    const Lines log = Hooks();
    EXPECT_NE(std::find(log.begin(), log.end(), "A down 2"), log.end()) << "the second press counts two";
}

TEST_F(SpriteRoutingTest, TheWheelScrollsByTwentyAndIsHandled)
{
    MakeScene();
    canvas_->SetDestRect(CGRectMake(0, 0, 400, 400));
    ControlRef vertical = nullptr;
    const Rect bounds = {0, 0, 100, 15};
    ASSERT_EQ(CreateScrollBarControl(window_, &bounds, 100, 0, 400, 10, false, nullptr, &vertical), noErr);
    canvas_->SetScrollBars(nullptr, vertical);
    OSStatus seen = 0;
    EventHandlerRef probe = nullptr;
    // Whether the window's own handling still saw the wheel: the canvas
    // took it.
    const EventTypeSpec wheel = {kEventClassMouse, kEventMouseWheelMoved};
    auto spy = [](EventHandlerCallRef, EventRef, void* data) -> OSStatus {
        ++*static_cast<OSStatus*>(data);
        return eventNotHandledErr;
    };
    InstallApplicationEventHandler(spy, 1, &wheel, &seen, &probe);
    TestWheel(window_, InWindow(150, 100), 1);
    EXPECT_EQ(GetControl32BitValue(vertical), 80) << "a notch up scrolls 20 up";
    EXPECT_EQ(canvas_->GetScrollOrigin().y, 80);
    TestWheel(window_, InWindow(150, 100), -1);
    EXPECT_EQ(GetControl32BitValue(vertical), 100);
    EXPECT_EQ(seen, 0) << "handled by the canvas view";
    RemoveEventHandler(probe);
}

TEST_F(SpriteRoutingTest, KeysGoToTheFocusedSpriteOrToEverySprite)
{
    MakeScene();
    TestKeyClick(window_, Qt::Key_X);
    EXPECT_EQ(Hooks(), Lines{}) << "no focused sprite: no further than the canvas";
    TestClick(window_, InWindow(30, 30));
    TakeLog();
    TestKeyClick(window_, Qt::Key_X);
    EXPECT_EQ(Hooks(), (Lines{"A key x"}));
    TearDown();
    SetUp();

    MakeScene(kCanvasOptionKeysToEverySprite);
    b_->takesKeys = true;
    a_->takesKeys = false;
    TestKeyClick(window_, Qt::Key_X);
    EXPECT_EQ(Hooks(), (Lines{"A key x", "B key x"}));
}

// Drags over the canvas: a sprite that refuses gets no within and the drop
// is refused; one that accepts gets within (the drag timer running), then
// the drop, whose 'sDrg' names the dragged sprite in this process only.
TEST_F(SpriteRoutingTest, DragsReachTheSpriteUnderTheMouse)
{
    MakeScene();
    Ptr buffer = nullptr;
    CGContextRef context = CGBitmapContextCreate(CGSizeMake(8, 8), buffer);
    CGImageRef face = CGBitmapContextCreateImage(context);
    CGContextRelease(context);
    DisposePtr(buffer);
    a_->SetImage(face);
    CGImageRelease(face);
    b_->acceptsDrags = true;
    TRouteSprite* refuser = TRouteSprite::Create(layer_, "R", CGRectMake(20, 100, 40, 40));
    Tick();  // in view

    {
        // Another program's drag dropped on the refusing sprite, then on B.
        QMimeData text;
        text.setText("card");
        EXPECT_FALSE(TestDropMimeData(&text, {OnScreen(180, 140), OnScreen(30, 110), OnScreen(35, 115)}));
        Lines log = Hooks();
        EXPECT_NE(std::find(log.begin(), log.end(), "R accept no"), log.end());
        EXPECT_EQ(std::find(log.begin(), log.end(), "R within"), log.end());
        EXPECT_EQ(std::find(log.begin(), log.end(), "R receive nothing"), log.end());
        EXPECT_TRUE(TestDropMimeData(&text, {OnScreen(180, 140), OnScreen(110, 30), OnScreen(115, 35)}));
        log = Hooks();
        EXPECT_NE(std::find(log.begin(), log.end(), "B receive nothing"), log.end())
            << "another process's drag carries no sprite";
    }
    (void)refuser;

    // A's own drag, from its press to B.
    a_->dragsOnPress = true;
    {
        const TestDragScript script({OnScreen(35, 35), OnScreen(110, 30), OnScreen(115, 35)});
        TestMousePress(window_, InWindow(30, 30));
        TestMouseRelease(window_, InWindow(115, 35));
    }
    TestRunUntilIdle(0.2);
    const Lines log = Hooks();
    const auto accept = std::find(log.begin(), log.end(), "B accept yes");
    const auto within = std::find(log.begin(), log.end(), "B within timed");
    const auto receive = std::find(log.begin(), log.end(), "B receive A");
    ASSERT_NE(accept, log.end());
    ASSERT_NE(within, log.end());
    ASSERT_NE(receive, log.end());
    EXPECT_LT(accept, within);
    EXPECT_LT(within, receive);
    EXPECT_FALSE(TSpriteCanvasView::CanvasGetView(canvas_.get())->IsDragTimerRunning())
        << "the drag timer stops when the mouse is released";
}

}  // namespace

TEST(SpriteRoutingKnownGaps, MouseEventsOutsideTheApplicationsWindows)
{
    GTEST_SKIP() << "Known gap: a canvas asking for the mouse events of the whole system (option 128) gets only "
                    "those over its own windows; X11 reports pointer events elsewhere only to a client that grabs "
                    "the pointer, which would take the mouse from every other program.";
}
