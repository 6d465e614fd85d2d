#include <HIToolbox/CGWindow.h>
#include <HIToolbox/ControlKinds.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/Menus.h>

#include <CoreGraphics/CGImageQt.h>

#include <QImage>
#include <QMenu>

#include <gtest/gtest.h>

#include "HIToolboxTestSupport.h"

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A shown window with the standard handler.
struct KindsWindow : TestWindow {
    explicit KindsWindow(Rect bounds = {100, 100, 400, 520})
        : TestWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, bounds)
    {
        ShowWindow(*this);
    }
};

// Writes what a view is told of a click: value changes, hits with their
// part, and the commands that reach the window.
class ClickLog {
public:
    ClickLog(WindowRef window, std::initializer_list<HIViewRef> views)
    {
        for (HIViewRef view : views)
            handlers_.Install(
                GetControlEventTarget(view),
                {{kEventClassControl, kEventControlValueFieldChanged}, {kEventClassControl, kEventControlHit}},
                [this](EventRef event) {
                    ControlPartCode part = 0;
                    GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr,
                                      &part);
                    lines.push_back(GetEventKind(event) == kEventControlHit ? "hit " + std::to_string(part)
                                                                            : "value changed");
                    return eventNotHandledErr;
                });
        handlers_.Install(GetWindowEventTarget(window), {{kEventClassCommand, kEventCommandProcess}},
                          [this](EventRef event) {
                              HICommandExtended command = {};
                              GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command,
                                                nullptr, &command);
                              char code[5] = {char(command.commandID >> 24), char(command.commandID >> 16),
                                              char(command.commandID >> 8), char(command.commandID), 0};
                              lines.push_back(std::string("command ") + (command.commandID ? code : "0"));
                              return noErr;
                          });
    }
    std::vector<std::string> lines;

private:
    Handlers handlers_;
};

using Lines = std::vector<std::string>;

HIViewRef Content(WindowRef window)
{
    HIViewRef content = nullptr;
    HIViewFindByID(HIViewGetRoot(window), kHIViewWindowContentID, &content);
    return content;
}

HIPoint Centre(HIViewRef view)
{
    HIRect frame = {};
    HIViewGetFrame(view, &frame);
    return {CGRectGetMidX(frame), CGRectGetMidY(frame)};
}

// A menu of the test with items "One", "Two", …
class TestMenu {
public:
    explicit TestMenu(int items)
    {
        EXPECT_EQ(CreateNewMenu(300, 0, &menu_), noErr);
        static const char* const names[] = {"One", "Two", "Three", "Four", "Five"};
        for (int i = 0; i < items; ++i) {
            CFStringRef name = CFStringCreateWithCString(nullptr, names[i], kCFStringEncodingUTF8);
            AppendMenuItemTextWithCFString(menu_, name, 0, 0, nullptr);
            CFRelease(name);
        }
    }
    ~TestMenu() { ReleaseMenu(menu_); }
    operator MenuRef() const { return menu_; }

private:
    MenuRef menu_ = nullptr;
};

class ScriptedChoices {
public:
    explicit ScriptedChoices(MenuTestChooser chooser) { MenuTestSetChooser(std::move(chooser)); }
    ~ScriptedChoices() { MenuTestSetChooser(nullptr); }
};

}  // namespace

TEST(ControlKinds, ACheckBoxClickGivesValueChangedHitThenTheCommand)
{
    KindsWindow window;
    const Rect bounds = {10, 10, 30, 150};
    ControlRef box = nullptr;
    ASSERT_EQ(CreateCheckBoxControl(window, &bounds, CFSTR("Remember"), 0, true, &box), noErr);
    SetControlCommandID(box, FourCC("remb"));
    ClickLog log(window, {box});

    TestClick(window, Centre(box));
    EXPECT_EQ(log.lines, (Lines{"value changed", "hit 11", "command remb"}));
    EXPECT_EQ(GetControl32BitValue(box), 1);
    TestClick(window, Centre(box));
    EXPECT_EQ(GetControl32BitValue(box), 0);

    // Mixed becomes on; a release off the box changes nothing.
    SetControl32BitValue(box, kControlCheckBoxMixedValue);
    TestClick(window, Centre(box));
    EXPECT_EQ(GetControl32BitValue(box), 1);
    log.lines.clear();
    TestMousePress(window, Centre(box));
    TestMouseMove(window, {300, 200});
    TestMouseRelease(window, {300, 200});
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ(GetControl32BitValue(box), 1);

    // A box that does not toggle by itself still answers its part.
    const Rect second = {40, 10, 60, 150};
    ControlRef manual = nullptr;
    ASSERT_EQ(CreateCheckBoxControl(window, &second, CFSTR("Manual"), 0, false, &manual), noErr);
    ClickLog manualLog(window, {manual});
    TestClick(window, Centre(manual));
    EXPECT_EQ(manualLog.lines, (Lines{"hit 11"}));
    EXPECT_EQ(GetControl32BitValue(manual), 0);
}

