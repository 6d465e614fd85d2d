#include "FrameworkTestSupport.h"

#include <ApplicationFramework/Classes/TControlKindsUnit.h>
#include <ApplicationFramework/Classes/TWindowUnit.h>

#include <CGTestSupport.h>
#include <CoreGraphics/CGImageQt.h>
#include <HIToolbox/Nibs.h>

#include <QColor>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

// The target of item, segment and control actions: writes down who called.
class KindsTarget : public TResponder {
    BRINDLET_CLASS(KindsTarget, TResponder)

public:
    static KindsTarget* Create() { return CreateInstance<KindsTarget>(); }
    std::vector<std::string> calls;
    void Initialize() override
    {
        Inherited::Initialize();
        RegisterMethod("controlAction", BRINDLET_METHOD(KindsTarget, ControlAction));
    }
    void ControlAction(TObject* sender) { calls.push_back(std::string("control action from ") + Name(sender)); }
    void ItemAction(TObject* sender) { calls.push_back(std::string("item action from ") + Name(sender)); }
    void SegmentAction(TObject* sender) { calls.push_back(std::string("segment action from ") + Name(sender)); }

private:
    static const char* Name(TObject* sender) { return sender != nullptr ? sender->ClassName() : "nil"; }

protected:
    KindsTarget() = default;
};

// Solid pieces of the "Silver" look: each part and its pressed variant in
// a colour of its own.
struct Piece {
    const char* name;
    int width;
    QColor color;
};
const Piece kSilverPieces[] = {
    {"left", 4, Qt::red},
    {"center", 1, Qt::green},
    {"right", 4, Qt::blue},
    {"left_pressed", 4, Qt::yellow},
    {"center_pressed", 1, Qt::cyan},
    {"right_pressed", 4, Qt::magenta},
};
constexpr int kPieceHeight = 24;

class TControlKindsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The fixture bundle with the button artwork beside it.
        const std::string resources = scratch_ / "Resources";
        std::filesystem::create_directories(resources + "/Images/Custom Buttons/Silver");
        std::filesystem::copy_file(kFrameworkResources + "/main.nib", resources + "/main.nib");
        std::filesystem::copy_file(kFrameworkResources + "/Images/disc.png", resources + "/Images/disc.png");
        for (const Piece& piece : kSilverPieces) {
            QImage image(piece.width, kPieceHeight, QImage::Format_ARGB32);
            image.fill(piece.color);
            ASSERT_TRUE(image.save(
                QString::fromStdString(resources + "/Images/Custom Buttons/Silver/" + piece.name + ".png"), "PNG"));
        }
        scope_ = std::make_unique<FrameworkScope>(resources);
        ASSERT_EQ(CreateNibReference(CFSTR("main"), &nib_), noErr);
    }
    void TearDown() override
    {
        if (owner_ != nullptr)
            owner_->Remove();
        if (IsValidWindowPtr(window_))
            DisposeWindow(window_);
        if (preferences_ != nullptr)
            preferences_->Release();
        DisposeNibReference(nib_);
        scope_.reset();
    }

    // The "Kinds" window with an object on every view, owned by a TWindow
    // whose preferences are `preferences` (made when nil).
    void OpenOwned(TPreferenceHandler* preferences = nullptr)
    {
        owner_ = TWindow::Allocate();
        owner_->SetNibWindow("Kinds", nib_);
        preferences_ = preferences != nullptr ? preferences : TPreferenceHandlerDictionary::Create();
        owner_->SetPreferences(preferences_);
        owner_->Initialize();
        window_ = owner_->GetWindowRef();
    }
    // The same window without an owner.
    void Open()
    {
        ASSERT_EQ(CreateWindowFromNib(nib_, CFSTR("Kinds"), &window_), noErr);
        HIViewCreateSubControls(HIViewGetRoot(window_), nullptr);
    }

    ControlRef View(const char* tag)
    {
        ControlRef found = nullptr;
        FindViewWithTag(HIViewGetRoot(window_), tag, found);
        return found;
    }
    template <typename T>
    T* Control(const char* tag)
    {
        ControlRef view = View(tag);
        return view != nullptr ? dynamic_cast<T*>(HIViewGetObject(view)) : nullptr;
    }
    ControlRef Pane(SInt32 id)
    {
        ControlRef pane = nullptr;
        HIViewFindByID(HIViewGetRoot(window_), HIViewID{FourCC("tabs"), id}, &pane);
        return pane;
    }
    static OSStatus Hit(ControlRef view, ControlPartCode part)
    {
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassControl, kEventControlHit, 0, 0, &event);
        SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof view, &view);
        SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
        const OSStatus status = SendEventToEventTarget(event, GetControlEventTarget(view));
        ReleaseEvent(event);
        return status;
    }
    // What the window shows, as the user would see it.
    QImage Snapshot()
    {
        CGImageRef image = IBCopyWindowImage(window_);
        if (image == nullptr)
            return QImage();
        QImage copy = CGImageGetQImage(image).convertToFormat(QImage::Format_ARGB32);
        CGImageRelease(image);
        return copy;
    }

    ScratchFolder scratch_;
    std::unique_ptr<FrameworkScope> scope_;
    IBNibRef nib_ = nullptr;
    WindowRef window_ = nullptr;
    TWindow* owner_ = nullptr;
    TPreferenceHandler* preferences_ = nullptr;
};

}  // namespace

