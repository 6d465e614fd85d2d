#include "NSWindowController.h"

NSWindowController* NSWindowController::newWithWindow(NSWindow* window)
{
    return NewInitialized<NSWindowController>(window);
}

bool NSWindowController::initWithWindow(NSWindow* window)
{
    if (window) {
        window->retain();
        window->setDelegate(this);
    }
    window_ = window;
    return true;
}

NSWindowController::~NSWindowController()
{
    if (window_) {
        if (window_->delegate() == this)
            window_->setDelegate(nullptr);
        window_->release();
    }
}

void NSWindowController::showWindow(NSObject*)
{
    if (window_)
        window_->makeKeyAndOrderFront();
}

void NSWindowController::close()
{
    if (window_)
        window_->close();
}
