
#include <CFTestSupport.h>
#include <FileFixtures.h>
#include <Units/Utilities/FSUtilities.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string PathOf(const FSRef& ref)
{
    return ref.path;
}

bool IsAllZero(const FSRef& ref)
{
    const FSRef zero{};
    return std::memcmp(&ref, &zero, sizeof ref) == 0;
}

std::string Text(CFStringRef s)
{
    CFRef<CFStringRef> owned(s);
    return s ? UTF8Of(s) : "<nil>";
}

void SetModified(const FSRef& ref, double unixSeconds)
{
    const time_t whole = static_cast<time_t>(unixSeconds);
    const timespec times[2] = {{0, UTIME_OMIT}, {whole, static_cast<long>((unixSeconds - whole) * 1e9)}};
    ASSERT_EQ(utimensat(AT_FDCWD, ref.path, times, AT_SYMLINK_NOFOLLOW), 0);
}

class RecordingLauncher {
public:
    RecordingLauncher()
    {
        LSLauncher launcher;
        launcher.openURL = [this](const std::string& url) {
            urls.push_back(url);
            return true;
        };
        launcher.launchProgram = [this](const std::string& program) {
            urls.push_back("program:" + program);
            return true;
        };
        LSSetLauncher(&launcher);
    }
    ~RecordingLauncher() { LSSetLauncher(nullptr); }
    std::vector<std::string> urls;
};

}  // namespace

TEST(FSUtilities, ReferencesFromPathsAndNames)
{
    ScratchFolder scratch;
    scratch.Write("Folder/file name.txt", "x");
    scratch.MakeLink("link", scratch / "Folder");
    const FSRef folder = scratch.Ref("Folder");
    const std::string file = scratch / "Folder/file name.txt";

    FSRef out = scratch.Ref();
    EXPECT_EQ(FSGetPathRef(folder, MakeString("file name.txt"), out), noErr);
    EXPECT_EQ(PathOf(out), file);
    EXPECT_EQ(FSGetPathRef(folder, MakeString("missing"), out), kFSFileNotFound);
    EXPECT_TRUE(IsAllZero(out));
    EXPECT_EQ(FSGetPathRef(FSRef{}, MakeString("file name.txt"), out), kFSFileNotFound);
    EXPECT_EQ(PathOf(FSGetPathRef(scratch.Ref(), ShortString("Folder/file name.txt"))), file);
    EXPECT_EQ(PathOf(FSGetPathRef(scratch.Ref("link"), ShortString("file name.txt"))), file);
    EXPECT_EQ(FSGetSubFolder(scratch.Ref(), "Folder", out), noErr);
    EXPECT_TRUE(FSCompare(out, folder));

    EXPECT_EQ(PathOf(FSGetPathRef(MakeString(file).get())), file);
    EXPECT_EQ(PathOf(FSGetPathRef(ShortString(file))), file);
    EXPECT_TRUE(FSGetPathRef(ShortString(file), out));
    EXPECT_FALSE(FSGetPathRef(ShortString(scratch / "missing"), out));
    EXPECT_TRUE(IsAllZero(out));
    EXPECT_TRUE(IsAllZero(FSGetPathRef(static_cast<CFStringRef>(nullptr))));
    EXPECT_TRUE(FSObjectExistsAtPath(MakeString(file)));
    EXPECT_FALSE(FSObjectExistsAtPath(MakeString(scratch / "missing")));

    EXPECT_TRUE(FSRefExists(folder));
    FSRef gone = scratch.Ref("Folder/file name.txt");
    std::filesystem::remove(gone.path);
    EXPECT_FALSE(FSRefExists(gone));
    EXPECT_EQ(FSUtilities::Err, fnfErr);
    EXPECT_TRUE(FSValidFSRef(gone));
    // The all-zero reference names nothing.
    EXPECT_FALSE(FSValidFSRef(FSRef{}));
    EXPECT_NE(FSUtilities::Err, noErr);
}

// A save puts a new file in place of the old one: a reference taken
// before it still exists and is the file (as loading a sheet checks).
TEST(FSUtilities, AReferenceStillNamesTheFileAfterASave)
{
    ScratchFolder scratch;
    scratch.Write("Sheet", "old");
    const FSRef before = scratch.Ref("Sheet");
    CFRef<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &before));
    ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(url, MakeData("new"), nullptr, nullptr));
    EXPECT_TRUE(FSRefExists(before));
    EXPECT_TRUE(FSCompare(before, FSGetPathRef(ShortString(scratch / "Sheet"))));
    EXPECT_EQ(ReadWhole(before.path), "new");
}

