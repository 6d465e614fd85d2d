#include "HIView.h"

#include "ControlKinds.h"
#include "HIToolboxInternal.h"

#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <Support/Diagnostics.h>

#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

CFTypeID ViewTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("HIView");
    return type;
}

}  // namespace

struct OpaqueHIObjectClassRef {
    std::string classID;
    std::string baseClassID;
    EventHandlerUPP construct;
    std::vector<EventTypeSpec> events;
    void* constructData;
    int instances = 0;
};

struct OpaqueControlRef final : CFRuntimeObject {
    OpaqueControlRef() : CFRuntimeObject(ViewTypeID()) {}
    ~OpaqueControlRef() override;

    OSType kind = kControlKindUserPane;
    const HIViewKindBehaviour* behaviour = nullptr;
    OpaqueHIObjectClassRef* objectClass = nullptr;
    void* instance = nullptr;  // a subclass's instance data
    EventHandlerRef classHandler = nullptr;
    WindowRef window = nullptr;
    OpaqueControlRef* superview = nullptr;
    std::vector<OpaqueControlRef*> subviews;  // each retained
    HIRect frame = {};
    CGPoint boundsOrigin = {};
    bool visible = true;
    bool drawingEnabled = true;
    bool enabled = true;
    bool active = true;
    bool disposed = false;
    ControlPartCode hilite = 0;
    SInt32 value = 0, minimum = 0, maximum = 0, viewSize = 0;
    CFStringRef title = nullptr;
    UInt32 command = 0;
    SRefCon refCon = nullptr;
    HIViewID id = {0, 0};
    UInt32 features = 0;
    HIPropertyTable properties{controlPropertyNotFoundErr};
    EventTargetRef target = nullptr;
    void* kindData = nullptr;
};

namespace {

// ---- registries ----

std::unordered_set<HIViewRef>& LiveViews()
{
    static auto* const views = new std::unordered_set<HIViewRef>;
    return *views;
}

std::map<OSType, HIViewKindBehaviour>& Kinds()
{
    static auto* const kinds = new std::map<OSType, HIViewKindBehaviour>;
    return *kinds;
}

std::map<std::string, std::unique_ptr<OpaqueHIObjectClassRef>>& Classes()
{
    static auto* const classes = new std::map<std::string, std::unique_ptr<OpaqueHIObjectClassRef>>;
    return *classes;
}

// What a window's views need: the root, the focus, the click being tracked.
struct WindowViews {
    HIViewRef root = nullptr;
    HIViewRef content = nullptr;
    HIViewRef focus = nullptr;
    ControlPartCode focusPart = 0;
    HIViewRef tracking = nullptr;
    ControlPartCode trackingPart = 0;
};

std::unordered_map<WindowRef, WindowViews>& TheWindowViews()
{
    static auto* const windows = new std::unordered_map<WindowRef, WindowViews>;
    return *windows;
}

HIViewRef AsView(HIViewRef view)
{
    return view && LiveViews().count(view) && !view->disposed ? view : nullptr;
}

WindowViews* ViewsOf(WindowRef window)
{
    auto found = TheWindowViews().find(window);
    return found == TheWindowViews().end() ? nullptr : &found->second;
}

EventTargetRef ViewParentTarget(void* refCon)
{
    HIViewRef view = static_cast<HIViewRef>(refCon);
    if (view->superview)
        return view->superview->target;
    return view->window ? GetWindowEventTarget(view->window) : nullptr;
}

OSStatus SendToView(HIViewRef view, UInt32 kind, UInt32 options, void (*fill)(EventRef, void*) = nullptr,
                    void* data = nullptr, EventRef* keep = nullptr)
{
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassControl, kind, 0, 0, &event);
    SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof view, &view);
    if (fill)
        fill(event, data);
    const OSStatus status = SendEventToEventTargetWithOptions(event, view->target, options);
    if (keep)
        *keep = event;
    else
        ReleaseEvent(event);
    return status;
}

// The view's origin in window coordinates (where its bounds' origin shows).
CGPoint OriginInWindow(HIViewRef view)
{
    CGPoint origin = {0, 0};
    for (HIViewRef at = view; at; at = at->superview) {
        origin.x += at->frame.origin.x;
        origin.y += at->frame.origin.y;
        if (at != view) {
            origin.x -= at->boundsOrigin.x;
            origin.y -= at->boundsOrigin.y;
        }
    }
    return origin;
}

HIRect FrameInWindow(HIViewRef view)
{
    const CGPoint origin = OriginInWindow(view);
    return HIRect{origin, view->frame.size};
}

void InvalidateInWindow(HIViewRef view, HIRect rect)
{
    if (!view->window)
        return;
    // Clipped to every ancestor.
    HIRect visible = FrameInWindow(view);
    for (HIViewRef at = view->superview; at; at = at->superview)
        visible = CGRectIntersection(visible, FrameInWindow(at));
    const HIRect area = CGRectIntersection(rect, visible);
    if (!CGRectIsEmpty(area))
        HIWindowInvalidateRect(view->window, &area);
}

void Invalidate(HIViewRef view)
{
    InvalidateInWindow(view, FrameInWindow(view));
}

bool ShownWithAncestors(HIViewRef view)
{
    for (HIViewRef at = view; at; at = at->superview) {
        if (!at->visible)
            return false;
    }
    return true;
}

void SetWindowOfTree(HIViewRef view, WindowRef window)
{
    const bool changed = view->window != window;
    view->window = window;
    for (HIViewRef child : view->subviews)
        SetWindowOfTree(child, window);
    if (changed && window)
        SendToView(view, kEventControlOwningWindowChanged, kEventTargetDontPropagate);
}

// ---- the standard handler of every view ----

void Draw(HIViewRef view, CGContextRef context, const HIRect& dirty);

ControlPartCode KindHitTest(HIViewRef view, HIPoint point)
{
    const HIRect bounds = {view->boundsOrigin, view->frame.size};
    if (view->behaviour && view->behaviour->hitTest)
        return view->behaviour->hitTest(view, point);
    return CGRectContainsPoint(bounds, point) ? kControlButtonPart : kControlNoPart;
}

OSStatus StandardViewHandler(EventHandlerCallRef, EventRef event, void* refCon)
{
    HIViewRef view = AsView(static_cast<HIViewRef>(refCon));
    if (!view)
        return eventNotHandledErr;
    const HIViewKindBehaviour* kind = view->behaviour;
    if (GetEventClass(event) == kEventClassKeyboard) {
        if (kind && kind->key && (GetEventKind(event) == kEventRawKeyDown || GetEventKind(event) == kEventRawKeyRepeat))
            return kind->key(view, event);
        return eventNotHandledErr;
    }
    if (GetEventClass(event) != kEventClassControl)
        return eventNotHandledErr;
    switch (GetEventKind(event)) {
    case kEventControlDraw: {
        CGContextRef context = nullptr;
        GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context, nullptr, &context);
        if (context && kind && kind->draw)
            kind->draw(view, context);
        return noErr;
    }
    case kEventControlHitTest: {
        HIPoint point = {};
        GetEventParameter(event, kEventParamMouseLocation, typeHIPoint, nullptr, sizeof point, nullptr, &point);
        const ControlPartCode part = KindHitTest(view, point);
        SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
        return noErr;
    }
    case kEventControlSetFocusPart: {
        ControlPartCode part = 0;
        GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
        const bool focusable = (kind && kind->focusable) || (view->features & kControlSupportsFocus);
        if (part != 0 && !focusable)
            return errControlDoesntSupportFocus;
        const ControlPartCode result = part == 0 ? 0 : (part < 0 ? kControlEditTextPart : part);
        SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof result, &result);
        return noErr;
    }
    default:
        return eventNotHandledErr;
    }
}

