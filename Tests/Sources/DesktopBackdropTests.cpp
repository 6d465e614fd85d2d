// What the canvas draws, laid over the desktop's picture when no
// compositing manager blends it.
#include <Sources/Interface/UDesktopBackdrop.h>

#include <CoreGraphics/CGImageQt.h>

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

TEST(DesktopBackdrop, TranslucentPixelsAreLaidOverTheDesktopAndClearOnesStayClear)
{
    struct Case {
        const char* name;
        QRgb drawn;  // premultiplied
        QRgb desktop;
        QRgb expected;
    };
    const Case cases[] = {
        {"clear", qRgba(0, 0, 0, 0), qRgb(200, 40, 40), qRgba(0, 0, 0, 0)},
        {"opaque", qRgba(10, 20, 30, 255), qRgb(200, 40, 40), qRgba(10, 20, 30, 255)},
        {"half white", qRgba(128, 128, 128, 128), qRgb(200, 40, 40), qRgba(228, 148, 148, 255)},
        {"faint shadow", qRgba(0, 0, 0, 51), qRgb(100, 200, 250), qRgba(80, 160, 200, 255)},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        QImage drawn(3, 2, QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        drawn.setPixel(1, 1, row.drawn);
        QImage desktop(3, 2, QImage::Format_RGB32);
        desktop.fill(Qt::black);
        desktop.setPixel(1, 1, row.desktop);
        const QImage result = brindlet::BlendOverDesktop(drawn, desktop);
        EXPECT_EQ(result.size(), drawn.size());
        EXPECT_EQ(result.pixel(1, 1), row.expected) << std::hex << result.pixel(1, 1);
        // Around it nothing was drawn: still clear, whatever lies beneath.
        EXPECT_EQ(qAlpha(result.pixel(0, 0)), 0);
    }
}

TEST(DesktopBackdrop, ADesktopSmallerThanTheDrawingLeavesTheRestAsDrawn)
{
    QImage drawn(4, 1, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(qRgba(0, 0, 0, 128));
    QImage desktop(2, 1, QImage::Format_RGB32);
    desktop.fill(qRgb(254, 254, 254));
    const QImage result = brindlet::BlendOverDesktop(drawn, desktop);
    EXPECT_EQ(result.pixel(1, 0), qRgba(127, 127, 127, 255));
    EXPECT_EQ(result.pixel(3, 0), qRgba(0, 0, 0, 128));
}

// Off X11 (the offscreen platform of these tests) there is no root picture:
// the drawing comes back as it is.
TEST(DesktopBackdrop, WithoutADesktopPictureTheDrawingIsKept)
{
    QImage drawn(2, 2, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(qRgba(64, 0, 0, 128));
    CGImageRef image = CGImageCreateWithQImage(drawn);
    CGImageRef result = brindlet::TDesktopBackdrop::CopyOverDesktop(image, CGRectMake(0, 0, 2, 2));
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(CGImageGetQImage(result).pixel(0, 0), qRgba(64, 0, 0, 128));
    CGImageRelease(result);
    CGImageRelease(image);
    EXPECT_EQ(brindlet::TDesktopBackdrop::CopyOverDesktop(nullptr, CGRectMake(0, 0, 2, 2)), nullptr);
}

}  // namespace
