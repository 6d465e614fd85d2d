#include "HITheme.h"

#include "HIThemeQt.h"
#include "HIToolboxInternal.h"

#include <AppKit/NSFont.h>
#include <AppKit/NSTextDrawing.h>
#include <CoreGraphics/CGContextInternal.h>
#include <CoreGraphics/CGImageQt.h>

#include <QApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>
#include <QStyleFactory>
#include <QTextLayout>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>

// ---- style ----

QStyle* HIThemeGetStyle()
{
    // Made once and kept: a style outlives the windows drawn in it.
    static QStyle* style = nullptr;
    if (style == nullptr && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
        style = QStyleFactory::create(QStringLiteral("Fusion"));
    return style;
}

QPalette HIThemeGetPalette(bool active)
{
    QStyle* style = HIThemeGetStyle();
    QPalette palette = style ? style->standardPalette() : QPalette();
    palette.setCurrentColorGroup(active ? QPalette::Active : QPalette::Inactive);
    return palette;
}

void HIThemePaint(CGContextRef c, const CGRect& area, HIThemeOrientation orientation,
                  const std::function<void(QPainter&, QStyle&)>& paint)
{
    CGContextObject* context = CGContextObjectOf(c);
    QStyle* style = HIThemeGetStyle();
    if (context == nullptr || style == nullptr)
        return;
    const QRectF rect(area.origin.x, area.origin.y, area.size.width, area.size.height);
    QTransform userToQt = context->UserToQt();
    if (orientation == kHIThemeOrientationInverted)
        userToQt = QTransform(1, 0, 0, -1, 0, rect.top() + rect.bottom()) * userToQt;
    // A translucent context fades the control as a whole, not each of the
    // overlapping strokes the style paints it with.
    const bool group = context->state.alpha < 1;
    if (group)
        CGContextBeginTransparencyLayer(c, nullptr);
    CGPaintOperation operation;
    operation.paint = [&](QPainter& painter, const QTransform& qtToTarget) {
        painter.setTransform(userToQt * qtToTarget);
        painter.setRenderHint(QPainter::Antialiasing, CGContextAntialiases(context));
        painter.setRenderHint(QPainter::TextAntialiasing, CGContextAntialiases(context));
        paint(painter, *style);
    };
    operation.bounds = [&] { return userToQt.mapRect(rect.adjusted(-6, -6, 6, 6)); };
    CGContextPaint(context, operation);
    if (group)
        CGContextEndTransparencyLayer(c);
}

// ---- fonts ----

namespace {

struct ThemeFontSpec {
    ThemeFontID id;
    int size;
    bool bold;
};

constexpr ThemeFontSpec kThemeFonts[] = {
    {kThemeSystemFont, 13, false},
    {kThemeSmallSystemFont, 11, false},
    {kThemeSmallEmphasizedSystemFont, 11, true},
    {kThemeViewsFont, 12, false},
    {kThemeEmphasizedSystemFont, 13, true},
    {kThemeApplicationFont, 12, false},
    {kThemeLabelFont, 10, false},
    {kThemeSystemFontDetail, 10, false},
    {kThemeSystemFontDetailEmphasized, 10, true},
    {kThemeMenuTitleFont, 14, false},
    {kThemeMenuItemFont, 14, false},
    {kThemeMenuItemMarkFont, 14, false},
    {kThemeMenuItemCmdKeyFont, 14, false},
    {kThemeWindowTitleFont, 13, true},
    {kThemePushButtonFont, 13, false},
    {kThemeUtilityWindowTitleFont, 11, true},
    {kThemeAlertHeaderFont, 13, true},
    {kThemeToolbarFont, 11, false},
    {kThemeMiniSystemFont, 9, false},
    {kThemeCurrentPortFont, 12, false},
};

const ThemeFontSpec* FindThemeFont(ThemeFontID id)
{
    for (const ThemeFontSpec& spec : kThemeFonts)
        if (spec.id == id)
            return &spec;
    return nullptr;
}

// One family everywhere, so that controls look and measure the same on
// every machine; the desktop's when the bundled one is missing.
QString ThemeFamily()
{
    // The font database needs the GUI application; asked before there is
    // one, the answer is not kept.
    if (qGuiApp == nullptr)
        return QStringLiteral("DejaVu Sans");
    static const QString family = [] {
        const QString wanted = QStringLiteral("DejaVu Sans");
        if (QFontDatabase::families().contains(wanted))
            return wanted;
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return family;
}

}  // namespace

QFont HIThemeGetQFont(ThemeFontID fontID)
{
    const ThemeFontSpec* spec = FindThemeFont(fontID);
    if (spec == nullptr)
        spec = FindThemeFont(kThemeSystemFont);
    QFont font(ThemeFamily());
    font.setPixelSize(spec->size);
    font.setBold(spec->bold);
    return font;
}

NSFont* HIThemeGetNSFont(ThemeFontID fontID)
{
    return NSFont::fontWithQFont(HIThemeGetQFont(fontID));
}

OSStatus GetThemeFont(ThemeFontID inFontID, ScriptCode, Str255 outFontName, SInt16* outFontSize, Style* outStyle)
{
    const ThemeFontSpec* spec = FindThemeFont(inFontID);
    if (spec == nullptr || outFontSize == nullptr || outStyle == nullptr)
        return paramErr;
    if (outFontName) {
        const QByteArray utf8 = ThemeFamily().toUtf8();
        CFStringRef family = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8.constData()),
                                                     utf8.size(), kCFStringEncodingUTF8, false);
        if (family == nullptr || !CFStringGetPascalString(family, outFontName, 256, kCFStringEncodingMacRoman))
            outFontName[0] = 0;
        if (family)
            CFRelease(family);
    }
    *outFontSize = SInt16(spec->size);
    *outStyle = spec->bold ? bold : normal;
    return noErr;
}

