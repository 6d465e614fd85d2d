// Views: the tree of controls inside a window, drawn through Core Graphics
// into the window's retained buffer.
//
// Every window has a root view; its content view (kHIViewWindowContentID)
// covers the content and holds the window's controls. A view's frame is in
// its superview's coordinates, its bounds in its own (origin top-left, y
// down, as every view context draws). Subviews are indexed from 1 in the
// order they were added (nib order), and drawn in that order (the last on
// top). A view is shown when it and every ancestor are visible.
//
// Each view is an event target whose parent is its superview (the root's
// is the window). Drawing, hit testing, tracking and clicks are events of
// class kEventClassControl sent to the view: a draw handler answering
// eventNotHandledErr gets the kind's default look. A user click is tracked
// without a modal loop: mouse down starts it, moves feed it, mouse up ends
// it; then, when it ended on a part, value changed (if the kind changed
// the value), hit with the part, then the command when the view has one.
//
// Views are Core Foundation objects (CFRetain / CFRelease); a superview
// holds each subview. DisposeControl takes a view out of its window:
// subviews go first, then the view, each receiving kEventControlDispose.
#pragma once

#include <HIToolbox/MacWindows.h>

typedef SInt16 ControlPartCode;
typedef ControlPartCode HIViewPartCode;
typedef struct OpaqueControlRef* HIObjectRef;
typedef struct OpaqueHIObjectClassRef* HIObjectClassRef;
typedef UInt32 HIViewZOrderOp;
typedef UInt32 HIViewFeatures;
typedef UInt32 HICoordinateSpace;

struct HIViewID {
    OSType signature;
    SInt32 id;
};
typedef HIViewID ControlID;

struct ControlKind {
    OSType signature;
    OSType kind;
};

inline constexpr OSType kControlKindSignatureApple = FourCC("appl");
enum : OSType {
    kControlKindPushButton = FourCC("push"),
    kControlKindBevelButton = FourCC("bevl"),
    kControlKindCheckBox = FourCC("cbox"),
    kControlKindRadioButton = FourCC("rdio"),
    kControlKindRadioGroup = FourCC("rgrp"),
    kControlKindPopupButton = FourCC("popb"),
    kControlKindStaticText = FourCC("stxt"),
    kControlKindUserPane = FourCC("upan"),
    kControlKindPlacard = FourCC("plac"),
    kControlKindHIImageView = FourCC("imag"),
    kControlKindIcon = FourCC("icon"),
    kControlKindImageWell = FourCC("well"),
    kControlKindPrimaryGroupBox = FourCC("grpb"),
    kControlKindSecondaryGroupBox = FourCC("sgrp"),
    kControlKindTabs = FourCC("tabs"),
    kControlKindSegmentedView = FourCC("sgmt"),
    kControlKindSlider = FourCC("sldr"),
    kControlKindScrollBar = FourCC("sbar"),
    kControlKindEditUnicodeText = FourCC("eutx"),
    kControlKindHISearchField = FourCC("srfd"),
    kControlKindHITextView = FourCC("hitx"),
    kControlKindClock = FourCC("clck"),
    kControlKindHIRootView = FourCC("root"),
    kControlKindHIContentView = FourCC("cnvw"),
    kControlKindHICocoaView = FourCC("coca"),
    kControlKindCustom = FourCC("cust"),  // a registered subclass
};

inline constexpr HIViewID kHIViewWindowContentID = {FourCC("wind"), 1};

