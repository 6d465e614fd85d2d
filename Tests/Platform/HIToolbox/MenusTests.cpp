#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/HIView.h>
#include <HIToolbox/KeyCodes.h>
#include <HIToolbox/Menus.h>

#include <CoreGraphics/CGImageQt.h>

#include <QAction>
#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <gtest/gtest.h>

#include "HIToolboxTestSupport.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A hidden window of 160 × 100 with the standard handler.
struct MenuWindow : TestWindow {
    MenuWindow() : TestWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, {100, 100, 200, 260}) {}
};

// A menu of the test, released at its end.
class TestMenu {
public:
    explicit TestMenu(MenuID id = 128, const char* title = "Menu")
    {
        EXPECT_EQ(CreateNewMenu(id, 0, &menu_), noErr);
        SetMenuTitleWithCFString(menu_, CFSTR(title));
    }
    ~TestMenu() { ReleaseMenu(menu_); }
    operator MenuRef() const { return menu_; }

    MenuItemIndex Append(const char* text, MenuCommand command = 0, MenuItemAttributes attributes = 0)
    {
        MenuItemIndex index = 0;
        EXPECT_EQ(AppendMenuItemTextWithCFString(menu_, CFSTR(text), attributes, command, &index), noErr);
        return index;
    }

private:
    MenuRef menu_ = nullptr;
};

// The test's chooser stands for the user while it lives.
class ScriptedChoices {
public:
    explicit ScriptedChoices(MenuTestChooser chooser) { MenuTestSetChooser(std::move(chooser)); }
    ~ScriptedChoices() { MenuTestSetChooser(nullptr); }
};

// The menu bar is the process's: each test leaves it empty.
class MenuBarReset {
public:
    ~MenuBarReset()
    {
        ClearMenuBar();
        DrawMenuBar();
    }
};

HICommand CommandOf(EventRef event)
{
    HICommand command = {};
    EXPECT_EQ(
        GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command),
        noErr);
    return command;
}

