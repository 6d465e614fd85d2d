#include <HIToolbox/HotKeys.h>
#include <HIToolbox/KeyCodes.h>
#include <Support/Diagnostics.h>

#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QGuiApplication>
#include <QObject>
#include <QPointer>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr EventModifiers kHotKeyModifiers = cmdKey | shiftKey | optionKey | controlKey;

// The four modifiers a hot key is made of; the right-hand bits count as
// their left-hand twins.
EventModifiers HotKeyModifiers(UInt32 modifiers)
{
    EventModifiers result = modifiers & kHotKeyModifiers;
    if (modifiers & rightShiftKey)
        result |= shiftKey;
    if (modifiers & rightOptionKey)
        result |= optionKey;
    if (modifiers & rightControlKey)
        result |= controlKey;
    return result;
}

// "Ctrl+Alt+K": a combination as a Linux keyboard names it.
std::string CombinationName(const MacKeyInfo& key, EventModifiers modifiers)
{
    std::string name;
    if (modifiers & cmdKey)
        name += "Ctrl+";
    if (modifiers & optionKey)
        name += "Alt+";
    if (modifiers & controlKey)
        name += "Super+";
    if (modifiers & shiftKey)
        name += "Shift+";
    return name + key.name;
}

// One passive grab: a key code and the modifier mask it was grabbed with,
// before the lock variants.
struct KeyGrab {
    xcb_keycode_t keycode;
    uint16_t mask;
};

struct HotKey {
    UInt32 keyCode;
    EventModifiers modifiers;
    EventHotKeyID id;
    EventTargetRef target;
    // The grabs, made by the grabber of this generation (0: none).
    unsigned grabberGeneration = 0;
    std::vector<KeyGrab> grabs;
};

class X11KeyGrabber;

struct Registry {
    // Handles are never reused, so a stale reference finds nothing.
    std::map<uintptr_t, HotKey> hotKeys;
    uintptr_t lastHandle = 0;
    // Lives as long as the application it was made for (its child).
    QPointer<X11KeyGrabber> grabber;
    unsigned lastGeneration = 0;
    bool warnedNoGrabs = false;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

EventHotKeyRef RefOf(uintptr_t handle)
{
    return reinterpret_cast<EventHotKeyRef>(handle);
}

// Sends the hot key's event to its target and answers the target's status.
// Everything is copied out first: a handler may unregister hot keys.
OSStatus DeliverHotKeyEvent(uintptr_t handle, EventKind kind)
{
    auto found = TheRegistry().hotKeys.find(handle);
    if (found == TheRegistry().hotKeys.end())
        return eventHotKeyInvalidErr;
    const EventHotKeyID id = found->second.id;
    EventTargetRef target = found->second.target;
    if (!IsValidEventTarget(target))
        return eventNotHandledErr;

    EventRef event = nullptr;
    OSStatus status =
        CreateEvent(nullptr, kEventClassKeyboard, kind, GetCurrentEventTime(), kEventAttributeNone, &event);
    if (status != noErr)
        return status;
    status = SetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, sizeof id, &id);
    if (status == noErr)
        status = SendEventToEventTarget(event, target);
    ReleaseEvent(event);
    return status;
}

uintptr_t FindHotKey(UInt32 keyCode, EventModifiers modifiers)
{
    for (const auto& [handle, hotKey] : TheRegistry().hotKeys) {
        if (hotKey.keyCode == keyCode && hotKey.modifiers == modifiers)
            return handle;
    }
    return 0;
}

// X11 keysyms of the modifier keys, to find which mask each modifier is.
enum : xcb_keysym_t {
    XK_Num_Lock = 0xff7f,
    XK_Alt_L = 0xffe9,
    XK_Alt_R = 0xffea,
    XK_Super_L = 0xffeb,
    XK_Super_R = 0xffec,
};

template <typename Reply>
struct FreeReply {
    Reply* reply;
    ~FreeReply() { std::free(reply); }
};

// The hot keys' side of the X server: passive key grabs on the root windows
// and a filter that turns the grabbed presses into hot-key events.
class X11KeyGrabber : public QObject, public QAbstractNativeEventFilter {
public:
    X11KeyGrabber(xcb_connection_t* connection, unsigned generation, QObject* application)
        : QObject(application), generation_(generation), connection_(connection)
    {
        for (auto roots = xcb_setup_roots_iterator(xcb_get_setup(connection)); roots.rem; xcb_screen_next(&roots))
            roots_.push_back(roots.data->root);
    }

    unsigned Generation() const { return generation_; }

