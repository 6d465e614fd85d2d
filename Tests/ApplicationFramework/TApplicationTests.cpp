#include "FrameworkTestSupport.h"

#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <CarbonCore/MacMemory.h>
#include <CoreServices/AppleEvents.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/HotKeys.h>
#include <HIToolbox/Menus.h>
#include <HIToolbox/NavigationTesting.h>
#include <RunUntil.h>

#include <QTimer>

#include <cstring>
#include <filesystem>
#include <fstream>

BRINDLET_DEFINE_CLASS(RecordingApplication, TApplication)

namespace {

RecordingApplication* Start(UInt16 recentItemsIndex = 0)
{
    return RecordingApplication::Start(recentItemsIndex);
}

std::string PreferencesFile(const FrameworkScope& scope)
{
    return scope.Home().ConfigFolder() + "/brindlet/org.brindlet.FrameworkTests.plist";
}

// The menu and index of the first item of the menu bar with the command.
std::pair<MenuRef, MenuItemIndex> ItemWithCommand(UInt32 command)
{
    MenuRef menu = nullptr;
    MenuItemIndex index = 0;
    GetIndMenuItemWithCommandID(nullptr, command, 1, &menu, &index);
    return {menu, index};
}

void SendCommand(UInt32 kind, UInt32 commandID, MenuRef menu = nullptr, MenuItemIndex index = 0,
                 const std::function<void(EventRef)>& more = {})
{
    EventRef event = nullptr;
    ASSERT_EQ(CreateEvent(nullptr, kEventClassCommand, kind, 0, 0, &event), noErr);
    HICommandExtended command{};
    command.commandID = commandID;
    if (menu != nullptr) {
        command.attributes = kHICommandFromMenu;
        command.source.menu.menuRef = menu;
        command.source.menu.menuItemIndex = index;
    }
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    if (more)
        more(event);
    SendEventToEventTarget(event, GetApplicationEventTarget());
    ReleaseEvent(event);
}

bool ItemEnabledAfterUpdate(UInt32 commandID)
{
    auto [menu, index] = ItemWithCommand(commandID);
    SendCommand(kEventCommandUpdateStatus, commandID, menu, index);
    return IsMenuItemEnabled(menu, index);
}

}  // namespace

// ---- start-up ----

TEST(TApplicationStart, FirstLaunchWritesDefaultsBeforeTheNibThenLaterLaunchesDoNot)
{
    FrameworkScope scope;
    RecordingApplication* first = Start();
    ASSERT_EQ(TApplication::Current(), first);
    EXPECT_TRUE(first->DidLaunchFirstTime());
    EXPECT_FALSE(first->nibLoadedAtDefaults) << "the defaults were written after the nib had loaded";
    EXPECT_EQ(first->log, (std::vector<std::string>{"PopulateDefaultPreferences", "LoadResources", "RegisterClasses"}));
    EXPECT_NE(first->GetNibRef(), nullptr);
    EXPECT_EQ(ApplicationNib, first->GetNibRef());
    EXPECT_EQ(ApplicationSignature, FourCC("ovbr"));
    // The defaults were restored into the menus: the spelling item is checked.
    EXPECT_TRUE(IsMenuCommandChecked(FourCC("aspc")));
    first->Release();
    EXPECT_EQ(TApplication::Current(), nullptr);
    ASSERT_TRUE(std::filesystem::exists(PreferencesFile(scope))) << "the preferences were not written at the end";

    RecordingApplication* second = Start();
    EXPECT_FALSE(second->DidLaunchFirstTime());
    EXPECT_EQ(second->log, (std::vector<std::string>{"LoadResources", "RegisterClasses"}));
    second->Release();
}

TEST(TApplicationStart, MissingMainNibIsReportedAndStartUpGoesOn)
{
    ScratchFolder empty;
    FrameworkScope scope(empty.Path());
    Diagnostics::Capture capture;
    RecordingApplication* application = Start();
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"Warning: Error loading NIB (main.nib) -10960"}));
    EXPECT_EQ(application->GetNibRef(), nullptr);
    EXPECT_EQ(ApplicationNib, nullptr);
    EXPECT_EQ(TApplication::Current(), application);
    EXPECT_NE(TApplication::Prefs(), nullptr);
    application->Release();
}

