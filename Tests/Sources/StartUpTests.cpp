// The start-up hooks and what the application does with documents.
#include "BrindletTestSupport.h"

#include <AppKit/CFUserNotification.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <Units/Utilities/CocoaUtilities.h>
#include <Units/Utilities/FSUtilities.h>

#include <AppKit/NSScreen.h>
#include <CoreGraphics/CGImageQt.h>
#include <SpriteEngine/SCLayer.h>
#include <SpriteEngine/SCSprite.h>

#include <RunUntil.h>

#include <QColor>
#include <QImage>

#include <filesystem>
#include <fstream>

namespace {

const std::string kFontPreferences = "<key>user.preferences.version</key><integer>8</integer>\n";

TEST(ProtectRequiredFonts, AMissingFamilyGivesWayToItsSubstitute)
{
    struct Case {
        const char* familyKey;
        const char* message;
    };
    const Case cases[] = {
        {"title-font-family", "The title font No Such Family was missing. DejaVu Sans Bold is being substituted."},
        {"list-font-family", "The list font No Such Family was missing. DejaVu Sans is being substituted."},
        {"tab-font-family", "The tab font No Such Family was missing. DejaVu Sans Bold is being substituted."},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.familyKey);
        BrindletScope scope;
        std::string entries = kFontPreferences;
        for (const char* key : {"title-font-family", "list-font-family", "tab-font-family"}) {
            // The other two are families that exist, in another letter case.
            const char* family = std::string_view(key) == row.familyKey ? "No Such Family" : "dejavu serif";
            entries += std::string("<key>user.") + key + "</key><string>" + family + "</string>\n";
        }
        scope.WritePreferences(entries);
        Diagnostics::Capture capture;
        StartedBrindlet application;
        const std::vector<std::string> fontLines = [&] {
            std::vector<std::string> lines;
            for (const std::string& line : capture.Lines())
                if (line.find(" font ") != std::string::npos)
                    lines.push_back(line);
            return lines;
        }();
        EXPECT_EQ(fontLines, std::vector<std::string>{row.message});
        TPreferenceHandlerApplication* preferences = TApplication::Prefs();
        for (const char* key : {"title-font-family", "list-font-family", "tab-font-family"}) {
            SCOPED_TRACE(key);
            EXPECT_EQ(std::string(preferences->GetStringValue(key).View()),
                      std::string_view(key) != row.familyKey        ? "dejavu serif"
                      : std::string_view(key) == "list-font-family" ? "DejaVu Sans"
                                                                    : "DejaVu Sans Bold");
        }
    }
}

TEST(CreateDefaultSheets, CopiesTheSheetsOnceAndLeavesWhatIsThere)
{
    BrindletScope scope;
    const std::string folder = Paths::LibraryFolder() + "/Brindlet";
    {
        Diagnostics::Capture capture;
        StartedBrindlet application;
        EXPECT_EQ(application.Status(), 0);
        EXPECT_TRUE(HasLine(capture, "Copied default sheets to " + folder));
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/Demo.brproj"));
    // Nothing but the sheets: no half-made copy lies beside them.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Paths::LibraryFolder()),
                            std::filesystem::directory_iterator()),
              1);

    // The user's own sheets stay as they are, and so does a file in the
    // folder's place.
    std::filesystem::remove(folder + "/Demo.brproj");
    std::ofstream(folder + "/Mine.brproj") << "mine";
    {
        Diagnostics::Capture capture;
        StartedBrindlet application;
        EXPECT_EQ(application.Status(), 0);
        for (const std::string& line : capture.Lines())
            EXPECT_EQ(line.rfind("Copied default sheets", 0), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(folder + "/Demo.brproj"));
    EXPECT_TRUE(std::filesystem::exists(folder + "/Mine.brproj"));
}

TEST(CreateDefaultSheets, AFailedCopyAlertsAndEndsWithAFailureStatus)
{
    BrindletScope scope;
    // The library folder is a file: nothing can be made inside it.
    std::filesystem::create_directories(std::filesystem::path(Paths::LibraryFolder()).parent_path());
    std::ofstream(Paths::LibraryFolder()) << "in the way";
    CFUserNotificationScript alerts;
    alerts.QueueResponse(kCFUserNotificationDefaultResponse);
    Diagnostics::Capture capture;
    StartedBrindlet application;
    EXPECT_NE(application.Status(), 0);
    EXPECT_EQ(application->GetWindow(), nullptr);
    ASSERT_EQ(alerts.Alerts().size(), 1u);
    EXPECT_EQ(alerts.Alerts()[0].header, "Warning");
    EXPECT_NE(alerts.Alerts()[0].message.find("could not be copied"), std::string::npos);
    EXPECT_EQ(alerts.Alerts()[0].message.find("^1"), std::string::npos);
    EXPECT_TRUE(TApplication::Prefs()->GetBooleanValue("defaultSheetError"));
    // The program stops before upgrading anything.
    for (const std::string& line : capture.Lines())
        EXPECT_EQ(line.rfind("Updated preferences", 0), std::string::npos) << line;
}

