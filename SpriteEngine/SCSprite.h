// One object on a sprite canvas: a rectangle in canvas coordinates on one
// layer, processed every frame, redrawn through dirty rects, and reached by
// the events the canvas routes to it through its Handle hooks.
//
// Ownership: a layer's sprite table takes over the reference its creator
// holds (Create hands back a sprite the table owns). Remove hands the sprite
// to the layer, which releases it at the end of the frame; Detach takes it
// off its layer without releasing it, so that SetLayer can put the same
// object on another layer.
#pragma once

#include <SpriteEngine/SCFace.h>
#include <SpriteEngine/SCGlobals.h>
#include <SpriteEngine/SCSpriteView.h>

#include <HIToolbox/Drag.h>

#include <Units/Classes/TArrayUnit.h>

class TDrag;

// The drag flavour that carries a sprite inside the process.
inline constexpr FlavorType kSpriteDragFlavor = FourCC("sDrg");

class TSprite : public TSpriteProtocol {
    BRINDLET_CLASS(TSprite, TSpriteProtocol)

public:
    // A new sprite on `layer` (SetLayer runs before Initialize). When the
    // layer took it, the layer owns the reference.
    static TSprite* Create(TSpriteLayerProtocol* layer);
    // The helper's constructors: at `point`, then with a face, an image
    // (retained; the sprite takes its pixel size times its scale), a source
    // layer whose cache it shows, or a grid of `cells` × `cells` cells drawn
    // once into an offscreen layer.
    static TSprite* Create(CGPoint point, TSpriteLayerProtocol* layer);
    static TSprite* CreateWithFace(CGPoint point, TSpriteFace* face, TSpriteLayerProtocol* layer);
    static TSprite* CreateWithImage(CGPoint point, CGImageRef image, TSpriteLayerProtocol* layer);
    static TSprite* CreateWithLayer(CGPoint point, TSpriteLayerProtocol* layer, TSpriteLayerProtocol* sourceLayer);
    static TSprite* CreateWithGrid(CGPoint point, SInt32 cells, CGSize cellSize, TSpriteFace* face,
                                   TSpriteLayerProtocol* layer);

    void Initialize() override;
    void Deallocate() override;
    void CopyInstanceVariables(TObject* source) override;

    // ---- the protocol ----
    void ForceUpdate() override;
    void SetNeedsDisplay() override;
    bool IsDestroying() override { return destroying_; }
    void HandleMouseDown(CGPoint point, SInt32 clickCount, OSStatus& status) override;
    void HandleMouseUp(CGPoint point, OSStatus& status) override;
    void HandleMouseHover(CGPoint, OSStatus&) override {}
    void HandleMouseEntered(CGPoint) override {}
    void HandleMouseExited(CGPoint) override {}
    void HandleMouseDragged(CGPoint, CGPoint, OSStatus&) override {}
    void HandleMouseWheelScroll(CGPoint, UInt16, SInt32, OSStatus&) override {}
    void HandleMouseClicked(CGPoint, OSStatus&) override {}
    void HandleFocusChanged(bool) override {}
    void HandleSelectionChanged(bool, CGPoint, OSStatus&) override {}
    void HandleVisibilityChanged(bool) override {}
    void HandleFrameChanged(CGRect) override {}
    void HandleLoaded() override {}
    void HandleAction() override;

