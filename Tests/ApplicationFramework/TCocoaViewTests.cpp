// Cocoa views over placeholders of Carbon windows: parked while their
// container is hidden, on its rectangle while it shows, found by tag, and
// carried along when a pane takes the container to another window.
#include "FrameworkTestSupport.h"

#include <ApplicationFramework/Classes/TCocoaViewUnit.h>
#include <ApplicationFramework/Classes/TEventDispatchUnit.h>
#include <ApplicationFramework/Classes/TPaneUnit.h>

#include <CoreGraphics/CGImageQt.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/HostedViews.h>
#include <HIToolbox/Nibs.h>

#include <QImage>
#include <QWidget>

#include <cstdlib>

namespace {

// The Cocoa view of the test nib: a filled card with a caption, holding a
// snooze button (tag 7) inside a plain row view.
class SwatchView : public NSView {
public:
    static SwatchView* newView(NSRect frame) { return new SwatchView(frame); }
    void drawRect(NSRect) override
    {
        CGContextRef port = NSGraphicsContext::currentContext()->CGContext();
        CGContextSetRGBFillColor(port, 0.22f, 0.47f, 0.82f, 1);
        CGContextFillRect(port, bounds());
        CGContextSetRGBFillColor(port, 1, 1, 1, 1);
        CGContextFillRect(port, CGRectMake(6, 6, 18, bounds().size.height - 12));
        NSStringDrawing::drawAtPoint(CFSTR("Cocoa view"), NSPoint{32, bounds().size.height - 24}, nullptr);
    }
    const char* className() const override { return "SwatchView"; }

private:
    using NSView::NSView;
};

class ButtonView : public NSButton {
public:
    static ButtonView* newButton(NSRect frame) { return new ButtonView(frame); }
    void drawRect(NSRect) override
    {
        CGContextRef port = NSGraphicsContext::currentContext()->CGContext();
        CGContextSetRGBFillColor(port, 0.95f, 0.75f, 0.2f, 1);
        CGContextFillRect(port, bounds());
    }

private:
    explicit ButtonView(NSRect frame) : NSButton(frame) {}
};

NSView* BuildTestCocoa(NSViewController*)
{
    SwatchView* card = SwatchView::newView(NSRect{{0, 0}, {160, 60}});
    NSView* row = NSView::newView(NSRect{{100, 6}, {54, 20}});
    ButtonView* snooze = ButtonView::newButton(NSRect{{0, 0}, {54, 20}});
    snooze->setTag(7);
    row->addSubview(snooze);
    snooze->release();
    card->addSubview(row);
    row->release();
    return card;
}

// Receives the snooze button's action by name.
class SnoozeTarget : public TObject {
    BRINDLET_CLASS(SnoozeTarget, TObject)

public:
    static SnoozeTarget* Create()
    {
        SnoozeTarget* target = CreateInstance<SnoozeTarget>();
        target->RegisterMethod("HandleSnooze", BRINDLET_METHOD(SnoozeTarget, HandleSnooze));
        return target;
    }
    void HandleSnooze(NSObject* sender) { senders.push_back(sender); }
    std::vector<NSObject*> senders;

protected:
    SnoozeTarget() = default;
};

class TCocoaViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        NSNibRegisterViewBuilder("TestCocoa", BuildTestCocoa);
        ASSERT_EQ(CreateNibReference(CFSTR("main"), &nib_), noErr);
        ASSERT_EQ(CreateWindowFromNib(nib_, CFSTR("CocoaHost"), &window_), noErr);
    }
    void TearDown() override
    {
        DisposeWindow(window_);
        DisposeNibReference(nib_);
        NSNibRegisterViewBuilder("TestCocoa", nullptr);
    }

    ControlRef Tagged(const char* tag)
    {
        ControlRef found = nullptr;
        FindViewWithTag(HIViewGetRoot(window_), tag, found);
        return found;
    }
    static HIRect Frame(ControlRef view)
    {
        HIRect frame = CGRectZero;
        HIViewGetFrame(view, &frame);
        return frame;
    }
    static void ExpectFrame(ControlRef view, CGRect expected)
    {
        const HIRect frame = Frame(view);
        EXPECT_TRUE(CGRectEqualToRect(frame, expected))
            << frame.origin.x << "," << frame.origin.y << " " << frame.size.width << "x" << frame.size.height;
    }
    static bool Parked(ControlRef view)
    {
        return !HIViewIsLatentlyVisible(view) &&
               CGRectEqualToRect(Frame(view), CGRectMake(kCocoaViewParkedOrigin, kCocoaViewParkedOrigin, 0, 0));
    }

    FrameworkScope scope_;
    IBNibRef nib_ = nullptr;
    WindowRef window_ = nullptr;
};

}  // namespace

