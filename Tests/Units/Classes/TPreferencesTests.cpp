#include <CFTestSupport.h>
#include <FileFixtures.h>
#include <Units/Classes/TObjectRef.h>
#include <Units/Classes/TPreferencesUnit.h>

#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kDomain = "org.example.handlers";

template <typename T>
using Held = TObjectRef<T>;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

CFRef<CFNumberRef> Integer(SInt32 n)
{
    return CFRef<CFNumberRef>(CFNumberCreate(nullptr, kCFNumberSInt32Type, &n));
}

CFRef<CFMutableDictionaryRef> NewDictionary()
{
    return CFRef<CFMutableDictionaryRef>(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}

// Each test gets a preferences folder of its own.
class TPreferencesTest : public testing::Test {
public:
    void SetUp() override
    {
        config_.emplace();
        home_ = config_->ConfigFolder();
        ASSERT_FALSE(home_.empty());
    }
    void TearDown() override { config_.reset(); }

    std::string PreferencesFile() const { return home_ + "/brindlet/" + kDomain + ".plist"; }

    Held<TPreferenceHandlerApplication> Application() const
    {
        Held<TPreferenceHandlerApplication> handler =
            Held<TPreferenceHandlerApplication>::Adopt(TPreferenceHandlerApplication::Create());
        handler->SetApplicationID(CFSTR(kDomain));
        handler->SetDomain("user.");
        return handler;
    }

    // A file handler writing to a (new, empty) file of the test's folder.
    Held<TPreferenceHandlerFile> File(const std::string& name = "values.plist") const
    {
        const std::string path = home_ + "/" + name;
        std::ofstream{path};
        FSRef ref{};
        EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), noErr);
        Held<TPreferenceHandlerFile> handler = Held<TPreferenceHandlerFile>::Adopt(TPreferenceHandlerFile::Create());
        handler->SetFile(ref);
        handler->SetDomain("user.");
        return handler;
    }

    std::optional<ScopedHome> config_;
    std::string home_;
};

// A variant of handler, with a way to look at what it stored under a full key.
struct Variant {
    const char* name;
    std::function<Held<TPreferenceHandler>(const TPreferencesTest&)> make;
    std::function<CFRef<CFTypeRef>(TPreferenceHandler*, const char* fullKey)> stored;
};

// Test listings name a variant, not its bytes.
void PrintTo(const Variant& variant, std::ostream* out)
{
    *out << variant.name;
}

CFRef<CFTypeRef> StoredInDictionary(TPreferenceHandler* handler, const char* fullKey)
{
    return CFRef<CFTypeRef>::Retained(
        CFDictionaryGetValue(static_cast<CFDictionaryRef>(handler->CFType()), CFSTR(fullKey)));
}

// The tag of the element that follows <key>`key`</key> in a property list's XML.
std::string ElementAfterKey(const std::string& xml, const std::string& key)
{
    const std::string marker = "<key>" + key + "</key>";
    size_t at = xml.find(marker);
    if (at == std::string::npos)
        return "<missing>";
    at = xml.find('<', at + marker.size());
    return xml.substr(at, xml.find('>', at) + 1 - at);
}

}  // namespace

class TPreferencesVariantTest : public TPreferencesTest, public testing::WithParamInterface<Variant> {
protected:
    void SetUp() override
    {
        TPreferencesTest::SetUp();
        handler_ = GetParam().make(*this);
    }
    CFRef<CFTypeRef> Stored(const char* fullKey) { return GetParam().stored(handler_.get(), fullKey); }

    Held<TPreferenceHandler> handler_;
};

