#include "SCTextField.h"

#include <Units/Utilities/CarbonUtilities.h>

#include <CoreGraphics/CGImageQt.h>
#include <HIToolbox/HITheme.h>
#include <HIToolbox/HostedViews.h>
#include <HIToolbox/KeyCodes.h>
#include <HIToolbox/Menus.h>

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QColorDialog>
#include <QFontDialog>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTextList>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

BRINDLET_DEFINE_CLASS(TEditSession, TResponder)

namespace {

constexpr UInt16 kReturnKeyCode = 36;
constexpr UInt16 kDeleteKeyCode = 51;
// Far enough for any text: the container's "unlimited" extent.
constexpr CGFloat kUnlimitedExtent = 2147483648.0;

// The session's state: one per process.
TTextField* gSharedField = nullptr;  // retained
TObject* gSharedSession = nullptr;   // made at unit start-up
bool gStopping = false;

QString ToQString(CFStringRef text)
{
    if (text == nullptr)
        return {};
    const CFIndex length = CFStringGetLength(text);
    std::u16string units(size_t(length), u'\0');
    CFStringGetCharacters(text, CFRangeMake(0, length), reinterpret_cast<UniChar*>(units.data()));
    return QString::fromStdU16String(units);
}

CFStringRef CreateCFString(const QString& text)
{
    return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(text.utf16()), text.size());
}

QColor ToQColor(const NSColor* color)
{
    return QColor::fromRgbF(float(color->redComponent()), float(color->greenComponent()), float(color->blueComponent()),
                            float(color->alphaComponent()));
}

QTextCharFormat FormatOf(const NSAttributeDictionary* attributes)
{
    QTextCharFormat format;
    if (attributes == nullptr)
        return format;
    if (NSFont* font = attributes->font())
        format.setFont(font->qFont(), QTextCharFormat::FontPropertiesAll);
    if (NSColor* color = attributes->foregroundColor())
        format.setForeground(ToQColor(color));
    return format;
}

// Applies `change` to the format of every run of the selection, each over
// its part inside the selection; with no selection, to what is typed next.
template <typename Change>
void ChangeSelectedRuns(QTextEdit* view, Change change)
{
    QTextCursor cursor = view->textCursor();
    if (!cursor.hasSelection()) {
        QTextCharFormat format = view->currentCharFormat();
        change(format);
        view->setCurrentCharFormat(format);
        return;
    }
    const int start = cursor.selectionStart(), end = cursor.selectionEnd();
    cursor.beginEditBlock();
    int position = start;
    while (position < end) {
        // One run: the characters after `position` sharing its format.
        QTextCursor probe(view->document());
        probe.setPosition(position + 1);
        const QTextCharFormat runFormat = probe.charFormat();
        int runEnd = position + 1;
        while (runEnd < end) {
            probe.setPosition(runEnd + 1);
            if (probe.charFormat() != runFormat)
                break;
            ++runEnd;
        }
        QTextCharFormat format = runFormat;
        change(format);
        QTextCursor run(view->document());
        run.setPosition(position);
        run.setPosition(runEnd, QTextCursor::KeepAnchor);
        run.setCharFormat(format);
        position = runEnd;
    }
    cursor.endEditBlock();
}

// The format of the first selected character (of the caret's place when
// nothing is selected).
QTextCharFormat FirstSelectedFormat(const QTextEdit* view)
{
    QTextCursor cursor = view->textCursor();
    if (!cursor.hasSelection())
        return view->currentCharFormat();
    QTextCursor first(view->document());
    first.setPosition(cursor.selectionStart() + 1);
    return first.charFormat();
}

void PostWithDelegate(const ShortString& delegateName, const ShortString& notification, TDictionary* details)
{
    if (gSharedSession != nullptr)
        gSharedSession->InvokeDelegate(delegateName, details);
    TResponder::PostNotification(notification, details);
}

}  // namespace

// ---- the text view ----