    // Grabs the key with the modifiers on every root, with and without the
    // locks. eventHotKeyInvalidErr when the keyboard has no such key,
    // eventHotKeyExistsErr when another hot key of ours or (with
    // `*outTaken` set) another program holds the combination; nothing stays
    // grabbed then.
    OSStatus Grab(const MacKeyInfo& key, EventModifiers modifiers, std::vector<KeyGrab>* outGrabs, bool* outTaken)
    {
        *outTaken = false;
        ReadKeyboard();
        std::vector<xcb_keycode_t> keycodes = KeycodesOf(key.keysym);
        if (keycodes.empty())
            return eventHotKeyInvalidErr;
        uint16_t mask = 0;
        if (modifiers & cmdKey)
            mask |= XCB_MOD_MASK_CONTROL;
        if (modifiers & shiftKey)
            mask |= XCB_MOD_MASK_SHIFT;
        if (modifiers & optionKey)
            mask |= altMask_;
        if (modifiers & controlKey)
            mask |= superMask_;

        std::vector<KeyGrab> grabs;
        for (xcb_keycode_t keycode : keycodes) {
            if (OursAlready(keycode, mask))
                return eventHotKeyExistsErr;
            grabs.push_back({keycode, mask});
        }

        std::vector<xcb_void_cookie_t> cookies;
        for (const KeyGrab& grab : grabs) {
            for (uint16_t locks : LockVariants()) {
                for (xcb_window_t root : roots_) {
                    // Not owner events: the grab reports every press to the
                    // root, even over our own windows.
                    cookies.push_back(xcb_grab_key_checked(connection_, 0, root, grab.mask | locks, grab.keycode,
                                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
                }
            }
        }
        OSStatus status = noErr;
        for (xcb_void_cookie_t cookie : cookies) {
            if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
                const bool taken = error->error_code == XCB_ACCESS;
                std::free(error);
                if (status == noErr || taken)
                    status = taken ? eventHotKeyExistsErr : eventHotKeyInvalidErr;
                *outTaken = *outTaken || taken;
            }
        }
        if (status != noErr) {
            // Ungrabbing a combination another client holds leaves its grab.
            Ungrab(0, grabs);
            return status;
        }
        *outGrabs = std::move(grabs);
        return noErr;
    }

    // Lets go of the hot key's grabs; a press of it in progress ends
    // without a release.
    void Ungrab(uintptr_t handle, const std::vector<KeyGrab>& grabs)
    {
        std::erase_if(held_, [handle](const auto& entry) { return entry.second == handle; });
        for (const KeyGrab& grab : grabs) {
            for (uint16_t locks : LockVariants()) {
                for (xcb_window_t root : roots_)
                    xcb_ungrab_key(connection_, grab.keycode, root, grab.mask | locks);
            }
        }
        xcb_flush(connection_);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const uint8_t type = event->response_type & 0x7f;
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
            return false;
        // Press and release events share one layout.
        const auto* key = static_cast<const xcb_key_press_event_t*>(message);
        if (!IsRoot(key->event))
            return false;

        if (type == XCB_KEY_PRESS) {
            // A key held down repeats: the hot key was pressed once.
            if (held_.count(key->detail))
                return true;
            const uintptr_t handle = GrabbedHotKey(key->detail, key->state);
            if (handle == 0)
                return false;
            held_[key->detail] = handle;
            DeliverHotKeyEvent(handle, kEventHotKeyPressed);
            return true;
        }
        // The release goes to the hot key that was pressed, whatever
        // modifiers were let go first. The server repeats a key held down
        // as a release and a press while the key stays down: those are no
        // release.
        auto pressed = held_.find(key->detail);
        if (pressed == held_.end())
            return false;
        if (IsDown(key->detail))
            return true;
        const uintptr_t handle = pressed->second;
        held_.erase(pressed);
        DeliverHotKeyEvent(handle, kEventHotKeyReleased);
        return true;
    }

private:
    std::vector<uint16_t> LockVariants() const
    {
        return {0, XCB_MOD_MASK_LOCK, numLockMask_, uint16_t(XCB_MOD_MASK_LOCK | numLockMask_)};
    }

    bool IsRoot(xcb_window_t window) const
    {
        for (xcb_window_t root : roots_) {
            if (root == window)
                return true;
        }
        return false;
    }

    bool IsDown(xcb_keycode_t keycode) const
    {
        FreeReply<xcb_query_keymap_reply_t> keymap{
            xcb_query_keymap_reply(connection_, xcb_query_keymap(connection_), nullptr)};
        return keymap.reply && (keymap.reply->keys[keycode / 8] & (1 << (keycode % 8)));
    }

    bool OursAlready(xcb_keycode_t keycode, uint16_t mask) const
    {
        for (const auto& [handle, hotKey] : TheRegistry().hotKeys) {
            if (hotKey.grabberGeneration != generation_)
                continue;
            for (const KeyGrab& grab : hotKey.grabs) {
                if (grab.keycode == keycode && grab.mask == mask)
                    return true;
            }
        }
        return false;
    }

    uintptr_t GrabbedHotKey(xcb_keycode_t keycode, uint16_t state) const
    {
        // The core modifiers only (XKB puts the group above them), less the locks.
        const uint16_t mask = state & 0xff & ~(XCB_MOD_MASK_LOCK | numLockMask_);
        for (const auto& [handle, hotKey] : TheRegistry().hotKeys) {
            if (hotKey.grabberGeneration != generation_)
                continue;
            for (const KeyGrab& grab : hotKey.grabs) {
                if (grab.keycode == keycode && grab.mask == mask)
                    return handle;
            }
        }
        return 0;
    }

    // The server's keyboard now: the keysyms of every key code, and which
    // mask Alt, Super and Num Lock are on (Mod1, Mod4 and Mod2 unless the
    // server says otherwise).
    void ReadKeyboard()
    {
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        minKeycode_ = setup->min_keycode;
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto keyboardCookie = xcb_get_keyboard_mapping(connection_, setup->min_keycode, uint8_t(count));
        auto modifierCookie = xcb_get_modifier_mapping(connection_);
        FreeReply<xcb_get_keyboard_mapping_reply_t> keyboard{
            xcb_get_keyboard_mapping_reply(connection_, keyboardCookie, nullptr)};
        FreeReply<xcb_get_modifier_mapping_reply_t> modifiers{
            xcb_get_modifier_mapping_reply(connection_, modifierCookie, nullptr)};

        keysyms_.clear();
        keysymsPerKeycode_ = 0;
        if (keyboard.reply) {
            const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(keyboard.reply);
            keysyms_.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(keyboard.reply));
            keysymsPerKeycode_ = keyboard.reply->keysyms_per_keycode;
        }

        uint16_t alt = 0, super = 0, numLock = 0;
        if (modifiers.reply && keysymsPerKeycode_ > 0) {
            const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(modifiers.reply);
            const int perModifier = modifiers.reply->keycodes_per_modifier;
            // Mod1 to Mod5 are modifiers 3 to 7.
            for (int modifier = 3; modifier < 8; ++modifier) {
                for (int i = 0; i < perModifier; ++i) {
                    for (xcb_keysym_t keysym : KeysymsOf(keycodes[modifier * perModifier + i])) {
                        const uint16_t bit = uint16_t(1 << modifier);
                        if (keysym == XK_Alt_L || keysym == XK_Alt_R)
                            alt |= bit;
                        else if (keysym == XK_Super_L || keysym == XK_Super_R)
                            super |= bit;
                        else if (keysym == XK_Num_Lock)
                            numLock |= bit;
                    }
                }
            }
        }
        altMask_ = alt ? alt : uint16_t(XCB_MOD_MASK_1);
        superMask_ = super ? super : uint16_t(XCB_MOD_MASK_4);
        numLockMask_ = numLock ? numLock : uint16_t(XCB_MOD_MASK_2);
    }

