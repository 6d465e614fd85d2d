// How fast our XML property-list reader and writer are next to libplist's, on
// documents shaped like the keyed archives Brindlet keeps its sheets in: a
// screen holding cards, each card holding tasks. Sheets range from a few
// cards to tens of thousands, so the documents are about 150 KB, 3 MB and
// 30 MB.
//
// Google Benchmark reports the throughput of each side. The ratio table at
// the end comes from a second measurement in the same run that alternates
// the sides round by round, so a machine that slows down part-way (other
// builds, frequency scaling) affects both sides alike.

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CoreFoundation.h>

#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// splitmix64: the same sequence with every compiler and standard library,
// which the std distributions do not promise, so every run measures the
// same documents.
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
    int64_t Between(int64_t low, int64_t high) { return low + static_cast<int64_t>(Below(uint64_t(high - low + 1))); }
    bool Percent(unsigned chance) { return Below(100) < chance; }

private:
    uint64_t state_;
};

constexpr uint64_t kSeed = 0x4272696E646C6574ULL;

// Titles people give their cards and tasks: mostly ASCII, with the
// non-Latin scripts, symbols and markup characters the writer has to encode
// or escape.
constexpr const char* kWords[] = {
    "Plan",   "review", "budget",  "call",  "Anna",     "draft",  "release", "notes", "Q3",      "ship",
    "fix",    "login",  "invoice", "week",  "meeting",  "R&D",    "design",  "<b>",   "backlog", "travel",
    "Friday", "report", "dentist", "renew", "passport", "photos", "garden",  "taxes", "v2.1",    "follow-up",
};
constexpr const char* kForeignWords[] = {
    "Отчёт",  "встреча", "会議",  "メモ",  "日程表", "σημείωση",   "Ελλάδα",   "תקציב",
    "مراجعة", "예산",    "Grüße", "crème", "naïve",  "✓ erledigt", "🚀 launch", "データ",
};

std::string MakeTitle(Random& random, int minimumWords, int maximumWords)
{
    std::string title;
    const int words = static_cast<int>(random.Between(minimumWords, maximumWords));
    for (int i = 0; i < words; ++i) {
        if (i)
            title.push_back(' ');
        if (random.Percent(25))
            title += kForeignWords[random.Below(std::size(kForeignWords))];
        else
            title += kWords[random.Below(std::size(kWords))];
    }
    return title;
}

CFTypeRef NewString(const std::string& utf8)
{
    return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8.data()),
                                   static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8, false);
}

CFTypeRef NewInteger(int64_t value)
{
    return CFNumberCreate(nullptr, kCFNumberSInt64Type, &value);
}

CFTypeRef NewReal(double value)
{
    return CFNumberCreate(nullptr, kCFNumberFloat64Type, &value);
}

// Frame coordinates as a layout engine leaves them: mostly whole or half
// points, some the full-precision result of a division.
CFTypeRef NewCoordinate(Random& random, int64_t low, int64_t high)
{
    double value = static_cast<double>(random.Between(low, high));
    if (random.Percent(30))
        value += 0.5;
    else if (random.Percent(25))
        value += 1.0 / static_cast<double>(random.Between(3, 17));
    return NewReal(value);
}

// Whole seconds: our writer keeps dates to the second, as the platform's does.
CFTypeRef NewDate(Random& random)
{
    return CFDateCreate(nullptr, static_cast<CFAbsoluteTime>(random.Between(450'000'000, 920'000'000)));
}

// A thumbnail's worth of bytes behind a PNG signature: noise, as compressed
// image data looks to Base64.
CFTypeRef NewThumbnail(Random& random)
{
    std::vector<UInt8> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const size_t length = static_cast<size_t>(random.Between(1024, 4096));
    while (bytes.size() < length)
        bytes.push_back(static_cast<UInt8>(random.Next() >> 56));
    return CFDataCreate(nullptr, bytes.data(), static_cast<CFIndex>(bytes.size()));
}

std::string MakeUID(Random& random)
{
    char text[40];
    const uint64_t high = random.Next();
    const uint64_t low = random.Next();
    std::snprintf(text, sizeof text, "%08" PRIX64 "-%04" PRIX64 "-%04" PRIX64 "-%04" PRIX64 "-%012" PRIX64, high >> 32,
                  (high >> 16) & 0xFFFF, high & 0xFFFF, low >> 48, low & uint64_t{0xFFFFFFFFFFFF});
    return text;
}

