// FilterSymmetry: a filter that passes the asymmetric unit of crystal cells and holds back their replicas.
#pragma once

#include <memory>

#include <tavrel/foundation/Filter.h>

namespace Tavrel {

// In order: null fails; an object the inner filter rejects fails; an object outside every Cell3d
// passes; a conformer atom fails unless the flag includes them; an object carrying "_REP" fails; a
// ReplicateAtom fails; anything else passes. The mode then keeps or negates the verdict.
class FilterSymmetry : public Filter {
public:
    explicit FilterSymmetry(bool includeConformerAtoms, FilterMode mode = Include);
    // Keeps its own copy of inner.
    FilterSymmetry(const Filter& inner, bool includeConformerAtoms, FilterMode mode = Include);
    FilterSymmetry(const FilterSymmetry&) = default;
    FilterSymmetry& operator=(const FilterSymmetry&) = default;

    std::unique_ptr<Filter> Copy() const override;

protected:
    bool DoTest(Object* object) const override;

private:
    bool m_includeConformerAtoms;
    OwnedFilter m_inner;
};

} // namespace Tavrel
