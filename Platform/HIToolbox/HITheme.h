// The theme: the fonts, colours, text boxes, focus rings, arrows, icons and
// cursors that controls are drawn with, for code that draws its own
// controls in the same look.
//
// Text is drawn in the context's fill colour (and alpha), in the font the
// theme gives a font id: one fixed family (DejaVu Sans where installed),
// so that what is drawn is the same on every machine. Sizes are points,
// one point per pixel of a view context. Everything is drawn in the
// context's current transform and clip; an orientation of
// kHIThemeOrientationNormal means a view's space (top-left origin, y
// down), kHIThemeOrientationInverted a bitmap's (y up).
#pragma once

#include <CoreServices/IconServices.h>
#include <HIToolbox/MacWindows.h>

typedef UInt16 ThemeFontID;
typedef UInt32 ThemeDrawState;
typedef SInt16 ThemeBrush;
typedef UInt32 ThemeCursor;
typedef UInt32 HIThemeOrientation;
typedef UInt32 HIThemeTextHorizontalFlush;
typedef UInt32 HIThemeTextVerticalFlush;
typedef OptionBits HIThemeTextBoxOptions;
typedef UInt32 HIThemeTextTruncation;
typedef UInt16 ThemeArrowOrientation;
typedef UInt16 ThemePopupArrowSize;
typedef SInt16 ScriptCode;
typedef unsigned char Style;
typedef SInt16 IconAlignmentType;
typedef SInt16 IconTransformType;
typedef UInt32 PlotIconRefFlags;

// A QuickDraw colour: 16-bit components.
struct RGBColor {
    UInt16 red;
    UInt16 green;
    UInt16 blue;
};

// Font ids.
enum : ThemeFontID {
    kThemeSystemFont = 0,                  // 13
    kThemeSmallSystemFont = 1,             // 11
    kThemeSmallEmphasizedSystemFont = 2,   // 11 bold
    kThemeViewsFont = 3,                   // 12
    kThemeEmphasizedSystemFont = 4,        // 13 bold
    kThemeApplicationFont = 5,             // 12
    kThemeLabelFont = 6,                   // 10
    kThemeSystemFontDetail = 7,            // 10
    kThemeSystemFontDetailEmphasized = 8,  // 10 bold
    kThemeMenuTitleFont = 100,             // 14
    kThemeMenuItemFont = 101,              // 14
    kThemeMenuItemMarkFont = 102,          // 14
    kThemeMenuItemCmdKeyFont = 103,        // 14
    kThemeWindowTitleFont = 104,           // 13 bold
    kThemePushButtonFont = 105,            // 13
    kThemeUtilityWindowTitleFont = 106,    // 11 bold
    kThemeAlertHeaderFont = 107,           // 13 bold
    kThemeToolbarFont = 108,               // 11
    kThemeMiniSystemFont = 109,            // 9
    kThemeCurrentPortFont = 200,           // the views font here
};

// QuickDraw styles (GetThemeFont).
enum : Style {
    normal = 0,
    bold = 1,
    italic = 2,
    underline = 4,
};
enum : ScriptCode {
    smSystemScript = -1,
    smRoman = 0,
};

enum : ThemeDrawState {
    kThemeStateInactive = 0,
    kThemeStateActive = 1,
    kThemeStatePressed = 2,
    kThemeStateRollover = 6,
    kThemeStateUnavailable = 7,
    kThemeStateUnavailableInactive = 8,
};

// Brushes: the negative ones are plain colours, the positive ones the
// colours of parts of the interface.
enum : ThemeBrush {
    kThemeBrushAlternatePrimaryHighlightColor = -5,
    kThemeBrushSecondaryHighlightColor = -4,
    kThemeBrushPrimaryHighlightColor = -3,
    kThemeBrushWhite = -2,
    kThemeBrushBlack = -1,
    kThemeBrushDialogBackgroundActive = 1,
    kThemeBrushDialogBackgroundInactive = 2,
    kThemeBrushAlertBackgroundActive = 3,
    kThemeBrushAlertBackgroundInactive = 4,
    kThemeBrushModelessDialogBackgroundActive = 5,
    kThemeBrushModelessDialogBackgroundInactive = 6,
    kThemeBrushUtilityWindowBackgroundActive = 7,
    kThemeBrushUtilityWindowBackgroundInactive = 8,
    kThemeBrushListViewSortColumnBackground = 9,
    kThemeBrushListViewBackground = 10,
    kThemeBrushIconLabelBackground = 11,
    kThemeBrushListViewSeparator = 12,
    kThemeBrushChasingArrows = 13,
    kThemeBrushDragHilite = 14,
    kThemeBrushDocumentWindowBackground = 15,
    kThemeBrushFinderWindowBackground = 16,
    kThemeBrushFocusHighlight = 19,
    kThemeBrushPopupArrowActive = 20,
    kThemeBrushPopupArrowPressed = 21,
    kThemeBrushPopupArrowInactive = 22,
    kThemeBrushIconLabelBackgroundSelected = 24,
    kThemeBrushStaticAreaFill = 25,
    kThemeBrushActiveAreaFill = 26,
    kThemeBrushButtonFrameActive = 27,
    kThemeBrushButtonFrameInactive = 28,
    kThemeBrushButtonFaceActive = 29,
    kThemeBrushButtonFaceInactive = 30,
    kThemeBrushButtonFacePressed = 31,
    // The background of every other row of a list.
    kThemeBrushAlternatingRowBackground = 57,
};

