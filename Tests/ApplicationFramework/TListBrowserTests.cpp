// Browsers of nodes on a real data browser: item notifications reaching
// the nodes and the browser, the keys and clicks that edit and remove,
// rows dragged and dropped before, into or after other rows, archives of
// lists, and what a list of icon-and-text rows looks like.
#include "FrameworkTestSupport.h"

#include <ApplicationFramework/Classes/TDragUnit.h>
#include <ApplicationFramework/Classes/TListBrowserUnit.h>
#include <Units/Classes/TArchiverUnit.h>

#include <CoreFoundation/CFRef.h>
#include <CoreGraphics/CGImageQt.h>
#include <HIToolbox/DragTesting.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/Menus.h>
#include <HIToolbox/Nibs.h>
#include <Support/Clock.h>
#include <Support/Diagnostics.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <QImage>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr DataBrowserPropertyID kName = FourCC("TEXT");

std::vector<std::string>* gLog = nullptr;

void Log(const std::string& line)
{
    if (gLog != nullptr)
        gLog->push_back(line);
}

std::string Text(CFStringRef text)
{
    return text != nullptr ? CFStringToUTF8(text) : "(nil)";
}

// A row that writes down what reaches it.
class RecordingNode : public TIconTextListNode {
    BRINDLET_CLASS(RecordingNode, TIconTextListNode)

public:
    bool expandable = false;
    bool editable = false;
    bool removeOnMouseDown = false;

    static RecordingNode* Create(TBrowserDataSource* source, const std::string& text)
    {
        RecordingNode* node = Make<RecordingNode>(source);
        CFRef<CFStringRef> name(CFStringCreateWithUTF8(text));
        node->SetText(name);
        return node;
    }

    std::string Name() { return Text(GetText()); }

    bool IsExpandable() override { return expandable; }
    void HandleSelected() override { Log(Name() + " selected"); }
    void HandleDeselected() override { Log(Name() + " deselected"); }
    void HandleDoubleClicked() override { Log(Name() + " double-clicked"); }
    void HandleRemoved() override { Log(Name() + " removed"); }
    void HandleMoved() override { Log(Name() + " moved"); }
    using TIconTextListNode::HandleNotification;
    void HandleNotification(DataBrowserItemNotification message) override
    {
        Log(Name() + " message " + std::to_string(message));
    }
    void HandleMouseDown(CGPoint) override
    {
        Log(Name() + " down");
        if (removeOnMouseDown)
            Remove();
    }
    void HandleMouseUp(CGPoint) override { Log(Name() + " up"); }
    void HandleMouseClicked(CGPoint) override { Log(Name() + " clicked"); }
    bool EditItemText(CFStringRef& text, DataBrowserPropertyID& column, CGFloat& width, CGPoint& anchor) override
    {
        if (!editable)
            return false;
        column = kName;
        text = GetText() != nullptr ? CFStringCreateCopy(nullptr, GetText()) : nullptr;
        (void)width;
        (void)anchor;
        return true;
    }
    MenuRef HandleContextualMenu() override
    {
        MenuRef menu = nullptr;
        CreateNewMenu(300, 0, &menu);
        CFRef<CFStringRef> title(CFStringCreateWithUTF8("Rename " + Name()));
        AppendMenuItemTextWithCFString(menu, title, 0, FourCC("rnam"), nullptr);
        return menu;
    }
    void HandleContextualMenuSelection(MenuRef, MenuID, MenuItemIndex item) override
    {
        Log(Name() + " menu item " + std::to_string(item));
    }
    bool handlesCommands = false;
    void ProcessCommand(const HICommand& command, OSStatus& result) override
    {
        Log(Name() + " command " + FCCToString(command.commandID).ToString());
        if (handlesCommands)
            result = noErr;
    }
    void HandleContainerOpened() override { Log(Name() + " opened"); }
    void HandleContainerClosed() override { Log(Name() + " closed"); }
    void HandleEditedText(CFStringRef text) override
    {
        Log(Name() + " edited to " + Text(text));
        Inherited::HandleEditedText(text);
    }

protected:
    RecordingNode() = default;
};

// A list browser that writes down its selection and its drag images.
class RecordingListBrowser : public TListBrowser {
    BRINDLET_CLASS(RecordingListBrowser, TListBrowser)

public:
    std::vector<UInt16> dragImageItemCounts;
    int selectionChanges = 0;
    std::vector<std::pair<UInt32, UInt32>> heights;
    std::vector<UInt32> focusValues;

    static RecordingListBrowser* Create(ControlRef control, TDataBrowserOptions options)
    {
        return static_cast<RecordingListBrowser*>(CreateWithClass(StaticClass(), control, nullptr, options));
    }

    void HandleSelectionChanged(TTypeArray* selection) override
    {
        ++selectionChanges;
        std::string line = "selection";
        if (selection == nullptr)
            line += " none";
        for (SInt32 i = 0; selection != nullptr && i < selection->Count(); ++i)
            line += " " + std::to_string(DataBrowserSelectionItem(selection, i));
        Log(line);
    }
    void HandleHeightChanged(UInt32 oldHeight, UInt32 newHeight) override
    {
        heights.emplace_back(oldHeight, newHeight);
    }
    void HandleFocusMenuItem(UInt32 value) override { focusValues.push_back(value); }
    void CreateDragImage(DataBrowserItemID item, DragRef drag) override
    {
        UInt16 count = 0;
        CountDragItems(drag, &count);
        dragImageItemCounts.push_back(count);
        Inherited::CreateDragImage(item, drag);
    }

protected:
    RecordingListBrowser() = default;
};

// A list source that leaves the first node out of its browsers.
class SkipFirstSource : public TListDataSource {
    BRINDLET_CLASS(SkipFirstSource, TListDataSource)

public:
    static SkipFirstSource* Create() { return CreateInstance<SkipFirstSource>(); }
    bool FilterNode(TBrowserNode* node, TDataBrowser*) override { return node != GetValue(0); }

protected:
    SkipFirstSource() = default;
};

