#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/AtomReading.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>

using namespace Tavrel;

namespace {

// An atom that answers its formal charge and hybridization its own way.
class FixedAtom : public Atom3d {
public:
    using Atom3d::Atom3d;
    Rational GetFormalCharge() const override { return {2, 1}; }
    HybridizationType PerceiveHybridization() const override { return Octahedral; }
};

void ExpectPublicAnswers(const Atom3d& atom)
{
    const AtomReading reading = AtomReading::Of(atom);
    EXPECT_EQ(reading.atomicNumber, atom.GetAtomicNumber());
    EXPECT_EQ(reading.formalCharge, atom.GetFormalCharge());
    EXPECT_EQ(reading.formalCharge.GetDenominator(), atom.GetFormalCharge().GetDenominator());
    EXPECT_EQ(reading.hybridization, atom.PerceiveHybridization());
    EXPECT_EQ(reading.hydrogensToAdd, atom.GetNumHydrogensToAdd());
}

class AtomReadingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
    std::unique_ptr<Molecule> molecule = std::make_unique<Molecule>(nullptr);
};

// Centres of many elements with up to seven bonds of every type, either end first, formal charges
// whole, fractional and absent, and neighbours stored as Sp2 or not.
TEST_F(AtomReadingTest, AnswersAsThePublicCallsOverVariedAtoms)
{
    std::uint32_t state = 2024;
    const auto next = [&state](std::uint32_t range) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    constexpr const char* Symbols[] = {"C", "N", "O", "S", "P", "H", "Cl", "B", "Fe", "Xx"};
    constexpr Bond::BondType Types[] = {Bond::Ionic,         Bond::Single,        Bond::PartialDouble, Bond::Aromatic,
                                        Bond::Double,        Bond::PartialTriple, Bond::Triple,        Bond::Quadruple,
                                        Bond::Pi,            Bond::Dative,        Bond::DativeDouble,  Bond::DativeTriple,
                                        Bond::DativeQuadruple};
    constexpr Rational Charges[] = {{1, 1}, {-1, 1}, {2, 1}, {3, 1}, {-3, 1}, {1, 2}, {2, 2}, {0, 1}, {5, 0}};
    std::vector<Atom3d*> atoms;
    for (int centre = 0; centre < 600; ++centre) {
        auto* const atom = new Atom3d(molecule.get(), Symbols[next(std::size(Symbols))]);
        atoms.push_back(atom);
        for (std::uint32_t b = next(8); b > 0; --b) {
            auto* const other = new Atom3d(molecule.get(), Symbols[next(std::size(Symbols))]);
            atoms.push_back(other);
            const Bond::BondType type = Types[next(std::size(Types))];
            if (next(2) == 0)
                atom->MakeBond(other, type);
            else
                other->MakeBond(atom, type);
            if (next(3) == 0)
                other->SetHybridization(next(2) == 0 ? Atom::Sp2 : Atom::Sp);
        }
        if (const std::uint32_t pick = next(2 * std::size(Charges)); pick < std::size(Charges))
            atom->SetFormalCharge(Charges[pick]);
    }
    for (const Atom3d* atom : atoms)
        ExpectPublicAnswers(*atom);
}

// The rules after the bond scan: a nitrogen by its charge and its neighbours, sulfur with one double
// bond, two doubles on two or three bonds, and five bonds.
TEST_F(AtomReadingTest, AnswersAsThePublicCallsAfterTheBondScan)
{
    const auto centre = [this](const char* symbol, std::initializer_list<Bond::BondType> types, bool sp2Neighbour,
                               Rational charge) {
        auto* const atom = new Atom3d(molecule.get(), symbol);
        for (const Bond::BondType type : types) {
            auto* const other = new Atom3d(molecule.get(), "C");
            atom->MakeBond(other, type);
            if (sp2Neighbour)
                other->SetHybridization(Atom::Sp2);
        }
        atom->SetFormalCharge(charge);
        return atom;
    };
    const Atom3d* const cases[] = {
        centre("N", {Bond::Single, Bond::Single}, true, {1, 1}),
        centre("N", {Bond::Single, Bond::Single}, true, {-1, 1}),
        centre("N", {Bond::Single, Bond::Single, Bond::Single}, true, {0, 1}),
        centre("N", {Bond::Single, Bond::Single, Bond::Single, Bond::Single, Bond::Single}, false, {1, 1}),
        centre("S", {Bond::Double, Bond::Single}, false, {0, 1}),
        centre("C", {Bond::Double, Bond::PartialDouble}, false, {0, 1}),
        centre("C", {Bond::Double, Bond::Double, Bond::Single}, false, {-1, 1}),
        centre("P", {Bond::Single, Bond::Single, Bond::Single, Bond::Single, Bond::Single, Bond::Single}, false, {0, 1}),
    };
    for (const Atom3d* atom : cases)
        ExpectPublicAnswers(*atom);
    EXPECT_EQ(AtomReading::Of(*cases[0]).hybridization, Atom::Sp3);
    EXPECT_EQ(AtomReading::Of(*cases[1]).hybridization, Atom::Sp2);
}

TEST_F(AtomReadingTest, AsksADerivedAtomThroughItsOwnAnswers)
{
    auto* const nitrogen = new FixedAtom(molecule.get(), "N");
    nitrogen->MakeBond(new Atom3d(molecule.get(), "C"), Bond::Double);
    const AtomReading reading = AtomReading::Of(*nitrogen);
    EXPECT_EQ(reading.formalCharge, Rational(2, 1));
    EXPECT_EQ(reading.hybridization, Atom::Octahedral);
    EXPECT_EQ(reading.hydrogensToAdd, 3);
    ExpectPublicAnswers(*nitrogen);
}

} // namespace
