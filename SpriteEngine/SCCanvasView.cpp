#include "SCCanvasView.h"

#include <SpriteEngine/Additions/SCPane.h>
#include <SpriteEngine/Additions/SCTextField.h>
#include <SpriteEngine/SCLayer.h>
#include <SpriteEngine/SCSprite.h>

#include <ApplicationFramework/Classes/TDragUnit.h>
#include <Units/Classes/TObjectRef.h>
#include <Units/Classes/TTimerUnit.h>

#include <CarbonCore/DriverServices.h>
#include <HIToolbox/Drag.h>
#include <HIToolbox/HITheme.h>
#include <HIToolbox/Menus.h>
#include <Support/Diagnostics.h>

#include <QCursor>
#include <QGuiApplication>

#include <cmath>
#include <string>
#include <vector>

BRINDLET_DEFINE_CLASS(TSpriteCanvasView, TSpriteCanvasViewProtocol)

TSpriteCanvasView* TSpriteCanvasView::CurrentCanvasView = nullptr;

namespace {

constexpr double kDragTimerInterval = 1.0 / 60.0;
constexpr SInt32 kWheelStep = 20;

TSprite* AsSprite(TSpriteProtocol* sprite)
{
    return static_cast<TSprite*>(sprite);
}

// A reference for the length of a call to a sprite (none for one already
// being freed).
TObjectRef<TSprite> HoldSprite(TSpriteProtocol* sprite)
{
    if (sprite == nullptr || sprite->GetRetainCount() < 1)
        return nullptr;
    return TObjectRef<TSprite>::Retain(AsSprite(sprite));
}

template <typename T>
T Parameter(EventRef event, EventParamName name, EventParamType type, T fallback = T())
{
    T value = fallback;
    GetEventParameter(event, name, type, nullptr, sizeof(value), nullptr, &value);
    return value;
}

bool HasParameter(EventRef event, EventParamName name)
{
    return GetEventParameter(event, name, typeWildCard, nullptr, 0, nullptr, nullptr) == noErr;
}

UInt32 LowMicroseconds()
{
    UnsignedWide now;
    Microseconds(&now);
    return now.lo;
}

const EventTypeSpec kCanvasViewEvents[] = {
    {kEventClassControl, kEventControlInitialize},    {kEventClassControl, kEventControlDraw},
    {kEventClassControl, kEventControlBoundsChanged}, {kEventClassControl, kEventControlDragEnter},
    {kEventClassControl, kEventControlDragWithin},    {kEventClassControl, kEventControlDragLeave},
    {kEventClassControl, kEventControlDragReceive},   {kEventClassControl, kEventControlContextualMenuClick},
};

}  // namespace

OSStatus CanvasWindowHandler(EventHandlerCallRef callRef, EventRef event, void* userData);
OSStatus CanvasApplicationMouseHandler(EventHandlerCallRef, EventRef event, void* userData);

OSStatus CanvasViewHandler(EventHandlerCallRef, EventRef event, void* userData)
{
    const UInt32 eventClass = GetEventClass(event);
    const UInt32 kind = GetEventKind(event);
    if (eventClass == kEventClassHIObject && kind == kEventHIObjectConstruct) {
        HIObjectRef object = nullptr;
        GetEventParameter(event, kEventParamHIObjectInstance, typeHIObjectRef, nullptr, sizeof(object), nullptr,
                          &object);
        TSpriteCanvasView* canvasView = TSpriteCanvasView::Create(object);
        TObject* stored = canvasView;
        SetControlProperty(object, kCanvasPropertyCreator, kCanvasPropertyView, sizeof(stored), &stored);
        void* instance = canvasView;
        return SetEventParameter(event, kEventParamHIObjectInstance, typeVoidPtr, sizeof(instance), &instance);
    }
    auto* canvasView = static_cast<TSpriteCanvasView*>(userData);
    if (canvasView == nullptr)
        return eventNotHandledErr;
    TSpriteCanvas::ActiveCanvas = canvasView->canvas_;
    OSStatus result = eventNotHandledErr;
    try {
        if (eventClass == kEventClassHIObject) {
            if (kind == kEventHIObjectInitialize) {
                SetControlDragTrackingEnabled(canvasView->view_, true);
                return noErr;
            }
            if (kind == kEventHIObjectDestruct) {
                canvasView->RemoveHandlers();
                canvasView->EndDragTimer();
                if (ControlRef view = canvasView->view_) {
                    if (IsValidControlHandle(view))
                        RemoveControlProperty(view, kCanvasPropertyCreator, kCanvasPropertyView);
                }
                canvasView->Release();
                return noErr;
            }
            return eventNotHandledErr;
        }
        const auto hold = TObjectRef<TSpriteCanvasView>::Retain(canvasView);
        switch (kind) {
        case kEventControlInitialize: {
            UInt32 features = 0;
            GetEventParameter(event, kEventParamControlFeatures, typeUInt32, nullptr, sizeof(features), nullptr,
                              &features);
            features |= kControlSupportsDragAndDrop | kControlSupportsEmbedding | kControlGetsFocusOnClick;
            SetEventParameter(event, kEventParamControlFeatures, typeUInt32, sizeof(features), &features);
            SetControlDragTrackingEnabled(canvasView->view_, true);
            result = noErr;
            break;
        }
        case kEventControlDraw:
            result = canvasView->HandleDrawControl(event);
            break;
        case kEventControlBoundsChanged:
            canvasView->HandleBoundsChanged();
            break;
        case kEventControlContextualMenuClick:
            if (canvasView->canvas_ != nullptr &&
                (canvasView->canvas_->GetOptions() & kCanvasOptionContextualFromMouseDown) == 0)
                canvasView->HandleContextualMenuClick(event, result);
            break;
        case kEventControlDragEnter:
            result = canvasView->HandleAcceptDrag(event);
            break;
        case kEventControlDragWithin:
            result = canvasView->HandleTrackDragWithinView(event);
            break;
        case kEventControlDragLeave:
            canvasView->HandleDragLeave(event);
            break;
        case kEventControlDragReceive:
            result = canvasView->HandleReceiveDrag(event);
            break;
        default:
            break;
        }
    } catch (...) {
        Diagnostics::ReportException("CanvasViewHandler");
    }
    return result;
}