// A shown window with a list browser of five rows "Row 1" … "Row 5" in
// one column (kName), 20 units high, no header.
class ListBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gLog = &log;
        ASSERT_EQ(CreateNibReference(CFSTR("main"), &nib), noErr);
        savedNib = ApplicationNib;
        ApplicationNib = nib;
    }
    void TearDown() override
    {
        if (window != nullptr)
            DisposeWindow(window);
        for (WindowRef other : others)
            DisposeWindow(other);
        TestRunUntilIdle();
        ApplicationNib = savedNib;
        DisposeNibReference(nib);
        gLog = nullptr;
    }

    // A browser control in a new shown window, with one column of `type`.
    ControlRef MakeControl(DataBrowserPropertyType type, WindowRef* into = nullptr)
    {
        const Rect bounds = {100, 100, 300, 420};
        WindowRef w = nullptr;
        EXPECT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &w), noErr);
        const Rect frame = {10, 10, 190, 310};
        ControlRef control = nullptr;
        EXPECT_EQ(CreateDataBrowserControl(w, &frame, kDataBrowserListView, &control), noErr);
        CFRef<CFStringRef> title(CFStringCreateWithUTF8("Name"));
        DataBrowserListViewColumnDesc desc{};
        desc.propertyDesc = {kName, type, kDataBrowserPropertyIsMutable};
        desc.headerBtnDesc.version = kDataBrowserListViewLatestHeaderDesc;
        desc.headerBtnDesc.minimumWidth = 300;
        desc.headerBtnDesc.maximumWidth = 300;
        desc.headerBtnDesc.titleString = title;
        EXPECT_EQ(AddDataBrowserListViewColumn(control, &desc, kDataBrowserListViewAppendColumn), noErr);
        SetDataBrowserListViewHeaderBtnHeight(control, 0);
        SetDataBrowserTableViewRowHeight(control, 20);
        ShowWindow(w);
        if (into != nullptr)
            *into = w;
        else
            window = w;
        return control;
    }

    void MakeBrowser(TDataBrowserOptions options, DataBrowserPropertyType type = kDataBrowserCustomType, int rows = 5)
    {
        control = MakeControl(type);
        browser = RecordingListBrowser::Create(control, options | kDataBrowserOptionListSource);
        ASSERT_NE(browser->GetDataSource(), nullptr);
        browser->SetDragColumn(kName);
        for (int i = 1; i <= rows; ++i) {
            RecordingNode* node = RecordingNode::Create(nullptr, "Row " + std::to_string(i));
            browser->Append(node);
            node->Release();
        }
        browser->Reload();
        TestRunUntilIdle();
        log.clear();
    }

    RecordingNode* Node(DataBrowserItemID id)
    {
        return static_cast<RecordingNode*>(browser->GetDataSource()->GetNode(id));
    }

    // The rows' texts in list order, each with its ID.
    std::vector<std::string> Rows()
    {
        std::vector<std::string> rows;
        TListDataSource* source = browser->GetDataSource();
        for (SInt32 i = 0; i < source->RowCount(); ++i) {
            RecordingNode* node = static_cast<RecordingNode*>(source->GetValue(i));
            rows.push_back(std::to_string(node->GetID()) + " " + node->Name());
        }
        return rows;
    }

    std::vector<DataBrowserItemID> Selected()
    {
        std::vector<DataBrowserItemID> out;
        TTypeArray* selection = browser->CopySelection();
        for (SInt32 i = 0; selection != nullptr && i < selection->Count(); ++i)
            out.push_back(DataBrowserSelectionItem(selection, i));
        if (selection != nullptr)
            selection->Release();
        return out;
    }

    void Select(std::vector<DataBrowserItemID> items)
    {
        SetDataBrowserSelectedItems(control, items.size(), items.data(), kDataBrowserItemsAssign);
        TestRunUntilIdle();
        log.clear();
    }

    // A point of the item's row (its first column): `dy` below the row's top
    // (negative: the middle), in the control's and in the window's space.
    CGPoint ControlPoint(DataBrowserItemID item, CGFloat dy = -1)
    {
        Rect r{};
        EXPECT_EQ(GetDataBrowserItemPartBounds(control, item, kName, kDataBrowserPropertyEnclosingPart, &r), noErr);
        return CGPointMake((r.left + r.right) / 2.0, dy < 0 ? (r.top + r.bottom) / 2.0 : r.top + dy);
    }
    HIPoint WindowPoint(DataBrowserItemID item, CGFloat dy = -1)
    {
        HIPoint point = ControlPoint(item, dy);
        HIViewConvertPoint(&point, control, nullptr);
        return point;
    }
    HIPoint GlobalPoint(DataBrowserItemID item, CGFloat dy = -1)
    {
        HIPoint point = WindowPoint(item, dy);
        HIPointConvert(&point, kHICoordSpaceWindow, window, kHICoordSpaceScreenPixel, nullptr);
        return point;
    }

    FrameworkScope scope;
    IBNibRef nib = nullptr;
    IBNibRef savedNib = nullptr;
    std::vector<std::string> log;
    WindowRef window = nullptr;
    std::vector<WindowRef> others;
    ControlRef control = nullptr;
    RecordingListBrowser* browser = nullptr;
};

// A drag such as a browser makes, carrying these nodes' references.
TDrag* DragOfNodes(const std::vector<TBrowserNode*>& nodes)
{
    TDrag* drag = TDrag::Create();
    DragItemRef item = 1;
    for (TBrowserNode* node : nodes) {
        drag->AddFlavor(item, kBrowserNodeFlavor, &node, sizeof node);
        ++item;
    }
    return drag;
}

}  // namespace

BRINDLET_DEFINE_CLASS(RecordingNode, TIconTextListNode)
BRINDLET_DEFINE_CLASS(RecordingListBrowser, TListBrowser)
BRINDLET_DEFINE_CLASS(SkipFirstSource, TListDataSource)

// ---- notifications, selection, editing ----

