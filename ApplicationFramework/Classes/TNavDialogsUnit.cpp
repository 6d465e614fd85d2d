#include "TNavDialogsUnit.h"

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <ApplicationFramework/Classes/TWindowUnit.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <AppKit/NSAlert.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <HIToolbox/HIView.h>

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

BRINDLET_DEFINE_CLASS(TNavDialogs, TResponder)

namespace {

// Each file of the dialog's reply, in order; nothing without a reply.
template <typename Handle>
void ForEachChosenItem(NavDialogRef dialog, Handle handle)
{
    NavReplyRecord reply{};
    if (NavDialogGetReply(dialog, &reply) != noErr)
        return;
    long count = 0;
    AECountItems(&reply.selection, &count);
    for (long i = 1; i <= count; ++i) {
        FSRef item{};
        if (AEGetNthPtr(&reply.selection, i, typeFSRef, nullptr, nullptr, &item, sizeof item, nullptr) == noErr)
            handle(item);
    }
    NavDisposeReply(&reply);
}

std::multiset<WindowRef>& SheetParents()
{
    static std::multiset<WindowRef> parents;
    return parents;
}

void ReplaceString(CFStringRef& field, CFStringRef value)
{
    CFStringRef copy = value != nullptr ? CFStringCreateCopy(nullptr, value) : nullptr;
    if (field != nullptr)
        CFRelease(field);
    field = copy;
}

std::string PathOf(const FSRef& ref)
{
    char path[PATH_MAX] = {};
    if (FSRefMakePath(&ref, reinterpret_cast<UInt8*>(path), sizeof path) != noErr)
        return std::string();
    return path;
}

std::vector<UniChar> Characters(const std::string& text)
{
    CFStringRef string = CFStringCreateWithUTF8(text);
    std::vector<UniChar> characters(CFStringGetLength(string));
    CFStringGetCharacters(string, CFRangeMake(0, characters.size()), characters.data());
    CFRelease(string);
    return characters;
}

// A name of our writers' temporaries, hidden beside the file it stands in
// for, so that one a crash left behind is cleared away by the next writer
// in that folder.
std::string TemporaryName(const std::string& name)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static std::mt19937 random{std::random_device{}()};
    std::string cut = name.substr(0, 200);
    while (!cut.empty() && (static_cast<unsigned char>(cut.back()) & 0xC0) == 0x80)
        cut.pop_back();
    if (!cut.empty() && (static_cast<unsigned char>(cut.back()) & 0xC0) == 0xC0)
        cut.pop_back();
    std::string temporary = "." + cut + ".brindlet-save-" + std::to_string(getpid()) + "-";
    for (int i = 0; i < 8; ++i)
        temporary += kLetters[random() % (sizeof kLetters - 1)];
    return temporary;
}

OSStatus CreateTypedFile(const FSRef& folder, const std::string& name, OSType type, FSRef& file)
{
    FSCatalogInfo info{};
    FileInfo finder{};
    finder.fileType = type;
    finder.fileCreator = ApplicationSignature != 0 ? ApplicationSignature : FourCC("????");
    static_assert(sizeof finder <= sizeof info.finderInfo);
    std::memcpy(info.finderInfo, &finder, sizeof finder);
    const std::vector<UniChar> characters = Characters(name);
    return FSCreateFileUnicode(&folder, characters.size(), characters.data(), kFSCatInfoFinderInfo, &info, &file,
                               nullptr);
}

// The file on disk, its folder entry included.
OSStatus SyncFileAndFolder(const std::string& path, const std::string& folder)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return ioErr;
    const bool synced = fsync(fd) == 0;
    close(fd);
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return synced ? OSStatus(noErr) : OSStatus(ioErr);
}

TDocument* DocumentAt(CFArrayRef documents, CFIndex index)
{
    return static_cast<TDocument*>(const_cast<void*>(CFArrayGetValueAtIndex(documents, index)));
}

}  // namespace

bool WindowHasSheet(WindowRef window)
{
    return window != nullptr && SheetParents().count(window) > 0;
}

void NoteSheetShown(WindowRef window)
{
    if (window != nullptr)
        SheetParents().insert(window);
}

void NoteSheetGone(WindowRef window)
{
    const auto found = SheetParents().find(window);
    if (found != SheetParents().end())
        SheetParents().erase(found);
}