std::string Code(UInt32 code)
{
    return {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
}

std::string Text(const QAction* action)
{
    return action->text().toStdString();
}

constexpr EventTypeSpec kProcess = {kEventClassCommand, kEventCommandProcess};
constexpr EventTypeSpec kUpdate = {kEventClassCommand, kEventCommandUpdateStatus};

// A plain view in the window that takes the keyboard focus.
HIViewRef NewFocusedView(WindowRef window, Handlers& handlers)
{
    HIViewRef content = nullptr;
    EXPECT_EQ(HIViewFindByID(HIViewGetRoot(window), kHIViewWindowContentID, &content), noErr);
    const HIRect frame = {{0, 0}, {20, 20}};
    HIViewRef view = nullptr;
    EXPECT_EQ(HIViewCreatePlain(&frame, &view), noErr);
    EXPECT_EQ(HIViewAddSubview(content, view), noErr);
    CFRelease(view);
    handlers.Install(GetControlEventTarget(view), {{kEventClassControl, kEventControlSetFocusPart}}, [](EventRef e) {
        const ControlPartCode part = 1;
        SetEventParameter(e, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
        return noErr;
    });
    EXPECT_EQ(SetKeyboardFocus(window, view, kControlFocusNextPart), noErr);
    return view;
}

TEST(Menus, AChosenItemTravelsTheFocusChainWithItsMenuAndIndex)
{
    enum class Focus { None, Window, View };
    struct Row {
        const char* name;
        Focus focus;
        MenuCommand command;
        std::string handler;   // the target that answers noErr
        std::string expected;  // the targets the command reached, in order
    };
    const Row rows[] = {
        {"a view has the focus, the application handles", Focus::View, FourCC("abcd"), "app", "menu view window app "},
        {"command 0 reaches the chain too", Focus::View, 0, "view", "menu view "},
        {"the window has the focus and handles", Focus::Window, FourCC("abcd"), "window", "menu window "},
        {"no window: the application", Focus::None, FourCC("abcd"), "app", "menu app "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MenuWindow window;
        Handlers handlers;
        TestMenu menu(131);
        menu.Append("First", FourCC("frst"));
        menu.Append("Chosen", row.command);
        SetUserFocusWindow(row.focus == Focus::None ? nullptr : static_cast<WindowRef>(window));
        EventTargetRef view =
            row.focus == Focus::View ? GetControlEventTarget(NewFocusedView(window, handlers)) : nullptr;

        std::string reached;
        std::vector<HICommand> commands;
        auto record = [&](std::string name, EventTargetRef target) {
            if (!target)
                return;
            handlers.Install(target, {kProcess}, [&, name](EventRef event) {
                reached += name + " ";
                commands.push_back(CommandOf(event));
                return name == row.handler ? noErr : eventNotHandledErr;
            });
        };
        record("menu", GetMenuEventTarget(menu));
        record("view", view);
        record("window", GetWindowEventTarget(window));
        record("app", GetApplicationEventTarget());

        ScriptedChoices choices([](MenuRef, QMenu*) { return MenuItemIndex(2); });
        UInt32 selectionType = 99;
        MenuID menuID = 0;
        MenuItemIndex item = 0;
        EXPECT_EQ(ContextualMenuSelect(menu, {300, 200}, false, kCMHelpItemRemoveHelp, nullptr, nullptr, &selectionType,
                                       &menuID, &item),
                  noErr);
        EXPECT_EQ(selectionType, kCMMenuItemSelected);
        EXPECT_EQ(menuID, 131);
        EXPECT_EQ(item, 2);
        EXPECT_EQ(reached, row.expected);
        for (const HICommand& command : commands) {
            EXPECT_EQ(command.attributes, kHICommandFromMenu);
            EXPECT_EQ(command.commandID, row.command);
            EXPECT_EQ(command.menu.menuRef, static_cast<MenuRef>(menu));
            EXPECT_EQ(command.menu.menuItemIndex, 2);
        }
        SetUserFocusWindow(nullptr);
    }
}

TEST(Menus, TheUpdateStatusPassRunsBeforeTheMenuShows)
{
    TestMenu menu;
    menu.Append("Keep", FourCC("keep"));
    menu.Append("Drop", FourCC("drop"));
    menu.Append("", 0, kMenuItemAttrSeparator);
    menu.Append("Plain");
    Handlers handlers;
    std::string events;
    handlers.Install(GetMenuEventTarget(menu),
                     {{kEventClassMenu, kEventMenuPopulate},
                      {kEventClassMenu, kEventMenuOpening},
                      {kEventClassMenu, kEventMenuClosed}},
                     [&](EventRef event) {
                         events += GetEventKind(event) == kEventMenuPopulate  ? "populate "
                                   : GetEventKind(event) == kEventMenuOpening ? "opening "
                                                                              : "closed ";
                         return eventNotHandledErr;
                     });
    handlers.Install(GetApplicationEventTarget(), {kUpdate}, [&](EventRef event) {
        const HICommand command = CommandOf(event);
        events += "update:" + Code(command.commandID) + " ";
        if (command.commandID == FourCC("drop"))
            DisableMenuItem(command.menu.menuRef, command.menu.menuItemIndex);
        if (command.commandID == FourCC("keep"))
            SetMenuItemTextWithCFString(command.menu.menuRef, command.menu.menuItemIndex, CFSTR("Kept"));
        return noErr;
    });
    bool processed = false;
    handlers.Install(GetApplicationEventTarget(), {kProcess}, [&](EventRef) {
        processed = true;
        return noErr;
    });

    std::vector<std::pair<std::string, bool>> shown;
    ScriptedChoices choices([&](MenuRef, QMenu* qmenu) {
        for (const QAction* action : qmenu->actions())
            shown.emplace_back(action->isSeparator() ? "-" : Text(action), action->isEnabled());
        return MenuItemIndex(2);  // the item the handler disabled: a user cannot choose it
    });
    MenuItemIndex item = 77;
    EXPECT_EQ(ContextualMenuSelect(menu, {0, 0}, false, 0, nullptr, nullptr, nullptr, nullptr, &item), userCanceledErr);
    EXPECT_EQ(item, 0);
    EXPECT_FALSE(processed);
    EXPECT_EQ(events, "populate opening update:keep update:drop closed ");
    const std::vector<std::pair<std::string, bool>> expected = {
        {"Kept", true}, {"Drop", false}, {"-", true}, {"Plain", true}};
    EXPECT_EQ(shown, expected);
}

TEST(Menus, ContextualMenuSelectAnswersTheChoiceOrNothing)
{
    struct Row {
        const char* name;
        MenuItemIndex choice;
        bool refuseOpening;
        OSStatus status;
        MenuItemIndex item;
        int processed;
    };
    const Row rows[] = {
        {"an item", 1, false, noErr, 1, 1},
        {"dismissed", 0, false, userCanceledErr, 0, 0},
        {"past the end", 9, false, userCanceledErr, 0, 0},
        {"a separator", 2, false, userCanceledErr, 0, 0},
        {"a hidden item", 3, false, userCanceledErr, 0, 0},
        {"a section header", 4, false, userCanceledErr, 0, 0},
        {"the opening handler refuses", 1, true, userCanceledErr, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TestMenu menu;
        menu.Append("One", FourCC("one "));
        menu.Append("", 0, kMenuItemAttrSeparator);
        menu.Append("Hidden", FourCC("hidn"), kMenuItemAttrHidden);
        menu.Append("Header", FourCC("head"), kMenuItemAttrSectionHeader);
        Handlers handlers;
        if (row.refuseOpening)
            handlers.Install(GetMenuEventTarget(menu), {{kEventClassMenu, kEventMenuOpening}},
                             [](EventRef) { return userCanceledErr; });
        int processed = 0;
        handlers.Install(GetApplicationEventTarget(), {kProcess}, [&](EventRef) {
            ++processed;
            return noErr;
        });
        int asked = 0;
        ScriptedChoices choices([&](MenuRef, QMenu*) {
            ++asked;
            return row.choice;
        });
        UInt32 selectionType = 99;
        MenuID menuID = 99;
        MenuItemIndex item = 99;
        EXPECT_EQ(ContextualMenuSelect(menu, {0, 0}, false, 0, nullptr, nullptr, &selectionType, &menuID, &item),
                  row.status);
        EXPECT_EQ(item, row.item);
        EXPECT_EQ(menuID, row.item ? 128 : 0);
        EXPECT_EQ(selectionType, row.item ? kCMMenuItemSelected : kCMNothingSelected);
        EXPECT_EQ(processed, row.processed);
        EXPECT_EQ(asked, row.refuseOpening ? 0 : 1);
    }

    // Not a menu: nothing shown, the outputs as they were.
    MenuItemIndex item = 42;
    EXPECT_EQ(ContextualMenuSelect(nullptr, {0, 0}, false, 0, nullptr, nullptr, nullptr, nullptr, &item), paramErr);
    EXPECT_EQ(item, 42);
}

TEST(Menus, SubmenusOpenWithTheirOwnPassAndAnswerTheirOwnId)
{
    TestMenu top(128, "Top");
    TestMenu sub(129, "Sub");
    top.Append("Leaf", FourCC("leaf"));
    top.Append("More");
    sub.Append("Deep", FourCC("deep"));
    EXPECT_EQ(SetMenuItemHierarchicalMenu(top, 2, sub), noErr);

    Handlers handlers;
    std::string events;
    handlers.Install(GetApplicationEventTarget(), {kUpdate}, [&](EventRef event) {
        events += "update:" + Code(CommandOf(event).commandID) + " ";
        return noErr;
    });
    // The submenu's command passes its supermenu's target on its way to the focus chain.
    std::vector<HICommand> seenByTop;
    handlers.Install(GetMenuEventTarget(top), {kProcess}, [&](EventRef event) {
        seenByTop.push_back(CommandOf(event));
        return eventNotHandledErr;
    });

    std::vector<std::string> titles;
    ScriptedChoices choices([&](MenuRef menu, QMenu* shown) {
        titles.push_back(Text(shown->actions().at(0)));
        return MenuItemIndex(menu == static_cast<MenuRef>(top) ? 2 : 1);
    });
    EXPECT_EQ(PopUpMenuSelect(top, 10, 10, 1), SInt32((129 << 16) | 1));
    EXPECT_EQ(titles, (std::vector<std::string>{"Leaf", "Deep"}));
    EXPECT_EQ(events, "update:leaf update:deep ");
    ASSERT_EQ(seenByTop.size(), 1U);
    EXPECT_EQ(seenByTop[0].commandID, FourCC("deep"));
    EXPECT_EQ(seenByTop[0].menu.menuRef, static_cast<MenuRef>(sub));
    EXPECT_EQ(seenByTop[0].menu.menuItemIndex, 1);

    // A menu never holds itself, however deep.
    EXPECT_EQ(SetMenuItemHierarchicalMenu(sub, 1, top), paramErr);
    EXPECT_EQ(SetMenuItemHierarchicalMenu(top, 1, top), paramErr);
    MenuRef found = nullptr;
    MenuItemIndex index = 0;
    EXPECT_EQ(GetIndMenuItemWithCommandID(top, FourCC("deep"), 1, &found, &index), noErr);
    EXPECT_EQ(found, static_cast<MenuRef>(sub));
    EXPECT_EQ(index, 1);
}

EventRef NewKeyDown(int qtKey, EventModifiers modifiers)
{
    UInt16 keyCode = 0;
    EXPECT_TRUE(MacKeyCodeForQtKey(qtKey, false, &keyCode));
    const UInt8 charCode = MacCharCodeForKeyCode(keyCode, modifiers & shiftKey);
    const UInt32 code = keyCode;
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassKeyboard, kEventRawKeyDown, 0, 0, &event);
    SetEventParameter(event, kEventParamKeyModifiers, typeUInt32, sizeof modifiers, &modifiers);
    SetEventParameter(event, kEventParamKeyCode, typeUInt32, sizeof code, &code);
    SetEventParameter(event, kEventParamKeyMacCharCodes, typeChar, 1, &charCode);
    return event;
}

TEST(Menus, KeyEquivalentsOfTheMenuBarSendTheirEnabledCommand)
{
    MenuBarReset reset;
    TestMenu file(128, "File");
    TestMenu help(129, "Help");
    SetItemCmd(file, file.Append("Quit", kHICommandQuit), 'Q');
    const MenuItemIndex saveAs = file.Append("Save As", kHICommandSaveAs);
    SetItemCmd(file, saveAs, 's');
    SetMenuItemModifiers(file, saveAs, kMenuShiftModifier);
    SetItemCmd(file, file.Append("Close", kHICommandClose), 'W');
    SetItemCmd(file, file.Append("Hidden", FourCC("hidn"), kMenuItemAttrHidden), 'H');
    const MenuItemIndex contents = help.Append("Contents", kHICommandAppHelp);
    SetMenuItemCommandKey(help, contents, true, 0x7A);  // F1
    SetMenuItemModifiers(help, contents, kMenuNoCommandModifier);
    SetItemCmd(help, help.Append("What's This", FourCC("what")), '?');
    InsertMenu(file, 0);
    InsertMenu(help, 0);

    Handlers handlers;
    std::string updated;
    handlers.Install(GetApplicationEventTarget(), {kUpdate}, [&](EventRef event) {
        const HICommand command = CommandOf(event);
        updated += Code(command.commandID) + " ";
        if (command.commandID == kHICommandClose)
            DisableMenuItem(command.menu.menuRef, command.menu.menuItemIndex);
        return noErr;
    });
    std::string processed;
    handlers.Install(GetApplicationEventTarget(), {kProcess}, [&](EventRef event) {
        processed += Code(CommandOf(event).commandID);
        return noErr;
    });

    struct Row {
        const char* name;
        int key;
        EventModifiers modifiers;
        const char* command;  // "" for none
        const char* updated;
    };
    const Row rows[] = {
        {"command-Q", Qt::Key_Q, cmdKey, "quit", "quit "},
        {"Q alone is typing", Qt::Key_Q, 0, "", ""},
        {"shift is part of the equivalent", Qt::Key_S, cmdKey | shiftKey, "svas", "svas "},
        {"without shift it is another key", Qt::Key_S, cmdKey, "", ""},
        {"an item disabled by its update pass lets the key go on", Qt::Key_W, cmdKey, "", "clos "},
        {"a hidden item has no key", Qt::Key_H, cmdKey, "", ""},
        {"a virtual key without command", Qt::Key_F1, 0, "ahlp", "ahlp "},
        {"a shifted character", Qt::Key_Slash, cmdKey | shiftKey, "what", "what "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        updated.clear();
        processed.clear();
        EventRef event = NewKeyDown(row.key, row.modifiers);
        EXPECT_EQ(HIMenuHandleKeyEvent(event), *row.command ? noErr : eventNotHandledErr);
        EXPECT_EQ(processed, row.command);
        EXPECT_EQ(updated, row.updated);
        ReleaseEvent(event);
    }

    // Asked without acting: the item is named and nothing is sent.
    processed.clear();
    EventRef event = NewKeyDown(Qt::Key_Q, cmdKey);
    MenuRef menu = nullptr;
    MenuItemIndex item = 0;
    EXPECT_TRUE(IsMenuKeyEvent(nullptr, event, kMenuEventQueryOnly, &menu, &item));
    EXPECT_EQ(menu, static_cast<MenuRef>(file));
    EXPECT_EQ(item, 1);
    EXPECT_EQ(processed, "");
    ReleaseEvent(event);
}

TEST(Menus, TheShownMenuFollowsTheModel)
{
    QImage pixels(8, 8, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::red);
    CGImageRef image = CGImageCreateWithQImage(pixels);
    TestMenu menu;
    struct Row {
        const char* name;
        std::function<void(MenuRef, MenuItemIndex)> set;
        std::function<void(const QAction*)> check;
    };
    const Row rows[] = {
        {"a key equivalent is shown, not bound",
         [](MenuRef m, MenuItemIndex i) {
             SetItemCmd(m, i, 'n');
             SetMenuItemModifiers(m, i, kMenuShiftModifier);
         },
         [](const QAction* a) {
             EXPECT_EQ(Text(a), "Item\tCtrl+Shift+N");
             EXPECT_TRUE(a->shortcut().isEmpty());
         }},
        {"a glyph names a special key",
         [](MenuRef m, MenuItemIndex i) { SetMenuItemKeyGlyph(m, i, kMenuDeleteLeftGlyph); },
         [](const QAction* a) { EXPECT_EQ(Text(a), "Item\tCtrl+Backspace"); }},
        {"a mark checks", [](MenuRef m, MenuItemIndex i) { CheckMenuItem(m, i, true); },
         [](const QAction* a) { EXPECT_TRUE(a->isChecked()); }},
        {"no mark", [](MenuRef, MenuItemIndex) {}, [](const QAction* a) { EXPECT_FALSE(a->isChecked()); }},
        {"an ampersand is text", [](MenuRef m, MenuItemIndex i) { SetMenuItemTextWithCFString(m, i, CFSTR("A & B")); },
         [](const QAction* a) { EXPECT_EQ(Text(a), "A && B"); }},
        {"an indent", [](MenuRef m, MenuItemIndex i) { SetMenuItemIndent(m, i, 2); },
         [](const QAction* a) { EXPECT_EQ(Text(a), "        Item"); }},
        {"an image icon",
         [&](MenuRef m, MenuItemIndex i) {
             EXPECT_EQ(
                 SetMenuItemIconHandle(m, i, kMenuCGImageRefType,
                                       reinterpret_cast<Handle>(const_cast<void*>(static_cast<const void*>(image)))),
                 noErr);
         },
         [](const QAction* a) { EXPECT_FALSE(a->icon().isNull()); }},
        {"hidden", [](MenuRef m, MenuItemIndex i) { ChangeMenuItemAttributes(m, i, kMenuItemAttrHidden, 0); },
         [](const QAction* a) { EXPECT_FALSE(a->isVisible()); }},
        {"a disabled menu disables its items", [](MenuRef m, MenuItemIndex) { DisableMenuItem(m, 0); },
         [](const QAction* a) { EXPECT_FALSE(a->isEnabled()); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EnableMenuItem(menu, 0);
        const MenuItemIndex index = menu.Append("Item");
        row.set(menu, index);
        ScriptedChoices choices([&](MenuRef, QMenu* shown) {
            row.check(shown->actions().at(index - 1));
            return MenuItemIndex(0);
        });
        PopUpMenuSelect(menu, 0, 0, 0);
    }
    CGImageRelease(image);
}

TEST(Menus, ItemsKeepTheirStateAndFailedCallsLeaveOutputsAlone)
{
    TestMenu menu;
    menu.Append("B", FourCC("bbbb"));
    EXPECT_EQ(InsertMenuItemTextWithCFString(menu, CFSTR("A"), 0, 0, FourCC("aaaa")), noErr);
    EXPECT_EQ(InsertMenuItemTextWithCFString(menu, CFSTR("C"), 99, 0, FourCC("aaaa")), noErr);
    ASSERT_EQ(CountMenuItems(menu), 3);
    CFStringRef text = nullptr;
    EXPECT_EQ(CopyMenuItemTextAsCFString(menu, 1, &text), noErr);
    EXPECT_TRUE(CFEqual(text, CFSTR("A")));
    CFRelease(text);
    MenuRef found = nullptr;
    MenuItemIndex index = 0;
    EXPECT_EQ(GetIndMenuItemWithCommandID(menu, FourCC("aaaa"), 2, &found, &index), noErr);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(DeleteMenuItems(menu, 2, 5), menuItemNotFoundErr);
    EXPECT_EQ(CountMenuItems(menu), 3);

    // Properties of any size on items and on the menu (item 0).
    const std::string big(10000, 'x');
    EXPECT_EQ(SetMenuItemProperty(menu, 2, FourCC("TMEN"), FourCC("REF_"), big.size(), big.data()), noErr);
    const UInt32 menuObject = 0x1234;
    EXPECT_EQ(SetMenuItemProperty(menu, 0, FourCC("TMEN"), FourCC("MENU"), sizeof menuObject, &menuObject), noErr);
    ByteCount size = 0;
    EXPECT_EQ(GetMenuItemPropertySize(menu, 2, FourCC("TMEN"), FourCC("REF_"), &size), noErr);
    EXPECT_EQ(size, big.size());
    UInt32 read = 0;
    EXPECT_EQ(GetMenuItemProperty(menu, 0, FourCC("TMEN"), FourCC("MENU"), sizeof read, nullptr, &read), noErr);
    EXPECT_EQ(read, menuObject);
    EXPECT_EQ(RemoveMenuItemProperty(menu, 0, FourCC("TMEN"), FourCC("MENU")), noErr);

    struct Row {
        const char* name;
        std::function<OSStatus(char* buffer)> call;  // writes at most 8 bytes
        OSStatus status;
    };
    const Row rows[] = {
        {"a property removed",
         [&](char* b) { return GetMenuItemProperty(menu, 0, FourCC("TMEN"), FourCC("MENU"), 4, nullptr, b); },
         menuPropertyNotFoundErr},
        {"a property of another creator",
         [&](char* b) { return GetMenuItemProperty(menu, 2, FourCC("XXXX"), FourCC("REF_"), 4, nullptr, b); },
         menuPropertyNotFoundErr},
        {"a property of an item past the end",
         [&](char* b) { return GetMenuItemProperty(menu, 4, FourCC("TMEN"), FourCC("REF_"), 4, nullptr, b); },
         menuItemNotFoundErr},
        {"a property of no menu",
         [](char* b) { return GetMenuItemProperty(nullptr, 1, FourCC("TMEN"), FourCC("REF_"), 4, nullptr, b); },
         paramErr},
        {"the command of item 0",
         [&](char* b) { return OSStatus(GetMenuItemCommandID(menu, 0, reinterpret_cast<MenuCommand*>(b))); },
         menuItemNotFoundErr},
        {"a command nobody has",
         [&](char* b) {
             return GetIndMenuItemWithCommandID(menu, FourCC("none"), 1, nullptr, reinterpret_cast<MenuItemIndex*>(b));
         },
         menuItemNotFoundErr},
        {"the submenu of an item past the end",
         [&](char* b) { return OSStatus(GetMenuItemHierarchicalMenu(menu, 9, reinterpret_cast<MenuRef*>(b))); },
         menuItemNotFoundErr},
        {"an icon of a type nothing draws",
         [&](char* b) {
             return OSStatus(SetMenuItemIconHandle(menu, 1, kMenuIconResourceType, reinterpret_cast<Handle>(b)));
         },
         paramErr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        alignas(8) char buffer[8] = {'u', 'n', 't', 'o', 'u', 'c', 'h', 'd'};
        EXPECT_EQ(row.call(buffer), row.status);
        EXPECT_EQ(std::string(buffer, 8), "untouchd");
    }
}

TEST(Menus, MenusAreCountedAndSubmenusHeld)
{
    MenuRef sub = nullptr;
    ASSERT_EQ(CreateNewMenu(200, 0, &sub), noErr);
    {
        TestMenu menu;
        menu.Append("Sub");
        EXPECT_EQ(SetMenuItemHierarchicalMenu(menu, 1, sub), noErr);
        EXPECT_EQ(GetMenuRetainCount(sub), 2U);
        CFRetain(sub);  // a menu is a Core Foundation object
        EXPECT_EQ(GetMenuRetainCount(sub), 3U);
        CFRelease(sub);
        DeleteMenuItem(menu, 1);
        EXPECT_EQ(GetMenuRetainCount(sub), 1U);
        EXPECT_EQ(SetMenuItemHierarchicalMenu(menu, 0, sub), menuItemNotFoundErr);
    }
    EXPECT_TRUE(IsValidMenu(sub));
    DisposeMenu(sub);
    EXPECT_FALSE(IsValidMenu(sub));
    EXPECT_EQ(ReleaseMenu(sub), paramErr);
}

bool RunUntilTitle(QMenuBar* bar, const std::string& title)
{
    QElapsedTimer clock;
    clock.start();
    while (bar->actions().isEmpty() || Text(bar->actions().at(0)) != title) {
        if (clock.elapsed() > 2000)
            return false;
        TestRunUntilIdle(0.05);
    }
    return true;
}

TEST(Menus, TheMenuBarStripShowsTheRootMenuAndSendsItsCommands)
{
    MenuBarReset reset;
    TestMenu file(128, "File");
    TestMenu edit(129, "Edit");
    file.Append("Open", kHICommandOpen);
    file.Append("Close", kHICommandClose);
    edit.Append("Copy", kHICommandCopy);
    InsertMenu(edit, 0);
    InsertMenu(file, 129);  // before Edit
    DrawMenuBar();
    EXPECT_EQ(GetMenuHandle(129), static_cast<MenuRef>(edit));

    QWidget* strip = HIMenuBarGetStrip();
    ASSERT_NE(strip, nullptr);
    auto* bar = strip->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    std::vector<std::string> titles;
    for (const QAction* action : bar->actions())
        titles.push_back(Text(action));
    EXPECT_EQ(titles, (std::vector<std::string>{"File", "Edit"}));

    Handlers handlers;
    handlers.Install(GetApplicationEventTarget(), {kUpdate}, [](EventRef event) {
        const HICommand command = CommandOf(event);
        if (command.commandID == kHICommandClose)
            DisableMenuItem(command.menu.menuRef, command.menu.menuItemIndex);
        return noErr;
    });
    std::vector<HICommand> processed;
    handlers.Install(GetApplicationEventTarget(), {kProcess}, [&](EventRef event) {
        processed.push_back(CommandOf(event));
        return noErr;
    });

    // Opened as a user opens it: the update pass, then the items.
    QMenu* fileMenu = bar->actions().at(0)->menu();
    ASSERT_NE(fileMenu, nullptr);
    fileMenu->popup(QPoint(0, 20));
    ASSERT_EQ(fileMenu->actions().size(), 2);
    EXPECT_TRUE(fileMenu->actions().at(0)->isEnabled());
    EXPECT_FALSE(fileMenu->actions().at(1)->isEnabled());
    // The bar follows a new title only once its open menu has closed.
    QPointer<QMenu> open = fileMenu;
    SetMenuTitleWithCFString(file, CFSTR("Document"));
    TestRunUntilIdle();
    ASSERT_TRUE(open);
    EXPECT_EQ(Text(bar->actions().at(0)), "File");
    fileMenu->actions().at(0)->trigger();
    fileMenu->hide();
    TestRunUntilIdle();
    EXPECT_TRUE(RunUntilTitle(bar, "Document"));
    ASSERT_EQ(processed.size(), 1U);
    EXPECT_EQ(processed[0].commandID, kHICommandOpen);
    EXPECT_EQ(processed[0].menu.menuRef, static_cast<MenuRef>(file));
    EXPECT_EQ(processed[0].menu.menuItemIndex, 1);

    // The same menus from a context menu.
    processed.clear();
    ScriptedChoices choices([&](MenuRef menu, QMenu* shown) {
        if (menu == static_cast<MenuRef>(edit))
            return MenuItemIndex(1);
        EXPECT_EQ(Text(shown->actions().at(1)), "Edit");
        return MenuItemIndex(2);
    });
    HIMenuBarShowContextMenu({40, 40});
    ASSERT_EQ(processed.size(), 1U);
    EXPECT_EQ(processed[0].commandID, kHICommandCopy);

    DeleteMenu(128);
    DrawMenuBar();
    ASSERT_EQ(bar->actions().size(), 1);
    EXPECT_EQ(Text(bar->actions().at(0)), "Edit");
}

}  // namespace
