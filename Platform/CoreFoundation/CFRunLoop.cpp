#include "CFRunLoop.h"

#include "CFRuntime.h"
#include "CFStringInternal.h"

#include <map>
#include <mutex>

#include <sys/types.h>
#include <unistd.h>

struct CFRunLoopObject final : CFRuntimeObject {
    explicit CFRunLoopObject(pid_t threadID)
        : CFRuntimeObject(CFRunLoopGetTypeID(), /*immortal=*/true), thread(threadID)
    {}

    bool IsMain() const { return thread == getpid(); }

    CFStringRef CopyDescription() const override
    {
        return CFStringCreateWithUTF8(CFRuntimeDescriptionPrefix(this) + (IsMain() ? "{main}" : "{thread}"));
    }

    const pid_t thread;
};

namespace {

// One run loop per thread, made on first use. The main one belongs to the
// process's first thread, the one the programs make their application on
// (the main event loop's rule too). Run loops outlive their threads: another
// thread may still hold a reference.
CFRunLoopRef RunLoopFor(pid_t thread)
{
    static std::mutex mutex;
    static auto* loops = new std::map<pid_t, CFRunLoopObject*>;
    std::lock_guard lock(mutex);
    CFRunLoopObject*& runLoop = (*loops)[thread];
    if (runLoop == nullptr)
        runLoop = new CFRunLoopObject(thread);
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
    thread_local CFRunLoopRef current = RunLoopFor(gettid());
    return current;
}

CFRunLoopRef CFRunLoopGetMain()
{
    static const CFRunLoopRef main = RunLoopFor(getpid());
    return main;
}

Boolean CFRunLoopIsCurrent(CFRunLoopRef rl)
{
    return rl != nullptr && rl == CFRunLoopGetCurrent();
}
