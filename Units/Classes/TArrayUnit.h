// The ordered lists of the system. A list is an object that owns one
// mutable platform array; its classes differ only in what happens to an
// element that enters or leaves it:
//
//   TTypeArray          platform values, retained the platform's way
//   TObjectArray        objects of the system, Retain and Release
//   TPointerArray       memory blocks (NewPtr) that the list owns and disposes of
//   TWeakPointerArray   pointers the list does not own
//
// Lists are walked by index, with the built-in enumeration (Enumerate,
// GetNextValue) or with a range-for:
//
//   for (void* value : *list)
//       ... ForIndex() is the index of `value` ...
//
// Values go in as `const void*` (platform values and objects alike) and come
// out as `void*`; nil values are never stored.
#pragma once

#include "TObjectUnit.h"

#include <Units/Utilities/CFUtilities.h>

#include <initializer_list>

class TArray;

// A for-in walk over a list. The list is not retained: it must outlive the
// walk. Elements added or removed during the walk are seen as they come
// (the walk ends when it passes the live count).
class TArrayEnumerator {
public:
    explicit TArrayEnumerator(const TArray* array) : array_(array) {}

    // Moves to the next element; false when there is none.
    bool MoveNext();
    void* Current() const { return current_; }

    // The range-for protocol.
    struct Sentinel {};
    void* operator*() const { return current_; }
    TArrayEnumerator& operator++()
    {
        more_ = MoveNext();
        return *this;
    }
    friend bool operator==(const TArrayEnumerator& e, Sentinel) { return !e.more_; }

private:
    const TArray* array_;
    void* current_ = nullptr;
    SInt32 nextIndex_ = 0;
    bool more_ = false;
};

// The index of the current element of the for-in walk that moved last (in
// nested walks, the inner one's while it runs). Per thread.
SInt32 ForIndex();

class TArray : public TObject {
    BRINDLET_CLASS(TArray, TObject)

public:
    // TArray itself is abstract: this writes a warning and ends the program.
    // Each list class has its own Create overloads:
    //   Create()                  an empty list
    //   Create({a, b, c})         a list of the values, in order (nil skipped)
    //   Create(TArray* source)    a list holding the source's elements
    //   Create(CFArrayRef list)   a list holding the platform list's elements
    // A nil source gives an empty list. (A braced list of one element that
    // is itself a list or a platform list picks the copying form.)
    [[noreturn]] static TArray* Create();
    // A new, empty list of a list class named by its ClassInfo (Create of
    // that class: TArray itself ends the program); nil when the class is not
    // a list class.
    static TArray* CreateWithClass(const ClassInfo& listClass);

    void Initialize() override;
    void Deallocate() override;
    void CopyInstanceVariables(TObject* source) override;

    SInt32 Count() const;
    // Count - 1: -1 for an empty list.
    SInt32 Limit() const { return Count() - 1; }
    CFRange Range() const { return CFRangeMake(0, Count()); }
    // The list itself, not retained for the caller.
    CFArrayRef CFType() const { return cfArray_; }

    // Nil outside 0 ... Limit.
    void* GetValue(SInt32 index) const;
    void* GetFirstValue() const { return GetValue(0); }
    void* GetLastValue() const { return GetValue(Limit()); }
    // The first index holding exactly `value` (the same pointer); -1 when none.
    SInt32 GetIndex(const void* value) const;
    // Whether an element equals `value` by the list's equality; false for nil.
    bool ContainsValue(const void* value) const;

    // Editing. Nil values are ignored; an element enters with the list's
    // retain and leaves with its release. Indices outside the list change
    // nothing.
    void AppendValue(const void* value);
    void InsertValue(SInt32 index, const void* value);
    void AppendArray(const TArray* other);
    void ExchangeValues(SInt32 i, SInt32 j);
    void Reverse();
    void Remove(SInt32 index);
    void RemoveFirst();
    void RemoveLast();
    // Removes the first element that is exactly `value`.
    void RemoveValue(const void* value);
    void RemoveAll();
    // Moves one element: [a, b, c] Reorder(0, 3) and Reorder(0, 2) give
    // [b, c, a], Reorder(2, 0) gives [c, a, b]. The element never leaves the
    // list, so its retain count stays as it was, and a block in a pointer
    // list is not disposed of. `fromIndex` must be within the list and
    // `toIndex` within 0 ... Count; otherwise nothing happens.
    virtual void Reorder(SInt32 fromIndex, SInt32 toIndex);

    // Sorting the whole list (stable). Without a comparator, HandleSort
    // compares: it answers below 0, 0 or above 0 like any comparator (0 in
    // TArray, so the order stays).
    void Sort(CFComparatorFunction comparator, void* context);
    void Sort();
    virtual SInt32 HandleSort(const void* a, const void* b);

    // The built-in enumeration, one at a time per list:
    //   while (list->Enumerate()) ... list->GetNextValue() ...
    // A loop left early calls ResetEnumeration.
    bool Enumerate();
    void* GetNextValue() const { return GetValue(enumerationIndex_ - 1); }
    void ResetEnumeration() { enumerationIndex_ = 0; }

    // For-in walks.
    TArrayEnumerator GetEnumerator() const { return TArrayEnumerator(this); }
    TArrayEnumerator begin() const
    {
        TArrayEnumerator e(this);
        ++e;
        return e;
    }
    TArrayEnumerator::Sentinel end() const { return {}; }

protected:
    TArray() = default;

    // What the class's lists do to their elements: platform values unless a
    // class says otherwise.
    virtual const CFArrayCallBacks* ElementCallBacks() const;
    // A new list holding the elements of `source` for an object of this
    // class (nil when `source` is not a list). The element callbacks of
    // `source` come along, so the elements are held the way the source holds
    // them.
    virtual CFMutableArrayRef CopyList(CFArrayRef source) const;
    // Gives the object its (empty) list when it has none.
    void MakeList();