TCanvasTextView::TCanvasTextView()
{
    setFrameStyle(QFrame::NoFrame);
    setAcceptRichText(true);
    // No background: the canvas shows through around the glyphs.
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Window, Qt::transparent);
    setPalette(palette);
    document()->setDocumentMargin(0);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QTextEdit::textChanged, this, [this] {
        contentChanged_ = true;
        if (programmatic_ == 0)
            didChangeText();
    });
    connect(this, &QTextEdit::cursorPositionChanged, this, [this] { contentChanged_ = true; });
}

TCanvasTextView::~TCanvasTextView()
{
    cancelPendingRequests();
}

void TCanvasTextView::didChangeText()
{
    if (textField_ == nullptr)
        return;
    if (textField_->isSingleLine())
        ensureCursorVisible();
    textField_->updateSize();
}

void TCanvasTextView::canceled()
{
    // A field that is no longer the session's (a newer session started)
    // ends nothing.
    if (textField_ == nullptr || textField_ != TEditSession::SharedField())
        return;
    textField_->updateSize();
    TEditSession::StopEditing();
}

void TCanvasTextView::CancelTimerFired(EventLoopTimerRef timer, void* data)
{
    auto* view = static_cast<TCanvasTextView*>(data);
    if (view->cancelTimer_ != timer)
        return;
    view->cancelTimer_ = nullptr;
    RemoveEventLoopTimer(timer);
    view->canceled();
}

void TCanvasTextView::cancelLater()
{
    if (cancelTimer_ != nullptr)
        return;
    InstallEventLoopTimer(GetMainEventLoop(), 0.0, 0.0, CancelTimerFired, this, &cancelTimer_);
}

void TCanvasTextView::cancelPendingRequests()
{
    if (cancelTimer_ == nullptr)
        return;
    RemoveEventLoopTimer(cancelTimer_);
    cancelTimer_ = nullptr;
}

void TCanvasTextView::keyPressEvent(QKeyEvent* event)
{
    UInt16 keyCode = 0;
    const bool known = MacKeyCodeForQtKey(event->key(), event->modifiers() & Qt::KeypadModifier, &keyCode);
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    // Held: the delegate may stop the session and let the field go.
    QPointer<TCanvasTextView> self(this);
    TTextField* field = textField_;
    if (field != nullptr)
        field->retain();
    if (known && keyCode == kReturnKeyCode) {
        if (marked_) {
            // Return confirms what the input method composes; it is no
            // line break and no end of the session.
            QGuiApplication::inputMethod()->commit();
            if (marked_) {
                QInputMethodEvent commit;
                commit.setCommitString(preeditText_);
                inputMethodEvent(&commit);
            }
        } else if (field != nullptr && !(field->options() & kEditOptionReturnInsertsLineBreak) && !shift) {
            cancelLater();
        } else {
            // A line break, with the look of the text around it.
            textCursor().insertBlock();
            ensureCursorVisible();
        }
    } else if (known && keyCode == kDeleteKeyCode && document()->isEmpty()) {
        PostWithDelegate("TextFieldDelegate.DeleteTarget", "TEditSession.DeleteTarget", nullptr);
        if (self)
            cancelLater();
    } else {
        QTextEdit::keyPressEvent(event);
    }
    if (self && gSharedSession != nullptr) {
        // The key as a Carbon raw key event, for the delegate.
        EventRef keyEvent = nullptr;
        CreateEvent(nullptr, kEventClassKeyboard, kEventRawKeyDown, 0, 0, &keyEvent);
        const UInt32 code = keyCode;
        const UInt32 modifiers = MacModifiersFromQt(event->modifiers());
        SetEventParameter(keyEvent, kEventParamKeyCode, typeUInt32, sizeof code, &code);
        SetEventParameter(keyEvent, kEventParamKeyModifiers, typeUInt32, sizeof modifiers, &modifiers);
        gSharedSession->InvokeDelegate("TextFieldDelegate.KeyDown", keyEvent);
        ReleaseEvent(keyEvent);
    }
    if (field != nullptr)
        field->release();
}

