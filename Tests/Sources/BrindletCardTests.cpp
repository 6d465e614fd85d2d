// The task-list card: where new rows go, its archive as the sheet file holds
// it, the clipboard and plain text, undo of pasted rows, its automatic
// height, the overdue label, the mail draft and the drags it takes.
#include "ArchiveCheck.h"
#include "TaskTestSupport.h"

#include <Sources/Globals.h>
#include <Sources/Tasks/UBrindlet.h>
#include <Sources/Tasks/UDragFlavors.h>

#include <Shared/BrindletShared.h>

#include <ApplicationFramework/Classes/TApplicationUnit.h>
#include <SpriteEngine/Additions/SCTextField.h>
#include <SpriteEngine/SCLayer.h>
#include <Units/Classes/TArchiverUnit.h>
#include <Units/Classes/TPasteboardUnit.h>
#include <Units/Classes/TUndoManagerUnit.h>

#include <CGTestSupport.h>
#include <CoreFoundation/CFRef.h>
#include <CoreFoundation/CFStringUTF8.h>
#include <CoreGraphics/CGImageQt.h>
#include <FileFixtures.h>
#include <HIToolbox/HIView.h>

#include <QFontDatabase>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

using brindlet::TBrindlet;

namespace {

// A screen of the tests: a canvas with one layer, printing when told.
class TListScreen : public TScreenProtocol {
    BRINDLET_CLASS(TListScreen, TScreenProtocol)

public:
    static TListScreen* Create(CGSize size)
    {
        TListScreen* screen = Allocate();
        screen->SetUpCanvas(size, 0);
        screen->Initialize();
        return screen;
    }
    Boolean IsPrinting() override { return printing; }
    bool printing = false;

protected:
    TListScreen() = default;
};

// A row of a chosen height, so that a card's rows need a known height
// whatever the fonts measure.
class TFixedRow : public TTask {
    BRINDLET_CLASS(TFixedRow, TTask)

public:
    static TFixedRow* Create(CGFloat height, TCardProtocol* card)
    {
        TFixedRow* row = Allocate();
        row->height_ = height;
        row->Initialize();
        row->SetOwner(card);
        return row;
    }
    CGSize GetDimensions() override { return CGSizeMake(100, height_); }

protected:
    TFixedRow() = default;

private:
    CGFloat height_ = 0;
};

}  // namespace

BRINDLET_DEFINE_CLASS(TListScreen, TScreenProtocol)
BRINDLET_DEFINE_CLASS(TFixedRow, TTask)

namespace {

std::vector<std::string> gOpenedURLs;

OSStatus RecordURL(CFURLRef url)
{
    gOpenedURLs.push_back(CFStringToUTF8(CFURLGetString(url)));
    return noErr;
}

class BrindletCardTest : public TaskFixture {
protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        QFontDatabase::addApplicationFont(BRINDLET_FIXTURES_DIR "/Fonts/DejaVuSans.ttf");
        application_ = TApplication::Create<TApplication>(kBrindletSignature, BrindletBundleIdentifier());
        TPreferenceHandlerApplication* prefs = TApplication::Prefs();
        prefs->SetBooleanValue("TPreferences.randomColor", false);
        prefs->SetBooleanValue("TPreferences.showTransitions", false);
        prefs->SetBooleanValue("TPreferences.shadows", false);
        prefs->SetBooleanValue("TPreferences.showMinimize", true);
        prefs->SetBooleanValue("TPreferences.adjustColor", true);
        prefs->SetIntegerValue("TPreferences.adjustColorLevel", 50);
        prefs->SetIntegerValue("TPreferences.cardOpacity", 100);
        prefs->SetIntegerValue("TPreferences.gradientOpacity", 80);
        prefs->SetStringValue("title-font-family", "DejaVu Sans");
        prefs->SetIntegerValue("title-font-size", 16);
        prefs->SetStringValue("list-font-family", "DejaVu Sans");
        prefs->SetIntegerValue("list-font-size", 12);

