// Apple-event handlers, sending to this process, the queue that carries
// Apple events to the application target, and the launch events.
#include "AppleEvents.h"

#include "AppleEventsInternal.h"
#include "Files.h"
#include "Processes.h"

#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreFoundation/CFURL.h>
#include <Support/Diagnostics.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

// ---- handlers ----

struct Handler {
    AEEventHandlerUPP proc = nullptr;
    SRefCon refCon = nullptr;
};

struct HandlerTables {
    std::mutex mutex;
    std::map<std::pair<AEEventClass, AEEventID>, Handler> tables[2];  // application, system
};

HandlerTables& Handlers()
{
    static auto* tables = new HandlerTables;
    return *tables;
}

// The handlers that match, in the order they are asked.
std::vector<Handler> HandlersFor(AEEventClass eventClass, AEEventID eventID)
{
    const std::pair<AEEventClass, AEEventID> keys[] = {
        {eventClass, eventID}, {eventClass, typeWildCard}, {typeWildCard, eventID}, {typeWildCard, typeWildCard}};
    HandlerTables& handlers = Handlers();
    std::lock_guard lock(handlers.mutex);
    std::vector<Handler> found;
    for (const auto& table : handlers.tables)
        for (const auto& key : keys)
            if (auto it = table.find(key); it != table.end())
                found.push_back(it->second);
    return found;
}

OSType TypeAttribute(const AppleEvent* event, AEKeyword keyword)
{
    OSType code = 0;
    AEGetAttributePtr(event, keyword, typeType, nullptr, &code, sizeof code, nullptr);
    return code;
}

// Asks the handlers that match in turn until one answers anything but
// errAEEventNotHandled. A handler's error goes into the reply (when there is
// one) unless the handler put its own there.
OSErr Dispatch(const AppleEvent* event, AppleEvent* reply)
{
    OSType eventClass = 0;
    if (const OSErr status =
            AEGetAttributePtr(event, keyEventClassAttr, typeType, nullptr, &eventClass, sizeof eventClass, nullptr))
        return status;
    OSErr result = errAEEventNotHandled;
    for (const Handler& handler : HandlersFor(eventClass, TypeAttribute(event, keyEventIDAttr))) {
        result = handler.proc(event, reply, handler.refCon);
        if (result != errAEEventNotHandled)
            break;
    }
    if (result != noErr && AESizeOfParam(reply, keyErrorNumber, nullptr, nullptr) == errAEDescNotFound) {
        const SInt32 number = result;
        AEPutParamPtr(reply, keyErrorNumber, typeSInt32, &number, sizeof number);
    }
    return result;
}

std::string MainBundleIdentifier()
{
    CFBundleRef bundle = CFBundleGetMainBundle();
    return bundle ? CFStringToUTF8(CFBundleGetIdentifier(bundle)) : std::string();
}

// Whether the event is addressed to this process. No address is this
// process.
bool AddressesThisProcess(const AppleEvent* event)
{
    AEAddressDesc address;
    if (AEGetAttributeDesc(event, keyAddressAttr, typeWildCard, &address) != noErr)
        return true;
    std::vector<char> bytes(static_cast<size_t>(AEGetDescDataSize(&address)));
    AEGetDescData(&address, bytes.data(), static_cast<Size>(bytes.size()));
    const DescType type = address.descriptorType;
    AEDisposeDesc(&address);
    if (type == typeNull)
        return true;
    if (type == typeProcessSerialNumber && bytes.size() == sizeof(ProcessSerialNumber)) {
        ProcessSerialNumber psn, current;
        std::memcpy(&psn, bytes.data(), sizeof psn);
        GetCurrentProcess(&current);
        Boolean same = false;
        return SameProcess(&psn, &current, &same) == noErr && same;
    }
    if (type == typeKernelProcessID && bytes.size() == sizeof(pid_t)) {
        pid_t pid = 0;
        std::memcpy(&pid, bytes.data(), sizeof pid);
        return pid == getpid();
    }
    if (type == typeApplicationBundleID) {
        const std::string identifier = MainBundleIdentifier();
        return !identifier.empty() && std::string(bytes.begin(), bytes.end()) == identifier;
    }
    return false;
}

// ---- the queue ----

// Apple events waiting in the main event queue, each with the Carbon event
// that carries it there. Main thread only.
struct Pending {
    EventRef carrier;
    AppleEvent event;
};

std::vector<Pending>& PendingEvents()
{
    static auto* pending = new std::vector<Pending>;
    return *pending;
}

// Drops what was flushed from the queue: events neither queued nor held by
// anyone but us.
void DropFlushed()
{
    auto& pending = PendingEvents();
    for (auto it = pending.begin(); it != pending.end();) {
        if (!IsEventInQueue(GetMainEventQueue(), it->carrier) && GetEventRetainCount(it->carrier) == 1) {
            AEDisposeDesc(&it->event);
            ReleaseEvent(it->carrier);
            it = pending.erase(it);
        } else {
            ++it;
        }
    }
}

