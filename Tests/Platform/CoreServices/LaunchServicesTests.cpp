
#include <CFTestSupport.h>
#include <CoreServices/CoreServices.h>
#include <FileFixtures.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Records what would have left the process, and opens nothing.
class RecordingLauncher {
public:
    explicit RecordingLauncher(bool succeed = true)
    {
        LSLauncher launcher;
        launcher.openURL = [this, succeed](const std::string& url) {
            urls.push_back(url);
            return succeed;
        };
        launcher.launchProgram = [this, succeed](const std::string& program) {
            programs.push_back(program);
            return succeed;
        };
        LSSetLauncher(&launcher);
    }
    ~RecordingLauncher() { LSSetLauncher(nullptr); }
    RecordingLauncher(const RecordingLauncher&) = delete;
    RecordingLauncher& operator=(const RecordingLauncher&) = delete;

    std::vector<std::string> urls;
    std::vector<std::string> programs;
};

// A file manager on the session bus that only takes note of what it is
// asked to show.
class FakeFileManager : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QLatin1String("ShowItems"))
            return false;
        shown.push_back(message.arguments().value(0).toStringList());
        connection.send(message.createReply());
        return true;
    }
    std::vector<QStringList> shown;
};

void EnsureCoreApplication()
{
    static int argc = 1;
    static char name[] = "LaunchServicesTests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        new QCoreApplication(argc, argv);
}

std::string ExtensionOf(const FSRef& ref)
{
    LSItemInfoRecord info;
    EXPECT_EQ(LSCopyItemInfoForRef(&ref, kLSRequestExtension, &info), noErr);
    CFRef<CFStringRef> extension(info.extension);
    return extension ? UTF8Of(extension) : "<none>";
}

std::string Identifier(CFStringRef tagClass, const char* tag, CFStringRef conformingTo = nullptr)
{
    CFRef<CFStringRef> identifier(UTTypeCreatePreferredIdentifierForTag(tagClass, MakeString(tag), conformingTo));
    return identifier ? UTF8Of(identifier) : "<nil>";
}

}  // namespace

TEST(TypeIdentifiers, OneTableOfKindsTagsAndConformance)
{
    struct Tag {
        CFStringRef tagClass;
        const char* tag;
        const char* identifier;
    } tags[] = {
        {kUTTagClassFilenameExtension, "png", "public.png"},
        {kUTTagClassFilenameExtension, "PNG", "public.png"},
        {kUTTagClassFilenameExtension, "jpeg", "public.jpeg"},
        {kUTTagClassFilenameExtension, "jpg", "public.jpeg"},
        {kUTTagClassFilenameExtension, "rtf", "public.rtf"},
        {kUTTagClassFilenameExtension, "app", "com.apple.application-bundle"},
        {kUTTagClassFilenameExtension, "brproj", "com.orvandel.brindlet.sheet"},
        {kUTTagClassFilenameExtension, "qqq", "dyn.ext.qqq"},
        {kUTTagClassMIMEType, "image/tiff", "public.tiff"},
        {kUTTagClassMIMEType, "text/plain", "public.plain-text"},
        {kUTTagClassMIMEType, "application/x-unknown", "dyn.mime.application/x-unknown"},
    };
    for (const Tag& t : tags)
        EXPECT_EQ(Identifier(t.tagClass, t.tag), t.identifier) << t.tag;
    EXPECT_EQ(Identifier(kUTTagClassFilenameExtension, ""), "<nil>");
    EXPECT_EQ(Identifier(MakeString("public.unknown-tag-class"), "png"), "<nil>");

    const CFRef<CFStringRef> upperPNG = MakeString("PUBLIC.PNG"), dynamic = MakeString("dyn.ext.qqq");
    struct Conformance {
        CFStringRef identifier;
        CFStringRef general;
        bool conforms;
    } conformances[] = {
        {kUTTypePNG, kUTTypeImage, true},
        {kUTTypePNG, kUTTypeData, true},
        {kUTTypePNG, kUTTypeContent, true},
        {kUTTypePNG, kUTTypeItem, true},
        {kUTTypePNG, kUTTypePNG, true},
        {kUTTypeImage, kUTTypePNG, false},
        {kUTTypePNG, kUTTypeText, false},
        {kUTTypeUTF8PlainText, kUTTypeText, true},
        {kUTTypeRTF, kUTTypeText, true},
        {kUTTypeFileURL, kUTTypeURL, true},
        {kUTTypeApplicationBundle, kUTTypePackage, true},
        {kUTTypeApplicationBundle, kUTTypeDirectory, true},
        {kUTTypeMP3, kUTTypeAudio, true},
        {upperPNG, kUTTypeImage, true},
        {dynamic, kUTTypeData, true},
        {dynamic, kUTTypeImage, false},
    };
    for (const Conformance& c : conformances)
        EXPECT_EQ(static_cast<bool>(UTTypeConformsTo(c.identifier, c.general)), c.conforms)
            << UTF8Of(c.identifier) << " / " << UTF8Of(c.general);

    auto preferred = [](CFStringRef identifier, CFStringRef tagClass) {
        CFRef<CFStringRef> tag(UTTypeCopyPreferredTagWithClass(identifier, tagClass));
        return tag ? UTF8Of(tag) : "<nil>";
    };
    EXPECT_EQ(preferred(kUTTypeJPEG, kUTTagClassFilenameExtension), "jpg");
    EXPECT_EQ(preferred(kUTTypePNG, kUTTagClassMIMEType), "image/png");
    EXPECT_EQ(preferred(kUTTypeImage, kUTTagClassMIMEType), "<nil>");
    EXPECT_EQ(preferred(dynamic, kUTTagClassFilenameExtension), "qqq");
    EXPECT_TRUE(UTTypeEqual(MakeString("Public.PNG"), kUTTypePNG));
    EXPECT_TRUE(UTTypeIsDynamic(MakeString("dyn.ext.qqq")));
}