BRINDLET_DEFINE_CLASS(KindsTarget, TResponder)

TEST_F(TControlKindsTest, EveryKindGetsItsClassAndAClassTagWinsOverTheKind)
{
    Open();
    struct Row {
        const char* tag;
        const char* className;
    };
    const Row rows[] = {
        {"plain", "TControl"},
        {"classed", "TCheckBoxControl"},  // a push button named for a check box
        {"silver", "TButtonControl"},
        {"bevel", "TControl"},
        {"check", "TCheckBoxControl"},
        {"radios", "TRadioButtonControl"},
        {"radioOne", "TRadioButtonControl"},
        {"choice", "TMenuControl"},
        {"label", "TTextControl"},
        {"field", "TTextControl"},
        {"search", "TSearchFieldControl"},
        {"picture", "TImageControl"},
        {"icon", "TIconControl"},
        {"well", "TImageWellControl"},
        {"segments", "TSegmentControl"},
        {"slider", "TSliderControl"},
        {"clock", "TClockControl"},
        {"notes", "TTextViewControl"},
        {"pane", "TUserPaneControl"},
        {"tabs", "TTabControl"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tag);
        ASSERT_NE(View(row.tag), nullptr);
        TControlView* control = HIViewGetObject(View(row.tag));
        ASSERT_NE(control, nullptr);
        EXPECT_STREQ(control->ClassName(), row.className);
    }

    // Nibs can name the registered classes; tabs and the plain control are
    // reached by kind only.
    for (const char* name :
         {"TIconControl", "TImageControl", "TImageWellControl", "TButtonControl", "TMenuControl", "TCheckBoxControl",
          "TRadioButtonControl", "TSliderControl", "TSegmentControl", "TUserPaneControl", "TTextControl",
          "TClockControl", "TSearchFieldControl", "TTextViewControl", "TCocoaControl"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(FindClass(name), nullptr);
    }
    EXPECT_EQ(FindClass("TTabControl"), nullptr);
}

TEST_F(TControlKindsTest, AMenuControlRestoresOnlyAStoredSelectionAndNeverRunsTheItemActionThen)
{
    TPreferenceHandler* preferences = TPreferenceHandlerDictionary::Create();
    preferences->SetIntegerValue("TWindow.choice", 0);
    OpenOwned(preferences);
    TMenuControl* menu = Control<TMenuControl>("choice");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->GetValue(), 2) << "a stored 0 replaced the nib's selection";
    EXPECT_EQ(menu->GetText().ToString(), "Second");

    KindsTarget* target = KindsTarget::Create();
    const MenuItemIndex fourth = menu->AppendItem(CFSTR("Fourth"), BRINDLET_METHOD(KindsTarget, ItemAction), target);
    ASSERT_EQ(fourth, 4);
    // The action is kept as the machine's pointers.
    MethodCode stored = nullptr;
    EXPECT_TRUE(menu->GetItemProperty(fourth, FourCC("ACTI"), sizeof stored, &stored));
    EXPECT_EQ(stored, BRINDLET_METHOD(KindsTarget, ItemAction));
    UInt32 tooSmall = 0xABCD;
    EXPECT_FALSE(menu->GetItemProperty(fourth, FourCC("TARG"), sizeof tooSmall, &tooSmall));
    EXPECT_EQ(tooSmall, 0xABCDu) << "a read of the wrong size wrote into the buffer";

    preferences->SetIntegerValue("TWindow.choice", 4);
    menu->RestoreValue();
    EXPECT_EQ(menu->GetValue(), 4);
    EXPECT_EQ(menu->GetMaximum(), 4);
    EXPECT_TRUE(target->calls.empty()) << "restoring ran the item's action";
    target->Release();
}

