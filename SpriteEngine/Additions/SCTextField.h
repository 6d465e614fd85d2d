// The one text-editing session of the canvas: a text field laid over the
// canvas's view, filled with a text and its attributes, that routes the
// text commands of the menu bar while it exists and hands the final text
// to the session's delegate and to the observers of
// "TEditSession.StopEditing" when it ends.
//
// The field is a real Qt text widget hosted in an HIView (an HICocoaView)
// placed in the canvas's view: plain (it grows with its text), single-line
// (it scrolls sideways) or scrollable (a vertical scroller, a fixed
// height). Qt's text widget is its own scroll view, so the field's
// container is always the text view; a field has a scroll view exactly in
// the single-line and scrollable modes.
#pragma once

#include <SpriteEngine/SCCanvas.h>

#include <AppKit/NSTextDrawing.h>
#include <CarbonCore/CarbonEventLoop.h>
#include <Foundation/NSObject.h>

#include <QTextCharFormat>
#include <QTextEdit>

class TTextField;

// Options of StartEditing.
enum : UInt32 {
    kEditOptionSelectAll = 1,
    kEditOptionSingleLine = 2,
    kEditOptionScrollable = 4,
    kEditOptionPlain = 8,
    kEditOptionReturnInsertsLineBreak = 16,
};

// The text view of a field: ends the session on Return, reports Delete in
// an empty field, and lets the canvas repaint what lies under the text.
class TCanvasTextView : public QTextEdit {
public:
    TCanvasTextView();
    ~TCanvasTextView() override;

    void setTextField(TTextField* field) { textField_ = field; }
    TTextField* textField() const { return textField_; }
    // Whether an input method is composing (it shows marked text).
    bool hasMarkedText() const { return marked_; }

    // The user's change of the text (and the formatting commands'): the
    // single-line field keeps the caret in sight, the field's size follows.
    void didChangeText();
    // Ends the session of the field (when it is still the session's).
    void canceled();
    // Ends the session on the next pass of the event loop, once however
    // often asked; the field's teardown calls off a pending request.
    void cancelLater();
    void cancelPendingRequests();

    // Edits of the program (filling the field) are not the user's changes.
    void BeginProgrammaticChange() { ++programmatic_; }
    void EndProgrammaticChange() { --programmatic_; }

    // ---- the formatting commands ----
    // Every selected run's font grows by `delta` points.
    void adjustFontSize(int delta);
    // Adds the trait (1 italic, 2 bold) when the first selected character
    // lacks it, removes it otherwise.
    void toggleFontTrait(UInt32 trait);
    bool selectionSupportsTrait(UInt32 trait) const;
    // Applies `format` over the selection (or to what is typed next).
    void mergeSelectionFormat(const QTextCharFormat& format);

    // Spelling: the states the menu commands toggle (no checker here).
    bool continuousSpellChecking = false;
    bool automaticSpellingCorrection = false;
    // What Copy Font took.
    QTextCharFormat copiedFont;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }

private:
    static void CancelTimerFired(EventLoopTimerRef timer, void* view);

    TTextField* textField_ = nullptr;  // not retained
    bool marked_ = false;
    QString preeditText_;
    int programmatic_ = 0;
    // Whether the text or selection changed since the canvas was last told.
    bool contentChanged_ = true;
    EventLoopTimerRef cancelTimer_ = nullptr;
};

// Font traits of the formatting commands.
enum : UInt32 {
    kFontTraitItalic = 1,
    kFontTraitBold = 2,
};

class TTextField : public NSObject {
public:
    // Owned by the caller; the canvas (not retained) may be nil.
    static TTextField* newWithFrame(CGRect frame, TSpriteCanvas* canvas);
    static TTextField* newSingleLineWithFrame(CGRect frame, TSpriteCanvas* canvas);
    static TTextField* newScrollableWithFrame(CGRect frame, TSpriteCanvas* canvas);