INSTANTIATE_TEST_SUITE_P(
    Variants, TPreferencesVariantTest,
    testing::Values(
        Variant{"Application",
                [](const TPreferencesTest& t) { return Held<TPreferenceHandler>::Adopt(t.Application().Detach()); },
                [](TPreferenceHandler*, const char* fullKey) {
                    return CFRef<CFTypeRef>(CFPreferencesCopyAppValue(CFSTR(fullKey), CFSTR(kDomain)));
                }},
        Variant{"File", [](const TPreferencesTest& t) { return Held<TPreferenceHandler>::Adopt(t.File().Detach()); },
                StoredInDictionary},
        Variant{"Dictionary",
                [](const TPreferencesTest&) {
                    Held<TPreferenceHandler> handler =
                        Held<TPreferenceHandler>::Adopt(TPreferenceHandlerDictionary::Create());
                    handler->SetDomain("user.");
                    return handler;
                },
                StoredInDictionary}),
    [](const testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

// ---- what every variant does ----

TEST_P(TPreferencesVariantTest, KeysCarryTheDomainAndValuesTheirKinds)
{
    handler_->SetIntegerValue("count", 5);
    EXPECT_TRUE(CFEqual(Stored("user.count"), Integer(5)));
    EXPECT_EQ(handler_->GetIntegerValue("count"), 5);
    EXPECT_FALSE(Stored("count")) << "never without the domain";

    handler_->SetTypeValue("digits", CFSTR("12"));
    EXPECT_EQ(handler_->GetIntegerValue("digits"), 12) << "integers also read strings";

    handler_->SetFloatValue("scale", 0.25f);
    CFRef<CFTypeRef> scale = Stored("user.scale");
    ASSERT_TRUE(scale && CFGetTypeID(scale) == CFNumberGetTypeID());
    EXPECT_TRUE(CFNumberIsFloatType(static_cast<CFNumberRef>(scale.get())));
    EXPECT_EQ(handler_->GetFloatValue("scale"), 0.25f);

    handler_->SetStringValue("title", "Grüße 日本");
    EXPECT_TRUE(CFEqual(Stored("user.title"), CFSTR("Grüße 日本")));
    EXPECT_EQ(handler_->GetStringValue("title"), "Grüße 日本");

    handler_->SetBooleanValue("off", false);
    EXPECT_EQ(Stored("user.off").get(), kCFBooleanFalse);
    EXPECT_EQ(handler_->GetChangeCount(), 5);
}

TEST_P(TPreferencesVariantTest, ATextThatIsNotUTF8IsStoredNotRemoved)
{
    // Folder names as the file system gave them, in Latin-1 ("Café").
    handler_->SetStringValue("folder", "/home/u/Caf\xE9");
    EXPECT_TRUE(Stored("user.folder"));
    handler_->SetStringValue("folder", "/home/u/Caf\xE9 2");
    const std::string read = handler_->GetStringValue("folder").ToString();
    ASSERT_GT(read.size(), 11u);
    EXPECT_EQ(read.substr(0, 11), "/home/u/Caf");
    EXPECT_EQ(read.substr(read.size() - 2), " 2") << "the second text replaced the first";
}

TEST_P(TPreferencesVariantTest, MissingValuesAndValuesOfOtherKindsReadAsDefaults)
{
    handler_->SetIntegerValue("zero", 0);
    handler_->SetStringValue("text", "abc");
    handler_->SetBooleanValue("yes", true);
    struct Case {
        const char* key;
        bool boolean;
        SInt32 integer;
        Float32 real;
        const char* string;
    } cases[] = {
        {"absent", false, 0, 0.0f, ""},
        {"zero", true, 0, 0.0f, ""},  // only the platform false and absence read false
        {"text", true, 0, 0.0f, "abc"},
        {"yes", true, 0, 0.0f, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(handler_->GetBooleanValue(c.key), c.boolean);
        EXPECT_EQ(handler_->GetIntegerValue(c.key), c.integer);
        EXPECT_EQ(handler_->GetFloatValue(c.key), c.real);
        EXPECT_EQ(handler_->GetStringValue(c.key), c.string);
        EXPECT_EQ(handler_->CopyArray(c.key), nullptr);
        EXPECT_EQ(handler_->CopyDictionary(c.key), nullptr);
        EXPECT_EQ(handler_->GetArrayValue(c.key, 0), nullptr);
        SInt32 untouched = 77;
        EXPECT_FALSE(handler_->CopyDataValue(c.key, &untouched));
        EXPECT_EQ(untouched, 77);
    }
    EXPECT_EQ(handler_->GetTypeValue("absent"), nullptr);
    EXPECT_FALSE(handler_->ContainsValue("absent"));
    EXPECT_TRUE(handler_->ContainsValue("zero"));
}

TEST_P(TPreferencesVariantTest, ArraysHoldEachValueOnceAndReadSafelyByIndex)
{
    handler_->SetArrayValue("recent", CFSTR("one"));
    handler_->SetArrayValue("recent", CFSTR("one"));
    handler_->SetArrayValue("recent", CFSTR("two"));
    handler_->SetArrayValue("recent", nullptr);

    Held<TTypeArray> recent = Held<TTypeArray>::Adopt(handler_->CopyArray("recent"));
    ASSERT_TRUE(recent);
    EXPECT_EQ(recent->Count(), 2);
    EXPECT_TRUE(CFEqual(handler_->GetArrayValue("recent", 0), CFSTR("one")));
    EXPECT_TRUE(CFEqual(handler_->GetArrayValue("recent", 1), CFSTR("two")));
    for (SInt32 outside : {2, -1, 1000})
        EXPECT_EQ(handler_->GetArrayValue("recent", outside), nullptr) << outside;

    // A key holding something else becomes an array on the first append.
    handler_->SetIntegerValue("list", 1);
    handler_->SetArrayValue("list", CFSTR("x"));
    EXPECT_TRUE(CFEqual(handler_->GetArrayValue("list", 0), CFSTR("x")));
}

TEST_P(TPreferencesVariantTest, WritesAndRemovalsCount)
{
    handler_->ToggleBooleanValue("flag");
    EXPECT_TRUE(handler_->GetBooleanValue("flag")) << "an absent key toggles to true";
    handler_->ToggleBooleanValue("flag");
    EXPECT_FALSE(handler_->GetBooleanValue("flag"));
    handler_->RemoveValue("flag");
    EXPECT_FALSE(handler_->ContainsValue("flag"));
    EXPECT_EQ(handler_->GetChangeCount(), 3);

    // Storing nothing, or something that is not a property list, is no change.
    handler_->SetTypeValue("nothing", nullptr);
    CFRef<CFURLRef> url(CFURLCreateWithString(nullptr, CFSTR("file:///tmp"), nullptr));
    Diagnostics::Capture capture;
    handler_->SetTypeValue("url", url);
    EXPECT_EQ(capture.Lines().size(), 1u);
    EXPECT_FALSE(handler_->ContainsValue("url"));
    EXPECT_EQ(handler_->GetChangeCount(), 3);
}

TEST_P(TPreferencesVariantTest, DataIsCopiedOutOnlyIntoRoomOfItsExactSize)
{
    const UInt8 colour[4] = {0x3F, 0x80, 0x00, 0x00};
    handler_->SetDataValue("colour", colour, sizeof colour);

    UInt8 exact[4] = {};
    EXPECT_TRUE(handler_->CopyDataValue("colour", exact, sizeof exact));
    EXPECT_EQ(std::memcmp(exact, colour, sizeof colour), 0);
    UInt8 small[2] = {9, 9};
    EXPECT_FALSE(handler_->CopyDataValue("colour", small, sizeof small));
    EXPECT_EQ(small[0], 9);
    UInt8 large[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_FALSE(handler_->CopyDataValue("colour", large, sizeof large));
    EXPECT_EQ(large[0], 9);
}

TEST_P(TPreferencesVariantTest, TheByteSwapperSeesCopiesOfDataBothWays)
{
    struct Call {
        std::string key;
        SInt16 order;
        std::string bytes;
    };
    static std::vector<Call> calls;
    calls.clear();
    handler_->SetByteSwapperCallback([](const ShortString& key, SInt16 order, void* data, size_t length) {
        auto* bytes = static_cast<UInt8*>(data);
        calls.push_back({key.ToString(), order, std::string(reinterpret_cast<char*>(bytes), length)});
        std::reverse(bytes, bytes + length);
    });

    UInt8 value[3] = {1, 2, 3};
    handler_->SetDataValue("d", value, sizeof value);
    EXPECT_EQ(value[0], 1) << "the caller's bytes stay as they were";
    CFRef<CFTypeRef> stored = Stored("user.d");
    EXPECT_EQ(BytesOf(static_cast<CFDataRef>(stored.get())), std::string("\3\2\1"));
    UInt8 read[3] = {};
    ASSERT_TRUE(handler_->CopyDataValue("d", read, sizeof read));
    EXPECT_EQ(read[0], 1);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].order, kPreferenceBytesIn);
    EXPECT_EQ(calls[1].order, kPreferenceBytesOut);
    EXPECT_EQ(calls[1].key, "d");

    // The walk reaches data in nested dictionaries and arrays and stores nothing.
    calls.clear();
    CFRef<CFMutableDictionaryRef> tree = NewDictionary();
    CFRef<CFMutableDictionaryRef> inner = NewDictionary();
    CFRef<CFDataRef> a = MakeData("ab"), b = MakeData("cd");
    const void* elements[] = {a.get(), CFSTR("text")};
    CFRef<CFArrayRef> list(CFArrayCreate(nullptr, elements, 2, &kCFTypeArrayCallBacks));
    CFDictionarySetValue(inner, CFSTR("list"), list);
    CFDictionarySetValue(tree, CFSTR("inner"), inner);
    CFDictionarySetValue(tree, CFSTR("data"), b);
    handler_->SwapTypeBytes("tree", tree, kPreferenceBytesIn);
    ASSERT_EQ(calls.size(), 2u);
    for (const Call& call : calls) {
        EXPECT_EQ(call.key, "tree");
        EXPECT_EQ(call.order, kPreferenceBytesIn);
    }
    EXPECT_EQ(BytesOf(a), "ab");
    EXPECT_EQ(BytesOf(b), "cd");
}

TEST_P(TPreferencesVariantTest, DomainAndKeyAreCutAsShortStrings)
{
    handler_->SetDomain(ShortString63(std::string(100, 'd')));
    EXPECT_EQ(handler_->GetDomain().Length(), 63u);
    handler_->SetDomain("d.");
    const ShortString key(std::string(252, 'k') + "é");  // the é would end at byte 256
    handler_->SetIntegerValue(key, 1);
    EXPECT_EQ(handler_->GetIntegerValue(key), 1);
    EXPECT_TRUE(Stored(("d." + std::string(252, 'k')).c_str())) << "cut before the character that does not fit";
}

// ---- the application's preferences ----

TEST_F(TPreferencesTest, TheFileShowsDomainKeysAsPropertyListValues)
{
    auto handler = Application();
    handler->SetIntegerValue("count", 5);
    handler->SetFloatValue("scale", 0.5f);
    handler->SetBooleanValue("on", true);
    handler->SetStringValue("project-folder", "/home/user/Brindlet");
    const UInt8 colour[4] = {0x3F, 0x80, 0, 0};
    handler->SetDataValue("colour", colour, sizeof colour);
    CFRef<CFMutableDictionaryRef> key = NewDictionary();
    CFDictionarySetValue(key, CFSTR("code"), Integer(49));
    handler->SetTypeValue("activationKey", key);
    handler->SetArrayValue("recent", CFSTR("a"));
    EXPECT_FALSE(std::filesystem::exists(PreferencesFile()));

    handler->Synchronize();
    EXPECT_EQ(handler->GetChangeCount(), 0);
    const std::string xml = ReadFile(PreferencesFile());
    const std::pair<const char*, const char*> expected[] = {
        {"user.count", "<integer>"},         {"user.scale", "<real>"},  {"user.on", "<true/>"},
        {"user.project-folder", "<string>"}, {"user.colour", "<data>"}, {"user.activationKey", "<dict>"},
        {"user.recent", "<array>"},
    };
    for (const auto& [name, element] : expected)
        EXPECT_EQ(ElementAfterKey(xml, name), element) << name;
    EXPECT_NE(xml.find("<integer>5</integer>"), std::string::npos);
    EXPECT_NE(xml.find("<string>/home/user/Brindlet</string>"), std::string::npos);

    // What another handler of the domain reads back.
    auto reader = Application();
    Held<TTypeDictionary> activation = Held<TTypeDictionary>::Adopt(reader->CopyDictionary("activationKey"));
    ASSERT_TRUE(activation);
    EXPECT_EQ(activation->GetIntegerValue("code"), 49);
}

TEST_F(TPreferencesTest, ALockedHandlerDoesNotSynchronise)
{
    auto application = Application();
    auto file = File();
    for (TPreferenceHandler* handler :
         {static_cast<TPreferenceHandler*>(application.get()), static_cast<TPreferenceHandler*>(file.get())}) {
        SCOPED_TRACE(handler->ClassName());
        handler->SetIntegerValue("n", 1);
        handler->SetLocked(true);
        EXPECT_TRUE(handler->IsLocked());
        handler->Synchronize();
        EXPECT_EQ(handler->GetChangeCount(), 1);
        handler->SetLocked(false);
    }
    EXPECT_FALSE(std::filesystem::exists(PreferencesFile()));
    EXPECT_EQ(ReadFile(home_ + "/values.plist"), "");

    application->Synchronize();
    file->Synchronize();
    EXPECT_EQ(application->GetChangeCount(), 0);
    EXPECT_EQ(file->GetChangeCount(), 0);
    EXPECT_EQ(ElementAfterKey(ReadFile(PreferencesFile()), "user.n"), "<integer>");
    EXPECT_EQ(ElementAfterKey(ReadFile(home_ + "/values.plist"), "user.n"), "<integer>");
}

// The changes are kept for the next try, where the handler used to forget them.
TEST_F(TPreferencesTest, AFailedSynchronisationKeepsTheChangeCount)
{
    auto application = Application();
    std::filesystem::create_directories(PreferencesFile());  // a folder: the file cannot be read
    Held<TPreferenceHandlerFile> unnamed =
        Held<TPreferenceHandlerFile>::Adopt(TPreferenceHandlerFile::Create());  // no file to write
    // A folder where the file should be: writing must not pass for done.
    const std::string folderPath = home_ + "/folder.plist";
    std::filesystem::create_directories(folderPath);
    FSRef folderRef{};
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(folderPath.c_str()), &folderRef, nullptr), noErr);
    Held<TPreferenceHandlerFile> overFolder = Held<TPreferenceHandlerFile>::Adopt(TPreferenceHandlerFile::Create());
    overFolder->SetFile(folderRef);
    Diagnostics::Capture capture;
    for (TPreferenceHandler* handler :
         {static_cast<TPreferenceHandler*>(application.get()), static_cast<TPreferenceHandler*>(unnamed.get()),
          static_cast<TPreferenceHandler*>(overFolder.get())}) {
        SCOPED_TRACE(handler->ClassName());
        handler->SetIntegerValue("n", 1);
        handler->Synchronize();
        EXPECT_EQ(handler->GetChangeCount(), 1);
    }
    std::filesystem::remove(PreferencesFile());
    application->Synchronize();
    EXPECT_EQ(application->GetChangeCount(), 0);
}

