#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/CellBuildMethodOneCellParameters.h>
#include <tavrel/crystal/CellBuilder.h>
#include <tavrel/document/ChemDoc.h>
#include <tavrel/document/DataModelLibrary.h>
#include <tavrel/foundation/DescendentIterator.h>
#include <tavrel/foundation/TreeRoot.h>
#include "support/Crystals.h"
#include "support/DocumentFile.h"

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

} // namespace
