#include "WindowBacking.h"

namespace {

constexpr PropertyCreator kBackingCreator = FourCC("HIwb");
constexpr PropertyTag kBackingTag = FourCC("locn");

}  // namespace

OSStatus HIWindowSetBackingLocation(WindowRef window, HIWindowBackingLocation location)
{
    if (!IsValidWindowPtr(window))
        return errInvalidWindowRef;
    if (location > kHIWindowBackingLocationMainMemory)
        return paramErr;
    return SetWindowProperty(window, kBackingCreator, kBackingTag, sizeof location, &location);
}

OSStatus HIWindowGetBackingLocation(WindowRef window, HIWindowBackingLocation* outLocation)
{
    if (!IsValidWindowPtr(window))
        return errInvalidWindowRef;
    if (outLocation == nullptr)
        return paramErr;
    HIWindowBackingLocation location = kHIWindowBackingLocationDefault;
    if (GetWindowProperty(window, kBackingCreator, kBackingTag, sizeof location, nullptr, &location) != noErr)
        location = kHIWindowBackingLocationDefault;
    *outLocation = location;
    return noErr;
}