        screen_ = TObjectRef<TListScreen>::Adopt(TListScreen::Create(CGSizeMake(1280, 800)));
        const HIRect viewFrame = CGRectMake(0, 0, 1280, 800);
        HIViewCreatePlain(&viewFrame, &view_);
        screen_->SetView(view_);
        screen_->SetPaused(true);
        const auto layer = TObjectRef<TSpriteLayer>::Adopt(TSpriteLayer::Create(0, false));
        screen_->AppendLayer(layer.get());
        layer_ = layer.get();
        gOpenedURLs.clear();
        TBrindlet::SetURLOpener(RecordURL);
    }

    void TearDown() override
    {
        TBrindlet::SetURLOpener(nullptr);
        for (TBrindlet* card : cards_)
            card->Remove();
        cards_.clear();
        screen_.Reset();
        layer_ = nullptr;
        DisposeControl(view_);
        view_ = nullptr;
        application_->Release();
        TaskFixture::TearDown();
    }

    // A new card on the screen's layer, as the user makes one (the layer
    // holds it), with nothing to undo.
    TBrindlet* NewList(const char* title = "Errands")
    {
        TBrindlet* card = TBrindlet::CreateUntitled(layer_);
        card->SetTitle(CFSTR(title));
        card->SetColor(0.25f, 0.45f, 0.85f, 1.0f);
        cards_.push_back(card);
        TUndoManager::SharedManager()->RemoveAllActions();
        return card;
    }

    // A row of the card appended to `parent` (the root when nil); borrowed.
    static TTask* Row(TBrindlet* card, const char* text, TTask* parent = nullptr)
    {
        TTask* task = TTask::Create(CFSTR(text), card);
        (parent != nullptr ? parent : card->GetRootTask())->Append(task);
        task->Release();
        return task;
    }

    static void PutClipboardText(const std::string& text)
    {
        TPasteboard* pasteboard = TPasteboard::CreateClipboard();
        pasteboard->Clear();
        pasteboard->PutFlavor(text.data(), Size(text.size()), kUTTypeUTF8PlainText, 0);
        pasteboard->Release();
    }

    static std::string ClipboardText()
    {
        TPasteboard* pasteboard = TPasteboard::CreateClipboard();
        std::string text = "(none)";
        if (pasteboard->ContainsFlavor(kUTTypeUTF8PlainText)) {
            Ptr bytes = pasteboard->CopyFlavor(kUTTypeUTF8PlainText);
            text = bytes != nullptr ? std::string(bytes, size_t(GetPtrSize(bytes))) : "(nil)";
            DisposePtr(bytes);
        }
        pasteboard->Release();
        return text;
    }

    // The tree under a row as "A[B,C],D".
    static std::string Tree(const TTask* task)
    {
        std::string out;
        for (SInt32 i = 0; i < task->GetChildCount(); ++i) {
            const TTask* child = task->GetChildAtIndex(i);
            if (i > 0)
                out += ",";
            out += CFStringToUTF8(const_cast<TTask*>(child)->GetText());
            if (child->GetChildCount() > 0)
                out += "[" + Tree(child) + "]";
        }
        return out;
    }

    // The face the card composites now.
    static QImage Face(TBrindlet* card)
    {
        card->CompositeImage();
        CGImageRef image = card->GetImage();
        return image != nullptr ? CGImageGetQImage(image).convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                : QImage();
    }

    TApplication* application_ = nullptr;
    TObjectRef<TListScreen> screen_;
    TSpriteLayer* layer_ = nullptr;
    HIViewRef view_ = nullptr;
    std::vector<TBrindlet*> cards_;
};

// ---- where new rows go ----

