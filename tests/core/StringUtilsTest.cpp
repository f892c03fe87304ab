#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include <tavrel/core/StringUtils.h>

using namespace Tavrel;
namespace SU = Tavrel::StringUtils;

TEST(StringUtilsTest, IntegersAreTheLeadingNumberAsAStreamReadsIt)
{
    std::int32_t value = 7;
    const struct {
        const char* text;
        std::int32_t read;
    } cases[] = {{" 12abc", 12}, {"\t-2147483648", INT32_MIN}, {"+5", 5}, {"-0", 0}, {"3.9", 3}, {"1e39", 1},
                 {"1.5.5", 1}, {"3 4", 3}, {"-12abc", -12}, {"0x10", 0}, {"1\xff", 1}};
    for (const auto& c : cases) {
        EXPECT_TRUE(SU::StringToInteger(c.text, value)) << c.text;
        EXPECT_EQ(value, c.read) << c.text;
    }

    value = 7;
    for (const std::string& bad :
         std::vector<std::string>{"", "  ", "abc", "-", "+ 1", ".5", "2147483648", "-2147483649", "99999999999",
                                  "99999999999999999999abc", std::string(1, '\0') + "1", std::string(100000, '1')}) {
        EXPECT_FALSE(SU::StringToInteger(bad, value)) << bad;
        EXPECT_EQ(value, 7) << bad;
    }
    // The reader says how much of the text it used.
    EXPECT_EQ(SU::ReadInteger(" 12abc", value), 3u);
    EXPECT_EQ(value, 12);
}

TEST(StringUtilsTest, RealsAreTheLeadingNumberFiniteAndWithinTheirType)
{
    double value = 0.0;
    const struct {
        const char* text;
        double read;
    } cases[] = {{"  1.5e2xyz", 150.0}, {" 1.5e1 units", 15.0}, {".5", 0.5}, {"-7.", -7.0}, {"1e39", 1e39},
                 {"1.5.5", 1.5}, {"2e", 2.0}, {"0x1p3", 0.0}, {"1 2", 1.0}, {"3.5 kcal", 3.5}, {"1e-400", 0.0}};
    for (const auto& c : cases) {
        EXPECT_TRUE(SU::StringToReal(c.text, value)) << c.text;
        EXPECT_DOUBLE_EQ(value, c.read) << c.text;
    }
    // Every zero is +0.
    for (const char* zero : {"-0", "-0.0x", "-1e-400"}) {
        value = 9.0;
        EXPECT_TRUE(SU::StringToReal(zero, value)) << zero;
        EXPECT_FALSE(std::signbit(value)) << zero;
    }

    value = 9.0;
    for (const std::string& bad : std::vector<std::string>{"", ".", "-.", "e5", "inf", "-inf", "nan", "NaN", "infinity",
                                                           "1e400", "1e400 2", "12345678901234567890e300",
                                                           std::string(100000, '9')}) {
        EXPECT_FALSE(SU::StringToReal(bad, value)) << bad;
        EXPECT_EQ(value, 9.0) << bad;
    }
    float narrow = 1.0f;
    EXPECT_FALSE(SU::StringToReal("1e39", narrow));
    EXPECT_FALSE(SU::StringToReal("-3.5e38x", narrow));
    EXPECT_EQ(narrow, 1.0f);
    EXPECT_TRUE(SU::StringToReal("0.25e1x", narrow));
    EXPECT_EQ(narrow, 2.5f);
    EXPECT_TRUE(SU::StringToReal("-0", narrow));
    EXPECT_FALSE(std::signbit(narrow));
    EXPECT_EQ(SU::ReadReal("  1.5e2xyz", value), 7u);
}

TEST(StringUtilsTest, ReadingIgnoresGlobalLocale)
{
    // A comma-decimal locale, when the machine has one, must not change reading or formatting.
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const bool switched = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    double value = 0.0;
    const bool read = SU::StringToReal("2.5", value);
    const std::string text = SU::Format("%.4f", 2.5);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_TRUE(read);
    EXPECT_DOUBLE_EQ(value, 2.5);
    EXPECT_EQ(text, "2.5000");
    if (!switched)
        GTEST_LOG_(INFO) << "de_DE.UTF-8 not installed; checked in the current locale only";
}

TEST(StringUtilsTest, BooleansAreALeadingWordOrBit)
{
    const struct {
        std::string text;
        bool read;
    } cases[] = {{" TRUE", true}, {"false\t", false}, {"false, then more", false}, {std::string("true\0", 5), true},
                 {"1", true}, {"1abc", true}, {"0x", false}, {" 0 1", false}};
    for (const auto& c : cases) {
        bool value = !c.read;
        EXPECT_TRUE(SU::StringToBoolean(c.text, value)) << c.text;
        EXPECT_EQ(value, c.read) << c.text;
    }
    bool value = true;
    for (const char* bad : {"", "yes", "trueish", "False2", "2", "10", "-1", "tru", "x true"}) {
        EXPECT_FALSE(SU::StringToBoolean(bad, value)) << bad;
        EXPECT_TRUE(value) << bad;
    }
}

