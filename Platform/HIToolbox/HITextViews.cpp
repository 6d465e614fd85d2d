#include "HITextViews.h"

#include "HIThemeQt.h"
#include "HostedViews.h"
#include "HostedViewsInternal.h"

#include <CoreFoundation/CFStringUTF8.h>
#include <CoreFoundation/CFURL.h>
#include <RichText/RTFTextDocument.h>
#include <Support/FileAccess.h>

#include <QPalette>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <unordered_set>

struct OpaqueTXNObject {
    struct TextViewHost* host;
};

namespace {

class HostedTextEdit final : public QTextEdit {
public:
    // Tab belongs to the text or to the view tree's focus order, never to Qt's.
    bool focusNextPrevChild(bool) override { return false; }
};

std::unordered_set<TXNObject>& LiveObjects()
{
    static auto* const objects = new std::unordered_set<TXNObject>;
    return *objects;
}

}  // namespace

struct TextViewHost final : HostedView {
    TextViewHost() : object(new OpaqueTXNObject{this}) { LiveObjects().insert(object); }
    ~TextViewHost() override
    {
        LiveObjects().erase(object);
        delete object;
    }
    TextViewHost(const TextViewHost&) = delete;
    TextViewHost& operator=(const TextViewHost&) = delete;

    QTextEdit* Edit() const { return qobject_cast<QTextEdit*>(widget.data()); }

    TXNObject object;
    // What whole-text attributes set: the look of text that comes later.
    QTextCharFormat typing;
};

namespace {

TextViewHost* AsTXN(TXNObject object)
{
    if (!object || !LiveObjects().count(object))
        return nullptr;
    TextViewHost* host = object->host;
    return host->Edit() ? host : nullptr;
}

// The text as the engine counts it: one unit per line break, whatever the
// document keeps for it.
QString PlainText(const QTextDocument* document)
{
    QString text = document->toRawText();
    for (QChar& unit : text) {
        if (unit == QChar::ParagraphSeparator || unit == QChar::LineSeparator)
            unit = QLatin1Char('\n');
    }
    return text;
}

TXNOffset Length(const QTextEdit* edit)
{
    return TXNOffset(std::max(0, edit->document()->characterCount() - 1));
}

TXNOffset Resolve(TXNOffset offset, TXNOffset selected, TXNOffset length)
{
    if (offset == kTXNUseCurrentSelection)
        return selected;
    return std::min(offset, length);
}

void Select(QTextEdit* edit, TXNOffset anchor, TXNOffset position)
{
    QTextCursor cursor(edit->document());
    cursor.setPosition(int(anchor));
    cursor.setPosition(int(position), QTextCursor::KeepAnchor);
    edit->setTextCursor(cursor);
}

// Replaces [start, end) with the text; the insertion point ends after it.
void Replace(TextViewHost& host, TXNOffset start, TXNOffset end, QString text)
{
    QTextEdit* edit = host.Edit();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    HostedViewChange change(host);
    QTextCursor cursor(edit->document());
    const bool empty = Length(edit) == 0;
    cursor.setPosition(int(start));
    cursor.setPosition(int(end), QTextCursor::KeepAnchor);
    if (text.isEmpty()) {
        cursor.removeSelectedText();
    } else {
        QTextCharFormat format = empty ? host.typing : cursor.charFormat();
        cursor.insertText(text, format);
    }
    edit->setTextCursor(cursor);
}

OSStatus TextViewKey(HIViewRef view, EventRef rawKeyEvent)
{
    // An editable view takes Tab as text; a read-only one passes the focus on.
    auto* host = dynamic_cast<TextViewHost*>(HostedViewOf(view, kControlKindHITextView));
    if (!host || !host->Edit() || !host->Edit()->isReadOnly())
        return eventNotHandledErr;
    UInt32 keyCode = 0, modifiers = 0;
    GetEventParameter(rawKeyEvent, kEventParamKeyCode, typeUInt32, nullptr, sizeof keyCode, nullptr, &keyCode);
    GetEventParameter(rawKeyEvent, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
    if (keyCode != 0x30 || (modifiers & (cmdKey | optionKey | controlKey)))
        return eventNotHandledErr;
    HIViewAdvanceFocus(HIViewGetRoot(HIViewGetWindow(view)), modifiers);
    return noErr;
}

HostedView* MakeTextView(HIViewRef view)
{
    auto* host = new TextViewHost;
    auto* edit = new HostedTextEdit;
    if (QStyle* style = HIThemeGetStyle())
        edit->setStyle(style);
    edit->setPalette(HIThemeGetPalette(true));
    edit->setFont(HIThemeGetQFont(kThemeApplicationFont));
    edit->setFocusPolicy(Qt::ClickFocus);
    edit->setAcceptRichText(false);
    edit->setTabChangesFocus(false);
    edit->setLineWrapMode(QTextEdit::WidgetWidth);
    QObject::connect(edit, &QTextEdit::textChanged, edit, [view, edit] {
        auto* hosted = dynamic_cast<TextViewHost*>(HostedViewOf(view, kControlKindHITextView));
        if (hosted && hosted->widget == edit && !hosted->programmatic)
            HostedViewSendTextEvent(view, kEventTextDidChange);
    });
    host->widget = edit;
    return host;
}

TextViewHost* TextViewOf(HIViewRef view)
{
    auto* host = dynamic_cast<TextViewHost*>(HostedViewOf(view, kControlKindHITextView));
    return host && host->Edit() ? host : nullptr;
}

OSStatus SetTextViewData(HIViewRef view, ControlPartCode, ResType tag, Size size, const void* data)
{
    TextViewHost* host = TextViewOf(view);
    if (!host)
        return errUnknownControl;
    if (tag != kControlEditTextCFStringTag)
        return errDataNotSupported;
    if (size != Size(sizeof(CFStringRef)))
        return errDataSizeMismatch;
    const CFTypeRef text = data ? *static_cast<const CFTypeRef*>(data) : nullptr;
    if (!text || CFGetTypeID(text) != CFStringGetTypeID())
        return paramErr;
    const std::u16string_view units = CFStringView(text);
    Replace(*host, 0, Length(host->Edit()),
            QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size())));
    return noErr;
}

