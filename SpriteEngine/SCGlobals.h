// Shared declarations of the sprite engine: the build switches, the option
// sets, and the abstract classes through which sprites, layers, canvases and
// animators call one another without each unit depending on the others.
#pragma once

#include <Units/Classes/TResponderUnit.h>

#include <CarbonCore/CarbonEvents.h>
#include <CoreGraphics/CoreGraphics.h>
#include <HIToolbox/HIView.h>
#include <HIToolbox/Menus.h>

// Debug outlines of the engine, all off in this build.
inline constexpr bool kDebugShowDirtyRects = false;
inline constexpr bool kDebugShowSpriteFrames = false;
inline constexpr bool kDebugShowSpriteHotRects = false;
inline constexpr bool kDebugShowViewRect = false;
inline constexpr bool kDebugShowDestRect = false;
inline constexpr CGPoint kEmptyPoint = {0, 0};

// The Carbon status of an event nobody handled; hooks set noErr to take it.
inline constexpr OSStatus kSpriteEventNotHandled = eventNotHandledErr;

// Options of a canvas, fixed when it is made.
typedef UInt32 CanvasOptions;
enum : CanvasOptions {
    // A contextual click on a sprite also offers the canvas's own menu.
    kCanvasOptionCanvasMenuOverSprites = 1,
    // The frame loop keeps running while the view is hidden.
    kCanvasOptionProcessWhenHidden = 2,
    // Unhandled keys go to every sprite in turn, not to the focused one only.
    kCanvasOptionKeysToEverySprite = 4,
    // Hover changes and the cursor sprite are redrawn at once.
    kCanvasOptionForceUpdateOnHover = 8,
    // Sprites entering or leaving a drag are redrawn at once.
    kCanvasOptionForceUpdateOnDrag = 16,
    // Contextual clicks come from the mouse-down path.
    kCanvasOptionContextualFromMouseDown = 32,
    // The destination rect follows the view frame as the view rect does.
    kCanvasOptionDestRectFollowsView = 64,
    // Binding to a view also installs the system-wide mouse handler.
    kCanvasOptionSystemMouseHandler = 128,
    // Draw runs one ProcessLoop before drawing.
    kCanvasOptionProcessBeforeDraw = 256,
};

// Options of a sprite.
typedef UInt32 SpriteOptions;
enum : SpriteOptions {
    // Align the vertical axis to the frame's far edge every frame.
    kSpriteOptionAlignVerticalAxis = 1,
};

// The per-sprite frame counter HandleProcessTimer keeps.
struct SpriteTimer {
    UInt32 frames = 0;
    UInt32 ticks = 0;
};
typedef SpriteTimer* SpriteTimerPointer;

// A period in seconds as microseconds, cut to whole milliseconds.
UInt32 MicrosecondsToTicks(double seconds);

// The one routine that draws an image into a canvas context: the rect is
// truncated to whole points and the image drawn upright in the canvas's
// flipped (top-left origin) space.
void CanvasDrawImage(CGContextRef context, CGRect rect, CGImageRef image);

// A cleared bitmap context of `size` (truncated to whole pixels) in the
// pixel layout of the window buffers and cached layers (premultiplied
// ARGB32 in host words), so that what is drawn into it is composited back
// without a conversion. Its pixels come in a new block handed back in
// `buffer`: the caller releases the context, then disposes of the block
// (DisposePtr). Nil (and `buffer` nil) when either cannot be made.
CGContextRef CanvasBitmapContextCreate(CGSize size, Ptr& buffer);
// Replaces the pixels of the rect by the colour (transparent by default):
// what CGContextClearRect does, on the platform's quick fill path.
void CanvasFillRectCopy(CGContextRef context, CGRect rect, CGFloat red = 0, CGFloat green = 0, CGFloat blue = 0,
                        CGFloat alpha = 0);
// The same context, flipped so that user space starts at the top-left
// corner with y growing downwards, as the canvas draws.
void CanvasFlipContext(CGContextRef context, CGFloat height);

// The class machinery for the engine's abstract classes: a ClassInfo of
// their own (so MemberOfClass and the class chain see them) that allocates
// nothing, since only their subclasses are ever made.
#define SPRITE_ABSTRACT_CLASS(Class, Parent)                                                                           \
public:                                                                                                                \
    using Inherited = Parent;                                                                                          \
    static const ClassInfo& StaticClass();                                                                             \
    const ClassInfo& GetClass() const override                                                                         \
    {                                                                                                                  \
        return StaticClass();                                                                                          \
    }                                                                                                                  \
                                                                                                                       \
