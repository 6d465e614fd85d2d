// What a row does for the user: the menu commands, clicks on its parts,
// editing its text in the canvas text field of a real (offscreen) window,
// and where a drag over it would drop.
#include "TaskTestSupport.h"

#include <Sources/Globals.h>
#include <Sources/Tasks/UDragFlavors.h>

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <SpriteEngine/Additions/SCTextField.h>
#include <SpriteEngine/SCCanvas.h>
#include <SpriteEngine/SCCanvasView.h>
#include <SpriteEngine/SCLayer.h>
#include <Units/Classes/TUndoManagerUnit.h>

#include <CGTestSupport.h>
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreGraphics/CGImageQt.h>
#include <HIToolbox/DragTesting.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/HIView.h>
#include <HIToolbox/MacWindows.h>

#include <QFontDatabase>

#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A card that draws its rows (so that their parts get their rectangles),
// takes rows out through its outline, writes down the "AddTask" calls that
// rows schedule on it by name, and on a window: starts a row's drag when
// pressed and writes down what a drop onto it carries.
class TCommandCard : public TTestCard {
    BRINDLET_CLASS(TCommandCard, TTestCard)

public:
    static TCommandCard* Create(CGRect frame)
    {
        TCommandCard* card = Make<TCommandCard>(frame);
        card->RegisterMethod("AddTask", BRINDLET_METHOD(TCommandCard, AddTask));
        return card;
    }

    Boolean IsPrinting() override { return false; }
    NSColor* GetBaseTextColor() override { return NSColor::blackColor(); }
    ATSURGBAlphaColor GetColor() override { return MakeCGRGB(0.9f, 0.9f, 0.6f, 1); }
    void RemoveTask(TTaskProtocol* task) override { outline->RemoveTask(task, false); }

    // What the edited row held, and whether the session still ran, when
    // the card was asked for a new row.
    void AddTask()
    {
        addTaskCalls.push_back(TextOf(watched) + (TEditSession::IsEditing() ? " while editing" : " after the edit"));
    }

    void HandleMouseDown(CGPoint point, SInt32 clickCount, OSStatus& status) override
    {
        Inherited::HandleMouseDown(point, clickCount, status);
        if (dragOnPress == nullptr)
            return;
        pressOffset = dragOnPress->GetDragOffset();
        dragOnPress->StartDrag();
    }
    bool HandleDragAccept(TDrag*) override { return true; }
    bool HandleDragReceive(TDrag* drag) override
    {
        CFRef<CFStringRef> text(drag->CopyCFStringFlavor(1));
        std::string line = "text " + (text.get() != nullptr ? CFStringToUTF8(text) : std::string("(none)"));
        // The row is found again by its identity among the live rows.
        brindlet::RegisterDragCard(this);
        if (TTask* row = brindlet::ResolveTaskDragFlavor(drag, 1))
            line += ", row " + TextOf(row);
        brindlet::UnregisterDragCard(this);
        received.push_back(line);
        return true;
    }

    TTask* watched = nullptr;
    std::vector<std::string> addTaskCalls;
    TTask* dragOnPress = nullptr;
    CGPoint pressOffset = CGPointZero;
    std::vector<std::string> received;

protected:
    TCommandCard() = default;
};

// What the link rows of the attachments will be: made by name from the
// edited text and the card.
class TTestLinkRow : public TTask {
    BRINDLET_CLASS(TTestLinkRow, TTask)

public:
    void InitializeParameter(SInt32 index, const ParameterType& param) override
    {
        if (index == 1 && param.kind == ParameterType::Kind::String)
            SetText(static_cast<CFStringRef>(param.value));
        else if (index == 2 && param.kind == ParameterType::Kind::Object)
            SetOwner(static_cast<TCardProtocol*>(const_cast<void*>(param.value)));
    }

protected:
    TTestLinkRow() = default;
};

// A row that takes no drop itself, to see which row a drop is offered to.
class TRefusingTask : public TTask {
    BRINDLET_CLASS(TRefusingTask, TTask)

public:
    static TRefusingTask* Create(CFStringRef text, TCardProtocol* owner)
    {
        TRefusingTask* task = AllocateInstance<TRefusingTask>();
        task->SetText(text);
        task->SetOwner(owner);
        task->Initialize();
        return task;
    }
    Boolean AcceptDrag(SInt32, TDrag*) override { return false; }

protected:
    TRefusingTask() = default;
};

