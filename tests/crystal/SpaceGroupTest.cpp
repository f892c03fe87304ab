#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <tavrel/crystal/SpaceGroupLookup.h>
#include <tavrel/crystal/SpaceGroupTables.h>
#include <tavrel/crystal/SymTableEntry.h>

using namespace Tavrel;

namespace {

const SpaceGroupSetting& Row(int row)
{
    return SpaceGroupSettingTable()[static_cast<std::size_t>(row)];
}

std::vector<std::string> Texts(const SymTableEntry& entry)
{
    std::vector<std::string> texts;
    for (const SymTableEntry::Operator& op : entry.GetOperators())
        texts.push_back(op.text);
    return texts;
}

TEST(SpaceGroupTables, HoldEveryGroupInNumberOrderWithValidGenerators)
{
    const auto index = SpaceGroupNumberIndex();
    const auto rows = SpaceGroupSettingTable();
    ASSERT_EQ(index.size(), 231u);
    ASSERT_EQ(rows.size(), 483u);
    ASSERT_EQ(SpaceGroupGenerators().size(), 99u);
    ASSERT_EQ(PlaneGroupTable().size(), 17u);
    EXPECT_STREQ(index[14].schoenflies, "C2H-5");
    EXPECT_STREQ(index[230].schoenflies, "OH-10");
    EXPECT_STREQ(Row(0).shortSymbol, "STUB");

    std::set<int> codes;
    for (std::size_t number = 1; number < index.size(); ++number) {
        const int end = number + 1 < index.size() ? index[number + 1].firstRow : static_cast<int>(rows.size());
        ASSERT_LT(index[number].firstRow, end) << number;
        for (int row = index[number].firstRow; row < end; ++row) {
            const SpaceGroupSetting& setting = Row(row);
            EXPECT_EQ(setting.number, static_cast<int>(number));
            ASSERT_GE(setting.generatorCount, 1);
            ASSERT_LE(setting.generatorCount, 8);
            EXPECT_EQ(setting.generators[0], 1) << row;
            for (int i = 0; i < 11; ++i) {
                if (i < setting.generatorCount)
                    codes.insert(setting.generators[i]);
                else
                    EXPECT_EQ(setting.generators[i], 0);
            }
        }
    }
    // Codes point into the table past the unused entry 0; the identity and centring entries hold
    // what they name.
    EXPECT_EQ(*codes.begin(), 1);
    EXPECT_EQ(*codes.rbegin(), 98);
    const auto& identity = SpaceGroupGenerators()[1].values;
    EXPECT_EQ(identity, (std::array<double, 12>{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(SpaceGroupGenerators()[97].values[9], 2.0 / 3.0);
    EXPECT_EQ(SpaceGroupGenerators()[97].values[10], 1.0 / 3.0);
}

TEST(SpaceGroupLookup, ByNumberSelectsQualifierAndChoice)
{
    const auto check = [](int row, const char* symbol, const char* qualifier, int choice) {
        ASSERT_NE(row, 0);
        EXPECT_STREQ(Row(row).shortSymbol, symbol);
        EXPECT_STREQ(Row(row).qualifier, qualifier);
        EXPECT_EQ(Row(row).choice, choice);
    };
    check(FindSpaceGroupSetting(14, "", 0), "P21/C", "B-Unique", 1);
    check(FindSpaceGroupSetting(14, "", 1), "P21/C", "B-Unique", 1);
    const int cUnique = FindSpaceGroupSetting(14, "c-unique", 2);
    check(cUnique, "P21/N", "C-Unique", 2);
    EXPECT_STREQ(Row(cUnique).fullSymbol, "P1121/N");
    check(FindSpaceGroupSetting(14, "", 5), "P21/N", "C-Unique", 2);
    check(FindSpaceGroupSetting(14, "", 7), "P21/C", "B-Unique", 1);
    check(FindSpaceGroupSetting(14, "C-Unique", 0), "P21/A", "C-Unique", 1);
    check(FindSpaceGroupSetting(230, "Origin-2", 0), "IA-3D", "Origin-1", 1);
    check(FindSpaceGroupSetting(50, "Origin-2", 2), "PCNA", "Origin-2", 2);
    // Origin-2 and rhombohedral rows carry choice 1 in some groups and 2 in others: a qualifier
    // whose choice does not match still finds the qualifier's row.
    check(FindSpaceGroupSetting(48, "Origin-2", 2), "PNNN", "Origin-2", 1);
    check(FindSpaceGroupSetting(70, "Origin-2", 1), "FDDD", "Origin-2", 2);
    check(FindSpaceGroupSetting(146, "Rhombohedral", 2), "R3", "Rhombohedral", 1);
    check(FindSpaceGroupSetting(148, "Rhombohedral", 1), "R-3", "Rhombohedral", 2);
    EXPECT_EQ(FindSpaceGroupSetting(0, "", 0), 0);
    EXPECT_EQ(FindSpaceGroupSetting(231, "", 0), 0);
    EXPECT_EQ(FindSpaceGroupSetting(-3, "Origin-1", 1), 0);
}

TEST(SpaceGroupLookup, ByNameFindsShortFullAndSchoenfliesSymbols)
{
    const int p21c = FindSpaceGroupSetting(14, "", 0);
    EXPECT_EQ(FindSpaceGroupSettingByName("p 21/c", "", 0), p21c);
    EXPECT_EQ(FindSpaceGroupSettingByName("C2H-5", "", 0), p21c);
    EXPECT_EQ(FindSpaceGroupSettingByName("P1_21/c_1", "", 0), p21c);
    EXPECT_EQ(FindSpaceGroupSettingByName("c2h-5", "", 6), FindSpaceGroupSetting(14, "", 6));
    EXPECT_EQ(Row(FindSpaceGroupSettingByName("IA-3D", "", 0)).number, 230);
    EXPECT_EQ(FindSpaceGroupSettingByName("R-3", "Rhombohedral", 0), FindSpaceGroupSetting(148, "Rhombohedral", 0));
    EXPECT_EQ(FindSpaceGroupSettingByName("PCNA", "origin-2", 0), FindSpaceGroupSetting(50, "Origin-2", 2));
    // "I2" is first a setting of group 5; choices count the rows found across the table.
    EXPECT_EQ(Row(FindSpaceGroupSettingByName("I2", "", 0)).number, 5);
    EXPECT_STREQ(Row(FindSpaceGroupSettingByName("I2", "", 2)).fullSymbol, "I112");
    // Rows found but none of them selected: the first row found.
    EXPECT_EQ(FindSpaceGroupSettingByName("P21/C", "", 4), p21c);
    EXPECT_EQ(FindSpaceGroupSettingByName("R-3", "Origin-2", 0), FindSpaceGroupSetting(148, "", 0));

    EXPECT_EQ(FindSpaceGroupSettingByName("Q42", "", 0), 0);
    EXPECT_EQ(FindSpaceGroupSettingByName("", "", 0), 0);
    EXPECT_EQ(FindSpaceGroupSettingByName(" ( ) ", "", 0), 0);
}

TEST(SpaceGroupLookup, SymbolsWithBGlidesAreFoundAndTheBarAfterADigitStillReads)
{
    for (const char* symbol : {"P4BM", "P-4B2", "PM21B", "PC21B", "BM21B", "P11B", "I11B", "p4bm", "p-4b2"}) {
        const int row = FindSpaceGroupSettingByName(symbol, "", 0);
        ASSERT_NE(row, 0) << symbol;
        const std::string found = std::string(Row(row).shortSymbol) + " " + Row(row).fullSymbol;
        EXPECT_NE(found.find(NormaliseSpaceGroupSymbol(symbol, false)), std::string::npos) << symbol;
    }
    EXPECT_EQ(NormaliseSpaceGroupSymbol("P4b2c", true), "P-42C");
    EXPECT_EQ(NormaliseSpaceGroupSymbol("P4b2c", false), "P4B2C");
    EXPECT_EQ(Row(FindSpaceGroupSettingByName("P4b2c", "", 0)).number, 112);
    EXPECT_EQ(Row(FindSpaceGroupSettingByName("I4b3d", "", 0)).number, 220);
    EXPECT_EQ(Row(FindSpaceGroupSettingByName("P1b", "", 0)).number, 2);
    EXPECT_EQ(NormaliseSpaceGroupSymbol(std::string(26, 'p') + "1b", true), std::string(26, 'P') + "1");
}

TEST(SymTableEntry, GeneratesTheOperatorsInTheirOrder)
{
    EXPECT_EQ(Texts(SymTableEntry(1, "", 0)), (std::vector<std::string>{"x,y,z"}));
    EXPECT_EQ(Texts(SymTableEntry(2, "", 0)), (std::vector<std::string>{"x,y,z", "-x,-y,-z"}));

    const SymTableEntry p21c(14, "", 0);
    EXPECT_EQ(p21c.GetShortName(), "P21/C");
    EXPECT_EQ(p21c.GetLongName(), "P121/C1");
    EXPECT_EQ(p21c.GetSchoenfliesName(), "C2H-5");
    EXPECT_EQ(p21c.GetQualifier(), "B-Unique");
    EXPECT_EQ(Texts(p21c), (std::vector<std::string>{"x,y,z", "-x,y+1/2,-z+1/2", "-x,-y,-z", "x,-y+1/2,z+1/2"}));

    EXPECT_EQ(Texts(SymTableEntry(15, "", 0)),
              (std::vector<std::string>{"x,y,z", "-x,y,-z+1/2", "-x,-y,-z", "x,-y,z+1/2", "x+1/2,y+1/2,z",
                                        "-x+1/2,y+1/2,-z+1/2", "-x+1/2,-y+1/2,-z", "x+1/2,-y+1/2,z+1/2"}));
    // Permuted axes; a translation of 1 survives a product with a pure translation.
    const SymTableEntry p2212(std::string_view("P2212"), "", 0);
    EXPECT_EQ(p2212.GetAxisSetting(), "a-cb");
    EXPECT_EQ(Texts(p2212), (std::vector<std::string>{"x,y,z", "-x,y+1/2,-z", "-x,-y+1/2,z", "x,-y,-z"}));
    const std::vector<std::string> ac2m = Texts(SymTableEntry(std::string_view("AC2M"), "", 0));
    ASSERT_EQ(ac2m.size(), 8u);
    EXPECT_EQ(ac2m[6], "x,y+1/2,-z+1");
    EXPECT_EQ(ac2m[7], "-x,y+1/2,z+1");

    for (const auto& [symbol, count] : {std::pair{"F222", 16u}, {"I222", 8u}, {"IA-3D", 96u}, {"FM-3M", 192u}})
        EXPECT_EQ(SymTableEntry(std::string_view(symbol), "", 0).GetOperators().size(), count) << symbol;

    const SymTableEntry none(std::string_view("nothing"), "", 0);
    EXPECT_EQ(none.GetNumber(), 0);
    EXPECT_TRUE(none.GetOperators().empty());
}

// Operators as integer rotations and translations in 24ths of a cell, modulo whole cells.
using Key = std::array<int, 12>;

Key KeyOf(const SymTableEntry::Matrix& m)
{
    Key key{};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column)
            key[static_cast<std::size_t>(row * 3 + column)] = static_cast<int>(std::lround(m[row * 4 + column]));
        const long t = std::lround(m[row * 4 + 3] * 24.0);
        key[static_cast<std::size_t>(9 + row)] = static_cast<int>(((t % 24) + 24) % 24);
    }
    return key;
}

Key Compose(const Key& a, const Key& b)
{
    Key c{};
    for (int row = 0; row < 3; ++row) {
        int t = a[9 + row];
        for (int column = 0; column < 3; ++column) {
            int r = 0;
            for (int k = 0; k < 3; ++k)
                r += a[row * 3 + k] * b[k * 3 + column];
            c[row * 3 + column] = r;
            t += a[row * 3 + column] * b[9 + column];
        }
        c[9 + row] = ((t % 24) + 24) % 24;
    }
    return c;
}

int PointGroupOrder(int number)
{
    static constexpr std::pair<int, int> classes[] = {{1, 1},    {9, 2},    {46, 4},   {74, 8},   {82, 4},
                                                      {122, 8},  {142, 16}, {146, 3},  {161, 6},  {167, 12},
                                                      {174, 6},  {190, 12}, {194, 24}, {199, 12}, {220, 24},
                                                      {230, 48}};
    for (const auto& [last, order] : classes) {
        if (number <= last)
            return order;
    }
    return 0;
}

int Centring(const SymTableEntry& entry)
{
    switch (entry.GetShortName()[0]) {
    case 'P':
        return 1;
    case 'A':
    case 'B':
    case 'C':
    case 'I':
        return 2;
    case 'F':
        return 4;
    default:
        return entry.GetQualifier() == "Rhombohedral" ? 1 : 3;
    }
}

TEST(SymTableEntry, EverySettingGeneratesItsWholeGroup)
{
    const int rows = static_cast<int>(SpaceGroupSettingTable().size());
    for (int row = 1; row < rows; ++row) {
        const SymTableEntry entry = SymTableEntry::FromRow(row);
        SCOPED_TRACE(entry.GetShortName() + " " + entry.GetQualifier() + " " + entry.GetAxisSetting());
        ASSERT_EQ(entry.GetRow(), row);
        const auto& ops = entry.GetOperators();
        ASSERT_EQ(static_cast<int>(ops.size()), PointGroupOrder(entry.GetNumber()) * Centring(entry));
        EXPECT_EQ(ops[0].text, "x,y,z");
        std::vector<Key> keys;
        for (const SymTableEntry::Operator& op : ops) {
            keys.push_back(KeyOf(op.matrix));
            std::string text;
            ASSERT_TRUE(SymTableEntry::WriteOperatorText(op.matrix, text));
            ASSERT_EQ(text, op.text);
        }
        const std::set<Key> members(keys.begin(), keys.end());
        ASSERT_EQ(members.size(), keys.size());
        for (const Key& a : keys) {
            for (const Key& b : keys)
                ASSERT_TRUE(members.count(Compose(a, b)));
        }
    }
}

TEST(SymTableEntry, WritesOperatorTextInTripletNotation)
{
    const auto text = [](const SymTableEntry::Matrix& m) {
        std::string result;
        const bool ok = SymTableEntry::WriteOperatorText(m, result);
        return (ok ? "" : "!") + result;
    };
    EXPECT_EQ(text({0, -1, 0, 0, 1, -1, 0, 1.0f / 3, 0, 0, 1, 2.0f / 3, 0, 0, 0, 1}), "-y,x-y+1/3,z+2/3");
    EXPECT_EQ(text({0.5f, 0, 0, 0.125f, 0, -0.5f, 1, -0.375f, 0, 0, 0, 0, 0, 0, 0, 1}), "0.500000x+1/8,-0.500000y+z-3/8 ");
    EXPECT_EQ(text({1, 0, 0, 0.1f, 0, 1, 0, 1, 0, 0, -1, 5.0f / 6, 0, 0, 0, 1}), "x+0.100000,y+1,-z+5/6");
    EXPECT_EQ(text({1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}), "!x,");
}

} // namespace
