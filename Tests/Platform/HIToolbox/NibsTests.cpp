#include <CFTestSupport.h>
#include <FileFixtures.h>

#include <HIToolbox/ControlKinds.h>
#include <HIToolbox/HITextViews.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/HostedViews.h>
#include <HIToolbox/Nibs.h>

#include <CoreGraphics/CGImageQt.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

const std::string kSampleBundle = BRINDLET_FIXTURES_DIR "/Nibs/Sample";

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string FourChars(OSType code)
{
    return {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
}

std::string TextOf(HIViewRef view)
{
    CFRef<CFStringRef> text(HIViewCopyText(view));
    return UTF8Of(text);
}

std::string TitleOf(HIViewRef view)
{
    CFStringRef title = nullptr;
    CopyControlTitleAsCFString(view, &title);
    CFRef<CFStringRef> held(title);
    return UTF8Of(title);
}

std::string ItemText(MenuRef menu, MenuItemIndex item)
{
    CFStringRef text = nullptr;
    CopyMenuItemTextAsCFString(menu, item, &text);
    CFRef<CFStringRef> held(text);
    return UTF8Of(text);
}

// A property's bytes as a string (a stored string keeps its zero byte).
std::string ControlPropertyBytes(HIViewRef view, OSType creator, OSType tag)
{
    ByteCount size = 0;
    if (GetControlPropertySize(view, creator, tag, &size) != noErr)
        return "<none>";
    std::string bytes(size, '\0');
    GetControlProperty(view, creator, tag, size, &size, bytes.data());
    return bytes;
}

std::string MenuPropertyBytes(MenuRef menu, MenuItemIndex item, OSType creator, OSType tag)
{
    ByteCount size = 0;
    if (GetMenuItemPropertySize(menu, item, creator, tag, &size) != noErr)
        return "<none>";
    std::string bytes(size, '\0');
    GetMenuItemProperty(menu, item, creator, tag, size, &size, bytes.data());
    return bytes;
}

HIViewRef ViewByID(WindowRef window, std::string_view signature, SInt32 id)
{
    OSType code = 0;
    for (char c : signature)
        code = (code << 8) | UInt8(c);
    const ControlID controlID = {code, id};
    HIViewRef view = nullptr;
    GetControlByID(window, &controlID, &view);
    return view;
}

void CollectKinds(HIViewRef view, std::set<OSType>& kinds)
{
    for (HIViewRef child = HIViewGetFirstSubview(view); child; child = HIViewGetNextView(child)) {
        ControlKind kind{};
        GetControlKind(child, &kind);
        kinds.insert(kind.kind);
        CollectKinds(child, kinds);
    }
}

size_t WindowCount()
{
    size_t count = 0;
    for (WindowRef window = GetWindowList(); window; window = GetNextWindow(window))
        ++count;
    return count;
}

// The test swatch class of the "Custom" window: records what it was told.
struct SwatchLog {
    std::vector<std::string> events;
    HIRect bounds = CGRectZero;
};

OSStatus SwatchHandler(EventHandlerCallRef, EventRef event, void* data)
{
    if (GetEventClass(event) != kEventClassHIObject)
        return eventNotHandledErr;
    auto* log = static_cast<SwatchLog*>(data);
    switch (GetEventKind(event)) {
    case kEventHIObjectConstruct:
        log->events.push_back("construct");
        SetEventParameter(event, kEventParamHIObjectInstance, typeVoidPtr, sizeof log, &log);
        return noErr;
    case kEventHIObjectInitialize:
        log->events.push_back("initialize");
        GetEventParameter(event, kEventParamBounds, typeHIRect, nullptr, sizeof log->bounds, nullptr, &log->bounds);
        return noErr;
    case kEventHIObjectDestruct:
        log->events.push_back("destruct");
        return noErr;
    default:
        return eventNotHandledErr;
    }
}

class NibsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CFBundleSetMainBundleResourcesPath(kSampleBundle.c_str());
        ASSERT_EQ(CreateNibReference(CFSTR("Sample"), &nib_), noErr);
    }
    void TearDown() override
    {
        DisposeNibReference(nib_);
        CFBundleSetMainBundleResourcesPath(nullptr);
    }

    IBNibRef nib_ = nullptr;
};

// ---- windows ----

