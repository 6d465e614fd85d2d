#include "UScreen.h"

#include "UDesktopBackdrop.h"
#include "USelectedTaskInbox.h"

#include <Sources/Cards/UGenericCard.h>
#include <Sources/UBrindletApplication.h>

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <ApplicationFramework/Classes/TNavDialogsUnit.h>
#include <ApplicationFramework/Classes/TWindowUnit.h>
#include <SpriteEngine/Additions/SCPane.h>
#include <SpriteEngine/Additions/SCTextField.h>
#include <Units/Classes/TArchiverUnit.h>
#include <Units/Classes/TPrintSessionUnit.h>
#include <Units/Classes/TTimerUnit.h>
#include <Units/Classes/TUndoManagerUnit.h>
#include <Units/Classes/TUserNotificationUnit.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CGUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <AppKit/CFUserNotification.h>
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreGraphics/CGImageDestination.h>
#include <CoreServices/SystemSound.h>
#include <CoreServices/UTCoreTypes.h>
#include <Foundation/NSNotification.h>
#include <Support/Clock.h>
#include <Support/Diagnostics.h>
#include <Support/FileAccess.h>
#include <Support/MacEquivalents.h>

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <typeinfo>

namespace brindlet {

BRINDLET_DEFINE_CLASS(TScreen, TScreenProtocol)
BRINDLET_DEFINE_CLASS(TImageTask, ::TTask)
SPRITE_DEFINE_ABSTRACT_CLASS(TSheetStripProtocol, TSprite)

namespace {

constexpr const char* kSheetExtension = ".brproj";
constexpr double kSaveDelay = 2.0;
// The canvas options of the screen: drags are tracked over it.
constexpr CanvasOptions kScreenCanvasOptions = 16;

TScreen::StripMaker stripMaker = nullptr;
TScreen::ConflictChooser conflictChooser = nullptr;

std::string Text(CFStringRef text)
{
    return text != nullptr ? CFStringToUTF8(text) : std::string();
}

// A path preference (a string; "~/Library/…" stands where the defaults put
// it, any other "~" for the home folder); empty when absent or not a string.
std::string PreferencePath(const ShortString& key)
{
    TPreferenceHandlerApplication* preferences = TApplication::Prefs();
    if (preferences == nullptr)
        return {};
    CFTypeRef value = preferences->GetTypeValue(key);
    std::string path;
    if (value != nullptr && CFGetTypeID(value) == CFStringGetTypeID())
        path = CFStringToUTF8(static_cast<CFStringRef>(value));
    if (value != nullptr)
        CFRelease(value);
    path = MacEquivalents::Equivalent(path);
    if (path == "~" || path.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        path = std::string(home != nullptr ? home : "") + path.substr(1);
    }
    return path;
}

std::string CanonicalPath(const std::string& path)
{
    char resolved[PATH_MAX];
    if (path.empty() || realpath(path.c_str(), resolved) == nullptr)
        return {};
    return resolved;
}

bool HasSheetExtension(const std::string& path)
{
    const std::string extension(kSheetExtension);
    return path.size() > extension.size() &&
           path.compare(path.size() - extension.size(), extension.size(), extension) == 0;
}

void ShowAlert(CFOptionFlags level, const ShortString& title, const ShortString& message, const std::string& parameter)
{
    CFStringRef text = CFStringCreateWithUTF8(parameter);
    TUserNotification::CreateWithLocalized(level, title, message, {text});
    CFRelease(text);
}

// The user's choice for a sheet another program changed: "Keep Both"
// (default: nothing anybody wrote is lost), "Use Theirs", "Overwrite".
SheetConflictChoice AskConflictChoice(CFStringRef sheetPath)
{
    const CFRef<CFStringRef> header(CFCopyLocalizedString("SheetChangedTitle"));
    const CFRef<CFStringRef> message(CFCopyLocalizedString("SheetChangedElsewhere", {sheetPath}));
    const CFRef<CFStringRef> keep(CFCopyLocalizedString("SheetKeepBoth"));
    const CFRef<CFStringRef> reload(CFCopyLocalizedString("SheetUseTheirs"));
    const CFRef<CFStringRef> overwrite(CFCopyLocalizedString("SheetOverwrite"));
    CFOptionFlags response = kCFUserNotificationCancelResponse;
    CFUserNotificationDisplayAlert(0, kCFUserNotificationCautionAlertLevel, nullptr, nullptr, nullptr, header.get(),
                                   message.get(), keep.get(), reload.get(), overwrite.get(), &response);
    switch (response & 3) {
    case kCFUserNotificationAlternateResponse:
        return SheetConflictChoice::ReloadTheirs;
    case kCFUserNotificationOtherResponse:
        return SheetConflictChoice::Overwrite;
    default:
        // Taken down unanswered: keeping both loses nothing.
        return SheetConflictChoice::KeepMine;
    }
}

// "<name> (conflict 2026-12-11 10.30.05).brproj" beside the sheet, made
// unique with a number when that name is taken; empty when none is free.
std::string ConflictCopyPath(const std::string& sheetPath)
{
    const std::string::size_type slash = sheetPath.rfind('/');
    const std::string folder = sheetPath.substr(0, slash + 1);
    std::string name = sheetPath.substr(slash + 1);
    if (HasSheetExtension(name))
        name.resize(name.size() - std::string(kSheetExtension).size());
    const time_t now = time_t(Clock::WallSeconds());
    struct tm local {};
    localtime_r(&now, &local);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local);
    for (int number = 1; number < 1000; ++number) {
        std::string candidate = folder + name + " (conflict " + stamp;
        if (number > 1)
            candidate += " " + std::to_string(number);
        candidate += std::string(")") + kSheetExtension;
        struct stat info;
        if (lstat(candidate.c_str(), &info) != 0)
            return candidate;
    }
    return {};
}

// Makes the empty file `path`, never replacing anything: noErr and its
// reference, dupFNErr when the name is taken, ioErr otherwise.
SInt32 CreateNewFile(const std::string& path, FSRef& file)
{
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return errno == EEXIST ? SInt32(dupFNErr) : SInt32(ioErr);
    close(descriptor);
    if (!FSGetPathRef(ShortString(path), file)) {
        unlink(path.c_str());
        return ioErr;
    }
    return noErr;
}

void ReportException(const char* operation, const std::exception& error)
{
    Diagnostics::WriteLine(std::string("TScreen.") + operation + ": " + error.what() + ": " + typeid(error).name());
}

}  // namespace

