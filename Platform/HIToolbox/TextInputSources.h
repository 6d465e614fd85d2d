// Text input sources: the keyboard layout in use, and what its keys type
// (its layout data for UCKeyTranslate, CarbonCore/UnicodeUtilities.h).
//
// On an X server the current layout is the server's keyboard, read through
// xkbcommon, in the group (layout) active at the time of the call. Without
// one (no display, the offscreen platform, Wayland) it is the built-in US
// layout. Key codes are found the way key events and hot keys find them
// (HIToolbox/KeyCodes.h): by what the key types, so the key that types "z"
// is code 6 wherever it sits; a key whose character the layout lacks is
// taken at its place on a US keyboard. The special keys (Return, Tab, the
// arrows, the function keys, the keypad) type the toolbox's codes on every
// layout, and option is the X server's third level (AltGr).
//
// The built-in US layout types what the keys of a US keyboard type, with
// the option layer of the Mac's US layout; option-`, -e, -i, -n and -u are
// dead keys (grave, acute, circumflex, tilde, diaeresis).
#pragma once

#include <CarbonCore/UnicodeUtilities.h>
#include <CoreFoundation/CoreFoundation.h>

typedef const struct TISInputSourceObject* TISInputSourceRef;

CFTypeID TISInputSourceGetTypeID();

// The keyboard layout in use; owned by the caller. Never nil: the built-in
// US layout when no other is known.
TISInputSourceRef TISCopyCurrentKeyboardLayoutInputSource();
// The same source: every source here is a keyboard layout.
TISInputSourceRef TISCopyCurrentKeyboardInputSource();

// Property keys.
extern const CFStringRef kTISPropertyUnicodeKeyLayoutData;  // CFData: the bytes of a UCKeyboardLayout
extern const CFStringRef kTISPropertyInputSourceID;         // CFString: "xkb.us", "xkb.de(nodeadkeys)", "builtin.US"
extern const CFStringRef kTISPropertyLocalizedName;         // CFString: "English (US)"

// The property's value, borrowed for the life of the source; nil for a nil
// source, a value of another type, or a key the source does not have.
void* TISGetInputSourceProperty(TISInputSourceRef inputSource, CFStringRef propertyKey);

// Our own additions.

// The built-in US layout as a source; owned by the caller.
TISInputSourceRef TISCopyUSKeyboardLayoutInputSource();
// A source for an X keyboard layout named as xkb names it ("de",
// "fr" with variant "oss"; a nil or empty variant for the plain one), made
// without a display from the system's xkb data; owned by the caller. Nil
// when xkb does not know the layout.
TISInputSourceRef TISCreateXKBKeyboardLayoutInputSource(const char* layout, const char* variant);
