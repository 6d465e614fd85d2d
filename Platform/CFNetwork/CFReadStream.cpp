#include "CFHTTPTransfer.h"

#include <CoreFoundation/CFNumber.h>
#include <CoreFoundation/CFStringUTF8.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

CFTypeID StreamTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CFReadStream");
    return type;
}

}  // namespace

struct CFReadStreamObject final : CFRuntimeObject {
    explicit CFReadStreamObject(CFHTTPMessageRef message) : CFRuntimeObject(StreamTypeID()), request(message) {}

    ~CFReadStreamObject() override
    {
        transfer.reset();
        if (context.info != nullptr && context.release != nullptr)
            context.release(context.info);
        for (const auto& schedule : schedules)
            CFRelease(schedule.second);
        CFRelease(request);
    }

    CFStringRef CopyDescription() const override
    {
        const CFHTTPMessageObject* message = CFHTTPMessageObjectOf(request);
        return CFStringCreateWithUTF8OrMacRoman(CFRuntimeDescriptionPrefix(this) + "{" + message->method + " " +
                                                CFStringToUTF8(CFURLGetString(message->url)) +
                                                ", status = " + std::to_string(status) + "}");
    }

    const CFHTTPMessageRef request;
    bool followRedirects = false;
    CFStreamStatus status = kCFStreamStatusNotOpen;
    CFStreamError error{0, 0};

    CFOptionFlags events = 0;
    CFReadStreamClientCallBack callback = nullptr;
    CFStreamClientContext context{};
    std::vector<std::pair<CFRunLoopRef, CFStringRef>> schedules;

    std::unique_ptr<CFHTTPTransfer> transfer;
    bool openReported = false;
    // The end or the error was told (or the open failed): nothing follows.
    bool finalReported = false;
    // Reads blocked waiting for the network: events wait for them.
    int waitingReads = 0;
};

namespace {

CFReadStreamObject* AsStream(CFReadStreamRef stream)
{
    if (stream == nullptr || CFRuntimeObjectOf(stream)->TypeID() != StreamTypeID())
        return nullptr;
    return stream;
}

bool IsUnderWay(const CFReadStreamObject* s)
{
    return s->status == kCFStreamStatusOpening || s->status == kCFStreamStatusOpen ||
           s->status == kCFStreamStatusReading;
}

// Moves a stream under way to its end or its error once the transfer has
// finished and every byte before was read.
void Settle(CFReadStreamObject* s)
{
    if (!IsUnderWay(s) || !s->transfer || !s->transfer->OnItsThread())
        return;
    if (!s->transfer->IsFinished() || s->transfer->BytesAvailable() > 0)
        return;
    s->error = s->transfer->Error();
    s->status = s->error.domain != 0 ? kCFStreamStatusError : kCFStreamStatusAtEnd;
}

void RequestDelivery(CFReadStreamObject* s)
{
    if (s->transfer)
        s->transfer->PostChanged();
}

bool IsScheduledHere(const CFReadStreamObject* s)
{
    return std::any_of(s->schedules.begin(), s->schedules.end(),
                       [](const auto& schedule) { return CFRunLoopIsCurrent(schedule.first); });
}

void Notify(CFReadStreamObject* s, CFStreamEventType type)
{
    if ((s->events & type) != 0)
        s->callback(s, type, s->context.info);
}

// One event per pass of the loop, the one the stream's state calls for; the
// transfer asks for a pass whenever that may have changed.
void Deliver(CFReadStreamObject* s)
{
    if (s->waitingReads > 0 || s->callback == nullptr || s->finalReported || !IsUnderWay(s) || !IsScheduledHere(s))
        return;
    // The client may release the stream from its callback.
    CFRetain(s);
    if (!s->openReported) {
        s->openReported = true;
        if (s->status == kCFStreamStatusOpening)
            s->status = kCFStreamStatusOpen;
        RequestDelivery(s);
        Notify(s, kCFStreamEventOpenCompleted);
    } else {
        Settle(s);
        const bool bytesWaiting = IsUnderWay(s) && s->transfer->BytesAvailable() > 0;
        if (bytesWaiting && (s->events & kCFStreamEventHasBytesAvailable) != 0) {
            // Told again after the client reads, or when more arrive.
            Notify(s, kCFStreamEventHasBytesAvailable);
        } else if (bytesWaiting && s->transfer->IsFinished() && s->transfer->Error().domain != 0) {
            // A client that does not hear of bytes does not read them; the
            // error must not wait for that.
            s->error = s->transfer->Error();
            s->status = kCFStreamStatusError;
            s->finalReported = true;
            Notify(s, kCFStreamEventErrorOccurred);
        } else if (s->status == kCFStreamStatusAtEnd) {
            s->finalReported = true;
            Notify(s, kCFStreamEventEndEncountered);
        } else if (s->status == kCFStreamStatusError) {
            s->finalReported = true;
            Notify(s, kCFStreamEventErrorOccurred);
        }
    }
    CFRelease(s);
}

}  // namespace

