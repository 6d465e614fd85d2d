// Windows: one top-level Qt widget per window, with the toolbox's classes,
// attributes, bounds in global coordinates (top-left of the main screen,
// y down), properties, the front-to-back list, window events and
// transitions.
//
// A window is created hidden and counted (RetainWindow / ReleaseWindow;
// DisposeWindow is the release that ends it whatever the count: the window
// hides, gets kEventWindowClosed and kEventWindowDispose, and its handlers
// go). Its content is a retained buffer: drawing happens only in the parts
// made invalid (HIWindowInvalidate…), by whoever the view layer registers,
// and a repaint by Qt just shows the buffer again.
//
// Input reaches the window's event target first: mouse, wheel and key
// events are turned into Carbon events there (Ctrl → command, Alt →
// option, Meta → control, Shift → shift); Qt delivers the event on to its
// own child widgets only when the chain answered eventNotHandledErr.
#pragma once

#include <CarbonCore/CarbonEvents.h>
#include <CoreGraphics/CGContext.h>

// ---- classes, attributes, regions ----

typedef UInt32 WindowClass;
typedef UInt32 WindowAttributes;
typedef UInt16 WindowRegionCode;
typedef UInt32 WindowTransitionEffect;
typedef UInt32 WindowTransitionAction;
typedef UInt32 PropertyCreator;
typedef UInt32 PropertyTag;
typedef SInt32 CGWindowLevel;
typedef struct OpaqueWindowGroupRef* WindowGroupRef;

enum : WindowClass {
    kAlertWindowClass = 1,
    kMovableAlertWindowClass = 2,
    kModalWindowClass = 3,
    kMovableModalWindowClass = 4,
    kFloatingWindowClass = 5,
    kDocumentWindowClass = 6,
    kUtilityWindowClass = 8,
    kHelpWindowClass = 10,
    kSheetWindowClass = 11,
    kToolbarWindowClass = 12,
    kPlainWindowClass = 13,
    kOverlayWindowClass = 14,
    kSheetAlertWindowClass = 15,
    kAltPlainWindowClass = 16,
    kDrawerWindowClass = 20,
    kAllWindowClasses = 0xFFFFFFFF,
};

enum : WindowAttributes {
    kWindowNoAttributes = 0,
    kWindowCloseBoxAttribute = 1 << 0,
    kWindowHorizontalZoomAttribute = 1 << 1,
    kWindowVerticalZoomAttribute = 1 << 2,
    kWindowFullZoomAttribute = kWindowHorizontalZoomAttribute | kWindowVerticalZoomAttribute,
    kWindowCollapseBoxAttribute = 1 << 3,
    kWindowResizableAttribute = 1 << 4,
    kWindowNoTitleBarAttribute = 1 << 9,
    kWindowDoesNotCycleAttribute = 1 << 15,
    kWindowNoActivatesAttribute = 1 << 17,
    kWindowCompositingAttribute = 1 << 19,
    kWindowNoShadowAttribute = 1 << 21,
    kWindowHideOnSuspendAttribute = 1 << 24,
    kWindowStandardHandlerAttribute = 1 << 25,
    kWindowIgnoreClicksAttribute = 1 << 29,
    kWindowStandardDocumentAttributes =
        kWindowCloseBoxAttribute | kWindowFullZoomAttribute | kWindowCollapseBoxAttribute | kWindowResizableAttribute,
    kWindowStandardFloatingAttributes = kWindowCloseBoxAttribute | kWindowCollapseBoxAttribute,
};

enum : WindowRegionCode {
    kWindowTitleBarRgn = 0,
    kWindowCloseBoxRgn = 2,
    kWindowDragRgn = 5,
    kWindowStructureRgn = 32,
    kWindowContentRgn = 33,
    kWindowUpdateRgn = 34,
    kWindowOpaqueRgn = 35,
    kWindowGlobalPortRgn = 40,
};

// Window part codes (kEventParamWindowDefPart, FindWindow).
enum : SInt16 {
    wNoHit = 0,
    wInContent = 1,
    wInDrag = 2,
    wInGrow = 3,
    wInGoAway = 4,
};

enum : WindowTransitionEffect {
    kWindowZoomTransitionEffect = 1,
    kWindowSheetTransitionEffect = 2,
    kWindowSlideTransitionEffect = 3,
    kWindowFadeTransitionEffect = 4,
    kWindowGenieTransitionEffect = 5,
};
enum : WindowTransitionAction {
    kWindowShowTransitionAction = 1,
    kWindowHideTransitionAction = 2,
    kWindowMoveTransitionAction = 3,
    kWindowResizeTransitionAction = 4,
};
struct TransitionWindowOptions {
    UInt32 version;      // 0
    EventTime duration;  // seconds; 0: the default of a quarter second
    WindowRef window;    // the parent for a sheet transition
    void* userData;
};

