// FilterVisible: accepts visible objects, optionally only those whose parent is hidden.
#pragma once

#include <memory>

#include <tavrel/foundation/FilterTopMost.h>

namespace Tavrel {

class FilterVisible : public FilterTopMost {
public:
    FilterVisible(bool topMost, FilterMode mode);
    // The object must also pass the inner filter.
    FilterVisible(const Filter& inner, bool topMost, FilterMode mode);
    FilterVisible(const FilterVisible&) = default;
    FilterVisible& operator=(const FilterVisible&) = default;

    std::unique_ptr<Filter> Copy() const override;

protected:
    // Visible; with topMost, also a parent Object that is not visible.
    bool IsValidObject(Object* object) const override;
};

} // namespace Tavrel
