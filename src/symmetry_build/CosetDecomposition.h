// CosetDecomposition: a partition of a group's operation indices, each class named by its smallest member.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include <tavrel/core/Arrays.h>

namespace Tavrel {

// rep[i] is the representative of element i's class. A representative array is valid when it is not
// empty, every rep[i] lies in 0..i, every non-empty class has the same number of members (cosets of
// one subgroup are equally large) and each class's first member is its representative. Every failed
// operation gives the empty decomposition (size 0).
class CosetDecomposition {
public:
    // The empty decomposition.
    CosetDecomposition() = default;
    // The finest partition of n elements, every element alone; empty for n below 1.
    explicit CosetDecomposition(std::int32_t n);
    // Classes are filled only when the array is valid; otherwise they all stay empty.
    explicit CosetDecomposition(const IntArray& representatives);

    std::int32_t GetSize() const { return static_cast<std::int32_t>(m_representatives.size()); }
    bool IsEmpty() const { return m_representatives.empty(); }
    // The number of elements that represent their class.
    std::int32_t CountClasses() const;
    void GetRepresentatives(IntArray& representatives) const { representatives = m_representatives; }
    const IntArray& GetRepresentatives() const { return m_representatives; }
    // The members of the class represented by r in increasing order; empty when r represents none.
    const IntArray& GetClass(std::int32_t r) const;

    // The finest partition coarser than both; empty when the sizes differ.
    CosetDecomposition Join(const CosetDecomposition& other) const;
    // The partition carried by the permutation p (element i moves to p[i]); empty when p is not a
    // permutation of the elements.
    CosetDecomposition Permute(const IntArray& p) const;

private:
    IntArray m_representatives;
    std::vector<IntArray> m_classes;
};

// The representatives separated by ",", or "<EMPTY>".
std::ostream& operator<<(std::ostream& os, const CosetDecomposition& decomposition);

bool IsValidCosetArray(const IntArray& representatives);
// Equal length and equal elements.
bool EqualIntLists(const IntArray& a, const IntArray& b);
// Element i's class number, classes numbered 0, 1, 2 ... in order of their representatives; left
// empty unless the array has n entries and rep[i] <= i throughout.
void GetClassNumbers(std::int32_t n, const IntArray& representatives, IntArray& numbers);
// The elements that represent their class, in increasing order; left empty unless the array has n
// entries.
void GetClassRepresentatives(std::int32_t n, const IntArray& representatives, IntArray& result);

} // namespace Tavrel