    std::vector<xcb_keysym_t> KeysymsOf(xcb_keycode_t keycode) const
    {
        if (keycode < minKeycode_ || keysymsPerKeycode_ == 0)
            return {};
        const size_t first = size_t(keycode - minKeycode_) * keysymsPerKeycode_;
        if (first + keysymsPerKeycode_ > keysyms_.size())
            return {};
        return {keysyms_.begin() + first, keysyms_.begin() + first + keysymsPerKeycode_};
    }

    // The key codes whose unshifted keysym is `keysym`; failing those, the
    // ones that give it in another column (the keypad's digits are second).
    std::vector<xcb_keycode_t> KeycodesOf(xcb_keysym_t keysym) const
    {
        std::vector<xcb_keycode_t> unshifted, other;
        if (keysymsPerKeycode_ == 0)
            return {};
        const size_t count = keysyms_.size() / keysymsPerKeycode_;
        for (size_t index = 0; index < count; ++index) {
            const xcb_keycode_t keycode = xcb_keycode_t(minKeycode_ + index);
            for (size_t column = 0; column < keysymsPerKeycode_; ++column) {
                if (keysyms_[index * keysymsPerKeycode_ + column] == keysym) {
                    (column == 0 ? unshifted : other).push_back(keycode);
                    break;
                }
            }
        }
        return unshifted.empty() ? other : unshifted;
    }

