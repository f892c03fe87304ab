#include <tavrel/foundation/FilterType.h>

#include <algorithm>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

FilterType::FilterType(FilterMode mode) : Filter(mode) {}

FilterType::FilterType(std::uint32_t type, FilterMode mode) : Filter(mode), m_types{type} {}

FilterType::FilterType(const std::uint32_t* types, int count, FilterMode mode) : Filter(mode)
{
    if (types && count > 0)
        m_types.assign(types, types + count);
}

FilterType::FilterType(const ClassTypeArray& types, FilterMode mode) : Filter(mode), m_types(types) {}

FilterType& FilterType::operator=(const ClassTypeArray& types)
{
    m_types = types;
    return *this;
}

std::unique_ptr<Filter> FilterType::Copy() const
{
    return std::make_unique<FilterType>(*this);
}

bool FilterType::DoTest(Object* object) const
{
    if (!object)
        return false;
    return m_types.empty() ||
           std::any_of(m_types.begin(), m_types.end(), [object](std::uint32_t type) { return object->IsA(type); });
}

FilterExactType::FilterExactType(std::uint32_t type, FilterMode mode) : Filter(mode), m_type(type) {}

std::unique_ptr<Filter> FilterExactType::Copy() const
{
    return std::make_unique<FilterExactType>(*this);
}

bool FilterExactType::DoTest(Object* object) const
{
    return object && object->GetClassType() == m_type;
}

} // namespace Tavrel
