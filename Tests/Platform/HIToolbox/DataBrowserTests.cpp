#include "HIToolboxTestSupport.h"

#include <FileFixtures.h>

#include <HIToolbox/DataBrowser.h>
#include <HIToolbox/DragTesting.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/HostedViews.h>
#include <HIToolbox/Nibs.h>

#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreGraphics/CGImageQt.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <QImage>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr DataBrowserPropertyID kName = FourCC("name");
constexpr DataBrowserPropertyID kDone = FourCC("done");
constexpr DataBrowserPropertyID kNote = FourCC("note");

// What the browser shows, and what it told us.
struct Model {
    struct Entry {
        std::string name;
        ThemeButtonValue done = kThemeButtonOff;
        std::vector<DataBrowserItemID> children;  // a container when not empty
    };
    std::map<DataBrowserItemID, Entry> entries;
    std::vector<std::pair<DataBrowserItemID, DataBrowserItemNotification>> news;
    std::vector<std::string> sets;  // what the browser set: "3 name=Renamed", "2 done=1"
    IconRef icon = nullptr;
    int customCells = 0;
};

Model* gModel = nullptr;

OSStatus ItemData(ControlRef browser, DataBrowserItemID item, DataBrowserPropertyID property,
                  DataBrowserItemDataRef data, Boolean setValue)
{
    auto found = gModel->entries.find(item);
    if (found == gModel->entries.end())
        return errDataBrowserItemNotFound;
    Model::Entry& entry = found->second;
    if (setValue) {
        if (property == kName) {
            CFStringRef text = nullptr;
            EXPECT_EQ(GetDataBrowserItemDataText(data, &text), noErr);
            entry.name = CFStringToUTF8(text);
            CFRelease(text);
            gModel->sets.push_back(std::to_string(item) + " name=" + entry.name);
        } else if (property == kDone) {
            ThemeButtonValue value = -1;
            EXPECT_EQ(GetDataBrowserItemDataButtonValue(data, &value), noErr);
            entry.done = value;
            gModel->sets.push_back(std::to_string(item) + " done=" + std::to_string(value));
        }
        return noErr;
    }
    switch (property) {
    case kName: {
        CFRef<CFStringRef> text(CFStringCreateWithUTF8(entry.name));
        SetDataBrowserItemDataText(data, text);
        if (gModel->icon)
            SetDataBrowserItemDataIcon(data, gModel->icon);
        return noErr;
    }
    case kDone:
        return SetDataBrowserItemDataButtonValue(data, entry.done);
    case kDataBrowserItemIsContainerProperty:
        return SetDataBrowserItemDataBooleanValue(data, !entry.children.empty());
    case kDataBrowserItemIsEditableProperty: {
        DataBrowserPropertyID column = 0;
        GetDataBrowserItemDataProperty(data, &column);
        return SetDataBrowserItemDataBooleanValue(data, column == kName);
    }
    default:
        (void)browser;
        return errDataBrowserPropertyNotSupported;
    }
}

void Notification(ControlRef browser, DataBrowserItemID item, DataBrowserItemNotification message)
{
    gModel->news.emplace_back(item, message);
    if (message == kDataBrowserContainerOpened) {
        const std::vector<DataBrowserItemID>& children = gModel->entries[item].children;
        EXPECT_EQ(AddDataBrowserItems(browser, item, children.size(), children.data(), 0), noErr);
    }
}

using News = std::vector<std::pair<DataBrowserItemID, DataBrowserItemNotification>>;

