#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/Event.h>
#include <tavrel/symmetry_build/CosetLattice.h>
#include <tavrel/symmetry_build/Matrix4x4Group.h>
#include <tavrel/symmetry_build/SymmetryAtoms.h>
#include <tavrel/symmetry_build/SymmetryBonds.h>
#include <tavrel/symmetry_build/SymmetryObjects.h>
#include <tavrel/symmetry_build/SymmetryOperationTable.h>
#include <tavrel/symmetry_build/SymmetryTools.h>

#include "SymmetryTestSupport.h"

using namespace Tavrel;

namespace {

IntArray Span(std::span<const std::int32_t> values)
{
    return IntArray(values.begin(), values.end());
}

TEST(SymmetryAtoms, AddReplicasOncePerUnitAndFindsTheIdentityReplica)
{
    SymmetryAtoms atoms;
    EXPECT_EQ(atoms.AddAtom(Point3d(0.1, 0.2, 0.3), 0.77, 0, 0), 0);
    EXPECT_EQ(atoms.AddAtom(Point3d(0.5, 0.5, 0.5), 1.1, 2, 1), 1);
    ASSERT_NE(atoms.GetUnit(1), nullptr);
    EXPECT_EQ(atoms.GetUnit(1)->site, 1);
    EXPECT_EQ(atoms.GetUnit(2), nullptr);

    EXPECT_TRUE(atoms.AddReplicas(1, {{1, 0, 0, 0}, SymmetryImageKey::identity}, {101, 102}));
    EXPECT_EQ(atoms.GetIdentityReplica(1), 1);
    EXPECT_EQ(atoms.GetIdentityReplica(0), -1);
    EXPECT_EQ(Span(atoms.GetReplicas(1)), (IntArray{0, 1}));
    // A unit that has replicas takes no more.
    EXPECT_FALSE(atoms.AddReplicas(1, {{2, 0, 0, 0}}, {103}));
    EXPECT_EQ(atoms.GetReplicaCount(), 2);
    EXPECT_EQ(atoms.FindReplica(103), -1);

    EXPECT_FALSE(atoms.AddReplicas(2, {{1, 0, 0, 0}}, {104}));
    EXPECT_FALSE(atoms.AddReplicas(0, {}, {}));
    EXPECT_FALSE(atoms.AddReplicas(0, {{1, 0, 0, 0}}, {104, 105}));
    // OID 0 marks a replica that no longer exists: kept, never looked up.
    EXPECT_TRUE(atoms.AddReplicas(0, {SymmetryImageKey::identity, {3, 1, 0, 0}}, {0, 106}));
    EXPECT_EQ(atoms.GetReplicaCount(), 4);
    EXPECT_EQ(atoms.FindReplica(0), -1);
    EXPECT_EQ(atoms.FindReplica(106), 3);
    EXPECT_EQ(atoms.GetOwner(3), 0);
    EXPECT_EQ(atoms.GetImageKey(3), SymmetryImageKey(3, 1, 0, 0));
    EXPECT_EQ(atoms.GetReplicaOID(1), 102u);
    EXPECT_EQ(atoms.GetImageKey(4), SymmetryImageKey());
    EXPECT_EQ(atoms.GetOwner(-1), -1);

    SymmetryImageKey::Array keys;
    atoms.GetImageKeys(keys);
    EXPECT_EQ(keys, (SymmetryImageKey::Array{{1, 0, 0, 0}, SymmetryImageKey::identity, SymmetryImageKey::identity, {3, 1, 0, 0}}));
    OIDArray oids;
    atoms.GetReplicaOIDs(oids);
    EXPECT_EQ(oids, (OIDArray{101, 102, 0, 106}));

    atoms.Clear();
    EXPECT_EQ(atoms.GetUnitCount(), 0);
    EXPECT_EQ(atoms.GetReplicaCount(), 0);
    EXPECT_EQ(atoms.FindReplica(101), -1);
}

TEST(SymmetryAtoms, SetReplicasReplacesEveryUnitsReplicasOrRefusesThemWhole)
{
    SymmetryAtoms atoms;
    atoms.AddAtom(Point3d(), 1.0, 0, 0);
    atoms.AddAtom(Point3d(), 1.0, 0, 0);
    ASSERT_TRUE(atoms.AddReplicas(0, {SymmetryImageKey::identity}, {11}));

    const SymmetryImageKey::Array keys = {{2, 0, 0, 0}, SymmetryImageKey::identity, {1, 0, 1, 0}};
    // Replica 1 listed for both units.
    EXPECT_FALSE(atoms.SetReplicas({{1, 2}, {1}}, keys, {21, 22, 23}));
    EXPECT_FALSE(atoms.SetReplicas({{0, 2}}, keys, {21, 22, 23}));
    EXPECT_FALSE(atoms.SetReplicas({{0, 3}, {1}}, keys, {21, 22, 23}));
    EXPECT_FALSE(atoms.SetReplicas({{0, -1}, {1}}, keys, {21, 22, 23}));
    EXPECT_FALSE(atoms.SetReplicas({{0, 2}, {1}}, keys, {21, 22}));
    EXPECT_FALSE(atoms.SetReplicas({{0}, {1}}, keys, {21, 22, 23}));
    EXPECT_EQ(atoms.GetReplicaCount(), 1);
    EXPECT_EQ(atoms.FindReplica(11), 0);

    ASSERT_TRUE(atoms.SetReplicas({{2, 0}, {1}}, keys, {21, 22, 23}));
    EXPECT_EQ(atoms.GetReplicaCount(), 3);
    EXPECT_EQ(Span(atoms.GetReplicas(0)), (IntArray{2, 0}));
    EXPECT_EQ(atoms.GetOwner(0), 0);
    EXPECT_EQ(atoms.GetOwner(1), 1);
    EXPECT_EQ(atoms.GetIdentityReplica(0), -1);
    EXPECT_EQ(atoms.GetIdentityReplica(1), 1);
    EXPECT_EQ(atoms.FindReplica(11), -1);
    EXPECT_EQ(atoms.FindReplica(23), 2);

    // Copies are deep; Swap exchanges everything.
    SymmetryAtoms copy(atoms);
    SymmetryAtoms other;
    other.AddAtom(Point3d(1, 1, 1), 2.0, 0, 0);
    atoms.Swap(other);
    EXPECT_EQ(atoms.GetUnitCount(), 1);
    EXPECT_EQ(atoms.FindReplica(23), -1);
    EXPECT_EQ(other.FindReplica(23), 2);
    EXPECT_EQ(copy.FindReplica(22), 1);
    EXPECT_EQ(Span(copy.GetReplicas(0)), (IntArray{2, 0}));
}

// Replicas numbered unit after unit come as counts; the table then reads as if listed one by one.
TEST(SymmetryAtoms, ReplicasInOrderMatchTheSameReplicasListed)
{
    SymmetryAtoms listed;
    SymmetryAtoms counted;
    for (SymmetryAtoms* atoms : {&listed, &counted}) {
        for (int i = 0; i < 3; ++i)
            atoms->AddAtom(Point3d(), 1.0, 0, 0);
        ASSERT_TRUE(atoms->AddReplicas(0, {SymmetryImageKey::identity}, {11}));
    }
    const SymmetryImageKey::Array keys = {SymmetryImageKey::identity, {1, 0, 0, 0}, {2, 1, 0, 0},
                                          SymmetryImageKey::identity};
    ASSERT_TRUE(listed.SetReplicas({{0, 1, 2}, {}, {3}}, keys, {21, 0, 23, 24}));
    ASSERT_TRUE(counted.SetReplicasInOrder({3, 0, 1}, keys, {21, 0, 23, 24}));
    for (std::int32_t unit = 0; unit < 3; ++unit) {
        EXPECT_EQ(Span(counted.GetReplicas(unit)), Span(listed.GetReplicas(unit))) << unit;
        EXPECT_EQ(counted.GetIdentityReplica(unit), listed.GetIdentityReplica(unit)) << unit;
    }
    for (std::int32_t r = 0; r < 4; ++r)
        EXPECT_EQ(counted.GetOwner(r), listed.GetOwner(r)) << r;
    EXPECT_EQ(counted.FindReplica(24), 3);
    EXPECT_EQ(counted.FindReplica(11), -1);
    EXPECT_EQ(counted.FindReplica(0), -1);

    // Counts that are too few, negative or not one per unit change nothing.
    EXPECT_FALSE(counted.SetReplicasInOrder({1, 1}, {SymmetryImageKey::identity, {1, 0, 0, 0}}, {31, 32}));
    EXPECT_FALSE(counted.SetReplicasInOrder({2, -1, 1}, {SymmetryImageKey::identity, {1, 0, 0, 0}}, {31, 32}));
    EXPECT_FALSE(counted.SetReplicasInOrder({1, 0, 0}, {SymmetryImageKey::identity, {1, 0, 0, 0}}, {31, 32}));
    EXPECT_FALSE(counted.SetReplicasInOrder({1, 0, 0}, {SymmetryImageKey::identity}, {31, 32}));
    EXPECT_EQ(counted.GetReplicaCount(), 4);
    EXPECT_EQ(counted.FindReplica(23), 2);
    EXPECT_EQ(counted.GetIdentityReplica(2), 3);
}

TEST(SymmetryObjects, KeepsCosetNumbersAndReplicas)
{
    SymmetryObjects objects;
    EXPECT_EQ(objects.AddObject(3), 0);
    EXPECT_EQ(objects.AddObject(-1), 1);
    EXPECT_EQ(objects.GetCosetDecomposition(0), 3);
    EXPECT_EQ(objects.GetCosetDecomposition(2), -1);
    EXPECT_TRUE(objects.AddReplicas(1, {{1, 0, 0, 0}, {0, 0, 0, 1}, SymmetryImageKey::identity}, {7, 8, 9}));
    EXPECT_EQ(objects.GetIdentityReplica(1), 2);
    SymmetryObjects copy(objects);
    objects.Clear();
    EXPECT_EQ(objects.GetUnitCount(), 0);
    EXPECT_EQ(copy.FindReplica(8), 1);
    EXPECT_EQ(copy.GetCosetDecomposition(1), -1);
}

// A group, the position's site symmetry in the table and its partition in the lattice.
struct Site {
    Site(int number, const Point3d& p) : operations(test::SettingOperations(test::FirstRow(number))), position(p)
    {
        EXPECT_TRUE(group.SetOperations(operations));
        lattice.SetElementCount(group.GetCount());
        SymmetryTools::GenerateEquivalentPoints(p, Matrix3x3(), 0.001, operations, points);
        Matrix3x3 mean;
        SymmetryTools::GetMeanRotation(operations, points.siteKeys, mean);
        site = table.Add(points.siteKeys, p, mean);
        coset = lattice.Add(points.representatives, points.representativeOperations);
    }

