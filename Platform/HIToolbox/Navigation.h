// Navigation Services: the file dialogs (get file, choose folder, put file)
// and the two questions about unsaved documents (ask to save changes, ask to
// review several documents).
//
// A dialog is made by one of the NavCreate… calls and shown by NavDialogRun:
// as a sheet of `parentWindow` when the creation options ask for window
// modality (NavDialogRun answers at once and the event callback hears of the
// user's choice later, from the main loop), otherwise application-modal
// (NavDialogRun returns once the user chose; the callback has run by then).
// The callback gets, in this order: kNavCBCustomize and kNavCBStart when the
// dialog is run, kNavCBUserAction once the user chose (NavDialogGetUserAction
// and NavDialogGetReply answer from then on), then kNavCBTerminate, the last
// message, after which the client disposes of the dialog (it may do so
// inside that call).
//
// The file dialogs are Qt's own (not the desktop's), the questions message
// boxes. A reply's selection is a list of typeFSRef items: the chosen files
// or folders, or, for a put-file dialog, the folder the file goes into with
// the typed name in `saveFileName`; `replacing` says the user agreed to
// replace an existing file of that name. The folder a dialog was left in is
// kept per preference key (a key of 0 keeps none) in the application's
// preferences, and a dialog with that key opens there the next time.
//
// Without a widget application nothing can be shown: the dialog's title is
// written as a "Warning: " line and the dialog is answered as cancelled.
// Tests answer dialogs with a NavDialogScript (HIToolbox/NavigationTesting.h).
#pragma once

#include <CoreServices/AppleEvents.h>
#include <HIToolbox/MacWindows.h>

typedef struct OpaqueNavDialogRef* NavDialogRef;
typedef UInt32 NavDialogOptionFlags;
typedef UInt32 NavUserAction;
typedef SInt32 NavEventCallbackMessage;
typedef UInt32 NavAskSaveChangesAction;
typedef SInt32 NavCustomControlMessage;
typedef UInt32 NavFilterModes;
typedef UInt32 NavTranslationOptions;
typedef UInt32 WindowModality;

enum : WindowModality {
    kWindowModalityNone = 0,
    kWindowModalitySystemModal = 1,
    kWindowModalityAppModal = 2,
    kWindowModalityWindowModal = 3,
};

enum : NavDialogOptionFlags {
    kNavNoTypePopup = 0x00000001,
    kNavDontAddTranslateItems = 0x00000004,
    kNavAllowStationery = 0x00000020,
    kNavAllowPreviews = 0x00000040,
    // A get-file dialog lets the user choose several files.
    kNavAllowMultipleFiles = 0x00000080,
    // Hidden files (names beginning with ".") are shown.
    kNavAllowInvisibleFiles = 0x00000100,
    // A put-file dialog does not ask before replacing a file.
    kNavDontConfirmReplacement = 0x00010000,
    kNavDefaultNavDlogOptions =
        kNavDontAddTranslateItems | kNavAllowStationery | kNavAllowPreviews | kNavAllowMultipleFiles,
};

enum : NavUserAction {
    kNavUserActionNone = 0,
    kNavUserActionCancel = 1,
    kNavUserActionOpen = 2,
    kNavUserActionSaveAs = 3,
    kNavUserActionChoose = 4,
    kNavUserActionNewFolder = 5,
    kNavUserActionSaveChanges = 6,
    kNavUserActionDontSaveChanges = 7,
    kNavUserActionDiscardChanges = 8,
    kNavUserActionReviewDocuments = 9,
    kNavUserActionDiscardDocuments = 10,
};

enum : NavEventCallbackMessage {
    kNavCBEvent = 0,
    kNavCBCustomize = 1,
    kNavCBStart = 2,
    kNavCBTerminate = 3,
    kNavCBUserAction = 12,
};

// Why the ask-save-changes dialog asks (it words its question by it).
enum : NavAskSaveChangesAction {
    kNavSaveChangesOther = 0,
    kNavSaveChangesClosingDocument = 1,
    kNavSaveChangesQuittingApplication = 2,
};

