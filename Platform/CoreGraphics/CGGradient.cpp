// Gradient objects and painting them.
#include "CGContextInternal.h"

#include <CoreGraphics/CGGradient.h>

#include <QLinearGradient>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <vector>

struct CGGradientObject final : CFRuntimeObject {
    struct Stop {
        double location;
        CGRGBA color;
    };
    explicit CGGradientObject(std::vector<Stop> gradientStops)
        : CFRuntimeObject(CGGradientGetTypeID()), stops(std::move(gradientStops))
    {}
    const std::vector<Stop> stops;  // by location
};

namespace {

const CGGradientObject* AsGradient(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != CGGradientGetTypeID())
        return nullptr;
    return static_cast<const CGGradientObject*>(CFRuntimeObjectOf(cf));
}

CGGradientRef MakeGradient(std::vector<CGGradientObject::Stop> stops)
{
    if (stops.empty())
        return nullptr;
    std::stable_sort(stops.begin(), stops.end(), [](const auto& a, const auto& b) { return a.location < b.location; });
    return new CGGradientObject(std::move(stops));
}

double LocationAt(const CGFloat locations[], size_t index, size_t count)
{
    if (locations)
        return std::clamp(double(locations[index]), 0.0, 1.0);
    return count == 1 ? 0.0 : double(index) / double(count - 1);
}

// The platform interpolates straight (not premultiplied) components; Qt's
// gradients blend premultiplied colours between stops. Stops close
// together make the two agree.
QGradientStops QtStops(const CGGradientObject* gradient)
{
    constexpr int kSteps = 32;
    QGradientStops stops;
    const auto& in = gradient->stops;
    auto add = [&](double at, const CGRGBA& color) {
        if (!stops.isEmpty() && at <= stops.back().first)
            at = std::min(1.0, stops.back().first + 1e-9);
        stops.append({at, CGRGBAToQColor(color)});
    };
    add(in.front().location, in.front().color);
    for (size_t i = 1; i < in.size(); ++i) {
        const auto& a = in[i - 1];
        const auto& b = in[i];
        for (int step = 1; step <= kSteps; ++step) {
            const float t = float(step) / kSteps;
            const CGRGBA mixed{
                a.color.red + (b.color.red - a.color.red) * t, a.color.green + (b.color.green - a.color.green) * t,
                a.color.blue + (b.color.blue - a.color.blue) * t, a.color.alpha + (b.color.alpha - a.color.alpha) * t};
            add(a.location + (b.location - a.location) * t, mixed);
        }
    }
    if (stops.size() == 1)
        stops.append({1.0, stops.front().second});
    return stops;
}

// The visible area (the clip) in user space, as a rectangle in the
// gradient's own frame: `along` runs from start to end (0 to 1), `across`
// perpendicular to it in user units.
struct AxisExtent {
    double alongMin, alongMax, acrossMin, acrossMax;
};

AxisExtent ExtentAlongAxis(const QPolygonF& visibleUser, QPointF start, QPointF axis, QPointF normal)
{
    const double lengthSquared = QPointF::dotProduct(axis, axis);
    AxisExtent e{1e300, -1e300, 1e300, -1e300};
    for (const QPointF& p : visibleUser) {
        const QPointF v = p - start;
        const double along = QPointF::dotProduct(v, axis) / lengthSquared;
        const double across = QPointF::dotProduct(v, normal);
        e.alongMin = std::min(e.alongMin, along);
        e.alongMax = std::max(e.alongMax, along);
        e.acrossMin = std::min(e.acrossMin, across);
        e.acrossMax = std::max(e.acrossMax, across);
    }
    return e;
}

}  // namespace

CFTypeID CGGradientGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CGGradient");
    return type;
}

CGGradientRef CGGradientCreateWithColorComponents(CGColorSpaceRef space, const CGFloat components[],
                                                  const CGFloat locations[], size_t count)
{
    const size_t perColor = CGColorSpaceGetNumberOfComponents(space) + 1;
    if (perColor == 1 || components == nullptr || count == 0)
        return nullptr;
    const CGColorSpaceModel model = CGColorSpaceGetModel(space);
    std::vector<CGGradientObject::Stop> stops;
    for (size_t i = 0; i < count; ++i)
        stops.push_back({LocationAt(locations, i, count), CGRGBAFromComponents(model, components + i * perColor)});
    return MakeGradient(std::move(stops));
}