CFMutableDictionaryRef NewDictionary()
{
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

CFMutableArrayRef NewArray()
{
    return CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
}

// Stores a value the caller created, handing over its reference.
void Put(CFMutableDictionaryRef dictionary, const char* key, CFTypeRef value)
{
    CFDictionarySetValue(dictionary, CFSTR(key), value);
    CFRelease(value);
}

CFTypeRef NewTask(Random& random)
{
    CFMutableDictionaryRef task = NewDictionary();
    Put(task, "system.class", CFRetain(CFSTR("TTask")));
    Put(task, "title", NewString(MakeTitle(random, 1, 6)));
    Put(task, "priority", NewInteger(random.Between(0, 5)));
    Put(task, "done", CFRetain(random.Percent(40) ? kCFBooleanTrue : kCFBooleanFalse));
    Put(task, "uid", NewString(MakeUID(random)));
    return task;
}

CFTypeRef NewCard(Random& random)
{
    static constexpr const char* kCardClasses[] = {"TTaskCard", "TNoteCard", "TCalendarCard"};
    CFMutableDictionaryRef card = NewDictionary();
    Put(card, "system.class", CFRetain(CFSTR(kCardClasses[random.Below(std::size(kCardClasses))])));
    Put(card, "title", NewString(MakeTitle(random, 1, 4)));
    Put(card, "frame.origin.x", NewCoordinate(random, 0, 2560));
    Put(card, "frame.origin.y", NewCoordinate(random, 0, 1440));
    Put(card, "frame.size.width", NewCoordinate(random, 120, 640));
    Put(card, "frame.size.height", NewCoordinate(random, 80, 900));
    Put(card, "z.order", NewInteger(random.Between(0, 400)));
    Put(card, "color.index", NewInteger(random.Between(0, 11)));
    Put(card, "identifier", NewInteger(random.Between(1, int64_t(1) << 48)));
    Put(card, "collapsed", CFRetain(random.Percent(20) ? kCFBooleanTrue : kCFBooleanFalse));
    Put(card, "locked", CFRetain(random.Percent(10) ? kCFBooleanTrue : kCFBooleanFalse));
    Put(card, "date", NewDate(random));
    if (random.Percent(12))
        Put(card, "thumbnail", NewThumbnail(random));
    CFMutableArrayRef tasks = NewArray();
    for (int64_t i = 0, count = random.Between(2, 10); i < count; ++i) {
        CFTypeRef task = NewTask(random);
        CFArrayAppendValue(tasks, task);
        CFRelease(task);
    }
    Put(card, "system.objects", tasks);
    return card;
}

// The same seed gives the same first cards whatever the count, so a
// document's size grows in proportion to its card count.
CFMutableDictionaryRef NewScreen(size_t cardCount)
{
    Random random(kSeed);
    CFMutableDictionaryRef screen = NewDictionary();
    Put(screen, "system.class", CFRetain(CFSTR("TScreen")));
    Put(screen, "system.version", NewInteger(3));
    Put(screen, "name", NewString("Desktop — Arbeit"));
    Put(screen, "grid.size", NewReal(8.0));
    Put(screen, "snap.to.grid", CFRetain(kCFBooleanTrue));
    Put(screen, "modified", NewDate(random));
    CFMutableArrayRef cards = NewArray();
    for (size_t i = 0; i < cardCount; ++i) {
        CFTypeRef card = NewCard(random);
        CFArrayAppendValue(cards, card);
        CFRelease(card);
    }
    Put(screen, "system.objects", cards);
    return screen;
}

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "PropertyListBenchmark: %s\n", what.c_str());
    std::exit(EXIT_FAILURE);
}

std::string TextOf(CFStringRef string)
{
    if (string == nullptr)
        return "(no reason given)";
    std::vector<char> buffer(
        static_cast<size_t>(CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1));
    if (!CFStringGetCString(string, buffer.data(), static_cast<CFIndex>(buffer.size()), kCFStringEncodingUTF8))
        return "(unprintable reason)";
    return buffer.data();
}

struct Document {
    std::string label;
    size_t cards = 0;
    CFRef<CFPropertyListRef> tree;  // as built
    CFRef<CFDataRef> xml;           // the tree written by our writer
    CFRef<CFPropertyListRef> ours;  // parsed back by our reader, the input of our write
    plist_t theirs = nullptr;       // parsed by libplist, the input of its write

    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    ~Document()
    {
        if (theirs)
            plist_free(theirs);
    }

    const char* Bytes() const { return reinterpret_cast<const char*>(CFDataGetBytePtr(xml)); }
    size_t Size() const { return static_cast<size_t>(CFDataGetLength(xml)); }
};

CFDataRef WriteOrFail(CFPropertyListRef tree, const std::string& label)
{
    CFDataRef xml = CFPropertyListCreateXMLData(nullptr, tree);
    if (xml == nullptr)
        Fail(label + ": our writer refused the document");
    return xml;
}

CFPropertyListRef ParseOrFail(CFDataRef xml, const std::string& label)
{
    CFStringRef error = nullptr;
    CFPropertyListRef tree = CFPropertyListCreateFromXMLData(nullptr, xml, kCFPropertyListMutableContainers, &error);
    if (tree == nullptr)
        Fail(label + ": our reader refused the document: " + TextOf(error));
    CFRelease(error);
    return tree;
}

