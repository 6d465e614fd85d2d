#include "CFUserNotification.h"

#include "ModalHold.h"

#include <CoreFoundation/CFRuntime.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <Support/Diagnostics.h>

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

const CFStringRef kCFUserNotificationIconURLKey = CFSTR("IconURL");
const CFStringRef kCFUserNotificationAlertHeaderKey = CFSTR("AlertHeader");
const CFStringRef kCFUserNotificationAlertMessageKey = CFSTR("AlertMessage");
const CFStringRef kCFUserNotificationDefaultButtonTitleKey = CFSTR("DefaultButtonTitle");
const CFStringRef kCFUserNotificationAlternateButtonTitleKey = CFSTR("AlternateButtonTitle");
const CFStringRef kCFUserNotificationOtherButtonTitleKey = CFSTR("OtherButtonTitle");

namespace {

constexpr SInt32 kParamErr = -50;

CFUserNotificationScript* gCurrentScript = nullptr;

// What the alert shows, read from its dictionary once, when it is made.
struct Contents {
    std::string header;
    std::string message;
    std::string buttons[3];  // default, alternate, other
    std::string iconPath;
};

std::string StringValue(CFDictionaryRef dictionary, CFStringRef key)
{
    CFTypeRef value = CFDictionaryGetValue(dictionary, key);
    return value != nullptr && CFGetTypeID(value) == CFStringGetTypeID() ? CFStringToUTF8(value) : std::string();
}

std::string FilePathValue(CFDictionaryRef dictionary, CFStringRef key)
{
    CFTypeRef value = CFDictionaryGetValue(dictionary, key);
    if (value == nullptr || CFGetTypeID(value) != CFURLGetTypeID())
        return std::string();
    CFStringRef path = CFURLCopyFileSystemPath(static_cast<CFURLRef>(value), kCFURLPOSIXPathStyle);
    std::string text = CFStringToUTF8(path);
    if (path)
        CFRelease(path);
    return text;
}

Contents ReadContents(CFDictionaryRef dictionary)
{
    return Contents{StringValue(dictionary, kCFUserNotificationAlertHeaderKey),
                    StringValue(dictionary, kCFUserNotificationAlertMessageKey),
                    {StringValue(dictionary, kCFUserNotificationDefaultButtonTitleKey),
                     StringValue(dictionary, kCFUserNotificationAlternateButtonTitleKey),
                     StringValue(dictionary, kCFUserNotificationOtherButtonTitleKey)},
                    FilePathValue(dictionary, kCFUserNotificationIconURLKey)};
}

int Milliseconds(CFTimeInterval seconds)
{
    return static_cast<int>(std::clamp(seconds * 1000, 1.0, 2e9));
}

QMessageBox::Icon LevelIcon(CFOptionFlags flags)
{
    switch (flags & 3) {
    case kCFUserNotificationStopAlertLevel:
        return QMessageBox::Critical;
    case kCFUserNotificationNoteAlertLevel:
        return QMessageBox::Information;
    case kCFUserNotificationCautionAlertLevel:
        return QMessageBox::Warning;
    default:
        return QMessageBox::NoIcon;
    }
}

}  // namespace

struct CFUserNotificationObject final : CFRuntimeObject {
    CFUserNotificationObject(CFOptionFlags theFlags, Contents theContents)
        : CFRuntimeObject(CFUserNotificationGetTypeID()), flags(theFlags), contents(std::move(theContents))
    {}

    ~CFUserNotificationObject() override { TakeDown(); }

    CFStringRef CopyDescription() const override
    {
        return CFStringCreateWithUTF8(CFRuntimeDescriptionPrefix(this) + "{" + contents.header + "}");
    }

