// Modal alerts: a message, an optional informative text below it, and
// buttons (the first is the default one). runModal answers which button
// was pressed, counting from NSAlertFirstButtonReturn.
//
// Without a widget application (a tool, a test without one) nothing can be
// shown: the message is written as a "Warning: " line through the
// diagnostics writer and the first button is answered. Tests drive alerts
// with an NSAlertScript, which records each alert and answers for the user.
#pragma once

#include <Foundation/NSString.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

class NSWindow;
class QMessageBox;
class QPushButton;

typedef NSInteger NSModalResponse;

enum : NSModalResponse {
    NSAlertFirstButtonReturn = 1000,
    NSAlertSecondButtonReturn = 1001,
    NSAlertThirdButtonReturn = 1002,
};

typedef enum : NSUInteger {
    NSAlertStyleWarning = 0,
    NSAlertStyleInformational = 1,
    NSAlertStyleCritical = 2,
} NSAlertStyle;

class NSAlert : public NSObject {
public:
    // An alert with no text and no buttons (runModal then shows "OK").
    // Owned by the caller.
    static NSAlert* newAlert();
    // The same, autoreleased.
    static NSAlert* alert();
    // An alert telling of a failure: the description as its message, the
    // reason (nil for none) below it, one "OK" button. Autoreleased.
    static NSAlert* alertWithError(const NSString* description, const NSString* reason);
    // An alert with the message and one "OK" button. Autoreleased.
    static NSAlert* alertWithMessage(const NSString* message);

    // Borrowed for the life of the receiver (or until set again).
    NSString* messageText() const { return messageText_; }
    void setMessageText(const NSString* text);
    NSString* informativeText() const { return informativeText_; }
    void setInformativeText(const NSString* text);
    NSAlertStyle alertStyle() const { return style_; }
    void setAlertStyle(NSAlertStyle style) { style_ = style; }

    // Buttons appear in the order they are added; the first is the default
    // button, one titled "Cancel" answers the Escape key.
    void addButtonWithTitle(const NSString* title);
    NSUInteger buttonCount() const { return buttonTitles_.size(); }
    NSString* buttonTitle(NSUInteger index) const;

    // Shows the alert and waits for a button.
    NSModalResponse runModal();
    // Shows the alert as a sheet on the window (modal to that window only)
    // and answers at once; `completion` (may be empty) gets the button once
    // the user chose one. The alert stays alive while its sheet is up. A
    // scripted alert is recorded and answered now, and a nil window (or
    // one without a widget) runs it as runModal does; either way the
    // completion runs on the next pass of the main loop.
    void beginSheetModalForWindow(NSWindow* window, std::function<void(NSModalResponse)> completion);

    const char* className() const override { return "NSAlert"; }

private:
    NSAlert();
    ~NSAlert() override;

    // The texts, icon and buttons of the alert on the box; answers the
    // buttons in order.
    std::vector<QPushButton*> SetUpBox(QMessageBox& box) const;
    static NSModalResponse ResponseOf(const QMessageBox& box, const std::vector<QPushButton*>& buttons);

    NSString* messageText_;                // retained
    NSString* informativeText_;            // retained
    std::vector<NSString*> buttonTitles_;  // retained
    NSAlertStyle style_ = NSAlertStyleWarning;
};

// While one exists (on the main thread), alerts are not shown: each one's
// texts are recorded and runModal answers the next queued response, or the
// first button when none is queued. Scripts nest; the innermost answers.
class NSAlertScript {
public:
    struct Alert {
        std::string messageText;
        std::string informativeText;
        std::vector<std::string> buttonTitles;
        NSAlertStyle style;
    };

    NSAlertScript();
    ~NSAlertScript();
    NSAlertScript(const NSAlertScript&) = delete;
    NSAlertScript& operator=(const NSAlertScript&) = delete;

    // The answer of the next alert that has none queued before it.
    void QueueResponse(NSModalResponse response) { responses_.push_back(response); }
    // The alerts run so far, oldest first.
    const std::vector<Alert>& Alerts() const { return alerts_; }

private:
    friend class NSAlert;
    NSAlertScript* outer_;
    std::deque<NSModalResponse> responses_;
    std::vector<Alert> alerts_;
};
