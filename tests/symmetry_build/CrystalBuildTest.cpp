#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellBuildMethodAsymmetricParameters.h>
#include <tavrel/crystal/CellBuildMethodDefaultParameters.h>
#include <tavrel/crystal/CellBuildMethodOneCellParameters.h>
#include <tavrel/crystal/CellBuildMethodOriginalParameters.h>
#include <tavrel/crystal/CellBuildMethodZoneParameters.h>
#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/symmetry_build/CellBuildTree.h>
#include <tavrel/symmetry_build/HierarchyDataErrorList.h>
#include <tavrel/symmetry_build/InternalCellBuildTree.h>
#include "support/Crystals.h"

using namespace Tavrel;

namespace {

using Position = std::tuple<long, long, long>;

class CrystalBuildTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // The named method over the cells min (inclusive) to max (exclusive) where it takes a range.
    static std::unique_ptr<CellBuilder> Method(Cell3d& cell, std::string_view name, bool computeBonds, int min = 0,
                                               int max = 1)
    {
        std::unique_ptr<CellBuilder> builder = cell.GetCellBuilder(std::string(name).c_str());
        if (name == "Asymmetric")
            builder->SetParameters(CellBuildMethodAsymmetricParameters(0.001, computeBonds));
        else if (name == "OneCell")
            builder->SetParameters(CellBuildMethodOneCellParameters(min, min, min, max, max, max, 0.001, computeBonds));
        else if (name == "Original")
            builder->SetParameters(CellBuildMethodOriginalParameters(min, min, min, max, max, max, 0.001, computeBonds));
        else if (name == "Default")
            builder->SetParameters(CellBuildMethodDefaultParameters(min, min, min, max, max, max, 0.001, computeBonds));
        else
            builder->SetParameters(CellBuildMethodZoneParameters(4.0, {Point3d(0, 0, 0)}, 0.001, computeBonds));
        return builder;
    }

    static std::vector<Atom*> AtomsOf(Cell3d& cell)
    {
        std::vector<Atom*> atoms;
        DescendentIterator walk(&cell, Atom::classType, false);
        while (Object* const object = walk.GetNext())
            atoms.push_back(static_cast<Atom*>(object));
        return atoms;
    }

    // The fractional positions, to a thousandth, of the atoms inside the unit cell.
    static std::set<Position> UnitCellPositions(Cell3d& cell)
    {
        std::set<Position> positions;
        for (const Atom* const atom : AtomsOf(cell)) {
            const Point3d f = atom->GetXYZ() * cell.GetCartToFrac();
            const Position p{std::lround(f.x * 1000), std::lround(f.y * 1000), std::lround(f.z * 1000)};
            const auto inside = [](long x) { return x >= 0 && x < 1000; };
            if (inside(std::get<0>(p)) && inside(std::get<1>(p)) && inside(std::get<2>(p)))
                positions.insert(p);
        }
        return positions;
    }

    // Pairs of the cell's atoms that break the distance rule: within the sum of their bonding radii
    // without a bond, or bonded beyond it; with elements given, only pairs of those two elements
    // may bond. Pairs within a thousandth of an angstrom of the limit are left to rounding.
    static int DistanceRuleBreaches(Cell3d& cell, int& contacts, std::string_view one = {},
                                    std::string_view other = {})
    {
        const auto bondable = [&](const Atom& a, const Atom& b) {
            return one.empty() || (a.GetElementSymbol() == one && b.GetElementSymbol() == other) ||
                   (a.GetElementSymbol() == other && b.GetElementSymbol() == one);
        };
        const std::vector<Atom*> atoms = AtomsOf(cell);
        int breaches = 0;
        contacts = 0;
        for (std::size_t i = 0; i < atoms.size(); ++i) {
            for (std::size_t j = i + 1; j < atoms.size(); ++j) {
                const Point3d d = atoms[i]->GetXYZ() - atoms[j]->GetXYZ();
                const double distance = std::sqrt(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z);
                const double reach = atoms[i]->GetBondingRadius() + atoms[j]->GetBondingRadius();
                if (std::abs(distance - reach) < 1e-3)
                    continue;
                const bool within = distance < reach && bondable(*atoms[i], *atoms[j]);
                contacts += within ? 1 : 0;
                breaches += within != (atoms[i]->GetAttachedPosition(atoms[j]) >= 0) ? 1 : 0;
            }
        }
        return breaches;
    }

    static std::string Errors()
    {
        std::string text;
        for (const HierarchyDataError& error : HierarchyDataErrorList::GetErrors())
            text += " [" + error.text + "]";
        return text;
    }
};