TEST_F(NibsTest, TheSampleWindowHasEveryKindAsDescribed)
{
    WindowRef window = nullptr;
    ASSERT_EQ(CreateWindowFromNib(nib_, CFSTR("Every Kind"), &window), noErr);
    EXPECT_FALSE(IsWindowVisible(window));

    WindowClass windowClass = 0;
    WindowAttributes attributes = 0;
    GetWindowClass(window, &windowClass);
    GetWindowAttributes(window, &attributes);
    EXPECT_EQ(windowClass, kDocumentWindowClass);
    EXPECT_EQ(attributes & (kWindowStandardDocumentAttributes | kWindowStandardHandlerAttribute),
              kWindowStandardDocumentAttributes | kWindowStandardHandlerAttribute);
    Rect content{};
    GetWindowBounds(window, kWindowContentRgn, &content);
    EXPECT_EQ((std::vector<int>{content.left, content.top, content.right, content.bottom}),
              (std::vector<int>{100, 100, 620, 500}));
    CFStringRef title = nullptr;
    CopyWindowTitleAsCFString(window, &title);
    EXPECT_EQ(UTF8Of(title), "Every Kind");
    CFRelease(title);
    char pane[8] = "xxxxxxx";
    ByteCount paneSize = 0;
    EXPECT_EQ(GetWindowProperty(window, FourCC("WIND"), FourCC("pane"), sizeof pane, &paneSize, pane), noErr);
    EXPECT_EQ(std::string(pane, paneSize), std::string("main\0", 5));

    HIViewRef content_ = nullptr;
    HIViewFindByID(HIViewGetRoot(window), kHIViewWindowContentID, &content_);
    std::set<OSType> kinds;
    CollectKinds(content_, kinds);
    for (OSType kind : {kControlKindPushButton,
                        kControlKindBevelButton,
                        kControlKindCheckBox,
                        kControlKindRadioButton,
                        kControlKindRadioGroup,
                        kControlKindPopupButton,
                        kControlKindStaticText,
                        kControlKindUserPane,
                        kControlKindPlacard,
                        kControlKindHIImageView,
                        kControlKindIcon,
                        kControlKindImageWell,
                        kControlKindPrimaryGroupBox,
                        kControlKindSecondaryGroupBox,
                        kControlKindTabs,
                        kControlKindSegmentedView,
                        kControlKindSlider,
                        kControlKindScrollBar,
                        kControlKindEditUnicodeText,
                        kControlKindHISearchField,
                        kControlKindHITextView,
                        kControlKindClock,
                        kControlKindHICocoaView})
        EXPECT_TRUE(kinds.count(kind)) << "no view of kind " << FourChars(kind);

    struct Row {
        const char* signature;
        SInt32 id;
        OSType kind;
        HIRect frame;
        SInt32 value, minimum, maximum;
        UInt32 command;
    };
    const Row rows[] = {
        {"BUTN", 1, kControlKindPushButton, {{20, 40}, {90, 24}}, 0, 0, 0, FourCC("ok  ")},
        {"BUTN", 2, kControlKindPushButton, {{120, 40}, {90, 24}}, 0, 0, 0, FourCC("not!")},
        {"BEVL", 1, kControlKindBevelButton, {{220, 40}, {90, 24}}, 0, 0, 1, 0},
        {"CBOX", 1, kControlKindCheckBox, {{20, 80}, {150, 18}}, 1, 0, 2, FourCC("chek")},
        {"POPB", 1, kControlKindPopupButton, {{180, 78}, {150, 22}}, 3, 0, 5, 0},  // the menu's five items
        {"SLDR", 1, kControlKindSlider, {{350, 78}, {150, 24}}, 4, 0, 10, 0},
        {"RGRP", 1, kControlKindRadioGroup, {{20, 108}, {150, 44}}, 2, 0, 0x7FFF, 0},
        {"RDIO", 1, kControlKindRadioButton, {{0, 0}, {150, 18}}, 0, 0, 2, 0},  // in the group's space
        {"RDIO", 2, kControlKindRadioButton, {{0, 24}, {150, 18}}, 1, 0, 2, 0},
        {"TABS", 1, kControlKindTabs, {{20, 282}, {300, 100}}, 2, 1, 2, 0},
        {"SBAR", 1, kControlKindScrollBar, {{340, 282}, {16, 100}}, 30, 0, 100, 0},
        {"PANE", 1, kControlKindUserPane, {{10, 34}, {280, 56}}, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.signature) + "/" + std::to_string(row.id));
        HIViewRef view = ViewByID(window, row.signature, row.id);
        ASSERT_NE(view, nullptr);
        ControlKind kind{};
        GetControlKind(view, &kind);
        EXPECT_EQ(FourChars(kind.kind), FourChars(row.kind));
        HIRect frame{};
        HIViewGetFrame(view, &frame);
        EXPECT_TRUE(CGRectEqualToRect(frame, row.frame));
        EXPECT_EQ(GetControl32BitValue(view), row.value);
        EXPECT_EQ(GetControl32BitMinimum(view), row.minimum);
        EXPECT_EQ(GetControl32BitMaximum(view), row.maximum);
        UInt32 command = 0xFFFFFFFF;
        GetControlCommandID(view, &command);
        EXPECT_EQ(FourChars(command), FourChars(row.command));
    }

    // Texts, titles and what the kinds keep.
    EXPECT_EQ(TitleOf(ViewByID(window, "BUTN", 1)), "OK");
    EXPECT_EQ(TextOf(ViewByID(window, "TEXT", 1)), "Every kind of view");
    EXPECT_EQ(TextOf(ViewByID(window, "EDIT", 1)), "Edit me");
    EXPECT_EQ(TXNDataSize(HITextViewGetTXNObject(ViewByID(window, "TXTV", 1))),
              std::u16string(u"A text view\nwith two lines.").size() * 2);
    ControlEditTextSelectionRec selection = {-1, -1};
    GetControlData(ViewByID(window, "EDIT", 1), 0, kControlEditTextSelectionTag, sizeof selection, &selection, nullptr);
    EXPECT_EQ(selection.selStart, 0);
    EXPECT_EQ(selection.selEnd, 4);
    CFAbsoluteTime date = 0;
    GetControlData(ViewByID(window, "CLCK", 1), 0, kControlClockAbsoluteTimeTag, sizeof date, &date, nullptr);
    EXPECT_EQ(date, 788918400.0);  // 2026-01-01 00:00 UTC, from its control data
    Boolean isDefault = false;
    GetControlData(ViewByID(window, "BUTN", 1), 0, kControlPushButtonDefaultTag, sizeof isDefault, &isDefault, nullptr);
    EXPECT_TRUE(isDefault);
    MenuRef popupMenu = nullptr;
    GetControlData(ViewByID(window, "POPB", 1), 0, kControlPopupButtonMenuRefTag, sizeof popupMenu, &popupMenu,
                   nullptr);
    EXPECT_EQ(ItemText(popupMenu, 3), "Gamma");
    EXPECT_EQ(HISegmentedViewGetSegmentCount(ViewByID(window, "SGMT", 1)), 3u);
    EXPECT_FALSE(HISegmentedViewIsSegmentEnabled(ViewByID(window, "SGMT", 1), 3));
    CFStringRef descriptive = nullptr;
    HISearchFieldCopyDescriptiveText(ViewByID(window, "SRCH", 1), &descriptive);
    EXPECT_EQ(UTF8Of(descriptive), "Search");
    CFRelease(descriptive);
    MenuRef searchMenu = nullptr;
    HISearchFieldGetSearchMenu(ViewByID(window, "SRCH", 1), &searchMenu);
    EXPECT_EQ(ItemText(searchMenu, 1), "Recent Searches");
    CGImageRef image = HIImageViewCopyImage(ViewByID(window, "IMAG", 1));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CGImageGetWidth(image), 16u);
    CGImageRelease(image);

    // Properties keep the string's terminating zero byte.
    HIViewRef ok = ViewByID(window, "BUTN", 1);
    EXPECT_EQ(ControlPropertyBytes(ok, FourCC("view"), FourCC("clas")), std::string("TButton\0", 8));
    EXPECT_EQ(ControlPropertyBytes(ok, FourCC("view"), FourCC("amsg")), std::string("okPressed:\0", 11));

    // Nib order, nesting, visibility and enabling.
    HIViewRef group = ViewByID(window, "GRPB", 1);
    ControlRef second = nullptr;
    ASSERT_EQ(GetIndexedSubControl(group, 2, &second), noErr);
    EXPECT_EQ(second, ViewByID(window, "CBOX", 2));
    EXPECT_FALSE(IsControlEnabled(second));
    EXPECT_TRUE(IsControlEnabled(ok));
    EXPECT_FALSE(HIViewIsLatentlyVisible(ViewByID(window, "BUTN", 3)));
    EXPECT_TRUE(HIViewIsLatentlyVisible(ok));
    EXPECT_EQ(HIViewGetSuperview(ViewByID(window, "PANE", 1)), ViewByID(window, "TABS", 1));

    DisposeWindow(window);
}

