#include <CarbonCore/CarbonCore.h>
#include <Support/Diagnostics.h>

#include <gtest/gtest.h>

#include <cstring>

TEST(MacMemory, BlocksKnowTheirSizeAndRefuseForeignPointers)
{
    Ptr block = NewPtr(37);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GetPtrSize(block), 37) << "exactly the size asked for";
    EXPECT_TRUE(IsPointerValid(block));
    Ptr empty = NewPtrClear(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(GetPtrSize(empty), 0);
    Ptr zeros = NewPtrClear(16);
    EXPECT_EQ(std::memcmp(zeros, "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16), 0);

    DisposePtr(block);
    EXPECT_FALSE(IsPointerValid(block));
    EXPECT_EQ(GetPtrSize(block), 0);
    EXPECT_EQ(MemError(), memWZErr);

    Diagnostics::Capture capture;
    DisposePtr(block);  // a second dispose is refused, not a double free
    char onStack[4];
    DisposePtr(onStack);
    EXPECT_EQ(capture.Lines().size(), 2u);
    EXPECT_EQ(MemError(), memWZErr);
    DisposePtr(nullptr);
    EXPECT_EQ(MemError(), noErr);

    DisposePtr(empty);
    DisposePtr(zeros);
    EXPECT_EQ(NewPtr(-1), nullptr);
    EXPECT_EQ(MemError(), memFullErr);
}

TEST(DriverServices, ClocksFollowTheSystemClock)
{
    UnsignedWide before, after;
    Microseconds(&before);
    const UInt32 ticks = TickCount();
    Microseconds(&after);
    const uint64_t a = (uint64_t(before.hi) << 32) | before.lo;
    const uint64_t b = (uint64_t(after.hi) << 32) | after.lo;
    EXPECT_LE(a, b);
    EXPECT_NEAR(double(ticks), double(a) * 60 / 1e6, 2.0);
}
