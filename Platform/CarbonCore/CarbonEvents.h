// Carbon events: typed events, targets with handler stacks, dispatch, and
// the main event queue.
//
// An event has a class and a kind and carries parameters by name, each with
// a type and bytes. A target holds a stack of handlers; the most recently
// installed handler runs first, and only for the event types it asked for.
// A handler answers eventNotHandledErr (−9874) to pass the event on: to the
// next handler of the target, then to the target's parent (control →
// superview … → window → application). Any other status ends the dispatch.
// CallNextEventHandler runs the rest of the chain from inside a handler and
// returns to it. SendEventToEventTarget is synchronous.
//
// Targets, handlers and events may be released while they are being
// dispatched: everything the dispatch needs is held until it returns, and a
// handler removed during a dispatch is skipped by it from then on.
#pragma once

#include <CarbonCore/CarbonEventLoop.h>
#include <CarbonCore/MacErrors.h>
#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CGGeometry.h>

// ---- status codes ----

inline constexpr OSStatus eventAlreadyPostedErr = -9860;
inline constexpr OSStatus eventTargetBusyErr = -9861;
inline constexpr OSStatus eventClassInvalidErr = -9862;
inline constexpr OSStatus eventClassIncorrectErr = -9864;
inline constexpr OSStatus eventHandlerAlreadyInstalledErr = -9866;
inline constexpr OSStatus eventInternalErr = -9868;
inline constexpr OSStatus eventKindIncorrectErr = -9869;
inline constexpr OSStatus eventParameterNotFoundErr = -9870;
inline constexpr OSStatus eventNotHandledErr = -9874;
inline constexpr OSStatus eventNotInQueueErr = -9877;
inline constexpr OSStatus eventHotKeyExistsErr = -9878;
inline constexpr OSStatus eventHotKeyInvalidErr = -9879;
inline constexpr OSStatus userCanceledErr = -128;

// ---- the types parameters carry ----

typedef OSType EventParamName;
typedef OSType EventParamType;
typedef UInt32 EventModifiers;
typedef UInt16 EventMouseButton;
typedef UInt16 EventMouseWheelAxis;
typedef UInt32 EventKind;
typedef OSType EventClass;
typedef SInt16 EventPriority;
typedef CGPoint HIPoint;
typedef CGSize HISize;
typedef CGRect HIRect;

struct EventTypeSpec {
    OSType eventClass;
    UInt32 eventKind;
};

struct EventHotKeyID {
    OSType signature;
    UInt32 id;
};

// A command and where it came from: a menu item, or (in the extended
// form, same layout) a control or a window.
struct HICommand {
    UInt32 attributes;
    UInt32 commandID;
    struct {
        struct OpaqueMenuRef* menuRef;
        UInt16 menuItemIndex;
    } menu;
};
struct HICommandExtended {
    UInt32 attributes;
    UInt32 commandID;
    union {
        struct OpaqueControlRef* control;
        struct OpaqueWindowPtr* window;
        struct {
            struct OpaqueMenuRef* menuRef;
            UInt16 menuItemIndex;
        } menu;
    } source;
};
static_assert(sizeof(HICommand) == sizeof(HICommandExtended));

typedef struct OpaqueEventRef* EventRef;
typedef struct OpaqueEventTargetRef* EventTargetRef;
typedef struct OpaqueEventHandlerRef* EventHandlerRef;
typedef struct OpaqueEventHandlerCallRef* EventHandlerCallRef;
typedef struct OpaqueEventQueueRef* EventQueueRef;
typedef struct OpaqueEventHotKeyRef* EventHotKeyRef;
typedef struct OpaqueWindowPtr* WindowRef;
typedef struct OpaqueControlRef* ControlRef;
typedef ControlRef HIViewRef;
typedef struct OpaqueMenuRef* MenuRef;
typedef struct OpaqueDragRef* DragRef;

typedef OSStatus (*EventHandlerProcPtr)(EventHandlerCallRef inHandlerCallRef, EventRef inEvent, void* inUserData);
typedef EventHandlerProcPtr EventHandlerUPP;
inline EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr proc)
{
    return proc;
}
inline void DisposeEventHandlerUPP(EventHandlerUPP) {}

// ---- four-character codes ----

constexpr OSType FourCC(const char (&code)[5])
{
    return (OSType(UInt8(code[0])) << 24) | (OSType(UInt8(code[1])) << 16) | (OSType(UInt8(code[2])) << 8) |
           OSType(UInt8(code[3]));
}

