// The preferences store, in one process and between real processes: the
// test program runs itself again as a child (the disabled test below, picked
// by a filter) with a small script in its environment.
#include <CFTestSupport.h>
#include <ChildProcess.h>
#include <CoreFoundation/CFPreferences.h>
#include <FileFixtures.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char* const kChildVariable = "BRINDLET_PREFERENCES_CHILD";
constexpr const char* kDomain = "org.example.preferences";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& contents)
{
    std::ofstream(path, std::ios::binary) << contents;
}

CFRef<CFNumberRef> Integer(SInt32 n)
{
    return CFRef<CFNumberRef>(CFNumberCreate(nullptr, kCFNumberSInt32Type, &n));
}

// The integer under the key; -1 when absent or not a number.
SInt32 ReadInteger(const char* key, const char* domain = kDomain)
{
    CFRef<CFPropertyListRef> value(CFPreferencesCopyAppValue(CFSTR(key), CFSTR(domain)));
    SInt32 n = -1;
    if (!value || CFGetTypeID(value) != CFNumberGetTypeID() ||
        !CFNumberGetValue(static_cast<CFNumberRef>(value.get()), kCFNumberSInt32Type, &n))
        return -1;
    return n;
}

void SetInteger(const char* key, SInt32 n, const char* domain = kDomain)
{
    CFPreferencesSetAppValue(CFSTR(key), Integer(n), CFSTR(domain));
}

// Each test gets a preferences folder of its own (children inherit it), so
// tests may run side by side and leave nothing behind.
class CFPreferencesTest : public testing::Test {
protected:
    void SetUp() override
    {
        config_.emplace();
        home_ = config_->ConfigFolder();
        ASSERT_FALSE(home_.empty());
    }
    void TearDown() override { config_.reset(); }

    std::string Folder() const { return home_ + "/brindlet"; }
    std::string FileOf(const std::string& identifier = kDomain) const { return Folder() + "/" + identifier + ".plist"; }

    // The file parsed; nil when missing or not a property list.
    CFRef<CFTypeRef> ParsedFile(const std::string& identifier = kDomain) const
    {
        return ParsePropertyList(ReadFile(FileOf(identifier)));
    }

    // The store's file and its lock file.
    static std::set<std::string> StoreFiles()
    {
        return {std::string(kDomain) + ".plist", std::string(kDomain) + ".plist.lock"};
    }

    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Folder()))
            names.insert(entry.path().filename().string());
        return names;
    }

    // Starts this program again running the child entry with `script`;
    // `closeInChild` are descriptors the child must not keep.
    static std::unique_ptr<ChildProcess> SpawnChild(const std::string& script,
                                                    const std::vector<int>& closeInChild = {})
    {
        return std::make_unique<ChildProcess>("CFPreferencesChild.DISABLED_Run",
                                              ChildProcess::Options{{{kChildVariable, script}}, closeInChild});
    }

    // Runs a child to its end; true when it succeeded.
    static bool RunChild(const std::string& script) { return ExitedCleanly(*SpawnChild(script)); }

    static bool ExitedCleanly(ChildProcess& child)
    {
        const bool ended = child.Wait(240);
        EXPECT_TRUE(ended && child.Exited()) << child.Report();
        if (ended && child.Exited() && !child.Succeeded())
            std::cout << child.Report();
        return child.Succeeded();
    }

    std::optional<ScopedHome> config_;
    std::string home_;
};

}  // namespace

// ---- the child's side ----