// Part codes.
inline constexpr ControlPartCode kControlNoPart = 0;
inline constexpr ControlPartCode kControlLabelPart = 1;
inline constexpr ControlPartCode kControlMenuPart = 2;
inline constexpr ControlPartCode kControlTrianglePart = 4;
inline constexpr ControlPartCode kControlEditTextPart = 5;
inline constexpr ControlPartCode kControlPicturePart = 6;
inline constexpr ControlPartCode kControlIconPart = 7;
inline constexpr ControlPartCode kControlClockPart = 8;
inline constexpr ControlPartCode kControlIndicatorPart = 129;
inline constexpr ControlPartCode kControlUpButtonPart = 20;
inline constexpr ControlPartCode kControlDownButtonPart = 21;
inline constexpr ControlPartCode kControlPageUpPart = 22;
inline constexpr ControlPartCode kControlPageDownPart = 23;
inline constexpr ControlPartCode kControlButtonPart = 10;
inline constexpr ControlPartCode kControlCheckBoxPart = 11;
inline constexpr ControlPartCode kControlRadioButtonPart = 12;
inline constexpr ControlPartCode kControlImageWellPart = 26;
inline constexpr ControlPartCode kControlContentMetaPart = -2;
inline constexpr ControlPartCode kControlStructureMetaPart = -1;
inline constexpr ControlPartCode kControlFocusNextPart = -1;
inline constexpr ControlPartCode kControlFocusPrevPart = -2;
inline constexpr ControlPartCode kControlEntireControl = 0;
enum : UInt32 {
    kControlSupportsEmbedding = 1 << 1,
    kControlSupportsFocus = 1 << 2,
    kControlGetsFocusOnClick = 1 << 8,
};

enum : HIViewZOrderOp {
    kHIViewZOrderAbove = 1,
    kHIViewZOrderBelow = 2,
};
enum : HICoordinateSpace {
    kHICoordSpaceScreenPixel = 1,
    kHICoordSpace72DPIGlobal = 2,
    kHICoordSpaceWindow = 3,
    kHICoordSpaceView = 4,
};

// Control events.
enum : EventKind {
    kEventControlInitialize = 1000,
    kEventControlDispose = 1001,
    kEventControlHit = 1,
    kEventControlSimulateHit = 2,
    kEventControlHitTest = 3,
    kEventControlDraw = 4,
    kEventControlApplyBackground = 5,
    kEventControlSetFocusPart = 7,
    kEventControlGetFocusPart = 8,
    kEventControlActivate = 9,
    kEventControlDeactivate = 10,
    kEventControlSetCursor = 11,
    kEventControlContextualMenuClick = 12,
    kEventControlClick = 13,
    kEventControlDragEnter = 18,
    kEventControlDragWithin = 19,
    kEventControlDragLeave = 20,
    kEventControlDragReceive = 21,
    kEventControlTrackingAreaEntered = 23,
    kEventControlTrackingAreaExited = 24,
    kEventControlTrack = 51,
    kEventControlBoundsChanged = 154,
    kEventControlValueFieldChanged = 151,
    kEventControlHiliteChanged = 152,
    kEventControlEnabledStateChanged = 153,
    kEventControlVisibilityChanged = 157,
    kEventControlOwningWindowChanged = 159,
    kEventControlGetPartRegion = 101,
    kEventControlGetPartBounds = 102,
    kEventControlTitleChanged = 158,
};
// HIObject events (custom classes).
enum : EventKind {
    kEventHIObjectConstruct = 1,
    kEventHIObjectInitialize = 2,
    kEventHIObjectDestruct = 3,
};
inline constexpr EventParamName kEventParamHIObjectInstance = FourCC("hioi");
inline constexpr EventParamType typeHIObjectRef = FourCC("hiob");
inline constexpr EventParamName kEventParamControlFeatures = FourCC("cftr");
inline constexpr EventParamName kEventParamControlPreviousPart = FourCC("copc");
inline constexpr EventParamName kEventParamControlActionProc = FourCC("caup");
inline constexpr EventParamName kEventParamControlValue = FourCC("cval");
inline constexpr EventParamName kEventParamControlCurrentOwningWindow = FourCC("wocc");
inline constexpr EventParamName kEventParamBounds = FourCC("boun");

