#pragma once

// What the desktop program's tests share: a scratch home whose main bundle
// is the program's own resources (as built into share/brindlet), the
// application started in it as the program starts it, and the raw
// preferences file read back.

#include <Sources/Interface/UMainWindow.h>
#include <Sources/Interface/UScreen.h>
#include <Sources/UBrindletApplication.h>

#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFPropertyList.h>
#include <FileFixtures.h>
#include <Support/Diagnostics.h>
#include <Support/Paths.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

class BrindletScope {
public:
    BrindletScope() { CFBundleSetMainBundleResourcesPath(BRINDLET_SHARE_DIR); }
    ~BrindletScope()
    {
        CFBundleSetMainBundleResourcesPath(nullptr);
        ApplicationQuitting = false;
    }
    BrindletScope(const BrindletScope&) = delete;
    BrindletScope& operator=(const BrindletScope&) = delete;

    const ScopedHome& Home() const { return home_; }
    std::string PreferencesPath() const { return home_.ConfigFolder() + "/brindlet/com.orvandel.Brindlet.plist"; }

    // Writes the preferences file as a dictionary of the given XML entries.
    void WritePreferences(const std::string& entries) const
    {
        home_.Folder().MakeFolder("config/brindlet");
        std::ofstream(PreferencesPath())
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
            << entries << "</dict>\n</plist>\n";
    }

    // The stored dictionary as it lies in the file; nil when unreadable.
    CFDictionaryRef CopyStoredPreferences() const
    {
        std::ifstream file(PreferencesPath(), std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        const std::string bytes = text.str();
        CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), CFIndex(bytes.size()));
        CFPropertyListRef list = CFPropertyListCreateFromXMLData(nullptr, data, 0, nullptr);
        CFRelease(data);
        if (list != nullptr && CFGetTypeID(list) != CFDictionaryGetTypeID()) {
            CFRelease(list);
            return nullptr;
        }
        return static_cast<CFDictionaryRef>(list);
    }

private:
    ScopedHome home_;
};

// The application made and started as Main does it, without its loop;
// released (its window disposed of) at the end of the scope.
class StartedBrindlet {
public:
    StartedBrindlet()
    {
        application_ =
            TApplication::Create<brindlet::TBrindletApplication>(kBrindletSignature, BrindletBundleIdentifier());
        status_ = application_->StartUp();
    }
    ~StartedBrindlet()
    {
        brindlet::TMainWindow* window = application_->GetWindow();
        WindowRef windowRef = window != nullptr ? window->GetWindowRef() : nullptr;
        application_->Release();
        if (windowRef != nullptr)
            DisposeWindow(windowRef);
    }
    StartedBrindlet(const StartedBrindlet&) = delete;
    StartedBrindlet& operator=(const StartedBrindlet&) = delete;

    brindlet::TBrindletApplication* operator->() const { return application_; }
    brindlet::TBrindletApplication* Get() const { return application_; }
    int Status() const { return status_; }

private:
    brindlet::TBrindletApplication* application_ = nullptr;
    int status_ = 0;
};

inline bool HasLine(const Diagnostics::Capture& capture, const std::string& line)
{
    for (const std::string& written : capture.Lines()) {
        if (written == line)
            return true;
    }
    return false;
}