void ReportSaveFailure(TDocument* document, CFStringRef name, OSStatus status)
{
    const std::string documentName(document != nullptr ? document->GetDisplayName().View() : std::string_view());
    const std::string fileName = name != nullptr ? CFStringToUTF8(name) : documentName;
    // Owned here: the alert is done with when runModal returns.
    NSAlert* alert = NSAlert::newAlert();
    NSString* message = NSString::newWithUTF8String(
        ("The document “" + documentName + "” could not be saved as “" + fileName + "”.").c_str());
    const char* reason = status == dupFNErr          ? "A file of that name exists already."
                         : status == notAFileErr     ? "An item of that name exists already and is not a file."
                         : status == afpAccessDenied ? "You don’t have permission to write there."
                                                     : nullptr;
    NSString* informative = NSString::newWithUTF8String(
        reason != nullptr ? reason : ("The error was " + std::to_string(status) + ".").c_str());
    alert->setMessageText(message);
    alert->setInformativeText(informative);
    alert->setAlertStyle(NSAlertStyleCritical);
    message->release();
    informative->release();
    alert->runModal();
    alert->release();
}

// ---- settings ----

void TNavDialogs::Deallocate()
{
    if (registeredSheet_)
        NoteSheetGone(parentWindow_);
    registeredSheet_ = false;
    ReplaceString(windowTitle_, nullptr);
    ReplaceString(saveFileName_, nullptr);
    ReplaceString(message_, nullptr);
    ReleaseObject(filterTypeIdentifiers_);
    ReleaseObject(document_);
    if (documents_ != nullptr)
        CFRelease(documents_);
    documents_ = nullptr;
    Inherited::Deallocate();
}

void TNavDialogs::SetWindowTitle(CFStringRef title)
{
    ReplaceString(windowTitle_, title);
}

void TNavDialogs::SetMessage(CFStringRef message)
{
    ReplaceString(message_, message);
}

void TNavDialogs::SetSaveFileName(CFStringRef name)
{
    ReplaceString(saveFileName_, name);
}

void TNavDialogs::SetActionWithEvent(EventRef event)
{
    Boolean quitting = false;
    if (event != nullptr &&
        GetEventParameter(event, kEventParamQuitting, typeBoolean, nullptr, sizeof quitting, nullptr, &quitting) ==
            noErr &&
        quitting)
        action_ = kNavDialogActionQuit;
    else if (event != nullptr && GetEventClass(event) == kEventClassWindow && GetEventKind(event) == kEventWindowClose)
        action_ = kNavDialogActionCloseWindow;
    else
        action_ = kNavDialogActionPlain;
}

void TNavDialogs::SetFilterTypeIdentifiers(TArray* identifiers)
{
    RetainObject(filterTypeIdentifiers_, identifiers);
}

void TNavDialogs::SetDocuments(CFArrayRef documents)
{
    if (documents != nullptr)
        CFRetain(documents);
    if (documents_ != nullptr)
        CFRelease(documents_);
    documents_ = documents;
}

NavDialogCreationOptions TNavDialogs::GetDefaultDialogCreationOptions()
{
    NavDialogCreationOptions options{};
    NavGetDefaultDialogCreationOptions(&options);
    if (parentWindow_ != nullptr) {
        options.parentWindow = parentWindow_;
        options.modality = kWindowModalityWindowModal;
    } else {
        options.modality = kWindowModalityAppModal;
    }
    if (options_ > 0)
        options.optionFlags = options_;
    return options;
}

void TNavDialogs::ApplyAccessors()
{
    if (FSValidFSRef(defaultLocation_)) {
        AEDesc location{};
        AEInitializeDesc(&location);
        if (AECreateDesc(typeFSRef, &defaultLocation_, sizeof defaultLocation_, &location) == noErr) {
            NavCustomControl(dialog_, kNavCtlSetLocation, &location);
            AEDisposeDesc(&location);
        }
    }
    if (filterTypeIdentifiers_ != nullptr)
        NavDialogSetFilterTypeIdentifiers(dialog_, filterTypeIdentifiers_->CFType());
}

// ---- the dialogs ----