// A shown window with a browser: a name column (icon and text, the
// outline, editable), a check box column and a custom column; items 1…5 at
// the top, item 2 a container of 21 and 22.
class DataBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gModel = &model;
        for (DataBrowserItemID id : {1u, 2u, 3u, 4u, 5u})
            model.entries[id].name = "Item " + std::to_string(id);
        model.entries[2].name = "Folder";
        model.entries[2].children = {21, 22};
        model.entries[21].name = "Inside one";
        model.entries[22].name = "Inside two";
        model.entries[3].done = kThemeButtonOn;

        const Rect bounds = {100, 100, 300, 420};
        ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window), noErr);
        const Rect frame = {10, 10, 190, 310};  // top, left, bottom, right
        ASSERT_EQ(CreateDataBrowserControl(window, &frame, kDataBrowserListView, &browser), noErr);
        AddColumn(kName, kDataBrowserIconAndTextType, kDataBrowserPropertyIsMutable, 160, "Name");
        AddColumn(kDone, kDataBrowserCheckboxType, kDataBrowserPropertyIsMutable, 40, "Done");
        AddColumn(kNote, kDataBrowserCustomType, 0, 100, "Note");
        ASSERT_EQ(SetDataBrowserListViewDisclosureColumn(browser, kName, true), noErr);
        DataBrowserCallbacks callbacks;
        InitDataBrowserCallbacks(&callbacks);
        callbacks.u.v1.itemDataCallback = ItemData;
        callbacks.u.v1.itemNotificationCallback = Notification;
        ASSERT_EQ(SetDataBrowserCallbacks(browser, &callbacks), noErr);
        const DataBrowserItemID top[] = {1, 2, 3, 4, 5};
        ASSERT_EQ(AddDataBrowserItems(browser, kDataBrowserNoItem, 5, top, 0), noErr);
        model.news.clear();
        ShowWindow(window);
        TestRunUntilIdle();
    }
    void TearDown() override
    {
        DisposeWindow(window);
        TestRunUntilIdle();
        gModel = nullptr;
    }

    void AddColumn(DataBrowserPropertyID property, DataBrowserPropertyType type, DataBrowserPropertyFlags flags,
                   UInt16 width, const char* title)
    {
        CFRef<CFStringRef> name(CFStringCreateWithUTF8(title));
        DataBrowserListViewColumnDesc desc{};
        desc.propertyDesc = {property, type, flags};
        desc.headerBtnDesc.version = kDataBrowserListViewLatestHeaderDesc;
        desc.headerBtnDesc.minimumWidth = width;
        desc.headerBtnDesc.maximumWidth = width;
        desc.headerBtnDesc.titleString = name;
        ASSERT_EQ(AddDataBrowserListViewColumn(browser, &desc, kDataBrowserListViewAppendColumn), noErr);
    }

    // A point of a part of an item's cell, in window coordinates.
    HIPoint PointIn(DataBrowserItemID item, DataBrowserPropertyID property,
                    DataBrowserPropertyPart part = kDataBrowserPropertyContentPart)
    {
        Rect r = {};
        EXPECT_EQ(GetDataBrowserItemPartBounds(browser, item, property, part, &r), noErr);
        HIPoint point = {CGFloat(r.left + r.right) / 2, CGFloat(r.top + r.bottom) / 2};
        HIViewConvertPoint(&point, browser, nullptr);
        return point;
    }

    std::vector<DataBrowserItemID> Selected()
    {
        std::vector<DataBrowserItemID> out;
        ForEachDataBrowserItem(
            browser, kDataBrowserNoItem, true, kDataBrowserItemIsSelected,
            [](DataBrowserItemID item, DataBrowserItemState, void* data) {
                static_cast<std::vector<DataBrowserItemID>*>(data)->push_back(item);
            },
            &out);
        return out;
    }

    Model model;
    WindowRef window = nullptr;
    ControlRef browser = nullptr;
};

TEST_F(DataBrowserTest, SelectionSendsOneNotificationPerItemInOrder)
{
    const DataBrowserItemID two[] = {4, 1};
    ASSERT_EQ(SetDataBrowserSelectedItems(browser, 2, two, kDataBrowserItemsAssign), noErr);
    EXPECT_EQ(model.news, (News{{4, kDataBrowserItemSelected}, {1, kDataBrowserItemSelected}}));
    EXPECT_EQ(Selected(), (std::vector<DataBrowserItemID>{1, 4}));  // row order

    model.news.clear();
    const DataBrowserItemID three[] = {3};
    ASSERT_EQ(SetDataBrowserSelectedItems(browser, 1, three, kDataBrowserItemsAssign), noErr);
    EXPECT_EQ(model.news,
              (News{{1, kDataBrowserItemDeselected}, {4, kDataBrowserItemDeselected}, {3, kDataBrowserItemSelected}}));

    // The user: a click assigns, shift extends from the first selected row.
    model.news.clear();
    TestClick(window, PointIn(1, kName));
    TestRunUntilIdle();
    EXPECT_EQ(
        model.news,
        (News{{3, kDataBrowserItemDeselected}, {1, kDataBrowserItemSelected}, {0, kDataBrowserSelectionSetChanged}}));
    model.news.clear();
    TestClick(window, PointIn(3, kName), Qt::LeftButton, Qt::ShiftModifier);
    TestRunUntilIdle();
    EXPECT_EQ(
        model.news,
        (News{{2, kDataBrowserItemSelected}, {3, kDataBrowserItemSelected}, {0, kDataBrowserSelectionSetChanged}}));
    DataBrowserItemID first = 99, last = 99;
    ASSERT_EQ(GetDataBrowserSelectionAnchor(browser, &first, &last), noErr);
    EXPECT_EQ(std::make_pair(first, last), std::make_pair(DataBrowserItemID(1), DataBrowserItemID(3)));
}