// Scripts:
//   write <id> <key> <n>                 sets key = n, synchronises
//   expect <id> <key> <n|none>           the key reads n (or is absent)
//   alternate <id> <name> <rounds> <in> <out>
//       per round: waits for a byte on <in>; sets <name> and <name>.<round>
//       to the round; synchronises; checks the other writer's last value;
//       passes the byte on <out>. Writer "a" goes first, "b" second.
//   race <id> <name> <rounds>           sets <name>.<round> and synchronises,
//       as fast as it can
//   churn <id> <ready>                   rewrites a large value and a counter
//       for ever, synchronising each time; a byte on <ready> after the first
TEST(CFPreferencesChild, DISABLED_Run)
{
    const char* script = std::getenv(kChildVariable);
    ASSERT_NE(script, nullptr);
    std::istringstream words(script);
    std::string role, domain;
    words >> role >> domain;
    if (role == "write") {
        std::string key;
        SInt32 n = 0;
        words >> key >> n;
        SetInteger(key.c_str(), n, domain.c_str());
        ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(domain.c_str())));
    } else if (role == "expect") {
        std::string key, expected;
        words >> key >> expected;
        EXPECT_EQ(ReadInteger(key.c_str(), domain.c_str()), expected == "none" ? -1 : std::stoi(expected));
    } else if (role == "alternate") {
        std::string name;
        int rounds = 0, in = -1, out = -1;
        words >> name >> rounds >> in >> out;
        const std::string other = name == "a" ? "b" : "a";
        for (int round = 1; round <= rounds; ++round) {
            char token = 0;
            ASSERT_EQ(read(in, &token, 1), 1) << "the other writer is gone, round " << round;
            SetInteger(name.c_str(), round, domain.c_str());
            SetInteger((name + "." + std::to_string(round)).c_str(), round, domain.c_str());
            ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(domain.c_str())));
            const int otherDone = name == "a" ? round - 1 : round;
            ASSERT_EQ(ReadInteger(other.c_str(), domain.c_str()), otherDone == 0 ? -1 : otherDone);
            // After b's last round a has finished and stopped reading.
            if (name == "a" || round < rounds) {
                ASSERT_EQ(write(out, &token, 1), 1);
            }
        }
    } else if (role == "race") {
        std::string name;
        int rounds = 0;
        words >> name >> rounds;
        for (int round = 1; round <= rounds; ++round) {
            SetInteger((name + "." + std::to_string(round)).c_str(), round, domain.c_str());
            ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(domain.c_str())));
        }
    } else if (role == "churn") {
        int ready = -1;
        words >> ready;
        std::vector<UInt8> bytes(2u << 20);
        for (SInt32 n = 0;; ++n) {
            std::fill(bytes.begin(), bytes.end(), UInt8(n));
            CFRef<CFDataRef> data(CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size())));
            CFPreferencesSetAppValue(CFSTR("big"), data, CFSTR(domain.c_str()));
            SetInteger("counter", n, domain.c_str());
            ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(domain.c_str())));
            if (n == 0) {
                char token = 1;
                ASSERT_EQ(write(ready, &token, 1), 1);
            }
        }
    } else {
        FAIL() << "unknown script " << script;
    }
}

// ---- one process ----

TEST_F(CFPreferencesTest, ValuesStayPendingUntilSynchronisedThenLandInTheFile)
{
    CFRef<CFMutableDictionaryRef> window(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(window, CFSTR("width"), Integer(640));
    const Float32 scale = 0.5f;
    CFRef<CFNumberRef> real(CFNumberCreate(nullptr, kCFNumberFloat32Type, &scale));
    CFRef<CFNumberRef> five = Integer(5);
    CFRef<CFDataRef> bytes = MakeData(std::string("\0\x01\xff", 3));
    const CFTypeRef values[][2] = {
        {CFSTR("user.count"), five.get()},  {CFSTR("user.scale"), real.get()},
        {CFSTR("user.on"), kCFBooleanTrue}, {CFSTR("user.title"), CFSTR("Grüße 日本")},
        {CFSTR("user.bytes"), bytes.get()}, {CFSTR("user.window"), window.get()},
    };
    for (const auto& [key, value] : values)
        CFPreferencesSetAppValue(static_cast<CFStringRef>(key), value, CFSTR(kDomain));
    // The store keeps a copy: later changes to the caller's value are not seen.
    CFRef<CFDictionaryRef> windowAsSet(CFDictionaryCreateCopy(nullptr, window));
    CFDictionarySetValue(window, CFSTR("width"), Integer(1));

    EXPECT_FALSE(std::filesystem::exists(FileOf())) << "nothing is written before synchronising";
    EXPECT_EQ(ReadInteger("user.count"), 5);
    ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));

    CFRef<CFTypeRef> file = ParsedFile();
    ASSERT_TRUE(file);
    ASSERT_EQ(CFGetTypeID(file), CFDictionaryGetTypeID());
    EXPECT_EQ(CFDictionaryGetCount(static_cast<CFDictionaryRef>(file.get())), CFIndex(std::size(values)));
    for (const auto& [key, value] : values) {
        SCOPED_TRACE(UTF8Of(static_cast<CFStringRef>(key)));
        const void* stored = CFDictionaryGetValue(static_cast<CFDictionaryRef>(file.get()), key);
        const CFTypeRef expected = key == CFSTR("user.window") ? windowAsSet.get() : value;
        EXPECT_TRUE(CFEqual(stored, expected)) << DescriptionOf(stored);
        CFRef<CFPropertyListRef> read(CFPreferencesCopyAppValue(static_cast<CFStringRef>(key), CFSTR(kDomain)));
        EXPECT_TRUE(CFEqual(read, stored));
    }

    // A removal is a change like any other.
    CFPreferencesSetAppValue(CFSTR("user.count"), nullptr, CFSTR(kDomain));
    EXPECT_EQ(ReadInteger("user.count"), -1);
    ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
    file = ParsedFile();
    EXPECT_FALSE(CFDictionaryContainsKey(static_cast<CFDictionaryRef>(file.get()), CFSTR("user.count")));
    EXPECT_EQ(Names(), StoreFiles());
}

