// Menu items of the Cocoa side: a title, an action sent to a target (see
// NSControl.h), a key equivalent and a state shown as a mark.
#pragma once

#include <AppKit/NSControl.h>
#include <Foundation/NSString.h>

#include <string>
#include <string_view>

class NSMenuItem : public NSObject {
public:
    // Owned by the caller; nil texts read as empty.
    static NSMenuItem* newItem(const NSString* title, std::string_view action, const NSString* keyEquivalent);

    // Borrowed for the life of the receiver (or until set again).
    NSString* title() const { return title_; }
    void setTitle(const NSString* title);
    NSString* keyEquivalent() const { return keyEquivalent_; }
    void setKeyEquivalent(const NSString* key);
    // Not retained, as a control's target.
    NSObject* target() const { return target_; }
    void setTarget(NSObject* target) { target_ = target; }
    const std::string& action() const { return action_; }
    void setAction(std::string_view action) { action_ = std::string(action); }
    NSControlStateValue state() const { return state_; }
    void setState(NSControlStateValue state) { state_ = state; }
    NSInteger tag() const { return tag_; }
    void setTag(NSInteger tag) { tag_ = tag; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

    const char* className() const override { return "NSMenuItem"; }
    NSString* description() const override;

private:
    NSMenuItem(const NSString* title, std::string_view action, const NSString* keyEquivalent);
    ~NSMenuItem() override;

    NSString* title_;          // retained
    NSString* keyEquivalent_;  // retained
    NSObject* target_ = nullptr;
    std::string action_;
    NSControlStateValue state_ = NSOffState;
    NSInteger tag_ = 0;
    bool enabled_ = true;
};
