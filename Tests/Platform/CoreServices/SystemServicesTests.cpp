
#include <CFTestSupport.h>
#include <CoreGraphics/CoreGraphics.h>
#include <CoreServices/CoreServices.h>
#include <FileFixtures.h>
#include <Support/Diagnostics.h>

#include <QImage>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string NameOfProcess(const ProcessSerialNumber& psn)
{
    CFStringRef name = nullptr;
    if (CopyProcessName(&psn, &name) != noErr)
        return "<none>";
    CFRef<CFStringRef> owned(name);
    return UTF8Of(name);
}

bool Walks(pid_t wanted)
{
    ProcessSerialNumber psn{0, kNoProcess};
    while (GetNextProcess(&psn) == noErr) {
        pid_t pid = 0;
        if (GetProcessPID(&psn, &pid) == noErr && pid == wanted)
            return true;
    }
    EXPECT_EQ(psn.lowLongOfPSN, static_cast<UInt32>(kNoProcess));
    return false;
}

std::string ThemeName(IconRef icon)
{
    CFRef<CFStringRef> name(IconRefCopyThemeName(icon));
    return name ? UTF8Of(name) : "<nil>";
}

}  // namespace

TEST(Processes, WalkAndNameRunningProcesses)
{
    ProcessSerialNumber self{};
    ASSERT_EQ(GetCurrentProcess(&self), noErr);
    // The kernel keeps 15 bytes of the name; the rest comes from the file
    // the program was started as.
    EXPECT_EQ(NameOfProcess(self), "CoreServicesTests");
    const ProcessSerialNumber current{0, kCurrentProcess};
    EXPECT_EQ(NameOfProcess(current), "CoreServicesTests");
    EXPECT_TRUE(Walks(getpid()));

    // A child that has ended but is not yet waited for is no longer running.
    pid_t child = -1;
    char* arguments[] = {const_cast<char*>("true"), nullptr};
    ASSERT_EQ(posix_spawnp(&child, "true", nullptr, nullptr, arguments, environ), 0);
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
    ProcessSerialNumber zombie{};
    EXPECT_EQ(GetProcessForPID(child, &zombie), procNotFound);
    EXPECT_FALSE(Walks(child));
    waitpid(child, nullptr, 0);

    ProcessSerialNumber bogus{7, 7};
    EXPECT_EQ(GetNextProcess(&bogus), paramErr);
}

TEST(Gestalt, ReportsTheSystemVersionTheUnitsKnow)
{
    SInt32 value = 0;
    EXPECT_EQ(Gestalt(gestaltSystemVersionMinor, &value), noErr);
    EXPECT_EQ(value, 6);
    EXPECT_EQ(Gestalt(gestaltSystemVersionMajor, &value), noErr);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(Gestalt(MakeOSType("none"), &value), gestaltUndefSelectorErr);
}

TEST(SystemSound, IsSilentAndSaysSoOnceWithoutASoundServer)
{
    if (Exists("/dev/snd/controlC0"))
        GTEST_SKIP() << "this machine has a sound card";
    ScratchFolder runtime;
    ScopedEnvironment environment;
    environment.Unset("PULSE_SERVER");
    environment.Set("XDG_RUNTIME_DIR", runtime.Path());

    runtime.Write("chime.wav", "RIFF");
    runtime.MakeFolder("Folder");
    const FSRef chime = runtime.Ref("chime.wav"), folder = runtime.Ref("Folder"), missing = runtime.Ref("none.wav");
    SystemSoundActionID action = 0;
    ASSERT_EQ(SystemSoundGetActionID(&chime, &action), noErr);
    EXPECT_NE(action, 0u);
    SystemSoundActionID other = 0;
    EXPECT_EQ(SystemSoundGetActionID(&folder, &other), notAFileErr);
    EXPECT_EQ(SystemSoundGetActionID(&missing, &other), paramErr);

    SystemSoundResetFailureReport();
    Diagnostics::Capture capture;
    SysBeep(1);
    AlertSoundPlay();
    AlertSoundPlayCustomSound(action);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0], "Warning: Sounds are silent: no sound server or sound card is available.");

    EXPECT_EQ(SystemSoundRemoveActionID(action), noErr);
    EXPECT_EQ(SystemSoundRemoveActionID(action), paramErr);
}

