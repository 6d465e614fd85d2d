// Descriptors, lists, records and Apple events as data. Handlers,
// sending and the launch events are in AppleEventsDispatch.cpp.
#include "AppleEvents.h"

#include "Files.h"

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreFoundation/CFURL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

// What a descriptor's data is: bytes, or items. A record's and an Apple
// event's items carry keywords (an event's are its parameters); a list's
// carry typeWildCard.
enum class Kind { Plain, List, Record, Event };

struct Item;

struct Value {
    DescType type = typeNull;
    Kind kind = Kind::Plain;
    std::vector<UInt8> bytes;
    std::vector<Item> items;
    std::vector<Item> attributes;  // Apple events only
};

struct Item {
    AEKeyword keyword;
    Value value;
};

}  // namespace

// The data a descriptor owns. Its type is the descriptor's own
// descriptorType, which callers may change; the kind says how to read it.
struct OpaqueAEDataStorageType {
    Kind kind = Kind::Plain;
    std::vector<UInt8> bytes;
    std::vector<Item> items;
    std::vector<Item> attributes;
};

namespace {

// Every storage handed out and not yet disposed of, so that a stale or
// garbage dataHandle is recognised instead of read.
struct Registry {
    std::mutex mutex;
    std::unordered_set<const OpaqueAEDataStorageType*> live;
};

Registry& Storages()
{
    static auto* registry = new Registry;
    return *registry;
}

bool IsLive(const OpaqueAEDataStorageType* storage)
{
    Registry& registry = Storages();
    std::lock_guard lock(registry.mutex);
    return registry.live.count(storage) == 1;
}

// The descriptor's data, read in place (reading one item of a long list
// copies only that item). paramErr for nil, errAENotAEDesc for data that is
// not live; a descriptor without data is an empty one of its type.
OSErr Look(const AEDesc* desc, const OpaqueAEDataStorageType** storage)
{
    static const OpaqueAEDataStorageType empty;
    if (desc == nullptr)
        return paramErr;
    if (desc->dataHandle == nullptr) {
        *storage = &empty;
        return noErr;
    }
    if (!IsLive(desc->dataHandle))
        return errAENotAEDesc;
    *storage = desc->dataHandle;
    return noErr;
}

// A copy of the descriptor's whole value, its type included.
OSErr Read(const AEDesc* desc, Value* value)
{
    const OpaqueAEDataStorageType* storage = nullptr;
    if (const OSErr status = Look(desc, &storage))
        return status;
    *value = Value{desc->descriptorType, storage->kind, storage->bytes, storage->items, storage->attributes};
    return noErr;
}

// The storage of a descriptor to be changed in place; nil (with the
// status) when there is none to change.
OSErr Storage(AEDesc* desc, OpaqueAEDataStorageType** storage)
{
    if (desc == nullptr)
        return paramErr;
    if (desc->dataHandle == nullptr)
        return errAEWrongDataType;  // a null or empty plain descriptor has no items
    if (!IsLive(desc->dataHandle))
        return errAENotAEDesc;
    *storage = desc->dataHandle;
    return noErr;
}

void Free(OpaqueAEDataStorageType* storage)
{
    Registry& registry = Storages();
    {
        std::lock_guard lock(registry.mutex);
        registry.live.erase(storage);
    }
    delete storage;
}

// Makes `desc` own a copy of the value; a null value owns nothing.
void Make(Value value, AEDesc* desc)
{
    desc->descriptorType = value.type;
    if (value.type == typeNull && value.kind == Kind::Plain) {
        desc->dataHandle = nullptr;
        return;
    }
    auto* storage = new OpaqueAEDataStorageType;
    storage->kind = value.kind;
    storage->bytes = std::move(value.bytes);
    storage->items = std::move(value.items);
    storage->attributes = std::move(value.attributes);
    Registry& registry = Storages();
    std::lock_guard lock(registry.mutex);
    registry.live.insert(storage);
    desc->dataHandle = storage;
}

void MakeNull(AEDesc* desc)
{
    if (desc != nullptr)
        *desc = {typeNull, nullptr};
}

bool IsStructuredType(DescType type)
{
    return type == typeAEList || type == typeAERecord || type == typeAppleEvent;
}

// A plain value of the type holding a copy of the bytes.
OSErr PlainValue(DescType type, const void* data, Size size, Value* value)
{
    if (size < 0 || (data == nullptr && size > 0) || IsStructuredType(type))
        return paramErr;
    value->type = type;
    value->kind = Kind::Plain;
    const auto* bytes = static_cast<const UInt8*>(data);
    value->bytes.assign(bytes, bytes + size);
    return noErr;
}

std::string Text(const std::vector<UInt8>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// A file URL's text for an existing file; empty when the reference names none.
std::string FileURLText(const FSRef& ref)
{
    CFRef<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &ref));
    return url ? CFStringToUTF8(CFURLGetString(url)) : std::string();
}

