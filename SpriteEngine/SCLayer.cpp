#include "SCLayer.h"

#include <SpriteEngine/SCSprite.h>

#include <Units/Classes/TArchiverUnit.h>
#include <Units/Classes/TObjectRef.h>
#include <Units/Utilities/CGUtilities.h>

#include <algorithm>

BRINDLET_DEFINE_CLASS(TSpriteLayer, TSpriteLayerProtocol)

namespace {

TSprite* SpriteAt(CFArrayRef table, CFIndex index)
{
    return static_cast<TSprite*>(const_cast<void*>(CFArrayGetValueAtIndex(table, index)));
}

// The view and destroy tables hold sprites the sprite table owns.
const CFArrayCallBacks kBorrowedSpriteCallBacks = {0, nullptr, nullptr, nullptr, nullptr};

void ReleaseRectBlock(CFAllocatorRef, const void* value)
{
    delete static_cast<const CGRect*>(value);
}

const CFArrayCallBacks kRectBlockCallBacks = {0, nullptr, ReleaseRectBlock, nullptr, nullptr};

CFComparisonResult CompareVerticalAxis(const void* a, const void* b, void*)
{
    const Float32 axisA = static_cast<const TSprite*>(a)->GetVerticalAxis();
    const Float32 axisB = static_cast<const TSprite*>(b)->GetVerticalAxis();
    if (axisA > axisB)
        return kCFCompareGreaterThan;
    if (axisA < axisB)
        return kCFCompareLessThan;
    return kCFCompareEqualTo;
}

// The sprites of a table as they are now: hooks called while walking may
// add to or remove from the table.
std::vector<TSprite*> Snapshot(CFArrayRef table)
{
    std::vector<TSprite*> sprites;
    const CFIndex count = CFArrayGetCount(table);
    sprites.reserve(static_cast<size_t>(count));
    for (CFIndex i = 0; i < count; ++i)
        sprites.push_back(SpriteAt(table, i));
    return sprites;
}

// The same, each sprite held for the walk: the hooks it calls may remove
// sprites further on.
std::vector<TObjectRef<TSprite>> HeldSnapshot(CFArrayRef table)
{
    std::vector<TObjectRef<TSprite>> sprites;
    for (TSprite* sprite : Snapshot(table))
        sprites.push_back(TObjectRef<TSprite>::Retain(sprite));
    return sprites;
}

}  // namespace

TSpriteLayer* TSpriteLayer::Create(SInt32 kind, bool transformable)
{
    TSpriteLayer* layer = Allocate();
    layer->kind_ = kind;
    layer->transformable_ = transformable;
    layer->Initialize();
    return layer;
}

void TSpriteLayer::Initialize()
{
    Inherited::Initialize();
    needsComposite_ = true;
    visible_ = true;
    acceptsDirtyRects_ = true;
    optionValue_ = 32;
    zoom_ = 1.0f;
    if (table_ == nullptr)
        table_ = CreateSpriteTable();
    if (viewTable_ == nullptr)
        viewTable_ = CFArrayCreateMutable(nullptr, 0, &kBorrowedSpriteCallBacks);
    if (destroyTable_ == nullptr)
        destroyTable_ = CFArrayCreateMutable(nullptr, 0, &kBorrowedSpriteCallBacks);
    if (dirtyRects_ == nullptr)
        dirtyRects_ = CFArrayCreateMutable(nullptr, 0, &kRectBlockCallBacks);
}

void TSpriteLayer::Deallocate()
{
    // Sprites that outlive the layer (held by someone else, or detached)
    // must not call back into it or its canvas once it is gone.
    if (table_ != nullptr) {
        for (TSprite* sprite : Snapshot(table_)) {
            if (canvas_ != nullptr)
                canvas_->HandleRemoveSprite(sprite);
            if (sprite->GetLayer() == this)
                sprite->ForgetLayer();
        }
    }
    ReleaseTables();
    if (cacheLayer_ != nullptr) {
        CGLayerRelease(cacheLayer_);
        cacheLayer_ = nullptr;
    }
    Inherited::Deallocate();
}

