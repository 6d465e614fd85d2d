#pragma once

#include "CFRuntime.h"

#include <CoreFoundation/CFData.h>

#include <vector>

// The bytes of a data object.
typedef std::vector<UInt8> CFByteVector;

struct CFDataObject final : CFRuntimeObject {
    CFDataObject(CFByteVector contents, bool mutableData)
        : CFRuntimeObject(kCFRuntimeTypeData), bytes(std::move(contents)), isMutable(mutableData)
    {}

    bool Equals(const CFRuntimeObject& other) const override
    {
        return bytes == static_cast<const CFDataObject&>(other).bytes;
    }
    CFHashCode Hash() const override;
    CFStringRef CopyDescription() const override;

    CFByteVector bytes;
    const bool isMutable;
};

// The data behind a reference; nil for nil and for values of another type.
const CFDataObject* CFDataObjectOf(CFTypeRef cf);

CFDataRef CFDataCreateWithVector(CFByteVector bytes, bool mutableData);
