
#include <CFTestSupport.h>
#include <CoreServices/CoreServices.h>
#include <FileFixtures.h>
#include <Support/Clock.h>
#include <Support/Paths.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

const UInt8* Bytes(const std::string& path)
{
    return reinterpret_cast<const UInt8*>(path.c_str());
}

const UniChar* Units(const std::u16string& name)
{
    return reinterpret_cast<const UniChar*>(name.data());
}

std::string NameOf(const HFSUniStr255& name)
{
    return UTF8Of(CFRef<CFStringRef>(CFStringCreateWithCharacters(nullptr, name.unicode, name.length)));
}

FileInfo FinderInfoOf(const FSRef& ref)
{
    FSCatalogInfo info{};
    EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), noErr);
    FileInfo finder;
    std::memcpy(&finder, info.finderInfo, sizeof finder);
    return finder;
}

// The names an iterator over the folder gives, asking for `batch` at a time.
std::vector<std::string> ListNames(const FSRef& folder, ItemCount batch, std::vector<OSErr>* statuses = nullptr)
{
    std::vector<std::string> names;
    FSIterator iterator = nullptr;
    EXPECT_EQ(FSOpenIterator(&folder, kFSIterateFlat, &iterator), noErr);
    std::vector<FSRef> refs(batch);
    std::vector<HFSUniStr255> found(batch);
    OSErr status = noErr;
    while (status == noErr) {
        ItemCount count = 0;
        status = FSGetCatalogInfoBulk(iterator, batch, &count, nullptr, kFSCatInfoNone, nullptr, refs.data(), nullptr,
                                      found.data());
        if (statuses)
            statuses->push_back(status);
        for (ItemCount i = 0; i < count; ++i) {
            names.push_back(NameOf(found[i]));
            EXPECT_EQ(std::string(refs[i].path), std::string(folder.path) + "/" + names.back());
        }
    }
    EXPECT_EQ(FSCloseIterator(iterator), noErr);
    return names;
}

}  // namespace

TEST(FSRef, ReferencesToOneFileCompareEqualHoweverReached)
{
    ScratchFolder scratch;
    const std::string file = scratch / "日本語 notes.txt";
    scratch.Write("日本語 notes.txt", "x");
    scratch.MakeLink("link", file);

    FSRef direct{}, viaLink{}, viaDots{}, theFolder{};
    Boolean isDirectory = true;
    ASSERT_EQ(FSPathMakeRef(Bytes(file), &direct, &isDirectory), noErr);
    EXPECT_FALSE(isDirectory);
    ASSERT_EQ(FSPathMakeRef(Bytes(scratch / "link"), &viaLink, nullptr), noErr);
    const std::string folderName = scratch.Path().substr(scratch.Path().rfind('/') + 1);
    const std::string dotted = scratch / ("./../" + folderName + "/日本語 notes.txt");
    ASSERT_EQ(FSPathMakeRef(Bytes(dotted), &viaDots, nullptr), noErr);
    ASSERT_EQ(FSPathMakeRef(Bytes(scratch.Path()), &theFolder, &isDirectory), noErr);
    EXPECT_TRUE(isDirectory);

    EXPECT_EQ(FSCompareFSRefs(&direct, &viaLink), noErr);
    EXPECT_EQ(FSCompareFSRefs(&direct, &viaDots), noErr);
    EXPECT_EQ(FSCompareFSRefs(&direct, &theFolder), errFSRefsDifferent);
    FSRef none{};
    EXPECT_EQ(FSCompareFSRefs(&direct, &none), paramErr);

    UInt8 path[PATH_MAX];
    ASSERT_EQ(FSRefMakePath(&viaDots, path, sizeof path), noErr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(path)), file);
    EXPECT_EQ(FSRefMakePath(&direct, path, 5), bdNamErr);

    CFRef<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &direct));
    FSRef back{};
    ASSERT_TRUE(CFURLGetFSRef(url, &back));
    EXPECT_EQ(FSCompareFSRefs(&direct, &back), noErr);

    FSRef missing{};
    EXPECT_EQ(FSPathMakeRef(Bytes(scratch / "missing"), &missing, nullptr), fnfErr);
    EXPECT_EQ(FSPathMakeRef(nullptr, &missing, nullptr), paramErr);
}