TEST(LaunchServices, ItemInformationAndNames)
{
    ScratchFolder scratch;
    for (const char* name : {"report.final.pdf", "README", ".hidden", "archive.tar.gz", "name.", "my file.has space"})
        scratch.Write(name, "");
    scratch.MakeFolder("Tool.app");
    scratch.MakeFolder("Notes.rtfd");
    scratch.MakeFolder("v1.2");
    scratch.MakeLink("link.txt", scratch / "README");
    struct Case {
        const char* name;
        const char* extension;
        LSItemInfoFlags set;
        LSItemInfoFlags clear;
    } cases[] = {
        {"report.final.pdf", "pdf", kLSItemInfoIsPlainFile, kLSItemInfoIsContainer | kLSItemInfoIsInvisible},
        {"README", "<none>", kLSItemInfoIsPlainFile, kLSItemInfoIsSymlink},
        {".hidden", "<none>", kLSItemInfoIsInvisible, 0},
        {"archive.tar.gz", "gz", kLSItemInfoIsPlainFile, 0},
        {"name.", "<none>", 0, 0},
        {"my file.has space", "<none>", 0, 0},
        {"Tool.app", "app", kLSItemInfoIsPackage | kLSItemInfoIsApplication, kLSItemInfoIsContainer},
        {"Notes.rtfd", "rtfd", kLSItemInfoIsPackage, kLSItemInfoIsApplication},
        {"v1.2", "2", kLSItemInfoIsContainer, kLSItemInfoIsPackage},
        {"link.txt", "txt", kLSItemInfoIsSymlink | kLSItemInfoIsAliasFile, 0},
    };
    for (const Case& c : cases) {
        const FSRef ref = scratch.Ref(c.name);
        EXPECT_EQ(ExtensionOf(ref), c.extension) << c.name;
        LSItemInfoRecord info;
        ASSERT_EQ(LSCopyItemInfoForRef(&ref, kLSRequestBasicFlagsOnly, &info), noErr);
        EXPECT_EQ(info.flags & c.set, c.set) << c.name;
        EXPECT_EQ(info.flags & c.clear, 0u) << c.name;
        EXPECT_EQ(info.extension, nullptr);

        CFStringRef display = nullptr;
        ASSERT_EQ(LSCopyDisplayNameForRef(&ref, &display), noErr);
        EXPECT_EQ(UTF8Of(display), c.name);
        CFRelease(display);
    }
    FSRef gone = scratch.Ref("README");
    std::filesystem::remove(gone.path);
    CFStringRef display = nullptr;
    EXPECT_EQ(LSCopyDisplayNameForRef(&gone, &display), fnfErr);
    EXPECT_EQ(display, nullptr);
}

