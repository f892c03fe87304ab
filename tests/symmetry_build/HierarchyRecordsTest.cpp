#include <gtest/gtest.h>

#include <sstream>

#include <tavrel/symmetry_build/AsymmetricUnit.h>
#include <tavrel/symmetry_build/BucketQueue.h>
#include <tavrel/symmetry_build/BuildResults.h>
#include <tavrel/symmetry_build/HierarchyDataErrorList.h>
#include <tavrel/symmetry_build/HierarchyDataException.h>
#include <tavrel/symmetry_build/ReplicateList.h>

using namespace Tavrel;

namespace {

IntArray Drain(BucketQueue& queue)
{
    IntArray served;
    while (!queue.IsEmpty()) {
        served.push_back(queue.Front());
        queue.PopFront();
    }
    return served;
}

TEST(BucketQueue, ServesLowBucketsFirstAndBucketZeroLast)
{
    BucketQueue queue(3, -7);
    EXPECT_EQ(queue.Front(), -7);
    queue.Push(4, 0);
    queue.Push(1, 2);
    queue.Push(2, 1);
    queue.Push(3, 2);
    queue.Push(5, 9);  // clamped into bucket 3
    EXPECT_EQ(queue.FindBucket(5), 3);
    EXPECT_EQ(Drain(queue), (IntArray{2, 1, 3, 5, 4}));
    EXPECT_EQ(queue.Front(), -7);
    queue.PopFront();  // nothing to pop
    EXPECT_TRUE(queue.IsEmpty());
}

TEST(BucketQueue, MoveTakesTheValueFromItsBucketOnly)
{
    BucketQueue queue(0, -1);
    EXPECT_EQ(queue.GetBucketCount(), 1);

    BucketQueue q(3, -1);
    q.Push(1, 3);
    q.Push(2, 3);
    q.Push(7, 3);
    q.Move(2, 3, 1);  // lowered
    q.Move(7, 2, 1);  // not in bucket 2: nothing
    q.Move(1, 3, 0);  // never back to bucket 0
    q.Move(1, 3, 3);  // same bucket: nothing
    q.Move(1, 4, 1);  // from out of range: nothing
    q.Move(9, 0, 2);  // a value in no bucket is queued
    EXPECT_EQ(q.FindBucket(2), 1);
    EXPECT_EQ(q.FindBucket(7), 3);
    EXPECT_EQ(q.FindBucket(9), 2);
    EXPECT_EQ(Drain(q), (IntArray{2, 9, 1, 7}));
    EXPECT_EQ(q.FindBucket(2), -1);
}

TEST(BucketQueue, RequeuedValuesAreServedAgainAfterTheirBucketEmptied)
{
    BucketQueue q(2, -1);
    for (std::int32_t v = 0; v < 100; ++v)
        q.Push(v, 2);
    for (std::int32_t v = 0; v < 100; v += 2)
        q.Move(v, 2, 1);
    const IntArray served = Drain(q);
    ASSERT_EQ(served.size(), 100u);
    EXPECT_EQ(served[0], 0);
    EXPECT_EQ(served[49], 98);
    EXPECT_EQ(served[50], 1);
    q.Push(5, 1);
    EXPECT_EQ(Drain(q), IntArray{5});
}

TEST(ReplicateList, FindsMembersByPositionOIDAndKey)
{
    ReplicateAtomList list;
    EXPECT_EQ(list.listKey, SymmetryImageKey::identity);
    EXPECT_TRUE(ReplicateAtomList::IsAtom());
    EXPECT_FALSE(ReplicateObjectList::IsAtom());
    list.members = {{3, 30, SymmetryImageKey::identity}, {5, 50, {1, 0, 0, 1}}, {6, 0, {1, 0, 0, 0}}};
    EXPECT_EQ(list.GetMemberCount(), 3);
    EXPECT_EQ(list.GetMemberItems(), (IntArray{3, 5, 6}));
    EXPECT_TRUE(list.IsMemberItem(1, 5));
    EXPECT_FALSE(list.IsMemberItem(1, 6));
    EXPECT_FALSE(list.IsMemberItem(3, 6));
    EXPECT_FALSE(list.IsMemberItem(-1, 3));
    EXPECT_EQ(list.FindMemberOID(50), 1);
    EXPECT_EQ(list.FindMemberOID(99), -1);
    EXPECT_EQ(list.FindMemberKey({1, 0, 0, 0}), 2);
    EXPECT_EQ(list.FindMemberKey({2, 0, 0, 0}), -1);
}

TEST(HierarchyDataErrorList, PrintsEveryRecordAndIsClearedOnRequest)
{
    HierarchyDataErrorList::ClearErrors();
    HierarchyDataErrorList::AddError(5340, "Identity operation is not the first symmetry operation");
    HierarchyDataErrorList::AddError(12, "");
    EXPECT_TRUE(HierarchyDataErrorList::HasError("Identity operation is not the first symmetry operation"));
    std::ostringstream os;
    HierarchyDataErrorList::PrintErrors(os);
    EXPECT_EQ(os.str(), "HierarchyDataError List\n[5340] Identity operation is not the first symmetry operation\n"
                        "[12] -No Description-\n");
    HierarchyDataErrorList::ClearErrors();
    EXPECT_TRUE(HierarchyDataErrorList::GetErrors().empty());

    const HierarchyDataException plain;
    EXPECT_EQ(plain.GetText(), "Algorithm Error");
    const HierarchyDataException named("SortComponents failed");
    const HierarchyDataException copy = named;
    EXPECT_EQ(copy.GetText(), "SortComponents failed");
}

AsymmetricUnit UnitWithOperations(std::size_t count)
{
    AsymmetricUnit unit;
    unit.SetCellData(Matrix3x3(), Matrix3x3(), std::vector<Matrix4x4>(count), 0.002);
    return unit;
}

TEST(AsymmetricUnit, TakesOnlyConsistentAtomData)
{
    const AsymmetricUnit none;
    EXPECT_FALSE(none.IsValid());  // no operation
    AsymmetricUnit unit = UnitWithOperations(2);
    EXPECT_TRUE(unit.IsValid());
    const Point3d::Array positions{Point3d(0.1f, 0.2f, 0.3f), Point3d(0.5f, 0.5f, 0.5f)};
    unit.SetAtoms(2, {11, 12}, positions, {0.7, 0.8}, {0, 1}, {{0, 1}, {0, 0}});
    EXPECT_TRUE(unit.IsValid());
    EXPECT_EQ(unit.GetAtomCount(), 2);
    EXPECT_EQ(unit.GetAtomOIDs(), (OIDArray{11, 12}));
    IntArray numbers;
    IndexLists partitions;
    unit.GetPartitions(numbers, partitions);
    EXPECT_EQ(partitions[1], (IntArray{0, 0}));

    // A partition row shorter than the operation list, a missing row, a negative number, a short list.
    unit.SetAtoms(2, {11, 12}, positions, {0.7, 0.8}, {0, 1}, {{0, 1}, {0}});
    EXPECT_EQ(unit.GetAtomCount(), 0);
    EXPECT_TRUE(unit.GetAtomOIDs().empty());
    unit.SetAtoms(2, {11, 12}, positions, {0.7, 0.8}, {0, 1}, {{0, 1}});
    EXPECT_EQ(unit.GetAtomCount(), 0);
    unit.SetAtoms(2, {11, 12}, positions, {0.7, 0.8}, {-1, 0}, {{0, 1}});
    EXPECT_EQ(unit.GetAtomCount(), 0);
    unit.SetAtoms(2, {11}, positions, {0.7, 0.8}, {0, 0}, {{0, 1}});
    EXPECT_EQ(unit.GetAtomCount(), 0);

    std::vector<Matrix4x4> operations;
    Matrix3x3 f2c;
    Matrix3x3 c2f;
    double tolerance = 0;
    unit.GetCellData(f2c, c2f, operations, tolerance);
    EXPECT_EQ(operations.size(), 2u);
    EXPECT_DOUBLE_EQ(tolerance, 0.002);

    unit.SetComponentsRequested(true);
    EXPECT_TRUE(unit.GetComponentsRequested());
    unit.SetComponents({0, 1}, {SymmetryImageKey::identity, {1, 0, 0, 0}}, {{0, 1}});
    IntArray atoms;
    SymmetryImageKey::Array keys;
    IndexLists components;
    unit.GetComponents(atoms, keys, components);
    EXPECT_EQ(keys[1], SymmetryImageKey(1, 0, 0, 0));
    EXPECT_EQ(components, (IndexLists{{0, 1}}));
}

TEST(BuildResults, KeepsPerAtomKeysOnlyForTheRightShape)
{
    BuildResults results(2);
    IntArray oids;
    std::vector<SymmetryImageKey::Array> keys;
    results.GetAll(oids, keys);
    EXPECT_EQ(oids, (IntArray{0, 0}));
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_TRUE(keys[0].empty());

    results.SetAtom(1, 42, {{1, 0, 0, 0}});
    results.SetAtom(2, 43, {{1, 0, 0, 0}});
    results.SetAtom(-1, 43, {{1, 0, 0, 0}});
    results.SetAll({1, 2, 3}, {{}, {}, {}});
    results.GetAll(oids, keys);
    EXPECT_EQ(oids, (IntArray{0, 42}));
    EXPECT_EQ(keys[1], SymmetryImageKey::Array{SymmetryImageKey(1, 0, 0, 0)});

    results.SetAll({7, 8}, {{SymmetryImageKey::identity}, {}});
    results.GetAll(oids, keys);
    EXPECT_EQ(oids, (IntArray{7, 8}));
    EXPECT_TRUE(keys[1].empty());
    EXPECT_FALSE(results.GetComputeBonds());
    results.SetConnectivity(true);
    EXPECT_TRUE(results.GetConnectivity());
    EXPECT_EQ(BuildResults(-3).GetAtomCount(), 0);
}

} // namespace