// Status codes of the Control Manager.
inline constexpr OSStatus errDataNotSupported = -30581;
inline constexpr OSStatus errControlDoesntSupportFocus = -30582;
inline constexpr OSStatus errUnknownControl = -30584;
inline constexpr OSStatus errCouldntSetFocus = -30585;
inline constexpr OSStatus errInvalidPartCode = -30588;
inline constexpr OSStatus errControlIsNotEmbedder = -30590;
inline constexpr OSStatus errDataSizeMismatch = -30591;
inline constexpr OSStatus errCantEmbedIntoSelf = -30594;
inline constexpr OSStatus errCantEmbedRoot = -30595;
inline constexpr OSStatus controlPropertyNotFoundErr = -5604;
inline constexpr OSStatus hiObjectClassExistsErr = -22080;
inline constexpr OSStatus hiObjectClassHasInstancesErr = -22081;
inline constexpr OSStatus hiObjectCannotSubclassSingletonErr = -22083;

// ---- the tree ----

HIViewRef HIViewGetRoot(WindowRef window);
// The content view of a window's root.
OSStatus HIViewFindByID(HIViewRef startView, HIViewID inID, HIViewRef* outControl);
OSStatus GetControlByID(WindowRef inWindow, const ControlID* inID, ControlRef* outControl);
OSStatus SetControlID(ControlRef inControl, const ControlID* inID);
OSStatus GetControlID(ControlRef inControl, ControlID* outID);
OSStatus GetControlKind(ControlRef inControl, ControlKind* outControlKind);
WindowRef GetControlOwner(ControlRef inControl);
WindowRef HIViewGetWindow(HIViewRef inView);
EventTargetRef GetControlEventTarget(ControlRef inControl);
// The view whose event target this is (nil for other targets).
HIViewRef HIViewFromEventTarget(EventTargetRef target);

// Adds `inNewChild` (taking it out of any other superview) last.
// errCantEmbedIntoSelf for itself or an ancestor; errCantEmbedRoot for a root.
OSStatus HIViewAddSubview(HIViewRef inParent, HIViewRef inNewChild);
OSStatus HIViewRemoveFromSuperview(HIViewRef inView);
HIViewRef HIViewGetSuperview(HIViewRef inView);
HIViewRef HIViewGetFirstSubview(HIViewRef inView);  // the first added (drawn first)
HIViewRef HIViewGetLastSubview(HIViewRef inView);
HIViewRef HIViewGetNextView(HIViewRef inView);  // the one added after it
HIViewRef HIViewGetPreviousView(HIViewRef inView);
OSStatus CountSubControls(ControlRef inControl, UInt16* outNumChildren);
// Index from 1.
OSStatus GetIndexedSubControl(ControlRef inControl, UInt16 inIndex, ControlRef* outSubControl);
// Moves the view to just above or below `inOther` among its siblings (nil:
// the top or the bottom).
OSStatus HIViewSetZOrder(HIViewRef inView, HIViewZOrderOp inOp, HIViewRef inOther);
// Takes the view out of its window: subviews first, each disposed.
void DisposeControl(ControlRef theControl);
Boolean IsValidControlHandle(ControlRef theControl);

// ---- geometry ----

OSStatus HIViewGetFrame(HIViewRef inView, HIRect* outRect);
OSStatus HIViewSetFrame(HIViewRef inView, const HIRect* inRect);
OSStatus HIViewGetBounds(HIViewRef inView, HIRect* outRect);
OSStatus HIViewSetBoundsOrigin(HIViewRef inView, CGFloat inX, CGFloat inY);
OSStatus HIViewMoveBy(HIViewRef inView, CGFloat inDX, CGFloat inDY);
OSStatus HIViewPlaceInSuperviewAt(HIViewRef inView, CGFloat inX, CGFloat inY);
// Frame as QuickDraw rectangles (superview coordinates).
Rect* GetControlBounds(ControlRef control, Rect* bounds);
void SetControlBounds(ControlRef control, const Rect* bounds);
// Between two views of one window; nil is the window's root (window space).
OSStatus HIViewConvertPoint(HIPoint* ioPoint, HIViewRef inSourceView, HIViewRef inDestView);
OSStatus HIViewConvertRect(HIRect* ioRect, HIViewRef inSourceView, HIViewRef inDestView);
// Between spaces: screen (1 or 2, global), window (3, the content's
// top-left), view (4, the object is the view).
void HIPointConvert(HIPoint* ioPoint, HICoordinateSpace inSourceSpace, void* inSourceObject,
                    HICoordinateSpace inDestinationSpace, void* inDestinationObject);
