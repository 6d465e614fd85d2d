// The Qt side of menus: a QMenu built from the model each time a menu
// opens, pop-up and contextual menus, and the menu bar strip.
//
// The bar is a slim window along the top of the primary screen holding a
// QMenuBar (drawn by us, never handed to a desktop's global menu: such a
// menu follows the focused window, and ours must not depend on which of
// our windows that is). It shows while the program is active, the way a
// menu bar belongs to the front program, and stays out of the focus chain
// (a dock window that never takes the keyboard focus).
#include "MenusInternal.h"

#include "KeyCodes.h"

#include <CoreGraphics/CGImageQt.h>

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

QString ToQt(CFStringRef text)
{
    if (!text)
        return {};
    const CFIndex length = CFStringGetLength(text);
    QString result(qsizetype(length), Qt::Uninitialized);
    CFStringGetCharacters(text, CFRangeMake(0, length), reinterpret_cast<UniChar*>(result.data()));
    return result;
}

// QMenu reads "&" as the mark of a mnemonic.
QString Escaped(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

bool HaveWidgets()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

int QtKeyForGlyph(SInt16 glyph)
{
    static const std::pair<SInt16, int> table[] = {
        {kMenuTabRightGlyph, Qt::Key_Tab},
        {kMenuTabLeftGlyph, Qt::Key_Backtab},
        {kMenuEnterGlyph, Qt::Key_Enter},
        {kMenuSpaceGlyph, Qt::Key_Space},
        {kMenuDeleteRightGlyph, Qt::Key_Delete},
        {kMenuReturnGlyph, Qt::Key_Return},
        {kMenuNonmarkingReturnGlyph, Qt::Key_Return},
        {kMenuDeleteLeftGlyph, Qt::Key_Backspace},
        {kMenuEscapeGlyph, Qt::Key_Escape},
        {kMenuClearGlyph, Qt::Key_Clear},
        {kMenuPageUpGlyph, Qt::Key_PageUp},
        {kMenuPageDownGlyph, Qt::Key_PageDown},
        {kMenuCapsLockGlyph, Qt::Key_CapsLock},
        {kMenuLeftArrowGlyph, Qt::Key_Left},
        {kMenuRightArrowGlyph, Qt::Key_Right},
        {kMenuUpArrowGlyph, Qt::Key_Up},
        {kMenuDownArrowGlyph, Qt::Key_Down},
        {kMenuNorthwestArrowGlyph, Qt::Key_Home},
        {kMenuSoutheastArrowGlyph, Qt::Key_End},
        {kMenuHelpGlyph, Qt::Key_Help},
        {kMenuEjectGlyph, Qt::Key_Eject},
        {kMenuF1Glyph, Qt::Key_F1},
        {kMenuF2Glyph, Qt::Key_F2},
        {kMenuF3Glyph, Qt::Key_F3},
        {kMenuF4Glyph, Qt::Key_F4},
        {kMenuF5Glyph, Qt::Key_F5},
        {kMenuF6Glyph, Qt::Key_F6},
        {kMenuF7Glyph, Qt::Key_F7},
        {kMenuF8Glyph, Qt::Key_F8},
        {kMenuF9Glyph, Qt::Key_F9},
        {kMenuF10Glyph, Qt::Key_F10},
        {kMenuF11Glyph, Qt::Key_F11},
        {kMenuF12Glyph, Qt::Key_F12},
        {kMenuF13Glyph, Qt::Key_F13},
        {kMenuF14Glyph, Qt::Key_F14},
        {kMenuF15Glyph, Qt::Key_F15},
    };
    for (const auto& [menuGlyph, key] : table)
        if (menuGlyph == glyph)
            return key;
    return 0;
}

// The key equivalent as this desktop writes it ("Ctrl+Shift+N"). It is only
// shown: the keys themselves reach the menus through HIMenuHandleKeyEvent,
// after the focus chain, never through Qt's shortcuts.
QString KeyText(const MenuItem& item)
{
    int key = 0;
    if (item.keyGlyph != kMenuNullGlyph)
        key = QtKeyForGlyph(item.keyGlyph);
    if (key == 0 && (item.attributes & kMenuItemAttrUseVirtualKey)) {
        const MacKeyInfo* info = FindMacKey(item.virtualKey);
        key = info ? info->qtKey : 0;
    } else if (key == 0 && item.commandKey > 0x20 && item.commandKey < 0x7F) {
        key = QChar(item.commandKey).toUpper().unicode();
    }
    if (key == 0)
        return {};
    const EventModifiers modifiers = MenuKeyModifiers(item.modifiers);
    return QKeySequence(QKeyCombination(QtModifiersFromMac(modifiers), Qt::Key(key)))
        .toString(QKeySequence::NativeText);
}

QIcon IconOf(const MenuItem& item)
{
    CGImageRef image = nullptr;
    if (item.iconType == kMenuCGImageRefType)
        image = CGImageRetain(static_cast<CGImageRef>(item.icon));
    else if (item.iconType == kMenuIconRefType)
        image = IconRefCreateCGImage(static_cast<IconRef>(item.icon), 32, nullptr);
    if (!image)
        return {};
    QIcon icon(QPixmap::fromImage(CGImageGetQImage(image)));
    CGImageRelease(image);
    return icon;
}

// Which item an action stands for.
const char* const kMenuProperty = "brindletMenu";
const char* const kItemProperty = "brindletMenuItem";

void Bind(QAction* action, MenuRef menu, MenuItemIndex index)
{
    action->setProperty(kMenuProperty, QVariant::fromValue(quintptr(menu)));
    action->setProperty(kItemProperty, int(index));
}

std::pair<MenuRef, MenuItemIndex> BoundItem(const QAction* action)
{
    if (!action)
        return {nullptr, 0};
    auto* menu = reinterpret_cast<MenuRef>(action->property(kMenuProperty).value<quintptr>());
    return {AsMenu(menu), MenuItemIndex(action->property(kItemProperty).toInt())};
}

// Sends the command of an item chosen in the bar once Qt's menu machinery
// has unwound (the handler may rebuild the bar, or open a modal dialog).
void ChooseLater(MenuRef menu, MenuItemIndex index, UInt32 context)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [menu, index, context] {
            if (MenuItemIsChoosable(menu, index))
                MenuSendItemCommand(menu, index, context);
        },
        Qt::QueuedConnection);
}

