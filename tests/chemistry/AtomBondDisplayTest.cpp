#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/CrystalImageQueries.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/core/DisplayList3D.h>
#include <tavrel/document/DataModelLibrary.h>
#include "support/Near.h"
#include "support/PickOIDs.h"

using namespace Tavrel;
using Tavrel::test::Near;
using Tavrel::test::PickOIDs;

namespace {

const Color Red = Color::Red();
const Color Blue = Color::Blue();

class AtomBondDisplayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    Atom3d* Add(const char* symbol, const Point3d& at, std::int32_t style = Atom::StyleLine)
    {
        auto* const atom = new Atom3d(molecule.get(), symbol);
        atom->SetXYZ(at);
        atom->SetDisplayStyle(style);
        return atom;
    }
    // A six-membered ring of side 1.4 about centre in the xy plane, its bonds of the type and in a
    // ring; the first vertex at angle start degrees. Vertices already present (same position) are reused.
    std::vector<Atom3d*> Ring(const Point3d& centre, double start, Bond::BondType type, std::int32_t style)
    {
        std::vector<Atom3d*> ring;
        for (int i = 0; i < 6; ++i) {
            const double angle = (start + 60.0 * i) * M_PI / 180.0;
            const Point3d at = centre + Point3d(1.4 * std::cos(angle), 1.4 * std::sin(angle), 0);
            Atom3d* found = nullptr;
            for (Atom3d* atom : atoms)
                if (Near(atom->GetXYZ(), at, 1e-3))
                    found = atom;
            if (!found) {
                found = Add("C", at, style);
                atoms.push_back(found);
            }
            ring.push_back(found);
        }
        for (int i = 0; i < 6; ++i) {
            Bond* const bond = ring[i]->MakeBond(ring[(i + 1) % 6], type);
            bond->SetIsInRing(true);
        }
        return ring;
    }

    static DisplayList3D Drawn(Object& object, int mode = DisplayList3D::normalMode)
    {
        DisplayList3D list(mode);
        object.Display(list);
        return list;
    }

    // The primitives of type T the object draws on the normal path, valid until the next call.
    template <class T>
    std::vector<const T*> DrawnAll(Object& object)
    {
        drawn = Drawn(object);
        return drawn.GetAll<T>();
    }

    std::unique_ptr<Molecule> molecule = std::make_unique<Molecule>(nullptr);
    std::vector<Atom3d*> atoms;
    DisplayList3D drawn;
};

Point3d MidOf(const LinePrimitive& line)
{
    return MidPoint(line.GetFrom(), line.GetTo());
}

// ---- Atoms

TEST_F(AtomBondDisplayTest, DisplaySizeAndLabelAnchorFollowTheStyle)
{
    Atom3d* const carbon = Add("C", Point3d(1, 2, 3));
    const float vdw = carbon->GetVDWRadius();
    EXPECT_FLOAT_EQ(carbon->GetDisplaySize(), 0.0f);
    EXPECT_TRUE(Near(carbon->GetAnnotationXYZ(), Point3d(1, 2, 3.1)));
    carbon->SetDisplayStyle(Atom::StyleCPK);
    EXPECT_FLOAT_EQ(carbon->GetDisplaySize(), carbon->GetCPKScale() * vdw);
    carbon->SetDisplayStyle(Atom::StyleScaledBallAndStick);
    EXPECT_FLOAT_EQ(carbon->GetDisplaySize(), carbon->GetBallSize() * vdw * 0.75f);
    EXPECT_TRUE(Near(carbon->GetAnnotationXYZ(), Point3d(1, 2, 3.1 + carbon->GetDisplaySize())));

    // A sphere of that size in the atom's colour, or the selection colour, carrying the atom's OID.
    carbon->SetDisplayStyle(Atom::StyleCPK);
    carbon->SetColor(Red);
    DisplayList3D list = Drawn(*carbon);
    ASSERT_EQ(list.GetSize(), 1u);
    const auto* sphere = list.GetAll<SpherePrimitive>().at(0);
    EXPECT_EQ(sphere->GetCentre(), Point3d(1, 2, 3));
    EXPECT_FLOAT_EQ(static_cast<float>(sphere->GetRadius()), carbon->GetCPKScale() * vdw);
    EXPECT_EQ(sphere->GetColor(), Red);
    EXPECT_EQ(sphere->GetOID(), carbon->GetOID());
    carbon->Select(false);
    list = Drawn(*carbon);
    EXPECT_EQ(list.GetAll<SpherePrimitive>().at(0)->GetColor(), Color::Selected());
    // The fast path draws no sphere: the selection marker with the OID, and the jack of a lone atom.
    list = Drawn(*carbon, DisplayList3D::fastMode);
    ASSERT_EQ(list.GetAll<Rect2DPrimitive>().size(), 1u);
    EXPECT_EQ(list.GetAll<Rect2DPrimitive>()[0]->GetOID(), carbon->GetOID());
    EXPECT_TRUE(list.GetAll<SpherePrimitive>().empty());
    EXPECT_EQ(list.GetAll<DotPrimitive>().size(), 1u);
}

