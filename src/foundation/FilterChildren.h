// FilterChildren: accepts objects that have children (optionally, a child that passes an inner filter).
#pragma once

#include <memory>

#include <tavrel/foundation/Filter.h>

namespace Tavrel {

class FilterChildren : public Filter {
public:
    explicit FilterChildren(FilterMode mode);
    // At least one child, in index order, must pass the inner filter.
    FilterChildren(const Filter& inner, FilterMode mode);
    FilterChildren(const FilterChildren&) = default;
    FilterChildren& operator=(const FilterChildren&) = default;

    std::unique_ptr<Filter> Copy() const override;

protected:
    bool DoTest(Object* object) const override;
    // The object has at least one child.
    virtual bool IsValidObject(Object* object) const;

private:
    OwnedFilter m_inner;
};

} // namespace Tavrel
