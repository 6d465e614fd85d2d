// The frames and labels of the desktop: card frames (full and minimised),
// the floating panes' frame, arrows, buttons and labels, and the sheet
// strip's boxes.
//
// Geometry the drawing code relies on (points, at 1x):
//   CardFrame/*            corners 16; the card body is the rectangle inset
//                          by 4 with corners of radius 12; the frame draws
//                          only the rim around it, its centre is clear.
//   CardFrameMinimized/*   36 high, ends 18; the body is inset by 4, a pill
//                          of radius 14.
//   ContextualWindowFrame  corners 26; the pane's body is inset by 12 with
//                          corners of radius 13 (the blurred backdrop,
//                          inset by 13 with radius 12, lies inside it);
//                          the 12-point margin holds the shadow and the
//                          arrow, which replaces the frame where it is
//                          drawn ("Arrows/left.png" 14 by 30 with its tip
//                          at the left edge; right, up and down alike).
//   SheetBox, SheetBox Selected
//                          corners 30; the box is inset 4 left and top, 11
//                          right, 14 bottom (its shadow falls there), radius
//                          16, so the content frame (inset 8, 8, 15, 18,
//                          radius 12) sits 4 points inside it.
//   BlackButton, PopupButton, Label, StatusLabel
//                          22, 22, 18 and 18 high.
#include "ArtworkPainting.h"

namespace artwork {

namespace {

const QColor kFocusBlue = Rgb(0.28, 0.56, 1.0);
const QColor kPaneFill = Grey(0.0, 0.72);
const QColor kPaneEdge = Grey(1.0, 0.42);

// The rim around a card body inset by 4 points with corners of `radius`:
// a dark line just outside it, a light line just inside along the top,
// and for a focused card a blue glow in the margin.
void PaintCardRim(Canvas& canvas, qreal radius, bool focused)
{
    QPainter& p = canvas.painter;
    const QRectF bounds = canvas.Bounds();
    p.setBrush(Qt::NoBrush);
    if (focused) {
        QColor glow = kFocusBlue;
        glow.setAlphaF(0.22f);
        p.setPen(QPen(glow, 4));
        p.drawPath(RoundedRect(bounds.adjusted(2, 2, -2, -2), radius + 2));
        glow.setAlphaF(0.45f);
        p.setPen(QPen(glow, 2));
        p.drawPath(RoundedRect(bounds.adjusted(3, 3, -3, -3), radius + 1));
    }
    QColor rim = focused ? kFocusBlue : Grey(0.0, 0.45);
    if (focused)
        rim.setAlphaF(0.9f);
    p.setPen(QPen(rim, 1));
    p.drawPath(RoundedRect(bounds.adjusted(3.5, 3.5, -3.5, -3.5), radius + 0.5));
    // The light line fades out within the top corners, so that the sides
    // (stretched from their middle) carry none of it.
    QLinearGradient fade(QPointF(0, 4), QPointF(0, 14));
    fade.setColorAt(0, Grey(1.0, 0.75));
    fade.setColorAt(1, Grey(1.0, 0.0));
    p.setPen(QPen(QBrush(fade), 1));
    p.drawPath(RoundedRect(bounds.adjusted(4.5, 4.5, -4.5, -4.5), radius - 0.5));
}

// A pill of the height of the picture with a vertical gradient and a
// 1-point edge.
void PaintPill(Canvas& canvas, qreal radius, const std::vector<std::pair<qreal, QColor>>& fill, QColor edge,
               qreal sheen = 0)
{
    QPainter& p = canvas.painter;
    const QRectF shape = canvas.Bounds().adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(edge, 1));
    p.setBrush(Vertical(shape, fill));
    p.drawPath(RoundedRect(shape, radius));
    if (sheen > 0) {
        QLinearGradient fade(QPointF(0, 1), QPointF(0, shape.height() / 2));
        fade.setColorAt(0, Grey(1.0, sheen));
        fade.setColorAt(1, Grey(1.0, 0.0));
        p.setPen(QPen(QBrush(fade), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(RoundedRect(shape.adjusted(1, 1, -1, -1), radius - 1));
    }
}

// The pane's arrow pointing left, tip at x 1: the pane's body and edge,
// replaced where the arrow meets them.
void PaintLeftArrow(Canvas& canvas)
{
    QPainter& p = canvas.painter;
    QPainterPath body;
    body.moveTo(12, 0);
    body.lineTo(12, 3.5);
    body.lineTo(1, 15);
    body.lineTo(12, 26.5);
    body.lineTo(12, 30);
    body.lineTo(14, 30);
    body.lineTo(14, 0);
    body.closeSubpath();
    p.fillPath(body, kPaneFill);
    QPainterPath edge;
    edge.moveTo(12.5, 0);
    edge.lineTo(12.5, 3.5);
    edge.lineTo(1.5, 15);
    edge.lineTo(12.5, 26.5);
    edge.lineTo(12.5, 30);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kPaneEdge, 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPath(edge);
}

}  // namespace

void WriteCardFrames(const std::filesystem::path& images)
{
    WriteNinePart(images / "CardFrame/Normal", 16, [](Canvas& c) { PaintCardRim(c, 12, false); });
    WriteNinePart(images / "CardFrame/Focused", 16, [](Canvas& c) { PaintCardRim(c, 12, true); });
    WriteThreePart(images / "CardFrameMinimized/Normal", 18, 18, 36, [](Canvas& c) { PaintCardRim(c, 14, false); });
    WriteThreePart(images / "CardFrameMinimized/Focused", 18, 18, 36, [](Canvas& c) { PaintCardRim(c, 14, true); });
}

void WritePaneArtwork(const std::filesystem::path& images)
{
    WriteNinePart(images / "ContextualWindowFrame", 26, [](Canvas& c) {
        QPainter& p = c.painter;
        const QRectF bounds = c.Bounds();
        p.fillPath(RoundedRect(bounds.adjusted(12, 12, -12, -12), 13), kPaneFill);
        // A faint sheen under the top edge, gone before the sides begin.
        QLinearGradient sheen(QPointF(0, 13), QPointF(0, 24));
        sheen.setColorAt(0, Grey(1.0, 0.12));
        sheen.setColorAt(1, Grey(1.0, 0.0));
        p.fillPath(RoundedRect(bounds.adjusted(13, 13, -13, -13), 12), QBrush(sheen));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kPaneEdge, 1));
        p.drawPath(RoundedRect(bounds.adjusted(12.5, 12.5, -12.5, -12.5), 12.5));
    });

