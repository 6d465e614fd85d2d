#include <CGTestSupport.h>
#include <Units/Utilities/CGContextMore.h>

#include <cmath>

namespace {

void ExpectRectNear(CGRect r, CGRect expected, const char* what)
{
    EXPECT_NEAR(r.origin.x, expected.origin.x, 1e-3) << what;
    EXPECT_NEAR(r.origin.y, expected.origin.y, 1e-3) << what;
    EXPECT_NEAR(r.size.width, expected.size.width, 1e-3) << what;
    EXPECT_NEAR(r.size.height, expected.size.height, 1e-3) << what;
}

}  // namespace

TEST(CGContextMore, RoundedRectanglesFromArcsToPoints)
{
    // The corner radius is radius × oval in points: (2, 2, 7) gives 14-point
    // corners, (2, 2, 5) 10-point ones, the four-argument form the oval.
    struct Case {
        CGFloat ovalWidth, ovalHeight, radius;
        CGFloat corner;
    };
    const CGRect rect = CGRectMake(10, 20, 80, 60);
    for (const Case& c : {Case{2, 2, 7, 14}, Case{2, 2, 5, 10}, Case{12, 12, 1, 12}, Case{4, 2, 2, 8}}) {
        TestBitmap bitmap(1, 1);
        CGContextAddRoundedRect(bitmap.context(), rect, c.ovalWidth, c.ovalHeight, c.radius);
        CFRef<CGPathRef> path(CGContextCopyPath(bitmap.context()));
        ExpectRectNear(CGPathGetPathBoundingBox(path), rect, "the rectangle's bounds");
        EXPECT_TRUE(CGAffineTransformIsIdentity(CGContextGetCTM(bitmap.context()))) << "the state is restored";
        // Along the diagonal of each corner's circle: just inside and just
        // outside its arc (the horizontal radius; these ovals are round
        // except the last, whose vertical radius is half).
        const CGFloat rx = c.corner, ry = c.corner * c.ovalHeight / c.ovalWidth;
        const CGFloat inX = rx * (1 - std::sqrt(0.5f)) + 0.15f, inY = ry * (1 - std::sqrt(0.5f)) + 0.15f;
        const CGFloat outX = rx * (1 - std::sqrt(0.5f)) - 0.15f, outY = ry * (1 - std::sqrt(0.5f)) - 0.15f;
        EXPECT_TRUE(CGPathContainsPoint(path, nullptr, CGPointMake(10 + inX, 20 + inY), false)) << c.corner;
        EXPECT_FALSE(CGPathContainsPoint(path, nullptr, CGPointMake(10 + outX, 20 + outY), false)) << c.corner;
        EXPECT_TRUE(CGPathContainsPoint(path, nullptr, CGPointMake(90 - inX, 80 - inY), false)) << c.corner;
        EXPECT_FALSE(CGPathContainsPoint(path, nullptr, CGPointMake(90 - outX, 80 - outY), false)) << c.corner;
        EXPECT_TRUE(CGPathContainsPoint(path, nullptr, CGPointMake(10.1f, 50), false)) << "straight sides";
    }
    // No oval, no corners.
    TestBitmap bitmap(1, 1);
    CGContextAddRoundedRect(bitmap.context(), rect, 0, 0);
    CFRef<CGPathRef> path(CGContextCopyPath(bitmap.context()));
    CGRect plain;
    EXPECT_TRUE(CGPathIsRect(path, &plain));
    ExpectRectNear(plain, rect, "a plain rectangle");
}

TEST(CGContextMore, FilledAndStrokedRoundedRectangles)
{
    TestBitmap bitmap(40, 40);
    CGContextSetRGBFillColor(bitmap.context(), 1, 0, 0, 1);
    CGContextFillRoundedRect(bitmap.context(), CGRectMake(0, 0, 40, 40), 10, 10);
    EXPECT_EQ(bitmap.At(0, 0), kClear);
    EXPECT_EQ(bitmap.At(20, 0), kRed);
    EXPECT_EQ(bitmap.At(20, 20), kRed);
    CGContextSetRGBStrokeColor(bitmap.context(), 0, 0, 1, 1);
    CGContextSetLineWidth(bitmap.context(), 2);
    CGContextStrokeRoundedRect(bitmap.context(), CGRectMake(0, 0, 40, 40), 10, 10);
    EXPECT_EQ(bitmap.At(20, 0), kBlue);
    EXPECT_EQ(bitmap.At(20, 20), kRed);
}

