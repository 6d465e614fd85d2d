// The application object: one per process. It loads the nib "main" and its
// menu bar, owns the application's preference handler and hot keys, brings
// every application event and menu command into the framework (a command
// goes to the document's view named by 'TDOC', then to the chosen menu
// item's object, then to the application's own dispatch), enables the
// standard menu commands, opens the documents the system hands over and
// runs the quit sequence that closes every window in turn.
//
// Programs derive from TApplication and override its hooks; every hook
// here is harmless.
#pragma once

#include <ApplicationFramework/Classes/TDocumentListUnit.h>
#include <ApplicationFramework/Classes/TEventHandlerUnit.h>
#include <ApplicationFramework/Classes/TMenuUnit.h>
#include <ApplicationFramework/Classes/TWindowUnit.h>
#include <Units/Classes/TDictionaryUnit.h>
#include <Units/Classes/TPreferencesUnit.h>
#include <Units/Classes/TResponderUnit.h>

#include <CoreServices/CoreServices.h>
#include <HIToolbox/Nibs.h>

class TApplication;

// The options of the framework's open-document command, copied whole into
// and out of the command's 'OPOT' parameter. Zero-filled by default except
// selectOpenWindow.
struct ApplicationOpenCommandOptions {
    FSRef item;
    // Do not look for a window or document that shows the item already.
    Boolean skipOpenCheck;
    // A document found open is neither brought forward nor opened again.
    Boolean keepDocumentBehind;
    // A window found open is brought forward.
    Boolean selectOpenWindow;
    // The item came with the system's open-documents event.
    Boolean fromFinder;
    // The item was chosen in the framework's Open dialog.
    Boolean fromOpenDialog;
    UInt8 reserved[32];
    // A block of the caller's data (a memory-manager block once in the
    // command) and its size.
    void* extraData;
    SInt32 extraDataSize;
};

// Hot keys of the application, reported to TApplication::HandleHotKeyPressed.
class TApplicationHotKeyHandler : public THotKeyHandler {
    BRINDLET_CLASS(TApplicationHotKeyHandler, THotKeyHandler)

public:
    static TApplicationHotKeyHandler* Create()
    {
        return CreateOn<TApplicationHotKeyHandler>(GetApplicationEventTarget());
    }
    void EventHotKeyPressed(EventHotKeyID hotKeyID, SInt32& result) override;

protected:
    TApplicationHotKeyHandler() = default;
};

class TApplication : public TResponder {
    BRINDLET_CLASS(TApplication, TResponder)

public:
    // An application of class T with the signature and bundle identifier,
    // initialised. A failure inside frees the half-made object and passes
    // the exception on.
    template <typename T = TApplication>
    static T* Create(UInt32 signature, const ShortString& bundleIdentifier)
    {
        T* application = AllocateInstance<T>();
        application->SetIdentity(signature, bundleIdentifier);
        try {
            application->Initialize();
        } catch (...) {
            application->AbandonHalfMade();
            throw;
        }
        return application;
    }

    void Initialize() override;
    void Deallocate() override;

    // Runs the event loop, then releases the application.
    void Run();
    // Sends 'quit' to the application: the normal quit sequence.
    void Quit();

    static TApplication* Current();
    static TPreferenceHandlerApplication* Prefs();

    UInt32 GetCreator() const { return creator_; }
    ShortString GetBundleIdentifier() const { return bundleIdentifier_; }
    IBNibRef GetNibRef() const { return nib_; }
    ProcessSerialNumber GetProcess() const { return process_; }
    bool IsActivated() const { return activated_; }
    bool DidLaunchFirstTime() const { return launchedFirstTime_; }
    void SetKeyWindow(TWindow* window) { keyWindow_ = window; }
    TWindow* GetKeyWindow() const { return keyWindow_; }
    TPreferenceHandlerApplication* GetPreferences() const { return preferences_; }

    // The object of the front window that does not float.
    TWindow* GetFrontWindow();
    // The front visible window showing the item (as its root, or as its
    // active document); nil when none.
    TWindow* FindWindow(const FSRef& item);
    // The first document of a visible document window that is the item.
    TDocument* FindDocument(const FSRef& item);
    // Brings the application forward, hiding every other one first when
    // asked.
    void BringToFront(bool hideOthers);
    void Hide();
    // Registers the key under the id, replacing what the id had.
    void RegisterHotKey(UInt32 id, UInt32 keyCode, UInt32 modifiers);
    void UnregisterHotKey(UInt32 id);
    // Registers the bundle resource "<name>.<extension>" as the icon of the
    // application's creator and the type; nil when the resource is missing.
    IconRef RegisterIcon(UInt32 iconType, const ShortString& name, const ShortString& extension);
    IconRef GetApplicationIcon(UInt32 iconType);
    // Loads "<folder>/<file>" of the bundle's resources and keeps it under
    // the name.
    void RegisterImage(const ShortString& name, const ShortString& path);
    // The image kept under the name; borrowed. Nil when none.
    CGImageRef GetImage(const ShortString& name);
    void RestorePreferences();
    void SynchronizePreferences();
    void SaveDocumentList();
    void RegisterHelpBook();

