#include <CGTestSupport.h>
#include <FileFixtures.h>
#include <StalledFifo.h>
#include <Units/Utilities/CGUtilities.h>

#include <Units/Utilities/FSUtilities.h>

#include <CoreFoundation/CFRef.h>
#include <CoreGraphics/CGImageQt.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <numbers>
#include <string>

namespace {

void ExpectRect(CGRect r, CGFloat x, CGFloat y, CGFloat width, CGFloat height, const std::string& what)
{
    EXPECT_EQ(r.origin.x, x) << what;
    EXPECT_EQ(r.origin.y, y) << what;
    EXPECT_EQ(r.size.width, width) << what;
    EXPECT_EQ(r.size.height, height) << what;
}

}  // namespace

TEST(CGUtilitiesGeometry, AspectFitScalesByTheSmallerRatio)
{
    struct Case {
        CGSize image, box;
        CGRect start;
        CGRect expected;
    };
    const Case cases[] = {
        {{400, 200}, {100, 100}, {{7, 8}, {1, 1}}, {{7, 8}, {100, 50}}},
        {{100, 300}, {200, 100}, {{0, 0}, {0, 0}}, {{0, 0}, {33, 100}}},
        // The box's shape alone does not decide which side limits.
        {{400, 100}, {300, 250}, {{0, 0}, {0, 0}}, {{0, 0}, {300, 75}}},
        {{100, 400}, {250, 300}, {{0, 0}, {0, 0}}, {{0, 0}, {75, 300}}},
        // Squares scale too.
        {{400, 400}, {100, 100}, {{0, 0}, {0, 0}}, {{0, 0}, {100, 100}}},
        {{50, 50}, {100, 60}, {{0, 0}, {0, 0}}, {{0, 0}, {60, 60}}},
        // Small images grow.
        {{50, 25}, {200, 200}, {{0, 0}, {0, 0}}, {{0, 0}, {200, 100}}},
        // Thirds that floats cannot hold exactly still give whole sides.
        {{300, 900}, {100, 300}, {{0, 0}, {0, 0}}, {{0, 0}, {100, 300}}},
        {{0, 10}, {100, 100}, {{3, 4}, {5, 6}}, {{3, 4}, {0, 0}}},
        {{10, 10}, {0, 100}, {{3, 4}, {5, 6}}, {{3, 4}, {0, 0}}},
        {{400, 200}, {100, 100}, {{2.9f, -1.5f}, {0, 0}}, {{2, -1}, {100, 50}}},
    };
    for (const Case& c : cases) {
        const std::string what = std::to_string(int(c.image.width)) + "x" + std::to_string(int(c.image.height)) +
                                 " into " + std::to_string(int(c.box.width)) + "x" + std::to_string(int(c.box.height));
        const CGRect r = CGRectScale(c.image, c.box, c.start);
        ExpectRect(r, c.expected.origin.x, c.expected.origin.y, c.expected.size.width, c.expected.size.height, what);
        const CGSize s = CGSizeScale(c.image, c.box);
        EXPECT_EQ(s.width, c.expected.size.width) << what;
        EXPECT_EQ(s.height, c.expected.size.height) << what;
    }
    ExpectRect(CGRectScale(CGRectMake(0, 0, 400, 200), CGRectMake(10, 20, 100, 100)), 10, 20, 100, 50,
               "from the box rectangle");
    ExpectRect(CGRectScaleToFill(CGSizeMake(400, 200), CGRectMake(0, 0, 100, 100)), -50, 0, 200, 100, "fill");
}

