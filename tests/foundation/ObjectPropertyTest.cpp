#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include <tavrel/foundation/ObjectProperty.h>

using namespace Tavrel;

namespace {

using OP = ObjectProperty;

TEST(ObjectPropertyText, EachValueTypeHasItsTextFormAndTypeName)
{
    const struct {
        OP property;
        const char* text;
        const char* typeName;
    } cases[] = {
        {OP("b", true, 3, 0), "TRUE", "bool"},
        {OP("b", false, 3, 0), "FALSE", "bool"},
        {OP("c", Color::Red(), 3, 3), "255 0 0", "Color"},
        {OP("d", 2.5, 3, 0), "2.500000", "double"},
        {OP("f", 1.0f / 3.0f, 3, 0), "0.333", "float"},
        {OP("i", std::int32_t{-42}, 3, 0), "-42", "int"},
        {OP("p", Point3d(1.0, 2.0, 3.25), 3, 0), "1.000 2.000 3.250", "Point3d"},
        {OP("q", Point2d(-0.5, 4.0), 3, 0), "-0.500 4.000", "Point2d"},
        {OP("s", std::string("Hello"), 3, 0), "Hello", "CString"},
        // A text literal is text, not a bool.
        {OP("s", "literal", 3, 0), "literal", "CString"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.property.GetStringValue(), c.text);
        EXPECT_EQ(c.property.GetType(), c.typeName);
        EXPECT_TRUE(c.property.HasValue());
    }
}

TEST(ObjectPropertyText, ColorReadsClampedFractionsAndKeepsAlpha)
{
    OP::ColorType color(Color(10, 20, 30, 40));
    EXPECT_TRUE(color.FromString("1 0 0"));
    EXPECT_EQ(color.ToString(), "255 0 0");
    EXPECT_TRUE(color.FromString("0.5 0 0"));
    EXPECT_EQ(color.ToString(), "127 0 0");
    // Its own text read back must not wrap around: each component is clamped to 0..1 first.
    EXPECT_TRUE(color.FromString("255 0 0"));
    EXPECT_EQ(color.ToString(), "255 0 0");
    EXPECT_TRUE(color.FromString(" -3 2 0.25 trailing"));
    EXPECT_EQ(color.ToString(), "0 255 63");
    EXPECT_EQ(color.GetValue().GetAlpha(), 40);
}

TEST(ObjectPropertyText, NumbersAreTheLeadingOnesAsAStreamReadsThem)
{
    // Only the exact upper-case word is true; any other text is false, and taken.
    OP::BoolType flag(true);
    EXPECT_TRUE(flag.FromString("true"));
    EXPECT_FALSE(flag.GetValue());
    EXPECT_TRUE(flag.FromString("TRUE"));
    EXPECT_TRUE(flag.GetValue());
    OP::IntType integer(1);
    EXPECT_TRUE(integer.FromString("-12abc"));
    EXPECT_EQ(integer.GetValue(), -12);
    OP::FloatType real(0.0f);
    EXPECT_TRUE(real.FromString(" 1.5e1 units"));
    EXPECT_EQ(real.GetValue(), 15.0f);
    EXPECT_FALSE(real.FromString("1e39"));
    EXPECT_EQ(real.GetValue(), 15.0f);
    OP::DoubleType precise(0.0);
    EXPECT_TRUE(precise.FromString(" 1.5e1 units"));
    EXPECT_EQ(precise.GetValue(), 15.0);
    OP::Point3dType point(Point3d(0.0, 0.0, 0.0));
    EXPECT_TRUE(point.FromString("1 2.5 -3 4"));
    EXPECT_EQ(point.GetValue(), Point3d(1.0, 2.5, -3.0));
    OP::Point2dType flat(Point2d(0.0, 0.0));
    EXPECT_TRUE(flat.FromString("\t7 8 9"));
    EXPECT_EQ(flat.GetValue(), Point2d(7.0, 8.0));
}

TEST(ObjectPropertyText, TextThatCannotBeTakenChangesNothing)
{
    OP::IntType integer(5);
    OP::FloatType real(2.0f);
    OP::DoubleType precise(3.0);
    OP::ColorType color(Color::Blue());
    OP::Point3dType point(Point3d(1.0, 2.0, 3.0));
    OP::Point2dType flat(Point2d(1.0, 2.0));
    OP::StringType text("kept");
    const struct {
        OP::Type* holder;
        std::vector<const char*> refused;
    } cases[] = {
        {&integer, {"", "abc", "99999999999"}},
        {&real, {"", "x1", "1e999"}},
        {&precise, {"", "-", "1e999"}},
        {&color, {"", "red", "1 2"}},
        {&point, {"", "1 2", "1 2 x", "1 2 1e39", "1,2,3"}},
        {&flat, {"", "1", "1x 2"}},
        {&text, {""}},
    };
    for (const auto& c : cases) {
        const std::string before = c.holder->ToString();
        for (const char* input : c.refused) {
            EXPECT_FALSE(c.holder->FromString(input)) << c.holder->GetTypeName() << " '" << input << "'";
            EXPECT_EQ(c.holder->ToString(), before) << c.holder->GetTypeName() << " '" << input << "'";
        }
    }
}

TEST(ObjectPropertyFields, PointsSplitIntoNamedFields)
{
    const OP point("Position", Point3d(1.0, 2.0, 3.25), 3, 0);
    EXPECT_EQ(point.GetFieldCount(), 3);
    EXPECT_EQ(point.GetFieldName(2), "Z");
    EXPECT_EQ(point.GetFieldValue(2), "3.250");
    // Outside the fields the descriptor answers for the whole value; the holder answers "-".
    EXPECT_EQ(point.GetFieldName(3), "Position");
    EXPECT_EQ(point.GetFieldValue(3), "1.000 2.000 3.250");
    OP::Point3dType holder(Point3d(1.0, 2.0, 3.0));
    EXPECT_EQ(holder.GetFieldName(3), "-");
    EXPECT_EQ(holder.GetFieldValue(-1), "-");

    const OP flat("Offset", Point2d(1.0, 2.0), 3, 0);
    EXPECT_EQ(flat.GetFieldName(1), "Y");
    EXPECT_EQ(flat.GetFieldValue(1), "2.000");

    const OP real("Radius", 1.5f, 3, 0);
    EXPECT_EQ(real.GetFieldCount(), 1);
    EXPECT_EQ(real.GetFieldName(0), "Radius");
    EXPECT_EQ(real.GetFieldValue(0), "1.500");
}

TEST(ObjectPropertyValue, EmptyDescriptorAndHasValueFlag)
{
    OP empty;
    EXPECT_EQ(empty.GetStringValue(), "");
    EXPECT_EQ(empty.GetType(), "");
    EXPECT_EQ(empty.GetFieldCount(), 0);
    EXPECT_EQ(empty.GetFieldValue(0), "");

    OP withValues("Style", std::string("Stick"), 6, 8);
    EXPECT_FALSE(withValues.IsReadable());
    EXPECT_TRUE(withValues.IsWritable());
    EXPECT_EQ(withValues.GetAccess(), 6);
    EXPECT_EQ(withValues.GetPropertyType(), 8);
    withValues.SetHasNoValue();
    EXPECT_EQ(withValues.GetStringValue(), "");
    withValues.SetAllValues({"Line", "Stick"});
    EXPECT_TRUE(withValues.HasValue());
    EXPECT_EQ(withValues.GetAllValues(), (std::vector<std::string>{"Line", "Stick"}));

    EXPECT_THROW(OP("x", static_cast<const OP::Type*>(nullptr), 3, 0), std::invalid_argument);
}

TEST(ObjectPropertyValue, CopiesOwnTheirHolderAndCompareByTextIgnoringCase)
{
    const OP::StringType holder("abc");
    OP original("Label", &holder, 3, 0);
    OP copy = original;
    EXPECT_EQ(copy.GetStringValue(), "abc");
    EXPECT_TRUE(copy == original);
    EXPECT_TRUE(OP("a", std::string("Carbon"), 3, 0) == OP("b", std::string("CARBON"), 1, 2));
    EXPECT_TRUE(OP("a", 1.0f, 3, 0) != OP("a", 2.0f, 3, 0));

    copy = OP("Other", std::int32_t{7}, 1, 0);
    EXPECT_EQ(original.GetStringValue(), "abc");
    EXPECT_EQ(copy.GetName(), "Other");
    const OP& alias = copy;
    copy = alias;
    EXPECT_EQ(copy.GetStringValue(), "7");

    OP none;
    EXPECT_FALSE(none == none);
    EXPECT_TRUE(none != none);
    EXPECT_FALSE(none == original);

    OP::Array array(2);
    array[1] = original;
    EXPECT_EQ(array[1].GetStringValue(), "abc");
    EXPECT_FALSE(array[0].HasValue());
}

} // namespace
