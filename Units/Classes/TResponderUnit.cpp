#include "TResponderUnit.h"

#include <Units/RuntimeProfile.h>
#include <Units/Utilities/CFUtilities.h>

#include <CoreFoundation/CFRef.h>
#include <Support/Diagnostics.h>

#include <algorithm>
#include <utility>

namespace {

const char kClassNameKey[] = "com.theorvandel.TResponder.notificationKey";

// The details object a handler receives: an instance of the class the
// poster named, when that is a TNotification, otherwise a TNotification.
TDictionary* MakeDetails(CFDictionaryRef userInfo)
{
    if (userInfo == nullptr || CFGetTypeID(userInfo) != CFDictionaryGetTypeID())
        return nullptr;
    const ClassInfo* detailsClass = &TNotification::StaticClass();
    CFTypeRef className = CFDictionaryGetValue(userInfo, CFSTR(kClassNameKey));
    if (className != nullptr && CFGetTypeID(className) == CFStringGetTypeID()) {
        const ShortString name = CFStringToPascal(static_cast<CFStringRef>(className));
        if (const ClassInfo* named = FindClass(name)) {
            if (named->InheritsFrom(TNotification::StaticClass()))
                detailsClass = named;
            else
                Diagnostics::WriteLine("Warning: The notification details name the class " + name.ToString() +
                                       ", which is not a TNotification.");
        }
    }
    auto* details = static_cast<TDictionary*>(detailsClass->allocate());
    details->InitializeWithDictionary(userInfo);
    return details;
}

void Post(CFNotificationCenterRef center, CFStringRef name, TDictionary* details)
{
    if (details != nullptr) {
        if (MemberOfClass(details, TTypeDictionary::StaticClass()))
            details->SetValue("notification", name);
        if (MemberOfClass(details, TNotification::StaticClass()))
            static_cast<TTypeDictionary*>(details)->SetStringValue(kClassNameKey, details->ClassName());
    }
    CFNotificationCenterPostNotification(center, name, nullptr, details ? details->CFType() : nullptr, true);
}

}  // namespace

BRINDLET_DEFINE_CLASS(TNotification, TTypeDictionary)
BRINDLET_DEFINE_CLASS(TResponder, TObject)
BRINDLET_DEFINE_CLASS(TSystemResponder, TResponder)

// ---- life cycle ----

void TResponder::Initialize()
{
    Inherited::Initialize();
    notificationCenter_ = CFNotificationCenterGetLocalCenter();
}

void TResponder::Deallocate()
{
    handlers_.clear();
    if (!cocoaRegistrations_.empty())
        RemoveNSNotifications();
    if (observing_)
        RemoveObservedNotifications();
    // Centers other than the responder's own must not call it once it is gone.
    for (const auto& [center, names] : registrations_)
        CFNotificationCenterRemoveEveryObserver(center, this);
    registrations_.clear();
    Inherited::Deallocate();
}

// ---- action and target ----

bool TResponder::IsActionValid() const
{
    return target_ != nullptr && (!actionName_.IsEmpty() || actionCode_ != nullptr);
}

void TResponder::WarnAboutAction(const char* text, bool always)
{
    if (always || WarnsMissingMethods() || IsHelperProfile())
        Diagnostics::WriteLine(std::string(text) + ClassName());
}

void TResponder::InvokeAction(void* param)
{
    if (target_ != nullptr) {
        if (!actionName_.IsEmpty())
            target_->InvokeMethod(actionName_, param);
        if (actionCode_ != nullptr)
            target_->InvokeMethod(actionCode_, param);
        if (actionName_.IsEmpty() && actionCode_ == nullptr)
            WarnAboutAction("Warning: There is no action specified for ", false);
        return;
    }
    if (!actionName_.IsEmpty())
        WarnAboutAction("Warning: There is no target specified for ", true);
    else if (actionCode_ != nullptr)
        WarnAboutAction("Warning: There is no target specified for ", false);
}

void TResponder::DefineAction(MethodCode code, TObject* target, ResponderActionInfo& info)
{
    info = ResponderActionInfo{};
    info.code = code;
    info.target = target;
}

void TResponder::InvokeAction(const ResponderActionInfo& info)
{
    if (info.target == nullptr) {
        if (IsHelperProfile())
            Diagnostics::WriteLine("Warning: The action does not have a valid target");
        return;
    }
    if (info.code != nullptr)
        info.target->InvokeMethod(info.code, info.parameter);
    else
        info.target->InvokeMethod(info.name, info.parameter);
}

// ---- notifications ----

void TResponder::PostNotification(CFStringRef name, TDictionary* details)
{
    Post(CFNotificationCenterGetLocalCenter(), name, details);
}

void TResponder::PostNotification(const ShortString& name, TDictionary* details)
{
    PostNotification(CFSTR(name), details);
}

void TResponder::ObserveNotification(const ShortString& name, MethodCode handler)
{
    ObserveNotification(GetNotificationCenter(), name, handler);
}

