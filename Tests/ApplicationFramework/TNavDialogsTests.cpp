// The file dialogs: what each dialog shows, what the owner and the
// application hear of a choice, Save As into real files (replacing one
// whole or not at all), and the ask-to-save sheet in a close and a quit.
#include "DocumentTestSupport.h"

#include <AppKit/NSAlert.h>

#include <QTimer>
#include <RunUntil.h>

#include <filesystem>

BRINDLET_DEFINE_CLASS(TestDocument, TDocument)
BRINDLET_DEFINE_CLASS(ActionLog, TResponder)
BRINDLET_DEFINE_CLASS(RecordingApplication, TApplication)

namespace {

// An open dialog that shows text files only.
class TextOnlyDialogs : public TNavDialogs {
    BRINDLET_CLASS(TextOnlyDialogs, TNavDialogs)

public:
    bool HandleFilterDocument(const FSRef& item) override { return FSGetExtension(item).ToString() == "txt"; }

protected:
    TextOnlyDialogs() = default;
};

BRINDLET_DEFINE_CLASS(TextOnlyDialogs, TNavDialogs)

class TNavDialogsTest : public testing::Test {
protected:
    void SetUp() override { application = RecordingApplication::Start(); }
    void TearDown() override
    {
        log->Release();
        application->Release();
    }

    FrameworkScope scope;
    ScratchFolder files;
    RecordingApplication* application = nullptr;
    ActionLog* log = ActionLog::Create();
};

}  // namespace

TEST_F(TNavDialogsTest, AnOpenOfSeveralItemsCallsTheOwnerAndOpensEachItemOnce)
{
    files.Write("a.txt", "a");
    files.Write("b.txt", "b");
    files.Write("c.png", "c");
    NavDialogScript script;
    script.QueueChoice({kNavUserActionOpen, {files / "a.txt", files / "c.png", files / "b.txt"}, {}});
    TextOnlyDialogs* dialog = TextOnlyDialogs::Allocate();
    dialog->RequestInitialization();
    dialog->SetTarget(log);
    dialog->SetAction(BRINDLET_METHOD(ActionLog, Took));
    EXPECT_EQ(dialog->OpenDialog(), noErr);

    // The file the filter hides is not taken however it was chosen.
    EXPECT_EQ(log->files, (std::vector<std::string>{files / "a.txt", files / "b.txt"}));
    EXPECT_EQ(log->names, (std::vector<std::string>{"a.txt", "b.txt"}));
    ASSERT_EQ(application->opened.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(PathOfRef(application->opened[i].item), log->files[i]);
        EXPECT_TRUE(application->opened[i].skipOpenCheck);
        EXPECT_TRUE(application->opened[i].fromOpenDialog);
    }
}

TEST_F(TNavDialogsTest, EachDialogShowsItsKindTitleKeyAndProposedName)
{
    files.MakeFolder("start");
    TWindow* window = WindowWith({});
    TestDocument* document = TestDocument::Make("Plans", "x");
    TArray* types = TTypeArray::Create();
    types->AppendValue(CFSTR("public.plain-text"));
    struct Row {
        const char* what;
        std::function<OSStatus(TNavDialogs*)> open;
        NavDialogKind kind;
        const char* title;
        UInt32 key;
        const char* proposed;
    };
    const std::vector<Row> rows = {
        {"open", [](TNavDialogs* d) { return d->OpenDialog(); }, NavDialogKind::GetFile, "Open", 3, ""},
        {"choose folder", [](TNavDialogs* d) { return d->ChooseFolderDialog(); }, NavDialogKind::ChooseFolder,
         "Choose Folder", 2, ""},
        {"new file", [](TNavDialogs* d) { return d->NewFileDialog(); }, NavDialogKind::PutFile, "New File", 10, ""},
        {"save as", [](TNavDialogs* d) { return d->SaveAsDialog(); }, NavDialogKind::PutFile, "Save As", 4, "Proposed"},
        {"save as a document", [&](TNavDialogs* d) { return d->SaveAsDialog(document); }, NavDialogKind::PutFile,
         "Save As", 4, "Plans"},
        {"save a document", [&](TNavDialogs* d) { return d->SaveDialog(document); }, NavDialogKind::AskSaveChanges,
         "Save", 5, "Plans"},
    };
    NavDialogScript script;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        for (bool sheet : {false, true}) {
            TNavDialogs* dialog = log->Dialog();
            dialog->SetSaveFileName(CFSTR("Proposed"));
            dialog->SetMessage(CFSTR("Pick one"));
            dialog->SetDefaultLocation(files.Ref("start"));
            dialog->SetFilterTypeIdentifiers(types);
            if (sheet) {
                dialog->SetParent(window->GetWindowRef());
                dialog->SetWindowTitle(CFSTR("Custom"));
            }
            ASSERT_EQ(row.open(dialog), noErr);
            TestRunUntilIdle();
            const NavDialogDescription& shown = script.Dialogs().back();
            EXPECT_EQ(shown.kind, row.kind);
            EXPECT_EQ(shown.title, sheet ? "Custom" : row.title);
            EXPECT_EQ(shown.preferenceKey, row.key);
            EXPECT_EQ(shown.saveFileName, row.proposed);
            EXPECT_EQ(shown.modality, sheet ? kWindowModalityWindowModal : kWindowModalityAppModal);
            EXPECT_EQ(shown.parentWindow, sheet ? window->GetWindowRef() : nullptr);
            if (row.kind != NavDialogKind::AskSaveChanges) {
                EXPECT_EQ(shown.message, "Pick one");
                EXPECT_EQ(shown.folder, files / "start");
                EXPECT_EQ(shown.typeIdentifiers, (std::vector<std::string>{"public.plain-text"}));
            }
        }
    }
    EXPECT_TRUE(log->files.empty()) << "a cancelled dialog called its owner";
    types->Release();
    window->Remove();
    document->Release();
}