CGGradientRef CGGradientCreateWithColors(CGColorSpaceRef, CFArrayRef colors, const CGFloat locations[])
{
    const CFIndex count = colors ? CFArrayGetCount(colors) : 0;
    std::vector<CGGradientObject::Stop> stops;
    for (CFIndex i = 0; i < count; ++i) {
        const auto color = static_cast<CGColorRef>(CFArrayGetValueAtIndex(colors, i));
        if (CFGetTypeID(color) != CGColorGetTypeID())
            return nullptr;
        stops.push_back({LocationAt(locations, size_t(i), size_t(count)), CGColorGetRGBA(color)});
    }
    return MakeGradient(std::move(stops));
}

CGGradientRef CGGradientRetain(CGGradientRef gradient)
{
    return static_cast<CGGradientRef>(CFRetain(gradient));
}

void CGGradientRelease(CGGradientRef gradient)
{
    if (gradient)
        CFRelease(gradient);
}

void CGContextDrawLinearGradient(CGContextRef c, CGGradientRef gradient, CGPoint startPoint, CGPoint endPoint,
                                 CGGradientDrawingOptions options)
{
    CGContextObject* context = CGContextObjectOf(c);
    const CGGradientObject* object = AsGradient(gradient);
    if (context == nullptr || object == nullptr)
        return;
    const QTransform userToQt = context->UserToQt();
    bool invertible = false;
    const QTransform qtToUser = userToQt.inverted(&invertible);
    const QPointF start(startPoint.x, startPoint.y), end(endPoint.x, endPoint.y);
    const QPointF axis = end - start;
    const double length = std::hypot(axis.x(), axis.y());
    const QRectF visible = CGContextClipBoundsQt(context);
    if (!invertible || length == 0 || visible.isEmpty())
        return;
    const QPointF normal(-axis.y() / length, axis.x() / length);

    // The band between the perpendiculars through the two ends, stretched
    // past an end only when asked, across all that can be seen.
    const AxisExtent e = ExtentAlongAxis(qtToUser.map(QPolygonF(visible)), start, axis, normal);
    const double from = (options & kCGGradientDrawsBeforeStartLocation) ? std::min(e.alongMin, 0.0) : 0.0;
    const double to = (options & kCGGradientDrawsAfterEndLocation) ? std::max(e.alongMax, 1.0) : 1.0;
    const double acrossMin = e.acrossMin - 1, acrossMax = e.acrossMax + 1;
    QPolygonF band;
    band << start + axis * from + normal * acrossMin << start + axis * to + normal * acrossMin
         << start + axis * to + normal * acrossMax << start + axis * from + normal * acrossMax;
    QPainterPath region;
    region.addPolygon(band);
    region.closeSubpath();

    QLinearGradient brush(start, end);
    brush.setStops(QtStops(object));
    brush.setSpread(QGradient::PadSpread);
    CGContextFillQtPath(context, userToQt.map(region), QBrush(brush), userToQt);
}

void CGContextDrawRadialGradient(CGContextRef c, CGGradientRef gradient, CGPoint startCenter, CGFloat startRadius,
                                 CGPoint endCenter, CGFloat endRadius, CGGradientDrawingOptions options)
{
    CGContextObject* context = CGContextObjectOf(c);
    const CGGradientObject* object = AsGradient(gradient);
    if (context == nullptr || object == nullptr)
        return;
    const QTransform userToQt = context->UserToQt();
    bool invertible = false;
    const QTransform qtToUser = userToQt.inverted(&invertible);
    const QRectF visible = CGContextClipBoundsQt(context);
    if (!invertible || visible.isEmpty())
        return;
    const QPointF c0(startCenter.x, startCenter.y), c1(endCenter.x, endCenter.y);
    QPainterPath startCircle, endCircle;
    startCircle.addEllipse(c0, startRadius, startRadius);
    endCircle.addEllipse(c1, endRadius, endRadius);

    // Within the two circles, past the end circle when asked, and without
    // the inside of the start circle unless asked.
    QPainterPath region;
    if (options & kCGGradientDrawsAfterEndLocation)
        region.addPolygon(qtToUser.map(QPolygonF(visible)));
    else
        region = endCircle.united(startCircle);
    if (!(options & kCGGradientDrawsBeforeStartLocation) && startRadius > 0)
        region = region.subtracted(startCircle);

    QRadialGradient brush(c1, endRadius, c0, startRadius);
    brush.setStops(QtStops(object));
    brush.setSpread(QGradient::PadSpread);
    CGContextFillQtPath(context, userToQt.map(region), QBrush(brush), userToQt);
}
