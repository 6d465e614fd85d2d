// The canvas: the frame loop and its gate, pausing, the process-loop
// request, scrolling and coordinates, hit testing, the mouse state and
// teardown.
#include "SpriteTestSupport.h"

#include <Support/Diagnostics.h>

namespace {

using SpriteCanvasTest = SpriteFixture;

TEST_F(SpriteCanvasTest, FrameRateGatesTheTicks)
{
    struct Case {
        UInt16 rate;
        const char* processedTicks;  // one character per tick: 1 processed
    };
    const Case cases[] = {{60, "111111"}, {30, "010101"}, {0, "111111"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rate " << c.rate);
        TProbeCanvas* canvas = MakeCanvas();
        canvas->SetFrameRate(c.rate);
        Pass();
        EXPECT_EQ(canvas->frames, c.rate == 0 ? 1 : 0) << "the timer's first pass is no tick of a gated rate";
        std::string processed;
        for (int tick = 0; tick < 6; ++tick) {
            const int before = canvas->frames;
            Tick();
            processed += canvas->frames - before == 1 ? '1' : (canvas->frames == before ? '0' : '?');
        }
        EXPECT_EQ(processed, c.processedTicks);
    }
}

TEST_F(SpriteCanvasTest, TickThatIsNotDueStillProcessesADirtyLayer)
{
    TProbeCanvas* canvas = MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    canvas->SetFrameRate(30);
    Tick(2);
    ASSERT_EQ(canvas->frames, 1);
    // Outside the visible bounds nothing becomes dirty.
    canvas->AppendDirtyRect(CGRectMake(200, 200, 10, 10));
    EXPECT_FALSE(canvas->IsDirty());
    Tick();
    EXPECT_EQ(canvas->frames, 1) << "not due, nothing dirty";
    canvas->AppendDirtyRect(CGRectMake(5, 5, 10, 10));
    EXPECT_EQ(layer->GetDirtyRectCount(), 1);
    Tick();
    EXPECT_EQ(canvas->frames, 2) << "not due, but a layer is dirty";
    EXPECT_EQ(canvas->GetRedrawMode(), 2) << "the first frame turns mode 1 into 2";
}

TEST_F(SpriteCanvasTest, HiddenViewProcessesOnlyWithTheOption)
{
    for (const CanvasOptions options : {CanvasOptions(0), CanvasOptions(kCanvasOptionProcessWhenHidden)}) {
        SCOPED_TRACE(testing::Message() << "options " << options);
        TProbeCanvas* canvas = MakeCanvas({100, 100}, options);
        HIViewSetVisible(view_, false);
        Tick(3);
        EXPECT_EQ(canvas->frames, options == 0 ? 0 : 3);
        HIViewSetVisible(view_, true);
    }
}

TEST_F(SpriteCanvasTest, CanvasWithoutViewDoesNothing)
{
    canvas_.Reset(TProbeCanvas::Create({100, 100}, 0));
    Tick(3);
    canvas_->ProcessLoop();
    EXPECT_EQ(canvas_->frames, 0);
}

TEST_F(SpriteCanvasTest, PauseCountingNests)
{
    TProbeCanvas* canvas = MakeCanvas();
    AddLayer();
    Tick();
    ASSERT_EQ(canvas->frames, 1);
    // Pending changes are processed before the canvas stands still.
    canvas->AppendDirtyRect(CGRectMake(0, 0, 10, 10));
    canvas->PauseTimer();
    EXPECT_EQ(canvas->frames, 2);
    canvas->PauseTimer();
    canvas->ResumeTimer();
    EXPECT_TRUE(canvas->IsPaused());
    EXPECT_FALSE(canvas->IsRunning());
    const int framesWhilePaused = canvas->frames;
    Tick(3);
    EXPECT_EQ(canvas->frames, framesWhilePaused) << "paused: the timer does not fire";
    canvas->ResumeTimer();
    EXPECT_FALSE(canvas->IsPaused());
    EXPECT_EQ(canvas->GetPauseCount(), 0);
    Tick();
    EXPECT_EQ(canvas->frames, framesWhilePaused + 1);
}

TEST_F(SpriteCanvasTest, ProcessLoopRequestsCoalesceAndNeverNest)
{
    TProbeCanvas* canvas = MakeCanvas();
    canvas->SetPaused(true);
    canvas->SetFrameRate(0);
    canvas->SetNeedsProcessLoop();
    canvas->SetNeedsProcessLoop();
    Pass();
    EXPECT_EQ(canvas->frames, 0) << "not from inside the call";
    clock_.Advance(0.002);
    Pass();
    EXPECT_EQ(canvas->frames, 1) << "two requests, one frame";
    Tick(3);
    EXPECT_EQ(canvas->frames, 1);
    EXPECT_TRUE(canvas->IsPaused()) << "ProcessLoop leaves the pause as it was";

    // A frame asking for another frame from inside gets none.
    canvas->reenter = true;
    canvas->ProcessLoop();
    EXPECT_EQ(canvas->frames, 2);
    EXPECT_FALSE(canvas->IsInProcessLoop());

    // A direct run answers a pending request; the canvas may then go.
    canvas->reenter = false;
    canvas->SetNeedsProcessLoop();
    canvas->ProcessLoop();
    canvas_.Reset();
    clock_.Advance(0.01);
    Pass();
}

TEST_F(SpriteCanvasTest, ScrollToClampsAndMovesSubviewsByTheFinalOrigin)
{
    struct Case {
        Float32 x, y;
        CGPoint origin;
        bool clamped;
    };
    const Case cases[] = {
        {-5, 20, {0, 10}, true},
        {3.7f, 4.2f, {3, 4}, false},
        {150, -1, {100, 0}, true},
    };
    TProbeCanvas* canvas = MakeCanvas({100, 10});
    HIViewRef subview = nullptr;
    const HIRect subviewFrame = CGRectMake(0, 0, 8, 8);
    HIViewCreatePlain(&subviewFrame, &subview);
    canvas->PlaceInSuperviewAt(subview, CGPointMake(20, 30));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "ScrollTo(" << c.x << ", " << c.y << ")");
        EXPECT_EQ(canvas->ScrollTo(c.x, c.y), c.clamped);
        EXPECT_EQ(canvas->GetScrollOrigin().x, c.origin.x);
        EXPECT_EQ(canvas->GetScrollOrigin().y, c.origin.y);
        HIRect frame = CGRectZero;
        HIViewGetFrame(subview, &frame);
        EXPECT_EQ(frame.origin.x, 20 - c.origin.x);
        EXPECT_EQ(frame.origin.y, 30 - c.origin.y);
    }
}

