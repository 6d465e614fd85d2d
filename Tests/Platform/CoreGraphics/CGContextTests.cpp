#include <CGTestSupport.h>

#include <CoreGraphics/CGContextInternal.h>
#include <CoreGraphics/CGContextQt.h>

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

namespace {

// Composited alpha may round either way by one step.
void ExpectNear(const RGBA& actual, const RGBA& expected, const char* what, int tolerance = 1)
{
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << what << ", channel " << i;
}

}  // namespace

// ---- bitmap contexts ----

TEST(CGBitmapContext, UserSpaceStartsAtTheBottomLeftOfTheLastRow)
{
    TestBitmap bitmap(4, 3);
    CGContextSetRGBFillColor(bitmap.context(), 1, 0, 0, 1);
    CGContextFillRect(bitmap.context(), CGRectMake(0, 0, 1, 1));
    EXPECT_EQ(bitmap.Row(0, 2), kRed) << "the last row of the buffer";
    EXPECT_EQ(bitmap.Row(0, 0), kClear);
    EXPECT_EQ(bitmap.Row(1, 2), kClear);
    EXPECT_EQ(bitmap.bytes()[(2 * 4 + 0) * 4 + 0], 255) << "byte order R, G, B, A";
    EXPECT_TRUE(CGAffineTransformIsIdentity(CGContextGetCTM(bitmap.context())));
}

TEST(CGBitmapContext, TranslucentColoursArePremultiplied)
{
    struct Case {
        CGFloat red, green, blue, alpha;
        RGBA stored;
    };
    const Case cases[] = {
        {1, 0, 0, 0.5f, {128, 0, 0, 128}},
        {1, 1, 1, 0.25f, {64, 64, 64, 64}},
        {0, 0.5f, 1, 1, {0, 128, 255, 255}},
        {1, 0, 0, 0, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        TestBitmap bitmap(1, 1);
        CGContextSetRGBFillColor(bitmap.context(), c.red, c.green, c.blue, c.alpha);
        CGContextFillRect(bitmap.context(), CGRectMake(0, 0, 1, 1));
        EXPECT_EQ(bitmap.At(0, 0), c.stored) << c.red << " " << c.green << " " << c.blue << " " << c.alpha;
    }
}

TEST(CGBitmapContext, LayoutsAndTheirRows)
{
    CFRef<CGColorSpaceRef> rgb(CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB));
    CFRef<CGColorSpaceRef> gray(CGColorSpaceCreateDeviceGray());
    struct Case {
        CGColorSpaceRef space;
        CGBitmapInfo info;
        size_t bytesPerRow;
        bool made;
        size_t rowBytes;
    };
    const Case cases[] = {
        {rgb, kCGImageAlphaPremultipliedLast, 0, true, 40},
        {rgb, kCGImageAlphaPremultipliedLast, 48, true, 48},
        {rgb, kCGImageAlphaPremultipliedLast, 39, false, 0},
        {rgb, kCGImageAlphaNoneSkipLast, 0, true, 40},
        {rgb, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, 0, true, 40},
        {rgb, kCGImageAlphaLast, 0, false, 0},  // straight alpha: refused, as on the platform
        {gray, kCGImageAlphaNone, 0, true, 10},
        {nullptr, kCGImageAlphaOnly, 0, true, 10},
        {gray, kCGImageAlphaPremultipliedLast, 0, false, 0},
    };
    for (const Case& c : cases) {
        CFRef<CGContextRef> context(CGBitmapContextCreate(nullptr, 10, 5, 8, c.bytesPerRow, c.space, c.info));
        EXPECT_EQ(bool(context), c.made) << c.info << " " << c.bytesPerRow;
        if (context) {
            EXPECT_EQ(CGBitmapContextGetBytesPerRow(context), c.rowBytes);
            EXPECT_EQ(CGBitmapContextGetWidth(context), 10u);
            EXPECT_EQ(CGBitmapContextGetHeight(context), 5u);
            EXPECT_NE(CGBitmapContextGetData(context), nullptr);
        }
    }
    EXPECT_FALSE(CFRef<CGContextRef>(CGBitmapContextCreate(nullptr, 0, 5, 8, 0, rgb, kCGImageAlphaPremultipliedLast)));
}

