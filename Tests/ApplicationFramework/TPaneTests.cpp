// Panes moving between windows, and contextual windows closing on Return
// and on the loss of the user focus, with input through the window system.
#include "FrameworkTestSupport.h"

#include <ApplicationFramework/Classes/TPaneUnit.h>

#include <HIToolbox/HITheme.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/Nibs.h>

namespace {

// A pane that writes down its hooks.
class RecordingPane : public TPane {
    BRINDLET_CLASS(RecordingPane, TPane)

public:
    std::vector<std::string> log;
    std::vector<CGRect> drawnBounds;

    static RecordingPane* Create(const char* name, IBNibRef nib) { return Make<RecordingPane>(name, nib); }

    void HandleAttached() override { log.push_back("attached"); }
    void HandleDetached() override { log.push_back("detached"); }
    void HandleOwnerChanged(WindowRef window) override
    {
        log.push_back(window == GetWindow() ? "owner" : "owner elsewhere");
    }
    void DrawBackground(CGRect bounds, CGContextRef, OSStatus&) override { drawnBounds.push_back(bounds); }

protected:
    RecordingPane() = default;
};

class TPaneTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreateNibReference(CFSTR("main"), &nib_), noErr); }
    void TearDown() override
    {
        for (WindowRef window : windows_)
            DisposeWindow(window);
        DisposeNibReference(nib_);
    }

    // A window of the nib with its framework object.
    WindowRef Host(const char* name = "CocoaHost")
    {
        TWindow* object = TWindow::Create(name, nib_);
        windows_.push_back(object->GetWindowRef());
        return object->GetWindowRef();
    }

    static HIRect Frame(ControlRef view)
    {
        HIRect frame = CGRectZero;
        HIViewGetFrame(view, &frame);
        return frame;
    }

    FrameworkScope scope_;
    IBNibRef nib_ = nullptr;
    std::vector<WindowRef> windows_;
};

}  // namespace

BRINDLET_DEFINE_CLASS(RecordingPane, TPane)

TEST_F(TPaneTest, AttachingAPaneDetachesTheOneTheWindowShowed)
{
    WindowRef window = Host();
    WindowRef other = Host();
    RecordingPane* first = RecordingPane::Create("Pane", nib_);
    RecordingPane* second = RecordingPane::Create("Pane", nib_);
    ASSERT_NE(first->GetView(), nullptr);
    EXPECT_EQ(first->GetWindow(), first->GetLoadedWindow());

    first->Attach(window);
    ControlRef root = HIViewGetRoot(window);
    EXPECT_EQ(HIViewGetSuperview(first->GetView()), root);
    EXPECT_TRUE(CGRectEqualToRect(Frame(first->GetView()), Frame(root)));
    EXPECT_TRUE(HIViewIsLatentlyVisible(first->GetView()));
    EXPECT_EQ(GetWindowPane(window), first);
    EXPECT_EQ(first->GetOwner(), GetWindowObject(window));
    EXPECT_EQ(first->GetWindow(), window);
    EXPECT_EQ(first->GetDestination(), window);
    // The focus went to the first view of the window that takes it: the
    // pane's field (the window's own views take none).
    EXPECT_TRUE(HIViewSubtreeContainsFocus(first->GetView()));
    EXPECT_EQ(first->log, (std::vector<std::string>{"attached", "owner"}));

    second->Attach(window);
    EXPECT_EQ(GetWindowPane(window), second);
    EXPECT_EQ(HIViewGetSuperview(first->GetView()), nullptr);
    EXPECT_FALSE(HIViewIsLatentlyVisible(first->GetView()));
    EXPECT_EQ(first->log.back(), "detached");

    // Moved to another window, a pane belongs there alone: the window it
    // left does not pull it out when it shows another pane.
    first->log.clear();
    first->Attach(other);
    second->Attach(other);
    first->Attach(window);
    EXPECT_EQ(GetWindowPane(other), second);
    EXPECT_EQ(HIViewGetSuperview(second->GetView()), HIViewGetRoot(other));
    EXPECT_EQ(GetWindowPane(window), first);
    second->Attach(window);
    EXPECT_EQ(GetWindowPane(other), nullptr);
    EXPECT_EQ(HIViewGetSuperview(second->GetView()), root);
    EXPECT_EQ(HIViewGetSuperview(first->GetView()), nullptr);

    first->Release();
    second->Release();
    EXPECT_EQ(GetWindowPane(window), second);
}

