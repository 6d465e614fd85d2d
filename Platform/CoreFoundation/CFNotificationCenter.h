// Notification centers. The local center delivers within the process,
// synchronously, before Post returns. The distributed center carries
// notifications between processes of the same user on the D-Bus session
// bus: every process observing a name receives it through its main event
// loop, the sender included; only property-list values travel.
//
// On the bus a notification is one broadcast signal: path
// /org/brindlet/Notifications, interface org.brindlet.Notifications, member
// Posted, arguments (name: s, object: s, empty for none, user info: ay, an
// XML property list, empty for none). User info above 1 MB is not sent, and
// whatever arrives that is not of this form is dropped with a diagnostic
// line. Posting needs no QCoreApplication; observers are called on the main
// thread from its loop, so what arrives before the application's loop runs
// waits for it. Without a session bus the distributed center posts and
// delivers nothing, and says so once per process.
#pragma once

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFDictionary.h>

typedef struct CFNotificationCenterObject* CFNotificationCenterRef;

typedef void (*CFNotificationCallback)(CFNotificationCenterRef center, void* observer, CFStringRef name,
                                       const void* object, CFDictionaryRef userInfo);

typedef CFIndex CFNotificationSuspensionBehavior;
enum : CFNotificationSuspensionBehavior {
    CFNotificationSuspensionBehaviorDrop = 1,
    CFNotificationSuspensionBehaviorCoalesce = 2,
    CFNotificationSuspensionBehaviorHold = 3,
    CFNotificationSuspensionBehaviorDeliverImmediately = 4,
};

CFTypeID CFNotificationCenterGetTypeID();
CFNotificationCenterRef CFNotificationCenterGetLocalCenter();
CFNotificationCenterRef CFNotificationCenterGetDistributedCenter();

// Registers `callBack` for `observer` for notifications named `name` (nil:
// every name) posted with `object` (nil: any object). On the distributed
// center `object` is compared as a string.
void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer,
                                     CFNotificationCallback callBack, CFStringRef name, const void* object,
                                     CFNotificationSuspensionBehavior suspensionBehavior);
// Removes the observer's registrations for `name` (nil: every name) and
// `object` (nil: any object). An observer removed while a notification is
// being delivered receives nothing more of it.
void CFNotificationCenterRemoveObserver(CFNotificationCenterRef center, const void* observer, CFStringRef name,
                                        const void* object);
void CFNotificationCenterRemoveEveryObserver(CFNotificationCenterRef center, const void* observer);
// On the local center every matching observer is called before this
// returns; on the distributed center `userInfo` must be a property list (a
// value of another kind is refused with a diagnostic line) and `object` a
// string or nil.
void CFNotificationCenterPostNotification(CFNotificationCenterRef center, CFStringRef name, const void* object,
                                          CFDictionaryRef userInfo, Boolean deliverImmediately);

// Our own additions, for the main thread. While the count is above zero (a
// modal alert waiting for the user) distributed notifications that arrive
// wait instead of being delivered; once it is back to zero they are
// delivered on the next pass of the main loop, in the order they came, to
// the observers that were registered when they arrived and are still
// registered then. Notifications that arrive before the held ones are out
// wait behind them. An unmatched resume is ignored. The local center is
// never held: its posts are the poster's own synchronous calls.
void CFNotificationCenterHoldDistributedDelivery();
void CFNotificationCenterResumeDistributedDelivery();
