#include "TPreferencesUnit.h"

#include <Units/Utilities/CFPreferenceUtilities.h>
#include <Units/Utilities/CFUtilities.h>

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <Support/Diagnostics.h>

#include <algorithm>
#include <climits>
#include <vector>

ShortString ApplicationPreferencesDomain;

namespace {

bool HasType(CFTypeRef value, CFTypeID type)
{
    return value != nullptr && CFGetTypeID(value) == type;
}

// The byte-swap walk: the key and order it was started with, handed to the
// handler for every data value met.
struct ByteSwapWalk {
    TPreferenceHandler* handler;
    ShortString ByteSwapTypeKey;
    SInt16 ByteSwapOrder;

    void Visit(CFTypeRef value)
    {
        if (HasType(value, CFDataGetTypeID())) {
            CFDataRef data = static_cast<CFDataRef>(value);
            const UInt8* bytes = CFDataGetBytePtr(data);
            std::vector<UInt8> block(bytes, bytes + CFDataGetLength(data));
            handler->SwapBytes(ByteSwapTypeKey, ByteSwapOrder, block.data(), block.size());
        } else if (HasType(value, CFArrayGetTypeID())) {
            CFArrayRef array = static_cast<CFArrayRef>(value);
            for (CFIndex i = 0, count = CFArrayGetCount(array); i < count; ++i)
                Visit(CFArrayGetValueAtIndex(array, i));
        } else if (HasType(value, CFDictionaryGetTypeID())) {
            CFDictionaryRef dictionary = static_cast<CFDictionaryRef>(value);
            std::vector<const void*> values(static_cast<size_t>(CFDictionaryGetCount(dictionary)));
            CFDictionaryGetKeysAndValues(dictionary, nullptr, values.data());
            for (const void* member : values)
                Visit(member);
        }
    }
};

}  // namespace

// ---- TPreferenceHandler ----

BRINDLET_DEFINE_CLASS(TPreferenceHandler, TObject)

void TPreferenceHandler::Deallocate()
{
    CFReleaseSafe(applicationID_);
    Inherited::Deallocate();
}

void TPreferenceHandler::SetDomain(const ShortString63& domain)
{
    domain_ = domain;
}

void TPreferenceHandler::SetByteSwapperCallback(PreferenceByteSwapperProc callback)
{
    byteSwapper_ = callback;
}

void TPreferenceHandler::SetApplicationID(CFStringRef applicationID)
{
    if (applicationID != nullptr)
        CFRetain(applicationID);
    CFReleaseSafe(applicationID_);
    applicationID_ = applicationID;
}

void TPreferenceHandler::SetLocked(bool locked)
{
    locked_ = locked;
}

CFStringRef TPreferenceHandler::GetApplicationID() const
{
    return applicationID_ ? applicationID_ : kCFPreferencesCurrentApplication;
}

bool TPreferenceHandler::IsLocked() const
{
    return locked_;
}

CFTypeRef TPreferenceHandler::CFType() const
{
    return nullptr;
}

TArchiver* TPreferenceHandler::CopyArchive(const ShortString&)
{
    return nullptr;
}

TObject* TPreferenceHandler::AllocateFromArchive(const ShortString&, void*)
{
    return nullptr;
}

void TPreferenceHandler::Synchronize() {}

bool TPreferenceHandler::ContainsValue(const ShortString& key)
{
    CFRef<CFTypeRef> value(CopyStoredValue(key));
    return value.get() != nullptr;
}

void TPreferenceHandler::RemoveValue(const ShortString& key)
{
    StoreValue(key, nullptr);
}

void TPreferenceHandler::SwapBytes(const ShortString& key, SInt16 order, void* data, size_t length)
{
    if (byteSwapper_ != nullptr && data != nullptr)
        byteSwapper_(key, order, data, length);
}

void TPreferenceHandler::SwapTypeBytes(const ShortString& key, CFTypeRef value, SInt16 order)
{
    ByteSwapWalk{this, key, order}.Visit(value);
}

CFStringRef TPreferenceHandler::StoredKey(const ShortString& key) const
{
    // A domain and key longer than a short string together are cut at 255 bytes.
    return CFSTR(ShortString(domain_) + key.View());
}

void TPreferenceHandler::CountChange()
{
    // Held at the top rather than wrapping to a negative count, which would
    // make Synchronize believe nothing had changed.
    if (changeCount_ < SHRT_MAX)
        ++changeCount_;
}

