#include <CGTestSupport.h>

#include <CoreImage/CIFilter.h>

namespace {

class CoreImage : public testing::Test {
protected:
    void SetUp() override { pool_ = NSAutoreleasePool::newPool(); }
    void TearDown() override { pool_->release(); }

    // A square of one colour.
    static CIImage* Square(int side, QColor color)
    {
        QImage pixels(side, side, QImage::Format_ARGB32_Premultiplied);
        pixels.fill(color);
        return NSAutorelease(CIImage::newWithQImage(pixels, CGRectMake(0, 0, CGFloat(side), CGFloat(side))));
    }

    NSAutoreleasePool* pool_ = nullptr;
};

}  // namespace

TEST_F(CoreImage, FiltersByName)
{
    EXPECT_TRUE(CIFilter::filterWithName("CIGaussianBlur"));
    EXPECT_TRUE(CIFilter::filterWithName("CIPageCurlTransition"));
    EXPECT_FALSE(CIFilter::filterWithName("CINoSuchFilter"));
    CIFilter* blur = CIFilter::filterWithName("CIGaussianBlur");
    EXPECT_EQ(blur->numberForKey(kCIInputRadiusKey), 10) << "the defaults";
    EXPECT_FALSE(blur->outputImage()) << "no input image";
}

TEST_F(CoreImage, GaussianBlurSpreadsAndGrowsTheExtent)
{
    CIFilter* blur = CIFilter::filterWithName("CIGaussianBlur");
    blur->setValue(kCIInputImageKey, Square(30, Qt::black));
    blur->setValue(kCIInputRadiusKey, 2.0);
    CIImage* out = blur->outputImage();
    ASSERT_TRUE(out);
    EXPECT_TRUE(CGRectEqualToRect(out->extent(), CGRectMake(-6, -6, 42, 42)));
    const QImage pixels = out->qImage();
    EXPECT_EQ(qAlpha(pixels.pixel(21, 21)), 255) << "the middle stays solid";
    // A Gaussian edge: the pixels on either side of it sum to one.
    EXPECT_NEAR(qAlpha(pixels.pixel(5, 21)) + qAlpha(pixels.pixel(6, 21)), 255, 2) << "symmetric about the edge";
    EXPECT_NEAR(qAlpha(pixels.pixel(5, 21)), 102, 3) << "erf(-0.25)";
    EXPECT_GT(qAlpha(pixels.pixel(3, 21)), 0) << "spread outside";
    EXPECT_LT(qAlpha(pixels.pixel(0, 21)), 3) << "nearly nothing three radii out";
}

TEST_F(CoreImage, PageCurlGoesFromThePageToTheTarget)
{
    CIFilter* curl = CIFilter::filterWithName("CIPageCurlTransition");
    curl->setValue(kCIInputImageKey, Square(20, Qt::red));
    curl->setValue(kCIInputTargetImageKey, Square(20, Qt::blue));
    curl->setValue(kCIInputExtentKey, CGRectMake(0, 0, 20, 20));
    curl->setValue(kCIInputAngleKey, -0.6283185);
    struct Case {
        double time;
        int red, blue;  // pixels of each colour (about)
    };
    for (const Case& c : {Case{0, 400, 0}, Case{1, 0, 400}}) {
        curl->setValue(kCIInputTimeKey, c.time);
        const QImage pixels = curl->outputImage()->qImage();
        int red = 0, blue = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                red += pixels.pixelColor(x, y) == QColor(Qt::red);
                blue += pixels.pixelColor(x, y) == QColor(Qt::blue);
            }
        EXPECT_EQ(red, c.red) << c.time;
        EXPECT_EQ(blue, c.blue) << c.time;
    }
    curl->setValue(kCIInputTimeKey, 0.5);
    const QImage halfway = curl->outputImage()->qImage();
    EXPECT_EQ(halfway.pixelColor(19, 19), QColor(Qt::blue)) << "the far corner is uncovered first";
    EXPECT_EQ(halfway.pixelColor(0, 0), QColor(Qt::red)) << "the near corner is still flat";
}

TEST_F(CoreImage, DrawnUprightThroughAContext)
{
    CFRef<CGImageRef> corners = CornerImage();
    TestBitmap bitmap(4, 4);
    CIContext* context = CIContext::contextWithCGContext(bitmap.context());
    context->drawImage(CIImage::imageWithCGImage(corners), CGPointMake(1, 1), CGRectMake(0, 0, 2, 2));
    EXPECT_EQ(bitmap.At(1, 2), kRed);
    EXPECT_EQ(bitmap.At(2, 1), kWhite);
    NSBitmapImageRep* bitmapRep = NSBitmapImageRep::newWithCIImage(CIImage::imageWithCGImage(corners));
    ASSERT_TRUE(bitmapRep);
    EXPECT_EQ(CGImageGetQImage(bitmapRep->CGImage()).pixelColor(0, 0), QColor(Qt::red));
    bitmapRep->release();
}
