#include "TArrayUnit.h"

#include "TArchiverUnit.h"

#include <CarbonCore/MacMemory.h>
#include <Support/Diagnostics.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

// The next index of the for-in walk that moved last. Background tasks walk
// lists of their own, so each thread has its own.
thread_local SInt32 gArrayEnumerationIndex = 0;

TObject* AsObject(const void* value)
{
    return static_cast<TObject*>(const_cast<void*>(value));
}

CFStringRef NewUTF8String(const std::string& text)
{
    return CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
}

bool IsNumber(CFTypeRef value)
{
    return value != nullptr && CFGetTypeID(value) == CFNumberGetTypeID();
}

const CFArrayCallBacks kObjectCallBacks = {0, ContainerCallBacks::RetainObject, ContainerCallBacks::ReleaseObject,
                                           ContainerCallBacks::CopyObjectDescription, ContainerCallBacks::ObjectsEqual};
const CFArrayCallBacks kPointerCallBacks = {0, nullptr, ContainerCallBacks::DisposeBlock,
                                            ContainerCallBacks::CopyBlockDescription, nullptr};
const CFArrayCallBacks kWeakPointerCallBacks = {0, nullptr, nullptr, ContainerCallBacks::CopyBlockDescription, nullptr};

CFComparisonResult CompareByHandleSort(const void* a, const void* b, void* context)
{
    const SInt32 order = static_cast<TArray*>(context)->HandleSort(a, b);
    return order < 0 ? kCFCompareLessThan : order > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

// The elements of a platform list, in order.
std::vector<const void*> ElementsOf(CFArrayRef list)
{
    std::vector<const void*> values(static_cast<size_t>(CFArrayGetCount(list)));
    CFArrayGetValues(list, CFRangeMake(0, static_cast<CFIndex>(values.size())), values.data());
    return values;
}

bool IsList(CFTypeRef value)
{
    return value != nullptr && CFGetTypeID(value) == CFArrayGetTypeID();
}

}  // namespace

// ---- element callbacks ----

namespace ContainerCallBacks {

const void* RetainObject(CFAllocatorRef, const void* value)
{
    if (value)
        AsObject(value)->Retain();
    return value;
}

void ReleaseObject(CFAllocatorRef, const void* value)
{
    if (value)
        AsObject(value)->Release();
}

CFStringRef CopyObjectDescription(const void* value)
{
    return value ? AsObject(value)->CopyDescription() : NewUTF8String("(null)");
}

Boolean ObjectsEqual(const void* a, const void* b)
{
    return a == b || (a != nullptr && AsObject(a)->Equal(b));
}

void DisposeBlock(CFAllocatorRef, const void* value)
{
    DisposePtr(static_cast<Ptr>(const_cast<void*>(value)));
}

CFStringRef CopyBlockDescription(const void* value)
{
    return NewUTF8String("pointer " + std::to_string(GetPtrSize(static_cast<Ptr>(const_cast<void*>(value)))) +
                         " bytes");
}

Ptr CopyBlock(const void* value)
{
    Ptr block = static_cast<Ptr>(const_cast<void*>(value));
    if (!IsPointerValid(block))
        return nullptr;
    const Size size = GetPtrSize(block);
    Ptr copy = NewPtr(size);
    if (copy)
        BlockMoveData(block, copy, size);
    return copy;
}

}  // namespace ContainerCallBacks

// ---- for-in walks ----

bool TArrayEnumerator::MoveNext()
{
    const SInt32 count = array_->Count();
    if (count > nextIndex_)
        current_ = array_->GetValue(nextIndex_);
    ++nextIndex_;
    gArrayEnumerationIndex = nextIndex_;
    return count >= nextIndex_;
}

SInt32 ForIndex()
{
    return gArrayEnumerationIndex - 1;
}

// ---- TArray ----

BRINDLET_DEFINE_CLASS(TArray, TObject)

TArray* TArray::Create()
{
    Diagnostics::WriteLine("Warning: Called an abstract TArray constructor.");
    std::exit(0);
}

TArray* TArray::CreateWithClass(const ClassInfo& listClass)
{
    if (!listClass.InheritsFrom(TArray::StaticClass()))
        return nullptr;
    if (&listClass == &TArray::StaticClass())
        Create();
    TObject* list = listClass.allocate();
    list->RequestInitialization();
    return static_cast<TArray*>(list);
}

