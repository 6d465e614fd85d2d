#include "SCSprite.h"

#include <SpriteEngine/SCLayer.h>

#include <Units/Classes/TObjectRef.h>
#include <Units/Classes/TPreferencesUnit.h>
#include <Units/Utilities/CGUtilities.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <CarbonCore/DriverServices.h>
#include <CarbonCore/MacMemory.h>
#include <Support/Diagnostics.h>

#include <string>
#include <vector>

BRINDLET_DEFINE_CLASS(TSprite, TSpriteProtocol)

namespace {

TSprite* AsSprite(const void* value)
{
    return static_cast<TSprite*>(const_cast<void*>(value));
}

const void* SpriteTableRetain(CFAllocatorRef, const void* value)
{
    // The table takes over the reference its creator holds.
    return value;
}

// Builds a sprite in the order every constructor keeps: the location,
// the layer, then Initialize. A failure on the way takes the half-made
// sprite down and is passed on.
template <typename Build>
TSprite* MakeSprite(CGPoint point, TSpriteLayerProtocol* layer, Build build)
{
    TSprite* sprite = TSprite::Allocate();
    try {
        sprite->SetLocation(point);
        sprite->SetLayer(layer);
        sprite->Initialize();
        build(sprite);
    } catch (...) {
        if (sprite->GetLayer() != nullptr)
            sprite->Remove();
        else
            sprite->Release();
        throw;
    }
    return sprite;
}

constexpr int kMaximumCompositePasses = 8;

// The sub-views as they are now, each held: a view's hook may change the
// sprite's views.
std::vector<TObjectRef<TSpriteView>> HeldViews(TObjectArray* views)
{
    std::vector<TObjectRef<TSpriteView>> held;
    for (void* view : *views)
        held.push_back(TObjectRef<TSpriteView>::Retain(static_cast<TSpriteView*>(view)));
    return held;
}

}  // namespace

void SpriteTableRelease(CFAllocatorRef, const void* value)
{
    TSprite* sprite = AsSprite(value);
    if (sprite->detaching_) {
        // Detached: the reference goes with the sprite to its next layer.
        sprite->detaching_ = false;
        sprite->destroying_ = false;
        return;
    }
    sprite->Release();
}

CFMutableArrayRef CreateSpriteTable()
{
    static const CFArrayCallBacks callBacks = {0, SpriteTableRetain, SpriteTableRelease, nullptr, nullptr};
    return CFArrayCreateMutable(nullptr, 0, &callBacks);
}

void ProcessSprite(const void* value, void*)
{
    TSprite* sprite = AsSprite(value);
    if (sprite == nullptr || sprite->IsDestroying())
        return;
    const auto hold = TObjectRef<TSprite>::Retain(sprite);
    sprite->HandleProcess();
}

void HitTestSprites(const void* value, void* context)
{
    TSprite* other = AsSprite(value);
    auto* subject = static_cast<TSprite*>(context);
    if (other == nullptr || subject == nullptr || other == subject)
        return;
    if (other->GetCollisionGroup() != subject->GetCollisionGroup())
        return;
    if (!(subject->GetHotRect().size.width > 0) || !(other->GetHotRect().size.width > 0))
        return;
    subject->HandleHitTesting(other);
    if (CGRectIntersectsRect(subject->GetHotRect(), other->GetHotRect()))
        subject->HandleCollision(other);
}

// ---- construction ----

TSprite* TSprite::Create(TSpriteLayerProtocol* layer)
{
    TSprite* sprite = Allocate();
    sprite->SetLayer(layer);
    sprite->Initialize();
    return sprite;
}

TSprite* TSprite::Create(CGPoint point, TSpriteLayerProtocol* layer)
{
    return MakeSprite(point, layer, [](TSprite*) {});
}

TSprite* TSprite::CreateWithFace(CGPoint point, TSpriteFace* face, TSpriteLayerProtocol* layer)
{
    return MakeSprite(point, layer, [face](TSprite* sprite) { sprite->SetFace(face); });
}

