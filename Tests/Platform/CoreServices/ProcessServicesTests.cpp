#include <CarbonCore/CarbonEvents.h>
#include <CoreServices/AppleEvents.h>
#include <CoreServices/FloatingPointMask.h>
#include <CoreServices/Processes.h>
#include <CoreServices/SingleInstance.h>

#include <CFTestSupport.h>
#include <ChildProcess.h>
#include <FileFixtures.h>
#include <RunUntil.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr char kChildVariable[] = "BRINDLET_PROCESS_CHILD";

void EnsureCoreApplication()
{
    static int argc = 1;
    static char name[] = "ProcessServicesTests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        new QCoreApplication(argc, argv);
}

ProcessSerialNumber PSNOf(pid_t pid)
{
    ProcessSerialNumber psn{};
    EXPECT_EQ(GetProcessForPID(pid, &psn), noErr) << pid;
    return psn;
}

// The serial number of a process that has ended since (and been reaped).
ProcessSerialNumber EndedProcess()
{
    const pid_t child = fork();
    if (child == 0) {
        pause();
        _exit(0);
    }
    const ProcessSerialNumber psn = PSNOf(child);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return psn;
}

// What the window layer and the application were told, in order.
struct Record {
    std::vector<std::string> log;
    bool active = false;
    pid_t front = 0;
    pid_t activated = 0;
};

Record* gRecord = nullptr;

ApplicationWindowsHook RecordingHook(Record* record, bool withOtherProcesses)
{
    ApplicationWindowsHook hook{};
    hook.setApplicationHidden = [](Boolean hidden, void* refCon) {
        static_cast<Record*>(refCon)->log.push_back(hidden ? "windows hidden" : "windows shown");
    };
    hook.activateApplication = [](void* refCon) { static_cast<Record*>(refCon)->log.push_back("activated"); };
    hook.isApplicationActive = [](void* refCon) -> Boolean { return static_cast<Record*>(refCon)->active; };
    hook.frontProcessID = [](void* refCon) { return static_cast<Record*>(refCon)->front; };
    if (withOtherProcesses)
        hook.activateProcess = [](pid_t pid, void* refCon) -> Boolean {
            static_cast<Record*>(refCon)->activated = pid;
            return true;
        };
    hook.refCon = record;
    return hook;
}

OSStatus RecordApplicationEvent(EventHandlerCallRef, EventRef event, void*)
{
    if (gRecord)
        gRecord->log.push_back(GetEventKind(event) == kEventAppHidden ? "app hidden" : "app shown");
    return eventNotHandledErr;
}

// Records kEventAppHidden and kEventAppShown while it lives.
struct ApplicationEventRecorder {
    explicit ApplicationEventRecorder(Record* record)
    {
        gRecord = record;
        const EventTypeSpec kinds[] = {{kEventClassApplication, kEventAppHidden},
                                       {kEventClassApplication, kEventAppShown}};
        InstallApplicationEventHandler(RecordApplicationEvent, 2, kinds, nullptr, &handler);
    }
    ~ApplicationEventRecorder()
    {
        RemoveEventHandler(handler);
        gRecord = nullptr;
    }
    EventHandlerRef handler = nullptr;
};

// Leaves the process shown and unhooked, whatever a test did.
struct ProcessStateRestorer {
    ~ProcessStateRestorer()
    {
        SetApplicationWindowsHook(nullptr);
        const ProcessSerialNumber self{0, kCurrentProcess};
        ShowHideProcess(&self, true);
    }
};

}  // namespace