TEST(ControlKinds, APopUpButtonTakesTheItemChosenAsItsValue)
{
    KindsWindow window;
    TestMenu menu(4);
    const Rect bounds = {10, 10, 32, 160};
    ControlRef popup = nullptr;
    ASSERT_EQ(CreatePopupButtonControl(window, &bounds, CFSTR("Show"), -12345, false, 0, 0, 0, &popup), noErr);
    MenuRef ref = menu;
    ASSERT_EQ(SetControlData(popup, 0, kControlPopupButtonMenuRefTag, sizeof ref, &ref), noErr);
    EXPECT_EQ(GetControl32BitMaximum(popup), 4);
    EXPECT_EQ(GetControl32BitValue(popup), 1);
    MenuRef back = nullptr;
    EXPECT_EQ(GetControlData(popup, 0, kControlPopupButtonMenuRefTag, sizeof back, &back, nullptr), noErr);
    EXPECT_EQ(back, ref);

    SetControlCommandID(popup, FourCC("show"));
    ClickLog log(window, {popup});
    std::vector<bool> checked;
    ScriptedChoices choices([&](MenuRef shown, QMenu*) -> MenuItemIndex {
        checked.clear();
        for (MenuItemIndex item = 1; item <= CountMenuItems(shown); ++item) {
            CharParameter mark = 0;
            GetItemMark(shown, item, &mark);
            checked.push_back(mark != 0);
        }
        return 3;
    });
    TestClick(window, Centre(popup));
    EXPECT_EQ(GetControl32BitValue(popup), 3);
    // The item's own command (none) goes first, as for any menu item chosen.
    EXPECT_EQ(log.lines, (Lines{"command 0", "value changed", "hit 2", "command show"}));
    EXPECT_EQ(checked, (std::vector<bool>{true, false, false, false}));  // the value at the time

    // Dismissing the menu counts as no click at all.
    log.lines.clear();
    ScriptedChoices dismiss([](MenuRef, QMenu*) -> MenuItemIndex { return 0; });
    TestClick(window, Centre(popup));
    EXPECT_EQ(GetControl32BitValue(popup), 3);
    EXPECT_TRUE(log.lines.empty());
}

TEST(ControlKinds, RadioButtonsInAGroupFollowTheGroupsValue)
{
    KindsWindow window;
    const Rect groupBounds = {10, 10, 100, 160};
    ControlRef group = nullptr;
    ASSERT_EQ(CreateRadioGroupControl(window, &groupBounds, &group), noErr);
    std::vector<ControlRef> radios;
    for (short i = 0; i < 3; ++i) {
        const Rect bounds = {short(i * 25), 0, short(i * 25 + 20), 140};
        ControlRef radio = nullptr;
        ASSERT_EQ(CreateRadioButtonControl(nullptr, &bounds, CFSTR("Choice"), 0, true, &radio), noErr);
        ASSERT_EQ(HIViewAddSubview(group, radio), noErr);
        CFRelease(radio);
        radios.push_back(radio);
    }
    auto values = [&] {
        std::vector<SInt32> out;
        for (ControlRef radio : radios)
            out.push_back(GetControl32BitValue(radio));
        return out;
    };
    int groupChanges = 0;
    Handlers handlers;
    handlers.Install(GetControlEventTarget(group), {{kEventClassControl, kEventControlValueFieldChanged}},
                     [&](EventRef) { return ++groupChanges, eventNotHandledErr; });
    ClickLog log(window, {radios[1]});
    TestClick(window, {40, 10 + 25 + 10});
    EXPECT_EQ(GetControl32BitValue(group), 2);
    EXPECT_EQ(groupChanges, 1);
    EXPECT_EQ(values(), (std::vector<SInt32>{0, 1, 0}));
    EXPECT_EQ(log.lines, (Lines{"value changed", "hit 12"}));

    // The program sets the group: the buttons follow.
    SetControl32BitValue(group, 3);
    EXPECT_EQ(values(), (std::vector<SInt32>{0, 0, 1}));
    SetControl32BitValue(group, 0);
    EXPECT_EQ(values(), (std::vector<SInt32>{0, 0, 0}));

    // On its own, a radio button turns on and stays on.
    const Rect loneBounds = {120, 10, 140, 150};
    ControlRef lone = nullptr;
    ASSERT_EQ(CreateRadioButtonControl(window, &loneBounds, CFSTR("Alone"), 0, true, &lone), noErr);
    TestClick(window, Centre(lone));
    TestClick(window, Centre(lone));
    EXPECT_EQ(GetControl32BitValue(lone), 1);
}

