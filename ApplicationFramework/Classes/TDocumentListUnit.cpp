#include "TDocumentListUnit.h"

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <ApplicationFramework/Classes/TDocumentListReview.h>
#include <ApplicationFramework/Classes/TNavDialogsUnit.h>
#include <ApplicationFramework/Classes/TViewUnit.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <HIToolbox/MacWindows.h>
#include <Support/Diagnostics.h>

#include <climits>
#include <cstring>
#include <string>

BRINDLET_DEFINE_CLASS(TDocument, TObject)
BRINDLET_DEFINE_CLASS(TDocumentList, TObject)

namespace {

// Documents are held by identity and not owned: a document belongs to its
// program, which removes it from the list before freeing it.
const CFArrayCallBacks kDocumentCallBacks = {0, CFRetainPointerCallback, nullptr, nullptr, nullptr};

TDocument* DocumentAt(CFArrayRef list, CFIndex index)
{
    return static_cast<TDocument*>(const_cast<void*>(CFArrayGetValueAtIndex(list, index)));
}

}  // namespace

// ---- TDocument ----

void TDocument::Deallocate()
{
    ReleaseObject(view_);
    Inherited::Deallocate();
}

bool TDocument::HasValidFile()
{
    return FSValidFSRef(GetFile());
}

void TDocument::SetView(TView* view)
{
    RetainObject(view_, view);
}

// ---- TDocumentList ----

void TDocumentList::Initialize()
{
    Inherited::Initialize();
    documents_ = CFArrayCreateMutable(nullptr, 0, &kDocumentCallBacks);
}

void TDocumentList::Deallocate()
{
    if (documents_ != nullptr)
        CFRelease(documents_);
    documents_ = nullptr;
    active_ = nullptr;
    Inherited::Deallocate();
}

CFArrayRef TDocumentList::GetDirtyDocuments()
{
    CFMutableArrayRef dirty = CFArrayCreateMutable(nullptr, 0, &kDocumentCallBacks);
    for (CFIndex i = 0; i < CFArrayGetCount(documents_); ++i) {
        if (DocumentAt(documents_, i)->IsDirty())
            CFArrayAppendValue(dirty, DocumentAt(documents_, i));
    }
    return dirty;
}

bool TDocumentList::ContainsDirtyDocuments()
{
    for (CFIndex i = 0; i < CFArrayGetCount(documents_); ++i) {
        if (DocumentAt(documents_, i)->IsDirty())
            return true;
    }
    return false;
}

TDocument* TDocumentList::GetNext()
{
    const CFIndex count = CFArrayGetCount(documents_);
    const CFIndex index = CFArrayGetFirstIndexOfValue(documents_, CFRangeMake(0, count), active_);
    if (active_ == nullptr || index < 0)
        return nullptr;
    return DocumentAt(documents_, (index + 1) % count);
}

SInt16 TDocumentList::GetCount()
{
    return static_cast<SInt16>(CFArrayGetCount(documents_));
}

CFArrayRef TDocumentList::CopyList()
{
    const CFIndex count = CFArrayGetCount(documents_);
    if (count == 0)
        return nullptr;
    CFMutableArrayRef list = CFArrayCreateMutable(nullptr, count, &kCFTypeArrayCallBacks);
    for (CFIndex i = 0; i < count; ++i) {
        CFDataRef entry = CreateDocumentListEntry(DocumentAt(documents_, i)->GetFile());
        CFArrayAppendValue(list, entry);
        CFRelease(entry);
    }
    return list;
}

CFDataRef CreateDocumentListEntry(const FSRef& file)
{
    char path[PATH_MAX] = {};
    if (!FSValidFSRef(file) || FSRefMakePath(&file, reinterpret_cast<UInt8*>(path), sizeof path) != noErr)
        path[0] = 0;
    return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(path), static_cast<CFIndex>(std::strlen(path)));
}

bool GetDocumentListEntryFile(CFTypeRef entry, FSRef& file)
{
    file = FSRef{};
    if (entry == nullptr || CFGetTypeID(entry) != CFDataGetTypeID())
        return false;
    CFDataRef data = static_cast<CFDataRef>(entry);
    const CFIndex length = CFDataGetLength(data);
    if (length <= 0 || length >= PATH_MAX)
        return false;
    std::string path(reinterpret_cast<const char*>(CFDataGetBytePtr(data)), static_cast<size_t>(length));
    if (path[0] != '/' || path.find('\0') != std::string::npos)
        return false;
    return FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &file, nullptr) == noErr;
}

