#include "TApplicationUnit.h"

#include <Units/RuntimeProfile.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CGUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>
#include <Units/Utilities/CocoaUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <AppKit/NSScreen.h>
#include <CoreServices/FloatingPointMask.h>
#include <HIToolbox/Menus.h>
#include <Support/Diagnostics.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

BRINDLET_DEFINE_CLASS(TApplicationHotKeyHandler, THotKeyHandler)
BRINDLET_DEFINE_CLASS(TApplication, TResponder)

TApplication* CurrentApplication = nullptr;
UInt32 ApplicationSignature = 0;
bool ApplicationQuitting = false;
IBNibRef ApplicationNib = nullptr;
TTypeDictionary* ApplicationImages = nullptr;

namespace {

// The reported form of an exception caught at a handler's boundary:
// "<where>:<message>:<address>".
void ReportException(const std::string& where, const std::exception* exception, const void* address)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", address);
    Diagnostics::WriteLine(where + ":" + (exception ? exception->what() : "unknown exception") + ":" + text);
}

HICommandExtended ReadCommand(EventRef event)
{
    HICommandExtended command{};
    GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
    return command;
}

// The window classes the document walks look at.
constexpr WindowClass kDocumentWindows = kDocumentWindowClass;

}  // namespace

void SetCurrentApplication(TApplication* application)
{
    CurrentApplication = application;
}

// ---- the hot-key handler ----

void TApplicationHotKeyHandler::EventHotKeyPressed(EventHotKeyID hotKeyID, SInt32&)
{
    if (TApplication* application = TApplication::Current())
        application->HandleHotKeyPressed(hotKeyID.id);
}

// ---- creation and start-up ----

void TApplication::SetIdentity(UInt32 signature, const ShortString& bundleIdentifier)
{
    creator_ = signature;
    bundleIdentifier_ = bundleIdentifier;
    ApplicationSignature = signature;
}

void TApplication::AbandonHalfMade()
{
    if (CurrentApplication == this)
        CurrentApplication = nullptr;
    for (EventHandlerRef handler : handlers_)
        RemoveEventHandler(handler);
    handlers_.clear();
    ReleaseObject(hotKeyHandler_);
    ReleaseObject(preferences_);
    delete this;
}

void TApplication::SetPreferences(TPreferenceHandlerApplication* handler)
{
    RetainObject(preferences_, handler);
}

TApplication* TApplication::Current()
{
    return CurrentApplication;
}

TPreferenceHandlerApplication* TApplication::Prefs()
{
    return CurrentApplication != nullptr ? CurrentApplication->preferences_ : nullptr;
}