TEST(FSUtilities, SpecialFoldersAndBundleResources)
{
    ScopedHome home;
    home.Folder().Write("data/Sheets/one.brproj", "");
    const FSRef plain = FSGetFileFromFolder("Sheets", MakeOSType("dlib"));
    const FSRef slashed = FSGetFileFromFolder("/Sheets", MakeOSType("dlib"));
    EXPECT_EQ(PathOf(plain), home / "data/Sheets");
    EXPECT_TRUE(FSCompare(plain, slashed));
    EXPECT_TRUE(IsAllZero(FSGetFileFromFolder("Sheets", MakeOSType("pref"))));
    EXPECT_EQ(FSUtilities::Err, fnfErr);

    ScratchFolder bundle;
    bundle.Write("Images/goto.png", "");
    bundle.Write("Readme.txt", "");
    CFBundleSetMainBundleResourcesPath(bundle.Path().c_str());
    EXPECT_EQ(PathOf(FSGetResourcePathRef("Images/goto.png")), bundle / "Images/goto.png");
    EXPECT_EQ(PathOf(FSGetResourceFile("Readme.txt")), bundle / "Readme.txt");
    EXPECT_TRUE(IsAllZero(FSGetResourceFile("Missing.txt")));
    CFBundleSetMainBundleResourcesPath(nullptr);
}

TEST(FSUtilities, PathsNamesAndExtensions)
{
    ScratchFolder scratch;
    for (const char* name : {"report.final.pdf", "README", "archive.tar.gz", ".hidden", "a b.txt"})
        scratch.Write(name, "");
    scratch.MakeFolder("Tool.app");
    scratch.MakeFolder("v1.2");
    scratch.MakeFolder("Plain");
    scratch.MakeLink("FolderLink", scratch / "Plain");

    struct Case {
        const char* name;
        const char* extension;
        const char* withoutExtension;
        bool folder, application, hidden;
    } cases[] = {
        {"report.final.pdf", "pdf", "report.final", false, false, false},
        {"README", "", "README", false, false, false},
        {"archive.tar.gz", "gz", "archive.tar", false, false, false},
        {".hidden", "", ".hidden", false, false, true},
        {"Tool.app", "app", "Tool", false, true, false},
        {"v1.2", "2", "v1", false, false, false},
        {"Plain", "", "Plain", true, false, false},
        {"FolderLink", "", "FolderLink", false, false, false},
    };
    for (const Case& c : cases) {
        const FSRef ref = scratch.Ref(c.name);
        EXPECT_EQ(FSGetExtension(ref), c.extension) << c.name;
        EXPECT_EQ(Text(FSCopyNameWithoutExtension(ref)), c.withoutExtension) << c.name;
        EXPECT_EQ(Text(FSCopyName(ref)), c.name);
        EXPECT_EQ(FSGetActualName(ref), c.name);
        EXPECT_EQ(FSGetDisplayName(ref), c.name);
        EXPECT_EQ(static_cast<bool>(FSIsFolder(ref)), c.folder) << c.name;
        EXPECT_EQ(static_cast<bool>(FSIsApplication(ref)), c.application) << c.name;
        EXPECT_EQ(static_cast<bool>(FSIsHidden(ref)), c.hidden) << c.name;
    }

    const FSRef spaced = scratch.Ref("a b.txt");
    EXPECT_EQ(Text(FSCopyPath(spaced)), scratch / "a b.txt");
    EXPECT_EQ(FSGetPath(spaced), scratch / "a b.txt");
    Ptr url = FSCreateFURL(spaced);
    const std::string expected = "file://" + scratch.Path() + "/a%20b.txt";
    ASSERT_EQ(GetPtrSize(url), static_cast<Size>(expected.size()));
    EXPECT_EQ(std::string(url, expected.size()), expected);
    DisposePtr(url);
    EXPECT_EQ(FSCreateFURL(FSRef{}), nullptr);
    EXPECT_EQ(FSCopyPath(FSRef{}), nullptr);
    EXPECT_EQ(FSGetPath(FSRef{}), "");

    // Names cut at 63 bytes never split a character.
    const std::string longName = std::string(62, 'x') + "é.txt";
    scratch.Write(longName, "");
    EXPECT_EQ(FSGetActualName(scratch.Ref(longName)), std::string(62, 'x'));
}

