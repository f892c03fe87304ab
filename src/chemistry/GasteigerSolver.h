// GasteigerSolver: the Gasteiger iterations over flat per-entry arrays, with the charged-group typing.
#pragma once

#include <cstdint>
#include <vector>

namespace Tavrel {

// Entries are atoms and implicit hydrogens alike. The caller sizes the arrays with Reset, fills the
// atomic number, hybridization (1 sp, 2 sp2, 3 sp3, else 0) and input charge of each entry and
// appends each entry's neighbours in order (entries in index order), then calls Solve. Bond codes:
// 1 single, 2 double, 3 triple, 6 aromatic.
class GasteigerSolver {
public:
    struct Result {
        double minimum = 0.0;
        double maximum = 0.0;
        double total = 0.0;
        bool converged = false;
    };

    // n entries without neighbours, atomic number 0, hybridization 0, input charge 0.
    void Reset(std::size_t n);
    std::size_t GetNumEntries() const { return m_atomicNumber.size(); }

    void SetEntry(std::size_t entry, std::int32_t atomicNumber, std::int32_t hybridization, double inputCharge);
    // Neighbours go to the entry after the last one that received any; entries are filled in order.
    void AddNeighbour(std::size_t entry, std::int32_t neighbour, std::int8_t bondCode);

    // Types, parameterises and iterates; the output charges include the group charges.
    Result Solve();
    const std::vector<double>& GetCharges() const { return m_charge; }
    // The group type of an entry after Solve: 0, or a row of the group table counted from 1.
    std::int32_t GetType(std::size_t entry) const { return m_type[entry]; }

private:
    std::int32_t NumNeighbours(std::size_t entry) const { return m_start[entry + 1] - m_start[entry]; }
    void CloseEntriesUpTo(std::size_t entry);
    // The bond values plus 0.1, truncated; with single, aromatic bonds count 1 instead of 1.5.
    std::int32_t Valence(std::size_t entry, bool single) const;
    void Type();
    bool TypeEntry(std::size_t entry);
    // The oxygen neighbours with exactly one neighbour of a centre. When there is one at least and
    // their input charges do not sum to 0, each takes type 2 and an equal share of that sum plus the
    // centre's input charge, and the result is true.
    bool TypeTerminalOxygens(std::size_t centre);
    // Valence above neutral that comes only from aromatic bonds counting 1.5: a charged group only
    // when the input charge is positive.
    bool ExceedsValence(std::size_t entry, std::int32_t valence, std::int32_t neutral) const;
    void Parameterise();
    void PairSlots();
    bool Iterate();

    std::vector<std::int32_t> m_atomicNumber;
    std::vector<std::int8_t> m_hybridization;
    std::vector<double> m_inputCharge;
    std::vector<double> m_charge;
    std::vector<std::int32_t> m_start;  // CSR: entry e's neighbours are m_start[e] .. m_start[e + 1] - 1
    std::vector<std::int32_t> m_neighbours;
    std::vector<std::int8_t> m_bondCode;
    std::size_t m_filled = 0;  // entries whose neighbour range is closed

    std::vector<std::int8_t> m_type;
    std::vector<double> m_groupCharge;
    // Per entry, its row of the process-wide coefficient table (group rows, then parameter rows;
    // row 0 all zero for an entry without parameters).
    std::vector<std::uint8_t> m_row;
    std::vector<double> m_chi;
    // The pairs whose flow is computed: each neighbour slot i -> j, with the slot listing the pair
    // from j (-1 when none) when j comes later. A pair's two flows are exact opposites, computed once.
    struct Pair {
        std::int32_t from;
        std::int32_t to;
        std::int32_t slot;
        std::int32_t mate;
    };
    std::vector<Pair> m_pairs;
    std::vector<double> m_flow;  // per neighbour slot, the flow of the current iteration
    std::vector<std::int32_t> m_scratch;  // working list of the typing rules
};

} // namespace Tavrel
