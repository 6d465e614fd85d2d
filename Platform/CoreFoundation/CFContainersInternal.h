// The objects behind CFArray and CFDictionary, for platform code (property
// lists, descriptions) that walks them without a call per element.
#pragma once

#include "CFRuntime.h"

#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFDictionary.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// A container's list, in node memory (CFRuntime.h) like the container.
template <typename T>
using CFNodeVector = std::vector<T, CFNodeAllocator<T>>;

struct CFArrayObject final : CFRuntimeObject {
    CFArrayObject(const CFArrayCallBacks& callbacks, bool mutableArray)
        : CFRuntimeObject(kCFRuntimeTypeArray), callBacks(callbacks), isMutable(mutableArray)
    {}
    ~CFArrayObject() override;

    bool Equals(const CFRuntimeObject& other) const override;
    CFHashCode Hash() const override { return values.size(); }
    CFStringRef CopyDescription() const override;

    const void* RetainValue(const void* value) const
    {
        return callBacks.retain ? callBacks.retain(nullptr, value) : value;
    }
    void ReleaseValue(const void* value) const
    {
        if (callBacks.release)
            callBacks.release(nullptr, value);
    }
    bool ValuesEqual(const void* a, const void* b) const
    {
        return a == b || (callBacks.equal && callBacks.equal(a, b));
    }

    const CFArrayCallBacks callBacks;
    const bool isMutable;
    CFNodeVector<const void*> values;
};

struct CFDictionaryObject final : CFRuntimeObject {
    CFDictionaryObject(const CFDictionaryKeyCallBacks& keys, const CFDictionaryValueCallBacks& values,
                       bool mutableDictionary)
        : CFRuntimeObject(kCFRuntimeTypeDictionary), keyCallBacks(keys), valueCallBacks(values),
          isMutable(mutableDictionary)
    {}
    ~CFDictionaryObject() override;

    bool Equals(const CFRuntimeObject& other) const override;
    CFHashCode Hash() const override { return entries.size(); }
    CFStringRef CopyDescription() const override;

    struct Entry {
        const void* key;
        const void* value;
        CFHashCode hash;  // of the key, kept so that searches compare it first
    };

    // The position of `key` in `entries`, or -1.
    ptrdiff_t Find(const void* key) const;
    // Adds or replaces; the table takes its own references through the callbacks.
    void Set(const void* key, const void* value, bool replaceExisting, bool addMissing);
    void Remove(const void* key);
    void RemoveAll();
    // Appends a key known to be absent (the table takes its own references).
    void AppendDistinct(const void* key, const void* value);
    // Takes over keys and values with one reference each, without calling the
    // retain callbacks; a key that comes again replaces the earlier value.
    // For readers that build a whole table at once.
    void AdoptEntries(std::vector<Entry>& adopted);

    CFHashCode HashKey(const void* key) const
    {
        return keyCallBacks.hash ? keyCallBacks.hash(key) : reinterpret_cast<CFHashCode>(key);
    }
    bool KeysEqual(const void* a, const void* b) const
    {
        return a == b || (keyCallBacks.equal && keyCallBacks.equal(a, b));
    }

    const CFDictionaryKeyCallBacks keyCallBacks;
    const CFDictionaryValueCallBacks valueCallBacks;
    const bool isMutable;
    // Entries in the order their keys were first added.
    CFNodeVector<Entry> entries;

private:
    struct IndexHash {
        const CFDictionaryObject* owner;
        size_t operator()(const void* key) const { return owner->HashKey(key); }
    };
    struct IndexEqual {
        const CFDictionaryObject* owner;
        bool operator()(const void* a, const void* b) const { return owner->KeysEqual(a, b); }
    };
    using Index = std::unordered_map<const void*, size_t, IndexHash, IndexEqual>;

    ptrdiff_t Find(const void* key, CFHashCode hash) const;

    void RebuildIndex();

    // Small tables are searched linearly (comparing hashes first); larger
    // ones keep a hash index.
    static constexpr size_t kLinearLimit = 24;
    std::unique_ptr<Index> index_;
};

// The retain and release callbacks of the CF-type containers.
const void* CFTypeRetainCallBack(CFAllocatorRef allocator, const void* value);
void CFTypeReleaseCallBack(CFAllocatorRef allocator, const void* value);

// One element of a container's description: the callback's text, or the
// value's address when the container has no description callback.
std::string CFDescribeContainerValue(CFStringRef (*copyDescription)(const void*), const void* value);

// The object behind a reference; nil for nil and for values of another type.
const CFArrayObject* CFArrayObjectOf(CFTypeRef cf);
const CFDictionaryObject* CFDictionaryObjectOf(CFTypeRef cf);
