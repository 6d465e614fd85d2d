#include "FrameworkTestSupport.h"

#include <ApplicationFramework/Classes/THotKeyFieldUnit.h>
#include <Units/Classes/TPreferencesUnit.h>

#include <AppKit/CFUserNotification.h>
#include <CFTestSupport.h>
#include <CGTestSupport.h>
#include <CoreServices/SystemSound.h>
#include <HIToolbox/HIView.h>
#include <HIToolbox/HotKeys.h>
#include <HIToolbox/MacWindows.h>
#include <RunUntil.h>

#include <cstring>

// Defined here too: this program does not link the application tests.
BRINDLET_DEFINE_CLASS(RecordingApplication, TApplication)

namespace {

constexpr UInt32 kHotKeyID = 7;

std::string UTF8(CFStringRef text)
{
    CFRef<CFStringRef> held(text);
    return UTF8Of(text);
}

// A field on a window of its own, with a dictionary of preferences, in a
// running application.
class THotKeyFieldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        application_ = RecordingApplication::Start();
        const Rect bounds{100, 100, 200, 400};
        ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowCompositingAttribute, &bounds, &window_), noErr);
        const Rect frame{10, 10, 34, 210};
        ASSERT_EQ(CreateUserPaneControl(window_, &frame, kControlSupportsFocus, &view_), noErr);
        const char tag[] = "hotkey";
        SetControlProperty(view_, FourCC("view"), FourCC("ntag"), sizeof tag, tag);
        field_ = static_cast<THotKeyField*>(TControl::CreateWithClass(&THotKeyField::StaticClass(), view_, nullptr));
        ASSERT_NE(field_, nullptr);
        preferences_ = TPreferenceHandlerDictionary::Create();
        field_->SetPreferences(preferences_);
        field_->SetHotKeyID(kHotKeyID);
    }
    void TearDown() override
    {
        if (field_ != nullptr && field_->GetAutoRegister())
            application_->UnregisterHotKey(kHotKeyID);
        if (window_ != nullptr)
            DisposeWindow(window_);
        if (preferences_ != nullptr)
            preferences_->Release();
        application_->Release();
    }

    // A key going down in the field, as the keyboard sends it.
    OSStatus Press(UInt32 code, UInt32 modifiers)
    {
        EventRef event = nullptr;
        CreateEvent(nullptr, kEventClassKeyboard, kEventRawKeyDown, 0, 0, &event);
        SetEventParameter(event, kEventParamKeyCode, typeUInt32, sizeof code, &code);
        SetEventParameter(event, kEventParamKeyModifiers, typeUInt32, sizeof modifiers, &modifiers);
        const UInt32 keyboardType = 40;
        SetEventParameter(event, kEventParamKeyboardType, typeUInt32, sizeof keyboardType, &keyboardType);
        const OSStatus status = SendEventToEventTarget(event, GetControlEventTarget(view_));
        ReleaseEvent(event);
        return status;
    }
    ShortString Key() { return field_->GetPreferenceKey(); }

    FrameworkScope scope_;
    RecordingApplication* application_ = nullptr;
    WindowRef window_ = nullptr;
    ControlRef view_ = nullptr;
    THotKeyField* field_ = nullptr;
    TPreferenceHandler* preferences_ = nullptr;
};

// A round grey image of 12 × 12 points, standing for the clear button.
CFRef<CGImageRef> ClearImage()
{
    TestBitmap bitmap(12, 12);
    CGContextSetRGBFillColor(bitmap.context(), 0.45f, 0.45f, 0.45f, 1);
    CGContextFillEllipseInRect(bitmap.context(), CGRectMake(0, 0, 12, 12));
    return CFRef<CGImageRef>(CGBitmapContextCreateImage(bitmap.context()));
}

