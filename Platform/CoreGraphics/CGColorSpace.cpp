#include "CGColorSpace.h"

#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFStringUTF8.h>

struct CGColorSpaceObject final : CFRuntimeObject {
    CGColorSpaceObject(CGColorSpaceModel spaceModel, CFStringRef spaceName)
        : CFRuntimeObject(CGColorSpaceGetTypeID()), model(spaceModel), name(spaceName)
    {}
    bool Equals(const CFRuntimeObject& other) const override
    {
        const auto& space = static_cast<const CGColorSpaceObject&>(other);
        return model == space.model && name == space.name;
    }
    CFStringRef CopyDescription() const override
    {
        const std::string kind = name ? CFStringToUTF8(name) : model == 1 ? "DeviceRGB" : "DeviceGray";
        return CFStringCreateWithUTF8(CFRuntimeDescriptionPrefix(this) + kind);
    }

    const CGColorSpaceModel model;
    const CFStringRef name;  // a constant, or nil for the device spaces
};

const CFStringRef kCGColorSpaceGenericRGB = CFSTR("kCGColorSpaceGenericRGB");
const CFStringRef kCGColorSpaceGenericGray = CFSTR("kCGColorSpaceGenericGray");
const CFStringRef kCGColorSpaceSRGB = CFSTR("kCGColorSpaceSRGB");

namespace {

const CGColorSpaceObject* AsSpace(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != CGColorSpaceGetTypeID())
        return nullptr;
    return static_cast<const CGColorSpaceObject*>(CFRuntimeObjectOf(cf));
}

}  // namespace

CFTypeID CGColorSpaceGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CGColorSpace");
    return type;
}

CGColorSpaceRef CGColorSpaceCreateDeviceRGB()
{
    return new CGColorSpaceObject(kCGColorSpaceModelRGB, nullptr);
}

CGColorSpaceRef CGColorSpaceCreateDeviceGray()
{
    return new CGColorSpaceObject(kCGColorSpaceModelMonochrome, nullptr);
}

CGColorSpaceRef CGColorSpaceCreateWithName(CFStringRef name)
{
    for (CFStringRef known : {kCGColorSpaceGenericRGB, kCGColorSpaceSRGB})
        if (name && CFStringCompare(name, known, 0) == kCFCompareEqualTo)
            return new CGColorSpaceObject(kCGColorSpaceModelRGB, known);
    if (name && CFStringCompare(name, kCGColorSpaceGenericGray, 0) == kCFCompareEqualTo)
        return new CGColorSpaceObject(kCGColorSpaceModelMonochrome, kCGColorSpaceGenericGray);
    return nullptr;
}

CGColorSpaceRef CGColorSpaceRetain(CGColorSpaceRef space)
{
    return static_cast<CGColorSpaceRef>(CFRetain(space));
}

void CGColorSpaceRelease(CGColorSpaceRef space)
{
    if (space)
        CFRelease(space);
}

size_t CGColorSpaceGetNumberOfComponents(CGColorSpaceRef space)
{
    const CGColorSpaceObject* object = AsSpace(space);
    if (object == nullptr)
        return 0;
    return object->model == kCGColorSpaceModelRGB ? 3 : 1;
}

CGColorSpaceModel CGColorSpaceGetModel(CGColorSpaceRef space)
{
    const CGColorSpaceObject* object = AsSpace(space);
    return object ? object->model : kCGColorSpaceModelUnknown;
}

CFStringRef CGColorSpaceGetName(CGColorSpaceRef space)
{
    const CGColorSpaceObject* object = AsSpace(space);
    return object ? object->name : nullptr;
}