void TSpriteLayer::ReleaseTables()
{
    // The sprite table first: the sprites it frees find the other tables
    // still there.
    for (CFMutableArrayRef* table : {&table_, &viewTable_, &destroyTable_, &dirtyRects_}) {
        if (*table != nullptr) {
            CFMutableArrayRef old = *table;
            *table = nullptr;
            CFRelease(old);
        }
    }
}

void TSpriteLayer::SetCanvas(TSpriteCanvasProtocol* canvas)
{
    canvas_ = canvas;
    if (cacheLayer_ != nullptr) {
        CGLayerRelease(cacheLayer_);
        cacheLayer_ = nullptr;
    }
    // Without a context yet, the first composite makes it.
    if (canvas_ != nullptr && canvas_->GetContext() != nullptr)
        cacheLayer_ = CGLayerCreateWithContext(canvas_->GetContext(), canvas_->GetDestRect().size, nullptr);
    needsComposite_ = true;
    composited_ = false;
}

void TSpriteLayer::ForgetCanvas()
{
    canvas_ = nullptr;
    if (table_ != nullptr) {
        for (TSprite* sprite : Snapshot(table_))
            sprite->ForgetCanvas();
    }
}

CGContextRef TSpriteLayer::GetContext()
{
    return canvas_ != nullptr ? canvas_->GetContext() : nullptr;
}

CGRect TSpriteLayer::GetContextClippingBounds()
{
    return canvas_ != nullptr ? canvas_->GetViewRect() : CGRectZero;
}

CGRect TSpriteLayer::GetVisibleBounds()
{
    return canvas_ != nullptr ? canvas_->GetViewRect() : CGRectZero;
}

CGRect TSpriteLayer::GetSpriteClippingBounds()
{
    return GetContextClippingBounds();
}

// ---- the frame ----

void TSpriteLayer::Process()
{
    if (processing_)
        return;
    processing_ = true;
    const auto hold = TObjectRef<TSpriteLayer>::Retain(this);
    {
        const auto sprites = HeldSnapshot(table_);
        for (const auto& sprite : sprites)
            ProcessSprite(sprite.get(), nullptr);
    }
    CFArraySortValues(viewTable_, CFRangeMake(0, CFArrayGetCount(viewTable_)), CompareVerticalAxis, nullptr);
    Purge();
    processing_ = false;
}

void TSpriteLayer::Purge()
{
    // By index with the live count: a sprite freed here may remove others.
    for (CFIndex i = 0; i < CFArrayGetCount(destroyTable_); ++i) {
        TSprite* sprite = SpriteAt(destroyTable_, i);
        const CFIndex viewIndex =
            CFArrayGetFirstIndexOfValue(viewTable_, CFRangeMake(0, CFArrayGetCount(viewTable_)), sprite);
        if (viewIndex >= 0)
            CFArrayRemoveValueAtIndex(viewTable_, viewIndex);
        const CFIndex index = CFArrayGetFirstIndexOfValue(table_, CFRangeMake(0, CFArrayGetCount(table_)), sprite);
        if (index < 0)
            continue;  // already gone: never touch it again
        // A detached sprite, or one whose caller still holds it, lives on
        // off this layer: it lets go of the layer and the canvas here.
        const bool detaching = sprite->IsDetaching();
        const bool survives = detaching || sprite->GetRetainCount() > 1;
        const bool ours = sprite->GetLayer() == this;
        if (survives && ours && !detaching && canvas_ != nullptr)
            canvas_->HandleRemoveSprite(sprite);
        CFArrayRemoveValueAtIndex(table_, index);
        if (survives && ours)
            sprite->ForgetLayer();
    }
    CFArrayRemoveAllValues(destroyTable_);
}

// ---- dirty rects ----

void TSpriteLayer::AppendDirtyRect(CGRect rect)
{
    if (!acceptsDirtyRects_ || dirtyRects_ == nullptr)
        return;
    const CGRect clipped = CGRectClipRect(rect, GetVisibleBounds());
    if (CGRectIsEmpty(clipped))
        return;
    CFArrayAppendValue(dirtyRects_, new CGRect(clipped));
    // A cached layer's cache is stale wherever something changed.
    if (kind_ != 0)
        needsComposite_ = true;
}

