// Buttons in the program's own look: which controls are styled, and what
// they draw with the bundle's real artwork, pixel by pixel.
#include "FrameworkTestSupport.h"

#include <ApplicationFramework/Classes/TControlUnit.h>
#include <Units/HIToolbox/HICustomButtons.h>

#include <CGTestSupport.h>
#include <CoreGraphics/CGImageQt.h>
#include <HIToolbox/ControlKinds.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/Nibs.h>

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

const std::string kBundleResources =
    std::filesystem::weakly_canonical(std::filesystem::path(BRINDLET_FIXTURES_DIR) / ".." / ".." / "Resources")
        .string();

// One piece of the artwork, read straight from its file.
QImage Art(const std::string& folder, const std::string& name)
{
    const QImage image(QString::fromStdString(kBundleResources + "/Images/" + folder + "/" + name));
    EXPECT_FALSE(image.isNull()) << folder << "/" << name;
    return image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
}

QImage ButtonArt(const std::string& classFolder, const std::string& name)
{
    return Art("Custom Buttons/" + classFolder, name);
}

RGBA Texel(const QImage& image, int x, int y)
{
    const uchar* p =
        image.constScanLine(std::clamp(y, 0, image.height() - 1)) + 4 * std::clamp(x, 0, image.width() - 1);
    return RGBA{p[0], p[1], p[2], p[3]};
}

RGBA Scaled(RGBA color, double alpha)
{
    for (int& channel : color)
        channel = int(std::lround(channel * alpha));
    return color;
}

std::string Describe(const RGBA& c)
{
    std::ostringstream text;
    text << "(" << c[0] << ", " << c[1] << ", " << c[2] << ", " << c[3] << ")";
    return text.str();
}

testing::AssertionResult Near(const RGBA& actual, const RGBA& expected, int tolerance = 6)
{
    for (int i = 0; i < 4; ++i)
        if (std::abs(actual[i] - expected[i]) > tolerance)
            return testing::AssertionFailure() << Describe(actual) << " is not " << Describe(expected);
    return testing::AssertionSuccess();
}

// What a piece stretched over `placed` shows at the pixel (x, y), at `alpha`.
RGBA Stretched(const QImage& piece, CGRect placed, int x, int y, double alpha = 1.0)
{
    const int sx = int((x + 0.5 - placed.origin.x) * piece.width() / placed.size.width);
    const int sy = int((y + 0.5 - placed.origin.y) * piece.height() / placed.size.height);
    return Scaled(Texel(piece, sx, sy), alpha);
}

// A bitmap set up as a view's context: origin at the top left, y down.
class ViewBitmap : public TestBitmap {
public:
    ViewBitmap(int width, int height) : TestBitmap(width, height) { Flip(); }
};

// Sends the view its draw event with the bitmap as the context.
void Draw(HIViewRef view, TestBitmap& bitmap, UInt32 options = kEventTargetDontPropagate)
{
    EventRef event = nullptr;
    ASSERT_EQ(CreateEvent(nullptr, kEventClassControl, kEventControlDraw, 0, 0, &event), noErr);
    CGContextRef context = bitmap.context();
    SetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, sizeof context, &context);
    SendEventToEventTargetWithOptions(event, GetControlEventTarget(view), options);
    ReleaseEvent(event);
}

QImage Drawn(HIViewRef view, int width, int height, UInt32 options = kEventTargetDontPropagate)
{
    ViewBitmap bitmap(width, height);
    Draw(view, bitmap, options);
    return bitmap.Image();
}

void SetStyle(HIViewRef view, std::string_view style, OSType creator = kCustomButtonStyleCreator,
              OSType tag = kCustomButtonStyleTag)
{
    const std::string text = std::string(style) + '\0';  // as nibs store strings
    ASSERT_EQ(SetControlProperty(view, creator, tag, text.size(), text.data()), noErr);
}

