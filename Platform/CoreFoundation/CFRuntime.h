// The object model behind every CF reference. Not part of the public
// interface: platform code that defines a new CF type (URLs, images, ...)
// derives its object from CFRuntimeObject and registers a type ID.
#pragma once

#include <CoreFoundation/CFBase.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

// Memory for CF objects and the lists inside containers. Outside a
// CFNodeArenaScope a block is the C library's; inside one (a reader
// building a large tree) blocks are carved in order from chunks of whole
// huge pages, so that a tree of tens of thousands of objects costs a page
// fault per 2 MB and no search of the heap's free lists, and freeing it
// costs a count per object. A chunk goes back to the system when the last
// block carved from it is freed, whenever and on whichever thread that
// happens: objects outlive the tree, are retained elsewhere, are freed one
// by one like any other. The chunk a thread's last scope ended in is the
// exception: the thread keeps it, with the room left in it, for its next
// tree (from the start again once all its blocks are freed) until the
// thread ends. Under AddressSanitizer every block is the C
// library's, so the sanitizer sees each object (a build defining
// CF_NODE_ARENAS=1 keeps the arenas, to run their own paths under it).
void* CFNodeAllocate(size_t size);
void CFNodeFree(void* block) noexcept;

// While one lives, this thread's nodes come from chunks of its own, when
// `expectedBytes` (what the caller will build) is large enough to be worth
// a huge page; a scope for less leaves the thread as it was.
class CFNodeArenaScope {
public:
    explicit CFNodeArenaScope(size_t expectedBytes);
    ~CFNodeArenaScope();
    CFNodeArenaScope(const CFNodeArenaScope&) = delete;
    CFNodeArenaScope& operator=(const CFNodeArenaScope&) = delete;

private:
    void* arena_ = nullptr;
    void* outer_ = nullptr;
};

// Room left at the end of the chunk this thread's last scope carved from:
// memory a tree's pages are already present for, where a text being built
// (a written property list) lands without a page fault. Borrowing takes the
// room from the thread; it comes back whole with CFNodeReturnRoom, or as a
// block of the first `used` bytes (freed with CFNodeFree) and the rest with
// CFNodeKeepRoom. False when the thread has no room of at least `minimum`
// bytes (or no arenas, as under AddressSanitizer).
struct CFNodeRoom {
    void* bytes = nullptr;
    size_t size = 0;
    void* chunk = nullptr;
};
bool CFNodeBorrowRoom(size_t minimum, CFNodeRoom* room);
void CFNodeReturnRoom(CFNodeRoom& room) noexcept;
void* CFNodeKeepRoom(CFNodeRoom& room, size_t used) noexcept;

// The standard allocator interface over CFNodeAllocate, for the lists of
// containers. All instances are equal: a list may be freed by any of them.
template <typename T>
struct CFNodeAllocator {
    using value_type = T;
    CFNodeAllocator() noexcept = default;
    template <typename U>
    CFNodeAllocator(const CFNodeAllocator<U>&) noexcept
    {}
    T* allocate(size_t n)
    {
        if (n > SIZE_MAX / 2 / sizeof(T))
            throw std::bad_alloc();
        return static_cast<T*>(CFNodeAllocate(n * sizeof(T)));
    }
    void deallocate(T* p, size_t) noexcept { CFNodeFree(p); }
    template <typename U>
    bool operator==(const CFNodeAllocator<U>&) const noexcept
    {
        return true;
    }
};

enum : CFTypeID {
    kCFRuntimeNotATypeID = 0,
    kCFRuntimeTypeString = 1,
    kCFRuntimeTypeNumber,
    kCFRuntimeTypeBoolean,
    kCFRuntimeTypeData,
    kCFRuntimeTypeDate,
    kCFRuntimeTypeUUID,
    kCFRuntimeTypeArray,
    kCFRuntimeTypeDictionary,
    kCFRuntimeTypeNull,
    kCFRuntimeFirstRegisteredType = 64,
};

struct CFRuntimeObject {
    constexpr explicit CFRuntimeObject(CFTypeID type, bool immortal = false) noexcept
        : typeID_(type), immortal_(immortal)
    {}
    virtual ~CFRuntimeObject() = default;
    CFRuntimeObject(const CFRuntimeObject&) = delete;
    CFRuntimeObject& operator=(const CFRuntimeObject&) = delete;

    static void* operator new(size_t size) { return CFNodeAllocate(size); }
    static void operator delete(void* block) noexcept { CFNodeFree(block); }

    CFTypeID TypeID() const { return typeID_; }
    bool IsImmortal() const { return immortal_; }

    void Retain() const;
    void Release() const;
    CFIndex RetainCount() const;

    // `other` has the same type ID as this object.
    virtual bool Equals(const CFRuntimeObject& other) const { return this == &other; }
    virtual CFHashCode Hash() const { return reinterpret_cast<CFHashCode>(this); }
    // A new string for CFCopyDescription and CFShow.
    virtual CFStringRef CopyDescription() const;
    // A new string for the "%@" format directive; the description by default.
    virtual CFStringRef CopyFormattingDescription() const { return CopyDescription(); }

private:
    mutable std::atomic<int32_t> retainCount_{1};
    const CFTypeID typeID_;
    const bool immortal_;
};

inline const CFRuntimeObject* CFRuntimeObjectOf(CFTypeRef cf)
{
    return static_cast<const CFRuntimeObject*>(cf);
}

// Hands out the next free type ID for a type defined outside this folder.
// The name is what CFCopyTypeIDDescription answers for it.
CFTypeID CFRuntimeRegisterType(const char* name);

// The part of `range` that lies within [0, length): a range reaching outside
// is cut to it rather than read past the end.
void CFRuntimeClampRange(CFRange range, size_t length, size_t* start, size_t* count);

// "<CFString 0x1234>" style prefix used by descriptions.
std::string CFRuntimeDescriptionPrefix(const CFRuntimeObject* object);

// Writes the line that refuses an edit of an immutable value.
void CFRuntimeRefuseEdit(const char* operation, const char* kind);

// The object an editing call may change: nil for nil (or a value of
// another type, which `object` already is as nil), and nil with a
// diagnostic line for an immutable value.
template <typename Object>
Object* CFRuntimeEditable(const Object* object, const char* operation, const char* kind)
{
    if (object == nullptr)
        return nullptr;
    if (!object->isMutable) {
        CFRuntimeRefuseEdit(operation, kind);
        return nullptr;
    }
    return const_cast<Object*>(object);
}

// The value of a hexadecimal digit, -1 for any other character.
inline int CFHexDigitValue(UInt32 c)
{
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
        return static_cast<int>((c | 0x20) - 'a' + 10);
    return -1;
}