void TApplication::Initialize()
{
    SetCurrentApplication(this);
    if (preferences_ == nullptr) {
        ApplicationPreferencesDomain = ShortString("user.");
        preferences_ = TPreferenceHandlerApplication::Create();
        preferences_->SetDomain(ApplicationPreferencesDomain);
        // The preferences file is the one the first-launch test looks for.
        preferences_->SetApplicationID(CFSTR(bundleIdentifier_));
    }
    hotKeyHandler_ = TApplicationHotKeyHandler::Create();

    // A first launch is one without a preferences file: the program then
    // writes its defaults before anything reads them.
    FSRef preferencesFolder{};
    FSRef preferencesFile{};
    const std::string fileName = std::string(bundleIdentifier_.View()) + ".plist";
    CFStringRef name = CFSTR(ShortString(fileName));
    std::vector<UniChar> characters(CFStringGetLength(name));
    CFStringGetCharacters(name, CFRangeMake(0, characters.size()), characters.data());
    if (FSFindFolder(kUserDomain, kPreferencesFolderType, false, &preferencesFolder) != noErr ||
        FSMakeFSRefUnicode(&preferencesFolder, characters.size(), characters.data(), kTextEncodingUnknown,
                           &preferencesFile) != noErr) {
        launchedFirstTime_ = true;
        PopulateDefaultPreferences();
    }

    SetFloatingPointExceptionMask(kFPExceptionAll);
    GetCurrentProcess(&process_);

    const OSStatus nibStatus = CreateNibReference(CFSTR("main"), &nib_);
    if (nibStatus != noErr) {
        nib_ = nullptr;
        Diagnostics::WriteLine("Warning: Error loading NIB (main.nib) " + std::to_string(nibStatus));
    } else {
        ApplicationNib = nib_;
    }
    SetMenuBarFromNib(nib_, CFSTR("MenuBar"));

    AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, NewAEEventHandlerUPP(HandleOpenDocuments), this, false);

    static const EventTypeSpec kApplicationEvents[] = {
        {kEventClassApplication, kEventAppQuit},        {kEventClassApplication, kEventAppActivated},
        {kEventClassApplication, kEventAppDeactivated}, {kEventClassApplication, kEventAppLaunched},
        {kEventClassApplication, kEventAppTerminated},  {kEventClassApplication, kEventAppFrontSwitched},
    };
    static const EventTypeSpec kCommandEvents[] = {
        {kEventClassCommand, kEventCommandProcess},
        {kEventClassCommand, kEventCommandUpdateStatus},
    };
    static const EventTypeSpec kMenuEvents[] = {{kEventClassMenu, kEventMenuPopulate}};
    EventHandlerRef handler = nullptr;
    if (InstallApplicationEventHandler(HandleApplicationEvents, std::size(kApplicationEvents), kApplicationEvents, this,
                                       &handler) == noErr)
        handlers_.push_back(handler);
    if (InstallApplicationEventHandler(HandleApplicationCommands, std::size(kCommandEvents), kCommandEvents, this,
                                       &handler) == noErr)
        handlers_.push_back(handler);
    if (InstallApplicationEventHandler(HandleMenuEvents, std::size(kMenuEvents), kMenuEvents, this, &handler) == noErr)
        handlers_.push_back(handler);

    LoadResources();
    RegisterClasses();
    RestorePreferences();
    RegisterHelpBook();
    if (recentItemsIndex_ > 0 && preferences_ != nullptr)
        CreateRecentItemsMenu();
    Inherited::Initialize();
}

void TApplication::Deallocate()
{
    SynchronizePreferences();
    for (EventHandlerRef handler : handlers_)
        RemoveEventHandler(handler);
    handlers_.clear();
    AERemoveEventHandler(kCoreEventClass, kAEOpenDocuments, NewAEEventHandlerUPP(HandleOpenDocuments), false);
    ReleaseObject(hotKeyHandler_);
    ReleaseObject(preferences_);
    ReleaseObject(recentItems_);
    ReleaseObject(recentItemKinds_);
    if (recentItemsMenu_ != nullptr)
        ReleaseMenu(recentItemsMenu_);
    recentItemsMenu_ = nullptr;
    if (images_ != nullptr) {
        ReleaseObject(images_);
        ApplicationImages = nullptr;
    }
    if (nib_ != nullptr) {
        DisposeNibReference(nib_);
        if (ApplicationNib == nib_)
            ApplicationNib = nullptr;
        nib_ = nullptr;
    }
    if (CurrentApplication == this)
        CurrentApplication = nullptr;
    Inherited::Deallocate();
}

void TApplication::Run()
{
    RunApplicationEventLoop();
    Release();
}

void TApplication::Quit()
{
    SendHICommand(GetApplicationEventTarget(), kHICommandQuit);
}

// ---- windows and documents ----

TWindow* TApplication::GetFrontWindow()
{
    return GetWindowObject(FrontNonFloatingWindow());
}

TWindow* TApplication::FindWindow(const FSRef& item)
{
    for (WindowRef window = GetFrontWindowOfClass(kAllWindowClasses, true); window != nullptr;
         window = GetNextWindowOfClass(window, kAllWindowClasses, true)) {
        TWindow* object = GetWindowObject(window);
        if (object == nullptr)
            continue;
        if (object->CompareDocumentRoot(item))
            return object;
        if (TDocument* active = object->ActiveDocument()) {
            const FSRef file = active->GetFile();
            if (FSCompareFSRefs(&file, &item) == noErr)
                return object;
        }
    }
    return nullptr;
}

TDocument* TApplication::FindDocument(const FSRef& item)
{
    for (WindowRef window = GetFrontWindowOfClass(kDocumentWindows, true); window != nullptr;
         window = GetNextWindowOfClass(window, kDocumentWindows, true)) {
        TWindow* object = GetWindowObject(window);
        if (object == nullptr || object->GetDocumentList() == nullptr)
            continue;
        if (TDocument* document = object->GetDocumentList()->FindDocument(item))
            return document;
    }
    return nullptr;
}