TEST(HotKeyText, ModifierGlyphsComeInTheirOrderThenTheKey)
{
    UnicodeText a{};
    a.text[0] = 'a';
    a.byteCount = 1;
    UnicodeText none{};
    struct Row {
        const char* name;
        UInt32 modifiers;
        UInt32 code;
        const UnicodeText* key;
        const char* expected;
    };
    const Row rows[] = {
        {"all four, in order", cmdKey | shiftKey | optionKey | controlKey, 0, &a, "⇧⌥⌘⌃a"},
        {"command and option", cmdKey | optionKey, 0, &a, "⌥⌘a"},
        {"other bits are not shown", cmdKey | alphaLock | btnState, 0, &a, "⌘a"},
        {"Return by its glyph", cmdKey, 36, &a, "⌘↩"},
        {"F1 by its glyph, with no character", controlKey, 122, &none, "⌃F1"},
        {"F17", 0, 64, &none, "F17"},
        {"the arrows", shiftKey, 126, &none, "⇧↑"},
        {"Escape", 0, 53, &none, "⎋"},
        {"Delete", 0, 51, &none, "⌫"},
        {"forward delete", 0, 117, &none, "⌦"},
        {"a key without a character shows only the modifiers", optionKey, 0, &none, "⌥"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(UTF8(CopyHotKeyText(row.modifiers, row.code, *row.key)), row.expected);
    }
    // A count past the record is cut to it.
    UnicodeText full{};
    for (UniChar& unit : full.text)
        unit = 'x';
    full.byteCount = 0xFF;
    EXPECT_EQ(UTF8(CopyHotKeyText(0, 0, full)), "xxxxxxxx");
}

TEST_F(THotKeyFieldTest, AKeyIsRecordedAndSavedAsTheStoredDictionary)
{
    Diagnostics::Capture capture;
    EXPECT_EQ(Press(0, cmdKey | optionKey), noErr);
    EXPECT_TRUE(field_->HasValue());
    EXPECT_EQ(field_->GetCode(), 0u);
    EXPECT_EQ(field_->GetModifiers(), UInt32(cmdKey | optionKey));
    EXPECT_EQ(field_->GetKey().text[0], 'a');
    EXPECT_EQ(field_->GetKey().byteCount, 1);
    EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"7"}));

    field_->SaveValue();
    TTypeDictionary* stored = preferences_->CopyDictionary(Key());
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->GetIntegerValue("modifiers"), SInt32(cmdKey | optionKey));
    EXPECT_EQ(stored->GetIntegerValue("code"), 0);
    UnicodeText key{};
    EXPECT_TRUE(stored->GetDataValue("key", &key));
    EXPECT_EQ(std::memcmp(&key, &field_->GetKey(), sizeof key), 0);
    stored->Release();

    // A second field of the same name reads it back whole.
    const Rect frame{40, 10, 64, 210};
    ControlRef view = nullptr;
    ASSERT_EQ(CreateUserPaneControl(window_, &frame, kControlSupportsFocus, &view), noErr);
    const char tag[] = "hotkey";
    SetControlProperty(view, FourCC("view"), FourCC("ntag"), sizeof tag, tag);
    auto* other = static_cast<THotKeyField*>(TControl::CreateWithClass(&THotKeyField::StaticClass(), view, nullptr));
    other->SetPreferences(preferences_);
    other->RestoreValue();
    EXPECT_TRUE(other->HasValue());
    EXPECT_EQ(other->GetModifiers(), UInt32(cmdKey | optionKey));
    EXPECT_EQ(std::memcmp(&other->GetKey(), &field_->GetKey(), sizeof(UnicodeText)), 0);
}