OSStatus HandleAppleEventCarrier(EventHandlerCallRef, EventRef event, void*)
{
    try {
        return AEProcessEvent(event);
    } catch (...) {
        Diagnostics::ReportException("AEProcessEvent");
        return noErr;
    }
}

void InstallCarrierHandler()
{
    static EventHandlerRef handler = nullptr;
    if (handler != nullptr && GetEventHandlerTarget(handler) != nullptr)
        return;
    static const EventTypeSpec kinds[] = {{kEventClassAppleEvent, kEventAppleEvent}};
    InstallEventHandler(GetApplicationEventTarget(), HandleAppleEventCarrier, 1, kinds, nullptr, &handler);
}

// Posting comes first: the queue is the main thread's, and it refuses a
// post from any other before anything of ours is touched.
OSErr Queue(const AppleEvent* event, AEEventClass eventClass, AEEventID eventID, AESendPriority priority)
{
    AppleEvent copy;
    if (const OSErr status = AEDuplicateDesc(event, &copy))
        return status;
    EventRef carrier = nullptr;
    OSStatus status = CreateEvent(nullptr, kEventClassAppleEvent, kEventAppleEvent, GetCurrentEventTime(),
                                  kEventAttributeNone, &carrier);
    if (status == noErr) {
        SetEventParameter(carrier, kEventParamAEEventClass, typeType, sizeof eventClass, &eventClass);
        SetEventParameter(carrier, kEventParamAEEventID, typeType, sizeof eventID, &eventID);
        status = PostEventToQueue(GetMainEventQueue(), carrier,
                                  priority == kAEHighPriority ? kEventPriorityHigh : kEventPriorityStandard);
    }
    if (status != noErr) {
        AEDisposeDesc(&copy);
        if (carrier)
            ReleaseEvent(carrier);
        return static_cast<OSErr>(status);
    }
    InstallCarrierHandler();
    DropFlushed();
    PendingEvents().push_back(Pending{carrier, copy});
    return noErr;
}

OSErr Send(const AppleEvent* event, AppleEvent* reply, AESendMode sendMode, AESendPriority priority)
{
    if (reply != nullptr)
        AEInitializeDesc(reply);
    OSType eventClass = 0;
    if (const OSErr status =
            AEGetAttributePtr(event, keyEventClassAttr, typeType, nullptr, &eventClass, sizeof eventClass, nullptr))
        return status;
    const AESendMode replyMode = sendMode & 0x3;
    if (replyMode == 0)
        return errAEUnknownSendMode;
    if (replyMode == kAEWaitReply && reply == nullptr)
        return paramErr;
    if (!AddressesThisProcess(event))
        return procNotFound;
    if (replyMode != kAEWaitReply)
        return Queue(event, eventClass, TypeAttribute(event, keyEventIDAttr), priority);
    ProcessSerialNumber self{0, kCurrentProcess};
    AEAddressDesc target;
    AECreateDesc(typeProcessSerialNumber, &self, sizeof self, &target);
    AEReturnID returnID = 0;
    AEGetAttributePtr(event, keyReturnIDAttr, typeSInt16, nullptr, &returnID, sizeof returnID, nullptr);
    AECreateAppleEvent(kCoreEventClass, kAEAnswer, &target, returnID, kAnyTransactionID, reply);
    AEDisposeDesc(&target);
    return Dispatch(event, reply);
}

// ---- launch events ----

std::string FileURLText(const FSRef& ref)
{
    CFRef<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &ref));
    return url ? CFStringToUTF8(CFURLGetString(url)) : std::string();
}

// The paths of existing files, absolute and resolved; the others are left
// out, and reported when they came from our own command line (paths from
// the bus are not quoted).
std::vector<std::string> ExistingFiles(const std::vector<std::string>& paths, bool report)
{
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(path, error);
        FSRef ref;
        if (error || FSPathMakeRef(reinterpret_cast<const UInt8*>(absolute.c_str()), &ref, nullptr) != noErr) {
            if (report)
                Diagnostics::WriteLine("Warning: The file " + path + " does not exist and is not opened.");
            continue;
        }
        files.push_back(ref.path);
    }
    return files;
}