TSprite* TSprite::CreateWithImage(CGPoint point, CGImageRef image, TSpriteLayerProtocol* layer)
{
    return MakeSprite(point, layer, [image](TSprite* sprite) {
        sprite->SetImage(image);
        if (image != nullptr)
            sprite->SetSize(CGFloat(CGImageGetWidth(image)) * sprite->scale_.width,
                            CGFloat(CGImageGetHeight(image)) * sprite->scale_.height);
    });
}

TSprite* TSprite::CreateWithLayer(CGPoint point, TSpriteLayerProtocol* layer, TSpriteLayerProtocol* sourceLayer)
{
    return MakeSprite(point, layer, [sourceLayer](TSprite* sprite) { sprite->sourceLayer_ = sourceLayer; });
}

TSprite* TSprite::CreateWithGrid(CGPoint point, SInt32 cells, CGSize cellSize, TSpriteFace* face,
                                 TSpriteLayerProtocol* layer)
{
    return MakeSprite(point, layer, [=](TSprite* sprite) {
        sprite->SetFace(face);
        sprite->gridNeedsDrawing_ = true;
        sprite->gridCells_ = cells;
        sprite->gridCellSize_ = cellSize;
        // Without a canvas there is no context to match: no grid layer.
        if (sprite->canvas_ != nullptr)
            sprite->gridLayer_ = CGLayerCreateWithContext(
                sprite->canvas_->GetContext(),
                CGSizeMake(CGFloat(cells) * cellSize.width, CGFloat(cells) * cellSize.height), nullptr);
    });
}

void TSprite::Initialize()
{
    Inherited::Initialize();
    if (views_ == nullptr)
        views_ = TObjectArray::Create();
}

void TSprite::Deallocate()
{
    if (canvas_ != nullptr)
        canvas_->HandleRemoveSprite(this);
    SetNeedsDisplay();
    if (layerCache_ != nullptr) {
        CGLayerRelease(layerCache_);
        layerCache_ = nullptr;
    }
    if (gridLayer_ != nullptr) {
        CGLayerRelease(gridLayer_);
        gridLayer_ = nullptr;
    }
    SetImage(nullptr);
    ReleaseObject(face_);
    if (views_ != nullptr) {
        for (void* view : *views_)
            static_cast<TSpriteView*>(view)->SetParent(nullptr);
    }
    ReleaseObject(views_);
    Inherited::Deallocate();
}

void TSprite::CopyInstanceVariables(TObject* source)
{
    Inherited::CopyInstanceVariables(source);
    auto* other = dynamic_cast<TSprite*>(source);
    if (other == nullptr)
        return;
    SetFace(other->face_);
    SetOptions(other->options_);
    frame_ = other->frame_;
    verticalAxis_ = other->verticalAxis_;
    reservedValue_ = other->reservedValue_;
    collisionGroup_ = other->collisionGroup_;
    hotRect_ = other->hotRect_;
    frameInset_ = other->frameInset_;
    alpha_ = other->alpha_;
    blendMode_ = other->blendMode_;
    scale_ = other->scale_;
    rotation_ = other->rotation_;
    rotationCenterOffset_ = other->rotationCenterOffset_;
    displayFlagA_ = other->displayFlagA_;
    visible_ = other->visible_;
    translateToLocation_ = other->translateToLocation_;
}

// ---- redisplay ----

void TSprite::ForceUpdate()
{
    if (layer_ == nullptr)
        return;
    CGRect rect = GetFrameWithInset();
    if (canvas_ != nullptr && layer_->IsTransformable())
        rect = canvas_->ConvertRectToView(rect);
    layer_->SetNeedsDisplayInRect(rect);
}

void TSprite::SetNeedsDisplay()
{
    if (IsCanvasValid())
        AppendDirtyRect();
    if (ForceCanvasChanges())
        canvas_->SetNeedsDisplayInDirtyRects();
}

