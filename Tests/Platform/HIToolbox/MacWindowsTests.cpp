#include "HIToolboxTestSupport.h"
#include <HIToolbox/HIToolboxInternal.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/MacWindows.h>

#include <CoreGraphics/CGImageQt.h>

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string KindName(UInt32 kind)
{
    switch (kind) {
    case kEventWindowActivated:
        return "activated";
    case kEventWindowDeactivated:
        return "deactivated";
    case kEventWindowShowing:
        return "showing";
    case kEventWindowShown:
        return "shown";
    case kEventWindowHiding:
        return "hiding";
    case kEventWindowHidden:
        return "hidden";
    case kEventWindowClose:
        return "close";
    case kEventWindowClosed:
        return "closed";
    case kEventWindowDispose:
        return "dispose";
    case kEventWindowBoundsChanged:
        return "bounds";
    default:
        return std::to_string(kind);
    }
}

std::vector<EventTypeSpec> WindowKinds()
{
    std::vector<EventTypeSpec> types;
    for (UInt32 kind :
         {kEventWindowActivated, kEventWindowDeactivated, kEventWindowShowing, kEventWindowShown, kEventWindowHiding,
          kEventWindowHidden, kEventWindowClose, kEventWindowClosed, kEventWindowDispose, kEventWindowBoundsChanged})
        types.push_back({kEventClassWindow, kind});
    return types;
}

TEST(MacWindows, AWindowKeepsItsStateAndRefusesBadCalls)
{
    TestWindow window;
    EXPECT_TRUE(IsValidWindowPtr(window));
    EXPECT_FALSE(IsWindowVisible(window));

    SetWRefCon(window, reinterpret_cast<SRefCon>(0x1234));
    EXPECT_EQ(GetWRefCon(window), reinterpret_cast<SRefCon>(0x1234));

    // Properties of any size, by creator and tag.
    const std::string big(10000, 'x');
    EXPECT_EQ(SetWindowProperty(window, FourCC("WIND"), FourCC("docL"), big.size(), big.data()), noErr);
    ByteCount size = 0;
    EXPECT_EQ(GetWindowPropertySize(window, FourCC("WIND"), FourCC("docL"), &size), noErr);
    EXPECT_EQ(size, big.size());
    char head[4] = {};
    EXPECT_EQ(GetWindowProperty(window, FourCC("WIND"), FourCC("docL"), sizeof head, nullptr, head), noErr);
    EXPECT_EQ(std::string(head, 4), "xxxx");
    char untouched[4] = {'a', 'b', 'c', 'd'};
    ByteCount untouchedSize = 99;
    EXPECT_EQ(GetWindowProperty(window, FourCC("WIND"), FourCC("pane"), sizeof untouched, &untouchedSize, untouched),
              errWindowPropertyNotFound);
    EXPECT_EQ(std::string(untouched, 4), "abcd");
    EXPECT_EQ(untouchedSize, 99u);
    EXPECT_EQ(RemoveWindowProperty(window, FourCC("WIND"), FourCC("docL")), noErr);
    EXPECT_EQ(RemoveWindowProperty(window, FourCC("WIND"), FourCC("docL")), errWindowPropertyNotFound);

    // Bounds in global coordinates, and the event that reports a change.
    Rect bounds = {};
    EXPECT_EQ(GetWindowBounds(window, kWindowContentRgn, &bounds), noErr);
    EXPECT_EQ(bounds.left, 100);
    EXPECT_EQ(bounds.top, 100);
    EXPECT_EQ(bounds.right, 400);
    EXPECT_EQ(bounds.bottom, 300);
    Handlers handlers;
    HIRect reported = {};
    handlers.Install(GetWindowEventTarget(window), {{kEventClassWindow, kEventWindowBoundsChanged}}, [&](EventRef e) {
        GetEventParameter(e, kEventParamCurrentBounds, typeHIRect, nullptr, sizeof reported, nullptr, &reported);
        return noErr;
    });
    const Rect moved = {50, 60, 150, 260};
    EXPECT_EQ(SetWindowBounds(window, kWindowContentRgn, &moved), noErr);
    EXPECT_EQ(reported.origin.x, 60);
    EXPECT_EQ(reported.size.height, 100);

    // Attributes, class, title, modified mark, alpha.
    EXPECT_EQ(ChangeWindowAttributes(window, kWindowNoTitleBarAttribute, kWindowResizableAttribute), noErr);
    WindowAttributes attributes = 0;
    GetWindowAttributes(window, &attributes);
    EXPECT_TRUE(attributes & kWindowNoTitleBarAttribute);
    EXPECT_FALSE(attributes & kWindowResizableAttribute);
    EXPECT_EQ(ChangeWindowAttributes(window, kWindowCloseBoxAttribute, kWindowCloseBoxAttribute), paramErr);
    EXPECT_EQ(SetWindowTitleWithCFString(window, CFSTR("Sheet – 1")), noErr);
    CFStringRef title = nullptr;
    EXPECT_EQ(CopyWindowTitleAsCFString(window, &title), noErr);
    EXPECT_EQ(CFStringCompare(title, CFSTR("Sheet – 1"), 0), kCFCompareEqualTo);
    CFRelease(title);
    SetWindowModified(window, true);
    EXPECT_TRUE(IsWindowModified(window));
    EXPECT_EQ(SetWindowAlpha(window, 1.5), paramErr);

    // A stale window is refused everywhere, never read.
    WindowRef stale = window;
    DisposeWindow(window);
    EXPECT_FALSE(IsValidWindowPtr(stale));
    EXPECT_EQ(GetWindowEventTarget(stale), nullptr);
    EXPECT_EQ(SetWindowProperty(stale, 1, 2, 0, nullptr), errInvalidWindowRef);
    EXPECT_EQ(GetWindowBounds(stale, kWindowContentRgn, &bounds), errInvalidWindowRef);
    EXPECT_EQ(RetainWindow(stale), errInvalidWindowRef);
}

