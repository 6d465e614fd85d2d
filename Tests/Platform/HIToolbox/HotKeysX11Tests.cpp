// Hot keys on a real X server (run through scripts/with-x11.sh): keys typed
// through the X test extension by another client reach the hot keys' target,
// and the grabs are the server's business as much as ours: another client
// can hold a combination, and ours are let go when unregistered.
#include <HIToolbox/HotKeys.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include "HotKeyRecorder.h"
#include <RunUntil.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// Mac key codes, X keysyms and masks the tests use.
constexpr UInt32 kKeyJ = 38;
constexpr UInt32 kKeyK = 40;
constexpr UInt32 kKeyF5 = 96;

enum : xcb_keysym_t {
    XK_j = 0x6a,
    XK_k = 0x6b,
    XK_F5 = 0xffc2,
    XK_Num_Lock = 0xff7f,
    XK_Caps_Lock = 0xffe5,
    XK_Shift_L = 0xffe1,
    XK_Control_L = 0xffe3,
    XK_Alt_L = 0xffe9,
    XK_Super_L = 0xffeb,
};

// Xvfb's keyboard: Alt on Mod1, Num Lock on Mod2, Super on Mod4.
constexpr uint16_t kAltMask = XCB_MOD_MASK_1;
constexpr uint16_t kNumLockMask = XCB_MOD_MASK_2;

