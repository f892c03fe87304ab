// FilterType and FilterExactType: filters on the class of an object.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <tavrel/foundation/Filter.h>

namespace Tavrel {

// Class-type identifiers.
using ClassTypeArray = std::vector<std::uint32_t>;

// Accepts an object that IsA one of the listed class types; an empty list accepts any object.
class FilterType : public Filter {
public:
    explicit FilterType(FilterMode mode);
    FilterType(std::uint32_t type, FilterMode mode);
    // A null pointer or a count below 1 gives an empty list.
    FilterType(const std::uint32_t* types, int count, FilterMode mode);
    FilterType(const ClassTypeArray& types, FilterMode mode);
    FilterType(const FilterType&) = default;
    FilterType& operator=(const FilterType&) = default;
    // Replaces the list and keeps the mode.
    FilterType& operator=(const ClassTypeArray& types);

    std::unique_ptr<Filter> Copy() const override;

protected:
    bool DoTest(Object* object) const override;

private:
    ClassTypeArray m_types;
};

// Accepts an object whose own class is the given one; base classes do not count.
class FilterExactType : public Filter {
public:
    FilterExactType(std::uint32_t type, FilterMode mode);
    FilterExactType(const FilterExactType&) = default;
    FilterExactType& operator=(const FilterExactType&) = default;

    std::unique_ptr<Filter> Copy() const override;

protected:
    bool DoTest(Object* object) const override;

private:
    std::uint32_t m_type;
};

} // namespace Tavrel
