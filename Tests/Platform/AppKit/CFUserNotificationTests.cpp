// User notifications shown for real, as message boxes of a widget
// application (offscreen), with a Qt timer standing in for the user; and the
// script that answers for the user in the tests of the units.
#include <CFTestSupport.h>
#include <QtTestApplication.h>

#include <AppKit/CFUserNotification.h>
#include <CarbonCore/CarbonEventLoop.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

testing::Environment* const gWidgetApplication = AddQtTestApplication<QApplication>("CFUserNotificationTests");

struct SeenBox {
    std::string text, informativeText, defaultButton, escapeButton;
    std::vector<std::string> buttons;
    bool hasPixmap = false;
    bool plainText = false;  // both texts shown as they are, not as markup
    bool found = false;
};

// Once an alert is up: notes what it shows, then does `act` to it.
void WhenShown(SeenBox& seen, std::function<void(QMessageBox*)> act)
{
    QTimer::singleShot(0, [&seen, act]() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            WhenShown(seen, act);  // not up yet
            return;
        }
        seen.found = true;
        seen.text = box->text().toStdString();
        seen.informativeText = box->informativeText().toStdString();
        seen.defaultButton = box->defaultButton() ? box->defaultButton()->text().toStdString() : "";
        seen.escapeButton = box->escapeButton() ? box->escapeButton()->text().toStdString() : "";
        seen.hasPixmap = box->icon() == QMessageBox::NoIcon && !box->iconPixmap().isNull();
        for (QAbstractButton* button : box->buttons())
            seen.buttons.push_back(button->text().toStdString());
        auto* informative = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
        seen.plainText = box->textFormat() == Qt::PlainText &&
                         (informative == nullptr || informative->textFormat() == Qt::PlainText);
        act(box);
    });
}

std::function<void(QMessageBox*)> Press(const char* title)
{
    return [title](QMessageBox* box) {
        for (QAbstractButton* button : box->buttons())
            if (button->text() == QString::fromUtf8(title))
                button->click();
    };
}

CFRef<CFDictionaryRef> AlertDictionary(std::initializer_list<std::pair<CFStringRef, CFTypeRef>> entries)
{
    CFMutableDictionaryRef dictionary =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (const auto& [key, value] : entries)
        CFDictionarySetValue(dictionary, key, value);
    return CFRef<CFDictionaryRef>(dictionary);
}

}  // namespace

TEST(CFUserNotificationShown, AnswersTheButtonPressed)
{
    auto dictionary = AlertDictionary({{kCFUserNotificationAlertHeaderKey, CFSTR("Delete the sheet?")},
                                       {kCFUserNotificationAlertMessageKey, CFSTR("Its cards go <b>too</b>.")},
                                       {kCFUserNotificationDefaultButtonTitleKey, CFSTR("Delete")},
                                       {kCFUserNotificationAlternateButtonTitleKey, CFSTR("Keep")},
                                       {kCFUserNotificationOtherButtonTitleKey, CFSTR("Move")},
                                       {kCFUserNotificationIconURLKey, CFSTR("not a URL")}});
    const struct {
        const char* what;
        std::function<void(QMessageBox*)> act;
        CFOptionFlags response;
    } rows[] = {
        {"default", Press("Delete"), kCFUserNotificationDefaultResponse},
        {"alternate", Press("Keep"), kCFUserNotificationAlternateResponse},
        {"other", Press("Move"), kCFUserNotificationOtherResponse},
        {"Escape",
         [](QMessageBox* box) {
             QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(box, &escape);
         },
         kCFUserNotificationAlternateResponse},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SInt32 error = 99;
        CFRef<CFUserNotificationRef> alert(CFUserNotificationCreate(nullptr, 0, 0, &error, dictionary));
        ASSERT_TRUE(alert);
        EXPECT_EQ(error, 0);
        SeenBox seen;
        WhenShown(seen, row.act);
        CFOptionFlags response = 77;
        EXPECT_EQ(CFUserNotificationReceiveResponse(alert, 0, &response), 0);
        EXPECT_EQ(response, row.response);
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.text, "Delete the sheet?");
        EXPECT_EQ(seen.informativeText, "Its cards go <b>too</b>.");
        EXPECT_TRUE(seen.plainText);
        EXPECT_EQ(seen.defaultButton, "Delete");
        EXPECT_EQ(seen.escapeButton, "Keep");
        EXPECT_EQ(seen.buttons.size(), 3u);

        // Asked again, the answer is the same, at once.
        response = 77;
        EXPECT_EQ(CFUserNotificationReceiveResponse(alert, 0, &response), 0);
        EXPECT_EQ(response, row.response);
    }
}

