#include <CGTestSupport.h>

#include <AppKit/NSTextDrawing.h>

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>

namespace {

class Text : public TextTest {
protected:
    static NSAttributeDictionary* Attributes(CGFloat size)
    {
        NSAttributeDictionary* attributes = NSAttributeDictionary::attributes();
        attributes->setFont(NSFont::fontWithName(NSString::stringWithUTF8String("DejaVu Sans"), size));
        return attributes;
    }

    // The height of a line of text in the font.
    static CGFloat LineHeight(NSAttributeDictionary* attributes)
    {
        const QFontMetricsF metrics(attributes->font()->qFont());
        return CGFloat(metrics.ascent() + metrics.descent() + std::max(0.0, metrics.leading()));
    }
};

// Where the ink of the picture is, row by row from the top of the buffer.
struct Ink {
    int top = -1, bottom = -1;
    int topWidth = 0, bottomWidth = 0;  // inked pixels in the first and last inked rows
};

Ink InkOf(const TestBitmap& bitmap)
{
    Ink ink;
    for (int row = 0; row < bitmap.height(); ++row) {
        int count = 0;
        for (int column = 0; column < bitmap.width(); ++column)
            count += bitmap.Row(column, row)[3] > 128;
        if (count == 0)
            continue;
        if (ink.top < 0) {
            ink.top = row;
            ink.topWidth = count;
        }
        ink.bottom = row;
        ink.bottomWidth = count;
    }
    return ink;
}

}  // namespace

TEST_F(Text, UprightWhenTheCocoaContextsFlipMatchesTheCTM)
{
    struct Case {
        bool ctmFlipped, cocoaFlipped, upright;
    };
    const Case cases[] = {
        {true, true, true},    // the sprites' bitmaps and the views
        {false, false, true},  // a plain bitmap
        {false, true, false},  // mismatched: upside down, as on the platform
        {true, false, false},
    };
    for (const Case& c : cases) {
        TestBitmap bitmap(60, 60);
        if (c.ctmFlipped)
            bitmap.Flip();
        NSGraphicsContext::saveGraphicsState();
        NSGraphicsContext::setCurrentContext(
            NSGraphicsContext::graphicsContextWithGraphicsPort(bitmap.context(), c.cocoaFlipped));
        // A "T": its wide bar is on top when it stands upright.
        NSStringDrawing::drawInRect(CFSTR("T"), CGRectMake(10, 5, 50, 50), Attributes(40));
        NSGraphicsContext::restoreGraphicsState();
        const Ink ink = InkOf(bitmap);
        ASSERT_GE(ink.top, 0) << c.ctmFlipped << c.cocoaFlipped;
        EXPECT_EQ(ink.topWidth > 3 * ink.bottomWidth, c.upright) << c.ctmFlipped << c.cocoaFlipped;
        if (c.upright) {
            // Laid out from the rectangle's top edge: 5 points from the top
            // of the picture when flipped, 55 up from the bottom otherwise.
            const int rectTop = c.ctmFlipped ? 5 : 60 - 55;
            EXPECT_GE(ink.top, rectTop) << c.ctmFlipped;
            EXPECT_LT(ink.top, rectTop + 15) << c.ctmFlipped;
        }
    }
    EXPECT_EQ(NSGraphicsContext::currentContext(), nullptr) << "restored";
}

TEST_F(Text, SameGlyphsAsQtsOwnTextLayout)
{
    TestBitmap bitmap(120, 30);
    bitmap.Flip();
    NSGraphicsContext::saveGraphicsState();
    NSGraphicsContext::setCurrentContext(NSGraphicsContext::graphicsContextWithGraphicsPort(bitmap.context(), true));
    NSStringDrawing::drawInRect(CFSTR("Quartz 2D"), CGRectMake(4, 3, 116, 27), Attributes(18));
    NSGraphicsContext::restoreGraphicsState();

    QImage reference(120, 30, QImage::Format_RGBA8888_Premultiplied);
    reference.fill(Qt::transparent);
    {
        QTextLayout layout("Quartz 2D", Attributes(18)->font()->qFont());
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLeadingIncluded(true);
        line.setLineWidth(116);
        layout.endLayout();
        QPainter painter(&reference);
        painter.translate(4, 3);
        for (const QGlyphRun& run : line.glyphRuns())
            painter.drawGlyphRun(QPointF(0, 0), run);
    }
    EXPECT_TRUE(MatchesGolden(bitmap.Image(), "text-quartz-2d.png"));
    int differing = 0;
    const QImage ours = bitmap.Image();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 120; ++x)
            differing += std::abs(qAlpha(ours.pixel(x, y)) - qAlpha(reference.pixel(x, y))) > 8;
    EXPECT_EQ(differing, 0);
}