TEST(CGBitmapContext, ImagesAreSnapshots)
{
    TestBitmap bitmap(2, 2);
    bitmap.Fill(0, 0, 1, 1);
    CFRef<CGImageRef> before(CGBitmapContextCreateImage(bitmap.context()));
    bitmap.Fill(1, 0, 0, 1);
    CFRef<CGImageRef> after(CGBitmapContextCreateImage(bitmap.context()));
    EXPECT_EQ(CGImageGetQImage(before).pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(CGImageGetQImage(after).pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(CGImageGetAlphaInfo(before), kCGImageAlphaPremultipliedLast);
    EXPECT_EQ(CGImageGetBytesPerRow(before), 8u);
    EXPECT_EQ(CFGetRetainCount(before), 1);
}

// ---- transforms and the CTM ----

TEST(CGContextCTM, NewStepsActInTheCurrentUserSpace)
{
    struct Case {
        const char* name;
        void (*setUp)(CGContextRef);
        CGRect filled;  // user space
        int x, y;       // a y-up pixel it must cover
        int outsideX, outsideY;
    };
    const Case cases[] = {
        {"translate then scale",
         [](CGContextRef c) {
             CGContextTranslateCTM(c, 10, 0);
             CGContextScaleCTM(c, 2, 2);
         },
         CGRectMake(1, 1, 1, 1), 12, 2, 11, 2},
        {"scale then translate",
         [](CGContextRef c) {
             CGContextScaleCTM(c, 2, 2);
             CGContextTranslateCTM(c, 10, 0);
         },
         CGRectMake(1, 1, 1, 1), 22, 2, 12, 2},
        {"concat", [](CGContextRef c) { CGContextConcatCTM(c, CGAffineTransformMake(1, 0, 0, 1, 5, 6)); },
         CGRectMake(0, 0, 1, 1), 5, 6, 0, 0},
        {"quarter turn",
         [](CGContextRef c) {
             CGContextTranslateCTM(c, 20, 0);
             CGContextRotateCTM(c, std::numbers::pi / 2);
         },
         CGRectMake(2, 0, 1, 1), 19, 2, 20, 2},
    };
    for (const Case& c : cases) {
        TestBitmap bitmap(32, 8);
        c.setUp(bitmap.context());
        CGContextSetRGBFillColor(bitmap.context(), 1, 0, 0, 1);
        CGContextFillRect(bitmap.context(), c.filled);
        EXPECT_EQ(bitmap.At(c.x, c.y), kRed) << c.name;
        EXPECT_EQ(bitmap.At(c.outsideX, c.outsideY), kClear) << c.name;
    }
}

TEST(CGContextCTM, SavedWithTheStateAndReportedAsSet)
{
    TestBitmap bitmap(4, 4);
    CGContextSaveGState(bitmap.context());
    CGContextTranslateCTM(bitmap.context(), 3, 4);
    CGContextScaleCTM(bitmap.context(), 2, -1);
    const CGAffineTransform ctm = CGContextGetCTM(bitmap.context());
    EXPECT_TRUE(CGAffineTransformEqualToTransform(ctm, CGAffineTransformMake(2, 0, 0, -1, 3, 4)));
    const CGPoint device = CGContextConvertPointToDeviceSpace(bitmap.context(), CGPointMake(1, 1));
    EXPECT_EQ(device.x, 5);
    EXPECT_EQ(device.y, 3);
    CGContextRestoreGState(bitmap.context());
    EXPECT_TRUE(CGAffineTransformIsIdentity(CGContextGetCTM(bitmap.context())));
    CGContextRestoreGState(bitmap.context());  // nothing saved: no effect
    EXPECT_TRUE(CGAffineTransformIsIdentity(CGContextGetCTM(bitmap.context())));
}

// ---- clearing ----

TEST(CGContextClearRect, ClearsWhateverTheAlphaBlendModeAndShadow)
{
    const CGBlendMode modes[] = {kCGBlendModeNormal,          kCGBlendModeMultiply, kCGBlendModeScreen,
                                 kCGBlendModeDestinationOver, kCGBlendModeCopy,     kCGBlendModeXOR,
                                 kCGBlendModePlusLighter,     kCGBlendModeSourceIn};
    for (CGBlendMode mode : modes)
        for (CGFloat alpha : {1.0f, 0.5f, 0.0f}) {
            TestBitmap bitmap(8, 8);
            bitmap.Fill(0, 1, 0, 1);
            CGContextSetBlendMode(bitmap.context(), mode);
            CGContextSetAlpha(bitmap.context(), alpha);
            CGContextSetShadow(bitmap.context(), CGSizeMake(2, -2), 3);
            CGContextSetRGBFillColor(bitmap.context(), 1, 0, 0, 1);
            CGContextClearRect(bitmap.context(), CGRectMake(2, 2, 4, 4));
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    const bool inside = x >= 2 && x < 6 && y >= 2 && y < 6;
                    ASSERT_EQ(bitmap.At(x, y), inside ? kClear : kGreen)
                        << "mode " << mode << " alpha " << alpha << " at " << x << "," << y;
                }
        }
}

TEST(CGContextClearRect, FollowsTheCTMAndClip)
{
    TestBitmap bitmap(8, 8);
    bitmap.Fill(0, 0, 1, 1);
    CGContextClipToRect(bitmap.context(), CGRectMake(0, 0, 8, 4));
    CGContextTranslateCTM(bitmap.context(), 2, 0);
    CGContextClearRect(bitmap.context(), CGRectMake(0, 0, 2, 8));
    EXPECT_EQ(bitmap.At(2, 0), kClear);
    EXPECT_EQ(bitmap.At(3, 3), kClear);
    EXPECT_EQ(bitmap.At(2, 4), kBlue) << "outside the clip";
    EXPECT_EQ(bitmap.At(0, 0), kBlue) << "outside the moved rectangle";
}

// ---- images and layers ----

TEST(CGContextDrawImage, UprightInYUpSpaceUpsideDownInAFlippedOne)
{
    CFRef<CGImageRef> image = CornerImage();
    struct Case {
        bool flipped;
        RGBA topLeft, topRight, bottomLeft, bottomRight;  // as the buffer shows them
    };
    const Case cases[] = {
        {false, kRed, kGreen, kBlue, kWhite},
        {true, kBlue, kWhite, kRed, kGreen},
    };
    for (const Case& c : cases) {
        TestBitmap bitmap(2, 2);
        if (c.flipped)
            bitmap.Flip();
        CGContextDrawImage(bitmap.context(), CGRectMake(0, 0, 2, 2), image);
        EXPECT_EQ(bitmap.Row(0, 0), c.topLeft) << c.flipped;
        EXPECT_EQ(bitmap.Row(1, 0), c.topRight) << c.flipped;
        EXPECT_EQ(bitmap.Row(0, 1), c.bottomLeft) << c.flipped;
        EXPECT_EQ(bitmap.Row(1, 1), c.bottomRight) << c.flipped;
    }
}

TEST(CGContextDrawImage, StretchedOverTheRectangleAtTheContextsAlpha)
{
    CFRef<CGImageRef> image = CornerImage();
    TestBitmap bitmap(8, 8);
    CGContextSetInterpolationQuality(bitmap.context(), kCGInterpolationNone);
    CGContextSetAlpha(bitmap.context(), 0.5f);
    CGContextDrawImage(bitmap.context(), CGRectMake(2, 2, 4, 4), image);
    ExpectNear(bitmap.At(2, 5), RGBA{128, 0, 0, 128}, "top-left quarter");
    ExpectNear(bitmap.At(5, 2), RGBA{128, 128, 128, 128}, "bottom-right quarter");
    EXPECT_EQ(bitmap.At(1, 1), kClear);
    EXPECT_EQ(bitmap.At(6, 6), kClear);
}

// Images keep the layout of the bytes they were made of, and contexts keep
// theirs; an image drawn into a context of the other layout (or with
// straight alpha) must still land as the same premultiplied colour, on its
// first draw and on the later ones that reuse the converted pixels.
TEST(CGContextDrawImage, ImagesOfEveryLayoutLandAlikeInContextsOfEitherLayout)
{
    // One pixel: a translucent orange over an opaque blue background, as
    // premultiplied red, green, blue, alpha.
    constexpr RGBA kSource{100, 50, 25, 128};
    struct ImageLayout {
        const char* name;
        CGBitmapInfo info;
        std::array<UInt8, 4> bytes;
    };
    const ImageLayout images[] = {
        {"RGBA", kCGImageAlphaPremultipliedLast, {100, 50, 25, 128}},
        {"BGRA", kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, {25, 50, 100, 128}},
        {"straight BGRA", kCGImageAlphaFirst | kCGBitmapByteOrder32Little, {50, 100, 199, 128}},
        {"straight RGBA", kCGImageAlphaLast, {199, 100, 50, 128}},
    };
    struct ContextLayout {
        const char* name;
        CGBitmapInfo info;
        std::array<int, 4> order;  // where red, green, blue and alpha sit
    };
    const ContextLayout contexts[] = {
        {"RGBA context", kCGImageAlphaPremultipliedLast, {0, 1, 2, 3}},
        {"BGRA context", kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, {2, 1, 0, 3}},
    };
    CFRef<CGColorSpaceRef> rgb(CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB));
    for (const ImageLayout& image : images) {
        CFRef<CGDataProviderRef> provider(CGDataProviderCreateWithData(nullptr, image.bytes.data(), 4, nullptr));
        CFRef<CGImageRef> pixel(
            CGImageCreate(1, 1, 8, 32, 4, rgb, image.info, provider, nullptr, false, kCGRenderingIntentDefault));
        ASSERT_TRUE(pixel) << image.name;
        for (const ContextLayout& layout : contexts) {
            SCOPED_TRACE(std::string(image.name) + " into " + layout.name);
            std::vector<UInt8> bytes(3 * 4);
            CFRef<CGContextRef> context(CGBitmapContextCreate(bytes.data(), 3, 1, 8, 12, rgb, layout.info));
            ASSERT_TRUE(context);
            CGContextSetRGBFillColor(context, 0, 0, 1, 1);
            CGContextFillRect(context, CGRectMake(0, 0, 3, 1));
            for (int x : {0, 2})
                CGContextDrawImage(context, CGRectMake(CGFloat(x), 0, 1, 1), pixel);
            for (int x : {0, 2}) {
                RGBA stored;
                for (size_t channel = 0; channel < 4; ++channel)
                    stored[channel] = bytes[size_t(x) * 4 + size_t(layout.order[channel])];
                // Source over: the source plus the background's (255 - 128) / 255.
                ExpectNear(stored, RGBA{kSource[0], kSource[1], kSource[2] + 127, 255}, "drawn");
            }
            EXPECT_EQ((RGBA{bytes[4 + size_t(layout.order[0])], bytes[4 + size_t(layout.order[1])],
                            bytes[4 + size_t(layout.order[2])], bytes[4 + size_t(layout.order[3])]}),
                      (RGBA{0, 0, 255, 255}))
                << "the pixel between is untouched";
        }
    }
}