TEST_F(TNavDialogsTest, ANewFileDialogHandsTheFolderAndTypedNameToItsOwnerAndMakesNothing)
{
    NavDialogScript script;
    script.QueueChoice({kNavUserActionSaveAs, {files.Path()}, "New Sheet.brproj"});
    log->Dialog()->NewFileDialog();
    EXPECT_EQ(log->files, (std::vector<std::string>{files.Path()}));
    EXPECT_EQ(log->names, (std::vector<std::string>{"New Sheet.brproj"}));
    EXPECT_TRUE(files.Names().empty());
}

TEST_F(TNavDialogsTest, SaveAsOntoAFileTheUserAgreedToReplaceReplacesItWhole)
{
    files.Write("Plans.txt", "old");
    TestDocument* document = TestDocument::Make("Untitled", "new");
    NavDialogScript script;
    script.QueueChoice({kNavUserActionSaveAs, {files.Path()}, "Plans.txt"});
    log->Dialog()->SaveAsDialog(document);

    EXPECT_EQ(ReadWhole(files / "Plans.txt"), "new");
    EXPECT_EQ(PathOfRef(document->GetFile()), files / "Plans.txt");
    EXPECT_EQ(document->GetDisplayName().ToString(), "Plans.txt");
    EXPECT_FALSE(document->IsDirty());
    EXPECT_EQ(document->savedAs, 1);
    // Written beside the file first, under a name our writers clear away.
    ASSERT_EQ(document->writtenTo.size(), 1u);
    const std::filesystem::path written(document->writtenTo[0]);
    EXPECT_EQ(written.parent_path(), files.Path());
    EXPECT_TRUE(FileAccess::IsWriterTemporaryName(written.filename().string())) << written;
    EXPECT_EQ(files.Names(), (std::vector<std::string>{"Plans.txt"}));
    EXPECT_EQ(log->files, (std::vector<std::string>{files.Path()}));
    EXPECT_EQ(log->names, (std::vector<std::string>{"Plans.txt"}));
    document->Release();
}