void TSprite::AppendDirtyRect(CGRect rect)
{
    if (layer_ == nullptr || canvas_ == nullptr)
        return;
    if (layer_->IsTransformable())
        rect = canvas_->ConvertRectToView(rect);
    layer_->AppendDirtyRect(rect);
}

bool TSprite::ForceCanvasChanges()
{
    return canvas_ != nullptr && layer_ != nullptr && !canvas_->IsRunning() && !layer_->IsCoalescingSpriteActions();
}

// ---- geometry ----

void TSprite::ChangeFrame(CGRect newFrame)
{
    AppendDirtyRect(CGRectUnion(newFrame, GetFrameWithInset()));
    frame_ = newFrame;
}

void TSprite::SetFrame(CGRect rect)
{
    rect = CGRectTruncate(rect);
    if (CGRectEqualToRect(rect, frame_))
        return;
    ChangeFrame(rect);
}

void TSprite::SetSize(CGSize size)
{
    size = CGSizeTruncate(size);
    if (CGSizeCompare(size, frame_.size))
        return;
    ChangeFrame(CGRect{frame_.origin, size});
}

void TSprite::SetLocation(CGPoint point)
{
    point = CGPointTruncate(point);
    if (CGPointCompare(point, frame_.origin))
        return;
    ChangeFrame(CGRect{point, frame_.size});
}

void TSprite::MoveTo(CGFloat x, CGFloat y)
{
    if (x != frame_.origin.x || y != frame_.origin.y)
        SetLocation(x, y);
}

void TSprite::ResizeBy(CGSize delta)
{
    CGRect rect = frame_;
    rect.size.width += delta.width;
    rect.size.height += delta.height;
    ChangeFrame(CGRectTruncate(ContrainLimits(rect)));
}

CGRect TSprite::ContrainLimits(CGRect rect)
{
    const CGSize maximum = GetMaximumSize();
    const CGSize minimum = GetMinimumSize();
    if (maximum.width > 0 && rect.size.width > maximum.width)
        rect.size.width = maximum.width;
    if (maximum.height > 0 && rect.size.height > maximum.height)
        rect.size.height = maximum.height;
    if (minimum.width > 0 && rect.size.width < minimum.width)
        rect.size.width = minimum.width;
    if (minimum.height > 0 && rect.size.height < minimum.height)
        rect.size.height = minimum.height;
    return rect;
}

CGRect TSprite::GetConstrainFrame()
{
    return canvas_ != nullptr ? canvas_->GetViewRect() : CGRectZero;
}

void TSprite::ConstrainHorizantally()
{
    CGRect rect = frame_;
    if (IsCanvasValid()) {
        const CGFloat limit = GetConstrainFrame().size.width;
        if (frame_.origin.x + frame_.size.width > limit)
            rect.origin.x = limit - frame_.size.width;
    }
    if (frame_.origin.x < 0)
        rect.origin.x = 0;
    SetFrame(rect);
}

void TSprite::ConstrainVertically()
{
    CGRect rect = frame_;
    if (IsCanvasValid()) {
        const CGFloat limit = GetConstrainFrame().size.height;
        if (frame_.origin.y + frame_.size.height > limit)
            rect.origin.y = limit - frame_.size.height;
    }
    if (frame_.origin.y < 0)
        rect.origin.y = 0;
    SetFrame(rect);
}

void TSprite::Constrain()
{
    ConstrainHorizantally();
    ConstrainVertically();
}

CGRect TSprite::ConvertRectToCanvas(CGRect rect) const
{
    return CGRectOffset(rect, frame_.origin.x, frame_.origin.y);
}

CGRect TSprite::ConvertRectToLocal(CGRect rect) const
{
    return CGRectOffset(rect, -frame_.origin.x, -frame_.origin.y);
}

CGPoint TSprite::ConvertPointToCanvas(CGPoint point) const
{
    return CGPointMake(point.x + frame_.origin.x, point.y + frame_.origin.y);
}

CGPoint TSprite::ConvertPointToLocal(CGPoint point) const
{
    return CGPointMake(point.x - frame_.origin.x, point.y - frame_.origin.y);
}