SInt16 StoredClass(HIViewRef view)
{
    SInt16 value = -1;
    return GetControlProperty(view, kCustomButtonPropertyCreator, kCustomButtonPropertyTagKind, sizeof value, nullptr,
                              &value) == noErr
               ? value
               : -1;
}

// Views in no window, the test's own.
using View = CFRef<HIViewRef>;

View PushButton(int width, int height, CFStringRef title = nullptr)
{
    const Rect bounds = {0, 0, SInt16(height), SInt16(width)};
    HIViewRef view = nullptr;
    EXPECT_EQ(CreatePushButtonControl(nullptr, &bounds, title, &view), noErr);
    return View(view);
}

View PopupButton(int width, int height)
{
    const Rect bounds = {0, 0, SInt16(height), SInt16(width)};
    HIViewRef view = nullptr;
    EXPECT_EQ(CreatePopupButtonControl(nullptr, &bounds, nullptr, 0, false, 0, 0, normal, &view), noErr);
    return View(view);
}

View UserPane(int width, int height)
{
    const Rect bounds = {0, 0, SInt16(height), SInt16(width)};
    HIViewRef view = nullptr;
    EXPECT_EQ(CreateUserPaneControl(nullptr, &bounds, 0, &view), noErr);
    return View(view);
}

View Placard(int width, int height)
{
    const Rect bounds = {0, 0, SInt16(height), SInt16(width)};
    HIViewRef view = nullptr;
    EXPECT_EQ(CreatePlacardControl(nullptr, &bounds, &view), noErr);
    return View(view);
}

// Three radio segments, each `content` points of content.
View Segments(int width, int height, CGFloat content)
{
    const HIRect frame = CGRectMake(0, 0, width, height);
    HIViewRef view = nullptr;
    EXPECT_EQ(HISegmentedViewCreate(&frame, &view), noErr);
    HISegmentedViewSetSegmentCount(view, 3);
    for (UInt32 i = 1; i <= 3; ++i) {
        HISegmentedViewSetSegmentBehavior(view, i, kHISegmentBehaviorRadio);
        HISegmentedViewSetSegmentContentWidth(view, i, false, content);
    }
    return View(view);
}

// The class folders by style name.
struct StyleRow {
    const char* style;
    SInt16 buttonClass;
    const char* folder;  // nullptr: no artwork
};
const StyleRow kStyles[] = {
    {"BevelCorner", 1, "Bevel Corner"}, {"SmoothBlue", 1, "Bevel Corner"}, {"RoundCorner", 2, "Round Corner"},
    {"FlatGrey", 2, "Round Corner"},    {"Silver", 3, "Silver"},           {"DarkGrey", 3, "Silver"},
    {"Toolbar", 4, "Toolbar"},          {"TextOnly", 5, nullptr},          {"WindowHeader", 5, nullptr},
};

// Checks a three-part background of `folder`'s `state` pieces over the
// whole of a `width` × `height` bitmap at `alpha`, at a point of each
// piece (a quarter and three quarters down, where the artwork is smooth).
void ExpectBackground(const QImage& drawn, const std::string& folder, const std::string& state, double alpha)
{
    const QImage left = ButtonArt(folder, state + "_left.png"), content = ButtonArt(folder, state + "_content.png"),
                 right = ButtonArt(folder, state + "_right.png");
    const int width = drawn.width(), height = drawn.height();
    const CGRect leftRect = CGRectMake(0, 0, left.width(), height);
    const CGRect rightRect = CGRectMake(width - right.width(), 0, right.width(), height);
    const CGRect contentRect = CGRectMake(left.width(), 0, width - left.width() - right.width(), height);
    for (int y : {height / 4, 3 * height / 4}) {
        SCOPED_TRACE("row " + std::to_string(y));
        const int leftX = left.width() / 2, middleX = width / 2, rightX = width - right.width() / 2 - 1;
        EXPECT_TRUE(Near(Texel(drawn, leftX, y), Stretched(left, leftRect, leftX, y, alpha))) << "left end";
        EXPECT_TRUE(Near(Texel(drawn, middleX, y), Stretched(content, contentRect, middleX, y, alpha))) << "content";
        EXPECT_TRUE(Near(Texel(drawn, rightX, y), Stretched(right, rightRect, rightX, y, alpha))) << "right end";
    }
}

