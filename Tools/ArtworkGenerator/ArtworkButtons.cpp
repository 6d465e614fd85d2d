// The looks of the custom-drawn buttons ("Images/Custom Buttons/<class>")
// and of the tab bars ("Images/Tab Images/<style>").
//
// A custom button's end and content images are stretched to the control's
// height by the drawing code, so they are painted 22 points high with
// nothing that suffers from a vertical stretch beyond the corner curves.
// Tab pieces are 24 points high and drawn at their own size over the
// bar's background, which is tiled across; close boxes are 14 by 14.
#include "ArtworkPainting.h"

namespace artwork {

namespace {

using Stops = std::vector<std::pair<qreal, QColor>>;

// One state of a button: its fill from top to bottom and its edge.
struct ButtonState {
    Stops fill;
    QColor edge;
    qreal sheen;  // the light line along the top, 0 for none
};

struct ButtonClass {
    const char* folder;
    qreal radius;
    int end;  // points of each end image
    ButtonState active, pressed, selected;
    QColor separator;
    QColor arrows;
};

const ButtonClass kButtonClasses[] = {
    {"Bevel Corner",
     1.5,
     3,
     {{{0, Grey(0.99)}, {1, Grey(0.86)}}, Grey(0.55), 0.9},
     {{{0, Grey(0.70)}, {1, Grey(0.80)}}, Grey(0.42), 0.0},
     {{{0, Rgb(0.64, 0.79, 0.98)}, {1, Rgb(0.36, 0.58, 0.92)}}, Rgb(0.22, 0.40, 0.74), 0.5},
     Grey(0.55),
     Grey(0.0, 0.72)},
    {"Round Corner",
     4,
     5,
     {{{0, Grey(0.96)}, {1, Grey(0.89)}}, Grey(0.60), 0.7},
     {{{0, Grey(0.78)}, {1, Grey(0.72)}}, Grey(0.48), 0.0},
     {{{0, Grey(0.70)}, {1, Grey(0.62)}}, Grey(0.44), 0.0},
     Grey(0.62),
     Grey(0.0, 0.72)},
    {"Silver",
     3,
     4,
     {{{0, Grey(0.98)}, {0.5, Grey(0.88)}, {0.51, Grey(0.82)}, {1, Grey(0.90)}}, Grey(0.50), 0.8},
     {{{0, Grey(0.78)}, {0.5, Grey(0.70)}, {0.51, Grey(0.64)}, {1, Grey(0.72)}}, Grey(0.40), 0.2},
     {{{0, Grey(0.84)}, {0.5, Grey(0.76)}, {0.51, Grey(0.70)}, {1, Grey(0.78)}}, Grey(0.42), 0.4},
     Grey(0.50),
     Grey(0.0, 0.75)},
    {"Toolbar",
     4,
     5,
     {{{0, Grey(0.99, 0.90)}, {1, Grey(0.85, 0.90)}}, Grey(0.0, 0.30), 0.6},
     {{{0, Grey(0.0, 0.20)}, {1, Grey(0.0, 0.12)}}, Grey(0.0, 0.45), 0.0},
     {{{0, Grey(0.0, 0.28)}, {1, Grey(0.0, 0.20)}}, Grey(0.0, 0.50), 0.0},
     Grey(0.0, 0.30),
     Grey(0.0, 0.70)},
};

constexpr int kButtonHeight = 22;

void PaintButton(Canvas& canvas, qreal radius, const ButtonState& state)
{
    QPainter& p = canvas.painter;
    const QRectF shape = canvas.Bounds().adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(state.edge, 1));
    p.setBrush(Vertical(shape, state.fill));
    p.drawPath(RoundedRect(shape, radius));
    if (state.sheen > 0) {
        QLinearGradient fade(QPointF(0, 1), QPointF(0, 6));
        fade.setColorAt(0, Grey(1.0, state.sheen));
        fade.setColorAt(1, Grey(1.0, 0.0));
        p.setPen(QPen(QBrush(fade), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(RoundedRect(shape.adjusted(1, 1, -1, -1), std::max<qreal>(radius - 1, 0)));
    }
}

// Up and down chevrons, 7 by 11.
void PaintPopupArrows(Canvas& canvas, QColor color)
{
    QPainter& p = canvas.painter;
    p.setPen(QPen(color, 1.25, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(0.75, 4.25), QPointF(3.5, 1.5), QPointF(6.25, 4.25)}));
    p.drawPolyline(QPolygonF({QPointF(0.75, 6.75), QPointF(3.5, 9.5), QPointF(6.25, 6.75)}));
}

// ---- tabs ----

struct TabStyle {
    const char* folder;
    Stops bar;
    QColor barLine;  // the bar's bottom line
    Stops active, inactive, pressed;
    QColor edge;
    QColor ink;  // the close box's disc
};

const TabStyle kTabStyles[] = {
    {"standard",
     {{0, Grey(0.86)}, {1, Grey(0.78)}},
     Grey(0.58),
     {{0, Grey(0.98)}, {1, Grey(0.92)}},
     {{0, Grey(0.84)}, {1, Grey(0.79)}},
     {{0, Grey(0.70)}, {1, Grey(0.66)}},
     Grey(0.55),
     Grey(0.35)},
    {"glossy metal",
     {{0, Grey(0.95)}, {0.5, Grey(0.88)}, {0.51, Grey(0.80)}, {1, Grey(0.86)}},
     Grey(0.50),
     {{0, Grey(1.0)}, {0.5, Grey(0.94)}, {0.51, Grey(0.88)}, {1, Grey(0.93)}},
     {{0, Grey(0.90)}, {0.5, Grey(0.84)}, {0.51, Grey(0.77)}, {1, Grey(0.82)}},
     {{0, Grey(0.74)}, {0.5, Grey(0.68)}, {0.51, Grey(0.62)}, {1, Grey(0.66)}},
     Grey(0.45),
     Grey(0.30)},
    {"metallic",
     {{0, Grey(0.74)}, {1, Grey(0.60)}},
     Grey(0.38),
     {{0, Grey(0.88)}, {1, Grey(0.76)}},
     {{0, Grey(0.72)}, {1, Grey(0.63)}},
     {{0, Grey(0.56)}, {1, Grey(0.48)}},
     Grey(0.35),
     Grey(0.20)},
    {"toolbar",
     {{0, Grey(0.92)}, {1, Grey(0.83)}},
     Grey(0.62),
     {{0, Grey(1.0)}, {1, Grey(0.96)}},
     {{0, Grey(0.90, 0.65)}, {1, Grey(0.86, 0.65)}},
     {{0, Grey(0.74)}, {1, Grey(0.70)}},
     Grey(0.60),
     Grey(0.40)},
};

constexpr int kTabHeight = 24;
constexpr int kTabEnd = 8;

// A tab standing on the bar: rounded top corners, open at the bottom,
// where it meets what it shows.
void PaintTab(Canvas& canvas, const Stops& fill, QColor edge)
{
    QPainter& p = canvas.painter;
    const QRectF bounds = canvas.Bounds();
    const qreal top = 3.5, left = 0.5, right = bounds.width() - 0.5, radius = 5;
    QPainterPath outline;
    outline.moveTo(left, kTabHeight);
    outline.lineTo(left, top + radius);
    outline.arcTo(QRectF(left, top, 2 * radius, 2 * radius), 180, -90);
    outline.lineTo(right - radius, top);
    outline.arcTo(QRectF(right - 2 * radius, top, 2 * radius, 2 * radius), 90, -90);
    outline.lineTo(right, kTabHeight);
    p.fillPath(outline, Vertical(QRectF(0, top, 1, kTabHeight - top), fill));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(edge, 1));
    p.drawPath(outline);
}

// A disc with a cross, 14 by 14.
void PaintCloseBox(Canvas& canvas, QColor ink, qreal alpha)
{
    QPainter& p = canvas.painter;
    QColor disc = ink;
    disc.setAlphaF(float(alpha));
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(QRectF(1, 1, 12, 12));
    p.setPen(QPen(Grey(1.0, 0.95), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4.75, 4.75), QPointF(9.25, 9.25));
    p.drawLine(QPointF(9.25, 4.75), QPointF(4.75, 9.25));
}

}  // namespace