    std::vector<Matrix4x4> operations;
    Point3d position;
    Matrix4x4Group group;
    CosetLattice lattice;
    SymmetryOperationTable table;
    EquivalentPoints points;
    std::int32_t site = 0;
    std::int32_t coset = 0;
};

SymmetryImageKey::Array SortedKeys(SymmetryImageKey::Array keys)
{
    std::sort(keys.begin(), keys.end());
    return keys;
}

// The image of a special position has the site symmetry and the partition found at the image itself.
TEST(SymmetryAtoms, TheImageOfAnAtomCarriesItsSiteAndCosetDecomposition)
{
    const struct {
        int number;
        Point3d position;
    } cases[] = {{14, Point3d(0.5, 0.0, 0.5)}, {225, Point3d(0.25, 0.25, 0.25)}, {225, Point3d(0.0, 0.0, 0.0)},
                 {194, Point3d(1.0 / 3, 2.0 / 3, 0.25)}, {62, Point3d(0.1, 0.25, 0.7)}};
    for (const auto& c : cases) {
        Site site(c.number, c.position);
        ASSERT_GT(site.coset, 1) << c.number;
        for (std::int32_t op = 1; op < site.group.GetCount(); op += 1 + site.group.GetCount() / 8) {
            const SymmetryImageKey k(op, 1, -2, 0);
            Point3d image;
            std::int32_t coset = -1;
            std::int32_t imageSite = -1;
            ASSERT_TRUE(SymmetryAtoms::GetImage(site.position, site.coset, site.site, k, site.operations, site.group,
                                                site.lattice, site.table, image, coset, imageSite));
            const Point3d expected = site.position * site.operations[static_cast<std::size_t>(op)] + Point3d(1, -2, 0);
            EXPECT_TRUE(image.Compare(expected, 1e-6));

            EquivalentPoints there;
            SymmetryTools::GenerateEquivalentPoints(image, Matrix3x3(), 0.001, site.operations, there);
            IntArray partition;
            site.lattice.GetPartition(coset, partition);
            EXPECT_EQ(partition, there.representatives) << c.number << " key " << k;
            SymmetryImageKey::Array keys;
            ASSERT_TRUE(site.table.GetKeys(imageSite, keys));
            EXPECT_EQ(keys.front(), SymmetryImageKey::identity);
            EXPECT_EQ(SortedKeys(keys), SortedKeys(there.siteKeys)) << c.number << " key " << k;
        }
    }
}

TEST(SymmetryAtoms, ImagesByIdentityTranslationOrBadKeys)
{
    Site site(14, Point3d(0.5, 0.0, 0.5));
    Point3d image(9, 9, 9);
    std::int32_t coset = -7;
    std::int32_t imageSite = -7;
    const auto get = [&](const SymmetryImageKey& k, std::int32_t unitCoset, std::int32_t unitSite) {
        return SymmetryAtoms::GetImage(site.position, unitCoset, unitSite, k, site.operations, site.group, site.lattice,
                                       site.table, image, coset, imageSite);
    };
    EXPECT_TRUE(get(SymmetryImageKey::identity, site.coset, site.site));
    EXPECT_EQ(image, Point3d(9, 9, 9));
    EXPECT_EQ(coset, -7);
    EXPECT_TRUE(get({0, 0, 1, -1}, site.coset, site.site));
    EXPECT_EQ(image, Point3d(0.5, 1.0, -0.5));
    EXPECT_EQ(coset, site.coset);
    EXPECT_EQ(imageSite, site.site);
    image = Point3d(9, 9, 9);
    EXPECT_FALSE(get({4, 0, 0, 0}, site.coset, site.site));
    EXPECT_FALSE(get({}, site.coset, site.site));
    EXPECT_FALSE(get({1, 0, 0, 0}, -1, site.site));
    EXPECT_FALSE(get({1, 0, 0, 0}, site.coset, -1));
    EXPECT_FALSE(get({1, 0, 0, 0}, site.coset, site.table.GetCount()));
    EXPECT_FALSE(get({1, 0, 0, 0}, site.lattice.GetCount(), site.site));
    EXPECT_EQ(image, Point3d(9, 9, 9));
    // A group that cannot invert the key.
    Matrix4x4Group empty;
    EXPECT_FALSE(SymmetryAtoms::GetImage(site.position, site.coset, site.site, {1, 0, 0, 0}, site.operations, empty,
                                         site.lattice, site.table, image, coset, imageSite));
    // A general position keeps coset 0 and site 0.
    Site general(14, Point3d(0.1, 0.2, 0.3));
    EXPECT_EQ(general.coset, 0);
    EXPECT_TRUE(SymmetryAtoms::GetImage(general.position, 0, 0, {3, 0, 0, 1}, general.operations, general.group,
                                        general.lattice, general.table, image, coset, imageSite));
    EXPECT_EQ(coset, 0);
    EXPECT_EQ(imageSite, 0);
}

TEST(SymmetryAtoms, TransformImageKeysReexpressesThroughClassRepresentatives)
{
    Site site(225, Point3d(0.0, 0.0, 0.0));
    const IntArray& representatives = site.points.representatives;
    SymmetryImageKey::Array keys;
    for (std::int32_t op = 0; op < site.group.GetCount(); op += 7)
        keys.emplace_back(op, op % 3 - 1, 0, 1);
    const SymmetryImageKey g(17, 0, 1, 0);
    SymmetryImageKey::Array transformed = keys;
    ASSERT_TRUE(SymmetryAtoms::TransformImageKeys(g, site.group, site.position, site.operations, representatives, transformed));
    ASSERT_EQ(transformed.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const SymmetryImageKey product = site.group.Multiply(g, keys[i]);
        const SymmetryImageKey& out = transformed[i];
        EXPECT_EQ(out.op, representatives[static_cast<std::size_t>(product.op)]);
        // The same image of the reference point.
        const Point3d a = site.position * site.operations[static_cast<std::size_t>(product.op)] + product.GetTranslation();
        const Point3d b = site.position * site.operations[static_cast<std::size_t>(out.op)] + out.GetTranslation();
        EXPECT_TRUE(a.Compare(b, 1e-6)) << keys[i];
    }
    // A key the group cannot multiply leaves the keys as they were.
    SymmetryImageKey::Array bad = {{1, 0, 0, 0}, {999, 0, 0, 0}};
    EXPECT_FALSE(SymmetryAtoms::TransformImageKeys(g, site.group, site.position, site.operations, representatives, bad));
    EXPECT_EQ(bad, (SymmetryImageKey::Array{{1, 0, 0, 0}, {999, 0, 0, 0}}));
    EXPECT_FALSE(SymmetryAtoms::TransformImageKeys(g, site.group, site.position, site.operations, IntArray{0}, keys));
}

// Both tables hold the same OIDs and, unit by unit, the same bonds.
void ExpectSameTables(const SymmetryBonds& expected, const SymmetryBonds& actual, std::int32_t units)
{
    OIDArray a;
    OIDArray b;
    expected.GetOIDs(a);
    actual.GetOIDs(b);
    EXPECT_EQ(a, b);
    for (std::int32_t unit = 0; unit < units; ++unit)
        EXPECT_EQ(Span(actual.GetSymmetryBonds(unit)), Span(expected.GetSymmetryBonds(unit))) << unit;
}

class SymmetryBondsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    SymmetryBondsTest() : molecule(new Molecule(nullptr))
    {
        for (int i = 0; i < 8; ++i)
            atoms.push_back(new Atom3d(molecule.get(), "C"));
        for (int i = 0; i < 4; ++i) {
            bonds.push_back(atoms[static_cast<std::size_t>(2 * i)]->MakeBond(atoms[static_cast<std::size_t>(2 * i + 1)], Bond::Single));
            oids.push_back(bonds.back()->GetOID());
        }
    }