BRINDLET_DEFINE_CLASS(TCommandCard, TTestCard)
BRINDLET_DEFINE_CLASS(TTestLinkRow, TTask)
BRINDLET_DEFINE_CLASS(TRefusingTask, TTask)

namespace {

// What the panes and the alert were asked to show while a test runs.
std::vector<std::string> gShown;

void RecordAlert(CFStringRef text)
{
    gShown.push_back("alert: " + CFStringToUTF8(text));
}

void RecordClosePane()
{
    gShown.push_back("close pane");
}

void RecordTaskPane(TTaskProtocol* task, const char* controllerClass, const char* nibName)
{
    gShown.push_back(std::string("pane ") + controllerClass + " from " + nibName + " for " + TextOf(task));
}

constexpr CGFloat kCardWidth = 300;

class TaskCommandTest : public TaskFixture {
protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        QFontDatabase::addApplicationFont(BRINDLET_FIXTURES_DIR "/Fonts/DejaVuSans.ttf");
        application_ = TApplication::Create<TApplication>(kBrindletSignature, BrindletBundleIdentifier());
        Prefs()->SetStringValue("list-font-family", "DejaVu Sans");
        Prefs()->SetIntegerValue("list-font-size", 12);
        Prefs()->SetIntegerValue("TPreferences.editingMode", 0);
        card_ = TObjectRef<TTestCard>::Adopt(TCommandCard::Create(CGRectMake(20, 10, kCardWidth, 200)));
        gShown.clear();
        CardServices::SetAlertTextProc(RecordAlert);
        CardServices::SetCloseContextualPaneProc(RecordClosePane);
        CardServices::SetTaskPaneProc(RecordTaskPane);
    }

    void TearDown() override
    {
        TEditSession::StopEditing();
        CardServices::SetAlertTextProc(nullptr);
        CardServices::SetCloseContextualPaneProc(nullptr);
        CardServices::SetTaskPaneProc(nullptr);
        TaskFixture::TearDown();
        application_->Release();
    }

    TPreferenceHandlerApplication* Prefs() { return TApplication::Prefs(); }
    TCommandCard* Card() { return static_cast<TCommandCard*>(card_.get()); }

    // The outline drawn twice (measured, then laid out), so that every row
    // knows the rectangles of its parts.
    void Draw()
    {
        TestBitmap bitmap(int(kCardWidth), 200);
        for (int pass = 0; pass < 2; ++pass)
            Card()->outline->Draw(CGRectMake(4, 8, kCardWidth - 8, 180), bitmap.context());
    }

    TApplication* application_ = nullptr;
};

CGPoint Center(CGRect rect)
{
    return CGPointMake(CGRectGetMidX(rect), CGRectGetMidY(rect));
}

OSStatus Command(TTask* task, const char (&code)[5])
{
    HICommandExtended command = {};
    command.commandID = FourCC(code);
    OSStatus status = eventNotHandledErr;
    task->ProcessCommand(command, nullptr, status);
    return status;
}

// The row's state in one line, as the command table compares it.
std::string Describe(TTask* task)
{
    const TaskStyleInfo style = task->GetStyle();
    std::string text;
    text += style.bold ? "B" : "-";
    text += style.italic ? "I" : "-";
    text += style.underline ? "U" : "-";
    text += style.strikethrough ? "S" : "-";
    text += " p" + std::to_string(style.priority) + " s" + std::to_string(style.status);
    if (task->IsCompleted())
        text += " done";
    if (task->IsContainer())
        text += " container";
    if (task->GetDueDate() != nullptr)
        text += " due";
    if (task->IsEditing())
        text += " editing";
    text += " in " + (task->GetParent() != nullptr && task->GetParent()->IsRoot() ? std::string("(root)")
                                                                                  : TextOf(task->GetParent()));
    return text;
}

// Whether the row is still among the rows under `root`.
bool InTree(const TTask* root, const TTask* task)
{
    for (SInt32 index = 0; index < root->GetChildCount(); ++index) {
        const TTask* child = root->GetChildAtIndex(index);
        if (child == task || InTree(child, task))
            return true;
    }
    return false;
}

}  // namespace

