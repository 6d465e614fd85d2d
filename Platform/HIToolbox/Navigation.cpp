#include "Navigation.h"

#include "HIToolboxInternal.h"
#include "NavigationInternal.h"

#include <AppKit/ModalHold.h>
#include <CarbonCore/CarbonEventLoop.h>
#include <CoreFoundation/CFPreferences.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreServices/Files.h>
#include <CoreServices/UTType.h>
#include <Support/Diagnostics.h>
#include <Support/Paths.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSortFilterProxyModel>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

NavDialogResponder currentResponder;

}  // namespace

struct OpaqueNavDialogRef {
    NavDialogKind kind;
    NavDialogCreationOptions options{};
    NavEventUPP eventProc = nullptr;
    NavObjectFilterUPP filterProc = nullptr;
    void* clientData = nullptr;
    NavAskSaveChangesAction askAction = 0;
    UInt32 documentCount = 0;
    CFArrayRef typeIdentifiers = nullptr;  // retained
    std::string folder;                    // where a file dialog opens
    bool run = false;
    bool disposed = false;
    int holds = 0;  // calls under way that reach the dialog after a callback
    NavUserAction action = kNavUserActionNone;
    std::vector<FSRef> items;
    std::string saveName;
    bool replacing = false;
    EventLoopTimerRef timer = nullptr;  // a sheet's answer, due on the next pass
    NavDialogChoice pendingChoice;
    QPointer<QDialog> widget;
};

