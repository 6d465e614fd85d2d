#include "ArtworkPainting.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace artwork {

namespace {

constexpr int kSpan = 16;  // points of stretchable middle painted between the ends
constexpr int kSlice = 4;  // points cut from that middle as the stretchable piece

// One pass of a running-sum box blur of `radius` pixels over a row or
// column of `count` values `stride` apart.
void BoxBlur(std::vector<float>& values, int start, int count, int stride, int radius)
{
    std::vector<float> line(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        line[size_t(i)] = values[size_t(start + i * stride)];
    float sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += line[size_t(std::clamp(i, 0, count - 1))];
    for (int i = 0; i < count; ++i) {
        values[size_t(start + i * stride)] = sum / float(2 * radius + 1);
        sum += line[size_t(std::min(i + radius + 1, count - 1))] - line[size_t(std::max(i - radius, 0))];
    }
}

QImage Cut(const QImage& picture, int x, int y, int width, int height)
{
    return picture.copy(x, y, width, height);
}

}  // namespace

void Canvas::Shadow(const QPainterPath& shape, QPointF offset, qreal blur, QColor color)
{
    QImage layer(pixels, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter shapePainter(&layer);
        shapePainter.setRenderHint(QPainter::Antialiasing);
        shapePainter.scale(scale, scale);
        shapePainter.fillPath(shape, Qt::black);
    }
    const int width = pixels.width(), height = pixels.height();
    std::vector<float> alpha(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            alpha[size_t(y) * size_t(width) + size_t(x)] = float(qAlpha(layer.pixel(x, y))) / 255.0f;
    // Three box passes come close to a Gaussian.
    const int radius = std::max(1, int(std::lround(blur * scale / 2)));
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < height; ++y)
            BoxBlur(alpha, y * width, width, 1, radius);
        for (int x = 0; x < width; ++x)
            BoxBlur(alpha, x, height, width, radius);
    }
    QImage tinted(pixels, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            QColor pixel = color;
            pixel.setAlphaF(std::clamp(color.alphaF() * alpha[size_t(y) * size_t(width) + size_t(x)], 0.0f, 1.0f));
            tinted.setPixelColor(x, y, pixel);
        }
    painter.save();
    painter.resetTransform();
    painter.drawImage(QPointF(offset.x() * scale, offset.y() * scale), tinted);
    painter.restore();
}

QImage Render(qreal width, qreal height, int scale, const Paint& paint)
{
    const QSize pixels(int(std::lround(width * scale)), int(std::lround(height * scale)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.scale(scale, scale);
    Canvas canvas{painter, scale, pixels};
    paint(canvas);
    painter.end();
    return image;
}

void Write(const std::filesystem::path& folder, const std::string& name, int scale, const QImage& image)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::filesystem::path path = folder / (name + (scale == 2 ? "@2x.png" : ".png"));
    if (error || !image.convertToFormat(QImage::Format_ARGB32).save(QString::fromStdString(path.string()), "PNG")) {
        std::fprintf(stderr, "brindlet-artwork: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

QPainterPath RoundedRect(QRectF rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QLinearGradient Vertical(QRectF rect, const std::vector<std::pair<qreal, QColor>>& stops)
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    for (const auto& [position, color] : stops)
        gradient.setColorAt(position, color);
    return gradient;
}

QColor Grey(qreal level, qreal alpha)
{
    return QColor::fromRgbF(float(level), float(level), float(level), float(alpha));
}

QColor Rgb(qreal red, qreal green, qreal blue, qreal alpha)
{
    return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha));
}

void WriteNinePart(const std::filesystem::path& folder, int corner, const Paint& paint)
{
    const int side = 2 * corner + kSpan;
    for (const int scale : kScales) {
        const QImage picture = Render(side, side, scale, paint);
        const int c = corner * scale, s = kSlice * scale, far = (side - corner) * scale;
        const int middle = (corner + (kSpan - kSlice) / 2) * scale;
        Write(folder, "top_left", scale, Cut(picture, 0, 0, c, c));
        Write(folder, "top_center", scale, Cut(picture, middle, 0, s, c));
        Write(folder, "top_right", scale, Cut(picture, far, 0, c, c));
        Write(folder, "middle_left", scale, Cut(picture, 0, middle, c, s));
        Write(folder, "middle_center", scale, Cut(picture, middle, middle, s, s));
        Write(folder, "middle_right", scale, Cut(picture, far, middle, c, s));
        Write(folder, "bottom_left", scale, Cut(picture, 0, far, c, c));
        Write(folder, "bottom_center", scale, Cut(picture, middle, far, s, c));
        Write(folder, "bottom_right", scale, Cut(picture, far, far, c, c));
    }
}

void WriteThreePart(const std::filesystem::path& folder, int left, int right, int height, const Paint& paint,
                    const std::string& leftName, const std::string& centerName, const std::string& rightName)
{
    const int width = left + kSpan + right;
    for (const int scale : kScales) {
        const QImage picture = Render(width, height, scale, paint);
        const int h = height * scale;
        Write(folder, leftName, scale, Cut(picture, 0, 0, left * scale, h));
        Write(folder, centerName, scale, Cut(picture, (left + (kSpan - kSlice) / 2) * scale, 0, kSlice * scale, h));
        Write(folder, rightName, scale, Cut(picture, (width - right) * scale, 0, right * scale, h));
    }
}

void WriteImage(const std::filesystem::path& folder, const std::string& name, qreal width, qreal height,
                const Paint& paint)
{
    for (const int scale : kScales)
        Write(folder, name, scale, Render(width, height, scale, paint));
}

}  // namespace artwork