// Event classes.
inline constexpr EventClass kEventClassMouse = FourCC("mous");
inline constexpr EventClass kEventClassKeyboard = FourCC("keyb");
inline constexpr EventClass kEventClassTextInput = FourCC("text");
inline constexpr EventClass kEventClassApplication = FourCC("appl");
inline constexpr EventClass kEventClassAppleEvent = FourCC("eppc");
inline constexpr EventClass kEventClassMenu = FourCC("menu");
inline constexpr EventClass kEventClassWindow = FourCC("wind");
inline constexpr EventClass kEventClassControl = FourCC("cntl");
inline constexpr EventClass kEventClassCommand = FourCC("cmds");
inline constexpr EventClass kEventClassHIObject = FourCC("hiob");
inline constexpr EventClass kEventClassScrollable = FourCC("scrl");
inline constexpr EventClass kEventClassAppearance = FourCC("appm");

// Mouse.
enum : EventKind {
    kEventMouseDown = 1,
    kEventMouseUp = 2,
    kEventMouseMoved = 5,
    kEventMouseDragged = 6,
    kEventMouseEntered = 8,
    kEventMouseExited = 9,
    kEventMouseWheelMoved = 10,
};
enum : EventMouseButton {
    kEventMouseButtonPrimary = 1,
    kEventMouseButtonSecondary = 2,
    kEventMouseButtonTertiary = 3,
};
enum : EventMouseWheelAxis {
    kEventMouseWheelAxisX = 0,
    kEventMouseWheelAxisY = 1,
};

// Keyboard and text input.
enum : EventKind {
    kEventRawKeyDown = 1,
    kEventRawKeyRepeat = 2,
    kEventRawKeyUp = 3,
    kEventRawKeyModifiersChanged = 4,
    kEventHotKeyPressed = 5,
    kEventHotKeyReleased = 6,
};
enum : EventKind {
    kEventTextInputUpdateActiveInputArea = 1,
    kEventTextInputUnicodeForKeyEvent = 2,
    kEventTextInputUnicodeText = 7,
    kEventTextInputFilterText = 14,
};

// Application.
enum : EventKind {
    kEventAppActivated = 1,
    kEventAppDeactivated = 2,
    kEventAppQuit = 3,
    kEventAppLaunchNotification = 4,
    kEventAppLaunched = 5,
    kEventAppTerminated = 6,
    kEventAppFrontSwitched = 7,
    kEventAppHidden = 107,
    kEventAppShown = 108,
};

// Apple events arriving through the event loop.
enum : EventKind {
    kEventAppleEvent = 1,
};

// Commands.
enum : EventKind {
    kEventCommandProcess = 1,
    kEventCommandUpdateStatus = 2,
};
enum : UInt32 {
    kHICommandFromMenu = 1 << 0,
    kHICommandFromControl = 1 << 1,
    kHICommandFromWindow = 1 << 2,
};

// Windows.
enum : EventKind {
    kEventWindowUpdate = 1,
    kEventWindowDrawContent = 2,
    kEventWindowActivated = 5,
    kEventWindowDeactivated = 6,
    kEventWindowGetClickActivation = 7,
    kEventWindowGetClickModality = 8,
    kEventWindowShowing = 22,
    kEventWindowHiding = 23,
    kEventWindowShown = 24,
    kEventWindowHidden = 25,
    kEventWindowBoundsChanging = 26,
    kEventWindowBoundsChanged = 27,
    kEventWindowClose = 72,
    kEventWindowClosed = 73,
    kEventWindowHandleContentClick = 85,
    kEventWindowFocusAcquired = 200,
    kEventWindowFocusRelinquish = 201,
    kEventWindowGetRegion = 1002,
    kEventWindowHitTest = 1003,
    kEventWindowInit = 1004,
    kEventWindowDispose = 1005,
    kEventWindowPaint = 1013,
};
// What changed with kEventWindowBoundsChanged ('attr').
enum : UInt32 {
    kWindowBoundsChangeUserDrag = 1 << 0,
    kWindowBoundsChangeUserResize = 1 << 1,
    kWindowBoundsChangeSizeChanged = 1 << 2,
    kWindowBoundsChangeOriginChanged = 1 << 3,
};