void TApplication::BringToFront(bool hideOthers)
{
    if (hideOthers) {
        ProcessSerialNumber other{0, kNoProcess};
        while (GetNextProcess(&other) == noErr) {
            Boolean same = false;
            SameProcess(&other, &process_, &same);
            if (!same)
                ShowHideProcess(&other, false);
        }
    }
    SetFrontProcess(&process_);
}

void TApplication::Hide()
{
    HICommand command{};
    command.commandID = kHICommandHide;
    // Nothing in the toolbox answers 'hide' for us: unless a handler of the
    // program does, the process hides its windows itself.
    if (ProcessHICommand(&command) == eventNotHandledErr)
        ShowHideProcess(&process_, false);
}

void TApplication::RegisterHotKey(UInt32 id, UInt32 keyCode, UInt32 modifiers)
{
    UnregisterHotKey(id);
    hotKeyHandler_->RegisterHotKey(keyCode, modifiers, id);
}

void TApplication::UnregisterHotKey(UInt32 id)
{
    hotKeyHandler_->UnregisterHotKey(id);
}

IconRef TApplication::RegisterIcon(UInt32 iconType, const ShortString& name, const ShortString& extension)
{
    CFURLRef url = CFBundleCopyResourceURL(CFBundleGetMainBundle(), CFSTR(name), CFSTR(extension), nullptr);
    if (url == nullptr)
        return nullptr;
    FSRef file{};
    const bool found = CFURLGetFSRef(url, &file);
    CFRelease(url);
    IconRef icon = nullptr;
    if (found)
        Err = RegisterIconRefFromFSRef(creator_, iconType, &file, &icon);
    return icon;
}

IconRef TApplication::GetApplicationIcon(UInt32 iconType)
{
    IconRef icon = nullptr;
    Err = GetIconRef(kOnSystemDisk, creator_, iconType, &icon);
    return Err == noErr ? icon : nullptr;
}

void TApplication::RegisterImage(const ShortString& name, const ShortString& path)
{
    if (images_ == nullptr) {
        images_ = TTypeDictionary::Create();
        ApplicationImages = images_;
    }
    const std::string_view text = path.View();
    const size_t slash = text.rfind('/');
    const ShortString folder(slash == std::string_view::npos ? std::string_view() : text.substr(0, slash));
    const ShortString file(slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1));
    CGImageRef image = CGImageLoadFromResource(file, folder);
    if (image == nullptr) {
        Diagnostics::WriteLine("Warning: the image " + std::string(name.View()) +
                               " can't be found and will not be registered.");
        return;
    }
    images_->SetValue(name, image);
    CGImageRelease(image);
}

CGImageRef TApplication::GetImage(const ShortString& name)
{
    return images_ != nullptr ? static_cast<CGImageRef>(images_->GetValue(name)) : nullptr;
}

// ---- preferences ----

void TApplication::RestorePreferences()
{
    if (preferences_ == nullptr)
        return;
    if (preferences_->GetBooleanValue("CheckSpellingAsYouType"))
        CheckMenuCommand(AcquireRootMenu(), FourCC("aspc"));
    if (preferences_->GetBooleanValue("CorrectSpellingAutomatically"))
        CheckMenuCommand(AcquireRootMenu(), FourCC("cspa"));
}

void TApplication::SynchronizePreferences()
{
    if (preferences_ == nullptr)
        return;
    preferences_->SetBooleanValue("CheckSpellingAsYouType", IsMenuCommandChecked(FourCC("aspc")));
    if (recentItems_ != nullptr)
        preferences_->SetTypeValue("RecentItems", recentItems_->CFType());
    preferences_->Synchronize();
}

void TApplication::SaveDocumentList()
{
    if (preferences_ == nullptr)
        return;
    preferences_->RemoveValue("DocumentList");
    for (WindowRef window = GetFrontWindowOfClass(kDocumentWindows, true); window != nullptr;
         window = GetNextWindowOfClass(window, kDocumentWindows, true)) {
        TWindow* object = GetWindowObject(window);
        if (object == nullptr || !(object->GetOptions() & kWindowOptionApplicationDocumentList))
            continue;
        CFArrayRef list = object->GetDocumentList()->CopyList();
        if (list == nullptr) {
            // An empty list is written as one entry naming no file, so that
            // the key says the window was there.
            CFDataRef empty = CreateDocumentListEntry(FSRef{});
            list = CFArrayCreate(nullptr, reinterpret_cast<const void**>(&empty), 1, &kCFTypeArrayCallBacks);
            CFRelease(empty);
        }
        // Each window replaces what the one before it wrote: the backmost
        // window's list is what remains.
        preferences_->SetTypeValue("DocumentList", list);
        CFRelease(list);
    }
}