TEST(FSRef, WithoutFollowingALinkNamesTheLinkItself)
{
    ScratchFolder scratch;
    scratch.MakeFolder("Folder");
    scratch.MakeLink("to-folder", scratch / "Folder");
    scratch.MakeLink("dangling", scratch / "nowhere");

    FSRef followed{}, link{};
    Boolean isDirectory = false;
    ASSERT_EQ(FSPathMakeRef(Bytes(scratch / "to-folder"), &followed, &isDirectory), noErr);
    EXPECT_TRUE(isDirectory);
    EXPECT_EQ(std::string(followed.path), scratch / "Folder");
    ASSERT_EQ(FSPathMakeRefWithOptions(Bytes(scratch / "to-folder"), kFSPathMakeRefDoNotFollowLeafSymlink, &link,
                                       &isDirectory),
              noErr);
    EXPECT_FALSE(isDirectory);
    EXPECT_EQ(std::string(link.path), scratch / "to-folder");
    EXPECT_EQ(FSCompareFSRefs(&followed, &link), errFSRefsDifferent);

    Boolean alias = false, folder = true;
    ASSERT_EQ(FSIsAliasFile(&link, &alias, &folder), noErr);
    EXPECT_TRUE(alias);
    EXPECT_FALSE(folder);
    ASSERT_EQ(FSIsAliasFile(&followed, &alias, &folder), noErr);
    EXPECT_FALSE(alias);
    EXPECT_TRUE(folder);

    // A link that leads nowhere is still an item of its folder.
    FSRef dangling{};
    EXPECT_EQ(FSPathMakeRef(Bytes(scratch / "dangling"), &dangling, nullptr), fnfErr);
    EXPECT_EQ(
        FSPathMakeRefWithOptions(Bytes(scratch / "dangling"), kFSPathMakeRefDoNotFollowLeafSymlink, &dangling, nullptr),
        noErr);
}

// A save puts a new file in place of the old one under the same name (the
// atomic write); references taken before it still name the file: they
// compare equal to new ones, find it in its folder's listing, and read its
// catalog information, type and creator included.
TEST(FSRef, AReferenceSurvivesASave)
{
    ScratchFolder scratch;
    scratch.Write("Sheet.brsheet", "old");
    scratch.Write("Other", "");
    const FSRef before = scratch.Ref("Sheet.brsheet");
    FSCatalogInfo info{};
    const FileInfo finder{MakeOSType("BRsh"), MakeOSType("ovbr"), 0, {0, 0}, 0};
    std::memcpy(info.finderInfo, &finder, sizeof finder);
    ASSERT_EQ(FSSetCatalogInfo(&before, kFSCatInfoFinderInfo, &info), noErr);
    struct stat old {};
    ASSERT_EQ(stat(before.path, &old), 0);

    CFRef<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &before));
    ASSERT_TRUE(CFURLWriteDataAndPropertiesToResource(url, MakeData("new"), nullptr, nullptr));
    struct stat saved {};
    ASSERT_EQ(stat(before.path, &saved), 0);
    ASSERT_NE(saved.st_ino, old.st_ino) << "the save is expected to put a new file in place";

    const FSRef after = scratch.Ref("Sheet.brsheet");
    EXPECT_EQ(FSCompareFSRefs(&before, &after), noErr);
    EXPECT_EQ(FSCompareFSRefs(&after, &before), noErr);
    const FSRef other = scratch.Ref("Other");
    EXPECT_EQ(FSCompareFSRefs(&before, &other), errFSRefsDifferent);
    EXPECT_EQ(FSGetCatalogInfo(&before, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), noErr);
    EXPECT_EQ(FinderInfoOf(before).fileType, MakeOSType("BRsh"));
    EXPECT_EQ(FinderInfoOf(before).fileCreator, MakeOSType("ovbr"));

    const FSRef folder = scratch.Ref();
    FSIterator iterator = nullptr;
    ASSERT_EQ(FSOpenIterator(&folder, kFSIterateFlat, &iterator), noErr);
    FSRef listed[8];
    ItemCount count = 0;
    FSGetCatalogInfoBulk(iterator, 8, &count, nullptr, kFSCatInfoNone, nullptr, listed, nullptr, nullptr);
    EXPECT_EQ(FSCloseIterator(iterator), noErr);
    int matches = 0;
    for (ItemCount i = 0; i < count; ++i)
        matches += FSCompareFSRefs(&listed[i], &before) == noErr;
    EXPECT_EQ(count, 2u) << "no temporary is left in the folder";
    EXPECT_EQ(matches, 1);

    // Renamed away, the file is no longer what the old reference names.
    ASSERT_EQ(rename(before.path, (scratch / "Renamed").c_str()), 0);
    const FSRef renamed = scratch.Ref("Renamed");
    EXPECT_EQ(FSCompareFSRefs(&before, &renamed), errFSRefsDifferent);
    EXPECT_EQ(FSGetCatalogInfo(&before, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), fnfErr);
}

