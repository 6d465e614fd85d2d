#include <CFTestSupport.h>
#include <ExitLineCheck.h>
#include <FileFixtures.h>
#include <Units/Classes/TDictionaryUnit.h>
#include <Units/Classes/TObjectRef.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <CarbonCore/MacMemory.h>
#include <Support/Clock.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

class TValue : public TObject {
    BRINDLET_CLASS(TValue, TObject)

public:
    static TValue* Create() { return CreateInstance<TValue>(); }
    void Deallocate() override
    {
        ++deallocations;
        Inherited::Deallocate();
    }
    static inline int deallocations = 0;
};
BRINDLET_DEFINE_CLASS(TValue, TObject)

// Records what ApplyFunction hands it, removing each entry as it goes.
class TRecorder : public TTypeDictionary {
    BRINDLET_CLASS(TRecorder, TTypeDictionary)

public:
    static TRecorder* Create() { return NewTable<TRecorder>(); }
    void ApplierFunction(const ShortString& key, const void* value) override
    {
        seen.push_back(key.ToString() + "=" + (value ? UTF8Of(static_cast<CFStringRef>(value)) : "nil"));
        Remove(key);
    }
    std::vector<std::string> seen;
};
BRINDLET_DEFINE_CLASS(TRecorder, TTypeDictionary)

template <typename T>
CFRef<CFNumberRef> Number(CFNumberType type, T value)
{
    return CFRef<CFNumberRef>(CFNumberCreate(nullptr, type, &value));
}

class TDictionaryTest : public testing::Test {
protected:
    void SetUp() override { TValue::deallocations = 0; }
    // One pass of the event loop, which drains the autorelease table.
    void NextPass() { FireDueEventLoopTimers(GetCurrentEventLoop()); }

    Clock::Fake clock_{1e9};
};

}  // namespace