void CanvasViewRegisterClass()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    HIObjectRegisterSubclass(kCanvasViewClassID, CFSTR("com.apple.hiview"), 0, CanvasViewHandler,
                             sizeof(kCanvasViewEvents) / sizeof(kCanvasViewEvents[0]), kCanvasViewEvents, nullptr,
                             nullptr);
}

OSStatus CanvasViewCreate(const HIRect& frame, HIViewRef* outView)
{
    CanvasViewRegisterClass();
    EventRef init = nullptr;
    CreateEvent(nullptr, kEventClassHIObject, kEventHIObjectInitialize, 0, 0, &init);
    SetEventParameter(init, kEventParamBounds, typeHIRect, sizeof(frame), &frame);
    const OSStatus status = HIObjectCreate(kCanvasViewClassID, init, outView);
    ReleaseEvent(init);
    return status;
}

// ---- the object ----

TSpriteCanvasView* TSpriteCanvasView::Create(ControlRef view)
{
    TSpriteCanvasView* canvasView = Allocate();
    canvasView->view_ = view;
    CurrentCanvasView = canvasView;
    canvasView->Initialize();
    return canvasView;
}

void TSpriteCanvasView::Initialize()
{
    Inherited::Initialize();
    const EventTypeSpec moved = {kEventClassMouse, kEventMouseMoved};
    InstallApplicationEventHandler(CanvasApplicationMouseHandler, 1, &moved, this, &applicationMouseHandler_);
}

void TSpriteCanvasView::Deallocate()
{
    RemoveHandlers();
    EndDragTimer();
    if (CurrentCanvasView == this)
        CurrentCanvasView = nullptr;
    TSpriteCanvas* canvas = canvas_;
    canvas_ = nullptr;
    if (canvas != nullptr) {
        if (TSpriteCanvas::ActiveCanvas == canvas)
            TSpriteCanvas::ActiveCanvas = nullptr;
        canvas->SetContext(nullptr);
        canvas->Release();
    }
    Inherited::Deallocate();
}

void TSpriteCanvasView::SetCanvas(TSpriteCanvasProtocol* canvas)
{
    auto* spriteCanvas = dynamic_cast<TSpriteCanvas*>(canvas);
    if (spriteCanvas == canvas_)
        return;
    if (spriteCanvas != nullptr)
        spriteCanvas->Retain();
    TSpriteCanvas* old = canvas_;
    canvas_ = spriteCanvas;
    if (old != nullptr) {
        old->SetContext(nullptr);
        old->Release();
    }
    if (canvas_ != nullptr)
        HandleBoundsChanged();
}

TSpriteCanvasView* TSpriteCanvasView::CanvasGetView(TSpriteCanvasProtocol* canvas)
{
    if (canvas == nullptr || canvas->GetView() == nullptr)
        return nullptr;
    TObject* object = nullptr;
    if (GetControlProperty(canvas->GetView(), kCanvasPropertyCreator, kCanvasPropertyView, sizeof(object), nullptr,
                           &object) != noErr ||
        !TObject::IsLiveObject(object))
        return nullptr;
    return dynamic_cast<TSpriteCanvasView*>(object);
}

void TSpriteCanvasView::SetTrackingHilite(bool hilite)
{
    if (canvas_ != nullptr)
        canvas_->SetTrackingHilite(hilite);
}

void TSpriteCanvasView::HandleBoundsChanged()
{
    if (canvas_ == nullptr)
        return;
    HIRect bounds = CGRectZero;
    HIViewGetBounds(view_, &bounds);
    canvas_->SetViewRect(bounds);
    if ((canvas_->GetOptions() & kCanvasOptionDestRectFollowsView) != 0)
        canvas_->SetDestRect(bounds);
}

