#include "SCCanvas.h"

#include <SpriteEngine/SCLayer.h>
#include <SpriteEngine/SCSprite.h>

#include <Units/Classes/TObjectRef.h>
#include <Units/Utilities/CFUtilities.h>
#include <Units/Utilities/CocoaUtilities.h>

#include <AppKit/NSScreen.h>
#include <CarbonCore/DriverServices.h>
#include <CarbonCore/MacMemory.h>
#include <Support/Diagnostics.h>

#include <QCursor>

#include <charconv>
#include <cmath>
#include <string>

BRINDLET_DEFINE_CLASS(TSpriteCanvas, TSpriteCanvasProtocol)

TSpriteCanvas* TSpriteCanvas::ActiveCanvas = nullptr;

namespace {

UInt32 LowMicroseconds()
{
    UnsignedWide now;
    Microseconds(&now);
    return now.lo;
}

TSpriteLayer* LayerAt(TArray* layers, SInt32 index)
{
    return static_cast<TSpriteLayer*>(layers->GetValue(index));
}

// The layers as they are now, each held for the walk: a hook may append
// layers or let the canvas go.
std::vector<TObjectRef<TSpriteLayer>> HeldLayers(TArray* layers)
{
    std::vector<TObjectRef<TSpriteLayer>> held;
    if (layers == nullptr)
        return held;
    for (SInt32 i = 0; i < layers->Count(); ++i)
        held.push_back(TObjectRef<TSpriteLayer>::Retain(LayerAt(layers, i)));
    return held;
}

// A reference for the length of a call to a sprite, unless the sprite is
// already being freed (its count has reached 0).
TObjectRef<TSprite> HoldSprite(TSpriteProtocol* sprite)
{
    if (sprite == nullptr || sprite->GetRetainCount() < 1)
        return nullptr;
    return TObjectRef<TSprite>::Retain(static_cast<TSprite*>(sprite));
}

// The screens hand out autoreleased objects.
class ScopedPool {
public:
    ScopedPool() : pool_(NSAutoreleasePool::newPool()) {}
    ~ScopedPool() { pool_->drain(); }
    ScopedPool(const ScopedPool&) = delete;
    ScopedPool& operator=(const ScopedPool&) = delete;

private:
    NSAutoreleasePool* pool_;
};

std::string FloatText(CGFloat value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return std::string(buffer, result.ptr);
}

}  // namespace

void CanvasEventLoop(EventLoopTimerRef, void* userData)
{
    auto* canvas = static_cast<TSpriteCanvas*>(userData);
    const auto hold = TObjectRef<TSpriteCanvas>::Retain(canvas);
    try {
        canvas->RunFrame();
    } catch (...) {
        canvas->inProcessLoop_ = false;
        Diagnostics::ReportException(std::string(canvas->ClassName()) + ".CanvasEventLoop");
    }
}

void CanvasProcessLoopTimer(EventLoopTimerRef timer, void* userData)
{
    auto* canvas = static_cast<TSpriteCanvas*>(userData);
    const auto hold = TObjectRef<TSpriteCanvas>::Retain(canvas);
    if (canvas->processLoopTimer_ == timer)
        canvas->processLoopTimer_ = nullptr;
    try {
        canvas->ProcessLoop();
    } catch (...) {
        Diagnostics::ReportException(std::string(canvas->ClassName()) + ".ProcessLoop");
    }
    RemoveEventLoopTimer(timer);
}

// ---- life cycle ----

TSpriteCanvas* TSpriteCanvas::Create(CGSize size, CanvasOptions options)
{
    TSpriteCanvas* canvas = Allocate();
    canvas->SetUpCanvas(size, options);
    canvas->Initialize();
    return canvas;
}

void TSpriteCanvas::SetUpCanvas(CGSize size, CanvasOptions options)
{
    options_ = options;
    viewRect_ = CGRectMake(0, 0, size.width, size.height);
    destRect_ = viewRect_;
}

