#include <tavrel/foundation/FilterId.h>

#include <algorithm>

#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/Object.h>

namespace Tavrel {

FilterId::FilterId(FilterMode mode) : Filter(mode) {}

FilterId::FilterId(std::int32_t id, FilterMode mode) : Filter(mode), m_ids{id} {}

FilterId::FilterId(const std::int32_t* ids, int count, FilterMode mode) : Filter(mode)
{
    AddIds(ids, count);
}

FilterId::FilterId(std::string_view id, FilterMode mode) : Filter(mode)
{
    AddId(id);
}

FilterId::FilterId(const std::vector<std::string>& ids, FilterMode mode) : Filter(mode)
{
    for (const std::string& id : ids)
        AddId(id);
}

FilterId::FilterId(const Filter& inner, FilterMode mode) : Filter(mode), m_inner(inner) {}

FilterId::FilterId(const Filter& inner, std::int32_t id, FilterMode mode) : Filter(mode), m_inner(inner), m_ids{id} {}

FilterId::FilterId(const Filter& inner, const std::int32_t* ids, int count, FilterMode mode)
    : Filter(mode), m_inner(inner)
{
    AddIds(ids, count);
}

FilterId::FilterId(const Filter& inner, std::string_view id, FilterMode mode) : Filter(mode), m_inner(inner)
{
    AddId(id);
}

FilterId::FilterId(const Filter& inner, const std::vector<std::string>& ids, FilterMode mode)
    : Filter(mode), m_inner(inner)
{
    for (const std::string& id : ids)
        AddId(id);
}

std::unique_ptr<Filter> FilterId::Copy() const
{
    return std::make_unique<FilterId>(*this);
}

void FilterId::AddIds(const std::int32_t* ids, int count)
{
    if (ids && count > 0)
        m_ids.insert(m_ids.end(), ids, ids + count);
}

void FilterId::AddId(std::string_view id)
{
    std::int32_t value = 0;
    StringUtils::ReadInteger(id, value);
    m_ids.push_back(value);
}

bool FilterId::DoTest(Object* object) const
{
    if (!object || !m_inner.Accepts(object))
        return false;
    if (m_ids.empty())
        return true;
    return std::find(m_ids.begin(), m_ids.end(), object->GetID()) != m_ids.end();
}

} // namespace Tavrel