TEST_F(AtomBondDisplayTest, LineAtomsDrawAJackOnlyWithoutVisibleBondsAndAMarkerWhenSelected)
{
    Atom3d* const centre = Add("C", Point3d(0, 0, 0));
    Atom3d* const left = Add("C", Point3d(-1.5, 0, 0));
    Atom3d* const right = Add("C", Point3d(1.5, 0, 0));
    centre->MakeBond(left, Bond::Single);
    centre->MakeBond(right, Bond::Single);
    EXPECT_TRUE(Drawn(*centre).IsEmpty());
    centre->Select(false);
    DisplayList3D list = Drawn(*centre);
    ASSERT_EQ(list.GetSize(), 1u);
    const auto* marker = list.GetAll<Rect2DPrimitive>().at(0);
    EXPECT_EQ(marker->GetColor(), Color::Selected());
    EXPECT_EQ(marker->GetWidth(), 5.0);
    EXPECT_EQ(marker->GetHeight(), 5.0);
    EXPECT_EQ(marker->GetOID(), 0u);
    centre->UnSelect(false);

    // Bonds hidden with their far atoms, or inactive: a jack, on both paths.
    left->SetInvisible(false);
    right->SetInvisible(false);
    for (const int mode : {DisplayList3D::normalMode, DisplayList3D::fastMode}) {
        list = Drawn(*centre, mode);
        EXPECT_EQ(list.GetAll<LinePrimitive>().size(), 3u);
        ASSERT_EQ(list.GetAll<DotPrimitive>().size(), 1u);
        EXPECT_EQ(list.GetAll<DotPrimitive>()[0]->GetOID(), centre->GetOID());
    }
    left->SetVisible(false);
    right->SetVisible(false);
    for (int i = 0; i < centre->GetNumBonds(); ++i)
        centre->GetBond(i)->Deactivate();
    EXPECT_EQ(Drawn(*centre).GetAll<DotPrimitive>().size(), 1u);
    Atom3d* const lone = Add("O", Point3d(5, 5, 5), Atom::StyleLineSingle);
    EXPECT_EQ(Drawn(*lone).GetAll<DotPrimitive>().size(), 1u);
}

