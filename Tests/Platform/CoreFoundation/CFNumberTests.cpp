#include <CFTestSupport.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

template <typename T>
CFRef<CFNumberRef> Number(CFNumberType type, T value)
{
    return CFRef<CFNumberRef>(CFNumberCreate(nullptr, type, &value));
}

}  // namespace

TEST(CFNumber, ConversionsReportLoss)
{
    struct Case {
        const char* name;
        CFRef<CFNumberRef> number;
        CFNumberType target;
        bool exact;
        double stored;  // what lands in the destination, as a double
    };
    Case cases[] = {
        {"3.5 as SInt32", Number(kCFNumberFloat64Type, 3.5), kCFNumberSInt32Type, false, 3},
        {"-3.5 as SInt32", Number(kCFNumberFloat64Type, -3.5), kCFNumberSInt32Type, false, -3},
        {"3.0 as SInt32", Number(kCFNumberFloat64Type, 3.0), kCFNumberSInt32Type, true, 3},
        {"1e20 as SInt32", Number(kCFNumberFloat64Type, 1e20), kCFNumberSInt32Type, false, INT32_MAX},
        {"NaN as SInt32", Number(kCFNumberFloat64Type, std::nan("")), kCFNumberSInt32Type, false, 0},
        {"300 as SInt8", Number(kCFNumberSInt32Type, 300), kCFNumberSInt8Type, false, 44},
        {"-128 as SInt8", Number(kCFNumberSInt32Type, -128), kCFNumberSInt8Type, true, -128},
        {"2^40 as SInt32", Number(kCFNumberSInt64Type, int64_t(1) << 40), kCFNumberSInt32Type, false, 0},
        {"2^53+1 as Float64", Number(kCFNumberSInt64Type, (int64_t(1) << 53) + 1), kCFNumberFloat64Type, false,
         9007199254740992.0},
        {"7 as Float64", Number(kCFNumberSInt32Type, 7), kCFNumberFloat64Type, true, 7},
        {"0.1 as Float32", Number(kCFNumberFloat64Type, 0.1), kCFNumberFloat32Type, false, double(0.1f)},
        {"0.5 as Float32", Number(kCFNumberFloat64Type, 0.5), kCFNumberFloat32Type, true, 0.5},
        {"0.1f as Float64", Number(kCFNumberFloat32Type, 0.1f), kCFNumberFloat64Type, true, double(0.1f)},
        {"5 as CFIndex", Number(kCFNumberIntType, 5), kCFNumberCFIndexType, true, 5},
    };
    for (Case& c : cases) {
        double stored = 0;
        bool exact;
        switch (c.target) {
        case kCFNumberSInt8Type: {
            int8_t v = 0;
            exact = CFNumberGetValue(c.number, c.target, &v);
            stored = v;
            break;
        }
        case kCFNumberSInt32Type: {
            int32_t v = 0;
            exact = CFNumberGetValue(c.number, c.target, &v);
            stored = v;
            break;
        }
        case kCFNumberFloat32Type: {
            float v = 0;
            exact = CFNumberGetValue(c.number, c.target, &v);
            stored = v;
            break;
        }
        case kCFNumberCFIndexType: {
            CFIndex v = 0;
            exact = CFNumberGetValue(c.number, c.target, &v);
            stored = static_cast<double>(v);
            break;
        }
        default: {
            double v = 0;
            exact = CFNumberGetValue(c.number, c.target, &v);
            stored = v;
            break;
        }
        }
        EXPECT_EQ(exact, c.exact) << c.name;
        EXPECT_EQ(stored, c.stored) << c.name;
    }
}

TEST(CFNumber, KindsAndSizes)
{
    EXPECT_EQ(CFNumberGetType(Number(kCFNumberIntType, 1)), kCFNumberSInt32Type);
    EXPECT_EQ(CFNumberGetType(Number(kCFNumberLongType, 1L)), kCFNumberSInt64Type);
    EXPECT_EQ(CFNumberGetType(Number(kCFNumberCGFloatType, 1.0f)), kCFNumberFloat32Type);
    EXPECT_EQ(CFNumberGetByteSize(Number(kCFNumberSInt16Type, int16_t(1))), 2);
    EXPECT_TRUE(CFNumberIsFloatType(Number(kCFNumberDoubleType, 1.0)));
    EXPECT_FALSE(CFNumberIsFloatType(Number(kCFNumberSInt64Type, int64_t(1))));
    EXPECT_EQ(CFNumberCreate(nullptr, 99, nullptr), nullptr);
    int value = 1;
    EXPECT_EQ(CFNumberCreate(nullptr, 0, &value), nullptr);
}

TEST(CFNumber, EqualityAcrossKindsAgreesWithHash)
{
    auto i = Number(kCFNumberSInt32Type, 42);
    auto l = Number(kCFNumberSInt64Type, int64_t(42));
    auto d = Number(kCFNumberFloat64Type, 42.0);
    auto f = Number(kCFNumberFloat32Type, 42.5f);
    EXPECT_TRUE(CFEqual(i, l));
    EXPECT_TRUE(CFEqual(i, d));
    EXPECT_EQ(CFHash(i), CFHash(d));
    EXPECT_FALSE(CFEqual(i, f));
    EXPECT_EQ(CFNumberCompare(i, f, nullptr), kCFCompareLessThan);
    // 2^63 - 1 and the double nearest to it are different numbers.
    auto big = Number(kCFNumberSInt64Type, std::numeric_limits<int64_t>::max());
    auto bigReal = Number(kCFNumberFloat64Type, 9223372036854775807.0);
    EXPECT_EQ(CFNumberCompare(big, bigReal, nullptr), kCFCompareLessThan);
    EXPECT_TRUE(CFEqual(kCFNumberNaN, Number(kCFNumberFloat64Type, std::nan(""))));
}

TEST(CFBoolean, IsNotANumber)
{
    EXPECT_NE(CFGetTypeID(kCFBooleanTrue), CFNumberGetTypeID());
    EXPECT_EQ(CFGetTypeID(kCFBooleanTrue), CFBooleanGetTypeID());
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
    SInt32 value = 7;
    EXPECT_FALSE(CFNumberGetValue(reinterpret_cast<CFNumberRef>(kCFBooleanTrue), kCFNumberSInt32Type, &value));
    EXPECT_EQ(value, 7) << "nothing is stored for a boolean";
    EXPECT_FALSE(CFEqual(kCFBooleanTrue, Number(kCFNumberSInt32Type, 1)));
    EXPECT_FALSE(CFBooleanGetValue(reinterpret_cast<CFBooleanRef>(Number(kCFNumberSInt32Type, 1).get())));
}
