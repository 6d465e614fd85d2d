// The document list, and the review of several unsaved documents: the
// sheet with its rows all selected, saving and dropping, cancelling, the
// question about documents without a file, and the quit going on through
// every window once the user dealt with each.
#include "DocumentTestSupport.h"

#include <ApplicationFramework/Classes/TDocumentListReview.h>

#include <AppKit/NSAlert.h>

#include <QTimer>
#include <RunUntil.h>

namespace {

// The review sheet that is up; nil when none.
TReviewFilesWindow* ShownReview()
{
    for (WindowRef window = GetWindowList(); window != nullptr; window = GetNextWindow(window)) {
        TWindow* object = GetWindowObject(window);
        if (MemberOfClass(object, TReviewFilesWindow::StaticClass()))
            return static_cast<TReviewFilesWindow*>(object);
    }
    return nullptr;
}

void Command(TWindow* window, const char (&code)[5])
{
    HICommandExtended command{};
    command.commandID = FourCC(code);
    OSStatus result = eventNotHandledErr;
    window->ProcessCommand(command, nullptr, result);
    EXPECT_EQ(result, noErr) << code;
}

class TReviewTest : public testing::Test {
protected:
    void SetUp() override { application = RecordingApplication::Start(); }
    void TearDown() override
    {
        for (TestDocument* document : documents)
            document->Release();
        application->Release();
    }

    TestDocument* Document(const char* name, bool withFile)
    {
        const std::string file = files / (std::string(name) + ".txt");
        if (withFile)
            files.Write(std::string(name) + ".txt", "old");
        documents.push_back(TestDocument::Make(name, std::string("new ") + name, withFile ? file : std::string()));
        return documents.back();
    }

    FrameworkScope scope;
    ScratchFolder files;
    RecordingApplication* application = nullptr;
    std::vector<TestDocument*> documents;
};

}  // namespace

TEST_F(TReviewTest, AListCopiesItsFilesAsPathsAnEmptyOneAsNilAndWalksRound)
{
    TDocumentList* list = TDocumentList::Create();
    EXPECT_EQ(list->CopyList(), nullptr);
    EXPECT_EQ(list->GetNext(), nullptr);
    TestDocument* saved = Document("saved", true);
    TestDocument* unsaved = Document("unsaved", false);
    list->Append(saved);
    EXPECT_EQ(list->GetNext(), saved) << "a list of one comes round to itself";
    list->Append(unsaved);
    EXPECT_EQ(list->GetActive(), unsaved);
    EXPECT_EQ(list->GetNext(), saved);

    CFArrayRef copy = list->CopyList();
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(CFArrayGetCount(copy), 2);
    FSRef file{};
    EXPECT_TRUE(GetDocumentListEntryFile(CFArrayGetValueAtIndex(copy, 0), file));
    EXPECT_EQ(PathOfRef(file), files / "saved.txt");
    EXPECT_LT(CFDataGetLength(static_cast<CFDataRef>(CFArrayGetValueAtIndex(copy, 0))), 256);
    EXPECT_FALSE(GetDocumentListEntryFile(CFArrayGetValueAtIndex(copy, 1), file));
    CFRelease(copy);
    // Only a path to something that exists is an entry.
    for (const char* text : {"relative/path", "", "/no/such/file"}) {
        SCOPED_TRACE(text);
        CFDataRef entry = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(text), std::strlen(text));
        EXPECT_FALSE(GetDocumentListEntryFile(entry, file));
        CFRelease(entry);
    }
    EXPECT_FALSE(GetDocumentListEntryFile(CFSTR("/tmp"), file));

    const FSRef savedFile = saved->GetFile();
    EXPECT_EQ(list->FindDocument(savedFile), saved);
    list->Remove(saved);
    EXPECT_EQ(list->GetActive(), nullptr);
    EXPECT_EQ(list->FindDocument(savedFile), nullptr);
    list->Release();
}

