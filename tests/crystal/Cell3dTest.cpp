#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <limits>
#include <memory>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellUtil.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ObjectProperty.h>
#include <tavrel/platform/Archive.h>
#include "support/Near.h"
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

class Cell3dTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    struct Vectors {
        Point3d a, b, c;
    };
    static Vectors VectorsOf(const Cell3d& cell)
    {
        Vectors v;
        cell.GetVectors(v.a, v.b, v.c);
        return v;
    }
    static void ExpectParameters(const Cell3d& cell, const double (&lengths)[3], const double (&angles)[3])
    {
        double l[3];
        double a[3];
        cell.GetGeometry(l, a);
        for (int i = 0; i < 3; ++i) {
            EXPECT_DOUBLE_EQ(l[i], lengths[i]) << "length " << i;
            EXPECT_DOUBLE_EQ(a[i], angles[i]) << "angle " << i;
        }
    }
};

TEST_F(Cell3dTest, ANewCellIsATenUnitCubeWithItsTransformsAndIsDirty)
{
    const Cell3d cell(nullptr);
    EXPECT_TRUE(cell.IsDirty());
    EXPECT_EQ(cell.GetDimensionality(), 3);
    EXPECT_EQ(cell.GetSymmetry()->GetTableNumber(), 1);
    EXPECT_TRUE(test::Near(cell.GetFracToCart(), Matrix3x3(10, 0, 0, 0, 10, 0, 0, 0, 10)));
    EXPECT_TRUE(test::Near(cell.GetCartToFrac(), Matrix3x3(0.1, 0, 0, 0, 0.1, 0, 0, 0, 0.1)));
    const Vectors v = VectorsOf(cell);
    EXPECT_TRUE(test::Near(v.a, Point3d(10, 0, 0)));
    EXPECT_TRUE(test::Near(v.b, Point3d(0, 10, 0)));
    EXPECT_TRUE(test::Near(v.c, Point3d(0, 0, 10)));
    EXPECT_EQ(cell.GetOrientation(false), 0);
    EXPECT_EQ(cell.GetOrientation(true), 18);
}

TEST_F(Cell3dTest, FramesLayTheParametersIntoCartesianSpace)
{
    Cell3d cell(nullptr);
    ASSERT_TRUE(cell.SetGeometry(5.0, 6.0, 7.0, 90.0, 90.0, 120.0));
    Vectors v = VectorsOf(cell);
    EXPECT_TRUE(test::Near(v.a, Point3d(5, 0, 0)));
    EXPECT_TRUE(test::Near(v.b, Point3d(-3, 5.196152, 0)));
    EXPECT_TRUE(test::Near(v.c, Point3d(0, 0, 7)));

    // c along Z, b in the YZ plane; the change moves every fractional position, so the cell is dirty.
    cell.SetDirty(false);
    EXPECT_FALSE(cell.SetOrientation(7));
    EXPECT_FALSE(cell.IsDirty());
    ASSERT_TRUE(cell.SetOrientation(CellUtil::OrientationCAlongZ));
    EXPECT_TRUE(cell.IsDirty());
    v = VectorsOf(cell);
    EXPECT_TRUE(test::Near(v.c, Point3d(0, 0, 7)));
    EXPECT_TRUE(test::Near(v.b, Point3d(0, 6, 0)));
    EXPECT_NEAR(v.a.Length(), 5.0, 1e-5);

    // A value without a frame of its own is kept and laid out as frame 18, never singular.
    ASSERT_TRUE(cell.SetOrientation(21));
    EXPECT_EQ(cell.GetOrientation(true), 21);
    v = VectorsOf(cell);
    EXPECT_TRUE(test::Near(v.a, Point3d(5, 0, 0)));
    EXPECT_TRUE(test::Near(v.b, Point3d(-3, 5.196152, 0)));
}