void Fill(QMenu* shown, MenuRef menu, UInt32 context, bool chooseOnTrigger);

// The item under the pointer is told to its menu (kEventMenuTargetItem).
void WatchHover(QMenu* shown, UInt32 context)
{
    QObject::connect(shown, &QMenu::hovered, shown, [shown, context](QAction* action) {
        if (!shown->actions().contains(action))
            return;  // an item of a submenu: that menu tells it
        const auto [menu, index] = BoundItem(action);
        if (menu)
            MenuSendTargetItem(menu, index, context);
    });
}

// A QMenu that shows `menu` when it opens: the opening sequence first.
void BindSubmenu(QMenu* shown, MenuRef menu, UInt32 context, bool chooseOnTrigger)
{
    shown->setProperty(kMenuProperty, QVariant::fromValue(quintptr(menu)));
    QObject::connect(shown, &QMenu::aboutToShow, shown, [shown, menu, context, chooseOnTrigger] {
        if (!AsMenu(menu) || !MenuPrepareToOpen(menu, context)) {
            shown->clear();
            return;
        }
        Fill(shown, menu, context, chooseOnTrigger);
    });
    QObject::connect(shown, &QMenu::aboutToHide, shown, [menu, context] { MenuSendClosed(menu, context); });
    WatchHover(shown, context);
}