TEST_F(TControlKindsTest, AnItemWithItsOwnActionRunsItInPlaceOfTheControlsAction)
{
    OpenOwned();
    TMenuControl* menu = Control<TMenuControl>("choice");
    ASSERT_NE(menu, nullptr);
    KindsTarget* target = KindsTarget::Create();
    const MenuItemIndex fourth = menu->AppendItem(CFSTR("Fourth"), BRINDLET_METHOD(KindsTarget, ItemAction), target);
    ASSERT_EQ(fourth, 4);

    // Chosen by the user: the selection reaches the item's action.
    menu->HandlePopupMenuAction(nullptr);
    EXPECT_EQ(menu->GetValue(), 2);
    menu->SetValue(UInt32(fourth));
    EXPECT_EQ(target->calls, (std::vector<std::string>{"item action from TMenuControl"}));
    EXPECT_EQ(preferences_->GetIntegerValue("TWindow.choice"), 4) << "the selection was not saved";

    // With an action of the control's own, a value change runs the item's
    // action for that item and the control's for the others, each with the
    // control.
    TObject* owner = menu->GetTarget();
    menu->SetTarget(target);
    menu->SetAction("controlAction");
    struct Case {
        SInt32 value;
        const char* call;
    };
    for (const Case& c : {Case{4, "item action from TMenuControl"}, Case{1, "control action from TMenuControl"}}) {
        SCOPED_TRACE(c.value);
        TControl* plain = menu;
        plain->SetValue(c.value);
        target->calls.clear();
        menu->ValueChanged();
        EXPECT_EQ(target->calls, (std::vector<std::string>{c.call}));
    }
    menu->SetAction("");
    menu->SetTarget(owner);
    target->Release();
}

TEST_F(TControlKindsTest, ASegmentHitRunsOnlyTheActionOfItsSegmentAndIsAlwaysHandled)
{
    Open();
    TSegmentControl* segments = Control<TSegmentControl>("segments");
    ASSERT_NE(segments, nullptr);
    KindsTarget* target = KindsTarget::Create();
    segments->SetSegmentAction(2, target, BRINDLET_METHOD(KindsTarget, SegmentAction));
    // Past the table: kept nowhere.
    segments->SetSegmentAction(40, target, BRINDLET_METHOD(KindsTarget, SegmentAction));

    struct Case {
        ControlPartCode part;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {1, {}}, {2, {"segment action from TSegmentControl"}}, {31, {}}, {32, {}}, {40, {}}, {-1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part);
        target->calls.clear();
        EXPECT_EQ(Hit(segments->GetHIView(), c.part), noErr);
        EXPECT_EQ(target->calls, c.calls);
    }
    target->Release();
}

TEST_F(TControlKindsTest, TabsShowThePaneOfTheSelectedTabUpToTheFirstMissingPane)
{
    Open();
    TTabControl* tabs = Control<TTabControl>("tabs");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->GetMaximum(), 3);
    ASSERT_NE(Pane(101), nullptr);
    ASSERT_NE(Pane(102), nullptr);
    ASSERT_EQ(Pane(103), nullptr);

    struct Case {
        SInt32 value;
        bool first, second;
        SInt16 current;
    };
    const Case cases[] = {{2, false, true, 2}, {1, true, false, 1}, {3, false, false, 1}};
    // As made: the first tab's pane only.
    EXPECT_TRUE(HIViewIsLatentlyVisible(Pane(101)));
    EXPECT_FALSE(HIViewIsLatentlyVisible(Pane(102)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        tabs->SetValue(c.value);
        Hit(tabs->GetHIView(), static_cast<ControlPartCode>(c.value));
        EXPECT_EQ(HIViewIsLatentlyVisible(Pane(101)), c.first);
        EXPECT_EQ(HIViewIsLatentlyVisible(Pane(102)), c.second);
        EXPECT_EQ(tabs->GetCurrentPane(), c.current);
        // The walk stopped at the missing 103.
        EXPECT_TRUE(HIViewIsLatentlyVisible(Pane(104)));
    }
}

