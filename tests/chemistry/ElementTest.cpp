#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include <tavrel/chemistry/Element.h>
#include <tavrel/chemistry/ElementFactory.h>
#include <tavrel/chemistry/ElementTable.h>
#include <tavrel/chemistry/InternalElementFactory.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>

using namespace Tavrel;

namespace {

class ElementTest : public ::testing::Test {
protected:
    void SetUp() override { ResetElementFactoryForTests(); }
    void TearDown() override { ResetElementFactoryForTests(); }

    ElementFactory& factory = ElementFactory::GetElementFactory();
};

std::vector<std::int32_t> States(const Element& element)
{
    const auto states = element.GetOxidationStates();
    return {states.begin(), states.end()};
}

void ExpectSameRecord(const Element& a, const Element& b)
{
    EXPECT_EQ(a.GetColor(), b.GetColor());
    EXPECT_EQ(a.GetName(), b.GetName());
    EXPECT_EQ(a.GetSymbol(), b.GetSymbol());
    EXPECT_EQ(a.GetType(), b.GetType());
    EXPECT_EQ(a.GetAtomicNumber(), b.GetAtomicNumber());
    EXPECT_EQ(a.GetAtomicWeight(), b.GetAtomicWeight());
    EXPECT_EQ(a.GetExactMass(), b.GetExactMass());
    EXPECT_EQ(States(a), States(b));
    EXPECT_EQ(a.GetCommonOxidationState(), b.GetCommonOxidationState());
    EXPECT_EQ(a.GetCovalentRadius(), b.GetCovalentRadius());
    EXPECT_EQ(a.GetVDWRadius(), b.GetVDWRadius());
}

} // namespace

TEST_F(ElementTest, BuiltInTableHasOneRowPerElementFromUnknownToLawrencium)
{
    const auto table = GetElementTable();
    ASSERT_EQ(table.size(), 104u);
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto& row = table[i];
        EXPECT_EQ(row.type, static_cast<ElementType>(i));
        EXPECT_EQ(row.atomicNumber, static_cast<std::int32_t>(i));
        ASSERT_GE(row.numOxidationStates, 0);
        ASSERT_LE(row.numOxidationStates, 5);
        for (std::int32_t k = row.numOxidationStates; k < 5; ++k)
            EXPECT_EQ(row.oxidationStates[static_cast<std::size_t>(k)], 0) << row.symbol;
        const Element* element = factory.FindElementByAtomicNumber(row.atomicNumber);
        EXPECT_EQ(element->GetSymbol(), row.symbol);
        EXPECT_FALSE(element->GetUser());
    }
    EXPECT_EQ(factory.GetNumElements(), 103);
    EXPECT_EQ(factory.FindElement("Lr")->GetName(), "Lawrencium");
    EXPECT_EQ(factory.FindElement("?")->GetColor(), Color(255, 16, 147));
}

TEST_F(ElementTest, TableKeepsItsOwnValuesWithTyposMended)
{
    EXPECT_FLOAT_EQ(factory.FindElement("V")->GetAtomicWeight(), 50.94f);
    EXPECT_FLOAT_EQ(factory.FindElement("Y")->GetAtomicWeight(), 88.906f);
    EXPECT_FLOAT_EQ(factory.FindElement("Ta")->GetAtomicWeight(), 180.948f);
    EXPECT_DOUBLE_EQ(factory.FindElement("Ar")->GetExactMass(), 39.9623831);
    EXPECT_DOUBLE_EQ(factory.FindElement("Pm")->GetExactMass(), 144.912749);
    EXPECT_DOUBLE_EQ(factory.FindElement("Ni")->GetExactMass(), 57.935346);
    EXPECT_DOUBLE_EQ(factory.FindElement("Er")->GetExactMass(), 165.930293);
    EXPECT_EQ(factory.FindElement("Ga")->GetCommonOxidationState(), 3);
    EXPECT_EQ(States(*factory.FindElement("Ga")), (std::vector<std::int32_t>{3}));
    EXPECT_EQ(States(*factory.FindElement("Eu")), (std::vector<std::int32_t>{2, 3}));
    EXPECT_EQ(factory.FindElement("Eu")->GetCommonOxidationState(), 3);
    // Values that stay as the system has them.
    EXPECT_FLOAT_EQ(factory.FindElement("At")->GetAtomicWeight(), 210.0f);
    EXPECT_DOUBLE_EQ(factory.FindElement("Pr")->GetExactMass(), 140.907657);
    EXPECT_FLOAT_EQ(factory.FindElement("Ni")->GetAtomicWeight(), 58.71f);
    EXPECT_EQ(States(*factory.FindElement("C")), (std::vector<std::int32_t>{4, 2, 0}));
}

