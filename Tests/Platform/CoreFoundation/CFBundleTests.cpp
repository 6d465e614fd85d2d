// Bundles against the Sample fixture folder: an Info.plist, resources at the
// top and in a subfolder, English (UTF-16) and German (UTF-8) translations,
// a table that cannot be read and an empty one.

#include <CFTestSupport.h>
#include <CoreFoundation/CFBundle.h>
#include <FileFixtures.h>
#include <StalledFifo.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

const std::string kSamplePath = std::string(BRINDLET_FIXTURES_DIR) + "/Bundles/Sample";

CFRef<CFURLRef> FolderURL(const std::string& path)
{
    return CFRef<CFURLRef>(CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.data()),
                                                                   static_cast<CFIndex>(path.size()), true));
}

CFRef<CFBundleRef> SampleBundle()
{
    return CFRef<CFBundleRef>(CFBundleCreate(nullptr, FolderURL(kSamplePath)));
}

std::string PathOf(CFURLRef url)
{
    if (url == nullptr)
        return "<nil>";
    CFRef<CFStringRef> path(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle));
    return UTF8Of(path);
}

// Sets the locale variables for one scope (nil unsets) and puts back what
// the test run had.
class ScopedLocale {
public:
    ScopedLocale(const char* language, const char* lang)
    {
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            unsetenv(name);
        }
        if (language)
            setenv("LANGUAGE", language, 1);
        if (lang)
            setenv("LANG", lang, 1);
    }
    ~ScopedLocale()
    {
        for (const auto& [name, value] : saved_) {
            if (value)
                setenv(name, value->c_str(), 1);
            else
                unsetenv(name);
        }
    }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

std::string Localized(CFBundleRef bundle, const char* key, const char* value = nullptr, const char* table = nullptr)
{
    CFRef<CFStringRef> keyString = MakeString(key);
    CFRef<CFStringRef> valueString = value ? MakeString(value) : CFRef<CFStringRef>();
    CFRef<CFStringRef> tableString = table ? MakeString(table) : CFRef<CFStringRef>();
    CFRef<CFStringRef> result(CFBundleCopyLocalizedString(bundle, keyString, valueString, tableString));
    return UTF8Of(result);
}

}  // namespace

TEST(CFBundle, ReadsTheInformationDictionary)
{
    auto bundle = SampleBundle();
    ASSERT_TRUE(bundle);
    EXPECT_EQ(UTF8Of(CFBundleGetIdentifier(bundle)), "org.example.sample");
    EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("CFBundleName")))),
              "Sample");
    EXPECT_EQ(CFBundleGetValueForInfoDictionaryKey(bundle, CFSTR("Missing")), nullptr);

    // A folder without Info.plist is still a bundle, with nothing to tell.
    CFRef<CFBundleRef> bare(CFBundleCreate(nullptr, FolderURL(kSamplePath + "/Images")));
    ASSERT_TRUE(bare);
    EXPECT_EQ(CFDictionaryGetCount(CFBundleGetInfoDictionary(bare)), 0);
    EXPECT_EQ(CFBundleGetIdentifier(bare), nullptr);
}

TEST(CFBundle, IsAFolder)
{
    auto bundle = SampleBundle();
    CFRef<CFBundleRef> sameFolder(CFBundleCreate(nullptr, FolderURL(kSamplePath + "/Images/../")));
    ASSERT_TRUE(sameFolder);
    EXPECT_TRUE(CFEqual(bundle, sameFolder));
    EXPECT_EQ(CFGetTypeID(bundle), CFBundleGetTypeID());
    CFRef<CFURLRef> url(CFBundleCopyBundleURL(bundle));
    CFRef<CFURLRef> resources(CFBundleCopyResourcesDirectoryURL(bundle));
    EXPECT_EQ(PathOf(url), PathOf(resources));
    EXPECT_EQ(PathOf(url).substr(PathOf(url).size() - 15), "/Bundles/Sample");

    EXPECT_FALSE(CFRef<CFBundleRef>(CFBundleCreate(nullptr, FolderURL(kSamplePath + "/Readme.txt"))));
    EXPECT_FALSE(CFRef<CFBundleRef>(CFBundleCreate(nullptr, FolderURL(kSamplePath + "/Missing"))));
    EXPECT_FALSE(CFRef<CFBundleRef>(CFBundleCreate(nullptr, nullptr)));
}

