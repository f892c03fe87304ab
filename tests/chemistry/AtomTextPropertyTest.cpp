#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/ElementFactory.h>
#include <tavrel/chemistry/ElementPropertyValue.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/ColorMap.h>
#include <tavrel/document/DataModelLibrary.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

class AtomTextPropertyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    void SetUp() override
    {
        molecule = std::make_unique<Molecule>(nullptr);
        atom = new Atom3d(molecule.get(), "C");
    }

    static std::vector<std::string> Names(const Object& object)
    {
        ObjectProperty::Array properties;
        object.GetProperties(properties);
        std::vector<std::string> names;
        for (const ObjectProperty& property : properties)
            names.push_back(property.GetName());
        return names;
    }
    static bool Lists(const Object& object, const std::string& name)
    {
        const std::vector<std::string> names = Names(object);
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    static std::vector<std::string> Schemes(const Object& object)
    {
        std::vector<std::string> schemes;
        const std::int32_t count = object.GetColorSchemes(schemes);
        EXPECT_EQ(count, static_cast<std::int32_t>(schemes.size()));
        return schemes;
    }
    static Color Mapped(double value, double begin, double end, const Color& first, const Color& last)
    {
        ColorMap map(99);
        map.SetBeginEnd(begin, end);
        map.Ramp(first, Color::White(), last, true);
        return map.ColorAtValue(value);
    }

    std::unique_ptr<Molecule> molecule;
    Atom3d* atom = nullptr;
};

const char* const AnisotropicKeys[] = {"_ADPU11",  "_ADPU22",  "_ADPU33",  "_ADPU12",  "_ADPU13",  "_ADPU23",
                                       "_ADPSU11", "_ADPSU22", "_ADPSU33", "_ADPSU12", "_ADPSU13", "_ADPSU23"};

} // namespace

// ---- Crystallographic data