enum : HIThemeOrientation {
    kHIThemeOrientationNormal = 0,
    kHIThemeOrientationInverted = 1,
};

enum : HIThemeTextHorizontalFlush {
    kHIThemeTextHorizontalFlushLeft = 0,
    kHIThemeTextHorizontalFlushCenter = 1,
    kHIThemeTextHorizontalFlushRight = 2,
};
enum : HIThemeTextVerticalFlush {
    kHIThemeTextVerticalFlushTop = 0,
    kHIThemeTextVerticalFlushCenter = 1,
    kHIThemeTextVerticalFlushBottom = 2,
};
enum : HIThemeTextBoxOptions {
    kHIThemeTextBoxOptionNone = 0,
    kHIThemeTextBoxOptionStronglyVertical = 1 << 1,
};
enum : HIThemeTextTruncation {
    kHIThemeTextTruncationNone = 0,
    kHIThemeTextTruncationMiddle = 1,
    kHIThemeTextTruncationEnd = 2,
};

// How text is set in a box. `truncationMaxLines` 0 means no limit; with a
// truncation, the last line that fits the box (or the last allowed line)
// ends in an ellipsis when the text goes on. `truncationHappened` is set
// by drawing and measuring.
struct HIThemeTextInfo {
    UInt32 version;  // 0
    ThemeDrawState state;
    ThemeFontID fontID;
    HIThemeTextHorizontalFlush horizontalFlushness;
    HIThemeTextVerticalFlush verticalFlushness;
    HIThemeTextBoxOptions options;
    HIThemeTextTruncation truncationPosition;
    UInt32 truncationMaxLines;
    Boolean truncationHappened;
};

enum : ThemeArrowOrientation {
    kThemeArrowLeft = 0,
    kThemeArrowDown = 1,
    kThemeArrowRight = 2,
    kThemeArrowUp = 3,
};
enum : ThemePopupArrowSize {
    kThemeArrow5pt = 0,
    kThemeArrow7pt = 1,
    kThemeArrow9pt = 2,
};
struct HIThemePopupArrowDrawInfo {
    UInt32 version;  // 0
    ThemeDrawState state;
    ThemeArrowOrientation orientation;
    ThemePopupArrowSize size;
};

enum : ThemeCursor {
    kThemeArrowCursor = 0,
    kThemeCopyArrowCursor = 1,
    kThemeAliasArrowCursor = 2,
    kThemeContextualMenuArrowCursor = 3,
    kThemeIBeamCursor = 4,
    kThemeCrossCursor = 5,
    kThemePlusCursor = 6,
    kThemeWatchCursor = 7,
    kThemeClosedHandCursor = 8,
    kThemeOpenHandCursor = 9,
    kThemePointingHandCursor = 10,
    kThemeCountingUpHandCursor = 11,
    kThemeCountingDownHandCursor = 12,
    kThemeCountingUpAndDownHandCursor = 13,
    kThemeSpinningCursor = 14,
    kThemeResizeLeftCursor = 15,
    kThemeResizeRightCursor = 16,
    kThemeResizeLeftRightCursor = 17,
    kThemeNotAllowedCursor = 18,
    kThemeResizeUpCursor = 19,
    kThemeResizeDownCursor = 20,
    kThemeResizeUpDownCursor = 21,
    kThemePoofCursor = 22,
};

// Icon plotting.
enum : IconAlignmentType {
    kAlignNone = 0x00,
    kAlignVerticalCenter = 0x01,
    kAlignTop = 0x02,
    kAlignBottom = 0x03,
    kAlignHorizontalCenter = 0x04,
    kAlignAbsoluteCenter = kAlignVerticalCenter | kAlignHorizontalCenter,
    kAlignLeft = 0x08,
    kAlignRight = 0x0C,
};
enum : IconTransformType {
    kTransformNone = 0x00,
    kTransformDisabled = 0x01,
    kTransformOffline = 0x02,
    kTransformOpen = 0x03,
    kTransformSelected = 0x4000,
};
enum : PlotIconRefFlags {
    kPlotIconRefNormalFlags = 0,
    kPlotIconRefNoImage = 1 << 1,
    kPlotIconRefNoMask = 1 << 2,
};

