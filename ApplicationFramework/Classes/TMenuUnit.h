// Menus built at run time as objects.
//
// A TMenu owns a Carbon menu and the TMenuItems appended to it. An item has
// a title, an action (a method name) and a target, like any responder; what
// is set on an item before it is appended is kept and applied when it is.
// The objects are found from the Carbon menu through menu properties under
// creator 'TMEN': 'MENU' on item 0 holds the TMenu, 'REF_' on an item its
// TMenuItem.
//
// Choosing an item does not call its action directly: the platform sends
// the item's command (kEventCommandProcess) to the menu's event target and
// on to the focus chain, and whoever handles commands there (the
// application, a window) calls ProcessMenuCommand, which runs the action of
// the chosen item once. A TMenuHandler on each menu's target offers the
// menu's own events to the item or menu object concerned first.
#pragma once

#include <ApplicationFramework/Classes/TEventHandlerUnit.h>
#include <Units/Classes/TResponderUnit.h>

#include <CoreGraphics/CGContext.h>
#include <HIToolbox/Menus.h>

class TMenu;
class TMenuItem;

// Where the framework's objects live on a Carbon menu.
inline constexpr OSType kMenuPropertyCreator = FourCC("TMEN");
inline constexpr OSType kMenuPropertyTagItem = FourCC("REF_");
inline constexpr OSType kMenuPropertyTagMenu = FourCC("MENU");

// A menu's or an item's font: a theme font, or a family by name and a size.
struct MenuFont {
    UInt16 themeFontID = 0;  // 0: none
    ShortString name;
    UInt16 size = 0;

    bool IsEmpty() const { return themeFontID == 0 && name.IsEmpty(); }
};

// What the drawing of a custom item gets.
struct MenuDrawingGeometry {
    CGRect itemBounds = {};
    float mcht = 0;
    // Where the item's content was drawn, for the drawing code to fill in.
    Rect contentBounds = {0, 0, 0, 0};
    UInt32 reserved[4] = {};
};

// Runs the action of the command's menu item when the item has a TMenuItem
// ('TMEN'/'REF_'), with the item as the sender, and sets `result` to noErr;
// otherwise leaves `result` alone, so the command goes on to the normal
// command handling.
void ProcessMenuCommand(const HICommand& command, SInt32& result);

// The framework objects of a Carbon menu and of one of its items; nil when
// there is none (or the menu is not live).
TMenu* GetMenuObject(MenuRef menu);
TMenuItem* GetMenuItemObject(MenuRef menu, MenuItemIndex index);

// The handler of a menu's own events (populate, target item, measure and
// draw): the item or menu object is asked first, then the hooks here.
class TMenuHandler : public TEventHandler {
    BRINDLET_CLASS(TMenuHandler, TEventHandler)

public:
    static TMenuHandler* Create(EventTargetRef target) { return CreateOn<TMenuHandler>(target); }
    static TMenuHandler* Create(MenuRef menu) { return Create(GetMenuEventTarget(menu)); }

    // Asks for populate, target item, draw item (and its content) and
    // measure item width and height.
    void Initialize() override;
    void HandleEvent(EventRef event, UInt32 eventClass, UInt32 eventKind, SInt32& result) override;

    // The hooks, each doing nothing here.
    virtual void EventPopulate(MenuRef menu, SInt32& result);
    virtual void EventTargetItem(MenuRef menu, MenuItemIndex index, SInt32& result);
    virtual void EventDrawItem(MenuRef menu, MenuItemIndex index, MenuDrawingGeometry& geometry, CGContextRef context,
                               SInt32& result);
    virtual void EventDrawItemContent(MenuRef menu, MenuItemIndex index, MenuDrawingGeometry& geometry,
                                      CGContextRef context, SInt32& result);
    virtual void EventMeasureItemWidth(MenuRef menu, MenuItemIndex index, SInt32& width, SInt32& result);
    virtual void EventMeasureItemHeight(MenuRef menu, MenuItemIndex index, SInt32& height, SInt32& result);

protected:
    TMenuHandler() = default;
};

class TMenu : public TResponder {
    BRINDLET_CLASS(TMenu, TResponder)

public:
    // A new Carbon menu with the id, no attributes.
    static TMenu* Create(UInt32 menuID);

    // Makes the Carbon menu when there is none yet (id 0), its handler, and
    // the 'MENU' property that leads back to this object.
    void Initialize() override;
    // Releases the handler and every item, then the Carbon menu.
    void Deallocate() override;

