#include <gtest/gtest.h>

#include <memory>
#include <string_view>

#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/NamedProperty.h>
#include <tavrel/foundation/Object.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/foundation/PropertyExpression.h>
#include <tavrel/foundation/SetCollection.h>
#include <tavrel/foundation/Specification.h>

using namespace Tavrel;

namespace {

class PropertyConditionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // A child of parent whose text property "Charge" reads as given (none for null).
    static Object* Charged(Object* parent, const char* charge)
    {
        auto* const object = new Object(parent);
        if (charge)
            object->SetPropertyFromString("Charge", charge);
        return object;
    }

    std::unique_ptr<Object> root = std::make_unique<Object>(nullptr);
};

TEST_F(PropertyConditionTest, ConditionsCompareTextsIgnoringCaseAndNegate)
{
    Object* const one = Charged(root.get(), "1");
    Object* const real = Charged(root.get(), "1.0");
    Object* const word = Charged(root.get(), "Plus");
    const NamedProperty equal("Charge=1");
    EXPECT_EQ(equal.GetName(), "Charge");
    EXPECT_EQ(equal.GetValue(), "1");
    EXPECT_FALSE(equal.IsNegated());
    EXPECT_TRUE(equal.CheckObject(one));
    EXPECT_FALSE(equal.CheckObject(real));
    EXPECT_TRUE(NamedProperty("Charge=plus").CheckObject(word));

    // Blanks around the parts are dropped; a "!" before the "=" negates.
    const NamedProperty different("  Charge != 1 ");
    EXPECT_EQ(different.GetName(), "Charge");
    EXPECT_TRUE(different.IsNegated());
    EXPECT_FALSE(different.CheckObject(one));
    EXPECT_TRUE(different.CheckObject(real));
    EXPECT_TRUE(different.CheckObject(word));

    // Further "=" belong to the value; the constructed form makes its filter when needed.
    EXPECT_EQ(NamedProperty("Label=a=b").GetValue(), "a=b");
    const NamedProperty built("Charge", "1", true);
    EXPECT_TRUE(built.IsNegated());
    EXPECT_TRUE(built.CheckObject(real));
    const NamedProperty copy(built);
    EXPECT_FALSE(copy.CheckObject(one));
}

TEST_F(PropertyConditionTest, QuotedValuesAreNumberRangesOrExpressions)
{
    Object* const three = Charged(root.get(), "3");
    Object* const twelve = Charged(root.get(), "12");
    Object* const text = Charged(root.get(), "1-5");
    const NamedProperty range("Charge=\"1-5\"");
    EXPECT_EQ(range.GetValue(), "\"1-5\"");
    EXPECT_TRUE(range.CheckObject(three));
    EXPECT_FALSE(range.CheckObject(twelve));
    // The same text without quotes is compared literally.
    EXPECT_FALSE(NamedProperty("Charge=1-5").CheckObject(three));
    EXPECT_TRUE(NamedProperty("Charge=1-5").CheckObject(text));

    const NamedProperty pattern("Charge=\"1[0-9]\"");
    EXPECT_TRUE(pattern.CheckObject(twelve));
    EXPECT_FALSE(pattern.CheckObject(three));
    // Quotes around plain text: the text between them; a lone quote is the empty text.
    EXPECT_TRUE(NamedProperty("Charge=\"3\"").CheckObject(three));
    EXPECT_TRUE(NamedProperty("Missing=\"").CheckObject(three));
}

TEST_F(PropertyConditionTest, TextsWithoutANameAcceptEverything)
{
    Object* const object = Charged(root.get(), "1");
    for (const std::string_view text : {"=C", "C"}) {
        const NamedProperty condition(text);
        EXPECT_EQ(condition.GetName(), "");
        EXPECT_TRUE(condition.CheckObject(object));
    }
    // A text that cannot be parsed keeps the condition as it was.
    NamedProperty condition("Charge=1");
    condition = "no equals sign";
    EXPECT_EQ(condition.GetName(), "Charge");
    condition = "";
    EXPECT_EQ(condition.GetValue(), "1");
    condition = "Charge!=1";
    EXPECT_FALSE(condition.CheckObject(object));
}

TEST_F(PropertyConditionTest, ExpressionsAcceptWhenAnyTermDoes)
{
    Object* const one = Charged(root.get(), "1");
    Object* const two = Charged(root.get(), "2");
    Object* const three = Charged(root.get(), "3");
    PropertyExpression expression("Charge=1,,Charge=2,");
    ASSERT_EQ(expression.GetSize(), 2);
    EXPECT_EQ(expression.GetName(1), "Charge");
    EXPECT_EQ(expression.GetValue(1), "2");
    EXPECT_EQ(expression.GetName(2), "");
    EXPECT_TRUE(expression.CheckObject(one));
    EXPECT_TRUE(expression.CheckObject(two));
    EXPECT_FALSE(expression.CheckObject(three));
    const std::unique_ptr<Filter> filter = expression.CreateFilter();
    EXPECT_TRUE((*filter)(two));
    EXPECT_FALSE((*filter->Copy())(three));

    // No terms: nothing passes. A blank part is no term (it would accept everything).
    expression = "";
    EXPECT_EQ(expression.GetSize(), 0);
    EXPECT_FALSE(expression.CheckObject(one));
    expression = "Charge=3, ";
    EXPECT_EQ(expression.GetSize(), 1);
    EXPECT_FALSE(expression.CheckObject(one));
    // Commas inside quotes separate terms too.
    EXPECT_EQ(PropertyExpression("Charge=\"1,2\"").GetSize(), 2);
}

TEST_F(PropertyConditionTest, SpecificationsSelectDescendantsOfTheirClass)
{
    root->SetPropertyFromString("Charge", "1");
    Object* const parent = Charged(root.get(), "1");
    Object* const child = Charged(parent, "1");
    Charged(parent, "2");
    Object* const other = Charged(root.get(), "1");

    const Specification specification("  Object Charge=1 ");
    EXPECT_EQ(specification.GetText(), "Object Charge=1");
    OrdCollection found;
    ASSERT_TRUE(specification.GetObjects(root.get(), found));
    ASSERT_EQ(found.GetSize(), 3); // never the root itself
    EXPECT_EQ(found.GetAt(0), parent);
    EXPECT_EQ(found.GetAt(1), child);
    EXPECT_EQ(found.GetAt(2), other);

    // Below each member of a collection: shared descendants twice in order, once in a set.
    OrdCollection in;
    in.Add(root.get());
    in.Add(parent);
    in.Add(nullptr);
    OrdCollection ordered;
    ASSERT_TRUE(specification.Copy()->GetObjects(in, ordered));
    EXPECT_EQ(ordered.GetSize(), 4);
    SetCollection set;
    ASSERT_TRUE(specification.GetObjects(in, set));
    EXPECT_EQ(set.GetSize(), 3);

    // A word alone, an unknown class, or no conditions select nothing.
    for (const char* text : {"Object", "NoSuchClass Charge=1", "Object ,,"}) {
        OrdCollection none;
        EXPECT_TRUE(Specification(text).GetObjects(root.get(), none)) << text;
        EXPECT_TRUE(none.IsEmpty()) << text;
    }
}

} // namespace