// Another client of the X server: it types through the test extension and
// grabs keys of its own.
class OtherClient {
public:
    OtherClient()
    {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_))
            return;
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        root_ = xcb_setup_roots_iterator(setup).data->root;
        minKeycode_ = setup->min_keycode;
        const uint8_t count = uint8_t(setup->max_keycode - setup->min_keycode + 1);
        auto* reply = xcb_get_keyboard_mapping_reply(
            connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count), nullptr);
        if (reply == nullptr)
            return;
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply);
        keysyms_.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(reply));
        perKeycode_ = reply->keysyms_per_keycode;
        std::free(reply);
    }
    ~OtherClient() { xcb_disconnect(connection_); }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    bool Connected() const { return !xcb_connection_has_error(connection_) && perKeycode_ > 0; }

    // The first key code whose unshifted keysym it is.
    xcb_keycode_t Keycode(xcb_keysym_t keysym) const
    {
        for (size_t index = 0; index * perKeycode_ < keysyms_.size(); ++index) {
            if (keysyms_[index * perKeycode_] == keysym)
                return xcb_keycode_t(minKeycode_ + index);
        }
        ADD_FAILURE() << "no key for keysym " << keysym;
        return 0;
    }

    // Presses the modifiers in order, then the key, and lets go in reverse.
    void Type(std::initializer_list<xcb_keysym_t> modifiers, xcb_keysym_t key)
    {
        for (xcb_keysym_t modifier : modifiers)
            Fake(XCB_KEY_PRESS, modifier);
        Fake(XCB_KEY_PRESS, key);
        Fake(XCB_KEY_RELEASE, key);
        for (auto modifier = std::rbegin(modifiers); modifier != std::rend(modifiers); ++modifier)
            Fake(XCB_KEY_RELEASE, *modifier);
        Sync();
    }

    void Press(xcb_keysym_t keysym)
    {
        Fake(XCB_KEY_PRESS, keysym);
        Sync();
    }
    void Release(xcb_keysym_t keysym)
    {
        Fake(XCB_KEY_RELEASE, keysym);
        Sync();
    }

    // Whether this client could grab the key with the mask on the root.
    bool Grab(xcb_keysym_t keysym, uint16_t mask)
    {
        xcb_generic_error_t* error =
            xcb_request_check(connection_, xcb_grab_key_checked(connection_, 0, root_, mask, Keycode(keysym),
                                                                XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        return error == nullptr;
    }
    void Ungrab(xcb_keysym_t keysym, uint16_t mask)
    {
        xcb_ungrab_key(connection_, Keycode(keysym), root_, mask);
        Sync();
    }

private:
    void Fake(uint8_t type, xcb_keysym_t keysym)
    {
        xcb_test_fake_input(connection_, type, Keycode(keysym), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    // Waits until the server has taken everything sent so far.
    void Sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_keycode_t minKeycode_ = 8;
    size_t perKeycode_ = 0;
    std::vector<xcb_keysym_t> keysyms_;
};

class HotKeysX11Test : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run through scripts/with-x11.sh";
        ASSERT_TRUE(other_.Connected());
        ASSERT_TRUE(HotKeysUseKeyGrabs());
        recorder_.Install(GetApplicationEventTarget());
    }
    void TearDown() override
    {
        for (EventHotKeyRef hotKey : registered_)
            UnregisterEventHotKey(hotKey);
    }

    EventHotKeyRef Register(UInt32 keyCode, UInt32 modifiers, UInt32 id)
    {
        EventHotKeyRef hotKey = nullptr;
        EXPECT_EQ(
            RegisterEventHotKey(keyCode, modifiers, {FourCC("thtk"), id}, GetApplicationEventTarget(), 0, &hotKey),
            noErr);
        registered_.push_back(hotKey);
        return hotKey;
    }

    // Runs the loop until `count` hot-key events arrived (or a while went by).
    bool WaitForDeliveries(size_t count)
    {
        return RunUntil([&] { return recorder_.deliveries.size() >= count; }, 5);
    }

    OtherClient other_;
    HotKeyRecorder recorder_;
    std::vector<EventHotKeyRef> registered_;
};

TEST_F(HotKeysX11Test, ATypedHotKeyReachesTheApplicationsHandlerOncePressedAndOnceReleased)
{
    Register(kKeyK, cmdKey | shiftKey, 7);

    // The key without the modifiers is no hot key.
    other_.Type({}, XK_k);
    other_.Type({XK_Control_L}, XK_k);
    other_.Type({XK_Control_L, XK_Shift_L}, XK_k);
    ASSERT_TRUE(WaitForDeliveries(2));
    RunUntil([] { return false; }, 0.1);  // anything more would come now

    const std::vector<HotKeyRecorder::Delivery> expected = {
        {kEventHotKeyPressed, FourCC("thtk"), 7},
        {kEventHotKeyReleased, FourCC("thtk"), 7},
    };
    EXPECT_EQ(recorder_.deliveries, expected);
}

TEST_F(HotKeysX11Test, AHotKeyHeldDownIsPressedOnce)
{
    Register(kKeyK, cmdKey, 4);
    other_.Press(XK_Control_L);
    other_.Press(XK_k);
    RunUntil([] { return false; }, 0.8);  // past the server's repeat delay (660 ms)
    other_.Release(XK_k);
    other_.Release(XK_Control_L);
    ASSERT_TRUE(WaitForDeliveries(2));
    RunUntil([] { return false; }, 0.1);

    const std::vector<HotKeyRecorder::Delivery> expected = {
        {kEventHotKeyPressed, FourCC("thtk"), 4},
        {kEventHotKeyReleased, FourCC("thtk"), 4},
    };
    EXPECT_EQ(recorder_.deliveries, expected);
}

TEST_F(HotKeysX11Test, AltIsOptionAndSuperIsControlWithTheLocksOnOrOff)
{
    Register(kKeyF5, optionKey | controlKey, 32);
    struct Row {
        const char* name;
        std::vector<xcb_keysym_t> locks;
    };
    const Row rows[] = {
        {"no locks", {}},
        {"Num Lock", {XK_Num_Lock}},
        {"Caps Lock", {XK_Caps_Lock}},
        {"both", {XK_Num_Lock, XK_Caps_Lock}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        recorder_.deliveries.clear();
        for (xcb_keysym_t lock : row.locks)
            other_.Type({}, lock);
        other_.Type({XK_Alt_L, XK_Super_L}, XK_F5);
        for (xcb_keysym_t lock : row.locks)
            other_.Type({}, lock);
        EXPECT_TRUE(WaitForDeliveries(2));
        ASSERT_FALSE(recorder_.deliveries.empty());
        EXPECT_EQ(recorder_.deliveries[0], (HotKeyRecorder::Delivery{kEventHotKeyPressed, FourCC("thtk"), 32}));
    }
}

class KeyRecordingWidget : public QWidget {
public:
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
};

TEST_F(HotKeysX11Test, AHotKeyIsNotTypedIntoOurOwnFocusedWindow)
{
    KeyRecordingWidget window;
    window.resize(200, 100);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(RunUntil([&] { return window.isActiveWindow(); }, 5));

    Register(kKeyK, cmdKey, 3);
    other_.Type({XK_Control_L}, XK_k);
    ASSERT_TRUE(WaitForDeliveries(2));

    // The window does get the keys that are no hot key (Ctrl among them).
    other_.Type({}, XK_j);
    ASSERT_TRUE(RunUntil([&] { return !window.keys.empty() && window.keys.back() == Qt::Key_J; }, 5));
    EXPECT_EQ(window.keys, (std::vector<int>{Qt::Key_Control, Qt::Key_J}));
    EXPECT_EQ(recorder_.deliveries.size(), 2u);
}

TEST_F(HotKeysX11Test, UnregisteringLetsGoOfEveryGrab)
{
    EventHotKeyRef hotKey = Register(kKeyJ, cmdKey | optionKey, 1);
    registered_.clear();
    ASSERT_EQ(UnregisterEventHotKey(hotKey), noErr);

    const uint16_t mask = XCB_MOD_MASK_CONTROL | kAltMask;
    for (uint16_t locks :
         {uint16_t(0), uint16_t(XCB_MOD_MASK_LOCK), kNumLockMask, uint16_t(XCB_MOD_MASK_LOCK | kNumLockMask)}) {
        SCOPED_TRACE(locks);
        EXPECT_TRUE(other_.Grab(XK_j, mask | locks));
        other_.Ungrab(XK_j, mask | locks);
    }
}

TEST_F(HotKeysX11Test, ACombinationAnotherProgramHoldsIsRefusedWithOneWarning)
{
    // The other program holds only the plain combination: what we grabbed
    // of the lock variants before the refusal must be let go again.
    const uint16_t mask = XCB_MOD_MASK_CONTROL | kAltMask;
    ASSERT_TRUE(other_.Grab(XK_j, mask));

    Diagnostics::Capture capture;
    EventHotKeyRef untouched = reinterpret_cast<EventHotKeyRef>(0x5a5a);
    EventHotKeyRef hotKey = untouched;
    EXPECT_EQ(
        RegisterEventHotKey(kKeyJ, cmdKey | optionKey, {FourCC("thtk"), 1}, GetApplicationEventTarget(), 0, &hotKey),
        eventHotKeyExistsErr);
    EXPECT_EQ(hotKey, untouched);
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"Warning: another program holds the hot key Ctrl+Alt+J"});

    EXPECT_TRUE(other_.Grab(XK_j, mask | kNumLockMask));
    other_.Ungrab(XK_j, mask | kNumLockMask);

    // Once it lets go, the combination is ours.
    other_.Ungrab(XK_j, mask);
    Register(kKeyJ, cmdKey | optionKey, 2);
    other_.Type({XK_Control_L, XK_Alt_L}, XK_j);
    ASSERT_TRUE(WaitForDeliveries(1));
    EXPECT_EQ(recorder_.deliveries[0], (HotKeyRecorder::Delivery{kEventHotKeyPressed, FourCC("thtk"), 2}));
}

}  // namespace