void TDocumentList::ApplyFunction(TDocumentListApplierFunction function, void* context)
{
    if (function == nullptr)
        return;
    for (CFIndex i = 0; i < CFArrayGetCount(documents_); ++i)
        function(DocumentAt(documents_, i), context);
}

TDocument* TDocumentList::FindDocument(const FSRef& item)
{
    for (CFIndex i = 0; i < CFArrayGetCount(documents_); ++i) {
        const FSRef file = DocumentAt(documents_, i)->GetFile();
        if (FSCompareFSRefs(&file, &item) == noErr)
            return DocumentAt(documents_, i);
    }
    return nullptr;
}

void TDocumentList::Clear()
{
    CFArrayRemoveAllValues(documents_);
    active_ = nullptr;
}

void TDocumentList::Append(TDocument* document)
{
    if (document == nullptr)
        return;
    CFArrayAppendValue(documents_, document);
    active_ = document;
}

bool TDocumentList::Contains(const TDocument* document) const
{
    return document != nullptr &&
           CFArrayGetFirstIndexOfValue(documents_, CFRangeMake(0, CFArrayGetCount(documents_)), document) >= 0;
}

void TDocumentList::Remove(TDocument* document)
{
    const CFIndex index =
        CFArrayGetFirstIndexOfValue(documents_, CFRangeMake(0, CFArrayGetCount(documents_)), document);
    if (document == nullptr || index < 0)
        return;
    active_ = nullptr;
    CFArrayRemoveValueAtIndex(documents_, index);
}

void TDocumentList::Select(TDocument* document)
{
    if (Contains(document) && document->GetView() != nullptr)
        document->GetView()->SelectViewObject();
}

void RemoveDocumentFromList(TDocument* document, WindowRef window)
{
    TDocumentList* list = nullptr;
    if (GetWindowProperty(window, FourCC("WIND"), kWindowPropertyTagDocumentList, sizeof list, nullptr, &list) !=
            noErr ||
        !TObject::IsLiveObject(list))
        return;
    list->Remove(document);
}

// ---- the review of unsaved documents ----

BRINDLET_DEFINE_CLASS(TReviewFilesBrowser, TDataBrowser)
BRINDLET_DEFINE_CLASS(TReviewFilesWindow, TWindow)

namespace {

constexpr OSType kReviewColumnFile = FourCC("FILE");
constexpr OSType kReviewColumnPath = FourCC("PATH");

CFMutableArrayRef CopyDocuments(CFArrayRef documents)
{
    CFMutableArrayRef copy = CFArrayCreateMutable(nullptr, 0, &kDocumentCallBacks);
    if (documents != nullptr) {
        for (CFIndex i = 0; i < CFArrayGetCount(documents); ++i)
            CFArrayAppendValue(copy, CFArrayGetValueAtIndex(documents, i));
    }
    return copy;
}

// Why a close or a review came: 2 while quitting ('aqit'), 3 a window
// closing, 1 anything else.
UInt32 ActionOfEvent(EventRef event)
{
    Boolean quitting = false;
    if (event != nullptr &&
        GetEventParameter(event, kEventParamQuitting, typeBoolean, nullptr, sizeof quitting, nullptr, &quitting) ==
            noErr &&
        quitting)
        return kNavDialogActionQuit;
    if (event != nullptr && GetEventClass(event) == kEventClassWindow && GetEventKind(event) == kEventWindowClose)
        return kNavDialogActionCloseWindow;
    return kNavDialogActionPlain;
}

// The document leaves the window that shows it (its modified mark follows).
void RemoveFromParent(TDocument* document, WindowRef parent)
{
    if (TWindow* window = GetWindowObject(parent))
        window->RemoveDocument(document);
    else if (parent != nullptr)
        RemoveDocumentFromList(document, parent);
}

void ReleaseDocumentView(TDocument* document, WindowRef parent)
{
    TView* view = document->GetView();
    if (view == nullptr || view == GetWindowObject(parent))
        return;
    view->Retain();
    document->SetView(nullptr);
    view->ReleaseViewObject();
    view->Release();
}

// What goes on once the documents of a review are dealt with: the parent
// closes (and, while quitting, its close sends 'quit' on), or without a
// parent the quit goes on.
void ContinueAfterReview(UInt32 action, WindowRef parent)
{
    if ((action == kNavDialogActionCloseWindow || action == kNavDialogActionQuit) && parent != nullptr &&
        IsValidWindowPtr(parent)) {
        EventRef close = nullptr;
        if (CreateEvent(nullptr, kEventClassWindow, kEventWindowClose, GetCurrentEventTime(), 0, &close) != noErr)
            return;
        SetEventParameter(close, kEventParamDirectObject, typeWindowRef, sizeof parent, &parent);
        SendEventToEventTarget(close, GetWindowEventTarget(parent));
        ReleaseEvent(close);
    } else if (action == kNavDialogActionQuit && ApplicationQuitting) {
        SendHICommand(GetApplicationEventTarget(), kHICommandQuit);
    }
}

// What the review question works on while it is up.
struct ReviewRequest {
    WindowRef parent;
    UInt32 action;
    CFMutableArrayRef documents;
    bool sheet;
};

}  // namespace