bool IsClear(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (Texel(image, x, y)[3] != 0)
                return false;
    return true;
}

class HICustomButtonsTest : public testing::Test {
protected:
    void SetUp() override
    {
        HICustomButtonLoadImages();
        ASSERT_NE(ButtonIcons[0][kCustomButtonActiveContent], nullptr) << "artwork not found in " << kBundleResources;
    }

    FrameworkScope scope_{kBundleResources};
};

}  // namespace

TEST_F(HICustomButtonsTest, EveryStyleDrawsItsClassArtworkAt22And30PointsHigh)
{
    for (const StyleRow& row : kStyles)
        for (int height : {22, 30}) {
            SCOPED_TRACE(std::string(row.style) + " at " + std::to_string(height));
            View button = PushButton(80, height);
            SetStyle(button, row.style);
            HICustomButtonApplyStyles(button);
            EXPECT_EQ(StoredClass(button), row.buttonClass);
            const QImage drawn = Drawn(button, 80, height);
            if (row.folder == nullptr) {
                EXPECT_TRUE(IsClear(drawn)) << "a text-only button draws no background";
                continue;
            }
            ExpectBackground(drawn, row.folder, "active", 1.0);
            // The artwork reaches the top and bottom rows.
            EXPECT_GT(Texel(drawn, 40, 0)[3], 0);
            EXPECT_GT(Texel(drawn, 40, height - 1)[3], 0);
        }
}

TEST_F(HICustomButtonsTest, PressedInactiveAndDisabledButtonsPickTheirPiecesAndAlpha)
{
    struct Row {
        const char* what;
        bool pressed, active, enabled;
        const char* pieces;
        double alpha;
    };
    const Row rows[] = {
        {"plain", false, true, true, "active", 1.0},
        {"pressed", true, true, true, "pressed", 1.0},
        {"inactive", false, false, true, "active", 0.4},
        {"disabled", false, true, false, "active", 0.4},
        {"pressed but inactive", true, false, true, "active", 0.4},
    };
    for (const Row& row : rows)
        for (int height : {22, 30}) {
            SCOPED_TRACE(std::string(row.what) + " at " + std::to_string(height));
            View button = PushButton(90, height);
            SetStyle(button, "Silver");
            HICustomButtonApplyStyles(button);
            if (row.pressed)
                HiliteControl(button, kControlButtonPart);
            HIViewSetActivated(button, row.active);
            HIViewSetEnabled(button, row.enabled);
            ExpectBackground(Drawn(button, 90, height), "Silver", row.pieces, row.alpha);
        }
}

TEST_F(HICustomButtonsTest, ANarrowButtonKeepsItsEndsAndDrawsNoMirroredContent)
{
    // Seven points: less than the two four-point ends of "Silver".
    View button = PushButton(7, 22);
    SetStyle(button, "Silver");
    HICustomButtonApplyStyles(button);
    const QImage drawn = Drawn(button, 7, 22);
    const QImage left = ButtonArt("Silver", "active_left.png"), right = ButtonArt("Silver", "active_right.png");
    EXPECT_TRUE(Near(Texel(drawn, 1, 5), Texel(left, 1, 5)));
    for (int x = 3; x < 7; ++x) {
        SCOPED_TRACE(x);
        EXPECT_TRUE(Near(Texel(drawn, x, 5), Texel(right, x - 3, 5)));
    }
}

