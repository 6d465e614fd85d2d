// The screen and its sheet files: the save delay, what another program's
// writes and unreadable files do to a save or an open, the helper's
// requests, new sheets. The program is started in a scratch home as it
// starts for a user; its sheet folder holds the default sheets.
#include "ArchiveCheck.h"
#include "BrindletTestSupport.h"

#include <Sources/Cards/UGenericCard.h>
#include <Sources/Interface/USelectedTaskInbox.h>
#include <Sources/Tasks/TasksInitialization.h>

#include <AppKit/CFUserNotification.h>
#include <CarbonCore/CarbonEventLoop.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreGraphics/CGImageQt.h>
#include <CoreGraphics/CGImageSource.h>
#include <SpriteEngine/SCSprite.h>
#include <Support/Clock.h>
#include <Units/Classes/TArchiverUnit.h>
#include <Units/Utilities/FSUtilities.h>

#include <QImage>
#include <RunUntil.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace {

using brindlet::SheetConflictChoice;
using brindlet::TScreen;

// A card of the plainest kind: a text kept in the sheet.
class TNoteSprite : public TCardProtocol {
    BRINDLET_CLASS(TNoteSprite, TCardProtocol)

public:
    static TNoteSprite* Make(TSpriteLayerProtocol* layer, const std::string& text)
    {
        TNoteSprite* sprite = AllocateInstance<TNoteSprite>();
        sprite->text_ = text;
        sprite->SetLayer(layer);
        sprite->Initialize();
        sprite->SetSupportsArchiving(true);
        sprite->SetSize(40, 30);
        return sprite;
    }
    void EncodeData(TArchiver* archiver) override
    {
        Inherited::EncodeData(archiver);
        archiver->SetStringValue("text", ShortString(text_));
        if (unsavable_) {
            // A value no property list can hold: the archive cannot be written.
            CFURLRef url = CFURLCreateWithString(nullptr, CFSTR("file:///"), nullptr);
            archiver->SetValue("unsavable", url);
            CFRelease(url);
        }
    }
    void DecodeData(TArchiver* archiver) override
    {
        Inherited::DecodeData(archiver);
        text_ = archiver->GetStringValue("text").c_str();
        SetSupportsArchiving(true);
    }
    std::string text_;
    bool unsavable_ = false;

protected:
    TNoteSprite() = default;
};

BRINDLET_DEFINE_CLASS(TNoteSprite, TCardProtocol)

// A strip that counts what the screen tells it.
class TCountingStrip : public brindlet::TSheetStripProtocol {
    BRINDLET_CLASS(TCountingStrip, brindlet::TSheetStripProtocol)

public:
    static TCountingStrip* Make()
    {
        TCountingStrip* strip = AllocateInstance<TCountingStrip>();
        strip->Initialize();
        return strip;
    }
    void SetActive(const FSRef&) override {}
    void ImageChanged(const FSRef&, CGImageRef image) override
    {
        ++images;
        imageSize = CGSizeMake(CGImageGetWidth(image), CGImageGetHeight(image));
    }
    void Saved() override { ++saved; }
    void Update() override {}
    void UpdateSheetMenu() override {}
    void UpdateFace() override {}
    void CloseActiveSheet() override {}
    void SetFolder(const FSRef&) override {}
    bool IsShown() override { return true; }
    void SetShown(bool) override {}
    CGSize GetThumbnailSize() override { return CGSizeMake(96, 54); }
    int saved = 0;
    int images = 0;
    CGSize imageSize = CGSizeZero;

protected:
    TCountingStrip() = default;
};

BRINDLET_DEFINE_CLASS(TCountingStrip, brindlet::TSheetStripProtocol)

TCountingStrip* lastStrip = nullptr;

brindlet::TSheetStripProtocol* MakeCountingStrip(const FSRef&, TSpriteLayer*)
{
    lastStrip = TCountingStrip::Make();
    return lastStrip;
}

SheetConflictChoice nextChoice = SheetConflictChoice::KeepMine;
int choicesAsked = 0;