    // ---- further hooks ----
    virtual void UpdateFace();
    // Drag source: a Drag Manager drag of the sprite, tracked from the
    // canvas's current (mouse-down) event, with a copy of its image.
    virtual void StartDrag();
    // A copy of the image the caller releases; nil without an image.
    virtual CGImageRef CopyDragImage();
    virtual CGPoint GetDragOffset() { return kEmptyPoint; }
    // The flavour 'sDrg': the sprite's own reference, meaningful only
    // inside this process.
    virtual void AddDragFlavors(DragRef drag);
    virtual CGSize GetMinimumSize() { return minimumSize_; }
    virtual CGSize GetMaximumSize() { return maximumSize_; }
    virtual CGRect GetConstrainFrame();
    virtual bool MouseTest(CGPoint point, bool& consume);
    virtual bool HitTest(CGPoint point);
    virtual void HandleEvent(SInt32 /*kind*/, UInt32 /*code*/, void* /*data*/, EventRef) {}
    virtual void HandleContextualClick(CGPoint, OSStatus&) {}
    virtual MenuRef HandleContextualMenu(CGPoint) { return nullptr; }
    virtual void HandleSelectContextualMenu(MenuRef, UInt16 /*item*/) {}
    virtual void HandleDragWithin(TDrag*, CGPoint) {}
    virtual void HandleDragLeave(TDrag*) {}
    virtual bool HandleDragReceive(TDrag*) { return false; }
    virtual bool HandleDragAccept(TDrag*) { return false; }
    virtual void HandleKeyDown(UInt32 /*modifiers*/, UInt32 /*keyCode*/, char /*character*/, OSStatus&) {}
    virtual SInt32 HandleInputEvents() { return 0; }
    virtual bool HandleRemoving() { return true; }
    virtual void HandleInitialState() {}
    // The drawing hooks; the draw pass that calls them comes with the
    // canvas view's drawing.
    virtual void HandleDraw(CGContextRef context);
    virtual void HandleDrawComposite(CGContextRef context, bool& again, CGRect frame);
    virtual void HandleDrawImage(CGImageRef image, CGRect rect, CGContextRef context);
    virtual void HandleDrawGrid(CGContextRef) {}
    virtual void HandleCollision(TSprite*) {}
    virtual void HandleHitTesting(TSprite*) {}
    virtual void HandleProcessTimer(SpriteTimerPointer timer);
    virtual void HandleProcess();

    // ---- geometry (canvas coordinates, whole points) ----
    CGRect GetFrame() const { return frame_; }
    CGRect GetBounds() const { return CGRectMake(0, 0, frame_.size.width, frame_.size.height); }
    CGRect GetFrameWithInset() const { return CGRectInset(frame_, frameInset_.width, frameInset_.height); }
    CGPoint GetLocation() const { return frame_.origin; }
    CGSize GetSize() const { return frame_.size; }
    CGFloat GetWidth() const { return frame_.size.width; }
    CGFloat GetHeight() const { return frame_.size.height; }
    void SetFrame(CGRect rect);
    void SetBounds(CGRect rect) { SetSize(rect.size); }
    void SetSize(CGSize size);
    void SetSize(CGFloat width, CGFloat height) { SetSize(CGSizeMake(width, height)); }
    void SetLocation(CGPoint point);
    void SetLocation(CGFloat x, CGFloat y) { SetLocation(CGPointMake(x, y)); }
    void SetLocationX(CGFloat x) { SetLocation(x, frame_.origin.y); }
    void SetLocationY(CGFloat y) { SetLocation(frame_.origin.x, y); }
    void SetLocationMidX(CGFloat x) { SetLocationX(x - frame_.size.width / 2); }
    void SetLocationMidY(CGFloat y) { SetLocationY(y - frame_.size.height / 2); }
    void SetLocationMaxX(CGFloat x) { SetLocationX(x - frame_.size.width); }
    void SetLocationMaxY(CGFloat y) { SetLocationY(y - frame_.size.height); }
    void MoveTo(CGFloat x, CGFloat y);
    void MoveBy(CGFloat dx, CGFloat dy) { SetLocation(frame_.origin.x + dx, frame_.origin.y + dy); }
    void ResizeBy(CGSize delta);
    void SetFrameInset(CGSize inset) { frameInset_ = inset; }
    CGSize GetFrameInset() const { return frameInset_; }
    void SetMinimumSize(CGFloat width, CGFloat height) { minimumSize_ = CGSizeMake(width, height); }
    void SetMaximumSize(CGFloat width, CGFloat height) { maximumSize_ = CGSizeMake(width, height); }
    CGRect ContrainLimits(CGRect rect);
    void ContrainFrameLimits() { SetFrame(ContrainLimits(frame_)); }
    void Constrain();
    void ConstrainHorizantally();
    void ConstrainVertically();

    // Between canvas and sprite coordinates (sizes unchanged).
    CGRect ConvertRectToCanvas(CGRect rect) const;
    CGRect ConvertRectToLocal(CGRect rect) const;
    CGPoint ConvertPointToCanvas(CGPoint point) const;
    CGPoint ConvertPointToLocal(CGPoint point) const;

