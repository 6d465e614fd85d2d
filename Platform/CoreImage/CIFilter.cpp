#include "CIFilter.h"

#include <CoreGraphics/CGContextInternal.h>

#include <cmath>
#include <numbers>

namespace {

constexpr const char* kKnownFilters[] = {"CIGaussianBlur", "CIPageCurlTransition"};

CIImage* Blur(const CIImage* input, double sigma)
{
    const int margin = sigma >= 0.25 ? int(std::ceil(3 * sigma)) : 0;
    const CGRect extent = CGRectInset(input->extent(), -CGFloat(margin), -CGFloat(margin));
    const QImage source = input->pixelsInRect(extent);
    if (source.isNull())
        return nullptr;
    // Each premultiplied channel blurred on its own.
    QImage channel(source.size(), QImage::Format_Alpha8);
    QImage out(source.size(), QImage::Format_ARGB32_Premultiplied);
    for (int shift : {0, 8, 16, 24}) {
        for (int y = 0; y < source.height(); ++y) {
            const QRgb* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
            uchar* c = channel.scanLine(y);
            for (int x = 0, w = source.width(); x < w; ++x)
                c[x] = uchar((in[x] >> shift) & 0xFF);
        }
        const QImage blurred = CGBlurAlpha(channel, sigma);
        for (int y = 0; y < source.height(); ++y) {
            const uchar* c = blurred.constScanLine(y);
            QRgb* o = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0, w = source.width(); x < w; ++x)
                o[x] = (shift == 0 ? 0 : o[x]) | (QRgb(c[x]) << shift);
        }
    }
    return CIImage::newWithQImage(out, extent);
}

// The pixel of `image` at a point of its y-up space; transparent outside.
QRgb Sample(const CIImage* image, double x, double y)
{
    if (image == nullptr)
        return 0;
    const CGRect e = image->extent();
    const int column = int(std::floor(x - e.origin.x));
    const int row = int(std::floor(e.origin.y + e.size.height - y));
    const QImage& pixels = image->qImage();
    if (column < 0 || row < 0 || column >= pixels.width() || row >= pixels.height())
        return 0;
    return reinterpret_cast<const QRgb*>(pixels.constScanLine(row))[column];
}

QRgb Scaled(QRgb p, double factor)
{
    auto channel = [&](int v) { return int(std::lround(std::clamp(v * factor, 0.0, 255.0))); };
    return qRgba(channel(qRed(p)), channel(qGreen(p)), channel(qBlue(p)), qAlpha(p));
}

// The page (its lifted part mirrored over the fold line) over the target.
CIImage* PageCurl(const CIImage* page, const CIImage* target, const CIImage* backside, CGRect extent, double time,
                  double angle, double radius)
{
    if (CGRectIsEmpty(extent) || CGRectIsInfinite(extent))
        return nullptr;
    const CGRect e = CGRectIntegral(extent);
    const double dx = std::cos(angle), dy = std::sin(angle);
    double low = 1e300, high = -1e300;
    for (double cx : {double(e.origin.x), double(e.origin.x + e.size.width)})
        for (double cy : {double(e.origin.y), double(e.origin.y + e.size.height)}) {
            low = std::min(low, cx * dx + cy * dy);
            high = std::max(high, cx * dx + cy * dy);
        }
    const double fold = high - std::clamp(time, 0.0, 1.0) * (high - low);
    const double shadingWidth = std::max(radius, 1.0);
    auto onPage = [&](double x, double y) {
        return x >= e.origin.x && x < e.origin.x + e.size.width && y >= e.origin.y && y < e.origin.y + e.size.height;
    };

    QImage out(int(e.size.width), int(e.size.height), QImage::Format_ARGB32_Premultiplied);
    for (int row = 0; row < out.height(); ++row) {
        QRgb* o = reinterpret_cast<QRgb*>(out.scanLine(row));
        const double y = e.origin.y + e.size.height - row - 0.5;
        for (int column = 0; column < out.width(); ++column) {
            const double x = e.origin.x + column + 0.5;
            const double along = x * dx + y * dy;
            if (along > fold) {
                o[column] = Sample(target, x, y);
                continue;
            }
            // The lifted page lies mirrored over the fold line.
            const double behind = fold - along;
            const double qx = x + 2 * behind * dx, qy = y + 2 * behind * dy;
            if (onPage(qx, qy)) {
                const QRgb back = backside ? Sample(backside, qx, qy) : Sample(page, qx, qy);
                const double light = 0.6 + 0.4 * std::min(1.0, behind / shadingWidth);
                o[column] = Scaled(back, light);
            } else {
                o[column] = Sample(page, x, y);
            }
        }
    }
    return CIImage::newWithQImage(out, e);
}

}  // namespace

