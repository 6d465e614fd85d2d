// Helpers for the drawing tests: bitmap contexts over a buffer the test
// reads, and golden images.
#pragma once

#include <CoreFoundation/CFRef.h>
#include <CoreGraphics/CGImageQt.h>
#include <CoreGraphics/CoreGraphics.h>
#include <Foundation/Foundation.h>
#include <algorithm>

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// Red, green, blue, alpha as stored (premultiplied).
using RGBA = std::array<int, 4>;

// A bitmap context of the system's layout (RGBA, premultiplied, packed
// rows) over bytes the test can read.
class TestBitmap {
public:
    TestBitmap(int width, int height) : width_(width), height_(height), bytes_(size_t(width) * size_t(height) * 4)
    {
        CFRef<CGColorSpaceRef> space(CGColorSpaceCreateWithName(kCGColorSpaceGenericRGB));
        context_.Reset(CGBitmapContextCreate(bytes_.data(), size_t(width), size_t(height), 8, size_t(width) * 4, space,
                                             kCGImageAlphaPremultipliedLast));
    }

    CGContextRef context() const { return context_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    const std::vector<UInt8>& bytes() const { return bytes_; }

    // By buffer row: row 0 is the first in memory, the top of the picture.
    RGBA Row(int column, int row) const
    {
        const UInt8* p = &bytes_[(size_t(row) * size_t(width_) + size_t(column)) * 4];
        return RGBA{p[0], p[1], p[2], p[3]};
    }
    // By pixel of y-up space: (0, 0) is the bottom-left pixel.
    RGBA At(int x, int y) const { return Row(x, height_ - 1 - y); }

    // The picture as Qt sees it (first row on top).
    QImage Image() const
    {
        return QImage(bytes_.data(), width_, height_, width_ * 4, QImage::Format_RGBA8888_Premultiplied).copy();
    }

    void Fill(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha)
    {
        CGContextSaveGState(context());
        CGContextSetRGBFillColor(context(), red, green, blue, alpha);
        CGContextFillRect(context(), CGRectMake(0, 0, CGFloat(width_), CGFloat(height_)));
        CGContextRestoreGState(context());
    }

    // User space y-down from the top-left corner, as the sprites set up
    // their bitmaps.
    void Flip()
    {
        CGContextTranslateCTM(context(), 0, CGFloat(height_));
        CGContextScaleCTM(context(), 1, -1);
    }

private:
    int width_;
    int height_;
    std::vector<UInt8> bytes_;
    CFRef<CGContextRef> context_;
};

// An image of 2 × 2 pixels with a colour per corner, given top row first.
inline CFRef<CGImageRef> CornerImage()
{
    QImage pixels(2, 2, QImage::Format_RGBA8888);
    pixels.setPixelColor(0, 0, Qt::red);
    pixels.setPixelColor(1, 0, Qt::green);
    pixels.setPixelColor(0, 1, Qt::blue);
    pixels.setPixelColor(1, 1, Qt::white);
    return CFRef<CGImageRef>(CGImageCreateWithQImage(pixels));
}

inline constexpr RGBA kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kWhite{255, 255, 255, 255},
    kClear{0, 0, 0, 0};

// Compares with the PNG of Fixtures/Graphics/<name>: every channel of
// every pixel within `tolerance`, but for a few pixels (anti-aliased
// glyph edges may land a step apart on another build of the font
// rasteriser). With BRINDLET_UPDATE_GOLDEN set, writes the golden instead.
inline testing::AssertionResult MatchesGolden(const QImage& image, const std::string& name, int tolerance = 6,
                                              double strayFraction = 0.002)
{
    const std::string path = std::string(BRINDLET_FIXTURES_DIR) + "/Graphics/" + name;
    const QImage actual = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (std::getenv("BRINDLET_UPDATE_GOLDEN")) {
        actual.save(QString::fromStdString(path), "png");
        return testing::AssertionSuccess() << "written";
    }
    const QImage expected = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (expected.isNull())
        return testing::AssertionFailure() << "no golden " << path;
    if (expected.size() != actual.size())
        return testing::AssertionFailure() << "size differs from " << path;
    long stray = 0;
    int worst = 0;
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x) {
            const QRgb a = actual.pixel(x, y), e = expected.pixel(x, y);
            const int difference = std::max({std::abs(qRed(a) - qRed(e)), std::abs(qGreen(a) - qGreen(e)),
                                             std::abs(qBlue(a) - qBlue(e)), std::abs(qAlpha(a) - qAlpha(e))});
            worst = std::max(worst, difference);
            if (difference > tolerance)
                ++stray;
        }
    const long allowed = long(strayFraction * actual.width() * actual.height());
    // With BRINDLET_GOLDEN_FAILURES naming a folder, what was drawn is kept
    // there for a look.
    if (const char* failures = std::getenv("BRINDLET_GOLDEN_FAILURES"); failures != nullptr && stray > allowed) {
        std::string flat = name;
        std::replace(flat.begin(), flat.end(), '/', '-');
        actual.save(QString::fromStdString(std::string(failures) + "/" + flat), "png");
    }
    if (stray > allowed)
        return testing::AssertionFailure()
               << stray << " pixels differ by more than " << tolerance << " (worst " << worst << ") from " << path;
    return testing::AssertionSuccess();
}

// A GUI application (for fonts) with the bundled DejaVu Sans, for a test
// suite's lifetime.
class FontsApplication {
public:
    FontsApplication()
    {
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
        QFontDatabase::addApplicationFont(BRINDLET_FIXTURES_DIR "/Fonts/DejaVuSans.ttf");
    }

private:
    int argc_ = 1;
    char name_[16] = "Drawing";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

// Tests that draw text: the application with the fixture font for the
// suite, an autorelease pool for each test.
class TextTest : public testing::Test {
protected:
    static void SetUpTestSuite() { fonts_ = new FontsApplication(); }
    static void TearDownTestSuite()
    {
        delete fonts_;
        fonts_ = nullptr;
    }
    void SetUp() override { pool_ = NSAutoreleasePool::newPool(); }
    void TearDown() override { pool_->release(); }

private:
    static inline FontsApplication* fonts_ = nullptr;
    NSAutoreleasePool* pool_ = nullptr;
};