// ---- tracking a click ----

ControlPartCode TestPart(HIViewRef view, HIPoint point)
{
    struct Fill {
        HIPoint point;
    } fill = {point};
    EventRef event = nullptr;
    SendToView(
        view, kEventControlHitTest, kEventTargetDontPropagate,
        [](EventRef e, void* data) {
            const HIPoint p = static_cast<Fill*>(data)->point;
            SetEventParameter(e, kEventParamMouseLocation, typeHIPoint, sizeof p, &p);
        },
        &fill, &event);
    ControlPartCode part = kControlNoPart;
    GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
    ReleaseEvent(event);
    return part;
}

void SetHilite(HIViewRef view, ControlPartCode part)
{
    if (view->hilite == part)
        return;
    view->hilite = part;
    SendToView(view, kEventControlHiliteChanged, kEventTargetDontPropagate);
    Invalidate(view);
}

// The end of a click that counts: hit, then the view's command.
void FinishClick(HIViewRef view, ControlPartCode part, UInt32 modifiers)
{
    CFRetain(view);
    struct Fill {
        ControlPartCode part;
        UInt32 modifiers;
    } fill = {part, modifiers};
    SendToView(
        view, kEventControlHit, 0,
        [](EventRef e, void* data) {
            auto* f = static_cast<Fill*>(data);
            SetEventParameter(e, kEventParamControlPart, typeControlPartCode, sizeof f->part, &f->part);
            SetEventParameter(e, kEventParamKeyModifiers, typeUInt32, sizeof f->modifiers, &f->modifiers);
        },
        &fill);
    if (AsView(view) && view->command != 0) {
        HICommandExtended command = {};
        command.attributes = kHICommandFromControl;
        command.commandID = view->command;
        command.source.control = view;
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event);
        SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
        SetEventParameter(event, kEventParamKeyModifiers, typeUInt32, sizeof modifiers, &modifiers);
        SendEventToEventTarget(event, view->target);
        ReleaseEvent(event);
    }
    CFRelease(view);
}

HIPoint PointInView(HIViewRef view, EventRef mouseEvent)
{
    HIPoint point = {};
    GetEventParameter(mouseEvent, kEventParamWindowMouseLocation, typeHIPoint, nullptr, sizeof point, nullptr, &point);
    HIViewConvertPoint(&point, nullptr, view);
    return point;
}

UInt32 ModifiersOf(EventRef event)
{
    UInt32 modifiers = 0;
    GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
    return modifiers;
}

// A click on a view whose handlers left it: focus, then track.
OSStatus DefaultClick(WindowViews& views, HIViewRef view, EventRef mouseEvent)
{
    const HIViewKindBehaviour* kind = view->behaviour;
    if ((kind && kind->focusable) || (view->features & kControlGetsFocusOnClick))
        SetKeyboardFocus(view->window, view, kControlFocusNextPart);
    if (kind && kind->hostsWidget)
        return eventNotHandledErr;  // on to the widget
    const HIPoint point = PointInView(view, mouseEvent);
    const ControlPartCode part = TestPart(view, point);
    if (part == kControlNoPart)
        return noErr;
    const UInt32 modifiers = ModifiersOf(mouseEvent);
    ControlPartCode ended = kHIViewKeepTracking;
    if (kind && kind->press)
        ended = kind->press(view, point, part, modifiers);
    if (!AsView(view))
        return noErr;
    if (ended == kHIViewKeepTracking) {
        views.tracking = view;
        views.trackingPart = part;
        CFRetain(view);
        SetHilite(view, part);
        return noErr;
    }
    if (ended != kControlNoPart)
        FinishClick(view, ended, modifiers);
    return noErr;
}

void EndTracking(WindowViews& views, EventRef mouseEvent, bool release)
{
    HIViewRef view = views.tracking;
    const ControlPartCode pressed = views.trackingPart;
    views.tracking = nullptr;
    if (!AsView(view)) {
        if (view)
            CFRelease(view);
        return;
    }
    SetHilite(view, 0);
    if (release) {
        const HIPoint point = PointInView(view, mouseEvent);
        const ControlPartCode over = TestPart(view, point);
        const UInt32 modifiers = ModifiersOf(mouseEvent);
        ControlPartCode counted = over == pressed ? over : kControlNoPart;
        if (view->behaviour && view->behaviour->release)
            counted = view->behaviour->release(view, point, over, modifiers);
        if (AsView(view) && counted != kControlNoPart)
            FinishClick(view, counted, modifiers);
    }
    CFRelease(view);
}

OSStatus WindowMouse(WindowRef window, EventRef event)
{
    WindowViews* views = ViewsOf(window);
    if (!views || !views->root)
        return eventNotHandledErr;
    switch (GetEventKind(event)) {
    case kEventMouseDown: {
        if (views->tracking)
            EndTracking(*views, event, false);
        HIViewRef view = nullptr;
        HIViewGetViewForMouseEvent(views->root, event, &view);
        if (!view || !HIViewIsEnabled(view, nullptr))
            return eventNotHandledErr;
        CFRetain(view);
        EventRef click = nullptr;
        const OSStatus status = SendToView(
            view, kEventControlClick, 0,
            [](EventRef e, void* mouse) {
                auto* source = static_cast<EventRef>(mouse);
                for (EventParamName name :
                     {kEventParamMouseLocation, kEventParamWindowMouseLocation, kEventParamKeyModifiers,
                      kEventParamMouseButton, kEventParamClickCount, kEventParamWindowRef}) {
                    UInt32 size = 0;
                    EventParamType type = 0;
                    if (GetEventParameter(source, name, typeWildCard, &type, 0, &size, nullptr) != noErr)
                        continue;
                    std::vector<UInt8> bytes(size);
                    GetEventParameter(source, name, typeWildCard, nullptr, size, nullptr, bytes.data());
                    SetEventParameter(e, name, type, size, bytes.data());
                }
            },
            event, &click);
        ReleaseEvent(click);
        OSStatus result = status == eventNotHandledErr ? noErr : status;
        if (status == eventNotHandledErr && AsView(view) && AsView(views->root))
            result = DefaultClick(*views, view, event);
        CFRelease(view);
        return result;
    }
    case kEventMouseDragged:
        if (views->tracking && AsView(views->tracking)) {
            HIViewRef view = views->tracking;
            const HIPoint point = PointInView(view, event);
            const ControlPartCode over = TestPart(view, point);
            SetHilite(view, over == views->trackingPart ? over : 0);
            if (view->behaviour && view->behaviour->drag)
                view->behaviour->drag(view, point, views->trackingPart);
            return noErr;
        }
        return eventNotHandledErr;
    case kEventMouseUp:
        if (views->tracking) {
            EndTracking(*views, event, true);
            return noErr;
        }
        return eventNotHandledErr;
    default:
        return eventNotHandledErr;
    }
}

// ---- drawing ----

void Draw(HIViewRef view, CGContextRef context, const HIRect& dirty)
{
    if (!view->visible || !view->drawingEnabled)
        return;
    const HIRect frame = FrameInWindow(view);
    const HIRect area = CGRectIntersection(frame, dirty);
    if (CGRectIsEmpty(area))
        return;
    CFRetain(view);
    CGContextSaveGState(context);
    CGContextClipToRect(context, area);
    CGContextTranslateCTM(context, frame.origin.x - view->boundsOrigin.x, frame.origin.y - view->boundsOrigin.y);
    SendToView(
        view, kEventControlDraw, kEventTargetDontPropagate,
        [](EventRef e, void* c) { SetEventParameter(e, kEventParamCGContextRef, typeCGContextRef, sizeof c, &c); },
        context);
    CGContextRestoreGState(context);
    if (AsView(view)) {
        const std::vector<HIViewRef> children = view->subviews;
        for (HIViewRef child : children) {
            if (AsView(child) && child->superview == view)
                Draw(child, context, area);
        }
    }
    CFRelease(view);
}

