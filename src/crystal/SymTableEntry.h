// SymTableEntry: one setting of the space-group tables with the full list of its generated operators.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace Tavrel {

// Operators are single-precision 4x4 matrices in row-major order acting on column vectors: rows 1 to 3
// hold a rotation row and its translation (in cell fractions), row 4 is 0 0 0 1.
class SymTableEntry {
public:
    using Matrix = std::array<float, 16>;

    struct Operator {
        Matrix matrix;
        std::string text;  // coordinate-triplet notation, such as -x,y+1/2,-z+1/2
    };

    // The setting found by number, or by short, full or Schoenflies symbol (see SpaceGroupLookup.h).
    // When nothing is found the entry is the stub: number 0 and no operators.
    SymTableEntry(int number, std::string_view qualifier, int choice);
    SymTableEntry(std::string_view symbol, std::string_view qualifier, int choice);
    // The setting of a row of SpaceGroupSettingTable; the stub for a row outside the table.
    static SymTableEntry FromRow(int row);

    int GetRow() const { return m_row; }
    int GetNumber() const { return m_number; }
    int GetChoice() const { return m_choice; }
    const std::string& GetShortName() const { return m_shortName; }
    const std::string& GetLongName() const { return m_longName; }
    const std::string& GetSchoenfliesName() const { return m_schoenfliesName; }
    const std::string& GetQualifier() const { return m_qualifier; }
    const std::string& GetAxisSetting() const { return m_axisSetting; }
    // In generation order; empty for the stub.
    const std::vector<Operator>& GetOperators() const { return m_operators; }

    // The operator in coordinate-triplet notation: per row the terms of x, y and z and a translation
    // written as a fraction n/8, n/6, n/4, n/3 or 1 where it is one; rows joined by ",", and a row
    // without terms leaves a blank in place of its comma. False when a rotation element lies outside
    // -1 to 1: the text then stops at that element.
    static bool WriteOperatorText(const Matrix& op, std::string& text);

private:
    explicit SymTableEntry(int row);

    int m_row = 0;
    int m_number = 0;
    int m_choice = 0;
    std::string m_shortName;
    std::string m_longName;
    std::string m_schoenfliesName;
    std::string m_qualifier;
    std::string m_axisSetting;
    std::vector<Operator> m_operators;
};

} // namespace Tavrel