void TSpriteCanvas::Initialize()
{
    Inherited::Initialize();
    reservedWord_ = 32;
    zoomFactor_ = 1.0f;
    if (layers_ == nullptr)
        layers_ = TObjectArray::Create();
    frameRate_ = 60;
    inputEnabled_ = true;
    paused_ = false;
    redrawMode_ = 1;
    lastFrameTicks_ = TickCount();
    timerInterval_ = 1.0 / 60.0;
    if (frameTimer_ == nullptr)
        InstallEventLoopTimer(GetCurrentEventLoop(), 0.0, timerInterval_, CanvasEventLoop, this, &frameTimer_);
}

void TSpriteCanvas::Deallocate()
{
    if (frameTimer_ != nullptr) {
        RemoveEventLoopTimer(frameTimer_);
        frameTimer_ = nullptr;
    }
    RemoveProcessLoopTimer();
    if (ActiveCanvas == this)
        ActiveCanvas = nullptr;
    // Layers or sprites that outlive the canvas must not call back into it.
    cursor_ = CanvasCursor();
    if (layers_ != nullptr) {
        for (SInt32 i = 0; i < layers_->Count(); ++i)
            LayerAt(layers_, i)->ForgetCanvas();
    }
    ReleaseObject(layers_);
    if (view_ != nullptr && IsValidControlHandle(view_)) {
        TSpriteCanvas* bound = nullptr;
        if (GetControlProperty(view_, kCanvasPropertyCreator, kCanvasPropertyData, sizeof(bound), nullptr, &bound) ==
                noErr &&
            bound == this)
            RemoveControlProperty(view_, kCanvasPropertyCreator, kCanvasPropertyData);
    }
    Inherited::Deallocate();
}

void TSpriteCanvas::SetView(ControlRef view)
{
    view_ = view;
    if (view == nullptr)
        return;
    TSpriteCanvas* self = this;
    SetControlProperty(view, kCanvasPropertyCreator, kCanvasPropertyData, sizeof(self), &self);
    TObject* viewObject = nullptr;
    if (GetControlProperty(view, kCanvasPropertyCreator, kCanvasPropertyView, sizeof(viewObject), nullptr,
                           &viewObject) == noErr &&
        TObject::IsLiveObject(viewObject)) {
        if (auto* canvasView = dynamic_cast<TSpriteCanvasViewProtocol*>(viewObject))
            canvasView->SetCanvas(this);
    }
}

// ---- layers and redisplay ----

void TSpriteCanvas::AppendLayer(TSpriteLayerProtocol* layer)
{
    if (layer == nullptr)
        return;
    layer->SetCanvas(this);
    layers_->AppendValue(layer);
}

void TSpriteCanvas::AppendDirtyRect(CGRect rect)
{
    for (SInt32 i = 0; i < layers_->Count(); ++i)
        LayerAt(layers_, i)->AppendDirtyRect(rect);
}

bool TSpriteCanvas::IsDirty()
{
    for (SInt32 i = 0; i < layers_->Count(); ++i) {
        if (LayerAt(layers_, i)->GetDirtyRectCount() > 0)
            return true;
    }
    return false;
}

bool TSpriteCanvas::IsRectDirty(CGRect rect)
{
    if (dirtyRectsLocked_)
        return true;
    // While the view paints, what it paints is what must be drawn.
    if (!CGRectIsNull(paintArea_))
        return CGRectIntersectsRect(rect, paintArea_);
    for (SInt32 i = 0; i < layers_->Count(); ++i) {
        TSpriteLayer* layer = LayerAt(layers_, i);
        if (layer->IsVisible() && layer->IsRectDirty(rect))
            return true;
    }
    return false;
}

bool TSpriteCanvas::SetLockDirtyRects(bool lock)
{
    const bool previous = dirtyRectsLocked_;
    dirtyRectsLocked_ = lock;
    return previous;
}