OSStatus TSpriteCanvasView::HandleDrawControl(EventRef event)
{
    if (canvas_ == nullptr)
        return noErr;
    CGContextRef context = nullptr;
    GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof(context), nullptr, &context);
    if (context == nullptr)
        return noErr;
    const auto hold = TObjectRef<TSpriteCanvas>::Retain(canvas_);
    HIRect bounds = CGRectZero;
    HIViewGetBounds(view_, &bounds);
    canvas_->SetViewRect(bounds);
    const CGRect area = CGRectIntegral(CGRectIntersection(CGContextGetClipBoundingBox(context), bounds));
    if (CGRectIsEmpty(area))
        return noErr;
    CGContextSaveGState(context);
    CGContextClipToRect(context, area);
    // The window cleared what it found invalid, but the area is its
    // bounding box: the rest of the box is cleared too, or translucent
    // sprites there would be drawn over themselves.
    WindowAttributes attributes = 0;
    WindowRef window = HIViewGetWindow(view_);
    const bool opaque = window != nullptr && GetWindowAttributes(window, &attributes) == noErr &&
                        (attributes & kWindowNoTitleBarAttribute) == 0;
    if (opaque)
        CanvasFillRectCopy(context, area, 1, 1, 1, 1);
    else
        CanvasFillRectCopy(context, area);
    if (windowHandler_ == nullptr)
        InstallWindowHandlers();
    canvas_->SetContext(context);
    canvas_->SetPaintArea(area);
    const UInt32 start = LowMicroseconds();
    try {
        canvas_->Draw();
    } catch (...) {
        Diagnostics::ReportException(std::string(canvas_->ClassName()) + ".Draw");
    }
    canvas_->SetDrawTime(LowMicroseconds() - start);
    canvas_->SetPaintArea(CGRectNull);
    if (canvas_->GetTrackingHilite()) {
        CGContextSaveGState(context);
        CGContextSetLineWidth(context, 8.0);
        CGContextSetAlpha(context, 0.6);
        HIThemeSetStroke(kThemeBrushPrimaryHighlightColor, nullptr, context, kHIThemeOrientationNormal);
        CGContextStrokeRect(context, canvas_->GetViewRect());
        CGContextRestoreGState(context);
    }
    CGContextRestoreGState(context);
    // The window's context lives only for this pass.
    canvas_->SetContext(nullptr);
    return noErr;
}

// ---- handlers ----

OSStatus CanvasWindowHandler(EventHandlerCallRef callRef, EventRef event, void* userData)
{
    auto* canvasView = static_cast<TSpriteCanvasView*>(userData);
    TSpriteCanvas::ActiveCanvas = canvasView->canvas_;
    OSStatus result = eventNotHandledErr;
    if (canvasView->canvas_ == nullptr)
        return result;
    const auto holdView = TObjectRef<TSpriteCanvasView>::Retain(canvasView);
    const auto holdCanvas = TObjectRef<TSpriteCanvas>::Retain(canvasView->canvas_);
    try {
        const UInt32 eventClass = GetEventClass(event);
        if (eventClass == kEventClassKeyboard) {
            if (canvasView->canvas_->IsInputEnabled())
                canvasView->HandleKeyboardEvents(event, result);
        } else if (eventClass == kEventClassMouse) {
            canvasView->HandleMouseEvents(event, result);
        }
        if (canvasView->canvas_ != nullptr && canvasView->canvas_->IsInputEnabled())
            canvasView->canvas_->HandleEvent(callRef, event, GetEventKind(event), eventClass, result);
    } catch (...) {
        Diagnostics::ReportException("CanvasWindowHandler");
    }
    return result;
}

OSStatus CanvasApplicationMouseHandler(EventHandlerCallRef, EventRef event, void* userData)
{
    auto* canvasView = static_cast<TSpriteCanvasView*>(userData);
    OSStatus result = eventNotHandledErr;
    if (canvasView->canvas_ == nullptr)
        return result;
    TSpriteCanvas::ActiveCanvas = canvasView->canvas_;
    const auto holdView = TObjectRef<TSpriteCanvasView>::Retain(canvasView);
    const auto holdCanvas = TObjectRef<TSpriteCanvas>::Retain(canvasView->canvas_);
    try {
        canvasView->HandleMouseEvents(event, result);
    } catch (...) {
        Diagnostics::ReportException("CanvasApplicationMouseHandler");
    }
    return result;
}

namespace {

OSErr AcceptEveryTrackingMessage(DragTrackingMessage, WindowRef, void*, DragRef)
{
    return noErr;
}

OSErr CanvasDragInput(Point* mouse, SInt16*, void* refCon, DragRef drag)
{
    auto* canvas = static_cast<TSpriteCanvas*>(refCon);
    if (canvas == nullptr || mouse == nullptr || !TObject::IsLiveObject(canvas))
        return noErr;
    TSpriteCanvasView* canvasView = TSpriteCanvasView::CanvasGetView(canvas);
    if (canvasView == nullptr)
        return noErr;
    CGPoint point = CGPointMake(mouse->h, mouse->v);
    HIPointConvert(&point, kHICoordSpaceScreenPixel, nullptr, kHICoordSpaceView, canvas->GetView());
    point = canvas->ConvertPointToCanvas(point);
    TSpriteLayerProtocol* layer = nullptr;
    if (canvasView->FindSpriteAtLocation(point, layer) != nullptr)
        return noErr;
    CanvasCursor& cursor = canvas->CursorState();
    if (TSpriteProtocol* target = cursor.dragTargetSprite) {
        cursor.dragTargetSprite = nullptr;
        const auto hold = HoldSprite(target);
        const auto wrapped = TObjectRef<TDrag>::Adopt(TDrag::Create(drag));
        AsSprite(target)->HandleDragLeave(wrapped.get());
        target->ForceUpdate();
    }
    return noErr;
}

}  // namespace