TEST(FileManager, CatalogInformation)
{
    ScratchFolder scratch;
    scratch.MakeFolder("Notes/Sub");
    scratch.Write("Notes/a.txt", "twelve bytes");
    const FSRef folder = scratch.Ref("Notes");
    const FSRef file = scratch.Ref("Notes/a.txt");

    FSCatalogInfo info{};
    HFSUniStr255 name;
    FSRef parent{};
    ASSERT_EQ(FSGetCatalogInfo(&file, kFSCatInfoGettableInfo, &info, &name, nullptr, &parent), noErr);
    EXPECT_EQ(NameOf(name), "a.txt");
    EXPECT_EQ(FSCompareFSRefs(&parent, &folder), noErr);
    EXPECT_EQ(info.nodeFlags & kFSNodeIsDirectoryMask, 0);
    EXPECT_EQ(info.dataLogicalSize, 12u);

    ASSERT_EQ(FSGetCatalogInfo(&folder, kFSCatInfoNodeFlags | kFSCatInfoValence, &info, nullptr, nullptr, nullptr),
              noErr);
    EXPECT_NE(info.nodeFlags & kFSNodeIsDirectoryMask, 0);
    EXPECT_EQ(info.valence, 2u);

    // Dates round-trip through the catalog, fractions of a second included.
    CFAbsoluteTime when = 3.0e8 + 0.5;
    ASSERT_EQ(UCConvertCFAbsoluteTimeToUTCDateTime(when, &info.contentModDate), noErr);
    ASSERT_EQ(FSSetCatalogInfo(&file, kFSCatInfoContentMod, &info), noErr);
    ASSERT_EQ(FSGetCatalogInfo(&file, kFSCatInfoContentMod, &info, nullptr, nullptr, nullptr), noErr);
    CFAbsoluteTime back = 0;
    ASSERT_EQ(UCConvertUTCDateTimeToCFAbsoluteTime(&info.contentModDate, &back), noErr);
    EXPECT_NEAR(back, when, 1e-4);
    struct stat status;
    ASSERT_EQ(stat(file.path, &status), 0);
    EXPECT_EQ(status.st_mtim.tv_sec, static_cast<time_t>(when + kCFAbsoluteTimeIntervalSince1970));

    std::filesystem::remove(file.path);
    EXPECT_EQ(FSGetCatalogInfo(&file, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), fnfErr);
    const FSRef none{};
    EXPECT_EQ(FSGetCatalogInfo(&none, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), paramErr);
}