TEST_F(NibsTest, TheReviewDialogIsASheetWithItsThreeCommands)
{
    WindowRef window = nullptr;
    ASSERT_EQ(CreateWindowFromNib(nib_, CFSTR("Review Dialog"), &window), noErr);
    WindowClass windowClass = 0;
    GetWindowClass(window, &windowClass);
    EXPECT_EQ(windowClass, kSheetWindowClass);
    std::vector<std::string> commands;
    for (SInt32 id = 1; id <= 3; ++id) {
        UInt32 command = 0;
        GetControlCommandID(ViewByID(window, "BUTN", id), &command);
        commands.push_back(FourChars(command));
    }
    EXPECT_EQ(commands, (std::vector<std::string>{"save", "dont", "not!"}));
    DisposeWindow(window);
}

TEST_F(NibsTest, ACustomClassIsMadeThroughItsRegistration)
{
    SwatchLog log;
    const EventTypeSpec events[] = {{kEventClassControl, kEventControlDraw}};
    HIObjectClassRef swatchClass = nullptr;
    ASSERT_EQ(HIObjectRegisterSubclass(CFSTR("com.brindlet.test.swatch"), nullptr, 0, SwatchHandler, 1, events, &log,
                                       &swatchClass),
              noErr);
    WindowRef window = nullptr;
    ASSERT_EQ(CreateWindowFromNib(nib_, CFSTR("Custom"), &window), noErr);
    HIViewRef swatch = ViewByID(window, "CUST", 1);
    ASSERT_NE(swatch, nullptr);
    EXPECT_TRUE(HIObjectIsOfClass(swatch, CFSTR("com.brindlet.test.swatch")));
    EXPECT_EQ(log.events, (std::vector<std::string>{"construct", "initialize"}));
    EXPECT_TRUE(CGRectEqualToRect(log.bounds, CGRectMake(10, 10, 80, 60)));
    EXPECT_EQ(GetControl32BitValue(swatch), 2);
    EXPECT_EQ(ControlPropertyBytes(swatch, FourCC("view"), FourCC("clas")), std::string("TSwatch\0", 8));
    UInt16 subviews = 0;
    CountSubControls(swatch, &subviews);
    EXPECT_EQ(subviews, 1);
    DisposeWindow(window);
    EXPECT_EQ(log.events.back(), "destruct");
    EXPECT_EQ(HIObjectUnregisterClass(swatchClass), noErr);

    // Without its class the window is not made, and nothing is left of it.
    const size_t windows = WindowCount();
    Diagnostics::Capture capture;
    WindowRef untouched = reinterpret_cast<WindowRef>(0x1);
    EXPECT_EQ(CreateWindowFromNib(nib_, CFSTR("Custom"), &untouched), paramErr);
    EXPECT_EQ(untouched, reinterpret_cast<WindowRef>(0x1));
    EXPECT_EQ(WindowCount(), windows);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_NE(capture.Lines()[0].find("Sample.nib, window \"Custom\", view 1: the class \"com.brindlet.test.swatch\""),
              std::string::npos)
        << capture.Lines()[0];
}