namespace {

std::set<NavDialogRef>& LiveDialogs()
{
    static std::set<NavDialogRef> dialogs;
    return dialogs;
}

NavDialogRef AsDialog(NavDialogRef dialog)
{
    return dialog != nullptr && LiveDialogs().count(dialog) ? dialog : nullptr;
}

std::string Text(CFStringRef string)
{
    return string != nullptr && CFGetTypeID(string) == CFStringGetTypeID() ? CFStringToUTF8(string) : std::string();
}

CFStringRef RetainedString(CFStringRef string)
{
    if (string == nullptr || CFGetTypeID(string) != CFStringGetTypeID())
        return nullptr;
    return static_cast<CFStringRef>(CFRetain(string));
}

void ReleaseIfSet(CFTypeRef value)
{
    if (value != nullptr)
        CFRelease(value);
}

bool IsFolder(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool IsRegularFile(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string NameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name the file system can hold in a folder: one component.
bool IsPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && name.size() <= 255;
}

CFStringRef FolderKey(UInt32 preferenceKey)
{
    return CFStringCreateWithUTF8(("NavLastFolder-" + std::to_string(preferenceKey)).c_str());
}

std::string LastFolder(UInt32 preferenceKey)
{
    if (preferenceKey == 0)
        return {};
    CFStringRef key = FolderKey(preferenceKey);
    CFPropertyListRef stored = CFPreferencesCopyAppValue(key, kCFPreferencesCurrentApplication);
    CFRelease(key);
    std::string folder;
    if (stored != nullptr && CFGetTypeID(stored) == CFStringGetTypeID())
        folder = CFStringToUTF8(static_cast<CFStringRef>(stored));
    ReleaseIfSet(stored);
    return !folder.empty() && folder[0] == '/' && IsFolder(folder) ? folder : std::string();
}

void KeepLastFolder(UInt32 preferenceKey, const std::string& folder)
{
    if (preferenceKey == 0 || folder.empty())
        return;
    CFStringRef key = FolderKey(preferenceKey);
    CFStringRef value = CFStringCreateWithUTF8(folder.c_str());
    CFPreferencesSetAppValue(key, value, kCFPreferencesCurrentApplication);
    CFRelease(value);
    CFRelease(key);
}

std::string StartFolder(UInt32 preferenceKey)
{
    std::string folder = LastFolder(preferenceKey);
    if (folder.empty())
        folder = IsFolder(Paths::DocumentsFolder()) ? Paths::DocumentsFolder() : Paths::Home();
    return folder;
}

OSStatus CreateDialog(NavDialogKind kind, const NavDialogCreationOptions* options, NavEventUPP eventProc,
                      void* clientData, NavDialogRef* outDialog)
{
    if (options == nullptr || outDialog == nullptr)
        return paramErr;
    if (options->modality == kWindowModalityWindowModal && !IsValidWindowPtr(options->parentWindow))
        return paramErr;
    auto* dialog = new OpaqueNavDialogRef;
    dialog->kind = kind;
    dialog->options = *options;
    // The texts are the dialog's own from here on.
    dialog->options.clientName = RetainedString(options->clientName);
    dialog->options.windowTitle = RetainedString(options->windowTitle);
    dialog->options.actionButtonLabel = RetainedString(options->actionButtonLabel);
    dialog->options.cancelButtonLabel = RetainedString(options->cancelButtonLabel);
    dialog->options.saveFileName = RetainedString(options->saveFileName);
    dialog->options.message = RetainedString(options->message);
    dialog->options.popupExtension = nullptr;
    if (options->modality != kWindowModalityWindowModal)
        dialog->options.parentWindow = nullptr;
    dialog->eventProc = eventProc;
    dialog->clientData = clientData;
    if (kind == NavDialogKind::GetFile || kind == NavDialogKind::ChooseFolder || kind == NavDialogKind::PutFile)
        dialog->folder = StartFolder(options->preferenceKey);
    LiveDialogs().insert(dialog);
    *outDialog = dialog;
    return noErr;
}

void FreeDialog(NavDialogRef dialog)
{
    ReleaseIfSet(dialog->options.clientName);
    ReleaseIfSet(dialog->options.windowTitle);
    ReleaseIfSet(dialog->options.actionButtonLabel);
    ReleaseIfSet(dialog->options.cancelButtonLabel);
    ReleaseIfSet(dialog->options.saveFileName);
    ReleaseIfSet(dialog->options.message);
    ReleaseIfSet(dialog->typeIdentifiers);
    delete dialog;
}

// Keeps a dialog whose callback may dispose of it until the call that
// reaches it afterwards is done.
class DialogHold {
public:
    explicit DialogHold(NavDialogRef dialog) : dialog_(dialog) { ++dialog_->holds; }
    ~DialogHold()
    {
        if (--dialog_->holds == 0 && dialog_->disposed)
            FreeDialog(dialog_);
    }
    DialogHold(const DialogHold&) = delete;
    DialogHold& operator=(const DialogHold&) = delete;

private:
    NavDialogRef dialog_;
};

void Deliver(NavDialogRef dialog, NavEventCallbackMessage message)
{
    if (dialog->disposed || dialog->eventProc == nullptr)
        return;
    NavCBRec record{};
    record.version = 0;
    record.context = dialog;
    record.window = dialog->options.parentWindow;
    record.userAction = dialog->action;
    dialog->eventProc(message, &record, dialog->clientData);
}

std::string DefaultTitle(NavDialogKind kind)
{
    switch (kind) {
    case NavDialogKind::GetFile:
        return "Open";
    case NavDialogKind::ChooseFolder:
        return "Choose a Folder";
    case NavDialogKind::PutFile:
        return "Save";
    default:
        return std::string();
    }
}

std::string Title(NavDialogRef dialog)
{
    const std::string title = Text(dialog->options.windowTitle);
    return title.empty() ? DefaultTitle(dialog->kind) : title;
}

std::string Question(NavDialogRef dialog)
{
    if (dialog->kind == NavDialogKind::AskSaveChanges) {
        const std::string name = Text(dialog->options.saveFileName);
        return "Do you want to save the changes you made in the document “" + name + "”" +
               (dialog->askAction == kNavSaveChangesQuittingApplication ? " before quitting?" : "?");
    }
    if (dialog->kind == NavDialogKind::AskReviewDocuments)
        return "You have " + std::to_string(dialog->documentCount) +
               " documents with unsaved changes. Do you want to review these changes before quitting?";
    return Text(dialog->options.message);
}

// Whether the dialog shows (and so lets the user take) the item.
bool Shows(NavDialogRef dialog, const std::string& path, bool folder)
{
    if (!(dialog->options.optionFlags & kNavAllowInvisibleFiles) && NameOf(path).rfind('.', 0) == 0)
        return false;
    if (!folder && !NavFileConformsToTypeIdentifiers(path.c_str(), dialog->typeIdentifiers))
        return false;
    if (dialog->filterProc == nullptr)
        return true;
    FSRef ref{};
    if (FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr) != noErr)
        return false;
    AEDesc item{};
    AEInitializeDesc(&item);
    if (AECreateDesc(typeFSRef, &ref, sizeof ref, &item) != noErr)
        return false;
    NavFileOrFolderInfo info{0, folder, true};
    const bool shown = dialog->filterProc(&item, &info, dialog->clientData, kNavFilteringBrowserList);
    AEDisposeDesc(&item);
    return shown;
}

// Takes the user's choice as the dialog would: only items it shows, of the
// kind it takes; the put-file dialog's folder and a name it can hold.
void TakeChoice(NavDialogRef dialog, const NavDialogChoice& choice)
{
    dialog->items.clear();
    dialog->saveName.clear();
    dialog->replacing = false;
    NavUserAction action = choice.action;
    std::string folder;
    switch (dialog->kind) {
    case NavDialogKind::GetFile:
    case NavDialogKind::ChooseFolder:
        if (action != kNavUserActionOpen && action != kNavUserActionChoose) {
            action = kNavUserActionCancel;
            break;
        }
        for (const std::string& path : choice.items) {
            const bool wantsFolder = dialog->kind == NavDialogKind::ChooseFolder;
            if ((wantsFolder ? !IsFolder(path) : !IsRegularFile(path)) || !Shows(dialog, path, wantsFolder))
                continue;
            FSRef ref{};
            if (FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr) == noErr)
                dialog->items.push_back(ref);
            if (!(dialog->options.optionFlags & kNavAllowMultipleFiles))
                break;
        }
        if (dialog->items.empty()) {
            action = kNavUserActionCancel;
        } else {
            char path[PATH_MAX];
            if (FSRefMakePath(&dialog->items.front(), reinterpret_cast<UInt8*>(path), sizeof path) == noErr)
                folder = std::filesystem::path(path).parent_path().string();
        }
        break;
    case NavDialogKind::PutFile: {
        if (action != kNavUserActionSaveAs) {
            action = kNavUserActionCancel;
            break;
        }
        folder = choice.items.empty() ? dialog->folder : choice.items.front();
        FSRef ref{};
        if (!IsPlainName(choice.name) || !IsFolder(folder) ||
            FSPathMakeRef(reinterpret_cast<const UInt8*>(folder.c_str()), &ref, nullptr) != noErr) {
            action = kNavUserActionCancel;
            break;
        }
        dialog->items.push_back(ref);
        dialog->saveName = choice.name;
        struct stat status {};
        dialog->replacing = lstat((folder + "/" + choice.name).c_str(), &status) == 0;
        break;
    }
    case NavDialogKind::AskSaveChanges:
        if (action != kNavUserActionSaveChanges && action != kNavUserActionDontSaveChanges)
            action = kNavUserActionCancel;
        break;
    case NavDialogKind::AskReviewDocuments:
        if (action != kNavUserActionReviewDocuments && action != kNavUserActionDiscardDocuments)
            action = kNavUserActionCancel;
        break;
    }
    if (action != kNavUserActionCancel)
        KeepLastFolder(dialog->options.preferenceKey, folder);
    dialog->action = action;
}

