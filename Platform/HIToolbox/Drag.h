// The Drag Manager: drags are our own objects holding items, each with
// flavours (a four-character type, flags and bytes). A drag started here
// travels to other programs as Qt drag data: file URLs ('furl', and the
// 'hfs ' record made from them on arrival), UTF-8 text ('utf8'), TIFF and
// PNG images ('TIFF', 'PNGf'). Every item and flavour also travels in one
// private MIME type tagged with this process, so that the flavours that
// carry object references ('sDrg', 'NODE', 'dbDG', a card's or task's
// pointer) are only ever seen by the process that made them: a drag from
// another program shows its files, text and images, never its private
// flavours.
//
// Arriving drags are tracked for the views of windows that opted in
// (SetAutomaticControlDragTrackingEnabledForWindow) and that opted in
// themselves (SetControlDragTrackingEnabled): the deepest such view under
// the mouse gets kEventControlDragEnter with kEventParamDragRef; when its
// handler sets kEventParamControlWouldAcceptDrop to true it then gets
// kEventControlDragWithin on every move, kEventControlDragLeave when the
// mouse leaves it, and kEventControlDragReceive on the drop (its status,
// noErr, accepts the drop). A window's tracking handlers hear the drag
// entering, moving in and leaving the window.
//
// Items are addressed by index from 1 (CountDragItems) or by reference
// number; flavours of an item by index from 1 or by type. Every call checks
// the drag first (badDragRefErr for nil or a drag that has gone) and leaves
// its outputs untouched when it fails.
#pragma once

#include <CoreServices/AppleEvents.h>
#include <CoreServices/Files.h>
#include <HIToolbox/HIView.h>

typedef UInt32 DragItemRef;
typedef ResType FlavorType;
typedef UInt32 FlavorFlags;
typedef UInt32 DragAttributes;
typedef UInt32 DragImageFlags;
typedef UInt32 DragActions;
typedef SInt16 DragTrackingMessage;

// Status codes of the Drag Manager.
inline constexpr OSErr badDragRefErr = -1850;       // no such drag
inline constexpr OSErr badDragItemErr = -1851;      // no such item
inline constexpr OSErr badDragFlavorErr = -1852;    // the item has no flavour of that type
inline constexpr OSErr duplicateFlavorErr = -1853;  // the item has that flavour already
inline constexpr OSErr cantGetFlavorErr = -1854;    // the flavour's data cannot be read
inline constexpr OSErr duplicateHandlerErr = -1855;
inline constexpr OSErr handlerNotFoundErr = -1856;
inline constexpr OSErr dragNotAcceptedErr = -1857;  // the receiver refused the drop
inline constexpr OSErr badImageErr = -1861;

enum : FlavorFlags {
    flavorSenderOnly = 1 << 0,
    flavorSenderTranslated = 1 << 1,
    flavorNotSaved = 1 << 2,
    flavorSystemTranslated = 1 << 8,  // made by the Drag Manager from another flavour
    flavorDataPromised = 1 << 9,
};

enum : DragAttributes {
    kDragHasLeftSenderWindow = 1 << 0,
    kDragInsideSenderApplication = 1 << 1,
    kDragInsideSenderWindow = 1 << 2,
};

enum : DragImageFlags {
    kDragStandardTranslucency = 0,
    kDragDarkTranslucency = 1,
    kDragDarkerTranslucency = 2,
    kDragOpaqueTranslucency = 3,
};

enum : DragActions {
    kDragActionNothing = 0,
    kDragActionCopy = 1,
    kDragActionAlias = 1 << 1,
    kDragActionGeneric = 1 << 2,
    kDragActionPrivate = 1 << 3,
    kDragActionMove = 1 << 4,
    kDragActionDelete = 1 << 5,
    kDragActionAll = 0xFFFFFFFF,
};

enum : DragTrackingMessage {
    kDragTrackingEnterHandler = 1,
    kDragTrackingEnterWindow = 2,
    kDragTrackingInWindow = 3,
    kDragTrackingLeaveWindow = 4,
    kDragTrackingLeaveHandler = 5,
};