// ---- menus ----

TEST_F(NibsTest, AMenuKeepsItsItemsKeysAndProperties)
{
    MenuRef menu = nullptr;
    ASSERT_EQ(CreateMenuFromNib(nib_, CFSTR("Card"), &menu), noErr);
    EXPECT_EQ(GetMenuRetainCount(menu), 1u);
    EXPECT_EQ(GetMenuID(menu), 300);
    MenuAttributes attributes = 0;
    GetMenuAttributes(menu, &attributes);
    EXPECT_EQ(attributes, kMenuAttrCondenseSeparators);
    ASSERT_EQ(CountMenuItems(menu), 6);
    EXPECT_EQ(MenuPropertyBytes(menu, 0, FourCC("TMNU"), FourCC("kind")), std::string("context\0", 8));

    MenuCommand command = 0;
    GetMenuItemCommandID(menu, 1, &command);
    EXPECT_EQ(FourChars(command), "opnc");
    EXPECT_EQ(MenuPropertyBytes(menu, 1, FourCC("TMNU"), FourCC("acti")), std::string("openCard:\0", 10));
    const SInt32 three = 3;
    EXPECT_EQ(MenuPropertyBytes(menu, 1, FourCC("TMNU"), FourCC("flag")),
              std::string(reinterpret_cast<const char*>(&three), sizeof three));
    MenuItemAttributes itemAttributes = 0;
    GetMenuItemAttributes(menu, 2, &itemAttributes);
    EXPECT_EQ(itemAttributes, kMenuItemAttrSectionHeader);
    UInt32 indent = 0;
    GetMenuItemIndent(menu, 3, &indent);
    EXPECT_EQ(indent, 1u);
    EXPECT_EQ(MenuPropertyBytes(menu, 3, FourCC("TMNU"), FourCC("colr")), std::string("\xFF\0\0", 3));
    CharParameter mark = 0;
    GetItemMark(menu, 4, &mark);
    EXPECT_EQ(mark, checkMark);
    EXPECT_EQ(MenuPropertyBytes(menu, 4, FourCC("TMNU"), FourCC("on  ")), std::string("\1", 1));
    GetMenuItemAttributes(menu, 5, &itemAttributes);
    EXPECT_EQ(itemAttributes, kMenuItemAttrSeparator);
    UInt16 virtualKey = 0;
    UInt8 modifiers = 0;
    GetMenuItemCommandKey(menu, 6, true, &virtualKey);
    GetMenuItemModifiers(menu, 6, &modifiers);
    EXPECT_EQ(virtualKey, 51);
    EXPECT_EQ(modifiers, kMenuNoCommandModifier);
    ReleaseMenu(menu);
}

TEST_F(NibsTest, TheMenuBarBecomesTheRootMenu)
{
    MenuRef previous = AcquireRootMenu();
    ASSERT_EQ(SetMenuBarFromNib(nib_, CFSTR("MenuBar")), noErr);
    MenuRef root = AcquireRootMenu();
    ASSERT_EQ(CountMenuItems(root), 2);
    MenuRef file = nullptr, edit = nullptr;
    GetMenuItemHierarchicalMenu(root, 1, &file);
    GetMenuItemHierarchicalMenu(root, 2, &edit);
    EXPECT_EQ(GetMenuHandle(128), file);
    EXPECT_EQ(GetMenuHandle(129), edit);
    CFStringRef title = nullptr;
    CopyMenuTitleAsCFString(edit, &title);
    EXPECT_EQ(UTF8Of(title), "Edit");
    CFRelease(title);

    // Redo: command-shift-Z.
    UInt16 key = 0;
    UInt8 modifiers = 0;
    GetMenuItemCommandKey(edit, 2, false, &key);
    GetMenuItemModifiers(edit, 2, &modifiers);
    EXPECT_EQ(key, u'Z');
    EXPECT_EQ(modifiers, kMenuShiftModifier);
    // A submenu's item is found from the bar.
    MenuRef found = nullptr;
    MenuItemIndex index = 0;
    ASSERT_EQ(GetIndMenuItemWithCommandID(nullptr, FourCC("fnxt"), 1, &found, &index), noErr);
    EXPECT_EQ(GetMenuID(found), 130);
    EXPECT_EQ(ItemText(found, index), "Find Next");
    CFRelease(root);

    SetRootMenu(previous);
    CFRelease(previous);
}