TEST_F(TPreferencesTest, TheChangeCountStopsAtItsLargestValue)
{
    auto file = File();
    for (int i = 0; i < 40000; ++i)
        file->SetIntegerValue("n", i);
    EXPECT_EQ(file->GetChangeCount(), 32767);
    file->Synchronize();
    EXPECT_EQ(file->GetChangeCount(), 0);
    EXPECT_NE(ReadFile(home_ + "/values.plist").find("<integer>39999</integer>"), std::string::npos);
}

// While a reading is open a key reads as it did first (nil included), what
// the thread stores through any handler shows at once, and what changed
// elsewhere shows once the outermost reading has ended.
TEST_F(TPreferencesTest, AReadingAnswersEachKeyAsFirstReadUntilItEnds)
{
    auto handler = Application();
    auto other = Application();
    handler->SetIntegerValue("n", 1);
    handler->Synchronize();
    const auto changeElsewhere = [](const char* key, SInt32 value) {
        CFPreferencesSetAppValue(CFSTR(key), Integer(value), CFSTR(kDomain));
        ASSERT_TRUE(CFPreferencesAppSynchronize(CFSTR(kDomain)));
    };
    {
        const TPreferenceReading reading;
        EXPECT_EQ(handler->GetIntegerValue("n"), 1);
        EXPECT_FALSE(handler->ContainsValue("absent"));
        changeElsewhere("user.n", 2);
        changeElsewhere("user.absent", 5);
        EXPECT_EQ(handler->GetIntegerValue("n"), 1) << "read again within the reading";
        EXPECT_FALSE(handler->ContainsValue("absent")) << "nil is an answer too";
        EXPECT_EQ(other->GetIntegerValue("n"), 2) << "another handler reads for itself";
        {
            const TPreferenceReading inner;
            other->SetIntegerValue("n", 3);
            EXPECT_EQ(handler->GetIntegerValue("n"), 3) << "this thread's own change";
        }
        EXPECT_EQ(handler->GetIntegerValue("n"), 3) << "the outer reading still holds";
    }
    EXPECT_EQ(handler->GetIntegerValue("absent"), 5) << "read afresh once the reading ended";
    other->Synchronize();
    changeElsewhere("user.n", 6);
    EXPECT_EQ(handler->GetIntegerValue("n"), 6) << "outside any reading, every read asks";
}