TEST_F(CFPreferencesTest, ValuesThatAreNotPropertyListsAreRefused)
{
    CFRef<CFURLRef> url(CFURLCreateWithString(nullptr, CFSTR("file:///tmp"), nullptr));
    CFRef<CFMutableDictionaryRef> holdsURL(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(holdsURL, CFSTR("where"), url);
    CFRef<CFMutableDictionaryRef> numberKey(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(numberKey, Integer(1), CFSTR("one"));

    SetInteger("kept", 1);
    for (CFTypeRef bad : {CFTypeRef(url.get()), CFTypeRef(holdsURL.get()), CFTypeRef(numberKey.get())}) {
        SCOPED_TRACE(DescriptionOf(bad));
        Diagnostics::Capture capture;
        CFPreferencesSetAppValue(CFSTR("kept"), bad, CFSTR(kDomain));
        ASSERT_EQ(capture.Lines().size(), 1u);
        EXPECT_NE(capture.Text().find("not a property list"), std::string::npos) << capture.Text();
    }
    EXPECT_EQ(ReadInteger("kept"), 1) << "a refused value changes nothing";
    ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
    EXPECT_EQ(ReadInteger("kept"), 1);
}

TEST_F(CFPreferencesTest, AMutableKeyReusedForAnotherSettingKeepsBoth)
{
    CFRef<CFMutableStringRef> key = MakeMutableString("first");
    CFPreferencesSetAppValue(key, Integer(1), CFSTR(kDomain));
    CFStringReplaceAll(key, CFSTR("second"));
    CFPreferencesSetAppValue(key, Integer(2), CFSTR(kDomain));
    CFStringReplaceAll(key, CFSTR("removed"));
    CFPreferencesSetAppValue(key, nullptr, CFSTR(kDomain));
    CFStringReplaceAll(key, CFSTR("third"));
    CFPreferencesSetAppValue(key, Integer(3), CFSTR(kDomain));

    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "pending" : "synchronised");
        EXPECT_EQ(ReadInteger("first"), 1);
        EXPECT_EQ(ReadInteger("second"), 2);
        EXPECT_EQ(ReadInteger("third"), 3);
        if (pass == 0) {
            ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
        }
    }
    CFRef<CFTypeRef> file = ParsedFile();
    ASSERT_TRUE(file);
    EXPECT_EQ(CFDictionaryGetCount(static_cast<CFDictionaryRef>(file.get())), 3) << DescriptionOf(file);
}

TEST_F(CFPreferencesTest, IdentifiersThatCannotNameAFileAreRefused)
{
    const std::string identifiers[] = {"", "../escaped", "a/b", ".hidden", "tab\there", std::string(201, 'x')};
    for (const std::string& identifier : identifiers) {
        SCOPED_TRACE(identifier);
        CFRef<CFStringRef> id = MakeString(identifier);
        Diagnostics::Capture capture;
        CFPreferencesSetAppValue(CFSTR("k"), Integer(1), id);
        EXPECT_FALSE(CFPreferencesAppSynchronize(id));
        EXPECT_EQ(CFPreferencesCopyAppValue(CFSTR("k"), id), nullptr);
        EXPECT_EQ(capture.Lines().size(), 3u);
    }
    EXPECT_FALSE(std::filesystem::exists(home_ + "/escaped.plist"));
    EXPECT_FALSE(std::filesystem::exists(Folder()));
}