TEST_F(HICustomButtonsTest, TheSelectedSegmentIsTheActiveArtworkDarkenedAndThePressedOneThePressedArtwork)
{
    // Segments of 40 points of content: 48 (the first is 2 wider), a
    // separator at 48, then 45 from 49, a separator at 94, the last from 95.
    const int width = 200, height = 22;
    View segments = Segments(width, height, 40);
    SetStyle(segments, "Silver");
    HICustomButtonApplyStyles(segments);
    SetControl32BitValue(segments, 2);
    HiliteControl(segments, 3);
    const QImage drawn = Drawn(segments, width, height);

    const QImage active = ButtonArt("Silver", "active_content.png");
    const QImage pressed = ButtonArt("Silver", "pressed_content.png");
    const QImage separator = ButtonArt("Silver", "seperator.png");
    const int y = 16;
    const RGBA plain = Texel(active, 2, y);
    // Multiplied at 0.6 over itself: (1 - 0.6) d + 0.6 d d.
    RGBA darkened = plain;
    for (int i = 0; i < 3; ++i)
        darkened[i] = int(std::lround(0.4 * plain[i] + 0.6 * plain[i] * plain[i] / 255.0));
    ASSERT_LT(darkened[0], plain[0] - 10) << "the artwork is light enough to darken visibly";
    EXPECT_TRUE(Near(Texel(drawn, 24, y), plain)) << "segment 1";
    EXPECT_TRUE(Near(Texel(drawn, 70, y), darkened)) << "segment 2, selected";
    EXPECT_TRUE(Near(Texel(drawn, 150, y), Texel(pressed, 2, y))) << "segment 3, pressed";
    EXPECT_TRUE(Near(Texel(drawn, 48, y), Texel(separator, 0, y))) << "separator after segment 1";
    EXPECT_TRUE(Near(Texel(drawn, 94, y), Texel(separator, 0, y))) << "separator after segment 2";
}

TEST_F(HICustomButtonsTest, ClicksFollowTheDrawnSegments)
{
    const Rect bounds = {100, 100, 200, 500};
    WindowRef window = nullptr;
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute | kWindowCompositingAttribute,
                              &bounds, &window),
              noErr);
    HIViewRef content = nullptr;
    HIViewFindByID(HIViewGetRoot(window), kHIViewWindowContentID, &content);
    View segments = Segments(300, 22, 40);
    HIViewRef view = segments.get();
    HIViewAddSubview(content, view);
    HIViewPlaceInSuperviewAt(view, 10, 10);
    SetStyle(view, "Silver");
    HICustomButtonApplyStyles(content);
    ShowWindow(window);
    TestRunUntilIdle();
    // Drawn: segment 1 to 48, segment 2 from 49 to 94, segment 3 from 95.
    const std::pair<CGFloat, SInt32> clicks[] = {{30, 1}, {52, 2}, {90, 2}, {100, 3}, {280, 3}};
    for (const auto& [x, segment] : clicks) {
        SCOPED_TRACE(x);
        TestClick(window, CGPointMake(10 + x, 20));
        TestRunUntilIdle();
        EXPECT_EQ(GetControl32BitValue(view), segment);
    }
    DisposeWindow(window);
}

TEST_F(HICustomButtonsTest, PopupArrowsSitAtTheRightEnd)
{
    for (const char* style : {"Silver", "Toolbar", "TextOnly"})
        for (int height : {22, 30}) {
            SCOPED_TRACE(std::string(style) + " at " + std::to_string(height));
            const int width = 100;
            View popup = PopupButton(width, height);
            View push = PushButton(width, height);
            for (HIViewRef view : {popup.get(), push.get()}) {
                SetStyle(view, style);
                HICustomButtonApplyStyles(view);
            }
            // The same background; the arrows (7 by 11) 12 points from the
            // right, centred on the height. A text-only pop-up borrows the
            // arrows of "Round Corner".
            const QImage withArrows = Drawn(popup, width, height), without = Drawn(push, width, height);
            const QImage arrows =
                ButtonArt(std::string(style) == "TextOnly" ? "Round Corner" : style, "popup arrows.png");
            const QRect place(width - 12, height / 2 - arrows.height() / 2, arrows.width(), arrows.height());
            int inked = 0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const bool differs = Texel(withArrows, x, y) != Texel(without, x, y);
                    if (!place.contains(x, y)) {
                        EXPECT_FALSE(differs) << "(" << x << ", " << y << ")";
                    }
                    inked += differs;
                }
            EXPECT_GT(inked, 10);
            if (std::string(style) == "TextOnly") {
                // Over nothing, the arrows show as they are.
                for (int y = 0; y < arrows.height(); ++y)
                    for (int x = 0; x < arrows.width(); ++x)
                        ASSERT_TRUE(Near(Texel(withArrows, place.x() + x, place.y() + y), Texel(arrows, x, y), 2));
            }
        }
}

