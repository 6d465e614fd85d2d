// Controls: views that send an action to a target when the user works
// them. An action is a selector name; sending it runs the method added for
// that selector to the target's class (NSObjectAddMethod), with the control
// as the argument.
#pragma once

#include <AppKit/NSView.h>

#include <string>
#include <string_view>

// The states of buttons and menu items.
typedef NSInteger NSControlStateValue;
enum : NSControlStateValue {
    NSMixedState = -1,
    NSOffState = 0,
    NSOnState = 1,
};

class NSControl : public NSView {
public:
    // Owned by the caller.
    static NSControl* newControl(NSRect frame);

    // Not retained: the target must outlive its use here, as on the
    // platform.
    NSObject* target() const { return target_; }
    void setTarget(NSObject* target) { target_ = target; }
    // The selector name; empty for none.
    const std::string& action() const { return action_; }
    void setAction(std::string_view action) { action_ = std::string(action); }
    NSInteger tag() const override { return tag_; }
    void setTag(NSInteger tag) { tag_ = tag; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

    // Sends `action` to `target` with the control as the sender: false when
    // either is missing or the target has no method for the action.
    bool sendAction(std::string_view action, NSObject* target);
    // The control's own action to its own target.
    bool sendAction() { return sendAction(action_, target_); }

    const char* className() const override { return "NSControl"; }

protected:
    explicit NSControl(NSRect frame) : NSView(frame) {}

private:
    NSObject* target_ = nullptr;
    std::string action_;
    NSInteger tag_ = 0;
    bool enabled_ = true;
};

typedef enum : NSUInteger {
    NSMomentaryLightButton = 0,
    NSPushOnPushOffButton = 1,
    NSToggleButton = 2,
    NSSwitchButton = 3,
    NSRadioButton = 4,
    NSMomentaryChangeButton = 5,
    NSOnOffButton = 6,
    NSMomentaryPushInButton = 7,
} NSButtonType;

class NSButton : public NSControl {
public:
    // A momentary push button with no title. Owned by the caller.
    static NSButton* newButton(NSRect frame);

    NSControlStateValue state() const { return state_; }
    // Mixed is kept only when the button allows it; otherwise it reads as on.
    void setState(NSControlStateValue state);
    bool allowsMixedState() const { return allowsMixedState_; }
    void setAllowsMixedState(bool flag) { allowsMixedState_ = flag; }
    NSButtonType buttonType() const { return type_; }
    void setButtonType(NSButtonType type) { type_ = type; }
    // Borrowed for the life of the receiver (or until set again).
    NSString* title() const { return title_; }
    void setTitle(const NSString* title);

    // What a click does: nothing when disabled; otherwise a switch, toggle
    // or push-on-push-off button changes its state (on → off → on, or with
    // the mixed state on → off → mixed → on; a radio button turns on), then
    // the action is sent.
    void performClick();

    const char* className() const override { return "NSButton"; }

protected:
    explicit NSButton(NSRect frame);
    ~NSButton() override;

private:
    NSControlStateValue state_ = NSOffState;
    bool allowsMixedState_ = false;
    NSButtonType type_ = NSMomentaryPushInButton;
    NSString* title_;  // retained
};
