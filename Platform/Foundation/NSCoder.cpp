#include "NSCoder.h"

#include <CoreFoundation/CFRef.h>

#include <map>
#include <mutex>

namespace {

const CFStringRef kClassKey = CFSTR("$class");

// Archives of more than this are not read: a wrapper or a small record is
// all that travels this way.
constexpr CFIndex kMaxArchiveLength = 1 << 20;

struct DecoderRegistry {
    std::mutex mutex;
    std::map<std::string, NSCodingDecoder> decoders;
};

DecoderRegistry& Decoders()
{
    static DecoderRegistry registry;
    return registry;
}

CFRef<CFStringRef> KeyString(const std::string& key)
{
    return CFRef<CFStringRef>(CFStringCreateWithCString(nullptr, key.c_str(), kCFStringEncodingUTF8));
}

}  // namespace

NSCoder::NSCoder()
    : values_(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks))
{}

NSCoder::NSCoder(CFDictionaryRef values) : values_(CFDictionaryCreateMutableCopy(nullptr, 0, values)) {}

NSCoder::~NSCoder()
{
    CFRelease(values_);
}

void NSCoder::encodeInt32(int32_t value, const std::string& key)
{
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &value));
    CFDictionarySetValue(values_, KeyString(key), number);
}

void NSCoder::encodeInt64(int64_t value, const std::string& key)
{
    CFRef<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt64Type, &value));
    CFDictionarySetValue(values_, KeyString(key), number);
}

bool NSCoder::containsValueForKey(const std::string& key) const
{
    return CFDictionaryContainsKey(values_, KeyString(key));
}

int64_t NSCoder::decodeInt64ForKey(const std::string& key) const
{
    CFTypeRef value = CFDictionaryGetValue(values_, KeyString(key));
    int64_t result = 0;
    if (value == nullptr || CFGetTypeID(value) != CFNumberGetTypeID() ||
        !CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &result))
        return 0;
    return result;
}

int32_t NSCoder::decodeInt32ForKey(const std::string& key) const
{
    const int64_t value = decodeInt64ForKey(key);
    return value >= INT32_MIN && value <= INT32_MAX ? int32_t(value) : 0;
}

void NSKeyedUnarchiverRegisterClass(const std::string& className, NSCodingDecoder decoder)
{
    DecoderRegistry& registry = Decoders();
    std::lock_guard lock(registry.mutex);
    if (decoder)
        registry.decoders[className] = decoder;
    else
        registry.decoders.erase(className);
}

CFDataRef NSKeyedArchiver::archivedDataWithRootObject(const NSObject* root)
{
    const auto* coding = dynamic_cast<const NSCoding*>(root);
    if (coding == nullptr)
        return nullptr;
    NSKeyedArchiver* archiver = new NSKeyedArchiver();
    coding->encodeWithCoder(archiver);
    CFRef<CFStringRef> className = KeyString(root->className());
    CFDictionarySetValue(archiver->values_, kClassKey, className);
    CFDataRef data = CFPropertyListCreateXMLData(nullptr, archiver->values_);
    archiver->release();
    return data;
}

NSObject* NSKeyedUnarchiver::unarchiveObjectWithData(CFDataRef data)
{
    if (data == nullptr || CFGetTypeID(data) != CFDataGetTypeID() || CFDataGetLength(data) > kMaxArchiveLength)
        return nullptr;
    CFRef<CFPropertyListRef> list(CFPropertyListCreateFromXMLData(nullptr, data, kCFPropertyListImmutable, nullptr));
    if (!list || CFGetTypeID(list) != CFDictionaryGetTypeID())
        return nullptr;
    auto values = static_cast<CFDictionaryRef>(list.get());
    CFTypeRef className = CFDictionaryGetValue(values, kClassKey);
    if (className == nullptr || CFGetTypeID(className) != CFStringGetTypeID())
        return nullptr;
    char name[256];
    if (!CFStringGetCString(static_cast<CFStringRef>(className), name, sizeof name, kCFStringEncodingUTF8))
        return nullptr;
    NSCodingDecoder decoder = nullptr;
    {
        DecoderRegistry& registry = Decoders();
        std::lock_guard lock(registry.mutex);
        auto found = registry.decoders.find(name);
        if (found == registry.decoders.end())
            return nullptr;
        decoder = found->second;
    }
    NSKeyedUnarchiver* unarchiver = new NSKeyedUnarchiver(values);
    NSObject* object = decoder(unarchiver);
    unarchiver->release();
    return NSAutorelease(object);
}