void CanvasTrackDragTransparent(DragRef drag, TSpriteCanvas* canvas)
{
    SetDragInputProc(drag, CanvasDragInput, canvas);
}

void TSpriteCanvasView::InstallWindowHandlers()
{
    WindowRef window = HIViewGetWindow(view_);
    if (window == nullptr)
        return;
    SetAutomaticControlDragTrackingEnabledForWindow(window, true);
    InstallTrackingHandler(AcceptEveryTrackingMessage, window, this);
    static const EventTypeSpec events[] = {
        {kEventClassMouse, kEventMouseDown},     {kEventClassMouse, kEventMouseUp},
        {kEventClassMouse, kEventMouseDragged},  {kEventClassMouse, kEventMouseWheelMoved},
        {kEventClassKeyboard, kEventRawKeyDown}, {kEventClassKeyboard, kEventRawKeyRepeat},
    };
    InstallEventHandler(GetWindowEventTarget(window), CanvasWindowHandler, sizeof(events) / sizeof(events[0]), events,
                        this, &windowHandler_);
    handlerWindow_ = window;
}

void TSpriteCanvasView::RemoveHandlers()
{
    if (windowHandler_ != nullptr) {
        RemoveEventHandler(windowHandler_);
        windowHandler_ = nullptr;
    }
    if (handlerWindow_ != nullptr) {
        RemoveTrackingHandler(AcceptEveryTrackingMessage, handlerWindow_);
        handlerWindow_ = nullptr;
    }
    if (applicationMouseHandler_ != nullptr) {
        RemoveEventHandler(applicationMouseHandler_);
        applicationMouseHandler_ = nullptr;
    }
}

// ---- mouse ----

TSpriteProtocol* TSpriteCanvasView::FindSpriteAtLocation(CGPoint point, TSpriteLayerProtocol*& layer)
{
    layer = nullptr;
    return canvas_ != nullptr ? canvas_->FindSprite(point, layer) : nullptr;
}

CGPoint TSpriteCanvasView::WindowPointToCanvas(CGPoint point)
{
    HIViewConvertPoint(&point, nullptr, view_);
    return canvas_->ConvertPointToCanvas(point);
}

void TSpriteCanvasView::HoverExit(CGPoint point)
{
    CanvasCursor& cursor = canvas_->CursorState();
    if (TSpriteProtocol* hovered = cursor.hoveredSprite) {
        cursor.hoveredSprite = nullptr;
        const auto hold = HoldSprite(hovered);
        hovered->HandleMouseExited(point);
    }
    cursor.hoveredSprite = nullptr;
    cursor.currentSprite = nullptr;
    canvas_->HandleMouseExited(point);
}

