#include <CFTestSupport.h>
#include <Units/Classes/TArchiverUnit.h>
#include <Units/Classes/TObjectRef.h>
#include <Units/Classes/TObjectUnit.h>

#include <CarbonCore/CarbonEventLoop.h>
#include <Support/Clock.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

namespace {

// A class that records what happens to its instances.
class TProbe : public TObject {
    BRINDLET_CLASS(TProbe, TObject)

public:
    static TProbe* Create() { return CreateInstance<TProbe>(); }

    void Initialize() override
    {
        Inherited::Initialize();
        ++initializeCalls;
        sawDecodedTitle = DidInitializeFromArchive() ? title : "";
        RegisterMethod("Probe.Touch", BRINDLET_METHOD(TProbe, Touch));
        RegisterMethod("Probe.Take", BRINDLET_METHOD(TProbe, Take));
    }
    void InitializeParameter(SInt32 index, const ParameterType& param) override
    {
        parameters.push_back(std::to_string(index) + ":" + static_cast<const char*>(param.value));
    }
    void Deallocate() override
    {
        ++deallocations;
        Inherited::Deallocate();
    }
    void EncodeData(TArchiver* archiver) override
    {
        Inherited::EncodeData(archiver);
        archiver->SetStringValue("title", ShortString(title));
    }
    void DecodeData(TArchiver* archiver) override
    {
        Inherited::DecodeData(archiver);
        title = archiver->GetStringValue("title").ToString();
        ++decodeCalls;
    }
    void CopyInstanceVariables(TObject* source) override
    {
        Inherited::CopyInstanceVariables(source);
        title = static_cast<TProbe*>(source)->title + " (copy)";
    }

    void Touch() { ++touches; }
    void Take(TObject* object) { taken = object; }
    void AnswerMessage(void* param) { messages.push_back(param ? static_cast<const char*>(param) : "(none)"); }

    static inline int deallocations = 0;
    static inline int decodeCalls = 0;
    int initializeCalls = 0;
    int touches = 0;
    TObject* taken = reinterpret_cast<TObject*>(1);
    std::string title;
    std::string sawDecodedTitle;
    std::vector<std::string> parameters;
    std::vector<std::string> messages;
};

BRINDLET_DEFINE_CLASS(TProbe, TObject)

class TQuiet : public TProbe {
    BRINDLET_CLASS(TQuiet, TProbe)

public:
    bool AllowArchiving() override { return false; }
};

BRINDLET_DEFINE_CLASS(TQuiet, TProbe)

// Runs a pass of the event loop while it is being freed, the way a
// deallocation that posts a notification whose handler puts up a modal
// alert does; what it autoreleases meanwhile is drained by that pass.
class TNestedLoop : public TProbe {
    BRINDLET_CLASS(TNestedLoop, TProbe)

public:
    static TNestedLoop* Create() { return CreateInstance<TNestedLoop>(); }
    void Deallocate() override;
};

BRINDLET_DEFINE_CLASS(TNestedLoop, TProbe)

void RegisterProbes()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    RegisterClass(TProbe::StaticClass());
    RegisterClass(TQuiet::StaticClass());
    TProbe::StaticClass().messageHandlers["Probe.Message"] = BRINDLET_METHOD(TProbe, AnswerMessage);
}

// One pass of the event loop, with time stopped.
void NextPass()
{
    FireDueEventLoopTimers(GetCurrentEventLoop());
}

void TNestedLoop::Deallocate()
{
    TProbe::Create()->Autorelease();
    NextPass();
    Inherited::Deallocate();
}

class TObjectTest : public testing::Test {
protected:
    void SetUp() override
    {
        RegisterProbes();
        TProbe::deallocations = 0;
    }
    Clock::Fake clock_{1e9};
};

}  // namespace

TEST_F(TObjectTest, TwoStepConstructionCountsOne)
{
    TProbe* probe = TProbe::Allocate();
    EXPECT_EQ(probe->GetRetainCount(), 1);
    EXPECT_FALSE(probe->IsInitialized());
    probe->Retain();
    probe->RequestInitialization();
    EXPECT_EQ(probe->GetRetainCount(), 1) << "Initialize sets the count to 1";
    probe->RequestInitialization();
    EXPECT_EQ(probe->initializeCalls, 1);
    probe->Release();
    EXPECT_EQ(TProbe::deallocations, 1);
    EXPECT_FALSE(TObject::IsLiveObject(probe));
}