TEST(LaunchServices, OpeningHandsOverURLsAndProgramsWhole)
{
    ScratchFolder scratch;
    scratch.Write("tool", "#!/bin/sh\n");
    ASSERT_EQ(chmod((scratch / "tool").c_str(), 0755), 0);
    scratch.Write("a note.txt", "");
    {
        RecordingLauncher launcher;
        const char* urls[] = {"https://example.org/a?b=c&d=$(e)", "mailto:someone@example.org?subject=Hi%20there"};
        for (const char* text : urls) {
            CFRef<CFURLRef> url(CFURLCreateWithString(nullptr, MakeString(text), nullptr));
            EXPECT_EQ(LSOpenCFURLRef(url, nullptr), noErr) << text;
        }
        // Without a scheme the text could pass for an option or a file.
        CFRef<CFURLRef> relative(CFURLCreateWithString(nullptr, MakeString("--help"), nullptr));
        EXPECT_EQ(LSOpenCFURLRef(relative, nullptr), paramErr);
        EXPECT_EQ(LSOpenCFURLRef(nullptr, nullptr), paramErr);

        const FSRef tool = scratch.Ref("tool"), note = scratch.Ref("a note.txt");
        EXPECT_EQ(LSOpenFSRef(&tool, nullptr), noErr);
        EXPECT_EQ(LSOpenFSRef(&note, nullptr), noErr);
        const std::string noteURL = "file://" + scratch.Path() + "/a%20note.txt";
        EXPECT_EQ(launcher.urls, (std::vector<std::string>{urls[0], urls[1], noteURL}));
        EXPECT_EQ(launcher.programs, std::vector<std::string>{scratch / "tool"});
    }
    RecordingLauncher failing(false);
    CFRef<CFURLRef> url(CFURLCreateWithString(nullptr, MakeString("https://example.org/"), nullptr));
    EXPECT_EQ(LSOpenCFURLRef(url, nullptr), kLSApplicationNotFoundErr);
}

TEST(LaunchServices, FileURLsCarryTheNameBytesAsTheyAre)
{
    // A name that is not UTF-8 (Latin-1 here) must reach the opener as its
    // own bytes, escaped, and not as the replacement character.
    ScratchFolder scratch;
    scratch.Write("caf\xE9 au lait.txt", "");
    RecordingLauncher launcher;
    const FSRef note = scratch.Ref("caf\xE9 au lait.txt");
    EXPECT_EQ(LSOpenFSRef(&note, nullptr), noErr);
    EXPECT_EQ(launcher.urls, std::vector<std::string>{"file://" + scratch.Path() + "/caf%E9%20au%20lait.txt"});
}

TEST(LaunchServices, RevealingNeverRunsTheName)
{
    EnsureCoreApplication();
    ScratchFolder scratch;
    const std::string name = "x\"$(touch pwned)\".txt";
    scratch.Write(name, "");
    const FSRef item = scratch.Ref(name);
    char* previous = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(scratch.Path().c_str()), 0);

    {
        // No file manager on the bus: the folder holding the item is opened.
        RecordingLauncher launcher;
        EXPECT_EQ(LSRevealFSRef(&item), noErr);
        EXPECT_EQ(launcher.urls, std::vector<std::string>{"file://" + scratch.Path()});
    }
    {
        // A file manager on the bus is asked to show the item itself.
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-file-manager");
        ASSERT_TRUE(bus.isConnected());
        FakeFileManager manager;
        ASSERT_TRUE(bus.registerVirtualObject("/org/freedesktop/FileManager1", &manager));
        ASSERT_TRUE(bus.registerService("org.freedesktop.FileManager1"));
        RecordingLauncher launcher;
        EXPECT_EQ(LSRevealFSRef(&item), noErr);
        QElapsedTimer waited;
        waited.start();
        while (manager.shown.empty() && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        ASSERT_EQ(manager.shown.size(), 1u);
        EXPECT_EQ(manager.shown[0],
                  QStringList{QString::fromStdString("file://" + scratch.Path() + "/x%22$(touch%20pwned)%22.txt")});
        EXPECT_TRUE(launcher.urls.empty());
        bus.unregisterService("org.freedesktop.FileManager1");
        bus.unregisterObject("/org/freedesktop/FileManager1");
        QDBusConnection::disconnectFromBus("fake-file-manager");
    }
    ASSERT_EQ(chdir(previous), 0);
    std::free(previous);
    EXPECT_FALSE(Exists(scratch / "pwned"));
    EXPECT_FALSE(Exists("pwned"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.Path()), {}), 1);

    const FSRef none{};
    EXPECT_EQ(LSRevealFSRef(&none), paramErr);
}

