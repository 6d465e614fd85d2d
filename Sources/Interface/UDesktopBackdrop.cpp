#include "UDesktopBackdrop.h"

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <Units/Utilities/CGUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <AppKit/NSScreen.h>
#include <CoreGraphics/CGImageQt.h>
#include <HIToolbox/MacWindows.h>
#include <HIToolbox/WindowAvailability.h>

#include <QScreen>

#include <algorithm>

namespace brindlet {

BRINDLET_DEFINE_CLASS(TDesktopBackdrop, TEventHandler)

TDesktopBackdrop* TDesktopBackdrop::Create(HIViewRef view)
{
    TDesktopBackdrop* backdrop = CreateOn<TDesktopBackdrop>(GetControlEventTarget(view));
    backdrop->view_ = view;
    backdrop->AppendEvent(kEventClassControl, kEventControlDraw);
    return backdrop;
}

TDesktopBackdrop* TDesktopBackdrop::CreateUnder(HIViewRef view)
{
    // On the view's target, but hearing no event of its own.
    TDesktopBackdrop* backdrop = CreateOn<TDesktopBackdrop>(GetControlEventTarget(view));
    backdrop->view_ = view;
    return backdrop;
}

void TDesktopBackdrop::Deallocate()
{
    ForgetPicture();
    Inherited::Deallocate();
}

void TDesktopBackdrop::ForgetPicture()
{
    if (picture_ != nullptr)
        CGImageRelease(picture_);
    picture_ = nullptr;
    pictureFailed_ = false;
}

void TDesktopBackdrop::HandleEvent(EventRef, UInt32 eventClass, UInt32 eventKind, SInt32& result)
{
    if (eventClass != kEventClassControl || eventKind != kEventControlDraw)
        return;
    CGContextRef context = nullptr;
    HIRect bounds{};
    if (GetParameter(kEventParamCGContextRef, typeCGContextRef, sizeof context, &context) != noErr ||
        context == nullptr || HIViewGetBounds(view_, &bounds) != noErr)
        return;
    CGPoint origin = CGPointMake(0, 0);
    if (WindowRef window = HIViewGetWindow(view_)) {
        HIRect content{};
        HIWindowGetBounds(window, kWindowContentRgn, &content);
        HIRect frame{};
        HIViewGetFrame(view_, &frame);
        origin = CGPointMake(content.origin.x + frame.origin.x, content.origin.y + frame.origin.y);
    }
    DrawBackground(context, bounds, origin);
    result = noErr;
}

void TDesktopBackdrop::DrawBackground(CGContextRef context, CGRect bounds, CGPoint viewOrigin)
{
    CGContextClearRect(context, bounds);
    TPreferenceHandlerApplication* preferences = TApplication::Prefs();
    if (preferences == nullptr || !preferences->GetBooleanValue("TPreferences.hideDesktop"))
        return;
    if (picture_ == nullptr && !pictureFailed_) {
        const ShortString path = preferences->GetStringValue("background-image");
        FSRef file{};
        if (!path.IsEmpty() && FSGetPathRef(path, file))
            picture_ = CGImageCreateWithFSRef(file);
        pictureFailed_ = picture_ == nullptr;
    }
    if (picture_ == nullptr)
        return;
    // Once per display, over that display's part of the view.
    for (NSScreen* screen : NSScreen::screens()) {
        const QRect display = screen->qScreen()->geometry();
        const CGRect frame =
            CGRectMake(display.x() - viewOrigin.x, display.y() - viewOrigin.y, display.width(), display.height());
        if (!CGRectIntersectsRect(frame, bounds))
            continue;
        CGContextSaveGState(context);
        CGContextClipToRect(context, bounds);
        // The view's context is flipped (y down): the picture is drawn
        // upright in it.
        CGContextTranslateCTM(context, frame.origin.x, frame.origin.y + frame.size.height);
        CGContextScaleCTM(context, 1, -1);
        CGContextDrawImage(context, CGRectMake(0, 0, frame.size.width, frame.size.height), picture_);
        CGContextRestoreGState(context);
    }
}

CGImageRef TDesktopBackdrop::CopyOverDesktop(CGImageRef drawn, CGRect globalBounds)
{
    if (drawn == nullptr)
        return nullptr;
    CGImageRef desktop = HIDesktopIsComposited() ? nullptr : HIDesktopCopyRootPicture(globalBounds);
    if (desktop == nullptr)
        return CGImageRetain(drawn);
    const QImage blended = BlendOverDesktop(CGImageGetQImage(drawn), CGImageGetQImage(desktop));
    CGImageRelease(desktop);
    return CGImageCreateWithQImage(blended);
}

QImage BlendOverDesktop(const QImage& drawn, const QImage& desktop)
{
    QImage result = drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage under = desktop.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = std::min(result.width(), under.width());
    const int height = std::min(result.height(), under.height());
    for (int y = 0; y < height; ++y) {
        auto* pixels = reinterpret_cast<QRgb*>(result.scanLine(y));
        const auto* below = reinterpret_cast<const QRgb*>(under.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const int alpha = qAlpha(pixels[x]);
            if (alpha == 0 || alpha == 255)
                continue;
            // Premultiplied "over": the desktop shows through by what the
            // drawing leaves uncovered.
            const int rest = 255 - alpha;
            const QRgb b = below[x];
            auto channel = [rest](int top, int bottom) { return std::min(255, top + (bottom * rest + 127) / 255); };
            pixels[x] = qRgba(channel(qRed(pixels[x]), qRed(b)), channel(qGreen(pixels[x]), qGreen(b)),
                              channel(qBlue(pixels[x]), qBlue(b)), 255);
        }
    }
    return result;
}

}  // namespace brindlet
