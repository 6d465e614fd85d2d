// The editing session and its text field over a canvas in a real
// (offscreen) window: keys typed through the window system, the session's
// delegate calls and notifications in order, the growing field, the menu
// commands and the session's own bookkeeping when sessions overlap.
#include "SpriteTestSupport.h"

#include <SpriteEngine/Additions/SCTextField.h>

#include <CoreGraphics/CGImageQt.h>
#include <HIToolbox/CGWindow.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/Menus.h>
#include <Units/Utilities/CarbonUtilities.h>

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTextCursor>

#include <string>
#include <vector>

namespace {

std::string Text(TDictionary* details)
{
    if (details == nullptr)
        return "(none)";
    auto text = static_cast<CFStringRef>(details->GetValue("text"));
    return text != nullptr ? CFStringToPascal(text).ToString() : "(no text)";
}

// The session's delegate and an observer of its notifications, in one log.
class TSessionProbe : public TResponder {
    BRINDLET_CLASS(TSessionProbe, TResponder)

public:
    static TSessionProbe* Create(const std::string& name)
    {
        TSessionProbe* probe = Allocate();
        probe->name = name;
        probe->Initialize();
        return probe;
    }
    std::string name;
    std::vector<std::string> log;
    std::vector<int> heights;

    void Initialize() override
    {
        Inherited::Initialize();
        RegisterMethod("TextFieldDelegate.StopEditing", BRINDLET_METHOD(TSessionProbe, Stopped));
        RegisterMethod("TextFieldDelegate.DeleteTarget", BRINDLET_METHOD(TSessionProbe, DeleteTarget));
        RegisterMethod("TextFieldDelegate.KeyDown", BRINDLET_METHOD(TSessionProbe, KeyDown));
        RegisterMethod("TTextField.HeightChanged", BRINDLET_METHOD(TSessionProbe, HeightChanged));
        ObserveNotification("TEditSession.StopEditing", BRINDLET_METHOD(TSessionProbe, ObservedStop));
        ObserveNotification("TEditSession.DeleteTarget", BRINDLET_METHOD(TSessionProbe, ObservedDelete));
    }
    void Stopped(TDictionary* details) { log.push_back(name + " stop " + Text(details)); }
    void DeleteTarget() { log.push_back(name + " delete"); }
    void KeyDown(EventRef event)
    {
        UInt32 code = 0;
        GetEventParameter(event, kEventParamKeyCode, typeUInt32, nullptr, sizeof code, nullptr, &code);
        log.push_back(name + " key " + std::to_string(code));
    }
    void HeightChanged(TDictionary* details)
    {
        heights.push_back(static_cast<TTypeDictionary*>(details)->GetIntegerValue("height"));
    }
    void ObservedStop(TDictionary* details) { log.push_back("observed stop " + Text(details)); }
    void ObservedDelete(TDictionary*) { log.push_back("observed delete"); }

protected:
    TSessionProbe() = default;
};

BRINDLET_DEFINE_CLASS(TSessionProbe, TResponder)

class CanvasTextFieldTest : public SpriteFixture {
protected:
    void SetUp() override
    {
        SpriteFixture::SetUp();
        const Rect bounds = {100, 100, 300, 400};
        ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window_), noErr);
        HIViewRef content = nullptr;
        HIViewFindByID(HIViewGetRoot(window_), kHIViewWindowContentID, &content);
        const HIRect frame = CGRectMake(0, 0, 300, 200);
        HIViewCreatePlain(&frame, &canvasView_);
        HIViewAddSubview(content, canvasView_);
        CFRelease(canvasView_);
        fieldCanvas_.Reset(TProbeCanvas::Create({300, 200}, 0));
        fieldCanvas_->SetView(canvasView_);
        ShowWindow(window_);
        TestActivateWindow(window_);
        probe_.Reset(TSessionProbe::Create("delegate"));
        attributes_ = NSAttributeDictionary::newAttributes();
        attributes_->setFont(NSFont::systemFontOfSize(12));
        attributes_->setForegroundColor(NSColor::colorWithCalibratedRed(0.1, 0.1, 0.5, 1));
    }
    void TearDown() override
    {
        TEditSession::StopEditing();
        attributes_->release();
        probe_.Reset();
        fieldCanvas_.Reset();
        DisposeWindow(window_);
        TestRunUntilIdle(0.2);
        SpriteFixture::TearDown();
    }

    // A session with the probe as delegate, the caret after the text.
    void Start(const char* text, UInt32 options, CGRect frame = CGRectMake(20, 30, 200, 20))
    {
        TEditSession::SharedSession()->SetDelegate(probe_.get());
        CFStringRef string = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
        TEditSession::StartEditing(string, attributes_, frame, options, fieldCanvas_.get());
        CFRelease(string);
        TestRunUntilIdle(0.2);
    }
    std::string Current()
    {
        CFStringRef text = TEditSession::GetString();
        return text != nullptr ? CFStringToPascal(text).ToString() : "(not editing)";
    }
    UInt16 FieldsInCanvas()
    {
        UInt16 count = 0;
        CountSubControls(canvasView_, &count);
        return count;
    }

    WindowRef window_ = nullptr;
    HIViewRef canvasView_ = nullptr;
    TObjectRef<TProbeCanvas> fieldCanvas_;
    TObjectRef<TSessionProbe> probe_;
    NSAttributeDictionary* attributes_ = nullptr;
};

