#include <tavrel/foundation/FilterProperty.h>

#include <tavrel/core/StringUtils.h>
#include <tavrel/foundation/Object.h>

namespace Tavrel {

FilterProperty::FilterProperty(FilterMode mode) : Filter(mode) {}

FilterProperty::FilterProperty(std::string_view name, std::string_view value, FilterMode mode)
    : Filter(mode), m_name(name), m_value(value)
{
}

FilterProperty::FilterProperty(std::string_view name, const Pattern<std::string>& pattern, FilterMode mode)
    : Filter(mode), m_name(name), m_pattern(pattern.Copy())
{
}

FilterProperty::FilterProperty(const FilterProperty& other)
    : Filter(other), m_name(other.m_name), m_value(other.m_value),
      m_pattern(other.m_pattern ? other.m_pattern->Copy() : nullptr)
{
}

FilterProperty& FilterProperty::operator=(const FilterProperty& other)
{
    if (this != &other) {
        Filter::operator=(other);
        m_name = other.m_name;
        m_value = other.m_value;
        m_pattern = other.m_pattern ? other.m_pattern->Copy() : nullptr;
    }
    return *this;
}

FilterProperty::~FilterProperty() = default;

std::unique_ptr<Filter> FilterProperty::Copy() const
{
    return std::make_unique<FilterProperty>(*this);
}

bool FilterProperty::DoTest(Object* object) const
{
    if (!object)
        return false;
    if (m_name.empty())
        return true;
    const std::string text = object->GetPropertyAsString(m_name);
    if (m_pattern)
        return m_pattern->Match(text);
    return StringUtils::EqualsNoCase(text, m_value);
}

} // namespace Tavrel
