// Animations of window properties: a window's animator sets a property
// over time, by the animation the window keeps for that property's key
// (NSWindow::setAnimations), and tells the animation's delegate when it is
// over. Animations run on the main event loop's timers (1/60 s), so they
// follow the injectable clock and advance only while the loop runs.
#pragma once

#include <Foundation/NSObject.h>

class CAAnimation;

// Told when an animation stops: `finished` is false when another animation
// of the same property took its place first.
class CAAnimationDelegate {
public:
    virtual void animationDidStop(CAAnimation* animation, bool finished) = 0;

protected:
    ~CAAnimationDelegate() = default;
};

class CAAnimation : public NSObject {
public:
    // Seconds; 0.25 unless set. Zero or less: the end at the next tick.
    NSTimeInterval duration() const { return duration_; }
    void setDuration(NSTimeInterval duration) { duration_ = duration; }
    // Not retained: the delegate outlives the animations it set up (a
    // controller owns its window, which owns the animation).
    CAAnimationDelegate* delegate() const { return delegate_; }
    void setDelegate(CAAnimationDelegate* delegate) { delegate_ = delegate; }

    const char* className() const override { return "CAAnimation"; }

protected:
    CAAnimation() = default;

private:
    NSTimeInterval duration_ = 0.25;
    CAAnimationDelegate* delegate_ = nullptr;
};

// From the property's value now to the value set, evenly.
class CABasicAnimation : public CAAnimation {
public:
    // Autoreleased.
    static CABasicAnimation* animation();
    // Owned by the caller.
    static CABasicAnimation* newAnimation();

    const char* className() const override { return "CABasicAnimation"; }

private:
    CABasicAnimation() = default;
};
