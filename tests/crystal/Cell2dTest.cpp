#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <tavrel/core/LatticeOffset.h>
#include <tavrel/crystal/Cell2d.h>
#include <tavrel/crystal/CellUtil.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/ObjectProperty.h>
#include <tavrel/platform/Archive.h>
#include "support/Near.h"
#include "support/RecordStream.h"

using namespace Tavrel;

namespace {

class Cell2dTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    static void ExpectParameters(const Cell2d& cell, double u, double v, double theta)
    {
        EXPECT_DOUBLE_EQ(cell.GetU(), u);
        EXPECT_DOUBLE_EQ(cell.GetV(), v);
        EXPECT_DOUBLE_EQ(cell.GetTheta(), theta);
    }
    // Where a fractional point lies.
    static Point3d Cartesian(const Cell2d& cell, const Point3d& fractional) { return fractional * cell.GetFracToCart(); }
};

TEST_F(Cell2dTest, ANewCellIsATenUnitSquareWithItsTransforms)
{
    const Cell2d cell(nullptr);
    EXPECT_EQ(cell.GetDimensionality(), 2);
    ExpectParameters(cell, 10.0, 10.0, 90.0);
    EXPECT_TRUE(test::Near(Cartesian(cell, Point3d(1, 0, 0)), Point3d(10, 0, 0)));
    EXPECT_TRUE(test::Near(Cartesian(cell, Point3d(0, 1, 0)), Point3d(0, 10, 0)));
    EXPECT_TRUE(test::Near(Point3d(10, 10, 0) * cell.GetCartToFrac(), Point3d(1, 1, 0)));
    EXPECT_EQ(cell.GetOrientation(false), 0);
    EXPECT_EQ(cell.GetOrientation(true), CellUtil::OrientationPlane);
}

TEST_F(Cell2dTest, FractionalXYLieAlongTheTwoEdgesAtAnyAngle)
{
    Cell2d cell(nullptr);
    ASSERT_TRUE(cell.SetGeometry(4.0, 6.0, 60.0));
    const Point3d b(3.0, 5.196152, 0.0);
    EXPECT_TRUE(test::Near(Cartesian(cell, Point3d(1, 0, 0)), Point3d(4, 0, 0)));
    EXPECT_TRUE(test::Near(Cartesian(cell, Point3d(0, 1, 0)), b));
    EXPECT_TRUE(test::Near(Cartesian(cell, Point3d(0.5, 0.5, 0)), Point3d(3.5, 2.598076, 0)));
    // The third axis is the unit normal of the plane.
    EXPECT_NEAR(std::abs(Cartesian(cell, Point3d(0, 0, 1)).z), 1.0, 1e-6);
    // The inverse takes Cartesian points back, and the tests of the cell examine x and y alone.
    EXPECT_TRUE(test::Near(b * cell.GetCartToFrac(), Point3d(0, 1, 0)));
    EXPECT_TRUE(cell.InsideCell(Point3d(0.5, 0.5, 5.0), true, false));
    EXPECT_FALSE(cell.InsideCell(Point3d(0.5, 1.5, 0.0), true, false));
    EXPECT_TRUE(cell.InsideCell(Point3d(3.5, 2.598076, 40.0), false, false));
    EXPECT_EQ(cell.OnCellEdge(Point3d(0.0, 1.0, 1.0), true), 2);

    // Every change of the angle moves the second edge.
    ASSERT_TRUE(cell.SetTheta(120.0));
    EXPECT_TRUE(test::Near(Cartesian(cell, Point3d(0, 1, 0)), Point3d(-3.0, 5.196152, 0)));
    ASSERT_TRUE(cell.SetU(2.0));
    ASSERT_TRUE(cell.SetV(1.0));
    EXPECT_TRUE(test::Near(Cartesian(cell, Point3d(1, 1, 0)), Point3d(1.5, 0.866025, 0)));
    ASSERT_TRUE(cell.SetLengths(8.0, 9.0));
    EXPECT_TRUE(test::Near(Cartesian(cell, Point3d(1, 0, 0)), Point3d(8, 0, 0)));
    EXPECT_FALSE(cell.IsDirty());
}

