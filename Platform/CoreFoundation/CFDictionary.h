// Keyed tables. Like lists, each table has its own callbacks for keys and
// values; kCFTypeDictionaryKeyCallBacks and kCFTypeDictionaryValueCallBacks
// treat both as CF objects.
#pragma once

#include <CoreFoundation/CFBase.h>

typedef const void* (*CFDictionaryRetainCallBack)(CFAllocatorRef allocator, const void* value);
typedef void (*CFDictionaryReleaseCallBack)(CFAllocatorRef allocator, const void* value);
typedef CFStringRef (*CFDictionaryCopyDescriptionCallBack)(const void* value);
typedef Boolean (*CFDictionaryEqualCallBack)(const void* value1, const void* value2);
typedef CFHashCode (*CFDictionaryHashCallBack)(const void* value);

typedef struct {
    CFIndex version;
    CFDictionaryRetainCallBack retain;
    CFDictionaryReleaseCallBack release;
    CFDictionaryCopyDescriptionCallBack copyDescription;
    CFDictionaryEqualCallBack equal;  // nil: keys are equal only when identical
    CFDictionaryHashCallBack hash;    // nil: the key's address
} CFDictionaryKeyCallBacks;

typedef struct {
    CFIndex version;
    CFDictionaryRetainCallBack retain;
    CFDictionaryReleaseCallBack release;
    CFDictionaryCopyDescriptionCallBack copyDescription;
    CFDictionaryEqualCallBack equal;
} CFDictionaryValueCallBacks;

extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
// Keys are copied as they enter (a mutable string key cannot change under the table).
extern const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;

typedef void (*CFDictionaryApplierFunction)(const void* key, const void* value, void* context);

typedef const struct CFDictionaryObject* CFDictionaryRef;
typedef struct CFDictionaryObject* CFMutableDictionaryRef;

CFTypeID CFDictionaryGetTypeID();

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const void** keys, const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);
CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef allocator, CFDictionaryRef theDict);
CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks);
// A shallow copy with the source's callbacks: nested containers are shared.
CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity,
                                                     CFDictionaryRef theDict);

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict);
CFIndex CFDictionaryGetCountOfKey(CFDictionaryRef theDict, const void* key);
CFIndex CFDictionaryGetCountOfValue(CFDictionaryRef theDict, const void* value);
Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key);
Boolean CFDictionaryContainsValue(CFDictionaryRef theDict, const void* value);
// Nil when absent; the value is borrowed.
const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key);
Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key, const void** value);
// Keys and values in the same order (the order in which keys were first added).
void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values);
void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier, void* context);

// Editing a mutable table; an immutable one is refused with a diagnostic line.
void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value);      // only when absent
void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value);      // add or replace
void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void* key, const void* value);  // only when present
void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key);
void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict);
