// Cocoa views, windows, controls and alert sheets on real (offscreen) widgets.
#include <AppKit/AppKit.h>
#include <CGTestSupport.h>
#include <QtTestApplication.h>
#include <RunUntil.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <Support/Diagnostics.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

testing::Environment* const gWidgetApplication = AddQtTestApplication<QApplication>("NSViewTests");

struct Drawn {
    std::string view;
    NSRect dirty;
    bool hadContext;
    bool contextFlipped;
};

// A view that fills its bounds with a colour and marks its own (0, 0)
// corner pixel, writing down each drawRect.
class PaintedView : public NSView {
public:
    static PaintedView* newView(std::string name, NSRect frame, QColor fill, bool flipped, std::vector<Drawn>& log)
    {
        return new PaintedView(std::move(name), frame, fill, flipped, log);
    }
    bool isFlipped() const override { return flipped_; }
    void drawRect(NSRect dirty) override
    {
        NSGraphicsContext* context = NSGraphicsContext::currentContext();
        log_.push_back({name_, dirty, context != nullptr, context && context->isFlipped()});
        if (context == nullptr)
            return;
        CGContextRef port = context->CGContext();
        CGContextSetRGBFillColor(port, fill_.redF(), fill_.greenF(), fill_.blueF(), 1);
        CGContextFillRect(port, bounds());
        CGContextSetRGBFillColor(port, 0, 0, 0, 1);
        CGContextFillRect(port, CGRectMake(0, 0, 1, 1));
    }

private:
    PaintedView(std::string name, NSRect frame, QColor fill, bool flipped, std::vector<Drawn>& log)
        : NSView(frame), name_(std::move(name)), fill_(fill), flipped_(flipped), log_(log)
    {}
    std::string name_;
    QColor fill_;
    bool flipped_;
    std::vector<Drawn>& log_;
};

std::vector<std::string> Names(const std::vector<Drawn>& log)
{
    std::vector<std::string> names;
    for (const Drawn& d : log)
        names.push_back(d.view);
    return names;
}

QRgb Pixel(QWidget* widget, int x, int y)
{
    return widget->grab().toImage().pixel(x, y);
}

// A receiver of actions: its class answers "pressed:" by noting the sender.
class Receiver : public NSObject {
public:
    const char* className() const override { return "NSViewTests.Receiver"; }
    std::vector<NSObject*> senders;
};

void NotePressed(NSObject* self, std::string_view selector, NSObject* sender)
{
    EXPECT_EQ(selector, "pressed:");
    static_cast<Receiver*>(self)->senders.push_back(sender);
}

class ThrowingView : public NSView {
public:
    static ThrowingView* newView(NSRect frame) { return new ThrowingView(frame); }
    void drawRect(NSRect) override { throw std::runtime_error("no paint"); }
    const char* className() const override { return "ThrowingView"; }

private:
    explicit ThrowingView(NSRect frame) : NSView(frame) {}
};

class Views : public testing::Test {
protected:
    void SetUp() override { pool_ = NSAutoreleasePool::newPool(); }
    void TearDown() override { pool_->release(); }
    NSAutoreleasePool* pool_ = nullptr;
};

}  // namespace

