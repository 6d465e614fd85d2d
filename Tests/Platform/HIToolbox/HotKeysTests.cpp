// Hot keys without an X server: registration, the status codes, and
// delivery through the injector (the same path the key grabs take).
#include <HIToolbox/HotKeys.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include "HotKeyRecorder.h"

#include <QGuiApplication>

namespace {

constexpr UInt32 kKeyK = 40;
constexpr UInt32 kKeyF5 = 96;

class HotKeysTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), "offscreen");
        target_ = CreateEventTarget(nullptr, nullptr);
        recorder_.Install(target_);
    }
    void TearDown() override
    {
        for (EventHotKeyRef hotKey : registered_)
            UnregisterEventHotKey(hotKey);
        if (IsValidEventTarget(target_))
            DisposeEventTarget(target_);
    }

    EventHotKeyRef Register(UInt32 keyCode, UInt32 modifiers, UInt32 id)
    {
        EventHotKeyRef hotKey = nullptr;
        EXPECT_EQ(RegisterEventHotKey(keyCode, modifiers, {FourCC("thtk"), id}, target_, 0, &hotKey), noErr);
        registered_.push_back(hotKey);
        return hotKey;
    }

    EventTargetRef target_ = nullptr;
    HotKeyRecorder recorder_;
    std::vector<EventHotKeyRef> registered_;
};

TEST_F(HotKeysTest, AnInjectedPressAndReleaseReachTheTargetWithTheHotKeysID)
{
    Diagnostics::Capture capture;
    Register(kKeyK, cmdKey | shiftKey, 7);
    Register(kKeyK, cmdKey, 8);
    Register(kKeyF5, optionKey | controlKey, 32);
    EXPECT_EQ(capture.Text(), "");  // the offscreen display needs no warning

    EXPECT_EQ(HotKeyInjectPress(kKeyK, cmdKey | shiftKey), noErr);
    EXPECT_EQ(HotKeyInjectRelease(kKeyK, cmdKey | shiftKey), noErr);
    // The right-hand modifier bits press the same combination.
    EXPECT_EQ(HotKeyInjectPress(kKeyF5, rightOptionKey | controlKey), noErr);

    const std::vector<HotKeyRecorder::Delivery> expected = {
        {kEventHotKeyPressed, FourCC("thtk"), 7},
        {kEventHotKeyReleased, FourCC("thtk"), 7},
        {kEventHotKeyPressed, FourCC("thtk"), 32},
    };
    EXPECT_EQ(recorder_.deliveries, expected);

    // A combination nobody registered reaches nobody.
    recorder_.deliveries.clear();
    EXPECT_EQ(HotKeyInjectPress(kKeyK, shiftKey), eventHotKeyInvalidErr);
    EXPECT_TRUE(recorder_.deliveries.empty());
}

TEST_F(HotKeysTest, TheInjectorAnswersTheHandlersStatus)
{
    Register(kKeyK, cmdKey, 1);
    recorder_.answer = eventNotHandledErr;
    EXPECT_EQ(HotKeyInjectPress(kKeyK, cmdKey), eventNotHandledErr);
    recorder_.answer = userCanceledErr;
    EXPECT_EQ(HotKeyInjectPress(kKeyK, cmdKey), userCanceledErr);
    EXPECT_EQ(recorder_.deliveries.size(), 2u);
}