void TResponder::ObserveNotification(CFNotificationCenterRef center, const ShortString& name, MethodCode handler)
{
    handlers_.emplace(name.ToString(), handler);  // the first handler of a name stays
    observing_ = true;
    if (registrations_[center].insert(name.ToString()).second)
        CFNotificationCenterAddObserver(center, this, NotificationToMethodCallback, CFSTR(name), nullptr,
                                        CFNotificationSuspensionBehaviorDrop);
}

void TResponder::ObserveNotification(NSNotificationCenter* center, const ShortString& name, MethodCode handler)
{
    cocoaRegistrations_[name.ToString()] = center;  // a later observation of a name replaces the center
    TNSNotificationCenter::ObserverNotification(center, name, this, handler);
}

MethodCode TResponder::GetNotificationHandler(const ShortString& name) const
{
    auto it = handlers_.find(name.ToString());
    return it == handlers_.end() ? nullptr : it->second;
}

void TResponder::RemoveObservedNotifications()
{
    CFNotificationCenterRemoveEveryObserver(GetNotificationCenter(), this);
    registrations_.erase(GetNotificationCenter());
}

void TResponder::RemoveNSNotifications()
{
    for (const auto& [name, center] : cocoaRegistrations_)
        TNSNotificationCenter::RemoveObserver(center, ShortString(name), this);
    cocoaRegistrations_.clear();
}

void NotificationToMethodCallback(CFNotificationCenterRef, void* observer, CFStringRef name, const void*,
                                  CFDictionaryRef userInfo)
{
    auto* responder = static_cast<TResponder*>(observer);
    if (!TObject::IsLiveObject(responder))
        return;
    TDictionary* details = MakeDetails(userInfo);
    const ShortString handlerName = CFStringToPascal(name);
    if (MethodCode handler = responder->GetNotificationHandler(handlerName)) {
        try {
            handler(responder, details);
        } catch (...) {
            Diagnostics::ReportException(std::string(responder->ClassName()) + "." + handlerName.ToString());
        }
    }
    if (details)
        details->Release();
}

// ---- the distributed center ----

CFNotificationCenterRef TSystemResponder::GetNotificationCenter() const
{
    return CFNotificationCenterGetDistributedCenter();
}

void TSystemResponder::PostNotification(CFStringRef name, TTypeDictionary* details)
{
    Post(CFNotificationCenterGetDistributedCenter(), name, details);
}

void TSystemResponder::PostNotification(const ShortString& name, TTypeDictionary* details)
{
    PostNotification(CFSTR(name), details);
}

// ---- Cocoa centers ----

namespace TNSNotificationCenter {

namespace {

struct Observer {
    MethodCode handler;
    TObject* target;
};

// Per name, the registrations in the order they were made.
std::map<std::string, std::vector<Observer>>& Observers()
{
    static auto* observers = new std::map<std::string, std::vector<Observer>>;
    return *observers;
}

// What the bridge registers with the Cocoa centers as.
const char gDispatchCenter = 0;

}  // namespace

void ObserverNotification(NSNotificationCenter* center, const ShortString& name, TObject* target, MethodCode action)
{
    auto& observers = Observers();
    auto it = observers.find(name.ToString());
    if (it == observers.end()) {
        // The bridge registers once per name; later observers of the name
        // share that registration, whatever center they name.
        it = observers.emplace(name.ToString(), std::vector<Observer>{}).first;
        NSNotificationCenter* cocoaCenter = center ? center : NSNotificationCenter::defaultCenter();
        cocoaCenter->addObserver(
            &gDispatchCenter, [](NSNotification* notification) { dispatch(notification); },
            NSString::stringWithUTF8String(name.c_str()), nullptr);
    }
    it->second.push_back({action, target});
}

void RemoveObserver(NSNotificationCenter*, const ShortString& name, TObject* target)
{
    auto& observers = Observers();
    auto it = observers.find(name.ToString());
    if (it == observers.end())
        return;
    // Every registration of the target goes: one observing a name twice
    // must not leave an entry that would call it after it is freed.
    auto& list = it->second;
    list.erase(std::remove_if(list.begin(), list.end(), [target](const Observer& o) { return o.target == target; }),
               list.end());
}

void dispatch(NSNotification* notification)
{
    if (notification == nullptr || notification->name() == nullptr)
        return;
    auto& observers = Observers();
    auto it = observers.find(notification->name()->UTF8String());
    if (it == observers.end())
        return;
    // A handler may register or remove observers: walk a snapshot, and
    // skip targets freed on the way.
    const std::vector<Observer> snapshot = it->second;
    for (const Observer& observer : snapshot) {
        if (!TObject::IsLiveObject(observer.target))
            continue;
        auto* details = static_cast<TDictionary*>(TDictionary::StaticClass().allocate());
        CFDictionaryRef userInfo = notification->userInfo();
        CFRef<CFDictionaryRef> empty;
        if (userInfo == nullptr) {
            empty.Reset(CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                           &kCFTypeDictionaryValueCallBacks));
            userInfo = empty;
        }
        details->InitializeWithDictionary(userInfo);
        observer.target->InvokeMethod(observer.handler, details);
        details->Release();
    }
}

}  // namespace TNSNotificationCenter

void InitializeTResponderUnit()
{
    RegisterClass(TNotification::StaticClass());
}
