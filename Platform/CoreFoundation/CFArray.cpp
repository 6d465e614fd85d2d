#include "CFContainersInternal.h"

#include "CFStringInternal.h"

#include <Support/Diagnostics.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

const CFArrayCallBacks kNoCallBacks = {0, nullptr, nullptr, nullptr, nullptr};

CFArrayObject* AsMutableArray(CFMutableArrayRef array, const char* operation)
{
    return CFRuntimeEditable(CFArrayObjectOf(array), operation, "array");
}

bool CheckIndex(const CFArrayObject* array, CFIndex idx, CFIndex limit, const char* operation)
{
    if (idx >= 0 && idx < limit)
        return true;
    Diagnostics::WriteLine(std::string(operation) + ": index " + std::to_string(idx) + " is outside the array of " +
                           std::to_string(array->values.size()) + " values; nothing changed.");
    return false;
}

}  // namespace

const void* CFTypeRetainCallBack(CFAllocatorRef, const void* value)
{
    return CFRetain(value);
}

void CFTypeReleaseCallBack(CFAllocatorRef, const void* value)
{
    CFRelease(value);
}

std::string CFDescribeContainerValue(CFStringRef (*copyDescription)(const void*), const void* value)
{
    if (copyDescription) {
        CFStringRef d = copyDescription(value);
        std::string text = CFStringToUTF8(d);
        CFRelease(d);
        return text;
    }
    char address[32];
    std::snprintf(address, sizeof address, "<%p>", value);
    return address;
}

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, CFTypeRetainCallBack, CFTypeReleaseCallBack, CFCopyDescription,
                                                CFEqual};

CFArrayObject::~CFArrayObject()
{
    for (const void* value : values)
        ReleaseValue(value);
}

bool CFArrayObject::Equals(const CFRuntimeObject& other) const
{
    const auto& that = static_cast<const CFArrayObject&>(other);
    if (values.size() != that.values.size())
        return false;
    for (size_t i = 0; i < values.size(); ++i)
        if (!ValuesEqual(values[i], that.values[i]))
            return false;
    return true;
}

CFStringRef CFArrayObject::CopyDescription() const
{
    std::string text =
        CFRuntimeDescriptionPrefix(this) + "{count = " + std::to_string(values.size()) + ", values = (\n";
    for (size_t i = 0; i < values.size(); ++i)
        text +=
            "\t" + std::to_string(i) + " : " + CFDescribeContainerValue(callBacks.copyDescription, values[i]) + "\n";
    return CFStringCreateWithUTF8(text + ")}");
}

const CFArrayObject* CFArrayObjectOf(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != kCFRuntimeTypeArray)
        return nullptr;
    return static_cast<const CFArrayObject*>(CFRuntimeObjectOf(cf));
}

CFTypeID CFArrayGetTypeID()
{
    return kCFRuntimeTypeArray;
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues, const CFArrayCallBacks* callBacks)
{
    if (numValues < 0 || (numValues > 0 && values == nullptr))
        return nullptr;
    auto* array = new CFArrayObject(callBacks ? *callBacks : kNoCallBacks, false);
    array->values.reserve(static_cast<size_t>(numValues));
    for (CFIndex i = 0; i < numValues; ++i)
        array->values.push_back(array->RetainValue(values[i]));
    return array;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex, const CFArrayCallBacks* callBacks)
{
    return new CFArrayObject(callBacks ? *callBacks : kNoCallBacks, true);
}

namespace {

CFArrayObject* CopyOf(const CFArrayObject* source, bool mutableCopy)
{
    auto* array = new CFArrayObject(source->callBacks, mutableCopy);
    array->values.reserve(source->values.size());
    for (const void* value : source->values)
        array->values.push_back(array->RetainValue(value));
    return array;
}

}  // namespace

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef theArray)
{
    const CFArrayObject* source = CFArrayObjectOf(theArray);
    if (source == nullptr)
        return nullptr;
    if (!source->isMutable)
        return static_cast<CFArrayRef>(CFRetain(source));
    return CopyOf(source, false);
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex, CFArrayRef theArray)
{
    const CFArrayObject* source = CFArrayObjectOf(theArray);
    if (source == nullptr)
        return nullptr;
    return CopyOf(source, true);
}