const CFArrayCallBacks* TArray::ElementCallBacks() const
{
    return &kCFTypeArrayCallBacks;
}

CFMutableArrayRef TArray::CopyList(CFArrayRef source) const
{
    return IsList(source) ? CFArrayCreateMutableCopy(nullptr, 0, source) : nullptr;
}

void TArray::MakeList()
{
    if (cfArray_ != nullptr)
        return;
    cfArray_ = CFArrayCreateMutable(nullptr, 0, ElementCallBacks());
}

void TArray::Initialize()
{
    Inherited::Initialize();
    MakeList();
}

void TArray::Deallocate()
{
    // Each element leaves with the list's release. The list is detached
    // first: an element that takes itself out of this list from its own
    // Deallocate then finds it empty instead of half taken apart.
    CFMutableArrayRef list = std::exchange(cfArray_, nullptr);
    CFReleaseSafe(list);
    Inherited::Deallocate();
}

void TArray::CopyInstanceVariables(TObject* source)
{
    Inherited::CopyInstanceVariables(source);
    if (!MemberOfClass(source, TArray::StaticClass()))
        return;
    CFReleaseSafe(cfArray_);
    cfArray_ = CopyList(static_cast<TArray*>(source)->cfArray_);
}

SInt32 TArray::Count() const
{
    return static_cast<SInt32>(CFArrayGetCount(cfArray_));
}

void* TArray::GetValue(SInt32 index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return const_cast<void*>(CFArrayGetValueAtIndex(cfArray_, index));
}

SInt32 TArray::GetIndex(const void* value) const
{
    const SInt32 count = Count();
    for (SInt32 i = 0; i < count; ++i)
        if (CFArrayGetValueAtIndex(cfArray_, i) == value)
            return i;
    return -1;
}

bool TArray::ContainsValue(const void* value) const
{
    return value != nullptr && CFArrayContainsValue(cfArray_, Range(), value);
}

void TArray::AppendValue(const void* value)
{
    if (value != nullptr)
        CFArrayAppendValue(cfArray_, value);
}

void TArray::InsertValue(SInt32 index, const void* value)
{
    if (value != nullptr && index >= 0 && index <= Count())
        CFArrayInsertValueAtIndex(cfArray_, index, value);
}

void TArray::AppendArray(const TArray* other)
{
    if (other != nullptr && other->Count() > 0)
        CFArrayAppendArray(cfArray_, other->cfArray_, other->Range());
}

void TArray::ExchangeValues(SInt32 i, SInt32 j)
{
    const SInt32 count = Count();
    if (i >= 0 && i < count && j >= 0 && j < count)
        CFArrayExchangeValuesAtIndices(cfArray_, i, j);
}

void TArray::Reverse()
{
    for (SInt32 low = 0, high = Limit(); low < high; ++low, --high)
        CFArrayExchangeValuesAtIndices(cfArray_, low, high);
}

void TArray::Remove(SInt32 index)
{
    if (index >= 0 && index < Count())
        CFArrayRemoveValueAtIndex(cfArray_, index);
}

void TArray::RemoveFirst()
{
    Remove(0);
}

void TArray::RemoveLast()
{
    Remove(Limit());
}

void TArray::RemoveValue(const void* value)
{
    Remove(GetIndex(value));
}

void TArray::RemoveAll()
{
    CFArrayRemoveAllValues(cfArray_);
}

void TArray::Reorder(SInt32 fromIndex, SInt32 toIndex)
{
    const SInt32 count = Count();
    if (fromIndex < 0 || fromIndex >= count || toIndex < 0 || toIndex > count)
        return;
    // Taken out and put back at toIndex of the shortened list, or appended
    // when toIndex is past its end; done by exchanges, so the element never
    // passes through the list's release.
    const SInt32 target = std::min(toIndex, count - 1);
    for (SInt32 i = fromIndex; i < target; ++i)
        CFArrayExchangeValuesAtIndices(cfArray_, i, i + 1);
    for (SInt32 i = fromIndex; i > target; --i)
        CFArrayExchangeValuesAtIndices(cfArray_, i, i - 1);
}