// Queues 'aevt'/<id> to this process; with files, their list is the
// direct object.
OSErr QueueCoreEvent(AEEventID eventID, const std::vector<std::string>& files)
{
    const ProcessSerialNumber self{0, kCurrentProcess};
    AEAddressDesc target;
    AECreateDesc(typeProcessSerialNumber, &self, sizeof self, &target);
    AppleEvent event;
    OSErr status =
        AECreateAppleEvent(kCoreEventClass, eventID, &target, kAutoGenerateReturnID, kAnyTransactionID, &event);
    AEDisposeDesc(&target);
    if (status != noErr)
        return status;
    if (!files.empty()) {
        AEDescList list;
        AECreateList(nullptr, 0, false, &list);
        for (const std::string& file : files) {
            FSRef ref;
            if (FSPathMakeRef(reinterpret_cast<const UInt8*>(file.c_str()), &ref, nullptr) != noErr)
                continue;
            const std::string url = FileURLText(ref);
            if (!url.empty())
                AEPutPtr(&list, 0, typeFileURL, url.data(), static_cast<Size>(url.size()));
        }
        AEPutParamDesc(&event, keyDirectObject, &list);
        AEDisposeDesc(&list);
    }
    status = AESend(&event, nullptr, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr);
    AEDisposeDesc(&event);
    return status;
}

}  // namespace

// ---- handlers and dispatch ----

OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                            SRefCon handlerRefcon, Boolean isSysHandler)
{
    if (handler == nullptr)
        return paramErr;
    HandlerTables& handlers = Handlers();
    std::lock_guard lock(handlers.mutex);
    handlers.tables[isSysHandler ? 1 : 0][{theAEEventClass, theAEEventID}] = Handler{handler, handlerRefcon};
    return noErr;
}

OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP handler,
                           Boolean isSysHandler)
{
    HandlerTables& handlers = Handlers();
    std::lock_guard lock(handlers.mutex);
    auto& table = handlers.tables[isSysHandler ? 1 : 0];
    auto it = table.find({theAEEventClass, theAEEventID});
    if (it == table.end() || it->second.proc != handler)
        return errAEHandlerNotFound;
    table.erase(it);
    return noErr;
}

OSErr AEGetEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID, AEEventHandlerUPP* handler,
                        SRefCon* handlerRefcon, Boolean isSysHandler)
{
    HandlerTables& handlers = Handlers();
    std::lock_guard lock(handlers.mutex);
    auto& table = handlers.tables[isSysHandler ? 1 : 0];
    auto it = table.find({theAEEventClass, theAEEventID});
    if (it == table.end())
        return errAEHandlerNotFound;
    if (handler)
        *handler = it->second.proc;
    if (handlerRefcon)
        *handlerRefcon = it->second.refCon;
    return noErr;
}

OSErr AESend(const AppleEvent* theAppleEvent, AppleEvent* reply, AESendMode sendMode, AESendPriority sendPriority,
             SInt32, AEIdleUPP, AEFilterUPP)
{
    return Send(theAppleEvent, reply, sendMode, sendPriority);
}

OSStatus AESendMessage(const AppleEvent* event, AppleEvent* reply, AESendMode sendMode, long)
{
    return Send(event, reply, sendMode, kAENormalPriority);
}

OSStatus AEProcessEvent(EventRef inEvent)
{
    auto& pending = PendingEvents();
    auto it = std::find_if(pending.begin(), pending.end(), [&](const Pending& p) { return p.carrier == inEvent; });
    if (it == pending.end())
        return eventNotHandledErr;
    Pending taken = *it;
    pending.erase(it);
    DropFlushed();
    AppleEvent reply = {typeNull, nullptr};
    const OSErr result = Dispatch(&taken.event, &reply);
    AEDisposeDesc(&taken.event);
    ReleaseEvent(taken.carrier);
    return result;
}

// ---- launch events ----

std::vector<std::string> AppleEventsInternal::LaunchFiles(int argc, const char* const* argv)
{
    std::vector<std::string> paths;
    bool options = true;
    for (int i = 1; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
        const std::string argument = argv[i];
        if (options && argument == "--") {
            options = false;
            continue;
        }
        if (options && !argument.empty() && argument[0] == '-')
            continue;
        if (!argument.empty())
            paths.push_back(argument);
    }
    return ExistingFiles(paths, true);
}

OSErr AEDeliverLaunchDocuments(int argc, const char* const* argv)
{
    if (argc < 0 || (argv == nullptr && argc > 0))
        return paramErr;
    const std::vector<std::string> files = AppleEventsInternal::LaunchFiles(argc, argv);
    return QueueCoreEvent(files.empty() ? kAEOpenApplication : kAEOpenDocuments, files);
}

OSErr AEDeliverOpenDocuments(const char* const* paths, int count)
{
    if (count < 0 || (paths == nullptr && count > 0))
        return paramErr;
    std::vector<std::string> absolute;
    for (int i = 0; i < count; ++i)
        if (paths[i] != nullptr && paths[i][0] == '/')
            absolute.push_back(paths[i]);
    const std::vector<std::string> files = ExistingFiles(absolute, false);
    return QueueCoreEvent(files.empty() ? kAEReopenApplication : kAEOpenDocuments, files);
}
