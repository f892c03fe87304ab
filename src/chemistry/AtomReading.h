// AtomReading: what a charge calculation asks of an atom, read in one pass over its bonds.
#pragma once

#include <cstdint>

#include <tavrel/chemistry/Atom.h>
#include <tavrel/chemistry/Atom3d.h>

namespace Tavrel {

// The answers of GetAtomicNumber, GetFormalCharge, PerceiveHybridization and GetNumHydrogensToAdd,
// the same as those calls give. An atom of a class derived from Atom3d is asked through the calls
// themselves, as it may answer them its own way.
struct AtomReading {
    std::int32_t atomicNumber = 0;
    Rational formalCharge;
    Atom::HybridizationType hybridization = Atom::Sp3;
    std::int32_t hydrogensToAdd = 0;

    static AtomReading Of(const Atom3d& atom);
    // Where the atom keeps its partial charge (to ask for that memory ahead of storing a charge).
    static const void* ChargeField(const Atom3d& atom) { return &atom.m_charge; }
};

} // namespace Tavrel