OSStatus TNavDialogs::RunDialog(OSStatus created)
{
    Err = created;
    if (created != noErr) {
        dialog_ = nullptr;
        Release();
        return created;
    }
    if (creationOptions_.modality == kWindowModalityWindowModal) {
        NoteSheetShown(parentWindow_);
        registeredSheet_ = true;
    }
    ApplyAccessors();
    NavDialogRun(dialog_);
    return noErr;
}

OSStatus TNavDialogs::OpenDialog()
{
    creationOptions_ = GetDefaultDialogCreationOptions();
    creationOptions_.windowTitle = windowTitle_ != nullptr ? windowTitle_ : CFSTR("Open");
    creationOptions_.message = message_;
    creationOptions_.preferenceKey = 3;
    return RunDialog(NavCreateGetFileDialog(&creationOptions_, nullptr, NavDialogsEventHandler, nullptr,
                                            NavDialogsFilter, this, &dialog_));
}

OSStatus TNavDialogs::ChooseFolderDialog()
{
    creationOptions_ = GetDefaultDialogCreationOptions();
    creationOptions_.windowTitle = windowTitle_ != nullptr ? windowTitle_ : CFSTR("Choose Folder");
    creationOptions_.message = message_;
    creationOptions_.preferenceKey = 2;
    return RunDialog(
        NavCreateChooseFolderDialog(&creationOptions_, NavDialogsEventHandler, NavDialogsFilter, this, &dialog_));
}

OSStatus TNavDialogs::NewFileDialog()
{
    creationOptions_ = GetDefaultDialogCreationOptions();
    creationOptions_.windowTitle = windowTitle_ != nullptr ? windowTitle_ : CFSTR("New File");
    creationOptions_.message = message_;
    creationOptions_.preferenceKey = 10;
    return RunDialog(NavCreatePutFileDialog(&creationOptions_, FourCC("????"), FourCC("????"), NavDialogsEventHandler,
                                            this, &dialog_));
}

OSStatus TNavDialogs::SaveAsDialog()
{
    creationOptions_ = GetDefaultDialogCreationOptions();
    creationOptions_.windowTitle = windowTitle_ != nullptr ? windowTitle_ : CFSTR("Save As");
    creationOptions_.message = message_;
    creationOptions_.preferenceKey = 4;
    creationOptions_.saveFileName = saveFileName_;
    return RunDialog(NavCreatePutFileDialog(&creationOptions_, FourCC("????"), FourCC("????"), NavDialogsEventHandler,
                                            this, &dialog_));
}

OSStatus TNavDialogs::SaveAsDialog(TDocument* document)
{
    RetainObject(document_, document);
    // A window shows one sheet at a time: the one up already asks.
    if (WindowHasSheet(parentWindow_)) {
        Release();
        return kNavWrongDialogStateErr;
    }
    creationOptions_ = GetDefaultDialogCreationOptions();
    creationOptions_.windowTitle = windowTitle_ != nullptr ? windowTitle_ : CFSTR("Save As");
    creationOptions_.message = message_;
    creationOptions_.preferenceKey = 4;
    CFStringRef name = document != nullptr ? CFSTR(document->GetDisplayName()) : saveFileName_;
    creationOptions_.saveFileName = name;
    const OSType type = document != nullptr ? document->GetFileType() : FourCC("????");
    return RunDialog(
        NavCreatePutFileDialog(&creationOptions_, type, ApplicationSignature, NavDialogsEventHandler, this, &dialog_));
}

OSStatus TNavDialogs::SaveDialog(TDocument* document)
{
    RetainObject(document_, document);
    if (WindowHasSheet(parentWindow_)) {
        Release();
        return kNavWrongDialogStateErr;
    }
    creationOptions_ = GetDefaultDialogCreationOptions();
    creationOptions_.windowTitle = windowTitle_ != nullptr ? windowTitle_ : CFSTR("Save");
    creationOptions_.message = message_;
    creationOptions_.preferenceKey = 5;
    creationOptions_.saveFileName = document != nullptr ? CFSTR(document->GetDisplayName()) : saveFileName_;
    const NavAskSaveChangesAction why =
        action_ == kNavDialogActionQuit ? kNavSaveChangesQuittingApplication : kNavSaveChangesClosingDocument;
    return RunDialog(NavCreateAskSaveChangesDialog(&creationOptions_, why, NavDialogsEventHandler, this, &dialog_));
}

