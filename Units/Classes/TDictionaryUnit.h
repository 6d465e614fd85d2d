// The keyed tables of the system. A dictionary is an object that owns one
// mutable platform dictionary whose keys are strings; like the lists, its
// classes differ in what happens to values that enter and leave:
//
//   TTypeDictionary          platform values (the parameter record of the
//                            whole system: notification payloads, handler
//                            and delegate parameters, alerts)
//   TObjectDictionary        objects of the system, Retain and Release
//   TPointerDictionary       memory blocks (NewPtr) that the table owns
//   TWeakPointerDictionary   pointers the table does not own
//
// Keys are given as short strings (which become the constant platform
// string of the text, so the same text always names the same key) or as
// platform strings; they compare exactly. Nil values are not stored, except
// by AddKey.
#pragma once

#include "TArrayUnit.h"

#include <vector>

class TTypeDictionary;

class TDictionary : public TObject {
    BRINDLET_CLASS(TDictionary, TObject)

public:
    // TDictionary itself is abstract: this writes a warning and ends the
    // program. Each dictionary class has Create() (empty) and
    // Create(CFDictionaryRef) (a mutable copy of a received dictionary, whose
    // values are held the way that dictionary holds them; empty for nil).
    [[noreturn]] static TDictionary* Create();

    void Initialize() override;
    void Deallocate() override;
    void CopyInstanceVariables(TObject* source) override;
    // Prints the table.
    void Show() override;

    SInt32 Count() const;
    // The table itself, not retained for the caller.
    CFDictionaryRef CFType() const { return cfDictionary_; }

    // Stores the value, replacing an existing one; nil is ignored.
    void SetValue(const ShortString& key, const void* value) { SetValue(CFSTR(key), value); }
    void SetValue(CFStringRef key, const void* value);
    // Stores the value only when the key is absent; nil is ignored.
    void AddValue(const ShortString& key, const void* value) { AddValue(CFSTR(key), value); }
    void AddValue(CFStringRef key, const void* value);
    // Adds the key, with no value, when it is absent.
    void AddKey(const ShortString& key) { AddKey(CFSTR(key)); }
    void AddKey(CFStringRef key);
    // Nil when absent; the value is not retained for the caller.
    void* GetValue(const ShortString& key) const { return GetValue(CFSTR(key)); }
    void* GetValue(CFStringRef key) const;
    // Stores the value where `value` points (when not nil) when the key is present.
    bool GetValueIfPresent(const ShortString& key, void** value) const { return GetValueIfPresent(CFSTR(key), value); }
    bool GetValueIfPresent(CFStringRef key, void** value) const;
    bool ContainsKey(const ShortString& key) const { return ContainsKey(CFSTR(key)); }
    bool ContainsKey(CFStringRef key) const;
    // Whether a value equals `value` by the table's equality.
    bool ContainsValue(const void* value) const;
    void Remove(const ShortString& key) { Remove(CFSTR(key)); }
    void Remove(CFStringRef key);
    void RemoveAll();

    // New lists of all keys (a TTypeArray) or all values (a list of the
    // table's own kind: TTypeArray, TObjectArray, or TWeakPointerArray for
    // blocks), in the platform's order; the caller releases them. The forms
    // with a list class make a list of that class (nil when it is not a list
    // class); the caller picks one that holds these values soundly.
    TTypeArray* CopyKeys() const;
    TArray* CopyValues() const;
    TArray* CopyKeys(const ClassInfo& listClass) const;
    TArray* CopyValues(const ClassInfo& listClass) const;

    // The built-in enumeration, over snapshots of the keys and values taken
    // when it starts, so the table may change meanwhile and every entry
    // present at the start is visited once:
    //   while (table->Enumerate()) ... table->GetNextKey(), table->GetNextValue() ...
    // A loop left early calls ResetEnumeration. Enumerate(listClass) takes
    // the value snapshot as a list of that class.
    bool Enumerate();
    bool Enumerate(const ClassInfo& listClass);
    void ResetEnumeration();
    // The 0-based position of the current entry; -1 when none.
    SInt32 GetEnumerationIndex() const { return enumerationPosition_ - 1; }
    CFTypeRef GetNextKeyType() const;
    ShortString GetNextKey() const;
    void* GetNextValue() const;

    // Calls ApplierFunction once per entry (over a snapshot, as Enumerate).
    void ApplyFunction();
    virtual void ApplierFunction(const ShortString& key, const void* value);

