#include <CFTestSupport.h>
#include <CoreGraphics/CGImageQt.h>
#include <ImageIO/ImageIO.h>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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
    EXPECT_FALSE(
        CFRef<CGImageDestinationRef>(CGImageDestinationCreateWithData(out, CFSTR("public.unknown"), 1, nullptr)));
    CFRef<CGImageDestinationRef> nothingAdded(CGImageDestinationCreateWithData(out, CFSTR("public.png"), 1, nullptr));
    EXPECT_FALSE(CGImageDestinationFinalize(nothingAdded));
    EXPECT_EQ(CFDataGetLength(out), 0);
}

namespace {

CFRef<CFDataRef> Encode(CGImageRef image, const char* type)
{
    CFRef<CFMutableDataRef> data(CFDataCreateMutable(nullptr, 0));
    CFRef<CGImageDestinationRef> destination(CGImageDestinationCreateWithData(data, CFSTR(type), 1, nullptr));
    if (!destination)
        return CFRef<CFDataRef>();
    CGImageDestinationAddImage(destination, image, nullptr);
    if (!CGImageDestinationFinalize(destination))
        return CFRef<CFDataRef>();
    return CFRef<CFDataRef>(data.release());
}

CFRef<CGImageRef> Decode(CFDataRef data)
{
    CFRef<CGImageSourceRef> source(CGImageSourceCreateWithData(data, nullptr));
    return CFRef<CGImageRef>(source ? CGImageSourceCreateImageAtIndex(source, 0, nullptr) : nullptr);
}

// Every premultiplied value a pixel can hold: alpha across, colour down.
CFRef<CGImageRef> AllPremultipliedPixels()
{
    QImage pixels(256, 256, QImage::Format_RGBA8888_Premultiplied);
    for (int alpha = 0; alpha < 256; ++alpha)
        for (int value = 0; value < 256; ++value) {
            const int v = std::min(value, alpha);
            uchar* p = pixels.scanLine(value) + alpha * 4;
            p[0] = uchar(v), p[1] = uchar(alpha - v), p[2] = uchar(v / 2), p[3] = uchar(alpha);
        }
    return CFRef<CGImageRef>(CGImageCreateWithQImage(pixels));
}

}  // namespace

TEST(CGImageIO, RoundTripsKeepEveryPremultipliedPixel)
{
    CFRef<CGImageRef> original = AllPremultipliedPixels();
    for (const char* type : {"public.png", "public.tiff"}) {
        CFRef<CFDataRef> data = Encode(original, type);
        ASSERT_TRUE(data) << type;
        CFRef<CGImageRef> back = Decode(data);
        ASSERT_TRUE(back) << type;
        const QImage want = CGImageGetQImage(original);
        const QImage got = CGImageGetQImage(back).convertToFormat(QImage::Format_RGBA8888_Premultiplied);
        int differing = 0;
        for (int y = 0; y < 256; ++y)
            differing += std::memcmp(want.constScanLine(y), got.constScanLine(y), 256 * 4) != 0;
        EXPECT_EQ(differing, 0) << type;
    }
}

TEST(CGImageIO, FilesThroughURLs)
{
    const std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/corners.tiff";
    CFRef<CFStringRef> pathString(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(path.data()),
                                                          CFIndex(path.size()), kCFStringEncodingUTF8, false));
    CFRef<CFURLRef> url(CFURLCreateWithFileSystemPath(nullptr, pathString, kCFURLPOSIXPathStyle, false));
    CFRef<CGImageRef> image(CGImageCreateWithQImage(Checkerboard()));
    CFRef<CGImageDestinationRef> destination(CGImageDestinationCreateWithURL(url, CFSTR("public.tiff"), 1, nullptr));
    ASSERT_TRUE(destination);
    CGImageDestinationAddImage(destination, image, nullptr);
    ASSERT_TRUE(CGImageDestinationFinalize(destination));
    CFRef<CGImageSourceRef> source(CGImageSourceCreateWithURL(url, nullptr));
    ASSERT_TRUE(source);
    EXPECT_EQ(UTF8Of(CGImageSourceGetType(source)), "public.tiff");
    CFRef<CGImageRef> back(CGImageSourceCreateImageAtIndex(source, 0, nullptr));
    // TIFF keeps colour premultiplied (associated alpha).
    EXPECT_EQ(CGImageGetQImage(back).convertToFormat(QImage::Format_RGBA8888_Premultiplied),
              Checkerboard().convertToFormat(QImage::Format_RGBA8888_Premultiplied));
    // TIFF has pages: an index past what an int holds must not wrap round to the first.
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageSourceCreateImageAtIndex(source, size_t{1} << 32, nullptr)));
    std::remove(path.c_str());
    EXPECT_FALSE(CFRef<CGImageSourceRef>(CGImageSourceCreateWithURL(url, nullptr)));
}