void DrawWindow(WindowRef window, CGContextRef context, HIRect dirty, void*)
{
    WindowViews* views = ViewsOf(window);
    if (views && AsView(views->root))
        Draw(views->root, context, dirty);
}

OSStatus RootFollowsWindow(EventHandlerCallRef, EventRef event, void* refCon)
{
    WindowRef window = static_cast<WindowRef>(refCon);
    WindowViews* views = ViewsOf(window);
    if (!views)
        return eventNotHandledErr;
    if (GetEventKind(event) == kEventWindowBoundsChanged) {
        HIRect content = {};
        HIWindowGetBounds(window, kWindowContentRgn, &content);
        const HIRect frame = {{0, 0}, content.size};
        if (AsView(views->root))
            HIViewSetFrame(views->root, &frame);
        if (AsView(views->content))
            HIViewSetFrame(views->content, &frame);
    } else if (GetEventKind(event) == kEventWindowDispose) {
        if (views->tracking) {
            CFRelease(views->tracking);
            views->tracking = nullptr;
        }
        HIViewRef root = views->root;
        views->root = nullptr;
        views->focus = nullptr;
        if (AsView(root))
            DisposeControl(root);
        TheWindowViews().erase(window);
    }
    return eventNotHandledErr;
}

HIViewRef NewView(OSType kind)
{
    static const bool kindsRegistered = (HIToolboxRegisterControlKinds(), true);
    (void)kindsRegistered;
    auto* view = new OpaqueControlRef;
    view->kind = kind;
    auto found = Kinds().find(kind);
    view->behaviour = found == Kinds().end() ? nullptr : &found->second;
    view->target = CreateEventTarget(ViewParentTarget, view);
    SetEventTargetStandardHandler(view->target, StandardViewHandler, view);
    InstallStandardEventHandler(view->target);
    LiveViews().insert(view);
    return view;
}

WindowViews& EnsureRoot(WindowRef window)
{
    WindowViews& views = TheWindowViews()[window];
    if (views.root)
        return views;
    HIRect content = {};
    HIWindowGetBounds(window, kWindowContentRgn, &content);
    const HIRect frame = {{0, 0}, content.size};
    views.root = NewView(kControlKindHIRootView);
    views.root->frame = frame;
    views.root->window = window;
    views.content = NewView(kControlKindHIContentView);
    views.content->id = kHIViewWindowContentID;
    views.content->frame = frame;
    HIViewAddSubview(views.root, views.content);
    CFRelease(views.content);  // the root holds it
    HIWindowSetContentDrawer(window, DrawWindow, nullptr);
    HIWindowSetMouseHook(WindowMouse);
    const EventTypeSpec types[] = {{kEventClassWindow, kEventWindowBoundsChanged},
                                   {kEventClassWindow, kEventWindowDispose}};
    InstallEventHandler(GetWindowEventTarget(window), RootFollowsWindow, 2, types, window, nullptr);
    return views;
}

}  // namespace

OpaqueControlRef::~OpaqueControlRef()
{
    // A view released without being disposed of: its kind's state and its
    // target go with it all the same.
    if (!disposed) {
        if (behaviour && behaviour->dispose)
            behaviour->dispose(this);
        disposed = true;
        DisposeEventTarget(target);
    }
    LiveViews().erase(this);
    if (title)
        CFRelease(title);
}

// ---- kinds ----

void HIViewRegisterKind(const HIViewKindBehaviour& behaviour)
{
    Kinds()[behaviour.kind.kind] = behaviour;
    for (HIViewRef view : LiveViews()) {
        if (view->kind == behaviour.kind.kind)
            view->behaviour = &Kinds()[behaviour.kind.kind];
    }
}

const HIViewKindBehaviour* HIViewFindKind(OSType kind)
{
    auto found = Kinds().find(kind);
    return found == Kinds().end() ? nullptr : &found->second;
}

HIViewRef HIViewCreateOfKind(OSType kind, WindowRef window, const HIRect& frame)
{
    HIViewRef view = NewView(kind);
    view->frame = frame;
    if (IsValidWindowPtr(window))
        HIViewAddSubview(EnsureRoot(window).content, view);
    return view;
}

void* HIViewGetKindData(HIViewRef view)
{
    HIViewRef live = AsView(view);
    return live ? live->kindData : nullptr;
}

void HIViewSetKindData(HIViewRef view, void* data)
{
    if (HIViewRef live = AsView(view))
        live->kindData = data;
}

void HIViewValueChanged(HIViewRef view)
{
    HIViewRef live = AsView(view);
    if (!live)
        return;
    SendToView(live, kEventControlValueFieldChanged, kEventTargetDontPropagate);
    if (AsView(live))
        Invalidate(live);
}

// ---- the tree ----

HIViewRef HIViewGetRoot(WindowRef window)
{
    if (!IsValidWindowPtr(window))
        return nullptr;
    return EnsureRoot(window).root;
}

OSStatus HIViewFindByID(HIViewRef startView, HIViewID inID, HIViewRef* outControl)
{
    HIViewRef start = AsView(startView);
    if (!start || !outControl)
        return paramErr;
    std::vector<HIViewRef> pending = {start};
    while (!pending.empty()) {
        HIViewRef view = pending.front();
        pending.erase(pending.begin());
        if (view->id.signature == inID.signature && view->id.id == inID.id) {
            *outControl = view;
            return noErr;
        }
        pending.insert(pending.end(), view->subviews.begin(), view->subviews.end());
    }
    return errUnknownControl;
}

OSStatus GetControlByID(WindowRef inWindow, const ControlID* inID, ControlRef* outControl)
{
    if (!IsValidWindowPtr(inWindow) || !inID)
        return paramErr;
    return HIViewFindByID(HIViewGetRoot(inWindow), *inID, outControl);
}

OSStatus SetControlID(ControlRef inControl, const ControlID* inID)
{
    HIViewRef view = AsView(inControl);
    if (!view || !inID)
        return paramErr;
    view->id = *inID;
    return noErr;
}

OSStatus GetControlID(ControlRef inControl, ControlID* outID)
{
    HIViewRef view = AsView(inControl);
    if (!view || !outID)
        return paramErr;
    *outID = view->id;
    return noErr;
}

OSStatus GetControlKind(ControlRef inControl, ControlKind* outControlKind)
{
    HIViewRef view = AsView(inControl);
    if (!view || !outControlKind)
        return paramErr;
    *outControlKind = {kControlKindSignatureApple, view->kind};
    return noErr;
}

WindowRef GetControlOwner(ControlRef inControl)
{
    HIViewRef view = AsView(inControl);
    return view ? view->window : nullptr;
}

WindowRef HIViewGetWindow(HIViewRef inView)
{
    return GetControlOwner(inView);
}

EventTargetRef GetControlEventTarget(ControlRef inControl)
{
    HIViewRef view = AsView(inControl);
    return view ? view->target : nullptr;
}

HIViewRef HIViewFromEventTarget(EventTargetRef target)
{
    for (HIViewRef view : LiveViews()) {
        if (view->target == target && !view->disposed)
            return view;
    }
    return nullptr;
}

OSStatus HIViewAddSubview(HIViewRef inParent, HIViewRef inNewChild)
{
    HIViewRef parent = AsView(inParent);
    HIViewRef child = AsView(inNewChild);
    if (!parent || !child)
        return paramErr;
    if (child->kind == kControlKindHIRootView)
        return errCantEmbedRoot;
    for (HIViewRef at = parent; at; at = at->superview) {
        if (at == child)
            return errCantEmbedIntoSelf;
    }
    CFRetain(child);
    if (child->superview)
        HIViewRemoveFromSuperview(child);
    parent->subviews.push_back(child);
    child->superview = parent;
    SetWindowOfTree(child, parent->window);
    if (AsView(child))
        Invalidate(child);
    return noErr;
}