private:

#define SPRITE_DEFINE_ABSTRACT_CLASS(Class, Parent)                                                                    \
    const ClassInfo& Class::StaticClass()                                                                              \
    {                                                                                                                  \
        static const ClassInfo info{#Class, &Parent::StaticClass(), nullptr, {}};                                      \
        return info;                                                                                                   \
    }

class TSpriteProtocol;
class TSpriteLayerProtocol;
class TSpriteCanvasProtocol;

// The mouse state a canvas shares with its view. Sprites in it are not
// retained; HandleRemoveSprite clears them.
struct CanvasCursor {
    TSpriteProtocol* cursorSprite = nullptr;
    TSpriteProtocol* selectedSprite = nullptr;
    TSpriteProtocol* hoveredSprite = nullptr;
    TSpriteProtocol* focusedSprite = nullptr;
    TSpriteProtocol* dragTargetSprite = nullptr;
    CGPoint lastLocation = {0, 0};
    CGPoint downLocation = {0, 0};
    CGPoint dragLocation = {0, 0};
    EventRef dragEvent = nullptr;
    UInt32 modifiers = 0;
    bool selectionLeft = false;
    bool simulatingHover = false;
    bool dragging = false;
    TSpriteLayerProtocol* currentLayer = nullptr;
    TSpriteProtocol* currentSprite = nullptr;
    TSpriteProtocol* dragSprite = nullptr;
};

// What layers, canvases and animators call on a sprite.
class TSpriteProtocol : public TResponder {
    SPRITE_ABSTRACT_CLASS(TSpriteProtocol, TResponder)

public:
    virtual void ForceUpdate() = 0;
    virtual void SetNeedsDisplay() = 0;
    virtual bool IsDestroying() = 0;
    virtual void HandleMouseDown(CGPoint point, SInt32 clickCount, OSStatus& status) = 0;
    virtual void HandleMouseUp(CGPoint point, OSStatus& status) = 0;
    virtual void HandleMouseHover(CGPoint point, OSStatus& status) = 0;
    virtual void HandleMouseEntered(CGPoint point) = 0;
    virtual void HandleMouseExited(CGPoint point) = 0;
    virtual void HandleMouseDragged(CGPoint delta, CGPoint point, OSStatus& status) = 0;
    virtual void HandleMouseWheelScroll(CGPoint point, UInt16 axis, SInt32 delta, OSStatus& status) = 0;
    virtual void HandleMouseClicked(CGPoint point, OSStatus& status) = 0;
    virtual void HandleFocusChanged(bool focused) = 0;
    virtual void HandleSelectionChanged(bool selected, CGPoint point, OSStatus& status) = 0;
    virtual void HandleVisibilityChanged(bool visible) = 0;
    virtual void HandleFrameChanged(CGRect oldFrame) = 0;
    virtual void HandleLoaded() = 0;
    virtual void HandleAction() = 0;

protected:
    TSpriteProtocol() = default;
};

// What sprites and canvases call on a layer.
class TSpriteLayerProtocol : public TObject {
    SPRITE_ABSTRACT_CLASS(TSpriteLayerProtocol, TObject)

public:
    virtual void SetCanvas(TSpriteCanvasProtocol* canvas) = 0;
    virtual void Process() = 0;
    virtual void AppendDirtyRect(CGRect rect) = 0;
    virtual void AppendViewTable(TSpriteProtocol* sprite) = 0;
    virtual void RemoveViewTable(TSpriteProtocol* sprite) = 0;
    virtual void AppendSprite(TSpriteProtocol* sprite) = 0;
    virtual void RemoveSprite(TSpriteProtocol* sprite) = 0;
    virtual void SetNeedsDisplay() = 0;
    virtual void SetNeedsDisplayInRect(CGRect rect) = 0;
    virtual void SetNeedsDisplayInDirtyRects() = 0;
    virtual void SetNeedsDisplayInSprites() = 0;
    virtual CFArrayRef GetTable() = 0;
    virtual CFArrayRef GetViewTable() = 0;
    virtual CFArrayRef GetDestroyTable() = 0;
    virtual SInt32 GetKind() = 0;
    virtual CGLayerRef GetLayer() = 0;
    virtual CGRect GetBoundingBox() = 0;
    virtual CGRect GetVisibleBounds() = 0;
    virtual TSpriteCanvasProtocol* GetCanvas() = 0;
    virtual bool IsPaused() = 0;
    virtual bool IsVisible() = 0;
    virtual bool IsTransformable() = 0;
    virtual bool IsCoalescingSpriteActions() = 0;
    virtual bool IsPointObscured(CGPoint point, Float32 axis) = 0;
    virtual TObjectArray* CopySpritesObscuringPoint(CGPoint point, Float32 axis) = 0;

    // The canvas's side of the frame: dirty-rect upkeep, hit testing and
    // the draw pass.
    virtual bool MouseTest(CGPoint point, bool& consume) = 0;
    virtual bool IsRectDirty(CGRect rect) = 0;
    virtual CFIndex GetDirtyRectCount() = 0;
    virtual void ClearDirtyRects() = 0;
    // Clears the dirty rects already handed to the view (after it drew).
    virtual void ClearDisplayedDirtyRects() = 0;
    virtual void Draw() = 0;
    // The canvas is going away: the layer and its sprites forget it.
    virtual void ForgetCanvas() = 0;

protected:
    TSpriteLayerProtocol() = default;
};

// What sprites, layers and animators call on a canvas.
class TSpriteCanvasProtocol : public TResponder {
    SPRITE_ABSTRACT_CLASS(TSpriteCanvasProtocol, TResponder)

public:
    virtual void SetNeedsDisplay() = 0;
    virtual void SetNeedsDisplayInRect(CGRect rect) = 0;
    virtual void SetNeedsDisplayInDirtyRects() = 0;
    virtual void FlushUpdates(CGRect rect) = 0;
    virtual void ProcessLoop() = 0;
    virtual void SetNeedsProcessLoop() = 0;
    virtual void ClearFocus() = 0;
    virtual bool IsRectDirty(CGRect rect) = 0;
    virtual void HandleRemoveSprite(TSpriteProtocol* sprite) = 0;
    virtual WindowRef GetWindow() = 0;
    virtual ControlRef GetView() = 0;
    virtual CGRect GetViewRect() = 0;
    virtual CGRect GetDestRect() = 0;
    virtual CGContextRef GetContext() = 0;
    virtual CanvasCursor GetCursor() = 0;
    virtual Float32 GetZoomFactor() = 0;
    virtual CGPoint GetScrollOrigin() = 0;
    virtual void SetContext(CGContextRef context) = 0;
    // The sprite that takes the keys; GiveFocus and ClearFocus set it.
    virtual void SetFocusedSprite(TSpriteProtocol* sprite) = 0;
    virtual bool IsPaused() = 0;
    virtual bool IsRunning() = 0;
    virtual CGRect TransformRect(CGRect rect) = 0;
    virtual CGRect ConvertRectToView(CGRect rect) = 0;
    virtual CGPoint ConvertPointToView(CGPoint point) = 0;
    virtual CGPoint ConvertPointToCanvas(CGPoint point) = 0;
    virtual CGRect ConvertRectToWindow(CGRect rect) = 0;

protected:
    TSpriteCanvasProtocol() = default;
};

// The object behind a canvas view (bound through its 'canv'/'view'
// property); SetView hands it the canvas.
class TSpriteCanvasViewProtocol : public TObject {
    SPRITE_ABSTRACT_CLASS(TSpriteCanvasViewProtocol, TObject)

public:
    virtual void SetCanvas(TSpriteCanvasProtocol* canvas) = 0;

protected:
    TSpriteCanvasViewProtocol() = default;
};

// An animation running on a sprite.
class TSpriteAnimatorProtocol : public TResponder {
    SPRITE_ABSTRACT_CLASS(TSpriteAnimatorProtocol, TResponder)

public:
    virtual void Stop() = 0;

protected:
    TSpriteAnimatorProtocol() = default;
};

// Control properties the engine keeps on views.
inline constexpr OSType kCanvasPropertyCreator = FourCC("canv");
inline constexpr OSType kCanvasPropertyData = FourCC("data");
inline constexpr OSType kCanvasPropertyView = FourCC("view");
inline constexpr OSType kSpritePropertyCreator = FourCC("SPRT");
inline constexpr OSType kSpritePropertyRect = FourCC("rect");
