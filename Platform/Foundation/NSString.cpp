#include "NSString.h"

#include <CoreFoundation/CFStringUTF8.h>

NSString* NSString::newWithCFString(CFStringRef text)
{
    CFStringRef copy = text ? CFStringCreateCopy(nullptr, text) : nullptr;
    return new NSString(copy ? copy : static_cast<CFStringRef>(CFRetain(CFSTR(""))));
}

NSString* NSString::newWithUTF8String(std::string_view text)
{
    return new NSString(CFStringCreateWithUTF8OrMacRoman(text));
}

NSString* NSString::string()
{
    return NSAutorelease(newWithCFString(nullptr));
}

NSString* NSString::stringWithUTF8String(const char* text)
{
    return NSAutorelease(newWithUTF8String(text ? text : ""));
}

NSString* NSString::stringWithCFString(CFStringRef text)
{
    return NSAutorelease(newWithCFString(text));
}

NSString::~NSString()
{
    CFRelease(string_);
}

std::string NSString::UTF8String() const
{
    return CFStringToUTF8(string_);
}

NSUInteger NSString::length() const
{
    return static_cast<NSUInteger>(CFStringGetLength(string_));
}

bool NSString::isEqualToString(const NSString* other) const
{
    return other != nullptr && CFEqual(string_, other->string_);
}

NSComparisonResult NSString::compare(const NSString* other) const
{
    return static_cast<NSComparisonResult>(CFStringCompare(string_, other ? other->string_ : CFSTR(""), 0));
}

NSString* NSString::description() const
{
    return NSAutorelease(static_cast<NSString*>(const_cast<NSString*>(this)->retain()));
}

bool NSString::isEqual(const NSObject* other) const
{
    return isEqualToString(dynamic_cast<const NSString*>(other));
}

NSUInteger NSString::hash() const
{
    return CFHash(string_);
}