TEST(IconServices, IconsNameThemeIconsAndAlwaysHavePixels)
{
    struct SystemCase {
        OSType type;
        const char* theme;
    } systemIcons[] = {
        {kGenericURLIcon, "text-html"},
        {kNoWriteIcon, "emblem-readonly"},
        {kGenericFolderIcon, "folder"},
        {MakeOSType("????"), "text-x-generic"},
    };
    for (const SystemCase& c : systemIcons) {
        IconRef icon = nullptr;
        ASSERT_EQ(GetIconRef(kOnSystemDisk, kSystemIconsCreator, c.type, &icon), noErr);
        EXPECT_EQ(ThemeName(icon), c.theme);
        EXPECT_EQ(ReleaseIconRef(icon), noErr);
    }

    ScratchFolder scratch;
    scratch.Write("dot.png", std::string("\x89PNG\r\n\x1a\n", 8));
    scratch.Write("notes.txt", "plain words");
    scratch.MakeFolder("Folder");
    scratch.MakeFolder("Tool.app");
    struct FileCase {
        const char* name;
        const char* theme;
    } fileIcons[] = {
        {"dot.png", "image-png"},
        {"notes.txt", "text-plain"},
        {"Folder", "folder"},
        {"Tool.app", "application-x-executable"},
    };
    for (const FileCase& c : fileIcons) {
        const FSRef ref = scratch.Ref(c.name);
        IconRef icon = nullptr;
        ASSERT_EQ(GetIconRefFromFileInfo(&ref, 0, nullptr, 0, nullptr, kIconServicesNormalUsageFlag, &icon, nullptr),
                  noErr);
        EXPECT_EQ(ThemeName(icon), c.theme) << c.name;
        ReleaseIconRef(icon);
    }
    const FSRef missing = scratch.Ref("missing");
    IconRef none = reinterpret_cast<IconRef>(1);
    EXPECT_EQ(GetIconRefFromFileInfo(&missing, 0, nullptr, 0, nullptr, 0, &none, nullptr), paramErr);
    EXPECT_EQ(none, nullptr);

    // A registered image is read from its file once per size: drawing it
    // again does not go back to the disk.
    {
        QImage red(4, 4, QImage::Format_ARGB32);
        red.fill(Qt::red);
        ASSERT_TRUE(red.save(QString::fromStdString((scratch / "red.png"))));
        const FSRef file = scratch.Ref("red.png");
        IconRef registered = nullptr;
        ASSERT_EQ(RegisterIconRefFromFSRef(MakeOSType("Test"), MakeOSType("red "), &file, &registered), noErr);
        Boolean placeholder = true;
        CFRef<CGImageRef> first(IconRefCreateCGImage(registered, 16, &placeholder));
        ASSERT_TRUE(first);
        EXPECT_FALSE(placeholder);
        ASSERT_TRUE(std::filesystem::remove(scratch / "red.png"));
        CFRef<CGImageRef> again(IconRefCreateCGImage(registered, 16, &placeholder));
        EXPECT_EQ(again.get(), first.get());
        EXPECT_FALSE(placeholder);
        // A size never drawn before needs the file, which is gone.
        CFRef<CGImageRef> other(IconRefCreateCGImage(registered, 8, &placeholder));
        EXPECT_TRUE(placeholder);
        EXPECT_EQ(ReleaseIconRef(registered), noErr);
    }

    // Without a GUI application there is no icon theme: a drawn placeholder
    // of the size asked for stands in.
    IconRef icon = nullptr;
    ASSERT_EQ(GetIconRef(kOnSystemDisk, kSystemIconsCreator, kGenericDocumentIcon, &icon), noErr);
    EXPECT_EQ(AcquireIconRef(icon), noErr);
    Boolean placeholder = false;
    CFRef<CGImageRef> image(IconRefCreateCGImage(icon, 32, &placeholder));
    ASSERT_TRUE(image);
    EXPECT_TRUE(placeholder);
    EXPECT_EQ(CGImageGetWidth(image), 32u);
    EXPECT_EQ(CGImageGetHeight(image), 32u);
    EXPECT_EQ(IconRefCreateCGImage(icon, 0, nullptr), nullptr);
    EXPECT_EQ(ReleaseIconRef(icon), noErr);
    EXPECT_TRUE(IsValidIconRef(icon));
    EXPECT_EQ(ReleaseIconRef(icon), noErr);
    EXPECT_FALSE(IsValidIconRef(icon));
    EXPECT_EQ(ReleaseIconRef(icon), paramErr);
}
