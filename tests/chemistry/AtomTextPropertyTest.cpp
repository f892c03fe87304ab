#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
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
#include <tavrel/foundation/DataStorage.h>
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

class AtomTextPropertyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    static std::vector<std::string> Listed(const Object& object)
    {
        ObjectProperty::Array properties;
        object.GetProperties(properties);
        std::vector<std::string> names;
        for (const ObjectProperty& property : properties)
            names.push_back(property.GetName() + "=" + property.GetStringValue());
        return names;
    }
    static std::vector<std::string> Schemes(const Object& object)
    {
        std::vector<std::string> schemes;
        const std::int32_t count = object.GetColorSchemes(schemes);
        EXPECT_EQ(count, static_cast<std::int32_t>(schemes.size()));
        return schemes;
    }

    std::unique_ptr<Molecule> molecule = std::make_unique<Molecule>(nullptr);
    Atom3d* atom = new Atom3d(molecule.get(), "C");
};

} // namespace

TEST_F(AtomTextPropertyTest, CrystallographicKeysComeAndGoWithTheirDefaults)
{
    EXPECT_FALSE(atom->HasOccupancy());
    EXPECT_FLOAT_EQ(atom->GetOccupancy(), 1.0f);
    EXPECT_FLOAT_EQ(atom->GetIsotropicDisplacement(), 0.0f);
    EXPECT_FALSE(atom->HasAnisotropicDisplacement());
    const std::size_t plain = Listed(*atom).size();

    atom->SetOccupancy(0.5f);
    atom->SetOccupancy(1.0f);
    EXPECT_FALSE(atom->HasProperty("_OCC"));
    EXPECT_TRUE(atom->HasProperty("_HOC"));  // set once, an occupancy stays, listed
    EXPECT_FLOAT_EQ(atom->GetOccupancy(), 1.0f);
    EXPECT_EQ(Listed(*atom).back(), "Occupancy=1.00");

    atom->SetIsotropicDisplacement(12.5f);
    EXPECT_EQ(Listed(*atom).back(), "Isotropic Displacement=12.50");
    EXPECT_EQ(Schemes(*atom).back(), "Isotropic Displacement");
    atom->SetIsotropicDisplacement(0.0f);
    EXPECT_FALSE(atom->HasProperty("_IDP"));
    EXPECT_EQ(Listed(*atom).size(), plain + 1);
    EXPECT_EQ(Schemes(*atom), (std::vector<std::string>{"Element", "Parent Color", "Charge"}));

    // The anisotropic set is kept whole, zeros too, until it is removed.
    atom->SetAnisotropicDisplacement(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(atom->HasAnisotropicDisplacement());
    EXPECT_TRUE(atom->HasProperty("_ADPSU23"));
    const AnisotropicDisplacement u(1, 2, 3, 4, 5, 6, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f);
    atom->SetAnisotropicDisplacement(u);
    EXPECT_EQ(atom->GetAnisotropicDisplacement(), u);
    float u13 = 0.0f;
    EXPECT_TRUE(atom->GetProperty("_ADPU13", u13));
    EXPECT_FLOAT_EQ(u13, 5.0f);
    atom->RemoveProperty("_ADPSU23");
    EXPECT_FLOAT_EQ(atom->GetAnisotropicDisplacement().GetSigu23(), 0.0f);  // missing reads 0
    atom->RemoveAnisotropicDisplacement();
    EXPECT_FALSE(atom->HasAnisotropicDisplacement());
    EXPECT_FALSE(atom->HasProperty("_ADPSU11"));
}

TEST_F(AtomTextPropertyTest, CrystallographicDataAndFormalChargeTravelWithTheAtom)
{
    atom->SetFormalCharge(-1, 2);
    atom->SetOccupancy(0.25f);
    atom->SetIsotropicDisplacement(3.5f);
    const AnisotropicDisplacement u(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12);
    atom->SetAnisotropicDisplacement(u);
    const auto check = [&u](const Object* loaded) {
        ASSERT_NE(loaded, nullptr);
        const auto* const copy = DynCast<Atom>(loaded->GetChild(0));
        ASSERT_NE(copy, nullptr);
        EXPECT_FLOAT_EQ(copy->GetOccupancy(), 0.25f);
        EXPECT_FLOAT_EQ(copy->GetIsotropicDisplacement(), 3.5f);
        EXPECT_EQ(copy->GetAnisotropicDisplacement(), u);
        EXPECT_EQ(copy->GetFormalCharge(), Rational(-1, 2));
    };
    for (auto form : {RecordStream::Form::Plain, RecordStream::Form::Compressed})
        check(RecordStream::LoadAs<Molecule>(RecordStream::Save(*molecule, form), form).get());
    check(std::unique_ptr<Object>(molecule->TreeCopy()).get());

    // A file marking the cells temporary: the next save keeps them all the same.
    RecordStream::Bytes bytes = RecordStream::Save(*molecule);
    for (const std::string key : {"_OCC", "_HOC", "_IDP", "_ADPU11", "_ADPSU23", "_NFC", "_DFC"}) {
        const auto name = std::search(bytes.begin(), bytes.end(), key.begin(), key.end());
        ASSERT_NE(name, bytes.end());
        // The cell's type and count, then its flags.
        *(name + static_cast<std::ptrdiff_t>(key.size()) + 8) |= DataStorage::FlagTemporary;
    }
    const std::unique_ptr<Molecule> marked = RecordStream::LoadAs<Molecule>(bytes);
    check(marked.get());
    check(RecordStream::LoadAs<Molecule>(RecordStream::Save(*marked)).get());
}

TEST_F(AtomTextPropertyTest, EveryTextPropertyReadsBackWhatIsWritten)
{
    auto* const oxygen = new Atom3d(molecule.get(), "O");
    atom->MakeBond(oxygen, Bond::Double);
    atom->SetCharge(-0.25);
    atom->SetFormalCharge(-1, 2);
    atom->SetOccupancy(0.5f);
    atom->SetIsotropicDisplacement(7.25f);
    const std::pair<const char*, const char*> texts[] = {
        {"Element", "Carbon"},      {"hybridization", "Sp2"}, {"PartialCharge", "-0.250"},
        {"FORMALCHARGE", "-1/2"},   {"Occupancy", "0.50"},    {"Isotropic Displacement", "7.25"},
    };
    for (const auto& [name, text] : texts) {
        SCOPED_TRACE(name);
        EXPECT_EQ(atom->GetPropertyAsString(name), text);
        EXPECT_TRUE(atom->SetPropertyFromString(name, text));
        EXPECT_EQ(atom->GetPropertyAsString(name), text);
    }
    EXPECT_EQ(atom->GetHybridization(), Atom::Sp2);

    // A neutral atom reads the empty charge, which writes back as neutral.
    EXPECT_EQ(oxygen->GetPropertyAsString("FormalCharge"), "");
    EXPECT_TRUE(oxygen->SetPropertyFromString("FormalCharge", ""));
    EXPECT_FALSE(oxygen->HasProperty("_NFC"));
    EXPECT_EQ(oxygen->GetFormalCharge(), Rational(0, 1));

    // Read-only: the chirality and the symmetry label.
    EXPECT_EQ(atom->GetPropertyAsString("Chirality"), "");
    EXPECT_FALSE(atom->SetPropertyFromString("Chirality", "R"));
    EXPECT_FALSE(atom->HasProperty("Chirality"));
    EXPECT_FALSE(atom->SetPropertyFromString("SymmetryLabel", "x"));
}

TEST_F(AtomTextPropertyTest, FormalChargeTexts)
{
    const struct {
        const char* text;
        Rational charge;
        const char* reads;
    } cases[] = {
        {"+1", {1, 1}, "+1"}, {"-1", {-1, 1}, "-1"}, {" - 1 / 2 ", {-1, 2}, "-1/2"},
        {"1/3", {1, 3}, "+1/3"}, {"0", {0, 1}, ""}, {"+ 2", {2, 1}, "+2"}, {" ", {0, 1}, ""},
        // Blanks go first; each side is then its leading integer.
        {"2abc", {2, 1}, "+2"}, {"1 2", {12, 1}, "+12"}, {"1/2/3", {1, 2}, "+1/2"}, {"1e39", {1, 1}, "+1"},
        {"-1/2 e", {-1, 2}, "-1/2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_TRUE(atom->SetPropertyFromString("FormalCharge", c.text));
        EXPECT_EQ(atom->GetFormalCharge(), c.charge);
        EXPECT_EQ(atom->GetPropertyAsString("FormalCharge"), c.reads);
    }
    atom->SetFormalCharge(1, 1);
    for (const char* text : {"abc", "1/0", "1/", "/2", "+", "1/x", "1/0.5", "2147483648", "1/ 2147483648"}) {
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

    EXPECT_TRUE(atom->SetPropertyFromString("Hybridization", "octahedral"));
    EXPECT_EQ(atom->GetHybridization(), Atom::Octahedral);
    EXPECT_EQ(atom->GetPropertyAsString("Hybridization"), "Sp3");  // the perceived code's word
    // A word outside the table sets no hybridization.
    EXPECT_TRUE(atom->SetPropertyFromString("Hybridization", "Sp4"));
    EXPECT_EQ(atom->GetHybridization(), Atom::HybridNone);

    const Color colour = atom->GetColor();
    EXPECT_FALSE(atom->SetPropertyFromString("Element", "Kryptonite"));
    EXPECT_EQ(atom->GetElementType(), 6);
    EXPECT_EQ(atom->GetColor(), colour);
    ElementPropertyValue value(atom->GetElement());
    EXPECT_FALSE(value.FromString("Kryptonite"));
    EXPECT_EQ(value.GetValue(), atom->GetElement());
    EXPECT_TRUE(value.FromString("unknown"));  // the unknown element by its own name
    EXPECT_EQ(value.GetValue()->GetType(), UnknownElementType);

    EXPECT_FALSE(atom->SetPropertyFromString("PartialCharge", "lots"));
    EXPECT_FALSE(atom->SetPropertyFromString("Occupancy", "half"));
    EXPECT_FALSE(atom->HasOccupancy());
    EXPECT_FALSE(atom->SetPropertyFromString("Isotropic Displacement", ""));
    EXPECT_FALSE(atom->HasIsotropicDisplacement());
    EXPECT_FALSE(atom->SetPropertyFromString("PartialCharge", "1e39"));

    // Numbers are the leading ones, the text after them ignored.
    EXPECT_TRUE(atom->SetPropertyFromString("PartialCharge", " -0.25 e"));
    EXPECT_EQ(atom->GetCharge(), -0.25f);
    EXPECT_TRUE(atom->SetPropertyFromString("Occupancy", "0.5 (refined)"));
    EXPECT_EQ(atom->GetOccupancy(), 0.5f);
}

TEST_F(AtomTextPropertyTest, DescriptorsByNameAndInTheListing)
{
    const std::vector<std::string> listed = Listed(*atom);
    ASSERT_GE(listed.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(listed.end() - 5, listed.end()),
              (std::vector<std::string>{"Element=Carbon", "Hybridization=Sp3", "PartialCharge=0.000", "FormalCharge=",
                                        "Chirality="}));

    const ObjectProperty element = atom->GetPropertyAsObjectProperty("Element");
    EXPECT_EQ(element.GetType(), "Element");
    EXPECT_EQ(element.GetStringValue(), "Carbon");
    EXPECT_EQ(element.GetAccess(), 3);
    EXPECT_EQ(element.GetPropertyType(), 4);
    EXPECT_EQ(atom->GetPropertyAsObjectProperty("hybridization").GetAllValues(),
              (std::vector<std::string>{"Sp", "Sp2", "Sp3"}));
    EXPECT_EQ(atom->GetPropertyAsObjectProperty("Chirality").GetAccess(), 1);

    // By name the crystallographic values are floats, the displacement under its own name; the
    // occupancy only once set, the symmetry label also when empty.
    EXPECT_FALSE(atom->GetPropertyAsObjectProperty("Occupancy").HasValue());
    atom->SetOccupancy(0.5f);
    EXPECT_EQ(atom->GetPropertyAsObjectProperty("Occupancy").GetType(), "float");
    const ObjectProperty displacement = atom->GetPropertyAsObjectProperty("isotropic displacement");
    EXPECT_EQ(displacement.GetName(), "pIsotropicDisplacement");
    EXPECT_EQ(displacement.GetType(), "float");
    EXPECT_TRUE(atom->GetPropertyAsObjectProperty("SymmetryLabel").HasValue());
    EXPECT_EQ(Listed(*atom).size(), listed.size() + 1);
}

TEST_F(AtomTextPropertyTest, ColourSchemesColourTheAtomAndAreRemembered)
{
    Molecule* const inner = new Molecule(molecule.get());
    auto* const nested = new Atom3d(inner, "N");
    EXPECT_EQ(Schemes(*nested), (std::vector<std::string>{"Element", "Parent Color", "Charge", "Molecule"}));
    EXPECT_TRUE(atom->CheckColorScheme(1));

    const auto mapped = [](double value, double begin, double end, const Color& first, const Color& last) {
        ColorMap map(99);
        map.SetBeginEnd(begin, end);
        map.Ramp(first, Color::White(), last, true);
        return map.ColorAtValue(value);
    };
    atom->SetColorScheme("Charge");
    EXPECT_EQ(atom->GetColor(), Color::White());  // 0 is the middle of the ramp
    EXPECT_TRUE(atom->CheckColorScheme(4));
    EXPECT_FALSE(atom->CheckColorScheme(1));
    atom->SetCharge(0.3);
    atom->SetColorScheme("charge");
    EXPECT_EQ(atom->GetColor(), mapped(atom->GetCharge(), -1.0, 1.0, Color::Red(), Color::Blue()));
    // A new element keeps the colour of another scheme.
    EXPECT_TRUE(atom->SetPropertyFromString("Element", "Oxygen"));
    EXPECT_EQ(atom->GetColor(), mapped(atom->GetCharge(), -1.0, 1.0, Color::Red(), Color::Blue()));

    atom->SetIsotropicDisplacement(10.0f);
    atom->SetColorScheme("Isotropic Displacement");
    EXPECT_EQ(atom->GetColor(), mapped(10.0, 0.0, 40.0, Color::Blue(), Color::Red()));
    EXPECT_TRUE(atom->CheckColorScheme(5));

    molecule->SetColor(Color::Cyan());
    atom->SetColorScheme("PARENT COLOR");
    EXPECT_EQ(atom->GetColor(), Color::Cyan());
    EXPECT_TRUE(atom->CheckColorScheme(2));

    atom->SetColorScheme("Element");
    EXPECT_EQ(atom->GetColor(), atom->GetElement()->GetColor());
    EXPECT_TRUE(atom->SetPropertyFromString("Element", "Nitrogen"));  // recoloured while hint 1
    EXPECT_EQ(atom->GetColor(), atom->GetElement()->GetColor());
    atom->SetColorScheme("Charge");
    atom->SetColorScheme("eLEMENT");  // in any case
    EXPECT_TRUE(atom->CheckColorScheme(1));
    EXPECT_EQ(atom->GetColor(), atom->GetElement()->GetColor());

    // Any other name is Object's, under hint 6; the empty name does nothing.
    nested->SetColorScheme("Molecule");
    EXPECT_TRUE(nested->CheckColorScheme(6));
    EXPECT_EQ(nested->GetColor(), Color::Cyan());  // the nearest molecule is child 1 of its parent
    nested->SetColorScheme("");
    EXPECT_TRUE(nested->CheckColorScheme(6));

    // Without a parent there is no parent colour to take.
    Atom3d lone(nullptr, "C");
    lone.SetColorScheme("Parent Color");
    EXPECT_TRUE(lone.CheckColorScheme(1));
}
