// Keyed archiving of the Cocoa-side objects: an object that can be archived
// (NSCoding) writes its values under keys of a coder, and is made again from
// them by the decoder registered for its class name.
//
// The archive is an XML property list: a dictionary holding the class name
// under "$class" and each encoded value under its key.
#pragma once

#include <Foundation/NSObject.h>

#include <cstdint>
#include <string>

class NSCoder : public NSObject {
public:
    void encodeInt32(int32_t value, const std::string& key);
    void encodeInt64(int64_t value, const std::string& key);
    bool containsValueForKey(const std::string& key) const;
    // 0 when the key is absent, holds no whole number, or (for 32 bits) a
    // number out of range.
    int32_t decodeInt32ForKey(const std::string& key) const;
    int64_t decodeInt64ForKey(const std::string& key) const;

    const char* className() const override { return "NSCoder"; }

protected:
    NSCoder();
    explicit NSCoder(CFDictionaryRef values);
    ~NSCoder() override;

    CFMutableDictionaryRef values_;  // owned
};

// What an archivable object does.
class NSCoding {
public:
    virtual void encodeWithCoder(NSCoder* coder) const = 0;

protected:
    ~NSCoding() = default;
};

// Makes an object of one class from a coder; owned by the caller, nil when
// the values do not make one.
typedef NSObject* (*NSCodingDecoder)(NSCoder* coder);

// Registers the decoder of the objects whose className() is `className`,
// replacing an earlier one; nil takes it away.
void NSKeyedUnarchiverRegisterClass(const std::string& className, NSCodingDecoder decoder);

class NSKeyedArchiver : public NSCoder {
public:
    // A new data object: the archive of `root`. Nil for nil or an object
    // that cannot be archived (not NSCoding).
    static CFDataRef archivedDataWithRootObject(const NSObject* root);

private:
    NSKeyedArchiver() = default;
};

class NSKeyedUnarchiver : public NSCoder {
public:
    // The object of the archive, autoreleased. Nil for data that is no
    // archive, or of a class without a decoder.
    static NSObject* unarchiveObjectWithData(CFDataRef data);

private:
    explicit NSKeyedUnarchiver(CFDictionaryRef values) : NSCoder(values) {}
};