TEST_F(Views, MarkedViewsDrawAtTheNextDisplayInTheirOwnCoordinates)
{
    std::vector<Drawn> log;
    NSWindow* window = NSWindow::newWindow(NSMakeRect(50, 50, 100, 80), NSBorderlessWindowMask);
    PaintedView* content = PaintedView::newView("content", CGRectZero, Qt::white, false, log);
    PaintedView* upright = PaintedView::newView("upright", NSMakeRect(10, 10, 20, 20), Qt::red, false, log);
    PaintedView* flipped = PaintedView::newView("flipped", NSMakeRect(50, 10, 30, 20), Qt::blue, true, log);
    window->setContentView(content);
    content->addSubview(upright);
    content->addSubview(flipped);
    EXPECT_EQ(upright->window(), window);
    EXPECT_TRUE(CGRectEqualToRect(content->frame(), NSMakeRect(0, 0, 100, 80)));

    window->displayIfNeeded();
    EXPECT_EQ(Names(log), (std::vector<std::string>{"content", "upright", "flipped"}));
    for (const Drawn& d : log) {
        SCOPED_TRACE(d.view);
        EXPECT_TRUE(d.hadContext);
        EXPECT_EQ(d.contextFlipped, d.view == "flipped");
    }
    EXPECT_FALSE(upright->needsDisplay());

    // Nothing marked: nothing drawn, even when the widget paints.
    log.clear();
    window->displayIfNeeded();
    QWidget* widget = window->widget();
    ASSERT_NE(widget, nullptr);
    // Widget pixels count from the top: the window is 80 high.
    struct Row {
        const char* what;
        int x, y;
        QRgb colour;
    } const rows[] = {
        {"upright's fill", 20, 55, qRgb(255, 0, 0)},
        {"upright's origin is its bottom-left pixel", 10, 69, qRgb(0, 0, 0)},
        {"flipped's fill", 60, 60, qRgb(0, 0, 255)},
        {"flipped's origin is its top-left pixel", 50, 50, qRgb(0, 0, 0)},
        {"the content around them", 5, 5, qRgb(255, 255, 255)},
        {"the content's origin", 0, 79, qRgb(0, 0, 0)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(Pixel(widget, row.x, row.y), row.colour);
    }
    EXPECT_TRUE(log.empty());

    // One view marked: it and what lies under it draw again, its sibling not.
    upright->setNeedsDisplay(true);
    EXPECT_TRUE(upright->needsDisplay());
    window->displayIfNeeded();
    EXPECT_EQ(Names(log), (std::vector<std::string>{"content", "upright"}));
    EXPECT_TRUE(CGRectEqualToRect(log[0].dirty, NSMakeRect(10, 10, 20, 20))) << "the content draws only that part";
    EXPECT_TRUE(CGRectEqualToRect(log[1].dirty, upright->bounds()));

    // A moved view is drawn where it goes, and what it left is drawn over.
    log.clear();
    upright->setFrameOrigin(NSMakePoint(10, 40));
    EXPECT_EQ(Pixel(widget, 20, 55), qRgb(255, 255, 255));
    EXPECT_EQ(Pixel(widget, 20, 25), qRgb(255, 0, 0));
    EXPECT_EQ(Names(log), (std::vector<std::string>{"content", "upright"}));

    // A view taken out is no longer drawn.
    log.clear();
    flipped->removeFromSuperview();
    EXPECT_EQ(flipped->window(), nullptr);
    window->display();
    EXPECT_EQ(Names(log), (std::vector<std::string>{"content", "upright"}));
    EXPECT_EQ(Pixel(widget, 60, 60), qRgb(255, 255, 255));

    flipped->release();
    upright->release();
    content->release();
    window->release();
}

TEST_F(Views, AViewThatThrowsLosesOnlyItsOwnDrawing)
{
    std::vector<Drawn> log;
    NSWindow* window = NSWindow::newWindow(NSMakeRect(0, 0, 40, 20), NSBorderlessWindowMask);
    ThrowingView* broken = ThrowingView::newView(NSMakeRect(0, 0, 20, 20));
    PaintedView* sibling = PaintedView::newView("sibling", NSMakeRect(20, 0, 20, 20), Qt::red, false, log);
    window->contentView()->addSubview(broken);
    window->contentView()->addSubview(sibling);

    Diagnostics::Capture capture;
    window->display();
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].rfind("ThrowingView.drawRect:no paint:", 0), 0u) << capture.Lines()[0];
    EXPECT_EQ(Names(log), (std::vector<std::string>{"sibling"}));
    EXPECT_EQ(Pixel(window->widget(), 30, 10), qRgb(255, 0, 0));

    sibling->release();
    broken->release();
    window->release();
}

