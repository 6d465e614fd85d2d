// The Carbon utilities around HI commands, menus and HIView controls.
#include <CFTestSupport.h>
#include <QtTestApplication.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <HIToolbox/ControlKinds.h>
#include <HIToolbox/HostedViews.h>

#include <QApplication>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

testing::Environment* const gApplication = AddQtTestApplication<QApplication>("CarbonControls");

constexpr OSStatus kUntouched = 12345;

// A menu of the test with items by title and command, released at its end.
class Menu {
public:
    explicit Menu(MenuID id) { EXPECT_EQ(CreateNewMenu(id, 0, &menu_), noErr); }
    ~Menu() { ReleaseMenu(menu_); }
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;
    operator MenuRef() const { return menu_; }

    MenuItemIndex Append(const char* title, MenuCommand command)
    {
        MenuItemIndex index = 0;
        CFStringRef text = CFStringCreateWithCString(nullptr, title, kCFStringEncodingUTF8);
        EXPECT_EQ(AppendMenuItemTextWithCFString(menu_, text, 0, command, &index), noErr);
        CFRelease(text);
        return index;
    }
    std::vector<bool> Checks() const
    {
        std::vector<bool> checks;
        for (MenuItemIndex i = 1; i <= CountMenuItems(menu_); ++i)
            checks.push_back(IsMenuItemChecked(menu_, i));
        return checks;
    }

private:
    MenuRef menu_ = nullptr;
};

class MenuBarReset {
public:
    ~MenuBarReset()
    {
        ClearMenuBar();
        DrawMenuBar();
    }
};

class Window {
public:
    Window()
    {
        const Rect bounds = {100, 100, 300, 400};
        EXPECT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardDocumentAttributes, &bounds, &window_), noErr);
    }
    ~Window() { DisposeWindow(window_); }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    operator WindowRef() const { return window_; }

private:
    WindowRef window_ = nullptr;
};

OSStatus RecordCommand(EventHandlerCallRef, EventRef event, void* data)
{
    auto* commands = static_cast<std::vector<HICommand>*>(data);
    HICommand command;
    std::memset(&command, 0xAB, sizeof command);
    GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
    commands->push_back(command);
    return noErr;
}

}  // namespace

TEST(CarbonControls, SendHICommandDeliversABareCommand)
{
    Window window;
    std::vector<HICommand> received;
    const EventTypeSpec process = {kEventClassCommand, kEventCommandProcess};
    EventHandlerRef handler = nullptr;
    ASSERT_EQ(InstallEventHandler(GetWindowEventTarget(window), RecordCommand, 1, &process, &received, &handler),
              noErr);

    Err = kUntouched;
    SendHICommand(GetWindowEventTarget(window), FCC("undo"));
    EXPECT_EQ(Err, noErr);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].commandID, FCC("undo"));
    EXPECT_EQ(received[0].attributes, 0u);
    EXPECT_EQ(received[0].menu.menuRef, nullptr);
    EXPECT_EQ(received[0].menu.menuItemIndex, 0);

    // Nobody handles it on a target without handlers: the status says so.
    RemoveEventHandler(handler);
    SendHICommand(GetWindowEventTarget(window), FCC("redo"));
    EXPECT_EQ(Err, eventNotHandledErr);
    SendHICommand(nullptr, FCC("redo"));
    EXPECT_NE(Err, noErr);
    EXPECT_EQ(received.size(), 1u);
}

TEST(CarbonControls, GetCommandParameterFallsBackToTheMenuItemProperty)
{
    Menu menu(200);
    const MenuItemIndex item = menu.Append("Colour", FCC("colr"));
    const UInt32 fromItem = 0xC0FFEE;
    ASSERT_EQ(SetMenuItemProperty(menu, item, FCC("TEST"), FCC("colr"), sizeof fromItem, &fromItem), noErr);

    EventRef event = nullptr;
    ASSERT_EQ(CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event), noErr);
    HICommand command = {};
    command.attributes = kHICommandFromMenu;
    command.commandID = FCC("colr");
    command.menu.menuRef = menu;
    command.menu.menuItemIndex = item;
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);

    UInt32 value = 7;
    EXPECT_EQ(GetCommandParameter(event, FCC("TEST"), FCC("colr"), sizeof value, &value), noErr);
    EXPECT_EQ(value, fromItem) << "read from the item";

    const UInt32 fromEvent = 42;
    SetEventParameter(event, FCC("TEST"), FCC("colr"), sizeof fromEvent, &fromEvent);
    EXPECT_EQ(GetCommandParameter(event, FCC("TEST"), FCC("colr"), sizeof value, &value), noErr);
    EXPECT_EQ(value, fromEvent) << "the event's own parameter comes first";

    // Neither has it: the status says so and the buffer stays.
    value = 7;
    EXPECT_EQ(GetCommandParameter(event, FCC("TEST"), FCC("none"), sizeof value, &value), menuPropertyNotFoundErr);
    EXPECT_EQ(value, 7u);

    // A command that did not come from a menu has no item to fall back on.
    command.attributes = 0;
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    RemoveEventParameter(event, FCC("TEST"));
    EXPECT_EQ(GetCommandParameter(event, FCC("TEST"), FCC("colr"), sizeof value, &value), eventParameterNotFoundErr);
    EXPECT_EQ(value, 7u);
    ReleaseEvent(event);
}

