#include "TDictionaryUnit.h"

#include <CoreFoundation/CFRef.h>
#include <Support/Diagnostics.h>
#include <Units/Utilities/CFPreferenceUtilities.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

const CFDictionaryValueCallBacks kObjectValueCallBacks = {
    0, ContainerCallBacks::RetainObject, ContainerCallBacks::ReleaseObject, ContainerCallBacks::CopyObjectDescription,
    ContainerCallBacks::ObjectsEqual};
const CFDictionaryValueCallBacks kPointerValueCallBacks = {0, nullptr, ContainerCallBacks::DisposeBlock,
                                                           ContainerCallBacks::CopyBlockDescription, nullptr};
const CFDictionaryValueCallBacks kWeakPointerValueCallBacks = {0, nullptr, nullptr,
                                                               ContainerCallBacks::CopyBlockDescription, nullptr};

bool HasType(CFTypeRef value, CFTypeID type)
{
    return value != nullptr && CFGetTypeID(value) == type;
}

bool IsDictionary(CFTypeRef value)
{
    return HasType(value, CFDictionaryGetTypeID());
}

struct Entries {
    std::vector<const void*> keys;
    std::vector<const void*> values;
};

Entries EntriesOf(CFDictionaryRef table)
{
    const size_t count = static_cast<size_t>(CFDictionaryGetCount(table));
    Entries entries{std::vector<const void*>(count), std::vector<const void*>(count)};
    CFDictionaryGetKeysAndValues(table, entries.keys.data(), entries.values.data());
    return entries;
}

// True for the empty text; otherwise when every character is a digit, "-" or ".".
bool StringIsNumber(std::string_view text)
{
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '-' || c == '.'))
            return false;
    return true;
}

// The pieces between the separators, empty pieces left out.
std::vector<std::string_view> PathParts(std::string_view path)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string_view::npos)
            slash = path.size();
        if (slash > start)
            parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

CFNumberRef AsNumber(CFTypeRef value)
{
    return HasType(value, CFNumberGetTypeID()) ? static_cast<CFNumberRef>(value) : nullptr;
}

CFStringRef AsString(CFTypeRef value)
{
    return HasType(value, CFStringGetTypeID()) ? static_cast<CFStringRef>(value) : nullptr;
}

// A number read exactly as a signed 32-bit integer.
bool ReadInteger(CFNumberRef number, SInt32* n)
{
    return number != nullptr && CFNumberGetValue(number, kCFNumberSInt32Type, n);
}

}  // namespace

// ---- TDictionary ----

BRINDLET_DEFINE_CLASS(TDictionary, TObject)

TDictionary* TDictionary::Create()
{
    Diagnostics::WriteLine("Warning: Called an abstract TDictionary constructor.");
    std::exit(0);
}

const CFDictionaryValueCallBacks* TDictionary::ValueCallBacks() const
{
    return &kCFTypeDictionaryValueCallBacks;
}

const ClassInfo& TDictionary::ValueListClass() const
{
    return TTypeArray::StaticClass();
}

bool TDictionary::HoldsPlatformValues() const
{
    return ValueCallBacks() == &kCFTypeDictionaryValueCallBacks;
}

CFMutableDictionaryRef TDictionary::CopyTable(CFDictionaryRef source) const
{
    return IsDictionary(source) ? CFDictionaryCreateMutableCopy(nullptr, 0, source) : nullptr;
}

void TDictionary::MakeTable()
{
    if (cfDictionary_ == nullptr)
        cfDictionary_ = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, ValueCallBacks());
}

void TDictionary::InitializeWithDictionary(CFDictionaryRef source)
{
    if (cfDictionary_ == nullptr)
        cfDictionary_ = CopyTable(source);
    RequestInitialization();
}

void TDictionary::AdoptTable(CFMutableDictionaryRef table)
{
    ResetEnumeration();
    CFReleaseSafe(cfDictionary_);
    cfDictionary_ = table;
    MakeTable();
}