void TCanvasTextView::inputMethodEvent(QInputMethodEvent* event)
{
    preeditText_ = event->preeditString();
    marked_ = !preeditText_.isEmpty();
    QTextEdit::inputMethodEvent(event);
}

void TCanvasTextView::paintEvent(QPaintEvent* event)
{
    // The sprites under the text are repainted with it, once per change
    // (a repaint the canvas's own drawing brings about asks for nothing).
    if (contentChanged_ && textField_ != nullptr && textField_->view() != nullptr) {
        contentChanged_ = false;
        if (TSpriteCanvas* canvas = textField_->canvas()) {
            HIRect area = CGRectZero;
            HIViewGetBounds(textField_->view(), &area);
            if (canvas->GetView() != nullptr)
                HIViewConvertRect(&area, textField_->view(), canvas->GetView());
            canvas->AppendDirtyRect(area);
        }
    }
    QTextEdit::paintEvent(event);
}

void TCanvasTextView::mergeSelectionFormat(const QTextCharFormat& format)
{
    ChangeSelectedRuns(this, [&format](QTextCharFormat& run) { run.merge(format); });
    didChangeText();
}

void TCanvasTextView::adjustFontSize(int delta)
{
    ChangeSelectedRuns(this, [delta](QTextCharFormat& run) {
        QFont font = run.font();
        if (font.pixelSize() > 0)
            font.setPixelSize(std::max(1, font.pixelSize() + delta));
        else
            font.setPointSizeF(std::max(1.0, font.pointSizeF() + delta));
        run.setFont(font, QTextCharFormat::FontPropertiesAll);
    });
    didChangeText();
}

bool TCanvasTextView::selectionSupportsTrait(UInt32 trait) const
{
    const QFont font = FirstSelectedFormat(this).font();
    if (trait & kFontTraitBold)
        return font.bold();
    if (trait & kFontTraitItalic)
        return font.italic();
    return false;
}

void TCanvasTextView::toggleFontTrait(UInt32 trait)
{
    const bool add = !selectionSupportsTrait(trait);
    ChangeSelectedRuns(this, [trait, add](QTextCharFormat& run) {
        if (trait & kFontTraitBold)
            run.setFontWeight(add ? QFont::Bold : QFont::Normal);
        if (trait & kFontTraitItalic)
            run.setFontItalic(add);
    });
    didChangeText();
}

// ---- the field ----

TTextField::TTextField(CGRect frame, TSpriteCanvas* canvas)
    : textView_(new TCanvasTextView), canvas_(canvas), baseSize_(frame.size), savedHeight_(Float32(frame.size.height))
{
    textView_->setTextField(this);
    textView_->resize(int(std::lround(frame.size.width)), int(std::lround(frame.size.height)));
    if (canvas != nullptr)
        canvas->SetLockDirtyRects(false);
}

TTextField* TTextField::newWithFrame(CGRect frame, TSpriteCanvas* canvas)
{
    auto* field = new TTextField(frame, canvas);
    TCanvasTextView* view = field->textView_;
    view->setReadOnly(false);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setLineWrapMode(QTextEdit::WidgetWidth);
    return field;
}

TTextField* TTextField::newSingleLineWithFrame(CGRect frame, TSpriteCanvas* canvas)
{
    auto* field = new TTextField(frame, canvas);
    field->singleLine_ = true;
    TCanvasTextView* view = field->textView_;
    view->setReadOnly(false);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // One unbroken line that scrolls sideways.
    view->setLineWrapMode(QTextEdit::NoWrap);
    view->setWordWrapMode(QTextOption::NoWrap);
    return field;
}

TTextField* TTextField::newScrollableWithFrame(CGRect frame, TSpriteCanvas* canvas)
{
    auto* field = new TTextField(frame, canvas);
    field->scrollable_ = true;
    TCanvasTextView* view = field->textView_;
    view->setReadOnly(false);
    // The scroller shows only when the text is taller than the field.
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setLineWrapMode(QTextEdit::WidgetWidth);
    return field;
}

