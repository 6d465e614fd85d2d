#include "SCPane.h"

#include <Units/Utilities/CGUtilities.h>
#include <Units/Utilities/CocoaUtilities.h>

#include <AppKit/NSScreen.h>
#include <HIToolbox/HostedViews.h>

#include <QWidget>

SPRITE_DEFINE_ABSTRACT_CLASS(TCanvasPaneProtocol, TPane)
BRINDLET_DEFINE_CLASS(TCanvasPane, TCanvasPaneProtocol)

namespace {

constexpr const char* kPaneAddedNotification = "TCanvasPane.paneAdded";
constexpr const char* kCloseAllNotification = "TCanvasPane.closeAll";

}  // namespace

TCanvasPane* GetCanvasPane(ControlRef view)
{
    if (view == nullptr || !IsValidControlHandle(view))
        return nullptr;
    TObject* object = nullptr;
    if (GetControlProperty(view, kCanvasPanePropertyCreator, kCanvasPanePropertyData, sizeof object, nullptr,
                           &object) != noErr ||
        !TObject::IsLiveObject(object) || !MemberOfClass(object, TCanvasPane::StaticClass()))
        return nullptr;
    return static_cast<TCanvasPane*>(object);
}

void TCanvasPane::ConstructWithViewController(NSViewController* controller)
{
    if (controller != nullptr)
        controller->retain();
    viewController_ = controller;
    NSView* view = controller != nullptr ? controller->view() : nullptr;
    QWidget* widget = view != nullptr ? view->newHostWidget() : nullptr;
    HIViewRef cocoaView = nullptr;
    if (widget == nullptr || HICocoaViewCreate(widget, 0, &cocoaView) != noErr || cocoaView == nullptr) {
        delete widget;
        return;
    }
    Construct(cocoaView);
    // The pane and the canvas's view hold it now.
    CFRelease(cocoaView);
}

void TCanvasPane::Initialize()
{
    // Announced first: the panes already open close before this one takes
    // the canvas, and this one subscribes only afterwards.
    PostNotification(ShortString(kPaneAddedNotification));
    Inherited::Initialize();
    ControlRef view = GetView();
    TSpriteCanvas* canvas = GetCanvas();
    if (canvas != nullptr && view != nullptr && IsValidControlHandle(view)) {
        setUp_ = true;
        canvas->SetInputEnabled(false);
        canvas->PlaceInSuperviewAt(view, location_);
        canvas->SetLockDirtyRects(true);
        coveredFrame_ = GetFrame();
    }
    if (view != nullptr && IsValidControlHandle(view)) {
        TCanvasPane* self = this;
        SetControlProperty(view, kCanvasPanePropertyCreator, kCanvasPanePropertyData, sizeof self, &self);
    }
    ObserveNotification(ShortString(kPaneAddedNotification), BRINDLET_METHOD(TCanvasPane, HandleCanvasPaneAdded));
    ObserveNotification(ShortString(kCloseAllNotification), BRINDLET_METHOD(TCanvasPane, HandleCanvasPaneAdded));
    RegisterMethod("Cancel", BRINDLET_METHOD(TCanvasPane, Cancel));
}

void TCanvasPane::Deallocate()
{
    if (viewController_ != nullptr)
        viewController_->release();
    viewController_ = nullptr;
    ControlRef view = GetView();
    if (view != nullptr && IsValidControlHandle(view) && GetCanvasPane(view) == this)
        RemoveControlProperty(view, kCanvasPanePropertyCreator, kCanvasPanePropertyData);
    RestoreCanvas();
    Inherited::Deallocate();
}

void TCanvasPane::RestoreCanvas()
{
    if (!setUp_)
        return;
    setUp_ = false;
    TSpriteCanvas* canvas = GetCanvas();
    if (canvas == nullptr)
        return;
    canvas->SetInputEnabled(true);
    canvas->SetLockDirtyRects(false);
    canvas->SetNeedsDisplayInRect(coveredFrame_);
    canvas->ProcessLoop();
}

void TCanvasPane::Close()
{
    // Closing may free the pane; it stays for the length of the call.
    Retain();
    Inherited::Close();
    RestoreCanvas();
    Release();
}

TSpriteCanvas* TCanvasPane::GetCanvas()
{
    // Not retained: a canvas that went is no canvas.
    return canvas_ != nullptr && TObject::IsLiveObject(canvas_) ? canvas_ : nullptr;
}

CGRect TCanvasPane::ConvertRectFromCanvas(CGRect rect)
{
    if (TSpriteCanvas* canvas = GetCanvas())
        HIViewConvertRect(&rect, canvas->GetView(), GetView());
    return rect;
}

CGRect TCanvasPane::ConvertRectToCanvas(CGRect rect)
{
    if (TSpriteCanvas* canvas = GetCanvas())
        HIViewConvertRect(&rect, GetView(), canvas->GetView());
    return rect;
}

void TCanvasPane::SetFrame(const CGRect& frame)
{
    Inherited::SetFrame(frame);
    ControlRef view = GetView();
    if (setUp_ && view != nullptr && IsValidControlHandle(view)) {
        // What it covered before is repainted with what it covers now.
        const CGRect before = coveredFrame_;
        coveredFrame_ = GetFrame();
        if (TSpriteCanvas* canvas = GetCanvas())
            canvas->SetNeedsDisplayInRect(before);
    }
}

void TCanvasPane::SetNeedsDisplay()
{
    ControlRef view = GetView();
    if (view != nullptr && IsValidControlHandle(view))
        Inherited::SetNeedsDisplay();
    TSpriteCanvas* canvas = GetCanvas();
    if (canvas == nullptr)
        return;
    canvas->SetNeedsDisplayInRect(coveredFrame_);
    canvas->ProcessLoop();
}

void TCanvasPane::Center(bool onScreen)
{
    TSpriteCanvas* canvas = GetCanvas();
    if (canvas == nullptr)
        return;
    CGRect frame = GetFrame();
    if (onScreen) {
        NSScreen* screen = NSScreenUtilities::baseScreen();
        if (screen == nullptr)
            return;
        frame = canvas->ConvertRectFromScreen(CGRectCenter(frame, screen->visibleFrame()));
    } else {
        frame = CGRectCenter(frame, canvas->GetViewRect());
    }
    SetFrame(CGRectTruncate(frame));
}

void TCanvasPane::ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result)
{
    if (command.commandID == kCanvasPaneCancelCommand) {
        Close();
        result = noErr;
        return;
    }
    Inherited::ProcessCommand(command, event, result);
}

void TCanvasPane::DrawBackground(CGRect, CGContextRef, OSStatus& result)
{
    result = noErr;
}

void TCanvasPane::Cancel()
{
    Close();
}

void TCanvasPane::HandleCanvasPaneAdded(TDictionary*)
{
    if (GetCanvas() != nullptr)
        Close();
}

void TCanvasPane::CloseAll()
{
    PostNotification(ShortString(kCloseAllNotification));
}

void InitializeSCPaneUnit()
{
    RegisterClass(TCanvasPane::StaticClass());
}
