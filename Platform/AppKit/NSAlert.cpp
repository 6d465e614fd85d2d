#include "NSAlert.h"

#include <Support/Diagnostics.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>

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
    box.exec();
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i])
            return NSAlertFirstButtonReturn + static_cast<NSModalResponse>(i);
    }
    return NSAlertFirstButtonReturn;
}

NSAlertScript::NSAlertScript() : outer_(currentScript)
{
    currentScript = this;
}

NSAlertScript::~NSAlertScript()
{
    currentScript = outer_;
}