    // A new dictionary over a copy of the dictionary under `key`; nil when
    // the key is absent or holds no dictionary. The caller releases it.
    TTypeDictionary* CopyDictionary(const ShortString& key) const;
    // The value at a path "key/2/other": a dictionary's member by key, a
    // list's element by decimal index; nil as soon as a part does not fit.
    // A path without "/" between two names is a plain key.
    void* GetNestedValue(const ShortString& path) const;
    // Writes the table as an XML property list to a POSIX path: the status
    // of the write (0 when written), -1 when the path or the table cannot be
    // turned into a URL or XML.
    SInt32 Save(CFStringRef path) const;

    // The dictionary constructor for an object already allocated by class
    // (a notification's details rebuilt from the class name they carry):
    // the table becomes a copy of `source`, then Initialize runs.
    void InitializeWithDictionary(CFDictionaryRef source);

protected:
    TDictionary() = default;

    // What the class's tables do to their values: platform values unless a
    // class says otherwise.
    virtual const CFDictionaryValueCallBacks* ValueCallBacks() const;
    // The list class that holds this table's values soundly.
    virtual const ClassInfo& ValueListClass() const;
    // A new table holding the entries of `source` for an object of this
    // class (nil when `source` is not a dictionary); the source's callbacks
    // come along.
    virtual CFMutableDictionaryRef CopyTable(CFDictionaryRef source) const;
    // Gives the object its (empty) table when it has none.
    void MakeTable();
    // Replaces the table by `table`, taking over the caller's reference (for
    // subclasses whose table comes from elsewhere, a file say).
    void AdoptTable(CFMutableDictionaryRef table);

    template <typename T>
    static T* NewTable()
    {
        T* table = AllocateInstance<T>();
        table->Initialize();
        return table;
    }
    template <typename T>
    static T* NewTable(CFDictionaryRef source)
    {
        T* table = AllocateInstance<T>();
        TDictionary* base = table;
        base->cfDictionary_ = base->CopyTable(source);
        base->Initialize();
        return table;
    }

private:
    // Whether the values are platform values, which may be looked into.
    bool HoldsPlatformValues() const;

    CFMutableDictionaryRef cfDictionary_ = nullptr;
    TTypeArray* enumerationKeys_ = nullptr;
    TArray* enumerationValues_ = nullptr;
    // The snapshot's values by position, nil for a key without a value: the
    // value list, which holds the references, leaves nil out, so its
    // positions need not be the keys' positions.
    std::vector<const void*> enumerationValueAt_;
    SInt32 enumerationPosition_ = 0;
};

// Platform values, with typed access. The typed reads coerce:
//   boolean  false when absent; true for any value but the platform false
//            (a number 0 and a string read true)
//   integer  -1 when absent; a string as the platform reads its number (0
//            when none); a number read exactly as a signed 32-bit integer
//            (0 when it cannot be); 0 for anything else
//   string   empty when absent; a number as the decimal text of its signed
//            32-bit value (empty when it cannot be); a string's text; empty
//            for anything else
//   float    -1.0 when absent; any number converted; 0.0 for anything else
// Data and pointers are copied out only when the stored data has exactly the
// destination's size.
class TTypeDictionary : public TDictionary {
    BRINDLET_CLASS(TTypeDictionary, TDictionary)

public:
    static TTypeDictionary* Create() { return NewTable<TTypeDictionary>(); }
    static TTypeDictionary* Create(CFDictionaryRef dictionary) { return NewTable<TTypeDictionary>(dictionary); }

    void SetBooleanValue(const ShortString& key, bool value) { SetBooleanValue(CFSTR(key), value); }
    void SetBooleanValue(CFStringRef key, bool value);
    void SetStringValue(const ShortString& key, const ShortString& text) { SetStringValue(CFSTR(key), text); }
    void SetStringValue(CFStringRef key, const ShortString& text);
    // A number of the signed 32-bit kind.
    void SetIntegerValue(const ShortString& key, SInt32 value) { SetIntegerValue(CFSTR(key), value); }
    void SetIntegerValue(CFStringRef key, SInt32 value);
    // A number of the 32-bit float kind.
    void SetFloatValue(const ShortString& key, Float32 value) { SetFloatValue(CFSTR(key), value); }
    void SetFloatValue(CFStringRef key, Float32 value);
    void SetDataValue(const ShortString& key, UInt32 size, const void* bytes) { SetDataValue(CFSTR(key), size, bytes); }
    void SetDataValue(CFStringRef key, UInt32 size, const void* bytes);
    // The pointer value itself, as data of pointer width.
    void SetPointerValue(const ShortString& key, const void* pointer) { SetPointerValue(CFSTR(key), pointer); }
    void SetPointerValue(CFStringRef key, const void* pointer);

    // The same, each only when the key is absent.
    void AddBooleanValue(const ShortString& key, bool value);
    void AddStringValue(const ShortString& key, const ShortString& text);
    void AddIntegerValue(const ShortString& key, SInt32 value);
    void AddDataValue(const ShortString& key, UInt32 size, const void* bytes);
    void AddPointerValue(const ShortString& key, const void* pointer);