TEST_F(TPaneTest, ClosingReleasesThePaneOnceHoweverOftenItWasPlaced)
{
    WindowRef window = Host();
    WindowRef other = Host();
    TPane* pane = TPane::Create("Pane", nib_);
    const SInt32 created = pane->GetRetainCount();
    pane->Attach(window);
    pane->Attach(other);
    pane->Attach(window);
    ControlRef container = pane->FindSubview("cocoa");
    ASSERT_NE(container, nullptr);
    HIViewRef holder = nullptr;
    const HIRect holderFrame = Frame(HIViewGetRoot(other));
    ASSERT_EQ(HIViewCreatePlain(&holderFrame, &holder), noErr);
    HIViewAddSubview(HIViewGetRoot(other), holder);
    CFRelease(holder);
    pane->AddSubview(holder);
    EXPECT_EQ(pane->GetRetainCount(), created + 1);
    // Placed in a view, the pane is no window's pane any more.
    EXPECT_EQ(TWindowGetPane(window), nullptr);
    EXPECT_EQ(TWindowGetPane(other), nullptr);

    pane->Release();
    ControlRef view = pane->GetView();
    WindowRef loaded = pane->GetLoadedWindow();
    pane->Close();
    EXPECT_FALSE(TObject::IsLiveObject(pane));
    EXPECT_FALSE(IsValidControlHandle(view));
    EXPECT_FALSE(IsValidControlHandle(container));
    EXPECT_FALSE(IsValidWindowPtr(loaded));
    UInt16 left = 99;
    EXPECT_EQ(CountSubControls(holder, &left), noErr);
    EXPECT_EQ(left, 0);
}

TEST_F(TPaneTest, TheCloseButtonClosesOnlyAClosablePane)
{
    for (const bool closable : {false, true}) {
        SCOPED_TRACE(closable ? "closable" : "not closable");
        WindowRef window = Host();
        ShowWindow(window);
        SelectWindow(window);
        TPane* pane = TPane::Create("Pane", nib_);
        pane->SetClosable(closable);
        pane->Attach(window);
        pane->Release();
        ControlRef button = pane->FindSubview("close");
        ASSERT_NE(button, nullptr);
        HIRect frame = CGRectZero;
        HIViewGetBounds(button, &frame);
        HIViewConvertRect(&frame, button, nullptr);
        TestClick(window, {CGRectGetMidX(frame), CGRectGetMidY(frame)});
        TestRunUntilIdle();
        EXPECT_EQ(TObject::IsLiveObject(pane), !closable);
        EXPECT_EQ(GetWindowPane(window) != nullptr, !closable);
        if (!closable)
            pane->Close();
        EXPECT_EQ(GetWindowPane(window), nullptr);
    }
}

