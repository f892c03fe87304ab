// FilterId: accepts objects whose integer ID is one of a list.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/core/Arrays.h>
#include <tavrel/foundation/Filter.h>

namespace Tavrel {

// An empty list accepts every object. Text identifiers are read as their leading integer (leading
// white space skipped, trailing text ignored); a text without one, or with one outside the 32-bit
// range, gives 0.
class FilterId : public Filter {
public:
    explicit FilterId(FilterMode mode);
    FilterId(std::int32_t id, FilterMode mode);
    // A null pointer or a count below 1 gives an empty list.
    FilterId(const std::int32_t* ids, int count, FilterMode mode);
    FilterId(std::string_view id, FilterMode mode);
    FilterId(const std::vector<std::string>& ids, FilterMode mode);
    // The same forms with an inner filter that the object must also pass.
    FilterId(const Filter& inner, FilterMode mode);
    FilterId(const Filter& inner, std::int32_t id, FilterMode mode);
    FilterId(const Filter& inner, const std::int32_t* ids, int count, FilterMode mode);
    FilterId(const Filter& inner, std::string_view id, FilterMode mode);
    FilterId(const Filter& inner, const std::vector<std::string>& ids, FilterMode mode);
    FilterId(const FilterId&) = default;
    FilterId& operator=(const FilterId&) = default;

    std::unique_ptr<Filter> Copy() const override;

protected:
    bool DoTest(Object* object) const override;

private:
    void AddIds(const std::int32_t* ids, int count);
    void AddId(std::string_view id);

    OwnedFilter m_inner;
    IntArray m_ids;
};

} // namespace Tavrel
