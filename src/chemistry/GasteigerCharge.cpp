#include <tavrel/chemistry/GasteigerCharge.h>

#include <bit>
#include <cstddef>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/GasteigerSolver.h>
#include <tavrel/foundation/OrdCollection.h>

namespace Tavrel {

namespace {

// An atom with more neighbours, its missing hydrogens included, is refused.
constexpr int MaxNeighbours = 10;

// Atoms made together lie close in memory, and so do their slots: the walk over bonded neighbours
// stays within a few cache lines. The high bits fold in so that strided addresses do not collide.
std::size_t SlotOf(const Atom* atom, std::size_t mask)
{
    const auto bits = reinterpret_cast<std::uintptr_t>(atom);
    return static_cast<std::size_t>((bits >> 4) ^ (bits >> 24)) & mask;
}

// The Atom3d descendants of root in pre-order, root excluded; iterative.
void CollectAtoms(const TreeNode& root, std::vector<Atom3d*>& atoms)
{
    struct Place {
        const TreeNode* node;
        int next;
        int count;
    };
    std::vector<Place> path{{&root, 0, root.GetNumChildren()}};
    while (!path.empty()) {
        Place& place = path.back();
        if (place.next == place.count) {
            path.pop_back();
            continue;
        }
        TreeNode* const child = place.node->GetChild(place.next++);
        if (IsA<Atom3d>(child))
            atoms.push_back(static_cast<Atom3d*>(child));
        if (const int count = child->GetNumChildren(); count > 0)
            path.push_back({child, 0, count});
    }
}

std::int8_t BondCode(Bond::BondType type)
{
    switch (type) {
    case Bond::Double: return 2;
    case Bond::Aromatic:
    case Bond::PartialDouble: return 6;
    case Bond::Triple: return 3;
    default: return 1;
    }
}

} // namespace

GasteigerCharge::GasteigerCharge(const OrdCollection* atoms, bool store)
{
    if (atoms)
        Calculate(atoms, store);
}

GasteigerCharge::GasteigerCharge(Object* root, bool store)
{
    if (!root)
        return;
    std::vector<Atom3d*> atoms;
    CollectAtoms(*root, atoms);
    Compute(atoms, store);
}

void GasteigerCharge::GetMinMaxCharge(float& minimum, float& maximum) const
{
    minimum = static_cast<float>(m_minimum);
    maximum = static_cast<float>(m_maximum);
}

float GasteigerCharge::GetCharge(const Atom* atom) const
{
    const std::int32_t index = FindIndex(atom);
    return index < 0 ? 0.0f : static_cast<float>(m_charges[static_cast<std::size_t>(index)]);
}

std::int32_t GasteigerCharge::FindIndex(const Atom* atom) const
{
    const std::int32_t index = LookUp(atom);
    if (index < 0 || static_cast<std::size_t>(index) >= m_charges.size() ||
        m_atomOIDs[static_cast<std::size_t>(index)] != atom->GetOID())
        return -1;
    return index;
}

std::int32_t GasteigerCharge::LookUp(const Atom* atom) const
{
    if (!atom || m_slots.empty())
        return -1;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = SlotOf(atom, mask);; slot = (slot + 1) & mask) {
        const Slot& entry = m_slots[slot];
        if (!entry.key)
            return -1;
        if (entry.key == atom)
            return entry.index;
    }
}

void GasteigerCharge::Clear()
{
    m_minimum = 0.0;
    m_maximum = 0.0;
    m_total = 0.0;
    m_charges.clear();
    m_slots.clear();
    m_atomOIDs.clear();
    m_calculated = false;
}

bool GasteigerCharge::Calculate(const OrdCollection* atoms, bool store)
{
    if (!atoms)
        return false;
    const int count = atoms->GetNumItems();
    std::vector<Atom3d*> members;
    members.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        Object* const member = atoms->GetAt(i);
        if (!IsA<Atom3d>(member)) {
            m_numAtoms = count;
            Clear();
            return false;
        }
        members.push_back(static_cast<Atom3d*>(member));
    }
    return Compute(members, store);
}

bool GasteigerCharge::Compute(std::span<Atom3d* const> atoms, bool store)
{
    m_numAtoms = static_cast<std::int32_t>(atoms.size());
    Clear();
    const std::size_t n = atoms.size();
    if (n == 0)
        return false;

    // Missing hydrogens of each atom, and the neighbour limit.
    std::vector<std::int32_t> hydrogens(n);
    std::size_t entries = n;
    for (std::size_t i = 0; i < n; ++i) {
        const Atom3d* const atom = atoms[i];
        if (!atom)
            return false;
        hydrogens[i] = atom->GetNumHydrogensToAdd();
        if (atom->GetNumAttached() + hydrogens[i] > MaxNeighbours)
            return false;
        entries += static_cast<std::size_t>(hydrogens[i]);
    }

    // Each atom's index; a repeated atom answers with its last index.
    m_slots.assign(std::bit_ceil(2 * n), Slot());
    m_atomOIDs.resize(n);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t slot = SlotOf(atoms[i], mask);
        while (m_slots[slot].key && m_slots[slot].key != atoms[i])
            slot = (slot + 1) & mask;
        m_slots[slot] = Slot{atoms[i], static_cast<std::int32_t>(i)};
        m_atomOIDs[i] = atoms[i]->GetOID();
    }

    GasteigerSolver solver;
    solver.Reset(entries);
    auto nextHydrogen = static_cast<std::int32_t>(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Atom3d* const atom = atoms[i];
        const Rational formal = atom->GetFormalCharge();
        const double charge = formal.GetDenominator() != 0
                                  ? static_cast<double>(formal.GetNumerator()) / formal.GetDenominator()
                                  : 0.0;
        solver.SetEntry(i, atom->GetAtomicNumber(), atom->PerceiveHybridization(), charge);
        for (const Bond* bond : atom->GetBonds()) {
            const Bondable* const other = bond->GetAtom1() == atom ? bond->GetAtom2() : bond->GetAtom1();
            const std::int32_t neighbour = LookUp(static_cast<const Atom*>(DynCast<Atom3d>(other)));
            if (neighbour >= 0)
                solver.AddNeighbour(i, neighbour, BondCode(bond->GetType()));
        }
        for (std::int32_t h = 0; h < hydrogens[i]; ++h)
            solver.AddNeighbour(i, nextHydrogen++, 1);
    }
    nextHydrogen = static_cast<std::int32_t>(n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::int32_t h = 0; h < hydrogens[i]; ++h) {
            const auto entry = static_cast<std::size_t>(nextHydrogen++);
            solver.SetEntry(entry, 1, 0, 0.0);
            solver.AddNeighbour(entry, static_cast<std::int32_t>(i), 1);
        }
    }

    const GasteigerSolver::Result result = solver.Solve();
    m_minimum = result.minimum;
    m_maximum = result.maximum;
    m_total = result.total;
    m_charges = solver.GetCharges();
    m_calculated = true;

    // Implicit hydrogens fold into their atoms.
    nextHydrogen = static_cast<std::int32_t>(n);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::int32_t h = 0; h < hydrogens[i]; ++h)
            m_charges[i] += m_charges[static_cast<std::size_t>(nextHydrogen++)];
    }
    if (store) {
        // A listener may delete atoms of the collection while the charges are stored.
        for (std::size_t i = 0; i < n; ++i) {
            if (Base::GetObjectA(m_atomOIDs[i]) == atoms[i])
                atoms[i]->SetCharge(m_charges[i]);
        }
    }
    return true;
}

} // namespace Tavrel
