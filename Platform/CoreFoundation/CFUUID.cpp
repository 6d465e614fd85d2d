#include "CFRuntime.h"
#include "CFStringInternal.h"

#include <CoreFoundation/CFUUID.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <sys/random.h>

struct CFUUIDObject final : CFRuntimeObject {
    explicit CFUUIDObject(const std::array<UInt8, 16>& b) : CFRuntimeObject(kCFRuntimeTypeUUID), bytes(b) {}

    bool Equals(const CFRuntimeObject& other) const override
    {
        return bytes == static_cast<const CFUUIDObject&>(other).bytes;
    }
    CFHashCode Hash() const override
    {
        CFHashCode hash;
        std::memcpy(&hash, bytes.data(), sizeof hash);
        return hash;
    }
    CFStringRef CopyDescription() const override { return CFStringCreateWithUTF8(Text()); }

    std::string Text() const
    {
        char text[37];
        std::snprintf(text, sizeof text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                      bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                      bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
        return text;
    }

    const std::array<UInt8, 16> bytes;
};

namespace {

const CFUUIDObject* AsUUID(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != kCFRuntimeTypeUUID)
        return nullptr;
    return static_cast<const CFUUIDObject*>(CFRuntimeObjectOf(cf));
}

void FillRandom(UInt8* bytes, size_t count)
{
    size_t filled = 0;
    while (filled < count) {
        ssize_t n = getrandom(bytes + filled, count - filled, 0);
        if (n <= 0)
            break;
        filled += static_cast<size_t>(n);
    }
    if (filled < count) {
        // No kernel randomness (a very old kernel): fall back to the library's.
        std::random_device device;
        for (; filled < count; ++filled)
            bytes[filled] = static_cast<UInt8>(device());
    }
}

}  // namespace

CFTypeID CFUUIDGetTypeID()
{
    return kCFRuntimeTypeUUID;
}

CFUUIDRef CFUUIDCreate(CFAllocatorRef)
{
    std::array<UInt8, 16> bytes;
    FillRandom(bytes.data(), bytes.size());
    bytes[6] = static_cast<UInt8>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<UInt8>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return new CFUUIDObject(bytes);
}

CFUUIDRef CFUUIDCreateWithBytes(CFAllocatorRef, UInt8 byte0, UInt8 byte1, UInt8 byte2, UInt8 byte3, UInt8 byte4,
                                UInt8 byte5, UInt8 byte6, UInt8 byte7, UInt8 byte8, UInt8 byte9, UInt8 byte10,
                                UInt8 byte11, UInt8 byte12, UInt8 byte13, UInt8 byte14, UInt8 byte15)
{
    return new CFUUIDObject({byte0, byte1, byte2, byte3, byte4, byte5, byte6, byte7, byte8, byte9, byte10, byte11,
                             byte12, byte13, byte14, byte15});
}

CFUUIDRef CFUUIDCreateFromUUIDBytes(CFAllocatorRef, CFUUIDBytes b)
{
    std::array<UInt8, 16> bytes;
    static_assert(sizeof(CFUUIDBytes) == 16);
    std::memcpy(bytes.data(), &b, 16);
    return new CFUUIDObject(bytes);
}

CFUUIDRef CFUUIDCreateFromString(CFAllocatorRef, CFStringRef uuidStr)
{
    std::u16string_view text = CFStringView(uuidStr);
    if (text.size() == 38 && text.front() == '{' && text.back() == '}')
        text = text.substr(1, 36);
    if (text.size() != 36)
        return nullptr;
    std::array<UInt8, 16> bytes{};
    size_t byte = 0;
    for (size_t i = 0; i < text.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-')
                return nullptr;
            ++i;
            continue;
        }
        int high = CFHexDigitValue(text[i]), low = i + 1 < text.size() ? CFHexDigitValue(text[i + 1]) : -1;
        if (high < 0 || low < 0 || byte >= bytes.size())
            return nullptr;
        bytes[byte++] = static_cast<UInt8>(high * 16 + low);
        i += 2;
    }
    return byte == 16 ? new CFUUIDObject(bytes) : nullptr;
}

CFStringRef CFUUIDCreateString(CFAllocatorRef, CFUUIDRef uuid)
{
    const CFUUIDObject* u = AsUUID(uuid);
    return u ? CFStringCreateWithUTF8(u->Text()) : nullptr;
}

CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef uuid)
{
    CFUUIDBytes result{};
    if (const CFUUIDObject* u = AsUUID(uuid))
        std::memcpy(&result, u->bytes.data(), 16);
    return result;
}