CFTypeRef TPreferenceHandler::CopyStoredValue(const ShortString&)
{
    return nullptr;
}

void TPreferenceHandler::StoreValue(const ShortString&, CFTypeRef) {}

bool TPreferenceHandler::IsStorable(const ShortString& key, CFTypeRef value)
{
    if (CFPropertyListIsValid(value, kCFPropertyListXMLFormat_v1_0))
        return true;
    Diagnostics::WriteLine("Warning: The value for the preference \"" + key.ToString() +
                           "\" is not a property list; it was not stored.");
    return false;
}

void TPreferenceHandler::SetArrayValue(const ShortString& key, CFTypeRef value)
{
    if (value == nullptr)
        return;
    CFRef<CFTypeRef> stored(CopyStoredValue(key));
    CFRef<CFMutableArrayRef> array(HasType(stored, CFArrayGetTypeID())
                                       ? CFArrayCreateMutableCopy(nullptr, 0, static_cast<CFArrayRef>(stored.get()))
                                       : CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    if (CFArrayContainsValue(array, CFRangeMake(0, CFArrayGetCount(array)), value))
        return;
    CFArrayAppendValue(array, value);
    StoreValue(key, array);
}

void TPreferenceHandler::SetTypeValue(const ShortString& key, CFTypeRef value)
{
    if (value != nullptr)
        StoreValue(key, value);
}

void TPreferenceHandler::SetBooleanValue(const ShortString& key, bool value)
{
    StoreValue(key, value ? kCFBooleanTrue : kCFBooleanFalse);
}

void TPreferenceHandler::SetStringValue(const ShortString& key, const ShortString& value)
{
    // Never nil: a text that is not UTF-8 (a file name from a Latin-1 disk)
    // is read as Mac Roman rather than removing the stored value.
    CFRef<CFStringRef> text(CFStringCreateWithUTF8OrMacRoman(value.View()));
    StoreValue(key, text);
}

void TPreferenceHandler::SetIntegerValue(const ShortString& key, SInt32 value)
{
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &value));
    StoreValue(key, number);
}

void TPreferenceHandler::SetFloatValue(const ShortString& key, Float32 value)
{
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberFloat32Type, &value));
    StoreValue(key, number);
}

void TPreferenceHandler::SetDataValue(const ShortString& key, const void* data, UInt32 length)
{
    if (data == nullptr && length > 0)
        return;
    // The swapper works on a copy: the caller's bytes are its own.
    const UInt8* bytes = static_cast<const UInt8*>(data);
    std::vector<UInt8> block(bytes, bytes + length);
    SwapBytes(key, kPreferenceBytesIn, block.data(), block.size());
    CFRef<CFDataRef> stored(CFDataCreate(nullptr, block.data(), CFIndex(block.size())));
    StoreValue(key, stored);
}

CFTypeRef TPreferenceHandler::GetArrayValue(const ShortString& key, SInt32 index)
{
    CFRef<CFTypeRef> stored(CopyStoredValue(key));
    if (!HasType(stored, CFArrayGetTypeID()))
        return nullptr;
    CFArrayRef array = static_cast<CFArrayRef>(stored.get());
    if (index < 0 || index >= CFArrayGetCount(array))
        return nullptr;
    // The store may let go of the array at its next change, so the element
    // lives on the autorelease table until the next pass of the loop.
    return CFAutorelease(CFRetain(CFArrayGetValueAtIndex(array, index)));
}

CFTypeRef TPreferenceHandler::GetTypeValue(const ShortString& key)
{
    return CopyStoredValue(key);
}

bool TPreferenceHandler::GetBooleanValue(const ShortString& key)
{
    CFRef<CFTypeRef> value(CopyStoredValue(key));
    return value && !CFEqual(value, kCFBooleanFalse);
}

ShortString TPreferenceHandler::GetStringValue(const ShortString& key)
{
    CFRef<CFTypeRef> value(CopyStoredValue(key));
    if (!HasType(value, CFStringGetTypeID()))
        return {};
    return CFStringToPascal(static_cast<CFStringRef>(value.get()));
}

SInt32 TPreferenceHandler::GetIntegerValue(const ShortString& key)
{
    CFRef<CFTypeRef> value(CopyStoredValue(key));
    SInt32 n = 0;
    if (HasType(value, CFNumberGetTypeID()))
        CFNumberGetValue(static_cast<CFNumberRef>(value.get()), kCFNumberSInt32Type, &n);
    else if (HasType(value, CFStringGetTypeID()))
        n = CFStringGetIntValue(static_cast<CFStringRef>(value.get()));
    return n;
}

