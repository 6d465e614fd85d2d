#include "CFContainersInternal.h"

#include "CFStringInternal.h"

#include <cstdio>
#include <string>

namespace {

const void* CopyStringKey(CFAllocatorRef, const void* value)
{
    // A string key is copied so that editing a mutable string later cannot
    // change a key inside the table; other kinds of key are retained.
    if (CFGetTypeID(value) == CFStringGetTypeID())
        return CFStringCreateCopy(nullptr, static_cast<CFStringRef>(value));
    return CFRetain(value);
}

const CFDictionaryKeyCallBacks kNoKeyCallBacks = {0, nullptr, nullptr, nullptr, nullptr, nullptr};
const CFDictionaryValueCallBacks kNoValueCallBacks = {0, nullptr, nullptr, nullptr, nullptr};

CFDictionaryObject* AsMutableDictionary(CFMutableDictionaryRef dictionary, const char* operation)
{
    return CFRuntimeEditable(CFDictionaryObjectOf(dictionary), operation, "dictionary");
}

bool ValuesEqual(const CFDictionaryValueCallBacks& callBacks, const void* a, const void* b)
{
    return a == b || (callBacks.equal && callBacks.equal(a, b));
}

}  // namespace

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {
    0, CFTypeRetainCallBack, CFTypeReleaseCallBack, CFCopyDescription, CFEqual, CFHash};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {
    0, CopyStringKey, CFTypeReleaseCallBack, CFCopyDescription, CFEqual, CFHash};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, CFTypeRetainCallBack, CFTypeReleaseCallBack,
                                                                    CFCopyDescription, CFEqual};

CFDictionaryObject::~CFDictionaryObject()
{
    RemoveAll();
}

ptrdiff_t CFDictionaryObject::Find(const void* key) const
{
    return Find(key, HashKey(key));
}

ptrdiff_t CFDictionaryObject::Find(const void* key, CFHashCode hash) const
{
    if (index_) {
        auto it = index_->find(key);
        return it == index_->end() ? -1 : static_cast<ptrdiff_t>(it->second);
    }
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].key == key || (entries[i].hash == hash && KeysEqual(entries[i].key, key)))
            return static_cast<ptrdiff_t>(i);
    return -1;
}

void CFDictionaryObject::RebuildIndex()
{
    if (entries.size() <= kLinearLimit) {
        index_.reset();
        return;
    }
    index_ = std::make_unique<Index>(entries.size() * 2, IndexHash{this}, IndexEqual{this});
    for (size_t i = 0; i < entries.size(); ++i)
        index_->emplace(entries[i].key, i);
}

void CFDictionaryObject::AppendDistinct(const void* key, const void* value)
{
    const CFHashCode hash = HashKey(key);
    Entry entry{keyCallBacks.retain ? keyCallBacks.retain(nullptr, key) : key,
                valueCallBacks.retain ? valueCallBacks.retain(nullptr, value) : value, hash};
    entries.push_back(entry);
    if (index_)
        index_->emplace(entry.key, entries.size() - 1);
    else if (entries.size() > kLinearLimit)
        RebuildIndex();
}

void CFDictionaryObject::AdoptEntries(std::vector<Entry>& adopted)
{
    entries.reserve(entries.size() + adopted.size());
    for (Entry& entry : adopted) {
        entry.hash = HashKey(entry.key);
        const ptrdiff_t at = Find(entry.key, entry.hash);
        if (at >= 0) {
            // A repeated key: the later value wins, the spare key goes.
            Entry& existing = entries[static_cast<size_t>(at)];
            if (valueCallBacks.release)
                valueCallBacks.release(nullptr, existing.value);
            if (keyCallBacks.release)
                keyCallBacks.release(nullptr, entry.key);
            existing.value = entry.value;
            continue;
        }
        entries.push_back(entry);
        if (index_)
            index_->emplace(entry.key, entries.size() - 1);
        else if (entries.size() > kLinearLimit)
            RebuildIndex();
    }
    adopted.clear();
}