void TApplication::RegisterHelpBook()
{
    // There is no help viewer to register a help book with; the status
    // says so to whoever asks.
    Err = noErr;
}

// ---- hooks ----

void TApplication::Deactivate()
{
    ShowHideProcess(&process_, false);
}

void TApplication::HandleHotKeyPressed(UInt32) {}

bool TApplication::AcceptsItem(const FSRef& item, UInt32 roles)
{
    Boolean accepts = false;
    FSRef bundle{};
    CFURLRef url = CFBundleCopyBundleURL(CFBundleGetMainBundle());
    if (url != nullptr && CFURLGetFSRef(url, &bundle))
        LSCanRefAcceptItem(&item, &bundle, roles, kLSAcceptDefault, &accepts);
    if (url != nullptr)
        CFRelease(url);
    return accepts;
}

void TApplication::LoadResources() {}
void TApplication::RegisterClasses() {}
void TApplication::PopulateDefaultPreferences() {}
void TApplication::OpenDocuments(TTypeArray*) {}

void TApplication::OpenDocument(const FSRef& item, bool& handled, const ApplicationOpenCommandOptions& options,
                                OSStatus& result)
{
    handled = false;
    if (recentItemsIndex_ > 0 && FSRefExists(item) && AcceptRecentItem(item)) {
        AppendRecentItems(item, true);
        BuildRecentItems();
    }
    if (!options.skipOpenCheck) {
        if (TWindow* window = FindWindow(item)) {
            handled = true;
            if (options.selectOpenWindow)
                window->SelectViewObject();
        }
        TDocument* document = FindDocument(item);
        if (document != nullptr && document->GetView() != nullptr) {
            handled = true;
            if (!options.keepDocumentBehind) {
                document->GetView()->SelectViewObject();
                document->Reopen(options);
            }
        }
    }
    if (handled)
        return;
    WindowRef window = GetFrontWindowOfClass(kDocumentWindows, true);
    while (window != nullptr) {
        // Taken first: opening may close the window.
        WindowRef next = GetNextWindowOfClass(window, kDocumentWindows, true);
        if (TWindow* object = GetWindowObject(window)) {
            object->OpenDocument(item, handled, options, result);
            if (result == noErr)
                break;
        }
        window = next;
    }
}

void TApplication::ProcessCommand(const HICommandExtended&, EventRef, OSStatus& result)
{
    result = eventNotHandledErr;
}

void TApplication::UpdateCommandStatus(const HICommandExtended& command, EventRef, OSStatus&)
{
    MenuRef menu = command.source.menu.menuRef;
    const MenuItemIndex index = command.source.menu.menuItemIndex;
    if ((command.attributes & kHICommandFromMenu) == 0 || menu == nullptr)
        return;
    const UInt32 id = command.commandID;
    auto is = [id](std::initializer_list<UInt32> codes) {
        return std::find(codes.begin(), codes.end(), id) != codes.end();
    };
    if (ApplicationQuitting) {
        if (is({FourCC("abou"), FourCC("clos"), FourCC("new "), FourCC("open"), FourCC("pref"), FourCC("rvrt"),
                FourCC("save"), FourCC("svas")}))
            DisableMenuItem(menu, index);
        return;
    }
    // Quitting was cancelled: what it disabled is enabled again (the rules
    // below enable what they name; these four name no window).
    if (is({FourCC("abou"), FourCC("new "), FourCC("open"), FourCC("pref")}))
        EnableMenuItem(menu, index);
    TWindow* front = GetFrontWindow();
    if (front == nullptr) {
        if (is({FourCC("clea"), FourCC("clos"), FourCC("cut "), FourCC("past"), FourCC("redo"), FourCC("rvrt"),
                FourCC("sall"), FourCC("save"), FourCC("svas"), FourCC("undo")}))
            DisableMenuItem(menu, index);
        return;
    }
    if (id == FourCC("clos"))
        EnableMenuItem(menu, index);
    if (is({FourCC("rvrt"), FourCC("svas")}))
        SetMenuItemEnabled(menu, index, front->ActiveDocument() != nullptr);
    if (id == FourCC("save"))
        SetMenuItemEnabled(menu, index, front->GetWindowRef() != nullptr && IsWindowModified(front->GetWindowRef()));
}

