// ResidueTemplateTable: the 65 built-in residue templates, in row order.
#pragma once

#include <cstddef>
#include <span>

#include <tavrel/biopolymers/ResidueData.h>
#include <tavrel/core/Color.h>

namespace Tavrel {

// One row of the table, in the field order of ResidueData.
struct ResidueTemplate {
    ResidueType type;
    LSType kind;
    const char* pdbName;
    const char* symbol;
    const char* abbreviation;
    const char* name;
    float hydrophobicity;
    float pKa;
    ResidueBondMethod bondMethod;
    Color color;
};

inline constexpr std::size_t ResidueTemplateCount = 65;

// The rows: the unknown residue, the 20 standard amino acids, 12 modified amino acids and caps, the
// five nucleosides under their three-letter, one-letter, 5' and 3' names, and 12 modified nucleosides.
// Type numbers run 0 to 49; 21 to 25 are shared by the four names of one nucleoside.
std::span<const ResidueTemplate, ResidueTemplateCount> ResidueTemplateTable();

} // namespace Tavrel
