// The review of several unsaved documents (OpenReviewFilesDialog in
// TDocumentListUnit.h): a sheet listing the documents, every row selected,
// with Save (the selected ones), Don't Save (all of them) and Cancel. Once
// the documents are saved or dropped they leave the parent's document list
// and the window's close, or the application's quit, goes on.
#pragma once

#include <ApplicationFramework/Classes/TDataBrowserUnit.h>
#include <ApplicationFramework/Classes/TDocumentListUnit.h>
#include <ApplicationFramework/Classes/TWindowUnit.h>

// The list of the review: one row per document, its row ID the document's
// position in the array plus 1.
class TReviewFilesBrowser : public TDataBrowser {
    BRINDLET_CLASS(TReviewFilesBrowser, TDataBrowser)

public:
    void Deallocate() override;

    // The documents listed (the array is retained); with `listUnsaved`
    // documents that never had a file are listed too.
    void SetDocuments(CFArrayRef documents, bool listUnsaved);
    CFArrayRef GetDocuments() const { return documents_; }
    TDocument* DocumentOfItem(DataBrowserItemID item) const;

    // One row per listed document, every row selected.
    void Reload() override;
    OSStatus HandleItemData(DataBrowserItemID item, DataBrowserPropertyID property, DataBrowserItemDataRef itemData,
                            bool setValue) override;

protected:
    TReviewFilesBrowser() = default;

private:
    CFArrayRef documents_ = nullptr;
    bool listUnsaved_ = false;
};

class TReviewFilesWindow : public TWindow {
    BRINDLET_CLASS(TReviewFilesWindow, TWindow)

public:
    // The review sheet on `parent` (nil: a window of its own) from the nib
    // window "Review Dialog"; nil (with a warning) when the nib has none.
    static TReviewFilesWindow* CreateReview(TWindow* parent, UInt32 action, CFArrayRef documents, bool listUnsaved,
                                            IBNibRef nib);
    void Deallocate() override;

    // Saves the documents of the selected rows; a saved row goes, and when
    // none is left the sheet is shut. noErr.
    virtual SInt32 Save();
    // Drops every listed document from the parent, takes the sheet down and
    // lets the close or the quit go on. noErr.
    virtual SInt32 Shut();
    virtual void SetActionWithEvent(EventRef event);
    virtual void ReleaseOwner();

    void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result) override;
    // The sheet waits for the user's answer: a quit walking the windows
    // stops at it instead of closing it.
    void HandleClosing(OSStatus& result) override { result = noErr; }

    TReviewFilesBrowser* GetBrowser() const { return browser_; }
    UInt32 GetAction() const { return action_; }
    void SetAction(UInt32 action) { action_ = action; }

protected:
    TReviewFilesWindow() = default;

private:
    // Takes the sheet down and releases the window (and this object).
    void TakeDown();
    void NoteGone();

    TWindow* parent_ = nullptr;
    WindowRef parentWindow_ = nullptr;
    TReviewFilesBrowser* browser_ = nullptr;
    UInt32 action_ = 0;
    CFArrayRef documents_ = nullptr;
    bool sheetNoted_ = false;
};
