// The standard kinds of controls: buttons, check boxes and radio buttons,
// pop-up buttons, static text, panes and placards, images and icons,
// group boxes, tabs, segmented views, sliders and scroll bars. Each is a
// view (HIView.h) of its kind, drawn in the theme's look (HITheme.h), with
// its parts, its click behaviour and the control data it understands.
//
// A creator makes the view in the window's content view (or in no window
// for a nil window), with `boundsRect` in the content's coordinates, and
// answers it through `outControl` (the window's content holds it; without
// a window the caller owns it). paramErr, with the output untouched, for a
// nil output.
//
// Clicks: a push button, bevel button, icon and image well answer the part
// clicked (static text, placards, group boxes, image views and radio groups
// take no clicks of their own); a check box toggles (off → on → off; mixed → on) and a
// radio button turns on when the click ends over it and the control was
// made to toggle by itself; a radio button in a radio group also makes the
// group's value its index (from 1) and turns its siblings off; tabs and
// segments take the value of the one clicked (from 1); a pop-up button
// shows its menu on the press and takes the item chosen as its value;
// sliders follow the mouse; scroll bars step by 1 on their arrows, by the
// view size on their page parts, and follow the mouse on the thumb.
#pragma once

#include <CoreServices/IconServices.h>
#include <HIToolbox/HITheme.h>
#include <HIToolbox/HIView.h>

typedef struct OpaqueMenuRef* MenuRef;
typedef SInt16 ControlContentType;
typedef UInt16 ControlSize;
typedef UInt16 ControlBevelThickness;
typedef UInt16 ControlBevelButtonBehavior;
typedef UInt16 ControlBevelButtonMenuBehavior;
typedef UInt16 ControlBevelButtonMenuPlacement;
typedef UInt16 ControlTabSize;
typedef UInt16 ControlTabDirection;
typedef UInt16 ControlSliderOrientation;
typedef UInt32 HISegmentBehavior;
typedef OptionBits HIViewImageContentType;

// Called while a click is tracked, with the part it is on (live sliders
// and scroll bars: after each change of the value).
typedef void (*ControlActionProcPtr)(ControlRef theControl, ControlPartCode partCode);
typedef ControlActionProcPtr ControlActionUPP;
inline ControlActionUPP NewControlActionUPP(ControlActionProcPtr proc)
{
    return proc;
}
inline void DisposeControlActionUPP(ControlActionUPP) {}

// What a button, icon, image well or segment shows.
enum : ControlContentType {
    kControlContentTextOnly = 0,
    kControlNoContent = 0,
    kControlContentIconRef = 132,
    kControlContentCGImageRef = 134,
};
struct ControlButtonContentInfo {
    ControlContentType contentType;
    union {
        SInt16 resID;
        IconRef iconRef;
        CGImageRef imageRef;
    } u;
};
typedef ControlButtonContentInfo* ControlButtonContentInfoPtr;
typedef ControlButtonContentInfo HIViewImageContentInfo;

// Control sizes (data tag 'size', 2 bytes).
enum : ControlSize {
    kControlSizeNormal = 0,
    kControlSizeSmall = 1,
    kControlSizeLarge = 2,
    kControlSizeMini = 3,
    kControlSizeAuto = 0xFFFF,
};

// Values.
enum : SInt32 {
    kControlCheckBoxUncheckedValue = 0,
    kControlCheckBoxCheckedValue = 1,
    kControlCheckBoxMixedValue = 2,
    kControlRadioButtonUncheckedValue = 0,
    kControlRadioButtonCheckedValue = 1,
    kControlRadioButtonMixedValue = 2,
};