CGRect TSpriteLayer::GetDirtyRect(CFIndex index) const
{
    const auto* rect = static_cast<const CGRect*>(CFArrayGetValueAtIndex(dirtyRects_, index));
    return rect != nullptr ? *rect : CGRectZero;
}

CFIndex TSpriteLayer::GetDirtyRectCount()
{
    return dirtyRects_ != nullptr ? CFArrayGetCount(dirtyRects_) : 0;
}

void TSpriteLayer::ClearDirtyRects()
{
    if (dirtyRects_ != nullptr)
        CFArrayRemoveAllValues(dirtyRects_);
    flushedCount_ = 0;
}

void TSpriteLayer::ClearDisplayedDirtyRects()
{
    if (dirtyRects_ == nullptr)
        return;
    // Rects added since the last display request were not handed to the
    // view yet: they wait for the next one.
    const CFIndex count = std::min(flushedCount_, CFArrayGetCount(dirtyRects_));
    if (count > 0)
        CFArrayReplaceValues(dirtyRects_, CFRangeMake(0, count), nullptr, 0);
    flushedCount_ = 0;
}

bool TSpriteLayer::IsRectDirty(CGRect rect)
{
    for (CFIndex i = 0; i < GetDirtyRectCount(); ++i) {
        if (CGRectIntersectsRect(GetDirtyRect(i), rect))
            return true;
    }
    return false;
}

void TSpriteLayer::SetNeedsDisplay()
{
    if (canvas_ == nullptr || !acceptsDirtyRects_)
        return;
    needsComposite_ = true;
    AppendDirtyRect(GetVisibleBounds());
    canvas_->SetNeedsDisplayInDirtyRects();
}

void TSpriteLayer::SetNeedsDisplayInRect(CGRect rect)
{
    if (canvas_ == nullptr || !acceptsDirtyRects_)
        return;
    needsComposite_ = true;
    AppendDirtyRect(rect);
    canvas_->SetNeedsDisplayInDirtyRects();
}

void TSpriteLayer::SetNeedsDisplayInSprites()
{
    if (canvas_ == nullptr || !acceptsDirtyRects_)
        return;
    needsComposite_ = true;
    for (TSprite* sprite : Snapshot(table_))
        sprite->AppendDirtyRect();
    canvas_->SetNeedsDisplayInDirtyRects();
}

void TSpriteLayer::SetNeedsDisplayInDirtyRects()
{
    if (canvas_ == nullptr)
        return;
    // The rects are kept in view space already (sprites convert theirs on
    // the way in), so they go to the view as they are; each only once.
    const CFIndex count = GetDirtyRectCount();
    for (CFIndex i = std::min(flushedCount_, count); i < count; ++i)
        canvas_->FlushUpdates(GetDirtyRect(i));
    flushedCount_ = count;
}

// ---- membership ----

void TSpriteLayer::AppendSprite(TSpriteProtocol* sprite)
{
    if (sprite != nullptr)
        static_cast<TSprite*>(sprite)->SetLayer(this);
}

void TSpriteLayer::RemoveSprite(TSpriteProtocol* sprite)
{
    if (sprite == nullptr)
        return;
    CFArrayAppendValue(destroyTable_, static_cast<TSprite*>(sprite));
    sprite->SetNeedsDisplay();
}

void TSpriteLayer::AppendViewTable(TSpriteProtocol* sprite)
{
    if (sprite != nullptr)
        CFArrayAppendValue(viewTable_, static_cast<TSprite*>(sprite));
}

void TSpriteLayer::RemoveViewTable(TSpriteProtocol* sprite)
{
    const CFIndex index = CFArrayGetFirstIndexOfValue(viewTable_, CFRangeMake(0, CFArrayGetCount(viewTable_)),
                                                      static_cast<TSprite*>(sprite));
    if (index >= 0)
        CFArrayRemoveValueAtIndex(viewTable_, index);
}

// ---- queries ----

bool TSpriteLayer::MouseTest(CGPoint, bool&)
{
    return true;
}

