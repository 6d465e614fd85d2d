#include "UBrindletApplication.h"

#include "SoftwareUpdate.h"
#include <Sources/Interface/UMainWindow.h>

#include <Units/Classes/TUserNotificationUnit.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>
#include <Units/Utilities/CocoaUtilities.h>

#include <AppKit/NSFont.h>
#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <Foundation/NSString.h>
#include <Support/Diagnostics.h>
#include <Support/MacEquivalents.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace brindlet {

BRINDLET_DEFINE_CLASS(TBrindletApplication, TBrindletApplicationProtocol)

namespace {

// Start-up failures end the program with these.
constexpr int kSheetsNotCopiedStatus = 3;
constexpr int kNoWindowStatus = 4;

// The address the command "web_" opens; configuration, not a constant of
// the code: the preference "WebSiteURL" overrides it.
constexpr const char* kWebSiteURL = "http://www.orvandel.com/brindlet/";

// The folder's content copied into a new folder beside `target`, which
// then takes the target's name, only when nothing has taken it meanwhile:
// a copy cut short never passes for the sheets. 0 or an errno value.
int CopyFolder(const std::filesystem::path& source, const std::filesystem::path& target)
{
    std::error_code error;
    if (!std::filesystem::is_directory(source, error))
        return error ? error.value() : ENOENT;
    std::filesystem::create_directories(target.parent_path(), error);
    if (error)
        return error.value();
    const std::filesystem::path partial =
        target.parent_path() / ("." + target.filename().string() + ".copying-" + std::to_string(getpid()));
    std::filesystem::remove_all(partial, error);
    std::filesystem::copy(source, partial, std::filesystem::copy_options::recursive, error);
    if (!error && renameat2(AT_FDCWD, partial.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0)
        error.assign(errno, std::generic_category());
    if (error) {
        std::error_code ignored;
        std::filesystem::remove_all(partial, ignored);
        return error.value();
    }
    return 0;
}

std::string ResourcesPath()
{
    std::string path;
    if (CFURLRef url = CFBundleCopyResourcesDirectoryURL(CFBundleGetMainBundle())) {
        if (CFStringRef text = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle)) {
            path = CFStringToUTF8(text);
            CFRelease(text);
        }
        CFRelease(url);
    }
    return path;
}

struct RequiredFont {
    const char* familyKey;
    const char* sizeKey;
    const char* substitute;
    const char* role;
};

constexpr RequiredFont kRequiredFonts[] = {
    {"title-font-family", "title-font-size", "Lucida Grande Bold", "title"},
    {"list-font-family", "list-font-size", "Helvetica Neue", "list"},
    {"tab-font-family", "tab-font-size", "Helvetica Bold", "tab"},
};

}  // namespace

// ---- start-up ----

int TBrindletApplication::Main()
{
    // Cocoa needs no loading here: the toolkit's application object exists
    // before the units start.
    TBrindletApplication* application =
        TApplication::Create<TBrindletApplication>(kBrindletSignature, BrindletBundleIdentifier());
    if (const int status = application->StartUp()) {
        application->Release();
        return status;
    }
    // Run lets the application go when its loop ends; it has to live on
    // for the last save.
    application->Retain();
    application->Run();
    // Quitting, or asked to end: what is being typed and the pending save
    // are written before the program goes.
    if (TMainWindow* window = application->GetWindow()) {
        window->StopEditing();
        window->SaveSheet();
    }
    application->Release();
    return 0;
}

int TBrindletApplication::StartUp()
{
    CreateDefaultSheets();
    if (fatalStatus_ != 0)
        return fatalStatus_;
    UpdatePreferenceVersion();
    ProtectRequiredFonts();

    // The window object belongs to its window from now on (it goes when
    // the window is disposed of); without a window it is released here.
    TMainWindow* window = TMainWindow::Create();
    if (window->GetWindowRef() == nullptr) {
        Diagnostics::WriteLine("Warning: The desktop window could not be created.");
        fatalStatus_ = kNoWindowStatus;
        window->Release();
    } else if (window->GetFatalStatus() != 0) {
        fatalStatus_ = window->GetFatalStatus();
        DisposeWindow(window->GetWindowRef());
    } else {
        SetWindow(window);
    }
    // The offer to start the helper at a first start waits for the helper.
    return fatalStatus_;
}