// A static text's (and other text's) style: which fields apply is told by
// `flags`.
struct ControlFontStyleRec {
    SInt16 flags;
    SInt16 font;  // a theme font id with kControlUseThemeFontIDMask
    SInt16 size;
    SInt16 style;
    SInt16 mode;
    SInt16 just;  // teFlushLeft, teCenter, teFlushRight, teFlushDefault
    RGBColor foreColor;
    RGBColor backColor;
};
enum : SInt16 {
    kControlUseFontMask = 0x0001,
    kControlUseFaceMask = 0x0002,
    kControlUseSizeMask = 0x0004,
    kControlUseForeColorMask = 0x0008,
    kControlUseBackColorMask = 0x0010,
    kControlUseModeMask = 0x0020,
    kControlUseJustMask = 0x0040,
    kControlUseThemeFontIDMask = 0x0080,
};

// The control data tags the kinds understand (errDataNotSupported for
// any other).
enum : ResType {
    kControlSizeTag = FourCC("size"),                  // every kind: ControlSize
    kControlFontStyleTag = FourCC("font"),             // text kinds: ControlFontStyleRec
    kControlPushButtonDefaultTag = FourCC("dflt"),     // Boolean
    kControlPushButtonCancelTag = FourCC("cncl"),      // Boolean
    kControlBevelButtonContentTag = FourCC("cont"),    // ControlButtonContentInfo
    kControlBevelButtonMenuRefTag = FourCC("mhnd"),    // MenuRef
    kControlBevelButtonMenuValueTag = FourCC("mval"),  // SInt16: the last item chosen
    kControlPopupButtonMenuRefTag = FourCC("mhan"),    // MenuRef
    kControlPopupButtonMenuHandleTag = FourCC("mhan"),
    kControlStaticTextTextTag = FourCC("text"),         // UTF-8 bytes
    kControlStaticTextCFStringTag = FourCC("cfst"),     // CFStringRef (get: a new reference)
    kControlStaticTextStyleTag = FourCC("font"),        // ControlFontStyleRec
    kControlStaticTextTruncTag = FourCC("trun"),        // SInt16: truncEnd, truncMiddle, or -1 to wrap
    kControlStaticTextIsMultilineTag = FourCC("stim"),  // Boolean
    kControlIconContentTag = FourCC("cont"),            // ControlButtonContentInfo
    kControlImageWellContentTag = FourCC("cont"),       // ControlButtonContentInfo
    kControlTabInfoTag = FourCC("tabi"),                // ControlTabInfoRecV1, part = the tab
    kControlTabEnabledFlagTag = FourCC("enab"),         // Boolean, part = the tab
    kControlScrollBarShowsArrowsTag = FourCC("arro"),   // Boolean
    kControlSliderLiveFeedbackTag = FourCC("live"),     // Boolean (also scroll bars)
};
enum : SInt16 {
    truncEnd = 0,
    truncMiddle = 0x4000,
};

// Bevel buttons.
enum : ControlBevelThickness {
    kControlBevelButtonSmallBevel = 0,
    kControlBevelButtonNormalBevel = 1,
    kControlBevelButtonLargeBevel = 2,
};
enum : ControlBevelButtonBehavior {
    kControlBehaviorPushbutton = 0,
    kControlBehaviorToggles = 0x0100,
    kControlBehaviorSticky = 0x0200,
};
enum : ControlBevelButtonMenuBehavior {
    kControlBehaviorMultiValueMenu = 0x4000,
    kControlBehaviorOffsetContents = 0x8000,
};
enum : ControlBevelButtonMenuPlacement {
    kControlBevelButtonMenuOnBottom = 0,
    kControlBevelButtonMenuOnRight = 1 << 2,
};

// Tabs.
enum : ControlTabSize {
    kControlTabSizeLarge = 0,
    kControlTabSizeSmall = 1,
    kControlTabSizeMini = 3,
};
enum : ControlTabDirection {
    kControlTabDirectionNorth = 0,
    kControlTabDirectionSouth = 1,
};
struct ControlTabEntry {
    ControlButtonContentInfo* icon;  // may be nil
    CFStringRef name;
    Boolean enabled;
};
struct ControlTabInfoRecV1 {
    SInt16 version;  // 1
    SInt16 iconSuiteID;
    CFStringRef name;  // set: copied; get: a new reference
};