SInt32 SheetStripRatio()
{
    TPreferenceHandlerApplication* preferences = TApplication::Prefs();
    const SInt32 setting = preferences != nullptr ? preferences->GetIntegerValue("TPreferences.sheetRatio") : 14;
    const SInt32 ratio = setting >= 6 && setting <= 16 ? 22 - setting : setting;
    return ratio > 0 ? ratio : 8;
}

std::string CopyFileStamp(const FSRef& file)
{
    struct stat info;
    if (file.path[0] == '\0' || stat(file.path, &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    std::ostringstream stamp;
    stamp << info.st_mtim.tv_sec << '.' << info.st_mtim.tv_nsec << ' ' << info.st_size << ' ' << info.st_ino;
    return stamp.str();
}

bool IsFileInsideFolder(const FSRef& file, const FSRef& folder)
{
    const std::string canonicalFile = CanonicalPath(FSGetPathText(file));
    std::string canonicalFolder = CanonicalPath(FSGetPathText(folder));
    if (canonicalFile.empty() || canonicalFolder.empty())
        return false;
    if (canonicalFolder.back() != '/')
        canonicalFolder += '/';
    return canonicalFile.size() > canonicalFolder.size() && canonicalFile.rfind(canonicalFolder, 0) == 0;
}

CFDataRef CopyPNGData(CGImageRef image)
{
    if (image == nullptr)
        return nullptr;
    CFMutableDataRef data = CFDataCreateMutable(nullptr, 0);
    CGImageDestinationRef destination = CGImageDestinationCreateWithData(data, kUTTypePNG, 1, nullptr);
    bool written = false;
    if (destination != nullptr) {
        CGImageDestinationAddImage(destination, image, nullptr);
        written = CGImageDestinationFinalize(destination);
        CFRelease(destination);
    }
    if (!written) {
        CFRelease(data);
        return nullptr;
    }
    return data;
}

// ---- the thumbnail task ----

TImageTask* TImageTask::Create(CGImageRef image, TArchiver* archiver, bool inBackground, SInt32* status)
{
    TImageTask* task = CreateInstance<TImageTask>();
    task->image_ = image != nullptr ? CGImageRetain(image) : nullptr;
    task->archiver_ = archiver;
    task->status_ = status;
    if (inBackground) {
        task->status_ = nullptr;
        task->Start();
    } else {
        task->Run();
    }
    return task;
}

void TImageTask::Run()
{
    if (archiver_ == nullptr)
        return;
    if (CFDataRef png = CopyPNGData(image_)) {
        archiver_->SetValue("image", png);
        CFRelease(png);
    } else {
        Diagnostics::WriteLine("Warning: Canvas image failed to write to destination");
    }
    const SInt32 status = archiver_->Save();
    if (status_ != nullptr)
        *status_ = status;
    archiver_->Release();
    archiver_ = nullptr;
    if (image_ != nullptr)
        CGImageRelease(image_);
    image_ = nullptr;
}

// ---- life ----

void TScreen::SetStripMaker(StripMaker maker)
{
    stripMaker = maker;
}

void TScreen::SetConflictChooser(ConflictChooser chooser)
{
    conflictChooser = chooser;
}

TScreen* TScreen::Create(CGSize size, TDesktopBackdrop* backdrop)
{
    TScreen* screen = AllocateInstance<TScreen>();
    screen->backdrop_ = backdrop;
    screen->SetUpCanvas(size, kScreenCanvasOptions);
    screen->Initialize();
    return screen;
}

void TScreen::Initialize()
{
    Inherited::Initialize();
    SetSharedScreen(this);
    SetRedrawMode(2);
    SetPaused(true);
    SetFrameRate(60);

    active_ = true;
    mainLayer_ = TSpriteLayer::Create(0, true);
    AppendLayer(mainLayer_);

    RegisterMethod("HandleNewSheet", BRINDLET_METHOD(TScreen, HandleNewSheet));
    RegisterMethod("ClearCards", BRINDLET_METHOD(TScreen, ClearCards));
    RegisterMethod("UpdateImage", BRINDLET_METHOD(TScreen, UpdateImage));

    NSNotificationCenter* workspace = NSNotificationCenter::workspaceCenter();
    ObserveNotification(workspace, NSWorkspaceDidMountNotification, BRINDLET_METHOD(TScreen, HandleVolumeChanged));
    ObserveNotification(workspace, NSWorkspaceDidUnmountNotification, BRINDLET_METHOD(TScreen, HandleVolumeChanged));
    ObserveNotification("SyncSheetChanged", BRINDLET_METHOD(TScreen, HandleSheetModified));
    ObserveNotification("TControl.valueChanged", BRINDLET_METHOD(TScreen, HandlePreferencesChanged));
    ObserveNotification("TPreference.BackgroundChanged", BRINDLET_METHOD(TScreen, HandlePreferencesChanged));
    ObserveNotification("TPreferences.ProjectFolderChanged", BRINDLET_METHOD(TScreen, HandleSheetFolderChanged));
    // The helper's requests reach the screen through the inbox, which
    // listens from the program's start (requests made while it starts are
    // held there) and hands them over once the first sheet is open.
}

void TScreen::Finish()
{
    SelectedTaskInbox::Detach(this);
    SaveSheet();
    EndSaveTimer();
    ClearCards();
}

void TScreen::Deallocate()
{
    // What Finish does needs a living screen (a save draws the thumbnail,
    // clearing runs a frame): the owner calls it before letting go.
    SelectedTaskInbox::Detach(this);
    EndSaveTimer();
    RemoveObservedNotifications();
    RemoveNSNotifications();
    ReleaseObject(strip_);
    ReleaseObject(mainLayer_);
    if (sheetPath_ != nullptr)
        CFRelease(sheetPath_);
    sheetPath_ = nullptr;
    if (SharedScreen() == this)
        SetSharedScreen(nullptr);
    Inherited::Deallocate();
}

// ---- drawing ----

void TScreen::Draw()
{
    Inherited::Draw();
    if (thumbnailNeeded_) {
        thumbnailNeeded_ = false;
        UpdateImage();
    }
}

void TScreen::HandleRemoveSprite(TSpriteProtocol* sprite)
{
    Inherited::HandleRemoveSprite(sprite);
    if (MemberOfClass(sprite, TCardProtocol::StaticClass()))
        thumbnailNeeded_ = true;
}

void TScreen::HandleDraw(CGRect rect, CGContextRef context)
{
    // The desktop's picture lies under the cards while the desktop is
    // covered, but never in copies of the screen (thumbnails, printing).
    if (backdrop_ != nullptr && !IsCopyingImage() && active_ && !printing_) {
        CGPoint origin = CGPointMake(0, 0);
        if (WindowRef window = GetWindow()) {
            HIRect content{};
            HIWindowGetBounds(window, kWindowContentRgn, &content);
            HIRect frame{};
            HIViewGetFrame(GetView(), &frame);
            origin = CGPointMake(content.origin.x + frame.origin.x, content.origin.y + frame.origin.y);
        }
        backdrop_->DrawBackground(context, rect, origin);
    }
    Inherited::HandleDraw(rect, context);
}

void TScreen::HandleMouseDown(CGPoint point, TSpriteLayerProtocol* layer, TSpriteProtocol* sprite, UInt32 clickCount,
                              UInt16 button, OSStatus& result)
{
    TPreferenceHandlerApplication* preferences = TApplication::Prefs();
    if (sprite == nullptr && preferences != nullptr &&
        preferences->GetBooleanValue("TPreferences.dashboardActivation")) {
        SaveSheet();
        if (auto* application = dynamic_cast<TBrindletApplication*>(TApplication::Current()))
            application->Deactivate();
        result = noErr;
    }
    if (result != noErr)
        Inherited::HandleMouseDown(point, layer, sprite, clickCount, button, result);
}

void TScreen::SetScreenActive(bool active)
{
    SetNeedsDisplay();
    active_ = active;
}

// ---- the sheet folder and file ----

// The sheet folder's path: the preference, or where the default sheets
// are copied when there is none.
static std::string SheetFolderPath()
{
    const std::string path = PreferencePath("project-folder");
    return path.empty() ? DefaultSheetFolderPath() : path;
}

FSRef TScreen::GetSheetFolder()
{
    FSRef folder{};
    const std::string path = SheetFolderPath();
    if (!path.empty())
        FSGetPathRef(ShortString(path), folder);
    return folder;
}

FSRef TScreen::GetSheetFile()
{
    FSRef file{};
    if (sheetPath_ != nullptr)
        FSGetPathRef(sheetPath_, file);
    return file;
}

bool TScreen::IsSheetOpen()
{
    return sheetPath_ != nullptr && FSObjectExistsAtPath(sheetPath_);
}

bool TScreen::IsSheetFolderAvailable()
{
    const std::string path = SheetFolderPath();
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRemovableMediaPath(const std::string& path)
{
    if (path.empty() || path.front() != '/')
        return false;
    for (const char* root : {"/media/", "/run/media/"}) {
        if (path.rfind(root, 0) == 0)
            return true;
    }
    // Elsewhere: the mount holding the path, when its device says it is
    // removable.
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    std::string bestPoint;
    std::string bestSource;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, point, field;
        fields >> id >> parent >> numbers >> root >> point;
        while (fields >> field && field != "-") {}
        std::string type, source;
        fields >> type >> source;
        const bool covers = path == point || (path.rfind(point == "/" ? point : point + "/", 0) == 0);
        if (covers && point.size() >= bestPoint.size()) {
            bestPoint = point;
            bestSource = source;
        }
    }
    if (bestSource.rfind("/dev/", 0) != 0)
        return false;
    const std::string device = bestSource.substr(5);
    char resolved[PATH_MAX];
    const std::string node = "/sys/class/block/" + device;
    if (device.find('/') != std::string::npos || realpath(node.c_str(), resolved) == nullptr)
        return false;
    std::string folder = resolved;
    // A partition's flag is its disk's.
    for (int level = 0; level < 2 && !folder.empty(); ++level) {
        std::ifstream flag(folder + "/removable");
        char value = '0';
        if (flag >> value)
            return value == '1';
        folder = folder.substr(0, folder.rfind('/'));
    }
    return false;
}

bool TScreen::IsSheetFolderMountable()
{
    return IsRemovableMediaPath(SheetFolderPath());
}

void TScreen::VerifySheetFolder()
{
    if (!IsSheetFolderAvailable())
        ShowAlert(kCFUserNotificationCautionAlertLevel, "Warning", "MissingSheetFolder", SheetFolderPath());
}

void TScreen::SetSheetFile(const FSRef& file)
{
    if (sheetPath_ != nullptr)
        CFRelease(sheetPath_);
    sheetPath_ = FSCopyPath(file);
    sheetDate_ = CopyFileStamp(file);
    if (TPreferenceHandlerApplication* preferences = TApplication::Prefs(); preferences != nullptr && sheetPath_)
        preferences->SetTypeValue("project-current", sheetPath_);
    if (strip_ != nullptr)
        strip_->SetActive(file);
}

CFStringRef TScreen::CopySheetName()
{
    if (sheetPath_ == nullptr)
        return nullptr;
    return FSCopyNameWithoutExtension(GetSheetFile());
}

// ---- loading ----

TArchiver* TScreen::ReadSheet(const FSRef& file)
{
    TArchiver* archiver = TArchiver::CreateWithFile(file);
    if (archiver->Load() != 0) {
        archiver->Release();
        Diagnostics::WriteLine("Warning: The sheet file " + FSGetPathText(file) +
                               " could not be read; it was not opened.");
        ShowAlert(kCFUserNotificationStopAlertLevel, "Error", "SheetUnreadable", FSGetPathText(file));
        return nullptr;
    }
    return archiver;
}

bool TScreen::LoadSheet(const FSRef& file)
{
    try {
        if (!FSRefExists(file))
            return false;
        // Only sheets of the sheet folder (or a folder below it) are
        // loaded; without a folder to compare with, loading goes on.
        const FSRef folder = GetSheetFolder();
        if (IsSheetFolderAvailable() && !IsFileInsideFolder(file, folder)) {
            Diagnostics::WriteLine("Notice: The sheet file " + FSGetPathText(file) +
                                   " lies outside the sheet folder; it was not loaded.");
            return false;
        }
        TArchiver* archiver = ReadSheet(file);
        if (archiver == nullptr)
            return false;
        InstallSheet(file, archiver);
        archiver->Release();
        return true;
    } catch (const std::exception& error) {
        ReportException("LoadSheet", error);
        return false;
    }
}

void TScreen::InstallSheet(const FSRef& file, TArchiver* archiver)
{
    // What a writer killed on its way left beside the sheet goes now, not
    // at the next save.
    const std::string path = FSGetPathText(file);
    FileAccess::RemoveStaleTemporaries(path.substr(0, path.rfind('/')));
    SetSheetFile(file);
    ClearCards();
    for (SInt32 index = 0; index <= archiver->Limit(); ++index) {
        TObject* object = AllocateFromArchive(archiver, index, nullptr, &TSprite::StaticClass());
        if (object == nullptr)
            continue;
        if (!MemberOfClass(object, TSprite::StaticClass())) {
            object->Release();
            continue;
        }
        auto* sprite = static_cast<TSprite*>(object);
        sprite->SetLayer(mainLayer_);
        if (sprite->GetLayer() != mainLayer_) {
            sprite->Release();
            continue;
        }
        // The layer holds the reference from here on.
        sprite->SetLocation(sprite->GetLocation());
        sprite->Constrain();
        sprite->AlignVerticalAxis();
        sprite->CompositeImage();
    }
    if (TUndoManager* undo = TUndoManager::SharedManager())
        undo->RemoveAllActions();
    if (strip_ != nullptr)
        strip_->UpdateSheetMenu();
    // What the cards posted while they were rebuilt is no change.
    modified_ = false;
    EndSaveTimer();
    SetNeedsDisplay();
    Diagnostics::WriteLine("Opened the sheet " + FSGetPathText(file) + ".");
}

// ---- saving ----

void TScreen::HandleSheetModified(TDictionary*)
{
    modified_ = true;
    if (saveTimer_ != nullptr) {
        saveTimer_->Reset();
        return;
    }
    saveTimer_ = TTimer::Create(kSaveDelay, 0, BRINDLET_METHOD(TScreen, HandleSaveTimer), this, nullptr);
}

void TScreen::HandleSaveTimer(TObject*)
{
    // While the user types, the text is not the card's yet: the end of the
    // edit posts its own change. The save waits for it rather than ending
    // the edit under the user's hands.
    if (TEditSession::IsEditing() && saveTimer_ != nullptr) {
        saveTimer_->Reset();
        return;
    }
    SaveSheet();
    EndSaveTimer();
}

void TScreen::EndSaveTimer()
{
    if (saveTimer_ != nullptr)
        TTimer::Terminate(saveTimer_);
}

void TScreen::StopEditing()
{
    if (TEditSession::IsEditing())
        TEditSession::StopEditing();
}

void TScreen::SaveSheet()
{
    try {
        // Open edits belong to the sheet that is written.
        StopEditing();
        if (sheetPath_ == nullptr || !modified_)
            return;
        const FSRef file = GetSheetFile();
        const std::string path = Text(sheetPath_);
        const std::string stamp = CopyFileStamp(file);
        // The sheet's folder went with its volume: the changes wait (a
        // later save tries again) rather than asking at every change.
        struct stat folderInfo;
        if (stamp.empty() && stat(path.substr(0, path.rfind('/')).c_str(), &folderInfo) != 0) {
            Diagnostics::WriteLine("Notice: The sheet file " + path +
                                   " cannot be saved now: its folder is not there. The changes wait.");
            return;
        }
        if (stamp != sheetDate_) {
            Diagnostics::WriteLine("Notice: The sheet file " + path + " modification date is out of synch.");
            SettleConflict();
            return;
        }
        const SInt32 status = WriteSheet(file);
        if (status != noErr) {
            Diagnostics::WriteLine("Warning: There was an error " + std::to_string(status) + " saving the sheet file " +
                                   path);
            // The changes stay pending (a later save tries again); the user
            // hears of it once, not at every try.
            if (!saveFailureShown_) {
                saveFailureShown_ = true;
                ShowAlert(kCFUserNotificationStopAlertLevel, "Error", "SaveSheetError", path);
            }
            return;
        }
        saveFailureShown_ = false;
        if (strip_ != nullptr)
            strip_->Saved();
        sheetDate_ = CopyFileStamp(file);
        modified_ = false;
        EndSaveTimer();
    } catch (const std::exception& error) {
        ReportException("SaveSheet", error);
    }
}

SInt32 TScreen::WriteSheet(const FSRef& file)
{
    TArchiver* archiver = TArchiver::CreateWithFile(file);
    mainLayer_->ArchiveTable(archiver);

    CGImageRef thumbnail = nullptr;
    if (CGImageRef full = CopyImage(GetViewRect(), 1.0f)) {
        const CGFloat divisor = SheetStripRatio() / 2.0;
        const CGSize size = CGImageGetSize(full);
        thumbnail = CGImageCreateCopyWithSize(
            full, CGSizeMake(std::floor(size.width / divisor), std::floor(size.height / divisor)));
        CGImageRelease(full);
    }
    SInt32 status = noErr;
    if (thumbnail != nullptr) {
        if (strip_ != nullptr)
            strip_->ImageChanged(file, thumbnail);
        // Run in place: the archive is saved when Create returns, so the
        // date read next is the new file's.
        TImageTask::Create(thumbnail, archiver, false, &status)->Release();
        CGImageRelease(thumbnail);
    } else {
        status = archiver->Save();
        archiver->Release();
    }
    return status;
}

void TScreen::SettleConflict()
{
    if (settlingConflict_)
        return;
    settlingConflict_ = true;
    const FSRef file = GetSheetFile();
    const std::string path = Text(sheetPath_);
    SheetConflictChoice choice =
        conflictChooser != nullptr ? conflictChooser(sheetPath_) : AskConflictChoice(sheetPath_);
    // A sheet that is gone has nothing of theirs to load.
    if (choice == SheetConflictChoice::ReloadTheirs) {
        if (TArchiver* archiver = FSRefExists(file) ? ReadSheet(file) : nullptr) {
            InstallSheet(file, archiver);
            archiver->Release();
            Diagnostics::WriteLine("Notice: The sheet file " + path +
                                   " was loaded again; the changes made here were dropped.");
        } else {
            choice = SheetConflictChoice::KeepMine;
        }
    }
    if (choice == SheetConflictChoice::Overwrite) {
        sheetDate_ = CopyFileStamp(file);
        settlingConflict_ = false;
        SaveSheet();
        return;
    }
    if (choice == SheetConflictChoice::KeepMine) {
        const std::string copyPath = ConflictCopyPath(path);
        FSRef copy{};
        const SInt32 made = copyPath.empty() ? SInt32(dupFNErr) : CreateNewFile(copyPath, copy);
        const SInt32 status = made == noErr ? WriteSheet(copy) : made;
        if (status == noErr) {
            SetSheetFile(copy);
            modified_ = false;
            EndSaveTimer();
            if (strip_ != nullptr) {
                strip_->Update();
                strip_->Saved();
            }
            Diagnostics::WriteLine("Notice: The sheet file " + path +
                                   " was changed by another program; this version was kept as " + copyPath + ".");
        } else {
            if (made == noErr)
                unlink(copyPath.c_str());
            Diagnostics::WriteLine("Warning: There was an error " + std::to_string(status) + " saving the sheet file " +
                                   copyPath);
        }
    }
    settlingConflict_ = false;
}

// ---- opening, closing, new sheets ----

void TScreen::CloseSheet()
{
    SaveSheet();
    ClearCards();
    if (sheetPath_ != nullptr)
        CFRelease(sheetPath_);
    sheetPath_ = nullptr;
    sheetDate_.clear();
    modified_ = false;
    EndSaveTimer();
    if (TPreferenceHandlerApplication* preferences = TApplication::Prefs())
        preferences->RemoveValue("project-current");
}

void TScreen::OpenSheet(const FSRef& file)
{
    try {
        if (!FSRefExists(file))
            return;
        if (sheetPath_ != nullptr) {
            const FSRef open = GetSheetFile();
            if (FSCompareFSRefs(&open, &file) == noErr ||
                CanonicalPath(FSGetPathText(open)) == CanonicalPath(FSGetPathText(file))) {
                CFStringRef name = FSCopyName(file);
                TUserNotification::CreateWithLocalized(kCFUserNotificationNoteAlertLevel, "Note", "SheetAlreadyOpen",
                                                       {name});
                if (name != nullptr)
                    CFRelease(name);
                return;
            }
        }
        FSRef target = file;
        const FSRef folder = GetSheetFolder();
        if (!IsFileInsideFolder(file, folder)) {
            CFStringRef folderPath = CFStringCreateWithUTF8(SheetFolderPath());
            const bool agreed = TUserNotification::CreateWithQuestionLocalized("Open Sheet", "MoveSheet", {folderPath})
                                    ->GetQuestionResponse();
            CFRelease(folderPath);
            if (!agreed)
                return;
            FSRef moved{};
            const SInt32 status = FSMoveObject(file, folder, &moved);
            if (status != noErr) {
                ShowAlert(kCFUserNotificationStopAlertLevel, "Error", "MoveSheetError", std::to_string(status));
                return;
            }
            target = moved;
        }
        // Read before anything of the open sheet changes: a file that
        // cannot be opened leaves the open sheet as it is.
        TArchiver* archiver = ReadSheet(target);
        if (archiver == nullptr)
            return;
        SaveSheet();
        if (strip_ != nullptr) {
            strip_->SetActive(target);
            strip_->Update();
        }
        InstallSheet(target, archiver);
        archiver->Release();
    } catch (const std::exception& error) {
        ReportException("OpenSheet", error);
    }
}

bool TScreen::OpenFirstSheet()
{
    const std::string folderPath = SheetFolderPath();
    std::vector<std::string> sheets;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folderPath, error)) {
        const std::string name = entry.path().filename().string();
        if (name.front() != '.' && HasSheetExtension(name) && entry.is_regular_file(error))
            sheets.push_back(entry.path().string());
    }
    std::sort(sheets.begin(), sheets.end());
    for (const std::string& path : sheets) {
        FSRef file{};
        if (FSGetPathRef(ShortString(path), file) && LoadSheet(file))
            return true;
    }
    return false;
}

