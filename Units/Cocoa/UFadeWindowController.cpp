#include "UFadeWindowController.h"

NSFadeWindowController* NSFadeWindowController::newWithWindow(NSWindow* window)
{
    return NewInitialized<NSFadeWindowController>(window);
}

NSFadeWindowController::~NSFadeWindowController()
{
    // The window may outlive its controller: its fade no longer reports here.
    if (NSWindow* window = this->window()) {
        CAAnimation* fade = window->animationForKey("alphaValue");
        if (fade != nullptr && fade->delegate() == this)
            fade->setDelegate(nullptr);
    }
}

bool NSFadeWindowController::initWithWindow(NSWindow* window)
{
    if (!NSWindowController::initWithWindow(window))
        return false;
    setup();
    return true;
}

void NSFadeWindowController::awakeFromNib()
{
    NSWindowController::awakeFromNib();
    setup();
}

void NSFadeWindowController::setup()
{
    NSWindow* window = this->window();
    if (window == nullptr)
        return;
    CABasicAnimation* animation = CABasicAnimation::animation();
    animation->setDelegate(this);
    window->setAnimations({{"alphaValue", animation}});
    window->setAlphaValue(0);
    window->animator()->orderFront();
}

void NSFadeWindowController::showWindow(NSObject* sender)
{
    if (NSWindow* window = this->window()) {
        window->setAlphaValue(0);
        window->animator()->setAlphaValue(1);
    }
    NSWindowController::showWindow(sender);
}

void NSFadeWindowController::close()
{
    NSWindow* window = this->window();
    if (window != nullptr && window->alphaValue() > 0)
        window->animator()->setAlphaValue(0);
    else
        NSWindowController::close();
}

bool NSFadeWindowController::windowShouldClose(NSWindow* sender)
{
    sender->animator()->setAlphaValue(0);
    return false;
}

void NSFadeWindowController::animationDidStop(CAAnimation*, bool finished)
{
    // Only a fade that ended at clear closes: one cut short (a show while
    // fading out starts from clear too) leaves the window to what follows.
    NSWindow* window = this->window();
    if (finished && window != nullptr && window->alphaValue() <= 0)
        close();
}
