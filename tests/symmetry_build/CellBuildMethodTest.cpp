#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Molecule.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellBuildMethodCommonParameters.h>
#include <tavrel/crystal/CellBuildMethodDefaultParameters.h>
#include <tavrel/crystal/CellBuildMethodOneCellParameters.h>
#include <tavrel/crystal/CellBuildMethodOriginalParameters.h>
#include <tavrel/crystal/CellBuildMethodZoneParameters.h>
#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/crystal/CellSymmetryServices.h>
#include <tavrel/crystal/Symmetry.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/symmetry_build/AsymmetricUnit.h>
#include <tavrel/symmetry_build/BuildResults.h>
#include <tavrel/symmetry_build/CellBuildMethodDefault.h>
#include <tavrel/symmetry_build/CellBuildMethodFactory.h>
#include <tavrel/symmetry_build/CellBuildMethodOneCell.h>
#include <tavrel/symmetry_build/CellBuildMethodOriginal.h>
#include <tavrel/symmetry_build/CellBuildMethodZone.h>
#include <tavrel/symmetry_build/HierarchyDataErrorList.h>
#include <tavrel/symmetry_build/SymmetryMap.h>

using namespace Tavrel;

namespace {

class CellBuildMethodTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    // A 10 A cubic P2_1 cell ((x, y, z), (-x, y + 1/2, -z)) holding one carbon in a molecule.
    void SetUp() override
    {
        cell = std::make_unique<Cell3d>(nullptr);
        ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(4, "", 0));
        auto* const molecule = new Molecule(cell.get());
        carbon = new Atom3d(molecule, "C");
        carbon->SetXYZ(Point3d(0.1f, 0.2f, 0.3f) * cell->GetFracToCart());
    }

    std::int32_t CountAtoms() const
    {
        std::int32_t count = 0;
        DescendentIterator walk(cell.get(), Atom::classType, false);
        while (walk.GetNext())
            ++count;
        return count;
    }

    // The keys a method chooses for the carbon.
    SymmetryImageKey::Array KeysOf(CellBuildMethod& method) { return AllKeysOf(method).at(0); }

    // The keys a method chooses for each atom of the asymmetric unit.
    std::vector<SymmetryImageKey::Array> AllKeysOf(CellBuildMethod& method)
    {
        cell->EnableSymmetryMap(true);
        cell->CreateSymmetryMap(false);
        auto* const map = dynamic_cast<SymmetryMap*>(cell->GetSymmetryMap());
        EXPECT_NE(map, nullptr);
        if (!map)
            return {};
        const std::unique_ptr<AsymmetricUnit> unit = method.CreateAsymmetricUnit();
        map->GetAsymmetricUnit(*unit);
        const std::unique_ptr<BuildResults> results = method.Run(*unit);
        EXPECT_NE(results, nullptr);
        if (!results)
            return {};
        IntArray oids;
        std::vector<SymmetryImageKey::Array> keys;
        results->GetAll(oids, keys);
        EXPECT_EQ(oids.at(0), static_cast<std::int32_t>(carbon->GetOID()));
        return keys;
    }

    static std::string MethodName(const CellBuilder& builder)
    {
        return builder.CloneParameters()->GetMethodName();
    }

    std::unique_ptr<Cell3d> cell;
    Atom3d* carbon = nullptr;
};

TEST_F(CellBuildMethodTest, EveryNameAndAliasSelectsItsMethodInAnyLetterCase)
{
    const std::pair<const char*, const char*> names[] = {
        {"Asymmetric", "Asymmetric"}, {"asymmetricunit", "Asymmetric"}, {"ASYMMETRIC UNIT", "Asymmetric"},
        {"Positions", "Asymmetric"},  {"OneCell", "OneCell"},           {"one cell", "OneCell"},
        {"ORIGINAL", "Original"},     {"Zone", "Zone"},                {"ZONE DISPLAY", "Zone"},
        {"zonedisplay", "Zone"},      {"default", "Default"},
    };
    for (const auto& [name, method] : names) {
        const std::unique_ptr<CellBuilder> builder = cell->GetCellBuilder(name);
        ASSERT_NE(builder, nullptr) << name;
        EXPECT_EQ(MethodName(*builder), method) << name;
        EXPECT_EQ(builder->GetCell(), cell.get());
        EXPECT_EQ(builder->GetErrorMessage(), "");
    }
    EXPECT_EQ(cell->GetCellBuilder(""), nullptr);
    EXPECT_EQ(cell->GetCellBuilder("OneCel"), nullptr);
    EXPECT_EQ(cell->GetCellBuilder("One  Cell"), nullptr);
    EXPECT_EQ(GetCellBuildMethodFactory().CreateCellBuildMethod(nullptr, "OneCell", nullptr), nullptr);
}

