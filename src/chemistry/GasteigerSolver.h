// GasteigerSolver: the Gasteiger iterations over flat per-entry arrays, with the charged-group typing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

namespace Tavrel {

// Entries are the atoms, numbered in the order they are added, then their implicit hydrogens: those
// of the first atom, then those of the next, and so on. The caller adds each atom (atomic number,
// hybridization 1 sp, 2 sp2, 3 sp3, else 0, input charge and number of implicit hydrogens) and its
// bonded neighbours, atom by atom in index order, then calls Solve. Bond codes: 1 single, 2 double,
// 3 triple, 6 aromatic. An atom lists its bonded neighbours, then its implicit hydrogens; an
// implicit hydrogen (atomic number 1, hybridization 0, no charge) lists its atom alone. The
// implicit hydrogens of an atom are alike throughout, so they share one charge.
class GasteigerSolver {
public:
    struct Result {
        double minimum = 0.0;
        double maximum = 0.0;
        double total = 0.0;
        bool converged = false;
    };

    // With room for the given numbers of atoms and of bonded neighbour slots. The work arrays are
    // kept per thread from one solver to the next, so that a calculation after the first writes
    // into memory already mapped in instead of a fresh page at a time.
    GasteigerSolver(std::size_t atoms, std::size_t slots);
    GasteigerSolver(const GasteigerSolver&) = delete;
    GasteigerSolver& operator=(const GasteigerSolver&) = delete;
    ~GasteigerSolver();

    std::size_t GetNumAtoms() const { return m_atoms.size(); }

    // At most ten neighbours per atom, bonded ones and implicit hydrogens together (the caller
    // refuses more).
    void AddAtom(std::int32_t atomicNumber, std::int32_t hybridization, double inputCharge, std::int32_t implicitHydrogens)
    {
        const bool charged = inputCharge != 0.0;
        if (charged)
            m_inputCharges.push_back({static_cast<std::int32_t>(m_atoms.size()), inputCharge});
        const auto code = static_cast<std::int8_t>(hybridization >= 1 && hybridization <= 3 ? hybridization : 0);
        m_atoms.push_back({atomicNumber, code, 0, charged});
        m_sweep.push_back({0, static_cast<std::uint8_t>(implicitHydrogens), 0});
        m_numWithHydrogens += m_sweep.back().hydrogens > 0 ? 1 : 0;
    }
    // A bonded neighbour of the atom (any atom, also one added later), which is neither below the
    // last atom given one nor past the last atom added when Solve runs. The neighbour may also be
    // given as a value that ResolveNeighbours turns into its index.
    void AddNeighbour(std::size_t atom, std::int32_t neighbour, std::int8_t bondCode)
    {
        if (atom + 1 < m_start.size())
            return;
        CloseAtomsBelow(atom);
        m_neighbours.push_back(neighbour);
        m_bondCode.push_back(bondCode);
    }
    // Once every atom is added: replaces each neighbour value, in slot order, with
    // resolve(atom, value), the neighbour's index, or below 0 to drop the slot.
    template <class Resolve>
    void ResolveNeighbours(Resolve&& resolve)
    {
        const std::size_t n = GetNumAtoms();
        CloseAtomsBelow(n);
        std::int32_t kept = 0;
        for (std::size_t a = 0, s = 0; a < n; ++a) {
            const auto end = static_cast<std::size_t>(m_start[a + 1]);
            m_start[a] = kept;
            for (; s < end; ++s) {
                if (const std::int32_t neighbour = resolve(a, m_neighbours[s]); neighbour >= 0) {
                    m_neighbours[static_cast<std::size_t>(kept)] = neighbour;
                    m_bondCode[static_cast<std::size_t>(kept++)] = m_bondCode[s];
                }
            }
        }
        m_start[n] = kept;
        m_neighbours.resize(static_cast<std::size_t>(kept));
        m_bondCode.resize(static_cast<std::size_t>(kept));
    }

    // Types, parameterises and iterates; the output charges include the group charges.
    Result Solve();
    // The output charges of the last Solve, one per atom, with its implicit hydrogens' folded in.
    std::vector<double> TakeAtomCharges() { return std::move(m_charge); }
    // The use under which the room of output charges given back is kept for later solvers on the
    // thread (RecycledVectors): Solve takes it.
    struct OutputCharges;

private:
    struct AtomEntry {
        std::int32_t atomicNumber;
        std::int8_t hybridization;
        std::int8_t type;  // 0, or a row of the group table counted from 1
        bool charged;      // has an input charge
    };
    // Few atoms carry a charge, so charges are kept for those only, by atom.
    struct Charge {
        std::int32_t atom;
        double charge;
    };
    // What the iterations read of an atom, apart from the typing data so that it stays compact.
    struct SweepEntry {
        std::uint8_t row;        // of the process-wide coefficient table
        std::uint8_t hydrogens;  // implicit
        std::uint8_t bonded;     // neighbour slots, once resolved
    };
    // A bonded pair whose flow is computed before each sweep: listed only from its later end.
    struct BackwardPair {
        std::int32_t atom;
        std::int32_t neighbour;
        std::int32_t slot;
        std::int32_t flow;
    };

