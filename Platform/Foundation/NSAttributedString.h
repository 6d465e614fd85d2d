// Text with formatting on the Cocoa side. Only what the units read of it so
// far: an attributed string made from RTF data, and its characters.
#pragma once

#include <Foundation/NSString.h>

class NSAttributedString : public NSObject {
public:
    // Owned by the caller.
    static NSAttributedString* newWithString(CFStringRef text);
    // The document the RTF data holds; nil when the data is not RTF (or
    // nests too deeply to be read safely). Owned by the caller.
    static NSAttributedString* newWithRTF(CFDataRef data);
    // The same, autoreleased.
    static NSAttributedString* attributedStringWithRTF(CFDataRef data);

    // The characters without their formatting, borrowed for the life of the
    // receiver.
    CFStringRef string() const { return string_; }
    NSUInteger length() const;

    const char* className() const override { return "NSAttributedString"; }
    NSString* description() const override;

private:
    explicit NSAttributedString(CFStringRef text) : string_(text) {}
    ~NSAttributedString() override;

    CFStringRef string_;  // owned, immutable
};