TEST(Processes, SameProcessComparesWhatTheNumbersName)
{
    ProcessSerialNumber self{};
    ASSERT_EQ(GetCurrentProcess(&self), noErr);
    const ProcessSerialNumber current{0, kCurrentProcess};
    const ProcessSerialNumber parent = PSNOf(getppid());
    const ProcessSerialNumber bogus{7, 7};
    struct Row {
        const char* what;
        const ProcessSerialNumber* first;
        const ProcessSerialNumber* second;
        OSErr status;
        Boolean same;
    };
    const Row rows[] = {
        {"itself", &self, &self, noErr, true},     {"the current process", &self, &current, noErr, true},
        {"another", &self, &parent, noErr, false}, {"a number that names none", &self, &bogus, paramErr, false},
        {"nil", nullptr, &self, paramErr, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Boolean same = 77;
        EXPECT_EQ(SameProcess(row.first, row.second, &same), row.status);
        EXPECT_EQ(same, row.status == noErr ? row.same : 77);
    }
    EXPECT_EQ(SameProcess(&self, &self, nullptr), paramErr);
}

TEST(Processes, HidingAndFrontingThisProcessGoThroughTheWindowLayerAndTellTheApplication)
{
    ProcessStateRestorer restore;
    Record record;
    const ApplicationWindowsHook hook = RecordingHook(&record, false);
    SetApplicationWindowsHook(&hook);
    ApplicationEventRecorder recorder(&record);
    ProcessSerialNumber self{};
    ASSERT_EQ(GetCurrentProcess(&self), noErr);

    struct Step {
        const char* what;
        std::function<OSErr()> call;
        std::vector<std::string> log;
        bool visible;
    };
    const Step steps[] = {
        {"hide", [&] { return ShowHideProcess(&self, false); }, {"windows hidden", "app hidden"}, false},
        {"hide again: nothing", [&] { return ShowHideProcess(&self, false); }, {}, false},
        {"to the front shows first",
         [&] { return SetFrontProcess(&self); },
         {"windows shown", "app shown", "activated"},
         true},
        {"show again: nothing", [&] { return ShowHideProcess(&self, true); }, {}, true},
        {"to the front again only activates", [&] { return SetFrontProcess(&self); }, {"activated"}, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        record.log.clear();
        EXPECT_EQ(step.call(), noErr);
        EXPECT_EQ(record.log, step.log);
        EXPECT_EQ(IsProcessVisible(&self), step.visible);
    }

    // The front process: this one while its window is active, else the one
    // the window layer names, else none.
    ProcessSerialNumber front{};
    Boolean same = false;
    record.active = true;
    ASSERT_EQ(GetFrontProcess(&front), noErr);
    EXPECT_TRUE(SameProcess(&front, &self, &same) == noErr && same);
    record.active = false;
    record.front = getppid();
    ASSERT_EQ(GetFrontProcess(&front), noErr);
    pid_t pid = 0;
    EXPECT_TRUE(GetProcessPID(&front, &pid) == noErr && pid == getppid());
    const ProcessSerialNumber ended = EndedProcess();
    record.front = static_cast<pid_t>(ended.lowLongOfPSN);  // the PID a serial number carries
    ProcessSerialNumber untouched{123, 456};
    EXPECT_EQ(GetFrontProcess(&untouched), procNotFound);
    EXPECT_EQ(untouched.highLongOfPSN, 123u);
    EXPECT_EQ(untouched.lowLongOfPSN, 456u);
}

TEST(Processes, OtherProcessesAreReachedOnlyWhereSomethingReachesThem)
{
    ProcessStateRestorer restore;
    EnsureCoreApplication();
    Record record;
    const ProcessSerialNumber endedPSN = EndedProcess();
    const ProcessSerialNumber parent = PSNOf(getppid());
    const ProcessSerialNumber bogus{7, 7};

    // Without the window layer's help a process that is no instance of ours
    // cannot be brought forward or hidden, and counts as visible.
    ApplicationWindowsHook hook = RecordingHook(&record, false);
    SetApplicationWindowsHook(&hook);
    struct Row {
        const char* what;
        const ProcessSerialNumber* psn;
        OSErr status;
        Boolean visible;
    };
    const Row rows[] = {
        {"a process that has ended", &endedPSN, procNotFound, false},
        {"another process nothing reaches", &parent, procNotFound, true},
        {"a number that names none", &bogus, paramErr, false},
        {"nil", nullptr, paramErr, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(SetFrontProcess(row.psn), row.status);
        EXPECT_EQ(ShowHideProcess(row.psn, false), row.status);
        EXPECT_EQ(IsProcessVisible(row.psn), row.visible);
    }
    EXPECT_TRUE(record.log.empty());

    // With it, the window layer is asked.
    hook = RecordingHook(&record, true);
    SetApplicationWindowsHook(&hook);
    EXPECT_EQ(SetFrontProcess(&parent), noErr);
    EXPECT_EQ(record.activated, getppid());
    EXPECT_EQ(SetFrontProcess(&endedPSN), procNotFound);
}

// ---- single instance ----

TEST(SingleInstance, BusNamesFromBundleIdentifiers)
{
    struct Row {
        const char* identifier;
        const char* name;
    };
    const std::string tooLong(300, 'a');
    const Row rows[] = {
        {"com.example.Brindlet", "org.brindlet.Instance.com.example.Brindlet"},
        {"com.example.my app+", "org.brindlet.Instance.com.example.my_app_"},
        {"3d.viewer", "org.brindlet.Instance._3d.viewer"},
        {"a..b.", "org.brindlet.Instance.a.b"},
        {"caf\xc3\xa9", "org.brindlet.Instance.caf__"},
        {"...", ""},
        {"", ""},
        {tooLong.c_str(), ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.identifier);
        CFRef<CFStringRef> name(CopySingleInstanceBusName(MakeString(row.identifier)));
        EXPECT_EQ(UTF8Of(name), row.name);
    }
}

namespace {

std::vector<std::string> gEvents;  // core events delivered here: "<id> <path> <path>…"

OSErr RecordCoreEvent(const AppleEvent* event, AppleEvent*, SRefCon)
{
    OSType id = 0;
    AEGetAttributePtr(event, keyEventIDAttr, typeType, nullptr, &id, sizeof id, nullptr);
    std::string line = {char(id >> 24), char(id >> 16), char(id >> 8), char(id)};
    AEDescList list;
    if (AEGetParamDesc(event, keyDirectObject, typeAEList, &list) == noErr) {
        long count = 0;
        AECountItems(&list, &count);
        for (long i = 1; i <= count; ++i) {
            FSRef ref;
            if (AEGetNthPtr(&list, i, typeFSRef, nullptr, nullptr, &ref, sizeof ref, nullptr) == noErr)
                line += std::string(" ") + ref.path;
        }
        AEDisposeDesc(&list);
    }
    gEvents.push_back(line);
    return noErr;
}

struct CoreEventRecorder {
    CoreEventRecorder()
    {
        gEvents.clear();
        AEInstallEventHandler(kCoreEventClass, typeWildCard, RecordCoreEvent, nullptr, false);
    }
    ~CoreEventRecorder() { AERemoveEventHandler(kCoreEventClass, typeWildCard, RecordCoreEvent, false); }
};

// A bundle identifier no other test process uses.
std::string TestIdentifier(const char* what)
{
    return std::string("org.brindlet.tests.") + what + ".p" + std::to_string(getpid());
}

std::string ChildWord(std::istringstream& words)
{
    std::string word;
    words >> word;
    return word;
}

}  // namespace

// The child's side. Scripts:
//   launch <identifier> <folder> <argument>…   a launch from <folder> with
//       the arguments; passes when another instance took it
//   first <identifier>                        a launch that must be the instance
//   serve <identifier>                        the instance; passes once it was
//       hidden, shown and brought to the front by another process
TEST(ProcessServicesChild, DISABLED_Run)
{
    const char* script = std::getenv(kChildVariable);
    ASSERT_NE(script, nullptr);
    EnsureCoreApplication();
    std::istringstream words(script);
    const std::string role = ChildWord(words);
    CFRef<CFStringRef> identifier(MakeString(ChildWord(words)));
    if (role == "launch") {
        ASSERT_EQ(chdir(ChildWord(words).c_str()), 0);
        std::vector<std::string> arguments = {"ProcessServicesTests"};
        for (std::string word; words >> word;)
            arguments.push_back(word);
        std::vector<const char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(argument.c_str());
        argv.push_back(nullptr);
        EXPECT_TRUE(LaunchSingleInstance(identifier, static_cast<int>(arguments.size()), argv.data()));
    } else if (role == "first") {
        const char* argv[] = {"ProcessServicesTests", nullptr};
        EXPECT_FALSE(LaunchSingleInstance(identifier, 1, argv));
    } else if (role == "serve") {
        const char* argv[] = {"ProcessServicesTests", nullptr};
        ASSERT_FALSE(LaunchSingleInstance(identifier, 1, argv));
        Record record;
        const ApplicationWindowsHook hook = RecordingHook(&record, false);
        SetApplicationWindowsHook(&hook);
        ApplicationEventRecorder recorder(&record);
        const std::vector<std::string> expected = {"windows hidden", "app hidden", "windows shown", "app shown",
                                                   "activated"};
        EXPECT_TRUE(RunUntil([&] { return record.log.size() >= expected.size(); }, 60));
        EXPECT_EQ(record.log, expected);
        SetApplicationWindowsHook(nullptr);
        // Ends as a program does: the answer to the last request leaves
        // before the name (without it, the request that came last could
        // be left unanswered by a process already gone).
        EndSingleInstance();
    } else {
        FAIL() << "unknown role " << role;
    }
}

namespace {

ChildProcess StartChild(const std::string& script)
{
    ChildProcess::Options options;
    options.environment = {{kChildVariable, script}};
    return ChildProcess("ProcessServicesChild.DISABLED_Run", std::move(options));
}

bool NameIsOwned(const std::string& identifier)
{
    CFRef<CFStringRef> name(CopySingleInstanceBusName(MakeString(identifier)));
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(QString::fromStdString(UTF8Of(name)));
}

}  // namespace

TEST(SingleInstance, ASecondLaunchHandsItsFilesToTheFirstAndEnds)
{
    EnsureCoreApplication();
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus (run under scripts/with-test-env.sh)";
    ProcessStateRestorer restore;
    CoreEventRecorder recorder;
    FlushEventQueue(GetMainEventQueue());
    ScratchFolder folder;
    folder.Write("notes.txt", "n");
    const std::string identifier = TestIdentifier("launch");

    const char* argv[] = {"ProcessServicesTests", nullptr};
    ASSERT_FALSE(LaunchSingleInstance(MakeString(identifier), 1, argv));
    EXPECT_TRUE(NameIsOwned(identifier));
    ASSERT_TRUE(RunUntil([] { return !gEvents.empty(); }));
    EXPECT_EQ(gEvents, (std::vector<std::string>{"oapp"}));
    gEvents.clear();

    // The second launch: a relative file and a missing one, from the folder.
    ChildProcess second = StartChild("launch " + identifier + " " + folder.Path() + " notes.txt gone.txt");
    ASSERT_TRUE(RunUntil([&] { return second.Wait(0) && !gEvents.empty(); }, 60)) << second.Report();
    EXPECT_TRUE(second.Succeeded()) << second.Report();
    EXPECT_NE(second.Output().find("Warning: The file gone.txt does not exist and is not opened."), std::string::npos)
        << second.Report();
    EXPECT_EQ(gEvents, (std::vector<std::string>{"odoc " + (folder / "notes.txt")}));

    // A launch without files brings the instance back ('rapp').
    gEvents.clear();
    ChildProcess third = StartChild("launch " + identifier + " " + folder.Path());
    ASSERT_TRUE(RunUntil([&] { return third.Wait(0) && !gEvents.empty(); }, 60)) << third.Report();
    EXPECT_TRUE(third.Succeeded()) << third.Report();
    EXPECT_EQ(gEvents, (std::vector<std::string>{"rapp"}));

    // Once the instance gives its name up, the next launch is the instance.
    EndSingleInstance();
    EXPECT_FALSE(NameIsOwned(identifier));
    ChildProcess next = StartChild("first " + identifier);
    ASSERT_TRUE(RunUntil([&] { return next.Wait(0); }, 60)) << next.Report();
    EXPECT_TRUE(next.Succeeded()) << next.Report();
    EXPECT_EQ(gEvents, (std::vector<std::string>{"rapp"})) << "nothing more reached the old instance";
}

TEST(SingleInstance, ProcessServicesReachAnotherInstanceOfOurs)
{
    EnsureCoreApplication();
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus (run under scripts/with-test-env.sh)";
    const std::string identifier = TestIdentifier("serve");
    ChildProcess instance = StartChild("serve " + identifier);
    ASSERT_TRUE(RunUntil([&] { return NameIsOwned(identifier) || instance.Wait(0); }, 60)) << instance.Report();
    const ProcessSerialNumber psn = PSNOf(instance.Pid());

    EXPECT_TRUE(IsProcessVisible(&psn));
    EXPECT_EQ(ShowHideProcess(&psn, false), noErr);
    EXPECT_FALSE(IsProcessVisible(&psn));
    EXPECT_EQ(ShowHideProcess(&psn, true), noErr);
    EXPECT_TRUE(IsProcessVisible(&psn));
    EXPECT_EQ(SetFrontProcess(&psn), noErr);
    ASSERT_TRUE(instance.Wait(60)) << instance.Report();
    EXPECT_TRUE(instance.Succeeded()) << instance.Report();
    // Ended: its name went with it.
    EXPECT_EQ(SetFrontProcess(&psn), procNotFound);
}

// ---- the floating-point exception mask ----

TEST(FloatingPointMask, MaskedExceptionsAnswerValuesUnmaskedOnesTrap)
{
    const UInt32 before = SetFloatingPointExceptionMask(kFPExceptionAll);
    EXPECT_EQ(GetFloatingPointExceptionMask(), kFPExceptionAll);
    for (UInt32 bit : {kFPExceptionInvalid, kFPExceptionDivideByZero, kFPExceptionOverflow, kFPExceptionUnderflow,
                       kFPExceptionInexact}) {
        SCOPED_TRACE(bit);
        EXPECT_EQ(SetFloatingPointExceptionMask(kFPExceptionAll & ~bit), kFPExceptionAll);
        EXPECT_EQ(GetFloatingPointExceptionMask() & kFPExceptionAll & ~kFPExceptionDenormal,
                  kFPExceptionAll & ~bit & ~kFPExceptionDenormal);
        SetFloatingPointExceptionMask(kFPExceptionAll);
    }
    volatile double zero = 0;
    EXPECT_TRUE(std::isinf(1.0 / zero)) << "masked: division by zero answers an infinity";

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SetFloatingPointExceptionMask(kFPExceptionAll & ~kFPExceptionDivideByZero);
            volatile double result = 1.0 / zero;
            (void)result;
            std::_Exit(0);
        },
        [](int status) {
            // Killed by the signal, or ended by a sanitizer that caught it
            // (and said so: "FPE").
            return (WIFSIGNALED(status) && WTERMSIG(status) == SIGFPE) ||
                   (WIFEXITED(status) && WEXITSTATUS(status) != 0);
        },
        "^$|FPE");
    SetFloatingPointExceptionMask(before);
}