TEST(CarbonControls, MenuChecksAndEnabling)
{
    MenuBarReset reset;
    Menu view(201);
    Menu sizes(202);
    const MenuItemIndex grid = view.Append("Grid", FCC("grid"));
    const MenuItemIndex rulers = view.Append("Rulers", FCC("rulr"));
    view.Append("Sizes", 0);
    ASSERT_EQ(SetMenuItemHierarchicalMenu(view, 3, sizes), noErr);
    sizes.Append("Small", FCC("smal"));
    sizes.Append("Large", FCC("larg"));
    InsertMenu(view, 0);

    // Found in a submenu, through the menu or the whole bar.
    Err = kUntouched;
    CheckMenuCommand(view, FCC("larg"));
    EXPECT_EQ(Err, noErr);
    EXPECT_EQ(sizes.Checks(), (std::vector<bool>{false, true}));
    EXPECT_TRUE(IsMenuCommandChecked(FCC("larg")));
    EXPECT_EQ(Err, noErr);
    EXPECT_FALSE(IsMenuCommandChecked(FCC("smal")));

    ToggleMenuCommand(nullptr, FCC("grid"));
    EXPECT_TRUE(IsMenuItemChecked(view, grid));
    ToggleMenuCommand(view, FCC("grid"));
    EXPECT_FALSE(IsMenuItemChecked(view, grid));

    // A command nobody has: nothing changes, and the status says why.
    const std::vector<bool> before = view.Checks();
    for (auto act :
         {+[] { CheckMenuCommand(nullptr, FCC("none")); }, +[] { ToggleMenuCommand(nullptr, FCC("none")); }}) {
        Err = kUntouched;
        act();
        EXPECT_EQ(Err, menuItemNotFoundErr);
    }
    EXPECT_EQ(view.Checks(), before);
    Err = kUntouched;
    EXPECT_FALSE(IsMenuCommandChecked(FCC("none")));
    EXPECT_EQ(Err, menuItemNotFoundErr);

    // Any mark counts as checked.
    SetItemMark(view, rulers, diamondMark);
    EXPECT_TRUE(IsMenuItemChecked(view, rulers));
    EXPECT_FALSE(IsMenuItemChecked(view, 99));

    SetMenuItemEnabled(view, rulers, false);
    EXPECT_FALSE(IsMenuItemEnabled(view, rulers));
    SetMenuItemEnabled(view, rulers, true);
    EXPECT_TRUE(IsMenuItemEnabled(view, rulers));
}

