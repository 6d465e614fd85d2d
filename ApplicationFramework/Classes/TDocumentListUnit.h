// Documents and the list of them every window keeps. The framework has no
// concrete document: programs derive from TDocument and answer its hooks.
// A list holds its documents by identity (retained), with one active
// document; the close path and the quit sequence ask it for dirty ones.
#pragma once

#include <Units/Classes/TObjectUnit.h>

#include <CoreServices/CoreServices.h>
#include <HIToolbox/Navigation.h>
#include <HIToolbox/Nibs.h>

class TView;
struct ApplicationOpenCommandOptions;

// What the framework asks of a document.
class TDocument : public TObject {
    BRINDLET_CLASS(TDocument, TObject)

public:
    static TDocument* Create() { return CreateInstance<TDocument>(); }
    void Deallocate() override;

    virtual ShortString GetDisplayName() { return displayName_; }
    void SetDisplayName(const ShortString& name) { displayName_ = name; }
    // The file; "saved" means it names one.
    virtual FSRef GetFile() { return file_; }
    void SetFile(const FSRef& file) { file_ = file; }
    bool HasValidFile();
    virtual bool IsDirty() { return dirty_; }
    virtual void SetDirty(bool dirty) { dirty_ = dirty; }
    // The view showing the document (retained); nil when none.
    virtual TView* GetView() { return view_; }
    void SetView(TView* view);
    // Writes the document to its file; the base has nothing to write.
    virtual OSStatus Save() { return noErr; }
    virtual OSStatus Revert() { return eventNotHandledErr; }
    // Opens the document again, as asked by the open command's options.
    virtual void Reopen(const ApplicationOpenCommandOptions&) {}
    // The document's own commands.
    virtual void ProcessCommand(const HICommandExtended&, EventRef, OSStatus&) {}
    // The field the save command resets before saving.
    SInt32 GetSaveField() const { return saveField_; }
    void SetSaveField(SInt32 value) { saveField_ = value; }
    // The type a file made for the document gets ('????': none).
    virtual OSType GetFileType() { return FourCC("????"); }
    // Set while a file dialog saves the document, with why the save was
    // asked for: 1 a document closing, 2 the application quitting, 3 the
    // window closing, 0 a plain save.
    bool IsSaving() const { return saving_; }
    UInt32 GetSaveReason() const { return saveReason_; }
    void SetSaving(bool saving, UInt32 reason = 0)
    {
        saving_ = saving;
        saveReason_ = saving ? reason : 0;
    }
    // Runs once a Save As put the document into its new file.
    virtual void HandleSavedAs() {}

protected:
    TDocument() = default;

private:
    ShortString displayName_;
    FSRef file_{};
    bool dirty_ = false;
    TView* view_ = nullptr;
    SInt32 saveField_ = 0;
    bool saving_ = false;
    UInt32 saveReason_ = 0;
};

typedef void (*TDocumentListApplierFunction)(TDocument* document, void* context);

class TDocumentList : public TObject {
    BRINDLET_CLASS(TDocumentList, TObject)

public:
    static TDocumentList* Create() { return CreateInstance<TDocumentList>(); }
    void Initialize() override;
    void Deallocate() override;

    // A new array (the caller releases it) of the dirty documents, in order.
    virtual CFArrayRef GetDirtyDocuments();
    virtual bool ContainsDirtyDocuments();
    virtual TDocument* GetActive() { return active_; }
    // The document after the active one, the first after the last; nil
    // without an active document in the list.
    virtual TDocument* GetNext();
    virtual SInt16 GetCount();
    // The array itself.
    virtual CFArrayRef GetList() { return documents_; }
    // A new array of the documents' files (one entry each, in order, see
    // CreateDocumentListEntry); nil for an empty list.
    virtual CFArrayRef CopyList();
    virtual void ApplyFunction(TDocumentListApplierFunction function, void* context);
    // The first document whose file is the item; nil when none.
    virtual TDocument* FindDocument(const FSRef& item);
    virtual void Clear();
    virtual void SetActive(TDocument* document) { active_ = document; }
    // Appends the document and makes it the active one.
    virtual void Append(TDocument* document);
    // Takes a listed document out; the list then has no active document.
    virtual void Remove(TDocument* document);
    // Brings a listed document's view forward.
    virtual void Select(TDocument* document);

    bool Contains(const TDocument* document) const;

protected:
    TDocumentList() = default;

private:
    CFMutableArrayRef documents_ = nullptr;
    TDocument* active_ = nullptr;
};

// How a document's file is kept in a stored document list: a data block
// holding the file's absolute path (UTF-8, no terminator), so that the
// entry still names the file in a later run; an empty block for no file.
CFDataRef CreateDocumentListEntry(const FSRef& file);
// The file an entry names; false (and `file` all zero) when it is no entry
// or names nothing that exists.
bool GetDocumentListEntryFile(CFTypeRef entry, FSRef& file);

// Window property (creator 'WIND') holding a window's document list.
inline constexpr OSType kWindowPropertyTagDocumentList = FourCC("docL");

// Removes the document from the list kept in the window's 'docL' property.
void RemoveDocumentFromList(TDocument* document, WindowRef window);

class TWindow;

// Lets the user save or drop several unsaved documents of `parent` (nil:
// of the application): when some never had a file, the question whether to
// review or discard them, else the review sheet of the "Review Dialog"
// window of `nib`. `action` says what goes on once they are dealt with: 1
// nothing, 2 the quit (so does every review while the application quits),
// 3 closing the parent; an event (the close that asked) decides it instead
// when given. Nothing happens while the parent shows a sheet already.
void OpenReviewFilesDialog(TWindow* parent, UInt32 action, CFArrayRef documents, EventRef event, IBNibRef nib);

// The events of the review question (the user data is what it reviews).
void NavEventHandler(NavEventCallbackMessage selector, NavCBRecPtr record, void* review);
