#include "NSAttributedString.h"

#include <RichText/RTFReader.h>

NSAttributedString* NSAttributedString::newWithString(CFStringRef text)
{
    CFStringRef copy = text ? CFStringCreateCopy(nullptr, text) : nullptr;
    return new NSAttributedString(copy ? copy : static_cast<CFStringRef>(CFRetain(CFSTR(""))));
}

NSAttributedString* NSAttributedString::newWithRTF(CFDataRef data)
{
    if (data == nullptr)
        return nullptr;
    CFStringRef text = RTFCopyPlainText(CFDataGetBytePtr(data), static_cast<size_t>(CFDataGetLength(data)), nullptr);
    return text ? new NSAttributedString(text) : nullptr;
}

NSAttributedString* NSAttributedString::attributedStringWithRTF(CFDataRef data)
{
    return NSAutorelease(newWithRTF(data));
}

NSAttributedString::~NSAttributedString()
{
    CFRelease(string_);
}

NSUInteger NSAttributedString::length() const
{
    return static_cast<NSUInteger>(CFStringGetLength(string_));
}

NSString* NSAttributedString::description() const
{
    return NSString::stringWithCFString(string_);
}