TEST_F(HICustomButtonsTest, PlacardsDrawByClass)
{
    const int width = 50, height = 24;
    struct Row {
        const char* style;
        SInt16 tabStyle;        // 0: none set
        const char* tabFolder;  // the tiles expected; nullptr: none
    };
    const Row rows[] = {
        {"Silver", 1, "standard"}, {"Silver", 2, "glossy metal"}, {"Silver", 3, "metallic"}, {"Silver", 4, "toolbar"},
        {"Silver", 0, nullptr},    {"Silver", 9, nullptr},        {"DarkGrey", -1, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.style) + " tabs " + std::to_string(row.tabStyle));
        View placard = Placard(width, height);
        SetStyle(placard, row.style);
        if (row.tabStyle != 0)
            SetControlProperty(placard, kCustomButtonPropertyCreator, kCustomButtonPropertyTagToolbarKind,
                               sizeof row.tabStyle, &row.tabStyle);
        HICustomButtonApplyStyles(placard);
        const QImage drawn = Drawn(placard, width, height);
        if (row.tabFolder == nullptr) {
            EXPECT_TRUE(IsClear(drawn)) << "no tab style, no tiles";
            continue;
        }
        const QImage tile = Art(std::string("Tab Images/") + row.tabFolder, "background.png");
        for (int x : {0, 7, 8, 20, 49})
            for (int y : {0, 12, 23})
                EXPECT_TRUE(Near(Texel(drawn, x, y), Texel(tile, x % tile.width(), y), 1)) << x << ", " << y;
    }

    // The toolbar class: light grey with a darker bottom line, on a pane too.
    View pane = UserPane(width, height);
    SetStyle(pane, "Toolbar");
    HICustomButtonApplyStyles(pane);
    const QImage drawn = Drawn(pane, width, height);
    EXPECT_TRUE(Near(Texel(drawn, 25, 10), RGBA{230, 230, 230, 255}, 1));
    EXPECT_TRUE(Near(Texel(drawn, 25, height - 1), RGBA{115, 115, 115, 255}, 1));
}

