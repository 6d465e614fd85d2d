#include "NSTextDrawing.h"

#include <CoreGraphics/CGContextInternal.h>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QTextLayout>

#include <cmath>
#include <list>
#include <memory>
#include <vector>

namespace {

QFont SystemFont()
{
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}

}  // namespace

// ---- NSShadow ----

NSShadow::NSShadow() : color_(NSColor::newWithCalibratedRed(0, 0, 0, 1.0f / 3)) {}

NSShadow::~NSShadow()
{
    color_->release();
}

NSShadow* NSShadow::newShadow()
{
    return new NSShadow();
}

NSShadow* NSShadow::shadow()
{
    return NSAutorelease(newShadow());
}

void NSShadow::setShadowColor(NSColor* color)
{
    if (color == nullptr)
        return;
    color->retain();
    color_->release();
    color_ = color;
}

namespace {

void SetShadow(CGContextRef context, const NSShadow* shadow)
{
    const NSColor* c = shadow->shadowColor();
    CGColorRef color =
        CGColorCreateGenericRGB(c->redComponent(), c->greenComponent(), c->blueComponent(), c->alphaComponent());
    CGContextSetShadowWithColor(context, shadow->shadowOffset(), shadow->shadowBlurRadius(), color);
    CGColorRelease(color);
}

}  // namespace

void NSShadow::set() const
{
    if (NSGraphicsContext* context = NSGraphicsContext::currentContext())
        SetShadow(context->graphicsPort(), this);
}

// ---- paragraph styles ----

NSParagraphStyle* NSParagraphStyle::defaultParagraphStyle()
{
    static NSParagraphStyle* const style = new NSParagraphStyle();
    return style;
}

NSMutableParagraphStyle* NSParagraphStyle::mutableCopy() const
{
    auto* copy = new NSMutableParagraphStyle();
    copy->alignment_ = alignment_;
    copy->lineBreakMode_ = lineBreakMode_;
    return copy;
}

NSMutableParagraphStyle* NSMutableParagraphStyle::newParagraphStyle()
{
    return new NSMutableParagraphStyle();
}

NSMutableParagraphStyle* NSMutableParagraphStyle::paragraphStyle()
{
    return NSAutorelease(newParagraphStyle());
}

// ---- attributes ----

namespace {

template <typename T>
void Exchange(T*& slot, T* value)
{
    if (value)
        value->retain();
    if (slot)
        slot->release();
    slot = value;
}

}  // namespace

NSAttributeDictionary* NSAttributeDictionary::newAttributes()
{
    return new NSAttributeDictionary();
}

NSAttributeDictionary* NSAttributeDictionary::attributes()
{
    return NSAutorelease(newAttributes());
}

NSAttributeDictionary* NSAttributeDictionary::mutableCopy() const
{
    NSAttributeDictionary* copy = newAttributes();
    copy->setFont(font_);
    copy->setForegroundColor(foregroundColor_);
    copy->setParagraphStyle(paragraphStyle_);
    copy->setShadow(shadow_);
    return copy;
}

NSAttributeDictionary::~NSAttributeDictionary()
{
    Exchange<NSFont>(font_, nullptr);
    Exchange<NSColor>(foregroundColor_, nullptr);
    Exchange<NSParagraphStyle>(paragraphStyle_, nullptr);
    Exchange<NSShadow>(shadow_, nullptr);
}

void NSAttributeDictionary::setFont(NSFont* font)
{
    Exchange(font_, font);
}

void NSAttributeDictionary::setForegroundColor(NSColor* color)
{
    Exchange(foregroundColor_, color);
}

void NSAttributeDictionary::setParagraphStyle(NSParagraphStyle* style)
{
    Exchange(paragraphStyle_, style);
}

void NSAttributeDictionary::setShadow(NSShadow* shadow)
{
    Exchange(shadow_, shadow);
}

// ---- graphics contexts ----