std::unique_ptr<Document> MakeDocument(const std::string& label, size_t targetBytes)
{
    // Scale the card count by the bytes a card took so far, until the
    // document is within 2% of the target. Thumbnails make cards uneven, so
    // a small first sheet only gives an estimate.
    auto document = std::make_unique<Document>();
    document->label = label;
    CFRef<CFMutableDictionaryRef> empty(NewScreen(0));
    CFRef<CFDataRef> emptyXML(WriteOrFail(empty, label));
    const double fixedBytes = static_cast<double>(CFDataGetLength(emptyXML));
    size_t cards = 64;
    for (int attempt = 0; attempt < 4; ++attempt) {
        document->cards = cards;
        document->tree.Reset(NewScreen(cards));
        document->xml.Reset(WriteOrFail(document->tree, label));
        const double size = static_cast<double>(document->Size());
        if (std::abs(size - static_cast<double>(targetBytes)) <= 0.02 * static_cast<double>(targetBytes))
            break;
        const double perCard = (size - fixedBytes) / static_cast<double>(cards);
        const double wanted = (static_cast<double>(targetBytes) - fixedBytes) / perCard;
        cards = std::max<size_t>(1, static_cast<size_t>(std::llround(wanted)));
    }
    return document;
}

// Both readers must take the document, and ours must give back what was
// written: the same tree, and the same bytes when that tree is written again.
void Validate(Document& document)
{
    const std::string& label = document.label;
    document.ours.Reset(ParseOrFail(document.xml, label));
    if (!CFEqual(document.ours, document.tree))
        Fail(label + ": our reader's tree differs from the tree that was written");

    CFRef<CFDataRef> rewritten(WriteOrFail(document.ours, label));
    CFRef<CFPropertyListRef> reparsed(ParseOrFail(rewritten, label));
    if (!CFEqual(reparsed, document.ours))
        Fail(label + ": parse, write, parse does not give an equal tree");
    if (!CFEqual(rewritten, document.xml))
        Fail(label + ": writing the parsed tree again does not give the same bytes");

    plist_from_xml(document.Bytes(), static_cast<uint32_t>(document.Size()), &document.theirs);
    if (document.theirs == nullptr || plist_get_node_type(document.theirs) != PLIST_DICT)
        Fail(label + ": libplist refused the document");
    plist_t cards = plist_dict_get_item(document.theirs, "system.objects");
    if (cards == nullptr || plist_get_node_type(cards) != PLIST_ARRAY || plist_array_get_size(cards) != document.cards)
        Fail(label + ": libplist read a different card list");
}

// The four operations measured, each complete with freeing what it made.
void ParseOurs(const Document& document)
{
    CFStringRef error = nullptr;
    CFPropertyListRef tree =
        CFPropertyListCreateFromXMLData(nullptr, document.xml, kCFPropertyListMutableContainers, &error);
    if (tree == nullptr)
        Fail(document.label + ": our reader failed: " + TextOf(error));
    benchmark::DoNotOptimize(tree);
    CFRelease(tree);
}

void ParseLibplist(const Document& document)
{
    plist_t tree = nullptr;
    plist_from_xml(document.Bytes(), static_cast<uint32_t>(document.Size()), &tree);
    if (tree == nullptr)
        Fail(document.label + ": libplist's reader failed");
    benchmark::DoNotOptimize(tree);
    plist_free(tree);
}

void WriteOurs(const Document& document)
{
    CFDataRef xml = CFPropertyListCreateXMLData(nullptr, document.ours);
    if (xml == nullptr)
        Fail(document.label + ": our writer failed");
    benchmark::DoNotOptimize(CFDataGetBytePtr(xml));
    CFRelease(xml);
}

void WriteLibplist(const Document& document)
{
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(document.theirs, &xml, &length);
    if (xml == nullptr)
        Fail(document.label + ": libplist's writer failed");
    benchmark::DoNotOptimize(xml);
    plist_to_xml_free(xml);
}

using Operation = void (*)(const Document&);

// Throughput is counted in bytes of the document for both sides and both
// directions, so each ratio is the inverse ratio of the times taken on the
// same tree or text.
void Measure(benchmark::State& state, Operation operation, const Document* document)
{
    for (auto _ : state)
        operation(*document);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(document->Size()));
    state.counters["cards"] = static_cast<double>(document->cards);
}

double SecondsFor(Operation operation, const Document& document, int runs)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i)
        operation(document);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Ratio {
    double ours = 0;    // best seconds per run
    double theirs = 0;  // best seconds per run
    int rounds = 0;
    double Value() const { return theirs / ours; }
};