TEST(CGUtilitiesGeometry, ClippingRectangles)
{
    struct Case {
        CGRect rect, clip, expected;
    };
    const CGRect clip = CGRectMake(10, 10, 50, 50);
    const Case cases[] = {
        {{{0, 0}, {100, 100}}, clip, {{10, 10}, {50, 50}}}, {{{20, 20}, {10, 10}}, clip, {{20, 20}, {10, 10}}},
        {{{0, 20}, {20, 10}}, clip, {{10, 20}, {10, 10}}},  {{{50, 55}, {20, 20}}, clip, {{50, 55}, {10, 5}}},
        {{{20, 100}, {10, 10}}, clip, {{0, 0}, {0, 0}}},   // wholly above
        {{{20, 0}, {10, 5}}, clip, {{0, 0}, {0, 0}}},      // wholly below
        {{{0, 20}, {10, 10}}, clip, {{0, 0}, {0, 0}}},     // touching on the left
        {{{70, 20}, {10, 10}}, clip, {{0, 0}, {0, 0}}},    // wholly to the right
        {{{20, 20}, {0, 10}}, clip, {{20, 20}, {0, 10}}},  // empty: left alone
    };
    for (const Case& c : cases) {
        const CGRect r = CGRectClipRect(c.rect, c.clip);
        ExpectRect(r, c.expected.origin.x, c.expected.origin.y, c.expected.size.width, c.expected.size.height,
                   std::to_string(c.rect.origin.x) + "," + std::to_string(c.rect.origin.y));
    }
}

TEST(CGUtilitiesGeometry, WholePointsAndCentring)
{
    ExpectRect(CGRectTruncate(CGRectMake(10.9f, -3.7f, 5.5f, 0.99f)), 10, -3, 5, 0, "truncated toward zero");
    const CGPoint p = CGPointTruncate(CGPointMake(-0.5f, 7.99f));
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 7);
    const CGRect inner = CGRectMake(0, 0, 10, 20), container = CGRectMake(100, 200, 50, 60);
    ExpectRect(CGRectCenter(inner, container), 120, 220, 10, 20, "centred");
    // Only the difference of the sizes moves these; the container's origin
    // plays no part.
    ExpectRect(CGRectCenterX(inner, container), 20, 0, 10, 20, "centred across");
    ExpectRect(CGRectCenterY(CGRectMake(5, 5, 10, 20), container), 5, 25, 10, 20, "centred up");
    CGRect r = CGRectMake(10, 0, 5, 5);
    CGRectSetMaxX(r, 30);
    EXPECT_EQ(r.size.width, 20);
    EXPECT_TRUE(CGSizeCompare(CGSizeInvert(CGSizeMake(1, 2)), CGSizeMake(2, 1)));
    EXPECT_TRUE(CGPointIsEqual(CGPointAddPoint(CGPointMake(1, 2), CGPointMake(3, 4)), CGPointMake(4, 6)));
    EXPECT_TRUE(CGPointCompare(CGPointAdd(CGPointMake(1, 2), 1, -1), CGPointMake(2, 1)));
    EXPECT_TRUE(CGSizeCompare(CGSizeAdd(CGSizeMake(1, 2), 1, -1), CGSizeMake(2, 1)));
    EXPECT_FLOAT_EQ(DegreesToRadians(180), float(std::numbers::pi));
}

TEST(CGUtilitiesGeometry, QuickDrawForms)
{
    const Rect r = CGRectToQD(CGRectMake(10.7f, 20.2f, 5.5f, 4.4f));
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.bottom, 24);
    EXPECT_EQ(r.right, 15);
    struct Case {
        CGPoint point;
        SInt16 v, h;
    };
    const Case cases[] = {{{1.9f, -2.9f}, -2, 1}, {{70000, 0}, 0, 4464}, {{32768, -32769}, 32767, -32768}};
    for (const Case& c : cases) {
        const Point q = CGPointToQD(c.point);
        EXPECT_EQ(q.v, c.v) << c.point.x;
        EXPECT_EQ(q.h, c.h) << c.point.x;
    }
    ExpectRect(QDRectToCG(Rect{20, 10, 24, 15}), 10, 20, 5, 4, "from QuickDraw");
    const CGPoint back = QDPointToCG(Point{3, 4});
    EXPECT_EQ(back.x, 4);
    EXPECT_EQ(back.y, 3);
}