    bool Alive(std::size_t bond) const { return Object::GetObjectA(oids[bond]) == bonds[bond]; }

    // Group 0 lists bonds 0 and 1, group 1 lists bonds 2 and 3; bond 3's level is below its group.
    std::vector<ReplicateBondList> Groups() const
    {
        return {{ReplicateBond(0, oids[0], {1, 0, 0, 0}, 0), ReplicateBond(1, oids[1], {0, 0, 0, 0}, 1)},
                {ReplicateBond(0, oids[2], {2, 0, 0, 0}, 1), ReplicateBond(1, oids[3], {0, 0, 1, 0}, 0)}};
    }

    std::unique_ptr<Molecule> molecule;
    std::vector<Atom3d*> atoms;
    std::vector<Bond*> bonds;
    OIDArray oids;
};

TEST_F(SymmetryBondsTest, SetBondsGroupsTheBondsTakingPartByUnit)
{
    SymmetryBonds table;
    table.SetUnitCount(3);
    bonds[0]->SetType(Bond::Double);
    bonds[0]->SetIsInRing(true);
    ASSERT_TRUE(table.SetBonds(Groups()));
    EXPECT_EQ(table.GetSymmetryBondCount(), 3);
    OIDArray stored;
    table.GetOIDs(stored);
    EXPECT_EQ(stored, (OIDArray{oids[0], oids[1], oids[2]}));
    EXPECT_EQ(Span(table.GetSymmetryBonds(0)), (IntArray{0, 2}));
    EXPECT_EQ(Span(table.GetSymmetryBonds(1)), IntArray{1});
    EXPECT_TRUE(table.GetSymmetryBonds(2).empty());
    EXPECT_EQ(table.FindUnit(oids[2]), 0);
    EXPECT_EQ(table.FindUnit(oids[3]), -1);
    OIDArray first;
    table.GetFirstOIDs(first);
    EXPECT_EQ(first, (OIDArray{oids[0], oids[1], 0}));
    const SymmetryBonds::Summary summary = table.GetSummary(0);
    EXPECT_EQ(summary.type, Bond::Double);
    EXPECT_DOUBLE_EQ(summary.order, bonds[0]->GetOrder());
    EXPECT_TRUE(summary.inRing);
    EXPECT_EQ(table.GetSummary(2).type, 1);
    EXPECT_DOUBLE_EQ(table.GetSummary(2).order, 1.0);
}

