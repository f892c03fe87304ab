#include <tavrel/chemistry/GasteigerCharge.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>

#include <tavrel/chemistry/Atom3d.h>
#include <tavrel/chemistry/AtomReading.h>
#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/BondedPrefetch.h>
#include <tavrel/chemistry/GasteigerSolver.h>
#include <tavrel/core/RecycledVectors.h>
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

} // namespace

// Reads the atoms into the solver one by one, each with its bonds once. An atom is read a few places
// after it is given, while what it reads is asked for from memory from the place it is given on.
// A bonded atom's index is known only once every atom is given, so until then its slot holds its
// address relative to the atom's, or Far with the address kept aside.
class GasteigerCharge::Reader {
public:
    // distinct: no atom is given twice.
    Reader(GasteigerCharge& charges, std::size_t atoms, bool distinct)
        : m_charges(charges), m_solver(atoms, 4 * atoms), m_distinct(distinct)
    {
        ReserveRecycledPrefaulted<GasteigerCharge>(charges.m_atoms, atoms);
        ReserveRecycledPrefaulted<GasteigerCharge>(charges.m_atomOIDs, atoms);
    }

    GasteigerSolver& GetSolver() { return m_solver; }
    // False once an atom had more than ten neighbours; the atoms after it are counted, not read.
    bool IsRefused() const { return m_refused; }

    void Give(Atom3d& atom)
    {
        m_charges.m_atoms.push_back(&atom);
        if (m_charges.m_atoms.size() > Delay)
            ReadNext();
    }
    // Reads the atoms still waiting.
    void Finish()
    {
        m_charges.m_atomOIDs.reserve(m_charges.m_atoms.size());
        while (m_read < m_charges.m_atoms.size())
            ReadNext();
    }

    // The bonded atom of a neighbour slot of atom i, in slot order.
    const Bondable* Bonded(std::size_t i, std::int32_t relative)
    {
        if (relative == Far)
            return m_far[m_nextFar++];
        const auto* const atom = static_cast<const Atom3d*>(m_charges.m_atoms[i]);
        return std::bit_cast<const Bondable*>(std::bit_cast<std::uintptr_t>(static_cast<const Bondable*>(atom)) +
                                              static_cast<std::uintptr_t>(static_cast<std::intptr_t>(relative)));
    }

    // The index of the bonded atom of a slot of atom i when it stands where its address says, among
    // distinct atoms made one after another (so lying in memory in the order given); else -1.
    std::int32_t Placed(std::size_t i, std::int32_t relative, const Bondable* bonded) const
    {
        const std::vector<TreeNode*>& atoms = m_charges.m_atoms;
        const auto place = static_cast<std::ptrdiff_t>(i) + relative / static_cast<std::int32_t>(sizeof(Atom3d));
        if (!m_distinct || place < 0 || place >= std::ssize(atoms) || atoms[static_cast<std::size_t>(place)] != bonded)
            return -1;
        return static_cast<std::int32_t>(place);
    }

private:
    static constexpr std::int32_t Far = std::numeric_limits<std::int32_t>::min();
    // The places between giving an atom and reading it: the prefetch's reach.
    static constexpr std::size_t Delay = 2 * BondedPrefetch::Step;

    void ReadNext()
    {
        const std::vector<TreeNode*>& atoms = m_charges.m_atoms;
        const auto at = [&atoms](std::size_t k) -> const Bondable* { return static_cast<const Atom3d*>(atoms[k]); };
        BondedPrefetch::Ahead(m_read, atoms.size(), at, BondedPrefetch::Reach::Bonds);
        const std::size_t i = m_read++;
        if (m_refused)
            return;
        const auto& atom = static_cast<const Atom3d&>(*atoms[i]);
        const AtomReading reading = AtomReading::Of(atom);
        const std::int32_t missing = std::max(reading.hydrogensToAdd, 0);
        if (missing > MaxNeighbours - atom.GetNumAttached()) {
            m_refused = true;
            return;
        }
        m_charges.m_atomOIDs.push_back(atom.GetOID());
        const Rational formal = reading.formalCharge;
        const double charge = formal.GetDenominator() != 0
                                  ? static_cast<double>(formal.GetNumerator()) / formal.GetDenominator()
                                  : 0.0;
        m_solver.AddAtom(reading.atomicNumber, reading.hybridization, charge, missing);
        for (const Bond* bond : atom.GetBonds()) {
            const Bondable* const other = bond->GetAtom1() == &atom ? bond->GetAtom2() : bond->GetAtom1();
            m_solver.AddNeighbour(i, Relative(&atom, other), BondCode(bond->GetType()));
        }
    }