    // The hooks.
    virtual void Deactivate();
    virtual void HandleHotKeyPressed(UInt32 id);
    virtual bool AcceptsItem(const FSRef& item, UInt32 roles);
    virtual void LoadResources();
    virtual void RegisterClasses();
    virtual void PopulateDefaultPreferences();
    virtual void OpenDocument(const FSRef& item, bool& handled, const ApplicationOpenCommandOptions& options,
                              OSStatus& result);
    virtual void OpenDocuments(TTypeArray* paths);
    virtual void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result);
    virtual void UpdateCommandStatus(const HICommandExtended& command, EventRef event, OSStatus& result);
    virtual OSStatus HandleQuitCommand();
    virtual OSStatus HandleOpenDocumentCommand(EventRef event);
    virtual OSStatus HandleReviewFilesCommand(EventRef event);
    virtual OSStatus HandleActivated();
    virtual OSStatus HandleDeactivated();
    virtual OSStatus HandleLaunched();
    virtual OSStatus HandleTerminated();
    virtual OSStatus HandleFrontApplicationSwitched(ProcessSerialNumber process);

    // The recently opened items, by group kind: "-" folders, "*" every
    // other document, any other kind a file-name extension. Off while
    // the index of the item carrying the submenu (in menu 128) is 0.
    void SetRecentItemsIndex(UInt16 index) { recentItemsIndex_ = index; }
    UInt16 GetRecentItemsIndex() const { return recentItemsIndex_; }
    void SetRecentItemsMaximum(SInt32 maximum) { recentItemsMaximum_ = maximum; }
    MenuRef GetRecentItemsMenu() const { return recentItemsMenu_; }
    TDictionary* GetRecentItems() const { return recentItems_; }
    void LoadRecentItems();
    void AppendRecentItemGroup(const ShortString& title, const ShortString& kind);
    // The group array of the file (borrowed); nil when no group takes it.
    CFMutableArrayRef RecentItemGroup(const FSRef& file);
    // The file's index in its group; -1 when absent.
    SInt32 ContainsRecentItem(const FSRef& file);
    void AppendRecentItems(const FSRef& file, bool add);
    virtual bool AcceptRecentItem(const FSRef& file);
    void BuildRecentItems();
    void ClearRecentItems();

    // The area of the main display left to windows.
    static CGSize GetMainScreenSize();

protected:
    TApplication() = default;

    void SetIdentity(UInt32 signature, const ShortString& bundleIdentifier);
    void AbandonHalfMade();
    // A preference handler made by a subclass before Initialize; the
    // application then makes none.
    void SetPreferences(TPreferenceHandlerApplication* handler);

private:
    friend OSStatus HandleApplicationEvents(EventHandlerCallRef, EventRef, void*);
    friend OSStatus HandleApplicationCommands(EventHandlerCallRef, EventRef, void*);

    void CreateRecentItemsMenu();

    IBNibRef nib_ = nullptr;
    UInt32 creator_ = 0;
    ShortString bundleIdentifier_;
    TPreferenceHandlerApplication* preferences_ = nullptr;
    TTypeDictionary* images_ = nullptr;
    TWindow* keyWindow_ = nullptr;
    bool activated_ = false;
    ProcessSerialNumber process_{};
    TApplicationHotKeyHandler* hotKeyHandler_ = nullptr;
    bool launchedFirstTime_ = false;
    std::vector<EventHandlerRef> handlers_;

    TDictionary* recentItems_ = nullptr;
    TTypeDictionary* recentItemKinds_ = nullptr;
    std::vector<std::string> recentItemKindOrder_;
    UInt16 recentItemsIndex_ = 0;
    SInt32 recentItemsMaximum_ = 0;
    MenuRef recentItemsMenu_ = nullptr;
};

// The process's application, its signature, and whether it is quitting
// (set by the first quit command, cleared when the user cancels it).
extern TApplication* CurrentApplication;
extern UInt32 ApplicationSignature;
extern bool ApplicationQuitting;
extern IBNibRef ApplicationNib;
extern TTypeDictionary* ApplicationImages;

void SetCurrentApplication(TApplication* application);

// ---- the ApplicationFramework functions ----

// The window's reference constant when it is above zero, as an object; nil
// for nil.
TObject* TWindowGetObject(WindowRef window);
// A window property under the framework's creator whose data is the
// pointer value itself.
void TWindowSetProperty(OSType tag, void* value, UInt32 size, WindowRef window);
// The pointer stored by TWindowSetProperty; nil on any error.
void TWindowGetProperty(OSType tag, void*& value, WindowRef window);
// The window's pane object (its 'pane' property).
TObject* TWindowGetPane(WindowRef window);
ApplicationOpenCommandOptions GetDefaultOpenCommandOptions();
// Sends the open-document command ('OPND') with the options to the
// application. Caller data given in `extraData` travels as a copy, freed
// after the command ran.
void SendOpenDocumentCommandWithOptions(const ApplicationOpenCommandOptions& options);

OSStatus HandleApplicationEvents(EventHandlerCallRef callRef, EventRef event, void* application);
OSStatus HandleApplicationCommands(EventHandlerCallRef callRef, EventRef event, void* application);
OSStatus HandleMenuEvents(EventHandlerCallRef callRef, EventRef event, void* application);
OSErr HandleOpenDocuments(const AppleEvent* event, AppleEvent* reply, SRefCon application);

inline constexpr OSType kOpenDocumentCommand = FourCC("OPND");
inline constexpr OSType kReviewFilesCommand = FourCC("revd");
inline constexpr EventParamName kEventParamOpenOptions = FourCC("OPOT");
inline constexpr EventParamName kEventParamOpenItem = FourCC("FREF");
// The open command's own copy of the caller's extra data (ours only).
inline constexpr EventParamName kEventParamOpenCopy = FourCC("OPCP");
inline constexpr EventParamName kEventParamSkipOpenCheck = FourCC("BOOL");
inline constexpr EventParamName kEventParamCommandDocument = FourCC("TDOC");
inline constexpr EventParamName kEventParamQuitting = FourCC("aqit");
inline constexpr OSType kWindowPropertyTagPane = FourCC("pane");