TEST_F(TaskCommandTest, EachMenuCommandChangesItsOneThingAndOnlyKnownCodesAreTaken)
{
    struct Row {
        const char (&code)[5];
        const char* after;  // Describe() after the command
        bool handled;
        const char* shown = "";
    };
    // Every row starts as "b", italic, medium priority, canceled, the
    // selected second row of the top level after "a".
    const Row rows[] = {
        {"tsbl", "BI-- p5 s4 in (root)", true},
        {"tsit", "---- p5 s4 in (root)", true},
        {"tsun", "-IU- p5 s4 in (root)", true},
        {"tssr", "-I-S p5 s4 in (root)", true},
        {"tpno", "-I-- p0 s4 in (root)", true},
        {"tphs", "-I-- p3 s4 in (root)", true},
        {"tphi", "-I-- p4 s4 in (root)", true},
        {"tpme", "-I-- p5 s4 in (root)", true},
        {"tplw", "-I-- p6 s4 in (root)", true},
        {"tpls", "-I-- p7 s4 in (root)", true},
        {"tsno", "-I-- p5 s0 in (root)", true},
        {"tsip", "-I-- p5 s3 in (root)", true},
        {"tscn", "-I-- p5 s4 in (root)", true},
        {"tsde", "-I-- p5 s5 in (root)", true},
        {"ttcm", "-I-- p5 s4 done in (root)", true},
        {"ttco", "-I-- p5 s4 container in (root)", true},
        {"ttdd", "-I-- p5 s4 due in (root)", true},
        {"indr", "-I-- p5 s4 in a", true},
        {"tedt", "-I-- p5 s4 editing in (root)", true},
        {"tgif", "-I-- p5 s4 in (root)", true, "close pane|pane TTaskInfoController from TaskInfo for b|"},
        {"todp", "-I-- p5 s4 due in (root)", true, "close pane|pane TDatePickerController from DatePicker for b|"},
        // No timer on a plain row: the timer commands are someone else's.
        {"trmt", "-I-- p5 s4 in (root)", false},
        {"tstt", "-I-- p5 s4 in (root)", false},
        {"zzzz", "-I-- p5 s4 in (root)", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        card_ = TObjectRef<TTestCard>::Adopt(TCommandCard::Create(CGRectMake(0, 0, kCardWidth, 200)));
        Add("a");
        TTask* task = Add("b");
        TaskStyleInfo style;
        style.italic = true;
        style.priority = 5;
        style.status = 4;
        task->SetStyle(style);
        Layout();
        task->Select();
        gShown.clear();
        const int faceUpdates = card_->faceUpdates;
        const auto changes = TObjectRef<TNotificationCounter>::Adopt(TNotificationCounter::Create("SyncSheetChanged"));

        EXPECT_EQ(Command(task, row.code), row.handled ? noErr : eventNotHandledErr);
        EXPECT_EQ(Describe(task), row.after);
        std::string shown;
        for (const std::string& line : gShown)
            shown += line + "|";
        EXPECT_EQ(shown, row.shown);
        if (row.code[0] == 't' && (row.code[1] == 's' || row.code[1] == 'p') && row.handled) {
            // A style change is stored, redrawn and reported.
            EXPECT_EQ(changes->count, 1);
            EXPECT_GT(card_->faceUpdates, faceUpdates);
        }
        if (!row.handled) {
            EXPECT_EQ(changes->count, 0);
        }
        TEditSession::StopEditing();
    }
}

TEST_F(TaskCommandTest, OutdentingMovesTheSelectedChildUpALevel)
{
    TTask* parent = Add("a");
    TTask* child = Add("b", parent);
    parent->SetOpen(true);
    Layout();
    child->Select();
    EXPECT_EQ(Command(child, "indl"), noErr);
    EXPECT_EQ(child->GetParent(), Card()->Root());
    EXPECT_EQ(ChildTexts(Card()->Root()), (std::vector<std::string>{"a", "b"}));
}

TEST_F(TaskCommandTest, ClicksOnTheRowsPartsOpenPanesToggleOrSelect)
{
    struct Row {
        const char* name;
        std::function<CGRect(TTask*)> where;  // the part clicked
        bool completedAfterDrawing;
        bool withChild;
        bool editable;
        bool selected;
        SInt32 clicks;
        // Expected.
        bool select;
        const char* shown;
        const char* state;  // completed / open / editing / selected
    };
    const auto date = [](TTask* task) { return task->GetDateFrame(); };
    const auto bell = [](TTask* task) { return task->GetBellFrame(); };
    const auto priority = [](TTask* task) { return task->GetPriorityFrame(); };
    const auto note = [](TTask* task) { return task->GetNoteFrame(); };
    const auto button = [](TTask* task) { return task->GetButtonFrame(); };
    const auto text = [](TTask* task) { return task->GetTextFrame(); };
    const char* kDatePane = "close pane|pane TDatePickerController from DatePicker for row|";
    const char* kInfoPane = "close pane|pane TTaskInfoController from TaskInfo for row|";
    const Row rows[] = {
        {"date", date, false, false, true, false, 1, false, kDatePane, "selected"},
        // Completed since it was drawn: the date opens nothing and the click
        // selects the row instead.
        {"date of a completed row", date, true, false, true, false, 1, true, "", "selected"},
        {"bell", bell, false, false, true, false, 1, true, "alert|", "selected"},
        {"priority", priority, false, false, true, false, 1, false, kInfoPane, "selected"},
        {"note", note, false, false, true, false, 1, false, kInfoPane, "selected"},
        {"check box", button, false, false, true, false, 1, false, "", "completed"},
        {"check box of a container", button, false, true, true, false, 1, false, "", "open"},
        {"check box on a locked card", button, false, false, false, false, 1, true, "", "selected"},
        {"text, unselected", text, false, false, true, false, 1, true, "", "selected"},
        {"text, double click unselected", text, false, false, true, false, 2, true, "", "selected"},
        {"text, selected", text, false, false, true, true, 1, true, "", "selected"},
        {"text, double click selected", text, false, false, true, true, 2, true, "", "editing selected"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        card_ = TObjectRef<TTestCard>::Adopt(TCommandCard::Create(CGRectMake(0, 0, kCardWidth, 200)));
        Add("above");
        TTask* task = Add("row");
        if (row.withChild)
            Add("child", task);
        task->SetDueDate(At(Now() + 86400));
        task->SetNotificationDate(At(Now() + 3600));
        TaskStyleInfo style;
        style.priority = 4;
        task->SetStyle(style);
        const UInt8 bytes[] = {'n'};
        CFRef<CFDataRef> notes(CFDataCreate(nullptr, bytes, sizeof bytes));
        task->SetNotes(notes);
        Draw();
        const CGRect part = row.where(task);
        ASSERT_FALSE(CGRectIsEmpty(part)) << "the part was drawn";
        if (row.completedAfterDrawing)
            task->SetCompleted(true);
        card_->editable = row.editable;
        if (row.selected)
            task->Select();
        gShown.clear();
        const int faceUpdates = card_->faceUpdates;
        const int heightAdjustments = card_->heightAdjustments;

        Boolean select = true;
        OSStatus status = eventNotHandledErr;
        EXPECT_TRUE(task->MouseDown(Center(part), row.clicks, select, status));
        EXPECT_EQ(select, row.select);
        std::string shown;
        for (const std::string& line : gShown)
            shown += (line.rfind("alert: ", 0) == 0 ? std::string("alert") : line) + "|";
        EXPECT_EQ(shown, row.shown);
        std::string state;
        const auto note = [&](bool flag, const char* word) {
            if (flag)
                state += (state.empty() ? "" : " ") + std::string(word);
        };
        note(task->IsCompleted() != row.completedAfterDrawing, "completed");
        note(task->IsOpen(), "open");
        note(task->IsEditing(), "editing");
        note(task->IsSelected(), "selected");
        EXPECT_EQ(state, row.state);
        EXPECT_EQ(status, task->IsEditing() ? noErr : eventNotHandledErr);
        if (std::string(row.name) == "check box") {
            EXPECT_GT(card_->faceUpdates, faceUpdates) << "the card shows the check";
        }
        if (row.withChild) {
            EXPECT_EQ(card_->heightAdjustments, heightAdjustments + 1) << "the card fits the opened rows";
        }
        TEditSession::StopEditing();
    }
}

TEST_F(TaskCommandTest, TheBellShowsWhenTheReminderComesAndClicksOutsideAreNotTaken)
{
    TTask* task = Add("row");
    task->SetNotificationDate(At(Now() + 3600));
    Draw();
    Boolean select = false;
    OSStatus status = eventNotHandledErr;
    ASSERT_TRUE(task->MouseDown(Center(task->GetBellFrame()), 1, select, status));
    ASSERT_EQ(gShown.size(), 1u);
    EXPECT_EQ(gShown[0].rfind("alert: The Brindlet Helper will issue a reminder ", 0), 0u) << gShown[0];
    EXPECT_GT(gShown[0].size(), std::string("alert: The Brindlet Helper will issue a reminder ").size());

    select = true;
    const CGRect frame = task->GetFrame();
    EXPECT_FALSE(task->MouseDown(CGPointMake(frame.origin.x + 10, CGRectGetMaxY(frame) + 40), 1, select, status));
    EXPECT_FALSE(select);
    EXPECT_FALSE(task->ContextualClick(CGPointMake(frame.origin.x + 10, CGRectGetMaxY(frame) + 40), status));
    EXPECT_EQ(status, eventNotHandledErr);
    gShown.clear();
    EXPECT_TRUE(task->ContextualClick(Center(task->GetTextFrame()), status));
    EXPECT_EQ(status, noErr);
    EXPECT_EQ(gShown, (std::vector<std::string>{"close pane", "pane TTaskInfoController from TaskInfo for row"}));
}

TEST_F(TaskCommandTest, ASingleClickOnAnotherRowStopsTheEditOfTheFirst)
{
    TTask* first = Add("first");
    TTask* second = Add("second");
    Draw();
    first->Select();
    first->BeginEditing();
    ASSERT_TRUE(TEditSession::IsEditing());
    TEditSession::SharedTextView()->setPlainText(QStringLiteral("first, edited"));
    Boolean select = false;
    OSStatus status = eventNotHandledErr;
    ASSERT_TRUE(second->MouseDown(Center(second->GetTextFrame()), 1, select, status));
    EXPECT_TRUE(select);
    EXPECT_TRUE(second->IsSelected());
    EXPECT_FALSE(TEditSession::IsEditing());
    EXPECT_FALSE(first->IsEditing());
    EXPECT_EQ(TextOf(first), "first, edited") << "the edit that was stopped is kept";
}

// ---- editing in a real window ----

class TaskEditingTest : public TaskCommandTest {
protected:
    void SetUp() override
    {
        TaskCommandTest::SetUp();
        const Rect bounds = {100, 100, 500, 500};
        ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window_), noErr);
        HIViewRef content = nullptr;
        HIViewFindByID(HIViewGetRoot(window_), kHIViewWindowContentID, &content);
        const HIRect frame = CGRectMake(0, 0, 400, 400);
        ASSERT_EQ(CanvasViewCreate(frame, &canvasView_), noErr);
        HIViewAddSubview(content, canvasView_);
        CFRelease(canvasView_);
        canvas_ = TObjectRef<TSpriteCanvas>::Adopt(TSpriteCanvas::Create(CGSizeMake(400, 400), 0));
        canvas_->SetView(canvasView_);
        canvas_->SetPaused(true);
        const auto layer = TObjectRef<TSpriteLayer>::Adopt(TSpriteLayer::Create(0, false));
        canvas_->AppendLayer(layer.get());
        // The layer takes a reference of its own, as it does of the cards it makes.
        card_->Retain();
        card_->SetLayer(layer.get());
        ShowWindow(window_);
        TestActivateWindow(window_);
        changes_ = TObjectRef<TNotificationCounter>::Adopt(TNotificationCounter::Create("SyncSheetChanged"));
    }

    void TearDown() override
    {
        TEditSession::StopEditing();
        changes_.Reset();
        TaskCommandTest::TearDown();
        canvas_.Reset();
        DisposeWindow(window_);
        TestRunUntilIdle(0.2);
    }

    // A drawn row, selected and being edited, watched by the card.
    TTask* Edit(const char* text, bool fromAdding = false)
    {
        TTask* task = Add(text);
        Draw();
        task->Select();
        task->SetEditedFromAdding(fromAdding);
        task->BeginEditing();
        TestRunUntilIdle(0.2);
        Card()->watched = task;
        changes_->count = 0;
        return task;
    }

    void Type(const char* letters)
    {
        for (const char* c = letters; *c != 0; ++c)
            TestKeyClick(window_, Qt::Key(Qt::Key_A + (*c - 'a')));
    }

    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        TestKeyClick(window_, key, modifiers);
        TestRunUntilIdle(0.2);
    }

    WindowRef window_ = nullptr;
    HIViewRef canvasView_ = nullptr;
    TObjectRef<TSpriteCanvas> canvas_;
    TObjectRef<TNotificationCounter> changes_;
};

