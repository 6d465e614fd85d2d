#include <CGTestSupport.h>
#include <CoreFoundation/CFRef.h>
#include <CoreGraphics/CGImageQt.h>
#include <FileFixtures.h>
#include <QtTestApplication.h>
#include <Units/Utilities/CocoaUtilities.h>

#include <QColor>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <functional>
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
    // Full names: a family and one of its styles.
    NSFont* fullName = NSFont::fontWithName(S("DejaVu Sans Bold"), 12);
    ASSERT_NE(fullName, nullptr);
    EXPECT_EQ(fullName->familyName()->UTF8String(), "DejaVu Sans");
    EXPECT_GT(fullName->widthOfString(S("Sphinx of black quartz")), font->widthOfString(S("Sphinx of black quartz")));
    EXPECT_NE(NSFont::fontWithName(S("dejavu serif bold italic"), 12), nullptr);
    EXPECT_EQ(NSFont::fontWithName(S("DejaVu Sans Heavy Nonsense"), 12), nullptr);
    EXPECT_EQ(NSFont::fontWithName(S("Nowhere Bold"), 12), nullptr);
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

// The families are remembered between lookups, and forgotten when the
// application's fonts change: a family added is found, one removed is not.
TEST_F(CocoaClasses, FontsAddedAndRemovedAreSeenAtOnce)
{
    // DejaVu Sans renamed "Brindlet Tx": its names are in ASCII and UTF-16.
    QFile original(BRINDLET_FIXTURES_DIR "/Fonts/DejaVuSans.ttf");
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    QByteArray bytes = original.readAll();
    bytes.replace(QByteArray("DejaVu Sans"), QByteArray("Brindlet Tx"));
    const QString wide = QStringLiteral("DejaVu Sans"), renamed = QStringLiteral("Brindlet Tx");
    QByteArray wideName, wideRenamed;
    for (int i = 0; i < wide.size(); ++i) {
        wideName.append('\0').append(char(wide[i].unicode()));
        wideRenamed.append('\0').append(char(renamed[i].unicode()));
    }
    bytes.replace(wideName, wideRenamed);

    EXPECT_EQ(NSFont::fontWithName(S("Brindlet Tx"), 12), nullptr);
    const int id = QFontDatabase::addApplicationFontFromData(bytes);
    ASSERT_GE(id, 0);
    NSFont* added = NSFont::fontWithName(S("Brindlet Tx"), 12);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->familyName()->UTF8String(), "Brindlet Tx");
    ASSERT_TRUE(QFontDatabase::removeApplicationFont(id));
    EXPECT_EQ(NSFont::fontWithName(S("Brindlet Tx"), 12), nullptr);
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