TEST_F(SpriteCanvasTest, ViewAndCanvasCoordinatesRoundTripExactly)
{
    TProbeCanvas* canvas = MakeCanvas({1000, 1000});
    canvas->ScrollTo(3, 4);
    const CGPoint points[] = {{10, 10}, {10.25f, -7.5f}, {123.5f, 0.75f}, {0, 999}};
    for (const Float32 zoom : {0.5f, 1.0f, 2.0f}) {
        canvas->SetZoomFactor(zoom);
        for (const CGPoint p : points) {
            SCOPED_TRACE(testing::Message() << "zoom " << zoom << " point " << p.x << ", " << p.y);
            const CGPoint back = canvas->ConvertPointToCanvas(canvas->ConvertPointToView(p));
            EXPECT_EQ(back.x, p.x);
            EXPECT_EQ(back.y, p.y);
            const CGRect r = CGRectMake(p.x, p.y, 12.5f, 3);
            const CGRect rectBack = canvas->ConvertRectToCanvas(canvas->ConvertRectToView(r));
            EXPECT_TRUE(CGRectEqualToRect(rectBack, r));
        }
    }
    canvas->SetZoomFactor(2);
    const CGPoint inView = canvas->ConvertPointToView(CGPointMake(10, 10));
    EXPECT_EQ(inView.x, 17);
    EXPECT_EQ(inView.y, 16);
    const CGRect rectInView = canvas->TransformRect(CGRectMake(10, 10, 5, 6));
    EXPECT_TRUE(CGRectEqualToRect(rectInView, CGRectMake(17, 16, 10, 12)));
}