TEST(CGUtilitiesGeometry, ShownOnOneLineEach)
{
    Diagnostics::Capture capture;
    CGPointShow(CGPointMake(1.5f, -2));
    CGSizeShow(CGSizeMake(100, 0.25f));
    EXPECT_EQ(capture.Text(), "x: 1.5, y: -2\nwidth: 100, height: 0.25\n");
}

TEST(CGUtilitiesColors, RecordsAndContextColours)
{
    const ATSURGBAlphaColor c = MakeCGRGB(0.5f, 0.25f, 0.9f, 0.8f);
    const ATSURGBAlphaColor adjusted = CGRGBColorAdjustValues(c, 0.2f);
    EXPECT_FLOAT_EQ(adjusted.red, 0.7f);
    EXPECT_FLOAT_EQ(adjusted.blue, 1.1f) << "not clamped";
    EXPECT_FLOAT_EQ(adjusted.alpha, 0.8f);
    EXPECT_FLOAT_EQ(CGRGBColorSetAlpha(c, 0.1f).alpha, 0.1f);

    Ptr buffer = nullptr;
    CFRef<CGContextRef> context(CGBitmapContextCreate(CGSizeMake(2, 1), buffer));
    CGContextSetRGBFillColor(context, CGRGBColorMake(1, 0, 0, 0.5f));
    CGContextFillRect(context, CGRectMake(0, 0, 1, 1));
    CGContextSetRGBStrokeColor(context, CGRGBColorMake(0, 0, 1, 1));
    CGContextStrokeRect(context, CGRectMake(1.5f, -1, 2, 3));
    const auto* bytes = reinterpret_cast<const UInt8*>(buffer);
    EXPECT_EQ((std::array<int, 8>{bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7]}),
              (std::array<int, 8>{128, 0, 0, 128, 0, 0, 255, 255}));
    context.Reset();
    DisposePtr(buffer);
}

TEST(CGUtilitiesBitmaps, WholePixelsOverABlockTheCallerFrees)
{
    Ptr buffer = nullptr;
    CFRef<CGContextRef> context(CGBitmapContextCreate(CGSizeMake(10.9f, 5.2f), buffer));
    ASSERT_TRUE(context);
    EXPECT_EQ(CGBitmapContextGetWidth(context), 10u);
    EXPECT_EQ(CGBitmapContextGetHeight(context), 5u);
    EXPECT_EQ(CGBitmapContextGetBytesPerRow(context), 40u);
    EXPECT_EQ(GetPtrSize(buffer), 200);
    EXPECT_EQ(CGBitmapContextGetData(context), buffer);
    EXPECT_EQ(CGBitmapContextGetAlphaInfo(context), kCGImageAlphaPremultipliedLast);
    EXPECT_TRUE(CFEqual(CGBitmapContextGetColorSpace(context),
                        CFRef<CGColorSpaceRef>(CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB))));
    CGContextSetRGBFillColor(context, 1, 1, 1, 1);
    CGContextFillRect(context, CGRectMake(0, 0, 1, 1));
    EXPECT_EQ(UInt8(buffer[160]), 255) << "the last row";
    EXPECT_EQ(UInt8(buffer[0]), 0);
    context.Reset();
    DisposePtr(buffer);

    for (CGSize size : {CGSizeMake(0.5f, 10), CGSizeMake(10, -3), CGSizeMake(0, 0)}) {
        buffer = reinterpret_cast<Ptr>(&size);  // anything: it is set
        EXPECT_FALSE(CFRef<CGContextRef>(CGBitmapContextCreate(size, buffer)));
        EXPECT_EQ(buffer, nullptr) << "nothing to dispose of";
    }
}

