#include "CFRuntime.h"

#include "CFStringInternal.h"

#include <Support/Diagnostics.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

struct AllocatorSentinel {
    char unused;
};
AllocatorSentinel gSystemDefault, gMalloc, gNull;

std::mutex& TypeNamesMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<std::string>& RegisteredTypeNames()
{
    static auto* names = new std::vector<std::string>;
    return *names;
}

const char* BuiltInTypeName(CFTypeID type)
{
    switch (type) {
    case kCFRuntimeTypeString:
        return "CFString";
    case kCFRuntimeTypeNumber:
        return "CFNumber";
    case kCFRuntimeTypeBoolean:
        return "CFBoolean";
    case kCFRuntimeTypeData:
        return "CFData";
    case kCFRuntimeTypeDate:
        return "CFDate";
    case kCFRuntimeTypeUUID:
        return "CFUUID";
    case kCFRuntimeTypeArray:
        return "CFArray";
    case kCFRuntimeTypeDictionary:
        return "CFDictionary";
    case kCFRuntimeTypeNull:
        return "CFNull";
    default:
        return nullptr;
    }
}

std::string TypeName(CFTypeID type)
{
    if (const char* name = BuiltInTypeName(type))
        return name;
    std::lock_guard lock(TypeNamesMutex());
    const auto& names = RegisteredTypeNames();
    if (type >= kCFRuntimeFirstRegisteredType && type - kCFRuntimeFirstRegisteredType < names.size())
        return names[type - kCFRuntimeFirstRegisteredType];
    return "CFType";
}

// ---- node memory ----

// Off under AddressSanitizer, unless the build asks for them with
// -DCF_NODE_ARENAS=1: the sanitizer then runs the arenas' own paths (a
// block freed the wrong way, a chunk used after it was unmapped), though
// not each object inside a chunk.
#ifndef CF_NODE_ARENAS
#if defined(__SANITIZE_ADDRESS__)
#define CF_NODE_ARENAS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CF_NODE_ARENAS 0
#endif
#endif
#endif
#ifndef CF_NODE_ARENAS
#define CF_NODE_ARENAS 1
#endif

// Chunks are mappings the leak checker does not search for pointers; with
// arenas under the sanitizer they are named to it, or every heap block an
// object in a chunk owns would be reported lost.
#if CF_NODE_ARENAS && defined(__SANITIZE_ADDRESS__)
#define CF_NODE_SEARCHED(chunk, size) __lsan_register_root_region(chunk, size)
#define CF_NODE_UNSEARCHED(chunk, size) __lsan_unregister_root_region(chunk, size)
#else
#define CF_NODE_SEARCHED(chunk, size) static_cast<void>(0)
#define CF_NODE_UNSEARCHED(chunk, size) static_cast<void>(0)
#endif

#if CF_NODE_ARENAS

// One huge page, aligned to its size so that the system can back it with
// one. It starts with its header; every block carved from it is preceded
// by a prefix naming it (nil in the prefix of a C library block).
constexpr size_t kChunkSize = size_t(2) << 20;
constexpr size_t kPrefixSize = 16;
// Blocks larger than this come from the C library even inside a scope.
constexpr size_t kLargestCarved = kChunkSize / 8;
// Trees smaller than this are not worth a chunk. (A fault on a fresh page
// costs tens of microseconds here, clearing a huge page about as much as
// ten of them; making a small tree's pages present 64 KB at a time with
// MADV_POPULATE_WRITE instead of using a huge page measured no faster.)
constexpr size_t kSmallestArenaTree = size_t(32) << 10;
// Empty chunks kept for the next tree rather than unmapped and cleared
// again by the system.
constexpr size_t kSpareChunks = 4;

struct alignas(64) Chunk {
    // The blocks carved from the chunk and still in use, plus one while an
    // arena carves from it; whoever takes the count to zero frees it.
    std::atomic<size_t> holds{1};
};

struct Prefix {
    Chunk* chunk;
    size_t unused;
};
static_assert(sizeof(Prefix) == kPrefixSize);

struct Arena {
    Chunk* chunk = nullptr;
    char* cursor = nullptr;
    char* limit = nullptr;
};

thread_local Arena* tArena = nullptr;

// Less room than this at the end of a chunk is not worth keeping.
constexpr size_t kSmallestRoom = size_t(64) << 10;

void DropHold(Chunk* chunk) noexcept;