TEST(ControlKinds, TabsAndSegmentsTakeTheOneClicked)
{
    KindsWindow window;
    const ControlTabEntry entries[] = {
        {nullptr, CFSTR("General"), true}, {nullptr, CFSTR("Sheets"), true}, {nullptr, CFSTR("Off"), false}};
    const Rect tabBounds = {10, 10, 110, 390};
    ControlRef tabs = nullptr;
    ASSERT_EQ(CreateTabsControl(window, &tabBounds, kControlTabSizeLarge, kControlTabDirectionNorth, 3, entries, &tabs),
              noErr);
    EXPECT_EQ(GetControl32BitValue(tabs), 1);
    EXPECT_EQ(GetControl32BitMaximum(tabs), 3);
    // The tabs lie centred along the top: find each by its part.
    std::vector<HIPoint> tabCentres;
    for (CGFloat x = 10; x < 390; x += 2) {
        const HIPoint point = {x - 10, 12};
        const ControlPartCode part = HIViewTestPart(tabs, &point);
        if (part > 0 && size_t(part) > tabCentres.size())
            tabCentres.push_back({x, 22});
    }
    ASSERT_EQ(tabCentres.size(), 2u);  // the disabled tab has no part
    ClickLog log(window, {tabs});
    TestClick(window, {tabCentres[1].x + 8, tabCentres[1].y});
    EXPECT_EQ(GetControl32BitValue(tabs), 2);
    EXPECT_EQ(log.lines, (Lines{"value changed", "hit 2"}));

    ControlTabInfoRecV1 info = {};
    ASSERT_EQ(GetControlData(tabs, 2, kControlTabInfoTag, sizeof info, &info, nullptr), noErr);
    ASSERT_NE(info.name, nullptr);
    EXPECT_EQ(CFStringCompare(info.name, CFSTR("Sheets"), 0), kCFCompareEqualTo);
    CFRelease(info.name);
    ControlTabInfoRecV1 untouched = {7, 7, nullptr};
    EXPECT_EQ(GetControlData(tabs, 4, kControlTabInfoTag, sizeof untouched, &untouched, nullptr), errInvalidPartCode);
    EXPECT_EQ(untouched.version, 7);

    // Segments: radio ones select, a toggling one flips its own value, a
    // momentary one leaves nothing behind.
    HIViewRef segments = nullptr;
    const HIRect frame = {{10, 150}, {300, 24}};
    ASSERT_EQ(HISegmentedViewCreate(&frame, &segments), noErr);
    ASSERT_EQ(HIViewAddSubview(Content(window), segments), noErr);
    CFRelease(segments);
    ASSERT_EQ(HISegmentedViewSetSegmentCount(segments, 4), noErr);
    for (UInt32 i = 1; i <= 4; ++i)
        HISegmentedViewSetSegmentLabel(segments, i, CFSTR("Seg"));
    HISegmentedViewSetSegmentBehavior(segments, 3, kHISegmentBehaviorToggles);
    HISegmentedViewSetSegmentBehavior(segments, 4, kHISegmentBehaviorMomentary);
    auto segmentCentre = [&](ControlPartCode wanted) {
        for (CGFloat x = 0; x < 300; ++x) {
            const HIPoint point = {x, 12};
            if (HIViewTestPart(segments, &point) == wanted)
                return HIPoint{10 + x + 5, 150 + 12};
        }
        return HIPoint{-1, -1};
    };
    ClickLog segmentLog(window, {segments});
    TestClick(window, segmentCentre(2));
    EXPECT_EQ(GetControl32BitValue(segments), 2);
    EXPECT_EQ(HISegmentedViewGetSegmentValue(segments, 2), 1);
    TestClick(window, segmentCentre(1));
    EXPECT_EQ(HISegmentedViewGetSegmentValue(segments, 2), 0);
    TestClick(window, segmentCentre(3));
    EXPECT_EQ(HISegmentedViewGetSegmentValue(segments, 3), 1);
    HISegmentedViewSetSegmentCommand(segments, 4, FourCC("seg4"));
    segmentLog.lines.clear();
    TestClick(window, segmentCentre(4));
    EXPECT_EQ(HISegmentedViewGetSegmentValue(segments, 4), 0);
    EXPECT_EQ(segmentLog.lines, (Lines{"hit 4", "command seg4"}));  // the segment's own command
    HISegmentedViewSetSegmentEnabled(segments, 1, false);
    EXPECT_EQ(segmentCentre(1).x, -1);

    // Indexes out of range leave the outputs alone.
    CFStringRef label = CFSTR("untouched");
    EXPECT_EQ(HISegmentedViewCopySegmentLabel(segments, 5, &label), paramErr);
    EXPECT_EQ(CFStringCompare(label, CFSTR("untouched"), 0), kCFCompareEqualTo);
    EXPECT_EQ(HISegmentedViewSetSegmentCount(tabs, 2), paramErr);
}