void TScreen::NewSheet()
{
    TNavDialogs* dialog = TNavDialogs::Create();
    dialog->SetWindowTitle(CFSTR("New Sheet"));
    dialog->SetDefaultLocation(GetSheetFolder());
    dialog->SetAction(BRINDLET_METHOD(TScreen, HandleNewSheet));
    dialog->SetTarget(this);
    dialog->NewFileDialog();
}

void TScreen::HandleNewSheet(TDictionary* params)
{
    auto* details = dynamic_cast<TTypeDictionary*>(params);
    FSRef folder{};
    CFStringRef typed = details != nullptr ? details->CopyStringValue("name") : nullptr;
    if (details == nullptr || !details->GetDataValue("file", &folder) || typed == nullptr) {
        if (typed != nullptr)
            CFRelease(typed);
        return;
    }
    // "Work" and "Work.brproj" both name the sheet Work.
    std::string base = Text(typed);
    CFRelease(typed);
    if (HasSheetExtension(base))
        base.resize(base.size() - std::string(kSheetExtension).size());
    // An existing sheet is never emptied by a new one of its name.
    FSRef file{};
    const std::string folderPath = FSGetPathText(folder);
    const bool plainName = !base.empty() && base.find('/') == std::string::npos && base != "." && base != "..";
    SInt32 status = plainName && !folderPath.empty() ? CreateNewFile(folderPath + "/" + base + kSheetExtension, file)
                                                     : SInt32(paramErr);
    if (status == noErr) {
        // A valid empty sheet at once: an empty file is no archive.
        TArchiver* empty = TArchiver::Create();
        status = empty->Save(file);
        empty->Release();
        if (status != noErr)
            unlink(file.path);
    }
    if (status != noErr) {
        ShowAlert(kCFUserNotificationNoteAlertLevel, "Note", "CreateSheet", std::to_string(status));
        return;
    }
    SaveSheet();
    if (strip_ != nullptr)
        strip_->Update();
    LoadSheet(file);
}