OSErr Coerce(const Value& from, DescType toType, Value* to)
{
    if (toType == typeWildCard || toType == from.type) {
        *to = from;
        return noErr;
    }
    if (toType == typeAEList) {
        *to = Value{typeAEList, Kind::List, {}, {Item{typeWildCard, from}}, {}};
        return noErr;
    }
    if (from.kind != Kind::Plain)
        return errAECoercionFail;
    if (from.type == typeFileURL && toType == typeFSRef) {
        CFRef<CFStringRef> text(CFStringCreateWithUTF8(Text(from.bytes)));
        CFRef<CFURLRef> url(text ? CFURLCreateWithString(nullptr, text, nullptr) : nullptr);
        CFRef<CFStringRef> scheme(url ? CFURLCopyScheme(url) : nullptr);
        FSRef ref{};
        if (!scheme || CFStringToUTF8(scheme) != "file" || !CFURLGetFSRef(url, &ref))
            return errAECoercionFail;
        const auto* bytes = reinterpret_cast<const UInt8*>(&ref);
        *to = Value{typeFSRef, Kind::Plain, std::vector<UInt8>(bytes, bytes + sizeof ref), {}, {}};
        return noErr;
    }
    if (from.type == typeFSRef && toType == typeFileURL) {
        FSRef ref;
        if (from.bytes.size() != sizeof ref)
            return errAECoercionFail;
        std::memcpy(&ref, from.bytes.data(), sizeof ref);
        if (strnlen(ref.path, sizeof ref.path) == sizeof ref.path)
            return errAECoercionFail;
        const std::string url = FileURLText(ref);
        if (url.empty())
            return errAECoercionFail;
        *to = Value{typeFileURL, Kind::Plain, std::vector<UInt8>(url.begin(), url.end()), {}, {}};
        return noErr;
    }
    return errAECoercionFail;
}

// Copies a plain value's bytes out. Values with items have no bytes here.
OSErr WriteOut(const Value& value, DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize)
{
    if (value.kind != Kind::Plain)
        return errAECoercionFail;
    if (typeCode)
        *typeCode = value.type;
    if (dataPtr && maximumSize > 0)
        std::memcpy(dataPtr, value.bytes.data(), std::min(value.bytes.size(), static_cast<size_t>(maximumSize)));
    if (actualSize)
        *actualSize = static_cast<Size>(value.bytes.size());
    return noErr;
}

OSErr CheckBuffer(const void* dataPtr, Size maximumSize)
{
    return maximumSize < 0 || (dataPtr == nullptr && maximumSize > 0) ? paramErr : noErr;
}

const Item* FindKeyword(const std::vector<Item>& items, AEKeyword keyword)
{
    for (const Item& item : items)
        if (item.keyword == keyword)
            return &item;
    return nullptr;
}

void PutKeyword(std::vector<Item>& items, AEKeyword keyword, Value value)
{
    for (Item& item : items)
        if (item.keyword == keyword) {
            item.value = std::move(value);
            return;
        }
    items.push_back(Item{keyword, std::move(value)});
}

// What an Apple event may be addressed to: a process serial number, a
// kernel process ID, a bundle identifier, or nothing (this process).
bool IsAddressType(DescType type)
{
    return type == typeNull || type == typeProcessSerialNumber || type == typeKernelProcessID ||
           type == typeApplicationBundleID;
}

bool HasKeywords(Kind kind)
{
    return kind == Kind::Record || kind == Kind::Event;
}

// ---- keyed items (parameters, record items, attributes) ----

OSErr GetKeyed(const AEDesc* desc, bool attribute, AEKeyword keyword, DescType desiredType, Value* result)
{
    const OpaqueAEDataStorageType* value = nullptr;
    if (const OSErr status = Look(desc, &value))
        return status;
    if (attribute ? value->kind != Kind::Event : !HasKeywords(value->kind))
        return attribute ? errAENotAppleEvent : errAEWrongDataType;
    const Item* item = FindKeyword(attribute ? value->attributes : value->items, keyword);
    if (item == nullptr)
        return errAEDescNotFound;
    return Coerce(item->value, desiredType, result);
}