bool TSprite::MouseTest(CGPoint point, bool&)
{
    return HitTest(point);
}

bool TSprite::HitTest(CGPoint point)
{
    return CGRectContainsPoint(frame_, point);
}

// ---- drawing state ----

void TSprite::SetImage(CGImageRef image)
{
    if (image != nullptr)
        CGImageRetain(image);
    if (image_ != nullptr)
        CGImageRelease(image_);
    image_ = image;
}

CGImageRef TSprite::GetImage()
{
    if (image_ == nullptr && face_ != nullptr)
        SetImage(face_->GetImage(1));
    return image_;
}

void TSprite::SetFace(TSpriteFace* face)
{
    RetainObject(face_, face);
    if (face_ != nullptr) {
        frame_.size = face_->GetSize();
        hotRect_ = face_->GetHotRect();
    }
}

void TSprite::UpdateFace()
{
    ForceUpdate();
}

CGImageRef TSprite::CopyDragImage()
{
    CGImageRef image = GetImage();
    return image != nullptr ? CGImageCreateCopy(image) : nullptr;
}

void TSprite::AddDragFlavors(DragRef drag)
{
    const TSprite* self = this;
    AddDragItemFlavor(drag, 1, kSpriteDragFlavor, &self, sizeof(self), 0);
}

void TSprite::StartDrag()
{
    if (!IsCanvasValid())
        return;
    EventRef event = GetCurrentEvent();
    HIPoint mouse = kEmptyPoint;
    GetEventParameter(event, kEventParamWindowMouseLocation, typeHIPoint, nullptr, sizeof(mouse), nullptr, &mouse);
    mouse = canvas_->ConvertPointToCanvas(mouse);
    DragRef drag = nullptr;
    if (NewDrag(&drag) != noErr)
        return;
    AddDragFlavors(drag);
    CGImageRef image = CopyDragImage();
    if (image != nullptr) {
        const HIPoint offset = CGPointMake(frame_.origin.x - mouse.x, frame_.origin.y - mouse.y);
        Err = SetDragImageWithCGImage(drag, image, &offset, 0);
        EventRecord record;
        if (ConvertEventRefToEventRecord(event, &record)) {
            RgnHandle region = NewRgn();
            TrackDrag(drag, &record, region);
            DisposeRgn(region);
        }
        CGImageRelease(image);
    }
    // The drag is ours to end, tracked or not.
    DisposeDrag(drag);
}

// ---- drawing ----

void DrawSprite(const void* value, void*)
{
    TSprite* sprite = AsSprite(value);
    if (sprite == nullptr || !sprite->IsVisible() || sprite->canvas_ == nullptr)
        return;
    CGContextRef context = sprite->canvas_->GetContext();
    if (context == nullptr)
        return;
    const auto hold = TObjectRef<TSprite>::Retain(sprite);
    CGContextSaveGState(context);
    sprite->ApplyDisplayProperties(context);
    if (!CGRectEqualToRect(sprite->frame_, sprite->lastDrawnFrame_) && sprite->initialStateDone_)
        sprite->HandleFrameChanged(sprite->lastDrawnFrame_);
    sprite->HandleDraw(context);
    if (sprite->redisplayAfterDraw_) {
        sprite->SetNeedsDisplay();
        sprite->redisplayAfterDraw_ = false;
    }
    if (kDebugShowSpriteFrames || kDebugShowSpriteHotRects) {
        CGContextSetShouldAntialias(context, false);
        CGContextSetRGBStrokeColor(context, 0, 0, 1, 1);
        if (kDebugShowSpriteFrames)
            CGContextStrokeRect(context, sprite->GetBounds());
        if (kDebugShowSpriteHotRects)
            CGContextStrokeRect(context, sprite->hotRect_);
        CGContextSetShouldAntialias(context, true);
    }
    sprite->lastDrawnFrame_ = sprite->frame_;
    sprite->drawnState_ = false;
    CGContextRestoreGState(context);
}