TEST_F(SpriteCanvasTest, WindowAndScreenConversionsAddTheViewAndWindowOffsets)
{
    const Rect bounds = {100, 50, 300, 450};  // content at (50, 100) on the screen
    WindowRef window = nullptr;
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window), noErr);
    HIViewRef content = nullptr;
    HIViewFindByID(HIViewGetRoot(window), kHIViewWindowContentID, &content);
    const HIRect frame = CGRectMake(30, 40, 200, 100);
    HIViewRef view = nullptr;
    HIViewCreatePlain(&frame, &view);
    HIViewAddSubview(content, view);
    CFRelease(view);
    canvas_.Reset(TProbeCanvas::Create({400, 400}, 0));
    canvas_->SetView(view);
    EXPECT_EQ(canvas_->GetWindow(), window);
    canvas_->SetZoomFactor(2);
    canvas_->ScrollTo(4, 6);

    const CGPoint p = CGPointMake(10, 10);
    const CGPoint inWindow = canvas_->ConvertPointToWindow(p);
    EXPECT_EQ(inWindow.x, 46);
    EXPECT_EQ(inWindow.y, 54);
    const CGPoint onScreen = canvas_->ConvertPointToScreen(p);
    EXPECT_EQ(onScreen.x, 96);
    EXPECT_EQ(onScreen.y, 154);
    const CGPoint back = canvas_->ConvertPointFromScreen(onScreen);
    EXPECT_EQ(back.x, p.x);
    EXPECT_EQ(back.y, p.y);

    const CGRect r = CGRectMake(10, 10, 5, 8);
    EXPECT_TRUE(CGRectEqualToRect(canvas_->ConvertRectToWindow(r), CGRectMake(46, 54, 10, 16)));
    EXPECT_TRUE(CGRectEqualToRect(canvas_->ConvertRectToScreen(r), CGRectMake(96, 154, 10, 16)));
    EXPECT_TRUE(CGRectEqualToRect(canvas_->ConvertRectFromScreen(canvas_->ConvertRectToScreen(r)), r));
    canvas_.Reset();
    DisposeWindow(window);
}

TEST_F(SpriteCanvasTest, FindSpriteTakesTheTopmostHitOfTheFirstLayerThatAnswers)
{
    TProbeCanvas* canvas = MakeCanvas();
    TSpriteLayer* lower = AddLayer(1);
    TSpriteLayer* upper = AddLayer(1);
    TProbeSprite* below = TProbeSprite::Create(lower, "below", CGRectMake(0, 0, 50, 50));
    TProbeSprite* over = TProbeSprite::Create(lower, "over", CGRectMake(10, 10, 50, 50));
    below->SetVerticalAxis(1);
    over->SetVerticalAxis(2);
    TProbeSprite* top = TProbeSprite::Create(upper, "top", CGRectMake(0, 0, 20, 20));
    Tick();

    TSpriteLayerProtocol* layer = nullptr;
    EXPECT_EQ(canvas->FindSprite(CGPointMake(15, 15), layer), top);
    EXPECT_EQ(layer, upper);
    EXPECT_EQ(canvas->FindSprite(CGPointMake(30, 30), layer), over) << "the later of two overlapping sprites";
    EXPECT_EQ(layer, lower);
    EXPECT_EQ(canvas->FindSprite(CGPointMake(90, 90), layer), nullptr);
    EXPECT_EQ(layer, upper) << "the top layer took the point without a hit";

    upper->SetVisible(false);
    EXPECT_EQ(canvas->FindSprite(CGPointMake(15, 15), layer), over) << "a hidden layer blocks nothing";
    over->SetVisible(false);
    EXPECT_EQ(canvas->FindSprite(CGPointMake(15, 15)), below) << "hidden sprites are skipped";
    below->Remove();
    EXPECT_EQ(canvas->FindSprite(CGPointMake(5, 5)), nullptr) << "a sprite on its way out is skipped";
}

