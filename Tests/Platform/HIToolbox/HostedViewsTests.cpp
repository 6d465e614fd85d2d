#include <HIToolbox/HITextViews.h>
#include <HIToolbox/HIToolboxTesting.h>
#include <HIToolbox/HostedViews.h>

#include <CoreFoundation/CFStringUTF8.h>
#include <CoreFoundation/CFURL.h>
#include <FileFixtures.h>

#include <QAction>
#include <QApplication>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPointer>
#include <QTextEdit>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Body = std::function<OSStatus(EventRef)>;

OSStatus RunBody(EventHandlerCallRef, EventRef event, void* body)
{
    return (*static_cast<Body*>(body))(event);
}

// Handlers of one test; each can be removed early.
class Handlers {
public:
    EventHandlerRef Install(EventTargetRef target, std::vector<EventTypeSpec> types, Body body)
    {
        bodies_.push_back(std::make_unique<Body>(std::move(body)));
        EventHandlerRef handler = nullptr;
        EXPECT_EQ(InstallEventHandler(target, RunBody, types.size(), types.data(), bodies_.back().get(), &handler),
                  noErr);
        handlers_.push_back(handler);
        return handler;
    }
    ~Handlers()
    {
        for (EventHandlerRef handler : handlers_)
            RemoveEventHandler(handler);
    }

private:
    std::vector<std::unique_ptr<Body>> bodies_;
    std::vector<EventHandlerRef> handlers_;
};

std::string Text(CFStringRef string)
{
    std::string text = CFStringToUTF8(string);
    if (string)
        CFRelease(string);
    return text;
}

CFStringRef MakeString(const char* utf8)
{
    return CFStringCreateWithUTF8(utf8);
}

// A shown document window, disposed at the end.
class HostedViewsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const Rect bounds = {100, 100, 400, 500};
        ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowStandardHandlerAttribute, &bounds, &window), noErr);
        ShowWindow(window);
        TestRunUntilIdle();
    }
    void TearDown() override
    {
        DisposeWindow(window);
        TestRunUntilIdle();
    }

    ControlRef NewField(Rect bounds, bool password = false)
    {
        ControlRef field = nullptr;
        EXPECT_EQ(CreateEditUnicodeTextControl(window, &bounds, nullptr, password, nullptr, &field), noErr);
        return field;
    }

    static QLineEdit* LineEdit(ControlRef view) { return qobject_cast<QLineEdit*>(HIViewGetHostedWidget(view)); }
    static bool HasQtFocus(ControlRef view)
    {
        QWidget* widget = HIViewGetHostedWidget(view);
        return widget && widget->window()->focusWidget() == widget;
    }

    // Text field events the view heard, in order ("accepted", "changed").
    void RecordTextEvents(ControlRef view, std::vector<std::string>* events)
    {
        handlers_.Install(GetControlEventTarget(view),
                          {{kEventClassTextField, kEventTextAccepted}, {kEventClassTextField, kEventTextDidChange}},
                          [events](EventRef event) {
                              events->push_back(GetEventKind(event) == kEventTextAccepted ? "accepted" : "changed");
                              return eventNotHandledErr;
                          });
    }

    WindowRef window = nullptr;
    Handlers handlers_;
};

