// Menus as objects: the chosen item's action through the command path,
// item state kept until an item is appended, the objects' life cycle, and
// the menu's own events offered to the item or menu object first.
#include <ApplicationFramework/Classes/TMenuUnit.h>

#include <HIToolbox/HITheme.h>
#include <HIToolbox/Menus.h>

#include <QAction>
#include <QMenu>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

// The target of the items' actions.
class ActionTarget : public TResponder {
    BRINDLET_CLASS(ActionTarget, TResponder)

public:
    static ActionTarget* Create()
    {
        ActionTarget* target = CreateInstance<ActionTarget>();
        target->RegisterMethod("Choose", BRINDLET_METHOD(ActionTarget, Choose));
        return target;
    }

    void Choose(TObject* sender)
    {
        senders.push_back(sender);
        if (onChoose)
            onChoose();
    }

    std::vector<TObject*> senders;
    std::function<void()> onChoose;

protected:
    ActionTarget() = default;
};
BRINDLET_DEFINE_CLASS(ActionTarget, TResponder)

// The test's chooser stands for the user while it lives.
class ScriptedChoices {
public:
    explicit ScriptedChoices(MenuTestChooser chooser) { MenuTestSetChooser(std::move(chooser)); }
    ~ScriptedChoices() { MenuTestSetChooser(nullptr); }
};

// What the application's command handling does with a menu command: the
// item's action through ProcessMenuCommand, else the normal handling.
class ApplicationCommands {
public:
    ApplicationCommands()
    {
        const EventTypeSpec type = {kEventClassCommand, kEventCommandProcess};
        EXPECT_EQ(InstallEventHandler(GetApplicationEventTarget(), Handle, 1, &type, this, &handler_), noErr);
    }
    ~ApplicationCommands() { RemoveEventHandler(handler_); }

    struct Seen {
        UInt32 commandID;
        MenuItemIndex index;
        SInt32 result;
    };
    std::vector<Seen> seen;

private:
    static OSStatus Handle(EventHandlerCallRef, EventRef event, void* self)
    {
        HICommand command = {};
        GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
        SInt32 result = eventNotHandledErr;
        ProcessMenuCommand(command, result);
        static_cast<ApplicationCommands*>(self)->seen.push_back(
            {command.commandID, command.menu.menuItemIndex, result});
        return result;
    }

    EventHandlerRef handler_ = nullptr;
};

class MenuTest : public testing::Test {
protected:
    void SetUp() override
    {
        target_ = ActionTarget::Create();
        menu_ = TMenu::Create(200);
    }
    void TearDown() override
    {
        if (menu_)
            menu_->Release();
        target_->Release();
    }

    // A new item calling Choose on the target, appended and owned by the menu.
    TMenuItem* Append(const char* title)
    {
        TMenuItem* item = TMenuItem::Create(CFSTR(title), "Choose", target_);
        menu_->AppendItem(item);
        item->Release();
        return item;
    }

    ActionTarget* target_ = nullptr;
    TMenu* menu_ = nullptr;
};