// A mouse above the main screen has a negative flipped y; mirroring it
// (|y − H|) would find the sprite below the top edge instead.
TEST_F(SpriteCanvasTest, SimulatedHoverFlipsScreenCoordinatesAndTracksTheHoveredSprite)
{
    TProbeCanvas* canvas = MakeCanvas();
    TSpriteLayer* layer = AddLayer(1);
    TProbeSprite::Create(layer, "above", CGRectMake(0, -60, 30, 20));
    TProbeSprite::Create(layer, "mirror", CGRectMake(0, 40, 30, 20));
    Tick();
    TakeLog();
    const CGFloat height = TSpriteCanvas::MainScreenFrame().size.height;
    ASSERT_GT(height, 0);

    canvas->mouse = CGPointMake(10, height + 50);
    canvas->SimulateMouseHover();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"entered above", "hover above"}));

    canvas->SimulateMouseHover();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"entered above", "hover above"}))
        << "entered is sent again to the hovered sprite";

    canvas->mouse = CGPointMake(90, height - 90);
    canvas->SimulateMouseHover();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"exited above"}));
    EXPECT_EQ(canvas->movedOverEmptyCanvas, 1);
    EXPECT_EQ(canvas->GetCursor().hoveredSprite, nullptr);
}

// On a paused canvas a removal is processed at once; the sprite must
// outlive the call that is dispatching to it.
TEST_F(SpriteCanvasTest, SpriteRemovingItselfInAHoverHookLivesToTheEndOfTheCall)
{
    TProbeCanvas* canvas = MakeCanvas();
    TSpriteLayer* layer = AddLayer(1);
    TProbeSprite* sprite = TProbeSprite::Create(layer, "leaving", CGRectMake(0, 0, 30, 30));
    sprite->onEntered = [](TProbeSprite* self) { self->Remove(); };
    Tick();
    canvas->SetPaused(true);
    TakeLog();
    canvas->mouse = CGPointMake(10, TSpriteCanvas::MainScreenFrame().size.height - 10);
    canvas->SimulateMouseHover();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"entered leaving", "hover leaving", "freed leaving"}));
    EXPECT_EQ(CFArrayGetCount(layer->GetTable()), 0);
    EXPECT_EQ(canvas->GetCursor().hoveredSprite, nullptr);
}

TEST_F(SpriteCanvasTest, RemovingTheFocusedSpriteTellsItBeforeTheCursorForgetsIt)
{
    TProbeCanvas* canvas = MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    TProbeSprite* sprite = TProbeSprite::Create(layer, "focused", CGRectMake(0, 0, 30, 30));
    TProbeSprite* other = TProbeSprite::Create(layer, "other", CGRectMake(40, 0, 30, 30));
    sprite->GiveFocus();
    EXPECT_TRUE(sprite->IsFocused());
    other->GiveFocus();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"focus focused on", "focus focused off", "focus other on"}));

    // Selected and hovered too: the hook sees the rest still in place.
    canvas->CursorState().selectedSprite = other;
    canvas->CursorState().hoveredSprite = other;
    canvas->SetCursorSprite(other);
    canvas->HandleRemoveSprite(other);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"focus other off selected"}));
    const CanvasCursor cursor = canvas->GetCursor();
    EXPECT_EQ(cursor.focusedSprite, nullptr);
    EXPECT_EQ(cursor.selectedSprite, nullptr);
    EXPECT_EQ(cursor.hoveredSprite, nullptr);
    EXPECT_EQ(cursor.cursorSprite, nullptr);
}

TEST_F(SpriteCanvasTest, TeardownLeavesSurvivingSpritesAndLayersDetached)
{
    TProbeCanvas* canvas = MakeCanvas();
    TSpriteLayer* layer = AddLayer();
    layer->Retain();
    TProbeSprite* focused = TProbeSprite::Create(layer, "focused", CGRectMake(0, 0, 30, 30));
    TProbeSprite* held = TProbeSprite::Create(layer, "held", CGRectMake(40, 0, 30, 30));
    held->Retain();
    focused->GiveFocus();
    (void)canvas;
    TakeLog();

    canvas_.Reset();
    EXPECT_EQ(layer->GetCanvas(), nullptr);
    EXPECT_EQ(held->GetCanvas(), nullptr);
    EXPECT_EQ(TProbeSprite::freed, 0) << "the layer, still held, keeps its sprites";

    layer->Release();
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"freed focused"}));
    EXPECT_EQ(held->GetLayer(), nullptr);
    held->SetNeedsDisplay();
    held->Remove();  // off any layer: our reference goes at once
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"freed held"}));
}