// ---- commands ----

namespace {

class RecordingView : public TView {
    BRINDLET_CLASS(RecordingView, TView)

public:
    static RecordingView* Create() { return CreateInstance<RecordingView>(); }
    std::vector<std::string>* log = nullptr;
    void ProcessCommand(const HICommandExtended& command, EventRef, OSStatus&) override
    {
        log->push_back("view " + FCCToString(command.commandID).ToString());
    }

protected:
    RecordingView() = default;
};

class MenuTarget : public TResponder {
    BRINDLET_CLASS(MenuTarget, TResponder)

public:
    static MenuTarget* Create() { return CreateInstance<MenuTarget>(); }
    std::vector<std::string>* log = nullptr;
    void Chosen(TObject*) { log->push_back("item"); }
    void Initialize() override
    {
        Inherited::Initialize();
        RegisterMethod("Chosen", BRINDLET_METHOD(MenuTarget, Chosen));
    }

protected:
    MenuTarget() = default;
};

}  // namespace

BRINDLET_DEFINE_CLASS(RecordingView, TView)
BRINDLET_DEFINE_CLASS(MenuTarget, TResponder)

TEST(TApplicationCommands, ACommandTravelsToTheDocumentThenTheItemThenTheApplication)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    std::vector<std::string>& log = application->log;
    log.clear();

    RecordingView* view = RecordingView::Create();
    view->log = &log;
    TDocument* document = TDocument::Create();
    document->SetView(view);
    MenuTarget* target = MenuTarget::Create();
    target->log = &log;
    TMenu* menu = TMenu::Create(200);
    TMenuItem* item = TMenuItem::Create(CFSTR("Choose"), "Chosen", target);
    menu->AppendItem(item);

    auto withDocument = [&](EventRef event) {
        SetEventParameter(event, kEventParamCommandDocument, typeVoidPtr, sizeof document, &document);
    };
    SendCommand(kEventCommandProcess, FourCC("abcd"), menu->GetRef(), item->GetIndex(), withDocument);
    EXPECT_EQ(log, (std::vector<std::string>{"view abcd", "item", "application abcd"}));

    // A document whose view is gone is passed over.
    log.clear();
    document->SetView(nullptr);
    view->Release();
    SendCommand(kEventCommandProcess, FourCC("abcd"), nullptr, 0, withDocument);
    EXPECT_EQ(log, (std::vector<std::string>{"application abcd"}));

    item->Release();
    menu->Release();
    target->Release();
    document->Release();
    application->Release();
}

TEST(TApplicationCommands, QuittingDisablesTheFileCommandsUntilItIsCancelled)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    struct Case {
        const char (&command)[5];
        bool whileQuitting;
        bool withoutWindow;
    };
    const Case cases[] = {
        {"abou", false, true},  {"pref", false, true},  {"new ", false, true}, {"open", false, true},
        {"clos", false, false}, {"save", false, false}, {"undo", true, false}, {"quit", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        ApplicationQuitting = true;
        EXPECT_EQ(ItemEnabledAfterUpdate(FourCC(c.command)), c.whileQuitting);
        // Cancelled: what quitting disabled comes back.
        ApplicationQuitting = false;
        EXPECT_EQ(ItemEnabledAfterUpdate(FourCC(c.command)), c.withoutWindow);
    }
    application->Release();
}

// ---- quitting ----