void TDictionary::Initialize()
{
    Inherited::Initialize();
    MakeTable();
}

void TDictionary::Deallocate()
{
    ReleaseObject(enumerationKeys_);
    ReleaseObject(enumerationValues_);
    // Each value leaves with the table's release.
    CFReleaseSafe(cfDictionary_);
    Inherited::Deallocate();
}

void TDictionary::CopyInstanceVariables(TObject* source)
{
    Inherited::CopyInstanceVariables(source);
    if (!MemberOfClass(source, TDictionary::StaticClass()))
        return;
    CFReleaseSafe(cfDictionary_);
    cfDictionary_ = CopyTable(static_cast<TDictionary*>(source)->cfDictionary_);
}

void TDictionary::Show()
{
    CFShow(cfDictionary_);
}

SInt32 TDictionary::Count() const
{
    return static_cast<SInt32>(CFDictionaryGetCount(cfDictionary_));
}

void TDictionary::SetValue(CFStringRef key, const void* value)
{
    if (key != nullptr && value != nullptr)
        CFDictionarySetValue(cfDictionary_, key, value);
}

void TDictionary::AddValue(CFStringRef key, const void* value)
{
    if (key != nullptr && value != nullptr)
        CFDictionaryAddValue(cfDictionary_, key, value);
}

void TDictionary::AddKey(CFStringRef key)
{
    if (key != nullptr)
        CFDictionaryAddValue(cfDictionary_, key, nullptr);
}

void* TDictionary::GetValue(CFStringRef key) const
{
    return key ? const_cast<void*>(CFDictionaryGetValue(cfDictionary_, key)) : nullptr;
}

bool TDictionary::GetValueIfPresent(CFStringRef key, void** value) const
{
    const void* found = nullptr;
    if (key == nullptr || !CFDictionaryGetValueIfPresent(cfDictionary_, key, &found))
        return false;
    if (value)
        *value = const_cast<void*>(found);
    return true;
}

bool TDictionary::ContainsKey(CFStringRef key) const
{
    return key != nullptr && CFDictionaryContainsKey(cfDictionary_, key);
}

bool TDictionary::ContainsValue(const void* value) const
{
    return CFDictionaryContainsValue(cfDictionary_, value);
}

void TDictionary::Remove(CFStringRef key)
{
    if (key != nullptr)
        CFDictionaryRemoveValue(cfDictionary_, key);
}

void TDictionary::RemoveAll()
{
    CFDictionaryRemoveAllValues(cfDictionary_);
}

TArray* TDictionary::CopyKeys(const ClassInfo& listClass) const
{
    TArray* list = TArray::CreateWithClass(listClass);
    if (list != nullptr)
        for (const void* key : EntriesOf(cfDictionary_).keys)
            list->AppendValue(key);
    return list;
}

TArray* TDictionary::CopyValues(const ClassInfo& listClass) const
{
    TArray* list = TArray::CreateWithClass(listClass);
    if (list != nullptr)
        for (const void* value : EntriesOf(cfDictionary_).values)
            list->AppendValue(value);
    return list;
}

TTypeArray* TDictionary::CopyKeys() const
{
    return static_cast<TTypeArray*>(CopyKeys(TTypeArray::StaticClass()));
}

TArray* TDictionary::CopyValues() const
{
    return CopyValues(ValueListClass());
}

// ---- enumeration ----

bool TDictionary::Enumerate()
{
    return Enumerate(ValueListClass());
}

bool TDictionary::Enumerate(const ClassInfo& listClass)
{
    if (enumerationPosition_ == 0) {
        if (Count() == 0)
            return false;
        ReleaseObject(enumerationKeys_);
        ReleaseObject(enumerationValues_);
        enumerationKeys_ = CopyKeys();
        enumerationValues_ = CopyValues(listClass);
        enumerationValueAt_ = EntriesOf(cfDictionary_).values;
        enumerationPosition_ = 1;
    } else {
        ++enumerationPosition_;
    }
    // Against the snapshot, not the live table: entries added or removed by
    // the loop neither cut the walk short nor run it past the snapshot.
    if (enumerationPosition_ <= enumerationKeys_->Count())
        return true;
    ResetEnumeration();
    return false;
}

