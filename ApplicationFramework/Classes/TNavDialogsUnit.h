// File dialogs: Open, Choose Folder, New File, Save As, and the question
// whether to save a document's changes. The owner makes the object, gives it
// a target, an action and its settings, and calls one of the dialog
// operations; the object then belongs to its dialog and releases itself when
// the dialog ends (also when the dialog cannot be made). An
// application-modal dialog is done when the call returns; a sheet answers
// later, from the main loop. The action is called with a TTypeDictionary of
// details: "file" (the chosen file or folder as FSRef bytes) and "name".
//
// The dialogs of a window's close path carry why they were asked (1 a
// document closing, 2 the application quitting, 3 the window closing; 0 a
// plain save): once the user saved or dropped the document, it leaves the
// window's document list and the close or the quit goes on.
#pragma once

#include <ApplicationFramework/Classes/TDocumentListUnit.h>
#include <Units/Classes/TArrayUnit.h>
#include <Units/Classes/TResponderUnit.h>

#include <HIToolbox/Navigation.h>
#include <HIToolbox/Nibs.h>

class TWindow;

// Why a save was asked for.
enum : UInt32 {
    kNavDialogActionPlain = 1,
    kNavDialogActionQuit = 2,
    kNavDialogActionCloseWindow = 3,
};

class TNavDialogs : public TResponder {
    BRINDLET_CLASS(TNavDialogs, TResponder)

public:
    static TNavDialogs* Create() { return CreateInstance<TNavDialogs>(); }
    void Deallocate() override;

    using TResponder::SetAction;
    virtual void SetParent(WindowRef window) { parentWindow_ = window; }
    // Why the save is asked for (see above).
    virtual void SetAction(UInt32 action) { action_ = action; }
    // 0 reads as no location.
    virtual void SetDefaultLocation(const FSRef& folder) { defaultLocation_ = folder; }
    // Each string is kept as a copy.
    virtual void SetWindowTitle(CFStringRef title);
    virtual void SetMessage(CFStringRef message);
    // Dialog option flags (Navigation.h); used when above 0.
    virtual void SetOptions(UInt32 options) { options_ = options; }
    virtual void SetSaveFileName(CFStringRef name);
    // 2 when the event carries 'aqit' true, 3 for a window-close event,
    // else 1.
    virtual void SetActionWithEvent(EventRef event);
    // The type identifiers the dialog shows files of (retained).
    virtual void SetFilterTypeIdentifiers(TArray* identifiers);
    // The documents a discard of the review acts on (retained).
    void SetDocuments(CFArrayRef documents);

    // Disposes of the dialog and releases the object.
    virtual void Terminate();
    virtual void HandleSingleResult(const FSRef& item);
    virtual void HandleNewFile(const FSRef& folder, CFStringRef name);
    virtual void HandleChooseResult(const FSRef& item);
    // Whether a file is shown (folders always are); every file here.
    virtual bool HandleFilterDocument(const FSRef& item);
    virtual void HandleActionOpen() {}
    virtual void HandleActionChoose() {}
    virtual void HandleActionDiscardDocuments() {}
    virtual void HandleActionSaveAs() {}
    virtual void HandleActionSaveChanges() {}
    virtual void HandleActionDontSaveChanges() {}
    // The document leaves the parent's list and its view goes; a close or
    // a quit then goes on (a window-close event to the parent).
    virtual void ReleaseOwner();
    virtual NavDialogCreationOptions GetDefaultDialogCreationOptions();
    virtual void ApplyAccessors();

    // The dialogs. Each answers the status of making the dialog; on
    // failure nothing runs and the object is released.
    OSStatus OpenDialog();
    OSStatus ChooseFolderDialog();
    OSStatus NewFileDialog();
    OSStatus SaveAsDialog();
    OSStatus SaveAsDialog(TDocument* document);
    OSStatus SaveDialog(TDocument* document);

    NavDialogRef GetDialog() const { return dialog_; }
    UInt32 GetAction() const { return action_; }
    TDocument* GetDocument() const { return document_; }
    WindowRef GetParent() const { return parentWindow_; }

    // Writes the document into `name` in `folder` and makes that its file.
    // With `replacing`, an existing file of that name is replaced whole and
    // only once the document was written (through a temporary beside it);
    // without, an existing name fails (dupFNErr). On failure the document
    // keeps its old file and the status is answered (and kept in Err).
    static OSStatus SaveDocumentAs(TDocument* document, const FSRef& folder, CFStringRef name, bool replacing,
                                   UInt32 reason);

protected:
    TNavDialogs() = default;

    // The accessory view taken from a nib window (subclasses set them).
    IBNibRef accessoryNib_ = nullptr;
    ShortString63 accessoryWindowName_;
    WindowRef accessoryWindow_ = nullptr;

private:
    friend void NavDialogsEventHandler(NavEventCallbackMessage, NavCBRecPtr, void*);

    OSStatus RunDialog(OSStatus created);
    void HandleUserAction(NavUserAction action);
    void SaveChosenFile();
    void SaveChanges();
    void SendCloseToParent();
    // A copy of this object with its target, action, parent and settings.
    TNavDialogs* CopySettings();

    NavDialogRef dialog_ = nullptr;
    NavDialogCreationOptions creationOptions_{};
    UInt32 options_ = 0;
    WindowRef parentWindow_ = nullptr;
    TDocument* document_ = nullptr;  // retained
    CFArrayRef documents_ = nullptr;
    UInt32 action_ = 0;
    FSRef defaultLocation_{};
    CFStringRef windowTitle_ = nullptr;
    CFStringRef saveFileName_ = nullptr;
    CFStringRef message_ = nullptr;
    TArray* filterTypeIdentifiers_ = nullptr;
    bool closeSent_ = false;
    bool registeredSheet_ = false;
};

void NavDialogsEventHandler(NavEventCallbackMessage selector, NavCBRecPtr record, void* object);
Boolean NavDialogsFilter(AEDesc* item, void* info, void* object, NavFilterModes mode);

// A window shows one sheet at a time: the file dialogs and the review of
// unsaved files note the window they are a sheet of while they are up.
bool WindowHasSheet(WindowRef window);
void NoteSheetShown(WindowRef window);
void NoteSheetGone(WindowRef window);

// Tells the user that the document could not be saved (an alert).
void ReportSaveFailure(TDocument* document, CFStringRef name, OSStatus status);
