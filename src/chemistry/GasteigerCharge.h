// GasteigerCharge: partial atomic charges by partial equalisation of orbital electronegativity.
#pragma once

#include <cstdint>
#include <vector>

#include <tavrel/core/AddressIndex.h>

namespace Tavrel {

class Atom;
class Atom3d;
class Bondable;
class Object;
class OrdCollection;
class TreeNode;

// Charge flows along every bond in damped iterations until the largest change falls below 0.0001.
// Charged groups and ions are typed first and their charge (else the atom's formal charge) is
// added afterwards; missing hydrogens take part as implicit entries folded into their atoms. The
// results are those of the last calculation: one charge per atom of the collection, in its order,
// its implicit hydrogens' charges folded in, and the extremes and total over all entries.
class GasteigerCharge {
public:
    GasteigerCharge();
    // With a collection, calculates over it; with store, writes each atom's charge (SetCharge).
    GasteigerCharge(const OrdCollection* atoms, bool store);
    // With a root, calculates over its Atom3d descendants (the root excluded) in pre-order.
    GasteigerCharge(Object* root, bool store);
    GasteigerCharge(const GasteigerCharge& other) = default;
    GasteigerCharge& operator=(const GasteigerCharge& other) = default;
    // The arrays' room is kept for the thread's next calculation.
    virtual ~GasteigerCharge();

    // False when no calculation ran, or the last one was refused (no atoms, a member that is not an
    // Atom3d, an atom with more than ten neighbours counting its missing hydrogens): the results
    // are then cleared.
    bool IsCalculated() const { return m_calculated; }
    // The size of the collection of the last calculation.
    std::int32_t GetNumAtoms() const { return m_numAtoms; }
    void GetMinMaxCharge(float& minimum, float& maximum) const;
    float GetTotalCharge() const { return static_cast<float>(m_total); }
    // The charge of an atom of the last calculation, its implicit hydrogens folded in; 0 for any
    // other atom.
    float GetCharge(const Atom* atom) const;

protected:
    // Refused (false, results cleared) as IsCalculated says; null changes nothing.
    bool Calculate(const OrdCollection* atoms, bool store);

private:
    // The atom's index in the last calculation, -1 when it took no part (or was deleted).
    std::int32_t FindIndex(const Atom* atom) const;
    // The index kept for the address, -1 when none; the cursor serves lookups one after another.
    std::int32_t LookUp(const Bondable* atom, AddressIndex::Cursor& cursor) const;
    class Reader;
    // Calculates over the atoms the reader read: the collection's size is the number it was given.
    bool Compute(Reader& reader, bool store);
    void Clear();

    std::int32_t m_numAtoms = 0;
    double m_minimum = 0.0;
    double m_maximum = 0.0;
    double m_total = 0.0;
    std::vector<double> m_charges;
    bool m_calculated = false;
    // The atoms of the last calculation in order, with their OIDs, so that a reused address is not
    // taken for one of them.
    std::vector<TreeNode*> m_atoms;
    std::vector<std::uint32_t> m_atomOIDs;
    // The atoms' indices by address.
    AddressIndex m_index;
};

} // namespace Tavrel
