#include <HIToolbox/HITheme.h>

#include <AppKit/NSFont.h>
#include <CoreGraphics/CGContextQt.h>
#include <Foundation/NSString.h>

#include <QApplication>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace {

// A white surface with a view's context over it (top-left origin).
class Canvas {
public:
    explicit Canvas(int width = 200, int height = 100, bool flipped = true)
        : pixels_(width, height, QImage::Format_ARGB32_Premultiplied)
    {
        pixels_.fill(Qt::white);
        context_ = CGContextCreateWithQImage(&pixels_, flipped);
    }
    ~Canvas() { CGContextRelease(context_); }
    operator CGContextRef() const { return context_; }
    const QImage& Pixels() const { return pixels_; }

    // The box around every pixel that is not white (empty when none is).
    QRect Ink() const
    {
        QRect box;
        for (int y = 0; y < pixels_.height(); ++y)
            for (int x = 0; x < pixels_.width(); ++x)
                if (pixels_.pixel(x, y) != qRgb(255, 255, 255))
                    box |= QRect(x, y, 1, 1);
        return box;
    }

private:
    QImage pixels_;
    CGContextRef context_;
};

HIThemeTextInfo TextInfo(ThemeFontID font = kThemeSystemFont,
                         HIThemeTextTruncation truncation = kHIThemeTextTruncationNone, UInt32 maxLines = 0)
{
    HIThemeTextInfo info = {};
    info.state = kThemeStateActive;
    info.fontID = font;
    info.truncationPosition = truncation;
    info.truncationMaxLines = maxLines;
    return info;
}

CGFloat LineHeight(ThemeFontID font)
{
    CGFloat height = 0;
    HIThemeTextInfo info = TextInfo(font);
    HIThemeGetTextDimensions(CFSTR("X"), 0, &info, nullptr, &height, nullptr);
    return height;
}

}  // namespace

TEST(HITheme, ThemeFontsBySizeAndStyle)
{
    struct Row {
        ThemeFontID id;
        SInt16 size;
        Style style;
    };
    for (const Row& row : {Row{kThemeSystemFont, 13, normal}, Row{kThemeSmallSystemFont, 11, normal},
                           Row{kThemeViewsFont, 12, normal}, Row{kThemeLabelFont, 10, normal},
                           Row{kThemeEmphasizedSystemFont, 13, bold}, Row{kThemeMiniSystemFont, 9, normal}}) {
        SCOPED_TRACE(row.id);
        Str255 name = {};
        SInt16 size = 0;
        Style style = 99;
        ASSERT_EQ(GetThemeFont(row.id, smSystemScript, name, &size, &style), noErr);
        EXPECT_EQ(size, row.size);
        EXPECT_EQ(style, row.style);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(name + 1), name[0]), "DejaVu Sans");
    }
    Str255 name = {3, 'a', 'b', 'c'};
    SInt16 size = 77;
    Style style = 5;
    EXPECT_EQ(GetThemeFont(55, smSystemScript, name, &size, &style), paramErr);
    EXPECT_EQ(size, 77);
    EXPECT_EQ(name[0], 3);

    // A bigger font measures taller, and as its NSFont says.
    EXPECT_GT(LineHeight(kThemeSystemFont), LineHeight(kThemeLabelFont));
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    NSFont* font = NSFont::fontWithName(NSString::stringWithUTF8String("DejaVu Sans"), 13);
    ASSERT_NE(font, nullptr);
    EXPECT_GT(font->ascender(), 9);
    EXPECT_LT(font->descender(), 0);
    EXPECT_NEAR(LineHeight(kThemeSystemFont), font->ascender() - font->descender() + font->leading(), 1.0);
    const CGRect box = font->boundingRectForFont();
    EXPECT_LE(box.origin.y, font->descender());
    EXPECT_GE(box.origin.y + box.size.height, font->ascender());
    pool->drain();
}