// Best of several rounds, each timing a block of our runs then a block of
// libplist's. Each block starts with an untimed run: the two libraries
// leave the shared heap in shapes that slow the other down (our reader
// takes about half as long again on the run right after a libplist parse),
// and neither shape is what a program using one library sees. A block lasts
// about 20 ms, so the clock's resolution and one-off stalls do not decide
// the small document's ratio; the best block is the one least disturbed by
// the rest of the machine.
Ratio Compare(Operation oursOperation, Operation theirOperation, const Document& document)
{
    constexpr double kSampleSeconds = 0.02;
    constexpr double kBudgetSeconds = 3.0;
    constexpr int kMinimumRounds = 3;
    constexpr int kMaximumRounds = 30;
    auto runsFor = [&](Operation operation) {
        SecondsFor(operation, document, 1);
        const double once = std::max(SecondsFor(operation, document, 1), 1e-7);
        return std::max(1, static_cast<int>(kSampleSeconds / once));
    };
    const int oursRuns = runsFor(oursOperation);
    const int theirRuns = runsFor(theirOperation);
    Ratio ratio{1e300, 1e300, 0};
    double spent = 0;
    while (ratio.rounds < kMinimumRounds || (spent < kBudgetSeconds && ratio.rounds < kMaximumRounds)) {
        const auto start = std::chrono::steady_clock::now();
        SecondsFor(oursOperation, document, 1);
        ratio.ours = std::min(ratio.ours, SecondsFor(oursOperation, document, oursRuns) / oursRuns);
        SecondsFor(theirOperation, document, 1);
        ratio.theirs = std::min(ratio.theirs, SecondsFor(theirOperation, document, theirRuns) / theirRuns);
        spent += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++ratio.rounds;
    }
    return ratio;
}

constexpr double kParseTarget = 3.0;
constexpr double kWriteTarget = 2.0;

void PrintRatioTable(const std::vector<std::unique_ptr<Document>>& documents)
{
    std::printf("\nThroughput ratio, ours / libplist (best of alternating rounds, same run)\n");
    std::printf("%-6s %10s %7s  %9s %9s %7s  %9s %9s %7s  %s\n", "size", "bytes", "cards", "parse", "ours MB/s",
                "rounds", "write", "ours MB/s", "rounds", "targets");
    bool allMet = true;
    for (const auto& document : documents) {
        const Ratio parse = Compare(ParseOurs, ParseLibplist, *document);
        const Ratio write = Compare(WriteOurs, WriteLibplist, *document);
        const bool parseMet = parse.Value() >= kParseTarget;
        const bool writeMet = write.Value() >= kWriteTarget;
        allMet = allMet && parseMet && writeMet;
        const double megabytes = static_cast<double>(document->Size()) / 1e6;
        std::printf("%-6s %10zu %7zu  %8.2fx %9.1f %7d  %8.2fx %9.1f %7d  parse >= %.0fx %s, write >= %.0fx %s\n",
                    document->label.c_str(), document->Size(), document->cards, parse.Value(), megabytes / parse.ours,
                    parse.rounds, write.Value(), megabytes / write.ours, write.rounds, kParseTarget,
                    parseMet ? "met" : "NOT met", kWriteTarget, writeMet ? "met" : "NOT met");
    }
    std::printf("%s\n", allMet ? "All targets met." : "Some targets are NOT met.");
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return EXIT_FAILURE;

    std::vector<std::unique_ptr<Document>> documents;
    documents.push_back(MakeDocument("150KB", 150'000));
    documents.push_back(MakeDocument("3MB", 3'000'000));
    documents.push_back(MakeDocument("30MB", 30'000'000));
    // For profiling one side alone: BRINDLET_BENCH_DOCUMENTS=<folder> keeps
    // a copy of each document there.
    const char* keep = std::getenv("BRINDLET_BENCH_DOCUMENTS");
    for (auto& document : documents) {
        Validate(*document);
        if (keep) {
            const std::string path = std::string(keep) + "/" + document->label + ".plist";
            if (FILE* file = std::fopen(path.c_str(), "wb")) {
                std::fwrite(CFDataGetBytePtr(document->xml), 1, document->Size(), file);
                std::fclose(file);
            }
        }
        std::printf("%s: %zu bytes, %zu cards; both readers accept it, ours round-trips it\n", document->label.c_str(),
                    document->Size(), document->cards);
    }
    std::fflush(stdout);

    for (const auto& document : documents) {
        const Document* d = document.get();
        benchmark::RegisterBenchmark(("Parse/Ours/" + d->label).c_str(), Measure, ParseOurs, d)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Parse/libplist/" + d->label).c_str(), Measure, ParseLibplist, d)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Write/Ours/" + d->label).c_str(), Measure, WriteOurs, d)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Write/libplist/" + d->label).c_str(), Measure, WriteLibplist, d)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    PrintRatioTable(documents);
    return EXIT_SUCCESS;
}
