// The Cocoa drawing classes the units draw text with, beside the colours and
// fonts of AppKit: shadows, paragraph styles, the attributes that bundle
// them, the Cocoa graphics context over a Quartz context, and string
// drawing and measuring through Qt's text layout.
//
// Text is laid out from the top of its rectangle down. In a flipped Cocoa
// context (user space y-down, the way the views and the sprites' bitmaps
// are set up) the glyphs are drawn upright in that space; in an unflipped
// one they are turned to stand upright in y-up space. As on the platform,
// the flag must match the context's CTM for text to come out upright.
//
// Sizes are points, and one point is one pixel here. Text is laid out in
// the font as AppKit's NSFont holds it (whole pixels), so that what is
// drawn here measures as NSFont says.
#pragma once

#include <AppKit/NSColor.h>
#include <AppKit/NSFont.h>
#include <CoreGraphics/CGContext.h>
#include <Foundation/NSGeometry.h>
#include <Foundation/NSString.h>

typedef enum : NSUInteger {
    NSLeftTextAlignment = 0,
    NSRightTextAlignment = 1,
    NSCenterTextAlignment = 2,
    NSJustifiedTextAlignment = 3,
    NSNaturalTextAlignment = 4,
} NSTextAlignment;

typedef enum : NSUInteger {
    NSLineBreakByWordWrapping = 0,
    NSLineBreakByCharWrapping,
    NSLineBreakByClipping,
    NSLineBreakByTruncatingHead,
    NSLineBreakByTruncatingTail,
    NSLineBreakByTruncatingMiddle,
} NSLineBreakMode;

typedef NSInteger NSStringDrawingOptions;
enum : NSStringDrawingOptions {
    // Without it the text is measured as one line and the rectangle's
    // origin is the baseline's start, as on the platform.
    NSStringDrawingUsesLineFragmentOrigin = 1 << 0,
    NSStringDrawingUsesFontLeading = 1 << 1,
};

class NSShadow : public NSObject {
public:
    // Offset (0, 0), no blur, black at one third alpha.
    static NSShadow* newShadow();
    static NSShadow* shadow();  // autoreleased

    NSSize shadowOffset() const { return offset_; }
    void setShadowOffset(NSSize offset) { offset_ = offset; }
    CGFloat shadowBlurRadius() const { return blur_; }
    void setShadowBlurRadius(CGFloat blur) { blur_ = blur; }
    // Borrowed; never nil.
    NSColor* shadowColor() const { return color_; }
    void setShadowColor(NSColor* color);
    // The shadow of the current Cocoa context's drawing.
    void set() const;

    const char* className() const override { return "NSShadow"; }

private:
    NSShadow();
    ~NSShadow() override;

    NSSize offset_{0, 0};
    CGFloat blur_ = 0;
    NSColor* color_;
};

class NSMutableParagraphStyle;

class NSParagraphStyle : public NSObject {
public:
    // Natural alignment, word wrapping. Borrowed, never freed.
    static NSParagraphStyle* defaultParagraphStyle();

    NSTextAlignment alignment() const { return alignment_; }
    NSLineBreakMode lineBreakMode() const { return lineBreakMode_; }
    // Owned by the caller.
    NSMutableParagraphStyle* mutableCopy() const;

    const char* className() const override { return "NSParagraphStyle"; }

protected:
    NSParagraphStyle() = default;

    NSTextAlignment alignment_ = NSNaturalTextAlignment;
    NSLineBreakMode lineBreakMode_ = NSLineBreakByWordWrapping;
};

class NSMutableParagraphStyle : public NSParagraphStyle {
public:
    static NSMutableParagraphStyle* newParagraphStyle();
    static NSMutableParagraphStyle* paragraphStyle();  // autoreleased

    void setAlignment(NSTextAlignment alignment) { alignment_ = alignment; }
    void setLineBreakMode(NSLineBreakMode mode) { lineBreakMode_ = mode; }

    const char* className() const override { return "NSMutableParagraphStyle"; }

private:
    NSMutableParagraphStyle() = default;
    friend class NSParagraphStyle;
};

