// The controller between a canvas's HIView and its TSpriteCanvas: the view
// class "com.orvandel.canvas" gets one of these at construction (bound
// through the view's 'canv'/'view' property); it draws the canvas when the
// view draws, follows the view's bounds, and hands the view's events to the
// layer, canvas and sprite hooks.
#pragma once

#include <SpriteEngine/SCCanvas.h>

// The identifier of the canvas view class.
#define kCanvasViewClassID CFSTR("com.orvandel.canvas")

class TDrag;
class TTimer;

// The notifications of the canvas's mouse events (local, no details).
inline constexpr const char* kCanvasMouseDownNotification = "notification.mousedown.spritecanvas";
inline constexpr const char* kCanvasMouseUpNotification = "notification.mouseup.spritecanvas";
inline constexpr const char* kCanvasMouseMovedNotification = "notification.mousemoved.spritecanvas";
inline constexpr const char* kCanvasMouseDraggedNotification = "notification.mousedragged.spritecanvas";

class TSpriteCanvasView : public TSpriteCanvasViewProtocol {
    BRINDLET_CLASS(TSpriteCanvasView, TSpriteCanvasViewProtocol)

public:
    static TSpriteCanvasView* Create(ControlRef view);

    void Initialize() override;
    void Deallocate() override;

    // ---- routing (result preset to eventNotHandledErr by the caller) ----
    // Mouse events: the current layer's HandleMouseEvent, then by kind the
    // layer's hook, the canvas's and the sprite's, while none took it.
    void HandleMouseEvents(EventRef event, OSStatus& result);
    // Raw key down and repeat: layers from the top, the canvas, then the
    // focused sprite (or, with option 4, every sprite in turn).
    void HandleKeyboardEvents(EventRef event, OSStatus& result);
    void HandleContextualMenuClick(EventRef event, OSStatus& result);
    // Drags over the view.
    OSStatus HandleAcceptDrag(EventRef event);
    OSStatus HandleTrackDragWithinView(EventRef event);
    OSStatus HandleReceiveDrag(EventRef event);
    void HandleDragLeave(EventRef event);
    // The drag timer's tick (1/60 s while a drag is over the view).
    void HandleDragTrackingTimer(void* data);
    bool IsDragTimerRunning() const { return dragTimer_ != nullptr; }
    // The same search as the canvas's FindSprite.
    TSpriteProtocol* FindSpriteAtLocation(CGPoint point, TSpriteLayerProtocol*& layer);
    // A point of the window's content in canvas coordinates.
    CGPoint WindowPointToCanvas(CGPoint point);

    // Binds the canvas: the view holds a reference of its own until it goes
    // or another canvas is bound (the creator keeps and releases its own).
    void SetCanvas(TSpriteCanvasProtocol* canvas) override;
    TSpriteCanvas* GetCanvas() const { return canvas_; }
    ControlRef GetView() const { return view_; }

    // The view's draw pass: the area being drawn (clipped to the view) is
    // cleared to the window's background and the canvas draws what meets it.
    OSStatus HandleDrawControl(EventRef event);
    // The view's frame becomes the canvas's view rect (and with option 64
    // its destination rect).
    void HandleBoundsChanged();
    void SetTrackingHilite(bool hilite);

    // The canvas view of the view a canvas is bound to; nil for none.
    static TSpriteCanvasView* CanvasGetView(TSpriteCanvasProtocol* canvas);
    // The canvas view created last.
    static TSpriteCanvasView* CurrentCanvasView;

protected:
    TSpriteCanvasView() = default;

private:
    friend OSStatus CanvasViewHandler(EventHandlerCallRef, EventRef, void*);
    friend OSStatus CanvasWindowHandler(EventHandlerCallRef, EventRef, void*);
    friend OSStatus CanvasApplicationMouseHandler(EventHandlerCallRef, EventRef, void*);

    void InstallWindowHandlers();
    void RemoveHandlers();
    void HoverExit(CGPoint point);
    // Every canvas pane on the view gets LostFocus(reason).
    void TellPanesFocusLost(UInt32 reason);
    void EndDragTimer();
    // The sprite under the drag's mouse, in canvas coordinates.
    TSpriteProtocol* SpriteUnderDrag(DragRef drag, CGPoint& point);

    EventHandlerRef windowHandler_ = nullptr;
    WindowRef handlerWindow_ = nullptr;
    EventHandlerRef applicationMouseHandler_ = nullptr;
    TTimer* dragTimer_ = nullptr;
    ControlRef view_ = nullptr;
    TSpriteCanvas* canvas_ = nullptr;
    bool spriteAcceptsDrag_ = false;
};

// Keeps a canvas tracking its sprites under a drag that a sprite runs
// itself: sprites the drag leaves hear of it.
void CanvasTrackDragTransparent(DragRef drag, TSpriteCanvas* canvas);

// Registers the view class (once; later calls do nothing).
void CanvasViewRegisterClass();
// A new canvas view (count 1) with the frame, not yet in a window.
OSStatus CanvasViewCreate(const HIRect& frame, HIViewRef* outView);
