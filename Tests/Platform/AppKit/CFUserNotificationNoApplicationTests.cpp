// A program without a widget application cannot show an alert: it is told
// on the diagnostics line, nobody's answer is made up, and nothing is held.
#include <CFTestSupport.h>

#include <AppKit/CFUserNotification.h>
#include <CarbonCore/CarbonEventLoop.h>
#include <Support/Clock.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(CFUserNotificationWithoutApplication, WritesTheTextsAndAnswersAsUnanswered)
{
    const struct {
        CFStringRef header, message;
        const char* line;
    } rows[] = {
        {CFSTR("Delete the sheet?"), CFSTR("Its cards go too."), "Warning: Delete the sheet? Its cards go too."},
        {nullptr, CFSTR("Saved."), "Warning: Saved."},
        {CFSTR("Done"), nullptr, "Warning: Done"},
    };
    Clock::Fake clock(0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        int fired = 0;
        EventLoopTimerRef timer = nullptr;
        InstallEventLoopTimer(
            GetMainEventLoop(), 0, 0, [](EventLoopTimerRef, void* count) { ++*static_cast<int*>(count); }, &fired,
            &timer);
        Diagnostics::Capture capture;
        CFOptionFlags response = 77;
        EXPECT_EQ(CFUserNotificationDisplayAlert(0, 0, nullptr, nullptr, nullptr, row.header, row.message, CFSTR("Yes"),
                                                 CFSTR("No"), nullptr, &response),
                  0);
        EXPECT_EQ(response, kCFUserNotificationCancelResponse) << "not the default button: nobody chose it";
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{row.line});
        EXPECT_EQ(FireDueEventLoopTimers(GetMainEventLoop()), 1) << "the loop's timers are not held";
        RemoveEventLoopTimer(timer);
    }
}
