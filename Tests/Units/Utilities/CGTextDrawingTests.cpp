#include <CGTestSupport.h>
#include <Units/Utilities/CGContextMore.h>

namespace {

class TextDrawing : public TextTest {
protected:
    static NSFont* Font(CGFloat size)
    {
        return NSFont::fontWithName(NSString::stringWithUTF8String("DejaVu Sans"), size);
    }
};

struct InkBox {
    int left = 1 << 20, right = -1, top = 1 << 20, bottom = -1;  // buffer columns and rows
    bool Any() const { return right >= 0; }
};

InkBox InkOf(const TestBitmap& bitmap, int threshold = 128)
{
    InkBox box;
    for (int row = 0; row < bitmap.height(); ++row)
        for (int column = 0; column < bitmap.width(); ++column)
            if (bitmap.Row(column, row)[3] > threshold) {
                box.left = std::min(box.left, column);
                box.right = std::max(box.right, column);
                box.top = std::min(box.top, row);
                box.bottom = std::max(box.bottom, row);
            }
    return box;
}

// A card's face as the cards build it: a flipped bitmap, the body a
// rounded rectangle with a shadow, a gradient over it, an outline, and the
// title drawn through the Cocoa bridge.
QImage DrawCard(NSFont* font)
{
    Ptr buffer = nullptr;
    CGContextRef context = CGBitmapContextCreate(CGSizeMake(200, 140), buffer);
    CGContextTranslateCTM(context, 0, 140);
    CGContextScaleCTM(context, 1, -1);
    CGContextClearRect(context, CGRectMake(0, 0, 200, 140));
    const CGRect body = CGRectMake(16, 12, 160, 104);

    CGContextSaveGState(context);
    CGContextSetShadow(context, CGSizeMake(5, -5), 10);
    CGContextSetRGBFillColor(context, CGRGBColorMake(0.98f, 0.86f, 0.35f, 1));
    CGContextFillRoundedRect(context, body, 12, 12);
    CGContextClearShadow(context);

    CGContextSaveGState(context);
    CGContextAddRoundedRect(context, body, 2, 2, 6);  // 12-point corners
    CGContextClip(context);
    CGContextSetAlpha(context, 0.35f);
    CGContextDrawRGBGradient(context, body, CGRGBColorMake(1, 1, 1, 1), CGRGBColorMake(1, 1, 1, 0), false);
    CGContextRestoreGState(context);

    CGContextSetRGBStrokeColor(context, CGRGBColorAdjustValues(CGRGBColorMake(0.98f, 0.86f, 0.35f, 1), -0.3f));
    CGContextSetLineWidth(context, 2);
    CGContextStrokeRoundedRect(context, CGRectInset(body, 1, 1), 11, 11);
    CGContextRestoreGState(context);

    NSGraphicsContextOpenCGContext(context);
    CGContextDrawText(context, CGRectMake(16, 20, 160, 24), CFSTR("Groceries"), font,
                      NSColor::colorWithCalibratedWhite(0.15f, 1), kCGTextOptionCentered);
    CGContextDrawText(context, CGRectMake(28, 56, 136, 50), CFSTR("Milk, eggs and bread for the weekend"), font,
                      nullptr, kCGTextOptionShadow);
    NSGraphicsContextCloseCGContext(context);

    QImage image(reinterpret_cast<uchar*>(buffer), 200, 140, 800, QImage::Format_RGBA8888_Premultiplied);
    image = image.copy();
    CGContextRelease(context);
    DisposePtr(buffer);
    return image;
}

}  // namespace

TEST_F(TextDrawing, CardFaceMatchesItsGolden)
{
    EXPECT_TRUE(MatchesGolden(DrawCard(Font(15)), "card-face.png"));
}

TEST_F(TextDrawing, TheBridgeComesBackClosed)
{
    TestBitmap bitmap(10, 10);
    NSGraphicsContextOpenCGContext(bitmap.context());
    ASSERT_NE(NSGraphicsContext::currentContext(), nullptr);
    EXPECT_EQ(NSGraphicsContext::currentContext()->graphicsPort(), bitmap.context());
    EXPECT_TRUE(NSGraphicsContext::currentContext()->isFlipped());
    CGContextTranslateCTM(bitmap.context(), 5, 5);
    NSGraphicsContextCloseCGContext(bitmap.context());
    EXPECT_EQ(NSGraphicsContext::currentContext(), nullptr);
    EXPECT_TRUE(CGAffineTransformIsIdentity(CGContextGetCTM(bitmap.context())));
}

