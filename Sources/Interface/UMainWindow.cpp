#include "UMainWindow.h"

#include "UDesktopBackdrop.h"
#include "UScreen.h"
#include "USelectedTaskInbox.h"
#include <Sources/Globals.h>

#include <SpriteEngine/SCCanvasView.h>
#include <SpriteEngine/SCLayer.h>

#include <Units/Classes/TUserNotificationUnit.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <CoreFoundation/CFStringUTF8.h>
#include <Support/Diagnostics.h>

#include <string>

namespace brindlet {

BRINDLET_DEFINE_CLASS(TMainWindow, TWindow)

namespace {

constexpr int kNoDefaultSheetStatus = 5;

}  // namespace

TMainWindow* TMainWindow::Create()
{
    TMainWindow* window = AllocateInstance<TMainWindow>();
    window->SetNibWindow("Window", TApplication::Current() != nullptr ? TApplication::Current()->GetNibRef() : nullptr);
    window->Initialize();
    return window;
}

void TMainWindow::Initialize()
{
    Inherited::Initialize();
    if (GetWindowRef() == nullptr)
        return;
    Transparent();
    TPreferenceHandlerApplication* preferences = TApplication::Prefs();
    PlaceOverDesktop(preferences->GetBooleanValue("TPreferences.placeOverDesktop"), false);

    // ---- the screen ----
    // Over the subview "canvas" (a canvas view in the nib), with the
    // subview's size, drawing the desktop background under its cards; a
    // nib whose subview is a plain view gets the background alone.
    if (HIViewRef canvas = FindSubview("canvas")) {
        if (HIObjectIsOfClass(reinterpret_cast<HIObjectRef>(canvas), kCanvasViewClassID)) {
            backdrop_ = TDesktopBackdrop::CreateUnder(canvas);
            HIRect bounds{};
            HIViewGetBounds(canvas, &bounds);
            screen_ = TScreen::Create(bounds.size, backdrop_);
            screen_->SetView(canvas);
            screen_->SetMainWindow(this);
        } else {
            backdrop_ = TDesktopBackdrop::Create(canvas);
        }
    }

    if (preferences->ContainsValue("TPreferences.currentDisplayID"))
        FullScreen(UInt32(preferences->GetIntegerValue("TPreferences.currentDisplayID")));
    else
        FullScreen(false);
    FitCanvas();

    // The sheet folder, the strip and the first sheet.
    if (screen_ != nullptr) {
        screen_->VerifySheetFolder();
        screen_->ToggleSheets();
    }
    if (preferences->ContainsValue("project-current")) {
        FSRef sheet{};
        CFTypeRef current = preferences->GetTypeValue("project-current");
        const bool exists = current != nullptr && CFGetTypeID(current) == CFStringGetTypeID() &&
                            FSGetPathRef(static_cast<CFStringRef>(current), sheet);
        if (current != nullptr)
            CFRelease(current);
        if (exists && screen_ != nullptr) {
            screen_->LoadSheet(sheet);
        } else if (!exists && BrindletMini) {
            CFStringRef folder = CFSTR(preferences->GetStringValue("project-folder"));
            TUserNotification::CreateWithLocalized(kCFUserNotificationCautionAlertLevel, "Error", "NoDefaultSheetMini",
                                                   {folder});
            fatalStatus_ = kNoDefaultSheetStatus;
            return;
        }
    }
    // Without a sheet named (or with one that is gone), the first sheet of
    // the folder, as the strip's first cell would open it.
    if (screen_ != nullptr && !screen_->IsSheetOpen())
        screen_->OpenFirstSheet();
    // Requests of the helper that came while the program started.
    if (screen_ != nullptr)
        SelectedTaskInbox::Attach(screen_);

    ApplyAvailability();
    SetTitle(CFSTR("Brindlet"));
    ObserveNotification("TControl.valueChanged", BRINDLET_METHOD(TMainWindow, HandlePreferencesChanged));
    Show();
    // The offer to join the mailing list waits for the about window.
}

void TMainWindow::Deallocate()
{
    // What is pending is written before the screen goes.
    if (screen_ != nullptr)
        screen_->Finish();
    ReleaseObject(screen_);
    ReleaseObject(backdrop_);
    Inherited::Deallocate();
}

// ---- levels ----

void TMainWindow::PlaceOverSystem(bool flag)
{
    if (flag) {
        SetWindowGroupLevel(GetWindowGroup(GetWindowRef()), CGWindowLevelForKey(kCGOverlayWindowLevelKey));
        atDesktopLevel_ = false;
        ApplyAvailability();
    } else {
        RestoreLevel();
    }
    SetScreenActive(false);
}

void TMainWindow::PlaceOverDesktop(bool flag, bool activateFinder)
{
    PostNotification("TMainWindow.PlacingOverDesktop");
    if (flag) {
        SetDesktopLevel(-1);
        // The desktop's file manager draws the desktop here by itself:
        // there is nothing to bring forward.
        if (activateFinder)
            Diagnostics::WriteLine("Notice: The desktop's file manager needs no activation.");
    } else {
        RestoreLevel();
    }
    SetScreenActive(false);
}

void TMainWindow::SetDesktopLevel(SInt16 offset)
{
    SetWindowGroupLevel(GetWindowGroup(GetWindowRef()), CGWindowLevelForKey(kCGDesktopWindowLevelKey) + offset);
    atDesktopLevel_ = true;
    ApplyAvailability();
}

void TMainWindow::RestoreLevel()
{
    SetWindowGroupLevel(GetWindowGroup(GetWindowRef()), CGWindowLevelForKey(kCGNormalWindowLevelKey));
    atDesktopLevel_ = false;
    ApplyAvailability();
}

void TMainWindow::ApplyAvailability()
{
    if (GetWindowRef() == nullptr)
        return;
    HIWindowAvailability wanted = 0;
    if (atDesktopLevel_)
        wanted |= kHIWindowVisibleInAllSpaces | kHIWindowExposeHidden;
    if (TApplication::Prefs()->GetBooleanValue("TPreferences.windowBehaviorTransient"))
        wanted |= kHIWindowExposeHidden;
    HIWindowChangeAvailability(GetWindowRef(), wanted, ~wanted & (kHIWindowVisibleInAllSpaces | kHIWindowExposeHidden));
}

void TMainWindow::HandlePreferencesChanged(TTypeDictionary* params)
{
    if (params != nullptr && params->GetStringValue("key") == ShortString("TPreferences.windowBehaviorTransient"))
        ApplyAvailability();
}

// ---- window events and commands ----

void TMainWindow::ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result)
{
    // The desktop window is never closed: quitting leaves the loop at once
    // (the open sheet was saved by its timer or on deactivation).
    if (command.commandID == kHICommandQuit) {
        QuitApplicationEventLoop();
        result = noErr;
        return;
    }
    Inherited::ProcessCommand(command, event, result);
}

