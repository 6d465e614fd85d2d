#pragma once

// What the framework's tests share: a scratch home with the framework's
// fixture bundle as the main bundle's resources, and an application whose
// hooks record what reached them.

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <FileFixtures.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

inline const std::string kFrameworkResources = std::string(BRINDLET_FIXTURES_DIR) + "/Framework/Resources";

// Points the main bundle's resources at `resources` for the scope, in a
// home of its own (so that no preferences file exists at first).
class FrameworkScope {
public:
    explicit FrameworkScope(const std::string& resources = kFrameworkResources)
    {
        CFBundleSetMainBundleResourcesPath(resources.c_str());
        ApplicationQuitting = false;
    }
    ~FrameworkScope()
    {
        ApplicationQuitting = false;
        CFBundleSetMainBundleResourcesPath(nullptr);
    }
    FrameworkScope(const FrameworkScope&) = delete;
    FrameworkScope& operator=(const FrameworkScope&) = delete;

    const ScopedHome& Home() const { return home_; }

private:
    ScopedHome home_;
};

// An application that writes down which of its hooks ran, in order.
class RecordingApplication : public TApplication {
    BRINDLET_CLASS(RecordingApplication, TApplication)

public:
    std::vector<std::string> log;
    bool nibLoadedAtDefaults = true;
    std::vector<ApplicationOpenCommandOptions> opened;
    std::vector<std::string> openedPaths;
    std::vector<UInt32> hotKeys;
    UInt16 recentItemsIndexAtStart = 0;

    // An application with the recent-items feature on the given item of
    // the application menu (0: off), started.
    static RecordingApplication* Start(UInt16 recentItemsIndex = 0)
    {
        RecordingApplication* application = AllocateInstance<RecordingApplication>();
        application->recentItemsIndexAtStart = recentItemsIndex;
        application->SetIdentity(FourCC("ovbr"), "org.brindlet.FrameworkTests");
        application->Initialize();
        return application;
    }

    void Initialize() override
    {
        SetRecentItemsIndex(recentItemsIndexAtStart);
        Inherited::Initialize();
    }
    void PopulateDefaultPreferences() override
    {
        log.push_back("PopulateDefaultPreferences");
        nibLoadedAtDefaults = ApplicationNib != nullptr || GetNibRef() != nullptr;
        Prefs()->SetBooleanValue("CheckSpellingAsYouType", true);
    }
    bool throwOnLaunch = false;
    OSStatus HandleLaunched() override
    {
        if (throwOnLaunch)
            throw std::runtime_error("no launch");
        return Inherited::HandleLaunched();
    }
    void LoadResources() override { log.push_back("LoadResources"); }
    void RegisterClasses() override { log.push_back("RegisterClasses"); }
    void ProcessCommand(const HICommandExtended& command, EventRef, OSStatus& result) override
    {
        log.push_back("application " + FCCToString(command.commandID).ToString());
        result = noErr;
    }
    void OpenDocument(const FSRef& item, bool& handled, const ApplicationOpenCommandOptions& options,
                      OSStatus& result) override
    {
        opened.push_back(options);
        opened.back().item = item;
        if (options.extraData != nullptr)
            log.push_back("extra " + std::string(static_cast<const char*>(options.extraData), options.extraDataSize) +
                          (IsPointerValid(static_cast<Ptr>(options.extraData)) ? " block" : " loose"));
        Inherited::OpenDocument(item, handled, options, result);
    }
    void OpenDocuments(TTypeArray* paths) override
    {
        for (SInt32 i = 0; i < paths->Count(); ++i)
            openedPaths.push_back(CFStringToUTF8(static_cast<CFStringRef>(paths->GetValue(i))));
    }
    void HandleHotKeyPressed(UInt32 id) override { hotKeys.push_back(id); }

protected:
    RecordingApplication() = default;
};