TEST_F(TPreferencesTest, TheApplicationIdentifierIsRetainedAndDefaultsToTheCurrentApplication)
{
    Held<TPreferenceHandlerApplication> handler =
        Held<TPreferenceHandlerApplication>::Adopt(TPreferenceHandlerApplication::Create());
    EXPECT_EQ(handler->GetApplicationID(), kCFPreferencesCurrentApplication);
    {
        CFRef<CFStringRef> identifier = MakeString("org.example.other");
        handler->SetApplicationID(identifier);
    }
    EXPECT_EQ(UTF8Of(handler->GetApplicationID()), "org.example.other");
    handler->SetIntegerValue("n", 2);
    handler->Synchronize();
    EXPECT_TRUE(std::filesystem::exists(home_ + "/brindlet/org.example.other.plist"));
    handler->SetApplicationID(nullptr);
    EXPECT_EQ(handler->GetApplicationID(), kCFPreferencesCurrentApplication);
}

TEST_F(TPreferencesTest, ArchivesAreRebuiltFromTheApplicationsPreferences)
{
    auto handler = Application();
    CFRef<CFMutableDictionaryRef> archive = NewDictionary();
    CFDictionarySetValue(archive, CFSTR("system.class"), CFSTR("TObjectArray"));
    handler->SetTypeValue("list", archive);
    CFRef<CFMutableDictionaryRef> unknown = NewDictionary();
    CFDictionarySetValue(unknown, CFSTR("system.class"), CFSTR("TNoSuchClass"));
    handler->SetTypeValue("unknown", unknown);
    handler->SetStringValue("text", "not an archive");

    Held<TObject> object = Held<TObject>::Adopt(handler->AllocateFromArchive("list", nullptr));
    ASSERT_TRUE(object);
    EXPECT_STREQ(object->ClassName(), "TObjectArray");
    Diagnostics::Capture capture;
    for (const char* key : {"unknown", "text", "absent"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(handler->AllocateFromArchive(key, nullptr), nullptr);
    }
    EXPECT_EQ(handler->CopyArchive("text"), nullptr);
}

// ---- the dictionary handler ----

TEST_F(TPreferencesTest, ADictionaryHandlerStartsFromACopyOfItsValues)
{
    CFRef<CFMutableDictionaryRef> values = NewDictionary();
    CFDictionarySetValue(values, CFSTR("TButton.1"), Integer(1));
    Held<TPreferenceHandlerDictionary> handler =
        Held<TPreferenceHandlerDictionary>::Adopt(TPreferenceHandlerDictionary::Create(values));
    CFDictionarySetValue(values, CFSTR("TButton.1"), Integer(2));
    EXPECT_EQ(handler->GetIntegerValue("TButton.1"), 1);

    for (CFTypeRef notValues : {CFTypeRef(nullptr), CFTypeRef(CFSTR("text"))}) {
        Held<TPreferenceHandlerDictionary> empty = Held<TPreferenceHandlerDictionary>::Adopt(
            TPreferenceHandlerDictionary::Create(static_cast<CFDictionaryRef>(notValues)));
        ASSERT_TRUE(empty->CFType());
        EXPECT_EQ(CFDictionaryGetCount(static_cast<CFDictionaryRef>(empty->CFType())), 0);
    }
}

TEST_F(TPreferencesTest, ADictionaryHandlerSynchronisesIntoItsParent)
{
    auto parent = Application();
    Held<TPreferenceHandlerDictionary> child =
        Held<TPreferenceHandlerDictionary>::Adopt(TPreferenceHandlerDictionary::Create());
    child->SetIntegerValue("TButton.1", 1);

    child->Synchronize();  // no parent: nothing happens
    EXPECT_FALSE(parent->ContainsValue("controls"));
    EXPECT_EQ(child->GetChangeCount(), 1);

    child->SetParent(parent.get(), "controls");
    child->SetLocked(true);
    child->Synchronize();
    EXPECT_FALSE(parent->ContainsValue("controls")) << "locked";
    child->SetLocked(false);

    child->Synchronize();
    EXPECT_EQ(child->GetChangeCount(), 0);
    EXPECT_EQ(parent->GetChangeCount(), 0) << "the parent synchronised too";
    EXPECT_EQ(ElementAfterKey(ReadFile(PreferencesFile()), "user.controls"), "<dict>");
    Held<TTypeDictionary> controls = Held<TTypeDictionary>::Adopt(parent->CopyDictionary("controls"));
    ASSERT_TRUE(controls);
    EXPECT_EQ(controls->GetIntegerValue("TButton.1"), 1);

    // The parent holds a copy, not the child's own dictionary.
    child->SetIntegerValue("TButton.1", 2);
    controls.Reset(parent->CopyDictionary("controls"));
    EXPECT_EQ(controls->GetIntegerValue("TButton.1"), 1);
}

TEST_F(TPreferencesTest, AParentThatLeadsBackToTheHandlerIsRefused)
{
    Held<TPreferenceHandlerDictionary> a =
        Held<TPreferenceHandlerDictionary>::Adopt(TPreferenceHandlerDictionary::Create());
    Held<TPreferenceHandlerDictionary> b =
        Held<TPreferenceHandlerDictionary>::Adopt(TPreferenceHandlerDictionary::Create());
    b->SetParent(a.get(), "b");
    Diagnostics::Capture capture;
    a->SetParent(a.get(), "self");
    a->SetParent(b.get(), "loop");
    EXPECT_EQ(capture.Lines().size(), 2u);
    EXPECT_EQ(a->GetParent(), nullptr);
    a->SetIntegerValue("n", 1);
    b->Synchronize();  // ends
    EXPECT_TRUE(a->ContainsValue("b"));
}