TEST_F(TNavDialogsTest, AFailedSaveAsKeepsWhatWasThereTellsTheUserAndIsNotReportedAsSaved)
{
    files.Write("Plans.txt", "old");
    files.MakeFolder("Folder.txt");
    struct Row {
        const char* what;
        const char* name;
        OSStatus failWith;
        int saves;
    };
    const std::vector<Row> rows = {
        {"replacing, the document fails to write", "Plans.txt", ioErr, 1},
        {"a new name, the document fails to write", "Fresh.txt", ioErr, 1},
        {"the name of a folder", "Folder.txt", noErr, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestDocument* document = TestDocument::Make("Untitled", "new", files / "Plans.txt");
        document->SetFile(FSRef{});
        document->failWith = row.failWith;
        NSAlertScript alerts;
        NavDialogScript script;
        script.QueueChoice({kNavUserActionSaveAs, {files.Path()}, row.name});
        log->Dialog()->SaveAsDialog(document);
        EXPECT_EQ(static_cast<int>(document->writtenTo.size()), row.saves);
        EXPECT_FALSE(document->HasValidFile());
        EXPECT_TRUE(document->IsDirty());
        EXPECT_EQ(document->savedAs, 0);
        ASSERT_EQ(alerts.Alerts().size(), 1u);
        EXPECT_NE(alerts.Alerts()[0].messageText.find(row.name), std::string::npos);
        EXPECT_TRUE(log->files.empty()) << "a failed save was reported as done";
        EXPECT_EQ(ReadWhole(files / "Plans.txt"), "old");
        EXPECT_EQ(files.Names(), (std::vector<std::string>{"Folder.txt", "Plans.txt"}));
        document->Release();
    }
}

TEST_F(TNavDialogsTest, CancellingTheAskToSaveSheetStopsTheQuitAndDontSaveLetsItGoOn)
{
    files.Write("Plans.txt", "old");
    TestDocument* document = TestDocument::Make("Plans", "new", files / "Plans.txt");
    TWindow* window = WindowWith({document});
    const WindowRef ref = window->GetWindowRef();
    NavDialogScript script;

    script.QueueAction(kNavUserActionCancel);
    application->Quit();
    TestRunUntilIdle();
    ASSERT_EQ(script.Dialogs().size(), 1u);
    EXPECT_EQ(script.Dialogs()[0].kind, NavDialogKind::AskSaveChanges);
    EXPECT_EQ(script.Dialogs()[0].parentWindow, ref);
    EXPECT_FALSE(ApplicationQuitting);
    EXPECT_TRUE(IsValidWindowPtr(ref));
    EXPECT_EQ(window->GetDocumentList()->GetCount(), 1);

    script.QueueAction(kNavUserActionDontSaveChanges);
    QTimer::singleShot(0, [&] { application->Quit(); });
    EXPECT_TRUE(RunApplicationLoop()) << "the quit stalled";
    EXPECT_FALSE(IsValidWindowPtr(ref));
    EXPECT_TRUE(document->writtenTo.empty());
    EXPECT_EQ(ReadWhole(files / "Plans.txt"), "old");
    document->Release();
}

TEST_F(TNavDialogsTest, SavingANeverSavedDocumentAsksForAFileAndTheCloseGoesOnAfterIt)
{
    NavDialogScript script;
    // The Save command of a window whose document never had a file.
    TestDocument* kept = TestDocument::Make("Notes", "kept text");
    TWindow* window = WindowWith({kept});
    OSStatus result = eventNotHandledErr;
    HICommandExtended save{};
    save.commandID = FourCC("save");
    script.QueueChoice({kNavUserActionSaveAs, {files.Path()}, "Notes.txt"});
    window->ProcessCommand(save, nullptr, result);
    TestRunUntilIdle();
    ASSERT_EQ(script.Dialogs().size(), 1u);
    EXPECT_EQ(script.Dialogs()[0].kind, NavDialogKind::PutFile);
    EXPECT_EQ(script.Dialogs()[0].saveFileName, "Notes");
    EXPECT_EQ(ReadWhole(files / "Notes.txt"), "kept text");
    EXPECT_TRUE(IsValidWindowPtr(window->GetWindowRef())) << "a plain save closed the window";
    EXPECT_EQ(window->GetDocumentList()->GetCount(), 1);
    window->Remove();

    // Closing a window whose dirty document never had a file: Save asks
    // for one with the close's purpose, and the window then closes.
    TestDocument* fresh = TestDocument::Make("Fresh", "fresh text");
    window = WindowWith({fresh});
    const WindowRef ref = window->GetWindowRef();
    script.QueueAction(kNavUserActionSaveChanges);
    script.QueueChoice({kNavUserActionSaveAs, {files.Path()}, "Fresh.txt"});
    SendClose(ref);
    TestRunUntilIdle();
    ASSERT_EQ(script.Dialogs().size(), 3u);
    EXPECT_EQ(script.Dialogs()[1].kind, NavDialogKind::AskSaveChanges);
    EXPECT_EQ(script.Dialogs()[2].kind, NavDialogKind::PutFile);
    EXPECT_EQ(script.Dialogs()[2].parentWindow, ref);
    EXPECT_EQ(ReadWhole(files / "Fresh.txt"), "fresh text");
    EXPECT_EQ(fresh->reasons, (std::vector<UInt32>{kNavDialogActionCloseWindow}));
    EXPECT_FALSE(IsValidWindowPtr(ref)) << "the window stayed after its document was saved";
    kept->Release();
    fresh->Release();
}