    template <typename T>
    static T* NewList()
    {
        T* list = AllocateInstance<T>();
        list->Initialize();
        return list;
    }
    template <typename T>
    static T* NewList(std::initializer_list<const void*> values)
    {
        T* list = NewList<T>();
        for (const void* value : values)
            list->AppendValue(value);
        return list;
    }
    template <typename T>
    static T* NewCopy(CFArrayRef source)
    {
        T* list = AllocateInstance<T>();
        TArray* base = list;
        base->cfArray_ = base->CopyList(source);
        base->Initialize();
        return list;
    }
    template <typename T>
    static T* NewCopy(const TArray* source)
    {
        return NewCopy<T>(source ? source->CFType() : nullptr);
    }

private:
    SInt32 enumerationIndex_ = 0;
    CFMutableArrayRef cfArray_ = nullptr;
};

// Platform values: strings, numbers, data, dates, lists and dictionaries.
class TTypeArray : public TArray {
    BRINDLET_CLASS(TTypeArray, TArray)

public:
    static TTypeArray* Create() { return NewList<TTypeArray>(); }
    static TTypeArray* Create(std::initializer_list<const void*> values) { return NewList<TTypeArray>(values); }
    static TTypeArray* Create(const TArray* source) { return NewCopy<TTypeArray>(source); }
    static TTypeArray* Create(CFArrayRef list) { return NewCopy<TTypeArray>(list); }

    // A number of the signed 32-bit kind.
    void AppendIntegerValue(SInt32 n);
    void AppendDataValue(UInt32 size, const void* bytes);
    // -1 when there is no element at the index; 0 when it is not a number or
    // does not read exactly as a signed 32-bit integer.
    SInt32 GetIntegerValue(SInt32 index) const;
    // Empty when there is no element or it is not a string.
    ShortString GetStringValue(SInt32 index) const;
    // Copies the element's bytes only when it is data of exactly `size` bytes.
    bool GetDataValue(SInt32 index, void* dest, size_t size) const;
    template <typename T>
    bool GetDataValue(SInt32 index, T* dest) const
    {
        return GetDataValue(index, dest, sizeof(T));
    }

protected:
    TTypeArray() = default;
};

// Objects of the system; the list holds one reference to each element.
// Archived as its elements' child archives, in order.
class TObjectArray : public TArray {
    BRINDLET_CLASS(TObjectArray, TArray)

public:
    static TObjectArray* Create() { return NewList<TObjectArray>(); }
    static TObjectArray* Create(std::initializer_list<const void*> values) { return NewList<TObjectArray>(values); }
    static TObjectArray* Create(const TArray* source) { return NewCopy<TObjectArray>(source); }
    static TObjectArray* Create(CFArrayRef list) { return NewCopy<TObjectArray>(list); }

    // Makes the list when the object has none (an object rebuilt from an
    // archive is allocated without Create).
    void AllocateReference() { MakeList(); }

    void EncodeData(TArchiver* archiver) override;
    void DecodeData(TArchiver* archiver) override;

protected:
    TObjectArray() = default;
    const CFArrayCallBacks* ElementCallBacks() const override;
};

// Memory blocks made with NewPtr: a block handed to the list belongs to it
// and is disposed of when it leaves. A copy of such a list holds copies of
// the blocks, so that no block has two owners.
class TPointerArray : public TArray {
    BRINDLET_CLASS(TPointerArray, TArray)

public:
    static TPointerArray* Create() { return NewList<TPointerArray>(); }
    static TPointerArray* Create(std::initializer_list<const void*> values) { return NewList<TPointerArray>(values); }
    static TPointerArray* Create(const TArray* source) { return NewCopy<TPointerArray>(source); }
    static TPointerArray* Create(CFArrayRef list) { return NewCopy<TPointerArray>(list); }

protected:
    TPointerArray() = default;
    const CFArrayCallBacks* ElementCallBacks() const override;
    CFMutableArrayRef CopyList(CFArrayRef source) const override;
};

// Pointers the list neither owns nor frees, also in its copies.
class TWeakPointerArray : public TArray {
    BRINDLET_CLASS(TWeakPointerArray, TArray)

public:
    static TWeakPointerArray* Create() { return NewList<TWeakPointerArray>(); }
    static TWeakPointerArray* Create(std::initializer_list<const void*> values)
    {
        return NewList<TWeakPointerArray>(values);
    }
    static TWeakPointerArray* Create(const TArray* source) { return NewCopy<TWeakPointerArray>(source); }
    static TWeakPointerArray* Create(CFArrayRef list) { return NewCopy<TWeakPointerArray>(list); }

protected:
    TWeakPointerArray() = default;
    const CFArrayCallBacks* ElementCallBacks() const override;
    CFMutableArrayRef CopyList(CFArrayRef source) const override;
};

// What the object and block containers do to their elements; the
// dictionaries use the same for their values. All of them accept nil.
namespace ContainerCallBacks {
const void* RetainObject(CFAllocatorRef, const void* value);
void ReleaseObject(CFAllocatorRef, const void* value);
CFStringRef CopyObjectDescription(const void* value);
Boolean ObjectsEqual(const void* a, const void* b);
void DisposeBlock(CFAllocatorRef, const void* value);
// "pointer <size> bytes".
CFStringRef CopyBlockDescription(const void* value);
// A new block with a copy of the bytes of `value`; nil when `value` is not
// a live block.
Ptr CopyBlock(const void* value);
}  // namespace ContainerCallBacks

// Registers the archivable list class, TObjectArray.
void InitializeTArrayUnit();