void TSpriteCanvas::SetNeedsDisplay()
{
    AppendDirtyRect(GetViewRect());
    SetNeedsDisplayInDirtyRects();
}

void TSpriteCanvas::SetNeedsDisplayInRect(CGRect rect)
{
    AppendDirtyRect(rect);
    SetNeedsDisplayInDirtyRects();
}

void TSpriteCanvas::SetNeedsDisplayInDirtyRects()
{
    for (SInt32 i = 0; i < layers_->Count(); ++i)
        LayerAt(layers_, i)->SetNeedsDisplayInDirtyRects();
}

void TSpriteCanvas::SetVisible(bool visible)
{
    HIViewSetVisible(view_, visible);
    SetNeedsDisplay();
}

void TSpriteCanvas::FlushUpdates(CGRect rect)
{
    HIViewSetNeedsDisplayInRect(GetView(), &rect, true);
}

bool TSpriteCanvas::IsVisible()
{
    return HIViewIsVisible(GetView());
}

bool TSpriteCanvas::IsRunning()
{
    return timerInterval_ != 0 && !IsPaused();
}

WindowRef TSpriteCanvas::GetWindow()
{
    return HIViewGetWindow(GetView());
}

void TSpriteCanvas::SetScrollBars(ControlRef horizontal, ControlRef vertical)
{
    horizontalScrollBar_ = horizontal;
    verticalScrollBar_ = vertical;
}

// ---- the frame loop ----

void TSpriteCanvas::RunFrame()
{
    if (view_ == nullptr || IsPaused())
        return;
    if (!IsVisible() && (options_ & kCanvasOptionProcessWhenHidden) == 0)
        return;
    const UInt32 now = TickCount();
    // Due when now > last + (60 / rate - 1); a rate of 0 makes the bound
    // infinite, and such a canvas processes at every tick below.
    const bool due = frameRate_ != 0 && static_cast<long double>(now) >
                                            static_cast<long double>(lastFrameTicks_) + (60.0L / frameRate_ - 1.0L);
    if (!due && !(frameRate_ == 0 || IsDirty()))
        return;
    ++statistics_.frameCount;
    lastFrameTicks_ = now;
    if (now >= statistics_.windowStart + 60) {
        statistics_.windowStart = now;
        statistics_.frameCount = 0;
    }
    inProcessLoop_ = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{inProcessLoop_};
    HandleProcessLoop();
    if (redrawMode_ == 1)
        redrawMode_ = 2;
    if (IsDirty() && !processingBeforeDraw_) {
        if (redrawMode_ == 3)
            SetNeedsDisplay();
        else if (redrawMode_ == 2)
            SetNeedsDisplayInDirtyRects();
    }
    statistics_.processStart = LowMicroseconds();
    for (const auto& layer : HeldLayers(layers_)) {
        if (!layer->IsPaused())
            layer->Process();
    }
    statistics_.processTime = LowMicroseconds() - statistics_.processStart;
}

void TSpriteCanvas::ProcessLoop()
{
    if (inProcessLoop_)
        return;
    // A frame run now answers any pending request for one.
    RemoveProcessLoopTimer();
    const auto hold = TObjectRef<TSpriteCanvas>::Retain(this);
    const bool wasPaused = paused_;
    paused_ = false;
    try {
        RunFrame();
    } catch (...) {
        paused_ = wasPaused;
        throw;
    }
    paused_ = wasPaused;
}

void TSpriteCanvas::ProcessLoop(double delay)
{
    DelayUntil(delay);
    RunCurrentEventLoop(0.0);
    ProcessLoop();
}

void TSpriteCanvas::RemoveProcessLoopTimer()
{
    if (processLoopTimer_ != nullptr) {
        RemoveEventLoopTimer(processLoopTimer_);
        processLoopTimer_ = nullptr;
    }
}

void TSpriteCanvas::SetNeedsProcessLoop()
{
    RemoveProcessLoopTimer();
    InstallEventLoopTimer(GetCurrentEventLoop(), 0.001, 0.0, CanvasProcessLoopTimer, this, &processLoopTimer_);
}