OSStatus GetTextViewData(HIViewRef view, ControlPartCode, ResType tag, Size bufferSize, void* buffer, Size* actualSize)
{
    TextViewHost* host = TextViewOf(view);
    if (!host)
        return errUnknownControl;
    if (tag != kControlEditTextCFStringTag)
        return errDataNotSupported;
    if (buffer && bufferSize < Size(sizeof(CFStringRef)))
        return errDataSizeMismatch;
    CFStringRef text = nullptr;
    if (buffer) {
        const QString plain = PlainText(host->Edit()->document());
        text = CFStringCreateWithUTF16(std::u16string(reinterpret_cast<const char16_t*>(plain.utf16()), plain.size()));
    }
    return HostedViewAnswerData(&text, sizeof text, bufferSize, buffer, actualSize);
}

QColor ColorOf(const RGBColor& color)
{
    return QColor::fromRgba64(color.red, color.green, color.blue);
}

// The character format the attributes ask for; false for a tag we do not
// know or a value that cannot be used.
bool FormatOf(ItemCount count, const TXNTypeAttributes attributes[], QTextCharFormat* format)
{
    for (ItemCount i = 0; i < count; ++i) {
        const TXNTypeAttributes& attribute = attributes[i];
        switch (attribute.tag) {
        case kTXNQDFontNameAttribute: {
            const auto* name = static_cast<const unsigned char*>(attribute.data.dataPtr);
            if (!name)
                return false;
            CFStringRef family =
                CFStringCreateWithUTF8OrMacRoman(std::string_view(reinterpret_cast<const char*>(name + 1), name[0]));
            const std::u16string_view units = CFStringView(family);
            format->setFontFamilies({QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()))});
            CFRelease(family);
            break;
        }
        case kTXNQDFontSizeAttribute: {
            const double points = SInt32(attribute.data.dataValue) / 65536.0;
            if (!(points >= 1 && points <= 1000))
                return false;
            format->setFontPointSize(points);
            break;
        }
        case kTXNQDFontStyleAttribute: {
            const UInt32 style = attribute.data.dataValue;
            format->setFontWeight(style & bold ? QFont::Bold : QFont::Normal);
            format->setFontItalic(style & italic);
            format->setFontUnderline(style & underline);
            break;
        }
        case kTXNQDFontColorAttribute: {
            const auto* color = static_cast<const RGBColor*>(attribute.data.dataPtr);
            if (!color)
                return false;
            format->setForeground(ColorOf(*color));
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

}  // namespace

void HIViewRegisterTextViewKind()
{
    HIViewKindBehaviour text = {};
    text.kind = {kControlKindSignatureApple, kControlKindHITextView};
    text.setData = SetTextViewData;
    text.getData = GetTextViewData;
    text.focusable = true;
    text.key = TextViewKey;
    HostedViewRegisterKind(text, MakeTextView);
}

OSStatus HITextViewCreate(const HIRect* inBoundsRect, OptionBits, TXNFrameOptions inTXNFrameOptions,
                          HIViewRef* outTextView)
{
    if (!inBoundsRect || !outTextView)
        return paramErr;
    HIViewRef view = nullptr;
    const OSStatus status = HostedViewCreate(kControlKindHITextView, nullptr, *inBoundsRect, &view);
    if (status != noErr)
        return status;
    QTextEdit* edit = TextViewOf(view)->Edit();
    edit->setReadOnly(inTXNFrameOptions & kTXNReadOnlyMask);
    if (inTXNFrameOptions & kTXNNoSelectionMask)
        edit->setTextInteractionFlags(edit->isReadOnly() ? Qt::NoTextInteraction : Qt::TextEditable);
    *outTextView = view;
    return noErr;
}

TXNObject HITextViewGetTXNObject(HIViewRef inTextView)
{
    TextViewHost* host = TextViewOf(inTextView);
    return host ? host->object : nullptr;
}

OSStatus TXNSetData(TXNObject iTXNObject, TXNDataType iDataType, const void* iDataPtr, ByteCount iDataSize,
                    TXNOffset iStartOffset, TXNOffset iEndOffset)
{
    TextViewHost* host = AsTXN(iTXNObject);
    if (!host || (!iDataPtr && iDataSize))
        return paramErr;
    QString text;
    switch (iDataType) {
    case kTXNTextData: {
        CFStringRef string =
            CFStringCreateWithUTF8OrMacRoman(std::string_view(static_cast<const char*>(iDataPtr), iDataSize));
        const std::u16string_view units = CFStringView(string);
        text = QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
        CFRelease(string);
        break;
    }
    case kTXNUnicodeTextData: {
        if (iDataSize % 2)
            return kTXNDataTypeNotAllowedErr;
        std::u16string units(iDataSize / 2, u'\0');
        if (iDataSize)
            std::memcpy(units.data(), iDataPtr, iDataSize);
        text = QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
        break;
    }
    default:
        return kTXNDataTypeNotAllowedErr;
    }
    QTextEdit* edit = host->Edit();
    const QTextCursor selection = edit->textCursor();
    const TXNOffset length = Length(edit);
    const TXNOffset start = Resolve(iStartOffset, TXNOffset(selection.selectionStart()), length);
    const TXNOffset end = Resolve(iEndOffset, TXNOffset(selection.selectionEnd()), length);
    if (start > end)
        return paramErr;
    Replace(*host, start, end, text);
    return noErr;
}

OSStatus TXNSetSelection(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset)
{
    TextViewHost* host = AsTXN(iTXNObject);
    if (!host)
        return paramErr;
    QTextEdit* edit = host->Edit();
    const QTextCursor selection = edit->textCursor();
    const TXNOffset length = Length(edit);
    Select(edit, Resolve(iStartOffset, TXNOffset(selection.selectionStart()), length),
           Resolve(iEndOffset, TXNOffset(selection.selectionEnd()), length));
    return noErr;
}

void TXNGetSelection(TXNObject iTXNObject, TXNOffset* oStartOffset, TXNOffset* oEndOffset)
{
    TextViewHost* host = AsTXN(iTXNObject);
    if (!host)
        return;
    const QTextCursor cursor = host->Edit()->textCursor();
    if (oStartOffset)
        *oStartOffset = TXNOffset(cursor.selectionStart());
    if (oEndOffset)
        *oEndOffset = TXNOffset(cursor.selectionEnd());
}

void TXNSelectAll(TXNObject iTXNObject)
{
    if (TextViewHost* host = AsTXN(iTXNObject))
        host->Edit()->selectAll();
}

ByteCount TXNDataSize(TXNObject iTXNObject)
{
    TextViewHost* host = AsTXN(iTXNObject);
    return host ? ByteCount(Length(host->Edit()) * sizeof(UniChar)) : 0;
}

OSStatus TXNSetTXNObjectControls(TXNObject iTXNObject, Boolean iClearAll, ItemCount iControlCount,
                                 const TXNControlTag iControlTags[], const TXNControlData iControlData[])
{
    TextViewHost* host = AsTXN(iTXNObject);
    if (!host || (iControlCount && (!iControlTags || !iControlData)))
        return paramErr;
    QTextEdit* edit = host->Edit();
    if (iClearAll) {
        edit->setReadOnly(false);
        edit->setLineWrapMode(QTextEdit::WidgetWidth);
        edit->viewport()->setVisible(true);
    }
    for (ItemCount i = 0; i < iControlCount; ++i) {
        const UInt32 value = iControlData[i].uValue;
        switch (iControlTags[i]) {
        case kTXNNoUserIOTag:
            edit->setReadOnly(value == kTXNReadOnly);
            break;
        case kTXNWordWrapStateTag:
            edit->setLineWrapMode(value == kTXNNoAutoWrap ? QTextEdit::NoWrap : QTextEdit::WidgetWidth);
            break;
        case kTXNVisibilityTag:
            edit->viewport()->setVisible(value != 0);
            break;
        default:
            return paramErr;
        }
    }
    return noErr;
}

OSStatus TXNGetTXNObjectControls(TXNObject iTXNObject, ItemCount iControlCount, const TXNControlTag iControlTags[],
                                 TXNControlData oControlData[])
{
    TextViewHost* host = AsTXN(iTXNObject);
    if (!host || (iControlCount && (!iControlTags || !oControlData)))
        return paramErr;
    QTextEdit* edit = host->Edit();
    std::vector<TXNControlData> answers(iControlCount);
    for (ItemCount i = 0; i < iControlCount; ++i) {
        switch (iControlTags[i]) {
        case kTXNNoUserIOTag:
            answers[i].uValue = edit->isReadOnly() ? kTXNReadOnly : kTXNReadWrite;
            break;
        case kTXNWordWrapStateTag:
            answers[i].uValue = edit->lineWrapMode() == QTextEdit::NoWrap ? kTXNNoAutoWrap : kTXNAutoWrap;
            break;
        case kTXNVisibilityTag:
            answers[i].uValue = edit->viewport()->isVisibleTo(edit) ? 1 : 0;
            break;
        default:
            return paramErr;
        }
    }
    std::copy(answers.begin(), answers.end(), oControlData);
    return noErr;
}

OSStatus TXNSetTypeAttributes(TXNObject iTXNObject, ItemCount iAttrCount, const TXNTypeAttributes iAttributes[],
                              TXNOffset iStartOffset, TXNOffset iEndOffset)
{
    TextViewHost* host = AsTXN(iTXNObject);
    if (!host || (iAttrCount && !iAttributes))
        return paramErr;
    QTextCharFormat format;
    if (!FormatOf(iAttrCount, iAttributes, &format))
        return kTXNSomeOrAllTagsInvalidForRunErr;
    QTextEdit* edit = host->Edit();
    const QTextCursor selection = edit->textCursor();
    const TXNOffset length = Length(edit);
    TXNOffset start = Resolve(iStartOffset, TXNOffset(selection.selectionStart()), length);
    TXNOffset end = Resolve(iEndOffset, TXNOffset(selection.selectionEnd()), length);
    if (start > end)
        std::swap(start, end);
    HostedViewChange change(*host);
    if (start < end) {
        QTextCursor cursor(edit->document());
        cursor.setPosition(int(start));
        cursor.setPosition(int(end), QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(format);
    }
    if (start == end || (start == 0 && end == length)) {
        host->typing.merge(format);
        edit->mergeCurrentCharFormat(format);
    }
    return noErr;
}

OSStatus TXNSetBackground(TXNObject iTXNObject, const TXNBackground* iBackgroundInfo)
{
    TextViewHost* host = AsTXN(iTXNObject);
    if (!host || !iBackgroundInfo || iBackgroundInfo->bgType != kTXNBackgroundTypeRGB)
        return paramErr;
    QTextEdit* edit = host->Edit();
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, ColorOf(iBackgroundInfo->bg.color));
    edit->setPalette(palette);
    return noErr;
}

void TXNSetFrameBounds(TXNObject iTXNObject, SInt32 iTop, SInt32 iLeft, SInt32 iBottom, SInt32 iRight, TXNFrameID)
{
    TextViewHost* host = AsTXN(iTXNObject);
    if (!host)
        return;
    HIRect frame = {{CGFloat(iLeft), CGFloat(iTop)},
                    {CGFloat(std::max(0, iRight - iLeft)), CGFloat(std::max(0, iBottom - iTop))}};
    if (HIViewRef superview = HIViewGetSuperview(host->view))
        HIViewConvertRect(&frame, nullptr, superview);
    HIViewSetFrame(host->view, &frame);
}

// ---- rich text files ----

namespace {

// The local path a file URL names; empty for any other URL.
std::string LocalPath(CFURLRef url)
{
    if (!url)
        return std::string();
    char buffer[4096];
    if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(buffer), sizeof buffer))
        return std::string();
    return std::string(buffer);
}