void TScreen::ToggleSheets()
{
    TPreferenceHandlerApplication* preferences = TApplication::Prefs();
    if (strip_ == nullptr && IsSheetFolderAvailable() && stripMaker != nullptr) {
        strip_ = stripMaker(GetSheetFolder(), mainLayer_);
        if (strip_ != nullptr && sheetPath_ != nullptr)
            strip_->SetActive(GetSheetFile());
        return;
    }
    if (strip_ != nullptr) {
        strip_->SetShown(preferences != nullptr && preferences->GetBooleanValue("projects-open"));
        strip_->UpdateFace();
        strip_->UpdateSheetMenu();
    } else if (!IsSheetFolderAvailable() && preferences != nullptr) {
        preferences->SetBooleanValue("projects-open", false);
    }
    if (preferences != nullptr)
        preferences->Synchronize();
}

void TScreen::UpdateImage(void*)
{
    if (strip_ == nullptr || !strip_->IsShown() || sheetPath_ == nullptr)
        return;
    try {
        const CGSize size = strip_->GetThumbnailSize();
        if (size.width < 1 || size.height < 1)
            return;
        if (CGImageRef full = CopyImage(GetViewRect(), 1.0f)) {
            CGImageRef thumbnail = CGImageCreateCopyWithSize(full, size);
            CGImageRelease(full);
            strip_->ImageChanged(GetSheetFile(), thumbnail);
            if (thumbnail != nullptr)
                CGImageRelease(thumbnail);
        }
    } catch (const std::exception& error) {
        ReportException("UpdateImage", error);
    }
}

