#include <tavrel/foundation/FilterExpression.h>

namespace Tavrel {

FilterExpression::FilterExpression(const Filter& left, Operator op, const Filter& right, FilterMode mode)
    : Filter(mode), m_left(left), m_operator(op), m_right(right)
{
}

std::unique_ptr<Filter> FilterExpression::Copy() const
{
    return std::make_unique<FilterExpression>(*this);
}

bool FilterExpression::DoTest(Object* object) const
{
    if (!object)
        return false;
    switch (m_operator) {
    case And:
        return m_left.Accepts(object) && m_right.Accepts(object);
    case Or:
        return m_left.Accepts(object) || m_right.Accepts(object);
    }
    return false;
}

} // namespace Tavrel
