#include "foundation/FilterSelection.h"

#include "foundation/Object.h"

namespace Tavrel {

FilterSelection::FilterSelection(bool topMost, FilterMode mode) : Filter(mode), m_topMost(topMost) {}

FilterSelection::FilterSelection(const Filter& inner, bool topMost, FilterMode mode)
    : Filter(mode), m_inner(inner), m_topMost(topMost)
{
}

std::unique_ptr<Filter> FilterSelection::Copy() const
{
    return std::make_unique<FilterSelection>(*this);
}

bool FilterSelection::DoTest(Object* object) const
{
    return IsValidObject(object) && m_inner.Accepts(object);
}

bool FilterSelection::IsValidObject(Object* object) const
{
    if (!object || !object->IsSelected())
        return false;
    if (!m_topMost)
        return true;
    const TreeNode* const parent = object->TreeNode::GetParent();
    return parent && !parent->IsSelected();
}

} // namespace Tavrel