TEST_F(TextDrawing, CentredTextSitsInTheMiddleOfItsLine)
{
    TestBitmap bitmap(200, 40);
    bitmap.Flip();
    NSGraphicsContextOpenCGContext(bitmap.context());
    CGContextDrawText(bitmap.context(), CGRectMake(0, 5, 200, 30), CFSTR("middle"), Font(14), nullptr,
                      kCGTextOptionCentered);
    NSGraphicsContextCloseCGContext(bitmap.context());
    const InkBox ink = InkOf(bitmap);
    ASSERT_TRUE(ink.Any());
    EXPECT_NEAR(ink.left, 199 - ink.right, 3);
    EXPECT_GE(ink.top, 5);
    EXPECT_EQ(bitmap.Row(ink.left + 1, ink.top + 1)[0], 0) << "black by default";
}

TEST_F(TextDrawing, TurnedTextStaysInItsRectangle)
{
    for (CGTextOptions turn : {kCGTextOptionRotateCW, kCGTextOptionRotateCCW}) {
        // A tall, narrow rectangle: the text runs along its length.
        TestBitmap bitmap(60, 200);
        bitmap.Flip();
        NSGraphicsContextOpenCGContext(bitmap.context());
        CGContextDrawText(bitmap.context(), CGRectMake(20, 30, 24, 140), CFSTR("Tab title and more words"), Font(12),
                          nullptr, turn | kCGTextOptionCentered);
        NSGraphicsContextCloseCGContext(bitmap.context());
        const InkBox ink = InkOf(bitmap, 64);
        ASSERT_TRUE(ink.Any()) << turn;
        EXPECT_GE(ink.left, 20) << turn;
        EXPECT_LT(ink.right, 44) << turn;
        EXPECT_GE(ink.top, 30) << turn;
        EXPECT_LT(ink.bottom, 170) << turn;
        EXPECT_GT(ink.bottom - ink.top, 3 * (ink.right - ink.left)) << turn << ": along the length";
    }
}

TEST_F(TextDrawing, ShadowedTextGlows)
{
    TestBitmap plain(120, 40), shadowed(120, 40);
    for (TestBitmap* bitmap : {&plain, &shadowed}) {
        bitmap->Flip();
        NSGraphicsContextOpenCGContext(bitmap->context());
        CGContextDrawText(bitmap->context(), CGRectMake(10, 10, 100, 24), CFSTR("glow"), Font(14),
                          NSColor::whiteColor(), bitmap == &shadowed ? kCGTextOptionShadow : CGTextOptions(0));
        NSGraphicsContextCloseCGContext(bitmap->context());
    }
    const InkBox glyphs = InkOf(plain, 0), glow = InkOf(shadowed, 0);
    EXPECT_LT(glow.left, glyphs.left);
    EXPECT_GT(glow.bottom, glyphs.bottom);
}

TEST_F(TextDrawing, TextBoxesAndMeasuring)
{
    TestBitmap bitmap(100, 60);
    bitmap.Flip();
    NSAttributeDictionary* attributes = NSAttributeDictionary::attributes();
    attributes->setFont(Font(12));
    NSGraphicsContextOpenCGContext(bitmap.context());
    CGContextDrawTextBox(bitmap.context(), CGRectMake(40, 30, 60, 30), CFSTR("box"), attributes);
    NSGraphicsContextCloseCGContext(bitmap.context());
    const InkBox ink = InkOf(bitmap);
    ASSERT_TRUE(ink.Any());
    EXPECT_GE(ink.left, 40);
    EXPECT_GE(ink.top, 30);
    EXPECT_LT(ink.top, 40);

    const CGSize one = CGContextGetTextSize(CFSTR("several words to wrap"), 1000, Font(12), false);
    const CGSize wrapped = CGContextGetTextSize(CFSTR("several words to wrap"), one.width / 2, Font(12), false);
    EXPECT_GT(one.width, 60);
    EXPECT_LE(wrapped.width, one.width / 2);
    EXPECT_GE(wrapped.height, 2 * one.height - 0.5f);
    EXPECT_EQ(CGContextGetTextSize(CFSTR("wrap"), 1000, Font(12), true).height, one.height);
}