namespace {

thread_local NSGraphicsContext* tCurrentContext = nullptr;    // retained
thread_local std::vector<NSGraphicsContext*> tSavedContexts;  // retained (nil allowed)

}  // namespace

NSGraphicsContext::NSGraphicsContext(CGContextRef port, bool flipped) : port_(CGContextRetain(port)), flipped_(flipped)
{}

NSGraphicsContext::~NSGraphicsContext()
{
    CGContextRelease(port_);
}

NSGraphicsContext* NSGraphicsContext::newWithGraphicsPort(CGContextRef port, bool flipped)
{
    return port ? new NSGraphicsContext(port, flipped) : nullptr;
}

NSGraphicsContext* NSGraphicsContext::graphicsContextWithGraphicsPort(CGContextRef port, bool flipped)
{
    return NSAutorelease(newWithGraphicsPort(port, flipped));
}

NSGraphicsContext* NSGraphicsContext::currentContext()
{
    return tCurrentContext;
}

void NSGraphicsContext::setCurrentContext(NSGraphicsContext* context)
{
    if (context)
        context->retain();
    if (tCurrentContext)
        tCurrentContext->release();
    tCurrentContext = context;
}

void NSGraphicsContext::saveGraphicsState()
{
    if (tCurrentContext) {
        tCurrentContext->retain();
        CGContextSaveGState(tCurrentContext->port_);
    }
    tSavedContexts.push_back(tCurrentContext);
}

void NSGraphicsContext::restoreGraphicsState()
{
    if (tSavedContexts.empty())
        return;
    NSGraphicsContext* context = tSavedContexts.back();
    tSavedContexts.pop_back();
    setCurrentContext(context);
    if (context) {
        CGContextRestoreGState(context->port_);
        context->release();
    }
}

// ---- laying text out ----

