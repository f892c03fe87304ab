#include <tavrel/foundation/NamedProperty.h>

#include <tavrel/core/RegExpression.h>
#include <tavrel/core/RegNumber.h>
#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/FilterProperty.h>

namespace Tavrel {

NamedProperty::NamedProperty() = default;

NamedProperty::NamedProperty(std::string_view text)
{
    Parse(text);
}

NamedProperty::NamedProperty(std::string_view name, std::string_view value, bool negate)
    : m_name(name), m_equals(negate ? 0 : 1), m_value(value)
{
}

NamedProperty::NamedProperty(const NamedProperty& other)
    : m_name(other.m_name), m_equals(other.m_equals), m_value(other.m_value),
      m_filter(other.m_filter ? other.m_filter->Copy() : other.CreateFilter())
{
}

NamedProperty& NamedProperty::operator=(const NamedProperty& other)
{
    if (this != &other) {
        m_name = other.m_name;
        m_equals = other.m_equals;
        m_value = other.m_value;
        m_filter = other.m_filter ? other.m_filter->Copy() : other.CreateFilter();
    }
    return *this;
}

NamedProperty& NamedProperty::operator=(std::string_view text)
{
    Parse(text);
    return *this;
}

NamedProperty::~NamedProperty() = default;

void NamedProperty::Parse(std::string_view text)
{
    if (text.empty())
        return;
    const std::size_t equals = text.find('=');
    if (equals != std::string_view::npos && equals > 0) {
        const bool negated = text[equals - 1] == '!';
        m_equals = negated ? 0 : 1;
        m_name = StringUtils::Trim(text.substr(0, negated ? equals - 1 : equals));
        m_value = StringUtils::Trim(text.substr(equals + 1));
    }
    m_filter = CreateFilter();
}

std::unique_ptr<Filter> NamedProperty::CreateFilter() const
{
    const Filter::FilterMode mode = m_equals == 1 ? Filter::Include : Filter::Exclude;
    std::string_view value = m_value;
    const bool quoted = !value.empty() && value.front() == '"' && value.find_last_of('"') == value.size() - 1;
    if (!quoted)
        return std::make_unique<FilterProperty>(m_name, value, mode);
    value = value.size() >= 2 ? value.substr(1, value.size() - 2) : std::string_view();
    if (RegNumber::IsRegNumber(value))
        return std::make_unique<FilterProperty>(m_name, RegNumber(value), mode);
    if (RegExpression::IsRegExpression(value))
        return std::make_unique<FilterProperty>(m_name, RegExpression(value, true), mode);
    return std::make_unique<FilterProperty>(m_name, value, mode);
}

bool NamedProperty::CheckObject(Object* object) const
{
    if (!m_filter)
        m_filter = CreateFilter();
    return (*m_filter)(object);
}

} // namespace Tavrel