TEST(CFBundle, FindsResources)
{
    ScopedLocale german("de", nullptr);
    auto bundle = SampleBundle();
    struct Case {
        const char* name;
        const char* type;
        const char* subdirectory;
        const char* expected;  // relative to the bundle, or null for none
    } cases[] = {
        {"Readme", "txt", nullptr, "Readme.txt"},
        {"Readme.txt", nullptr, nullptr, "Readme.txt"},
        {"Readme.txt", "", nullptr, "Readme.txt"},
        {"Readme", ".txt", nullptr, "Readme.txt"},
        {"Readme", nullptr, nullptr, nullptr},
        {"dot", "png", "Images", "Images/dot.png"},
        {"dot", "png", "/Images", "Images/dot.png"},
        {"dot", "png", "//Images/", "Images/dot.png"},
        {"Images/dot.png", nullptr, nullptr, "Images/dot.png"},
        {"dot", "png", nullptr, nullptr},
        {"Images", nullptr, nullptr, "Images"},
        {"Welcome", "txt", nullptr, "de.lproj/Welcome.txt"},
        {"Missing", "txt", nullptr, nullptr},
        {"../Sample/Readme", "txt", nullptr, nullptr},
        {"Readme", "txt", "Images/..", nullptr},
        {"passwd", nullptr, "/etc", nullptr},
        {"Readme", "txt", "/", "Readme.txt"},
        {"Readme", "txt", "/../Sample", nullptr},
        {"/etc/passwd", nullptr, nullptr, nullptr},
        {"", nullptr, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        CFRef<CFStringRef> name = MakeString(c.name);
        CFRef<CFStringRef> type = c.type ? MakeString(c.type) : CFRef<CFStringRef>();
        CFRef<CFStringRef> subdirectory = c.subdirectory ? MakeString(c.subdirectory) : CFRef<CFStringRef>();
        CFRef<CFURLRef> url(CFBundleCopyResourceURL(bundle, name, type, subdirectory));
        const std::string where =
            std::string(c.name) + " " + (c.type ? c.type : "-") + " " + (c.subdirectory ? c.subdirectory : "-");
        if (c.expected == nullptr) {
            EXPECT_FALSE(url) << where << " gave " << PathOf(url);
            continue;
        }
        ASSERT_TRUE(url) << where;
        CFRef<CFURLRef> bundleURL(CFBundleCopyBundleURL(bundle));
        EXPECT_EQ(PathOf(url), PathOf(bundleURL) + "/" + c.expected) << where;
    }

    ScopedLocale english("en", nullptr);
    CFRef<CFURLRef> welcome(CFBundleCopyResourceURL(bundle, CFSTR("Welcome"), CFSTR("txt"), nullptr));
    CFRef<CFURLRef> bundleURL(CFBundleCopyBundleURL(bundle));
    EXPECT_EQ(PathOf(welcome), PathOf(bundleURL) + "/en.lproj/Welcome.txt");
}

TEST(CFBundle, TranslatesFromTheStringsTables)
{
    ScopedLocale english("en", nullptr);
    auto bundle = SampleBundle();
    struct Case {
        const char* key;
        const char* value;
        const char* table;
        const char* expected;
    } cases[] = {
        {"Open Sheet", nullptr, nullptr, "Open Sheet…"},
        {"Quote", nullptr, nullptr, "She said \"hi\""},
        {"Lines", nullptr, nullptr, "one\ntwo"},
        {"Cafe", nullptr, nullptr, "Café 😀"},
        {"Open Sheet", "ignored", "Localizable", "Open Sheet…"},
        {"Delete?", nullptr, "Alerts", "Delete the selected cards?"},
        {"Card", nullptr, "Glossary", "Card (shared)"},
        {"Not translated", nullptr, nullptr, "Not translated"},
        {"Not translated", "", nullptr, "Not translated"},
        {"Not translated", "Fallback", nullptr, "Fallback"},
        {"Delete?", nullptr, "NoSuchTable", "Delete?"},
        {"Delete?", nullptr, "../en.lproj/Alerts", "Delete?"},
        {"Anything", nullptr, "Empty", "Anything"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Localized(bundle, c.key, c.value, c.table), c.expected)
            << c.key << " in " << (c.table ? c.table : "-");
}

TEST(CFBundle, FollowsThePreferredLanguages)
{
    auto bundle = SampleBundle();
    struct Case {
        const char* language;
        const char* lang;
        const char* openSheet;
    } cases[] = {
        {"de", nullptr, "Blatt öffnen…"},          {"fr:de_AT", nullptr, "Blatt öffnen…"},
        {"en:de", nullptr, "Open Sheet…"},         {nullptr, "de_DE.UTF-8", "Blatt öffnen…"},
        {"", "de_DE.UTF-8@euro", "Blatt öffnen…"}, {nullptr, "C", "Open Sheet…"},
        {nullptr, "POSIX", "Open Sheet…"},         {"fr", nullptr, "Open Sheet…"},
    };
    for (const Case& c : cases) {
        ScopedLocale locale(c.language, c.lang);
        const std::string where = std::string(c.language ? c.language : "-") + " " + (c.lang ? c.lang : "-");
        EXPECT_EQ(Localized(bundle, "Open Sheet"), c.openSheet) << where;
        // German lacks this one; English fills in.
        EXPECT_EQ(Localized(bundle, "Only English"), "English only") << where;
    }

    ScopedLocale german("de_CH", nullptr);
    const void* names[] = {CFSTR("en"), CFSTR("de"), CFSTR("fr")};
    CFRef<CFArrayRef> available(CFArrayCreate(nullptr, names, 3, &kCFTypeArrayCallBacks));
    CFRef<CFArrayRef> preferred(CFBundleCopyPreferredLocalizationsFromArray(available));
    ASSERT_EQ(CFArrayGetCount(preferred), 1);
    EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(CFArrayGetValueAtIndex(preferred, 0))), "de");
}