TEST(FSUtilities, KindsSizesAndDates)
{
    ScratchFolder scratch;
    scratch.Write("dot.png", "12345");
    scratch.Write("same.txt", "");
    scratch.Write("later.txt", "");
    scratch.MakeFolder("Folder");
    EXPECT_TRUE(FSConformsToUTIdentifier(scratch.Ref("dot.png"), kUTTypeImage));
    EXPECT_FALSE(FSConformsToUTIdentifier(scratch.Ref("dot.png"), kUTTypeText));
    EXPECT_FALSE(FSConformsToUTIdentifier(scratch.Ref("Folder"), kUTTypeData));

    EXPECT_EQ(FSGetDataForkSize(scratch.Ref("dot.png")), 5);
    EXPECT_EQ(FSGetDataForkSize(scratch.Ref("Folder")), -1);
    EXPECT_EQ(FSGetDataForkSize(FSRef{}), -1);

    const double when = 1700000000.25;
    SetModified(scratch.Ref("dot.png"), when);
    SetModified(scratch.Ref("same.txt"), when);
    SetModified(scratch.Ref("later.txt"), when + 1);
    const ShortString date = FSGetModifiedDate(scratch.Ref("dot.png"));
    EXPECT_EQ(FSUtilities::Err, noErr);
    EXPECT_FALSE(date.IsEmpty());
    EXPECT_EQ(FSGetModifiedDate(scratch.Ref("same.txt")), date);
    EXPECT_NE(FSGetModifiedDate(scratch.Ref("later.txt")), date);
    EXPECT_NE(FSGetModifiedDate(scratch.Ref("dot.png"), NSDateFormatterShortStyle, NSDateFormatterNoStyle), date);
    EXPECT_EQ(FSGetModifiedDate(FSRef{}), "");
    EXPECT_NE(FSUtilities::Err, noErr);

    CFRef<CFDateRef> modified(FSCopyModifiedDate(scratch.Ref("dot.png")));
    ASSERT_TRUE(modified);
    EXPECT_NEAR(CFDateGetAbsoluteTime(modified), when - kCFAbsoluteTimeIntervalSince1970, 1e-3);
    EXPECT_EQ(FSCopyModifiedDate(FSRef{}), nullptr);

    IconRef icon = FSGetIcon(scratch.Ref("dot.png"));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(Text(IconRefCopyThemeName(icon)), "image-png");
    ReleaseIconRef(icon);
    EXPECT_EQ(FSCopyIcon(FSRef{}), nullptr);
    EXPECT_NE(FSUtilities::Err, noErr);
}

TEST(FSUtilities, CreatingAnExistingObjectLeavesItAsItWas)
{
    ScratchFolder scratch;
    scratch.Write("Existing.plist", "contents");
    scratch.MakeFolder("Existing Folder");
    const FSRef parent = scratch.Ref();

    FSRef out{};
    EXPECT_EQ(FSCreateFile(MakeString("New.plist"), parent, MakeOSType("????"), MakeOSType("ovbr"), out), noErr);
    EXPECT_EQ(PathOf(out), scratch / "New.plist");
    LSItemInfoRecord info;
    ASSERT_EQ(LSCopyItemInfoForRef(&out, kLSRequestTypeCreator, &info), noErr);
    EXPECT_EQ(info.filetype, MakeOSType("????"));
    EXPECT_EQ(info.creator, MakeOSType("ovbr"));

    // An existing file is answered, untouched: its contents, type and creator stay.
    EXPECT_EQ(FSCreateFile(MakeString("New.plist"), parent, MakeOSType("TEXT"), MakeOSType("xxxx"), out), noErr);
    ASSERT_EQ(LSCopyItemInfoForRef(&out, kLSRequestTypeCreator, &info), noErr);
    EXPECT_EQ(info.filetype, MakeOSType("????"));
    EXPECT_EQ(info.creator, MakeOSType("ovbr"));
    EXPECT_EQ(FSCreateFile(MakeString("Existing.plist"), parent, MakeOSType("TEXT"), 0, out), noErr);
    EXPECT_EQ(PathOf(out), scratch / "Existing.plist");
    EXPECT_EQ(ReadWhole(scratch / "Existing.plist"), "contents");

    EXPECT_EQ(FSCreateFolder(MakeString("Existing Folder"), parent, out), noErr);
    EXPECT_EQ(PathOf(out), scratch / "Existing Folder");
    EXPECT_EQ(FSCreateFolder(MakeString("Made"), parent, out), noErr);
    EXPECT_TRUE(FSIsFolder(out));
    // Without a parent the lookup answers -43 and the creation its own status.
    EXPECT_EQ(FSCreateFolder(MakeString("Made"), FSRef{}, out), paramErr);
    EXPECT_TRUE(IsAllZero(out));
    EXPECT_EQ(FSUtilities::Err, paramErr);
}