void TArray::Sort(CFComparatorFunction comparator, void* context)
{
    if (comparator != nullptr)
        CFArraySortValues(cfArray_, Range(), comparator, context);
}

void TArray::Sort()
{
    Sort(CompareByHandleSort, this);
}

SInt32 TArray::HandleSort(const void*, const void*)
{
    return 0;
}

bool TArray::Enumerate()
{
    ++enumerationIndex_;
    if (enumerationIndex_ <= Count())
        return true;
    enumerationIndex_ = 0;
    return false;
}

// ---- TTypeArray ----

BRINDLET_DEFINE_CLASS(TTypeArray, TArray)

void TTypeArray::AppendIntegerValue(SInt32 n)
{
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &n);
    AppendValue(number);
    CFRelease(number);
}

void TTypeArray::AppendDataValue(UInt32 size, const void* bytes)
{
    CFDataRef data = CFDataCreate(nullptr, static_cast<const UInt8*>(bytes), size);
    AppendValue(data);
    CFReleaseSafe(data);
}

SInt32 TTypeArray::GetIntegerValue(SInt32 index) const
{
    CFTypeRef value = GetValue(index);
    if (value == nullptr)
        return -1;
    SInt32 n = 0;
    if (!IsNumber(value) || !CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &n))
        return 0;
    return n;
}

ShortString TTypeArray::GetStringValue(SInt32 index) const
{
    CFTypeRef value = GetValue(index);
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID())
        return {};
    return CFStringToPascal(static_cast<CFStringRef>(value));
}

bool TTypeArray::GetDataValue(SInt32 index, void* dest, size_t size) const
{
    return CFDataCopyExactly(GetValue(index), dest, size);
}

// ---- TObjectArray ----

BRINDLET_DEFINE_CLASS(TObjectArray, TArray)

const CFArrayCallBacks* TObjectArray::ElementCallBacks() const
{
    return &kObjectCallBacks;
}

void TObjectArray::EncodeData(TArchiver* archiver)
{
    Inherited::EncodeData(archiver);
    // By index rather than with the built-in enumeration, so that archiving
    // a list in the middle of walking it does not disturb the walk.
    const SInt32 count = Count();
    for (SInt32 i = 0; i < count; ++i)
        AsObject(GetValue(i))->ArchiveObject(archiver);
}

void TObjectArray::DecodeData(TArchiver* archiver)
{
    Inherited::DecodeData(archiver);
    AllocateReference();
    const SInt32 limit = archiver->Limit();
    for (SInt32 i = 0; i <= limit; ++i) {
        // A child whose class is not registered is left out; the others keep their order.
        TObject* element = AllocateFromArchive(archiver, i, GetInitializationParameters());
        if (element == nullptr)
            continue;
        AppendValue(element);
        element->Release();
    }
}

// ---- TPointerArray ----

BRINDLET_DEFINE_CLASS(TPointerArray, TArray)

const CFArrayCallBacks* TPointerArray::ElementCallBacks() const
{
    return &kPointerCallBacks;
}

CFMutableArrayRef TPointerArray::CopyList(CFArrayRef source) const
{
    if (!IsList(source))
        return nullptr;
    CFMutableArrayRef list = CFArrayCreateMutable(nullptr, 0, &kPointerCallBacks);
    for (const void* value : ElementsOf(source))
        if (Ptr copy = ContainerCallBacks::CopyBlock(value))
            CFArrayAppendValue(list, copy);
    return list;
}

// ---- TWeakPointerArray ----

BRINDLET_DEFINE_CLASS(TWeakPointerArray, TArray)

const CFArrayCallBacks* TWeakPointerArray::ElementCallBacks() const
{
    return &kWeakPointerCallBacks;
}

CFMutableArrayRef TWeakPointerArray::CopyList(CFArrayRef source) const
{
    if (!IsList(source))
        return nullptr;
    // Not the source's callbacks: a copy of an owning list must not own too.
    CFMutableArrayRef list = CFArrayCreateMutable(nullptr, 0, &kWeakPointerCallBacks);
    for (const void* value : ElementsOf(source))
        CFArrayAppendValue(list, value);
    return list;
}

// ---- the unit ----

void InitializeTArrayUnit()
{
    RegisterClass(TObjectArray::StaticClass());
}