OSStatus StatusOfFileError(int error)
{
    switch (error) {
    case 0:
        return noErr;
    case ENOENT:
    case ENOTDIR:
        return fnfErr;
    case EISDIR:
    case EINVAL:
    case ELOOP:
        return notAFileErr;
    case EACCES:
    case EPERM:
    case EROFS:
        return afpAccessDenied;
    default:
        return ioErr;
    }
}

bool IsWholeText(TXNOffset start, TXNOffset end)
{
    return start == kTXNStartOffset && end == kTXNEndOffset;
}

}  // namespace

OSStatus TXNWriteRangeToCFURL(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset, CFDictionaryRef,
                              CFDictionaryRef, CFURLRef iFileURL)
{
    TextViewHost* host = AsTXN(iTXNObject);
    const std::string path = LocalPath(iFileURL);
    if (!host || path.empty() || !IsWholeText(iStartOffset, iEndOffset))
        return paramErr;
    // What is there already must be a file we could read back: a folder, a
    // device, a file we may not read or one too large to read is left alone.
    const int existing = FileAccess::ReadRegularFile(path, FileAccess::kNoteLimit, static_cast<std::string*>(nullptr));
    if (existing != 0 && existing != ENOENT)
        return StatusOfFileError(existing);
    const QByteArray rtf = RTFWriteTextDocument(*host->Edit()->document());
    return StatusOfFileError(FileAccess::WriteAtomically(path, rtf.constData(), size_t(rtf.size())));
}

OSStatus TXNReadFromCFURL(TXNObject iTXNObject, TXNOffset iStartOffset, TXNOffset iEndOffset, CFDictionaryRef,
                          CFURLRef iFileURL, CFDictionaryRef* oDocumentAttributes)
{
    TextViewHost* host = AsTXN(iTXNObject);
    const std::string path = LocalPath(iFileURL);
    if (!host || path.empty() || !IsWholeText(iStartOffset, iEndOffset))
        return paramErr;
    if (oDocumentAttributes)
        *oDocumentAttributes = nullptr;
    std::vector<unsigned char> bytes;
    const int error = FileAccess::ReadRegularFile(path, FileAccess::kNoteLimit, &bytes);
    if (error != 0)
        return StatusOfFileError(error);
    HostedViewChange change(*host);
    if (!RTFReadTextDocument(bytes.data(), bytes.size(), *host->Edit()->document()))
        return kTXNDataTypeNotAllowedErr;
    return noErr;
}