// ---- cards ----

TCardProtocol* TScreen::GetFocusedCard()
{
    TSpriteProtocol* focused = GetCursor().focusedSprite;
    if (focused == nullptr || !TObject::IsLiveObject(focused) || !MemberOfClass(focused, TCardProtocol::StaticClass()))
        return nullptr;
    return static_cast<TCardProtocol*>(focused);
}

TTaskProtocol* TScreen::GetFocusedTask()
{
    TCardProtocol* card = GetFocusedCard();
    TBrowserProtocol* browser = card != nullptr ? card->GetBrowser() : nullptr;
    return browser != nullptr ? browser->GetSelection() : nullptr;
}

bool TScreen::IsFocusedCardMemberOfClass(const ClassInfo& cardClass)
{
    TCardProtocol* card = GetFocusedCard();
    return card != nullptr && MemberOfClass(card, cardClass);
}

bool TScreen::IsFocusedTaskMemberOfClass(const ClassInfo& taskClass)
{
    TTaskProtocol* task = GetFocusedTask();
    return task != nullptr && MemberOfClass(task, taskClass);
}

TCardProtocol* TScreen::AddCard(const ClassInfo& cardClass)
{
    ClearFocus();
    TCard* card = TCard::CreateUntitledOfClass(cardClass, mainLayer_);
    if (card != nullptr)
        card->SetNeedsComposite();
    return card;
}