OSStatus TApplication::HandleQuitCommand()
{
    OSStatus result = eventNotHandledErr;
    if (!ApplicationQuitting) {
        PostNotification("application.quitting");
        if (preferences_ != nullptr)
            SaveDocumentList();
    }
    ApplicationQuitting = true;

    // Kept alive through the walk: a window's close sends 'quit' again,
    // and a subclass may let go of the application there.
    Retain();
    WindowRef window = GetWindowList();
    while (window != nullptr && result != noErr) {
        // The next window is taken before this one is asked: closing
        // disposes of it.
        WindowRef next = GetNextWindow(window);
        if (TWindow* object = GetWindowObject(window)) {
            result = object->HandleCloseEvent(nullptr);
        } else {
            EventRef close = nullptr;
            CreateEvent(nullptr, kEventClassWindow, kEventWindowClose, GetCurrentEventTime(), 0, &close);
            SetEventParameter(close, kEventParamDirectObject, typeWindowRef, sizeof window, &window);
            Boolean quitting = ApplicationQuitting;
            SetEventParameter(close, kEventParamQuitting, typeBoolean, sizeof quitting, &quitting);
            SendEventToEventTarget(close, GetWindowEventTarget(window));
            ReleaseEvent(close);
        }
        window = IsValidWindowPtr(next) ? next : nullptr;
    }
    // A window still busy asking the user keeps the program running; its
    // close sends 'quit' again.
    if (FrontNonFloatingWindow() == nullptr)
        QuitApplicationEventLoop();
    if (result == eventNotHandledErr)
        SynchronizePreferences();
    Release();
    return result;
}

OSStatus TApplication::HandleOpenDocumentCommand(EventRef event)
{
    OSStatus result = eventNotHandledErr;
    ApplicationOpenCommandOptions options = GetDefaultOpenCommandOptions();
    try {
        // A recent-items menu item carries its file as an item property.
        FSRef item{};
        GetCommandParameter(event, kEventParamOpenItem, typeFSRef, sizeof item, &item);
        // Only a whole record is one: anything else (a bare pointer, a
        // record of another size) leaves the defaults.
        ApplicationOpenCommandOptions sent;
        UInt32 sentSize = 0;
        if (GetEventParameter(event, kEventParamOpenOptions, typeVoidPtr, nullptr, sizeof sent, &sentSize, &sent) ==
                noErr &&
            sentSize == sizeof sent) {
            options = sent;
        } else {
            options = GetDefaultOpenCommandOptions();
            Boolean skip = false;
            if (GetEventParameter(event, kEventParamSkipOpenCheck, typeBoolean, nullptr, sizeof skip, nullptr, &skip) ==
                noErr)
                options.skipOpenCheck = skip;
        }
        if (!FSValidFSRef(options.item))
            options.item = item;
        bool handled = false;
        OpenDocument(item, handled, options, result);
    } catch (const std::exception& exception) {
        if (IsHelperProfile())
            throw;
        ReportException(std::string(ClassName()) + ".HandleOpenDocumentCommand", &exception, &exception);
    }
    // The block travelled as the command's own copy: it is freed here, and
    // only when it is one.
    void* copy = nullptr;
    if (options.extraData != nullptr &&
        GetEventParameter(event, kEventParamOpenCopy, typeVoidPtr, nullptr, sizeof copy, nullptr, &copy) == noErr &&
        copy == options.extraData && IsPointerValid(static_cast<Ptr>(copy)))
        DisposePtr(static_cast<Ptr>(copy));
    return result;
}