TEST_F(AtomTextPropertyTest, OccupancyAndDisplacementKeysComeAndGoWithTheirDefaults)
{
    EXPECT_FALSE(atom->HasOccupancy());
    EXPECT_FLOAT_EQ(atom->GetOccupancy(), 1.0f);
    EXPECT_FLOAT_EQ(atom->GetIsotropicDisplacement(), 0.0f);
    EXPECT_FALSE(atom->HasIsotropicDisplacement());
    EXPECT_FALSE(atom->HasAnisotropicDisplacement());
    EXPECT_FALSE(Lists(*atom, "Occupancy"));

    atom->SetOccupancy(0.5f);
    EXPECT_FLOAT_EQ(atom->GetOccupancy(), 0.5f);
    EXPECT_TRUE(Lists(*atom, "Occupancy"));
    atom->SetOccupancy(1.0f);
    EXPECT_FALSE(atom->HasProperty("_OCC"));
    EXPECT_TRUE(atom->HasProperty("_HOC"));
    EXPECT_TRUE(atom->HasOccupancy());
    EXPECT_FLOAT_EQ(atom->GetOccupancy(), 1.0f);

    atom->SetIsotropicDisplacement(12.5f);
    EXPECT_TRUE(atom->HasProperty("_IDP"));
    EXPECT_TRUE(Lists(*atom, "Isotropic Displacement"));
    EXPECT_EQ(Schemes(*atom)[3], "Isotropic Displacement");
    atom->SetIsotropicDisplacement(0.0f);
    EXPECT_FALSE(atom->HasProperty("_IDP"));
    EXPECT_FALSE(Lists(*atom, "Isotropic Displacement"));
    EXPECT_EQ(Schemes(*atom), (std::vector<std::string>{"Element", "Parent Color", "Charge"}));

    // Zeros are kept as a whole set, until the set is removed.
    atom->SetAnisotropicDisplacement(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    for (const char* key : AnisotropicKeys)
        EXPECT_TRUE(atom->HasProperty(key)) << key;
    EXPECT_TRUE(atom->HasAnisotropicDisplacement());
    const AnisotropicDisplacement u(1, 2, 3, 4, 5, 6, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f);
    atom->SetAnisotropicDisplacement(u);
    EXPECT_EQ(atom->GetAnisotropicDisplacement(), u);
    float u13 = 0.0f;
    ASSERT_TRUE(atom->GetProperty("_ADPU13", u13));
    EXPECT_FLOAT_EQ(u13, 5.0f);
    atom->RemoveAnisotropicDisplacement();
    for (const char* key : AnisotropicKeys)
        EXPECT_FALSE(atom->HasProperty(key)) << key;
    EXPECT_FALSE(atom->HasAnisotropicDisplacement());
    // A missing component reads 0.
    atom->SetAnisotropicDisplacement(u);
    atom->RemoveProperty("_ADPSU23");
    EXPECT_FLOAT_EQ(atom->GetAnisotropicDisplacement().GetSigu23(), 0.0f);
}

TEST_F(AtomTextPropertyTest, CrystallographicDataTravelWithTheAtom)
{
    atom->SetOccupancy(0.25f);
    atom->SetIsotropicDisplacement(3.5f);
    const AnisotropicDisplacement u(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12);
    atom->SetAnisotropicDisplacement(u);
    const auto check = [&u](const Atom& loaded) {
        EXPECT_FLOAT_EQ(loaded.GetOccupancy(), 0.25f);
        EXPECT_TRUE(loaded.HasOccupancy());
        EXPECT_FLOAT_EQ(loaded.GetIsotropicDisplacement(), 3.5f);
        EXPECT_EQ(loaded.GetAnisotropicDisplacement(), u);
    };
    for (auto form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        const std::unique_ptr<Molecule> loaded = RecordStream::LoadAs<Molecule>(RecordStream::Save(*molecule, form), form);
        ASSERT_NE(loaded, nullptr);
        ASSERT_EQ(loaded->GetNumChildren(), 1);
        check(*static_cast<const Atom*>(loaded->GetChild(0)));
    }
    std::unique_ptr<Object> copy(molecule->TreeCopy());
    check(*static_cast<const Atom*>(copy->GetChild(0)));
}

// ---- Text properties

TEST_F(AtomTextPropertyTest, EveryTextPropertyReadsBackWhatIsWritten)
{
    auto* const oxygen = new Atom3d(molecule.get(), "O");
    atom->MakeBond(oxygen, Bond::Double);
    atom->SetCharge(-0.25);
    atom->SetFormalCharge(-1, 2);
    atom->SetOccupancy(0.5f);
    atom->SetIsotropicDisplacement(7.25f);
    for (const char* name : {"Element", "Hybridization", "PartialCharge", "FormalCharge", "Occupancy",
                             "Isotropic Displacement"}) {
        SCOPED_TRACE(name);
        const std::string text = atom->GetPropertyAsString(name);
        EXPECT_FALSE(text.empty());
        EXPECT_TRUE(atom->SetPropertyFromString(name, text));
        EXPECT_EQ(atom->GetPropertyAsString(name), text);
    }
    EXPECT_EQ(atom->GetPropertyAsString("element"), "Carbon");
    EXPECT_EQ(atom->GetPropertyAsString("Hybridization"), "Sp2");
    EXPECT_EQ(atom->GetPropertyAsString("PartialCharge"), "-0.250");
    EXPECT_EQ(atom->GetPropertyAsString("FORMALCHARGE"), "-1/2");
    EXPECT_EQ(atom->GetPropertyAsString("Occupancy"), "0.50");
    EXPECT_EQ(atom->GetPropertyAsString("Isotropic Displacement"), "7.25");
    EXPECT_EQ(atom->GetFormalCharge(), Rational(-1, 2));

    // A neutral atom reads the empty charge, which writes back as neutral.
    EXPECT_EQ(oxygen->GetPropertyAsString("FormalCharge"), "");
    EXPECT_TRUE(oxygen->SetPropertyFromString("FormalCharge", ""));
    EXPECT_FALSE(oxygen->HasProperty("_NFC"));
    EXPECT_EQ(oxygen->GetFormalCharge(), Rational(0, 1));
    EXPECT_TRUE(atom->SetPropertyFromString("FormalCharge", " "));
    EXPECT_EQ(atom->GetFormalCharge(), Rational(0, 1));

    // The chirality is read only; the symmetry label is empty outside a cell.
    EXPECT_EQ(atom->GetPropertyAsString("Chirality"), "");
    EXPECT_FALSE(atom->SetPropertyFromString("Chirality", "R"));
    EXPECT_FALSE(atom->HasProperty("Chirality"));
    EXPECT_EQ(atom->GetPropertyAsString("SymmetryLabel"), "");
    EXPECT_FALSE(atom->SetPropertyFromString("SymmetryLabel", "x"));
}

TEST_F(AtomTextPropertyTest, FormalChargeTexts)
{
    const struct {
        const char* text;
        Rational charge;
        const char* reads;
    } cases[] = {
        {"+1", {1, 1}, "+1"},     {"2", {2, 1}, "+2"},          {"-1", {-1, 1}, "-1"},
        {" - 1 / 2 ", {-1, 2}, "-1/2"}, {"1/3", {1, 3}, "+1/3"}, {"0", {0, 1}, ""},
        {"2abc", {2, 1}, "+2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_TRUE(atom->SetPropertyFromString("FormalCharge", c.text));
        EXPECT_EQ(atom->GetFormalCharge(), c.charge);
        EXPECT_EQ(atom->GetPropertyAsString("FormalCharge"), c.reads);
    }
    // Unreadable text and a zero denominator change nothing.
    atom->SetFormalCharge(1, 1);
    for (const char* text : {"abc", "1/0", "1/", "/2", "+", "1/x"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(atom->SetPropertyFromString("FormalCharge", text));
        EXPECT_EQ(atom->GetFormalCharge(), Rational(1, 1));
    }
}

TEST_F(AtomTextPropertyTest, WordsThatNameNothingChangeNothing)
{
    atom->SetDisplayStyle(Atom::StyleStick);
    EXPECT_FALSE(atom->SetPropertyFromString("Style", "Spaghetti"));
    EXPECT_EQ(atom->GetDisplayStyle(), Atom::StyleStick);
    EXPECT_TRUE(atom->SetPropertyFromString("style", "cpk"));
    EXPECT_EQ(atom->GetDisplayStyle(), Atom::StyleCPK);
    EXPECT_TRUE(atom->SetPropertyFromString("Style", "ScaledBallAndStickSingle"));
    EXPECT_EQ(atom->GetDisplayStyle(), Atom::StyleScaledBallAndStickSingle);
    EXPECT_TRUE(atom->SetPropertyFromString("Style", "NONE"));
    EXPECT_EQ(atom->GetDisplayStyle(), Atom::StyleNone);

    EXPECT_FALSE(atom->SetPropertyFromString("Hybridization", "Sp4"));
    EXPECT_EQ(atom->GetHybridization(), Atom::Sp3);
    EXPECT_TRUE(atom->SetPropertyFromString("Hybridization", "octahedral"));
    EXPECT_EQ(atom->GetHybridization(), Atom::Octahedral);
    // The text is that of the perceived code, not the stored one.
    EXPECT_EQ(atom->GetPropertyAsString("Hybridization"), "Sp3");

    const Color colour = atom->GetColor();
    EXPECT_FALSE(atom->SetPropertyFromString("Element", "Kryptonite"));
    EXPECT_EQ(atom->GetElementType(), 6);
    EXPECT_EQ(atom->GetColor(), colour);
    EXPECT_TRUE(atom->SetPropertyFromString("Element", "unknown"));  // the unknown element by its name
    EXPECT_EQ(atom->GetElementType(), UnknownElementType);

    EXPECT_FALSE(atom->SetPropertyFromString("PartialCharge", "lots"));
    EXPECT_FALSE(atom->SetPropertyFromString("Occupancy", "half"));
    EXPECT_FALSE(atom->HasOccupancy());
    EXPECT_FALSE(atom->SetPropertyFromString("Isotropic Displacement", ""));
    EXPECT_FALSE(atom->HasIsotropicDisplacement());
    EXPECT_TRUE(atom->SetPropertyFromString("Isotropic Displacement", "0"));
    EXPECT_FALSE(atom->HasIsotropicDisplacement());
}

TEST_F(AtomTextPropertyTest, TheElementRecoloursOnlyWhileTheElementSchemeColoursTheAtom)
{
    const ElementFactory& elements = ElementFactory::GetElementFactory();
    EXPECT_TRUE(atom->SetPropertyFromString("Element", "NITROGEN"));
    EXPECT_EQ(atom->GetElementType(), 7);
    EXPECT_EQ(atom->GetColor(), elements.FindElementByType(ElementType(7))->GetColor());
    atom->SetColorScheme("Charge");
    const Color charged = atom->GetColor();
    EXPECT_TRUE(atom->SetPropertyFromString("Element", "Oxygen"));
    EXPECT_EQ(atom->GetElementType(), 8);
    EXPECT_EQ(atom->GetColor(), charged);
}

TEST_F(AtomTextPropertyTest, DescriptorsAndTheirListing)
{
    // The atom's own come after those of the levels below.
    const std::vector<std::string> names = Names(*atom);
    ASSERT_GE(names.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(names.end() - 5, names.end()),
              (std::vector<std::string>{"Element", "Hybridization", "PartialCharge", "FormalCharge", "Chirality"}));

    atom->SetOccupancy(0.5f);
    atom->SetIsotropicDisplacement(2.0f);
    ObjectProperty::Array listed;
    const std::int32_t count = atom->GetProperties(listed);
    EXPECT_EQ(count, static_cast<std::int32_t>(listed.size()));
    ASSERT_EQ(listed.size(), names.size() + 2);
    EXPECT_EQ(listed[listed.size() - 2].GetName(), "Occupancy");
    EXPECT_EQ(listed[listed.size() - 2].GetType(), "CString");
    EXPECT_EQ(listed.back().GetName(), "Isotropic Displacement");
    EXPECT_EQ(listed.back().GetStringValue(), "2.00");

    const ObjectProperty element = atom->GetPropertyAsObjectProperty("Element");
    EXPECT_EQ(element.GetType(), "Element");
    EXPECT_EQ(element.GetStringValue(), "Carbon");
    EXPECT_EQ(element.GetAccess(), 3);
    EXPECT_EQ(element.GetPropertyType(), 4);
    EXPECT_EQ(element.GetFieldCount(), 1);
    EXPECT_EQ(element.GetFieldValue(0), "Carbon");

    const ObjectProperty hybridization = atom->GetPropertyAsObjectProperty("hybridization");
    EXPECT_EQ(hybridization.GetAllValues(), (std::vector<std::string>{"Sp", "Sp2", "Sp3"}));
    EXPECT_EQ(hybridization.GetPropertyType(), 1);
    EXPECT_EQ(atom->GetPropertyAsObjectProperty("Chirality").GetAccess(), 1);
    EXPECT_EQ(atom->GetPropertyAsObjectProperty("FormalCharge").GetAccess(), 3);

    // Asked by name, the crystallographic values are floats; the displacement under its own name.
    const ObjectProperty occupancy = atom->GetPropertyAsObjectProperty("Occupancy");
    EXPECT_EQ(occupancy.GetType(), "float");
    EXPECT_EQ(occupancy.GetStringValue(), "0.500");
    const ObjectProperty displacement = atom->GetPropertyAsObjectProperty("isotropic displacement");
    EXPECT_EQ(displacement.GetName(), "pIsotropicDisplacement");
    EXPECT_EQ(displacement.GetType(), "float");
    const ObjectProperty symmetry = atom->GetPropertyAsObjectProperty("SymmetryLabel");
    EXPECT_TRUE(symmetry.HasValue());
    EXPECT_EQ(symmetry.GetAccess(), 1);
    EXPECT_FALSE(Lists(*atom, "SymmetryLabel"));
    EXPECT_FALSE(Atom3d(nullptr, "C").GetPropertyAsObjectProperty("Occupancy").HasValue());
    EXPECT_FALSE(atom->GetPropertyAsObjectProperty("").HasValue());
    EXPECT_EQ(atom->GetPropertyAsString(""), "");
    EXPECT_FALSE(atom->SetPropertyFromString("", "x"));
}

TEST_F(AtomTextPropertyTest, ElementValuesReadNamesTheTableKnows)
{
    const ElementFactory& elements = ElementFactory::GetElementFactory();
    ElementPropertyValue value(elements.FindElementByType(ElementType(6)));
    EXPECT_EQ(value.ToString(), "Carbon");
    EXPECT_EQ(value.GetTypeName(), "Element");
    EXPECT_TRUE(value.FromString("iron"));
    EXPECT_EQ(value.GetValue(), elements.FindElementByType(ElementType(26)));
    EXPECT_FALSE(value.FromString("Adamantium"));
    EXPECT_EQ(value.GetValue(), elements.FindElementByType(ElementType(26)));
    const std::unique_ptr<ObjectProperty::Type> copy = value.Clone();
    EXPECT_EQ(copy->ToString(), "Iron");
    EXPECT_EQ(ElementPropertyValue(nullptr).ToString(), "");
}

// ---- Colour schemes

TEST_F(AtomTextPropertyTest, EachColourSchemeColoursAndIsRemembered)
{
    EXPECT_EQ(Schemes(*atom), (std::vector<std::string>{"Element", "Parent Color", "Charge"}));
    Molecule* const inner = new Molecule(molecule.get());
    auto* const nested = new Atom3d(inner, "N");
    EXPECT_EQ(Schemes(*nested), (std::vector<std::string>{"Element", "Parent Color", "Charge", "Molecule"}));
    EXPECT_TRUE(atom->CheckColorScheme(1));

    atom->SetColorScheme("Charge");
    EXPECT_EQ(atom->GetColor(), Mapped(0.0, -1.0, 1.0, Color::Red(), Color::Blue()));
    EXPECT_EQ(atom->GetColor(), Color::White());
    EXPECT_TRUE(atom->CheckColorScheme(4));
    EXPECT_FALSE(atom->CheckColorScheme(1));
    atom->SetCharge(-1.0);
    atom->SetColorScheme("charge");
    EXPECT_EQ(atom->GetColor(), Color::Red());
    atom->SetCharge(0.3);
    atom->SetColorScheme("Charge");
    EXPECT_EQ(atom->GetColor(), Mapped(atom->GetCharge(), -1.0, 1.0, Color::Red(), Color::Blue()));

    atom->SetIsotropicDisplacement(40.0f);
    atom->SetColorScheme("Isotropic Displacement");
    EXPECT_EQ(atom->GetColor(), Color::Red());
    EXPECT_TRUE(atom->CheckColorScheme(5));
    atom->SetIsotropicDisplacement(10.0f);
    atom->SetColorScheme("Isotropic Displacement");
    EXPECT_EQ(atom->GetColor(), Mapped(10.0, 0.0, 40.0, Color::Blue(), Color::Red()));

    molecule->SetColor(Color::Cyan());
    atom->SetColorScheme("PARENT COLOR");
    EXPECT_EQ(atom->GetColor(), Color::Cyan());
    EXPECT_TRUE(atom->CheckColorScheme(2));

    atom->SetColorScheme("Element");
    EXPECT_EQ(atom->GetColor(), atom->GetElement()->GetColor());
    EXPECT_TRUE(atom->CheckColorScheme(1));

    // Not a stereocentre: white.
    atom->SetColorScheme("Chirality");
    EXPECT_EQ(atom->GetColor(), Color::White());
    EXPECT_TRUE(atom->CheckColorScheme(3));

    // Any other name is Object's, with its own hint; the empty name does nothing.
    nested->SetColorScheme("Molecule");
    EXPECT_TRUE(nested->CheckColorScheme(6));
    EXPECT_EQ(nested->GetColor(), Color::Cyan());  // the nearest molecule is child 1 of its parent
    atom->SetColorScheme("");
    EXPECT_TRUE(atom->CheckColorScheme(3));
    atom->SetColorScheme("Nothing known");
    EXPECT_TRUE(atom->CheckColorScheme(6));
    EXPECT_EQ(atom->GetColor(), Color::White());

    // Without a parent there is no parent colour to take.
    Atom3d lone(nullptr, "C");
    lone.SetColorScheme("Parent Color");
    EXPECT_TRUE(lone.CheckColorScheme(1));
    EXPECT_EQ(lone.GetColor(), lone.GetElement()->GetColor());
}

TEST_F(AtomTextPropertyTest, ChiralitySchemeColoursByTheDecidedCode)
{
    // Falling priority I, Br, Cl, F clockwise seen with F away: R; mirrored: S.
    const auto centre = [this](double handedness) {
        Atom3d* const c = new Atom3d(molecule.get(), "C");
        const char* symbols[] = {"I", "Br", "Cl", "F"};
        const Point3d at[] = {{0.0, 1.0, 0.35}, {0.87 * handedness, -0.5, 0.35}, {-0.87 * handedness, -0.5, 0.35},
                              {0.0, 0.0, -1.0}};
        for (int i = 0; i < 4; ++i) {
            auto* const n = new Atom3d(molecule.get(), symbols[i]);
            n->SetXYZ(at[i]);
            c->MakeBond(n, Bond::Single);
        }
        return c;
    };
    Atom3d* const r = centre(1.0);
    r->SetColorScheme("Chirality");
    EXPECT_EQ(r->GetColor(), Color::Red());
    Atom3d* const s = centre(-1.0);
    s->SetColorScheme("chirality");
    EXPECT_EQ(s->GetColor(), Color::Blue());
    // Two identical long chains tie beyond the level limit: undetermined, yellow.
    Atom3d* const tied = centre(1.0);
    for (int branch = 0; branch < 2; ++branch) {
        Bondable* end = tied->GetAttached(branch);
        static_cast<Atom3d*>(end)->SetElement(ElementType(6));
        for (int i = 0; i < 45; ++i) {
            auto* const next = new Atom3d(molecule.get(), "C");
            end->MakeBond(next, Bond::Single);
            end = next;
        }
    }
    tied->SetColorScheme("Chirality");
    EXPECT_EQ(tied->GetColor(), Color::Yellow());
    EXPECT_EQ(tied->GetPropertyAsString("Chirality"), "?");
}
