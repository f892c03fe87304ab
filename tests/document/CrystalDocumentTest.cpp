#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/crystal/ReplicateAtom.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellBuildMethodOneCellParameters.h>
#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/TreeRoot.h>
#include "support/Crystals.h"
#include "support/DocumentFile.h"
#include "support/TreeDescription.h"

using namespace Tavrel;

namespace {

class CrystalDocumentTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { AttachDataModelDLL(); }

    static void BuildOneCell(Cell3d& cell, bool computeBonds)
    {
        const std::unique_ptr<CellBuilder> builder = cell.GetCellBuilder("OneCell");
        builder->SetParameters(CellBuildMethodOneCellParameters(0, 0, 0, 1, 1, 1, 0.001, computeBonds));
        ASSERT_TRUE(builder->Build()) << builder->GetErrorMessage();
    }

    // What the text interface shows of the tree, user properties included, then each atom's bonded
    // partners by their place in a walk of the tree.
    static std::vector<std::string> Describe(ChemDoc& document)
    {
        std::vector<std::string> fields = DescribeTree(*document.GetTreeRoot(), true);
        std::unordered_map<const Object*, std::size_t> place;
        std::vector<const Atom*> atoms;
        DescendentIterator walk(document.GetTreeRoot(), Atom::classType, false);
        while (const Object* const object = walk.GetNext()) {
            place[object] = atoms.size();
            atoms.push_back(static_cast<const Atom*>(object));
        }
        for (const Atom* const atom : atoms) {
            std::string partners;
            for (int k = 0; k < atom->GetNumAttached(); ++k) {
                const auto found = place.find(DynCast<Object>(atom->GetAttached(k)));
                partners += found == place.end() ? "? " : std::to_string(found->second) + " ";
            }
            fields.push_back(partners);
        }
        return fields;
    }

    static std::vector<std::string> SaveAndLoad(ChemDoc& from, ChemDoc& into)
    {
        DocumentFile::Load(into, DocumentFile::Save(from));
        return Describe(into);
    }

    // Each atom's "_RMI" (-1 for none) by its fractional position to a thousandth.
    static std::map<std::tuple<long, long, long>, std::int32_t> ImageNumbers(Cell3d& cell)
    {
        std::map<std::tuple<long, long, long>, std::int32_t> numbers;
        DescendentIterator walk(&cell, Atom::classType, false);
        while (const Object* const object = walk.GetNext()) {
            const Point3d f = static_cast<const Atom*>(object)->GetXYZ() * cell.GetCartToFrac();
            std::int32_t number = -1;
            object->GetProperty("_RMI", number);
            numbers[{std::lround(f.x * 1000), std::lround(f.y * 1000), std::lround(f.z * 1000)}] = number;
        }
        return numbers;
    }
};

TEST_F(CrystalDocumentTest, ImageNumbersSurviveASaveALoadAndARebuild)
{
    for (const test::Crystal& crystal : test::Crystals()) {
        SCOPED_TRACE(crystal.name);
        ChemDoc source;
        Cell3d* const cell = test::MakeCrystalCell(crystal, 0, source.GetTreeRoot());
        BuildOneCell(*cell, false);
        const auto numbers = ImageNumbers(*cell);
        ASSERT_GE(numbers.size(), static_cast<std::size_t>(crystal.unitCellSites));

        ChemDoc loaded;
        DocumentFile::Load(loaded, DocumentFile::Save(source));
        auto* const back = DynCast<Cell3d>(loaded.GetTreeRoot()->GetChild(0));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(ImageNumbers(*back), numbers);
        BuildOneCell(*back, false);
        EXPECT_EQ(ImageNumbers(*back), numbers);
    }
}

TEST_F(CrystalDocumentTest, ACellBuiltByItsMapComesBackFromEachLoadAsItWasSaved)
{
    for (const char* name : {"naphthalene", "ilmenite", "NiAs"}) {
        SCOPED_TRACE(name);
        ChemDoc source;
        BuildOneCell(*test::MakeCrystalCell(test::FindCrystal(name), 0, source.GetTreeRoot()), true);
        ChemDoc first;
        const std::vector<std::string> loaded = SaveAndLoad(source, first);
        EXPECT_EQ(loaded, Describe(source));
        ChemDoc second;
        EXPECT_EQ(SaveAndLoad(first, second), loaded);
    }
}

TEST_F(CrystalDocumentTest, ACellOfReplicaAtomsIsMappedByItsFirstLoadAndKeptByLaterOnes)
{
    ChemDoc source;
    Cell3d* const cell = test::MakeCrystalCell(test::FindCrystal("diopside"), 0, source.GetTreeRoot());
    ASSERT_TRUE(cell->Build(cell->GetBuildInfo()));
    const int atoms = cell->GetNumDescendents(Atom::classType);
    ASSERT_GT(cell->GetNumDescendents(ReplicateAtom::classType), 0);

    // The load switches the cell's map on, whose build turns the replicas into atoms in their
    // places; from then on a save and load changes nothing.
    ChemDoc first;
    const std::vector<std::string> mapped = SaveAndLoad(source, first);
    auto* const back = DynCast<Cell3d>(first.GetTreeRoot()->GetChild(0));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->IsSymmetryMapEnabled());
    EXPECT_EQ(back->GetNumDescendents(ReplicateAtom::classType), 0);
    EXPECT_EQ(back->GetNumDescendents(Atom::classType), atoms);
    ChemDoc second;
    EXPECT_EQ(SaveAndLoad(first, second), mapped);
    ChemDoc third;
    EXPECT_EQ(SaveAndLoad(second, third), mapped);
}

} // namespace
