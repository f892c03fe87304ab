#include <gtest/gtest.h>

#include <set>

#include <tavrel/core/AnisotropicDisplacement.h>
#include <tavrel/core/Rational.h>
#include <tavrel/core/UniformRandomSequence.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>

using namespace Tavrel;

TEST(RationalTest, KeepsItsTermsAndComparesByValue)
{
    const Rational half(2, 4);
    EXPECT_EQ(half.GetNumerator(), 2);
    EXPECT_EQ(half.GetDenominator(), 4);
    EXPECT_DOUBLE_EQ(static_cast<double>(half), 0.5);
    EXPECT_EQ(half, Rational(1, 2));
    EXPECT_EQ(Rational(-1, 2), Rational(1, -2));
    EXPECT_FALSE(Rational(1, 1) == Rational(1, 2));
    EXPECT_EQ(Rational(), Rational(0, 1));
    // A zero denominator has no value: it converts to 0 and equals only itself.
    EXPECT_EQ(static_cast<double>(Rational(0, 0)), 0.0);
    EXPECT_FALSE(Rational(0, 0) == Rational(0, 1));
    EXPECT_FALSE(Rational(0, 0) == Rational(1, 1));
    EXPECT_EQ(Rational(3, 0), Rational(3, 0));
    EXPECT_EQ(Rational(2147483647, 2147483646), Rational(2147483647, 2147483646));
}

TEST(UniformRandomSequenceTest, SeededSequencesRepeatAndStayInRange)
{
    UniformRandomSequence a(0, 360, 99);
    UniformRandomSequence b(0, 360, 99);
    std::set<double> distinct;
    for (int i = 0; i < 1000; ++i) {
        const double x = a.Next();
        EXPECT_EQ(x, b());
        EXPECT_GE(x, 0.0);
        EXPECT_LT(x, 360.0);
        distinct.insert(x);
    }
    EXPECT_GT(distinct.size(), 990u);
    // Unseeded sequences differ from each other but repeat once the default sequence is reseeded.
    UniformRandomSequence::Default().Seed(1);
    UniformRandomSequence c;
    UniformRandomSequence d;
    const double c0 = c.Next();
    EXPECT_NE(c0, d.Next());
    UniformRandomSequence::Default().Seed(1);
    UniformRandomSequence again;
    EXPECT_EQ(again.Next(), c0);
}

TEST(AnisotropicDisplacementTest, HoldsTwelveValuesAndRoundTrips)
{
    const AnisotropicDisplacement d(0.11f, 0.22f, 0.33f, 0.12f, 0.13f, 0.23f, 1, 2, 3, 4, 5, 6);
    EXPECT_EQ(d.GetU11(), 0.11f);
    EXPECT_EQ(d.GetU22(), 0.22f);
    EXPECT_EQ(d.GetU33(), 0.33f);
    EXPECT_EQ(d.GetU12(), 0.12f);
    EXPECT_EQ(d.GetU13(), 0.13f);
    EXPECT_EQ(d.GetU23(), 0.23f);
    EXPECT_EQ(d.GetSigu11(), 1.0f);
    EXPECT_EQ(d.GetSigu23(), 6.0f);
    EXPECT_EQ(AnisotropicDisplacement(), AnisotropicDisplacement(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));

    Archive out;
    out << d;
    ASSERT_EQ(out.GetBuffer().size(), 48u);
    Archive in(out.GetBuffer());
    AnisotropicDisplacement read;
    read.Serialize(in);
    EXPECT_EQ(read, d);

    Archive truncated(out.GetBuffer().data(), 40);
    AnisotropicDisplacement untouched = d;
    EXPECT_THROW(truncated >> untouched, ArchiveException);
    EXPECT_EQ(untouched, d);
}