// Parameter names.
inline constexpr EventParamName kEventParamDirectObject = FourCC("----");
inline constexpr EventParamName kEventParamPostTarget = FourCC("ptrg");
inline constexpr EventParamName kEventParamWindowRef = FourCC("wind");
inline constexpr EventParamName kEventParamControlRef = FourCC("ctrl");
inline constexpr EventParamName kEventParamMenuRef = FourCC("menu");
inline constexpr EventParamName kEventParamCGContextRef = FourCC("cntx");
inline constexpr EventParamName kEventParamMouseLocation = FourCC("mloc");
inline constexpr EventParamName kEventParamWindowMouseLocation = FourCC("wmou");
inline constexpr EventParamName kEventParamMouseButton = FourCC("mbtn");
inline constexpr EventParamName kEventParamClickCount = FourCC("ccnt");
inline constexpr EventParamName kEventParamMouseWheelAxis = FourCC("mwax");
inline constexpr EventParamName kEventParamMouseWheelDelta = FourCC("mwdl");
inline constexpr EventParamName kEventParamMouseDelta = FourCC("mdta");
inline constexpr EventParamName kEventParamMouseChord = FourCC("chor");
inline constexpr EventParamName kEventParamKeyModifiers = FourCC("kmod");
inline constexpr EventParamName kEventParamKeyCode = FourCC("kcod");
inline constexpr EventParamName kEventParamKeyMacCharCodes = FourCC("kchr");
inline constexpr EventParamName kEventParamKeyUnicodes = FourCC("kuni");
inline constexpr EventParamName kEventParamKeyboardType = FourCC("kbdt");
inline constexpr EventParamName kEventParamTextInputSendText = FourCC("tstx");
inline constexpr EventParamName kEventParamTextInputSendKeyboardEvent = FourCC("tske");
inline constexpr EventParamName kEventParamAttributes = FourCC("attr");
inline constexpr EventParamName kEventParamCurrentBounds = FourCC("crct");
inline constexpr EventParamName kEventParamPreviousBounds = FourCC("prct");
inline constexpr EventParamName kEventParamOriginalBounds = FourCC("orct");
inline constexpr EventParamName kEventParamWindowRegionCode = FourCC("wshp");
inline constexpr EventParamName kEventParamRgnHandle = FourCC("rgnh");
inline constexpr EventParamName kEventParamWindowDefPart = FourCC("wdpc");
inline constexpr EventParamName kEventParamWindowPartCode = FourCC("wpar");
inline constexpr EventParamName kEventParamControlPart = FourCC("cprt");
inline constexpr EventParamName kEventParamModalClickResult = FourCC("wmcr");
inline constexpr EventParamName kEventParamModalWindow = FourCC("mwin");
inline constexpr EventParamName kEventParamWindowModality = FourCC("wmod");
inline constexpr EventParamName kEventParamProcessID = FourCC("psn ");
inline constexpr EventParamName kEventParamAEEventClass = FourCC("eppc");
inline constexpr EventParamName kEventParamAEEventID = FourCC("evti");
inline constexpr EventParamName kEventParamEventRef = FourCC("evnt");
inline constexpr EventParamName kEventParamDragRef = FourCC("drag");

