#include "FrameworkTestSupport.h"

#include <ApplicationFramework/Classes/TControlTrackingUnit.h>
#include <ApplicationFramework/Classes/TControlUnit.h>
#include <ApplicationFramework/Classes/TWindowUnit.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <CoreGraphics/CGBitmapContext.h>
#include <HIToolbox/Drag.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/NavigationTesting.h>
#include <HIToolbox/Nibs.h>

#include <QTimer>

#include <functional>

namespace {

class SavingDocument : public TDocument {
    BRINDLET_CLASS(SavingDocument, TDocument)

public:
    static SavingDocument* Create(const char* name, bool dirty)
    {
        SavingDocument* document = CreateInstance<SavingDocument>();
        document->SetDisplayName(name);
        document->SetDirty(dirty);
        return document;
    }
    int saves = 0;
    OSStatus Save() override
    {
        ++saves;
        return noErr;
    }

protected:
    SavingDocument() = default;
};

class TWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreateNibReference(CFSTR("main"), &nib_), noErr); }
    void TearDown() override { DisposeNibReference(nib_); }

    TWindow* Make()
    {
        TWindow* window = TWindow::Create("Document", nib_);
        ShowWindow(window->GetWindowRef());
        return window;
    }

    FrameworkScope scope_;
    IBNibRef nib_ = nullptr;
};

OSStatus RecordReview(EventHandlerCallRef, EventRef event, void* userData)
{
    HICommand command{};
    GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
    if (command.commandID != FourCC("revd"))
        return eventNotHandledErr;
    CFArrayRef documents = nullptr;
    GetEventParameter(event, FourCC("revd"), typeCFTypeRef, nullptr, sizeof documents, nullptr, &documents);
    *static_cast<CFIndex*>(userData) = documents ? CFArrayGetCount(documents) : -1;
    return noErr;
}

// The alpha of each pixel of the window's content, rows from the top.
class ContentAlpha {
public:
    explicit ContentAlpha(WindowRef window)
    {
        CGImageRef image = HIWindowCopyContentImage(window);
        width_ = CGImageGetWidth(image);
        height_ = CGImageGetHeight(image);
        pixels_.assign(width_ * height_ * 4, 0x5A);
        CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
        CGContextRef context = CGBitmapContextCreate(pixels_.data(), width_, height_, 8, width_ * 4, space,
                                                     kCGImageAlphaPremultipliedLast);
        CGContextClearRect(context, CGRectMake(0, 0, width_, height_));
        CGContextDrawImage(context, CGRectMake(0, 0, width_, height_), image);
        CGContextRelease(context);
        CGColorSpaceRelease(space);
        CGImageRelease(image);
    }
    int At(size_t x, size_t y) const { return pixels_[(y * width_ + x) * 4 + 3]; }
    // The red of a pixel, for telling a painted background from white.
    int RedAt(size_t x, size_t y) const { return pixels_[(y * width_ + x) * 4]; }
    int GreenAt(size_t x, size_t y) const { return pixels_[(y * width_ + x) * 4 + 1]; }

private:
    size_t width_ = 0, height_ = 0;
    std::vector<UInt8> pixels_;
};

// Runs the steps one after another from the event loop, so that they run
// inside the modal loop of a drag or resize started meanwhile.
void RunLater(std::vector<std::function<void()>> steps, size_t index = 0)
{
    if (index >= steps.size())
        return;
    QTimer::singleShot(0, [steps = std::move(steps), index]() mutable {
        steps[index]();
        RunLater(std::move(steps), index + 1);
    });
}

// A mouse move or release at a global point, wherever the window is by then.
std::function<void()> MouseAt(WindowRef window, HIPoint global, bool release = false)
{
    return [window, global, release] {
        HIRect content = {};
        HIWindowGetBounds(window, kWindowContentRgn, &content);
        const HIPoint local = {global.x - content.origin.x, global.y - content.origin.y};
        release ? TestMouseRelease(window, local) : TestMouseMove(window, local);
    };
}

// A window that paints its own background red and writes down where it was
// hit-tested.
class PaintedWindow : public TWindow {
    BRINDLET_CLASS(PaintedWindow, TWindow)

public:
    static PaintedWindow* Make(IBNibRef nib)
    {
        PaintedWindow* window = AllocateInstance<PaintedWindow>();
        window->SetNibWindow("Document", nib);
        window->Initialize();
        return window;
    }
    std::vector<CGPoint> hitTests;
    void HandleDrawBackground(CGContextRef context, CGRect bounds, OSStatus& result) override
    {
        CGContextSetRGBFillColor(context, 1, 0, 0, 1);
        CGContextFillRect(context, bounds);
        result = noErr;
    }
    void HandleHitTest(CGPoint point, OSStatus& result) override
    {
        hitTests.push_back(point);
        Inherited::HandleHitTest(point, result);
    }

protected:
    PaintedWindow() = default;
};

}  // namespace