TEST(MacWindows, ShowHideAndCloseSendTheirEventsInOrder)
{
    TestWindow window;
    Handlers handlers;
    std::vector<std::string> log;
    handlers.Install(GetWindowEventTarget(window), WindowKinds(), [&](EventRef event) {
        log.push_back(KindName(GetEventKind(event)));
        return eventNotHandledErr;
    });
    ShowWindow(window);
    EXPECT_TRUE(IsWindowVisible(window));
    HideWindow(window);
    EXPECT_EQ(log, (std::vector<std::string>{"showing", "shown", "activated", "hiding", "deactivated", "hidden"}));
    log.clear();

    // The close box: close, the standard handler disposes, then closed and dispose.
    ShowWindow(window);
    log.clear();
    WindowRef stale = window;
    TestClickCloseBox(window);
    EXPECT_EQ(log, (std::vector<std::string>{"close", "hiding", "deactivated", "hidden", "closed", "dispose"}));
    EXPECT_FALSE(IsValidWindowPtr(stale));
}

TEST(MacWindows, AClosingWindowMayRefuseAndRetainedWindowsOutliveARelease)
{
    TestWindow window;
    Handlers handlers;
    handlers.Install(GetWindowEventTarget(window), {{kEventClassWindow, kEventWindowClose}},
                     [](EventRef) { return noErr; });  // handled: no dispose
    ShowWindow(window);
    TestClickCloseBox(window);
    EXPECT_TRUE(IsValidWindowPtr(window));

    EXPECT_EQ(RetainWindow(window), noErr);
    EXPECT_EQ(GetWindowRetainCount(window), 2u);
    EXPECT_EQ(ReleaseWindow(window), noErr);
    EXPECT_TRUE(IsValidWindowPtr(window));
    EXPECT_EQ(ReleaseWindow(window), noErr);
    EXPECT_FALSE(IsValidWindowPtr(window));
}

