#pragma once

#include "CFRuntime.h"

#include <CoreFoundation/CFData.h>

#include <cstddef>
#include <vector>

// The bytes of a data object.
typedef std::vector<UInt8> CFByteVector;

// Gives back a block of bytes a data object was handed.
typedef void (*CFDataReleaseBlock)(const UInt8* block, size_t size);

// A data object's bytes, read like a vector's: either its own vector, or a
// block it was handed and reads in place (the caller's bytes given to
// CFDataCreateWithBytesNoCopy, a buffer a writer filled), given back
// through its release function when the object goes. A sheet of tens of
// megabytes is then never copied just to be wrapped.
class CFDataBytes {
public:
    explicit CFDataBytes(CFByteVector owned) : owned_(std::move(owned)) {}
    // `release` may be nil (the caller keeps the block alive).
    CFDataBytes(const UInt8* block, size_t size, CFDataReleaseBlock release)
        : block_(size ? block : nullptr), blockSize_(size), release_(release), blockStart_(block)
    {}
    ~CFDataBytes()
    {
        if (release_)
            release_(blockStart_, blockSize_);
    }
    CFDataBytes(const CFDataBytes&) = delete;
    CFDataBytes& operator=(const CFDataBytes&) = delete;

    const UInt8* data() const { return block_ ? block_ : owned_.data(); }
    size_t size() const { return block_ ? blockSize_ : owned_.size(); }
    bool empty() const { return size() == 0; }
    const UInt8* begin() const { return data(); }
    const UInt8* end() const { return data() + size(); }
    UInt8 operator[](size_t i) const { return data()[i]; }
    bool operator==(const CFDataBytes& other) const;

    // A copy of the bytes as a vector of their own.
    CFByteVector Copy() const { return CFByteVector(begin(), end()); }
    // The vector a mutable data object edits; mutable objects always own
    // their bytes.
    CFByteVector& Vector() { return owned_; }

private:
    CFByteVector owned_;
    const UInt8* block_ = nullptr;  // nil when the bytes are the vector's
    size_t blockSize_ = 0;
    CFDataReleaseBlock release_ = nullptr;
    const UInt8* blockStart_ = nullptr;  // handed back even when empty
};

struct CFDataObject final : CFRuntimeObject {
    CFDataObject(CFByteVector contents, bool mutableData)
        : CFRuntimeObject(kCFRuntimeTypeData), bytes(std::move(contents)), isMutable(mutableData)
    {}
    // Immutable, over a block it was handed.
    CFDataObject(const UInt8* block, size_t size, CFDataReleaseBlock release)
        : CFRuntimeObject(kCFRuntimeTypeData), bytes(block, size, release), isMutable(false)
    {}

    bool Equals(const CFRuntimeObject& other) const override
    {
        return bytes == static_cast<const CFDataObject&>(other).bytes;
    }
    CFHashCode Hash() const override;
    CFStringRef CopyDescription() const override;

    CFDataBytes bytes;
    const bool isMutable;
};

// The data behind a reference; nil for nil and for values of another type.
const CFDataObject* CFDataObjectOf(CFTypeRef cf);

CFDataRef CFDataCreateWithVector(CFByteVector bytes, bool mutableData);
// An immutable data object over `block`, which `release` (when given) hands
// back once the object goes.
CFDataRef CFDataCreateWithBlock(const UInt8* block, size_t size, CFDataReleaseBlock release);