// The window's content lies at (100, 100) on the screen, the canvas view
// at its origin, the card at (20, 10) on the canvas.
HIPoint OnScreen(CGPoint inCard)
{
    return CGPointMake(inCard.x + 120, inCard.y + 110);
}

HIPoint InWindow(CGPoint inCard)
{
    return CGPointMake(inCard.x + 20, inCard.y + 10);
}

TEST_F(TaskEditingTest, ARowDraggedFromItsTextIsDroppedWithItsTextAndIdentity)
{
    Add("above");
    TTask* task = Add("Pick up parcel");
    Draw();
    task->Select();
    const CGPoint press = Center(task->GetTextFrame());
    ASSERT_TRUE(task->CanDrag(press));
    Card()->dragOnPress = task;
    {
        const CGPoint drop = CGPointMake(press.x, press.y + 60);
        const TestDragScript script({OnScreen(press), OnScreen(CGPointMake(press.x, press.y + 30)), OnScreen(drop)});
        TestMousePress(window_, InWindow(press));
        TestMouseRelease(window_, InWindow(drop));
    }
    TestRunUntilIdle(0.2);
    EXPECT_EQ(Card()->received, (std::vector<std::string>{"text Pick up parcel, row Pick up parcel"}));
    // The image is the row's text at the row's size; its corner is the
    // row's corner, wherever the row was taken.
    CFRef<CGImageRef> image(task->CopyDragImage());
    ASSERT_NE(image.get(), nullptr);
    EXPECT_EQ(CGImageGetWidth(image), size_t(task->GetFrame().size.width));
    EXPECT_EQ(CGImageGetHeight(image), size_t(task->GetFrame().size.height));
    const QImage picture = CGImageGetQImage(image.get());
    if (const char* dump = getenv("TASK_DRAG_IMAGE_PNG"))
        picture.save(QString::fromUtf8(dump));
    int inked = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            inked += qAlpha(picture.pixel(x, y)) != 0;
    EXPECT_GT(inked, 50) << "the text is drawn";
    EXPECT_EQ(Card()->pressOffset.x, task->GetFrame().origin.x - press.x);
    EXPECT_EQ(Card()->pressOffset.y, task->GetFrame().origin.y - press.y);
}