void WriteCustomButtons(const std::filesystem::path& images)
{
    for (const ButtonClass& look : kButtonClasses) {
        const std::filesystem::path folder = images / "Custom Buttons" / look.folder;
        const std::pair<const char*, const ButtonState*> states[] = {
            {"active", &look.active}, {"pressed", &look.pressed}, {"selected", &look.selected}};
        for (const auto& [name, state] : states) {
            const std::string prefix = name;
            WriteThreePart(
                folder, look.end, look.end, kButtonHeight, [&](Canvas& c) { PaintButton(c, look.radius, *state); },
                prefix + "_left", prefix + "_content", prefix + "_right");
        }
        WriteImage(folder, "seperator", 1, kButtonHeight,
                   [&](Canvas& c) { c.painter.fillRect(QRectF(0, 0, 1, kButtonHeight), look.separator); });
        WriteImage(folder, "popup arrows", 7, 11, [&](Canvas& c) { PaintPopupArrows(c, look.arrows); });
    }
}

void WriteTabImages(const std::filesystem::path& images)
{
    for (const TabStyle& style : kTabStyles) {
        const std::filesystem::path folder = images / "Tab Images" / style.folder;
        WriteImage(folder, "background", 8, kTabHeight, [&](Canvas& c) {
            c.painter.fillRect(QRectF(0, 0, 8, kTabHeight), Vertical(QRectF(0, 0, 8, kTabHeight), style.bar));
            c.painter.fillRect(QRectF(0, kTabHeight - 1, 8, 1), style.barLine);
        });
        const std::pair<const char*, const Stops*> states[] = {
            {"active", &style.active}, {"inactive", &style.inactive}, {"pressed", &style.pressed}};
        for (const auto& [name, fill] : states) {
            const std::string state = name;
            WriteThreePart(
                folder, kTabEnd, kTabEnd, kTabHeight, [&](Canvas& c) { PaintTab(c, *fill, style.edge); },
                "left_" + state, "center_" + state, "right_" + state);
        }
        const std::pair<const char*, qreal> closeBoxes[] = {
            {"closebox_active", 0.55},         {"closebox_inactive", 0.30},         {"closebox_pressed", 0.80},
            {"closebox_active_pressed", 0.85}, {"closebox_inactive_pressed", 0.65},
        };
        for (const auto& [name, alpha] : closeBoxes)
            WriteImage(folder, name, 14, 14, [&](Canvas& c) { PaintCloseBox(c, style.ink, alpha); });
    }
}

}  // namespace artwork
