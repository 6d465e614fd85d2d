// The model side of a sprite display: the canvas owns its layers, runs the
// frame loop (a 1/60 s event-loop timer, gated by the frame rate) that
// processes the layers and asks the view to redraw the dirty parts, keeps
// the mouse state shared with its view, converts coordinates between
// canvas, view, window and screen, and offers empty hooks for subclasses.
#pragma once

#include <SpriteEngine/SCGlobals.h>

#include <Units/Classes/TArrayUnit.h>

#include <CarbonCore/CarbonEventLoop.h>

class TDrag;

// What the frame loop counts; nothing in the engine reads it.
struct CanvasFrameStatistics {
    UInt32 windowStart = 0;   // ticks: start of the current 60-tick window
    UInt16 frameCount = 0;    // frames processed in the window
    UInt32 processTime = 0;   // microseconds of the last layer processing
    UInt32 drawTime = 0;      // microseconds of the last Draw (set by the view)
    UInt32 processStart = 0;  // microseconds: start of the last processing
};

class TSpriteCanvas : public TSpriteCanvasProtocol {
    BRINDLET_CLASS(TSpriteCanvas, TSpriteCanvasProtocol)

public:
    // A canvas of `size` with its frame timer running; the caller owns it.
    static TSpriteCanvas* Create(CGSize size, CanvasOptions options);

    void Initialize() override;
    void Deallocate() override;

    // Binds the canvas to its view (the frame loop does nothing before).
    void SetView(ControlRef view);

    // ---- layers and redisplay ----
    virtual void AppendLayer(TSpriteLayerProtocol* layer);
    void SetNeedsDisplay() override;
    void SetNeedsDisplayInRect(CGRect rect) override;
    void SetNeedsDisplayInDirtyRects() override;
    virtual void SetVisible(bool visible);
    void FlushUpdates(CGRect rect) override;

    // ---- the frame loop ----
    // One frame now (the frame-rate gate still applies); nothing while a
    // frame is being processed.
    void ProcessLoop() override;
    virtual void ProcessLoop(double delay);
    // One ProcessLoop on the next pass of the event loop, however often asked.
    void SetNeedsProcessLoop() override;
    virtual void ForceUpdate();
    // The canvas view's draw pass.
    virtual void Draw();
    void ClearFocus() override;
    bool IsRectDirty(CGRect rect) override;
    // The rect (view space) drawn into a new image the caller releases,
    // every sprite counting as dirty, at `scale` times its size; nil for
    // an empty rect or a scale of 0 or less.
    virtual CGImageRef CopyImage(CGRect rect, Float32 scale);
    // The area (view space) the view's draw pass is painting, null outside
    // it: while set, a rect is dirty when it meets the area.
    void SetPaintArea(CGRect area);
    CGRect GetPaintArea() const { return paintArea_; }
    // The hover hooks for a mouse that did not move.
    virtual void SimulateMouseHover();
    // Nested pausing: a balanced pair leaves the canvas as it was.
    virtual void PauseTimer();
    virtual void ResumeTimer();
    // Every rect counts as dirty while locked; answers the previous lock.
    virtual bool SetLockDirtyRects(bool lock);
    void HandleRemoveSprite(TSpriteProtocol* sprite) override;

    // ---- accessors ----
    WindowRef GetWindow() override;
    ControlRef GetView() override { return view_; }
    CGRect GetViewRect() override { return viewRect_; }
    CGRect GetDestRect() override { return destRect_; }
    CGContextRef GetContext() override { return context_; }
    CanvasCursor GetCursor() override { return cursor_; }
    virtual TArray* GetLayers() { return layers_; }
    Float32 GetZoomFactor() override { return zoomFactor_; }
    CGPoint GetScrollOrigin() override { return scrollOrigin_; }
    void SetContext(CGContextRef context) override { context_ = context; }
    void SetFocusedSprite(TSpriteProtocol* sprite) override { cursor_.focusedSprite = sprite; }
    virtual void SetCursorSprite(TSpriteProtocol* sprite) { cursor_.cursorSprite = sprite; }
    // Stops the frame timer (true) or makes it fire at once and then every
    // 1/60 s (false).
    virtual void SetPaused(bool paused);
    virtual void SetInputEnabled(bool enabled) { inputEnabled_ = enabled; }
    virtual void SetTrackDrags(bool track) { trackDrags_ = track; }
    bool IsPaused() override { return paused_; }
    virtual bool IsInputEnabled() { return inputEnabled_; }
    virtual bool IsCopyingImage() { return copyingImage_; }
    virtual bool IsVisible();
    bool IsRunning() override;
    // The visible area and the full extent; the canvas view keeps them.
    void SetViewRect(CGRect rect) { viewRect_ = rect; }
    void SetDestRect(CGRect rect) { destRect_ = rect; }
    void SetZoomFactor(Float32 zoom) { zoomFactor_ = zoom; }
    CGAffineTransform GetTransform() const { return transform_; }
    void SetTrackingHilite(bool hilite) { trackingHilite_ = hilite; }
    bool GetTrackingHilite() const { return trackingHilite_; }
    void SetScrollBars(ControlRef horizontal, ControlRef vertical);
    ControlRef GetHorizontalScrollBar() const { return horizontalScrollBar_; }
    ControlRef GetVerticalScrollBar() const { return verticalScrollBar_; }