OSStatus HIViewRemoveFromSuperview(HIViewRef inView)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return paramErr;
    HIViewRef parent = view->superview;
    if (!parent)
        return noErr;
    Invalidate(view);
    if (view->window) {
        if (WindowViews* views = ViewsOf(view->window)) {
            for (HIViewRef focus = views->focus; focus; focus = focus->superview) {
                if (focus == view) {
                    ClearKeyboardFocus(view->window);
                    break;
                }
            }
        }
    }
    auto& siblings = parent->subviews;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), view), siblings.end());
    view->superview = nullptr;
    SetWindowOfTree(view, nullptr);
    CFRelease(view);
    return noErr;
}

HIViewRef HIViewGetSuperview(HIViewRef inView)
{
    HIViewRef view = AsView(inView);
    return view ? view->superview : nullptr;
}

HIViewRef HIViewGetFirstSubview(HIViewRef inView)
{
    HIViewRef view = AsView(inView);
    return view && !view->subviews.empty() ? view->subviews.front() : nullptr;
}

HIViewRef HIViewGetLastSubview(HIViewRef inView)
{
    HIViewRef view = AsView(inView);
    return view && !view->subviews.empty() ? view->subviews.back() : nullptr;
}

HIViewRef HIViewGetNextView(HIViewRef inView)
{
    HIViewRef view = AsView(inView);
    if (!view || !view->superview)
        return nullptr;
    auto& siblings = view->superview->subviews;
    auto at = std::find(siblings.begin(), siblings.end(), view);
    return at != siblings.end() && at + 1 != siblings.end() ? *(at + 1) : nullptr;
}

HIViewRef HIViewGetPreviousView(HIViewRef inView)
{
    HIViewRef view = AsView(inView);
    if (!view || !view->superview)
        return nullptr;
    auto& siblings = view->superview->subviews;
    auto at = std::find(siblings.begin(), siblings.end(), view);
    return at != siblings.begin() && at != siblings.end() ? *(at - 1) : nullptr;
}

OSStatus CountSubControls(ControlRef inControl, UInt16* outNumChildren)
{
    HIViewRef view = AsView(inControl);
    if (!view || !outNumChildren)
        return paramErr;
    *outNumChildren = UInt16(view->subviews.size());
    return noErr;
}

OSStatus GetIndexedSubControl(ControlRef inControl, UInt16 inIndex, ControlRef* outSubControl)
{
    HIViewRef view = AsView(inControl);
    if (!view || !outSubControl)
        return paramErr;
    if (inIndex < 1 || inIndex > view->subviews.size())
        return errUnknownControl;
    *outSubControl = view->subviews[inIndex - 1];
    return noErr;
}

OSStatus HIViewSetZOrder(HIViewRef inView, HIViewZOrderOp inOp, HIViewRef inOther)
{
    HIViewRef view = AsView(inView);
    if (!view || !view->superview || (inOp != kHIViewZOrderAbove && inOp != kHIViewZOrderBelow))
        return paramErr;
    HIViewRef other = inOther ? AsView(inOther) : nullptr;
    if (inOther && (!other || other->superview != view->superview || other == view))
        return paramErr;
    auto& siblings = view->superview->subviews;
    siblings.erase(std::find(siblings.begin(), siblings.end(), view));
    // Later in the list is higher (drawn later).
    auto place = other ? std::find(siblings.begin(), siblings.end(), other)
                       : (inOp == kHIViewZOrderAbove ? siblings.end() : siblings.begin());
    if (other && inOp == kHIViewZOrderAbove)
        ++place;
    siblings.insert(place, view);
    Invalidate(view);
    return noErr;
}

void DisposeControl(ControlRef theControl)
{
    HIViewRef view = AsView(theControl);
    if (!view)
        return;
    CFRetain(view);
    // Subviews first.
    const std::vector<HIViewRef> children = view->subviews;
    for (HIViewRef child : children)
        DisposeControl(child);
    if (view->window) {
        if (WindowViews* views = ViewsOf(view->window)) {
            if (views->focus == view)
                ClearKeyboardFocus(view->window);
            if (views->tracking == view) {
                views->tracking = nullptr;
                CFRelease(view);
            }
        }
    }
    SendToView(view, kEventControlDispose, kEventTargetDontPropagate);
    if (view->objectClass) {
        EventRef destruct = nullptr;
        CreateEvent(nullptr, kEventClassHIObject, kEventHIObjectDestruct, 0, 0, &destruct);
        SendEventToEventTargetWithOptions(destruct, view->target, kEventTargetDontPropagate);
        ReleaseEvent(destruct);
        --view->objectClass->instances;
    }
    if (view->behaviour && view->behaviour->dispose)
        view->behaviour->dispose(view);
    HIViewRemoveFromSuperview(view);
    view->disposed = true;
    DisposeEventTarget(view->target);
    if (view->window) {
        if (WindowViews* views = ViewsOf(view->window)) {
            if (views->root == view)
                views->root = nullptr;
            if (views->content == view)
                views->content = nullptr;
        }
    }
    CFRelease(view);
}

Boolean IsValidControlHandle(ControlRef theControl)
{
    return AsView(theControl) != nullptr;
}

// ---- geometry ----

OSStatus HIViewGetFrame(HIViewRef inView, HIRect* outRect)
{
    HIViewRef view = AsView(inView);
    if (!view || !outRect)
        return paramErr;
    *outRect = view->frame;
    return noErr;
}

OSStatus HIViewSetFrame(HIViewRef inView, const HIRect* inRect)
{
    HIViewRef view = AsView(inView);
    if (!view || !inRect)
        return paramErr;
    if (CGRectEqualToRect(view->frame, *inRect))
        return noErr;
    Invalidate(view);
    const HIRect previous = view->frame;
    view->frame = *inRect;
    Invalidate(view);
    struct Fill {
        HIRect previous, current;
    } fill = {previous, *inRect};
    SendToView(
        view, kEventControlBoundsChanged, kEventTargetDontPropagate,
        [](EventRef e, void* data) {
            auto* f = static_cast<Fill*>(data);
            SetEventParameter(e, kEventParamPreviousBounds, typeHIRect, sizeof f->previous, &f->previous);
            SetEventParameter(e, kEventParamCurrentBounds, typeHIRect, sizeof f->current, &f->current);
        },
        &fill);
    return noErr;
}

OSStatus HIViewGetBounds(HIViewRef inView, HIRect* outRect)
{
    HIViewRef view = AsView(inView);
    if (!view || !outRect)
        return paramErr;
    *outRect = HIRect{view->boundsOrigin, view->frame.size};
    return noErr;
}

OSStatus HIViewSetBoundsOrigin(HIViewRef inView, CGFloat inX, CGFloat inY)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return paramErr;
    view->boundsOrigin = {inX, inY};
    Invalidate(view);
    return noErr;
}

OSStatus HIViewMoveBy(HIViewRef inView, CGFloat inDX, CGFloat inDY)
{
    HIRect frame;
    if (HIViewGetFrame(inView, &frame) != noErr)
        return paramErr;
    frame.origin.x += inDX;
    frame.origin.y += inDY;
    return HIViewSetFrame(inView, &frame);
}

OSStatus HIViewPlaceInSuperviewAt(HIViewRef inView, CGFloat inX, CGFloat inY)
{
    HIRect frame;
    if (HIViewGetFrame(inView, &frame) != noErr)
        return paramErr;
    frame.origin = {inX, inY};
    return HIViewSetFrame(inView, &frame);
}

