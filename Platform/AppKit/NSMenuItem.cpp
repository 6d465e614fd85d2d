#include "NSMenuItem.h"

#include <string>

namespace {

NSString* RetainedText(const NSString* text)
{
    return text ? static_cast<NSString*>(const_cast<NSString*>(text)->retain()) : NSString::newWithUTF8String("");
}

}  // namespace

NSMenuItem* NSMenuItem::newItem(const NSString* title, std::string_view action, const NSString* keyEquivalent)
{
    return new NSMenuItem(title, action, keyEquivalent);
}

NSMenuItem::NSMenuItem(const NSString* title, std::string_view action, const NSString* keyEquivalent)
    : title_(RetainedText(title)), keyEquivalent_(RetainedText(keyEquivalent)), action_(action)
{}

NSMenuItem::~NSMenuItem()
{
    title_->release();
    keyEquivalent_->release();
}

void NSMenuItem::setTitle(const NSString* title)
{
    NSString* old = title_;
    title_ = RetainedText(title);
    old->release();
}

void NSMenuItem::setKeyEquivalent(const NSString* key)
{
    NSString* old = keyEquivalent_;
    keyEquivalent_ = RetainedText(key);
    old->release();
}

NSString* NSMenuItem::description() const
{
    const std::string text = "<NSMenuItem: " + title_->UTF8String() + ", action " +
                             (action_.empty() ? std::string("(none)") : action_) + ">";
    return NSString::stringWithUTF8String(text.c_str());
}