void TSpriteCanvasView::HandleMouseEvents(EventRef event, OSStatus& result)
{
    if (canvas_ == nullptr || view_ == nullptr)
        return;
    const UInt32 kind = GetEventKind(event);
    const auto holdCanvas = TObjectRef<TSpriteCanvas>::Retain(canvas_);
    WindowRef canvasWindow = canvas_->GetWindow();
    WindowRef window = Parameter<WindowRef>(event, kEventParamWindowRef, typeWindowRef, nullptr);
    // Where the mouse is: in the window (content coordinates) and on the screen.
    CGPoint windowPoint = kEmptyPoint;
    CGPoint screenPoint = kEmptyPoint;
    if (HasParameter(event, kEventParamWindowMouseLocation)) {
        windowPoint = Parameter<HIPoint>(event, kEventParamWindowMouseLocation, typeHIPoint);
        screenPoint = Parameter<HIPoint>(event, kEventParamMouseLocation, typeHIPoint, windowPoint);
    } else {
        screenPoint = Parameter<HIPoint>(event, kEventParamMouseLocation, typeHIPoint);
        windowPoint = screenPoint;
        HIPointConvert(&windowPoint, kHICoordSpaceScreenPixel, nullptr, kHICoordSpaceWindow, canvasWindow);
    }
    if (window != nullptr && window != canvasWindow) {
        if (kind == kEventMouseMoved)
            HoverExit(screenPoint);
        return;
    }
    CGPoint viewPoint = windowPoint;
    HIViewConvertPoint(&viewPoint, nullptr, view_);
    HIRect bounds = CGRectZero;
    HIViewGetBounds(view_, &bounds);
    const bool inView = CGRectContainsPoint(bounds, viewPoint);
    if (!inView && canvas_->IsInputEnabled()) {
        if (kind == kEventMouseMoved)
            HoverExit(screenPoint);
        return;
    }
    const UInt16 button = Parameter<UInt16>(event, kEventParamMouseButton, typeMouseButton, 0);
    CanvasCursor& cursor = canvas_->CursorState();
    cursor.modifiers = Parameter<UInt32>(event, kEventParamKeyModifiers, typeUInt32, 0);
    // The mouse over the canvas itself, not over a pane on it: the panes
    // lose the user's attention.
    HIViewRef under = nullptr;
    if (HIViewGetViewForMouseEvent(view_, event, &under) == noErr && under == view_)
        TellPanesFocusLost(kind);

    CGPoint location = canvas_->ConvertPointToCanvas(viewPoint);
    location = CGPointMake(std::trunc(location.x), std::trunc(location.y));
    TSpriteLayerProtocol* layerProtocol = nullptr;
    TSpriteProtocol* sprite = FindSpriteAtLocation(location, layerProtocol);
    cursor.currentSprite = sprite;
    cursor.currentLayer = layerProtocol;
    auto* layer = static_cast<TSpriteLayer*>(layerProtocol);
    const auto holdLayer = layer != nullptr ? TObjectRef<TSpriteLayer>::Retain(layer) : TObjectRef<TSpriteLayer>();
    const auto holdSprite = HoldSprite(sprite);
    const CGPoint local = sprite != nullptr && AsSprite(sprite)->GetTranslateToLocation()
                              ? AsSprite(sprite)->ConvertPointToLocal(location)
                              : location;
    if (inView)
        cursor.lastLocation = location;
    if (layer != nullptr)
        layer->HandleMouseEvent(event, sprite, result);
    if (!inView || !canvas_->IsInputEnabled() || !canvas_->IsVisible() || result != kSpriteEventNotHandled)
        return;

    switch (kind) {
    case kEventMouseDown: {
        cursor.dragging = false;
        if (canvasWindow != nullptr)
            SelectWindow(canvasWindow);
        const UInt32 clickCount = Parameter<UInt32>(event, kEventParamClickCount, typeUInt32, 1);
        TResponder::PostNotification(ShortString(kCanvasMouseDownNotification));
        const bool optionContextual = (canvas_->GetOptions() & kCanvasOptionContextualFromMouseDown) != 0;
        if (optionContextual && (button == kEventMouseButtonSecondary ||
                                 (button == kEventMouseButtonPrimary && cursor.modifiers == controlKey))) {
            HandleContextualMenuClick(event, result);
        }
        if (result == kSpriteEventNotHandled && layer != nullptr)
            layer->HandleMouseDown(location, sprite, clickCount, button, result);
        if (result == kSpriteEventNotHandled)
            canvas_->HandleMouseDown(location, layer, sprite, clickCount, button, result);
        const bool contextualClick = button == kEventMouseButtonSecondary ||
                                     (button == kEventMouseButtonPrimary && (cursor.modifiers & controlKey) != 0);
        if (result == kSpriteEventNotHandled && !optionContextual && contextualClick) {
            // A contextual click nothing took: the view's contextual-click
            // event, as the system raises it after the press.
            EventRef contextual = nullptr;
            CreateEvent(nullptr, kEventClassControl, kEventControlContextualMenuClick, 0, 0, &contextual);
            for (EventParamName name : {kEventParamWindowMouseLocation, kEventParamMouseLocation,
                                        kEventParamKeyModifiers, kEventParamWindowRef}) {
                UInt32 size = 0;
                EventParamType type = 0;
                if (GetEventParameter(event, name, typeWildCard, &type, 0, &size, nullptr) != noErr)
                    continue;
                std::vector<UInt8> bytes(size);
                GetEventParameter(event, name, typeWildCard, nullptr, size, nullptr, bytes.data());
                SetEventParameter(contextual, name, type, size, bytes.data());
            }
            result =
                SendEventToEventTargetWithOptions(contextual, GetControlEventTarget(view_), kEventTargetDontPropagate);
            ReleaseEvent(contextual);
            break;
        }
        if (result != kSpriteEventNotHandled || button != kEventMouseButtonPrimary)
            break;
        TSpriteProtocol* focused = cursor.focusedSprite;
        const auto holdFocused = HoldSprite(focused);
        if (sprite == nullptr) {
            cursor.selectedSprite = nullptr;
            cursor.focusedSprite = nullptr;
            if (focused != nullptr)
                focused->HandleFocusChanged(false);
            break;
        }
        cursor.downLocation = location;
        if (focused != nullptr && focused != sprite) {
            cursor.focusedSprite = nullptr;
            focused->HandleFocusChanged(false);
        }
        cursor.selectedSprite = sprite;
        cursor.selectionLeft = false;
        cursor.focusedSprite = sprite;
        sprite->HandleFocusChanged(true);
        sprite->HandleMouseDown(local, SInt32(clickCount), result);
        sprite->ForceUpdate();
        break;
    }
    case kEventMouseUp: {
        cursor.dragging = false;
        TResponder::PostNotification(ShortString(kCanvasMouseUpNotification));
        if (layer != nullptr)
            layer->HandleMouseUp(location, sprite, result);
        if (result == kSpriteEventNotHandled)
            canvas_->HandleMouseUp(location, layer, sprite, result);
        TSpriteProtocol* selected = cursor.selectedSprite;
        if (selected == nullptr || button != kEventMouseButtonPrimary || result != kSpriteEventNotHandled)
            break;
        const auto holdSelected = HoldSprite(selected);
        // The sprite under the mouse hears of the release (a click only
        // when it took the press, TSprite::HandleMouseUp).
        if (sprite == nullptr)
            selected->HandleSelectionChanged(false, local, result);
        else
            sprite->HandleMouseUp(local, result);
        cursor.selectedSprite = nullptr;
        selected->ForceUpdate();
        break;
    }
    case kEventMouseMoved: {
        SetThemeCursor(kThemeArrowCursor);
        TResponder::PostNotification(ShortString(kCanvasMouseMovedNotification));
        if (layer != nullptr)
            layer->HandleMouseMoved(location, sprite, result);
        if (result == kSpriteEventNotHandled)
            canvas_->HandleMouseMoved(location, layer, sprite, result);
        if (result != kSpriteEventNotHandled)
            break;
        const bool forceUpdate = (canvas_->GetOptions() & kCanvasOptionForceUpdateOnHover) != 0;
        TSpriteProtocol* hovered = cursor.hoveredSprite;
        const auto holdHovered = HoldSprite(hovered);
        if (hovered != nullptr && hovered != sprite)
            hovered->HandleMouseExited(local);
        else if (hovered == nullptr && sprite != nullptr)
            sprite->HandleMouseEntered(local);
        if (hovered != nullptr && forceUpdate)
            hovered->ForceUpdate();
        cursor.hoveredSprite = sprite;
        if (sprite != nullptr && forceUpdate)
            sprite->ForceUpdate();
        if (TSpriteProtocol* cursorSprite = cursor.cursorSprite) {
            const auto holdCursor = HoldSprite(cursorSprite);
            cursorSprite->HandleAction();
            if (forceUpdate)
                cursorSprite->ForceUpdate();
        }
        if (sprite != nullptr)
            sprite->HandleMouseHover(local, result);
        break;
    }
    case kEventMouseDragged: {
        TResponder::PostNotification(ShortString(kCanvasMouseDraggedNotification));
        const CGPoint delta =
            CGPointMake(std::trunc(location.x - cursor.downLocation.x), std::trunc(location.y - cursor.downLocation.y));
        cursor.dragLocation = location;
        cursor.dragEvent = event;
        cursor.dragging = true;
        if (layer != nullptr)
            layer->HandleMouseDragged(delta, location, sprite, result);
        if (result == kSpriteEventNotHandled)
            canvas_->HandleMouseDragged(delta, location, layer, sprite, result);
        TSpriteProtocol* focused = cursor.focusedSprite;
        if (focused == nullptr || result != kSpriteEventNotHandled)
            break;
        const auto holdFocused = HoldSprite(focused);
        TSpriteProtocol* selected = cursor.selectedSprite;
        const auto holdSelected = HoldSprite(selected);
        if (sprite == selected && cursor.selectionLeft) {
            cursor.selectionLeft = false;
            if (selected != nullptr)
                selected->ForceUpdate();
        } else if (sprite != selected && selected != nullptr) {
            cursor.selectionLeft = true;
            selected->ForceUpdate();
        }
        focused->HandleMouseDragged(delta, local, result);
        cursor.downLocation = location;
        focused->ForceUpdate();
        break;
    }
    case kEventMouseWheelMoved: {
        const UInt16 axis = Parameter<UInt16>(event, kEventParamMouseWheelAxis, typeMouseWheelAxis, 0);
        const SInt32 delta = Parameter<SInt32>(event, kEventParamMouseWheelDelta, typeSInt32, 0);
        if (layer != nullptr)
            layer->HandleMouseWheelScroll(location, sprite, axis, delta, result);
        if (result == kSpriteEventNotHandled)
            canvas_->HandleMouseWheelScroll(location, layer, sprite, axis, delta, result);
        if (result == kSpriteEventNotHandled && sprite != nullptr)
            sprite->HandleMouseWheelScroll(local, axis, delta, result);
        // The view's own scrolling, whatever the hooks did.
        HIViewRef deepest = nullptr;
        if (canvasWindow != nullptr)
            HIViewGetViewForMouseEvent(HIViewGetRoot(canvasWindow), event, &deepest);
        if (deepest != view_ || !HIViewIsVisible(view_))
            break;
        const SInt32 step = delta > 0 ? -kWheelStep : kWheelStep;
        ControlRef horizontal = canvas_->GetHorizontalScrollBar();
        ControlRef vertical = canvas_->GetVerticalScrollBar();
        if (axis == kEventMouseWheelAxisX && horizontal != nullptr)
            SetControl32BitValue(horizontal, GetControl32BitValue(horizontal) + step);
        if (axis == kEventMouseWheelAxisY && vertical != nullptr)
            SetControl32BitValue(vertical, GetControl32BitValue(vertical) + step);
        canvas_->ScrollTo(horizontal != nullptr ? Float32(GetControl32BitValue(horizontal)) : 0,
                          vertical != nullptr ? Float32(GetControl32BitValue(vertical)) : 0);
        result = noErr;
        break;
    }
    default:
        break;
    }
}