TEST_F(TPaneTest, EachSetterChangesOnePartOfTheFrame)
{
    WindowRef window = Host();
    TPane* pane = TPane::Create("Pane", nib_);
    pane->Attach(window);
    struct Row {
        const char* name;
        void (*change)(TPane*);
        CGRect expected;
    };
    const CGRect start = CGRectMake(40, 30, 200, 100);
    const Row rows[] = {
        {"x", [](TPane* p) { p->SetLocationX(5); }, CGRectMake(5, 30, 200, 100)},
        {"y", [](TPane* p) { p->SetLocationY(50); }, CGRectMake(40, 50, 200, 100)},
        {"width", [](TPane* p) { p->SetWidth(120); }, CGRectMake(40, 30, 120, 100)},
        {"height", [](TPane* p) { p->SetHeight(60); }, CGRectMake(40, 30, 200, 60)},
        {"size", [](TPane* p) { p->SetSize(CGSizeMake(80, 70)); }, CGRectMake(40, 30, 80, 70)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        pane->SetFrame(start);
        row.change(pane);
        EXPECT_TRUE(CGRectEqualToRect(pane->GetFrame(), row.expected));
    }
    pane->SetFrame(CGRectMake(1, 2, 200.9f, 100.7f));
    EXPECT_EQ(pane->GetWidth(), 200u);
    EXPECT_EQ(pane->GetHeight(), 100u);
    pane->SetEnabled(false);
    EXPECT_FALSE(pane->IsEnabled());
    pane->Close();
    pane->Release();
}

TEST_F(TPaneTest, AContainerLosesItsOnlyViewButKeepsSeveral)
{
    WindowRef window = Host();
    for (const UInt16 before : {0, 1, 2}) {
        SCOPED_TRACE(before);
        HIViewRef container = nullptr;
        const HIRect frame = CGRectMake(10, 20, 150, 90);
        ASSERT_EQ(HIViewCreatePlain(&frame, &container), noErr);
        HIViewAddSubview(HIViewGetRoot(window), container);
        CFRelease(container);
        for (UInt16 i = 0; i < before; ++i) {
            HIViewRef occupant = nullptr;
            HIViewCreatePlain(&frame, &occupant);
            HIViewAddSubview(container, occupant);
            CFRelease(occupant);
        }
        TPane* pane = TPane::Create("Pane", nib_);
        pane->AddSubview(container);
        UInt16 after = 0;
        CountSubControls(container, &after);
        EXPECT_EQ(after, before == 1 ? 1 : before + 1);
        EXPECT_EQ(HIViewGetLastSubview(container), pane->GetView());
        EXPECT_TRUE(CGRectEqualToRect(Frame(pane->GetView()), CGRectMake(0, 0, 150, 90)));
        pane->Release();
        pane->Close();
    }
}

TEST_F(TPaneTest, AnInvalidPaneSaysSoAndClosesQuietly)
{
    struct Row {
        const char* name;
        TPane* (*make)(IBNibRef);
        const char* warning;
    };
    const Row rows[] = {
        {"nil view", [](IBNibRef) { return TPane::Create(nullptr); }, "Warning: TPane pane is invalid!"},
        {"no such window", [](IBNibRef nib) { return TPane::Create("NoSuchPane", nib); },
         "Warning: TPane pane (NoSuchPane) is invalid!"},
        {"subclass", [](IBNibRef nib) -> TPane* { return RecordingPane::Create("NoSuchPane", nib); },
         "Warning: RecordingPane pane (NoSuchPane) is invalid!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Diagnostics::Capture capture;
        TPane* pane = row.make(nib_);
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{row.warning});
        EXPECT_EQ(pane->GetView(), nullptr);
        pane->Attach(Host());
        pane->Detach();
        pane->Close();
        EXPECT_FALSE(TObject::IsLiveObject(pane));
    }
}

TEST_F(TPaneTest, ThePaneDrawsItsBackgroundWhereverItIsShown)
{
    WindowRef window = Host();
    ShowWindow(window);
    RecordingPane* pane = RecordingPane::Create("Pane", nib_);
    pane->Attach(window);
    pane->SetNeedsDisplay();
    HIWindowFlush(window);
    ASSERT_FALSE(pane->drawnBounds.empty());
    EXPECT_TRUE(CGRectEqualToRect(pane->drawnBounds.back(), pane->GetBounds()));
    // A pane released by its owner while shown goes with its window.
    pane->Release();
    ASSERT_TRUE(TObject::IsLiveObject(pane));
    windows_.clear();
    DisposeWindow(window);
    EXPECT_FALSE(TObject::IsLiveObject(pane));
}

// ---- contextual windows ----

namespace {

enum class Ending { ReturnKey, SelectOther, WindowSystemActivatesOther };

}  // namespace

TEST_F(TPaneTest, AContextualWindowClosesOnReturnAndWhenItLosesTheFocus)
{
    struct Row {
        const char* name;
        const char* nibWindow;
        Ending ending;
    };
    const Row rows[] = {
        {"Return", "Contextual", Ending::ReturnKey},
        {"another window selected", "Contextual", Ending::SelectOther},
        {"another window activated", "Contextual", Ending::WindowSystemActivatesOther},
        {"floating, Return", "ContextualFloating", Ending::ReturnKey},
        {"floating, another window selected", "ContextualFloating", Ending::SelectOther},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WindowRef document = Host("Document");
        ShowWindow(document);
        SelectWindow(document);
        // The window system serves the activation before the contextual
        // window shows (served later, it would be a focus change).
        TestRunUntilIdle();
        SetThemeCursor(kThemeIBeamCursor);

        TContextualWindow* contextual = TContextualWindow::Create(row.nibWindow, nib_);
        WindowRef window = contextual->GetWindowRef();
        ASSERT_NE(window, nullptr);
        contextual->SetSize(180, 60);
        contextual->ShowAtPoint(CGPointMake(130.7f, 90.2f));
        TestRunUntilIdle();
        Rect bounds{};
        GetWindowBounds(window, kWindowContentRgn, &bounds);
        EXPECT_EQ((std::vector<int>{bounds.left, bounds.top, bounds.right, bounds.bottom}),
                  (std::vector<int>{130, 90, 310, 150}));
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(GetUserFocusWindow(), window);

        // Other keys leave it open.
        TestKeyClick(window, Qt::Key_A);
        TestKeyClick(window, Qt::Key_Escape);
        TestRunUntilIdle();
        ASSERT_TRUE(IsValidWindowPtr(window));

        switch (row.ending) {
        case Ending::ReturnKey:
            TestKeyClick(window, Qt::Key_Return);
            break;
        case Ending::SelectOther:
            SelectWindow(document);
            break;
        case Ending::WindowSystemActivatesOther:
            TestActivateWindow(document);
            break;
        }
        TestRunUntilIdle();
        EXPECT_FALSE(IsValidWindowPtr(window));
        EXPECT_FALSE(TObject::IsLiveObject(contextual));
        EXPECT_EQ(HIThemeGetCurrentCursor(), kThemeArrowCursor);
        EXPECT_TRUE(IsValidWindowPtr(document));
    }
}

TEST_F(TPaneTest, AHiddenContextualWindowIgnoresReturnAndFocus)
{
    TContextualWindow* contextual = TContextualWindow::Create("Contextual", nib_);
    WindowRef window = contextual->GetWindowRef();
    windows_.push_back(window);
    // Its size until SetSize is the nib's.
    EXPECT_EQ(contextual->GetContentWidth(), 160);
    EXPECT_EQ(contextual->GetContentHeight(), 48);
    for (const UInt32 kind : {UInt32(kEventRawKeyDown), UInt32(kEventWindowFocusRelinquish)}) {
        SCOPED_TRACE(kind);
        const bool key = kind == kEventRawKeyDown;
        EventRef event = nullptr;
        CreateEvent(nullptr, key ? kEventClassKeyboard : kEventClassWindow, kind, 0, 0, &event);
        const UInt32 returnKey = 36;
        SetEventParameter(event, kEventParamKeyCode, typeUInt32, sizeof returnKey, &returnKey);
        SendEventToEventTarget(event, GetWindowEventTarget(window));
        ReleaseEvent(event);
        EXPECT_TRUE(IsValidWindowPtr(window));
        EXPECT_TRUE(TObject::IsLiveObject(contextual));
    }
}