    MenuRef GetRef() const { return menu_; }
    UInt16 GetCount() const;
    MenuFont GetFont() const { return font_; }
    TMenuHandler* GetHandler() const { return handler_; }
    // The item's object ('REF_'); nil when the item has none.
    TMenuItem* GetItemAtIndex(UInt16 index) const;

    // Appends the item (retained) with its title, attributes and command,
    // then tells it (HandleAttached). Nothing for nil.
    virtual void AppendItem(TMenuItem* item);
    // Shows the menu as a pop-up at the point (global) and answers the index
    // of the chosen item, 0 when the menu was dismissed. The chosen item's
    // command has gone to the menu's target and on along the focus chain by
    // then, where the command handling ran its action (ProcessMenuCommand);
    // Display itself runs none.
    virtual UInt16 Display(CGPoint point);

    // Before the menu opens; nothing here.
    virtual void HandlePopulate(SInt32& result);

protected:
    TMenu() = default;

    // A new menu of class T with a new Carbon menu of the id, initialised:
    // what a subclass's Create builds on.
    template <typename T>
    static T* CreateWithMenuID(UInt32 menuID)
    {
        T* menu = AllocateInstance<T>();
        CreateNewMenu(MenuID(menuID), 0, &static_cast<TMenu*>(menu)->menu_);
        menu->Initialize();
        return menu;
    }

    // The font items without one of their own take when appended.
    void SetFont(const MenuFont& font) { font_ = font; }

private:
    MenuRef menu_ = nullptr;
    TMenuHandler* handler_ = nullptr;
    MenuFont font_;
};

class TMenuItem : public TResponder {
    BRINDLET_CLASS(TMenuItem, TResponder)

public:
    // An item with a copy of the title, calling `action` on `target`.
    static TMenuItem* Create(CFStringRef title, const ShortString& action, TObject* target);

    void Initialize() override;
    // Releases the submenu, the icon and the title.
    void Deallocate() override;

    // Each acts on the Carbon menu when the item is in one, and is kept for
    // HandleAttached otherwise.
    void SetEnabled(bool enabled);
    void SetChecked(bool checked);
    // Retained; nil removes it.
    void SetSubmenu(TMenu* submenu);
    // Acquired; the previous icon is released. Nil removes it.
    void SetIcon(IconRef icon);
    // With a theme font, that font's size for the whole menu; otherwise the
    // record's size (the menu layer has no families by name).
    void SetFont(const MenuFont& font);
    void SetCommand(UInt32 command);
    // The item's attributes, but for kMenuItemAttrDisabled, which SetEnabled owns.
    void SetAttributes(UInt32 attributes);

    UInt16 GetIndex() const { return index_; }
    CFStringRef GetString() const { return title_; }
    UInt32 GetAttributes() const { return attributes_; }
    UInt32 GetCommand() const { return command_; }
    // The menu the item is in (not retained by the item: the menu holds
    // its items); nil until it is appended and once the menu has gone.
    TMenu* GetMenu() const { return menu_; }
    TMenu* GetSubmenu() const { return submenu_; }
    IconRef GetIcon() const { return icon_; }
    bool IsChecked() const { return checked_; }
    bool IsEnabled() const { return enabled_; }
    MenuFont GetFont() const { return font_; }

    // Applies what was set before: icon, submenu, checked and enabled
    // state; an item without a font of its own takes the menu's.
    virtual void HandleAttached(TMenu* menu);
    // The hooks of the menu's events, each doing nothing here.
    virtual void HandleTarget(SInt32& result);
    virtual void HandleDraw(MenuDrawingGeometry& geometry, CGContextRef context, SInt32& result);
    virtual void HandleDrawContent(MenuDrawingGeometry& geometry, CGContextRef context, SInt32& result);
    virtual void HandleMeasureWidth(SInt32& width, SInt32& result);
    virtual void HandleMeasureHeight(SInt32& height, SInt32& result);

protected:
    TMenuItem() = default;

    bool IsAttached() const;

private:
    friend class TMenu;

    CFStringRef title_ = nullptr;
    UInt32 attributes_ = 0;
    UInt32 command_ = 0;
    TMenu* menu_ = nullptr;
    TMenu* submenu_ = nullptr;
    IconRef icon_ = nullptr;
    UInt16 index_ = 0;
    bool checked_ = false;
    bool enabled_ = false;
    MenuFont font_;
};

void InitializeTMenuUnit();
