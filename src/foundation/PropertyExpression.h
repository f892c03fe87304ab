// PropertyExpression: a comma-separated list of property conditions, satisfied when any one holds.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <tavrel/foundation/NamedProperty.h>

namespace Tavrel {

class Filter;
class Object;

class PropertyExpression {
public:
    PropertyExpression();
    // Parse of the text.
    explicit PropertyExpression(std::string_view text);
    PropertyExpression(const PropertyExpression&);
    PropertyExpression& operator=(const PropertyExpression&);
    // Removes every term, then Parse of the text.
    PropertyExpression& operator=(std::string_view text);
    virtual ~PropertyExpression();

    // Appends a NamedProperty for each part of the text between commas (commas inside quotes
    // included); empty and blank parts are skipped.
    void Parse(std::string_view text);

    int GetSize() const { return static_cast<int>(m_terms.size()); }
    // Of term i; empty for an index outside 0..size-1.
    std::string GetName(int i) const;
    std::string GetValue(int i) const;

    // False without terms; otherwise whether some term, tried in order, accepts the object.
    virtual bool CheckObject(Object* object) const;
    // A new PropertyExpressionFilter holding a copy of the expression.
    virtual std::unique_ptr<Filter> CreateFilter() const;

private:
    std::vector<NamedProperty> m_terms;
};

} // namespace Tavrel