SheetConflictChoice ScriptedChoice(CFStringRef)
{
    ++choicesAsked;
    return nextChoice;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The texts of the note sprites a sheet file holds, in order; "unreadable"
// when it is no archive.
std::vector<std::string> NotesIn(const std::string& path)
{
    FSRef file{};
    if (!FSGetPathRef(ShortString(path), file))
        return {"missing"};
    TArchiver* archiver = TArchiver::CreateWithFile(file);
    std::vector<std::string> notes;
    if (archiver->Load() != 0) {
        notes.push_back("unreadable");
    } else {
        for (SInt32 index = 0; index <= archiver->Limit(); ++index) {
            TArchiver* child = archiver->CopyArchive(index);
            notes.push_back(child->GetStringValue("text").c_str());
            child->Release();
        }
    }
    archiver->Release();
    return notes;
}

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterClass(TNoteSprite::StaticClass());
        InitializeUGenericCardUnit();
        brindlet::InitializeTaskUnits();
        TScreen::SetConflictChooser(ScriptedChoice);
        choicesAsked = 0;
        application_ = std::make_unique<StartedBrindlet>();
        ASSERT_NE((*application_)->GetWindow(), nullptr);
        screen = (*application_)->GetWindow()->GetScreen();
        ASSERT_NE(screen, nullptr);
        folder = brindlet::DefaultSheetFolderPath();
        ASSERT_EQ(OpenPath(), folder + "/Demo.brproj");
        // The tests start from an empty sheet of their own.
        first = WriteSheet("First.brproj", {});
        ASSERT_TRUE(screen->LoadSheet(Ref(first)));
    }
    void TearDown() override
    {
        application_.reset();
        TScreen::SetConflictChooser(nullptr);
        TScreen::SetStripMaker(nullptr);
        lastStrip = nullptr;
    }

    std::string OpenPath() const
    {
        CFStringRef path = FSCopyPath(screen->GetSheetFile());
        std::string text = path != nullptr ? CFStringToUTF8(path) : "";
        if (path != nullptr)
            CFRelease(path);
        return text;
    }
    TNoteSprite* AddNote(const std::string& text)
    {
        TNoteSprite* note = TNoteSprite::Make(screen->GetMainLayer(), text);
        TResponder::PostNotification("SyncSheetChanged");
        return note;
    }
    // A sheet of the given notes written into the folder as another program would.
    std::string WriteSheet(const std::string& name, const std::vector<std::string>& notes)
    {
        std::string entries;
        for (const std::string& note : notes)
            entries += "<dict><key>system.class</key><string>TNoteSprite</string><key>text</key><string>" + note +
                       "</string></dict>";
        const std::string path = folder + "/" + name;
        std::ofstream(path) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                            << "<key>system.objects</key><array>" << entries << "</array></dict></plist>\n";
        return path;
    }
    FSRef Ref(const std::string& path)
    {
        FSRef file{};
        EXPECT_TRUE(FSGetPathRef(ShortString(path), file)) << path;
        return file;
    }

    BrindletScope scope;
    std::unique_ptr<StartedBrindlet> application_;
    TScreen* screen = nullptr;
    std::string folder;
    std::string first;
};