void HIRectConvert(HIRect* ioRect, HICoordinateSpace inSourceSpace, void* inSourceObject,
                   HICoordinateSpace inDestinationSpace, void* inDestinationObject);

// ---- state ----

OSStatus HIViewSetVisible(HIViewRef inView, Boolean inVisible);
// Visible, and so are its ancestors, in a visible window.
Boolean HIViewIsVisible(HIViewRef inView);
Boolean HIViewIsLatentlyVisible(HIViewRef inView);  // its own flag
// While drawing is off the view and its subviews are left out of the draw
// pass (what the window shows there stays as it was); turning it back on
// redraws the view.
OSStatus HIViewSetDrawingEnabled(HIViewRef inView, Boolean inEnabled);
Boolean HIViewIsDrawingEnabled(HIViewRef inView);
OSStatus HIViewSetEnabled(HIViewRef inView, Boolean inSet);
Boolean HIViewIsEnabled(HIViewRef inView, HIViewRef* outEnabledView);
OSStatus EnableControl(ControlRef inControl);
OSStatus DisableControl(ControlRef inControl);
Boolean IsControlEnabled(ControlRef inControl);
OSStatus HIViewSetActivated(HIViewRef inView, Boolean inSetActivated);
Boolean HIViewIsActive(HIViewRef inView, Boolean* outLatentActive);
void HiliteControl(ControlRef theControl, ControlPartCode hiliteState);
ControlPartCode GetControlHilite(ControlRef inControl);

// Values. A value is kept within minimum and maximum; a change made here
// sends kEventControlValueFieldChanged at once and redraws.
void SetControl32BitValue(ControlRef theControl, SInt32 newValue);
SInt32 GetControl32BitValue(ControlRef theControl);
void SetControl32BitMinimum(ControlRef theControl, SInt32 newMinimum);
SInt32 GetControl32BitMinimum(ControlRef theControl);
void SetControl32BitMaximum(ControlRef theControl, SInt32 newMaximum);
SInt32 GetControl32BitMaximum(ControlRef theControl);
void SetControlViewSize(ControlRef theControl, SInt32 newViewSize);
SInt32 GetControlViewSize(ControlRef theControl);
OSStatus SetControlTitleWithCFString(ControlRef inControl, CFStringRef inString);
OSStatus CopyControlTitleAsCFString(ControlRef inControl, CFStringRef* outString);
OSStatus HIViewSetText(HIViewRef inView, CFStringRef inText);
CFStringRef HIViewCopyText(HIViewRef inView);
OSStatus SetControlCommandID(ControlRef inControl, UInt32 inCommandID);
OSStatus GetControlCommandID(ControlRef inControl, UInt32* outCommandID);
void SetControlReference(ControlRef theControl, SRefCon data);
SRefCon GetControlReference(ControlRef theControl);

// Properties by creator and tag, of any size (copied).
OSStatus SetControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag, ByteCount propertySize,
                            const void* propertyData);
// controlPropertyNotFoundErr (outputs untouched) for a property not set.
OSStatus GetControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag, ByteCount bufferSize,
                            ByteCount* actualSize, void* propertyBuffer);
OSStatus GetControlPropertySize(ControlRef control, OSType propertyCreator, OSType propertyTag, ByteCount* size);
OSStatus RemoveControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag);

// Control data by part and tag, as the view's kind understands them
// (errDataNotSupported for a tag it does not know).
OSStatus SetControlData(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size inSize,
                        const void* inData);
