// Interface Builder Services: windows, menus and the menu bar described in
// nib files of the program's bundle.
//
// A nib is one XML property-list file, `<name>.nib`, found in the bundle's
// resource folder like any resource (so a <lang>.lproj folder may hold a
// translated one). Its root is a dictionary:
//
//   Format   integer 1 (required)
//   Objects  dictionary: object name -> object (required)
//
// Every object has a "Type": "Window", "Menu" or "MenuBar".
//
// Window
//   Class       "document" (default), "plain", "altPlain", "alert", "movableAlert",
//               "modal", "movableModal", "floating", "utility", "help", "sheet",
//               "sheetAlert", "toolbar", "overlay", "drawer"
//   Attributes  array of: "closeBox", "horizontalZoom", "verticalZoom", "fullZoom",
//               "collapseBox", "resizable", "noTitleBar", "doesNotCycle",
//               "noActivates", "compositing", "noShadow", "hideOnSuspend",
//               "standardHandler", "ignoreClicks", "standardDocument",
//               "standardFloating"
//   Bounds      the content in global coordinates: [x, y, width, height] (required)
//   Title       string
//   Properties  properties (below), set with SetWindowProperty
//   Views       array of views: the content view's subviews, in order
//
// View — either a standard kind or a registered class:
//   Kind        the four characters of a kind of HIView.h: "push", "bevl",
//               "cbox", "rdio", "rgrp", "popb", "stxt", "upan", "plac",
//               "imag", "icon", "well", "grpb", "sgrp", "tabs", "sgmt",
//               "sldr", "sbar", "eutx", "srfd", "hitx", "clck", "coca", or
//               one a later family registered (IBRegisterNibViewKind)
//   Class       the class id of a subclass registered with
//               HIObjectRegisterSubclass (made by HIObjectCreate, its
//               initialise event carrying kEventParamBounds = the frame)
//   Frame       [x, y, width, height] in the superview's coordinates (required)
//   Signature, ID   the control id: four characters and an integer
//   Command     the command id: four characters ("save", "not!") or an integer
//   Title       string (SetControlTitleWithCFString)
//   Text        string (HIViewSetText; a text view's whole text)
//   Minimum, Maximum, Value, ViewSize   integers; the value is set last,
//               after the subviews (a radio group's value picks one of them)
//   Visible, Enabled   booleans (true when absent)
//   Properties  properties (below), set with SetControlProperty
//   ControlData array of control data (below), set with SetControlData
//   Subviews    array of views, in order (indexed from 1, as nib order)
//   and the keys of its kind:
//     push        Default, Cancel (booleans: the 'dflt' and 'cncl' data)
//     bevl        Image, Menu, Behavior ("pushButton", "toggles", "sticky")
//     cbox, rdio  AutoToggle (boolean, true when absent)
//     popb        Menu (its items are the choices; the maximum is their count)
//     stxt, eutx  Font (a font style, below); eutx also Password (boolean)
//     imag        Image, ScaleToFit (boolean)
//     icon        Image, DontTrack (boolean)
//     well        Image
//     tabs        Tabs (array of tab titles; the value picks one, from 1)
//     sgmt        Segments: array of dictionaries with Label, Command, Width
//                 (0: fit), Enabled, Behavior ("momentary", "radio",
//                 "toggles", "sticky"), Image, Value
//     sldr        Orientation ("downOrRight", "upOrLeft", "none"), TickMarks,
//                 LiveTracking
//     sbar        LiveTracking
//     srfd        Menu, DescriptiveText, SearchAttributes (array of "cancel",
//                 "searchIcon")
//     hitx        ReadOnly (boolean)
//     clck        ClockType ("hourMinute", "hourMinuteSecond", "monthDayYear",
//                 "monthYear"), DisplayOnly, Live (booleans)
//   An Image is the name of an image resource of the nib's bundle ("dot.png");
//   a Menu is the name of a "Menu" object of the same nib, or a menu
//   dictionary in place.
//
// Properties: an array of dictionaries, each with Creator and Tag (four
// characters) and one value:
//   String   stored as its UTF-8 bytes and a terminating zero byte
//   Data     the bytes as they are
//   Integer  a 32-bit signed integer, in the machine's byte order
//   Boolean  one byte, 0 or 1
//
// Control data: an array of dictionaries, each with Tag (four characters),
// Part (integer, 0 when absent) and one value:
//   Boolean (1 byte), Int16, Int32, Real (a 64-bit float: 'abst' times),
//   String (a CFStringRef: 'cfst'), Text (UTF-8 bytes), Data (bytes),
//   Selection ([start, end]: ControlEditTextSelectionRec),
//   FontStyle (a font style: ControlFontStyleRec), Image (a
//   ControlButtonContentInfo holding the image: 'cont')
//
// Font style: a dictionary with ThemeFont (integer), Size (integer), Style
// (array of "bold", "italic", "underline"), Justification ("left",
// "center", "right", "default"), Color and BackColor ([red, green, blue],
// each 0…1).
//
// Menu
//   Title       string
//   ID          integer (the MenuID)
//   Attributes  array of: "excludesMarkColumn", "autoDisable", "usePencilGlyph",
//               "hidden", "condenseSeparators", "doNotCacheImage",
//               "doNotUseUserCommandKeys"
//   Properties  properties of the menu (item 0)
//   Items       array of items:
//     Text        string
//     Command     four characters or an integer
//     Attributes  array of: "disabled", "iconDisabled", "submenuParentChoosable",
//                 "dynamic", "notPreviousAlternate", "hidden", "separator",
//                 "sectionHeader", "ignoreMeta", "autoRepeat",
//                 "includeInCmdKeyMatching", "autoDisable", "updateSingleItem",
//                 "customDraw"
//     Key         the key equivalent: one character ("Q", ",")
//     VirtualKey  the key equivalent as a virtual key code (instead of Key)
//     Modifiers   array of "shift", "option", "control", "noCommand"
//     KeyGlyph    integer
//     Checked     boolean (the check mark)
//     Indent      integer
//     Submenu     a menu dictionary
//     Properties  properties of the item
//
// MenuBar
//   Menus       array of menu dictionaries: the menus of the bar, in order
//
// The checks (IBLintNib…) refuse any key not listed for its place, any
// value of the wrong type or out of range, unknown kinds, names and
// objects, naming the place: nib, object, view path (indices from 1) and
// key. Creating an object runs them on that object first and refuses one
// that does not pass, writing each problem as a "Warning: " line.
#pragma once