    void Show(CFTimeInterval timeout)
    {
        if (gCurrentScript != nullptr) {
            gCurrentScript->alerts_.push_back({contents.header, contents.message, contents.buttons[0],
                                               contents.buttons[1], contents.buttons[2], contents.iconPath, flags});
            scripted = true;
            Hold();
            // Nobody may ever ask for the answer (an alert shown and left to
            // the user): the script then answers on the next pass of the
            // loop, unless a wait for the answer has begun by then.
            if (QCoreApplication::instance() != nullptr)
                QTimer::singleShot(0, [this, alive = alive] {
                    if (*alive && !inScriptedWait)
                        AnswerFromScript();
                });
            return;
        }
        // A message box needs a widget application; a tool or a test
        // without one still gets told, on the diagnostics line.
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
            std::string line = "Warning: " + contents.header;
            if (!contents.message.empty())
                line += (contents.header.empty() ? "" : " ") + contents.message;
            Diagnostics::WriteLine(line);
            // Nobody saw it, so nobody chose a button.
            Answer(kCFUserNotificationCancelResponse);
            return;
        }
        MakeBox();
        Hold();
        box->show();
        if (timeout > 0) {
            cancelTimer = new QTimer(box);
            cancelTimer->setSingleShot(true);
            QObject::connect(cancelTimer, &QTimer::timeout, box, [this] { Answer(kCFUserNotificationCancelResponse); });
            cancelTimer->start(Milliseconds(timeout));
        }
    }

    // The wait for the answer; false when the time ran out first.
    bool Wait(CFTimeInterval timeout)
    {
        if (answered)
            return true;
        if (scripted) {
            inScriptedWait = true;
            AnswerFromScript();
            inScriptedWait = false;
            return true;
        }
        QEventLoop loop;
        QEventLoop* outer = std::exchange(waiting, &loop);
        QTimer deadline;
        if (timeout > 0) {
            deadline.setSingleShot(true);
            QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
            deadline.start(Milliseconds(timeout));
        }
        loop.exec();
        waiting = outer;
        // A wait for the same alert further down the stack ends with this one.
        if (answered && outer != nullptr)
            outer->quit();
        return answered;
    }

    void Answer(CFOptionFlags theResponse)
    {
        if (answered)
            return;
        answered = true;
        response = theResponse;
        CloseBox();
        Unhold();
        if (waiting != nullptr)
            waiting->quit();
    }

    void AnswerFromScript()
    {
        CFUserNotificationScript* script = gCurrentScript;
        // The action may make and answer alerts of its own; it runs once per
        // answer, never inside itself.
        if (script != nullptr && script->whileShown_ && !script->runningWhileShown_) {
            script->runningWhileShown_ = true;
            script->whileShown_();
            script->runningWhileShown_ = false;
        }
        if (answered)
            return;
        CFOptionFlags chosen = kCFUserNotificationDefaultResponse;
        if (script != nullptr && !script->responses_.empty()) {
            chosen = script->responses_.front();
            script->responses_.pop_front();
        }
        Answer(chosen);
    }

    void TakeDown()
    {
        *alive = false;
        CloseBox();
        Unhold();
    }

    const CFOptionFlags flags;
    const Contents contents;
    bool scripted = false;
    bool inScriptedWait = false;
    bool answered = false;
    CFOptionFlags response = kCFUserNotificationDefaultResponse;

private:
    void MakeBox()
    {
        box = new QMessageBox;
        box->setWindowModality(Qt::ApplicationModal);
        // Without a header the message is the alert's main text.
        const bool hasHeader = !contents.header.empty();
        // The texts quote names the user typed: shown as they are, never
        // read as markup.
        box->setTextFormat(Qt::PlainText);
        box->setText(QString::fromStdString(hasHeader ? contents.header : contents.message));
        if (hasHeader) {
            box->setInformativeText(QString::fromStdString(contents.message));
            if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
                label->setTextFormat(Qt::PlainText);
        }
        QPixmap icon;
        if (!contents.iconPath.empty() && icon.load(QString::fromStdString(contents.iconPath)))
            box->setIconPixmap(icon.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        else
            box->setIcon(LevelIcon(flags));

        const std::string defaultTitle = contents.buttons[0].empty() ? "OK" : contents.buttons[0];
        buttons[0] = box->addButton(QString::fromStdString(defaultTitle), QMessageBox::AcceptRole);
        // The alternate button answers Escape and the window's close box.
        if (!contents.buttons[1].empty()) {
            buttons[1] = box->addButton(QString::fromStdString(contents.buttons[1]), QMessageBox::RejectRole);
            box->setEscapeButton(buttons[1]);
        }
        if (!contents.buttons[2].empty())
            buttons[2] = box->addButton(QString::fromStdString(contents.buttons[2]), QMessageBox::ActionRole);
        if (flags & kCFUserNotificationNoDefaultButtonFlag) {
            for (QPushButton* button : buttons)
                if (button)
                    button->setAutoDefault(false);
        } else {
            box->setDefaultButton(buttons[0]);
        }
        QObject::connect(box, &QMessageBox::finished, box, [this] {
            QAbstractButton* clicked = box->clickedButton();
            CFOptionFlags answer = kCFUserNotificationCancelResponse;
            for (CFOptionFlags i = 0; i < 3; ++i)
                if (buttons[i] != nullptr && clicked == buttons[i])
                    answer = i;
            Answer(answer);
        });
    }

    void CloseBox()
    {
        if (box == nullptr)
            return;
        if (cancelTimer != nullptr)
            std::exchange(cancelTimer, nullptr)->stop();
        QMessageBox* closing = std::exchange(box, nullptr);
        QObject::disconnect(closing, nullptr, nullptr, nullptr);
        closing->hide();
        // It may be the one whose signal is being handled.
        closing->deleteLater();
    }

    void Hold()
    {
        if (!holding) {
            holding = true;
            BeginModalHold();
        }
    }

    void Unhold()
    {
        if (holding) {
            holding = false;
            EndModalHold();
        }
    }

    QMessageBox* box = nullptr;
    QTimer* cancelTimer = nullptr;  // a child of the box
    QPushButton* buttons[3] = {nullptr, nullptr, nullptr};
    QEventLoop* waiting = nullptr;
    bool holding = false;
    // Cleared when the notification goes, for what may call back later.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

namespace {

CFUserNotificationObject* AsUserNotification(CFTypeRef cf)
{
    if (cf == nullptr || CFGetTypeID(cf) != CFUserNotificationGetTypeID())
        return nullptr;
    return static_cast<CFUserNotificationObject*>(const_cast<void*>(cf));
}

}  // namespace

CFTypeID CFUserNotificationGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CFUserNotification");
    return type;
}

