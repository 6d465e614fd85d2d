// The desktop window: borderless, transparent, full screen on the chosen
// display, at the desktop level (below every other window, on every
// workspace), at the normal level or above everything. It carries the
// screen canvas, which covers its content.
#pragma once

#include <ApplicationFramework/Classes/TWindowUnit.h>

#include <HIToolbox/WindowAvailability.h>

namespace brindlet {

class TDesktopBackdrop;
class TScreen;

class TMainWindow : public TWindow {
    BRINDLET_CLASS(TMainWindow, TWindow)

public:
    // The window "Window" of the application's nib, initialised; a window
    // object around no window when the nib has none (GetWindowRef is nil).
    static TMainWindow* Create();

    void Initialize() override;
    void Deallocate() override;

    virtual void PlaceOverSystem(bool flag);
    virtual void PlaceOverDesktop(bool flag, bool activateFinder);
    virtual void SetDesktopLevel(SInt16 offset);
    virtual void RestoreLevel();
    virtual void HandlePreferencesChanged(TTypeDictionary* params);

    void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result) override;
    void HandleClosing(OSStatus& result) override;
    void HandleBoundsChanged(OSStatus& result) override;

    // Why the program has to end (a sheet the edition cannot do without is
    // missing); 0 while it may run.
    int GetFatalStatus() const { return fatalStatus_; }

    // ---- the screen ----
    // The screen takes the subview "canvas" of the window (a canvas view);
    // nil when the nib has none.
    TScreen* GetScreen() const { return screen_; }
    void SetScreenActive(bool active);
    void RedrawScreen();
    void StopEditing();
    void SaveSheet();
    void OpenSheet(const FSRef& file);
    void OpenCard(const FSRef& file);
    void ProcessScreenCommand(const HICommandExtended& command, EventRef event, OSStatus& result);

protected:
    TMainWindow() = default;

private:
    // The EWMH states that follow the level and the preference: a window
    // at the desktop level is on every workspace and out of the overview.
    void ApplyAvailability();
    void FitCanvas();

    TScreen* screen_ = nullptr;
    TDesktopBackdrop* backdrop_ = nullptr;
    bool atDesktopLevel_ = false;
    int fatalStatus_ = 0;
};

}  // namespace brindlet