// The chunk this thread's last scope ended in, and where its room begins;
// it holds the hold the arena had. The next scope carves on from it, and a
// text being built may borrow the room. Plain data, so that it stays usable
// while the thread's other objects are destroyed: one of those may still
// read or write a property list after the hold was given back, and then
// keeps no room.
struct Leftover {
    Arena arena;
    bool ended = false;  // the thread is ending; nothing more is kept
};

thread_local Leftover tLeftover;

// Gives the kept chunk's hold back when the thread ends.
struct LeftoverRelease {
    LeftoverRelease() = default;
    LeftoverRelease(const LeftoverRelease&) = delete;
    LeftoverRelease& operator=(const LeftoverRelease&) = delete;
    ~LeftoverRelease()
    {
        tLeftover.ended = true;
        if (Chunk* chunk = std::exchange(tLeftover.arena, Arena{}).chunk)
            DropHold(chunk);
    }
    void Arm() noexcept {}
};

thread_local LeftoverRelease tLeftoverRelease;

// The thread's leftover chunk, carved from its start again when every
// block carved from it was freed (only this thread carves from it, so the
// count cannot rise meanwhile).
Arena TakeLeftover() noexcept
{
    Arena arena = std::exchange(tLeftover.arena, Arena{});
    if (arena.chunk && arena.chunk->holds.load(std::memory_order_acquire) == 1)
        arena.cursor = reinterpret_cast<char*>(arena.chunk) + sizeof(Chunk);
    return arena;
}

// Keeps the room at the end of `arena` for this thread, or the room it
// already kept if that is larger; the other chunk's hold is dropped.
void KeepLeftover(const Arena& arena) noexcept
{
    Arena& kept = tLeftover.arena;
    const auto room = [](const Arena& a) { return a.chunk ? static_cast<size_t>(a.limit - a.cursor) : 0; };
    if (tLeftover.ended || room(arena) < kSmallestRoom || room(arena) <= room(kept)) {
        if (arena.chunk)
            DropHold(arena.chunk);
        return;
    }
    if (kept.chunk)
        DropHold(kept.chunk);
    tLeftoverRelease.Arm();
    kept = arena;
}

std::mutex& SpareMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<Chunk*>& SpareChunks()
{
    static auto* spares = new std::vector<Chunk*>;
    return *spares;
}

Chunk* MapChunk()
{
    {
        std::lock_guard lock(SpareMutex());
        auto& spares = SpareChunks();
        if (!spares.empty()) {
            Chunk* chunk = spares.back();
            spares.pop_back();
            return new (chunk) Chunk;
        }
    }
    // Twice the size, so that an aligned chunk lies inside; the rest goes back.
    void* mapped = mmap(nullptr, 2 * kChunkSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kChunkSize - 1) & ~uintptr_t(kChunkSize - 1);
    if (aligned > start)
        munmap(mapped, aligned - start);
    if (aligned + kChunkSize < start + 2 * kChunkSize)
        munmap(reinterpret_cast<void*>(aligned + kChunkSize), start + 2 * kChunkSize - aligned - kChunkSize);
    void* chunk = reinterpret_cast<void*>(aligned);
    madvise(chunk, kChunkSize, MADV_HUGEPAGE);
    CF_NODE_SEARCHED(chunk, kChunkSize);
    return new (chunk) Chunk;
}

void DropHold(Chunk* chunk) noexcept
{
    if (chunk->holds.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    {
        std::lock_guard lock(SpareMutex());
        auto& spares = SpareChunks();
        if (spares.size() < kSpareChunks) {
            spares.push_back(chunk);
            return;
        }
    }
    CF_NODE_UNSEARCHED(chunk, kChunkSize);
    munmap(chunk, kChunkSize);
}

void* CarveFrom(Arena& arena, size_t size)
{
    const size_t needed = (size + kPrefixSize + 15) & ~size_t(15);
    if (static_cast<size_t>(arena.limit - arena.cursor) < needed) {
        Chunk* fresh = MapChunk();
        if (fresh == nullptr)
            return nullptr;
        if (arena.chunk)
            DropHold(arena.chunk);
        arena.chunk = fresh;
        arena.cursor = reinterpret_cast<char*>(fresh) + sizeof(Chunk);
        arena.limit = reinterpret_cast<char*>(fresh) + kChunkSize;
    }
    auto* prefix = reinterpret_cast<Prefix*>(arena.cursor);
    arena.cursor += needed;
    prefix->chunk = arena.chunk;
    arena.chunk->holds.fetch_add(1, std::memory_order_relaxed);
    return prefix + 1;
}

#endif

}  // namespace

