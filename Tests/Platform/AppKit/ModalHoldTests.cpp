// While a modal alert waits for the user the program waits with it: the
// main loop's timers do not fire and distributed notifications arriving on
// the session bus are kept; afterwards the timers fire in the order of
// their deadlines and the notifications arrive in the order they came.
// Each way of showing an alert is tried: a user notification answered by
// the script, one shown for real, and an NSAlert shown for real (both
// message boxes run a nested loop until a Qt timer presses a button).
#include <CFTestSupport.h>
#include <QtTestApplication.h>
#include <RunUntil.h>

#include <AppKit/CFUserNotification.h>
#include <AppKit/ModalHold.h>
#include <AppKit/NSAlert.h>
#include <CarbonCore/CarbonEventLoop.h>
#include <CoreFoundation/CFNotificationCenter.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

testing::Environment* const gWidgetApplication = AddQtTestApplication<QApplication>("ModalHoldTests");

CFRef<CFStringRef> Named(const std::string& suffix)
{
    return MakeString("org.brindlet.test.modal." + std::to_string(getpid()) + "." + suffix);
}

// What the program does meanwhile: two timers of the main loop and
// notifications to itself over the session bus, each noted as it arrives.
class Program {
public:
    Program()
    {
        for (const char* name : {"Before", "One", "Two", "Three"})
            CFNotificationCenterAddObserver(CFNotificationCenterGetDistributedCenter(), this, Heard, Named(name),
                                            nullptr, CFNotificationSuspensionBehaviorDeliverImmediately);
    }
    ~Program()
    {
        CFNotificationCenterRemoveEveryObserver(CFNotificationCenterGetDistributedCenter(), this);
        for (EventLoopTimerRef timer : timers_)
            RemoveEventLoopTimer(timer);
    }

    void ArmTimers()
    {
        Arm(0.02, 'b');
        Arm(0, 'a');
    }

    // Posts, and waits until the bus has passed the posts on to this process.
    void Post(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            CFNotificationCenterPostNotification(CFNotificationCenterGetDistributedCenter(), Named(name), nullptr,
                                                 nullptr, true);
        // The bus answers this call after the signals sent before it, which
        // it routes to every listener, this process included.
        QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId"));
    }

    // Passes of the main loop for a while; from inside an alert too.
    static void Pump(int milliseconds = 200)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds)
            RunCurrentEventLoop(0.01);
    }

    std::string heard;  // "One Two " ...
    std::string fired;  // "ab" ...

private:
    void Arm(double delay, char tag)
    {
        EventLoopTimerRef timer = nullptr;
        tags_.push_back({this, tag});
        InstallEventLoopTimer(GetMainEventLoop(), delay, 0, Fired, &tags_.back(), &timer);
        timers_.push_back(timer);
    }
    static void Fired(EventLoopTimerRef, void* data)
    {
        auto* tag = static_cast<std::pair<Program*, char>*>(data);
        tag->first->fired += tag->second;
    }
    static void Heard(CFNotificationCenterRef, void* observer, CFStringRef name, const void*, CFDictionaryRef)
    {
        const std::string text = UTF8Of(name);
        static_cast<Program*>(observer)->heard += text.substr(text.rfind('.') + 1) + " ";
    }

    std::vector<EventLoopTimerRef> timers_;
    std::deque<std::pair<Program*, char>> tags_;  // stays in place as it grows
};

// Once a message box is up: `whileUp`, then after a while its button with
// `title` is pressed.
void PressWhenUp(const QString& title, std::function<void()> whileUp)
{
    QTimer::singleShot(0, [title, whileUp]() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            PressWhenUp(title, whileUp);
            return;
        }
        whileUp();
        QTimer::singleShot(200, box, [box, title] {
            for (QAbstractButton* button : box->buttons())
                if (button->text() == title)
                    button->click();
        });
    });
}