TEST(ControlKinds, SlidersAndScrollBarsFollowTheMouse)
{
    KindsWindow window;
    int live = 0;
    static int* liveCount = nullptr;
    liveCount = &live;
    const Rect sliderBounds = {10, 10, 34, 210};
    ControlRef slider = nullptr;
    ASSERT_EQ(CreateSliderControl(
                  window, &sliderBounds, 0, 0, 100, kControlSliderDoesNotPoint, 0, true,
                  [](ControlRef, ControlPartCode part) {
                      EXPECT_EQ(part, kControlIndicatorPart);
                      ++*liveCount;
                  },
                  &slider),
              noErr);
    ClickLog log(window, {slider});
    // From the thumb at the left end to past the right end: the value
    // follows the whole way, and ends at the maximum.
    TestMousePress(window, {14, 22});
    TestMouseMove(window, {60, 22});
    const SInt32 midway = GetControl32BitValue(slider);
    EXPECT_GT(midway, 10);
    EXPECT_LT(midway, 40);
    TestMouseMove(window, {400, 22});
    TestMouseRelease(window, {400, 22});
    EXPECT_EQ(GetControl32BitValue(slider), 100);
    EXPECT_EQ(log.lines.back(), "hit 129");
    EXPECT_GE(live, 2);

    // Not live: one change, at the release.
    bool off = false;
    SetControlData(slider, 0, kControlSliderLiveFeedbackTag, sizeof off, &off);
    log.lines.clear();
    TestMousePress(window, {205, 22});
    TestMouseMove(window, {110, 22});
    EXPECT_EQ(GetControl32BitValue(slider), 100);
    TestMouseRelease(window, {110, 22});
    EXPECT_EQ(log.lines, (Lines{"value changed", "hit 129"}));
    EXPECT_NEAR(GetControl32BitValue(slider), 50, 8);

    // A vertical scroll bar: arrows step by one, the track by a page.
    const Rect barBounds = {50, 300, 250, 315};
    ControlRef bar = nullptr;
    ASSERT_EQ(CreateScrollBarControl(window, &barBounds, 10, 0, 100, 20, true, nullptr, &bar), noErr);
    struct Row {
        const char* what;
        HIPoint local;
        SInt32 expected;
    };
    const HIRect frame = {{300, 50}, {15, 200}};
    for (const Row& row : {Row{"down arrow", {7, 195}, 11}, Row{"up arrow", {7, 4}, 10}, Row{"page down", {7, 170}, 30},
                           Row{"page up", {7, 30}, 10}}) {
        SCOPED_TRACE(row.what);
        TestClick(window, {frame.origin.x + row.local.x, frame.origin.y + row.local.y});
        EXPECT_EQ(GetControl32BitValue(bar), row.expected);
    }
    // The thumb dragged to the bottom.
    SetControl32BitValue(bar, 0);
    TestMousePress(window, {307, 70});
    EXPECT_EQ(GetControlHilite(bar), kControlIndicatorPart);
    TestMouseMove(window, {307, 290});
    TestMouseRelease(window, {307, 290});
    EXPECT_EQ(GetControl32BitValue(bar), 100);
}