void TSpriteCanvasView::TellPanesFocusLost(UInt32 reason)
{
    UInt16 count = 0;
    CountSubControls(view_, &count);
    std::vector<TObjectRef<TCanvasPaneProtocol>> panes;
    for (UInt16 index = 1; index <= count; ++index) {
        ControlRef subview = nullptr;
        TObject* object = nullptr;
        if (GetIndexedSubControl(view_, index, &subview) != noErr || subview == nullptr ||
            GetControlProperty(subview, kCanvasPanePropertyCreator, kCanvasPanePropertyData, sizeof(object), nullptr,
                               &object) != noErr ||
            !TObject::IsLiveObject(object))
            continue;
        if (auto* pane = dynamic_cast<TCanvasPaneProtocol*>(object))
            panes.push_back(TObjectRef<TCanvasPaneProtocol>::Retain(pane));
    }
    // Told after the walk: a pane may close (and leave the view) on it.
    for (const auto& pane : panes)
        pane->LostFocus(reason);
}

// ---- keys ----

void TSpriteCanvasView::HandleKeyboardEvents(EventRef event, OSStatus& result)
{
    // The window offers every key to the canvas before the text field laid
    // over it gets it. While text is edited the keys are the text's: a
    // sprite taking Return, a space or a letter would act on its own
    // instead (add a row, tick it, date it) and the edit would never end.
    if (canvas_ == nullptr || TEditSession::IsEditing())
        return;
    const UInt32 kind = GetEventKind(event);
    if (kind != kEventRawKeyDown && kind != kEventRawKeyRepeat)
        return;
    const UInt32 keyCode = Parameter<UInt32>(event, kEventParamKeyCode, typeUInt32, 0);
    const UInt32 modifiers = Parameter<UInt32>(event, kEventParamKeyModifiers, typeUInt32, 0);
    const char character = Parameter<char>(event, kEventParamKeyMacCharCodes, typeChar, 0);
    TArray* layers = canvas_->GetLayers();
    for (SInt32 i = layers->Limit(); i >= 0 && result == kSpriteEventNotHandled; --i) {
        const auto layer = TObjectRef<TSpriteLayer>::Retain(static_cast<TSpriteLayer*>(layers->GetValue(i)));
        layer->HandleKeyDown(modifiers, keyCode, character, result);
    }
    if (result == kSpriteEventNotHandled)
        canvas_->HandleKeyDown(modifiers, keyCode, character, result);
    if (result != kSpriteEventNotHandled)
        return;
    if ((canvas_->GetOptions() & kCanvasOptionKeysToEverySprite) != 0) {
        const auto sprites = TObjectRef<TObjectArray>::Adopt(canvas_->CopySprites());
        for (SInt32 i = 0; i < sprites->Count() && result == kSpriteEventNotHandled; ++i) {
            auto* sprite = static_cast<TSprite*>(sprites->GetValue(i));
            if (!sprite->IsDestroying())
                sprite->HandleKeyDown(modifiers, keyCode, character, result);
        }
        return;
    }
    TSpriteProtocol* focused = canvas_->GetCursor().focusedSprite;
    if (focused != nullptr && !focused->IsDestroying()) {
        const auto hold = HoldSprite(focused);
        AsSprite(focused)->HandleKeyDown(modifiers, keyCode, character, result);
    }
}