TEST_F(CellBuildMethodTest, ParametersAreTakenOnlyFromTheMethodsOwnNameAndClass)
{
    const CellBuildMethodOneCellParameters wide(0, 0, 0, 2, 1, 1, 0.01, true);
    const std::unique_ptr<CellBuilder> builder =
        GetCellBuildMethodFactory().CreateCellBuildMethod(cell.get(), "One Cell", &wide);
    ASSERT_NE(builder, nullptr);
    auto clone = builder->CloneParameters();
    auto* const own = dynamic_cast<CellBuildMethodOneCellParameters*>(clone.get());
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->maxA, 2);
    EXPECT_TRUE(own->GetComputeBonds());
    EXPECT_DOUBLE_EQ(own->tolerance, 0.01);

    // Another method's parameters, and a structure of another class under this method's name, are
    // ignored: the latter would otherwise be read as the wrong class.
    builder->SetParameters(CellBuildMethodZoneParameters(3.0, {Point3d(1, 2, 3)}, 0.5, false));
    builder->SetParameters(CellBuildMethodDefaultParameters());
    builder->SetParameters(CellBuildMethodCommonParameters(CellBuildMethodOneCellParameters::methodName, 0, 0, 0, 5,
                                                           5, 5, 0.1, false));
    clone = builder->CloneParameters();
    EXPECT_EQ(dynamic_cast<CellBuildMethodOneCellParameters&>(*clone).maxA, 2);
    EXPECT_TRUE(clone->GetComputeBonds());

    // A parameters object copied from the method's own keeps the name's identity.
    const CellBuildMethodOneCellParameters copy = dynamic_cast<CellBuildMethodOneCellParameters&>(*clone);
    EXPECT_EQ(copy.GetMethodName(), CellBuildMethodOneCellParameters::methodName);
}

TEST_F(CellBuildMethodTest, ZoneParametersCopyEveryValueAndTheirPoints)
{
    CellBuildMethodZoneParameters zone(4.5, {Point3d(1, 2, 3), Point3d(4, 5, 6)}, 0.2, true);
    zone.connectivity = true;
    const CellBuildMethodZoneParameters copy(zone);
    CellBuildMethodZoneParameters assigned;
    EXPECT_DOUBLE_EQ(assigned.radius, 10.0);
    EXPECT_TRUE(assigned.points.empty());
    assigned = zone;
    for (const CellBuildMethodZoneParameters* p : {&copy, static_cast<const CellBuildMethodZoneParameters*>(&assigned)}) {
        EXPECT_EQ(p->GetMethodName(), CellBuildMethodZoneParameters::methodName);
        EXPECT_DOUBLE_EQ(p->radius, 4.5);
        EXPECT_EQ(p->points.size(), 2u);
        EXPECT_FLOAT_EQ(p->points[1].z, 6.0f);
        EXPECT_DOUBLE_EQ(p->tolerance, 0.2);
        EXPECT_TRUE(p->GetComputeBonds());
        EXPECT_TRUE(p->connectivity);
    }
    EXPECT_TRUE(CellBuildMethodDefaultParameters().connectedComponents);
    EXPECT_FALSE(CellBuildMethodParameters("X").GetComputeBonds());
}