CFIndex CFArrayGetCount(CFArrayRef theArray)
{
    const CFArrayObject* array = CFArrayObjectOf(theArray);
    return array ? static_cast<CFIndex>(array->values.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx)
{
    const CFArrayObject* array = CFArrayObjectOf(theArray);
    if (array == nullptr || idx < 0 || static_cast<size_t>(idx) >= array->values.size())
        return nullptr;
    return array->values[static_cast<size_t>(idx)];
}

void CFArrayGetValues(CFArrayRef theArray, CFRange range, const void** values)
{
    const CFArrayObject* array = CFArrayObjectOf(theArray);
    if (array == nullptr || values == nullptr)
        return;
    size_t start, count;
    CFRuntimeClampRange(range, array->values.size(), &start, &count);
    std::copy_n(array->values.begin() + static_cast<ptrdiff_t>(start), count, values);
}

CFIndex CFArrayGetCountOfValue(CFArrayRef theArray, CFRange range, const void* value)
{
    const CFArrayObject* array = CFArrayObjectOf(theArray);
    if (array == nullptr)
        return 0;
    size_t start, count;
    CFRuntimeClampRange(range, array->values.size(), &start, &count);
    CFIndex found = 0;
    for (size_t i = start; i < start + count; ++i)
        found += array->ValuesEqual(array->values[i], value);
    return found;
}

Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void* value)
{
    return CFArrayGetFirstIndexOfValue(theArray, range, value) != kCFNotFound;
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void* value)
{
    const CFArrayObject* array = CFArrayObjectOf(theArray);
    if (array == nullptr)
        return kCFNotFound;
    size_t start, count;
    CFRuntimeClampRange(range, array->values.size(), &start, &count);
    for (size_t i = start; i < start + count; ++i)
        if (array->ValuesEqual(array->values[i], value))
            return static_cast<CFIndex>(i);
    return kCFNotFound;
}

CFIndex CFArrayGetLastIndexOfValue(CFArrayRef theArray, CFRange range, const void* value)
{
    const CFArrayObject* array = CFArrayObjectOf(theArray);
    if (array == nullptr)
        return kCFNotFound;
    size_t start, count;
    CFRuntimeClampRange(range, array->values.size(), &start, &count);
    for (size_t i = start + count; i > start; --i)
        if (array->ValuesEqual(array->values[i - 1], value))
            return static_cast<CFIndex>(i - 1);
    return kCFNotFound;
}

void CFArrayApplyFunction(CFArrayRef theArray, CFRange range, CFArrayApplierFunction applier, void* context)
{
    const CFArrayObject* array = CFArrayObjectOf(theArray);
    if (array == nullptr || applier == nullptr)
        return;
    size_t start, count;
    CFRuntimeClampRange(range, array->values.size(), &start, &count);
    // The applier may edit the array: walk a snapshot.
    std::vector<const void*> snapshot(array->values.begin() + static_cast<ptrdiff_t>(start),
                                      array->values.begin() + static_cast<ptrdiff_t>(start + count));
    for (const void* value : snapshot)
        applier(value, context);
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value)
{
    if (CFArrayObject* array = AsMutableArray(theArray, "CFArrayAppendValue"))
        array->values.push_back(array->RetainValue(value));
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value)
{
    CFArrayObject* array = AsMutableArray(theArray, "CFArrayInsertValueAtIndex");
    if (array && CheckIndex(array, idx, static_cast<CFIndex>(array->values.size()) + 1, "CFArrayInsertValueAtIndex"))
        array->values.insert(array->values.begin() + idx, array->RetainValue(value));
}