    const unsigned generation_;
    xcb_connection_t* const connection_;
    std::vector<xcb_window_t> roots_;
    xcb_keycode_t minKeycode_ = 8;
    size_t keysymsPerKeycode_ = 0;
    std::vector<xcb_keysym_t> keysyms_;
    uint16_t altMask_ = XCB_MOD_MASK_1;
    uint16_t superMask_ = XCB_MOD_MASK_4;
    uint16_t numLockMask_ = XCB_MOD_MASK_2;
    // Keys pressed as hot keys and not yet released, and their hot keys.
    std::map<xcb_keycode_t, uintptr_t> held_;
};

// The grabber of the running application when it is on an X server, made
// on first use; nil without one.
X11KeyGrabber* CurrentGrabber()
{
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (application == nullptr || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    Registry& registry = TheRegistry();
    if (registry.grabber && registry.grabber->parent() == application)
        return registry.grabber;
    auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return nullptr;
    auto* grabber = new X11KeyGrabber(x11->connection(), ++registry.lastGeneration, application);
    application->installNativeEventFilter(grabber);
    registry.grabber = grabber;
    return grabber;
}

// On a real display without X (Wayland), once: hot keys will not come.
void WarnWithoutGrabs()
{
    Registry& registry = TheRegistry();
    if (registry.warnedNoGrabs || qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        return;
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return;
    registry.warnedNoGrabs = true;
    Diagnostics::WriteLine("Warning: global hot keys need an X server; the display \"" + platform.toStdString() +
                           "\" has none");
}

}  // namespace

OSStatus RegisterEventHotKey(UInt32 inHotKeyCode, UInt32 inHotKeyModifiers, EventHotKeyID inHotKeyID,
                             EventTargetRef inTarget, OptionBits, EventHotKeyRef* outRef)
{
    if (outRef == nullptr || !IsValidEventTarget(inTarget))
        return paramErr;
    const MacKeyInfo* key = FindMacKey(inHotKeyCode);
    if (key == nullptr || key->keysym == 0)
        return eventHotKeyInvalidErr;
    const EventModifiers modifiers = HotKeyModifiers(inHotKeyModifiers);
    if (FindHotKey(inHotKeyCode, modifiers) != 0)
        return eventHotKeyExistsErr;

    HotKey hotKey{inHotKeyCode, modifiers, inHotKeyID, inTarget, 0, {}};
    if (X11KeyGrabber* grabber = CurrentGrabber()) {
        bool taken = false;
        const OSStatus status = grabber->Grab(*key, modifiers, &hotKey.grabs, &taken);
        if (taken)
            Diagnostics::WriteLine("Warning: another program holds the hot key " + CombinationName(*key, modifiers));
        if (status != noErr)
            return status;
        hotKey.grabberGeneration = grabber->Generation();
    } else {
        WarnWithoutGrabs();
    }

    Registry& registry = TheRegistry();
    const uintptr_t handle = ++registry.lastHandle;
    registry.hotKeys.emplace(handle, std::move(hotKey));
    *outRef = RefOf(handle);
    return noErr;
}

OSStatus UnregisterEventHotKey(EventHotKeyRef inHotKey)
{
    if (inHotKey == nullptr)
        return paramErr;
    Registry& registry = TheRegistry();
    auto found = registry.hotKeys.find(reinterpret_cast<uintptr_t>(inHotKey));
    if (found == registry.hotKeys.end())
        return eventHotKeyInvalidErr;
    // Grabs made for an application that has gone went with its connection.
    const HotKey& hotKey = found->second;
    if (hotKey.grabberGeneration != 0 && registry.grabber && registry.grabber->Generation() == hotKey.grabberGeneration)
        registry.grabber->Ungrab(found->first, hotKey.grabs);
    registry.hotKeys.erase(found);
    return noErr;
}

Boolean HotKeysUseKeyGrabs()
{
    return CurrentGrabber() != nullptr;
}

OSStatus HotKeyInjectPress(UInt32 inHotKeyCode, UInt32 inHotKeyModifiers)
{
    const uintptr_t handle = FindHotKey(inHotKeyCode, HotKeyModifiers(inHotKeyModifiers));
    return handle ? DeliverHotKeyEvent(handle, kEventHotKeyPressed) : eventHotKeyInvalidErr;
}

OSStatus HotKeyInjectRelease(UInt32 inHotKeyCode, UInt32 inHotKeyModifiers)
{
    const uintptr_t handle = FindHotKey(inHotKeyCode, HotKeyModifiers(inHotKeyModifiers));
    return handle ? DeliverHotKeyEvent(handle, kEventHotKeyReleased) : eventHotKeyInvalidErr;
}