TEST_F(AtomBondDisplayTest, PolyhedronAtomsDrawTetrahedraFromFourNeighboursOn)
{
    Atom3d* const metal = Add("Fe", Point3d(0, 0, 0), Atom::StylePolyhedron);
    metal->SetColor(Blue);
    const Point3d corners[] = {Point3d(2, 0, 0), Point3d(-2, 0, 0), Point3d(0, 2, 0),
                               Point3d(0, -2, 0), Point3d(0, 0, 2),  Point3d(0, 0, -2)};
    for (int i = 0; i < 3; ++i)
        metal->MakeBond(Add("O", corners[i]), Bond::Single);
    DisplayList3D list = Drawn(*metal);
    ASSERT_EQ(list.GetSize(), 1u);
    EXPECT_FLOAT_EQ(static_cast<float>(list.GetAll<SpherePrimitive>().at(0)->GetRadius()), metal->GetStickRadius());

    for (int i = 3; i < 6; ++i)
        metal->MakeBond(Add("O", corners[i]), Bond::Single);
    list = Drawn(*metal);
    EXPECT_TRUE(list.GetAll<SpherePrimitive>().empty());
    const auto tetrahedra = list.GetAll<TetrahedronPrimitive>();
    ASSERT_FALSE(tetrahedra.empty());
    double volume = 0.0;
    for (const TetrahedronPrimitive* tetrahedron : tetrahedra) {
        EXPECT_EQ(tetrahedron->GetColor(), Blue);
        EXPECT_EQ(tetrahedron->GetOID(), metal->GetOID());
        volume += std::abs(tetrahedron->GetVolume());
    }
    EXPECT_NEAR(volume, 4.0 * 8.0 / 3.0, 1e-4); // the octahedron with vertices 2 from the centre
}

// ---- Bonds in line styles

TEST_F(AtomBondDisplayTest, ASingleLineChangesColourAtTheMidpointAndCarriesPickIdentifiers)
{
    Atom3d* const a = Add("C", Point3d(0, 0, 0));
    Atom3d* const b = Add("O", Point3d(2, 0, 0));
    a->SetColor(Red);
    b->SetColor(Blue);
    Bond* const bond = a->MakeBond(b, Bond::Single);
    DisplayList3D list = Drawn(*bond);
    const auto lines = list.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]->GetFrom(), Point3d(0, 0, 0));
    EXPECT_EQ(lines[0]->GetTo(), Point3d(1, 0, 0));
    EXPECT_EQ(lines[0]->GetColor(), Red);
    EXPECT_EQ(PickOIDs(*lines[0]), (OIDArray{a->GetOID(), bond->GetOID()}));
    EXPECT_EQ(lines[1]->GetFrom(), Point3d(1, 0, 0));
    EXPECT_EQ(lines[1]->GetTo(), Point3d(2, 0, 0));
    EXPECT_EQ(lines[1]->GetColor(), Blue);
    EXPECT_EQ(PickOIDs(*lines[1]), (OIDArray{bond->GetOID(), b->GetOID()}));
    EXPECT_FALSE(lines[0]->IsDashed());

    // Atom 2 clipped: the atom-1 half and a second half of no length at the midpoint.
    b->SetClipped(true);
    list = Drawn(*bond);
    ASSERT_EQ(list.GetSize(), 2u);
    EXPECT_EQ(list.GetAll<LinePrimitive>()[1]->GetFrom(), Point3d(1, 0, 0));
    EXPECT_EQ(list.GetAll<LinePrimitive>()[1]->GetTo(), Point3d(1, 0, 0));
    // Both clipped: the bond is clipped and draws nothing, not even its marker.
    bond->Select(false);
    a->SetClipped(true);
    EXPECT_TRUE(bond->IsClipped());
    EXPECT_TRUE(Drawn(*bond).IsEmpty());
}

TEST_F(AtomBondDisplayTest, APointIsClippedOnlyByACellAboveTheBond)
{
    Atom3d* const a = Add("C", Point3d(0, 0, 0));
    Bond* const bond = a->MakeBond(Add("C", Point3d(1.5, 0, 0)), Bond::Single);
    EXPECT_FALSE(bond->IsCoordClipped(Point3d(100, 0, 0)));

    // The crystal folder answers for cells: the bond asks the installed answers.
    struct ClipsPositiveX final : CrystalImageQueries {
        bool IsClipped(const Object&, const Point3d& position) const override { return position.x > 0; }
    };
    const ClipsPositiveX clips;
    const CrystalImageQueries* const previous = CrystalImageQueries::Install(&clips);
    EXPECT_TRUE(bond->IsCoordClipped(Point3d(1, 0, 0)));
    EXPECT_FALSE(bond->IsCoordClipped(Point3d(-1, 0, 0)));
    CrystalImageQueries::Install(previous);
}