TEST_F(HostedViewsTest, KeysReachAFieldOnlyWhenTheCarbonChainLeavesThem)
{
    ControlRef field = NewField({20, 20, 42, 220});
    std::vector<std::string> events;
    RecordTextEvents(field, &events);
    ASSERT_EQ(SetKeyboardFocus(window, field, kControlFocusNextPart), noErr);
    TestRunUntilIdle();
    ASSERT_TRUE(HasQtFocus(field));

    TestKeyClick(window, Qt::Key_A);
    EXPECT_EQ(LineEdit(field)->text(), QStringLiteral("a"));
    EXPECT_EQ(events, std::vector<std::string>{"changed"});

    // A raw key handler that takes the key keeps it from the field, on the
    // field itself or further up the chain.
    for (EventTargetRef target : {GetControlEventTarget(field), GetWindowEventTarget(window)}) {
        Handlers swallow;
        swallow.Install(target, {{kEventClassKeyboard, kEventRawKeyDown}}, [](EventRef) { return noErr; });
        TestKeyClick(window, Qt::Key_B);
        EXPECT_EQ(LineEdit(field)->text(), QStringLiteral("a"));
    }
    EXPECT_EQ(events, std::vector<std::string>{"changed"});

    TestKeyClick(window, Qt::Key_Return);
    TestKeyClick(window, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(events, (std::vector<std::string>{"changed", "accepted", "accepted"}));
    EXPECT_EQ(LineEdit(field)->text(), QStringLiteral("a"));

    // Changes made by the program are not the user's.
    EXPECT_EQ(HIViewSetText(field, CFSTR("set")), noErr);
    EXPECT_EQ(events.size(), 3u);
}

TEST_F(HostedViewsTest, TabAndClicksMoveTheKeyboardFocusWithQtFocus)
{
    ControlRef first = NewField({20, 20, 42, 220});
    ControlRef second = NewField({60, 20, 82, 220});
    ASSERT_EQ(SetKeyboardFocus(window, first, kControlFocusNextPart), noErr);

    TestKeyClick(window, Qt::Key_Tab);
    ControlRef focus = nullptr;
    EXPECT_EQ(GetKeyboardFocus(window, &focus), noErr);
    EXPECT_EQ(focus, second);
    EXPECT_TRUE(HasQtFocus(second));
    TestKeyClick(window, Qt::Key_X);
    EXPECT_EQ(LineEdit(first)->text(), QString());
    EXPECT_EQ(LineEdit(second)->text(), QStringLiteral("x"));

    TestKeyClick(window, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(GetKeyboardFocus(window, &focus), noErr);
    EXPECT_EQ(focus, first);
    EXPECT_TRUE(HasQtFocus(first));

    // A click focuses the view it lands on, then reaches the widget.
    TestClick(window, {120, 71});
    TestRunUntilIdle();
    EXPECT_EQ(GetKeyboardFocus(window, &focus), noErr);
    EXPECT_EQ(focus, second);
    EXPECT_TRUE(HasQtFocus(second));

    // Focus taken by a drawn view leaves the widget.
    EXPECT_EQ(ClearKeyboardFocus(window), noErr);
    EXPECT_FALSE(HasQtFocus(second));
}

TEST_F(HostedViewsTest, EditTextKeepsTextAndSelectionInUTF16Units)
{
    ControlRef field = NewField({20, 20, 42, 220});
    CFStringRef text = MakeString("a\xF0\x9F\x98\x80"
                                  "b");  // a, U+1F600 (two units), b
    EXPECT_EQ(HIViewSetText(field, text), noErr);
    CFRelease(text);
    EXPECT_EQ(Text(HIViewCopyText(field)), "a\xF0\x9F\x98\x80"
                                           "b");

    struct Row {
        SInt16 start, end;
        SInt16 gotStart, gotEnd;
    };
    for (const Row& row : {Row{1, 3, 1, 3}, Row{3, 1, 1, 3}, Row{-5, 100, 0, 4}, Row{2, 2, 2, 2}}) {
        SCOPED_TRACE(std::to_string(row.start) + ".." + std::to_string(row.end));
        const ControlEditTextSelectionRec selection = {row.start, row.end};
        EXPECT_EQ(SetControlData(field, 0, kControlEditTextSelectionTag, sizeof selection, &selection), noErr);
        ControlEditTextSelectionRec got = {-1, -1};
        Size size = 0;
        EXPECT_EQ(GetControlData(field, 0, kControlEditTextSelectionTag, sizeof got, &got, &size), noErr);
        EXPECT_EQ(size, Size(sizeof got));
        EXPECT_EQ(got.selStart, row.gotStart);
        EXPECT_EQ(got.selEnd, row.gotEnd);
    }
    EXPECT_EQ(LineEdit(field)->selectedText(), QString());

    // A buffer too small, a tag the field does not know, a value of another
    // type: refused, the buffer left as it was.
    SInt16 small = 77;
    EXPECT_EQ(GetControlData(field, 0, kControlEditTextSelectionTag, sizeof small, &small, nullptr),
              errDataSizeMismatch);
    EXPECT_EQ(small, 77);
    EXPECT_EQ(GetControlData(field, 0, FourCC("zzzz"), sizeof small, &small, nullptr), errDataNotSupported);
    EXPECT_EQ(small, 77);
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt16Type, &small);
    EXPECT_EQ(SetControlData(field, 0, kControlEditTextCFStringTag, sizeof number, &number), paramErr);
    CFRelease(number);

    // Password fields show bullets and give the text by both tags.
    ControlRef password = NewField({60, 20, 82, 220}, true);
    CFStringRef secret = MakeString("s\xC3\xA9same");
    EXPECT_EQ(SetControlData(password, 0, kControlEditTextPasswordCFStringTag, sizeof secret, &secret), noErr);
    CFRelease(secret);
    EXPECT_EQ(LineEdit(password)->echoMode(), QLineEdit::Password);
    CFStringRef clear = nullptr;
    EXPECT_EQ(GetControlData(password, 0, kControlEditTextPasswordCFStringTag, sizeof clear, &clear, nullptr), noErr);
    EXPECT_EQ(Text(clear), "s\xC3\xA9same");
    EXPECT_EQ(GetControlData(field, 0, kControlEditTextPasswordCFStringTag, sizeof clear, &clear, nullptr),
              errDataNotSupported);
}

TEST_F(HostedViewsTest, TheTextObjectEditsInUTF16Units)
{
    HIViewRef view = nullptr;
    const HIRect frame = {{20, 20}, {300, 120}};
    ASSERT_EQ(HITextViewCreate(&frame, 0, 0, &view), noErr);
    ASSERT_EQ(HIViewAddSubview(HIViewGetRoot(window), view), noErr);
    CFRelease(view);
    TXNObject object = HITextViewGetTXNObject(view);
    ASSERT_NE(object, nullptr);

    const std::u16string units = u"a\U0001F600b\r\nc";
    EXPECT_EQ(TXNSetData(object, kTXNUnicodeTextData, units.data(), units.size() * 2, kTXNStartOffset, kTXNEndOffset),
              noErr);
    EXPECT_EQ(Text(HIViewCopyText(view)), "a\xF0\x9F\x98\x80"
                                          "b\nc");  // one break, one unit
    EXPECT_EQ(TXNDataSize(object), ByteCount(12));

    // The selection is what the next insertion replaces.
    EXPECT_EQ(TXNSetSelection(object, 1, 3), noErr);
    TXNOffset start = 0, end = 0;
    TXNGetSelection(object, &start, &end);
    EXPECT_EQ(start, 1u);
    EXPECT_EQ(end, 3u);
    const char omega[] = "\xCE\xA9";  // UTF-8 as the text data type
    EXPECT_EQ(TXNSetData(object, kTXNTextData, omega, 2, kTXNUseCurrentSelection, kTXNUseCurrentSelection), noErr);
    EXPECT_EQ(Text(HIViewCopyText(view)), "a\xCE\xA9"
                                          "b\nc");
    TXNGetSelection(object, &start, &end);
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(end, 2u);
    EXPECT_EQ(TXNSetData(object, kTXNTextData, "!", 1, kTXNEndOffset, kTXNEndOffset), noErr);
    EXPECT_EQ(TXNSetData(object, kTXNTextData, nullptr, 0, 0, 1), noErr);  // deletes
    EXPECT_EQ(Text(HIViewCopyText(view)), "\xCE\xA9"
                                          "b\nc!");

    // Refused, the text unchanged.
    EXPECT_EQ(TXNSetData(object, kTXNTextData, "x", 1, 3, 1), paramErr);
    EXPECT_EQ(TXNSetData(object, kTXNUnicodeTextData, "xyz", 3, 0, 0), kTXNDataTypeNotAllowedErr);
    EXPECT_EQ(TXNSetData(object, FourCC("RTF "), "x", 1, 0, 0), kTXNDataTypeNotAllowedErr);
    EXPECT_EQ(TXNSetData(object, kTXNTextData, nullptr, 1, 0, 0), paramErr);
    EXPECT_EQ(Text(HIViewCopyText(view)), "\xCE\xA9"
                                          "b\nc!");

    TXNSelectAll(object);
    TXNGetSelection(object, &start, &end);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 5u);

    // A disposed view's object answers nothing and touches nothing.
    DisposeControl(view);
    EXPECT_EQ(TXNDataSize(object), ByteCount(0));
    start = end = 99;
    TXNGetSelection(object, &start, &end);
    EXPECT_EQ(start, 99u);
    EXPECT_EQ(end, 99u);
    EXPECT_EQ(TXNSetSelection(object, 0, 0), paramErr);
}