TEST_F(ListBrowserTest, NotificationsReachTheNodeThenTheBrowserWithTheSelection)
{
    MakeBrowser(0, kDataBrowserTextType);
    EXPECT_EQ(browser->CopySelection(), nullptr);
    EXPECT_EQ(browser->GetSingleSelection(), 0u);
    EXPECT_EQ(browser->GetSelection(), nullptr);

    Node(2)->Select();
    EXPECT_EQ(log, (std::vector<std::string>{"Row 2 selected", "Row 2 message 5", "selection 2"}));
    log.clear();
    Node(4)->Select();
    EXPECT_EQ(log, (std::vector<std::string>{"Row 2 deselected", "Row 2 message 6", "selection none", "Row 4 selected",
                                             "Row 4 message 5", "selection 4"}));
    EXPECT_EQ(browser->GetSelection(), Node(4));
    EXPECT_TRUE(Node(4)->IsSelected());
    EXPECT_FALSE(Node(2)->IsSelected());
}

TEST_F(ListBrowserTest, SelectingANodePicksItsOwnRowWhenTheBrowserLeavesNodesOut)
{
    control = MakeControl(kDataBrowserTextType);
    browser = RecordingListBrowser::Create(control, 0);
    EXPECT_EQ(browser->GetDataSource(), nullptr);  // no list source without option 128
    SkipFirstSource* source = SkipFirstSource::Create();
    for (const char* text : {"Hidden", "Shown one", "Shown two"}) {
        RecordingNode* node = RecordingNode::Create(nullptr, text);
        source->Append(node);
        node->Release();
    }
    browser->SetDataSource(source);
    source->Release();
    EXPECT_EQ(browser->CountItems(), 2u);

    // "Shown two" is on row 1 and has ID 3.
    Node(3)->Select();
    EXPECT_EQ(Selected(), (std::vector<DataBrowserItemID>{3}));
    EXPECT_EQ(browser->SelectedRow(), 1u);
    Node(2)->AppendSelection();
    EXPECT_EQ(Selected(), (std::vector<DataBrowserItemID>{2, 3}));
}

TEST_F(ListBrowserTest, ADoubleClickOpensTheControlsEditorOnTheEditColumn)
{
    MakeBrowser(0, kDataBrowserTextType);
    browser->SetEditColumn(kName);
    TestClick(window, WindowPoint(3), Qt::LeftButton, Qt::NoModifier, 2);
    TestRunUntilIdle();
    EXPECT_NE(std::find(log.begin(), log.end(), "Row 3 double-clicked"), log.end());
    DataBrowserItemID item = 0;
    DataBrowserPropertyID property = 0;
    GetDataBrowserEditItem(control, &item, &property);
    EXPECT_EQ(item, 3u);
    EXPECT_EQ(property, kName);
    EXPECT_TRUE(browser->IsEditing());

    // While the control's editor is open, Return is the editor's.
    SetDataBrowserEditText(control, CFSTR("Renamed"));
    SetDataBrowserEditItem(control, kDataBrowserNoItem, 0);
    TestRunUntilIdle();
    EXPECT_FALSE(browser->IsEditing());
    EXPECT_EQ(Node(3)->Name(), "Renamed");
}

TEST_F(ListBrowserTest, ReturnEditsTheFirstSelectedRowInTheEditWindow)
{
    MakeBrowser(0);
    Node(2)->editable = true;
    Node(4)->editable = true;
    Select({4, 2});
    SetKeyboardFocus(window, control, kControlFocusNextPart);
    TestKeyClick(window, Qt::Key_Return);
    TestRunUntilIdle();
    WindowRef edit = GetUserFocusWindow();
    ASSERT_NE(edit, window);
    ControlRef field = nullptr;
    ASSERT_EQ(GetControlByID(edit, &kEditBrowserTextFieldID, &field), noErr);
    EXPECT_EQ(Text(CFRef<CFStringRef>(HIViewCopyText(field)).get()), "Row 2");
    // The field sits over the row's text, right of the icon.
    HIRect fieldFrame = CGRectZero;
    HIViewGetFrame(field, &fieldFrame);
    HIPoint fieldOrigin = fieldFrame.origin;
    HIPointConvert(&fieldOrigin, kHICoordSpaceWindow, edit, kHICoordSpaceScreenPixel, nullptr);
    HIPoint rowOrigin = {18, CGFloat(ControlPoint(2, 0).y)};
    HIPointConvert(&rowOrigin, kHICoordSpaceView, control, kHICoordSpaceScreenPixel, nullptr);
    EXPECT_NEAR(fieldOrigin.x, rowOrigin.x, 8);
    EXPECT_NEAR(fieldOrigin.y, rowOrigin.y, 8);

    HIViewSetText(field, CFSTR("Second row"));
    TestKeyClick(edit, Qt::Key_Return);
    TestRunUntilIdle();
    EXPECT_FALSE(IsValidWindowPtr(edit));
    EXPECT_EQ(log, std::vector<std::string>{"Row 2 edited to Second row"});
    EXPECT_EQ(Node(2)->Name(), "Second row");
}

