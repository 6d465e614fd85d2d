#include "CGImageInternal.h"

#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFStringInternal.h>

#include <string>

struct CGImageObject final : CFRuntimeObject {
    CGImageObject(CFTypeID type, QImage pixels) : CFRuntimeObject(type), image(std::move(pixels)) {}

    bool Equals(const CFRuntimeObject& other) const override
    {
        return image == static_cast<const CGImageObject&>(other).image;
    }
    CFStringRef CopyDescription() const override
    {
        return CFStringCreateWithUTF8(CFRuntimeDescriptionPrefix(this) + "{" + std::to_string(image.width()) + " x " +
                                      std::to_string(image.height()) + "}");
    }

    const QImage image;
};

namespace {

const CGImageObject* AsImage(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != CGImageGetTypeID())
        return nullptr;
    return static_cast<const CGImageObject*>(CFRuntimeObjectOf(cf));
}

}  // namespace

CFTypeID CGImageGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CGImage");
    return type;
}

CGImageRef CGImageCreateWithQImage(const QImage& image)
{
    if (image.isNull())
        return nullptr;
    return new CGImageObject(CGImageGetTypeID(), image);
}

QImage CGImageGetQImage(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? object->image : QImage();
}

CGImageRef CGImageRetain(CGImageRef image)
{
    return static_cast<CGImageRef>(CFRetain(image));
}

void CGImageRelease(CGImageRef image)
{
    CFRelease(image);
}

size_t CGImageGetWidth(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? static_cast<size_t>(object->image.width()) : 0;
}

size_t CGImageGetHeight(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? static_cast<size_t>(object->image.height()) : 0;
}

size_t CGImageGetBitsPerComponent(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? static_cast<size_t>(object->image.depth() >= 24 ? 8 : object->image.depth()) : 0;
}

size_t CGImageGetBitsPerPixel(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? static_cast<size_t>(object->image.depth()) : 0;
}

size_t CGImageGetBytesPerRow(CGImageRef image)
{
    const CGImageObject* object = AsImage(image);
    return object ? static_cast<size_t>(object->image.bytesPerLine()) : 0;
}
