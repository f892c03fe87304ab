#include <tavrel/chemistry/GasteigerTables.h>

#include <array>

namespace Tavrel {

namespace {

// The spacing of each line is kept as it has always been.
constexpr std::array<std::string_view, 16> kGasteigerParameterText{{
    "D 0.5 50 1",
    "G  1  0     7.1700    6.2400    -0.5600  0.0  20.02",
    "G  6  3     7.9800    9.1800    1.8800   0.0 ",
    "G  6  2     8.7900    9.3200    1.5100   0.0 ",
    "G  6  1    10.3900    9.4500    0.7300   0.0 ",
    "G  7  3    11.5400   10.8200    1.3600  0.0  ",
    "G  7  2    12.8700   11.1500    0.8500  0.0  ",
    "G  7  1    15.6800   11.7000   -0.2700  0.0  ",
    "G  8  3    14.1800   12.9200    1.3900  0.0  ",
    "G  8  2    17.0700   13.7900    0.4700  0.0  ",
    "G  9  0    14.6600   13.8500    2.3100  0.0  ",
    "G 16  0    10.1400    9.1300    1.3800  0.0  ",
    "G 17  0    11.0000    9.6900    1.3500  0.0  ",
    "G 35  0    10.0800    8.4700    1.1600  0.0  ",
    "G 53  0     9.9000    7.9600    0.9600  0.0  ",
    "END",
}};

constexpr std::array<GasteigerGroupRow, 20> kGasteigerGroupTable{{
    {15, 7.4, 3.0, -1.0, 0.0, 0.0},  // 1: phosphorus of a terminal-oxygen group
    {8, 13.2, 12.0, 1.4, 0.0, 0.0},  // 2: terminal oxygens of a group (charge set per group)
    {7, 18.0, 12.0, 0.0, 0.0, 1.0},  // 3: nitro nitrogen
    {7, 18.0, 12.0, 0.0, 0.0, 1.0},  // 4: nitrogen of valence above 3
    {7, 12.87, 11.15, 0.85, 0.0, 0.5},  // 5: amidinium nitrogens
    {7, 12.87, 11.15, 0.85, 0.0, 1.0 / 3.0},  // 6: guanidinium nitrogens
    {16, 6.0, 3.0, 0.0, 0.0, 0.0},  // 7: sulfur of a terminal-oxygen group
    {11, 0.0, 0.0, 0.0, 0.0, 1.0},  // 8: isolated atom
    {20, 0.0, 0.0, 0.0, 0.0, 2.0},  // 9: isolated atom
    {9, 0.0, 0.0, 0.0, 0.0, -1.0},  // 10: isolated atom
    {17, 0.0, 0.0, 0.0, 0.0, -1.0},  // 11: isolated atom
    {35, 0.0, 0.0, 0.0, 0.0, -1.0},  // 12: isolated atom
    {53, 0.0, 0.0, 0.0, 0.0, -1.0},  // 13: isolated atom
    {81, 0.0, 0.0, 0.0, 0.0, 3.0},  // 14: isolated atom
    {26, 0.0, 0.0, 0.0, 0.0, 3.0},  // 15: isolated atom
    {30, 0.0, 0.0, 0.0, 0.0, 2.0},  // 16: isolated atom
    {43, 0.0, 0.0, 0.0, 0.0, 2.0},  // 17: isolated atom
    {44, 0.0, 0.0, 0.0, 0.0, 3.0},  // 18: isolated atom
    {0, 0.0, 0.0, 0.0, 0.0, -1.0},  // 19: under-valent atom (and an isolated atom of element 0)
    {0, 0.0, 0.0, 0.0, 0.0, 1.0},  // 20: over-valent atom
}};

} // namespace

std::span<const std::string_view> GetGasteigerParameterText()
{
    return kGasteigerParameterText;
}

std::span<const GasteigerGroupRow> GetGasteigerGroupTable()
{
    return kGasteigerGroupTable;
}

} // namespace Tavrel