// ---- contextual menus ----

void TSpriteCanvasView::HandleContextualMenuClick(EventRef event, OSStatus& result)
{
    if (canvas_ == nullptr)
        return;
    const CGPoint windowPoint = Parameter<HIPoint>(event, kEventParamWindowMouseLocation, typeHIPoint);
    const CGPoint globalPoint = Parameter<HIPoint>(event, kEventParamMouseLocation, typeHIPoint, windowPoint);
    const Point global = {SInt16(std::lround(globalPoint.y)), SInt16(std::lround(globalPoint.x))};
    const CGPoint point = WindowPointToCanvas(windowPoint);
    TSpriteLayerProtocol* layer = nullptr;
    TSpriteProtocol* sprite = FindSpriteAtLocation(point, layer);
    const auto holdSprite = HoldSprite(sprite);
    canvas_->HandleContextualClick(point, sprite, result);
    if (result == noErr)
        return;
    if (sprite != nullptr) {
        const CGPoint local = AsSprite(sprite)->ConvertPointToLocal(point);
        AsSprite(sprite)->HandleContextualClick(local, result);
        if (result != noErr) {
            if (MenuRef menu = AsSprite(sprite)->HandleContextualMenu(local)) {
                UInt32 selectionType = 0;
                MenuID menuID = 0;
                MenuItemIndex item = 0;
                if (ContextualMenuSelect(menu, global, false, 0, nullptr, nullptr, &selectionType, &menuID, &item) ==
                    noErr)
                    AsSprite(sprite)->HandleSelectContextualMenu(menu, item);
                ReleaseMenu(menu);
                result = noErr;
            }
        }
    }
    if (sprite == nullptr || (canvas_->GetOptions() & kCanvasOptionCanvasMenuOverSprites) != 0) {
        if (MenuRef menu = canvas_->HandleContextualMenu()) {
            result = noErr;
            UInt32 selectionType = 0;
            MenuID menuID = 0;
            MenuItemIndex item = 0;
            if (ContextualMenuSelect(menu, global, false, 0, nullptr, nullptr, &selectionType, &menuID, &item) == noErr)
                canvas_->HandleSelectContextualMenu(menu, item);
            ReleaseMenu(menu);
        }
    }
}

// ---- drags ----

void TSpriteCanvasView::EndDragTimer()
{
    if (dragTimer_ != nullptr)
        TTimer::Terminate(dragTimer_);
}

