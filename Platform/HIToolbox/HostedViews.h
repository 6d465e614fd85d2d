// Views whose content is a real Qt widget: the Unicode edit text field,
// the search field, the clock (date and time picker) and the host of a
// Cocoa view, which on this system is any QWidget. (The multi-line text
// view and its text object are in HITextViews.h.)
//
// Each widget is a child of its window's widget, kept on the view's frame,
// shown and enabled with the view and its ancestors, and disposed of with
// the view. Keys reach it only after the Carbon chain of the focused view
// (view, superviews, window, application) left them: a raw key handler
// answering noErr keeps a key from the field. A click on it focuses the
// view and then reaches the widget. What the user types is told to the
// view as text field events: kEventTextDidChange after each change,
// kEventTextAccepted for Return or Enter in a one-line field.
//
// Text offsets are in UTF-16 code units.
#pragma once

#include <HIToolbox/ControlKinds.h>
#include <HIToolbox/HIView.h>

class QWidget;

// Every kind of this file and of HITextViews.h is registered with the view
// tree (once; later calls do nothing). The creators call it; a nib loader
// calls it before it makes views by kind.
void HIToolboxRegisterHostedViewKinds();

// The Qt widget a view of one of these kinds (or a text view) shows; nil
// for another view.
QWidget* HIViewGetHostedWidget(HIViewRef inView);

// ---- text field events ----

inline constexpr EventClass kEventClassTextField = FourCC("txfd");
enum : EventKind {
    kEventTextAccepted = 1,
    kEventTextShouldChangeInRange = 2,  // not sent: every change is allowed
    kEventTextDidChange = 3,
};

// ---- the Unicode edit text field ('eutx') ----

// Control data of edit text fields, search fields and text views.
inline constexpr ResType kControlEditTextCFStringTag = FourCC("cfst");          // CFStringRef (get: a new one)
inline constexpr ResType kControlEditTextPasswordCFStringTag = FourCC("pwcf");  // the same, password fields
inline constexpr ResType kControlEditTextSelectionTag = FourCC("sele");         // ControlEditTextSelectionRec
inline constexpr ResType kControlEditTextLockedTag = FourCC("lock");            // Boolean: read-only

// A selection in UTF-16 units; set: both clamped to the text, start after
// end selects from end to start.
struct ControlEditTextSelectionRec {
    SInt16 selStart;
    SInt16 selEnd;
};

// A one-line field (a password field shows bullets) in `window`'s content
// view, owned by the window; `text` and `style` may be nil. The style's
// font (or theme font), size, face, colours and justification apply; so
// does kControlFontStyleTag later.
OSStatus CreateEditUnicodeTextControl(WindowRef window, const Rect* boundsRect, CFStringRef text, Boolean isPassword,
                                      const ControlFontStyleRec* style, ControlRef* outControl);

// ---- the search field ('srfd') ----

enum : OptionBits {
    kHISearchFieldNoAttributes = 0,
    kHISearchFieldAttributesCancel = 1 << 0,      // a cancel button that empties the field
    kHISearchFieldAttributesSearchIcon = 1 << 1,  // a magnifying glass at the left
};
inline constexpr EventClass kEventClassSearchField = FourCC("srfd");
enum : EventKind {
    kEventSearchFieldCancelClicked = 1,  // the field is emptied after it
    kEventSearchFieldSearchClicked = 2,
};

// A new search field (count 1, the caller's) in no window yet; the menu is
// kept but not shown. `inDescriptiveText` (may be nil) shows while the
// field is empty.
OSStatus HISearchFieldCreate(const HIRect* inBounds, OptionBits inAttributes, MenuRef inSearchMenu,
                             CFStringRef inDescriptiveText, HIViewRef* outView);
OSStatus HISearchFieldGetAttributes(HIViewRef inSearchField, OptionBits* outAttributes);
OSStatus HISearchFieldChangeAttributes(HIViewRef inSearchField, OptionBits inAttributesToSet,
                                       OptionBits inAttributesToClear);
OSStatus HISearchFieldSetDescriptiveText(HIViewRef inSearchField, CFStringRef inDescription);
// A new string (empty when none was set).
OSStatus HISearchFieldCopyDescriptiveText(HIViewRef inSearchField, CFStringRef* outDescription);
OSStatus HISearchFieldSetSearchMenu(HIViewRef inSearchField, MenuRef inSearchMenu);
OSStatus HISearchFieldGetSearchMenu(HIViewRef inSearchField, MenuRef* outSearchMenu);

// ---- the clock ('clck') ----

typedef UInt16 ControlClockType;
enum : ControlClockType {
    kControlClockTypeHourMinute = 0,
    kControlClockTypeHourMinuteSecond = 1,
    kControlClockTypeMonthDayYear = 2,
    kControlClockTypeMonthYear = 3,
};
typedef UInt32 ControlClockFlags;
enum : ControlClockFlags {
    kControlClockFlagStandard = 0,
    kControlClockNoFlags = 0,
    kControlClockFlagDisplayOnly = 1,  // shows the date, takes no input
    kControlClockFlagLive = 2,         // shows the current time (not followed: the date stays as set)
};
inline constexpr ResType kControlClockAbsoluteTimeTag = FourCC("abst");   // CFAbsoluteTime
inline constexpr ResType kControlClockIsDisplayOnlyTag = FourCC("disp");  // Boolean
inline constexpr ResType kControlClockIsLiveTag = FourCC("live");         // Boolean

// A date and time picker in the local time zone, showing the current time
// until one is set. A change the user makes sends kEventControlHit (part
// kControlClockPart) when made with the mouse; keys reach the view as raw
// key events anyway.
OSStatus CreateClockControl(WindowRef window, const Rect* boundsRect, ControlClockType clockType,
                            ControlClockFlags clockFlags, ControlRef* outControl);

// ---- Cocoa views ('coca') ----

// A view (count 1, the caller's, in no window yet) showing `inNSView`,
// which it owns from now on (deleted with the view); nil for none yet. Its
// frame starts at the widget's size.
OSStatus HICocoaViewCreate(QWidget* inNSView, OptionBits inOptions, HIViewRef* outHIView);
// Shows another widget (nil: none); the previous one goes back to the
// caller, out of the window and hidden.
OSStatus HICocoaViewSetView(HIViewRef inHIView, QWidget* inNSView);
QWidget* HICocoaViewGetView(HIViewRef inHIView);