void TBrindletApplication::Initialize()
{
    Inherited::Initialize();
    if (TTypeDictionary* key = Prefs()->CopyDictionary("TPreferences.activationKey")) {
        // A key code of the keyboard (0-127) and modifier bits; anything
        // else in the file registers nothing.
        const SInt32 code = key->GetIntegerValue("code");
        const SInt32 modifiers = key->GetIntegerValue("modifiers");
        if (code >= 0 && code <= 127 && modifiers >= 0 && modifiers <= 0xFFFF)
            RegisterHotKey(0, UInt32(code), UInt32(modifiers));
        key->Release();
    }
    const std::pair<UInt32, const char*> kIcons[] = {
        {FourCC("APPL"), "app"}, {FourCC("pref"), "Images/Preferences"}, {FourCC("mail"), "Images/Mail"}};
    for (const auto& [type, name] : kIcons) {
        if (IconRef icon = RegisterIcon(type, name, "png"))
            ReleaseIconRef(icon);
    }
    RegisterImage("button.clear.hotkey", "Images/clear.png");
    LoadSparkleFramework();
}

void TBrindletApplication::Deallocate()
{
    ReleaseObject(window_);
    Inherited::Deallocate();
}

void TBrindletApplication::SetWindow(TMainWindow* window)
{
    RetainObject(window_, window);
    if (window_ == nullptr)
        return;
    window_->SetTransitionEffect(kWindowFadeTransitionEffect);
    window_->SetTransitionDelay(0.25);
    SetKeyWindow(window_);
}

bool TBrindletApplication::IsScreenValid() const
{
    return window_ != nullptr && window_->GetScreen() != nullptr;
}

void TBrindletApplication::LoadSparkleFramework()
{
    if (!Prefs()->GetBooleanValue("TPreferences.autoUpdate"))
        return;
    Diagnostics::WriteLine("Checking for updates (Carbon Sparkle)...");
    SUSparkleInitializeForCarbon();
    SUSparkleCheckForUpdates(false);
    SUSparkleCheckWithInterval(86400.0);
}

void TBrindletApplication::CreateDefaultSheets()
{
    NSAutoreleasePool* pool = nullptr;
    OpenPool(pool);
    const std::filesystem::path target = DefaultSheetFolderPath();
    auto fail = [&](int code) {
        CFStringRef parameter = CFNSTR(code);
        TUserNotification::CreateWithLocalized(kCFUserNotificationCautionAlertLevel, "Warning", "DefaultSheet",
                                               {parameter});
        Prefs()->SetBooleanValue("defaultSheetError", true);
        Prefs()->Synchronize();
        SetFatalStatus(kSheetsNotCopiedStatus);
    };
    try {
        std::error_code error;
        // Anything at that path, even a broken link, is the user's.
        if (std::filesystem::symlink_status(target, error).type() == std::filesystem::file_type::not_found) {
            const int status = CopyFolder(std::filesystem::path(ResourcesPath()) / "Sheets", target);
            if (status == 0)
                Diagnostics::WriteLine("Copied default sheets to " + target.string());
            else
                fail(status);
        }
    } catch (const std::exception& exception) {
        Diagnostics::WriteLine(std::string(ClassName()) + ".CreateDefaultSheets:" + exception.what() + ":");
        fail(-1);
    }
    ClosePool(pool);
}

