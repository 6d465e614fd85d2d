#include "CFRunLoop.h"

#include "CFRuntime.h"
#include "CFStringInternal.h"

#include <CarbonCore/CarbonEventLoop.h>

#include <map>
#include <mutex>

struct CFRunLoopObject final : CFRuntimeObject {
    explicit CFRunLoopObject(EventLoopRef eventLoop)
        : CFRuntimeObject(CFRunLoopGetTypeID(), /*immortal=*/true), loop(eventLoop)
    {}

    CFStringRef CopyDescription() const override
    {
        return CFStringCreateWithUTF8(CFRuntimeDescriptionPrefix(this) +
                                      (loop == GetMainEventLoop() ? "{main}" : "{thread}"));
    }

    const EventLoopRef loop;
};

namespace {

// One run loop per event loop, made on first use. Event loops outlive their
// threads (another thread may still hold a reference), and so do these.
CFRunLoopRef RunLoopFor(EventLoopRef eventLoop)
{
    static std::mutex mutex;
    static auto* loops = new std::map<EventLoopRef, CFRunLoopObject*>;
    std::lock_guard lock(mutex);
    CFRunLoopObject*& runLoop = (*loops)[eventLoop];
    if (runLoop == nullptr)
        runLoop = new CFRunLoopObject(eventLoop);
    return runLoop;
}

}  // namespace

const CFStringRef kCFRunLoopDefaultMode = CFSTR("kCFRunLoopDefaultMode");
const CFStringRef kCFRunLoopCommonModes = CFSTR("kCFRunLoopCommonModes");

CFTypeID CFRunLoopGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CFRunLoop");
    return type;
}

CFRunLoopRef CFRunLoopGetCurrent()
{
    thread_local CFRunLoopRef current = RunLoopFor(GetCurrentEventLoop());
    return current;
}

CFRunLoopRef CFRunLoopGetMain()
{
    static const CFRunLoopRef main = RunLoopFor(GetMainEventLoop());
    return main;
}

Boolean CFRunLoopIsCurrent(CFRunLoopRef rl)
{
    return rl != nullptr && rl == CFRunLoopGetCurrent();
}