TEST_F(TReviewTest, TheSheetSelectsEveryRowSavesWhatItCanAndClosesTheWindowOnceNothingIsLeft)
{
    TestDocument* first = Document("first", true);
    TestDocument* second = Document("second", true);
    TWindow* window = WindowWith({first, second});
    const WindowRef ref = window->GetWindowRef();
    SendClose(ref);
    TReviewFilesWindow* review = ShownReview();
    ASSERT_NE(review, nullptr);
    EXPECT_EQ(review->GetAction(), kNavDialogActionCloseWindow);
    EXPECT_TRUE(WindowHasSheet(ref));
    EXPECT_EQ(review->GetBrowser()->CountItems(), 2u);
    EXPECT_EQ(review->GetBrowser()->CountSelection(), 2u);

    // Retained and let go again by others, the review keeps its documents.
    for (int i = 0; i < 3; ++i) {
        review->Retain();
        review->Release();
    }
    ASSERT_NE(review->GetBrowser()->GetDocuments(), nullptr);
    EXPECT_EQ(CFArrayGetCount(review->GetBrowser()->GetDocuments()), 2);

    // One document cannot be written: its row stays, and the user is told.
    second->failWith = ioErr;
    {
        NSAlertScript alerts;
        Command(review, "save");
        EXPECT_EQ(alerts.Alerts().size(), 1u);
    }
    EXPECT_EQ(ReadWhole(files / "first.txt"), "new first");
    EXPECT_EQ(ReadWhole(files / "second.txt"), "old");
    ASSERT_EQ(ShownReview(), review);
    EXPECT_EQ(review->GetBrowser()->CountItems(), 1u);
    EXPECT_EQ(window->GetDocumentList()->GetCount(), 1);

    second->failWith = noErr;
    Command(review, "save");
    EXPECT_EQ(ReadWhole(files / "second.txt"), "new second");
    EXPECT_EQ(second->reasons.back(), kNavDialogActionCloseWindow);
    EXPECT_EQ(ShownReview(), nullptr);
    EXPECT_FALSE(WindowHasSheet(ref));
    EXPECT_FALSE(IsValidWindowPtr(ref)) << "the window stayed after every document was saved";
}

TEST_F(TReviewTest, CancellingTheReviewEndsTheQuitAndLeavesEverythingAsItWas)
{
    TestDocument* first = Document("first", true);
    TestDocument* second = Document("second", true);
    TWindow* window = WindowWith({first, second});
    const WindowRef ref = window->GetWindowRef();
    application->Quit();
    TReviewFilesWindow* review = ShownReview();
    ASSERT_NE(review, nullptr);
    EXPECT_EQ(review->GetAction(), kNavDialogActionQuit) << "a review met while quitting goes on with the quit";
    EXPECT_TRUE(ApplicationQuitting);

    // The quit asked again while the sheet is up asks nothing twice.
    application->Quit();
    int reviews = 0;
    for (WindowRef w = GetWindowList(); w != nullptr; w = GetNextWindow(w))
        reviews += MemberOfClass(GetWindowObject(w), TReviewFilesWindow::StaticClass());
    EXPECT_EQ(reviews, 1);

    Command(review, "not!");
    EXPECT_FALSE(ApplicationQuitting);
    EXPECT_EQ(ShownReview(), nullptr);
    EXPECT_TRUE(IsValidWindowPtr(ref));
    EXPECT_EQ(window->GetDocumentList()->GetCount(), 2);
    EXPECT_TRUE(first->IsDirty() && second->IsDirty());
    EXPECT_EQ(ReadWhole(files / "first.txt"), "old");

    // The window can be asked again.
    SendClose(ref);
    review = ShownReview();
    ASSERT_NE(review, nullptr);
    Command(review, "dont");
    EXPECT_FALSE(IsValidWindowPtr(ref));
    EXPECT_EQ(ReadWhole(files / "first.txt"), "old");
}