TEST(MacWindows, TheFrontToBackListFollowsSelectWindow)
{
    TestWindow first, second, third;
    TestWindow floating(kFloatingWindowClass, kWindowStandardFloatingAttributes);
    for (WindowRef window : {(WindowRef)first, (WindowRef)second, (WindowRef)third, (WindowRef)floating})
        ShowWindow(window);
    auto order = [] {
        std::vector<WindowRef> windows;
        for (WindowRef window = GetWindowList(); window; window = GetNextWindow(window))
            windows.push_back(window);
        return windows;
    };
    // New windows go in front.
    EXPECT_EQ(order(), (std::vector<WindowRef>{floating, third, second, first}));
    SelectWindow(first);
    EXPECT_EQ(order(), (std::vector<WindowRef>{first, floating, third, second}));
    EXPECT_TRUE(IsWindowActive(first));
    EXPECT_EQ(FrontNonFloatingWindow(), (WindowRef)first);
    SelectWindow(floating);
    EXPECT_EQ(FrontWindow(), (WindowRef)floating);
    EXPECT_EQ(FrontNonFloatingWindow(), (WindowRef)first);  // floating windows never take activation
    EXPECT_EQ(ActiveNonFloatingWindow(), (WindowRef)first);
    HideWindow(first);
    EXPECT_EQ(order().size(), 4u);  // invisible windows stay in the list
    EXPECT_EQ(FrontNonFloatingWindow(), (WindowRef)third);
    EXPECT_EQ(ActiveNonFloatingWindow(), (WindowRef)third);  // the next one became active
    EXPECT_EQ(GetFrontWindowOfClass(kFloatingWindowClass, true), (WindowRef)floating);
    SendBehind(third, second);
    EXPECT_EQ(order(), (std::vector<WindowRef>{floating, first, second, third}));
}

