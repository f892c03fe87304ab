// ResidueBuilder: residues with labelled atoms placed where a test wants them, and bond lookups by label.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include <tavrel/biopolymers/Residue.h>
#include <tavrel/biopolymers/ResiduePool.h>
#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/core/Point3d.h>

namespace ResidueBuilder {

// Bond types as TypeOf gives them; NoBond where there is no bond.
constexpr int Single = Tavrel::Bond::Single;
constexpr int Double = Tavrel::Bond::Double;
constexpr int Partial = Tavrel::Bond::PartialDouble;
constexpr int Aromatic = Tavrel::Bond::Aromatic;
constexpr int NoBond = -1;

inline const Tavrel::ResiduePool& Pool()
{
    return Tavrel::ResiduePool::GetResiduePool();
}

struct AtomSpec {
    const char* label;
    const char* symbol;
    Tavrel::Point3d at;
};

inline Tavrel::Atom3d* AddAtom(Tavrel::Object* residue, const char* label, const char* symbol,
                               const Tavrel::Point3d& at)
{
    auto* const atom = new Tavrel::Atom3d(residue, symbol);
    atom->SetLabel(label);
    atom->SetXYZ(at);
    return atom;
}

inline void AddAtoms(Tavrel::Object* residue, std::initializer_list<AtomSpec> atoms)
{
    for (const AtomSpec& atom : atoms)
        AddAtom(residue, atom.label, atom.symbol, atom.at);
}

// Heavy atoms 5 apart along x after the residue's other children, so that bonding by distance joins
// none of them.
inline void AddSpreadAtoms(Tavrel::Object* residue, std::initializer_list<std::string_view> labels)
{
    float x = 5.0f * static_cast<float>(residue->GetNumChildren());
    for (const std::string_view label : labels) {
        // The element is the label's first letter (two for selenium).
        const std::string symbol(label.substr(0, label.substr(0, 2) == "SE" ? 2 : 1));
        AddAtom(residue, std::string(label).c_str(), symbol.c_str(), Tavrel::Point3d(x, 0.0, 0.0));
        x += 5.0f;
    }
}

inline Tavrel::Atom3d* AtomOf(Tavrel::Object* residue, std::string_view label)
{
    return Tavrel::ResiduePool::FindAtom(residue, label);
}

// The bond between two labelled atoms of the residue (or of two residues); null when none.
inline Tavrel::Bond* BondOf(Tavrel::Object* first, std::string_view a, Tavrel::Object* second, std::string_view b)
{
    Tavrel::Atom3d* const one = AtomOf(first, a);
    Tavrel::Atom3d* const other = AtomOf(second, b);
    return one && other ? one->FindBond(other) : nullptr;
}

inline Tavrel::Bond* BondOf(Tavrel::Object* residue, std::string_view a, std::string_view b)
{
    return BondOf(residue, a, residue, b);
}

// The type of that bond; NoBond when there is none.
inline int TypeOf(Tavrel::Object* residue, std::string_view a, std::string_view b)
{
    const Tavrel::Bond* const bond = BondOf(residue, a, b);
    return bond ? static_cast<int>(bond->GetType()) : NoBond;
}

inline Tavrel::Rational ChargeOf(Tavrel::Object* residue, std::string_view label)
{
    return AtomOf(residue, label)->GetFormalCharge();
}

// A hydrogen 1.0 beyond the atom along +z (the atoms of these residues lie in the z = 0 plane).
inline Tavrel::Atom3d* AddHydrogen(Tavrel::Object* residue, std::string_view on, const char* label, float dy = 0.0f)
{
    const Tavrel::Point3d at = AtomOf(residue, on)->GetXYZ();
    return AddAtom(residue, label, "H", Tavrel::Point3d(at.x, at.y + dy, at.z + 1.0f));
}

} // namespace ResidueBuilder