TEST_F(DataBrowserTest, ADoubleClickSelectsThenSendsDoubleClicked)
{
    TestClick(window, PointIn(4, kName), Qt::LeftButton, Qt::NoModifier, 2);
    TestRunUntilIdle();
    EXPECT_EQ(model.news, (News{{4, kDataBrowserItemSelected},
                                {0, kDataBrowserSelectionSetChanged},
                                {4, kDataBrowserItemDoubleClicked}}));
}

TEST_F(DataBrowserTest, TheDisclosureTriangleOpensAndClosesTheContainer)
{
    Rect none = {1, 2, 3, 4};
    EXPECT_EQ(GetDataBrowserItemPartBounds(browser, 1, kName, kDataBrowserPropertyDisclosurePart, &none),
              errDataBrowserInvalidPropertyPart);  // not a container
    EXPECT_EQ((std::vector<int>{none.top, none.left, none.bottom, none.right}), (std::vector<int>{1, 2, 3, 4}));

    TestClick(window, PointIn(2, kName, kDataBrowserPropertyDisclosurePart));
    TestRunUntilIdle();
    EXPECT_EQ(model.news, (News{{2, kDataBrowserUserToggledContainer},
                                {2, kDataBrowserContainerOpened},
                                {21, kDataBrowserItemAdded},
                                {22, kDataBrowserItemAdded}}));
    DataBrowserItemState state = 0;
    ASSERT_EQ(GetDataBrowserItemState(browser, 2, &state), noErr);
    EXPECT_EQ(state, DataBrowserItemState(kDataBrowserContainerIsOpen));
    DataBrowserTableViewRowIndex row = 0;
    ASSERT_EQ(GetDataBrowserTableViewItemRow(browser, 22, &row), noErr);
    EXPECT_EQ(row, 3u);
    ItemCount count = 0;
    GetDataBrowserItemCount(browser, kDataBrowserNoItem, true, kDataBrowserItemAnyState, &count);
    EXPECT_EQ(count, 7u);

    // A selected child is deselected before it goes.
    const DataBrowserItemID child[] = {21};
    SetDataBrowserSelectedItems(browser, 1, child, kDataBrowserItemsAssign);
    model.news.clear();
    TestClick(window, PointIn(2, kName, kDataBrowserPropertyDisclosurePart));
    TestRunUntilIdle();
    EXPECT_EQ(model.news, (News{{2, kDataBrowserUserToggledContainer},
                                {2, kDataBrowserContainerClosing},
                                {22, kDataBrowserItemRemoved},
                                {21, kDataBrowserItemDeselected},
                                {21, kDataBrowserItemRemoved},
                                {2, kDataBrowserContainerClosed}}));
    EXPECT_EQ(GetDataBrowserTableViewItemRow(browser, 22, &row), errDataBrowserItemNotFound);
    EXPECT_EQ(OpenDataBrowserContainer(browser, 4), errDataBrowserItemNotFound);  // no container
}

TEST_F(DataBrowserTest, TheUserTogglesACheckBoxThroughItemData)
{
    TestClick(window, PointIn(3, kDone, kDataBrowserPropertyCheckboxPart));
    TestClick(window, PointIn(1, kDone, kDataBrowserPropertyCheckboxPart));
    TestRunUntilIdle();
    EXPECT_EQ(model.sets, (std::vector<std::string>{"3 done=0", "1 done=1"}));
    EXPECT_TRUE(model.news.empty());  // a toggle is no selection
}