TEST(FileManager, FinderInformationKeepsTypeAndCreator)
{
    ScratchFolder scratch;
    scratch.Write("card.brcard", "");
    const FSRef file = scratch.Ref("card.brcard");
    EXPECT_EQ(FinderInfoOf(file).fileType, 0u);

    FSCatalogInfo info{};
    FileInfo finder{MakeOSType("????"), MakeOSType("ovbr"), 0x4000, {3, -4}, 0};
    std::memcpy(info.finderInfo, &finder, sizeof finder);
    ASSERT_EQ(FSSetCatalogInfo(&file, kFSCatInfoFinderInfo, &info), noErr);
    const FileInfo back = FinderInfoOf(file);
    EXPECT_EQ(back.fileType, MakeOSType("????"));
    EXPECT_EQ(back.fileCreator, MakeOSType("ovbr"));
    EXPECT_EQ(back.finderFlags, 0x4000);
    EXPECT_EQ(back.location.v, 3);
    EXPECT_EQ(back.location.h, -4);

    // What another program left under the attribute's name, of another
    // length, is not read as Finder information.
    ASSERT_EQ(setxattr(file.path, "user.brindlet.finderinfo", "short", 5, 0), 0);
    EXPECT_EQ(FinderInfoOf(file).fileCreator, 0u);
}

TEST(FileManager, IteratorsGiveCatalogOrder)
{
    ScratchFolder scratch;
    for (const char* name : {"b", "A", "a", "C.txt", ".z", "Zeta", "éclair", "_x", "10", "9"})
        scratch.Write(name, "");
    scratch.MakeFolder("B Folder");
    // By UTF-16 code unit once case is folded: "_" lies between the digits
    // and the letters; names equal but for case go by their bytes.
    const std::vector<std::string> expected{".z", "10",       "9",     "_x",   "A",     "a",
                                            "b",  "B Folder", "C.txt", "Zeta", "éclair"};
    EXPECT_EQ(ListNames(scratch.Ref(), 1), expected);

    std::vector<OSErr> statuses;
    EXPECT_EQ(ListNames(scratch.Ref(), 4, &statuses), expected);
    // 4 + 4 + 3: the last call ends the listing and still gives its items.
    EXPECT_EQ(statuses, (std::vector<OSErr>{noErr, noErr, errFSNoMoreItems}));

    FSIterator iterator = nullptr;
    const FSRef file = scratch.Ref("b");
    EXPECT_EQ(FSOpenIterator(&file, kFSIterateFlat, &iterator), errFSNotAFolder);
    const FSRef folder = scratch.Ref();
    EXPECT_EQ(FSOpenIterator(&folder, kFSIterateSubtree, &iterator), errFSBadIteratorFlags);
    ItemCount count = 7;
    EXPECT_EQ(FSGetCatalogInfoBulk(nullptr, 1, &count, nullptr, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr),
              paramErr);
    EXPECT_EQ(count, 0u);
}