OSErr GetKeyedPtr(const AEDesc* desc, bool attribute, AEKeyword keyword, DescType desiredType, DescType* typeCode,
                  void* dataPtr, Size maximumSize, Size* actualSize)
{
    if (const OSErr status = CheckBuffer(dataPtr, maximumSize))
        return status;
    Value result;
    if (const OSErr status = GetKeyed(desc, attribute, keyword, desiredType, &result))
        return status;
    return WriteOut(result, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr GetKeyedDesc(const AEDesc* desc, bool attribute, AEKeyword keyword, DescType desiredType, AEDesc* result)
{
    if (result == nullptr)
        return paramErr;
    Value value;
    const OSErr status = GetKeyed(desc, attribute, keyword, desiredType, &value);
    if (status != noErr) {
        MakeNull(result);
        return status;
    }
    Make(std::move(value), result);
    return noErr;
}

OSErr PutKeyed(AEDesc* desc, AEKeyword keyword, Value value)
{
    OpaqueAEDataStorageType* storage = nullptr;
    if (const OSErr status = Storage(desc, &storage))
        return status;
    if (!HasKeywords(storage->kind))
        return errAEWrongDataType;
    PutKeyword(storage->items, keyword, std::move(value));
    return noErr;
}

}  // namespace

// ---- descriptors ----

void AEInitializeDesc(AEDesc* desc)
{
    MakeNull(desc);
}

OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result)
{
    if (result == nullptr)
        return paramErr;
    Value value;
    const OSErr status = PlainValue(typeCode, dataPtr, dataSize, &value);
    if (status != noErr) {
        MakeNull(result);
        return status;
    }
    Make(std::move(value), result);
    return noErr;
}

OSErr AEDisposeDesc(AEDesc* theAEDesc)
{
    if (theAEDesc == nullptr)
        return paramErr;
    if (theAEDesc->dataHandle != nullptr) {
        if (!IsLive(theAEDesc->dataHandle))
            return errAENotAEDesc;
        Free(theAEDesc->dataHandle);
    }
    MakeNull(theAEDesc);
    return noErr;
}

OSErr AEDuplicateDesc(const AEDesc* theAEDesc, AEDesc* result)
{
    if (result == nullptr)
        return paramErr;
    Value value;
    const OSErr status = Read(theAEDesc, &value);
    if (status != noErr) {
        MakeNull(result);
        return status;
    }
    Make(std::move(value), result);
    return noErr;
}

Size AEGetDescDataSize(const AEDesc* theAEDesc)
{
    const OpaqueAEDataStorageType* value = nullptr;
    if (Look(theAEDesc, &value) != noErr || value->kind != Kind::Plain)
        return 0;
    return static_cast<Size>(value->bytes.size());
}

OSErr AEGetDescData(const AEDesc* theAEDesc, void* dataPtr, Size maximumSize)
{
    if (const OSErr status = CheckBuffer(dataPtr, maximumSize))
        return status;
    const OpaqueAEDataStorageType* value = nullptr;
    if (const OSErr status = Look(theAEDesc, &value))
        return status;
    if (value->kind != Kind::Plain)
        return errAEWrongDataType;
    if (dataPtr && maximumSize > 0)
        std::memcpy(dataPtr, value->bytes.data(), std::min(value->bytes.size(), static_cast<size_t>(maximumSize)));
    return noErr;
}

OSErr AECoerceDesc(const AEDesc* theAEDesc, DescType toType, AEDesc* result)
{
    if (result == nullptr)
        return paramErr;
    Value value, coerced;
    OSErr status = Read(theAEDesc, &value);
    if (status == noErr)
        status = Coerce(value, toType, &coerced);
    if (status != noErr) {
        MakeNull(result);
        return status;
    }
    Make(std::move(coerced), result);
    return noErr;
}

OSErr AECoercePtr(DescType typeCode, const void* dataPtr, Size dataSize, DescType toType, AEDesc* result)
{
    if (result == nullptr)
        return paramErr;
    Value value, coerced;
    OSErr status = PlainValue(typeCode, dataPtr, dataSize, &value);
    if (status == noErr)
        status = Coerce(value, toType, &coerced);
    if (status != noErr) {
        MakeNull(result);
        return status;
    }
    Make(std::move(coerced), result);
    return noErr;
}

// ---- lists and records ----