TEST_F(ElementTest, LookupsNormaliseSymbolsIgnoreNameCaseAndFallBackToTheUnknownElement)
{
    const Element* chlorine = factory.FindElement("Cl");
    EXPECT_EQ(chlorine->GetName(), "Chlorine");
    EXPECT_EQ(factory.FindElement("cl"), chlorine);
    EXPECT_EQ(factory.FindElement("CL"), chlorine);
    EXPECT_EQ(factory.FindElement("c")->GetName(), "Carbon");
    EXPECT_EQ(factory.FindElement("CA")->GetName(), "Calcium");
    EXPECT_EQ(factory.FindElement("CAR")->GetName(), "Carbon");

    const Element* unknown = factory.FindElement("?");
    EXPECT_EQ(unknown->GetName(), "Unknown");
    EXPECT_EQ(unknown->GetType(), UnknownElementType);
    EXPECT_EQ(factory.FindElement("Q"), unknown);
    EXPECT_EQ(factory.FindElement("Xyz"), unknown);
    EXPECT_EQ(factory.FindElement(""), unknown);
    // A symbol ends at its first NUL.
    using namespace std::string_view_literals;
    EXPECT_EQ(factory.FindElement("c\0"sv), factory.FindElement("C"));
    EXPECT_EQ(factory.FindElement("\0l"sv), unknown);

    EXPECT_EQ(factory.FindElementByName("carbon")->GetSymbol(), "C");
    EXPECT_EQ(factory.FindElementByName("CARBON")->GetSymbol(), "C");
    EXPECT_EQ(factory.FindElementByName("C"), unknown);
    EXPECT_EQ(factory.FindElementByType(ElementType(17)), chlorine);
    EXPECT_EQ(factory.FindElementByType(ElementType(104)), unknown);
    EXPECT_EQ(factory.FindElementByAtomicNumber(-1), unknown);

    EXPECT_EQ(factory.GetElementName(0), "Hydrogen");
    EXPECT_EQ(factory.GetElementSymbol(102), "Lr");
    EXPECT_EQ(factory.GetElementName(103), "Unknown");
    EXPECT_EQ(factory.GetElementSymbol(-7), "?");
    EXPECT_EQ(factory.GetElementName(ElementType(8)), "Oxygen");
    EXPECT_EQ(factory.GetElementSymbol(ElementType(300)), "?");
}

TEST_F(ElementTest, BondingRadiusIsZeroForTheListedMetalsOnly)
{
    for (const char* symbol : {"Li", "Na", "Mg", "Ba", "Ra", "La", "Gd", "Yb", "Ac", "No"})
        EXPECT_EQ(factory.FindElement(symbol)->GetBondingRadius(), 0.0f) << symbol;
    EXPECT_EQ(factory.FindElement("C")->GetBondingRadius(), 0.77f * 1.15f);
    EXPECT_EQ(factory.FindElement("?")->GetBondingRadius(), 0.7f * 1.15f);
    EXPECT_EQ(factory.FindElement("Lu")->GetBondingRadius(), 1.56f * 1.15f);
    EXPECT_EQ(factory.FindElement("Lr")->GetBondingRadius(), 0.84f * 1.15f);
    EXPECT_EQ(factory.FindElement("Al")->GetBondingRadius(), 1.18f * 1.15f);
}

