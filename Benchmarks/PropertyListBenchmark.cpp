// How fast our XML property-list reader and writer are next to libplist's, on
// documents shaped like the keyed archives Brindlet keeps its sheets in: a
// screen holding cards, each card holding tasks. Sheets range from a few
// cards to tens of thousands, so the documents are about 150 KB, 3 MB and
// 30 MB. Each size comes from two writers: ours, and Python's plistlib
// (make_plist_documents.py writes the same sheets at build time), since the
// files a user opens are not all written by us.
//
// Two measures, both comparing the two libraries on the same document:
//
// - Warm: each library timed right after it ran itself, in this process,
//   alternating the sides round by round; the median of the rounds' ratios.
//   This is the speed of a loop that reads or writes many sheets.
// - Cold: what a program pays to open or save a sheet once. Every run is a
//   fresh process (this program started again with --cold) that reads the
//   file and then times its first parse, or parses the file and times its
//   first write; the processes alternate between the libraries, and the
//   medians of their times are compared. The targets are judged on this.
//
// Times are processor time (user and system, so page faults and the
// clearing of fresh pages count): on an idle machine the same as the wall
// clock, on a busy one without the waits for a processor, which have
// nothing to do with either library. The cold table prints the wall
// clock's ratio beside it.
//
// Every measured operation includes freeing what it made. Google Benchmark
// first reports the warm throughput of each side on its own.

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CoreFoundation.h>
#include <Support/Process.h>

#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
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

// A whole file in a block of malloc'd memory, as a program holds a sheet it
// has just read; nil when it cannot be read.
struct FileBytes {
    char* bytes = nullptr;
    size_t size = 0;

    FileBytes() = default;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes() { Free(); }

    void Free()
    {
        std::free(bytes);
        bytes = nullptr;
    }
};

bool ReadWholeFile(const std::string& path, FileBytes& file)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    bool ok = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0;
    if (ok) {
        file.size = static_cast<size_t>(status.st_size);
        file.bytes = static_cast<char*>(std::malloc(file.size));
        size_t done = 0;
        while (file.bytes && done < file.size) {
            const ssize_t n = read(fd, file.bytes + done, file.size - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        ok = file.bytes && done == file.size;
    }
    close(fd);
    return ok;
}

void WriteWholeFile(const std::string& path, const UInt8* bytes, size_t size)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes, 1, size, file) != size || std::fclose(file) != 0)
        Fail("cannot write " + path);
}

CFDataRef WriteOrFail(CFPropertyListRef tree, const std::string& name)
{
    CFDataRef xml = CFPropertyListCreateXMLData(nullptr, tree);
    if (xml == nullptr)
        Fail(name + ": our writer refused the document");
    return xml;
}

CFPropertyListRef ParseOrFail(CFDataRef xml, const std::string& name)
{
    CFStringRef error = nullptr;
    CFPropertyListRef tree = CFPropertyListCreateFromXMLData(nullptr, xml, kCFPropertyListMutableContainers, &error);
    if (tree == nullptr)
        Fail(name + ": our reader refused the document: " + TextOf(error));
    if (error)
        CFRelease(error);
    return tree;
}

size_t CardCount(CFPropertyListRef screen)
{
    CFTypeRef cards = CFGetTypeID(screen) == CFDictionaryGetTypeID()
                          ? CFDictionaryGetValue(static_cast<CFDictionaryRef>(screen), CFSTR("system.objects"))
                          : nullptr;
    if (cards == nullptr || CFGetTypeID(cards) != CFArrayGetTypeID())
        return 0;
    return static_cast<size_t>(CFArrayGetCount(static_cast<CFArrayRef>(cards)));
}

struct Document {
    std::string writer;  // "ours" or "plistlib"
    std::string label;   // the size: "150KB", "3MB", "30MB"
    std::string path;    // the bytes on disk, for the cold runs
    size_t cards = 0;
    CFRef<CFDataRef> xml;           // the document as written
    CFRef<CFPropertyListRef> ours;  // parsed by our reader, the input of our write
    plist_t theirs = nullptr;       // parsed by libplist, the input of its write

    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    ~Document()
    {
        if (theirs)
            plist_free(theirs);
    }

