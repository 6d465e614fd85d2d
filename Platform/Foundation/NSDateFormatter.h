// Dates as text in the user's locale.
#pragma once

#include <Foundation/NSDate.h>

#include <string>

typedef enum : NSUInteger {
    NSDateFormatterNoStyle = 0,
    NSDateFormatterShortStyle = 1,
    NSDateFormatterMediumStyle = 2,
    NSDateFormatterLongStyle = 3,
    NSDateFormatterFullStyle = 4,
} NSDateFormatterStyle;

class NSDateFormatter : public NSObject {
public:
    static NSDateFormatter* newFormatter();
    static NSDateFormatter* dateFormatter();  // autoreleased

    void setDateStyle(NSDateFormatterStyle style) { dateStyle_ = style; }
    void setTimeStyle(NSDateFormatterStyle style) { timeStyle_ = style; }
    NSDateFormatterStyle dateStyle() const { return dateStyle_; }
    NSDateFormatterStyle timeStyle() const { return timeStyle_; }
    // With relative formatting, the date of yesterday, today and tomorrow
    // reads "Yesterday", "Today", "Tomorrow" (translated through the main
    // bundle's strings when it has them).
    void setDoesRelativeDateFormatting(bool relative) { relative_ = relative; }
    bool doesRelativeDateFormatting() const { return relative_; }
    // The zone dates are shown in; the default zone unless set.
    void setTimeZone(NSTimeZone* zone);
    // A locale by its name ("en_US", "de_DE"); the user's locale unless set.
    void setLocaleIdentifier(const char* identifier) { locale_ = identifier ? identifier : ""; }

    // Autoreleased; the empty text when both styles are NSDateFormatterNoStyle.
    NSString* stringFromDate(const NSDate* date) const;

    const char* className() const override { return "NSDateFormatter"; }
    bool respondsToSelector(std::string_view selector) const override;

private:
    NSDateFormatter() = default;
    ~NSDateFormatter() override;

    NSDateFormatterStyle dateStyle_ = NSDateFormatterNoStyle;
    NSDateFormatterStyle timeStyle_ = NSDateFormatterNoStyle;
    bool relative_ = false;
    NSTimeZone* timeZone_ = nullptr;  // retained; nil for the default zone
    std::string locale_;
};