// ---- text ----

namespace {

QString StringOf(CFTypeRef value)
{
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID())
        return QString();
    const CFStringRef s = static_cast<CFStringRef>(value);
    const CFIndex length = CFStringGetLength(s);
    QString out(static_cast<qsizetype>(length), Qt::Uninitialized);
    CFStringGetCharacters(s, CFRangeMake(0, length), reinterpret_cast<UniChar*>(out.data()));
    return out;
}

// Text set in a box: the lines as they are shown.
struct SetLines {
    QStringList lines;
    bool truncated = false;
    qreal width = 0;   // the widest line
    qreal height = 0;  // all lines
};

QStringList Paragraphs(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QChar('\r'), QChar('\n'));
    text.replace(QChar::LineSeparator, QChar('\n'));
    text.replace(QChar::ParagraphSeparator, QChar('\n'));
    return text.split(QChar('\n'));
}

// Breaks the text into lines `width` wide (0: one line per paragraph);
// with a truncation, at most `maxLines` lines (0: as many as fill
// `height`, when given), the last one ending in an ellipsis where the
// text goes on.
SetLines SetText(const QString& text, const QFont& font, qreal width, qreal height, HIThemeTextTruncation truncation,
                 UInt32 maxLines)
{
    SetLines out;
    const QFontMetricsF metrics(font);
    const qreal lineHeight = metrics.lineSpacing();
    // Each line with the text that follows it, for the line that ends early.
    struct Line {
        QString text;
        QString rest;
    };
    std::vector<Line> lines;
    const QStringList paragraphs = Paragraphs(text);
    for (qsizetype p = 0; p < paragraphs.size(); ++p) {
        QString following;
        for (qsizetype q = p + 1; q < paragraphs.size(); ++q)
            following += QChar(' ') + paragraphs[q];
        const QString& paragraph = paragraphs[p];
        if (width <= 0 || paragraph.isEmpty()) {
            lines.push_back({paragraph, paragraph + following});
            continue;
        }
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            const QString piece = paragraph.mid(line.textStart(), line.textLength());
            lines.push_back({piece, paragraph.mid(line.textStart()) + following});
        }
        layout.endLayout();
    }

    size_t limit = lines.size();
    if (truncation != kHIThemeTextTruncationNone) {
        if (maxLines > 0)
            limit = std::min<size_t>(limit, maxLines);
        else if (height > 0)
            limit = std::min<size_t>(limit, std::max<size_t>(1, size_t(std::floor((height + 0.01) / lineHeight))));
    }
    const Qt::TextElideMode mode = truncation == kHIThemeTextTruncationMiddle ? Qt::ElideMiddle : Qt::ElideRight;
    for (size_t i = 0; i < std::min(limit, lines.size()); ++i) {
        QString shown = lines[i].text;
        const bool last = i + 1 == limit;
        if (truncation != kHIThemeTextTruncationNone && last && limit < lines.size()) {
            // The text goes on past the last line: the line ends where it
            // must to show that.
            const QString rest = lines[i].rest.trimmed();
            shown = width > 0 ? metrics.elidedText(rest, mode, width) : shown.trimmed() + QChar(0x2026);
            out.truncated = true;
        } else if (truncation != kHIThemeTextTruncationNone && width > 0 && metrics.horizontalAdvance(shown) > width) {
            shown = metrics.elidedText(shown, mode, width);
            out.truncated = true;
        }
        while (shown.endsWith(QChar(' ')))
            shown.chop(1);
        out.lines << shown;
        out.width = std::max(out.width, metrics.horizontalAdvance(shown));
    }
    out.height = lineHeight * out.lines.size();
    return out;
}