namespace {

// A window that is busy (asking the user something) the first time it is
// asked to close.
class BusyWindow : public TWindow {
    BRINDLET_CLASS(BusyWindow, TWindow)

public:
    bool busy = true;
    std::vector<std::string>* log = nullptr;
    void HandleClosing(OSStatus& result) override
    {
        log->push_back(busy ? "busy" : "closing");
        if (busy)
            result = noErr;
    }

protected:
    BusyWindow() = default;
};

BusyWindow* MakeWindow(std::vector<std::string>* log, bool busy)
{
    BusyWindow* window = BusyWindow::Allocate();
    window->SetNibWindow("Document", ApplicationNib);
    window->busy = busy;
    window->log = log;
    window->Initialize();
    ShowWindow(window->GetWindowRef());
    return window;
}

OSStatus RecordClose(EventHandlerCallRef, EventRef event, void* userData)
{
    Boolean quitting = false;
    GetEventParameter(event, kEventParamQuitting, typeBoolean, nullptr, sizeof quitting, nullptr, &quitting);
    static_cast<std::vector<std::string>*>(userData)->push_back(quitting ? "plain window, quitting" : "plain window");
    return eventNotHandledErr;  // the standard handler disposes of it
}

}  // namespace

BRINDLET_DEFINE_CLASS(BusyWindow, TWindow)

TEST(TApplicationQuit, AWindowThatIsBusyHoldsTheQuitUntilItClosesThenEveryWindowCloses)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    std::vector<std::string> log;
    MakeWindow(&log, false);
    WindowRef plain = nullptr;
    ASSERT_EQ(CreateWindowFromNib(ApplicationNib, CFSTR("Document"), &plain), noErr);
    static const EventTypeSpec kClose = {kEventClassWindow, kEventWindowClose};
    InstallEventHandler(GetWindowEventTarget(plain), RecordClose, 1, &kClose, &log, nullptr);
    ShowWindow(plain);
    BusyWindow* busy = MakeWindow(&log, true);
    ASSERT_EQ(GetWindowObject(FrontNonFloatingWindow()), busy);

    QTimer::singleShot(0, [&] {
        application->Quit();
        log.push_back("quit asked");
        // The busy window answered: the program goes on running.
        EXPECT_NE(FrontNonFloatingWindow(), nullptr);
        busy->busy = false;
        busy->Remove();
    });
    EXPECT_TRUE(RunApplicationLoop()) << "the loop did not end";
    EXPECT_EQ(log, (std::vector<std::string>{"busy", "quit asked", "closing", "plain window, quitting", "closing"}));
    EXPECT_EQ(GetWindowList(), nullptr) << "a window was left open";
    EXPECT_TRUE(ApplicationQuitting);
    EXPECT_TRUE(std::filesystem::exists(PreferencesFile(scope)));
    application->Release();
}

TEST(TApplicationQuit, WithNoWindowsTheLoopEndsAndThePreferencesAreWritten)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    application->Prefs()->SetIntegerValue("marker", 7);
    QTimer::singleShot(0, [&] { application->Quit(); });
    EXPECT_TRUE(RunApplicationLoop()) << "the loop did not end";
    EXPECT_TRUE(ApplicationQuitting);
    std::ifstream file(PreferencesFile(scope));
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("marker"), std::string::npos);
    application->Release();
}

// ---- opening documents ----

TEST(TApplicationOpen, TheOpenCommandCarriesACopyOfTheCallersDataAndFreesOnlyThatCopy)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    const std::string path = scope.Home().Folder() / "note.txt";
    std::ofstream(path) << "x";

    struct Case {
        const char* name;
        bool callerBlockIsMemoryManagerBlock;
    };
    for (const Case c : {Case{"loose bytes", false}, Case{"memory-manager block", true}}) {
        SCOPED_TRACE(c.name);
        application->log.clear();
        char loose[] = "data";
        Ptr block = nullptr;
        ApplicationOpenCommandOptions options = GetDefaultOpenCommandOptions();
        ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &options.item, nullptr), noErr);
        options.extraDataSize = 4;
        if (c.callerBlockIsMemoryManagerBlock) {
            block = NewPtr(4);
            std::memcpy(block, "data", 4);
            options.extraData = block;
        } else {
            options.extraData = loose;
        }
        SendOpenDocumentCommandWithOptions(options);
        EXPECT_EQ(application->log, (std::vector<std::string>{"extra data block"}));
        ASSERT_FALSE(application->opened.empty());
        EXPECT_NE(application->opened.back().extraData, options.extraData) << "the caller's own block travelled";
        EXPECT_FALSE(IsPointerValid(static_cast<Ptr>(application->opened.back().extraData)))
            << "the copy was not freed";
        if (block != nullptr) {
            EXPECT_TRUE(IsPointerValid(block)) << "the caller's block was freed";
            DisposePtr(block);
        }
        EXPECT_STREQ(loose, "data");
        const FSRef sent = application->opened.back().item;
        EXPECT_EQ(FSCompareFSRefs(&sent, &options.item), noErr);
    }
    application->Release();
}