// NavCustomControl selectors that are understood: the folder the dialog
// shows (parms: an AEDesc* of typeFSRef), and an accessory view.
enum : NavCustomControlMessage {
    kNavCtlSetLocation = 8,
    kNavCtlAddControl = 18,
};

enum : NavFilterModes {
    kNavFilteringBrowserList = 0,
};

enum : NavTranslationOptions {
    kNavTranslateInPlace = 0,
};

// Status codes of Navigation Services.
inline constexpr OSStatus kNavWrongDialogStateErr = -5694;
inline constexpr OSStatus kNavWrongDialogClassErr = -5695;
inline constexpr OSStatus kNavCustomControlMessageFailedErr = -5697;

struct NavDialogCreationOptions {
    UInt16 version;
    NavDialogOptionFlags optionFlags;
    Point location;
    CFStringRef clientName;         // borrowed: the caller keeps these until the dialog is made
    CFStringRef windowTitle;        // nil: the kind's own title
    CFStringRef actionButtonLabel;  // nil: the kind's own label
    CFStringRef cancelButtonLabel;
    CFStringRef saveFileName;  // the proposed name (put file); the document's name (ask save changes)
    CFStringRef message;       // shown in the dialog
    UInt32 preferenceKey;      // where the last folder is kept; 0: nowhere
    CFArrayRef popupExtension;
    WindowModality modality;
    WindowRef parentWindow;  // the window a window-modal dialog is a sheet of
    char reserved[16];
};

struct NavReplyRecord {
    UInt16 version;
    Boolean validRecord;
    Boolean replacing;
    Boolean isStationery;
    Boolean translationNeeded;
    AEDescList selection;      // typeFSRef items; owned by the reply
    CFStringRef saveFileName;  // owned by the reply; nil but for put file
    Boolean saveFileExtensionHidden;
    char reserved[32];
};

struct NavCBRec {
    UInt16 version;
    NavDialogRef context;
    WindowRef window;  // the parent of a sheet; nil otherwise
    Rect customRect;
    Rect previewRect;
    EventRef event;
    NavUserAction userAction;
    char reserved[32];
};
typedef NavCBRec* NavCBRecPtr;

// What a filter is told about an item besides its reference.
struct NavFileOrFolderInfo {
    UInt16 version;
    Boolean isFolder;
    Boolean visible;
};

typedef void (*NavEventProcPtr)(NavEventCallbackMessage callBackSelector, NavCBRecPtr callBackParms, void* callBackUD);
typedef NavEventProcPtr NavEventUPP;
// Answers whether the item (an AEDesc of typeFSRef) is shown. Folders are
// asked too.
typedef Boolean (*NavObjectFilterProcPtr)(AEDesc* theItem, void* info, void* callBackUD, NavFilterModes filterMode);
typedef NavObjectFilterProcPtr NavObjectFilterUPP;
typedef struct OpaqueNavPreviewProc* NavPreviewUPP;
typedef struct OpaqueNavTypeList** NavTypeListHandle;

inline NavEventUPP NewNavEventUPP(NavEventProcPtr proc)
{
    return proc;
}
inline void DisposeNavEventUPP(NavEventUPP) {}
inline NavObjectFilterUPP NewNavObjectFilterUPP(NavObjectFilterProcPtr proc)
{
    return proc;
}
inline void DisposeNavObjectFilterUPP(NavObjectFilterUPP) {}

// Version 0, kNavDefaultNavDlogOptions, the application's name as the
// client name, no texts, no key, application-modal, no parent. paramErr
// for nil.
OSStatus NavGetDefaultDialogCreationOptions(NavDialogCreationOptions* outOptions);