Rect* GetControlBounds(ControlRef control, Rect* bounds)
{
    HIRect frame = {};
    if (bounds && HIViewGetFrame(control, &frame) == noErr) {
        auto whole = [](CGFloat value) { return SInt16(std::clamp<long>(std::lround(value), -32768, 32767)); };
        *bounds = {whole(frame.origin.y), whole(frame.origin.x), whole(frame.origin.y + frame.size.height),
                   whole(frame.origin.x + frame.size.width)};
    }
    return bounds;
}

void SetControlBounds(ControlRef control, const Rect* bounds)
{
    if (!bounds)
        return;
    const HIRect frame = {{CGFloat(bounds->left), CGFloat(bounds->top)},
                          {CGFloat(bounds->right - bounds->left), CGFloat(bounds->bottom - bounds->top)}};
    HIViewSetFrame(control, &frame);
}

OSStatus HIViewConvertPoint(HIPoint* ioPoint, HIViewRef inSourceView, HIViewRef inDestView)
{
    if (!ioPoint || (inSourceView && !AsView(inSourceView)) || (inDestView && !AsView(inDestView)))
        return paramErr;
    if (inSourceView && inDestView && inSourceView->window != inDestView->window)
        return paramErr;
    // Through window space: a view's bounds origin shows at OriginInWindow.
    if (inSourceView) {
        const CGPoint origin = OriginInWindow(inSourceView);
        ioPoint->x += origin.x - inSourceView->boundsOrigin.x;
        ioPoint->y += origin.y - inSourceView->boundsOrigin.y;
    }
    if (inDestView) {
        const CGPoint origin = OriginInWindow(inDestView);
        ioPoint->x -= origin.x - inDestView->boundsOrigin.x;
        ioPoint->y -= origin.y - inDestView->boundsOrigin.y;
    }
    return noErr;
}

OSStatus HIViewConvertRect(HIRect* ioRect, HIViewRef inSourceView, HIViewRef inDestView)
{
    if (!ioRect)
        return paramErr;
    return HIViewConvertPoint(&ioRect->origin, inSourceView, inDestView);
}

void HIPointConvert(HIPoint* ioPoint, HICoordinateSpace inSourceSpace, void* inSourceObject,
                    HICoordinateSpace inDestinationSpace, void* inDestinationObject)
{
    if (!ioPoint)
        return;
    auto windowOf = [](HICoordinateSpace space, void* object) -> WindowRef {
        if (space == kHICoordSpaceWindow)
            return static_cast<WindowRef>(object);
        if (space == kHICoordSpaceView)
            return HIViewGetWindow(static_cast<HIViewRef>(object));
        return nullptr;
    };
    // To global.
    if (inSourceSpace == kHICoordSpaceView) {
        HIViewConvertPoint(ioPoint, static_cast<HIViewRef>(inSourceObject), nullptr);
    }
    if (WindowRef window = windowOf(inSourceSpace, inSourceObject)) {
        HIRect content = {};
        HIWindowGetBounds(window, kWindowContentRgn, &content);
        ioPoint->x += content.origin.x;
        ioPoint->y += content.origin.y;
    }
    // From global.
    if (WindowRef window = windowOf(inDestinationSpace, inDestinationObject)) {
        HIRect content = {};
        HIWindowGetBounds(window, kWindowContentRgn, &content);
        ioPoint->x -= content.origin.x;
        ioPoint->y -= content.origin.y;
    }
    if (inDestinationSpace == kHICoordSpaceView)
        HIViewConvertPoint(ioPoint, nullptr, static_cast<HIViewRef>(inDestinationObject));
}

void HIRectConvert(HIRect* ioRect, HICoordinateSpace inSourceSpace, void* inSourceObject,
                   HICoordinateSpace inDestinationSpace, void* inDestinationObject)
{
    if (ioRect)
        HIPointConvert(&ioRect->origin, inSourceSpace, inSourceObject, inDestinationSpace, inDestinationObject);
}

// ---- state ----

OSStatus HIViewSetVisible(HIViewRef inView, Boolean inVisible)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return paramErr;
    if (view->visible == bool(inVisible))
        return noErr;
    if (!inVisible)
        Invalidate(view);
    view->visible = inVisible;
    if (inVisible)
        Invalidate(view);
    SendToView(view, kEventControlVisibilityChanged, kEventTargetDontPropagate);
    return noErr;
}

Boolean HIViewIsVisible(HIViewRef inView)
{
    HIViewRef view = AsView(inView);
    return view && ShownWithAncestors(view) && (!view->window || IsWindowVisible(view->window));
}

Boolean HIViewIsLatentlyVisible(HIViewRef inView)
{
    HIViewRef view = AsView(inView);
    return view && view->visible;
}

OSStatus HIViewSetDrawingEnabled(HIViewRef inView, Boolean inEnabled)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return paramErr;
    if (view->drawingEnabled == bool(inEnabled))
        return noErr;
    view->drawingEnabled = inEnabled;
    // Drawing comes back with the view's current look.
    if (inEnabled)
        Invalidate(view);
    return noErr;
}

Boolean HIViewIsDrawingEnabled(HIViewRef inView)
{
    HIViewRef view = AsView(inView);
    return view && view->drawingEnabled;
}

OSStatus HIViewSetEnabled(HIViewRef inView, Boolean inSet)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return paramErr;
    if (view->enabled != bool(inSet)) {
        view->enabled = inSet;
        SendToView(view, kEventControlEnabledStateChanged, kEventTargetDontPropagate);
        Invalidate(view);
    }
    return noErr;
}

Boolean HIViewIsEnabled(HIViewRef inView, HIViewRef* outEnabledView)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return false;
    for (HIViewRef at = view; at; at = at->superview) {
        if (!at->enabled) {
            if (outEnabledView)
                *outEnabledView = at;
            return false;
        }
    }
    return true;
}

OSStatus EnableControl(ControlRef inControl)
{
    return HIViewSetEnabled(inControl, true);
}

OSStatus DisableControl(ControlRef inControl)
{
    return HIViewSetEnabled(inControl, false);
}

Boolean IsControlEnabled(ControlRef inControl)
{
    return HIViewIsEnabled(inControl, nullptr);
}

OSStatus HIViewSetActivated(HIViewRef inView, Boolean inSetActivated)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return paramErr;
    if (view->active != bool(inSetActivated)) {
        view->active = inSetActivated;
        SendToView(view, inSetActivated ? kEventControlActivate : kEventControlDeactivate, kEventTargetDontPropagate);
        Invalidate(view);
    }
    return noErr;
}

Boolean HIViewIsActive(HIViewRef inView, Boolean* outLatentActive)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return false;
    if (outLatentActive)
        *outLatentActive = view->active;
    for (HIViewRef at = view; at; at = at->superview) {
        if (!at->active)
            return false;
    }
    return !view->window || IsWindowActive(view->window) || IsWindowVisible(view->window);
}

void HiliteControl(ControlRef theControl, ControlPartCode hiliteState)
{
    if (HIViewRef view = AsView(theControl))
        SetHilite(view, hiliteState);
}

ControlPartCode GetControlHilite(ControlRef inControl)
{
    HIViewRef view = AsView(inControl);
    return view ? view->hilite : 0;
}

void SetControl32BitValue(ControlRef theControl, SInt32 newValue)
{
    HIViewRef view = AsView(theControl);
    if (!view)
        return;
    const SInt32 value = std::clamp(newValue, view->minimum, std::max(view->minimum, view->maximum));
    if (value == view->value)
        return;
    view->value = value;
    HIViewValueChanged(view);
}

