#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>

#include <tavrel/biopolymers/ResidueData.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/biopolymers/ResidueTemplateTable.h>
#include <tavrel/biopolymers/TemplateBonding.h>
#include <tavrel/platform/Archive.h>
#include <tavrel/platform/ArchiveException.h>
#include "ResidueBuilder.h"

using namespace Tavrel;

using ResidueBuilder::Pool;

TEST(ResidueTemplateTest, TableHoldsEveryTypeOnceButTheSharedNucleosides)
{
    const auto table = ResidueTemplateTable();
    std::set<int> types;
    std::set<std::string> names;
    int kindOther = 0;
    for (const ResidueTemplate& row : table) {
        types.insert(row.type);
        names.insert(row.pdbName);
        kindOther += row.kind == LSOther ? 1 : 0;
        if (&row - table.data() >= 21) {
            EXPECT_EQ(row.hydrophobicity, 0.0f) << row.pdbName;
            EXPECT_EQ(row.pKa, 0.0f) << row.pdbName;
        }
    }
    EXPECT_EQ(types.size(), 50u);
    EXPECT_EQ(*types.begin(), 0);
    EXPECT_EQ(*types.rbegin(), 49);
    EXPECT_EQ(names.size(), ResidueTemplateCount);
    EXPECT_EQ(kindOther, 2);
    EXPECT_STREQ(table[0].pdbName, "UNK");
    EXPECT_STREQ(table[64].pdbName, "7MG");
    EXPECT_EQ(table[2].pKa, 12.5f);
    EXPECT_EQ(table[37].color, Color(146, 0, 146));
}

TEST(ResidueTemplateTest, PoolAnswersNamesExactlyAndTypesInItsEnumerationOrder)
{
    EXPECT_EQ(Pool().GetCount(), 65);
    EXPECT_EQ(Pool().GetRecords().front()->GetPDBName(), "5MC");
    EXPECT_EQ(Pool().GetRecords().back()->GetPDBName(), "OMG");
    std::set<const ResidueData*> distinct(Pool().GetRecords().begin(), Pool().GetRecords().end());
    EXPECT_EQ(distinct.size(), 65u);

    EXPECT_EQ(Pool().GetResidueData("ASX")->GetName(), "Unknown");
    EXPECT_EQ(Pool().GetResidueData("GLX")->GetName(), "Unknown");
    EXPECT_EQ(Pool().GetResidueData("2MG")->GetName(), "5-methyl Guanosine");

    const ResidueData* adenosine = Pool().GetResidueData("ADE");
    for (const char* name : {"ADE", "A", "A5'", "A3'"}) {
        const ResidueData* record = Pool().GetResidueData(name);
        EXPECT_EQ(record->GetPDBName(), name);
        EXPECT_EQ(record->GetType(), 21);
        EXPECT_EQ(record->GetLSType(), LSNucleicAcid);
        EXPECT_EQ(record->GetSymbol(), "A");
        EXPECT_EQ(record->GetName(), adenosine->GetName());
        EXPECT_EQ(record->GetColor(), Color::Red());
        EXPECT_EQ(record->GetBondMethod(), &BondAde);
    }

    const ResidueData* unknown = Pool().GetResidueData("UNK");
    EXPECT_EQ(Pool().GetResidueData(nullptr), unknown);
    EXPECT_EQ(Pool().GetResidueData("ala"), unknown);
    EXPECT_EQ(Pool().GetResidueData("ALA "), unknown);
    EXPECT_EQ(Pool().GetResidueData("HOH"), unknown);
    EXPECT_EQ(Pool().GetResidueType("HOH"), 0);
    EXPECT_EQ(Pool().GetLSType(nullptr), LSOther);
    EXPECT_EQ(Pool().GetLSType("ACE"), LSOther);
    EXPECT_EQ(Pool().GetLSType("PCA"), LSAminoAcid);
    EXPECT_EQ(Pool().GetResidueType("PCA"), 26);
    EXPECT_EQ(unknown->GetBondMethod(), &BondNull);
    EXPECT_EQ(unknown->GetColor(), Color(125, 125, 125));

    const char* firstOfType[] = {"A5'", "G3'", "T5'", "C3'", "U3'"};
    for (int type = 21; type <= 25; ++type)
        EXPECT_EQ(Pool().GetResidueData(static_cast<ResidueType>(type))->GetPDBName(), firstOfType[type - 21]);
    EXPECT_EQ(Pool().GetResidueData(static_cast<ResidueType>(1))->GetPDBName(), "ALA");
    EXPECT_EQ(Pool().GetResidueData(static_cast<ResidueType>(50)), unknown);
    EXPECT_EQ(Pool().GetResidueData(static_cast<ResidueType>(-1)), unknown);
}

TEST(ResidueTemplateTest, ArchivedRecordHasNoPDBNameAndTakesThePoolsBondingMethod)
{
    ResidueData record;
    EXPECT_EQ(record.GetType(), 0);
    EXPECT_EQ(record.GetColor(), Color());
    EXPECT_EQ(record.GetBondMethod(), nullptr);
    record = *Pool().GetResidueData("ARG");
    EXPECT_EQ(record.GetPDBName(), "ARG");

    Archive out;
    record.Serialize(out);
    // Type, kind, three strings, two floats, colour and method word.
    EXPECT_EQ(out.GetBuffer().size(), 4u + 4u + 2u + 4u + 9u + 4u + 4u + 4u + 4u);

    Archive in(out.GetBuffer());
    ResidueData loaded;
    loaded.Serialize(in);
    EXPECT_EQ(loaded.GetPDBName(), "");
    EXPECT_EQ(loaded.GetType(), 2);
    EXPECT_EQ(loaded.GetLSType(), LSAminoAcid);
    EXPECT_EQ(loaded.GetSymbol(), "R");
    EXPECT_EQ(loaded.GetAbbreviation(), "Arg");
    EXPECT_EQ(loaded.GetName(), "Arginine");
    EXPECT_EQ(loaded.GetHydrophobicity(), -4.5f);
    EXPECT_EQ(loaded.GetpKa(), 12.5f);
    EXPECT_EQ(loaded.GetColor(), Color(20, 220, 255));
    EXPECT_EQ(loaded.GetBondMethod(), &BondArg);

    for (std::size_t size = 0; size < out.GetBuffer().size(); ++size) {
        Archive cut(std::vector<std::uint8_t>(out.GetBuffer().begin(),
                                              out.GetBuffer().begin() + static_cast<std::ptrdiff_t>(size)));
        ResidueData partial;
        EXPECT_THROW(partial.Serialize(cut), ArchiveException);
    }
}
