// Byte buffers, immutable and mutable.
#pragma once

#include <CoreFoundation/CFBase.h>

typedef const struct CFDataObject* CFDataRef;
typedef struct CFDataObject* CFMutableDataRef;

CFTypeID CFDataGetTypeID();

CFDataRef CFDataCreate(CFAllocatorRef allocator, const UInt8* bytes, CFIndex length);
// The bytes are read where they are, not copied. With kCFAllocatorNull as
// `bytesDeallocator` they stay the caller's, who keeps them alive and
// unchanged while the data object lives; otherwise they are the caller's
// malloc block, handed over: freed when the data object goes (or at once
// when it cannot be made).
CFDataRef CFDataCreateWithBytesNoCopy(CFAllocatorRef allocator, const UInt8* bytes, CFIndex length,
                                      CFAllocatorRef bytesDeallocator);
CFDataRef CFDataCreateCopy(CFAllocatorRef allocator, CFDataRef theData);
CFMutableDataRef CFDataCreateMutable(CFAllocatorRef allocator, CFIndex capacity);
CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity, CFDataRef theData);

CFIndex CFDataGetLength(CFDataRef theData);
// Never nil for a data object, also when it is empty.
const UInt8* CFDataGetBytePtr(CFDataRef theData);
UInt8* CFDataGetMutableBytePtr(CFMutableDataRef theData);
// Copies the part of `range` that lies within the data.
void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8* buffer);

// Editing a mutable data object; an immutable one is refused with a
// diagnostic line. New bytes are zero.
void CFDataSetLength(CFMutableDataRef theData, CFIndex length);
void CFDataIncreaseLength(CFMutableDataRef theData, CFIndex extraLength);
void CFDataAppendBytes(CFMutableDataRef theData, const UInt8* bytes, CFIndex length);
void CFDataReplaceBytes(CFMutableDataRef theData, CFRange range, const UInt8* newBytes, CFIndex newLength);
void CFDataDeleteBytes(CFMutableDataRef theData, CFRange range);