    std::string Name() const { return writer + "/" + label; }
    const char* Bytes() const { return reinterpret_cast<const char*>(CFDataGetBytePtr(xml)); }
    size_t Size() const { return static_cast<size_t>(CFDataGetLength(xml)); }
};

// Our sheet of about `targetBytes`, written by our writer. The card count
// is scaled by the bytes a card took so far, until the document is within
// 2% of the target; thumbnails make cards uneven, so a small first sheet
// only gives an estimate.
std::unique_ptr<Document> MakeOurDocument(const std::string& label, size_t targetBytes, const std::string& folder)
{
    auto document = std::make_unique<Document>();
    document->writer = "ours";
    document->label = label;
    CFRef<CFMutableDictionaryRef> empty(NewScreen(0));
    CFRef<CFDataRef> emptyXML(WriteOrFail(empty, document->Name()));
    const double fixedBytes = static_cast<double>(CFDataGetLength(emptyXML));
    CFRef<CFPropertyListRef> tree;
    size_t cards = 64;
    for (int attempt = 0; attempt < 4; ++attempt) {
        document->cards = cards;
        tree.Reset(NewScreen(cards));
        document->xml.Reset(WriteOrFail(tree, document->Name()));
        const double size = static_cast<double>(document->Size());
        if (std::abs(size - static_cast<double>(targetBytes)) <= 0.02 * static_cast<double>(targetBytes))
            break;
        const double perCard = (size - fixedBytes) / static_cast<double>(cards);
        const double wanted = (static_cast<double>(targetBytes) - fixedBytes) / perCard;
        cards = std::max<size_t>(1, static_cast<size_t>(std::llround(wanted)));
    }
    document->path = folder + "/ours-" + label + ".plist";
    WriteWholeFile(document->path, CFDataGetBytePtr(document->xml), document->Size());
    return document;
}

// The same sheet as written by plistlib at build time.
std::unique_ptr<Document> LoadPlistlibDocument(const std::string& label)
{
    auto document = std::make_unique<Document>();
    document->writer = "plistlib";
    document->label = label;
    document->path = std::string(BRINDLET_PLISTLIB_DOCUMENTS) + "/plistlib-" + label + ".plist";
    FileBytes file;
    if (!ReadWholeFile(document->path, file))
        Fail("cannot read " + document->path + " (make_plist_documents.py writes it at build time)");
    document->xml.Reset(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(file.bytes), CFIndex(file.size)));
    return document;
}

// Both readers must take the document, and ours must read what was meant:
// the tree our generator builds for the same card count (for plistlib's
// documents too, which shows the two generators agree), written again to
// bytes that read back to the same tree, and for our own documents to the
// same bytes.
void Validate(Document& document)
{
    const std::string name = document.Name();
    document.ours.Reset(ParseOrFail(document.xml, name));
    document.cards = CardCount(document.ours);
    CFRef<CFMutableDictionaryRef> expected(NewScreen(document.cards));
    if (document.cards == 0 || !CFEqual(document.ours, expected))
        Fail(name + ": our reader's tree differs from the sheet the generator builds");

    CFRef<CFDataRef> rewritten(WriteOrFail(document.ours, name));
    CFRef<CFPropertyListRef> reparsed(ParseOrFail(rewritten, name));
    if (!CFEqual(reparsed, document.ours))
        Fail(name + ": parse, write, parse does not give an equal tree");
    if (document.writer == "ours" && !CFEqual(rewritten, document.xml))
        Fail(name + ": writing the parsed tree again does not give the same bytes");

    plist_from_xml(document.Bytes(), static_cast<uint32_t>(document.Size()), &document.theirs);
    if (document.theirs == nullptr || plist_get_node_type(document.theirs) != PLIST_DICT)
        Fail(name + ": libplist refused the document");
    plist_t cards = plist_dict_get_item(document.theirs, "system.objects");
    if (cards == nullptr || plist_get_node_type(cards) != PLIST_ARRAY || plist_array_get_size(cards) != document.cards)
        Fail(name + ": libplist read a different card list");
}