BRINDLET_DEFINE_CLASS(SnoozeTarget, TObject)

TEST_F(TCocoaViewTest, AHiddenContainerKeepsItsCocoaViewParkedAndAResizedOneMovesIt)
{
    ControlRef shownContainer = Tagged("shown");
    ControlRef hiddenContainer = Tagged("hidden");
    ControlRef group = Tagged("group");
    TCocoaView* shown = TCocoaView::Create(shownContainer, "TestCocoa");
    TCocoaView* hidden = TCocoaView::Create(hiddenContainer, "TestCocoa");
    ControlRef shownView = shown->GetCocoaView();
    ControlRef hiddenView = hidden->GetCocoaView();
    ASSERT_NE(shownView, nullptr);
    ASSERT_NE(hiddenView, nullptr);
    ControlRef root = HIViewGetRoot(window_);
    EXPECT_EQ(HIViewGetSuperview(shownView), root);
    EXPECT_EQ(HIViewGetSuperview(hiddenView), root);
    EXPECT_EQ(shown->GetRoot(), window_);

    ShowWindow(window_);
    TestRunUntilIdle();
    ExpectFrame(shownView, CGRectMake(20, 20, 160, 60));
    QWidget* shownWidget = HIViewGetHostedWidget(shownView);
    ASSERT_NE(shownWidget, nullptr);
    EXPECT_TRUE(shownWidget->isVisible());
    EXPECT_EQ(shownWidget->geometry(), QRect(20, 20, 160, 60));
    EXPECT_TRUE(Parked(hiddenView));
    EXPECT_FALSE(HIViewGetHostedWidget(hiddenView)->isVisible());

    // Resized, the container takes its Cocoa view along, widget and all.
    const HIRect resized = CGRectMake(30, 40, 100, 50);
    HIViewSetFrame(shownContainer, &resized);
    TestRunUntilIdle();
    ExpectFrame(shownView, resized);
    EXPECT_EQ(shownWidget->geometry(), QRect(30, 40, 100, 50));
    EXPECT_EQ(shown->GetNSView()->frame().size.width, 100);

    // Shown, the hidden one comes out on top at its rectangle in the root.
    HIViewSetVisible(hiddenContainer, true);
    TestRunUntilIdle();
    ExpectFrame(hiddenView, CGRectMake(40, 110, 120, 50));
    EXPECT_TRUE(HIViewIsLatentlyVisible(hiddenView));
    EXPECT_EQ(HIViewGetLastSubview(root), hiddenView);
    EXPECT_TRUE(HIViewGetHostedWidget(hiddenView)->isVisible());
    // An ancestor that moves is followed when the window draws.
    const HIRect movedGroup = CGRectMake(0, 90, 300, 120);
    HIViewSetFrame(group, &movedGroup);
    HIWindowFlush(window_);
    ExpectFrame(hiddenView, CGRectMake(30, 100, 120, 50));

    HIViewSetVisible(hiddenContainer, false);
    TestRunUntilIdle();
    EXPECT_TRUE(Parked(hiddenView));
    EXPECT_EQ(HIViewGetFirstSubview(root), hiddenView);
    // Out of its superview, a container parks its Cocoa view too.
    CFRetain(shownContainer);
    HIViewRemoveFromSuperview(shownContainer);
    HIViewSetVisible(shownContainer, false);
    EXPECT_TRUE(Parked(shownView));
    CFRelease(shownContainer);

    // The object takes its Cocoa view out of the window when it goes.
    shown->Release();
    hidden->Release();
    EXPECT_FALSE(IsValidControlHandle(shownView));
    EXPECT_FALSE(IsValidControlHandle(hiddenView));
    UInt16 left = 0;
    CountSubControls(root, &left);
    EXPECT_EQ(left, 1);  // the content view alone
}

TEST_F(TCocoaViewTest, SubviewsAreFoundByTagAndNameAndSendTheirActions)
{
    TCocoaView* cocoa = TCocoaView::Create(Tagged("shown"), "TestCocoa");
    NSView* root = cocoa->GetNSView();
    ASSERT_NE(root, nullptr);
    auto* snooze = dynamic_cast<NSButton*>(cocoa->GetSubView(7));
    ASSERT_NE(snooze, nullptr);
    EXPECT_EQ(snooze->superview()->superview(), root);
    EXPECT_EQ(cocoa->GetSubView(NSInteger(99)), nullptr);
    EXPECT_EQ(cocoa->GetSubView(NSInteger(-1)), root);
    EXPECT_EQ(cocoa->GetSubView("never"), nullptr);

    EXPECT_EQ(cocoa->RegisterView(7, "snooze"), snooze);
    EXPECT_EQ(cocoa->GetSubView("snooze"), snooze);
    // A tag that finds nothing takes the name's registration away.
    EXPECT_EQ(cocoa->RegisterView(99, "snooze"), nullptr);
    EXPECT_EQ(cocoa->GetSubView("snooze"), nullptr);

    SnoozeTarget* target = SnoozeTarget::Create();
    cocoa->RegisterAction(7, "HandleSnooze", target);
    EXPECT_EQ(cocoa->GetSubView("HandleSnooze"), snooze);
    snooze->performClick();
    EXPECT_EQ(target->senders, std::vector<NSObject*>{snooze});
    {
        Diagnostics::Capture capture;
        cocoa->RegisterAction(99, "HandleNothing", target);
        EXPECT_EQ(capture.Lines(),
                  std::vector<std::string>{"Warning: control for action HandleNothing was not found."});
    }
    cocoa->Release();
    TEventDispatch::RegisterAction(snooze, "HandleSnooze", nullptr);
    target->Release();
}

