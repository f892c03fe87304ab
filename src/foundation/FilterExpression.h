// FilterExpression: two filters combined with a short-circuit AND or OR.
#pragma once

#include <cstdint>
#include <memory>

#include <tavrel/foundation/Filter.h>

namespace Tavrel {

// The right filter is consulted only when the left one does not decide: And when the left accepts,
// Or when it rejects. A null object is rejected before either is asked.
class FilterExpression : public Filter {
public:
    enum class Operator : std::uint8_t {
        And = 0,
        Or = 1,
    };
    using enum Operator;

    // Keeps copies of both filters.
    FilterExpression(const Filter& left, Operator op, const Filter& right, FilterMode mode);
    FilterExpression(const FilterExpression&) = default;
    FilterExpression& operator=(const FilterExpression&) = default;

    std::unique_ptr<Filter> Copy() const override;

protected:
    bool DoTest(Object* object) const override;

private:
    OwnedFilter m_left;
    Operator m_operator;
    OwnedFilter m_right;
};

} // namespace Tavrel