CFRef<CFDictionaryRef> Question()
{
    const void* keys[] = {kCFUserNotificationAlertHeaderKey, kCFUserNotificationDefaultButtonTitleKey,
                          kCFUserNotificationAlternateButtonTitleKey};
    const void* values[] = {CFSTR("Go on?"), CFSTR("Yes"), CFSTR("No")};
    return CFRef<CFDictionaryRef>(
        CFDictionaryCreate(nullptr, keys, values, 3, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}

}  // namespace

TEST(ModalHold, TimersAndNotificationsWaitForTheAlertAndThenComeInOrder)
{
    // Each shows an alert, runs `whileUp` while it is up, has "No" (the
    // second button) chosen and answers what the alert answered.
    const struct {
        const char* how;
        std::function<long(std::function<void()> whileUp)> run;
    } rows[] = {
        {"user notification, scripted",
         [](std::function<void()> whileUp) -> long {
             CFUserNotificationScript script;
             script.QueueResponse(kCFUserNotificationAlternateResponse);
             script.WhileShown([whileUp] {
                 whileUp();
                 Program::Pump();
             });
             CFRef<CFUserNotificationRef> alert(CFUserNotificationCreate(nullptr, 0, 0, nullptr, Question()));
             CFOptionFlags response = 77;
             CFUserNotificationReceiveResponse(alert, 0, &response);
             return static_cast<long>(response);
         }},
        {"user notification, shown",
         [](std::function<void()> whileUp) -> long {
             PressWhenUp("No", whileUp);
             CFRef<CFUserNotificationRef> alert(CFUserNotificationCreate(nullptr, 0, 0, nullptr, Question()));
             CFOptionFlags response = 77;
             CFUserNotificationReceiveResponse(alert, 0, &response);
             return static_cast<long>(response);
         }},
        {"NSAlert, shown",
         [](std::function<void()> whileUp) -> long {
             PressWhenUp("No", whileUp);
             NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
             NSAlert* alert = NSAlert::alertWithMessage(NSString::stringWithUTF8String("Go on?"));
             alert->addButtonWithTitle(NSString::stringWithUTF8String("No"));
             const long response = static_cast<long>(alert->runModal() - NSAlertFirstButtonReturn);
             pool->release();
             return response;
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        Program program;
        // Without an alert, the same wait is enough for a notification to arrive.
        program.Post({"Before"});
        Program::Pump();
        ASSERT_EQ(program.heard, "Before ");

        program.ArmTimers();
        std::string heardWhileUp = "?", firedWhileUp = "?";
        const long response = row.run([&] {
            program.Post({"One", "Two", "Three"});
            // What the alert's loop does next must not bring them.
            QTimer::singleShot(150, [&] {
                heardWhileUp = program.heard;
                firedWhileUp = program.fired;
            });
        });
        EXPECT_EQ(response, 1) << "the second button";
        EXPECT_EQ(heardWhileUp, "Before ");
        EXPECT_EQ(firedWhileUp, "");
        EXPECT_EQ(program.heard, "Before ") << "delivered from the loop, not from inside the alert's call";

        EXPECT_TRUE(
            RunUntil([&] { return program.heard == "Before One Two Three " && program.fired.size() == 2; }, 10));
        EXPECT_EQ(program.heard, "Before One Two Three ");
        EXPECT_EQ(program.fired, "ab");
    }
}

TEST(ModalHold, HoldsNestAndNotificationsArrivingAfterwardsQueueBehind)
{
    Program program;
    BeginModalHold();
    BeginModalHold();
    program.Post({"One"});
    Program::Pump(100);
    EndModalHold();
    Program::Pump(100);
    EXPECT_EQ(program.heard, "") << "one hold is still on";

    // Delivery is booked for the next pass; "Two" arrives before that pass
    // runs and must not overtake "One".
    EndModalHold();
    program.Post({"Two"});
    EXPECT_EQ(program.heard, "");
    EXPECT_TRUE(RunUntil([&] { return program.heard == "One Two "; }, 10)) << program.heard;

    EndModalHold();  // unmatched: ignored, so the next hold holds
    BeginModalHold();
    program.Post({"Three"});
    Program::Pump(100);
    EXPECT_EQ(program.heard, "One Two ");
    EndModalHold();
    EXPECT_TRUE(RunUntil([&] { return program.heard == "One Two Three "; }, 10)) << program.heard;
}

TEST(ModalHold, AnObserverRemovedWhileHeldHearsNothingMore)
{
    Program kept;
    auto gone = std::make_unique<Program>();
    {
        const ModalHold hold;
        kept.Post({"One"});
        Program::Pump(100);
        gone.reset();  // removes its registrations; the held notification must not reach it
    }
    EXPECT_TRUE(RunUntil([&] { return kept.heard == "One "; }, 10));
}