SInt32 GetControl32BitValue(ControlRef theControl)
{
    HIViewRef view = AsView(theControl);
    return view ? view->value : 0;
}

void SetControl32BitMinimum(ControlRef theControl, SInt32 newMinimum)
{
    if (HIViewRef view = AsView(theControl)) {
        view->minimum = newMinimum;
        if (view->maximum < newMinimum)
            view->maximum = newMinimum;
        if (view->value < newMinimum)
            SetControl32BitValue(view, newMinimum);
        Invalidate(view);
    }
}

SInt32 GetControl32BitMinimum(ControlRef theControl)
{
    HIViewRef view = AsView(theControl);
    return view ? view->minimum : 0;
}

void SetControl32BitMaximum(ControlRef theControl, SInt32 newMaximum)
{
    if (HIViewRef view = AsView(theControl)) {
        view->maximum = newMaximum;
        if (view->minimum > newMaximum)
            view->minimum = newMaximum;
        if (view->value > newMaximum)
            SetControl32BitValue(view, newMaximum);
        Invalidate(view);
    }
}

SInt32 GetControl32BitMaximum(ControlRef theControl)
{
    HIViewRef view = AsView(theControl);
    return view ? view->maximum : 0;
}

void SetControlViewSize(ControlRef theControl, SInt32 newViewSize)
{
    if (HIViewRef view = AsView(theControl)) {
        view->viewSize = newViewSize;
        Invalidate(view);
    }
}

SInt32 GetControlViewSize(ControlRef theControl)
{
    HIViewRef view = AsView(theControl);
    return view ? view->viewSize : 0;
}

OSStatus SetControlTitleWithCFString(ControlRef inControl, CFStringRef inString)
{
    HIViewRef view = AsView(inControl);
    if (!view)
        return paramErr;
    CFStringRef copy = inString ? CFStringCreateCopy(nullptr, inString) : nullptr;
    if (view->title)
        CFRelease(view->title);
    view->title = copy;
    SendToView(view, kEventControlTitleChanged, kEventTargetDontPropagate);
    if (AsView(view))
        Invalidate(view);
    return noErr;
}

OSStatus CopyControlTitleAsCFString(ControlRef inControl, CFStringRef* outString)
{
    HIViewRef view = AsView(inControl);
    if (!view || !outString)
        return paramErr;
    *outString = view->title ? CFStringCreateCopy(nullptr, view->title) : CFSTR("");
    return noErr;
}

OSStatus HIViewSetText(HIViewRef inView, CFStringRef inText)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return paramErr;
    // Kinds that hold text of their own take it as control data.
    if (view->behaviour && view->behaviour->setData && inText) {
        const OSStatus status = view->behaviour->setData(view, 0, FourCC("cfst"), sizeof inText, &inText);
        if (status != errDataNotSupported)
            return status;
    }
    return SetControlTitleWithCFString(view, inText);
}

CFStringRef HIViewCopyText(HIViewRef inView)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return nullptr;
    if (view->behaviour && view->behaviour->getData) {
        CFStringRef text = nullptr;
        Size size = 0;
        if (view->behaviour->getData(view, 0, FourCC("cfst"), sizeof text, &text, &size) == noErr && text)
            return text;  // the kind hands out a new string, as the data tag does
    }
    CFStringRef title = nullptr;
    CopyControlTitleAsCFString(view, &title);
    return title;
}

OSStatus SetControlCommandID(ControlRef inControl, UInt32 inCommandID)
{
    HIViewRef view = AsView(inControl);
    if (!view)
        return paramErr;
    view->command = inCommandID;
    return noErr;
}

OSStatus GetControlCommandID(ControlRef inControl, UInt32* outCommandID)
{
    HIViewRef view = AsView(inControl);
    if (!view || !outCommandID)
        return paramErr;
    *outCommandID = view->command;
    return noErr;
}

void SetControlReference(ControlRef theControl, SRefCon data)
{
    if (HIViewRef view = AsView(theControl))
        view->refCon = data;
}

SRefCon GetControlReference(ControlRef theControl)
{
    HIViewRef view = AsView(theControl);
    return view ? view->refCon : nullptr;
}

OSStatus SetControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag, ByteCount propertySize,
                            const void* propertyData)
{
    HIViewRef view = AsView(control);
    return view ? view->properties.Set(propertyCreator, propertyTag, propertySize, propertyData) : paramErr;
}

OSStatus GetControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag, ByteCount bufferSize,
                            ByteCount* actualSize, void* propertyBuffer)
{
    HIViewRef view = AsView(control);
    return view ? view->properties.Get(propertyCreator, propertyTag, bufferSize, actualSize, propertyBuffer) : paramErr;
}

OSStatus GetControlPropertySize(ControlRef control, OSType propertyCreator, OSType propertyTag, ByteCount* size)
{
    return GetControlProperty(control, propertyCreator, propertyTag, 0, size, nullptr);
}

OSStatus RemoveControlProperty(ControlRef control, OSType propertyCreator, OSType propertyTag)
{
    HIViewRef view = AsView(control);
    return view ? view->properties.Remove(propertyCreator, propertyTag) : paramErr;
}

OSStatus SetControlData(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size inSize,
                        const void* inData)
{
    HIViewRef view = AsView(inControl);
    if (!view || (inSize > 0 && !inData))
        return paramErr;
    if (!view->behaviour || !view->behaviour->setData)
        return errDataNotSupported;
    const OSStatus status = view->behaviour->setData(view, inPart, inTagName, inSize, inData);
    if (status == noErr && AsView(view))
        Invalidate(view);
    return status;
}

OSStatus GetControlData(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size inBufferSize,
                        void* inBuffer, Size* outActualSize)
{
    HIViewRef view = AsView(inControl);
    if (!view || (inBufferSize > 0 && !inBuffer))
        return paramErr;
    if (!view->behaviour || !view->behaviour->getData)
        return errDataNotSupported;
    return view->behaviour->getData(view, inPart, inTagName, inBufferSize, inBuffer, outActualSize);
}

OSStatus GetControlDataSize(ControlRef inControl, ControlPartCode inPart, ResType inTagName, Size* outMaxSize)
{
    return GetControlData(inControl, inPart, inTagName, 0, nullptr, outMaxSize);
}

// ---- drawing ----

OSStatus HIViewSetNeedsDisplay(HIViewRef inView, Boolean inNeedsDisplay)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return paramErr;
    if (inNeedsDisplay)
        Invalidate(view);
    return noErr;
}

OSStatus HIViewSetNeedsDisplayInRect(HIViewRef inView, const HIRect* inRect, Boolean inNeedsDisplay)
{
    HIViewRef view = AsView(inView);
    if (!view || !inRect)
        return paramErr;
    if (inNeedsDisplay) {
        const CGPoint origin = OriginInWindow(view);
        InvalidateInWindow(view,
                           CGRectOffset(*inRect, origin.x - view->boundsOrigin.x, origin.y - view->boundsOrigin.y));
    }
    return noErr;
}

OSStatus HIViewRender(HIViewRef inView)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return paramErr;
    return view->window ? HIWindowFlush(view->window) : noErr;
}

OSStatus HIViewDrawCGImage(CGContextRef inContext, const HIRect* inBounds, CGImageRef inImage)
{
    if (!inContext || !inBounds || !inImage)
        return paramErr;
    // A view context is flipped; the image is drawn flipped back so it
    // shows the right way up.
    CGContextSaveGState(inContext);
    CGContextTranslateCTM(inContext, inBounds->origin.x, inBounds->origin.y + inBounds->size.height);
    CGContextScaleCTM(inContext, 1, -1);
    CGContextDrawImage(inContext, CGRectMake(0, 0, inBounds->size.width, inBounds->size.height), inImage);
    CGContextRestoreGState(inContext);
    return noErr;
}