    bool GetBooleanValue(const ShortString& key) const { return GetBooleanValue(CFSTR(key)); }
    bool GetBooleanValue(CFStringRef key) const;
    SInt32 GetIntegerValue(const ShortString& key) const { return GetIntegerValue(CFSTR(key)); }
    SInt32 GetIntegerValue(CFStringRef key) const;
    ShortString GetStringValue(const ShortString& key) const { return GetStringValue(CFSTR(key)); }
    ShortString GetStringValue(CFStringRef key) const;
    Float32 GetFloatValue(const ShortString& key) const { return GetFloatValue(CFSTR(key)); }
    Float32 GetFloatValue(CFStringRef key) const;
    bool GetDataValue(const ShortString& key, void* dest, size_t size) const
    {
        return GetDataValue(CFSTR(key), dest, size);
    }
    bool GetDataValue(CFStringRef key, void* dest, size_t size) const;
    template <typename T>
    bool GetDataValue(const ShortString& key, T* dest) const
    {
        return GetDataValue(key, dest, sizeof(T));
    }
    template <typename T>
    bool GetDataValue(CFStringRef key, T* dest) const
    {
        return GetDataValue(key, dest, sizeof(T));
    }
    // Nil when absent or not a pointer stored by SetPointerValue.
    void* GetPointerValue(const ShortString& key) const { return GetPointerValue(CFSTR(key)); }
    void* GetPointerValue(CFStringRef key) const;

    // New values the caller releases; nil when absent (and, for the strings
    // and the list, when the value is of another kind).
    CFStringRef CopyStringValue(const ShortString& key) const;
    CFMutableStringRef CopyMutableStringValue(const ShortString& key) const;
    TTypeArray* CopyArray(const ShortString& key) const;
    // The value itself, retained for the caller.
    CFTypeRef CopyValue(const ShortString& key) const;

    // Typed reads of the current entry of the enumeration. Unlike the keyed
    // reads they do not coerce: the integer is -1 for no entry and 0 for
    // anything but a number, the string empty for anything but a string.
    bool GetNextBooleanValue() const;
    SInt32 GetNextIntegerValue() const;
    ShortString GetNextStringValue() const;
    bool GetNextDataValue(void* dest, size_t size) const;
    template <typename T>
    bool GetNextDataValue(T* dest) const
    {
        return GetNextDataValue(dest, sizeof(T));
    }

protected:
    TTypeDictionary() = default;
};

// Objects of the system; the table holds one reference to each value.
class TObjectDictionary : public TDictionary {
    BRINDLET_CLASS(TObjectDictionary, TDictionary)

public:
    static TObjectDictionary* Create() { return NewTable<TObjectDictionary>(); }
    static TObjectDictionary* Create(CFDictionaryRef dictionary) { return NewTable<TObjectDictionary>(dictionary); }
    // A new dictionary holding `object` under `key`, autoreleased.
    static TObjectDictionary* DictionaryWithObject(const ShortString& key, TObject* object);

protected:
    TObjectDictionary() = default;
    const CFDictionaryValueCallBacks* ValueCallBacks() const override;
    const ClassInfo& ValueListClass() const override;
};

// Memory blocks made with NewPtr, owned by the table and disposed of when
// they leave. A copy holds copies of the blocks, so that no block has two
// owners.
class TPointerDictionary : public TDictionary {
    BRINDLET_CLASS(TPointerDictionary, TDictionary)

public:
    static TPointerDictionary* Create() { return NewTable<TPointerDictionary>(); }
    static TPointerDictionary* Create(CFDictionaryRef dictionary) { return NewTable<TPointerDictionary>(dictionary); }

protected:
    TPointerDictionary() = default;
    const CFDictionaryValueCallBacks* ValueCallBacks() const override;
    const ClassInfo& ValueListClass() const override;
    CFMutableDictionaryRef CopyTable(CFDictionaryRef source) const override;
};

// Pointers the table neither owns nor frees, also in its copies.
class TWeakPointerDictionary : public TDictionary {
    BRINDLET_CLASS(TWeakPointerDictionary, TDictionary)

public:
    static TWeakPointerDictionary* Create() { return NewTable<TWeakPointerDictionary>(); }
    static TWeakPointerDictionary* Create(CFDictionaryRef dictionary)
    {
        return NewTable<TWeakPointerDictionary>(dictionary);
    }

protected:
    TWeakPointerDictionary() = default;
    const CFDictionaryValueCallBacks* ValueCallBacks() const override;
    const ClassInfo& ValueListClass() const override;
    CFMutableDictionaryRef CopyTable(CFDictionaryRef source) const override;
};
