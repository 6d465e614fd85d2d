// Alerts made from localized keys, answered by a script standing in for the
// user (no dialog is ever shown), in a widget application as in the programs.
#include <CFTestSupport.h>
#include <QtTestApplication.h>
#include <Units/Classes/TUserNotificationUnit.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <CoreFoundation/CFBundle.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

testing::Environment* const gWidgetApplication = AddQtTestApplication<QApplication>("TUserNotificationTests");

// A main bundle of our own, in English, with a few translations and,
// unless told otherwise, the application icon.
class AlertBundle {
public:
    explicit AlertBundle(bool withIcon = true)
    {
        setenv("LANGUAGE", "en", 1);
        QDir root(folder_.path());
        root.mkpath("en.lproj");
        QFile strings(root.filePath("en.lproj/Localizable.strings"));
        strings.open(QIODevice::WriteOnly);
        strings.write("\"Delete card\" = \"Delete Card\";\n"
                      "\"Delete ^1 from ^2?\" = \"Really delete \xE2\x80\x9C^1\xE2\x80\x9D from ^2?\";\n"
                      "\"Start helper\" = \"Start the helper now?\";\n");
        strings.close();
        if (withIcon) {
            iconPath_ = root.filePath("app.icns").toStdString();
            QImage icon(16, 16, QImage::Format_ARGB32_Premultiplied);
            icon.fill(Qt::red);
            icon.save(QString::fromStdString(iconPath_), "PNG");
        }
        CFBundleSetMainBundleResourcesPath(folder_.path().toUtf8().constData());
    }
    ~AlertBundle()
    {
        CFBundleSetMainBundleResourcesPath(nullptr);
        unsetenv("LANGUAGE");
    }
    const std::string& IconPath() const { return iconPath_; }

private:
    QTemporaryDir folder_;
    std::string iconPath_;
};

class TUserNotificationTest : public testing::Test {
protected:
    void TearDown() override { DumpAutoreleaseTable(); }
};

}  // namespace

TEST_F(TUserNotificationTest, ShowsTheLocalizedTextFilledAndAnswersTheButtonChosen)
{
    AlertBundle bundle;
    CFUserNotificationScript script;
    script.QueueResponse(kCFUserNotificationOtherResponse);
    auto card = MakeString("Groceries");
    TUserNotification* alert = TUserNotification::CreateWithLocalized(kCFUserNotificationNoteAlertLevel, "Delete card",
                                                                      "Delete ^1 from ^2?", {card, nullptr});
    EXPECT_EQ(alert->GetResponse(), kCFUserNotificationOtherResponse);

    ASSERT_EQ(script.Alerts().size(), 1u);
    const CFUserNotificationScript::Alert& shown = script.Alerts()[0];
    EXPECT_EQ(shown.header, "Delete Card");
    EXPECT_EQ(shown.message, "Really delete \xE2\x80\x9CGroceries\xE2\x80\x9D from nil?");
    EXPECT_EQ(shown.defaultButton, "") << "the platform's own default button";
    EXPECT_EQ(shown.alternateButton, "");
    EXPECT_EQ(shown.flags, kCFUserNotificationNoteAlertLevel);
    EXPECT_EQ(shown.iconPath, bundle.IconPath());
}

TEST_F(TUserNotificationTest, QuestionIsYesOnlyForTheDefaultButton)
{
    AlertBundle bundle;
    const struct {
        CFOptionFlags response;
        bool yes;
    } rows[] = {
        {kCFUserNotificationDefaultResponse, true},
        {kCFUserNotificationAlternateResponse, false},
        {kCFUserNotificationCancelResponse, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.response);
        CFUserNotificationScript script;
        script.QueueResponse(row.response);
        auto name = MakeString("Brindlet Helper");
        EXPECT_EQ(TUserNotification::CreateWithQuestionLocalized("Start helper", "Not translated: ^1", {name})
                      ->GetQuestionResponse(),
                  row.yes);
        ASSERT_EQ(script.Alerts().size(), 1u);
        EXPECT_EQ(script.Alerts()[0].header, "Start the helper now?");
        EXPECT_EQ(script.Alerts()[0].message, "Not translated: Brindlet Helper") << "the key itself, filled";
        EXPECT_EQ(script.Alerts()[0].defaultButton, "Yes");
        EXPECT_EQ(script.Alerts()[0].alternateButton, "No");
        EXPECT_EQ(script.Alerts()[0].flags, kCFUserNotificationCautionAlertLevel);
    }
}