// ---- hit testing, clicks, focus ----

OSStatus HIViewGetSubviewHit(HIViewRef inView, const HIPoint* inPoint, Boolean inDeep, HIViewRef* outView)
{
    HIViewRef view = AsView(inView);
    if (!view || !inPoint || !outView)
        return paramErr;
    *outView = nullptr;
    HIPoint point = *inPoint;  // in `view`'s coordinates
    HIViewRef at = view;
    for (;;) {
        HIViewRef hit = nullptr;
        for (auto child = at->subviews.rbegin(); child != at->subviews.rend(); ++child) {
            if ((*child)->visible && CGRectContainsPoint((*child)->frame, point)) {
                hit = *child;
                break;
            }
        }
        if (!hit)
            break;
        *outView = hit;
        if (!inDeep)
            break;
        point.x = point.x - hit->frame.origin.x + hit->boundsOrigin.x;
        point.y = point.y - hit->frame.origin.y + hit->boundsOrigin.y;
        at = hit;
    }
    return noErr;
}

OSStatus HIViewGetViewForMouseEvent(HIViewRef inStartView, EventRef inEvent, HIViewRef* outView)
{
    HIViewRef start = AsView(inStartView);
    if (!start || !outView)
        return paramErr;
    HIPoint point = {};
    if (GetEventParameter(inEvent, kEventParamWindowMouseLocation, typeHIPoint, nullptr, sizeof point, nullptr,
                          &point) != noErr)
        return eventParameterNotFoundErr;
    HIViewConvertPoint(&point, nullptr, start);
    HIViewRef hit = nullptr;
    HIViewGetSubviewHit(start, &point, true, &hit);
    *outView = hit ? hit : start;
    return noErr;
}

ControlPartCode HIViewTestPart(HIViewRef inView, const HIPoint* inPoint)
{
    HIViewRef view = AsView(inView);
    return view && inPoint ? TestPart(view, *inPoint) : kControlNoPart;
}

OSStatus HIViewSimulateClick(HIViewRef inView, HIViewPartCode inPartToClick, UInt32 inModifiers,
                             ControlPartCode* outPartClicked)
{
    HIViewRef view = AsView(inView);
    if (!view)
        return paramErr;
    // Acted out on the middle of the view.
    const HIPoint point = {view->boundsOrigin.x + view->frame.size.width / 2,
                           view->boundsOrigin.y + view->frame.size.height / 2};
    CFRetain(view);
    ControlPartCode part = inPartToClick;
    if (view->behaviour && view->behaviour->press) {
        const ControlPartCode ended = view->behaviour->press(view, point, part, inModifiers);
        if (ended != kHIViewKeepTracking)
            part = ended;
        else if (view->behaviour->release)
            part = view->behaviour->release(view, point, part, inModifiers);
    } else if (view->behaviour && view->behaviour->release) {
        part = view->behaviour->release(view, point, part, inModifiers);
    }
    if (outPartClicked)
        *outPartClicked = part;
    if (AsView(view) && part != kControlNoPart)
        FinishClick(view, part, inModifiers);
    CFRelease(view);
    return noErr;
}

OSStatus SetKeyboardFocus(WindowRef inWindow, ControlRef inControl, ControlPartCode inPart)
{
    if (!IsValidWindowPtr(inWindow) || (inControl && !AsView(inControl)))
        return paramErr;
    if (inControl && inControl->window != inWindow)
        return errUnknownControl;
    WindowViews& views = EnsureRoot(inWindow);
    if (!inControl || inPart == 0)
        return ClearKeyboardFocus(inWindow);
    ControlPartCode granted = inPart;
    EventRef event = nullptr;
    SendToView(
        inControl, kEventControlSetFocusPart, kEventTargetDontPropagate,
        [](EventRef e, void* part) {
            SetEventParameter(e, kEventParamControlPart, typeControlPartCode, sizeof(ControlPartCode), part);
        },
        &granted, &event);
    // What the view answered: a part, or 0 when it takes no focus.
    ControlPartCode answer = 0;
    GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof answer, nullptr, &answer);
    ReleaseEvent(event);
    if (answer == 0 || !AsView(inControl))
        return errCouldntSetFocus;
    if (views.focus && views.focus != inControl && AsView(views.focus)) {
        const ControlPartCode none = 0;
        HIViewRef previous = views.focus;
        views.focus = nullptr;
        SendToView(
            previous, kEventControlSetFocusPart, kEventTargetDontPropagate,
            [](EventRef e, void* part) {
                SetEventParameter(e, kEventParamControlPart, typeControlPartCode, sizeof(ControlPartCode), part);
            },
            const_cast<ControlPartCode*>(&none));
        if (AsView(previous))
            Invalidate(previous);
    }
    views.focus = inControl;
    views.focusPart = answer;
    HIWindowSetKeyboardTarget(inWindow, inControl->target);
    Invalidate(inControl);
    return noErr;
}

OSStatus GetKeyboardFocus(WindowRef inWindow, ControlRef* outControl)
{
    if (!IsValidWindowPtr(inWindow) || !outControl)
        return paramErr;
    WindowViews* views = ViewsOf(inWindow);
    *outControl = views ? AsView(views->focus) : nullptr;
    return noErr;
}

OSStatus ClearKeyboardFocus(WindowRef inWindow)
{
    if (!IsValidWindowPtr(inWindow))
        return paramErr;
    WindowViews* views = ViewsOf(inWindow);
    if (!views || !views->focus)
        return noErr;
    HIViewRef previous = views->focus;
    views->focus = nullptr;
    views->focusPart = 0;
    HIWindowSetKeyboardTarget(inWindow, nullptr);
    if (AsView(previous)) {
        const ControlPartCode none = 0;
        SendToView(
            previous, kEventControlSetFocusPart, kEventTargetDontPropagate,
            [](EventRef e, void* part) {
                SetEventParameter(e, kEventParamControlPart, typeControlPartCode, sizeof(ControlPartCode), part);
            },
            const_cast<ControlPartCode*>(&none));
        if (AsView(previous))
            Invalidate(previous);
    }
    return noErr;
}

namespace {

bool Focusable(HIViewRef view)
{
    const bool kindTakes = view->behaviour && view->behaviour->focusable;
    return (kindTakes || (view->features & kControlSupportsFocus)) && ShownWithAncestors(view) &&
           HIViewIsEnabled(view, nullptr);
}

void CollectFocusable(HIViewRef view, std::vector<HIViewRef>& out)
{
    for (HIViewRef child : view->subviews) {
        if (!child->visible)
            continue;
        if (Focusable(child))
            out.push_back(child);
        CollectFocusable(child, out);
    }
}

}  // namespace

OSStatus HIViewAdvanceFocus(HIViewRef inRootForFocus, EventModifiers inModifiers)
{
    HIViewRef root = AsView(inRootForFocus);
    if (!root || !root->window)
        return paramErr;
    std::vector<HIViewRef> order;
    CollectFocusable(root, order);
    if (order.empty())
        return errCouldntSetFocus;
    WindowViews* views = ViewsOf(root->window);
    HIViewRef current = views ? views->focus : nullptr;
    auto at = std::find(order.begin(), order.end(), current);
    const bool backwards = inModifiers & shiftKey;
    HIViewRef next;
    if (at == order.end())
        next = backwards ? order.back() : order.front();
    else if (backwards)
        next = at == order.begin() ? order.back() : *(at - 1);
    else
        next = at + 1 == order.end() ? order.front() : *(at + 1);
    return SetKeyboardFocus(root->window, next, backwards ? kControlFocusPrevPart : kControlFocusNextPart);
}

// ---- classes ----