// The flavours the Drag Manager itself understands (with typeFileURL,
// 'furl', and typeUTF8Text, 'utf8').
inline constexpr FlavorType kDragFlavorTypeHFS = FourCC("hfs ");
inline constexpr FlavorType kScrapFlavorTypeTIFF = FourCC("TIFF");
inline constexpr FlavorType kScrapFlavorTypePNG = FourCC("PNGf");

// The 'hfs ' flavour: a file's type, creator and Finder flags, then the
// file itself. Old-style file specifications are never made here, so the
// file travels as a reference (plain data: a path and its device).
struct HFSFlavor {
    OSType fileType;
    OSType fileCreator;
    UInt16 fdFlags;
    FSRef fileRef;
};

// A view's feature bit saying it takes part in drag and drop, and the
// parameter by which a view's drag-enter handler accepts the drag
// (typeBoolean).
inline constexpr UInt32 kControlSupportsDragAndDrop = 1 << 12;
inline constexpr EventParamName kEventParamControlWouldAcceptDrop = FourCC("cldg");

// ---- what TrackDrag is given: an event record and a region ----

// The old event record: what happened, where (global) and with which
// modifier keys.
struct EventRecord {
    UInt16 what;
    unsigned long message;
    UInt32 when;  // ticks
    Point where;
    EventModifiers modifiers;
};
enum : UInt16 {
    nullEvent = 0,
    mouseDown = 1,
    mouseUp = 2,
    keyDown = 3,
    keyUp = 4,
    autoKey = 5,
};
// The record of a mouse or keyboard event (its global mouse location, its
// modifiers); false, the record untouched, for nil or any other event.
Boolean ConvertEventRefToEventRecord(EventRef inEvent, EventRecord* outEvent);

// An (always empty) outline region for TrackDrag.
typedef struct OpaqueRgnHandle* RgnHandle;
RgnHandle NewRgn();
void DisposeRgn(RgnHandle region);

// ---- making a drag ----

// A new drag without items; the caller disposes of it. paramErr for nil.
OSErr NewDrag(DragRef* theDrag);
// Ends the drag (not while TrackDrag runs it: the drag goes when TrackDrag
// returns). badDragRefErr for a drag that is not alive.
OSErr DisposeDrag(DragRef theDrag);

// Adds a flavour to the item with that reference number, making the item
// (last) when the drag has no item of that number yet. The bytes are
// copied; nil data adds a flavour whose data is promised (size 0 until
// SetDragItemFlavorData). duplicateFlavorErr when the item has the type.
OSErr AddDragItemFlavor(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, const void* dataPtr, Size dataSize,
                        FlavorFlags theFlags);
// Writes `dataSize` bytes at `dataOffset` of a flavour's data, growing it
// as needed. badDragItemErr, badDragFlavorErr for what the drag lacks.
OSErr SetDragItemFlavorData(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, const void* dataPtr,
                            Size dataSize, UInt32 dataOffset);

// ---- reading a drag ----

OSErr CountDragItems(DragRef theDrag, UInt16* numItems);
// The reference number of the item at `index` (from 1); badDragItemErr out of range.
OSErr GetDragItemReferenceNumber(DragRef theDrag, UInt16 index, DragItemRef* theItemRef);
OSErr CountDragItemFlavors(DragRef theDrag, DragItemRef theItemRef, UInt16* numFlavors);
// The type of the item's flavour at `index` (from 1); badDragFlavorErr out of range.
OSErr GetFlavorType(DragRef theDrag, DragItemRef theItemRef, UInt16 index, FlavorType* theType);
OSErr GetFlavorFlags(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, FlavorFlags* theFlags);
OSErr GetFlavorDataSize(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, Size* dataSize);
// Copies the flavour's data from `dataOffset` into `dataPtr`, which holds
// `*dataSize` bytes: never more than that is written, and `*dataSize` is
// set to what was copied. paramErr for a nil size, a negative size, or nil
// data with a size above 0.
OSErr GetFlavorData(DragRef theDrag, DragItemRef theItemRef, FlavorType theType, void* dataPtr, Size* dataSize,
                    UInt32 dataOffset);