TEST(TApplicationOpen, DocumentsFromTheSystemArriveAsPathsAndThenOneByOne)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    const std::string a = scope.Home().Folder() / "a.txt";
    const std::string b = scope.Home().Folder() / "b.txt";
    std::ofstream(a) << "a";
    std::ofstream(b) << "b";
    const char* paths[] = {a.c_str(), b.c_str()};
    ASSERT_EQ(AEDeliverOpenDocuments(paths, 2), noErr);
    ASSERT_TRUE(RunUntil([&] { return application->opened.size() == 2; }, 10));
    EXPECT_EQ(application->openedPaths, (std::vector<std::string>{a, b}));
    for (const ApplicationOpenCommandOptions& options : application->opened) {
        EXPECT_TRUE(options.skipOpenCheck);
        EXPECT_TRUE(options.fromFinder);
        EXPECT_FALSE(options.fromOpenDialog);
    }
    application->Release();
}

// ---- hot keys, images, window properties ----

TEST(TApplicationServices, AHotKeyRegisteredAgainUnderItsIdReplacesTheOldKey)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    application->RegisterHotKey(32, 0x31, cmdKey);
    application->RegisterHotKey(32, 0x24, cmdKey | optionKey);
    HotKeyInjectPress(0x31, cmdKey);
    HotKeyInjectPress(0x24, cmdKey | optionKey);
    RunUntil([&] { return !application->hotKeys.empty(); }, 2);
    EXPECT_EQ(application->hotKeys, (std::vector<UInt32>{32}));
    application->UnregisterHotKey(32);
    application->Release();
}

TEST(TApplicationServices, ImagesAreKeptByNameAndAMissingOneIsReported)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    Diagnostics::Capture capture;
    application->RegisterImage("disc", "Images/disc.png");
    application->RegisterImage("flat", "disc.png");
    EXPECT_NE(application->GetImage("disc"), nullptr);
    EXPECT_EQ(application->GetImage("flat"), nullptr);
    EXPECT_EQ(application->GetImage("never"), nullptr);
    EXPECT_EQ(capture.Lines(),
              (std::vector<std::string>{"Warning: the image flat can't be found and will not be registered."}));
    application->Release();
}

TEST(ApplicationFrameworkFunctions, WindowObjectsAndPropertiesAreReadOnlyWhenTheyAreThere)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    WindowRef window = nullptr;
    ASSERT_EQ(CreateWindowFromNib(ApplicationNib, CFSTR("Document"), &window), noErr);
    EXPECT_EQ(TWindowGetObject(nullptr), nullptr);
    EXPECT_EQ(TWindowGetObject(window), nullptr);
    SetWRefCon(window, reinterpret_cast<void*>(intptr_t(-4)));
    EXPECT_EQ(TWindowGetObject(window), nullptr) << "a negative reference constant is no object";
    SetWRefCon(window, application);
    EXPECT_EQ(TWindowGetObject(window), application);

    void* value = &window;
    TWindowGetProperty(kWindowPropertyTagPane, value, window);
    EXPECT_EQ(value, nullptr);
    TWindowSetProperty(kWindowPropertyTagPane, application, 4, window);
    EXPECT_EQ(TWindowGetPane(window), application);
    DisposeWindow(window);
    application->Release();
}

// ---- recent items ----

namespace {

FSRef MakeFile(const FrameworkScope& scope, const std::string& name, bool folder = false)
{
    const std::string path = scope.Home().Folder() / name;
    if (folder)
        std::filesystem::create_directory(path);
    else
        std::ofstream(path) << name;
    FSRef ref{};
    FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr);
    return ref;
}

