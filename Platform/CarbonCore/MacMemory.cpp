#include "MacMemory.h"

#include <Support/Diagnostics.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

struct Blocks {
    std::mutex mutex;
    std::unordered_map<const void*, Size> sizes;
};

Blocks& LiveBlocks()
{
    // Blocks may still be disposed of while the process exits.
    static auto* blocks = new Blocks;
    return *blocks;
}

thread_local OSErr gMemError = noErr;

Ptr Allocate(Size byteCount, bool clear)
{
    if (byteCount < 0) {
        gMemError = memFullErr;
        return nullptr;
    }
    // A block of 0 bytes is still a distinct, disposable block.
    const size_t bytes = byteCount == 0 ? 1 : static_cast<size_t>(byteCount);
    void* block = clear ? std::calloc(1, bytes) : std::malloc(bytes);
    if (block == nullptr) {
        gMemError = memFullErr;
        return nullptr;
    }
    Blocks& live = LiveBlocks();
    std::lock_guard lock(live.mutex);
    live.sizes[block] = byteCount;
    gMemError = noErr;
    return static_cast<Ptr>(block);
}

}  // namespace

Ptr NewPtr(Size byteCount)
{
    return Allocate(byteCount, false);
}

Ptr NewPtrClear(Size byteCount)
{
    return Allocate(byteCount, true);
}

void DisposePtr(Ptr p)
{
    if (p == nullptr) {
        gMemError = noErr;
        return;
    }
    Blocks& live = LiveBlocks();
    {
        std::lock_guard lock(live.mutex);
        if (live.sizes.erase(p) == 1) {
            std::free(p);
            gMemError = noErr;
            return;
        }
    }
    gMemError = memWZErr;
    char text[96];
    std::snprintf(text, sizeof text, "Warning: DisposePtr of %p, which is not a live block; nothing was freed.",
                  static_cast<void*>(p));
    Diagnostics::WriteLine(text);
}

Size GetPtrSize(Ptr p)
{
    Blocks& live = LiveBlocks();
    std::lock_guard lock(live.mutex);
    auto it = live.sizes.find(p);
    gMemError = it == live.sizes.end() ? memWZErr : noErr;
    return it == live.sizes.end() ? 0 : it->second;
}

Boolean IsPointerValid(Ptr p)
{
    Blocks& live = LiveBlocks();
    std::lock_guard lock(live.mutex);
    return live.sizes.count(p) == 1;
}

OSErr MemError()
{
    return gMemError;
}

void BlockMoveData(const void* srcPtr, void* destPtr, Size byteCount)
{
    if (srcPtr && destPtr && byteCount > 0)
        std::memmove(destPtr, srcPtr, static_cast<size_t>(byteCount));
}

void BlockZero(void* destPtr, Size byteCount)
{
    if (destPtr && byteCount > 0)
        std::memset(destPtr, 0, static_cast<size_t>(byteCount));
}
