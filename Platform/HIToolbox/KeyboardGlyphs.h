// The keyboard glyphs: the symbols menus and key fields show for modifier
// and special keys (⌘ ⌥ ⇧ ⌃, arrows, Return, Delete, Escape, F1 …), by
// their menu glyph codes (HIToolbox/Menus.h), the characters of the
// keyboard-glyphs text encoding.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

// Glyphs of the function keys past F15 (Menus.h names those up to F15).
enum : SInt16 {
    kMenuF16Glyph = 0x8F,
    kMenuF17Glyph = 0x90,
    kMenuF18Glyph = 0x91,
    kMenuF19Glyph = 0x92,
};

// Our own addition: the text a glyph shows, as Unicode ("⌘", "↩", "F12");
// a new string owned by the caller. Nil for a code without a glyph.
CFStringRef CopyStringForMenuGlyph(SInt16 glyph);