TEST(CGImage, MadeFromBytesOfEveryLayout)
{
    CFRef<CGColorSpaceRef> rgb(CGColorSpaceCreateDeviceRGB());
    CFRef<CGColorSpaceRef> gray(CGColorSpaceCreateDeviceGray());
    // One pixel of (red 200, green 100, blue 50, alpha 255) in each layout.
    struct Case {
        const char* name;
        CGColorSpaceRef space;
        size_t bitsPerPixel;
        CGBitmapInfo info;
        std::vector<UInt8> bytes;
        QColor expected;
    };
    const Case cases[] = {
        {"RGBA", rgb, 32, kCGImageAlphaPremultipliedLast, {200, 100, 50, 255}, QColor(200, 100, 50)},
        {"straight RGBA", rgb, 32, kCGImageAlphaLast, {200, 100, 50, 255}, QColor(200, 100, 50)},
        {"ARGB", rgb, 32, kCGImageAlphaPremultipliedFirst, {255, 200, 100, 50}, QColor(200, 100, 50)},
        {"BGRA",
         rgb,
         32,
         kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little,
         {50, 100, 200, 255},
         QColor(200, 100, 50)},
        {"ABGR",
         rgb,
         32,
         kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little,
         {255, 50, 100, 200},
         QColor(200, 100, 50)},
        {"RGBX", rgb, 32, kCGImageAlphaNoneSkipLast, {200, 100, 50, 7}, QColor(200, 100, 50)},
        {"RGB", rgb, 24, kCGImageAlphaNone, {200, 100, 50}, QColor(200, 100, 50)},
        {"grey", gray, 8, kCGImageAlphaNone, {100}, QColor(100, 100, 100)},
    };
    for (const Case& c : cases) {
        CFRef<CGDataProviderRef> provider(
            CGDataProviderCreateWithData(nullptr, c.bytes.data(), c.bytes.size(), nullptr));
        CFRef<CGImageRef> image(CGImageCreate(1, 1, 8, c.bitsPerPixel, c.bytes.size(), c.space, c.info, provider,
                                              nullptr, true, kCGRenderingIntentDefault));
        ASSERT_TRUE(image) << c.name;
        EXPECT_EQ(CGImageGetQImage(image).pixelColor(0, 0), c.expected) << c.name;
        EXPECT_EQ(CGImageGetBitsPerComponent(image), 8u) << c.name;
    }
    const UInt8 tooFew[3] = {1, 2, 3};
    CFRef<CGDataProviderRef> shortProvider(CGDataProviderCreateWithData(nullptr, tooFew, 3, nullptr));
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageCreate(1, 1, 8, 32, 4, rgb, kCGImageAlphaPremultipliedLast, shortProvider,
                                                 nullptr, true, kCGRenderingIntentDefault)));
}

// Bytes in a layout Qt draws natively are kept as they are, not turned
// into another byte order: what is read back (the bitmap info, the row
// size, the provider's bytes) describes exactly the bytes that were given,
// short of the padding at the end of each row.
TEST(CGImage, BytesOfANativeLayoutAreKeptAsGiven)
{
    CFRef<CGColorSpaceRef> rgb(CGColorSpaceCreateDeviceRGB());
    // Each with the Qt layout that holds its bytes as they are (on this
    // little-endian host, BGRA in memory is Qt's ARGB32).
    const struct {
        CGBitmapInfo info;
        QImage::Format format;
    } layouts[] = {
        {kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, QImage::Format_ARGB32_Premultiplied},
        {kCGImageAlphaPremultipliedLast, QImage::Format_RGBA8888_Premultiplied},
        {kCGImageAlphaFirst | kCGBitmapByteOrder32Little, QImage::Format_ARGB32},
        {kCGImageAlphaLast, QImage::Format_RGBA8888},
    };
    // Two rows of two pixels, each row padded to 12 bytes.
    const std::vector<UInt8> bytes = {10, 20, 30, 40, 50, 60, 70, 80, 0xEE, 0xEE, 0xEE, 0xEE,
                                      1,  2,  3,  4,  5,  6,  7,  8,  0xEE, 0xEE, 0xEE, 0xEE};
    for (const auto& [info, format] : layouts) {
        SCOPED_TRACE(info);
        CFRef<CGDataProviderRef> provider(CGDataProviderCreateWithData(nullptr, bytes.data(), bytes.size(), nullptr));
        CFRef<CGImageRef> image(
            CGImageCreate(2, 2, 8, 32, 12, rgb, info, provider, nullptr, true, kCGRenderingIntentDefault));
        ASSERT_TRUE(image);
        EXPECT_EQ(CGImageGetQImage(image).format(), format) << "drawn as it is, not converted on every draw";
        EXPECT_EQ(CGImageGetBitmapInfo(image), info);
        EXPECT_EQ(CGImageGetBitsPerPixel(image), 32u);
        ASSERT_EQ(CGImageGetBytesPerRow(image), 8u);
        CFRef<CFDataRef> back(CGDataProviderCopyData(CGImageGetDataProvider(image)));
        ASSERT_EQ(CFDataGetLength(back), 16);
        EXPECT_EQ(std::memcmp(CFDataGetBytePtr(back), bytes.data(), 8), 0);
        EXPECT_EQ(std::memcmp(CFDataGetBytePtr(back) + 8, bytes.data() + 12, 8), 0);
    }
}