void TDictionary::ResetEnumeration()
{
    ReleaseObject(enumerationKeys_);
    ReleaseObject(enumerationValues_);
    enumerationValueAt_.clear();
    enumerationPosition_ = 0;
}

CFTypeRef TDictionary::GetNextKeyType() const
{
    return enumerationKeys_ ? enumerationKeys_->GetValue(GetEnumerationIndex()) : nullptr;
}

ShortString TDictionary::GetNextKey() const
{
    CFStringRef key = AsString(GetNextKeyType());
    return key ? CFStringToPascal(key) : ShortString();
}

void* TDictionary::GetNextValue() const
{
    const SInt32 index = GetEnumerationIndex();
    if (enumerationValues_ == nullptr || index < 0 || static_cast<size_t>(index) >= enumerationValueAt_.size())
        return nullptr;
    return const_cast<void*>(enumerationValueAt_[static_cast<size_t>(index)]);
}

void TDictionary::ApplyFunction()
{
    // Over snapshots that hold the values, so that the hook may edit the
    // table; each key is handed its own value, nil included.
    TTypeArray* keys = CopyKeys();
    TArray* values = CopyValues();
    const std::vector<const void*> valueAt = EntriesOf(cfDictionary_).values;
    for (SInt32 i = 0; i < keys->Count() && static_cast<size_t>(i) < valueAt.size(); ++i) {
        CFStringRef key = AsString(keys->GetValue(i));
        ApplierFunction(key ? CFStringToPascal(key) : ShortString(), valueAt[static_cast<size_t>(i)]);
    }
    keys->Release();
    values->Release();
}

void TDictionary::ApplierFunction(const ShortString&, const void*) {}

// ---- nested values and files ----

TTypeDictionary* TDictionary::CopyDictionary(const ShortString& key) const
{
    if (!HoldsPlatformValues())
        return nullptr;
    CFTypeRef value = GetValue(key);
    return IsDictionary(value) ? TTypeDictionary::Create(static_cast<CFDictionaryRef>(value)) : nullptr;
}

void* TDictionary::GetNestedValue(const ShortString& path) const
{
    const std::vector<std::string_view> parts = PathParts(path.View());
    if (parts.size() < 2)
        return GetValue(path);
    // Only platform values can be looked into.
    if (!HoldsPlatformValues())
        return nullptr;
    CFTypeRef value = cfDictionary_;
    for (std::string_view part : parts) {
        if (IsDictionary(value)) {
            value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(value), CFSTR(part));
        } else if (HasType(value, CFArrayGetTypeID()) && StringIsNumber(part)) {
            const long index = std::strtol(std::string(part).c_str(), nullptr, 10);
            value = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(value), static_cast<CFIndex>(index));
        } else {
            return nullptr;
        }
        if (value == nullptr)
            return nullptr;
    }
    return const_cast<void*>(value);
}

SInt32 TDictionary::Save(CFStringRef path) const
{
    if (path == nullptr || !HoldsPlatformValues())
        return -1;
    CFRef<CFURLRef> url(CFURLCreateWithFileSystemPath(nullptr, path, kCFURLPOSIXPathStyle, false));
    return CFPreferencesSavePropertyList(url.get(), cfDictionary_);
}

// ---- TTypeDictionary ----

BRINDLET_DEFINE_CLASS(TTypeDictionary, TDictionary)

void TTypeDictionary::SetBooleanValue(CFStringRef key, bool value)
{
    SetValue(key, value ? kCFBooleanTrue : kCFBooleanFalse);
}