TEST(CFUserNotificationShown, WithoutHeaderOrTitlesTheMessageLeadsAndOKAnswers)
{
    QTemporaryDir folder;
    const QString iconPath = folder.filePath("app.icns");
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(iconPath, "PNG"));
    auto path = MakeString(iconPath.toStdString());
    CFRef<CFURLRef> icon(CFURLCreateWithFileSystemPath(nullptr, path, kCFURLPOSIXPathStyle, false));

    SeenBox seen;
    WhenShown(seen, Press("OK"));
    CFOptionFlags response = 77;
    EXPECT_EQ(CFUserNotificationDisplayAlert(0, kCFUserNotificationNoteAlertLevel, icon, nullptr, nullptr, nullptr,
                                             CFSTR("Saved."), nullptr, nullptr, nullptr, &response),
              0);
    EXPECT_TRUE(seen.hasPixmap) << "the icon file, not the level's icon";
    EXPECT_EQ(response, kCFUserNotificationDefaultResponse);
    EXPECT_EQ(seen.text, "Saved.");
    EXPECT_EQ(seen.informativeText, "");
    EXPECT_EQ(seen.buttons, std::vector<std::string>{"OK"});
}

TEST(CFUserNotificationShown, AnAlertLeftUnansweredTimesOutCancelsOrGoesWithItsReference)
{
    auto dictionary = AlertDictionary({{kCFUserNotificationAlertHeaderKey, CFSTR("Waiting")}});
    auto up = [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        return box != nullptr && box->isVisible();
    };

    // A wait that runs out leaves the alert up and the answer untouched.
    CFRef<CFUserNotificationRef> alert(CFUserNotificationCreate(nullptr, 0, 0, nullptr, dictionary));
    CFOptionFlags response = 77;
    EXPECT_EQ(CFUserNotificationReceiveResponse(alert, 0.05, &response), kCFUserNotificationTimedOutErr);
    EXPECT_EQ(response, 77u);
    EXPECT_TRUE(up());
    // Cancelled, it is taken down and says so.
    EXPECT_EQ(CFUserNotificationCancel(alert), 0);
    EXPECT_EQ(CFUserNotificationReceiveResponse(alert, 0, &response), 0);
    EXPECT_EQ(response, kCFUserNotificationCancelResponse);
    QApplication::processEvents();
    EXPECT_FALSE(up());

    // One made with a time limit cancels itself.
    CFRef<CFUserNotificationRef> limited(CFUserNotificationCreate(nullptr, 0.05, 0, nullptr, dictionary));
    EXPECT_EQ(CFUserNotificationReceiveResponse(limited, 0, &response), 0);
    EXPECT_EQ(response, kCFUserNotificationCancelResponse);

    // Released while up, it goes, and with it the hold on the loop's timers.
    std::string fired;
    EventLoopTimerRef timer = nullptr;
    InstallEventLoopTimer(
        GetMainEventLoop(), 0, 0, [](EventLoopTimerRef, void* log) { *static_cast<std::string*>(log) += "t"; }, &fired,
        &timer);
    CFRelease(CFUserNotificationCreate(nullptr, 0, 0, nullptr, dictionary));
    RunCurrentEventLoop(0.05);
    EXPECT_EQ(fired, "t");
    EXPECT_FALSE(up());
    RemoveEventLoopTimer(timer);
}

