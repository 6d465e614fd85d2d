// The root of the Cocoa-side objects the units use, and autorelease pools.
//
// Objects are reference counted like the platform's: a factory whose name
// begins with "new" (or a copy) answers an object the caller owns (count
// 1); a class convenience factory answers an autoreleased one, released when
// the innermost autorelease pool of the thread drains. On the main thread an
// object autoreleased with no pool open goes to the event loop's own pool,
// drained on the loop's next pass.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <string_view>
#include <vector>

typedef long NSInteger;
typedef unsigned long NSUInteger;
typedef double NSTimeInterval;

inline constexpr NSInteger NSIntegerMax = __LONG_MAX__;
inline constexpr NSUInteger NSNotFound = static_cast<NSUInteger>(NSIntegerMax);

typedef enum : NSInteger {
    NSOrderedAscending = -1,
    NSOrderedSame = 0,
    NSOrderedDescending = 1,
} NSComparisonResult;

class NSString;
class NSObject;

// Whether the caller runs on the process's first thread (the main thread,
// as +[NSThread isMainThread] answers).
bool NSIsMainThread();

// A method added to a class while the program runs: the receiver, the
// selector it was sent by, and the message's one object argument (an
// action's sender).
typedef void (*NSObjectMethod)(NSObject* self, std::string_view selector, NSObject* argument);

// Adds a method for `selector` to the class named `className` (the objects
// whose className() is that name). False, leaving the class as it was, when
// the class has a method for that selector already or a name is empty.
bool NSObjectAddMethod(const char* className, std::string_view selector, NSObjectMethod method);

class NSObject {
public:
    NSObject* retain();
    virtual void release();
    // Hands one release to the innermost pool of the thread.
    NSObject* autorelease();
    NSUInteger retainCount() const { return static_cast<NSUInteger>(retainCount_.load(std::memory_order_relaxed)); }

    virtual const char* className() const { return "NSObject"; }
    // A text describing the object, autoreleased.
    virtual NSString* description() const;
    virtual bool isEqual(const NSObject* other) const { return this == other; }
    virtual NSUInteger hash() const { return reinterpret_cast<NSUInteger>(this); }
    // Whether the object answers a message, named by its selector
    // ("setDoesRelativeDateFormatting:"): only the optional ones are listed,
    // and the methods added to its class (NSObjectAddMethod).
    virtual bool respondsToSelector(std::string_view selector) const;
    // Sends the message named by `selector` with one object argument: runs
    // the method added to the receiver's class for it. False, doing
    // nothing, when the class has none.
    bool performSelector(std::string_view selector, NSObject* argument);

protected:
    NSObject() = default;
    virtual ~NSObject() = default;
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;

private:
    std::atomic<int32_t> retainCount_{1};
};

// `object` autoreleased, keeping its type.
template <typename T>
T* NSAutorelease(T* object)
{
    if (object)
        object->autorelease();
    return object;
}

// A pool of autoreleased objects. Pools nest per thread: an object goes to
// the innermost one. Releasing (or draining) a pool releases its objects,
// and those of any pool opened inside it and still open.
class NSAutoreleasePool : public NSObject {
public:
    // Opens a pool on the calling thread; the caller releases it to drain it.
    static NSAutoreleasePool* newPool();
    // Releases the pool's objects and closes it (and the pools inside it).
    void drain();
    // Releasing a pool drains it.
    void release() override { drain(); }
    const char* className() const override { return "NSAutoreleasePool"; }

    // Adds one release of `object` to the innermost pool of the thread.
    static void addObject(NSObject* object);
    // How many pools are open on the calling thread.
    static size_t openPoolCount();

private:
    NSAutoreleasePool() = default;
    void ReleaseObjects();
    friend class NSObject;

    std::vector<NSObject*> objects_;
};
