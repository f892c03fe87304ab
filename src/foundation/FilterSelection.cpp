#include <tavrel/foundation/FilterSelection.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

FilterSelection::FilterSelection(bool topMost, FilterMode mode) : FilterTopMost(topMost, mode) {}

FilterSelection::FilterSelection(const Filter& inner, bool topMost, FilterMode mode)
    : FilterTopMost(inner, topMost, mode)
{
}

std::unique_ptr<Filter> FilterSelection::Copy() const
{
    return std::make_unique<FilterSelection>(*this);
}

bool FilterSelection::IsValidObject(Object* object) const
{
    if (!object || !object->IsSelected())
        return false;
    if (!IsTopMostOnly())
        return true;
    const TreeNode* const parent = object->TreeNode::GetParent();
    return parent && !parent->IsSelected();
}

} // namespace Tavrel