HIThemeTextInfo PlainTextInfo(ThemeFontID font, ThemeDrawState state, HIThemeTextHorizontalFlush flush)
{
    HIThemeTextInfo info{};
    info.state = state;
    info.fontID = font;
    info.horizontalFlushness = flush;
    info.verticalFlushness = kHIThemeTextVerticalFlushTop;
    info.truncationPosition = kHIThemeTextTruncationNone;
    return info;
}

}  // namespace

OSStatus HIThemeDrawTextBox(CFTypeRef inString, const HIRect* inBounds, HIThemeTextInfo* inTextInfo,
                            CGContextRef inContext, HIThemeOrientation inOrientation)
{
    if (inTextInfo == nullptr || qGuiApp == nullptr)
        return HIThemeDrawTextBoxInFont(inString, inBounds, inTextInfo, QFont(), inContext, inOrientation);
    return HIThemeDrawTextBoxInFont(inString, inBounds, inTextInfo, HIThemeGetQFont(inTextInfo->fontID), inContext,
                                    inOrientation);
}

CGFloat HIThemeGetTextWidth(CFStringRef string, const QFont& font)
{
    if (qGuiApp == nullptr)
        return 0;
    return CGFloat(QFontMetricsF(font).horizontalAdvance(StringOf(string)));
}