TEST(HITheme, TextDimensionsWrapAndTruncate)
{
    const CFStringRef text = CFSTR("The quick brown fox jumps over the lazy dog again and again");
    const CGFloat line = LineHeight(kThemeSystemFont);
    CGFloat oneLineWidth = 0;
    HIThemeTextInfo info = TextInfo();
    ASSERT_EQ(HIThemeGetTextDimensions(text, 0, &info, &oneLineWidth, nullptr, nullptr), noErr);

    struct Row {
        const char* what;
        CGFloat width;
        HIThemeTextTruncation truncation;
        UInt32 maxLines;
        int lines;
        bool truncated;
    };
    for (const Row& row : {
             Row{"unlimited: one line", 0, kHIThemeTextTruncationNone, 0, 1, false},
             Row{"wrapped in a third", std::floor(oneLineWidth / 3) + 10, kHIThemeTextTruncationNone, 0, 3, false},
             Row{"wrapped, at most two lines", std::floor(oneLineWidth / 3) + 10, kHIThemeTextTruncationEnd, 2, 2,
                 true},
             Row{"one line, cut at the end", 100, kHIThemeTextTruncationEnd, 1, 1, true},
             Row{"fits: nothing cut", oneLineWidth + 5, kHIThemeTextTruncationEnd, 1, 1, false},
         }) {
        SCOPED_TRACE(row.what);
        HIThemeTextInfo rowInfo = TextInfo(kThemeSystemFont, row.truncation, row.maxLines);
        rowInfo.truncationHappened = !row.truncated;
        CGFloat width = 0, height = 0, baseline = 0;
        ASSERT_EQ(HIThemeGetTextDimensions(text, row.width, &rowInfo, &width, &height, &baseline), noErr);
        EXPECT_NEAR(height, row.lines * line, 0.01);
        EXPECT_EQ(bool(rowInfo.truncationHappened), row.truncated);
        if (row.width > 0) {
            EXPECT_LE(width, row.width);
        }
        EXPECT_LT(baseline, 0);
    }

    // The Appearance Manager's form, in whole points.
    Point size = {0, 120};
    SInt16 baseline = 0;
    ASSERT_EQ(GetThemeTextDimensions(text, kThemeSystemFont, kThemeStateActive, true, &size, &baseline), noErr);
    EXPECT_LE(size.h, 120);
    EXPECT_GE(size.v, SInt16(3 * line));

    // Not a string: refused, outputs untouched.
    CGFloat width = 42;
    int number = 5;
    CFNumberRef notText = CFNumberCreate(nullptr, kCFNumberIntType, &number);
    EXPECT_EQ(HIThemeGetTextDimensions(notText, 0, &info, &width, nullptr, nullptr), paramErr);
    EXPECT_EQ(width, 42);
    CFRelease(notText);
}

// Text takes the context's fill colour, keeps to its box, and lies where
// its flushness puts it.
TEST(HITheme, TextBoxesDrawInTheFillColourWhereTheyAreFlushed)
{
    struct Row {
        const char* what;
        HIThemeTextHorizontalFlush horizontal;
        HIThemeTextVerticalFlush vertical;
        HIThemeOrientation orientation;
        bool flippedContext;
        bool left, top;  // where the ink lies in the box (top as seen)
    };
    const HIRect box = CGRectMake(20, 10, 160, 80);
    for (const Row& row : {
             Row{"left, top", kHIThemeTextHorizontalFlushLeft, kHIThemeTextVerticalFlushTop, kHIThemeOrientationNormal,
                 true, true, true},
             Row{"right, bottom", kHIThemeTextHorizontalFlushRight, kHIThemeTextVerticalFlushBottom,
                 kHIThemeOrientationNormal, true, false, false},
             Row{"y-up context, top", kHIThemeTextHorizontalFlushLeft, kHIThemeTextVerticalFlushTop,
                 kHIThemeOrientationInverted, false, true, true},
         }) {
        SCOPED_TRACE(row.what);
        Canvas canvas(200, 100, row.flippedContext);
        CGContextSetRGBFillColor(canvas, 1, 0, 0, 1);
        HIThemeTextInfo info = TextInfo();
        info.horizontalFlushness = row.horizontal;
        info.verticalFlushness = row.vertical;
        ASSERT_EQ(HIThemeDrawTextBox(CFSTR("Hi"), &box, &info, canvas, row.orientation), noErr);
        const QRect ink = canvas.Ink();
        ASSERT_FALSE(ink.isEmpty());
        // The box as seen on the surface (a y-up context's box is upside down).
        const QRect seen = row.flippedContext ? QRect(20, 10, 160, 80) : QRect(20, 100 - 10 - 80, 160, 80);
        EXPECT_TRUE(seen.contains(ink));
        EXPECT_EQ(ink.center().x() < seen.center().x(), row.left);
        EXPECT_EQ(ink.center().y() < seen.center().y(), row.top);
        // The ink is red: the darkest pixel has no green.
        int reddest = 255;
        for (int y = ink.top(); y <= ink.bottom(); ++y)
            for (int x = ink.left(); x <= ink.right(); ++x)
                reddest = std::min(reddest, qGreen(canvas.Pixels().pixel(x, y)));
        EXPECT_LT(reddest, 60);
        EXPECT_EQ(qRed(canvas.Pixels().pixel(ink.center())) >= qGreen(canvas.Pixels().pixel(ink.center())), true);
    }

    // Text taller than its box is cut at the box.
    Canvas canvas;
    HIThemeTextInfo info = TextInfo(kThemeSystemFont);
    const HIRect small = CGRectMake(10, 10, 60, 12);
    HIThemeDrawTextBox(CFSTR("Many words that wrap onto several lines of text"), &small, &info, canvas,
                       kHIThemeOrientationNormal);
    EXPECT_TRUE(QRect(10, 10, 60, 12).contains(canvas.Ink()));
    EXPECT_EQ(HIThemeDrawTextBox(nullptr, &small, &info, canvas, kHIThemeOrientationNormal), paramErr);

    // Middle truncation keeps both ends.
    Canvas cut;
    HIThemeTextInfo middle = TextInfo(kThemeSystemFont, kHIThemeTextTruncationMiddle, 1);
    const HIRect narrow = CGRectMake(0, 0, 90, 20);
    HIThemeDrawTextBox(CFSTR("Beginning and a long middle part, then End"), &narrow, &middle, cut,
                       kHIThemeOrientationNormal);
    EXPECT_TRUE(middle.truncationHappened);
    EXPECT_GT(cut.Ink().right(), 70);  // the end is there, near the box's edge
}

