#include <tavrel/foundation/PropertyExpression.h>

#include <algorithm>

#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/PropertyExpressionFilter.h>

namespace Tavrel {

PropertyExpression::PropertyExpression() = default;

PropertyExpression::PropertyExpression(std::string_view text)
{
    Parse(text);
}

PropertyExpression::PropertyExpression(const PropertyExpression&) = default;

PropertyExpression& PropertyExpression::operator=(const PropertyExpression&) = default;

PropertyExpression& PropertyExpression::operator=(std::string_view text)
{
    m_terms.clear();
    Parse(text);
    return *this;
}

PropertyExpression::~PropertyExpression() = default;

void PropertyExpression::Parse(std::string_view text)
{
    for (;;) {
        const std::size_t comma = text.find(',');
        const std::string_view part = text.substr(0, comma);
        // A blank part is no condition: it would accept every object.
        if (!StringUtils::Trim(part).empty())
            m_terms.emplace_back(part);
        if (comma == std::string_view::npos)
            return;
        text.remove_prefix(comma + 1);
    }
}

std::string PropertyExpression::GetName(int i) const
{
    return i >= 0 && i < GetSize() ? m_terms[static_cast<std::size_t>(i)].GetName() : std::string();
}

std::string PropertyExpression::GetValue(int i) const
{
    return i >= 0 && i < GetSize() ? m_terms[static_cast<std::size_t>(i)].GetValue() : std::string();
}

bool PropertyExpression::CheckObject(Object* object) const
{
    return std::any_of(m_terms.begin(), m_terms.end(), [object](const NamedProperty& term) {
        return term.CheckObject(object);
    });
}

std::unique_ptr<Filter> PropertyExpression::CreateFilter() const
{
    return std::make_unique<PropertyExpressionFilter>(*this);
}

} // namespace Tavrel
