#include "TUserNotificationUnit.h"

#include <Units/Utilities/CFUtilities.h>

#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>

#include <string>
#include <utility>

BRINDLET_DEFINE_CLASS(TUserNotification, TObject)

// ---- constructors ----

TUserNotification* TUserNotification::Begin()
{
    // Initialize makes the alert dictionary.
    return CreateInstance<TUserNotification>();
}

TUserNotification* TUserNotification::Show(CFOptionFlags flags)
{
    SetApplicationIcon();
    SInt32 error = 0;  // only a dictionary of another type fails, which this is not
    notification_ = CFUserNotificationCreate(nullptr, 0, flags, &error, dictionary_->CFType());
    return static_cast<TUserNotification*>(Autorelease());
}

void TUserNotification::SetQuestionButtons()
{
    dictionary_->SetValue(kCFUserNotificationDefaultButtonTitleKey, CFSTR("Yes"));
    dictionary_->SetValue(kCFUserNotificationAlternateButtonTitleKey, CFSTR("No"));
}

TUserNotification* TUserNotification::Create(CFOptionFlags flags, CFStringRef header, CFStringRef message)
{
    TUserNotification* alert = Begin();
    if (header != nullptr)
        alert->dictionary_->SetValue(kCFUserNotificationAlertHeaderKey, header);
    alert->dictionary_->SetValue(kCFUserNotificationAlertMessageKey, message);
    return alert->Show(flags);
}

TUserNotification* TUserNotification::CreateWithLocalized(CFOptionFlags flags, const ShortString& headerKey,
                                                          const ShortString& messageKey)
{
    TUserNotification* alert = Begin();
    alert->SetLocalizedString(headerKey, kCFUserNotificationAlertHeaderKey);
    alert->SetLocalizedString(messageKey, kCFUserNotificationAlertMessageKey);
    return alert->Show(flags);
}

TUserNotification* TUserNotification::CreateWithLocalized(CFOptionFlags flags, const ShortString& headerKey,
                                                          const ShortString& messageKey,
                                                          const std::vector<CFStringRef>& params)
{
    TUserNotification* alert = Begin();
    alert->SetLocalizedString(headerKey, kCFUserNotificationAlertHeaderKey);
    alert->SetLocalizedString(messageKey, kCFUserNotificationAlertMessageKey, params);
    return alert->Show(flags);
}

TUserNotification* TUserNotification::CreateWithQuestionLocalized(const ShortString& headerKey,
                                                                  const ShortString& messageKey)
{
    TUserNotification* alert = Begin();
    alert->SetLocalizedString(headerKey, kCFUserNotificationAlertHeaderKey);
    alert->SetLocalizedString(messageKey, kCFUserNotificationAlertMessageKey);
    alert->SetQuestionButtons();
    return alert->Show(kCFUserNotificationCautionAlertLevel);
}

TUserNotification* TUserNotification::CreateWithQuestionLocalized(const ShortString& headerKey,
                                                                  const ShortString& messageKey,
                                                                  const std::vector<CFStringRef>& params)
{
    TUserNotification* alert = Begin();
    alert->SetLocalizedString(headerKey, kCFUserNotificationAlertHeaderKey);
    alert->SetLocalizedString(messageKey, kCFUserNotificationAlertMessageKey, params);
    alert->SetQuestionButtons();
    return alert->Show(kCFUserNotificationCautionAlertLevel);
}

// ---- life cycle ----

void TUserNotification::Initialize()
{
    Inherited::Initialize();
    dictionary_ = TTypeDictionary::Create();
}

void TUserNotification::Deallocate()
{
    // Releasing the user notification takes down an alert still up.
    if (notification_ != nullptr)
        CFRelease(notification_);
    notification_ = nullptr;
    ReleaseObject(dictionary_);
    Inherited::Deallocate();
}

// ---- answers ----

UInt32 TUserNotification::GetResponse()
{
    // An alert that could not be made reads as taken down, never as the
    // default button.
    CFOptionFlags response = kCFUserNotificationCancelResponse;
    if (notification_ != nullptr)
        CFUserNotificationReceiveResponse(notification_, 0, &response);
    return static_cast<UInt32>(response);
}

bool TUserNotification::GetQuestionResponse()
{
    return (GetResponse() & 3) == kCFUserNotificationDefaultResponse;
}

// ---- contents ----

void TUserNotification::SetLocalizedString(const ShortString& key, CFStringRef field)
{
    CFRef<CFStringRef> text(CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR(key), CFSTR(key), nullptr));
    if (text)
        dictionary_->SetValue(field, text.get());
}

void TUserNotification::SetLocalizedString(const ShortString& key, CFStringRef field,
                                           const std::vector<CFStringRef>& params)
{
    CFRef<CFStringRef> text(CFBundleCopyLocalizedString(CFBundleGetMainBundle(), CFSTR(key), CFSTR(key), nullptr));
    if (!text)
        return;
    CFRef<CFStringRef> filled(CopyWithPlaceholdersFilled(text, params));
    dictionary_->SetValue(field, filled.get());
}

void TUserNotification::SetApplicationIcon()
{
    CFRef<CFURLRef> icon(CFBundleCopyResourceURL(CFBundleGetMainBundle(), CFSTR("app"), CFSTR("icns"), nullptr));
    if (icon)
        dictionary_->SetValue(kCFUserNotificationIconURLKey, icon.get());
}

CFStringRef CopyWithPlaceholdersFilled(CFStringRef text, const std::vector<CFStringRef>& params)
{
    return CFStringCreateWithPlaceholders(text, params, CFSTR("nil"));
}
