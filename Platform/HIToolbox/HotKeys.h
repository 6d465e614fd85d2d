// Global hot keys: key combinations that reach the program whichever
// program has the keyboard focus.
//
// A hot key is a Mac virtual key code (HIToolbox/KeyCodes.h) and the
// toolbox's modifier bits (command, shift, option, control; the right-hand
// bits count as their left-hand twins, other bits are ignored). When it is
// pressed, the target gets a kEventClassKeyboard kEventHotKeyPressed event,
// and kEventHotKeyReleased when it is let go, each with the hot key's
// EventHotKeyID as kEventParamDirectObject (typeEventHotKeyID), sent
// synchronously. A key held down is pressed once: auto-repeat sends
// nothing more.
//
// On an X server (Qt's platform "xcb") each hot key is a passive grab of
// its key on the root window: Ctrl is command, Alt option, Super control,
// Shift shift, and the grab holds with Caps Lock and Num Lock on or off.
// A hot key owns its keys while it is registered, so no window of ours sees
// them either. Elsewhere (the offscreen platform, no display, Wayland) hot
// keys are registered and reach their targets only through the injector
// below; on a display other than the offscreen one a warning says so once.
// Grabs are made at registration, with the application object that exists
// then: register hot keys after making it.
//
// All of it runs on the main thread.
#pragma once

#include <CarbonCore/CarbonEvents.h>

enum : OptionBits {
    kEventHotKeyNoOptions = 0,
    // Another registration of the same combination is refused (ours always
    // are, so this changes nothing here).
    kEventHotKeyExclusive = 1 << 0,
};

// Registers the combination for `inTarget`; `*outRef` gets the hot key.
// paramErr for a nil outRef or a target that is not live;
// eventHotKeyInvalidErr for a key code without a key (or whose key the X
// server's keyboard lacks); eventHotKeyExistsErr when the combination is
// registered already, by us or (on X) by another program, which also
// writes a warning. On failure `*outRef` is left as it was.
OSStatus RegisterEventHotKey(UInt32 inHotKeyCode, UInt32 inHotKeyModifiers, EventHotKeyID inHotKeyID,
                             EventTargetRef inTarget, OptionBits inOptions, EventHotKeyRef* outRef);
// Releases the combination. paramErr for nil; eventHotKeyInvalidErr for a
// hot key that is not registered (unregistered already: the reference is
// never reused, so a stale one is always refused).
OSStatus UnregisterEventHotKey(EventHotKeyRef inHotKey);

// Our own additions.

// Whether hot keys are X key grabs in this process (a QGuiApplication on
// the "xcb" platform); false: only the injector presses them.
Boolean HotKeysUseKeyGrabs();

// Press and release a combination as if typed, through the same delivery as
// the keyboard's: answer the target's status, or eventHotKeyInvalidErr when
// no hot key has the combination. For tests and scripted drivers.
OSStatus HotKeyInjectPress(UInt32 inHotKeyCode, UInt32 inHotKeyModifiers);
OSStatus HotKeyInjectRelease(UInt32 inHotKeyCode, UInt32 inHotKeyModifiers);
