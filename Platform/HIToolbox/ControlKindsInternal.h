// What the files of the standard control kinds share: the state a control
// keeps, reading and writing control data, and the pieces of their looks.
#pragma once

#include "ControlKinds.h"
#include "HIThemeQt.h"
#include "HIToolboxInternal.h"
#include "Menus.h"

#include <QRect>
#include <QStyleOption>

#include <cstring>
#include <memory>
#include <vector>

namespace controlkinds {

// Holds one reference of what a button, icon, image well or segment shows.
struct Content {
    ControlButtonContentInfo info{};

    Content() = default;
    Content(const Content&) = delete;
    Content& operator=(const Content&) = delete;
    ~Content() { Set(nullptr); }

    // paramErr for a content type that is neither none, an icon nor an image.
    OSStatus Set(const ControlButtonContentInfo* in)
    {
        ControlButtonContentInfo next{};
        if (in) {
            if (in->contentType != kControlNoContent && in->contentType != kControlContentIconRef &&
                in->contentType != kControlContentCGImageRef)
                return paramErr;
            next = *in;
            if (next.contentType == kControlContentIconRef && next.u.iconRef)
                AcquireIconRef(next.u.iconRef);
            if (next.contentType == kControlContentCGImageRef && next.u.imageRef)
                CGImageRetain(next.u.imageRef);
        }
        if (info.contentType == kControlContentIconRef && info.u.iconRef)
            ReleaseIconRef(info.u.iconRef);
        if (info.contentType == kControlContentCGImageRef && info.u.imageRef)
            CGImageRelease(info.u.imageRef);
        info = next;
        return noErr;
    }
    bool Empty() const
    {
        return (info.contentType != kControlContentIconRef && info.contentType != kControlContentCGImageRef) ||
               info.u.imageRef == nullptr;
    }
};

struct Tab {
    CFStringRef name = nullptr;  // owned
    bool enabled = true;
};

struct Segment {
    CFStringRef label = nullptr;  // owned
    std::unique_ptr<Content> image = std::make_unique<Content>();
    UInt32 command = 0;
    HISegmentBehavior behavior = kHISegmentBehaviorRadio;
    bool autoWidth = true;
    CGFloat width = 0;
    bool enabled = true;
    SInt32 value = 0;
};

struct ControlState {
    ControlSize size = kControlSizeNormal;
    bool autoToggle = true;
    // Push and bevel buttons.
    bool isDefault = false;
    bool isCancel = false;
    ControlBevelButtonBehavior bevelBehavior = kControlBehaviorPushbutton;
    Content content;
    MenuRef menu = nullptr;  // retained
    SInt16 menuValue = 0;
    bool dontTrack = false;
    // Text.
    ControlFontStyleRec style{};
    SInt16 truncation = -1;
    bool multiline = true;
    // Image views.
    CGImageRef image = nullptr;  // retained
    bool scaleToFit = true;
    bool opaque = true;
    CGFloat alpha = 1;
    // Group boxes.
    bool primary = true;
    // Tabs.
    std::vector<Tab> tabs;
    ControlTabSize tabSize = kControlTabSizeLarge;
    ControlTabDirection tabDirection = kControlTabDirectionNorth;
    // Segmented views.
    std::vector<Segment> segments;
    // Sliders and scroll bars.
    ControlSliderOrientation orientation = kControlSliderPointsDownOrRight;
    UInt16 tickMarks = 0;
    bool live = true;
    bool arrows = true;
    ControlActionUPP action = nullptr;
    // A click being tracked.
    ControlPartCode pressedPart = kControlNoPart;
    bool trackingThumb = false;
    SInt32 trackValue = 0;
    CGFloat grabOffset = 0;