TEST_F(Text, OnlyTheLinesThatFitAreDrawn)
{
    const CGFloat lineHeight = LineHeight(Attributes(12));
    struct Case {
        CGFloat height;
        bool secondLine;
    };
    for (const Case& c : {Case{lineHeight * 2 + 1, true}, Case{lineHeight * 2 - 1, false}}) {
        TestBitmap bitmap(60, 60);
        bitmap.Flip();
        NSGraphicsContext::saveGraphicsState();
        NSGraphicsContext::setCurrentContext(
            NSGraphicsContext::graphicsContextWithGraphicsPort(bitmap.context(), true));
        NSStringDrawing::drawInRect(CFSTR("one\ntwo"), CGRectMake(0, 0, 60, c.height), Attributes(12));
        NSGraphicsContext::restoreGraphicsState();
        const Ink ink = InkOf(bitmap);
        EXPECT_EQ(ink.bottom > lineHeight, c.secondLine) << c.height;
    }
}

TEST_F(Text, MeasuringWrapsInTheGivenWidth)
{
    NSAttributeDictionary* attributes = Attributes(12);
    const CGFloat lineHeight = LineHeight(attributes);
    const CGSize one = NSStringDrawing::sizeWithAttributes(CFSTR("word word"), attributes);
    EXPECT_NEAR(one.height, lineHeight, 0.1);
    EXPECT_GT(one.width, 40);
    const CGRect wrapped = NSStringDrawing::boundingRectWithSize(
        CFSTR("word word"), CGSizeMake(one.width * 0.75f, 1000), NSStringDrawingUsesLineFragmentOrigin, attributes);
    EXPECT_NEAR(wrapped.size.height, 2 * lineHeight, 0.2);
    EXPECT_LT(wrapped.size.width, one.width);
    const CGRect single =
        NSStringDrawing::boundingRectWithSize(CFSTR("word word"), CGSizeMake(one.width * 0.75f, 1000), 0, attributes);
    EXPECT_NEAR(single.size.height, lineHeight, 0.1) << "one line without the line-fragment option";
    EXPECT_LT(single.origin.y, 0) << "from the baseline";

    // Laid out texts are remembered: asked again in another width, font or
    // wording, the answer is worked out anew.
    const CGSize wide = CGSizeMake(one.width * 2, 1000);
    EXPECT_NEAR(NSStringDrawing::boundingRectWithSize(CFSTR("word word"), wide, NSStringDrawingUsesLineFragmentOrigin,
                                                      attributes)
                    .size.height,
                lineHeight, 0.1);
    EXPECT_GT(NSStringDrawing::sizeWithAttributes(CFSTR("word word"), Attributes(24)).width, 1.5 * one.width);
    CFRef<CFMutableStringRef> text(CFStringCreateMutableCopy(nullptr, 0, CFSTR("word word")));
    EXPECT_EQ(NSStringDrawing::sizeWithAttributes(text, attributes).width, one.width);
    CFStringAppend(text, CFSTR(" word"));
    EXPECT_GT(NSStringDrawing::sizeWithAttributes(text, attributes).width, one.width);
}

TEST_F(Text, QuartzTextStandsOnTheTextMatrix)
{
    for (bool flipped : {false, true}) {
        TestBitmap bitmap(80, 60);
        if (flipped)
            bitmap.Flip();
        CGContextSelectFont(bitmap.context(), "DejaVu Sans", 40, kCGEncodingMacRoman);
        CGContextSetRGBFillColor(bitmap.context(), 0, 0, 0, 1);
        CGContextShowTextAtPoint(bitmap.context(), 10, 30, "T", 1);
        // Glyphs stand upright in y-up space: a flipped CTM turns them over.
        const Ink ink = InkOf(bitmap);
        ASSERT_GE(ink.top, 0);
        EXPECT_EQ(ink.topWidth > 3 * ink.bottomWidth, !flipped) << flipped;
        const CGPoint advanced = CGContextGetTextPosition(bitmap.context());
        EXPECT_GT(advanced.x, 30) << "moved along by the glyph";
        EXPECT_EQ(advanced.y, 30);
    }
}