TNavDialogs* TNavDialogs::CopySettings()
{
    TNavDialogs* copy = TNavDialogs::Create();
    copy->SetTarget(GetTarget());
    copy->SetAction(GetAction());
    copy->SetAction(GetActionCode());
    copy->SetAction(action_);
    copy->SetParent(parentWindow_);
    copy->SetWindowTitle(windowTitle_);
    copy->SetMessage(message_);
    copy->SetSaveFileName(saveFileName_);
    copy->SetOptions(options_);
    copy->SetDefaultLocation(defaultLocation_);
    copy->SetFilterTypeIdentifiers(filterTypeIdentifiers_);
    return copy;
}

// ---- results ----

void TNavDialogs::Terminate()
{
    if (registeredSheet_)
        NoteSheetGone(parentWindow_);
    registeredSheet_ = false;
    if (dialog_ != nullptr)
        NavDialogDispose(dialog_);
    dialog_ = nullptr;
    Release();
}

void TNavDialogs::HandleChooseResult(const FSRef& item)
{
    if (!IsActionValid())
        return;
    TTypeDictionary* details = TTypeDictionary::Create();
    details->SetDataValue("file", sizeof item, &item);
    if (CFStringRef name = FSCopyName(item)) {
        details->SetValue("name", name);
        CFRelease(name);
    }
    InvokeAction(details);
    details->Release();
}

void TNavDialogs::HandleSingleResult(const FSRef& item)
{
    HandleChooseResult(item);
    ApplicationOpenCommandOptions options = GetDefaultOpenCommandOptions();
    options.item = item;
    options.skipOpenCheck = true;
    options.fromOpenDialog = true;
    SendOpenDocumentCommandWithOptions(options);
}

void TNavDialogs::HandleNewFile(const FSRef& folder, CFStringRef name)
{
    if (!IsActionValid())
        return;
    TTypeDictionary* details = TTypeDictionary::Create();
    details->SetDataValue("file", sizeof folder, &folder);
    if (name != nullptr)
        details->SetValue("name", name);
    InvokeAction(details);
    details->Release();
}

bool TNavDialogs::HandleFilterDocument(const FSRef&)
{
    return true;
}

void TNavDialogs::SendCloseToParent()
{
    if (parentWindow_ == nullptr || !IsValidWindowPtr(parentWindow_))
        return;
    EventRef close = nullptr;
    if (CreateEvent(nullptr, kEventClassWindow, kEventWindowClose, GetCurrentEventTime(), 0, &close) != noErr)
        return;
    WindowRef window = parentWindow_;
    SetEventParameter(close, kEventParamDirectObject, typeWindowRef, sizeof window, &window);
    // The sheet is done: the window may ask again while it closes.
    if (registeredSheet_)
        NoteSheetGone(parentWindow_);
    registeredSheet_ = false;
    closeSent_ = true;
    SendEventToEventTarget(close, GetWindowEventTarget(window));
    ReleaseEvent(close);
}

void TNavDialogs::ReleaseOwner()
{
    if (document_ != nullptr) {
        // The document leaves the window whether or not it has a view, so
        // that the window closing next does not ask about it again.
        if (TWindow* parent = GetWindowObject(parentWindow_))
            parent->RemoveDocument(document_);
        else if (parentWindow_ != nullptr)
            RemoveDocumentFromList(document_, parentWindow_);
        TView* view = document_->GetView();
        if (view != nullptr && view != GetWindowObject(parentWindow_)) {
            view->Retain();
            document_->SetView(nullptr);
            view->ReleaseViewObject();
            view->Release();
        }
    }
    if ((action_ == kNavDialogActionQuit || action_ == kNavDialogActionCloseWindow) && parentWindow_ != nullptr)
        SendCloseToParent();
}