TEST_F(HotKeysTest, TheSameCombinationTwiceIsRefusedUntilTheFirstIsUnregistered)
{
    EventHotKeyRef first = Register(kKeyK, cmdKey | shiftKey, 1);

    struct Row {
        const char* name;
        UInt32 modifiers;
        OptionBits options;
    };
    const Row rows[] = {
        {"same modifiers", cmdKey | shiftKey, 0},
        {"exclusive", cmdKey | shiftKey, kEventHotKeyExclusive},
        {"right shift for shift", cmdKey | rightShiftKey, 0},
        {"bits that are not hot-key modifiers", cmdKey | shiftKey | alphaLock | btnState, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EventHotKeyRef untouched = reinterpret_cast<EventHotKeyRef>(0x5a5a);
        EventHotKeyRef hotKey = untouched;
        EXPECT_EQ(RegisterEventHotKey(kKeyK, row.modifiers, {FourCC("thtk"), 2}, target_, row.options, &hotKey),
                  eventHotKeyExistsErr);
        EXPECT_EQ(hotKey, untouched);
    }
    // The refusals left the first hot key as it was.
    EXPECT_EQ(HotKeyInjectPress(kKeyK, cmdKey | shiftKey), noErr);
    ASSERT_EQ(recorder_.deliveries.size(), 1u);
    EXPECT_EQ(recorder_.deliveries[0].id, 1u);

    ASSERT_EQ(UnregisterEventHotKey(first), noErr);
    registered_.clear();
    Register(kKeyK, cmdKey | shiftKey, 2);
    recorder_.deliveries.clear();
    EXPECT_EQ(HotKeyInjectPress(kKeyK, cmdKey | shiftKey), noErr);
    ASSERT_EQ(recorder_.deliveries.size(), 1u);
    EXPECT_EQ(recorder_.deliveries[0].id, 2u);
}

TEST_F(HotKeysTest, BadRegistrationsAnswerAStatusAndLeaveTheOutputUntouched)
{
    EventTargetRef disposed = CreateEventTarget(nullptr, nullptr);
    DisposeEventTarget(disposed);

    struct Row {
        const char* name;
        UInt32 keyCode;
        EventTargetRef target;
        bool withOutput;
        OSStatus expected;
    };
    const Row rows[] = {
        {"nil output", kKeyK, target_, false, paramErr},
        {"nil target", kKeyK, nullptr, true, paramErr},
        {"disposed target", kKeyK, disposed, true, paramErr},
        {"a code no key has", 10, target_, true, eventHotKeyInvalidErr},
        {"fn, a key without an X key", 63, target_, true, eventHotKeyInvalidErr},
        {"a code past the table", 4096, target_, true, eventHotKeyInvalidErr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EventHotKeyRef untouched = reinterpret_cast<EventHotKeyRef>(0x5a5a);
        EventHotKeyRef hotKey = untouched;
        EXPECT_EQ(RegisterEventHotKey(row.keyCode, cmdKey, {FourCC("thtk"), 1}, row.target, 0,
                                      row.withOutput ? &hotKey : nullptr),
                  row.expected);
        EXPECT_EQ(hotKey, untouched);
        // Nothing was registered.
        EXPECT_EQ(HotKeyInjectPress(row.keyCode, cmdKey), eventHotKeyInvalidErr);
    }
    EXPECT_TRUE(recorder_.deliveries.empty());
}

TEST_F(HotKeysTest, UnregisteringRefusesNilAndStaleReferences)
{
    EventHotKeyRef first = Register(kKeyK, cmdKey, 1);
    registered_.clear();
    ASSERT_EQ(UnregisterEventHotKey(first), noErr);
    EXPECT_EQ(HotKeyInjectPress(kKeyK, cmdKey), eventHotKeyInvalidErr);

    // A new hot key never takes the old reference, so the stale one cannot
    // unregister it.
    EventHotKeyRef second = Register(kKeyK, cmdKey, 2);
    EXPECT_NE(second, first);
    EXPECT_EQ(UnregisterEventHotKey(first), eventHotKeyInvalidErr);
    EXPECT_EQ(UnregisterEventHotKey(nullptr), paramErr);
    EXPECT_EQ(UnregisterEventHotKey(reinterpret_cast<EventHotKeyRef>(0x5a5a)), eventHotKeyInvalidErr);

    EXPECT_EQ(HotKeyInjectPress(kKeyK, cmdKey), noErr);
    ASSERT_EQ(recorder_.deliveries.size(), 1u);
    EXPECT_EQ(recorder_.deliveries[0].id, 2u);
}

TEST_F(HotKeysTest, AHandlerMayUnregisterItsHotKeyAndDisposeItsTargetWhileHandlingIt)
{
    EventHotKeyRef hotKey = Register(kKeyK, cmdKey, 1);
    registered_.clear();
    recorder_.onDelivery = [&] {
        EXPECT_EQ(UnregisterEventHotKey(hotKey), noErr);
        DisposeEventTarget(target_);
    };
    EXPECT_EQ(HotKeyInjectPress(kKeyK, cmdKey), noErr);
    EXPECT_EQ(recorder_.deliveries.size(), 1u);
    EXPECT_EQ(HotKeyInjectRelease(kKeyK, cmdKey), eventHotKeyInvalidErr);
}

TEST_F(HotKeysTest, AHotKeyWhoseTargetIsGoneDeliversNothing)
{
    EventTargetRef other = CreateEventTarget(nullptr, nullptr);
    HotKeyRecorder otherRecorder;
    otherRecorder.Install(other);
    EventHotKeyRef hotKey = nullptr;
    ASSERT_EQ(RegisterEventHotKey(kKeyK, cmdKey, {FourCC("thtk"), 1}, other, 0, &hotKey), noErr);
    registered_.push_back(hotKey);
    DisposeEventTarget(other);

    EXPECT_EQ(HotKeyInjectPress(kKeyK, cmdKey), eventNotHandledErr);
    EXPECT_TRUE(otherRecorder.deliveries.empty());
}

TEST_F(HotKeysTest, HotKeysOfTheApplicationTargetReachItsHandler)
{
    HotKeyRecorder application;
    application.Install(GetApplicationEventTarget());
    EventHotKeyRef hotKey = nullptr;
    ASSERT_EQ(RegisterEventHotKey(kKeyF5, cmdKey | optionKey, {FourCC("thtk"), 32}, GetApplicationEventTarget(),
                                  kEventHotKeyNoOptions, &hotKey),
              noErr);
    registered_.push_back(hotKey);
    EXPECT_FALSE(HotKeysUseKeyGrabs());

    EXPECT_EQ(HotKeyInjectPress(kKeyF5, cmdKey | optionKey), noErr);
    const std::vector<HotKeyRecorder::Delivery> expected = {{kEventHotKeyPressed, FourCC("thtk"), 32}};
    EXPECT_EQ(application.deliveries, expected);
    EXPECT_TRUE(recorder_.deliveries.empty());
}

}  // namespace
