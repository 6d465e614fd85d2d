// What the artwork generator paints with: a picture drawn in points at a
// scale (1 for the plain files, 2 for the "@2x" ones), cut into the pieces
// of a stretchable set and written as PNG files.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace artwork {

// The scales every file is written at.
inline constexpr int kScales[] = {1, 2};

// A picture being painted: the painter works in points; `scale` pixels
// make a point.
struct Canvas {
    QPainter& painter;
    int scale;
    QSize pixels;

    // The whole picture, in points.
    QRectF Bounds() const { return QRectF(0, 0, qreal(pixels.width()) / scale, qreal(pixels.height()) / scale); }

    // A soft shadow of `shape` (in points), moved by `offset` points and
    // blurred by about `blur` points, under whatever is painted next.
    void Shadow(const QPainterPath& shape, QPointF offset, qreal blur, QColor color);
};

using Paint = std::function<void(Canvas&)>;

// The picture of `width` by `height` points at `scale`, on a clear ground,
// antialiased.
QImage Render(qreal width, qreal height, int scale, const Paint& paint);

// Writes `image` to "<folder>/<name>.png", or "<name>@2x.png" at scale 2;
// the folders are made as needed. Stops the program when it cannot.
void Write(const std::filesystem::path& folder, const std::string& name, int scale, const QImage& image);

// A rectangle with rounded corners, in points.
QPainterPath RoundedRect(QRectF rect, qreal radius);

// A linear gradient from top to bottom of `rect` through `stops`
// (position 0 to 1, colour).
QLinearGradient Vertical(QRectF rect, const std::vector<std::pair<qreal, QColor>>& stops);

QColor Grey(qreal level, qreal alpha = 1.0);
QColor Rgb(qreal red, qreal green, qreal blue, qreal alpha = 1.0);

// ---- stretchable sets ----
//
// Each set is painted whole, `span` points wider (and, for nine parts,
// taller) than its ends, and cut: the ends from the picture's edges, the
// stretchable pieces as a slice of `slice` points from its middle, where
// the picture must not change along the direction the piece stretches.

// Nine parts of corner size `corner`: "top_left.png" ... "bottom_right.png".
void WriteNinePart(const std::filesystem::path& folder, int corner, const Paint& paint);

// Three parts of `height`, ends `left` and `right` wide, written under the
// given file names (left, centre, right; without ".png").
void WriteThreePart(const std::filesystem::path& folder, int left, int right, int height, const Paint& paint,
                    const std::string& leftName = "left", const std::string& centerName = "center",
                    const std::string& rightName = "right");

// One image of its own size.
void WriteImage(const std::filesystem::path& folder, const std::string& name, qreal width, qreal height,
                const Paint& paint);

// ---- the sets ----

void WriteCardFrames(const std::filesystem::path& images);
void WritePaneArtwork(const std::filesystem::path& images);
void WriteSheetBoxes(const std::filesystem::path& images);
void WriteCustomButtons(const std::filesystem::path& images);
void WriteTabImages(const std::filesystem::path& images);
void WriteCardAndTaskImages(const std::filesystem::path& images);
void WriteWarningImage(const std::filesystem::path& images);
void WriteTransitionImages(const std::filesystem::path& images);

// The review sheet: every set loaded back from `resources` through the
// theme loaders and drawn at a few sizes, written to `output`.
bool WriteReviewSheet(const std::filesystem::path& resources, const std::filesystem::path& output);

}  // namespace artwork
