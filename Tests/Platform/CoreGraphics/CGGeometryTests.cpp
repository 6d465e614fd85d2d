#include <CoreGraphics/CoreGraphics.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

constexpr CGFloat kPi = CGFloat(std::numbers::pi);

void ExpectTransform(CGAffineTransform t, CGAffineTransform expected, const char* what)
{
    EXPECT_NEAR(t.a, expected.a, 1e-6) << what;
    EXPECT_NEAR(t.b, expected.b, 1e-6) << what;
    EXPECT_NEAR(t.c, expected.c, 1e-6) << what;
    EXPECT_NEAR(t.d, expected.d, 1e-6) << what;
    EXPECT_NEAR(t.tx, expected.tx, 1e-5) << what;
    EXPECT_NEAR(t.ty, expected.ty, 1e-5) << what;
}

}  // namespace

TEST(CGAffineTransform, MathsAsThePlatformDefinesIt)
{
    const CGAffineTransform translate = CGAffineTransformMakeTranslation(10, 20);
    const CGAffineTransform scale = CGAffineTransformMakeScale(2, 3);
    const CGAffineTransform quarter = CGAffineTransformMakeRotation(kPi / 2);
    struct Case {
        const char* name;
        CGAffineTransform transform;
        CGPoint in, out;
    };
    const Case cases[] = {
        {"identity", CGAffineTransformIdentity, {3, 4}, {3, 4}},
        {"translation", translate, {3, 4}, {13, 24}},
        {"scale", scale, {3, 4}, {6, 12}},
        {"rotation turns x towards y", quarter, {1, 0}, {0, 1}},
        {"rotation turns y towards -x", quarter, {0, 1}, {-1, 0}},
        {"concat: the first, then the second", CGAffineTransformConcat(translate, scale), {1, 1}, {22, 63}},
        {"concat the other way", CGAffineTransformConcat(scale, translate), {1, 1}, {12, 23}},
        {"translate: the step comes first", CGAffineTransformTranslate(scale, 1, 1), {0, 0}, {2, 3}},
        {"scale: the step comes first", CGAffineTransformScale(translate, 2, 3), {1, 1}, {12, 23}},
        {"rotate: the step comes first", CGAffineTransformRotate(translate, kPi / 2), {1, 0}, {10, 21}},
        {"invert", CGAffineTransformInvert(CGAffineTransformConcat(scale, translate)), {12, 23}, {1, 1}},
        {"made from fields", CGAffineTransformMake(1, 2, 3, 4, 5, 6), {1, 1}, {9, 12}},
    };
    for (const Case& c : cases) {
        const CGPoint p = CGPointApplyAffineTransform(c.in, c.transform);
        EXPECT_NEAR(p.x, c.out.x, 1e-5) << c.name;
        EXPECT_NEAR(p.y, c.out.y, 1e-5) << c.name;
    }
    ExpectTransform(CGAffineTransformConcat(translate, scale), CGAffineTransformMake(2, 0, 0, 3, 20, 60), "fields");
    ExpectTransform(CGAffineTransformMakeRotation(kPi / 6),
                    CGAffineTransformMake(std::sqrt(3.0f) / 2, 0.5f, -0.5f, std::sqrt(3.0f) / 2, 0, 0), "sines");
    const CGAffineTransform singular = CGAffineTransformMake(1, 2, 2, 4, 5, 6);
    ExpectTransform(CGAffineTransformInvert(singular), singular, "no inverse: unchanged");
    EXPECT_TRUE(CGAffineTransformIsIdentity(CGAffineTransformConcat(translate, CGAffineTransformInvert(translate))));
}

TEST(CGAffineTransform, SizesAndRectangles)
{
    const CGAffineTransform t = CGAffineTransformMake(0, 1, -1, 0, 10, 0);  // a quarter turn, moved
    const CGSize size = CGSizeApplyAffineTransform(CGSizeMake(3, 4), t);
    EXPECT_EQ(size.width, -4);
    EXPECT_EQ(size.height, 3);
    const CGRect rect = CGRectApplyAffineTransform(CGRectMake(1, 2, 3, 4), t);
    EXPECT_TRUE(CGRectEqualToRect(rect, CGRectMake(4, 1, 4, 3)));
}

TEST(CGGeometry, RectangleOperations)
{
    const CGRect r = CGRectMake(10, 20, 30, 40);
    struct Case {
        const char* name;
        CGRect result, expected;
    };
    const Case cases[] = {
        {"inset", CGRectInset(r, 5, 10), CGRectMake(15, 30, 20, 20)},
        {"grown", CGRectInset(r, -1, -2), CGRectMake(9, 18, 32, 44)},
        {"inset past nothing", CGRectInset(r, 20, 0), CGRectNull},
        {"offset", CGRectOffset(r, 1, -1), CGRectMake(11, 19, 30, 40)},
        {"standardized", CGRectStandardize(CGRectMake(10, 10, -5, -6)), CGRectMake(5, 4, 5, 6)},
        {"union", CGRectUnion(r, CGRectMake(0, 0, 5, 5)), CGRectMake(0, 0, 40, 60)},
        {"union with null", CGRectUnion(CGRectNull, r), r},
        {"intersection", CGRectIntersection(r, CGRectMake(0, 0, 20, 30)), CGRectMake(10, 20, 10, 10)},
        {"no intersection", CGRectIntersection(r, CGRectMake(0, 0, 5, 5)), CGRectNull},
        {"integral", CGRectIntegral(CGRectMake(0.5f, 1.2f, 2, 2)), CGRectMake(0, 1, 3, 3)},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(CGRectEqualToRect(c.result, c.expected) || (CGRectIsNull(c.result) && CGRectIsNull(c.expected)))
            << c.name;
    EXPECT_TRUE(CGRectContainsPoint(r, CGPointMake(10, 20)));
    EXPECT_FALSE(CGRectContainsPoint(r, CGPointMake(40, 20))) << "the far edges are outside";
    EXPECT_TRUE(CGRectContainsRect(r, CGRectMake(15, 25, 5, 5)));
    EXPECT_TRUE(CGRectIntersectsRect(r, CGRectMake(39, 59, 5, 5)));
    EXPECT_FALSE(CGRectIntersectsRect(r, CGRectMake(40, 20, 5, 5))) << "touching is not meeting";
    EXPECT_TRUE(CGRectIsEmpty(CGRectMake(1, 1, 0, 5)));
    EXPECT_EQ(CGRectGetMaxX(CGRectMake(10, 0, -4, 1)), 10);
    EXPECT_EQ(CGRectGetMidY(r), 40);
    CGRect slice, remainder;
    CGRectDivide(r, &slice, &remainder, 10, CGRectMaxYEdge);
    EXPECT_TRUE(CGRectEqualToRect(slice, CGRectMake(10, 50, 30, 10)));
    EXPECT_TRUE(CGRectEqualToRect(remainder, CGRectMake(10, 20, 30, 30)));
}