TEST(HITheme, BrushesSetTheFillAndStroke)
{
    struct Row {
        ThemeBrush brush;
        QColor expected;
    };
    for (const Row& row : {Row{kThemeBrushBlack, Qt::black}, Row{kThemeBrushWhite, Qt::white},
                           Row{kThemeBrushAlternatePrimaryHighlightColor, QColor::fromRgbF(0.22f, 0.46f, 0.84f)}}) {
        SCOPED_TRACE(row.brush);
        Canvas canvas(10, 10);
        CGContextSetRGBFillColor(canvas, 0, 1, 0, 1);
        ASSERT_EQ(HIThemeSetFill(row.brush, nullptr, canvas, kHIThemeOrientationNormal), noErr);
        CGContextFillRect(canvas, CGRectMake(0, 0, 10, 10));
        const QColor got(canvas.Pixels().pixel(5, 5));
        EXPECT_NEAR(got.redF(), row.expected.redF(), 0.01);
        EXPECT_NEAR(got.blueF(), row.expected.blueF(), 0.01);
    }
    // An unknown brush leaves the colour alone.
    Canvas canvas(10, 10);
    CGContextSetRGBFillColor(canvas, 0, 1, 0, 1);
    EXPECT_EQ(HIThemeSetFill(999, nullptr, canvas, kHIThemeOrientationNormal), themeInvalidBrushErr);
    CGContextFillRect(canvas, CGRectMake(0, 0, 10, 10));
    EXPECT_EQ(QColor(canvas.Pixels().pixel(5, 5)), QColor(Qt::green));
    CGColorRef untouched = reinterpret_cast<CGColorRef>(0x1);
    EXPECT_EQ(HIThemeBrushCreateCGColor(999, &untouched), themeInvalidBrushErr);
    EXPECT_EQ(untouched, reinterpret_cast<CGColorRef>(0x1));
    CGColorRef color = nullptr;
    ASSERT_EQ(HIThemeBrushCreateCGColor(kThemeBrushBlack, &color), noErr);
    CGColorRelease(color);

    ASSERT_EQ(HIThemeSetStroke(kThemeBrushBlack, nullptr, canvas, kHIThemeOrientationNormal), noErr);
    CGContextSetLineWidth(canvas, 2);
    CGContextStrokeRect(canvas, CGRectMake(2, 2, 6, 6));
    EXPECT_EQ(QColor(canvas.Pixels().pixel(2, 5)), QColor(Qt::black));
}