// ---- failures ----

TEST_F(NibsTest, FailuresAnswerThePlatformsStatusesAndTouchNothing)
{
    IBNibRef missing = reinterpret_cast<IBNibRef>(0x1);
    EXPECT_EQ(CreateNibReference(CFSTR("Nowhere"), &missing), kIBCarbonRuntimeCantFindNibFile);
    EXPECT_EQ(CreateNibReference(CFSTR("../Sample/Sample"), &missing), kIBCarbonRuntimeCantFindNibFile);
    EXPECT_EQ(CreateNibReference(nullptr, &missing), paramErr);
    EXPECT_EQ(missing, reinterpret_cast<IBNibRef>(0x1));

    MenuRef bar = AcquireRootMenu();
    struct Row {
        const char* what;
        OSStatus (*call)(IBNibRef, CFStringRef);
        CFStringRef name;
        OSStatus expected;
    };
    auto window = [](IBNibRef nib, CFStringRef name) {
        WindowRef out = reinterpret_cast<WindowRef>(0x1);
        const OSStatus status = CreateWindowFromNib(nib, name, &out);
        EXPECT_EQ(out, reinterpret_cast<WindowRef>(0x1));
        return status;
    };
    auto menu = [](IBNibRef nib, CFStringRef name) {
        MenuRef out = reinterpret_cast<MenuRef>(0x1);
        const OSStatus status = CreateMenuFromNib(nib, name, &out);
        EXPECT_EQ(out, reinterpret_cast<MenuRef>(0x1));
        return status;
    };
    const Row rows[] = {
        {"no such window", window, CFSTR("Nothing"), kIBCarbonRuntimeCantFindObject},
        {"a menu as a window", window, CFSTR("Choices"), kIBCarbonRuntimeObjectNotOfRequestedType},
        {"no name", window, nullptr, paramErr},
        {"no such menu", menu, CFSTR("Nothing"), kIBCarbonRuntimeCantFindObject},
        {"a window as a menu", menu, CFSTR("Every Kind"), kIBCarbonRuntimeObjectNotOfRequestedType},
        {"the menu bar as a menu", menu, CFSTR("MenuBar"), kIBCarbonRuntimeObjectNotOfRequestedType},
        {"a menu as the menu bar", SetMenuBarFromNib, CFSTR("Choices"), kIBCarbonRuntimeObjectNotOfRequestedType},
        {"no such menu bar", SetMenuBarFromNib, CFSTR("Nothing"), kIBCarbonRuntimeCantFindObject},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.call(nib_, row.name), row.expected);
    }
    MenuRef after = AcquireRootMenu();
    EXPECT_EQ(after, bar);  // the bar was left alone
    CFRelease(after);
    CFRelease(bar);

    // A reference disposed of (or never made) is refused, not followed.
    IBNibRef gone = nullptr;
    ASSERT_EQ(CreateNibReference(CFSTR("Sample"), &gone), noErr);
    DisposeNibReference(gone);
    EXPECT_EQ(window(gone, CFSTR("Every Kind")), paramErr);
    EXPECT_EQ(window(nullptr, CFSTR("Every Kind")), paramErr);
    DisposeNibReference(gone);  // twice: ignored
}

TEST(NibFiles, AFileThatIsNoNibIsRefusedWithAWarning)
{
    ScratchFolder bundle;
    bundle.Write("Garbled.nib", "<plist><dict><key>Format");
    bundle.Write("Array.nib", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>");
    bundle.Write("Later.nib",
                 "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Format</key><integer>2</integer>"
                 "<key>Objects</key><dict/></dict></plist>");
    bundle.MakeFolder("Folder.nib");
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(bundle.Path().c_str()), CFIndex(bundle.Path().size()), true));
    CFRef<CFBundleRef> cfBundle(CFBundleCreate(nullptr, url));
    ASSERT_TRUE(cfBundle);
    for (const char* name : {"Garbled", "Array", "Later", "Folder"}) {
        SCOPED_TRACE(name);
        Diagnostics::Capture capture;
        IBNibRef nib = reinterpret_cast<IBNibRef>(0x1);
        CFRef<CFStringRef> nibName = MakeString(name);
        EXPECT_EQ(CreateNibReferenceWithCFBundle(cfBundle, nibName, &nib), kIBCarbonRuntimeCantFindNibFile);
        EXPECT_EQ(nib, reinterpret_cast<IBNibRef>(0x1));
        ASSERT_EQ(capture.Lines().size(), 1u);
        EXPECT_EQ(capture.Lines()[0].rfind("Warning: The nib " + bundle.Path() + "/" + name + ".nib was not read", 0),
                  0u)
            << capture.Lines()[0];
    }
}

// ---- the checks ----