// The user chose: the action, then the end of the dialog.
void Finish(NavDialogRef dialog, const NavDialogChoice& choice)
{
    if (dialog->disposed || dialog->action != kNavUserActionNone)
        return;
    DialogHold hold(dialog);
    TakeChoice(dialog, choice);
    Deliver(dialog, kNavCBUserAction);
    Deliver(dialog, kNavCBTerminate);
}

void FinishLater(EventLoopTimerRef timer, void* data)
{
    RemoveEventLoopTimer(timer);
    NavDialogRef dialog = AsDialog(static_cast<NavDialogRef>(data));
    if (dialog == nullptr)
        return;
    dialog->timer = nullptr;
    Finish(dialog, dialog->pendingChoice);
}

void AnswerLater(NavDialogRef dialog, const NavDialogChoice& choice)
{
    dialog->pendingChoice = choice;
    if (InstallEventLoopTimer(GetMainEventLoop(), 0, 0, FinishLater, dialog, &dialog->timer) != noErr)
        Finish(dialog, choice);
}

NavDialogDescription Describe(NavDialogRef dialog)
{
    NavDialogDescription description{};
    description.kind = dialog->kind;
    description.title = Title(dialog);
    description.message = Question(dialog);
    description.saveFileName = Text(dialog->options.saveFileName);
    description.clientName = Text(dialog->options.clientName);
    description.folder = dialog->folder;
    description.modality = dialog->options.modality;
    description.parentWindow = dialog->options.parentWindow;
    description.preferenceKey = dialog->options.preferenceKey;
    description.optionFlags = dialog->options.optionFlags;
    description.documentCount = dialog->documentCount;
    if (dialog->typeIdentifiers != nullptr) {
        for (CFIndex i = 0; i < CFArrayGetCount(dialog->typeIdentifiers); ++i)
            description.typeIdentifiers.push_back(
                Text(static_cast<CFStringRef>(CFArrayGetValueAtIndex(dialog->typeIdentifiers, i))));
    }
    return description;
}