TEST_F(DataBrowserTest, TheEditorCommitsThroughItemData)
{
    ASSERT_EQ(SetDataBrowserEditItem(browser, 3, kName), noErr);
    TestRunUntilIdle();
    EXPECT_EQ(model.news, (News{{3, kDataBrowserEditStarted}}));
    DataBrowserItemID item = 0;
    DataBrowserPropertyID property = 0;
    GetDataBrowserEditItem(browser, &item, &property);
    EXPECT_EQ(std::make_pair(item, property), std::make_pair(DataBrowserItemID(3), kName));
    CFStringRef text = nullptr;
    ASSERT_EQ(CopyDataBrowserEditText(browser, &text), noErr);
    EXPECT_EQ(CFStringToUTF8(text), "Item 3");
    CFRelease(text);
    ControlRef focus = nullptr;
    GetKeyboardFocus(window, &focus);
    ASSERT_NE(focus, nullptr);
    EXPECT_NE(focus, browser);  // the field over the cell

    SetDataBrowserEditText(browser, CFSTR("Renamed"));
    TestKeyClick(window, Qt::Key_Return);
    TestRunUntilIdle();
    EXPECT_EQ(model.sets, (std::vector<std::string>{"3 name=Renamed"}));
    EXPECT_EQ(model.news, (News{{3, kDataBrowserEditStarted}, {3, kDataBrowserEditStopped}}));
    GetDataBrowserEditItem(browser, &item, &property);
    EXPECT_EQ(item, kDataBrowserNoItem);
    EXPECT_EQ(CopyDataBrowserEditText(browser, &text), errDataBrowserNotConfigured);

    // Escape leaves the text as it was; a check box column has no editor.
    model.news.clear();
    ASSERT_EQ(SetDataBrowserEditItem(browser, 1, kName), noErr);
    SetDataBrowserEditText(browser, CFSTR("Dropped"));
    TestKeyClick(window, Qt::Key_Escape);
    TestRunUntilIdle();
    EXPECT_EQ(model.sets.size(), 1u);
    EXPECT_EQ(model.news, (News{{1, kDataBrowserEditStarted}, {1, kDataBrowserEditStopped}}));
    EXPECT_EQ(SetDataBrowserEditItem(browser, 1, kDone), errDataBrowserPropertyNotSupported);
    EXPECT_EQ(SetDataBrowserEditItem(browser, 77, kName), errDataBrowserItemNotFound);
}