TEST(OpenDocument, SheetsAndCardsGoToTheScreenByTheirExactExtension)
{
    BrindletScope scope;
    const std::string folder = scope.Home() / "documents";
    std::filesystem::create_directories(folder);
    for (const char* name : {"a.brproj", "b.brcard", "c.BRPROJ", "d.txt"})
        std::ofstream(folder + "/" + name) << "x";

    struct Case {
        const char* name;
        bool handled;
        const char* line;  // empty: nothing written
        size_t alerts;     // the sheet lies outside the sheet folder: the offer to move it
    };
    const Case cases[] = {
        {"a.brproj", true, "", 1},
        {"b.brcard", true, "Notice: Single-card files cannot be opened yet; ^ was not opened.", 0},
        {"c.BRPROJ", false, "", 0},
        {"d.txt", false, "", 0},
    };
    StartedBrindlet application;
    ASSERT_NE(application->GetWindow(), nullptr);
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        const std::string path = folder + "/" + row.name;
        FSRef file{};
        ASSERT_TRUE(FSGetPathRef(ShortString(path), file));
        CFUserNotificationScript alerts;
        alerts.QueueResponse(kCFUserNotificationAlternateResponse);  // "No": not moved
        Diagnostics::Capture capture;
        bool handled = false;
        OSStatus result = eventNotHandledErr;
        application->OpenDocument(file, handled, GetDefaultOpenCommandOptions(), result);
        std::string expected = row.line;
        if (!expected.empty())
            expected.replace(expected.find('^'), 1, path);
        EXPECT_EQ(capture.Lines(), expected.empty() ? std::vector<std::string>{} : std::vector<std::string>{expected});
        EXPECT_EQ(handled, row.handled);
        EXPECT_EQ(result, row.handled ? noErr : eventNotHandledErr);
        EXPECT_EQ(alerts.Alerts().size(), row.alerts);
        EXPECT_TRUE(std::filesystem::exists(path)) << "declining leaves the file where it was";
    }
}

TEST(OpenDocument, ADocumentBeforeTheWindowExistsIsIgnored)
{
    BrindletScope scope;
    const std::string path = scope.Home() / "early.brcard";
    std::ofstream(path) << "x";
    FSRef file{};
    ASSERT_TRUE(FSGetPathRef(ShortString(path), file));
    Diagnostics::Capture capture;
    auto* application =
        TApplication::Create<brindlet::TBrindletApplication>(kBrindletSignature, BrindletBundleIdentifier());
    ASSERT_EQ(application->GetWindow(), nullptr);
    capture.Clear();
    bool handled = false;
    OSStatus result = eventNotHandledErr;
    application->OpenDocument(file, handled, GetDefaultOpenCommandOptions(), result);
    EXPECT_FALSE(handled);
    EXPECT_EQ(result, eventNotHandledErr);
    EXPECT_TRUE(capture.Lines().empty());
    application->Release();
}

TEST(DesktopWindow, CoversTheMainDisplayBelowTheMenuBarAtTheLevelThePreferenceSays)
{
    struct Case {
        const char* name;
        bool placeOverDesktop;
        bool transient;
        bool below;
        HIWindowAvailability availability;
    };
    const Case cases[] = {
        {"over the desktop", true, true, true, kHIWindowExposeHidden | kHIWindowVisibleInAllSpaces},
        {"over the desktop, listed", true, false, true, kHIWindowExposeHidden | kHIWindowVisibleInAllSpaces},
        {"normal, transient", false, true, false, kHIWindowExposeHidden},
        {"normal", false, false, false, 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        BrindletScope scope;
        scope.WritePreferences(kFontPreferences + "<key>user.TPreferences.placeOverDesktop</key>" +
                               (row.placeOverDesktop ? "<true/>" : "<false/>") +
                               "\n<key>user.TPreferences.windowBehaviorTransient</key>" +
                               (row.transient ? "<true/>" : "<false/>") +
                               "\n<key>user.TPreferences.currentDisplayID</key><integer>12345</integer>\n");
        Diagnostics::Capture capture;
        StartedBrindlet application;
        brindlet::TMainWindow* window = application->GetWindow();
        ASSERT_NE(window, nullptr);
        WindowRef windowRef = window->GetWindowRef();
        EXPECT_TRUE(IsWindowVisible(windowRef));
        CGWindowLevel level = 0;
        GetWindowGroupLevel(GetWindowGroup(windowRef), &level);
        EXPECT_EQ(level < CGWindowLevelForKey(kCGNormalWindowLevelKey), row.below);
        HIWindowAvailability availability = 0xFF;
        ASSERT_EQ(HIWindowGetAvailability(windowRef, &availability), noErr);
        EXPECT_EQ(availability, row.availability);
        // A display that is not attached: the main display, below the menu bar.
        const CGRect frame = window->GetFrame();
        const CGRect screen = [] {
            NSScreen* main = NSScreen::mainScreen();
            const NSRect local = NSScreenUtilities::localFrame(main);
            return CGRectMake(local.origin.x, local.origin.y, local.size.width, local.size.height);
        }();
        EXPECT_TRUE(CGRectEqualToRect(frame, screen))
            << frame.origin.x << "," << frame.origin.y << " " << frame.size.width << "x" << frame.size.height;
        // The canvas view takes the whole content.
        HIRect canvas{};
        HIViewGetFrame(window->FindSubview("canvas"), &canvas);
        EXPECT_EQ(canvas.size.width, frame.size.width);
        EXPECT_EQ(canvas.size.height, frame.size.height);

        // Back to the normal level, and down again, as activation does.
        window->RestoreLevel();
        GetWindowGroupLevel(GetWindowGroup(windowRef), &level);
        EXPECT_EQ(level, CGWindowLevelForKey(kCGNormalWindowLevelKey));
        HIWindowGetAvailability(windowRef, &availability);
        EXPECT_EQ(availability, row.transient ? HIWindowAvailability(kHIWindowExposeHidden) : HIWindowAvailability(0));
        window->PlaceOverDesktop(true, false);
        GetWindowGroupLevel(GetWindowGroup(windowRef), &level);
        EXPECT_EQ(level, CGWindowLevelForKey(kCGDesktopWindowLevelKey) - 1);
    }
}

}  // namespace