ino_t InodeOf(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Every write is a new file renamed over the old one: a new inode.
TEST_F(ScreenTest, TenChangesWithinOneSecondAreWrittenOnceTwoSecondsAfterTheLast)
{
    Clock::Fake clock(1'000'000);
    auto pass = [] { FireDueEventLoopTimers(GetMainEventLoop()); };
    const ino_t before = InodeOf(first);
    for (int change = 0; change < 10; ++change) {
        AddNote("note " + std::to_string(change));
        clock.Advance(0.1);
        pass();
    }
    EXPECT_TRUE(screen->IsModified());
    clock.Advance(1.85);  // 1.95 s after the last change
    pass();
    EXPECT_EQ(InodeOf(first), before) << "nothing written before two seconds have passed";
    clock.Advance(0.1);
    pass();
    const ino_t written = InodeOf(first);
    EXPECT_NE(written, before);
    EXPECT_FALSE(screen->IsModified());
    EXPECT_EQ(NotesIn(first).size(), 10u);
    clock.Advance(10);
    pass();
    EXPECT_EQ(InodeOf(first), written) << "one write for the burst";
}

// The sheet's thumbnail is written with it: PNG under "image", at the
// strip's ratio (r/2 of the screen), and handed to the strip.
TEST_F(ScreenTest, ASaveWritesTheThumbnailAndTellsTheStrip)
{
    TScreen::SetStripMaker(MakeCountingStrip);
    screen->ToggleSheets();
    ASSERT_NE(lastStrip, nullptr);
    AddNote("a");
    screen->SaveSheet();
    EXPECT_EQ(lastStrip->saved, 1);
    EXPECT_EQ(lastStrip->images, 1);

    FSRef file = Ref(first);
    TArchiver* archiver = TArchiver::CreateWithFile(file);
    ASSERT_EQ(archiver->Load(), 0);
    CFTypeRef png = archiver->GetValue("image");
    ASSERT_NE(png, nullptr);
    ASSERT_EQ(CFGetTypeID(png), CFDataGetTypeID());
    const QImage image = QImage::fromData(CFDataGetBytePtr(static_cast<CFDataRef>(png)),
                                          int(CFDataGetLength(static_cast<CFDataRef>(png))), "PNG");
    archiver->Release();
    const CGRect view = screen->GetViewRect();
    const double divisor = brindlet::SheetStripRatio() / 2.0;
    EXPECT_EQ(image.width(), int(view.size.width / divisor));
    EXPECT_EQ(image.height(), int(view.size.height / divisor));
    EXPECT_EQ(CGSizeMake(image.width(), image.height()).width, lastStrip->imageSize.width);
}

// Another program wrote the sheet after it was loaded: the save writes
// nothing over it until the user chose, and the choice is asked once.
TEST_F(ScreenTest, ASheetChangedOutsideIsNeverOverwrittenSilently)
{
    struct Case {
        SheetConflictChoice choice;
        std::vector<std::string> sheetAfter;  // the sheet file once settled
        bool copyKept;                        // ours beside it
        std::vector<std::string> shown;       // what the screen holds afterwards
    };
    const Case cases[] = {
        {SheetConflictChoice::KeepMine, {"theirs"}, true, {"mine"}},
        {SheetConflictChoice::ReloadTheirs, {"theirs"}, false, {"theirs"}},
        {SheetConflictChoice::Overwrite, {"mine"}, false, {"mine"}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(int(row.choice));
        const std::string sheet = WriteSheet("Shared.brproj", {"base"});
        ASSERT_TRUE(screen->LoadSheet(Ref(sheet)));
        // The other program's write (a new file in its place, as a sync
        // service does).
        WriteSheet("Shared.brproj.new", {"theirs"});
        std::filesystem::rename(sheet + ".new", sheet);
        screen->GetMainLayer()->RemoveWithClass(TNoteSprite::StaticClass());
        AddNote("mine");

        nextChoice = row.choice;
        choicesAsked = 0;
        Diagnostics::Capture capture;
        screen->SaveSheet();
        EXPECT_EQ(choicesAsked, 1);
        EXPECT_TRUE(HasLine(capture, "Notice: The sheet file " + sheet + " modification date is out of synch."));
        EXPECT_EQ(NotesIn(sheet), row.sheetAfter);
        EXPECT_FALSE(screen->IsModified());

        std::vector<std::string> copies;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("Shared (conflict ", 0) == 0) {
                copies.push_back(entry.path().string());
                EXPECT_EQ(name.substr(name.size() - 7), ".brproj");
            }
        }
        EXPECT_EQ(copies.size(), row.copyKept ? 1u : 0u);
        if (row.copyKept) {
            EXPECT_EQ(NotesIn(copies.front()), std::vector<std::string>{"mine"});
            EXPECT_EQ(OpenPath(), copies.front()) << "the screen goes on with our version";
        }
        std::vector<std::string> shown;
        TObjectArray* sprites = screen->CopySprites();
        for (void* sprite : *sprites)
            if (MemberOfClass(static_cast<TObject*>(sprite), TNoteSprite::StaticClass()))
                shown.push_back(static_cast<TNoteSprite*>(sprite)->text_);
        sprites->Release();
        EXPECT_EQ(shown, row.shown);

        // Settled: the next change is saved without asking again.
        AddNote("later");
        screen->SaveSheet();
        EXPECT_EQ(choicesAsked, 1);
        for (const std::string& copy : copies)
            std::filesystem::remove(copy);
        ASSERT_TRUE(screen->LoadSheet(Ref(first)));
    }
}