void TSprite::ApplyDisplayProperties(CGContextRef context)
{
    CGAffineTransform transform = translateToLocation_
                                      ? CGAffineTransformMakeTranslation(frame_.origin.x, frame_.origin.y)
                                      : CGAffineTransformMakeTranslation(0, 0);
    transform = CGAffineTransformScale(transform, scale_.width, scale_.height);
    CGContextSetAlpha(context, alpha_);
    CGContextSetBlendMode(context, blendMode_);
    if (rotation_ != 0) {
        const CGPoint pivot = CGPointMake(frame_.size.width / 2.0 + rotationCenterOffset_.x,
                                          frame_.size.height / 2.0 + rotationCenterOffset_.y);
        transform = CGAffineTransformTranslate(transform, pivot.x, pivot.y);
        transform = CGAffineTransformRotate(transform, DegreesToRadians(rotation_));
        transform = CGAffineTransformTranslate(transform, -pivot.x, -pivot.y);
    }
    CGContextConcatCTM(context, transform);
}

void TSprite::HandleDraw(CGContextRef context)
{
    try {
        if (needsComposite_ || compositeOffscreen_)
            CompositeImage();
        if (face_ != nullptr || image_ != nullptr) {
            CGContextSaveGState(context);
            if (views_ != nullptr) {
                for (const auto& view : HeldViews(views_)) {
                    if (!view->IsHidden())
                        view->HandleDraw(context);
                }
            }
            if (CGImageRef image = GetImage()) {
                // The bounds with the inset's size, from the origin.
                CGRect rect = CGRectInset(GetBounds(), frameInset_.width, frameInset_.height);
                rect = CGRectOffset(rect, -rect.origin.x, -rect.origin.y);
                HandleDrawImage(image, rect, context);
            }
            if (compositeOffscreen_) {
                SetNeedsComposite();
                compositeOffscreen_ = false;
            }
            CGContextRestoreGState(context);
        }
        if (!initialStateDone_) {
            HandleInitialState();
            initialStateDone_ = true;
        }
    } catch (...) {
        Diagnostics::ReportException(std::string(ClassName()) + ".HandleDraw");
    }
}

void TSprite::CompositeImage()
{
    try {
        if (IsDestroying())
            return;
        needsComposite_ = false;
        SetImage(nullptr);
        // One drawing, one reading of the preferences: the rows of a card ask
        // for the same few settings each.
        const TPreferenceReading reading;
        CGContextRef context = nullptr;
        Ptr buffer = nullptr;
        bool again = false;
        // A hook that asks for another pass every time gets a few, not a
        // hung program.
        int passes = 0;
        do {
            again = false;
            const CGRect rect = CGRectTruncate(GetFrameWithInset());
            if (!(rect.size.width > 0) || !(rect.size.height > 0))
                return;
            context = CanvasBitmapContextCreate(rect.size, buffer);
            if (context == nullptr)
                return;
            CanvasFlipContext(context, rect.size.height);
            CanvasFillRectCopy(context, CGRectMake(0, 0, rect.size.width, rect.size.height));
            // A hook that resizes the sprite asks for another pass, drawn at
            // the size it set.
            HandleDrawComposite(context, again, GetFrame());
            if (again && ++passes < kMaximumCompositePasses) {
                CGContextRelease(context);
                DisposePtr(buffer);
                context = nullptr;
                buffer = nullptr;
            } else {
                again = false;
            }
        } while (again);
        CGImageRef image = CGBitmapContextCreateImage(context);
        SetImage(image);
        CGImageRelease(image);
        CGContextRelease(context);
        DisposePtr(buffer);
    } catch (...) {
        Diagnostics::ReportException(std::string(ClassName()) + ".CompositeImage");
    }
}

