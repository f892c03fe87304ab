#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <tavrel/core/Point3d.h>
#include <tavrel/core/LatticeOffset.h>
#include <tavrel/platform/Archive.h>

using namespace Tavrel;

namespace {

TEST(LatticeOffset, ValuesWrapToSixteenBitsAndWidenWithTheirSign)
{
    LatticeOffset offset;
    offset.SetAt(0, 65537);
    offset.SetAt(1, 40000);
    EXPECT_EQ(offset.GetAt(0), 1);
    EXPECT_EQ(offset.GetAt(1), -25536);
    EXPECT_EQ(offset.GetAt(2), 0);

    const LatticeOffset sum = LatticeOffset(32767, 0, -32768) + LatticeOffset(1, 0, -1);
    EXPECT_EQ(sum.GetAt(0), -32768);
    EXPECT_EQ(sum.GetAt(2), 32767);

    offset = Point3d(1.9, -1.9, 0.4);
    int a = 0, b = 0, c = 0;
    offset.Get(&a, &b, &c);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, -1);
    EXPECT_EQ(c, 0);
    offset = Point3d(3e9, -3e9, 2.7);
    EXPECT_TRUE(offset.IsSame(LatticeOffset(0, 0, 2)));
}

TEST(LatticeOffset, ComparisonsHoldForEveryComponent)
{
    EXPECT_FALSE(LatticeOffset().IsPeriodic());
    EXPECT_TRUE(LatticeOffset(0, 0, -1).IsPeriodic());
    EXPECT_TRUE(LatticeOffset().IsOpposite(LatticeOffset()));
    EXPECT_TRUE(LatticeOffset(1, -2, 0).IsOpposite(LatticeOffset(-1, 2, 0)));
    EXPECT_FALSE(LatticeOffset(1, 1, 0) > 0);
    EXPECT_TRUE(LatticeOffset(-1, -1, -1) < 0);
    EXPECT_TRUE(LatticeOffset(2, 2, 2) == 2);

    LatticeOffset offset(1, -2, 3);
    offset -= LatticeOffset(1, 1, 1);
    EXPECT_TRUE(offset.IsSame(LatticeOffset(0, -3, 2)));
    offset.Negate();
    EXPECT_TRUE(offset.IsSame(LatticeOffset(0, 3, -2)));
    offset.Clear();
    EXPECT_TRUE(offset.IsSame(LatticeOffset()));
}

TEST(LatticeOffset, ArchiveFormIsThreeSignExtendedIntegers)
{
    Archive out;
    LatticeOffset(-1, 2, -3).Serialize(out);
    const std::vector<std::uint8_t> expected = {0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(out.GetBuffer(), expected);

    Archive in(out.GetBuffer());
    LatticeOffset loaded;
    loaded.Serialize(in);
    EXPECT_TRUE(loaded.IsSame(LatticeOffset(-1, 2, -3)));

    // Stored values keep their low 16 bits; a short record fails.
    Archive wide;
    wide << std::int32_t{65537} << std::int32_t{-65536} << std::int32_t{40000};
    Archive wideIn(wide.GetBuffer());
    loaded.Serialize(wideIn);
    EXPECT_TRUE(loaded.IsSame(LatticeOffset(1, 0, -25536)));
    Archive shortIn(std::vector<std::uint8_t>(8, 0));
    EXPECT_THROW(loaded.Serialize(shortIn), ArchiveException);
}

TEST(LatticeOffsetTest, StepsWrapToSixteenBitsAndReadBackSigned)
{
    const LatticeOffset wrapped(32768, -32769, 65536);
    EXPECT_EQ(wrapped.GetAt(0), -32768);
    EXPECT_EQ(wrapped.GetAt(1), 32767);
    EXPECT_EQ(wrapped.GetAt(2), 0);
    EXPECT_TRUE(wrapped.IsSame(LatticeOffset(-32768, 32767, 0)));
    EXPECT_FALSE(wrapped.IsSame(LatticeOffset(-32768, 32767, 1)));

    // A whole turn of the 16-bit range is no translation at all.
    EXPECT_FALSE(LatticeOffset(65536, -65536, 0).IsPeriodic());
    EXPECT_FALSE(LatticeOffset().IsPeriodic());
    for (int axis = 0; axis < 3; ++axis) {
        LatticeOffset step;
        step.Set(axis == 0 ? -1 : 0, axis == 1 ? -1 : 0, axis == 2 ? -1 : 0);
        EXPECT_TRUE(step.IsPeriodic()) << axis;
        EXPECT_EQ(step.GetAt(axis), -1);
    }
}

} // namespace
