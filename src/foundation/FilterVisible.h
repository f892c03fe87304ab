// FilterVisible: accepts visible objects, optionally only those whose parent is hidden.
#pragma once

#include <memory>

#include "foundation/Filter.h"

namespace Tavrel {

class FilterVisible : public Filter {
public:
    FilterVisible(bool topMost, FilterMode mode);
    // The object must also pass the inner filter.
    FilterVisible(const Filter& inner, bool topMost, FilterMode mode);
    FilterVisible(const FilterVisible&) = default;
    FilterVisible& operator=(const FilterVisible&) = default;

    std::unique_ptr<Filter> Copy() const override;

protected:
    bool DoTest(Object* object) const override;
    // Visible; with topMost, also a parent Object that is not visible.
    virtual bool IsValidObject(Object* object) const;

private:
    OwnedFilter m_inner;
    bool m_topMost;
};

} // namespace Tavrel