// ---- fonts ----

// The family, size and style of a theme font; the family as a Pascal
// string (Mac Roman, cut at 255 bytes). paramErr (outputs untouched) for an
// unknown id or nil outputs.
OSStatus GetThemeFont(ThemeFontID inFontID, ScriptCode inScript, Str255 outFontName, SInt16* outFontSize,
                      Style* outStyle);

// ---- text ----

// Sets the text (a CFString) in the box by the text info: wrapped at the
// box's width, truncated as it asks, placed by its flushness, clipped to
// the box. paramErr for nil arguments or a value that is no string.
OSStatus HIThemeDrawTextBox(CFTypeRef inString, const HIRect* inBounds, HIThemeTextInfo* inTextInfo,
                            CGContextRef inContext, HIThemeOrientation inOrientation);
// The size the text takes when set as HIThemeDrawTextBox sets it in a box
// `inWidth` wide (0: unlimited, one line per paragraph); `outBaseline` is
// where the last line's baseline lies from the bottom of the text, as a
// negative number (minus the descent). Outputs may be nil.
OSStatus HIThemeGetTextDimensions(CFTypeRef inString, CGFloat inWidth, HIThemeTextInfo* inTextInfo, CGFloat* outWidth,
                                  CGFloat* outHeight, CGFloat* outBaseline);
// The Appearance Manager's forms. `inJust`: teFlushDefault / teFlushLeft
// left, teCenter centred, teFlushRight right.
enum : SInt16 {
    teFlushDefault = 0,
    teCenter = 1,
    teFlushRight = -1,
    teFlushLeft = -2,
};
OSStatus DrawThemeTextBox(CFStringRef inString, ThemeFontID inFontID, ThemeDrawState inState, Boolean inWrapToWidth,
                          const Rect* inBoundingBox, SInt16 inJust, CGContextRef inContext);
// `ioBounds` in: the width to wrap at (h; when wrapping); out: the size (h
// width, v height). `outBaseline` as HIThemeGetTextDimensions gives it.
OSStatus GetThemeTextDimensions(CFStringRef inString, ThemeFontID inFontID, ThemeDrawState inState,
                                Boolean inWrapToWidth, Point* ioBounds, SInt16* outBaseline);

// ---- colours ----

// Makes the brush's colour the context's fill (stroke) colour. paramErr
// for nil; themeInvalidBrushErr for a brush the theme does not know.
inline constexpr OSStatus themeInvalidBrushErr = -30562;
OSStatus HIThemeSetFill(ThemeBrush inBrush, void* inInfo, CGContextRef inContext, HIThemeOrientation inOrientation);
OSStatus HIThemeSetStroke(ThemeBrush inBrush, void* inInfo, CGContextRef inContext, HIThemeOrientation inOrientation);
// A new colour (the caller releases it).
OSStatus HIThemeBrushCreateCGColor(ThemeBrush inBrush, CGColorRef* outColor);

// ---- shapes ----

// The focus ring around `inRect` (drawn outside it), when `inHasFocus`.
OSStatus HIThemeDrawFocusRect(const HIRect* inRect, Boolean inHasFocus, CGContextRef inContext,
                              HIThemeOrientation inOrientation);
// A filled arrow centred in `inBounds`, of the size asked for.
OSStatus HIThemeDrawPopupArrow(const HIRect* inBounds, const HIThemePopupArrowDrawInfo* inDrawInfo,
                               CGContextRef inContext, HIThemeOrientation inOrientation);

// ---- icons ----

// Draws the icon into `inRect` (user space of a y-up context, as on the
// platform: flip first in a view context), square, placed by the
// alignment; kTransformDisabled draws it faded, kTransformSelected
// darkened. paramErr for nil arguments.
OSStatus PlotIconRefInContext(CGContextRef inContext, const CGRect* inRect, IconAlignmentType inAlign,
                              IconTransformType inTransform, const RGBColor* inLabelColor, PlotIconRefFlags inFlags,
                              IconRef inIconRef);

// ---- cursors ----

// Shows the cursor over every window of the program. paramErr for an
// unknown cursor (nothing changes).
OSStatus SetThemeCursor(ThemeCursor inCursor);
// The cursor last set (our addition, for tests and for windows made later).
ThemeCursor HIThemeGetCurrentCursor();
