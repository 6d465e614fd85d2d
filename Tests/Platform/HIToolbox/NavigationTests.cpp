// Navigation Services: the order of the callbacks for modal dialogs and
// sheets, what a reply holds, the filter a choice goes through, the last
// folder per preference key, refused input, and the real Qt dialogs.
#include "HIToolboxTestSupport.h"

#include <CoreFoundation/CFStringUTF8.h>
#include <FileFixtures.h>
#include <HIToolbox/HIToolboxInternal.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/NavigationTesting.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string PathOf(const FSRef& ref)
{
    char path[PATH_MAX] = {};
    FSRefMakePath(&ref, reinterpret_cast<UInt8*>(path), sizeof path);
    return path;
}

// A client that writes down every callback, and the reply it read when the
// user chose; it disposes of the dialog when told it ends, as clients do.
struct Client {
    std::vector<std::string> log;
    std::vector<std::string> chosen;
    std::string savedName;
    bool replacing = false;
    bool validReply = false;
    WindowRef callbackWindow = nullptr;
    std::vector<std::string> refusedNames;  // the filter's refusals
    NavDialogRef dialog = nullptr;

    static void Event(NavEventCallbackMessage message, NavCBRecPtr record, void* data)
    {
        auto* client = static_cast<Client*>(data);
        switch (message) {
        case kNavCBCustomize:
            client->log.push_back("customize");
            break;
        case kNavCBStart:
            client->log.push_back("start");
            break;
        case kNavCBUserAction: {
            client->log.push_back("action " + std::to_string(record->userAction));
            client->callbackWindow = record->window;
            NavReplyRecord reply{};
            ASSERT_EQ(NavDialogGetReply(record->context, &reply), noErr);
            client->validReply = reply.validRecord;
            client->replacing = reply.replacing;
            long count = 0;
            AECountItems(&reply.selection, &count);
            for (long i = 1; i <= count; ++i) {
                FSRef item{};
                if (AEGetNthPtr(&reply.selection, i, typeFSRef, nullptr, nullptr, &item, sizeof item, nullptr) == noErr)
                    client->chosen.push_back(PathOf(item));
            }
            if (reply.saveFileName != nullptr)
                client->savedName = CFStringToUTF8(reply.saveFileName);
            NavDisposeReply(&reply);
            break;
        }
        case kNavCBTerminate:
            client->log.push_back("terminate");
            NavDialogDispose(record->context);
            client->dialog = nullptr;
            break;
        default:
            break;
        }
    }

    static Boolean Filter(AEDesc* item, void*, void* data, NavFilterModes)
    {
        auto* client = static_cast<Client*>(data);
        FSRef ref{};
        AEGetDescData(item, &ref, sizeof ref);
        const std::string path = PathOf(ref);
        const std::string name = path.substr(path.find_last_of('/') + 1);
        for (const std::string& refused : client->refusedNames) {
            if (name == refused)
                return false;
        }
        return true;
    }
};

NavDialogCreationOptions Options(WindowModality modality = kWindowModalityAppModal, WindowRef parent = nullptr)
{
    NavDialogCreationOptions options{};
    EXPECT_EQ(NavGetDefaultDialogCreationOptions(&options), noErr);
    options.modality = modality;
    options.parentWindow = parent;
    return options;
}

CFArrayRef Identifiers(std::vector<const char*> names)
{
    CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    for (const char* name : names) {
        CFStringRef identifier = CFStringCreateWithUTF8(name);
        CFArrayAppendValue(array, identifier);
        CFRelease(identifier);
    }
    return array;
}

std::vector<std::string> Strings(CFArrayRef array)
{
    std::vector<std::string> strings;
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
        strings.push_back(CFStringToUTF8(CFArrayGetValueAtIndex(array, i)));
    return strings;
}

class NavigationTest : public testing::Test {
protected:
    ScopedHome home;
    ScratchFolder files;
};

}  // namespace

