#include <gtest/gtest.h>

#include <vector>

#include <tavrel/foundation/Object.h>
#include <tavrel/graphics/SecondaryColorScheme.h>
#include <tavrel/graphics/SecondaryStructureQueries.h>
#include <tavrel/platform/Archive.h>
#include "support/ScopedInstall.h"

using namespace Tavrel;

namespace {

// Objects whose ID is their secondary-structure code (those with a negative ID are no amino acids);
// a chain whose own ID says whether it holds a structure, which the prediction gives it.
class IdQueries final : public SecondaryStructureQueries {
public:
    bool HasSecondaryStructure(const Object& chain) const override { return chain.GetID() != 0; }
    void CalcSecondaryStructure(Object& chain) const override
    {
        ++predictions;
        chain.SetID(1);
    }
    bool GetEnvironment(const Object& residue, std::int32_t& environment) const override
    {
        if (residue.GetID() < 0)
            return false;
        environment = residue.GetID();
        return true;
    }
    mutable int predictions = 0;
};

} // namespace

TEST(SecondaryColorSchemeTest, ColoursResiduesByTheirClassPredictingFirstWhenNeeded)
{
    SecondaryColorScheme scheme;
    Color coil, helix, sheet, turn;
    scheme.GetColors(coil, helix, sheet, turn);
    EXPECT_EQ(std::vector<Color>({coil, helix, sheet, turn}),
              std::vector<Color>({Color::White(), Color::Red(), Color::Cyan(), Color::Green()}));

    const IdQueries queries;
    const test::ScopedInstall<SecondaryStructureQueries> installed(queries);
    Object chain(nullptr);
    std::vector<Object*> residues;
    for (const std::int32_t code : {0, 1, 2, 3, 9, -1}) {
        residues.push_back(new Object(&chain));
        residues.back()->SetID(code);
        residues.back()->SetColor(Color::Black());
    }
    scheme.ApplyScheme(chain);
    EXPECT_EQ(queries.predictions, 1);
    // A code outside the four is coil; what is no amino acid keeps its colour.
    const std::vector<Color> expected = {Color::White(), Color::Red(), Color::Cyan(), Color::Green(), Color::White(),
                                         Color::Black()};
    for (std::size_t i = 0; i < residues.size(); ++i)
        EXPECT_EQ(residues[i]->GetColor(), expected[i]) << i;
    scheme.ApplyScheme(chain);
    EXPECT_EQ(queries.predictions, 1);
}

TEST(SecondaryColorSchemeTest, TheFourColoursAreStoredAsFourPackedValues)
{
    SecondaryColorScheme scheme;
    scheme.SetColors(Color(1, 2, 3), Color(4, 5, 6), Color(7, 8, 9, 10), Color::Yellow());
    Archive out;
    scheme.Serialize(out);
    EXPECT_EQ(out.GetBuffer().size(), 16u);

    SecondaryColorScheme loaded;
    Archive in(out.GetBuffer());
    loaded.Serialize(in);
    Color coil, helix, sheet, turn;
    loaded.GetColors(coil, helix, sheet, turn);
    EXPECT_EQ(std::vector<Color>({coil, helix, sheet, turn}),
              std::vector<Color>({Color(1, 2, 3), Color(4, 5, 6), Color(7, 8, 9, 10), Color::Yellow()}));

    // A short block is refused and leaves the colours as they were.
    std::vector<std::uint8_t> bytes = out.GetBuffer();
    bytes.resize(10);
    SecondaryColorScheme untouched;
    Archive truncated(bytes);
    EXPECT_THROW(untouched.Serialize(truncated), ArchiveException);
    untouched.GetColors(coil, helix, sheet, turn);
    EXPECT_EQ(helix, Color::Red());
}
