// ElementTableRow: one row of the built-in element table, and the table itself.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include <tavrel/chemistry/Element.h>
#include <tavrel/core/Color.h>

namespace Tavrel {

struct ElementTableRow {
    ElementType type;
    const char* symbol;
    const char* name;
    std::int32_t atomicNumber;
    float vdwRadius;
    float covalentRadius;
    std::int32_t commonOxidationState;
    std::int32_t numOxidationStates;
    std::array<std::int32_t, Element::MaxOxidationStates> oxidationStates;  // 0 from the count on
    float atomicWeight;
    double exactMass;
    Color color;  // alpha 0
};

// The 104 built-in rows, from the unknown element "?" (row 0) to lawrencium; row i has type and
// atomic number i.
std::span<const ElementTableRow> GetElementTable();

} // namespace Tavrel
