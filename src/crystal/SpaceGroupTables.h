// SpaceGroupTables: the built-in, read-only crystallographic tables of space groups and plane groups.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace Tavrel {

// One entry per space-group number 0 to 230 (entry 0 is a stub).
struct SpaceGroupNumberEntry {
    const char* schoenflies;  // "C2H-5": point group, hyphen, sequence number
    std::int16_t firstRow;    // the group's first row in the setting table
};

// One setting of a space group. The rows of a group are contiguous and the groups follow in number
// order; row 0 is a stub (number 0, no generators).
struct SpaceGroupSetting {
    std::int16_t number;        // 1 to 230
    std::int16_t choice;        // setting number within the qualifier, from 1
    const char* shortSymbol;    // "P21/C", bar written as a leading minus
    const char* fullSymbol;     // "P121/C1"
    const char* qualifier;      // "Origin-1", "Origin-2", "B-Unique", "C-Unique", "Hexagonal", "Rhombohedral"
    const char* axisSetting;    // empty, or a permutation of the axes ("a-cb")
    std::int16_t generatorCount;
    std::int16_t generators[11]; // codes into the generator table; 0 after the count
};

// Rotation rows r11 r12 r13, r21 r22 r23, r31 r32 r33, then translation t1 t2 t3 in cell fractions:
// (x, y, z) maps to (r11 x + r12 y + r13 z + t1, ...).
struct SpaceGroupGenerator {
    std::array<double, 12> values;
};

struct PlaneGroupEntry {
    std::int16_t number;
    const char* shortSymbol;
};

// 231 entries indexed by number.
std::span<const SpaceGroupNumberEntry> SpaceGroupNumberIndex();
// 483 rows: the stub and the 482 settings.
std::span<const SpaceGroupSetting> SpaceGroupSettingTable();
// 99 entries indexed by code: 0 unused (all zero), 1 the identity, 93 to 96 the A, B, C and I
// centring translations, 97 and 98 the rhombohedral centring translations on hexagonal axes.
std::span<const SpaceGroupGenerator> SpaceGroupGenerators();
// The 17 plane groups, numbers 1 to 17.
std::span<const PlaneGroupEntry> PlaneGroupTable();

} // namespace Tavrel
