// Buttons in the program's own look. A control in a nib is marked with a
// style name (its ('view', 'styl') property, a zero-terminated text, or
// when that is missing its ('????', 'STYL') property); applying the styles
// to a view tree records each styled control's class in ('cstb', 'KIND')
// and installs a draw handler that paints push buttons, bevel buttons,
// pop-up buttons, segmented views, placards and user panes from the PNG
// sets of the bundle instead of the theme. Other kinds of control keep the
// theme's drawing.
//
//   style name                  class   artwork ("Images/Custom Buttons/…")
//   "BevelCorner", "SmoothBlue"   1     "Bevel Corner"
//   "RoundCorner", "FlatGrey"     2     "Round Corner"
//   "Silver", "DarkGrey"          3     "Silver"
//   "Toolbar"                     4     "Toolbar"
//   "TextOnly", "WindowHeader"    5     none: titles and arrows only (the
//                                       arrows of class 2)
//
// The artwork is 22 points high and is stretched to the control's height;
// its ends keep their width. A pressed control (highlighted, active and
// enabled) shows the "pressed_" pieces; an inactive or disabled one is
// drawn at alpha 0.4; the selected segment is the active artwork darkened
// (multiplied at alpha 0.6). Placards of class 3 tile the background of
// the tab-bar style in their ('cstb', 'TKND') property (1 standard,
// 2 glossy metal, 3 metallic, 4 toolbar).
//
// A segmented view lays its segments out as it draws them (each its
// content width plus 6 points, the first 2 wider, a separator between
// two, the last reaching the right edge), and clicks follow that layout:
// the handler answers hit tests of a styled segmented view too.
#pragma once

#include <Units/Utilities/ShortString.h>

#include <CarbonCore/CarbonEvents.h>
#include <CoreGraphics/CoreGraphics.h>
#include <HIToolbox/HIView.h>

// Button classes (the 'KIND' property; 0: not styled).
enum : SInt16 {
    kCustomButtonClassNone = 0,
    kCustomButtonClassBevelCorner = 1,
    kCustomButtonClassRoundCorner = 2,
    kCustomButtonClassSilver = 3,
    kCustomButtonClassToolbar = 4,
    kCustomButtonClassTextOnly = 5,
};
inline constexpr int kCustomButtonClassCount = 5;

// The images of a class, in the order of ButtonIcons.
enum CustomButtonImage : int {
    kCustomButtonSeparator = 0,  // "seperator.png"
    kCustomButtonPopupArrows,    // "popup arrows.png"
    kCustomButtonActiveContent,
    kCustomButtonActiveLeft,
    kCustomButtonActiveRight,
    kCustomButtonPressedContent,
    kCustomButtonPressedLeft,
    kCustomButtonPressedRight,
    kCustomButtonSelectedContent,
    kCustomButtonSelectedLeft,
    kCustomButtonSelectedRight,
    kCustomButtonImageCount
};

// Tab-bar styles (the 'TKND' property of a class-3 placard).
enum : SInt16 {
    kCustomTabStyleStandard = 1,
    kCustomTabStyleGlossyMetal = 2,
    kCustomTabStyleMetallic = 3,
    kCustomTabStyleToolbar = 4,
};
inline constexpr int kCustomTabStyleCount = 4;
// The images of a tab style, in the order of TabImages (the last four
// slots stay empty).
enum CustomTabImage : int {
    kCustomTabBackground = 0,
    kCustomTabLeftActive,
    kCustomTabLeftInactive,
    kCustomTabLeftPressed,
    kCustomTabRightActive,
    kCustomTabRightInactive,
    kCustomTabRightPressed,
    kCustomTabCenterActive,
    kCustomTabCenterInactive,
    kCustomTabCenterPressed,
    kCustomTabCloseBoxActive,
    kCustomTabCloseBoxInactive,
    kCustomTabCloseBoxPressed,
    kCustomTabCloseBoxActivePressed,
    kCustomTabCloseBoxInactivePressed,
    kCustomTabImageFiles,
    kCustomTabImageSlots = 19
};

// Control properties.
inline constexpr OSType kCustomButtonPropertyCreator = FourCC("cstb");
inline constexpr OSType kCustomButtonPropertyTagKind = FourCC("KIND");         // SInt16: the class
inline constexpr OSType kCustomButtonPropertyTagToolbarKind = FourCC("TKND");  // SInt16: the tab style
inline constexpr OSType kCustomButtonStyleCreator = FourCC("view");
inline constexpr OSType kCustomButtonStyleTag = FourCC("styl");
inline constexpr OSType kCustomButtonOldStyleCreator = FourCC("????");
inline constexpr OSType kCustomButtonOldStyleTag = FourCC("STYL");

// The artwork, loaded once and kept for the life of the program: by class
// (index class − 1), nil where a file is missing; class 5 has none.
extern CGImageRef ButtonIcons[kCustomButtonClassCount][kCustomButtonImageCount];
// By tab style (index style − 1).
extern CGImageRef TabImages[kCustomTabStyleCount][kCustomTabImageSlots];
// The draw handler every styled control shares.
extern EventHandlerUPP CustomButtonEventHandler;

// Loads the tab images and every class's images from the main bundle's
// resources, unless the active content of class 1 is loaded already.
// Status of the last load in Err (fnfErr when a file is missing).
void HICustomButtonLoadImages();
// Releases and reloads the eleven images of a class from
// "Images/Custom Buttons/<name>". A class outside 1…5 is refused (Err
// paramErr).
void LoadClassFolder(SInt16 buttonClass, const ShortString& name);
// The tab images of the four styles from "Images/Tab Images/<style>".
void LoadTabImages();

// The style named on the view: its ('view', 'styl') text, or its
// ('????', 'STYL') one; empty when it has neither. The text ends at its
// first zero byte and is cut at 255 bytes.
ShortString GetStyleProperty(HIViewRef view);
// The class of a style name; kCustomButtonClassNone for any other name.
SInt16 HICustomButtonClassOfStyle(const ShortString& style);
// Styles the view when `style` names a class. An empty style leaves it
// alone; an unknown one is refused with a "Warning: " line (once per view
// and name).
void ApplyStyleToView(HIViewRef view, const ShortString& style);
// ApplyStyleToView with the view's own style.
void HIViewSetStyle(HIViewRef view);
// Styles `root` and every view below it.
void HICustomButtonApplyStyles(HIViewRef root);
// Records the class on the view and installs the draw handler on its event
// target — once: styling a view again only records the class. A class
// outside 1…5 or a view that is not one is refused (Err paramErr).
void HICustomButtonCreate(SInt16 buttonClass, HIViewRef view);
// The class recorded on the view; kCustomButtonClassNone when it has none.
SInt16 HICustomButtonGetClass(HIViewRef view);

// The unit's initialisation: loads the artwork.
void InitializeHICustomButtonsUnit();