// A layer takes the layout of the context it is made for, so that it is
// drawn back without being converted; its drawing looks the same in both.
TEST(CGLayer, TakesTheLayoutOfItsContext)
{
    CFRef<CGColorSpaceRef> rgb(CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB));
    struct Case {
        CGBitmapInfo info;
        QImage::Format layerFormat;
    };
    const Case cases[] = {
        {kCGImageAlphaPremultipliedLast, QImage::Format_RGBA8888_Premultiplied},
        {kCGImageAlphaNoneSkipLast, QImage::Format_RGBA8888_Premultiplied},
        {kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, QImage::Format_ARGB32_Premultiplied},
        {kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, QImage::Format_ARGB32_Premultiplied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.info);
        CFRef<CGContextRef> context(CGBitmapContextCreate(nullptr, 4, 4, 8, 0, rgb, c.info));
        ASSERT_TRUE(context);
        CGContextSetRGBFillColor(context, 1, 1, 1, 1);
        CGContextFillRect(context, CGRectMake(0, 0, 4, 4));
        CFRef<CGLayerRef> layer(CGLayerCreateWithContext(context, CGSizeMake(2, 2), nullptr));
        ASSERT_TRUE(layer);
        const QImage* pixels = CGContextGetQImage(CGLayerGetContext(layer));
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(pixels->format(), c.layerFormat);
        EXPECT_EQ(pixels->pixel(0, 0), 0u) << "a layer starts clear";
        CGContextSetRGBFillColor(CGLayerGetContext(layer), 1, 0.5f, 0, 0.5f);
        CGContextFillRect(CGLayerGetContext(layer), CGRectMake(0, 0, 2, 2));
        CGContextDrawLayerAtPoint(context, CGPointMake(1, 1), layer);
        // Half-covered orange over white; the pixels around stay white.
        const QImage drawn = CGContextGetQImage(context)->convertToFormat(QImage::Format_ARGB32);
        for (QPoint inside : {QPoint(1, 1), QPoint(2, 2)}) {
            const QColor colour = drawn.pixelColor(inside);
            EXPECT_EQ(colour.red(), 255);
            EXPECT_NEAR(colour.green(), 191, 1);
            EXPECT_NEAR(colour.blue(), 127, 1);
            EXPECT_EQ(colour.alpha(), 255);
        }
        EXPECT_EQ(drawn.pixelColor(0, 0), QColor(Qt::white));
        EXPECT_EQ(drawn.pixelColor(3, 3), QColor(Qt::white));
    }
}

TEST(CGLayer, DrawsLikeAnImageOfItsPixels)
{
    for (bool flipped : {false, true}) {
        TestBitmap bitmap(4, 4);
        CFRef<CGLayerRef> layer(CGLayerCreateWithContext(bitmap.context(), CGSizeMake(2, 2), nullptr));
        ASSERT_TRUE(layer);
        EXPECT_EQ(CGLayerGetSize(layer).width, 2);
        CGContextRef layerContext = CGLayerGetContext(layer);
        CGContextSetRGBFillColor(layerContext, 1, 0, 0, 1);
        CGContextFillRect(layerContext, CGRectMake(0, 1, 2, 1));  // the layer's top row
        if (flipped)
            bitmap.Flip();
        CGContextDrawLayerAtPoint(bitmap.context(), CGPointMake(1, 1), layer);
        // y-up: rows 1..2 from the bottom, the red row on top; flipped:
        // rows 1..2 from the top, the red row below.
        EXPECT_EQ(bitmap.Row(1, flipped ? 2 : 1), kRed) << flipped;
        EXPECT_EQ(bitmap.Row(1, flipped ? 1 : 2), kClear) << flipped;
        CGContextDrawLayerInRect(bitmap.context(), CGRectMake(0, 0, 4, 4), layer);
        EXPECT_EQ(bitmap.Row(0, flipped ? 3 : 0), kRed) << flipped;
        EXPECT_EQ(bitmap.Row(0, flipped ? 0 : 3), kClear) << flipped;
    }
}

// ---- gradients ----