TEST_F(BrindletCardTest, EachPlacementBitPutsTheNewRowWhereItSays)
{
    // The tree of every case: A (a closed container holding A1 and A2), B.
    struct Case {
        UInt32 options;
        const char* selected;  // nil: no selection
        const char* tree;      // after adding "N"
        bool rootOpened;
        bool containerOpened;
    } cases[] = {
        {128, nullptr, "A[A1,A2],B,N", true, false}, {128, "B", "A[A1,A2],B,N", false, false},
        {128, "A1", "A[A1,N,A2],B", false, false},   {128, "A", "A[A1,A2,N],B", false, true},
        {4, "A1", "A[A1,A2],B,N", true, false},      {2, "A1", "N,A[A1,A2],B", true, false},
        {8, nullptr, "A[A1,A2],B,N", true, false},   {8, "A1", "A[A1,N,A2],B", false, false},
        {65, nullptr, "A[A1,A2],B,N", true, false},  {65, "A1", "A[A1,A2],N,B", false, false},
        {65, "A", "A[A1,A2],N,B", false, false},     {16, nullptr, "N,A[A1,A2],B", true, false},
        {16, "A2", "A[A1,N,A2],B", false, false},    {33, nullptr, "A[A1,A2],B,N", true, false},
        {33, "A", "A[A1,A2,N],B", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.options) + " on " + (c.selected ? c.selected : "nothing"));
        TBrindlet* card = NewList();
        TTask* a = Row(card, "A");
        Row(card, "A1", a);
        Row(card, "A2", a);
        TTask* b = Row(card, "B");
        a->SetContainer(true);
        a->SetOpen(false);
        card->GetRootTask()->SetOpen(false);
        std::map<std::string, TTask*> rows = {
            {"A", a}, {"A1", a->GetChildAtIndex(0)}, {"A2", a->GetChildAtIndex(1)}, {"B", b}};
        if (c.selected != nullptr)
            card->GetOutline()->SetSelection(rows[c.selected]);
        auto changes = TObjectRef<TNotificationCounter>::Adopt(TNotificationCounter::Create("SyncSheetChanged"));

        TTask* added = card->AddTask(CFSTR("N"), c.options);

        ASSERT_NE(added, nullptr);
        EXPECT_EQ(Tree(card->GetRootTask()), c.tree);
        EXPECT_EQ(card->GetSelectedTask(), added);
        EXPECT_EQ(added->GetOwner(), card);
        EXPECT_EQ(card->GetRootTask()->IsOpen(), c.rootOpened);
        EXPECT_EQ(a->IsOpen(), c.containerOpened);
        EXPECT_GE(changes->count, 1);
    }
}

TEST_F(BrindletCardTest, ReturnTheMenuAndTheNameAddAnEditedRowAtTheInsertionPoint)
{
    TBrindlet* card = NewList();
    TTask* first = Row(card, "first");
    Row(card, "last");
    card->GetOutline()->SetSelection(first);

    // Return without modifiers, which the outline leaves alone.
    OSStatus status = eventNotHandledErr;
    card->HandleKeyDown(0, 36, '\r', status);
    EXPECT_EQ(status, noErr);
    EXPECT_EQ(Tree(card->GetRootTask()), "first,,last");
    EXPECT_EQ(card->GetSelectedTask(), card->GetRootTask()->GetChildAtIndex(1));

    // With the command key Return edits instead: no row.
    status = eventNotHandledErr;
    card->HandleKeyDown(cmdKey, 36, '\r', status);
    EXPECT_EQ(card->GetRootTask()->GetChildCount(), 3);

    // Called by name.
    card->InvokeMethod("AddTask");
    EXPECT_EQ(card->GetRootTask()->GetChildCount(), 4);

    // The menu's "add first" command.
    HICommandExtended command{};
    command.commandID = FourCC("adtf");
    status = eventNotHandledErr;
    card->ProcessCommand(command, nullptr, status);
    EXPECT_EQ(status, noErr);
    EXPECT_EQ(card->GetRootTask()->GetChildCount(), 5);
    EXPECT_EQ(card->GetSelectedTask(), card->GetRootTask()->GetChildAtIndex(0));
}

TEST_F(BrindletCardTest, ACardThatGoesWhileItsRowIsEditedEndsTheEditingFirst)
{
    TBrindlet* card = NewList();
    ASSERT_NE(card->AddTask(CFSTR("draft"), brindlet::kInsertAtSelection | brindlet::kInsertEdit), nullptr);
    ASSERT_TRUE(TEditSession::IsEditing());
    cards_.clear();
    card->Remove();
    // The session no longer holds a row whose card is gone: ending any
    // later session tells nobody stale.
    EXPECT_FALSE(TEditSession::IsEditing());
    TEditSession::StopEditing();
}