OSStatus HIThemeDrawTextBoxInFont(CFTypeRef inString, const HIRect* inBounds, HIThemeTextInfo* inTextInfo,
                                  const QFont& font, CGContextRef inContext, HIThemeOrientation inOrientation)
{
    CGContextObject* context = CGContextObjectOf(inContext);
    if (inString == nullptr || CFGetTypeID(inString) != CFStringGetTypeID() || inBounds == nullptr ||
        inTextInfo == nullptr || context == nullptr)
        return paramErr;
    if (qGuiApp == nullptr)
        return noErr;
    const CGRect box = CGRectStandardize(*inBounds);
    const SetLines set = SetText(StringOf(inString), font, box.size.width, box.size.height,
                                 inTextInfo->truncationPosition, inTextInfo->truncationMaxLines);
    inTextInfo->truncationHappened = set.truncated;
    if (set.lines.isEmpty() || CGRectIsEmpty(box))
        return noErr;

    qreal offset = 0;  // from the box's top edge down to the text's
    if (inTextInfo->verticalFlushness == kHIThemeTextVerticalFlushCenter)
        offset = (box.size.height - set.height) / 2;
    else if (inTextInfo->verticalFlushness == kHIThemeTextVerticalFlushBottom)
        offset = box.size.height - set.height;
    const bool flipped = inOrientation != kHIThemeOrientationInverted;
    // The lines are broken already: the text system sets each as a line of
    // its own, in a rectangle tall enough that none is left out; the box
    // clips what does not fit.
    const qreal tall = set.height + QFontMetricsF(font).lineSpacing();
    const CGRect textRect =
        flipped ? CGRectMake(box.origin.x, CGFloat(box.origin.y + offset), box.size.width, CGFloat(tall))
                : CGRectMake(box.origin.x, CGFloat(CGRectGetMaxY(box) - offset - tall), box.size.width, CGFloat(tall));

    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    NSAttributeDictionary* attributes = NSAttributeDictionary::attributes();
    attributes->setFont(NSFont::fontWithQFont(font));
    const CGRGBA fill = context->state.fill;
    attributes->setForegroundColor(NSColor::colorWithCalibratedRed(fill.red, fill.green, fill.blue, fill.alpha));
    NSMutableParagraphStyle* paragraph = NSMutableParagraphStyle::paragraphStyle();
    paragraph->setAlignment(inTextInfo->horizontalFlushness == kHIThemeTextHorizontalFlushCenter ? NSCenterTextAlignment
                            : inTextInfo->horizontalFlushness == kHIThemeTextHorizontalFlushRight
                                ? NSRightTextAlignment
                                : NSLeftTextAlignment);
    paragraph->setLineBreakMode(NSLineBreakByClipping);
    attributes->setParagraphStyle(paragraph);

    const QByteArray utf8 = set.lines.join(QChar('\n')).toUtf8();
    NSString* shown = NSString::stringWithUTF8String(utf8.constData());
    CGContextSaveGState(inContext);
    CGContextClipToRect(inContext, box);
    NSGraphicsContext::saveGraphicsState();
    NSGraphicsContext::setCurrentContext(NSGraphicsContext::graphicsContextWithGraphicsPort(inContext, flipped));
    NSStringDrawing::drawInRect(shown, textRect, attributes);
    NSGraphicsContext::restoreGraphicsState();
    CGContextRestoreGState(inContext);
    pool->drain();
    return noErr;
}

OSStatus HIThemeGetTextDimensions(CFTypeRef inString, CGFloat inWidth, HIThemeTextInfo* inTextInfo, CGFloat* outWidth,
                                  CGFloat* outHeight, CGFloat* outBaseline)
{
    if (inString == nullptr || CFGetTypeID(inString) != CFStringGetTypeID() || inTextInfo == nullptr)
        return paramErr;
    if (qGuiApp == nullptr)
        return noErr;
    const QFont font = HIThemeGetQFont(inTextInfo->fontID);
    const SetLines set = SetText(StringOf(inString), font, std::max<CGFloat>(inWidth, 0), 0,
                                 inTextInfo->truncationPosition, inTextInfo->truncationMaxLines);
    inTextInfo->truncationHappened = set.truncated;
    if (outWidth)
        *outWidth = CGFloat(std::ceil(set.width));
    if (outHeight)
        *outHeight = CGFloat(set.height);
    if (outBaseline)
        *outBaseline = -CGFloat(QFontMetricsF(font).descent());
    return noErr;
}

