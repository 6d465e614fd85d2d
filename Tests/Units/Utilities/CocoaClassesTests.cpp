
#include <CoreFoundation/CFRef.h>
#include <CoreGraphics/CGImageQt.h>
#include <FileFixtures.h>
#include <QtTestApplication.h>
#include <Units/Utilities/CocoaUtilities.h>

#include <QColor>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Fonts and images need the GUI application; one serves every test.
testing::Environment* const gGuiApplication = AddQtTestApplication<QGuiApplication>("CocoaClasses");

class CocoaClasses : public testing::Test {
protected:
    void SetUp() override { pool_ = NSAutoreleasePool::newPool(); }
    void TearDown() override
    {
        CFBundleSetMainBundleResourcesPath(nullptr);
        pool_->release();
    }

    NSAutoreleasePool* pool_ = nullptr;
};

NSString* S(std::string_view utf8)
{
    return NSString::stringWithUTF8String(std::string(utf8).c_str());
}

std::vector<std::string> Texts(const std::vector<NSString*>& strings)
{
    std::vector<std::string> out;
    for (NSString* s : strings)
        out.push_back(s->UTF8String());
    return out;
}

}  // namespace

TEST_F(CocoaClasses, Colours)
{
    NSColor* orange = NSColorUtilities::colorWithCGRB(1, 0.5, 0, 0.25);
    CGFloat red, green, blue, alpha;
    orange->getRed(&red, &green, &blue, &alpha);
    EXPECT_EQ(red, 1);
    EXPECT_EQ(green, 0.5);
    EXPECT_EQ(blue, 0);
    EXPECT_EQ(alpha, 0.25);
    EXPECT_EQ(orange->qColor(), QColor::fromRgbF(1, 0.5, 0, 0.25));
    EXPECT_EQ(NSObjectUtilities::pascalDescription(orange), "NSCalibratedRGBColorSpace 1 0.5 0 0.25");

    struct Case {
        NSColor* color;
        bool white;
    } const cases[] = {
        {NSColorUtilities::whiteColorWithAlpha(1), true},         {NSColorUtilities::colorWithCGRB(1, 1, 1, 1), true},
        {NSColorUtilities::whiteColorWithAlpha(0.5), false},      {NSColorUtilities::blackColorWithAlpha(1), false},
        {NSColorUtilities::colorWithCGRB(1, 1, 0.99f, 1), false}, {nullptr, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NSColorUtilities::isWhite(c.color), c.white) << NSObjectUtilities::pascalDescription(c.color).View();
    EXPECT_TRUE(NSColorUtilities::blackColorWithAlpha(1)->isEqual(NSColor::blackColor()));
    EXPECT_EQ(NSColorUtilities::blackColorWithAlpha(0.5)->qColor(), QColor::fromRgbF(0, 0, 0, 0.5));
}

TEST_F(CocoaClasses, ImagesFromTheBundle)
{
    CFBundleSetMainBundleResourcesPath(BRINDLET_FIXTURES_DIR "/Bundles/Sample");
    for (NSImage* dot : {NSImageUtilities::imageWithResource("Images/dot", "png"),
                         NSImageUtilities::imageWithResource("Images/dot.png", ""),
                         NSImageUtilities::imageWithResource("Images/dot.png")}) {
        ASSERT_NE(dot, nullptr);
        EXPECT_EQ(dot->size().width, 1);
        EXPECT_EQ(dot->size().height, 1);
        EXPECT_EQ(dot->qImage().pixelColor(0, 0), QColor(Qt::black));
    }
    EXPECT_EQ(NSImageUtilities::imageWithResource("Images/none", "png"), nullptr);
    EXPECT_EQ(NSImageUtilities::imageWithResource("Readme.txt"), nullptr) << "not an image";
    EXPECT_EQ(NSImageUtilities::imageWithResource("Missing.png"), nullptr);
}

TEST_F(CocoaClasses, ImagesOverQuartzImages)
{
    QImage pixels(3, 2, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::red);
    CFRef<CGImageRef> quartz(CGImageCreateWithQImage(pixels));
    NSImage* image = NSImageUtilities::imageWithCGImage(quartz);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->CGImage(), quartz.get());
    EXPECT_EQ(image->size().width, 3);
    EXPECT_EQ(image->size().height, 2);
    EXPECT_EQ(image->qImage().pixelColor(2, 1), QColor(Qt::red));
    EXPECT_EQ(NSImageUtilities::imageWithCGImage(nullptr), nullptr);
}

