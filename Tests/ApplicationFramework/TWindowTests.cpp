#include "FrameworkTestSupport.h"

#include <ApplicationFramework/Classes/TWindowUnit.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <AppKit/NSAlert.h>
#include <HIToolbox/Nibs.h>

namespace {

class SavingDocument : public TDocument {
    BRINDLET_CLASS(SavingDocument, TDocument)

public:
    static SavingDocument* Create(const char* name, bool dirty)
    {
        SavingDocument* document = CreateInstance<SavingDocument>();
        document->SetDisplayName(name);
        document->SetDirty(dirty);
        return document;
    }
    int saves = 0;
    OSStatus Save() override
    {
        ++saves;
        return noErr;
    }

protected:
    SavingDocument() = default;
};

class TWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreateNibReference(CFSTR("main"), &nib_), noErr); }
    void TearDown() override { DisposeNibReference(nib_); }

    TWindow* Make()
    {
        TWindow* window = TWindow::Create("Document", nib_);
        ShowWindow(window->GetWindowRef());
        return window;
    }

    FrameworkScope scope_;
    IBNibRef nib_ = nullptr;
};

OSStatus RecordReview(EventHandlerCallRef, EventRef event, void* userData)
{
    HICommand command{};
    GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
    if (command.commandID != FourCC("revd"))
        return eventNotHandledErr;
    CFArrayRef documents = nullptr;
    GetEventParameter(event, FourCC("revd"), typeCFTypeRef, nullptr, sizeof documents, nullptr, &documents);
    *static_cast<CFIndex*>(userData) = documents ? CFArrayGetCount(documents) : -1;
    return noErr;
}

}  // namespace

BRINDLET_DEFINE_CLASS(SavingDocument, TDocument)

TEST_F(TWindowTest, AWindowBindsItselfAndItsDocumentList)
{
    TWindow* window = Make();
    WindowRef ref = window->GetWindowRef();
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(GetWindowObject(ref), window);
    TDocumentList* list = nullptr;
    ASSERT_EQ(
        GetWindowProperty(ref, kWindowPropertyCreator, kWindowPropertyTagDocumentList, sizeof list, nullptr, &list),
        noErr);
    EXPECT_EQ(list, window->GetDocumentList());
    EXPECT_EQ(window->GetFrame().size.width, 320);
    EXPECT_FALSE(IsWindowModified(ref));
    window->Remove();
    EXPECT_FALSE(IsValidWindowPtr(ref));

    Diagnostics::Capture capture;
    TWindow* missing = TWindow::Create("Nowhere", nib_);
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"CreateWindowFromNib: -10962"}));
    EXPECT_EQ(missing->GetWindowRef(), nullptr);
    EXPECT_NE(missing->GetDocumentList(), nullptr);
    missing->Release();
}

TEST_F(TWindowTest, TheLayoutIsNineBytesAndOnlyThoseAreRestored)
{
    TPreferenceHandler* preferences = TPreferenceHandlerDictionary::Create();
    TWindow* window = TWindow::Allocate();
    window->SetNibWindow("Document", nib_);
    window->SetPreferences(preferences);
    window->SetPreferenceKey("doc");
    window->Initialize();
    window->SetFrame(CGRectMake(40, 50, 300, 180));
    window->SaveLayout();
    UInt8 stored[16] = {};
    CFTypeRef value = preferences->GetTypeValue("TWindowLayout.doc");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(CFDataGetLength(static_cast<CFDataRef>(value)), 9);
    CFRelease(value);
    ASSERT_TRUE(preferences->CopyDataValue("TWindowLayout.doc", stored, 9));

    window->SetFrame(CGRectMake(0, 0, 100, 100));
    EXPECT_TRUE(window->RestoreLayout());
    EXPECT_TRUE(CGRectEqualToRect(window->GetFrame(), CGRectMake(40, 50, 300, 180)));

    // A value of another size is not a layout.
    preferences->SetDataValue("TWindowLayout.doc", stored, 12);
    window->SetFrame(CGRectMake(0, 0, 100, 100));
    EXPECT_FALSE(window->RestoreLayout());
    EXPECT_TRUE(CGRectEqualToRect(window->GetFrame(), CGRectMake(0, 0, 100, 100)));
    preferences->RemoveValue("TWindowLayout.doc");
    EXPECT_FALSE(window->RestoreLayout());
    window->Remove();
    preferences->Release();
}

