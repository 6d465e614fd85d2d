// The desktop program's application: its start-up in a fixed order (the
// application object, the default sheets, the preference upgrade, the
// fonts, the desktop window, the event loop), the hot key that shows and
// hides the desktop cover, activation and deactivation, documents handed
// over by the system, and its own menu commands.
#pragma once

#include "Globals.h"

#include <CoreServices/CoreServices.h>

namespace brindlet {

class TMainWindow;

class TBrindletApplication : public TBrindletApplicationProtocol {
    BRINDLET_CLASS(TBrindletApplication, TBrindletApplicationProtocol)

public:
    // The whole life of the program: start-up, the event loop, and the
    // exit status (0 after the loop; not 0 when the default sheets cannot
    // be copied or the desktop window cannot be made).
    static int Main();
    // What Main does between making the application and running its loop:
    // the default sheets, the preference upgrade, the fonts and the desktop
    // window. The exit status when the program cannot go on, else 0.
    int StartUp();

    void Initialize() override;
    void Deactivate() override;
    void HandleHotKeyPressed(UInt32 id) override;
    void PopulateDefaultPreferences() override;
    void OpenDocument(const FSRef& item, bool& handled, const ApplicationOpenCommandOptions& options,
                      OSStatus& result) override;
    void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result) override;
    void UpdateCommandStatus(const HICommandExtended& command, EventRef event, OSStatus& result) override;
    OSStatus HandleActivated() override;
    OSStatus HandleDeactivated() override;
    void UpdatePreferenceVersion() override;
    void ProtectRequiredFonts() override;
    void CreateDefaultSheets() override;
    void Deallocate() override;

    // Retains the window, gives it its transition and makes it the key window.
    void SetWindow(TMainWindow* window);
    TMainWindow* GetWindow() const { return window_; }
    void LoadSparkleFramework();
    // True when the desktop window is set and has its screen canvas.
    bool IsScreenValid() const;
    // Why the program has to end before its event loop; 0 while it may run.
    int GetFatalStatus() const { return fatalStatus_; }

protected:
    TBrindletApplication() = default;

    // Ends the start-up with the status (the caller leaves Main with it).
    void SetFatalStatus(int status) { fatalStatus_ = status; }

private:
    TMainWindow* window_ = nullptr;
    int fatalStatus_ = 0;
};

// The sheet folder and the sample sheet in it.
std::string DefaultSheetFolderPath();
std::string DefaultSheetPath();

}  // namespace brindlet