TEST_F(NavigationTest, AModalDialogAnswersInsideRunAndASheetOnTheNextPassInThePlatformsOrder)
{
    files.Write("a.txt", "a");
    files.Write("b.txt", "b");
    NavDialogScript script;

    Client modal;
    NavDialogCreationOptions options = Options();
    ASSERT_EQ(NavCreateGetFileDialog(&options, nullptr, Client::Event, nullptr, nullptr, &modal, &modal.dialog), noErr);
    script.QueueChoice({kNavUserActionOpen, {files / "a.txt", files / "b.txt"}, {}});
    ASSERT_EQ(NavDialogRun(modal.dialog), noErr);
    EXPECT_EQ(modal.log, (std::vector<std::string>{"customize", "start", "action 2", "terminate"}));
    EXPECT_TRUE(modal.validReply);
    EXPECT_EQ(modal.chosen, (std::vector<std::string>{files / "a.txt", files / "b.txt"}));
    EXPECT_EQ(modal.callbackWindow, nullptr);
    EXPECT_EQ(modal.dialog, nullptr);  // disposed inside its own terminate

    TestWindow parent;
    Client sheet;
    options = Options(kWindowModalityWindowModal, parent);
    ASSERT_EQ(NavCreateChooseFolderDialog(&options, Client::Event, nullptr, &sheet, &sheet.dialog), noErr);
    script.QueueChoice({kNavUserActionChoose, {files.Path()}, {}});
    ASSERT_EQ(NavDialogRun(sheet.dialog), noErr);
    EXPECT_EQ(sheet.log, (std::vector<std::string>{"customize", "start"}));
    EXPECT_EQ(NavDialogGetUserAction(sheet.dialog), kNavUserActionNone);
    TestRunUntilIdle();
    EXPECT_EQ(sheet.log, (std::vector<std::string>{"customize", "start", "action 4", "terminate"}));
    EXPECT_EQ(sheet.chosen, (std::vector<std::string>{files.Path()}));
    EXPECT_EQ(sheet.callbackWindow, static_cast<WindowRef>(parent));
    ASSERT_EQ(script.Dialogs().size(), 2u);
    EXPECT_EQ(script.Dialogs()[1].modality, kWindowModalityWindowModal);
    EXPECT_EQ(script.Dialogs()[1].parentWindow, static_cast<WindowRef>(parent));

    // A sheet taken down before the user answered never calls back again.
    Client gone;
    ASSERT_EQ(
        NavCreateAskSaveChangesDialog(&options, kNavSaveChangesClosingDocument, Client::Event, &gone, &gone.dialog),
        noErr);
    script.QueueAction(kNavUserActionSaveChanges);
    ASSERT_EQ(NavDialogRun(gone.dialog), noErr);
    NavDialogDispose(gone.dialog);
    TestRunUntilIdle();
    EXPECT_EQ(gone.log, (std::vector<std::string>{"customize", "start"}));
}