TEST(HITheme, FocusRingsAndArrows)
{
    Canvas canvas;
    const HIRect rect = CGRectMake(50, 30, 60, 20);
    ASSERT_EQ(HIThemeDrawFocusRect(&rect, false, canvas, kHIThemeOrientationNormal), noErr);
    EXPECT_TRUE(canvas.Ink().isEmpty());
    ASSERT_EQ(HIThemeDrawFocusRect(&rect, true, canvas, kHIThemeOrientationNormal), noErr);
    const QRect ring = canvas.Ink();
    EXPECT_TRUE(ring.contains(QRect(47, 27, 66, 26)));
    EXPECT_EQ(canvas.Pixels().pixel(80, 40), qRgb(255, 255, 255));  // the inside stays clear

    // A down arrow is wide at its top; up and down swap in a y-up space.
    struct Row {
        const char* what;
        ThemeArrowOrientation direction;
        HIThemeOrientation orientation;
        bool flippedContext;
        bool wideAtTop;
    };
    for (const Row& row : {Row{"down", kThemeArrowDown, kHIThemeOrientationNormal, true, true},
                           Row{"up", kThemeArrowUp, kHIThemeOrientationNormal, true, false},
                           Row{"down, y up", kThemeArrowDown, kHIThemeOrientationInverted, false, true}}) {
        SCOPED_TRACE(row.what);
        Canvas arrowCanvas(40, 40, row.flippedContext);
        const HIRect bounds = CGRectMake(0, 0, 40, 40);
        const HIThemePopupArrowDrawInfo info = {0, kThemeStateActive, row.direction, kThemeArrow9pt};
        ASSERT_EQ(HIThemeDrawPopupArrow(&bounds, &info, arrowCanvas, row.orientation), noErr);
        const QRect ink = arrowCanvas.Ink();
        ASSERT_FALSE(ink.isEmpty());
        auto widthAt = [&](int y) {
            int count = 0;
            for (int x = 0; x < 40; ++x)
                count += arrowCanvas.Pixels().pixel(x, y) != qRgb(255, 255, 255);
            return count;
        };
        EXPECT_EQ(widthAt(ink.top()) > widthAt(ink.bottom()), row.wideAtTop);
    }
}

TEST(HITheme, IconsPlotInTheirSquare)
{
    IconRef icon = nullptr;
    ASSERT_EQ(GetIconRef(0, kSystemIconsCreator, kGenericFolderIcon, &icon), noErr);
    Canvas normal(64, 64, false), disabled(64, 64, false);
    const CGRect rect = CGRectMake(8, 8, 32, 48);
    ASSERT_EQ(PlotIconRefInContext(normal, &rect, kAlignAbsoluteCenter, kTransformNone, nullptr, 0, icon), noErr);
    ASSERT_EQ(PlotIconRefInContext(disabled, &rect, kAlignAbsoluteCenter, kTransformDisabled, nullptr, 0, icon), noErr);
    const QRect ink = normal.Ink();
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_TRUE(QRect(8, 64 - 8 - 48 + 8, 32, 32).contains(ink));  // a 32-point square centred in the rect
    // Faded: every pixel at least as light.
    qint64 darkNormal = 0, darkDisabled = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            darkNormal += 255 - qGray(normal.Pixels().pixel(x, y));
            darkDisabled += 255 - qGray(disabled.Pixels().pixel(x, y));
        }
    EXPECT_LT(darkDisabled, darkNormal);
    ReleaseIconRef(icon);
    EXPECT_EQ(PlotIconRefInContext(normal, &rect, 0, 0, nullptr, 0, nullptr), paramErr);
}

TEST(HITheme, CursorsShowOverOurWindows)
{
    Rect bounds = {100, 100, 200, 200};
    WindowRef window = nullptr;
    const QWidgetList before = QApplication::topLevelWidgets();
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, 0, &bounds, &window), noErr);
    QWidget* widget = nullptr;
    for (QWidget* candidate : QApplication::topLevelWidgets())
        if (!before.contains(candidate))
            widget = candidate;
    ASSERT_NE(widget, nullptr);
    ASSERT_EQ(SetThemeCursor(kThemeIBeamCursor), noErr);
    EXPECT_EQ(widget->cursor().shape(), Qt::IBeamCursor);
    EXPECT_EQ(HIThemeGetCurrentCursor(), kThemeIBeamCursor);
    EXPECT_EQ(SetThemeCursor(999), paramErr);
    EXPECT_EQ(HIThemeGetCurrentCursor(), kThemeIBeamCursor);
    ASSERT_EQ(SetThemeCursor(kThemeArrowCursor), noErr);
    EXPECT_EQ(widget->cursor().shape(), Qt::ArrowCursor);
    DisposeWindow(window);
}
