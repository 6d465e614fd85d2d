// The menu bar strip on a real X server (run through scripts/with-x11.sh):
// where the window manager puts it, and a user's clicks through the X test
// extension opening a menu and choosing an item.
#include <HIToolbox/MacWindows.h>
#include <HIToolbox/Menus.h>

#include <gtest/gtest.h>

#include <RunUntil.h>

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <string>
#include <vector>

namespace {

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

    void Click(QPoint global)
    {
        xcb_test_fake_input(connection_, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, int16_t(global.x()),
                            int16_t(global.y()), 0);
        xcb_test_fake_input(connection_, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(connection_, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(connection_);
        free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));  // a round trip
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
};

std::string WindowType(QWidget* widget)
{
    QProcess xprop;
    xprop.start("xprop", {"-id", QString::number(widget->winId()), "_NET_WM_WINDOW_TYPE"});
    xprop.waitForFinished(5000);
    return xprop.readAllStandardOutput().toStdString();
}

OSStatus RunCommand(EventHandlerCallRef, EventRef event, void* seen)
{
    HICommand command = {};
    GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
    static_cast<std::vector<HICommand>*>(seen)->push_back(command);
    return noErr;
}

OSStatus DisableClose(EventHandlerCallRef, EventRef event, void*)
{
    HICommand command = {};
    GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
    if (command.commandID == kHICommandClose)
        DisableMenuItem(command.menu.menuRef, command.menu.menuItemIndex);
    return noErr;
}

TEST(MenusX11, TheStripIsADockAtTheTopAndAClickChoosesWithoutTakingTheFocus)
{
    Pointer pointer;
    ASSERT_TRUE(pointer.Connected());
    const Rect bounds = {200, 200, 400, 500};
    WindowRef window = nullptr;
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardDocumentAttributes, &bounds, &window), noErr);
    ShowWindow(window);
    SelectWindow(window);
    ASSERT_TRUE(RunUntil([] { return QGuiApplication::applicationState() == Qt::ApplicationActive; }, 5));

    MenuRef file = nullptr;
    ASSERT_EQ(CreateNewMenu(128, 0, &file), noErr);
    SetMenuTitleWithCFString(file, CFSTR("File"));
    AppendMenuItemTextWithCFString(file, CFSTR("Open"), 0, kHICommandOpen, nullptr);
    AppendMenuItemTextWithCFString(file, CFSTR("Close"), 0, kHICommandClose, nullptr);
    InsertMenu(file, 0);
    DrawMenuBar();
    std::vector<HICommand> processed;
    const EventTypeSpec process = {kEventClassCommand, kEventCommandProcess};
    const EventTypeSpec update = {kEventClassCommand, kEventCommandUpdateStatus};
    EventHandlerRef processHandler = nullptr;
    EventHandlerRef updateHandler = nullptr;
    InstallApplicationEventHandler(RunCommand, 1, &process, &processed, &processHandler);
    InstallApplicationEventHandler(DisableClose, 1, &update, nullptr, &updateHandler);

    QWidget* strip = HIMenuBarGetStrip();
    ASSERT_NE(strip, nullptr);
    ASSERT_TRUE(RunUntil([&] { return strip->isVisible() && strip->windowHandle()->isExposed(); }, 5));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_TRUE(RunUntil([&] { return strip->geometry().topLeft() == screen.topLeft(); }, 5));
    EXPECT_EQ(strip->width(), screen.width());
    EXPECT_NE(WindowType(strip).find("_NET_WM_WINDOW_TYPE_DOCK"), std::string::npos) << WindowType(strip);

    auto* bar = strip->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    QAction* title = bar->actions().at(0);
    pointer.Click(bar->mapToGlobal(bar->actionGeometry(title).center()));
    QMenu* menu = title->menu();
    ASSERT_TRUE(RunUntil([&] { return menu->isVisible() && menu->actions().size() == 2; }, 5));
    EXPECT_FALSE(menu->actions().at(1)->isEnabled());  // the update pass ran before it showed
    pointer.Click(menu->mapToGlobal(menu->actionGeometry(menu->actions().at(0)).center()));
    ASSERT_TRUE(RunUntil([&] { return !processed.empty(); }, 5));
    EXPECT_EQ(processed[0].commandID, kHICommandOpen);
    EXPECT_EQ(processed[0].menu.menuRef, file);
    EXPECT_EQ(processed[0].menu.menuItemIndex, 1);
    // The strip never took the focus: the program stayed active in its window.
    EXPECT_NE(QGuiApplication::focusWindow(), strip->windowHandle());
    EXPECT_EQ(QGuiApplication::applicationState(), Qt::ApplicationActive);

    RemoveEventHandler(processHandler);
    RemoveEventHandler(updateHandler);
    ClearMenuBar();
    DrawMenuBar();
    EXPECT_FALSE(strip->isVisible());
    ReleaseMenu(file);
    DisposeWindow(window);
}

}  // namespace
