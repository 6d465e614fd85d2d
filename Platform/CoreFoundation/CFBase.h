// Core Foundation's object runtime: the opaque type references, retain and
// release, equality, hashing and descriptions shared by every CF type.
//
// Ownership follows the create/copy rule: a reference answered by a function
// whose name contains Create or Copy belongs to the caller, who releases it;
// references answered by Get functions are borrowed.
#pragma once

#include <CoreFoundation/MacTypes.h>

typedef long CFIndex;
typedef unsigned long CFOptionFlags;
typedef unsigned long CFHashCode;
typedef unsigned long CFTypeID;

typedef const void* CFTypeRef;
typedef const struct CFStringObject* CFStringRef;
typedef struct CFStringObject* CFMutableStringRef;
typedef const struct CFAllocatorObject* CFAllocatorRef;
typedef CFTypeRef CFPropertyListRef;
// Errors are reported by status codes here; no error object is ever made.
typedef struct CFErrorObject* CFErrorRef;

typedef enum : CFIndex {
    kCFCompareLessThan = -1,
    kCFCompareEqualTo = 0,
    kCFCompareGreaterThan = 1,
} CFComparisonResult;

typedef CFComparisonResult (*CFComparatorFunction)(const void* val1, const void* val2, void* context);

enum : CFIndex { kCFNotFound = -1 };

typedef struct {
    CFIndex location;
    CFIndex length;
} CFRange;

inline CFRange CFRangeMake(CFIndex location, CFIndex length)
{
    return CFRange{location, length};
}

// Allocators are accepted everywhere for signature compatibility; every
// object is allocated on the C++ heap whatever is passed.
extern const CFAllocatorRef kCFAllocatorDefault;
extern const CFAllocatorRef kCFAllocatorSystemDefault;
extern const CFAllocatorRef kCFAllocatorMalloc;
extern const CFAllocatorRef kCFAllocatorNull;

void* CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags hint);
void* CFAllocatorReallocate(CFAllocatorRef allocator, void* ptr, CFIndex newsize, CFOptionFlags hint);
void CFAllocatorDeallocate(CFAllocatorRef allocator, void* ptr);

// Retain and release are atomic; constants (CFSTR strings, the booleans) are
// never freed and ignore both. A nil reference is ignored rather than crashing.
CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);
CFIndex CFGetRetainCount(CFTypeRef cf);
CFAllocatorRef CFGetAllocator(CFTypeRef cf);

// The type of a reference; 0 (not a type) for nil.
CFTypeID CFGetTypeID(CFTypeRef cf);
CFStringRef CFCopyTypeIDDescription(CFTypeID type_id);

// Values of different types are never equal; nil equals only nil.
Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
CFHashCode CFHash(CFTypeRef cf);

// A new string describing the value, "(null)" for nil.
CFStringRef CFCopyDescription(CFTypeRef cf);

// Writes the description of the value to standard error, one line.
void CFShow(CFTypeRef obj);