CGImageRef TSprite::CopyImage(CGSize size)
{
    Ptr buffer = nullptr;
    CGContextRef context = CanvasBitmapContextCreate(size, buffer);
    if (context == nullptr)
        return nullptr;
    size = CGSizeTruncate(size);
    CanvasFillRectCopy(context, CGRectMake(0, 0, size.width, size.height));
    CanvasFlipContext(context, size.height);
    const CGRect savedFrame = frame_;
    frame_ = CGRectMake(0, 0, size.width, size.height);
    copyingImage_ = true;
    if (IsVisible()) {
        CGContextSaveGState(context);
        HandleDraw(context);
        CGContextRestoreGState(context);
    }
    copyingImage_ = false;
    frame_ = savedFrame;
    CGImageRef image = CGBitmapContextCreateImage(context);
    CGContextRelease(context);
    DisposePtr(buffer);
    return image;
}

CGImageRef TSprite::CopyImage()
{
    return CopyImage(GetSize());
}

void TSprite::HandleDrawComposite(CGContextRef context, bool& again, CGRect frame)
{
    if (views_ == nullptr)
        return;
    for (void* value : *views_) {
        auto* view = static_cast<TSpriteView*>(value);
        if (!view->IsHidden())
            view->HandleDrawComposite(context, again, frame);
    }
}

void TSprite::HandleDrawImage(CGImageRef image, CGRect rect, CGContextRef context)
{
    CanvasDrawImage(context, rect, image);
    if (views_ == nullptr)
        return;
    for (const auto& view : HeldViews(views_)) {
        if (!view->IsHidden())
            view->HandleDrawImage(image, rect, context);
    }
}

// ---- order and state ----

void TSprite::SetVerticalAxis(Float32 axis)
{
    if (axis == verticalAxis_)
        return;
    SetNeedsDisplay();
    verticalAxis_ = axis;
}

void TSprite::AlignVerticalAxis()
{
    SetVerticalAxis(Float32(frame_.origin.y + frame_.size.height));
}

void TSprite::HandleAction()
{
    if ((options_ & kSpriteOptionAlignVerticalAxis) != 0)
        AlignVerticalAxis();
}

void TSprite::SetVisible(bool visible)
{
    if (visible == visible_)
        return;
    visible_ = visible;
    HandleVisibilityChanged(visible);
    SetNeedsDisplay();
}

void TSprite::GiveFocus()
{
    if (!IsCanvasValid()) {
        Diagnostics::WriteLine("Warning: Can't give sprite focus until appended to layer.");
        return;
    }
    if (canvas_->GetCursor().focusedSprite == this)
        return;
    canvas_->ClearFocus();
    canvas_->SetFocusedSprite(this);
    HandleFocusChanged(true);
}

bool TSprite::IsFocused()
{
    return IsCanvasValid() && canvas_->GetCursor().focusedSprite == this;
}

bool TSprite::IsSelected()
{
    return IsCanvasValid() && canvas_->GetCursor().selectedSprite == this;
}

void TSprite::SetMoving(bool moving)
{
    moving_ = moving;
    SetHidden(moving);
    SetNeedsDisplay();
}

void TSprite::SetAnimator(TSpriteAnimatorProtocol* animator)
{
    // Stopping the animator that is being set again would free it while
    // it starts.
    if (animator == animator_)
        return;
    if (animator_ != nullptr && animator != nullptr) {
        TSpriteAnimatorProtocol* old = animator_;
        animator_ = nullptr;
        old->Stop();
    }
    animator_ = animator;
}

WindowRef TSprite::GetWindow() const
{
    return canvas_ != nullptr ? canvas_->GetWindow() : nullptr;
}

void TSprite::HandleMouseDown(CGPoint point, SInt32, OSStatus&)
{
    mouseDownPoint_ = point;
    pressed_ = true;
}

void TSprite::HandleMouseUp(CGPoint point, OSStatus& status)
{
    if (moving_)
        SetMoving(false);
    // Only the sprite that took the press can be clicked: a release over
    // another one says nothing of its own, older, mouse-down point.
    TSpriteProtocol* selected = canvas_ != nullptr ? canvas_->GetCursor().selectedSprite : nullptr;
    const bool tookPress = pressed_ && (selected == nullptr || selected == this);
    pressed_ = false;
    if (tookPress && CGPointIsEqual(point, mouseDownPoint_))
        HandleMouseClicked(point, status);
}