namespace {

QImage ContentOf(brindlet::TMainWindow* window)
{
    HIWindowFlush(window->GetWindowRef());
    CGImageRef content = HIWindowCopyContentImage(window->GetWindowRef());
    QImage image = CGImageGetQImage(content);
    CGImageRelease(content);
    return image;
}

TEST(DesktopWindow, IsClearUnlessTheDesktopIsToBeCoveredByItsPicture)
{
    for (const bool covered : {false, true}) {
        SCOPED_TRACE(covered ? "covered" : "clear");
        BrindletScope scope;
        scope.WritePreferences(kFontPreferences + "<key>user.TPreferences.hideDesktop</key>" +
                               (covered ? "<true/>" : "<false/>") + "\n<key>user.background-image</key><string>" +
                               BRINDLET_SHARE_DIR + "/Images/Desktop.png</string>\n");
        StartedBrindlet application;
        ASSERT_NE(application->GetWindow(), nullptr);
        const QImage content = ContentOf(application->GetWindow());
        ASSERT_FALSE(content.isNull());
        if (!covered) {
            // Nothing painted: every click goes to what lies beneath.
            for (const QPoint point : {QPoint(0, 0), QPoint(content.width() / 2, content.height() / 2),
                                       QPoint(content.width() - 1, content.height() - 1)})
                EXPECT_EQ(qAlpha(content.pixel(point)), 0);
            continue;
        }
        if (const char* path = std::getenv("BRINDLET_TEST_SNAPSHOTS"))
            content.save(QString::fromLocal8Bit(path) + "/desktop-covered.png");
        // The picture fills the display upright: light sky above, deep blue below.
        const QColor top = content.pixelColor(content.width() / 2, 2);
        const QColor bottom = content.pixelColor(content.width() / 2, content.height() - 3);
        EXPECT_EQ(top.alpha(), 255);
        EXPECT_EQ(bottom.alpha(), 255);
        EXPECT_GT(top.lightness(), bottom.lightness() + 40);
        EXPECT_GT(top.blue(), top.red());
    }
}

// The window's screen canvas covers its content: its sprites are drawn over
// the desktop's background.
TEST(DesktopWindow, ItsScreenCanvasDrawsSpritesOverTheDesktop)
{
    BrindletScope scope;
    scope.WritePreferences(kFontPreferences + "<key>user.TPreferences.hideDesktop</key><true/>\n" +
                           "<key>user.background-image</key><string>" + BRINDLET_SHARE_DIR +
                           "/Images/Desktop.png</string>\n");
    StartedBrindlet application;
    ASSERT_NE(application->GetWindow(), nullptr);
    brindlet::TScreen* screen = application->GetWindow()->GetScreen();
    ASSERT_NE(screen, nullptr);
    ASSERT_EQ(screen->GetLayers()->Count(), 1);
    auto* layer = static_cast<TSpriteLayerProtocol*>(screen->GetLayers()->GetValue(0));

    QImage red(40, 30, QImage::Format_ARGB32_Premultiplied);
    red.fill(Qt::red);
    CGImageRef image = CGImageCreateWithQImage(red);
    TSprite::CreateWithImage(CGPointMake(100, 120), image, layer);  // the layer owns it
    CGImageRelease(image);
    // The screen runs no frame timer: a change asks for its frame.
    screen->SetNeedsProcessLoop();
    EXPECT_TRUE(RunUntil(
        [&] {
            const QImage content = ContentOf(application->GetWindow());
            return content.pixelColor(120, 135) == QColor(Qt::red);
        },
        5));
    const QImage content = ContentOf(application->GetWindow());
    // Beside the sprite, the desktop's picture.
    EXPECT_EQ(content.pixelColor(300, 300).alpha(), 255);
    EXPECT_NE(content.pixelColor(300, 300), QColor(Qt::red));
}

}  // namespace