// Status codes of the Window Manager.
inline constexpr OSStatus errInvalidWindowPtr = -5600;
inline constexpr OSStatus errInvalidWindowRef = -5600;
inline constexpr OSStatus errUnsupportedWindowAttributesForClass = -5601;
inline constexpr OSStatus errWindowPropertyNotFound = -5604;
inline constexpr OSStatus errWindowNotFound = -5610;

// ---- creating, counting, disposing ----

// A hidden window of the class with the attributes, its content at
// `contentBounds` (global). kWindowStandardHandlerAttribute installs the
// standard window handler (a close event disposes the window).
OSStatus CreateNewWindow(WindowClass windowClass, WindowAttributes attributes, const Rect* contentBounds,
                         WindowRef* outWindow);
OSStatus RetainWindow(WindowRef window);
OSStatus ReleaseWindow(WindowRef window);
ItemCount GetWindowRetainCount(WindowRef window);
void DisposeWindow(WindowRef window);
// Whether the pointer names a live window; never dereferences a stale one.
Boolean IsValidWindowPtr(WindowRef window);

EventTargetRef GetWindowEventTarget(WindowRef window);
// The window whose event target this is (nil for other targets).
WindowRef GetWindowFromEventTarget(EventTargetRef target);

// ---- identity and state ----

void SetWRefCon(WindowRef window, SRefCon data);
SRefCon GetWRefCon(WindowRef window);
OSStatus GetWindowClass(WindowRef window, WindowClass* outClass);
OSStatus HIWindowChangeClass(WindowRef window, WindowClass newClass);
OSStatus GetWindowAttributes(WindowRef window, WindowAttributes* outAttributes);
OSStatus ChangeWindowAttributes(WindowRef window, WindowAttributes setTheseAttributes,
                                WindowAttributes clearTheseAttributes);
OSStatus SetWindowTitleWithCFString(WindowRef window, CFStringRef title);
OSStatus CopyWindowTitleAsCFString(WindowRef window, CFStringRef* outTitle);
OSStatus SetWindowModified(WindowRef window, Boolean modified);
Boolean IsWindowModified(WindowRef window);
OSStatus SetWindowAlpha(WindowRef window, CGFloat alpha);
OSStatus GetWindowAlpha(WindowRef window, CGFloat* outAlpha);

// Properties by creator and tag, of any size; the bytes are copied.
OSStatus SetWindowProperty(WindowRef window, PropertyCreator creator, PropertyTag tag, ByteCount size,
                           const void* buffer);
// errWindowPropertyNotFound (outputs untouched) for a property not set.
OSStatus GetWindowProperty(WindowRef window, PropertyCreator creator, PropertyTag tag, ByteCount bufferSize,
                           ByteCount* actualSize, void* buffer);
OSStatus GetWindowPropertySize(WindowRef window, PropertyCreator creator, PropertyTag tag, ByteCount* size);
OSStatus RemoveWindowProperty(WindowRef window, PropertyCreator creator, PropertyTag tag);

// ---- bounds (global coordinates) ----

// kWindowContentRgn or kWindowStructureRgn (the content plus the frame the
// window manager draws; the same for a window without a title bar).
OSStatus GetWindowBounds(WindowRef window, WindowRegionCode regionCode, Rect* globalBounds);
OSStatus SetWindowBounds(WindowRef window, WindowRegionCode regionCode, const Rect* globalBounds);
OSStatus HIWindowGetBounds(WindowRef window, WindowRegionCode regionCode, HIRect* outBounds);
OSStatus HIWindowSetBounds(WindowRef window, WindowRegionCode regionCode, const HIRect* bounds);
OSStatus MoveWindowStructure(WindowRef window, short hGlobal, short vGlobal);

// ---- showing, ordering, activation ----

void ShowWindow(WindowRef window);
void HideWindow(WindowRef window);
Boolean IsWindowVisible(WindowRef window);
// Brings the window to the front of its layer and makes it active (the
// previously active one gets kEventWindowDeactivated).
void SelectWindow(WindowRef window);
void BringToFront(WindowRef window);
void SendBehind(WindowRef window, WindowRef behindWindow);
Boolean IsWindowActive(WindowRef window);
// The list of every window (visible or not), front to back.
WindowRef GetFrontWindowOfClass(WindowClass windowClass, Boolean mustBeVisible);
WindowRef GetNextWindowOfClass(WindowRef window, WindowClass windowClass, Boolean mustBeVisible);
WindowRef GetWindowList();
WindowRef GetNextWindow(WindowRef window);
WindowRef FrontWindow();              // the front visible window
WindowRef FrontNonFloatingWindow();   // the front visible window that does not float
WindowRef ActiveNonFloatingWindow();  // the active window that does not float
WindowRef GetUserFocusWindow();
OSStatus SetUserFocusWindow(WindowRef window);
// Where keys and commands go first: the focused view of the user focus
// window, else that window, else the application.
EventTargetRef GetUserFocusEventTarget();
// The window at the global point (front to back, visible only), and the
// part hit. Nil and wNoHit for none. A window may name the part itself: it
// is sent kEventWindowHitTest (kEventParamMouseLocation, global) first, and
// a handler answering noErr gives the part in kEventParamWindowDefPart.
SInt16 FindWindow(Point globalPoint, WindowRef* outWindow);

