#include <tavrel/foundation/FilterLabel.h>

#include <tavrel/foundation/Object.h>

namespace Tavrel {

FilterLabel::FilterLabel(FilterMode mode) : Filter(mode) {}

FilterLabel::FilterLabel(std::string_view pattern, FilterMode mode) : Filter(mode), m_patterns{std::string(pattern)}
{
    BuildFlagArray();
}

FilterLabel::FilterLabel(const std::vector<std::string>& patterns, FilterMode mode) : Filter(mode), m_patterns(patterns)
{
    BuildFlagArray();
}

FilterLabel::FilterLabel(const Filter& inner, FilterMode mode) : Filter(mode), m_inner(inner) {}

FilterLabel::FilterLabel(const Filter& inner, std::string_view pattern, FilterMode mode)
    : Filter(mode), m_inner(inner), m_patterns{std::string(pattern)}
{
    BuildFlagArray();
}

FilterLabel::FilterLabel(const Filter& inner, const std::vector<std::string>& patterns, FilterMode mode)
    : Filter(mode), m_inner(inner), m_patterns(patterns)
{
    BuildFlagArray();
}

std::unique_ptr<Filter> FilterLabel::Copy() const
{
    return std::make_unique<FilterLabel>(*this);
}

void FilterLabel::BuildFlagArray()
{
    m_exact.clear();
    for (std::string& pattern : m_patterns)
        m_exact.push_back(CheckExactMatch(pattern) ? 1 : 0);
}

bool FilterLabel::CheckExactMatch(std::string& pattern)
{
    if (pattern.empty() || pattern.front() != '"' || pattern.back() != '"')
        return false;
    pattern = pattern.size() < 2 ? std::string() : pattern.substr(1, pattern.size() - 2);
    return true;
}

bool FilterLabel::DoTest(Object* object) const
{
    if (!object || !m_inner.Accepts(object))
        return false;
    if (m_patterns.empty())
        return true;
    const std::string label = object->GetLabel();
    for (std::size_t i = 0; i < m_patterns.size(); ++i) {
        const bool match = m_exact[i] ? CheckExactMatchingString(m_patterns[i], label)
                                      : CheckMatchingString(m_patterns[i], label);
        if (match)
            return true;
    }
    return false;
}

bool FilterLabel::CheckMatchingString(std::string_view pattern, std::string_view label) const
{
    return label.starts_with(pattern);
}

bool FilterLabel::CheckExactMatchingString(std::string_view pattern, std::string_view label) const
{
    return label == pattern;
}

} // namespace Tavrel