TEST_F(NavigationTest, AChoiceGoesThroughTheFilterAndTypesAsTheUsersClicksWould)
{
    files.Write("a.png", "a");
    files.Write("b.txt", "b");
    files.Write("skip.png", "s");
    files.Write(".hidden.png", "h");
    files.MakeFolder("folder.png");
    CFArrayRef pngs = Identifiers({"public.png"});
    struct Row {
        const char* what;
        NavDialogOptionFlags flags;
        std::vector<std::string> items;
        NavUserAction action;
        std::vector<std::string> chosen;
    };
    const std::vector<Row> rows = {
        {"only shown files of the type",
         kNavDefaultNavDlogOptions,
         {"a.png", "b.txt", "skip.png", ".hidden.png", "folder.png", "missing.png"},
         kNavUserActionOpen,
         {"a.png"}},
        {"hidden files when asked",
         kNavDefaultNavDlogOptions | kNavAllowInvisibleFiles,
         {".hidden.png", "a.png"},
         kNavUserActionOpen,
         {".hidden.png", "a.png"}},
        {"one item without multiple selection",
         kNavAllowInvisibleFiles,
         {".hidden.png", "a.png"},
         kNavUserActionOpen,
         {".hidden.png"}},
        {"nothing left is a cancel", kNavDefaultNavDlogOptions, {"b.txt", "skip.png"}, kNavUserActionCancel, {}},
        {"an action the dialog has not is a cancel", kNavDefaultNavDlogOptions, {"a.png"}, kNavUserActionSaveAs, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        NavDialogScript script;
        Client client;
        client.refusedNames = {"skip.png"};
        NavDialogCreationOptions options = Options();
        options.optionFlags = row.flags;
        ASSERT_EQ(
            NavCreateGetFileDialog(&options, nullptr, Client::Event, nullptr, Client::Filter, &client, &client.dialog),
            noErr);
        ASSERT_EQ(NavDialogSetFilterTypeIdentifiers(client.dialog, pngs), noErr);
        std::vector<std::string> items;
        for (const std::string& item : row.items)
            items.push_back(files / item);
        script.QueueChoice({row.action == kNavUserActionSaveAs ? row.action : kNavUserActionOpen, items, {}});
        NavDialogRun(client.dialog);
        std::vector<std::string> expected;
        for (const std::string& item : row.chosen)
            expected.push_back(files / item);
        const NavUserAction action = row.chosen.empty() ? kNavUserActionCancel : kNavUserActionOpen;
        EXPECT_EQ(client.log[2], "action " + std::to_string(action));
        EXPECT_EQ(client.chosen, expected);
        EXPECT_EQ(client.validReply, !row.chosen.empty());
        EXPECT_EQ(script.Dialogs().at(0).typeIdentifiers, (std::vector<std::string>{"public.png"}));
    }
    CFRelease(pngs);
}

TEST_F(NavigationTest, APutFileReplyHoldsTheFolderTheTypedNameAndWhetherItReplaces)
{
    files.Write("kept.txt", "old");
    struct Row {
        const char* what;
        std::string name;
        bool valid;
        bool replacing;
    };
    const std::vector<Row> rows = {
        {"a new name", "new.txt", true, false},
        {"an existing file the user agreed to replace", "kept.txt", true, true},
        {"a name with a slash", "a/b.txt", false, false},
        {"no name", "", false, false},
        {"a name that is no name", "..", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        NavDialogScript script;
        Client client;
        NavDialogCreationOptions options = Options();
        options.saveFileName = CFSTR("Untitled");
        ASSERT_EQ(
            NavCreatePutFileDialog(&options, FourCC("TEXT"), FourCC("ovbr"), Client::Event, &client, &client.dialog),
            noErr);
        script.QueueChoice({kNavUserActionSaveAs, {files.Path()}, row.name});
        NavDialogRun(client.dialog);
        EXPECT_EQ(script.Dialogs().at(0).saveFileName, "Untitled");
        EXPECT_EQ(client.validReply, row.valid);
        EXPECT_EQ(client.replacing, row.replacing);
        if (row.valid) {
            EXPECT_EQ(client.chosen, (std::vector<std::string>{files.Path()}));
            EXPECT_EQ(client.savedName, row.name);
        } else {
            EXPECT_TRUE(client.chosen.empty());
            EXPECT_EQ(client.log[2], "action 1");
        }
    }
    EXPECT_EQ(ReadWhole(files / "kept.txt"), "old");  // answering a dialog writes nothing
}

TEST_F(NavigationTest, TheLastFolderIsKeptPerPreferenceKeyAndTheSetLocationWins)
{
    files.MakeFolder("one/inner");
    files.MakeFolder("two/inner");
    NavDialogScript script;
    // Chooses the folder and answers where the dialog opened.
    auto choose = [&](UInt32 key, const std::string& folder, const FSRef* location = nullptr) {
        Client client;
        NavDialogCreationOptions options = Options();
        options.preferenceKey = key;
        EXPECT_EQ(NavCreateChooseFolderDialog(&options, Client::Event, nullptr, &client, &client.dialog), noErr);
        if (location != nullptr) {
            AEDesc desc{};
            AECreateDesc(typeFSRef, location, sizeof *location, &desc);
            EXPECT_EQ(NavCustomControl(client.dialog, kNavCtlSetLocation, &desc), noErr);
            AEDisposeDesc(&desc);
        }
        script.QueueChoice({kNavUserActionChoose, {folder}, {}});
        NavDialogRun(client.dialog);
        return script.Dialogs().back().folder;
    };
    // The dialog is left showing the chosen folder among its neighbours.
    const std::string start = choose(7, files / "one/inner");
    EXPECT_NE(start, files / "one");
    EXPECT_EQ(choose(7, files / "two/inner"), files / "one");
    EXPECT_EQ(choose(7, files / "two/inner"), files / "two");
    EXPECT_EQ(choose(8, files / "two/inner"), start);  // another key keeps its own
    EXPECT_EQ(choose(0, files / "one/inner"), start);  // key 0 keeps nothing
    EXPECT_EQ(choose(0, files / "one/inner"), start);
    const FSRef one = files.Ref("one");
    EXPECT_EQ(choose(7, files / "two/inner", &one), files / "one");
    EXPECT_EQ(choose(8, files / "one/inner"), files / "two");
}

TEST_F(NavigationTest, RefusedInputLeavesOutputsAloneAndSaysWhy)
{
    files.Write("file.txt", "x");
    NavDialogRef untouched = reinterpret_cast<NavDialogRef>(0x1234);
    NavDialogCreationOptions options = Options(kWindowModalityWindowModal, nullptr);
    EXPECT_EQ(NavCreateGetFileDialog(&options, nullptr, nullptr, nullptr, nullptr, nullptr, &untouched), paramErr);
    EXPECT_EQ(untouched, reinterpret_cast<NavDialogRef>(0x1234));
    EXPECT_EQ(NavCreatePutFileDialog(nullptr, 0, 0, nullptr, nullptr, &untouched), paramErr);
    EXPECT_EQ(NavGetDefaultDialogCreationOptions(nullptr), paramErr);

    NavReplyRecord reply{};
    std::memset(&reply, 0x5A, sizeof reply);
    EXPECT_EQ(NavDialogGetReply(nullptr, &reply), paramErr);
    EXPECT_EQ(NavDialogGetReply(reinterpret_cast<NavDialogRef>(&reply), &reply), paramErr);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&reply)[0], 0x5A);
    EXPECT_EQ(NavDialogRun(nullptr), paramErr);
    EXPECT_EQ(NavDialogGetUserAction(nullptr), kNavUserActionNone);

    NavDialogScript script;
    Client client;
    options = Options();
    ASSERT_EQ(NavCreateAskReviewDocumentsDialog(&options, 3, Client::Event, &client, &client.dialog), noErr);
    NavDialogRef dialog = client.dialog;
    CFArrayRef types = Identifiers({"public.text"});
    EXPECT_EQ(NavDialogSetFilterTypeIdentifiers(dialog, types), kNavWrongDialogClassErr);
    CFRelease(types);
    const FSRef file = files.Ref("file.txt");
    AEDesc desc{};
    AECreateDesc(typeFSRef, &file, sizeof file, &desc);
    EXPECT_EQ(NavCustomControl(dialog, kNavCtlSetLocation, &desc), paramErr);  // a file is no folder
    AEDisposeDesc(&desc);
    EXPECT_EQ(NavCustomControl(dialog, 99, nullptr), kNavCustomControlMessageFailedErr);
    // The client keeps the dialog past its end; a second run is refused.
    client.dialog = nullptr;
    script.QueueAction(kNavUserActionDiscardDocuments);
    ASSERT_EQ(NavDialogRun(dialog), noErr);
    EXPECT_EQ(script.Dialogs().at(0).message,
              "You have 3 documents with unsaved changes. Do you want to review these changes before quitting?");
    EXPECT_EQ(client.log[2], "action 10");
    EXPECT_FALSE(client.validReply);  // a question has no reply
}

