// The page curl with which a card opens and closes: the card's face and
// what lies under it are handed to the page-curl filter, and a sprite
// animator runs the filter's time from 0 to 1, its output standing in for
// the card's image while it runs.
//
// What lies under the card is the transparent canvas window itself, so the
// target page is clear: what the desktop shows through stays as it is.
#include "UGenericCard.h"

#include <SpriteEngine/SCAnimation.h>

#include <CoreImage/CIFilter.h>
#include <CoreImage/CIImage.h>

namespace {

constexpr double kCurlAngle = -0.6283185;
constexpr double kCurlRadius = 70;
constexpr SInt32 kCurlSpeed = 20;

struct TransitionArtwork {
    CGImageRef backside = nullptr;
    CGImageRef shading = nullptr;
    bool loaded = false;
};

TransitionArtwork& Transitions()
{
    static TransitionArtwork artwork;
    if (!artwork.loaded) {
        artwork.backside = CGImageLoadFromResource("backside.jpg", "Images/Transitions");
        artwork.shading = CGImageLoadFromResource("shading.png", "Images/Transitions");
        artwork.loaded = true;
    }
    return artwork;
}

bool ShowsTransitions()
{
    TPreferenceHandlerApplication* prefs = TApplication::Prefs();
    return prefs != nullptr && prefs->GetBooleanValue("TPreferences.showTransitions");
}

// A clear image of the size, the page the card curls onto or off.
CGImageRef CreateClearImage(CGSize size)
{
    Ptr buffer = nullptr;
    CGContextRef context = CGBitmapContextCreate(size, buffer);
    if (context == nullptr)
        return nullptr;
    CGImageRef image = CGBitmapContextCreateImage(context);
    CGContextRelease(context);
    DisposePtr(buffer);
    return image;
}

}  // namespace

bool TCard::Transition(bool opening)
{
    if (!ShowsTransitions() || !IsCanvasValid() || IsAnimating())
        return false;
    CompositeImage();
    CGImageRef face = GetImage();
    if (face == nullptr)
        return false;
    const CGSize size = CGImageGetSize(face);
    CGImageRef clear = CreateClearImage(size);
    if (clear == nullptr)
        return false;
    CIFilter* filter = CIFilter::filterWithName("CIPageCurlTransition");
    if (filter == nullptr) {
        CGImageRelease(clear);
        return false;
    }
    // Closing curls the card away from what lies under it; opening curls
    // the clear page away from the card.
    CIImage* card = CIImage::imageWithCGImage(face);
    CIImage* under = CIImage::imageWithCGImage(clear);
    CGImageRelease(clear);
    filter->setValue(kCIInputImageKey, opening ? under : card);
    filter->setValue(kCIInputTargetImageKey, opening ? card : under);
    const TransitionArtwork& artwork = Transitions();
    if (artwork.backside != nullptr)
        filter->setValue(kCIInputBacksideImageKey, CIImage::imageWithCGImage(artwork.backside));
    if (artwork.shading != nullptr)
        filter->setValue(kCIInputShadingImageKey, CIImage::imageWithCGImage(artwork.shading));
    filter->setValue(kCIInputAngleKey, kCurlAngle);
    filter->setValue(kCIInputRadiusKey, kCurlRadius);
    filter->setValue(kCIInputExtentKey, CGRectMake(0, 0, size.width, size.height));

    TSpriteAnimator* animator = TSpriteAnimator::Create();
    animator->SetSpeed(kCurlSpeed);
    animator->SetEnableQuartzGL(true);
    for (Float32 time : {0.0f, 1.0f}) {
        TSpriteAnimationFrame* frame = TSpriteAnimationFrame::Create();
        frame->SetFilter(filter);
        frame->SetFilterTime(time);
        animator->AppendFrame(frame);
        frame->Release();
    }
    ResponderActionInfo ended;
    TResponder::DefineAction(BRINDLET_METHOD(TCard, HandleTransitionEnded), this, ended);
    animator->SetEndedAction(ended);
    animator->Start(this);
    return true;
}

void TCard::HandleTransitionEnded(TObject*)
{
    if (closing_) {
        Remove();
        return;
    }
    UpdateFace();
    if (waitingForInitialState_ || editTitleAfterTransition_) {
        waitingForInitialState_ = false;
        editTitleAfterTransition_ = false;
        EditTitle();
    }
}

void TCard::CloseWithTransition()
{
    if (closing_)
        return;
    closing_ = true;
    if (!Transition(false))
        Remove();
}

void TCard::ForgetTransition()
{
    if (auto* animator = dynamic_cast<TSpriteAnimator*>(GetAnimator()))
        animator->SetEndedAction(ResponderActionInfo{});
}