TEST(CGContextDrawLinearGradient, PaintsPastItsEndsOnlyWhenAsked)
{
    struct Case {
        CGGradientDrawingOptions options;
        bool belowStart, aboveEnd;
    };
    const Case cases[] = {
        {0, false, false},
        {kCGGradientDrawsBeforeStartLocation, true, false},
        {kCGGradientDrawsAfterEndLocation, false, true},
        {kCGGradientDrawsBeforeStartLocation | kCGGradientDrawsAfterEndLocation, true, true},
    };
    const CGFloat components[] = {1, 0, 0, 1, 0, 0, 1, 1};
    CFRef<CGColorSpaceRef> space(CGColorSpaceCreateDeviceRGB());
    CFRef<CGGradientRef> gradient(CGGradientCreateWithColorComponents(space, components, nullptr, 2));
    for (const Case& c : cases) {
        TestBitmap bitmap(4, 30);
        bitmap.Fill(0, 1, 0, 1);
        CGContextDrawLinearGradient(bitmap.context(), gradient, CGPointMake(2, 10), CGPointMake(2, 20), c.options);
        for (int y = 0; y < 10; ++y)
            EXPECT_EQ(bitmap.At(1, y), c.belowStart ? kRed : kGreen) << c.options << " row " << y;
        for (int y = 20; y < 30; ++y)
            EXPECT_EQ(bitmap.At(1, y), c.aboveEnd ? kBlue : kGreen) << c.options << " row " << y;
        // Pixel centres: row 15 lies 0.55 of the way along.
        ExpectNear(bitmap.At(1, 15), RGBA{115, 0, 140, 255}, "middle", 2);
        ExpectNear(bitmap.At(1, 10), RGBA{242, 0, 13, 255}, "first row", 2);
    }
}

TEST(CGContextDrawLinearGradient, InterpolatesStraightComponents)
{
    // From opaque red to transparent blue: halfway is half-alpha purple,
    // not half-alpha red, as premultiplied blending would give.
    const CGFloat components[] = {1, 0, 0, 1, 0, 0, 1, 0};
    CFRef<CGColorSpaceRef> space(CGColorSpaceCreateDeviceRGB());
    CFRef<CGGradientRef> gradient(CGGradientCreateWithColorComponents(space, components, nullptr, 2));
    TestBitmap bitmap(101, 1);
    CGContextDrawLinearGradient(bitmap.context(), gradient, CGPointMake(0.5f, 0), CGPointMake(100.5f, 0), 0);
    const RGBA middle = bitmap.At(50, 0);
    EXPECT_NEAR(middle[3], 128, 4);
    EXPECT_NEAR(middle[0], 64, 4);
    EXPECT_NEAR(middle[2], 64, 4);
}

// ---- shadows ----

TEST(CGContextShadow, OffsetInDeviceSpaceWhateverTheCTM)
{
    for (bool flipped : {false, true}) {
        TestBitmap bitmap(20, 20);
        if (flipped)
            bitmap.Flip();
        CGContextSetShadowWithColor(bitmap.context(), CGSizeMake(5, -5), 0,
                                    CFRef<CGColorRef>(CGColorCreateGenericRGB(0, 0, 1, 1)));
        CGContextSetRGBFillColor(bitmap.context(), 1, 0, 0, 1);
        CGContextFillRect(bitmap.context(), CGRectMake(5, 5, 5, 5));
        // The shape covers buffer rows 10..14 (y-up) or 5..9 (flipped); the
        // shadow lies 5 to the right and 5 further down the buffer either way.
        const int shapeTop = flipped ? 5 : 10;
        EXPECT_EQ(bitmap.Row(6, shapeTop + 1), kRed) << flipped;
        EXPECT_EQ(bitmap.Row(12, shapeTop + 7), kBlue) << flipped;
        EXPECT_EQ(bitmap.Row(12, shapeTop + 2), kClear) << flipped << ": not above";
        EXPECT_EQ(bitmap.Row(6, shapeTop + 8), kClear) << flipped << ": not to the left";
    }
}

TEST(CGContextShadow, BlurSpreadsTheShapesAlphaEvenly)
{
    TestBitmap bitmap(60, 60);
    CGContextSetShadowWithColor(bitmap.context(), CGSizeMake(0, 0), 8,
                                CFRef<CGColorRef>(CGColorCreateGenericRGB(0, 0, 0, 1)));
    CGContextSetRGBFillColor(bitmap.context(), 1, 1, 1, 1);
    CGContextFillRect(bitmap.context(), CGRectMake(20, 20, 20, 20));
    EXPECT_EQ(bitmap.At(30, 30), kWhite) << "the shape on top";
    // Outside the shape the shadow fades with distance, the same way on
    // every side.
    const int near = bitmap.At(17, 30)[3], far = bitmap.At(13, 30)[3];
    EXPECT_GT(near, far);
    EXPECT_GT(far, 0);
    EXPECT_NEAR(bitmap.At(42, 30)[3], near, 2);
    EXPECT_NEAR(bitmap.At(30, 17)[3], near, 2);
    EXPECT_EQ(bitmap.At(0, 0), kClear);
    // Half the shadow's colour at the shape's edge.
    EXPECT_NEAR(bitmap.At(19, 30)[3], 128, 24);
}

namespace {

// The plain separable Gaussian: every pixel sums its taps in ascending
// order, across then down, as floats.
QImage PlainBlur(const QImage& alpha, double sigma)
{
    const int radius = int(std::ceil(3 * sigma));
    std::vector<float> kernel(size_t(2 * radius + 1));
    float total = 0;
    for (int i = -radius; i <= radius; ++i)
        total += kernel[size_t(i + radius)] = float(std::exp(-(i * i) / (2 * sigma * sigma)));
    for (float& weight : kernel)
        weight /= total;
    const int w = alpha.width(), h = alpha.height();
    std::vector<float> across(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float sum = 0;
            for (int k = std::max(0, x - radius); k <= std::min(w - 1, x + radius); ++k)
                sum += kernel[size_t(k - x + radius)] * alpha.constScanLine(y)[k];
            across[size_t(y) * size_t(w) + size_t(x)] = sum;
        }
    QImage blurred(w, h, QImage::Format_Alpha8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float sum = 0;
            for (int k = std::max(0, y - radius); k <= std::min(h - 1, y + radius); ++k)
                sum += kernel[size_t(k - y + radius)] * across[size_t(k) * size_t(w) + size_t(x)];
            blurred.scanLine(y)[x] = uchar(std::min(255.0f, sum + 0.5f));
        }
    return blurred;
}

QImage AlphaImage(int width, int height, const std::function<void(QPainter&)>& draw)
{
    QImage image(width, height, QImage::Format_Alpha8);
    image.fill(0);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    return image;
}

}  // namespace

