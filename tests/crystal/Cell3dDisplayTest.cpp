#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <tavrel/core/DisplayList3D.h>
#include <tavrel/core/GraphicsPrimitives.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/document/DataModelLibrary.h>
#include "support/Near.h"

using namespace Tavrel;

namespace {

class Cell3dDisplayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // A monoclinic-looking cell (gamma 120) so that a shift along a is not a shift along X alone.
    Cell3dDisplayTest() { cell.SetGeometry(5.0, 6.0, 7.0, 90.0, 90.0, 120.0); }

    DisplayList3D Draw(int mode)
    {
        DisplayList3D list(mode);
        cell.Display(list);
        return list;
    }
    Point3d A() const { return Vector(0); }
    Point3d B() const { return Vector(1); }
    Point3d C() const { return Vector(2); }
    Point3d Vector(int i) const
    {
        Point3d v[3];
        cell.GetVectors(v[0], v[1], v[2]);
        return v[i];
    }

    Cell3d cell{nullptr};
};

TEST_F(Cell3dDisplayTest, ANewCellDrawsNothingAndAHiddenOrInactiveOneNeither)
{
    EXPECT_TRUE(Draw(DisplayList3D::normalMode).IsEmpty());
    EXPECT_TRUE(Draw(DisplayList3D::fastMode).IsEmpty());

    cell.SetDisplayStyle(1);
    cell.SetInvisible(false);
    EXPECT_TRUE(Draw(DisplayList3D::normalMode).IsEmpty());
    cell.SetVisible(false);
    cell.Deactivate();
    EXPECT_TRUE(Draw(DisplayList3D::normalMode).IsEmpty());
    cell.Activate();
    EXPECT_EQ(Draw(DisplayList3D::normalMode).GetSize(), 12u);

    // Selected, it is drawn in the selection colour even when hidden.
    cell.SetInvisible(false);
    cell.Select(false);
    const DisplayList3D selected = Draw(DisplayList3D::normalMode);
    ASSERT_EQ(selected.GetSize(), 12u);
    EXPECT_EQ(selected.GetAll<LinePrimitive>().front()->GetColor(), Color::Selected());
}

TEST_F(Cell3dDisplayTest, StyleOneDrawsTheTwelveEdgesAsLinesOfTheCellsColour)
{
    cell.SetDisplayStyle(1);
    cell.SetColor(Color::Cyan());
    const DisplayList3D list = Draw(DisplayList3D::normalMode);
    const std::vector<const LinePrimitive*> lines = list.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 12u);
    ASSERT_EQ(list.GetSize(), 12u);
    for (const LinePrimitive* line : lines) {
        EXPECT_EQ(line->GetColor(), Color::Cyan());
        EXPECT_EQ(line->GetToColor(), Color::Cyan());
        EXPECT_EQ(line->GetWidth(), 3.0);
        EXPECT_EQ(line->GetOID(), cell.GetOID());
    }
    // The bottom face round from the origin, the top face, then the four uprights.
    EXPECT_TRUE(test::Near(lines[0]->GetFrom(), Point3d()));
    EXPECT_TRUE(test::Near(lines[1]->GetTo(), A() + B()));
    EXPECT_TRUE(test::Near(lines[5]->GetTo(), A() + B() + C()));
    EXPECT_TRUE(test::Near(lines[11]->GetFrom(), B()));
    EXPECT_TRUE(test::Near(lines[11]->GetTo(), B() + C()));
}

