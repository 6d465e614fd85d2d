// The card widgets ("Images/Card": close box, grow box, minimise buttons)
// and the small images of task rows: the buttons at the left of a row
// ("Images/Card", and their printing variants in "Images/Printing"), the
// icons at its right ("Images/Task": note, reminder bell, overdue mark,
// timer, the five priority flags) and the status marks ("Images/Status").
//
// Rows are drawn on coloured cards in white text, so the screen buttons are
// white with a soft dark edge that keeps them visible on light cards; the
// printing buttons are black line art on paper. Icons are 16 by 16 points,
// buttons 14 by 14, the overdue mark 12 by 12 (it also sits inside the
// 16-point date label).
#include "ArtworkPainting.h"

#include <cmath>

namespace artwork {

namespace {

constexpr qreal kButton = 14;
constexpr qreal kIcon = 16;
constexpr qreal kOverdue = 12;

struct ButtonInk {
    QColor line;
    QColor fill;    // inside the ring
    QColor shadow;  // transparent for none
};

const ButtonInk kScreenInk{Grey(1.0), Grey(1.0, 0.18), Grey(0.0, 0.45)};
const ButtonInk kPrintInk{Grey(0.0), Grey(0.0, 0.0), Grey(0.0, 0.0)};

QPainterPath Circle(QPointF centre, qreal radius)
{
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

void Ring(Canvas& canvas, const ButtonInk& ink)
{
    QPainter& p = canvas.painter;
    const QPointF centre = canvas.Bounds().center();
    const QPainterPath ring = Circle(centre, 5.5);
    if (ink.shadow.alpha() > 0)
        canvas.Shadow(ring, QPointF(0, 0.5), 1.2, ink.shadow);
    p.setPen(QPen(ink.line, 1.5));
    p.setBrush(ink.fill);
    p.drawPath(ring);
}

void PaintRadioButton(Canvas& canvas, const ButtonInk& ink)
{
    Ring(canvas, ink);
}

void PaintCheck(Canvas& canvas, const ButtonInk& ink)
{
    Ring(canvas, ink);
    QPainter& p = canvas.painter;
    QPainterPath tick;
    tick.moveTo(4.2, 7.2);
    tick.lineTo(6.2, 9.4);
    tick.lineTo(10.2, 4.4);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink.line, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
}

// A disclosure triangle pointing right (closed) or down (open).
void PaintArrow(Canvas& canvas, const ButtonInk& ink, bool open)
{
    QPainter& p = canvas.painter;
    QPainterPath triangle;
    if (open) {
        triangle.moveTo(2.5, 4.5);
        triangle.lineTo(11.5, 4.5);
        triangle.lineTo(7, 10.5);
    } else {
        triangle.moveTo(4.5, 2.5);
        triangle.lineTo(10.5, 7);
        triangle.lineTo(4.5, 11.5);
    }
    triangle.closeSubpath();
    if (ink.shadow.alpha() > 0)
        canvas.Shadow(triangle, QPointF(0, 0.5), 1.2, ink.shadow);
    p.setPen(QPen(ink.line, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(ink.fill.alpha() > 0 ? ink.line : QColor(Qt::transparent));
    p.drawPath(triangle);
}

// A sheet of paper with a folded corner and three lines of writing.
void PaintNote(Canvas& canvas)
{
    QPainter& p = canvas.painter;
    QPainterPath sheet;
    sheet.moveTo(3, 1.5);
    sheet.lineTo(10, 1.5);
    sheet.lineTo(13, 4.5);
    sheet.lineTo(13, 14.5);
    sheet.lineTo(3, 14.5);
    sheet.closeSubpath();
    canvas.Shadow(sheet, QPointF(0, 0.5), 1, Grey(0.0, 0.35));
    p.setPen(QPen(Grey(0.45), 1));
    p.setBrush(Vertical(QRectF(3, 1.5, 10, 13), {{0, Rgb(1.0, 0.98, 0.80)}, {1, Rgb(0.98, 0.92, 0.62)}}));
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(10, 1.5);
    fold.lineTo(10, 4.5);
    fold.lineTo(13, 4.5);
    p.setBrush(Rgb(0.90, 0.84, 0.55));
    p.drawPath(fold);
    p.setPen(QPen(Grey(0.50), 0.8));
    for (qreal y : {7.0, 9.5, 12.0})
        p.drawLine(QPointF(5, y), QPointF(11, y));
}

// A bell.
void PaintBell(Canvas& canvas)
{
    QPainter& p = canvas.painter;
    QPainterPath bell;
    bell.moveTo(8, 2);
    bell.cubicTo(11.5, 2, 12, 5, 12, 8);
    bell.cubicTo(12, 10.5, 13, 11.5, 14, 12.5);
    bell.lineTo(2, 12.5);
    bell.cubicTo(3, 11.5, 4, 10.5, 4, 8);
    bell.cubicTo(4, 5, 4.5, 2, 8, 2);
    bell.closeSubpath();
    canvas.Shadow(bell, QPointF(0, 0.5), 1, Grey(0.0, 0.35));
    p.setPen(QPen(Rgb(0.55, 0.38, 0.02), 0.8));
    p.setBrush(Vertical(QRectF(2, 2, 12, 11), {{0, Rgb(1.0, 0.88, 0.35)}, {1, Rgb(0.90, 0.64, 0.05)}}));
    p.drawPath(bell);
    p.setBrush(Rgb(0.70, 0.50, 0.05));
    p.drawEllipse(QPointF(8, 13.6), 1.6, 1.6);
}

// A red disc with a white exclamation mark.
void PaintOverdue(Canvas& canvas)
{
    QPainter& p = canvas.painter;
    const QPointF centre = canvas.Bounds().center();
    p.setPen(QPen(Rgb(0.55, 0.05, 0.05), 0.8));
    p.setBrush(Vertical(canvas.Bounds(), {{0, Rgb(1.0, 0.38, 0.32)}, {1, Rgb(0.82, 0.08, 0.06)}}));
    p.drawPath(Circle(centre, 5.4));
    p.setPen(QPen(Grey(1.0), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(6, 3.3), QPointF(6, 6.8));
    p.setPen(Qt::NoPen);
    p.setBrush(Grey(1.0));
    p.drawEllipse(QPointF(6, 8.9), 0.9, 0.9);
}

// A stopwatch; running shows a green hand at two o'clock, paused two bars.
void PaintTimer(Canvas& canvas, bool running)
{
    QPainter& p = canvas.painter;
    const QPointF centre(8, 9);
    const QPainterPath face = Circle(centre, 5.8);
    canvas.Shadow(face, QPointF(0, 0.5), 1, Grey(0.0, 0.35));
    p.setPen(QPen(Grey(0.30), 1.2));
    p.setBrush(Grey(0.97));
    p.drawPath(face);
    p.setBrush(Grey(0.30));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(6.5, 1, 3, 1.8), 0.6, 0.6);
    if (running) {
        p.setPen(QPen(Rgb(0.10, 0.60, 0.15), 1.5, Qt::SolidLine, Qt::RoundCap));
        const qreal angle = -M_PI / 6;  // two o'clock
        p.drawLine(centre, centre + QPointF(4.2 * std::cos(angle), 4.2 * std::sin(angle)));
        p.setPen(Qt::NoPen);
        p.setBrush(Rgb(0.10, 0.60, 0.15));
        p.drawEllipse(centre, 1.1, 1.1);
    } else {
        p.setBrush(Rgb(0.85, 0.45, 0.05));
        p.drawRoundedRect(QRectF(5.6, 6.4, 1.8, 5.2), 0.5, 0.5);
        p.drawRoundedRect(QRectF(8.6, 6.4, 1.8, 5.2), 0.5, 0.5);
    }
}

// A pennant on a pole.
void PaintFlag(Canvas& canvas, QColor top, QColor bottom)
{
    QPainter& p = canvas.painter;
    QPainterPath flag;
    flag.moveTo(4.5, 2);
    flag.cubicTo(7, 1, 9, 3.5, 13.5, 2.5);
    flag.lineTo(13.5, 9.5);
    flag.cubicTo(9, 10.5, 7, 8, 4.5, 9);
    flag.closeSubpath();
    canvas.Shadow(flag, QPointF(0, 0.5), 1, Grey(0.0, 0.35));
    p.setPen(QPen(Grey(0.25), 1.3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 1.5), QPointF(4, 14.5));
    p.setPen(QPen(bottom.darker(160), 0.7));
    p.setBrush(Vertical(QRectF(4.5, 1, 9, 10), {{0, top}, {1, bottom}}));
    p.drawPath(flag);
}

// A status mark: a coloured disc with a white symbol.
enum class Status { InProgress, Canceled, Delayed };

void PaintStatus(Canvas& canvas, Status status)
{
    QPainter& p = canvas.painter;
    const QPointF centre(8, 8);
    QColor top, bottom;
    switch (status) {
    case Status::InProgress:
        top = Rgb(0.45, 0.72, 1.0), bottom = Rgb(0.10, 0.40, 0.85);
        break;
    case Status::Canceled:
        top = Rgb(0.75, 0.75, 0.75), bottom = Rgb(0.45, 0.45, 0.45);
        break;
    case Status::Delayed:
        top = Rgb(1.0, 0.78, 0.35), bottom = Rgb(0.90, 0.50, 0.02);
        break;
    }
    const QPainterPath disc = Circle(centre, 6.5);
    canvas.Shadow(disc, QPointF(0, 0.5), 1, Grey(0.0, 0.35));
    p.setPen(QPen(bottom.darker(140), 0.8));
    p.setBrush(Vertical(QRectF(1.5, 1.5, 13, 13), {{0, top}, {1, bottom}}));
    p.drawPath(disc);
    p.setPen(QPen(Grey(1.0), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    switch (status) {
    case Status::InProgress: {
        // A play triangle.
        QPainterPath play;
        play.moveTo(6.4, 4.8);
        play.lineTo(11, 8);
        play.lineTo(6.4, 11.2);
        play.closeSubpath();
        p.setBrush(Grey(1.0));
        p.setPen(QPen(Grey(1.0), 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(play);
        break;
    }
    case Status::Canceled:
        p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
        p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
        break;
    case Status::Delayed:
        // Clock hands at a quarter past.
        p.drawLine(centre, QPointF(8, 4.3));
        p.drawLine(centre, QPointF(11, 8));
        break;
    }
}

// A card widget: a dark translucent disc with a white symbol. Cards draw
// their widgets at alpha 0.7 over any card colour.
void WidgetDisc(Canvas& canvas)
{
    QPainter& p = canvas.painter;
    const QPainterPath disc = Circle(canvas.Bounds().center(), 6.5);
    canvas.Shadow(disc, QPointF(0, 0.5), 1, Grey(0.0, 0.40));
    p.setPen(QPen(Grey(1.0, 0.85), 1));
    p.setBrush(Vertical(canvas.Bounds(), {{0, Grey(0.35)}, {1, Grey(0.10)}}));
    p.drawPath(disc);
    p.setPen(QPen(Grey(1.0), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
}

void PaintClose(Canvas& canvas)
{
    WidgetDisc(canvas);
    canvas.painter.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    canvas.painter.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

// Opened: a bar (the card shrinks to its strip); closed: a bar with a
// downward chevron (the card opens again).
void PaintMinimize(Canvas& canvas, bool opened)
{
    WidgetDisc(canvas);
    QPainter& p = canvas.painter;
    if (opened) {
        p.drawLine(QPointF(4.8, 8), QPointF(11.2, 8));
        return;
    }
    QPainterPath chevron;
    chevron.moveTo(5, 6.5);
    chevron.lineTo(8, 9.5);
    chevron.lineTo(11, 6.5);
    p.drawPath(chevron);
}

// Three diagonal ridges in the lower right corner.
void PaintGrowBox(Canvas& canvas)
{
    QPainter& p = canvas.painter;
    for (int i = 0; i < 3; ++i) {
        const qreal d = 3.5 + 3.5 * i;
        p.setPen(QPen(Grey(0.0, 0.45), 1.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12 - d, 11.5), QPointF(11.5, 12 - d));
        p.setPen(QPen(Grey(1.0, 0.75), 1.0, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12 - d + 1, 11.5), QPointF(11.5, 12 - d + 1));
    }
}

void WriteButtons(const std::filesystem::path& folder, const ButtonInk& ink)
{
    WriteImage(folder, "radio_button", kButton, kButton, [&](Canvas& c) { PaintRadioButton(c, ink); });
    WriteImage(folder, "check", kButton, kButton, [&](Canvas& c) { PaintCheck(c, ink); });
    WriteImage(folder, "arrow_open", kButton, kButton, [&](Canvas& c) { PaintArrow(c, ink, true); });
    WriteImage(folder, "arrow_closed", kButton, kButton, [&](Canvas& c) { PaintArrow(c, ink, false); });
}

}  // namespace

void WriteCardAndTaskImages(const std::filesystem::path& images)
{
    WriteButtons(images / "Card", kScreenInk);
    WriteImage(images / "Card", "close", kIcon, kIcon, PaintClose);
    WriteImage(images / "Card", "minimize_opened", kIcon, kIcon, [](Canvas& c) { PaintMinimize(c, true); });
    WriteImage(images / "Card", "minimize_closed", kIcon, kIcon, [](Canvas& c) { PaintMinimize(c, false); });
    WriteImage(images / "Card", "growbox", 12, 12, PaintGrowBox);
    WriteButtons(images / "Printing", kPrintInk);

    const std::filesystem::path task = images / "Task";
    WriteImage(task, "note", kIcon, kIcon, PaintNote);
    WriteImage(task, "notify", kIcon, kIcon, PaintBell);
    WriteImage(task, "overdue", kOverdue, kOverdue, PaintOverdue);
    WriteImage(task, "timer_running", kIcon, kIcon, [](Canvas& c) { PaintTimer(c, true); });
    WriteImage(task, "timer_paused", kIcon, kIcon, [](Canvas& c) { PaintTimer(c, false); });
    const struct {
        const char* name;
        QColor top, bottom;
    } flags[] = {
        {"flag_red", Rgb(1.0, 0.40, 0.36), Rgb(0.85, 0.10, 0.08)},
        {"flag_yellow", Rgb(1.0, 0.92, 0.40), Rgb(0.92, 0.74, 0.02)},
        {"flag_green", Rgb(0.52, 0.88, 0.42), Rgb(0.16, 0.62, 0.12)},
        {"flag_blue", Rgb(0.48, 0.72, 1.0), Rgb(0.12, 0.40, 0.88)},
        {"flag_gray", Rgb(0.82, 0.82, 0.82), Rgb(0.52, 0.52, 0.52)},
    };
    for (const auto& flag : flags)
        WriteImage(task, flag.name, kIcon, kIcon, [&](Canvas& c) { PaintFlag(c, flag.top, flag.bottom); });

    const std::filesystem::path status = images / "Status";
    WriteImage(status, "status_inprogress", kIcon, kIcon, [](Canvas& c) { PaintStatus(c, Status::InProgress); });
    WriteImage(status, "status_canceled", kIcon, kIcon, [](Canvas& c) { PaintStatus(c, Status::Canceled); });
    WriteImage(status, "status_delayed", kIcon, kIcon, [](Canvas& c) { PaintStatus(c, Status::Delayed); });
}

}  // namespace artwork