CFUserNotificationRef CFUserNotificationCreate(CFAllocatorRef, CFTimeInterval timeout, CFOptionFlags flags,
                                               SInt32* error, CFDictionaryRef dictionary)
{
    if (dictionary == nullptr || CFGetTypeID(dictionary) != CFDictionaryGetTypeID()) {
        if (error)
            *error = kParamErr;
        return nullptr;
    }
    if (error)
        *error = 0;
    auto* notification = new CFUserNotificationObject(flags, ReadContents(dictionary));
    notification->Show(timeout);
    return notification;
}

SInt32 CFUserNotificationReceiveResponse(CFUserNotificationRef userNotification, CFTimeInterval timeout,
                                         CFOptionFlags* responseFlags)
{
    CFUserNotificationObject* notification = AsUserNotification(userNotification);
    if (notification == nullptr)
        return kParamErr;
    // Held for the wait: whatever the loop runs meanwhile cannot free it.
    CFRetain(notification);
    const bool answered = notification->Wait(timeout);
    if (answered && responseFlags)
        *responseFlags = notification->response;
    CFRelease(notification);
    return answered ? 0 : kCFUserNotificationTimedOutErr;
}

SInt32 CFUserNotificationCancel(CFUserNotificationRef userNotification)
{
    CFUserNotificationObject* notification = AsUserNotification(userNotification);
    if (notification == nullptr)
        return kParamErr;
    notification->Answer(kCFUserNotificationCancelResponse);
    return 0;
}

SInt32 CFUserNotificationDisplayAlert(CFTimeInterval timeout, CFOptionFlags flags, CFURLRef iconURL, CFURLRef, CFURLRef,
                                      CFStringRef alertHeader, CFStringRef alertMessage, CFStringRef defaultButtonTitle,
                                      CFStringRef alternateButtonTitle, CFStringRef otherButtonTitle,
                                      CFOptionFlags* responseFlags)
{
    CFMutableDictionaryRef dictionary =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    const std::pair<CFStringRef, CFTypeRef> entries[] = {
        {kCFUserNotificationIconURLKey, iconURL},
        {kCFUserNotificationAlertHeaderKey, alertHeader},
        {kCFUserNotificationAlertMessageKey, alertMessage},
        {kCFUserNotificationDefaultButtonTitleKey, defaultButtonTitle},
        {kCFUserNotificationAlternateButtonTitleKey, alternateButtonTitle},
        {kCFUserNotificationOtherButtonTitleKey, otherButtonTitle},
    };
    for (const auto& [key, value] : entries)
        if (value != nullptr)
            CFDictionarySetValue(dictionary, key, value);
    SInt32 error = 0;
    CFUserNotificationRef notification = CFUserNotificationCreate(nullptr, timeout, flags, &error, dictionary);
    CFRelease(dictionary);
    if (notification == nullptr)
        return error;
    error = CFUserNotificationReceiveResponse(notification, timeout, responseFlags);
    CFRelease(notification);
    return error;
}

CFUserNotificationScript::CFUserNotificationScript() : outer_(gCurrentScript)
{
    gCurrentScript = this;
}

CFUserNotificationScript::~CFUserNotificationScript()
{
    gCurrentScript = outer_;
}