Boolean TScreen::DoesCalendarCardExists(CalCalendar*)
{
    // Calendar cards come with the calendar store; none can exist yet.
    return false;
}

void TScreen::CloseCard()
{
    if (TCardProtocol* card = GetFocusedCard())
        card->InvokeMethod("AskClose");
}

void TScreen::CloseEditingPanes()
{
    TCanvasPane::CloseAll();
}

void TScreen::ClearCards(void*)
{
    StopEditing();
    CloseEditingPanes();
    if (mainLayer_ == nullptr)
        return;
    ClearFocus();
    mainLayer_->RemoveWithClass(TCardProtocol::StaticClass());
}

void TScreen::CycleCards()
{
    TObjectArray* sprites = CopySprites();
    std::vector<TCardProtocol*> cards;
    for (void* item : *sprites) {
        auto* object = static_cast<TObject*>(item);
        if (MemberOfClass(object, TCardProtocol::StaticClass()) &&
            static_cast<TSprite*>(object)->GetLayer() == mainLayer_)
            cards.push_back(static_cast<TCardProtocol*>(object));
    }
    sprites->Release();
    if (cards.empty())
        return;
    TCardProtocol* focused = GetFocusedCard();
    size_t next = 0;
    for (size_t index = 0; index < cards.size(); ++index) {
        if (cards[index] == focused) {
            next = (index + 1) % cards.size();
            break;
        }
    }
    cards[next]->GiveFocus();
}

