#include "CarbonEvents.h"

#include <Support/Clock.h>
#include <Support/Diagnostics.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// ---- events ----

struct OpaqueEventRef {
    struct Parameter {
        EventParamType type;
        std::vector<UInt8> bytes;
    };

    UInt32 retainCount = 1;
    EventClass eventClass;
    UInt32 kind;
    EventTime when;
    UInt32 attributes;
    std::map<EventParamName, Parameter> parameters;
    bool queued = false;
};

namespace {

// Every live event, so that a stale pointer is refused rather than read.
std::unordered_set<EventRef>& LiveEvents()
{
    static auto* const events = new std::unordered_set<EventRef>;
    return *events;
}

EventRef AsEvent(EventRef event)
{
    return event && LiveEvents().count(event) ? event : nullptr;
}

bool OnMainThread()
{
    QCoreApplication* application = QCoreApplication::instance();
    return application ? application->thread() == QThread::currentThread() : true;
}

// The coercions GetEventParameter makes between stored and desired types.
bool Coerce(const OpaqueEventRef::Parameter& stored, EventParamType desired, std::vector<UInt8>& out)
{
    const EventParamType from = stored.type;
    auto read = [&](auto& value) {
        if (stored.bytes.size() != sizeof value)
            return false;
        std::memcpy(&value, stored.bytes.data(), sizeof value);
        return true;
    };
    auto write = [&](const auto& value) {
        out.resize(sizeof value);
        std::memcpy(out.data(), &value, sizeof value);
        return true;
    };
    if ((from == typeSInt32 && desired == typeUInt32) || (from == typeUInt32 && desired == typeSInt32)) {
        out = stored.bytes;
        return stored.bytes.size() == 4;
    }
    if (from == typeQDPoint && desired == typeHIPoint) {
        Point point;
        return read(point) && write(HIPoint{CGFloat(point.h), CGFloat(point.v)});
    }
    if (from == typeHIPoint && desired == typeQDPoint) {
        HIPoint point;
        if (!read(point))
            return false;
        return write(Point{SInt16(std::lround(point.y)), SInt16(std::lround(point.x))});
    }
    if (from == typeQDRectangle && desired == typeHIRect) {
        Rect rect;
        return read(rect) && write(HIRect{{CGFloat(rect.left), CGFloat(rect.top)},
                                          {CGFloat(rect.right - rect.left), CGFloat(rect.bottom - rect.top)}});
    }
    if (from == typeHIRect && desired == typeQDRectangle) {
        HIRect rect;
        if (!read(rect))
            return false;
        auto whole = [](CGFloat value) { return SInt16(std::lround(value)); };
        return write(Rect{whole(rect.origin.y), whole(rect.origin.x), whole(rect.origin.y + rect.size.height),
                          whole(rect.origin.x + rect.size.width)});
    }
    return false;
}

}  // namespace

OSStatus CreateEvent(CFAllocatorRef, EventClass inClassID, UInt32 inKind, EventTime inWhen, UInt32 inAttributes,
                     EventRef* outEvent)
{
    if (!outEvent)
        return paramErr;
    if (inClassID == 0)
        return eventClassInvalidErr;
    auto* event = new OpaqueEventRef;
    event->eventClass = inClassID;
    event->kind = inKind;
    event->when = inWhen == 0 ? GetCurrentEventTime() : inWhen;
    event->attributes = inAttributes;
    LiveEvents().insert(event);
    *outEvent = event;
    return noErr;
}

EventRef CopyEvent(EventRef inOther)
{
    EventRef other = AsEvent(inOther);
    if (!other)
        return nullptr;
    auto* event = new OpaqueEventRef(*other);
    event->retainCount = 1;
    event->queued = false;
    LiveEvents().insert(event);
    return event;
}

EventRef RetainEvent(EventRef inEvent)
{
    if (EventRef event = AsEvent(inEvent))
        ++event->retainCount;
    return inEvent;
}

void ReleaseEvent(EventRef inEvent)
{
    EventRef event = AsEvent(inEvent);
    if (!event)
        return;
    if (--event->retainCount == 0) {
        LiveEvents().erase(event);
        delete event;
    }
}

