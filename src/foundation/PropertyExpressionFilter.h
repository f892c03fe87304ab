// PropertyExpressionFilter: the filter form of a property expression.
#pragma once

#include <memory>

#include <tavrel/foundation/Filter.h>
#include <tavrel/foundation/PropertyExpression.h>

namespace Tavrel {

// Include mode; the test is the held expression's CheckObject.
class PropertyExpressionFilter : public Filter {
public:
    // Keeps a copy of the expression.
    explicit PropertyExpressionFilter(const PropertyExpression& expression);
    PropertyExpressionFilter(const PropertyExpressionFilter&) = default;
    PropertyExpressionFilter& operator=(const PropertyExpressionFilter&) = default;

    std::unique_ptr<Filter> Copy() const override;

protected:
    bool DoTest(Object* object) const override;

private:
    PropertyExpression m_expression;
};

} // namespace Tavrel