TEST_F(TaskEditingTest, TheFieldLiesOverTheTextAndTypingReplacesItWhenReturnEnds)
{
    TTask* task = Edit("Milk");
    ASSERT_TRUE(TEditSession::IsEditing());
    EXPECT_TRUE(task->IsEditing());
    EXPECT_EQ(TEditSession::SharedSession()->GetDelegate(), task);
    EXPECT_EQ(TEditSession::SharedField()->options(), kEditOptionSelectAll | kEditOptionPlain);
    // Over the text, in the canvas: the card's origin plus the editing frame.
    HIRect fieldFrame;
    HIViewGetFrame(TEditSession::SharedField()->view(), &fieldFrame);
    const CGRect editing = task->GetEditingFrame();
    EXPECT_EQ(fieldFrame.origin.x, editing.origin.x + 20);
    EXPECT_EQ(fieldFrame.origin.y, editing.origin.y + 10);

    Type("eggs");
    EXPECT_EQ(TextOf(task), "Milk") << "the row changes when the edit ends";
    Press(Qt::Key_Return);
    EXPECT_FALSE(TEditSession::IsEditing());
    EXPECT_FALSE(task->IsEditing());
    EXPECT_EQ(TextOf(task), "eggs");
    EXPECT_GE(changes_->count, 1) << "the change reaches the sheet";
    EXPECT_TRUE(Card()->addTaskCalls.empty()) << "a plain Return adds no row";
}