// The text attributes a string is drawn with: the dictionary keyed by
// NSFontAttributeName, NSForegroundColorAttributeName,
// NSParagraphStyleAttributeName and NSShadowAttributeName, with one slot
// per key. An empty slot means the text system's default: Helvetica (or
// the system font) of 12 points, black, the default paragraph style, no
// shadow. Values are retained.
class NSAttributeDictionary : public NSObject {
public:
    static NSAttributeDictionary* newAttributes();
    static NSAttributeDictionary* attributes();  // autoreleased
    // Owned by the caller.
    NSAttributeDictionary* mutableCopy() const;

    NSFont* font() const { return font_; }
    void setFont(NSFont* font);
    NSColor* foregroundColor() const { return foregroundColor_; }
    void setForegroundColor(NSColor* color);
    NSParagraphStyle* paragraphStyle() const { return paragraphStyle_; }
    void setParagraphStyle(NSParagraphStyle* style);
    NSShadow* shadow() const { return shadow_; }
    void setShadow(NSShadow* shadow);

    const char* className() const override { return "NSDictionary"; }

private:
    NSAttributeDictionary() = default;
    ~NSAttributeDictionary() override;

    NSFont* font_ = nullptr;
    NSColor* foregroundColor_ = nullptr;
    NSParagraphStyle* paragraphStyle_ = nullptr;
    NSShadow* shadow_ = nullptr;
};

class NSGraphicsContext : public NSObject {
public:
    // Autoreleased; keeps the Quartz context alive.
    static NSGraphicsContext* graphicsContextWithGraphicsPort(CGContextRef port, bool flipped);
    // Owned by the caller; nil for a nil port.
    static NSGraphicsContext* newWithGraphicsPort(CGContextRef port, bool flipped);
    // The same as graphicsContextWithGraphicsPort, by its later name.
    static NSGraphicsContext* graphicsContextWithCGContext(CGContextRef context, bool flipped)
    {
        return graphicsContextWithGraphicsPort(context, flipped);
    }
    // The calling thread's current context; nil when none is set.
    static NSGraphicsContext* currentContext();
    static void setCurrentContext(NSGraphicsContext* context);
    // Keeps the current context and its Quartz state on a stack of the
    // thread; restoring brings both back.
    static void saveGraphicsState();
    static void restoreGraphicsState();

    CGContextRef graphicsPort() const { return port_; }
    CGContextRef CGContext() const { return port_; }
    bool isFlipped() const { return flipped_; }

    const char* className() const override { return "NSGraphicsContext"; }

private:
    NSGraphicsContext(CGContextRef port, bool flipped);
    ~NSGraphicsContext() override;

    CGContextRef port_;
    bool flipped_;
};

// The string drawing additions of NSString, into the current Cocoa
// context (nothing happens without one).
namespace NSStringDrawing {

// Wrapped to the rectangle's width from its top; only the lines that fit
// whole in its height are drawn.
void drawInRect(CFStringRef text, NSRect rect, const NSAttributeDictionary* attributes);
void drawInRect(const NSString* text, NSRect rect, const NSAttributeDictionary* attributes);
// One line per paragraph, the first line's top-left corner (flipped) or
// bottom-left corner (unflipped) at the point.
void drawAtPoint(CFStringRef text, NSPoint point, const NSAttributeDictionary* attributes);
void drawAtPoint(const NSString* text, NSPoint point, const NSAttributeDictionary* attributes);
// Unwrapped: the widest paragraph and the height of all of them.
NSSize sizeWithAttributes(CFStringRef text, const NSAttributeDictionary* attributes);
NSSize sizeWithAttributes(const NSString* text, const NSAttributeDictionary* attributes);
// With NSStringDrawingUsesLineFragmentOrigin: wrapped in size.width (a
// height is not a limit), origin (0, 0), the widest line's width and all
// the lines' height. Without it: the first line alone, unwrapped, its
// origin on the baseline (y is minus the descent).
NSRect boundingRectWithSize(CFStringRef text, NSSize size, NSStringDrawingOptions options,
                            const NSAttributeDictionary* attributes);

}  // namespace NSStringDrawing

// The text system's drawing for a text container: the text laid out in a
// container of `containerSize` (lines that do not fit whole are left out)
// and its glyphs drawn with the container's top-left corner at `origin`,
// into the current Cocoa context.
void NSTextDrawInContainer(CFStringRef text, const NSAttributeDictionary* attributes, NSSize containerSize,
                           NSPoint origin);