TEST_F(TReviewTest, QuittingGoesOnThroughEveryWindowAfterEachIsDealtWith)
{
    TestDocument* lone = Document("lone", true);
    TWindow* back = WindowWith({lone});
    TestDocument* first = Document("first", true);
    TestDocument* second = Document("second", true);
    TWindow* front = WindowWith({first, second});
    SelectWindow(front->GetWindowRef());
    NavDialogScript script;
    script.QueueAction(kNavUserActionSaveChanges);  // the back window's one document
    QTimer::singleShot(0, [&] {
        application->Quit();
        TReviewFilesWindow* review = ShownReview();
        ASSERT_NE(review, nullptr);
        Command(review, "save");
    });
    EXPECT_TRUE(RunApplicationLoop()) << "the quit stalled";
    EXPECT_EQ(GetWindowList(), nullptr) << "a window was left open";
    EXPECT_TRUE(ApplicationQuitting);
    EXPECT_EQ(ReadWhole(files / "first.txt"), "new first");
    EXPECT_EQ(ReadWhole(files / "second.txt"), "new second");
    EXPECT_EQ(ReadWhole(files / "lone.txt"), "new lone");
    ASSERT_EQ(script.Dialogs().size(), 1u);
    EXPECT_EQ(script.Dialogs()[0].saveFileName, "lone");
    (void)back;
}

TEST_F(TReviewTest, DocumentsWithoutAFileAreAskedAboutFirst)
{
    NavDialogScript script;
    {
        SCOPED_TRACE("cancel");
        TWindow* window = WindowWith({Document("saved", true), Document("unsaved", false)});
        script.QueueAction(kNavUserActionCancel);
        ApplicationQuitting = true;
        SendClose(window->GetWindowRef());
        TestRunUntilIdle();
        ASSERT_EQ(script.Dialogs().size(), 1u);
        EXPECT_EQ(script.Dialogs()[0].kind, NavDialogKind::AskReviewDocuments);
        EXPECT_EQ(script.Dialogs()[0].documentCount, 1u);
        EXPECT_FALSE(ApplicationQuitting);
        EXPECT_EQ(window->GetDocumentList()->GetCount(), 2);
        EXPECT_FALSE(WindowHasSheet(window->GetWindowRef()));
        window->GetDocumentList()->Clear();
        window->Remove();
    }
    {
        SCOPED_TRACE("discard: the document without a file goes, the others are reviewed");
        TestDocument* saved = Document("saved2", true);
        TestDocument* unsaved = Document("unsaved2", false);
        TWindow* window = WindowWith({saved, unsaved});
        const WindowRef ref = window->GetWindowRef();
        script.QueueAction(kNavUserActionDiscardDocuments);
        SendClose(ref);
        TestRunUntilIdle();
        EXPECT_FALSE(window->GetDocumentList()->Contains(unsaved));
        TReviewFilesWindow* review = ShownReview();
        ASSERT_NE(review, nullptr);
        EXPECT_EQ(review->GetBrowser()->CountItems(), 1u);
        Command(review, "save");
        EXPECT_EQ(ReadWhole(files / "saved2.txt"), "new saved2");
        EXPECT_FALSE(IsValidWindowPtr(ref));
    }
    {
        SCOPED_TRACE("review: every document is listed, one without a file asks for a file");
        TestDocument* saved = Document("saved3", true);
        TestDocument* unsaved = Document("unsaved3", false);
        TWindow* window = WindowWith({saved, unsaved});
        const WindowRef ref = window->GetWindowRef();
        script.QueueAction(kNavUserActionReviewDocuments);
        script.QueueChoice({kNavUserActionSaveAs, {files.Path()}, "unsaved3.txt"});
        SendClose(ref);
        TestRunUntilIdle();
        TReviewFilesWindow* review = ShownReview();
        ASSERT_NE(review, nullptr);
        EXPECT_EQ(review->GetBrowser()->CountItems(), 2u);
        EXPECT_EQ(review->GetBrowser()->CountSelection(), 2u);
        Command(review, "save");
        EXPECT_EQ(ReadWhole(files / "saved3.txt"), "new saved3");
        EXPECT_EQ(ReadWhole(files / "unsaved3.txt"), "new unsaved3");
        EXPECT_EQ(script.Dialogs().back().kind, NavDialogKind::PutFile);
        EXPECT_FALSE(IsValidWindowPtr(ref));
    }
}
