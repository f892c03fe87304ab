// FilterSelection: accepts selected objects, optionally only the topmost of a selected subtree.
#pragma once

#include <memory>

#include <tavrel/foundation/FilterTopMost.h>

namespace Tavrel {

class FilterSelection : public FilterTopMost {
public:
    FilterSelection(bool topMost, FilterMode mode);
    // The object must also pass the inner filter.
    FilterSelection(const Filter& inner, bool topMost, FilterMode mode);
    FilterSelection(const FilterSelection&) = default;
    FilterSelection& operator=(const FilterSelection&) = default;

    std::unique_ptr<Filter> Copy() const override;

protected:
    // Selected; with topMost, also a parent that is not selected (so never a node without parent).
    bool IsValidObject(Object* object) const override;
};

} // namespace Tavrel