    const std::filesystem::path arrows = images / "ContextualWindowFrame/Arrows";
    WriteImage(arrows, "left", 14, 30, [](Canvas& c) { PaintLeftArrow(c); });
    WriteImage(arrows, "right", 14, 30, [](Canvas& c) {
        c.painter.translate(14, 0);
        c.painter.scale(-1, 1);
        PaintLeftArrow(c);
    });
    WriteImage(arrows, "up", 30, 14, [](Canvas& c) {
        // The left arrow turned a quarter: its tip to the top.
        c.painter.translate(30, 0);
        c.painter.rotate(90);
        PaintLeftArrow(c);
    });
    WriteImage(arrows, "down", 30, 14, [](Canvas& c) {
        c.painter.translate(0, 14);
        c.painter.rotate(-90);
        PaintLeftArrow(c);
    });

    const std::vector<std::pair<qreal, QColor>> black = {{0, Grey(0.30, 0.92)}, {1, Grey(0.06, 0.92)}};
    const std::vector<std::pair<qreal, QColor>> blackPressed = {{0, Grey(0.50, 0.95)}, {1, Grey(0.26, 0.95)}};
    WriteThreePart(images / "BlackButton", 11, 11, 22, [&](Canvas& c) { PaintPill(c, 10.5, black, kPaneEdge, 0.18); });
    WriteThreePart(
        images / "BlackButton", 11, 11, 22, [&](Canvas& c) { PaintPill(c, 10.5, blackPressed, Grey(1.0, 0.65), 0.2); },
        "left_pressed", "center_pressed", "right_pressed");

    auto popup = [](const std::vector<std::pair<qreal, QColor>>& fill, QColor edge) {
        return [fill, edge](Canvas& c) {
            PaintPill(c, 5, fill, edge, 0.18);
            QPainter& p = c.painter;
            const qreal x = c.Bounds().width() - 11;
            p.setPen(QPen(Grey(1.0, 0.85), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(QPolygonF({QPointF(x - 3, 9), QPointF(x, 6), QPointF(x + 3, 9)}));
            p.drawPolyline(QPolygonF({QPointF(x - 3, 13), QPointF(x, 16), QPointF(x + 3, 13)}));
        };
    };
    WriteThreePart(images / "PopupButton", 8, 22, 22, popup(black, kPaneEdge));
    WriteThreePart(images / "PopupButton", 8, 22, 22, popup(blackPressed, Grey(1.0, 0.65)), "left_pressed",
                   "center_pressed", "right_pressed");

    WriteThreePart(images / "Label", 9, 9, 18, [](Canvas& c) {
        PaintPill(c, 8.5, {{0, Grey(0.0, 0.58)}, {1, Grey(0.0, 0.58)}}, Grey(1.0, 0.22));
    });
    WriteThreePart(images / "StatusLabel", 9, 9, 18, [](Canvas& c) {
        PaintPill(c, 8.5, {{0, Rgb(0.92, 0.30, 0.24)}, {1, Rgb(0.72, 0.10, 0.08)}}, Rgb(0.55, 0.06, 0.04), 0.35);
    });
}

void WriteSheetBoxes(const std::filesystem::path& images)
{
    auto box = [](bool selected) {
        return [selected](Canvas& c) {
            QPainter& p = c.painter;
            const QRectF panel = c.Bounds().adjusted(4, 4, -11, -14);
            const QPainterPath shape = RoundedRect(panel, 16);
            c.Shadow(shape, QPointF(2, 3), 6, Grey(0.0, 0.45));
            if (selected) {
                QColor glow = kFocusBlue;
                glow.setAlphaF(0.35f);
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(glow, 3));
                p.drawPath(RoundedRect(panel.adjusted(-0.5, -0.5, 0.5, 0.5), 16.5));
            }
            p.fillPath(shape, selected ? Rgb(0.90, 0.94, 1.0) : Grey(0.95));
            p.setBrush(Qt::NoBrush);
            if (selected) {
                p.setPen(QPen(kFocusBlue, 2));
                p.drawPath(RoundedRect(panel.adjusted(1, 1, -1, -1), 15));
            } else {
                p.setPen(QPen(Grey(0.0, 0.22), 1));
                p.drawPath(RoundedRect(panel.adjusted(0.5, 0.5, -0.5, -0.5), 15.5));
            }
        };
    };
    WriteNinePart(images / "SheetBox", 30, box(false));
    WriteNinePart(images / "SheetBox Selected", 30, box(true));
}

}  // namespace artwork