TEST(StringUtilsTest, PointsAreThreeLeadingNumbersReadInTurn)
{
    Point3d p(9, 9, 9);
    EXPECT_TRUE(SU::StringToPoint(" 1 2.5\t-3 ", p));
    EXPECT_EQ(p, Point3d(1, 2.5, -3));
    EXPECT_TRUE(SU::StringToPoint(" 4 5 6 and more", p));
    EXPECT_EQ(p, Point3d(4, 5, 6));
    EXPECT_TRUE(SU::StringToPoint("7 8 9 10 nan", p));
    EXPECT_EQ(p, Point3d(7, 8, 9));
    // Each number starts where the last ended, as a stream reads them.
    EXPECT_TRUE(SU::StringToPoint("1-2 3", p));
    EXPECT_EQ(p, Point3d(1, -2, 3));
    EXPECT_TRUE(SU::StringToPoint("1.5.5 2", p));
    EXPECT_EQ(p, Point3d(1.5, 0.5, 2));
    for (const char* bad : {"4 5", "4,5,6", "1 2 1e39", "1 2 nan", "1 2x 3"})
        EXPECT_FALSE(SU::StringToPoint(bad, p)) << bad;
    EXPECT_EQ(p, Point3d(1.5, 0.5, 2));
    // Reals of a double pair are not held to the float range.
    double pair[2] = {};
    EXPECT_TRUE(SU::StringToReals("7 1e39 9", pair));
    EXPECT_EQ(pair[1], 1e39);
    EXPECT_FALSE(SU::StringToReals("7", pair));
}

TEST(StringUtilsTest, CaseHelpersFoldAsciiOnly)
{
    EXPECT_EQ(SU::ToLower("AbC\xC3\x89"), "abc\xC3\x89");
    EXPECT_EQ(SU::ToUpper("xYz1"), "XYZ1");
    EXPECT_TRUE(SU::EqualsNoCase("Element", "eLEMENT"));
    EXPECT_FALSE(SU::EqualsNoCase("Elem", "Element"));
    EXPECT_LT(SU::CompareNoCase("abc", "ABD"), 0);
    EXPECT_GT(SU::CompareNoCase("b", "A"), 0);
    EXPECT_LT(SU::CompareNoCase("ab", "AB c"), 0);
    EXPECT_EQ(SU::Trim(" \t x y \r\n"), "x y");
    EXPECT_EQ(SU::Trim("   "), "");
}

TEST(StringUtilsTest, FormatsTheLibrarysTextForms)
{
    EXPECT_EQ(SU::Format("%d", -42), "-42");
    EXPECT_EQ(SU::Format("%.4f %.4f %.4f", 1.0f, 2.5, -3), "1.0000 2.5000 -3.0000");
    EXPECT_EQ(SU::Format("%.3f", 0.0005), "0.001");
    EXPECT_EQ(SU::Format("%.2f", -0.001), "-0.00");
    EXPECT_EQ(SU::Format("%f", 1.5), "1.500000");
    EXPECT_EQ(SU::Format("%+d/%d", 1, 3), "+1/3");
    EXPECT_EQ(SU::Format("%+d", 0), "+0");
    EXPECT_EQ(SU::Format("R%d", 7u), "R7");
    EXPECT_EQ(SU::Format("%s#%d@%d,%d,%d", std::string("CA"), 1, 2, 3, 4), "CA#1@2,3,4");
    EXPECT_EQ(SU::Format("%-4d|%5s|%05d", 7, "ab", -42), "7   |   ab|-0042");
    EXPECT_EQ(SU::Format("%*d|%*.*f|%*s", 4, 5, 8, 2, 3.14159, 3, "x"), "   5|    3.14|  x");
    EXPECT_EQ(SU::Format("%x %X %#x %o %u", 255, 255, 255, 8, -1), "ff FF 0xff 10 4294967295");
    EXPECT_EQ(SU::Format("%e %g %g %G", 1234.5, 0.0001, 1e20, 1e-10), "1.234500e+03 0.0001 1e+20 1E-10");
    EXPECT_EQ(SU::Format("%c%%%.2s", 'A', "xyz"), "A%xy");
    EXPECT_EQ(SU::Format("%ld %lf", 3L, 2.0), "3 2.000000");
    EXPECT_EQ(SU::Format("%f %F", INFINITY, -NAN), "inf -NAN");
    EXPECT_EQ(SU::Format("%s", static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(SU::Format("%.1f", 1e300).size(), 303u);
}

TEST(StringUtilsTest, FormatRejectsMismatches)
{
    EXPECT_THROW(SU::Format("%d %d", 1), std::invalid_argument);
    EXPECT_THROW(SU::Format("%d", "text"), std::invalid_argument);
    EXPECT_THROW(SU::Format("%s", 1.5), std::invalid_argument);
    EXPECT_THROW(SU::Format("%q", 1), std::invalid_argument);
    EXPECT_THROW(SU::Format("50%"), std::invalid_argument);
    EXPECT_EQ(SU::Format("%d", 1, 2), "1");
}