void TBrindletApplication::ProtectRequiredFonts()
{
    NSAutoreleasePool* pool = nullptr;
    OpenPool(pool);
    TPreferenceHandlerApplication* preferences = Prefs();
    for (const RequiredFont& font : kRequiredFonts) {
        const ShortString family = preferences->GetStringValue(font.familyKey);
        const std::string text(family.View());
        NSString* name = NSString::stringWithUTF8String(text.c_str());
        if (NSFont::fontWithName(name, CGFloat(preferences->GetIntegerValue(font.sizeKey))) != nullptr)
            continue;
        const std::string substitute = MacEquivalents::Equivalent(font.substitute);
        Diagnostics::WriteLine("The " + std::string(font.role) + " font " + text + " was missing. " + substitute +
                               " is being substituted.");
        preferences->SetStringValue(font.familyKey, ShortString(substitute));
    }
    ClosePool(pool);
}

// ---- the hot key, activation ----

void TBrindletApplication::HandleHotKeyPressed(UInt32)
{
    if (window_ == nullptr)
        return;
    if (IsActivated()) {
        window_->SetTransitionAsync(false);
        window_->Hide();
        Hide();
        return;
    }
    if (!Prefs()->GetBooleanValue("TPreferences.dashboardActivation")) {
        window_->SetTransitionAsync(true);
        window_->Show();
    }
    BringToFront(false);
}

OSStatus TBrindletApplication::HandleActivated()
{
    if (window_ != nullptr) {
        window_->SetScreenActive(true);
        if (Prefs()->GetBooleanValue("TPreferences.dashboardActivation"))
            window_->Show();
        if (Prefs()->GetBooleanValue("TPreferences.placeOverDesktop")) {
            window_->Show();
            window_->RestoreLevel();
            window_->RedrawScreen();
        }
    }
    PostNotification("TDateTimer.UpdateDates");
    return eventNotHandledErr;
}

OSStatus TBrindletApplication::HandleDeactivated()
{
    if (window_ != nullptr) {
        window_->StopEditing();
        if (!Prefs()->GetBooleanValue("TPreferences.dashboardActivation"))
            window_->SetScreenActive(false);
        Deactivate();
        window_->SaveSheet();
    }
    return eventNotHandledErr;
}

void TBrindletApplication::Deactivate()
{
    if (window_ == nullptr)
        return;
    const bool placeOverDesktop = Prefs()->GetBooleanValue("TPreferences.placeOverDesktop");
    if (Prefs()->GetBooleanValue("TPreferences.dashboardActivation") && !placeOverDesktop)
        window_->Hide();
    if (placeOverDesktop)
        window_->PlaceOverDesktop(true, false);
}

// ---- documents and commands ----

void TBrindletApplication::OpenDocument(const FSRef& item, bool& handled, const ApplicationOpenCommandOptions&,
                                        OSStatus& result)
{
    if (window_ == nullptr)
        return;
    CFStringRef path = FSCopyPath(item);
    if (path == nullptr)
        return;
    const std::filesystem::path file(CFStringToUTF8(path));
    CFRelease(path);
    // The extension decides, letter case included.
    const std::string extension = file.extension().string();
    if (extension == ".brproj") {
        window_->OpenSheet(item);
    } else if (extension == ".brcard") {
        window_->OpenCard(item);
    } else {
        return;
    }
    handled = true;
    result = noErr;
}

void TBrindletApplication::ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result)
{
    Inherited::ProcessCommand(command, event, result);
    if (result != eventNotHandledErr)
        return;
    if (window_ != nullptr)
        window_->ProcessScreenCommand(command, event, result);
    if (result != eventNotHandledErr)
        return;
    switch (command.commandID) {
    case FourCC("chfu"):
        Diagnostics::WriteLine("Checking for updates...");
        SUSparkleCheckForUpdates(true);
        result = noErr;
        break;
    case FourCC("web_"): {
        const ShortString configured = Prefs()->GetStringValue("WebSiteURL");
        LSOpenURL(!configured.IsEmpty() ? configured : ShortString(kWebSiteURL));
        result = noErr;
        break;
    }
    default:
        // "abou" and "jnml" belong to the about window, which is not here yet.
        break;
    }
}

void TBrindletApplication::UpdateCommandStatus(const HICommandExtended& command, EventRef event, OSStatus& result)
{
    Inherited::UpdateCommandStatus(command, event, result);
}

}  // namespace brindlet