void TTypeDictionary::SetStringValue(CFStringRef key, const ShortString& text)
{
    // An ordinary string, not the interned constant: payload texts come and
    // go all session long and must not stay in memory for ever.
    CFRef<CFStringRef> string(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text.c_str()),
                                                      static_cast<CFIndex>(text.Length()), kCFStringEncodingUTF8,
                                                      false));
    SetValue(key, string ? string.get() : CFSTR(text));
}

void TTypeDictionary::SetIntegerValue(CFStringRef key, SInt32 value)
{
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &value));
    SetValue(key, number);
}

void TTypeDictionary::SetFloatValue(CFStringRef key, Float32 value)
{
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberFloat32Type, &value));
    SetValue(key, number);
}

void TTypeDictionary::SetDataValue(CFStringRef key, UInt32 size, const void* bytes)
{
    CFRef<CFDataRef> data(CFDataCreate(nullptr, static_cast<const UInt8*>(bytes), size));
    SetValue(key, data);
}

void TTypeDictionary::SetPointerValue(CFStringRef key, const void* pointer)
{
    SetDataValue(key, sizeof pointer, &pointer);
}

void TTypeDictionary::AddBooleanValue(const ShortString& key, bool value)
{
    if (!ContainsKey(key))
        SetBooleanValue(key, value);
}

void TTypeDictionary::AddStringValue(const ShortString& key, const ShortString& text)
{
    if (!ContainsKey(key))
        SetStringValue(key, text);
}

void TTypeDictionary::AddIntegerValue(const ShortString& key, SInt32 value)
{
    if (!ContainsKey(key))
        SetIntegerValue(key, value);
}

void TTypeDictionary::AddDataValue(const ShortString& key, UInt32 size, const void* bytes)
{
    if (!ContainsKey(key))
        SetDataValue(key, size, bytes);
}

void TTypeDictionary::AddPointerValue(const ShortString& key, const void* pointer)
{
    if (!ContainsKey(key))
        SetPointerValue(key, pointer);
}

bool TTypeDictionary::GetBooleanValue(CFStringRef key) const
{
    CFTypeRef value = GetValue(key);
    return value != nullptr && value != kCFBooleanFalse;
}

SInt32 TTypeDictionary::GetIntegerValue(CFStringRef key) const
{
    CFTypeRef value = GetValue(key);
    if (value == nullptr)
        return -1;
    if (CFStringRef string = AsString(value))
        return CFStringGetIntValue(string);
    SInt32 n = 0;
    return ReadInteger(AsNumber(value), &n) ? n : 0;
}

ShortString TTypeDictionary::GetStringValue(CFStringRef key) const
{
    CFTypeRef value = GetValue(key);
    if (CFStringRef string = AsString(value))
        return CFStringToPascal(string);
    SInt32 n = 0;
    if (ReadInteger(AsNumber(value), &n))
        return ShortString(std::to_string(n));
    return {};
}

Float32 TTypeDictionary::GetFloatValue(CFStringRef key) const
{
    CFTypeRef value = GetValue(key);
    if (value == nullptr)
        return -1.0f;
    Float32 f = 0.0f;
    if (CFNumberRef number = AsNumber(value))
        CFNumberGetValue(number, kCFNumberFloat32Type, &f);  // the nearest float, even when inexact
    return f;
}

bool TTypeDictionary::GetDataValue(CFStringRef key, void* dest, size_t size) const
{
    return CFDataCopyExactly(GetValue(key), dest, size);
}

void* TTypeDictionary::GetPointerValue(CFStringRef key) const
{
    void* pointer = nullptr;
    return GetDataValue(key, &pointer) ? pointer : nullptr;
}

CFStringRef TTypeDictionary::CopyStringValue(const ShortString& key) const
{
    CFStringRef string = AsString(GetValue(key));
    return string ? CFStringCreateCopy(nullptr, string) : nullptr;
}

CFMutableStringRef TTypeDictionary::CopyMutableStringValue(const ShortString& key) const
{
    CFStringRef string = AsString(GetValue(key));
    return string ? CFStringCreateMutableCopy(nullptr, 0, string) : nullptr;
}