void Open(TApplication* application, const FSRef& file)
{
    bool handled = false;
    OSStatus result = eventNotHandledErr;
    application->OpenDocument(file, handled, GetDefaultOpenCommandOptions(), result);
}

std::vector<std::string> MenuTexts(MenuRef menu)
{
    std::vector<std::string> texts;
    for (MenuItemIndex i = 1; i <= CountMenuItems(menu); ++i) {
        CFStringRef text = nullptr;
        CopyMenuItemTextAsCFString(menu, i, &text);
        texts.push_back(text ? CFStringToUTF8(text) : "");
        if (text)
            CFRelease(text);
    }
    return texts;
}

}  // namespace

TEST(TApplicationRecentItems, WithoutItsMenuItemNothingIsKept)
{
    FrameworkScope scope;
    RecordingApplication* application = Start(0);
    Open(application, MakeFile(scope, "a.txt"));
    EXPECT_EQ(application->GetRecentItemsMenu(), nullptr);
    EXPECT_EQ(application->GetRecentItems(), nullptr);
    application->Release();
}

TEST(TApplicationRecentItems, OpenedFilesAreKeptNewestFirstOnceEachAndShownWhileTheyExist)
{
    FrameworkScope scope;
    RecordingApplication* application = Start(2);
    MenuRef menu = application->GetRecentItemsMenu();
    ASSERT_NE(menu, nullptr);
    MenuRef applicationMenu = GetMenuHandle(128);
    const FSRef a = MakeFile(scope, "a.txt");
    const FSRef b = MakeFile(scope, "b.txt");
    const FSRef folder = MakeFile(scope, "Stuff", true);
    Open(application, a);
    Open(application, b);
    Open(application, a);
    Open(application, folder);
    EXPECT_EQ(application->ContainsRecentItem(a), 0);
    EXPECT_EQ(application->ContainsRecentItem(b), 1);
    EXPECT_EQ(MenuTexts(menu),
              (std::vector<std::string>{"Folders", "Stuff", "Documents", "a.txt", "b.txt", "", "Clear Menu"}));
    EXPECT_TRUE(IsMenuItemEnabled(applicationMenu, 2));

    // Gone from the disk: left out of the menu, kept in the list.
    std::filesystem::remove(std::string(b.path));
    application->BuildRecentItems();
    EXPECT_EQ(MenuTexts(menu), (std::vector<std::string>{"Folders", "Stuff", "Documents", "a.txt", "", "Clear Menu"}));
    EXPECT_EQ(CFArrayGetCount(application->RecentItemGroup(a)), 2);

    // An item of the menu opens its file through the open command.
    application->opened.clear();
    SendCommand(kEventCommandProcess, kOpenDocumentCommand, menu, 4);
    ASSERT_EQ(application->opened.size(), 1u);
    EXPECT_EQ(FSCompareFSRefs(&application->opened[0].item, &a), noErr);

    SendCommand(kEventCommandProcess, FourCC("cler"), menu, 6);
    EXPECT_EQ(CountMenuItems(menu), 0);
    EXPECT_EQ(application->ContainsRecentItem(a), -1);
    EXPECT_FALSE(IsMenuItemEnabled(applicationMenu, 2));
    application->Release();
}

TEST(TApplicationRecentItems, GroupsFollowTheExtensionAndTheMaximumTrimsTheOldest)
{
    FrameworkScope scope;
    RecordingApplication* application = Start(2);
    const FSRef album = MakeFile(scope, "Trip.pics", true);
    EXPECT_EQ(application->RecentItemGroup(album), application->GetRecentItems()->GetValue("*"))
        << "a folder with an extension no group has goes with the documents";
    application->AppendRecentItemGroup("Pictures", "pics");
    EXPECT_EQ(application->RecentItemGroup(album), application->GetRecentItems()->GetValue("pics"));

    application->SetRecentItemsMaximum(5);
    for (int i = 0; i < 8; ++i)
        Open(application, MakeFile(scope, "n" + std::to_string(i) + ".txt"));
    CFArrayRef documents = static_cast<CFArrayRef>(application->GetRecentItems()->GetValue("*"));
    EXPECT_EQ(CFArrayGetCount(documents), 4);
    EXPECT_EQ(application->ContainsRecentItem(MakeFile(scope, "n7.txt")), 0);
    application->Release();
}

