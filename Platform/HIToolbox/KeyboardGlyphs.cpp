#include <HIToolbox/KeyboardGlyphs.h>
#include <HIToolbox/Menus.h>

#include <array>
#include <string>

namespace {

struct Glyph {
    SInt16 code;
    const char* text;  // UTF-8
};

// The glyphs that stand for one symbol. The function keys are spelt out.
constexpr std::array kGlyphs = {
    Glyph{kMenuTabRightGlyph, "\u21E5"},
    Glyph{kMenuTabLeftGlyph, "\u21E4"},
    Glyph{kMenuEnterGlyph, "\u2324"},
    Glyph{kMenuShiftGlyph, "\u21E7"},
    Glyph{kMenuControlGlyph, "\u2303"},
    Glyph{kMenuOptionGlyph, "\u2325"},
    Glyph{kMenuSpaceGlyph, "\u2423"},
    Glyph{kMenuDeleteRightGlyph, "\u2326"},
    Glyph{kMenuReturnGlyph, "\u21A9"},
    Glyph{kMenuReturnR2LGlyph, "\u21AA"},
    Glyph{kMenuNonmarkingReturnGlyph, "\u21A9"},
    Glyph{kMenuPencilGlyph, "\u270E"},
    Glyph{kMenuDownwardArrowDashedGlyph, "\u21E3"},
    Glyph{kMenuCommandGlyph, "\u2318"},
    Glyph{kMenuCheckmarkGlyph, "\u2713"},
    Glyph{kMenuDiamondGlyph, "\u25C6"},
    Glyph{kMenuDeleteLeftGlyph, "\u232B"},
    Glyph{kMenuLeftArrowDashedGlyph, "\u21E0"},
    Glyph{kMenuUpArrowDashedGlyph, "\u21E1"},
    Glyph{kMenuRightArrowDashedGlyph, "\u21E2"},
    Glyph{kMenuEscapeGlyph, "\u238B"},
    Glyph{kMenuClearGlyph, "\u2327"},
    Glyph{kMenuLeftDoubleQuotesJapaneseGlyph, "\u300E"},
    Glyph{kMenuRightDoubleQuotesJapaneseGlyph, "\u300F"},
    Glyph{kMenuBlankGlyph, " "},
    Glyph{kMenuPageUpGlyph, "\u21DE"},
    Glyph{kMenuCapsLockGlyph, "\u21EA"},
    Glyph{kMenuLeftArrowGlyph, "\u2190"},
    Glyph{kMenuRightArrowGlyph, "\u2192"},
    Glyph{kMenuNorthwestArrowGlyph, "\u2196"},
    Glyph{kMenuHelpGlyph, "?\u20DD"},
    Glyph{kMenuUpArrowGlyph, "\u2191"},
    Glyph{kMenuSoutheastArrowGlyph, "\u2198"},
    Glyph{kMenuDownArrowGlyph, "\u2193"},
    Glyph{kMenuPageDownGlyph, "\u21DF"},
    Glyph{kMenuContextualMenuGlyph, "\u25A4"},
    Glyph{kMenuPowerGlyph, "\u233D"},
    Glyph{kMenuControlISOGlyph, "\u2388"},
    Glyph{kMenuEjectGlyph, "\u23CF"},
};

// The function keys' glyphs, F1 to F19: three runs of codes.
int FunctionKeyNumber(SInt16 glyph)
{
    if (glyph >= kMenuF1Glyph && glyph <= kMenuF12Glyph)
        return glyph - kMenuF1Glyph + 1;
    if (glyph >= kMenuF13Glyph && glyph <= kMenuF15Glyph)
        return glyph - kMenuF13Glyph + 13;
    if (glyph >= kMenuF16Glyph && glyph <= kMenuF19Glyph)
        return glyph - kMenuF16Glyph + 16;
    return 0;
}

}  // namespace

CFStringRef CopyStringForMenuGlyph(SInt16 glyph)
{
    if (const int number = FunctionKeyNumber(glyph))
        return CFStringCreateWithCString(nullptr, ("F" + std::to_string(number)).c_str(), kCFStringEncodingUTF8);
    for (const Glyph& known : kGlyphs) {
        if (known.code == glyph)
            return CFStringCreateWithCString(nullptr, known.text, kCFStringEncodingUTF8);
    }
    return nullptr;
}