TEST_F(ElementTest, UserElementsCountAndRemovingTouchesOnlyThatEntry)
{
    Element deuterium(*factory.FindElement("H"));
    EXPECT_TRUE(deuterium.GetUser());
    EXPECT_EQ(deuterium.GetColor(), Color());  // a copy does not take the colour
    deuterium.SetName("Deuterium");
    deuterium.SetSymbol("Dx");
    deuterium.SetExactMass(2.014101778);
    deuterium.SetColor(Color(200, 200, 255));

    const Element* added = factory.AddUserElement(deuterium);
    EXPECT_EQ(factory.GetNumElements(), 104);
    EXPECT_EQ(factory.FindElement("Dx"), added);
    EXPECT_EQ(factory.FindElementByName("DEUTERIUM"), added);
    EXPECT_EQ(factory.GetElementSymbol(103), "Dx");
    EXPECT_EQ(added->GetColor(), Color(200, 200, 255));
    EXPECT_EQ(factory.FindElementByType(ElementType(1))->GetName(), "Hydrogen");

    // A built-in element is never removed.
    const Element* carbon = factory.FindElement("C");
    EXPECT_FALSE(factory.RemoveUserElement(carbon));
    EXPECT_EQ(factory.FindElement("C"), carbon);

    // Replacing a built-in symbol keeps the count; removing the replacement brings carbon back.
    Element carbon13(*carbon);
    carbon13.SetName("Carbon-13");
    const Element* replacement = factory.AddUserElement(carbon13);
    EXPECT_EQ(factory.GetNumElements(), 104);
    EXPECT_EQ(factory.FindElement("C"), replacement);
    EXPECT_TRUE(factory.RemoveUserElement(replacement));
    EXPECT_EQ(factory.FindElement("C"), carbon);
    EXPECT_FALSE(factory.RemoveUserElement(replacement));

    EXPECT_TRUE(factory.RemoveUserElement(added));
    EXPECT_EQ(factory.GetNumElements(), 103);
    EXPECT_EQ(factory.FindElement("Dx")->GetSymbol(), "?");
    EXPECT_EQ(factory.GetElementName(103), "Unknown");
    // What an atom still points to stays a valid element.
    EXPECT_EQ(added->GetName(), "Deuterium");
    EXPECT_EQ(replacement->GetName(), "Carbon-13");
    EXPECT_FALSE(factory.RemoveUserElement(added));
    EXPECT_FALSE(factory.RemoveUserElement(nullptr));

    // A user element under "?" becomes the unknown element until it is removed.
    const Element* builtInUnknown = factory.FindElement("?");
    Element question(*builtInUnknown);
    question.SetName("Dummy");
    const Element* dummy = factory.AddUserElement(question);
    EXPECT_EQ(factory.FindElement("Q"), dummy);
    EXPECT_TRUE(factory.RemoveUserElement(dummy));
    EXPECT_EQ(factory.FindElement("Q"), builtInUnknown);
    EXPECT_EQ(factory.GetNumElements(), 103);
}

TEST_F(ElementTest, TypeLookupsFindTheFirstElementOfAnyTypeAndForgetRemovedOnes)
{
    const Element* carbon = factory.FindElementByType(ElementType(6));
    const auto add = [&](const char* symbol, std::int32_t type) {
        Element user(*carbon);
        user.SetSymbol(symbol);
        user.SetType(ElementType(type));
        return factory.AddUserElement(user);
    };
    const Element* small = add("Za", 255);
    const Element* large = add("Zb", 70000);
    const Element* negative = add("Zc", -3);
    const Element* second = add("Zd", 255);  // a second element of a type keeps the first one found
    const Element* carbonToo = add("Ze", 6);
    EXPECT_EQ(factory.FindElementByType(ElementType(255)), small);
    EXPECT_EQ(factory.FindElementByType(ElementType(70000)), large);
    EXPECT_EQ(factory.FindElementByType(ElementType(-3)), negative);
    EXPECT_EQ(factory.FindElementByType(ElementType(6)), carbon);

    EXPECT_TRUE(factory.RemoveUserElement(small));
    EXPECT_EQ(factory.FindElementByType(ElementType(255)), second);
    EXPECT_TRUE(factory.RemoveUserElement(second));
    EXPECT_TRUE(factory.RemoveUserElement(large));
    EXPECT_TRUE(factory.RemoveUserElement(carbonToo));
    EXPECT_EQ(factory.FindElementByType(ElementType(255))->GetSymbol(), "?");
    EXPECT_EQ(factory.FindElementByType(ElementType(70000))->GetSymbol(), "?");
    EXPECT_EQ(factory.FindElementByType(ElementType(6)), carbon);
}

TEST_F(ElementTest, HandlesNameEachElementWhileItLivesAndAreReusedAfterwards)
{
    const Element* carbon = factory.FindElement("C");
    const std::uint32_t handle = carbon->GetHandle();
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(carbon->GetHandle(), handle);
    EXPECT_EQ(Element::FromHandle(handle), carbon);
    EXPECT_EQ(Element::FromHandle(0), nullptr);

    std::uint32_t freed = 0;
    {
        const Element copy(*carbon);
        freed = copy.GetHandle();
        EXPECT_NE(freed, handle);  // a copy has its own
        EXPECT_EQ(Element::FromHandle(freed), &copy);
    }
    EXPECT_EQ(Element::FromHandle(freed), nullptr);
    const Element later;
    EXPECT_EQ(later.GetHandle(), freed);
    EXPECT_EQ(Element::FromHandle(freed), &later);
}

