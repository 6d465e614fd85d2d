#include "CFRuntime.h"

#include "CFStringInternal.h"

#include <Support/Diagnostics.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct AllocatorSentinel {
    char unused;
};
AllocatorSentinel gSystemDefault, gMalloc, gNull;

std::mutex& TypeNamesMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<std::string>& RegisteredTypeNames()
{
    static auto* names = new std::vector<std::string>;
    return *names;
}

const char* BuiltInTypeName(CFTypeID type)
{
    switch (type) {
    case kCFRuntimeTypeString:
        return "CFString";
    case kCFRuntimeTypeNumber:
        return "CFNumber";
    case kCFRuntimeTypeBoolean:
        return "CFBoolean";
    case kCFRuntimeTypeData:
        return "CFData";
    case kCFRuntimeTypeDate:
        return "CFDate";
    case kCFRuntimeTypeUUID:
        return "CFUUID";
    case kCFRuntimeTypeArray:
        return "CFArray";
    case kCFRuntimeTypeDictionary:
        return "CFDictionary";
    case kCFRuntimeTypeNull:
        return "CFNull";
    default:
        return nullptr;
    }
}

std::string TypeName(CFTypeID type)
{
    if (const char* name = BuiltInTypeName(type))
        return name;
    std::lock_guard lock(TypeNamesMutex());
    const auto& names = RegisteredTypeNames();
    if (type >= kCFRuntimeFirstRegisteredType && type - kCFRuntimeFirstRegisteredType < names.size())
        return names[type - kCFRuntimeFirstRegisteredType];
    return "CFType";
}

}  // namespace

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFAllocatorRef kCFAllocatorSystemDefault = reinterpret_cast<CFAllocatorRef>(&gSystemDefault);
const CFAllocatorRef kCFAllocatorMalloc = reinterpret_cast<CFAllocatorRef>(&gMalloc);
const CFAllocatorRef kCFAllocatorNull = reinterpret_cast<CFAllocatorRef>(&gNull);

void* CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags)
{
    if (allocator == kCFAllocatorNull || size <= 0)
        return nullptr;
    return std::malloc(static_cast<size_t>(size));
}

void* CFAllocatorReallocate(CFAllocatorRef allocator, void* ptr, CFIndex newsize, CFOptionFlags)
{
    if (allocator == kCFAllocatorNull)
        return nullptr;
    if (newsize <= 0) {
        std::free(ptr);
        return nullptr;
    }
    return std::realloc(ptr, static_cast<size_t>(newsize));
}

void CFAllocatorDeallocate(CFAllocatorRef allocator, void* ptr)
{
    if (allocator != kCFAllocatorNull)
        std::free(ptr);
}

void CFRuntimeObject::Retain() const
{
    if (!immortal_)
        retainCount_.fetch_add(1, std::memory_order_relaxed);
}

void CFRuntimeObject::Release() const
{
    if (immortal_)
        return;
    if (retainCount_.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

CFIndex CFRuntimeObject::RetainCount() const
{
    // Constants answer the largest count, as they can never be freed.
    return immortal_ ? CFIndex(INT32_MAX) : retainCount_.load(std::memory_order_relaxed);
}

CFStringRef CFRuntimeObject::CopyDescription() const
{
    return CFStringCreateWithUTF8(CFRuntimeDescriptionPrefix(this) + "{}");
}

std::string CFRuntimeDescriptionPrefix(const CFRuntimeObject* object)
{
    char address[32];
    std::snprintf(address, sizeof address, " %p>", static_cast<const void*>(object));
    return "<" + TypeName(object->TypeID()) + address;
}

void CFRuntimeClampRange(CFRange range, size_t length, size_t* start, size_t* count)
{
    const CFIndex total = static_cast<CFIndex>(length);
    CFIndex end;
    if (__builtin_add_overflow(range.location, std::max<CFIndex>(range.length, 0), &end))
        end = total;
    CFIndex location = std::clamp<CFIndex>(range.location, 0, total);
    end = std::clamp<CFIndex>(end, location, total);
    *start = static_cast<size_t>(location);
    *count = static_cast<size_t>(end - location);
}

void CFRuntimeRefuseEdit(const char* operation, const char* kind)
{
    Diagnostics::WriteLine(std::string(operation) + ": the " + kind + " is immutable; nothing changed.");
}

CFTypeID CFRuntimeRegisterType(const char* name)
{
    std::lock_guard lock(TypeNamesMutex());
    auto& names = RegisteredTypeNames();
    names.emplace_back(name ? name : "CFType");
    return kCFRuntimeFirstRegisteredType + names.size() - 1;
}

CFTypeRef CFRetain(CFTypeRef cf)
{
    if (cf)
        CFRuntimeObjectOf(cf)->Retain();
    return cf;
}

void CFRelease(CFTypeRef cf)
{
    if (cf)
        CFRuntimeObjectOf(cf)->Release();
}

CFIndex CFGetRetainCount(CFTypeRef cf)
{
    return cf ? CFRuntimeObjectOf(cf)->RetainCount() : 0;
}

CFAllocatorRef CFGetAllocator(CFTypeRef)
{
    return kCFAllocatorSystemDefault;
}

CFTypeID CFGetTypeID(CFTypeRef cf)
{
    return cf ? CFRuntimeObjectOf(cf)->TypeID() : kCFRuntimeNotATypeID;
}

CFStringRef CFCopyTypeIDDescription(CFTypeID type_id)
{
    return CFStringCreateWithUTF8(TypeName(type_id));
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2)
{
    if (cf1 == cf2)
        return true;
    if (cf1 == nullptr || cf2 == nullptr)
        return false;
    const CFRuntimeObject* a = CFRuntimeObjectOf(cf1);
    const CFRuntimeObject* b = CFRuntimeObjectOf(cf2);
    return a->TypeID() == b->TypeID() && a->Equals(*b);
}

CFHashCode CFHash(CFTypeRef cf)
{
    return cf ? CFRuntimeObjectOf(cf)->Hash() : 0;
}

CFStringRef CFCopyDescription(CFTypeRef cf)
{
    if (cf == nullptr)
        return CFStringCreateWithUTF8("(null)");
    return CFRuntimeObjectOf(cf)->CopyDescription();
}

void CFShow(CFTypeRef obj)
{
    CFStringRef description = CFCopyDescription(obj);
    std::string line = CFStringToUTF8(description) + "\n";
    CFRelease(description);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