TEST_F(CellBuildMethodTest, OneCellPutsEachImageInTheUnitCellAndOriginalWhereItsOperationDoes)
{
    CellBuildMethodOneCell oneCell(cell.get());
    // (-0.1, 0.7, -0.3) lies one cell below along a and c.
    EXPECT_EQ(KeysOf(oneCell), (SymmetryImageKey::Array{{0, 0, 0, 0}, {1, 1, 0, 1}}));
    CellBuildMethodOriginal original(cell.get());
    EXPECT_EQ(KeysOf(original), (SymmetryImageKey::Array{{0, 0, 0, 0}, {1, 0, 0, 0}}));
    original.SetParameters(CellBuildMethodOriginalParameters(0, -1, 0, 1, 1, 2, 0.001, false));
    EXPECT_EQ(KeysOf(original), (SymmetryImageKey::Array{{0, 0, -1, 0}, {0, 0, -1, 1}, {0, 0, 0, 0}, {0, 0, 0, 1},
                                                         {1, 0, -1, 0}, {1, 0, -1, 1}, {1, 0, 0, 0}, {1, 0, 0, 1}}));
}

TEST_F(CellBuildMethodTest, AnAtomOnASpecialPositionGetsOneImagePerClassOfOperations)
{
    // P2 ((x, y, z), (-x, y, -z)): the carbon on the 2-fold axis is its own image.
    cell = std::make_unique<Cell3d>(nullptr);
    ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(3, "", 0));
    carbon = new Atom3d(new Molecule(cell.get()), "C");
    carbon->SetXYZ(Point3d(0.0f, 0.3f, 0.0f) * cell->GetFracToCart());
    CellBuildMethodOneCell oneCell(cell.get());
    EXPECT_EQ(KeysOf(oneCell), (SymmetryImageKey::Array{{0, 0, 0, 0}}));
    ASSERT_TRUE(oneCell.Build());
    EXPECT_EQ(CountAtoms(), 1);
}

TEST_F(CellBuildMethodTest, ABuildShowsTheImagesAndLeavesAnEmptyMessage)
{
    const std::unique_ptr<CellBuilder> builder = cell->GetCellBuilder("OneCell");
    ASSERT_NE(builder, nullptr);
    // Zone parameters are ignored: the method builds its one cell.
    builder->SetParameters(CellBuildMethodZoneParameters(30.0, {Point3d(0, 0, 0)}, 0.001, false));
    ASSERT_TRUE(builder->Build()) << builder->GetErrorMessage();
    EXPECT_EQ(builder->GetErrorMessage(), "");
    EXPECT_EQ(CountAtoms(), 2);
    EXPECT_TRUE(cell->IsSymmetryMapEnabled());

    // Building again with the asymmetric unit alone takes the image away.
    const std::unique_ptr<CellBuilder> asymmetric = cell->GetCellBuilder("Asymmetric Unit");
    ASSERT_TRUE(asymmetric->Build()) << asymmetric->GetErrorMessage();
    EXPECT_EQ(CountAtoms(), 1);
}

TEST_F(CellBuildMethodTest, AnOversizedRangeIsRefusedBeforeAnyImageIsMade)
{
    const std::unique_ptr<CellBuilder> builder = cell->GetCellBuilder("OneCell");
    builder->SetParameters(CellBuildMethodOneCellParameters(-2000000000, -2000000000, -2000000000, 2000000000,
                                                            2000000000, 2000000000, 0.001, false));
    EXPECT_FALSE(builder->Build());
    EXPECT_EQ(builder->GetErrorMessage(), "Could not obtain build results");
    EXPECT_EQ(CountAtoms(), 1);

    builder->SetParameters(CellBuildMethodOneCellParameters(0, 0, 0, 1, 0, 1, 0.001, false));
    EXPECT_FALSE(builder->Build());
    EXPECT_EQ(builder->GetErrorMessage(), "Could not obtain build results");

    // The message is cleared by the next build.
    builder->SetParameters(CellBuildMethodOneCellParameters());
    EXPECT_TRUE(builder->Build());
    EXPECT_EQ(builder->GetErrorMessage(), "");
}

