#include <tavrel/foundation/PropertyExpressionFilter.h>

namespace Tavrel {

PropertyExpressionFilter::PropertyExpressionFilter(const PropertyExpression& expression)
    : Filter(Include), m_expression(expression)
{
}

std::unique_ptr<Filter> PropertyExpressionFilter::Copy() const
{
    return std::make_unique<PropertyExpressionFilter>(*this);
}

bool PropertyExpressionFilter::DoTest(Object* object) const
{
    return m_expression.CheckObject(object);
}

} // namespace Tavrel