OSStatus TApplication::HandleReviewFilesCommand(EventRef event)
{
    TWindow* parent = nullptr;
    UInt32 action = 0;
    CFArrayRef documents = nullptr;
    EventRef origin = nullptr;
    GetEventParameter(event, FourCC("revp"), typeWindowRef, nullptr, sizeof parent, nullptr, &parent);
    GetEventParameter(event, FourCC("reva"), typeUInt32, nullptr, sizeof action, nullptr, &action);
    GetEventParameter(event, FourCC("revd"), typeCFTypeRef, nullptr, sizeof documents, nullptr, &documents);
    if (documents != nullptr && CFGetTypeID(documents) != CFArrayGetTypeID())
        documents = nullptr;
    GetEventParameter(event, FourCC("reve"), typeEventRef, nullptr, sizeof origin, nullptr, &origin);
    if (!TObject::IsLiveObject(parent))
        parent = nullptr;
    OpenReviewFilesDialog(parent, action, documents, origin, nib_);
    return noErr;
}

OSStatus TApplication::HandleActivated()
{
    return eventNotHandledErr;
}

OSStatus TApplication::HandleDeactivated()
{
    return eventNotHandledErr;
}

OSStatus TApplication::HandleLaunched()
{
    return eventNotHandledErr;
}

OSStatus TApplication::HandleTerminated()
{
    return eventNotHandledErr;
}

OSStatus TApplication::HandleFrontApplicationSwitched(ProcessSerialNumber)
{
    return eventNotHandledErr;
}

CGSize TApplication::GetMainScreenSize()
{
    NSScreen* screen = NSScreen::mainScreen();
    if (screen == nullptr)
        return CGSizeMake(0, 0);
    const NSRect visible = screen->visibleFrame();
    return CGSizeMake(visible.size.width, visible.size.height);
}

// ---- the Carbon handlers ----

OSStatus HandleApplicationEvents(EventHandlerCallRef, EventRef event, void* userData)
{
    OSStatus result = eventNotHandledErr;
    TApplication* application = static_cast<TApplication*>(userData);
    auto body = [&] {
        switch (GetEventKind(event)) {
        case kEventAppActivated:
            result = application->HandleActivated();
            application->activated_ = true;
            TResponder::PostNotification("application.activated");
            break;
        case kEventAppDeactivated:
            result = application->HandleDeactivated();
            application->activated_ = false;
            TResponder::PostNotification("application.deactivated");
            break;
        case kEventAppLaunched:
            result = application->HandleLaunched();
            break;
        case kEventAppTerminated:
            result = application->HandleTerminated();
            break;
        case kEventAppFrontSwitched: {
            ProcessSerialNumber process{};
            GetEventParameter(event, kEventParamProcessID, typeProcessSerialNumber, nullptr, sizeof process, nullptr,
                              &process);
            result = application->HandleFrontApplicationSwitched(process);
            break;
        }
        default:
            break;
        }
    };
    // The helper's build lets a hook's exception go on to the event
    // manager's own boundary.
    if (IsHelperProfile()) {
        body();
        return result;
    }
    try {
        body();
    } catch (const std::exception& exception) {
        ReportException("HandleApplicationEvents", &exception, &exception);
    } catch (...) {
        ReportException("HandleApplicationEvents", nullptr, nullptr);
    }
    return result;
}

OSStatus HandleApplicationCommands(EventHandlerCallRef, EventRef event, void* userData)
{
    OSStatus result = eventNotHandledErr;
    TApplication* application = static_cast<TApplication*>(userData);
    const HICommandExtended command = ReadCommand(event);
    switch (GetEventKind(event)) {
    case kEventCommandProcess: {
        TDocument* document = nullptr;
        if (GetEventParameter(event, kEventParamCommandDocument, typeVoidPtr, nullptr, sizeof document, nullptr,
                              &document) == noErr &&
            TObject::IsLiveObject(document) && TObject::IsLiveObject(document->GetView()))
            document->GetView()->ProcessCommand(command, event, result);
        ProcessMenuCommand(AsHICommand(command), result);
        switch (command.commandID) {
        case kOpenDocumentCommand:
            result = application->HandleOpenDocumentCommand(event);
            break;
        case kHICommandQuit:
            result = application->HandleQuitCommand();
            break;
        case kReviewFilesCommand:
            result = application->HandleReviewFilesCommand(event);
            break;
        case FourCC("cler"):
            if (application->recentItemsIndex_ > 0) {
                application->ClearRecentItems();
                result = noErr;
            } else {
                application->ProcessCommand(command, event, result);
            }
            break;
        default:
            application->ProcessCommand(command, event, result);
            break;
        }
        break;
    }
    case kEventCommandUpdateStatus:
        application->UpdateCommandStatus(command, event, result);
        break;
    default:
        break;
    }
    return result;
}