// The blur skips what only adds zero and copies rows that repeat; whatever
// the shape, it must come out as the plain blur does, to the bit.
TEST(CGContextShadow, TheBlurIsThePlainGaussianToTheBit)
{
    std::mt19937 random(7);
    QImage noise(37, 23, QImage::Format_Alpha8);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.scanLine(y)[x] = random() % 3 == 0 ? 0 : uchar(random());
    const QImage card = AlphaImage(160, 300, [](QPainter& p) {
        QPainterPath body;
        body.addRoundedRect(QRectF(20.5, 20.5, 119, 259), 9, 9);
        p.fillPath(body, Qt::black);
    });
    const QImage bands = AlphaImage(50, 90, [](QPainter& p) {
        for (int y = 5; y < 90; y += 17)
            p.fillRect(QRectF(3, y, 44, 6), QColor(0, 0, 0, 40 + y));
    });
    const QImage text = AlphaImage(120, 20, [](QPainter& p) {
        p.fillRect(QRectF(4.3, 5, 2, 9), Qt::black);
        p.drawEllipse(QRectF(12, 4, 9, 10));
    });
    QImage column(1, 40, QImage::Format_Alpha8);
    column.fill(0);
    column.scanLine(20)[0] = 255;
    QImage full(30, 30, QImage::Format_Alpha8);
    full.fill(255);
    struct Case {
        const char* name;
        QImage image;
    };
    const Case cases[] = {{"noise", noise},      {"rounded card", card}, {"bands and empty rows", bands},
                          {"a text line", text}, {"one column", column}, {"all opaque", full}};
    for (const Case& c : cases) {
        for (double sigma : {0.5, 2.3, 5.0}) {
            SCOPED_TRACE(testing::Message() << c.name << ", sigma " << sigma);
            const QImage expected = PlainBlur(c.image, sigma);
            const QImage blurred = CGBlurAlpha(c.image, sigma);
            ASSERT_EQ(blurred.size(), expected.size());
            int differing = 0;
            for (int y = 0; y < expected.height(); ++y)
                differing +=
                    std::memcmp(blurred.constScanLine(y), expected.constScanLine(y), size_t(expected.width())) != 0;
            EXPECT_EQ(differing, 0);
            // Asked again (the large ones are remembered), the same.
            EXPECT_EQ(CGBlurAlpha(c.image, sigma), expected);
        }
    }
}

// ---- images over what is there ----

TEST(CGContextImages, AFullyTransparentImageChangesNothingExceptInCopyMode)
{
    QImage clear(4, 4, QImage::Format_ARGB32_Premultiplied);
    clear.fill(Qt::transparent);
    CFRef<CGImageRef> image(CGImageCreateWithQImage(clear));
    for (const bool copy : {false, true}) {
        SCOPED_TRACE(copy ? "copy" : "normal");
        TestBitmap bitmap(10, 10);
        bitmap.Fill(1, 0, 0, 1);
        if (copy)
            CGContextSetBlendMode(bitmap.context(), kCGBlendModeCopy);
        else
            CGContextSetShadow(bitmap.context(), CGSizeMake(2, -2), 2);
        CGContextDrawImage(bitmap.context(), CGRectMake(2, 2, 6, 6), image);
        EXPECT_EQ(bitmap.At(5, 5), copy ? kClear : kRed) << "under the image";
        EXPECT_EQ(bitmap.At(8, 1), kRed) << "beside it, where a shadow would fall";
    }
}