#include <CoreFoundation/CFBundle.h>
#include <CoreGraphics/CGImage.h>
#include <HIToolbox/HIView.h>
#include <HIToolbox/Menus.h>

#include <string>
#include <string_view>
#include <vector>

typedef struct OpaqueIBNibRef* IBNibRef;

// Status codes of Interface Builder Services.
inline constexpr OSStatus kIBCarbonRuntimeCantFindNibFile = -10960;
inline constexpr OSStatus kIBCarbonRuntimeObjectNotOfRequestedType = -10961;
inline constexpr OSStatus kIBCarbonRuntimeCantFindObject = -10962;

// Opens `<inNibName>.nib` of the main bundle. kIBCarbonRuntimeCantFindNibFile
// (the output untouched) when there is none, when it cannot be read (not a
// regular file, larger than a nib can be: a warning line says why), or
// when it is not a nib (not a property list, no Format 1 and Objects
// dictionary: a warning line too). paramErr for a nil output or a name
// that is not a string.
OSStatus CreateNibReference(CFStringRef inNibName, IBNibRef* outNibRef);
// The same in another bundle.
OSStatus CreateNibReferenceWithCFBundle(CFBundleRef inBundle, CFStringRef inNibName, IBNibRef* outNibRef);
// Nil and references already disposed of are ignored.
void DisposeNibReference(IBNibRef inNibRef);

// A new window (hidden, the caller's) with its views, as the nib's object
// `inName` describes it. kIBCarbonRuntimeCantFindObject when the nib has no
// object of that name, kIBCarbonRuntimeObjectNotOfRequestedType when it is
// not a window; paramErr for a nil or disposed reference or output, or an
// object that does not pass the checks (a warning line per problem); the
// status of the toolbox when a part cannot be made (a class not
// registered: paramErr). On any failure nothing is left behind and the
// output is untouched.
OSStatus CreateWindowFromNib(IBNibRef inNibRef, CFStringRef inName, WindowRef* outWindow);
// A new menu (count 1, the caller's) with its items and submenus; as above,
// for an object of type "Menu".
OSStatus CreateMenuFromNib(IBNibRef inNibRef, CFStringRef inName, MenuRef* outMenuRef);
// Makes the nib's "MenuBar" object `inName` the menu bar: a new root menu
// whose items hold its menus (SetRootMenu). As above, for type "MenuBar".
OSStatus SetMenuBarFromNib(IBNibRef inNibRef, CFStringRef inName);

// ---- our additions ----

// The checks on a whole nib: one line per problem, each naming the place
// ("Sample.nib, window \"Main\", view 2.1 (push): unknown key \"Titel\"");
// empty when the nib passes. `nibName` names the nib in the lines.
std::vector<std::string> IBLintNibData(std::string_view nibName, const void* bytes, size_t length);
// The same for a file (read as CreateNibReference reads one).
std::vector<std::string> IBLintNibFile(const std::string& path);

// The names of the nib's objects of a type ("Window", "Menu", "MenuBar"),
// sorted; empty for a nil or disposed reference.
std::vector<std::string> IBCopyNibObjectNames(IBNibRef inNibRef, std::string_view type);

// What the window shows now: its drawn content with the hosted widgets
// (text fields, clocks) on it, drawn first where anything is invalid. For
// the render tool and reviews. Nil for a window that is not live.
CGImageRef IBCopyWindowImage(WindowRef window);

// A kind of view that a later family (the data browser) lets nibs make: its
// own keys besides the common ones, and its maker, which reads them from
// the view's dictionary and answers a new view (count 1) in no window,
// or an error (its own keys are checked only for their names).
struct IBNibViewKind {
    OSType kind;
    std::vector<std::string> keys;
    OSStatus (*make)(CFDictionaryRef description, const HIRect& frame, HIViewRef* outView);
};
// Replaces a registration of the same kind; the standard kinds cannot be replaced.
void IBRegisterNibViewKind(const IBNibViewKind& kind);