TEST_F(TaskEditingTest, ReturnAsksTheCardForANewRowAfterAnAddedRowInModeOneOrWithCommand)
{
    struct Row {
        const char* name;
        SInt32 mode;
        bool fromAdding;
        Qt::KeyboardModifiers modifiers;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {"added, mode 1", 1, true, Qt::NoModifier, {"bread after the edit"}},
        {"added, mode 0", 0, true, Qt::NoModifier, {}},
        {"not added, mode 1", 1, false, Qt::NoModifier, {}},
        {"command, mode 0", 0, false, Qt::ControlModifier, {"bread after the edit"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Prefs()->SetIntegerValue("TPreferences.editingMode", row.mode);
        Card()->addTaskCalls.clear();
        TTask* task = Edit("Milk", row.fromAdding);
        Type("bread");
        Press(Qt::Key_Return, row.modifiers);
        EXPECT_FALSE(TEditSession::IsEditing());
        EXPECT_EQ(TextOf(task), "bread");
        EXPECT_EQ(Card()->addTaskCalls, row.calls);
    }
}

TEST_F(TaskEditingTest, AnEmptiedRowGoesOnlyInModeOne)
{
    for (SInt32 mode : {0, 1, 2}) {
        SCOPED_TRACE(mode);
        Prefs()->SetIntegerValue("TPreferences.editingMode", mode);
        TTask* task = Edit("Milk");
        const auto hold = TObjectRef<TTask>::Retain(task);
        // Mode 2 edits several lines: Return makes a line break there.
        EXPECT_EQ(TEditSession::SharedField()->options(),
                  mode == 2 ? 25u : UInt32(kEditOptionSelectAll | kEditOptionPlain));
        Press(Qt::Key_Backspace);
        ASSERT_TRUE(TEditSession::IsEditing());
        TEditSession::StopEditing();
        EXPECT_EQ(TextOf(task), "");
        EXPECT_EQ(InTree(Card()->Root(), task), mode != 1);
        EXPECT_GE(changes_->count, 1);
    }
}

TEST_F(TaskEditingTest, AWebAddressBecomesALinkRowInPlaceOfTheTextRow)
{
    RegisterClass("TURLAttachment", TTestLinkRow::StaticClass());
    Add("before");
    Edit("Milk");
    Add("after");
    TEditSession::SharedTextView()->setPlainText(QStringLiteral("https://example.org/list"));
    TEditSession::StopEditing();
    ASSERT_EQ(ChildTexts(Card()->Root()), (std::vector<std::string>{"before", "https://example.org/list", "after"}));
    TTask* link = Card()->Root()->GetChildAtIndex(1);
    EXPECT_STREQ(link->ClassName(), FindClass("TURLAttachment")->name);
    EXPECT_EQ(link->GetOwner(), Card());

    // Text that only mentions an address, or another scheme, stays text.
    for (const char* text : {"see https://example.org", "mailto://someone", "HTTP//x"}) {
        SCOPED_TRACE(text);
        TTask* row = Edit("x");
        TEditSession::SharedTextView()->setPlainText(QString::fromUtf8(text));
        TEditSession::StopEditing();
        EXPECT_EQ(TextOf(row), text);
        EXPECT_TRUE(InTree(Card()->Root(), row));
    }
}

// ---- drags ----

TEST_F(TaskCommandTest, ADragOverARowOffersBeforeIntoOrAfterByThirds)
{
    struct Row {
        const char* name;
        CGFloat y;  // the row spans 100 to 130
        bool container;
        const char* dragged;  // "other", "self", "parent" (of the row), "child" (of the row)
        SInt32 tracking;
        bool accepted;
    };
    const Row rows[] = {
        {"top", 100, false, "other", brindlet::kTrackingBefore, false},
        {"upper third", 109.9, false, "other", brindlet::kTrackingBefore, false},
        {"middle third starts", 110, false, "other", brindlet::kTrackingInto, true},
        {"middle third ends", 120, false, "other", brindlet::kTrackingInto, true},
        {"lower third", 120.5, false, "other", brindlet::kTrackingAfter, false},
        {"bottom", 129, false, "other", brindlet::kTrackingAfter, false},
        {"lower third of a container", 125, true, "other", brindlet::kTrackingNone, false},
        {"middle of a container", 115, true, "other", brindlet::kTrackingInto, true},
        {"onto itself", 115, false, "self", brindlet::kTrackingNone, false},
        {"onto its own child", 115, false, "parent", brindlet::kTrackingNone, false},
        {"above its own child", 101, false, "parent", brindlet::kTrackingNone, false},
        {"a child onto its parent", 115, true, "child", brindlet::kTrackingInto, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // The row's parent takes no drops, so "before" and "after" (offered
        // to the parent) are refused while "into" (offered to the row) is
        // taken.
        TTask* other = Add("other");
        TRefusingTask* parentRow = TRefusingTask::Create(CFSTR("parent"), card_.get());
        card_->Root()->Append(parentRow);
        parentRow->Release();
        TTask* task = Add("row", parentRow);
        TTask* child = row.container ? Add("child", task) : nullptr;
        task->SetFrame(CGRectMake(0, 100, 200, 30));
        TTask* dragged = other;
        if (std::string(row.dragged) == "self")
            dragged = task;
        else if (std::string(row.dragged) == "parent")
            dragged = parentRow;
        else if (std::string(row.dragged) == "child")
            dragged = child;
        const auto drag = TObjectRef<TTestDrag>::Adopt(TTestDrag::Create(0));
        EXPECT_EQ(task->TrackDragging(CGPointMake(50, row.y), dragged, drag.get()), row.accepted);
        EXPECT_EQ(task->GetTracking(), row.tracking);
    }
}

TEST_F(TaskCommandTest, TheDraggedRowCarriesItsTextAndItsIdentityNotItsAddress)
{
    TTask* task = Add("Pick up parcel");
    TTask* untitled = Add("");
    for (TTask* row : {task, untitled}) {
        SCOPED_TRACE(TextOf(row));
        const auto drag = TObjectRef<TDrag>::Adopt(TDrag::Create());
        row->AddDragItems(drag.get());
        ASSERT_EQ(drag->GetCount(), 1);
        CFRef<CFStringRef> text(drag->CopyCFStringFlavor(1));
        EXPECT_EQ(text.get() != nullptr ? CFStringToUTF8(text) : "(none)",
                  CFStringGetLength(row->GetText()) > 0 ? TextOf(row) : "(none)");

        // The process and the identifier, resolved back through the live
        // rows of this process.
        brindlet::DragObjectRecord record{};
        ASSERT_EQ(drag->GetFlavorSize(1, brindlet::kTaskDragFlavor), Size(sizeof record));
        ASSERT_TRUE(drag->GetFlavor(1, brindlet::kTaskDragFlavor, &record, sizeof record));
        EXPECT_EQ(record.processID, SInt32(getpid()));
        const CFUUIDBytes expected = CFUUIDGetUUIDBytes(row->GetUUID());
        EXPECT_EQ(std::memcmp(&record.identifier, &expected, sizeof expected), 0);
        brindlet::RegisterDragCard(row->GetOwner());
        EXPECT_EQ(brindlet::ResolveTaskDragFlavor(drag.get(), 1), row);
        brindlet::UnregisterDragCard(row->GetOwner());
        EXPECT_EQ(brindlet::ResolveTaskDragFlavor(drag.get(), 1), nullptr) << "only rows of live cards";
    }
}

TEST_F(TaskCommandTest, OnlyTheSelectedRowsTextStartsADragAndNotWhileEdited)
{
    TTask* task = Add("row");
    Draw();
    const CGPoint inText = Center(task->GetTextFrame());
    const CGPoint onButton = Center(task->GetButtonFrame());
    EXPECT_FALSE(task->CanDrag(inText)) << "not selected";
    task->Select();
    EXPECT_TRUE(task->CanDrag(inText));
    EXPECT_FALSE(task->CanDrag(onButton)) << "the check box is no handle";
    task->BeginEditing();
    EXPECT_FALSE(task->CanDrag(inText)) << "while edited";
}