const CFStringRef kCFStreamPropertyHTTPShouldAutoredirect = CFSTR("kCFStreamPropertyHTTPShouldAutoredirect");
const CFStringRef kCFStreamPropertyHTTPResponseHeader = CFSTR("kCFStreamPropertyHTTPResponseHeader");
const CFStringRef kCFStreamPropertyHTTPFinalURL = CFSTR("kCFStreamPropertyHTTPFinalURL");

CFTypeID CFReadStreamGetTypeID()
{
    return StreamTypeID();
}

CFReadStreamRef CFReadStreamCreateForHTTPRequest(CFAllocatorRef, CFHTTPMessageRef request)
{
    if (!CFHTTPMessageIsRequest(request))
        return nullptr;
    return new CFReadStreamObject(CFHTTPMessageCreateCopy(nullptr, request));
}

CFStreamStatus CFReadStreamGetStatus(CFReadStreamRef stream)
{
    CFReadStreamObject* s = AsStream(stream);
    if (s == nullptr)
        return kCFStreamStatusError;
    Settle(s);
    return s->status;
}

CFStreamError CFReadStreamGetError(CFReadStreamRef stream)
{
    CFReadStreamObject* s = AsStream(stream);
    if (s == nullptr)
        return {0, 0};
    Settle(s);
    return s->status == kCFStreamStatusError ? s->error : CFStreamError{0, 0};
}

Boolean CFReadStreamSetClient(CFReadStreamRef stream, CFOptionFlags streamEvents, CFReadStreamClientCallBack clientCB,
                              CFStreamClientContext* clientContext)
{
    CFReadStreamObject* s = AsStream(stream);
    if (s == nullptr)
        return false;
    CFStreamClientContext old = s->context;
    s->context = {};
    s->callback = nullptr;
    s->events = 0;
    if (clientCB != nullptr && streamEvents != 0) {
        if (clientContext != nullptr) {
            s->context = *clientContext;
            if (s->context.info != nullptr && s->context.retain != nullptr)
                s->context.info = s->context.retain(s->context.info);
        }
        s->callback = clientCB;
        s->events = streamEvents;
        RequestDelivery(s);
    }
    // After the new info was retained, which may be the same.
    if (old.info != nullptr && old.release != nullptr)
        old.release(old.info);
    return true;
}

void CFReadStreamScheduleWithRunLoop(CFReadStreamRef stream, CFRunLoopRef runLoop, CFStringRef runLoopMode)
{
    CFReadStreamObject* s = AsStream(stream);
    if (s == nullptr || runLoop == nullptr || runLoopMode == nullptr)
        return;
    const bool known = std::any_of(s->schedules.begin(), s->schedules.end(), [&](const auto& schedule) {
        return schedule.first == runLoop && CFEqual(schedule.second, runLoopMode);
    });
    if (!known)
        s->schedules.emplace_back(runLoop, CFStringCreateCopy(nullptr, runLoopMode));
    RequestDelivery(s);
}

void CFReadStreamUnscheduleFromRunLoop(CFReadStreamRef stream, CFRunLoopRef runLoop, CFStringRef runLoopMode)
{
    CFReadStreamObject* s = AsStream(stream);
    if (s == nullptr)
        return;
    auto schedule = std::find_if(s->schedules.begin(), s->schedules.end(), [&](const auto& entry) {
        return entry.first == runLoop && CFEqual(entry.second, runLoopMode);
    });
    if (schedule != s->schedules.end()) {
        CFRelease(schedule->second);
        s->schedules.erase(schedule);
    }
}

