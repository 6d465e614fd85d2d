// A plane of sprites on a canvas. A layer owns its sprites through its
// sprite table (insertion order), keeps the sprites in view sorted by
// vertical axis (draw order), defers removals to the end of the frame
// through its destroy table, and collects the dirty rects of the frame.
#pragma once

#include <SpriteEngine/SCGlobals.h>

#include <Units/Classes/TArrayUnit.h>

#include <vector>

class TArchiver;

class TSpriteLayer : public TSpriteLayerProtocol {
    BRINDLET_CLASS(TSpriteLayer, TSpriteLayerProtocol)

public:
    // Kind 0 draws its sprites straight into the canvas; kind 1 composites
    // them into a cache layer first. A transformable layer follows the
    // canvas's zoom and scroll.
    static TSpriteLayer* Create(SInt32 kind, bool transformable);

    void Initialize() override;
    void Deallocate() override;

    // The protocol.
    void SetCanvas(TSpriteCanvasProtocol* canvas) override;
    void Process() override;
    void AppendDirtyRect(CGRect rect) override;
    void AppendViewTable(TSpriteProtocol* sprite) override;
    void RemoveViewTable(TSpriteProtocol* sprite) override;
    void AppendSprite(TSpriteProtocol* sprite) override;
    void RemoveSprite(TSpriteProtocol* sprite) override;
    void SetNeedsDisplay() override;
    void SetNeedsDisplayInRect(CGRect rect) override;
    void SetNeedsDisplayInDirtyRects() override;
    void SetNeedsDisplayInSprites() override;
    CFArrayRef GetTable() override { return table_; }
    CFArrayRef GetViewTable() override { return viewTable_; }
    CFArrayRef GetDestroyTable() override { return destroyTable_; }
    SInt32 GetKind() override { return kind_; }
    CGLayerRef GetLayer() override { return cacheLayer_; }
    CGRect GetBoundingBox() override { return boundingBox_; }
    CGRect GetVisibleBounds() override;
    TSpriteCanvasProtocol* GetCanvas() override { return canvas_; }
    bool IsPaused() override { return paused_; }
    bool IsVisible() override { return visible_; }
    bool IsTransformable() override { return transformable_; }
    bool IsCoalescingSpriteActions() override { return coalescing_; }
    bool IsPointObscured(CGPoint point, Float32 axis) override;
    TObjectArray* CopySpritesObscuringPoint(CGPoint point, Float32 axis) override;
    bool MouseTest(CGPoint point, bool& consume) override;
    bool IsRectDirty(CGRect rect) override;
    CFIndex GetDirtyRectCount() override;
    void ClearDirtyRects() override;
    void ClearDisplayedDirtyRects() override;
    void Draw() override;
    void ForgetCanvas() override;

    // Clipping of the draw pass: the canvas's view rect.
    virtual CGRect GetContextClippingBounds();
    virtual CGRect GetSpriteClippingBounds();

    // Event hooks, to be overridden; status as for the sprite's hooks.
    virtual void HandleMouseEvent(EventRef, TSpriteProtocol*, OSStatus&) {}
    virtual void HandleMouseDown(CGPoint, TSpriteProtocol*, UInt32 /*clickCount*/, UInt16 /*button*/, OSStatus&) {}
    virtual void HandleMouseUp(CGPoint, TSpriteProtocol*, OSStatus&) {}
    virtual void HandleMouseMoved(CGPoint, TSpriteProtocol*, OSStatus&) {}
    virtual void HandleMouseDragged(CGPoint /*delta*/, CGPoint, TSpriteProtocol*, OSStatus&) {}
    virtual void HandleMouseWheelScroll(CGPoint, TSpriteProtocol*, UInt16 /*axis*/, SInt32 /*delta*/, OSStatus&) {}
    virtual void HandleKeyDown(UInt32 /*modifiers*/, UInt32 /*keyCode*/, char /*character*/, OSStatus&) {}
    // The draw pass of the layer's sprites.
    virtual void HandleDraw(CGContextRef context);
    virtual void HandleClipContext(CGContextRef context);
    // Kind 1: brings the cache up to date where the layer is dirty (all
    // of it when it is new), drawing into it as the canvas's context.
    void Composite();
    // Outlines the dirty rects (the debug switch kDebugShowDirtyRects).
    void DrawDirtyRects(CGContextRef context);
    bool IsComposited() const { return composited_; }
    bool NeedsComposite() const { return needsComposite_; }

    void SetPaused(bool paused) { paused_ = paused; }
    void SetVisible(bool visible) { visible_ = visible; }
    void SetAcceptsDirtyRects(bool accepts) { acceptsDirtyRects_ = accepts; }
    bool AcceptsDirtyRects() const { return acceptsDirtyRects_; }
    CGContextRef GetContext();
    // The dirty rects of the frame (owned 16-byte blocks), in view space.
    CFArrayRef GetDirtyRects() const { return dirtyRects_; }
    CGRect GetDirtyRect(CFIndex index) const;

    // Queries over the sprite table; the arrays are new and the caller's.
    UInt32 GetCountOfClass(const ClassInfo& spriteClass);
    TObjectArray* CopySpritesWithClass(const ClassInfo& spriteClass);
    TObjectArray* CopyTable();
    void ArchiveTable(TArchiver* archiver);
    // Calls the named method on every sprite of exactly the class.
    void ApplyFunction(const ClassInfo& spriteClass, const ShortString& method);
    // Removes every sprite of the class or a subclass, then processes once.
    void RemoveWithClass(const ClassInfo& spriteClass);

protected:
    TSpriteLayer() = default;

private:
    void ReleaseTables();
    // A rect of view space in the space the layer draws in (the canvas's
    // when the layer follows its zoom and scroll).
    CGRect ViewRectToLayerSpace(CGRect rect);
    // Whether the pass draws the sprite: it meets the canvas's dirty area,
    // or while compositing, the cache's.
    bool IsSpriteDirty(TSpriteProtocol* sprite);
    // Takes the sprites of the destroy table out of the view and sprite
    // tables (the sprite table releases them).
    void Purge();

    CGAffineTransform transform_ = {1, 0, 0, 1, 0, 0};
    CGPoint scrollOffset_ = {0, 0};
    SInt32 optionValue_ = 0;
    Float32 zoom_ = 1.0f;
    TSpriteCanvasProtocol* canvas_ = nullptr;
    CFMutableArrayRef table_ = nullptr;
    CFMutableArrayRef viewTable_ = nullptr;
    CFMutableArrayRef destroyTable_ = nullptr;
    CFMutableArrayRef dirtyRects_ = nullptr;
    bool paused_ = false;
    bool transformable_ = false;
    SInt32 kind_ = 0;
    bool visible_ = true;
    CGLayerRef cacheLayer_ = nullptr;
    bool needsComposite_ = true;
    CGRect boundingBox_ = CGRectZero;
    bool composited_ = false;
    bool acceptsDirtyRects_ = true;
    bool coalescing_ = false;
    // A nested Process (from a sprite's hook) would purge sprites the
    // outer pass is still walking.
    bool processing_ = false;
    // How many of the dirty rects were handed to the view.
    CFIndex flushedCount_ = 0;
    // While compositing: the parts of the cache redrawn, in its space.
    bool compositing_ = false;
    std::vector<CGRect> compositeRects_;
};