// Builds the menu's items as actions, one per item in order (hidden items
// are invisible actions), so that action i - 1 is item i.
void Fill(QMenu* shown, MenuRef menu, UInt32 context, bool chooseOnTrigger)
{
    shown->clear();
    for (QMenu* old : shown->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        old->deleteLater();
    if (!AsMenu(menu))
        return;
    if (menu->fontSize > 0) {
        QFont font = shown->font();
        font.setPointSize(menu->fontSize);
        shown->setFont(font);
    }
    for (MenuItemIndex index = 1; index <= menu->items.size(); ++index) {
        const MenuItem& item = *menu->items[index - 1];
        QAction* action = nullptr;
        QString text = ToQt(item.text);
        // The bar's items show their menus' titles as they are now.
        if (item.submenu && (text.isEmpty() || menu == MenuBarRoot()))
            text = ToQt(item.submenu->title);
        text = QString(int(std::min<UInt32>(item.indent, 16)) * 4, QLatin1Char(' ')) + Escaped(text);
        if (item.attributes & kMenuItemAttrSeparator) {
            action = shown->addSeparator();
        } else if (item.submenu) {
            auto* sub = new QMenu(text, shown);
            BindSubmenu(sub, item.submenu, (context & ~kMenuContextMenuBar) | kMenuContextSubmenu, chooseOnTrigger);
            action = shown->addMenu(sub);
        } else {
            const QString keys = KeyText(item);
            action = shown->addAction(keys.isEmpty() ? text : text + QLatin1Char('\t') + keys);
            if (chooseOnTrigger)
                QObject::connect(action, &QAction::triggered,
                                 [menu, index, context] { ChooseLater(menu, index, context); });
        }
        Bind(action, menu, index);
        const bool enabled = menu->enabled && !(item.attributes & kMenuItemAttrDisabled) &&
                             !(item.attributes & kMenuItemAttrSectionHeader);
        action->setEnabled(enabled);
        action->setVisible(!(item.attributes & kMenuItemAttrHidden));
        if (item.attributes & kMenuItemAttrSectionHeader) {
            QFont font = action->font();
            font.setBold(true);
            action->setFont(font);
        }
        if (item.mark != 0 && !(item.attributes & kMenuItemAttrSeparator)) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        if (item.iconType != kMenuNoIcon)
            action->setIcon(IconOf(item));
    }
}

// Scripted: the test's chooser stands for the user.
std::pair<MenuRef, MenuItemIndex> ScriptedChoice(MenuRef menu, QMenu* shown, const MenuTestChooser& chooser)
{
    std::pair<MenuRef, MenuItemIndex> chosen = {nullptr, 0};
    std::vector<QPointer<QMenu>> opened;
    for (int depth = 0; depth < 64 && AsMenu(menu); ++depth) {
        const MenuItemIndex index = chooser(menu, shown);
        const QList<QAction*> actions = shown->actions();
        if (index == 0 || index > actions.size())
            break;
        QAction* action = actions[index - 1];
        if (!action->isEnabled() || !action->isVisible() || action->isSeparator())
            break;
        const MenuItem* item = MenuItemAt(menu, index);
        if (item && item->submenu && action->menu()) {
            QMenu* sub = action->menu();
            emit sub->aboutToShow();
            opened.push_back(sub);
            menu = item->submenu;
            shown = sub;
            continue;
        }
        if (MenuItemIsChoosable(menu, index))
            chosen = {menu, index};
        break;
    }
    for (auto it = opened.rbegin(); it != opened.rend(); ++it)
        if (*it)
            emit(*it)->aboutToHide();
    return chosen;
}

// Opens the menu at a global point (with item `atItem` there, when given),
// lets the user (or the test's chooser) choose, and sends the command.
std::pair<MenuRef, MenuItemIndex> Track(MenuRef menu, QPoint global, MenuItemIndex atItem, UInt32 context)
{
    if (!AsMenu(menu) || !HaveWidgets())
        return {nullptr, 0};
    CFRetain(menu);
    std::pair<MenuRef, MenuItemIndex> chosen = {nullptr, 0};
    if (MenuPrepareToOpen(menu, context)) {
        QMenu shown;
        Fill(&shown, menu, context, false);
        WatchHover(&shown, context);
        if (const MenuTestChooser& chooser = MenuTestCurrentChooser()) {
            chosen = ScriptedChoice(menu, &shown, chooser);
        } else {
            const QList<QAction*> actions = shown.actions();
            QAction* at = atItem >= 1 && atItem <= actions.size() ? actions[atItem - 1] : nullptr;
            chosen = BoundItem(shown.exec(global, at));
        }
        MenuSendClosed(menu, context);
        if (chosen.first && MenuItemIsChoosable(chosen.first, chosen.second))
            MenuSendItemCommand(chosen.first, chosen.second, context);
        else
            chosen = {nullptr, 0};
    }
    CFRelease(menu);
    return chosen;
}

// ---- the strip ----

class MenuBarStrip final : public QWidget {
public:
    MenuBarStrip()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
    {
        setAttribute(Qt::WA_X11NetWmWindowTypeDock);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setWindowTitle(QStringLiteral("Menu bar"));
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        bar = new QMenuBar(this);
        bar->setNativeMenuBar(false);
        layout->addWidget(bar);
        MarkAsDock();
    }

    QMenuBar* bar = nullptr;
    QPointer<QWidget> generation;  // owns the menus and actions of the bar as built last

private:
    // A dock to the window manager: kept above the windows, on every
    // desktop, out of task bars and never given the focus. Qt names a tool
    // window a utility window, whatever the widget's attributes, so the
    // type is written on the native window before it is first mapped.
    void MarkAsDock()
    {
        auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
        if (!x11 || !x11->connection())
            return;
        xcb_connection_t* connection = x11->connection();
        auto atom = [connection](const char* name) {
            xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
                connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
            const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
            std::free(reply);
            return result;
        };
        const xcb_atom_t type = atom("_NET_WM_WINDOW_TYPE");
        const xcb_atom_t dock = atom("_NET_WM_WINDOW_TYPE_DOCK");
        if (type == XCB_ATOM_NONE || dock == XCB_ATOM_NONE)
            return;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(winId()), type, XCB_ATOM_ATOM, 32, 1,
                            &dock);
        xcb_flush(connection);
    }
};