std::string NibWith(const std::string& objects)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>Format</key>"
           "<integer>1</integer><key>Objects</key><dict>" +
           objects + "</dict></dict></plist>";
}

std::string WindowWith(const std::string& views)
{
    return "<key>W</key><dict><key>Type</key><string>Window</string><key>Bounds</key><array><integer>0</integer>"
           "<integer>0</integer><integer>100</integer><integer>100</integer></array><key>Views</key><array>" +
           views + "</array></dict>";
}

const std::string kFrame = "<key>Frame</key><array><integer>0</integer><integer>0</integer><integer>10</integer>"
                           "<integer>10</integer></array>";

TEST(NibLint, EveryNibOfTheRepositoryPasses)
{
    const std::filesystem::path root = std::filesystem::path(BRINDLET_FIXTURES_DIR).parent_path().parent_path();
    size_t checked = 0;
    for (const char* folder : {"Resources", "HelperResources", "Tests/Fixtures"}) {
        if (!std::filesystem::exists(root / folder))
            continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root / folder)) {
            if (entry.path().extension() != ".nib")
                continue;
            SCOPED_TRACE(entry.path().string());
            EXPECT_EQ(IBLintNibFile(entry.path().string()), std::vector<std::string>{});
            ++checked;
        }
    }
    EXPECT_GE(checked, 1u);  // the sample at least: the walk found the files
}

TEST(NibLint, RefusesWhatTheFormatDoesNotKnowNamingThePlace)
{
    const std::string push = "<key>Kind</key><string>push</string>" + kFrame;
    struct Row {
        const char* what;
        std::string nib;
        std::string expected;
    };
    const Row rows[] = {
        {"an unknown key on a nested view",
         NibWith(WindowWith("<dict><key>Kind</key><string>grpb</string>" + kFrame + "<key>Subviews</key><array><dict>" +
                            push + "</dict><dict>" + push +
                            "<key>Titel</key><string>OK</string></dict></array></dict>")),
         "T.nib, window \"W\", view 1.2 (push): unknown key \"Titel\""},
        {"an unknown kind", NibWith(WindowWith("<dict><key>Kind</key><string>blob</string>" + kFrame + "</dict>")),
         "T.nib, window \"W\", view 1: unknown kind \"blob\""},
        {"a kind's key on another kind", NibWith(WindowWith("<dict>" + push + "<key>Tabs</key><array/></dict>")),
         "T.nib, window \"W\", view 1 (push): unknown key \"Tabs\""},
        {"a value of the wrong type",
         NibWith(WindowWith("<dict>" + push + "<key>Value</key><string>1</string></dict>")),
         "T.nib, window \"W\", view 1 (push): key \"Value\" must be an integer"},
        {"a frame that is no frame",
         NibWith(WindowWith("<dict><key>Kind</key><string>push</string><key>Frame</key><array><integer>0</integer>"
                            "</array></dict>")),
         "T.nib, window \"W\", view 1 (push): key \"Frame\" must be [x, y, width, height]"},
        {"an unknown window attribute",
         NibWith("<key>W</key><dict><key>Type</key><string>Window</string><key>Bounds</key><array><integer>0</integer>"
                 "<integer>0</integer><integer>9</integer><integer>9</integer></array><key>Attributes</key>"
                 "<array><string>sparkly</string></array></dict>"),
         "T.nib, window \"W\": key \"Attributes\" must be an array of closeBox"},
        {"a pop-up naming no menu",
         NibWith(WindowWith("<dict><key>Kind</key><string>popb</string>" + kFrame +
                            "<key>Menu</key><string>Nope</string></dict>")),
         "T.nib, window \"W\", view 1 (popb), key \"Menu\": names no menu of the nib: \"Nope\""},
        {"a property with two values",
         NibWith(WindowWith("<dict>" + push +
                            "<key>Properties</key><array><dict><key>Creator</key><string>view</string><key>Tag</key>"
                            "<string>clas</string><key>String</key><string>a</string><key>Integer</key><integer>1"
                            "</integer></dict></array></dict>")),
         "T.nib, window \"W\", view 1 (push), property 1: must have exactly one value"},
        {"an unknown key on a submenu's item",
         NibWith("<key>M</key><dict><key>Type</key><string>Menu</string><key>Items</key><array><dict><key>Submenu"
                 "</key><dict><key>Items</key><array><dict><key>Txt</key><string>x</string></dict></array></dict>"
                 "</dict></array></dict>"),
         "T.nib, menu \"M\", item 1, submenu, item 1: unknown key \"Txt\""},
        {"an object of no type", NibWith("<key>X</key><dict/>"), "T.nib, object \"X\": has no \"Type\""},
        {"an unknown top-level key",
         "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Format</key><integer>1</integer><key>Objects"
         "</key><dict/><key>Extra</key><true/></dict></plist>",
         "T.nib: unknown key \"Extra\""},
        {"not a property list", "<plist><dict>", "T.nib: it is not a property list"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<std::string> problems = IBLintNibData("T.nib", row.nib.data(), row.nib.size());
        ASSERT_FALSE(problems.empty());
        EXPECT_EQ(problems[0].rfind(row.expected, 0), 0u) << problems[0];
    }
}

// Made one by one, an object is checked with the menus its views name:
// a fault in either keeps the window from being made, and says where.
TEST(NibLint, AWindowFailingTheChecksIsNotMade)
{
    const std::string popup =
        "<dict><key>Kind</key><string>popb</string>" + kFrame + "<key>Menu</key><string>M</string></dict>";
    struct Row {
        const char* what;
        std::string objects;
        std::string warning;
    };
    const Row rows[] = {
        {"an unknown key on the window's view",
         WindowWith("<dict><key>Kind</key><string>push</string>" + kFrame + "<key>Colour</key><true/></dict>"),
         "Warning: B.nib, window \"W\", view 1 (push): unknown key \"Colour\""},
        {"an unknown key in the menu a pop-up names",
         WindowWith(popup) + "<key>M</key><dict><key>Type</key><string>Menu</string><key>Items</key><array><dict>"
                             "<key>Text</key><string>a</string><key>Cmd</key><string>abcd</string></dict></array>"
                             "</dict>",
         "Warning: B.nib, menu \"M\", item 1: unknown key \"Cmd\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchFolder folder;
        folder.Write("B.nib", NibWith(row.objects));
        CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
            nullptr, reinterpret_cast<const UInt8*>(folder.Path().c_str()), CFIndex(folder.Path().size()), true));
        CFRef<CFBundleRef> bundle(CFBundleCreate(nullptr, url));
        IBNibRef nib = nullptr;
        ASSERT_EQ(CreateNibReferenceWithCFBundle(bundle, CFSTR("B"), &nib), noErr);
        const size_t windows = WindowCount();
        Diagnostics::Capture capture;
        WindowRef window = reinterpret_cast<WindowRef>(0x1);
        EXPECT_EQ(CreateWindowFromNib(nib, CFSTR("W"), &window), paramErr);
        EXPECT_EQ(window, reinterpret_cast<WindowRef>(0x1));
        EXPECT_EQ(WindowCount(), windows);
        EXPECT_EQ(capture.Lines(), std::vector<std::string>{row.warning});
        DisposeNibReference(nib);
    }
}