void TSpriteCanvas::ForceUpdate()
{
    ProcessLoop();
    SetNeedsDisplay();
}

void TSpriteCanvas::DelayUntil(double seconds)
{
    Delay(static_cast<unsigned long>(std::trunc(seconds * 60.0)), nullptr);
}

void TSpriteCanvas::SetPaused(bool paused)
{
    paused_ = paused;
    if (frameTimer_ != nullptr)
        SetEventLoopTimerNextFireTime(frameTimer_, paused ? kEventDurationForever : 0.0);
}

void TSpriteCanvas::PauseTimer()
{
    // What is pending is drawn before the canvas stands still.
    ProcessLoop();
    if (pauseCount_ <= 0)
        SetPaused(true);
    ++pauseCount_;
}

void TSpriteCanvas::ResumeTimer()
{
    --pauseCount_;
    if (pauseCount_ <= 0)
        SetPaused(false);
}

// ---- drawing ----

void TSpriteCanvas::Draw()
{
    if ((options_ & kCanvasOptionProcessBeforeDraw) != 0) {
        processingBeforeDraw_ = true;
        ProcessLoop();
        processingBeforeDraw_ = false;
    }
    CGContextSaveGState(context_);
    HandleDraw(GetViewRect(), context_);
    CGContextRestoreGState(context_);
    for (SInt32 i = 0; i < layers_->Count(); ++i)
        LayerAt(layers_, i)->ClearDisplayedDirtyRects();
    if (!status_.IsEmpty())
        PrintStatus();
}

void TSpriteCanvas::SetPaintArea(CGRect area)
{
    paintArea_ = area;
}

CGImageRef TSpriteCanvas::CopyImage(CGRect rect, Float32 scale)
{
    if (!(scale > 0))
        return nullptr;
    const auto hold = TObjectRef<TSpriteCanvas>::Retain(this);
    copyingImage_ = true;
    CGContextRef savedContext = context_;
    const CGRect savedPaintArea = paintArea_;
    // The bitmap holds the rect (view space at the canvas's zoom) at the
    // scale: its size is the rect's times the scale.
    Ptr buffer = nullptr;
    const CGSize size = CGSizeMake(std::ceil(rect.size.width * scale), std::ceil(rect.size.height * scale));
    CGContextRef bitmap = CanvasBitmapContextCreate(size, buffer);
    if (bitmap == nullptr) {
        copyingImage_ = false;
        return nullptr;
    }
    CanvasFillRectCopy(bitmap, CGRectMake(0, 0, size.width, size.height));
    CanvasFlipContext(bitmap, size.height);
    CGContextScaleCTM(bitmap, scale, scale);
    CGContextTranslateCTM(bitmap, -rect.origin.x, -rect.origin.y);
    CGContextClipToRect(bitmap, CGRectIntersection(rect, GetViewRect()));
    context_ = bitmap;
    paintArea_ = CGRectNull;
    const bool oldLock = SetLockDirtyRects(true);
    struct Restore {
        TSpriteCanvas* canvas;
        CGContextRef context;
        CGRect paintArea;
        bool lock;
        ~Restore()
        {
            canvas->SetLockDirtyRects(lock);
            canvas->context_ = context;
            canvas->paintArea_ = paintArea;
            canvas->copyingImage_ = false;
        }
    };
    CGImageRef image = nullptr;
    {
        const Restore restore{this, savedContext, savedPaintArea, oldLock};
        ProcessLoop();
        // The rects the screen still waits for stay: only a view's own
        // draw pass ends them.
        CGContextSaveGState(bitmap);
        HandleDraw(GetViewRect(), bitmap);
        CGContextRestoreGState(bitmap);
        image = CGBitmapContextCreateImage(bitmap);
    }
    CGContextRelease(bitmap);
    DisposePtr(buffer);
    SetNeedsDisplay();
    return image;
}