TEST_F(Views, TreesDrawIntoAGivenContext)
{
    std::vector<Drawn> log;
    PaintedView* root = PaintedView::newView("root", NSMakeRect(0, 0, 8, 6), Qt::white, true, log);
    PaintedView* child = PaintedView::newView("child", NSMakeRect(2, 1, 3, 2), Qt::green, false, log);
    root->addSubview(child);
    root->addSubview(root);  // refused: a view cannot hold itself
    EXPECT_EQ(root->subviews().size(), 1u);

    for (bool contextFlipped : {false, true}) {
        SCOPED_TRACE(contextFlipped);
        log.clear();
        TestBitmap bitmap(8, 6);
        NSGraphicsContext* context = NSGraphicsContext::graphicsContextWithCGContext(bitmap.context(), contextFlipped);
        if (contextFlipped) {
            CGContextTranslateCTM(bitmap.context(), 0, 6);
            CGContextScaleCTM(bitmap.context(), 1, -1);
        }
        root->displayRectIgnoringOpacity(root->bounds(), context);
        EXPECT_EQ(Names(log), (std::vector<std::string>{"root", "child"}));
        EXPECT_EQ(NSGraphicsContext::currentContext(), nullptr) << "the caller's current context is back";
        // The flipped root's origin is the top-left pixel; the child sits 1
        // below the root's top, its own origin at its bottom-left.
        EXPECT_EQ(bitmap.Row(0, 0), (RGBA{0, 0, 0, 255}));
        EXPECT_EQ(bitmap.Row(2, 2), (RGBA{0, 0, 0, 255}));
        EXPECT_EQ(bitmap.Row(3, 1), (RGBA{0, 255, 0, 255}));
        EXPECT_EQ(bitmap.Row(6, 4), (RGBA{255, 255, 255, 255}));
    }
    child->release();
    root->release();
}

TEST_F(Views, AHostWidgetShowsARootViewAndSizesIt)
{
    std::vector<Drawn> log;
    PaintedView* view = PaintedView::newView("hosted", NSMakeRect(0, 0, 40, 30), Qt::red, false, log);
    std::unique_ptr<QWidget> host(view->newHostWidget());
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(view->newHostWidget(), nullptr) << "one host per view";
    EXPECT_EQ(host->size(), QSize(40, 30));
    EXPECT_EQ(Pixel(host.get(), 20, 10), qRgb(255, 0, 0));
    EXPECT_EQ(Pixel(host.get(), 0, 29), qRgb(0, 0, 0));

    log.clear();
    host->resize(60, 20);
    EXPECT_EQ(Pixel(host.get(), 0, 19), qRgb(0, 0, 0));
    EXPECT_TRUE(CGRectEqualToRect(view->frame(), NSMakeRect(0, 0, 60, 20)));
    EXPECT_EQ(Names(log), (std::vector<std::string>{"hosted"}));
    EXPECT_EQ(Pixel(host.get(), 50, 10), qRgb(255, 0, 0));
    EXPECT_EQ(Names(log), (std::vector<std::string>{"hosted"})) << "drawn once for the new size";

    const NSUInteger held = view->retainCount();
    host.reset();
    EXPECT_EQ(view->retainCount(), held - 1) << "the host lets go of its view";
    view->release();
}