// Row sizes whose product with the height wraps around: the few bytes
// given must not pass for a raster whose later rows lie far beyond them.
TEST(CGImage, RowSizesThatOverflowAreRefused)
{
    CFRef<CGColorSpaceRef> rgb(CGColorSpaceCreateDeviceRGB());
    CFRef<CGColorSpaceRef> gray(CGColorSpaceCreateDeviceGray());
    const UInt8 bytes[8] = {200, 100, 50, 255, 200, 100, 50, 255};
    CFRef<CGDataProviderRef> provider(CGDataProviderCreateWithData(nullptr, bytes, sizeof bytes, nullptr));
    const size_t half = size_t(1) << (sizeof(size_t) * 8 - 1);  // twice this is 0
    struct Case {
        const char* name;
        CGColorSpaceRef space;
        size_t bitsPerPixel;
        CGBitmapInfo info;
    };
    const Case cases[] = {
        {"RGBA", rgb, 32, kCGImageAlphaPremultipliedLast},
        {"RGB", rgb, 24, kCGImageAlphaNone},
        {"grey", gray, 8, kCGImageAlphaNone},
        {"grey with alpha", gray, 16, kCGImageAlphaLast},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(CFRef<CGImageRef>(CGImageCreate(1, 3, 8, c.bitsPerPixel, half, c.space, c.info, provider, nullptr,
                                                     true, kCGRenderingIntentDefault)))
            << c.name;
    }
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageMaskCreate(1, 3, 8, 8, half, provider, nullptr, true)));
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageMaskCreate(1, 3, 1, 1, half, provider, nullptr, true)));
    // The same figures without the wrap still make images.
    EXPECT_TRUE(CFRef<CGImageRef>(CGImageCreate(1, 2, 8, 32, 4, rgb, kCGImageAlphaPremultipliedLast, provider, nullptr,
                                                true, kCGRenderingIntentDefault)));
    EXPECT_TRUE(CFRef<CGImageRef>(CGImageMaskCreate(1, 3, 1, 1, 2, provider, nullptr, true)));
}

TEST(CGImage, PartsCopiesAndReferenceCounts)
{
    CFRef<CGImageRef> image(CGImageCreateWithQImage(Checkerboard()));
    EXPECT_EQ(CFGetTypeID(image), CGImageGetTypeID());
    CFRetain(image);
    EXPECT_EQ(CFGetRetainCount(image), 2);
    CFRelease(image);
    EXPECT_EQ(CFGetRetainCount(image), 1);

    // Counted from the top-left corner, cut to the image, made integral.
    struct Case {
        CGRect rect;
        int x, y, width, height;
    };
    for (const Case& c : {Case{{{1, 1}, {2, 3}}, 1, 1, 2, 3}, Case{{{5, 3}, {10, 10}}, 5, 3, 2, 2},
                          Case{{{0.5f, 0.5f}, {1, 1}}, 0, 0, 2, 2}}) {
        CFRef<CGImageRef> part(CGImageCreateWithImageInRect(image, c.rect));
        ASSERT_TRUE(part);
        EXPECT_EQ(CGImageGetQImage(part), Checkerboard().copy(c.x, c.y, c.width, c.height));
    }
    EXPECT_FALSE(CFRef<CGImageRef>(CGImageCreateWithImageInRect(image, CGRectMake(7, 0, 3, 3))));

    CFRef<CGImageRef> copy(CGImageCreateCopy(image));
    EXPECT_NE(copy.get(), image.get());
    EXPECT_TRUE(CFEqual(copy, image));
    CFRef<CFDataRef> bytes(CGDataProviderCopyData(CGImageGetDataProvider(image)));
    EXPECT_EQ(CFDataGetLength(bytes), CFIndex(CGImageGetBytesPerRow(image) * 5));
}