TEST_F(HICustomButtonsTest, ViewsWithoutAKnownStyleKeepTheStandardLook)
{
    struct Row {
        const char* what;
        const char* style;  // nullptr: no style property
        bool checkBox;
        SInt16 storedClass;  // -1: none
        std::vector<std::string> warnings;
    };
    const Row rows[] = {
        {"no style", nullptr, false, -1, {}},
        {"empty style", "", false, -1, {}},
        {"unknown style",
         "Chrome",
         false,
         -1,
         {"Warning: Unknown button style \"Chrome\"; the control keeps the standard look."}},
        {"a style in another case",
         "silver",
         false,
         -1,
         {"Warning: Unknown button style \"silver\"; the control keeps the standard look."}},
        // Marked, but a check box is not a kind the buttons draw.
        {"styled check box", "Silver", true, 3, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Rect bounds = {0, 0, 22, 90};
        HIViewRef made = nullptr;
        if (row.checkBox)
            CreateCheckBoxControl(nullptr, &bounds, CFSTR("Box"), 1, true, &made);
        else
            CreatePushButtonControl(nullptr, &bounds, CFSTR("Push"), &made);
        View view(made);
        if (row.style != nullptr)
            SetStyle(view, row.style);
        const QImage before = Drawn(view, 90, 22);
        Diagnostics::Capture capture;
        HICustomButtonApplyStyles(view);
        HICustomButtonApplyStyles(view);  // one warning for the view, however often it is styled
        EXPECT_EQ(capture.Lines(), row.warnings);
        EXPECT_EQ(StoredClass(view), row.storedClass);
        EXPECT_EQ(Drawn(view, 90, 22), before);
    }
}

TEST_F(HICustomButtonsTest, TheStyleIsReadFromEitherPropertyAsATextEndingAtItsZero)
{
    struct Row {
        const char* what;
        std::string styl;     // the bytes of ('view', 'styl'); empty: not set
        std::string oldStyl;  // the bytes of ('????', 'STYL'); empty: not set
        SInt16 expected;
    };
    using namespace std::string_literals;
    const Row rows[] = {
        {"view styl", "Silver\0"s, "", 3},
        {"only the old property", "", "Toolbar\0"s, 4},
        {"both: the view's wins", "RoundCorner\0"s, "Silver\0"s, 2},
        {"stored without its zero", "FlatGrey", "", 2},
        {"bytes after the zero", "DarkGrey\0junk"s, "", 3},
        {"a name past 255 bytes", std::string(300, 'S'), "", -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        View view = PushButton(60, 22);
        if (!row.styl.empty())
            SetControlProperty(view, kCustomButtonStyleCreator, kCustomButtonStyleTag, row.styl.size(),
                               row.styl.data());
        if (!row.oldStyl.empty())
            SetControlProperty(view, kCustomButtonOldStyleCreator, kCustomButtonOldStyleTag, row.oldStyl.size(),
                               row.oldStyl.data());
        Diagnostics::Capture quiet;
        HICustomButtonApplyStyles(view);
        EXPECT_EQ(StoredClass(view), row.expected);
        EXPECT_LE(GetStyleProperty(view).Length(), 255u);
    }
}

TEST_F(HICustomButtonsTest, StylingAViewAgainInstallsNoSecondHandler)
{
    // A translucent look shows a second handler: drawn twice, it darkens.
    auto styledPane = [](HIViewRef parent) {
        View pane = UserPane(40, 20);
        SetStyle(pane, "BevelCorner");
        HIViewAddSubview(parent, pane);
        return pane;
    };
    View onceRoot = UserPane(40, 20), againRoot = UserPane(40, 20);
    View once = styledPane(onceRoot), again = styledPane(againRoot);
    SetStyle(againRoot, "BevelCorner");  // a styled view with subviews
    HICustomButtonApplyStyles(onceRoot);
    HICustomButtonApplyStyles(againRoot);
    HICustomButtonApplyStyles(againRoot);
    HICustomButtonCreate(kCustomButtonClassBevelCorner, again);

    const QImage single = Drawn(once, 40, 20, kEventTargetDontPropagate | kEventTargetSendToAllHandlers);
    ASSERT_FALSE(IsClear(single));
    EXPECT_EQ(Drawn(again, 40, 20, kEventTargetDontPropagate | kEventTargetSendToAllHandlers), single);
    EXPECT_EQ(Drawn(againRoot, 40, 20, kEventTargetDontPropagate | kEventTargetSendToAllHandlers), single);
}

TEST_F(HICustomButtonsTest, NestedViewsAndTheViewsOfNewControlsAreStyled)
{
    View root = UserPane(200, 100);
    View group = UserPane(200, 60);
    View inner = PushButton(80, 22);
    HIViewAddSubview(root, group);
    HIViewAddSubview(group, inner);
    SetStyle(inner, "Toolbar");
    SetStyle(group, "WindowHeader");
    HICustomButtonApplyStyles(root);
    EXPECT_EQ(StoredClass(root), -1);
    EXPECT_EQ(StoredClass(group), kCustomButtonClassTextOnly);
    EXPECT_EQ(StoredClass(inner), kCustomButtonClassToolbar);

    // A control made for an owner view has its view styled by the owner.
    View button = PushButton(80, 22);
    SetStyle(button, "RoundCorner");
    TView* owner = TView::Create();
    TControl* control = TControl::Create(button, owner);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(StoredClass(button), kCustomButtonClassRoundCorner);
    control->Release();
    owner->Release();
}

TEST_F(HICustomButtonsTest, RefusedCallsLeaveTheViewAsItWas)
{
    View button = PushButton(60, 22);
    const SInt16 marker = 77;
    SetControlProperty(button, kCustomButtonPropertyCreator, kCustomButtonPropertyTagKind, sizeof marker, &marker);
    for (SInt16 refused : {SInt16(0), SInt16(6), SInt16(-1)}) {
        SCOPED_TRACE(refused);
        Err = noErr;
        HICustomButtonCreate(refused, button);
        EXPECT_EQ(Err, paramErr);
        EXPECT_EQ(StoredClass(button), marker);
    }
    // A class out of range reads as none, and gets no custom drawing.
    EXPECT_EQ(HICustomButtonGetClass(button), kCustomButtonClassNone);
    Err = noErr;
    HICustomButtonCreate(kCustomButtonClassSilver, nullptr);
    EXPECT_EQ(Err, paramErr);
    Err = noErr;
    LoadClassFolder(6, "Silver");
    EXPECT_EQ(Err, paramErr);
    EXPECT_EQ(GetStyleProperty(nullptr), ShortString());
}

// A window of every style and kind, as a nib describes it; with
// BRINDLET_SCREENSHOT_DIR set, a picture of it for review.
TEST_F(HICustomButtonsTest, AWindowOfEveryStyleDrawsTheSameEachTime)
{
    auto frame = [](int x, int y, int w, int h) {
        return "<key>Frame</key><array><integer>" + std::to_string(x) + "</integer><integer>" + std::to_string(y) +
               "</integer><integer>" + std::to_string(w) + "</integer><integer>" + std::to_string(h) +
               "</integer></array>";
    };
    auto property = [](const std::string& creator, const std::string& tag, const std::string& value) {
        return "<dict><key>Creator</key><string>" + creator + "</string><key>Tag</key><string>" + tag + "</string>" +
               value + "</dict>";
    };
    auto view = [&](const std::string& kind, int x, int y, int w, int h, const std::string& style,
                    const std::string& extra = "", const std::string& moreProperties = "") {
        return "<dict><key>Kind</key><string>" + kind + "</string>" + frame(x, y, w, h) +
               "<key>Properties</key><array>" +
               property("view", "styl", "<key>String</key><string>" + style + "</string>") + moreProperties +
               "</array>" + extra + "</dict>";
    };
    const std::string menu = "<key>Menu</key><dict><key>Items</key><array><dict><key>Text</key><string>Popup</string>"
                             "</dict><dict><key>Text</key><string>Other</string></dict></array></dict>"
                             "<key>Value</key><integer>1</integer>";
    const std::string segments =
        "<key>Segments</key><array><dict><key>Label</key><string>One</string><key>Behavior</key><string>radio</string>"
        "</dict><dict><key>Label</key><string>Two</string><key>Behavior</key><string>radio</string>"
        "<key>Value</key><integer>1</integer></dict><dict><key>Label</key><string>Three</string>"
        "<key>Behavior</key><string>radio</string></dict></array>";
    const char* const styles[] = {"BevelCorner", "RoundCorner", "Silver", "Toolbar", "TextOnly"};
    std::string views;
    int y = 10;
    for (const char* style : styles) {
        views += view("stxt", 10, y + 4, 90, 16, "", "<key>Title</key><string>" + std::string(style) + "</string>");
        views += view("push", 100, y, 80, 22, style, "<key>Title</key><string>Push</string>");
        views += view("push", 190, y - 4, 80, 30, style, "<key>Title</key><string>Tall</string>");
        views +=
            view("push", 280, y, 80, 22, style, "<key>Title</key><string>Disabled</string><key>Enabled</key><false/>");
        views += view("popb", 370, y, 110, 22, style, menu);
        views += view("sgmt", 490, y, 180, 22, style, segments);
        views += view("bevl", 680, y, 70, 22, style, "<key>Title</key><string>Bevel</string>");
        y += 40;
    }
    const char* const tabStyles[] = {"AQA=", "AgA=", "AwA=", "BAA="};  // 1…4 as 16-bit integers
    for (int i = 0; i < 4; ++i)
        views += view("plac", 10 + 150 * i, y, 140, 24, "Silver", "",
                      property("cstb", "TKND", std::string("<key>Data</key><data>") + tabStyles[i] + "</data>"));
    views += view("plac", 610, y, 140, 24, "Toolbar");
    y += 34;
    const std::string nib =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>Format</key><integer>1</integer>"
        "<key>Objects</key><dict><key>Buttons</key><dict><key>Type</key><string>Window</string>"
        "<key>Bounds</key><array><integer>100</integer><integer>100</integer><integer>760</integer><integer>" +
        std::to_string(y) + "</integer></array><key>Views</key><array>" + views +
        "</array></dict></dict></dict></plist>";

    ScratchFolder bundleFolder;
    bundleFolder.Write("Buttons.nib", nib);
    ASSERT_EQ(IBLintNibFile(bundleFolder / "Buttons.nib"), std::vector<std::string>{});
    CFRef<CFURLRef> url(
        CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(bundleFolder.Path().c_str()),
                                                CFIndex(bundleFolder.Path().size()), true));
    CFRef<CFBundleRef> bundle(CFBundleCreate(nullptr, url));
    IBNibRef nibRef = nullptr;
    ASSERT_EQ(CreateNibReferenceWithCFBundle(bundle, CFSTR("Buttons"), &nibRef), noErr);
    WindowRef window = nullptr;
    ASSERT_EQ(CreateWindowFromNib(nibRef, CFSTR("Buttons"), &window), noErr);
    DisposeNibReference(nibRef);
    HICustomButtonApplyStyles(HIViewGetRoot(window));
    ShowWindow(window);

    auto render = [&] {
        HIWindowInvalidate(window);
        TestRunUntilIdle();
        CFRef<CGImageRef> image(HIWindowCopyContentImage(window));
        return CGImageGetQImage(image).convertToFormat(QImage::Format_RGB32);
    };
    const QImage first = render();
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(render(), first);
    if (const char* folder = std::getenv("BRINDLET_SCREENSHOT_DIR"))
        first.save(QString::fromUtf8(folder) + QStringLiteral("/buttons.png"));

    // Every styled view is marked and left ink in its frame.
    HIViewRef content = nullptr;
    HIViewFindByID(HIViewGetRoot(window), kHIViewWindowContentID, &content);
    const QRgb background = first.pixel(first.width() - 1, first.height() - 1);
    for (HIViewRef at = HIViewGetFirstSubview(content); at != nullptr; at = HIViewGetNextView(at)) {
        if (GetStyleProperty(at).IsEmpty())
            continue;
        EXPECT_NE(HICustomButtonGetClass(at), kCustomButtonClassNone);
        HIRect place = {};
        HIViewGetFrame(at, &place);
        int inked = 0;
        for (int py = int(place.origin.y); py < int(CGRectGetMaxY(place)); ++py)
            for (int px = int(place.origin.x); px < int(CGRectGetMaxX(place)); ++px)
                inked += first.pixel(px, py) != background;
        EXPECT_GT(inked, 20) << GetStyleProperty(at).ToString() << " at " << place.origin.x << ", " << place.origin.y;
    }
    DisposeWindow(window);
}