    // ---- the screens (class functions) ----
    // The union of every screen's frame.
    static CGRect BoundingScreenFrameForDevices();
    // The main screen's frame (origin bottom left).
    static CGRect MainScreenFrame();
    // Where windows may be placed on the main device: global coordinates
    // from its top-left corner, less the menu bar and the system's panels.
    static CGRect ScreenPositioningBounds();

    // ---- the status text ----
    virtual void SetStatus(const ShortString& text);
    virtual void SetStatus(CFStringRef text);
    virtual void SetStatus(CGPoint point);
    virtual void SetStatus(CGRect rect);
    virtual void SetStatus(CFRange range);
    ShortString GetStatus() const { return status_; }
    void PrintStatus();

    // ---- coordinates ----
    CGRect TransformRect(CGRect rect) override;
    CGRect ConvertRectToView(CGRect rect) override;
    CGPoint ConvertPointToView(CGPoint point) override;
    CGPoint ConvertPointToCanvas(CGPoint point) override;
    virtual CGRect ConvertRectToCanvas(CGRect rect);
    CGRect ConvertRectToWindow(CGRect rect) override;
    virtual CGPoint ConvertPointToWindow(CGPoint point);
    virtual CGPoint ConvertPointFromScreen(CGPoint point);
    virtual CGRect ConvertRectFromScreen(CGRect rect);
    virtual CGPoint ConvertPointToScreen(CGPoint point);
    virtual CGRect ConvertRectToScreen(CGRect rect);

    // ---- hooks (result: preset to kSpriteEventNotHandled; noErr takes the event) ----
    virtual void HandleEvent(EventHandlerCallRef, EventRef, UInt32 /*kind*/, UInt32 /*eventClass*/, OSStatus&) {}
    virtual void HandleSystemMouseEvents(EventHandlerCallRef, EventRef, UInt32 /*kind*/, OSStatus&) {}
    virtual void HandleKeyDown(UInt32 /*modifiers*/, UInt32 /*keyCode*/, char /*character*/, OSStatus&) {}
    virtual void HandleMouseDown(CGPoint, TSpriteLayerProtocol*, TSpriteProtocol*, UInt32 /*clickCount*/,
                                 UInt16 /*button*/, OSStatus&)
    {}
    virtual void HandleMouseUp(CGPoint, TSpriteLayerProtocol*, TSpriteProtocol*, OSStatus&) {}
    virtual void HandleMouseMoved(CGPoint, TSpriteLayerProtocol*, TSpriteProtocol*, OSStatus&) {}
    virtual void HandleMouseDragged(CGPoint /*delta*/, CGPoint, TSpriteLayerProtocol*, TSpriteProtocol*, OSStatus&) {}
    virtual void HandleMouseWheelScroll(CGPoint, TSpriteLayerProtocol*, TSpriteProtocol*, UInt16 /*axis*/,
                                        SInt32 /*delta*/, OSStatus&)
    {}
    virtual void HandleMouseExited(CGPoint) {}
    virtual bool HandleDragAccept(TDrag*) { return true; }
    virtual bool HandleDragReceive(TDrag*) { return false; }
    virtual void HandleDragWithin(TDrag*, CGPoint) {}
    virtual void HandleDragLeave(TDrag*) {}
    virtual void HandleDragTracking(CGPoint) {}
    virtual void HandleDragTrackingEnded() {}
    virtual void HandleContextualClick(CGPoint, TSpriteProtocol*, OSStatus&) {}
    virtual MenuRef HandleContextualMenu() { return nullptr; }
    virtual void HandleSelectContextualMenu(MenuRef, UInt16 /*item*/) {}
    // Draws the visible layers with the zoom and scroll transform.
    virtual void HandleDraw(CGRect rect, CGContextRef context);
    // Called at the start of every processed frame.
    virtual void HandleProcessLoop() {}

