// FilterAtoms: accepts atoms, optionally only those an inner filter accepts.
#pragma once

#include <memory>

#include <tavrel/foundation/Filter.h>

namespace Tavrel {

class FilterAtoms : public Filter {
public:
    explicit FilterAtoms(FilterMode mode);
    FilterAtoms(const Filter& inner, FilterMode mode);
    FilterAtoms(const FilterAtoms&) = default;
    FilterAtoms& operator=(const FilterAtoms&) = default;

    std::unique_ptr<Filter> Copy() const override;

protected:
    // An Atom, then the inner filter when there is one.
    bool DoTest(Object* object) const override;

private:
    OwnedFilter m_inner;
};

} // namespace Tavrel