TEST_F(CellBuildMethodTest, OriginalAndDefaultRefuseAnOversizedRangeAsOneCellDoes)
{
    const std::unique_ptr<CellBuilder> original = cell->GetCellBuilder("Original");
    original->SetParameters(CellBuildMethodOriginalParameters(-2000000000, -2000000000, -2000000000, 2000000000,
                                                              2000000000, 2000000000, 0.001, false));
    EXPECT_FALSE(original->Build());
    EXPECT_EQ(original->GetErrorMessage(), "Could not obtain build results");

    for (const bool connected : {true, false}) {
        CellBuildMethodDefaultParameters parameters(-2000000000, -2000000000, -2000000000, 2000000000, 2000000000,
                                                    2000000000, 0.001, false);
        parameters.connectedComponents = connected;
        const std::unique_ptr<CellBuilder> fallback = cell->GetCellBuilder("Default");
        fallback->SetParameters(parameters);
        EXPECT_FALSE(fallback->Build());
        EXPECT_EQ(fallback->GetErrorMessage(), "Could not obtain build results");
    }
    EXPECT_EQ(CountAtoms(), 1);
}

TEST_F(CellBuildMethodTest, AMapWhoseBuildFailedGivesNoAsymmetricUnit)
{
    carbon->SetXYZ(Point3d(std::nanf(""), 0.0f, 0.0f));
    const std::unique_ptr<CellBuilder> builder = cell->GetCellBuilder("OneCell");
    EXPECT_FALSE(builder->Build());
    EXPECT_EQ(builder->GetErrorMessage(), "Could not obtain asymmetric unit");

    // The failed build left no operation to copy and no atom list to show images of.
    auto* const map = dynamic_cast<SymmetryMap*>(cell->GetSymmetryMap());
    ASSERT_NE(map, nullptr);
    AsymmetricUnit unit;
    map->GetAsymmetricUnit(unit);
    EXPECT_EQ(unit.GetAtomCount(), 0);
    EXPECT_FALSE(unit.IsValid());
    EXPECT_FALSE(map->DisplayBuildResults(BuildResults(0)));
    EXPECT_FALSE(map->DisplayBuildResults(BuildResults(1)));
    EXPECT_TRUE(HierarchyDataErrorList::HasError("GetAtomInformation"));

    // Once the cause is gone the next build works, with no other edit.
    carbon->SetXYZ(Point3d(0.1f, 0.2f, 0.3f) * cell->GetFracToCart());
    EXPECT_TRUE(builder->Build()) << builder->GetErrorMessage();
    EXPECT_EQ(CountAtoms(), 2);
}

TEST_F(CellBuildMethodTest, AMethodWhoseCellIsGoneOrHasNoMapReportsIt)
{
    const std::unique_ptr<CellBuilder> builder = cell->GetCellBuilder("Original");
    ASSERT_NE(builder, nullptr);

    // Without a library that makes maps, none is made.
    const CellSymmetryServices* const installed = CellSymmetryServices::Install(nullptr);
    EXPECT_FALSE(builder->Build());
    EXPECT_EQ(builder->GetErrorMessage(), "SymmetryMap is unavailable");
    CellSymmetryServices::Install(installed);

    cell.reset();
    EXPECT_EQ(builder->GetCell(), nullptr);
    EXPECT_FALSE(builder->Build());
    EXPECT_EQ(builder->GetErrorMessage(), "No Cell3d object attached to build method");
}