TEST_F(TWindowTest, ClosingAsksAboutOneDirtyDocumentAndHandsSeveralToTheReview)
{
    TWindow* window = Make();
    WindowRef ref = window->GetWindowRef();
    SavingDocument* clean = SavingDocument::Create("clean", false);
    SavingDocument* first = SavingDocument::Create("first", true);
    window->GetDocumentList()->Append(clean);
    window->GetDocumentList()->Append(first);
    // The dirty document is not the active one: it is asked about all the same.
    window->GetDocumentList()->SetActive(clean);

    {
        NSAlertScript script;
        script.QueueResponse(NSAlertSecondButtonReturn);  // Cancel
        EXPECT_EQ(window->HandleCloseEvent(nullptr), noErr);
        ASSERT_EQ(script.Alerts().size(), 1u);
        EXPECT_NE(script.Alerts()[0].messageText.find("“first”"), std::string::npos);
        EXPECT_TRUE(IsValidWindowPtr(ref)) << "a cancelled close closed the window";
    }

    SavingDocument* second = SavingDocument::Create("second", true);
    window->GetDocumentList()->Append(second);
    CFIndex reviewed = 0;
    EventHandlerRef handler = nullptr;
    static const EventTypeSpec kCommand = {kEventClassCommand, kEventCommandProcess};
    InstallApplicationEventHandler(RecordReview, 1, &kCommand, &reviewed, &handler);
    EXPECT_EQ(window->HandleCloseEvent(nullptr), noErr);
    EXPECT_EQ(reviewed, 2);
    RemoveEventHandler(handler);
    EXPECT_TRUE(IsValidWindowPtr(ref));

    window->GetDocumentList()->Remove(second);
    {
        NSAlertScript script;
        script.QueueResponse(NSAlertFirstButtonReturn);  // Save
        first->SetFile(FSRef{0, 0, "/tmp"});
        window->HandleCloseEvent(nullptr);
        EXPECT_EQ(first->saves, 1);
        EXPECT_FALSE(IsValidWindowPtr(ref)) << "the window stayed after its document was saved";
    }
    clean->Release();
    first->Release();
    second->Release();
}

TEST_F(TWindowTest, AClosingHookVetoesAndAQuittingCloseAsksToQuitAgain)
{
    struct Veto : TWindow {
        static Veto* Make(IBNibRef nib)
        {
            Veto* window = AllocateInstance<Veto>();
            window->SetNibWindow("Document", nib);
            window->Initialize();
            return window;
        }
        bool veto = true;
        void HandleClosing(OSStatus& result) override
        {
            if (veto)
                result = noErr;
        }
        const ClassInfo& GetClass() const override { return TWindow::StaticClass(); }
    };
    Veto* window = Veto::Make(nib_);
    WindowRef ref = window->GetWindowRef();
    OSStatus result = eventNotHandledErr;
    window->Close(result);
    EXPECT_EQ(result, noErr);
    EXPECT_TRUE(IsValidWindowPtr(ref));

    int quits = 0;
    EventHandlerRef handler = nullptr;
    static const EventTypeSpec kCommand = {kEventClassCommand, kEventCommandProcess};
    auto countQuit = [](EventHandlerCallRef, EventRef event, void* data) -> OSStatus {
        HICommand command{};
        GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
        if (command.commandID == kHICommandQuit)
            ++*static_cast<int*>(data);
        return noErr;
    };
    InstallApplicationEventHandler(countQuit, 1, &kCommand, &quits, &handler);
    ApplicationQuitting = true;
    window->veto = false;
    window->Remove();
    EXPECT_FALSE(IsValidWindowPtr(ref));
    EXPECT_EQ(quits, 1);
    RemoveEventHandler(handler);
}