TEST(FileManager, CreationNeverTouchesWhatExists)
{
    ScratchFolder scratch;
    scratch.Write("taken.txt", "keep me");
    scratch.MakeFolder("Taken");
    const FSRef folder = scratch.Ref();

    struct Case {
        std::u16string name;
        bool directory;
        OSErr status;
    } cases[] = {
        {u"taken.txt", false, dupFNErr}, {u"Taken", false, dupFNErr}, {u"taken.txt", true, dupFNErr},
        {u"Taken", true, dupFNErr},      {u"", false, bdNamErr},      {u".", true, bdNamErr},
        {u"..", false, bdNamErr},        {u"a/b", false, bdNamErr},   {u"new file.txt", false, noErr},
        {u"New Folder", true, noErr},    {u"日本", false, noErr},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        FSRef made{};
        const OSErr status = c.directory ? FSCreateDirectoryUnicode(&folder, c.name.size(), Units(c.name),
                                                                    kFSCatInfoNone, nullptr, &made, nullptr, nullptr)
                                         : FSCreateFileUnicode(&folder, c.name.size(), Units(c.name), kFSCatInfoNone,
                                                               nullptr, &made, nullptr);
        EXPECT_EQ(status, c.status) << "case " << i;
        if (status == noErr) {
            Boolean alias = true, isFolder = !c.directory;
            ASSERT_EQ(FSIsAliasFile(&made, &alias, &isFolder), noErr);
            EXPECT_EQ(static_cast<bool>(isFolder), c.directory);
        }
    }
    EXPECT_EQ(ReadWhole(scratch / "taken.txt"), "keep me");
    EXPECT_TRUE(std::filesystem::is_directory(scratch / "Taken"));

    // Finder information given at creation is kept.
    FSCatalogInfo info{};
    const FileInfo finder{MakeOSType("TEXT"), MakeOSType("ovbr"), 0, {0, 0}, 0};
    std::memcpy(info.finderInfo, &finder, sizeof finder);
    const std::u16string name = u"typed";
    FSRef typed{};
    ASSERT_EQ(FSCreateFileUnicode(&folder, name.size(), Units(name), kFSCatInfoFinderInfo, &info, &typed, nullptr),
              noErr);
    EXPECT_EQ(FinderInfoOf(typed).fileType, MakeOSType("TEXT"));
}

TEST(FileManager, RenamesAndMovesNeverReplace)
{
    ScratchFolder scratch;
    scratch.Write("a.txt", "A");
    scratch.Write("b.txt", "B");
    scratch.MakeFolder("Empty");
    scratch.MakeFolder("Full");
    scratch.Write("Full/a.txt", "other A");
    scratch.MakeFolder("Elsewhere");

    const FSRef a = scratch.Ref("a.txt");
    const FSRef full = scratch.Ref("Full");
    const std::u16string bName = u"b.txt", emptyName = u"Empty";
    FSRef renamed{};
    EXPECT_EQ(FSRenameUnicode(&a, bName.size(), Units(bName), kTextEncodingUnknown, &renamed), dupFNErr);
    EXPECT_EQ(FSRenameUnicode(&full, emptyName.size(), Units(emptyName), kTextEncodingUnknown, &renamed), dupFNErr);
    EXPECT_EQ(FSMoveObject(&a, &full, &renamed), dupFNErr);
    const CFRef<CFStringRef> takenName = MakeString("b.txt");
    const FSRef root = scratch.Ref();
    EXPECT_EQ(FSMoveObjectSync(&a, &full, takenName, &renamed, 0), noErr);
    EXPECT_EQ(ReadWhole(scratch / "Full/b.txt"), "A");
    const FSRef moved = scratch.Ref("Full/b.txt");
    EXPECT_EQ(FSMoveObjectSync(&moved, &root, takenName, &renamed, 0), dupFNErr);
    EXPECT_EQ(FSMoveObjectSync(&moved, &root, nullptr, &renamed, 1), paramErr);
    EXPECT_EQ(ReadWhole(scratch / "b.txt"), "B");
    EXPECT_EQ(ReadWhole(scratch / "Full/a.txt"), "other A");
    EXPECT_EQ(ReadWhole(scratch / "Full/b.txt"), "A");
    EXPECT_TRUE(std::filesystem::is_empty(scratch / "Empty"));

    const std::u16string free = u"Renamed.txt";
    ASSERT_EQ(FSRenameUnicode(&moved, free.size(), Units(free), kTextEncodingUnknown, &renamed), noErr);
    EXPECT_EQ(std::string(renamed.path), scratch / "Full/Renamed.txt");
    // References are to a place: the old one now names nothing, and is not the new one.
    EXPECT_EQ(FSCompareFSRefs(&moved, &renamed), errFSRefsDifferent);
    EXPECT_EQ(FSGetCatalogInfo(&moved, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), fnfErr);
    const FSRef elsewhere = scratch.Ref("Elsewhere");
    ASSERT_EQ(FSMoveObject(&renamed, &elsewhere, &renamed), noErr);
    EXPECT_EQ(ReadWhole(scratch / "Elsewhere/Renamed.txt"), "A");

    // Another volume is out of reach of a rename.
    ScratchFolder other("/dev/shm");
    struct stat here, there;
    if (!other.Path().empty() && stat(other.Path().c_str(), &there) == 0 && stat(scratch.Path().c_str(), &here) == 0 &&
        here.st_dev != there.st_dev) {
        const FSRef otherFolder = other.Ref();
        EXPECT_EQ(FSMoveObject(&renamed, &otherFolder, nullptr), diffVolErr);
        EXPECT_EQ(ReadWhole(scratch / "Elsewhere/Renamed.txt"), "A");
    }
}

