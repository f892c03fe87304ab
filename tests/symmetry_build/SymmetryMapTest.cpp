#include <gtest/gtest.h>

#include <memory>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellSymmetryServices.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/symmetry_build/SymmetryMap.h>
#include "support/ScopedInstall.h"

using namespace Tavrel;

namespace {

class MapServices final : public CellSymmetryServices {
public:
    std::unique_ptr<CellSymmetryMap> CreateSymmetryMap(Cell3d& cell, const IntArray& operationKeys) const override
    {
        return std::make_unique<SymmetryMap>(&cell, operationKeys);
    }
};

class SymmetryMapTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }
};

} // namespace

TEST_F(SymmetryMapTest, AnAtomOfAP1CellIsItsOwnSymmetryParent)
{
    const MapServices services;
    const test::ScopedInstall<CellSymmetryServices> installed(services);
    Cell3d cell(nullptr);
    auto* const atom = new Atom3d(new Molecule(&cell), ElementType(6));
    atom->SetLabel("C1");
    cell.EnableSymmetryMap(true);
    cell.CreateSymmetryMap(true);
    CellSymmetryMap* const map = cell.GetSymmetryMap();
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->GetCell(), &cell);

    EXPECT_FALSE(atom->IsPeriodic() || atom->IsSymmetric());
    EXPECT_EQ(atom->GetSymmetryOperator(), 0);
    EXPECT_TRUE(atom->GetLatticeOffset().IsSame(LatticeOffset()));
    EXPECT_EQ(map->GetSymmetryParentOID(atom->GetOID()), atom->GetOID());
    EXPECT_EQ(SymmetryMap::GetSymmetryLabel(atom), "C1");
    EXPECT_EQ(atom->GetPropertyAsString("SymmetryLabel"), "C1");
    OIDArray oids{1, 2};
    map->GetAtomOIDs(oids);
    EXPECT_EQ(oids, OIDArray{atom->GetOID()});

    // A shallow copy shares only the cell; pasting binds it to another.
    Cell3d other(nullptr);
    const std::unique_ptr<CellSymmetryMap> copy = map->ShallowCopy();
    EXPECT_EQ(copy->GetCell(), &cell);
    copy->Paste(&other, {}, {}, {}, {}, {}, {}, *map);
    EXPECT_EQ(copy->GetCell(), &other);
}

TEST_F(SymmetryMapTest, SymmetryLabelIsEmptyOutsideEveryCell)
{
    EXPECT_EQ(SymmetryMap::GetSymmetryLabel(nullptr), "");
    Cell3d cell(nullptr);
    Object loose(nullptr);
    auto* const molecule = new Molecule(&loose);
    const auto* const atom = new Atom3d(molecule, ElementType(6));
    EXPECT_EQ(SymmetryMap::GetSymmetryLabel(atom), "");
    // Without a map the cell gives the plain label.
    molecule->SetParent(&cell);
    EXPECT_EQ(SymmetryMap::GetSymmetryLabel(atom), atom->GetLabel());
}