// ---- application events and the document list ----

namespace {

class NotificationLog : public TResponder {
    BRINDLET_CLASS(NotificationLog, TResponder)

public:
    static NotificationLog* Create() { return CreateInstance<NotificationLog>(); }
    std::vector<std::string> names;
    void Activated(TDictionary*) { names.push_back("activated"); }
    void Deactivated(TDictionary*) { names.push_back("deactivated"); }

protected:
    NotificationLog() = default;
};

OSStatus SendApplicationEvent(UInt32 kind)
{
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassApplication, kind, 0, 0, &event);
    const OSStatus status = SendEventToEventTarget(event, GetApplicationEventTarget());
    ReleaseEvent(event);
    return status;
}

}  // namespace

BRINDLET_DEFINE_CLASS(NotificationLog, TResponder)

TEST(TApplicationEvents, ActivationIsTrackedAndPostedAndAThrowingHookIsReportedOnce)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    NotificationLog* log = NotificationLog::Create();
    log->ObserveNotification("application.activated", BRINDLET_METHOD(NotificationLog, Activated));
    log->ObserveNotification("application.deactivated", BRINDLET_METHOD(NotificationLog, Deactivated));
    SendApplicationEvent(kEventAppActivated);
    EXPECT_TRUE(application->IsActivated());
    SendApplicationEvent(kEventAppDeactivated);
    EXPECT_FALSE(application->IsActivated());
    EXPECT_EQ(log->names, (std::vector<std::string>{"activated", "deactivated"}));
    log->Release();

    // The hook's exception stops at the handler, as one line, and the
    // event goes on unhandled.
    application->throwOnLaunch = true;
    Diagnostics::Capture capture;
    EXPECT_EQ(SendApplicationEvent(kEventAppLaunched), eventNotHandledErr);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].rfind("HandleApplicationEvents:no launch:0x", 0), 0u) << capture.Lines()[0];
    application->Release();
}

TEST(TApplicationDocuments, EveryWindowKeepingTheListWritesItAndAnEmptyListIsOneEmptyReference)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    TWindow* window = TWindow::Allocate();
    window->SetNibWindow("Document", ApplicationNib);
    window->SetOptions(kWindowOptionApplicationDocumentList);
    window->Initialize();
    ShowWindow(window->GetWindowRef());
    application->SaveDocumentList();
    TTypeArray* stored = application->Prefs()->CopyArray("DocumentList");
    ASSERT_NE(stored, nullptr);
    ASSERT_EQ(stored->Count(), 1);
    CFDataRef empty = static_cast<CFDataRef>(stored->GetValue(0));
    EXPECT_EQ(CFDataGetLength(empty), 0);
    FSRef none{};
    EXPECT_FALSE(GetDocumentListEntryFile(empty, none));
    stored->Release();

    TDocument* document = TDocument::Create();
    document->SetFile(MakeFile(scope, "kept.txt"));
    window->GetDocumentList()->Append(document);
    application->SaveDocumentList();
    stored = application->Prefs()->CopyArray("DocumentList");
    ASSERT_NE(stored, nullptr);
    ASSERT_EQ(stored->Count(), 1);
    // The entry is the file's path, not the process's reference to it.
    CFDataRef entry = static_cast<CFDataRef>(stored->GetValue(0));
    const FSRef file = document->GetFile();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(entry)), CFDataGetLength(entry)),
              FSGetPath(file).ToString());
    FSRef kept{};
    ASSERT_TRUE(GetDocumentListEntryFile(entry, kept));
    EXPECT_EQ(FSCompareFSRefs(&kept, &file), noErr);
    stored->Release();
    window->Remove();
    document->Release();
    application->Release();
}

