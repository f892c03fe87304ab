// CosetLattice: the numbered partitions of a space group's operations met in one build, with their joins cached.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include <tavrel/core/Arrays.h>

namespace Tavrel {

// Partition 0 is the finest (every operation alone), 1 the coarsest (all together); the others are
// numbered in order of addition. Combine gives the number of the join of two partitions, computing
// each pair once. Bad input gives -1 or an empty list.
class CosetLattice {
public:
    explicit CosetLattice(std::int32_t n = 0);

    std::int32_t GetElementCount() const { return m_elementCount; }
    // A new count resets the lattice.
    void SetElementCount(std::int32_t n);
    // Back to partitions 0 and 1.
    void Reset();

    std::int32_t GetCount() const { return static_cast<std::int32_t>(m_partitions.size()); }
    bool IsValidIndex(std::int32_t k) const { return k >= 0 && k < GetCount(); }

    // The number of the partition; 0 when every element is alone (representatives has n entries),
    // -1 when the array does not have n entries.
    std::int32_t Add(const IntArray& representatives, const IntArray& classRepresentatives);
    // Add with the array's own class representatives.
    std::int32_t AddPartition(const IntArray& representatives);
    // The number of the join of partitions k1 and k2.
    std::int32_t Combine(std::int32_t k1, std::int32_t k2);

    // Invalid numbers or elements leave the list empty, or give -1.
    void GetPartition(std::int32_t k, IntArray& representatives) const;
    void GetClassRepresentatives(std::int32_t k, IntArray& representatives) const;
    std::int32_t GetClassCount(std::int32_t k) const;
    std::int32_t GetRepresentative(std::int32_t k, std::int32_t element) const;
    // Class numbers 0, 1, 2 ... in order of representatives, worked out on first use.
    std::int32_t GetClassNumber(std::int32_t k, std::int32_t element);
    // Every element with the same representative as the given one, in increasing order.
    void GetClassMembers(std::int32_t k, std::int32_t element, IntArray& members) const;

private:
    struct Partition {
        IntArray representatives;
        IntArray classRepresentatives;
        IntArray classNumbers;  // empty until asked for
    };

    bool IsElement(std::int32_t element) const { return element >= 0 && element < m_elementCount; }
    std::int32_t Append(IntArray representatives, IntArray classRepresentatives);

    std::int32_t m_elementCount = 0;
    std::map<IntArray, std::int32_t> m_lookup;
    std::map<std::pair<std::int32_t, std::int32_t>, std::int32_t> m_joins;
    std::vector<Partition> m_partitions;
};

} // namespace Tavrel
