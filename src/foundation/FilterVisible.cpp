#include "foundation/FilterVisible.h"

#include "foundation/Object.h"

namespace Tavrel {

FilterVisible::FilterVisible(bool topMost, FilterMode mode) : Filter(mode), m_topMost(topMost) {}

FilterVisible::FilterVisible(const Filter& inner, bool topMost, FilterMode mode)
    : Filter(mode), m_inner(inner), m_topMost(topMost)
{
}

std::unique_ptr<Filter> FilterVisible::Copy() const
{
    return std::make_unique<FilterVisible>(*this);
}

bool FilterVisible::DoTest(Object* object) const
{
    return IsValidObject(object) && m_inner.Accepts(object);
}

bool FilterVisible::IsValidObject(Object* object) const
{
    if (!object || !object->IsVisible())
        return false;
    if (!m_topMost)
        return true;
    const Object* const parent = object->GetParent();
    return parent && !parent->IsVisible();
}

} // namespace Tavrel