OSErr AECreateList(const void*, Size, Boolean isRecord, AEDescList* resultList)
{
    if (resultList == nullptr)
        return paramErr;
    Make(Value{isRecord ? typeAERecord : typeAEList, isRecord ? Kind::Record : Kind::List, {}, {}, {}}, resultList);
    return noErr;
}

OSErr AECountItems(const AEDescList* theAEDescList, long* theCount)
{
    if (theCount == nullptr)
        return paramErr;
    const OpaqueAEDataStorageType* value = nullptr;
    if (const OSErr status = Look(theAEDescList, &value))
        return status;
    if (value->kind == Kind::Plain)
        return errAEWrongDataType;
    *theCount = static_cast<long>(value->items.size());
    return noErr;
}

namespace {

// Puts a value at a place of a list: 1 to the count replaces, 0 or the
// count + 1 appends.
OSErr PutInList(AEDescList* list, long index, Value value)
{
    OpaqueAEDataStorageType* storage = nullptr;
    if (const OSErr status = Storage(list, &storage))
        return status;
    if (storage->kind != Kind::List)
        return errAEWrongDataType;
    const long count = static_cast<long>(storage->items.size());
    if (index < 0 || index > count + 1)
        return errAEIllegalIndex;
    if (index == 0 || index == count + 1)
        storage->items.push_back(Item{typeWildCard, std::move(value)});
    else
        storage->items[static_cast<size_t>(index - 1)].value = std::move(value);
    return noErr;
}

}  // namespace

OSErr AEPutPtr(AEDescList* theAEDescList, long index, DescType typeCode, const void* dataPtr, Size dataSize)
{
    Value value;
    if (const OSErr status = PlainValue(typeCode, dataPtr, dataSize, &value))
        return status;
    return PutInList(theAEDescList, index, std::move(value));
}

OSErr AEPutDesc(AEDescList* theAEDescList, long index, const AEDesc* theAEDesc)
{
    Value value;
    if (const OSErr status = Read(theAEDesc, &value))
        return status;
    return PutInList(theAEDescList, index, std::move(value));
}

namespace {

OSErr GetNth(const AEDescList* list, long index, DescType desiredType, AEKeyword* keyword, Value* result)
{
    const OpaqueAEDataStorageType* value = nullptr;
    if (const OSErr status = Look(list, &value))
        return status;
    if (value->kind == Kind::Plain)
        return errAEWrongDataType;
    if (index < 1 || index > static_cast<long>(value->items.size()))
        return errAEIllegalIndex;
    const Item& item = value->items[static_cast<size_t>(index - 1)];
    if (const OSErr status = Coerce(item.value, desiredType, result))
        return status;
    if (keyword)
        *keyword = item.keyword;
    return noErr;
}

}  // namespace

OSErr AEGetNthPtr(const AEDescList* theAEDescList, long index, DescType desiredType, AEKeyword* theAEKeyword,
                  DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize)
{
    if (const OSErr status = CheckBuffer(dataPtr, maximumSize))
        return status;
    Value result;
    AEKeyword keyword = 0;
    if (const OSErr status = GetNth(theAEDescList, index, desiredType, &keyword, &result))
        return status;
    if (const OSErr status = WriteOut(result, typeCode, dataPtr, maximumSize, actualSize))
        return status;
    if (theAEKeyword)
        *theAEKeyword = keyword;
    return noErr;
}

OSErr AEGetNthDesc(const AEDescList* theAEDescList, long index, DescType desiredType, AEKeyword* theAEKeyword,
                   AEDesc* result)
{
    if (result == nullptr)
        return paramErr;
    Value value;
    const OSErr status = GetNth(theAEDescList, index, desiredType, theAEKeyword, &value);
    if (status != noErr) {
        MakeNull(result);
        return status;
    }
    Make(std::move(value), result);
    return noErr;
}

OSErr AEDeleteItem(AEDescList* theAEDescList, long index)
{
    OpaqueAEDataStorageType* storage = nullptr;
    if (const OSErr status = Storage(theAEDescList, &storage))
        return status;
    if (storage->kind == Kind::Plain)
        return errAEWrongDataType;
    if (index < 1 || index > static_cast<long>(storage->items.size()))
        return errAEIllegalIndex;
    storage->items.erase(storage->items.begin() + (index - 1));
    return noErr;
}

OSErr AEPutKeyPtr(AERecord* theAERecord, AEKeyword theAEKeyword, DescType typeCode, const void* dataPtr, Size dataSize)
{
    Value value;
    if (const OSErr status = PlainValue(typeCode, dataPtr, dataSize, &value))
        return status;
    return PutKeyed(theAERecord, theAEKeyword, std::move(value));
}

