// Canvas panes in a real window: one open at a time, the canvas's input
// and dirty rects held while one is open and given back (with a repaint of
// what it covered) when it closes, the cancel command, placing and
// coordinates.
#include "SpriteTestSupport.h"

#include <SpriteEngine/Additions/SCPane.h>
#include <SpriteEngine/SCCanvasView.h>

#include <HIToolbox/HIToolboxTesting.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

// Writes down the rects the canvas sends to its view.
class TPaneCanvas : public TProbeCanvas {
    BRINDLET_CLASS(TPaneCanvas, TProbeCanvas)

public:
    static TPaneCanvas* Create(CGSize size)
    {
        TPaneCanvas* canvas = Allocate();
        canvas->SetUpCanvas(size, 0);
        canvas->Initialize();
        return canvas;
    }
    std::vector<CGRect> flushed;
    void FlushUpdates(CGRect rect) override
    {
        flushed.push_back(rect);
        Inherited::FlushUpdates(rect);
    }

protected:
    TPaneCanvas() = default;
};

BRINDLET_DEFINE_CLASS(TPaneCanvas, TProbeCanvas)

class TProbePane : public TCanvasPane {
    BRINDLET_CLASS(TProbePane, TCanvasPane)

public:
    static TProbePane* Create(NSViewController* controller, CGPoint location, TSpriteCanvas* canvas)
    {
        TProbePane* pane = MakeWithViewController<TProbePane>(controller, location, canvas);
        freed.erase(pane);
        return pane;
    }
    static inline std::set<const void*> freed;
    void Deallocate() override
    {
        freed.insert(this);
        Inherited::Deallocate();
    }

protected:
    TProbePane() = default;
};

BRINDLET_DEFINE_CLASS(TProbePane, TCanvasPane)

// Writes down the presses that reach it.
class TPressSprite : public TProbeSprite {
    BRINDLET_CLASS(TPressSprite, TProbeSprite)

public:
    static TPressSprite* Create(TSpriteLayerProtocol* layer, const std::string& name, CGRect frame)
    {
        return Make<TPressSprite>(layer, name, frame);
    }
    void HandleMouseDown(CGPoint point, SInt32 clicks, OSStatus& status) override
    {
        ProbeLog().push_back("down " + name);
        Inherited::HandleMouseDown(point, clicks, status);
    }

protected:
    TPressSprite() = default;
};

BRINDLET_DEFINE_CLASS(TPressSprite, TProbeSprite)

NSView* BuildPaneView(NSViewController*)
{
    return NSView::newView(NSRect{{0, 0}, {80, 40}});
}

class CanvasPaneTest : public SpriteFixture {
protected:
    void SetUp() override
    {
        SpriteFixture::SetUp();
        NSNibRegisterViewBuilder("PaneView", BuildPaneView);
        const Rect bounds = {100, 100, 300, 400};
        ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window_), noErr);
        HIViewRef content = nullptr;
        HIViewFindByID(HIViewGetRoot(window_), kHIViewWindowContentID, &content);
        const HIRect frame = CGRectMake(0, 0, 300, 200);
        HIViewCreatePlain(&frame, &canvasView_);
        HIViewAddSubview(content, canvasView_);
        CFRelease(canvasView_);
        paneCanvas_.Reset(TPaneCanvas::Create({300, 200}));
        paneCanvas_->SetView(canvasView_);
        const auto layer = TObjectRef<TSpriteLayer>::Adopt(TSpriteLayer::Create(0, true));
        paneCanvas_->AppendLayer(layer.get());
        ShowWindow(window_);
        TProbePane::freed.clear();
    }
    void TearDown() override
    {
        paneCanvas_.Reset();
        DisposeWindow(window_);
        NSNibRegisterViewBuilder("PaneView", nullptr);
        SpriteFixture::TearDown();
    }

    TProbePane* OpenPane(CGPoint location, const char* nib = "PaneView")
    {
        NSString* name = NSString::newWithUTF8String(nib);
        NSViewController* controller = NSViewController::newWithNibName(name, nullptr);
        name->release();
        TProbePane* pane = TProbePane::Create(controller, location, paneCanvas_.get());
        controller->release();
        return pane;
    }
    static bool Freed(const TCanvasPane* pane) { return TProbePane::freed.count(pane) != 0; }
    bool CanvasIsHeld() { return !paneCanvas_->IsInputEnabled() && paneCanvas_->IsRectDirty(CGRectMake(0, 0, 1, 1)); }

    WindowRef window_ = nullptr;
    HIViewRef canvasView_ = nullptr;
    TObjectRef<TPaneCanvas> paneCanvas_;
};