    // The collision area: set by size at the sprite's origin, read in the canvas.
    void SetHotRect(CGSize size) { hotRect_ = CGRectMake(0, 0, size.width, size.height); }
    CGRect GetHotRect() const { return CGRectOffset(hotRect_, frame_.origin.x, frame_.origin.y); }

    // Drawing state.
    void SetImage(CGImageRef image);
    CGImageRef GetImage();
    void SetFace(TSpriteFace* face);
    TSpriteFace* GetFace() const { return face_; }
    void SetNeedsComposite() { needsComposite_ = true; }
    void SetNeedsCompositeOffscreen() { compositeOffscreen_ = true; }
    bool NeedsComposite() const { return needsComposite_; }
    void SetRedisplayAfterDraw(bool redisplay) { redisplayAfterDraw_ = redisplay; }

    // Dirty rects: the inset frame, or a rect in canvas coordinates.
    void AppendDirtyRect() { AppendDirtyRect(GetFrameWithInset()); }
    void AppendDirtyRect(CGRect rect);
    // Whether a change must reach the canvas now: a canvas whose frame
    // timer is not running, and a layer not coalescing removals.
    bool ForceCanvasChanges();

    // Opacity (0 to 1) and rotation (degrees), written directly: an
    // animator sets them at every tick and the draw pass reads them.
    void SetAlpha(Float32 alpha) { alpha_ = alpha; }
    Float32 GetAlpha() const { return alpha_; }
    void SetRotation(Float32 degrees) { rotation_ = degrees; }
    Float32 GetRotation() const { return rotation_; }

    // Draw order.
    void SetVerticalAxis(Float32 axis);
    Float32 GetVerticalAxis() const { return verticalAxis_; }
    void AlignVerticalAxis();

    // State.
    void SetVisible(bool visible);
    void SetHidden(bool hidden) { SetVisible(!hidden); }
    bool IsVisible() const { return visible_; }
    void SetOptions(SpriteOptions options) { options_ = options; }
    SpriteOptions GetOptions() const { return options_; }
    void SetCollisionGroup(SInt32 group) { collisionGroup_ = group; }
    SInt32 GetCollisionGroup() const { return collisionGroup_; }
    void SetSupportsArchiving(bool supports) { supportsArchiving_ = supports; }
    bool GetSupportsArchiving() const { return supportsArchiving_; }
    bool IsCanvasValid() const { return canvas_ != nullptr; }
    void GiveFocus();
    bool IsFocused();
    bool IsSelected();
    void SetMoving(bool moving);
    bool IsMoving() const { return moving_; }
    // Setting the animator already running does nothing; another one stops it.
    void SetAnimator(TSpriteAnimatorProtocol* animator);
    TSpriteAnimatorProtocol* GetAnimator() const { return animator_; }
    bool IsAnimating() const { return animator_ != nullptr; }
    TSpriteCanvasProtocol* GetCanvas() const { return canvas_; }
    TSpriteLayerProtocol* GetLayer() const { return layer_; }
    WindowRef GetWindow() const;
    bool IsInViewTable() const { return inViewTable_; }
    bool IsDetaching() const { return detaching_; }
    CGPoint GetMouseDownPoint() const { return mouseDownPoint_; }

    // Layer membership.
    void SetLayer(TSpriteLayerProtocol* layer);
    void UpdateViewTable();
    void AppendTable(CFMutableArrayRef table);
    void Remove();
    void Detach();
    // The layer is going away (or its canvas): the sprite forgets them.
    void ForgetLayer();
    void ForgetCanvas() { canvas_ = nullptr; }

    // Sub-views, owned by the sprite.
    void AppendView(TSpriteView* view);
    void SetView(TSpriteView* view);
    TSpriteView* GetView(SInt32 index) const;
    void RemoveViews();
    SInt32 CountViews() const { return views_ != nullptr ? views_->Count() : 0; }