TEST_F(HostedViewsTest, TheTextObjectGoesToAnRTFFileAndBackOnlyWhole)
{
    HIViewRef view = nullptr;
    const HIRect frame = {{20, 20}, {300, 120}};
    ASSERT_EQ(HITextViewCreate(&frame, 0, 0, &view), noErr);
    ASSERT_EQ(HIViewAddSubview(HIViewGetRoot(window), view), noErr);
    CFRelease(view);
    TXNObject object = HITextViewGetTXNObject(view);
    const std::u16string units = u"\u65E5\u672C x";
    ASSERT_EQ(TXNSetData(object, kTXNUnicodeTextData, units.data(), units.size() * 2, kTXNStartOffset, kTXNEndOffset),
              noErr);

    ScratchFolder scratch;
    const std::string path = scratch / "text.rtf";
    CFURLRef file = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                            CFIndex(path.size()), false);
    CFURLRef web = CFURLCreateWithString(nullptr, CFSTR("https://example.invalid/text.rtf"), nullptr);
    struct Case {
        const char* name;
        TXNObject object;
        CFURLRef url;
        TXNOffset start, end;
    };
    const Case refused[] = {
        {"no object", nullptr, file, kTXNStartOffset, kTXNEndOffset},
        {"no URL", object, nullptr, kTXNStartOffset, kTXNEndOffset},
        {"not a file URL", object, web, kTXNStartOffset, kTXNEndOffset},
        {"part of the text", object, file, 1, kTXNEndOffset},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TXNWriteRangeToCFURL(c.object, c.start, c.end, nullptr, nullptr, c.url), paramErr);
        CFDictionaryRef attributes = reinterpret_cast<CFDictionaryRef>(&scratch);
        EXPECT_EQ(TXNReadFromCFURL(c.object, c.start, c.end, nullptr, c.url, &attributes), paramErr);
        EXPECT_EQ(attributes, reinterpret_cast<CFDictionaryRef>(&scratch)) << "a refused read wrote its output";
    }
    EXPECT_EQ(TXNReadFromCFURL(object, kTXNStartOffset, kTXNEndOffset, nullptr, file, nullptr), fnfErr);

    EXPECT_EQ(TXNWriteRangeToCFURL(object, kTXNStartOffset, kTXNEndOffset, nullptr, nullptr, file), noErr);
    ASSERT_EQ(TXNSetData(object, kTXNTextData, nullptr, 0, kTXNStartOffset, kTXNEndOffset), noErr);
    EXPECT_EQ(TXNReadFromCFURL(object, kTXNStartOffset, kTXNEndOffset, nullptr, file, nullptr), noErr);
    EXPECT_EQ(Text(HIViewCopyText(view)), "\xE6\x97\xA5\xE6\x9C\xAC x");
    CFRelease(file);
    CFRelease(web);
}