void TReviewFilesBrowser::Deallocate()
{
    if (documents_ != nullptr)
        CFRelease(documents_);
    documents_ = nullptr;
    Inherited::Deallocate();
}

void TReviewFilesBrowser::SetDocuments(CFArrayRef documents, bool listUnsaved)
{
    if (documents != nullptr)
        CFRetain(documents);
    if (documents_ != nullptr)
        CFRelease(documents_);
    documents_ = documents;
    listUnsaved_ = listUnsaved;
}

TDocument* TReviewFilesBrowser::DocumentOfItem(DataBrowserItemID item) const
{
    if (documents_ == nullptr || item == 0 || item > static_cast<DataBrowserItemID>(CFArrayGetCount(documents_)))
        return nullptr;
    TDocument* document = DocumentAt(documents_, item - 1);
    return TObject::IsLiveObject(document) ? document : nullptr;
}

void TReviewFilesBrowser::Reload()
{
    RemoveAll();
    if (documents_ == nullptr)
        return;
    for (CFIndex i = 0; i < CFArrayGetCount(documents_); ++i) {
        TDocument* document = DocumentOfItem(static_cast<DataBrowserItemID>(i + 1));
        if (document != nullptr && (document->HasValidFile() || listUnsaved_))
            AddItem(static_cast<DataBrowserItemID>(i + 1), kDataBrowserNoItem, 0);
    }
    SelectAll();
}

OSStatus TReviewFilesBrowser::HandleItemData(DataBrowserItemID item, DataBrowserPropertyID property,
                                             DataBrowserItemDataRef itemData, bool setValue)
{
    TDocument* document = DocumentOfItem(item);
    if (document == nullptr || setValue)
        return noErr;
    if (property == kReviewColumnFile) {
        SetDataBrowserItemDataText(itemData, CFSTR(document->GetDisplayName()));
        IconRef icon = document->HasValidFile() ? FSCopyIcon(document->GetFile()) : nullptr;
        if (icon == nullptr)
            GetIconRef(kOnSystemDisk, kSystemIconsCreator, FourCC("unfs"), &icon);
        if (icon != nullptr) {
            SetDataBrowserItemDataIcon(itemData, icon);
            ReleaseIconRef(icon);
        }
    } else if (property == kReviewColumnPath && document->HasValidFile()) {
        if (CFStringRef path = FSCopyPath(document->GetFile())) {
            SetDataBrowserItemDataText(itemData, path);
            CFRelease(path);
        }
    }
    return noErr;
}

