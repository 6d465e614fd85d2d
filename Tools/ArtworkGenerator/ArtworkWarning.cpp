// "Images/warning.png": the warning sign of a task-list card that has
// overdue rows, 16 by 16 points like the row icons. A yellow triangle with
// a dark exclamation mark, outlined so that it reads on any card colour.
#include "ArtworkPainting.h"

namespace artwork {

namespace {

void PaintWarning(Canvas& canvas)
{
    QPainter& p = canvas.painter;
    QPainterPath triangle;
    triangle.moveTo(8, 1.6);
    triangle.lineTo(14.8, 13.9);
    triangle.lineTo(1.2, 13.9);
    triangle.closeSubpath();
    canvas.Shadow(triangle, QPointF(0, 0.5), 1, Grey(0.0, 0.35));
    p.setPen(QPen(Rgb(0.55, 0.38, 0.02), 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Vertical(QRectF(1, 1.5, 14, 12.5), {{0, Rgb(1.0, 0.90, 0.40)}, {1, Rgb(0.95, 0.68, 0.08)}}));
    p.drawPath(triangle);
    p.setPen(QPen(Grey(0.15), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 5.6), QPointF(8, 9.2));
    p.setPen(Qt::NoPen);
    p.setBrush(Grey(0.15));
    p.drawEllipse(QPointF(8, 11.5), 0.95, 0.95);
}

}  // namespace

void WriteWarningImage(const std::filesystem::path& images)
{
    WriteImage(images, "warning", 16, 16, PaintWarning);
}

}  // namespace artwork