// ---- the four operations, each complete with freeing what it made ----

// Ours reads the caller's bytes where they are, as a program hands the
// reader the file it has just read.
void ParseOursFrom(const char* bytes, size_t size, const std::string& name)
{
    CFDataRef xml =
        CFDataCreateWithBytesNoCopy(nullptr, reinterpret_cast<const UInt8*>(bytes), CFIndex(size), kCFAllocatorNull);
    CFStringRef error = nullptr;
    CFPropertyListRef tree = CFPropertyListCreateFromXMLData(nullptr, xml, kCFPropertyListMutableContainers, &error);
    if (tree == nullptr)
        Fail(name + ": our reader failed: " + TextOf(error));
    benchmark::DoNotOptimize(tree);
    CFRelease(tree);
    CFRelease(xml);
}

void ParseLibplistFrom(const char* bytes, size_t size, const std::string& name)
{
    plist_t tree = nullptr;
    plist_from_xml(bytes, static_cast<uint32_t>(size), &tree);
    if (tree == nullptr)
        Fail(name + ": libplist's reader failed");
    benchmark::DoNotOptimize(tree);
    plist_free(tree);
}

void WriteOursOf(CFPropertyListRef tree, const std::string& name)
{
    CFDataRef xml = CFPropertyListCreateXMLData(nullptr, tree);
    if (xml == nullptr)
        Fail(name + ": our writer failed");
    benchmark::DoNotOptimize(CFDataGetBytePtr(xml));
    CFRelease(xml);
}

void WriteLibplistOf(plist_t tree, const std::string& name)
{
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(tree, &xml, &length);
    if (xml == nullptr)
        Fail(name + ": libplist's writer failed");
    benchmark::DoNotOptimize(xml);
    plist_to_xml_free(xml);
}

void ParseOurs(const Document& d)
{
    ParseOursFrom(d.Bytes(), d.Size(), d.Name());
}

void ParseLibplist(const Document& d)
{
    ParseLibplistFrom(d.Bytes(), d.Size(), d.Name());
}

void WriteOurs(const Document& d)
{
    WriteOursOf(d.ours, d.Name());
}