UInt32 GetEventRetainCount(EventRef inEvent)
{
    EventRef event = AsEvent(inEvent);
    return event ? event->retainCount : 0;
}

EventClass GetEventClass(EventRef inEvent)
{
    EventRef event = AsEvent(inEvent);
    return event ? event->eventClass : 0;
}

UInt32 GetEventKind(EventRef inEvent)
{
    EventRef event = AsEvent(inEvent);
    return event ? event->kind : 0;
}

EventTime GetEventTime(EventRef inEvent)
{
    EventRef event = AsEvent(inEvent);
    return event ? event->when : 0;
}

OSStatus SetEventTime(EventRef inEvent, EventTime inTime)
{
    EventRef event = AsEvent(inEvent);
    if (!event)
        return paramErr;
    event->when = inTime;
    return noErr;
}

Boolean IsUserCancelEventRef(EventRef inEvent)
{
    EventRef event = AsEvent(inEvent);
    if (!event || event->eventClass != kEventClassKeyboard ||
        (event->kind != kEventRawKeyDown && event->kind != kEventRawKeyRepeat))
        return false;
    UInt32 keyCode = 0, modifiers = 0;
    GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof keyCode, nullptr, &keyCode);
    GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
    const UInt32 kEscape = 53, kPeriod = 47;
    return keyCode == kEscape || (keyCode == kPeriod && (modifiers & cmdKey));
}

OSStatus SetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inType, UInt32 inSize,
                           const void* inDataPtr)
{
    EventRef event = AsEvent(inEvent);
    if (!event || (inSize > 0 && !inDataPtr))
        return paramErr;
    const auto* bytes = static_cast<const UInt8*>(inDataPtr);
    event->parameters[inName] = {inType, std::vector<UInt8>(bytes, bytes + inSize)};
    return noErr;
}

OSStatus GetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inDesiredType,
                           EventParamType* outActualType, UInt32 inBufferSize, UInt32* outActualSize, void* outData)
{
    EventRef event = AsEvent(inEvent);
    if (!event || (inBufferSize > 0 && !outData))
        return paramErr;
    auto found = event->parameters.find(inName);
    if (found == event->parameters.end())
        return eventParameterNotFoundErr;
    const OpaqueEventRef::Parameter& parameter = found->second;
    std::vector<UInt8> coerced;
    const std::vector<UInt8>* bytes = &parameter.bytes;
    EventParamType actualType = parameter.type;
    if (inDesiredType != typeWildCard && inDesiredType != parameter.type) {
        if (!Coerce(parameter, inDesiredType, coerced))
            return eventParameterNotFoundErr;
        bytes = &coerced;
        actualType = inDesiredType;
    }
    if (outActualType)
        *outActualType = actualType;
    if (outActualSize)
        *outActualSize = static_cast<UInt32>(bytes->size());
    if (outData)
        std::memcpy(outData, bytes->data(), std::min<size_t>(inBufferSize, bytes->size()));
    return noErr;
}

OSStatus RemoveEventParameter(EventRef inEvent, EventParamName inName)
{
    EventRef event = AsEvent(inEvent);
    if (!event)
        return paramErr;
    return event->parameters.erase(inName) ? noErr : eventParameterNotFoundErr;
}

// ---- targets and handlers ----

struct OpaqueEventHandlerRef {
    EventTargetRef target;
    EventHandlerUPP proc;
    void* userData;
    std::vector<EventTypeSpec> types;
    bool removed = false;

    bool Wants(EventClass eventClass, UInt32 kind) const
    {
        return std::any_of(types.begin(), types.end(), [&](const EventTypeSpec& type) {
            return type.eventClass == eventClass && type.eventKind == kind;
        });
    }
};

typedef std::shared_ptr<OpaqueEventHandlerRef> HandlerPtr;

struct OpaqueEventTargetRef {
    EventTargetParentProc parent = nullptr;
    void* parentRefCon = nullptr;
    EventTargetStandardProc standard = nullptr;
    void* standardRefCon = nullptr;
    bool standardInstalled = false;
    // Most recently installed first.
    std::vector<HandlerPtr> handlers;
    // Dispatches running on the target; a target disposed meanwhile is
    // freed when the last returns.
    int pins = 0;
    bool disposed = false;
};