void CFDictionaryObject::Set(const void* key, const void* value, bool replaceExisting, bool addMissing)
{
    const CFHashCode hash = HashKey(key);
    const ptrdiff_t at = Find(key, hash);
    if (at >= 0) {
        if (!replaceExisting)
            return;
        Entry& entry = entries[static_cast<size_t>(at)];
        const void* old = entry.value;
        entry.value = valueCallBacks.retain ? valueCallBacks.retain(nullptr, value) : value;
        if (valueCallBacks.release)
            valueCallBacks.release(nullptr, old);
        return;
    }
    if (addMissing)
        AppendDistinct(key, value);
}

void CFDictionaryObject::Remove(const void* key)
{
    const ptrdiff_t at = Find(key);
    if (at < 0)
        return;
    const Entry removed = entries[static_cast<size_t>(at)];
    entries.erase(entries.begin() + at);
    if (index_)
        RebuildIndex();
    if (keyCallBacks.release)
        keyCallBacks.release(nullptr, removed.key);
    if (valueCallBacks.release)
        valueCallBacks.release(nullptr, removed.value);
}

void CFDictionaryObject::RemoveAll()
{
    CFNodeVector<Entry> old;
    old.swap(entries);
    index_.reset();
    for (const Entry& entry : old) {
        if (keyCallBacks.release)
            keyCallBacks.release(nullptr, entry.key);
        if (valueCallBacks.release)
            valueCallBacks.release(nullptr, entry.value);
    }
}

bool CFDictionaryObject::Equals(const CFRuntimeObject& other) const
{
    const auto& that = static_cast<const CFDictionaryObject&>(other);
    if (entries.size() != that.entries.size())
        return false;
    for (const Entry& entry : entries) {
        const ptrdiff_t at = that.Find(entry.key);
        if (at < 0 || !ValuesEqual(valueCallBacks, entry.value, that.entries[static_cast<size_t>(at)].value))
            return false;
    }
    return true;
}

CFStringRef CFDictionaryObject::CopyDescription() const
{
    std::string text =
        CFRuntimeDescriptionPrefix(this) + "{count = " + std::to_string(entries.size()) + ", entries =>\n";
    for (size_t i = 0; i < entries.size(); ++i)
        text += "\t" + std::to_string(i) + " : " +
                CFDescribeContainerValue(keyCallBacks.copyDescription, entries[i].key) + " = " +
                CFDescribeContainerValue(valueCallBacks.copyDescription, entries[i].value) + "\n";
    return CFStringCreateWithUTF8(text + "}");
}

const CFDictionaryObject* CFDictionaryObjectOf(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != kCFRuntimeTypeDictionary)
        return nullptr;
    return static_cast<const CFDictionaryObject*>(CFRuntimeObjectOf(cf));
}

CFTypeID CFDictionaryGetTypeID()
{
    return kCFRuntimeTypeDictionary;
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks)
{
    if (numValues < 0 || (numValues > 0 && (keys == nullptr || values == nullptr)))
        return nullptr;
    auto* dictionary = new CFDictionaryObject(keyCallBacks ? *keyCallBacks : kNoKeyCallBacks,
                                              valueCallBacks ? *valueCallBacks : kNoValueCallBacks, false);
    for (CFIndex i = 0; i < numValues; ++i)
        dictionary->Set(keys[i], values[i], true, true);
    return dictionary;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex, const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks)
{
    return new CFDictionaryObject(keyCallBacks ? *keyCallBacks : kNoKeyCallBacks,
                                  valueCallBacks ? *valueCallBacks : kNoValueCallBacks, true);
}