// The rows of the file dialog the dialog's filter lets through.
class FilterProxy : public QSortFilterProxyModel {
public:
    explicit FilterProxy(NavDialogRef dialog) : dialog_(dialog) {}

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        auto* model = qobject_cast<QFileSystemModel*>(sourceModel());
        if (model == nullptr || AsDialog(dialog_) == nullptr)
            return true;
        const QModelIndex index = model->index(row, 0, parent);
        const bool folder = model->isDir(index);
        // Folders on the way to the shown one are always there.
        if (folder && dialog_->kind != NavDialogKind::ChooseFolder)
            return true;
        return Shows(dialog_, model->filePath(index).toStdString(), folder);
    }

private:
    NavDialogRef dialog_;
};

QDialog* MakeFileDialog(NavDialogRef dialog, QWidget* parent)
{
    auto* widget =
        new QFileDialog(parent, QString::fromStdString(Title(dialog)), QString::fromStdString(dialog->folder));
    widget->setOption(QFileDialog::DontUseNativeDialog, true);
    switch (dialog->kind) {
    case NavDialogKind::GetFile:
        widget->setFileMode((dialog->options.optionFlags & kNavAllowMultipleFiles) ? QFileDialog::ExistingFiles
                                                                                   : QFileDialog::ExistingFile);
        break;
    case NavDialogKind::ChooseFolder:
        widget->setFileMode(QFileDialog::Directory);
        widget->setOption(QFileDialog::ShowDirsOnly, true);
        break;
    default:
        widget->setFileMode(QFileDialog::AnyFile);
        widget->setAcceptMode(QFileDialog::AcceptSave);
        widget->setOption(QFileDialog::DontConfirmOverwrite,
                          (dialog->options.optionFlags & kNavDontConfirmReplacement) != 0);
        widget->selectFile(QString::fromStdString(Text(dialog->options.saveFileName)));
        break;
    }
    if (dialog->options.optionFlags & kNavAllowInvisibleFiles)
        widget->setFilter(widget->filter() | QDir::Hidden);
    widget->setProxyModel(new FilterProxy(dialog));
    if (const std::string label = Text(dialog->options.actionButtonLabel); !label.empty())
        widget->setLabelText(QFileDialog::Accept, QString::fromStdString(label));
    if (const std::string message = Text(dialog->options.message); !message.empty()) {
        if (auto* grid = qobject_cast<QGridLayout*>(widget->layout()))
            grid->addWidget(new QLabel(QString::fromStdString(message), widget), grid->rowCount(), 0, 1, -1);
    }
    QObject::connect(widget, &QDialog::finished, widget, [dialog, widget](int result) {
        if (AsDialog(dialog) == nullptr)
            return;
        NavDialogChoice choice;
        if (result == QDialog::Accepted) {
            if (dialog->kind == NavDialogKind::PutFile) {
                const std::string path = widget->selectedFiles().value(0).toStdString();
                choice.action = kNavUserActionSaveAs;
                choice.items.push_back(std::filesystem::path(path).parent_path().string());
                choice.name = NameOf(path);
            } else {
                choice.action = dialog->kind == NavDialogKind::ChooseFolder ? kNavUserActionChoose : kNavUserActionOpen;
                for (const QString& file : widget->selectedFiles())
                    choice.items.push_back(file.toStdString());
            }
        }
        Finish(dialog, choice);
    });
    return widget;
}