TEST_F(SpriteCanvasTest, FrameStatisticsCountWithinSixtyTickWindows)
{
    TProbeCanvas* canvas = MakeCanvas();
    Tick(5);
    const CanvasFrameStatistics first = canvas->GetFrameStatistics();
    EXPECT_EQ(first.windowStart, 61U) << "the first frame opens a window";
    EXPECT_EQ(first.frameCount, 4);
    Tick(60);
    const CanvasFrameStatistics later = canvas->GetFrameStatistics();
    EXPECT_EQ(later.windowStart, 121U);
    EXPECT_EQ(later.frameCount, 4);
}

TEST_F(SpriteCanvasTest, DrawEndsTheFramesDirtyRectsAndMayProcessFirst)
{
    for (const CanvasOptions options : {CanvasOptions(0), CanvasOptions(kCanvasOptionProcessBeforeDraw)}) {
        SCOPED_TRACE(testing::Message() << "options " << options);
        TProbeCanvas* canvas = MakeCanvas({100, 100}, options);
        TSpriteLayer* layer = AddLayer();
        TProbeSprite::Create(layer, "a", CGRectMake(0, 0, 10, 10));
        canvas->SetZoomFactor(2);
        canvas->ScrollTo(4, 6);
        ASSERT_TRUE(canvas->IsDirty());
        canvas->Draw();
        EXPECT_EQ(canvas->frames, options == 0 ? 0 : 1);
        EXPECT_FALSE(canvas->IsDirty());
        const CGAffineTransform t = canvas->GetTransform();
        EXPECT_EQ(t.a, 2);
        EXPECT_EQ(t.d, 2);
        EXPECT_EQ(t.tx, -4);
        EXPECT_EQ(t.ty, -6);

        EXPECT_FALSE(canvas->IsRectDirty(CGRectMake(0, 0, 10, 10)));
        const bool wasLocked = canvas->SetLockDirtyRects(true);
        EXPECT_FALSE(wasLocked);
        EXPECT_TRUE(canvas->IsRectDirty(CGRectMake(500, 500, 1, 1))) << "locked: everything counts as dirty";
        EXPECT_TRUE(canvas->SetLockDirtyRects(false));
        const auto sprites = TObjectRef<TObjectArray>::Adopt(canvas->CopySprites());
        EXPECT_EQ(sprites->Count(), 1);
    }
}

TEST_F(SpriteCanvasTest, StatusTexts)
{
    TProbeCanvas* canvas = MakeCanvas();
    canvas->SetStatus(CFRangeMake(3, 7));
    EXPECT_EQ(canvas->GetStatus().ToString(), "location: 3 length: 7");
    canvas->SetStatus(CGPointMake(1.5f, 2));
    EXPECT_EQ(canvas->GetStatus().ToString(), "x: 1.5 y: 2");
    canvas->SetStatus(CGRectMake(0, -4, 10.25f, 3));
    EXPECT_EQ(canvas->GetStatus().ToString(), "x: 0 y: -4 width: 10.25 height: 3");
    canvas->SetStatus(ShortString(std::string(300, 'a')));
    EXPECT_EQ(canvas->GetStatus().ToString().size(), 255U);
}

TEST_F(SpriteCanvasTest, ScreenBoundsAndMouseTrackingOptions)
{
    TProbeCanvas* canvas = MakeCanvas();
    const CGRect main = TSpriteCanvas::MainScreenFrame();
    const CGRect all = TSpriteCanvas::BoundingScreenFrameForDevices();
    const CGRect placement = TSpriteCanvas::ScreenPositioningBounds();
    EXPECT_FALSE(CGRectIsEmpty(main));
    EXPECT_TRUE(CGRectContainsRect(all, main));
    EXPECT_FALSE(CGRectIsEmpty(placement));
    EXPECT_LE(placement.size.height, main.size.height);
    EXPECT_FALSE(canvas->GetTracksMouseWhenInactive());
    canvas->SetTracksMouseWhenInactive(true);
    EXPECT_TRUE(canvas->GetTracksMouseWhenInactive());
}

}  // namespace