TTextField::~TTextField()
{
    // A request to end the session may still wait: it must reach neither
    // this field nor a newer session.
    textView_->cancelPendingRequests();
    textView_->setTextField(nullptr);
    CGRect frame = CGRectZero;
    if (view_ != nullptr) {
        HIViewGetBounds(view_, &frame);
        if (TSpriteCanvas* canvas = this->canvas();
            canvas != nullptr && canvas->GetView() != nullptr && HIViewGetSuperview(view_) != nullptr)
            HIViewConvertRect(&frame, view_, canvas->GetView());
        else
            HIViewGetFrame(view_, &frame);
        HIViewRemoveFromSuperview(view_);
        // The view owns the text view and takes it along.
        DisposeControl(view_);
        CFRelease(view_);
        view_ = nullptr;
        SetThemeCursor(kThemeArrowCursor);
    } else {
        // Not at once: the teardown may come from one of its own signals.
        textView_->deleteLater();
    }
    textView_ = nullptr;
    if (TSpriteCanvas* canvas = this->canvas()) {
        canvas->SetNeedsDisplayInRect(frame);
        canvas->SetLockDirtyRects(false);
    }
}

QTextDocument* TTextField::textStorage() const
{
    return textView_->document();
}

TSpriteCanvas* TTextField::canvas() const
{
    return canvas_ != nullptr && TObject::IsLiveObject(canvas_) ? canvas_ : nullptr;
}

WindowRef TTextField::window() const
{
    return view_ != nullptr ? HIViewGetWindow(view_) : nullptr;
}