BRINDLET_DEFINE_CLASS(SavingDocument, TDocument)
BRINDLET_DEFINE_CLASS(PaintedWindow, TWindow)

TEST_F(TWindowTest, AWindowBindsItselfAndItsDocumentList)
{
    TWindow* window = Make();
    WindowRef ref = window->GetWindowRef();
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(GetWindowObject(ref), window);
    TDocumentList* list = nullptr;
    ASSERT_EQ(
        GetWindowProperty(ref, kWindowPropertyCreator, kWindowPropertyTagDocumentList, sizeof list, nullptr, &list),
        noErr);
    EXPECT_EQ(list, window->GetDocumentList());
    EXPECT_EQ(window->GetFrame().size.width, 320);
    EXPECT_FALSE(IsWindowModified(ref));
    Boolean tracks = false;
    EXPECT_EQ(IsAutomaticControlDragTrackingEnabledForWindow(ref, &tracks), noErr);
    EXPECT_TRUE(tracks) << "drags over the window do not reach its views";
    // The nib's controls have their objects, nested ones too, owned by the window.
    for (const char* name : {"group", "inner", "twice", "field"}) {
        SCOPED_TRACE(name);
        TControlView* control = window->FindControl(name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(static_cast<TControl*>(control)->GetOwner(), window);
    }
    TControlTrackingHandler* tracking = window->GetTrackingHandler();
    ASSERT_NE(tracking, nullptr);
    EXPECT_EQ(tracking->GetWindow(), ref);
    window->Remove();
    EXPECT_FALSE(IsValidWindowPtr(ref));
    EXPECT_FALSE(TObject::IsLiveObject(tracking));

    Diagnostics::Capture capture;
    TWindow* missing = TWindow::Create("Nowhere", nib_);
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"CreateWindowFromNib: -10962"}));
    EXPECT_EQ(missing->GetWindowRef(), nullptr);
    EXPECT_NE(missing->GetDocumentList(), nullptr);
    missing->Release();
}

TEST_F(TWindowTest, TheLayoutIsNineBytesAndOnlyThoseAreRestored)
{
    TPreferenceHandler* preferences = TPreferenceHandlerDictionary::Create();
    TWindow* window = TWindow::Allocate();
    window->SetNibWindow("Document", nib_);
    window->SetPreferences(preferences);
    window->SetPreferenceKey("doc");
    window->Initialize();
    window->SetFrame(CGRectMake(40, 50, 300, 180));
    window->SaveLayout();
    UInt8 stored[16] = {};
    CFTypeRef value = preferences->GetTypeValue("TWindowLayout.doc");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(CFDataGetLength(static_cast<CFDataRef>(value)), 9);
    CFRelease(value);
    ASSERT_TRUE(preferences->CopyDataValue("TWindowLayout.doc", stored, 9));

    window->SetFrame(CGRectMake(0, 0, 100, 100));
    EXPECT_TRUE(window->RestoreLayout());
    EXPECT_TRUE(CGRectEqualToRect(window->GetFrame(), CGRectMake(40, 50, 300, 180)));

    // A value of another size is not a layout.
    preferences->SetDataValue("TWindowLayout.doc", stored, 12);
    window->SetFrame(CGRectMake(0, 0, 100, 100));
    EXPECT_FALSE(window->RestoreLayout());
    EXPECT_TRUE(CGRectEqualToRect(window->GetFrame(), CGRectMake(0, 0, 100, 100)));
    preferences->RemoveValue("TWindowLayout.doc");
    EXPECT_FALSE(window->RestoreLayout());
    window->Remove();
    preferences->Release();
}