// ---- printing and the displays ----

CGImageRef TScreen::CopyPrintImage()
{
    printing_ = true;
    CGImageRef image = CopyImage(GetViewRect(), 1.0f);
    printing_ = false;
    return image;
}

void TScreen::Print()
{
    CGImageRef image = CopyPrintImage();
    if (image == nullptr)
        return;
    TPrintSession* session = TPrintSession::Create(image);
    if (CFStringRef name = CopySheetName()) {
        session->SetJobName(name);
        CFRelease(name);
    }
    session->SetShowDialog(true);
    session->SetImageMode(1);
    session->SetOrientation(2);
    session->Print();
    session->Release();
    CGImageRelease(image);
}

void TScreen::Reposition(CGRect rect)
{
    if (mainWindow_ == nullptr)
        return;
    SetViewRect(CGRectMake(0, 0, rect.size.width, rect.size.height));
    mainWindow_->SetFrame(rect);
    SetNeedsDisplay();
    PostNotification("TScreen.MonitorsChanged");
}

// ---- commands ----

void TScreen::ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& status)
{
    if (TCardProtocol* card = GetFocusedCard())
        card->ProcessCommand(command, event, status);
    if (status != eventNotHandledErr)
        return;
    HICommand plain{};
    plain.attributes = command.attributes;
    plain.commandID = command.commandID;
    TEditSession::ProcessCommand(plain, status);
    if (status != eventNotHandledErr)
        return;
    if (TUndoManager* undo = TUndoManager::SharedManager()) {
        undo->ProcessCommand(command, status);
        if (status != eventNotHandledErr)
            return;
    }
    TPreferenceHandlerApplication* preferences = TApplication::Prefs();
    switch (command.commandID) {
    case FourCC("newt"):
        if (IsSheetOpen()) {
            if (const ClassInfo* cardClass = FindClass("TBrindlet"))
                AddCard(*cardClass);
        } else {
            TUserNotification::CreateWithLocalized(kCFUserNotificationStopAlertLevel, "Error", "NoSheet");
        }
        status = noErr;
        break;
    case FourCC("newp"):
        NewSheet();
        status = noErr;
        break;
    case FourCC("open"): {
        // What is chosen arrives as a document to open (a sheet or a card).
        TNavDialogs* dialog = TNavDialogs::Create();
        dialog->SetDefaultLocation(GetSheetFolder());
        dialog->OpenDialog();
        status = noErr;
        break;
    }
    case FourCC("prnt"):
        Print();
        status = noErr;
        break;
    case FourCC("cytc"):
        CycleCards();
        status = noErr;
        break;
    case FourCC("clos"):
        CloseCard();
        status = noErr;
        break;
    case FourCC("desk"):
        if (preferences != nullptr) {
            preferences->ToggleBooleanValue("TPreferences.hideDesktop");
            preferences->Synchronize();
        }
        SetNeedsDisplay();
        status = noErr;
        break;
    case FourCC("tprj"):
        if (preferences != nullptr)
            preferences->ToggleBooleanValue("projects-open");
        ToggleSheets();
        status = noErr;
        break;
    default:
        break;
    }
}

