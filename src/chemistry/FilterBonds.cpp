#include <tavrel/chemistry/FilterBonds.h>

#include <tavrel/chemistry/Bond.h>
#include <tavrel/chemistry/Bondable.h>

namespace Tavrel {

FilterBonds::FilterBonds(FilterMode mode) : Filter(mode) {}

FilterBonds::FilterBonds(const Filter& inner, FilterMode mode) : Filter(mode), m_inner(inner) {}

std::unique_ptr<Filter> FilterBonds::Copy() const
{
    return std::make_unique<FilterBonds>(*this);
}

bool FilterBonds::DoTest(Object* object) const
{
    const auto* const bond = DynCast<Bond>(object);
    return bond && m_inner.Accepts(bond->GetAtom1()) && m_inner.Accepts(bond->GetAtom2());
}

} // namespace Tavrel
