// FilterTopMost: the base of the filters that accept flagged objects, optionally only the topmost.
#pragma once

#include <tavrel/foundation/Filter.h>

namespace Tavrel {

// An object passes when IsValidObject takes it (the flag test, and with topMost the parent test) and
// the inner filter, when there is one, accepts it.
class FilterTopMost : public Filter {
protected:
    FilterTopMost(bool topMost, FilterMode mode) : Filter(mode), m_topMost(topMost) {}
    FilterTopMost(const Filter& inner, bool topMost, FilterMode mode)
        : Filter(mode), m_inner(inner), m_topMost(topMost)
    {
    }
    FilterTopMost(const FilterTopMost&) = default;
    FilterTopMost& operator=(const FilterTopMost&) = default;

    bool DoTest(Object* object) const override;
    virtual bool IsValidObject(Object* object) const = 0;

    bool IsTopMostOnly() const { return m_topMost; }

private:
    OwnedFilter m_inner;
    bool m_topMost;
};

} // namespace Tavrel