// ---- the archive ----

TEST_F(BrindletCardTest, ACardFileComesBackWithItsKeysAndRowsAndItsRowsBelongToIt)
{
    ScratchFolder folder;
    const std::string original = std::string(BRINDLET_FIXTURES_DIR) + "/Tasks/TaskListCard.plist";
    folder.Write("copy.plist", "");

    TArchiver* in = TArchiver::CreateWithFile(FSGetPathRef(ShortString(original)));
    ASSERT_EQ(in->Load(), 0);
    TObjectRef<TBrindlet> card =
        TObjectRef<TBrindlet>::Adopt(AllocateFromArchiveAs<TBrindlet>(in, static_cast<void*>(nullptr)));
    in->Release();
    ASSERT_TRUE(card);
    EXPECT_TRUE(card->GetHideCompletedTasks());
    EXPECT_EQ(card->GetShowTasksFrom(), 3);
    EXPECT_EQ(CFStringToUTF8(card->GetTitle()), "Launch");
    TTask* root = card->GetRootTask();
    ASSERT_EQ(Tree(root), "Plan the launch[Book the h\u00e4ll \u2014 caf\u00e9[]]");
    TTask* deepest = root->GetChildAtIndex(0)->GetChildAtIndex(0)->GetChildAtIndex(0);
    EXPECT_EQ(deepest->GetOwner(), card.get());
    EXPECT_EQ(card->GetOutline()->GetOwner(), card.get());
    // Reading a file is nothing to undo.
    EXPECT_FALSE(TUndoManager::SharedManager()->CanUndo());

    TArchiver* out = card->CopyArchive();
    EXPECT_EQ(out->Save(folder.Ref("copy.plist")), 0);
    out->Release();
    const auto [status, report] = RunArchiveCheck(original, folder / "copy.plist");
    EXPECT_EQ(status, 0) << report;

    // Sheets name task-list cards "TCard" too.
    EXPECT_EQ(FindClass("TCard"), &TBrindlet::StaticClass());
    EXPECT_EQ(FindClass("TBrindlet"), &TBrindlet::StaticClass());
}

TEST_F(BrindletCardTest, ACopiedCardHasItsOwnRows)
{
    TBrindlet* card = NewList();
    TTask* a = Row(card, "A");
    Row(card, "B", a);
    card->SetHideCompletedTasks(true);
    card->SetShowTasksFrom(2);
    TObjectRef<TBrindlet> copy = TObjectRef<TBrindlet>::Adopt(static_cast<TBrindlet*>(card->Copy(card)));
    ASSERT_TRUE(copy);
    EXPECT_EQ(Tree(copy->GetRootTask()), "A[B]");
    EXPECT_NE(copy->GetRootTask()->GetChildAtIndex(0), a);
    EXPECT_EQ(copy->GetRootTask()->GetChildAtIndex(0)->GetChildAtIndex(0)->GetOwner(), copy.get());
    EXPECT_TRUE(copy->GetHideCompletedTasks());
    EXPECT_EQ(copy->GetShowTasksFrom(), 2);
}

// ---- clipboard and text ----

TEST_F(BrindletCardTest, PastedLinesBecomeRowsWhateverTheirLineBreaksAndUndoTakesThemBack)
{
    for (const char* text : {"a\nb\nc\n", "a\r\nb\r\nc", "a\rb\rc\r"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(text)));
        TBrindlet* card = NewList();
        PutClipboardText(text);
        card->PasteAsTasks();
        EXPECT_EQ(Tree(card->GetRootTask()), "a,b,c");

        // As the user undoes and redoes them, one row at a time.
        TUndoManager* undo = TUndoManager::SharedManager();
        for (int i = 0; i < 3; ++i)
            undo->Undo();
        EXPECT_EQ(Tree(card->GetRootTask()), "");
        EXPECT_FALSE(undo->CanUndo());
        for (int i = 0; i < 3; ++i)
            undo->Redo();
        EXPECT_EQ(Tree(card->GetRootTask()), "a,b,c");
    }
}