OSStatus DrawThemeTextBox(CFStringRef inString, ThemeFontID inFontID, ThemeDrawState inState, Boolean inWrapToWidth,
                          const Rect* inBoundingBox, SInt16 inJust, CGContextRef inContext)
{
    if (inBoundingBox == nullptr)
        return paramErr;
    HIThemeTextInfo info = PlainTextInfo(inFontID, inState,
                                         inJust == teCenter       ? kHIThemeTextHorizontalFlushCenter
                                         : inJust == teFlushRight ? kHIThemeTextHorizontalFlushRight
                                                                  : kHIThemeTextHorizontalFlushLeft);
    const CGFloat width = inBoundingBox->right - inBoundingBox->left;
    CGRect box = CGRectMake(inBoundingBox->left, inBoundingBox->top, width, inBoundingBox->bottom - inBoundingBox->top);
    if (!inWrapToWidth) {
        // Unwrapped lines may run past the box's right edge, as they are
        // drawn from its left (or centred on it, or ending at its right).
        CGFloat textWidth = 0;
        HIThemeGetTextDimensions(inString, 0, &info, &textWidth, nullptr, nullptr);
        if (textWidth > width) {
            const CGFloat grow = textWidth - width;
            box.origin.x -= info.horizontalFlushness == kHIThemeTextHorizontalFlushCenter  ? grow / 2
                            : info.horizontalFlushness == kHIThemeTextHorizontalFlushRight ? grow
                                                                                           : 0;
            box.size.width = textWidth;
        }
    }
    return HIThemeDrawTextBox(inString, &box, &info, inContext, kHIThemeOrientationNormal);
}

OSStatus GetThemeTextDimensions(CFStringRef inString, ThemeFontID inFontID, ThemeDrawState inState,
                                Boolean inWrapToWidth, Point* ioBounds, SInt16* outBaseline)
{
    if (ioBounds == nullptr)
        return paramErr;
    HIThemeTextInfo info = PlainTextInfo(inFontID, inState, kHIThemeTextHorizontalFlushLeft);
    CGFloat width = 0, height = 0, baseline = 0;
    const OSStatus status =
        HIThemeGetTextDimensions(inString, inWrapToWidth ? CGFloat(ioBounds->h) : 0, &info, &width, &height, &baseline);
    if (status != noErr)
        return status;
    ioBounds->h = SInt16(std::lround(std::ceil(width)));
    ioBounds->v = SInt16(std::lround(std::ceil(height)));
    if (outBaseline)
        *outBaseline = SInt16(std::lround(baseline));
    return noErr;
}

// ---- colours ----