QPointer<MenuBarStrip> gStrip;
bool gRebuildPending = false;
bool gBarAllowed = true;

bool RootHasMenus()
{
    MenuRef root = MenuBarRoot();
    if (!root)
        return false;
    for (const auto& item : root->items)
        if (!(item->attributes & kMenuItemAttrHidden))
            return true;
    return false;
}

MenuBarStrip* Strip()
{
    if (gStrip || !HaveWidgets())
        return gStrip;
    gStrip = new MenuBarStrip;
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, gStrip, [] { MenuBarUpdateVisibility(); });
    QObject::connect(qApp, &QGuiApplication::primaryScreenChanged, gStrip, [] { MenuBarUpdateVisibility(); });
    return gStrip;
}

void Place(MenuBarStrip* strip)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    strip->setGeometry(area.x(), area.y(), area.width(), strip->bar->sizeHint().height());
}

}  // namespace

// ---- what the model calls ----

void MenuNoteChanged(MenuRef menu, bool ownLook)
{
    MenuRef root = MenuBarRoot();
    if (root && (menu == root || (ownLook && menu->supermenu == root)))
        MenuBarSetNeedsRebuild();
}

void MenuBarSetNeedsRebuild()
{
    if (gRebuildPending || !QCoreApplication::instance())
        return;
    gRebuildPending = true;
    QTimer::singleShot(0, QCoreApplication::instance(), [] {
        if (gRebuildPending)
            MenuBarRebuild();
    });
}