OSStatus GetControlData(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size inBufferSize,
                        void* inBuffer, Size* outActualSize);
OSStatus GetControlDataSize(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size* outMaxSize);

// ---- drawing ----

OSStatus HIViewSetNeedsDisplay(HIViewRef inView, Boolean inNeedsDisplay);
// `inRect` in the view's coordinates.
OSStatus HIViewSetNeedsDisplayInRect(HIViewRef inView, const HIRect* inRect, Boolean inNeedsDisplay);
// Draws what is invalid in the view's window now.
OSStatus HIViewRender(HIViewRef inView);
// Draws an image into a view context (top-left origin) the right way up.
OSStatus HIViewDrawCGImage(CGContextRef inContext, const HIRect* inBounds, CGImageRef inImage);

// ---- hit testing, clicks and focus ----

// The deepest visible subview (deep) or direct subview under the point
// (the view's coordinates); nil for none.
OSStatus HIViewGetSubviewHit(HIViewRef inView, const HIPoint* inPoint, Boolean inDeep, HIViewRef* outView);
// The view under the mouse event's location, from `inStartView` down.
OSStatus HIViewGetViewForMouseEvent(HIViewRef inStartView, EventRef inEvent, HIViewRef* outView);
// The part of the view under a point of the view (kEventControlHitTest).
ControlPartCode HIViewTestPart(HIViewRef inView, const HIPoint* inPoint);
// Acts out a click on a part, as a user's would end: value change (the
// kind's), hit, command.
OSStatus HIViewSimulateClick(HIViewRef inView, HIViewPartCode inPartToClick, UInt32 inModifiers,
                             ControlPartCode* outPartClicked);

OSStatus SetKeyboardFocus(WindowRef inWindow, ControlRef inControl, ControlPartCode inPart);
OSStatus GetKeyboardFocus(WindowRef inWindow, ControlRef* outControl);
OSStatus ClearKeyboardFocus(WindowRef inWindow);
// To the next (or with shift, the previous) focusable view in nib order.
OSStatus HIViewAdvanceFocus(HIViewRef inRootForFocus, EventModifiers inModifiers);

// ---- classes ----

// A subclass of a view class, by identifier. The construct event's handler
// list receives kEventHIObjectConstruct (kEventParamHIObjectInstance: the
// new view), the init event (kEventHIObjectInitialize) and, with
// kEventHIObjectDestruct, the end; and every other event of its list sent
// to the instances.
OSStatus HIObjectRegisterSubclass(CFStringRef inClassID, CFStringRef inBaseClassID, OptionBits inOptions,
                                  EventHandlerUPP inConstructProc, ItemCount inNumEvents,
                                  const EventTypeSpec* inEventList, void* inConstructData,
                                  HIObjectClassRef* outClassRef);
OSStatus HIObjectUnregisterClass(HIObjectClassRef inClassRef);
// A new view (count 1) of a registered class, or of a built-in one
// ("com.apple.hiview" for a plain view). `inConstructData` is the event
// sent as kEventHIObjectInitialize (may be nil).
OSStatus HIObjectCreate(CFStringRef inClassID, EventRef inConstructData, HIObjectRef* outObject);
Boolean HIObjectIsOfClass(HIObjectRef inObject, CFStringRef inObjectClassID);
// The instance data the construct handler left (its kEventParamHIObjectInstance reply).
void* HIObjectDynamicCast(HIObjectRef inObject, CFStringRef inClassID);
CFStringRef HIObjectCopyClassID(HIObjectRef inObject);
EventTargetRef HIObjectGetEventTarget(HIObjectRef inObject);

// A plain view (kind user pane) not yet in a window.
OSStatus HIViewCreatePlain(const HIRect* frame, HIViewRef* outView);
OSStatus CreateUserPaneControl(WindowRef window, const Rect* boundsRect, UInt32 features, ControlRef* outControl);