TSpriteProtocol* TSpriteCanvasView::SpriteUnderDrag(DragRef drag, CGPoint& point)
{
    Point mouse = {0, 0};
    GetDragMouse(drag, &mouse, nullptr);
    point = CGPointMake(mouse.h, mouse.v);
    HIPointConvert(&point, kHICoordSpaceScreenPixel, nullptr, kHICoordSpaceView, view_);
    point = canvas_->ConvertPointToCanvas(point);
    TSpriteLayerProtocol* layer = nullptr;
    return FindSpriteAtLocation(point, layer);
}

OSStatus TSpriteCanvasView::HandleAcceptDrag(EventRef event)
{
    if (canvas_ == nullptr)
        return eventNotHandledErr;
    const DragRef drag = Parameter<DragRef>(event, kEventParamDragRef, typeDragRef, nullptr);
    const auto wrapped = TObjectRef<TDrag>::Adopt(TDrag::Create(drag));
    if (!canvas_->HandleDragAccept(wrapped.get()))
        return eventNotHandledErr;
    EndDragTimer();
    dragTimer_ = TTimer::Create(0.0, kDragTimerInterval, BRINDLET_METHOD(TSpriteCanvasView, HandleDragTrackingTimer),
                                this, nullptr);
    const Boolean accept = true;
    return SetEventParameter(event, kEventParamControlWouldAcceptDrop, typeBoolean, sizeof(accept), &accept);
}

void TSpriteCanvasView::HandleDragTrackingTimer(void*)
{
    if (canvas_ == nullptr) {
        EndDragTimer();
        return;
    }
    const auto hold = TObjectRef<TSpriteCanvasView>::Retain(this);
    if (QGuiApplication::mouseButtons() != Qt::NoButton) {
        const QPoint global = QCursor::pos();
        canvas_->HandleDragTracking(CGPointMake(global.x(), global.y()));
        return;
    }
    canvas_->HandleDragTrackingEnded();
    EndDragTimer();
}

OSStatus TSpriteCanvasView::HandleTrackDragWithinView(EventRef event)
{
    if (canvas_ == nullptr)
        return eventNotHandledErr;
    const DragRef drag = Parameter<DragRef>(event, kEventParamDragRef, typeDragRef, nullptr);
    const auto wrapped = TObjectRef<TDrag>::Adopt(TDrag::Create(drag));
    CGPoint point = kEmptyPoint;
    TSpriteProtocol* sprite = SpriteUnderDrag(drag, point);
    const auto holdSprite = HoldSprite(sprite);
    CanvasCursor& cursor = canvas_->CursorState();
    cursor.dragSprite = sprite;
    TSpriteProtocol* previous = cursor.dragTargetSprite;
    const auto holdPrevious = HoldSprite(previous);
    const bool forceUpdate = (canvas_->GetOptions() & kCanvasOptionForceUpdateOnDrag) != 0;
    if (sprite != previous) {
        if (sprite != nullptr)
            spriteAcceptsDrag_ = AsSprite(sprite)->HandleDragAccept(wrapped.get());
        if (previous != nullptr)
            AsSprite(previous)->HandleDragLeave(wrapped.get());
    }
    if (sprite != nullptr) {
        if (forceUpdate && previous != nullptr)
            previous->ForceUpdate();
        canvas_->HandleDragLeave(wrapped.get());
        cursor.dragTargetSprite = sprite;
        if (spriteAcceptsDrag_)
            AsSprite(sprite)->HandleDragWithin(wrapped.get(), point);
        if (forceUpdate)
            sprite->ForceUpdate();
    } else {
        canvas_->HandleDragWithin(wrapped.get(), point);
        if (canvas_->GetTrackDrags()) {
            SetTrackingHilite(true);
            if (forceUpdate && previous != nullptr)
                previous->ForceUpdate();
            cursor.dragTargetSprite = nullptr;
        }
    }
    return noErr;
}

void TSpriteCanvasView::HandleDragLeave(EventRef)
{
    SetTrackingHilite(false);
}

OSStatus TSpriteCanvasView::HandleReceiveDrag(EventRef event)
{
    if (canvas_ == nullptr)
        return eventNotHandledErr;
    const DragRef drag = Parameter<DragRef>(event, kEventParamDragRef, typeDragRef, nullptr);
    const auto wrapped = TObjectRef<TDrag>::Adopt(TDrag::Create(drag));
    CGPoint point = kEmptyPoint;
    TSpriteProtocol* sprite = SpriteUnderDrag(drag, point);
    const auto holdSprite = HoldSprite(sprite);
    CanvasCursor& cursor = canvas_->CursorState();
    const bool accepted_by_sprite = sprite != nullptr && sprite == cursor.dragTargetSprite && spriteAcceptsDrag_;
    cursor.dragTargetSprite = nullptr;
    bool accepted = false;
    if (sprite != nullptr)
        accepted = accepted_by_sprite && AsSprite(sprite)->HandleDragReceive(wrapped.get());
    else
        accepted = canvas_->HandleDragReceive(wrapped.get());
    SetTrackingHilite(false);
    // The drop ends the drag: the mouse is up.
    if (dragTimer_ != nullptr) {
        canvas_->HandleDragTrackingEnded();
        EndDragTimer();
    }
    return accepted ? noErr : dragNotAcceptedErr;
}
