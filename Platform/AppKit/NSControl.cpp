#include "NSControl.h"

namespace {

// The text retained, or a new empty one for nil: one reference either way.
NSString* RetainedText(const NSString* text)
{
    return text ? static_cast<NSString*>(const_cast<NSString*>(text)->retain()) : NSString::newWithUTF8String("");
}

}  // namespace

NSControl* NSControl::newControl(NSRect frame)
{
    return new NSControl(frame);
}

bool NSControl::sendAction(std::string_view action, NSObject* target)
{
    if (action.empty() || target == nullptr)
        return false;
    // The control stays while its action runs, whatever the action does
    // with it.
    retain();
    const bool sent = target->performSelector(action, this);
    release();
    return sent;
}

NSButton* NSButton::newButton(NSRect frame)
{
    return new NSButton(frame);
}

NSButton::NSButton(NSRect frame) : NSControl(frame), title_(RetainedText(nullptr)) {}

NSButton::~NSButton()
{
    title_->release();
}

void NSButton::setState(NSControlStateValue state)
{
    if (state == NSMixedState && !allowsMixedState_)
        state = NSOnState;
    else if (state != NSMixedState && state != NSOffState)
        state = NSOnState;
    if (state == state_)
        return;
    state_ = state;
    setNeedsDisplay(true);
}

void NSButton::setTitle(const NSString* title)
{
    NSString* old = title_;
    title_ = RetainedText(title);
    old->release();
    setNeedsDisplay(true);
}

void NSButton::performClick()
{
    if (!isEnabled())
        return;
    switch (type_) {
    case NSSwitchButton:
    case NSToggleButton:
    case NSPushOnPushOffButton:
    case NSOnOffButton:
        // Three states go on → off → mixed → on.
        if (state_ == NSOnState)
            setState(NSOffState);
        else if (state_ == NSOffState && allowsMixedState_)
            setState(NSMixedState);
        else
            setState(NSOnState);
        break;
    case NSRadioButton:
        setState(NSOnState);
        break;
    default:
        break;
    }
    sendAction();
}