TEST_F(Cell2dTest, RefusedParametersChangeNothing)
{
    Cell2d cell(nullptr);
    ASSERT_TRUE(cell.SetGeometry(10.0, 12.0, 70.0));
    const Matrix3x3 before = cell.GetFracToCart();
    EXPECT_FALSE(cell.SetTheta(180.0));
    EXPECT_FALSE(cell.SetTheta(0.0));
    EXPECT_FALSE(cell.SetTheta(std::nan("")));
    EXPECT_FALSE(cell.SetGeometry(10.0, 0.0, 60.0));
    EXPECT_FALSE(cell.SetGeometry(11.0, 13.0, 200.0));
    EXPECT_FALSE(cell.SetLengths(5.0, -1.0));
    EXPECT_FALSE(cell.SetU(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(cell.SetV(0.0));
    EXPECT_FALSE(cell.SetGeometry(static_cast<const double*>(nullptr), 60.0));
    ExpectParameters(cell, 10.0, 12.0, 70.0);
    EXPECT_EQ(cell.GetFracToCart(), before);

    EXPECT_TRUE(cell.SetTheta(179.9));
    const float lengths[2] = {3.0f, 4.0f};
    EXPECT_TRUE(cell.SetGeometry(lengths, 45.0f));
    ExpectParameters(cell, 3.0, 4.0, 45.0);

    // Orientations 0 to 13 are kept, all laid out in the plane; the others are refused.
    EXPECT_FALSE(cell.SetOrientation(14));
    EXPECT_FALSE(cell.SetOrientation(-1));
    const Matrix3x3 laid = cell.GetFracToCart();
    EXPECT_TRUE(cell.SetOrientation(7));
    EXPECT_EQ(cell.GetOrientation(true), 7);
    EXPECT_EQ(cell.GetFracToCart(), laid);
}

TEST_F(Cell2dTest, ACellSurvivesBothRecordFormsTheFrameworkArchiveAndACopy)
{
    Cell2d cell(nullptr);
    ASSERT_TRUE(cell.SetGeometry(4.0, 6.0, 60.0));
    cell.SetClip(2.0, 3.0, 1.0);
    cell.SetSpecialPositionTol(0.02);
    for (const RecordStream::Form form : {RecordStream::Form::Plain, RecordStream::Form::Compressed}) {
        const std::unique_ptr<Cell2d> loaded = RecordStream::LoadAs<Cell2d>(RecordStream::Save(cell, form), form);
        ASSERT_NE(loaded, nullptr);
        ExpectParameters(*loaded, 4.0, 6.0, 60.0);
        EXPECT_TRUE(test::Near(loaded->GetFracToCart(), cell.GetFracToCart()));
        EXPECT_DOUBLE_EQ(loaded->GetSpecialPositionTol(), 0.02);
    }

    Archive archive;
    archive.WriteObject(&cell);
    Archive reading(archive.GetBuffer());
    std::unique_ptr<PersistentObject> read(reading.ReadObject(&Cell2d::GetThisClass()));
    const auto* const again = static_cast<const Cell2d*>(static_cast<Base*>(read.get()));
    ASSERT_NE(again, nullptr);
    ExpectParameters(*again, 4.0, 6.0, 60.0);
    EXPECT_TRUE(test::Near(again->GetFracToCart(), cell.GetFracToCart()));

    const std::unique_ptr<TreeNode> copied(cell.TreeCopy());
    const auto* const copy = DynCast<Cell2d>(copied.get());
    ASSERT_NE(copy, nullptr);
    ExpectParameters(*copy, 4.0, 6.0, 60.0);
    EXPECT_TRUE(test::Near(copy->GetFracToCart(), cell.GetFracToCart()));
    EXPECT_DOUBLE_EQ(copy->GetClipY(), 3.0);

    // Another 2-D cell's static data; a cell of another kind gives none.
    Cell2d other(nullptr);
    other.CopyStaticData(cell);
    ExpectParameters(other, 4.0, 6.0, 60.0);
    EXPECT_TRUE(test::Near(other.GetFracToCart(), cell.GetFracToCart()));
    Cell2d untouched(nullptr);
    untouched.CopyStaticData(static_cast<const Cell&>(Cell(nullptr)));
    ExpectParameters(untouched, 10.0, 10.0, 90.0);
}

TEST_F(Cell2dTest, LoadedLengthsWithoutUsableTransformsFallBackToTheDefaults)
{
    Cell2d cell(nullptr);
    ASSERT_TRUE(cell.SetGeometry(4.0, 6.0, 60.0));
    Archive archive;
    archive.WriteObject(&cell);
    std::vector<std::uint8_t> bytes = archive.GetBuffer();
    // U, V and Theta close the record: make V zero.
    const double zero = 0.0;
    std::memcpy(bytes.data() + bytes.size() - 16, &zero, sizeof zero);
    Archive reading(bytes);
    std::unique_ptr<PersistentObject> read(reading.ReadObject(&Cell2d::GetThisClass()));
    const auto* const loaded = static_cast<const Cell2d*>(static_cast<Base*>(read.get()));
    ASSERT_NE(loaded, nullptr);
    ExpectParameters(*loaded, 10.0, 10.0, 90.0);
    EXPECT_TRUE(test::Near(loaded->GetFracToCart(), Matrix3x3(10, 0, 0, 0, 10, 0, 0, 0, -1)));
}

} // namespace