OSStatus HandleMenuEvents(EventHandlerCallRef, EventRef, void*)
{
    return eventNotHandledErr;
}

OSErr HandleOpenDocuments(const AppleEvent* event, AppleEvent*, SRefCon userData)
{
    TApplication* application = static_cast<TApplication*>(userData);
    AEDescList list{};
    AEInitializeDesc(&list);
    if (AEGetParamDesc(event, keyDirectObject, typeAEList, &list) != noErr)
        return noErr;
    long count = 0;
    AECountItems(&list, &count);
    std::vector<FSRef> items;
    TTypeArray* paths = TTypeArray::Create();
    for (long index = 1; index <= count; ++index) {
        FSRef item{};
        if (AEGetNthPtr(&list, index, typeFSRef, nullptr, nullptr, &item, sizeof item, nullptr) != noErr)
            continue;
        items.push_back(item);
        if (CFStringRef path = FSCopyPath(item)) {
            paths->AppendValue(path);
            CFRelease(path);
        }
    }
    application->OpenDocuments(paths);
    paths->Release();
    for (const FSRef& item : items) {
        ApplicationOpenCommandOptions options = GetDefaultOpenCommandOptions();
        options.item = item;
        options.skipOpenCheck = true;
        options.fromFinder = true;
        bool handled = false;
        OSStatus result = eventNotHandledErr;
        application->OpenDocument(item, handled, options, result);
    }
    AEDisposeDesc(&list);
    return noErr;
}

// ---- the ApplicationFramework functions ----

TObject* TWindowGetObject(WindowRef window)
{
    if (window == nullptr)
        return nullptr;
    void* refCon = GetWRefCon(window);
    return reinterpret_cast<intptr_t>(refCon) > 0 ? static_cast<TObject*>(refCon) : nullptr;
}

void TWindowSetProperty(OSType tag, void* value, UInt32, WindowRef window)
{
    // The data is the pointer itself, whatever size the caller gave.
    SetWindowProperty(window, kWindowPropertyCreator, tag, sizeof value, &value);
}

void TWindowGetProperty(OSType tag, void*& value, WindowRef window)
{
    ByteCount size = 0;
    void* stored = nullptr;
    if (GetWindowPropertySize(window, kWindowPropertyCreator, tag, &size) != noErr || size != sizeof stored ||
        GetWindowProperty(window, kWindowPropertyCreator, tag, sizeof stored, nullptr, &stored) != noErr) {
        value = nullptr;
        return;
    }
    value = stored;
}

TObject* TWindowGetPane(WindowRef window)
{
    void* pane = nullptr;
    TWindowGetProperty(kWindowPropertyTagPane, pane, window);
    return static_cast<TObject*>(pane);
}

ApplicationOpenCommandOptions GetDefaultOpenCommandOptions()
{
    ApplicationOpenCommandOptions options;
    std::memset(&options, 0, sizeof options);
    options.selectOpenWindow = true;
    return options;
}

void SendOpenDocumentCommandWithOptions(const ApplicationOpenCommandOptions& options)
{
    EventRef event = nullptr;
    if (CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event) != noErr)
        return;
    HICommand command{};
    command.commandID = kOpenDocumentCommand;
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    if (FSValidFSRef(options.item))
        SetEventParameter(event, kEventParamOpenItem, typeFSRef, sizeof options.item, &options.item);
    // The caller's block is copied into one the command owns, so that the
    // handler frees only its own copy and the caller keeps its block.
    ApplicationOpenCommandOptions sent = options;
    Ptr copy = nullptr;
    if (options.extraData != nullptr && options.extraDataSize > 0) {
        copy = NewPtr(options.extraDataSize);
        if (copy != nullptr)
            std::memcpy(copy, options.extraData, options.extraDataSize);
        sent.extraData = copy;
        sent.extraDataSize = copy != nullptr ? options.extraDataSize : 0;
    }
    SetEventParameter(event, kEventParamOpenOptions, typeVoidPtr, sizeof sent, &sent);
    // Names the block the command owns, so that only that block is freed.
    if (copy != nullptr)
        SetEventParameter(event, kEventParamOpenCopy, typeVoidPtr, sizeof copy, &copy);
    SendEventToEventTarget(event, GetApplicationEventTarget());
    ReleaseEvent(event);
}