TEST_F(MenuTest, DisplayAnswersTheChoiceAndTheActionRunsOnceThroughTheCommand)
{
    TMenuItem* first = Append("First");
    TMenuItem* second = Append("Second");
    Append("Off")->SetEnabled(false);
    EXPECT_EQ(menu_->GetCount(), 3);
    EXPECT_EQ(menu_->GetItemAtIndex(2), second);
    EXPECT_EQ(second->GetIndex(), 2);
    EXPECT_EQ(second->GetMenu(), menu_);
    EXPECT_EQ(GetMenuObject(menu_->GetRef()), menu_);

    const struct {
        const char* name;
        MenuItemIndex choice;
        bool commandHandler;
        UInt16 displayed;
        std::vector<TObject*> senders;
        size_t commands;
    } rows[] = {
        {"first", 1, true, 1, {first}, 1},
        {"second", 2, true, 2, {second}, 1},
        {"dismissed", 0, true, 0, {}, 0},
        {"disabled item", 3, true, 0, {}, 0},
        // Display itself runs no action: without a command handler, nothing does.
        {"nobody handles commands", 2, false, 2, {}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        target_->senders.clear();
        std::optional<ApplicationCommands> commands;
        if (row.commandHandler)
            commands.emplace();
        ScriptedChoices choices([&](MenuRef, QMenu*) { return row.choice; });
        EXPECT_EQ(menu_->Display(CGPointMake(120.7f, 80.2f)), row.displayed);
        EXPECT_EQ(target_->senders, row.senders);
        if (commands) {
            ASSERT_EQ(commands->seen.size(), row.commands);
            if (row.commands == 1) {
                EXPECT_EQ(commands->seen[0].index, row.choice);
                EXPECT_EQ(commands->seen[0].result, noErr);
            }
        }
    }
}

TEST_F(MenuTest, ACommandWithoutAnItemObjectIsLeftToTheNormalHandling)
{
    Append("Framework item");
    ASSERT_EQ(AppendMenuItemTextWithCFString(menu_->GetRef(), CFSTR("Plain"), 0, FourCC("plai"), nullptr), noErr);
    EXPECT_EQ(menu_->GetItemAtIndex(2), nullptr);
    ApplicationCommands commands;
    ScriptedChoices choices([](MenuRef, QMenu*) { return MenuItemIndex(2); });
    EXPECT_EQ(menu_->Display(CGPointMake(10, 10)), 2);
    ASSERT_EQ(commands.seen.size(), 1u);
    EXPECT_EQ(commands.seen[0].commandID, FourCC("plai"));
    EXPECT_EQ(commands.seen[0].result, eventNotHandledErr);
    EXPECT_TRUE(target_->senders.empty());

    // Commands that name no live menu item with an object leave the result alone.
    HICommand fromControl = {kHICommandFromControl, FourCC("plai"), {nullptr, 1}};
    fromControl.menu.menuRef = reinterpret_cast<MenuRef>(target_);  // a pointer that is no menu
    const HICommand rows[] = {
        {kHICommandFromMenu, 0, {nullptr, 1}},
        {kHICommandFromMenu, 0, {menu_->GetRef(), 0}},
        {kHICommandFromMenu, 0, {menu_->GetRef(), 9}},
        fromControl,
    };
    for (const HICommand& command : rows) {
        SCOPED_TRACE(command.menu.menuItemIndex);
        SInt32 result = 1234;
        ProcessMenuCommand(command, result);
        EXPECT_EQ(result, 1234);
    }
    EXPECT_TRUE(target_->senders.empty());
}

// The item's action may release the menu it was chosen from.
TEST_F(MenuTest, AnActionMayReleaseTheMenuWhileItIsDisplayed)
{
    Append("Close");
    TMenu* menu = menu_;
    target_->onChoose = [this] {
        menu_->Release();
        menu_ = nullptr;
    };
    ApplicationCommands commands;
    ScriptedChoices choices([](MenuRef, QMenu*) { return MenuItemIndex(1); });
    EXPECT_EQ(menu->Display(CGPointMake(0, 0)), 1);
    EXPECT_EQ(target_->senders.size(), 1u);
    EXPECT_FALSE(TObject::IsLiveObject(menu));
}

// What is set on an item before it is appended shows once it is, and what
// is set afterwards acts on the menu at once; a user sees it in the menu.
TEST_F(MenuTest, ItemStateSetBeforeOrAfterAppendingReachesTheMenu)
{
    TMenu* submenu = TMenu::Create(201);
    IconRef icon = nullptr;
    ASSERT_EQ(GetIconRef(0, kSystemIconsCreator, kGenericFolderIcon, &icon), noErr);

    for (bool before : {true, false}) {
        SCOPED_TRACE(before ? "set before appending" : "set after appending");
        TMenu* menu = TMenu::Create(202);
        TMenuItem* plain = TMenuItem::Create(CFSTR("Plain"), "Choose", target_);
        TMenuItem* item = TMenuItem::Create(CFSTR("Item"), "Choose", target_);
        auto set = [&] {
            item->SetChecked(true);
            item->SetEnabled(false);
            item->SetSubmenu(submenu);
            item->SetIcon(icon);
        };
        if (before)
            set();
        menu->AppendItem(plain);
        menu->AppendItem(item);
        if (!before)
            set();
        MenuRef ref = menu->GetRef();

        CharParameter mark = 0;
        GetItemMark(ref, 2, &mark);
        EXPECT_EQ(mark, checkMark);
        EXPECT_FALSE(IsMenuItemEnabled(ref, 2));
        EXPECT_TRUE(IsMenuItemEnabled(ref, 1));
        MenuRef hierarchical = nullptr;
        EXPECT_EQ(GetMenuItemHierarchicalMenu(ref, 2, &hierarchical), noErr);
        EXPECT_EQ(hierarchical, submenu->GetRef());
        UInt8 iconType = 0;
        Handle iconHandle = nullptr;
        EXPECT_EQ(GetMenuItemIconHandle(ref, 2, &iconType, &iconHandle), noErr);
        EXPECT_EQ(iconType, kMenuIconRefType);
        EXPECT_EQ(reinterpret_cast<IconRef>(iconHandle), icon);

        // Back again, on the attached item.
        item->SetChecked(false);
        item->SetEnabled(true);
        GetItemMark(ref, 2, &mark);
        EXPECT_EQ(mark, noMark);
        EXPECT_TRUE(IsMenuItemEnabled(ref, 2));
        item->SetChecked(true);
        plain->SetEnabled(false);

        bool shownChecked = false;
        bool shownPlainEnabled = true;
        ScriptedChoices choices([&](MenuRef, QMenu* shown) {
            const QList<QAction*> actions = shown->actions();
            if (actions.size() == 2) {
                shownChecked = actions[1]->isChecked();
                shownPlainEnabled = actions[0]->isEnabled();
            }
            return MenuItemIndex(0);
        });
        EXPECT_EQ(menu->Display(CGPointMake(5, 5)), 0);
        EXPECT_TRUE(shownChecked);
        EXPECT_FALSE(shownPlainEnabled);

        plain->Release();
        item->Release();
        menu->Release();
    }
    ReleaseIconRef(icon);
    submenu->Release();
}

class FontMenu : public TMenu {
    BRINDLET_CLASS(FontMenu, TMenu)

public:
    static FontMenu* Create(const MenuFont& font)
    {
        FontMenu* menu = CreateWithMenuID<FontMenu>(300);
        menu->SetFont(font);
        return menu;
    }

protected:
    FontMenu() = default;
};
BRINDLET_DEFINE_CLASS(FontMenu, TMenu)

TEST_F(MenuTest, AnItemsFontOrElseItsMenusSetsTheCarbonMenusFont)
{
    Str255 themeName = {0};
    SInt16 themeSize = 0;
    Style style = 0;
    ASSERT_EQ(GetThemeFont(kThemeMenuItemFont, smSystemScript, themeName, &themeSize, &style), noErr);
    const struct {
        const char* name;
        MenuFont menuFont;
        MenuFont itemFont;
        UInt16 size;
    } rows[] = {
        {"neither has a font", {}, {}, 0},
        {"the menu's font", {0, "Sans", 17}, {}, 17},
        {"the item's own font", {0, "Sans", 17}, {0, "Serif", 9}, 9},
        {"a theme font", {}, {kThemeMenuItemFont, "", 0}, UInt16(themeSize)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FontMenu* menu = FontMenu::Create(row.menuFont);
        TMenuItem* item = TMenuItem::Create(CFSTR("Item"), "Choose", target_);
        item->SetFont(row.itemFont);
        menu->AppendItem(item);
        FMFontFamily family = -1;
        UInt16 size = 1234;
        EXPECT_EQ(GetMenuFont(menu->GetRef(), &family, &size), noErr);
        EXPECT_EQ(size, row.size);
        item->Release();
        menu->Release();
    }
}

// A released menu takes its items and its Carbon menu with it; what
// outlives it (an item someone else holds, a Carbon menu held elsewhere)
// no longer leads back to it.
TEST_F(MenuTest, ReleasingTheMenuReleasesItsItemsAndCutsTheWayBack)
{
    TMenuItem* kept = TMenuItem::Create(CFSTR("Kept"), "Choose", target_);
    menu_->AppendItem(kept);
    TMenuItem* owned = Append("Owned");
    MenuRef ref = menu_->GetRef();
    ASSERT_EQ(RetainMenu(ref), noErr);
    EXPECT_EQ(GetMenuRetainCount(ref), 2u);

    menu_->Release();
    menu_ = nullptr;
    EXPECT_FALSE(TObject::IsLiveObject(owned));
    ASSERT_TRUE(TObject::IsLiveObject(kept));
    EXPECT_EQ(kept->GetMenu(), nullptr);
    EXPECT_EQ(kept->GetIndex(), 0);
    EXPECT_EQ(GetMenuRetainCount(ref), 1u);
    EXPECT_EQ(GetMenuObject(ref), nullptr);
    EXPECT_EQ(GetMenuItemObject(ref, 1), nullptr);
    SInt32 result = eventNotHandledErr;
    ProcessMenuCommand({kHICommandFromMenu, 0, {ref, 1}}, result);
    EXPECT_EQ(result, eventNotHandledErr);

    // The item works on its own still, and can go into another menu.
    kept->SetChecked(true);
    TMenu* other = TMenu::Create(203);
    other->AppendItem(kept);
    CharParameter mark = 0;
    GetItemMark(other->GetRef(), 1, &mark);
    EXPECT_EQ(mark, checkMark);
    kept->Release();
    other->Release();
    ReleaseMenu(ref);
    EXPECT_FALSE(IsValidMenu(ref));
}

// ---- the menu's own events ----

class RecordingItem : public TMenuItem {
    BRINDLET_CLASS(RecordingItem, TMenuItem)

public:
    static RecordingItem* Create(std::vector<std::string>* calls)
    {
        RecordingItem* item = AllocateInstance<RecordingItem>();
        item->calls_ = calls;
        item->Initialize();
        return item;
    }

    bool handles = false;

    void HandleTarget(SInt32& result) override { Note("item target", result); }
    void HandleDraw(MenuDrawingGeometry& geometry, CGContextRef, SInt32& result) override
    {
        Note("item draw y=" + std::to_string(int(geometry.itemBounds.origin.y)), result);
    }
    void HandleDrawContent(MenuDrawingGeometry& geometry, CGContextRef, SInt32& result) override
    {
        geometry.contentBounds = {1, 2, 3, 4};
        Note("item content", result);
    }
    void HandleMeasureWidth(SInt32& width, SInt32& result) override
    {
        Note("item width " + std::to_string(width), result);
        width += 100;
    }
    void HandleMeasureHeight(SInt32& height, SInt32& result) override
    {
        Note("item height " + std::to_string(height), result);
        height += 100;
    }

protected:
    RecordingItem() = default;

private:
    void Note(const std::string& what, SInt32& result)
    {
        calls_->push_back(what);
        if (handles)
            result = noErr;
    }

    std::vector<std::string>* calls_ = nullptr;
};
BRINDLET_DEFINE_CLASS(RecordingItem, TMenuItem)

class RecordingMenu : public TMenu {
    BRINDLET_CLASS(RecordingMenu, TMenu)

public:
    static RecordingMenu* Create(std::vector<std::string>* calls)
    {
        RecordingMenu* menu = CreateWithMenuID<RecordingMenu>(400);
        menu->calls_ = calls;
        return menu;
    }

    bool handles = false;

    void HandlePopulate(SInt32& result) override
    {
        calls_->push_back("menu populate");
        if (handles)
            result = noErr;
    }

protected:
    RecordingMenu() = default;

private:
    std::vector<std::string>* calls_ = nullptr;
};
BRINDLET_DEFINE_CLASS(RecordingMenu, TMenu)

class RecordingMenuHandler : public TMenuHandler {
    BRINDLET_CLASS(RecordingMenuHandler, TMenuHandler)

public:
    static RecordingMenuHandler* Create(MenuRef menu, std::vector<std::string>* calls)
    {
        RecordingMenuHandler* handler = CreateOn<RecordingMenuHandler>(GetMenuEventTarget(menu));
        handler->calls_ = calls;
        return handler;
    }

    void EventPopulate(MenuRef, SInt32& result) override { Note("handler populate", result); }
    void EventTargetItem(MenuRef, MenuItemIndex index, SInt32& result) override
    {
        Note("handler target " + std::to_string(index), result);
    }
    void EventDrawItem(MenuRef, MenuItemIndex, MenuDrawingGeometry& geometry, CGContextRef, SInt32& result) override
    {
        Note("handler draw y=" + std::to_string(int(geometry.itemBounds.origin.y)), result);
    }
    void EventDrawItemContent(MenuRef, MenuItemIndex, MenuDrawingGeometry& geometry, CGContextRef,
                              SInt32& result) override
    {
        geometry.contentBounds = {5, 6, 7, 8};
        Note("handler content", result);
    }
    void EventMeasureItemWidth(MenuRef, MenuItemIndex, SInt32& width, SInt32& result) override
    {
        Note("handler width " + std::to_string(width), result);
        width += 1;
    }
    void EventMeasureItemHeight(MenuRef, MenuItemIndex, SInt32& height, SInt32& result) override
    {
        Note("handler height " + std::to_string(height), result);
        height += 1;
    }

protected:
    RecordingMenuHandler() = default;

private:
    void Note(const std::string& what, SInt32& result)
    {
        calls_->push_back(what);
        result = noErr;
    }

    std::vector<std::string>* calls_ = nullptr;
};
BRINDLET_DEFINE_CLASS(RecordingMenuHandler, TMenuHandler)

// The measuring and drawing events are sent by hand: the menu layer draws
// its menus through Qt and never sends them.
TEST(MenuHandler, EachMenuEventGoesToTheItemOrMenuObjectFirstThenToTheHandler)
{
    std::vector<std::string> calls;
    RecordingMenu* menu = RecordingMenu::Create(&calls);
    RecordingItem* item = RecordingItem::Create(&calls);
    menu->AppendItem(item);
    RecordingMenuHandler* handler = RecordingMenuHandler::Create(menu->GetRef(), &calls);
    MenuRef ref = menu->GetRef();

    const struct {
        const char* name;
        UInt32 kind;
        bool objectHandles;
        std::vector<std::string> calls;
        SInt16 answer;  // the width or height written back (0: none)
        Rect content;   // the content bounds written back (all 0: none)
    } rows[] = {
        {"target", kEventMenuTargetItem, false, {"item target", "handler target 1"}, 0, {}},
        {"target, item handles", kEventMenuTargetItem, true, {"item target"}, 0, {}},
        {"populate", kEventMenuPopulate, false, {"menu populate", "handler populate"}, 0, {}},
        {"populate, menu handles", kEventMenuPopulate, true, {"menu populate"}, 0, {}},
        {"width", kEventMenuMeasureItemWidth, false, {"item width 40", "handler width 140"}, 141, {}},
        {"width, item handles", kEventMenuMeasureItemWidth, true, {"item width 40"}, 140, {}},
        {"height", kEventMenuMeasureItemHeight, false, {"item height 40", "handler height 140"}, 141, {}},
        {"draw", kEventMenuDrawItem, false, {"item draw y=17", "handler draw y=17"}, 0, {}},
        {"content", kEventMenuDrawItemContent, false, {"item content", "handler content"}, 0, {5, 6, 7, 8}},
        {"content, item handles", kEventMenuDrawItemContent, true, {"item content"}, 0, {1, 2, 3, 4}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        calls.clear();
        item->handles = row.objectHandles;
        menu->handles = row.objectHandles;
        EventRef event = nullptr;
        ASSERT_EQ(CreateEvent(nullptr, kEventClassMenu, row.kind, 0, 0, &event), noErr);
        SetEventParameter(event, kEventParamDirectObject, typeMenuRef, sizeof ref, &ref);
        const UInt32 context = kMenuContextPopUp;
        SetEventParameter(event, kEventParamMenuContext, typeUInt32, sizeof context, &context);
        if (row.kind != kEventMenuPopulate) {
            const MenuItemIndex index = 1;
            SetEventParameter(event, kEventParamMenuItemIndex, typeMenuItemIndex, sizeof index, &index);
        }
        const SInt16 measure = 40;
        SetEventParameter(event, kEventParamMenuItemWidth, typeSInt16, sizeof measure, &measure);
        SetEventParameter(event, kEventParamMenuItemHeight, typeSInt16, sizeof measure, &measure);
        const Rect bounds = {20, 10, 38, 110};
        SetEventParameter(event, kEventParamMenuItemBounds, typeQDRectangle, sizeof bounds, &bounds);
        const float mcht = 3;
        SetEventParameter(event, FourCC("mcht"), FourCC("cgfl"), sizeof mcht, &mcht);

        EXPECT_EQ(SendEventToEventTarget(event, GetMenuEventTarget(ref)), noErr);
        EXPECT_EQ(calls, row.calls);
        if (row.answer != 0) {
            const EventParamName name =
                row.kind == kEventMenuMeasureItemWidth ? kEventParamMenuItemWidth : kEventParamMenuItemHeight;
            SInt16 answer = 0;
            EXPECT_EQ(GetEventParameter(event, name, typeSInt16, nullptr, sizeof answer, nullptr, &answer), noErr);
            EXPECT_EQ(answer, row.answer);
        }
        Rect content = {-1, -1, -1, -1};
        const OSStatus found =
            GetEventParameter(event, FourCC("micb"), typeQDRectangle, nullptr, sizeof content, nullptr, &content);
        if (row.kind == kEventMenuDrawItemContent) {
            EXPECT_EQ(found, noErr);
            EXPECT_EQ(content.top, row.content.top);
            EXPECT_EQ(content.right, row.content.right);
        } else {
            EXPECT_EQ(found, eventParameterNotFoundErr);
        }
        ReleaseEvent(event);
    }

    // Opening the menu sends the populate event for real; an item the
    // pointer moves over, the target-item event.
    calls.clear();
    menu->handles = false;
    item->handles = true;
    ScriptedChoices choices([](MenuRef, QMenu* shown) {
        emit shown->hovered(shown->actions().at(0));
        return MenuItemIndex(0);
    });
    EXPECT_EQ(menu->Display(CGPointMake(0, 0)), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"menu populate", "handler populate", "item target"}));

    handler->Release();
    item->Release();
    menu->Release();
}

}  // namespace