TEST_F(Cell3dDisplayTest, StyleTwoDrawsSticksAndBallsInNormalModeAndLinesInFastMode)
{
    cell.SetDisplayStyle(2);
    cell.CalcStickRadius();
    const DisplayList3D list = Draw(DisplayList3D::normalMode);
    ASSERT_EQ(list.GetAll<CylinderPrimitive>().size(), 12u);
    ASSERT_EQ(list.GetAll<SpherePrimitive>().size(), 8u);
    ASSERT_EQ(list.GetSize(), 20u);
    // Four sticks and four balls per face, then the four uprights.
    const PrimitiveType cylinder = PrimitiveType::Cylinder;
    const PrimitiveType sphere = PrimitiveType::Sphere;
    for (std::size_t i = 0; i < 20; ++i) {
        const bool ball = (i >= 4 && i < 8) || (i >= 12 && i < 16);
        EXPECT_EQ(list.GetPrimitive(i)->GetType(), ball ? sphere : cylinder) << i;
        EXPECT_EQ(list.GetPrimitive(i)->GetOID(), cell.GetOID());
    }
    const auto* const firstBall = PrimitiveCast<SpherePrimitive>(list.GetPrimitive(4));
    EXPECT_NEAR(firstBall->GetRadius(), 0.05, 1e-7);
    EXPECT_TRUE(test::Near(firstBall->GetCentre(), Point3d()));
    const auto* const topBall = PrimitiveCast<SpherePrimitive>(list.GetPrimitive(14));
    EXPECT_TRUE(test::Near(topBall->GetCentre(), A() + B() + C()));
    EXPECT_NEAR(list.GetAll<CylinderPrimitive>().back()->GetRadius(), 0.05, 1e-7);

    const DisplayList3D fast = Draw(DisplayList3D::fastMode);
    EXPECT_EQ(fast.GetAll<LinePrimitive>().size(), 12u);
    EXPECT_EQ(fast.GetSize(), 12u);

    // A style the cell does not know draws lines only in a fast list.
    cell.SetDisplayStyle(5);
    EXPECT_TRUE(Draw(DisplayList3D::normalMode).IsEmpty());
    EXPECT_EQ(Draw(DisplayList3D::fastMode).GetSize(), 12u);
}

TEST_F(Cell3dDisplayTest, TilesRepeatTheBoxAlongTheCellVectorsUpToTheCap)
{
    cell.SetDisplayStyle(1);
    ASSERT_TRUE(cell.SetTileSettings(LatticeOffset(2, 1, 1)));
    DisplayList3D list = Draw(DisplayList3D::normalMode);
    std::vector<const LinePrimitive*> lines = list.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 24u);
    EXPECT_TRUE(test::Near(lines[12]->GetFrom(), A()));
    EXPECT_TRUE(test::Near(lines[12]->GetTo(), A() + A()));

    ASSERT_TRUE(cell.SetTileSettings(LatticeOffset(2, 2, 2)));
    list = Draw(DisplayList3D::fastMode);
    EXPECT_EQ(list.GetSize(), 8u * 12u);
    lines = list.GetAll<LinePrimitive>();
    // Offsets in the order (0,0,1), (0,1,0), (0,1,1), (1,0,0) ...: k innermost.
    EXPECT_TRUE(test::Near(lines[12]->GetFrom(), C()));
    EXPECT_TRUE(test::Near(lines[24]->GetFrom(), B()));
    EXPECT_TRUE(test::Near(lines[48]->GetFrom(), A()));

    // A count of 0 bounds the loops it governs: only the home box.
    ASSERT_TRUE(cell.SetTileSettings(LatticeOffset(2, 0, 1)));
    EXPECT_EQ(Draw(DisplayList3D::normalMode).GetSize(), 12u);

    // A count beyond the cap (as a file may hold) draws MaxTile boxes.
    cell.SetBuildInfo(Cell3d::BuildInfo(1, 0.05, false, LatticeOffset(Cell3d::MaxTile + 40, 1, 1)));
    EXPECT_EQ(Draw(DisplayList3D::normalMode).GetSize(), 12u * Cell3d::MaxTile);
}

TEST_F(Cell3dDisplayTest, AuxDisplayBitZeroAddsTheAxisLabelsBeyondTheVectors)
{
    cell.SetDisplayStyle(1);
    EXPECT_TRUE(Draw(DisplayList3D::normalMode).GetAll<Text3DPrimitive>().empty());
    cell.SetAuxDisplay(1);
    cell.SetLabelOffset(Point3d(0.5, 0.0, -0.5));
    const DisplayList3D list = Draw(DisplayList3D::normalMode);
    const std::vector<const Text3DPrimitive*> labels = list.GetAll<Text3DPrimitive>();
    ASSERT_EQ(labels.size(), 4u);
    EXPECT_EQ(list.GetSize(), 16u);
    const struct {
        const char* text;
        Point3d position;
        Color color;
    } expected[4] = {{"O", Point3d(0.5, 0.0, -0.5), Color::White()},
                     {"A", A() + Point3d(0.6, 0.0, -0.5), Color::Red()},
                     {"B", B() + Point3d(0.5, 0.1, -0.5), Color::Yellow()},
                     {"C", C() + Point3d(0.5, 0.0, -0.4), Color::Green()}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(labels[i]->GetText(), expected[i].text);
        EXPECT_TRUE(test::Near(labels[i]->GetPosition(), expected[i].position)) << expected[i].text;
        EXPECT_EQ(labels[i]->GetColor(), expected[i].color) << expected[i].text;
        EXPECT_EQ(labels[i]->GetOID(), cell.GetOID());
    }
}

} // namespace