TEST(CFUserNotification, RefusesWhatIsNotADictionaryOrANotification)
{
    SInt32 error = 99;
    EXPECT_EQ(CFUserNotificationCreate(nullptr, 0, 0, &error, nullptr), nullptr);
    EXPECT_EQ(error, -50);
    error = 99;
    EXPECT_EQ(CFUserNotificationCreate(nullptr, 0, 0, &error, reinterpret_cast<CFDictionaryRef>(CFSTR("text"))),
              nullptr);
    EXPECT_EQ(error, -50);
    CFOptionFlags response = 77;
    EXPECT_EQ(CFUserNotificationReceiveResponse(nullptr, 0, &response), -50);
    EXPECT_EQ(CFUserNotificationReceiveResponse(
                  reinterpret_cast<CFUserNotificationRef>(const_cast<void*>(static_cast<const void*>(CFSTR("text")))),
                  0, &response),
              -50);
    EXPECT_EQ(response, 77u);
    EXPECT_EQ(CFUserNotificationCancel(nullptr), -50);
}

TEST(CFUserNotificationScripted, RecordsEachAlertAndAnswersInTurn)
{
    CFUserNotificationScript script;
    script.QueueResponse(kCFUserNotificationAlternateResponse);
    CFRef<CFURLRef> icon(
        CFURLCreateWithFileSystemPath(nullptr, CFSTR("/usr/share/icons/app.icns"), kCFURLPOSIXPathStyle, false));
    auto dictionary = AlertDictionary({{kCFUserNotificationAlertHeaderKey, CFSTR("Quit?")},
                                       {kCFUserNotificationAlertMessageKey, CFSTR("Nothing is lost.")},
                                       {kCFUserNotificationDefaultButtonTitleKey, CFSTR("Quit")},
                                       {kCFUserNotificationAlternateButtonTitleKey, CFSTR("Stay")},
                                       {kCFUserNotificationOtherButtonTitleKey, kCFBooleanTrue},
                                       {kCFUserNotificationIconURLKey, icon.get()}});
    CFOptionFlags response = 77;
    for (CFOptionFlags expected : {kCFUserNotificationAlternateResponse, kCFUserNotificationDefaultResponse}) {
        CFRef<CFUserNotificationRef> alert(
            CFUserNotificationCreate(nullptr, 0, kCFUserNotificationCautionAlertLevel, nullptr, dictionary));
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "never shown";
        EXPECT_EQ(CFUserNotificationReceiveResponse(alert, 0, &response), 0);
        EXPECT_EQ(response, expected);
    }
    {
        CFUserNotificationScript inner;
        EXPECT_EQ(CFUserNotificationDisplayAlert(0, 0, nullptr, nullptr, nullptr, CFSTR("Inner"), nullptr, nullptr,
                                                 nullptr, nullptr, nullptr),
                  0);
        EXPECT_EQ(inner.Alerts().size(), 1u);
    }

    // Left unwatched, it is answered on the next pass of the loop, and the
    // program goes on.
    std::string fired;
    EventLoopTimerRef timer = nullptr;
    InstallEventLoopTimer(
        GetMainEventLoop(), 0, 0, [](EventLoopTimerRef, void* log) { *static_cast<std::string*>(log) += "t"; }, &fired,
        &timer);
    script.QueueResponse(kCFUserNotificationOtherResponse);
    CFRef<CFUserNotificationRef> unwatched(CFUserNotificationCreate(nullptr, 0, 0, nullptr, dictionary));
    RunCurrentEventLoop(0.05);
    EXPECT_EQ(fired, "t");
    EXPECT_EQ(CFUserNotificationReceiveResponse(unwatched, 0, &response), 0);
    EXPECT_EQ(response, kCFUserNotificationOtherResponse);
    RemoveEventLoopTimer(timer);

    ASSERT_EQ(script.Alerts().size(), 3u);
    const CFUserNotificationScript::Alert& alert = script.Alerts()[0];
    EXPECT_EQ(alert.header, "Quit?");
    EXPECT_EQ(alert.message, "Nothing is lost.");
    EXPECT_EQ(alert.defaultButton, "Quit");
    EXPECT_EQ(alert.alternateButton, "Stay");
    EXPECT_EQ(alert.otherButton, "") << "a title that is not a string is left out";
    EXPECT_EQ(alert.iconPath, "/usr/share/icons/app.icns");
    EXPECT_EQ(alert.flags, kCFUserNotificationCautionAlertLevel);
}