// The window holding the user focus hears when it loses it, whichever way
// the focus moves: directly, by selecting another window, by the window
// system activating another one, or by selecting the active window again
// while a floating window had the focus.
TEST(MacWindows, TheUserFocusWindowHearsWhenTheFocusLeavesIt)
{
    TestWindow first, second;
    TestWindow floating(kFloatingWindowClass, kWindowStandardFloatingAttributes);
    Handlers handlers;
    std::vector<std::string> log;
    for (auto [window, name] :
         {std::pair<WindowRef, const char*>{first, "first"}, {second, "second"}, {floating, "floating"}}) {
        const std::string label = name;
        handlers.Install(GetWindowEventTarget(window), {{kEventClassWindow, kEventWindowFocusRelinquish}},
                         [&log, label](EventRef) {
                             log.push_back(label + " lost the focus");
                             return eventNotHandledErr;
                         });
        ShowWindow(window);
    }
    SelectWindow(first);
    TestRunUntilIdle();
    log.clear();

    struct Step {
        const char* name;
        std::function<void()> act;
        WindowRef focus;
        std::vector<std::string> heard;
    };
    const Step steps[] = {
        {"select another", [&] { SelectWindow(second); }, second, {"first lost the focus"}},
        {"focus a floating window", [&] { SetUserFocusWindow(floating); }, floating, {"second lost the focus"}},
        {"select the active window", [&] { SelectWindow(second); }, second, {"floating lost the focus"}},
        {"window system activates another",
         [&] {
             TestActivateWindow(first);
             TestRunUntilIdle();
         },
         first,
         {"second lost the focus"}},
        {"focus the same window", [&] { SetUserFocusWindow(first); }, first, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        EXPECT_EQ(GetUserFocusWindow(), step.focus);
        EXPECT_EQ(log, step.heard);
        log.clear();
    }
}

class PressCounter : public QWidget {
public:
    using QWidget::QWidget;
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
    void mouseDoubleClickEvent(QMouseEvent*) override { ++presses; }
};

// Input reaches the window's target before any widget in the window; the
// widget gets it only when the chain answered eventNotHandledErr.
TEST(MacWindows, InputReachesTheWindowFirst)
{
    TestWindow window;
    auto* field = new PressCounter(HIWindowGetWidget(window));
    field->setGeometry(10, 10, 100, 24);
    ShowWindow(window);
    Handlers handlers;
    std::vector<std::string> log;
    OSStatus answer = noErr;
    handlers.Install(GetWindowEventTarget(window), {{kEventClassMouse, kEventMouseDown}}, [&](EventRef event) {
        HIPoint local = {};
        UInt32 clicks = 0;
        EventMouseButton button = 0;
        GetEventParameter(event, kEventParamWindowMouseLocation, typeHIPoint, nullptr, sizeof local, nullptr, &local);
        GetEventParameter(event, kEventParamClickCount, typeUInt32, nullptr, sizeof clicks, nullptr, &clicks);
        GetEventParameter(event, kEventParamMouseButton, typeMouseButton, nullptr, sizeof button, nullptr, &button);
        log.push_back("down " + std::to_string(int(local.x)) + "," + std::to_string(int(local.y)) + " x" +
                      std::to_string(clicks) + " b" + std::to_string(button));
        return answer;
    });
    TestClick(window, {20, 20});
    EXPECT_EQ(log, (std::vector<std::string>{"down 20,20 x1 b1"}));
    EXPECT_EQ(field->presses, 0);  // handled by the window: the widget never saw it

    answer = eventNotHandledErr;
    log.clear();
    TestClick(window, {20, 20}, Qt::LeftButton, Qt::NoModifier, 2);
    EXPECT_EQ(log, (std::vector<std::string>{"down 20,20 x2 b1", "down 20,20 x3 b1"}));
    EXPECT_EQ(field->presses, 2);  // passed on, Qt delivered it

    log.clear();
    TestClick(window, {200, 100}, Qt::RightButton);
    EXPECT_EQ(log, (std::vector<std::string>{"down 200,100 x1 b2"}));
}

TEST(MacWindows, KeysArriveWithTheirMacCodes)
{
    TestWindow window;
    ShowWindow(window);
    SelectWindow(window);
    Handlers handlers;
    std::vector<UInt32> codes;
    std::vector<UInt32> modifiers;
    handlers.Install(GetWindowEventTarget(window), {{kEventClassKeyboard, kEventRawKeyDown}}, [&](EventRef event) {
        UInt32 code = 0, mods = 0;
        GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof code, nullptr, &code);
        GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof mods, nullptr, &mods);
        codes.push_back(code);
        modifiers.push_back(mods);
        return noErr;
    });
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Backspace, Qt::Key_Left, Qt::Key_Right, Qt::Key_Down, Qt::Key_Up})
        TestKeyClick(window, key);
    EXPECT_EQ(codes, (std::vector<UInt32>{36, 51, 123, 124, 125, 126}));
    codes.clear();
    modifiers.clear();
    TestKeyClick(window, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    TestKeyClick(window, Qt::Key_A, Qt::AltModifier | Qt::MetaModifier);
    EXPECT_EQ(codes, (std::vector<UInt32>{0, 0}));
    EXPECT_EQ(modifiers, (std::vector<UInt32>{cmdKey | shiftKey, optionKey | controlKey}));
}

// A handler may dispose of its window while the window's event is being
// dispatched (the ASan build checks nothing freed is touched).
TEST(MacWindows, AWindowMayGoInsideItsOwnEvent)
{
    WindowRef window = nullptr;
    const Rect bounds = {0, 0, 100, 100};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window), noErr);
    ShowWindow(window);
    Handlers handlers;
    int downs = 0;
    handlers.Install(GetWindowEventTarget(window), {{kEventClassMouse, kEventMouseDown}}, [&](EventRef) {
        ++downs;
        DisposeWindow(window);
        return eventNotHandledErr;
    });
    TestClick(window, {10, 10});
    TestRunUntilIdle();
    EXPECT_EQ(downs, 1);
    EXPECT_FALSE(IsValidWindowPtr(window));
}