// Where a dispatch stands: the target, the handlers it found there when it
// began, and the next one to run. CallNextEventHandler carries on from it.
struct OpaqueEventHandlerCallRef {
    EventTargetRef target;
    const std::vector<HandlerPtr>* handlers;
    size_t next;  // handlers->size(): the standard handler; beyond: the parent
    UInt32 options;
    bool chainRun = false;  // CallNextEventHandler was called from here
};

namespace {

struct Registry {
    std::unordered_set<EventTargetRef> targets;
    std::unordered_map<EventHandlerRef, HandlerPtr> handlers;
    EventTargetRef application = nullptr;
};

Registry& TheRegistry()
{
    static auto* const registry = new Registry;
    return *registry;
}

EventTargetRef AsTarget(EventTargetRef target)
{
    return target && TheRegistry().targets.count(target) && !target->disposed ? target : nullptr;
}

HandlerPtr AsHandler(EventHandlerRef handler)
{
    auto& handlers = TheRegistry().handlers;
    auto found = handlers.find(handler);
    return found == handlers.end() ? nullptr : found->second;
}

void Unpin(EventTargetRef target)
{
    if (--target->pins == 0 && target->disposed) {
        TheRegistry().targets.erase(target);
        delete target;
    }
}

// The events being dispatched on this thread, innermost last.
thread_local std::vector<EventRef> tCurrentEvents;

OSStatus RunTarget(EventTargetRef target, EventRef event, UInt32 options);

OSStatus Call(EventHandlerProcPtr proc, EventHandlerCallRef call, EventRef event, void* userData)
{
    try {
        return proc(call, event, userData);
    } catch (...) {
        Diagnostics::ReportException("EventHandler");
        return eventNotHandledErr;
    }
}

OSStatus CallStandard(EventTargetStandardProc proc, EventHandlerCallRef call, EventRef event, void* refCon)
{
    try {
        return proc(call, event, refCon);
    } catch (...) {
        Diagnostics::ReportException("StandardEventHandler");
        return eventNotHandledErr;
    }
}

// Runs the chain from `from` on: the target's remaining handlers, its
// standard handler, then its parent's chain.
OSStatus RunFrom(OpaqueEventHandlerCallRef& from, EventRef event)
{
    EventTargetRef target = from.target;
    const std::vector<HandlerPtr>& handlers = *from.handlers;
    const bool toAll = from.options & kEventTargetSendToAllHandlers;
    OSStatus result = eventNotHandledErr;
    for (size_t index = from.next; index < handlers.size(); ++index) {
        const HandlerPtr& handler = handlers[index];
        if (handler->removed || !handler->Wants(event->eventClass, event->kind))
            continue;
        OpaqueEventHandlerCallRef call{target, &handlers, index + 1, from.options};
        const OSStatus status = Call(handler->proc, &call, event, handler->userData);
        if (call.chainRun)
            return status;  // the handler ran the rest itself
        if (toAll) {
            if (status != eventNotHandledErr)
                result = status;
            continue;
        }
        if (status != eventNotHandledErr)
            return status;
    }
    if (from.next <= handlers.size() && target->standard && target->standardInstalled && !target->disposed) {
        OpaqueEventHandlerCallRef call{target, &handlers, handlers.size() + 1, from.options};
        const OSStatus status = CallStandard(target->standard, &call, event, target->standardRefCon);
        if (call.chainRun || status != eventNotHandledErr)
            return status;
    }
    if (toAll || (from.options & kEventTargetDontPropagate) || !target->parent)
        return result;
    EventTargetRef parent = AsTarget(target->parent(target->parentRefCon));
    return parent ? RunTarget(parent, event, from.options) : result;
}

OSStatus RunTarget(EventTargetRef target, EventRef event, UInt32 options)
{
    ++target->pins;
    const std::vector<HandlerPtr> handlers = target->handlers;  // held for the dispatch
    OpaqueEventHandlerCallRef start{target, &handlers, 0, options};
    const OSStatus status = RunFrom(start, event);
    Unpin(target);
    return status;
}

OSStatus StandardApplicationHandler(EventHandlerCallRef, EventRef event, void*)
{
    if (GetEventClass(event) == kEventClassCommand && GetEventKind(event) == kEventCommandProcess) {
        HICommand command{};
        if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr,
                              &command) == noErr &&
            command.commandID == FourCC("quit")) {
            QuitApplicationEventLoop();
            return noErr;
        }
    }
    if (GetEventClass(event) == kEventClassApplication && GetEventKind(event) == kEventAppQuit) {
        QuitApplicationEventLoop();
        return noErr;
    }
    return eventNotHandledErr;
}

}  // namespace