// The control data each kind understands, what it refuses, and that a
// refused call leaves the caller's buffer alone.
TEST(ControlKinds, ControlDataByKind)
{
    KindsWindow window;
    const Rect bounds = {10, 10, 40, 120};
    ControlRef push = nullptr, bevel = nullptr, well = nullptr, text = nullptr, popup = nullptr, pane = nullptr;
    ASSERT_EQ(CreatePushButtonControl(window, &bounds, CFSTR("OK"), &push), noErr);
    ControlButtonContentInfo none = {kControlNoContent, {}};
    ASSERT_EQ(CreateBevelButtonControl(window, &bounds, CFSTR("Bevel"), kControlBevelButtonNormalBevel,
                                       kControlBehaviorPushbutton, &none, 0, 0, 0, &bevel),
              noErr);
    ASSERT_EQ(CreateImageWellControl(window, &bounds, nullptr, &well), noErr);
    ASSERT_EQ(CreateStaticTextControl(window, &bounds, CFSTR("Label"), nullptr, &text), noErr);
    ASSERT_EQ(CreatePopupButtonControl(window, &bounds, nullptr, 0, false, 0, 0, 0, &popup), noErr);
    ASSERT_EQ(CreatePlacardControl(window, &bounds, &pane), noErr);

    struct Row {
        const char* what;
        ControlRef view;
        ResType tag;
        Size size;
        OSStatus set;
    };
    const SInt16 small = kControlSizeSmall;
    for (const Row& row : {
             Row{"size of a push button", push, kControlSizeTag, 2, noErr},
             Row{"size of a placard", pane, kControlSizeTag, 2, noErr},
             Row{"size given in 4 bytes", push, kControlSizeTag, 4, errDataSizeMismatch},
             Row{"a pop-up's menu on a push button", push, kControlPopupButtonMenuRefTag, 8, errDataNotSupported},
             Row{"a bevel's menu on a pop-up", popup, kControlBevelButtonMenuRefTag, 8, errDataNotSupported},
             Row{"a tab's info on static text", text, kControlTabInfoTag, sizeof(ControlTabInfoRecV1),
                 errDataNotSupported},
         }) {
        SCOPED_TRACE(row.what);
        SInt32 data = small;
        EXPECT_EQ(SetControlData(row.view, 0, row.tag, row.size, &data), row.set);
        SInt16 out = 99;
        const OSStatus got = GetControlData(row.view, 0, row.tag, sizeof out, &out, nullptr);
        if (row.set == noErr) {
            EXPECT_EQ(got, noErr);
            EXPECT_EQ(out, small);
        } else if (row.set == errDataNotSupported) {
            EXPECT_EQ(got, errDataNotSupported);
            EXPECT_EQ(out, 99);
        }
    }

    // A buffer too small is refused and left alone; the size is told.
    Size size = 0;
    EXPECT_EQ(GetControlDataSize(well, 0, kControlImageWellContentTag, &size), noErr);
    EXPECT_EQ(size, Size(sizeof(ControlButtonContentInfo)));
    UInt8 tiny[2] = {5, 5};
    EXPECT_EQ(GetControlData(well, 0, kControlImageWellContentTag, sizeof tiny, tiny, nullptr), errDataSizeMismatch);
    EXPECT_EQ(tiny[0], 5);

    // Contents are held: an image set on a well outlives the caller's reference.
    QImage pixels(8, 8, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::red);
    CGImageRef image = CGImageCreateWithQImage(pixels);
    ControlButtonContentInfo content = {kControlContentCGImageRef, {}};
    content.u.imageRef = image;
    ASSERT_EQ(SetControlData(well, 0, kControlImageWellContentTag, sizeof content, &content), noErr);
    CGImageRelease(image);
    ControlButtonContentInfo back = {};
    ASSERT_EQ(GetControlData(well, 0, kControlImageWellContentTag, sizeof back, &back, nullptr), noErr);
    EXPECT_EQ(back.contentType, kControlContentCGImageRef);
    EXPECT_EQ(CGImageGetWidth(back.u.imageRef), 8u);
    ASSERT_EQ(SetBevelButtonContentInfo(bevel, &content), noErr);
    ControlButtonContentInfo bevelContent = {};
    ASSERT_EQ(GetBevelButtonContentInfo(bevel, &bevelContent), noErr);
    EXPECT_EQ(bevelContent.u.imageRef, back.u.imageRef);
    EXPECT_EQ(GetBevelButtonContentInfo(push, &bevelContent), paramErr);
    ControlButtonContentInfo bad = {3, {}};
    EXPECT_EQ(SetControlData(well, 0, kControlImageWellContentTag, sizeof bad, &bad), paramErr);

    // Static text: its text by string or bytes, its style.
    EXPECT_EQ(SetControlData(text, 0, kControlStaticTextTextTag, 5, "Hello"), noErr);
    CFStringRef string = nullptr;
    ASSERT_EQ(GetControlData(text, 0, kControlStaticTextCFStringTag, sizeof string, &string, nullptr), noErr);
    EXPECT_EQ(CFStringCompare(string, CFSTR("Hello"), 0), kCFCompareEqualTo);
    CFRelease(string);
    CFStringRef other = CFSTR("Grüße");
    EXPECT_EQ(SetControlData(text, 0, kControlStaticTextCFStringTag, sizeof other, &other), noErr);
    char bytes[16] = {};
    Size length = 0;
    ASSERT_EQ(GetControlData(text, 0, kControlStaticTextTextTag, sizeof bytes, bytes, &length), noErr);
    EXPECT_EQ(std::string(bytes, size_t(length)), "Grüße");
    CFNumberRef notText = nullptr;
    {
        int one = 1;
        notText = CFNumberCreate(nullptr, kCFNumberIntType, &one);
    }
    EXPECT_EQ(SetControlData(text, 0, kControlStaticTextCFStringTag, sizeof notText, &notText), paramErr);
    CFRelease(notText);
}