void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value)
{
    CFArrayObject* array = AsMutableArray(theArray, "CFArraySetValueAtIndex");
    if (array == nullptr ||
        !CheckIndex(array, idx, static_cast<CFIndex>(array->values.size()) + 1, "CFArraySetValueAtIndex"))
        return;
    if (static_cast<size_t>(idx) == array->values.size()) {
        array->values.push_back(array->RetainValue(value));
        return;
    }
    const void* old = array->values[static_cast<size_t>(idx)];
    array->values[static_cast<size_t>(idx)] = array->RetainValue(value);
    array->ReleaseValue(old);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx)
{
    CFArrayObject* array = AsMutableArray(theArray, "CFArrayRemoveValueAtIndex");
    if (array == nullptr ||
        !CheckIndex(array, idx, static_cast<CFIndex>(array->values.size()), "CFArrayRemoveValueAtIndex"))
        return;
    const void* old = array->values[static_cast<size_t>(idx)];
    array->values.erase(array->values.begin() + idx);
    array->ReleaseValue(old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray)
{
    if (CFArrayObject* array = AsMutableArray(theArray, "CFArrayRemoveAllValues")) {
        CFNodeVector<const void*> old;
        old.swap(array->values);
        for (const void* value : old)
            array->ReleaseValue(value);
    }
}

void CFArrayReplaceValues(CFMutableArrayRef theArray, CFRange range, const void** newValues, CFIndex newCount)
{
    CFArrayObject* array = AsMutableArray(theArray, "CFArrayReplaceValues");
    if (array == nullptr)
        return;
    size_t start, count;
    CFRuntimeClampRange(range, array->values.size(), &start, &count);
    std::vector<const void*> added;
    if (newValues != nullptr && newCount > 0)
        for (CFIndex i = 0; i < newCount; ++i)
            added.push_back(array->RetainValue(newValues[i]));
    std::vector<const void*> removed(array->values.begin() + static_cast<ptrdiff_t>(start),
                                     array->values.begin() + static_cast<ptrdiff_t>(start + count));
    array->values.erase(array->values.begin() + static_cast<ptrdiff_t>(start),
                        array->values.begin() + static_cast<ptrdiff_t>(start + count));
    array->values.insert(array->values.begin() + static_cast<ptrdiff_t>(start), added.begin(), added.end());
    // Released last, so that replacing a value with itself never frees it.
    for (const void* value : removed)
        array->ReleaseValue(value);
}

void CFArrayExchangeValuesAtIndices(CFMutableArrayRef theArray, CFIndex idx1, CFIndex idx2)
{
    CFArrayObject* array = AsMutableArray(theArray, "CFArrayExchangeValuesAtIndices");
    const CFIndex count = array ? static_cast<CFIndex>(array->values.size()) : 0;
    if (array && CheckIndex(array, idx1, count, "CFArrayExchangeValuesAtIndices") &&
        CheckIndex(array, idx2, count, "CFArrayExchangeValuesAtIndices"))
        std::swap(array->values[static_cast<size_t>(idx1)], array->values[static_cast<size_t>(idx2)]);
}

void CFArrayAppendArray(CFMutableArrayRef theArray, CFArrayRef otherArray, CFRange otherRange)
{
    CFArrayObject* array = AsMutableArray(theArray, "CFArrayAppendArray");
    const CFArrayObject* other = CFArrayObjectOf(otherArray);
    if (array == nullptr || other == nullptr)
        return;
    size_t start, count;
    CFRuntimeClampRange(otherRange, other->values.size(), &start, &count);
    std::vector<const void*> added(other->values.begin() + static_cast<ptrdiff_t>(start),
                                   other->values.begin() + static_cast<ptrdiff_t>(start + count));
    for (const void* value : added)
        array->values.push_back(array->RetainValue(value));
}

void CFArraySortValues(CFMutableArrayRef theArray, CFRange range, CFComparatorFunction comparator, void* context)
{
    CFArrayObject* array = AsMutableArray(theArray, "CFArraySortValues");
    if (array == nullptr || comparator == nullptr)
        return;
    size_t start, count;
    CFRuntimeClampRange(range, array->values.size(), &start, &count);
    std::stable_sort(array->values.begin() + static_cast<ptrdiff_t>(start),
                     array->values.begin() + static_cast<ptrdiff_t>(start + count),
                     [&](const void* a, const void* b) { return comparator(a, b, context) == kCFCompareLessThan; });
}