void TSpriteCanvas::HandleDraw(CGRect, CGContextRef context)
{
    transform_ = CGAffineTransformMake(zoomFactor_, 0, 0, zoomFactor_, -scrollOrigin_.x, -scrollOrigin_.y);
    for (const auto& layer : HeldLayers(layers_)) {
        if (!layer->IsVisible())
            continue;
        CGContextSaveGState(context);
        if (layer->IsTransformable())
            CGContextConcatCTM(context, transform_);
        layer->Draw();
        CGContextRestoreGState(context);
    }
}

void TSpriteCanvas::PrintStatus()
{
    CGContextSetRGBFillColor(context_, 1, 1, 1, 1);
}

// ---- the mouse state ----

void TSpriteCanvas::ClearFocus()
{
    TSpriteProtocol* focused = cursor_.focusedSprite;
    if (focused == nullptr)
        return;
    cursor_.focusedSprite = nullptr;
    const auto hold = HoldSprite(focused);
    focused->HandleFocusChanged(false);
}

void TSpriteCanvas::HandleRemoveSprite(TSpriteProtocol* sprite)
{
    if (sprite == nullptr)
        return;
    if (cursor_.focusedSprite == sprite)
        ClearFocus();
    for (TSpriteProtocol** field :
         {&cursor_.cursorSprite, &cursor_.selectedSprite, &cursor_.hoveredSprite, &cursor_.focusedSprite,
          &cursor_.dragTargetSprite, &cursor_.currentSprite, &cursor_.dragSprite}) {
        if (*field == sprite)
            *field = nullptr;
    }
}

TSpriteProtocol* TSpriteCanvas::FindSprite(CGPoint point, TSpriteLayerProtocol*& layer)
{
    layer = nullptr;
    TSprite* result = nullptr;
    for (SInt32 i = layers_->Limit(); i >= 0; --i) {
        TSpriteLayer* candidate = LayerAt(layers_, i);
        bool layerConsumes = false;
        if (candidate->GetViewTable() == nullptr || !candidate->IsVisible() ||
            !candidate->MouseTest(point, layerConsumes))
            continue;
        if (layer == nullptr)
            layer = candidate;
        CFArrayRef viewTable = candidate->GetViewTable();
        for (CFIndex j = 0; j < CFArrayGetCount(viewTable); ++j) {
            auto* sprite = static_cast<TSprite*>(const_cast<void*>(CFArrayGetValueAtIndex(viewTable, j)));
            if (!sprite->IsVisible() || sprite->IsDestroying())
                continue;
            bool spriteConsumes = false;
            if (sprite->MouseTest(point, spriteConsumes)) {
                result = sprite;
                if (spriteConsumes)
                    break;
            }
        }
        if (layerConsumes || result != nullptr)
            break;
    }
    if (result != nullptr)
        layer = result->GetLayer();
    return result;
}

TSpriteProtocol* TSpriteCanvas::FindSprite(CGPoint point)
{
    TSpriteLayerProtocol* layer = nullptr;
    return FindSprite(point, layer);
}

CGPoint TSpriteCanvas::GetMouseLocation()
{
    const QPoint global = QCursor::pos();
    const NSRect rect = NSRectFromQtRect(QRect(global, QSize(1, 1)), MainScreenFrame().size.height);
    return rect.origin;
}