// Each makes a dialog (the caller's, NavDialogDispose) and answers noErr;
// paramErr, with `outDialog` untouched, for nil options, a nil result, or a
// window-modal dialog without a live parent window. `typeList` and the
// preview are not used (limit the types with
// NavDialogSetFilterTypeIdentifiers).
OSStatus NavCreateGetFileDialog(const NavDialogCreationOptions* inOptions, NavTypeListHandle inTypeList,
                                NavEventUPP inEventProc, NavPreviewUPP inPreviewProc, NavObjectFilterUPP inFilterProc,
                                void* inClientData, NavDialogRef* outDialog);
OSStatus NavCreateChooseFolderDialog(const NavDialogCreationOptions* inOptions, NavEventUPP inEventProc,
                                     NavObjectFilterUPP inFilterProc, void* inClientData, NavDialogRef* outDialog);
// The file type and creator are the ones the caller gives the file it
// makes; they are kept, not used.
OSStatus NavCreatePutFileDialog(const NavDialogCreationOptions* inOptions, OSType inFileType, OSType inFileCreator,
                                NavEventUPP inEventProc, void* inClientData, NavDialogRef* outDialog);
// Save, Don't Save, Cancel, about the document named by the options'
// saveFileName.
OSStatus NavCreateAskSaveChangesDialog(const NavDialogCreationOptions* inOptions, NavAskSaveChangesAction inAction,
                                       NavEventUPP inEventProc, void* inClientData, NavDialogRef* outDialog);
// Review Changes…, Cancel, Discard Changes, about `inDocumentCount`
// documents.
OSStatus NavCreateAskReviewDocumentsDialog(const NavDialogCreationOptions* inOptions, UInt32 inDocumentCount,
                                           NavEventUPP inEventProc, void* inClientData, NavDialogRef* outDialog);

// Shows the dialog (see the top of this file). kNavWrongDialogStateErr for a
// dialog run already; paramErr for nil or a value that is no dialog.
OSStatus NavDialogRun(NavDialogRef inDialog);
// Takes a dialog down (a sheet still up goes without a user action) and
// frees it. Safe inside the dialog's own callback.
void NavDialogDispose(NavDialogRef inDialog);
// kNavUserActionNone until the user chose; kNavUserActionNone for nil.
NavUserAction NavDialogGetUserAction(NavDialogRef inDialog);
// The parent of a sheet; nil otherwise.
WindowRef NavDialogGetWindow(NavDialogRef inDialog);
// The reply of an open, choose or save-as action (validRecord true); a
// dialog answered otherwise, or not yet, gives an invalid reply and noErr.
// paramErr, with `outReply` untouched, for nil or no dialog.
OSStatus NavDialogGetReply(NavDialogRef inDialog, NavReplyRecord* outReply);
OSStatus NavDisposeReply(NavReplyRecord* inReply);
// Shows only the files whose kind conforms to one of the identifiers (an
// array of CFStrings; nil: every file); folders are always shown.
OSStatus NavDialogSetFilterTypeIdentifiers(NavDialogRef inGetFileDialog, CFArrayRef inTypeIdentifiers);
// kNavCtlSetLocation: the folder the dialog shows (an AEDesc* holding an
// FSRef of an existing folder; paramErr otherwise). kNavCtlAddControl is
// accepted and shows nothing. Other selectors:
// kNavCustomControlMessageFailedErr.
OSStatus NavCustomControl(NavDialogRef inDialog, NavCustomControlMessage inSelector, void* ioParms);
// Nothing is left to do once the file was written: noErr for a valid reply,
// paramErr otherwise.
OSStatus NavCompleteSave(const NavReplyRecord* inReply, NavTranslationOptions inHowToTranslate);

// ---- our own additions ----

// The extensions (without the point, lower case) of the file kinds the
// identifiers name, each once, in the order of the identifiers; an
// identifier without a known extension adds none. For a file dialog's
// filter caption and for tests.
CFArrayRef NavCopyExtensionsForTypeIdentifiers(CFArrayRef typeIdentifiers);
// Whether a file of that path passes the identifiers (nil or empty: every
// file): its extension's kind conforms to one of them. Folders always pass.
Boolean NavFileConformsToTypeIdentifiers(const char* path, CFArrayRef typeIdentifiers);