TEST_F(TCocoaViewTest, WithoutItsNibOrItsWindowACocoaViewDoesNothing)
{
    {
        // No nib of that name: nil views, and the container's changes are
        // no harm.
        ControlRef container = Tagged("hidden");
        TCocoaView* cocoa = TCocoaView::Create(container, "NoSuchNib");
        EXPECT_EQ(cocoa->GetCocoaView(), nullptr);
        EXPECT_EQ(cocoa->GetNSView(), nullptr);
        EXPECT_EQ(cocoa->GetSubView(NSInteger(7)), nullptr);
        HIViewSetVisible(container, true);
        HIViewSetVisible(container, false);
        cocoa->SetFocus();
        EXPECT_FALSE(cocoa->ContainsFocus());
        cocoa->Release();
    }
    {
        // A container in no window: nothing to embed in until it gets one.
        HIViewRef container = nullptr;
        const HIRect frame = CGRectMake(5, 5, 80, 40);
        ASSERT_EQ(HIViewCreatePlain(&frame, &container), noErr);
        TCocoaView* cocoa = TCocoaView::Create(container, "TestCocoa");
        EXPECT_EQ(HIViewGetSuperview(cocoa->GetCocoaView()), nullptr);
        Diagnostics::Capture capture;
        cocoa->SynchBounds();
        EXPECT_EQ(capture.Lines(),
                  std::vector<std::string>{"Warning: TCocoaView has not been embedded in content view."});
        HIViewAddSubview(Tagged("group"), container);
        EXPECT_EQ(cocoa->GetRoot(), window_);
        EXPECT_EQ(HIViewGetSuperview(cocoa->GetCocoaView()), HIViewGetRoot(window_));
        ExpectFrame(cocoa->GetCocoaView(), CGRectMake(15, 105, 80, 40));
        CFRelease(container);
        cocoa->Release();
    }
}

TEST_F(TCocoaViewTest, APaneTakesItsCocoaViewToTheWindowItIsAttachedTo)
{
    TWindow* host = TWindow::Create("CocoaHost", nib_);
    WindowRef window = host->GetWindowRef();
    TPane* pane = TPane::Create("Pane", nib_);
    ControlRef container = pane->FindSubview("cocoa");
    ASSERT_NE(container, nullptr);
    TCocoaView* cocoa = TCocoaView::Create(container, "TestCocoa");
    EXPECT_EQ(cocoa->GetRoot(), pane->GetLoadedWindow());

    pane->Attach(window);
    pane->SetFrame(CGRectMake(30, 30, 260, 140));
    ShowWindow(window);
    SelectWindow(window);
    TestRunUntilIdle();
    HIWindowFlush(window);
    EXPECT_EQ(cocoa->GetRoot(), window);
    EXPECT_EQ(HIViewGetSuperview(cocoa->GetCocoaView()), HIViewGetRoot(window));
    ExpectFrame(cocoa->GetCocoaView(), CGRectMake(42, 100, 236, 56));
    QWidget* widget = HIViewGetHostedWidget(cocoa->GetCocoaView());
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->isVisible());
    EXPECT_EQ(widget->window(), HIViewGetHostedWidget(pane->FindSubview("field"))->window());

    // What the window shows: the pane's text field and the Cocoa card's
    // blue, from the retained content with the widgets on it.
    CGImageRef image = IBCopyWindowImage(window);
    ASSERT_NE(image, nullptr);
    const QImage shot = CGImageGetQImage(image);
    EXPECT_EQ(shot.pixel(42 + 200, 100 + 10) & 0xFFFFFF, qRgb(56, 120, 209) & 0xFFFFFF);
    if (const char* path = std::getenv("BRINDLET_PANES_SCREENSHOT"))
        shot.save(path, "PNG");
    CGImageRelease(image);

    pane->Release();
    cocoa->Release();
    pane->Close();
    DisposeWindow(window);
}
