// Alerts shown for real, as message boxes of a widget application
// (offscreen), with a timer standing in for the user.
#include <AppKit/NSAlert.h>
#include <QtTestApplication.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

testing::Environment* const gWidgetApplication = AddQtTestApplication<QApplication>("NSAlertTests");

struct SeenBox {
    std::string text;
    std::string informativeText;
    std::string defaultButton;
    std::string escapeButton;
    bool found = false;
};

// Once the alert is up: notes what it shows, then presses the button with
// `title` (or Escape when the title is empty).
void AnswerWhenShown(const QString& title, SeenBox& seen)
{
    QTimer::singleShot(0, [title, &seen]() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            AnswerWhenShown(title, seen);  // not up yet
            return;
        }
        seen.found = true;
        seen.text = box->text().toStdString();
        seen.informativeText = box->informativeText().toStdString();
        seen.defaultButton = box->defaultButton() ? box->defaultButton()->text().toStdString() : "";
        seen.escapeButton = box->escapeButton() ? box->escapeButton()->text().toStdString() : "";
        for (QAbstractButton* button : box->buttons()) {
            if (!title.isEmpty() && button->text() == title) {
                button->click();
                return;
            }
        }
        box->reject();
    });
}

NSString* Text(const char* utf8)
{
    return NSString::stringWithUTF8String(utf8);
}

class NSAlertShown : public testing::Test {
protected:
    void SetUp() override { pool_ = NSAutoreleasePool::newPool(); }
    void TearDown() override { pool_->release(); }

    NSAutoreleasePool* pool_ = nullptr;
};

}  // namespace

TEST_F(NSAlertShown, AnswersThePressedButton)
{
    NSAlert* alert = NSAlert::alert();
    alert->setMessageText(Text("Save changes?"));
    alert->setInformativeText(Text("They are lost otherwise."));
    alert->addButtonWithTitle(Text("Save"));
    alert->addButtonWithTitle(Text("Cancel"));
    alert->addButtonWithTitle(Text("Don't Save"));

    const struct {
        const char* press;
        NSModalResponse response;
    } cases[] = {
        {"Save", NSAlertFirstButtonReturn},
        {"Cancel", NSAlertSecondButtonReturn},
        {"Don't Save", NSAlertThirdButtonReturn},
    };
    for (const auto& c : cases) {
        SeenBox seen;
        AnswerWhenShown(QString::fromUtf8(c.press), seen);
        EXPECT_EQ(alert->runModal(), c.response) << c.press;
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.text, "Save changes?");
        EXPECT_EQ(seen.informativeText, "They are lost otherwise.");
        EXPECT_EQ(seen.defaultButton, "Save");
        EXPECT_EQ(seen.escapeButton, "Cancel");
    }
}

TEST_F(NSAlertShown, ErrorAlertHasOneOKButton)
{
    SeenBox seen;
    AnswerWhenShown(QStringLiteral("OK"), seen);
    NSAlert* alert = NSAlert::alertWithError(Text("The file could not be opened."), Text("There is no such file."));
    EXPECT_EQ(alert->runModal(), NSAlertFirstButtonReturn);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, "The file could not be opened.");
    EXPECT_EQ(seen.informativeText, "There is no such file.");
    EXPECT_EQ(seen.defaultButton, "OK");
}

TEST_F(NSAlertShown, ScriptAnswersWithoutShowing)
{
    NSAlertScript script;
    script.QueueResponse(NSAlertSecondButtonReturn);
    NSAlert* alert = NSAlert::alertWithMessage(Text("Quit?"));
    alert->addButtonWithTitle(Text("Cancel"));
    alert->setAlertStyle(NSAlertStyleCritical);
    EXPECT_EQ(alert->runModal(), NSAlertSecondButtonReturn);
    EXPECT_EQ(alert->runModal(), NSAlertFirstButtonReturn);  // the queue is empty
    {
        NSAlertScript inner;
        alert->runModal();
        EXPECT_EQ(inner.Alerts().size(), 1u);
    }
    ASSERT_EQ(script.Alerts().size(), 2u);
    EXPECT_EQ(script.Alerts()[0].messageText, "Quit?");
    EXPECT_EQ(script.Alerts()[0].informativeText, "");
    EXPECT_EQ(script.Alerts()[0].buttonTitles, (std::vector<std::string>{"OK", "Cancel"}));
    EXPECT_EQ(script.Alerts()[0].style, NSAlertStyleCritical);
}
