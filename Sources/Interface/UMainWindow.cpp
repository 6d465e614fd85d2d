#include "UMainWindow.h"

#include "UDesktopBackdrop.h"
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

std::string PathOf(const FSRef& file)
{
    std::string path;
    if (CFStringRef text = FSCopyPath(file)) {
        path = CFStringToUTF8(text);
        CFRelease(text);
    }
    return path;
}

// The screen canvas until the screen itself takes its place: the desktop's
// background under the sprites, each time the view draws.
class TDesktopCanvas : public TSpriteCanvas {
    BRINDLET_CLASS(TDesktopCanvas, TSpriteCanvas)

public:
    static TDesktopCanvas* Create(CGSize size, TDesktopBackdrop* backdrop, HIViewRef view)
    {
        TDesktopCanvas* canvas = Allocate();
        canvas->backdrop_ = backdrop;
        canvas->view_ = view;
        canvas->SetUpCanvas(size, 0);
        canvas->Initialize();
        return canvas;
    }

    void HandleDraw(CGRect rect, CGContextRef context) override
    {
        if (backdrop_ != nullptr)
            backdrop_->DrawBackground(context, rect, GlobalOrigin());
        Inherited::HandleDraw(rect, context);
    }

protected:
    TDesktopCanvas() = default;

private:
    // Where the view lies on the screen.
    CGPoint GlobalOrigin() const
    {
        WindowRef window = HIViewGetWindow(view_);
        if (window == nullptr)
            return CGPointMake(0, 0);
        HIRect content{};
        HIWindowGetBounds(window, kWindowContentRgn, &content);
        HIRect frame{};
        HIViewGetFrame(view_, &frame);
        return CGPointMake(content.origin.x + frame.origin.x, content.origin.y + frame.origin.y);
    }

    TDesktopBackdrop* backdrop_ = nullptr;  // the window's
    HIViewRef view_ = nullptr;

public:
    // The window lets its backdrop go: nothing more is drawn under.
    void ForgetBackdrop() { backdrop_ = nullptr; }
};

BRINDLET_DEFINE_CLASS(TDesktopCanvas, TSpriteCanvas)

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

    // ---- the screen canvas ----
    // Over the subview "canvas" (a canvas view in the nib), with the
    // subview's size and one main layer, drawing the desktop background
    // under its sprites. The screen with its sheets and cards takes this
    // place; a nib whose subview is a plain view gets the background alone.
    if (HIViewRef canvas = FindSubview("canvas")) {
        if (HIObjectIsOfClass(reinterpret_cast<HIObjectRef>(canvas), kCanvasViewClassID)) {
            backdrop_ = TDesktopBackdrop::CreateUnder(canvas);
            HIRect bounds{};
            HIViewGetBounds(canvas, &bounds);
            screen_ = TDesktopCanvas::Create(bounds.size, backdrop_, canvas);
            screen_->SetView(canvas);
            TSpriteLayer* mainLayer = TSpriteLayer::Create(0, true);
            screen_->AppendLayer(mainLayer);
            mainLayer->Release();
        } else {
            backdrop_ = TDesktopBackdrop::Create(canvas);
        }
    }

    if (preferences->ContainsValue("TPreferences.currentDisplayID"))
        FullScreen(UInt32(preferences->GetIntegerValue("TPreferences.currentDisplayID")));
    else
        FullScreen(false);
    FitCanvas();

    // The sheet folder, the strip and the first sheet are the screen's;
    // what the edition cannot do without is checked here.
    if (BrindletMini && preferences->ContainsValue("project-current")) {
        FSRef sheet{};
        if (!FSGetPathRef(preferences->GetStringValue("project-current"), sheet)) {
            CFStringRef folder = CFSTR(preferences->GetStringValue("project-folder"));
            TUserNotification::CreateWithLocalized(kCFUserNotificationCautionAlertLevel, "Error", "NoDefaultSheetMini",
                                                   {folder});
            fatalStatus_ = kNoDefaultSheetStatus;
            return;
        }
    }

    ApplyAvailability();
    SetTitle(CFSTR("Brindlet"));
    ObserveNotification("TControl.valueChanged", BRINDLET_METHOD(TMainWindow, HandlePreferencesChanged));
    Show();
    // The offer to join the mailing list waits for the about window.
}

void TMainWindow::Deallocate()
{
    if (screen_ != nullptr)
        static_cast<TDesktopCanvas*>(screen_)->ForgetBackdrop();
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

void TMainWindow::SetScreenActive(bool) {}

void TMainWindow::RedrawScreen()
{
    if (HIViewRef canvas = FindSubview("canvas"))
        HIViewSetNeedsDisplay(canvas, true);
}

void TMainWindow::StopEditing() {}

void TMainWindow::SaveSheet() {}

void TMainWindow::OpenSheet(const FSRef& file)
{
    Diagnostics::WriteLine("Notice: The sheet " + PathOf(file) + " opens once the screen canvas is in place.");
}

void TMainWindow::OpenCard(const FSRef& file)
{
    Diagnostics::WriteLine("Notice: The card " + PathOf(file) + " opens once the screen canvas is in place.");
}

void TMainWindow::ProcessScreenCommand(const HICommandExtended&, EventRef, OSStatus&) {}

}  // namespace brindlet