namespace {

struct BrushColor {
    ThemeBrush brush;
    CGFloat red, green, blue, alpha;
};

constexpr BrushColor kBrushes[] = {
    {kThemeBrushAlternatePrimaryHighlightColor, 0.22f, 0.46f, 0.84f, 1},
    {kThemeBrushSecondaryHighlightColor, 0.83f, 0.83f, 0.83f, 1},
    {kThemeBrushPrimaryHighlightColor, 0.71f, 0.84f, 1.0f, 1},
    {kThemeBrushWhite, 1, 1, 1, 1},
    {kThemeBrushBlack, 0, 0, 0, 1},
    {kThemeBrushDialogBackgroundActive, 0.93f, 0.93f, 0.93f, 1},
    {kThemeBrushDialogBackgroundInactive, 0.96f, 0.96f, 0.96f, 1},
    {kThemeBrushAlertBackgroundActive, 0.93f, 0.93f, 0.93f, 1},
    {kThemeBrushAlertBackgroundInactive, 0.96f, 0.96f, 0.96f, 1},
    {kThemeBrushModelessDialogBackgroundActive, 0.93f, 0.93f, 0.93f, 1},
    {kThemeBrushModelessDialogBackgroundInactive, 0.96f, 0.96f, 0.96f, 1},
    {kThemeBrushUtilityWindowBackgroundActive, 0.93f, 0.93f, 0.93f, 1},
    {kThemeBrushUtilityWindowBackgroundInactive, 0.96f, 0.96f, 0.96f, 1},
    {kThemeBrushListViewSortColumnBackground, 0.93f, 0.95f, 0.98f, 1},
    {kThemeBrushListViewBackground, 1, 1, 1, 1},
    {kThemeBrushIconLabelBackground, 1, 1, 1, 1},
    {kThemeBrushListViewSeparator, 0.85f, 0.85f, 0.85f, 1},
    {kThemeBrushChasingArrows, 0, 0, 0, 1},
    {kThemeBrushDragHilite, 0.46f, 0.6f, 0.85f, 1},
    {kThemeBrushDocumentWindowBackground, 1, 1, 1, 1},
    {kThemeBrushFinderWindowBackground, 1, 1, 1, 1},
    {kThemeBrushFocusHighlight, 0.49f, 0.64f, 0.85f, 1},
    {kThemeBrushPopupArrowActive, 0, 0, 0, 1},
    {kThemeBrushPopupArrowPressed, 0, 0, 0, 1},
    {kThemeBrushPopupArrowInactive, 0.5f, 0.5f, 0.5f, 1},
    {kThemeBrushIconLabelBackgroundSelected, 0.22f, 0.46f, 0.84f, 1},
    {kThemeBrushStaticAreaFill, 0.93f, 0.93f, 0.93f, 1},
    {kThemeBrushActiveAreaFill, 1, 1, 1, 1},
    {kThemeBrushButtonFrameActive, 0.4f, 0.4f, 0.4f, 1},
    {kThemeBrushButtonFrameInactive, 0.6f, 0.6f, 0.6f, 1},
    {kThemeBrushButtonFaceActive, 0.98f, 0.98f, 0.98f, 1},
    {kThemeBrushButtonFaceInactive, 0.93f, 0.93f, 0.93f, 1},
    {kThemeBrushButtonFacePressed, 0.75f, 0.75f, 0.75f, 1},
    {kThemeBrushAlternatingRowBackground, 0.93f, 0.95f, 1.0f, 1},
};

const BrushColor* FindBrush(ThemeBrush brush)
{
    for (const BrushColor& color : kBrushes)
        if (color.brush == brush)
            return &color;
    return nullptr;
}

}  // namespace

OSStatus HIThemeSetFill(ThemeBrush inBrush, void*, CGContextRef inContext, HIThemeOrientation)
{
    if (CGContextObjectOf(inContext) == nullptr)
        return paramErr;
    const BrushColor* color = FindBrush(inBrush);
    if (color == nullptr)
        return themeInvalidBrushErr;
    CGContextSetRGBFillColor(inContext, color->red, color->green, color->blue, color->alpha);
    return noErr;
}

OSStatus HIThemeSetStroke(ThemeBrush inBrush, void*, CGContextRef inContext, HIThemeOrientation)
{
    if (CGContextObjectOf(inContext) == nullptr)
        return paramErr;
    const BrushColor* color = FindBrush(inBrush);
    if (color == nullptr)
        return themeInvalidBrushErr;
    CGContextSetRGBStrokeColor(inContext, color->red, color->green, color->blue, color->alpha);
    return noErr;
}

OSStatus HIThemeBrushCreateCGColor(ThemeBrush inBrush, CGColorRef* outColor)
{
    if (outColor == nullptr)
        return paramErr;
    const BrushColor* color = FindBrush(inBrush);
    if (color == nullptr)
        return themeInvalidBrushErr;
    *outColor = CGColorCreateGenericRGB(color->red, color->green, color->blue, color->alpha);
    return noErr;
}

// ---- shapes ----

OSStatus HIThemeDrawFocusRect(const HIRect* inRect, Boolean inHasFocus, CGContextRef inContext, HIThemeOrientation)
{
    if (inRect == nullptr || CGContextObjectOf(inContext) == nullptr)
        return paramErr;
    if (!inHasFocus)
        return noErr;
    // A soft ring three points wide just outside the rectangle.
    const BrushColor* color = FindBrush(kThemeBrushFocusHighlight);
    CGContextSaveGState(inContext);
    CGContextSetRGBStrokeColor(inContext, color->red, color->green, color->blue, 0.8f);
    CGContextSetLineWidth(inContext, 3);
    CGContextStrokeRect(inContext, CGRectInset(CGRectStandardize(*inRect), -1.5f, -1.5f));
    CGContextRestoreGState(inContext);
    return noErr;
}

