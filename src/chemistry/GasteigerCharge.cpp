#include <tavrel/chemistry/GasteigerCharge.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/GasteigerSolver.h>
#include <tavrel/foundation/OrdCollection.h>

namespace Tavrel {

namespace {

// An atom with more neighbours, its missing hydrogens included, is refused.
constexpr int MaxNeighbours = 10;

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

// Reading the atoms waits on memory far more than it computes: each read needs the object, then
// its bonds, then their far ends. The loops over many objects ask for them a few places ahead, so
// that those reads overlap instead of following one another. A prefetch has no effect the compiler
// sees, so a function made only of prefetches would count as pure and its calls be dropped: the
// helpers are always inlined.
[[gnu::always_inline]] inline void Prefetch(const void* object, std::size_t bytes)
{
#if defined(__GNUC__)
    constexpr std::size_t CacheLine = 64;
    const auto* const first = static_cast<const char*>(object);
    for (std::size_t offset = 0; offset < bytes; offset += CacheLine)
        __builtin_prefetch(first + offset);
#else
    static_cast<void>(object);
    static_cast<void>(bytes);
#endif
}

constexpr std::size_t ObjectsAhead = 16;

// Asks for the atom ObjectsAhead places after i, and for the bonds of the atom half as far.
[[gnu::always_inline]] inline void PrefetchAhead(const std::vector<Atom3d*>& atoms, std::size_t i)
{
    if (i + ObjectsAhead < atoms.size())
        Prefetch(atoms[i + ObjectsAhead], sizeof(Atom3d));
    if (i + ObjectsAhead / 2 < atoms.size()) {
        for (const Bond* bond : atoms[i + ObjectsAhead / 2]->GetBonds())
            Prefetch(bond, sizeof(Bond));
    }
}

// Visits the Atom3d descendants of root in pre-order, root excluded; iterative. Each child is asked
// for ObjectsAhead places before it is looked at.
template <class Visit>
void ForEachAtom(const TreeNode& root, Visit&& visit)
{
    struct Place {
        const TreeNode* node;
        int next;
        int count;
    };
    constexpr int Ahead = static_cast<int>(ObjectsAhead);
    std::vector<Place> path;
    const auto enter = [&path](const TreeNode* node, int count) {
        for (int i = 0; i < count && i < Ahead; ++i)
            Prefetch(node->GetChild(i), 1);
        path.push_back({node, 0, count});
    };
    enter(&root, root.GetNumChildren());
    while (!path.empty()) {
        Place& place = path.back();
        if (place.next == place.count) {
            path.pop_back();
            continue;
        }
        if (place.next + Ahead < place.count)
            Prefetch(place.node->GetChild(place.next + Ahead), 1);
        TreeNode* const child = place.node->GetChild(place.next++);
        if (IsA<Atom3d>(child))
            visit(static_cast<Atom3d*>(child));
        if (const int count = child->GetNumChildren(); count > 0)
            enter(child, count);
    }
}

} // namespace

GasteigerCharge::GasteigerCharge() : m_index(sizeof(Atom3d)) {}

GasteigerCharge::GasteigerCharge(const OrdCollection* atoms, bool store) : GasteigerCharge()
{
    if (atoms)
        Calculate(atoms, store);
}

GasteigerCharge::GasteigerCharge(Object* root, bool store) : GasteigerCharge()
{
    if (!root)
        return;
    // The children of a root are mostly its atoms and bonds, or the molecules that hold them.
    std::vector<Atom3d*> atoms;
    atoms.reserve(static_cast<std::size_t>(root->GetNumChildren()));
    ForEachAtom(*root, [&atoms](Atom3d* atom) { atoms.push_back(atom); });
    Compute(std::move(atoms), store);
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
    AddressIndex::Cursor cursor;
    const std::int32_t index = LookUp(atom, cursor);
    if (index < 0 || static_cast<std::size_t>(index) >= m_charges.size() ||
        m_atomOIDs[static_cast<std::size_t>(index)] != atom->GetOID())
        return -1;
    return index;
}

std::int32_t GasteigerCharge::LookUp(const Bondable* atom, AddressIndex::Cursor& cursor) const
{
    const std::int32_t index = atom ? m_index.Find(atom, cursor) : -1;
    return index >= 0 && m_atoms[static_cast<std::size_t>(index)] == atom ? index : -1;
}

void GasteigerCharge::Clear()
{
    m_minimum = 0.0;
    m_maximum = 0.0;
    m_total = 0.0;
    m_charges.clear();
    m_atoms.clear();
    m_atomOIDs.clear();
    m_index.Clear();
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
    return Compute(std::move(members), store);
}

bool GasteigerCharge::Compute(std::vector<Atom3d*> atoms, bool store)
{
    m_numAtoms = static_cast<std::int32_t>(atoms.size());
    Clear();
    if (atoms.empty())
        return false;
    m_atoms = std::move(atoms);
    const std::size_t n = m_atoms.size();

    // Each atom's index; a repeated atom answers with its last index.
    for (std::size_t i = 0; i < n; ++i)
        m_index.Insert(m_atoms[i], static_cast<std::int32_t>(i));

    // One read of each atom: its entry with its missing hydrogens, then its bonded atoms of the
    // collection.
    GasteigerSolver solver(n, 2 * n);
    AddressIndex::Cursor cursor;
    m_atomOIDs.resize(n);
    for (std::size_t i = 0; i < std::min(n, ObjectsAhead); ++i)
        Prefetch(m_atoms[i], sizeof(Atom3d));
    for (std::size_t i = 0; i < n; ++i) {
        PrefetchAhead(m_atoms, i);
        const Atom3d& atom = *m_atoms[i];
        const std::int32_t missing = std::max(atom.GetNumHydrogensToAdd(), 0);
        if (atom.GetNumAttached() + missing > MaxNeighbours) {
            Clear();
            return false;
        }
        m_atomOIDs[i] = atom.GetOID();
        const Rational formal = atom.GetFormalCharge();
        const double charge = formal.GetDenominator() != 0
                                  ? static_cast<double>(formal.GetNumerator()) / formal.GetDenominator()
                                  : 0.0;
        solver.AddAtom(atom.GetAtomicNumber(), atom.PerceiveHybridization(), charge, missing);
        for (const Bond* bond : atom.GetBonds()) {
            const Bondable* const other = bond->GetAtom1() == &atom ? bond->GetAtom2() : bond->GetAtom1();
            if (const std::int32_t neighbour = LookUp(other, cursor); neighbour >= 0)
                solver.AddNeighbour(i, neighbour, BondCode(bond->GetType()));
        }
    }

    const GasteigerSolver::Result result = solver.Solve();
    m_minimum = result.minimum;
    m_maximum = result.maximum;
    m_total = result.total;
    m_charges = solver.TakeAtomCharges();
    m_calculated = true;
    if (store) {
        // A listener may delete atoms of the collection while the charges are stored (asking for a
        // deleted atom's memory ahead is harmless: it reads nothing).
        for (std::size_t i = 0; i < n; ++i) {
            if (i + ObjectsAhead < n)
                Prefetch(m_atoms[i + ObjectsAhead], sizeof(Atom3d));
            if (Base::GetObjectA(m_atomOIDs[i]) == m_atoms[i])
                m_atoms[i]->SetCharge(m_charges[i]);
        }
    }
    return true;
}

} // namespace Tavrel