Float32 TPreferenceHandler::GetFloatValue(const ShortString& key)
{
    CFRef<CFTypeRef> value(CopyStoredValue(key));
    Float32 x = 0.0f;
    if (HasType(value, CFNumberGetTypeID()))
        CFNumberGetValue(static_cast<CFNumberRef>(value.get()), kCFNumberFloat32Type, &x);
    return x;
}

void TPreferenceHandler::ToggleBooleanValue(const ShortString& key)
{
    SetBooleanValue(key, !GetBooleanValue(key));
}

bool TPreferenceHandler::CopyDataValue(const ShortString& key, void* dest, size_t size)
{
    CFRef<CFTypeRef> value(CopyStoredValue(key));
    if (dest == nullptr || !HasType(value, CFDataGetTypeID()))
        return false;
    CFDataRef data = static_cast<CFDataRef>(value.get());
    if (static_cast<size_t>(CFDataGetLength(data)) != size)
        return false;
    const UInt8* bytes = CFDataGetBytePtr(data);
    std::vector<UInt8> block(bytes, bytes + size);
    SwapBytes(key, kPreferenceBytesOut, block.data(), block.size());
    std::copy(block.begin(), block.end(), static_cast<UInt8*>(dest));
    return true;
}

TTypeArray* TPreferenceHandler::CopyArray(const ShortString& key)
{
    CFRef<CFTypeRef> value(CopyStoredValue(key));
    if (!HasType(value, CFArrayGetTypeID()))
        return nullptr;
    return TTypeArray::Create(static_cast<CFArrayRef>(value.get()));
}

TTypeDictionary* TPreferenceHandler::CopyDictionary(const ShortString& key)
{
    CFRef<CFTypeRef> value(CopyStoredValue(key));
    if (!HasType(value, CFDictionaryGetTypeID()))
        return nullptr;
    return TTypeDictionary::Create(static_cast<CFDictionaryRef>(value.get()));
}

// ---- TPreferenceHandlerApplication ----

BRINDLET_DEFINE_CLASS(TPreferenceHandlerApplication, TPreferenceHandler)

TArchiver* TPreferenceHandlerApplication::CopyArchive(const ShortString& key)
{
    CFRef<CFTypeRef> value(CopyStoredValue(key));
    if (!HasType(value, CFDictionaryGetTypeID()))
        return nullptr;
    return TArchiver::CreateWithDictionary(static_cast<CFDictionaryRef>(value.get()));
}

TObject* TPreferenceHandlerApplication::AllocateFromArchive(const ShortString& key, void* params)
{
    TArchiver* archiver = CopyArchive(key);
    if (archiver == nullptr)
        return nullptr;
    TObject* object = ::AllocateFromArchive(archiver, params);
    archiver->Release();
    return object;
}

void TPreferenceHandlerApplication::Synchronize()
{
    if (IsLocked())
        return;
    if (GetChangeCount() > 0 && !CFPreferencesAppSynchronize(GetApplicationID()))
        return;
    ResetChangeCount();
}

// ---- steady readings ----

namespace {

// What the handlers answered on this thread while a reading is open: a
// handful of keys, looked up in order.
struct HeldValue {
    const TPreferenceHandler* handler;
    ShortString key;
    CFRef<CFTypeRef> value;  // nil: the key has no value
};

struct HeldReadings {
    int depth = 0;
    std::vector<HeldValue> values;

    HeldValue* Find(const TPreferenceHandler* handler, const ShortString& key)
    {
        for (HeldValue& held : values)
            if (held.handler == handler && held.key.View() == key.View())
                return &held;
        return nullptr;
    }

    void Forget(const TPreferenceHandler* handler)
    {
        std::erase_if(values, [&](const HeldValue& held) { return held.handler == handler; });
    }
};

thread_local HeldReadings tReadings;

}  // namespace

TPreferenceReading::TPreferenceReading()
{
    ++tReadings.depth;
}

TPreferenceReading::~TPreferenceReading()
{
    if (--tReadings.depth == 0)
        tReadings.values.clear();
}

void TPreferenceHandlerApplication::Deallocate()
{
    tReadings.Forget(this);
    Inherited::Deallocate();
}