TEST(CarbonControls, ToggleMenuItemLeavesOneCheckedItem)
{
    Menu menu(203);
    for (const char* title : {"One", "Two", "Three"})
        menu.Append(title, 0);
    SetItemMark(menu, 1, checkMark);
    SetItemMark(menu, 3, diamondMark);

    struct Row {
        MenuItemIndex index;
        std::vector<bool> checks;
    } const rows[] = {
        {2, {false, true, false}},
        {3, {false, false, true}},
        {0, {false, false, false}},
        {9, {false, false, false}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        ToggleMenuItem(row.index, menu);
        EXPECT_EQ(menu.Checks(), row.checks);
    }
}

TEST(CarbonControls, ViewFrameTextAndFind)
{
    Window window;
    ControlRef text = nullptr;
    const Rect bounds = {10, 20, 30, 120};
    ASSERT_EQ(CreateStaticTextControl(window, &bounds, CFSTR("Due tomorrow"), nullptr, &text), noErr);
    const ControlID id = {FCC("TEXT"), 7};
    SetControlID(text, &id);

    Err = kUntouched;
    const CGRect frame = HIViewFrame(text);
    EXPECT_EQ(Err, noErr);
    EXPECT_TRUE(CGRectEqualToRect(frame, CGRectMake(20, 10, 100, 20)));
    EXPECT_EQ(HIViewGetText(text), "Due tomorrow");

    EXPECT_EQ(HIViewFind(7, FCC("TEXT"), window), text);
    EXPECT_EQ(HIViewFind(8, FCC("TEXT"), window), nullptr);
    EXPECT_EQ(HIViewFind(7, FCC("TEXT"), nullptr), nullptr);

    EXPECT_TRUE(CGRectEqualToRect(HIViewFrame(nullptr), CGRectZero));
    EXPECT_NE(Err, noErr);
    EXPECT_EQ(HIViewGetText(nullptr), "");
}

TEST(CarbonControls, ViewTags)
{
    Window window;
    ControlRef view = nullptr;
    const Rect bounds = {0, 0, 20, 20};
    ASSERT_EQ(CreateUserPaneControl(window, &bounds, 0, &view), noErr);

    const std::string longTag(300, 'x');
    struct Row {
        const char* what;
        std::string stored;  // the property's bytes; empty: none set
        std::string tag;
    } const rows[] = {
        {"a C string", std::string("heading", 8), "heading"},
        {"without its zero", "heading", "heading"},
        {"only the zero", std::string(1, '\0'), ""},
        {"longer than a short string", longTag + '\0', std::string(255, 'x')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(SetControlProperty(view, FCC("view"), FCC("ntag"), row.stored.size(), row.stored.data()), noErr);
        Err = kUntouched;
        EXPECT_EQ(HIViewGetTag(view), row.tag);
        EXPECT_EQ(Err, noErr);
    }
    RemoveControlProperty(view, FCC("view"), FCC("ntag"));
    EXPECT_EQ(HIViewGetTag(view), "");
    EXPECT_EQ(Err, controlPropertyNotFoundErr);
}

TEST(CarbonControls, ViewMenus)
{
    Window window;
    Menu menu(204);
    menu.Append("First", 0);
    const Rect bounds = {0, 0, 20, 100};
    ControlRef popup = nullptr;
    ASSERT_EQ(CreatePopupButtonControl(window, &bounds, nullptr, 0, false, 0, 0, 0, &popup), noErr);
    MenuRef given = menu;
    ASSERT_EQ(SetControlData(popup, 0, kControlPopupButtonMenuRefTag, sizeof given, &given), noErr);
    ControlRef bevel = nullptr;
    ASSERT_EQ(CreateBevelButtonControl(window, &bounds, CFSTR("Bevel"), kControlBevelButtonNormalBevel,
                                       kControlBehaviorPushbutton, nullptr, 0, 0, 0, &bevel),
              noErr);
    ASSERT_EQ(SetControlData(bevel, 0, kControlBevelButtonMenuRefTag, sizeof given, &given), noErr);
    ControlRef push = nullptr;
    ASSERT_EQ(CreatePushButtonControl(window, &bounds, CFSTR("Push"), &push), noErr);

    Err = kUntouched;
    EXPECT_EQ(HIViewGetMenu(popup), given);
    EXPECT_EQ(Err, noErr);
    EXPECT_EQ(HIViewGetMenu(bevel), given);
    EXPECT_EQ(HIViewGetMenu(push), nullptr);
    EXPECT_EQ(HIViewGetMenu(nullptr), nullptr);
    EXPECT_NE(Err, noErr);
}

TEST(CarbonControls, FocusEditTextSelectsAllOfIt)
{
    Window window;
    ShowWindow(window);
    const Rect bounds = {10, 10, 30, 200};
    ControlRef first = nullptr;
    ControlRef second = nullptr;
    ASSERT_EQ(CreateEditUnicodeTextControl(window, &bounds, CFSTR("first field"), false, nullptr, &first), noErr);
    ASSERT_EQ(CreateEditUnicodeTextControl(window, &bounds, CFSTR("second"), false, nullptr, &second), noErr);

    auto selection = [](ControlRef field) {
        ControlEditTextSelectionRec rec = {-1, -1};
        GetControlData(field, 0, kControlEditTextSelectionTag, sizeof rec, &rec, nullptr);
        return std::to_string(rec.selStart) + "-" + std::to_string(rec.selEnd);
    };
    auto focus = [&]() {
        ControlRef focused = nullptr;
        GetKeyboardFocus(window, &focused);
        return focused;
    };

    Err = kUntouched;
    HIViewFocusEditText(second);
    EXPECT_EQ(Err, noErr);
    EXPECT_EQ(focus(), second);
    EXPECT_EQ(selection(second), "0-6");

    // Focused already: it stays focused, and all of its text is selected again.
    const ControlEditTextSelectionRec caret = {2, 2};
    SetControlData(second, 0, kControlEditTextSelectionTag, sizeof caret, &caret);
    HIViewFocusEditText(second);
    EXPECT_EQ(focus(), second);
    EXPECT_EQ(selection(second), "0-6");

    HIViewFocusEditText(first);
    EXPECT_EQ(focus(), first);
    EXPECT_EQ(selection(first), "0-11");
}
