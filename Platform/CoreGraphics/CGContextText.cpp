// Quartz's own text drawing: glyph outlines placed by the text matrix.
#include "CGContextInternal.h"

#include <CoreFoundation/CFStringUTF8.h>

#include <QFontDatabase>
#include <QGuiApplication>
#include <QRawFont>
#include <QThread>

#include <atomic>

struct CGFontObject final : CFRuntimeObject {
    explicit CGFontObject(QFont qtFont) : CFRuntimeObject(CGFontGetTypeID()), font(std::move(qtFont)) {}
    const QFont font;
};

namespace {

const CGFontObject* AsFont(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != CGFontGetTypeID())
        return nullptr;
    return static_cast<const CGFontObject*>(CFRuntimeObjectOf(cf));
}

void ShowText(CGContextObject* context, const QString& text)
{
    CGGState& state = context->state;
    if (!state.hasFont || state.fontSize <= 0 || text.isEmpty() || !CGHaveFonts())
        return;
    QRawFont raw = QRawFont::fromFont(state.font);
    if (!raw.isValid())
        return;
    raw.setPixelSize(state.fontSize);
    const QList<quint32> glyphs = raw.glyphIndexesForString(text);
    const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs);

    // Outlines in text space (y up), laid along the baseline.
    QPainterPath outline;
    qreal x = 0;
    const QTransform flip(1, 0, 0, -1, 0, 0);
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        outline.addPath((raw.pathForGlyph(glyphs[i]) * flip).translated(x, 0));
        x += advances[i].x() + state.characterSpacing;
    }
    const QTransform textToQt = CGAffineTransformToQt(context->textMatrix) * context->UserToQt();
    const QPainterPath placed = textToQt.map(outline);

    const CGTextDrawingMode mode = state.textMode;
    if (mode == kCGTextFill || mode == kCGTextFillStroke || mode == kCGTextFillClip || mode == kCGTextFillStrokeClip)
        CGContextFillQtPath(context, CGPathWithFillRule(placed, false));
    if (mode == kCGTextStroke || mode == kCGTextFillStroke || mode == kCGTextStrokeClip ||
        mode == kCGTextFillStrokeClip) {
        // Through the path machinery, so that the stroke follows the state.
        const CGPathData saved = context->path;
        context->path = CGPathData();
        context->path.path = placed;
        CGContextStrokePath(context);
        context->path = saved;
    }
    if (mode >= kCGTextFillClip) {
        CGClipEntry entry;
        entry.isRect = false;
        entry.path = CGPathWithFillRule(placed, false);
        state.clips.push_back(std::move(entry));
    }
    // The text position moves along the text's baseline.
    context->textMatrix.tx += CGFloat(x * context->textMatrix.a);
    context->textMatrix.ty += CGFloat(x * context->textMatrix.b);
}

}  // namespace

CFTypeID CGFontGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CGFont");
    return type;
}

CGFontRef CGFontCreateWithFontName(CFStringRef name)
{
    const std::optional<QFont> font = CGFontNamed(CGStringToQt(name));
    return font ? new CGFontObject(*font) : nullptr;
}

CGFontRef CGFontRetain(CGFontRef font)
{
    return static_cast<CGFontRef>(CFRetain(font));
}

void CGFontRelease(CGFontRef font)
{
    if (font)
        CFRelease(font);
}

CFStringRef CGFontCopyFullName(CGFontRef font)
{
    const CGFontObject* object = AsFont(font);
    if (object == nullptr)
        return nullptr;
    QString name = object->font.family();
    if (!object->font.styleName().isEmpty())
        name += ' ' + object->font.styleName();
    return CGStringCreateFromQt(name);
}

void CGContextSetTextMatrix(CGContextRef c, CGAffineTransform t)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->textMatrix = t;
}

CGAffineTransform CGContextGetTextMatrix(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    return context ? context->textMatrix : CGAffineTransformIdentity;
}

void CGContextSetTextPosition(CGContextRef c, CGFloat x, CGFloat y)
{
    if (CGContextObject* context = CGContextObjectOf(c)) {
        context->textMatrix.tx = x;
        context->textMatrix.ty = y;
    }
}

CGPoint CGContextGetTextPosition(CGContextRef c)
{
    CGContextObject* context = CGContextObjectOf(c);
    return context ? CGPointMake(context->textMatrix.tx, context->textMatrix.ty) : CGPointZero;
}

void CGContextSetTextDrawingMode(CGContextRef c, CGTextDrawingMode mode)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->state.textMode = mode;
}