TEST_F(Views, WindowFramesMoveTheirWidget)
{
    const CGFloat primaryHeight = NSScreen::screens().front()->frame().size.height;
    NSWindow* window = NSWindow::newWindow(NSMakeRect(100, 200, 300, 150), NSTitledWindowMask);
    QWidget* widget = window->widget();
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), QtRectFromNSRect(window->frame(), primaryHeight));
    EXPECT_FALSE(widget->windowFlags() & Qt::FramelessWindowHint);

    window->setFrame(NSMakeRect(10, 20, 200, 100), true);
    EXPECT_EQ(widget->geometry(), QRect(10, int(primaryHeight) - 120, 200, 100));
    EXPECT_TRUE(CGRectEqualToRect(window->contentView()->frame(), NSMakeRect(0, 0, 200, 100)));

    window->orderFront();
    EXPECT_TRUE(window->isVisible());
    widget->setGeometry(30, 40, 120, 90);  // as a user would
    EXPECT_TRUE(CGRectEqualToRect(window->frame(), NSMakeRect(30, primaryHeight - 130, 120, 90)));
    EXPECT_TRUE(CGRectEqualToRect(window->contentView()->frame(), NSMakeRect(0, 0, 120, 90)));

    // Closed by the user: hidden, and released once the pool drains.
    window->retain();
    widget->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->retainCount(), 2u);
    pool_->release();
    pool_ = NSAutoreleasePool::newPool();
    EXPECT_EQ(window->retainCount(), 1u);
    window->close();  // closed already: nothing more
    pool_->release();
    pool_ = NSAutoreleasePool::newPool();
    EXPECT_EQ(window->retainCount(), 1u);
    window->release();
}

TEST_F(Views, ControlsSendTheirActionToTheirTarget)
{
    Receiver* receiver = new Receiver;
    EXPECT_FALSE(receiver->respondsToSelector("pressed:"));
    EXPECT_TRUE(NSObjectAddMethod(receiver->className(), "pressed:", NotePressed));
    EXPECT_FALSE(NSObjectAddMethod(receiver->className(), "pressed:", NotePressed)) << "the class has it";
    EXPECT_FALSE(NSObjectAddMethod("", "pressed:", NotePressed));
    EXPECT_TRUE(receiver->respondsToSelector("pressed:"));
    NSObject* other = NSView::newView(CGRectZero);
    EXPECT_FALSE(other->respondsToSelector("pressed:")) << "methods belong to their class";

    NSButton* button = NSButton::newButton(NSMakeRect(0, 0, 80, 20));
    EXPECT_FALSE(button->sendAction()) << "no target, no action";
    button->setTarget(receiver);
    button->setAction("pressed:");

    struct Row {
        NSButtonType type;
        bool allowsMixed;
        NSControlStateValue before;
        NSControlStateValue after;
    } const rows[] = {
        {NSMomentaryPushInButton, false, NSOffState, NSOffState},
        {NSSwitchButton, false, NSOffState, NSOnState},
        {NSSwitchButton, false, NSOnState, NSOffState},
        {NSSwitchButton, true, NSOnState, NSOffState},
        {NSSwitchButton, true, NSOffState, NSMixedState},
        {NSSwitchButton, true, NSMixedState, NSOnState},
        {NSRadioButton, false, NSOnState, NSOnState},
        {NSToggleButton, false, NSOffState, NSOnState},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << int(row.type) << " from " << row.before);
        button->setButtonType(row.type);
        button->setAllowsMixedState(row.allowsMixed);
        button->setState(row.before);
        receiver->senders.clear();
        button->performClick();
        EXPECT_EQ(button->state(), row.after);
        EXPECT_EQ(receiver->senders, (std::vector<NSObject*>{button}));
    }

    // A disabled button does nothing; a mixed state it does not allow reads as on.
    receiver->senders.clear();
    button->setEnabled(false);
    button->performClick();
    EXPECT_TRUE(receiver->senders.empty());
    button->setAllowsMixedState(false);
    button->setState(NSMixedState);
    EXPECT_EQ(button->state(), NSOnState);

    EXPECT_FALSE(button->sendAction("unknown:", receiver));
    EXPECT_FALSE(button->sendAction("pressed:", other));
    EXPECT_TRUE(button->sendAction("pressed:", receiver));

    button->release();
    other->release();
    receiver->release();
}