TEST(CGContextMore, QuarterTurnsAndFlipsMapTheRectangleOntoItself)
{
    const CGRect rects[] = {CGRectMake(0, 0, 40, 20), CGRectMake(10, 5, 30, 12), CGRectMake(-4, 7, 9, 3)};
    for (const CGRect& r : rects) {
        for (bool clockwise : {true, false}) {
            TestBitmap bitmap(1, 1);
            if (clockwise)
                CGContextRotateCW(bitmap.context(), r);
            else
                CGContextRotateCCW(bitmap.context(), r);
            // The rectangle at the same origin with its sides exchanged
            // covers the original one.
            const CGRect turned = CGRectMake(r.origin.x, r.origin.y, r.size.height, r.size.width);
            ExpectRectNear(CGRectApplyAffineTransform(turned, CGContextGetCTM(bitmap.context())), r,
                           clockwise ? "clockwise" : "counter-clockwise");
        }
        TestBitmap bitmap(1, 1);
        CGContextFlipVertically(bitmap.context(), r);
        const CGAffineTransform ctm = CGContextGetCTM(bitmap.context());
        ExpectRectNear(CGRectApplyAffineTransform(r, ctm), r, "flipped");
        const CGPoint bottom = CGPointApplyAffineTransform(r.origin, ctm);
        EXPECT_NEAR(bottom.y, CGRectGetMaxY(r), 1e-3) << "the bottom edge goes to the top";
    }
    // Clockwise on the screen: in a flipped (view) space the rectangle's
    // new x axis runs down its right edge.
    TestBitmap bitmap(1, 1);
    CGContextRotateCW(bitmap.context(), CGRectMake(0, 0, 40, 20));
    const CGPoint origin = CGPointApplyAffineTransform(CGPointMake(0, 0), CGContextGetCTM(bitmap.context()));
    const CGPoint alongX = CGPointApplyAffineTransform(CGPointMake(1, 0), CGContextGetCTM(bitmap.context()));
    EXPECT_NEAR(origin.x, 40, 1e-3);
    EXPECT_NEAR(alongX.y - origin.y, 1, 1e-3);
}

TEST(CGContextMore, TwoColourGradients)
{
    const ATSURGBAlphaColor red = CGRGBColorMake(1, 0, 0, 1), blue = CGRGBColorMake(0, 0, 1, 1);
    {
        // Vertical: upwards through the rectangle, across the whole clip,
        // nothing above or below it.
        TestBitmap bitmap(30, 30);
        CGContextDrawRGBGradient(bitmap.context(), CGRectMake(10, 10, 10, 10), red, blue, false);
        EXPECT_EQ(bitmap.At(15, 5), kClear);
        EXPECT_EQ(bitmap.At(15, 25), kClear);
        EXPECT_GT(bitmap.At(15, 10)[0], 200);
        EXPECT_GT(bitmap.At(15, 19)[2], 200);
        EXPECT_EQ(bitmap.At(2, 12), bitmap.At(15, 12)) << "beside the rectangle too";
    }
    {
        // Horizontal: from the left edge to half a width past the right
        // one, and on beyond it.
        TestBitmap bitmap(40, 4);
        CGContextDrawRGBGradient(bitmap.context(), CGRectMake(10, 0, 10, 4), red, blue, true);
        EXPECT_EQ(bitmap.At(5, 1), kClear);
        EXPECT_NEAR(bitmap.At(19, 1)[2], 255 * 19.5 / 15 - 255 * 10 / 15, 3) << "two thirds along at the right edge";
        EXPECT_EQ(bitmap.At(35, 1), kBlue) << "past the end";
    }
}

TEST(CGContextMore, PlainRectanglesHaveNoSoftEdges)
{
    TestBitmap bitmap(12, 12);
    CGContextSetRGBStrokeColor(bitmap.context(), 0, 0, 0, 1);
    CGContextStrokePlainRect(bitmap.context(), CGRectMake(2.3f, 2.3f, 6, 6));
    int inked = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const int alpha = bitmap.At(x, y)[3];
            EXPECT_TRUE(alpha == 0 || alpha == 255) << x << "," << y;
            inked += alpha == 255;
        }
    EXPECT_GE(inked, 20);
    // The line width and antialiasing come back afterwards.
    CGContextMoveToPoint(bitmap.context(), 0, 10.5f);
    CGContextAddLineToPoint(bitmap.context(), 12, 10.5f);
    CGContextSetLineWidth(bitmap.context(), 0.5f);
    CGContextStrokePath(bitmap.context());
    EXPECT_NEAR(bitmap.At(11, 10)[3], 128, 2);
}

TEST(CGContextMore, ShadowsCleared)
{
    TestBitmap bitmap(20, 20);
    CGContextSetShadow(bitmap.context(), CGSizeMake(4, -4), 2);
    CGContextClearShadow(bitmap.context());
    CGContextSetRGBFillColor(bitmap.context(), 1, 0, 0, 1);
    CGContextFillRect(bitmap.context(), CGRectMake(5, 10, 5, 5));
    EXPECT_EQ(bitmap.At(11, 8), kClear);
}

TEST(CGContextMore, CoreImageImagesUprightInAFlippedContext)
{
    NSAutoreleasePool* pool = NSAutoreleasePool::newPool();
    CFRef<CGImageRef> corners = CornerImage();
    TestBitmap bitmap(6, 6);
    bitmap.Flip();
    CGContextDrawCIImage(bitmap.context(), CGPointMake(2, 1), CGRectMake(0, 0, 2, 2),
                         CIImage::imageWithCGImage(corners));
    // At (2, 1) from the top-left: the image's top row on top.
    EXPECT_EQ(bitmap.Row(2, 1), kRed);
    EXPECT_EQ(bitmap.Row(3, 2), kWhite);
    EXPECT_EQ(bitmap.Row(2, 3), kClear);
    pool->release();
}

TEST(CGContextMore, IconsSquareInTheMiddle)
{
    IconRef icon = nullptr;
    ASSERT_EQ(GetIconRef(0, kSystemIconsCreator, kGenericFolderIcon, &icon), noErr);
    TestBitmap bitmap(40, 20);
    CGContextDrawIcon(bitmap.context(), CGRectMake(0, 0, 40, 20), icon);
    ReleaseIconRef(icon);
    int left = 40, right = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            if (bitmap.At(x, y)[3]) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    EXPECT_GE(left, 10);
    EXPECT_LT(right, 30);
    EXPECT_GT(right, left);
}