namespace {

struct TextStyle {
    QFont font;
    QColor color = Qt::black;
    NSTextAlignment alignment = NSNaturalTextAlignment;
    NSLineBreakMode lineBreak = NSLineBreakByWordWrapping;
    const NSShadow* shadow = nullptr;
};

TextStyle StyleOf(const NSAttributeDictionary* attributes)
{
    TextStyle style;
    NSFont* font = attributes ? attributes->font() : nullptr;
    if (font) {
        style.font = font->qFont();
    } else {
        // The text system's default: Helvetica 12, or the system's font.
        const std::optional<QFont> helvetica = CGFontNamed("Helvetica");
        style.font = helvetica ? *helvetica : SystemFont();
        style.font.setPixelSize(12);
    }
    if (attributes && attributes->foregroundColor())
        style.color = attributes->foregroundColor()->qColor();
    if (attributes && attributes->paragraphStyle()) {
        style.alignment = attributes->paragraphStyle()->alignment();
        style.lineBreak = attributes->paragraphStyle()->lineBreakMode();
    }
    if (attributes)
        style.shadow = attributes->shadow();
    return style;
}

// Line ends of every kind become Qt's line separator: each paragraph of
// the text system starts a new line.
QString TextOf(CFStringRef text)
{
    QString s = CGStringToQt(text);
    s.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    s.replace(QChar('\n'), QChar::LineSeparator);
    s.replace(QChar('\r'), QChar::LineSeparator);
    s.replace(QChar::ParagraphSeparator, QChar::LineSeparator);
    return s;
}

// A text laid out in a width: its lines, and where each one ends.
struct Lines {
    std::unique_ptr<QTextLayout> layout;
    std::vector<qreal> bottoms;
    qreal widest = 0;  // the widest line's text
};

struct LaidOutText {
    std::shared_ptr<const Lines> lines;
    int fittingLines = 0;  // lines whose whole height fits
    qreal widest = 0;
    qreal height = 0;  // all lines
    qreal fittingHeight = 0;
};

constexpr qreal kUnlimited = 1e7;

// In `width` (kUnlimited: no wrapping).
std::shared_ptr<const Lines> BreakLines(const QString& text, const TextStyle& style, qreal width)
{
    auto out = std::make_shared<Lines>();
    const bool unlimited = width >= kUnlimited;
    const bool oneLinePerParagraph = unlimited || style.lineBreak >= NSLineBreakByClipping;
    QString shown = text;
    if (!unlimited && style.lineBreak >= NSLineBreakByTruncatingHead) {
        const Qt::TextElideMode mode = style.lineBreak == NSLineBreakByTruncatingHead   ? Qt::ElideLeft
                                       : style.lineBreak == NSLineBreakByTruncatingTail ? Qt::ElideRight
                                                                                        : Qt::ElideMiddle;
        const QFontMetricsF metrics(style.font, CGPointResolutionDevice());
        QStringList paragraphs = shown.split(QChar::LineSeparator);
        for (QString& paragraph : paragraphs)
            paragraph = metrics.elidedText(paragraph, mode, width);
        shown = paragraphs.join(QChar::LineSeparator);
    }
    out->layout = std::make_unique<QTextLayout>(shown, style.font, CGPointResolutionDevice());
    QTextOption option;
    Qt::Alignment alignment = Qt::AlignLeft;
    if (!unlimited) {
        if (style.alignment == NSRightTextAlignment)
            alignment = Qt::AlignRight;
        else if (style.alignment == NSCenterTextAlignment)
            alignment = Qt::AlignHCenter;
        else if (style.alignment == NSJustifiedTextAlignment)
            alignment = Qt::AlignJustify;
    }
    option.setAlignment(alignment);
    option.setWrapMode(oneLinePerParagraph                            ? QTextOption::NoWrap
                       : style.lineBreak == NSLineBreakByCharWrapping ? QTextOption::WrapAnywhere
                                                                      : QTextOption::WrapAtWordBoundaryOrAnywhere);
    out->layout->setTextOption(option);
    out->layout->setCacheEnabled(true);
    out->layout->beginLayout();
    qreal height = 0;
    for (;;) {
        QTextLine line = out->layout->createLine();
        if (!line.isValid())
            break;
        line.setLeadingIncluded(true);
        line.setLineWidth(std::max(width, 0.0));
        line.setPosition(QPointF(0, height));
        height += line.height();
        out->bottoms.push_back(height);
        out->widest = std::max(out->widest, line.naturalTextWidth());
    }
    out->layout->endLayout();
    return out;
}

// The texts laid out last on this thread: a row's text is measured, then
// drawn, and the labels of a card's rows repeat. A text is found again only
// for the same characters, font, style and width.
struct LinesKey {
    QString text;
    QFont font;
    NSTextAlignment alignment;
    NSLineBreakMode lineBreak;
    qreal width;