TReviewFilesWindow* TReviewFilesWindow::CreateReview(TWindow* parent, UInt32 action, CFArrayRef documents,
                                                     bool listUnsaved, IBNibRef nib)
{
    TReviewFilesWindow* review = AllocateInstance<TReviewFilesWindow>();
    review->SetNibWindow("Review Dialog", nib);
    WindowRef parentWindow = parent != nullptr ? parent->GetWindowRef() : nullptr;
    review->SetSheetParent(parentWindow);
    review->Initialize();
    HIViewRef list = nullptr;
    const HIViewID listID = {FourCC("FILE"), 128};
    if (review->GetWindowRef() == nullptr || HIViewFindByID(review->GetRoot(), listID, &list) != noErr) {
        Diagnostics::WriteLine("Warning: The review window \"Review Dialog\" could not be made.");
        if (review->GetWindowRef() != nullptr)
            review->Remove();
        else
            review->Release();
        return nullptr;
    }
    review->parent_ = parent;
    review->parentWindow_ = parentWindow;
    review->action_ = action;
    review->documents_ = CopyDocuments(documents);
    // The view keeps its browser object.
    review->browser_ = static_cast<TReviewFilesBrowser*>(
        TDataBrowser::CreateWithClass(TReviewFilesBrowser::StaticClass(), list, review, 0));
    review->browser_->SetDocuments(review->documents_, listUnsaved);
    review->browser_->Reload();
    if (parentWindow == nullptr)
        HIWindowChangeClass(review->GetWindowRef(), kMovableModalWindowClass);
    NoteSheetShown(parentWindow);
    review->sheetNoted_ = true;
    review->Show();
    return review;
}

void TReviewFilesWindow::NoteGone()
{
    if (sheetNoted_)
        NoteSheetGone(parentWindow_);
    sheetNoted_ = false;
}

void TReviewFilesWindow::Deallocate()
{
    NoteGone();
    // The documents go with the review, once, whoever released it last.
    if (documents_ != nullptr)
        CFRelease(documents_);
    documents_ = nullptr;
    Inherited::Deallocate();
}

void TReviewFilesWindow::SetActionWithEvent(EventRef event)
{
    action_ = ActionOfEvent(event);
}

SInt32 TReviewFilesWindow::Save()
{
    TTypeArray* selection = browser_ != nullptr ? browser_->CopySelection() : nullptr;
    for (SInt32 i = 0; selection != nullptr && i < selection->Count(); ++i) {
        const auto item = static_cast<DataBrowserItemID>(selection->GetIntegerValue(i));
        TDocument* document = browser_->DocumentOfItem(item);
        if (document == nullptr)
            continue;
        if (!document->HasValidFile()) {
            // A document without a file gets one first, from a Save As of
            // its own (modal: this sheet stays up meanwhile).
            TNavDialogs* saveAs = TNavDialogs::Create();
            saveAs->SetAction(UInt32(0));
            saveAs->SaveAsDialog(document);
            if (document->HasValidFile() && !document->IsDirty()) {
                browser_->RemoveItem(item, kDataBrowserNoItem);
                RemoveFromParent(document, parentWindow_);
            }
            continue;
        }
        document->SetSaving(true, action_);
        const OSStatus status = document->Save();
        document->SetSaving(false);
        Err = status;
        if (status == noErr) {
            document->SetDirty(false);
            browser_->RemoveItem(item, kDataBrowserNoItem);
            RemoveFromParent(document, parentWindow_);
        } else {
            ReportSaveFailure(document, nullptr, status);
        }
    }
    if (selection != nullptr)
        selection->Release();
    if (browser_ != nullptr && browser_->CountItems() == 0)
        Shut();
    return noErr;
}

void TReviewFilesWindow::TakeDown()
{
    NoteGone();
    if (WindowRef window = GetWindowRef()) {
        if (IsWindowVisible(window)) {
            if (parentWindow_ != nullptr)
                HideSheetWindow(window);
            else
                HideWindow(window);
        }
        // The window's dispose releases the object.
        DisposeWindow(window);
    }
}

SInt32 TReviewFilesWindow::Shut()
{
    Retain();
    for (CFIndex i = 0; documents_ != nullptr && i < CFArrayGetCount(documents_); ++i) {
        TDocument* document = DocumentAt(documents_, i);
        if (TObject::IsLiveObject(document))
            RemoveFromParent(document, parentWindow_);
    }
    TakeDown();
    ReleaseOwner();
    Release();
    return noErr;
}

void TReviewFilesWindow::ReleaseOwner()
{
    ContinueAfterReview(action_, parentWindow_);
}

void TReviewFilesWindow::ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result)
{
    switch (command.commandID) {
    case FourCC("save"):
        Retain();
        result = Save();
        Release();
        return;
    case FourCC("dont"):
        result = Shut();
        return;
    case FourCC("not!"):
        // The user keeps the documents: the quit, if any, is over.
        ApplicationQuitting = false;
        Retain();
        TakeDown();
        Release();
        result = noErr;
        return;
    default:
        Inherited::ProcessCommand(command, event, result);
        return;
    }
}

