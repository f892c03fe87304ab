#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/crystal/ASUTools.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/FilterSymmetry.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/FilterLabel.h>
#include <tavrel/foundation/FilterType.h>
#include <tavrel/foundation/OrdCollection.h>

using namespace Tavrel;

namespace {

class ASUToolsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // Inside a cell: an asymmetric atom with a replica, an atom marked "_REP", and a conformer atom
    // marked "_REP"; outside it: an atom marked "_REP". Bonds: asymmetric - replica, replica - marked,
    // asymmetric - conformer.
    ASUToolsTest()
    {
        auto* const molecule = new Molecule(&cell);
        asymmetric = new Atom3d(molecule, "C");
        asymmetric->SetLabel("C1");
        replica = new ReplicateAtom(asymmetric);
        marked = new Atom3d(molecule, "O");
        marked->SetProperty("_REP", std::int32_t{1}, 0);
        conformer = new ConformerAtom(molecule, "N");
        conformer->SetProperty("_REP", std::int32_t{1}, 0);
        outside = new Atom3d(&loose, "S");
        outside->SetProperty("_REP", std::int32_t{1}, 0);
        toReplica = asymmetric->MakeBond(replica, Bond::Single);
        betweenReplicas = replica->MakeBond(marked, Bond::Single);
        toConformer = asymmetric->MakeBond(conformer, Bond::Single);
    }

    static bool Passes(const Filter& filter, Object* object) { return filter(object); }

    Cell3d cell{nullptr};
    Molecule loose{nullptr};
    Atom3d* asymmetric = nullptr;
    ReplicateAtom* replica = nullptr;
    Atom3d* marked = nullptr;
    ConformerAtom* conformer = nullptr;
    Atom3d* outside = nullptr;
    Bond* toReplica = nullptr;
    Bond* betweenReplicas = nullptr;
    Bond* toConformer = nullptr;
};

TEST_F(ASUToolsTest, ReplicasAreMarkedOrReplicateAtomsInsideACell)
{
    EXPECT_FALSE(ASUTools::IsReplicateAtom(nullptr));
    EXPECT_FALSE(ASUTools::IsReplicateAtom(asymmetric));
    EXPECT_TRUE(ASUTools::IsReplicateAtom(replica));
    EXPECT_TRUE(ASUTools::IsReplicateAtom(marked));
    EXPECT_FALSE(ASUTools::IsReplicateAtom(conformer));
    EXPECT_FALSE(ASUTools::IsReplicateAtom(outside));

    EXPECT_FALSE(ASUTools::IsReplicateBond(nullptr));
    EXPECT_FALSE(ASUTools::IsReplicateBond(toReplica));
    EXPECT_TRUE(ASUTools::IsReplicateBond(betweenReplicas));
    EXPECT_FALSE(ASUTools::IsReplicateBond(toConformer));
}

TEST_F(ASUToolsTest, TheFilterPassesTheAsymmetricUnitAndWhatLiesOutsideEveryCell)
{
    const FilterSymmetry filter(false);
    EXPECT_FALSE(Passes(filter, nullptr));
    EXPECT_TRUE(Passes(filter, asymmetric));
    EXPECT_FALSE(Passes(filter, replica));
    EXPECT_FALSE(Passes(filter, marked));
    EXPECT_FALSE(Passes(filter, conformer));
    EXPECT_TRUE(Passes(filter, outside));
    EXPECT_TRUE(Passes(filter, &cell));
    EXPECT_TRUE(Passes(filter, toReplica));

    // Conformer atoms included, the marker still holds the conformer back; an unmarked one passes.
    const FilterSymmetry withConformers(true);
    EXPECT_FALSE(Passes(withConformers, conformer));
    conformer->RemoveProperty("_REP");
    EXPECT_TRUE(Passes(withConformers, conformer));
    EXPECT_FALSE(Passes(filter, conformer));

    // Exclude mode passes the replicas (and null); an inner filter narrows first.
    const FilterSymmetry replicas(false, Filter::Exclude);
    EXPECT_TRUE(Passes(replicas, replica));
    EXPECT_FALSE(Passes(replicas, asymmetric));
    EXPECT_TRUE(Passes(replicas, nullptr));
    const FilterSymmetry named(FilterLabel("C1", Filter::Include), false);
    EXPECT_TRUE(Passes(named, asymmetric));
    EXPECT_FALSE(Passes(named, outside));

    // Copies keep the inner filter and the flag, as the original's copy does.
    FilterSymmetry assigned(true);
    assigned = named;
    EXPECT_FALSE(Passes(assigned, outside));
    const std::unique_ptr<Filter> copy = named.Copy();
    EXPECT_TRUE(Passes(*copy, asymmetric));
    EXPECT_FALSE(Passes(*copy, outside));

    // The filter drives any walk.
    OrdCollection unit;
    unit.Add(DescendentIterator(&cell, FilterSymmetry(FilterType(Atom::classType, Filter::Include), false), false));
    ASSERT_EQ(unit.GetNumItems(), 1);
    EXPECT_EQ(unit.GetAt(0), asymmetric);
}

TEST_F(ASUToolsTest, CountsLeaveReplicasOutAndConformerAtomsAsAsked)
{
    EXPECT_EQ(ASUTools::CountASUAtoms(nullptr, true), 0);
    EXPECT_EQ(ASUTools::CountASUBonds(nullptr, true), 0);
    EXPECT_EQ(ASUTools::CountASUAtoms(&cell, false), 1);
    // The conformer atom still carries "_REP".
    EXPECT_EQ(ASUTools::GetASUNumAtoms(&cell, true), 1);
    conformer->RemoveProperty("_REP");
    EXPECT_EQ(ASUTools::CountASUAtoms(&cell, true), 2);
    EXPECT_EQ(ASUTools::CountASUAtoms(&loose, false), 1);

    // The bond to a replica counts, the bond between replicas does not, the bond to a conformer
    // atom only when asked.
    EXPECT_EQ(ASUTools::CountASUBonds(&cell, false), 1);
    EXPECT_EQ(ASUTools::GetASUNumBonds(&cell, true), 2);
}

TEST_F(ASUToolsTest, ABuiltCellCountsItsAsymmetricUnitAlone)
{
    Cell3d crystal(nullptr);
    ASSERT_TRUE(crystal.GetSymmetry()->LoadSpaceGroup(14, "", 0));
    auto* const molecule = new Molecule(&crystal);
    auto* const a = new Atom3d(molecule, "C");
    a->SetXYZ(Point3d(1.1, 2.2, 3.3));
    auto* const b = new Atom3d(molecule, "O");
    b->SetXYZ(Point3d(2.1, 2.2, 3.3));
    a->MakeBond(b, Bond::Double);
    ASSERT_TRUE(crystal.Build(Cell3d::BuildInfo()));
    ASSERT_TRUE(crystal.HasDescendent(ReplicateAtom::classType));
    EXPECT_EQ(ASUTools::CountASUAtoms(&crystal, false), 2);
    EXPECT_EQ(ASUTools::CountASUBonds(&crystal, false), 1);
}

} // namespace