    // ---- the rest ----
    void SetFrameRate(UInt16 rate) { frameRate_ = rate; }
    UInt16 GetFrameRate() const { return frameRate_; }
    void SetRedrawMode(SInt32 mode) { redrawMode_ = mode; }
    SInt32 GetRedrawMode() const { return redrawMode_; }
    CanvasOptions GetOptions() const { return options_; }
    bool GetTrackDrags() const { return trackDrags_; }
    bool GetTracksMouseWhenInactive() const { return tracksMouseWhenInactive_; }
    void SetTracksMouseWhenInactive(bool tracks) { tracksMouseWhenInactive_ = tracks; }
    // The topmost sprite under a canvas point, and the layer it was found
    // on (a layer that took the point without a hit is reported too).
    TSpriteProtocol* FindSprite(CGPoint point, TSpriteLayerProtocol*& layer);
    TSpriteProtocol* FindSprite(CGPoint point);
    void DelayUntil(double seconds);
    bool IsDirty();
    void AppendDirtyRect(CGRect rect);
    // Adds a subview to the view at a point and remembers its frame, so
    // that ScrollSubviews moves it with the scroll origin.
    void PlaceInSuperviewAt(ControlRef subview, CGPoint point);
    void ScrollSubviews(CGPoint offset);
    // Scrolls to whole points within the destination rect; true when the
    // origin had to be clamped.
    bool ScrollTo(Float32 x, Float32 y);
    // Every sprite of every layer, layer by layer; the caller owns the array.
    TObjectArray* CopySprites();
    CanvasFrameStatistics GetFrameStatistics() const { return statistics_; }
    void SetDrawTime(UInt32 microseconds) { statistics_.drawTime = microseconds; }
    bool IsInProcessLoop() const { return inProcessLoop_; }
    // The mouse state itself, for the canvas view that routes the events.
    CanvasCursor& CursorState() { return cursor_; }
    SInt32 GetPauseCount() const { return pauseCount_; }

    // The canvas of the event being handled, set by the canvas view.
    static TSpriteCanvas* ActiveCanvas;

protected:
    TSpriteCanvas() = default;

    // What Create does before Initialize, for subclasses' own factories.
    void SetUpCanvas(CGSize size, CanvasOptions options);

    // The mouse location in screen coordinates, origin bottom left.
    virtual CGPoint GetMouseLocation();

private:
    friend void CanvasEventLoop(EventLoopTimerRef, void*);
    friend void CanvasProcessLoopTimer(EventLoopTimerRef, void*);

    // Steps of one frame, shared by the frame timer and ProcessLoop.
    void RunFrame();
    void RemoveProcessLoopTimer();

    ControlRef view_ = nullptr;
    CanvasCursor cursor_;
    CGRect viewRect_ = CGRectZero;
    CGRect destRect_ = CGRectZero;
    ControlRef horizontalScrollBar_ = nullptr;
    ControlRef verticalScrollBar_ = nullptr;
    CGAffineTransform transform_ = {0, 0, 0, 0, 0, 0};
    CGPoint scrollOrigin_ = {0, 0};
    SInt32 reservedWord_ = 0;
    Float32 zoomFactor_ = 1.0f;
    CanvasFrameStatistics statistics_;
    bool trackingHilite_ = false;
    CGContextRef context_ = nullptr;
    EventLoopTimerRef frameTimer_ = nullptr;
    EventLoopTimerRef processLoopTimer_ = nullptr;
    double timerInterval_ = 1.0 / 60.0;
    TObjectArray* layers_ = nullptr;
    SInt32 redrawMode_ = 1;
    UInt16 frameRate_ = 60;
    UInt32 lastFrameTicks_ = 0;
    bool paused_ = false;
    bool copyingImage_ = false;
    bool inputEnabled_ = true;
    bool trackDrags_ = false;
    ShortString status_;
    CanvasOptions options_ = 0;
    bool tracksMouseWhenInactive_ = false;
    bool processingBeforeDraw_ = false;
    bool inProcessLoop_ = false;
    bool dirtyRectsLocked_ = false;
    CGRect paintArea_ = CGRectNull;
    SInt32 pauseCount_ = 0;
};