TEST_F(TObjectTest, AutoreleasedObjectReleasedByHandSurvivesUntilTheDrain)
{
    TProbe* probe = TProbe::Create();
    probe->Autorelease();
    Diagnostics::Capture capture;
    probe->Release();
    EXPECT_EQ(capture.Lines(),
              std::vector<std::string>{"Warning: Attempted to manually release an object in the auto-release table!"});
    EXPECT_TRUE(TObject::IsLiveObject(probe));
    EXPECT_EQ(TProbe::deallocations, 0) << "nothing it owns is released yet";
    NextPass();
    EXPECT_FALSE(TObject::IsLiveObject(probe));
    EXPECT_EQ(TProbe::deallocations, 1);
    EXPECT_EQ(capture.Lines().size(), 1u) << "no second warning";
}

TEST_F(TObjectTest, EveryAutoreleaseBooksOneRelease)
{
    TProbe* twice = TProbe::Create();
    twice->Retain();
    twice->Autorelease();
    twice->Autorelease();
    EXPECT_TRUE(TObject::IsLiveObject(twice));
    NextPass();
    EXPECT_FALSE(TObject::IsLiveObject(twice));

    // One autorelease too many: warned about, never freed twice.
    TProbe* overbooked = TProbe::Create();
    overbooked->Autorelease();
    overbooked->Autorelease();
    Diagnostics::Capture capture;
    NextPass();
    EXPECT_FALSE(TObject::IsLiveObject(overbooked));
    EXPECT_EQ(TProbe::deallocations, 2);
    EXPECT_EQ(capture.Lines().size(), 1u);

    // Nothing is drained inside the call that autoreleases.
    TProbe* pending = TProbe::Create();
    pending->Autorelease();
    EXPECT_TRUE(TObject::IsLiveObject(pending));
    NextPass();
    EXPECT_FALSE(TObject::IsLiveObject(pending));
}

TEST_F(TObjectTest, ADrainDuringADrainReleasesEachObjectOnce)
{
    TNestedLoop* nesting = TNestedLoop::Create();
    nesting->Autorelease();
    TProbe* after = TProbe::Create();
    after->Autorelease();
    Diagnostics::Capture capture;
    NextPass();
    EXPECT_FALSE(TObject::IsLiveObject(nesting));
    EXPECT_FALSE(TObject::IsLiveObject(after));
    EXPECT_EQ(TProbe::deallocations, 3) << "both, and the one autoreleased while the first went";
    EXPECT_TRUE(capture.Lines().empty());
}

TEST_F(TObjectTest, PlatformValuesCanBeAutoreleased)
{
    EXPECT_EQ(CFAutorelease(nullptr), nullptr);
    CFStringRef text = CFStringCreateWithCString(nullptr, "autoreleased", kCFStringEncodingUTF8);
    CFRetain(text);
    EXPECT_EQ(CFAutorelease(text), text);
    EXPECT_EQ(CFGetRetainCount(text), 2);
    NextPass();
    EXPECT_EQ(CFGetRetainCount(text), 1);
    CFRelease(text);
}

TEST_F(TObjectTest, CallingByName)
{
    auto probe = TObjectRef<TProbe>::Adopt(TProbe::Create());
    probe->InvokeMethod("Probe.Touch");
    probe->InvokeMethod("Probe.Touch", probe);
    EXPECT_EQ(probe->touches, 2);
    probe->InvokeMethod("Probe.Take");
    EXPECT_EQ(probe->taken, nullptr) << "a nil parameter arrives as nil";
    probe->InvokeMethod(probe->FindMethod("Probe.Take"), probe);
    EXPECT_EQ(probe->taken, probe);
    EXPECT_EQ(probe->FindMethod("Probe.Take"), BRINDLET_METHOD(TProbe, Take)) << "codes compare";
    EXPECT_EQ(probe->FindMethod("probe.take"), nullptr) << "names are case-sensitive";

    // Not registered on the object: the class's handler answers.
    char text[] = "hello";
    probe->InvokeMethod("Probe.Message", text);
    TQuiet* quiet = TQuiet::Allocate();
    quiet->RequestInitialization();
    quiet->InvokeMethod("Probe.Message");
    EXPECT_EQ(probe->messages, std::vector<std::string>{"hello"});
    EXPECT_EQ(quiet->messages, std::vector<std::string>{"(none)"}) << "a subclass inherits its ancestors' handlers";

    Diagnostics::Capture capture;
    probe->InvokeMethod("Nobody.Home");
    EXPECT_TRUE(capture.Lines().empty());
    probe->SetWarnMissingMethods(true);
    probe->InvokeMethod("Nobody.Home");
    EXPECT_EQ(capture.Lines(),
              std::vector<std::string>{"Warning: the method Nobody.Home could not be found in TProbe."});
    probe.Reset();
    quiet->Release();
}