TEST_F(ListBrowserTest, ASlowSecondClickOnTheSelectedRowEditsUnlessTheMouseMoved)
{
    struct Row {
        const char* name;
        bool selectedFirst;
        bool moveBetween;
        double wait;
        bool edits;
    };
    const Row rows[] = {
        {"slow click on the selected row", true, false, 1.0, true},
        {"too soon", true, false, 0.5, false},
        {"the mouse moved", true, true, 1.0, false},
        {"a click on another row", false, false, 1.0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // The browser's timer runs on the stopped clock.
        Clock::Fake clock(1'700'000'000);
        MakeBrowser(0);
        // Each row's window elsewhere (and away from other tests' windows), so
        // that no click follows another's as a double click.
        const Rect bounds = {100, SInt16(140 + 40 * (&row - rows)), 300, SInt16(460 + 40 * (&row - rows))};
        SetWindowBounds(window, kWindowContentRgn, &bounds);
        TestRunUntilIdle();
        Node(3)->editable = true;
        Select({row.selectedFirst ? 3u : 1u});
        TestClick(window, WindowPoint(3));
        EXPECT_EQ(browser->GetPendingEditItem(), 3u);
        EXPECT_EQ(browser->GetPendingEditTick() > 0, row.selectedFirst);
        if (row.moveBetween) {
            OSStatus status = eventNotHandledErr;
            browser->EventMouseMoved(CGPointMake(ControlPoint(3).x + 3, ControlPoint(3).y), status);
        }
        clock.Advance(row.wait);
        TestRunUntilIdle();
        clock.Advance(0.2);
        TestRunUntilIdle();
        const bool opened = GetUserFocusWindow() != window;
        EXPECT_EQ(opened, row.edits);
        if (opened)
            others.push_back(GetUserFocusWindow());
        DisposeWindow(window);
        window = nullptr;
        TestRunUntilIdle();
    }
}

// ---- removing ----

TEST_F(ListBrowserTest, TheDeleteKeysAndTheRemoveCommandRemoveExactlyTheSelection)
{
    enum class Input { Backspace, ForwardDelete, RemoveCommand, Method };
    struct Row {
        const char* name;
        TDataBrowserOptions options;
        Input input;
        std::vector<DataBrowserItemID> selection;
        std::vector<std::string> left;
    };
    const Row rows[] = {
        {"Delete, rows apart",
         kDataBrowserOptionDeleteKeyRemoves,
         Input::Backspace,
         {2, 4},
         {"1 Row 1", "2 Row 3", "3 Row 5"}},
        {"forward Delete, first and last",
         kDataBrowserOptionDeleteKeyRemoves,
         Input::ForwardDelete,
         {1, 2, 5},
         {"1 Row 3", "2 Row 4"}},
        {"Delete without the option",
         0,
         Input::Backspace,
         {2, 4},
         {"1 Row 1", "2 Row 2", "3 Row 3", "4 Row 4", "5 Row 5"}},
        {"the remove command", 0, Input::RemoveCommand, {1, 3, 5}, {"1 Row 2", "2 Row 4"}},
        {"all of them", 0, Input::Method, {1, 2, 3, 4, 5}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MakeBrowser(row.options);
        const UInt32 modifications = browser->GetModificationCount();
        Select(row.selection);
        switch (row.input) {
        case Input::Backspace:
        case Input::ForwardDelete:
            SetKeyboardFocus(window, control, kControlFocusNextPart);
            TestKeyClick(window, row.input == Input::Backspace ? Qt::Key_Backspace : Qt::Key_Delete);
            break;
        case Input::RemoveCommand: {
            EventRef event = nullptr;
            ASSERT_EQ(CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event), noErr);
            HICommand command{};
            command.commandID = kDataBrowserCommandRemoveItems;
            SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
            SendEventToEventTarget(event, GetControlEventTarget(control));
            ReleaseEvent(event);
            break;
        }
        case Input::Method:
            browser->ClearSelection(true);
            break;
        }
        TestRunUntilIdle();
        EXPECT_EQ(Rows(), row.left);
        EXPECT_EQ(browser->CountItems(), row.left.size());
        const bool removed = row.left.size() < 5;
        EXPECT_EQ(browser->GetModificationCount() - modifications, removed ? row.selection.size() : 0u);
        if (removed) {
            EXPECT_EQ(Selected(), std::vector<DataBrowserItemID>{});
            // Each removed row heard of it, and the browser heard of the
            // selection once.
            for (DataBrowserItemID id : row.selection)
                EXPECT_NE(std::find(log.begin(), log.end(), "Row " + std::to_string(id) + " removed"), log.end());
            EXPECT_EQ(std::count(log.begin(), log.end(), "selection none"), 1);
        }
        DisposeWindow(window);
        window = nullptr;
        TestRunUntilIdle();
    }
}

TEST_F(ListBrowserTest, ADataBrowserWithoutRemovalKeepsItsItemsOnDelete)
{
    control = MakeControl(kDataBrowserTextType);
    TDataBrowser* plain = TDataBrowser::Create(control, nullptr, kDataBrowserOptionDeleteKeyRemoves);
    EXPECT_EQ(DataBrowserObject(control), plain);
    const DataBrowserItemID items[] = {1, 2, 3};
    ASSERT_EQ(AddDataBrowserItems(control, kDataBrowserNoItem, 3, items, 0), noErr);
    plain->SelectAll();
    EXPECT_EQ(plain->CountSelection(), 3u);
    SetKeyboardFocus(window, control, kControlFocusNextPart);
    TestKeyClick(window, Qt::Key_Backspace);
    TestRunUntilIdle();
    EXPECT_EQ(plain->CountItems(), 3u);
    plain->RemoveSelection();
    EXPECT_EQ(plain->CountSelection(), 0u);
    EXPECT_EQ(plain->CountItems(), 3u);
}

TEST_F(ListBrowserTest, ChangingALongSelectionLooksAtItOnce)
{
    MakeBrowser(0, kDataBrowserCustomType, 3000);
    browser->selectionChanges = 0;
    browser->SelectAll();
    EXPECT_EQ(browser->CountSelection(), 3000u);
    EXPECT_EQ(browser->selectionChanges, 1);
    browser->selectionChanges = 0;
    browser->ClearSelection(true);
    EXPECT_EQ(browser->CountItems(), 0u);
    EXPECT_EQ(browser->GetDataSource()->RowCount(), 0);
    EXPECT_EQ(browser->selectionChanges, 1);
}

// ---- the mouse ----

TEST_F(ListBrowserTest, AMouseUpWhereTheMouseWentDownClicksTheNode)
{
    struct Row {
        const char* name;
        CGFloat dx, dy;
        bool removes;
        std::vector<std::string> log;
    };
    const Row rows[] = {
        {"same point", 0, 0, false, {"Row 2 down", "Row 2 up", "Row 2 clicked"}},
        {"one unit right", 1, 0, false, {"Row 2 down", "Row 2 up"}},
        {"half a unit down", 0, 0.5, false, {"Row 2 down", "Row 2 up"}},
        {"the node removed itself", 0, 0, true, {"Row 2 down", "Row 2 up"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MakeBrowser(0);
        Node(2)->removeOnMouseDown = row.removes;
        const CGPoint down = ControlPoint(2);
        OSStatus status = eventNotHandledErr;
        browser->EventMouseDown(down, status);
        browser->EventMouseUp(CGPointMake(down.x + row.dx, down.y + row.dy), status);
        EXPECT_EQ(log, row.log);
        EXPECT_EQ(status, eventNotHandledErr);
        DisposeWindow(window);
        window = nullptr;
        TestRunUntilIdle();
        log.clear();
    }
}

// ---- dragging rows ----

TEST_F(ListBrowserTest, ADropGoesBeforeIntoOrAfterARowByWhereItIs)
{
    MakeBrowser(kDataBrowserOptionDragRows, kDataBrowserCustomType, 7);
    Node(2)->expandable = true;
    TestRunUntilIdle();
    struct Row {
        DataBrowserItemID item;
        CGFloat dy;  // below the row's top; rows are 20 high
        SInt16 part;
    };
    const Row rows[] = {
        {2, 0, kDataBrowserTrackingBefore},   {2, 4.5, kDataBrowserTrackingBefore},
        {2, 5, kDataBrowserTrackingInto},     {2, 10, kDataBrowserTrackingInto},
        {2, 15, kDataBrowserTrackingInto},    {2, 15.5, kDataBrowserTrackingAfter},
        {2, 19.5, kDataBrowserTrackingAfter}, {4, 0, kDataBrowserTrackingBefore},
        {4, 9.5, kDataBrowserTrackingBefore}, {4, 10, kDataBrowserTrackingAfter},
        {4, 19.5, kDataBrowserTrackingAfter},
    };
    // Row 7 may go anywhere among rows 1 to 5.
    TDrag* drag = DragOfNodes({Node(7)});
    for (const Row& row : rows) {
        SCOPED_TRACE("row " + std::to_string(row.item) + " at " + std::to_string(row.dy));
        browser->HandleTrackingDrag(row.item, drag, ControlPoint(row.item, row.dy));
        EXPECT_EQ(Node(row.item)->GetTrackingPart(), row.part);
        EXPECT_EQ(browser->GetTrackingNode(), Node(row.item));
        EXPECT_EQ(browser->GetTrackingPart(), row.part);
    }
    browser->HandleTrackingDrag(0, drag, CGPointMake(5, 170));
    EXPECT_EQ(browser->GetTrackingNode(), nullptr);
    EXPECT_EQ(browser->GetTrackingPart(), kDataBrowserTrackingNone);
    drag->Release();
}

TEST_F(ListBrowserTest, ADropThatWouldLeaveTheOrderAsItIsIsRefused)
{
    MakeBrowser(kDataBrowserOptionDragRows);
    WindowRef otherWindow = nullptr;
    ControlRef otherControl = MakeControl(kDataBrowserCustomType, &otherWindow);
    others.push_back(otherWindow);
    TListBrowser* other =
        TListBrowser::Create(otherControl, nullptr, kDataBrowserOptionDragRows | kDataBrowserOptionListSource);
    RecordingNode* stranger = RecordingNode::Create(nullptr, "Elsewhere");
    other->Append(stranger);
    stranger->Release();
    other->Reload();

    SInt32 local = 7;
    struct Row {
        const char* name;
        SInt16 part;
        std::vector<TBrowserNode*> dragged;
        bool accepted;
    };
    const Row rows[] = {
        {"the next row after", kDataBrowserTrackingAfter, {Node(4)}, false},
        {"the row before, before", kDataBrowserTrackingBefore, {Node(2)}, false},
        {"the row before, after", kDataBrowserTrackingAfter, {Node(2)}, true},
        {"the next row, before", kDataBrowserTrackingBefore, {Node(4)}, true},
        {"a row further off", kDataBrowserTrackingAfter, {Node(1)}, true},
        {"the row itself", kDataBrowserTrackingAfter, {Node(3)}, false},
        {"one of two unchanged", kDataBrowserTrackingAfter, {Node(1), Node(4)}, false},
        {"a row of another browser", kDataBrowserTrackingAfter, {stranger}, false},
        {"a reference that is no node", kDataBrowserTrackingAfter, {reinterpret_cast<TBrowserNode*>(&local)}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Node(3)->SetTrackingPart(row.part);
        TDrag* drag = DragOfNodes(row.dragged);
        EXPECT_EQ(Node(3)->HandleAcceptDrag(drag), row.accepted);
        drag->Release();
    }

    // A 'NODE' flavour of another size is not read as a reference.
    TDrag* odd = TDrag::Create();
    const UInt32 shortReference = 1;
    odd->AddFlavor(1, kBrowserNodeFlavor, &shortReference, sizeof shortReference);
    Node(3)->SetTrackingPart(kDataBrowserTrackingAfter);
    EXPECT_FALSE(Node(3)->HandleAcceptDrag(odd));
    EXPECT_EQ(BrowserNodeFromDrag(odd, 1), nullptr);
    odd->Release();

    // Rows cannot be arranged on a node that forbids it, nor in a browser
    // that does not drag rows.
    TDrag* drag = DragOfNodes({Node(1)});
    Node(3)->SetAllowsArranging(false);
    EXPECT_FALSE(Node(3)->HandleAcceptDrag(drag));
    Node(3)->SetAllowsArranging(true);
    browser->SetOptions(0);
    EXPECT_FALSE(Node(3)->HandleAcceptDrag(drag));
    drag->Release();
}

TEST_F(ListBrowserTest, DraggedRowsMoveToTheDropAndStaySelected)
{
    struct Row {
        const char* name;
        std::vector<DataBrowserItemID> selection;
        DataBrowserItemID press;
        DataBrowserItemID target;
        CGFloat dy;
        std::vector<std::string> order;
        std::vector<DataBrowserItemID> selectedAfter;
    };
    const Row rows[] = {
        {"three rows after the last",
         {1, 2, 3},
         2,
         5,
         15,
         {"1 Row 4", "2 Row 5", "3 Row 1", "4 Row 2", "5 Row 3"},
         {3, 4, 5}},
        {"two rows apart before the first",
         {3, 5},
         3,
         1,
         3,
         {"1 Row 3", "2 Row 5", "3 Row 1", "4 Row 2", "5 Row 4"},
         {1, 2}},
        {"one row just after the next", {1}, 1, 2, 15, {"1 Row 2", "2 Row 1", "3 Row 3", "4 Row 4", "5 Row 5"}, {2}},
        {"one row where it is", {2}, 2, 3, 3, {"1 Row 1", "2 Row 2", "3 Row 3", "4 Row 4", "5 Row 5"}, {2}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MakeBrowser(kDataBrowserOptionDragRows);
        Select(row.selection);
        const HIPoint start = WindowPoint(row.press);
        {
            TestDragScript script({GlobalPoint(row.press, 2), GlobalPoint(row.target, row.dy)});
            TestMousePress(window, start);
            TestMouseMove(window, {start.x, start.y + 8});
            TestMouseRelease(window, {start.x, start.y + 8});
            TestRunUntilIdle();
        }
        // One image, made once every row was in the drag.
        EXPECT_EQ(browser->dragImageItemCounts, std::vector<UInt16>{UInt16(row.selection.size())});
        EXPECT_EQ(Rows(), row.order);
        EXPECT_EQ(Selected(), row.selectedAfter);
        EXPECT_EQ(browser->CountItems(), 5u);
        const bool moved = row.order.front() != "1 Row 1" || row.order[1] != "2 Row 2";
        EXPECT_EQ(
            std::count_if(log.begin(), log.end(), [](const std::string& line) { return line.ends_with(" moved"); }),
            moved ? 1 : 0);
        EXPECT_EQ(browser->GetTrackingNode(), nullptr);
        DisposeWindow(window);
        window = nullptr;
        TestRunUntilIdle();
        log.clear();
    }
}

// ---- archives ----

TEST_F(ListBrowserTest, NodesArchiveTheirStateAndTextAndReadThemBack)
{
    TBrowserNode* fresh = TBrowserNode::Create(nullptr);
    TArchiver* archive = fresh->CopyArchive();
    EXPECT_FALSE(archive->GetBooleanValue("system.open"));
    EXPECT_TRUE(archive->ContainsKey("system.open"));
    EXPECT_EQ(archive->GetStringValue("system.type").ToString(), "????");
    EXPECT_EQ(archive->GetStringValue("system.class").ToString(), "TBrowserNode");
    archive->Release();
    fresh->Release();

    TListDataSource* source = TListDataSource::Create();
    const std::vector<std::string> texts = {"Première ligne", std::string(300, 'x'), ""};
    IconRef icon = nullptr;
    GetIconRef(0, kSystemIconsCreator, kGenericFolderIcon, &icon);
    for (size_t i = 0; i < texts.size(); ++i) {
        TIconTextListNode* node = TIconTextListNode::Create(nullptr);
        CFRef<CFStringRef> text(CFStringCreateWithUTF8(texts[i]));
        node->SetText(text);
        node->SetIcon(icon);
        node->SetType(FCC("ro" + std::to_string(i) + "!"));
        node->SetOpen(i == 1);
        source->Append(node);
        node->Release();
    }
    ReleaseIconRef(icon);
    TArchiver* archiver = source->CopyArchive();
    source->Release();
    ASSERT_EQ(archiver->Limit(), 2);
    EXPECT_EQ(archiver->GetStringValue("system.class").ToString(), "TListDataSource");
    EXPECT_EQ(Text(static_cast<CFStringRef>(archiver->GetValue("/system.objects/0/node.text"))), texts[0]);
    EXPECT_EQ(Text(static_cast<CFStringRef>(archiver->GetValue("/system.objects/1/node.text"))), texts[1]);
    EXPECT_EQ(archiver->GetStringValue("/system.objects/1/system.class").ToString(), "TIconTextListNode");
    EXPECT_EQ(archiver->GetStringValue("/system.objects/2/system.type").ToString(), "ro2!");

    // Through a file and back.
    ScratchFolder folder;
    const std::string path = folder.Path() + "/list.plist";
    FSRef file{};
    folder.Write("list.plist", "");
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &file, nullptr), noErr);
    ASSERT_EQ(archiver->Save(file), 0);
    archiver->Release();
    TArchiver* loaded = TArchiver::CreateWithFile(file);
    ASSERT_EQ(loaded->Load(), 0);
    TListDataSource* copy = AllocateFromArchiveAs<TListDataSource>(loaded, nullptr);
    loaded->Release();
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->RowCount(), 3);
    for (SInt32 i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        TIconTextListNode* node = static_cast<TIconTextListNode*>(copy->GetValue(i));
        ASSERT_TRUE(MemberOfClass(node, TIconTextListNode::StaticClass()));
        EXPECT_EQ(Text(node->GetText()), texts[size_t(i)]);
        EXPECT_EQ(node->GetIcon(), nullptr);
        EXPECT_EQ(node->GetDataSource(), copy);
        EXPECT_EQ(node->IsOpen(), i == 1);
        EXPECT_EQ(FCCToString(node->GetType()).ToString(), "ro" + std::to_string(i) + "!");
        EXPECT_EQ(node->GetRetainCount(), 1);
    }
    copy->Release();
}

// ---- the look ----

TEST_F(ListBrowserTest, AListOfIconAndTextRowsShowsItsSelection)
{
    MakeBrowser(kDataBrowserOptionTintedBackground);
    IconRef folder = nullptr;
    GetIconRef(0, kSystemIconsCreator, kGenericFolderIcon, &folder);
    for (DataBrowserItemID id : {1u, 3u, 5u})
        Node(id)->SetIcon(folder);
    ReleaseIconRef(folder);
    Node(2)->Select();
    TestRunUntilIdle();
    CFRef<CGImageRef> image(IBCopyWindowImage(window));
    ASSERT_TRUE(image);
    const QImage pixels = CGImageGetQImage(image);
    pixels.save("/tmp/brindlet-list-browser.png");
    auto at = [&](DataBrowserItemID item, CGFloat x) {
        HIPoint p = WindowPoint(item);
        return pixels.pixelColor(int(x), int(p.y));
    };
    // The selected row is in the highlight colour across, the others on the tint.
    const QColor selected = at(2, 250);
    EXPECT_GT(selected.blue(), selected.red() + 40) << selected.name().toStdString();
    const QColor tint = at(4, 250);
    EXPECT_EQ(tint.name().toStdString(), QColor::fromRgbF(0.795010f, 0.839292f, 0.878233f).name().toStdString());
    // Text is drawn: dark pixels on a plain row, white ones on the selected.
    auto count = [&](DataBrowserItemID item, auto predicate) {
        const HIPoint p = WindowPoint(item);
        int n = 0;
        for (int x = 40; x < 120; ++x)
            for (int y = int(p.y) - 6; y <= int(p.y) + 6; ++y)
                n += predicate(pixels.pixelColor(x, y)) ? 1 : 0;
        return n;
    };
    EXPECT_GT(count(4, [](QColor c) { return c.lightness() < 80; }), 10);
    EXPECT_GT(count(2, [](QColor c) { return c.lightness() > 240; }), 10);
    // The icon rows have the icon where rows without one have text.
    EXPECT_NE(at(1, 20).name(), at(4, 20).name());
}

TEST_F(ListBrowserTest, ANodeWithoutASourceHasNoBrowser)
{
    TListNode* node = TListNode::Create(nullptr);
    EXPECT_EQ(node->GetBrowser(), nullptr);
    EXPECT_EQ(node->CountItems(), 0u);
    EXPECT_EQ(node->GetRow(), -1);
    EXPECT_TRUE(CGRectIsEmpty(node->GetContentBounds(0)));
    node->Update();
    node->Select();
    node->OpenContainer();
    EXPECT_TRUE(node->IsOpen());
    EXPECT_FALSE(node->IsSelected());
    Diagnostics::Capture capture;
    node->StartEditSession();
    EXPECT_EQ(
        capture.Lines(),
        std::vector<std::string>{"Warning: StartEditSession failed because the node has not been assigned a browser."});
    node->Release();
}

TEST_F(ListBrowserTest, TheViewFollowsTheNumberOfRows)
{
    MakeBrowser(kDataBrowserOptionAutomaticHeight, kDataBrowserCustomType, 3);
    EXPECT_EQ(browser->GetFrame().size.height, 60);
    EXPECT_EQ(browser->GetViewHeight(), 60u);
    browser->heights.clear();
    RecordingNode* node = RecordingNode::Create(nullptr, "Row 4");
    browser->Append(node);
    node->Release();
    browser->Reload();
    EXPECT_EQ(browser->GetFrame().size.height, 80);
    ASSERT_FALSE(browser->heights.empty());
    EXPECT_EQ(browser->heights.back().second, 80u);
    Select({1, 2});
    browser->heights.clear();
    browser->ClearSelection(true);
    EXPECT_EQ(browser->GetFrame().size.height, 40);
    EXPECT_EQ(browser->GetViewHeight(), 40u);
}

TEST_F(ListBrowserTest, AFocusMenuItemHandsOverItsValueAndTrimsTheMenu)
{
    MakeBrowser(0);
    MenuRef menu = nullptr;
    ASSERT_EQ(CreateNewMenu(200, 0, &menu), noErr);
    for (UInt32 i = 1; i <= 4; ++i) {
        CFRef<CFStringRef> title(CFStringCreateWithUTF8("Level " + std::to_string(i)));
        AppendMenuItemTextWithCFString(menu, title, 0, kDataBrowserCommandFocus, nullptr);
        const UInt32 value = 100 + i;
        SetMenuItemProperty(menu, MenuItemIndex(i), kDataBrowserPropertyCreator, kDataBrowserPropertyTagFocusValue,
                            sizeof value, &value);
    }
    auto send = [&](MenuItemIndex index) {
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event);
        HICommand command{};
        command.commandID = kDataBrowserCommandFocus;
        command.menu.menuRef = menu;
        command.menu.menuItemIndex = index;
        SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
        const OSStatus status = SendEventToEventTarget(event, GetControlEventTarget(control));
        ReleaseEvent(event);
        return status;
    };
    EXPECT_EQ(send(3), noErr);
    EXPECT_EQ(browser->focusValues, std::vector<UInt32>{103});
    ASSERT_EQ(CountMenuItems(menu), 2);
    CFStringRef first = nullptr;
    CopyMenuItemTextAsCFString(menu, 1, &first);
    EXPECT_EQ(Text(CFRef<CFStringRef>(first).get()), "Level 3");
    UInt32 indent = 9;
    GetMenuItemIndent(menu, 2, &indent);
    EXPECT_EQ(indent, 1u);
    EXPECT_TRUE(IsMenuItemChecked(menu, 1));
    // An item without a value leaves the command unhandled.
    CFRef<CFStringRef> plain(CFStringCreateWithUTF8("Plain"));
    AppendMenuItemTextWithCFString(menu, plain, 0, kDataBrowserCommandFocus, nullptr);
    EXPECT_EQ(send(3), eventNotHandledErr);
    EXPECT_EQ(browser->focusValues.size(), 1u);
    ReleaseMenu(menu);
}

TEST_F(ListBrowserTest, ATintedBrowserWithoutRowsIsAllTint)
{
    control = MakeControl(kDataBrowserCustomType);
    TDataBrowser* plain = TDataBrowser::Create(control, nullptr, kDataBrowserOptionTintedBackground);
    plain->SetBackgroundColor(CGRGBColorMake(1, 0, 0, 1));
    TestRunUntilIdle();
    CFRef<CGImageRef> image(IBCopyWindowImage(window));
    const QImage pixels = CGImageGetQImage(image);
    for (QPoint p : {QPoint(15, 15), QPoint(160, 100), QPoint(300, 185)})
        EXPECT_EQ(pixels.pixelColor(p).name().toStdString(), "#ff0000") << p.x() << "," << p.y();
}

TEST_F(ListBrowserTest, ANodeInsertedWhereTheDragTracksIsShownAndSelected)
{
    struct Row {
        const char* name;
        DataBrowserItemID tracking;
        CGFloat dy;
        std::vector<std::string> order;
        DataBrowserItemID selected;
    };
    const Row rows[] = {
        {"before row 2", 2, 3, {"1 Row 1", "2 New", "3 Row 2", "4 Row 3"}, 2},
        {"after row 2", 2, 15, {"1 Row 1", "2 Row 2", "3 New", "4 Row 3"}, 3},
        {"no tracking row", 0, 0, {"1 Row 1", "2 Row 2", "3 Row 3", "4 New"}, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MakeBrowser(kDataBrowserOptionDragRows, kDataBrowserCustomType, 3);
        // A node of the list's source, not in the list yet.
        RecordingNode* fresh = RecordingNode::Create(browser->GetDataSource(), "New");
        TDrag* drag = DragOfNodes({fresh});
        if (row.tracking != 0)
            browser->HandleTrackingDrag(row.tracking, drag, ControlPoint(row.tracking, row.dy));
        ASSERT_EQ(browser->GetTrackingNode() != nullptr, row.tracking != 0);
        browser->InsertDrag(fresh);
        drag->Release();
        fresh->Release();
        EXPECT_EQ(Rows(), row.order);
        EXPECT_EQ(Selected(), std::vector<DataBrowserItemID>{row.selected});
        EXPECT_NE(std::find(log.begin(), log.end(), "New moved"), log.end());
        EXPECT_EQ(browser->CountItems(), 4u);
        DisposeWindow(window);
        window = nullptr;
        TestRunUntilIdle();
        log.clear();
    }
}

TEST_F(ListBrowserTest, ContextualMenusComeFromTheSelectedNodeAndCommandsGoToTheSelection)
{
    MakeBrowser(0);
    MenuRef menu = nullptr;
    UInt32 helpType = 9;
    browser->HandleGetContextualMenu(&menu, &helpType, nullptr, nullptr);
    EXPECT_EQ(menu, nullptr);  // nothing selected
    EXPECT_EQ(helpType, 0u);

    Select({4});
    browser->HandleGetContextualMenu(&menu, &helpType, nullptr, nullptr);
    ASSERT_NE(menu, nullptr);
    CFStringRef title = nullptr;
    CopyMenuItemTextAsCFString(menu, 1, &title);
    EXPECT_EQ(Text(CFRef<CFStringRef>(title).get()), "Rename Row 4");
    ReleaseMenu(menu);

    // Several rows: the browser's own menu (none here).
    Select({2, 4});
    menu = reinterpret_cast<MenuRef>(1);
    browser->HandleGetContextualMenu(&menu, &helpType, nullptr, nullptr);
    EXPECT_EQ(menu, nullptr);

    // The command goes to each selected node until one handles it; every
    // selected node hears of the choice once.
    Select({2, 3, 4});
    Node(3)->handlesCommands = true;
    menu = Node(2)->HandleContextualMenu();
    browser->HandleSelectContextualMenu(menu, 0, 300, 1);
    EXPECT_EQ(log, (std::vector<std::string>{"Row 2 command rnam", "Row 3 command rnam", "Row 2 menu item 1",
                                             "Row 3 menu item 1", "Row 4 menu item 1"}));
}

TEST_F(ListBrowserTest, ContainerNodesFollowTheControl)
{
    // An outline: a browser of nodes with a disclosure column.
    control = MakeControl(kDataBrowserCustomType);
    TBrowser* outline = TBrowser::Create(control, nullptr, 0);
    outline->SetDisclosureColumn(kName);
    TListDataSource* source = TListDataSource::Create();
    for (const char* text : {"Leaf", "Folder"}) {
        RecordingNode* node = RecordingNode::Create(nullptr, text);
        node->expandable = std::string(text) == "Folder";
        source->Append(node);
        node->Release();
    }
    outline->SetDataSource(source);
    source->Reload();
    source->Release();
    TestRunUntilIdle();
    log.clear();
    TBrowserNode* folder = source->GetNode(2);
    folder->OpenContainer();
    EXPECT_TRUE(folder->IsOpen());
    DataBrowserItemState state = 0;
    GetDataBrowserItemState(control, 2, &state);
    EXPECT_TRUE(state & kDataBrowserContainerIsOpen);
    folder->ToggleContainer();
    EXPECT_FALSE(folder->IsOpen());
    GetDataBrowserItemState(control, 2, &state);
    EXPECT_FALSE(state & kDataBrowserContainerIsOpen);
    EXPECT_EQ(log, (std::vector<std::string>{"Folder opened", "Folder message 8", "Folder message 9", "Folder closed",
                                             "Folder message 10"}));

    // The user's disclosure triangle: the node's open flag follows it.
    Rect triangle{};
    ASSERT_EQ(GetDataBrowserItemPartBounds(control, 2, kName, kDataBrowserPropertyDisclosurePart, &triangle), noErr);
    HIPoint point = {CGFloat(triangle.left + triangle.right) / 2, CGFloat(triangle.top + triangle.bottom) / 2};
    HIViewConvertPoint(&point, control, nullptr);
    TestClick(window, point);
    TestRunUntilIdle();
    EXPECT_TRUE(folder->IsOpen());
    EXPECT_EQ(outline->GetModificationCount(), 1u);
    TestClick(window, point);
    TestRunUntilIdle();
    EXPECT_FALSE(folder->IsOpen());
}
