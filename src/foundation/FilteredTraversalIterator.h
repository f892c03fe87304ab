// FilteredTraversalIterator: walks a graph outward from a start object through a traversal strategy.
#pragma once

#include <utility>

#include <tavrel/foundation/GraphTraversal.h>
#include <tavrel/foundation/Iterator.h>

namespace Tavrel {

class Object;
class SetCollection;

// Yields the start, then every object reached through the neighbours that a subclass names, each once,
// in the strategy's order. Members of the stop set are never expanded; they are yielded only with the
// include-stop flag. Neighbours are inserted one by one in their order, so the breadth-first forms
// take them in that order and the depth-first form takes the last one first. The stop set is not owned.
template <class Strategy>
class FilteredTraversalIterator : public Iterator {
public:
    Object* GetNext() override;
    void Reset() override;

    Object* GetStart() const { return m_start; }
    // The object through which the last yielded one was reached; null for the start.
    Object* GetFrom() const { return m_from; }

protected:
    FilteredTraversalIterator(Strategy strategy, Object* start, const SetCollection* stop, bool includeStop);
    FilteredTraversalIterator(const FilteredTraversalIterator&) = default;
    FilteredTraversalIterator& operator=(const FilteredTraversalIterator&) = default;

    virtual int GetNumNeighbors(Object* object) const = 0;
    virtual Object* GetNeighbor(Object* object, int index) const = 0;

    // True without a stop set, for an object outside it, or with the include-stop flag.
    bool Accept(const Object* object) const;
    bool IsStop(const Object* object) const;

private:
    Strategy m_strategy;
    Object* m_start;
    Object* m_from = nullptr;
    const SetCollection* m_stop;
    bool m_includeStop;
};

// The three forms the library uses.
extern template class FilteredTraversalIterator<BreadthFirst>;
extern template class FilteredTraversalIterator<DepthLimitedBreadthFirst>;
extern template class FilteredTraversalIterator<DepthFirst>;
using DepthFirstFilteredIterator = FilteredTraversalIterator<DepthFirst>;

} // namespace Tavrel