TEST_F(AtomBondDisplayTest, RingDoubleBondsDrawTheirSecondLineInsideTheRing)
{
    const std::vector<Atom3d*> ring = Ring(Point3d(), 0.0, Bond::Aromatic, Atom::StyleLine);
    Bond* const bond = ring[0]->FindBond(ring[1]);
    DisplayList3D list = Drawn(*bond);
    const auto lines = list.GetAll<LinePrimitive>();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_FALSE(lines[0]->IsDashed());
    EXPECT_FALSE(lines[1]->IsDashed());
    // Same colours: one whole-length dashed line, 0.2 towards the ring's centre.
    EXPECT_TRUE(lines[2]->IsDashed());
    EXPECT_EQ(lines[2]->GetDashes(), 4);
    EXPECT_EQ(lines[2]->GetOID(), 0u);
    const Point3d mid = bond->GetMidPoint();
    const Point3d inward = Point3d() - mid;
    EXPECT_TRUE(Near(MidOf(*lines[2]), mid + inward * (0.2 / inward.Length()), 1e-4));

    // Different colours: two half-length dashes.
    ring[1]->SetColor(Red);
    list = Drawn(*bond);
    const auto halves = list.GetAll<LinePrimitive>();
    ASSERT_EQ(halves.size(), 4u);
    EXPECT_EQ(halves[2]->GetDashes(), 2);
    EXPECT_EQ(halves[3]->GetDashes(), 2);
    EXPECT_EQ(halves[3]->GetColor(), Red);
    EXPECT_TRUE(Near(halves[2]->GetTo(), halves[3]->GetFrom()));

    // A double bond in the ring: the second line solid.
    bond->SetType(Bond::Double);
    EXPECT_FALSE(Drawn(*bond).GetAll<LinePrimitive>().back()->IsDashed());
}

TEST_F(AtomBondDisplayTest, TheBondWhereTwoAromaticRingsMeetHasLinesOnBothSides)
{
    Ring(Point3d(-1.4 * std::sqrt(3.0) / 2, 0, 0), 30.0, Bond::Aromatic, Atom::StyleLine);
    const std::vector<Atom3d*> second = Ring(Point3d(1.4 * std::sqrt(3.0) / 2, 0, 0), 150.0, Bond::Aromatic,
                                             Atom::StyleLine);
    EXPECT_EQ(atoms.size(), 10u);
    Bond* const shared = second[0]->FindBond(second[1]);
    ASSERT_NE(shared, nullptr);
    const auto lines = DrawnAll<LinePrimitive>(*shared);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(Near(MidOf(*lines[2]), -MidOf(*lines[3]), 1e-4));
    EXPECT_NEAR(std::abs(MidOf(*lines[2]).x), 0.2, 1e-4);
}

TEST_F(AtomBondDisplayTest, ChainDoubleBondsAndOtherTypesInLineStyles)
{
    Atom3d* const a = Add("C", Point3d(0, 0, 0));
    Atom3d* const b = Add("C", Point3d(1.3, 0, 0));
    a->MakeBond(Add("C", Point3d(-1, 1, 0)), Bond::Single);
    Bond* const bond = a->MakeBond(b, Bond::Double);
    auto lines = DrawnAll<LinePrimitive>(*bond);
    ASSERT_EQ(lines.size(), 4u);
    for (const LinePrimitive* line : lines) {
        EXPECT_FALSE(line->IsDashed());
        EXPECT_NEAR(std::abs(line->GetFrom().y), 0.1, 1e-6);
    }
    EXPECT_NEAR(lines[0]->GetFrom().y, -lines[2]->GetFrom().y, 1e-6);
    bond->SetType(Bond::PartialDouble);
    lines = DrawnAll<LinePrimitive>(*bond);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[2]->IsDashed());
    bond->SetType(Bond::Triple);
    EXPECT_EQ(Drawn(*bond).GetAll<LinePrimitive>().size(), 6u);

    // Quadruple, pi, ionic and dative show only the marker of a selected bond; the single styles
    // draw one line.
    for (const Bond::BondType type : {Bond::Quadruple, Bond::Pi, Bond::Ionic, Bond::Dative}) {
        bond->SetType(type);
        EXPECT_TRUE(Drawn(*bond).IsEmpty());
    }
    bond->Select(false);
    DisplayList3D list = Drawn(*bond);
    ASSERT_EQ(list.GetSize(), 1u);
    EXPECT_EQ(list.GetAll<Rect2DPrimitive>().at(0)->GetPosition(), bond->GetMidPoint());
    a->SetDisplayStyle(Atom::StyleLineSingle);
    EXPECT_EQ(Drawn(*bond).GetAll<LinePrimitive>().size(), 2u);
    a->SetDisplayStyle(Atom::StyleCPK);
    b->SetDisplayStyle(Atom::StyleCPK);
    EXPECT_EQ(Drawn(*bond).GetAll<LinePrimitive>().size(), 2u);
    // The fast path: one two-coloured line whatever the type and style.
    bond->SetType(Bond::Triple);
    a->SetDisplayStyle(Atom::StyleStick);
    b->SetDisplayStyle(Atom::StyleStick);
    EXPECT_EQ(Drawn(*bond, DisplayList3D::fastMode).GetAll<LinePrimitive>().size(), 2u);
}