// Sliders.
enum : ControlSliderOrientation {
    kControlSliderPointsDownOrRight = 0,
    kControlSliderPointsUpOrLeft = 1,
    kControlSliderDoesNotPoint = 2,
};

// Segmented views.
enum : HISegmentBehavior {
    kHISegmentBehaviorMomentary = 0,
    kHISegmentBehaviorRadio = 1,
    kHISegmentBehaviorToggles = 2,
    kHISegmentBehaviorSticky = 3,
};

// Every kind of this file is registered with the view tree (once; later
// calls do nothing). The creators call it; a nib loader calls it before
// it makes views by kind.
void HIToolboxRegisterControlKinds();

// ---- creators ----

OSStatus CreatePushButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, ControlRef* outControl);
// `menuID` is not used: a menu is given through kControlBevelButtonMenuRefTag.
OSStatus CreateBevelButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title,
                                  ControlBevelThickness thickness, ControlBevelButtonBehavior behavior,
                                  ControlButtonContentInfoPtr info, SInt16 menuID,
                                  ControlBevelButtonMenuBehavior menuBehavior,
                                  ControlBevelButtonMenuPlacement menuPlacement, ControlRef* outControl);
// Value 0, 1 or 2 (mixed); maximum 2.
OSStatus CreateCheckBoxControl(WindowRef window, const Rect* boundsRect, CFStringRef title, SInt32 initialValue,
                               Boolean autoToggle, ControlRef* outControl);
OSStatus CreateRadioButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, SInt32 initialValue,
                                  Boolean autoToggle, ControlRef* outControl);
// Radio buttons added to it are its items, from 1; its value is the one on
// (0: none), and setting it turns that one on and the others off.
OSStatus CreateRadioGroupControl(WindowRef window, const Rect* boundsRect, ControlRef* outControl);
// The menu comes through kControlPopupButtonMenuRefTag, which also makes
// the maximum the menu's item count; `menuID`, `variableWidth` and the
// title's width, justification and style are not used (the title is not
// shown: the chosen item is).
OSStatus CreatePopupButtonControl(WindowRef window, const Rect* boundsRect, CFStringRef title, SInt16 menuID,
                                  Boolean variableWidth, SInt16 titleWidth, SInt16 titleJustification, Style titleStyle,
                                  ControlRef* outControl);
// `style` may be nil (the small system font, left aligned).
OSStatus CreateStaticTextControl(WindowRef window, const Rect* boundsRect, CFStringRef text,
                                 const ControlFontStyleRec* style, ControlRef* outControl);
OSStatus CreatePlacardControl(WindowRef window, const Rect* boundsRect, ControlRef* outControl);
OSStatus CreateIconControl(WindowRef inWindow, const Rect* inBounds, const ControlButtonContentInfo* inIconContent,
                           Boolean inDontTrack, ControlRef* outControl);
OSStatus CreateImageWellControl(WindowRef window, const Rect* boundsRect, const ControlButtonContentInfo* info,
                                ControlRef* outControl);
OSStatus CreateGroupBoxControl(WindowRef window, const Rect* boundsRect, CFStringRef title, Boolean primary,
                               ControlRef* outControl);
// The maximum is the number of tabs; the value the selected one (from 1).
OSStatus CreateTabsControl(WindowRef window, const Rect* boundsRect, ControlTabSize size, ControlTabDirection direction,
                           UInt16 numTabs, const ControlTabEntry* tabArray, ControlRef* outControl);
// Horizontal when wider than tall.
OSStatus CreateSliderControl(WindowRef window, const Rect* boundsRect, SInt32 value, SInt32 minimum, SInt32 maximum,
                             ControlSliderOrientation orientation, UInt16 numTickMarks, Boolean liveTracking,
                             ControlActionUPP liveTrackingProc, ControlRef* outControl);