QDialog* MakeQuestion(NavDialogRef dialog, QWidget* parent)
{
    auto* box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QString::fromStdString(Title(dialog)));
    box->setText(QString::fromStdString(Question(dialog)));
    box->setInformativeText(QStringLiteral("Your changes will be lost if you don’t save them."));
    const bool review = dialog->kind == NavDialogKind::AskReviewDocuments;
    QPushButton* first =
        box->addButton(review ? QStringLiteral("Review Changes…") : QStringLiteral("Save"), QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    QPushButton* drop = box->addButton(review ? QStringLiteral("Discard Changes") : QStringLiteral("Don’t Save"),
                                       QMessageBox::DestructiveRole);
    box->setDefaultButton(first);
    box->setEscapeButton(cancel);
    QObject::connect(box, &QDialog::finished, box, [dialog, box, first, drop, review](int) {
        if (AsDialog(dialog) == nullptr)
            return;
        NavDialogChoice choice;
        if (box->clickedButton() == first)
            choice.action = review ? kNavUserActionReviewDocuments : kNavUserActionSaveChanges;
        else if (box->clickedButton() == drop)
            choice.action = review ? kNavUserActionDiscardDocuments : kNavUserActionDontSaveChanges;
        Finish(dialog, choice);
    });
    return box;
}

}  // namespace

void NavSetDialogResponder(NavDialogResponder responder)
{
    currentResponder = std::move(responder);
}

OSStatus NavGetDefaultDialogCreationOptions(NavDialogCreationOptions* outOptions)
{
    if (outOptions == nullptr)
        return paramErr;
    std::memset(outOptions, 0, sizeof *outOptions);
    outOptions->optionFlags = kNavDefaultNavDlogOptions;
    outOptions->location = Point{-1, -1};
    outOptions->modality = kWindowModalityAppModal;
    return noErr;
}

OSStatus NavCreateGetFileDialog(const NavDialogCreationOptions* inOptions, NavTypeListHandle, NavEventUPP inEventProc,
                                NavPreviewUPP, NavObjectFilterUPP inFilterProc, void* inClientData,
                                NavDialogRef* outDialog)
{
    const OSStatus status = CreateDialog(NavDialogKind::GetFile, inOptions, inEventProc, inClientData, outDialog);
    if (status == noErr)
        (*outDialog)->filterProc = inFilterProc;
    return status;
}

OSStatus NavCreateChooseFolderDialog(const NavDialogCreationOptions* inOptions, NavEventUPP inEventProc,
                                     NavObjectFilterUPP inFilterProc, void* inClientData, NavDialogRef* outDialog)
{
    const OSStatus status = CreateDialog(NavDialogKind::ChooseFolder, inOptions, inEventProc, inClientData, outDialog);
    if (status == noErr)
        (*outDialog)->filterProc = inFilterProc;
    return status;
}

OSStatus NavCreatePutFileDialog(const NavDialogCreationOptions* inOptions, OSType, OSType, NavEventUPP inEventProc,
                                void* inClientData, NavDialogRef* outDialog)
{
    return CreateDialog(NavDialogKind::PutFile, inOptions, inEventProc, inClientData, outDialog);
}

OSStatus NavCreateAskSaveChangesDialog(const NavDialogCreationOptions* inOptions, NavAskSaveChangesAction inAction,
                                       NavEventUPP inEventProc, void* inClientData, NavDialogRef* outDialog)
{
    const OSStatus status =
        CreateDialog(NavDialogKind::AskSaveChanges, inOptions, inEventProc, inClientData, outDialog);
    if (status == noErr)
        (*outDialog)->askAction = inAction;
    return status;
}

OSStatus NavCreateAskReviewDocumentsDialog(const NavDialogCreationOptions* inOptions, UInt32 inDocumentCount,
                                           NavEventUPP inEventProc, void* inClientData, NavDialogRef* outDialog)
{
    const OSStatus status =
        CreateDialog(NavDialogKind::AskReviewDocuments, inOptions, inEventProc, inClientData, outDialog);
    if (status == noErr)
        (*outDialog)->documentCount = inDocumentCount;
    return status;
}