TEST_F(AtomBondDisplayTest, ADiatomicDoubleBondStillGetsAPerpendicularOffset)
{
    Atom3d* const a = Add("O", Point3d(0, 0, 0));
    Atom3d* const b = Add("O", Point3d(0, 0, 1.2));
    Bond* const bond = a->MakeBond(b, Bond::Double);
    const auto lines = DrawnAll<LinePrimitive>(*bond);
    ASSERT_EQ(lines.size(), 4u);
    const Point3d shift = lines[0]->GetFrom() - a->GetXYZ();
    EXPECT_NEAR(shift.Length(), 0.1, 1e-6);
    EXPECT_NEAR(shift.z, 0.0, 1e-6);
}

// ---- Bonds in stick styles

TEST_F(AtomBondDisplayTest, SticksScaleAndSplitByTypeAndShowSelection)
{
    Atom3d* const a = Add("C", Point3d(0, 0, 0), Atom::StyleScaledBallAndStick);
    Atom3d* const b = Add("N", Point3d(1.5, 0, 0), Atom::StyleScaledBallAndStick);
    a->MakeBond(Add("C", Point3d(-1, 1, 0), Atom::StyleScaledBallAndStick), Bond::Single);
    a->SetColor(Red);
    b->SetColor(Blue);
    const double stick = a->GetStickRadius();
    Bond* const bond = a->MakeBond(b, Bond::Single);
    auto cylinders = DrawnAll<CylinderPrimitive>(*bond);
    ASSERT_EQ(cylinders.size(), 1u);
    EXPECT_NEAR(cylinders[0]->GetRadius(), 0.6 * stick, 1e-6);
    EXPECT_EQ(cylinders[0]->GetFromColor(), Red);
    EXPECT_EQ(cylinders[0]->GetToColor(), Blue);
    EXPECT_EQ(PickOIDs(*cylinders[0]), (OIDArray{bond->GetOID(), a->GetOID(), b->GetOID()}));

    bond->SetType(Bond::Double);
    cylinders = DrawnAll<CylinderPrimitive>(*bond);
    ASSERT_EQ(cylinders.size(), 2u);
    for (const CylinderPrimitive* cylinder : cylinders) {
        EXPECT_NEAR(cylinder->GetRadius(), 0.24 * stick, 1e-6);
        EXPECT_NEAR(std::abs(cylinder->GetFrom().y), 0.3 * stick, 1e-6);
    }
    bond->SetType(Bond::Triple);
    a->SetDisplayStyle(Atom::StyleStick);
    b->SetDisplayStyle(Atom::StyleBallAndStick);
    cylinders = DrawnAll<CylinderPrimitive>(*bond);
    ASSERT_EQ(cylinders.size(), 3u);
    EXPECT_NEAR(cylinders[0]->GetFrom().y, 0.0, 1e-6);
    EXPECT_NEAR(std::abs(cylinders[1]->GetFrom().y), 0.6 * stick, 1e-6);
    EXPECT_NEAR(cylinders[2]->GetRadius(), 0.3 * stick, 1e-6);
    a->SetDisplayStyle(Atom::StyleBallAndStickSingle);
    b->SetDisplayStyle(Atom::StyleStickSingle);
    EXPECT_EQ(Drawn(*bond).GetAll<CylinderPrimitive>().size(), 1u);

    // A selected atom colours its own half; a selected bond both.
    a->Select(false);
    cylinders = DrawnAll<CylinderPrimitive>(*bond);
    EXPECT_EQ(cylinders[0]->GetFromColor(), Color::Selected());
    EXPECT_EQ(cylinders[0]->GetToColor(), Blue);
    a->UnSelect(false);
    bond->Select(false);
    cylinders = DrawnAll<CylinderPrimitive>(*bond);
    EXPECT_EQ(cylinders[0]->GetToColor(), Color::Selected());
}