TEST_F(TWindowTest, ClosingAsksAboutOneDirtyDocumentAndHandsSeveralToTheReview)
{
    TWindow* window = Make();
    WindowRef ref = window->GetWindowRef();
    SavingDocument* clean = SavingDocument::Create("clean", false);
    SavingDocument* first = SavingDocument::Create("first", true);
    window->GetDocumentList()->Append(clean);
    window->GetDocumentList()->Append(first);
    // The dirty document is not the active one: it is asked about all the same.
    window->GetDocumentList()->SetActive(clean);

    {
        NavDialogScript script;
        script.QueueAction(kNavUserActionCancel);
        EXPECT_EQ(window->HandleCloseEvent(nullptr), noErr);
        TestRunUntilIdle();
        ASSERT_EQ(script.Dialogs().size(), 1u);
        EXPECT_EQ(script.Dialogs()[0].kind, NavDialogKind::AskSaveChanges);
        EXPECT_EQ(script.Dialogs()[0].saveFileName, "first");
        EXPECT_EQ(script.Dialogs()[0].parentWindow, ref);
        EXPECT_TRUE(IsValidWindowPtr(ref)) << "a cancelled close closed the window";
    }

    SavingDocument* second = SavingDocument::Create("second", true);
    window->GetDocumentList()->Append(second);
    CFIndex reviewed = 0;
    EventHandlerRef handler = nullptr;
    static const EventTypeSpec kCommand = {kEventClassCommand, kEventCommandProcess};
    InstallApplicationEventHandler(RecordReview, 1, &kCommand, &reviewed, &handler);
    EXPECT_EQ(window->HandleCloseEvent(nullptr), noErr);
    EXPECT_EQ(reviewed, 2);
    RemoveEventHandler(handler);
    EXPECT_TRUE(IsValidWindowPtr(ref));

    window->GetDocumentList()->Remove(second);
    {
        // The user closing the window: once the document is saved, it closes.
        NavDialogScript script;
        script.QueueAction(kNavUserActionSaveChanges);
        first->SetFile(FSRef{0, 0, "/tmp"});
        EventRef close = nullptr;
        CreateEvent(nullptr, kEventClassWindow, kEventWindowClose, GetCurrentEventTime(), 0, &close);
        SendEventToEventTarget(close, GetWindowEventTarget(ref));
        ReleaseEvent(close);
        TestRunUntilIdle();
        EXPECT_EQ(first->saves, 1);
        EXPECT_FALSE(IsValidWindowPtr(ref)) << "the window stayed after its document was saved";
    }
    clean->Release();
    first->Release();
    second->Release();
}

TEST_F(TWindowTest, AClosingHookVetoesAndAQuittingCloseAsksToQuitAgain)
{
    struct Veto : TWindow {
        static Veto* Make(IBNibRef nib)
        {
            Veto* window = AllocateInstance<Veto>();
            window->SetNibWindow("Document", nib);
            window->Initialize();
            return window;
        }
        bool veto = true;
        void HandleClosing(OSStatus& result) override
        {
            if (veto)
                result = noErr;
        }
        const ClassInfo& GetClass() const override { return TWindow::StaticClass(); }
    };
    Veto* window = Veto::Make(nib_);
    WindowRef ref = window->GetWindowRef();
    OSStatus result = eventNotHandledErr;
    window->Close(result);
    EXPECT_EQ(result, noErr);
    EXPECT_TRUE(IsValidWindowPtr(ref));

    int quits = 0;
    EventHandlerRef handler = nullptr;
    static const EventTypeSpec kCommand = {kEventClassCommand, kEventCommandProcess};
    auto countQuit = [](EventHandlerCallRef, EventRef event, void* data) -> OSStatus {
        HICommand command{};
        GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
        if (command.commandID == kHICommandQuit)
            ++*static_cast<int*>(data);
        return noErr;
    };
    InstallApplicationEventHandler(countQuit, 1, &kCommand, &quits, &handler);
    ApplicationQuitting = true;
    window->veto = false;
    window->Remove();
    EXPECT_FALSE(IsValidWindowPtr(ref));
    EXPECT_EQ(quits, 1);
    RemoveEventHandler(handler);
}

