// BondNeighbourhood: the bondable objects within a number of bonds of one, gathered once and then asked about many times.
#pragma once

#include <vector>

namespace Tavrel {

class Bondable;

// Gathered breadth first, layer by layer; the working arrays are kept from one gathering to the next,
// so a search that gathers around many atoms allocates only while the neighbourhoods grow.
// Contains(x) after Gather(centre, n) answers what centre.HasPathOfLength(x, n + 1, true) does.
class BondNeighbourhood {
public:
    // The objects at most `bonds` bonds from centre along any walk, centre included.
    void Gather(const Bondable& centre, int bonds);
    bool Contains(const Bondable* object) const;

private:
    std::vector<const Bondable*> m_members;  // sorted
    std::vector<const Bondable*> m_layer;
    std::vector<const Bondable*> m_next;
    std::vector<const Bondable*> m_merged;
};

} // namespace Tavrel