TEST_F(AtomBondDisplayTest, AromaticSticksAddTwoShortDashesInsideTheRing)
{
    const std::vector<Atom3d*> ring = Ring(Point3d(), 0.0, Bond::Aromatic, Atom::StyleStick);
    ring[1]->SetColor(Red);
    Bond* const bond = ring[0]->FindBond(ring[1]);
    const double r = ring[0]->GetStickRadius();
    const auto cylinders = DrawnAll<CylinderPrimitive>(*bond);
    ASSERT_EQ(cylinders.size(), 3u);
    EXPECT_NEAR(cylinders[0]->GetRadius(), r, 1e-6);
    const Point3d q1 = ring[0]->GetXYZ();
    const Point3d along = ring[1]->GetXYZ() - q1;
    const Point3d mid = bond->GetMidPoint();
    const Point3d inward = (Point3d() - mid) * (1.8 * r / (Point3d() - mid).Length());
    EXPECT_TRUE(Near(cylinders[1]->GetFrom(), q1 + along * 0.25 + inward, 1e-5));
    EXPECT_TRUE(Near(cylinders[1]->GetTo(), q1 + along * 0.4 + inward, 1e-5));
    EXPECT_TRUE(Near(cylinders[2]->GetTo(), q1 + along * 0.75 + inward, 1e-5));
    EXPECT_NEAR(cylinders[1]->GetRadius(), 0.2 * r, 1e-6);
    EXPECT_EQ(cylinders[1]->GetFromColor(), ring[0]->GetColor());
    EXPECT_EQ(cylinders[1]->GetToColor(), ring[0]->GetColor());
    EXPECT_EQ(cylinders[2]->GetFromColor(), Red);
    EXPECT_EQ(PickOIDs(*cylinders[2]), (OIDArray{bond->GetOID()}));
}

TEST_F(AtomBondDisplayTest, AMoleculeDrawsEveryAtomAndBondOnce)
{
    // Ethane in ball and stick: eight spheres and seven cylinders; in line style only lines.
    Atom3d* const c1 = Add("C", Point3d(0, 0, 0), Atom::StyleBallAndStick);
    Atom3d* const c2 = Add("C", Point3d(1.54, 0, 0), Atom::StyleBallAndStick);
    c1->MakeBond(c2, Bond::Single);
    c1->UpdateHydrogens(Atom::AllHydrogens, true);
    c2->UpdateHydrogens(Atom::AllHydrogens, true);
    DisplayList3D list;
    molecule->DisplayAll(list, false);
    EXPECT_EQ(list.GetAll<SpherePrimitive>().size(), 8u);
    EXPECT_EQ(list.GetAll<CylinderPrimitive>().size(), 7u);
    molecule->SetDisplayStyle(Atom::StyleLine, Atom::classType, true, false);
    list.Clear();
    molecule->DisplayAll(list, false);
    EXPECT_EQ(list.GetSize(), 14u);
    EXPECT_EQ(list.GetAll<LinePrimitive>().size(), 14u);
}

} // namespace