TEST(ControlKinds, CreatorsCheckTheirArguments)
{
    const Rect bounds = {0, 0, 20, 20};
    ControlRef untouched = reinterpret_cast<ControlRef>(0x1);
    struct Row {
        const char* what;
        std::function<OSStatus(ControlRef*)> create;
    };
    WindowRef bogus = reinterpret_cast<WindowRef>(0x10);
    for (const Row& row : {
             Row{"push, no bounds",
                 [](ControlRef* out) { return CreatePushButtonControl(nullptr, nullptr, nullptr, out); }},
             Row{"check box, not a window",
                 [&](ControlRef* out) { return CreateCheckBoxControl(bogus, &bounds, nullptr, 0, true, out); }},
             Row{"tabs without their entries",
                 [&](ControlRef* out) { return CreateTabsControl(nullptr, &bounds, 0, 0, 2, nullptr, out); }},
             Row{"slider, not a window",
                 [&](ControlRef* out) {
                     return CreateSliderControl(bogus, &bounds, 0, 0, 1, 0, 0, false, nullptr, out);
                 }},
         }) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.create(&untouched), paramErr);
        EXPECT_EQ(untouched, reinterpret_cast<ControlRef>(0x1));
    }
    EXPECT_EQ(CreatePlacardControl(nullptr, &bounds, nullptr), paramErr);
    EXPECT_EQ(HIImageViewCreate(nullptr, nullptr), paramErr);

    // Made in no window, the caller owns the view.
    ControlRef loose = nullptr;
    ASSERT_EQ(CreatePushButtonControl(nullptr, &bounds, CFSTR("Loose"), &loose), noErr);
    ControlKind kind = {};
    EXPECT_EQ(GetControlKind(loose, &kind), noErr);
    EXPECT_EQ(kind.kind, kControlKindPushButton);
    // An image view holds its image.
    QImage pixels(4, 4, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::blue);
    CGImageRef image = CGImageCreateWithQImage(pixels);
    HIViewRef view = nullptr;
    ASSERT_EQ(HIImageViewCreate(image, &view), noErr);
    CGImageRelease(image);
    CGImageRef copy = HIImageViewCopyImage(view);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(CGImageGetWidth(copy), 4u);
    CGImageRelease(copy);
    EXPECT_EQ(HIImageViewSetImage(loose, nullptr), paramErr);  // not an image view
    EXPECT_EQ(HIImageViewSetScaleToFit(nullptr, false), paramErr);
    // Views of no window are the caller's to dispose of.
    DisposeControl(view);
    CFRelease(view);
    DisposeControl(loose);
    EXPECT_FALSE(IsValidControlHandle(loose));
    CFRelease(loose);
}