TEST_F(TDictionaryTest, TypedReadsCoerce)
{
    auto data = MakeData("ab");
    const struct {
        const char* name;
        CFTypeRef value;  // nil: the key is missing
        bool boolean;
        SInt32 integer;
        const char* text;
        Float32 real;
        // The same value read through the enumeration, which does not coerce.
        SInt32 nextInteger;
        const char* nextText;
    } cases[] = {
        {"missing", nullptr, false, -1, "", -1.0f, -1, ""},
        {"string 42", CFSTR("42"), true, 42, "42", 0.0f, 0, "42"},
        {"string -5 apples", CFSTR(" -5 apples"), true, -5, " -5 apples", 0.0f, 0, " -5 apples"},
        {"word", CFSTR("word"), true, 0, "word", 0.0f, 0, "word"},
        {"empty string", CFSTR(""), true, 0, "", 0.0f, 0, ""},
        {"integer 7", Number(kCFNumberSInt32Type, SInt32(7)).release(), true, 7, "7", 7.0f, 7, ""},
        {"integer 0", Number(kCFNumberSInt32Type, SInt32(0)).release(), true, 0, "0", 0.0f, 0, ""},
        {"integer -12", Number(kCFNumberSInt32Type, SInt32(-12)).release(), true, -12, "-12", -12.0f, -12, ""},
        {"float 2.5", Number(kCFNumberFloat32Type, 2.5f).release(), true, 0, "", 2.5f, 0, ""},
        {"float 3.0", Number(kCFNumberFloat64Type, 3.0).release(), true, 3, "3", 3.0f, 3, ""},
        {"beyond 32 bits", Number(kCFNumberSInt64Type, SInt64(1) << 40).release(), true, 0, "", 1099511627776.0f, 0,
         ""},
        {"true", kCFBooleanTrue, true, 0, "", 0.0f, 0, ""},
        {"false", kCFBooleanFalse, false, 0, "", 0.0f, 0, ""},
        {"data", data.get(), true, 0, "", 0.0f, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto record = TObjectRef<TTypeDictionary>::Adopt(TTypeDictionary::Create());
        record->SetValue("v", c.value);
        const auto key = MakeString("v");  // a platform key of the same text finds the same entry
        EXPECT_EQ(record->GetBooleanValue("v"), c.boolean);
        EXPECT_EQ(record->GetBooleanValue(key), c.boolean);
        EXPECT_EQ(record->GetIntegerValue("v"), c.integer);
        EXPECT_EQ(record->GetIntegerValue(key), c.integer);
        EXPECT_EQ(record->GetStringValue("v"), c.text);
        EXPECT_EQ(record->GetStringValue(key), c.text);
        EXPECT_FLOAT_EQ(record->GetFloatValue("v"), c.real);
        EXPECT_EQ(record->Enumerate(), c.value != nullptr);
        EXPECT_EQ(record->GetNextBooleanValue(), c.boolean);
        EXPECT_EQ(record->GetNextIntegerValue(), c.nextInteger);
        EXPECT_EQ(record->GetNextStringValue(), c.nextText);
        record.Reset();
        if (c.value && CFGetTypeID(c.value) == CFNumberGetTypeID())
            CFRelease(c.value);
    }
}

TEST_F(TDictionaryTest, TypedValuesRoundTrip)
{
    auto record = TObjectRef<TTypeDictionary>::Adopt(TTypeDictionary::Create());
    record->SetBooleanValue("flag", true);
    record->SetIntegerValue("count", 7);
    record->SetFloatValue("scale", 1.5f);
    record->SetStringValue("title", "Grüße, 日本");
    const double stored = 2.25;
    record->SetDataValue("bytes", sizeof stored, &stored);
    int target = 0;
    record->SetPointerValue("owner", &target);

    EXPECT_TRUE(record->GetBooleanValue("flag"));
    EXPECT_EQ(record->GetStringValue("count"), "7");
    EXPECT_FLOAT_EQ(record->GetFloatValue("scale"), 1.5f);
    EXPECT_EQ(record->GetStringValue("title"), "Grüße, 日本");
    EXPECT_EQ(record->GetPointerValue("owner"), &target);
    void* owner = nullptr;
    EXPECT_TRUE(record->GetDataValue("owner", &owner)) << "pointers are stored at full width";
    EXPECT_EQ(owner, &target);

    // Data is copied out only into a destination of its exact size.
    double read = 0;
    EXPECT_TRUE(record->GetDataValue("bytes", &read));
    EXPECT_EQ(read, 2.25);
    char small[4] = {}, large[16] = {};
    EXPECT_FALSE(record->GetDataValue("bytes", small, sizeof small));
    EXPECT_FALSE(record->GetDataValue("bytes", large, sizeof large));
    EXPECT_FALSE(record->GetDataValue("missing", &read));
    EXPECT_FALSE(record->GetDataValue("title", &read));
    const UInt32 halfWidth = 0x1234;
    record->SetDataValue("short", sizeof halfWidth, &halfWidth);
    EXPECT_EQ(record->GetPointerValue("short"), nullptr) << "too short to be a pointer";
    EXPECT_EQ(record->GetPointerValue("missing"), nullptr);

    // The Add family stores only under absent keys.
    record->AddIntegerValue("count", 99);
    record->AddBooleanValue("flag", false);
    record->AddStringValue("title", "other");
    record->AddDataValue("bytes", 1, "x");
    record->AddPointerValue("owner", nullptr);
    EXPECT_EQ(record->GetIntegerValue("count"), 7);
    EXPECT_TRUE(record->GetBooleanValue("flag"));
    EXPECT_EQ(record->GetStringValue("title"), "Grüße, 日本");
    EXPECT_TRUE(record->GetDataValue("bytes", &read));
    EXPECT_EQ(record->GetPointerValue("owner"), &target);
    record->AddIntegerValue("new count", 3);
    record->AddBooleanValue("new flag", false);
    record->AddStringValue("new title", "t");
    record->AddDataValue("new bytes", 1, "x");
    record->AddPointerValue("new owner", &target);
    EXPECT_EQ(record->GetIntegerValue("new count"), 3);
    EXPECT_TRUE(record->ContainsKey("new flag"));
    EXPECT_FALSE(record->GetBooleanValue("new flag"));
    EXPECT_EQ(record->GetStringValue("new title"), "t");
    char one = 0;
    EXPECT_TRUE(record->GetDataValue("new bytes", &one));
    EXPECT_EQ(record->GetPointerValue("new owner"), &target);
}

TEST_F(TDictionaryTest, TableOperations)
{
    auto table = TObjectRef<TTypeDictionary>::Adopt(TTypeDictionary::Create());
    table->SetValue("key", CFSTR("first"));
    table->SetValue("key", CFSTR("second"));
    table->AddValue("key", CFSTR("third"));
    EXPECT_EQ(table->GetValue("key"), CFSTR("second")) << "SetValue replaces, AddValue keeps";
    table->SetValue("nil", nullptr);
    table->AddValue(CFSTR("nil"), nullptr);
    EXPECT_FALSE(table->ContainsKey("nil"));

    table->AddKey("bare");
    int marker = 0;
    void* value = &marker;
    EXPECT_TRUE(table->ContainsKey("bare"));
    EXPECT_TRUE(table->GetValueIfPresent("bare", &value));
    EXPECT_EQ(value, nullptr);
    EXPECT_FALSE(table->GetValueIfPresent(CFSTR("absent"), &value));
    EXPECT_TRUE(table->GetValueIfPresent(MakeString("key"), nullptr));
    EXPECT_FALSE(table->ContainsKey("Key")) << "keys are case-sensitive";

    EXPECT_TRUE(table->ContainsValue(MakeString("second")));
    EXPECT_FALSE(table->ContainsValue(CFSTR("first")));
    EXPECT_EQ(table->Count(), 2);
    table->Remove(MakeString("key"));
    EXPECT_EQ(table->Count(), 1);
    table->RemoveAll();
    EXPECT_EQ(table->Count(), 0);
}

TEST_F(TDictionaryTest, CopiesOfValues)
{
    auto tree = ParsePropertyList("<plist version=\"1.0\"><dict>"
                                  "<key>name</key><string>Sheet</string><key>count</key><integer>3</integer>"
                                  "<key>list</key><array><string>a</string><string>b</string></array>"
                                  "<key>inner</key><dict><key>k</key><string>v</string></dict>"
                                  "</dict></plist>");
    ASSERT_TRUE(tree);
    TTypeDictionary* record = TTypeDictionary::Create(static_cast<CFDictionaryRef>(tree.get()));
    record->SetStringValue("added", "x");
    EXPECT_FALSE(CFDictionaryContainsKey(static_cast<CFDictionaryRef>(tree.get()), CFSTR("added")))
        << "a received dictionary is copied, not changed";

    CFRef<CFStringRef> name(record->CopyStringValue("name"));
    CFRef<CFMutableStringRef> editable(record->CopyMutableStringValue("name"));
    CFStringAppend(editable, CFSTR("!"));
    EXPECT_EQ(UTF8Of(name), "Sheet");
    EXPECT_EQ(record->GetStringValue("name"), "Sheet");
    EXPECT_EQ(record->CopyStringValue("count"), nullptr) << "a number is not a string";
    EXPECT_EQ(record->CopyMutableStringValue("missing"), nullptr);

    TTypeArray* list = record->CopyArray("list");
    ASSERT_NE(list, nullptr);
    list->RemoveAll();
    EXPECT_EQ(record->CopyArray("name"), nullptr);
    const CFIndex held = CFGetRetainCount(record->GetValue("inner"));
    CFRef<CFTypeRef> inner(record->CopyValue("inner"));
    EXPECT_EQ(inner.get(), record->GetValue("inner"));
    EXPECT_EQ(CFGetRetainCount(inner), held + 1) << "retained for the caller";
    EXPECT_EQ(record->CopyValue("missing"), nullptr);

    TTypeDictionary* nested = record->CopyDictionary("inner");
    ASSERT_NE(nested, nullptr);
    EXPECT_EQ(nested->GetStringValue("k"), "v");
    EXPECT_EQ(record->CopyDictionary("list"), nullptr);
    EXPECT_EQ(record->CopyDictionary("missing"), nullptr);

    auto* copy = static_cast<TTypeDictionary*>(record->Copy());
    copy->RemoveAll();
    EXPECT_EQ(record->GetIntegerValue("count"), 3);

    TTypeDictionary* empty = TTypeDictionary::Create(static_cast<CFDictionaryRef>(nullptr));
    empty->SetIntegerValue("usable", 1);
    EXPECT_EQ(empty->Count(), 1);
    for (TObject* object : std::initializer_list<TObject*>{list, nested, copy, empty, record})
        object->Release();
}

TEST_F(TDictionaryTest, NestedValues)
{
    auto tree = ParsePropertyList("<plist version=\"1.0\"><dict>"
                                  "<key>cards</key><array><string>zero</string><string>one</string>"
                                  "<dict><key>title</key><string>two</string></dict></array>"
                                  "<key>a/b</key><string>slashed key</string>"
                                  "</dict></plist>");
    auto record = TObjectRef<TTypeDictionary>::Adopt(TTypeDictionary::Create(static_cast<CFDictionaryRef>(tree.get())));
    const struct {
        const char* path;
        const char* expected;  // nil: no value
    } cases[] = {
        {"cards/2/title", "two"},   {"cards/1", "one"},     {"/cards//1/", "one"},
        {"cards/3/title", nullptr}, {"cards/-1", nullptr},  {"cards/title", nullptr},
        {"cards/1/more", nullptr},  {"missing/0", nullptr}, {"cards/2/title/deeper", nullptr},
        {"a/b", nullptr},           {"cards", "(list)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        CFTypeRef value = record->GetNestedValue(c.path);
        if (c.expected == nullptr)
            EXPECT_EQ(value, nullptr);
        else if (CFGetTypeID(value) == CFArrayGetTypeID())
            EXPECT_STREQ(c.expected, "(list)");
        else
            EXPECT_EQ(UTF8Of(static_cast<CFStringRef>(value)), c.expected);
    }
}

TEST_F(TDictionaryTest, EnumerationWalksASnapshot)
{
    TTypeDictionary* record = TTypeDictionary::Create();
    record->SetIntegerValue("a", 1);
    record->SetIntegerValue("b", 2);
    record->SetIntegerValue("c", 3);
    for (int round = 0; round < 2; ++round) {
        std::string seen;
        while (record->Enumerate())
            seen += record->GetNextKey().ToString() + std::to_string(record->GetNextIntegerValue()) +
                    std::to_string(record->GetEnumerationIndex()) + " ";
        EXPECT_EQ(seen, "a10 b21 c32 ") << "keys and values correspond; the next walk starts over";
        EXPECT_EQ(record->GetEnumerationIndex(), -1);
    }
    ASSERT_TRUE(record->Enumerate());
    ASSERT_TRUE(record->Enumerate());
    record->ResetEnumeration();
    ASSERT_TRUE(record->Enumerate());
    EXPECT_EQ(record->GetNextKeyType(), CFSTR("a"));
    record->ResetEnumeration();

    // Edits while walking: every entry present at the start is visited once,
    // and the walk ends with the snapshot.
    const struct {
        const char* name;
        std::function<void(TTypeDictionary*)> edit;
    } edits[] = {
        {"emptied", [](TTypeDictionary* d) { d->RemoveAll(); }},
        {"grown", [](TTypeDictionary* d) { d->SetIntegerValue(ShortString("n" + std::to_string(d->Count())), 0); }},
        {"next removed", [](TTypeDictionary* d) { d->Remove("b"); }},
    };
    for (const auto& e : edits) {
        SCOPED_TRACE(e.name);
        auto table = TObjectRef<TTypeDictionary>::Adopt(TTypeDictionary::Create());
        for (const char* key : {"a", "b", "c"})
            table->SetIntegerValue(key, 1);
        std::string seen;
        while (table->Enumerate()) {
            seen += table->GetNextKey().ToString();
            e.edit(table);
        }
        EXPECT_EQ(seen, "abc");
    }
}

TEST_F(TDictionaryTest, ObjectDictionariesHoldTheirValues)
{
    auto value = TObjectRef<TValue>::Adopt(TValue::Create());
    TObjectDictionary* table = TObjectDictionary::DictionaryWithObject("only", value);
    EXPECT_EQ(table->GetValue("only"), value);
    EXPECT_EQ(value->GetRetainCount(), 2);
    NextPass();
    EXPECT_EQ(value->GetRetainCount(), 1) << "the autoreleased dictionary is gone with its reference";

    // Removing everything while walking: the snapshot keeps each value alive
    // until the walk ends.
    auto owner = TObjectRef<TObjectDictionary>::Adopt(TObjectDictionary::Create());
    for (const char* key : {"a", "b", "c"}) {
        auto v = TObjectRef<TValue>::Adopt(TValue::Create());
        owner->SetValue(key, v);
    }
    auto copy = TObjectRef<TObjectDictionary>::Adopt(static_cast<TObjectDictionary*>(owner->Copy()));
    int visited = 0;
    while (owner->Enumerate()) {
        owner->RemoveAll();
        copy->RemoveAll();
        EXPECT_TRUE(TObject::IsLiveObject(owner->GetNextValue()));
        ++visited;
    }
    EXPECT_EQ(visited, 3);
    EXPECT_EQ(TValue::deallocations, 3);

    owner->SetValue("v", value);
    owner->SetValue("v", value);
    EXPECT_EQ(value->GetRetainCount(), 2);
    owner.Reset();
    copy.Reset();
    EXPECT_EQ(value->GetRetainCount(), 1);
    value.Reset();
}

TEST_F(TDictionaryTest, KeysWithoutValuesKeepKeysAndValuesTogether)
{
    auto table = TObjectRef<TTypeDictionary>::Adopt(TTypeDictionary::Create());
    table->SetStringValue("a", "1");
    table->AddKey("bare");
    table->SetStringValue("c", "3");
    std::vector<std::string> walked;
    while (table->Enumerate()) {
        auto value = static_cast<CFStringRef>(table->GetNextValue());
        walked.push_back(table->GetNextKey().ToString() + "=" + (value ? UTF8Of(value) : "nil"));
    }
    std::sort(walked.begin(), walked.end());
    EXPECT_EQ(walked, (std::vector<std::string>{"a=1", "bare=nil", "c=3"}));

    auto recorder = TObjectRef<TRecorder>::Adopt(TRecorder::Create());
    recorder->SetStringValue("a", "1");
    recorder->AddKey("bare");
    recorder->SetStringValue("c", "3");
    recorder->ApplyFunction();
    std::sort(recorder->seen.begin(), recorder->seen.end());
    EXPECT_EQ(recorder->seen, (std::vector<std::string>{"a=1", "bare=nil", "c=3"}));
}

TEST_F(TDictionaryTest, PointerDictionariesOwnTheirBlocks)
{
    Diagnostics::Capture capture;
    Ptr block = NewPtr(8);
    std::snprintf(block, 8, "block");
    Ptr replaced = NewPtr(2);
    auto owner = TObjectRef<TPointerDictionary>::Adopt(TPointerDictionary::Create());
    owner->SetValue("p", replaced);
    owner->SetValue("p", block);
    EXPECT_FALSE(IsPointerValid(replaced));

    while (owner->Enumerate())
        EXPECT_EQ(owner->GetNextValue(), block);
    EXPECT_TRUE(IsPointerValid(block)) << "the walk's snapshot does not own the blocks";

    auto copy = TObjectRef<TPointerDictionary>::Adopt(TPointerDictionary::Create(owner->CFType()));
    auto* copied = static_cast<Ptr>(copy->GetValue("p"));
    EXPECT_NE(copied, block);
    EXPECT_STREQ(copied, "block");
    auto weak = TObjectRef<TWeakPointerDictionary>::Adopt(TWeakPointerDictionary::Create(owner->CFType()));
    EXPECT_EQ(weak->GetValue("p"), block);
    weak.Reset();
    EXPECT_TRUE(IsPointerValid(block));

    EXPECT_EQ(owner->Save(CFSTR("/tmp/never-written.plist")), -1) << "blocks are no property list";
    owner.Reset();
    EXPECT_FALSE(IsPointerValid(block));
    copy.Reset();
    EXPECT_FALSE(IsPointerValid(copied));
    EXPECT_TRUE(capture.Lines().empty()) << "no block was disposed of twice";
}

TEST_F(TDictionaryTest, ApplyFunctionVisitsEveryEntry)
{
    auto recorder = TObjectRef<TRecorder>::Adopt(TRecorder::Create());
    recorder->SetStringValue("a", "1");
    recorder->SetStringValue("b", "2");
    recorder->ApplyFunction();
    EXPECT_EQ(recorder->seen, (std::vector<std::string>{"a=1", "b=2"}));
    EXPECT_EQ(recorder->Count(), 0);
}

TEST_F(TDictionaryTest, SaveWritesAPropertyList)
{
    ScratchFolder folder;
    const std::string path = folder / "dictionary-save.plist";
    auto record = TObjectRef<TTypeDictionary>::Adopt(TTypeDictionary::Create());
    record->SetStringValue("name", "Sheet");
    record->SetIntegerValue("count", 2);
    auto cfPath = MakeString(path);
    ASSERT_EQ(record->Save(cfPath), 0);

    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    auto reread = ParsePropertyList(text.str());
    EXPECT_TRUE(CFEqual(reread, record->CFType()));

    EXPECT_NE(record->Save(MakeString("/nonexistent-folder/x.plist")), 0);
}

TEST_F(TDictionaryTest, TheAbstractConstructorEndsTheProgram)
{
    EXPECT_EXIT(
        {
            ExpectOnlyLineAtExit("Warning: Called an abstract TDictionary constructor.");
            TDictionary::Create();
        },
        testing::ExitedWithCode(0), "");
}