OSStatus HIThemeDrawPopupArrow(const HIRect* inBounds, const HIThemePopupArrowDrawInfo* inDrawInfo,
                               CGContextRef inContext, HIThemeOrientation inOrientation)
{
    if (inBounds == nullptr || inDrawInfo == nullptr || CGContextObjectOf(inContext) == nullptr)
        return paramErr;
    // The arrow's base and its height, by size.
    const CGFloat base = inDrawInfo->size == kThemeArrow5pt ? 5 : inDrawInfo->size == kThemeArrow9pt ? 9 : 7;
    const CGFloat height = std::ceil(base / 2);
    const CGRect bounds = CGRectStandardize(*inBounds);
    const CGFloat cx = CGRectGetMidX(bounds), cy = CGRectGetMidY(bounds);
    ThemeArrowOrientation direction = inDrawInfo->orientation;
    // Up and down swap in a y-up space.
    if (inOrientation == kHIThemeOrientationInverted && (direction == kThemeArrowUp || direction == kThemeArrowDown))
        direction = direction == kThemeArrowUp ? kThemeArrowDown : kThemeArrowUp;
    CGPoint p[3];
    switch (direction) {
    case kThemeArrowUp:
        p[0] = CGPointMake(cx - base / 2, cy + height / 2);
        p[1] = CGPointMake(cx + base / 2, cy + height / 2);
        p[2] = CGPointMake(cx, cy - height / 2);
        break;
    case kThemeArrowLeft:
        p[0] = CGPointMake(cx + height / 2, cy - base / 2);
        p[1] = CGPointMake(cx + height / 2, cy + base / 2);
        p[2] = CGPointMake(cx - height / 2, cy);
        break;
    case kThemeArrowRight:
        p[0] = CGPointMake(cx - height / 2, cy - base / 2);
        p[1] = CGPointMake(cx - height / 2, cy + base / 2);
        p[2] = CGPointMake(cx + height / 2, cy);
        break;
    default:  // down
        p[0] = CGPointMake(cx - base / 2, cy - height / 2);
        p[1] = CGPointMake(cx + base / 2, cy - height / 2);
        p[2] = CGPointMake(cx, cy + height / 2);
        break;
    }
    const ThemeBrush brush = inDrawInfo->state == kThemeStateInactive || inDrawInfo->state == kThemeStateUnavailable ||
                                     inDrawInfo->state == kThemeStateUnavailableInactive
                                 ? kThemeBrushPopupArrowInactive
                             : inDrawInfo->state == kThemeStatePressed ? kThemeBrushPopupArrowPressed
                                                                       : kThemeBrushPopupArrowActive;
    CGContextSaveGState(inContext);
    HIThemeSetFill(brush, nullptr, inContext, inOrientation);
    CGContextBeginPath(inContext);
    CGContextAddLines(inContext, p, 3);
    CGContextClosePath(inContext);
    CGContextFillPath(inContext);
    CGContextRestoreGState(inContext);
    return noErr;
}

// ---- icons ----