TEST_F(SymmetryBondsTest, SetBondsRefusesBadItemsAndKeepsTheTable)
{
    SymmetryBonds table;
    table.SetUnitCount(2);
    ASSERT_TRUE(table.SetBonds(Groups()));
    std::vector<ReplicateBondList> groups = Groups();
    groups[1][1].SetOID(0);
    EXPECT_FALSE(table.SetBonds(groups));
    groups = Groups();
    groups[0][0].SetBondListIndex(-1);
    EXPECT_FALSE(table.SetBonds(groups));
    groups = Groups();
    groups[0][1].SetBondListIndex(2);
    EXPECT_FALSE(table.SetBonds(groups));
    EXPECT_EQ(table.GetSymmetryBondCount(), 3);
    EXPECT_EQ(table.FindUnit(oids[1]), 1);
}

TEST_F(SymmetryBondsTest, AFlatListOfUnitBondsFillsTheTableAsTheGroupsDo)
{
    SymmetryBonds grouped;
    grouped.SetUnitCount(3);
    ASSERT_TRUE(grouped.SetBonds(Groups()));
    SymmetryBonds flat;
    flat.SetUnitCount(3);
    const std::vector<SymmetryBonds::UnitBond> made = {{0, oids[0]}, {1, oids[1]}, {0, oids[2]}};
    ASSERT_TRUE(flat.SetBonds(made));
    ExpectSameTables(grouped, flat, 3);
    EXPECT_EQ(flat.FindUnit(oids[2]), 0);

    // A unit out of range or a bond without OID anywhere in the list changes nothing.
    const std::vector<SymmetryBonds::UnitBond> outOfRange = {{0, oids[3]}, {3, oids[1]}};
    const std::vector<SymmetryBonds::UnitBond> noOID = {{1, oids[3]}, {0, 0}};
    EXPECT_FALSE(flat.SetBonds(outOfRange));
    EXPECT_FALSE(flat.SetBonds(noOID));
    EXPECT_EQ(flat.GetSymmetryBondCount(), 3);
    EXPECT_EQ(flat.FindUnit(oids[3]), -1);
    EXPECT_EQ(flat.FindUnit(oids[1]), 1);
}