TEST_F(CanvasTextFieldTest, ReturnEndsTheSessionOnTheNextPassAfterTheKeyDownCall)
{
    Start("Milk", kEditOptionPlain);
    ASSERT_TRUE(TEditSession::IsEditing());
    EXPECT_EQ(FieldsInCanvas(), 1);
    TestKeyClick(window_, Qt::Key_S);
    EXPECT_EQ(Current(), "Milks");
    probe_->log.clear();
    TestKeyClick(window_, Qt::Key_Return);
    TestRunUntilIdle(0.2);
    EXPECT_FALSE(TEditSession::IsEditing());
    EXPECT_EQ(probe_->log, (std::vector<std::string>{"delegate key 36", "delegate stop Milks", "observed stop Milks"}));
    // The delegate served one session; the field left the canvas.
    EXPECT_EQ(TEditSession::SharedSession()->GetDelegate(), nullptr);
    EXPECT_EQ(FieldsInCanvas(), 0);
    EXPECT_EQ(TEditSession::GetString(), nullptr);
}

TEST_F(CanvasTextFieldTest, ReturnThatDoesNotEndTheSession)
{
    struct Row {
        const char* name;
        UInt32 options;
        Qt::KeyboardModifiers modifiers;
        bool composing;
        const char* expected;
    };
    const Row rows[] = {
        {"option 16", kEditOptionPlain | kEditOptionReturnInsertsLineBreak, Qt::NoModifier, false, "ab\n"},
        {"shift", kEditOptionPlain, Qt::ShiftModifier, false, "ab\n"},
        // Return confirms what the input method composed.
        {"composing", kEditOptionPlain, Qt::NoModifier, true, "abka"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Start("ab", row.options);
        if (row.composing) {
            QInputMethodEvent compose(QStringLiteral("ka"), {});
            QCoreApplication::sendEvent(TEditSession::SharedTextView(), &compose);
            EXPECT_TRUE(TEditSession::SharedTextView()->hasMarkedText());
        }
        TestKeyClick(window_, Qt::Key_Return, row.modifiers);
        TestRunUntilIdle(0.2);
        EXPECT_TRUE(TEditSession::IsEditing());
        EXPECT_EQ(Current(), row.expected);
        TEditSession::StopEditing();
    }
}

TEST_F(CanvasTextFieldTest, DeleteInAnEmptyFieldDeletesTheTargetAndEnds)
{
    Start("a", kEditOptionPlain);
    TestKeyClick(window_, Qt::Key_Backspace);
    TestRunUntilIdle(0.2);
    // With text, Delete deletes.
    EXPECT_EQ(Current(), "");
    EXPECT_TRUE(TEditSession::IsEditing());
    probe_->log.clear();
    TestKeyClick(window_, Qt::Key_Backspace);
    TestRunUntilIdle(0.2);
    EXPECT_FALSE(TEditSession::IsEditing());
    EXPECT_EQ(probe_->log, (std::vector<std::string>{"delegate delete", "observed delete", "delegate key 51",
                                                     "delegate stop ", "observed stop "}));
}

TEST_F(CanvasTextFieldTest, TypingUntilTheTextWrapsReportsEachWholePointOfHeightOnceAndGrowsTheField)
{
    Start("", kEditOptionPlain, CGRectMake(10, 10, 60, 20));
    HIViewRef fieldView = TEditSession::SharedField()->view();
    ASSERT_NE(fieldView, nullptr);
    for (int i = 0; i < 30; ++i)
        TestKeyClick(window_, Qt::Key_M);
    TestRunUntilIdle(0.2);
    // From the frame's height to the first line's 0, then one report per
    // line the text wrapped into.
    ASSERT_GE(probe_->heights.size(), 3u);
    EXPECT_EQ(probe_->heights.front(), 0);
    for (size_t i = 1; i < probe_->heights.size(); ++i)
        EXPECT_GT(probe_->heights[i], probe_->heights[i - 1]) << "report " << i;
    HIRect frame = CGRectZero;
    HIViewGetFrame(fieldView, &frame);
    EXPECT_FLOAT_EQ(frame.size.height, probe_->heights.back() + 20.0f);
    EXPECT_FLOAT_EQ(frame.size.width, 60);
}

TEST_F(CanvasTextFieldTest, OverlappingSessionsKeepOneFieldAndALateCancelEndsNothingNewer)
{
    // Several kinds asked: one field, the plain one.
    Start("first", kEditOptionSingleLine | kEditOptionScrollable | kEditOptionPlain);
    EXPECT_EQ(FieldsInCanvas(), 1);
    EXPECT_FALSE(TEditSession::SharedField()->isScrollable());
    EXPECT_FALSE(TEditSession::SharedField()->isSingleLine());

    // Return asks to end the first session on the next pass; a second
    // session starts before that: the first one ends now, and the late
    // request is void.
    QKeyEvent returnKey(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(TEditSession::SharedTextView(), &returnKey);
    EXPECT_TRUE(TEditSession::IsEditing());
    const auto second = TObjectRef<TSessionProbe>::Adopt(TSessionProbe::Create("second"));
    TEditSession::SharedSession()->SetDelegate(second.get());
    CFStringRef text = CFStringCreateWithCString(nullptr, "second", kCFStringEncodingUTF8);
    TEditSession::StartEditing(text, attributes_, CGRectMake(0, 0, 100, 20), kEditOptionPlain, fieldCanvas_.get());
    CFRelease(text);
    TestRunUntilIdle(0.2);
    EXPECT_TRUE(TEditSession::IsEditing());
    EXPECT_EQ(Current(), "second");
    EXPECT_EQ(FieldsInCanvas(), 1);
    // The delegate set for the second session was told of the first's end
    // and stays for its own.
    EXPECT_EQ(TEditSession::SharedSession()->GetDelegate(), second.get());
    EXPECT_EQ(second->log, (std::vector<std::string>{"second stop first", "observed stop first"}));
}

TEST_F(CanvasTextFieldTest, SelectAllInASingleLineFieldAndResumingAKeptField)
{
    Start("Buy bread", kEditOptionSelectAll | kEditOptionSingleLine);
    EXPECT_TRUE(TEditSession::SharedField()->isSingleLine());
    EXPECT_EQ(TEditSession::SharedTextView()->textCursor().selectedText(), QStringLiteral("Buy bread"));
    // Detached, the field outlives the session and comes back with its text.
    TTextField* kept = TEditSession::SharedField()->detach();
    TEditSession::StopEditing();
    EXPECT_EQ(FieldsInCanvas(), 0);
    TEditSession::StartEditing(kept, CGRectMake(5, 5, 100, 20));
    kept->release();
    EXPECT_EQ(FieldsInCanvas(), 1);
    EXPECT_EQ(Current(), "Buy bread");
}

TEST_F(CanvasTextFieldTest, MenuCommandsFollowTheSession)
{
    MenuRef edit = nullptr, session = nullptr;
    ASSERT_EQ(CreateNewMenu(kEditMenuID, 0, &edit), noErr);
    ASSERT_EQ(CreateNewMenu(kEditSessionMenuID, 0, &session), noErr);
    InsertMenu(edit, 0);
    InsertMenu(session, 0);
    MenuItemIndex undo = 0, other = 0, spelling = 0, title = 0;
    AppendMenuItemTextWithCFString(edit, CFSTR("Undo"), 0, FourCC("undo"), &undo);
    AppendMenuItemTextWithCFString(edit, CFSTR("Other"), 0, FourCC("abcd"), &other);
    AppendMenuItemTextWithCFString(edit, CFSTR("Spelling"), 0, FourCC("aspc"), &spelling);
    AppendMenuItemTextWithCFString(session, CFSTR("Title"), 0, FourCC("ttle"), &title);
    auto update = [](MenuRef menu, MenuItemIndex index, const char(&code)[5]) {
        HICommand command{};
        command.commandID = FourCC(code);
        command.menu.menuRef = menu;
        command.menu.menuItemIndex = index;
        TEditSession::UpdateCommandStatus(command);
        return bool(IsMenuItemEnabled(menu, index));
    };
    EXPECT_FALSE(update(edit, undo, "undo"));
    EXPECT_TRUE(update(edit, other, "abcd"));
    EXPECT_FALSE(update(session, title, "ttle"));

    Start("plain", kEditOptionPlain | kEditOptionSelectAll);
    EXPECT_TRUE(update(edit, undo, "undo"));
    EXPECT_FALSE(update(edit, other, "abcd"));
    EXPECT_TRUE(update(session, title, "ttle"));

    auto process = [edit](const char(&code)[5], MenuItemIndex index = 0) {
        HICommand command{};
        command.commandID = FourCC(code);
        command.menu.menuRef = edit;
        command.menu.menuItemIndex = index;
        OSStatus result = eventNotHandledErr;
        TEditSession::ProcessCommand(command, result);
        return result;
    };
    TCanvasTextView* view = TEditSession::SharedTextView();
    EXPECT_EQ(process("fbld"), noErr);
    EXPECT_TRUE(view->selectionSupportsTrait(kFontTraitBold));
    const int before = view->textCursor().charFormat().font().pixelSize();
    EXPECT_EQ(process("fbig"), noErr);
    QTextCursor inside(view->document());
    inside.setPosition(1);
    EXPECT_EQ(inside.charFormat().font().pixelSize(), before + 1);
    EXPECT_EQ(process("undo"), noErr);
    EXPECT_EQ(process("undo"), noErr);
    EXPECT_FALSE(view->selectionSupportsTrait(kFontTraitBold));
    EXPECT_EQ(process("aspc", spelling), noErr);
    EXPECT_TRUE(view->continuousSpellChecking);
    EXPECT_TRUE(IsMenuItemChecked(edit, spelling));
    EXPECT_EQ(process("abcd"), eventNotHandledErr);
    TEditSession::StopEditing();
    EXPECT_EQ(process("fbld"), eventNotHandledErr);

    DeleteMenu(kEditMenuID);
    DeleteMenu(kEditSessionMenuID);
    ReleaseMenu(edit);
    ReleaseMenu(session);
}

TEST_F(CanvasTextFieldTest, TheFieldRendersItsTextToAnImage)
{
    attributes_->setFont(NSFont::boldSystemFontOfSize(18));
    Start("Call Anna", kEditOptionPlain, CGRectMake(10, 10, 160, 30));
    CGImageRef image = TEditSession::SharedField()->copyImage(CGRectMake(0, 0, 160, 30));
    ASSERT_NE(image, nullptr);
    const QImage pixels = CGImageGetQImage(image);
    EXPECT_EQ(pixels.size(), QSize(160, 30));
    // Ink where the text is, and the background left clear.
    int inked = 0;
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            inked += qAlpha(pixels.pixel(x, y)) > 128 ? 1 : 0;
    EXPECT_GT(inked, 100);
    EXPECT_EQ(qAlpha(pixels.pixel(159, 29)), 0);
    if (const char* out = std::getenv("BRINDLET_RENDER_DIR"))
        pixels.save(QString::fromUtf8(out) + QStringLiteral("/canvas-text-field.png"));
    CGImageRelease(image);

    // In the window, the field has no background of its own: beside the
    // text, the window shows what lies under the field.
    TestRunUntilIdle(0.3);
    CGImageRef shot = CGWindowListCreateImage(CGRectNull, kCGWindowListOptionOnScreenOnly, kCGNullWindowID,
                                              kCGWindowImageShouldBeOpaque);
    ASSERT_NE(shot, nullptr);
    const QImage window = CGImageGetQImage(shot);
    CGImageRelease(shot);
    ASSERT_EQ(window.size(), QSize(300, 200));
    EXPECT_EQ(window.pixel(160, 35), window.pixel(250, 150));
    int inkedInWindow = 0;
    for (int y = 10; y < 40; ++y)
        for (int x = 10; x < 170; ++x)
            inkedInWindow += window.pixel(x, y) != window.pixel(250, 150) ? 1 : 0;
    EXPECT_GT(inkedInWindow, 100);
}

}  // namespace

TEST(CanvasTextFieldKnownGaps, SpellChecking)
{
    GTEST_SKIP() << "Known gap: the spelling commands switch their menu states and the text view's flags, but "
                    "no spelling is checked: no spelling dictionary is wired to the text field.";
}
