// Canvas panes: a pane shown on top of a sprite canvas, a panel of controls
// from a nib or the view of a Cocoa view controller, placed into the
// canvas's view at a point. While a canvas pane is open the canvas takes
// no input and its dirty rects are locked. One canvas pane is open at a
// time: a new pane announces itself ("TCanvasPane.paneAdded") and the
// panes already open close.
//
// Life of a canvas pane: the reference Create answers goes with the view
// (the canvas's view shows it; no Attach gives it one more), so closing,
// which disposes of the view, frees a pane nobody else retained. The
// canvas takes input again and repaints what the pane covered as soon as
// the pane closes, or when it is freed without closing.
#pragma once

#include <ApplicationFramework/Classes/TPaneUnit.h>
#include <SpriteEngine/SCCanvas.h>

#include <AppKit/NSViewController.h>

// The pane's object on its view.
inline constexpr OSType kCanvasPanePropertyCreator = FourCC("canp");
inline constexpr OSType kCanvasPanePropertyData = FourCC("data");

// The cancel command: closes the pane.
inline constexpr UInt32 kCanvasPaneCancelCommand = FourCC("not!");

// What the program's panes override on a canvas pane.
class TCanvasPaneProtocol : public TPane {
    SPRITE_ABSTRACT_CLASS(TCanvasPaneProtocol, TPane)

public:
    virtual TSpriteCanvas* GetCanvas() = 0;
    virtual void Center(bool onScreen) = 0;
    virtual CGRect ConvertRectFromCanvas(CGRect rect) = 0;
    virtual CGRect ConvertRectToCanvas(CGRect rect) = 0;
    // The pane lost the user's attention; `reason` is the subclass's own.
    virtual void LostFocus(UInt32 reason) = 0;

protected:
    TCanvasPaneProtocol() = default;
};

class TCanvasPane : public TCanvasPaneProtocol {
    BRINDLET_CLASS(TCanvasPane, TCanvasPaneProtocol)

public:
    // The nib's pane `name` over the canvas at `location` (the canvas's
    // view coordinates).
    static TCanvasPane* Create(const ShortString63& name, IBNibRef nib, CGPoint location, TSpriteCanvas* canvas)
    {
        return Make<TCanvasPane>(name, nib, location, canvas);
    }
    // The controller's view (the controller is retained) over the canvas.
    // When the view cannot be shown, the pane answered is not set up: it
    // has no view and shows nothing.
    static TCanvasPane* CreateWithViewController(NSViewController* controller, CGPoint location, TSpriteCanvas* canvas)
    {
        return MakeWithViewController<TCanvasPane>(controller, location, canvas);
    }

    // The same for subclasses.
    template <typename T>
    static T* Make(const ShortString63& name, IBNibRef nib, CGPoint location, TSpriteCanvas* canvas)
    {
        T* pane = AllocateInstance<T>();
        pane->canvas_ = canvas;
        pane->location_ = location;
        pane->Construct(name, nib);
        return pane;
    }
    template <typename T>
    static T* MakeWithViewController(NSViewController* controller, CGPoint location, TSpriteCanvas* canvas)
    {
        T* pane = AllocateInstance<T>();
        pane->canvas_ = canvas;
        pane->location_ = location;
        pane->ConstructWithViewController(controller);
        return pane;
    }

    void Initialize() override;
    void Deallocate() override;

    TSpriteCanvas* GetCanvas() override;
    NSViewController* GetViewController() const { return viewController_; }
    CGPoint GetLocation() const { return location_; }
    // Between the canvas's view and the pane's view.
    CGRect ConvertRectFromCanvas(CGRect rect) override;
    CGRect ConvertRectToCanvas(CGRect rect) override;
    // Repaints the canvas under the pane at once.
    void SetNeedsDisplay() override;
    // In the base screen's visible frame (true) or in the canvas's view
    // rect (false), in whole points.
    void Center(bool onScreen) override;
    void SetFrame(const CGRect& frame) override;
    void LostFocus(UInt32) override {}

    // "not!" closes the pane (noErr); other commands are left to the caller.
    void ProcessCommand(const HICommandExtended& command, EventRef event, OSStatus& result) override;
    // No background of its own.
    void DrawBackground(CGRect bounds, CGContextRef context, OSStatus& result) override;
    void Close() override;
    // Called by name ("Cancel"), for instance by a Cancel button.
    void Cancel();
    // Another canvas pane was added: this one closes.
    void HandleCanvasPaneAdded(TDictionary* details);
    // Closes every open canvas pane (before the cards they edit go).
    static void CloseAll();

protected:
    TCanvasPane() = default;

private:
    void ConstructWithViewController(NSViewController* controller);
    // Gives the canvas its input and dirty rects back and repaints what
    // the pane covered; once.
    void RestoreCanvas();

    TSpriteCanvas* canvas_ = nullptr;  // not retained
    CGPoint location_ = {0, 0};
    NSViewController* viewController_ = nullptr;  // retained
    // The pane's frame in the canvas's view, kept for the repaint after the
    // view is gone.
    CGRect coveredFrame_ = CGRectZero;
    // Set while the pane holds the canvas's input.
    bool setUp_ = false;
};

// The canvas pane whose view is `view` (its "canp"/"data" property); nil
// when the view holds none or the pane is gone.
TCanvasPane* GetCanvasPane(ControlRef view);

void InitializeSCPaneUnit();