TEST_F(DataBrowserTest, PartBoundsFollowColumnsRowsOutlineAndScrolling)
{
    OpenDataBrowserContainer(browser, 2);
    SetDataBrowserTableViewRowHeight(browser, 20);
    struct Case {
        const char* what;
        DataBrowserItemID item;
        DataBrowserPropertyID property;
        DataBrowserPropertyPart part;
        std::vector<int> bounds;  // left, top, right, bottom
    };
    // Header 17; content inset 4; outline: edge 4, 16 a level, triangle 12, gap 2.
    const Case cases[] = {
        {"first row, enclosing", 1, kName, kDataBrowserPropertyEnclosingPart, {0, 17, 160, 37}},
        {"first row, content after the triangle's place", 1, kName, kDataBrowserPropertyContentPart, {18, 17, 156, 37}},
        {"a child one level in", 21, kName, kDataBrowserPropertyContentPart, {34, 57, 156, 77}},
        {"the triangle", 2, kName, kDataBrowserPropertyDisclosurePart, {4, 41, 16, 53}},
        {"second column", 3, kDone, kDataBrowserPropertyEnclosingPart, {160, 97, 200, 117}},
        {"its content", 3, kDone, kDataBrowserPropertyContentPart, {164, 97, 196, 117}},
        {"its box", 3, kDone, kDataBrowserPropertyCheckboxPart, {164, 100, 178, 114}},
        {"icon", 1, kName, kDataBrowserPropertyIconPart, {18, 19, 34, 35}},
        {"text after the icon", 1, kName, kDataBrowserPropertyTextPart, {38, 17, 156, 37}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rect r = {};
        ASSERT_EQ(GetDataBrowserItemPartBounds(browser, c.item, c.property, c.part, &r), noErr);
        EXPECT_EQ((std::vector<int>{r.left, r.top, r.right, r.bottom}), c.bounds);
    }

    SetDataBrowserTableViewRowHeight(browser, 40);  // 7 rows: 280 under a header of 17 in 180
    ASSERT_EQ(SetDataBrowserScrollPosition(browser, 30, 0), noErr);
    UInt32 top = 0, left = 7;
    GetDataBrowserScrollPosition(browser, &top, &left);
    EXPECT_EQ(std::make_pair(top, left), std::make_pair(30u, 0u));
    Rect r = {};
    GetDataBrowserItemPartBounds(browser, 1, kName, kDataBrowserPropertyEnclosingPart, &r);
    EXPECT_EQ(r.top, 17 - 30);
    // Scrolling stays within the content: 280 - (180 - 17) down, none across.
    SetDataBrowserScrollPosition(browser, 5000, 5000);
    GetDataBrowserScrollPosition(browser, &top, &left);
    EXPECT_EQ(std::make_pair(top, left), std::make_pair(117u, 0u));

    // Refusals leave the output as it was.
    const struct {
        const char* what;
        ControlRef control;
        DataBrowserItemID item;
        DataBrowserPropertyID property;
        DataBrowserPropertyPart part;
        OSStatus status;
    } refusals[] = {
        {"unknown item", browser, 99, kName, kDataBrowserPropertyContentPart, errDataBrowserItemNotFound},
        {"unknown column", browser, 1, FourCC("none"), kDataBrowserPropertyContentPart, errDataBrowserPropertyNotFound},
        {"no such part", browser, 1, kDone, kDataBrowserPropertyTextPart, errDataBrowserInvalidPropertyPart},
        {"not a browser", HIViewGetSuperview(browser), 1, kName, kDataBrowserPropertyContentPart, errUnknownControl},
        {"nil", nullptr, 1, kName, kDataBrowserPropertyContentPart, errUnknownControl},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        Rect untouched = {1, 2, 3, 4};
        EXPECT_EQ(
            GetDataBrowserItemPartBounds(refusal.control, refusal.item, refusal.property, refusal.part, &untouched),
            refusal.status);
        EXPECT_EQ((std::vector<int>{untouched.top, untouched.left, untouched.bottom, untouched.right}),
                  (std::vector<int>{1, 2, 3, 4}));
    }
}

TEST_F(DataBrowserTest, RemovingTheSelectionWhileWalkingItRemovesExactlyIt)
{
    OpenDataBrowserContainer(browser, 2);
    const DataBrowserItemID chosen[] = {1, 21, 3, 4};
    SetDataBrowserSelectedItems(browser, 4, chosen, kDataBrowserItemsAssign);
    model.news.clear();
    struct Walk {
        ControlRef browser;
        std::vector<DataBrowserItemID> visited;
    } walk = {browser, {}};
    ASSERT_EQ(ForEachDataBrowserItem(
                  browser, kDataBrowserNoItem, true, kDataBrowserItemIsSelected,
                  [](DataBrowserItemID item, DataBrowserItemState state, void* data) {
                      auto* w = static_cast<Walk*>(data);
                      EXPECT_TRUE(state & kDataBrowserItemIsSelected);
                      w->visited.push_back(item);
                      DataBrowserItemID container = item == 21 ? 2 : kDataBrowserNoItem;
                      EXPECT_EQ(RemoveDataBrowserItems(w->browser, container, 1, &item, 0), noErr);
                  },
                  &walk),
              noErr);
    EXPECT_EQ(walk.visited, (std::vector<DataBrowserItemID>{1, 21, 3, 4}));
    std::vector<DataBrowserItemID> left;
    ForEachDataBrowserItem(
        browser, kDataBrowserNoItem, true, kDataBrowserItemAnyState,
        [](DataBrowserItemID item, DataBrowserItemState, void* data) {
            static_cast<std::vector<DataBrowserItemID>*>(data)->push_back(item);
        },
        &left);
    EXPECT_EQ(left, (std::vector<DataBrowserItemID>{2, 22, 5}));
    EXPECT_EQ(model.news.size(), 8u);  // deselected, removed: per item

    // Removing an item before its turn skips it; one added is not visited.
    struct Ahead {
        ControlRef browser;
        std::vector<DataBrowserItemID> visited;
    } ahead = {browser, {}};
    ForEachDataBrowserItem(
        browser, kDataBrowserNoItem, false, kDataBrowserItemAnyState,
        [](DataBrowserItemID item, DataBrowserItemState, void* data) {
            auto* a = static_cast<Ahead*>(data);
            a->visited.push_back(item);
            if (item == 2) {
                const DataBrowserItemID gone = 5, added = 6;
                gModel->entries[6].name = "Six";
                RemoveDataBrowserItems(a->browser, kDataBrowserNoItem, 1, &gone, 0);
                AddDataBrowserItems(a->browser, kDataBrowserNoItem, 1, &added, 0);
            }
        },
        &ahead);
    EXPECT_EQ(ahead.visited, (std::vector<DataBrowserItemID>{2}));
}

TEST_F(DataBrowserTest, AddingAndRemovingRefuseWhatIsNotThere)
{
    const DataBrowserItemID again[] = {7, 3, 8};
    EXPECT_EQ(AddDataBrowserItems(browser, kDataBrowserNoItem, 3, again, 0), errDataBrowserItemNotAdded);
    ItemCount count = 0;
    GetDataBrowserItemCount(browser, kDataBrowserNoItem, false, kDataBrowserItemAnyState, &count);
    EXPECT_EQ(count, 6u);  // 7 went in before 3 was refused
    const DataBrowserItemID closed[] = {30};
    EXPECT_EQ(AddDataBrowserItems(browser, 2, 1, closed, 0), errDataBrowserItemNotFound);
    const DataBrowserItemID stranger[] = {21};
    EXPECT_EQ(RemoveDataBrowserItems(browser, kDataBrowserNoItem, 1, stranger, 0), errDataBrowserItemNotFound);
    model.news.clear();
    EXPECT_EQ(RemoveDataBrowserItems(browser, kDataBrowserNoItem, 0, nullptr, 0), noErr);
    EXPECT_EQ(model.news.size(), 6u);
    ItemCount untouched = 42;
    EXPECT_EQ(GetDataBrowserItemCount(browser, 99, false, kDataBrowserItemAnyState, &untouched),
              errDataBrowserItemNotFound);
    EXPECT_EQ(untouched, 42u);
}

TEST_F(DataBrowserTest, TheColumnViewFallsBackToAListWithOneWarning)
{
    Diagnostics::Capture capture;
    const Rect frame = {0, 0, 50, 50};
    ControlRef columns = nullptr;
    ASSERT_EQ(CreateDataBrowserControl(window, &frame, kDataBrowserColumnView, &columns), noErr);
    EXPECT_EQ(SetDataBrowserViewStyle(columns, kDataBrowserColumnView), noErr);
    DataBrowserViewStyle style = 0;
    GetDataBrowserViewStyle(columns, &style);
    EXPECT_EQ(style, kDataBrowserListView);
    EXPECT_EQ(capture.Lines(),
              std::vector<std::string>{"Warning: the data browser has no column view; it shows a list view."});
}

TEST_F(DataBrowserTest, CustomCellsAreDrawnThroughTheDrawEvent)
{
    Handlers handlers;
    std::vector<std::pair<DataBrowserItemID, DataBrowserPropertyID>> drawn;
    handlers.Install(
        GetControlEventTarget(browser), {{kEventClassHIDataBrowser, kEventDataBrowserDrawCustomItem}},
        [&](EventRef event) {
            DataBrowserItemID item = 0;
            DataBrowserPropertyID property = 0;
            Rect bounds = {};
            CGContextRef context = nullptr;
            GetEventParameter(event, kEventParamDataBrowserItemID, typeUInt32, nullptr, sizeof item, nullptr, &item);
            GetEventParameter(event, kEventParamDataBrowserPropertyID, typeUInt32, nullptr, sizeof property, nullptr,
                              &property);
            GetEventParameter(event, kEventParamBounds, typeQDRectangle, nullptr, sizeof bounds, nullptr, &bounds);
            GetEventParameter(event, kEventParamCGContextRef, typeCGContextRef, nullptr, sizeof context, nullptr,
                              &context);
            EXPECT_NE(context, nullptr);
            Rect expected = {};
            GetDataBrowserItemPartBounds(browser, item, property, kDataBrowserPropertyEnclosingPart, &expected);
            EXPECT_EQ(bounds.left, expected.left);
            EXPECT_EQ(bounds.top, expected.top);
            drawn.emplace_back(item, property);
            return noErr;
        });
    HIViewSetNeedsDisplay(browser, true);
    TestRunUntilIdle();
    EXPECT_EQ(drawn, (std::vector<std::pair<DataBrowserItemID, DataBrowserPropertyID>>{
                         {1, kNote}, {2, kNote}, {3, kNote}, {4, kNote}, {5, kNote}}));
}

TEST_F(DataBrowserTest, ABrowserRendersItsRows)
{
    IconRef folder = nullptr;
    GetIconRef(0, kSystemIconsCreator, kGenericFolderIcon, &folder);
    model.icon = folder;
    DataBrowserChangeAttributes(browser, kDataBrowserAttributeListViewAlternatingRowColors, 0);
    SetDataBrowserSortProperty(browser, kName);
    OpenDataBrowserContainer(browser, 2);
    const DataBrowserItemID chosen[] = {21};
    SetDataBrowserSelectedItems(browser, 1, chosen, kDataBrowserItemsAssign);
    TestRunUntilIdle();
    CFRef<CGImageRef> image(IBCopyWindowImage(window));
    ASSERT_TRUE(image);
    const QImage pixels = CGImageGetQImage(image);
    pixels.save("/tmp/databrowser.png");
    // The selected row is in the highlight colour, an odd row is not white.
    Rect selected = {};
    GetDataBrowserItemPartBounds(browser, 21, kDone, kDataBrowserPropertyEnclosingPart, &selected);
    const QColor highlight = pixels.pixelColor(10 + selected.right - 2, 10 + selected.top + 2);
    EXPECT_GT(highlight.blue(), highlight.red() + 40) << highlight.name().toStdString();
    Rect plain = {};
    GetDataBrowserItemPartBounds(browser, 3, kDone, kDataBrowserPropertyEnclosingPart, &plain);
    EXPECT_EQ(pixels.pixelColor(10 + plain.right - 2, 10 + plain.top + 2).name().toStdString(), "#ffffff");
    model.icon = nullptr;
    ReleaseIconRef(folder);
}

// The drag callbacks of the test below: what they saw.
struct DragLog {
    std::vector<DataBrowserItemID> added;
    std::vector<DataBrowserItemID> asked;
    DataBrowserItemID received = 0;
    UInt16 itemsDropped = 0;
    OSStatus result = 1;
};
DragLog* gDrags = nullptr;

TEST_F(DataBrowserTest, RowsAreDraggedThroughTheAddDragItemCallbackAndDroppedOnAnAcceptedRow)
{
    DragLog log;
    gDrags = &log;
    ASSERT_EQ(SetAutomaticControlDragTrackingEnabledForWindow(window, true), noErr);
    DataBrowserCallbacks callbacks;
    GetDataBrowserCallbacks(browser, &callbacks);
    callbacks.u.v1.addDragItemCallback = [](ControlRef, DragRef drag, DataBrowserItemID item, ItemReference* ref) {
        gDrags->added.push_back(item);
        EXPECT_EQ(*ref, item);
        return Boolean(AddDragItemFlavor(drag, *ref, FourCC("dbDG"), &item, sizeof item, 0) == noErr);
    };
    callbacks.u.v1.acceptDragCallback = [](ControlRef, DragRef, DataBrowserItemID item) {
        gDrags->asked.push_back(item);
        return Boolean(item == 4);
    };
    callbacks.u.v1.receiveDragCallback = [](ControlRef, DragRef drag, DataBrowserItemID item) {
        gDrags->received = item;
        CountDragItems(drag, &gDrags->itemsDropped);
        return Boolean(true);
    };
    callbacks.u.v1.postProcessDragCallback = [](ControlRef, DragRef, OSStatus result) { gDrags->result = result; };
    ASSERT_EQ(SetDataBrowserCallbacks(browser, &callbacks), noErr);
    const DataBrowserItemID chosen[] = {1, 3};
    SetDataBrowserSelectedItems(browser, 2, chosen, kDataBrowserItemsAssign);

    auto global = [&](HIPoint p) {
        HIPointConvert(&p, kHICoordSpaceWindow, window, kHICoordSpaceScreenPixel, nullptr);
        return p;
    };
    const HIPoint start = PointIn(3, kName);
    {
        TestDragScript script({global(PointIn(5, kName)), global(PointIn(4, kName))});
        TestMousePress(window, start);
        TestMouseMove(window, {start.x, start.y + 8});
        TestMouseRelease(window, {start.x, start.y + 8});
        TestRunUntilIdle();
    }
    EXPECT_EQ(log.added, (std::vector<DataBrowserItemID>{1, 3}));
    EXPECT_EQ(log.asked, (std::vector<DataBrowserItemID>{5, 4}));
    EXPECT_EQ(log.received, 4u);
    EXPECT_EQ(log.itemsDropped, 2u);
    EXPECT_EQ(log.result, noErr);
    EXPECT_EQ(Selected(), (std::vector<DataBrowserItemID>{1, 3}));  // a drag keeps the selection
    gDrags = nullptr;
}

TEST(DataBrowserNibTest, ANibHoldsADataBrowser)
{
    const std::string view =
        "<dict><key>Kind</key><string>datb</string><key>Frame</key><array><integer>0</integer><integer>0</integer>"
        "<integer>200</integer><integer>100</integer></array><key>Signature</key><string>FILE</string>"
        "<key>ID</key><integer>128</integer><key>Columns</key><array>"
        "<dict><key>Property</key><string>FILE</string><key>Type</key><string>iconText</string>"
        "<key>Title</key><string>File</string><key>Width</key><integer>120</integer></dict>"
        "<dict><key>Property</key><string>PATH</string></dict></array>"
        "<key>DisclosureColumn</key><string>FILE</string><key>RowHeight</key><integer>20</integer></dict>";
    auto nibWith = [](const std::string& views) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict><key>Format</key>"
               "<integer>1</integer><key>Objects</key><dict><key>W</key><dict><key>Type</key><string>Window</string>"
               "<key>Bounds</key><array><integer>0</integer><integer>0</integer><integer>300</integer>"
               "<integer>200</integer></array><key>Views</key><array>" +
               views + "</array></dict></dict></dict></plist>";
    };
    const std::string good = nibWith(view);
    EXPECT_EQ(IBLintNibData("D.nib", good.data(), good.size()), std::vector<std::string>{});
    std::string misspelt = view;
    misspelt.replace(misspelt.find("RowHeight"), 9, "RowHieght");
    const std::string bad = nibWith(misspelt);
    EXPECT_EQ(IBLintNibData("D.nib", bad.data(), bad.size()),
              std::vector<std::string>{"D.nib, window \"W\", view 1 (datb): unknown key \"RowHieght\""});

    ScratchFolder folder;
    folder.Write("D.nib", good);
    std::string broken = view;
    broken.replace(broken.find("<integer>20</integer>"), 21, "<string>20</string>");
    folder.Write("E.nib", nibWith(broken));
    CFRef<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const UInt8*>(folder.Path().c_str()), CFIndex(folder.Path().size()), true));
    CFRef<CFBundleRef> bundle(CFBundleCreate(nullptr, url));
    IBNibRef nib = nullptr;
    ASSERT_EQ(CreateNibReferenceWithCFBundle(bundle, CFSTR("D"), &nib), noErr);
    WindowRef window = nullptr;
    ASSERT_EQ(CreateWindowFromNib(nib, CFSTR("W"), &window), noErr);
    DisposeNibReference(nib);
    const ControlID id = {FourCC("FILE"), 128};
    ControlRef browser = nullptr;
    ASSERT_EQ(GetControlByID(window, &id, &browser), noErr);
    UInt32 columns = 0;
    EXPECT_EQ(GetDataBrowserTableViewColumnCount(browser, &columns), noErr);
    EXPECT_EQ(columns, 2u);
    DataBrowserTableViewColumnID disclosure = 0;
    GetDataBrowserListViewDisclosureColumn(browser, &disclosure, nullptr);
    EXPECT_EQ(disclosure, FourCC("FILE"));
    UInt16 width = 0, height = 0;
    GetDataBrowserTableViewNamedColumnWidth(browser, FourCC("FILE"), &width);
    GetDataBrowserTableViewRowHeight(browser, &height);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(UInt16(120), UInt16(20)));
    DisposeWindow(window);

    // A value of the wrong type fails the window, leaving nothing behind.
    ASSERT_EQ(CreateNibReferenceWithCFBundle(bundle, CFSTR("E"), &nib), noErr);
    WindowRef untouched = reinterpret_cast<WindowRef>(0x1);
    Diagnostics::Capture capture;
    EXPECT_EQ(CreateWindowFromNib(nib, CFSTR("W"), &untouched), errDataBrowserInvalidPropertyData);
    EXPECT_EQ(untouched, reinterpret_cast<WindowRef>(0x1));
    EXPECT_EQ(
        capture.Lines(),
        std::vector<std::string>{"Warning: E.nib, window \"W\", view 1 (datb): the view cannot be made (error -4974)"});
    DisposeNibReference(nib);
}

}  // namespace