    TCanvasTextView* textView() const { return textView_; }
    // The text view when the field scrolls, else nil.
    QTextEdit* scrollView() const { return scrollable_ || singleLine_ ? textView_ : nullptr; }
    QWidget* container() const { return textView_; }
    QTextDocument* textStorage() const;
    TSpriteCanvas* canvas() const;
    WindowRef window() const;
    HIViewRef view() const { return view_; }
    bool isSingleLine() const { return singleLine_; }
    bool isScrollable() const { return scrollable_; }
    UInt32 options() const { return options_; }
    CGSize baseSize() const { return baseSize_; }
    Float32 savedHeight() const { return savedHeight_; }

    void setOptions(UInt32 options) { options_ = options; }
    // The vertical scroller of a scrolling field.
    void setHasScroller(bool has);

    // Wraps `widget` in an HIView over the canvas at `frame` (canvas
    // coordinates) and shows it.
    void appendHICocoaView(QWidget* widget, CGRect frame);
    // Shows the field again over the canvas at `frame` and focuses it.
    void attach(CGRect frame);
    // Takes the field out of its window, keeping it whole; answers the
    // field retained, for the caller.
    TTextField* detach();
    void setFrame(CGRect frame);
    void resize(CGRect frame);
    void makeFirstResponder();
    // The field's content in `rect` (the field's coordinates), drawn as it
    // shows; owned by the caller; nil for an empty rect.
    CGImageRef copyImage(CGRect rect);

    void notifyTextChanged();
    // Measures the text, reports a height change of a whole point or more,
    // grows a field that does not scroll, then reports the text.
    void updateSize();

    const char* className() const override { return "TTextField"; }

private:
    TTextField(CGRect frame, TSpriteCanvas* canvas);
    ~TTextField() override;

    // The frame in the coordinates of the view the field goes into.
    CGRect FrameInHost(CGRect frame, HIViewRef* host) const;

    HIViewRef view_ = nullptr;  // one reference of our own
    TCanvasTextView* textView_ = nullptr;
    TSpriteCanvas* canvas_ = nullptr;  // not retained
    CGSize baseSize_ = {0, 0};
    Float32 savedHeight_ = 0;
    bool singleLine_ = false;
    bool scrollable_ = false;
    UInt32 options_ = 0;
};

// The session: class operations only.
class TEditSession : public TResponder {
    BRINDLET_CLASS(TEditSession, TResponder)

public:
    // Stops an active session first, then lays a new field of the kind the
    // options ask (plain over scrollable over single-line; plain when none
    // is asked) over the canvas at `frame`, with the text and attributes.
    static void StartEditing(CFStringRef text, NSAttributeDictionary* attributes, CGRect frame, UInt32 options,
                             TSpriteCanvas* canvas);
    // Resumes with a field kept from an earlier session.
    static void StartEditing(TTextField* field, CGRect frame);
    // Tells the delegate and the observers the final text, then lets the
    // field go; nothing outside a session.
    static void StopEditing();
    static bool IsEditing();
    static TTextField* SharedField();
    static TCanvasTextView* SharedTextView();
    // The holder of the session's delegate.
    static TObject* SharedSession();
    // The text while editing (not the caller's), else nil.
    static CFStringRef GetString();
    // The same, the caller's.
    static CFStringRef CopyString();
    static void SetFrame(CGRect frame);
    // Menu items: 200 enabled exactly while editing; in 129 the text
    // commands exactly while editing, the others exactly while not.
    static void UpdateCommandStatus(const HICommand& command);
    // The text commands, while editing: result noErr for those handled.
    static void ProcessCommand(const HICommand& command, OSStatus& result);
    // The spelling states of the text view from the menu items' checks.
    static void RestorePreferences();

protected:
    TEditSession() = default;
};

// Menu identifiers of the edit commands.
inline constexpr MenuID kEditSessionMenuID = 200;
inline constexpr MenuID kEditMenuID = 129;

void InitializeSCTextFieldUnit();
