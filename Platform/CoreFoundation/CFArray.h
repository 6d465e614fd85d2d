// Ordered lists of values. What a list does to a value that enters or
// leaves it, and how it compares and describes values, is set per list by
// its callbacks; kCFTypeArrayCallBacks treats values as CF objects.
#pragma once

#include <CoreFoundation/CFBase.h>

typedef const void* (*CFArrayRetainCallBack)(CFAllocatorRef allocator, const void* value);
typedef void (*CFArrayReleaseCallBack)(CFAllocatorRef allocator, const void* value);
typedef CFStringRef (*CFArrayCopyDescriptionCallBack)(const void* value);
typedef Boolean (*CFArrayEqualCallBack)(const void* value1, const void* value2);

typedef struct {
    CFIndex version;
    CFArrayRetainCallBack retain;
    CFArrayReleaseCallBack release;
    CFArrayCopyDescriptionCallBack copyDescription;
    CFArrayEqualCallBack equal;  // nil: values are equal only when identical
} CFArrayCallBacks;

extern const CFArrayCallBacks kCFTypeArrayCallBacks;

typedef void (*CFArrayApplierFunction)(const void* value, void* context);

typedef const struct CFArrayObject* CFArrayRef;
typedef struct CFArrayObject* CFMutableArrayRef;

CFTypeID CFArrayGetTypeID();

// Nil callbacks: the list neither retains nor releases, and compares by identity.
CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks);
CFArrayRef CFArrayCreateCopy(CFAllocatorRef allocator, CFArrayRef theArray);
CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef allocator, CFIndex capacity, const CFArrayCallBacks* callBacks);
// A shallow copy with the source's callbacks: nested containers are shared.
CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity, CFArrayRef theArray);

CFIndex CFArrayGetCount(CFArrayRef theArray);
// Nil outside 0 ... count - 1.
const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx);
void CFArrayGetValues(CFArrayRef theArray, CFRange range, const void** values);
CFIndex CFArrayGetCountOfValue(CFArrayRef theArray, CFRange range, const void* value);
Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void* value);
CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void* value);
CFIndex CFArrayGetLastIndexOfValue(CFArrayRef theArray, CFRange range, const void* value);
void CFArrayApplyFunction(CFArrayRef theArray, CFRange range, CFArrayApplierFunction applier, void* context);

// Editing a mutable list; an immutable one, or an index outside the list,
// is refused with a diagnostic line.
void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value);
void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value);
void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value);
void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx);
void CFArrayRemoveAllValues(CFMutableArrayRef theArray);
void CFArrayReplaceValues(CFMutableArrayRef theArray, CFRange range, const void** newValues, CFIndex newCount);
void CFArrayExchangeValuesAtIndices(CFMutableArrayRef theArray, CFIndex idx1, CFIndex idx2);
void CFArrayAppendArray(CFMutableArrayRef theArray, CFArrayRef otherArray, CFRange otherRange);
// A stable sort: values the comparator calls equal keep their order.
void CFArraySortValues(CFMutableArrayRef theArray, CFRange range, CFComparatorFunction comparator, void* context);