    std::int32_t Relative(const Bondable* atom, const Bondable* other)
    {
        const auto offset =
            static_cast<std::intptr_t>(std::bit_cast<std::uintptr_t>(other) - std::bit_cast<std::uintptr_t>(atom));
        if (offset > Far && offset <= std::numeric_limits<std::int32_t>::max())
            return static_cast<std::int32_t>(offset);
        m_far.push_back(other);
        return Far;
    }

    GasteigerCharge& m_charges;
    GasteigerSolver m_solver;
    std::size_t m_read = 0;  // atoms read
    bool m_refused = false;
    const bool m_distinct;
    std::vector<const Bondable*> m_far;
    std::size_t m_nextFar = 0;
};

GasteigerCharge::GasteigerCharge() : m_index(sizeof(Atom3d)) {}

GasteigerCharge::~GasteigerCharge()
{
    GiveRecycled<GasteigerSolver::OutputCharges>(m_charges);
    GiveRecycled<GasteigerCharge>(m_atoms);
    GiveRecycled<GasteigerCharge>(m_atomOIDs);
}

GasteigerCharge::GasteigerCharge(const OrdCollection* atoms, bool store) : GasteigerCharge()
{
    if (atoms)
        Calculate(atoms, store);
}

GasteigerCharge::GasteigerCharge(Object* root, bool store) : GasteigerCharge()
{
    if (!root)
        return;
    // Each atom is read as the walk reaches it, while it and its neighbours in the tree (its bonds
    // among them) are in the cache.
    Reader reader(*this, 0, true);
    root->ForEachDescendent(Atom3d::classType,
                            [&reader](TreeNode* node) { reader.Give(static_cast<Atom3d&>(*node)); });
    reader.Finish();
    Compute(reader, store);
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
    m_numAtoms = count;
    Clear();
    for (int i = 0; i < count; ++i) {
        if (!IsA<Atom3d>(atoms->GetAt(i)))
            return false;
    }
    const auto n = static_cast<std::size_t>(count);
    Reader reader(*this, n, false);
    for (int i = 0; i < count; ++i)
        reader.Give(static_cast<Atom3d&>(*atoms->GetAt(i)));
    reader.Finish();
    return Compute(reader, store);
}

bool GasteigerCharge::Compute(Reader& reader, bool store)
{
    m_numAtoms = static_cast<std::int32_t>(m_atoms.size());
    if (m_atoms.empty() || reader.IsRefused()) {
        Clear();
        return false;
    }
    const std::size_t n = m_atoms.size();

    // Each atom's index; a repeated atom answers with its last index.
    m_index.Reserve(std::span<TreeNode* const>(m_atoms));
    for (std::size_t i = 0; i < n; ++i)
        m_index.Insert(m_atoms[i], static_cast<std::int32_t>(i));
    // The bonded atoms of the collection, by index: most often where their addresses say.
    GasteigerSolver& solver = reader.GetSolver();
    AddressIndex::Cursor cursor;
    solver.ResolveNeighbours([&](std::size_t atom, std::int32_t relative) {
        const Bondable* const bonded = reader.Bonded(atom, relative);
        const std::int32_t placed = reader.Placed(atom, relative, bonded);
        return placed >= 0 ? placed : LookUp(bonded, cursor);
    });

    const GasteigerSolver::Result result = solver.Solve();
    m_minimum = result.minimum;
    m_maximum = result.maximum;
    m_total = result.total;
    m_charges = solver.TakeAtomCharges();
    m_calculated = true;
    if (store) {
        // A listener may delete atoms of the collection while the charges are stored (asking for a
        // deleted atom's memory ahead is harmless: it reads nothing); until an object is deleted,
        // every atom is there. Storing a charge reads the atom's class and its charge.
        const std::uint64_t destroyed = Base::GetDestroyedCount();
        for (std::size_t i = 0; i < n; ++i) {
            if (const std::size_t ahead = i + 2 * BondedPrefetch::Step; ahead < n) {
                const auto* const atom = static_cast<const Atom3d*>(m_atoms[ahead]);
                __builtin_prefetch(atom);
                __builtin_prefetch(AtomReading::ChargeField(*atom));
            }
            if (Base::GetDestroyedCount() == destroyed || Base::GetObjectA(m_atomOIDs[i]) == m_atoms[i])
                static_cast<Atom3d*>(m_atoms[i])->SetCharge(m_charges[i]);
        }
    }
    return true;
}

} // namespace Tavrel