// A sheet whose folder went away with its volume keeps its changes until
// the folder is back, without asking anything; then it is saved as usual.
TEST_F(ScreenTest, ASheetWhoseFolderIsGoneWaitsForIt)
{
    std::filesystem::create_directories(folder + "/Volume");
    const std::string sheet = WriteSheet("Volume/Away.brproj", {"base"});
    ASSERT_TRUE(screen->LoadSheet(Ref(sheet)));
    AddNote("while away");
    std::filesystem::rename(folder + "/Volume", folder + "/Volume.unmounted");
    Diagnostics::Capture capture;
    screen->SaveSheet();
    EXPECT_TRUE(screen->IsModified());
    EXPECT_EQ(choicesAsked, 0);
    EXPECT_TRUE(HasLine(capture, "Notice: The sheet file " + sheet +
                                     " cannot be saved now: its folder is not there. The changes wait."));
    std::filesystem::rename(folder + "/Volume.unmounted", folder + "/Volume");
    screen->SaveSheet();
    EXPECT_FALSE(screen->IsModified());
    EXPECT_EQ(choicesAsked, 0);
    EXPECT_EQ(NotesIn(sheet), (std::vector<std::string>{"base", "while away"}));
}

// Without a scripted choice the user is asked with one alert; taken down
// unanswered, both versions are kept.
TEST_F(ScreenTest, TheConflictAlertOffersTheThreeWaysAndKeepsBothWhenUnanswered)
{
    TScreen::SetConflictChooser(nullptr);
    const std::string sheet = WriteSheet("Alerted.brproj", {"base"});
    ASSERT_TRUE(screen->LoadSheet(Ref(sheet)));
    WriteSheet("Alerted.brproj.new", {"theirs"});
    std::filesystem::rename(sheet + ".new", sheet);
    AddNote("mine");
    CFUserNotificationScript alerts;
    alerts.QueueResponse(kCFUserNotificationCancelResponse);
    screen->SaveSheet();
    ASSERT_EQ(alerts.Alerts().size(), 1u);
    EXPECT_EQ(alerts.Alerts()[0].defaultButton, "Keep Both");
    EXPECT_EQ(alerts.Alerts()[0].alternateButton, "Use Their Version");
    EXPECT_EQ(alerts.Alerts()[0].otherButton, "Overwrite");
    EXPECT_NE(alerts.Alerts()[0].message.find(sheet), std::string::npos);
    EXPECT_EQ(NotesIn(sheet), std::vector<std::string>{"theirs"});
    EXPECT_NE(OpenPath(), sheet);
    EXPECT_EQ(NotesIn(OpenPath()), (std::vector<std::string>{"base", "mine"}));
}

// A file that is no sheet archive never becomes the open sheet and is
// never written over; the former sheet stays open with its cards.
TEST_F(ScreenTest, AnUnreadableSheetOpensNothingAndWritesNothing)
{
    AddNote("kept");
    const std::string good = WriteSheet("Good.brproj", {"one", "two"});
    std::string truncated = ReadFile(good);
    truncated.resize(truncated.size() / 2);
    const std::string broken = folder + "/Broken.brproj";
    std::ofstream(broken, std::ios::binary) << truncated;
    const std::string empty = folder + "/Empty.brproj";
    std::ofstream(empty).close();

    for (const std::string& path : {broken, empty}) {
        SCOPED_TRACE(path);
        CFUserNotificationScript alerts;
        const std::string bytes = ReadFile(path);
        screen->OpenSheet(Ref(path));
        ASSERT_EQ(alerts.Alerts().size(), 1u);
        EXPECT_NE(alerts.Alerts()[0].message.find(path), std::string::npos);
        EXPECT_EQ(OpenPath(), first);
        EXPECT_TRUE(screen->IsModified()) << "the open sheet's changes are still pending";
        EXPECT_FALSE(screen->LoadSheet(Ref(path)));
        EXPECT_EQ(OpenPath(), first);
        screen->SaveSheet();
        EXPECT_EQ(ReadFile(path), bytes);
        AddNote("more");
    }
    EXPECT_EQ(NotesIn(first), (std::vector<std::string>{"kept", "more"}));
}

