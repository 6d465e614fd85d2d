
#include <CFTestSupport.h>
#include <FileFixtures.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

TEST(CarbonUtilities, FourCharacterCodes)
{
    struct Case {
        const char* text;
        UInt32 code;
        const char* back;
    } cases[] = {
        {"undo", 0x756E646F, "undo"}, {"ovbr", 0x6F766272, "ovbr"},  {"????", 0x3F3F3F3F, "????"},
        {"new", 0x6E657720, "new "},  {"", 0x20202020, "    "},      {"quit!", 0x71756974, "quit"},
        {"©abc", 0xA9616263, "©abc"}, {"日abc", 0x3F616263, "?abc"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FCC(c.text), c.code) << c.text;
        EXPECT_EQ(FCCToInteger(c.text), c.code) << c.text;
        EXPECT_EQ(FCCToString(c.code), c.back) << c.text;
        EXPECT_EQ(FCC(FCCToString(c.code)), c.code) << c.text;
    }
    EXPECT_EQ(FCCToString(0).Length(), 4u);
    EXPECT_EQ(NStr(-42), "-42");
}

TEST(CarbonUtilities, RandomNumbersStayInTheirRange)
{
    struct Case {
        SInt32 min, max, low, high;
    } cases[] = {
        {1, 6, 1, 6},
        {0, 10, 0, 9},
        {-5, 5, -5, 4},
        {3, 3, 3, 3},
        // Ranges that hold nothing answer the minimum instead of dividing by zero.
        {0, 0, 0, 0},
        {5, 0, 5, 5},
        {7, 3, 7, 7},
        {-10, -2, -10, -10},
    };
    for (const Case& c : cases) {
        std::set<SInt32> seen;
        for (int i = 0; i < 2000; ++i)
            seen.insert(GetRandomNumber(c.min, c.max));
        EXPECT_EQ(*seen.begin(), c.low) << c.min << ".." << c.max;
        EXPECT_EQ(*seen.rbegin(), c.high) << c.min << ".." << c.max;
        EXPECT_EQ(seen.size(), static_cast<size_t>(c.high - c.low + 1)) << c.min << ".." << c.max;
    }
    const SInt32 wide = GetRandomNumber(INT32_MIN, INT32_MAX);
    EXPECT_GE(wide, INT32_MIN);
}

TEST(CarbonUtilities, MemoryBlocks)
{
    Ptr block = NewPtr(5);
    BlockMove("hello", block, 5);
    Ptr clone = CloneObject(block);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(GetPtrSize(clone), 5);
    EXPECT_EQ(std::string(clone, 5), "hello");

    char onStack[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(CloneObject(onStack), nullptr);
    Ptr swapped = onStack;
    SwapPointer(swapped, 3);
    ASSERT_TRUE(IsPointerValid(swapped));
    EXPECT_EQ(GetPtrSize(swapped), 3);
    EXPECT_EQ(std::string(swapped, 3), "abc");
    Ptr same = block;
    SwapPointer(same, 2);
    EXPECT_EQ(same, block);

    Ptr copy = NewPtrCopy("xyz", 2);
    EXPECT_EQ(std::string(copy, static_cast<size_t>(GetPtrSize(copy))), "xy");
    EXPECT_EQ(NewPtrCopy(nullptr, 2), nullptr);
    EXPECT_TRUE(IsObjectValid(onStack));
    EXPECT_FALSE(IsObjectValid(nullptr));
    for (Ptr p : {block, clone, swapped, copy})
        DisposePtr(p);
}

TEST(CarbonUtilities, FindProcessFollowsAChildUntilItEnds)
{
    ScratchFolder scratch;
    const std::string name = "brprobe" + std::to_string(getpid() % 100000);
    scratch.MakeLink(name, "/bin/sleep");
    pid_t child = -1;
    const std::string program = scratch / name;
    char* arguments[] = {const_cast<char*>(program.c_str()), const_cast<char*>("30"), nullptr};
    ASSERT_EQ(posix_spawn(&child, program.c_str(), nullptr, nullptr, arguments, environ), 0);

    ProcessSerialNumber psn{};
    bool found = false;
    for (int tries = 0; tries < 200 && !found; ++tries) {
        found = FindProcess(MakeString(name), psn);
        if (!found)
            usleep(10000);
    }
    ASSERT_TRUE(found);
    pid_t pid = 0;
    EXPECT_EQ(GetProcessPID(&psn, &pid), noErr);
    EXPECT_EQ(pid, child);

    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    EXPECT_FALSE(FindProcess(MakeString(name), psn));
    EXPECT_EQ(psn.lowLongOfPSN, static_cast<UInt32>(kNoProcess));
}

TEST(CarbonUtilities, SystemVersionIconsAndURLs)
{
    EXPECT_EQ(MacOSVersion(), 6);

    IconRef icon = GetSystemIcon(MakeOSType("nwrt"));
    EXPECT_EQ(Err, noErr);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(ReleaseIconRef(icon), noErr);

    std::vector<std::string> opened;
    LSLauncher launcher;
    launcher.openURL = [&opened](const std::string& url) {
        opened.push_back(url);
        return true;
    };
    LSSetLauncher(&launcher);
    Err = 1;
    LSOpenURL(ShortString("https://example.org/join?list=brindlet"));
    EXPECT_EQ(Err, noErr);
    LSOpenURL(MakeString("not a url with spaces"));
    LSOpenURL(static_cast<CFStringRef>(nullptr));
    EXPECT_EQ(Err, noErr);
    Err = 1;
    LSOpenURL(ShortString("relative/path"));
    EXPECT_EQ(Err, paramErr);
    LSSetLauncher(nullptr);
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/join?list=brindlet"});
}

TEST(CarbonUtilities, LoginItemsLiveInTheBundle)
{
    ScratchFolder bundle;
    bundle.Write("LoginItems/BrindletHelper.app", "");
    CFBundleSetMainBundleResourcesPath(bundle.Path().c_str());
    FSRef ref{};
    EXPECT_EQ(LSGetLoginItemFSRef("BrindletHelper.app", ref), noErr);
    EXPECT_EQ(std::string(ref.path), bundle / "LoginItems/BrindletHelper.app");
    for (const char* name : {"Missing.app", "../LoginItems/BrindletHelper.app", ""}) {
        ref = bundle.Ref();
        EXPECT_EQ(LSGetLoginItemFSRef(name, ref), fnfErr) << name;
        EXPECT_EQ(ref.path[0], '\0');
    }
    CFBundleSetMainBundleResourcesPath(nullptr);
}

TEST(CarbonUtilities, AlertSoundsKeepTheLastRegisteredSound)
{
    ScratchFolder sounds;
    sounds.Write("Blow.aiff", "FORM");
    sounds.Write("Glass.aiff", "FORM");
    Diagnostics::Capture quiet;  // whatever the machine says about its sound output
    PlayAlertSound(sounds.Ref("Blow.aiff"));
    const SystemSoundActionID blow = GlobalAlertSoundAction;
    EXPECT_NE(blow, 0u);
    // A sound file that does not exist changes nothing.
    PlayAlertSound(sounds.Ref("Missing.aiff"));
    EXPECT_EQ(GlobalAlertSoundAction, blow);
    PlayAlertSound(sounds.Ref("Glass.aiff"));
    EXPECT_NE(GlobalAlertSoundAction, blow);
    // The previous sound's registration was given up.
    EXPECT_EQ(SystemSoundRemoveActionID(blow), paramErr);
    Beep();
    EXPECT_LE(quiet.Lines().size(), 1u);
}