TEST_F(TWindowTest, ATransparentWindowIsClearWhereItsControlsDoNotDraw)
{
    PaintedWindow* window = PaintedWindow::Make(nib_);
    WindowRef ref = window->GetWindowRef();
    ShowWindow(ref);
    TestRunUntilIdle();
    {
        const ContentAlpha before(ref);
        EXPECT_EQ(before.At(5, 5), 255);
        EXPECT_EQ(before.RedAt(5, 5), 255);
        EXPECT_EQ(before.GreenAt(5, 5), 0) << "the window's own background was not drawn";
    }

    window->Transparent();
    TestRunUntilIdle();
    const ContentAlpha after(ref);
    struct Row {
        const char* where;
        size_t x, y;
        bool clear;
    };
    const Row rows[] = {
        {"the window's background", 5, 5, true},
        {"the far corner", 319, 199, true},
        {"between the controls", 115, 30, true},
        {"the OK button", 40, 32, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.where);
        if (row.clear)
            EXPECT_EQ(after.At(row.x, row.y), 0);
        else
            EXPECT_GT(after.At(row.x, row.y), 0);
    }
    WindowAttributes attributes = 0;
    GetWindowAttributes(ref, &attributes);
    EXPECT_EQ(attributes & (kWindowNoTitleBarAttribute | kWindowNoShadowAttribute | kWindowResizableAttribute),
              kWindowNoTitleBarAttribute | kWindowNoShadowAttribute);
    WindowClass windowClass = 0;
    GetWindowClass(ref, &windowClass);
    EXPECT_EQ(windowClass, kDocumentWindowClass);

    // Every point of the window is content, once the window has seen it
    // (in its own coordinates).
    const CGRect frame = window->GetFrame();
    WindowRef found = nullptr;
    const Point global = {SInt16(frame.origin.y + 40), SInt16(frame.origin.x + 30)};
    EXPECT_EQ(FindWindow(global, &found), wInContent);
    EXPECT_EQ(found, ref);
    ASSERT_EQ(window->hitTests.size(), 1u);
    EXPECT_EQ(window->hitTests[0].x, 30);
    EXPECT_EQ(window->hitTests[0].y, 40);

    // The opaque part of the window is none; other regions are not its business.
    for (WindowRegionCode code : {kWindowOpaqueRgn, kWindowStructureRgn}) {
        SCOPED_TRACE(code);
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassWindow, kEventWindowGetRegion, 0, 0, &event);
        SetEventParameter(event, kEventParamWindowRegionCode, typeWindowRegionCode, sizeof code, &code);
        EXPECT_EQ(SendEventToEventTarget(event, GetWindowEventTarget(ref)),
                  code == kWindowOpaqueRgn ? noErr : eventNotHandledErr);
        ReleaseEvent(event);
    }

    // Made transparent again, it stays the same; its handlers go with it.
    window->Transparent();
    TestRunUntilIdle();
    EXPECT_EQ(ContentAlpha(ref).At(5, 5), 0);
    window->Remove();
}

TEST_F(TWindowTest, ToggleHidesOrShowsAndSelectsAndSelectBringsToTheFront)
{
    TWindow* first = Make();
    TWindow* second = Make();
    EXPECT_EQ(FrontWindow(), second->GetWindowRef());

    first->Select();
    EXPECT_EQ(FrontWindow(), first->GetWindowRef());
    EXPECT_TRUE(IsWindowActive(first->GetWindowRef()));

    second->Toggle();
    EXPECT_FALSE(second->IsVisible());
    second->Toggle();
    EXPECT_TRUE(second->IsVisible());
    EXPECT_EQ(FrontWindow(), second->GetWindowRef());
    EXPECT_TRUE(IsWindowActive(second->GetWindowRef()));
    first->Remove();
    second->Remove();
}

TEST_F(TWindowTest, DragAndResizeFollowTheMouseUntilItIsReleased)
{
    TWindow* window = Make();
    WindowRef ref = window->GetWindowRef();
    window->SetFrame(CGRectMake(100, 120, 320, 200));

    // From a press at (110, 130) to (180, 100), the mouse held below y 110.
    TestMousePress(ref, {10, 10});
    RunLater({MouseAt(ref, {150, 140}), MouseAt(ref, {180, 100}), MouseAt(ref, {180, 100}, true)});
    const Rect limits = {110, 0, 1000, 1000};
    window->Drag(CGPointMake(110, 130), &limits);
    EXPECT_TRUE(CGRectEqualToRect(window->GetFrame(), CGRectMake(170, 100, 320, 200)))
        << window->GetFrame().origin.x << "," << window->GetFrame().origin.y;

    // From the bottom-right corner, 200 to 1000 wide and no taller or shorter.
    const CGRect before = window->GetFrame();
    const HIPoint corner = {before.origin.x + before.size.width - 1, before.origin.y + before.size.height - 1};
    TestMousePress(ref, {before.size.width - 1, before.size.height - 1});
    RunLater({MouseAt(ref, {corner.x - 150, corner.y + 40}), MouseAt(ref, {corner.x - 150, corner.y + 40}, true)});
    const Rect sizes = {200, 200, 200, 1000};
    const CGRect resized = window->Resize(CGPointMake(corner.x, corner.y), &sizes);
    EXPECT_TRUE(CGRectEqualToRect(resized, CGRectMake(170, 100, 200, 200)))
        << resized.size.width << "x" << resized.size.height;
    EXPECT_TRUE(CGRectEqualToRect(window->GetFrame(), resized));
    window->Remove();
}