OSStatus PlotIconRefInContext(CGContextRef inContext, const CGRect* inRect, IconAlignmentType inAlign,
                              IconTransformType inTransform, const RGBColor*, PlotIconRefFlags inFlags,
                              IconRef inIconRef)
{
    if (inRect == nullptr || CGContextObjectOf(inContext) == nullptr || !IsValidIconRef(inIconRef))
        return paramErr;
    const CGRect rect = CGRectStandardize(*inRect);
    const CGFloat side = std::min(rect.size.width, rect.size.height);
    if (side <= 0 || (inFlags & kPlotIconRefNoImage))
        return noErr;
    // The pixels the square covers on the device.
    const CGAffineTransform ctm = CGContextGetCTM(inContext);
    const CGFloat scale = std::sqrt(std::fabs(ctm.a * ctm.d - ctm.b * ctm.c));
    const size_t pixels = size_t(std::max<CGFloat>(1, std::ceil(side * std::max<CGFloat>(scale, 1))));
    CGImageRef image = IconRefCreateCGImage(inIconRef, pixels, nullptr);
    if (image == nullptr)
        return noErr;
    CGFloat x = rect.origin.x + (rect.size.width - side) / 2;
    CGFloat y = rect.origin.y + (rect.size.height - side) / 2;
    const int horizontal = inAlign & 0x0C, vertical = inAlign & 0x03;
    if (horizontal == kAlignLeft)
        x = rect.origin.x;
    else if (horizontal == kAlignRight)
        x = CGRectGetMaxX(rect) - side;
    // y up: the top is the larger y.
    if (vertical == kAlignTop)
        y = CGRectGetMaxY(rect) - side;
    else if (vertical == kAlignBottom)
        y = rect.origin.y;
    const CGRect square = CGRectMake(x, y, side, side);
    const IconTransformType state = inTransform & 0xFF;
    CGContextSaveGState(inContext);
    if (state == kTransformDisabled || state == kTransformOffline)
        CGContextSetAlpha(inContext, 0.5f);
    CGContextDrawImage(inContext, square, image);
    if (inTransform & kTransformSelected) {
        // Selected icons are darkened where they have ink.
        CGContextClipToMask(inContext, square, image);
        CGContextSetRGBFillColor(inContext, 0, 0, 0, 0.35f);
        CGContextFillRect(inContext, square);
    }
    CGContextRestoreGState(inContext);
    CGImageRelease(image);
    return noErr;
}

// ---- cursors ----

namespace {

ThemeCursor gCurrentCursor = kThemeArrowCursor;

bool CursorShape(ThemeCursor cursor, Qt::CursorShape* shape)
{
    static constexpr Qt::CursorShape kShapes[] = {
        Qt::ArrowCursor,         // arrow
        Qt::DragCopyCursor,      // copy arrow
        Qt::DragLinkCursor,      // alias arrow
        Qt::ArrowCursor,         // contextual menu arrow
        Qt::IBeamCursor,         // I-beam
        Qt::CrossCursor,         // cross
        Qt::CrossCursor,         // plus
        Qt::WaitCursor,          // watch
        Qt::ClosedHandCursor,    // closed hand
        Qt::OpenHandCursor,      // open hand
        Qt::PointingHandCursor,  // pointing hand
        Qt::BusyCursor,          // counting up
        Qt::BusyCursor,          // counting down
        Qt::BusyCursor,          // counting up and down
        Qt::WaitCursor,          // spinning
        Qt::SizeHorCursor,       // resize left
        Qt::SizeHorCursor,       // resize right
        Qt::SplitHCursor,        // resize left and right
        Qt::ForbiddenCursor,     // not allowed
        Qt::SizeVerCursor,       // resize up
        Qt::SizeVerCursor,       // resize down
        Qt::SplitVCursor,        // resize up and down
        Qt::ForbiddenCursor,     // poof
    };
    if (cursor >= std::size(kShapes))
        return false;
    *shape = kShapes[cursor];
    return true;
}

}  // namespace

OSStatus SetThemeCursor(ThemeCursor inCursor)
{
    Qt::CursorShape shape;
    if (!CursorShape(inCursor, &shape))
        return paramErr;
    gCurrentCursor = inCursor;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return noErr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (HIWindowFromWidget(widget) != nullptr)
            widget->setCursor(QCursor(shape));
    return noErr;
}

ThemeCursor HIThemeGetCurrentCursor()
{
    return gCurrentCursor;
}
