#include "CFDataInternal.h"

#include "CFStringInternal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

CFDataObject* AsMutableData(CFMutableDataRef data, const char* operation)
{
    return CFRuntimeEditable(CFDataObjectOf(data), operation, "data");
}

// Shared by the empty data objects so that their byte pointer is never nil.
const UInt8 kNoBytes[1] = {0};

void FreeMallocBlock(const UInt8* block, size_t)
{
    std::free(const_cast<UInt8*>(block));
}

}  // namespace

bool CFDataBytes::operator==(const CFDataBytes& other) const
{
    return size() == other.size() && (empty() || std::memcmp(data(), other.data(), size()) == 0);
}

CFHashCode CFDataObject::Hash() const
{
    uint64_t hash = 1469598103934665603ULL ^ bytes.size();
    for (UInt8 b : bytes) {
        hash ^= b;
        hash *= 1099511628211ULL;
    }
    return static_cast<CFHashCode>(hash);
}

CFStringRef CFDataObject::CopyDescription() const
{
    std::string text = CFRuntimeDescriptionPrefix(this) + "{length = " + std::to_string(bytes.size()) + ", bytes = 0x";
    const size_t shown = std::min<size_t>(bytes.size(), 24);
    for (size_t i = 0; i < shown; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        text += hex;
    }
    if (shown < bytes.size())
        text += "...";
    return CFStringCreateWithUTF8(text + "}");
}

const CFDataObject* CFDataObjectOf(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != kCFRuntimeTypeData)
        return nullptr;
    return static_cast<const CFDataObject*>(CFRuntimeObjectOf(cf));
}

CFDataRef CFDataCreateWithVector(CFByteVector bytes, bool mutableData)
{
    return new CFDataObject(std::move(bytes), mutableData);
}

CFDataRef CFDataCreateWithBlock(const UInt8* block, size_t size, CFDataReleaseBlock release)
{
    return new CFDataObject(block, size, release);
}

CFTypeID CFDataGetTypeID()
{
    return kCFRuntimeTypeData;
}

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length)
{
    if (length < 0 || (length > 0 && bytes == nullptr))
        return nullptr;
    return CFDataCreateWithVector(CFByteVector(bytes, bytes + length), false);
}

CFDataRef CFDataCreateWithBytesNoCopy(CFAllocatorRef, const UInt8* bytes, CFIndex length,
                                      CFAllocatorRef bytesDeallocator)
{
    const CFDataReleaseBlock release = bytesDeallocator == kCFAllocatorNull ? nullptr : FreeMallocBlock;
    if (length < 0 || (length > 0 && bytes == nullptr)) {
        // Refused; the block is still ours to free, as the caller handed it over.
        if (release && bytes)
            release(bytes, 0);
        return nullptr;
    }
    return CFDataCreateWithBlock(bytes, static_cast<size_t>(length), release);
}

CFDataRef CFDataCreateCopy(CFAllocatorRef, CFDataRef theData)
{
    const CFDataObject* d = CFDataObjectOf(theData);
    if (d == nullptr)
        return nullptr;
    if (!d->isMutable)
        return static_cast<CFDataRef>(CFRetain(d));
    return CFDataCreateWithVector(d->bytes.Copy(), false);
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex capacity)
{
    auto* data = new CFDataObject(CFByteVector(), true);
    if (capacity > 0)
        data->bytes.Vector().reserve(static_cast<size_t>(std::min<CFIndex>(capacity, 1 << 20)));
    return data;
}

CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef, CFIndex, CFDataRef theData)
{
    const CFDataObject* d = CFDataObjectOf(theData);
    return new CFDataObject(d ? d->bytes.Copy() : CFByteVector{}, true);
}

CFIndex CFDataGetLength(CFDataRef theData)
{
    const CFDataObject* d = CFDataObjectOf(theData);
    return d ? static_cast<CFIndex>(d->bytes.size()) : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef theData)
{
    const CFDataObject* d = CFDataObjectOf(theData);
    if (d == nullptr)
        return nullptr;
    return d->bytes.empty() ? kNoBytes : d->bytes.data();
}

UInt8* CFDataGetMutableBytePtr(CFMutableDataRef theData)
{
    const CFDataObject* d = CFDataObjectOf(theData);
    if (d == nullptr || !d->isMutable)
        return nullptr;
    CFByteVector& bytes = const_cast<CFDataObject*>(d)->bytes.Vector();
    if (bytes.capacity() == 0)
        bytes.reserve(1);  // so that even an empty buffer has an address
    return bytes.data();
}

void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8* buffer)
{
    const CFDataObject* d = CFDataObjectOf(theData);
    if (d == nullptr || buffer == nullptr)
        return;
    size_t start, count;
    CFRuntimeClampRange(range, d->bytes.size(), &start, &count);
    std::copy_n(d->bytes.begin() + start, count, buffer);
}

void CFDataSetLength(CFMutableDataRef theData, CFIndex length)
{
    if (CFDataObject* d = AsMutableData(theData, "CFDataSetLength"))
        d->bytes.Vector().resize(static_cast<size_t>(std::max<CFIndex>(length, 0)), 0);
}

void CFDataIncreaseLength(CFMutableDataRef theData, CFIndex extraLength)
{
    if (CFDataObject* d = AsMutableData(theData, "CFDataIncreaseLength"))
        d->bytes.Vector().resize(d->bytes.size() + static_cast<size_t>(std::max<CFIndex>(extraLength, 0)), 0);
}

void CFDataAppendBytes(CFMutableDataRef theData, const UInt8* bytes, CFIndex length)
{
    if (CFDataObject* d = AsMutableData(theData, "CFDataAppendBytes")) {
        if (bytes != nullptr && length > 0)
            d->bytes.Vector().insert(d->bytes.Vector().end(), bytes, bytes + length);
    }
}

void CFDataReplaceBytes(CFMutableDataRef theData, CFRange range, const UInt8* newBytes, CFIndex newLength)
{
    if (CFDataObject* d = AsMutableData(theData, "CFDataReplaceBytes")) {
        size_t start, count;
        CFRuntimeClampRange(range, d->bytes.size(), &start, &count);
        CFByteVector replacement;
        if (newBytes != nullptr && newLength > 0)
            replacement.assign(newBytes, newBytes + newLength);
        CFByteVector& vector = d->bytes.Vector();
        auto first = vector.begin() + static_cast<std::ptrdiff_t>(start);
        vector.erase(first, first + static_cast<std::ptrdiff_t>(count));
        vector.insert(vector.begin() + static_cast<std::ptrdiff_t>(start), replacement.begin(), replacement.end());
    }
}

void CFDataDeleteBytes(CFMutableDataRef theData, CFRange range)
{
    CFDataReplaceBytes(theData, range, nullptr, 0);
}
