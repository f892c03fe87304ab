#include <tavrel/foundation/FilterVisible.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

FilterVisible::FilterVisible(bool topMost, FilterMode mode) : FilterTopMost(topMost, mode) {}

FilterVisible::FilterVisible(const Filter& inner, bool topMost, FilterMode mode)
    : FilterTopMost(inner, topMost, mode)
{
}

std::unique_ptr<Filter> FilterVisible::Copy() const
{
    return std::make_unique<FilterVisible>(*this);
}

bool FilterVisible::IsValidObject(Object* object) const
{
    if (!object || !object->IsVisible())
        return false;
    if (!IsTopMostOnly())
        return true;
    const Object* const parent = object->GetParent();
    return parent && !parent->IsVisible();
}

} // namespace Tavrel