Boolean CFReadStreamOpen(CFReadStreamRef stream)
{
    CFReadStreamObject* s = AsStream(stream);
    if (s == nullptr || s->status != kCFStreamStatusNotOpen)
        return false;
    CFStreamError error{0, 0};
    s->transfer = CFHTTPTransfer::Start(
        *CFHTTPMessageObjectOf(s->request), s->followRedirects, [s] { Deliver(s); }, &error);
    if (!s->transfer) {
        s->status = kCFStreamStatusError;
        s->error = error;
        s->finalReported = true;
        return false;
    }
    s->status = kCFStreamStatusOpening;
    RequestDelivery(s);
    return true;
}

namespace {

// What a read takes once the transfer has bytes, the end or an error.
CFIndex TakeBytes(CFReadStreamObject* s, UInt8* buffer, CFIndex bufferLength)
{
    const CFIndex count = s->transfer->Read(buffer, bufferLength);
    if (count > 0 && s->status == kCFStreamStatusOpening)
        s->status = kCFStreamStatusOpen;
    // What is left, or the end, is told on a later pass.
    RequestDelivery(s);
    if (count > 0)
        return count;
    Settle(s);
    return s->status == kCFStreamStatusError ? -1 : 0;
}

}  // namespace

CFIndex CFReadStreamRead(CFReadStreamRef stream, UInt8* buffer, CFIndex bufferLength)
{
    CFReadStreamObject* s = AsStream(stream);
    if (s == nullptr || bufferLength < 0 || (bufferLength > 0 && buffer == nullptr))
        return -1;
    Settle(s);
    if (s->status == kCFStreamStatusAtEnd)
        return 0;
    if (!IsUnderWay(s) || !s->transfer->OnItsThread())
        return -1;
    if (bufferLength == 0)
        return 0;
    if (s->transfer->BytesAvailable() == 0 && !s->transfer->IsFinished()) {
        // Whatever runs meanwhile may close or release the stream; released,
        // it stays until this read has taken what came.
        CFRetain(s);
        ++s->waitingReads;
        while (s->transfer && s->transfer->BytesAvailable() == 0 && !s->transfer->IsFinished())
            s->transfer->WaitForProgress();
        --s->waitingReads;
        const CFIndex count = s->transfer ? TakeBytes(s, buffer, bufferLength) : -1;
        CFRelease(s);
        return count;
    }
    return TakeBytes(s, buffer, bufferLength);
}

Boolean CFReadStreamHasBytesAvailable(CFReadStreamRef stream)
{
    CFReadStreamObject* s = AsStream(stream);
    return s != nullptr && IsUnderWay(s) && s->transfer->OnItsThread() && s->transfer->BytesAvailable() > 0;
}

void CFReadStreamClose(CFReadStreamRef stream)
{
    CFReadStreamObject* s = AsStream(stream);
    if (s == nullptr)
        return;
    s->status = kCFStreamStatusClosed;
    s->transfer.reset();
}

Boolean CFReadStreamSetProperty(CFReadStreamRef stream, CFStringRef propertyName, CFTypeRef propertyValue)
{
    CFReadStreamObject* s = AsStream(stream);
    if (s == nullptr || s->status != kCFStreamStatusNotOpen)
        return false;
    if (CFEqual(propertyName, kCFStreamPropertyHTTPShouldAutoredirect) &&
        CFGetTypeID(propertyValue) == CFBooleanGetTypeID()) {
        s->followRedirects = CFBooleanGetValue(static_cast<CFBooleanRef>(propertyValue));
        return true;
    }
    return false;
}

CFTypeRef CFReadStreamCopyProperty(CFReadStreamRef stream, CFStringRef propertyName)
{
    CFReadStreamObject* s = AsStream(stream);
    if (s == nullptr)
        return nullptr;
    if (CFEqual(propertyName, kCFStreamPropertyHTTPShouldAutoredirect))
        return CFRetain(s->followRedirects ? kCFBooleanTrue : kCFBooleanFalse);
    if (!s->transfer || !s->transfer->OnItsThread())
        return nullptr;
    if (CFEqual(propertyName, kCFStreamPropertyHTTPResponseHeader))
        return s->transfer->CopyResponseHeader();
    if (CFEqual(propertyName, kCFStreamPropertyHTTPFinalURL))
        return s->transfer->CopyFinalURL();
    return nullptr;
}