TEST_F(TObjectTest, DelegatesAndFieldsHoldOneReference)
{
    TProbe* owner = TProbe::Create();
    TProbe* delegate = TProbe::Create();
    owner->SetDelegate(delegate);
    owner->SetDelegate(delegate);
    EXPECT_EQ(delegate->GetRetainCount(), 2);
    owner->InvokeDelegate("Probe.Touch");
    EXPECT_EQ(delegate->touches, 1);
    owner->Release();
    EXPECT_EQ(delegate->GetRetainCount(), 1) << "the owner released its delegate";

    TProbe* field = nullptr;
    RetainObject(field, delegate);
    EXPECT_EQ(delegate->GetRetainCount(), 2);
    delegate->Release();
    RetainObject(field, delegate);  // storing what the field holds, its last reference
    EXPECT_TRUE(TObject::IsLiveObject(delegate));
    RetainObject(field, static_cast<TProbe*>(nullptr));
    EXPECT_EQ(field, nullptr);
    EXPECT_FALSE(TObject::IsLiveObject(delegate));

    int notAnObject = 0;
    void* variable = &notAnObject;
    Diagnostics::Capture capture;
    ReleaseObject(variable);
    EXPECT_EQ(variable, &notAnObject);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_NE(capture.Lines()[0].find(" is not a member of TObject!"), std::string::npos);
}

TEST_F(TObjectTest, PropertiesAndCopies)
{
    auto probe = TObjectRef<TProbe>::Adopt(TProbe::Create());
    probe->title = "original";
    const double scale = 1.25;
    probe->SetDataProperty("scale", sizeof scale, &scale);
    probe->SetTypeProperty("name", CFSTR("value"));
    double read = 0;
    EXPECT_TRUE(probe->GetDataProperty("scale", &read));
    EXPECT_EQ(read, 1.25);
    float wrongSize = 0;
    EXPECT_FALSE(probe->GetDataProperty("scale", &wrongSize));
    EXPECT_EQ(probe->GetTypeProperty("name"), CFSTR("value"));
    EXPECT_EQ(probe->GetTypeProperty("missing"), nullptr);

    int params = 0;
    auto copy = TObjectRef<TProbe>::Adopt(static_cast<TProbe*>(probe->Copy(&params)));
    EXPECT_EQ(copy->GetClass().name, std::string("TProbe"));
    EXPECT_EQ(copy->title, "original (copy)");
    EXPECT_EQ(copy->initializeCalls, 1);
    EXPECT_EQ(copy->GetRetainCount(), 1);
    EXPECT_TRUE(copy->DidInitializeFromCopying());
}