TTypeArray* TTypeDictionary::CopyArray(const ShortString& key) const
{
    CFTypeRef value = GetValue(key);
    return HasType(value, CFArrayGetTypeID()) ? TTypeArray::Create(static_cast<CFArrayRef>(value)) : nullptr;
}

CFTypeRef TTypeDictionary::CopyValue(const ShortString& key) const
{
    CFTypeRef value = GetValue(key);
    return value ? CFRetain(value) : nullptr;
}

bool TTypeDictionary::GetNextBooleanValue() const
{
    CFTypeRef value = GetNextValue();
    return value != nullptr && value != kCFBooleanFalse;
}

SInt32 TTypeDictionary::GetNextIntegerValue() const
{
    CFTypeRef value = GetNextValue();
    if (value == nullptr)
        return -1;
    SInt32 n = 0;
    return ReadInteger(AsNumber(value), &n) ? n : 0;
}

ShortString TTypeDictionary::GetNextStringValue() const
{
    CFStringRef string = AsString(GetNextValue());
    return string ? CFStringToPascal(string) : ShortString();
}

bool TTypeDictionary::GetNextDataValue(void* dest, size_t size) const
{
    return CFDataCopyExactly(GetNextValue(), dest, size);
}

// ---- TObjectDictionary ----

BRINDLET_DEFINE_CLASS(TObjectDictionary, TDictionary)

const CFDictionaryValueCallBacks* TObjectDictionary::ValueCallBacks() const
{
    return &kObjectValueCallBacks;
}

const ClassInfo& TObjectDictionary::ValueListClass() const
{
    return TObjectArray::StaticClass();
}

TObjectDictionary* TObjectDictionary::DictionaryWithObject(const ShortString& key, TObject* object)
{
    TObjectDictionary* dictionary = Create();
    dictionary->SetValue(key, object);
    dictionary->Autorelease();
    return dictionary;
}

// ---- TPointerDictionary ----

BRINDLET_DEFINE_CLASS(TPointerDictionary, TDictionary)

const CFDictionaryValueCallBacks* TPointerDictionary::ValueCallBacks() const
{
    return &kPointerValueCallBacks;
}

const ClassInfo& TPointerDictionary::ValueListClass() const
{
    // Snapshots must not own (and so dispose of) the table's blocks.
    return TWeakPointerArray::StaticClass();
}

CFMutableDictionaryRef TPointerDictionary::CopyTable(CFDictionaryRef source) const
{
    if (!IsDictionary(source))
        return nullptr;
    CFMutableDictionaryRef table =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kPointerValueCallBacks);
    const Entries entries = EntriesOf(source);
    for (size_t i = 0; i < entries.keys.size(); ++i) {
        const void* value = entries.values[i];
        Ptr copy = ContainerCallBacks::CopyBlock(value);
        if (copy != nullptr || value == nullptr)
            CFDictionaryAddValue(table, entries.keys[i], copy);
    }
    return table;
}

// ---- TWeakPointerDictionary ----

BRINDLET_DEFINE_CLASS(TWeakPointerDictionary, TDictionary)

const CFDictionaryValueCallBacks* TWeakPointerDictionary::ValueCallBacks() const
{
    return &kWeakPointerValueCallBacks;
}

const ClassInfo& TWeakPointerDictionary::ValueListClass() const
{
    return TWeakPointerArray::StaticClass();
}

CFMutableDictionaryRef TWeakPointerDictionary::CopyTable(CFDictionaryRef source) const
{
    if (!IsDictionary(source))
        return nullptr;
    // Not the source's callbacks: a copy of an owning table must not own too.
    CFMutableDictionaryRef table =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kWeakPointerValueCallBacks);
    const Entries entries = EntriesOf(source);
    for (size_t i = 0; i < entries.keys.size(); ++i)
        CFDictionaryAddValue(table, entries.keys[i], entries.values[i]);
    return table;
}
