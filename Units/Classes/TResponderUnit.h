// Responders: objects that act on behalf of others and react to events.
// A responder has an action (a method by name, by code, or both) that it
// calls on a target, and it posts and observes named notifications: on the
// process's local center (TResponder), on the distributed center shared
// with the other program (TSystemResponder), or on a Cocoa center. Handlers
// are found by notification name in the responder's own table and receive
// the details as a TNotification (or the subclass the poster used).
#pragma once

#include <Units/Classes/TDictionaryUnit.h>
#include <Units/Classes/TObjectUnit.h>

#include <CoreFoundation/CFNotificationCenter.h>
#include <Foundation/NSNotification.h>

#include <map>
#include <set>
#include <string>
#include <vector>

// The details carried by a notification.
class TNotification : public TTypeDictionary {
    BRINDLET_CLASS(TNotification, TTypeDictionary)

public:
    static TNotification* Create() { return NewTable<TNotification>(); }
    static TNotification* Create(CFDictionaryRef dictionary) { return NewTable<TNotification>(dictionary); }

protected:
    TNotification() = default;
};

// One action apart from any responder, run later by InvokeAction.
struct ResponderActionInfo {
    TObject* target = nullptr;
    MethodCode code = nullptr;
    ShortString name;
    void* parameter = nullptr;
    SInt32 reserved = 0;
};

class TResponder : public TObject {
    BRINDLET_CLASS(TResponder, TObject)

public:
    static TResponder* Create() { return CreateInstance<TResponder>(); }

    void Initialize() override;
    void Deallocate() override;

    // Action and target (the target is not retained).
    void SetAction(const ShortString& name) { actionName_ = name; }
    void SetAction(MethodCode code) { actionCode_ = code; }
    void SetTarget(TObject* target) { target_ = target; }
    ShortString GetAction() const { return actionName_; }
    MethodCode GetActionCode() const { return actionCode_; }
    TObject* GetTarget() const { return target_; }
    bool IsActionValid() const;
    // Calls the action on the target: by name, then by code when both are set.
    void InvokeAction(void* param = nullptr);
    static void DefineAction(MethodCode code, TObject* target, ResponderActionInfo& info);
    static void InvokeAction(const ResponderActionInfo& info);

    // Posting on the local center. A TTypeDictionary of details gets the
    // name under "notification"; a TNotification also its class name, so
    // that observers receive the same class. The caller keeps the details.
    static void PostNotification(CFStringRef name, TDictionary* details);
    static void PostNotification(const ShortString& name, TDictionary* details = nullptr);

    // Observing: the first handler registered for a name stays.
    void ObserveNotification(const ShortString& name, MethodCode handler);
    void ObserveNotification(CFNotificationCenterRef center, const ShortString& name, MethodCode handler);
    void ObserveNotification(NSNotificationCenter* center, const ShortString& name, MethodCode handler);
    MethodCode GetNotificationHandler(const ShortString& name) const;
    // The center the responder observes and posts on by default.
    virtual CFNotificationCenterRef GetNotificationCenter() const { return notificationCenter_; }
    void SetNotificationCenter(CFNotificationCenterRef center) { notificationCenter_ = center; }
    // Hooks the library never calls; subclasses may.
    virtual void HandleNotification(const ShortString&, TDictionary*) {}
    virtual void HandleNotification(const ShortString&, void*, TDictionary*) {}
    // Ends every registration on the responder's own center.
    virtual void RemoveObservedNotifications();
    // Ends every Cocoa registration.
    void RemoveNSNotifications();

protected:
    TResponder() = default;

    // Writes an action diagnostic: always in the helper's build of the
    // units, otherwise only when the object warns of missing methods.
    void WarnAboutAction(const char* text, bool always);

private:
    friend void NotificationToMethodCallback(CFNotificationCenterRef, void*, CFStringRef, const void*, CFDictionaryRef);

    std::map<std::string, MethodCode> handlers_;
    // Cocoa names observed, with the center each was observed on.
    std::map<std::string, NSNotificationCenter*> cocoaRegistrations_;
    ShortString actionName_;
    MethodCode actionCode_ = nullptr;
    TObject* target_ = nullptr;
    CFNotificationCenterRef notificationCenter_ = nullptr;
    bool observing_ = false;
    // The names registered on each Core Foundation center (once each: a
    // second observation of a name must not bring a second delivery), so
    // that a freed responder is removed from every center that could call it.
    std::map<CFNotificationCenterRef, std::set<std::string>> registrations_;
};

// A responder of the distributed center: what it posts reaches the other
// program too.
class TSystemResponder : public TResponder {
    BRINDLET_CLASS(TSystemResponder, TResponder)

public:
    static TSystemResponder* Create() { return CreateInstance<TSystemResponder>(); }
    CFNotificationCenterRef GetNotificationCenter() const override;

    // Posting on the distributed center; only property-list values travel.
    static void PostNotification(CFStringRef name, TTypeDictionary* details);
    static void PostNotification(const ShortString& name, TTypeDictionary* details = nullptr);

protected:
    TSystemResponder() = default;
};

// The delivery of a Core Foundation center to a responder's handler.
void NotificationToMethodCallback(CFNotificationCenterRef center, void* observer, CFStringRef name, const void* object,
                                  CFDictionaryRef userInfo);

// The bridge through which responders observe Cocoa notification centers.
namespace TNSNotificationCenter {

// Registers the handler of `target` for the name; the first observation of
// a name registers the bridge with `center` (the default center for nil).
void ObserverNotification(NSNotificationCenter* center, const ShortString& name, TObject* target, MethodCode action);
// Ends every registration of `target` for the name.
void RemoveObserver(NSNotificationCenter* center, const ShortString& name, TObject* target);
// Calls each registered handler of the notification's name with a new
// TDictionary of its user info (an empty one when it has none).
void dispatch(NSNotification* notification);

}  // namespace TNSNotificationCenter

void InitializeTResponderUnit();