TEST_F(BrindletCardTest, PasteCopyAndCutUseTheClipboardText)
{
    TBrindlet* card = NewList();
    TTask* a = Row(card, "A");
    Row(card, "B");
    EXPECT_FALSE(card->CanCopy());
    card->GetOutline()->SetSelection(a);
    EXPECT_TRUE(card->CanCopy());

    card->Cut();
    EXPECT_EQ(ClipboardText(), "A");
    EXPECT_EQ(Tree(card->GetRootTask()), "B");

    // The whole text, line breaks and all, is one row.
    PutClipboardText("one\ntwo");
    EXPECT_TRUE(card->WillAcceptClipboard());
    card->Paste();
    EXPECT_EQ(Tree(card->GetRootTask()), "B,one\ntwo");

    card->CopyCard();
    EXPECT_EQ(ClipboardText(), "- B\n- one\ntwo\n");
}

TEST_F(BrindletCardTest, ImportedLinesNestByTheirTabs)
{
    const struct {
        const char* text;
        const char* tree;
    } cases[] = {
        {"A\n\tB\nC", "A[B],C"},
        {"A\r\n\tB\r\nC\r\n", "A[B],C"},
        {"A\r\tB\rC", "A[B],C"},
        {"  A  \n\nB\t \n\n", "A,B"},
        {"A\n\t\tB\nC", "A[B],C"},
        // Back out of two levels at once: D is on the top level again.
        {"A\n\tB\n\t\tC\nD", "A[B[C]],D"},
        {"A\n\tB\n\t\tC\n\tD\nE", "A[B[C],D],E"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        TBrindlet* card = NewList();
        CFRef<CFStringRef> text(CFStringCreateWithUTF8(c.text));
        card->ImportText(text.get());
        EXPECT_EQ(Tree(card->GetRootTask()), c.tree);
    }
}

TEST_F(BrindletCardTest, ExportedTextMarksDoneRowsAndIndentsChildren)
{
    TBrindlet* card = NewList();
    TTask* a = Row(card, "A");
    a->SetCompleted(true);
    Row(card, "B", a);
    TTask* untitled = Row(card, "");
    Row(card, "C", untitled);
    TTask* dated = Row(card, "D");
    dated->SetDueDate(At(Now() + 86400));
    CFRef<CFStringRef> text(card->CopyExportText());
    NSString* date = NSDateUtilities::shortDateString(dated->GetDueDate(), false);
    EXPECT_EQ(CFStringToUTF8(text.get()), "\u221A A\n\t- B\n\t- C\n- D - " + CFStringToUTF8(date->cfString()) + "\n");

    // Read back, the text makes the same tree (markers and all).
    TBrindlet* other = NewList();
    other->ImportText(text.get());
    EXPECT_EQ(Tree(other->GetRootTask()), "\u221A A[- B,- C],- D - " + CFStringToUTF8(date->cfString()));
}

// ---- mail ----

TEST_F(BrindletCardTest, EmailOpensAMailtoDraftAndRunsNoScript)
{
    TBrindlet* card = NewList("Plan & \"do\"");
    Row(card, "Buy milk");
    Row(card, "Call Zo\u00eb?");
    card->Email();
    ASSERT_EQ(gOpenedURLs.size(), 1u);
    EXPECT_EQ(gOpenedURLs[0],
              "mailto:?subject=Plan%20%26%20%22do%22&body=-%20Buy%20milk%0D%0A-%20Call%20Zo%C3%AB%3F%0D%0A");
}

// ---- height ----

TEST_F(BrindletCardTest, TheCardGrowsToItsRowsAndShrinksWhenAskedTo)
{
    // The space around the rows, measured on an empty card: the rows need
    // that plus their height.
    TBrindlet* probe = NewList("");
    Face(probe);
    const CGFloat around = probe->GetContentFrame().origin.y + probe->GetContentMargin().bottom;

    const struct {
        const char* name;
        CGFloat startHeight;
        CGFloat needed;  // rows + the space around them
        bool snap;
        bool adjust;
        CGFloat height;
    } cases[] = {
        {"grows to the rows", 150, 170, false, false, 170},
        {"never below 150", 150, 90, false, false, 150},
        {"on the grid, rounded down", 150, 170, true, false, 160},
        {"on the grid, half to even", 150, 208, true, false, 192},
        {"on the grid, rounded up", 150, 190, true, false, 192},
        {"a tall card stays tall", 400, 170, false, false, 400},
        {"shrinks when adjusting", 400, 170, false, true, 170},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TApplication::Prefs()->SetBooleanValue("TPreferences.snapToGrid", c.snap);
        TApplication::Prefs()->SetBooleanValue("TPreferences.adjustHeight", c.adjust);
        TBrindlet* card = NewList("");
        TFixedRow* row = TFixedRow::Create(c.needed - around, card);
        card->GetRootTask()->Append(row);
        row->Release();
        card->SetSize(300, c.startHeight);
        card->SetNeedsAdjustHeight(c.adjust);

        Ptr buffer = nullptr;
        CGContextRef context = CanvasBitmapContextCreate(CGSizeMake(300, 400), buffer);
        bool again = false;
        card->HandleDrawComposite(context, again, card->GetFrame());
        CGContextRelease(context);
        DisposePtr(buffer);

        EXPECT_EQ(card->GetHeight(), c.height);
        EXPECT_EQ(again, c.height != c.startHeight);
        EXPECT_EQ(card->GetMinimumSize().height, std::max<CGFloat>(150, c.needed));
        EXPECT_FALSE(card->IsWaitingForHeightAdjustment());
    }
}

// A card read back from its sheet is the card that was saved: its rows
// measure themselves before they are placed, so its first drawing needs no
// second pass and does not grow it (it came back taller, rows drawn at a
// row height they never had).
TEST_F(BrindletCardTest, ACardReadBackKeepsItsHeightAndIsDrawnOnce)
{
    TApplication::Prefs()->SetBooleanValue("TPreferences.snapToGrid", false);
    TBrindlet* card = NewList("Read back");
    for (int i = 0; i < 14; ++i)
        Row(card, ("Row " + std::to_string(i)).c_str());
    Face(card);
    // Fitted to its rows, as adding them one by one leaves a card.
    TApplication::Prefs()->SetBooleanValue("TPreferences.adjustHeight", true);
    card->SetNeedsAdjustHeight(true);
    const QImage face = Face(card);
    TApplication::Prefs()->SetBooleanValue("TPreferences.adjustHeight", false);
    const CGFloat height = card->GetHeight();
    ASSERT_GT(height, 150) << "the rows, not the smallest card, decide the height";

    TArchiver* archive = card->CopyArchive();
    // The layer takes the reference, as a sheet's loader hands it over.
    TBrindlet* copy = AllocateFromArchiveAs<TBrindlet>(archive, static_cast<void*>(nullptr));
    archive->Release();
    ASSERT_NE(copy, nullptr);
    copy->SetLayer(layer_);
    cards_.push_back(copy);
    ASSERT_EQ(copy->GetHeight(), height);
    Ptr buffer = nullptr;
    CGContextRef context = CanvasBitmapContextCreate(copy->GetFrameWithInset().size, buffer);
    CanvasFlipContext(context, copy->GetFrameWithInset().size.height);
    bool again = false;
    copy->HandleDrawComposite(context, again, copy->GetFrame());
    CGContextRelease(context);
    DisposePtr(buffer);
    EXPECT_FALSE(again) << "a second pass";
    EXPECT_EQ(copy->GetHeight(), height);
    EXPECT_EQ(Face(copy).size(), face.size());
    for (SInt32 i = 0; i < 14; ++i)
        EXPECT_TRUE(CGRectEqualToRect(copy->GetRootTask()->GetChildAtIndex(i)->GetFrame(),
                                      card->GetRootTask()->GetChildAtIndex(i)->GetFrame()))
            << "row " << i;
}

// ---- overdue rows ----

TEST_F(BrindletCardTest, OnlyShownOpenRowsPastTheirDateCountAsOverdue)
{
    TBrindlet* card = NewList();
    EXPECT_EQ(card->CountOverdueTasks(), 0);
    TTask* yesterday = Row(card, "yesterday");
    yesterday->SetDueDate(At(Now() - 86400));
    TTask* child = Row(card, "last week", yesterday);
    child->SetDueDate(At(Now() - 7 * 86400));
    TTask* done = Row(card, "done");
    done->SetDueDate(At(Now() - 86400));
    done->SetCompleted(true);
    Row(card, "tomorrow")->SetDueDate(At(Now() + 86400));
    Row(card, "no date");
    EXPECT_EQ(card->CountOverdueTasks(), 2);
    clock_.Advance(10 * 86400);
    EXPECT_EQ(card->CountOverdueTasks(), 3);
}

TEST_F(BrindletCardTest, TheOverdueLabelMatchesItsGoldenAndShowsOnlyWhenDue)
{
    TBrindlet* card = NewList();
    card->SetSize(300, 200);
    Row(card, "Water the plants");
    TTask* late = Row(card, "Return the books");
    late->SetDueDate(At(Now() - 86400));
    const QImage face = Face(card);
    EXPECT_TRUE(MatchesGolden(face, "Cards/tasklist-overdue.png"));
    EXPECT_NE(brindlet::GetWarningImage(), nullptr);

    // The strip of the label, at the bottom of the interior.
    const CGRect interior = card->GetInteriorFrame();
    const QRect strip(int(interior.origin.x), int(CGRectGetMaxY(interior)) - 18, int(interior.size.width), 18);
    const auto sameStrip = [&](const QImage& other) { return face.copy(strip) == other.copy(strip); };

    // Done, the row is no longer overdue: no label.
    late->SetCompleted(true);
    const QImage none = Face(card);
    EXPECT_FALSE(sameStrip(none));
    late->SetCompleted(false);

    // Nor on paper.
    screen_->printing = true;
    const QImage printed = Face(card);
    screen_->printing = false;
    EXPECT_FALSE(sameStrip(printed));
    EXPECT_TRUE(sameStrip(Face(card)));
}

// ---- drags ----

TEST_F(BrindletCardTest, ARowDraggedBetweenCardsOfThisProcessMoves)
{
    TBrindlet* from = NewList("From");
    TBrindlet* to = NewList("To");
    TTask* row = Row(from, "Move me");
    Row(from, "Stay");
    auto drag = TObjectRef<TDrag>::Adopt(TDrag::Create());
    ASSERT_TRUE(brindlet::AddTaskDragFlavor(drag.get(), row));
    // The flavour holds the process and the identifier, not the address.
    EXPECT_EQ(drag->GetFlavorSize(1, brindlet::kTaskDragFlavor), Size(sizeof(brindlet::DragObjectRecord)));
    EXPECT_EQ(to->GetDragKind(drag.get()), brindlet::kDragTask);
    EXPECT_TRUE(to->HandleDragAccept(drag.get()));
    EXPECT_TRUE(to->HandleDragReceive(drag.get()));
    EXPECT_EQ(Tree(from->GetRootTask()), "Stay");
    EXPECT_EQ(Tree(to->GetRootTask()), "Move me");
    EXPECT_EQ(row->GetOwner(), to);

    // A card of this process is found by its identifier, but cannot be
    // dropped into another card yet.
    auto cardDrag = TObjectRef<TDrag>::Adopt(TDrag::Create());
    ASSERT_TRUE(brindlet::AddCardDragFlavor(cardDrag.get(), from));
    EXPECT_EQ(brindlet::ResolveCardDragFlavor(cardDrag.get(), 1), from);
    EXPECT_EQ(to->GetDragKind(cardDrag.get()), brindlet::kDragCard);
    EXPECT_FALSE(to->HandleDragReceive(cardDrag.get()));
}

TEST_F(BrindletCardTest, AFlavourFromAnotherProcessOrOfAnotherSizeIsNeverFollowed)
{
    TBrindlet* from = NewList("From");
    TBrindlet* to = NewList("To");
    TTask* row = Row(from, "Stay");

    brindlet::DragObjectRecord record;
    ASSERT_TRUE(brindlet::MakeDragObjectRecord(row->GetUUID(), record));
    record.processID = SInt32(getpid()) + 1;
    auto foreign = TObjectRef<TDrag>::Adopt(TDrag::Create());
    foreign->AddFlavor(brindlet::kTaskDragFlavor, &record, sizeof record);
    // What the flavour held before: the row's address.
    auto pointer = TObjectRef<TDrag>::Adopt(TDrag::Create());
    pointer->AddFlavor(brindlet::kTaskDragFlavor, &row, sizeof row);
    // A card of another process.
    ASSERT_TRUE(brindlet::MakeDragObjectRecord(from->GetUUID(), record));
    record.processID = SInt32(getpid()) + 1;
    auto card = TObjectRef<TDrag>::Adopt(TDrag::Create());
    card->AddFlavor(brindlet::kCardDragFlavor, &record, sizeof record);

    for (TDrag* drag : {foreign.get(), pointer.get()}) {
        EXPECT_EQ(brindlet::ResolveTaskDragFlavor(drag, 1), nullptr);
        EXPECT_EQ(to->GetDragKind(drag), brindlet::kDragRefused);
        EXPECT_FALSE(to->HandleDragAccept(drag));
        EXPECT_FALSE(to->HandleDragReceive(drag));
    }
    EXPECT_EQ(brindlet::ResolveCardDragFlavor(card.get(), 1), nullptr);
    EXPECT_EQ(to->GetDragKind(card.get()), brindlet::kDragCard);
    EXPECT_FALSE(to->HandleDragReceive(card.get()));
    EXPECT_EQ(Tree(from->GetRootTask()), "Stay");
    EXPECT_EQ(Tree(to->GetRootTask()), "");
}

TEST_F(BrindletCardTest, DragsAreClassifiedByTheirFlavours)
{
    TBrindlet* card = NewList();
    // A row of a card of another kind.
    Add("Elsewhere");
    brindlet::RegisterDragCard(card_.get());
    const auto text = [](const char* s) { return std::string(s); };
    const struct {
        const char* name;
        std::vector<std::pair<FlavorType, std::string>> flavours;
        SInt32 kind;
    } cases[] = {
        {"nothing known", {{FourCC("TEXT"), text("hello")}}, brindlet::kDragRefused},
        {"an image", {{kScrapFlavorTypePNG, text("png")}}, brindlet::kDragImage},
        {"a mail message", {{FourCC("url "), text("message:%3C1@example.org%3E")}}, brindlet::kDragMailMessage},
        {"a web address", {{FourCC("url "), text("https://example.org")}}, brindlet::kDragWebAddress},
        {"a file and its address",
         {{FourCC("url "), text("message:x")}, {FourCC("hfs "), text("f")}},
         brindlet::kDragFiles},
        {"a row of another kind of card", {{brindlet::kTaskDragFlavor, text("")}}, brindlet::kDragRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto drag = TObjectRef<TDrag>::Adopt(TDrag::Create());
        for (const auto& [type, bytes] : c.flavours) {
            if (type == brindlet::kTaskDragFlavor)
                brindlet::AddTaskDragFlavor(drag.get(), card_->Root()->GetChildAtIndex(0));
            else
                drag->AddFlavor(type, bytes.data(), Size(bytes.size()));
        }
        EXPECT_EQ(card->GetDragKind(drag.get()), c.kind);
        // Only rows can be dropped so far.
        EXPECT_FALSE(card->HandleDragReceive(drag.get()));
    }
    brindlet::UnregisterDragCard(card_.get());
}

}  // namespace