TEST_F(Cell3dTest, RejectedParametersChangeNothing)
{
    Cell3d cell(nullptr);
    ASSERT_TRUE(cell.SetGeometry(8.0, 9.0, 10.0, 80.0, 85.0, 95.0));
    cell.SetDirty(false);
    const Matrix3x3 before = cell.GetFracToCart();
    const double lengths[3] = {8.0, 9.0, 10.0};
    const double angles[3] = {80.0, 85.0, 95.0};

    EXPECT_FALSE(cell.SetAngles(120.0, 120.0, 120.0));
    EXPECT_FALSE(cell.SetAngles(10.0, 20.0, 40.0));
    const double badAngles[3] = {10.0, 20.0, 40.0};
    EXPECT_FALSE(cell.SetAngles(badAngles));
    const double zeroAngle[3] = {90.0, 90.0, 0.0};
    EXPECT_FALSE(cell.SetAngles(zeroAngle));
    EXPECT_FALSE(cell.SetLengths(10.0, 0.0, 10.0));
    const double zeroLength[3] = {12.0, 0.0, 12.0};
    EXPECT_FALSE(cell.SetLengths(zeroLength));
    EXPECT_FALSE(cell.SetA(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(cell.SetGeometry(std::nan(""), 1.0, 1.0, 90.0, 90.0, 90.0));
    EXPECT_FALSE(cell.SetGamma(std::nan("")));
    EXPECT_FALSE(cell.SetGeometry(static_cast<const double*>(nullptr), angles));
    ExpectParameters(cell, lengths, angles);
    EXPECT_EQ(cell.GetFracToCart(), before);
    EXPECT_FALSE(cell.IsDirty());

    // Accepted sets store all values, recompute the transforms and mark the cell dirty.
    EXPECT_TRUE(cell.SetAngles(60.0, 60.0, 60.0));
    EXPECT_TRUE(cell.IsDirty());
    const double newLengths[3] = {12.0, 13.0, 14.0};
    ASSERT_TRUE(cell.SetLengths(newLengths));
    EXPECT_TRUE(test::Near(VectorsOf(cell).a, Point3d(12, 0, 0)));
    ASSERT_TRUE(cell.SetAngles(90.0, 90.0, 90.0));
    EXPECT_TRUE(cell.SetAlpha(170.0));
    EXPECT_DOUBLE_EQ(cell.GetAlpha(), 170.0);
}

TEST_F(Cell3dTest, TileSettingsAndStickRadius)
{
    Cell3d cell(nullptr);
    EXPECT_FALSE(cell.IsTiled());
    EXPECT_TRUE(cell.SetTileSettings(LatticeOffset(2, 0, 1)));
    EXPECT_TRUE(cell.IsTiled());
    EXPECT_FALSE(cell.SetTileSettings(LatticeOffset(2, -1, 1)));
    EXPECT_TRUE(test::Same(cell.GetTileSettings(), LatticeOffset(2, 0, 1)));

    ASSERT_TRUE(cell.SetLengths(5.0, 8.0, 20.0));
    cell.CalcStickRadius();
    EXPECT_FLOAT_EQ(cell.GetStickRadius(), 0.05f);
}

TEST_F(Cell3dTest, ParameterisedConstructorsAttachOnlyWhenEverythingIsAccepted)
{
    Object parent(nullptr);
    const double angles[3] = {90.0, 100.0, 90.0};
    const double lengths[3] = {5.0, 6.0, 7.0};
    const auto* const bySymbol = new Cell3d(&parent, angles, lengths, "P21/c", "", 1);
    EXPECT_EQ(bySymbol->GetParent(), &parent);
    EXPECT_EQ(bySymbol->GetSymmetry()->GetTableNumber(), 14);
    EXPECT_DOUBLE_EQ(bySymbol->GetBeta(), 100.0);

    const double flat[3] = {120.0, 120.0, 120.0};
    const std::unique_ptr<Cell3d> refused(new Cell3d(&parent, flat, lengths, 14, "", 0));
    EXPECT_EQ(refused->GetParent(), nullptr);
    EXPECT_EQ(refused->GetSymmetry()->GetTableNumber(), 1);

    const std::unique_ptr<Cell3d> unknownGroup(new Cell3d(&parent, angles, lengths, 999, "", 0));
    EXPECT_EQ(unknownGroup->GetParent(), nullptr);

    // A symmetry handed in belongs to the cell, also when the cell refuses its geometry.
    auto* const symmetry = new Symmetry();
    symmetry->LoadSpaceGroup(2, "", 0);
    const std::unique_ptr<Cell3d> owning(new Cell3d(&parent, flat, lengths, symmetry));
    EXPECT_EQ(owning->GetParent(), nullptr);
    EXPECT_EQ(owning->GetSymmetry()->GetTableNumber(), 1);

    const Point3d vectors[3] = {Point3d(5, 0, 0), Point3d(-3, 5.196152, 0), Point3d(0, 0, 7)};
    const auto* const fromVectors = new Cell3d(&parent, vectors, 2, "", 0);
    EXPECT_EQ(fromVectors->GetParent(), &parent);
    EXPECT_NEAR(fromVectors->GetGamma(), 120.0, 1e-4);
    EXPECT_NEAR(fromVectors->GetB(), 6.0, 1e-5);

    const std::unique_ptr<Cell3d> loose(new Cell3d(angles, lengths, "P-1"));
    EXPECT_EQ(loose->GetParent(), nullptr);
    EXPECT_EQ(loose->GetSymmetry()->GetTableNumber(), 2);
}

TEST_F(Cell3dTest, ParametersFromVectorsRefuseAZeroVector)
{
    const Point3d vectors[3] = {Point3d(1, 0, 0), Point3d(0, 0, 0), Point3d(0, 0, 1)};
    double angles[3];
    double lengths[3];
    EXPECT_FALSE(CellUtil::ParametersFromVectors(vectors, angles, lengths));
}

TEST_F(Cell3dTest, ALoadedCellKeepsItsParametersRequestAndSymmetryAndIsClean)
{
    Cell3d cell(nullptr);
    ASSERT_TRUE(cell.GetSymmetry()->LoadSpaceGroup(62, "", 0));
    ASSERT_TRUE(cell.SetGeometry(5.0, 6.0, 7.0, 90.0, 90.0, 120.0));
    ASSERT_TRUE(cell.SetOrientation(CellUtil::OrientationCAlongZ));
    cell.SetBuildInfo(Cell3d::BuildInfo(2, 0.02, true, LatticeOffset(3, 1, 2)));
    cell.SetSpecialPositionTol(0.004);
    cell.SetLabelOffset(Point3d(0.5, 0.25, 0.0));

    for (const RecordStream::Form form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        const std::unique_ptr<Cell3d> loaded = RecordStream::LoadAs<Cell3d>(RecordStream::Save(cell, form), form);
        ASSERT_NE(loaded, nullptr);
        EXPECT_FALSE(loaded->IsDirty());
        const double lengths[3] = {5.0, 6.0, 7.0};
        const double angles[3] = {90.0, 90.0, 120.0};
        ExpectParameters(*loaded, lengths, angles);
        EXPECT_EQ(loaded->GetOrientation(false), CellUtil::OrientationCAlongZ);
        EXPECT_TRUE(test::Near(loaded->GetFracToCart(), cell.GetFracToCart()));
        EXPECT_TRUE(loaded->GetBuildInfo() == cell.GetBuildInfo());
        EXPECT_DOUBLE_EQ(loaded->GetSpecialPositionTol(), 0.004);
        EXPECT_TRUE(test::Near(loaded->GetLabelOffset(), Point3d(0.5, 0.25, 0.0)));
        EXPECT_EQ(loaded->GetSymmetry()->GetTableNumber(), 62);
        EXPECT_EQ(loaded->GetSymmetry()->GetNumSymmetryOps(), cell.GetSymmetry()->GetNumSymmetryOps());
        EXPECT_EQ(loaded->GetSymmetry()->GetCell(), loaded.get());
    }

    Archive archive;
    archive.WriteObject(&cell);
    Archive reading(archive.GetBuffer());
    std::unique_ptr<PersistentObject> read(reading.ReadObject(&Cell3d::GetThisClass()));
    const auto* const again = static_cast<const Cell3d*>(static_cast<Base*>(read.get()));
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(again->IsDirty());
    EXPECT_DOUBLE_EQ(again->GetGamma(), 120.0);
    EXPECT_EQ(again->GetSymmetry()->GetTableNumber(), 62);
    EXPECT_EQ(again->GetSymmetry()->GetCell(), again);
    EXPECT_TRUE(again->GetBuildInfo() == cell.GetBuildInfo());
}

TEST_F(Cell3dTest, LoadedParametersWithoutUsableTransformsFallBackAndATileFromAFileIsCapped)
{
    Cell3d cell(nullptr);
    ASSERT_TRUE(cell.SetGeometry(5.0, 6.0, 7.0, 90.0, 90.0, 90.0));
    cell.SetBuildInfo(Cell3d::BuildInfo(1, 0.05, false, LatticeOffset(2, 2, 2)));
    RecordStream::Bytes bytes = RecordStream::Save(cell, RecordStream::Form::Plain);
    // The plain stream holds each value after its name, the name's array flag and the type code
    // (4 bytes each): make b infinite.
    const std::string name = "Cell3d Length 1";
    const auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
    ASSERT_NE(at, bytes.end());
    const double infinite = std::numeric_limits<double>::infinity();
    const auto* const raw = reinterpret_cast<const std::uint8_t*>(&infinite);
    std::copy(raw, raw + 8, at + static_cast<std::ptrdiff_t>(name.size()) + 8);
    const std::unique_ptr<Cell3d> loaded =
        RecordStream::LoadAs<Cell3d>(bytes, RecordStream::Form::Plain);
    ASSERT_NE(loaded, nullptr);
    EXPECT_DOUBLE_EQ(loaded->GetB(), 10.0);
    EXPECT_TRUE(test::Near(loaded->GetFracToCart(), Matrix3x3(10, 0, 0, 0, 10, 0, 0, 0, 10)));

    Cell3d::BuildInfo info;
    Archive writing;
    writing << std::int32_t{1} << 0.05 << std::int32_t{0} << std::int32_t{32767} << std::int32_t{3000}
            << std::int32_t{-3};
    Archive reading(writing.GetBuffer());
    info.Serialize(reading);
    EXPECT_TRUE(test::Same(info.GetTile(), LatticeOffset(Cell3d::MaxTile, Cell3d::MaxTile, -3)));
}

TEST_F(Cell3dTest, AStoredNameInAnotherLetterCaseIsDropped)
{
    Cell3d cell(nullptr);
    ASSERT_TRUE(cell.SetLengths(5.0, 6.0, 7.0));
    cell.SetSpecialPositionTol(0.02);
    const RecordStream::Bytes bytes = RecordStream::Save(cell, RecordStream::Form::Plain);
    const auto renamed = [&bytes](const std::string& name, const std::string& other) {
        RecordStream::Bytes changed = bytes;
        const auto at = std::search(changed.begin(), changed.end(), name.begin(), name.end());
        EXPECT_NE(at, changed.end()) << name;
        if (at != changed.end())
            std::copy(other.begin(), other.end(), at);
        return RecordStream::LoadAs<Cell3d>(changed, RecordStream::Form::Plain);
    };
    const std::unique_ptr<Cell3d> same = renamed("Cell3d Length 0", "Cell3d Length 0");
    ASSERT_NE(same, nullptr);
    EXPECT_DOUBLE_EQ(same->GetA(), 5.0);
    const std::unique_ptr<Cell3d> lower = renamed("Cell3d Length 0", "cell3d length 0");
    ASSERT_NE(lower, nullptr);
    EXPECT_DOUBLE_EQ(lower->GetA(), 10.0);
    EXPECT_DOUBLE_EQ(lower->GetB(), 6.0);
    const std::unique_ptr<Cell3d> upper = renamed("Special Tol", "SPECIAL TOL");
    ASSERT_NE(upper, nullptr);
    EXPECT_DOUBLE_EQ(upper->GetSpecialPositionTol(), 0.001);
    EXPECT_DOUBLE_EQ(upper->GetA(), 5.0);
}

TEST_F(Cell3dTest, TextPropertiesAreReadOnly)
{
    Cell3d cell(nullptr);
    ASSERT_TRUE(cell.GetSymmetry()->LoadSpaceGroup(14, "", 0));
    EXPECT_EQ(cell.GetPropertyAsString("length a"), "10.0000");
    EXPECT_EQ(cell.GetPropertyAsString("Angle Alpha"), "90.00");
    EXPECT_EQ(cell.GetPropertyAsString("Angle Gamma"), "90.00");
    EXPECT_FALSE(cell.SetPropertyFromString("LENGTH A", "12"));
    EXPECT_DOUBLE_EQ(cell.GetA(), 10.0);
    EXPECT_EQ(cell.GetPropertyAsString("Space Group"), "14   (P21/C B-Unique Choice: 1)");
    ObjectProperty::Array listed;
    cell.GetProperties(listed);
    ASSERT_GE(listed.size(), 7u);
    EXPECT_EQ(listed[listed.size() - 7].GetName(), "Length A");
    EXPECT_EQ(listed.back().GetName(), "Space Group");
}

TEST_F(Cell3dTest, ACopyKeepsParametersAndRequestWithDefaultDisplaySettings)
{
    Cell3d cell(nullptr);
    ASSERT_TRUE(cell.SetGeometry(5.0, 6.0, 7.0, 90.0, 95.0, 90.0));
    cell.GetSymmetry()->LoadSpaceGroup(14, "", 0);
    cell.SetBuildInfo(Cell3d::BuildInfo(2, 0.02, false, LatticeOffset(2, 1, 1)));
    Cell3d::PerDisplay display;
    display.SetTiling(LatticeOffset(3, 3, 3));
    cell.SetPerDisplay(display);
    cell.SetFixFractional(false);
    new Atom3d(&cell, "C");
    const std::unique_ptr<TreeNode> copied(cell.TreeCopy());
    const auto* const copy = DynCast<Cell3d>(copied.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_DOUBLE_EQ(copy->GetBeta(), 95.0);
    EXPECT_TRUE(copy->GetBuildInfo() == cell.GetBuildInfo());
    EXPECT_TRUE(test::Same(copy->GetPerDisplay().GetTiling(), LatticeOffset(1, 1, 1)));
    EXPECT_FALSE(copy->GetFixFractional());
    EXPECT_FALSE(copy->IsDirty());
    EXPECT_EQ(copy->GetSymmetry()->GetTableNumber(), 14);
    EXPECT_NE(copy->GetSymmetry(), cell.GetSymmetry());
    EXPECT_EQ(copy->GetSymmetry()->GetCell(), copy);
    EXPECT_TRUE(test::Near(copy->GetFracToCart(), cell.GetFracToCart()));
}

TEST_F(Cell3dTest, ASymmetryStoredWithoutOperatorsGetsThoseOfItsTableEntry)
{
    Cell3d cell(nullptr);
    ASSERT_TRUE(cell.GetSymmetry()->LoadSpaceGroup(14, "", 0));
    RecordStream::Bytes bytes = RecordStream::Save(cell, RecordStream::Form::Plain);
    // A name no level knows: the operators are dropped by the stream.
    const std::string name = "Symmetry Ops";
    const auto at = std::search(bytes.begin(), bytes.end(), name.begin(), name.end());
    ASSERT_NE(at, bytes.end());
    *(at + static_cast<std::ptrdiff_t>(name.size()) - 1) = 'x';
    const std::unique_ptr<Cell3d> loaded = RecordStream::LoadAs<Cell3d>(bytes, RecordStream::Form::Plain);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetSymmetry()->GetTableNumber(), 14);
    EXPECT_EQ(loaded->GetSymmetry()->GetNumSymmetryOps(), 4);
    EXPECT_EQ(loaded->GetPropertyAsString("Space Group"), "14   (P21/C B-Unique Choice: 1)");
    EXPECT_FALSE(loaded->IsDirty());
}

TEST_F(Cell3dTest, AFrameworkReadLeavesAnAsymmetricUnitStoredAloneToItsNextBuild)
{
    Cell3d cell(nullptr);
    ASSERT_TRUE(cell.GetSymmetry()->LoadSpaceGroup(14, "", 0));
    (new Atom3d(&cell, "C"))->SetXYZ(Point3d(1.0, 2.0, 3.0));
    const auto readBack = [](const Cell3d& written) {
        Archive archive;
        archive.WriteObject(&written);
        Archive reading(archive.GetBuffer());
        return std::unique_ptr<Cell3d>(
            static_cast<Cell3d*>(static_cast<Base*>(reading.ReadObject(&Cell3d::GetThisClass()))));
    };
    const std::unique_ptr<Cell3d> alone = readBack(cell);
    ASSERT_NE(alone, nullptr);
    // The cell's own fields follow its children's records, and are read by the cell's schema.
    EXPECT_EQ(alone->GetSymmetry()->GetTableNumber(), 14);
    EXPECT_TRUE(alone->IsDirty());
    EXPECT_FALSE(alone->HasDescendent(ReplicateAtom::classType));
    ASSERT_TRUE(alone->Build(alone->GetBuildInfo()));
    EXPECT_TRUE(alone->HasDescendent(ReplicateAtom::classType));

    // Stored with its replicas, it comes back clean with the same atoms.
    ASSERT_TRUE(cell.Build(cell.GetBuildInfo()));
    const std::unique_ptr<Cell3d> built = readBack(cell);
    ASSERT_NE(built, nullptr);
    EXPECT_FALSE(built->IsDirty());
    EXPECT_EQ(built->GetNumDescendents(Atom::classType), cell.GetNumDescendents(Atom::classType));

    // Without any asymmetric atom there is nothing to build.
    const std::unique_ptr<Cell3d> empty = readBack(Cell3d(nullptr));
    ASSERT_NE(empty, nullptr);
    EXPECT_FALSE(empty->IsDirty());
}

} // namespace