TEST_F(CFPreferencesTest, TheCurrentApplicationIsTheMainBundlesIdentifier)
{
    struct Case {
        const char* resources;
        std::string file;
    } cases[] = {
        {BRINDLET_FIXTURES_DIR "/Bundles/Sample", "org.example.sample.plist"},
        {nullptr, "brindlet.unbundled.plist"},  // a test program has no identifier of its own
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        CFBundleSetMainBundleResourcesPath(c.resources);
        CFPreferencesSetAppValue(CFSTR("n"), Integer(3), kCFPreferencesCurrentApplication);
        EXPECT_TRUE(CFPreferencesAppSynchronize(kCFPreferencesCurrentApplication));
        CFBundleSetMainBundleResourcesPath(nullptr);
        EXPECT_TRUE(std::filesystem::exists(Folder() + "/" + c.file));
    }
}

TEST_F(CFPreferencesTest, AFileThatCannotBeParsedIsMovedAsideOnce)
{
    const std::string cases[] = {
        "this is not a property list",
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>",
        "",
        // The warning quotes no more than the start of what it cannot read.
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><" + std::string(1 << 20, 'x') + "/></plist>",
    };
    int number = 0;
    for (const std::string& contents : cases) {
        SCOPED_TRACE(contents.substr(0, 100));
        const std::string identifier = "org.example.broken" + std::to_string(number++);
        std::filesystem::create_directories(Folder());
        WriteFile(FileOf(identifier), contents);

        Diagnostics::Capture capture;
        EXPECT_EQ(ReadInteger("n", identifier.c_str()), -1);
        EXPECT_EQ(ReadInteger("n", identifier.c_str()), -1);
        ASSERT_EQ(capture.Lines().size(), 1u) << capture.Text();
        EXPECT_NE(capture.Text().find("moved to"), std::string::npos);
        EXPECT_LT(capture.Text().size(), 1000u);

        std::vector<std::string> aside;
        for (const std::string& name : Names())
            if (name.rfind(identifier + ".plist.unreadable-", 0) == 0)
                aside.push_back(name);
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_TRUE(ReadFile(Folder() + "/" + aside[0]) == contents) << "the damaged file is kept as it was";

        // The store starts afresh; the moved file is left alone.
        SetInteger("n", 1, identifier.c_str());
        ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(identifier.c_str())));
        EXPECT_TRUE(ReadFile(Folder() + "/" + aside[0]) == contents);
        EXPECT_TRUE(ParsedFile(identifier));
    }
}

TEST_F(CFPreferencesTest, AFileThatCannotBeReadIsNeverWrittenOver)
{
    // A folder where the file should be: there, but not readable as a file.
    std::filesystem::create_directories(FileOf());
    WriteFile(FileOf() + "/inside", "keep");

    Diagnostics::Capture capture;
    EXPECT_EQ(ReadInteger("n"), -1);
    SetInteger("n", 2);
    EXPECT_FALSE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
    EXPECT_EQ(capture.Lines().size(), 1u) << capture.Text();
    EXPECT_EQ(ReadFile(FileOf() + "/inside"), "keep");
    EXPECT_EQ(ReadInteger("n"), 2) << "the change stays pending";

    std::filesystem::remove_all(FileOf());
    EXPECT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
    EXPECT_TRUE(ParsedFile());
}

// The store never writes a file larger than it reads: a value too large
// for the file is refused when it is set, and changes that together would
// make the file too large are not synchronised; either way with one
// warning, and the settings already there stay as they are.
TEST_F(CFPreferencesTest, ValuesTooLargeForTheFileAreRefusedAndTheSettingsKept)
{
    SetInteger("kept", 7);
    ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
    const std::string before = ReadFile(FileOf());

    const auto data = [](size_t megabytes) {
        CFRef<CFMutableDataRef> bytes(CFDataCreateMutable(nullptr, 0));
        CFDataSetLength(bytes, CFIndex(megabytes << 20));
        return bytes;
    };
    {
        // 25 MB is 34 MB once written as base 64.
        Diagnostics::Capture capture;
        CFPreferencesSetAppValue(CFSTR("huge"), data(25), CFSTR(kDomain));
        EXPECT_EQ(capture.Lines().size(), 1u) << capture.Text();
        EXPECT_EQ(capture.Text().rfind("Warning: ", 0), 0u) << capture.Text();
        CFRef<CFPropertyListRef> huge(CFPreferencesCopyAppValue(CFSTR("huge"), CFSTR(kDomain)));
        EXPECT_FALSE(huge);
        EXPECT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
        EXPECT_EQ(capture.Lines().size(), 1u) << capture.Text();
    }
    EXPECT_TRUE(ReadFile(FileOf()) == before);
    {
        // Each fits; together they do not.
        Diagnostics::Capture capture;
        CFPreferencesSetAppValue(CFSTR("large.1"), data(14), CFSTR(kDomain));
        CFPreferencesSetAppValue(CFSTR("large.2"), data(14), CFSTR(kDomain));
        SetInteger("small", 1);
        EXPECT_TRUE(capture.Lines().empty()) << capture.Text();
        EXPECT_FALSE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
        EXPECT_EQ(capture.Lines().size(), 1u) << capture.Text();
        EXPECT_TRUE(ReadFile(FileOf()) == before);
        // Taking one back lets the rest through.
        CFPreferencesSetAppValue(CFSTR("large.2"), nullptr, CFSTR(kDomain));
        EXPECT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
        EXPECT_EQ(capture.Lines().size(), 1u) << capture.Text();
    }
    // Read afresh, the file the store wrote is whole and never moved aside.
    EXPECT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
    EXPECT_EQ(ReadInteger("kept"), 7);
    EXPECT_EQ(ReadInteger("small"), 1);
    CFRef<CFPropertyListRef> large(CFPreferencesCopyAppValue(CFSTR("large.1"), CFSTR(kDomain)));
    EXPECT_TRUE(large && CFDataGetLength(static_cast<CFDataRef>(large.get())) == CFIndex(14 << 20));
    EXPECT_EQ(Names(), StoreFiles());
}