TEST_F(CellBuildMethodTest, AZoneKeepsTheCellsWithinItsRadiusOfAZonePoint)
{
    // P1, the zone point on the atom: the cell itself, then its 6 face neighbours at 10 A, then the
    // 12 edge neighbours at 14.14 A.
    cell = std::make_unique<Cell3d>(nullptr);
    ASSERT_TRUE(cell->GetSymmetry()->LoadSpaceGroup(1, "", 0));
    carbon = new Atom3d(new Molecule(cell.get()), "C");
    const Point3d position = Point3d(0.13f, 0.27f, 0.61f) * cell->GetFracToCart();
    carbon->SetXYZ(position);
    CellBuildMethodZone zone(cell.get());
    for (const auto& [radius, count] : {std::pair{0.0, 1u}, std::pair{10.0, 7u}, std::pair{14.15, 19u}}) {
        zone.SetParameters(CellBuildMethodZoneParameters(radius, {position}, 0.001, false));
        const SymmetryImageKey::Array keys = KeysOf(zone);
        EXPECT_EQ(keys.size(), count) << radius;
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    }
    // A second zone point adds only the cells not yet found.
    zone.SetParameters(
        CellBuildMethodZoneParameters(0.0, {position, position + Point3d(10, 0, 0), position}, 0.001, false));
    EXPECT_EQ(KeysOf(zone), (SymmetryImageKey::Array{{0, 0, 0, 0}, {0, 1, 0, 0}}));

    // A negative or non-finite radius, no point, and a radius asking for too many cells are refused.
    for (const double radius : {-1.0, std::nan(""), 1.0e6}) {
        zone.SetParameters(CellBuildMethodZoneParameters(radius, {position}, 0.001, false));
        EXPECT_FALSE(zone.Build()) << radius;
        EXPECT_EQ(zone.GetErrorMessage(), "Could not obtain build results");
    }
    zone.SetParameters(CellBuildMethodZoneParameters());
    EXPECT_FALSE(zone.Build());
    EXPECT_EQ(CountAtoms(), 1);

    // Built, the radius-10 zone shows the atom and its six neighbours.
    zone.SetParameters(CellBuildMethodZoneParameters(10.0, {position}, 0.001, false));
    ASSERT_TRUE(zone.Build()) << zone.GetErrorMessage();
    EXPECT_EQ(CountAtoms(), 7);
}

TEST_F(CellBuildMethodTest, DefaultMovesFragmentsOrTheWholeUnitIntoTheCell)
{
    // A second molecule whose atom lies outside the cell: its image (0.3, 0.7, -0.3) needs no shift
    // along a, the carbon's (-0.1, 0.7, -0.3) one cell.
    auto* const other = new Atom3d(new Molecule(cell.get()), "O");
    other->SetXYZ(Point3d(-0.3f, 0.2f, 0.3f) * cell->GetFracToCart());
    CellBuildMethodDefault method(cell.get());
    EXPECT_EQ(AllKeysOf(method), (std::vector<SymmetryImageKey::Array>{{{0, 0, 0, 0}, {1, 1, 0, 1}},
                                                                       {{0, 0, 0, 0}, {1, 0, 0, 1}}}));
    CellBuildMethodDefaultParameters blocks;
    blocks.connectedComponents = false;
    method.SetParameters(blocks);
    // Each operation's images move together by their centroid: (-0.1, 0.2, 0.3) for the identity,
    // (0.1, 0.7, -0.3) for the screw axis.
    EXPECT_EQ(AllKeysOf(method), (std::vector<SymmetryImageKey::Array>{{{0, 1, 0, 0}, {1, 0, 0, 1}},
                                                                       {{0, 1, 0, 0}, {1, 0, 0, 1}}}));
    ASSERT_TRUE(method.Build()) << method.GetErrorMessage();
    EXPECT_EQ(CountAtoms(), 6);

    // Without the component graph the connected mode has nothing to place, and says so.
    method.SetParameters(CellBuildMethodDefaultParameters());
    AsymmetricUnit plain;
    dynamic_cast<SymmetryMap&>(*cell->GetSymmetryMap()).GetAsymmetricUnit(plain);
    EXPECT_EQ(method.Run(plain), nullptr);
    EXPECT_EQ(method.GetErrorMessage(), "Connected components are not available");
    EXPECT_TRUE(method.Build());
    EXPECT_EQ(method.GetErrorMessage(), "");
}

TEST_F(CellBuildMethodTest, AnEmptyCellHasNoAsymmetricUnitToBuildFrom)
{
    auto empty = std::make_unique<Cell3d>(nullptr);
    ASSERT_TRUE(empty->GetSymmetry()->LoadSpaceGroup(4, "", 0));
    const std::unique_ptr<CellBuilder> builder = empty->GetCellBuilder("onecell");
    EXPECT_FALSE(builder->Build());
    EXPECT_EQ(builder->GetErrorMessage(), "Could not obtain asymmetric unit");
    EXPECT_TRUE(empty->IsSymmetryMapEnabled());
}

} // namespace
