// Alerts: a simple alert or a yes/no question, shown through the platform's
// user notifications (AppKit/CFUserNotification.h) and answered by the user
// before the program goes on. Header and message are keys of the main
// bundle's localized strings (the key is the text when there is no
// translation); a message may carry placeholders "^1", "^2", ... that are
// filled with the caller's texts. The alert shows the application's icon.
//
// Every constructor shows the alert at once and autoreleases the object, so
// the caller reads the answer right away and does not release it:
//
//     if (TUserNotification::CreateWithQuestionLocalized("Delete", "Delete ^1?", {name})->GetQuestionResponse())
//         ...
#pragma once

#include <Units/Classes/TDictionaryUnit.h>
#include <Units/Classes/TObjectUnit.h>

#include <AppKit/CFUserNotification.h>

#include <vector>

class TUserNotification : public TObject {
    BRINDLET_CLASS(TUserNotification, TObject)

public:
    // `flags` are the alert level and option flags of CFUserNotificationCreate,
    // passed on unchanged. A nil header leaves the alert without one; the
    // texts are shown as given. One button, the default one.
    static TUserNotification* Create(CFOptionFlags flags, CFStringRef header, CFStringRef message);
    // Header and message localized from their keys; the message's
    // placeholders filled from `params`.
    static TUserNotification* CreateWithLocalized(CFOptionFlags flags, const ShortString& headerKey,
                                                  const ShortString& messageKey);
    static TUserNotification* CreateWithLocalized(CFOptionFlags flags, const ShortString& headerKey,
                                                  const ShortString& messageKey,
                                                  const std::vector<CFStringRef>& params);
    // A question at the caution level with the buttons "Yes" (default) and
    // "No" (alternate).
    static TUserNotification* CreateWithQuestionLocalized(const ShortString& headerKey, const ShortString& messageKey);
    static TUserNotification* CreateWithQuestionLocalized(const ShortString& headerKey, const ShortString& messageKey,
                                                          const std::vector<CFStringRef>& params);

    void Initialize() override;
    void Deallocate() override;

    // Waits without time limit for the answer: the response flags (0 the
    // default button, 1 the alternate, 2 the other, 3 taken down unanswered).
    virtual UInt32 GetResponse();
    // Waits the same way; true when the default button ("Yes") was chosen.
    virtual bool GetQuestionResponse();
    // Stores the translation of `key` (the key itself when there is none)
    // under `field` of the alert dictionary.
    virtual void SetLocalizedString(const ShortString& key, CFStringRef field);
    // The same, with each placeholder "^n" (a caret and the whole run of
    // digits after it) replaced by parameter n, counting from 1, or by "nil"
    // for a nil parameter. A placeholder whose number has no parameter
    // stays as it is, and a parameter's own text is never searched again.
    virtual void SetLocalizedString(const ShortString& key, CFStringRef field, const std::vector<CFStringRef>& params);
    // The main bundle's resource "app.icns" as the icon, when there is one.
    virtual void SetApplicationIcon();

    // The alert dictionary and the user notification, borrowed.
    TTypeDictionary* GetAlertDictionary() const { return dictionary_; }
    CFUserNotificationRef GetUserNotification() const { return notification_; }

protected:
    TUserNotification() = default;

private:
    static TUserNotification* Begin();
    TUserNotification* Show(CFOptionFlags flags);
    void SetQuestionButtons();

    TTypeDictionary* dictionary_ = nullptr;
    CFUserNotificationRef notification_ = nullptr;
};

// A new string: `text` with its placeholders filled as SetLocalizedString
// fills them; nil for nil.
CFStringRef CopyWithPlaceholdersFilled(CFStringRef text, const std::vector<CFStringRef>& params);