namespace {

// A window with every kind, as the screenshots show them.
class EveryKind {
public:
    EveryKind() : window_(Rect{100, 100, 480, 660}), menu_(3)
    {
        auto rect = [](short top, short left, short bottom, short right) { return Rect{top, left, bottom, right}; };
        ControlRef c = nullptr;
        Rect r = rect(10, 10, 32, 110);
        CreatePushButtonControl(window_, &r, CFSTR("Push"), &c);
        Boolean yes = true;
        SetControlData(c, 0, kControlPushButtonDefaultTag, sizeof yes, &yes);
        r = rect(10, 120, 32, 220);
        CreatePushButtonControl(window_, &r, CFSTR("Disabled"), &c);
        DisableControl(c);
        r = rect(10, 230, 40, 330);
        IconRef icon = nullptr;
        GetIconRef(0, kSystemIconsCreator, kGenericFolderIcon, &icon);
        ControlButtonContentInfo iconContent = {kControlContentIconRef, {}};
        iconContent.u.iconRef = icon;
        CreateBevelButtonControl(window_, &r, CFSTR("Bevel"), kControlBevelButtonNormalBevel,
                                 kControlBehaviorPushbutton, &iconContent, 0, 0, 0, &c);
        MenuRef menu = menu_;
        SetControlData(c, 0, kControlBevelButtonMenuRefTag, sizeof menu, &menu);
        r = rect(45, 10, 65, 150);
        CreateCheckBoxControl(window_, &r, CFSTR("Checked"), 1, true, &c);
        r = rect(70, 10, 90, 150);
        CreateCheckBoxControl(window_, &r, CFSTR("Mixed"), 2, true, &c);
        r = rect(45, 160, 115, 300);
        ControlRef group = nullptr;
        CreateRadioGroupControl(window_, &r, &group);
        for (short i = 0; i < 3; ++i) {
            r = rect(short(i * 22), 0, short(i * 22 + 20), 140);
            CreateRadioButtonControl(nullptr, &r, CFSTR("Radio"), 0, true, &c);
            HIViewAddSubview(group, c);
            CFRelease(c);
        }
        SetControl32BitValue(group, 2);
        r = rect(45, 310, 70, 470);
        CreatePopupButtonControl(window_, &r, nullptr, 0, false, 0, 0, 0, &c);
        SetControlData(c, 0, kControlPopupButtonMenuRefTag, sizeof menu, &menu);
        SetControl32BitValue(c, 2);
        r = rect(120, 10, 160, 220);
        ControlFontStyleRec style = {};
        style.flags = kControlUseJustMask | kControlUseThemeFontIDMask;
        style.font = kThemeSmallSystemFont;
        style.just = teCenter;
        CreateStaticTextControl(window_, &r, CFSTR("Static text that wraps onto a second line"), &style, &c);
        r = rect(120, 230, 145, 330);
        CreatePlacardControl(window_, &r, &c);
        r = rect(120, 340, 160, 380);
        CreateIconControl(window_, &r, &iconContent, false, &c);
        r = rect(120, 390, 170, 440);
        CreateImageWellControl(window_, &r, &iconContent, &c);
        ReleaseIconRef(icon);
        r = rect(175, 10, 260, 200);
        CreateGroupBoxControl(window_, &r, CFSTR("Primary"), true, &c);
        r = rect(175, 210, 260, 400);
        CreateGroupBoxControl(window_, &r, CFSTR("Secondary"), false, &c);
        const ControlTabEntry tabs[] = {
            {nullptr, CFSTR("One"), true}, {nullptr, CFSTR("Two"), true}, {nullptr, CFSTR("Three"), false}};
        r = rect(270, 10, 350, 300);
        CreateTabsControl(window_, &r, kControlTabSizeLarge, kControlTabDirectionNorth, 3, tabs, &c);
        SetControl32BitValue(c, 2);
        HIViewRef segments = nullptr;
        const HIRect frame = {{310, 270}, {240, 24}};
        HISegmentedViewCreate(&frame, &segments);
        HIViewAddSubview(Content(window_), segments);
        CFRelease(segments);
        HISegmentedViewSetSegmentCount(segments, 3);
        HISegmentedViewSetSegmentLabel(segments, 1, CFSTR("Left"));
        HISegmentedViewSetSegmentLabel(segments, 2, CFSTR("Middle"));
        HISegmentedViewSetSegmentLabel(segments, 3, CFSTR("Right"));
        SetControl32BitValue(segments, 2);
        r = rect(310, 310, 340, 540);
        CreateSliderControl(window_, &r, 30, 0, 100, kControlSliderPointsDownOrRight, 5, true, nullptr, &c);
        r = rect(350, 310, 365, 540);
        CreateScrollBarControl(window_, &r, 40, 0, 100, 25, true, nullptr, &c);
        r = rect(175, 525, 260, 540);
        CreateScrollBarControl(window_, &r, 10, 0, 100, 50, true, nullptr, &c);
    }
    operator WindowRef() const { return window_; }

    QImage Render()
    {
        HIWindowInvalidate(window_);
        TestRunUntilIdle();
        CGImageRef image = HIWindowCopyContentImage(window_);
        const QImage pixels = CGImageGetQImage(image).convertToFormat(QImage::Format_RGB32);
        CGImageRelease(image);
        return pixels;
    }

private:
    KindsWindow window_;
    TestMenu menu_;
};

}  // namespace

