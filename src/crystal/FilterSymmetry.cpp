#include <tavrel/crystal/FilterSymmetry.h>

#include <tavrel/conformers/ConformerAtom.h>
#include <tavrel/crystal/Cell3d.h>
#include <tavrel/crystal/ReplicateAtom.h>

namespace Tavrel {

FilterSymmetry::FilterSymmetry(bool includeConformerAtoms, FilterMode mode)
    : Filter(mode), m_includeConformerAtoms(includeConformerAtoms)
{
}

FilterSymmetry::FilterSymmetry(const Filter& inner, bool includeConformerAtoms, FilterMode mode)
    : Filter(mode), m_includeConformerAtoms(includeConformerAtoms), m_inner(inner)
{
}

std::unique_ptr<Filter> FilterSymmetry::Copy() const
{
    return std::make_unique<FilterSymmetry>(*this);
}

bool FilterSymmetry::DoTest(Object* object) const
{
    if (!object || !m_inner.Accepts(object))
        return false;
    if (!object->HasAncestor(Cell3d::classType))
        return true;
    if (!m_includeConformerAtoms && IsA<ConformerAtom>(object))
        return false;
    return !object->HasProperty("_REP") && !IsA<ReplicateAtom>(object);
}

} // namespace Tavrel