TEST_F(HostedViewsTest, TheTextObjectTakesControlsAttributesAndTheUsersEdits)
{
    HIViewRef view = nullptr;
    const HIRect frame = {{20, 20}, {300, 120}};
    ASSERT_EQ(HITextViewCreate(&frame, 0, 0, &view), noErr);
    ASSERT_EQ(HIViewAddSubview(HIViewGetRoot(window), view), noErr);
    CFRelease(view);
    TXNObject object = HITextViewGetTXNObject(view);
    auto* edit = qobject_cast<QTextEdit*>(HIViewGetHostedWidget(view));
    ASSERT_NE(edit, nullptr);

    const TXNControlTag tags[] = {kTXNNoUserIOTag, kTXNWordWrapStateTag};
    const TXNControlData values[] = {{kTXNReadOnly}, {kTXNNoAutoWrap}};
    EXPECT_EQ(TXNSetTXNObjectControls(object, false, 2, tags, values), noErr);
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_EQ(edit->lineWrapMode(), QTextEdit::NoWrap);
    TXNControlData got[2] = {{9}, {9}};
    EXPECT_EQ(TXNGetTXNObjectControls(object, 2, tags, got), noErr);
    EXPECT_EQ(got[0].uValue, kTXNReadOnly);
    EXPECT_EQ(got[1].uValue, kTXNNoAutoWrap);
    const TXNControlTag unknown[] = {FourCC("zzzz")};
    TXNControlData untouched[1] = {{9}};
    EXPECT_EQ(TXNGetTXNObjectControls(object, 1, unknown, untouched), paramErr);
    EXPECT_EQ(untouched[0].uValue, 9u);
    EXPECT_EQ(TXNSetTXNObjectControls(object, true, 0, nullptr, nullptr), noErr);
    EXPECT_FALSE(edit->isReadOnly());

    // Attributes on the whole text stay for text set later.
    Str255 name = {};
    name[0] = 4;
    std::memcpy(name + 1, "Mono", 4);
    RGBColor red = {0xFFFF, 0, 0};
    TXNTypeAttributes attributes[3] = {};
    attributes[0] = {kTXNQDFontNameAttribute, kTXNQDFontNameAttributeSize, {}};
    attributes[0].data.dataPtr = name;
    attributes[1] = {kTXNQDFontSizeAttribute, kTXNFontSizeAttributeSize, {}};
    attributes[1].data.dataValue = 18 << 16;
    attributes[2] = {kTXNQDFontColorAttribute, kTXNQDFontColorAttributeSize, {}};
    attributes[2].data.dataPtr = &red;
    EXPECT_EQ(TXNSetTypeAttributes(object, 3, attributes, kTXNStartOffset, kTXNEndOffset), noErr);
    EXPECT_EQ(TXNSetData(object, kTXNTextData, "hello", 5, kTXNEndOffset, kTXNEndOffset), noErr);
    QTextCursor cursor(edit->document());
    cursor.setPosition(3);
    EXPECT_EQ(cursor.charFormat().fontPointSize(), 18.0);
    EXPECT_EQ(cursor.charFormat().foreground().color(), QColor(Qt::red));
    EXPECT_EQ(cursor.charFormat().fontFamilies().toStringList(), QStringList{QStringLiteral("Mono")});
    TXNTypeAttributes bad = {FourCC("zzzz"), 4, {}};
    EXPECT_EQ(TXNSetTypeAttributes(object, 1, &bad, 0, 2), kTXNSomeOrAllTagsInvalidForRunErr);

    // The user's typing is told; the program's changes are not.
    std::vector<std::string> events;
    RecordTextEvents(view, &events);
    ASSERT_EQ(SetKeyboardFocus(window, view, kControlFocusNextPart), noErr);
    EXPECT_TRUE(HasQtFocus(view));
    TestKeyClick(window, Qt::Key_Return);  // a line break, not an acceptance
    EXPECT_EQ(events, std::vector<std::string>{"changed"});
    EXPECT_EQ(TXNDataSize(object), ByteCount(12));
    EXPECT_EQ(TXNSetData(object, kTXNTextData, "!", 1, 0, 0), noErr);
    EXPECT_EQ(events.size(), 1u);
}

