// What the desktop program's sheet files cost: a sheet of 20 task-list
// cards holding 1,000 rows (a fifth of them nested, a third with due
// dates), saved and loaded through the screen as the program does it, and
// the sheet file's bytes parsed by our property-list reader next to
// libplist's.
//
// - Save: a change posted, then the screen's save, which archives the main
//   layer, draws the whole screen for the thumbnail, scales it, encodes it
//   as PNG and writes the file atomically. Goal: 50 ms.
// - Load: the screen's load of that file, which reads and parses it,
//   rebuilds the cards and composites each one. Goal: 30 ms.
// - Load in a fresh program: the same file loaded once by a new process of
//   this benchmark, which has drawn none of the sheet's texts before (the
//   median of three).
// - Parse: ours / libplist on the same bytes (the time ratio: below 1 is
//   ours faster).
//
// The save and load goals are the user's wait, so they are judged by the
// wall clock (a save includes its fsync calls); the save is also timed
// step by step, with the public calls it is made of, to show where its
// time goes. Before any timing the saved file is checked (20 cards and the
// thumbnail under "image"), and so is the loaded sheet (20 cards, 1,000
// rows). Rounds alternate the operations (and, for the parse, which side
// goes first), so a machine that slows down part-way affects all alike.
// Google Benchmark first reports each operation on its own.
//
// The program runs in a scratch home (made here, removed at the end), as
// the desktop program runs for a new user.

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <Sources/Cards/UGenericCard.h>
#include <Sources/Globals.h>
#include <Sources/Interface/UMainWindow.h>
#include <Sources/Interface/UScreen.h>
#include <Sources/Tasks/TasksInitialization.h>
#include <Sources/Tasks/UBrindlet.h>
#include <Sources/UBrindletApplication.h>
#include <SpriteEngine/SpriteEngineInitialization.h>
#include <Units/Classes/TArchiverUnit.h>
#include <Units/RuntimeProfile.h>
#include <Units/Utilities/CGUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <CarbonCore/CarbonEvents.h>
#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CGImageQt.h>
#include <Foundation/NSDate.h>
#include <HIToolbox/MacWindows.h>
#include <Support/Diagnostics.h>

#include "BrindletBenchmarkSupport.h"

#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <QApplication>
#include <QImage>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kCards = 20;
constexpr int kRowsPerCard = 50;
constexpr double kSaveGoalMs = 50;
constexpr double kLoadGoalMs = 30;
constexpr int kDefaultRounds = 30;

using namespace BrindletBenchmark;

std::vector<brindlet::TBrindlet*> TaskCards(brindlet::TScreen* screen)
{
    std::vector<brindlet::TBrindlet*> cards;
    TObjectArray* sprites = screen->CopySprites();
    for (void* sprite : *sprites) {
        if (MemberOfClass(static_cast<TObject*>(sprite), brindlet::TBrindlet::StaticClass()))
            cards.push_back(static_cast<brindlet::TBrindlet*>(sprite));
    }
    sprites->Release();
    return cards;
}

int CountRows(brindlet::TTask* task)
{
    int rows = 0;
    for (SInt32 index = 0; index < task->GetChildCount(); ++index)
        rows += 1 + CountRows(task->GetChildAtIndex(index));
    return rows;
}

int CountRows(const std::vector<brindlet::TBrindlet*>& cards)
{
    int rows = 0;
    for (brindlet::TBrindlet* card : cards)
        rows += card->GetRootTask() != nullptr ? CountRows(card->GetRootTask()) : 0;
    return rows;
}

// 20 cards in a 5 × 4 grid over the screen, each with a title and 50 rows:
// every fifth row nested in the row before it, every third with a due date
// (some past, so some cards show their overdue label), every seventh done.
void BuildSheet(brindlet::TScreen* screen)
{
    screen->ClearCards();
    const CGRect view = screen->GetViewRect();
    const CGFloat columnWidth = std::floor(view.size.width / 5);
    const CGFloat rowHeight = std::floor(view.size.height / 4);
    Random random(0x5368656574ULL);
    const CFAbsoluteTime now = CFAbsoluteTimeGetCurrent();
    for (int index = 0; index < kCards; ++index) {
        brindlet::TBrindlet* card = brindlet::TBrindlet::CreateUntitled(screen->GetMainLayer());
        if (card == nullptr)
            Fail("a task-list card could not be made");
        screen->StopEditing();
        card->SetLocation(8 + columnWidth * CGFloat(index % 5), 8 + rowHeight * CGFloat(index / 5));
        CFRef<CFStringRef> title(CFStringCreateWithUTF8("List " + std::to_string(index + 1) + ": " + RowText(random)));
        card->SetTitle(title);
        brindlet::TTask* parent = nullptr;
        for (int row = 0; row < kRowsPerCard; ++row) {
            CFRef<CFStringRef> text(CFStringCreateWithUTF8(RowText(random)));
            AddBenchmarkRow(card, text, row, parent, random, now);
        }
    }
    screen->StopEditing();
    // The cards composite (and grow to their rows) as the canvas runs.
    for (brindlet::TBrindlet* card : TaskCards(screen))
        card->CompositeImage();
    screen->ProcessLoop();
    RunLoopPass();
}

