#include "SCAnimation.h"

#include <SpriteEngine/SCSprite.h>
#include <Units/Utilities/CGUtilities.h>

#include <CarbonCore/DriverServices.h>
#include <HIToolbox/WindowBacking.h>
#include <Support/Diagnostics.h>

#include <cmath>
#include <cstdio>
#include <string>

BRINDLET_DEFINE_CLASS(TSpriteAnimationFrame, TObject)
BRINDLET_DEFINE_CLASS(TSpriteAnimator, TSpriteAnimatorProtocol)

SInt32 TSpriteAnimator::GlobalAnimationCount = 0;

namespace {

constexpr double kTickInterval = 1.0 / 60.0;
constexpr double kMicrosecondsPerSecond = 1000000.0;

// The window whose backing store the first QuartzGL animator moved.
WindowRef gQuartzGLWindow = nullptr;

double MicrosecondsNow()
{
    UnsignedWide now{};
    Microseconds(&now);
    return double((UInt64(now.hi) << 32) | now.lo);
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// Opacity, width, height and filter time: up by the target's share, down
// by the source's, never past the target.
Float32 StepByLargerEnd(Float32 source, Float32 target, Float32 current, Float32 steps, bool roundStep)
{
    if (target > source) {
        Float32 step = target / steps;
        if (roundStep)
            step = std::round(step);
        current += step;
        return current > target ? target : current;
    }
    Float32 step = source / steps;
    if (roundStep)
        step = std::round(step);
    current -= step;
    return current < target ? target : current;
}

// Location: a straight line in `steps` equal steps.
Float32 StepLinearly(Float32 source, Float32 target, Float32 current, Float32 steps)
{
    if (target > source) {
        current += (target - source) / steps;
        return current > target ? target : current;
    }
    current -= (source - target) / steps;
    return current < target ? target : current;
}

}  // namespace

// ---- key frames ----

void TSpriteAnimationFrame::Deallocate()
{
    if (filter_ != nullptr)
        filter_->release();
    filter_ = nullptr;
    properties_.filter = nullptr;
    Inherited::Deallocate();
}

void TSpriteAnimationFrame::SetOpacity(Float32 opacity)
{
    properties_.opacity = opacity;
    properties_.animateOpacity = true;
}

void TSpriteAnimationFrame::SetSize(CGSize size)
{
    properties_.size = size;
    properties_.animateSize = true;
}

void TSpriteAnimationFrame::SetLocation(CGPoint location)
{
    properties_.location = location;
    properties_.animateLocation = true;
}

void TSpriteAnimationFrame::SetRotation(Float32 degrees)
{
    properties_.rotation = degrees;
    properties_.animateRotation = true;
}

void TSpriteAnimationFrame::SetFilterTime(Float32 time)
{
    properties_.filterTime = time;
    properties_.animateFilterTime = true;
}

void TSpriteAnimationFrame::SetFilter(CIFilter* filter)
{
    if (filter == filter_)
        return;
    if (filter != nullptr)
        filter->retain();
    if (filter_ != nullptr)
        filter_->release();
    filter_ = filter;
    properties_.filter = filter;
}

void TSpriteAnimationFrame::Show()
{
    Diagnostics::WriteLine("Opacity: " + Number(properties_.opacity));
    Diagnostics::WriteLine("Size: width: " + Number(properties_.size.width) +
                           ", height: " + Number(properties_.size.height));
    Diagnostics::WriteLine("Origin: x: " + Number(properties_.location.x) + ", y: " + Number(properties_.location.y));
}

void TSpriteAnimationFrame::InterpolateProperties(TSpriteAnimationFrame* target, SpriteAnimationProperties& current)
{
    if (target == nullptr)
        return;
    Float32 steps = 0;
    if (animator_ != nullptr && animator_->GetDuration() > 0)
        steps = Float32(animator_->GetDuration() * 60.0);
    else if (animator_ != nullptr)
        steps = Float32(animator_->GetSpeed());
    // A speed of 0 (or less) gives no step count: the target is reached in
    // one step rather than by dividing by zero.
    if (!(steps >= 1))
        steps = 1;
    const SpriteAnimationProperties& from = properties_;
    const SpriteAnimationProperties& to = target->properties_;
    if (from.animateFilterTime)
        current.filterTime = StepByLargerEnd(from.filterTime, to.filterTime, current.filterTime, steps, false);
    if (from.animateSize) {
        current.size.width = StepByLargerEnd(from.size.width, to.size.width, current.size.width, steps, false);
        current.size.height = StepByLargerEnd(from.size.height, to.size.height, current.size.height, steps, false);
    }
    if (from.animateRotation)
        current.rotation = StepByLargerEnd(from.rotation, to.rotation, current.rotation, steps, true);
    if (from.animateLocation) {
        current.location.x = StepLinearly(from.location.x, to.location.x, current.location.x, steps);
        current.location.y = StepLinearly(from.location.y, to.location.y, current.location.y, steps);
    }
    if (from.animateOpacity)
        current.opacity = StepByLargerEnd(from.opacity, to.opacity, current.opacity, steps, false);
}

// ---- the animator ----

void TSpriteAnimator::Initialize()
{
    Inherited::Initialize();
    if (frames_ == nullptr)
        frames_ = TObjectArray::Create();
}

void TSpriteAnimator::Deallocate()
{
    if (countedForQuartzGL_) {
        countedForQuartzGL_ = false;
        if (--GlobalAnimationCount <= 0) {
            GlobalAnimationCount = 0;
            if (gQuartzGLWindow != nullptr && IsValidWindowPtr(gQuartzGLWindow))
                HIWindowSetBackingLocation(gQuartzGLWindow, kHIWindowBackingLocationDefault);
            gQuartzGLWindow = nullptr;
        }
    }
    ReleaseObject(sprite_);
    if (filteredImage_ != nullptr)
        filteredImage_->release();
    filteredImage_ = nullptr;
    ReleaseObject(frames_);
    TTimer::Terminate(timer_);
    Inherited::Deallocate();
}

void TSpriteAnimator::AppendFrame(TSpriteAnimationFrame* frame)
{
    if (frame == nullptr)
        return;
    frame->SetAnimator(this);
    frames_->AppendValue(frame);
}

void TSpriteAnimator::ReverseFrames()
{
    frames_->Reverse();
}

TSpriteAnimationFrame* TSpriteAnimator::GetFrame(SInt32 index) const
{
    return static_cast<TSpriteAnimationFrame*>(frames_->GetValue(index));
}

void TSpriteAnimator::Start(TSprite* sprite)
{
    if (sprite == nullptr)
        return;
    RetainObject(sprite_, sprite);
    sprite->SetAnimator(this);
    startAlpha_ = sprite->GetAlpha();
    startRotation_ = sprite->GetRotation();
    startFrame_ = sprite->GetFrame();
    if (frames_->Count() > 0)
        AdvanceFrame();
    if (timer_ == nullptr) {
        timer_ = TTimer::Create(0.0, kTickInterval, BRINDLET_METHOD(TSpriteAnimator, HandleTimerFired), this, nullptr);
        InvokeDelegate("TSpriteAnimation.Started", this);
    }
    if (enableQuartzGL_ && !countedForQuartzGL_) {
        countedForQuartzGL_ = true;
        if (++GlobalAnimationCount == 1) {
            TSpriteCanvasProtocol* canvas = sprite->GetCanvas();
            gQuartzGLWindow = canvas != nullptr ? canvas->GetWindow() : nullptr;
            if (gQuartzGLWindow != nullptr)
                HIWindowSetBackingLocation(gQuartzGLWindow, kHIWindowBackingLocationVideoMemory);
        }
    }
}

void TSpriteAnimator::Stop()
{
    if (timer_ == nullptr)
        return;
    // The ended action and the delegate may drop their last hold on us.
    Retain();
    if (sprite_ != nullptr) {
        sprite_->SetNeedsDisplay();
        if (sprite_->GetAnimator() == this)
            sprite_->SetAnimator(nullptr);
    }
    endedAction_.parameter = this;
    if (endedAction_.target != nullptr)
        InvokeAction(endedAction_);
    InvokeDelegate("TSpriteAnimation.Ended", this);
    TTimer::Terminate(timer_);
    // The reference the creator handed over with Start.
    Release();
    Release();
}

void TSpriteAnimator::HandleTimerFired(TTimer*)
{
    if (timer_ == nullptr)
        return;
    // Stopping releases the animator: it stays alive to the end of the tick.
    Retain();
    const double now = MicrosecondsNow();
    if (startTime_ == 0) {
        ticksThisSecond_ = 0;
        startTime_ = now;
        secondStart_ = now;
    }
    if (now - secondStart_ > kMicrosecondsPerSecond) {
        ticksThisSecond_ = 0;
        secondStart_ = now;
    }
    ++ticksThisSecond_;
    if (duration_ > 0 && now - startTime_ > duration_ * kMicrosecondsPerSecond) {
        TerminateFrame();
    } else {
        HandleProcessFrame();
        if (timer_ != nullptr) {
            InvokeDelegate("TSpriteAnimation.Animating", this);
            animatingAction_.parameter = this;
            if (animatingAction_.target != nullptr)
                InvokeAction(animatingAction_);
            if (sprite_ != nullptr)
                sprite_->SetNeedsDisplay();
        }
    }
    Release();
}

void TSpriteAnimator::HandleProcessFrame()
{
    TSpriteAnimationFrame* from = GetFrame(frameIndex_ - 1);
    TSpriteAnimationFrame* to = GetFrame(frameIndex_);
    // Fewer than two frames leave no pair to move between: the animation
    // ends at once instead of reading a frame that is not there.
    if (from == nullptr || to == nullptr) {
        Stop();
        return;
    }
    from->InterpolateProperties(to, current_);
    ApplyProperties(current_);
    if (duration_ <= 0 && IsFrameComplete(to))
        TerminateFrame();
}

bool TSpriteAnimator::IsFrameComplete(TSpriteAnimationFrame* frame)
{
    if (frame == nullptr)
        return true;
    const SpriteAnimationProperties target = frame->GetProperties();
    if (current_.animateFilterTime && current_.filterTime != target.filterTime)
        return false;
    if (current_.animateOpacity && current_.opacity != target.opacity)
        return false;
    if (current_.animateRotation && current_.rotation != target.rotation)
        return false;
    if (current_.animateLocation && !CGPointIsEqual(current_.location, target.location))
        return false;
    if (current_.animateSize && !CGSizeEqualToSize(current_.size, target.size))
        return false;
    return true;
}

void TSpriteAnimator::ApplyProperties(const SpriteAnimationProperties& properties)
{
    if (sprite_ == nullptr)
        return;
    if (properties.animateOpacity)
        sprite_->SetAlpha(properties.opacity);
    if (properties.animateRotation)
        sprite_->SetRotation(properties.rotation);
    if (properties.animateLocation)
        sprite_->SetLocation(properties.location);
    if (properties.animateSize)
        sprite_->SetSize(properties.size);
    CIFilter* filter = properties.filter;
    if (filter == nullptr)
        return;
    if (properties.animateFilterTime)
        filter->setValue(kCIInputTimeKey, double(properties.filterTime));
    // A tick's output goes with the tick, not with the loop's next pass:
    // 60 images a second would pile up behind a busy loop.
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    ApplyFilterOutput(filter->outputImage());
    pool->release();
}

void TSpriteAnimator::ApplyFilterOutput(CIImage* output)
{
    if (output == nullptr)
        return;
    CGImageRef image = sprite_->GetImage();
    const CGRect crop = CGRectMake(0, 0, image != nullptr ? CGFloat(CGImageGetWidth(image)) : 0,
                                   image != nullptr ? CGFloat(CGImageGetHeight(image)) : 0);
    if (filteredImage_ != nullptr)
        filteredImage_->release();
    filteredImage_ = nullptr;
    CIImage* cropped = CIImage::newWithQImage(output->pixelsInRect(crop), crop);
    filteredImage_ = NSBitmapImageRep::newWithCIImage(cropped);
    cropped->release();
    if (filteredImage_ != nullptr)
        sprite_->SetImage(filteredImage_->CGImage());
}

void TSpriteAnimator::TerminateFrame()
{
    switch (endMode_) {
    case kEndModeStop:
        Stop();
        break;
    case kEndModeLoop:
        if (frames_->Count() > 0) {
            ResetFrame();
            timer_->Reset();
        }
        break;
    case kEndModeBounce:
        if (frames_->Count() > 0) {
            ReverseFrames();
            ResetFrame();
            timer_->Reset();
        }
        break;
    default:
        break;
    }
}

void TSpriteAnimator::AdvanceFrame()
{
    if (TSpriteAnimationFrame* first = GetFrame(0))
        current_ = first->GetProperties();
    frameIndex_ = 1;
}

void TSpriteAnimator::ResetFrame()
{
    AdvanceFrame();
    // A timed frame that loops runs its whole duration again; otherwise the
    // first tick's time would end it again at every tick.
    startTime_ = 0;
}

void InitializeSCAnimationUnit()
{
    RegisterClass(TSpriteAnimationFrame::StaticClass());
    RegisterClass(TSpriteAnimator::StaticClass());
}