// ---- the frame ----

void TSprite::HandleProcessTimer(SpriteTimerPointer timer)
{
    if (timer == nullptr)
        return;
    ++timer->frames;
    const UInt32 now = TickCount();
    if (now > timer->ticks + 60) {
        timer->frames = 0;
        timer->ticks = now;
    }
}

void TSprite::HandleProcess()
{
    HandleAction();
    UpdateViewTable();
    if (layer_ == nullptr)
        return;
    // By index: a collision hook may add sprites to the view table.
    CFArrayRef viewTable = layer_->GetViewTable();
    for (CFIndex i = 0; i < CFArrayGetCount(viewTable); ++i)
        HitTestSprites(CFArrayGetValueAtIndex(viewTable, i), this);
}

void TSprite::UpdateViewTable()
{
    if (layer_ == nullptr || layer_->GetViewTable() == nullptr)
        return;
    bool belongs = layer_->GetKind() != 0;
    if (!belongs && canvas_ != nullptr) {
        // Both sides in view space (a window offset moves both alike).
        const CGRect frame = layer_->IsTransformable() ? canvas_->ConvertRectToView(frame_) : frame_;
        belongs = CGRectIntersectsRect(frame, layer_->GetVisibleBounds());
    }
    if (belongs && !inViewTable_)
        layer_->AppendViewTable(this);
    else if (!belongs && inViewTable_)
        layer_->RemoveViewTable(this);
    inViewTable_ = belongs;
}

// ---- layer membership ----

void TSprite::SetLayer(TSpriteLayerProtocol* layer)
{
    if (layer == nullptr || layer->GetCanvas() == nullptr) {
        Diagnostics::WriteLine("Warning: Attempting to set a sprite layer which has no canvas assigned.");
        return;
    }
    if (layer_ != nullptr && !destroying_) {
        // Still owned by another layer's table: the reference moves along.
        if (layer == layer_)
            return;
        Detach();
        if (!detaching_ && layer_ != nullptr)
            return;  // the old layer kept it
    }
    layer_ = layer;
    inViewTable_ = false;
    canvas_ = layer->GetCanvas();
    if (layer->GetTable() != nullptr)
        AppendTable(const_cast<CFMutableArrayRef>(layer->GetTable()));
    if (layer->GetViewTable() != nullptr)
        UpdateViewTable();
    if (ForceCanvasChanges())
        canvas_->ProcessLoop();
}

void TSprite::AppendTable(CFMutableArrayRef table)
{
    if (table != nullptr)
        CFArrayAppendValue(table, this);
}

void TSprite::Remove()
{
    // A sprite already on its way out is in its layer's destroy table: a
    // second removal in the same frame must not purge it twice.
    if (destroying_)
        return;
    if (!HandleRemoving()) {
        detaching_ = false;
        return;
    }
    if (layer_ == nullptr) {
        Release();
        return;
    }
    destroying_ = true;
    layer_->RemoveSprite(this);
    if (ForceCanvasChanges())
        canvas_->ProcessLoop();
}

void TSprite::Detach()
{
    // Off no layer there is nothing to leave, and Remove would free it.
    if (layer_ == nullptr || destroying_)
        return;
    detaching_ = true;
    Remove();
}

void TSprite::ForgetLayer()
{
    layer_ = nullptr;
    canvas_ = nullptr;
    inViewTable_ = false;
}

// ---- sub-views ----

void TSprite::AppendView(TSpriteView* view)
{
    if (views_ == nullptr)
        views_ = TObjectArray::Create();
    views_->AppendValue(view);
}

void TSprite::SetView(TSpriteView* view)
{
    RemoveViews();
    AppendView(view);
}

TSpriteView* TSprite::GetView(SInt32 index) const
{
    return views_ != nullptr ? static_cast<TSpriteView*>(views_->GetValue(index)) : nullptr;
}

void TSprite::RemoveViews()
{
    if (views_ != nullptr)
        views_->RemoveAll();
}