UInt32 TSpriteLayer::GetCountOfClass(const ClassInfo& spriteClass)
{
    UInt32 count = 0;
    for (TSprite* sprite : Snapshot(table_)) {
        if (MemberOfClass(sprite, spriteClass))
            ++count;
    }
    return count;
}

TObjectArray* TSpriteLayer::CopySpritesWithClass(const ClassInfo& spriteClass)
{
    TObjectArray* sprites = TObjectArray::Create();
    for (TSprite* sprite : Snapshot(table_)) {
        if (MemberOfClass(sprite, spriteClass))
            sprites->AppendValue(sprite);
    }
    return sprites;
}

TObjectArray* TSpriteLayer::CopyTable()
{
    TObjectArray* sprites = TObjectArray::Create();
    for (TSprite* sprite : Snapshot(table_))
        sprites->AppendValue(sprite);
    return sprites;
}

bool TSpriteLayer::IsPointObscured(CGPoint point, Float32 axis)
{
    for (TSprite* sprite : Snapshot(table_)) {
        if (sprite->GetVerticalAxis() > axis && CGRectContainsPoint(sprite->GetFrame(), point))
            return true;
    }
    return false;
}

TObjectArray* TSpriteLayer::CopySpritesObscuringPoint(CGPoint point, Float32 axis)
{
    TObjectArray* sprites = nullptr;
    for (TSprite* sprite : Snapshot(table_)) {
        if (sprite->GetVerticalAxis() > axis && CGRectContainsPoint(sprite->GetFrame(), point)) {
            if (sprites == nullptr)
                sprites = TObjectArray::Create();
            sprites->AppendValue(sprite);
        }
    }
    return sprites;
}

void TSpriteLayer::ArchiveTable(TArchiver* archiver)
{
    for (TSprite* sprite : Snapshot(table_)) {
        if (sprite->GetSupportsArchiving())
            sprite->ArchiveObject(archiver);
    }
}

void TSpriteLayer::ApplyFunction(const ClassInfo& spriteClass, const ShortString& method)
{
    for (const auto& sprite : HeldSnapshot(table_)) {
        if (&sprite->GetClass() == &spriteClass)
            sprite->InvokeMethod(method);
    }
}

void TSpriteLayer::RemoveWithClass(const ClassInfo& spriteClass)
{
    coalescing_ = true;
    for (const auto& sprite : HeldSnapshot(table_)) {
        if (MemberOfClass(sprite.get(), spriteClass))
            sprite->Remove();
    }
    if (canvas_ != nullptr)
        canvas_->ProcessLoop();
    coalescing_ = false;
}

// ---- drawing ----

CGRect TSpriteLayer::ViewRectToLayerSpace(CGRect rect)
{
    if (canvas_ == nullptr || !transformable_)
        return rect;
    const Float32 zoom = canvas_->GetZoomFactor();
    if (!(zoom > 0))
        return rect;
    const CGPoint origin = canvas_->ConvertPointToCanvas(rect.origin);
    return CGRectMake(origin.x, origin.y, rect.size.width / zoom, rect.size.height / zoom);
}

void TSpriteLayer::HandleClipContext(CGContextRef context)
{
    // The clipping bounds are the view's; the context may already draw in
    // the canvas's zoomed and scrolled space.
    CGContextClipToRect(context, ViewRectToLayerSpace(GetContextClippingBounds()));
}

bool TSpriteLayer::IsSpriteDirty(TSpriteProtocol* value)
{
    auto* sprite = static_cast<TSprite*>(value);
    const CGRect frame = sprite->GetFrameWithInset();
    if (compositing_) {
        for (const CGRect& rect : compositeRects_) {
            if (CGRectIntersectsRect(rect, frame))
                return true;
        }
        return false;
    }
    // Dirty rects are kept in view space.
    const CGRect inView = transformable_ ? canvas_->ConvertRectToView(frame) : frame;
    return canvas_->IsRectDirty(inView);
}