void OpenReviewFilesDialog(TWindow* parent, UInt32 action, CFArrayRef documents, EventRef event, IBNibRef nib)
{
    if (documents == nullptr || CFGetTypeID(documents) != CFArrayGetTypeID() || CFArrayGetCount(documents) == 0)
        return;
    if (parent != nullptr && !TObject::IsLiveObject(parent))
        parent = nullptr;
    WindowRef parentWindow = parent != nullptr ? parent->GetWindowRef() : nullptr;
    // A window that asks already (a sheet is up) is not asked twice.
    if (WindowHasSheet(parentWindow))
        return;
    if (event != nullptr)
        action = ActionOfEvent(event);
    // A review met on the way out goes on with the quit once it is done.
    if (ApplicationQuitting)
        action = kNavDialogActionQuit;

    CFIndex unsaved = 0;
    for (CFIndex i = 0; i < CFArrayGetCount(documents); ++i) {
        TDocument* document = DocumentAt(documents, i);
        if (TObject::IsLiveObject(document) && !document->HasValidFile())
            ++unsaved;
    }
    if (unsaved == 0) {
        TReviewFilesWindow::CreateReview(parent, action, documents, false, nib);
        return;
    }

    auto* request = new ReviewRequest{parentWindow, action, CopyDocuments(documents), false};
    NavDialogCreationOptions options{};
    NavGetDefaultDialogCreationOptions(&options);
    options.clientName = CFSTR("Review");
    if (parentWindow != nullptr) {
        options.parentWindow = parentWindow;
        options.modality = kWindowModalityWindowModal;
    }
    NavDialogRef dialog = nullptr;
    if (NavCreateAskReviewDocumentsDialog(&options, static_cast<UInt32>(unsaved), NavEventHandler, request, &dialog) !=
        noErr) {
        CFRelease(request->documents);
        delete request;
        return;
    }
    if (parentWindow != nullptr) {
        NoteSheetShown(parentWindow);
        request->sheet = true;
    }
    NavDialogRun(dialog);
}

void NavEventHandler(NavEventCallbackMessage selector, NavCBRecPtr record, void* data)
{
    auto* request = static_cast<ReviewRequest*>(data);
    auto sheetGone = [request] {
        if (request->sheet)
            NoteSheetGone(request->parent);
        request->sheet = false;
    };
    if (selector == kNavCBTerminate) {
        sheetGone();
        NavDialogDispose(record->context);
        CFRelease(request->documents);
        delete request;
        return;
    }
    if (selector != kNavCBUserAction)
        return;
    WindowRef parentWindow = IsValidWindowPtr(request->parent) ? request->parent : nullptr;
    TWindow* parent = GetWindowObject(parentWindow);
    switch (record->userAction) {
    case kNavUserActionCancel:
        ApplicationQuitting = false;
        break;
    case kNavUserActionReviewDocuments:
        // Every document is reviewed, those without a file as well.
        sheetGone();
        TReviewFilesWindow::CreateReview(parent, request->action, request->documents, true, ApplicationNib);
        break;
    case kNavUserActionDiscardDocuments: {
        sheetGone();
        CFMutableArrayRef remaining = CFArrayCreateMutable(nullptr, 0, &kDocumentCallBacks);
        for (CFIndex i = 0; i < CFArrayGetCount(request->documents); ++i) {
            TDocument* document = DocumentAt(request->documents, i);
            if (!TObject::IsLiveObject(document))
                continue;
            if (document->HasValidFile()) {
                CFArrayAppendValue(remaining, document);
                continue;
            }
            // Dropped: it leaves the window, so that the window closing
            // next does not ask about it again.
            ReleaseDocumentView(document, parentWindow);
            RemoveFromParent(document, parentWindow);
        }
        if (CFArrayGetCount(remaining) > 0)
            OpenReviewFilesDialog(parent, request->action, remaining, nullptr, ApplicationNib);
        else
            ContinueAfterReview(request->action, parentWindow);
        CFRelease(remaining);
        break;
    }
    default:
        break;
    }
}