TEST_F(SymmetryBondsTest, UnitAndOIDListsFillTheTableAsUnitBondsDo)
{
    SymmetryBonds paired;
    paired.SetUnitCount(3);
    const std::vector<SymmetryBonds::UnitBond> made = {{2, oids[3]}, {0, oids[0]}, {2, oids[1]}, {0, oids[2]}};
    ASSERT_TRUE(paired.SetBonds(made));
    SymmetryBonds split;
    split.SetUnitCount(3);
    ASSERT_TRUE(split.SetBonds(IntArray{2, 0, 2, 0}, OIDArray{oids[3], oids[0], oids[1], oids[2]}));
    ExpectSameTables(paired, split, 3);
    OIDArray a;
    paired.GetOIDs(a);
    EXPECT_EQ(Span(split.GetSymmetryBonds(2)), Span(IntArray{0, 2}));
    for (const std::uint32_t oid : a)
        EXPECT_EQ(split.FindUnit(oid), paired.FindUnit(oid)) << oid;

    // Lists of different lengths, a unit out of range or OID 0 change nothing and keep the OIDs.
    OIDArray longer = {oids[3], oids[1]};
    EXPECT_FALSE(split.SetBonds(IntArray{1}, std::move(longer)));
    EXPECT_EQ(longer.size(), 2u);
    EXPECT_FALSE(split.SetBonds(IntArray{1, 3}, OIDArray{oids[3], oids[1]}));
    EXPECT_FALSE(split.SetBonds(IntArray{1, 0}, OIDArray{oids[3], 0}));
    EXPECT_EQ(split.GetSymmetryBondCount(), 4);
    EXPECT_EQ(split.FindUnit(oids[3]), 2);
}