// ---- the default opening of a document ----

namespace {

// A window showing one file as its root, or opening what it is offered.
class ShowingWindow : public TWindow {
    BRINDLET_CLASS(ShowingWindow, TWindow)

public:
    FSRef root{};
    bool takes = false;
    std::vector<std::string>* log = nullptr;
    bool CompareDocumentRoot(const FSRef& item) override { return FSCompareFSRefs(&root, &item) == noErr; }
    void OpenDocument(const FSRef& item, bool& handled, const ApplicationOpenCommandOptions&, OSStatus& result) override
    {
        log->push_back(std::string("offered ") + (takes ? "and taken " : "") + item.path);
        if (takes) {
            handled = true;
            result = noErr;
        }
    }
    void SelectViewObject() override { log->push_back("window selected"); }

protected:
    ShowingWindow() = default;
};

class ReopeningDocument : public TDocument {
    BRINDLET_CLASS(ReopeningDocument, TDocument)

public:
    static ReopeningDocument* Create() { return CreateInstance<ReopeningDocument>(); }
    std::vector<std::string>* log = nullptr;
    void Reopen(const ApplicationOpenCommandOptions&) override { log->push_back("reopened"); }

protected:
    ReopeningDocument() = default;
};

class SelectingView : public TView {
    BRINDLET_CLASS(SelectingView, TView)

public:
    static SelectingView* Create() { return CreateInstance<SelectingView>(); }
    std::vector<std::string>* log = nullptr;
    void SelectViewObject() override { log->push_back("view selected"); }

protected:
    SelectingView() = default;
};

ShowingWindow* MakeShowingWindow(std::vector<std::string>* log, bool takes)
{
    ShowingWindow* window = ShowingWindow::Allocate();
    window->SetNibWindow("Document", ApplicationNib);
    window->log = log;
    window->takes = takes;
    window->Initialize();
    ShowWindow(window->GetWindowRef());
    return window;
}

}  // namespace

BRINDLET_DEFINE_CLASS(ShowingWindow, TWindow)
BRINDLET_DEFINE_CLASS(ReopeningDocument, TDocument)
BRINDLET_DEFINE_CLASS(SelectingView, TView)

TEST(TApplicationOpen, AnOpenItemIsBroughtForwardElseTheWindowsAreOfferedItFrontToBack)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    std::vector<std::string> log;
    ShowingWindow* back = MakeShowingWindow(&log, true);
    ShowingWindow* front = MakeShowingWindow(&log, false);
    const FSRef shown = MakeFile(scope, "shown.txt");
    const FSRef listed = MakeFile(scope, "listed.txt");
    const FSRef fresh = MakeFile(scope, "fresh.txt");
    front->root = shown;
    ReopeningDocument* document = ReopeningDocument::Create();
    document->log = &log;
    document->SetFile(listed);
    SelectingView* view = SelectingView::Create();
    view->log = &log;
    document->SetView(view);
    back->GetDocumentList()->Append(document);

    struct Case {
        const char* name;
        FSRef item;
        bool keepBehind;
        bool skipCheck;
        std::vector<std::string> expected;
        bool handled;
    };
    const Case cases[] = {
        {"the root of a window", shown, false, false, {"window selected"}, true},
        {"a listed document", listed, false, false, {"window selected", "view selected", "reopened"}, true},
        {"a listed document kept behind", listed, true, false, {"window selected"}, true},
        {"a new file",
         fresh,
         false,
         false,
         {std::string("offered ") + fresh.path, std::string("offered and taken ") + fresh.path},
         true},
        {"the check skipped",
         shown,
         false,
         true,
         {std::string("offered ") + shown.path, std::string("offered and taken ") + shown.path},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        ApplicationOpenCommandOptions options = GetDefaultOpenCommandOptions();
        options.keepDocumentBehind = c.keepBehind;
        options.skipOpenCheck = c.skipCheck;
        bool handled = false;
        OSStatus result = eventNotHandledErr;
        application->TApplication::OpenDocument(c.item, handled, options, result);
        EXPECT_EQ(log, c.expected);
        EXPECT_EQ(handled, c.handled);
    }
    back->GetDocumentList()->Remove(document);
    document->Release();
    view->Release();
    front->Remove();
    back->Remove();
    application->Release();
}