CFTypeRef TPreferenceHandlerApplication::CopyStoredValue(const ShortString& key)
{
    if (tReadings.depth == 0)
        return CFPreferencesCopyAppValue(StoredKey(key), GetApplicationID());
    HeldValue* held = tReadings.Find(this, key);
    if (held == nullptr) {
        tReadings.values.push_back(
            HeldValue{this, key, CFRef<CFTypeRef>(CFPreferencesCopyAppValue(StoredKey(key), GetApplicationID()))});
        held = &tReadings.values.back();
    }
    return held->value ? CFRetain(held->value.get()) : nullptr;
}

void TPreferenceHandlerApplication::StoreValue(const ShortString& key, CFTypeRef value)
{
    if (value != nullptr && !IsStorable(key, value))
        return;
    CFPreferencesSetAppValue(StoredKey(key), value, GetApplicationID());
    // Another handler may read the same domain under another prefix.
    tReadings.values.clear();
    CountChange();
}

// ---- TPreferenceHandlerFile ----

BRINDLET_DEFINE_CLASS(TPreferenceHandlerFile, TPreferenceHandler)

void TPreferenceHandlerFile::Initialize()
{
    Inherited::Initialize();
    if (store_ == nullptr)
        store_ =
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

void TPreferenceHandlerFile::Deallocate()
{
    CFReleaseSafe(store_);
    Inherited::Deallocate();
}

void TPreferenceHandlerFile::Show()
{
    CFShow(store_);
}

CFTypeRef TPreferenceHandlerFile::CFType() const
{
    return store_;
}

void TPreferenceHandlerFile::Synchronize()
{
    if (IsLocked())
        return;
    if (GetChangeCount() > 0 && store_ != nullptr && CFPreferencesSavePropertyList(file_, store_) != 0)
        return;
    ResetChangeCount();
}

bool TPreferenceHandlerFile::ContainsValue(const ShortString& key)
{
    return store_ != nullptr && CFDictionaryContainsKey(store_, StoredKey(key));
}

CFTypeRef TPreferenceHandlerFile::CopyStoredValue(const ShortString& key)
{
    if (store_ == nullptr)
        return nullptr;
    const void* value = CFDictionaryGetValue(store_, StoredKey(key));
    return value ? CFRetain(value) : nullptr;
}

void TPreferenceHandlerFile::StoreValue(const ShortString& key, CFTypeRef value)
{
    if (store_ == nullptr || (value != nullptr && !IsStorable(key, value)))
        return;
    if (value != nullptr)
        CFDictionarySetValue(store_, StoredKey(key), value);
    else
        CFDictionaryRemoveValue(store_, StoredKey(key));
    CountChange();
}

// ---- TPreferenceHandlerDictionary ----

BRINDLET_DEFINE_CLASS(TPreferenceHandlerDictionary, TPreferenceHandlerFile)

TPreferenceHandlerDictionary* TPreferenceHandlerDictionary::Create(CFDictionaryRef values)
{
    TPreferenceHandlerDictionary* handler = AllocateInstance<TPreferenceHandlerDictionary>();
    if (HasType(values, CFDictionaryGetTypeID()))
        handler->store_ = CFDictionaryCreateMutableCopy(nullptr, 0, values);
    handler->Initialize();
    return handler;
}

void TPreferenceHandlerDictionary::SetParent(TPreferenceHandler* parent, const ShortString& key)
{
    // Synchronize climbs the parents; a loop would never end.
    for (TPreferenceHandler* above = parent; above != nullptr;) {
        if (above == this) {
            Diagnostics::WriteLine("Warning: A preference handler cannot be its own parent.");
            return;
        }
        auto* dictionary = MemberOfClass(above, TPreferenceHandlerDictionary::StaticClass())
                               ? static_cast<TPreferenceHandlerDictionary*>(above)
                               : nullptr;
        above = dictionary ? dictionary->parent_ : nullptr;
    }
    parent_ = parent;
    parentKey_ = key;
}

void TPreferenceHandlerDictionary::Synchronize()
{
    if (IsLocked() || parent_ == nullptr)
        return;
    // The parent gets a copy: the two stores must not share one dictionary.
    CFRef<CFPropertyListRef> values(CFPropertyListCreateDeepCopy(nullptr, Store(), kCFPropertyListImmutable));
    parent_->SetTypeValue(parentKey_, values);
    parent_->Synchronize();
    // Our changes are safe once the parent has written them.
    if (parent_->GetChangeCount() == 0)
        ResetChangeCount();
}