void CGContextSetCharacterSpacing(CGContextRef c, CGFloat spacing)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->state.characterSpacing = spacing;
}

void CGContextSetFont(CGContextRef c, CGFontRef font)
{
    CGContextObject* context = CGContextObjectOf(c);
    const CGFontObject* object = AsFont(font);
    if (context && object) {
        context->state.font = object->font;
        context->state.hasFont = true;
    }
}

void CGContextSetFontSize(CGContextRef c, CGFloat size)
{
    if (CGContextObject* context = CGContextObjectOf(c))
        context->state.fontSize = size;
}

void CGContextSelectFont(CGContextRef c, const char* name, CGFloat size, CGTextEncoding textEncoding)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr || name == nullptr)
        return;
    if (const std::optional<QFont> font = CGFontNamed(QString::fromUtf8(name))) {
        context->state.font = *font;
        context->state.hasFont = true;
    }
    context->state.fontSize = size;
    context->state.textEncoding = textEncoding;
}

void CGContextShowText(CGContextRef c, const char* string, size_t length)
{
    CGContextObject* context = CGContextObjectOf(c);
    if (context == nullptr || string == nullptr)
        return;
    QString text;
    if (context->state.textEncoding == kCGEncodingMacRoman) {
        CFStringRef decoded = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(string), CFIndex(length),
                                                      kCFStringEncodingMacRoman, false);
        text = CGStringToQt(decoded);
        if (decoded)
            CFRelease(decoded);
    } else {
        text = QString::fromLatin1(string, qsizetype(length));
    }
    ShowText(context, text);
}

void CGContextShowTextAtPoint(CGContextRef c, CGFloat x, CGFloat y, const char* string, size_t length)
{
    CGContextSetTextPosition(c, x, y);
    CGContextShowText(c, string, length);
}

// ---- fonts and strings ----

bool CGHaveFonts()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

namespace {

std::atomic<unsigned> gFontGeneration{0};

// The application whose fonts are watched; nil once it is gone (another
// one may come at the same address).
const QGuiApplication* gWatched = nullptr;

// On the application's thread: a new application, or a change of its
// fonts, starts a new generation.
void WatchTheFonts()
{
    if (!CGHaveFonts() || gWatched == qGuiApp || QThread::currentThread() != qGuiApp->thread())
        return;
    gWatched = qGuiApp;
    ++gFontGeneration;
    QObject::connect(qGuiApp, &QGuiApplication::fontDatabaseChanged, qGuiApp, [] { ++gFontGeneration; });
    QObject::connect(qGuiApp, &QObject::destroyed, [] {
        gWatched = nullptr;
        ++gFontGeneration;
    });
}

}  // namespace

unsigned CGFontGeneration()
{
    WatchTheFonts();
    return gFontGeneration.load();
}

// Asking Qt lists every family again, and a card's rows each ask for theirs.
QStringList CGFontFamilies()
{
    static QStringList families;
    static unsigned listedIn = 0;
    if (!CGHaveFonts())
        return QStringList();
    const unsigned generation = CGFontGeneration();
    if (listedIn != generation) {
        families = QFontDatabase::families();
        listedIn = generation;
    }
    return families;
}

std::optional<QFont> CGFontNamed(const QString& name)
{
    if (!CGHaveFonts() || name.isEmpty())
        return std::nullopt;
    const QStringList families = CGFontFamilies();
    for (const QString& family : families)
        if (family.compare(name, Qt::CaseInsensitive) == 0)
            return QFont(family);
    for (const QString& family : families) {
        if (!name.startsWith(family, Qt::CaseInsensitive) || name.size() <= family.size() + 1 ||
            (name[family.size()] != ' ' && name[family.size()] != '-'))
            continue;
        const QString style = name.mid(family.size() + 1);
        for (const QString& known : QFontDatabase::styles(family))
            if (known.compare(style, Qt::CaseInsensitive) == 0)
                return QFontDatabase::font(family, known, 12);
    }
    return std::nullopt;
}

QPaintDevice* CGPointResolutionDevice()
{
    static QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        CGSetPointResolution(image);
        return image;
    }();
    return &device;
}

// ---- strings ----

QString CGStringToQt(CFStringRef text)
{
    const std::u16string_view units = CFStringView(text);
    return QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
}

CFStringRef CGStringCreateFromQt(const QString& text)
{
    if (text.isNull())
        return nullptr;
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    return CFStringCreateWithUTF16(std::u16string(units, size_t(text.size())));
}