// A save that fails keeps the changes pending, tells the user once and
// is not reported as a save (no word to the strip).
TEST_F(ScreenTest, AFailedSaveKeepsTheChangesAndAlertsOnce)
{
    TScreen::SetStripMaker(MakeCountingStrip);
    screen->ToggleSheets();
    ASSERT_NE(lastStrip, nullptr);
    const std::string before = ReadFile(first);
    TNoteSprite* bad = AddNote("bad");
    bad->unsavable_ = true;
    CFUserNotificationScript alerts;
    Diagnostics::Capture capture;
    screen->SaveSheet();
    TResponder::PostNotification("SyncSheetChanged");
    screen->SaveSheet();
    EXPECT_TRUE(screen->IsModified());
    EXPECT_EQ(lastStrip->saved, 0);
    EXPECT_EQ(alerts.Alerts().size(), 1u);
    EXPECT_TRUE(HasLine(capture, "Warning: There was an error -43 saving the sheet file " + first));
    EXPECT_EQ(ReadFile(first), before);

    bad->unsavable_ = false;
    screen->SaveSheet();
    EXPECT_FALSE(screen->IsModified());
    EXPECT_EQ(lastStrip->saved, 1);
    EXPECT_EQ(NotesIn(first), std::vector<std::string>{"bad"});
}

// Inside the sheet folder is decided on canonical paths, not names.
TEST_F(ScreenTest, InsideTheSheetFolderMeansItsCanonicalPathLiesThere)
{
    const std::string outside = scope.Home() / "outside";
    std::filesystem::create_directories(outside);
    std::filesystem::create_directories(folder + "/Sub");
    for (const char* name : {"Demo.brproj", "Other.brproj"})
        std::ofstream(outside + "/" + name) << "x";
    std::ofstream(folder + "/Sub/Deep.brproj") << "x";
    std::filesystem::create_symlink(outside + "/Other.brproj", folder + "/Link.brproj");
    std::filesystem::create_symlink(folder, outside + "/FolderLink");

    struct Case {
        std::string path;
        bool inside;
    };
    const Case cases[] = {
        {first, true},
        {folder + "/Sub/Deep.brproj", true},
        {folder + "/Sub/../Demo.brproj", true},
        {outside + "/Demo.brproj", false},  // the same name as a sheet inside
        {folder + "/Link.brproj", false},   // a link inside to a file outside
        {outside + "/FolderLink/Demo.brproj", true},
        {folder, false},
    };
    const FSRef folderRef = Ref(folder);
    for (const Case& row : cases) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(brindlet::IsFileInsideFolder(Ref(row.path), folderRef), row.inside);
    }

    // A sheet outside is offered for moving; declined, nothing changes.
    AddNote("pending");
    CFUserNotificationScript alerts;
    alerts.QueueResponse(kCFUserNotificationAlternateResponse);
    screen->OpenSheet(Ref(outside + "/Demo.brproj"));
    EXPECT_EQ(alerts.Alerts().size(), 1u);
    EXPECT_EQ(OpenPath(), first);
    EXPECT_TRUE(std::filesystem::exists(outside + "/Demo.brproj"));
    EXPECT_FALSE(screen->LoadSheet(Ref(outside + "/Demo.brproj")));
    EXPECT_EQ(OpenPath(), first);
}

