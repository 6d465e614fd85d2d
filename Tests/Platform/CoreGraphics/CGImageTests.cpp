#include <CFTestSupport.h>
#include <CoreGraphics/CGImageInternal.h>
#include <ImageIO/ImageIO.h>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

namespace {

QImage Checkerboard()
{
    QImage image(7, 5, QImage::Format_RGBA8888);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            image.setPixelColor(x, y, QColor(x * 30, y * 50, 200, (x + y) % 2 ? 255 : 64));
    return image;
}

}  // namespace

TEST(CGImageIO, PNGRoundTripKeepsEveryPixel)
{
    CFRef<CGImageRef> image(CGImageCreateWithQImage(Checkerboard()));
    ASSERT_TRUE(image);
    EXPECT_EQ(CGImageGetWidth(image), 7u);
    EXPECT_EQ(CGImageGetHeight(image), 5u);

    CFRef<CFMutableDataRef> png(CFDataCreateMutable(nullptr, 0));
    CFRef<CGImageDestinationRef> destination(CGImageDestinationCreateWithData(png, CFSTR("public.png"), 1, nullptr));
    ASSERT_TRUE(destination);
    CGImageDestinationAddImage(destination, image, nullptr);
    ASSERT_TRUE(CGImageDestinationFinalize(destination));
    EXPECT_EQ(BytesOf(png).substr(1, 3), "PNG");

    CFRef<CGImageSourceRef> source(CGImageSourceCreateWithData(png, nullptr));
    ASSERT_TRUE(source);
    EXPECT_EQ(UTF8Of(CGImageSourceGetType(source)), "public.png");
    EXPECT_EQ(CGImageSourceGetCount(source), 1u);
    CFRef<CGImageRef> decoded(CGImageSourceCreateImageAtIndex(source, 0, nullptr));
    ASSERT_TRUE(decoded);
    const QImage original = Checkerboard();
    const QImage back = CGImageGetQImage(decoded).convertToFormat(QImage::Format_RGBA8888);
    ASSERT_EQ(back.size(), original.size());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(back.pixel(x, y), original.pixel(x, y)) << x << "," << y;
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageSourceCreateImageAtIndex(source, 3, nullptr)));
}

TEST(CGImageIO, DataThatIsNotAnImage)
{
    auto notAnImage = MakeData("this is not a picture");
    EXPECT_FALSE(CFRef<CGImageSourceRef>(CGImageSourceCreateWithData(notAnImage, nullptr)));
    auto empty = MakeData("");
    EXPECT_FALSE(CFRef<CGImageSourceRef>(CGImageSourceCreateWithData(empty, nullptr)));
    CFRef<CFMutableDataRef> out(CFDataCreateMutable(nullptr, 0));
    EXPECT_FALSE(CFRef<CGImageDestinationRef>(CGImageDestinationCreateWithData(out, CFSTR("public.unknown"), 1, nullptr)));
    CFRef<CGImageDestinationRef> nothingAdded(CGImageDestinationCreateWithData(out, CFSTR("public.png"), 1, nullptr));
    EXPECT_FALSE(CGImageDestinationFinalize(nothingAdded));
    EXPECT_EQ(CFDataGetLength(out), 0);
}
