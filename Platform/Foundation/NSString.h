// Immutable text on the Cocoa side, over a CFString.
#pragma once

#include <Foundation/NSObject.h>

#include <string>

class NSString : public NSObject {
public:
    // Autoreleased.
    static NSString* string();
    static NSString* stringWithUTF8String(const char* text);
    static NSString* stringWithCFString(CFStringRef text);
    // Owned by the caller.
    static NSString* newWithUTF8String(std::string_view text);
    static NSString* newWithCFString(CFStringRef text);

    // The text as a platform string, borrowed for the life of the receiver.
    CFStringRef cfString() const { return string_; }
    std::string UTF8String() const;
    NSUInteger length() const;
    bool isEqualToString(const NSString* other) const;
    NSComparisonResult compare(const NSString* other) const;

    const char* className() const override { return "NSString"; }
    NSString* description() const override;
    bool isEqual(const NSObject* other) const override;
    NSUInteger hash() const override;

private:
    explicit NSString(CFStringRef text) : string_(text) {}
    ~NSString() override;

    CFStringRef string_;  // owned, immutable
};
