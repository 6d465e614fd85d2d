#pragma once

// What the desktop program's benchmarks share: the program started as a
// user starts it, in a scratch home made for the run and removed at its end;
// row texts that are the same on every run; the timing and its statistics.

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <Sources/Cards/UGenericCard.h>
#include <Sources/Globals.h>
#include <Sources/Interface/UMainWindow.h>
#include <Sources/Interface/UScreen.h>
#include <Sources/Tasks/TasksInitialization.h>
#include <Sources/Tasks/UBrindlet.h>
#include <Sources/UBrindletApplication.h>
#include <SpriteEngine/SpriteEngineInitialization.h>
#include <Units/RuntimeProfile.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <CarbonCore/CarbonEvents.h>
#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFDate.h>
#include <Foundation/NSDate.h>
#include <HIToolbox/MacWindows.h>
#include <Support/Diagnostics.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace BrindletBenchmark {

// The program's name in messages, and the scratch home Fail removes (a
// failed check ends the program without running destructors).
inline std::string programName = "benchmark";
inline std::string scratchHomePath;

[[noreturn]] inline void Fail(const std::string& what)
{
    std::fprintf(stderr, "%s: %s\n", programName.c_str(), what.c_str());
    if (!scratchHomePath.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(scratchHomePath, ignored);
    }
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}

// The rounds to run: the environment variable when it holds a positive
// number (more rounds, for a profiler), else the default.
inline int RoundsFrom(const char* variable, int fallback)
{
    const char* text = std::getenv(variable);
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

// splitmix64: the same texts with every compiler, so every run measures
// the same rows.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    uint64_t Below(uint64_t bound) { return Next() % bound; }

private:
    uint64_t state_;
};

// A task's text as people write them: a verb, an object, now and then a tail.
inline std::string RowText(Random& random)
{
    static constexpr const char* verbs[] = {"Call", "Email",   "Review", "Draft",   "Book",  "Pay",   "Renew",
                                            "Send", "Fix",     "Order",  "Plan",    "Check", "Print", "Update",
                                            "Sign", "Pick up", "Cancel", "Confirm", "Write", "Ask"};
    static constexpr const char* objects[] = {"the dentist",       "Anna about the offsite",
                                              "Q3 budget",         "release notes",
                                              "train tickets",     "the electricity bill",
                                              "passport",          "invoice #2231",
                                              "login bug",         "printer toner",
                                              "garden furniture",  "tax return",
                                              "slides for Friday", "the lease",
                                              "photos from Kyoto", "Grüße an Jürgen",
                                              "会議の資料",        "отчёт за квартал",
                                              "v2.1 changelog",    "parcel at the post office"};
    static constexpr const char* tails[] = {
        "",         "", " before lunch", " (urgent)", " — see notes", " & follow up", " by Thursday", " for the team",
        " <draft>", ""};
    return std::string(verbs[random.Below(std::size(verbs))]) + " " + objects[random.Below(std::size(objects))] +
           tails[random.Below(std::size(tails))];
}

// Appends the benchmark rows' row number `row` to the card: every fifth
// nested in the row before it, every third with a due date within [-8, 32)
// days of `now` (some past, so some are overdue), every seventh done.
// `parent` is the last top-level row, kept between calls.
inline brindlet::TTask* AddBenchmarkRow(brindlet::TBrindlet* card, CFStringRef text, int row, brindlet::TTask*& parent,
                                        Random& random, CFAbsoluteTime now)
{
    brindlet::TTask* task = nullptr;
    if (row % 5 == 4 && parent != nullptr) {
        parent->Select();
        task = card->AddTask(text, brindlet::kInsertIntoSelection);
    } else {
        task = card->AddTask(text, brindlet::kInsertLast);
        parent = task;
    }
    if (task == nullptr)
        Fail("a row could not be added");
    if (row % 3 == 0) {
        const double days = double(int(random.Below(40)) - 8);
        NSDate* due = NSDate::newWithTimeIntervalSinceReferenceDate(std::floor(now / 86400 + days) * 86400);
        task->SetDueDate(due);
        due->release();
    }
    if (row % 7 == 6)
        task->SetCompleted(true);
    return task;
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

inline double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(fraction * double(values.size() - 1) + 0.5))];
}

inline double MillisecondsOf(const std::function<void()>& body)
{
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// One pass of the program's loop, untimed between rounds: queued events,
// due timers, and the autoreleased objects drained as the loop drains them.
inline void RunLoopPass()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    FireDueEventLoopTimers(GetMainEventLoop());
    DispatchQueuedEvents();
    DumpAutoreleaseTable();
}

// A scratch home for the program: HOME and the XDG folders inside a fresh
// folder, removed with everything in it at the end.
class ScratchHome {
public:
    ScratchHome()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + programName + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            Fail("cannot make a scratch home");
        path_ = pattern;
        scratchHomePath = path_;
        for (const char* name : {"home", "config", "data", "cache"})
            std::filesystem::create_directory(path_ + "/" + name);
        setenv("HOME", (path_ + "/home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (path_ + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (path_ + "/data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (path_ + "/cache").c_str(), 1);
    }
    ~ScratchHome()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
        scratchHomePath.clear();
    }
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The desktop program started as a new user starts it (offscreen unless a
// platform is named), in a scratch home, with its first sheet open. New
// cards open at rest: their page-curl transition (when the user has it on)
// plays over frames of the canvas, and what is measured are cards as they
// stay.
class StartedProgram {
public:
    StartedProgram(const char* name, int& argc, char** argv)
    {
        programName = name;
        home_ = std::make_unique<ScratchHome>();
        if (std::getenv("QT_QPA_PLATFORM") == nullptr)
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        qtApplication_ = std::make_unique<QApplication>(argc, argv);
        SetRuntimeProfile(RuntimeProfile::Desktop);
        InitializeSpriteEngineUnits();
        InitializeUGenericCardUnit();
        brindlet::InitializeTaskUnits();
        CFBundleSetMainBundleResourcesPath(BRINDLET_SHARE_DIR);
        application_ =
            TApplication::Create<brindlet::TBrindletApplication>(kBrindletSignature, BrindletBundleIdentifier());
        if (application_->StartUp() != 0 || application_->GetWindow() == nullptr)
            Fail("the application did not start");
        screen_ = application_->GetWindow()->GetScreen();
        if (screen_ == nullptr || !screen_->IsSheetOpen())
            Fail("the screen has no open sheet");
        if (TPreferenceHandlerApplication* preferences = TApplication::Prefs())
            preferences->SetBooleanValue("TPreferences.showTransitions", false);
    }
    // The program's window goes with it, quietly.
    ~StartedProgram()
    {
        Diagnostics::Capture quiet;
        brindlet::TMainWindow* window = application_->GetWindow();
        WindowRef windowRef = window != nullptr ? window->GetWindowRef() : nullptr;
        application_->Release();
        if (windowRef != nullptr)
            DisposeWindow(windowRef);
    }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    brindlet::TScreen* Screen() const { return screen_; }
    WindowRef Window() const { return application_->GetWindow()->GetWindowRef(); }
    const std::string& HomePath() const { return home_->Path(); }

private:
    std::unique_ptr<ScratchHome> home_;
    std::unique_ptr<QApplication> qtApplication_;
    brindlet::TBrindletApplication* application_ = nullptr;
    brindlet::TScreen* screen_ = nullptr;
};

}  // namespace BrindletBenchmark