OSStatus TNavDialogs::SaveDocumentAs(TDocument* document, const FSRef& folder, CFStringRef name, bool replacing,
                                     UInt32 reason)
{
    const std::string folderPath = PathOf(folder);
    const std::string fileName = name != nullptr ? CFStringToUTF8(name) : std::string();
    if (document == nullptr || folderPath.empty() || fileName.empty() || fileName == "." || fileName == ".." ||
        fileName.find('/') != std::string::npos)
        return Err = paramErr;
    const std::string target = folderPath + "/" + fileName;
    struct stat existing {};
    const bool exists = lstat(target.c_str(), &existing) == 0;
    if (exists && !replacing)
        return Err = dupFNErr;
    if (exists && !S_ISREG(existing.st_mode))
        return Err = notAFileErr;

    const FSRef previous = document->GetFile();
    FSRef written{};
    // A file that is replaced stays whole until the document was written
    // beside it; a new name is made for the document at once.
    const std::string writtenName = exists ? TemporaryName(fileName) : fileName;
    OSStatus status = CreateTypedFile(folder, writtenName, document->GetFileType(), written);
    if (status != noErr)
        return Err = status;
    document->SetFile(written);
    document->SetSaving(true, reason);
    status = document->Save();
    document->SetSaving(false);
    const std::string writtenPath = folderPath + "/" + writtenName;
    if (status == noErr)
        status = SyncFileAndFolder(writtenPath, folderPath);
    // The one rename that replaces: the finished temporary over the file
    // the user agreed to replace.
    if (status == noErr && exists && rename(writtenPath.c_str(), target.c_str()) != 0)
        status = errno == EACCES || errno == EPERM ? OSStatus(afpAccessDenied) : OSStatus(ioErr);
    if (status == noErr && exists)
        SyncFileAndFolder(target, folderPath);
    FSRef saved{};
    if (status == noErr && FSPathMakeRefWithOptions(reinterpret_cast<const UInt8*>(target.c_str()),
                                                    kFSPathMakeRefDoNotFollowLeafSymlink, &saved, nullptr) != noErr)
        status = fnfErr;
    if (status != noErr) {
        unlink(writtenPath.c_str());
        document->SetFile(previous);
        return Err = status;
    }
    document->SetFile(saved);
    return Err = noErr;
}

void TNavDialogs::SaveChosenFile()
{
    NavReplyRecord reply{};
    if (NavDialogGetReply(dialog_, &reply) != noErr)
        return;
    if (!reply.validRecord) {
        NavDisposeReply(&reply);
        return;
    }
    FSRef folder{};
    AEGetNthPtr(&reply.selection, 1, typeFSRef, nullptr, nullptr, &folder, sizeof folder, nullptr);
    bool saved = true;
    if (document_ != nullptr) {
        const OSStatus status = SaveDocumentAs(document_, folder, reply.saveFileName, reply.replacing, action_);
        saved = status == noErr;
        if (saved) {
            document_->HandleSavedAs();
            document_->SetDisplayName(FSGetActualName(document_->GetFile()));
            document_->SetDirty(false);
            if (TWindow* parent = GetWindowObject(parentWindow_))
                parent->UpdateModifiedState();
            // A Save As of the close path closes the document.
            if (action_ != 0)
                ReleaseOwner();
        } else {
            ReportSaveFailure(document_, reply.saveFileName, status);
        }
    }
    // The owner hears of the new file only when there is one.
    if (saved) {
        HandleNewFile(folder, reply.saveFileName);
        NavCompleteSave(&reply, kNavTranslateInPlace);
    }
    NavDisposeReply(&reply);
}

void TNavDialogs::SaveChanges()
{
    if (document_ == nullptr)
        return;
    if (!document_->HasValidFile()) {
        // Never saved: a Save As for it goes on with this dialog's purpose,
        // once this sheet is gone.
        TNavDialogs* saveAs = CopySettings();
        if (registeredSheet_)
            NoteSheetGone(parentWindow_);
        registeredSheet_ = false;
        saveAs->SaveAsDialog(document_);
        // That sheet takes the close or quit on.
        closeSent_ = true;
        return;
    }
    document_->SetSaving(true, action_);
    document_->SetSaveField(0);
    const OSStatus status = document_->Save();
    document_->SetSaving(false);
    Err = status;
    if (status == noErr) {
        document_->SetDirty(false);
        ReleaseOwner();
    } else {
        ReportSaveFailure(document_, nullptr, status);
    }
}