void MenuBarRebuild()
{
    gRebuildPending = false;
    MenuBarStrip* strip = Strip();
    if (!strip)
        return;
    // Never under the user's pointer: an open menu of the bar stays as it
    // is, and the bar follows the model once it has closed.
    if (strip->generation) {
        for (const QMenu* open : strip->generation->findChildren<QMenu*>()) {
            if (open->isVisible()) {
                gRebuildPending = true;
                QTimer::singleShot(100, strip, [] {
                    if (gRebuildPending)
                        MenuBarRebuild();
                });
                return;
            }
        }
    }
    strip->bar->clear();
    if (strip->generation)
        strip->generation->deleteLater();
    strip->generation = new QWidget(strip);
    strip->generation->hide();
    if (MenuRef root = MenuBarRoot()) {
        const UInt32 context = kMenuContextMenuBar | kMenuContextPullDown | kMenuContextMenuBarTracking;
        for (MenuItemIndex index = 1; index <= root->items.size(); ++index) {
            const MenuItem& item = *root->items[index - 1];
            if (item.attributes & (kMenuItemAttrHidden | kMenuItemAttrSeparator))
                continue;
            QString title = item.submenu ? ToQt(item.submenu->title) : ToQt(item.text);
            if (title.isEmpty())
                title = ToQt(item.text);
            QAction* action = nullptr;
            if (item.submenu) {
                auto* shown = new QMenu(Escaped(title), strip->generation);
                BindSubmenu(shown, item.submenu, context, true);
                action = strip->bar->addMenu(shown);
                action->setEnabled(root->enabled && item.submenu->enabled &&
                                   !(item.attributes & kMenuItemAttrDisabled));
            } else {
                action = new QAction(Escaped(title), strip->generation);
                strip->bar->addAction(action);
                action->setEnabled(root->enabled && !(item.attributes & kMenuItemAttrDisabled));
                QObject::connect(action, &QAction::triggered,
                                 [root, index, context] { ChooseLater(root, index, context); });
            }
            Bind(action, root, index);
        }
    }
    MenuBarUpdateVisibility();
}

void MenuBarUpdateVisibility()
{
    MenuBarStrip* strip = RootHasMenus() ? Strip() : gStrip.data();
    if (!strip)
        return;
    const bool show = gBarAllowed && RootHasMenus() && QGuiApplication::applicationState() == Qt::ApplicationActive;
    if (show) {
        Place(strip);
        strip->show();
    } else {
        strip->hide();
    }
}

// ---- the public calls ----

void DrawMenuBar()
{
    MenuBarRebuild();
}

void InvalMenuBar()
{
    MenuBarSetNeedsRebuild();
}

void ShowMenuBar()
{
    gBarAllowed = true;
    MenuBarUpdateVisibility();
}

void HideMenuBar()
{
    gBarAllowed = false;
    MenuBarUpdateVisibility();
}

Boolean IsMenuBarVisible()
{
    return gBarAllowed;
}

SInt32 PopUpMenuSelect(MenuRef menu, short top, short left, short popUpItem)
{
    const auto [chosenMenu, index] = Track(menu, QPoint(left, top), MenuItemIndex(std::max<short>(popUpItem, 0)),
                                           kMenuContextPopUp | kMenuContextPopUpTracking);
    if (!chosenMenu)
        return 0;
    return SInt32((UInt32(UInt16(chosenMenu->id)) << 16) | index);
}

OSStatus ContextualMenuSelect(MenuRef inMenu, Point inGlobalLocation, Boolean, UInt32, ConstStr255Param, const AEDesc*,
                              UInt32* outUserSelectionType, MenuID* outMenuID, MenuItemIndex* outMenuItem)
{
    if (!AsMenu(inMenu))
        return paramErr;
    const auto [chosenMenu, index] =
        Track(inMenu, QPoint(inGlobalLocation.h, inGlobalLocation.v), 0, kMenuContextPopUp | kMenuContextPopUpTracking);
    if (outUserSelectionType)
        *outUserSelectionType = chosenMenu ? kCMMenuItemSelected : kCMNothingSelected;
    if (outMenuID)
        *outMenuID = chosenMenu ? chosenMenu->id : 0;
    if (outMenuItem)
        *outMenuItem = chosenMenu ? index : 0;
    return chosenMenu ? noErr : userCanceledErr;
}

void HIMenuBarShowContextMenu(Point inGlobalLocation)
{
    if (RootHasMenus())
        ContextualMenuSelect(MenuBarRoot(), inGlobalLocation, false, kCMHelpItemRemoveHelp, nullptr, nullptr, nullptr,
                             nullptr, nullptr);
}

QWidget* HIMenuBarGetStrip()
{
    MenuBarStrip* strip = Strip();
    if (strip && (gRebuildPending || !strip->generation))
        MenuBarRebuild();
    return strip;
}