OSStatus NavDialogRun(NavDialogRef inDialog)
{
    NavDialogRef dialog = AsDialog(inDialog);
    if (dialog == nullptr)
        return paramErr;
    if (dialog->run)
        return kNavWrongDialogStateErr;
    dialog->run = true;
    DialogHold hold(dialog);
    Deliver(dialog, kNavCBCustomize);
    Deliver(dialog, kNavCBStart);
    if (dialog->disposed)
        return noErr;
    const bool sheet = dialog->options.modality == kWindowModalityWindowModal;

    if (currentResponder) {
        const NavDialogChoice choice = currentResponder(Describe(dialog));
        if (sheet)
            AnswerLater(dialog, choice);
        else
            Finish(dialog, choice);
        return noErr;
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        Diagnostics::WriteLine("Warning: " + Title(dialog) + " " + Question(dialog));
        if (sheet)
            AnswerLater(dialog, NavDialogChoice{});
        else
            Finish(dialog, NavDialogChoice{});
        return noErr;
    }

    QWidget* parent = sheet ? HIWindowGetWidget(dialog->options.parentWindow) : nullptr;
    const bool asks =
        dialog->kind == NavDialogKind::AskSaveChanges || dialog->kind == NavDialogKind::AskReviewDocuments;
    QDialog* widget = asks ? MakeQuestion(dialog, parent) : MakeFileDialog(dialog, parent);
    dialog->widget = widget;
    if (sheet && parent != nullptr) {
        // A window that goes while its sheet is up takes the sheet along:
        // the client still hears the end of its dialog, as a cancel.
        QObject::connect(widget, &QObject::destroyed, [dialog] {
            if (AsDialog(dialog) == nullptr)
                return;
            // Half gone already: nothing may reach for it.
            dialog->widget = nullptr;
            Finish(dialog, NavDialogChoice{});
        });
        widget->setWindowModality(Qt::WindowModal);
        widget->open();
        return noErr;
    }
    widget->setWindowModality(Qt::ApplicationModal);
    {
        // The program waits in the dialog: its timers and notifications wait too.
        const ModalHold modal;
        widget->exec();
    }
    return noErr;
}

void NavDialogDispose(NavDialogRef inDialog)
{
    NavDialogRef dialog = AsDialog(inDialog);
    if (dialog == nullptr)
        return;
    LiveDialogs().erase(dialog);
    dialog->disposed = true;
    if (dialog->timer != nullptr)
        RemoveEventLoopTimer(dialog->timer);
    dialog->timer = nullptr;
    if (QDialog* widget = dialog->widget) {
        QObject::disconnect(widget, nullptr, nullptr, nullptr);
        widget->hide();
        widget->deleteLater();
    }
    if (dialog->holds == 0)
        FreeDialog(dialog);
}

NavUserAction NavDialogGetUserAction(NavDialogRef inDialog)
{
    NavDialogRef dialog = AsDialog(inDialog);
    return dialog != nullptr ? dialog->action : kNavUserActionNone;
}

WindowRef NavDialogGetWindow(NavDialogRef inDialog)
{
    NavDialogRef dialog = AsDialog(inDialog);
    return dialog != nullptr ? dialog->options.parentWindow : nullptr;
}

OSStatus NavDialogGetReply(NavDialogRef inDialog, NavReplyRecord* outReply)
{
    NavDialogRef dialog = AsDialog(inDialog);
    if (dialog == nullptr || outReply == nullptr)
        return paramErr;
    NavReplyRecord reply{};
    AEInitializeDesc(&reply.selection);
    const bool chosen = dialog->action == kNavUserActionOpen || dialog->action == kNavUserActionChoose ||
                        dialog->action == kNavUserActionSaveAs;
    if (AECreateList(nullptr, 0, false, &reply.selection) != noErr)
        return memFullErr;
    if (chosen) {
        for (const FSRef& item : dialog->items)
            AEPutPtr(&reply.selection, 0, typeFSRef, &item, sizeof item);
        reply.validRecord = true;
        reply.replacing = dialog->replacing;
        if (dialog->kind == NavDialogKind::PutFile)
            reply.saveFileName = CFStringCreateWithUTF8(dialog->saveName.c_str());
    }
    *outReply = reply;
    return noErr;
}

OSStatus NavDisposeReply(NavReplyRecord* inReply)
{
    if (inReply == nullptr)
        return paramErr;
    AEDisposeDesc(&inReply->selection);
    ReleaseIfSet(inReply->saveFileName);
    inReply->saveFileName = nullptr;
    inReply->validRecord = false;
    return noErr;
}