TEST_F(Views, AlertSheetsAnswerAfterTheyBegin)
{
    NSWindow* window = NSWindow::newWindow(NSMakeRect(100, 100, 300, 200), NSTitledWindowMask);
    window->orderFront();
    std::vector<NSModalResponse> answers;
    auto note = [&answers](NSModalResponse response) { answers.push_back(response); };

    {
        NSAlertScript script;
        script.QueueResponse(NSAlertSecondButtonReturn);
        NSAlert* alert = NSAlert::alertWithMessage(NSString::stringWithUTF8String("Scripted"));
        alert->beginSheetModalForWindow(window, note);
        ASSERT_EQ(script.Alerts().size(), 1u);
        EXPECT_EQ(script.Alerts()[0].messageText, "Scripted");
        EXPECT_TRUE(answers.empty()) << "a sheet answers after it began";
        ASSERT_TRUE(RunUntil([&] { return !answers.empty(); }, 5));
        EXPECT_EQ(answers, (std::vector<NSModalResponse>{NSAlertSecondButtonReturn}));
    }

    // For real: a message box modal to the window, answered by a click.
    answers.clear();
    NSAlert* alert = NSAlert::newAlert();
    alert->setMessageText(NSString::stringWithUTF8String("Delete the sheet?"));
    alert->addButtonWithTitle(NSString::stringWithUTF8String("Delete"));
    alert->addButtonWithTitle(NSString::stringWithUTF8String("Cancel"));
    alert->beginSheetModalForWindow(window, note);
    EXPECT_EQ(alert->retainCount(), 2u) << "held while the sheet is up";
    alert->release();
    auto* box = window->widget()->findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->text(), "Delete the sheet?");
    ASSERT_TRUE(RunUntil([&] { return box->isVisible(); }, 5));
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == "Cancel")
            button->click();
    }
    ASSERT_TRUE(RunUntil([&] { return !answers.empty(); }, 5));
    EXPECT_EQ(answers, (std::vector<NSModalResponse>{NSAlertSecondButtonReturn}));
    window->release();

    // A window that goes with its sheet up lets go of the alert unanswered.
    answers.clear();
    NSWindow* doomed = NSWindow::newWindow(NSMakeRect(100, 100, 300, 200), NSTitledWindowMask);
    doomed->orderFront();
    NSAlert* unanswered = NSAlert::newAlert();
    unanswered->beginSheetModalForWindow(doomed, note);
    EXPECT_EQ(unanswered->retainCount(), 2u);
    doomed->release();
    EXPECT_EQ(unanswered->retainCount(), 1u);
    EXPECT_TRUE(answers.empty());
    unanswered->release();
}

// A Cocoa nib is the builder registered under its name: the controller
// runs it once, when its view is first asked for.
TEST(NSViewController, LoadsItsViewFromTheBuilderOfItsNibOnce)
{
    static int builds = 0;
    builds = 0;
    NSNibRegisterViewBuilder("Card", [](NSViewController*) -> NSView* {
        ++builds;
        NSView* card = NSView::newView(NSRect{{0, 0}, {100, 40}});
        NSView* row = NSView::newView(NSRect{{0, 0}, {100, 20}});
        NSControl* nested = NSControl::newControl(NSRect{{0, 0}, {20, 20}});
        nested->setTag(3);
        row->addSubview(nested);
        nested->release();
        card->addSubview(row);
        row->release();
        NSControl* later = NSControl::newControl(NSRect{{0, 20}, {20, 20}});
        later->setTag(3);
        card->addSubview(later);
        later->release();
        return card;
    });
    NSViewController* controller = NSViewController::newWithNibName(NSString::stringWithUTF8String("Card"), nullptr);
    EXPECT_FALSE(controller->isViewLoaded());
    NSView* view = controller->view();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(controller->view(), view);
    EXPECT_EQ(builds, 1);
    // Depth first: the nested control comes before the later sibling.
    EXPECT_EQ(view->viewWithTag(3), view->subviews()[0]->subviews()[0]);
    EXPECT_EQ(view->viewWithTag(-1), view);
    EXPECT_EQ(view->viewWithTag(4), nullptr);
    controller->release();

    NSNibRegisterViewBuilder("Card", nullptr);
    NSViewController* missing = NSViewController::newWithNibName(NSString::stringWithUTF8String("Card"), nullptr);
    EXPECT_EQ(missing->view(), nullptr);
    EXPECT_TRUE(missing->isViewLoaded());
    missing->release();
}