EventTargetRef CreateEventTarget(EventTargetParentProc parent, void* refCon)
{
    auto* target = new OpaqueEventTargetRef;
    target->parent = parent;
    target->parentRefCon = refCon;
    TheRegistry().targets.insert(target);
    return target;
}

void SetEventTargetStandardHandler(EventTargetRef inTarget, EventTargetStandardProc proc, void* refCon)
{
    if (EventTargetRef target = AsTarget(inTarget)) {
        target->standard = proc;
        target->standardRefCon = refCon;
    }
}

void DisposeEventTarget(EventTargetRef inTarget)
{
    EventTargetRef target = AsTarget(inTarget);
    if (!target || target == TheRegistry().application)
        return;
    for (const HandlerPtr& handler : target->handlers) {
        handler->removed = true;
        TheRegistry().handlers.erase(handler.get());
    }
    target->handlers.clear();
    target->disposed = true;
    ++target->pins;
    Unpin(target);
}

Boolean IsValidEventTarget(EventTargetRef target)
{
    return AsTarget(target) != nullptr;
}

EventTargetRef GetApplicationEventTarget()
{
    Registry& registry = TheRegistry();
    if (!registry.application) {
        registry.application = CreateEventTarget(nullptr, nullptr);
        SetEventTargetStandardHandler(registry.application, StandardApplicationHandler, nullptr);
    }
    return registry.application;
}

EventTargetRef GetEventDispatcherTarget()
{
    return GetApplicationEventTarget();
}

OSStatus InstallEventHandler(EventTargetRef inTarget, EventHandlerUPP inHandler, ItemCount inNumTypes,
                             const EventTypeSpec* inList, void* inUserData, EventHandlerRef* outRef)
{
    EventTargetRef target = AsTarget(inTarget);
    if (!target || !inHandler || (inNumTypes > 0 && !inList))
        return paramErr;
    auto handler = std::make_shared<OpaqueEventHandlerRef>();
    handler->target = target;
    handler->proc = inHandler;
    handler->userData = inUserData;
    handler->types.assign(inList, inList + inNumTypes);
    target->handlers.insert(target->handlers.begin(), handler);
    TheRegistry().handlers[handler.get()] = handler;
    if (outRef)
        *outRef = handler.get();
    return noErr;
}

OSStatus RemoveEventHandler(EventHandlerRef inHandlerRef)
{
    HandlerPtr handler = AsHandler(inHandlerRef);
    if (!handler)
        return paramErr;
    handler->removed = true;
    auto& list = handler->target->handlers;
    list.erase(std::remove(list.begin(), list.end(), handler), list.end());
    TheRegistry().handlers.erase(inHandlerRef);
    return noErr;
}

OSStatus AddEventTypesToHandler(EventHandlerRef inHandlerRef, ItemCount inNumTypes, const EventTypeSpec* inList)
{
    HandlerPtr handler = AsHandler(inHandlerRef);
    if (!handler || (inNumTypes > 0 && !inList))
        return paramErr;
    for (ItemCount index = 0; index < inNumTypes; ++index) {
        if (!handler->Wants(inList[index].eventClass, inList[index].eventKind))
            handler->types.push_back(inList[index]);
    }
    return noErr;
}