void TMainWindow::HandleClosing(OSStatus& result)
{
    result = noErr;
}

void TMainWindow::HandleBoundsChanged(OSStatus& result)
{
    Inherited::HandleBoundsChanged(result);
    FitCanvas();
}

void TMainWindow::FitCanvas()
{
    HIViewRef canvas = FindSubview("canvas");
    if (canvas == nullptr)
        return;
    const HIRect frame = CGRectMake(0, 0, GetWidth(), GetHeight());
    HIViewSetFrame(canvas, &frame);
}

// ---- the screen canvas ----

void TMainWindow::SetScreenActive(bool active)
{
    if (screen_ != nullptr)
        screen_->SetScreenActive(active);
}

void TMainWindow::RedrawScreen()
{
    if (HIViewRef canvas = FindSubview("canvas"))
        HIViewSetNeedsDisplay(canvas, true);
}

void TMainWindow::StopEditing()
{
    if (screen_ != nullptr)
        screen_->StopEditing();
}

void TMainWindow::SaveSheet()
{
    if (screen_ != nullptr)
        screen_->SaveSheet();
}

void TMainWindow::OpenSheet(const FSRef& file)
{
    if (screen_ != nullptr)
        screen_->OpenSheet(file);
}

void TMainWindow::OpenCard(const FSRef& file)
{
    Diagnostics::WriteLine("Notice: Single-card files cannot be opened yet; " + FSGetPathText(file) +
                           " was not opened.");
}

void TMainWindow::ProcessScreenCommand(const HICommandExtended& command, EventRef event, OSStatus& result)
{
    if (screen_ != nullptr)
        screen_->ProcessCommand(command, event, result);
}

}  // namespace brindlet