TEST_F(CocoaClasses, FolderListings)
{
    ScratchFolder scratch;
    for (const char* name : {"b", "A", "a", "C.txt", ".hidden", "Ü"})
        scratch.Write(std::string("Folder/") + name, "");
    scratch.MakeFolder("Folder/sub.d");
    scratch.Write("Folder/sub.d/deeper", "");

    NSFileManager* manager = NSFileManager::defaultManager();
    const std::vector<std::string> names = {".hidden", "A", "a", "b", "C.txt", "sub.d", "Ü"};
    EXPECT_EQ(Texts(manager->contentsOfDirectoryAtPath(S(scratch / "Folder"))), names);
    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back(scratch / "Folder/" + name);
    EXPECT_EQ(Texts(NSFileManagerUtilities::subpathsOfFolder(manager, scratch.Ref("Folder"))), paths);

    for (const FSRef& unlisted : {scratch.Ref("Folder/b"), FSRef{}})
        EXPECT_TRUE(NSFileManagerUtilities::subpathsOfFolder(manager, unlisted).empty()) << unlisted.path;
    EXPECT_TRUE(manager->contentsOfDirectoryAtPath(S(scratch / "missing")).empty());
    EXPECT_EQ(Texts(NSFileManagerUtilities::subpathsOfFolder(manager, FSGetPathRef(CFSTR("/")))).front().rfind("/", 1),
              0u)
        << "no doubled slash under the root";
}

TEST_F(CocoaClasses, FileExistence)
{
    ScratchFolder scratch;
    scratch.Write("file", "");
    scratch.MakeFolder("folder");
    scratch.MakeLink("to-folder", scratch / "folder");
    scratch.MakeLink("dangling", scratch / "gone");
    struct Case {
        const char* name;
        bool exists;
        bool directory;
    } const cases[] = {
        {"file", true, false},      {"folder", true, true},    {"to-folder", true, true},
        {"dangling", false, false}, {"missing", false, false},
    };
    for (const Case& c : cases) {
        bool directory = !c.directory;
        EXPECT_EQ(NSFileManager::defaultManager()->fileExistsAtPath(S(scratch / c.name), &directory), c.exists)
            << c.name;
        EXPECT_EQ(directory, c.directory) << c.name;
    }
}

TEST_F(CocoaClasses, Fonts)
{
    NSFont* font = NSFont::fontWithName(S("DejaVu Sans"), 12);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->pointSize(), 12);
    EXPECT_EQ(font->familyName()->UTF8String(), "DejaVu Sans");
    EXPECT_TRUE(font->isEqual(NSFont::fontWithName(S("dejavu sans"), 12)));
    EXPECT_FALSE(font->isEqual(NSFont::fontWithName(S("DejaVu Sans"), 24)));
    EXPECT_EQ(NSFont::fontWithName(S("No Such Family Anywhere"), 12), nullptr);
    EXPECT_EQ(NSFont::fontWithName(nullptr, 12), nullptr);

    // A point is a pixel whatever the screen's resolution: twice the size,
    // twice the width.
    NSString* text = S("Sphinx of black quartz");
    const CGFloat width = font->widthOfString(text);
    EXPECT_GT(width, 60);
    EXPECT_LT(width, 12 * 22);
    EXPECT_NEAR(NSFont::fontWithName(S("DejaVu Sans"), 24)->widthOfString(text), 2 * width, width * 0.05);
    EXPECT_EQ(font->widthOfString(S("")), 0);

    NSFont* system = NSFont::systemFontOfSize(0);
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->pointSize(), 13);
    NSFont* bold = NSFont::boldSystemFontOfSize(13);
    EXPECT_FALSE(bold->isEqual(system));
    EXPECT_GT(bold->widthOfString(text), system->widthOfString(text));
}

TEST_F(CocoaClasses, DescriptionsAsShortStrings)
{
    EXPECT_EQ(NSObjectUtilities::pascalDescription(S("plain")), "plain");
    std::string long_;
    for (int i = 0; i < 100; ++i)
        long_ += "日";
    EXPECT_EQ(NSObjectUtilities::pascalDescription(S(long_)), long_.substr(0, 255)) << "85 whole characters";
    EXPECT_EQ(NSObjectUtilities::pascalDescription(nullptr), "");
}

TEST_F(CocoaClasses, Workspace)
{
    EXPECT_EQ(NSWorkspace::sharedWorkspace(), NSWorkspace::sharedWorkspace());
    EXPECT_EQ(NSWorkspace::sharedWorkspace()->notificationCenter(), NSNotificationCenter::workspaceCenter());
}