void TSpriteCanvas::SimulateMouseHover()
{
    CGPoint location = GetMouseLocation();
    // To the canvas view's flipped space: y grows downwards from the top of
    // the main screen (negative above it).
    location.y = MainScreenFrame().size.height - location.y;
    const CGPoint point = ConvertPointFromScreen(location);
    TSpriteLayerProtocol* layer = nullptr;
    TSpriteProtocol* sprite = FindSprite(point, layer);
    const auto holdSprite = HoldSprite(sprite);
    TSpriteProtocol* hovered = cursor_.hoveredSprite;
    if (hovered != nullptr && hovered != sprite) {
        const auto holdHovered = HoldSprite(hovered);
        hovered->HandleMouseExited(point);
    }
    if (sprite != nullptr) {
        cursor_.simulatingHover = true;
        sprite->HandleMouseEntered(point);
        OSStatus status = kSpriteEventNotHandled;
        sprite->HandleMouseHover(point, status);
        if ((options_ & kCanvasOptionForceUpdateOnHover) != 0)
            sprite->ForceUpdate();
        cursor_.simulatingHover = false;
    } else {
        OSStatus status = kSpriteEventNotHandled;
        HandleMouseMoved(point, nullptr, nullptr, status);
    }
    // A sprite removed by its own hooks is not remembered.
    cursor_.hoveredSprite = sprite != nullptr && !sprite->IsDestroying() ? sprite : nullptr;
}

// ---- screens ----

CGRect TSpriteCanvas::BoundingScreenFrameForDevices()
{
    const ScopedPool pool;
    return NSScreenUtilities::boundingFrameForDevices();
}

CGRect TSpriteCanvas::MainScreenFrame()
{
    const ScopedPool pool;
    NSScreen* screen = NSScreen::mainScreen();
    return screen != nullptr ? screen->frame() : CGRectZero;
}

CGRect TSpriteCanvas::ScreenPositioningBounds()
{
    const ScopedPool pool;
    NSScreen* base = NSScreenUtilities::baseScreen();
    if (base == nullptr)
        return CGRectZero;
    const NSRect frame = base->frame();
    const NSRect visible = base->visibleFrame();
    // From the platform's bottom-left origin to global top-left coordinates.
    return CGRectMake(visible.origin.x, frame.size.height - (visible.origin.y + visible.size.height),
                      visible.size.width, visible.size.height);
}

// ---- status ----

void TSpriteCanvas::SetStatus(const ShortString& text)
{
    status_ = text;
}

void TSpriteCanvas::SetStatus(CFStringRef text)
{
    status_ = text != nullptr ? CFStringToPascal(text) : ShortString();
}

void TSpriteCanvas::SetStatus(CGPoint point)
{
    status_ = ShortString("x: " + FloatText(point.x) + " y: " + FloatText(point.y));
}

void TSpriteCanvas::SetStatus(CGRect rect)
{
    status_ = ShortString("x: " + FloatText(rect.origin.x) + " y: " + FloatText(rect.origin.y) +
                          " width: " + FloatText(rect.size.width) + " height: " + FloatText(rect.size.height));
}

void TSpriteCanvas::SetStatus(CFRange range)
{
    status_ = ShortString("location: " + std::to_string(range.location) + " length: " + std::to_string(range.length));
}

// ---- coordinates ----

CGRect TSpriteCanvas::TransformRect(CGRect rect)
{
    return CGRectMake(rect.origin.x * zoomFactor_ - scrollOrigin_.x, rect.origin.y * zoomFactor_ - scrollOrigin_.y,
                      rect.size.width * zoomFactor_, rect.size.height * zoomFactor_);
}

CGRect TSpriteCanvas::ConvertRectToView(CGRect rect)
{
    return TransformRect(rect);
}

CGPoint TSpriteCanvas::ConvertPointToView(CGPoint point)
{
    return CGPointMake(point.x * zoomFactor_ - scrollOrigin_.x, point.y * zoomFactor_ - scrollOrigin_.y);
}

CGPoint TSpriteCanvas::ConvertPointToCanvas(CGPoint point)
{
    return CGPointMake(point.x / zoomFactor_ + scrollOrigin_.x / zoomFactor_,
                       point.y / zoomFactor_ + scrollOrigin_.y / zoomFactor_);
}

CGRect TSpriteCanvas::ConvertRectToCanvas(CGRect rect)
{
    return CGRect{ConvertPointToCanvas(rect.origin),
                  CGSizeMake(rect.size.width / zoomFactor_, rect.size.height / zoomFactor_)};
}