TEST(MacWindows, ASynchronousFadeReturnsAfterItsDuration)
{
    TestWindow window;
    TransitionWindowOptions options = {0, 0.3, nullptr, nullptr};
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(TransitionWindowWithOptions(window, kWindowFadeTransitionEffect, kWindowShowTransitionAction, nullptr,
                                          false, &options),
              noErr);
    EXPECT_GE(timer.elapsed(), 280);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(IsWindowInTransition(window));

    // Asynchronous: returns at once, hides at the end.
    timer.restart();
    EXPECT_EQ(TransitionWindowWithOptions(window, kWindowFadeTransitionEffect, kWindowHideTransitionAction, nullptr,
                                          true, &options),
              noErr);
    EXPECT_LT(timer.elapsed(), 200);
    EXPECT_TRUE(IsWindowInTransition(window));
    EXPECT_TRUE(IsWindowVisible(window));
    TestRunUntilIdle(2.0);
    QElapsedTimer wait;
    wait.start();
    while (IsWindowInTransition(window) && wait.elapsed() < 3000)
        TestRunUntilIdle(0.1);
    EXPECT_FALSE(IsWindowVisible(window));
}

TEST(MacWindows, ASheetBlocksInputToItsParent)
{
    TestWindow parent;
    TestWindow sheet(kSheetWindowClass, kWindowStandardHandlerAttribute, {0, 0, 80, 200});
    ShowWindow(parent);
    Handlers handlers;
    int parentDowns = 0, sheetDowns = 0;
    handlers.Install(GetWindowEventTarget(parent), {{kEventClassMouse, kEventMouseDown}},
                     [&](EventRef) { return ++parentDowns, noErr; });
    handlers.Install(GetWindowEventTarget(sheet), {{kEventClassMouse, kEventMouseDown}},
                     [&](EventRef) { return ++sheetDowns, noErr; });
    TestClick(parent, {250, 150});
    EXPECT_EQ(parentDowns, 1);

    ASSERT_EQ(ShowSheetWindow(sheet, parent), noErr);
    WindowRef sheetParent = nullptr;
    EXPECT_EQ(GetSheetWindowParent(sheet, &sheetParent), noErr);
    EXPECT_EQ(sheetParent, (WindowRef)parent);
    Rect parentBounds, sheetBounds;
    GetWindowBounds(parent, kWindowContentRgn, &parentBounds);
    GetWindowBounds(sheet, kWindowContentRgn, &sheetBounds);
    EXPECT_EQ(sheetBounds.top, parentBounds.top);  // hanging from the parent's top, centred
    EXPECT_EQ(sheetBounds.left, parentBounds.left + 50);
    TestClick(parent, {250, 150});
    TestClick(sheet, {10, 10});
    EXPECT_EQ(parentDowns, 1);
    EXPECT_EQ(sheetDowns, 1);

    ASSERT_EQ(HideSheetWindow(sheet), noErr);
    TestClick(parent, {250, 150});
    EXPECT_EQ(parentDowns, 2);
}

OSStatus PaintBackground(EventHandlerCallRef, EventRef event, void*)
{
    CGContextRef context = nullptr;
    GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context, nullptr, &context);
    CGContextSetRGBFillColor(context, 0, 0, 1, 1);
    CGContextFillRect(context, CGRectMake(0, 0, 1000, 1000));
    return noErr;
}