namespace {

// The calling thread's current Cocoa context over a bitmap, for one scope.
class CurrentContext {
public:
    explicit CurrentContext(CGContextRef port)
    {
        NSGraphicsContext::saveGraphicsState();
        NSGraphicsContext::setCurrentContext(NSGraphicsContext::graphicsContextWithCGContext(port, false));
    }
    ~CurrentContext() { NSGraphicsContext::restoreGraphicsState(); }
};

// The buffer rows (top first) holding any ink in column `x`.
std::vector<int> InkedRows(const TestBitmap& bitmap, int x)
{
    std::vector<int> rows;
    for (int row = 0; row < bitmap.height(); ++row) {
        if (bitmap.Row(x, row) != kClear)
            rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST_F(CocoaClasses, FlippedContextsTurnYDownWithinTheirRectangle)
{
    EXPECT_EQ(NSGraphicsContextUtilities::flippedContext(NSMakeRect(0, 0, 10, 10)), nullptr) << "no current context";

    NSView* view = NSView::newView(NSMakeRect(5, 5, 10, 10));
    struct Row {
        const char* what;
        std::function<CGContextRef()> flip;
        std::vector<int> rows;
    } const rows[] = {
        // A pixel one below the top of y-down space is the second row.
        {"the view's bounds", [&] { return NSViewUtilities::flippedContext(view); }, {1}},
        // Within (y 2, height 4) the turn is about y = 4: y-down 1 lands at
        // y-up 6, buffer row 3.
        {"a rectangle above the origin",
         [] { return NSGraphicsContextUtilities::flippedContext(NSMakeRect(0, 2, 10, 4)); },
         {3}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestBitmap bitmap(10, 10);
        CurrentContext current(bitmap.context());
        EXPECT_EQ(NSViewUtilities::CGContext(view), bitmap.context());
        CGContextRef flipped = row.flip();
        ASSERT_EQ(flipped, bitmap.context());
        CGContextSetRGBFillColor(flipped, 0, 0, 0, 1);
        CGContextFillRect(flipped, CGRectMake(3, 1, 1, 1));
        EXPECT_EQ(InkedRows(bitmap, 3), row.rows);
    }
    EXPECT_EQ(NSViewUtilities::CGContext(view), nullptr);
    view->release();
}

TEST_F(CocoaClasses, ImagesDrawnReplaceWhatWasThere)
{
    QImage pixels(2, 1, QImage::Format_ARGB32_Premultiplied);
    pixels.setPixel(0, 0, qRgba(255, 0, 0, 255));
    pixels.setPixel(1, 0, qRgba(0, 0, 0, 0));
    CFRef<CGImageRef> quartz(CGImageCreateWithQImage(pixels));
    NSImage* image = NSImageUtilities::imageWithCGImage(quartz);

    TestBitmap bitmap(4, 2);
    bitmap.Fill(0, 1, 0, 1);
    {
        CurrentContext current(bitmap.context());
        CGContextSetAlpha(bitmap.context(), 0.5f);  // the image is drawn whole all the same
        NSImageUtilities::drawInRect(image, NSMakeRect(0, 0, 2, 1));
        NSImageUtilities::drawInRect(nullptr, NSMakeRect(2, 0, 2, 1));
    }
    EXPECT_EQ(bitmap.At(0, 0), (RGBA{255, 0, 0, 255}));
    EXPECT_EQ(bitmap.At(1, 0), kClear) << "copied, not blended";
    EXPECT_EQ(bitmap.At(2, 0), (RGBA{0, 255, 0, 255}));
    EXPECT_EQ(bitmap.At(0, 1), (RGBA{0, 255, 0, 255}));
    NSImageUtilities::drawInRect(image, NSMakeRect(0, 0, 2, 1));  // no context: nothing
}

TEST_F(CocoaClasses, CheckedStates)
{
    NSMenuItem* item = NSMenuItem::newItem(S("Show Done"), "toggleDone:", nullptr);
    NSButton* button = NSButton::newButton(NSMakeRect(0, 0, 20, 20));
    button->setAllowsMixedState(true);

    NSMenuItemUtilities::setChecked(item, true);
    NSButtonUtilities::setChecked(button, true);
    EXPECT_EQ(item->state(), NSOnState);
    EXPECT_EQ(button->state(), NSOnState);
    struct Row {
        NSControlStateValue state;
        bool checked;
    } const rows[] = {{NSOnState, true}, {NSOffState, false}, {NSMixedState, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        item->setState(row.state);
        button->setState(row.state);
        EXPECT_EQ(NSMenuItemUtilities::checkedState(item), row.checked);
        EXPECT_EQ(NSButtonUtilities::checkedState(button), row.checked);
    }
    NSMenuItemUtilities::setChecked(item, false);
    EXPECT_EQ(item->state(), NSOffState);
    EXPECT_FALSE(NSMenuItemUtilities::checkedState(nullptr));
    EXPECT_FALSE(NSButtonUtilities::checkedState(nullptr));
    button->release();
    item->release();
}

TEST_F(CocoaClasses, ParagraphStylesAndAlerts)
{
    NSMutableParagraphStyle* centred = NSParagraphStyleUtilities::paragraphWithAlignment(NSCenterTextAlignment);
    EXPECT_EQ(centred->alignment(), NSCenterTextAlignment);
    EXPECT_NE(centred, NSParagraphStyleUtilities::paragraphWithAlignment(NSCenterTextAlignment)) << "a new one each";

    NSAlertScript script;
    NSAlert* modal = NSAlertUtilities::alertWithMessage(S("The sheet could not be saved."), nullptr);
    NSWindow* window = NSWindow::newWindow(NSMakeRect(0, 0, 200, 100), NSTitledWindowMask);
    NSAlert* sheet = NSAlertUtilities::alertWithMessage(S("Delete the card?"), window);
    ASSERT_EQ(script.Alerts().size(), 2u);
    EXPECT_EQ(script.Alerts()[0].messageText, "The sheet could not be saved.");
    EXPECT_EQ(script.Alerts()[1].messageText, "Delete the card?");
    EXPECT_EQ(modal->messageText()->UTF8String(), "The sheet could not be saved.");
    EXPECT_EQ(sheet->buttonCount(), 0u);
    window->release();
}

TEST_F(CocoaClasses, FullScreenWindows)
{
    NSScreen* main = NSScreen::mainScreen();
    ASSERT_NE(main, nullptr);
    const NSRect full = NSScreenUtilities::frameExcludingMenuBar(main);
    NSWindow* window = NSWindow::newWindow(NSMakeRect(10, 10, 100, 100), NSBorderlessWindowMask);

    NSWindowUtilities::makeFullScreen(window);
    EXPECT_TRUE(CGRectEqualToRect(window->frame(), full));
    EXPECT_TRUE(CGRectEqualToRect(window->contentView()->frame(), NSRect{{0, 0}, full.size}));

    window->setFrame(NSMakeRect(10, 10, 100, 100), false);
    NSWindowUtilities::makeFullScreenInDisplay(window, main->displayID());
    EXPECT_TRUE(CGRectEqualToRect(window->frame(), full));
    window->setFrame(NSMakeRect(10, 10, 100, 100), false);
    NSWindowUtilities::makeFullScreenInDisplay(window, 0xDEAD);
    EXPECT_TRUE(CGRectEqualToRect(window->frame(), full)) << "an unknown display: the main screen";
    NSWindowUtilities::makeFullScreen(nullptr);
    window->release();
}