TEST_F(TControlKindsTest, ACheckBoxIsCheckedOnlyAtValueOneAndStoresABoolean)
{
    OpenOwned();
    TCheckBoxControl* check = Control<TCheckBoxControl>("check");
    ASSERT_NE(check, nullptr);
    for (SInt32 value : {1, 0, 2}) {
        SCOPED_TRACE(value);
        check->SetValue(value);
        CFTypeRef copied = check->CopyValue();
        ASSERT_NE(copied, nullptr);
        EXPECT_EQ(copied, value == 1 ? kCFBooleanTrue : kCFBooleanFalse);
        CFRelease(copied);
        EXPECT_EQ(check->IsChecked(), value == 1);
        CFTypeRef stored = preferences_->GetTypeValue("TWindow.check");
        EXPECT_EQ(stored, value == 1 ? kCFBooleanTrue : kCFBooleanFalse);
        if (stored != nullptr)
            CFRelease(stored);
    }
    preferences_->SetBooleanValue("TWindow.check", true);
    check->RestoreValue();
    EXPECT_EQ(check->GetValue(), 1);
}

TEST_F(TControlKindsTest, AnImageDrawnButtonUsesThePressedPiecesWhileHeldAndFadesWhenInactive)
{
    Open();
    ShowWindow(window_);
    TButtonControl* button = Control<TButtonControl>("silver");
    ASSERT_NE(button, nullptr);
    HIRect frame = CGRectZero;
    HIViewGetFrame(button->GetHIView(), &frame);
    HIViewConvertRect(&frame, HIViewGetSuperview(button->GetHIView()), nullptr);
    const int y = int(frame.origin.y) + kPieceHeight / 2;
    const int left = int(frame.origin.x) + 1;
    const int middle = int(frame.origin.x + frame.size.width / 2) - 20;
    const int right = int(frame.origin.x + frame.size.width) - 2;

    // Without its images the button keeps the system's look.
    const QImage system = Snapshot();
    ASSERT_FALSE(system.isNull());
    EXPECT_NE(system.pixelColor(left, y), QColor(Qt::red));

    button->SetImages("Images/Custom Buttons/Silver", "png");
    ASSERT_NE(button->GetSlotImage(TButtonControl::kLeftPressed), nullptr);
    struct Case {
        const char* name;
        ControlPartCode hilite;
        bool active;
        QColor left, center, right;
        int alpha;
    };
    const Case cases[] = {
        {"plain", 0, true, Qt::red, Qt::green, Qt::blue, 255},
        {"pressed", kControlButtonPart, true, Qt::yellow, Qt::cyan, Qt::magenta, 255},
        {"inactive and held", kControlButtonPart, false, Qt::red, Qt::green, Qt::blue, 102},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HiliteControl(button->GetHIView(), c.hilite);
        HIViewSetActivated(button->GetHIView(), c.active);
        // Drawn over transparency, so that the alpha shows as it is.
        TestBitmap bitmap(int(frame.size.width), int(frame.size.height));
        bitmap.Flip();
        OSStatus result = eventNotHandledErr;
        button->DrawControl(bitmap.context(), CGRectMake(0, 0, frame.size.width, frame.size.height), result);
        EXPECT_EQ(result, noErr);
        const QImage drawn = bitmap.Image().convertToFormat(QImage::Format_ARGB32);
        const int row = kPieceHeight / 2;
        const QColor seen[] = {drawn.pixelColor(1, row), drawn.pixelColor(int(frame.size.width / 2) - 20, row),
                               drawn.pixelColor(int(frame.size.width) - 2, row)};
        const QColor expected[] = {c.left, c.center, c.right};
        for (int part = 0; part < 3; ++part) {
            SCOPED_TRACE(part);
            EXPECT_NEAR(seen[part].alpha(), c.alpha, 2);
            EXPECT_EQ(seen[part].red() > 128, expected[part].red() > 128);
            EXPECT_EQ(seen[part].green() > 128, expected[part].green() > 128);
            EXPECT_EQ(seen[part].blue() > 128, expected[part].blue() > 128);
        }
    }
    // And on screen, through the view's own drawing.
    HiliteControl(button->GetHIView(), kControlButtonPart);
    HIViewSetActivated(button->GetHIView(), true);
    HIViewSetNeedsDisplay(button->GetHIView(), true);
    const QImage shown = Snapshot();
    EXPECT_EQ(shown.pixelColor(left, y), QColor(Qt::yellow));
    EXPECT_EQ(shown.pixelColor(middle, y), QColor(Qt::cyan));
    EXPECT_EQ(shown.pixelColor(right, y), QColor(Qt::magenta));
    HiliteControl(button->GetHIView(), 0);
    if (const char* path = std::getenv("BRINDLET_KINDS_SNAPSHOT"))
        Snapshot().save(QString::fromUtf8(path), "PNG");
}

