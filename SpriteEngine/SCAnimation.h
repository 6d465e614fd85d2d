// Key-frame animation of one sprite: opacity, size, location, rotation and
// the time input of a Core Image filter move step by step, once every
// 1/60 s, from the first key frame towards the second.
//
// Ownership: the creator makes the animator, appends at least two frames
// and starts it. A started animator releases itself when it stops, so the
// creator does not release it after Start.
#pragma once

#include <SpriteEngine/SCGlobals.h>

#include <Units/Classes/TArrayUnit.h>
#include <Units/Classes/TTimerUnit.h>

#include <CoreImage/CIFilter.h>

class TSprite;
class TSpriteAnimator;

// The values of one key frame, copied by value.
struct SpriteAnimationProperties {
    Float32 opacity = 0;
    CGPoint location = {0, 0};
    CGSize size = {0, 0};
    Float32 reservedSingle[2] = {0, 0};
    Float32 rotation = 0;  // degrees
    bool animateOpacity = false;
    bool animateSize = false;
    bool animateLocation = false;
    bool reservedFlag = false;
    bool animateRotation = false;
    // Its output replaces the sprite's image; not retained by the record.
    CIFilter* filter = nullptr;
    Float32 filterTime = 0;
    SInt32 reservedWord[2] = {0, 0};
    bool animateFilterTime = false;
};

class TSpriteAnimationFrame : public TObject {
    BRINDLET_CLASS(TSpriteAnimationFrame, TObject)

public:
    static TSpriteAnimationFrame* Create() { return CreateInstance<TSpriteAnimationFrame>(); }

    void Deallocate() override;

    // Each stores the value and marks it animated.
    void SetOpacity(Float32 opacity);
    void SetSize(CGSize size);
    void SetLocation(CGPoint location);
    void SetRotation(Float32 degrees);
    void SetFilterTime(Float32 time);
    // Retained here; the record holds the same filter.
    void SetFilter(CIFilter* filter);
    CIFilter* GetFilter() const { return filter_; }
    void SetAnimator(TSpriteAnimator* animator) { animator_ = animator; }
    TSpriteAnimator* GetAnimator() const { return animator_; }
    SpriteAnimationProperties GetProperties() const { return properties_; }

    // "Opacity: ", "Size: " and "Origin: " lines on standard output.
    void Show() override;
    // One step from this frame towards `target`, applied to `current`.
    void InterpolateProperties(TSpriteAnimationFrame* target, SpriteAnimationProperties& current);

protected:
    TSpriteAnimationFrame() = default;

private:
    TSpriteAnimator* animator_ = nullptr;  // not retained
    SpriteAnimationProperties properties_;
    CIFilter* filter_ = nullptr;  // retained
};

class TSpriteAnimator : public TSpriteAnimatorProtocol {
    BRINDLET_CLASS(TSpriteAnimator, TSpriteAnimatorProtocol)

public:
    // What happens when a key frame is reached.
    enum EndMode : SInt32 { kEndModeStop = 0, kEndModeLoop = 1, kEndModeBounce = 2 };

    static TSpriteAnimator* Create() { return CreateInstance<TSpriteAnimator>(); }

    void Initialize() override;
    void Deallocate() override;

    // Appends the frame (retained) and makes it the animator's.
    void AppendFrame(TSpriteAnimationFrame* frame);
    void ReverseFrames();
    SInt32 CountFrames() const { return frames_->Count(); }
    TSpriteAnimationFrame* GetFrame(SInt32 index) const;

    // Ticks per key frame, used while the duration is 0.
    void SetSpeed(SInt32 speed) { speed_ = speed; }
    SInt32 GetSpeed() const { return speed_; }
    double GetDuration() const { return duration_; }
    SInt32 GetEndMode() const { return endMode_; }
    void SetEnableQuartzGL(bool enable) { enableQuartzGL_ = enable; }
    // Run when the animation stops, with the animator as parameter.
    void SetEndedAction(const ResponderActionInfo& info) { endedAction_ = info; }
    // Run after every tick, with the animator as parameter.
    void SetAnimatingAction(const ResponderActionInfo& info) { animatingAction_ = info; }

    // Links the animator to the sprite (stopping another one running
    // there) and starts the 1/60 s tick.
    virtual void Start(TSprite* sprite);
    // Unlinks the sprite, runs the ended action, tells the delegate, ends
    // the tick and releases the animator; nothing when not running.
    void Stop() override;
    bool IsRunning() const { return timer_ != nullptr; }

    TSprite* GetSprite() const { return sprite_; }
    SpriteAnimationProperties GetCurrentProperties() const { return current_; }
    SInt32 GetFrameIndex() const { return frameIndex_; }
    SInt32 GetTicksThisSecond() const { return ticksThisSecond_; }

    // The steps of a tick.
    void HandleTimerFired(TTimer* timer);
    virtual void HandleProcessFrame();
    bool IsFrameComplete(TSpriteAnimationFrame* frame);
    void ApplyProperties(const SpriteAnimationProperties& properties);
    void TerminateFrame();
    void AdvanceFrame();
    void ResetFrame();

    // Started animators with QuartzGL on; the window's backing store is in
    // video memory while it is above 0.
    static SInt32 GlobalAnimationCount;

protected:
    TSpriteAnimator() = default;

    // Neither has a setter of its own; subclasses may set them before Start.
    SInt32 endMode_ = kEndModeStop;
    double duration_ = 0;

private:
    // The filter's image, cropped to the sprite's image, becomes the
    // sprite's image.
    void ApplyFilterOutput(CIImage* output);

    TSprite* sprite_ = nullptr;  // retained
    TTimer* timer_ = nullptr;
    TObjectArray* frames_ = nullptr;
    SInt32 frameIndex_ = 0;
    SInt32 speed_ = 0;
    SpriteAnimationProperties current_;
    double startTime_ = 0;    // microseconds of the first tick
    double secondStart_ = 0;  // microseconds
    SInt32 ticksThisSecond_ = 0;
    Float32 startAlpha_ = 0;
    CGRect startFrame_ = CGRectZero;
    Float32 startRotation_ = 0;
    NSBitmapImageRep* filteredImage_ = nullptr;  // owned
    ResponderActionInfo endedAction_;
    ResponderActionInfo animatingAction_;
    bool enableQuartzGL_ = false;
    // Whether this animator is one of GlobalAnimationCount (once, however
    // often it is started).
    bool countedForQuartzGL_ = false;
};

void InitializeSCAnimationUnit();