    bool operator==(const LinesKey& other) const
    {
        return width == other.width && alignment == other.alignment && lineBreak == other.lineBreak &&
               text == other.text && font == other.font;
    }
};

constexpr size_t kRememberedLayouts = 32;
thread_local std::list<std::pair<LinesKey, std::shared_ptr<const Lines>>> tRememberedLayouts;
// The fonts' generation the remembered texts were laid out in.
thread_local unsigned tRememberedGeneration = 0;

std::shared_ptr<const Lines> LinesFor(const QString& text, const TextStyle& style, qreal width)
{
    if (const unsigned generation = CGFontGeneration(); generation != tRememberedGeneration) {
        tRememberedLayouts.clear();
        tRememberedGeneration = generation;
    }
    LinesKey key{text, style.font, style.alignment, style.lineBreak, width};
    for (auto entry = tRememberedLayouts.begin(); entry != tRememberedLayouts.end(); ++entry) {
        if (entry->first == key) {
            tRememberedLayouts.splice(tRememberedLayouts.begin(), tRememberedLayouts, entry);
            return entry->second;
        }
    }
    std::shared_ptr<const Lines> lines = BreakLines(text, style, width);
    tRememberedLayouts.emplace_front(std::move(key), lines);
    if (tRememberedLayouts.size() > kRememberedLayouts)
        tRememberedLayouts.pop_back();
    return lines;
}

// In `width` (kUnlimited: no wrapping) and, for the lines that count as
// fitting, `height`.
LaidOutText LayOut(const QString& text, const TextStyle& style, qreal width, qreal height)
{
    LaidOutText out;
    out.lines = LinesFor(text, style, width);
    out.widest = out.lines->widest;
    out.height = out.lines->bottoms.empty() ? 0 : out.lines->bottoms.back();
    for (const qreal bottom : out.lines->bottoms) {
        if (bottom > height + 1e-3)
            break;
        ++out.fittingLines;
        out.fittingHeight = bottom;
    }
    return out;
}

// Draws the first `lines` lines, their layout placed in user space by
// `textToUser`, into the Cocoa context.
void DrawLaidOut(NSGraphicsContext* graphics, const LaidOutText& laid, int lines, const TextStyle& style,
                 const QTransform& textToUser, bool clipToWidth, qreal width)
{
    CGContextRef port = graphics->graphicsPort();
    CGContextObject* context = CGContextObjectOf(port);
    if (context == nullptr || lines <= 0)
        return;
    QList<QGlyphRun> runs;
    qreal bottom = 0;
    // Where the glyphs go: each run's advances over its line's height (the
    // glyphs' overhang is the slack below), not the whole width of the box.
    QRectF inked;
    for (int i = 0; i < lines; ++i) {
        const QTextLine line = laid.lines->layout->lineAt(i);
        const QList<QGlyphRun> lineRuns = line.glyphRuns();
        for (const QGlyphRun& run : lineRuns)
            inked |= run.boundingRect();
        runs += lineRuns;
        bottom = line.y() + line.height();
    }
    if (runs.isEmpty())
        return;
    CGContextSaveGState(port);
    if (style.shadow)
        SetShadow(port, style.shadow);
    const QTransform textToQt = textToUser * context->UserToQt();
    const QRectF area = clipToWidth ? QRectF(0, 0, width, bottom) : laid.lines->layout->boundingRect();
    CGPaintOperation operation;
    operation.paint = [&](QPainter& painter, const QTransform& qtToTarget) {
        painter.setRenderHint(QPainter::TextAntialiasing, CGContextAntialiases(context));
        painter.setTransform(textToQt * qtToTarget);
        if (clipToWidth)
            painter.setClipRect(area, Qt::IntersectClip);
        painter.setPen(style.color);
        for (const QGlyphRun& run : runs)
            painter.drawGlyphRun(QPointF(0, 0), run);
    };
    // Glyphs may reach a little past their line boxes.
    const qreal slack = QFontMetricsF(style.font, CGPointResolutionDevice()).height() / 2 + 2;
    operation.bounds = [&] { return textToQt.mapRect((area & inked).adjusted(-slack, -slack, slack, slack)); };
    CGContextPaint(context, operation);
    CGContextRestoreGState(port);
}

// Text space (y down from the top of the text) to user space, for text
// whose top-left corner is at (x, top) in a flipped context, or at (x,
// top) with y up in an unflipped one.
QTransform TextToUser(const NSGraphicsContext* graphics, qreal x, qreal top)
{
    return graphics->isFlipped() ? QTransform::fromTranslate(x, top) : QTransform(1, 0, 0, -1, x, top);
}

}  // namespace