// The content is drawn once into the window's buffer, only where it was made
// invalid; the window's paint event first, then the view layer's drawer.
TEST(MacWindows, ContentIsDrawnOnlyWhereInvalid)
{
    TestWindow window;
    const EventTypeSpec paint = {kEventClassWindow, kEventWindowPaint};
    InstallEventHandler(GetWindowEventTarget(window), PaintBackground, 1, &paint, nullptr, nullptr);
    struct Drawn {
        std::vector<HIRect> rects;
    } drawn;
    HIWindowSetContentDrawer(
        window,
        [](WindowRef, CGContextRef context, HIRect dirty, void* refCon) {
            static_cast<Drawn*>(refCon)->rects.push_back(dirty);
            CGContextSetRGBFillColor(context, 1, 0, 0, 1);
            CGContextFillRect(context, CGRectMake(10, 10, 20, 20));  // top-left origin
        },
        &drawn);
    ShowWindow(window);
    TestRunUntilIdle();
    ASSERT_EQ(drawn.rects.size(), 1u);
    EXPECT_EQ(drawn.rects[0].size.width, 300);

    const HIRect part = {{50, 60}, {10, 10}};
    HIWindowInvalidateRect(window, &part);
    TestRunUntilIdle();
    ASSERT_EQ(drawn.rects.size(), 2u);
    EXPECT_EQ(drawn.rects[1].origin.x, 50);
    EXPECT_EQ(drawn.rects[1].size.height, 10);

    // A repaint by Qt shows the buffer and draws nothing.
    HIWindowGetWidget(window)->repaint();
    EXPECT_EQ(drawn.rects.size(), 2u);
    CGImageRef image = HIWindowCopyContentImage(window);
    const QImage pixels = CGImageGetQImage(image);
    EXPECT_EQ(QColor(pixels.pixel(15, 15)), QColor(Qt::red));
    EXPECT_EQ(QColor(pixels.pixel(100, 100)), QColor(Qt::blue));
    CGImageRelease(image);
}