TEST_F(ElementTest, ChangesAndResetsActOnlyOnTheRequestedType)
{
    const Element* unknown = factory.FindElement("?");
    const Element* oxygen = factory.FindElement("O");

    for (const ElementType type : {UnknownElementType, ElementType(150)}) {
        factory.ChangeColor(type, Color(1, 2, 3));
        factory.ChangeVDWRadius(type, 9.0f);
        factory.ChangeCovalentRadius(type, 8.0f);
    }
    EXPECT_EQ(unknown->GetColor(), Color(255, 16, 147));
    EXPECT_EQ(unknown->GetVDWRadius(), 0.65f);
    EXPECT_EQ(unknown->GetCovalentRadius(), 0.7f);

    factory.ChangeColor(ElementType(8), Color(1, 2, 3));
    factory.ChangeVDWRadius(ElementType(8), 3.5f);
    factory.ChangeCovalentRadius(ElementType(8), 0.5f);
    EXPECT_EQ(oxygen->GetColor(), Color(1, 2, 3));
    EXPECT_EQ(oxygen->GetVDWRadius(), 3.5f);
    EXPECT_EQ(oxygen->GetBondingRadius(), 0.5f * 1.15f);
    factory.ResetElementData(ElementType(8));
    EXPECT_EQ(oxygen->GetColor(), Color(240, 0, 0));
    EXPECT_EQ(oxygen->GetVDWRadius(), 1.35f);
    EXPECT_EQ(oxygen->GetCovalentRadius(), 0.73f);

    factory.ChangeVDWRadius(ElementType(26), 4.0f);
    factory.ChangeColor(ElementType(103), Color(9, 9, 9));
    factory.ResetElementData();
    EXPECT_EQ(factory.FindElement("Fe")->GetVDWRadius(), 1.26f);
    EXPECT_EQ(factory.FindElement("Lr")->GetColor(), Color(201, 0, 102));

    // A reset of a missing type leaves a user element under "?" as it is, still removable.
    Element question(*unknown);
    question.SetVDWRadius(5.0f);
    const Element* dummy = factory.AddUserElement(question);
    factory.ResetElementData(ElementType(150));
    factory.ResetElementData(UnknownElementType);
    EXPECT_EQ(dummy->GetVDWRadius(), 5.0f);
    EXPECT_TRUE(dummy->GetUser());
    EXPECT_TRUE(factory.RemoveUserElement(dummy));
}

TEST_F(ElementTest, ArchiveRecordRoundTripsAndRefusesBadInputUnchanged)
{
    Element iron(*factory.FindElement("Fe"));
    iron.SetColor(Color(129, 123, 198, 7));

    Archive out;
    iron.Serialize(out);
    const std::vector<std::uint8_t>& bytes = out.GetBuffer();
    // Colour, "Iron", "Fe", type, number, weight, mass, five states, count, common, two radii.
    ASSERT_EQ(bytes.size(), 4u + 5u + 3u + 4u + 4u + 4u + 8u + 20u + 4u + 4u + 4u + 4u);
    EXPECT_EQ(bytes[0], 129);
    EXPECT_EQ(bytes[3], 7);
    EXPECT_EQ(bytes[4], 4);
    EXPECT_EQ(bytes[12], 26);

    Element loaded;
    Archive in(bytes);
    loaded.Serialize(in);
    EXPECT_EQ(in.GetRemaining(), 0u);
    ExpectSameRecord(loaded, iron);
    EXPECT_FALSE(loaded.GetUser());  // the user flag is not stored

    const Element hydrogen(*factory.FindElement("H"));
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        Element target(hydrogen);
        target.SetColor(Color(5, 5, 5));
        Archive truncated(bytes.data(), size);
        EXPECT_THROW(target.Serialize(truncated), ArchiveException) << size;
        EXPECT_EQ(target.GetSymbol(), "H");
        EXPECT_EQ(target.GetColor(), Color(5, 5, 5));
    }

    std::vector<std::uint8_t> badCount = bytes;
    badCount[4 + 5 + 3 + 4 + 4 + 4 + 8 + 20] = 6;  // six oxidation states
    Element target(hydrogen);
    Archive bad(badCount);
    EXPECT_THROW(target.Serialize(bad), ArchiveException);
    ExpectSameRecord(target, hydrogen);
}