// Parameter types.
inline constexpr EventParamType typeWildCard = FourCC("****");
inline constexpr EventParamType typeBoolean = FourCC("bool");
inline constexpr EventParamType typeSInt16 = FourCC("shor");
inline constexpr EventParamType typeSInt32 = FourCC("long");
inline constexpr EventParamType typeUInt32 = FourCC("magn");
inline constexpr EventParamType typeSInt64 = FourCC("comp");
inline constexpr EventParamType typeIEEE32BitFloatingPoint = FourCC("sing");
inline constexpr EventParamType typeIEEE64BitFloatingPoint = FourCC("doub");
inline constexpr EventParamType typeFloat = typeIEEE64BitFloatingPoint;
inline constexpr EventParamType typeType = FourCC("type");
inline constexpr EventParamType typeChar = FourCC("TEXT");
inline constexpr EventParamType typeUnicodeText = FourCC("utxt");
inline constexpr EventParamType typeQDPoint = FourCC("QDpt");
inline constexpr EventParamType typeQDRectangle = FourCC("qdrt");
inline constexpr EventParamType typeHIPoint = FourCC("hipt");
inline constexpr EventParamType typeHISize = FourCC("hisz");
inline constexpr EventParamType typeHIRect = FourCC("hirc");
inline constexpr EventParamType typeMouseButton = FourCC("mbtn");
inline constexpr EventParamType typeMouseWheelAxis = FourCC("mwax");
inline constexpr EventParamType typeWindowRef = FourCC("wind");
inline constexpr EventParamType typeControlRef = FourCC("ctrl");
inline constexpr EventParamType typeMenuRef = FourCC("menu");
inline constexpr EventParamType typeCGContextRef = FourCC("cntx");
inline constexpr EventParamType typeEventHotKeyID = FourCC("hkid");
inline constexpr EventParamType typeHICommand = FourCC("hcmd");
inline constexpr EventParamType typeEventRef = FourCC("evrf");
inline constexpr EventParamType typeEventTargetRef = FourCC("etrg");
inline constexpr EventParamType typeCFTypeRef = FourCC("cfty");
inline constexpr EventParamType typeCFStringRef = FourCC("cfst");
inline constexpr EventParamType typeCFArrayRef = FourCC("cfar");
inline constexpr EventParamType typeCFMutableArrayRef = FourCC("cfma");
inline constexpr EventParamType typeCFDictionaryRef = FourCC("cfdc");
inline constexpr EventParamType typeVoidPtr = FourCC("void");
inline constexpr EventParamType typeFSRef = FourCC("fsrf");
inline constexpr EventParamType typeProcessSerialNumber = FourCC("psn ");
inline constexpr EventParamType typeWindowRegionCode = FourCC("wshp");
inline constexpr EventParamType typeWindowDefPartCode = FourCC("wdpt");
inline constexpr EventParamType typeWindowPartCode = FourCC("wpar");
inline constexpr EventParamType typeControlPartCode = FourCC("cprt");
inline constexpr EventParamType typeQDRgnHandle = FourCC("rgnh");
inline constexpr EventParamType typeDragRef = FourCC("drag");
inline constexpr EventParamType typeModalClickResult = FourCC("wmcr");
inline constexpr EventParamType typeWindowModality = FourCC("wmod");
inline constexpr EventParamType typeAppleEvent = FourCC("aevt");

// Modifier bits (kEventParamKeyModifiers).
enum : EventModifiers {
    activeFlag = 1 << 0,
    btnState = 1 << 7,
    cmdKey = 1 << 8,
    shiftKey = 1 << 9,
    alphaLock = 1 << 10,
    optionKey = 1 << 11,
    controlKey = 1 << 12,
    rightShiftKey = 1 << 13,
    rightOptionKey = 1 << 14,
    rightControlKey = 1 << 15,
};

// Queue priorities.
enum : EventPriority {
    kEventPriorityLow = 0,
    kEventPriorityStandard = 1,
    kEventPriorityHigh = 2,
};

enum : UInt32 {
    kEventAttributeNone = 0,
    kEventAttributeUserEvent = 1 << 0,
};

// ---- events ----

// A new event with a retain count of 1. eventClassInvalidErr for class 0.
OSStatus CreateEvent(CFAllocatorRef inAllocator, EventClass inClassID, UInt32 inKind, EventTime inWhen,
                     UInt32 inAttributes, EventRef* outEvent);
EventRef CopyEvent(EventRef inOther);
EventRef RetainEvent(EventRef inEvent);
void ReleaseEvent(EventRef inEvent);
UInt32 GetEventRetainCount(EventRef inEvent);
EventClass GetEventClass(EventRef inEvent);
UInt32 GetEventKind(EventRef inEvent);
EventTime GetEventTime(EventRef inEvent);
OSStatus SetEventTime(EventRef inEvent, EventTime inTime);
Boolean IsUserCancelEventRef(EventRef inEvent);

// Stores a copy of the bytes under the name (replacing what was there).
// paramErr for a nil event, or nil data with a size.
OSStatus SetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inType, UInt32 inSize,
                           const void* inDataPtr);
// Copies the parameter into the buffer: at most `inBufferSize` bytes, and
// `outActualSize` (may be nil) gets the whole size. `inDesiredType` must be
// the stored type or typeWildCard (the few coercions the toolbox makes are
// made: QuickDraw and HI points and rectangles, the integer types of one
// size). A missing or mistyped parameter answers eventParameterNotFoundErr
// and leaves every output untouched. A nil buffer with a size is paramErr.
OSStatus GetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inDesiredType,
                           EventParamType* outActualType, UInt32 inBufferSize, UInt32* outActualSize, void* outData);
OSStatus RemoveEventParameter(EventRef inEvent, EventParamName inName);

// ---- targets and handlers ----

EventTargetRef GetApplicationEventTarget();
// The target that receives events posted to the main queue without a post
// target: the application's.
EventTargetRef GetEventDispatcherTarget();