OSStatus RemoveEventTypesFromHandler(EventHandlerRef inHandlerRef, ItemCount inNumTypes, const EventTypeSpec* inList)
{
    HandlerPtr handler = AsHandler(inHandlerRef);
    if (!handler || (inNumTypes > 0 && !inList))
        return paramErr;
    for (ItemCount index = 0; index < inNumTypes; ++index) {
        const EventTypeSpec type = inList[index];
        std::erase_if(handler->types, [&](const EventTypeSpec& has) {
            return has.eventClass == type.eventClass && has.eventKind == type.eventKind;
        });
    }
    return noErr;
}

EventTargetRef GetEventHandlerTarget(EventHandlerRef inHandlerRef)
{
    HandlerPtr handler = AsHandler(inHandlerRef);
    return handler ? handler->target : nullptr;
}

OSStatus CallNextEventHandler(EventHandlerCallRef inCallRef, EventRef inEvent)
{
    EventRef event = AsEvent(inEvent);
    if (!inCallRef || !event)
        return paramErr;
    if (inCallRef->chainRun)
        return eventNotHandledErr;  // the rest has run already
    inCallRef->chainRun = true;
    EventTargetRef target = inCallRef->target;
    ++target->pins;
    RetainEvent(event);
    const OSStatus status = RunFrom(*inCallRef, event);
    ReleaseEvent(event);
    Unpin(target);
    return status;
}

OSStatus SendEventToEventTargetWithOptions(EventRef inEvent, EventTargetRef inTarget, UInt32 inOptions)
{
    EventRef event = AsEvent(inEvent);
    EventTargetRef target = AsTarget(inTarget);
    if (!event || !target)
        return paramErr;
    RetainEvent(event);
    tCurrentEvents.push_back(event);
    const OSStatus status = RunTarget(target, event, inOptions);
    tCurrentEvents.pop_back();
    ReleaseEvent(event);
    return status;
}

OSStatus SendEventToEventTarget(EventRef inEvent, EventTargetRef inTarget)
{
    return SendEventToEventTargetWithOptions(inEvent, inTarget, 0);
}

OSStatus InstallStandardEventHandler(EventTargetRef inTarget)
{
    EventTargetRef target = AsTarget(inTarget);
    if (!target)
        return paramErr;
    target->standardInstalled = true;
    return noErr;
}

EventRef GetCurrentEvent()
{
    return tCurrentEvents.empty() ? nullptr : tCurrentEvents.back();
}

// ---- the queue ----

struct OpaqueEventQueueRef {
    struct Entry {
        EventRef event;
        EventPriority priority;
    };
    std::deque<Entry> entries;
    EventLoopTimerRef pump = nullptr;
};

namespace {

OpaqueEventQueueRef& MainQueue()
{
    static auto* const queue = new OpaqueEventQueueRef;
    return *queue;
}

OpaqueEventQueueRef* AsQueue(EventQueueRef queue)
{
    return queue == &MainQueue() ? queue : nullptr;
}

void PumpQueue(EventLoopTimerRef, void*)
{
    DispatchQueuedEvents();
}

// The queue is served on the next pass of the main loop, in nested loops
// (modal dialogs, menus, drags) as in the outer one.
void ScheduleQueue(OpaqueEventQueueRef& queue)
{
    if (!queue.pump)
        InstallEventLoopTimer(GetMainEventLoop(), 0, 0, PumpQueue, nullptr, &queue.pump);
    else
        SetEventLoopTimerNextFireTime(queue.pump, 0);
}

}  // namespace

EventQueueRef GetMainEventQueue()
{
    return &MainQueue();
}

EventQueueRef GetCurrentEventQueue()
{
    return &MainQueue();
}

OSStatus PostEventToQueue(EventQueueRef inQueue, EventRef inEvent, EventPriority inPriority)
{
    OpaqueEventQueueRef* queue = AsQueue(inQueue);
    EventRef event = AsEvent(inEvent);
    if (!queue || !event || inPriority < kEventPriorityLow || inPriority > kEventPriorityHigh)
        return paramErr;
    if (!OnMainThread())
        return eventInternalErr;  // the queue is the main thread's
    if (event->queued)
        return eventAlreadyPostedErr;
    event->queued = true;
    RetainEvent(event);
    // Behind every event of the same or a higher priority.
    auto place = std::find_if(queue->entries.begin(), queue->entries.end(),
                              [&](const OpaqueEventQueueRef::Entry& entry) { return entry.priority < inPriority; });
    queue->entries.insert(place, {event, inPriority});
    ScheduleQueue(*queue);
    return noErr;
}