// A file too large for the store to read is someone else's: it is left as
// it is (neither moved aside nor written over), with one warning.
TEST_F(CFPreferencesTest, AFileTooLargeToReadIsLeftAsItIs)
{
    std::filesystem::create_directories(Folder());
    {
        std::ofstream out(FileOf(), std::ios::binary);
        out << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>";
        out << std::string(40u << 20, ' ');
        out << "</dict></plist>";
    }
    const auto size = std::filesystem::file_size(FileOf());
    Diagnostics::Capture capture;
    EXPECT_EQ(ReadInteger("n"), -1);
    SetInteger("n", 1);
    EXPECT_FALSE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
    EXPECT_EQ(capture.Lines().size(), 1u) << capture.Text();
    EXPECT_EQ(std::filesystem::file_size(FileOf()), size);
    EXPECT_EQ(Names(), StoreFiles());
}

TEST_F(CFPreferencesTest, AFileChangedInPlaceIsReadAgain)
{
    // Rewritten in place with the same size, inode and (likely) the same
    // coarse modification time: only a fresh read tells the change.
    std::filesystem::create_directories(Folder());
    const auto file = [](int n) {
        return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>n</key><integer>" + std::to_string(n) +
               "</integer></dict></plist>";
    };
    for (int n : {1, 2, 3}) {
        {
            std::fstream out(FileOf(), std::ios::in | std::ios::out | std::ios::binary);
            if (!out.is_open())
                WriteFile(FileOf(), file(n));
            else
                out << file(n);
        }
        EXPECT_EQ(ReadInteger("n"), n);
    }
}

TEST_F(CFPreferencesTest, ThreadsShareTheStoreSafely)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 25; ++i) {
                SetInteger(("t" + std::to_string(t) + "." + std::to_string(i)).c_str(), i);
                CFPreferencesAppSynchronize(CFSTR(kDomain));
                ReadInteger("t0.0");
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    CFRef<CFTypeRef> file = ParsedFile();
    ASSERT_TRUE(file);
    EXPECT_EQ(CFDictionaryGetCount(static_cast<CFDictionaryRef>(file.get())), 100);
}

// ---- between processes ----

TEST_F(CFPreferencesTest, AnotherProcessSeesValuesOnceSynchronised)
{
    SetInteger("mine", 1);
    EXPECT_EQ(ReadInteger("theirs"), -1);

    ASSERT_TRUE(RunChild(std::string("write ") + kDomain + " theirs 7"));
    EXPECT_EQ(ReadInteger("theirs"), 7) << "seen without synchronising";
    EXPECT_EQ(ReadInteger("mine"), 1);
    EXPECT_TRUE(RunChild(std::string("expect ") + kDomain + " mine none")) << "not written before synchronising";

    ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
    EXPECT_TRUE(RunChild(std::string("expect ") + kDomain + " mine 1"));
    EXPECT_TRUE(RunChild(std::string("expect ") + kDomain + " theirs 7"));
}