TEST_F(THotKeyFieldTest, AnUntranslatableKeyBeepsAlertsAndKeepsTheOldCombination)
{
    ASSERT_EQ(Press(14, cmdKey | shiftKey), noErr);
    const UnicodeText before = field_->GetKey();

    for (UInt32 code : {10u, 56u, 200u}) {
        SCOPED_TRACE(code);
        CFUserNotificationScript script;
        SystemSoundResetFailureReport();
        Diagnostics::Capture capture;
        EXPECT_EQ(Press(code, controlKey), noErr);
        ASSERT_EQ(script.Alerts().size(), 1u);
        EXPECT_EQ(script.Alerts()[0].header, "InvalidKeyboardLayout");
        EXPECT_EQ(script.Alerts()[0].message, "Note");
        // The beep: where no sound can play (as here), it says so.
        ASSERT_EQ(capture.Lines().size(), 1u) << capture.Text();
        EXPECT_TRUE(capture.Lines()[0].starts_with("Warning: Sounds are silent")) << capture.Text();

        EXPECT_TRUE(field_->HasValue());
        EXPECT_EQ(field_->GetCode(), 14u);
        EXPECT_EQ(field_->GetModifiers(), UInt32(cmdKey | shiftKey));
        EXPECT_EQ(std::memcmp(&field_->GetKey(), &before, sizeof before), 0);
    }
}

TEST_F(THotKeyFieldTest, ClearingAndSavingRemovesThePreference)
{
    CFRef<CGImageRef> image = ClearImage();
    field_->SetImage(image);
    Press(122, cmdKey);
    field_->SaveValue();
    ASSERT_TRUE(preferences_->ContainsValue(Key()));

    TestBitmap bitmap(200, 24);
    bitmap.Flip();
    OSStatus drawn = eventNotHandledErr;
    field_->DrawControl(bitmap.context(), CGRectMake(0, 0, 200, 24), drawn);
    EXPECT_EQ(drawn, noErr);
    const CGRect clear = field_->GetClearRect();
    EXPECT_EQ(clear.origin.x, 200 - 4 - 12);
    EXPECT_EQ(clear.origin.y, 6);
    EXPECT_EQ(clear.size.width, 12);

    // A click beside the image is left to the standard handling.
    OSStatus result = eventNotHandledErr;
    field_->EventMouseDown(CGPointMake(20, 12), result);
    EXPECT_EQ(result, eventNotHandledErr);
    EXPECT_TRUE(field_->HasValue());

    field_->EventMouseDown(CGPointMake(CGRectGetMidX(clear), CGRectGetMidY(clear)), result);
    EXPECT_EQ(result, noErr);
    EXPECT_FALSE(field_->HasValue());
    EXPECT_EQ(field_->GetCode(), 0u);
    EXPECT_EQ(field_->GetModifiers(), 0u);
    EXPECT_EQ(field_->GetKey().byteCount, 0);

    field_->SaveValue();
    EXPECT_FALSE(preferences_->ContainsValue(Key()));
    field_->RestoreValue();
    EXPECT_FALSE(field_->HasValue());
}

