#include "NSAlert.h"

#include "ModalHold.h"

#include "NSWindow.h"

#include <CarbonCore/CarbonEventLoop.h>
#include <Support/Diagnostics.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>

#include <memory>

namespace {

NSAlertScript* currentScript = nullptr;

// The text retained, or a new empty one for nil; either way one reference
// the alert releases.
NSString* Retained(const NSString* text)
{
    if (text == nullptr)
        return NSString::newWithCFString(nullptr);
    return static_cast<NSString*>(const_cast<NSString*>(text)->retain());
}

QString ToQString(const NSString* text)
{
    return QString::fromStdString(text->UTF8String());
}

struct PendingSheetEnd {
    std::function<void(NSModalResponse)> completion;
    NSModalResponse response;
};

void EndSheet(EventLoopTimerRef timer, void* data)
{
    RemoveEventLoopTimer(timer);
    std::unique_ptr<PendingSheetEnd> pending(static_cast<PendingSheetEnd*>(data));
    pending->completion(pending->response);
}

// Runs the completion on the next pass of the main loop.
void FinishSheetLater(std::function<void(NSModalResponse)> completion, NSModalResponse response)
{
    auto* pending = new PendingSheetEnd{std::move(completion), response};
    EventLoopTimerRef timer = nullptr;
    if (InstallEventLoopTimer(GetMainEventLoop(), 0, 0, EndSheet, pending, &timer) != noErr) {
        std::unique_ptr<PendingSheetEnd> owned(pending);
        owned->completion(owned->response);
    }
}

}  // namespace

NSAlert::NSAlert() : messageText_(Retained(nullptr)), informativeText_(Retained(nullptr)) {}

NSAlert::~NSAlert()
{
    messageText_->release();
    informativeText_->release();
    for (NSString* title : buttonTitles_)
        title->release();
}

NSAlert* NSAlert::newAlert()
{
    return new NSAlert();
}

NSAlert* NSAlert::alert()
{
    return NSAutorelease(newAlert());
}

NSAlert* NSAlert::alertWithError(const NSString* description, const NSString* reason)
{
    NSAlert* alert = NSAlert::alert();
    alert->setMessageText(description);
    alert->setInformativeText(reason);
    NSString* ok = NSString::newWithUTF8String("OK");
    alert->addButtonWithTitle(ok);
    ok->release();
    return alert;
}

NSAlert* NSAlert::alertWithMessage(const NSString* message)
{
    return alertWithError(message, nullptr);
}

void NSAlert::setMessageText(const NSString* text)
{
    NSString* old = messageText_;
    messageText_ = Retained(text);
    old->release();
}

void NSAlert::setInformativeText(const NSString* text)
{
    NSString* old = informativeText_;
    informativeText_ = Retained(text);
    old->release();
}

void NSAlert::addButtonWithTitle(const NSString* title)
{
    buttonTitles_.push_back(Retained(title));
}

NSString* NSAlert::buttonTitle(NSUInteger index) const
{
    return index < buttonTitles_.size() ? buttonTitles_[index] : nullptr;
}

NSModalResponse NSAlert::runModal()
{
    if (currentScript != nullptr) {
        NSAlertScript::Alert shown{messageText_->UTF8String(), informativeText_->UTF8String(), {}, style_};
        for (const NSString* title : buttonTitles_)
            shown.buttonTitles.push_back(title->UTF8String());
        currentScript->alerts_.push_back(std::move(shown));
        if (currentScript->responses_.empty())
            return NSAlertFirstButtonReturn;
        const NSModalResponse response = currentScript->responses_.front();
        currentScript->responses_.pop_front();
        return response;
    }

    // A message box needs a widget application; a tool or a test without
    // one still gets told, on the diagnostics line.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        std::string line = "Warning: " + messageText_->UTF8String();
        if (informativeText_->length() > 0)
            line += " " + informativeText_->UTF8String();
        Diagnostics::WriteLine(line);
        return NSAlertFirstButtonReturn;
    }

    QMessageBox box;
    const std::vector<QPushButton*> buttons = SetUpBox(box);
    // The program waits in the alert: its timers and notifications wait too.
    const ModalHold hold;
    box.exec();
    return ResponseOf(box, buttons);
}

std::vector<QPushButton*> NSAlert::SetUpBox(QMessageBox& box) const
{
    box.setText(ToQString(messageText_));
    box.setInformativeText(ToQString(informativeText_));
    box.setIcon(style_ == NSAlertStyleCritical        ? QMessageBox::Critical
                : style_ == NSAlertStyleInformational ? QMessageBox::Information
                                                      : QMessageBox::Warning);
    std::vector<QPushButton*> buttons;
    if (buttonTitles_.empty()) {
        buttons.push_back(box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole));
    } else {
        for (size_t i = 0; i < buttonTitles_.size(); ++i) {
            const QString title = ToQString(buttonTitles_[i]);
            const bool cancel = title == QStringLiteral("Cancel");
            QPushButton* button = box.addButton(title, i == 0   ? QMessageBox::AcceptRole
                                                       : cancel ? QMessageBox::RejectRole
                                                                : QMessageBox::ActionRole);
            if (cancel && i > 0)
                box.setEscapeButton(button);
            buttons.push_back(button);
        }
    }
    box.setDefaultButton(buttons.front());
    return buttons;
}

NSModalResponse NSAlert::ResponseOf(const QMessageBox& box, const std::vector<QPushButton*>& buttons)
{
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i])
            return NSAlertFirstButtonReturn + static_cast<NSModalResponse>(i);
    }
    return NSAlertFirstButtonReturn;
}

void NSAlert::beginSheetModalForWindow(NSWindow* window, std::function<void(NSModalResponse)> completion)
{
    QWidget* parent = window ? window->widget() : nullptr;
    if (currentScript != nullptr || parent == nullptr) {
        // Recorded and answered (or run modally) now; the completion still
        // comes after this call, as a sheet's does.
        const NSModalResponse response = runModal();
        if (completion)
            FinishSheetLater(std::move(completion), response);
        return;
    }
    auto* box = new QMessageBox(parent);
    box->setWindowModality(Qt::WindowModal);
    const std::vector<QPushButton*> buttons = SetUpBox(*box);
    retain();  // the alert stays while its sheet is up
    auto answered = std::make_shared<bool>(false);
    QObject::connect(box, &QMessageBox::finished, box,
                     [this, box, buttons, answered, completion = std::move(completion)](int) {
                         *answered = true;
                         const NSModalResponse response = ResponseOf(*box, buttons);
                         box->deleteLater();
                         if (completion)
                             completion(response);
                         release();
                     });
    // A window that goes while its sheet is up takes the sheet along
    // unanswered: the alert is let go all the same.
    QObject::connect(box, &QObject::destroyed, [this, answered]() {
        if (!*answered)
            release();
    });
    box->open();
}

NSAlertScript::NSAlertScript() : outer_(currentScript)
{
    currentScript = this;
}

NSAlertScript::~NSAlertScript()
{
    currentScript = outer_;
}