TEST_F(SymmetryBondsTest, DeletingOneBondDeletesItsSymmetryEquivalents)
{
    SymmetryBonds table;
    table.SetUnitCount(2);
    ASSERT_TRUE(table.SetBonds(Groups()));
    // The map's listener hands every deleted bond to the table, also those the table deletes.
    molecule->RegisterEvent(Bond::classType, Bond::EventDeleted,
                            [](Event& event) { static_cast<SymmetryBonds*>(event.GetData())->OnBondDeleted(event.GetTreeNodeOID()); },
                            true, &table, nullptr);
    delete bonds[2];
    EXPECT_FALSE(Alive(2));
    EXPECT_FALSE(Alive(0));
    EXPECT_TRUE(Alive(1));
    EXPECT_TRUE(Alive(3));
    OIDArray stored;
    table.GetOIDs(stored);
    EXPECT_EQ(stored, (OIDArray{0, oids[1], 0}));
    EXPECT_EQ(table.FindUnit(oids[0]), -1);
    EXPECT_EQ(atoms[0]->GetNumBonds(), 0);

    // The only bond left of a unit goes alone.
    table.OnBondDeleted(oids[1]);
    EXPECT_TRUE(Alive(1));
    EXPECT_TRUE(Alive(3));
    table.GetOIDs(stored);
    EXPECT_EQ(stored, (OIDArray{0, 0, 0}));
    table.OnBondDeleted(oids[3]);
    table.OnBondDeleted(0);
    EXPECT_TRUE(Alive(3));
    molecule->UnregisterAllEvents(&table);
}