CGRect TSpriteCanvas::ConvertRectToWindow(CGRect rect)
{
    rect = ConvertRectToView(rect);
    HIViewConvertRect(&rect, GetView(), nullptr);
    return rect;
}

CGPoint TSpriteCanvas::ConvertPointToWindow(CGPoint point)
{
    point = ConvertPointToView(point);
    HIViewConvertPoint(&point, GetView(), nullptr);
    return point;
}

CGPoint TSpriteCanvas::ConvertPointFromScreen(CGPoint point)
{
    HIPointConvert(&point, kHICoordSpaceScreenPixel, nullptr, kHICoordSpaceView, GetView());
    return ConvertPointToCanvas(point);
}

CGRect TSpriteCanvas::ConvertRectFromScreen(CGRect rect)
{
    HIRectConvert(&rect, kHICoordSpaceScreenPixel, nullptr, kHICoordSpaceView, GetView());
    return ConvertRectToCanvas(rect);
}

CGPoint TSpriteCanvas::ConvertPointToScreen(CGPoint point)
{
    point = ConvertPointToView(point);
    HIPointConvert(&point, kHICoordSpaceView, GetView(), kHICoordSpaceScreenPixel, nullptr);
    return point;
}

CGRect TSpriteCanvas::ConvertRectToScreen(CGRect rect)
{
    rect = ConvertRectToView(rect);
    HIRectConvert(&rect, kHICoordSpaceView, GetView(), kHICoordSpaceScreenPixel, nullptr);
    return rect;
}

// ---- subviews and scrolling ----

void TSpriteCanvas::PlaceInSuperviewAt(ControlRef subview, CGPoint point)
{
    HIViewAddSubview(view_, subview);
    HIViewPlaceInSuperviewAt(subview, point.x, point.y);
    HIRect frame = CGRectZero;
    HIViewGetFrame(subview, &frame);
    SetControlProperty(subview, kSpritePropertyCreator, kSpritePropertyRect, sizeof(frame), &frame);
    HIViewSetVisible(subview, true);
}

void TSpriteCanvas::ScrollSubviews(CGPoint offset)
{
    UInt16 count = 0;
    CountSubControls(view_, &count);
    for (UInt16 index = 1; index <= count; ++index) {
        ControlRef subview = nullptr;
        if (GetIndexedSubControl(view_, index, &subview) != noErr || subview == nullptr)
            continue;
        HIRect frame = CGRectZero;
        if (GetControlProperty(subview, kSpritePropertyCreator, kSpritePropertyRect, sizeof(frame), nullptr, &frame) !=
            noErr)
            continue;
        frame = CGRectOffset(frame, -offset.x, -offset.y);
        HIViewSetFrame(subview, &frame);
    }
}

bool TSpriteCanvas::ScrollTo(Float32 x, Float32 y)
{
    scrollOrigin_ = CGPointMake(std::trunc(x), std::trunc(y));
    bool clamped = false;
    if (scrollOrigin_.x < 0) {
        scrollOrigin_.x = 0;
        clamped = true;
    }
    if (scrollOrigin_.y < 0) {
        scrollOrigin_.y = 0;
        clamped = true;
    }
    if (scrollOrigin_.y > destRect_.size.height) {
        scrollOrigin_.y = destRect_.size.height;
        clamped = true;
    }
    if (scrollOrigin_.x > destRect_.size.width) {
        scrollOrigin_.x = destRect_.size.width;
        clamped = true;
    }
    // Subviews go where the canvas went, not where it was asked to go.
    ScrollSubviews(scrollOrigin_);
    SetNeedsDisplay();
    return clamped;
}

TObjectArray* TSpriteCanvas::CopySprites()
{
    TObjectArray* sprites = TObjectArray::Create();
    for (SInt32 i = 0; i < layers_->Count(); ++i) {
        TObjectArray* table = LayerAt(layers_, i)->CopyTable();
        sprites->AppendArray(table);
        table->Release();
    }
    return sprites;
}
