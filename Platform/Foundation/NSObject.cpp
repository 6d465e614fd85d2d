#include "NSObject.h"

#include "NSString.h"

#include <CarbonCore/CarbonEventLoop.h>
#include <Support/Diagnostics.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

thread_local std::vector<NSAutoreleasePool*> tPools;

// The main thread's pool for objects autoreleased outside any pool, and
// its pending drain.
std::vector<NSObject*> gLoopPool;
EventLoopTimerRef gLoopDrain = nullptr;

void DrainLoopPool(EventLoopTimerRef timer, void*)
{
    RemoveEventLoopTimer(timer);
    gLoopDrain = nullptr;
    std::vector<NSObject*> objects;
    objects.swap(gLoopPool);
    for (NSObject* object : objects)
        object->release();
}

// The methods added at run time, by class name and selector. Classes gain
// methods on the main thread, but any thread may look one up.
std::mutex gAddedMethodsLock;
std::map<std::pair<std::string, std::string>, NSObjectMethod, std::less<>> gAddedMethods;

NSObjectMethod AddedMethod(const char* className, std::string_view selector)
{
    std::lock_guard lock(gAddedMethodsLock);
    auto it = gAddedMethods.find(std::make_pair(std::string(className), std::string(selector)));
    return it == gAddedMethods.end() ? nullptr : it->second;
}

}  // namespace

bool NSIsMainThread()
{
    // Asked at every autorelease: the two system calls are made once a thread.
    thread_local const bool main = gettid() == getpid();
    return main;
}

bool NSObjectAddMethod(const char* className, std::string_view selector, NSObjectMethod method)
{
    if (className == nullptr || *className == '\0' || selector.empty() || method == nullptr)
        return false;
    std::lock_guard lock(gAddedMethodsLock);
    return gAddedMethods.emplace(std::make_pair(std::string(className), std::string(selector)), method).second;
}

NSObject* NSObject::retain()
{
    retainCount_.fetch_add(1, std::memory_order_relaxed);
    return this;
}

void NSObject::release()
{
    if (retainCount_.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

NSObject* NSObject::autorelease()
{
    NSAutoreleasePool::addObject(this);
    return this;
}

NSString* NSObject::description() const
{
    char text[64];
    std::snprintf(text, sizeof text, "<%s: %p>", className(), static_cast<const void*>(this));
    return NSString::stringWithUTF8String(text);
}

bool NSObject::respondsToSelector(std::string_view selector) const
{
    return AddedMethod(className(), selector) != nullptr;
}

bool NSObject::performSelector(std::string_view selector, NSObject* argument)
{
    NSObjectMethod method = AddedMethod(className(), selector);
    if (method == nullptr)
        return false;
    method(this, selector, argument);
    return true;
}

NSAutoreleasePool* NSAutoreleasePool::newPool()
{
    auto* pool = new NSAutoreleasePool;
    tPools.push_back(pool);
    return pool;
}

void NSAutoreleasePool::addObject(NSObject* object)
{
    if (object == nullptr)
        return;
    if (!tPools.empty()) {
        tPools.back()->objects_.push_back(object);
        return;
    }
    if (NSIsMainThread()) {
        gLoopPool.push_back(object);
        if (gLoopDrain == nullptr)
            InstallEventLoopTimer(GetMainEventLoop(), 0.0, 0.0, DrainLoopPool, nullptr, &gLoopDrain);
        return;
    }
    Diagnostics::WriteLine(std::string("Warning: A ") + object->className() +
                           " was autoreleased with no pool in place and leaks.");
}

size_t NSAutoreleasePool::openPoolCount()
{
    return tPools.size();
}

void NSAutoreleasePool::ReleaseObjects()
{
    // Releasing may autorelease more objects into this pool: go on until empty.
    while (!objects_.empty()) {
        std::vector<NSObject*> objects;
        objects.swap(objects_);
        for (NSObject* object : objects)
            object->release();
    }
}

void NSAutoreleasePool::drain()
{
    // Pools opened inside this one and left open close with it.
    while (!tPools.empty() && tPools.back() != this) {
        NSAutoreleasePool* inner = tPools.back();
        inner->ReleaseObjects();
        tPools.pop_back();
        inner->NSObject::release();
    }
    ReleaseObjects();
    if (!tPools.empty() && tPools.back() == this)
        tPools.pop_back();
    NSObject::release();
}