CIFilter* CIFilter::filterWithName(const char* name)
{
    if (name == nullptr)
        return nullptr;
    for (const char* known : kKnownFilters)
        if (std::string_view(name) == known) {
            auto* filter = new CIFilter(name);
            filter->setDefaults();
            return NSAutorelease(filter);
        }
    return nullptr;
}

CIFilter::~CIFilter()
{
    for (auto& [key, value] : values_)
        if (CIImage** image = std::get_if<CIImage*>(&value))
            (*image)->release();
}

void CIFilter::setDefaults()
{
    if (name_ == "CIGaussianBlur") {
        setValue(kCIInputRadiusKey, 10.0);
    } else if (name_ == "CIPageCurlTransition") {
        setValue(kCIInputTimeKey, 0.0);
        setValue(kCIInputAngleKey, 0.0);
        setValue(kCIInputRadiusKey, 100.0);
    }
}

void CIFilter::setValue(const char* key, CIImage* image)
{
    if (key == nullptr)
        return;
    if (image)
        image->retain();
    auto found = values_.find(key);
    if (found != values_.end()) {
        if (CIImage** old = std::get_if<CIImage*>(&found->second))
            (*old)->release();
        values_.erase(found);
    }
    if (image)
        values_.emplace(key, image);
}

void CIFilter::setValue(const char* key, double number)
{
    if (key) {
        setValue(key, static_cast<CIImage*>(nullptr));
        values_.emplace(key, number);
    }
}

void CIFilter::setValue(const char* key, CGRect rect)
{
    if (key) {
        setValue(key, static_cast<CIImage*>(nullptr));
        values_.emplace(key, rect);
    }
}

double CIFilter::numberForKey(const char* key) const
{
    const auto found = key ? values_.find(key) : values_.end();
    if (found == values_.end())
        return 0;
    const double* number = std::get_if<double>(&found->second);
    return number ? *number : 0;
}

CIImage* CIFilter::imageForKey(const char* key) const
{
    const auto found = key ? values_.find(key) : values_.end();
    if (found == values_.end())
        return nullptr;
    CIImage* const* image = std::get_if<CIImage*>(&found->second);
    return image ? *image : nullptr;
}

CIImage* CIFilter::outputImage() const
{
    const CIImage* input = imageForKey(kCIInputImageKey);
    if (input == nullptr)
        return nullptr;
    if (name_ == "CIGaussianBlur")
        return NSAutorelease(Blur(input, std::max(0.0, numberForKey(kCIInputRadiusKey))));
    if (name_ == "CIPageCurlTransition") {
        CGRect extent = input->extent();
        if (auto found = values_.find(kCIInputExtentKey); found != values_.end())
            if (const CGRect* rect = std::get_if<CGRect>(&found->second))
                extent = *rect;
        return NSAutorelease(PageCurl(input, imageForKey(kCIInputTargetImageKey), imageForKey(kCIInputBacksideImageKey),
                                      extent, numberForKey(kCIInputTimeKey), numberForKey(kCIInputAngleKey),
                                      numberForKey(kCIInputRadiusKey)));
    }
    return nullptr;
}
