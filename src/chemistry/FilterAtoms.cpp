#include <tavrel/chemistry/FilterAtoms.h>

#include <tavrel/chemistry/Atom.h>

namespace Tavrel {

FilterAtoms::FilterAtoms(FilterMode mode) : Filter(mode) {}

FilterAtoms::FilterAtoms(const Filter& inner, FilterMode mode) : Filter(mode), m_inner(inner) {}

std::unique_ptr<Filter> FilterAtoms::Copy() const
{
    return std::make_unique<FilterAtoms>(*this);
}

bool FilterAtoms::DoTest(Object* object) const
{
    return IsA<Atom>(object) && m_inner.Accepts(object);
}

} // namespace Tavrel
