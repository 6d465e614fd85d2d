// User notifications: an alert made from a dictionary (header, message, up
// to three button titles, an icon) that is shown as soon as it is created;
// the program asks for the answer when it is ready to wait for it.
//
// The alert is a message box of the widget application. From its creation
// until it is answered (or cancelled, or released) it is modal, and the
// program waits as in any modal alert (AppKit/ModalHold.h): the main loop's
// timers hold, and distributed notifications are kept until it closes.
//
// Without a widget application nothing can be shown: the header and message
// are written as a "Warning: " line through the diagnostics writer and the
// alert is answered at once as taken down unanswered
// (kCFUserNotificationCancelResponse): nobody chose a button. Tests drive
// alerts with a CFUserNotificationScript, which records each alert and
// answers for the user.
#pragma once

#include <CoreFoundation/CFDate.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

typedef struct CFUserNotificationObject* CFUserNotificationRef;

// The alert level: the low two bits of the flags.
enum : CFOptionFlags {
    kCFUserNotificationStopAlertLevel = 0,
    kCFUserNotificationNoteAlertLevel = 1,
    kCFUserNotificationCautionAlertLevel = 2,
    kCFUserNotificationPlainAlertLevel = 3,
};

// Which button answered: the low two bits of the response flags.
enum : CFOptionFlags {
    kCFUserNotificationDefaultResponse = 0,
    kCFUserNotificationAlternateResponse = 1,
    kCFUserNotificationOtherResponse = 2,
    kCFUserNotificationCancelResponse = 3,
};

// Option flags. With no default button, Return presses none of them.
enum : CFOptionFlags {
    kCFUserNotificationNoDefaultButtonFlag = 1 << 5,
};

// Keys of the alert dictionary. Values of another type than the one named
// are passed over.
extern const CFStringRef kCFUserNotificationIconURLKey;             // CFURL of an image file
extern const CFStringRef kCFUserNotificationAlertHeaderKey;         // CFString
extern const CFStringRef kCFUserNotificationAlertMessageKey;        // CFString
extern const CFStringRef kCFUserNotificationDefaultButtonTitleKey;  // CFString; "OK" when absent
extern const CFStringRef kCFUserNotificationAlternateButtonTitleKey;
extern const CFStringRef kCFUserNotificationOtherButtonTitleKey;

// The answer of CFUserNotificationReceiveResponse when the time ran out.
inline constexpr SInt32 kCFUserNotificationTimedOutErr = -1;

CFTypeID CFUserNotificationGetTypeID();

// Shows the alert at once and answers it (owned by the caller: releasing it
// takes a pending alert down). `timeout` seconds after creation an alert
// nobody answered is cancelled (0: never). `error` (may be nil) gets 0; nil
// and an error of -50 when `dictionary` is not a dictionary.
CFUserNotificationRef CFUserNotificationCreate(CFAllocatorRef allocator, CFTimeInterval timeout, CFOptionFlags flags,
                                               SInt32* error, CFDictionaryRef dictionary);
// Waits for the answer: at most `timeout` seconds, without limit for 0. 0
// with the response flags in `responseFlags` (may be nil) once answered,
// also when the answer came before the call; kCFUserNotificationTimedOutErr
// with `responseFlags` untouched when the time ran out (the alert stays up);
// -50 for a value that is not a user notification.
SInt32 CFUserNotificationReceiveResponse(CFUserNotificationRef userNotification, CFTimeInterval timeout,
                                         CFOptionFlags* responseFlags);
// Takes the alert down; its answer is kCFUserNotificationCancelResponse.
// 0, or -50 for a value that is not a user notification.
SInt32 CFUserNotificationCancel(CFUserNotificationRef userNotification);

// Shows an alert from its parts and waits for the answer, which goes to
// `responseFlags` when that is not nil (an alert here holds the program while
// it is up, so there is nothing to gain by leaving it up unwatched). Nil
// titles are left out (the default button reads "OK"); the sound and
// localization URLs are not used. Answers as CFUserNotificationReceiveResponse.
SInt32 CFUserNotificationDisplayAlert(CFTimeInterval timeout, CFOptionFlags flags, CFURLRef iconURL, CFURLRef soundURL,
                                      CFURLRef localizationURL, CFStringRef alertHeader, CFStringRef alertMessage,
                                      CFStringRef defaultButtonTitle, CFStringRef alternateButtonTitle,
                                      CFStringRef otherButtonTitle, CFOptionFlags* responseFlags);

// While one exists (on the main thread), user notifications are not shown:
// each one's contents are recorded, and it is answered with the next queued
// response, or the default button when none is queued: when its response is
// asked for, or on the next pass of the main loop if nobody asks before. The
// action given to WhileShown runs just before the answer, with the alert
// still up and the program held. Scripts nest; the innermost answers.
class CFUserNotificationScript {
public:
    struct Alert {
        std::string header;
        std::string message;
        std::string defaultButton;  // empty when the dictionary has none
        std::string alternateButton;
        std::string otherButton;
        std::string iconPath;  // the icon URL's file path, empty for none
        CFOptionFlags flags;
    };

    CFUserNotificationScript();
    ~CFUserNotificationScript();
    CFUserNotificationScript(const CFUserNotificationScript&) = delete;
    CFUserNotificationScript& operator=(const CFUserNotificationScript&) = delete;

    // The response flags of the next alert that has none queued before it.
    void QueueResponse(CFOptionFlags response) { responses_.push_back(response); }
    // Runs in every wait for an answer, with the alert up.
    void WhileShown(std::function<void()> action) { whileShown_ = std::move(action); }
    // The alerts created so far, oldest first.
    const std::vector<Alert>& Alerts() const { return alerts_; }

private:
    friend struct CFUserNotificationObject;
    CFUserNotificationScript* outer_;
    std::deque<CFOptionFlags> responses_;
    std::function<void()> whileShown_;
    bool runningWhileShown_ = false;
    std::vector<Alert> alerts_;
};
