#include "CGColor.h"
#include "CGDrawingInternal.h"

#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFStringUTF8.h>

#include <algorithm>
#include <vector>

struct CGColorObject final : CFRuntimeObject {
    CGColorObject(CGColorSpaceRef colorSpace, std::vector<CGFloat> values, bool constant = false)
        : CFRuntimeObject(CGColorGetTypeID(), constant), space(CGColorSpaceRetain(colorSpace)),
          components(std::move(values))
    {}
    ~CGColorObject() override { CGColorSpaceRelease(space); }

    bool Equals(const CFRuntimeObject& other) const override
    {
        const auto& color = static_cast<const CGColorObject&>(other);
        return CFEqual(space, color.space) && components == color.components;
    }
    CFStringRef CopyDescription() const override
    {
        std::string text = CFRuntimeDescriptionPrefix(this) + "{";
        for (size_t i = 0; i < components.size(); ++i)
            text += (i ? ", " : "") + std::to_string(components[i]);
        return CFStringCreateWithUTF8(text + "}");
    }

    const CGColorSpaceRef space;
    const std::vector<CGFloat> components;
};

const CFStringRef kCGColorBlack = CFSTR("kCGColorBlack");
const CFStringRef kCGColorWhite = CFSTR("kCGColorWhite");
const CFStringRef kCGColorClear = CFSTR("kCGColorClear");

namespace {

const CGColorObject* AsColor(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != CGColorGetTypeID())
        return nullptr;
    return static_cast<const CGColorObject*>(CFRuntimeObjectOf(cf));
}

CGColorRef MakeGeneric(CFStringRef spaceName, std::vector<CGFloat> components, bool constant = false)
{
    CGColorSpaceRef space = CGColorSpaceCreateWithName(spaceName);
    CGColorRef color = new CGColorObject(space, std::move(components), constant);
    CGColorSpaceRelease(space);
    return color;
}

}  // namespace

CFTypeID CGColorGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CGColor");
    return type;
}

CGColorRef CGColorCreate(CGColorSpaceRef space, const CGFloat components[])
{
    const size_t count = CGColorSpaceGetNumberOfComponents(space);
    if (count == 0 || components == nullptr)
        return nullptr;
    return new CGColorObject(space, std::vector<CGFloat>(components, components + count + 1));
}

CGColorRef CGColorCreateGenericRGB(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
{
    return MakeGeneric(kCGColorSpaceGenericRGB, {red, green, blue, alpha});
}

CGColorRef CGColorCreateGenericGray(CGFloat gray, CGFloat alpha)
{
    return MakeGeneric(kCGColorSpaceGenericGray, {gray, alpha});
}

CGColorRef CGColorCreateCopy(CGColorRef color)
{
    const CGColorObject* object = AsColor(color);
    return object ? new CGColorObject(object->space, object->components) : nullptr;
}

CGColorRef CGColorCreateCopyWithAlpha(CGColorRef color, CGFloat alpha)
{
    const CGColorObject* object = AsColor(color);
    if (object == nullptr)
        return nullptr;
    std::vector<CGFloat> components = object->components;
    components.back() = alpha;
    return new CGColorObject(object->space, std::move(components));
}

CGColorRef CGColorGetConstantColor(CFStringRef name)
{
    static const CGColorRef black = MakeGeneric(kCGColorSpaceGenericGray, {0, 1}, true);
    static const CGColorRef white = MakeGeneric(kCGColorSpaceGenericGray, {1, 1}, true);
    static const CGColorRef clear = MakeGeneric(kCGColorSpaceGenericGray, {0, 0}, true);
    if (name == nullptr)
        return nullptr;
    if (CFEqual(name, kCGColorBlack))
        return black;
    if (CFEqual(name, kCGColorWhite))
        return white;
    if (CFEqual(name, kCGColorClear))
        return clear;
    return nullptr;
}

CGColorRef CGColorRetain(CGColorRef color)
{
    return static_cast<CGColorRef>(CFRetain(color));
}

void CGColorRelease(CGColorRef color)
{
    if (color)
        CFRelease(color);
}

bool CGColorEqualToColor(CGColorRef color1, CGColorRef color2)
{
    return CFEqual(color1, color2);
}

size_t CGColorGetNumberOfComponents(CGColorRef color)
{
    const CGColorObject* object = AsColor(color);
    return object ? object->components.size() : 0;
}

const CGFloat* CGColorGetComponents(CGColorRef color)
{
    const CGColorObject* object = AsColor(color);
    return object ? object->components.data() : nullptr;
}

CGFloat CGColorGetAlpha(CGColorRef color)
{
    const CGColorObject* object = AsColor(color);
    return object ? object->components.back() : 0;
}

CGColorSpaceRef CGColorGetColorSpace(CGColorRef color)
{
    const CGColorObject* object = AsColor(color);
    return object ? object->space : nullptr;
}

CGRGBA CGColorGetRGBA(CGColorRef color)
{
    const CGColorObject* object = AsColor(color);
    if (object == nullptr)
        return CGRGBA{0, 0, 0, 0};
    return CGRGBAFromComponents(CGColorSpaceGetModel(object->space), object->components.data());
}
