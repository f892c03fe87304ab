// BondNeighbourhood: the bondable objects within a number of bonds of one, gathered once and then asked about many times.
#pragma once

#include <vector>

namespace Tavrel {

class Bondable;

// Gathered breadth first, layer by layer; the working arrays are kept from one gathering to the next,
// so a search that gathers around many atoms allocates only while the neighbourhoods grow.
// Contains(x) after Gather(centre, n) answers what centre.HasPathOfLength(x, n + 1, true) does, and
// Reaches(x, m) what centre.HasPathOfLength(x, n + m + 1, true) does: a path of at most n + m bonds
// has a point within n bonds of one end and m of the other. Asking with n and m half the length
// reads the bonds of far fewer atoms than a gathering of the whole length.
class BondNeighbourhood {
public:
    // The objects at most `bonds` bonds from centre along any walk, centre included.
    void Gather(const Bondable& centre, int bonds);
    bool Contains(const Bondable* object) const;
    // Whether an object gathered lies within `bonds` bonds of other.
    bool Reaches(const Bondable& other, int bonds);

private:
    // The next layer of a walk: the objects bonded to those of m_layer, in m_next.
    void Step();

    std::vector<const Bondable*> m_members;  // sorted
    std::vector<const Bondable*> m_layer;
    std::vector<const Bondable*> m_next;
    std::vector<const Bondable*> m_merged;
};

} // namespace Tavrel