OSErr AEPutKeyDesc(AERecord* theAERecord, AEKeyword theAEKeyword, const AEDesc* theAEDesc)
{
    Value value;
    if (const OSErr status = Read(theAEDesc, &value))
        return status;
    return PutKeyed(theAERecord, theAEKeyword, std::move(value));
}

OSErr AEGetKeyPtr(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType desiredType, DescType* typeCode,
                  void* dataPtr, Size maximumSize, Size* actualSize)
{
    return GetKeyedPtr(theAERecord, false, theAEKeyword, desiredType, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr AEGetKeyDesc(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType desiredType, AEDesc* result)
{
    return GetKeyedDesc(theAERecord, false, theAEKeyword, desiredType, result);
}

// ---- Apple events ----

OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID, const AEAddressDesc* target,
                         AEReturnID returnID, AETransactionID transactionID, AppleEvent* result)
{
    if (result == nullptr)
        return paramErr;
    MakeNull(result);
    Value address;
    if (target != nullptr) {
        if (const OSErr status = Read(target, &address))
            return status;
        if (address.kind != Kind::Plain || !IsAddressType(address.type))
            return errAEUnknownAddressType;
    }
    static std::atomic<SInt16> lastReturnID{0};
    if (returnID == kAutoGenerateReturnID) {
        do
            returnID = ++lastReturnID;
        while (returnID == kAutoGenerateReturnID || returnID == 0);
    }
    Value event{typeAppleEvent, Kind::Event, {}, {}, {}};
    auto attribute = [&](AEKeyword keyword, DescType type, const void* data, size_t size) {
        const auto* bytes = static_cast<const UInt8*>(data);
        event.attributes.push_back(Item{keyword, Value{type, Kind::Plain, {bytes, bytes + size}, {}, {}}});
    };
    attribute(keyEventClassAttr, typeType, &theAEEventClass, sizeof theAEEventClass);
    attribute(keyEventIDAttr, typeType, &theAEEventID, sizeof theAEEventID);
    attribute(keyReturnIDAttr, typeSInt16, &returnID, sizeof returnID);
    attribute(keyTransactionIDAttr, typeSInt32, &transactionID, sizeof transactionID);
    event.attributes.push_back(Item{keyAddressAttr, address});
    Make(std::move(event), result);
    return noErr;
}

OSErr AEPutParamPtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode, const void* dataPtr,
                    Size dataSize)
{
    return AEPutKeyPtr(theAppleEvent, theAEKeyword, typeCode, dataPtr, dataSize);
}

OSErr AEPutParamDesc(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, const AEDesc* theAEDesc)
{
    return AEPutKeyDesc(theAppleEvent, theAEKeyword, theAEDesc);
}

OSErr AEGetParamPtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType, DescType* actualType,
                    void* dataPtr, Size maximumSize, Size* actualSize)
{
    return GetKeyedPtr(theAppleEvent, false, theAEKeyword, desiredType, actualType, dataPtr, maximumSize, actualSize);
}

OSErr AEGetParamDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType, AEDesc* result)
{
    return GetKeyedDesc(theAppleEvent, false, theAEKeyword, desiredType, result);
}

OSErr AESizeOfParam(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType* typeCode, Size* dataSize)
{
    Value value;
    if (const OSErr status = GetKeyed(theAppleEvent, false, theAEKeyword, typeWildCard, &value))
        return status;
    if (typeCode)
        *typeCode = value.type;
    if (dataSize)
        *dataSize = value.kind == Kind::Plain ? static_cast<Size>(value.bytes.size()) : 0;
    return noErr;
}

OSErr AEDeleteParam(AppleEvent* theAppleEvent, AEKeyword theAEKeyword)
{
    OpaqueAEDataStorageType* storage = nullptr;
    if (const OSErr status = Storage(theAppleEvent, &storage))
        return status;
    if (!HasKeywords(storage->kind))
        return errAEWrongDataType;
    const auto removed = std::erase_if(storage->items, [&](const Item& item) { return item.keyword == theAEKeyword; });
    return removed > 0 ? noErr : errAEDescNotFound;
}

OSErr AEGetAttributePtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                        DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize)
{
    return GetKeyedPtr(theAppleEvent, true, theAEKeyword, desiredType, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr AEGetAttributeDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType, AEDesc* result)
{
    return GetKeyedDesc(theAppleEvent, true, theAEKeyword, desiredType, result);
}