// ---- the user moving and resizing ----

// Both follow the mouse from `startPoint` (global; where the button went
// down) until the button is released, and return then; the mouse events of
// the meanwhile go to no window. Nothing happens when no button is down.
// DragWindow moves the window with the mouse, the mouse held within
// `boundsRect` (global; nil: anywhere), and selects the window first
// unless the command key is down.
void DragWindow(WindowRef window, Point startPoint, const Rect* boundsRect);
// ResizeWindow moves the content's bottom-right corner with the mouse,
// the width and height kept within `sizeConstraints` (left, top: the least
// width and height; right, bottom: the greatest; nil: at least 1 × 1).
// Answers whether the size changed; `outNewContentRect` (may be nil) gets
// the content bounds either way.
Boolean ResizeWindow(WindowRef window, Point startPoint, const Rect* sizeConstraints, Rect* outNewContentRect);

// ---- levels ----

enum : SInt32 {
    kCGBaseWindowLevelKey = 0,
    kCGMinimumWindowLevelKey = 1,
    kCGDesktopWindowLevelKey = 2,
    kCGBackstopMenuLevelKey = 3,
    kCGNormalWindowLevelKey = 4,
    kCGFloatingWindowLevelKey = 5,
    kCGTornOffMenuWindowLevelKey = 6,
    kCGDockWindowLevelKey = 7,
    kCGMainMenuWindowLevelKey = 8,
    kCGStatusWindowLevelKey = 9,
    kCGModalPanelWindowLevelKey = 10,
    kCGPopUpMenuWindowLevelKey = 11,
    kCGDraggingWindowLevelKey = 12,
    kCGScreenSaverWindowLevelKey = 13,
    kCGMaximumWindowLevelKey = 14,
    kCGOverlayWindowLevelKey = 15,
    kCGHelpWindowLevelKey = 16,
    kCGUtilityWindowLevelKey = 17,
    kCGDesktopIconWindowLevelKey = 18,
    kCGCursorWindowLevelKey = 19,
};
CGWindowLevel CGWindowLevelForKey(SInt32 key);
// Every window has a group of its own; its level places it. Below the
// normal level a window stays below the others (on X11: the EWMH "below"
// state), above it on top of them ("above"); at or below the desktop
// level it is also left out of task bars and pagers.
WindowGroupRef GetWindowGroup(WindowRef window);
OSStatus SetWindowGroupLevel(WindowGroupRef group, CGWindowLevel level);
OSStatus GetWindowGroupLevel(WindowGroupRef group, CGWindowLevel* outLevel);

// ---- transitions and sheets ----

// Shows or hides the window with an effect. The fade is faithful (the
// window's opacity goes to 1 or 0 over the duration); the others are
// shown as a fade too. Without `async` the call returns when the
// transition is done (the event loop runs meanwhile).
OSStatus TransitionWindowWithOptions(WindowRef window, WindowTransitionEffect effect, WindowTransitionAction action,
                                     const HIRect* bounds, Boolean async, TransitionWindowOptions* options);
OSStatus TransitionWindow(WindowRef window, WindowTransitionEffect effect, WindowTransitionAction action,
                          const Rect* bounds);
Boolean IsWindowInTransition(WindowRef window);
// A sheet: shown on its parent, modal to it (the parent gets no input
// while it shows), hidden again by HideSheetWindow.
OSStatus ShowSheetWindow(WindowRef sheet, WindowRef parentWindow);
OSStatus HideSheetWindow(WindowRef sheet);
OSStatus GetSheetWindowParent(WindowRef sheet, WindowRef* outParentWindow);

// ---- content ----

// Marks content (window coordinates, top-left origin) to be drawn again.
OSStatus HIWindowInvalidate(WindowRef window);
OSStatus HIWindowInvalidateRect(WindowRef window, const HIRect* rect);
// Draws what is invalid now, without waiting for the loop.
OSStatus HIWindowFlush(WindowRef window);
// The window's retained content as an image (for tests and screenshots).
CGImageRef HIWindowCopyContentImage(WindowRef window);