// A sheet folder on removable media comes and goes with its volume: the
// mount points of removable media count, other places do not (unless a
// removable device holds them, which no test machine's folders are).
TEST(RemovableMedia, TheUsualMountPointsCountOthersDoNot)
{
    const struct {
        const char* path;
        bool removable;
    } cases[] = {
        {"/media/ann/USB STICK/Sheets", true},
        {"/run/media/ann/Disk", true},
        {"/media", false},
        {"/mediaeval/Sheets", false},
        {"relative/media/x", false},
        {"", false},
        {"/proc", false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(brindlet::IsRemovableMediaPath(row.path), row.removable);
    }
}

// The helper's request: only a sheet file of the sheet folder is opened,
// and the rows are asked to show the task.
TEST_F(ScreenTest, TheSelectedTaskRequestOpensOnlySheetsOfTheFolder)
{
    const std::string other = WriteSheet("Other.brproj", {"o"});
    const std::string outside = scope.Home() / "Outside.brproj";
    std::ofstream(outside) << "x";
    const std::string text = folder + "/Notes.txt";
    std::ofstream(text) << "x";

    struct Case {
        const char* label;
        std::string sheet;  // empty: no "sheet"
        std::string line;   // the line written, "" for none
        std::string openAfter;
        bool located;
    };
    const std::string ignored = " was ignored: it is no sheet file of the sheet folder.";
    const Case cases[] = {
        {"no sheet", "", "The sheet can not be found!", first, false},
        {"outside", outside, "Notice: The request to show a task of " + outside + ignored, first, false},
        {"not a sheet", text, "Notice: The request to show a task of " + text + ignored, first, false},
        {"relative", "Demo.brproj", "Notice: The request to show a task of Demo.brproj" + ignored, first, false},
        {"the open sheet", first, "", first, true},
        {"another sheet", other, "Opened the sheet " + other + ".", other, true},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        int located = 0;
        TTypeDictionary* request = TTypeDictionary::Create();
        if (!row.sheet.empty())
            request->SetValue("sheet", CFSTR(ShortString(row.sheet)));
        request->SetValue("task", CFSTR("4A1B"));
        CFNotificationCenterRef center = CFNotificationCenterGetLocalCenter();
        CFNotificationCenterAddObserver(
            center, &located,
            [](CFNotificationCenterRef, void* observer, CFStringRef, const void*, CFDictionaryRef info) {
                CFTypeRef task = info != nullptr ? CFDictionaryGetValue(info, CFSTR("task")) : nullptr;
                if (task != nullptr && CFEqual(task, CFSTR("4A1B")))
                    ++*static_cast<int*>(observer);
            },
            CFSTR("TTask.Locate"), nullptr, CFNotificationSuspensionBehaviorDeliverImmediately);
        Diagnostics::Capture capture;
        screen->HandleSelectedTask(request);
        request->Release();
        CFNotificationCenterRemoveEveryObserver(center, &located);
        if (row.line.empty())
            EXPECT_TRUE(capture.Lines().empty()) << capture.Text();
        else
            EXPECT_TRUE(HasLine(capture, row.line)) << capture.Text();
        EXPECT_EQ(OpenPath(), row.openAfter);
        EXPECT_EQ(located, row.located ? 1 : 0);
    }
}

// A request that came before the screen existed (held from the launch
// arguments or the bus) reaches it on the first pass after it attached.
TEST_F(ScreenTest, ARequestMadeWhileStartingIsHandledOnceTheScreenIsThere)
{
    const std::string other = WriteSheet("Early.brproj", {"e"});
    brindlet::SelectedTaskInbox::Detach(screen);
    CFStringRef sheet = CFStringCreateWithUTF8(other);
    brindlet::SelectedTaskInbox::Hold(sheet, CFSTR("1234"));
    CFRelease(sheet);
    EXPECT_EQ(brindlet::SelectedTaskInbox::HeldCount(), 1u);
    EXPECT_EQ(OpenPath(), first);
    brindlet::SelectedTaskInbox::Attach(screen);
    EXPECT_EQ(OpenPath(), first) << "not while the window is still being set up";
    EXPECT_TRUE(RunUntil([] { return brindlet::SelectedTaskInbox::HeldCount() == 0; }, 5));
    EXPECT_EQ(OpenPath(), other);

    // The launch arguments: taken out, the others keep their order.
    struct Case {
        std::vector<std::string> arguments;
        bool found;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {{"brindlet", "--selected-task", "/s.brproj", "T1", "a.brproj"}, true, {"brindlet", "a.brproj"}},
        {{"brindlet", "a.brproj", "--selected-task", "/s.brproj", "T1"}, true, {"brindlet", "a.brproj"}},
        {{"brindlet", "--selected-task", "/s.brproj"}, false, {"brindlet", "--selected-task", "/s.brproj"}},
        {{"brindlet"}, false, {"brindlet"}},
    };
    for (const Case& row : cases) {
        std::vector<std::string> storage = row.arguments;
        std::vector<char*> argv;
        for (std::string& argument : storage)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        int argc = int(storage.size());
        std::string sheetPath, task;
        EXPECT_EQ(brindlet::SelectedTaskInbox::TakeFromArguments(argc, argv.data(), sheetPath, task), row.found);
        std::vector<std::string> left(argv.begin(), argv.begin() + argc);
        EXPECT_EQ(left, row.left);
        EXPECT_EQ(argv[argc], nullptr);
        if (row.found) {
            EXPECT_EQ(sheetPath, "/s.brproj");
            EXPECT_EQ(task, "T1");
        }
    }
}

// A new sheet is a valid empty archive from the start and becomes the open
// sheet; a name that is taken never empties the sheet that has it.
TEST_F(ScreenTest, ANewSheetIsAnEmptyArchiveAndNeverReplacesOne)
{
    AddNote("before");
    auto handleNew = [&](const char* name) {
        TTypeDictionary* details = TTypeDictionary::Create();
        const FSRef folderRef = Ref(folder);
        details->SetDataValue("file", sizeof folderRef, &folderRef);
        details->SetValue("name", CFSTR(name));
        screen->HandleNewSheet(details);
        details->Release();
    };
    handleNew("Work");
    const std::string work = folder + "/Work.brproj";
    EXPECT_EQ(OpenPath(), work);
    EXPECT_EQ(NotesIn(work), std::vector<std::string>{});
    EXPECT_EQ(NotesIn(first), std::vector<std::string>{"before"}) << "the open sheet was saved first";

    AddNote("work");
    screen->SaveSheet();
    for (const char* name : {"Work", "Work.brproj", "../Escape", ""}) {
        SCOPED_TRACE(name);
        CFUserNotificationScript alerts;
        handleNew(name);
        EXPECT_EQ(alerts.Alerts().size(), 1u);
        EXPECT_EQ(OpenPath(), work);
    }
    EXPECT_EQ(NotesIn(work), std::vector<std::string>{"work"});
    EXPECT_FALSE(std::filesystem::exists(scope.Home() / "data/Escape.brproj"));
}

// A hand-written sheet of two task-list cards with nested rows and every
// key a card, its outline and its rows write: read and written again, an
// independent property-list reader finds every key, kind and value kept,
// and at the top only the cards and the thumbnail.
TEST_F(ScreenTest, ASheetReadAndWrittenAgainKeepsEveryKeyKindAndValue)
{
    const std::string fixture = std::string(BRINDLET_FIXTURES_DIR) + "/Sheets/TwoTaskLists.brproj";
    const std::string sheet = folder + "/Two Lists.brproj";
    std::filesystem::copy_file(fixture, sheet);
    ASSERT_TRUE(screen->LoadSheet(Ref(sheet)));
    TObjectArray* sprites = screen->CopySprites();
    int cards = 0;
    for (void* sprite : *sprites)
        cards += MemberOfClass(static_cast<TObject*>(sprite), *FindClass("TBrindlet")) ? 1 : 0;
    sprites->Release();
    EXPECT_EQ(cards, 2);

    TResponder::PostNotification("SyncSheetChanged");
    screen->SaveSheet();
    ASSERT_FALSE(screen->IsModified());
    const auto [status, report] = RunArchiveCheck(fixture, sheet);
    EXPECT_EQ(status, 0) << report;
}

// Ending the program writes the pending save at once.
TEST_F(ScreenTest, APendingSaveIsWrittenWhenTheProgramEnds)
{
    AddNote("typed just now");
    EXPECT_TRUE(screen->IsModified());
    application_.reset();
    EXPECT_EQ(NotesIn(first), std::vector<std::string>{"typed just now"});
}

}  // namespace