void TNavDialogs::HandleUserAction(NavUserAction action)
{
    // The object stays while its own handling runs, whatever a close or a
    // quit it starts does.
    Retain();
    closeSent_ = false;
    switch (action) {
    case kNavUserActionOpen:
        HandleActionOpen();
        ForEachChosenItem(dialog_, [this](const FSRef& item) { HandleSingleResult(item); });
        break;
    case kNavUserActionChoose:
        HandleActionChoose();
        ForEachChosenItem(dialog_, [this](const FSRef& item) { HandleChooseResult(item); });
        break;
    case kNavUserActionSaveAs:
        HandleActionSaveAs();
        SaveChosenFile();
        break;
    case kNavUserActionSaveChanges:
        HandleActionSaveChanges();
        SaveChanges();
        break;
    case kNavUserActionDontSaveChanges:
        HandleActionDontSaveChanges();
        ReleaseOwner();
        break;
    case kNavUserActionDiscardDocuments:
        HandleActionDiscardDocuments();
        if (documents_ != nullptr) {
            for (CFIndex i = 0; i < CFArrayGetCount(documents_); ++i) {
                TDocument* document = DocumentAt(documents_, i);
                if (!TObject::IsLiveObject(document) || document->HasValidFile() || document->GetView() == nullptr)
                    continue;
                TView* view = document->GetView();
                view->Retain();
                document->SetView(nullptr);
                view->ReleaseViewObject();
                view->Release();
            }
        }
        break;
    default:
        break;
    }
    // Only the dialogs of a close take part in a quit: a plain Save As
    // (asked from the review sheet, say) leaves it to the one that asked.
    if (action_ != 0 && action == kNavUserActionCancel) {
        // The user stopped the close: so stops the quit.
        ApplicationQuitting = false;
    } else if (action_ != 0 && ApplicationQuitting && !closeSent_) {
        // A window that closed goes on with the quit itself.
        SendHICommand(GetApplicationEventTarget(), kHICommandQuit);
    }
    Release();
}

void NavDialogsEventHandler(NavEventCallbackMessage selector, NavCBRecPtr record, void* object)
{
    TNavDialogs* dialogs = static_cast<TNavDialogs*>(object);
    if (!TObject::IsLiveObject(dialogs))
        return;
    switch (selector) {
    case kNavCBCustomize: {
        if (dialogs->accessoryWindowName_.IsEmpty() || dialogs->accessoryNib_ == nullptr)
            break;
        if (CreateWindowFromNib(dialogs->accessoryNib_, CFSTR(ShortString(dialogs->accessoryWindowName_.View())),
                                &dialogs->accessoryWindow_) != noErr) {
            dialogs->accessoryWindow_ = nullptr;
            break;
        }
        HIViewRef pane = nullptr;
        const HIViewID paneID = {FourCC("PANE"), 128};
        HIRect frame{};
        if (HIViewFindByID(HIViewGetRoot(dialogs->accessoryWindow_), paneID, &pane) == noErr &&
            HIViewGetFrame(pane, &frame) == noErr) {
            const short width = static_cast<short>(frame.size.width);
            const short height = static_cast<short>(frame.size.height);
            if (record->customRect.right - record->customRect.left < width)
                record->customRect.right = static_cast<short>(record->customRect.left + width);
            if (record->customRect.bottom - record->customRect.top < height)
                record->customRect.bottom = static_cast<short>(record->customRect.top + height);
        }
        break;
    }
    case kNavCBStart:
        if (dialogs->accessoryWindow_ != nullptr) {
            HIViewRef pane = nullptr;
            const HIViewID paneID = {FourCC("PANE"), 128};
            if (HIViewFindByID(HIViewGetRoot(dialogs->accessoryWindow_), paneID, &pane) == noErr)
                NavCustomControl(dialogs->dialog_, kNavCtlAddControl, pane);
            DisposeWindow(dialogs->accessoryWindow_);
            dialogs->accessoryWindow_ = nullptr;
        }
        break;
    case kNavCBUserAction:
        dialogs->HandleUserAction(record->userAction);
        break;
    case kNavCBTerminate:
        dialogs->Terminate();
        break;
    default:
        break;
    }
}

Boolean NavDialogsFilter(AEDesc* item, void* info, void* object, NavFilterModes)
{
    TNavDialogs* dialogs = static_cast<TNavDialogs*>(object);
    const auto* itemInfo = static_cast<const NavFileOrFolderInfo*>(info);
    if (itemInfo != nullptr && itemInfo->isFolder)
        return true;
    FSRef file{};
    if (item == nullptr || AEGetDescData(item, &file, sizeof file) != noErr || !TObject::IsLiveObject(dialogs))
        return false;
    return dialogs->HandleFilterDocument(file);
}
