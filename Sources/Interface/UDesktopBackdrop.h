// What the desktop window's canvas view shows of the desktop itself. While
// "TPreferences.hideDesktop" is true the desktop is covered: the picture
// of "background-image" fills each display's part of the view. Otherwise
// the view is clear and the desktop shows through (clicks on clear pixels
// go to what lies beneath).
//
// The screen canvas draws it under its cards (CreateUnder); a plain view
// draws it itself (Create).
#pragma once

#include <ApplicationFramework/Classes/TEventHandlerUnit.h>

#include <CoreGraphics/CGContext.h>
#include <HIToolbox/HIView.h>

#include <QImage>

namespace brindlet {

class TDesktopBackdrop : public TEventHandler {
    BRINDLET_CLASS(TDesktopBackdrop, TEventHandler)

public:
    // Draws the view (not retained: the window owns both).
    static TDesktopBackdrop* Create(HIViewRef view);
    // For a view that draws itself (the screen canvas's): the backdrop only
    // answers DrawBackground for it.
    static TDesktopBackdrop* CreateUnder(HIViewRef view);

    void Deallocate() override;
    void HandleEvent(EventRef event, UInt32 eventClass, UInt32 eventKind, SInt32& result) override;

    // The background of a desktop whose view lies at `viewOrigin` (global),
    // drawn into the context over `bounds` (view coordinates).
    void DrawBackground(CGContextRef context, CGRect bounds, CGPoint viewOrigin);
    // Reads the picture again at the next drawing.
    void ForgetPicture();

    // What the canvas draws over the desktop (its cards, their shadows),
    // made ready for the screen. With a compositing manager the window's
    // translucent pixels are blended with what lies beneath, and `drawn`
    // comes back as it is (retained). Without one the X server would show
    // them on black: they are blended here with the desktop's picture (the
    // root window's pixmap) under `globalBounds`, the place `drawn` takes
    // on the screen. Clear pixels stay clear (the desktop shows there, and
    // takes the clicks). A new reference; nil for nil.
    static CGImageRef CopyOverDesktop(CGImageRef drawn, CGRect globalBounds);

protected:
    TDesktopBackdrop() = default;

private:
    HIViewRef view_ = nullptr;
    CGImageRef picture_ = nullptr;
    // The picture could not be read: not tried again until forgotten.
    bool pictureFailed_ = false;
};

// The blending of CopyOverDesktop: every pixel of `drawn` that is neither
// clear nor opaque laid over the pixel of `desktop` at the same place (the
// top-left corners together), and made opaque; clear and opaque pixels are
// kept. The result has the size and the premultiplied layout of `drawn`.
QImage BlendOverDesktop(const QImage& drawn, const QImage& desktop);

}  // namespace brindlet