void WriteLibplist(const Document& d)
{
    WriteLibplistOf(d.theirs, d.Name());
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

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// ---- warm ----

// The processor time this process has taken, in user and system mode (page
// faults and the clearing of fresh pages included), all threads together.
double ProcessorSeconds()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double SecondsFor(Operation operation, const Document& document, int runs)
{
    const double start = ProcessorSeconds();
    for (int i = 0; i < runs; ++i)
        operation(document);
    return ProcessorSeconds() - start;
}

struct WarmRatio {
    double value = 0;        // median of the rounds' ratios, libplist's time / ours
    double oursSeconds = 0;  // median seconds per run
    int rounds = 0;
};

// Rounds that each time a block of our runs, then a block of libplist's,
// the first side alternating. Each block starts with an untimed run: the
// two libraries leave the shared heap in shapes that slow the other down,
// and neither shape is what a program using one library sees. A block
// lasts about 20 ms where a run is shorter, so the clock's resolution does
// not decide the small document's ratio. At least kMinimumRounds rounds at
// every size, so the median rests on enough of them.
WarmRatio CompareWarm(Operation oursOperation, Operation theirOperation, const Document& document)
{
    constexpr double kSampleSeconds = 0.02;
    constexpr double kBudgetSeconds = 3.0;
    constexpr int kMinimumRounds = 11;
    constexpr int kMaximumRounds = 41;
    auto runsFor = [&](Operation operation) {
        SecondsFor(operation, document, 1);
        const double once = std::max(SecondsFor(operation, document, 1), 1e-7);
        return std::max(1, static_cast<int>(kSampleSeconds / once));
    };
    const int oursRuns = runsFor(oursOperation);
    const int theirRuns = runsFor(theirOperation);
    std::vector<double> ratios, ours;
    double spent = 0;
    while (ratios.size() < size_t(kMinimumRounds) ||
           (spent < kBudgetSeconds && ratios.size() < size_t(kMaximumRounds))) {
        const auto start = std::chrono::steady_clock::now();
        double oursSeconds = 0, theirSeconds = 0;
        auto timeOurs = [&] {
            SecondsFor(oursOperation, document, 1);
            oursSeconds = SecondsFor(oursOperation, document, oursRuns) / oursRuns;
        };
        auto timeTheirs = [&] {
            SecondsFor(theirOperation, document, 1);
            theirSeconds = SecondsFor(theirOperation, document, theirRuns) / theirRuns;
        };
        if (ratios.size() % 2) {
            timeTheirs();
            timeOurs();
        } else {
            timeOurs();
            timeTheirs();
        }
        ratios.push_back(theirSeconds / oursSeconds);
        ours.push_back(oursSeconds);
        spent += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return WarmRatio{Median(ratios), Median(ours), static_cast<int>(ratios.size())};
}

// ---- cold ----

enum class Direction { Parse, Write };
enum class Side { Ours, Libplist };

const char* NameOf(Direction direction)
{
    return direction == Direction::Parse ? "parse" : "write";
}

const char* NameOf(Side side)
{
    return side == Side::Ours ? "ours" : "libplist";
}

long MinorFaults()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// One cold run, in a process of its own: reads the file, makes what the
// operation needs untimed (the tree to write, parsed by the same library,
// the file's bytes then let go), and times the operation once. Prints the
// seconds and the page faults the operation took.
int RunColdChild(const std::string& direction, const std::string& side, const std::string& path)
{
    FileBytes file;
    if (!ReadWholeFile(path, file))
        Fail("cannot read " + path);
    const bool ours = side == "ours";
    if (direction != "parse" && direction != "write")
        Fail("unknown direction " + direction);
    CFRef<CFPropertyListRef> ourTree;
    plist_t theirTree = nullptr;
    if (direction == "write") {
        if (ours) {
            CFRef<CFDataRef> xml(CFDataCreateWithBytesNoCopy(nullptr, reinterpret_cast<const UInt8*>(file.bytes),
                                                             CFIndex(file.size), kCFAllocatorNull));
            ourTree.Reset(ParseOrFail(xml, path));
        } else {
            plist_from_xml(file.bytes, static_cast<uint32_t>(file.size), &theirTree);
            if (theirTree == nullptr)
                Fail(path + ": libplist's reader failed");
        }
        file.Free();
    }

    const long faultsBefore = MinorFaults();
    const double processorBefore = ProcessorSeconds();
    const auto start = std::chrono::steady_clock::now();
    if (direction == "parse" && ours)
        ParseOursFrom(file.bytes, file.size, path);
    else if (direction == "parse")
        ParseLibplistFrom(file.bytes, file.size, path);
    else if (ours)
        WriteOursOf(ourTree, path);
    else
        WriteLibplistOf(theirTree, path);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double processor = ProcessorSeconds() - processorBefore;
    const long faults = MinorFaults() - faultsBefore;

    if (theirTree)
        plist_free(theirTree);
    std::printf("%.9f %.9f %ld\n", seconds, processor, faults);
    return EXIT_SUCCESS;
}

std::string ThisProgram()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        Fail("cannot find this program's own file");
    return self.string();
}

struct ColdRun {
    double seconds = 0;    // by the wall clock
    double processor = 0;  // processor time
    double faults = 0;
};

ColdRun RunCold(Direction direction, Side side, const Document& document)
{
    static const std::string self = ThisProgram();
    std::string output;
    const int status = Process::Run({self, "--cold", NameOf(direction), NameOf(side), document.path}, &output);
    ColdRun run;
    if (status != 0 || std::sscanf(output.c_str(), "%lf %lf %lf", &run.seconds, &run.processor, &run.faults) != 3 ||
        !(run.seconds > 0) || !(run.processor > 0))
        Fail(document.Name() + ": a cold " + NameOf(direction) + " by " + NameOf(side) + " failed");
    return run;
}

struct ColdRatio {
    double value = 0;        // libplist's median processor time / ours
    double wall = 0;         // the same by the wall clock
    double oursSeconds = 0;  // our median processor time
    double oursFaults = 0;
    double theirFaults = 0;
    int processes = 0;  // per side
};

// Fresh processes, alternating between the sides (and which side goes first
// in each pair), at least kMinimumProcesses a side; small documents get
// more while the budget lasts, as their runs are shortest and noisiest.
ColdRatio CompareCold(Direction direction, const Document& document)
{
    constexpr int kMinimumProcesses = 15;
    constexpr int kMaximumProcesses = 41;
    constexpr double kBudgetSeconds = 4.0;
    std::vector<double> ours, theirs, oursWall, theirWall, oursFaults, theirFaults;
    const auto start = std::chrono::steady_clock::now();
    auto spent = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    while (ours.size() < size_t(kMinimumProcesses) ||
           (ours.size() < size_t(kMaximumProcesses) && (spent() < kBudgetSeconds || ours.size() % 2 == 0))) {
        const bool oursFirst = ours.size() % 2 == 0;
        for (Side side : {oursFirst ? Side::Ours : Side::Libplist, oursFirst ? Side::Libplist : Side::Ours}) {
            const ColdRun run = RunCold(direction, side, document);
            const bool isOurs = side == Side::Ours;
            (isOurs ? ours : theirs).push_back(run.processor);
            (isOurs ? oursWall : theirWall).push_back(run.seconds);
            (isOurs ? oursFaults : theirFaults).push_back(run.faults);
        }
    }
    ColdRatio ratio;
    ratio.oursSeconds = Median(ours);
    ratio.value = Median(theirs) / ratio.oursSeconds;
    ratio.wall = Median(theirWall) / Median(oursWall);
    ratio.oursFaults = Median(oursFaults);
    ratio.theirFaults = Median(theirFaults);
    ratio.processes = static_cast<int>(ours.size());
    return ratio;
}

// ---- the tables ----

constexpr double kParseTarget = 3.0;
constexpr double kWriteTarget = 2.0;

// The targets hold for the documents up to 3 MB; the largest is measured
// and printed beside them.
bool HasTarget(const Document& document)
{
    return document.label != "30MB";
}

void PrintWarmTable(const std::vector<std::unique_ptr<Document>>& documents)
{
    std::printf("\nWarm: throughput ratio ours / libplist, each library right after running itself\n"
                "(median of alternating rounds in this process, by processor time)\n");
    std::printf("%-9s %-6s %10s %6s  %8s %9s %6s  %8s %9s %6s\n", "writer", "size", "bytes", "cards", "parse",
                "ours MB/s", "rounds", "write", "ours MB/s", "rounds");
    for (const auto& document : documents) {
        const WarmRatio parse = CompareWarm(ParseOurs, ParseLibplist, *document);
        const WarmRatio write = CompareWarm(WriteOurs, WriteLibplist, *document);
        const double megabytes = static_cast<double>(document->Size()) / 1e6;
        std::printf("%-9s %-6s %10zu %6zu  %7.2fx %9.1f %6d  %7.2fx %9.1f %6d\n", document->writer.c_str(),
                    document->label.c_str(), document->Size(), document->cards, parse.value,
                    megabytes / parse.oursSeconds, parse.rounds, write.value, megabytes / write.oursSeconds,
                    write.rounds);
        std::fflush(stdout);
    }
}

bool PrintColdTable(const std::vector<std::unique_ptr<Document>>& documents)
{
    std::printf("\nCold: throughput ratio ours / libplist, one library per fresh process\n"
                "(processes alternating, median of first runs, by processor time; wall: the same by the wall\n"
                "clock; faults: median page faults per run, ours/libplist)\n");
    std::printf("%-9s %-6s %10s  %8s %7s %9s %13s %5s  %8s %7s %9s %13s %5s  %s\n", "writer", "size", "bytes", "parse",
                "wall", "ours MB/s", "faults", "procs", "write", "wall", "ours MB/s", "faults", "procs", "targets");
    bool allMet = true;
    for (const auto& document : documents) {
        const ColdRatio parse = CompareCold(Direction::Parse, *document);
        const ColdRatio write = CompareCold(Direction::Write, *document);
        const double megabytes = static_cast<double>(document->Size()) / 1e6;
        auto faults = [](const ColdRatio& r) {
            char text[32];
            std::snprintf(text, sizeof text, "%.0f/%.0f", r.oursFaults, r.theirFaults);
            return std::string(text);
        };
        std::string verdict;
        if (HasTarget(*document)) {
            const bool parseMet = parse.value >= kParseTarget;
            const bool writeMet = write.value >= kWriteTarget;
            allMet = allMet && parseMet && writeMet;
            char text[96];
            std::snprintf(text, sizeof text, "parse >= %.0fx %s, write >= %.0fx %s", kParseTarget,
                          parseMet ? "met" : "NOT met", kWriteTarget, writeMet ? "met" : "NOT met");
            verdict = text;
        } else {
            verdict = "(no target: printed beside them)";
        }
        std::printf("%-9s %-6s %10zu  %7.2fx %6.2fx %9.1f %13s %5d  %7.2fx %6.2fx %9.1f %13s %5d  %s\n",
                    document->writer.c_str(), document->label.c_str(), document->Size(), parse.value, parse.wall,
                    megabytes / parse.oursSeconds, faults(parse).c_str(), parse.processes, write.value, write.wall,
                    megabytes / write.oursSeconds, faults(write).c_str(), write.processes, verdict.c_str());
        std::fflush(stdout);
    }
    std::printf("%s\n", allMet ? "All targets met (cold, up to 3 MB, both writers)."
                               : "Some targets are NOT met (cold, up to 3 MB, both writers).");
    return allMet;
}

// A folder of its own for our documents, removed at the end; or the
// folder BRINDLET_BENCH_DOCUMENTS names, kept for profiling one side alone.
class DocumentFolder {
public:
    DocumentFolder()
    {
        if (const char* keep = std::getenv("BRINDLET_BENCH_DOCUMENTS")) {
            path_ = keep;
            return;
        }
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/plist-benchmark-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            Fail("cannot make a folder for the documents");
        path_ = pattern;
        owned_ = true;
    }
    ~DocumentFolder()
    {
        std::error_code ignored;
        if (owned_)
            std::filesystem::remove_all(path_, ignored);
    }
    DocumentFolder(const DocumentFolder&) = delete;
    DocumentFolder& operator=(const DocumentFolder&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool owned_ = false;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--cold") == 0)
        return RunColdChild(argv[2], argv[3], argv[4]);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return EXIT_FAILURE;

    const DocumentFolder folder;
    std::vector<std::unique_ptr<Document>> documents;
    const std::pair<const char*, size_t> sizes[] = {{"150KB", 150'000}, {"3MB", 3'000'000}, {"30MB", 30'000'000}};
    for (const auto& [label, bytes] : sizes) {
        documents.push_back(MakeOurDocument(label, bytes, folder.Path()));
        documents.push_back(LoadPlistlibDocument(label));
    }
    for (auto& document : documents) {
        Validate(*document);
        std::printf("%s: %zu bytes, %zu cards; both readers accept it, ours reads the sheet that was written\n",
                    document->Name().c_str(), document->Size(), document->cards);
    }
    std::fflush(stdout);

    for (const auto& document : documents) {
        const Document* d = document.get();
        const std::pair<const char*, Operation> operations[] = {
            {"Parse/Ours/", ParseOurs},
            {"Parse/libplist/", ParseLibplist},
            {"Write/Ours/", WriteOurs},
            {"Write/libplist/", WriteLibplist},
        };
        for (const auto& [name, operation] : operations)
            benchmark::RegisterBenchmark((name + d->Name()).c_str(), Measure, operation, d)
                ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    PrintWarmTable(documents);
    PrintColdTable(documents);
    return EXIT_SUCCESS;
}