TEST_F(CrystalBuildTest, EveryCrystalBuildsByEveryMethodWhicheverOfItsAtomsComesFirst)
{
    // Every order, with and without computed bonds, and NiAs with a drawn Ni-As bond as well.
    std::vector<test::Crystal> crystals = test::Crystals();
    test::Crystal drawn = test::FindCrystal("NiAs");
    drawn.name = "NiAs drawn";
    drawn.bonds = {{0, 1}};
    crystals.push_back(drawn);
    for (const test::Crystal& crystal : crystals) {
        std::set<Position> cellSites;
        for (std::size_t first = 0; first < crystal.sites.size(); ++first) {
            for (const bool bonds : {false, true}) {
                for (const char* name : {"Asymmetric", "OneCell", "Original", "Default", "Zone"}) {
                    SCOPED_TRACE(std::string(crystal.name) + " first " + std::to_string(first) + " " + name +
                                 (bonds ? " computing bonds" : ""));
                    const std::unique_ptr<Cell3d> cell(test::MakeCrystalCell(crystal, first, nullptr));
                    const std::unique_ptr<CellBuilder> builder = Method(*cell, name, bonds);
                    ASSERT_TRUE(builder->Build()) << builder->GetErrorMessage() << Errors();
                    if (std::string_view(name) != "OneCell")
                        continue;
                    const std::set<Position> sites = UnitCellPositions(*cell);
                    EXPECT_EQ(sites.size(), static_cast<std::size_t>(crystal.unitCellSites));
                    if (cellSites.empty())
                        cellSites = sites;
                    EXPECT_EQ(sites, cellSites);
                }
            }
        }
    }
}

TEST_F(CrystalBuildTest, ComputedBondsFollowTheDistanceRuleAtEveryLatticeTranslation)
{
    // Beside the crystals, a lone atom in a cell shorter than its bonding reach, with and without a
    // centre of symmetry.
    std::vector<test::Crystal> crystals = test::Crystals();
    for (const int number : {1, 2})
        crystals.push_back({"lone", number, "", 0, {1.5, 1.6, 1.7}, {80, 85, 95}, {{"Cr", 0.1, 0.2, 0.3}}, {}, number});
    for (const test::Crystal& crystal : crystals) {
        for (std::size_t first = 0; first < crystal.sites.size(); ++first) {
            SCOPED_TRACE(std::string(crystal.name) + " " + std::to_string(crystal.number) + " first " +
                         std::to_string(first));
            const std::unique_ptr<Cell3d> cell(test::MakeCrystalCell(crystal, first, nullptr));
            const std::unique_ptr<CellBuilder> builder = Method(*cell, "OneCell", true, 0, 2);
            ASSERT_TRUE(builder->Build()) << builder->GetErrorMessage() << Errors();
            int contacts = 0;
            EXPECT_EQ(DistanceRuleBreaches(*cell, contacts), 0);
            // The ions of the two salts lie beyond their bonding radii.
            EXPECT_EQ(contacts == 0, crystal.number == 225);
        }
    }

    // One drawn Ni-As bond gives every Ni-As contact, across translations, and nothing else.
    test::Crystal drawn = test::FindCrystal("NiAs");
    drawn.bonds = {{0, 1}};
    const std::unique_ptr<Cell3d> cell(test::MakeCrystalCell(drawn, 0, nullptr));
    const std::unique_ptr<CellBuilder> builder = Method(*cell, "OneCell", false, 0, 2);
    ASSERT_TRUE(builder->Build()) << builder->GetErrorMessage() << Errors();
    int contacts = 0;
    EXPECT_EQ(DistanceRuleBreaches(*cell, contacts, "Ni", "As"), 0);
    EXPECT_GT(contacts, 0);
}

TEST_F(CrystalBuildTest, EachCrystalBuildsAfterAFailedBuildAndAsACopyThatLostAFamily)
{
    for (const test::Crystal& crystal : test::Crystals()) {
        SCOPED_TRACE(crystal.name);
        const std::unique_ptr<Cell3d> cell(test::MakeCrystalCell(crystal, 0, nullptr));
        internal::SetCellBuildTreeFailure(CellBuildTree::Step::Bonds);
        EXPECT_FALSE(Method(*cell, "OneCell", true)->Build());
        internal::SetCellBuildTreeFailure(CellBuildTree::Step::None);
        for (const char* name : {"Asymmetric", "OneCell"}) {
            const std::unique_ptr<CellBuilder> builder = Method(*cell, name, false);
            ASSERT_TRUE(builder->Build()) << name << " " << builder->GetErrorMessage() << Errors();
        }
        EXPECT_EQ(UnitCellPositions(*cell).size(), static_cast<std::size_t>(crystal.unitCellSites));

        // An image deleted takes its family; a copy then builds what the cell itself builds.
        for (Atom* const atom : AtomsOf(*cell)) {
            if (atom->HasProperty("_REP")) {
                delete atom;
                break;
            }
        }
        const std::unique_ptr<Cell3d> copy(DynCast<Cell3d>(cell->TreeCopy()));
        ASSERT_NE(copy, nullptr);
        const std::unique_ptr<CellBuilder> builder = Method(*copy, "OneCell", false);
        ASSERT_TRUE(builder->Build()) << builder->GetErrorMessage() << Errors();
        ASSERT_TRUE(Method(*cell, "OneCell", false)->Build());
        EXPECT_EQ(UnitCellPositions(*copy), UnitCellPositions(*cell));
        EXPECT_LT(UnitCellPositions(*copy).size(), static_cast<std::size_t>(crystal.unitCellSites));
    }
}

} // namespace