TEST_F(TObjectTest, ArchivedObjectsAreRebuiltDecodedBeforeInitialize)
{
    auto parent = TObjectRef<TProbe>::Adopt(TProbe::Create());
    auto archive = TObjectRef<TArchiver>::Adopt(parent->CopyArchive());
    for (const char* title : {"first", "second"}) {
        auto child = TObjectRef<TProbe>::Adopt(TProbe::Create());
        child->title = title;
        child->ArchiveObject(archive);
    }
    auto quiet = TObjectRef<TQuiet>::Adopt(TQuiet::Allocate());
    quiet->RequestInitialization();
    quiet->ArchiveObject(archive);  // does not archive itself
    EXPECT_EQ(archive->GetStringValue("system.class"), "TProbe");
    ASSERT_EQ(archive->Limit(), 1);

    int params = 0;
    auto rebuilt =
        TObjectRef<TProbe>::Adopt(AllocateFromArchiveAs<TProbe>(archive.get(), SInt32(1), static_cast<void*>(&params)));
    ASSERT_TRUE(rebuilt);
    EXPECT_EQ(rebuilt->title, "second");
    EXPECT_EQ(rebuilt->sawDecodedTitle, "second") << "decoded before Initialize ran";
    EXPECT_TRUE(rebuilt->DidInitializeFromArchive());
    EXPECT_EQ(rebuilt->GetInitializationParameters(), &params);
    EXPECT_EQ(rebuilt->GetRetainCount(), 1);

    // An archive naming the wrong class for what the caller expects builds
    // nothing at all: no object of the named class decodes or initialises.
    Diagnostics::Capture capture;
    const int decodedBefore = TProbe::decodeCalls;
    EXPECT_EQ(AllocateFromArchiveAs<TQuiet>(archive.get(), SInt32(0), nullptr), nullptr);
    EXPECT_EQ(capture.Lines(),
              std::vector<std::string>{"Warning: The archive holds a TProbe where a TQuiet was expected."});
    EXPECT_EQ(TProbe::decodeCalls, decodedBefore);
    EXPECT_EQ(AllocateFromArchive(archive, SInt32(7), nullptr), nullptr);
}

TEST_F(TObjectTest, ObjectRefHoldsOneReference)
{
    TObjectRef<TProbe> held = TObjectRef<TProbe>::Adopt(TProbe::Create());
    TProbe* probe = held.get();
    EXPECT_EQ(probe->GetRetainCount(), 1) << "adopting adds nothing";
    {
        TObjectRef<TProbe> copy = held;
        EXPECT_EQ(probe->GetRetainCount(), 2);
        TObjectRef<TProbe> moved = std::move(copy);
        EXPECT_EQ(probe->GetRetainCount(), 2) << "moving adds nothing";
        EXPECT_FALSE(copy);
        TObjectRef<TProbe> borrowed = TObjectRef<TProbe>::Retain(probe);
        EXPECT_EQ(probe->GetRetainCount(), 3);
    }
    EXPECT_EQ(probe->GetRetainCount(), 1);

    const int freedBefore = TProbe::deallocations;
    TObjectRef<TProbe> other = TObjectRef<TProbe>::Adopt(TProbe::Create());
    other = held;  // the object held before is released
    EXPECT_EQ(TProbe::deallocations, freedBefore + 1);
    EXPECT_EQ(probe->GetRetainCount(), 2);
    other.Reset();
    TProbe* detached = held.Detach();
    EXPECT_EQ(detached->GetRetainCount(), 1);
    EXPECT_FALSE(held);
    held.Reset(detached);
    held.Reset();
    EXPECT_EQ(TProbe::deallocations, freedBefore + 2);
}

TEST_F(TObjectTest, TheClassRegistry)
{
    RegisterClass("TProbe", TQuiet::StaticClass());  // a second registration of a name
    EXPECT_EQ(FindClass("TProbe"), &TProbe::StaticClass()) << "the first stays";

    Diagnostics::Capture capture;
    EXPECT_EQ(AllocateClass("TMissing"), nullptr);
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"Warning: The class TMissing is not registered.",
                                                         "Warning: The class TMissing is not registered."}));

    TObject* allocated = AllocateClass("TProbe", {ParameterType::Pointer("a"), ParameterType::Pointer("b")});
    ASSERT_NE(allocated, nullptr);
    EXPECT_EQ(static_cast<TProbe*>(allocated)->parameters, (std::vector<std::string>{"1:a", "2:b"}));
    EXPECT_FALSE(allocated->IsInitialized());
    allocated->RequestInitialization();
    allocated->Release();
    TObject* plain = AllocateClass("TProbe", {});
    EXPECT_TRUE(static_cast<TProbe*>(plain)->parameters.empty());
    plain->Release();

    EXPECT_TRUE(MemberOfClass(plain = TQuiet::Allocate(), TProbe::StaticClass()));
    EXPECT_FALSE(MemberOfClass(nullptr, TObject::StaticClass()));
    plain->Release();
}