// The sheet file as saved: 20 archived cards and the thumbnail as PNG.
void CheckSavedFile(const FSRef& file, const std::string& path)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        Fail("the save wrote no file at " + path);
    TArchiver* archiver = TArchiver::CreateWithFile(file);
    if (archiver->Load() != 0)
        Fail("the saved file cannot be read: " + path);
    if (archiver->Limit() + 1 != kCards)
        Fail("the saved file holds " + std::to_string(archiver->Limit() + 1) + " cards, not 20");
    CFTypeRef png = archiver->GetValue("image");
    if (png == nullptr || CFGetTypeID(png) != CFDataGetTypeID())
        Fail("the saved file has no thumbnail under \"image\"");
    const auto data = static_cast<CFDataRef>(png);
    const QImage image = QImage::fromData(CFDataGetBytePtr(data), int(CFDataGetLength(data)), "PNG");
    if (image.isNull())
        Fail("the thumbnail is no PNG image");
    std::printf("Saved sheet: %lld bytes, 20 cards, a %d x %d PNG thumbnail of %ld bytes\n",
                static_cast<long long>(status.st_size), image.width(), image.height(),
                static_cast<long>(CFDataGetLength(data)));
    archiver->Release();
}

void CheckLoadedSheet(brindlet::TScreen* screen)
{
    const std::vector<brindlet::TBrindlet*> cards = TaskCards(screen);
    if (int(cards.size()) != kCards)
        Fail("the loaded sheet holds " + std::to_string(cards.size()) + " task-list cards, not 20");
    const int rows = CountRows(cards);
    if (rows != kCards * kRowsPerCard)
        Fail("the loaded sheet holds " + std::to_string(rows) + " rows, not 1000");
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

void ParseOurs(const std::string& bytes)
{
    CFDataRef xml = CFDataCreateWithBytesNoCopy(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                                CFIndex(bytes.size()), kCFAllocatorNull);
    CFPropertyListRef tree = CFPropertyListCreateFromXMLData(nullptr, xml, kCFPropertyListMutableContainers, nullptr);
    if (tree == nullptr)
        Fail("our reader refused the sheet file");
    benchmark::DoNotOptimize(tree);
    CFRelease(tree);
    CFRelease(xml);
}

void ParseLibplist(const std::string& bytes)
{
    plist_t tree = nullptr;
    plist_from_xml(bytes.data(), static_cast<uint32_t>(bytes.size()), &tree);
    if (tree == nullptr)
        Fail("libplist refused the sheet file");
    benchmark::DoNotOptimize(tree);
    plist_free(tree);
}

// The save's steps as the screen takes them, each timed: the layer
// archived, the whole screen drawn, the thumbnail scaled, encoded as PNG,
// and the archive written (property-list text and the atomic file write).
// Written to a file of its own outside the sheet folder.
struct SaveSteps {
    double archive = 0, screenImage = 0, scale = 0, png = 0, write = 0;
};

SaveSteps TimeSaveSteps(brindlet::TScreen* screen, const std::string& folder)
{
    SaveSteps steps;
    const std::string path = folder + "/steps.brproj";
    std::ofstream(path) << "";
    FSRef file{};
    if (!FSGetPathRef(ShortString(path), file))
        Fail("cannot name " + path);
    TArchiver* archiver = TArchiver::CreateWithFile(file);
    steps.archive = MillisecondsOf([&] { screen->GetMainLayer()->ArchiveTable(archiver); });
    CGImageRef full = nullptr;
    steps.screenImage = MillisecondsOf([&] { full = screen->CopyImage(screen->GetViewRect(), 1.0f); });
    if (full == nullptr)
        Fail("the screen gave no image");
    CGImageRef thumbnail = nullptr;
    steps.scale = MillisecondsOf([&] {
        const CGFloat divisor = brindlet::SheetStripRatio() / 2.0;
        const CGSize size = CGImageGetSize(full);
        thumbnail = CGImageCreateCopyWithSize(
            full, CGSizeMake(std::floor(size.width / divisor), std::floor(size.height / divisor)));
    });
    CFDataRef png = nullptr;
    steps.png = MillisecondsOf([&] { png = brindlet::CopyPNGData(thumbnail); });
    if (png == nullptr)
        Fail("the thumbnail could not be encoded");
    archiver->SetValue("image", png);
    SInt32 status = 0;
    steps.write = MillisecondsOf([&] { status = archiver->Save(); });
    if (status != 0)
        Fail("the archive could not be written");
    CFRelease(png);
    CGImageRelease(thumbnail);
    CGImageRelease(full);
    archiver->Release();
    return steps;
}

// ---- the load in a fresh process ----
//
// A user opens a sheet in a program that has not drawn it yet: fonts,
// glyphs and laid-out texts of its own rows are not at hand. The benchmark
// runs itself again with SHEET_BENCHMARK_COLD_LOAD naming the saved sheet;
// that run starts the program as a new user does (its first sheet open),
// copies the file into its sheet folder, loads it once, checks it and
// prints the time.

constexpr const char* kColdLoadVariable = "SHEET_BENCHMARK_COLD_LOAD";
constexpr int kColdLoads = 3;

int RunColdLoad(const char* sheet, int& argc, char** argv)
{
    const StartedProgram program("sheet-benchmark-cold", argc, argv);
    brindlet::TScreen* screen = program.Screen();
    CFRef<CFStringRef> folderText(FSCopyPath(screen->GetSheetFolder()));
    const std::string copy = CFStringToUTF8(folderText) + "/Cold Load.brproj";
    std::filesystem::copy_file(sheet, copy, std::filesystem::copy_options::overwrite_existing);
    FSRef file{};
    if (!FSGetPathRef(ShortString(copy), file))
        Fail("cannot name " + copy);
    double milliseconds = 0;
    {
        Diagnostics::Capture quiet;
        milliseconds = MillisecondsOf([&] {
            if (!screen->LoadSheet(file))
                Fail("the fresh program refused the sheet");
        });
    }
    CheckLoadedSheet(screen);
    std::printf("cold-load-ms %.3f\n", milliseconds);
    std::fflush(stdout);
    return EXIT_SUCCESS;
}

// This program again, with the variable set: the milliseconds it printed.
double ColdLoadInFreshProcess(const std::string& sheet)
{
    // Everything the child needs is made before the fork: between fork and
    // exec it only calls what is safe there.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        environment.emplace_back(*entry);
    environment.push_back(std::string(kColdLoadVariable) + "=" + sheet);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    char programName[] = "SheetBenchmark";
    char* const arguments[] = {programName, nullptr};
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        Fail("no pipe for the fresh process");
    const pid_t child = fork();
    if (child < 0)
        Fail("the fresh process could not be made");
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execve("/proc/self/exe", arguments, envp.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;
        output.append(buffer, size_t(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    const size_t at = output.rfind("cold-load-ms ");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || at == std::string::npos)
        Fail("the fresh process did not load the sheet:\n" + output);
    return std::strtod(output.c_str() + at + std::strlen("cold-load-ms "), nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    if (const char* sheet = std::getenv(kColdLoadVariable))
        return RunColdLoad(sheet, argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return EXIT_FAILURE;
    // SHEET_BENCHMARK_ROUNDS: more rounds, for a profiler.
    const int rounds = RoundsFrom("SHEET_BENCHMARK_ROUNDS", kDefaultRounds);

    const StartedProgram program("sheet-benchmark", argc, argv);
    brindlet::TScreen* screen = program.Screen();

    BuildSheet(screen);
    CheckLoadedSheet(screen);
    const FSRef file = screen->GetSheetFile();
    CFRef<CFStringRef> pathText(FSCopyPath(file));
    const std::string path = CFStringToUTF8(pathText);

    auto save = [&] {
        TResponder::PostNotification("SyncSheetChanged");
        screen->SaveSheet();
    };
    auto load = [&] {
        if (!screen->LoadSheet(file))
            Fail("the screen refused its own sheet file");
    };
    // The sheet is saved and loaded back before anything else is timed, and
    // each is seen to have done its work. That first load, the sheet's first
    // in this process, is reported apart from the warm rounds.
    double firstLoad = 0;
    {
        Diagnostics::Capture quiet;
        save();
        if (screen->IsModified())
            Fail("the save left the sheet modified");
        CheckSavedFile(file, path);
        firstLoad = MillisecondsOf(load);
        CheckLoadedSheet(screen);
        RunLoopPass();
    }
    const std::string bytes = ReadBytes(path);
    {
        CFRef<CFDataRef> xml(
            CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), CFIndex(bytes.size())));
        CFRef<CFPropertyListRef> ours(
            CFPropertyListCreateFromXMLData(nullptr, xml, kCFPropertyListMutableContainers, nullptr));
        plist_t theirs = nullptr;
        plist_from_xml(bytes.data(), static_cast<uint32_t>(bytes.size()), &theirs);
        if (!ours || theirs == nullptr || CFGetTypeID(ours) != CFDictionaryGetTypeID() ||
            plist_get_node_type(theirs) != PLIST_DICT ||
            CFDictionaryGetCount(static_cast<CFDictionaryRef>(ours.get())) != CFIndex(plist_dict_get_size(theirs)))
            Fail("the two readers read the sheet file differently");
        plist_free(theirs);
    }
    std::fflush(stdout);

    // Each operation on its own first.
    auto registerTimed = [](const char* name, const std::function<void()>& operation) {
        benchmark::RegisterBenchmark(name,
                                     [operation](benchmark::State& state) {
                                         Diagnostics::Capture quiet;
                                         for (auto _ : state) {
                                             operation();
                                             state.PauseTiming();
                                             quiet.Clear();
                                             RunLoopPass();
                                             state.ResumeTiming();
                                         }
                                     })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(20);
    };
    registerTimed("Sheet/Save", save);
    registerTimed("Sheet/Load", load);
    benchmark::RegisterBenchmark("Parse/Ours", [&](benchmark::State& state) {
        for (auto _ : state)
            ParseOurs(bytes);
        state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Parse/libplist", [&](benchmark::State& state) {
        for (auto _ : state)
            ParseLibplist(bytes);
        state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    })->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // The rounds: a save, a load, a parse by each reader (the first side
    // alternating), and every fifth round the save's steps.
    std::vector<double> saves, loads, parseRatios, oursParses, theirParses;
    std::vector<SaveSteps> steps;
    {
        Diagnostics::Capture quiet;
        for (int round = 0; round < rounds; ++round) {
            saves.push_back(MillisecondsOf(save));
            if (screen->IsModified())
                Fail("a save left the sheet modified");
            RunLoopPass();
            loads.push_back(MillisecondsOf(load));
            RunLoopPass();
            quiet.Clear();
            double ours = 0, theirs = 0;
            if (round % 2 == 0) {
                ours = MillisecondsOf([&] { ParseOurs(bytes); });
                theirs = MillisecondsOf([&] { ParseLibplist(bytes); });
            } else {
                theirs = MillisecondsOf([&] { ParseLibplist(bytes); });
                ours = MillisecondsOf([&] { ParseOurs(bytes); });
            }
            oursParses.push_back(ours);
            theirParses.push_back(theirs);
            parseRatios.push_back(ours / theirs);
            if (round % 5 == 0) {
                steps.push_back(TimeSaveSteps(screen, program.HomePath()));
                RunLoopPass();
            }
        }
        CheckLoadedSheet(screen);
    }
    auto stepMedian = [&](double SaveSteps::*field) {
        std::vector<double> values;
        for (const SaveSteps& step : steps)
            values.push_back(step.*field);
        return Median(values);
    };

    const CGRect view = screen->GetViewRect();
    std::printf("\nSheet of %d task-list cards, %d rows, on a %.0f x %.0f screen; file %zu bytes; %d rounds\n", kCards,
                kCards * kRowsPerCard, view.size.width, view.size.height, bytes.size(), rounds);
    std::printf("  save steps (median): archive %.2f ms, screen image %.2f ms, scale %.2f ms, PNG %.2f ms, "
                "write %.2f ms\n",
                stepMedian(&SaveSteps::archive), stepMedian(&SaveSteps::screenImage), stepMedian(&SaveSteps::scale),
                stepMedian(&SaveSteps::png), stepMedian(&SaveSteps::write));
    std::printf("  parse: ours median %.3f ms, libplist median %.3f ms\n", Median(oursParses), Median(theirParses));
    std::printf("save: median %.2f ms, p95 %.2f ms; ratio to the 50 ms goal %.2f (%s)\n", Median(saves),
                Percentile(saves, 0.95), Median(saves) / kSaveGoalMs, Median(saves) <= kSaveGoalMs ? "met" : "NOT met");
    std::printf("load: median %.2f ms, p95 %.2f ms; ratio to the 30 ms goal %.2f (%s)\n", Median(loads),
                Percentile(loads, 0.95), Median(loads) / kLoadGoalMs, Median(loads) <= kLoadGoalMs ? "met" : "NOT met");
    std::printf("load, the first of this file in this process: %.2f ms; ratio to the 30 ms goal %.2f\n", firstLoad,
                firstLoad / kLoadGoalMs);
    std::vector<double> coldLoads;
    for (int run = 0; run < kColdLoads; ++run)
        coldLoads.push_back(ColdLoadInFreshProcess(path));
    std::printf("load in a fresh program: median %.2f ms of %d; ratio to the 30 ms goal %.2f\n", Median(coldLoads),
                kColdLoads, Median(coldLoads) / kLoadGoalMs);
    std::printf("parse: time ratio ours / libplist %.2f (median of rounds; below 1 is ours faster)\n",
                Median(parseRatios));
    std::fflush(stdout);

    return EXIT_SUCCESS;
}
