// Memory Manager pointer blocks. Every block remembers the size it was asked
// for, and the blocks alive are tracked, so that disposing of a pointer that
// is not a live block is refused with a diagnostic instead of corrupting
// the heap.
#pragma once

#include <CarbonCore/MacErrors.h>

// A new block of `byteCount` bytes (uninitialised), nil when out of memory.
Ptr NewPtr(Size byteCount);
// The same, with every byte zero.
Ptr NewPtrClear(Size byteCount);
// Frees a live block; a nil pointer is ignored; anything else is refused.
void DisposePtr(Ptr p);
// Exactly the size asked for when the block was made; 0 for anything else.
Size GetPtrSize(Ptr p);
// Whether `p` is a live block.
Boolean IsPointerValid(Ptr p);
// The status of the last Memory Manager call on this thread.
OSErr MemError();

void BlockMoveData(const void* srcPtr, void* destPtr, Size byteCount);
void BlockZero(void* destPtr, Size byteCount);