// ---- notifications ----

void TScreen::HandlePreferencesChanged(TDictionary* params)
{
    auto* details = dynamic_cast<TTypeDictionary*>(params);
    const ShortString name = details != nullptr ? details->GetStringValue("notification") : ShortString();
    if (name == ShortString("TPreference.BackgroundChanged")) {
        // Read the picture again at the next drawing, also after a picture
        // that could not be read: the user may have chosen a good one now.
        if (backdrop_ != nullptr)
            backdrop_->ForgetPicture();
        SetNeedsDisplay();
        return;
    }
    if (details != nullptr && details->GetStringValue("key") == ShortString("TPreferences.hideDesktop"))
        SetNeedsDisplay();
}

void TScreen::HandleSheetFolderChanged(TDictionary* params)
{
    auto* details = dynamic_cast<TTypeDictionary*>(params);
    FSRef folder{};
    if (details == nullptr || !details->GetDataValue("file", &folder))
        return;
    if (strip_ != nullptr) {
        strip_->CloseActiveSheet();
        strip_->SetFolder(folder);
        strip_->Update();
    } else {
        ToggleSheets();
    }
}

void TScreen::BringToFront()
{
    if (TApplication* application = TApplication::Current(); application != nullptr && !application->IsActivated())
        application->BringToFront(false);
}

void TScreen::HandleVolumeChanged(TDictionary*)
{
    if (!IsSheetFolderMountable())
        return;
    const std::string folderPath = SheetFolderPath();
    if (!IsSheetFolderAvailable()) {
        BringToFront();
        ShowAlert(kCFUserNotificationNoteAlertLevel, "Note", "SheetFolderUnmounted", folderPath);
        mountNotice_ = false;
        if (strip_ != nullptr) {
            strip_->CloseActiveSheet();
            strip_->Update();
        }
    } else if (!mountNotice_) {
        BringToFront();
        ShowAlert(kCFUserNotificationNoteAlertLevel, "Note", "SheetFolderMounted", folderPath);
        mountNotice_ = true;
        if (strip_ == nullptr)
            ToggleSheets();
        else
            strip_->Update();
    }
}

void TScreen::HandleSelectedTask(TDictionary* params)
{
    BringToFront();
    auto* details = dynamic_cast<TTypeDictionary*>(params);
    CFStringRef sheet = details != nullptr ? details->CopyStringValue("sheet") : nullptr;
    if (sheet == nullptr) {
        Diagnostics::WriteLine("The sheet can not be found!");
        SysBeep(1);
        return;
    }
    const std::string path = Text(sheet);
    CFRelease(sheet);
    // Only a sheet of our own folder is opened for the request.
    FSRef file{};
    struct stat info;
    const bool usable = HasSheetExtension(path) && path.front() == '/' && stat(path.c_str(), &info) == 0 &&
                        S_ISREG(info.st_mode) && FSGetPathRef(ShortString(path), file) &&
                        IsFileInsideFolder(file, GetSheetFolder());
    if (!usable) {
        Diagnostics::WriteLine("Notice: The request to show a task of " + FileAccess::ForMessage(path) +
                               " was ignored: it is no sheet file of the sheet folder.");
        return;
    }
    const FSRef open = GetSheetFile();
    if (sheetPath_ == nullptr || CanonicalPath(FSGetPathText(open)) != CanonicalPath(path)) {
        OpenSheet(file);
        if (sheetPath_ == nullptr || CanonicalPath(Text(sheetPath_)) != CanonicalPath(path))
            return;
    }
    TTypeDictionary* locate = TTypeDictionary::Create();
    locate->SetValue("sheet", details->GetValue("sheet"));
    if (void* task = details->GetValue("task"))
        locate->SetValue("task", task);
    PostNotification("TTask.Locate", locate);
    locate->Release();
}

}  // namespace brindlet