// A kind a later family brings (as the data browser will, with its
// columns) takes its own keys, checked by name, and is made by its maker.
OSStatus MakeListKind(CFDictionaryRef description, const HIRect& frame, HIViewRef* outView)
{
    CFArrayRef columns = static_cast<CFArrayRef>(CFDictionaryGetValue(description, CFSTR("Columns")));
    if (!columns || CFGetTypeID(columns) != CFArrayGetTypeID())
        return paramErr;
    const OSStatus status = HIViewCreatePlain(&frame, outView);
    if (status == noErr)
        SetControl32BitMaximum(*outView, SInt32(CFArrayGetCount(columns)));
    return status;
}

TEST(NibLint, ARegisteredKindTakesItsOwnKeys)
{
    IBRegisterNibViewKind({FourCC("tlst"), {"Columns"}, MakeListKind});
    IBRegisterNibViewKind({kControlKindPushButton, {"Columns"}, MakeListKind});  // refused: a standard kind
    const std::string list = "<key>Kind</key><string>tlst</string>" + kFrame +
                             "<key>Signature</key><string>FILE</string><key>ID</key><integer>128</integer>";
    const std::string good = NibWith(WindowWith("<dict>" + list +
                                                "<key>Columns</key><array><string>FILE</string><string>PATH"
                                                "</string></array></dict>"));
    const std::string bad = NibWith(WindowWith("<dict>" + list + "<key>Rows</key><array/></dict>"));
    const std::string push = NibWith(
        WindowWith("<dict><key>Kind</key><string>push</string>" + kFrame + "<key>Columns</key><array/></dict>"));
    EXPECT_EQ(IBLintNibData("L.nib", good.data(), good.size()), std::vector<std::string>{});
    EXPECT_EQ(IBLintNibData("L.nib", bad.data(), bad.size()),
              std::vector<std::string>{"L.nib, window \"W\", view 1 (tlst): unknown key \"Rows\""});
    EXPECT_EQ(IBLintNibData("L.nib", push.data(), push.size()),
              std::vector<std::string>{"L.nib, window \"W\", view 1 (push): unknown key \"Columns\""});

    ScratchFolder folder;
    folder.Write("L.nib", good);
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(folder.Path().c_str()), CFIndex(folder.Path().size()), true));
    CFRef<CFBundleRef> bundle(CFBundleCreate(nullptr, url));
    IBNibRef nib = nullptr;
    ASSERT_EQ(CreateNibReferenceWithCFBundle(bundle, CFSTR("L"), &nib), noErr);
    WindowRef window = nullptr;
    ASSERT_EQ(CreateWindowFromNib(nib, CFSTR("W"), &window), noErr);
    HIViewRef view = ViewByID(window, "FILE", 128);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(GetControl32BitMaximum(view), 2);  // the maker read its columns
    HIRect frame{};
    HIViewGetFrame(view, &frame);
    EXPECT_TRUE(CGRectEqualToRect(frame, CGRectMake(0, 0, 10, 10)));
    DisposeWindow(window);
    DisposeNibReference(nib);
}