TEST_F(TUserNotificationTest, PlainAlertKeepsItsTextsAndGoesWithoutIconOrHeader)
{
    AlertBundle bundle(/*withIcon=*/false);
    CFUserNotificationScript script;
    TUserNotification* alert =
        TUserNotification::Create(kCFUserNotificationStopAlertLevel, nullptr, CFSTR("Delete card"));
    EXPECT_EQ(alert->GetResponse(), kCFUserNotificationDefaultResponse) << "nothing queued: the default button";
    ASSERT_EQ(script.Alerts().size(), 1u);
    EXPECT_EQ(script.Alerts()[0].header, "");
    EXPECT_EQ(script.Alerts()[0].message, "Delete card") << "not localized";
    EXPECT_EQ(script.Alerts()[0].iconPath, "");
    EXPECT_EQ(alert->GetAlertDictionary()->GetValue(kCFUserNotificationIconURLKey), nullptr);
}

// A placeholder is a caret and the whole run of digits after it, so that a
// tenth parameter is not read as the first followed by a zero.
TEST(TUserNotificationPlaceholders, FillEachNumberOnceInOnePass)
{
    std::vector<CFRef<CFStringRef>> texts;
    std::vector<CFStringRef> ten;
    for (int i = 1; i <= 10; ++i) {
        texts.push_back(MakeString("<" + std::to_string(i) + ">"));
        ten.push_back(texts.back());
    }
    auto caret = MakeString("^2 \xF0\x9F\x98\x80");
    const struct {
        const char* text;
        std::vector<CFStringRef> params;
        const char* filled;
    } rows[] = {
        {"^1 and ^2", {ten[0], ten[1]}, "<1> and <2>"},
        {"^10 before ^1", ten, "<10> before <1>"},
        {"^2^1", {ten[0], ten[1]}, "<2><1>"},
        {"^3 has no parameter", {ten[0], ten[1]}, "^3 has no parameter"},
        {"^0, ^ and ^x stay", {ten[0]}, "^0, ^ and ^x stay"},
        {"^99999999999999999999999 stays", {ten[0]}, "^99999999999999999999999 stays"},
        {"^^1%", {ten[0]}, "^<1>%"},
        {"nil: ^1", {nullptr}, "nil: nil"},
        {"not searched again: ^1 ^2", {caret, ten[4]}, "not searched again: ^2 \xF0\x9F\x98\x80 <5>"},
        {"no parameters ^1", {}, "no parameters ^1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        auto text = MakeString(row.text);
        CFRef<CFStringRef> filled(CopyWithPlaceholdersFilled(text, row.params));
        EXPECT_EQ(UTF8Of(filled), row.filled);
    }
    EXPECT_EQ(CopyWithPlaceholdersFilled(nullptr, ten), nullptr);
}

// The program waits in the alert: the autorelease drain (which would free
// the alert under the caller) and every other timer of the main loop wait
// until it is answered.
TEST_F(TUserNotificationTest, TheLoopsTimersAndTheDrainWaitForTheAnswer)
{
    AlertBundle bundle;
    std::string fired;
    auto note = [](EventLoopTimerRef, void* data) { *static_cast<std::string*>(data) += "t"; };
    EventLoopTimerRef timer = nullptr;
    InstallEventLoopTimer(GetMainEventLoop(), 0, 0, note, &fired, &timer);

    CFUserNotificationScript script;
    TUserNotification* alert = nullptr;
    bool aliveWhileShown = false;
    script.WhileShown([&] {
        for (int i = 0; i < 5; ++i)
            RunCurrentEventLoop(0.01);
        aliveWhileShown = TObject::IsLiveObject(alert);
    });
    alert = TUserNotification::CreateWithLocalized(0, "Delete card", "Delete ^1 from ^2?");
    script.QueueResponse(kCFUserNotificationAlternateResponse);
    EXPECT_EQ(alert->GetResponse(), kCFUserNotificationAlternateResponse);
    EXPECT_TRUE(aliveWhileShown);
    EXPECT_EQ(fired, "");

    RunCurrentEventLoop(0.05);
    EXPECT_EQ(fired, "t");
    EXPECT_FALSE(TObject::IsLiveObject(alert)) << "freed by the drain once the alert was answered";
    RemoveEventLoopTimer(timer);
}