TEST_F(SymmetryBondsTest, RetypingOneBondRetypesItsEquivalentsOnce)
{
    SymmetryBonds table;
    table.SetUnitCount(2);
    ASSERT_TRUE(table.SetBonds(Groups()));
    struct Counter {
        SymmetryBonds* table;
        int heard = 0;
    } counter{&table};
    molecule->RegisterEvent(Bond::classType, Bond::EventTypeSet,
                            [](Event& event) {
                                auto* const c = static_cast<Counter*>(event.GetData());
                                ++c->heard;
                                c->table->OnBondTypeChanged(event.GetTreeNodeOID());
                            },
                            true, &counter, nullptr);
    bonds[2]->SetType(Bond::Triple);
    EXPECT_EQ(bonds[0]->GetType(), Bond::Triple);
    EXPECT_EQ(bonds[1]->GetType(), Bond::Single);
    EXPECT_EQ(bonds[3]->GetType(), Bond::Single);
    EXPECT_EQ(counter.heard, 2);
    molecule->UnregisterAllEvents(&counter);

    // An equivalent deleted behind the table's back is skipped.
    delete bonds[0];
    bonds[2]->SetType(Bond::Aromatic);
    table.OnBondTypeChanged(oids[2]);
    EXPECT_EQ(bonds[2]->GetType(), Bond::Aromatic);
    table.OnBondTypeChanged(oids[0]);
}

TEST_F(SymmetryBondsTest, AppliedSummaryCopiesTypeOrderStyleAndRing)
{
    SymmetryBonds table;
    table.SetUnitCount(2);
    bonds[0]->SetType(Bond::Single);
    bonds[0]->SetOrder(1.25);
    bonds[0]->SetIsInRing(true);
    ASSERT_TRUE(table.SetBonds(Groups()));
    table.ApplyBondSummary(0, bonds[3]);
    EXPECT_EQ(bonds[3]->GetType(), Bond::Single);
    EXPECT_DOUBLE_EQ(bonds[3]->GetOrder(), 1.25);
    EXPECT_TRUE(bonds[3]->IsInRing());
    table.ApplyBondSummary(5, bonds[3]);
    table.ApplyBondSummary(0, nullptr);
}

TEST_F(SymmetryBondsTest, AddBondsMakesEachBondAUnitOfItsOwn)
{
    SymmetryBonds table;
    std::vector<ReplicateBondList> groups = Groups();
    table.AddBonds(groups);
    EXPECT_EQ(table.GetUnitCount(), 3);
    EXPECT_EQ(table.GetSymmetryBondCount(), 3);
    EXPECT_EQ(groups[0][0].GetBondListIndex(), 0);
    EXPECT_EQ(groups[0][1].GetBondListIndex(), 1);
    EXPECT_EQ(groups[1][0].GetBondListIndex(), 2);
    EXPECT_EQ(groups[1][1].GetBondListIndex(), -1);
    for (std::int32_t u = 0; u < 3; ++u)
        EXPECT_EQ(Span(table.GetSymmetryBonds(u)), IntArray{u});

    // On a table with more symmetry bonds than units, a new unit lists its own symmetry bond.
    SymmetryBonds uneven;
    uneven.SetUnitCount(2);
    ASSERT_TRUE(uneven.SetBonds(Groups()));
    std::vector<ReplicateBondList> more = {{ReplicateBond(-1, oids[3], {0, 0, 0, 0}, 0)}};
    uneven.AddBonds(more);
    EXPECT_EQ(more[0][0].GetBondListIndex(), 2);
    EXPECT_EQ(Span(uneven.GetSymmetryBonds(2)), IntArray{3});
    OIDArray first;
    uneven.GetFirstOIDs(first);
    EXPECT_EQ(first, (OIDArray{oids[0], oids[1], oids[3]}));
    EXPECT_EQ(uneven.FindUnit(oids[3]), 2);
    // A computed bond has OID 0 and is not looked up.
    std::vector<ReplicateBondList> computed = {{ReplicateBond(SymmetryImageKey(1), 0, 0)}};
    uneven.AddBonds(computed);
    EXPECT_EQ(uneven.GetUnitCount(), 4);
    EXPECT_EQ(uneven.FindUnit(0), -1);
}