// Tall paints go to the pixels in bands of rows; no pixel may come out
// otherwise than in one go.
TEST(CGContextImages, ATallStretchedImageLandsAsQtDrawsItInOneGo)
{
    QImage source(3, 5, QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            source.setPixelColor(x, y, QColor::fromRgb(40 * x + 30, 50 * y, 200, 120 + 25 * x));
    CFRef<CGImageRef> image(CGImageCreateWithQImage(source));
    TestBitmap bitmap(37, 301);
    CGContextDrawImage(bitmap.context(), CGRectMake(0, 0, 37, 301), image);

    QImage expected(37, 301, QImage::Format_RGBA8888_Premultiplied);
    expected.fill(Qt::transparent);
    {
        QPainter painter(&expected);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setTransform(QTransform::fromScale(37.0 / 3, 301.0 / 5));
        painter.drawImage(QPointF(0, 0), source);
    }
    int differing = 0;
    for (int y = 0; y < 301; ++y)
        for (int x = 0; x < 37; ++x)
            differing +=
                bitmap.Row(x, y) != RGBA{UInt8(qRed(expected.pixel(x, y))), UInt8(qGreen(expected.pixel(x, y))),
                                         UInt8(qBlue(expected.pixel(x, y))), UInt8(qAlpha(expected.pixel(x, y)))};
    EXPECT_EQ(differing, 0);
}

TEST(CGContextState, DrawsPlainlyOnlyWithoutAlphaBlendShadowOrMask)
{
    QImage maskPixels(4, 4, QImage::Format_Grayscale8);
    maskPixels.fill(255);
    CFRef<CGImageRef> mask(CGImageCreateWithQImage(maskPixels));
    const struct {
        const char* name;
        std::function<void(CGContextRef)> set;
        bool plain;
    } rows[] = {
        {"fresh", [](CGContextRef) {}, true},
        {"clipped to a rectangle", [](CGContextRef c) { CGContextClipToRect(c, CGRectMake(1, 1, 5, 5)); }, true},
        {"alpha", [](CGContextRef c) { CGContextSetAlpha(c, 0.5); }, false},
        {"blend mode", [](CGContextRef c) { CGContextSetBlendMode(c, kCGBlendModeMultiply); }, false},
        {"shadow", [](CGContextRef c) { CGContextSetShadow(c, CGSizeMake(1, 1), 1); }, false},
        {"mask", [&](CGContextRef c) { CGContextClipToMask(c, CGRectMake(0, 0, 4, 4), mask); }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TestBitmap bitmap(8, 8);
        row.set(bitmap.context());
        EXPECT_EQ(CGContextDrawsPlainly(bitmap.context()), row.plain);
    }
    EXPECT_FALSE(CGContextDrawsPlainly(nullptr));
}

TEST(CGContextShadow, NoneWithoutOffsetAndBlurOrWithNilColour)
{
    for (int variant = 0; variant < 2; ++variant) {
        TestBitmap bitmap(10, 10);
        if (variant == 0)
            CGContextSetShadow(bitmap.context(), CGSizeMake(0, 0), 0);
        else
            CGContextSetShadowWithColor(bitmap.context(), CGSizeMake(3, 3), 3, nullptr);
        CGContextSetRGBFillColor(bitmap.context(), 1, 0, 0, 0.5f);
        CGContextFillRect(bitmap.context(), CGRectMake(2, 2, 4, 4));
        EXPECT_EQ(bitmap.At(3, 3), (RGBA{128, 0, 0, 128})) << variant;
        EXPECT_EQ(bitmap.At(7, 7), kClear) << variant;
    }
}

// ---- transparency layers ----

TEST(CGContextTransparencyLayer, CompositesTheGroupAtTheAlphaItBeganWith)
{
    for (bool layered : {false, true}) {
        TestBitmap bitmap(12, 4);
        CGContextSetAlpha(bitmap.context(), 0.5f);
        if (layered)
            CGContextBeginTransparencyLayer(bitmap.context(), nullptr);
        CGContextSetRGBFillColor(bitmap.context(), 1, 0, 0, 1);
        CGContextFillRect(bitmap.context(), CGRectMake(0, 0, 8, 4));
        CGContextFillRect(bitmap.context(), CGRectMake(4, 0, 8, 4));
        if (layered)
            CGContextEndTransparencyLayer(bitmap.context());
        // Grouped, the overlap looks like the rest; drawn one by one it is
        // darker.
        const RGBA single = bitmap.At(1, 1), overlap = bitmap.At(6, 1);
        ExpectNear(single, RGBA{128, 0, 0, 128}, layered ? "layered" : "one by one");
        if (layered)
            EXPECT_EQ(overlap, single);
        else
            EXPECT_GT(overlap[3], single[3]);
    }
}

TEST(CGContextTransparencyLayer, KeepsTheStateItBeganWith)
{
    TestBitmap bitmap(10, 10);
    CGContextClipToRect(bitmap.context(), CGRectMake(0, 0, 5, 10));
    CGContextSetAlpha(bitmap.context(), 0.5f);
    CGContextBeginTransparencyLayer(bitmap.context(), nullptr);
    CGContextRestoreGState(bitmap.context());  // cannot undo the layer's own state
    CGContextSaveGState(bitmap.context());
    CGContextTranslateCTM(bitmap.context(), 100, 100);  // left saved when the layer ends
    CGContextSetRGBFillColor(bitmap.context(), 0, 0, 1, 1);
    CGContextFillRect(bitmap.context(), CGRectMake(-100, -100, 10, 10));
    CGContextEndTransparencyLayer(bitmap.context());
    ExpectNear(bitmap.At(2, 2), RGBA{0, 0, 128, 128}, "at the layer's alpha");
    EXPECT_EQ(bitmap.At(7, 2), kClear) << "clipped when composited";
    EXPECT_TRUE(CGAffineTransformIsIdentity(CGContextGetCTM(bitmap.context())));
}

TEST(CGContextTransparencyLayer, ALayerWithARectangleGroupsInsideItAndCutsOffTheRest)
{
    // Under a shadow, a layer of two overlapping squares casts one shadow
    // and lands where it was drawn; what lies outside the rectangle is cut.
    TestBitmap bitmap(40, 40);
    CGContextRef c = bitmap.context();
    CGContextTranslateCTM(c, 5, 5);
    CGContextSetShadowWithColor(c, CGSizeMake(4, -4), 0, CGColorGetConstantColor(kCGColorBlack));
    CGContextSetAlpha(c, 0.5f);
    CGContextBeginTransparencyLayerWithRect(c, CGRectMake(5, 5, 20, 20), nullptr);
    CGContextSetRGBFillColor(c, 1, 0, 0, 1);
    CGContextFillRect(c, CGRectMake(5, 5, 10, 10));
    CGContextFillRect(c, CGRectMake(10, 10, 10, 10));
    CGContextFillRect(c, CGRectMake(28, 5, 4, 4));  // outside the rectangle
    CGContextEndTransparencyLayer(c);
    const RGBA single = bitmap.At(11, 11), overlap = bitmap.At(17, 17);
    EXPECT_EQ(overlap, single) << "the overlap was composited twice";
    ExpectNear(single, RGBA{128, 0, 0, 128}, "the group");
    EXPECT_EQ(bitmap.At(34, 11), kClear) << "drawing outside the rectangle showed";
    EXPECT_EQ(bitmap.At(38, 7), kClear) << "what was cut off cast a shadow";
    ExpectNear(bitmap.At(22, 8), RGBA{0, 0, 0, 128}, "the group's shadow");
    EXPECT_EQ(bitmap.At(21, 12), bitmap.At(22, 8)) << "the shadow fell twice where the squares overlap";
    EXPECT_EQ(CGContextGetCTM(c).tx, 5);
}

// ---- clipping ----

TEST(CGContextClip, ShrinksUntilTheStateIsRestored)
{
    TestBitmap bitmap(10, 10);
    CGContextSaveGState(bitmap.context());
    CGContextClipToRect(bitmap.context(), CGRectMake(0, 0, 6, 10));
    CGContextAddRect(bitmap.context(), CGRectMake(4, 0, 6, 10));
    CGContextClip(bitmap.context());
    EXPECT_TRUE(CGContextIsPathEmpty(bitmap.context())) << "clipping uses the path up";
    const CGRect box = CGContextGetClipBoundingBox(bitmap.context());
    EXPECT_EQ(box.origin.x, 4);
    EXPECT_EQ(box.size.width, 2);
    bitmap.Fill(1, 0, 0, 1);
    CGContextRestoreGState(bitmap.context());
    EXPECT_EQ(bitmap.At(4, 5), kRed);
    EXPECT_EQ(bitmap.At(5, 5), kRed);
    EXPECT_EQ(bitmap.At(3, 5), kClear);
    EXPECT_EQ(bitmap.At(6, 5), kClear);
    bitmap.Fill(0, 0, 1, 1);
    EXPECT_EQ(bitmap.At(0, 0), kBlue) << "restored";
}

TEST(CGContextClip, EvenOddLeavesTheHole)
{
    TestBitmap bitmap(10, 10);
    CGContextAddRect(bitmap.context(), CGRectMake(0, 0, 10, 10));
    CGContextAddRect(bitmap.context(), CGRectMake(3, 3, 4, 4));
    CGContextEOClip(bitmap.context());
    bitmap.Fill(1, 0, 0, 1);
    EXPECT_EQ(bitmap.At(1, 1), kRed);
    EXPECT_EQ(bitmap.At(5, 5), kClear);
}

TEST(CGContextClip, ToAMaskOfGreyLevels)
{
    // A grey mask of one row: black, mid grey, white.
    const UInt8 samples[] = {0, 128, 255};
    CFRef<CGDataProviderRef> provider(CGDataProviderCreateWithData(nullptr, samples, sizeof samples, nullptr));
    CFRef<CGColorSpaceRef> gray(CGColorSpaceCreateDeviceGray());
    CFRef<CGImageRef> mask(
        CGImageCreate(3, 1, 8, 8, 3, gray, kCGImageAlphaNone, provider, nullptr, false, kCGRenderingIntentDefault));
    ASSERT_TRUE(mask);
    TestBitmap bitmap(5, 1);
    CGContextSetInterpolationQuality(bitmap.context(), kCGInterpolationNone);
    CGContextClipToMask(bitmap.context(), CGRectMake(1, 0, 3, 1), mask);
    bitmap.Fill(1, 1, 1, 1);
    EXPECT_EQ(bitmap.At(0, 0), kClear) << "outside the mask";
    EXPECT_EQ(bitmap.At(1, 0), kClear);
    EXPECT_NEAR(bitmap.At(2, 0)[3], 128, 1);
    EXPECT_EQ(bitmap.At(3, 0), kWhite);
    EXPECT_EQ(bitmap.At(4, 0), kClear);
}

// ---- paths ----

namespace {

void ExpectPoint(CGPoint point, double x, double y, const char* what)
{
    EXPECT_NEAR(point.x, x, 1e-3) << what;
    EXPECT_NEAR(point.y, y, 1e-3) << what;
}

}  // namespace

TEST(CGContextPath, ArcToPointIsTangentToBothLines)
{
    // At a 45° turn the tangent points lie r·tan(22.5°) from the corner.
    const CGFloat d = CGFloat(10 * std::tan(std::numbers::pi / 8));
    const CGFloat diagonal = d * std::sqrt(0.5f);
    struct Case {
        const char* name;
        CGPoint start, corner, toward;
        CGFloat radius;
        CGPoint end;    // the arc's second tangent point
        CGRect bounds;  // of the whole path
    };
    const Case cases[] = {
        {"left turn", {0, 0}, {10, 0}, {10, 10}, 4, {10, 4}, {{0, 0}, {10, 4}}},
        {"right turn", {0, 0}, {10, 0}, {10, -10}, 4, {10, -4}, {{0, -4}, {10, 4}}},
        // The tangent points lie beyond the segments: the platform still
        // draws the tangent circle, going back past the start first.
        {"radius larger than the segments", {0, 0}, {10, 0}, {10, 10}, 20, {10, 20}, {{-10, 0}, {20, 20}}},
        {"obtuse corner",
         {0, 0},
         {10, 0},
         {20, 10},
         10,
         {10 + diagonal, diagonal},
         {{0, 0}, {10 + diagonal, diagonal}}},
        {"collinear", {0, 0}, {10, 0}, {20, 0}, 4, {10, 0}, {{0, 0}, {10, 0}}},
        {"no radius", {0, 0}, {10, 0}, {10, 10}, 0, {10, 0}, {{0, 0}, {10, 0}}},
    };
    for (const Case& c : cases) {
        TestBitmap bitmap(1, 1);
        CGContextMoveToPoint(bitmap.context(), c.start.x, c.start.y);
        CGContextAddArcToPoint(bitmap.context(), c.corner.x, c.corner.y, c.toward.x, c.toward.y, c.radius);
        ExpectPoint(CGContextGetPathCurrentPoint(bitmap.context()), c.end.x, c.end.y, c.name);
        CFRef<CGPathRef> path(CGContextCopyPath(bitmap.context()));
        const CGRect box = CGPathGetPathBoundingBox(path);
        EXPECT_NEAR(CGRectGetMinX(box), c.bounds.origin.x, 1e-3) << c.name;
        EXPECT_NEAR(CGRectGetMinY(box), c.bounds.origin.y, 1e-3) << c.name;
        EXPECT_NEAR(CGRectGetWidth(box), c.bounds.size.width, 1e-2) << c.name;
        EXPECT_NEAR(CGRectGetHeight(box), c.bounds.size.height, 1e-2) << c.name;
    }
}

TEST(CGContextPath, ArcsRunTheWayAsked)
{
    struct Case {
        CGFloat start, end;
        int clockwise;
        CGPoint last;
        CGFloat topOfBox;  // the highest y the arc reaches
    };
    const double pi = std::numbers::pi;
    const Case cases[] = {
        {0, CGFloat(pi / 2), 0, {0, 10}, 10},    // counter-clockwise through the first quadrant
        {0, CGFloat(pi / 2), 1, {0, 10}, 10},    // clockwise, three quarters round
        {0, CGFloat(2 * pi), 0, {10, 0}, 10},    // a whole turn
        {0, CGFloat(-pi / 2), 0, {0, -10}, 10},  // counter-clockwise the long way
        {0, CGFloat(-pi / 2), 1, {0, -10}, 0},   // clockwise the short way
    };
    for (const Case& c : cases) {
        TestBitmap bitmap(1, 1);
        CGContextAddArc(bitmap.context(), 0, 0, 10, c.start, c.end, c.clockwise);
        ExpectPoint(CGContextGetPathCurrentPoint(bitmap.context()), c.last.x, c.last.y, "end");
        CFRef<CGPathRef> path(CGContextCopyPath(bitmap.context()));
        EXPECT_NEAR(CGRectGetMaxY(CGPathGetPathBoundingBox(path)), c.topOfBox, 0.01)
            << c.start << " " << c.end << " " << c.clockwise;
    }
}

TEST(CGContextPath, LinesNeedACurrentPointAndPaintingUsesThePathUp)
{
    TestBitmap bitmap(10, 10);
    CGContextAddLineToPoint(bitmap.context(), 5, 5);
    EXPECT_TRUE(CGContextIsPathEmpty(bitmap.context()));
    CGContextMoveToPoint(bitmap.context(), 0, 0);
    CGContextAddLineToPoint(bitmap.context(), 10, 0);
    CGContextAddLineToPoint(bitmap.context(), 10, 10);
    CGContextClosePath(bitmap.context());
    ExpectPoint(CGContextGetPathCurrentPoint(bitmap.context()), 0, 0, "closing returns to the start");
    EXPECT_TRUE(CGContextPathContainsPoint(bitmap.context(), CGPointMake(8, 2), kCGPathFill));
    EXPECT_FALSE(CGContextPathContainsPoint(bitmap.context(), CGPointMake(2, 8), kCGPathFill));
    CGContextSetRGBFillColor(bitmap.context(), 1, 0, 0, 1);
    CGContextFillPath(bitmap.context());
    EXPECT_TRUE(CGContextIsPathEmpty(bitmap.context()));
    EXPECT_EQ(bitmap.At(8, 1), kRed);
    EXPECT_EQ(bitmap.At(1, 8), kClear);
}

TEST(CGContextPath, StrokesFollowTheUserSpaceLineWidth)
{
    TestBitmap bitmap(20, 20);
    CGContextScaleCTM(bitmap.context(), 2, 2);
    CGContextSetLineWidth(bitmap.context(), 2);
    CGContextSetRGBStrokeColor(bitmap.context(), 0, 0, 1, 1);
    CGContextMoveToPoint(bitmap.context(), 0, 5);
    CGContextAddLineToPoint(bitmap.context(), 10, 5);
    CGContextStrokePath(bitmap.context());
    // A line 4 device pixels wide centred on y = 10.
    for (int y : {8, 9, 10, 11})
        EXPECT_EQ(bitmap.At(5, y), kBlue) << y;
    EXPECT_EQ(bitmap.At(5, 7), kClear);
    EXPECT_EQ(bitmap.At(5, 12), kClear);
}

TEST(CGPath, ObjectsAddedToTheContextThroughTheCTM)
{
    CFRef<CGMutablePathRef> path(CGPathCreateMutable());
    const CGAffineTransform shift = CGAffineTransformMakeTranslation(1, 0);
    CGPathAddRect(path, &shift, CGRectMake(0, 0, 2, 2));
    CGRect rect;
    EXPECT_TRUE(CGPathIsRect(path, &rect));
    EXPECT_TRUE(CGRectEqualToRect(rect, CGRectMake(1, 0, 2, 2)));
    EXPECT_TRUE(CGPathContainsPoint(path, nullptr, CGPointMake(2, 1), false));
    TestBitmap bitmap(8, 8);
    CGContextScaleCTM(bitmap.context(), 2, 2);
    CGContextAddPath(bitmap.context(), path);
    CGContextSetRGBFillColor(bitmap.context(), 0, 1, 0, 1);
    CGContextFillPath(bitmap.context());
    EXPECT_EQ(bitmap.At(2, 0), kGreen);
    EXPECT_EQ(bitmap.At(5, 3), kGreen);
    EXPECT_EQ(bitmap.At(1, 0), kClear);
    EXPECT_EQ(bitmap.At(6, 0), kClear);
}

TEST(CGContextClearRect, ThroughAMaskClearsAsMuchAsTheMaskLets)
{
    const UInt8 samples[] = {255, 0};
    CFRef<CGDataProviderRef> provider(CGDataProviderCreateWithData(nullptr, samples, sizeof samples, nullptr));
    CFRef<CGColorSpaceRef> gray(CGColorSpaceCreateDeviceGray());
    CFRef<CGImageRef> mask(
        CGImageCreate(2, 1, 8, 8, 2, gray, kCGImageAlphaNone, provider, nullptr, false, kCGRenderingIntentDefault));
    TestBitmap bitmap(2, 1);
    bitmap.Fill(0, 1, 0, 1);
    CGContextSetInterpolationQuality(bitmap.context(), kCGInterpolationNone);
    CGContextClipToMask(bitmap.context(), CGRectMake(0, 0, 2, 1), mask);
    CGContextClearRect(bitmap.context(), CGRectMake(0, 0, 2, 1));
    EXPECT_EQ(bitmap.At(0, 0), kClear);
    EXPECT_EQ(bitmap.At(1, 0), kGreen);
}

TEST(CGContextBlendMode, SeparableModesMixWithWhatIsThere)
{
    struct Case {
        CGBlendMode mode;
        RGBA expected;
    };
    // A grey of 0.5 drawn over opaque (1, 0.5, 0).
    const Case cases[] = {
        {kCGBlendModeNormal, {128, 128, 128, 255}},  {kCGBlendModeMultiply, {128, 64, 0, 255}},
        {kCGBlendModeScreen, {255, 191, 128, 255}},  {kCGBlendModeDarken, {128, 128, 0, 255}},
        {kCGBlendModeLighten, {255, 128, 128, 255}}, {kCGBlendModeDifference, {127, 0, 128, 255}},
        {kCGBlendModeCopy, {128, 128, 128, 255}},
    };
    for (const Case& c : cases) {
        TestBitmap bitmap(1, 1);
        bitmap.Fill(1, 0.5f, 0, 1);
        CGContextSetBlendMode(bitmap.context(), c.mode);
        CGContextSetGrayFillColor(bitmap.context(), 0.5f, 1);
        CGContextFillRect(bitmap.context(), CGRectMake(0, 0, 1, 1));
        for (size_t i = 0; i < 4; ++i)
            EXPECT_NEAR(bitmap.At(0, 0)[i], c.expected[i], 1) << "mode " << c.mode << ", channel " << i;
    }
}

TEST(CGContextQt, ViewContextsStartFlipped)
{
    QImage pixels(4, 4, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::transparent);
    CFRef<CGContextRef> context(CGContextCreateWithQImage(&pixels, true));
    EXPECT_TRUE(CGAffineTransformEqualToTransform(CGContextGetCTM(context), CGAffineTransformMake(1, 0, 0, -1, 0, 4)));
    CGContextSetRGBFillColor(context, 1, 0, 0, 1);
    CGContextFillRect(context, CGRectMake(0, 0, 1, 1));
    EXPECT_EQ(pixels.pixelColor(0, 0), QColor(Qt::red)) << "the origin at the top-left";
    CFRef<CGImageRef> corners = CornerImage();
    CGContextDrawImage(context, CGRectMake(2, 2, 2, 2), corners);
    EXPECT_EQ(pixels.pixelColor(2, 3), QColor(Qt::red)) << "upside down, as on the platform";
    EXPECT_EQ(pixels.pixelColor(2, 2), QColor(Qt::blue));
}