void TTextField::setHasScroller(bool has)
{
    if (scrollView() != nullptr)
        textView_->setVerticalScrollBarPolicy(has ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

CGRect TTextField::FrameInHost(CGRect frame, HIViewRef* host) const
{
    *host = nullptr;
    TSpriteCanvas* canvas = this->canvas();
    if (canvas == nullptr)
        return frame;
    // Over the canvas's own view, where the canvas's zoom and scroll apply;
    // the window's root when the canvas shows in no view.
    if (canvas->GetView() != nullptr) {
        *host = canvas->GetView();
        return canvas->ConvertRectToView(frame);
    }
    if (WindowRef window = canvas->GetWindow())
        *host = HIViewGetRoot(window);
    return frame;
}

void TTextField::appendHICocoaView(QWidget* widget, CGRect frame)
{
    if (view_ != nullptr || widget == nullptr)
        return;
    HIViewRef host = nullptr;
    const CGRect placed = FrameInHost(frame, &host);
    if (HICocoaViewCreate(widget, 0, &view_) != noErr) {
        view_ = nullptr;
        return;
    }
    HIViewSetFrame(view_, &placed);
    if (host != nullptr)
        HIViewAddSubview(host, view_);
    HIViewSetVisible(view_, true);
    HIViewSetEnabled(view_, true);
}

void TTextField::attach(CGRect frame)
{
    if (TSpriteCanvas* canvas = this->canvas())
        canvas->SetLockDirtyRects(false);
    if (view_ == nullptr) {
        appendHICocoaView(container(), frame);
    } else {
        HIViewRef host = nullptr;
        const CGRect placed = FrameInHost(frame, &host);
        HIViewSetFrame(view_, &placed);
        if (host != nullptr && HIViewGetSuperview(view_) != host)
            HIViewAddSubview(host, view_);
        HIViewSetVisible(view_, true);
        HIViewSetEnabled(view_, true);
    }
    makeFirstResponder();
}

TTextField* TTextField::detach()
{
    // The field keeps its view (and the text view, its undo and its scroll
    // position in it) for the next attach.
    if (view_ != nullptr)
        HIViewRemoveFromSuperview(view_);
    retain();
    return this;
}

void TTextField::setFrame(CGRect frame)
{
    if (view_ == nullptr)
        return;
    HIViewRef host = nullptr;
    const CGRect placed = FrameInHost(frame, &host);
    HIViewSetFrame(view_, &placed);
}

void TTextField::resize(CGRect frame)
{
    container()->resize(int(std::lround(frame.size.width)), int(std::lround(frame.size.height)));
}

void TTextField::makeFirstResponder()
{
    if (WindowRef window = this->window())
        SetKeyboardFocus(window, view_, kControlFocusNextPart);
}

CGImageRef TTextField::copyImage(CGRect rect)
{
    const QRect area(int(std::floor(rect.origin.x)), int(std::floor(rect.origin.y)), int(std::ceil(rect.size.width)),
                     int(std::ceil(rect.size.height)));
    if (area.isEmpty())
        return nullptr;
    QWidget* widget = container();
    // The caret is not part of the picture.
    const int flash = textView_->cursorWidth();
    textView_->setCursorWidth(0);
    QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(area), QWidget::DrawChildren);
    textView_->setCursorWidth(flash);
    return CGImageCreateWithQImage(image);
}

void TTextField::notifyTextChanged()
{
    TNotification* details = TNotification::Create();
    CFStringRef text = CreateCFString(textView_->toPlainText());
    details->SetValue("text", text);
    CFRelease(text);
    PostWithDelegate("TextFieldDelegate.TextChanged", "TextFieldDelegate.TextChanged", details);
    details->Release();
}

void TTextField::updateSize()
{
    // The offset of the last line from the top of the text.
    QTextDocument* document = textView_->document();
    document->adjustSize();
    Float32 height = 0;
    const QTextBlock last = document->lastBlock();
    if (last.isValid()) {
        const QRectF blockRect = document->documentLayout()->blockBoundingRect(last);
        Float32 lineTop = 0;
        if (QTextLayout* layout = last.layout(); layout != nullptr && layout->lineCount() > 0)
            lineTop = Float32(layout->lineAt(layout->lineCount() - 1).y());
        height = Float32(blockRect.top()) + lineTop;
    }
    // Held: the observers may stop the session.
    retain();
    if (std::trunc(height) != std::trunc(savedHeight_)) {
        TTypeDictionary* details = TTypeDictionary::Create();
        details->SetIntegerValue("height", SInt32(std::trunc(height)));
        PostWithDelegate("TTextField.HeightChanged", "TTextField.HeightChanged", details);
        details->Release();
        if (height > 0 && !(options_ & kEditOptionScrollable) && view_ != nullptr) {
            HIRect frame = CGRectZero;
            HIViewGetFrame(view_, &frame);
            frame.size.height = height + 20.0f;
            HIViewSetFrame(view_, &frame);
        }
    }
    notifyTextChanged();
    savedHeight_ = height;
    release();
}

// ---- the session ----

void TEditSession::StartEditing(CFStringRef text, NSAttributeDictionary* attributes, CGRect frame, UInt32 options,
                                TSpriteCanvas* canvas)
{
    // A session still open ends first: its field would be lost otherwise.
    // The delegate set for the new session stays.
    if (IsEditing()) {
        TObject* delegate = gSharedSession->GetDelegate();
        if (delegate != nullptr)
            delegate->Retain();
        StopEditing();
        if (delegate != nullptr) {
            gSharedSession->SetDelegate(delegate);
            delegate->Release();
        }
    }
    // Exactly one field: of the kinds asked, the plain one wins over the
    // scrollable one, which wins over the single-line one.
    TTextField* field;
    if (options & kEditOptionPlain)
        field = TTextField::newWithFrame(frame, canvas);
    else if (options & kEditOptionScrollable)
        field = TTextField::newScrollableWithFrame(frame, canvas);
    else if (options & kEditOptionSingleLine)
        field = TTextField::newSingleLineWithFrame(frame, canvas);
    else
        field = TTextField::newWithFrame(frame, canvas);
    gSharedField = field;
    field->setOptions(options);
    TCanvasTextView* view = field->textView();
    const QTextCharFormat format = FormatOf(attributes);
    view->BeginProgrammaticChange();
    view->setCurrentCharFormat(format);
    view->setUndoRedoEnabled(true);
    if (attributes != nullptr && attributes->foregroundColor() != nullptr) {
        QPalette palette = view->palette();
        palette.setColor(QPalette::Text, ToQColor(attributes->foregroundColor()));
        view->setPalette(palette);
    }
    if (text != nullptr) {
        view->setPlainText(ToQString(text));
        QTextCursor cursor(view->document());
        cursor.select(QTextCursor::Document);
        cursor.setCharFormat(format);
        const int length = view->document()->characterCount() - 1;
        if (options & kEditOptionSelectAll) {
            cursor.setPosition(0);
            cursor.setPosition(length, QTextCursor::KeepAnchor);
        } else {
            cursor.setPosition(length);
        }
        view->setTextCursor(cursor);
        view->setCurrentCharFormat(format);
        // Filling the field is nothing to undo.
        view->document()->clearUndoRedoStacks();
    }
    view->EndProgrammaticChange();
    if (canvas != nullptr)
        field->appendHICocoaView(field->container(), frame);
    field->makeFirstResponder();
    RestorePreferences();
}

void TEditSession::StartEditing(TTextField* field, CGRect frame)
{
    if (field == nullptr)
        return;
    if (IsEditing() && gSharedField != field)
        StopEditing();
    if (gSharedField != field) {
        field->retain();
        gSharedField = field;
    }
    field->attach(frame);
}

void TEditSession::StopEditing()
{
    if (gSharedField == nullptr || gStopping)
        return;
    gStopping = true;
    TTextField* field = gSharedField;
    TNotification* details = TNotification::Create();
    CFStringRef text = CreateCFString(field->textView()->toPlainText());
    details->SetValue("text", text);
    CFRelease(text);
    PostWithDelegate("TextFieldDelegate.StopEditing", "TEditSession.StopEditing", details);
    details->Release();
    gStopping = false;
    // Only the session that ended lets its field and delegate go; one the
    // observers started meanwhile stays.
    if (gSharedField == field) {
        gSharedSession->RemoveDelegate();
        gSharedField = nullptr;
        field->release();
    }
}

bool TEditSession::IsEditing()
{
    return gSharedField != nullptr;
}

TTextField* TEditSession::SharedField()
{
    return gSharedField;
}

TCanvasTextView* TEditSession::SharedTextView()
{
    return gSharedField != nullptr ? gSharedField->textView() : nullptr;
}

TObject* TEditSession::SharedSession()
{
    return gSharedSession;
}

CFStringRef TEditSession::GetString()
{
    if (gSharedField == nullptr)
        return nullptr;
    return static_cast<CFStringRef>(CFAutorelease(CreateCFString(gSharedField->textView()->toPlainText())));
}

CFStringRef TEditSession::CopyString()
{
    return gSharedField != nullptr ? CreateCFString(gSharedField->textView()->toPlainText()) : nullptr;
}

void TEditSession::SetFrame(CGRect frame)
{
    if (gSharedField != nullptr)
        gSharedField->setFrame(frame);
}

namespace {

// The commands of the Edit menu that work on the text being edited.
constexpr std::array<UInt32, 14> kTextCommands = {
    FourCC("aspc"), FourCC("cksp"), FourCC("clea"), FourCC("copy"), FourCC("cspa"), FourCC("cut "), FourCC("mfnd"),
    FourCC("pams"), FourCC("past"), FourCC("redo"), FourCC("sall"), FourCC("shsp"), FourCC("spel"), FourCC("undo")};

bool IsTextCommand(UInt32 command)
{
    return std::find(kTextCommands.begin(), kTextCommands.end(), command) != kTextCommands.end();
}

void EnableItem(MenuRef menu, MenuItemIndex item, bool enabled)
{
    if (enabled)
        EnableMenuItem(menu, item);
    else
        DisableMenuItem(menu, item);
}

void SetAlignment(QTextEdit* view, Qt::Alignment alignment)
{
    view->setAlignment(alignment);
}

void ShiftBaseline(TCanvasTextView* view, qreal percent)
{
    QTextCharFormat change;
    const qreal now = FirstSelectedFormat(view).baselineOffset();
    change.setBaselineOffset(now + percent);
    view->mergeSelectionFormat(change);
}

void SetVerticalAlignment(TCanvasTextView* view, QTextCharFormat::VerticalAlignment alignment)
{
    QTextCharFormat change;
    change.setVerticalAlignment(alignment);
    view->mergeSelectionFormat(change);
}

void SetKerning(TCanvasTextView* view, bool kerning, qreal spacing)
{
    QTextCharFormat change;
    change.setFontKerning(kerning);
    change.setFontLetterSpacingType(QFont::AbsoluteSpacing);
    change.setFontLetterSpacing(spacing);
    view->mergeSelectionFormat(change);
}

void ChangeLetterSpacing(TCanvasTextView* view, qreal delta)
{
    const QTextCharFormat first = FirstSelectedFormat(view);
    const qreal now = first.fontLetterSpacingType() == QFont::AbsoluteSpacing ? first.fontLetterSpacing() : 0;
    SetKerning(view, true, now + delta);
}

void SetLigatures(TCanvasTextView* view, bool on)
{
    QTextCharFormat change;
    QFont font = FirstSelectedFormat(view).font();
    // Qt shapes with the font's ligatures unless letter spacing is set;
    // "none" keeps the characters apart with a spacing of 0 that turns
    // shaping of ligatures off.
    change.setFontStyleStrategy(on ? QFont::PreferDefault : QFont::PreferNoShaping);
    (void)font;
    view->mergeSelectionFormat(change);
}

}  // namespace

void TEditSession::UpdateCommandStatus(const HICommand& command)
{
    MenuRef menu = command.menu.menuRef;
    if (menu == nullptr || command.menu.menuItemIndex == 0)
        return;
    const MenuID id = GetMenuID(menu);
    const bool editing = IsEditing();
    if (id == kEditSessionMenuID)
        EnableItem(menu, command.menu.menuItemIndex, editing);
    else if (id == kEditMenuID)
        EnableItem(menu, command.menu.menuItemIndex, IsTextCommand(command.commandID) ? editing : !editing);
}

void TEditSession::ProcessCommand(const HICommand& command, OSStatus& result)
{
    TCanvasTextView* view = SharedTextView();
    if (view == nullptr)
        return;
    auto is = [&command](const char(&code)[5]) { return command.commandID == FourCC(code); };
    if (is("aspc") || is("cspa")) {
        ToggleMenuCommand(command.menu.menuRef, command.commandID);
        const bool on = IsMenuCommandChecked(command.commandID);
        if (is("aspc"))
            view->continuousSpellChecking = on;
        else
            view->automaticSpellingCorrection = on;
    } else if (is("cksp") || is("shsp")) {
        // No spelling checker on this system: the command is taken.
    } else if (is("blwr") || is("brse")) {
        ShiftBaseline(view, is("brse") ? 10 : -10);
    } else if (is("bsub")) {
        SetVerticalAlignment(view, QTextCharFormat::AlignSubScript);
    } else if (is("bsup")) {
        SetVerticalAlignment(view, QTextCharFormat::AlignSuperScript);
    } else if (is("busd")) {
        SetVerticalAlignment(view, QTextCharFormat::AlignNormal);
    } else if (is("fall")) {
        SetAlignment(view, Qt::AlignLeft);
    } else if (is("fcnt")) {
        SetAlignment(view, Qt::AlignHCenter);
    } else if (is("fjst")) {
        SetAlignment(view, Qt::AlignJustify);
    } else if (is("falr")) {
        SetAlignment(view, Qt::AlignRight);
    } else if (is("fbld")) {
        view->toggleFontTrait(kFontTraitBold);
    } else if (is("fitl")) {
        view->toggleFontTrait(kFontTraitItalic);
    } else if (is("fund")) {
        QTextCharFormat change;
        change.setFontUnderline(!FirstSelectedFormat(view).fontUnderline());
        view->mergeSelectionFormat(change);
    } else if (is("fbig") || is("fsml")) {
        view->adjustFontSize(is("fbig") ? 1 : -1);
    } else if (is("fcst")) {
        view->copiedFont = FirstSelectedFormat(view);
    } else if (is("fpst")) {
        if (view->copiedFont.isValid()) {
            QTextCharFormat change;
            change.setFont(view->copiedFont.font(), QTextCharFormat::FontPropertiesAll);
            view->mergeSelectionFormat(change);
        }
    } else if (is("fscl")) {
        // The colour panel follows the text view while it lives.
        auto* panel = new QColorDialog(FirstSelectedFormat(view).foreground().color(), view);
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setOption(QColorDialog::NoButtons);
        QObject::connect(panel, &QColorDialog::currentColorChanged, view, [view](const QColor& color) {
            QTextCharFormat change;
            change.setForeground(color);
            view->mergeSelectionFormat(change);
        });
        panel->show();
    } else if (is("fsnt")) {
        auto* panel = new QFontDialog(FirstSelectedFormat(view).font(), view);
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setOption(QFontDialog::NoButtons);
        QObject::connect(panel, &QFontDialog::currentFontChanged, view, [view](const QFont& font) {
            QTextCharFormat change;
            change.setFont(font, QTextCharFormat::FontPropertiesAll);
            view->mergeSelectionFormat(change);
        });
        panel->show();
    } else if (is("insl")) {
        view->textCursor().createList(QTextListFormat::ListDisc);
        view->didChangeText();
    } else if (is("insk") || is("inst")) {
        // No link or table panel on this system: the command is taken.
    } else if (is("klsn") || is("ktgn")) {
        ChangeLetterSpacing(view, is("klsn") ? 1 : -1);
    } else if (is("kusd")) {
        SetKerning(view, true, 0);
    } else if (is("kusn")) {
        SetKerning(view, false, 0);
    } else if (is("lusa") || is("lusd")) {
        SetLigatures(view, true);
    } else if (is("lusn")) {
        SetLigatures(view, false);
    } else if (is("pams")) {
        if (QClipboard* clipboard = QGuiApplication::clipboard())
            view->textCursor().insertText(clipboard->text());
    } else if (is("undo")) {
        if (view->document()->isUndoAvailable())
            view->undo();
    } else if (is("redo")) {
        if (view->document()->isRedoAvailable())
            view->redo();
    } else if (is("find") || is("fjts") || is("fndn") || is("fndp") || is("fusf")) {
        // Taken, so that no one else searches while text is edited.
    } else {
        return;
    }
    result = noErr;
}

void TEditSession::RestorePreferences()
{
    TCanvasTextView* view = SharedTextView();
    if (view == nullptr)
        return;
    MenuRef menu = nullptr;
    MenuItemIndex index = 0;
    if (GetIndMenuItemWithCommandID(nullptr, FourCC("cspa"), 1, &menu, &index) == noErr && menu != nullptr)
        view->automaticSpellingCorrection = IsMenuItemChecked(menu, index);
    if (GetIndMenuItemWithCommandID(nullptr, FourCC("aspc"), 1, &menu, &index) == noErr && menu != nullptr)
        view->continuousSpellChecking = IsMenuItemChecked(menu, index);
}

void InitializeSCTextFieldUnit()
{
    RegisterClass(TEditSession::StaticClass());
    if (gSharedSession == nullptr)
        gSharedSession = TObject::Create();
}
