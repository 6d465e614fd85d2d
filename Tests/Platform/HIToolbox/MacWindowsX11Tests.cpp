// Windows on a real X server (run through scripts/with-x11.sh): what only
// the server and its window manager show. Clicks come from another client
// through the X test extension, as a user's would.
#include <HIToolbox/HIToolboxInternal.h>
#include <HIToolbox/MacWindows.h>

#include <gtest/gtest.h>

#include <RunUntil.h>

#include <QApplication>
#include <QProcess>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Another client of the X server, moving the pointer and clicking.
class Pointer {
public:
    Pointer() : connection_(xcb_connect(nullptr, nullptr))
    {
        if (!xcb_connection_has_error(connection_))
            root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    }
    ~Pointer() { xcb_disconnect(connection_); }
    Pointer(const Pointer&) = delete;
    Pointer& operator=(const Pointer&) = delete;

    bool Connected() const { return !xcb_connection_has_error(connection_); }

    void Click(int x, int y)
    {
        xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, int16_t(x), int16_t(y), 0);
        xcb_test_fake_input(connection_, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(connection_, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(connection_);
        free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));  // a round trip
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
};

// The client the window manager stacks on top of the others.
WId TopClient()
{
    QProcess xprop;
    xprop.start("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
    xprop.waitForFinished(5000);
    const QString list = QString::fromUtf8(xprop.readAllStandardOutput());
    const QString last = list.section(QLatin1Char(','), -1).section(QLatin1Char(' '), -1).trimmed();
    return last.toULongLong(nullptr, 16);
}

struct Downs {
    int count = 0;
};

OSStatus CountDown(EventHandlerCallRef, EventRef, void* downs)
{
    ++static_cast<Downs*>(downs)->count;
    return noErr;
}

WindowRef NewWindow(WindowAttributes attributes, Downs* downs)
{
    const Rect bounds = {100, 100, 300, 400};
    WindowRef window = nullptr;
    EXPECT_EQ(CreateNewWindow(kDocumentWindowClass, attributes, &bounds, &window), noErr);
    const EventTypeSpec down = {kEventClassMouse, kEventMouseDown};
    InstallEventHandler(GetWindowEventTarget(window), CountDown, 1, &down, downs, nullptr);
    return window;
}

void PaintSquare(WindowRef, CGContextRef context, HIRect, void*)
{
    CGContextSetRGBFillColor(context, 1, 0, 0, 1);
    CGContextFillRect(context, CGRectMake(10, 10, 50, 50));
}

// A transparent window takes clicks only where it has painted: a click on a
// fully transparent pixel reaches the window beneath it.
TEST(MacWindowsX11, AClickOnATransparentPixelReachesTheWindowBeneath)
{
    Pointer pointer;
    ASSERT_TRUE(pointer.Connected());
    Downs beneathDowns, aboveDowns;
    WindowRef beneath = NewWindow(kWindowNoTitleBarAttribute, &beneathDowns);
    WindowRef above = NewWindow(kWindowNoTitleBarAttribute | kWindowNoShadowAttribute, &aboveDowns);
    HIWindowSetContentDrawer(
        beneath,
        [](WindowRef, CGContextRef c, HIRect, void*) {
            CGContextSetRGBFillColor(c, 0, 0, 1, 1);  // painted all over
            CGContextFillRect(c, CGRectMake(0, 0, 300, 200));
        },
        nullptr);
    HIWindowSetContentDrawer(above, PaintSquare, nullptr);
    ShowWindow(beneath);
    ShowWindow(above);
    // Once the window manager has both, the one above goes on top.
    auto exposed = [](WindowRef window) { return HIWindowGetWidget(window)->windowHandle()->isExposed(); };
    ASSERT_TRUE(RunUntil([&] { return exposed(above) && exposed(beneath); }, 5));
    SelectWindow(above);
    ASSERT_TRUE(RunUntil([&] { return TopClient() == HIWindowGetWidget(above)->winId(); }, 5));

    // The painted square of the window above (global 110..160).
    pointer.Click(130, 130);
    ASSERT_TRUE(RunUntil([&] { return aboveDowns.count + beneathDowns.count > 0; }, 5));
    EXPECT_EQ(aboveDowns.count, 1);
    EXPECT_EQ(beneathDowns.count, 0);

    // A transparent pixel of the window above.
    pointer.Click(300, 200);
    ASSERT_TRUE(RunUntil([&] { return beneathDowns.count > 0; }, 5));
    EXPECT_EQ(aboveDowns.count, 1);
    EXPECT_EQ(beneathDowns.count, 1);

    DisposeWindow(above);
    DisposeWindow(beneath);
}

std::string NetWmState(QWidget* widget)
{
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(widget->winId()), "_NET_WM_STATE"});
    xprop.waitForFinished(5000);
    return xprop.readAllStandardOutput().toStdString() + xprop.readAllStandardError().toStdString();
}

// A window's level reaches the window manager as the EWMH states "below"
// and "above".
TEST(MacWindowsX11, LevelsBecomeWindowManagerStates)
{
    Downs downs;
    WindowRef window = NewWindow(kWindowNoTitleBarAttribute, &downs);
    ShowWindow(window);
    QWidget* widget = HIWindowGetWidget(window);
    ASSERT_TRUE(RunUntil([&] { return widget->isVisible(); }));

    struct Row {
        const char* trace;
        SInt32 key;
        const char* state;
        const char* notState;
    };
    const Row rows[] = {
        {"desktop", kCGDesktopWindowLevelKey, "_NET_WM_STATE_BELOW", "_NET_WM_STATE_ABOVE"},
        {"overlay", kCGOverlayWindowLevelKey, "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_BELOW"},
        {"normal", kCGNormalWindowLevelKey, "", "_NET_WM_STATE_"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.trace);
        const CGWindowLevel level = CGWindowLevelForKey(row.key) + (row.key == kCGDesktopWindowLevelKey ? -1 : 0);
        ASSERT_EQ(SetWindowGroupLevel(GetWindowGroup(window), level), noErr);
        CGWindowLevel got = 0;
        EXPECT_EQ(GetWindowGroupLevel(GetWindowGroup(window), &got), noErr);
        EXPECT_EQ(got, level);
        std::string state;
        const bool reached = RunUntil(
            [&] {
                state = NetWmState(widget);
                return state.find(row.state) != std::string::npos && state.find(row.notState) == std::string::npos;
            },
            5);
        EXPECT_TRUE(reached) << state;
        EXPECT_TRUE(IsWindowVisible(window));
    }
    DisposeWindow(window);
}

}  // namespace