#if CF_NODE_ARENAS

void* CFNodeAllocate(size_t size)
{
    if (Arena* arena = tArena; arena && size <= kLargestCarved) {
        if (void* block = CarveFrom(*arena, size))
            return block;
    }
    if (size > SIZE_MAX - kPrefixSize)
        throw std::bad_alloc();
    auto* prefix = static_cast<Prefix*>(std::malloc(size + kPrefixSize));
    if (prefix == nullptr)
        throw std::bad_alloc();
    prefix->chunk = nullptr;
    return prefix + 1;
}

void CFNodeFree(void* block) noexcept
{
    if (block == nullptr)
        return;
    Prefix* prefix = static_cast<Prefix*>(block) - 1;
    if (prefix->chunk)
        DropHold(prefix->chunk);
    else
        std::free(prefix);
}

CFNodeArenaScope::CFNodeArenaScope(size_t expectedBytes) : outer_(tArena)
{
    if (expectedBytes < kSmallestArenaTree)
        return;
    auto* arena = new Arena(TakeLeftover());
    arena_ = arena;
    tArena = arena;
}

CFNodeArenaScope::~CFNodeArenaScope()
{
    if (auto* arena = static_cast<Arena*>(arena_)) {
        KeepLeftover(*arena);
        delete arena;
        tArena = static_cast<Arena*>(outer_);
    }
}

bool CFNodeBorrowRoom(size_t minimum, CFNodeRoom* room)
{
    const Arena kept = TakeLeftover();
    if (kept.chunk == nullptr)
        return false;
    if (minimum > SIZE_MAX / 2 || static_cast<size_t>(kept.limit - kept.cursor) < minimum + kPrefixSize) {
        tLeftover.arena = kept;
        return false;
    }
    room->chunk = kept.chunk;
    room->bytes = kept.cursor + kPrefixSize;
    room->size = static_cast<size_t>(kept.limit - kept.cursor) - kPrefixSize;
    return true;
}

void CFNodeReturnRoom(CFNodeRoom& room) noexcept
{
    if (room.chunk == nullptr)
        return;
    auto* start = static_cast<char*>(room.bytes) - kPrefixSize;
    KeepLeftover(Arena{static_cast<Chunk*>(room.chunk), start, static_cast<char*>(room.bytes) + room.size});
    room = CFNodeRoom{};
}

void* CFNodeKeepRoom(CFNodeRoom& room, size_t used) noexcept
{
    auto* chunk = static_cast<Chunk*>(room.chunk);
    if (chunk == nullptr || used > room.size)
        return nullptr;
    auto* prefix = static_cast<Prefix*>(room.bytes) - 1;
    prefix->chunk = chunk;
    chunk->holds.fetch_add(1, std::memory_order_relaxed);
    const size_t carved = std::min((used + 15) & ~size_t(15), room.size);
    void* block = room.bytes;
    auto* end = static_cast<char*>(room.bytes) + room.size;
    KeepLeftover(Arena{chunk, static_cast<char*>(room.bytes) + carved, end});
    room = CFNodeRoom{};
    return block;
}

#else

void* CFNodeAllocate(size_t size)
{
    return ::operator new(size);
}

void CFNodeFree(void* block) noexcept
{
    ::operator delete(block);
}

CFNodeArenaScope::CFNodeArenaScope(size_t) {}

CFNodeArenaScope::~CFNodeArenaScope() = default;

bool CFNodeBorrowRoom(size_t, CFNodeRoom*)
{
    return false;
}

void CFNodeReturnRoom(CFNodeRoom&) noexcept {}

void* CFNodeKeepRoom(CFNodeRoom&, size_t) noexcept
{
    return nullptr;
}

#endif

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFAllocatorRef kCFAllocatorSystemDefault = reinterpret_cast<CFAllocatorRef>(&gSystemDefault);
const CFAllocatorRef kCFAllocatorMalloc = reinterpret_cast<CFAllocatorRef>(&gMalloc);
const CFAllocatorRef kCFAllocatorNull = reinterpret_cast<CFAllocatorRef>(&gNull);

void* CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags)
{
    if (allocator == kCFAllocatorNull || size <= 0)
        return nullptr;
    return std::malloc(static_cast<size_t>(size));
}