void TSpriteLayer::HandleDraw(CGContextRef context)
{
    if (canvas_ == nullptr || context == nullptr)
        return;
    CGContextSaveGState(context);
    transform_ = CGAffineTransformMake(zoom_, 0, 0, zoom_, -scrollOffset_.x, -scrollOffset_.y);
    CGContextConcatCTM(context, transform_);
    if (!compositing_)
        CGContextClipToRect(context, ViewRectToLayerSpace(GetSpriteClippingBounds()));
    const auto hold = TObjectRef<TSpriteLayer>::Retain(this);
    for (const auto& sprite : HeldSnapshot(viewTable_)) {
        if (IsSpriteDirty(sprite.get()))
            DrawSprite(sprite.get(), nullptr);
    }
    if (kDebugShowDirtyRects)
        DrawDirtyRects(context);
    CGContextRestoreGState(context);
}

void TSpriteLayer::DrawDirtyRects(CGContextRef context)
{
    CGContextSaveGState(context);
    CGContextSetRGBStrokeColor(context, 1, 0, 0, 1);
    CGContextSetLineWidth(context, 1.0);
    for (CFIndex i = 0; i < GetDirtyRectCount(); ++i)
        CGContextStrokeRect(context, ViewRectToLayerSpace(GetDirtyRect(i)));
    CGContextRestoreGState(context);
}

void TSpriteLayer::Draw()
{
    if (canvas_ == nullptr)
        return;
    CGContextRef context = canvas_->GetContext();
    if (context == nullptr)
        return;
    if (kind_ == 0) {
        if (!visible_)
            return;
        CGContextSaveGState(context);
        HandleClipContext(context);
        HandleDraw(context);
        CGContextRestoreGState(context);
        return;
    }
    // The cache is brought up to date and painted in the same pass.
    if (needsComposite_ || cacheLayer_ == nullptr)
        Composite();
    if (!visible_ || !composited_ || cacheLayer_ == nullptr)
        return;
    const CGSize size = CGLayerGetSize(cacheLayer_);
    CGContextSaveGState(context);
    // The cache holds the canvas top row first, like the view: drawn back
    // the right way up.
    CanvasFlipContext(context, size.height);
    CGContextDrawLayerAtPoint(context, CGPointMake(0, 0), cacheLayer_);
    CGContextRestoreGState(context);
}

void TSpriteLayer::Composite()
{
    if (canvas_ == nullptr)
        return;
    CGContextRef canvasContext = canvas_->GetContext();
    const CGSize size = canvas_->GetDestRect().size;
    bool whole = false;
    if (cacheLayer_ == nullptr || !CGSizeEqualToSize(CGLayerGetSize(cacheLayer_), size)) {
        // Made (or remade at a new size) for the context drawn into now.
        if (canvasContext == nullptr)
            return;
        CGLayerRef layer = CGLayerCreateWithContext(canvasContext, size, nullptr);
        if (layer == nullptr)
            return;
        if (cacheLayer_ != nullptr)
            CGLayerRelease(cacheLayer_);
        cacheLayer_ = layer;
        whole = true;
    }
    compositeRects_.clear();
    if (whole) {
        compositeRects_.push_back(CGRectMake(0, 0, size.width, size.height));
    } else {
        for (CFIndex i = 0; i < GetDirtyRectCount(); ++i)
            compositeRects_.push_back(CGRectIntegral(ViewRectToLayerSpace(GetDirtyRect(i))));
    }
    CGContextRef cache = CGLayerGetContext(cacheLayer_);
    canvas_->SetContext(cache);
    compositing_ = true;
    try {
        CGContextSaveGState(cache);
        CanvasFlipContext(cache, size.height);
        // Whatever was there goes first, or moved sprites leave trails.
        for (const CGRect& rect : compositeRects_)
            CanvasFillRectCopy(cache, rect);
        if (!compositeRects_.empty()) {
            CGContextClipToRects(cache, compositeRects_.data(), compositeRects_.size());
            HandleDraw(cache);
        }
        CGContextRestoreGState(cache);
    } catch (...) {
        compositing_ = false;
        canvas_->SetContext(canvasContext);
        throw;
    }
    compositing_ = false;
    compositeRects_.clear();
    canvas_->SetContext(canvasContext);
    needsComposite_ = false;
    composited_ = true;
}