// Every kind draws, the same each time; BRINDLET_SCREENSHOT_DIR keeps a
// picture of them for review.
TEST(ControlKinds, EveryKindDrawsTheSameEachTime)
{
    EveryKind window;
    const QImage first = window.Render();
    const QImage second = window.Render();
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first, second);
    if (const char* folder = std::getenv("BRINDLET_SCREENSHOT_DIR"))
        first.save(QString::fromUtf8(folder) + QStringLiteral("/control-kinds.png"));

    // Every kind left ink in its frame (user panes and radio groups draw nothing of their own).
    HIViewRef content = Content(window);
    ASSERT_NE(content, nullptr);
    const QRgb background = first.pixel(first.width() - 1, first.height() - 1);
    for (HIViewRef view = HIViewGetFirstSubview(content); view; view = HIViewGetNextView(view)) {
        ControlKind kind = {};
        GetControlKind(view, &kind);
        const char name[5] = {char(kind.kind >> 24), char(kind.kind >> 16), char(kind.kind >> 8), char(kind.kind), 0};
        SCOPED_TRACE(name);
        HIRect frame = {};
        HIViewGetFrame(view, &frame);
        int inked = 0;
        for (int y = int(frame.origin.y); y < int(CGRectGetMaxY(frame)); ++y)
            for (int x = int(frame.origin.x); x < int(CGRectGetMaxX(frame)); ++x)
                inked += first.pixel(x, y) != background;
        EXPECT_GT(inked, 20);
    }
}

TEST(ControlKinds, ALookFollowsTheState)
{
    KindsWindow window;
    const Rect bounds = {10, 10, 30, 120};
    ControlRef box = nullptr;
    ASSERT_EQ(CreateCheckBoxControl(window, &bounds, CFSTR("Box"), 0, true, &box), noErr);
    auto snapshot = [&] {
        TestRunUntilIdle();
        CGImageRef image = HIWindowCopyContentImage(window);
        const QImage pixels = CGImageGetQImage(image).copy(10, 10, 110, 20);
        CGImageRelease(image);
        return pixels;
    };
    const QImage off = snapshot();
    SetControl32BitValue(box, 1);
    const QImage on = snapshot();
    SetControl32BitValue(box, 0);
    EXPECT_NE(off, on);
    EXPECT_EQ(snapshot(), off);
    DisableControl(box);
    EXPECT_NE(snapshot(), off);
}

// A picture of the screen holds our windows' content, the front one over
// the one behind, and nothing where no window of ours is.
TEST(ControlKinds, ScreenPicturesShowOurWindowsFrontOverBack)
{
    struct Painted {
        std::unique_ptr<KindsWindow> window;
        Handlers handlers;
    };
    auto paint = [](Painted& painted, Rect bounds, QColor color) {
        painted.window = std::make_unique<KindsWindow>(bounds);
        const Rect whole = {0, 0, short(bounds.bottom - bounds.top), short(bounds.right - bounds.left)};
        ControlRef pane = nullptr;
        ASSERT_EQ(CreateUserPaneControl(*painted.window, &whole, 0, &pane), noErr);
        painted.handlers.Install(GetControlEventTarget(pane), {{kEventClassControl, kEventControlDraw}},
                                 [color](EventRef event) {
                                     CGContextRef context = nullptr;
                                     GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr,
                                                       sizeof context, nullptr, &context);
                                     CGContextSetRGBFillColor(context, CGFloat(color.redF()), CGFloat(color.greenF()),
                                                              CGFloat(color.blueF()), 1);
                                     CGContextFillRect(context, CGRectMake(0, 0, 1000, 1000));
                                     return noErr;
                                 });
    };
    Painted back, front;
    paint(back, {100, 100, 300, 300}, Qt::red);
    paint(front, {200, 200, 400, 400}, Qt::green);
    TestRunUntilIdle();  // the window shown last is in front

    CGImageRef image = CGWindowListCreateImage(CGRectMake(150, 150, 300, 300), kCGWindowListOptionOnScreenOnly,
                                               kCGNullWindowID, kCGWindowImageDefault);
    ASSERT_NE(image, nullptr);
    const QImage pixels = CGImageGetQImage(image);
    CGImageRelease(image);
    ASSERT_EQ(pixels.size(), QSize(300, 300));
    EXPECT_EQ(QColor(pixels.pixel(10, 10)), QColor(Qt::red));      // (160, 160): only the back window
    EXPECT_EQ(QColor(pixels.pixel(100, 100)), QColor(Qt::green));  // (250, 250): both; the front shows
    EXPECT_EQ(qAlpha(pixels.pixel(280, 10)), 0);                   // (430, 160): no window of ours

    // Only the whole list is offered.
    EXPECT_EQ(CGWindowListCreateImage(CGRectMake(0, 0, 10, 10), kCGWindowListOptionOnScreenAboveWindow, 7,
                                      kCGWindowImageDefault),
              nullptr);
    EXPECT_EQ(CGWindowListCreateImage(CGRectMake(0, 0, 0, 10), kCGWindowListOptionAll, kCGNullWindowID,
                                      kCGWindowImageDefault),
              nullptr);
}