TEST_F(CanvasPaneTest, ASecondPaneClosesTheFirstAndTheLastGivesTheCanvasBack)
{
    TProbePane* first = OpenPane({10, 20});
    ControlRef firstView = first->GetView();
    ASSERT_NE(firstView, nullptr);
    EXPECT_EQ(HIViewGetSuperview(firstView), canvasView_);
    EXPECT_EQ(GetCanvasPane(firstView), first);
    EXPECT_TRUE(CGRectEqualToRect(first->GetFrame(), CGRectMake(10, 20, 80, 40)));
    EXPECT_TRUE(CanvasIsHeld());

    TProbePane* second = OpenPane({100, 50});
    EXPECT_TRUE(Freed(first));
    ASSERT_FALSE(Freed(second));
    EXPECT_EQ(HIViewGetSuperview(second->GetView()), canvasView_);
    // The first pane's closing gave the canvas back for a moment; the
    // second, announced before it took the canvas, holds it now.
    EXPECT_TRUE(CanvasIsHeld());

    paneCanvas_->flushed.clear();
    const int framesBefore = paneCanvas_->frames;
    second->InvokeMethod("Cancel");
    EXPECT_TRUE(Freed(second));
    EXPECT_TRUE(paneCanvas_->IsInputEnabled());
    EXPECT_FALSE(paneCanvas_->IsRectDirty(CGRectMake(0, 0, 1, 1)));
    // What the pane covered went to the view, and a frame ran at once.
    bool repainted = false;
    for (const CGRect& rect : paneCanvas_->flushed)
        repainted = repainted || CGRectContainsRect(rect, CGRectMake(100, 50, 80, 40));
    EXPECT_TRUE(repainted);
    EXPECT_GT(paneCanvas_->frames, framesBefore);
}

TEST_F(CanvasPaneTest, TheCancelCommandClosesThePaneAndOtherCommandsPassOn)
{
    TProbePane* pane = OpenPane({0, 0});
    auto held = TObjectRef<TProbePane>::Retain(pane);
    HICommandExtended command{};
    command.commandID = FourCC("abcd");
    OSStatus result = noErr;
    pane->ProcessCommand(command, nullptr, result);
    EXPECT_EQ(result, eventNotHandledErr);
    EXPECT_TRUE(CanvasIsHeld());

    command.commandID = kCanvasPaneCancelCommand;
    result = eventNotHandledErr;
    pane->ProcessCommand(command, nullptr, result);
    EXPECT_EQ(result, noErr);
    // Held by the test, the pane outlives its closing; the canvas is back
    // anyway, and letting go of the pane later changes nothing more.
    EXPECT_FALSE(Freed(pane));
    EXPECT_TRUE(paneCanvas_->IsInputEnabled());
    paneCanvas_->SetInputEnabled(false);
    held.Reset();
    EXPECT_TRUE(Freed(pane));
    EXPECT_FALSE(paneCanvas_->IsInputEnabled());
}

TEST_F(CanvasPaneTest, PlacingCentringAndConvertingBetweenCanvasAndPane)
{
    TProbePane* pane = OpenPane({10, 20});
    EXPECT_TRUE(CGRectEqualToRect(pane->ConvertRectToCanvas(CGRectMake(1, 2, 5, 5)), CGRectMake(11, 22, 5, 5)));
    EXPECT_TRUE(CGRectEqualToRect(pane->ConvertRectFromCanvas(CGRectMake(11, 22, 5, 5)), CGRectMake(1, 2, 5, 5)));
    paneCanvas_->SetViewRect(CGRectMake(0, 0, 301, 200));
    pane->Center(false);
    // (301 - 80) / 2 is cut to whole points.
    EXPECT_TRUE(CGRectEqualToRect(pane->GetFrame(), CGRectMake(110, 80, 80, 40)));
    EXPECT_TRUE(CGRectEqualToRect(pane->ConvertRectToCanvas(CGRectMake(0, 0, 1, 1)), CGRectMake(110, 80, 1, 1)));
    pane->Close();
    EXPECT_TRUE(Freed(pane));
}

TEST_F(CanvasPaneTest, APaneWithoutAViewIsNotShownAndLeavesAnOpenPaneAlone)
{
    TProbePane* open = OpenPane({0, 0});
    TProbePane* empty = OpenPane({0, 0}, "NoSuchNib");
    EXPECT_EQ(empty->GetView(), nullptr);
    EXPECT_FALSE(Freed(open));
    EXPECT_TRUE(CanvasIsHeld());
    empty->Release();
    EXPECT_TRUE(Freed(empty));
    EXPECT_TRUE(CanvasIsHeld());
    open->Close();
    EXPECT_FALSE(CanvasIsHeld());
}

TEST_F(CanvasPaneTest, ClicksReachNoSpriteWhileAPaneIsOpen)
{
    // A canvas in its own canvas view, so that clicks travel the way the
    // user's do.
    HIViewRef content = nullptr;
    HIViewFindByID(HIViewGetRoot(window_), kHIViewWindowContentID, &content);
    HIViewRef view = nullptr;
    ASSERT_EQ(CanvasViewCreate(CGRectMake(0, 0, 300, 200), &view), noErr);
    HIViewAddSubview(content, view);
    CFRelease(view);
    HIViewSetVisible(canvasView_, false);
    // The canvas view takes over a reference of its canvas.
    paneCanvas_->Retain();
    paneCanvas_->SetView(view);
    const auto layer = TObjectRef<TSpriteLayer>::Adopt(TSpriteLayer::Create(0, true));
    paneCanvas_->AppendLayer(layer.get());
    TPressSprite::Create(layer.get(), "card", CGRectMake(200, 120, 60, 40));
    TestActivateWindow(window_);
    TestRunUntilIdle(0.2);

    TProbePane* pane = OpenPane({10, 10});
    TakeLog();
    TestClick(window_, CGPointMake(220, 130));
    TestRunUntilIdle(0.2);
    for (const std::string& line : TakeLog())
        EXPECT_NE(line, "down card");
    pane->Close();
    TestClick(window_, CGPointMake(220, 130));
    TestRunUntilIdle(0.2);
    const std::vector<std::string> after = TakeLog();
    EXPECT_NE(std::find(after.begin(), after.end(), "down card"), after.end());
}

}  // namespace