TEST(NavigationTypes, IdentifiersMapToExtensionsAndFilesConformByTheirExtension)
{
    CFArrayRef identifiers = Identifiers({"public.png", "public.jpeg", "public.png", "com.example.none"});
    CFArrayRef extensions = NavCopyExtensionsForTypeIdentifiers(identifiers);
    const std::vector<std::string> names = Strings(extensions);
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[0], "png");
    EXPECT_TRUE(names[1] == "jpeg" || names[1] == "jpg") << names[1];
    EXPECT_EQ(names.size(), 2u);
    CFRelease(extensions);
    CFRelease(identifiers);

    CFArrayRef images = Identifiers({"public.image"});
    struct Row {
        const char* path;
        CFArrayRef types;
        bool conforms;
    };
    const std::vector<Row> rows = {
        {"/x/photo.PNG", images, true},    {"/x/photo.jpeg", images, true}, {"/x/notes.txt", images, false},
        {"/x/noextension", images, false}, {"/x/.png", images, false},      {"/x/notes.txt", nullptr, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(NavFileConformsToTypeIdentifiers(row.path, row.types), row.conforms);
    }
    CFRelease(images);
}

// The real dialogs, as a user meets them: Qt's file dialog as a sheet of
// the window, the question as an application-modal box.
TEST_F(NavigationTest, TheQtFileDialogIsASheetOfTheWindowAndItsAcceptIsTheReply)
{
    files.Write("a.png", "a");
    files.Write("b.txt", "b");
    TestWindow parent;
    ShowWindow(parent);
    Client client;
    NavDialogCreationOptions options = Options(kWindowModalityWindowModal, parent);
    options.windowTitle = CFSTR("Add Title Image");
    ASSERT_EQ(NavCreateGetFileDialog(&options, nullptr, Client::Event, nullptr, nullptr, &client, &client.dialog),
              noErr);
    const FSRef folder = files.Ref();
    AEDesc desc{};
    AECreateDesc(typeFSRef, &folder, sizeof folder, &desc);
    ASSERT_EQ(NavCustomControl(client.dialog, kNavCtlSetLocation, &desc), noErr);
    AEDisposeDesc(&desc);
    CFArrayRef pngs = Identifiers({"public.png"});
    NavDialogSetFilterTypeIdentifiers(client.dialog, pngs);
    CFRelease(pngs);
    ASSERT_EQ(NavDialogRun(client.dialog), noErr);

    QFileDialog* shown = HIWindowGetWidget(parent)->findChild<QFileDialog*>();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->windowModality(), Qt::WindowModal);
    EXPECT_EQ(shown->windowTitle(), QStringLiteral("Add Title Image"));
    EXPECT_EQ(shown->directory().absolutePath().toStdString(), files.Path());
    EXPECT_TRUE(shown->testOption(QFileDialog::DontUseNativeDialog));
    shown->selectFile(QString::fromStdString(files / "a.png"));
    QMetaObject::invokeMethod(shown, "accept");
    EXPECT_EQ(client.log, (std::vector<std::string>{"customize", "start", "action 2", "terminate"}));
    EXPECT_EQ(client.chosen, (std::vector<std::string>{files / "a.png"}));
    TestRunUntilIdle();
}

