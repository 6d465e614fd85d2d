// Path objects on their own: what each building call adds, where it leaves
// the current point, the two bounding boxes, hit testing with both fill
// rules, copies and equality, and handles that are nil or of another type.
#include <CFTestSupport.h>

#include <CoreGraphics/CoreGraphics.h>

#include <gtest/gtest.h>

#include <functional>
#include <numbers>
#include <optional>
#include <vector>

namespace {

constexpr CGFloat kPi = CGFloat(std::numbers::pi);

CFRef<CGMutablePathRef> NewPath()
{
    return CFRef<CGMutablePathRef>(CGPathCreateMutable());
}

void ExpectRectNear(CGRect actual, CGRect expected, const char* what)
{
    EXPECT_NEAR(actual.origin.x, expected.origin.x, 1e-3) << what;
    EXPECT_NEAR(actual.origin.y, expected.origin.y, 1e-3) << what;
    EXPECT_NEAR(actual.size.width, expected.size.width, 1e-3) << what;
    EXPECT_NEAR(actual.size.height, expected.size.height, 1e-3) << what;
}

void ExpectPointNear(CGPoint actual, CGPoint expected, const char* what)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-3) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-3) << what;
}

}  // namespace

// Each row builds one path and says what it must then be: empty or not,
// its current point, the box of its curves, and points inside and outside
// (non-zero winding).
TEST(CGPath, EachBuildingCallAddsItsShapeAndMovesTheCurrentPoint)
{
    const CGAffineTransform shift = CGAffineTransformMakeTranslation(10, 20);
    struct Row {
        const char* label;
        std::function<void(CGMutablePathRef)> build;
        bool empty;
        CGPoint current;
        std::optional<CGRect> box;  // CGPathGetPathBoundingBox
        std::vector<CGPoint> inside, outside;
    };
    const Row rows[] = {
        {"nothing", [](CGMutablePathRef) {}, true, CGPointZero, {}, {}, {{0, 0}}},
        {"a line without a current point adds nothing",
         [](CGMutablePathRef p) {
             CGPathAddLineToPoint(p, nullptr, 5, 5);
             CGPathAddCurveToPoint(p, nullptr, 1, 1, 2, 2, 3, 3);
             CGPathAddQuadCurveToPoint(p, nullptr, 1, 1, 2, 2);
             CGPathCloseSubpath(p);
         },
         true,
         CGPointZero,
         {},
         {},
         {}},
        {"a move alone", [](CGMutablePathRef p) { CGPathMoveToPoint(p, nullptr, 3, 4); }, false, {3, 4}, {}, {}, {}},
        {"a move through the transform",
         [&](CGMutablePathRef p) { CGPathMoveToPoint(p, &shift, 3, 4); },
         false,
         {13, 24},
         {},
         {},
         {}},
        {"a closed triangle of lines ends where it began",
         [](CGMutablePathRef p) {
             const CGPoint points[] = {{0, 0}, {10, 0}, {0, 10}};
             CGPathAddLines(p, nullptr, points, 3);
             CGPathCloseSubpath(p);
         },
         false,
         {0, 0},
         CGRectMake(0, 0, 10, 10),
         {{2, 2}},
         {{8, 8}, {-1, 1}}},
        {"an open run of lines ends at its last point",
         [](CGMutablePathRef p) {
             const CGPoint points[] = {{0, 0}, {10, 0}, {10, 5}};
             CGPathAddLines(p, nullptr, points, 3);
         },
         false,
         {10, 5},
         CGRectMake(0, 0, 10, 5),
         {{8, 2}},
         {{2, 4}}},
        {"a cubic: its box is tighter than its control points",
         [](CGMutablePathRef p) {
             CGPathMoveToPoint(p, nullptr, 0, 0);
             CGPathAddCurveToPoint(p, nullptr, 0, 10, 10, 10, 10, 0);
         },
         false,
         {10, 0},
         CGRectMake(0, 0, 10, 7.5f),
         {{5, 5}},
         {{5, 8}}},
        {"a quadratic",
         [](CGMutablePathRef p) {
             CGPathMoveToPoint(p, nullptr, 0, 0);
             CGPathAddQuadCurveToPoint(p, nullptr, 5, 10, 10, 0);
         },
         false,
         {10, 0},
         CGRectMake(0, 0, 10, 5),
         {{5, 4}},
         {{5, 6}}},
        {"a rectangle through the transform, started at its origin",
         [&](CGMutablePathRef p) { CGPathAddRect(p, &shift, CGRectMake(0, 0, 2, 3)); },
         false,
         {10, 20},
         CGRectMake(10, 20, 2, 3),
         {{11, 21}},
         {{1, 1}, {13, 21}}},
        {"a rectangle of negative size is the same rectangle",
         [](CGMutablePathRef p) { CGPathAddRect(p, nullptr, CGRectMake(2, 3, -2, -3)); },
         false,
         {0, 0},
         CGRectMake(0, 0, 2, 3),
         {{1, 1}},
         {{3, 1}}},
        {"two rectangles",
         [](CGMutablePathRef p) {
             const CGRect rects[] = {CGRectMake(0, 0, 2, 2), CGRectMake(10, 0, 2, 2)};
             CGPathAddRects(p, nullptr, rects, 2);
         },
         false,
         {10, 0},
         CGRectMake(0, 0, 12, 2),
         {{1, 1}, {11, 1}},
         {{5, 1}}},
        {"an ellipse starts and ends at the right-hand end of its axis",
         [](CGMutablePathRef p) { CGPathAddEllipseInRect(p, nullptr, CGRectMake(0, 0, 20, 10)); },
         false,
         {20, 5},
         CGRectMake(0, 0, 20, 10),
         {{10, 5}, {19, 5}},
         {{1, 1}, {19, 9}}},
        {"a quarter arc counter-clockwise (y up)",
         [](CGMutablePathRef p) { CGPathAddArc(p, nullptr, 0, 0, 10, 0, kPi / 2, false); },
         false,
         {0, 10},
         CGRectMake(0, 0, 10, 10),
         {{6, 6}},
         {{-1, -1}}},
        {"the same angles clockwise go the long way round",
         [](CGMutablePathRef p) { CGPathAddArc(p, nullptr, 0, 0, 10, 0, kPi / 2, true); },
         false,
         {0, 10},
         CGRectMake(-10, -10, 20, 20),
         {{-5, -5}},
         {{9, 9}}},
        {"a whole turn is the whole circle",
         [](CGMutablePathRef p) { CGPathAddArc(p, nullptr, 0, 0, 10, 0, 2 * kPi, false); },
         false,
         {10, 0},
         CGRectMake(-10, -10, 20, 20),
         {{0, 9}, {0, -9}},
         {{8, 8}}},
        {"more than a turn is still one circle",
         [](CGMutablePathRef p) { CGPathAddArc(p, nullptr, 0, 0, 10, 0, 5 * kPi, false); },
         false,
         {10, 0},
         CGRectMake(-10, -10, 20, 20),
         {{0, 9}},
         {}},
        {"an arc of no sweep is its start point",
         [](CGMutablePathRef p) { CGPathAddArc(p, nullptr, 0, 0, 10, kPi, kPi, false); },
         false,
         {-10, 0},
         {},
         {},
         {}},
        {"an arc after a point is joined to it by a line",
         [](CGMutablePathRef p) {
             CGPathMoveToPoint(p, nullptr, -20, 0);
             CGPathAddArc(p, nullptr, 0, 0, 10, 0, kPi, false);
         },
         false,
         {-10, 0},
         CGRectMake(-20, 0, 30, 10),
         {{0, 5}},
         {{0, -5}}},
        {"an arc to a point rounds the corner between two lines",
         [](CGMutablePathRef p) {
             CGPathMoveToPoint(p, nullptr, 0, 0);
             CGPathAddArcToPoint(p, nullptr, 10, 0, 10, 10, 5);
         },
         false,
         {10, 5},
         CGRectMake(0, 0, 10, 5),
         {{7, 2}},
         {{9.8f, 0.2f}}},
        {"an arc to a point through the transform",
         [&](CGMutablePathRef p) {
             CGPathMoveToPoint(p, &shift, 0, 0);
             CGPathAddArcToPoint(p, &shift, 10, 0, 10, 10, 5);
         },
         false,
         {20, 25},
         CGRectMake(10, 20, 10, 5),
         {},
         {}},
        {"an arc to a point without a current point starts at the corner",
         [](CGMutablePathRef p) { CGPathAddArcToPoint(p, nullptr, 10, 0, 10, 10, 5); },
         false,
         {10, 0},
         {},
         {},
         {}},
        {"an arc to a point on a straight line is a line to the corner",
         [](CGMutablePathRef p) {
             CGPathMoveToPoint(p, nullptr, 0, 0);
             CGPathAddArcToPoint(p, nullptr, 10, 0, 20, 0, 5);
         },
         false,
         {10, 0},
         CGRectMake(0, 0, 10, 0),
         {},
         {}},
        {"a rounded rectangle leaves its corners out",
         [](CGMutablePathRef p) { CGPathAddRoundedRect(p, nullptr, CGRectMake(0, 0, 20, 10), 4, 4); },
         false,
         {20, 4},
         CGRectMake(0, 0, 20, 10),
         {{10, 5}, {0.5f, 5}, {10, 9.5f}},
         {{0.5f, 0.5f}, {19.5f, 9.5f}}},
        {"corners larger than half the rectangle are cut to half",
         [](CGMutablePathRef p) { CGPathAddRoundedRect(p, nullptr, CGRectMake(0, 0, 20, 10), 40, 40); },
         false,
         {20, 5},
         CGRectMake(0, 0, 20, 10),
         {{10, 5}},
         {{1, 1}, {19, 9}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        CFRef<CGMutablePathRef> path = NewPath();
        row.build(path);
        EXPECT_EQ(CGPathIsEmpty(path), row.empty);
        ExpectPointNear(CGPathGetCurrentPoint(path), row.current, "current point");
        if (row.empty) {
            EXPECT_TRUE(CGRectIsNull(CGPathGetPathBoundingBox(path)));
        }
        if (row.box)
            ExpectRectNear(CGPathGetPathBoundingBox(path), *row.box, "path box");
        // The control points' box holds the curves' box.
        if (!row.empty) {
            const CGRect controls = CGPathGetBoundingBox(path), curves = CGPathGetPathBoundingBox(path);
            EXPECT_LE(CGRectGetMinX(controls), CGRectGetMinX(curves) + 1e-3f);
            EXPECT_LE(CGRectGetMinY(controls), CGRectGetMinY(curves) + 1e-3f);
            EXPECT_GE(CGRectGetMaxX(controls), CGRectGetMaxX(curves) - 1e-3f);
            EXPECT_GE(CGRectGetMaxY(controls), CGRectGetMaxY(curves) - 1e-3f);
        }
        for (CGPoint p : row.inside)
            EXPECT_TRUE(CGPathContainsPoint(path, nullptr, p, false)) << p.x << "," << p.y;
        for (CGPoint p : row.outside)
            EXPECT_FALSE(CGPathContainsPoint(path, nullptr, p, false)) << p.x << "," << p.y;
    }
}

TEST(CGPath, TheControlPointBoxHoldsWhatTheCurveBoxLeavesOut)
{
    CFRef<CGMutablePathRef> path = NewPath();
    CGPathMoveToPoint(path, nullptr, 0, 0);
    CGPathAddCurveToPoint(path, nullptr, 0, 10, 10, 10, 10, 0);
    ExpectRectNear(CGPathGetBoundingBox(path), CGRectMake(0, 0, 10, 10), "control points");
    ExpectRectNear(CGPathGetPathBoundingBox(path), CGRectMake(0, 0, 10, 7.5f), "the curve");
    EXPECT_TRUE(CGRectIsNull(CGPathGetBoundingBox(NewPath())));
}

TEST(CGPath, FillRulesAndTheHitTestTransform)
{
    // Two squares, one inside the other, both drawn the same way round.
    CFRef<CGMutablePathRef> path = NewPath();
    CGPathAddRect(path, nullptr, CGRectMake(0, 0, 10, 10));
    CGPathAddRect(path, nullptr, CGRectMake(3, 3, 4, 4));
    struct Row {
        const char* label;
        CGPoint point;
        const CGAffineTransform* transform;
        bool winding, evenOdd;
    };
    const CGAffineTransform away = CGAffineTransformMakeTranslation(100, 0);
    const Row rows[] = {
        {"the ring", {1, 1}, nullptr, true, true},
        {"the hole", {5, 5}, nullptr, true, false},
        {"outside", {11, 5}, nullptr, false, false},
        {"the ring, path moved by the transform", {101, 1}, &away, true, true},
        {"where the ring was before the move", {1, 1}, &away, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(CGPathContainsPoint(path, row.transform, row.point, false), row.winding);
        EXPECT_EQ(CGPathContainsPoint(path, row.transform, row.point, true), row.evenOdd);
    }
}

TEST(CGPath, IsRectKnowsOnlyAxisAlignedRectangles)
{
    const CGAffineTransform turn = CGAffineTransformMakeRotation(kPi / 4);
    const CGAffineTransform stretch = CGAffineTransformMakeScale(2, 3);
    struct Row {
        const char* label;
        std::function<void(CGMutablePathRef)> build;
        std::optional<CGRect> rect;
    };
    const Row rows[] = {
        {"a rectangle", [](CGMutablePathRef p) { CGPathAddRect(p, nullptr, CGRectMake(1, 2, 3, 4)); },
         CGRectMake(1, 2, 3, 4)},
        {"a scaled rectangle", [&](CGMutablePathRef p) { CGPathAddRect(p, &stretch, CGRectMake(1, 1, 1, 1)); },
         CGRectMake(2, 3, 2, 3)},
        {"four lines, closed",
         [](CGMutablePathRef p) {
             const CGPoint points[] = {{0, 0}, {0, 5}, {5, 5}, {5, 0}};
             CGPathAddLines(p, nullptr, points, 4);
             CGPathCloseSubpath(p);
         },
         CGRectMake(0, 0, 5, 5)},
        {"a turned square", [&](CGMutablePathRef p) { CGPathAddRect(p, &turn, CGRectMake(0, 0, 1, 1)); }, {}},
        {"a closed triangle",
         [](CGMutablePathRef p) {
             const CGPoint points[] = {{0, 0}, {5, 0}, {0, 5}};
             CGPathAddLines(p, nullptr, points, 3);
             CGPathCloseSubpath(p);
         },
         {}},
        {"two rectangles",
         [](CGMutablePathRef p) {
             CGPathAddRect(p, nullptr, CGRectMake(0, 0, 1, 1));
             CGPathAddRect(p, nullptr, CGRectMake(2, 0, 1, 1));
         },
         {}},
        {"an ellipse", [](CGMutablePathRef p) { CGPathAddEllipseInRect(p, nullptr, CGRectMake(0, 0, 4, 4)); }, {}},
        {"a rounded rectangle without corners",
         [](CGMutablePathRef p) { CGPathAddRoundedRect(p, nullptr, CGRectMake(0, 0, 4, 2), 0, 0); },
         CGRectMake(0, 0, 4, 2)},
        {"nothing", [](CGMutablePathRef) {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        CFRef<CGMutablePathRef> path = NewPath();
        row.build(path);
        const CGRect untouched = CGRectMake(-7, -7, -7, -7);
        CGRect rect = untouched;
        EXPECT_EQ(CGPathIsRect(path, &rect), row.rect.has_value());
        if (row.rect) {
            ExpectRectNear(rect, *row.rect, "rect");
        } else {
            EXPECT_TRUE(CGRectEqualToRect(rect, untouched)) << "left as it was";
        }
        EXPECT_EQ(CGPathIsRect(path, nullptr), row.rect.has_value()) << "without an output";
    }
}

TEST(CGPath, CopiesAreEqualAndIndependent)
{
    CFRef<CGMutablePathRef> path = NewPath();
    CGPathAddRect(path, nullptr, CGRectMake(0, 0, 4, 4));
    CGPathMoveToPoint(path, nullptr, 7, 8);

    CFRef<CGPathRef> copy(CGPathCreateCopy(path));
    CFRef<CGMutablePathRef> mutableCopy(CGPathCreateMutableCopy(path));
    EXPECT_EQ(CFGetTypeID(copy), CGPathGetTypeID());
    EXPECT_TRUE(CGPathEqualToPath(copy, path));
    EXPECT_TRUE(CGPathEqualToPath(mutableCopy, path));
    ExpectPointNear(CGPathGetCurrentPoint(mutableCopy), CGPointMake(7, 8), "the current point is copied");

    CGPathAddLineToPoint(mutableCopy, nullptr, 9, 9);
    EXPECT_FALSE(CGPathEqualToPath(mutableCopy, path));
    EXPECT_TRUE(CGPathEqualToPath(copy, path)) << "the original is untouched";
    ExpectPointNear(CGPathGetCurrentPoint(path), CGPointMake(7, 8), "the original's current point");

    // The convenience constructors build what the calls would.
    CFRef<CGPathRef> rect(CGPathCreateWithRect(CGRectMake(0, 0, 4, 4), nullptr));
    CFRef<CGMutablePathRef> built = NewPath();
    CGPathAddRect(built, nullptr, CGRectMake(0, 0, 4, 4));
    EXPECT_TRUE(CGPathEqualToPath(rect, built));
    const CGAffineTransform shift = CGAffineTransformMakeTranslation(1, 1);
    CFRef<CGPathRef> ellipse(CGPathCreateWithEllipseInRect(CGRectMake(0, 0, 4, 2), &shift));
    CFRef<CGMutablePathRef> builtEllipse = NewPath();
    CGPathAddEllipseInRect(builtEllipse, &shift, CGRectMake(0, 0, 4, 2));
    EXPECT_TRUE(CGPathEqualToPath(ellipse, builtEllipse));
    EXPECT_FALSE(CGPathEqualToPath(ellipse, rect));
}

TEST(CGPath, AddingAPathMapsItAndTakesItsCurrentPoint)
{
    CFRef<CGMutablePathRef> square = NewPath();
    CGPathAddRect(square, nullptr, CGRectMake(0, 0, 2, 2));
    CGPathMoveToPoint(square, nullptr, 1, 1);

    CFRef<CGMutablePathRef> path = NewPath();
    CGPathAddRect(path, nullptr, CGRectMake(0, 0, 1, 1));
    const CGAffineTransform shift = CGAffineTransformMakeTranslation(10, 0);
    CGPathAddPath(path, &shift, square);
    ExpectRectNear(CGPathGetPathBoundingBox(path), CGRectMake(0, 0, 12, 2), "both shapes");
    ExpectPointNear(CGPathGetCurrentPoint(path), CGPointMake(11, 1), "the added path's, moved");
    EXPECT_TRUE(CGPathContainsPoint(path, nullptr, CGPointMake(11, 1), false));

    // A path added to itself doubles its shape and stays sound.
    CFRef<CGMutablePathRef> twice = NewPath();
    CGPathAddRect(twice, nullptr, CGRectMake(0, 0, 2, 2));
    CGPathAddPath(twice, &shift, twice);
    ExpectRectNear(CGPathGetPathBoundingBox(twice), CGRectMake(0, 0, 12, 2), "itself, moved");

    // Nothing to add leaves the path as it was.
    CFRef<CGPathRef> before(CGPathCreateCopy(path));
    CGPathAddPath(path, nullptr, nullptr);
    CGPathAddPath(path, nullptr, NewPath());
    EXPECT_TRUE(CGPathEqualToPath(path, before));
}

TEST(CGPath, NilAndForeignHandlesAreLeftAlone)
{
    const auto foreign = MakeString("not a path");
    const auto notAPath = static_cast<CGMutablePathRef>(const_cast<void*>(static_cast<const void*>(foreign.get())));
    for (CGMutablePathRef path : {static_cast<CGMutablePathRef>(nullptr), notAPath}) {
        SCOPED_TRACE(path ? "another type" : "nil");
        const CGPoint points[] = {{0, 0}, {1, 1}};
        const CGRect rects[] = {CGRectMake(0, 0, 1, 1)};
        CGPathMoveToPoint(path, nullptr, 1, 1);
        CGPathAddLineToPoint(path, nullptr, 2, 2);
        CGPathAddCurveToPoint(path, nullptr, 1, 1, 2, 2, 3, 3);
        CGPathAddQuadCurveToPoint(path, nullptr, 1, 1, 2, 2);
        CGPathCloseSubpath(path);
        CGPathAddRect(path, nullptr, CGRectMake(0, 0, 1, 1));
        CGPathAddRects(path, nullptr, rects, 1);
        CGPathAddLines(path, nullptr, points, 2);
        CGPathAddEllipseInRect(path, nullptr, CGRectMake(0, 0, 1, 1));
        CGPathAddArc(path, nullptr, 0, 0, 1, 0, 1, false);
        CGPathAddArcToPoint(path, nullptr, 1, 0, 1, 1, 1);
        CGPathAddRoundedRect(path, nullptr, CGRectMake(0, 0, 4, 4), 1, 1);
        CGPathAddPath(path, nullptr, CFRef<CGPathRef>(CGPathCreateWithRect(CGRectMake(0, 0, 1, 1), nullptr)));

        EXPECT_TRUE(CGPathIsEmpty(path));
        CGRect rect = CGRectMake(5, 5, 5, 5);
        EXPECT_FALSE(CGPathIsRect(path, &rect));
        EXPECT_TRUE(CGRectEqualToRect(rect, CGRectMake(5, 5, 5, 5)));
        EXPECT_TRUE(CGPointEqualToPoint(CGPathGetCurrentPoint(path), CGPointZero));
        EXPECT_TRUE(CGRectIsNull(CGPathGetBoundingBox(path)));
        EXPECT_TRUE(CGRectIsNull(CGPathGetPathBoundingBox(path)));
        EXPECT_FALSE(CGPathContainsPoint(path, nullptr, CGPointMake(0.5f, 0.5f), false));
        EXPECT_EQ(CGPathCreateCopy(path), nullptr);
        EXPECT_EQ(CGPathCreateMutableCopy(path), nullptr);
    }
    EXPECT_EQ(CFGetRetainCount(foreign.get()), 1) << "the string was neither kept nor freed";

    // Empty lists add nothing, and the path stays usable.
    CFRef<CGMutablePathRef> path = NewPath();
    CGPathAddLines(path, nullptr, nullptr, 3);
    CGPathAddRects(path, nullptr, nullptr, 3);
    const CGPoint none[1] = {};
    CGPathAddLines(path, nullptr, none, 0);
    EXPECT_TRUE(CGPathIsEmpty(path));
    CGPathRelease(nullptr);
    EXPECT_EQ(CGPathRetain(nullptr), nullptr);
}