void* CFAllocatorReallocate(CFAllocatorRef allocator, void* ptr, CFIndex newsize, CFOptionFlags)
{
    if (allocator == kCFAllocatorNull)
        return nullptr;
    if (newsize <= 0) {
        std::free(ptr);
        return nullptr;
    }
    return std::realloc(ptr, static_cast<size_t>(newsize));
}

void CFAllocatorDeallocate(CFAllocatorRef allocator, void* ptr)
{
    if (allocator != kCFAllocatorNull)
        std::free(ptr);
}

void CFRuntimeObject::Retain() const
{
    if (!immortal_)
        retainCount_.fetch_add(1, std::memory_order_relaxed);
}

void CFRuntimeObject::Release() const
{
    if (immortal_)
        return;
    if (retainCount_.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

CFIndex CFRuntimeObject::RetainCount() const
{
    // Constants answer the largest count, as they can never be freed.
    return immortal_ ? CFIndex(INT32_MAX) : retainCount_.load(std::memory_order_relaxed);
}

CFStringRef CFRuntimeObject::CopyDescription() const
{
    return CFStringCreateWithUTF8(CFRuntimeDescriptionPrefix(this) + "{}");
}

std::string CFRuntimeDescriptionPrefix(const CFRuntimeObject* object)
{
    char address[32];
    std::snprintf(address, sizeof address, " %p>", static_cast<const void*>(object));
    return "<" + TypeName(object->TypeID()) + address;
}

void CFRuntimeClampRange(CFRange range, size_t length, size_t* start, size_t* count)
{
    const CFIndex total = static_cast<CFIndex>(length);
    CFIndex end;
    if (__builtin_add_overflow(range.location, std::max<CFIndex>(range.length, 0), &end))
        end = total;
    CFIndex location = std::clamp<CFIndex>(range.location, 0, total);
    end = std::clamp<CFIndex>(end, location, total);
    *start = static_cast<size_t>(location);
    *count = static_cast<size_t>(end - location);
}

void CFRuntimeRefuseEdit(const char* operation, const char* kind)
{
    Diagnostics::WriteLine(std::string(operation) + ": the " + kind + " is immutable; nothing changed.");
}

CFTypeID CFRuntimeRegisterType(const char* name)
{
    std::lock_guard lock(TypeNamesMutex());
    auto& names = RegisteredTypeNames();
    names.emplace_back(name ? name : "CFType");
    return kCFRuntimeFirstRegisteredType + names.size() - 1;
}

CFTypeRef CFRetain(CFTypeRef cf)
{
    if (cf)
        CFRuntimeObjectOf(cf)->Retain();
    return cf;
}

void CFRelease(CFTypeRef cf)
{
    if (cf)
        CFRuntimeObjectOf(cf)->Release();
}

CFIndex CFGetRetainCount(CFTypeRef cf)
{
    return cf ? CFRuntimeObjectOf(cf)->RetainCount() : 0;
}

CFAllocatorRef CFGetAllocator(CFTypeRef)
{
    return kCFAllocatorSystemDefault;
}

CFTypeID CFGetTypeID(CFTypeRef cf)
{
    return cf ? CFRuntimeObjectOf(cf)->TypeID() : kCFRuntimeNotATypeID;
}

CFStringRef CFCopyTypeIDDescription(CFTypeID type_id)
{
    return CFStringCreateWithUTF8(TypeName(type_id));
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2)
{
    if (cf1 == cf2)
        return true;
    if (cf1 == nullptr || cf2 == nullptr)
        return false;
    const CFRuntimeObject* a = CFRuntimeObjectOf(cf1);
    const CFRuntimeObject* b = CFRuntimeObjectOf(cf2);
    return a->TypeID() == b->TypeID() && a->Equals(*b);
}

CFHashCode CFHash(CFTypeRef cf)
{
    return cf ? CFRuntimeObjectOf(cf)->Hash() : 0;
}

CFStringRef CFCopyDescription(CFTypeRef cf)
{
    if (cf == nullptr)
        return CFStringCreateWithUTF8("(null)");
    return CFRuntimeObjectOf(cf)->CopyDescription();
}

void CFShow(CFTypeRef obj)
{
    CFStringRef description = CFCopyDescription(obj);
    std::string line = CFStringToUTF8(description) + "\n";
    CFRelease(description);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