    // Bonded neighbours and implicit hydrogens.
    std::int32_t NumNeighbours(std::size_t atom) const
    {
        return m_start[atom + 1] - m_start[atom] + m_sweep[atom].hydrogens;
    }
    // The entry, and the number of neighbours, of the atom a bonded neighbour slot lists.
    AtomEntry& ListedAtom(std::size_t slot) { return m_atoms[static_cast<std::size_t>(m_neighbours[slot])]; }
    const AtomEntry& ListedAtom(std::size_t slot) const { return m_atoms[static_cast<std::size_t>(m_neighbours[slot])]; }
    std::int32_t ListedNeighbours(std::size_t slot) const { return NumNeighbours(static_cast<std::size_t>(m_neighbours[slot])); }
    // Ends the neighbour lists of the atoms below `atom`.
    void CloseAtomsBelow(std::size_t atom)
    {
        const auto end = static_cast<std::int32_t>(m_neighbours.size());
        while (m_start.size() <= atom)
            m_start.push_back(end);
    }
    // The bond values plus 0.1, truncated, aromatic bonds counting 1 instead of 1.5.
    std::int32_t AromaticAsSingleValence(std::size_t atom) const;
    void Type();
    double InputCharge(std::size_t atom) const;
    // Adds each atom's group charge to its output charge, then takes that charge.
    template <class Take>
    void AddGroupCharges(Take&& take);
    // An atom without neighbours takes the first group row of its element, or stays untyped.
    void TypeIsolated(std::size_t atom);
    // The oxygen neighbours with exactly one neighbour of a centre. When there is one at least and
    // their input charges do not sum to 0, each takes type 2 and an equal share of that sum plus the
    // centre's input charge, and the result is true.
    bool TypeTerminalOxygens(std::size_t centre);
    // What the typing rules look for among an atom's bonded neighbours, gathered in one pass.
    struct Census {
        std::int32_t valence = 0;  // the bond values plus 0.1, truncated
        std::int32_t nitrogens = 0;
        std::int32_t oxygens = 0;
        bool chargedOxygen = false;  // an oxygen with an input charge
    };
    Census TakeCensus(std::size_t atom) const;
    // The rules for an atom with neighbours, given its census.
    void TypeAtom(std::size_t atom, const Census& census);
    // The guanidinium and amidinium rules of a carbon (of hybridization 2 or with three neighbours):
    // true when one typed its nitrogens.
    bool TypeNitrogenGroup(std::size_t centre, std::int32_t hybridization, std::int32_t count);
    // Valence above neutral that comes only from aromatic bonds counting 1.5: a charged group only
    // when the input charge is positive.
    bool ExceedsValence(std::size_t atom, std::int32_t valence, std::int32_t neutral) const;
    void Parameterise();
    void LinkSlots();
    bool Iterate();
    // The work arrays (all but the output charges), which the thread keeps between solvers
    // (RecycledVectors), each under a use of its own so that no array takes the room of another of its
    // element type: visit.template operator()<Use>(array) for each.
    template <std::size_t>
    struct WorkArray;
    template <class Visit>
    void ForEachWorkArray(Visit&& visit)
    {
        auto arrays = std::tie(m_atoms, m_inputCharges, m_givenCharges, m_start, m_neighbours, m_bondCode, m_sweep,
                               m_hydrogenCharge, m_flow, m_backward, m_scratch);
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            (visit.template operator()<WorkArray<I>>(std::get<I>(arrays)), ...);
        }(std::make_index_sequence<std::tuple_size_v<decltype(arrays)>>());
    }

    std::vector<AtomEntry> m_atoms;
    std::vector<Charge> m_inputCharges;  // those other than 0, in atom order
    std::vector<Charge> m_givenCharges;  // by the typing to terminal oxygens, in the order given
    // Atom a's bonded neighbour slots are m_start[a] .. m_start[a + 1] - 1, each a neighbour's index
    // and the bond code. LinkSlots turns the slots into links: every bonded pair's flow is computed
    // once, at the slot that lists it first, which keeps the neighbour's index; the slot listing it
    // from the other end holds ~f instead, f being the flow it takes negated.
    std::vector<std::int32_t> m_start;
    std::vector<std::int32_t> m_neighbours;
    std::vector<std::int8_t> m_bondCode;

    // The coefficient table holds the group rows, then the parameter rows; row 0 is all zero, for
    // an entry without parameters. The implicit hydrogens share one row.
    std::vector<SweepEntry> m_sweep;
    std::uint8_t m_hydrogenRow = 0;
    std::vector<double> m_charge;  // per atom
    // Per atom with implicit hydrogens, in order, the charge of each of them: alike from the start,
    // they stay alike.
    std::size_t m_numWithHydrogens = 0;
    std::vector<double> m_hydrogenCharge;
    // The flows of the current iteration, one per slot that computes its pair, in slot order, then
    // those of the backward pairs (stored negated).
    std::vector<double> m_flow;
    std::vector<BackwardPair> m_backward;
    std::vector<std::int32_t> m_scratch;  // working list of the typing rules
};

} // namespace Tavrel