namespace {

CFDictionaryObject* CopyOf(const CFDictionaryObject* source, bool mutableCopy)
{
    auto* dictionary = new CFDictionaryObject(source->keyCallBacks, source->valueCallBacks, mutableCopy);
    dictionary->entries.reserve(source->entries.size());
    for (const CFDictionaryObject::Entry& entry : source->entries)
        dictionary->AppendDistinct(entry.key, entry.value);
    return dictionary;
}

}  // namespace

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef, CFDictionaryRef theDict)
{
    const CFDictionaryObject* source = CFDictionaryObjectOf(theDict);
    if (source == nullptr)
        return nullptr;
    if (!source->isMutable)
        return static_cast<CFDictionaryRef>(CFRetain(source));
    return CopyOf(source, false);
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex, CFDictionaryRef theDict)
{
    const CFDictionaryObject* source = CFDictionaryObjectOf(theDict);
    if (source == nullptr)
        return nullptr;
    return CopyOf(source, true);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict)
{
    const CFDictionaryObject* d = CFDictionaryObjectOf(theDict);
    return d ? static_cast<CFIndex>(d->entries.size()) : 0;
}

CFIndex CFDictionaryGetCountOfKey(CFDictionaryRef theDict, const void* key)
{
    return CFDictionaryContainsKey(theDict, key) ? 1 : 0;
}

CFIndex CFDictionaryGetCountOfValue(CFDictionaryRef theDict, const void* value)
{
    const CFDictionaryObject* d = CFDictionaryObjectOf(theDict);
    if (d == nullptr)
        return 0;
    CFIndex count = 0;
    for (const auto& entry : d->entries)
        count += ValuesEqual(d->valueCallBacks, entry.value, value);
    return count;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key)
{
    const CFDictionaryObject* d = CFDictionaryObjectOf(theDict);
    return d && d->Find(key) >= 0;
}

Boolean CFDictionaryContainsValue(CFDictionaryRef theDict, const void* value)
{
    return CFDictionaryGetCountOfValue(theDict, value) > 0;
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key)
{
    const CFDictionaryObject* d = CFDictionaryObjectOf(theDict);
    if (d == nullptr)
        return nullptr;
    const ptrdiff_t at = d->Find(key);
    return at < 0 ? nullptr : d->entries[static_cast<size_t>(at)].value;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key, const void** value)
{
    const CFDictionaryObject* d = CFDictionaryObjectOf(theDict);
    if (d == nullptr)
        return false;
    const ptrdiff_t at = d->Find(key);
    if (at < 0)
        return false;
    if (value)
        *value = d->entries[static_cast<size_t>(at)].value;
    return true;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values)
{
    const CFDictionaryObject* d = CFDictionaryObjectOf(theDict);
    if (d == nullptr)
        return;
    for (size_t i = 0; i < d->entries.size(); ++i) {
        if (keys)
            keys[i] = d->entries[i].key;
        if (values)
            values[i] = d->entries[i].value;
    }
}

void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier, void* context)
{
    const CFDictionaryObject* d = CFDictionaryObjectOf(theDict);
    if (d == nullptr || applier == nullptr)
        return;
    // The applier may edit the table: walk a snapshot.
    const std::vector<CFDictionaryObject::Entry> snapshot(d->entries.begin(), d->entries.end());
    for (const auto& entry : snapshot)
        applier(entry.key, entry.value, context);
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    if (CFDictionaryObject* d = AsMutableDictionary(theDict, "CFDictionaryAddValue"))
        d->Set(key, value, false, true);
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    if (CFDictionaryObject* d = AsMutableDictionary(theDict, "CFDictionarySetValue"))
        d->Set(key, value, true, true);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    if (CFDictionaryObject* d = AsMutableDictionary(theDict, "CFDictionaryReplaceValue"))
        d->Set(key, value, true, false);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key)
{
    if (CFDictionaryObject* d = AsMutableDictionary(theDict, "CFDictionaryRemoveValue"))
        d->Remove(key);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict)
{
    if (CFDictionaryObject* d = AsMutableDictionary(theDict, "CFDictionaryRemoveAllValues"))
        d->RemoveAll();
}
