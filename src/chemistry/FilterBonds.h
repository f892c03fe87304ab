// FilterBonds: accepts bonds, optionally only those whose two ends an inner filter accepts.
#pragma once

#include <memory>

#include <tavrel/foundation/Filter.h>

namespace Tavrel {

class FilterBonds : public Filter {
public:
    explicit FilterBonds(FilterMode mode);
    FilterBonds(const Filter& inner, FilterMode mode);
    FilterBonds(const FilterBonds&) = default;
    FilterBonds& operator=(const FilterBonds&) = default;

    std::unique_ptr<Filter> Copy() const override;

protected:
    // A Bond, then the inner filter on atom 1 and, when it accepts, on atom 2.
    bool DoTest(Object* object) const override;

private:
    OwnedFilter m_inner;
};

} // namespace Tavrel
