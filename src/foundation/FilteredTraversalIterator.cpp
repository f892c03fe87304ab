#include <tavrel/foundation/FilteredTraversalIterator.h>

#include <tavrel/foundation/SetCollection.h>

namespace Tavrel {

template <class Strategy>
FilteredTraversalIterator<Strategy>::FilteredTraversalIterator(Strategy strategy, Object* start,
                                                               const SetCollection* stop, bool includeStop)
    : m_strategy(std::move(strategy)), m_start(start), m_stop(stop), m_includeStop(includeStop)
{
    FilteredTraversalIterator::Reset();
}

template <class Strategy>
bool FilteredTraversalIterator<Strategy>::IsStop(const Object* object) const
{
    return m_stop && m_stop->IsMember(object);
}

template <class Strategy>
bool FilteredTraversalIterator<Strategy>::Accept(const Object* object) const
{
    return m_includeStop || !IsStop(object);
}

template <class Strategy>
void FilteredTraversalIterator<Strategy>::Reset()
{
    m_strategy.Reset();
    m_from = nullptr;
    if (Accept(m_start))
        m_strategy.InsertIteratorTarget(nullptr, m_start);
}

template <class Strategy>
Object* FilteredTraversalIterator<Strategy>::GetNext()
{
    Object* target = nullptr;
    m_strategy.GetIteratorTarget(m_from, target);
    if (!target)
        return nullptr;
    const int count = IsStop(target) ? 0 : GetNumNeighbors(target);
    for (int i = 0; i < count; ++i) {
        Object* const neighbour = GetNeighbor(target, i);
        if (neighbour != m_from && Accept(neighbour))
            m_strategy.InsertIteratorTarget(target, neighbour);
    }
    return target;
}

template class FilteredTraversalIterator<BreadthFirst>;
template class FilteredTraversalIterator<DepthLimitedBreadthFirst>;
template class FilteredTraversalIterator<DepthFirst>;

} // namespace Tavrel
