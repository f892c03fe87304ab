// ConformerBond: a bond that belongs to an alternate of a conformer.
#pragma once

#include <tavrel/chemistry/Bond.h>

namespace Tavrel {

// Persists nothing beyond Bond's.
class ConformerBond : public Bond {
    TAVREL_CLASS(ConformerBond, Bond, Creatable)
public:
    // Under the ends' common ancestor, or under parent.
    ConformerBond(Bondable* atom1, Bondable* atom2, BondType type);
    ConformerBond(Object* parent, Bondable* atom1, Bondable* atom2, BondType type);
    // Single, then the values of source (CopyBond) when there is one.
    ConformerBond(Bondable* atom1, Bondable* atom2, const Bond* source);
    ConformerBond(Object* parent, Bondable* atom1, Bondable* atom2, const Bond* source);

    // Colour, colour scheme, display style, stored label (empty too), ID, position, visibility,
    // conformer index, ring flag, type, order, wedge and user properties.
    static void CopyBond(Bond& destination, const Bond& source);
};

} // namespace Tavrel