TEST_F(THotKeyFieldTest, OnlyAWholeStoredKeyRecordIsRestored)
{
    struct Row {
        const char* name;
        size_t keySize;
        bool restored;
    };
    const Row rows[] = {
        {"the record's 18 bytes", 18, true},
        {"short", 2, false},
        {"empty", 0, false},
        {"long", 64, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<UInt8> bytes(row.keySize, 0);
        if (row.keySize >= 2)
            bytes[0] = 'q';
        if (row.keySize >= 18)
            bytes[16] = 1;
        TTypeDictionary* stored = TTypeDictionary::Create();
        stored->SetIntegerValue("modifiers", cmdKey);
        stored->SetIntegerValue("code", 12);
        stored->SetDataValue("key", UInt32(bytes.size()), bytes.data());
        preferences_->SetTypeValue(Key(), stored->CFType());
        stored->Release();

        field_->RestoreValue();
        EXPECT_EQ(field_->HasValue(), row.restored);
        EXPECT_EQ(field_->GetCode(), row.restored ? 12u : 0u);
        EXPECT_EQ(field_->GetKey().text[0], row.restored ? 'q' : 0);
        EXPECT_EQ(field_->GetKey().byteCount, row.restored ? 1 : 0);
    }
}

TEST_F(THotKeyFieldTest, AutoRegisterRegistersTheKeyWithTheApplication)
{
    // Off: recording changes nothing outside the field.
    Press(3, cmdKey | optionKey);
    EXPECT_EQ(HotKeyInjectPress(3, cmdKey | optionKey), eventHotKeyInvalidErr);

    field_->SetAutoRegister(true);
    EXPECT_TRUE(field_->GetAutoRegister());
    Press(4, cmdKey | controlKey);
    EXPECT_NE(HotKeyInjectPress(4, cmdKey | controlKey), eventHotKeyInvalidErr);
    RunUntil([&] { return !application_->hotKeys.empty(); }, 2);
    EXPECT_EQ(application_->hotKeys, (std::vector<UInt32>{kHotKeyID}));

    // Clearing unregisters it.
    field_->SetImage(ClearImage());
    TestBitmap bitmap(200, 24);
    OSStatus result = eventNotHandledErr;
    field_->DrawControl(bitmap.context(), CGRectMake(0, 0, 200, 24), result);
    const CGRect clear = field_->GetClearRect();
    field_->EventMouseDown(CGPointMake(CGRectGetMidX(clear), CGRectGetMidY(clear)), result);
    EXPECT_EQ(HotKeyInjectPress(4, cmdKey | controlKey), eventHotKeyInvalidErr);
    field_->SetAutoRegister(false);
}

TEST_F(THotKeyFieldTest, TheFieldShowsItsCombinationWithGlyphs)
{
    CFRef<CGImageRef> image = ClearImage();
    field_->SetImage(image);
    Press(123, cmdKey | shiftKey | optionKey);
    ASSERT_TRUE(field_->HasValue());

    // Twice the size, to be looked at.
    TestBitmap bitmap(400, 48);
    bitmap.Flip();
    CGContextScaleCTM(bitmap.context(), 2, 2);
    OSStatus result = eventNotHandledErr;
    field_->DrawControl(bitmap.context(), CGRectMake(0, 0, 200, 24), result);
    EXPECT_EQ(result, noErr);
    const QImage picture = bitmap.Image().convertToFormat(QImage::Format_ARGB32);
    if (const char* keep = std::getenv("BRINDLET_KEEP_RENDERINGS"))
        picture.save(QString::fromUtf8(keep) + "/THotKeyField.png", "PNG");

    // White inside, dark text in the middle, the grey image at the right
    // end, nothing dark between them.
    EXPECT_EQ(picture.pixelColor(40, 24), QColor(Qt::white));
    int dark = 0;
    for (int x = 140; x < 260; ++x) {
        for (int y = 10; y < 38; ++y)
            dark += picture.pixelColor(x, y).lightness() < 100 ? 1 : 0;
    }
    EXPECT_GT(dark, 40);
    const QColor clearPixel = picture.pixelColor(2 * (200 - 4 - 6), 24);
    EXPECT_NEAR(clearPixel.red(), 115, 6);

    // Empty: "Undefined", lighter.
    field_->SetImage(nullptr);
    OSStatus cleared = eventNotHandledErr;
    field_->EventMouseDown(CGPointMake(CGRectGetMidX(field_->GetClearRect()), 12), cleared);
    ASSERT_FALSE(field_->HasValue());
    TestBitmap empty(400, 48);
    empty.Flip();
    CGContextScaleCTM(empty.context(), 2, 2);
    field_->DrawControl(empty.context(), CGRectMake(0, 0, 200, 24), result);
    const QImage undefined = empty.Image().convertToFormat(QImage::Format_ARGB32);
    if (const char* keep = std::getenv("BRINDLET_KEEP_RENDERINGS"))
        undefined.save(QString::fromUtf8(keep) + "/THotKeyFieldUndefined.png", "PNG");
    int grey = 0, black = 0;
    for (int x = 140; x < 260; ++x) {
        for (int y = 10; y < 38; ++y) {
            const int lightness = undefined.pixelColor(x, y).lightness();
            grey += lightness < 200 ? 1 : 0;
            black += lightness < 60 ? 1 : 0;
        }
    }
    EXPECT_GT(grey, 20);
    EXPECT_EQ(black, 0);
}

}  // namespace