OSStatus CreateScrollBarControl(WindowRef window, const Rect* boundsRect, SInt32 value, SInt32 minimum, SInt32 maximum,
                                SInt32 viewSize, Boolean liveTracking, ControlActionUPP liveTrackingProc,
                                ControlRef* outControl);

// The content of a bevel button (kControlBevelButtonContentTag).
OSErr GetBevelButtonContentInfo(ControlRef inButton, ControlButtonContentInfoPtr outContent);
OSErr SetBevelButtonContentInfo(ControlRef inButton, ControlButtonContentInfoPtr inContent);

// ---- image views ----

// A view (in no window, frame empty) showing `inImage` (retained; may be nil).
OSStatus HIImageViewCreate(CGImageRef inImage, HIViewRef* outControl);
OSStatus HIImageViewSetImage(HIViewRef inView, CGImageRef inImage);
// A new reference; nil without an image.
CGImageRef HIImageViewCopyImage(HIViewRef inView);
// Scaled to fill the bounds (the default), or at its own size centred.
OSStatus HIImageViewSetScaleToFit(HIViewRef inView, Boolean inScaleToFit);
Boolean HIImageViewGetScaleToFit(HIViewRef inView);
OSStatus HIImageViewSetOpaque(HIViewRef inView, Boolean inOpaque);
Boolean HIImageViewIsOpaque(HIViewRef inView);
OSStatus HIImageViewSetAlpha(HIViewRef inView, CGFloat inAlpha);
CGFloat HIImageViewGetAlpha(HIViewRef inView);

// ---- segmented views ----

// A view (in no window) with no segments; its value is the selected
// segment (from 1, 0: none).
OSStatus HISegmentedViewCreate(const HIRect* inBounds, HIViewRef* outRef);
// Segments are indexed from 1; an index out of range is paramErr (outputs
// untouched), as is a view of another kind.
OSStatus HISegmentedViewSetSegmentCount(HIViewRef inSegmentedView, UInt32 inSegmentCount);
UInt32 HISegmentedViewGetSegmentCount(HIViewRef inSegmentedView);
OSStatus HISegmentedViewSetSegmentBehavior(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased,
                                           HISegmentBehavior inBehavior);
HISegmentBehavior HISegmentedViewGetSegmentBehavior(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased);
OSStatus HISegmentedViewSetSegmentLabel(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased, CFStringRef inLabel);
OSStatus HISegmentedViewCopySegmentLabel(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased,
                                         CFStringRef* outLabel);
// A content width of 0 with `inAutoCalculateWidth` fits the label or image.
OSStatus HISegmentedViewSetSegmentContentWidth(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased,
                                               Boolean inAutoCalculateWidth, CGFloat inWidth);
CGFloat HISegmentedViewGetSegmentContentWidth(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased,
                                              Boolean* outAutoCalculated);
OSStatus HISegmentedViewSetSegmentImage(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased,
                                        const HIViewImageContentInfo* inImage);
HIViewImageContentType HISegmentedViewGetSegmentImageContentType(HIViewRef inSegmentedView,
                                                                 UInt32 inSegmentIndexOneBased);
// A click on the segment sends its command (from the view) after the hit,
// before the view's own.
OSStatus HISegmentedViewSetSegmentCommand(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased, UInt32 inCommand);
UInt32 HISegmentedViewGetSegmentCommand(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased);
// A segment's own value: 1 while it is selected (radio) or toggled on.
OSStatus HISegmentedViewSetSegmentValue(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased, SInt32 inValue);
SInt32 HISegmentedViewGetSegmentValue(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased);
OSStatus HISegmentedViewSetSegmentEnabled(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased, Boolean inEnabled);
Boolean HISegmentedViewIsSegmentEnabled(HIViewRef inSegmentedView, UInt32 inSegmentIndexOneBased);