// A widget follows its view: frame, an ancestor's moves, visibility and
// enabled state, leaving the window, and disposal.
TEST_F(HostedViewsTest, TheWidgetFollowsTheViewAndItsAncestors)
{
    struct Maker {
        const char* name;
        std::function<HIViewRef()> make;
    };
    const Maker makers[] = {
        {"search field",
         [] {
             HIViewRef view = nullptr;
             const HIRect frame = {{0, 0}, {10, 10}};
             EXPECT_EQ(HISearchFieldCreate(&frame, 0, nullptr, nullptr, &view), noErr);
             return view;
         }},
        {"Cocoa view",
         [] {
             HIViewRef view = nullptr;
             EXPECT_EQ(HICocoaViewCreate(new QTextEdit, 0, &view), noErr);
             return view;
         }},
    };
    for (const Maker& maker : makers) {
        SCOPED_TRACE(maker.name);
        HIViewRef pane = nullptr;
        const Rect paneBounds = {60, 50, 260, 350};
        ASSERT_EQ(CreateUserPaneControl(window, &paneBounds, kControlSupportsEmbedding, &pane), noErr);
        HIViewRef view = maker.make();
        ASSERT_NE(view, nullptr);
        QPointer<QWidget> widget = HIViewGetHostedWidget(view);
        ASSERT_TRUE(widget);
        EXPECT_FALSE(widget->isVisible());  // in no window yet

        const HIRect frame = {{10, 5}, {100, 22}};
        EXPECT_EQ(HIViewSetFrame(view, &frame), noErr);
        EXPECT_EQ(HIViewAddSubview(pane, view), noErr);
        CFRelease(view);
        TestRunUntilIdle();
        EXPECT_EQ(widget->parentWidget(), widget->window());
        EXPECT_EQ(widget->geometry(), QRect(60, 65, 100, 22));
        EXPECT_TRUE(widget->isVisible());

        const HIRect wider = {{10, 5}, {150, 30}};
        EXPECT_EQ(HIViewSetFrame(view, &wider), noErr);
        EXPECT_EQ(widget->geometry(), QRect(60, 65, 150, 30));
        EXPECT_EQ(HIViewMoveBy(pane, 5, -10), noErr);
        TestRunUntilIdle();
        EXPECT_EQ(widget->geometry(), QRect(65, 55, 150, 30));

        EXPECT_EQ(HIViewSetVisible(pane, false), noErr);
        TestRunUntilIdle();
        EXPECT_FALSE(widget->isVisible());
        EXPECT_EQ(HIViewSetVisible(pane, true), noErr);
        TestRunUntilIdle();
        EXPECT_TRUE(widget->isVisible());
        EXPECT_EQ(HIViewSetEnabled(pane, false), noErr);
        TestRunUntilIdle();
        EXPECT_FALSE(widget->isEnabled());
        EXPECT_EQ(HIViewSetEnabled(pane, true), noErr);
        TestRunUntilIdle();
        EXPECT_TRUE(widget->isEnabled());

        // Out of the window and back.
        CFRetain(view);
        EXPECT_EQ(HIViewRemoveFromSuperview(view), noErr);
        TestRunUntilIdle();
        EXPECT_FALSE(widget->isVisible());
        EXPECT_EQ(HIViewAddSubview(pane, view), noErr);
        CFRelease(view);
        TestRunUntilIdle();
        EXPECT_TRUE(widget->isVisible());

        DisposeControl(pane);  // its subviews first
        EXPECT_FALSE(widget && widget->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(widget.isNull());
    }
}

TEST_F(HostedViewsTest, ACocoaViewHandsItsWidgetBackWhenReplaced)
{
    auto* first = new QLineEdit;
    HIViewRef view = nullptr;
    ASSERT_EQ(HICocoaViewCreate(first, 0, &view), noErr);
    EXPECT_EQ(HICocoaViewGetView(view), first);
    ASSERT_EQ(HIViewAddSubview(HIViewGetRoot(window), view), noErr);
    CFRelease(view);
    TestRunUntilIdle();
    EXPECT_TRUE(first->isVisible());

    auto* second = new QTextEdit;
    EXPECT_EQ(HICocoaViewSetView(view, second), noErr);
    TestRunUntilIdle();
    EXPECT_EQ(HICocoaViewGetView(view), second);
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(first->parentWidget(), nullptr);
    delete first;  // the caller's again

    // The view takes the keyboard focus, and with it the widget.
    EXPECT_EQ(SetKeyboardFocus(window, view, kControlFocusNextPart), noErr);
    EXPECT_TRUE(second->hasFocus() || second->window()->focusWidget() == second);
    EXPECT_EQ(HICocoaViewGetView(nullptr), nullptr);
    EXPECT_EQ(HICocoaViewSetView(HIViewGetRoot(window), second), paramErr);
}

TEST_F(HostedViewsTest, TheSearchFieldsCancelButtonEmptiesItAndTellsTheView)
{
    HIViewRef view = nullptr;
    const HIRect frame = {{20, 20}, {200, 24}};
    CFStringRef hint = MakeString("Search");
    ASSERT_EQ(HISearchFieldCreate(&frame, kHISearchFieldAttributesSearchIcon, nullptr, hint, &view), noErr);
    CFRelease(hint);
    ASSERT_EQ(HIViewAddSubview(HIViewGetRoot(window), view), noErr);
    CFRelease(view);
    OptionBits attributes = 0;
    EXPECT_EQ(HISearchFieldGetAttributes(view, &attributes), noErr);
    EXPECT_EQ(attributes, kHISearchFieldAttributesSearchIcon);
    CFStringRef copied = nullptr;
    EXPECT_EQ(HISearchFieldCopyDescriptiveText(view, &copied), noErr);
    EXPECT_EQ(Text(copied), "Search");

    EXPECT_EQ(HISearchFieldChangeAttributes(view, kHISearchFieldAttributesCancel, 0), noErr);
    std::vector<std::string> events;
    RecordTextEvents(view, &events);
    handlers_.Install(GetControlEventTarget(view), {{kEventClassSearchField, kEventSearchFieldCancelClicked}},
                      [&events](EventRef) {
                          events.push_back("cancel");
                          return noErr;
                      });
    EXPECT_EQ(HIViewSetText(view, CFSTR("query")), noErr);
    auto* clear = LineEdit(view)->findChild<QAction*>(QStringLiteral("_q_qlineeditclearaction"));
    ASSERT_NE(clear, nullptr);
    QToolButton* button = nullptr;
    for (QToolButton* child : LineEdit(view)->findChildren<QToolButton*>()) {
        if (child->defaultAction() == clear)
            button = child;
    }
    ASSERT_NE(button, nullptr);
    button->click();  // as the user's click ends
    EXPECT_EQ(Text(HIViewCopyText(view)), "");
    EXPECT_EQ(events, (std::vector<std::string>{"cancel", "changed"}));

    EXPECT_EQ(HISearchFieldChangeAttributes(view, 0, kHISearchFieldAttributesCancel), noErr);
    EXPECT_FALSE(LineEdit(view)->isClearButtonEnabled());
    EXPECT_EQ(HISearchFieldGetAttributes(HIViewGetRoot(window), &attributes), paramErr);
}

TEST_F(HostedViewsTest, TheClockKeepsAnAbsoluteTimeAndTellsMouseChangesAsHits)
{
    ControlRef clock = nullptr;
    const Rect bounds = {20, 20, 44, 220};
    ASSERT_EQ(CreateClockControl(window, &bounds, kControlClockTypeHourMinuteSecond, 0, &clock), noErr);
    TestRunUntilIdle();

    const CFAbsoluteTime time = 700000000.0;  // 2023-03-06 20:26:40 UTC
    EXPECT_EQ(SetControlData(clock, 0, kControlClockAbsoluteTimeTag, sizeof time, &time), noErr);
    CFAbsoluteTime got = 0;
    EXPECT_EQ(GetControlData(clock, 0, kControlClockAbsoluteTimeTag, sizeof got, &got, nullptr), noErr);
    EXPECT_EQ(got, time);
    float wrong = 1;
    EXPECT_EQ(SetControlData(clock, 0, kControlClockAbsoluteTimeTag, sizeof wrong, &wrong), errDataSizeMismatch);
    EXPECT_EQ(GetControlData(clock, 0, kControlClockAbsoluteTimeTag, sizeof wrong, &wrong, nullptr),
              errDataSizeMismatch);
    EXPECT_EQ(wrong, 1.0f);

    // A click on the picker's up arrow: a hit, and the time moved.
    std::vector<ControlPartCode> hits;
    handlers_.Install(GetControlEventTarget(clock), {{kEventClassControl, kEventControlHit}}, [&hits](EventRef event) {
        ControlPartCode part = 0;
        GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
        hits.push_back(part);
        return noErr;
    });
    TestClick(window, {212, 25});
    TestRunUntilIdle();
    EXPECT_EQ(hits, std::vector<ControlPartCode>{kControlClockPart});
    EXPECT_EQ(GetControlData(clock, 0, kControlClockAbsoluteTimeTag, sizeof got, &got, nullptr), noErr);
    EXPECT_NE(got, time);

    const Boolean displayOnly = true;
    EXPECT_EQ(SetControlData(clock, 0, kControlClockIsDisplayOnlyTag, sizeof displayOnly, &displayOnly), noErr);
    EXPECT_TRUE(qobject_cast<QDateTimeEdit*>(HIViewGetHostedWidget(clock))->isReadOnly());
}

// Every kind of clock keeps the time it is given, whatever it shows of it.
TEST_F(HostedViewsTest, EveryClockTypeKeepsItsTime)
{
    for (ControlClockType type : {kControlClockTypeHourMinute, kControlClockTypeHourMinuteSecond,
                                  kControlClockTypeMonthDayYear, kControlClockTypeMonthYear}) {
        SCOPED_TRACE(type);
        ControlRef clock = nullptr;
        const Rect bounds = {20, 20, 44, 220};
        ASSERT_EQ(CreateClockControl(window, &bounds, type, 0, &clock), noErr);
        const CFAbsoluteTime time = 500000000.0;  // 2016-11-05, far from today
        EXPECT_EQ(SetControlData(clock, 0, kControlClockAbsoluteTimeTag, sizeof time, &time), noErr);
        TestRunUntilIdle();
        CFAbsoluteTime got = 0;
        EXPECT_EQ(GetControlData(clock, 0, kControlClockAbsoluteTimeTag, sizeof got, &got, nullptr), noErr);
        EXPECT_EQ(got, time);
        DisposeControl(clock);
    }
}

}  // namespace