// Installs a handler for the given types (numTypes may be 0: none yet).
// outRef may be nil; the handler then lives as long as its target.
OSStatus InstallEventHandler(EventTargetRef inTarget, EventHandlerUPP inHandler, ItemCount inNumTypes,
                             const EventTypeSpec* inList, void* inUserData, EventHandlerRef* outRef);
inline OSStatus InstallApplicationEventHandler(EventHandlerUPP handler, ItemCount numTypes, const EventTypeSpec* list,
                                               void* userData, EventHandlerRef* outRef)
{
    return InstallEventHandler(GetApplicationEventTarget(), handler, numTypes, list, userData, outRef);
}
OSStatus RemoveEventHandler(EventHandlerRef inHandlerRef);
OSStatus AddEventTypesToHandler(EventHandlerRef inHandlerRef, ItemCount inNumTypes, const EventTypeSpec* inList);
OSStatus RemoveEventTypesFromHandler(EventHandlerRef inHandlerRef, ItemCount inNumTypes, const EventTypeSpec* inList);
// The target a handler is installed on; nil for a handler that is gone.
EventTargetRef GetEventHandlerTarget(EventHandlerRef inHandlerRef);

// Runs the handlers after the calling one: the rest of its target's, then
// the parents'. Answers what they answer (eventNotHandledErr when none
// handled it).
OSStatus CallNextEventHandler(EventHandlerCallRef inCallRef, EventRef inEvent);
// Dispatches the event to the target's chain and answers the result.
OSStatus SendEventToEventTarget(EventRef inEvent, EventTargetRef inTarget);
OSStatus SendEventToEventTargetWithOptions(EventRef inEvent, EventTargetRef inTarget, UInt32 inOptions);
enum : UInt32 {
    kEventTargetDontPropagate = 1 << 0,
    kEventTargetSendToAllHandlers = 1 << 1,
};

// Installs the toolbox's standard handler on a target created with one
// (the application's, a window's): it handles what the platform's does
// (closing a window disposes it, the quit command quits, …).
OSStatus InstallStandardEventHandler(EventTargetRef inTarget);

// Our own additions, for the view tree and windows built on this layer.

// The parent of a target, asked at each dispatch (views move between
// superviews). Nil: the chain ends at this target.
typedef EventTargetRef (*EventTargetParentProc)(void* refCon);
// A standard handler runs after every installed handler of its target and
// before the parent; it answers eventNotHandledErr to go on.
typedef OSStatus (*EventTargetStandardProc)(EventHandlerCallRef callRef, EventRef event, void* refCon);
// A new target (count 1) whose parent chain is `parent(refCon)`.
EventTargetRef CreateEventTarget(EventTargetParentProc parent, void* refCon);
void SetEventTargetStandardHandler(EventTargetRef target, EventTargetStandardProc proc, void* refCon);
// Removes every handler and frees the target once no dispatch holds it.
void DisposeEventTarget(EventTargetRef target);
// Whether the target is live (never dereferences a stale pointer).
Boolean IsValidEventTarget(EventTargetRef target);

// ---- the queue and the application loop ----

EventQueueRef GetMainEventQueue();
EventQueueRef GetCurrentEventQueue();
// Queues the event (retained) for dispatch on the next pass of the main
// loop, to the target in its kEventParamPostTarget parameter or else to the
// event dispatcher target. eventAlreadyPostedErr when it is queued already.
OSStatus PostEventToQueue(EventQueueRef inQueue, EventRef inEvent, EventPriority inPriority);
OSStatus RemoveEventFromQueue(EventQueueRef inQueue, EventRef inEvent);
Boolean IsEventInQueue(EventQueueRef inQueue, EventRef inEvent);
ItemCount GetNumEventsInQueue(EventQueueRef inQueue);
OSStatus FlushEventQueue(EventQueueRef inQueue);
// The event being dispatched on this thread (nil outside a dispatch).
EventRef GetCurrentEvent();

// Runs the main loop until QuitApplicationEventLoop; the application
// target's standard handler is installed first.
void RunApplicationEventLoop();
// Ends RunApplicationEventLoop: at once when it is the innermost run, or
// when the nested loops running inside it have returned; before it runs, it
// makes the next RunApplicationEventLoop return at once.
void QuitApplicationEventLoop();

// Dispatches everything queued now (tests; the loop does it itself).
// Answers how many events were dispatched.
int DispatchQueuedEvents();