namespace {

const std::string kPlainViewClass = "com.apple.hiview";

std::string ClassName(CFStringRef name)
{
    return name ? CFStringToUTF8(name) : std::string();
}

}  // namespace

OSStatus HIObjectRegisterSubclass(CFStringRef inClassID, CFStringRef inBaseClassID, OptionBits,
                                  EventHandlerUPP inConstructProc, ItemCount inNumEvents,
                                  const EventTypeSpec* inEventList, void* inConstructData,
                                  HIObjectClassRef* outClassRef)
{
    const std::string name = ClassName(inClassID);
    const std::string base = inBaseClassID ? ClassName(inBaseClassID) : kPlainViewClass;
    if (name.empty() || !inConstructProc || (inNumEvents > 0 && !inEventList))
        return paramErr;
    if (base != kPlainViewClass && !Classes().count(base))
        return paramErr;  // only views and their subclasses here
    if (Classes().count(name))
        return hiObjectClassExistsErr;
    auto objectClass = std::make_unique<OpaqueHIObjectClassRef>();
    objectClass->classID = name;
    objectClass->baseClassID = base;
    objectClass->construct = inConstructProc;
    objectClass->events.assign(inEventList, inEventList + inNumEvents);
    objectClass->constructData = inConstructData;
    if (outClassRef)
        *outClassRef = objectClass.get();
    Classes()[name] = std::move(objectClass);
    return noErr;
}

OSStatus HIObjectUnregisterClass(HIObjectClassRef inClassRef)
{
    for (auto entry = Classes().begin(); entry != Classes().end(); ++entry) {
        if (entry->second.get() == inClassRef) {
            if (inClassRef->instances > 0)
                return hiObjectClassHasInstancesErr;
            Classes().erase(entry);
            return noErr;
        }
    }
    return paramErr;
}

OSStatus HIObjectCreate(CFStringRef inClassID, EventRef inConstructData, HIObjectRef* outObject)
{
    if (!outObject)
        return paramErr;
    const std::string name = ClassName(inClassID);
    if (name == kPlainViewClass) {
        *outObject = NewView(kControlKindUserPane);
        return noErr;
    }
    auto found = Classes().find(name);
    if (found == Classes().end())
        return paramErr;
    OpaqueHIObjectClassRef* objectClass = found->second.get();
    HIViewRef view = NewView(kControlKindCustom);
    view->objectClass = objectClass;
    ++objectClass->instances;
    // Construct: the handler gets the new object and answers its instance
    // data, which every later call of the handler receives.
    const EventTypeSpec constructType = {kEventClassHIObject, kEventHIObjectConstruct};
    EventHandlerRef constructHandler = nullptr;
    InstallEventHandler(view->target, objectClass->construct, 1, &constructType, objectClass->constructData,
                        &constructHandler);
    EventRef construct = nullptr;
    CreateEvent(nullptr, kEventClassHIObject, kEventHIObjectConstruct, 0, 0, &construct);
    SetEventParameter(construct, kEventParamHIObjectInstance, typeHIObjectRef, sizeof view, &view);
    const OSStatus constructed = SendEventToEventTargetWithOptions(construct, view->target, kEventTargetDontPropagate);
    void* instance = nullptr;
    GetEventParameter(construct, kEventParamHIObjectInstance, typeVoidPtr, nullptr, sizeof instance, nullptr,
                      &instance);
    ReleaseEvent(construct);
    RemoveEventHandler(constructHandler);
    if (constructed != noErr) {
        --objectClass->instances;
        view->objectClass = nullptr;
        DisposeControl(view);
        CFRelease(view);
        return constructed;
    }
    view->instance = instance;
    std::vector<EventTypeSpec> types = objectClass->events;
    types.push_back({kEventClassHIObject, kEventHIObjectInitialize});
    types.push_back({kEventClassHIObject, kEventHIObjectDestruct});
    InstallEventHandler(view->target, objectClass->construct, types.size(), types.data(), instance,
                        &view->classHandler);
    // Initialise: the caller's parameters (bounds, features, its own) on
    // an event of the initialise kind.
    EventRef sent = nullptr;
    CreateEvent(nullptr, kEventClassHIObject, kEventHIObjectInitialize, 0, 0, &sent);
    if (inConstructData) {
        for (EventParamName name : {kEventParamBounds, kEventParamControlFeatures, FourCC("para"), FourCC("data")}) {
            UInt32 size = 0;
            EventParamType type = 0;
            if (GetEventParameter(inConstructData, name, typeWildCard, &type, 0, &size, nullptr) != noErr)
                continue;
            std::vector<UInt8> bytes(size);
            GetEventParameter(inConstructData, name, typeWildCard, nullptr, size, nullptr, bytes.data());
            SetEventParameter(sent, name, type, size, bytes.data());
        }
    }
    HIRect bounds = {};
    if (GetEventParameter(sent, kEventParamBounds, typeHIRect, nullptr, sizeof bounds, nullptr, &bounds) == noErr)
        view->frame = bounds;
    UInt32 features = 0;
    if (GetEventParameter(sent, kEventParamControlFeatures, typeUInt32, nullptr, sizeof features, nullptr, &features) ==
        noErr)
        view->features = features;
    const OSStatus initialized = SendEventToEventTargetWithOptions(sent, view->target, kEventTargetDontPropagate);
    ReleaseEvent(sent);
    if (initialized != noErr && initialized != eventNotHandledErr) {
        DisposeControl(view);
        CFRelease(view);
        return initialized;
    }
    *outObject = view;
    return noErr;
}

Boolean HIObjectIsOfClass(HIObjectRef inObject, CFStringRef inObjectClassID)
{
    HIViewRef view = AsView(inObject);
    if (!view)
        return false;
    const std::string name = ClassName(inObjectClassID);
    if (name == kPlainViewClass)
        return true;
    for (OpaqueHIObjectClassRef* objectClass = view->objectClass; objectClass;) {
        if (objectClass->classID == name)
            return true;
        auto base = Classes().find(objectClass->baseClassID);
        objectClass = base == Classes().end() ? nullptr : base->second.get();
    }
    return false;
}

void* HIObjectDynamicCast(HIObjectRef inObject, CFStringRef inClassID)
{
    HIViewRef view = AsView(inObject);
    return view && view->objectClass && view->objectClass->classID == ClassName(inClassID) ? view->instance : nullptr;
}

CFStringRef HIObjectCopyClassID(HIObjectRef inObject)
{
    HIViewRef view = AsView(inObject);
    if (!view)
        return nullptr;
    return CFStringCreateWithUTF8(view->objectClass ? view->objectClass->classID : kPlainViewClass);
}

EventTargetRef HIObjectGetEventTarget(HIObjectRef inObject)
{
    return GetControlEventTarget(inObject);
}

OSStatus HIViewCreatePlain(const HIRect* frame, HIViewRef* outView)
{
    if (!outView)
        return paramErr;
    HIViewRef view = NewView(kControlKindUserPane);
    if (frame)
        view->frame = *frame;
    *outView = view;
    return noErr;
}

OSStatus CreateUserPaneControl(WindowRef window, const Rect* boundsRect, UInt32 features, ControlRef* outControl)
{
    if (!outControl || !boundsRect || (window && !IsValidWindowPtr(window)))
        return paramErr;
    const HIRect frame = {
        {CGFloat(boundsRect->left), CGFloat(boundsRect->top)},
        {CGFloat(boundsRect->right - boundsRect->left), CGFloat(boundsRect->bottom - boundsRect->top)}};
    HIViewRef view = HIViewCreateOfKind(kControlKindUserPane, window, frame);
    view->features = features;
    if (window)
        CFRelease(view);  // the content view holds it
    *outControl = view;
    return noErr;
}