TEST_F(SymmetryBondsTest, RebuildBondsNumbersTheUnitsAfresh)
{
    SymmetryBonds table;
    std::vector<ReplicateBondList> groups = {
        {ReplicateBond(5, oids[0], {0, 0, 0, 0}, 0), ReplicateBond(-1, oids[1], {1, 0, 0, 0}, 2)},
        {ReplicateBond(9, oids[2], {0, 0, 0, 0}, 1), ReplicateBond(5, oids[3], {1, 0, 0, 0}, 3)},
        {ReplicateBond(9, 0, {0, 0, 0, 0}, 1), ReplicateBond(-1, 0, {1, 1, 0, 0}, 2)}};
    table.RebuildBonds(groups);
    EXPECT_EQ(table.GetUnitCount(), 4);
    EXPECT_EQ(table.GetSymmetryBondCount(), 5);
    EXPECT_EQ(groups[0][0].GetBondListIndex(), 0);
    EXPECT_EQ(groups[1][0].GetBondListIndex(), 1);
    EXPECT_EQ(groups[1][1].GetBondListIndex(), 0);
    EXPECT_EQ(groups[2][0].GetBondListIndex(), -1);  // below its group's level
    EXPECT_EQ(groups[0][1].GetBondListIndex(), 2);
    EXPECT_EQ(groups[2][1].GetBondListIndex(), 3);
    EXPECT_EQ(Span(table.GetSymmetryBonds(0)), (IntArray{0, 2}));
    EXPECT_EQ(Span(table.GetSymmetryBonds(1)), IntArray{1});
    EXPECT_EQ(Span(table.GetSymmetryBonds(2)), IntArray{3});
    EXPECT_EQ(Span(table.GetSymmetryBonds(3)), IntArray{4});
    EXPECT_EQ(table.FindUnit(oids[3]), 0);
    EXPECT_EQ(table.FindUnit(oids[1]), 2);
    OIDArray first;
    table.GetFirstOIDs(first);
    EXPECT_EQ(first, (OIDArray{oids[0], oids[2], oids[1], 0}));
}

TEST_F(SymmetryBondsTest, ReplaceOIDsOnlyForTheStoredList)
{
    SymmetryBonds table;
    table.SetUnitCount(2);
    ASSERT_TRUE(table.SetBonds(Groups()));
    EXPECT_FALSE(table.ReplaceOIDs({oids[0], oids[1]}, {1, 2}));
    EXPECT_FALSE(table.ReplaceOIDs({oids[0], oids[1], oids[2]}, {1, 2}));
    EXPECT_TRUE(table.ReplaceOIDs({oids[0], oids[1], oids[2]}, {oids[3], 0, oids[1]}));
    EXPECT_EQ(table.FindUnit(oids[3]), 0);
    EXPECT_EQ(table.FindUnit(oids[1]), 0);
    EXPECT_EQ(table.FindUnit(oids[0]), -1);
    table.OnBondDeleted(oids[3]);
    EXPECT_FALSE(Alive(1));
    EXPECT_TRUE(Alive(3));

    SymmetryBonds copy(table);
    table.Clear();
    EXPECT_EQ(table.GetUnitCount(), 0);
    EXPECT_EQ(copy.GetUnitCount(), 2);
    SymmetryBonds swapped;
    swapped.Swap(copy);
    EXPECT_EQ(swapped.GetSymmetryBondCount(), 3);
    swapped.SetUnitCount(1);
    EXPECT_EQ(swapped.GetUnitCount(), 1);
    swapped.SetUnitCount(3);
    EXPECT_TRUE(swapped.GetSymmetryBonds(2).empty());
}

} // namespace