// Every value of the sample made wrong in turn (a string where a number
// goes, a number out of every range, an empty array): the checks and the
// loader agree, and neither trips over it.
TEST(NibLint, TheLoaderRefusesExactlyWhatTheChecksRefuse)
{
    const std::string sample = ReadText(kSampleBundle + "/Sample.nib");
    ASSERT_FALSE(sample.empty());
    SwatchLog log;
    HIObjectClassRef swatchClass = nullptr;
    ASSERT_EQ(HIObjectRegisterSubclass(CFSTR("com.brindlet.test.swatch"), nullptr, 0, SwatchHandler, 0, nullptr, &log,
                                       &swatchClass),
              noErr);
    ScratchFolder bundle;
    std::filesystem::copy_file(kSampleBundle + "/disc.png", bundle / "disc.png");
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(bundle.Path().c_str()), CFIndex(bundle.Path().size()), true));
    CFRef<CFBundleRef> cfBundle(CFBundleCreate(nullptr, url));
    MenuRef bar = AcquireRootMenu();

    struct Swap {
        std::string open, close, with;
    };
    const Swap swaps[] = {
        {"<string>", "</string>", "<integer>99999999999</integer>"},
        {"<integer>", "</integer>", "<string>1</string>"},
        {"<integer>", "</integer>", "<integer>-70000</integer>"},
        {"<array>", "</array>", "<array/>"},
    };
    size_t mutations = 0, refused = 0;
    for (const Swap& swap : swaps) {
        for (size_t at = sample.find(swap.open); at != std::string::npos; at = sample.find(swap.open, at + 1)) {
            const size_t end = sample.find(swap.close, at);
            std::string nib = sample;
            nib.replace(at, end + swap.close.size() - at, swap.with);
            SCOPED_TRACE(swap.with + " at byte " + std::to_string(at));
            const bool passes = IBLintNibData("Mutated.nib", nib.data(), nib.size()).empty();
            bundle.Write("Mutated.nib", nib);
            Diagnostics::Capture quiet;
            IBNibRef ref = nullptr;
            if (CreateNibReferenceWithCFBundle(cfBundle, CFSTR("Mutated"), &ref) != noErr) {
                EXPECT_FALSE(passes);
                ++refused;
                continue;
            }
            bool allMade = true;
            for (const std::string& name : IBCopyNibObjectNames(ref, "Window")) {
                WindowRef window = nullptr;
                CFRef<CFStringRef> cfName = MakeString(name);
                if (CreateWindowFromNib(ref, cfName, &window) == noErr)
                    DisposeWindow(window);
                else
                    allMade = false;
            }
            for (const std::string& name : IBCopyNibObjectNames(ref, "Menu")) {
                MenuRef menu = nullptr;
                CFRef<CFStringRef> cfName = MakeString(name);
                if (CreateMenuFromNib(ref, cfName, &menu) == noErr)
                    ReleaseMenu(menu);
                else
                    allMade = false;
            }
            for (const std::string& name : IBCopyNibObjectNames(ref, "MenuBar")) {
                CFRef<CFStringRef> cfName = MakeString(name);
                allMade = SetMenuBarFromNib(ref, cfName) == noErr && allMade;
            }
            DisposeNibReference(ref);
            // A value out of place can also rename or retype a whole
            // object, which then is simply not asked for.
            if (passes) {
                EXPECT_TRUE(allMade);
            }
            refused += allMade ? 0 : 1;
            ++mutations;
        }
    }
    SetRootMenu(bar);
    CFRelease(bar);
    TestRunUntilIdle(0.1);
    EXPECT_EQ(HIObjectUnregisterClass(swatchClass), noErr);
    EXPECT_GT(refused, 0u);
    EXPECT_GT(mutations, 0u);
}

// ---- pictures ----

TEST_F(NibsTest, TheWindowImageShowsTheViewsAndTheHostedFields)
{
    WindowRef window = nullptr;
    ASSERT_EQ(CreateWindowFromNib(nib_, CFSTR("Every Kind"), &window), noErr);
    ShowWindow(window);
    TestRunUntilIdle();
    CGImageRef image = IBCopyWindowImage(window);
    ASSERT_NE(image, nullptr);
    const QImage pixels = CGImageGetQImage(image);
    CGImageRelease(image);
    EXPECT_EQ(pixels.width(), 520);
    EXPECT_EQ(pixels.height(), 400);
    // The window's background, and something else drawn over it where the
    // OK button and the edit field are.
    const QRgb background = pixels.pixel(5, 395);
    auto differs = [&](int left, int top, int width, int height) {
        for (int y = top; y < top + height; ++y) {
            for (int x = left; x < left + width; ++x) {
                if (pixels.pixel(x, y) != background)
                    return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(differs(20, 40, 90, 24));
    EXPECT_TRUE(differs(180, 110, 150, 22));
    EXPECT_FALSE(differs(370, 340, 130, 24));  // the hidden button
    EXPECT_EQ(IBCopyWindowImage(nullptr), nullptr);
    DisposeWindow(window);
}

}  // namespace