TEST(FSUtilities, RenamingOntoAnExistingNameFailsAndKeepsBoth)
{
    ScratchFolder scratch;
    scratch.Write("one.txt", "1");
    scratch.Write("two.txt", "2");
    FSRef one = scratch.Ref("one.txt");
    const FSRef before = one;
    EXPECT_EQ(FSRename(one, MakeString("two.txt")), dupFNErr);
    EXPECT_EQ(std::memcmp(&one, &before, sizeof one), 0);
    EXPECT_EQ(ReadWhole(scratch / "one.txt"), "1");
    EXPECT_EQ(ReadWhole(scratch / "two.txt"), "2");

    EXPECT_EQ(FSRename(one, MakeString("three.txt")), noErr);
    EXPECT_EQ(PathOf(one), scratch / "three.txt");
    EXPECT_EQ(ReadWhole(scratch / "three.txt"), "1");
    EXPECT_EQ(FSRename(one, MakeString("a/b")), bdNamErr);

    scratch.Write("Folder/three.txt", "other");
    FSRef moved{};
    EXPECT_EQ(FSMoveObject(one, scratch.Ref("Folder"), &moved), dupFNErr);
    EXPECT_TRUE(IsAllZero(moved));
    EXPECT_EQ(ReadWhole(scratch / "Folder/three.txt"), "other");
    EXPECT_EQ(FSMoveObject(scratch.Ref("two.txt"), scratch.Ref("Folder"), &moved), noErr);
    EXPECT_EQ(PathOf(moved), scratch / "Folder/two.txt");
    EXPECT_EQ(FSMoveObject(FSRef{}, scratch.Ref("Folder"), nullptr), kFSFileNotFound);
}

TEST(FSUtilities, MovingKeepsANameThatIsNotUTF8)
{
    // Names are bytes: one in Latin-1 must arrive under the same bytes, not
    // renamed to what its display text reads back as.
    ScratchFolder scratch;
    const std::string latin1 = "caf\xE9.txt";
    scratch.Write(latin1, "latte");
    scratch.MakeFolder("Folder");
    FSRef moved{};
    ASSERT_EQ(FSMoveObject(scratch.Ref(latin1), scratch.Ref("Folder"), &moved), noErr);
    EXPECT_EQ(PathOf(moved), scratch / "Folder/" + latin1);
    EXPECT_EQ(ReadWhole(scratch / "Folder/" + latin1), "latte");
}

TEST(FSUtilities, TrashingAndRevealing)
{
    ScopedHome home;
    ScratchFolder scratch;
    scratch.Write("Sheet.brproj", "cards");
    EXPECT_EQ(FSTrashObject(scratch.Ref("Sheet.brproj")), noErr);
    EXPECT_EQ(ReadWhole(home / "data/Trash/files/Sheet.brproj"), "cards");
    EXPECT_TRUE(Exists(home / "data/Trash/info/Sheet.brproj.trashinfo"));
    EXPECT_FALSE(Exists(scratch / "Sheet.brproj"));

    // The name is data: it reaches the file manager (or the opener) as a
    // URL and never a shell.
    const std::string name = "x\"$(touch pwned)\".txt";
    scratch.Write(name, "");
    char* previous = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(scratch.Path().c_str()), 0);
    RecordingLauncher launcher;
    EXPECT_EQ(FSReveal(scratch.Ref(name)), noErr);
    ASSERT_EQ(chdir(previous), 0);
    std::free(previous);
    EXPECT_EQ(launcher.urls, std::vector<std::string>{"file://" + scratch.Path()});
    EXPECT_FALSE(Exists(scratch / "pwned"));
    EXPECT_FALSE(Exists(home / "home/pwned"));
    EXPECT_NE(FSReveal(FSRef{}), noErr);
}