OSStatus NavDialogSetFilterTypeIdentifiers(NavDialogRef inGetFileDialog, CFArrayRef inTypeIdentifiers)
{
    NavDialogRef dialog = AsDialog(inGetFileDialog);
    if (dialog == nullptr || (inTypeIdentifiers != nullptr && CFGetTypeID(inTypeIdentifiers) != CFArrayGetTypeID()))
        return paramErr;
    if (dialog->kind == NavDialogKind::AskSaveChanges || dialog->kind == NavDialogKind::AskReviewDocuments)
        return kNavWrongDialogClassErr;
    ReleaseIfSet(dialog->typeIdentifiers);
    dialog->typeIdentifiers = inTypeIdentifiers != nullptr ? CFArrayCreateCopy(nullptr, inTypeIdentifiers) : nullptr;
    return noErr;
}

OSStatus NavCustomControl(NavDialogRef inDialog, NavCustomControlMessage inSelector, void* ioParms)
{
    NavDialogRef dialog = AsDialog(inDialog);
    if (dialog == nullptr)
        return paramErr;
    switch (inSelector) {
    case kNavCtlSetLocation: {
        FSRef folder{};
        char path[PATH_MAX];
        if (ioParms == nullptr || AEGetDescData(static_cast<const AEDesc*>(ioParms), &folder, sizeof folder) != noErr ||
            AEGetDescDataSize(static_cast<const AEDesc*>(ioParms)) != static_cast<Size>(sizeof folder) ||
            FSRefMakePath(&folder, reinterpret_cast<UInt8*>(path), sizeof path) != noErr || !IsFolder(path))
            return paramErr;
        dialog->folder = path;
        if (auto* files = qobject_cast<QFileDialog*>(dialog->widget.data()))
            files->setDirectory(QString::fromStdString(dialog->folder));
        return noErr;
    }
    case kNavCtlAddControl:
        return noErr;
    default:
        return kNavCustomControlMessageFailedErr;
    }
}

OSStatus NavCompleteSave(const NavReplyRecord* inReply, NavTranslationOptions)
{
    return inReply != nullptr && inReply->validRecord ? noErr : paramErr;
}

CFArrayRef NavCopyExtensionsForTypeIdentifiers(CFArrayRef typeIdentifiers)
{
    CFMutableArrayRef extensions = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    if (typeIdentifiers == nullptr || CFGetTypeID(typeIdentifiers) != CFArrayGetTypeID())
        return extensions;
    std::set<std::string> seen;
    for (CFIndex i = 0; i < CFArrayGetCount(typeIdentifiers); ++i) {
        CFTypeRef identifier = CFArrayGetValueAtIndex(typeIdentifiers, i);
        if (identifier == nullptr || CFGetTypeID(identifier) != CFStringGetTypeID())
            continue;
        CFStringRef extension =
            UTTypeCopyPreferredTagWithClass(static_cast<CFStringRef>(identifier), kUTTagClassFilenameExtension);
        if (extension == nullptr)
            continue;
        std::string text = CFStringToUTF8(extension);
        CFRelease(extension);
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (text.empty() || !seen.insert(text).second)
            continue;
        CFStringRef lowered = CFStringCreateWithUTF8(text.c_str());
        CFArrayAppendValue(extensions, lowered);
        CFRelease(lowered);
    }
    return extensions;
}

Boolean NavFileConformsToTypeIdentifiers(const char* path, CFArrayRef typeIdentifiers)
{
    if (path == nullptr)
        return false;
    if (typeIdentifiers == nullptr || CFGetTypeID(typeIdentifiers) != CFArrayGetTypeID() ||
        CFArrayGetCount(typeIdentifiers) == 0 || IsFolder(path))
        return true;
    const std::string name = NameOf(path);
    const size_t point = name.find_last_of('.');
    if (point == std::string::npos || point == 0 || point + 1 == name.size())
        return false;
    CFStringRef extension = CFStringCreateWithUTF8(name.substr(point + 1).c_str());
    CFStringRef kind = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, extension, nullptr);
    CFRelease(extension);
    bool conforms = false;
    for (CFIndex i = 0; kind != nullptr && !conforms && i < CFArrayGetCount(typeIdentifiers); ++i) {
        CFTypeRef identifier = CFArrayGetValueAtIndex(typeIdentifiers, i);
        conforms = identifier != nullptr && CFGetTypeID(identifier) == CFStringGetTypeID() &&
                   UTTypeConformsTo(kind, static_cast<CFStringRef>(identifier));
    }
    ReleaseIfSet(kind);
    return conforms;
}