TEST(CGUtilitiesImages, ScaledCopies)
{
    CFRef<CGImageRef> image = CornerImage();
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageCreateCopyWithSize(image, CGSizeMake(0, 50))));
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageCreateCopyWithSize(image, CGSizeMake(50, 0))));
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageCreateCopyWithSize(nullptr, CGSizeMake(5, 5))));

    CFRef<CGImageRef> scaled(CGImageCreateCopyWithSize(image, CGSizeMake(4.5f, 8)));
    ASSERT_TRUE(scaled);
    const CGSize size = CGImageGetSize(scaled);
    EXPECT_EQ(size.width, 4);
    EXPECT_EQ(size.height, 8);
    const QImage pixels = CGImageGetQImage(scaled);
    EXPECT_EQ(pixels.pixelColor(0, 0), QColor(Qt::red)) << "upright";
    EXPECT_EQ(pixels.pixelColor(3, 7), QColor(Qt::white));

    // No bitmap for a size under a pixel: the source comes back, retained
    // for the caller like any answer.
    const CFIndex before = CFGetRetainCount(image);
    CGImageRef same = CGImageCreateCopyWithSize(image, CGSizeMake(0.5f, 0.5f));
    EXPECT_EQ(same, image.get());
    EXPECT_EQ(CFGetRetainCount(image), before + 1);
    CGImageRelease(same);
}

TEST(CGUtilitiesImages, EncodedAndDecoded)
{
    CFRef<CGImageRef> image = CornerImage();
    for (const char* type : {"public.png", "public.tiff"}) {
        CFRef<CFStringRef> identifier(CFStringCreateWithCString(nullptr, type, kCFStringEncodingUTF8));
        CFRef<CFMutableDataRef> data(CGImageCopyData(image, identifier));
        ASSERT_TRUE(data) << type;
        Ptr block = CGImageCopyBytes(image, identifier);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(GetPtrSize(block), CFDataGetLength(data));
        CFRef<CGImageRef> back(CGImageCreateWithBytes(block));
        DisposePtr(block);
        ASSERT_TRUE(back) << type;
        EXPECT_EQ(CGImageGetQImage(back).convertToFormat(QImage::Format_RGBA8888), CGImageGetQImage(image)) << type;
    }
    EXPECT_FALSE(CFRef<CFMutableDataRef>(CGImageCopyData(image, CFSTR("public.unknown"))));
    EXPECT_EQ(CGImageCopyBytes(image, CFSTR("public.unknown")), nullptr);
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageCreateWithBytes(nullptr)));
}

TEST(CGUtilitiesImages, FromFiles)
{
    const std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/corners.png";
    ASSERT_TRUE(CGImageGetQImage(CornerImage()).save(QString::fromStdString(path), "png"));
    const FSRef ref = FSGetPathRef(ShortString(path));
    CFRef<CGImageRef> image(CGImageCreateWithFSRef(ref));
    ASSERT_TRUE(image);
    EXPECT_EQ(CGImageGetWidth(image), 2u);
    std::remove(path.c_str());
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageCreateWithFSRef(ref)));
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageCreateWithFSRef(FSRef{})));
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageLoadFromResource("no-such-image.png", "Images")));
}

// An image is read from a file of an image's size: a pipe, or a file larger
// than any image, gives nil at once with one warning.
TEST(CGUtilitiesImages, OnlyFilesOfAnImagesSize)
{
    ScratchFolder folder;
    StalledFifo pipe(folder / "pipe.png");
    ASSERT_TRUE(pipe.Made());
    folder.Write("huge.png", "");
    ASSERT_EQ(truncate((folder / "huge.png").c_str(), off_t(1) << 30), 0);  // sparse
    for (const char* name : {"pipe.png", "huge.png"}) {
        SCOPED_TRACE(name);
        Diagnostics::Capture capture;
        const FSRef ref = FSGetPathRef(ShortString(folder / name));
        const auto took = TimeOf([&] { EXPECT_FALSE(CFRef<CGImageRef>(CGImageCreateWithFSRef(ref))); });
        EXPECT_LT(took.count(), 1000);
        ASSERT_EQ(capture.Lines().size(), 1u) << capture.Text();
        EXPECT_EQ(capture.Lines()[0].rfind("Warning: ", 0), 0u) << capture.Text();
    }
}
