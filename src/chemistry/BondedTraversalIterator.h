// BondedTraversalIterator: walks the bond graph outward from an atom, breadth first, depth first or to a depth limit.
#pragma once

#include <memory>
#include <type_traits>

#include <tavrel/foundation/FilteredTraversalIterator.h>

namespace Tavrel {

// A neighbour of a Bondable is the far end of one of its bonds, in bond order; any other object has
// none. The breadth-first form without a stop set yields the start's bonded fragment, nearest bonds
// first; the depth-limited form only atoms within the limit number of bonds; the depth-first form
// with the other end of a bond as its stop set yields the start's side of that bond (when the bond
// is not in a ring).
template <class Strategy>
class BondedTraversalIterator : public FilteredTraversalIterator<Strategy> {
public:
    // The breadth-first and depth-first forms (templates, so that each form has only its own).
    template <class S = Strategy>
        requires std::is_default_constructible_v<S>
    explicit BondedTraversalIterator(Object* start, const SetCollection* stop = nullptr, bool includeStop = false)
        : FilteredTraversalIterator<Strategy>(S(), start, stop, includeStop)
    {
    }
    // The depth-limited form.
    template <class S = Strategy>
        requires std::is_constructible_v<S, int>
    BondedTraversalIterator(Object* start, int depthLimit, const SetCollection* stop = nullptr,
                            bool includeStop = false)
        : FilteredTraversalIterator<Strategy>(S(depthLimit), start, stop, includeStop)
    {
    }
    BondedTraversalIterator(const BondedTraversalIterator&) = default;
    BondedTraversalIterator& operator=(const BondedTraversalIterator&) = default;

    std::unique_ptr<Iterator> Copy() const override;

protected:
    int GetNumNeighbors(Object* object) const override;
    Object* GetNeighbor(Object* object, int index) const override;
};

extern template class BondedTraversalIterator<BreadthFirst>;
extern template class BondedTraversalIterator<DepthLimitedBreadthFirst>;
extern template class BondedTraversalIterator<DepthFirst>;

} // namespace Tavrel