TEST(TApplicationServices, IconsOfTheBundleAreRegisteredUnderTheCreator)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    EXPECT_EQ(application->GetApplicationIcon(FourCC("APPL")), nullptr);
    EXPECT_EQ(application->RegisterIcon(FourCC("APPL"), "missing", "png"), nullptr);
    IconRef registered = application->RegisterIcon(FourCC("APPL"), "Images/disc", "png");
    ASSERT_NE(registered, nullptr);
    IconRef found = application->GetApplicationIcon(FourCC("APPL"));
    EXPECT_EQ(found, registered);
    CGImageRef image = IconRefCreateCGImage(found, 32, nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CGImageGetWidth(image), 32u);
    CGImageRelease(image);
    ReleaseIconRef(found);
    ReleaseIconRef(registered);
    application->Release();
}

TEST(TApplicationQuit, SeveralDirtyDocumentsAreReviewedTogetherAndCancellingGivesTheMenusBack)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    TWindow* window = TWindow::Create("Document", ApplicationNib);
    ShowWindow(window->GetWindowRef());
    TDocument* first = TDocument::Create();
    TDocument* second = TDocument::Create();
    first->SetDirty(true);
    second->SetDirty(true);
    window->GetDocumentList()->Append(first);
    window->GetDocumentList()->Append(second);

    WindowRef ref = window->GetWindowRef();
    NavDialogScript script;
    script.QueueAction(kNavUserActionCancel);
    application->Quit();
    TestRunUntilIdle();
    ASSERT_EQ(script.Dialogs().size(), 1u);
    EXPECT_EQ(script.Dialogs()[0].kind, NavDialogKind::AskReviewDocuments);
    EXPECT_EQ(script.Dialogs()[0].documentCount, 2u);
    EXPECT_FALSE(ApplicationQuitting) << "a cancelled review keeps quitting on";
    EXPECT_TRUE(ItemEnabledAfterUpdate(FourCC("new ")));
    EXPECT_EQ(window->GetDocumentList()->GetCount(), 2);

    // Discarded: the documents leave the window, it closes and the loop ends.
    script.QueueAction(kNavUserActionDiscardDocuments);
    QTimer::singleShot(0, [&] { application->Quit(); });
    EXPECT_TRUE(RunApplicationLoop()) << "the loop did not end";
    EXPECT_EQ(script.Dialogs().size(), 2u);
    EXPECT_FALSE(IsValidWindowPtr(ref));
    first->Release();
    second->Release();
    application->Release();
}

TEST(TApplicationOpen, AnOpenCommandFromElsewhereFreesNothingAndReadsOnlyWholeRecords)
{
    FrameworkScope scope;
    RecordingApplication* application = Start();
    // Another sender's command: a bare pointer where the record goes, and a
    // whole record naming a block the command does not own.
    Ptr block = NewPtr(4);
    std::memcpy(block, "mine", 4);
    ApplicationOpenCommandOptions options = GetDefaultOpenCommandOptions();
    options.extraData = block;
    options.extraDataSize = 4;
    for (bool whole : {false, true}) {
        SCOPED_TRACE(whole ? "a whole record" : "a bare pointer");
        application->opened.clear();
        SendCommand(kEventCommandProcess, kOpenDocumentCommand, nullptr, 0, [&](EventRef event) {
            if (whole)
                SetEventParameter(event, kEventParamOpenOptions, typeVoidPtr, sizeof options, &options);
            else
                SetEventParameter(event, kEventParamOpenOptions, typeVoidPtr, sizeof block, &block);
        });
        ASSERT_EQ(application->opened.size(), 1u);
        EXPECT_EQ(application->opened[0].extraData, whole ? block : nullptr);
        EXPECT_TRUE(IsPointerValid(block)) << "the sender's block was freed";
    }
    DisposePtr(block);
    application->Release();
}