TEST_F(TControlKindsTest, ATextViewKeepsItsRichTextThroughAnRTFFile)
{
    Open();
    TTextViewControl* notes = Control<TTextViewControl>("notes");
    ASSERT_NE(notes, nullptr);
    auto* edit = qobject_cast<QTextEdit*>(HIViewGetHostedWidget(notes->GetHIView()));
    ASSERT_NE(edit, nullptr);

    // Unicode goes in as it is.
    ASSERT_EQ(notes->ClearText(), noErr);
    const QString words = QString::fromUtf8("Bold Grüße 日本語\nItalic Ελληνικά");
    CFStringRef text = CFStringCreateWithCString(nullptr, words.toUtf8().constData(), kCFStringEncodingUTF8);
    ASSERT_EQ(notes->InsertText(text, kTXNStartOffset, kTXNEndOffset), noErr);
    CFRelease(text);
    EXPECT_EQ(edit->toPlainText(), words);
    EXPECT_EQ(notes->GetDataSize(), ByteCount(words.size() * 2));

    // Formats on parts of it.
    TXNObject object = notes->GetTXNObject();
    auto style = [&](UInt32 face, TXNOffset start, TXNOffset end) {
        TXNTypeAttributes attribute{};
        attribute.tag = kTXNQDFontStyleAttribute;
        attribute.size = kTXNQDFontStyleAttributeSize;
        attribute.data.dataValue = face;
        ASSERT_EQ(TXNSetTypeAttributes(object, 1, &attribute, start, end), noErr);
    };
    style(1, 0, 4);
    style(2, 18, 24);
    RGBColor red = {0xFFFF, 0, 0};
    TXNTypeAttributes colour{kTXNQDFontColorAttribute, kTXNQDFontColorAttributeSize, {&red}};
    ASSERT_EQ(TXNSetTypeAttributes(object, 1, &colour, 5, 10), noErr);
    TXNTypeAttributes size{kTXNQDFontSizeAttribute, kTXNFontSizeAttributeSize, {}};
    size.data.dataValue = 20u << 16;
    ASSERT_EQ(TXNSetTypeAttributes(object, 1, &size, 11, 14), noErr);
    QTextCursor cursor(edit->document()->findBlockByNumber(1));
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    cursor.mergeBlockFormat(centred);

    const FSRef file = [&] {
        scratch_.Write("notes.rtf", "");
        return scratch_.Ref("notes.rtf");
    }();
    ASSERT_EQ(notes->SaveRTF(file), noErr);
    ASSERT_EQ(notes->ClearText(), noErr);
    ASSERT_EQ(edit->toPlainText(), QString());
    ASSERT_EQ(notes->LoadRTF(file), noErr);

    QTextDocument* document = edit->document();
    EXPECT_EQ(edit->toPlainText(), words);
    auto formatAt = [&](int position) {
        QTextCursor at(document);
        at.setPosition(position + 1);
        return at.charFormat();
    };
    EXPECT_TRUE(formatAt(0).fontWeight() >= QFont::DemiBold);
    EXPECT_FALSE(formatAt(5).fontWeight() >= QFont::DemiBold);
    EXPECT_TRUE(formatAt(18).fontItalic());
    EXPECT_FALSE(formatAt(11).fontItalic());
    EXPECT_EQ(formatAt(6).foreground().color(), QColor(Qt::red));
    EXPECT_NEAR(formatAt(12).fontPointSize(), 20, 0.01);
    EXPECT_EQ(document->findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_NE(document->findBlockByNumber(0).blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

TEST_F(TControlKindsTest, RTFFilesThatCannotBeReadAreNeitherWrittenOverNorLoaded)
{
    Open();
    TTextViewControl* notes = Control<TTextViewControl>("notes");
    ASSERT_NE(notes, nullptr);
    auto* edit = qobject_cast<QTextEdit*>(HIViewGetHostedWidget(notes->GetHIView()));
    ASSERT_NE(edit, nullptr);
    const QString before = edit->toPlainText();

    scratch_.MakeFolder("folder.rtf");
    scratch_.Write("plain.txt", "not rich text");
    ASSERT_EQ(mkfifo((scratch_ / "pipe.rtf").c_str(), 0600), 0);
    struct Case {
        const char* name;
        OSStatus save, load;
    };
    const Case cases[] = {
        {"folder.rtf", notAFileErr, notAFileErr},
        {"pipe.rtf", notAFileErr, notAFileErr},
        {"plain.txt", noErr, kTXNDataTypeNotAllowedErr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FSRef file = scratch_.Ref(c.name);
        EXPECT_EQ(notes->LoadRTF(file), c.load);
        EXPECT_EQ(edit->toPlainText(), before) << "a refused file changed the text";
        if (c.save != noErr) {
            EXPECT_EQ(notes->SaveRTF(file), c.save);
            struct stat status {};
            ASSERT_EQ(lstat((scratch_ / c.name).c_str(), &status), 0);
            EXPECT_FALSE(S_ISREG(status.st_mode)) << "a file that could not be read was written over";
        }
    }
    // A reference that makes no URL.
    const FSRef none{};
    EXPECT_EQ(notes->SaveRTF(none), fnfErr);
    EXPECT_EQ(notes->LoadRTF(none), fnfErr);
}

TEST_F(TControlKindsTest, TextFieldsAndClocksKeepTheirOwnValueTypes)
{
    OpenOwned();
    TTextControl* field = Control<TTextControl>("field");
    TClockControl* clock = Control<TClockControl>("clock");
    ASSERT_NE(field, nullptr);
    ASSERT_NE(clock, nullptr);
    KindsTarget* target = KindsTarget::Create();
    auto send = [&](UInt32 kind) {
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassTextField, kind, 0, 0, &event);
        SendEventToEventTarget(event, GetControlEventTarget(field->GetHIView()));
        ReleaseEvent(event);
    };
    field->SetText(CFSTR("Grüße"));
    send(kEventTextDidChange);
    EXPECT_EQ(preferences_->GetStringValue("TWindow.field").ToString(), "Grüße");
    TObject* owner = field->GetTarget();
    field->SetTarget(target);
    field->SetAction("controlAction");
    send(kEventTextDidChange);
    EXPECT_TRUE(target->calls.empty()) << "a change ran the action";
    send(kEventTextAccepted);
    EXPECT_EQ(target->calls, (std::vector<std::string>{"control action from TTextControl"}));
    EXPECT_EQ(field->GetTextLength(), 5);
    field->SetAction("");
    field->SetTarget(owner);

    // A clock's value is a date, restored as its time.
    const CFAbsoluteTime then = 800000000;
    CFDateRef date = CFDateCreate(nullptr, then);
    preferences_->SetTypeValue("TWindow.clock", date);
    CFRelease(date);
    clock->RestoreValue();
    CFTypeRef copied = clock->CopyValue();
    ASSERT_NE(copied, nullptr);
    ASSERT_EQ(CFGetTypeID(copied), CFDateGetTypeID());
    EXPECT_EQ(CFDateGetAbsoluteTime(static_cast<CFDateRef>(copied)), then);
    CFRelease(copied);

    // An icon refuses a nil image and keeps what it showed.
    TIconControl* icon = Control<TIconControl>("icon");
    ASSERT_NE(icon, nullptr);
    Diagnostics::Capture lines;
    icon->SetImage(nullptr);
    EXPECT_EQ(lines.Lines(), (std::vector<std::string>{"Warning: The CGImageRef is not valid."}));
    target->Release();
}
