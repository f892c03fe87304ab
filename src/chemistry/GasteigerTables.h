// GasteigerTables: the built-in parameter text and the charged-group and ion table of the Gasteiger charges.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace Tavrel {

// One row of the charged-group and ion table: electronegativity a + b q + c q^2, the divisor chi+
// (0 stands for a + b + c) and the charge the group adds after the iterations.
struct GasteigerGroupRow {
    std::int32_t atomicNumber;
    double a;
    double b;
    double c;
    double chiPlus;
    double charge;
};

// The parameter text, one line per entry: a "D" line (damping factor, iteration limit), "G" lines
// (atomic number, hybridization, a, b, c, an unused number, optional chi+), then "END".
std::span<const std::string_view> GetGasteigerParameterText();

// The 20 rows; group type t is row t - 1.
std::span<const GasteigerGroupRow> GetGasteigerGroupTable();

} // namespace Tavrel