// An item's bounds (global); an empty rectangle until set.
OSErr GetDragItemBounds(DragRef theDrag, DragItemRef theItemRef, Rect* itemBounds);
OSErr SetDragItemBounds(DragRef theDrag, DragItemRef theItemRef, const Rect* itemBounds);

// The mouse now and where the drag began, global. The pinned mouse is the
// mouse (drags are not pinned here). Either output may be nil.
OSErr GetDragMouse(DragRef theDrag, Point* mouse, Point* globalPinnedMouse);
OSErr SetDragMouse(DragRef theDrag, Point globalPinnedMouse);
OSErr GetDragOrigin(DragRef theDrag, Point* globalInitialMouse);
// The modifier keys now, when the mouse went down and when it was released
// (EventModifiers bits); any output may be nil.
OSErr GetDragModifiers(DragRef theDrag, SInt16* modifiers, SInt16* mouseDownModifiers, SInt16* mouseUpModifiers);
OSErr GetDragAttributes(DragRef theDrag, DragAttributes* flags);

OSErr SetDragAllowableActions(DragRef theDrag, DragActions inActions, Boolean isLocal);
OSErr GetDragAllowableActions(DragRef theDrag, DragActions* outActions);
// The action of the drop (set by the receiver, or by the drop itself).
OSErr SetDragDropAction(DragRef theDrag, DragActions inAction);
OSErr GetDragDropAction(DragRef theDrag, DragActions* outAction);

// ---- tracking ----

// The image that follows the mouse; `inImageOffset` is its top-left corner
// relative to the mouse. badImageErr for a nil image; the image is retained.
OSStatus SetDragImageWithCGImage(DragRef inDrag, CGImageRef inCGImage, const HIPoint* inImageOffset,
                                 DragImageFlags inImageFlags);

// Called while the drag moves over this program's windows, before the
// views hear of it: it may change the mouse (global) and the modifiers.
typedef OSErr (*DragInputProcPtr)(Point* mouse, SInt16* modifiers, void* dragInputRefCon, DragRef theDrag);
typedef DragInputProcPtr DragInputUPP;
OSErr SetDragInputProc(DragRef theDrag, DragInputUPP inputProc, void* dragInputRefCon);

// Runs the drag from the mouse-down `theEvent` until the button is
// released: the user carries it to a view of ours or to another program.
// noErr when it was dropped and accepted; userCanceledErr when it was
// dropped nowhere, refused or cancelled; paramErr for a nil event;
// badDragRefErr; duplicateHandlerErr when the drag is being tracked.
OSErr TrackDrag(DragRef theDrag, const EventRecord* theEvent, RgnHandle theRegion);

// ---- opting in ----

// Drags arriving over the window are tracked for its views that opted in.
OSStatus SetAutomaticControlDragTrackingEnabledForWindow(WindowRef inWindow, Boolean inTracks);
OSStatus IsAutomaticControlDragTrackingEnabledForWindow(WindowRef inWindow, Boolean* outTracks);
OSStatus SetControlDragTrackingEnabled(ControlRef inControl, Boolean inTracks);
OSStatus IsControlDragTrackingEnabled(ControlRef inControl, Boolean* outTracks);

// A window's drag tracking handler (nil window: every window of ours):
// enter handler, enter window, in window (every move), leave window,
// leave handler. Its status is not used.
typedef OSErr (*DragTrackingHandlerProcPtr)(DragTrackingMessage message, WindowRef theWindow, void* handlerRefCon,
                                            DragRef theDrag);
typedef DragTrackingHandlerProcPtr DragTrackingHandlerUPP;
// duplicateHandlerErr for a handler already installed with that window and refCon.
OSErr InstallTrackingHandler(DragTrackingHandlerUPP trackingHandler, WindowRef theWindow, void* handlerRefCon);
// handlerNotFoundErr for one not installed.
OSErr RemoveTrackingHandler(DragTrackingHandlerUPP trackingHandler, WindowRef theWindow);
