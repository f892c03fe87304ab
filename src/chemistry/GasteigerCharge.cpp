#include <tavrel/chemistry/GasteigerCharge.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/AtomReading.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/BondedPrefetch.h>
#include <tavrel/chemistry/GasteigerSolver.h>
#include <tavrel/foundation/OrdCollection.h>
#include <tavrel/platform/PageAdvice.h>

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
    std::vector<TreeNode*> atoms;
    root->GetDescendents(Atom3d::classType, atoms);
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
    std::vector<TreeNode*> members;
    members.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        Object* const member = atoms->GetAt(i);
        if (!IsA<Atom3d>(member)) {
            m_numAtoms = count;
            Clear();
            return false;
        }
        members.push_back(member);
    }
    return Compute(std::move(members), store);
}

bool GasteigerCharge::Compute(std::vector<TreeNode*> atoms, bool store)
{
    m_numAtoms = static_cast<std::int32_t>(atoms.size());
    Clear();
    if (atoms.empty())
        return false;
    m_atoms = std::move(atoms);
    const std::size_t n = m_atoms.size();

    // Each atom's index; a repeated atom answers with its last index.
    m_index.Reserve(std::span<TreeNode* const>(m_atoms));
    for (std::size_t i = 0; i < n; ++i)
        m_index.Insert(m_atoms[i], static_cast<std::int32_t>(i));

    // One read of each atom: its entry with its missing hydrogens, then its bonded atoms of the
    // collection.
    // Room for four bonded neighbours an atom: what is not filled is never touched.
    GasteigerSolver solver(n, 4 * n);
    AddressIndex::Cursor cursor;
    ReservePrefaulted(m_atomOIDs, n);
    m_atomOIDs.resize(n);
    const auto at = [this](std::size_t k) -> const Bondable* { return static_cast<const Atom3d*>(m_atoms[k]); };
    for (std::size_t i = 0; i < n; ++i) {
        BondedPrefetch::Ahead(i, n, at, BondedPrefetch::Reach::Bonds);
        const auto& atom = static_cast<const Atom3d&>(*m_atoms[i]);
        const AtomReading reading = AtomReading::Of(atom);
        const std::int32_t missing = std::max(reading.hydrogensToAdd, 0);
        if (atom.GetNumAttached() + missing > MaxNeighbours) {
            Clear();
            return false;
        }
        m_atomOIDs[i] = atom.GetOID();
        const Rational formal = reading.formalCharge;
        const double charge = formal.GetDenominator() != 0
                                  ? static_cast<double>(formal.GetNumerator()) / formal.GetDenominator()
                                  : 0.0;
        solver.AddAtom(reading.atomicNumber, reading.hybridization, charge, missing);
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
        // deleted atom's memory ahead is harmless: it reads nothing); until an object is deleted,
        // every atom is there.
        const std::uint64_t destroyed = Base::GetDestroyedCount();
        for (std::size_t i = 0; i < n; ++i) {
            if (const std::size_t ahead = i + 2 * BondedPrefetch::Step; ahead < n)
                BondedPrefetch::Lines(m_atoms[ahead], sizeof(Atom3d));
            if (Base::GetDestroyedCount() == destroyed || Base::GetObjectA(m_atomOIDs[i]) == m_atoms[i])
                static_cast<Atom3d*>(m_atoms[i])->SetCharge(m_charges[i]);
        }
    }
    return true;
}

} // namespace Tavrel