    // Compositing and copies.
    // Rebuilds the cached image from HandleDrawComposite, at the inset
    // frame's size (again when the hook asks for another pass).
    void CompositeImage();
    // The sprite drawn alone into a new image of `size` (of its own size
    // without one) as if it stood at the origin; the caller releases it.
    CGImageRef CopyImage(CGSize size);
    CGImageRef CopyImage();
    bool IsCopyingImage() const { return copyingImage_; }
    // Location, scale, alpha, blend mode and rotation, into the context.
    void ApplyDisplayProperties(CGContextRef context);
    void SetBlendMode(CGBlendMode mode) { blendMode_ = mode; }
    CGBlendMode GetBlendMode() const { return blendMode_; }
    void SetScale(CGSize scale) { scale_ = scale; }
    CGSize GetScale() const { return scale_; }
    // The rotation turns about the frame's centre moved by `offset`.
    void SetRotationCenterOffset(CGPoint offset) { rotationCenterOffset_ = offset; }
    CGPoint GetRotationCenterOffset() const { return rotationCenterOffset_; }
    void SetTranslateToLocation(bool translate) { translateToLocation_ = translate; }
    bool GetTranslateToLocation() const { return translateToLocation_; }

    // What the helper's constructors keep.
    TSpriteLayerProtocol* GetSourceLayer() const { return sourceLayer_; }
    CGLayerRef GetGridLayer() const { return gridLayer_; }
    SInt32 GetGridCells() const { return gridCells_; }
    CGSize GetGridCellSize() const { return gridCellSize_; }

protected:
    TSprite() = default;

private:
    // The dirty rect of a frame change: the new frame and the old inset frame.
    void ChangeFrame(CGRect newFrame);

    Float32 verticalAxis_ = 1.0f;
    UInt32 reservedValue_ = 0;
    SInt32 collisionGroup_ = 1;
    Float32 alpha_ = 1.0f;
    CGBlendMode blendMode_ = kCGBlendModeNormal;
    CGSize scale_ = {1, 1};
    Float32 rotation_ = 0;
    CGPoint rotationCenterOffset_ = {0, 0};
    bool displayFlagA_ = true;
    bool visible_ = true;
    bool translateToLocation_ = true;
    TSpriteCanvasProtocol* canvas_ = nullptr;
    TSpriteLayerProtocol* layer_ = nullptr;
    CGRect frame_ = CGRectZero;
    CGRect hotRect_ = CGRectZero;
    CGSize frameInset_ = CGSizeZero;
    TSpriteFace* face_ = nullptr;
    bool destroying_ = false;
    bool detaching_ = false;
    SpriteOptions options_ = 0;
    bool redisplayAfterDraw_ = false;
    bool drawnState_ = false;
    bool inViewTable_ = false;
    bool supportsArchiving_ = false;
    CGImageRef image_ = nullptr;
    bool initialStateDone_ = false;
    bool needsComposite_ = false;
    bool compositeOffscreen_ = false;
    bool copyingImage_ = false;
    CGRect lastDrawnFrame_ = CGRectZero;
    CGLayerRef layerCache_ = nullptr;
    CGPoint mouseDownPoint_ = {0, 0};
    // The sprite took the last press and has not been released since.
    bool pressed_ = false;
    TObjectArray* views_ = nullptr;
    CGSize minimumSize_ = CGSizeZero;
    CGSize maximumSize_ = CGSizeZero;
    TSpriteAnimatorProtocol* animator_ = nullptr;
    bool moving_ = false;

    // The helper's constructors.
    TSpriteLayerProtocol* sourceLayer_ = nullptr;
    CGLayerRef gridLayer_ = nullptr;
    SInt32 gridCells_ = 0;
    CGSize gridCellSize_ = CGSizeZero;
    bool gridNeedsDrawing_ = false;

    friend void SpriteTableRelease(CFAllocatorRef, const void*);
    friend void DrawSprite(const void*, void*);
};

// The callbacks of a layer's tables.
//
// A sprite table: takes over the reference of each sprite added, and
// releases it on removal unless the sprite is detaching. The caller owns
// the table.
CFMutableArrayRef CreateSpriteTable();
// Runs a sprite's frame unless it is being destroyed.
void ProcessSprite(const void* sprite, void* context);
// The collision test of one pair: `value` against the sprite `context`.
void HitTestSprites(const void* value, void* context);
// Draws one sprite into its canvas's current context (`context` unused).
void DrawSprite(const void* value, void* context);