TEST_F(CFPreferencesTest, SynchronisingAppliesOnlyOurOwnChangesOverTheFile)
{
    SetInteger("a", 1);
    SetInteger("b", 2);
    ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));

    CFPreferencesSetAppValue(CFSTR("a"), nullptr, CFSTR(kDomain));
    SetInteger("b", 20);
    ASSERT_TRUE(RunChild(std::string("write ") + kDomain + " c 3"));
    ASSERT_TRUE(RunChild(std::string("write ") + kDomain + " b 99"));
    ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));

    CFRef<CFTypeRef> file = ParsedFile();
    CFRef<CFTypeRef> expected = ParsePropertyList("<plist version=\"1.0\"><dict>"
                                                  "<key>b</key><integer>20</integer>"
                                                  "<key>c</key><integer>3</integer>"
                                                  "</dict></plist>");
    EXPECT_TRUE(CFEqual(file, expected)) << DescriptionOf(file);
}

TEST_F(CFPreferencesTest, TwoProcessesWritingInTurnKeepEachOthersValues)
{
    const int rounds = 200;
    int toB[2], toA[2];
    ASSERT_EQ(pipe(toB), 0);
    ASSERT_EQ(pipe(toA), 0);
    const std::string common = std::string(kDomain) + " ";
    auto a = SpawnChild("alternate " + common + "a " + std::to_string(rounds) + " " + std::to_string(toA[0]) + " " +
                            std::to_string(toB[1]),
                        {toB[0], toA[1]});
    auto b = SpawnChild("alternate " + common + "b " + std::to_string(rounds) + " " + std::to_string(toB[0]) + " " +
                            std::to_string(toA[1]),
                        {toA[0], toB[1]});
    char token = 1;
    ASSERT_EQ(write(toA[1], &token, 1), 1);
    for (int fd : {toB[0], toB[1], toA[0], toA[1]})
        close(fd);
    EXPECT_TRUE(ExitedCleanly(*a));
    EXPECT_TRUE(ExitedCleanly(*b));

    for (const char* name : {"a", "b"}) {
        EXPECT_EQ(ReadInteger(name), rounds);
        for (int round = 1; round <= rounds; ++round)
            ASSERT_EQ(ReadInteger((std::string(name) + "." + std::to_string(round)).c_str()), round) << name;
    }
}

// Without the store's lock, one writer would read the file, the other
// replace it, and the first then write back what it had read.
TEST_F(CFPreferencesTest, ProcessesWritingAtOnceLoseNothing)
{
    const int rounds = 100;
    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (const char* name : {"a", "b", "c"})
        writers.push_back(SpawnChild("race " + std::string(kDomain) + " " + name + " " + std::to_string(rounds)));
    for (const auto& writer : writers)
        EXPECT_TRUE(ExitedCleanly(*writer));
    CFRef<CFTypeRef> file = ParsedFile();
    ASSERT_TRUE(file);
    EXPECT_EQ(CFDictionaryGetCount(static_cast<CFDictionaryRef>(file.get())), 3 * rounds);
}

TEST_F(CFPreferencesTest, AWriterKilledMidWriteLeavesTheLastWholeFile)
{
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        auto child = SpawnChild("churn " + std::string(kDomain) + " " + std::to_string(ready[1]), {ready[0]});
        close(ready[1]);
        char token = 0;
        ASSERT_EQ(read(ready[0], &token, 1), 1);
        close(ready[0]);
        std::this_thread::sleep_for(std::chrono::milliseconds(1 + 7 * round));
        child->Kill(SIGKILL);
        ASSERT_TRUE(child->Wait());
        EXPECT_TRUE(child->Signalled()) << child->Report();

        // Whatever moment the kill came, the file is one whole writing: its
        // large value is filled with the counter written with it.
        CFRef<CFTypeRef> file = ParsedFile();
        ASSERT_TRUE(file && CFGetTypeID(file) == CFDictionaryGetTypeID());
        CFDictionaryRef values = static_cast<CFDictionaryRef>(file.get());
        SInt32 counter = -1;
        ASSERT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(values, CFSTR("counter"))),
                                     kCFNumberSInt32Type, &counter));
        CFDataRef big = static_cast<CFDataRef>(CFDictionaryGetValue(values, CFSTR("big")));
        ASSERT_EQ(CFDataGetLength(big), CFIndex(2u << 20));
        const std::string bytes = BytesOf(big);
        EXPECT_EQ(bytes.find_first_not_of(char(UInt8(counter))), std::string::npos);
        // The dead writer's lock went with it, and whatever it left the next
        // write clears away.
        SetInteger("after", round);
        EXPECT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
        EXPECT_EQ(Names(), StoreFiles()) << "no temporary file is left behind";
    }
}