OSStatus RemoveEventFromQueue(EventQueueRef inQueue, EventRef inEvent)
{
    OpaqueEventQueueRef* queue = AsQueue(inQueue);
    if (!queue)
        return paramErr;
    auto found = std::find_if(queue->entries.begin(), queue->entries.end(),
                              [&](const OpaqueEventQueueRef::Entry& entry) { return entry.event == inEvent; });
    if (found == queue->entries.end())
        return eventNotInQueueErr;
    queue->entries.erase(found);
    inEvent->queued = false;
    ReleaseEvent(inEvent);
    return noErr;
}

Boolean IsEventInQueue(EventQueueRef inQueue, EventRef inEvent)
{
    OpaqueEventQueueRef* queue = AsQueue(inQueue);
    return queue && std::any_of(queue->entries.begin(), queue->entries.end(),
                                [&](const OpaqueEventQueueRef::Entry& entry) { return entry.event == inEvent; });
}

ItemCount GetNumEventsInQueue(EventQueueRef inQueue)
{
    OpaqueEventQueueRef* queue = AsQueue(inQueue);
    return queue ? queue->entries.size() : 0;
}

OSStatus FlushEventQueue(EventQueueRef inQueue)
{
    OpaqueEventQueueRef* queue = AsQueue(inQueue);
    if (!queue)
        return paramErr;
    while (!queue->entries.empty())
        RemoveEventFromQueue(inQueue, queue->entries.front().event);
    return noErr;
}

int DispatchQueuedEvents()
{
    OpaqueEventQueueRef& queue = MainQueue();
    // Only what is queued now: an event posted by a handler waits for the
    // next pass, so a handler that posts again cannot hold the loop.
    size_t count = queue.entries.size();
    int dispatched = 0;
    while (count-- > 0 && !queue.entries.empty()) {
        EventRef event = queue.entries.front().event;
        queue.entries.pop_front();
        event->queued = false;
        EventTargetRef target = nullptr;
        GetEventParameter(event, kEventParamPostTarget, typeEventTargetRef, nullptr, sizeof target, nullptr, &target);
        if (!AsTarget(target))
            target = GetEventDispatcherTarget();
        SendEventToEventTarget(event, target);
        ReleaseEvent(event);
        ++dispatched;
    }
    if (!queue.entries.empty())
        ScheduleQueue(queue);
    return dispatched;
}

// ---- the application loop ----

namespace {

struct ApplicationLoop {
    std::vector<QEventLoop*> runs;  // RunApplicationEventLoop calls, innermost last
    bool pendingQuit = false;
};

ApplicationLoop& TheApplicationLoop()
{
    static auto* const loop = new ApplicationLoop;
    return *loop;
}

}  // namespace

void RunApplicationEventLoop()
{
    ApplicationLoop& loop = TheApplicationLoop();
    InstallStandardEventHandler(GetApplicationEventTarget());
    if (!QCoreApplication::instance()) {
        Diagnostics::WriteLine("Warning: RunApplicationEventLoop needs the application object; nothing ran.");
        return;
    }
    if (loop.pendingQuit) {
        loop.pendingQuit = false;
        return;
    }
    QEventLoop qtLoop;
    loop.runs.push_back(&qtLoop);
    DispatchQueuedEvents();
    if (loop.runs.back() == &qtLoop && !loop.pendingQuit)
        qtLoop.exec();
    loop.pendingQuit = false;
    loop.runs.pop_back();
}

void QuitApplicationEventLoop()
{
    ApplicationLoop& loop = TheApplicationLoop();
    if (loop.runs.empty()) {
        loop.pendingQuit = true;
        return;
    }
    // A Qt loop told to exit returns once the loops nested inside it have.
    loop.runs.back()->exit(0);
    loop.pendingQuit = true;  // for a quit that came before exec()
}