TEST(CFBundle, ReportsAnUnreadableTableOnce)
{
    ScopedLocale english("en", nullptr);
    auto bundle = SampleBundle();
    Diagnostics::Capture capture;
    EXPECT_EQ(Localized(bundle, "Delete?", nullptr, "Broken"), "Delete?");
    EXPECT_EQ(Localized(bundle, "Other", nullptr, "Broken"), "Other");
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 1u) << capture.Text();
    EXPECT_EQ(lines[0].rfind("Warning: could not read the strings table " + kSamplePath, 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("en.lproj/Broken.strings: Malformed property list at line 2"), std::string::npos)
        << lines[0];
}

// A table in UTF-16 without a byte-order mark reads in either byte order.
TEST(CFBundle, ReadsUTF16TablesWithoutAMark)
{
    ScopedLocale english("en", nullptr);
    ScratchFolder folder;
    const std::u16string text = u"/* Menus */\n\"Open\" = \"\u00D6ffnen \u2014 \U0001F600\";\n";
    std::string little, big;
    for (char16_t unit : text) {
        little += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        big += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
    }
    folder.Write("en.lproj/Little.strings", little);
    folder.Write("en.lproj/Big.strings", big);
    CFRef<CFBundleRef> bundle(CFBundleCreate(nullptr, FolderURL(folder.Path())));
    Diagnostics::Capture capture;
    EXPECT_EQ(Localized(bundle, "Open", nullptr, "Little"), "\u00D6ffnen \u2014 \U0001F600");
    EXPECT_EQ(Localized(bundle, "Open", nullptr, "Big"), "\u00D6ffnen \u2014 \U0001F600");
    EXPECT_TRUE(capture.Lines().empty()) << capture.Text();
}

// What cannot be a table is refused at once with one warning (the key is
// then its own translation): a pipe, a file too large for a table; and the
// warning quotes no more than the start of a damaged table.
TEST(CFBundle, RefusesWhatCannotBeATable)
{
    ScopedLocale english("en", nullptr);
    ScratchFolder folder;
    folder.MakeFolder("en.lproj");
    StalledFifo pipe(folder / "en.lproj/Pipe.strings");
    ASSERT_TRUE(pipe.Made());
    folder.Write("en.lproj/Huge.strings", "");
    ASSERT_EQ(truncate((folder / "en.lproj/Huge.strings").c_str(), 200 << 20), 0);
    folder.Write("en.lproj/Tag.strings",
                 "<?xml version=\"1.0\"?><plist version=\"1.0\"><" + std::string(1 << 20, 'x') + "/></plist>");
    CFRef<CFBundleRef> bundle(CFBundleCreate(nullptr, FolderURL(folder.Path())));
    for (const char* table : {"Pipe", "Huge", "Tag"}) {
        SCOPED_TRACE(table);
        Diagnostics::Capture capture;
        const auto took = TimeOf([&] { EXPECT_EQ(Localized(bundle, "Key", nullptr, table), "Key"); });
        EXPECT_LT(took.count(), 1000);
        EXPECT_EQ(Localized(bundle, "Other", nullptr, table), "Other");
        const auto lines = capture.Lines();
        ASSERT_EQ(lines.size(), 1u) << capture.Text().substr(0, 500);
        EXPECT_EQ(lines[0].rfind("Warning: ", 0), 0u) << lines[0].substr(0, 500);
        EXPECT_LT(lines[0].size(), 1000u) << lines[0].substr(0, 500);
    }
}

TEST(CFBundle, TablesAreSharedSafelyBetweenThreads)
{
    ScopedLocale german("de", nullptr);
    auto bundle = SampleBundle();  // fresh: the threads race to read its tables
    std::vector<std::string> answers(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < answers.size(); ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 50; ++round)
                answers[i] = Localized(bundle, "Open Sheet") + "|" + Localized(bundle, "Only English") + "|" +
                             UTF8Of(CFBundleGetIdentifier(bundle));
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (const std::string& answer : answers)
        EXPECT_EQ(answer, "Blatt öffnen…|English only|org.example.sample");
}

TEST(CFBundle, MainBundleFollowsTheResourcesPath)
{
    CFBundleSetMainBundleResourcesPath(kSamplePath.c_str());
    CFBundleRef sample = CFBundleGetMainBundle();
    EXPECT_EQ(CFBundleGetMainBundle(), sample);
    EXPECT_EQ(UTF8Of(CFBundleGetIdentifier(sample)), "org.example.sample");
    EXPECT_TRUE(CFEqual(sample, SampleBundle()));

    CFBundleSetMainBundleResourcesPath(nullptr);
    CFBundleRef standard = CFBundleGetMainBundle();
    CFRef<CFURLRef> url(CFBundleCopyBundleURL(standard));
    const std::string path = PathOf(url);
    EXPECT_EQ(path.substr(path.size() - 15), "/share/brindlet") << path;
    EXPECT_FALSE(CFEqual(standard, sample));
    // What was answered before stays usable.
    EXPECT_EQ(UTF8Of(CFBundleGetIdentifier(sample)), "org.example.sample");
}