TEST_F(NavigationTest, TheQuestionBoxMapsItsButtonsToTheUserActions)
{
    struct Row {
        const char* button;
        NavUserAction action;
    };
    const std::vector<Row> rows = {
        {"Save", kNavUserActionSaveChanges},
        {"Don’t Save", kNavUserActionDontSaveChanges},
        {"Cancel", kNavUserActionCancel},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.button);
        Client client;
        NavDialogCreationOptions options = Options();
        options.saveFileName = CFSTR("Plans");
        ASSERT_EQ(NavCreateAskSaveChangesDialog(&options, kNavSaveChangesClosingDocument, Client::Event, &client,
                                                &client.dialog),
                  noErr);
        // The box is modal: the click comes from inside its own loop.
        QTimer::singleShot(0, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (box == nullptr || !box->isVisible())
                    continue;
                EXPECT_TRUE(box->text().contains(QStringLiteral("“Plans”")));
                for (QAbstractButton* button : box->buttons()) {
                    if (button->text() == QString::fromUtf8(row.button))
                        button->click();
                }
            }
        });
        ASSERT_EQ(NavDialogRun(client.dialog), noErr);
        EXPECT_EQ(client.log, (std::vector<std::string>{"customize", "start", "action " + std::to_string(row.action),
                                                        "terminate"}));
    }
}

TEST_F(NavigationTest, ASheetWhoseWindowGoesEndsAsACancel)
{
    WindowRef parent = nullptr;
    Rect bounds = {100, 100, 300, 400};
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardDocumentAttributes, &bounds, &parent), noErr);
    ShowWindow(parent);
    Client client;
    NavDialogCreationOptions options = Options(kWindowModalityWindowModal, parent);
    ASSERT_EQ(
        NavCreateAskSaveChangesDialog(&options, kNavSaveChangesClosingDocument, Client::Event, &client, &client.dialog),
        noErr);
    ASSERT_EQ(NavDialogRun(client.dialog), noErr);
    ASSERT_NE(HIWindowGetWidget(parent)->findChild<QMessageBox*>(), nullptr);
    DisposeWindow(parent);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the widget goes
    TestRunUntilIdle();
    EXPECT_EQ(client.log, (std::vector<std::string>{"customize", "start", "action 1", "terminate"}));
    EXPECT_EQ(client.dialog, nullptr);
}

TEST_F(NavigationTest, TheQtSaveDialogGivesTheFolderAndTheTypedName)
{
    TestWindow parent;
    ShowWindow(parent);
    Client client;
    NavDialogCreationOptions options = Options(kWindowModalityWindowModal, parent);
    options.saveFileName = CFSTR("Untitled");
    ASSERT_EQ(NavCreatePutFileDialog(&options, FourCC("TEXT"), FourCC("ovbr"), Client::Event, &client, &client.dialog),
              noErr);
    const FSRef folder = files.Ref();
    AEDesc desc{};
    AECreateDesc(typeFSRef, &folder, sizeof folder, &desc);
    ASSERT_EQ(NavCustomControl(client.dialog, kNavCtlSetLocation, &desc), noErr);
    AEDisposeDesc(&desc);
    ASSERT_EQ(NavDialogRun(client.dialog), noErr);
    QFileDialog* shown = HIWindowGetWidget(parent)->findChild<QFileDialog*>();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(shown->selectedFiles().value(0).toStdString(), files / "Untitled");
    shown->selectFile(QString::fromStdString(files / "Plans.txt"));
    QMetaObject::invokeMethod(shown, "accept");
    EXPECT_EQ(client.log, (std::vector<std::string>{"customize", "start", "action 3", "terminate"}));
    EXPECT_EQ(client.chosen, (std::vector<std::string>{files.Path()}));
    EXPECT_EQ(client.savedName, "Plans.txt");
    EXPECT_FALSE(client.replacing);
    TestRunUntilIdle();
}