    ControlState() = default;
    ControlState(const ControlState&) = delete;
    ControlState& operator=(const ControlState&) = delete;
    ~ControlState()
    {
        if (menu)
            ReleaseMenu(menu);
        if (image)
            CGImageRelease(image);
        for (Tab& tab : tabs)
            if (tab.name)
                CFRelease(tab.name);
        for (Segment& segment : segments)
            if (segment.label)
                CFRelease(segment.label);
    }
};

// Takes a new reference of `value`, dropping the one held.
template <typename T>
void Exchange(T*& slot, T* value, void (*retain)(T*), void (*release)(T*))
{
    if (value)
        retain(value);
    if (slot)
        release(slot);
    slot = value;
}

inline void RetainMenuRef(OpaqueMenuRef* menu)
{
    RetainMenu(menu);
}

inline void ReleaseMenuRef(OpaqueMenuRef* menu)
{
    ReleaseMenu(menu);
}

inline void RetainImage(const CGImageObject* image)
{
    CGImageRetain(image);
}

inline void ReleaseImage(const CGImageObject* image)
{
    CGImageRelease(image);
}

// Copies a value out: the size only when no buffer is given.
template <typename T>
OSStatus Put(const T& value, Size bufferSize, void* buffer, Size* actualSize)
{
    if (buffer == nullptr) {
        if (actualSize)
            *actualSize = sizeof(T);
        return noErr;
    }
    if (bufferSize < Size(sizeof(T)))
        return errDataSizeMismatch;
    std::memcpy(buffer, &value, sizeof(T));
    if (actualSize)
        *actualSize = sizeof(T);
    return noErr;
}

// Reads a value in; errDataSizeMismatch for any other size.
template <typename T>
OSStatus Take(T* out, Size size, const void* data)
{
    if (data == nullptr || size != Size(sizeof(T)))
        return errDataSizeMismatch;
    std::memcpy(out, data, sizeof(T));
    return noErr;
}

struct Look {
    bool enabled;
    bool active;
    ControlPartCode hilite;
};

// The control's own state, made when first asked for (views a nib makes
// by kind start without one).
ControlState* StateOf(HIViewRef view);

// Frees the state: every kind's dispose.
void DisposeState(HIViewRef view);
// The view's kind code (0 for what is no view).
OSType KindOf(HIViewRef view);

// A Boolean given in one byte, or as a wider integer.
OSStatus TakeFlag(bool* out, Size size, const void* data);

// The tags every kind shares.
OSStatus SetCommonData(ControlState* state, ResType tag, Size size, const void* data);

OSStatus GetCommonData(ControlState* state, ResType tag, Size bufferSize, void* buffer, Size* actualSize);

// Whether the view is enabled and active, and its highlighted part.
Look LookOf(HIViewRef view);
HIRect BoundsOf(HIViewRef view);
// The whole pixels a rectangle touches.
QRect QRectOf(const HIRect& r);
// A style option in the look's state and palette.
void InitOption(QStyleOption& option, const Look& look, const QRect& rect);
// The theme font of a control size.
ThemeFontID FontForSize(ControlSize size);

// Sets the text colour of the look (the palette's, dimmed when disabled).
void SetTextFill(CGContextRef context, const Look& look, QPalette::ColorRole role = QPalette::WindowText);

// One line of text in the box, truncated at its end.
void DrawLabel(CGContextRef context, CFStringRef text, const HIRect& box, ThemeFontID font,
               HIThemeTextHorizontalFlush flush, const Look& look);

// The view's title, as DrawLabel draws it.
void DrawTitle(HIViewRef view, CGContextRef context, const HIRect& box, ThemeFontID font,
               HIThemeTextHorizontalFlush flush, const Look& look);

// An icon or image, upright and centred in `box` at most `side` square.
void DrawContent(CGContextRef context, const ControlButtonContentInfo& content, const HIRect& box, CGFloat side,
                 const Look& look, bool pressed);

// The click counts when it ends on the part it began on.
ControlPartCode ReleaseOnPart(HIViewRef, HIPoint, ControlPartCode part, UInt32);

// Kinds that take no clicks.
ControlPartCode NoPartHitTest(HIViewRef, HIPoint);

// The data of kinds with no tags but the shared ones.
OSStatus SetPlainData(HIViewRef view, ControlPartCode, ResType tag, Size size, const void* data);

OSStatus GetPlainData(HIViewRef view, ControlPartCode, ResType tag, Size bufferSize, void* buffer, Size* actualSize);

// A kind's behaviour with what every kind has: no part, the shared data
// tags, the state freed when the view goes.
HIViewKindBehaviour Kind(OSType kind);

// The arguments every creator needs: an output, bounds, and a window
// that is one (or none).
bool BadArguments(WindowRef window, const Rect* bounds, ControlRef* outControl);

// A QuickDraw rectangle as a frame.
HIRect FrameOf(const Rect* r);

// A new view of the kind with its state, or nil for a nil output.
HIViewRef Create(OSType kind, WindowRef window, const Rect* bounds);

// Made in a window, the window's content holds the view: the caller gets
// it without a reference of its own, as the platform's creators answer.
void Finish(HIViewRef view, WindowRef window, ControlRef* outControl);

// Sets the title when one is given.
void SetTitle(HIViewRef view, CFStringRef title);

// Registers the kinds of each file with the view tree.
void RegisterViewKinds();
void RegisterTabKinds();
void RegisterTrackKinds();

}  // namespace controlkinds