namespace NSStringDrawing {

void drawInRect(CFStringRef text, NSRect rect, const NSAttributeDictionary* attributes)
{
    NSGraphicsContext* graphics = NSGraphicsContext::currentContext();
    if (graphics == nullptr || !CGHaveFonts() || CGRectIsEmpty(rect))
        return;
    const CGRect r = CGRectStandardize(rect);
    const TextStyle style = StyleOf(attributes);
    const LaidOutText laid = LayOut(TextOf(text), style, r.size.width, r.size.height);
    const qreal top = graphics->isFlipped() ? r.origin.y : r.origin.y + r.size.height;
    DrawLaidOut(graphics, laid, laid.fittingLines, style, TextToUser(graphics, r.origin.x, top),
                style.lineBreak == NSLineBreakByClipping, r.size.width);
}

void drawInRect(const NSString* text, NSRect rect, const NSAttributeDictionary* attributes)
{
    if (text)
        drawInRect(text->cfString(), rect, attributes);
}

void drawAtPoint(CFStringRef text, NSPoint point, const NSAttributeDictionary* attributes)
{
    NSGraphicsContext* graphics = NSGraphicsContext::currentContext();
    if (graphics == nullptr || !CGHaveFonts())
        return;
    const TextStyle style = StyleOf(attributes);
    const LaidOutText laid = LayOut(TextOf(text), style, kUnlimited, kUnlimited);
    const qreal top = graphics->isFlipped() ? point.y : point.y + laid.height;
    DrawLaidOut(graphics, laid, laid.lines->layout->lineCount(), style, TextToUser(graphics, point.x, top), false, 0);
}

void drawAtPoint(const NSString* text, NSPoint point, const NSAttributeDictionary* attributes)
{
    if (text)
        drawAtPoint(text->cfString(), point, attributes);
}

NSSize sizeWithAttributes(CFStringRef text, const NSAttributeDictionary* attributes)
{
    if (!CGHaveFonts())
        return CGSizeZero;
    const LaidOutText laid = LayOut(TextOf(text), StyleOf(attributes), kUnlimited, kUnlimited);
    return CGSizeMake(CGFloat(laid.widest), CGFloat(laid.height));
}

NSSize sizeWithAttributes(const NSString* text, const NSAttributeDictionary* attributes)
{
    return text ? sizeWithAttributes(text->cfString(), attributes) : CGSizeZero;
}

NSRect boundingRectWithSize(CFStringRef text, NSSize size, NSStringDrawingOptions options,
                            const NSAttributeDictionary* attributes)
{
    if (!CGHaveFonts())
        return CGRectZero;
    const TextStyle style = StyleOf(attributes);
    if (options & NSStringDrawingUsesLineFragmentOrigin) {
        const qreal width = size.width > 0 ? size.width : kUnlimited;
        const LaidOutText laid = LayOut(TextOf(text), style, std::min<qreal>(width, kUnlimited), kUnlimited);
        return CGRectMake(0, 0, CGFloat(laid.widest), CGFloat(laid.height));
    }
    QString first = TextOf(text);
    first = first.left(first.indexOf(QChar::LineSeparator) < 0 ? first.size() : first.indexOf(QChar::LineSeparator));
    const LaidOutText laid = LayOut(first, style, kUnlimited, kUnlimited);
    const qreal descent = laid.lines->layout->lineCount() ? laid.lines->layout->lineAt(0).descent() : 0;
    return CGRectMake(0, -CGFloat(descent), CGFloat(laid.widest), CGFloat(laid.height));
}

}  // namespace NSStringDrawing

void NSTextDrawInContainer(CFStringRef text, const NSAttributeDictionary* attributes, NSSize containerSize,
                           NSPoint origin)
{
    NSGraphicsContext* graphics = NSGraphicsContext::currentContext();
    if (graphics == nullptr || !CGHaveFonts())
        return;
    const TextStyle style = StyleOf(attributes);
    const qreal width = containerSize.width > 0 ? std::min<qreal>(containerSize.width, kUnlimited) : kUnlimited;
    const qreal height = containerSize.height > 0 ? qreal(containerSize.height) : kUnlimited;
    const LaidOutText laid = LayOut(TextOf(text), style, width, height);
    DrawLaidOut(graphics, laid, laid.fittingLines, style, TextToUser(graphics, origin.x, origin.y), false, 0);
}
