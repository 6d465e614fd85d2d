// The images of the page-curl transition ("Images/Transitions"): the
// shading laid along the fold ("shading.png"), a clear page ("blank.png"),
// and the backsides a curling card may show ("backside.jpg", the plain
// paper that is used, and "bubbles.jpg", "glass.jpg", "wavy.jpg").
//
// Backsides are photographs in spirit, so they are JPEG files: opaque,
// 256 by 256 points, and stretched over the card by the filter.
#include "ArtworkPainting.h"

#include <QRadialGradient>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace artwork {

namespace {

constexpr qreal kBackside = 256;

void WriteJPEG(const std::filesystem::path& folder, const std::string& name, int scale, const QImage& image)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::filesystem::path path = folder / (name + (scale == 2 ? "@2x.jpg" : ".jpg"));
    if (error || !image.convertToFormat(QImage::Format_RGB32).save(QString::fromStdString(path.string()), "JPG", 90)) {
        std::fprintf(stderr, "brindlet-artwork: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

void WriteBackside(const std::filesystem::path& folder, const std::string& name, const Paint& paint)
{
    for (int scale : kScales)
        WriteJPEG(folder, name, scale, Render(kBackside, kBackside, scale, paint));
}

// Light paper with a faint grain of horizontal fibres.
void PaintPaper(Canvas& canvas)
{
    QPainter& p = canvas.painter;
    const QRectF bounds = canvas.Bounds();
    p.fillRect(bounds, Vertical(bounds, {{0, Grey(0.97)}, {1, Grey(0.90)}}));
    p.setPen(QPen(Grey(0.0, 0.035), 0.5));
    for (qreal y = 2; y < bounds.height(); y += 3)
        p.drawLine(QPointF(0, y), QPointF(bounds.width(), y + std::sin(y) * 0.8));
}

void PaintBubbles(Canvas& canvas)
{
    QPainter& p = canvas.painter;
    const QRectF bounds = canvas.Bounds();
    p.fillRect(bounds, Vertical(bounds, {{0, Rgb(0.70, 0.84, 0.96)}, {1, Rgb(0.42, 0.63, 0.88)}}));
    // A fixed scatter, so that the file is the same at every run.
    for (int i = 0; i < 40; ++i) {
        const qreal x = std::fmod(i * 97.0, kBackside), y = std::fmod(i * 61.0 + 13, kBackside);
        const qreal radius = 4 + std::fmod(i * 7.0, 18.0);
        QRadialGradient bubble(QPointF(x - radius / 3, y - radius / 3), radius);
        bubble.setColorAt(0, Grey(1.0, 0.55));
        bubble.setColorAt(0.7, Grey(1.0, 0.12));
        bubble.setColorAt(1, Grey(1.0, 0.30));
        p.setPen(Qt::NoPen);
        p.setBrush(bubble);
        p.drawEllipse(QPointF(x, y), radius, radius);
    }
}

void PaintGlass(Canvas& canvas)
{
    QPainter& p = canvas.painter;
    const QRectF bounds = canvas.Bounds();
    p.fillRect(bounds, Vertical(bounds, {{0, Rgb(0.85, 0.92, 0.94)}, {1, Rgb(0.62, 0.74, 0.78)}}));
    p.setPen(Qt::NoPen);
    for (int band = 0; band < 6; ++band) {
        QPainterPath streak;
        const qreal x = band * 48.0 - 40;
        streak.addPolygon(
            QPolygonF({QPointF(x, 0), QPointF(x + 18, 0), QPointF(x + 98, kBackside), QPointF(x + 80, kBackside)}));
        p.setBrush(Grey(1.0, band % 2 == 0 ? 0.22 : 0.10));
        p.drawPath(streak);
    }
}

void PaintWavy(Canvas& canvas)
{
    QPainter& p = canvas.painter;
    const QRectF bounds = canvas.Bounds();
    p.fillRect(bounds, Rgb(0.95, 0.90, 0.78));
    for (int line = 0; line < 24; ++line) {
        QPainterPath wave;
        const qreal base = line * 11.0;
        wave.moveTo(0, base);
        for (qreal x = 0; x <= kBackside; x += 4)
            wave.lineTo(x, base + 4 * std::sin(x / 18.0 + line * 0.6));
        p.setPen(QPen(Rgb(0.80, 0.62, 0.38, 0.35), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
    }
}

}  // namespace

void WriteTransitionImages(const std::filesystem::path& images)
{
    const std::filesystem::path folder = images / "Transitions";
    // The shading: dark at the fold, fading out across it.
    WriteImage(folder, "shading", 128, 128, [](Canvas& canvas) {
        QPainter& p = canvas.painter;
        const QRectF bounds = canvas.Bounds();
        QLinearGradient fold(bounds.topLeft(), bounds.topRight());
        fold.setColorAt(0, Grey(0.0, 0.45));
        fold.setColorAt(0.35, Grey(0.0, 0.15));
        fold.setColorAt(0.7, Grey(1.0, 0.10));
        fold.setColorAt(1, Grey(1.0, 0.0));
        p.fillRect(bounds, fold);
    });
    WriteImage(folder, "blank", 64, 64, [](Canvas&) {});
    WriteBackside(folder, "backside", PaintPaper);
    WriteBackside(folder, "bubbles", PaintBubbles);
    WriteBackside(folder, "glass", PaintGlass);
    WriteBackside(folder, "wavy", PaintWavy);
}

}  // namespace artwork
