#include <tavrel/chemistry/BondedTraversalIterator.h>

#include <tavrel/chemistry/Bondable.h>

namespace Tavrel {

template <class Strategy>
std::unique_ptr<Iterator> BondedTraversalIterator<Strategy>::Copy() const
{
    return std::make_unique<BondedTraversalIterator>(*this);
}

template <class Strategy>
int BondedTraversalIterator<Strategy>::GetNumNeighbors(Object* object) const
{
    const Bondable* const bondable = DynCast<Bondable>(object);
    return bondable ? bondable->GetNumBonds() : 0;
}

template <class Strategy>
Object* BondedTraversalIterator<Strategy>::GetNeighbor(Object* object, int index) const
{
    const Bondable* const bondable = DynCast<Bondable>(object);
    return bondable ? bondable->GetAttached(index) : nullptr;
}

template class BondedTraversalIterator<BreadthFirst>;
template class BondedTraversalIterator<DepthLimitedBreadthFirst>;
template class BondedTraversalIterator<DepthFirst>;

} // namespace Tavrel