TEST(FileManager, DataForkSizes)
{
    ScratchFolder scratch;
    scratch.Write("five", "12345");
    scratch.MakeFolder("Folder");
    ASSERT_EQ(mkfifo((scratch / "pipe").c_str(), 0600), 0);

    HFSUniStr255 dataFork;
    ASSERT_EQ(FSGetDataForkName(&dataFork), noErr);
    const FSRef five = scratch.Ref("five");
    FSIORefNum fork = 0;
    ASSERT_EQ(FSOpenFork(&five, dataFork.length, dataFork.unicode, fsRdPerm, &fork), noErr);
    SInt64 size = 0;
    EXPECT_EQ(FSGetForkSize(fork, &size), noErr);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(FSCloseFork(fork), noErr);
    EXPECT_EQ(FSCloseFork(fork), rfNumErr);
    EXPECT_EQ(FSGetForkSize(fork, &size), rfNumErr);

    const std::u16string resource = u"RESOURCE_FORK";
    EXPECT_EQ(FSOpenFork(&five, resource.size(), Units(resource), fsRdPerm, &fork), errFSForkNotFound);
    const FSRef folder = scratch.Ref("Folder");
    EXPECT_EQ(FSOpenFork(&folder, 0, nullptr, fsRdPerm, &fork), notAFileErr);
    // A pipe would block an open for reading: it is refused without one.
    const FSRef pipe = scratch.Ref("pipe");
    EXPECT_EQ(FSOpenFork(&pipe, 0, nullptr, fsRdPerm, &fork), notAFileErr);
}

TEST(Trash, ObjectsGoIntoTheHomeTrashWithTheirInformation)
{
    ScopedHome home;
    ScratchFolder scratch;
    scratch.Write("a b%.txt", "first");
    scratch.Write("Sub/a b%.txt", "second");
    Clock::Fake clock(1700000000.0);  // 2023-11-14 22:13:20 UTC

    FSRef trash{};
    ASSERT_EQ(FSFindFolder(kOnSystemDisk, kTrashFolderType, kDontCreateFolder, &trash), noErr);
    EXPECT_EQ(std::string(trash.path), home / "data/Trash/files");
    EXPECT_TRUE(std::filesystem::is_directory(home / "data/Trash/info"));

    FSRef first{}, second{};
    const FSRef firstItem = scratch.Ref("a b%.txt"), secondItem = scratch.Ref("Sub/a b%.txt");
    ASSERT_EQ(FSMoveObject(&firstItem, &trash, &first), noErr);
    ASSERT_EQ(FSMoveObject(&secondItem, &trash, &second), noErr);
    EXPECT_EQ(std::string(first.path), home / "data/Trash/files/a b%.txt");
    EXPECT_EQ(std::string(second.path), home / "data/Trash/files/a b%.2.txt");
    EXPECT_EQ(ReadWhole(second.path), "second");
    EXPECT_FALSE(Exists(scratch / "a b%.txt"));
    EXPECT_EQ(ReadWhole(home / "data/Trash/info/a b%.2.txt.trashinfo"),
              "[Trash Info]\nPath=" + scratch.Path() + "/Sub/a%20b%25.txt\nDeletionDate=2023-11-14T23:13:20\n");

    // The trash, or a folder that holds it, cannot go into it.
    FSRef dataHome{};
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>((home / "data").c_str()), &dataHome, nullptr), noErr);
    EXPECT_EQ(FSMoveObject(&dataHome, &trash, nullptr), paramErr);
    EXPECT_TRUE(std::filesystem::is_directory(home / "data/Trash/files"));
}