// A window may name the part under a point itself; without an answer its
// geometry does, and a window answering "no part" lets the point through.
TEST(MacWindows, FindWindowAsksTheWindowForThePart)
{
    TestWindow below, above;
    ShowWindow(below);
    ShowWindow(above);  // both at the same place, `above` in front
    Handlers handlers;
    HIPoint asked = {-1, -1};
    OSStatus answer = noErr;
    SInt16 named = wInGrow;
    handlers.Install(GetWindowEventTarget(above), {{kEventClassWindow, kEventWindowHitTest}}, [&](EventRef event) {
        GetEventParameter(event, kEventParamMouseLocation, typeHIPoint, nullptr, sizeof asked, nullptr, &asked);
        SetEventParameter(event, kEventParamWindowDefPart, typeWindowDefPartCode, sizeof named, &named);
        return answer;
    });
    struct Row {
        const char* name;
        OSStatus answer;
        SInt16 named;
        SInt16 part;
        bool above;
    };
    const Row rows[] = {
        {"the window names the part", noErr, wInGrow, wInGrow, true},
        {"unanswered: the geometry", eventNotHandledErr, wInGrow, wInContent, true},
        {"no part: the point goes through", noErr, wNoHit, wInContent, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        answer = row.answer;
        named = row.named;
        WindowRef found = nullptr;
        EXPECT_EQ(FindWindow(Point{150, 120}, &found), row.part);
        EXPECT_EQ(found, row.above ? (WindowRef)above : (WindowRef)below);
        EXPECT_EQ(asked.x, 120);  // global
        EXPECT_EQ(asked.y, 150);
    }
}

// Runs the steps one after another from the event loop (so that they run
// inside a modal loop started meanwhile), each once the one before is done.
void RunLater(std::vector<std::function<void()>> steps, size_t index = 0)
{
    if (index >= steps.size())
        return;
    QTimer::singleShot(0, [steps = std::move(steps), index]() mutable {
        steps[index]();
        RunLater(std::move(steps), index + 1);
    });
}

// The mouse moved to a global point, whatever the window's place is by then.
std::function<void()> MoveTo(WindowRef window, HIPoint global)
{
    return [window, global] {
        HIRect content = {};
        HIWindowGetBounds(window, kWindowContentRgn, &content);
        TestMouseMove(window, {global.x - content.origin.x, global.y - content.origin.y});
    };
}

std::function<void()> ReleaseAt(WindowRef window, HIPoint global)
{
    return [window, global] {
        HIRect content = {};
        HIWindowGetBounds(window, kWindowContentRgn, &content);
        TestMouseRelease(window, {global.x - content.origin.x, global.y - content.origin.y});
    };
}

TEST(MacWindows, TheUserDragsAndResizesAWindowUntilTheButtonIsReleased)
{
    TestWindow window;  // content (100, 100), 300 × 200
    ShowWindow(window);
    Handlers handlers;
    int boundsEvents = 0;
    bool mouseReachedTheWindow = false;
    handlers.Install(GetWindowEventTarget(window), {{kEventClassWindow, kEventWindowBoundsChanged}}, [&](EventRef) {
        ++boundsEvents;
        return eventNotHandledErr;
    });
    auto content = [&] {
        HIRect bounds = {};
        HIWindowGetBounds(window, kWindowContentRgn, &bounds);
        return bounds;
    };

    // No button down: nothing to follow.
    DragWindow(window, Point{110, 110}, nullptr);
    Rect untouched = {1, 2, 3, 4};
    EXPECT_FALSE(ResizeWindow(window, Point{299, 399}, nullptr, &untouched));
    EXPECT_EQ(content().origin.x, 100);
    EXPECT_EQ(untouched.right, 400);  // the content bounds all the same

    // Dragged from (110, 110) by (100, 40): every move follows the mouse.
    TestMousePress(window, {10, 10});
    handlers.Install(GetWindowEventTarget(window), {{kEventClassMouse, kEventMouseDragged}}, [&](EventRef) {
        mouseReachedTheWindow = true;
        return eventNotHandledErr;
    });
    RunLater({MoveTo(window, {160, 130}), MoveTo(window, {210, 150}), ReleaseAt(window, {210, 150})});
    DragWindow(window, Point{110, 110}, nullptr);
    EXPECT_EQ(content().origin.x, 200);
    EXPECT_EQ(content().origin.y, 140);
    EXPECT_EQ(content().size.width, 300);
    EXPECT_GE(boundsEvents, 2);
    EXPECT_FALSE(mouseReachedTheWindow) << "the window saw the mouse it was dragged by";

    // Within limits the mouse is held at their edge.
    const Rect limits = {0, 0, 400, 260};  // top, left, bottom, right
    TestMousePress(window, {10, 10});      // global (210, 150)
    RunLater({MoveTo(window, {400, 160}), ReleaseAt(window, {400, 160})});
    DragWindow(window, Point{150, 210}, &limits);
    EXPECT_EQ(content().origin.x, 200 + (259 - 210));
    EXPECT_EQ(content().origin.y, 150);

    // Resized from its bottom-right corner, within the size limits.
    const HIRect before = content();
    const HIPoint corner = {before.origin.x + before.size.width - 1, before.origin.y + before.size.height - 1};
    const Rect sizes = {50, 100, 400, 320};  // least 100 × 50, greatest 320 × 400
    TestMousePress(window, {before.size.width - 1, before.size.height - 1});
    RunLater({MoveTo(window, {corner.x + 50, corner.y + 30}), ReleaseAt(window, {corner.x + 50, corner.y + 30})});
    Rect resized = {};
    EXPECT_TRUE(ResizeWindow(window, Point{SInt16(corner.y), SInt16(corner.x)}, &sizes, &resized));
    EXPECT_EQ(content().size.width, 320);
    EXPECT_EQ(content().size.height, 230);
    EXPECT_EQ(content().origin.x, before.origin.x);  // the top-left stays
    EXPECT_EQ(resized.right - resized.left, 320);
    EXPECT_EQ(resized.bottom - resized.top, 230);
}

}  // namespace