TEST(LoginItems, AreAutostartEntries)
{
    ScopedHome home;
    ScratchFolder scratch;
    const std::string name = "Brindlet \"Helper\" $HOME 100%.sh";
    scratch.Write(name, "#!/bin/sh\n");
    ASSERT_EQ(chmod((scratch / name).c_str(), 0755), 0);
    scratch.Write("line\nbreak", "");
    const FSRef helper = scratch.Ref(name);

    CFRef<LSSharedFileListRef> list(LSSharedFileListCreate(nullptr, kLSSharedFileListSessionLoginItems, nullptr));
    ASSERT_TRUE(list);
    EXPECT_EQ(LSSharedFileListCreate(nullptr, MakeString("recent documents"), nullptr), nullptr);

    CFRef<LSSharedFileListItemRef> item(LSSharedFileListInsertItemFSRef(
        list, kLSSharedFileListItemLast, MakeString("BrindletHelper"), nullptr, &helper, nullptr, nullptr));
    ASSERT_TRUE(item);
    const std::string entry = home / "config/autostart/BrindletHelper.desktop";
    EXPECT_EQ(ReadWhole(entry), "[Desktop Entry]\nType=Application\nName=BrindletHelper\nExec=\"" + scratch.Path() +
                                    "/Brindlet \\\\\"Helper\\\\\" \\\\$HOME 100%%.sh\"\nX-Brindlet-Path=" +
                                    scratch.Path() + "/" + name + "\nX-GNOME-Autostart-enabled=true\n");

    // Inserting the same item again rewrites its entry.
    CFRef<LSSharedFileListItemRef> again(LSSharedFileListInsertItemFSRef(
        list, kLSSharedFileListItemLast, MakeString("BrindletHelper"), nullptr, &helper, nullptr, nullptr));
    CFRef<CFArrayRef> snapshot(LSSharedFileListCopySnapshot(list, nullptr));
    ASSERT_EQ(CFArrayGetCount(snapshot), 1);
    auto listed = static_cast<LSSharedFileListItemRef>(CFArrayGetValueAtIndex(snapshot, 0));
    EXPECT_EQ(UTF8Of(CFRef<CFStringRef>(LSSharedFileListItemCopyDisplayName(listed))), "BrindletHelper");
    FSRef resolved{};
    ASSERT_EQ(LSSharedFileListItemResolve(listed, 0, nullptr, &resolved), noErr);
    EXPECT_EQ(FSCompareFSRefs(&resolved, &helper), noErr);

    // A path that would break the entry's line is refused.
    const FSRef broken = scratch.Ref("line\nbreak");
    EXPECT_EQ(
        LSSharedFileListInsertItemFSRef(list, kLSSharedFileListItemLast, nullptr, nullptr, &broken, nullptr, nullptr),
        nullptr);

    EXPECT_EQ(LSSharedFileListItemRemove(list, listed), noErr);
    EXPECT_FALSE(Exists(entry));
    EXPECT_EQ(LSSharedFileListItemRemove(list, item), fnfErr);
    CFRef<CFArrayRef> empty(LSSharedFileListCopySnapshot(list, nullptr));
    EXPECT_EQ(CFArrayGetCount(empty), 0);
}

TEST(LaunchServices, ABundleTakesTheItemsItsDocumentTypesListInTheRolesAsked)
{
    ScratchFolder scratch;
    scratch.Write("App.app/Info.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>CFBundleDocumentTypes</key><array>
<dict><key>CFBundleTypeExtensions</key><array><string>sheet</string></array></dict>
<dict><key>CFBundleTypeRole</key><string>Viewer</string>
      <key>CFBundleTypeExtensions</key><array><string>PNG</string></array></dict>
<dict><key>CFBundleTypeOSTypes</key><array><string>fold</string></array></dict>
</array></dict></plist>)");
    scratch.Write("Plain.app/Info.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>CFBundleName</key><string>Plain</string></dict></plist>)");
    scratch.Write("work.sheet", "x");
    scratch.Write("photo.png", "x");
    scratch.Write("notes.txt", "x");
    scratch.MakeFolder("Folder");
    auto ref = [&](const std::string& name) {
        FSRef r{};
        EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>((scratch / name).c_str()), &r, nullptr), noErr);
        return r;
    };
    struct Row {
        const char* item;
        const char* bundle;
        LSRolesMask roles;
        bool accepts;
    };
    const Row rows[] = {
        {"work.sheet", "App.app", kLSRolesAll, true},    {"work.sheet", "App.app", kLSRolesViewer, false},
        {"photo.png", "App.app", kLSRolesViewer, true},  {"photo.png", "App.app", kLSRolesEditor, false},
        {"notes.txt", "App.app", kLSRolesAll, false},    {"Folder", "App.app", kLSRolesAll, true},
        {"work.sheet", "Plain.app", kLSRolesAll, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.item) + " in " + row.bundle);
        const FSRef item = ref(row.item);
        const FSRef bundle = ref(row.bundle);
        Boolean accepts = !row.accepts;
        EXPECT_EQ(LSCanRefAcceptItem(&item, &bundle, row.roles, kLSAcceptDefault, &accepts), noErr);
        EXPECT_EQ(accepts, row.accepts);
    }
    const FSRef item = ref("notes.txt");
    FSRef gone{};
    std::strcpy(gone.path, (scratch / "Gone.app").c_str());
    Boolean untouched = true;
    EXPECT_EQ(LSCanRefAcceptItem(&item, &gone, kLSRolesAll, kLSAcceptDefault, &untouched), fnfErr);
    EXPECT_TRUE(untouched);
}