TEST(Trash, AnotherVolumeHasATrashAtItsTop)
{
    ScopedHome home;
    ScratchFolder other("/dev/shm");
    struct stat homeInfo, otherInfo;
    ASSERT_EQ(stat((home / "home").c_str(), &homeInfo), 0);
    if (other.Path().empty() || stat(other.Path().c_str(), &otherInfo) != 0 || homeInfo.st_dev == otherInfo.st_dev)
        GTEST_SKIP() << "no second volume to trash from";
    const std::string topTrash = "/dev/shm/.Trash-" + std::to_string(getuid());
    const bool existed = Exists(topTrash);

    other.Write("note.txt", "on tmpfs");
    FSRef trash{}, trashed{};
    ASSERT_EQ(FSFindFolder(kOnSystemDisk, kTrashFolderType, kDontCreateFolder, &trash), noErr);
    const FSRef item = other.Ref("note.txt");
    ASSERT_EQ(FSMoveObject(&item, &trash, &trashed), noErr);
    const std::string name = other.Path().substr(other.Path().rfind('/') + 1);
    EXPECT_EQ(ReadWhole(trashed.path), "on tmpfs");
    EXPECT_EQ(std::string(trashed.path).rfind(topTrash + "/files/", 0), 0u);
    const std::string info = topTrash + "/info/" + std::string(trashed.path).substr(topTrash.size() + 7) + ".trashinfo";
    EXPECT_NE(ReadWhole(info).find("\nPath=" + name + "/note.txt\n"), std::string::npos);

    std::error_code ignored;
    std::filesystem::remove(trashed.path, ignored);
    std::filesystem::remove(info, ignored);
    if (!existed)
        std::filesystem::remove_all(topTrash, ignored);
}

TEST(Folders, SpecialFoldersAreTheXDGPlaces)
{
    ScopedHome home;
    struct Case {
        OSType type;
        std::string path;
    } cases[] = {
        {kPreferencesFolderType, home / "config/brindlet"},
        {kDomainLibraryFolderType, home / "data"},
        {kApplicationSupportFolderType, home / "data"},
        {kCachedDataFolderType, home / "cache/brindlet"},
        {kCurrentUserFolderType, home / "home"},
        {kDocumentsFolderType, home / "home/Documents"},
    };
    for (const Case& c : cases) {
        FSRef folder{};
        EXPECT_EQ(FSFindFolder(kOnSystemDisk, c.type, kDontCreateFolder, &folder), Exists(c.path) ? noErr : fnfErr)
            << c.path;
        ASSERT_EQ(FSFindFolder(kUserDomain, c.type, kCreateFolder, &folder), noErr) << c.path;
        EXPECT_EQ(std::string(folder.path), c.path);
    }
    FSRef folder{};
    EXPECT_EQ(FSFindFolder(kOnSystemDisk, MakeOSType("none"), kCreateFolder, &folder), fnfErr);

    // Values that are empty or not absolute are ignored, as the base
    // directory specification asks.
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(Paths::PreferencesFolder(), home / "home/.config/brindlet");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(Paths::AutostartFolder(), home / "home/.config/autostart");
    setenv("XDG_DATA_HOME", (home / "data/").c_str(), 1);
    EXPECT_EQ(Paths::TrashFolder(), home / "data/Trash");
}
