#include <tavrel/chemistry/FilterElement.h>

#include <algorithm>

#include <tavrel/chemistry/Atom.h>

namespace Tavrel {

FilterElement::FilterElement(FilterMode mode) : Filter(mode) {}

FilterElement::FilterElement(ElementType type, FilterMode mode) : Filter(mode), m_types{type} {}

FilterElement::FilterElement(const ElementType* types, int count, FilterMode mode) : Filter(mode)
{
    if (types && count > 0)
        m_types.assign(types, types + count);
}

std::unique_ptr<Filter> FilterElement::Copy() const
{
    return std::make_unique<FilterElement>(*this);
}

bool FilterElement::DoTest(Object* object) const
{
    const auto* const atom = DynCast<Atom>(object);
    if (!atom)
        return false;
    return m_types.empty() || std::find(m_types.begin(), m_types.end(), atom->GetElementType()) != m_types.end();
}

} // namespace Tavrel
